#include "scenario.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

namespace korvane::testkit {

namespace {

// Splits a line on white space; double quotes group words, also after "key=",
// and inside them a backslash takes the next character as it is.
std::vector<std::string> tokenize(const std::string& line) {
    std::vector<std::string> out;
    std::string cur;
    bool inQuote = false, any = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (inQuote && c == '\\' && i + 1 < line.size()) {
            cur += line[++i];
        } else if (c == '"') {
            inQuote = !inQuote;
            any = true;
        } else if (!inQuote && (c == ' ' || c == '\t' || c == '\r')) {
            if (any) out.push_back(cur);
            cur.clear();
            any = false;
        } else if (!inQuote && c == '#') {
            break;
        } else {
            cur += c;
            any = true;
        }
    }
    if (any) out.push_back(cur);
    return out;
}

bool toDouble(const std::string& s, double& v) {
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return !s.empty() && end && *end == '\0';
}

bool applyCarKey(CarSpec& car, const std::string& key, const std::string& value) {
    double v = 0;
    if (key == "driver")
        car.driver = value;
    else if (key == "vehicle")
        car.vehicle = value;
    else if (key == "class")
        car.className = value;
    else if (key == "bytes" && (value == "cp1252" || value == "utf8"))
        car.cp1252 = value == "cp1252";
    else if (!toDouble(value, v))
        return false;
    else if (key == "id")
        car.id = int32_t(v);
    else if (key == "place")
        car.place = int(v);
    else if (key == "behind")
        car.behindLeader = v;
    else if (key == "lap")
        car.lapSeconds = v;
    else if (key == "best")
        car.bestLap = v;
    else if (key == "last")
        car.lastLap = v;
    else if (key == "stops")
        car.pitStops = int(v);
    else if (key == "fuelbyte")
        car.fuelByte = int(v);
    else if (key == "inpits")
        car.inPits = v != 0;
    else if (key == "pitstate")
        car.pitState = int(v);
    else
        return false;
    return true;
}

bool parseCar(const std::vector<std::string>& tok, CarSpec& car) {
    for (size_t i = 1; i < tok.size(); ++i) {
        size_t eq = tok[i].find('=');
        if (eq == std::string::npos) return false;
        if (!applyCarKey(car, tok[i].substr(0, eq), tok[i].substr(eq + 1))) return false;
    }
    return true;
}

bool parseFour(const std::vector<std::string>& tok, std::array<double, 4>& out) {
    if (tok.size() != 5) return false;
    for (int i = 0; i < 4; ++i)
        if (!toDouble(tok[size_t(i) + 1], out[size_t(i)])) return false;
    return true;
}

bool parseHeaderLine(const std::vector<std::string>& tok, Scenario& sc) {
    const std::string& k = tok[0];
    double v = 0;
    bool hasNumber = tok.size() >= 2 && toDouble(tok[1], v);
    if (k == "track" && tok.size() == 2)
        sc.track = tok[1];
    else if (k == "playername" && tok.size() == 2)
        sc.playerName = tok[1];
    else if (k == "player")
        return parseCar(tok, sc.player);
    else if (k == "car") {
        CarSpec car;
        if (!parseCar(tok, car)) return false;
        sc.cars.push_back(car);
    } else if (k == "wear")
        return parseFour(tok, sc.wearPerLap);
    else if (k == "tyres")
        return parseFour(tok, sc.startWear);
    else if (k == "temps")
        return parseFour(tok, sc.tempsC);
    else if (k == "compound" && tok.size() == 3) {
        sc.frontCompound = tok[1];
        sc.rearCompound = tok[2];
    } else if (k == "pitmenu" && tok.size() == 3) {
        sc.pitCategory = tok[1];
        sc.pitChoice = tok[2];
    } else if (k == "bytes" && tok.size() == 2 && (tok[1] == "cp1252" || tok[1] == "utf8")) {
        sc.trackCp1252 = tok[1] == "cp1252";
    } else if (k == "pitinfo" && tok.size() == 2 && (tok[1] == "real" || tok[1] == "plain")) {
        sc.pitInfoVersioned = tok[1] == "real";
    } else if (!hasNumber || tok.size() != 2)
        return false;
    else if (k == "session")
        sc.sessionType = int32_t(v);
    else if (k == "phase")
        sc.gamePhase = int(v);
    else if (k == "realtime")
        sc.inRealtime = v != 0;
    else if (k == "et")
        sc.startEt = v;
    else if (k == "end")
        sc.endEt = v;
    else if (k == "tank")
        sc.capacity = v;
    else if (k == "fuel")
        sc.fuel = v;
    else if (k == "lap")
        sc.lapSeconds = v;
    else if (k == "burn")
        sc.burnPerLap = v;
    else if (k == "length" && v >= 0)
        sc.trackLength = v;
    else if (k == "maxlaps" && v >= 0)
        sc.maxLaps = int32_t(v);
    else if (k == "history" && v >= 0)
        sc.historyLaps = int(v);
    else if (k == "veburn" && v > 0)
        sc.vePerLap = v;
    else if (k == "energy" && v >= 0 && v <= 100)
        sc.startEnergy = v;
    else if (k == "stintlaps" && v >= 1)
        sc.stintLaps = int(v);
    else if (k == "speed")
        sc.speed = v;
    else if (k == "rpm")
        sc.rpm = v;
    else if (k == "gear")
        sc.gear = int(v);
    else if (k == "energyslot" && v >= 16 && v + 8 <= 65536 && long(v) % 8 == 0)
        sc.energySlot = long(v);
    else
        return false;
    return true;
}

const char* const TimedSteps[] = {"drive",       "pitlane",        "box",    "stand",
                                  "garage",      "wait",           "torn",   "replay",
                                  "hide-player", "hide-telemetry", "remote", "locked"};
const char* const InstantSteps[] = {"restart", "session",  "compound", "vehicles",
                                    "pitmenu", "overtake", "phase",    "realtime",
                                    "fuel",    "limiter",  "driver"};

bool isOneOf(const std::string& k, const char* const* list, size_t n) {
    return std::any_of(list, list + n, [&](const char* s) { return k == s; });
}

bool parseStepLine(const std::vector<std::string>& tok, Step& step) {
    step.kind = tok[0];
    if (isOneOf(step.kind, TimedSteps, std::size(TimedSteps))) {
        if (tok.size() < 2 || !toDouble(tok[1], step.seconds) || step.seconds < 0) return false;
        for (size_t i = 2; i < tok.size(); ++i) {
            if (tok[i].rfind("refuel=", 0) == 0) {
                if (!toDouble(tok[i].substr(7), step.refuelLitres)) return false;
            } else if (tok[i].rfind("tyres=", 0) == 0) {
                step.tyres = tok[i].substr(6);
            } else {
                return false;
            }
        }
        return true;
    }
    if (!isOneOf(step.kind, InstantSteps, std::size(InstantSteps))) return false;
    step.args.assign(tok.begin() + 1, tok.end());
    return true;
}

bool tyreSelected(const std::string& tyres, int wheel) {
    static const char* const names[] = {"fl", "fr", "rl", "rr"};
    if (tyres == "all") return true;
    if (tyres == "front") return wheel < 2;
    if (tyres == "rear") return wheel >= 2;
    return tyres.find(names[wheel]) != std::string::npos;
}

} // namespace

