#include "feed/live_payload.h"

#include "analysis/session.h"
#include "analysis/standings.h"
#include "app/build_info.h"
#include "feed/format.h"
#include "telemetry/shared_views.h"

#include <cmath>
#include <limits>

namespace korvane {

namespace {

// Whole numbers from doubles, truncated toward zero; a value that has no
// integer form (NaN, out of range) is written as 0 rather than invoking
// undefined behaviour.
long long truncated(double v) {
    if (!std::isfinite(v) || v >= 9.2e18 || v <= -9.2e18) return 0;
    return static_cast<long long>(v);
}

// Appends keys and values in the order they are written, with a comma before
// every member but the first of each object or array.
class JsonWriter {
public:
    std::string out;
    int decimals = 2;

    void open(const char* key) {
        member(key);
        out += '{';
        first_ = true;
    }
    void close() {
        out += '}';
        first_ = false;
    }
    void text(const char* key, const char* field, size_t maxBytes) {
        member(key);
        out += '"';
        out += sanitizeJsonText(field, maxBytes);
        out += '"';
    }
    void literal(const char* key, const char* value) {
        member(key);
        out += value;
    }
    void str(const char* key, const char* value) {
        member(key);
        out += '"';
        out += value;
        out += '"';
    }
    void integer(const char* key, long long v) {
        member(key);
        out += std::to_string(v);
    }
    void real(const char* key, double v) {
        member(key);
        out += fixed(v, decimals);
    }
    void boolean(const char* key, bool v) { literal(key, v ? "true" : "false"); }
    void raw(const std::string& text) {
        out += text;
        first_ = false;
    }
    void beginArray(const char* key) {
        member(key);
        out += '[';
        first_ = true;
    }
    void beginElement() {
        if (!first_) out += ',';
        out += '{';
        first_ = true;
    }
    void endArray() {
        out += ']';
        first_ = false;
    }

private:
    void member(const char* key) {
        if (!first_) out += ',';
        first_ = false;
        if (!key) return;
        out += '"';
        out += key;
        out += "\":";
    }
    bool first_ = true;
};

static const char* const LowerWheels[] = {"fl", "fr", "rl", "rr"};
static const char* const UpperWheels[] = {"FL", "FR", "RL", "RR"};

void writeSession(JsonWriter& w, const ScoringBuffer& s) {
    w.open("session");
    w.text("track", s.trackName, 64);
    w.real("remaining", s.endEt - s.currentEt);
    w.real("elapsed", s.currentEt);
    w.integer("phase", s.gamePhase);
    w.integer("session", s.sessionType);
    w.str("sessionType", sessionTypeName(s.sessionType));
    w.boolean("isRace", isRaceSession(s.sessionType));
    w.boolean("inRealtime", s.inRealtime != 0);
    w.close();
}

void writeFuel(JsonWriter& w, const LivePayloadInput& in) {
    const TickSample& t = *in.sample;
    const StintState& st = *in.stint;
    w.open("lap");
    w.integer("current", t.lap);
    w.real("fuelUsedLastLap", st.fuelUsedLastLap);
    w.close();
    w.open("fuel");
    w.real("remaining", t.fuel);
    w.real("liters", t.fuel);
    w.real("capacity", t.capacity);
    w.real("percent", fuelPercentOf(t.fuel, t.capacity));
    w.real("avgPerLap", st.fuelAverage);
    w.integer("laps", static_cast<long long>(st.fuelWindow.count));
    w.real("estimatedLapsRemaining", st.fuelAverage > 0.1 ? t.fuel / st.fuelAverage : 0.0);
    w.close();
}

// The ve block is assembled on its own with six decimals, then spliced in.
std::string veBlock(const LivePayloadInput& in) {
    const TickSample& t = *in.sample;
    double perLap = energyPerLap(*in.stint, in.restVePerLap);
    std::string s = "\"ve\":{\"remaining\":" + fixed(t.energyPercent, 6) +
                    ",\"percent\":" + fixed(t.energyPercent, 6) + ",\"capacity\":100" +
                    ",\"avgPerLap\":" + fixed(perLap, 6) +
                    ",\"laps\":" + std::to_string(in.stint->energyWindow.count) +
                    ",\"estimatedLapsRemaining\":" +
                    fixed(estimatedEnergyLaps(t.energyPercent, perLap), 6) + ",\"source\":\"" +
                    energySourceName(t.energySource) + "\"}";
    return s;
}

void writeLastStop(JsonWriter& w, const LastStop& stop) {
    w.open("lastStop");
    w.boolean("valid", stop.valid);
    w.decimals = 2;
    w.real("driveThroughSec", stop.driveThroughSeconds);
    w.real("stationarySec", stop.stationarySeconds);
    w.real("litres", stop.litres);
    w.boolean("tiresChanged", stop.tyresChanged);
    w.real("secPerLitre", secondsPerLitre(stop));
    w.close();
}

void writeTyres(JsonWriter& w, const LivePayloadInput& in) {
    const TickSample& t = *in.sample;
    const StintState& st = *in.stint;
    w.open("tires");
    w.open("wear");
    for (int i = 0; i < 8; ++i)
        w.real(i < 4 ? LowerWheels[i] : UpperWheels[i - 4], t.wearPercent[size_t(i % 4)]);
    w.close();
    w.decimals = 4;
    w.open("wearPerLap");
    for (int i = 0; i < 8; ++i)
        w.real(i < 4 ? LowerWheels[i] : UpperWheels[i - 4], st.wearPerLap[size_t(i % 4)]);
    w.integer("laps", static_cast<long long>(st.wearWindows[0].count));
    w.str("source", "companion");
    w.close();
    w.decimals = 2;
    w.open("temp");
    for (size_t i = 0; i < 4; ++i) w.integer(LowerWheels[i], truncated(t.tempC[i]));
    w.close();
    w.open("compound");
    w.text("front", in.telemetry->frontCompound, 18);
    w.text("rear", in.telemetry->rearCompound, 18);
    w.close();
    w.open("change");
    w.boolean("detected", t.tyreChangeRecent);
    w.boolean("any", t.tyreChangeRecent);
    for (int i = 0; i < 8; ++i)
        w.boolean(i < 4 ? LowerWheels[i] : UpperWheels[i - 4],
                  t.tyreChangeRecent && st.wheelChanged[size_t(i % 4)]);
    w.real("lastChangeET", st.lastChangeEt);
    w.close();
    w.close();
}

void writeStatus(JsonWriter& w, const LivePayloadInput& in) {
    const TickSample& t = *in.sample;
    const StintState& st = *in.stint;
    w.open("status");
    w.boolean("inPitlane", t.inPitStop);
    w.boolean("speedLimiter", t.speedLimiter);
    w.boolean("scoringInPits", t.inPitStop && t.inPits != 0);
    w.integer("pitState", t.inPitStop ? t.pitState : 0);
    w.boolean("inGarage", t.inPitStop && t.inGarage != 0);
    w.boolean("pitArmed", st.pitArmed);
    w.boolean("pitStable", st.pitStable);
    w.open("pitRaw");
    w.boolean("inPitlane", t.pitFlag);
    w.boolean("scoringInPits", t.inPits != 0);
    w.integer("pitState", t.pitState);
    w.boolean("inGarage", t.inGarage != 0);
    w.close();
    w.boolean("fuelJustIncreased", t.fuelJustIncreased);
    w.real("speed", t.speedKmh);
    w.integer("rpm", truncated(t.rpm));
    w.integer("gear", t.gear);
    w.integer("playerId", in.player->id);
    w.boolean("sessionOk", t.sessionOk);
    w.literal("activePoster", "true");
    w.close();
}

void writeStandings(JsonWriter& w, const LivePayloadInput& in) {
    w.beginArray("standings");
    for (const StandingsEntry& e : selectStandings(*in.scoring, *in.player, in.rivalEnergy)) {
        w.beginElement();
        w.decimals = 2;
        w.integer("id", e.id);
        w.text("name", e.car->driverName, 32);
        w.text("vehicle", e.car->vehicleName, 64);
        w.text("className", e.car->className, 32);
        w.integer("position", e.position);
        w.integer("lap", e.lap);
        w.real("gap", e.gap);
        w.real("gapToLeader", e.gapToLeader);
        w.real("lastLap", e.lastLap);
        w.real("bestLap", e.bestLap);
        w.boolean("inPit", e.inPit);
        w.integer("pitState", e.pitState);
        w.integer("pitStops", e.pitStops);
        w.boolean("sameClass", e.sameClass);
        if (e.hasFuelPct) w.real("fuelPct", e.fuelPct);
        if (e.hasVe) w.real("ve", e.ve);
        w.close();
    }
    w.endArray();
}

} // namespace

std::string buildLivePayload(const LivePayloadInput& in) {
    const ScoringBuffer& s = *in.scoring;
    const VehicleScoring& p = *in.player;
    const char* driverName = playerDriverNameField(s, p);

    JsonWriter w;
    w.out.reserve(4096);
    w.out += '{';
    w.text("room", in.roomCode->c_str(), 256);
    w.str("type", "live_telemetry");
    w.integer("timestamp", in.timestamp);
    w.text("driverId", driverName, 32);
    w.boolean("idle", false);
    writeSession(w, s);
    w.open("driver");
    w.text("name", driverName, 32);
    w.text("vehicle", playerVehicleNameField(*in.telemetry, p), 64);
    w.integer("position", p.place);
    w.text("className", p.className, 32);
    w.integer("id", p.id);
    w.close();
    writeFuel(w, in);
    if (in.sample->energyPercent >= 0) {
        w.out += ',';
        w.raw(veBlock(in));
    }
    w.open("pitMenu");
    w.text("category", in.stint->pitMenu.category.c_str(), 32);
    w.real("vePercent", in.stint->pitMenu.energyPercent >= 0 ? in.stint->pitMenu.energyPercent : -1);
    w.close();
    w.open("companion");
    w.str("version", BuildVersion);
    w.close();
    writeLastStop(w, in.stint->lastStop);
    writeTyres(w, in);
    writeStatus(w, in);
    writeStandings(w, in);
    w.out += '}';
    return w.out;
}

} // namespace korvane
