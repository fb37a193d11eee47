#include "stint_bench.h"

#include <gtest/gtest.h>

using namespace korvane;
using korvane::test::StintBench;

TEST(Tracking, OnAtThirdDrivingTickOffAfterSixBad) {
    StintBench b;
    b.tick();
    EXPECT_TRUE(b.last.seatRaw);
    EXPECT_FALSE(b.st.tracking);
    b.tick();
    EXPECT_FALSE(b.st.tracking);
    b.tick();
    EXPECT_TRUE(b.st.tracking);
    EXPECT_TRUE(b.last.seatRaw);

    b.pt.fuelLitres = 0.0; // implausible fuel: every sample is bad
    for (int i = 0; i < 5; ++i) {
        b.tick();
        EXPECT_TRUE(b.st.tracking) << i;
        EXPECT_FALSE(b.last.seatRaw);
    }
    b.tick();
    EXPECT_FALSE(b.st.tracking);
}

TEST(Tracking, HeldWhileStandingInThePitBox) {
    StintBench b;
    b.startTracking();
    b.box(); // engine off, speed 0: the pit flag still counts as moving
    b.pt.rpm = 0;
    b.ticks(20);
    EXPECT_TRUE(b.st.tracking);
    EXPECT_TRUE(b.last.drivingSample);
    b.wear(0, 0, 0, 0); // wheels off the car: bad samples, held by the pit flag
    b.ticks(20);
    EXPECT_TRUE(b.st.tracking);
    EXPECT_FALSE(b.last.drivingSample);
    EXPECT_EQ(b.st.badSamples, 0);
    b.drive(); // the same bad samples on track count
    b.ticks(6);
    EXPECT_FALSE(b.st.tracking);
}

TEST(Tracking, FrozenCarStopsTracking) {
    StintBench b;
    b.startTracking();
    b.speed(0);
    b.pt.rpm = 900; // engine running, standing still on track
    for (int i = 1; i <= 6; ++i) {
        b.tick();
        EXPECT_EQ(b.st.frozen, i);
    }
    // The sixth still tick was already bad (frozen reached 6 before the test).
    EXPECT_FALSE(b.last.seatRaw);
    EXPECT_TRUE(b.last.drivingSample); // rpm > 400 alone counts as moving
    b.ticks(4);
    EXPECT_TRUE(b.st.tracking);
    b.tick();
    EXPECT_FALSE(b.st.tracking);
}

TEST(Tracking, FirstTickAfterSessionReturnsNeverCountsAsStill) {
    StintBench b;
    b.speed(0);
    b.tick();
    EXPECT_EQ(b.st.frozen, 0); // no previous fuel yet
    b.tick();
    EXPECT_EQ(b.st.frozen, 1);
    b.scoring->gamePhase = 9;
    b.tick();
    EXPECT_EQ(b.st.frozen, 0);
    EXPECT_EQ(b.st.previousFuel, -1);
    b.scoring->gamePhase = 5;
    b.tick();
    EXPECT_EQ(b.st.frozen, 0);
}

