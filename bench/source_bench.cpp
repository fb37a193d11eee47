// One tick's read on a full grid (60 cars), through each route: the game's
// own mapping (the lock taken, the tick's part copied, the lock given back;
// and without a lock, the copy checked by a second look) and the plugin's
// buffers (read in place), each up to the player's two records.
#include "scenario.h"
#include "telemetry/shared_views.h"

#include <benchmark/benchmark.h>
#include <memory>
#include <string>

using namespace korvane;

namespace {

struct Grid {
    testkit::Scenario sc;
    testkit::FrameBuffers plugin;
    std::unique_ptr<GameData> game = std::make_unique<GameData>();
    GameLockWords lock{0, 0};
    Grid() {
        std::string err;
        if (!testkit::loadScenarioFile(KORVANE_SCENARIO_DIR "/race60", sc, err)) std::abort();
        testkit::ScenarioPlayer player(sc);
        plugin.publish(sc, player.world());
        testkit::writeGameFrame(player.world(), *plugin.telemetry, *plugin.scoring, *game);
    }
};

void readThrough(benchmark::State& state, bool viaGame, bool withLock) {
    Grid grid;
    SharedViews views;
    if (viaGame) {
        views.game.data.data = reinterpret_cast<const uint8_t*>(grid.game.get());
        views.game.lock.data = withLock ? reinterpret_cast<const uint8_t*>(&grid.lock) : nullptr;
        views.game.lock.writable = withLock;
    } else {
        views.telemetryView.data = reinterpret_cast<const uint8_t*>(grid.plugin.telemetry.get());
        views.scoringView.data = reinterpret_cast<const uint8_t*>(grid.plugin.scoring.get());
    }
    PitMenuReading pit;
    UpdateCounters counters;
    for (auto _ : state) {
        PlayerRecords player;
        TickStart start = pickSource(views);
        if (start == TickStart::Ready)
            start = startTick(
                views, pit, counters, [](const ScoringBuffer&) {}, player);
        if (start != TickStart::Ready) state.SkipWithError("no player");
        benchmark::DoNotOptimize(player.telemetry);
    }
    state.counters["cars"] = double(views.scoring->numVehicles);
}

void BM_TickRead_GameWithLock(benchmark::State& state) {
    readThrough(state, true, true);
}
void BM_TickRead_GameWithoutLock(benchmark::State& state) {
    readThrough(state, true, false);
}
void BM_TickRead_Plugin(benchmark::State& state) {
    readThrough(state, false, false);
}

} // namespace

BENCHMARK(BM_TickRead_GameWithLock)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickRead_GameWithoutLock)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickRead_Plugin)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
