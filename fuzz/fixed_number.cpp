// The documents' fixed-point numbers: the same text as the C library's
// "%.*f" for every double. The first byte picks 0 to 6 decimals; eight more
// bytes are a double's bits, anything else is read as a decimal text, so
// the seeds can hold ties and near-ties as they are written.
#include "core/format.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    int decimals = data[0] % 7;
    double value;
    if (size == 9) {
        std::memcpy(&value, data + 1, sizeof value);
    } else {
        std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
        value = std::strtod(text.c_str(), nullptr);
    }
    char expected[korvane::FixedBufferSize];
    std::snprintf(expected, sizeof expected, "%.*f", decimals, value);
    if (korvane::fixed(value, decimals) != expected) {
        std::fprintf(stderr, "%.17g with %d decimals: %s, not %s\n", value, decimals,
                     korvane::fixed(value, decimals).c_str(), expected);
        std::abort();
    }
    return 0;
}
