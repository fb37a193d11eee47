#pragma once
// One line per full tick in korvane_live.log.
#include <cstdint>
#include <string>

namespace korvane {

struct LogLineInput {
    std::string timeText; // local time, "%Y-%m-%d %H:%M:%S"
    std::string roomCode;
    int32_t vehicleId = 0;
    bool tracking = false;
    int32_t lap = 0;
    double fuelLitres = 0;
    bool postOk = false;
    // A tyre change, a raw pit signal or a fuel rise: the tick's document is
    // copied into the log so a stop can be reconstructed afterwards.
    bool eventTick = false;
    std::string payload;
    // Where the tick's data came from, on the run's first line and whenever
    // the route changes; empty on the other lines.
    std::string sourceNote;
};

std::string formatLogLine(const LogLineInput& in);

// Appends the line to the log file, its lines ended as text files end them
// on this platform. A failed write (a full disk) loses that
// line alone: the next call tries afresh, so logging resumes once there is
// room again. The failure is not reported. Once the file holds
// `rotateAtBytes`, it becomes the previous log (replacing the one before) and
// the next line starts a new file: a season of races never fills the disk.
constexpr uint64_t LiveLogRotateBytes = 50'000'000;
void appendLogLine(const std::wstring& path, const LogLineInput& in,
                   uint64_t rotateAtBytes = LiveLogRotateBytes);

// Where the previous log goes: korvane_live.log -> korvane_live.old.log.
std::wstring previousLogPath(const std::wstring& path);

} // namespace korvane
