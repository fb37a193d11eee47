// The recording reader's inflate against zlib's own, on any bytes: whatever
// zlib inflates whole, ours gives byte for byte; whatever zlib refuses, ours
// refuses too. The input is a dictionary, a zero byte, then the stream.
#include "fuzz_input.h"
#include "telemetry/inflate.h"

#include <cstdlib>
#include <zlib.h>

namespace {

constexpr size_t Limit = 1 << 18;

// zlib's verdict; the stream's checksum is the one thing ours does not check,
// so zlib is told to skip it too.
bool zlibInflate(const std::string& packed, const std::string& dict, std::string& out) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    inflateValidate(&z, 0);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    z.avail_in = uInt(packed.size());
    out.assign(Limit + 1, '\0');
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    int rc = inflate(&z, Z_FINISH);
    if (rc == Z_NEED_DICT) {
        rc = inflateSetDictionary(&z, reinterpret_cast<const Bytef*>(dict.data()),
                                  uInt(dict.size()));
        if (rc == Z_OK) rc = inflate(&z, Z_FINISH);
    }
    out.resize(z.total_out);
    bool ok = rc == Z_STREAM_END && z.avail_in == 0 && out.size() <= Limit;
    inflateEnd(&z);
    return ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string dict, packed;
    korvane::fuzz::splitAtZero(data, size, dict, packed);
    // A recording's dictionary is at most zlib's window; zlib keeps only the
    // window's worth of a longer one.
    if (dict.size() > 32768) return 0;
    std::string ours, theirs;
    bool ok = korvane::inflateStream(
        packed, [&] { return dict; }, ours, Limit);
    bool zlibOk = zlibInflate(packed, dict, theirs);
    if (ok != zlibOk || (ok && ours != theirs)) std::abort();
    return 0;
}
