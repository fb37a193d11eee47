#pragma once
// Name fields in the game's buffers (track, driver, vehicle, class, compound,
// the pit menu's category) are bytes.
// A game build that writes UTF-8 gives UTF-8; one that writes its 8-bit
// Windows code page gives Windows-1252, so "Müller" arrives as 4D FC 6C 6C 65
// 72. Everything the program shows, posts or compares holds the UTF-8 form.
#include <cstddef>
#include <cstdint>
#include <string>

namespace korvane {

// The UTF-8 form of a fixed-size name field: its bytes up to the first zero
// (at most maxBytes). Valid UTF-8 is taken as it is; anything else is read as
// Windows-1252 (its five unassigned bytes dropped). A field filled to its end
// whose only fault is a UTF-8 letter cut at the end counts as UTF-8 without
// that letter: the game cut a long UTF-8 name to fit.
std::string gameText(const char* field, size_t maxBytes);

// The same, as the body of a JSON string (escaped as writeJsonText escapes),
// written to `dst`, which must hold gameJsonTextBytes(maxBytes) bytes; returns
// the number of bytes written. No allocation.
constexpr size_t gameJsonTextBytes(size_t maxBytes) {
    return 3 * maxBytes;
}
size_t writeGameJsonText(char* dst, const char* field, size_t maxBytes);

// The length of the longest prefix of `text` that is valid UTF-8 (no overlong
// forms, no surrogates, nothing above U+10FFFF).
size_t validUtf8Prefix(const char* text, size_t length);

// Writes the code point (at most U+10FFFF) as UTF-8; returns its length, 1 to 4.
size_t putUtf8(char* dst, uint32_t codePoint);

} // namespace korvane
