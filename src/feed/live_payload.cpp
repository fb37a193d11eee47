#include "feed/live_payload.h"

#include "analysis/session.h"
#include "analysis/standings.h"
#include "core/build_info.h"
#include "core/format.h"
#include "core/game_text.h"
#include "telemetry/shared_views.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

namespace korvane {

namespace {

// Writes keys and values in the order they come, with a comma before every
// member but the first of each object or array. Writes go straight into a
// buffer sized ahead, which matters for a 128-car field twice a second.
class JsonWriter {
  public:
    int decimals = 2;

    explicit JsonWriter(size_t expected) { buf_.resize(expected); }
    std::string finish() {
        buf_.resize(n_);
        return std::move(buf_);
    }
    void open(std::string_view key) {
        member(key, 1);
        buf_[n_++] = '{';
        first_ = true;
    }
    void close() {
        put('}');
        first_ = false;
    }
    void text(std::string_view key, const char* field, size_t maxBytes) {
        member(key, 2 * maxBytes + 2);
        buf_[n_++] = '"';
        n_ += writeJsonText(&buf_[n_], field, maxBytes);
        buf_[n_++] = '"';
    }
    // A name field of the game's buffers, in its UTF-8 form.
    void gameText(std::string_view key, const char* field, size_t maxBytes) {
        member(key, gameJsonTextBytes(maxBytes) + 2);
        buf_[n_++] = '"';
        n_ += writeGameJsonText(&buf_[n_], field, maxBytes);
        buf_[n_++] = '"';
    }
    void literal(std::string_view key, std::string_view value) {
        member(key, value.size());
        copy(value);
    }
    void str(std::string_view key, std::string_view value) {
        member(key, value.size() + 2);
        buf_[n_++] = '"';
        copy(value);
        buf_[n_++] = '"';
    }
    void integer(std::string_view key, long long v) {
        member(key, 24);
        auto r = std::to_chars(&buf_[n_], &buf_[n_] + 24, v);
        n_ = size_t(r.ptr - buf_.data());
    }
    void real(std::string_view key, double v) {
        member(key, FixedBufferSize);
        n_ += writeFixed(&buf_[n_], v, decimals);
    }
    void boolean(std::string_view key, bool v) { literal(key, v ? "true" : "false"); }
    void raw(std::string_view text) {
        if (!first_) put(',');
        ensure(text.size());
        copy(text);
        first_ = false;
    }
    void beginArray(std::string_view key) {
        member(key, 1);
        buf_[n_++] = '[';
        first_ = true;
    }
    void beginElement() {
        ensure(2);
        if (!first_) buf_[n_++] = ',';
        buf_[n_++] = '{';
        first_ = true;
    }
    void endArray() {
        put(']');
        first_ = false;
    }
    void put(char c) {
        ensure(1);
        buf_[n_++] = c;
    }

  private:
    // ,"key": and room for `valueBytes` more.
    void member(std::string_view key, size_t valueBytes) {
        ensure(key.size() + 4 + valueBytes);
        if (!first_) buf_[n_++] = ',';
        first_ = false;
        buf_[n_++] = '"';
        copy(key);
        buf_[n_++] = '"';
        buf_[n_++] = ':';
    }
    void copy(std::string_view s) {
        std::memcpy(&buf_[n_], s.data(), s.size());
        n_ += s.size();
    }
    void ensure(size_t more) {
        if (n_ + more > buf_.size()) buf_.resize(std::max(2 * buf_.size(), n_ + more));
    }
    std::string buf_;
    size_t n_ = 0;
    bool first_ = true;
};

constexpr std::string_view LowerWheels[] = {"fl", "fr", "rl", "rr"};

// The eight wheel keys in document order: fl fr rl rr, then FL FR RL RR.
constexpr std::string_view wheelKey(int i) {
    constexpr std::string_view keys[] = {"fl", "fr", "rl", "rr", "FL", "FR", "RL", "RR"};
    return keys[i];
}

void writeSession(JsonWriter& w, const ScoringBuffer& s) {
    w.open("session");
    w.gameText("track", s.trackName, 64);
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
    std::string s =
        "\"ve\":{\"remaining\":" + fixed(t.energyPercent, 6) +
        ",\"percent\":" + fixed(t.energyPercent, 6) + ",\"capacity\":100" +
        ",\"avgPerLap\":" + fixed(perLap, 6) +
        ",\"laps\":" + std::to_string(in.stint->energyWindow.count) +
        ",\"estimatedLapsRemaining\":" + fixed(estimatedEnergyLaps(t.energyPercent, perLap), 6) +
        ",\"source\":\"" + energySourceName(t.energySource) + "\"}";
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
    for (int i = 0; i < 8; ++i) w.real(wheelKey(i), t.wearPercent[size_t(i % 4)]);
    w.close();
    w.decimals = 4;
    w.open("wearPerLap");
    for (int i = 0; i < 8; ++i) w.real(wheelKey(i), st.wearPerLap[size_t(i % 4)]);
    w.integer("laps", static_cast<long long>(st.wearWindows[0].count));
    w.str("source", "companion");
    w.close();
    w.decimals = 2;
    w.open("temp");
    for (size_t i = 0; i < 4; ++i) w.integer(LowerWheels[i], truncatedOrZero(t.tempC[i]));
    w.close();
    w.open("compound");
    w.gameText("front", in.telemetry->frontCompound, 18);
    w.gameText("rear", in.telemetry->rearCompound, 18);
    w.close();
    w.open("change");
    w.boolean("detected", t.tyreChangeRecent);
    w.boolean("any", t.tyreChangeRecent);
    for (int i = 0; i < 8; ++i)
        w.boolean(wheelKey(i), t.tyreChangeRecent && st.wheelChanged[size_t(i % 4)]);
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
    w.integer("rpm", truncatedOrZero(t.rpm));
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
        w.gameText("name", e.car->driverName, 32);
        w.gameText("vehicle", e.car->vehicleName, 64);
        w.gameText("className", e.car->className, 32);
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

    JsonWriter w(2048 + 400 * size_t(clampVehicleCount(s.numVehicles)));
    w.put('{');
    w.text("room", in.roomCode->c_str(), 256);
    w.str("type", "live_telemetry");
    w.integer("timestamp", in.timestamp);
    w.gameText("driverId", driverName, 32);
    w.boolean("idle", false);
    writeSession(w, s);
    w.open("driver");
    w.gameText("name", driverName, 32);
    w.gameText("vehicle", playerVehicleNameField(*in.telemetry, p), 64);
    w.integer("position", p.place);
    w.gameText("className", p.className, 32);
    w.integer("id", p.id);
    w.close();
    writeFuel(w, in);
    if (in.sample->energyPercent >= 0) w.raw(veBlock(in));
    w.open("pitMenu");
    w.gameText("category", in.stint->pitMenu.category.c_str(), 32);
    w.real("vePercent",
           in.stint->pitMenu.energyPercent >= 0 ? in.stint->pitMenu.energyPercent : -1);
    w.close();
    w.open("companion");
    w.str("version", BuildVersion);
    w.close();
    writeLastStop(w, in.stint->lastStop);
    writeTyres(w, in);
    writeStatus(w, in);
    writeStandings(w, in);
    w.put('}');
    return w.finish();
}

} // namespace korvane
