#include "telemetry/shared_views.h"

#include "platform/shm.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace korvane {

namespace {

template <class Buffer>
void refreshView(const Buffer*& typed, MappedView& view, const char* name) {
    if (typed && typed == reinterpret_cast<const Buffer*>(view.data) &&
        !mappingViewCurrent(view)) {
        closeMappingView(view);
        typed = nullptr;
    }
    if (!typed) {
        view = openMappingView(name, sizeof(Buffer));
        typed = reinterpret_cast<const Buffer*>(view.data);
    }
}

} // namespace

void openMissingViews(SharedViews& views) {
    refreshView(views.telemetry, views.telemetryView, TelemetryMappingName);
    refreshView(views.scoring, views.scoringView, ScoringMappingName);
    refreshView(views.pitMenu, views.pitMenuView, PitMenuMappingName);
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
