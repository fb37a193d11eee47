// The game's REST answers: a field's text between two positions.
#include "fuzz_input.h"
#include "gamerest/scanners.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string needle, body;
    korvane::fuzz::splitAtZero(data, size, needle, body);
    size_t from = needle.empty() ? 0 : uint8_t(needle[0]) % (body.size() + 2);
    size_t to = needle.size() < 2 ? body.size() : uint8_t(needle[1]) * 97 % (body.size() + 2);
    (void)korvane::findFieldText(body, from, to, needle);
    (void)korvane::findFieldText(body, 0, body.size(), "\"driverName\"");
    return 0;
}
