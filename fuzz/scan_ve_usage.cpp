// The game's strategy answer: the player's energy use per lap.
#include "fuzz_input.h"
#include "gamerest/scanners.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string player, body;
    korvane::fuzz::splitAtZero(data, size, player, body);
    std::optional<double> perLap = korvane::scanVeUsage(body, player);
    if (perLap && !std::isfinite(*perLap)) std::abort();
    return 0;
}
