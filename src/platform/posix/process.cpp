#include "platform/process.h"

#include "platform/text.h"

#include <csignal>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace korvane {

std::wstring executablePath() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    return utf8ToWide(std::string(buf, size_t(n)));
}

bool startDetachedThread(std::function<void()> body, std::string& error) {
    try {
        std::thread(std::move(body)).detach();
        return true;
    } catch (const std::system_error& e) {
        error = e.what();
        return false;
    }
}

void ignoreBrokenPipes() {
    std::signal(SIGPIPE, SIG_IGN);
}

namespace {
volatile bool stopRequested = false;
extern "C" void onStopSignal(int) {
    stopRequested = true;
}
} // namespace

const volatile bool* installStopFlag() {
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    return &stopRequested;
}

std::wstring argumentText(int, const char* narrow) {
    return utf8ToWide(narrow);
}

} // namespace korvane
