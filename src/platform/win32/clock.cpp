#include "platform/clock.h"

#include <windows.h>

namespace korvane {

uint64_t tickCountMs() {
    return GetTickCount64();
}

void sleepMs(uint32_t ms) {
    Sleep(ms);
}

std::string formatLocalTime(std::time_t when, const char* format) {
    std::tm local{};
    localtime_s(&local, &when);
    char buf[128];
    size_t n = std::strftime(buf, sizeof buf, format, &local);
    return std::string(buf, n);
}

} // namespace korvane
