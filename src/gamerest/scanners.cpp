#include "gamerest/scanners.h"

#include <cctype>
#include <cstdlib>
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

std::string quoted(const std::string& name) { return "\"" + name + "\""; }

std::string asciiLower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

} // namespace

std::optional<double> findNumberAfterKey(const std::string& body, size_t from,
                                         const std::string& key) {
    std::string needle = quoted(key);
    size_t k = body.find(needle, from);
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
    size_t p = body.find(quoted(name));
    if (p == npos) return std::nullopt;
    size_t e = body.find(']', p);
    if (e == npos) return std::nullopt;
    std::vector<double> series;
    for (size_t q = p;;) {
        size_t k = body.find("\"ve\"", q);
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
    size_t p = body.find(quoted(name));
    if (p == npos) return std::nullopt;
    size_t e = body.size() < p + 2 ? npos : body.find("]}", p);
    if (e == npos) e = body.size();
    size_t t = npos;
    for (size_t from = p;;) {
        size_t hit = body.find("\"tyres\"", from);
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
    to = std::min(to, body.size());
    size_t pos = from;
    while (pos < to) {
        size_t q1 = body.find('"', pos);
        if (q1 == npos || q1 >= to) return {};
        size_t q2 = body.find('"', q1 + 1);
        if (q2 == npos || q2 >= to) return {};
        bool wanted = asciiLower(body.substr(q1 + 1, q2 - q1 - 1)).find(needle) != npos;
        size_t c = body.find(':', q2);
        if (c == npos || c >= to) return {};
        size_t v = c + 1;
        while (v < to && std::isspace(static_cast<unsigned char>(body[v]))) ++v;
        if (v >= to) return {};
        char kind = body[v];
        if (kind == '"') {
            size_t q3 = body.find('"', v + 1);
            if (q3 == npos || q3 >= to) return {};
            if (wanted) return body.substr(v + 1, q3 - v - 1);
            pos = q3 + 1;
        } else if (kind == '{' || kind == '[') {
            // Nested values are skipped whole, whatever their key.
            char close = kind == '{' ? '}' : ']';
            int depth = 0;
            size_t i = v;
            for (; i < to; ++i) {
                if (body[i] == kind) ++depth;
                if (body[i] == close && --depth == 0) break;
            }
            pos = i + 1;
        } else {
            size_t end = body.find_first_of(",}]", v);
            if (end == npos || end > to) end = to;
            if (wanted) {
                size_t last = end;
                while (last > v && std::isspace(static_cast<unsigned char>(body[last - 1]))) --last;
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
    StandingsEnergy out;
    bool inString = false;
    int depth = 0;
    size_t objectStart = npos;
    for (size_t i = start; i < body.size(); ++i) {
        char c = body[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{') {
            if (depth == 0) objectStart = i;
            ++depth;
        } else if (c == '}') {
            --depth;
            if (depth == 0 && objectStart != npos) {
                readCar(body, objectStart, i + 1, out);
                objectStart = npos;
            }
        }
    }
    if (out.energyByDriver.empty()) return std::nullopt;
    return out;
}

} // namespace korvane
