#pragma once
#include <functional>
#include <string>

namespace korvane {

// Full path of the running executable; empty when it cannot be found.
std::wstring executablePath();

// A console or pipe that goes away under the program must not end it: writes
// to it then simply fail. (A closed pipe would otherwise kill the process on
// POSIX systems; Windows never signals it.)
void ignoreBrokenPipes();

// Installs a handler that sets the returned flag on Ctrl+C, a closed console
// or termination. Only the recorder and the test rig use it: the companion
// itself keeps the default handling.
const volatile bool* installStopFlag();

// Runs `body` on a thread of its own that nobody waits for. False, with the
// reason in `error`, when no thread could be started.
[[nodiscard]] bool startDetachedThread(std::function<void()> body, std::string& error);

// Argument `index` of the command line as the user typed it (on Windows the
// wide command line, not `narrow` in the ANSI code page).
std::wstring argumentText(int index, const char* narrow);

} // namespace korvane
