#pragma once
#include "app/options.h"

#include <string>

namespace korvane {

// The program's one loop: a tick every 500 ms for the rest of the process.
// Each tick's line is appended to the log at `logPath`.
[[noreturn]] void runMainLoop(const Options& options, const std::string& roomCode,
                              const std::wstring& logPath);

} // namespace korvane