TEST(DrivingSample, Rules) {
    VehicleScoring player{};
    player.isPlayer = 1;
    std::array<double, 4> worn{50, 50, 50, 50};
    struct Case {
        const char* what;
        bool ok;
        double fuel, capacity, speed, rpm;
        bool pit, garage;
        std::array<double, 4> wear;
        uint8_t control, isPlayer;
    } cases[] = {
        {"driving", true, 50, 100, 100, 8000, false, false, worn, 0, 1},
        {"remote controller", false, 50, 100, 100, 8000, false, false, worn, 2, 0},
        {"flagged player with AI controller", true, 50, 100, 100, 8000, false, false, worn, 1, 1},
        {"garage at rest", false, 50, 100, 0.5, 100, false, true, worn, 0, 1},
        {"garage engine running", true, 50, 100, 0.5, 500, false, true, worn, 0, 1},
        {"tiny tank", false, 0.5, 1.0, 100, 8000, false, false, worn, 0, 1},
        {"over capacity", false, 101.5, 100, 100, 8000, false, false, worn, 0, 1},
        {"just within capacity", true, 101.0, 100, 100, 8000, false, false, worn, 0, 1},
        {"no fuel", false, 0.05, 100, 100, 8000, false, false, worn, 0, 1},
        {"worn out tyre", false, 50, 100, 100, 8000, false, false, {50, 0.1, 50, 50}, 0, 1},
        {"tyre over 100.5", false, 50, 100, 100, 8000, false, false, {100.6, 50, 50, 50}, 0, 1},
        {"still, engine off", false, 50, 100, 2, 300, false, false, worn, 0, 1},
        {"still in the pits", true, 50, 100, 0, 0, true, false, worn, 0, 1},
    };
    for (const Case& c : cases) {
        player.control = c.control;
        player.isPlayer = c.isPlayer;
        EXPECT_EQ(isDrivingSample(true, c.fuel, c.capacity, c.wear, c.speed, c.rpm, c.pit, c.garage,
                                  player),
                  c.ok)
            << c.what;
    }
    player.control = 0;
    EXPECT_FALSE(isDrivingSample(false, 50, 100, worn, 100, 8000, false, false, player));
}

TEST(FuelAccounting, WindowOfTheLastEightLaps) {
    StintBench b;
    double fuel = 80;
    b.pt.fuelLitres = fuel;
    b.startTracking();
    for (int i = 0; i < 9; ++i) {
        fuel -= 3.0 + 0.1 * i;
        b.pt.fuelLitres = fuel;
        b.nextLap();
    }
    EXPECT_EQ(b.st.fuelWindow.count, 8u);
    EXPECT_NEAR(b.st.fuelAverage, 3.45, 1e-9);
    EXPECT_NEAR(b.st.fuelUsedLastLap, 3.8, 1e-9);
    EXPECT_NEAR(b.last.estimatedFuelLaps, fuel / 3.45, 1e-9);
}

TEST(FuelAccounting, RefuelLapReportedButNotAveraged) {
    StintBench b;
    b.pt.fuelLitres = 40;
    b.startTracking();
    b.pt.fuelLitres = 37.5;
    b.nextLap();
    ASSERT_NEAR(b.st.fuelAverage, 2.5, 1e-9);
    b.pt.fuelLitres = 57.5; // 20 litres more than at the lap start
    b.nextLap();
    EXPECT_NEAR(b.st.fuelUsedLastLap, -20.0, 1e-9);
    EXPECT_EQ(b.st.fuelWindow.count, 1u);
    EXPECT_NEAR(b.st.fuelAverage, 2.5, 1e-9);
    b.pt.fuelLitres = 25;
    b.tick();
    EXPECT_NEAR(b.last.estimatedFuelLaps, 10.0, 1e-9);
}

// A lap's use counts toward its average only inside its bounds: litres
// above 0.2 and below 20, energy above 0.05 % and below 25 %.
TEST(LapWindows, UseOutsideTheBoundsStaysOut) {
    struct Row {
        double use;
        bool fuel, energy;
    } rows[] = {{0.0, false, false}, {0.03, false, false}, {0.1, false, true},
                {0.3, true, true},   {19.9, true, true},   {20.0, false, true},
                {22.0, false, true}, {26.0, false, false}, {-5.0, false, false}};
    for (const Row& row : rows) {
        StintBench b;
        b.pt.fuelLitres = 60;
        b.rest.veValid = true;
        b.rest.vePercent = 60;
        b.startTracking();
        b.pt.fuelLitres = 60 - row.use;
        b.rest.vePercent = 60 - row.use;
        b.nextLap();
        EXPECT_EQ(b.st.fuelWindow.count, row.fuel ? 1u : 0u) << row.use;
        EXPECT_EQ(b.st.energyWindow.count, row.energy ? 1u : 0u) << row.use;
    }
}

TEST(FuelAccounting, NoAverageMeansNoEstimateAndFuelPercent) {
    StintBench b;
    b.tick();
    EXPECT_EQ(b.last.estimatedFuelLaps, 0.0);
    EXPECT_DOUBLE_EQ(b.last.fuelPercent, 50.0);
    EXPECT_DOUBLE_EQ(fuelPercentOf(50, 0.05), 0.0);
}

