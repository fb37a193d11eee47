#include "app/live_log.h"

#include <gtest/gtest.h>

using namespace korvane;

TEST(LogLine, Forms) {
    LogLineInput base;
    base.timeText = "2026-12-05 14:00:00";
    base.roomCode = "R1";
    base.vehicleId = 7;
    base.lap = 12;
    base.fuelLitres = 41.66;
    base.payload = "{\"room\":\"R1\"}";

    LogLineInput idle = base;
    EXPECT_EQ(formatLogLine(idle),
              "[2026-12-05 14:00:00] room=R1 id=7 active=n Lap 12 | Fuel 41.7L | NO POST\n");

    LogLineInput idleEvent = base;
    idleEvent.eventTick = true; // no document without tracking
    EXPECT_EQ(formatLogLine(idleEvent), formatLogLine(idle));

    LogLineInput ok = base;
    ok.tracking = true;
    ok.postOk = true;
    EXPECT_EQ(formatLogLine(ok),
              "[2026-12-05 14:00:00] room=R1 id=7 active=Y Lap 12 | Fuel 41.7L | POST OK\n");

    LogLineInput failEvent = ok;
    failEvent.postOk = false;
    failEvent.eventTick = true;
    failEvent.fuelLitres = 0.04;
    EXPECT_EQ(formatLogLine(failEvent),
              "[2026-12-05 14:00:00] room=R1 id=7 active=Y Lap 12 | Fuel 0.0L | POST FAIL\n"
              " JSON: {\"room\":\"R1\"}\n");
}
