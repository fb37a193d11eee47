// A download URL from a manifest: host and path, https only.
#include "update/manifest.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string url(reinterpret_cast<const char*>(data), size);
    std::wstring host, path;
    if (korvane::splitHttpsUrl(url, host, path) &&
        (host.empty() || path.empty() || path[0] != L'/'))
        std::abort();
    return 0;
}
