#include "app/status_screen.h"

#include <gtest/gtest.h>

using namespace korvane;

namespace {

struct Screen {
    StintState st;
    TickSample t;
    ScreenInput in;
    Screen() {
        in.roomCode = "TEAM-7";
        in.sessionOk = true;
        in.tracking = true;
        in.postOk = true;
        in.trackName = "Spa";
        in.driverName = "Alex";
        in.sessionType = 10;
        in.gamePhase = 5;
        t.lap = 4;
        t.fuel = 41.234567;
        t.capacity = 100;
        in.sample = &t;
        in.stint = &st;
    }
    std::vector<std::string> lines() { return statusScreenLines(in); }
    std::string line(size_t i) { return lines().at(i); }
};

} // namespace

TEST(ScreenWidth, FallbackAndCut) {
    EXPECT_EQ(screenLineWidth(-1), 77);
    EXPECT_EQ(screenLineWidth(19), 77);
    EXPECT_EQ(screenLineWidth(20), 20);
    EXPECT_EQ(screenLineWidth(119), 119);
    EXPECT_EQ(screenLineWidth(298), 298);
    EXPECT_EQ(screenLineWidth(299), 77);
    EXPECT_EQ(fitScreenLine("abc", 5), "abc  ");
    EXPECT_EQ(fitScreenLine(std::string(250, 'e'), 119), std::string(119, 'e'));
}

TEST(StatusScreen, DrivingAndSending) {
    Screen s;
    std::vector<std::string> expected = {
        "=== KORVANE COMPANION 2.1.29 ===",
        "",
        "Room    : TEAM-7",
        "Game    : connected - Spa, race",
        "Sending : yes",
        "",
        "Driver  : Alex   Lap 4   Fuel 41.2346 L (41%)",
        "Measured: nothing yet - needs a couple of clean laps",
        "",
        "",
        "(--verbose for diagnostics)",
        "--------------------------------------------",
    };
    EXPECT_EQ(s.lines(), expected);
    EXPECT_EQ(titleText(s.in), "sending - room TEAM-7");
}

TEST(StatusScreen, SendingStatesAndHints) {
    struct Case {
        bool sessionOk, tracking, postOk;
        int32_t type;
        bool raceOnly;
        const char* sending;
        const char* hint; // null: no hint line
        const char* title;
    } cases[] = {
        {true, false, false, 10, true, "Sending : not yet - start driving",
         "NEXT    : get in the car - nothing is sent until you drive", "idle - not driving"},
        {true, true, false, 10, true, "Sending : FAILED - HTTP 500",
         "NEXT    : check your connection - the site is not answering", "POST FAILED"},
        {false, false, false, 10, true, "Sending : not yet - start driving",
         "NEXT    : start a session in Le Mans Ultimate", "waiting for the game"},
        {false, false, false, 2, true, "Sending : not yet - start driving",
         "NEXT    : this is a practice session - run with --all-sessions to log it",
         "waiting for the game"},
        {false, false, false, 2, false, "Sending : not yet - start driving",
         "NEXT    : start a session in Le Mans Ultimate", "waiting for the game"},
    };
    for (const Case& c : cases) {
        Screen s;
        s.in.sessionOk = c.sessionOk;
        s.in.tracking = c.tracking;
        s.in.postOk = c.postOk;
        s.in.sessionType = c.type;
        s.in.raceOnly = c.raceOnly;
        s.in.lastPostError = "HTTP 500";
        auto lines = s.lines();
        EXPECT_EQ(lines[4], c.sending);
        size_t hintAt = c.sessionOk ? 9 : 8; // the driver line shows only in a session
        EXPECT_EQ(lines[hintAt], c.hint) << c.hint;
        if (!c.sessionOk) {
            EXPECT_EQ(lines[3], "Game    : waiting for Le Mans Ultimate");
        }
        EXPECT_EQ(titleText(s.in), std::string(c.title) + " - room TEAM-7");
    }
}

TEST(StatusScreen, MeasuredLine) {
    Screen s;
    s.st.fuelWindow.add(3.456);
    EXPECT_EQ(s.line(7), "Measured: 3.46 L/lap   (1 laps)");
    s.st.energyWindow.add(4.0);
    EXPECT_EQ(s.line(7), "Measured: 3.46 L/lap   4.00 %VE/lap   (1 laps)");
    s.st.wearWindows[0].add(1.25);
    s.st.wearWindows[1].add(1.5);
    s.st.wearWindows[2].add(0.8125);
    s.st.wearWindows[3].add(1.0);
    EXPECT_EQ(s.line(7),
              "Measured: 3.46 L/lap   4.00 %VE/lap   wear 1.250/1.500/0.812/1.000   (1 laps)");
    Screen w;
    w.st.wearWindows[0].add(2.0);
    EXPECT_EQ(w.line(7), "Measured: wear 2.000/0.000/0.000/0.000   (0 laps)");
}

TEST(StatusScreen, Diagnostics) {
    Screen s;
    s.in.verbose = true;
    s.in.stale = 3;
    s.st.frozen = 2;
    s.t.seatRaw = true;
    s.t.speedLimiter = true;
    s.t.inPits = 1;
    s.t.pitState = 3;
    s.st.pitArmed = true;
    s.st.pitStable = true;
    s.t.energyPercent = 62.5;
    s.t.energySource = EnergySource::Rest;
    s.in.rivalCount = 5;
    s.in.rivalField = "virtualenergy";
    s.t.wearPercent = {91.5, 90.4, 100, 99.6};
    s.t.tempC = {80.4, 81.6, 79, 78};
    s.t.tyreChangeRecent = true;
    s.t.speedKmh = 212.9;
    s.t.rpm = 8123.9;
    s.st.lapDirty = true;
    auto lines = s.lines();
    ASSERT_EQ(lines.size(), 18u);
    EXPECT_EQ(lines[10], "-- diagnostics (--verbose) ------------------");
    EXPECT_EQ(lines[11], "poster seatRaw=yes frozen=2 stale=3 phase=5 session=10");
    EXPECT_EQ(lines[12], "pit limiter=ON scoringInPits=YES state=3 reported=No");
    EXPECT_EQ(lines[13], "ve 62.500000% via rest");
    EXPECT_EQ(lines[14], "rival ve 5 cars via virtualenergy");
    EXPECT_EQ(lines[15], "tyre life 92/90/100/100%  temps 80/82/79/78C  CHANGE DETECTED");
    EXPECT_EQ(lines[16], "speed 212 km/h  rpm 8123  lapDirty=yes");

    s.t.energyPercent = -1;
    s.in.rivalCount = 0;
    s.t.inPitStop = true;
    lines = s.lines();
    EXPECT_EQ(lines[12], "pit limiter=ON scoringInPits=YES state=3 reported=YES");
    EXPECT_EQ(lines[13], "ve none (REST not answering)");
    EXPECT_EQ(lines[14], "rival ve none (standings has no energy field)");
    s.t.inPitStop = false;
    s.st.pitArmed = false;
    EXPECT_EQ(s.lines()[12], "pit limiter=ON scoringInPits=YES state=3 reported=held");
    s.st.pitArmed = true;
    s.st.pitStable = false;
    EXPECT_EQ(s.lines()[12], "pit limiter=ON scoringInPits=YES state=3 reported=settling");
}
