// The game's strategy answer: the player's four tyre wear values.
#include "fuzz_input.h"
#include "gamerest/scanners.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string player, body;
    korvane::fuzz::splitAtZero(data, size, player, body);
    (void)korvane::scanTyreWear(body, player);
    return 0;
}
