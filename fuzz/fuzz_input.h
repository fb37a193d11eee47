#pragma once
// Input helpers shared by the fuzz targets.
#include <cstddef>
#include <cstdint>
#include <string>

namespace korvane::fuzz {

// The input split at its first zero byte: the part before it (a name, a key)
// and the part after (the body). Without a zero byte the first part is empty.
inline void splitAtZero(const uint8_t* data, size_t size, std::string& first, std::string& rest) {
    std::string all(reinterpret_cast<const char*>(data), size);
    size_t zero = all.find('\0');
    if (zero == std::string::npos) {
        first.clear();
        rest = all;
    } else {
        first = all.substr(0, zero);
        rest = all.substr(zero + 1);
    }
}

} // namespace korvane::fuzz
