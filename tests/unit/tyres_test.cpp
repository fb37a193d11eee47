#include "stint_bench.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>

using namespace korvane;
using korvane::test::StintBench;

TEST(TyreReading, RestWearAndTemperatures) {
    struct Case {
        double rest;
        double shm;
        double percent;
    } cases[] = {{0.87, 0.5, 87.0},     {87.0, 0.5, 87.0},         {-1, 0.9, 90.0},
                 {1.0001, 0.5, 100.01}, {std::nan(""), 0.9, 90.0}, {0.0, 0.9, 0.0}};
    for (const Case& c : cases) {
        StintBench b;
        b.rest.tyreWear = {c.rest, c.rest, c.rest, c.rest};
        for (auto& w : b.pt.wheels) w.wear = c.shm;
        b.tick();
        EXPECT_NEAR(b.last.wearPercent[2], c.percent, 1e-9) << c.rest;
    }
    StintBench b;
    b.pt.wheels[0].carcassTempK = 353.15;
    b.pt.wheels[1].carcassTempK = 0;
    b.pt.wheels[2].carcassTempK = 100.0;
    b.tick();
    EXPECT_NEAR(b.last.tempC[0], 80.0, 1e-9);
    EXPECT_EQ(b.last.tempC[1], 0.0);
    EXPECT_EQ(b.last.tempC[2], 0.0);
}

TEST(TyreWearRate, CleanLapsOnly) {
    StintBench b;
    b.wear(96, 96, 96, 96);
    b.startTracking();
    b.wear(96, 95, 96, 96); // a loss on the lap joined part-way, which is dirty
    b.nextLap();
    EXPECT_TRUE(b.st.wearWindows[0].empty());
    b.wear(93.5, 96, 76, 97);
    b.nextLap();
    EXPECT_EQ(b.st.wearWindows[0].count, 1u);
    EXPECT_NEAR(b.st.wearPerLap[0], 2.5, 1e-9);
    EXPECT_TRUE(b.st.wearWindows[1].empty()); // no loss
    EXPECT_TRUE(b.st.wearWindows[2].empty()); // 20 in one lap: beyond 15
    EXPECT_TRUE(b.st.wearWindows[3].empty()); // a gain
    b.wear(88.5, 96, 76, 97);
    b.pt.lap += 2; // a clean lap spanning two lap numbers
    b.tick();
    EXPECT_EQ(b.st.wearWindows[0].count, 2u);
    EXPECT_NEAR(b.st.wearWindows[0].values[1], 2.5, 1e-9);
    b.pitLane(); // a lap through the pit lane is no clean lap
    b.tick();
    b.drive();
    b.wear(86, 96, 76, 97);
    b.nextLap();
    EXPECT_EQ(b.st.wearWindows[0].count, 2u);

    // Lap numbers of a broken game: a jump past what an int holds.
    StintBench far;
    far.pt.lap = INT32_MIN + 1;
    far.startTracking();
    far.nextLap(); // the lap joined part-way ends: the next is a clean one
    far.pt.lap = INT32_MAX;
    far.wear(90, 96, 96, 96);
    far.tick();
    EXPECT_TRUE(far.st.lastLap == INT32_MAX && far.st.wearWindows[0].empty());
}

TEST(TyreChange, InThePitsOnly) {
    StintBench b;
    b.wear(60, 60, 60, 60);
    b.startTracking();
    b.tick();
    b.wear(100, 100, 60, 60); // on track: not a change
    b.tick();
    EXPECT_FALSE(b.last.tyreChangeRecent);
    b.pitLane();
    b.tick();
    b.wear(60, 60, 60, 60); // back down by 40 in the pits: a change
    b.tick();
    EXPECT_TRUE(b.last.tyreChangeRecent);
    EXPECT_EQ(b.st.wheelChanged, (std::array<bool, 4>{true, true, false, false}));
    EXPECT_TRUE(b.st.lapDirty);
    EXPECT_DOUBLE_EQ(b.st.lastChangeEt, b.et());
}

TEST(TyreChange, CompoundChangeCountsOnTrackAndStaysRecentForThreeSeconds) {
    StintBench b;
    std::strcpy(b.pt.frontCompound, "Medium");
    std::strcpy(b.pt.rearCompound, "Medium");
    b.startTracking();
    b.tick();
    std::strcpy(b.pt.rearCompound, "Soft");
    b.tick();
    EXPECT_TRUE(b.last.tyreChangeRecent);
    EXPECT_EQ(b.st.wheelChanged, (std::array<bool, 4>{false, false, true, true}));
    double changedAt = b.et();
    b.ticks(4); // 2 s later
    EXPECT_TRUE(b.last.tyreChangeRecent);
    EXPECT_TRUE(b.st.wheelChanged[2]);
    b.ticks(3); // 3.5 s later
    EXPECT_FALSE(b.last.tyreChangeRecent);
    EXPECT_EQ(b.st.wheelChanged, (std::array<bool, 4>{false, false, false, false}));
    EXPECT_DOUBLE_EQ(b.st.lastChangeEt, changedAt);
    std::strcpy(b.pt.frontCompound, "Hard");
    b.tick();
    EXPECT_EQ(b.st.wheelChanged, (std::array<bool, 4>{true, true, false, false}));
}

// Tracking that resumes (or starts) in the pit lane has no wear or compound
// to compare with: its first tick only stores them.
TEST(TyreChange, ReferencesClearedWhileNotTracking) {
    StintBench b;
    std::strcpy(b.pt.frontCompound, "Medium");
    std::strcpy(b.pt.rearCompound, "Medium");
    b.wear(60, 60, 60, 60);
    b.startTracking();
    b.pt.fuelLitres = 0; // bad samples until tracking drops
    b.ticks(6);
    ASSERT_FALSE(b.st.tracking);
    EXPECT_EQ(b.st.storedFrontCompound[0], '\0');
    EXPECT_EQ(b.st.storedRearCompound[0], '\0');
    EXPECT_EQ(b.st.previousWear[0], -1);
    b.pt.fuelLitres = 50;
    std::strcpy(b.pt.frontCompound, "Hard");
    b.pitLane();
    b.ticks(3);
    ASSERT_TRUE(b.st.tracking);
    EXPECT_FALSE(b.last.tyreChangeRecent);
    EXPECT_STREQ(b.st.storedFrontCompound, "Hard");
    EXPECT_EQ(b.st.previousWear[0], 60);
}

TEST(TyreChange, CompoundFieldsFilledToTheLastByte) {
    StintBench b;
    std::memset(b.pt.frontCompound, 'X', 18);
    b.startTracking();
    b.tick();
    b.pt.frontCompound[17] = 'Y'; // beyond the 17 compared characters
    b.tick();
    EXPECT_FALSE(b.last.tyreChangeRecent);
    EXPECT_EQ(std::strlen(b.st.storedFrontCompound), 17u);
}
