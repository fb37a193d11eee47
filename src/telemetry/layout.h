#pragma once
// The plugin's three mapped buffers. Only the fields the program reads are
// named; the rest is padding. All offsets are bytes from the start of the
// buffer or record, little-endian, and checked below at compile time.
#include <cstddef>
#include <cstdint>

namespace korvane {

inline constexpr const char* TelemetryMappingName = "$rFactor2SMMP_Telemetry$";
inline constexpr const char* ScoringMappingName = "$rFactor2SMMP_Scoring$";
inline constexpr const char* PitMenuMappingName = "$rFactor2SMMP_PitInfo$";
inline constexpr int MaxVehicles = 128;

#pragma pack(push, 1)

struct WheelTelemetry {
    uint8_t pad0[152];
    double wear; // fraction, 1.0 = new
    uint8_t pad1[44];
    double carcassTempK;
    uint8_t pad2[48];
};

struct VehicleTelemetry {
    int32_t id;
    uint8_t pad0[16];
    int32_t lap;
    uint8_t pad1[8];
    char vehicleName[64];
    uint8_t pad2[88];
    double velocity[3]; // m/s, car frame
    uint8_t pad3[144];
    int32_t gear;
    double rpm;
    uint8_t pad4[160];
    double fuelLitres;
    uint8_t pad5[72];
    uint8_t speedLimiter;
    uint8_t pad6[3];
    double fuelCapacityLitres;
    uint8_t pad7[4];
    char frontCompound[18];
    char rearCompound[18];
    uint8_t pad8[120];
    // The car's virtual energy as a fraction of a full allowance. Only the
    // game's own interface fills it; in the plugin's record these bytes are
    // spare and hold nothing the program may read.
    float virtualEnergy;
    uint8_t pad9[68];
    WheelTelemetry wheels[4]; // fl, fr, rl, rr
};

struct TelemetryBuffer {
    uint32_t beginCounter;
    uint32_t endCounter;
    uint8_t pad0[4];
    int32_t numVehicles;
    VehicleTelemetry vehicles[MaxVehicles];
};

struct VehicleScoring {
    int32_t id;
    char driverName[32];
    char vehicleName[64];
    int16_t lapsCompleted;
    uint8_t pad0[2];
    double lapDist; // metres from the line along this lap
    uint8_t pad0b[32];
    double bestLapSeconds;
    uint8_t pad1[16];
    double lastLapSeconds;
    uint8_t pad2[16];
    int16_t pitStops;
    uint8_t pad3[2];
    uint8_t isPlayer;
    uint8_t control; // 0 = the local player drives
    uint8_t inPits;
    uint8_t place;
    char className[32];
    uint8_t pad4[12];
    double timeBehindLeader;
    uint8_t pad5[4];
    double lapStartEt; // session time at which this lap began
    uint8_t pad5b[193];
    uint8_t pitState; // 3 = stopped in the box
    uint8_t pad6[49];
    uint8_t inGarageStall;
    uint8_t pad7[70];
    uint8_t fuelFraction; // 0..255 of a full tank, 0 = not published
    uint8_t pad8[5];
};

struct ScoringBuffer {
    uint32_t beginCounter;
    uint32_t endCounter;
    uint8_t pad0[4];
    char trackName[64];
    int32_t sessionType;
    double currentEt;
    double endEt;
    int32_t maxLaps;    // the session's lap limit; a huge number when it has none
    double lapDistance; // the track's length in metres
    uint8_t pad1[8];
    int32_t numVehicles;
    uint8_t gamePhase;
    uint8_t pad2[6];
    uint8_t inRealtime;
    char playerName[32];
    uint8_t pad3[400];
    VehicleScoring vehicles[MaxVehicles];
};

// The pit menu without a version block. The mapping is opened at this size,
// which holds the versioned menu's fields as well.
struct PitMenuBuffer {
    uint8_t pad0[4];
    char categoryName[32];
    uint8_t pad1[4];
    char choiceString[32];
    uint8_t pad2[260];
};

// The pit menu as the published plugin writes it: the same version block as
// its other buffers, then the menu (340 bytes in all).
struct VersionedPitMenu {
    uint32_t beginCounter;
    uint32_t endCounter;
    int32_t categoryIndex;
    char categoryName[32];
    int32_t choiceIndex;
    char choiceString[32];
    int32_t numChoices;
    uint8_t expansion[256];
};

#pragma pack(pop)

static_assert(sizeof(WheelTelemetry) == 260);
static_assert(offsetof(WheelTelemetry, wear) == 152);
static_assert(offsetof(WheelTelemetry, carcassTempK) == 204);

static_assert(sizeof(VehicleTelemetry) == 1888);
static_assert(offsetof(VehicleTelemetry, id) == 0);
static_assert(offsetof(VehicleTelemetry, lap) == 20);
static_assert(offsetof(VehicleTelemetry, vehicleName) == 32);
static_assert(offsetof(VehicleTelemetry, velocity) == 184);
static_assert(offsetof(VehicleTelemetry, gear) == 352);
static_assert(offsetof(VehicleTelemetry, rpm) == 356);
static_assert(offsetof(VehicleTelemetry, fuelLitres) == 524);
static_assert(offsetof(VehicleTelemetry, speedLimiter) == 604);
static_assert(offsetof(VehicleTelemetry, fuelCapacityLitres) == 608);
static_assert(offsetof(VehicleTelemetry, frontCompound) == 620);
static_assert(offsetof(VehicleTelemetry, rearCompound) == 638);
static_assert(offsetof(VehicleTelemetry, virtualEnergy) == 776);
static_assert(offsetof(VehicleTelemetry, wheels) == 848);

static_assert(sizeof(TelemetryBuffer) == 241680);
static_assert(offsetof(TelemetryBuffer, beginCounter) == 0);
static_assert(offsetof(TelemetryBuffer, endCounter) == 4);
static_assert(offsetof(TelemetryBuffer, numVehicles) == 12);
static_assert(offsetof(TelemetryBuffer, vehicles) == 16);

static_assert(sizeof(VehicleScoring) == 584);
static_assert(offsetof(VehicleScoring, driverName) == 4);
static_assert(offsetof(VehicleScoring, vehicleName) == 36);
static_assert(offsetof(VehicleScoring, lapsCompleted) == 100);
static_assert(offsetof(VehicleScoring, bestLapSeconds) == 144);
static_assert(offsetof(VehicleScoring, lapDist) == 104);
static_assert(offsetof(VehicleScoring, lastLapSeconds) == 168);
static_assert(offsetof(VehicleScoring, lapStartEt) == 256);
static_assert(offsetof(VehicleScoring, pitStops) == 192);
static_assert(offsetof(VehicleScoring, isPlayer) == 196);
static_assert(offsetof(VehicleScoring, control) == 197);
static_assert(offsetof(VehicleScoring, inPits) == 198);
static_assert(offsetof(VehicleScoring, place) == 199);
static_assert(offsetof(VehicleScoring, className) == 200);
static_assert(offsetof(VehicleScoring, timeBehindLeader) == 244);
static_assert(offsetof(VehicleScoring, pitState) == 457);
static_assert(offsetof(VehicleScoring, inGarageStall) == 507);
static_assert(offsetof(VehicleScoring, fuelFraction) == 578);

static_assert(sizeof(ScoringBuffer) == 75312);
static_assert(offsetof(ScoringBuffer, trackName) == 12);
static_assert(offsetof(ScoringBuffer, sessionType) == 76);
static_assert(offsetof(ScoringBuffer, currentEt) == 80);
static_assert(offsetof(ScoringBuffer, endEt) == 88);
static_assert(offsetof(ScoringBuffer, maxLaps) == 96);
static_assert(offsetof(ScoringBuffer, lapDistance) == 100);
static_assert(offsetof(ScoringBuffer, numVehicles) == 116);
static_assert(offsetof(ScoringBuffer, gamePhase) == 120);
static_assert(offsetof(ScoringBuffer, inRealtime) == 127);
static_assert(offsetof(ScoringBuffer, playerName) == 128);
static_assert(offsetof(ScoringBuffer, vehicles) == 560);

static_assert(sizeof(PitMenuBuffer) == 332);
static_assert(offsetof(PitMenuBuffer, categoryName) == 4);
static_assert(offsetof(PitMenuBuffer, choiceString) == 40);

static_assert(sizeof(VersionedPitMenu) == 340);
static_assert(offsetof(VersionedPitMenu, endCounter) == 4);
static_assert(offsetof(VersionedPitMenu, categoryName) == 12);
static_assert(offsetof(VersionedPitMenu, choiceString) == 48);
static_assert(offsetof(VersionedPitMenu, numChoices) == 80);
// Everything read from it lies within the smaller mapping.
inline constexpr size_t VersionedPitMenuRead = offsetof(VersionedPitMenu, expansion);
static_assert(VersionedPitMenuRead <= sizeof(PitMenuBuffer));

// Length of a fixed-size character field, which the publisher may fill to
// its last byte without a terminator.
inline size_t fieldLength(const char* field, size_t size) {
    size_t n = 0;
    while (n < size && field[n] != '\0') ++n;
    return n;
}

template <size_t N> inline size_t fieldLength(const char (&field)[N]) {
    return fieldLength(field, N);
}

inline int clampVehicleCount(int32_t n) {
    return n < 0 ? 0 : (n > MaxVehicles ? MaxVehicles : n);
}

} // namespace korvane