void putText(char* field, size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(size, text.size()));
}

uint32_t nextCodePoint(const std::string& utf8, size_t& i) {
    auto b = static_cast<unsigned char>(utf8[i]);
    size_t extra = b < 0x80 ? 0 : b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
    uint32_t c = extra == 0 ? b : b & (0x3F >> extra);
    for (size_t k = 1; k <= extra && i + k < utf8.size(); ++k)
        c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += extra + 1;
    return c;
}

std::string toCp1252(const std::string& utf8) {
    // The code page's letters from 0x80 to 0x9F; the rest are Latin-1's.
    static const uint16_t high[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        uint32_t c = nextCodePoint(utf8, i);
        char byte = '?';
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) byte = char(c);
        for (unsigned k = 0; k < 32; ++k)
            if (high[k] && high[k] == c) byte = char(0x80 + k);
        out += byte;
    }
    return out;
}

bool parseScenario(const std::string& text, Scenario& out, std::string& err) {
    Scenario sc;
    std::istringstream in(text);
    std::string line;
    bool timeline = false;
    size_t repeatFrom = 0; // the first step a "repeat" line repeats
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        std::vector<std::string> tok = tokenize(line);
        if (tok.empty()) continue;
        bool ok = true;
        if (tok[0] == "timeline" && tok.size() == 1) {
            timeline = true;
        } else if (timeline && tok[0] == "repeat") {
            // "repeat N": the steps since the last repeat, N times in all.
            double times = 0;
            ok = tok.size() == 2 && toDouble(tok[1], times) && times >= 1 && times <= 1000;
            std::vector<Step> block(sc.steps.begin() + long(repeatFrom), sc.steps.end());
            for (int n = 1; ok && n < int(times); ++n)
                sc.steps.insert(sc.steps.end(), block.begin(), block.end());
            repeatFrom = sc.steps.size();
        } else if (timeline) {
            Step step;
            ok = parseStepLine(tok, step);
            if (ok) sc.steps.push_back(step);
        } else {
            ok = parseHeaderLine(tok, sc);
        }
        if (!ok) {
            err = "line " + std::to_string(lineNo) + ": cannot read \"" + line + "\"";
            return false;
        }
    }
    out = sc;
    return true;
}

