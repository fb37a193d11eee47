// What recording costs: one tick of the rig's 60-car race turned into a
// chunk, with the game's three REST answers every fourth tick (a 60-car
// standings answer whose numbers move each time). Reports the file's growth
// per hour and the share of one core at two ticks a second.
#include "scenario.h"
#include "telemetry/recording.h"
#include "tools/recorder.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstring>
#include <ctime>
#include <string>

using namespace korvane;

namespace {

std::string standings(int poll) {
    std::string body = "[";
    for (int car = 0; car < 60; ++car) {
        double fraction = 0.9 - 0.001 * ((poll * 7 + car * 13) % 600);
        body += (car ? ",\n" : "\n") + std::string("  {\"slotID\": ") + std::to_string(car) +
                ", \"driverName\": \"Driver " + std::to_string(100 + car) +
                "\", \"vehicleName\": \"Falcon 963 #" + std::to_string(100 + car) +
                "\", \"carClass\": \"Hypercar\", \"position\": " +
                std::to_string((car + poll / 40) % 60 + 1) +
                ", \"lapsCompleted\": " + std::to_string(12 + poll / 50) +
                ", \"pitstops\": 1, \"inGarageStall\": false, \"fuelFraction\": " +
                std::to_string(fraction) + ", \"veFraction\": " + std::to_string(fraction - 0.05) +
                ", \"player\": false}";
    }
    return body + "\n]";
}

// A guess at the real game, which fills every field of every car on every
// frame: each 8 bytes of a telemetry slot, and a third of a scoring slot, a
// double moving smoothly with time.
void moveEveryField(testkit::FrameBuffers& frame, int cars, double t) {
    for (int car = 0; car < cars; ++car) {
        auto* tel = reinterpret_cast<uint8_t*>(&frame.telemetry->vehicles[car]);
        auto* scr = reinterpret_cast<uint8_t*>(&frame.scoring->vehicles[car]);
        for (size_t j = 0; j < sizeof(VehicleTelemetry) / 8; ++j) {
            double v = 100 * std::sin(t * 0.3 + car + double(j));
            std::memcpy(tel + 8 * j, &v, 8);
        }
        for (size_t j = 0; j < sizeof(VehicleScoring) / 24; ++j) {
            double v = 1000 * std::cos(t * 0.1 + car + double(j));
            std::memcpy(scr + 24 * j, &v, 8);
        }
    }
}

void BM_RecordTick60Cars(benchmark::State& state) {
    testkit::Scenario sc;
    std::string err;
    if (!testkit::loadScenarioFile(KORVANE_SCENARIO_DIR "/race60", sc, err)) {
        state.SkipWithError(err.c_str());
        return;
    }
    testkit::ScenarioPlayer player(sc);
    testkit::FrameBuffers frame;
    SharedViews views;
    frame.showIn(views);
    RecordingEncoder encoder;
    uint64_t bytes = 0, ticks = 0;
    std::clock_t cpu = std::clock();
    for (auto _ : state) {
        player.advance(0.5);
        frame.publish(sc, player.world());
        if (state.range(0)) moveEveryField(frame, frame.telemetry->numVehicles, double(ticks) / 2);
        RecordedTick tick;
        tick.ms = uint32_t(ticks * 500);
        captureBuffers(views, tick);
        if (ticks % 4 == 0) {
            int poll = int(ticks / 4);
            tick.answers = {{"/rest/garage/UIScreen/RepairAndRefuel", 200,
                             "{\"fuelInfo\": {\"currentVirtualEnergy\": " +
                                 std::to_string(3000 - poll) + ", \"maxVirtualEnergy\": 4000}}"},
                            {"/rest/strategy/usage", 200, "{\"usage\": []}"},
                            {"/rest/watch/standings", 200, standings(poll)}};
        }
        std::string chunk = encoder.encode(tick);
        encoder.commit(tick);
        bytes += chunk.size();
        ticks += 1;
    }
    state.counters["MB_per_hour"] = double(bytes) / double(ticks) * 7200 / 1e6;
    // CPU time over the ticks' half seconds, in percent.
    double seconds = double(std::clock() - cpu) / CLOCKS_PER_SEC;
    state.counters["core_percent"] = seconds / (double(ticks) * 0.5) * 100;
}
// Ten minutes of racing: the rig's frames, then every field moving.
BENCHMARK(BM_RecordTick60Cars)->Unit(benchmark::kMicrosecond)->Iterations(1200)->Arg(0)->Arg(1);

} // namespace

BENCHMARK_MAIN();
