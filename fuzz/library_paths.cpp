// Steam's libraryfolders.vdf: the library folders it names.
#include "setup/discovery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    (void)korvane::libraryPaths(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
