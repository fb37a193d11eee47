#include "analysis/steps.h"

#include <cstring>

namespace korvane::steps {

void readTyres(const VehicleTelemetry& telemetry, const RestValues& rest, TickSample& s) {
    for (size_t i = 0; i < 4; ++i) {
        double r = rest.tyreWear[i];
        // The game's strategy view gives fractions or percentages; a NaN or a
        // negative value means it has nothing, so shared memory speaks.
        if (r >= 0)
            s.wearPercent[i] = r <= 1.0001 ? r * 100.0 : r;
        else
            s.wearPercent[i] = telemetry.wheels[i].wear * 100.0;
        double kelvin = telemetry.wheels[i].carcassTempK;
        s.tempC[i] = kelvin > 100.0 ? kelvin - 273.15 : 0.0;
    }
}

void recordLapWear(StintState& st, const TickSample& s, int64_t laps) {
    for (size_t i = 0; i < 4; ++i) {
        if (st.lapStartWear[i] < 0) continue;
        double rate = (st.lapStartWear[i] - s.wearPercent[i]) / double(laps);
        if (rate > 0.0001 && rate <= 15.0) {
            st.wearWindows[i].add(rate);
            st.wearPerLap[i] = st.wearWindows[i].mean;
        }
    }
}

namespace {

// `current` already holds at most 17 characters and a terminator.
void storeCompound(char (&stored)[18], const char (&current)[18]) {
    std::memcpy(stored, current, sizeof stored);
}

} // namespace

void detectTyreChange(StintState& st, const VehicleTelemetry& telemetry, TickSample& s) {
    std::array<bool, 4> changed{false, false, false, false};
    if (!st.tracking) {
        st.previousWear = {-1, -1, -1, -1};
        std::memset(st.storedFrontCompound, 0, sizeof st.storedFrontCompound);
        std::memset(st.storedRearCompound, 0, sizeof st.storedRearCompound);
    } else if (s.sessionOk) {
        if (s.pitFlag && st.previousWear[0] >= 0) {
            for (size_t i = 0; i < 4; ++i) {
                double d = s.wearPercent[i] - st.previousWear[i];
                changed[i] = d >= 15.0 || d <= -15.0;
            }
        }
        // Compound fields are 18 bytes and may lack a terminator: compare and
        // keep 17 characters, always terminated.
        char front[18] = {}, rear[18] = {};
        std::memcpy(front, telemetry.frontCompound, 17);
        std::memcpy(rear, telemetry.rearCompound, 17);
        if (st.storedFrontCompound[0] && std::strncmp(st.storedFrontCompound, front, 17) != 0)
            changed[0] = changed[1] = true;
        if (st.storedRearCompound[0] && std::strncmp(st.storedRearCompound, rear, 17) != 0)
            changed[2] = changed[3] = true;
        st.previousWear = s.wearPercent;
        storeCompound(st.storedFrontCompound, front);
        storeCompound(st.storedRearCompound, rear);
    }

    bool any = changed[0] || changed[1] || changed[2] || changed[3];
    if (any) {
        st.lapDirty = true;
        st.lastChangeEt = s.et;
        st.tyreChangeWindowEnd = s.et + 3.0;
        st.wheelChanged = changed;
        s.tyreChangeRecent = true;
    } else if (s.et >= 0 && st.tyreChangeWindowEnd >= s.et) {
        s.tyreChangeRecent = true;
    } else {
        s.tyreChangeRecent = false;
        st.wheelChanged = {false, false, false, false};
    }
}

} // namespace korvane::steps
