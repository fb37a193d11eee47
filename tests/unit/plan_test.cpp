#include "analysis/plan.h"
#include "analysis/steps.h"
#include "app/status_screen.h"
#include "app/tick.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace korvane;

namespace {

// A race against the clock: 1000 s left at a pace of 100 s, the lap half
// driven; 20 L in a 100 L tank at 3 L a lap; 50 % energy at 2.5 % a lap.
PlanInput timedRace() {
    PlanInput in;
    in.pace = 100;
    in.timeLeft = 1000;
    in.lapFraction = 0.5;
    in.fuel = 20;
    in.capacity = 100;
    in.fuelPerLap = 3;
    in.energy = 50;
    in.energyPerLap = 2.5;
    return in;
}

} // namespace

// Each rule worked by hand. Every case is planned again at the use per lap
// that saves a stop: that use needs one stop fewer, and 1 % more does not.
TEST(Plan, HandWorkedCases) {
    struct Case {
        const char* name;
        PlanInput in;
        double laps;
        int64_t stops;
        PlanBinds binds;
        double fuelOnTop, fuelAdd, energyLevel, fuelSave, energySave; // -1: as now
    };
    std::vector<Case> cases;
    // ceil(1000/100 + 0.5) - 0.5 = 10.5 laps: 31.5 L, 11.5 L on top; the stop
    // comes at the 1-lap reserve, 17/3 laps on, and adds 11.5 + 3 L; the
    // energy is then at 50 - 17/3 * 2.5 = 35.83 %, more than the rest needs.
    cases.push_back({"half a lap driven", timedRace(), 10.5, 1, PlanBinds::Fuel, 11.5, 14.5,
                     50 - 17.0 / 3 * 2.5, 20 / 10.5, -1});
    PlanInput byTime = timedRace();
    byTime.lapFraction = -1;
    byTime.lapSecondsSoFar = 50; // no distance: half the pace into the lap
    cases.push_back({"time into the lap", byTime, 10.5, 1, PlanBinds::Fuel, 11.5, 14.5,
                     50 - 17.0 / 3 * 2.5, 20 / 10.5, -1});
    PlanInput reserve = timedRace();
    reserve.reserveLaps = 2; // the stop 14/3 laps on, adding 11.5 + 6 L
    cases.push_back({"two laps in reserve", reserve, 10.5, 1, PlanBinds::Fuel, 11.5, 17.5,
                     50 - 14.0 / 3 * 2.5, (20 + 0.0) / 10.5, -1});
    // Laps: 60 allowed, 40 done. 180 L against 50 L: 130 L over 97 L a stop.
    PlanInput lapRace = timedRace();
    lapRace.pace = -1; // the laps need no pace
    lapRace.timeLeft = -1;
    lapRace.lapLimitLeft = 60 - 40;
    lapRace.fuel = 50;
    lapRace.energy = 90; // 50 % to the flag
    // The stop 47/3 laps on, with 3 L left, adds 13 L for the last 13/3 laps.
    cases.push_back({"a lap race", lapRace, 20, 1, PlanBinds::Fuel, 10, 13, 90 - 47.0 / 3 * 2.5,
                     50.0 / 20, -1});
    PlanInput twoStops = lapRace;
    twoStops.lapLimitLeft = 60;
    // 150 L over 100 L a stop after one: (50 + 100) / (60 + 1) L a lap.
    cases.push_back({"one stop does not reach", twoStops, 60, 2, PlanBinds::Fuel, 130, 97, 100,
                     150.0 / 61, -1});
    PlanInput energy = timedRace();
    energy.fuel = 70; // 31.5 L needed: none on top
    energy.energy = 10;
    energy.energyPerLap = 4; // 42 % to the flag: 32 % on top; the stop 1.5 laps on
    cases.push_back(
        {"energy binds", energy, 10.5, 1, PlanBinds::Energy, 0, 0, 9 * 4 + 4, -1, 10 / 10.5});
    PlanInput pit = timedRace();
    pit.inPitLane = true; // stopping now, with all 20 L still in: 80 L fit
    cases.push_back(
        {"in the pit lane", pit, 10.5, 1, PlanBinds::Fuel, 11.5, 14.5, 50, 20 / 10.5, -1});
    // 80 L in: this stop takes 20 L, the next the other 80 L of 180 L.
    PlanInput pitShort = lapRace;
    pitShort.lapLimitLeft = 60;
    pitShort.inPitLane = true;
    pitShort.fuel = 80;
    pitShort.energyPerLap = 1;
    cases.push_back({"in the pit lane, a stop short", pitShort, 60, 2, PlanBinds::Fuel, 100, 20,
                     100, 100.0 / 60, -1});
    PlanInput none = timedRace();
    none.fuel = 40;
    cases.push_back({"no stop", none, 10.5, 0, PlanBinds::None, 0, 0, 0, -1, -1});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FlagPlan p = planToFlag(c.in);
        ASSERT_TRUE(p.known);
        EXPECT_NEAR(p.lapsToFlag, c.laps, 1e-9);
        EXPECT_EQ(p.stops, c.stops);
        EXPECT_EQ(p.binds, c.binds);
        EXPECT_NEAR(p.fuel.toFlag, c.laps * c.in.fuelPerLap, 1e-9);
        EXPECT_NEAR(p.fuel.onTop, c.fuelOnTop, 1e-9);
        EXPECT_NEAR(p.fuel.add, c.fuelAdd, 1e-9);
        EXPECT_NEAR(p.energy.level, c.energyLevel, 1e-9);
        EXPECT_NEAR(p.fuel.saveUse, c.fuelSave, 1e-9);
        EXPECT_NEAR(p.energy.saveUse, c.energySave, 1e-9);
        for (int side = 0; side < 2; ++side) {
            const ResourcePlan& r = side ? p.energy : p.fuel;
            if (r.saveUse < 0) continue;
            double use = side ? c.in.energyPerLap : c.in.fuelPerLap;
            EXPECT_NEAR(r.savePercent, (use - r.saveUse) / use * 100, 1e-9);
            for (double scale : {1.0, 1.01}) {
                PlanInput again = c.in;
                (side ? again.energyPerLap : again.fuelPerLap) = r.saveUse * scale;
                const ResourcePlan& re = side ? planToFlag(again).energy : planToFlag(again).fuel;
                EXPECT_EQ(re.stops, scale == 1.0 ? p.stops - 1 : p.stops) << side;
            }
        }
    }
    // No pace yet: no laps to the flag in a race against the clock.
    PlanInput noPace = timedRace();
    noPace.pace = -1;
    EXPECT_FALSE(planToFlag(noPace).known);
    EXPECT_TRUE(planLines(planToFlag(noPace), 0).empty());
}

