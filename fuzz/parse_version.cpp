// A version text from a manifest, and the comparison the update check makes.
#include "fuzz_input.h"
#include "update/manifest.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string a, b;
    korvane::fuzz::splitAtZero(data, size, a, b);
    (void)korvane::parseVersion(b);
    // No version is newer than itself.
    if (korvane::isNewerVersion(b, b)) std::abort();
    (void)korvane::isNewerVersion(a, b);
    return 0;
}
