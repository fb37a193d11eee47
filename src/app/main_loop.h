#pragma once
#include "app/options.h"

#include <iosfwd>
#include <string>

namespace korvane {

// The program's one loop: a tick every 500 ms for the rest of the process.
[[noreturn]] void runMainLoop(const Options& options, const std::string& roomCode,
                              std::ostream& log);

} // namespace korvane