bool loadScenarioFile(const std::string& path, Scenario& out, std::string& err) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        err = "cannot open " + path;
        return false;
    }
    std::stringstream buf;
    buf << file.rdbuf();
    if (!parseScenario(buf.str(), out, err)) {
        err = path + ": " + err;
        return false;
    }
    return true;
}

ScenarioPlayer::ScenarioPlayer(Scenario scenario) : scenario_(std::move(scenario)) {
    World& w = world_;
    w.et = scenario_.startEt;
    w.sessionType = scenario_.sessionType;
    w.gamePhase = scenario_.gamePhase;
    w.inRealtime = scenario_.inRealtime;
    w.lap = 1;
    w.lapStartEt = scenario_.startEt;
    w.driver = scenario_.player.driver;
    w.fuel = scenario_.fuel;
    w.energy = scenario_.startEnergy / 100.0;
    for (size_t i = 0; i < 4; ++i) w.wear[i] = scenario_.startWear[i] / 100.0;
    w.frontCompound = scenario_.frontCompound;
    w.rearCompound = scenario_.rearCompound;
    w.pitCategory = scenario_.pitCategory;
    w.pitChoice = scenario_.pitChoice;
    w.cars = scenario_.cars;
    w.playerPlace = scenario_.player.place;
    w.speed = scenario_.speed;
    w.rpm = scenario_.rpm;
    // The first frame already shows the timeline's start: steps at time zero
    // have acted, and a torn or hidden spell that opens the timeline holds
    // from the very first frame, not from the first advance.
    advance(0);
    if (!finished()) {
        markSpell(w, scenario_.steps[index_].kind);
    }
}

void ScenarioPlayer::startStep() {
    const Step& step = scenario_.steps[index_];
    stepStarted_ = true;
    stepLeft_ = step.seconds;
    boxFuelStart_ = world_.fuel;
    tyresDone_ = false;
    World& w = world_;
    auto arg = [&](size_t i) { return i < step.args.size() ? step.args[i] : std::string(); };
    auto num = [&](size_t i) { return std::atof(arg(i).c_str()); };
    if (step.kind == "restart") {
        w.lap = 0;
        w.lapProgress = 0;
    } else if (step.kind == "session") {
        w.sessionType = int32_t(num(0));
        for (size_t i = 1; i < step.args.size(); ++i)
            if (step.args[i].rfind("et=", 0) == 0) w.et = std::atof(step.args[i].c_str() + 3);
    } else if (step.kind == "compound") {
        w.frontCompound = arg(0);
        w.rearCompound = arg(1);
    } else if (step.kind == "vehicles") {
        w.vehiclesOverride = arg(0) == "auto" ? -1000 : int(num(0));
    } else if (step.kind == "pitmenu") {
        w.pitCategory = arg(0);
        w.pitChoice = arg(1);
    } else if (step.kind == "overtake") {
        // Swaps the places of two cars; id -1 or the player's id means the player.
        int a = int(num(0)), b = int(num(1));
        auto placeRef = [&](int id) -> int* {
            if (id == scenario_.player.id) return &w.playerPlace;
            for (CarSpec& c : w.cars)
                if (c.id == id) return &c.place;
            return nullptr;
        };
        int* pa = placeRef(a);
        int* pb = placeRef(b);
        if (pa && pb) std::swap(*pa, *pb);
    } else if (step.kind == "phase") {
        w.gamePhase = int(num(0));
    } else if (step.kind == "realtime") {
        w.inRealtime = num(0) != 0;
    } else if (step.kind == "fuel") {
        w.fuel = num(0);
    } else if (step.kind == "limiter") {
        w.limiter = num(0) != 0;
    } else if (step.kind == "driver") {
        w.driver = arg(0);
    }
}

