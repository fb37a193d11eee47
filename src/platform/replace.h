#pragma once
// Handing a running program over to a new build of itself.
#include <string>

namespace korvane {

// True where a running executable's file cannot be replaced (Windows): the
// swap is then left to a command script that runs once this process ends.
// Elsewhere the file is renamed over and the new build takes over the process.
bool swapNeedsScript();

// A path as 8-bit text that the platform's command interpreter reads back
// as the same path, in a script's "set" line. False when the path cannot be
// written so: the script would name another file.
[[nodiscard]] bool scriptPathText(const std::wstring& path, std::string& text);

// Starts a command script hidden, without waiting for it.
void startScriptHidden(const std::wstring& script);

// Runs `exe` in place of this process, with this process's arguments, in the
// same terminal. Returns only when that could not be done.
void restartAs(const std::wstring& exe);

} // namespace korvane
