#include "update/build_file.h"

#include "update/manifest.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace korvane {

namespace {

// Little-endian reads that never leave the bytes: every caller asks `has`
// first, with offsets taken from the file itself.
struct Bytes {
    const std::string& b;
    bool has(uint64_t offset, uint64_t count) const {
        return offset <= b.size() && count <= b.size() - offset;
    }
    uint64_t le(uint64_t offset, int width) const {
        uint64_t v = 0;
        for (int i = width - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[offset + i]);
        return v;
    }
    uint32_t u16(uint64_t o) const { return uint32_t(le(o, 2)); }
    uint32_t u32(uint64_t o) const { return uint32_t(le(o, 4)); }
    uint64_t u64(uint64_t o) const { return le(o, 8); }
};

constexpr uint32_t ResourceVersion = 16;
constexpr uint32_t Subdirectory = 0x80000000u;
constexpr uint32_t FixedInfoSignature = 0xFEEF04BDu;
constexpr const char ElfVersionSection[] = ".kvver";

// The first entry of a resource directory, or the one with the given id.
bool resourceEntry(const Bytes& f, uint64_t dir, bool any, uint32_t id, uint32_t& value) {
    if (!f.has(dir, 16)) return false;
    uint32_t count = f.u16(dir + 12) + f.u16(dir + 14);
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t e = dir + 16 + 8 * uint64_t(i);
        if (!f.has(e, 8)) return false;
        uint32_t name = f.u32(e);
        if (any || name == id) {
            value = f.u32(e + 4);
            return true;
        }
    }
    return false;
}

// The product version in the fixed part of a PE file's version resource.
std::string peVersion(const Bytes& f) {
    if (!f.has(0x3C, 4)) return {};
    uint64_t pe = f.u32(0x3C);
    if (!f.has(pe, 24) || f.u32(pe) != 0x00004550) return {};
    uint32_t sections = f.u16(pe + 6), optionalSize = f.u16(pe + 20);
    uint64_t optional = pe + 24, table = optional + optionalSize;
    if (!f.has(optional, optionalSize) || optionalSize < 2) return {};
    uint32_t magic = f.u16(optional);
    uint64_t directories = optional + (magic == 0x20B ? 112 : magic == 0x10B ? 96 : optionalSize);
    uint64_t resources = directories + 2 * 8;
    if (resources + 8 > table) return {};
    auto fileOffset = [&](uint64_t rva, uint64_t& offset) {
        for (uint32_t i = 0; i < sections; ++i) {
            uint64_t s = table + 40 * uint64_t(i);
            if (!f.has(s, 40)) return false;
            uint64_t start = f.u32(s + 12), rawSize = f.u32(s + 16), raw = f.u32(s + 20);
            if (rva >= start && rva - start < rawSize) {
                offset = raw + (rva - start);
                return true;
            }
        }
        return false;
    };
    uint64_t root = 0, info = 0;
    uint32_t v = 0;
    if (!fileOffset(f.u32(resources), root)) return {};
    // Type, then name, then language: the first of each under VERSION.
    if (!resourceEntry(f, root, false, ResourceVersion, v) || !(v & Subdirectory)) return {};
    if (!resourceEntry(f, root + (v & ~Subdirectory), true, 0, v) || !(v & Subdirectory)) return {};
    if (!resourceEntry(f, root + (v & ~Subdirectory), true, 0, v) || (v & Subdirectory)) return {};
    uint64_t entry = root + v;
    if (!f.has(entry, 8) || !fileOffset(f.u32(entry), info)) return {};
    // VS_VERSIONINFO: three words, the key in UTF-16 with its NUL, padding to
    // four bytes, then the fixed file information.
    const char key[] = "VS_VERSION_INFO";
    uint64_t fixed = info + 40;
    if (f.u32(entry + 4) < 40 + 52 || !f.has(info, 40 + 52)) return {};
    for (size_t i = 0; i < sizeof key; ++i)
        if (f.u16(info + 6 + 2 * i) != static_cast<unsigned char>(key[i])) return {};
    if (f.u32(fixed) != FixedInfoSignature) return {};
    uint32_t high = f.u32(fixed + 16), low = f.u32(fixed + 20);
    std::string text = std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) + "." +
                       std::to_string(low >> 16);
    if (low & 0xFFFF) text += "." + std::to_string(low & 0xFFFF);
    return text;
}

// The text in an ELF file's version section (64-bit, little-endian).
std::string elfVersion(const Bytes& f) {
    if (!f.has(0, 64) || f.b.compare(0, 4, "\177ELF") != 0 || f.b[4] != 2 || f.b[5] != 1) return {};
    uint64_t headers = f.u64(0x28);
    uint32_t size = f.u16(0x3A), count = f.u16(0x3C), namesIndex = f.u16(0x3E);
    if (size < 64 || namesIndex >= count || headers > f.b.size()) return {};
    uint64_t names = headers + uint64_t(namesIndex) * size;
    if (!f.has(names, 64)) return {};
    uint64_t namesAt = f.u64(names + 24), namesSize = f.u64(names + 32);
    if (!f.has(namesAt, namesSize)) return {};
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t h = headers + uint64_t(i) * size;
        if (!f.has(h, 64)) return {};
        uint64_t name = f.u32(h);
        if (name >= namesSize || namesSize - name < sizeof ElfVersionSection ||
            std::memcmp(f.b.data() + namesAt + name, ElfVersionSection, sizeof ElfVersionSection))
            continue;
        uint64_t at = f.u64(h + 24), length = f.u64(h + 32);
        if (!f.has(at, length)) return {};
        std::string text = f.b.substr(at, length);
        text.resize(std::strlen(text.c_str()));
        return text;
    }
    return {};
}

bool plainVersion(const std::string& text) {
    if (text.empty() || text.size() > 32) return false;
    for (char c : text)
        if ((c < '0' || c > '9') && c != '.') return false;
    return true;
}

} // namespace

std::string readBuildVersion(const std::string& bytes) {
    Bytes f{bytes};
    std::string version = bytes.compare(0, 2, "MZ") == 0 ? peVersion(f) : elfVersion(f);
    return plainVersion(version) ? version : std::string();
}

bool sameVersion(const std::string& a, const std::string& b) {
    std::vector<long> x = parseVersion(a), y = parseVersion(b);
    x.resize(std::max(x.size(), y.size()), 0);
    y.resize(x.size(), 0);
    return x == y;
}

} // namespace korvane
