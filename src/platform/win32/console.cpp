#include "platform/console.h"

#include "platform/text.h"
#include "platform/win32/codepage.h"

#include <cstdio>
#include <iostream>
#include <streambuf>
#include <windows.h>

namespace korvane {

namespace {

bool isConsole(HANDLE h) {
    DWORD mode = 0;
    return h != INVALID_HANDLE_VALUE && h != nullptr && GetConsoleMode(h, &mode);
}

// Collects what the narrow stream is given and writes it as UTF-16 on every
// flush. A UTF-8 sequence cut by the flush waits for its remaining bytes.
class ConsoleTextBuffer : public std::streambuf {
  public:
    explicit ConsoleTextBuffer(HANDLE console) : console_(console) {}

  protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        pending_ += traits_type::to_char_type(c);
        if (pending_.size() >= 8192) sync();
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        pending_.append(s, size_t(n));
        if (pending_.size() >= 8192) sync();
        return n;
    }
    int sync() override {
        size_t whole = completeLength(pending_);
        if (whole == 0) return 0;
        std::wstring wide = codePageToWide(pending_.substr(0, whole), CP_UTF8);
        pending_.erase(0, whole);
        DWORD written = 0;
        WriteConsoleW(console_, wide.data(), DWORD(wide.size()), &written, nullptr);
        return 0;
    }

  private:
    // The length up to a UTF-8 sequence that is still missing bytes at the end.
    static size_t completeLength(const std::string& s) {
        size_t n = s.size();
        for (size_t back = 1; back <= 3 && back <= n; ++back) {
            unsigned char b = static_cast<unsigned char>(s[n - back]);
            if ((b & 0xC0) == 0x80) continue; // a continuation byte: look further back
            size_t need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
            return need > back ? n - back : n;
        }
        return n;
    }

    HANDLE console_;
    std::string pending_;
};

} // namespace

void consoleUseWideText() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!isConsole(out)) return;
    std::cout.flush();
    // Never destroyed: std::cout is flushed at exit, after static objects may
    // already be gone.
    std::cout.rdbuf(new ConsoleTextBuffer(out));
}

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
    std::cout.flush();
    std::fflush(stdout);
    COORD home{0, 0};
    SetConsoleCursorPosition(out, home);
}

void consoleSetTitle(const std::string& title) {
    // The title is UTF-8 like everything else: the A form would read it in
    // the ANSI code page.
    SetConsoleTitleW(utf8ToWide(title).c_str());
}

void consoleClear() {
    std::cout.flush();
    std::fflush(stdout);
    // Only a real console is cleared, through its own API: no command
    // interpreter is started (one looked up in the current folder, were
    // COMSPEC missing).
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!isConsole(out) || !GetConsoleScreenBufferInfo(out, &info)) return;
    DWORD cells = DWORD(info.dwSize.X) * DWORD(info.dwSize.Y), done = 0;
    COORD home{0, 0};
    FillConsoleOutputCharacterW(out, L' ', cells, home, &done);
    FillConsoleOutputAttribute(out, info.wAttributes, cells, home, &done);
    SetConsoleCursorPosition(out, home);
}

void consoleWriteWide(const std::wstring& text) {
    std::cout.flush();
    std::fflush(stdout);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (isConsole(out)) {
        DWORD written = 0;
        WriteConsoleW(out, text.data(), DWORD(text.size()), &written, nullptr);
        return;
    }
    std::string utf8 = wideToUtf8(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

} // namespace korvane
