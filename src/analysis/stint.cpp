#include "analysis/stint.h"

#include "analysis/steps.h"

#include <cmath>

namespace korvane {

const char* energySourceName(EnergySource source) {
    switch (source) {
    case EnergySource::Car:
        return "car";
    case EnergySource::Rest:
        return "rest";
    case EnergySource::PitMenu:
        return "pitmenu";
    case EnergySource::None:
        break;
    }
    return "none";
}

double fuelPercentOf(double fuel, double capacity) {
    return capacity > 0.1 ? fuel / capacity * 100.0 : 0.0;
}

bool isDrivingSample(bool sessionOk, double fuel, double capacity,
                     const std::array<double, 4>& wearPercent, double speedKmh, double rpm,
                     bool pitFlag, bool inGarage, const VehicleScoring& player) {
    if (!sessionOk) return false;
    if (player.control != 0 && player.isPlayer == 0) return false;
    if (inGarage && speedKmh < 1.0 && rpm < 200) return false;
    bool fuelOk = capacity > 1.0 && fuel > 0.05 && fuel <= capacity + 1.0;
    bool wearOk = true;
    for (double w : wearPercent) wearOk = wearOk && w > 0.1 && w <= 100.5;
    bool moving = speedKmh > 3.0 || rpm > 400 || pitFlag;
    return fuelOk && wearOk && moving;
}

namespace {

void readSample(const ScoringBuffer& scoring, const VehicleScoring& player,
                const VehicleTelemetry& telemetry, TickSample& s) {
    s.fuel = telemetry.fuelLitres;
    s.capacity = telemetry.fuelCapacityLitres;
    s.fuelPercent = fuelPercentOf(s.fuel, s.capacity);
    s.lap = telemetry.lap;
    s.speedKmh = speedKmh(telemetry);
    s.rpm = telemetry.rpm;
    s.gear = telemetry.gear;
    s.speedLimiter = telemetry.speedLimiter != 0;
    s.inPits = player.inPits;
    s.pitState = player.pitState;
    s.inGarage = player.inGarageStall;
    s.et = scoring.currentEt;
    s.sessionType = scoring.sessionType;
}

void fuelAndStillness(StintState& st, TickSample& s) {
    if (!s.sessionOk) {
        s.fuelJustIncreased = false;
        st.frozen = 0;
        st.previousFuel = -1;
        st.previousWearSum = -1;
        return;
    }
    s.fuelJustIncreased = st.previousFuel >= 0 && s.fuel - st.previousFuel >= 1.0;
    double wearSum = 0;
    for (double w : s.wearPercent) wearSum += w;
    bool still = !s.pitFlag && st.previousFuel >= 0 && std::fabs(s.fuel - st.previousFuel) < 0.02 &&
                 std::fabs(wearSum - st.previousWearSum) < 0.05 && s.speedKmh < 1.0;
    st.frozen = still ? st.frozen + 1 : 0;
    st.previousFuel = s.fuel;
    st.previousWearSum = wearSum;
}

void trackingHysteresis(StintState& st, TickSample& s) {
    s.seatRaw = s.drivingSample && st.frozen < 6;
    if (s.seatRaw) {
        st.goodSamples += 1;
        st.badSamples = 0;
        if (!st.tracking && st.goodSamples >= 3) st.tracking = true;
    } else if (st.tracking && s.sessionOk && s.pitFlag) {
        // A car standing in its pit box keeps its stint going.
        st.goodSamples = 0;
        st.badSamples = 0;
    } else {
        st.badSamples += 1;
        st.goodSamples = 0;
        if (st.badSamples >= 6) st.tracking = false;
    }
}

void lapStep(StintState& st, const TickSample& s) {
    if (!s.sessionOk && st.tracking) return;
    if (!st.tracking) {
        st.lastLap = -1;
        st.lapStartFuel = 0;
        st.lapStartEnergy = -1;
        st.lapStartWear = {-1, -1, -1, -1};
        st.lapDirty = true;
        return;
    }
    if (st.lastLap == -1) {
        // A lap joined part-way never counts for wear.
        st.lapStartWear = s.wearPercent;
        st.lastLap = s.lap;
        st.lapStartFuel = s.fuel;
        st.lapStartEnergy = s.energyPercent;
        st.lapDirty = true;
        return;
    }
    if (s.lap <= st.lastLap) return;

    st.fuelUsedLastLap = st.lapStartFuel - s.fuel;
    if (st.fuelUsedLastLap > 0.2 && st.fuelUsedLastLap < 20.0) {
        st.fuelWindow.add(st.fuelUsedLastLap);
        st.fuelAverage = st.fuelWindow.mean;
    }
    steps::recordLapEnergy(st, s);
    if (!st.lapDirty) steps::recordLapWear(st, s, int64_t(s.lap) - st.lastLap);
    st.lapStartWear = s.wearPercent;
    st.lapStartEnergy = s.energyPercent;
    st.lapDirty = false;
    st.lastLap = s.lap;
    st.lapStartFuel = s.fuel;
}

} // namespace

TickSample runStintTick(StintState& st, bool sessionOk, const ScoringBuffer& scoring,
                        const VehicleScoring& player, const VehicleTelemetry& telemetry,
                        const RestValues& rest, double carEnergyPercent) {
    TickSample s;
    s.sessionOk = sessionOk;
    readSample(scoring, player, telemetry, s);
    steps::chooseEnergySource(st, rest, carEnergyPercent, s);
    steps::readTyres(telemetry, rest, s);

    steps::runPitStep(st, s);
    if (s.pitFlag) st.lapDirty = true;

    fuelAndStillness(st, s);
    s.drivingSample = isDrivingSample(s.sessionOk, s.fuel, s.capacity, s.wearPercent, s.speedKmh,
                                      s.rpm, s.pitFlag, s.inGarage != 0, player);
    trackingHysteresis(st, s);
    int32_t lapBefore = st.lastLap;
    bool dirtyBefore = st.lapDirty;
    lapStep(st, s);
    bool lapEnded = lapBefore != -1 && st.lastLap > lapBefore;
    steps::gatherLapTime(st, s, player, lapEnded ? lapBefore : -1, dirtyBefore);
    s.estimatedFuelLaps = st.fuelAverage > 0.1 ? s.fuel / st.fuelAverage : 0.0;

    steps::detectTyreChange(st, telemetry, s);
    steps::notePitStopTyres(st, s);
    steps::planStep(st, scoring, player, s);
    return s;
}

} // namespace korvane
