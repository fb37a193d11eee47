#include "telemetry/shared_views.h"

#include "platform/shm.h"
#include "telemetry/game_layout.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace korvane {

namespace {

void refreshView(MappedView& view, const char* name, size_t size, bool writable = false) {
    if (view.data && !mappingViewCurrent(view)) closeMappingView(view);
    // A view found but not mapped holds nothing: it is simply asked for again.
    if (!view.data) view = openMappingView(name, size, writable);
}

} // namespace

void openMissingViews(SharedViews& views) {
    refreshView(views.telemetryView, TelemetryMappingName, sizeof(TelemetryBuffer));
    refreshView(views.scoringView, ScoringMappingName, sizeof(ScoringBuffer));
    refreshView(views.pitMenuView, PitMenuMappingName, sizeof(PitMenuBuffer));
    views.pitMenu = reinterpret_cast<const PitMenuBuffer*>(views.pitMenuView.data);
    GameViews& game = views.game;
    refreshView(game.data, GameDataMappingName, sizeof(GameData));
    if (!game.data.data) return;
    refreshView(game.lock, GameLockMappingName, sizeof(GameLockWords), true);
    if (!game.lockEvent) game.lockEvent = openEventToSignal(GameLockEventName);
}

GameMapping gameMappingState(const SharedViews& views) {
    const MappedView& view = views.game.data;
    if (!view.data) return view.found ? GameMapping::Short : GameMapping::Absent;
    const GameScoringInfo& info = reinterpret_cast<const GameData*>(view.data)->scoring.info;
    return info.numVehicles >= 1 && info.trackName[0] != '\0' ? GameMapping::Session
                                                              : GameMapping::NoSession;
}

namespace {

// Counts the ticks since a route's data last moved, from a glance that takes
// no lock: a torn glance at worst restarts the count.
template <class T> void noteMoved(T now, T& last, int32_t& still) {
    still = now == last ? still + 1 : 0;
    last = now;
}

} // namespace

TickStart pickSource(SharedViews& views) {
    bool plugin = views.telemetryView.data && views.scoringView.data;
    if (plugin)
        noteMoved(reinterpret_cast<const TelemetryBuffer*>(views.telemetryView.data)->beginCounter,
                  views.pluginLastCounter, views.pluginStill);
    bool game = gameMappingState(views) == GameMapping::Session;
    if (game) {
        double et;
        std::memcpy(&et,
                    views.game.data.data + offsetof(GameData, scoring) +
                        offsetof(GameScoringInfo, currentEt),
                    sizeof et);
        noteMoved(et, views.gameLastEt, views.gameStill);
    }
    bool gameWins = game && (!plugin || views.gameStill < RouteStillTicks ||
                             views.pluginStill >= RouteStillTicks);
    if (gameWins) {
        switch (readGameFrame(views.game)) {
        case GameRead::Skipped:
            return TickStart::Skipped;
        case GameRead::Torn:
            return TickStart::Torn;
        case GameRead::NoSession:
            break;
        case GameRead::Ready:
            views.source = TelemetrySource::Game;
            views.telemetry = views.game.frame.telemetry.get();
            views.scoring = views.game.frame.scoring.get();
            return TickStart::Ready;
        }
    }
    if (!plugin) {
        views.source = TelemetrySource::None;
        views.telemetry = nullptr;
        views.scoring = nullptr;
        return TickStart::Waiting;
    }
    views.source = TelemetrySource::Plugin;
    views.telemetry = reinterpret_cast<const TelemetryBuffer*>(views.telemetryView.data);
    views.scoring = reinterpret_cast<const ScoringBuffer*>(views.scoringView.data);
    return TickStart::Ready;
}

bool watchingReplay(const ScoringBuffer& scoring) {
    int n = clampVehicleCount(scoring.numVehicles);
    for (int i = 0; i < n; ++i)
        if (scoring.vehicles[i].control != uint8_t(CarControl::Replay)) return false;
    return n > 0;
}

