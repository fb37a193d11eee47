#pragma once
// Reading the game's own shared memory. The tick needs a few kilobytes of the
// 325 KB mapping, and needs them from one moment: they are copied, under the
// game's lock when it can be had at once, into buffers laid out as the
// plugin's, so that everything after the read sees the same bytes whichever
// route fed the tick.
#include "platform/shm.h"
#include "telemetry/game_layout.h"

#include <cstdint>
#include <memory>

namespace korvane {

enum class TelemetrySource : uint8_t { None = 0, Plugin = 1, Game = 2 };

// "plugin", "game" or "none", as the diagnostics and the log show it.
const char* telemetrySourceName(TelemetrySource source);

// Tries to take the lock a few times, for a few microseconds at most. Never
// waits on the lock's event and never writes `waiters`.
[[nodiscard]] bool tryTakeGameLock(GameLockWords& words);

// Releases a lock that tryTakeGameLock took, and wakes whoever went to sleep
// on it meanwhile, as every user of the lock expects of the one leaving it.
// False when somebody released it during the read (a reader that unlocks
// what it never took): the lock is then left alone, and the read may have
// raced a write.
[[nodiscard]] bool releaseGameLock(GameLockWords& words, void* lockEvent);

// The game's moment in the plugin's layout: the session header and the cars'
// scoring records, and the player's telemetry record alone, in slot 0. The
// update counters rise by one whenever the copy shows a newer moment. Both
// buffers are null until the first copy.
struct GameFrame {
    std::unique_ptr<TelemetryBuffer> telemetry;
    std::unique_ptr<ScoringBuffer> scoring;
    uint32_t counter = 0;
    int32_t version = 0; // the game's, read with the moment it came with
};

enum class GameCopy { NoSession, Changed, Ready };

// Copies the tick's part of `data`: NoSession while it holds no track and no
// car. With `verify`, the copy is compared with the mapping once more and
// Changed means the game wrote in between (the frame is then left as it was
// but for the cars' records).
GameCopy copyGameFrame(const GameData& data, GameFrame& frame, bool verify);

// The game's objects as this program holds them.
struct GameViews {
    MappedView data, lock;
    void* lockEvent = nullptr;
    GameFrame frame;
    uint64_t lockSkips = 0;  // reads skipped because the lock was held
    int32_t lockBusyRun = 0; // consecutive reads that found it held
};

// Ticks in a row the lock may be found held before the read goes on without
// it, checked instead by a second look: a reader that died holding it must
// not blind the program for the rest of the race.
inline constexpr int32_t GameLockPatience = 20;

enum class GameRead { NoSession, Skipped, Torn, Ready };

// Reads the frame from an open mapping: under the lock when there is one,
// otherwise (a bridge under Linux copies no lock) checked by a second look.
GameRead readGameFrame(GameViews& game);

} // namespace korvane
