// The live document from any buffer bytes: the game's buffers from a race,
// with the input written over them as patches (offset, length, bytes), then
// one tick and the document it posts. Whatever the bytes, what is sent is
// valid JSON and keeps its keys in order.
#include "app/tick.h"
#include "core/format.h"
#include "json_order.h"
#include "scenario.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

using namespace korvane;

namespace {

struct Buffers {
    testkit::FrameBuffers frame; // what the input patches
    testkit::FrameBuffers race;  // the race as published, to undo the patches
};

constexpr size_t ScoringSize = sizeof(ScoringBuffer);
constexpr size_t TelemetrySize = sizeof(TelemetryBuffer);
constexpr size_t PitMenuSize = sizeof(PitMenuBuffer);

// The byte at `offset` of the three buffers laid end to end, and how many
// bytes are left in its buffer from there.
uint8_t* byteAt(testkit::FrameBuffers& b, size_t offset, size_t& left) {
    if (offset < ScoringSize) {
        left = ScoringSize - offset;
        return reinterpret_cast<uint8_t*>(b.scoring.get()) + offset;
    }
    offset -= ScoringSize;
    if (offset < TelemetrySize) {
        left = TelemetrySize - offset;
        return reinterpret_cast<uint8_t*>(b.telemetry.get()) + offset;
    }
    offset -= TelemetrySize;
    left = PitMenuSize - offset;
    return reinterpret_cast<uint8_t*>(b.pitInfo.get()) + offset;
}

Buffers& buffers() {
    static Buffers* b = [] {
        auto* made = new Buffers;
        testkit::Scenario scenario;
        std::string err;
        if (!testkit::loadScenarioFile(KORVANE_SCENARIO_DIR "/race", scenario, err)) {
            std::fprintf(stderr, "%s\n", err.c_str());
            std::abort();
        }
        testkit::ScenarioPlayer player(scenario);
        player.advance(30);
        made->race.publish(scenario, player.world());
        made->frame.publish(scenario, player.world());
        return made;
    }();
    return *b;
}

RestSnapshot& snapshot() {
    static RestSnapshot* s = [] {
        auto* made = new RestSnapshot;
        publishRivalEnergy(*made, {{"Mia Laurent", 61.5}, {"jonas berg#2", 40.0}}, "ve");
        made->restVePerLap.store(3.5);
        return made;
    }();
    return *s;
}

std::string tickDocument() {
    Buffers& b = buffers();
    TickContext ctx;
    b.frame.showIn(ctx.views);
    PlayerRecords player;
    if (beginTick(ctx, false, player) != TickStart::Ready) return {};
    TickSample sample = analyseTick(ctx, player, snapshot());
    return buildTickPayload(ctx, player, sample, snapshot(), "FUZZ-ROOM", 1765000000);
}

void fail(const std::string& why, const std::string& document) {
    std::fprintf(stderr, "%s\n%s\n", why.c_str(), document.c_str());
    std::abort();
}

// The key order of the race's own document, which has every block.
const fuzz::KeyOrder& raceKeyOrder() {
    static auto* order = [] {
        auto* made = new fuzz::KeyOrder;
        std::string document = tickDocument();
        std::string why = document.empty() ? "no document from the race" : made->learn(document);
        if (!why.empty()) fail(why, document);
        return made;
    }();
    return *order;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Buffers& b = buffers();
    (void)raceKeyOrder();
    struct Patch {
        uint8_t* at;
        const uint8_t* original;
        size_t length;
    };
    std::vector<Patch> patches;
    const size_t total = ScoringSize + TelemetrySize + PitMenuSize;
    size_t i = 0;
    while (i + 4 <= size) {
        size_t offset =
            (size_t(data[i]) | size_t(data[i + 1]) << 8 | size_t(data[i + 2]) << 16) % total;
        size_t length = data[i + 3] % 64 + 1;
        i += 4;
        size_t left = 0;
        uint8_t* at = byteAt(b.frame, offset, left);
        length = std::min({length, size - i, left});
        patches.push_back({at, byteAt(b.race, offset, left), length});
        std::memcpy(at, data + i, length);
        i += length;
    }
    std::string document = tickDocument();
    for (const Patch& p : patches) std::memcpy(p.at, p.original, p.length);
    if (document.empty()) return 0;
    // What goes out: non-finite numbers are replaced on the way.
    std::string sent = document;
    neutralizeNonFinite(sent);
    std::string why = raceKeyOrder().check(sent);
    if (!why.empty()) fail(why, sent);
    return 0;
}
