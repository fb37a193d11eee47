#pragma once
// The stint picture of the player's car, worked out once per tick from the
// mapped buffers and the REST snapshot. Pure: no sleeping, no I/O, no clock
// but the session time the buffers carry.
#include "analysis/plan.h"
#include "analysis/rolling_window.h"
#include "core/snapshot.h"
#include "telemetry/layout.h"
#include "telemetry/shared_views.h"

#include <array>
#include <optional>

namespace korvane {

struct LastStop {
    bool valid = false;
    double driveThroughSeconds = 0;
    double stationarySeconds = 0;
    double litres = 0;
    bool tyresChanged = false;
};

struct StintState {
    // Laps and fuel.
    double previousFuel = -1;
    double previousWearSum = -1;
    int32_t frozen = 0;
    int32_t goodSamples = 0;
    int32_t badSamples = 0;
    bool tracking = false;
    int32_t lastLap = -1;
    double lapStartFuel = 0;
    bool lapDirty = false;
    double fuelUsedLastLap = 0;
    RollingWindow fuelWindow;
    double fuelAverage = 0;

    // Virtual energy. The pit menu values are refreshed at the start of every
    // tick, also on ticks that end early.
    PitMenuReading pitMenu;
    double lapStartEnergy = -1;
    // What the lap just ended took, averaged or not (a refill is negative);
    // none when a source was missing at either end. The stint report shows it.
    std::optional<double> energyUsedLastLap;
    RollingWindow energyWindow;
    double energyAverage = 0;

    // Pit stops.
    int32_t ticksInPit = 0;
    int32_t ticksOutOfPit = 0;
    bool pitStable = false;
    bool pitArmed = false;
    int32_t lastSessionType = -1;
    bool pitStopInProgress = false;
    double stopStartEt = 0;
    double stationarySeconds = 0;
    double stopStartFuel = 0;
    double stopMaxFuel = 0;
    bool stopTyreFlag = false;
    LastStop lastStop;
    int32_t stopsMeasured = 0; // visits that replaced lastStop, so far

    // Tyres.
    std::array<double, 4> lapStartWear{-1, -1, -1, -1};
    std::array<RollingWindow, 4> wearWindows;
    std::array<double, 4> wearPerLap{0, 0, 0, 0};
    std::array<double, 4> previousWear{-1, -1, -1, -1};
    char storedFrontCompound[18] = {};
    char storedRearCompound[18] = {};
    std::array<bool, 4> wheelChanged{false, false, false, false};
    double lastChangeEt = 0;
    double tyreChangeWindowEnd = -1;

    // The plan to the flag: the laps its pace comes from, and the laps'
    // worth of use a stop leaves in hand (--reserve-laps, set at start-up).
    PaceLaps pace;
    double reserveLaps = 1;
};

enum class EnergySource { None, Car, Rest, PitMenu };
const char* energySourceName(EnergySource source);

// What one tick read and decided.
struct TickSample {
    // Read from the buffers and the snapshot.
    double fuel = 0, capacity = 0, fuelPercent = 0;
    int32_t lap = 0;
    double speedKmh = 0, rpm = 0;
    int32_t gear = 0;
    bool speedLimiter = false;
    std::array<double, 4> wearPercent{};
    std::array<double, 4> tempC{};
    double energyPercent = -1;
    EnergySource energySource = EnergySource::None;
    uint8_t inPits = 0, pitState = 0, inGarage = 0;
    double et = 0;
    int32_t sessionType = 0;

    // Decided this tick.
    bool sessionOk = false;
    bool pitFlag = false;
    bool inPitStop = false;
    bool fuelJustIncreased = false;
    bool drivingSample = false;
    bool seatRaw = false; // good sample for the tracking hysteresis
    double estimatedFuelLaps = 0;
    bool tyreChangeRecent = false;
    FlagPlan plan; // known once a pace or a lap limit gives the laps to the flag
};

// One tick of the analysis, in its fixed order. `sessionOk` was computed from
// the scoring header before the player lookup. `carEnergyPercent` is the
// car's own energy field where the route gives one (the game's interface),
// -1 elsewhere.
TickSample runStintTick(StintState& state, bool sessionOk, const ScoringBuffer& scoring,
                        const VehicleScoring& player, const VehicleTelemetry& telemetry,
                        const RestValues& rest, double carEnergyPercent = -1);

// The driving-sample test, exposed for the tests.
bool isDrivingSample(bool sessionOk, double fuel, double capacity,
                     const std::array<double, 4>& wearPercent, double speedKmh, double rpm,
                     bool pitFlag, bool inGarage, const VehicleScoring& player);

// Values the live document and the status screen derive from the state.
double energyPerLap(const StintState& state, double restVePerLap);
double estimatedEnergyLaps(double energyPercent, double perLap);
double secondsPerLitre(const LastStop& stop);
double fuelPercentOf(double fuel, double capacity);

} // namespace korvane
