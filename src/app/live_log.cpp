#include "app/live_log.h"

#include "platform/files.h"

#include <iomanip>
#include <sstream>

namespace korvane {

std::string formatLogLine(const LogLineInput& in) {
    std::ostringstream s;
    s << std::fixed << std::setprecision(1);
    if (!in.sourceNote.empty()) s << " SOURCE: " << in.sourceNote << "\n";
    s << "[" << in.timeText << "] room=" << in.roomCode << " id=" << in.vehicleId
      << " active=" << (in.tracking ? "Y" : "n") << " Lap " << in.lap << " | Fuel " << in.fuelLitres
      << "L"
      << " | ";
    if (!in.tracking) {
        s << "NO POST\n";
        return s.str();
    }
    s << (in.postOk ? "POST OK" : "POST FAIL") << "\n";
    if (in.eventTick) s << " JSON: " << in.payload << "\n";
    return s.str();
}

void appendLogLine(const std::wstring& path, const LogLineInput& in, uint64_t rotateAtBytes) {
    // The document holds no line break of its own: every '\n' ends a line.
    std::string text;
    for (char c : formatLogLine(in)) {
        if (c == '\n')
            text += TextLineEnd;
        else
            text += c;
    }
    (void)appendFileBytes(path, text);
    uint64_t size = 0;
    if (fileSizeOf(path, size) && size >= rotateAtBytes)
        (void)moveFileOver(path, previousLogPath(path), false);
}

std::wstring previousLogPath(const std::wstring& path) {
    const std::wstring ending = L".log";
    if (path.size() >= ending.size() &&
        path.compare(path.size() - ending.size(), ending.size(), ending) == 0)
        return path.substr(0, path.size() - ending.size()) + L".old.log";
    return path + L".old";
}

} // namespace korvane
