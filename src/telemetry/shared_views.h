#pragma once
// The start of every tick: open what is missing, read the pit menu, test the
// publisher's update counters and find the player's two records. Reads the
// mapped buffers in place; nothing is copied.
#include "platform/shm.h"
#include "telemetry/game_source.h"
#include "telemetry/layout.h"

#include <string>

namespace korvane {

// Ticks a route's data may stand still before the other route, when it
// moves, is read instead (the game restarted with the other route).
inline constexpr int32_t RouteStillTicks = 10;

struct SharedViews {
    // This tick's buffers, from whichever route fed it (tests and the report
    // point them at plain buffers instead).
    const TelemetryBuffer* telemetry = nullptr;
    const ScoringBuffer* scoring = nullptr;
    const PitMenuBuffer* pitMenu = nullptr;
    TelemetrySource source = TelemetrySource::None;
    // The plugin's mappings, and the game's own objects.
    MappedView telemetryView, scoringView, pitMenuView;
    GameViews game;
    // Ticks since each route's data last moved, and what it showed then.
    int32_t pluginStill = 0, gameStill = 0;
    uint32_t pluginLastCounter = 0;
    double gameLastEt = -1;
};

// Maps each mapping that is not open yet, of both routes. An open one is
// kept, unless the mapping behind it went away (a publisher that was
// restarted, on Linux): then it is closed and the name opened again.
void openMissingViews(SharedViews& views);

// What the game's own mapping shows when it cannot be read: absent, smaller
// than its layout, or holding no session.
enum class GameMapping { Absent, Short, NoSession, Session };
GameMapping gameMappingState(const SharedViews& views);

// What the game's pit menu last showed. Both values survive ticks on which the
// menu is closed or shows another category.
struct PitMenuReading {
    std::string category;      // last printable category text
    double energyPercent = -1; // last accepted energy value, -1 = never read
    bool versioned = false;    // last read at the plugin's versioned offsets
};

// Reads the menu at either layout's offsets: the category, and the energy
// value when the category names energy.
void readPitMenu(const PitMenuBuffer& menu, PitMenuReading& reading);

// Begin/end counters from the previous passing test and the count of ticks
// since either changed.
struct UpdateCounters {
    uint32_t telemetryBegin = 0;
    uint32_t scoringBegin = 0;
    int32_t stale = 0;
};

// True while the publisher is half-way through writing either buffer.
bool updateTorn(const TelemetryBuffer& telemetry, const ScoringBuffer& scoring);

void updateStale(const TelemetryBuffer& telemetry, const ScoringBuffer& scoring,
                 UpdateCounters& counters);

// Index of the player's scoring record, or -1.
int findPlayerScoringIndex(const ScoringBuffer* scoring);

// Index of the telemetry record with this vehicle id, or -1.
int findTelemetryIndexById(const TelemetryBuffer* telemetry, int32_t id);

// The player's driver name field (32 bytes): the scoring record's, or the
// header's player name when that is empty.
const char* playerDriverNameField(const ScoringBuffer& scoring, const VehicleScoring& player);

// The player's vehicle name field (64 bytes): telemetry's, or scoring's when
// telemetry's is empty.
const char* playerVehicleNameField(const VehicleTelemetry& telemetry,
                                   const VehicleScoring& scoring);

double speedKmh(const VehicleTelemetry& vehicle);

// Waiting: neither route publishes. Skipped: the game's lock was held, the
// read is left to the next tick. Replay: every car is driven by a replay.
enum class TickStart { Waiting, Skipped, Torn, PlayerMissing, Replay, Ready };

// Chooses this tick's route and points `telemetry` and `scoring` at its
// buffers: the game's own interface when it carries a session, unless it
// stands still while the plugin's moves; the plugin's otherwise. Returns
// Ready, or why the tick cannot go on.
TickStart pickSource(SharedViews& views);

// True when the session has cars and every one is driven by a replay.
bool watchingReplay(const ScoringBuffer& scoring);

struct PlayerRecords {
    const VehicleTelemetry* telemetry = nullptr;
    const VehicleScoring* scoring = nullptr;
};

// Steps after opening: pit menu, counters, then the lookups. `beforeLookup`
// runs once the counters pass and before the player is looked for (the
// session check belongs there). Views must be opened by the caller.
template <class BeforeLookup>
TickStart startTick(const SharedViews& views, PitMenuReading& pitMenu, UpdateCounters& counters,
                    BeforeLookup&& beforeLookup, PlayerRecords& player) {
    if (views.pitMenu) readPitMenu(*views.pitMenu, pitMenu);
    if (!views.telemetry || !views.scoring) return TickStart::Waiting;
    if (updateTorn(*views.telemetry, *views.scoring)) return TickStart::Torn;
    updateStale(*views.telemetry, *views.scoring, counters);
    beforeLookup(*views.scoring);
    if (watchingReplay(*views.scoring)) return TickStart::Replay;
    int s = findPlayerScoringIndex(views.scoring);
    if (s < 0) return TickStart::PlayerMissing;
    const VehicleScoring& scoring = views.scoring->vehicles[s];
    int t = findTelemetryIndexById(views.telemetry, scoring.id);
    if (t < 0) return TickStart::PlayerMissing;
    player.scoring = &scoring;
    player.telemetry = &views.telemetry->vehicles[t];
    return TickStart::Ready;
}

} // namespace korvane
