#include "platform/console.h"

#include "platform/text.h"

#include <cstdio>
#include <cstdlib>
#include <windows.h>

namespace korvane {

int consoleVisibleWidth() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == INVALID_HANDLE_VALUE || out == nullptr) return -1;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(out, &info)) return -1;
    return int(info.srWindow.Right) - int(info.srWindow.Left);
}

void consoleHomeCursor() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == INVALID_HANDLE_VALUE || out == nullptr) return;
    std::fflush(stdout);
    COORD home{0, 0};
    SetConsoleCursorPosition(out, home);
}

void consoleSetTitle(const std::string& title) {
    SetConsoleTitleA(title.c_str());
}

void consoleClear() {
    std::fflush(stdout);
    // Only a real console is cleared: "cls" on a pipe would write a form feed
    // into whatever is capturing the output.
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out == INVALID_HANDLE_VALUE || out == nullptr || !GetConsoleMode(out, &mode)) return;
    std::system("cls");
}

void consoleWriteWide(const std::wstring& text) {
    std::fflush(stdout);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out != INVALID_HANDLE_VALUE && out != nullptr && GetConsoleMode(out, &mode)) {
        DWORD written = 0;
        WriteConsoleW(out, text.data(), DWORD(text.size()), &written, nullptr);
        return;
    }
    std::string utf8 = wideToUtf8(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

} // namespace korvane
