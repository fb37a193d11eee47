#pragma once
// The pieces the answer scanners share: byte searches, numbers as strtod reads
// them, JSON string escapes, and the walk over one object's members. None of
// them builds a tree or copies a body.
#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace korvane::json {

inline constexpr size_t npos = std::string::npos;

// strtod at `at` (C locale); the body's terminating zero stops it at the end.
std::optional<double> parseNumber(const std::string& text, size_t at);

// The first occurrence of `needle` at or after `from`; npos when none.
size_t findText(const std::string& body, std::string_view needle, size_t from = 0);

// isspace in the C locale, which the program never leaves.
inline bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

inline char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Whether body[begin, end), lower-cased (ASCII), contains the lower-case needle.
bool keyContains(const std::string& body, size_t begin, size_t end, std::string_view needle);

// The text of a JSON string body with its escapes decoded (\uXXXX, surrogate
// pairs included, as UTF-8). A broken escape stays as it is written.
std::string decodeEscapes(std::string_view raw);

// Where the string whose body starts at `from` closes, if it decodes to
// exactly `text`: the index of its closing quote; npos otherwise.
size_t matchString(const std::string& body, size_t from, std::string_view text);

// A quoted text's first place in the body, as the game may write it: the
// bytes as they are, or with JSON escapes (\u00fc, \", \\, \/). `at` is its
// opening quote, `end` one past its closing quote.
struct QuotedText {
    size_t at = npos, end = npos;
};
QuotedText findQuoted(const std::string& body, std::string_view text);

// The first byte in [from, to) outside strings (a backslash inside one
// escapes the next byte) for which stop(index, byte) holds; npos when none.
template <class Stop>
size_t firstOutsideStrings(const std::string& body, size_t from, size_t to, Stop stop) {
    bool inString = false;
    for (size_t i = from; i < to; ++i) {
        char c = body[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (stop(i, c)) {
            return i;
        }
    }
    return npos;
}

// The ']' that closes the array opening at `open`, stepping over strings and
// nested arrays; npos when the body ends first.
size_t arrayClose(const std::string& body, size_t open);

// Where the member walk finds its next quote, colon or end of a bare value:
// straight from the bytes, one at a time.
struct ByteSearch {
    const char* b;
    size_t quote(size_t i, size_t to) const {
        return find(i, to, [](char c) { return c == '"'; });
    }
    size_t colon(size_t i, size_t to) const {
        return find(i, to, [](char c) { return c == ':'; });
    }
    size_t valueEnd(size_t i, size_t to) const {
        return find(i, to, [](char c) { return c == ',' || c == '}' || c == ']'; });
    }
    template <class Is> size_t find(size_t i, size_t to, Is is) const {
        while (i < to && !is(b[i])) ++i;
        return i;
    }
};

// The quote that closes a string whose body starts at `from`: the first one
// no backslash escapes; `to` when there is none below it.
template <class Search>
size_t stringClose(const char* b, const Search& find, size_t from, size_t to) {
    for (size_t q = find.quote(from, to); q < to; q = find.quote(q + 1, to)) {
        size_t k = q;
        while (k > from && b[k - 1] == '\\') --k;
        if ((q - k) % 2 == 0) return q;
    }
    return to;
}

// Walks the members of one object level between from and to: a key is the
// bytes between its quotes, nested objects and arrays are skipped whole and
// never reported, and a value runs to its closing quote (one that no
// backslash escapes) or to the first ',', '}' or ']'.
// `visit(keyBegin, keyEnd, valueBegin, valueEnd)` returns true to stop.
template <class Search, class Visit>
void walkMembers(const std::string& body, size_t from, size_t to, const Search& find, Visit visit) {
    // Every search stays below `to`: a byte at or past it is as good as absent.
    to = std::min(to, body.size());
    const char* b = body.data();
    size_t pos = from;
    while (pos < to) {
        size_t q1 = find.quote(pos, to);
        size_t q2 = q1 < to ? stringClose(b, find, q1 + 1, to) : to;
        if (q2 >= to) return;
        size_t c = find.colon(q2, to);
        if (c >= to) return;
        size_t v = c + 1;
        while (v < to && isBlank(b[v])) ++v;
        if (v >= to) {
            visit(q1 + 1, q2, v, v);
            return;
        }
        char kind = b[v];
        if (kind == '"') {
            size_t q3 = stringClose(b, find, v + 1, to);
            if (q3 >= to) return;
            if (visit(q1 + 1, q2, v + 1, q3)) return;
            pos = q3 + 1;
        } else if (kind == '{' || kind == '[') {
            char close = kind == '{' ? '}' : ']';
            int depth = 0;
            size_t i = v;
            for (; i < to; ++i) {
                if (b[i] == kind) ++depth;
                if (b[i] == close && --depth == 0) break;
            }
            pos = i + 1;
        } else {
            size_t end = find.valueEnd(v, to);
            size_t last = end;
            while (last > v && isBlank(b[last - 1])) --last;
            if (visit(q1 + 1, q2, v, last)) return;
            pos = end;
        }
    }
}

} // namespace korvane::json
