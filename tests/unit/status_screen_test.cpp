#include "app/status_screen.h"
#include "core/screen_feed.h"
#include "feed/poster.h"

#include <algorithm>
#include <cmath>
#include <future>
#include <gtest/gtest.h>
#include <limits>
#include <mutex>
#include <thread>

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
    for (int width : {-1, 19, 299}) EXPECT_EQ(screenLineWidth(width), 77) << width;
    for (int width : {20, 298}) EXPECT_EQ(screenLineWidth(width), width);
    EXPECT_EQ(fitScreenLine("abc", 5), "abc  ");
    EXPECT_EQ(fitScreenLine(std::string(250, 'e'), 119), std::string(119, 'e'));
    // Letters, not bytes: a name outside ASCII is padded and cut as it shows.
    EXPECT_EQ(fitScreenLine("M\xC3\xBCller", 8), "M\xC3\xBCller  ");
    EXPECT_EQ(fitScreenLine("M\xC3\xBCller", 2), "M\xC3\xBC");
}

// The verbose lines: where the energy figures come from, the pit flags, and
// an answer dropped for its size.
TEST(StatusScreen, DiagnosticLines) {
    Screen s;
    s.in.verbose = true;
    auto count = [&](const char* start) {
        int n = 0;
        for (const std::string& l : s.lines()) n += l.rfind(start, 0) == 0;
        return n;
    };
    s.t.energyPercent = -1;
    EXPECT_EQ(count("ve none (REST not answering)"), 1);
    EXPECT_EQ(count("rival ve none (standings has no energy field)"), 1);
    EXPECT_EQ(count("rest dropped "), 0);
    EXPECT_EQ(count("pit limiter=off scoringInPits=no state=0 "), 1);
    EXPECT_EQ(count("poster seatRaw=no frozen=0 "), 1);
    s.t.wearPercent = {91, 92, 93, 94};
    s.t.tempC = {80, 81, 82, 83};
    EXPECT_EQ(count("tyre life 91/92/93/94%  temps 80/81/82/83C"), 1);
    s.t.energyPercent = 67.5;
    s.t.energySource = EnergySource::Rest;
    s.in.rivalCount = 5;
    s.in.rivalField = "vefraction";
    s.in.droppedAnswer = "/rest/strategy/usage, 17,000,000 bytes";
    EXPECT_EQ(count("ve 67.500000% via rest"), 1);
    EXPECT_EQ(count("rival ve 5 cars via vefraction"), 1);
    EXPECT_EQ(count("rest dropped "), 1);
}

// The console's title is written only when it changes.
TEST(StatusScreen, TitleSetOnlyWhenItChanges) {
    EXPECT_TRUE(setTitleIfChanged("sending"));
    EXPECT_FALSE(setTitleIfChanged("sending"));
    EXPECT_TRUE(setTitleIfChanged("POST FAILED"));

    // A room code is shown as typed, never obeyed, on the screen and in the title.
    Screen s;
    s.in.roomCode = "T\x1b]0;X\x07\xC2\x9B";
    std::vector<std::string> lines = s.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Room    : T?]0;X??"), lines.end());
    EXPECT_EQ(replayScreenLines(s.in.roomCode).at(2), "Room    : T?]0;X??");
    std::string title = windowTitle(titleText(s.in));
    EXPECT_EQ(title.substr(title.size() - 13), "room T?]0;X??") << title;
}

TEST(StatusScreen, SendingStatesAndHints) {
    const char* connected = "Game    : connected - Spa, race";
    const char* waiting = "Game    : waiting for Le Mans Ultimate";
    const std::string slow = postDeadlineText();
    const std::string slowSending = "Sending : FAILED - " + slow;
    struct Case {
        bool sessionOk, tracking, postOk;
        int32_t type;
        bool raceOnly;
        const char* game;
        const char* sending;
        const char* hint; // "": no hint line
        const char* title;
        const char* error = "HTTP 500";
    } cases[] = {
        {true, true, true, 10, true, connected, "Sending : yes", "", "sending"},
        {true, false, false, 10, true, connected, "Sending : not yet - start driving",
         "NEXT    : get in the car - nothing is sent until you drive", "idle - not driving"},
        {true, true, false, 10, true, connected, "Sending : FAILED - HTTP 500",
         "NEXT    : check your connection - the site is not answering", "POST FAILED"},
        {true, true, false, 10, true, connected, slowSending.c_str(),
         "NEXT    : the site answers too slowly - check your connection", "POST FAILED",
         slow.c_str()},
        {false, false, false, 10, true, waiting, "Sending : not yet - start driving",
         "NEXT    : start a session in Le Mans Ultimate", "waiting for the game"},
        {false, false, false, 2, true, waiting, "Sending : not yet - start driving",
         "NEXT    : this is a practice session - run with --all-sessions to log it",
         "waiting for the game"},
        {false, false, false, 2, false, waiting, "Sending : not yet - start driving",
         "NEXT    : start a session in Le Mans Ultimate", "waiting for the game"},
    };
    for (const Case& c : cases) {
        Screen s;
        s.in.sessionOk = c.sessionOk;
        s.in.tracking = c.tracking;
        s.in.postOk = c.postOk;
        s.in.sessionType = c.type;
        s.in.raceOnly = c.raceOnly;
        s.in.lastPostError = c.error;
        auto lines = s.lines();
        EXPECT_EQ(lines[3], c.game);
        EXPECT_EQ(lines[4], c.sending);
        size_t hintAt = c.sessionOk ? 9 : 8; // the driver line shows only in a session
        EXPECT_EQ(lines[hintAt], c.hint) << c.hint;
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

TEST(StatusScreen, NumbersWithoutAnIntegerFormShowZero) {
    const double inf = std::numeric_limits<double>::infinity();
    for (double bad : {std::nan(""), inf, -inf, 1e300, -1e19}) {
        Screen s;
        s.in.verbose = true;
        s.t.fuel = bad;
        s.t.speedKmh = bad;
        s.t.rpm = bad;
        std::vector<std::string> lines = s.lines();
        EXPECT_NE(lines.at(6).find("L (0%)"), std::string::npos) << bad << lines.at(6);
        bool found = false;
        for (const std::string& l : lines) found |= l.rfind("speed 0 km/h  rpm 0  ", 0) == 0;
        EXPECT_TRUE(found) << bad;
    }
}

// A console held by the user (a selection, Ctrl+S, a pipe nobody reads)
// holds the console's thread alone: every hand-over returns while it is
// held, and once it is free only the newest drawing of each part is written.
TEST(ScreenFeed, TheTickNeverWaitsOnTheConsole) {
    std::promise<void> held, released;
    std::vector<std::string> written; // by the console's thread alone
    showOnScreen(ScreenPart::Frame, [&, free = released.get_future().share()] {
        held.set_value();
        free.wait();
    });
    held.get_future().wait();
    for (int tick = 1; tick <= 1000; ++tick)
        for (ScreenPart part : {ScreenPart::Frame, ScreenPart::Title, ScreenPart::Progress})
            showOnScreen(part, [&written, part, tick] {
                written.push_back(std::to_string(int(part)) + ":" + std::to_string(tick));
            });
    released.set_value();
    settleScreen();
    EXPECT_EQ(written, (std::vector<std::string>{"0:1000", "1:1000", "2:1000"}));
    // Settled means written, not only taken: a drawing that takes its time
    // has ended when the wait does.
    showOnScreen(ScreenPart::Title, [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        written.push_back("again");
    });
    settleScreen();
    EXPECT_EQ(written.back(), "again");
}
