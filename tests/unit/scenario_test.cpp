#include "test_support.h"

using namespace korvane;
using namespace korvane::testkit;

// The rig's frames are what the fault cases rely on: torn frames must really
// be torn, and the names must reach the fields the program reads.
TEST(Scenario, FramesCarryCountersNamesAndFaults) {
    Scenario sc = test::scenarioFrom(R"(
track "Spa"
player id=9 driver="Me" vehicle="Car 9" class="GT"
car id=1 driver="A"
timeline
drive 1
torn 1
vehicles 200
)");
    ScenarioPlayer p(sc);
    FrameBuffers fb;
    fb.publish(sc, p.world());
    EXPECT_EQ(fb.telemetry->beginCounter, fb.telemetry->endCounter);
    EXPECT_EQ(fb.scoring->numVehicles, 2);
    EXPECT_STREQ(fb.scoring->trackName, "Spa");
    EXPECT_EQ(fb.scoring->vehicles[1].id, 9);
    EXPECT_EQ(fb.scoring->vehicles[1].isPlayer, 1);
    p.advance(1.5);
    fb.publish(sc, p.world());
    EXPECT_NE(fb.telemetry->beginCounter, fb.telemetry->endCounter);
    p.advance(1.0);
    fb.publish(sc, p.world());
    EXPECT_EQ(fb.telemetry->beginCounter, fb.telemetry->endCounter);
    EXPECT_EQ(fb.scoring->numVehicles, 200);
}

// A spell that opens the timeline holds from the very first frame, which a
// reader may see before the publisher has advanced at all.
TEST(Scenario, OpeningSpellShowsInTheFirstFrame) {
    struct Case {
        const char* timeline;
        bool torn, playerShown;
    } cases[] = {
        {"hide-player 10\n", false, false},
        {"torn 4\ndrive 10\n", true, true},
        {"phase 8\nhide-player 10\n", false, false}, // after an instant step
        {"drive 10\nhide-player 10\n", false, true},
    };
    for (const Case& c : cases) {
        Scenario sc = test::scenarioFrom(std::string("player id=9 driver=\"Me\"\ncar id=1 "
                                                     "driver=\"A\"\ntimeline\n") +
                                         c.timeline);
        ScenarioPlayer p(sc);
        FrameBuffers fb;
        fb.publish(sc, p.world());
        EXPECT_EQ(fb.telemetry->beginCounter != fb.telemetry->endCounter, c.torn) << c.timeline;
        EXPECT_EQ(fb.scoring->vehicles[1].isPlayer == 1, c.playerShown) << c.timeline;
    }
}
