#include "race_answers.h"

#include <cmath>
#include <cstdio>

namespace korvane::testkit {

double DriverHistory::veAfter(int lap) const {
    return 1.0 - double(lap % stintLaps + 1) * vePerLap / 100.0;
}

std::array<double, 4> DriverHistory::tyresAfter(int lap) const {
    std::array<double, 4> tyres{};
    for (size_t w = 0; w < 4; ++w) tyres[w] = 100.0 - double(lap % stintLaps + 1) * wearPerLap[w];
    return tyres;
}

RaceHistory raceHistory(const Scenario& sc, const World& w) {
    RaceHistory race;
    int playerLaps = sc.historyLaps + std::max(0, w.lap - 1);
    std::vector<DriverHistory> others;
    for (size_t i = 0; i < w.cars.size(); ++i) {
        DriverHistory d;
        d.name = w.cars[i].driver;
        d.laps = std::max(0, playerLaps + int(i % 3) - 1);
        d.stintLaps = 11 + int(i % 3);
        d.vePerLap = 2.5 + 0.1 * double(i % 7);
        d.wearPerLap = {1.2 + 0.1 * double(i % 4), 1.3, 1.0, 1.1};
        others.push_back(d);
    }
    DriverHistory player;
    player.name = sc.player.driver;
    player.laps = playerLaps;
    player.stintLaps = sc.stintLaps;
    player.vePerLap = sc.vePerLap;
    player.wearPerLap = sc.wearPerLap;
    race.player = others.size() / 2;
    race.drivers = others;
    race.drivers.insert(race.drivers.begin() + std::ptrdiff_t(race.player), player);
    for (DriverHistory& d : race.drivers) d.veFraction = d.laps ? d.veAfter(d.laps - 1) : 1.0;
    return race;
}

std::string jsonName(const std::string& utf8, bool escapeLetters) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        size_t at = i;
        uint32_t c = nextCodePoint(utf8, i);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x80 || !escapeLetters || c > 0xFFFF) {
            out.append(utf8, at, i - at);
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", unsigned(c));
            out += esc;
        }
    }
    return out;
}

namespace {

std::string num(double v, int decimals) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

void appendRecord(std::string& out, const DriverHistory& d, int lap) {
    std::array<double, 4> tyres = d.tyresAfter(lap);
    double ve = d.veAfter(lap);
    out += "    {\n      \"fuel\": " + num(ve * 0.98, 4) +
           ",\n      \"lap\": " + std::to_string(lap + 1) +
           ",\n      \"pit\": " + (lap % d.stintLaps == 0 && lap ? "true" : "false") +
           ",\n      \"stint\": " + std::to_string(lap / d.stintLaps + 1) +
           ",\n      \"tyres\": [\n";
    for (size_t w = 0; w < 4; ++w) out += "        " + num(tyres[w], 1) + (w < 3 ? ",\n" : "\n");
    out += "      ],\n      \"ve\": " + num(ve, 4) + "\n    }";
}

} // namespace

std::string usageAnswer(const RaceHistory& race) {
    std::string out = "{\n";
    for (size_t i = 0; i < race.drivers.size(); ++i) {
        const DriverHistory& d = race.drivers[i];
        out += "  \"" + jsonName(d.name, i % 2 == 0) + "\": [\n";
        for (int lap = 0; lap < d.laps; ++lap) {
            appendRecord(out, d, lap);
            out += lap + 1 < d.laps ? ",\n" : "\n";
        }
        out += i + 1 < race.drivers.size() ? "  ],\n" : "  ]\n";
    }
    return out + "}";
}

