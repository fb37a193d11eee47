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

void readPitMenu(const PitMenuBuffer& menu, PitMenuReading& reading) {
    char category[33];
    char choice[33];
    std::memcpy(category, menu.categoryName, 32);
    std::memcpy(choice, menu.choiceString, 32);
    category[32] = '\0';
    choice[32] = '\0';

    bool printable = true;
    for (const char* c = category; *c; ++c) {
        unsigned char b = static_cast<unsigned char>(*c);
        if (b < 0x20 || b == 0x7F) printable = false;
    }
    if (!printable) category[0] = '\0';
    reading.category = category;

    std::string upper = reading.category;
    for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
    if (upper.find("ENERGY") == std::string::npos) return;
    double value = std::atof(choice);
    if (value >= 0.0 && value <= 100.5) reading.energyPercent = value;
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
