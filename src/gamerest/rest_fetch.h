#pragma once
// The game's local REST interface: plain HTTP on localhost:6397.
#include <string>

namespace korvane {

// The body of one GET, whatever its status; empty on any failure. Never
// waits longer than its time-outs, never reports an error.
std::string restGet(const std::wstring& path);

} // namespace korvane
