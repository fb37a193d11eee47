#pragma once
// The game's local REST interface: plain HTTP on localhost:6397.
#include <cstdint>
#include <string>

namespace korvane {

// The largest answer read. Late in a 24-hour race on a full grid the strategy
// view's answer runs to megabytes; anything beyond this is dropped whole,
// never scanned cut.
inline constexpr uint64_t RestAnswerLimit = uint64_t(16) << 20;

struct RestReply {
    std::string body;          // empty on any failure, and for a dropped answer
    uint16_t status = 0;       // the answer's status; 0 when none came
    bool dropped = false;      // the answer was larger than RestAnswerLimit
    uint64_t droppedBytes = 0; // its size as declared, 0 when it declared none
};

// One GET, whatever its status. Never takes longer than the build's REST deadline
// (sixteen megabytes take a fraction of it on the same machine), never
// reports an error.
RestReply restGet(const std::wstring& path);

// "17,000,000 bytes" for a dropped answer's size, or "more than 16 MiB" when
// it declared none.
std::string droppedSizeText(const RestReply& reply);

} // namespace korvane
