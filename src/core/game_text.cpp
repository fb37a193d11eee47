#include "core/game_text.h"

#include "core/format.h"

#include <cstdint>
#include <cstring>

namespace korvane {

namespace {

// Windows-1252 from 0x80 to 0x9F; 0 where the code page assigns nothing.
// Every other byte above 0x7F is the Latin-1 letter of the same number.
constexpr uint16_t Cp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

size_t fromCp1252(char* dst, const char* field, size_t n) {
    size_t out = 0;
    for (size_t i = 0; i < n; ++i) {
        auto b = static_cast<unsigned char>(field[i]);
        uint32_t c = b >= 0x80 && b < 0xA0 ? Cp1252High[b - 0x80] : b;
        if (c) out += putUtf8(dst + out, c);
    }
    return out;
}

// How many bytes a sequence starting with this byte (above 0x7F) takes; 0 for
// a byte no valid sequence starts with.
size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// Whether the bytes could start a valid sequence that the end of the field cut.
bool cutSequence(const unsigned char* p, size_t n) {
    if (n == 0 || sequenceLength(p[0]) <= n) return false;
    for (size_t k = 1; k < n; ++k)
        if ((p[k] & 0xC0) != 0x80) return false;
    return true;
}

// The UTF-8 bytes of the field, converted into `scratch` when they are not
// UTF-8 already; `text` and the returned length say where they are.
size_t utf8Form(const char* field, size_t maxBytes, char* scratch, const char*& text) {
    text = field;
    if (!field) return 0;
    size_t n = 0;
    bool ascii = true;
    while (n < maxBytes && field[n] != '\0') ascii &= static_cast<unsigned char>(field[n++]) < 0x80;
    if (ascii) return n;
    size_t valid = validUtf8Prefix(field, n);
    if (valid == n) return n;
    if (n + 1 >= maxBytes &&
        cutSequence(reinterpret_cast<const unsigned char*>(field) + valid, n - valid))
        return valid;
    text = scratch;
    return fromCp1252(scratch, field, n);
}

} // namespace

size_t putUtf8(char* dst, uint32_t c) {
    if (c < 0x80) {
        dst[0] = char(c);
        return 1;
    }
    size_t n = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    static constexpr unsigned char Lead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (size_t k = n - 1; k > 0; --k, c >>= 6) dst[k] = char(0x80 | (c & 0x3F));
    dst[0] = char(Lead[n] | c);
    return n;
}

size_t validUtf8Prefix(const char* text, size_t length) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    while (i < length) {
        unsigned char b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        size_t extra = sequenceLength(b) - 1;
        if (extra > 3 || i + extra >= length) return i;
        uint32_t c = b & (0x3F >> extra);
        for (size_t k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return i;
            c = (c << 6) | (p[i + k] & 0x3F);
        }
        static constexpr uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (c < least[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return i;
        i += extra + 1;
    }
    return i;
}

namespace {

// Room for a converted field: the buffers' fields are at most 64 bytes, and
// a longer one is converted through the heap.
struct Scratch {
    char local[3 * 64];
    std::string heap;
    char* room(size_t maxBytes) {
        if (maxBytes <= 64) return local;
        heap.resize(3 * maxBytes);
        return heap.data();
    }
};

} // namespace

std::string gameText(const char* field, size_t maxBytes) {
    Scratch scratch;
    const char* text = nullptr;
    size_t n = utf8Form(field, maxBytes, scratch.room(maxBytes), text);
    return std::string(text ? text : "", n);
}

size_t writeGameJsonText(char* dst, const char* field, size_t maxBytes) {
    Scratch scratch;
    const char* text = nullptr;
    size_t n = utf8Form(field, maxBytes, scratch.room(maxBytes), text);
    return writeJsonText(dst, text, n);
}

} // namespace korvane
