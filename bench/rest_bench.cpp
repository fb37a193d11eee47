// Speed of the REST scanners over answers of 64 KB and over a whole poll's
// answers late in a day's race on a full grid, and of one probe sample over
// every slot.
#include "core/snapshot.h"
#include "gamerest/scanners.h"
#include "race_answers.h"
#include "tools/probe.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <string>
#include <vector>

using namespace korvane;

namespace {

// A standings answer of ~64 KB in the game's shape: many car objects with
// the usual members, the energy as "veFraction".
std::string standingsBody() {
    std::string body = "[";
    for (int i = 0; body.size() < 65536; ++i) {
        body += (i ? ",{" : "{") + std::string("\"slotID\":") + std::to_string(i) +
                ",\"driverName\":\"Driver " + std::to_string(i) +
                "\",\"vehicleName\":\"Prototype #" + std::to_string(i) +
                "\",\"carClass\":\"Hypercar\",\"position\":" + std::to_string(i + 1) +
                ",\"lapTimes\":[210.1,209.8,211.0],\"fuelFraction\":0.61,"
                "\"veFraction\":0.675,\"player\":false}";
    }
    return body + "]";
}

// A usage answer of ~64 KB in the game's shape (every record's tyres before
// its ve) whose player section comes last.
std::string usageBody() {
    auto record = [](int lap, double ve) {
        return "{\"fuel\":0.9,\"lap\":" + std::to_string(lap) +
               ",\"pit\":false,\"stint\":1,\"tyres\":[97.5,97.0,98.0,98.5],\"ve\":" +
               std::to_string(ve) + "}";
    };
    std::string body = "{";
    for (int d = 0; body.size() < 60000; ++d) {
        body += "\"Driver " + std::to_string(d) + "\":[";
        for (int lap = 0; lap < 20; ++lap) {
            if (lap) body += ',';
            body += record(lap, 0.9);
        }
        body += "],";
    }
    body += "\"Alex Korva\":[";
    for (int lap = 0; lap < 40; ++lap) {
        if (lap) body += ',';
        body += record(lap, 0.99 - 0.02 * lap);
    }
    return body + "]}";
}

void BM_ParseStandingsEnergy(benchmark::State& state) {
    std::string body = standingsBody();
    for (auto _ : state) benchmark::DoNotOptimize(parseStandingsEnergy(body));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(body.size()));
}
BENCHMARK(BM_ParseStandingsEnergy)->Unit(benchmark::kMicrosecond);

void BM_ScanVeUsage(benchmark::State& state) {
    std::string body = usageBody();
    for (auto _ : state) benchmark::DoNotOptimize(scanVeUsage(body, "Alex Korva"));
}
BENCHMARK(BM_ScanVeUsage)->Unit(benchmark::kMicrosecond);

void BM_ScanTyreWear(benchmark::State& state) {
    std::string body = usageBody();
    for (auto _ : state) benchmark::DoNotOptimize(scanTyreWear(body, "Alex Korva"));
}
BENCHMARK(BM_ScanTyreWear)->Unit(benchmark::kMicrosecond);

// Every scan of one poll (refuel screen, usage, standings) at the end of a
// 24-hour race on a 62-car grid: the usage answer holds every driver's
// record of some 410 laps (about 4.9 MB), the player's name among them
// written with escapes, in the middle; the standings hold 62 cars of the
// game's element shape (about 118 KB).
// The grid62 scenario late in a 24-hour race; false (the benchmark skipped)
// when the scenario cannot be read.
bool lateRace(benchmark::State& state, testkit::Scenario& sc) {
    std::string err;
    if (!testkit::loadScenarioFile(KORVANE_SCENARIO_DIR "/grid62", sc, err)) {
        state.SkipWithError(err.c_str());
        return false;
    }
    sc.historyLaps = 24 * 3600 / 210;
    return true;
}

void BM_PollScans24h62Cars(benchmark::State& state) {
    testkit::Scenario sc;
    if (!lateRace(state, sc)) return;
    testkit::ScenarioPlayer player(sc);
    testkit::RaceHistory race = testkit::raceHistory(sc, player.world());
    std::string usage = testkit::usageAnswer(race);
    std::string standings = testkit::standingsAnswer(sc, player.world(), race);
    std::string refuel = "{\"fuelInfo\":{\"currentVirtualEnergy\":574425000.0,"
                         "\"maxVirtualEnergy\":900000000.0}}";
    const std::string& name = race.drivers[race.player].name;
    for (auto _ : state) {
        size_t p = refuel.find("\"fuelInfo\"");
        benchmark::DoNotOptimize(findNumberAfterKey(refuel, p, "currentVirtualEnergy"));
        benchmark::DoNotOptimize(findNumberAfterKey(refuel, p, "maxVirtualEnergy"));
        benchmark::DoNotOptimize(scanUsage(usage, name));
        benchmark::DoNotOptimize(parseStandingsEnergy(standings));
    }
    state.counters["usage_MB"] = double(usage.size()) / 1e6;
    state.counters["standings_KB"] = double(standings.size()) / 1e3;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(usage.size() + standings.size()));
}
BENCHMARK(BM_PollScans24h62Cars)->Unit(benchmark::kMillisecond);

