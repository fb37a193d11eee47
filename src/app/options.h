#pragma once
// The command line. Arguments are compared whole and case-sensitively; any
// other argument is ignored without a word.

namespace korvane {

struct Options {
    bool raceOnly = true;
    bool verbose = false;
    bool skipUpdate = false;
    int recordFile = 0; // index of the argument after "--record", 0 when none
    int reportFile = 0; // index of the argument after "--report", or of a dropped file
};

// Dropped: the only argument is no option, as when Windows starts the program
// for a file dropped onto it. It is a report if that file can be read.
enum class ToolRequest { None, Probe, RestDump, Record, Report, Dropped };

// First pass: applies "--all-sessions" up to the first tool option and
// returns that tool, so an option before the tool still counts.
ToolRequest firstOptionPass(int argc, const char* const* argv, Options& options);

// Second pass, after the finished-update check: "--no-update", "--verbose".
void secondOptionPass(int argc, const char* const* argv, Options& options);

} // namespace korvane
