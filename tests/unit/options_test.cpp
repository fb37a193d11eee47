#include "app/options.h"

#include <gtest/gtest.h>
#include <vector>

using namespace korvane;

namespace {

struct Parsed {
    ToolRequest tool;
    Options options;
};

Parsed parse(std::vector<const char*> args) {
    args.insert(args.begin(), "korvane-companion");
    Parsed p;
    p.tool = firstOptionPass(int(args.size()), args.data(), p.options);
    if (p.tool == ToolRequest::None) secondOptionPass(int(args.size()), args.data(), p.options);
    return p;
}

} // namespace

// Only exact texts count, in any order and however often; the first tool
// named runs, before any option after it is read.
TEST(Options, Table) {
    constexpr ToolRequest None = ToolRequest::None, Probe = ToolRequest::Probe;
    struct Case {
        std::vector<const char*> args;
        ToolRequest tool;
        bool raceOnly, verbose, skipUpdate;
        std::vector<int> reportFiles = {};
        int recordFile = 0;
        double reserveLaps = 1;
    } cases[] = {
        {{"--All-Sessions", "--verbose=1", "--restdump "}, None, true, false, false},
        {{"--all-sessions", "--no-update", "--verbose"}, None, false, true, true},
        {{"x", "--verbose", "y", "--no-update", "--all-sessions", "--verbose"},
         None,
         false,
         true,
         true},
        {{"--probe", "--restdump"}, Probe, true, false, false},
        {{"--restdump", "--probe"}, ToolRequest::RestDump, true, false, false},
        {{"--all-sessions", "--probe"}, Probe, false, false, false},
        {{"--probe", "--all-sessions"}, Probe, true, false, false},
        {{"--all-sessions", "--report", "r.kvr"}, ToolRequest::Report, false, false, false, {3}},
        {{"--report", "a.kvr", "b.kvr", "--reserve-laps", "1,5"},
         ToolRequest::Report,
         true,
         false,
         false,
         {2, 3},
         0,
         1.5},
        {{"--reserve-laps", "0", "--report"}, ToolRequest::Report, true, false, false, {}, 0, 0},
        {{"--record", "r.kvr"}, ToolRequest::Record, true, false, false, {}, 2},
        {{"--record"}, ToolRequest::Record, true, false, false},
        // A file dropped onto the program is its only argument.
        {{"race.kvr"}, ToolRequest::Dropped, true, false, false, {1}},
        {{"a.kvr", "b.kvr"}, ToolRequest::Dropped, true, false, false, {1, 2}},
        {{"--reserve-laps", "2.5", "--verbose"}, None, true, true, false, {}, 0, 2.5},
        {{"race.kvr", "--verbose"}, None, true, true, false},
        {{"-race.kvr"}, None, true, false, false},
    };
    for (const Case& c : cases) {
        Parsed p = parse(c.args);
        EXPECT_EQ(p.tool, c.tool) << c.args[0];
        EXPECT_EQ(p.options.raceOnly, c.raceOnly) << c.args[0];
        EXPECT_EQ(p.options.verbose, c.verbose) << c.args[0];
        EXPECT_EQ(p.options.skipUpdate, c.skipUpdate) << c.args[0];
        EXPECT_EQ(p.options.reportFiles, c.reportFiles) << c.args[0];
        EXPECT_EQ(p.options.reserveLaps, c.reserveLaps) << c.args[0];
        EXPECT_EQ(p.options.recordFile, c.recordFile) << c.args[0];
    }
}

// A reserve that is no number of laps, or none at all, stops the program
// with a message, whatever else the line asks for.
TEST(Options, ReserveOutOfRange) {
    for (const char* bad : {"x", "-1", "10.5", "nan", "1.5x", ""}) {
        Parsed p = parse({"--probe", "--reserve-laps", bad});
        EXPECT_EQ(p.tool, ToolRequest::BadOption) << bad;
        EXPECT_NE(p.options.error.find("--reserve-laps takes"), std::string::npos) << bad;
    }
    EXPECT_EQ(parse({"--reserve-laps"}).tool, ToolRequest::BadOption);
}
