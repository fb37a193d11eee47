#include "core/format.h"

#include "core/build_info.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace korvane {

double finiteOrZero(double x) {
    if (std::isnan(x) || x > 1e300 || x < -1e300) return 0.0;
    return x;
}

long long truncatedOrZero(double v) {
    if (!std::isfinite(v) || v >= 9.2e18 || v <= -9.2e18) return 0;
    return static_cast<long long>(v);
}

size_t writeJsonText(char* dst, const char* field, size_t maxBytes) {
    char* out = dst;
    if (!field) return 0;
    auto at = [&](size_t i) -> unsigned char {
        return i < maxBytes ? static_cast<unsigned char>(field[i]) : 0;
    };
    auto continuation = [](unsigned char b) { return (b & 0xC0) == 0x80; };
    for (size_t i = 0; i < maxBytes; ++i) {
        unsigned char b = static_cast<unsigned char>(field[i]);
        if (b == 0) break;
        if (b >= 0x20 && b < 0x7F) {
            if (b == '"' || b == '\\') *out++ = '\\';
            *out++ = char(b);
        } else if (b == '\t') {
            *out++ = ' ';
        } else if (b < 0x80) {
            continue; // other control bytes and DEL
        } else {
            // Only look ahead at bytes inside the field; a byte at maxBytes or
            // beyond counts as 0, so a cut sequence is dropped.
            unsigned char b1 = at(i + 1);
            unsigned char b2 = b1 ? at(i + 2) : 0;
            if (b >= 0xC2 && b <= 0xDF && continuation(b1)) {
                i += 1;
                // U+0080 to U+009F are control characters, dropped as the
                // ones below 0x20 are: whoever prints the document (or the
                // log that holds it) must not meet a terminal command.
                if (b == 0xC2 && b1 < 0xA0) continue;
                *out++ = char(b);
                *out++ = char(b1);
            } else if (b >= 0xE0 && b <= 0xEF && continuation(b1) && continuation(b2)) {
                *out++ = char(b);
                *out++ = char(b1);
                *out++ = char(b2);
                i += 2;
            }
        }
    }
    return size_t(out - dst);
}

std::string sanitizeJsonText(const char* field, size_t maxBytes) {
    std::string out(2 * maxBytes, '\0');
    out.resize(writeJsonText(out.data(), field, maxBytes));
    return out;
}

void neutralizeNonFinite(std::string& doc) {
    static const char* const tokens[] = {"nan", "-nan",     "inf",      "-inf",
                                         "NaN", "Infinity", "-Infinity"};
    for (const char* token : tokens) {
        // One pass per token, copying into a fresh text. A replaced token is
        // never followed by ',', ':' or '[' from inside itself, so checking the
        // byte before each match in the original text gives the same result as
        // checking it in the text rewritten so far.
        const std::string t(token);
        std::string out;
        out.reserve(doc.size());
        size_t from = 0;
        size_t p = doc.find(t);
        while (p != std::string::npos) {
            char before = p > 0 ? doc[p - 1] : '\0';
            if (p > 0 && (before == ',' || before == ':' || before == '[')) {
                out.append(doc, from, p - from);
                out += '0';
                from = p + t.size();
            }
            p = doc.find(t, p + t.size());
        }
        if (from == 0) continue;
        out.append(doc, from, std::string::npos);
        doc.swap(out);
    }
}

namespace {

// The fixed form of ordinary values (|v| < 1e12, up to 6 decimals) from the
// exact binary value: v = m * 2^e, so v * 10^d = m * 10^d * 2^e, which fits in
// 128 bits and is rounded half-to-even exactly as printf rounds it.
size_t writeFixedExact(char* dst, double v, int d) {
    static const uint64_t pow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
    if (d < 0 || d > 6 || !(std::fabs(v) < 1e12)) return 0;
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    bool negative = bits >> 63;
    int biased = int((bits >> 52) & 0x7FF);
    uint64_t m = bits & ((uint64_t(1) << 52) - 1);
    int e;
    if (biased == 0) {
        e = -1074; // subnormal
    } else {
        m |= uint64_t(1) << 52;
        e = biased - 1075;
    }
    unsigned __int128 n = (unsigned __int128)m * pow10[d];
    uint64_t q;
    if (e >= 0) {
        q = uint64_t(n << e); // |v| < 1e12: the result stays below 2^63
    } else if (-e >= 127) {
        q = 0; // far below half a unit of the last decimal
    } else {
        unsigned shift = unsigned(-e);
        unsigned __int128 one = 1;
        q = uint64_t(n >> shift);
        unsigned __int128 rem = n & ((one << shift) - 1);
        unsigned __int128 half = one << (shift - 1);
        if (rem > half || (rem == half && (q & 1))) ++q;
    }
    uint64_t whole = q / pow10[d];
    uint64_t frac = q % pow10[d];
    char buf[40];
    char* p = buf + sizeof buf;
    for (int i = 0; i < d; ++i) {
        *--p = char('0' + frac % 10);
        frac /= 10;
    }
    if (d > 0) *--p = '.';
    do {
        *--p = char('0' + whole % 10);
        whole /= 10;
    } while (whole);
    if (negative) *--p = '-';
    size_t len = size_t(buf + sizeof buf - p);
    std::memcpy(dst, p, len);
    return len;
}

size_t copyText(char* dst, const char* text) {
    size_t n = std::strlen(text);
    std::memcpy(dst, text, n);
    return n;
}

} // namespace

size_t writeFixed(char* dst, double value, int decimals) {
    if (std::isnan(value)) return copyText(dst, std::signbit(value) ? "-nan" : "nan");
    if (std::isinf(value)) return copyText(dst, value < 0 ? "-inf" : "inf");
    if (size_t n = writeFixedExact(dst, value, decimals)) return n;
    // to_chars with a precision is specified to match printf's "%.*f" in the
    // C locale. The largest double takes about 320 characters.
    auto r = std::to_chars(dst, dst + FixedBufferSize, value, std::chars_format::fixed, decimals);
    if (r.ec == std::errc()) return size_t(r.ptr - dst);
    return copyText(dst, "0");
}

std::string fixed(double value, int decimals) {
    char buf[FixedBufferSize];
    return std::string(buf, writeFixed(buf, value, decimals));
}

std::string deadlineText(int ms) {
    if (ms % 60000 == 0) return std::to_string(ms / 60000) + (ms == 60000 ? " minute" : " minutes");
    return std::to_string(ms / 1000) + " s";
}

} // namespace korvane