namespace {

// One car as the standings list it: some sixty members, two of them objects,
// indented as the game indents them.
void appendCar(std::string& out, const CarSpec& car, int place, const DriverHistory& d,
               bool escapeLetters, bool player, double et) {
    std::string id = std::to_string(car.id);
    double best = car.bestLap > 0 ? car.bestLap : car.lapSeconds;
    auto member = [&](const char* key, const std::string& value, bool last = false) {
        out += std::string("    \"") + key + "\": " + value + (last ? "\n" : ",\n");
    };
    auto text = [](const std::string& s) { return "\"" + s + "\""; };
    auto vector3 = [&](double x, double y, double z) {
        return "{\n      \"x\": " + num(x, 3) + ",\n      \"y\": " + num(y, 3) +
               ",\n      \"z\": " + num(z, 3) + "\n    }";
    };
    out += "  {\n";
    member("attackMode", "{\n      \"remainingCount\": 0,\n      \"timeRemaining\": 0.0,\n"
                         "      \"totalCount\": 0\n    }");
    member("bestLapSectorTime1", num(best * 0.31, 3));
    member("bestLapSectorTime2", num(best * 0.69, 3));
    member("bestLapTime", num(best, 3));
    member("bestSectorTime1", num(best * 0.305, 3));
    member("bestSectorTime2", num(best * 0.685, 3));
    member("carAcceleration", vector3(0.1, 0.0, -2.5));
    member("carClass", text(car.className));
    member("carId", text("car" + id));
    member("carNumber", text(id));
    member("carPosition", vector3(120.5 + car.id, 3.2, -840.25));
    member("carVelocity", "{\n      \"velocity\": 61.25,\n      \"x\": 0.5,\n      \"y\": 0.0,\n"
                          "      \"z\": -61.2\n    }");
    member("countLapFlag", text("COUNT_LAP_AND_TIME"));
    member("currentSectorTime1", num(best * 0.31, 3));
    member("currentSectorTime2", num(-1, 1));
    member("driverName", text(jsonName(d.name, escapeLetters)));
    member("drsActive", "false");
    member("estimatedLapTime", num(best + 1.5, 3));
    member("finishStatus", text("FSTAT_NONE"));
    member("flag", text("GREEN"));
    member("focus", player ? "true" : "false");
    member("fuelFraction", num(d.veFraction * 0.97, 4));
    member("fullTeamName", text("Team " + id + " Racing"));
    member("gamePhase", text("GREEN_FLAG"));
    member("hasFocus", player ? "true" : "false");
    member("headlights", "false");
    member("inControl", player ? "1" : "2");
    member("inGarageStall", "false");
    member("lapDistance", num(std::fmod(et * 60.0, 13626.0), 3));
    member("lapStartET", num(et - 100.0, 3));
    member("lapsBehindLeader", "0");
    member("lapsBehindNext", "0");
    member("lapsCompleted", std::to_string(d.laps));
    member("lastLapTime", num(car.lastLap > 0 ? car.lastLap : best + 0.8, 3));
    member("lastSectorTime1", num(best * 0.312, 3));
    member("lastSectorTime2", num(best * 0.694, 3));
    member("pathLateral", num(0.75, 3));
    member("penalties", "0");
    member("pitGroup", text("Group" + std::to_string(place)));
    member("pitLapDistance", num(0, 1));
    member("pitState", text("NONE"));
    member("pitstops", std::to_string(d.laps / d.stintLaps));
    member("pitting", "false");
    member("player", player ? "true" : "false");
    member("position", std::to_string(place));
    member("qualification", std::to_string(place));
    member("sector", text("SECTOR2"));
    member("serverScored", "true");
    member("slotID", id);
    member("steamID", "0");
    member("timeBehindLeader", num(car.behindLeader, 3));
    member("timeBehindNext", num(place > 1 ? 2.5 : 0, 3));
    member("timeIntoLap", num(100.0, 3));
    member("trackEdge", num(7.5, 3));
    member("underYellow", "false");
    member("upgradePack", text(""));
    member("vehicleFilename", text("CAR_" + id + "_SPEC"));
    member("vehicleName", text(jsonName(car.vehicle, escapeLetters)));
    member("veFraction", num(d.veFraction, 4), true);
    out += "  }";
}

} // namespace

std::string standingsAnswer(const Scenario& sc, const World& w, const RaceHistory& race) {
    std::string out = "[\n";
    size_t other = 0;
    for (size_t i = 0; i < race.drivers.size(); ++i) {
        bool player = i == race.player;
        CarSpec car = player ? sc.player : w.cars[other++];
        int place = player ? w.playerPlace : car.place;
        appendCar(out, car, place, race.drivers[i], i % 2 == 1, player, w.et);
        out += i + 1 < race.drivers.size() ? ",\n" : "\n";
    }
    return out + "]";
}

} // namespace korvane::testkit
