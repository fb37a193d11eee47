#include "analysis/steps.h"

#include <algorithm>

namespace korvane {

namespace {

void debounce(StintState& st, bool pitFlag) {
    if (pitFlag) {
        st.ticksOutOfPit = 0;
        st.ticksInPit += 1;
    } else {
        st.ticksOutOfPit += 1;
        st.ticksInPit = 0;
    }
    if (!st.pitStable)
        st.pitStable = st.ticksInPit >= 2;
    else if (st.ticksOutOfPit >= 2)
        st.pitStable = false;
}

// Arming: true when the stop logic may run this tick. A car only counts as
// having been out once it passed 80 km/h away from the pits, or when it joins
// a session that has run for more than three minutes away from the pits.
bool armed(StintState& st, const TickSample& s) {
    if (!s.sessionOk) return st.pitArmed;
    if (s.sessionType != st.lastSessionType) {
        st.lastSessionType = s.sessionType;
        st.pitArmed = s.et > 180.0 && !s.pitFlag;
        if (st.pitArmed) return true;
    } else if (st.pitArmed) {
        return true;
    }
    if (!st.pitStable && s.speedKmh > 80.0) st.pitArmed = true;
    return false; // no stop starts on the tick that arms
}

void measureStop(StintState& st, const TickSample& s) {
    if (!st.pitStopInProgress) return;
    if (s.speedKmh < 1.0) st.stationarySeconds += 0.5; // one 500 ms tick
    st.stopMaxFuel = std::max(st.stopMaxFuel, s.fuel);
    if (s.et >= 0 && st.tyreChangeWindowEnd >= s.et) st.stopTyreFlag = true;
    if (s.inPitStop) return;

    st.pitStopInProgress = false;
    double duration = s.et - st.stopStartEt;
    double drive = duration - st.stationarySeconds;
    if (duration > 5.0 && duration < 600.0 && drive > 1.0 && drive < 120.0) {
        double litres = st.stopMaxFuel - st.stopStartFuel;
        st.lastStop.valid = true;
        st.lastStop.driveThroughSeconds = drive;
        st.lastStop.stationarySeconds = st.stationarySeconds;
        st.lastStop.litres = litres <= 0.05 ? 0.0 : litres;
        st.lastStop.tyresChanged = st.stopTyreFlag;
        st.stopsMeasured += 1;
    }
}

} // namespace

namespace steps {

void runPitStep(StintState& st, TickSample& s) {
    s.pitFlag = s.sessionOk && (s.inPits != 0 || s.pitState == 3);
    debounce(st, s.pitFlag);
    s.inPitStop = false;
    if (armed(st, s)) {
        s.inPitStop = st.pitStable;
        if (s.inPitStop && !st.pitStopInProgress) {
            st.pitStopInProgress = true;
            st.stopStartEt = s.et;
            st.stationarySeconds = 0;
            st.stopStartFuel = s.fuel;
            st.stopMaxFuel = s.fuel;
            st.stopTyreFlag = false;
            return;
        }
    }
    measureStop(st, s);
}

void notePitStopTyres(StintState& st, const TickSample& s) {
    if (st.pitStopInProgress) st.stopTyreFlag = st.stopTyreFlag || s.tyreChangeRecent;
}

} // namespace steps

double secondsPerLitre(const LastStop& stop) {
    return stop.litres > 1.0 && !stop.tyresChanged ? stop.stationarySeconds / stop.litres : 0.0;
}

} // namespace korvane
