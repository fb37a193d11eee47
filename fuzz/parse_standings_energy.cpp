// The game's standings answer: every car's energy by driver name.
#include "gamerest/scanners.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string body(reinterpret_cast<const char*>(data), size);
    std::optional<korvane::StandingsEnergy> found = korvane::parseStandingsEnergy(body);
    if (found)
        for (const auto& [name, percent] : found->energyByDriver)
            if (!std::isfinite(percent)) std::abort();
    return 0;
}
