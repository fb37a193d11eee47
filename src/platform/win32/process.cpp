#include "platform/process.h"

#include <windows.h>

#include <shellapi.h>

namespace korvane {

std::wstring executablePath() {
    wchar_t buf[260];
    DWORD n = GetModuleFileNameW(nullptr, buf, 260);
    if (n == 0 || n >= 260) return {};
    return std::wstring(buf, n);
}

void ignoreBrokenPipes() {
    // Writes to a closed pipe fail with an error here; there is no signal.
}

namespace {
volatile bool stopRequested = false;
BOOL WINAPI onConsoleControl(DWORD) {
    stopRequested = true;
    return TRUE;
}
} // namespace

const volatile bool* installStopFlag() {
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
    return &stopRequested;
}

std::wstring argumentText(int index, const char* narrow) {
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring text;
    if (args && index >= 0 && index < count) {
        text = args[index];
    } else {
        int n = MultiByteToWideChar(CP_ACP, 0, narrow, -1, nullptr, 0);
        text.resize(n > 0 ? size_t(n) : 1);
        MultiByteToWideChar(CP_ACP, 0, narrow, -1, text.data(), n);
        text.resize(text.size() - 1);
    }
    LocalFree(args);
    return text;
}

} // namespace korvane