// The laps a lap race leaves, for a car on the lead lap and lapped ones.
TEST(Plan, LappedCars) {
    EXPECT_EQ(lapRaceLapsLeft(60, 40, 40), 20);
    EXPECT_EQ(lapRaceLapsLeft(60, 39, 40), 21); // one lap down: at most one more than the leader
    EXPECT_EQ(lapRaceLapsLeft(60, 37, 40), 21); // three down: the flag comes first
    EXPECT_EQ(lapRaceLapsLeft(60, 57, 60), 1);  // the leader is home: one more crossing
    EXPECT_EQ(lapRaceLapsLeft(0, 10, 12), -1);

    // Through the tick's step: the leader is the car in first place, wherever
    // it stands among the records.
    auto scoring = std::make_unique<ScoringBuffer>();
    scoring->maxLaps = 60;
    scoring->numVehicles = 3;
    int laps[3] = {40, 37, 45}, places[3] = {1, 2, 3};
    for (int i = 0; i < 3; ++i) {
        scoring->vehicles[i].lapsCompleted = int16_t(laps[i]);
        scoring->vehicles[i].place = uint8_t(places[i]);
    }
    StintState st;
    TickSample s;
    s.sessionOk = true;
    steps::planStep(st, *scoring, scoring->vehicles[1], s);
    EXPECT_EQ(s.plan.lapsToFlag, 21);
}

// The pace: the last five laps within 107 % of the median; the spread of a
// stint's clean laps. Tyres: the most worn at its own wear per lap.
TEST(Plan, PaceSpreadAndTyres) {
    std::vector<double> laps{100, 101, 150, 99, 100, 102, 98, 101};
    EXPECT_DOUBLE_EQ(paceOf(laps), (99 + 100 + 102 + 98 + 101) / 5.0);
    EXPECT_EQ(paceOf(std::vector<double>{}), -1);
    LapSpread s = lapSpread({100, 102, 200});
    EXPECT_EQ(s.laps, 2u);
    EXPECT_DOUBLE_EQ(s.mean, 101);
    EXPECT_DOUBLE_EQ(s.deviation, std::sqrt(2.0));

    PlanInput in = timedRace();
    in.wear = {80, 70, 60, 65};
    in.wearPerLap = {1, 1, 2, 0.5};
    FlagPlan p = planToFlag(in);
    EXPECT_EQ(p.tyre, 2);
    EXPECT_DOUBLE_EQ(p.tyreLaps, 30);
}

