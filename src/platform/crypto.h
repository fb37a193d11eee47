#pragma once
// The platform's hash service.
#include <cstddef>

namespace korvane {

// SHA-256 of the bytes into out[32]; false when the hash service fails.
[[nodiscard]] bool sha256Digest(const void* data, size_t size, unsigned char out[32]);

} // namespace korvane
