#pragma once
// Time as the rest of the program sees it. All periodic work sleeps relative
// to a monotonic clock, so a change of the wall clock never stretches a tick.
#include <cstdint>
#include <ctime>
#include <string>

namespace korvane {

// Milliseconds since an arbitrary start, never going backwards.
uint64_t tickCountMs();

// Sleeps for the given time, measured on the monotonic clock.
void sleepMs(uint32_t ms);

// Local time of a calendar time, formatted with strftime; empty for a time
// before 1970 or from the year 3000 on, which not every platform's calendar
// can show (Windows' ends the program).
std::string formatLocalTime(std::time_t when, const char* format);

} // namespace korvane