bool markSpell(World& w, const std::string& k) {
    w.torn = k == "torn";
    w.hidePlayer = k == "hide-player";
    w.hideTelemetry = k == "hide-telemetry";
    w.replay = k == "replay";
    w.remote = k == "remote";
    w.lockHeld = k == "locked";
    return w.torn || w.hidePlayer || w.hideTelemetry || w.replay || w.remote || w.lockHeld;
}

void ScenarioPlayer::runFor(const Step& step, double dt) {
    World& w = world_;
    const Scenario& sc = scenario_;
    const std::string& k = step.kind;
    bool spell = markSpell(w, k);
    w.et += dt;
    if (k == "wait" || spell) {
        // The car keeps doing what the last movement step did.
        if (w.speed > 0) {
            Step drive;
            drive.kind = w.inPits ? "pitlane" : "drive";
            w.et -= dt;
            runFor(drive, dt);
            markSpell(w, k);
        }
        return;
    }
    w.inPits = k == "pitlane" || k == "box" || k == "garage";
    w.inGarage = k == "garage";
    w.pitState = k == "box" ? 3 : 0;
    w.limiter = k == "pitlane" || k == "box";
    if (k == "drive") {
        w.speed = sc.speed;
        w.rpm = sc.rpm;
        double laps = dt / sc.lapSeconds;
        double from = w.et - dt, start = w.lapProgress;
        w.lapProgress += laps;
        while (w.lapProgress >= 1.0) {
            // The moment the car crossed the line, within this step.
            double crossed = from + (1.0 - start) * sc.lapSeconds;
            w.lastLapSeconds = crossed - w.lapStartEt;
            w.lapStartEt = crossed;
            from = crossed;
            start = 0;
            w.lapProgress -= 1.0;
            w.lap += 1;
        }
        w.fuel = std::max(0.0, w.fuel - sc.burnPerLap * laps);
        w.energy = std::max(0.0, w.energy - sc.vePerLap / 100.0 * laps);
        for (size_t i = 0; i < 4; ++i)
            w.wear[i] = std::max(0.0, w.wear[i] - sc.wearPerLap[i] / 100.0 * laps);
    } else if (k == "pitlane") {
        w.speed = 60;
        w.rpm = 4000;
        w.fuel = std::max(0.0, w.fuel - 0.005 * dt);
    } else if (k == "box") {
        w.speed = 0;
        w.rpm = 1000;
        double target = std::min(sc.capacity, boxFuelStart_ + step.refuelLitres);
        double rate = step.seconds > 0 ? step.refuelLitres / step.seconds : 0;
        w.fuel = std::min(target, w.fuel + rate * dt);
        if (step.refuelLitres > 0) w.energy = std::min(1.0, w.energy + dt / step.seconds);
        if (!tyresDone_ && !step.tyres.empty() && stepLeft_ - dt <= step.seconds / 2) {
            for (int i = 0; i < 4; ++i)
                if (tyreSelected(step.tyres, i)) w.wear[size_t(i)] = 1.0;
            tyresDone_ = true;
        }
    } else if (k == "stand") {
        w.speed = 0;
        w.rpm = 900;
    } else if (k == "garage") {
        w.speed = 0;
        w.rpm = 0;
    }
}

void ScenarioPlayer::advance(double seconds) {
    const double eps = 1e-9;
    while (seconds > eps) {
        if (finished()) {
            Step drive;
            drive.kind = "drive";
            runFor(drive, seconds);
            return;
        }
        if (!stepStarted_) startStep();
        const Step& step = scenario_.steps[index_];
        if (stepLeft_ <= eps) {
            ++index_;
            stepStarted_ = false;
            continue;
        }
        double dt = std::min(seconds, stepLeft_);
        runFor(step, dt);
        stepLeft_ -= dt;
        seconds -= dt;
        if (stepLeft_ <= eps) {
            ++index_;
            stepStarted_ = false;
        }
    }
    // Instant steps reached exactly at the end of this advance act now.
    while (!finished() && scenario_.steps[index_].seconds <= 0) {
        startStep();
        ++index_;
        stepStarted_ = false;
    }
}

