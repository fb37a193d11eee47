// The game's strategy answer: the player's energy use per lap, and the
// search beneath every scan, against the standard library's.
#include "fuzz_input.h"
#include "gamerest/json_scan.h"
#include "gamerest/scanners.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string player, body;
    korvane::fuzz::splitAtZero(data, size, player, body);
    std::optional<double> perLap = korvane::scanVeUsage(body, player);
    if (perLap && !std::isfinite(*perLap)) std::abort();
    std::optional<double> shared = korvane::scanUsage(body, player).vePerLap;
    if (bool(shared) != bool(perLap) || (perLap && *shared != *perLap)) std::abort();
    for (size_t from : {size_t(0), size / 3, size})
        if (korvane::json::findText(body, player, from) != body.find(player, from)) std::abort();
    return 0;
}
