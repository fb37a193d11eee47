#pragma once
// The plan to the flag: from the pace, the use per lap and what the car
// holds, how far the race still goes, what that needs, how many stops that
// takes and what to put in at the next one. Pure arithmetic over one tick's
// figures; the lap times it needs are gathered by the stint analysis.
#include "analysis/rolling_window.h"

#include <array>
#include <cstdint>
#include <vector>

namespace korvane {

// Lap times that may count for the pace: with a time from the game, not the
// session's first lap, not begun or ended in the pit lane.
struct PaceLaps {
    RollingWindow times;     // the last eight such laps, oldest first
    int32_t pendingLap = -1; // the lap just ended, whose time the game shows now
    bool pendingClean = false;
    double pendingSeconds = -1;
    int32_t sessionType = -1; // a new session starts the laps afresh
    double lastEt = -1;
};

// The laps among `times` within 107 % of their median, in their order.
std::vector<double> cleanLapTimes(const std::vector<double>& times);

// The mean of the last five clean laps of `times`; -1 when there is none.
double paceOf(const std::vector<double>& times);

// The pace from what the stint analysis gathered, the lap the game shows
// now included.
double paceOf(const PaceLaps& laps);

// Mean and standard deviation of the clean laps of `times`; -1 for none.
struct LapSpread {
    double mean = -1, deviation = -1;
    size_t laps = 0;
};
LapSpread lapSpread(const std::vector<double>& times);

struct PlanInput {
    double pace = -1;            // seconds a lap; -1 none
    double timeLeft = -1;        // a race against the clock: seconds left; -1 none
    int64_t lapLimitLeft = -1;   // a race over laps: laps to run; -1 none
    double lapFraction = -1;     // part of this lap driven, 0..1; -1 unknown
    double lapSecondsSoFar = -1; // time into this lap; -1 unknown
    double fuel = 0, capacity = 0, fuelPerLap = 0;
    double energy = -1, energyPerLap = 0; // percent; energy -1 unknown
    double reserveLaps = 1;
    bool inPitLane = false;             // the car arrives at its stop with what it holds now
    std::array<double, 4> wear{};       // percent left
    std::array<double, 4> wearPerLap{}; // percent per lap, 0 unknown
};

// One of the two things a stop puts in.
struct ResourcePlan {
    bool known = false;
    double toFlag = 0;  // what the laps to the flag take
    double onTop = 0;   // beyond what the car holds, never below zero
    double perStop = 0; // what a stop reached with the reserve in hand can put in
    int64_t stops = 0;  // stops this alone asks for
    // At the next stop, when there is one: what to put in, and the level
    // that leaves (the pit menu sets energy as a level, not an amount).
    double add = 0;
    double level = 0;
    double saveUse = -1; // the use per lap that needs one stop fewer; -1 none
    double savePercent = 0;
};

enum class PlanBinds { None, Fuel, Energy, Both };

struct FlagPlan {
    PlanInput input;    // what it was worked out from
    bool known = false; // the laps to the flag are known
    double pace = -1;
    double lapsToFlag = 0;
    ResourcePlan fuel, energy;
    int64_t stops = 0;
    PlanBinds binds = PlanBinds::None;
    int tyre = -1; // the most worn tyre (fl fr rl rr), -1 none
    double tyreLaps = 0;
};

// Laps to the flag: a lap race counts the laps the session allows; a race
// against the clock counts whole laps of the pace from this lap's part driven.
// Both: whichever ends first. -1 when not known.
double lapsToFlag(const PlanInput& in);

FlagPlan planToFlag(const PlanInput& in);

// The laps a lap race still runs for the player: the laps allowed minus the
// player's. A lapped car takes the flag on its first crossing after the
// leader's, so it runs at most one lap more than the leader has left.
int64_t lapRaceLapsLeft(int64_t maxLaps, int64_t ownLaps, int64_t leaderLaps);

const char* planBindsName(PlanBinds binds);

} // namespace korvane
