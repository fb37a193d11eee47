#include "app/main_loop.h"

#include "app/live_log.h"
#include "app/status_screen.h"
#include "app/tick.h"
#include "app/waiting_screen.h"
#include "core/game_text.h"
#include "feed/poster.h"
#include "platform/clock.h"

#include <ctime>
#include <iostream>

namespace korvane {

namespace {

ScreenInput screenInput(const Options& options, const std::string& roomCode, const TickContext& ctx,
                        const TickSample& sample, bool postOk, const RestSnapshot& snapshot) {
    const ScoringBuffer& scoring = *ctx.views.scoring;
    ScreenInput in;
    in.roomCode = roomCode;
    in.verbose = options.verbose;
    in.raceOnly = options.raceOnly;
    in.sessionOk = ctx.sessionOk;
    in.tracking = ctx.stint.tracking;
    in.postOk = postOk;
    in.lastPostError = lastPostError();
    in.trackName = gameText(scoring.trackName, sizeof scoring.trackName);
    in.driverName = ctx.driverName;
    in.sessionType = scoring.sessionType;
    in.gamePhase = scoring.gamePhase;
    in.stale = ctx.counters.stale;
    in.sample = &sample;
    in.stint = &ctx.stint;
    if (options.verbose) {
        std::lock_guard<std::mutex> lock(snapshot.snapshotMutex);
        in.rivalCount = snapshot.rivalEnergy.size();
        in.rivalField = snapshot.rivalEnergyField;
        in.droppedAnswer = snapshot.droppedAnswer;
    }
    return in;
}

} // namespace

void runMainLoop(const Options& options, const std::string& roomCode, const std::wstring& logPath) {
    TickContext ctx;
    RestSnapshot& snapshot = restSnapshot();
    for (;;) {
        openMissingViews(ctx.views);
        PlayerRecords player;
        TickStart start = beginTick(ctx, options.raceOnly, player);
        if (start == TickStart::Waiting) {
            waitForGame();
            continue;
        }
        if (start == TickStart::Torn) {
            sleepMs(5);
            continue;
        }
        if (start == TickStart::PlayerMissing) {
            sleepMs(500);
            continue;
        }

        TickSample sample = analyseTick(ctx, player, snapshot);

        // While tracking, every full tick posts exactly once; a failure is
        // simply followed by the next tick's fresh document.
        std::string payload;
        bool postOk = false;
        if (ctx.stint.tracking && !roomCode.empty()) {
            payload = buildTickPayload(ctx, player, sample, snapshot, roomCode,
                                       int64_t(std::time(nullptr)));
            postOk = postLive(payload);
        }

        LogLineInput line;
        line.timeText = formatLocalTime(std::time(nullptr), "%Y-%m-%d %H:%M:%S");
        line.roomCode = roomCode;
        line.vehicleId = player.scoring->id;
        line.tracking = ctx.stint.tracking;
        line.lap = sample.lap;
        line.fuelLitres = sample.fuel;
        line.postOk = postOk;
        line.eventTick = sample.tyreChangeRecent || sample.pitFlag || sample.fuelJustIncreased;
        line.payload = payload;
        appendLogLine(logPath, line);

        ScreenInput screen = screenInput(options, roomCode, ctx, sample, postOk, snapshot);
        setTitleIfChanged(titleText(screen));
        drawStatusScreen(statusScreenLines(screen));
        sleepMs(500);
    }
}

} // namespace korvane
