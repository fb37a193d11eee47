#include "analysis/session.h"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>

using namespace korvane;

TEST(Session, TypeNamesAndFilter) {
    struct Case {
        int32_t type;
        const char* name;
        bool raceOnlyAllowed;
    } cases[] = {{0, "test day", false},   {1, "practice", false},   {4, "practice", false},
                 {5, "qualifying", false}, {8, "qualifying", false}, {9, "warmup", false},
                 {10, "race", true},       {13, "race", true},       {14, "unknown", false},
                 {-1, "unknown", false}};
    for (const Case& c : cases) {
        EXPECT_STREQ(sessionTypeName(c.type), c.name) << c.type;
        EXPECT_EQ(sessionAllowed(c.type, true), c.raceOnlyAllowed) << c.type;
        EXPECT_TRUE(sessionAllowed(c.type, false)) << c.type;
    }
}

TEST(Session, SessionOkNeedsEveryCondition) {
    auto good = [] {
        auto s = std::make_unique<ScoringBuffer>();
        std::strcpy(s->trackName, "Spa");
        s->sessionType = 10;
        s->inRealtime = 1;
        s->currentEt = 1.5;
        s->gamePhase = 5;
        return s;
    };
    EXPECT_TRUE(computeSessionOk(*good(), true));
    struct Case {
        const char* what;
        void (*spoil)(ScoringBuffer&);
        bool allSessions;
    } cases[] = {
        {"qualifying", [](ScoringBuffer& s) { s.sessionType = 6; }, false},
        {"not realtime", [](ScoringBuffer& s) { s.inRealtime = 0; }, true},
        {"no track", [](ScoringBuffer& s) { s.trackName[0] = 0; }, true},
        {"first second", [](ScoringBuffer& s) { s.currentEt = 1.0; }, true},
        {"phase 0", [](ScoringBuffer& s) { s.gamePhase = 0; }, true},
        {"phase 9", [](ScoringBuffer& s) { s.gamePhase = 9; }, true},
    };
    for (const Case& c : cases) {
        auto s = good();
        c.spoil(*s);
        EXPECT_FALSE(computeSessionOk(*s, !c.allSessions)) << c.what;
    }
    auto quali = good();
    quali->sessionType = 6;
    EXPECT_TRUE(computeSessionOk(*quali, false));
}