namespace {

std::string bufferText(const std::string& text, bool cp1252) {
    return cp1252 ? toCp1252(text) : text;
}

void writeScoringCar(VehicleScoring& v, const CarSpec& car, double et) {
    v.id = car.id;
    putText(v.driverName, sizeof v.driverName, bufferText(car.driver, car.cp1252));
    putText(v.vehicleName, sizeof v.vehicleName, bufferText(car.vehicle, car.cp1252));
    putText(v.className, sizeof v.className, car.className);
    v.lapsCompleted = int16_t(car.lapSeconds > 0 ? et / car.lapSeconds : 0);
    v.bestLapSeconds = car.bestLap;
    v.lastLapSeconds = car.lastLap;
    v.pitStops = int16_t(car.pitStops);
    v.isPlayer = 0;
    v.control = 1;
    v.inPits = car.inPits ? 1 : 0;
    v.place = uint8_t(car.place);
    v.timeBehindLeader = car.behindLeader;
    v.pitState = uint8_t(car.pitState);
    v.inGarageStall = 0;
    v.fuelFraction = uint8_t(car.fuelByte);
}

void writePlayerTelemetry(VehicleTelemetry& t, const Scenario& sc, const World& w) {
    t.id = w.hideTelemetry ? sc.player.id + 1000 : sc.player.id;
    t.lap = w.lap;
    putText(t.vehicleName, sizeof t.vehicleName, bufferText(sc.player.vehicle, sc.player.cp1252));
    t.velocity[0] = 0;
    t.velocity[1] = 0;
    t.velocity[2] = -w.speed / 3.6;
    t.gear = w.speed > 0 ? sc.gear : 0;
    t.rpm = w.rpm;
    t.fuelLitres = w.fuel;
    t.speedLimiter = w.limiter ? 1 : 0;
    t.fuelCapacityLitres = sc.capacity;
    putText(t.frontCompound, sizeof t.frontCompound, w.frontCompound);
    putText(t.rearCompound, sizeof t.rearCompound, w.rearCompound);
    for (size_t i = 0; i < 4; ++i) {
        t.wheels[i].wear = w.wear[i];
        t.wheels[i].carcassTempK = sc.tempsC[i] + 273.15;
    }
}

} // namespace

FrameBuffers::FrameBuffers()
    : telemetry(std::make_unique<TelemetryBuffer>()), scoring(std::make_unique<ScoringBuffer>()),
      pitInfo(std::make_unique<VersionedPitMenu>()) {}

size_t pitInfoSize(const Scenario& sc) {
    return sc.pitInfoVersioned ? sizeof(VersionedPitMenu) : sizeof(PitMenuBuffer);
}

