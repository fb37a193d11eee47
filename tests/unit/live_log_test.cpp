#include "app/live_log.h"
#include "platform/files.h"
#include "platform/machine.h"
#include "test_support.h"

using namespace korvane;

// A tick's line, and the whole document after it only when the tick tracked
// the car and showed an event: an idle tick in the pit lane logs no document.
TEST(LogLine, DocumentOnlyAfterATrackedEventTick) {
    LogLineInput in;
    in.timeText = "2026-12-05 14:00:00";
    in.roomCode = "R1";
    in.vehicleId = 7;
    in.lap = 12;
    in.fuelLitres = 41.66;
    in.payload = "{\"room\":\"R1\"}";
    in.eventTick = true;
    EXPECT_EQ(formatLogLine(in),
              "[2026-12-05 14:00:00] room=R1 id=7 active=n Lap 12 | Fuel 41.7L | NO POST\n");
    in.tracking = true;
    EXPECT_EQ(formatLogLine(in),
              "[2026-12-05 14:00:00] room=R1 id=7 active=Y Lap 12 | Fuel 41.7L | POST FAIL\n"
              " JSON: {\"room\":\"R1\"}\n");
    in.eventTick = false;
    in.postOk = true;
    EXPECT_EQ(formatLogLine(in),
              "[2026-12-05 14:00:00] room=R1 id=7 active=Y Lap 12 | Fuel 41.7L | POST OK\n");
    // On disk each line ends as text files end them on the system.
    test::TempDir dir;
    in.eventTick = true;
    appendLogLine(widePath(dir.file("log")), in);
    std::string want = formatLogLine(in), end = TextLineEnd;
    for (size_t p = 0; (p = want.find('\n', p)) != std::string::npos; p += end.size())
        want.replace(p, 1, end);
    EXPECT_EQ(test::readFile(dir.file("log")), want);
}

// The log turns over at its size: one previous file is kept, the one before
// it goes, and the next line starts a new log.
TEST(LogLine, TurnsOverKeepingOnePreviousFile) {
    test::TempDir dir;
    std::wstring log = widePath(dir.file("korvane_live.log"));
    EXPECT_EQ(previousLogPath(log), widePath(dir.file("korvane_live.old.log")));
    EXPECT_EQ(previousLogPath(L"live.txt"), L"live.txt.old");
    LogLineInput in;
    for (int lap = 1; lap <= 5; ++lap) {
        in.lap = lap;
        appendLogLine(log, in, 2 * formatLogLine(in).size());
    }
    auto laps = [&](const char* name) { // the laps a file holds a line of
        std::string text = test::readFile(dir.file(name)), held;
        for (char lap : {'1', '2', '3', '4', '5'})
            if (text.find(std::string("Lap ") + lap + " ") != std::string::npos) held += lap;
        return held;
    };
    EXPECT_EQ(laps("korvane_live.old.log"), "34");
    EXPECT_EQ(laps("korvane_live.log"), "5");
}
