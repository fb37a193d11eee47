#pragma once
// Wide text in one of Windows' 8-bit code pages (Windows builds only).
#include <string>

namespace korvane {

std::string wideToCodePage(const std::wstring& wide, unsigned codePage);
// False when a character has no exact form in the code page: a best fit
// (another letter, or '?') would stand in for it.
[[nodiscard]] bool wideToCodePageExact(const std::wstring& wide, unsigned codePage,
                                       std::string& text);
std::wstring codePageToWide(const std::string& text, unsigned codePage);

} // namespace korvane
