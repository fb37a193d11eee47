// Speed of the per-tick work that the live feed adds: building the document
// for full and typical fields, and one POST to the local test service.
#include "feed/live_payload.h"
#include "feed/poster.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <memory>

using namespace korvane;

namespace {

struct Field {
    std::unique_ptr<ScoringBuffer> scoring = std::make_unique<ScoringBuffer>();
    std::unique_ptr<TelemetryBuffer> telemetry = std::make_unique<TelemetryBuffer>();
    StintState st;
    TickSample t;
    std::string room = "BENCH-ROOM";

    explicit Field(int cars) {
        std::strcpy(scoring->trackName, "Circuit de la Sarthe");
        scoring->sessionType = 10;
        scoring->currentEt = 3600;
        scoring->endEt = 86400;
        scoring->gamePhase = 5;
        scoring->inRealtime = 1;
        scoring->numVehicles = cars;
        for (int i = 0; i < cars; ++i) {
            VehicleScoring& v = scoring->vehicles[i];
            v.id = i + 1;
            std::snprintf(v.driverName, sizeof v.driverName, "Driver Number %d", i + 1);
            std::snprintf(v.vehicleName, sizeof v.vehicleName, "Prototype Racer #%d", i + 1);
            std::strcpy(v.className, "Hypercar"); // every car listed: the worst case
            v.place = uint8_t(i + 1);
            v.timeBehindLeader = i * 1.7;
            v.lastLapSeconds = 210.123;
            v.bestLapSeconds = 208.456;
            v.fuelFraction = uint8_t(100 + i);
            v.control = 1;
        }
        scoring->vehicles[2].isPlayer = 1;
        VehicleTelemetry& p = telemetry->vehicles[0];
        p.id = 3;
        std::strcpy(p.vehicleName, "Korvane 499P #3");
        std::strcpy(p.frontCompound, "Medium");
        std::strcpy(p.rearCompound, "Medium");
        t.energyPercent = 55.5;
        t.energySource = EnergySource::Rest;
        t.fuel = 41.5;
        t.capacity = 100;
        t.wearPercent = {91, 92, 93, 94};
        st.fuelWindow.add(3.2);
        st.fuelAverage = 3.2;
    }
    std::string build() const {
        LivePayloadInput in;
        in.roomCode = &room;
        in.timestamp = 1796140800;
        in.scoring = scoring.get();
        in.player = &scoring->vehicles[2];
        in.telemetry = &telemetry->vehicles[0];
        in.stint = &st;
        in.sample = &t;
        in.restVePerLap = 3.5;
        in.rivalEnergy = [](const char*) { return 50.0; };
        return buildLivePayload(in);
    }
};

void BM_BuildLivePayload(benchmark::State& state) {
    Field field(int(state.range(0)));
    size_t bytes = 0;
    for (auto _ : state) {
        std::string doc = field.build();
        bytes = doc.size();
        benchmark::DoNotOptimize(doc);
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_BuildLivePayload)->Arg(20)->Arg(128)->Unit(benchmark::kMicrosecond);

// Needs the test service reachable under the service host name; ./dev bench
// runs this in private namespaces where it is.
void BM_PostLiveRoundTrip(benchmark::State& state) {
    if (!std::getenv("KORVANE_BENCH_SERVICE")) {
        state.SkipWithError("run through ./dev bench (needs the local test service)");
        return;
    }
    std::string doc = Field(20).build();
    for (auto _ : state) {
        if (!postLive(doc)) {
            state.SkipWithError(lastPostError().c_str());
            break;
        }
    }
}
BENCHMARK(BM_PostLiveRoundTrip)->Unit(benchmark::kMillisecond)->Iterations(1000);

} // namespace

BENCHMARK_MAIN();
