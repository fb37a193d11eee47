#include "telemetry/inflate.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <zlib.h>

namespace korvane {

namespace {

constexpr int MaxCodeBits = 15;

// A canonical Huffman code: how many codes there are of each length, and the
// symbols in code order.
struct Huffman {
    uint16_t count[MaxCodeBits + 1];
    uint16_t symbol[288];
};

// 0 for a complete code, above 0 for an incomplete one, below 0 for one that
// is over-subscribed.
int build(Huffman& h, const uint8_t* length, int n) {
    std::memset(h.count, 0, sizeof h.count);
    for (int s = 0; s < n; ++s) h.count[length[s]]++;
    if (h.count[0] == n) return 0; // no codes: nothing will decode
    int left = 1;
    for (int len = 1; len <= MaxCodeBits; ++len) {
        left <<= 1;
        left -= h.count[len];
        if (left < 0) return left;
    }
    uint16_t offset[MaxCodeBits + 1] = {};
    for (int len = 1; len < MaxCodeBits; ++len)
        offset[len + 1] = uint16_t(offset[len] + h.count[len]);
    for (int s = 0; s < n; ++s)
        if (length[s]) h.symbol[offset[length[s]]++] = uint16_t(s);
    return left;
}

const uint16_t LengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t LengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t DistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                               33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                               1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t DistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                               6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

class Inflater {
  public:
    Inflater(const std::string& in, size_t pos, std::string& out, size_t limit)
        : in_(reinterpret_cast<const uint8_t*>(in.data())), size_(in.size()), pos_(pos), out_(out),
          limit_(limit) {}

    bool blocks() {
        for (bool last = false; !last;) {
            last = bits(1) == 1;
            uint32_t type = bits(2);
            bool done = ok_ && (type == 0   ? stored()
                                : type == 1 ? fixed()
                                : type == 2 ? dynamic()
                                            : false);
            if (!done) return false;
        }
        return true;
    }
    size_t position() const { return pos_; }

  private:
    // The next `need` bits, first bit lowest. Past the end of the input they
    // read as zeros and the stream is marked damaged.
    uint32_t bits(int need) {
        while (count_ < need) {
            if (pos_ == size_) {
                ok_ = false;
                return 0;
            }
            buffer_ |= uint32_t(in_[pos_++]) << count_;
            count_ += 8;
        }
        uint32_t v = buffer_ & ((1u << need) - 1);
        buffer_ >>= need;
        count_ -= need;
        return v;
    }

    int decode(const Huffman& h) {
        int code = 0, first = 0, index = 0;
        for (int len = 1; len <= MaxCodeBits; ++len) {
            code |= int(bits(1));
            if (!ok_) return -1;
            int n = h.count[len];
            if (code - n < first) return h.symbol[index + (code - first)];
            index += n;
            first = (first + n) << 1;
            code <<= 1;
        }
        return -1;
    }

    bool room(size_t n) const { return out_.size() + n <= limit_; }

    bool stored() {
        buffer_ = 0; // what is left of the byte
        count_ = 0;
        if (size_ - pos_ < 4) return false;
        uint32_t len = in_[pos_] | uint32_t(in_[pos_ + 1]) << 8;
        uint32_t inverse = in_[pos_ + 2] | uint32_t(in_[pos_ + 3]) << 8;
        pos_ += 4;
        if (len != (~inverse & 0xffff) || size_ - pos_ < len || !room(len)) return false;
        out_.append(reinterpret_cast<const char*>(in_ + pos_), len);
        pos_ += len;
        return true;
    }

    bool fixed() {
        static const Huffman* const tables = [] {
            static Huffman h[2];
            uint8_t length[288];
            std::fill(length, length + 144, 8);
            std::fill(length + 144, length + 256, 9);
            std::fill(length + 256, length + 280, 7);
            std::fill(length + 280, length + 288, 8);
            build(h[0], length, 288);
            std::fill(length, length + 30, 5);
            build(h[1], length, 30);
            return h;
        }();
        return codes(tables[0], tables[1]);
    }

