// A recording sent in by a driver: its chunks after a good header, the header
// itself, and the bytes as one tick straight out of a chunk (below the
// checksum and the inflate, where a file could otherwise never reach).
// Whatever the bytes, no tick may hold more than the mapping a replay writes
// it into, nor more answers or bytes than a tick may.
#include "telemetry/layout.h"
#include "telemetry/recording.h"

#include <cstdlib>
#include <sstream>

namespace {

void checkTick(const korvane::RecordedTick& tick) {
    size_t total = 0;
    for (const korvane::RestAnswer& a : tick.answers) {
        if (a.body.size() > korvane::MaxAnswerBytes || a.path.size() > korvane::MaxPathBytes)
            std::abort();
        total += a.body.size();
    }
    if (tick.answers.size() > korvane::MaxTickAnswers || total > korvane::MaxTickAnswerBytes ||
        tick.telemetry.size() > sizeof(korvane::TelemetryBuffer) ||
        tick.scoring.size() > sizeof(korvane::ScoringBuffer) ||
        tick.pitMenu.size() > sizeof(korvane::PitMenuBuffer))
        std::abort();
}

void readAll(const std::string& file) {
    std::istringstream in(file);
    korvane::RecordingReader reader(in);
    korvane::RecordingInfo info;
    std::string err;
    if (!reader.readHeader(info, err)) return;
    korvane::RecordedTick tick;
    while (reader.next(tick) == korvane::ChunkRead::Tick) checkTick(tick);
}

// Bodies an earlier tick left, for the copies a tick may ask for.
const korvane::RecordingBase& base() {
    static const korvane::RecordingBase b = [] {
        korvane::RecordingBase b;
        korvane::RecordedTick t;
        t.answers = {{"/a", 200, "{}"}, {"/b", 200, std::string(1 << 20, 'x')}};
        b.advance(t);
        return b;
    }();
    return b;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    readAll(korvane::encodeRecordingHeader({"2.1.29", 0}) + bytes);
    readAll(bytes);
    korvane::RecordedTick tick;
    if (korvane::decodeTick(bytes, base(), tick)) checkTick(tick);
    return 0;
}
