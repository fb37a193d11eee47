#include "app/main_loop.h"

#include "app/live_log.h"
#include "app/status_screen.h"
#include "app/tick.h"
#include "app/waiting_screen.h"
#include "core/game_text.h"
#include "feed/poster.h"
#include "platform/clock.h"
#include "telemetry/game_layout.h"

#include <ctime>
#include <iostream>
#include <utility>

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
    in.remoteDriver = ctx.remoteDriver;
    in.lockSkips = ctx.views.game.lockSkips;
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

// Waits out a tick that read nothing, with a screen that says why when the
// reason is the driver's to know.
void idleTick(TickStart start, const std::string& roomCode) {
    if (start == TickStart::Torn) {
        sleepMs(5);
        return;
    }
    if (start == TickStart::Replay) {
        setTitleIfChanged("watching a replay - room " + roomCode);
        showStatusScreen(replayScreenLines(roomCode));
    }
    sleepMs(500);
}

} // namespace

std::string sourceText(const SharedViews& views) {
    if (views.source == TelemetrySource::Plugin)
        return std::string("plugin (") + TelemetryMappingName + ")";
    if (views.source != TelemetrySource::Game) return "none";
    int32_t v = views.game.frame.version;
    std::string text = std::string("game's own (") + GameDataMappingName + ", game version " +
                       (v > 0 ? std::to_string(v) : "unknown");
    if (v > GameVersionKnown) text += ", newer than this build knows";
    return text + ")";
}

void runMainLoop(const Options& options, const std::string& roomCode, const std::wstring& logPath) {
    TickContext ctx;
    ctx.stint.reserveLaps = options.reserveLaps;
    RestSnapshot& snapshot = restSnapshot();
    std::string loggedSource;
    for (;;) {
        openMissingViews(ctx.views);
        PlayerRecords player;
        TickStart start = pickSource(ctx.views);
        if (start == TickStart::Ready) start = beginTick(ctx, options.raceOnly, player);
        if (start == TickStart::Waiting) {
            waitForGame(ctx.views);
            continue;
        }
        if (start != TickStart::Ready) {
            idleTick(start, roomCode);
            continue;
        }

        TickSample sample = analyseTick(ctx, player, snapshot);

        // While tracking, every full tick posts exactly once; a failure is
        // simply followed by the next tick's fresh document. A car driven
        // from another machine is that machine's to post.
        std::string payload;
        bool postOk = false;
        bool posting = ctx.stint.tracking && !ctx.remoteDriver;
        if (posting && !roomCode.empty()) {
            payload = buildTickPayload(ctx, player, sample, snapshot, roomCode,
                                       int64_t(std::time(nullptr)));
            postOk = postLive(payload);
        }

        LogLineInput line;
        line.timeText = formatLocalTime(std::time(nullptr), "%Y-%m-%d %H:%M:%S");
        line.roomCode = roomCode;
        line.vehicleId = player.scoring->id;
        line.tracking = posting;
        line.lap = sample.lap;
        line.fuelLitres = sample.fuel;
        line.postOk = postOk;
        line.eventTick = sample.tyreChangeRecent || sample.pitFlag || sample.fuelJustIncreased;
        line.payload = payload;
        std::string source = sourceText(ctx.views);
        if (source != loggedSource) line.sourceNote = source;
        appendLogLine(logPath, line);

        ScreenInput screen = screenInput(options, roomCode, ctx, sample, postOk, snapshot);
        screen.source = loggedSource = std::move(source);
        setTitleIfChanged(titleText(screen));
        showStatusScreen(statusScreenLines(screen));
        sleepMs(500);
    }
}

} // namespace korvane
