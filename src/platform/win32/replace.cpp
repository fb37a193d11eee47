#include "platform/replace.h"

#include "platform/win32/codepage.h"

#include <windows.h>

#include <shellapi.h>

namespace korvane {

bool swapNeedsScript() {
    return true;
}

std::string scriptPathText(const std::wstring& path) {
    // A batch file is read in the console's OEM code page.
    return wideToCodePage(path, CP_OEMCP);
}

void startScriptHidden(const std::wstring& script) {
    ShellExecuteW(nullptr, L"open", script.c_str(), nullptr, nullptr, SW_HIDE);
}

void restartAs(const std::wstring&) {
    // The script starts the new build once this process has ended.
}

} // namespace korvane
