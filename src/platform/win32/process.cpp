#include "platform/process.h"

#include <memory>
#include <windows.h>

#include <shellapi.h>

namespace korvane {

std::wstring executablePath() {
    wchar_t buf[260];
    DWORD n = GetModuleFileNameW(nullptr, buf, 260);
    if (n == 0 || n >= 260) return {};
    return std::wstring(buf, n);
}

namespace {
DWORD WINAPI runDetached(void* p) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(p));
    (*body)();
    return 0;
}
} // namespace

// The system's own threads, not the C++ runtime's: its thread layer, under a
// steady churn of short-lived detached threads (one per bounded exchange),
// was seen to start a thread without its argument, which ended the program.
bool startDetachedThread(std::function<void()> body, std::string& error) {
    auto heap = std::make_unique<std::function<void()>>(std::move(body));
    HANDLE thread = CreateThread(nullptr, 0, runDetached, heap.get(), 0, nullptr);
    if (!thread) {
        error = "CreateThread failed (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    heap.release();
    CloseHandle(thread);
    return true;
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
