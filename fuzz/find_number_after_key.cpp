// The game's REST answers: a number after a key, from any start.
#include "fuzz_input.h"
#include "gamerest/scanners.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string key, body;
    korvane::fuzz::splitAtZero(data, size, key, body);
    size_t from = key.empty() ? 0 : uint8_t(key[0]) % (body.size() + 2);
    (void)korvane::findNumberAfterKey(body, from, key);
    (void)korvane::findNumberAfterKey(body, 0, "currentVirtualEnergy");
    return 0;
}
