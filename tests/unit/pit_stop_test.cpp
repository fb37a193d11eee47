#include "stint_bench.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::test::StintBench;

namespace {

// A bench whose car has been out on track, with the clock at `et` after the
// arming ticks.
StintBench armedBench() {
    StintBench b;
    b.startTracking();
    EXPECT_TRUE(b.st.pitArmed); // ET 500 > 180 when the session was first seen
    return b;
}

// Enters the pits so that the stop starts at the tick whose ET is `start`.
void enterPitsAt(StintBench& b, double start) {
    b.scoring->currentEt = start - 1.0;
    b.pitLane();
    b.tick(); // first tick in: not yet stable
    EXPECT_FALSE(b.last.inPitStop);
    b.tick(); // second: stable, the stop starts here
    EXPECT_TRUE(b.last.inPitStop);
    EXPECT_TRUE(b.st.pitStopInProgress);
    EXPECT_DOUBLE_EQ(b.st.stopStartEt, start);
}

// Drives out so that the stop ends on the tick whose ET is `end`.
void leavePitsAt(StintBench& b, double end) {
    b.pitLane();
    while (b.et() < end - 1.0 - 1e-9) b.tick();
    b.drive();
    b.tick(); // first tick out: still stable
    EXPECT_TRUE(b.st.pitStopInProgress);
    b.tick(); // second: the stop ends
    EXPECT_FALSE(b.st.pitStopInProgress);
    EXPECT_DOUBLE_EQ(b.et(), end);
}

} // namespace

// Two ticks either way (the helpers above check them); a single tick out of
// the pits between two in them leaves the stop going.
TEST(PitDebounce, OneTickOutIsNotAnExit) {
    StintBench b = armedBench();
    enterPitsAt(b, 1000.0);
    b.drive();
    b.tick();
    b.pitLane();
    b.tick();
    EXPECT_TRUE(b.st.pitStable);
    EXPECT_TRUE(b.st.pitStopInProgress);
}

TEST(PitStop, MeasuredStopWithRefuel) {
    StintBench b = armedBench();
    b.pt.fuelLitres = 10;
    enterPitsAt(b, 1000.0);
    b.ticks(10); // rolling down the lane
    b.box();
    for (int i = 0; i < 24; ++i) {
        b.pt.fuelLitres = 10 + 50.0 * (i + 1) / 24;
        b.tick();
    }
    leavePitsAt(b, 1040.0);
    const LastStop& s = b.st.lastStop;
    ASSERT_TRUE(s.valid);
    EXPECT_DOUBLE_EQ(s.stationarySeconds, 12.0);
    EXPECT_DOUBLE_EQ(s.driveThroughSeconds, 28.0);
    EXPECT_NEAR(s.litres, 50.0, 1e-9);
    EXPECT_FALSE(s.tyresChanged);
    EXPECT_NEAR(secondsPerLitre(s), 0.24, 1e-12);
}

TEST(PitStop, TyreChangeDuringStopClearsSecondsPerLitre) {
    StintBench b = armedBench();
    b.wear(70, 60, 70, 70);
    b.pt.fuelLitres = 10;
    b.tick();
    enterPitsAt(b, 1000.0);
    b.box();
    for (int i = 0; i < 24; ++i) {
        b.pt.fuelLitres = 10 + 50.0 * (i + 1) / 24;
        if (i == 12) b.wear(100, 100, 100, 100);
        b.tick();
    }
    leavePitsAt(b, 1040.0);
    ASSERT_TRUE(b.st.lastStop.valid);
    EXPECT_TRUE(b.st.lastStop.tyresChanged);
    EXPECT_DOUBLE_EQ(secondsPerLitre(b.st.lastStop), 0.0);
}

TEST(PitStop, BoundsKeepTheOldStop) {
    struct Case {
        const char* what;
        double start, end;
        int stillTicks;
        bool valid;
    } cases[] = {
        {"5 s visit", 1000, 1005, 0, false},   {"just over 5 s", 1000, 1005.5, 0, true},
        {"drive 1 s", 1000, 1020, 38, false},  // 20 - 19 = 1
        {"drive 1.5 s", 1000, 1020, 37, true}, // 20 - 18.5
        {"drive 120 s", 1000, 1120, 0, false}, {"600 s in the box", 1000, 1600, 1190, false},
    };
    for (const Case& c : cases) {
        StintBench b = armedBench();
        enterPitsAt(b, c.start);
        b.box();
        b.ticks(c.stillTicks);
        leavePitsAt(b, c.end);
        EXPECT_EQ(b.st.lastStop.valid, c.valid) << c.what;
    }
}

TEST(PitStop, NoStopBeforeTheCarHasBeenOut) {
    StintBench b;
    b.scoring->currentEt = 60;
    b.ps.inPits = 1;
    b.ps.inGarageStall = 1;
    b.speed(0);
    b.pt.rpm = 0;
    b.ticks(10); // in the garage at session start
    b.pitLane();
    b.ticks(40); // down the pit lane and out
    b.drive();
    b.speed(70);
    b.ticks(4);
    EXPECT_FALSE(b.st.pitArmed);
    EXPECT_FALSE(b.st.lastStop.valid);
    b.speed(81);
    b.tick();
    EXPECT_TRUE(b.st.pitArmed);
    EXPECT_FALSE(b.last.inPitStop);
    b.ticks(100);
    enterPitsAt(b, b.et() + 1.0 + 0.5);
    b.box();
    b.ticks(20);
    leavePitsAt(b, b.et() + 10.0);
    EXPECT_TRUE(b.st.lastStop.valid);
}

TEST(PitStop, SessionChangeArms) {
    StintBench b;
    b.raceOnly = false;
    b.scoring->sessionType = 2;
    b.scoring->currentEt = 100;
    b.speed(50);
    b.ticks(3);
    EXPECT_FALSE(b.st.pitArmed); // practice joined at 100 s below 80 km/h
    b.scoring->sessionType = 5;
    b.scoring->currentEt = 399.5;
    b.tick();
    EXPECT_TRUE(b.st.pitArmed);
    EXPECT_EQ(b.st.lastSessionType, 5);

    StintBench inPits;
    inPits.raceOnly = false;
    inPits.pitLane();
    inPits.scoring->currentEt = 399.5;
    inPits.tick(); // joined in the pits: not armed
    EXPECT_FALSE(inPits.st.pitArmed);
}
