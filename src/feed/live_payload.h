#pragma once
// The "live_telemetry" document: one line of JSON, keys in a fixed order, no
// spaces, written by hand so its bytes never depend on a library.
#include "analysis/stint.h"

#include <cstdint>
#include <functional>
#include <string>

namespace korvane {

struct LivePayloadInput {
    const std::string* roomCode = nullptr;
    int64_t timestamp = 0; // seconds since 1970, UTC
    const ScoringBuffer* scoring = nullptr;
    const VehicleScoring* player = nullptr;
    const VehicleTelemetry* telemetry = nullptr;
    const StintState* stint = nullptr;
    const TickSample* sample = nullptr;
    double restVePerLap = -1.0;
    // Energy percent of a rival by driver name, negative when unknown.
    std::function<double(const char*)> rivalEnergy;
};

std::string buildLivePayload(const LivePayloadInput& in);

} // namespace korvane
