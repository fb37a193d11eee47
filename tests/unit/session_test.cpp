#include "analysis/session.h"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>

using namespace korvane;

TEST(Session, TypeNames) {
    const char* names[] = {"unknown",    "test day",   "practice",   "practice",
                           "practice",   "practice",   "qualifying", "qualifying",
                           "qualifying", "qualifying", "warmup",     "race",
                           "race",       "race",       "race",       "unknown"};
    for (int t = -1; t <= 14; ++t) EXPECT_STREQ(sessionTypeName(t), names[t + 1]) << t;
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
