#include "gamerest/scanners.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korvane {

namespace {

constexpr size_t npos = std::string::npos;

// strtod at `at`; the body's terminating zero stops it at the end.
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

// isspace in the C locale, which the program never leaves.
bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Whether body[begin, end), lower-cased (ASCII), contains the lower-case needle.
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
size_t arrayClose(const std::string& body, size_t open) {
    int depth = 0;
    return firstOutsideStrings(body, open, body.size(), [&](size_t, char c) {
        if (c == '[') ++depth;
        return c == ']' && --depth == 0;
    });
}

// The player's entry in a usage answer: the first place the quoted name
// stands, and, when its value is an array, where that array opens and
// closes. Each is npos when absent.
struct PlayerEntry {
    size_t name = npos, open = npos, close = npos;
};

PlayerEntry findPlayer(const std::string& body, const std::string& name) {
    PlayerEntry entry;
    if (name.empty()) return entry;
    std::string key = quoted(name);
    entry.name = findText(body, key);
    if (entry.name == npos) return entry;
    size_t at = entry.name + key.size();
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
std::vector<double> recordVeSeries(const std::string& body, size_t open, size_t close);

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
    PlayerEntry player = findPlayer(body, name);
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

std::optional<TyreWear> scanTyreWear(const std::string& body, const std::string& name) {
    PlayerEntry player = findPlayer(body, name);
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

namespace {

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

// Walks the members of one object level between from and to, the way the
// field lookup reads them: a key is the bytes between two quotes (no escape
// handling), nested objects and arrays are skipped whole and never reported,
// and a value runs to its closing quote or to the first ',', '}' or ']'.
// `visit(keyBegin, keyEnd, valueBegin, valueEnd)` returns true to stop.
template <class Search, class Visit>
void walkMembers(const std::string& body, size_t from, size_t to, const Search& find, Visit visit) {
    // Every search stays below `to`: a byte at or past it is as good as absent.
    to = std::min(to, body.size());
    const char* b = body.data();
    size_t pos = from;
    while (pos < to) {
        size_t q1 = find.quote(pos, to);
        size_t q2 = q1 < to ? find.quote(q1 + 1, to) : to;
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
            size_t q3 = find.quote(v + 1, to);
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

} // namespace

std::string findFieldText(const std::string& body, size_t from, size_t to,
                          const std::string& needle) {
    std::string found;
    walkMembers(body, from, to, ByteSearch{body.data()},
                [&](size_t kb, size_t ke, size_t vb, size_t ve) {
                    if (!keyContains(body, kb, ke, needle)) return false;
                    found.assign(body, vb, ve - vb);
                    return true;
                });
    return found;
}

namespace {

// A standings answer is read through bitmaps of the bytes that matter, one
// bit per byte and 64 bytes to a block, built in one pass: the walk over the
// cars and the member walk inside each car then jump from one such byte to
// the next instead of reading every byte in between.
struct BlockBits {
    uint64_t quote = 0, backslash = 0, open = 0, close = 0, colon = 0, valueEnd = 0;
};

BlockBits blockBits(const char* p, size_t count) {
    BlockBits bits;
#if defined(__SSE2__)
    if (count == 64) {
        for (int k = 0; k < 4; ++k) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
            auto eq = [&](char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
            auto mask = [&](__m128i m) {
                return uint64_t(uint16_t(_mm_movemask_epi8(m))) << (16 * k);
            };
            bits.quote |= mask(eq('"'));
            bits.backslash |= mask(eq('\\'));
            bits.open |= mask(eq('{'));
            __m128i close = eq('}');
            bits.close |= mask(close);
            bits.colon |= mask(eq(':'));
            bits.valueEnd |= mask(_mm_or_si128(_mm_or_si128(eq(','), close), eq(']')));
        }
        return bits;
    }
#endif
    for (size_t k = 0; k < count; ++k) {
        uint64_t bit = uint64_t(1) << k;
        char c = p[k];
        bits.quote |= c == '"' ? bit : 0;
        bits.backslash |= c == '\\' ? bit : 0;
        bits.open |= c == '{' ? bit : 0;
        bits.close |= c == '}' ? bit : 0;
        bits.colon |= c == ':' ? bit : 0;
        bits.valueEnd |= c == ',' || c == '}' || c == ']' ? bit : 0;
    }
    return bits;
}

struct BitmapSearch {
    std::vector<BlockBits> blocks;

    explicit BitmapSearch(const std::string& body) : blocks((body.size() + 63) / 64) {
        for (size_t k = 0; k < blocks.size(); ++k)
            blocks[k] = blockBits(body.data() + 64 * k, std::min<size_t>(64, body.size() - 64 * k));
    }

    // The first marked byte at or after i and below `to`, or `to`.
    template <uint64_t BlockBits::*Field> size_t next(size_t i, size_t to) const {
        if (i >= to) return i;
        size_t k = i / 64;
        uint64_t word = (blocks[k].*Field) & (~uint64_t(0) << (i % 64));
        while (!word) {
            if (++k * 64 >= to) return to;
            word = blocks[k].*Field;
        }
        return std::min(to, k * 64 + size_t(std::countr_zero(word)));
    }
    size_t quote(size_t i, size_t to) const { return next<&BlockBits::quote>(i, to); }
    size_t colon(size_t i, size_t to) const { return next<&BlockBits::colon>(i, to); }
    size_t valueEnd(size_t i, size_t to) const { return next<&BlockBits::valueEnd>(i, to); }
};

// Bit k becomes the XOR of bits 0..k: from each opening quote up to the byte
// before its closing quote.
uint64_t prefixXor(uint64_t x) {
    for (int shift = 1; shift < 64; shift *= 2) x ^= x << shift;
    return x;
}

// The needles of a car object, names first, each group in the order tried.
// The game itself names a car's energy "veFraction", which holds none of the
// older needles: it is tried last.
constexpr std::string_view CarNeedles[] = {
    "drivername",           "driver",          "fullname", "name", "virtualenergy",
    "currentvirtualenergy", "energyremaining", "energy",   "nrg",  "vefraction"};
constexpr size_t CarNeedleCount = std::size(CarNeedles);
constexpr size_t FirstEnergyNeedle = 4;

// Which needles a key holds, one bit per needle. Every needle holds one of
// five short words, so a key holding none of them costs one pass.
unsigned keyNeedles(const std::string& body, size_t begin, size_t end) {
    constexpr unsigned Driver = 1, Name = 2, Energy = 4, Nrg = 8, VeFraction = 16;
    constexpr unsigned needs[CarNeedleCount] = {Driver | Name, Driver, Name,   Name, Energy,
                                                Energy,        Energy, Energy, Nrg,  VeFraction};
    auto at = [&](size_t i, std::string_view word) {
        if (end - i < word.size()) return false;
        for (size_t k = 0; k < word.size(); ++k)
            if (asciiLower(body[i + k]) != word[k]) return false;
        return true;
    };
    unsigned words = 0;
    for (size_t i = begin; i < end; ++i) {
        switch (asciiLower(body[i])) {
        case 'd':
            words |= at(i, "driver") ? Driver : 0u;
            break;
        case 'n':
            words |= (at(i, "name") ? Name : 0u) | (at(i, "nrg") ? Nrg : 0u);
            break;
        case 'e':
            words |= at(i, "energy") ? Energy : 0u;
            break;
        case 'v':
            words |= at(i, "vefraction") ? VeFraction : 0u;
            break;
        default:
            break;
        }
    }
    unsigned hits = 0;
    for (size_t n = 0; n < CarNeedleCount && words; ++n)
        if ((needs[n] & words) == needs[n] && keyContains(body, begin, end, CarNeedles[n]))
            hits |= 1u << n;
    return hits;
}

// The walk over the cars: strings (a backslash inside one skips the next
// byte), brace depth, and the start of the current top-level object.
class CarWalk {
  public:
    CarWalk(const std::string& body, StandingsEnergy& out) : body_(body), out_(out), find_(body) {}

    void run(size_t i) {
        const size_t n = body_.size();
        while (i < n) {
            const BlockBits& bits = find_.blocks[i / 64];
            if (i % 64 == 0 && !bits.backslash) {
                block(i, bits);
                i += 64;
            } else {
                i = bytes(i, std::min(n, (i / 64 + 1) * 64));
            }
        }
    }

  private:
    // A whole block without a backslash: the quote bits give which bytes are
    // inside strings, and only the braces outside them are visited.
    void block(size_t i, const BlockBits& bits) {
        uint64_t inside = prefixXor(bits.quote);
        if (inString_) inside = ~inside;
        uint64_t braces = (bits.open | bits.close) & ~inside;
        while (braces) {
            int k = std::countr_zero(braces);
            braces &= braces - 1;
            brace(i + size_t(k), (bits.open >> k) & 1);
        }
        inString_ = (inside >> 63) & 1;
    }

    // Bytes [i, stop) one at a time; returns where the walk goes on, which
    // is past `stop` when a backslash skipped over it.
    size_t bytes(size_t i, size_t stop) {
        while (i < stop) {
            char c = body_[i];
            if (inString_) {
                if (c == '\\') {
                    i += 2;
                    continue;
                }
                inString_ = c != '"';
            } else if (c == '"') {
                inString_ = true;
            } else if (c == '{' || c == '}') {
                brace(i, c == '{');
            }
            ++i;
        }
        return i;
    }

    void brace(size_t at, bool open) {
        if (open) {
            if (depth_ == 0) objectStart_ = at;
            ++depth_;
        } else if (--depth_ == 0 && objectStart_ != npos) {
            readCar(objectStart_, at + 1);
            objectStart_ = npos;
        }
    }

    // One car object: a single walk over its members notes, for every
    // needle, the value of the first member whose key holds it, which is
    // what one lookup per needle would return.
    void readCar(size_t from, size_t to) {
        struct Span {
            size_t begin = npos, end = npos;
            bool empty() const { return begin == npos || begin == end; }
        } values[CarNeedleCount];
        unsigned missing = (1u << CarNeedleCount) - 1;
        size_t member = 0;
        walkMembers(body_, from, to, find_, [&](size_t kb, size_t ke, size_t vb, size_t ve) {
            unsigned hits = needlesOf(member++, kb, ke) & missing;
            for (unsigned rest = hits; rest; rest &= rest - 1)
                values[std::countr_zero(rest)] = {vb, ve};
            missing &= ~hits;
            return missing == 0;
        });

        size_t name = 0;
        while (name < FirstEnergyNeedle && values[name].empty()) ++name;
        if (name == FirstEnergyNeedle) return;
        for (size_t n = FirstEnergyNeedle; n < CarNeedleCount; ++n) {
            if (values[n].empty()) continue;
            std::string text(body_, values[n].begin, values[n].end - values[n].begin);
            std::optional<double> v = parseNumber(text, 0);
            if (!v || !(*v >= 0)) continue;
            double pct = *v <= 1.0 ? *v * 100.0 : *v;
            if (!(pct <= 100.5)) continue;
            const Span& at = values[name];
            auto [it, added] = out_.energyByDriver.try_emplace(
                std::string(body_, at.begin, at.end - at.begin), pct);
            if (!added) it->second = pct; // a later car of the same name wins
            if (out_.matchedKey.empty()) out_.matchedKey = CarNeedles[n];
            return;
        }
    }

    // Cars repeat the same keys in the same order, so a key is looked at once
    // and later cars reuse the answer when their key at that place is equal.
    unsigned needlesOf(size_t member, size_t kb, size_t ke) {
        if (member >= std::size(memo_)) return keyNeedles(body_, kb, ke);
        KeyMemo& m = memo_[member];
        if (m.length != ke - kb || std::memcmp(body_.data() + kb, body_.data() + m.begin, m.length))
            m = {kb, ke - kb, keyNeedles(body_, kb, ke)};
        return m.needles;
    }

    struct KeyMemo {
        size_t begin = 0, length = npos;
        unsigned needles = 0;
    };

    const std::string& body_;
    StandingsEnergy& out_;
    BitmapSearch find_;
    KeyMemo memo_[32];
    bool inString_ = false;
    int depth_ = 0;
    size_t objectStart_ = npos;
};

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
    CarWalk(body, out).run(start);
    if (out.energyByDriver.empty()) return std::nullopt;
    return out;
}

} // namespace korvane
