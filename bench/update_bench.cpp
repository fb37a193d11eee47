// Digest speed over a download of the size a program build can reach.
#include "update/download.h"

#include <benchmark/benchmark.h>
#include <string>

using namespace korvane;

static void BM_Sha256Hex50MB(benchmark::State& state) {
    std::string body(50u << 20, '\0');
    for (size_t i = 0; i < body.size(); ++i) body[i] = char(i * 2654435761u >> 24);
    for (auto _ : state) benchmark::DoNotOptimize(sha256Hex(body));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(body.size()));
}
BENCHMARK(BM_Sha256Hex50MB)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
