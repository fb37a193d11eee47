#include "platform/replace.h"

#include <windows.h>

#include <shellapi.h>

namespace korvane {

bool swapNeedsScript() {
    return true;
}

std::string scriptPathText(const std::wstring& path) {
    // A batch file is read in the console's OEM code page.
    if (path.empty()) return {};
    int n = WideCharToMultiByte(CP_OEMCP, 0, path.data(), int(path.size()), nullptr, 0, nullptr,
                                nullptr);
    if (n <= 0) return {};
    std::string text(size_t(n), '\0');
    WideCharToMultiByte(CP_OEMCP, 0, path.data(), int(path.size()), text.data(), n, nullptr,
                        nullptr);
    return text;
}

void startScriptHidden(const std::wstring& script) {
    ShellExecuteW(nullptr, L"open", script.c_str(), nullptr, nullptr, SW_HIDE);
}

void restartAs(const std::wstring&) {
    // The script starts the new build once this process has ended.
}

} // namespace korvane
