#pragma once
// The cars around the player that the live document lists: every car of the
// player's class and any other car within five places.
#include "telemetry/layout.h"

#include <functional>
#include <vector>

namespace korvane {

struct StandingsEntry {
    const VehicleScoring* car = nullptr; // names are read from here
    int32_t id = 0;
    int position = 0;
    int lap = 0;
    double gap = 0;
    double gapToLeader = 0;
    double lastLap = 0;
    double bestLap = 0;
    bool inPit = false;
    int pitState = 0;
    int pitStops = 0;
    bool sameClass = false;
    bool hasFuelPct = false;
    double fuelPct = 0;
    bool hasVe = false;
    double ve = 0;
};

// `rivalEnergy` gives a car's energy percent by driver name, or a negative value.
std::vector<StandingsEntry>
selectStandings(const ScoringBuffer& scoring, const VehicleScoring& player,
                const std::function<double(const char* driverName)>& rivalEnergy);

} // namespace korvane
