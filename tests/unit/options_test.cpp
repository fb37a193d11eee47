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

TEST(Options, OnlyExactTextsCount) {
    struct Case {
        const char* arg;
    } ignored[] = {{"--All-Sessions"}, {"--verbose=1"}, {"--restdump "}};
    for (const Case& c : ignored) {
        Parsed p = parse({c.arg});
        EXPECT_EQ(p.tool, ToolRequest::None) << c.arg;
        EXPECT_TRUE(p.options.raceOnly) << c.arg;
        EXPECT_FALSE(p.options.verbose) << c.arg;
        EXPECT_FALSE(p.options.skipUpdate) << c.arg;
    }
}

TEST(Options, AnyOrderAndRepeatsGiveTheSameResult) {
    std::vector<std::vector<const char*>> orders = {
        {"--all-sessions", "--no-update", "--verbose"},
        {"--verbose", "--all-sessions", "--no-update"},
        {"--no-update", "--verbose", "--all-sessions", "--verbose", "--no-update"},
        {"x", "--verbose", "y", "--no-update", "--all-sessions", "--all-sessions"},
    };
    for (const auto& args : orders) {
        Parsed p = parse(args);
        EXPECT_EQ(p.tool, ToolRequest::None);
        EXPECT_FALSE(p.options.raceOnly);
        EXPECT_TRUE(p.options.verbose);
        EXPECT_TRUE(p.options.skipUpdate);
    }
}

TEST(Options, FirstToolInArgumentOrderRuns) {
    EXPECT_EQ(parse({"--probe", "--restdump"}).tool, ToolRequest::Probe);
    EXPECT_EQ(parse({"--restdump", "--probe"}).tool, ToolRequest::RestDump);
    Parsed before = parse({"--all-sessions", "--probe"});
    EXPECT_FALSE(before.options.raceOnly);
    Parsed after = parse({"--probe", "--all-sessions"});
    EXPECT_TRUE(after.options.raceOnly); // the tool ran before it was reached
}
