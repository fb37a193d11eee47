#pragma once
// --restdump: prints what the game's REST interface answers on six endpoints,
// so a user can send the part that holds a value still to be wired.
#include "gamerest/rest_fetch.h"

#include <functional>
#include <iosfwd>
#include <string>

namespace korvane {

struct RestDumpIo {
    std::ostream* out;
    std::function<void(const std::wstring&)> writeWide; // flushes `out` first
    std::function<RestReply(const std::wstring&)> fetch;
};

void restDump(const RestDumpIo& io);

// The tool with the real fetch and console. Returns the exit code.
int runRestDump();

} // namespace korvane
