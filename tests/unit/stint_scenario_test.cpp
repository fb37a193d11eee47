#include "app/tick.h"
#include "gamerest/poller.h"
#include "test_support.h"

#include <atomic>
#include <thread>

using namespace korvane;

namespace {

// The rig's race played through the same tick steps as the main loop.
struct StintRun {
    testkit::Scenario sc;
    testkit::ScenarioPlayer player{sc};
    testkit::FrameBuffers fb;
    TickContext ctx;
    RestSnapshot snapshot;
    StintRun() : sc(test::scenarioFile("race")) {
        ctx.views = {fb.telemetry.get(), fb.scoring.get(), fb.pitMenu()};
    }
    // One 500 ms tick: the live document, or "" when the tick found no player.
    std::string tick() {
        player.advance(0.5);
        fb.publish(sc, player.world());
        PlayerRecords rec;
        if (beginTick(ctx, true, rec) != TickStart::Ready) return "";
        TickSample sample = analyseTick(ctx, rec, snapshot);
        return buildTickPayload(ctx, rec, sample, snapshot, "R", 0);
    }
};

} // namespace

// The poller's writes beside the main loop's reads, on one snapshot: run under
// ThreadSanitizer this is the race check of the two threads' sharing.
TEST(StintScenario, PollerBesideTheLoop) {
    StintRun r;
    std::atomic<bool> stop{false};
    std::atomic<int> cycles{0};
    std::string refuel = test::recording("RepairAndRefuel.json");
    std::string usage = test::recording("strategy_usage.json");
    std::string standings = test::recording("standings.json");
    std::thread poller([&] {
        while (!stop) {
            pollRestOnce(r.snapshot, [&](const std::wstring& path) {
                RestReply reply;
                reply.body = path == L"/rest/garage/UIScreen/RepairAndRefuel" ? refuel
                             : path == L"/rest/strategy/usage"                ? usage
                                                                              : standings;
                return reply;
            });
            ++cycles;
        }
    });
    int withRestEnergy = 0, afterAPoll = 0;
    // At least 400 ticks, 20 poll cycles and 10 ticks that began after a
    // finished poll, however the two threads are scheduled.
    for (int i = 0; (i < 400 || cycles < 20 || afterAPoll < 10) && i < 1000000; ++i) {
        if (cycles > 0) ++afterAPoll;
        std::string doc = r.tick();
        ASSERT_FALSE(doc.empty());
        if (doc.find("\"source\":\"rest\"") != std::string::npos) ++withRestEnergy;
    }
    stop = true;
    poller.join();
    EXPECT_GT(withRestEnergy, 0);
    EXPECT_NEAR(rivalEnergyFor(r.snapshot, "Mia Laurent"), 64.0, 1e-9);
}
