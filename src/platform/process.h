#pragma once
#include <string>

namespace korvane {

// Full path of the running executable; empty when it cannot be found.
std::wstring executablePath();

// Installs a handler that sets the returned flag on Ctrl+C or termination.
// Only the test rig uses it: the companion itself keeps the default handling.
const volatile bool* installStopFlag();

} // namespace korvane
