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

TEST(StintScenario, StopWithFuelAndTyres) {
    StintRun r(test::scenarioFile("stint"));
    r.seconds(185);
    // Tracking starts on the third tick and holds for the green laps.
    EXPECT_EQ(r.tracking[0], false);
    EXPECT_EQ(r.tracking[1], false);
    EXPECT_EQ(r.tracking[2], true);
    // Fuel counts from the lap joined part-way; wear only from clean laps.
    EXPECT_EQ(r.ctx.stint.fuelWindow.count, 3u);
    EXPECT_NEAR(r.ctx.stint.fuelAverage, 3.0, 0.06);
    EXPECT_EQ(r.ctx.stint.wearWindows[1].count, 2u);
    EXPECT_NEAR(r.ctx.stint.wearPerLap[1], 7.0, 0.05);
    EXPECT_EQ(r.samples.back().energySource, EnergySource::PitMenu);
    EXPECT_DOUBLE_EQ(r.samples.back().energyPercent, 80.0);
    double fuelBefore = r.samples.back().fuel;

    r.seconds(48 + 3); // pit lane, box, pit lane, and out
    const LastStop& stop = r.ctx.stint.lastStop;
    ASSERT_TRUE(stop.valid);
    EXPECT_NEAR(stop.stationarySeconds, 24.0, 0.51);
    EXPECT_NEAR(stop.driveThroughSeconds, 24.0, 1.1);
    EXPECT_NEAR(stop.litres, 40.0, 0.2);
    EXPECT_TRUE(stop.tyresChanged);
    EXPECT_GT(r.samples.back().fuel, fuelBefore + 35);
    EXPECT_TRUE(r.ctx.stint.tracking);

    size_t windowBefore = r.ctx.stint.fuelWindow.count;
    r.seconds(125);
    // Laps after the stop count for fuel again, and the tyres are new.
    EXPECT_GT(r.ctx.stint.fuelWindow.count, windowBefore);
    EXPECT_GT(r.samples.back().wearPercent[0], 85.0);

    r.seconds(2 + 5); // standing still on track: frozen after 6 ticks, then 6 bad ones
    EXPECT_TRUE(r.ctx.stint.tracking);
    r.seconds(1.5);
    EXPECT_FALSE(r.ctx.stint.tracking);
    r.seconds(60);
    EXPECT_TRUE(r.ctx.stint.tracking);
    r.seconds(10); // garage stall at rest: bad samples, but in the pits they hold
    EXPECT_FALSE(r.samples.back().drivingSample);
    EXPECT_TRUE(r.ctx.stint.tracking);
}

TEST(StintScenario, PitVisitBeforeBeingOutIsNoStop) {
    StintRun r(test::scenarioFrom(R"(
track "T"
et 60
player id=7 driver="P" class="H" place=1
timeline
garage 10
pitlane 20
drive 30
pitlane 10
box 10 refuel=20
pitlane 10
drive 10
)"));
    r.seconds(30);
    EXPECT_FALSE(r.ctx.stint.pitArmed);
    r.seconds(30);
    EXPECT_TRUE(r.ctx.stint.pitArmed);
    EXPECT_FALSE(r.ctx.stint.lastStop.valid);
    r.seconds(33);
    EXPECT_TRUE(r.ctx.stint.lastStop.valid);
    EXPECT_NEAR(r.ctx.stint.lastStop.litres, 20.0, 0.2);
    EXPECT_FALSE(r.ctx.stint.lastStop.tyresChanged);
}

TEST(StintScenario, RestartSessionChangeAndCompounds) {
    StintRun r(test::scenarioFrom(R"(
track "T"
session 10
et 600
lap 20
player id=7 driver="P" class="H" place=1
timeline
drive 70
restart
drive 10
compound Soft Medium
drive 5
pitlane 2
session 12 et=30
pitlane 5
)"));
    r.seconds(70);
    int lastLap = r.ctx.stint.lastLap;
    EXPECT_EQ(lastLap, 4);
    r.seconds(10);
    EXPECT_EQ(r.ctx.stint.lastLap, lastLap); // lap numbers went backwards: held
    r.seconds(1);
    EXPECT_TRUE(r.samples.back().tyreChangeRecent);
    EXPECT_TRUE(r.ctx.stint.wheelChanged[0]);
    EXPECT_FALSE(r.ctx.stint.wheelChanged[2]);
    r.seconds(4);
    EXPECT_TRUE(r.ctx.stint.pitArmed);
    r.seconds(2 + 2);
    EXPECT_EQ(r.ctx.stint.lastSessionType, 12);
    EXPECT_FALSE(r.ctx.stint.pitArmed); // a new session 30 s old, joined in the pit lane
}

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
