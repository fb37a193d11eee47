#include "app/tick.h"

#include "analysis/session.h"
#include "core/game_text.h"
#include "feed/live_payload.h"
#include "telemetry/game_layout.h"

namespace korvane {

TickStart beginTick(TickContext& ctx, bool raceOnly, PlayerRecords& player) {
    TickStart start = startTick(
        ctx.views, ctx.stint.pitMenu, ctx.counters,
        [&](const ScoringBuffer& s) { ctx.sessionOk = computeSessionOk(s, raceOnly); }, player);
    ctx.remoteDriver =
        start == TickStart::Ready && player.scoring->control == uint8_t(CarControl::Remote);
    return start;
}

double carEnergyPercent(const TickContext& ctx, const VehicleTelemetry& telemetry) {
    if (ctx.views.source != TelemetrySource::Game) return -1;
    return double(telemetry.virtualEnergy) * 100.0;
}

TickSample analyseTick(TickContext& ctx, const PlayerRecords& player, RestSnapshot& snapshot) {
    const ScoringBuffer& scoring = *ctx.views.scoring;
    const char* driverField = playerDriverNameField(scoring, *player.scoring);
    ctx.driverName = gameText(driverField, 32);
    publishPlayerDriverName(snapshot, ctx.driverName);
    return runStintTick(ctx.stint, ctx.sessionOk, scoring, *player.scoring, *player.telemetry,
                        readRestValues(snapshot), carEnergyPercent(ctx, *player.telemetry));
}

std::string buildTickPayload(const TickContext& ctx, const PlayerRecords& player,
                             const TickSample& sample, const RestSnapshot& snapshot,
                             const std::string& roomCode, int64_t timestamp) {
    LivePayloadInput in;
    in.roomCode = &roomCode;
    in.timestamp = timestamp;
    in.scoring = ctx.views.scoring;
    in.player = player.scoring;
    in.telemetry = player.telemetry;
    in.stint = &ctx.stint;
    in.sample = &sample;
    in.restVePerLap = snapshot.restVePerLap.load();
    in.rivalEnergy = [&snapshot](const char* name) { return rivalEnergyFor(snapshot, name); };
    return buildLivePayload(in);
}

} // namespace korvane
