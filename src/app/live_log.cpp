#include "app/live_log.h"

#include "platform/files.h"

#include <iomanip>
#include <sstream>

namespace korvane {

std::string formatLogLine(const LogLineInput& in) {
    std::ostringstream s;
    s << std::fixed << std::setprecision(1);
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
    (void)appendFileBytes(path, formatLogLine(in));
}

} // namespace korvane
