#include "telemetry/game_source.h"

#include <atomic>
#include <cstring>

namespace korvane {

const char* telemetrySourceName(TelemetrySource source) {
    switch (source) {
    case TelemetrySource::Plugin:
        return "plugin";
    case TelemetrySource::Game:
        return "game";
    case TelemetrySource::None:
        break;
    }
    return "none";
}

namespace {

// About a microsecond of tries: the game holds the lock only while it copies
// a frame in, and a tick that misses it simply reads on the next one.
constexpr int LockTries = 64;

} // namespace

bool tryTakeGameLock(GameLockWords& words) {
    std::atomic_ref<int32_t> busy(words.busy);
    for (int i = 0; i < LockTries; ++i) {
        int32_t expected = 0;
        if (busy.load(std::memory_order_relaxed) == 0 &&
            busy.compare_exchange_strong(expected, 1, std::memory_order_acquire))
            return true;
    }
    return false;
}

bool releaseGameLock(GameLockWords& words, void* lockEvent) {
    int32_t held = 1;
    if (!std::atomic_ref<int32_t>(words.busy)
             .compare_exchange_strong(held, 0, std::memory_order_release))
        return false;
    if (std::atomic_ref<int32_t>(words.waiters).load(std::memory_order_acquire) > 0)
        signalEvent(lockEvent);
    return true;
}

namespace {

int gameVehicleCount(int32_t n) {
    return n < 0 ? 0 : (n > GameMaxVehicles ? GameMaxVehicles : n);
}

// The player's telemetry record, when the telemetry block names one.
const VehicleTelemetry* playerTelemetry(const GameTelemetry& telemetry) {
    int active = gameVehicleCount(telemetry.activeVehicles);
    if (!telemetry.playerHasVehicle || telemetry.playerVehicleIndex >= active) return nullptr;
    return &telemetry.vehicles[telemetry.playerVehicleIndex];
}

// What marks a newer moment: the session clock, and the player's record's
// own clock (its second and third fields), which runs while the session's
// stands still in the garage.
struct Moment {
    double sessionEt;
    uint8_t playerClock[16];
    bool operator==(const Moment&) const = default;
};

Moment momentOf(const ScoringBuffer& scoring, const TelemetryBuffer& telemetry) {
    Moment m{};
    m.sessionEt = scoring.currentEt;
    if (telemetry.numVehicles > 0)
        std::memcpy(m.playerClock, reinterpret_cast<const uint8_t*>(&telemetry.vehicles[0]) + 4,
                    sizeof m.playerClock);
    return m;
}

void setCounters(GameFrame& frame, uint32_t counter) {
    frame.counter = counter;
    frame.telemetry->beginCounter = frame.telemetry->endCounter = counter;
    frame.scoring->beginCounter = frame.scoring->endCounter = counter;
}

} // namespace

GameCopy copyGameFrame(const GameData& data, GameFrame& frame, bool verify) {
    // Each piece is read once; the counts that bound the next reads are taken
    // from the copy, never from the mapping a second time.
    GameScoringInfo info;
    std::memcpy(&info, &data.scoring.info, sizeof info);
    int32_t version;
    std::memcpy(&version, &data.generic.gameVersion, sizeof version);
    GameTelemetry head{};
    std::memcpy(&head, &data.telemetry, offsetof(GameTelemetry, vehicles));
    if (info.numVehicles < 1 || info.trackName[0] == '\0') return GameCopy::NoSession;
    // Made at the first read: a driver on the plugin's route alone never
    // carries them.
    if (!frame.scoring) {
        frame.telemetry = std::make_unique<TelemetryBuffer>();
        frame.scoring = std::make_unique<ScoringBuffer>();
    }
    ScoringBuffer& scoring = *frame.scoring;
    TelemetryBuffer& telemetry = *frame.telemetry;
    Moment before = momentOf(scoring, telemetry);
    int n = gameVehicleCount(info.numVehicles);
    size_t carBytes = size_t(n) * sizeof(VehicleScoring);
    std::memcpy(scoring.vehicles, data.scoring.vehicles, carBytes);
    const VehicleTelemetry* player = playerTelemetry(head);
    if (player) player = &data.telemetry.vehicles[head.playerVehicleIndex];
    if (player) std::memcpy(&telemetry.vehicles[0], player, sizeof(VehicleTelemetry));
    if (verify &&
        (std::memcmp(&info, &data.scoring.info, sizeof info) != 0 ||
         std::memcmp(&version, &data.generic.gameVersion, sizeof version) != 0 ||
         std::memcmp(scoring.vehicles, data.scoring.vehicles, carBytes) != 0 ||
         std::memcmp(&head, &data.telemetry, offsetof(GameTelemetry, vehicles)) != 0 ||
         (player && std::memcmp(&telemetry.vehicles[0], player, sizeof(VehicleTelemetry)) != 0)))
        return GameCopy::Changed;
    std::memcpy(scoring.trackName, &info, sizeof info);
    scoring.numVehicles = n;
    frame.version = version;
    telemetry.numVehicles = player ? 1 : 0;
    setCounters(frame, momentOf(scoring, telemetry) == before ? frame.counter : frame.counter + 1);
    return GameCopy::Ready;
}

GameRead readGameFrame(GameViews& game) {
    const auto& data = *reinterpret_cast<const GameData*>(game.data.data);
    auto* lock = game.lock.data && game.lock.writable
                     ? reinterpret_cast<GameLockWords*>(const_cast<uint8_t*>(game.lock.data))
                     : nullptr;
    if (lock && tryTakeGameLock(*lock)) {
        game.lockBusyRun = 0;
        GameCopy copy = copyGameFrame(data, game.frame, false);
        if (releaseGameLock(*lock, game.lockEvent))
            return copy == GameCopy::Ready ? GameRead::Ready : GameRead::NoSession;
        // Released under the read by someone else: checked as without a lock.
    } else if (lock) {
        game.lockSkips += 1;
        game.lockBusyRun += 1;
        if (game.lockBusyRun < GameLockPatience) return GameRead::Skipped;
    }
    // No lock to take, or one held far longer than any writer holds it.
    for (int attempt = 0; attempt < 3; ++attempt) {
        GameCopy copy = copyGameFrame(data, game.frame, true);
        if (copy == GameCopy::Ready) return GameRead::Ready;
        if (copy == GameCopy::NoSession) return GameRead::NoSession;
    }
    return GameRead::Torn;
}

} // namespace korvane
