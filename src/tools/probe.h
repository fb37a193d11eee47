#pragma once
// --probe: finds 8-byte slots in the telemetry buffer that fall lap by lap in
// step with fuel, such as a virtual-energy level the layout does not name.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <vector>

namespace korvane {

inline constexpr size_t ProbeSlots = 8192; // the first 64 KiB, as doubles

struct SlotStats {
    double first, last, min, max;
    double fallSum, coFallSum, fallSquareSum;
    int32_t falls, rises, coSamples;
    bool live;
};

struct ProbeState {
    std::unique_ptr<SlotStats[]> slots = std::make_unique<SlotStats[]>(ProbeSlots);
    double previousFuel = -1.0;
};

struct ProbeCandidate {
    size_t offset;
    double score;
    SlotStats stats;
};

// Starts every slot from the view's current values (65,536 bytes).
void probeBegin(ProbeState& state, const uint8_t* view);

// One sample of every live slot; allocates nothing.
void probeSample(ProbeState& state, const uint8_t* view, double fuel);

// The first car's fuel from a full telemetry view, -1 when unknown.
double probeFuel(const uint8_t* fullView);

// Slots that pass the final tests, best score first.
std::vector<ProbeCandidate> probeCandidates(const ProbeState& state);

void printProbeResults(std::ostream& out, const std::vector<ProbeCandidate>& candidates);

// The sampling run: begins from `view` (65,536 bytes), then `samples` times
// calls `wait` and takes a sample, with a dot every 40 samples; the results
// follow.
void probeRun(const uint8_t* view, const uint8_t* fullView, int samples,
              const std::function<void()>& wait, std::ostream& out);

// The tool: 960 samples, one every 250 ms. Returns the exit code.
int runProbe();

} // namespace korvane
