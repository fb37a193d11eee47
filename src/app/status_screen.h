#pragma once
// The console view redrawn at the end of every full tick, and the title.
#include "analysis/stint.h"

#include <string>
#include <vector>

namespace korvane {

struct ScreenInput {
    std::string roomCode;
    bool verbose = false;
    bool raceOnly = true;
    bool sessionOk = false;
    bool tracking = false;
    bool postOk = false;
    std::string lastPostError;
    std::string trackName;
    std::string driverName;
    int32_t sessionType = 0;
    uint8_t gamePhase = 0;
    int32_t stale = 0;
    bool remoteDriver = false; // the car is driven from another machine
    std::string source;        // the route read, as sourceText gives it
    uint64_t lockSkips = 0;    // reads skipped for the game's lock
    const TickSample* sample = nullptr;
    const StintState* stint = nullptr;
    size_t rivalCount = 0;
    std::string rivalField;
    std::string droppedAnswer; // the last REST answer dropped for its size
};

// Width of every screen line for a console's visible width (right minus left
// column): 77 when unknown or outside 20..298.
int screenLineWidth(int visibleWidth);

// Cuts or pads to exactly `width` characters.
std::string fitScreenLine(const std::string& text, int width);

std::vector<std::string> statusScreenLines(const ScreenInput& in);

// The plan to the flag in three or four lines, `extra` decimals finer than
// the screen shows them; none until a pace and a use per lap are known.
std::vector<std::string> planLines(const FlagPlan& plan, int extra);

// The screen while every car of the session is driven by a replay.
std::vector<std::string> replayScreenLines(const std::string& roomCode);

// The phrase after "Korvane 2.1.29 - " in the console title.
std::string titleText(const ScreenInput& in);

// Draws the lines from the top-left corner; the first call clears the console.
void drawStatusScreen(const std::vector<std::string>& lines);

// Hands the lines to the console's own thread, to be drawn as above: the
// tick never waits on the console.
void showStatusScreen(std::vector<std::string> lines);

// Sets the console title (through the console's own thread) when the text
// differs from the last one set; true when it did.
bool setTitleIfChanged(const std::string& text);

// The window's whole title for `text`, shown by the same rule as all text.
std::string windowTitle(const std::string& text);

} // namespace korvane
