#include "gamerest/scanners.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <vector>

namespace korvane {

namespace {

constexpr size_t npos = std::string::npos;

// strtod at `at`; the body's terminating zero stops it at the end.
std::optional<double> parseNumber(const std::string& text, size_t at) {
    if (at >= text.size()) return std::nullopt;
    const char* start = text.c_str() + at;
    char* end = nullptr;
    double v = std::strtod(start, &end);
    if (end == start) return std::nullopt;
    return v;
}

std::string quoted(const std::string& name) {
    return "\"" + name + "\"";
}

// The first occurrence of `needle` at or after `from`. Answers are full of
// double quotes, so a plain find that starts at every '"' of a quoted needle
// crawls; Boyer-Moore-Horspool skips ahead by the needle's length.
size_t findText(const std::string& body, const std::string& needle, size_t from = 0) {
    if (needle.size() < 4 || from >= body.size()) return body.find(needle, from);
    auto it = std::search(body.begin() + std::ptrdiff_t(from), body.end(),
                          std::boyer_moore_horspool_searcher(needle.begin(), needle.end()));
    return it == body.end() ? npos : size_t(it - body.begin());
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Whether body[begin, end), lower-cased (ASCII), contains the lower-case needle.
bool keyContains(const std::string& body, size_t begin, size_t end, const std::string& needle) {
    if (needle.empty()) return true;
    if (end - begin < needle.size()) return false;
    for (size_t i = begin; i + needle.size() <= end; ++i) {
        size_t k = 0;
        while (k < needle.size() && asciiLower(body[i + k]) == needle[k]) ++k;
        if (k == needle.size()) return true;
    }
    return false;
}

} // namespace

std::optional<double> findNumberAfterKey(const std::string& body, size_t from,
                                         const std::string& key) {
    std::string needle = quoted(key);
    size_t k = findText(body, needle, from);
    if (k == npos) return std::nullopt;
    size_t c = body.find(':', k + needle.size());
    if (c == npos) return std::nullopt;
    size_t p = c + 1;
    while (p < body.size() &&
           (body[p] == ' ' || body[p] == '\t' || body[p] == '\n' || body[p] == '\r'))
        ++p;
    return parseNumber(body, p);
}

std::optional<double> scanVeUsage(const std::string& body, const std::string& name) {
    if (name.empty()) return std::nullopt;
    size_t p = findText(body, quoted(name));
    if (p == npos) return std::nullopt;
    size_t e = body.find(']', p);
    if (e == npos) return std::nullopt;
    std::vector<double> series;
    for (size_t q = p;;) {
        size_t k = findText(body, "\"ve\"", q);
        if (k == npos || k > e) break;
        std::optional<double> v = findNumberAfterKey(body, k, "ve");
        if (!v) break;
        series.push_back(*v);
        q = k + 4;
    }
    if (series.size() < 2) return std::nullopt;
    double sum = 0;
    int kept = 0;
    for (size_t i = 0; i + 1 < series.size(); ++i) {
        double d = series[i] - series[i + 1];
        if (d > 0.0005 && d < 0.5) {
            sum += d;
            ++kept;
        }
    }
    if (kept == 0) return std::nullopt;
    return sum / kept * 100.0;
}

std::optional<TyreWear> scanTyreWear(const std::string& body, const std::string& name) {
    if (name.empty()) return std::nullopt;
    size_t p = findText(body, quoted(name));
    if (p == npos) return std::nullopt;
    size_t e = body.size() < p + 2 ? npos : body.find("]}", p);
    if (e == npos) e = body.size();
    size_t t = npos;
    for (size_t from = p;;) {
        size_t hit = findText(body, "\"tyres\"", from);
        if (hit == npos || hit > e) break;
        t = hit;
        from = hit + 7;
    }
    if (t == npos) return std::nullopt;
    size_t b = body.find('[', t);
    if (b == npos) return std::nullopt;
    TyreWear wear{};
    size_t at = b + 1;
    for (double& value : wear.values) {
        if (at > body.size()) return std::nullopt;
        const char* start = body.c_str() + at;
        char* end = nullptr;
        value = std::strtod(start, &end);
        if (end == start) return std::nullopt;
        at += size_t(end - start);
        while (at < body.size() && (body[at] == ',' || body[at] == ' ')) ++at;
    }
    return wear;
}

std::string findFieldText(const std::string& body, size_t from, size_t to,
                          const std::string& needle) {
    // Every search stays below `to`: a byte at or past it is as good as absent.
    to = std::min(to, body.size());
    const char* b = body.data();
    auto next = [&](size_t i, char c) {
        while (i < to && b[i] != c) ++i;
        return i;
    };
    size_t pos = from;
    while (pos < to) {
        size_t q1 = next(pos, '"');
        size_t q2 = next(q1 + 1, '"');
        if (q2 >= to) return {};
        bool wanted = keyContains(body, q1 + 1, q2, needle);
        size_t c = next(q2, ':');
        if (c >= to) return {};
        size_t v = c + 1;
        while (v < to && std::isspace(static_cast<unsigned char>(b[v]))) ++v;
        if (v >= to) return {};
        char kind = b[v];
        if (kind == '"') {
            size_t q3 = next(v + 1, '"');
            if (q3 >= to) return {};
            if (wanted) return body.substr(v + 1, q3 - v - 1);
            pos = q3 + 1;
        } else if (kind == '{' || kind == '[') {
            // Nested values are skipped whole, whatever their key.
            char close = kind == '{' ? '}' : ']';
            int depth = 0;
            size_t i = v;
            for (; i < to; ++i) {
                if (b[i] == kind) ++depth;
                if (b[i] == close && --depth == 0) break;
            }
            pos = i + 1;
        } else {
            size_t end = v;
            while (end < to && b[end] != ',' && b[end] != '}' && b[end] != ']') ++end;
            if (wanted) {
                size_t last = end;
                while (last > v && std::isspace(static_cast<unsigned char>(b[last - 1]))) --last;
                return body.substr(v, last - v);
            }
            pos = end;
        }
    }
    return {};
}

namespace {

const char* const NameNeedles[] = {"drivername", "driver", "fullname", "name"};
const char* const EnergyNeedles[] = {"virtualenergy", "currentvirtualenergy", "energyremaining",
                                     "energy", "nrg"};

void readCar(const std::string& body, size_t from, size_t to, StandingsEnergy& out) {
    std::string name;
    for (const char* needle : NameNeedles) {
        name = findFieldText(body, from, to, needle);
        if (!name.empty()) break;
    }
    if (name.empty()) return;
    for (const char* needle : EnergyNeedles) {
        std::string text = findFieldText(body, from, to, needle);
        if (text.empty()) continue;
        std::optional<double> v = parseNumber(text, 0);
        if (!v || !(*v >= 0)) continue;
        double pct = *v <= 1.0 ? *v * 100.0 : *v;
        if (!(pct <= 100.5)) continue;
        out.energyByDriver[name] = pct;
        if (out.matchedKey.empty()) out.matchedKey = needle;
        return;
    }
}

} // namespace

std::optional<StandingsEnergy> parseStandingsEnergy(const std::string& body) {
    if (body.empty()) return std::nullopt;
    size_t first = body.find_first_not_of(" \t\r\n");
    size_t start = 0;
    if (first != npos && body[first] == '{') {
        start = body.find('[');
        if (start == npos) return std::nullopt;
    }
    // Byte classes: which bytes matter outside a string and inside one. A
    // tight loop over a table skips the rest.
    static const auto classes = [] {
        struct Tables {
            bool outside[256] = {};
            bool inside[256] = {};
        } t;
        t.outside[uint8_t('"')] = t.outside[uint8_t('{')] = t.outside[uint8_t('}')] = true;
        t.inside[uint8_t('"')] = t.inside[uint8_t('\\')] = true;
        return t;
    }();
    StandingsEnergy out;
    const auto* b = reinterpret_cast<const uint8_t*>(body.data());
    const size_t n = body.size();
    int depth = 0;
    size_t objectStart = npos;
    size_t i = start;
    while (true) {
        while (i < n && !classes.outside[b[i]]) ++i;
        if (i >= n) break;
        uint8_t c = b[i];
        if (c == '"') {
            // Inside a string a backslash skips the byte after it.
            ++i;
            while (true) {
                while (i < n && !classes.inside[b[i]]) ++i;
                if (i >= n || b[i] == '"') break;
                i += 2;
            }
        } else if (c == '{') {
            if (depth == 0) objectStart = i;
            ++depth;
        } else {
            --depth;
            if (depth == 0 && objectStart != npos) {
                readCar(body, objectStart, i + 1, out);
                objectStart = npos;
            }
        }
        ++i;
    }
    if (out.energyByDriver.empty()) return std::nullopt;
    return out;
}

} // namespace korvane
