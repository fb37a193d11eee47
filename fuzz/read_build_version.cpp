// A downloaded build's bytes, read for the version it carries: offsets and
// sizes all come from the file, so none of them may lead outside it.
#include "update/build_file.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string version = korvane::readBuildVersion(bytes);
    if (version.size() > 32) std::abort();
    for (char c : version)
        if ((c < '0' || c > '9') && c != '.') std::abort();
    return 0;
}
