#include "app/main_loop.h"

#include "analysis/session.h"
#include "app/live_log.h"
#include "platform/clock.h"
#include "telemetry/shared_views.h"

#include <ctime>
#include <iostream>

namespace korvane {

namespace {

struct LoopState {
    SharedViews views;
    UpdateCounters counters;
    PitMenuReading pitMenu;
    bool sessionOk = false;
};

void showWaiting() {
    std::cout << "Waiting for Le Mans Ultimate: the telemetry buffers are not published yet.\n"
              << std::flush;
}

} // namespace

void runMainLoop(const Options& options, const std::string& roomCode, std::ostream& log) {
    LoopState st;
    for (;;) {
        openMissingViews(st.views);
        PlayerRecords player;
        TickStart start = startTick(
            st.views, st.pitMenu, st.counters,
            [&](const ScoringBuffer& s) { st.sessionOk = computeSessionOk(s, options.raceOnly); },
            player);
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

        const bool tracking = false;
        LogLineInput line;
        line.timeText = formatLocalTime(std::time(nullptr), "%Y-%m-%d %H:%M:%S");
        line.roomCode = roomCode;
        line.vehicleId = player.scoring->id;
        line.tracking = tracking;
        line.lap = player.telemetry->lap;
        line.fuelLitres = player.telemetry->fuelLitres;
        appendLogLine(log, line);
        std::cout << std::flush;
        sleepMs(500);
    }
}

} // namespace korvane
