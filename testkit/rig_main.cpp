// korvane-rig: publishes the plugin's three mappings from a scenario file,
// frame by frame, until it is stopped. With --sections it publishes empty
// sections of the given names instead, as other plugins or the game would.
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/shm.h"
#include "scenario.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <vector>

using namespace korvane;

namespace {

int publishSections(int count, char** names) {
    const volatile bool* stop = installStopFlag();
    std::vector<OwnedMapping> sections(static_cast<size_t>(count));
    std::string err;
    bool ok = true;
    for (int i = 0; i < count && ok; ++i)
        ok = createMapping(names[i], 4096, sections[size_t(i)], err);
    if (ok) {
        std::printf("rig: publishing %d sections\n", count);
        std::fflush(stdout);
        while (!*stop) sleepMs(50);
    } else {
        std::printf("rig: %s\n", err.c_str());
    }
    for (OwnedMapping& m : sections) destroyMapping(m);
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: korvane-rig SCENARIO [--seconds N] | korvane-rig --sections NAME...\n");
        return 2;
    }
    if (std::strcmp(argv[1], "--sections") == 0) return publishSections(argc - 2, argv + 2);
    double limitSeconds = -1;
    for (int i = 2; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--seconds") == 0) limitSeconds = std::atof(argv[i + 1]);

    testkit::Scenario scenario;
    std::string err;
    if (!testkit::loadScenarioFile(argv[1], scenario, err)) {
        std::printf("rig: %s\n", err.c_str());
        return 2;
    }
    const volatile bool* stop = installStopFlag();
    OwnedMapping tel, scr, pit;
    if (!createMapping(TelemetryMappingName, sizeof(TelemetryBuffer), tel, err) ||
        !createMapping(ScoringMappingName, sizeof(ScoringBuffer), scr, err) ||
        !createMapping(PitMenuMappingName, testkit::pitInfoSize(scenario), pit, err)) {
        std::printf("rig: %s\n", err.c_str());
        destroyMapping(tel);
        destroyMapping(scr);
        destroyMapping(pit);
        return 1;
    }
    auto* telemetry = reinterpret_cast<TelemetryBuffer*>(tel.data);
    auto* scoring = reinterpret_cast<ScoringBuffer*>(scr.data);

    testkit::ScenarioPlayer player(scenario);
    uint32_t counter = 0;
    testkit::writeFrame(scenario, player.world(), counter, *telemetry, *scoring, pit.data);
    std::printf("rig: publishing %s\n", argv[1]);
    std::fflush(stdout);

    uint64_t start = tickCountMs();
    uint64_t last = start;
    while (!*stop) {
        sleepMs(50);
        uint64_t now = tickCountMs();
        player.advance(double(now - last) / 1000.0);
        last = now;
        testkit::writeFrame(scenario, player.world(), counter, *telemetry, *scoring, pit.data);
        if (limitSeconds >= 0 && double(now - start) / 1000.0 >= limitSeconds) break;
    }
    destroyMapping(tel);
    destroyMapping(scr);
    destroyMapping(pit);
    std::printf("rig: stopped\n");
    return 0;
}
