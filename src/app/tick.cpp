#include "app/tick.h"

#include "analysis/session.h"

namespace korvane {

TickStart beginTick(TickContext& ctx, bool raceOnly, PlayerRecords& player) {
    return startTick(
        ctx.views, ctx.stint.pitMenu, ctx.counters,
        [&](const ScoringBuffer& s) { ctx.sessionOk = computeSessionOk(s, raceOnly); }, player);
}

TickSample analyseTick(TickContext& ctx, const PlayerRecords& player, RestSnapshot& snapshot) {
    const ScoringBuffer& scoring = *ctx.views.scoring;
    const char* driverField = playerDriverNameField(scoring, *player.scoring);
    publishPlayerDriverName(snapshot, std::string(driverField, fieldLength(driverField, 32)));
    return runStintTick(ctx.stint, ctx.sessionOk, scoring, *player.scoring, *player.telemetry,
                        readRestValues(snapshot));
}

} // namespace korvane
