#include "feed/format.h"

#include <cmath>
#include <cstdio>

namespace korvane {

double finiteOrZero(double x) {
    if (std::isnan(x) || x > 1e300 || x < -1e300) return 0.0;
    return x;
}

std::string sanitizeJsonText(const char* field, size_t maxBytes) {
    std::string out;
    if (!field) return out;
    auto at = [&](size_t i) -> unsigned char {
        return i < maxBytes ? static_cast<unsigned char>(field[i]) : 0;
    };
    auto continuation = [](unsigned char b) { return (b & 0xC0) == 0x80; };
    for (size_t i = 0; i < maxBytes; ++i) {
        unsigned char b = static_cast<unsigned char>(field[i]);
        if (b == 0) break;
        if (b == '"' || b == '\\') {
            out += '\\';
            out += char(b);
        } else if (b == '\t') {
            out += ' ';
        } else if (b < 0x20 || b == 0x7F) {
            continue;
        } else if (b < 0x80) {
            out += char(b);
        } else {
            // Only look ahead at bytes inside the field; a byte at maxBytes or
            // beyond counts as 0, so a cut sequence is dropped.
            unsigned char b1 = at(i + 1);
            unsigned char b2 = b1 ? at(i + 2) : 0;
            if (b >= 0xC2 && b <= 0xDF && continuation(b1)) {
                out += char(b);
                out += char(b1);
                i += 1;
            } else if (b >= 0xE0 && b <= 0xEF && continuation(b1) && continuation(b2)) {
                out += char(b);
                out += char(b1);
                out += char(b2);
                i += 2;
            }
        }
    }
    return out;
}

void neutralizeNonFinite(std::string& doc) {
    static const char* const tokens[] = {"nan", "-nan", "inf", "-inf", "NaN", "Infinity",
                                         "-Infinity"};
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

std::string fixed(double value, int decimals) {
    char buf[512];
    int n = std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    if (n < 0) return "0";
    if (size_t(n) < sizeof buf) return std::string(buf, size_t(n));
    std::string big(size_t(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), "%.*f", decimals, value);
    big.resize(size_t(n));
    return big;
}

} // namespace korvane
