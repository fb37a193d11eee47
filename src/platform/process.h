#pragma once
#include <string>

namespace korvane {

// Full path of the running executable; empty when it cannot be found.
std::wstring executablePath();

// A console or pipe that goes away under the program must not end it: writes
// to it then simply fail. (A closed pipe would otherwise kill the process on
// POSIX systems; Windows never signals it.)
void ignoreBrokenPipes();

// Installs a handler that sets the returned flag on Ctrl+C or termination.
// Only the test rig uses it: the companion itself keeps the default handling.
const volatile bool* installStopFlag();

} // namespace korvane
