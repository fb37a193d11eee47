#include "tools/probe.h"

#include "platform/clock.h"
#include "platform/shm.h"
#include "telemetry/game_layout.h"
#include "telemetry/layout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace korvane {

namespace {

double slotValue(const uint8_t* view, size_t i) {
    double v;
    std::memcpy(&v, view + 8 * i, sizeof v);
    return v;
}

bool plausibleStart(double v) {
    if (std::isnan(v)) return false;
    return (v > 0 && v <= 1.0001) || (v > 1.0 && v <= 100.5);
}

} // namespace

void probeBegin(ProbeState& state, const uint8_t* view) {
    for (size_t i = 0; i < ProbeSlots; ++i) {
        double v = slotValue(view, i);
        state.slots[i] = SlotStats{v, v, v, v, 0, 0, 0, 0, 0, 0, plausibleStart(v)};
    }
    state.previousFuel = -1.0;
}

void probeSample(ProbeState& state, const uint8_t* view, double fuel) {
    double prev = state.previousFuel;
    double fuelFall = (prev >= 0 && fuel >= 0 && prev > fuel) ? prev - fuel : 0.0;
    for (size_t i = 0; i < ProbeSlots; ++i) {
        SlotStats& s = state.slots[i];
        if (!s.live) continue;
        double v = slotValue(view, i);
        if (std::isnan(v)) {
            s.live = false;
            continue;
        }
        double d = s.last - v;
        if (d > 1e-9) {
            s.falls += 1;
            s.fallSum += d;
        } else if (d < -1e-9) {
            s.rises += 1;
        }
        if (fuelFall > 0) {
            double f = std::max(d, 0.0);
            s.coFallSum += f * fuelFall;
            s.fallSquareSum += f * f;
            s.coSamples += 1;
        }
        s.min = std::min(s.min, v);
        s.max = std::max(s.max, v);
        s.last = v;
    }
    state.previousFuel = fuel;
}

double probeFuel(const uint8_t* fullView) {
    if (!fullView) return -1.0;
    // The first car's record; read with memcpy since the probe's offsets
    // need not be aligned.
    int32_t count;
    std::memcpy(&count, fullView + offsetof(TelemetryBuffer, numVehicles), sizeof count);
    if (count < 1) return -1.0;
    double fuel;
    std::memcpy(&fuel,
                fullView + offsetof(TelemetryBuffer, vehicles) +
                    offsetof(VehicleTelemetry, fuelLitres),
                sizeof fuel);
    return fuel;
}

std::vector<ProbeCandidate> probeCandidates(const ProbeState& state) {
    std::vector<ProbeCandidate> out;
    for (size_t i = 0; i < ProbeSlots; ++i) {
        const SlotStats& s = state.slots[i];
        double scale = s.first > 1.5 ? s.first : 1.0;
        if (!s.live || s.falls < 8) continue;
        if (!(s.max - s.min >= scale * 0.01)) continue; // moved by 1 % of its scale
        if (s.rises > s.falls / 4) continue;
        if (s.coSamples < 4 || !(s.fallSquareSum > 0)) continue;
        out.push_back({8 * i, s.coFallSum / std::sqrt(s.fallSquareSum), s});
    }
    std::stable_sort(out.begin(), out.end(), [](const ProbeCandidate& a, const ProbeCandidate& b) {
        return a.score > b.score;
    });
    return out;
}

void printProbeResults(std::ostream& out, const std::vector<ProbeCandidate>& candidates) {
    out << "\n\nbest matches (fall in step with fuel):\n"
        << "  rank  offset     first     last    used%   falls  score\n";
    for (size_t r = 0; r < candidates.size() && r < 25; ++r) {
        const ProbeCandidate& c = candidates[r];
        double used = c.stats.first > 0 ? (c.stats.first - c.stats.last) / c.stats.first * 100 : 0;
        char row[160];
        std::snprintf(row, sizeof row, "  %4zu  %7zu  %8.3f  %8.3f  %6.1f  %5d  %6.3f\n", r + 1,
                      c.offset, c.stats.first, c.stats.last, used, c.stats.falls, c.score);
        out << row;
    }
    if (candidates.empty()) {
        out << "  (no candidates \xE2\x80\x94 drive more green laps and retry)\n";
        return;
    }
    out << "\nMatch the used% column against what the game showed you.\n"
           "Virtual energy typically uses 15-25% over a stint; tire and\n"
           "brake wear use far more, so the highest-scoring row is often\n"
           "NOT the one you want. Pick the row whose used% matches, then:\n"
        << "    static size_t VE_OFFSET = " << candidates[0].offset << ";\n"
        << "Then check the live page: VE should count down each lap.\n"
        << "If it looks like tire or brake wear instead, try rank 2.\n";
}

void probeRun(const uint8_t* view, const uint8_t* fullView, int samples,
              const std::function<void()>& wait, std::ostream& out) {
    ProbeState state;
    probeBegin(state, view);
    for (int sample = 0; sample < samples; ++sample) {
        wait();
        probeSample(state, view, probeFuel(fullView));
        if (sample % 40 == 0) out << "." << std::flush;
    }
    printProbeResults(out, probeCandidates(state));
    out << std::flush;
}

int runProbe() {
    const char* name = TelemetryMappingName;
    MappedView probe = openMappingView(name, 65536);
    if (!probe.data) {
        // The game's own interface names the car's energy itself: the
        // search for its offset is a matter of the plugin's buffer alone.
        MappedView game = openMappingView(GameDataMappingName, sizeof(GameData));
        bool own = game.found;
        closeMappingView(game);
        if (own)
            std::cout << "probe: the game publishes its own shared memory (" << GameDataMappingName
                      << "), which names the car's\nvirtual energy: nothing to probe. The probe "
                         "reads "
                      << name << ",\nthe plugin's buffer.\n";
        else if (!probe.found)
            std::cout << "probe: cannot open " << name << " \xE2\x80\x94 is the game running?\n";
        else
            std::cout << "probe: cannot map " << name << "\n";
        std::cout << std::flush;
        return 0;
    }
    MappedView full = openMappingView(name, sizeof(TelemetryBuffer));

    std::cout << "probe: watching " << name << " for " << 240
              << "s. Drive green-flag laps \xE2\x80\x94 do not pit.\n"
              << std::flush;
    probeRun(
        probe.data, full.data, 960, [] { sleepMs(250); }, std::cout);
    closeMappingView(probe);
    return 0;
}

} // namespace korvane
