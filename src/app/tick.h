#pragma once
// The parts of a tick that do no I/O and never sleep: the main loop wraps them
// with the waits, the post and the screen; the tests drive them directly.
#include "analysis/stint.h"
#include "core/snapshot.h"

#include "telemetry/shared_views.h"
#include <string>

namespace korvane {

struct TickContext {
    SharedViews views;
    UpdateCounters counters;
    StintState stint;
    bool sessionOk = false;
    // The player's car is driven from another machine (a team-mate after a
    // driver swap): that machine's companion posts it, this one only watches.
    bool remoteDriver = false;
    std::string driverName; // this tick's player name, with its fallback
};

// The car's own energy field in percent where this tick's route gives one,
// else -1.
double carEnergyPercent(const TickContext& ctx, const VehicleTelemetry& telemetry);

// Pit menu, counters, session check and the player lookup (views already opened).
TickStart beginTick(TickContext& ctx, bool raceOnly, PlayerRecords& player);

// Hands the player's name to the REST poller, then runs the analysis.
TickSample analyseTick(TickContext& ctx, const PlayerRecords& player, RestSnapshot& snapshot);

// The live document of this tick.
std::string buildTickPayload(const TickContext& ctx, const PlayerRecords& player,
                             const TickSample& sample, const RestSnapshot& snapshot,
                             const std::string& roomCode, int64_t timestamp);

} // namespace korvane
