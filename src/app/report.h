#pragma once
// --report FILE...: recordings run through the live program's own tick, as
// fast as the machine goes, into one HTML page beside the first recording.
#include "tools/stint_report.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace korvane {

enum class ReportBuilt { Whole, Cut, Refused };

// Reads the recording and fills the report. Refused, with the reason, when
// the file is not a recording this build reads or one of its ticks is
// damaged; Cut when it ends inside a tick (the report holds the whole ones).
ReportBuilt buildStintReport(std::istream& in, bool raceOnly, double reserveLaps,
                             StintReport& report, std::string& err);

// The page's path: the recording's with ".html" in place of its extension.
std::wstring reportPathFor(const std::wstring& recording);

// The tool: one recording, or several of one car in one session merged.
// `waitForEnter` when the program was started for files dropped onto it, so
// that its window stays up to be read. Returns the exit code.
int runReport(const std::vector<std::wstring>& paths, bool raceOnly, double reserveLaps,
              bool waitForEnter);

} // namespace korvane
