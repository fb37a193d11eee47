#pragma once
// The game's local REST interface: plain HTTP on localhost:6397.
#include <cstdint>
#include <string>

namespace korvane {

// The body of one GET, whatever its status; empty on any failure. Never
// waits longer than its time-outs, never reports an error. `status` gets the
// answer's status, 0 when none came.
std::string restGet(const std::wstring& path, uint16_t* status = nullptr);

} // namespace korvane
