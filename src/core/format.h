#pragma once
// Guards that keep the live document valid JSON whatever the game sends.
#include <cstddef>
#include <string>

namespace korvane {

// 0 for NaN and for values beyond +-1e300; the value itself otherwise.
double finiteOrZero(double x);

// A whole number from a double, truncated toward zero; 0 for a value that has
// no integer form (NaN, infinities, beyond the range of long long), where a
// plain cast would be undefined.
long long truncatedOrZero(double v);

// The body of a JSON string from a fixed-size byte field: reads at most
// maxBytes bytes, stops at a zero byte, escapes quotes and backslashes, turns
// tabs into spaces, drops other control characters (C0, DEL, C1) and any byte
// that does not start a complete two- or three-byte UTF-8 sequence.
std::string sanitizeJsonText(const char* field, size_t maxBytes);
// The same, written to `dst`, which must hold 2 * maxBytes bytes; returns the
// number of bytes written.
size_t writeJsonText(char* dst, const char* field, size_t maxBytes);

// Replaces non-finite number tokens (nan, inf and their spellings) that follow
// ',', ':' or '[' with 0, in place.
void neutralizeNonFinite(std::string& document);

// Fixed-point forms, as the C library's "%.Nf" writes them (correctly
// rounded, "-0.00" for small negatives, "nan"/"inf" for non-finite values).
std::string fixed(double value, int decimals);
// The same into `dst` (at least FixedBufferSize bytes); returns the length.
inline constexpr size_t FixedBufferSize = 400;
size_t writeFixed(char* dst, double value, int decimals);

} // namespace korvane
