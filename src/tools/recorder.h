#pragma once
// --record FILE: writes what the companion would read, tick by tick, to a
// file a driver can send in and a developer can replay.
#include "telemetry/recording.h"
#include "telemetry/shared_views.h"

#include <string>

namespace korvane {

// Copies the bytes the program reads of each open mapping into the tick: the
// header and the used vehicle slots, the whole pit menu. A copy the publisher
// was half-way through writing is taken again, a few times at most.
void captureBuffers(const SharedViews& views, RecordedTick& tick);

// The tool. Returns the exit code.
int runRecorder(const std::wstring& path);

} // namespace korvane
