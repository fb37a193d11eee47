// A recording sent in by a driver: its chunks after a good header, and the
// header itself. Whatever the bytes, no tick may hold more than the mapping a
// replay writes it into.
#include "telemetry/layout.h"
#include "telemetry/recording.h"

#include <cstdlib>
#include <sstream>

namespace {

void readAll(const std::string& file) {
    std::istringstream in(file);
    korvane::RecordingReader reader(in);
    korvane::RecordingInfo info;
    std::string err;
    if (!reader.readHeader(info, err)) return;
    korvane::RecordedTick tick;
    while (reader.next(tick) == korvane::ChunkRead::Tick) {
        if (tick.telemetry.size() > sizeof(korvane::TelemetryBuffer) ||
            tick.scoring.size() > sizeof(korvane::ScoringBuffer) ||
            tick.pitMenu.size() > sizeof(korvane::PitMenuBuffer))
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    readAll(korvane::encodeRecordingHeader({"2.1.29", 0}) + bytes);
    readAll(bytes);
    return 0;
}