TEST(FuelAccounting, LapNumberGoingBackwardsStartsNoLap) {
    StintBench b;
    b.startTracking();
    b.pt.lap = 5;
    b.pt.fuelLitres = 40;
    b.nextLap();  // lap 6: boundary, start fuel 40
    b.pt.lap = 1; // restart
    b.pt.fuelLitres = 38;
    b.tick();
    EXPECT_EQ(b.st.lastLap, 6);
    b.pt.lap = 7;
    b.pt.fuelLitres = 37;
    b.tick();
    EXPECT_NEAR(b.st.fuelUsedLastLap, 3.0, 1e-9); // from the old lap start
}

TEST(FuelAccounting, FuelRiseFlagsTheTick) {
    StintBench b;
    b.startTracking();
    b.pt.fuelLitres += 0.9;
    EXPECT_FALSE(b.tick().fuelJustIncreased);
    b.pt.fuelLitres += 1.0;
    EXPECT_TRUE(b.tick().fuelJustIncreased);
    EXPECT_FALSE(b.tick().fuelJustIncreased);
    b.pt.fuelLitres += 1.0;
    b.scoring->gamePhase = 9; // the session over: nothing compared
    EXPECT_FALSE(b.tick().fuelJustIncreased);
}

TEST(Energy, SourceChoice) {
    struct Case {
        bool valid;
        double restPct;
        double menu;
        double energy;
        EnergySource source;
    } cases[] = {
        {true, 62.5, 80.0, 62.5, EnergySource::Rest},
        {true, -0.3, 80.0, 80.0, EnergySource::PitMenu},
        {true, 100.6, 80.0, 80.0, EnergySource::PitMenu},
        {true, 100.5, 80.0, 100.5, EnergySource::Rest},
        {true, 0.0, 80.0, 0.0, EnergySource::Rest}, // an empty battery is a value
        {false, 62.5, 80.0, 80.0, EnergySource::PitMenu},
        {false, 62.5, -1.0, -1.0, EnergySource::None},
        {true, -0.3, -1.0, -1.0, EnergySource::None},
    };
    for (const Case& c : cases) {
        StintBench b;
        b.rest.veValid = c.valid;
        b.rest.vePercent = c.restPct;
        b.st.pitMenu.energyPercent = c.menu;
        b.tick();
        EXPECT_DOUBLE_EQ(b.last.energyPercent, c.energy);
        EXPECT_EQ(b.last.energySource, c.source);
    }
}

TEST(Energy, PerLapUseAndEstimates) {
    StintBench b;
    b.rest.veValid = true;
    b.rest.vePercent = 70.0;
    b.startTracking();
    b.rest.vePercent = 66.2;
    b.nextLap();
    EXPECT_EQ(b.st.energyWindow.count, 1u);
    EXPECT_NEAR(b.st.energyAverage, 3.8, 1e-9);

    b.st.energyAverage = 3.9;
    EXPECT_DOUBLE_EQ(energyPerLap(b.st, 3.5), 3.5);
    EXPECT_DOUBLE_EQ(energyPerLap(b.st, -1.0), 3.9);
    EXPECT_DOUBLE_EQ(estimatedEnergyLaps(56.0, 3.5), 16.0);
    EXPECT_DOUBLE_EQ(estimatedEnergyLaps(56.0, 0.01), 0.0);
}

TEST(Energy, LapStartedWithoutSourceNeverCounts) {
    StintBench b;
    b.startTracking(); // no energy at the lap start
    b.rest.veValid = true;
    b.rest.vePercent = 60;
    b.nextLap();
    EXPECT_TRUE(b.st.energyWindow.empty());
    b.rest.vePercent = 57;
    b.nextLap();
    EXPECT_NEAR(b.st.energyAverage, 3.0, 1e-9);
    b.rest.veValid = false; // and a lap that ends without one: no use either
    b.nextLap();
    EXPECT_FALSE(b.st.energyUsedLastLap);
}
