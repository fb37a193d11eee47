#include "gamerest/json_scan.h"

#include "core/game_text.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace korvane::json {

std::optional<double> parseNumber(const std::string& text, size_t at) {
    if (at >= text.size()) return std::nullopt;
    const char* start = text.c_str() + at;
    // Plain decimals go through from_chars, which rounds exactly as strtod
    // does and is much quicker; anything else (blanks, signs, hex, errors)
    // is left to strtod itself.
    if (start[0] >= '0' && start[0] <= '9' && start[1] != 'x' && start[1] != 'X') {
        double v = 0;
        std::from_chars_result r = std::from_chars(start, text.data() + text.size(), v);
        if (r.ec == std::errc()) return v;
    }
    char* end = nullptr;
    double v = std::strtod(start, &end);
    if (end == start) return std::nullopt;
    return v;
}

namespace {

// How often a byte turns up in the game's answers, roughly: structure, blanks
// and digits fill them, capital letters and letters outside ASCII are rare.
int commonness(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return 1;
    if (c >= 0x80) return 2;
    if (c >= 'a' && c <= 'z') return 3;
    if (c >= '0' && c <= '9') return 4;
    static constexpr std::string_view Structure = " \"\n\r\t,:.{}[]-";
    return Structure.find(char(c)) != std::string_view::npos ? 5 : 2;
}

} // namespace

size_t findText(const std::string& body, std::string_view needle, size_t from) {
    if (needle.empty() || needle.size() > body.size() || from > body.size())
        return body.find(needle, from);
    // memchr for the needle's rarest byte, then a compare: an answer of
    // megabytes is crossed at memchr's pace, not a byte at a time.
    size_t k = 0;
    for (size_t i = 1; i < needle.size(); ++i)
        if (commonness(static_cast<unsigned char>(needle[i])) <
            commonness(static_cast<unsigned char>(needle[k])))
            k = i;
    const char* b = body.data();
    const size_t last = body.size() - needle.size() + k; // the last place the rare byte can be
    for (size_t at = from + k; at <= last;) {
        const void* hit = std::memchr(b + at, needle[k], last - at + 1);
        if (!hit) break;
        size_t i = size_t(static_cast<const char*>(hit) - b);
        if (std::memcmp(b + i - k, needle.data(), needle.size()) == 0) return i - k;
        at = i + 1;
    }
    return npos;
}

bool keyContains(const std::string& body, size_t begin, size_t end, std::string_view needle) {
    if (needle.empty()) return true;
    if (end - begin < needle.size()) return false;
    for (size_t i = begin; i + needle.size() <= end; ++i) {
        size_t k = 0;
        while (k < needle.size() && asciiLower(body[i + k]) == needle[k]) ++k;
        if (k == needle.size()) return true;
    }
    return false;
}

size_t arrayClose(const std::string& body, size_t open) {
    int depth = 0;
    return firstOutsideStrings(body, open, body.size(), [&](size_t, char c) {
        if (c == '[') ++depth;
        return c == ']' && --depth == 0;
    });
}

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The four hex digits at `at`, or -1.
long hex4(std::string_view s, size_t at) {
    if (at + 4 > s.size()) return -1;
    long v = 0;
    for (size_t k = 0; k < 4; ++k) {
        int d = hexDigit(s[at + k]);
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

void appendUtf8(std::string& out, uint32_t c) {
    char bytes[4];
    out.append(bytes, putUtf8(bytes, c));
}

// Decodes the escape whose backslash is at `at` onto `out`; returns how many
// bytes of `s` it took (a broken escape takes its backslash alone, as text).
size_t decodeEscape(std::string_view s, size_t at, std::string& out) {
    char e = at + 1 < s.size() ? s[at + 1] : '\0';
    static constexpr std::string_view From = "\"\\/bfnrt", To = "\"\\/\b\f\n\r\t";
    if (size_t k = From.find(e); e && k != std::string_view::npos) {
        out += To[k];
        return 2;
    }
    long c = e == 'u' ? hex4(s, at + 2) : -1;
    if (c < 0) {
        out += '\\';
        return 1;
    }
    if (c >= 0xD800 && c <= 0xDBFF && at + 7 < s.size() && s[at + 6] == '\\' && s[at + 7] == 'u') {
        long low = hex4(s, at + 8);
        if (low >= 0xDC00 && low <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((uint32_t(c) - 0xD800) << 10) + (uint32_t(low) - 0xDC00));
            return 12;
        }
    }
    appendUtf8(out, c >= 0xD800 && c <= 0xDFFF ? 0xFFFD : uint32_t(c));
    return 6;
}

} // namespace

std::string decodeEscapes(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size();) {
        if (raw[i] == '\\') {
            i += decodeEscape(raw, i, out);
        } else {
            out += raw[i++];
        }
    }
    return out;
}

size_t matchString(const std::string& body, size_t from, std::string_view text) {
    size_t done = 0; // bytes of `text` matched so far
    std::string piece;
    for (size_t i = from; i < body.size();) {
        char c = body[i];
        if (c == '"') return done == text.size() ? i : npos;
        if (c != '\\') {
            if (done >= text.size() || text[done] != c) return npos;
            ++done;
            ++i;
            continue;
        }
        piece.clear();
        i +=
            decodeEscape(std::string_view(body).substr(0, std::min(body.size(), i + 12)), i, piece);
        if (text.compare(done, piece.size(), piece) != 0 || done + piece.size() > text.size())
            return npos;
        done += piece.size();
    }
    return npos;
}

namespace {

// Bytes a writer may put as an escape instead of as themselves.
bool mayBeEscaped(unsigned char c) {
    return c < 0x20 || c >= 0x80 || c == '"' || c == '\\' || c == '/';
}

} // namespace

QuotedText findQuoted(const std::string& body, std::string_view text) {
    std::string needle;
    needle.reserve(text.size() + 2);
    needle.append(1, '"').append(text).append(1, '"');
    size_t at = findText(body, needle);
    if (at != npos) return {at, at + needle.size()};
    if (std::none_of(text.begin(), text.end(),
                     [](char c) { return mayBeEscaped(static_cast<unsigned char>(c)); }))
        return {};
    // Escaped somewhere: anchor on the longest run of the text that no writer
    // escapes, then try each quote close enough before it as the opening one.
    size_t runAt = 0, runLength = 0;
    for (size_t i = 0; i < text.size();) {
        size_t j = i;
        while (j < text.size() && !mayBeEscaped(static_cast<unsigned char>(text[j]))) ++j;
        if (j - i > runLength) runAt = i, runLength = j - i;
        i = j + 1;
    }
    // An escape is at most six bytes for each byte of the text it stands for.
    // A text with no such run is anchored on its first escape's backslash,
    // which no more bytes than the text's own precede.
    std::string_view anchor = text.substr(runAt, runLength);
    size_t reach = 6 * runAt + 1;
    if (runLength == 0) {
        anchor = "\\";
        runAt = 0;
        reach = text.size() + 1;
    }
    for (size_t hit = findText(body, anchor); hit != npos; hit = findText(body, anchor, hit + 1)) {
        for (size_t q = hit > reach ? hit - reach : 0; q < hit && q + runAt < hit + 1; ++q) {
            if (body[q] != '"') continue;
            size_t close = matchString(body, q + 1, text);
            if (close != npos) return {q, close + 1};
        }
    }
    return {};
}

} // namespace korvane::json