// The rig's race against the clock through the live program's tick: the
// pace is the game's lap time from the second lap on, the stint's use per lap
// is the burn, and the laps to the flag follow the rule at every tick.
TEST(Plan, RigRaceAgainstTheClock) {
    testkit::Scenario sc = test::scenarioFile("flag");
    testkit::ScenarioPlayer player(sc);
    testkit::FrameBuffers fb;
    TickContext ctx;
    RestSnapshot snapshot;
    ctx.views = {fb.telemetry.get(), fb.scoring.get(), fb.pitMenu()};
    ctx.stint.reserveLaps = 1.5;
    int checked = 0;
    for (int i = 0; i < 600; ++i) {
        player.advance(0.5);
        fb.publish(sc, player.world());
        PlayerRecords rec;
        ASSERT_EQ(beginTick(ctx, true, rec), TickStart::Ready);
        TickSample s = analyseTick(ctx, rec, snapshot);
        const testkit::World& w = player.world();
        // Lap 1 is the session's first; lap 2 gives the pace as it ends.
        double second = sc.startEt + 2 * sc.lapSeconds;
        if (w.et < second - 1e-6) {
            EXPECT_EQ(s.plan.pace, -1) << w.et;
        }
        if (w.et < second + 1) continue;
        ASSERT_NEAR(s.plan.pace, sc.lapSeconds, 1e-6) << w.et;
        double left = sc.endEt - w.et, part = w.lapProgress;
        EXPECT_NEAR(s.plan.lapsToFlag, std::ceil(left / sc.lapSeconds + part - 1e-9) - part, 1e-6)
            << w.et;
        EXPECT_NEAR(s.plan.fuel.toFlag, s.plan.lapsToFlag * ctx.stint.fuelWindow.mean, 1e-9);
        checked += 1;
    }
    EXPECT_GT(checked, 400);
}

// The block under the measurements: each figure in its place, the stop
// after this one named; the verbose lines give one decimal more. Nothing
// before a pace, nor while no session counts.
TEST(Plan, OnTheStatusScreen) {
    PlanInput in = timedRace();
    in.timeLeft = 5950; // 59.5 laps: 178.5 L with 50 L in, 148.75 % with 90 %
    in.fuel = 50;
    in.energy = 90;
    in.wear = {80, 70, 60, 65};
    in.wearPerLap = {1, 1, 2, 0.5};
    StintState st;
    TickSample t;
    t.plan = planToFlag(in);
    ScreenInput screen;
    screen.sessionOk = true;
    screen.verbose = true;
    screen.sample = &t;
    screen.stint = &st;
    std::vector<std::string> lines = statusScreenLines(screen);
    std::vector<std::string> block = {
        "To flag : 59.5 laps   fuel 178.5 L (+128.5)   VE 148.8% (+58.8)",
        "Stops   : 2 (fuel binds)   next: +97.0 L, VE to 100%, then 1 more",
        "Save    : a stop at 2.48 L/lap (-17.4%), energy as now",
        "Pace    : 1:40.0 a lap   tyres: RL lasts 30.0 laps more"};
    auto at = std::find(lines.begin(), lines.end(), block[0]);
    ASSERT_NE(at, lines.end());
    EXPECT_EQ(std::vector<std::string>(at, at + 4), block);
    EXPECT_EQ(at[-1].rfind("Measured: ", 0), 0u);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "Save    : a stop at 2.479 L/lap (-17.36%), energy as now"),
              lines.end());
    in.fuel = 200;
    in.capacity = 250;
    in.energy = 100; // both hold more than the 59.5 laps take
    in.energyPerLap = 1;
    EXPECT_EQ(planLines(planToFlag(in), 0).at(1),
              "Stops   : none - what the car holds reaches the flag");
    screen.sessionOk = false;
    for (const std::string& l : statusScreenLines(screen)) EXPECT_NE(l.rfind("To flag", 0), 0u);
}
