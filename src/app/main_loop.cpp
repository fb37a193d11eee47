#include "app/main_loop.h"

#include "app/live_log.h"
#include "app/tick.h"
#include "platform/clock.h"

#include <ctime>
#include <iostream>

namespace korvane {

namespace {

void showWaiting() {
    std::cout << "Waiting for Le Mans Ultimate: the telemetry buffers are not published yet.\n"
              << std::flush;
}

} // namespace

void runMainLoop(const Options& options, const std::string& roomCode, std::ostream& log) {
    TickContext ctx;
    RestSnapshot& snapshot = restSnapshot();
    for (;;) {
        openMissingViews(ctx.views);
        PlayerRecords player;
        TickStart start = beginTick(ctx, options.raceOnly, player);
        if (start == TickStart::Waiting) {
            showWaiting();
            sleepMs(2000);
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

        LogLineInput line;
        line.timeText = formatLocalTime(std::time(nullptr), "%Y-%m-%d %H:%M:%S");
        line.roomCode = roomCode;
        line.vehicleId = player.scoring->id;
        line.tracking = ctx.stint.tracking;
        line.lap = sample.lap;
        line.fuelLitres = sample.fuel;
        line.eventTick = sample.tyreChangeRecent || sample.pitFlag || sample.fuelJustIncreased;
        appendLogLine(log, line);
        std::cout << std::flush;
        sleepMs(500);
    }
}

} // namespace korvane
