#pragma once
// The game's own shared memory: one mapping, packed to 4 bytes, that Le Mans
// Ultimate publishes while a session is loaded, beside a lock that every
// reader shares with the game. Its per-car records are byte for byte the
// plugin's (both come from the same engine's structures), so only the blocks
// around them are laid out here. Every offset read is checked below against
// the figures the public mappings give (docs/real-game.md: the game's own shared memory).
#include "telemetry/layout.h"

#include <cstddef>
#include <cstdint>

namespace korvane {

inline constexpr const char* GameDataMappingName = "LMU_Data";
inline constexpr const char* GameDataEventName = "LMU_Data_Event";
inline constexpr const char* GameLockMappingName = "LMU_SharedMemoryLockData";
inline constexpr const char* GameLockEventName = "LMU_SharedMemoryLockEvent";
inline constexpr int GameMaxVehicles = 104;
// The game's event queue: one slot per kind of event, the kinds numbered up
// to this value, which also ends the queue.
inline constexpr int GameEventKinds = 16;
// The newest game version whose layout the public sources describe (1.3).
inline constexpr int32_t GameVersionKnown = 130;

#pragma pack(push, 1)

struct GameLockWords {
    int32_t waiters; // readers and writers asleep on the lock's event
    int32_t busy;    // 1 while someone holds the lock
};

struct GameGeneric {
    uint32_t events[GameEventKinds];
    int32_t gameVersion;
    float ffbTorque;
    uint8_t appInfo[260];
};

// The session's header: the same fields, in the same order, as the plugin's
// scoring buffer after its 12-byte version block.
struct GameScoringInfo {
    char trackName[64];
    int32_t sessionType;
    double currentEt;
    double endEt;
    int32_t maxLaps;
    double lapDistance;
    uint8_t resultsStream[8];
    int32_t numVehicles;
    uint8_t gamePhase;
    uint8_t pad0[6];
    uint8_t inRealtime;
    char playerName[32];
    uint8_t pad1[400];
};

struct GameScoring {
    GameScoringInfo info;
    uint8_t streamSize[12];
    VehicleScoring vehicles[GameMaxVehicles];
    char stream[65536];
};

struct GameTelemetry {
    uint8_t activeVehicles;
    uint8_t playerVehicleIndex;
    uint8_t playerHasVehicle;
    uint8_t pad0;
    VehicleTelemetry vehicles[GameMaxVehicles];
};

struct GameData {
    GameGeneric generic;
    char paths[5][260];
    GameScoring scoring;
    GameTelemetry telemetry;
};

#pragma pack(pop)

// Who is at the wheel of a car, as each car's scoring record says.
enum class CarControl : uint8_t { LocalPlayer = 0, LocalAi = 1, Remote = 2, Replay = 3 };

static_assert(sizeof(GameLockWords) == 8);
static_assert(offsetof(GameLockWords, busy) == 4);

static_assert(offsetof(GameGeneric, gameVersion) == 64);
static_assert(sizeof(GameGeneric) == 332);

static_assert(sizeof(GameScoringInfo) == 548);
static_assert(offsetof(GameScoringInfo, sessionType) == 64);
static_assert(offsetof(GameScoringInfo, currentEt) == 68);
static_assert(offsetof(GameScoringInfo, numVehicles) == 104);
static_assert(offsetof(GameScoringInfo, gamePhase) == 108);
static_assert(offsetof(GameScoringInfo, inRealtime) == 115);
static_assert(offsetof(GameScoringInfo, playerName) == 116);
// The header lies in the plugin's scoring buffer at its offset plus 12.
static_assert(offsetof(ScoringBuffer, trackName) == 12);
static_assert(offsetof(ScoringBuffer, sessionType) == 12 + offsetof(GameScoringInfo, sessionType));
static_assert(offsetof(ScoringBuffer, currentEt) == 12 + offsetof(GameScoringInfo, currentEt));
static_assert(offsetof(ScoringBuffer, endEt) == 12 + offsetof(GameScoringInfo, endEt));
static_assert(offsetof(ScoringBuffer, numVehicles) == 12 + offsetof(GameScoringInfo, numVehicles));
static_assert(offsetof(ScoringBuffer, gamePhase) == 12 + offsetof(GameScoringInfo, gamePhase));
static_assert(offsetof(ScoringBuffer, inRealtime) == 12 + offsetof(GameScoringInfo, inRealtime));
static_assert(offsetof(ScoringBuffer, playerName) == 12 + offsetof(GameScoringInfo, playerName));
static_assert(offsetof(ScoringBuffer, vehicles) == 12 + sizeof(GameScoringInfo));

static_assert(offsetof(GameData, paths) == 332);
static_assert(offsetof(GameData, scoring) == 1632);
static_assert(offsetof(GameData, scoring) + offsetof(GameScoring, vehicles) == 2192);
static_assert(offsetof(GameData, telemetry) == 128464);
static_assert(offsetof(GameData, telemetry) + offsetof(GameTelemetry, vehicles) == 128468);
static_assert(sizeof(GameData) == 324820);

} // namespace korvane
