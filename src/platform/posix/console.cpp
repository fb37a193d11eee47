#include "platform/console.h"

#include "platform/text.h"

#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace korvane {

namespace {

bool stdoutIsTerminal() {
    return isatty(STDOUT_FILENO) == 1;
}

} // namespace

void consoleUseWideText() {}

int consoleVisibleWidth() {
    if (!stdoutIsTerminal()) return -1;
    winsize ws{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0) return -1;
    // A terminal of N columns spans columns 0..N-1, as a console window does.
    return int(ws.ws_col) - 1;
}

void consoleHomeCursor() {
    if (!stdoutIsTerminal()) return;
    std::fputs("\x1b[H", stdout);
}

void consoleSetTitle(const std::string& title) {
    if (!stdoutIsTerminal()) return;
    std::fprintf(stdout, "\x1b]0;%s\x07", title.c_str());
}

void consoleClear() {
    if (!stdoutIsTerminal()) return;
    std::fputs("\x1b[2J\x1b[H", stdout);
    std::fflush(stdout);
}

void consoleWriteWide(const std::wstring& text) {
    std::string utf8 = wideToUtf8(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

} // namespace korvane
