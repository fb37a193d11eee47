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

void appendLogLine(const std::wstring& path, const LogLineInput& in) {
    // The document holds no line break of its own: every '\n' ends a line.
    std::string text;
    for (char c : formatLogLine(in)) {
        if (c == '\n')
            text += TextLineEnd;
        else
            text += c;
    }
    (void)appendFileBytes(path, text);
}

} // namespace korvane
