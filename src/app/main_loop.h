#pragma once
#include "app/options.h"
#include "telemetry/shared_views.h"

#include <string>

namespace korvane {

// The route this tick read, as the diagnostics and the log name it.
std::string sourceText(const SharedViews& views);

// The program's one loop: a tick every 500 ms for the rest of the process.
// Each tick's line is appended to the log at `logPath`.
[[noreturn]] void runMainLoop(const Options& options, const std::string& roomCode,
                              const std::wstring& logPath);

} // namespace korvane
