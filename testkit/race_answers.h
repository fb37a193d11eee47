#pragma once
// The game's REST answers for a scenario's race as it goes on: the standings
// with every car in the game's element shape, and the strategy view's usage
// answer with every driver's record of every lap so far, both pretty-printed
// as the game sends them. A race late in a long event makes them large: the
// usage answer of a full grid after a day holds some 23,000 records.
#include "scenario.h"

#include <array>
#include <string>
#include <vector>

namespace korvane::testkit {

// What one driver's records say, so tests know what the answers must give.
struct DriverHistory {
    std::string name;      // UTF-8, as the game's answers name the driver
    int laps = 0;          // records so far
    int stintLaps = 12;    // energy refilled and tyres changed every so many laps
    double vePerLap = 3.0; // percent of energy each lap takes
    std::array<double, 4> wearPerLap{1.5, 1.5, 1.2, 1.2};
    double veFraction = 0; // the car's energy now, as the standings give it
    // The ve and tyres of record `lap` (0 = the first lap of the race).
    double veAfter(int lap) const;
    std::array<double, 4> tyresAfter(int lap) const;
};

struct RaceHistory {
    std::vector<DriverHistory> drivers; // the answers' order: the player in the middle
    size_t player = 0;                  // the player's place in `drivers`
};

// The race's drivers with their records so far: the scenario's `history`
// laps before the timeline began, and the laps the player has done since.
RaceHistory raceHistory(const Scenario& scenario, const World& world);

std::string usageAnswer(const RaceHistory& race);
std::string standingsAnswer(const Scenario& scenario, const World& world, const RaceHistory& race);

// A name written as the game may write it in its answers: its letters outside
// ASCII as \u escapes or as they are; quotes and backslashes always escaped.
// Every other driver is written each way, the usage answer and the standings
// taking turns, so each answer holds both forms.
std::string jsonName(const std::string& utf8, bool escapeLetters);

} // namespace korvane::testkit