void writeFrame(const Scenario& sc, const World& w, uint32_t& counter, TelemetryBuffer& tel,
                ScoringBuffer& scr, uint8_t* pitInfo) {
    counter += 1;
    tel.beginCounter = counter;
    scr.beginCounter = counter;
    auto* versioned = reinterpret_cast<VersionedPitMenu*>(pitInfo);
    if (sc.pitInfoVersioned) versioned->beginCounter = counter;
    // Keeps the compiler from moving field writes across the counters; x86
    // keeps stores in order, so readers in other processes see begin, fields,
    // end in that order.
    std::atomic_signal_fence(std::memory_order_seq_cst);

    int count = int(w.cars.size()) + 1;
    int playerIndex = std::min(2, int(w.cars.size()));
    putText(scr.trackName, sizeof scr.trackName, bufferText(sc.track, sc.trackCp1252));
    scr.sessionType = w.sessionType;
    scr.currentEt = w.et;
    scr.endEt = sc.endEt;
    scr.maxLaps = sc.maxLaps > 0 ? sc.maxLaps : 0x7fffffff;
    scr.lapDistance = sc.trackLength;
    scr.gamePhase = uint8_t(w.gamePhase);
    scr.inRealtime = w.inRealtime ? 1 : 0;
    putText(scr.playerName, sizeof scr.playerName, bufferText(sc.playerName, sc.trackCp1252));
    int k = 0;
    for (int i = 0; i < count; ++i) {
        VehicleScoring& v = scr.vehicles[i];
        VehicleTelemetry& t = tel.vehicles[i];
        if (i == playerIndex) {
            CarSpec p = sc.player;
            p.driver = w.driver;
            // The game's time for the last lap, unless the scenario fixes one.
            if (p.lastLap == 0 && w.lastLapSeconds > 0) p.lastLap = w.lastLapSeconds;
            p.place = w.playerPlace;
            p.inPits = w.inPits;
            p.pitState = w.pitState;
            writeScoringCar(v, p, w.et);
            v.lapsCompleted = int16_t(std::max(0, w.lap - 1));
            v.lapDist = w.lapProgress * sc.trackLength;
            v.lapStartEt = w.lapStartEt;
            v.isPlayer = w.hidePlayer ? 0 : 1;
            v.control = w.hidePlayer ? 1 : 0;
            v.inGarageStall = w.inGarage ? 1 : 0;
            writePlayerTelemetry(t, sc, w);
        } else {
            const CarSpec& car = w.cars[size_t(k++)];
            writeScoringCar(v, car, w.et);
            t.id = car.id;
            putText(t.vehicleName, sizeof t.vehicleName, bufferText(car.vehicle, car.cp1252));
            t.velocity[2] = -50;
            t.fuelLitres = 50;
            t.fuelCapacityLitres = 100;
        }
    }
    for (int i = 0; i < count; ++i) {
        if (w.replay) scr.vehicles[i].control = uint8_t(CarControl::Replay);
        if (w.remote && i == playerIndex) scr.vehicles[i].control = uint8_t(CarControl::Remote);
    }
    int shown = w.vehiclesOverride == -1000 ? count : w.vehiclesOverride;
    scr.numVehicles = shown;
    tel.numVehicles = shown;
    if (sc.pitInfoVersioned) {
        putText(versioned->categoryName, sizeof versioned->categoryName, w.pitCategory);
        putText(versioned->choiceString, sizeof versioned->choiceString, w.pitChoice);
    } else {
        auto* plain = reinterpret_cast<PitMenuBuffer*>(pitInfo);
        putText(plain->categoryName, sizeof plain->categoryName, w.pitCategory);
        putText(plain->choiceString, sizeof plain->choiceString, w.pitChoice);
    }

    if (sc.energySlot >= 0) {
        double level = sc.capacity > 0 ? w.fuel / sc.capacity : 0;
        std::memcpy(reinterpret_cast<uint8_t*>(&tel) + sc.energySlot, &level, sizeof level);
    }

    std::atomic_signal_fence(std::memory_order_seq_cst);
    tel.endCounter = w.torn ? counter - 1 : counter;
    scr.endCounter = w.torn ? counter - 1 : counter;
    if (sc.pitInfoVersioned) versioned->endCounter = w.torn ? counter - 1 : counter;
}

void writeGameBlocks(const TelemetryBuffer& tel, const ScoringBuffer& scr, int playerIndex,
                     GameData& out, int32_t gameVersion) {
    out.generic.gameVersion = gameVersion;
    // The kinds of update this frame brings, and the value that ends the queue.
    std::memset(out.generic.events, 0, sizeof out.generic.events);
    out.generic.events[10] = 1; // scoring
    out.generic.events[11] = 1; // telemetry
    out.generic.events[GameEventKinds - 1] = GameEventKinds;
    std::memcpy(&out.scoring.info, scr.trackName, sizeof(GameScoringInfo));
    int n = std::min(clampVehicleCount(scr.numVehicles), GameMaxVehicles);
    std::memcpy(out.scoring.vehicles, scr.vehicles, size_t(n) * sizeof(VehicleScoring));
    int active = std::min(clampVehicleCount(tel.numVehicles), GameMaxVehicles);
    std::memcpy(out.telemetry.vehicles, tel.vehicles, size_t(active) * sizeof(VehicleTelemetry));
    out.telemetry.activeVehicles = uint8_t(active);
    out.telemetry.playerVehicleIndex = uint8_t(std::max(0, playerIndex));
    out.telemetry.playerHasVehicle = playerIndex >= 0 && playerIndex < active ? 1 : 0;
}

void writeGameFrame(const World& w, const TelemetryBuffer& tel, const ScoringBuffer& scr,
                    GameData& out, int32_t gameVersion) {
    // The player's record sits at its place among the cars, as writeFrame
    // puts it; a hidden player has no vehicle of its own.
    int n = std::min(clampVehicleCount(scr.numVehicles), GameMaxVehicles);
    bool hidden = w.hidePlayer || w.hideTelemetry;
    writeGameBlocks(tel, scr, hidden ? -1 : std::min(2, n - 1), out, gameVersion);
    if (out.telemetry.playerHasVehicle)
        out.telemetry.vehicles[out.telemetry.playerVehicleIndex].virtualEnergy = float(w.energy);
}

} // namespace korvane::testkit
