// A downloaded manifest: one field's text by key.
#include "fuzz_input.h"
#include "update/manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string key, text;
    korvane::fuzz::splitAtZero(data, size, key, text);
    (void)korvane::manifestField(text, key);
    for (const char* k : {"version", "url", "sha256", "notes"})
        (void)korvane::manifestField(text, k);
    return 0;
}
