#pragma once

namespace korvane {

// Start-up and the main loop; returns the process exit code.
int runCompanion(int argc, const char* const* argv);

} // namespace korvane
