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
    std::string driverName; // this tick's player name, with its fallback
};

// Pit menu, counters, session check and the player lookup (views already opened).
TickStart beginTick(TickContext& ctx, bool raceOnly, PlayerRecords& player);

// Hands the player's name to the REST poller, then runs the analysis.
TickSample analyseTick(TickContext& ctx, const PlayerRecords& player, RestSnapshot& snapshot);

// The live document of this tick.
std::string buildTickPayload(const TickContext& ctx, const PlayerRecords& player,
                             const TickSample& sample, const RestSnapshot& snapshot,
                             const std::string& roomCode, int64_t timestamp);

} // namespace korvane
