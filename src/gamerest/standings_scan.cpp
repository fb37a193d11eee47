// The standings answer: one object per car, read for the driver's name and
// the car's energy.
#include "gamerest/json_scan.h"
#include "gamerest/scanners.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korvane {

using namespace json;

std::string standingsName(const std::string& body, size_t begin, size_t end) {
    std::string_view raw(body.data() + begin, end - begin);
    // The game may escape letters (M\u00fcller) where the buffers hold them
    // as they are: names are compared as the text they stand for.
    if (raw.find('\\') != std::string_view::npos) return decodeEscapes(raw);
    return std::string(raw);
}

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
            auto [it, added] = out_.energyByDriver.try_emplace(
                standingsName(body_, values[name].begin, values[name].end), pct);
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