namespace {

struct MenuText {
    std::string category; // empty when it holds a control byte
    bool printable = true;
    std::string choice;
};

// The two fields, each cut after 32 bytes.
MenuText menuText(const char (&categoryField)[32], const char (&choiceField)[32]) {
    MenuText text;
    text.category.assign(categoryField, fieldLength(categoryField));
    text.choice.assign(choiceField, fieldLength(choiceField));
    for (char c : text.category) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) text.printable = false;
    }
    if (!text.printable) text.category.clear();
    return text;
}

bool namesEnergy(const std::string& category) {
    std::string upper = category;
    for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
    return upper.find("ENERGY") != std::string::npos;
}

void takeMenu(const MenuText& text, PitMenuReading& reading) {
    reading.category = text.category;
    if (!namesEnergy(text.category)) return;
    double value = std::atof(text.choice.c_str());
    if (value >= 0.0 && value <= 100.5) reading.energyPercent = value;
}

} // namespace

void readPitMenu(const PitMenuBuffer& menu, PitMenuReading& reading) {
    MenuText plain = menuText(menu.categoryName, menu.choiceString);
    if (namesEnergy(plain.category)) {
        takeMenu(plain, reading);
        reading.versioned = false;
        return;
    }
    // The published plugin puts its version block first, which moves the menu
    // by 8 bytes: read there too, and trust it only between two updates.
    VersionedPitMenu head{};
    std::memcpy(&head, &menu, VersionedPitMenuRead);
    MenuText versioned = menuText(head.categoryName, head.choiceString);
    bool steady = head.beginCounter == head.endCounter;
    if (steady && versioned.printable && (!versioned.category.empty() || reading.versioned)) {
        takeMenu(versioned, reading);
        reading.versioned = true;
        return;
    }
    if (reading.versioned && !steady) return; // half-way through an update: try next tick
    takeMenu(plain, reading);
    reading.versioned = false;
}

bool updateTorn(const TelemetryBuffer& telemetry, const ScoringBuffer& scoring) {
    return telemetry.beginCounter != telemetry.endCounter ||
           scoring.beginCounter != scoring.endCounter;
}

void updateStale(const TelemetryBuffer& telemetry, const ScoringBuffer& scoring,
                 UpdateCounters& counters) {
    uint32_t t = telemetry.beginCounter;
    uint32_t s = scoring.beginCounter;
    if (t == counters.telemetryBegin && s == counters.scoringBegin)
        counters.stale += 1;
    else
        counters.stale = 0;
    counters.telemetryBegin = t;
    counters.scoringBegin = s;
}

int findPlayerScoringIndex(const ScoringBuffer* scoring) {
    if (!scoring) return -1;
    int n = clampVehicleCount(scoring->numVehicles);
    for (int i = 0; i < n; ++i)
        if (scoring->vehicles[i].isPlayer != 0) return i;
    for (int i = 0; i < n; ++i)
        if (scoring->vehicles[i].control == 0) return i;
    return -1;
}

int findTelemetryIndexById(const TelemetryBuffer* telemetry, int32_t id) {
    if (!telemetry || id < 0) return -1;
    int n = clampVehicleCount(telemetry->numVehicles);
    for (int i = 0; i < n; ++i)
        if (telemetry->vehicles[i].id == id) return i;
    return -1;
}

const char* playerDriverNameField(const ScoringBuffer& scoring, const VehicleScoring& player) {
    return player.driverName[0] != '\0' ? player.driverName : scoring.playerName;
}

const char* playerVehicleNameField(const VehicleTelemetry& telemetry,
                                   const VehicleScoring& scoring) {
    return telemetry.vehicleName[0] != '\0' ? telemetry.vehicleName : scoring.vehicleName;
}

double speedKmh(const VehicleTelemetry& vehicle) {
    double x = vehicle.velocity[0], y = vehicle.velocity[1], z = vehicle.velocity[2];
    return std::sqrt(x * x + y * y + z * z) * 3.6;
}

} // namespace korvane
