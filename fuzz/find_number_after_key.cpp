// The game's REST answers: a number after a key, from any start. Whatever
// shortcut the reader takes for plain decimals, the value after the colon
// is the one strtod reads, bit for bit.
#include "fuzz_input.h"
#include "gamerest/scanners.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string key, text;
    korvane::fuzz::splitAtZero(data, size, key, text);
    size_t from = key.empty() ? 0 : uint8_t(key[0]) % (text.size() + 2);
    (void)korvane::findNumberAfterKey(text, from, key);

    std::optional<double> read = korvane::findNumberAfterKey("\"k\":" + text, 0, "k");
    size_t p = 0;
    while (p < text.size() &&
           (text[p] == ' ' || text[p] == '\t' || text[p] == '\n' || text[p] == '\r'))
        ++p;
    char* end = nullptr;
    double expected = p < text.size() ? std::strtod(text.c_str() + p, &end) : 0;
    if (p >= text.size() || end == text.c_str() + p) {
        if (read) std::abort();
    } else if (!read || (std::isnan(expected) ? !std::isnan(*read)
                                              : std::memcmp(&*read, &expected, sizeof expected))) {
        std::abort();
    }
    return 0;
}
