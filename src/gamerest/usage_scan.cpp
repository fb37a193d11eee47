// The refuel screen's numbers and the strategy view's usage answer: an object
// keyed by driver name, each value an array of lap records.
#include "gamerest/json_scan.h"
#include "gamerest/scanners.h"

#include <cstdlib>
#include <vector>

namespace korvane {

using namespace json;

namespace {

// The player's entry in a usage answer: the first place the quoted name
// stands (and where its closing quote ends), and, when its value is an
// array, where that array opens and closes. Each is npos when absent.
struct PlayerEntry {
    size_t name = npos, nameEnd = npos, open = npos, close = npos;
};

// The quote that opens the string whose closing quote is at `close`: the
// nearest one before it that no backslash escapes; npos when none.
size_t openingQuote(const std::string& body, size_t close) {
    for (size_t q = close; q > 0;) {
        q = body.rfind('"', q - 1);
        if (q == npos) return npos;
        size_t k = q;
        while (k > 0 && body[k - 1] == '\\') --k;
        if ((q - k) % 2 == 0) return q;
    }
    return npos;
}

// The answer's keys are found from their arrays, each of which opens with a
// record: a '[' whose next non-blank byte is '{', after "key":. Every key is
// read with its escapes decoded, so a name matches however the game's writer
// escaped it, and the work is one pass of memchr through the body for any
// name, in any alphabet, present or not. `keyed` tells whether the body had
// such arrays at all.
PlayerEntry findKeyed(const std::string& body, const std::string& name, bool& keyed) {
    PlayerEntry entry;
    keyed = false;
    for (size_t open = body.find('['); open != npos; open = body.find('[', open + 1)) {
        size_t v = open + 1;
        while (v < body.size() && isBlank(body[v])) ++v;
        if (v >= body.size() || body[v] != '{') continue;
        size_t c = open;
        while (c > 0 && isBlank(body[c - 1])) --c;
        if (c == 0 || body[c - 1] != ':') continue;
        --c;
        while (c > 0 && isBlank(body[c - 1])) --c;
        if (c == 0 || body[c - 1] != '"') continue;
        size_t close = c - 1, q = openingQuote(body, close);
        if (q == npos) continue;
        keyed = true;
        if (matchString(body, q + 1, name) != close) continue;
        entry.name = q;
        entry.nameEnd = close + 1;
        entry.open = open;
        entry.close = arrayClose(body, open);
        return entry;
    }
    return entry;
}

PlayerEntry findPlayer(const std::string& body, const std::string& name) {
    PlayerEntry entry;
    if (name.empty()) return entry;
    bool keyed = false;
    entry = findKeyed(body, name, keyed);
    if (keyed) return entry;
    // An answer of another shape: the name wherever it stands quoted.
    QuotedText key = findQuoted(body, name);
    entry.name = key.at;
    entry.nameEnd = key.end;
    if (entry.name == npos) return entry;
    size_t at = key.end;
    while (at < body.size() && isBlank(body[at])) ++at;
    if (at >= body.size() || body[at] != ':') return entry;
    ++at;
    while (at < body.size() && isBlank(body[at])) ++at;
    if (at >= body.size() || body[at] != '[') return entry;
    entry.open = at;
    entry.close = arrayClose(body, at);
    return entry;
}

// The mean of the drops from one value to the next that look like a lap's
// use (refills and jumps left out), in percent; nothing without such a drop.
std::optional<double> meanDrop(const std::vector<double>& series) {
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

// The "ve" member of each record of the player's array, in order: the game
// writes every record with its "tyres" array before "ve", so the first ']'
// after the name closes a record's tyres, not the player's laps.
std::vector<double> recordVeSeries(const std::string& body, size_t open, size_t close) {
    std::vector<double> series;
    int depth = 0; // braces and brackets inside the player's array
    size_t record = npos;
    firstOutsideStrings(body, open + 1, close, [&](size_t i, char c) {
        if (c == '{' || c == '[') {
            if (depth++ == 0 && c == '{') record = i;
        } else if ((c == '}' || c == ']') && --depth == 0 && c == '}' && record != npos) {
            walkMembers(body, record, i + 1, ByteSearch{body.data()},
                        [&](size_t kb, size_t ke, size_t vb, size_t) {
                            if (ke - kb != 2 || body.compare(kb, 2, "ve") != 0) return false;
                            // A quoted number is no number here, as in the series above.
                            std::optional<double> v =
                                body[vb - 1] == '"' ? std::nullopt : parseNumber(body, vb);
                            if (v) series.push_back(*v);
                            return true;
                        });
            record = npos;
        }
        return false;
    });
    return series;
}

std::optional<double> vePerLap(const std::string& body, const PlayerEntry& player) {
    size_t p = player.name;
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
    if (series.size() < 2 && player.close != npos)
        series = recordVeSeries(body, player.open, player.close);
    return meanDrop(series);
}

std::optional<TyreWear> lastTyres(const std::string& body, const PlayerEntry& player) {
    size_t p = player.name;
    if (p == npos) return std::nullopt;
    // A player whose laps are an array ends where that array closes: the
    // game's answers hold no "]}" there when pretty-printed, and the next
    // driver's records follow.
    size_t e = player.close;
    if (e == npos) e = body.size() < p + 2 ? npos : body.find("]}", p);
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

} // namespace

std::optional<double> findNumberAfterKey(const std::string& body, size_t from,
                                         const std::string& key) {
    std::string needle = "\"" + key + "\"";
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

UsageScan scanUsage(const std::string& body, const std::string& playerName) {
    PlayerEntry player = findPlayer(body, playerName);
    return {vePerLap(body, player), lastTyres(body, player)};
}

std::optional<double> scanVeUsage(const std::string& body, const std::string& name) {
    return vePerLap(body, findPlayer(body, name));
}

std::optional<TyreWear> scanTyreWear(const std::string& body, const std::string& name) {
    return lastTyres(body, findPlayer(body, name));
}

} // namespace korvane
