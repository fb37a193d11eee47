#include "platform/process.h"

#include <windows.h>

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

} // namespace korvane
