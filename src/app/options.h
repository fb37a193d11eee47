#pragma once
// The command line. Arguments are compared whole and case-sensitively; any
// other argument is ignored without a word.
#include <string>
#include <vector>

namespace korvane {

struct Options {
    bool raceOnly = true;
    bool verbose = false;
    bool skipUpdate = false;
    int recordFile = 0;           // index of the argument after "--record", 0 when none
    std::vector<int> reportFiles; // indexes of the recordings to report on
    double reserveLaps = 1;       // "--reserve-laps N": laps' worth kept in hand at the flag
    std::string error;            // an option given a value it cannot take
};

// Dropped: no argument is an option, as when Windows starts the program for
// files dropped onto it. It is a report if the first file can be read.
enum class ToolRequest { None, Probe, RestDump, Record, Report, Dropped, BadOption };

// First pass: applies "--all-sessions" up to the first tool option and
// returns that tool, so an option before the tool still counts.
// "--reserve-laps" counts wherever it stands; a value it cannot take gives
// BadOption, with the message in `error`.
ToolRequest firstOptionPass(int argc, const char* const* argv, Options& options);

// Second pass, after the finished-update check: "--no-update", "--verbose".
void secondOptionPass(int argc, const char* const* argv, Options& options);

} // namespace korvane
