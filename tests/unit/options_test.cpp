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
        int reportFile = 0, recordFile = 0;
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
        {{"--all-sessions", "--report", "r.kvr"}, ToolRequest::Report, false, false, false, 3},
        {{"--report"}, ToolRequest::Report, true, false, false, 0},
        {{"--record", "r.kvr"}, ToolRequest::Record, true, false, false, 0, 2},
        {{"--record"}, ToolRequest::Record, true, false, false},
        // A file dropped onto the program is its only argument.
        {{"race.kvr"}, ToolRequest::Dropped, true, false, false, 1},
        {{"race.kvr", "--verbose"}, None, true, true, false},
        {{"-race.kvr"}, None, true, false, false},
    };
    for (const Case& c : cases) {
        Parsed p = parse(c.args);
        EXPECT_EQ(p.tool, c.tool) << c.args[0];
        EXPECT_EQ(p.options.raceOnly, c.raceOnly) << c.args[0];
        EXPECT_EQ(p.options.verbose, c.verbose) << c.args[0];
        EXPECT_EQ(p.options.skipUpdate, c.skipUpdate) << c.args[0];
        EXPECT_EQ(p.options.reportFile, c.reportFile) << c.args[0];
        EXPECT_EQ(p.options.recordFile, c.recordFile) << c.args[0];
    }
}
