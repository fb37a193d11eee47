#pragma once
// Conversions between UTF-8 and the platform's wide text.
#include <string>

namespace korvane {

// UTF-8 to wide text through the platform's own conversion; empty in, empty out.
std::wstring utf8ToWide(const std::string& utf8);

// Wide text to UTF-8.
std::string wideToUtf8(const std::wstring& wide);

} // namespace korvane
