#pragma once
// Wide text in one of Windows' 8-bit code pages (Windows builds only).
#include <string>

namespace korvane {

std::string wideToCodePage(const std::wstring& wide, unsigned codePage);
std::wstring codePageToWide(const std::string& text, unsigned codePage);

} // namespace korvane
