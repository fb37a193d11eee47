#include "platform/clock.h"

#include <cerrno>
#include <time.h>

namespace korvane {

uint64_t tickCountMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
}

void sleepMs(uint32_t ms) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    timespec until = now;
    until.tv_sec += ms / 1000;
    until.tv_nsec += long(ms % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

std::string formatLocalTime(std::time_t when, const char* format) {
    // 1 January 3000, 00:00 UTC.
    if (when < 0 || when >= std::time_t(32503680000)) return {};
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr) return {};
    char buf[128];
    size_t n = std::strftime(buf, sizeof buf, format, &local);
    return std::string(buf, n);
}

} // namespace korvane
