#pragma once
// What an edit of the plugin settings may do, checked by the unit tests on
// generated files and by the fuzzer on any bytes at all.
#include <string>

namespace korvane::testkit {

inline constexpr const char* PluginName = "rFactor2SharedMemoryMapPlugin64.dll";
// Why `out` is not a permitted result of editing `in` successfully, or empty:
// one Enabled digit changed from 0 to 1 where the plugin is named, the section
// added right after the first brace, or a new file; the result reads as
// enabled.
std::string settingsEditViolation(const std::string& in, const std::string& out);

} // namespace korvane::testkit