    bool dynamic() {
        static const uint8_t Order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                          11, 4,  12, 3, 13, 2, 14, 1, 15};
        int nlen = int(bits(5)) + 257, ndist = int(bits(5)) + 1, ncode = int(bits(4)) + 4;
        if (!ok_ || nlen > 286 || ndist > 30) return false;
        uint8_t length[286 + 30] = {};
        for (int i = 0; i < ncode; ++i) length[Order[i]] = uint8_t(bits(3));
        Huffman lencode, distcode;
        if (!ok_ || build(lencode, length, 19) != 0) return false;
        for (int index = 0; index < nlen + ndist;) {
            int sym = decode(lencode);
            if (sym < 0) return false;
            if (sym < 16) {
                length[index++] = uint8_t(sym);
                continue;
            }
            uint8_t value = 0;
            int repeat;
            if (sym == 16) {
                if (index == 0) return false;
                value = length[index - 1];
                repeat = 3 + int(bits(2));
            } else if (sym == 17) {
                repeat = 3 + int(bits(3));
            } else {
                repeat = 11 + int(bits(7));
            }
            if (!ok_ || index + repeat > nlen + ndist) return false;
            std::fill(length + index, length + index + repeat, value);
            index += repeat;
        }
        if (length[256] == 0) return false; // no end of block
        return usable(lencode, length, nlen) && usable(distcode, length + nlen, ndist) &&
               codes(lencode, distcode);
    }

    // As zlib takes them: a complete code, or one that is a single code one
    // bit long.
    static bool usable(Huffman& h, const uint8_t* length, int n) {
        int left = build(h, length, n);
        return left == 0 || (left > 0 && h.count[1] == 1 && n - h.count[0] == 1);
    }

    bool codes(const Huffman& lencode, const Huffman& distcode) {
        for (;;) {
            int sym = decode(lencode);
            if (sym < 0) return false;
            if (sym < 256) {
                if (!room(1)) return false;
                out_.push_back(char(sym));
                continue;
            }
            if (sym == 256) return true;
            sym -= 257;
            if (sym >= 29) return false;
            size_t len = LengthBase[sym] + bits(LengthExtra[sym]);
            int dsym = decode(distcode);
            if (dsym < 0 || dsym >= 30) return false;
            size_t dist = DistBase[dsym] + bits(DistExtra[dsym]);
            if (!ok_ || dist > out_.size() || !room(len)) return false;
            copy(dist, len);
        }
    }

    // The bytes `dist` back, `len` of them; a run shorter than its length
    // repeats, and grows by what it has just written.
    void copy(size_t dist, size_t len) {
        if (dist == 1) {
            out_.append(len, out_.back());
            return;
        }
        size_t from = out_.size() - dist;
        while (len > 0) {
            size_t n = std::min(len, out_.size() - from);
            out_.append(out_, from, n);
            from += n;
            len -= n;
        }
    }

    const uint8_t* in_;
    size_t size_, pos_;
    uint32_t buffer_ = 0;
    int count_ = 0;
    bool ok_ = true;
    std::string& out_;
    size_t limit_;
};

} // namespace

bool inflateStream(const std::string& packed, const std::function<std::string()>& dictionary,
                   std::string& out, size_t maxOut) {
    out.clear();
    if (packed.size() < 2) return false;
    uint32_t cmf = uint8_t(packed[0]), flg = uint8_t(packed[1]);
    if ((cmf & 0x0f) != 8 || (cmf >> 4) > 7 || (cmf * 256 + flg) % 31 != 0) return false;
    size_t pos = 2, window = 0;
    if (flg & 0x20) {
        if (packed.size() < 6) return false;
        std::string dict = dictionary();
        uint32_t id = 0;
        for (size_t i = 2; i < 6; ++i) id = id << 8 | uint8_t(packed[i]);
        uLong want = adler32(adler32(0, nullptr, 0), reinterpret_cast<const Bytef*>(dict.data()),
                             uInt(dict.size()));
        if (id != want) return false;
        pos = 6;
        out = dict; // what the stream's first distances reach back into
        window = dict.size();
    }
    Inflater inflater(packed, pos, out, window + maxOut);
    // The last block ends the stream; its four-byte checksum ends the input.
    bool ok = inflater.blocks() && packed.size() - inflater.position() == 4;
    if (ok && window) out.erase(0, window);
    if (!ok) out.clear();
    return ok;
}

} // namespace korvane
