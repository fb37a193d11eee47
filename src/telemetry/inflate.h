#pragma once
// A zlib stream's inflate, for reading recordings fast. A recorded tick is
// mostly long runs of unchanged (zero) bytes, which zlib's own inflate copies
// one byte at a time, each waiting on the one before: a day's recording took
// over a minute to read. Here a run is one memset.
#include <functional>
#include <string>

namespace korvane {

// Inflates the whole zlib stream in `packed` (nothing may follow it) against
// the preset dictionary `dictionary()` makes, asked for only when the stream
// names one. False when the
// stream is damaged, asks for another dictionary, or inflates to more than
// maxOut bytes. The stream's own checksum is not checked: the caller holds a
// CRC-32 of the packed bytes.
[[nodiscard]] bool inflateStream(const std::string& packed,
                                 const std::function<std::string()>& dictionary, std::string& out,
                                 size_t maxOut);

} // namespace korvane