// The usage scan of the same late-race answer whatever the player is called
// and however the game wrote the name: Latin with escaped letters, Cyrillic
// escaped or raw, what HTML-safe writers escape, or a name the answer lacks.
void BM_UsageScanAnyName(benchmark::State& state) {
    struct Form {
        const char* label;
        std::string name;
        std::string written; // empty: the name is not in the answer
    };
    const std::string cyrillic = "\xD0\x90\xD0\xBB\xD0\xB5\xD0\xBA\xD1\x81\xD0\xB5\xD0\xB9 "
                                 "\xD0\xA1\xD0\xBC\xD0\xB8\xD1\x80\xD0\xBD\xD0\xBE\xD0\xB2";
    const Form forms[] = {
        {"latin_escaped", "J\xC3\xB6rg M\xC3\xBCller",
         testkit::jsonName("J\xC3\xB6rg M\xC3\xBCller", true)},
        {"cyrillic_escaped", cyrillic, testkit::jsonName(cyrillic, true)},
        {"cyrillic_raw", cyrillic, cyrillic},
        {"html_escaped", "O'Brien & <Co>", "O\\u0027Brien \\u0026 \\u003cCo\\u003e"},
        {"accented_absent", "Zo\xC3\xAB Absent", ""},
    };
    const Form& form = forms[state.range(0)];
    testkit::Scenario sc;
    if (!lateRace(state, sc)) return;
    testkit::ScenarioPlayer player(sc);
    testkit::RaceHistory race = testkit::raceHistory(sc, player.world());
    std::string usage = testkit::usageAnswer(race);
    size_t p = race.player;
    auto quoted = [](const std::string& text) {
        std::string out(1, '"');
        out += text;
        out += '"';
        return out;
    };
    std::string key = quoted(testkit::jsonName(race.drivers[p].name, p % 2 == 0));
    size_t at = usage.find(key);
    if (at == std::string::npos) {
        state.SkipWithError("the player's key is not in the answer");
        return;
    }
    if (!form.written.empty()) usage.replace(at, key.size(), quoted(form.written));
    for (auto _ : state) benchmark::DoNotOptimize(scanUsage(usage, form.name));
    state.SetLabel(form.label);
    state.counters["usage_MB"] = double(usage.size()) / 1e6;
}
BENCHMARK(BM_UsageScanAnyName)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

void BM_FindNumberAfterKey(benchmark::State& state) {
    std::string body(65536 - 64, ' ');
    body += "\"fuelInfo\":{\"currentVirtualEnergy\":574425000.0}";
    for (auto _ : state)
        benchmark::DoNotOptimize(findNumberAfterKey(body, 0, "currentVirtualEnergy"));
}
BENCHMARK(BM_FindNumberAfterKey)->Unit(benchmark::kMicrosecond);

void BM_FindFieldText(benchmark::State& state) {
    std::string body = standingsBody();
    size_t end = body.rfind('}');
    size_t start = body.rfind('{', end);
    for (auto _ : state) benchmark::DoNotOptimize(findFieldText(body, start, end + 1, "energy"));
}
BENCHMARK(BM_FindFieldText)->Unit(benchmark::kMicrosecond);

void BM_ProbeSample(benchmark::State& state) {
    std::vector<uint8_t> view(65536);
    for (size_t i = 0; i < ProbeSlots; ++i) {
        double v = 0.5 + double(i % 100) / 1000.0; // every slot starts live
        std::memcpy(view.data() + 8 * i, &v, 8);
    }
    ProbeState probe;
    probeBegin(probe, view.data());
    double fuel = 80;
    for (auto _ : state) {
        fuel -= 0.001;
        probeSample(probe, view.data(), fuel);
    }
}
BENCHMARK(BM_ProbeSample)->Unit(benchmark::kMicrosecond);

} // namespace

// A full field's lookups in one tick when the names differ from the
// standings' only after a '#': the lock the poller needs is held for each.
void BM_RivalEnergyForOneTick(benchmark::State& state) {
    RestSnapshot snapshot;
    std::map<std::string, double> energy;
    std::vector<std::string> names;
    for (int i = 0; i < 60; ++i) {
        std::string driver = "Driver Number " + std::to_string(i);
        energy[driver + "#1"] = i;
        names.push_back(driver + "#2");
    }
    publishRivalEnergy(snapshot, energy, "ve");
    for (auto _ : state)
        for (const std::string& name : names)
            benchmark::DoNotOptimize(rivalEnergyFor(snapshot, name.c_str()));
}
BENCHMARK(BM_RivalEnergyForOneTick)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
