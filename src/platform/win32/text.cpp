#include "platform/text.h"

#include "platform/win32/codepage.h"

#include <windows.h>

namespace korvane {

std::wstring codePageToWide(const std::string& text, unsigned codePage) {
    if (text.empty()) return {};
    int n = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(size_t(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), wide.data(), n);
    return wide;
}

std::wstring utf8ToWide(const std::string& utf8) {
    return codePageToWide(utf8, CP_UTF8);
}

std::string wideToCodePage(const std::wstring& wide, unsigned codePage) {
    if (wide.empty()) return {};
    int n = WideCharToMultiByte(codePage, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr,
                                nullptr);
    if (n <= 0) return {};
    std::string text(size_t(n), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), int(wide.size()), text.data(), n, nullptr,
                        nullptr);
    return text;
}

bool wideToCodePageExact(const std::wstring& wide, unsigned codePage, std::string& text) {
    text.clear();
    if (wide.empty()) return true;
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()),
                                nullptr, 0, nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return false;
    text.assign(size_t(n), '\0');
    WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), text.data(),
                        n, nullptr, &usedDefault);
    return !usedDefault;
}

std::string wideToUtf8(const std::wstring& wide) {
    return wideToCodePage(wide, CP_UTF8);
}

} // namespace korvane
