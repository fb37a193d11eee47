#include "analysis/standings.h"

#include "core/format.h"
#include "core/game_text.h"

#include <cstring>

namespace korvane {

namespace {

bool sameText(const char* a, const char* b, size_t size) {
    size_t la = fieldLength(a, size), lb = fieldLength(b, size);
    return la == lb && std::memcmp(a, b, la) == 0;
}

} // namespace

std::vector<StandingsEntry> selectStandings(const ScoringBuffer& scoring,
                                            const VehicleScoring& player,
                                            const std::function<double(const char*)>& rivalEnergy) {
    std::vector<StandingsEntry> out;
    int n = clampVehicleCount(scoring.numVehicles);
    bool playerHasClass = player.className[0] != '\0';
    for (int i = 0; i < n; ++i) {
        const VehicleScoring& car = scoring.vehicles[i];
        if (car.id == player.id) continue;
        if (car.place == 0 && car.inPits == 0 && car.driverName[0] == '\0') continue;
        bool same = playerHasClass && car.className[0] != '\0' &&
                    sameText(car.className, player.className, sizeof car.className);
        int d = int(car.place) - int(player.place);
        if (!same && (d > 5 || d < -5)) continue;

        StandingsEntry e;
        e.car = &car;
        e.id = car.id;
        e.position = car.place;
        e.lap = car.lapsCompleted;
        e.gap = car.timeBehindLeader - player.timeBehindLeader;
        e.gapToLeader = car.timeBehindLeader;
        e.lastLap = car.lastLapSeconds;
        e.bestLap = car.bestLapSeconds;
        e.inPit = car.inPits != 0;
        e.pitState = car.pitState;
        e.pitStops = car.pitStops;
        e.sameClass = same;
        if (car.fuelFraction > 0) {
            e.hasFuelPct = true;
            e.fuelPct = finiteOrZero(car.fuelFraction * 100.0 / 255.0);
        }
        // The game's answers name drivers in UTF-8, whatever the buffer holds.
        double ve = rivalEnergy ? rivalEnergy(gameText(car.driverName, 32).c_str()) : -1.0;
        if (ve >= 0) {
            e.hasVe = true;
            e.ve = finiteOrZero(ve);
        }
        out.push_back(e);
    }
    return out;
}

} // namespace korvane
