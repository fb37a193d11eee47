// Whole stints played by the rig's scenario code, through the same tick steps
// as the main loop, at full speed.
#include "app/tick.h"
#include "gamerest/poller.h"
#include "test_support.h"

#include <atomic>
#include <thread>

using namespace korvane;

namespace {

struct StintRun {
    testkit::Scenario sc;
    testkit::ScenarioPlayer player;
    testkit::FrameBuffers fb;
    TickContext ctx;
    RestSnapshot snapshot;
    bool raceOnly = true;
    std::vector<TickSample> samples;
    std::vector<bool> tracking;

    explicit StintRun(testkit::Scenario s) : sc(s), player(s) {
        ctx.views = {fb.telemetry.get(), fb.scoring.get(), fb.pitMenu.get()};
    }
    // One 500 ms tick; false when the tick found no player.
    bool tick() {
        player.advance(0.5);
        fb.publish(sc, player.world());
        PlayerRecords rec;
        if (beginTick(ctx, raceOnly, rec) != TickStart::Ready) return false;
        samples.push_back(analyseTick(ctx, rec, snapshot));
        tracking.push_back(ctx.stint.tracking);
        return true;
    }
    void seconds(double s) {
        for (int i = 0; i < int(s * 2); ++i) tick();
    }
};

} // namespace

TEST(StintScenario, PlayerNameReachesThePoller) {
    StintRun r(test::scenarioFile("race"));
    ASSERT_TRUE(r.tick());
    std::lock_guard<std::mutex> lock(r.snapshot.snapshotMutex);
    EXPECT_EQ(r.snapshot.playerDriverName, "Alex Korva");
}

// The poller's writes beside the main loop's reads, on one snapshot: run under
// ThreadSanitizer this is the race check of the two threads' sharing.
TEST(StintScenario, PollerBesideTheLoop) {
    StintRun r(test::scenarioFile("race"));
    std::atomic<bool> stop{false};
    std::atomic<int> cycles{0};
    std::string refuel = test::fixture("rest/RepairAndRefuel.json");
    std::string usage = test::fixture("rest/strategy_usage.json");
    std::string standings = test::fixture("rest/standings.json");
    std::thread poller([&] {
        while (!stop) {
            pollRestOnce(r.snapshot, [&](const std::wstring& path) {
                if (path == L"/rest/garage/UIScreen/RepairAndRefuel") return refuel;
                if (path == L"/rest/strategy/usage") return usage;
                return standings;
            });
            ++cycles;
        }
    });
    int withRestEnergy = 0, afterAPoll = 0;
    // At least 400 ticks, 20 poll cycles and 10 ticks that began after a
    // finished poll, however the two threads are scheduled.
    for (int i = 0; (i < 400 || cycles < 20 || afterAPoll < 10) && i < 1000000; ++i) {
        if (cycles > 0) ++afterAPoll;
        ASSERT_TRUE(r.tick());
        PlayerRecords player;
        ASSERT_EQ(beginTick(r.ctx, true, player), TickStart::Ready);
        std::string doc = buildTickPayload(r.ctx, player, r.samples.back(), r.snapshot, "R", 0);
        if (doc.find("\"source\":\"rest\"") != std::string::npos) ++withRestEnergy;
    }
    stop = true;
    poller.join();
    EXPECT_GT(withRestEnergy, 0);
    EXPECT_NEAR(rivalEnergyFor(r.snapshot, "Mia Laurent"), 64.0, 1e-9);
}
