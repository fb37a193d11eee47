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
    // 1 January 3000, 00:00 UTC.
    if (when < 0 || when >= std::time_t(32503680000)) return {};
    std::tm local{};
    if (localtime_s(&local, &when) != 0) return {};
    char buf[128];
    size_t n = std::strftime(buf, sizeof buf, format, &local);
    return std::string(buf, n);
}

} // namespace korvane
