#include "telemetry/shared_views.h"
#include "test_support.h"

#include <cstring>
#include <memory>

using namespace korvane;
using korvane::testkit::FrameBuffers;

namespace {

struct Buffers {
    std::unique_ptr<ScoringBuffer> scoring = std::make_unique<ScoringBuffer>();
    std::unique_ptr<TelemetryBuffer> telemetry = std::make_unique<TelemetryBuffer>();
    Buffers() {
        // Every slot is an AI car unless a test says otherwise.
        for (auto& v : scoring->vehicles) v.control = 1;
    }
};

} // namespace

TEST(PlayerLookup, FlagFirstThenLocalControlWithinTheClampedCount) {
    struct Case {
        int32_t count;
        int flagged, local; // local: this car and every later one; -1: none
        int expected;
    } cases[] = {
        {5, 3, 1, 3},                             // the flag wins over a local car
        {5, -1, 2, 2},                            // else the first local one
        {5, -1, 0, 0},       {10, -1, -1, -1},    // neither
        {200, 127, -1, 127}, {128, 127, -1, 127}, // a count over 128 searches 128
        {200, 2, -1, 2},     {127, 127, -1, -1},  // outside the count
        {0, 0, -1, -1},      {-5, 0, -1, -1},     {4, -1, 4, -1},
    };
    for (const Case& c : cases) {
        Buffers b;
        b.scoring->numVehicles = c.count;
        if (c.flagged >= 0) b.scoring->vehicles[c.flagged].isPlayer = 1;
        for (int i = c.local; i >= 0 && i < 128; ++i) b.scoring->vehicles[i].control = 0;
        EXPECT_EQ(findPlayerScoringIndex(b.scoring.get()), c.expected) << "count " << c.count;
    }
    EXPECT_EQ(findPlayerScoringIndex(nullptr), -1);
}

TEST(TelemetryLookup, FindsByIdWithinClampedCount) {
    Buffers b;
    b.telemetry->numVehicles = 4;
    for (int i = 0; i < 128; ++i) b.telemetry->vehicles[i].id = 100 + i;
    EXPECT_EQ(findTelemetryIndexById(b.telemetry.get(), 102), 2);
    EXPECT_EQ(findTelemetryIndexById(b.telemetry.get(), 104), -1); // beyond the count
    EXPECT_EQ(findTelemetryIndexById(b.telemetry.get(), -1), -1);
    b.telemetry->vehicles[0].id = 0; // the game numbers its slots from 0
    EXPECT_EQ(findTelemetryIndexById(b.telemetry.get(), 0), 0);
    EXPECT_EQ(findTelemetryIndexById(nullptr, 102), -1);
    b.telemetry->numVehicles = 1000;
    EXPECT_EQ(findTelemetryIndexById(b.telemetry.get(), 227), 127);
}

TEST(UpdateCounters, TornWhenEitherBufferIsMidUpdate) {
    struct Case {
        uint32_t tb, te, sb, se;
        bool torn;
    } cases[] = {{7, 8, 5, 5, true}, {5, 5, 7, 8, true}, {5, 5, 9, 9, false}, {0, 0, 0, 0, false}};
    for (const Case& c : cases) {
        Buffers b;
        b.telemetry->beginCounter = c.tb;
        b.telemetry->endCounter = c.te;
        b.scoring->beginCounter = c.sb;
        b.scoring->endCounter = c.se;
        EXPECT_EQ(updateTorn(*b.telemetry, *b.scoring), c.torn);
    }
}

TEST(UpdateCounters, StaleCountsTicksWithoutNewUpdates) {
    Buffers b;
    UpdateCounters counters;
    b.telemetry->beginCounter = 3;
    b.scoring->beginCounter = 4;
    updateStale(*b.telemetry, *b.scoring, counters);
    EXPECT_EQ(counters.stale, 0);
    updateStale(*b.telemetry, *b.scoring, counters);
    updateStale(*b.telemetry, *b.scoring, counters);
    EXPECT_EQ(counters.stale, 2);
    b.scoring->beginCounter = 5; // only one buffer moved: fresh again
    updateStale(*b.telemetry, *b.scoring, counters);
    EXPECT_EQ(counters.stale, 0);
}

TEST(PitMenu, EnergyCategoryAndValueRules) {
    struct Case {
        const char* category;
        const char* choice;
        double before;
        double after;
        const char* shown;
    } cases[] = {
        {"Virtual Energy", "85%", -1, 85.0, "Virtual Energy"},
        {"VIRTUAL ENERGY", "100.5", -1, 100.5, "VIRTUAL ENERGY"},
        {"virtual energy", "105", 70, 70, "virtual energy"}, // out of range: old value kept
        {"Energy", "-1", 70, 70, "Energy"},
        {"FUEL", "40", 70, 70, "FUEL"},
        {"Virtual\x01Energy", "85", 70, 70, ""}, // control byte: category dropped
        {"Energy\x7f", "85", 70, 70, ""},
        {"Energy", "abc", -1, 0.0, "Energy"}, // atof reads nothing as 0
        // Fields filled to their last byte are cut at it; 7777... is far above 100.5.
        {"ENERGYEEEEEEEEEEEEEEEEEEEEEEEEEEE", "777777777777777777777777777777777", -1, -1,
         "ENERGYEEEEEEEEEEEEEEEEEEEEEEEEEE"},
    };
    for (const Case& c : cases) {
        PitMenuBuffer menu{};
        test::putText(menu.categoryName, 32, c.category);
        test::putText(menu.choiceString, 32, c.choice);
        PitMenuReading reading;
        reading.energyPercent = c.before;
        reading.category = "old";
        readPitMenu(menu, reading);
        EXPECT_DOUBLE_EQ(reading.energyPercent, c.after) << c.category << " / " << c.choice;
        EXPECT_EQ(reading.category, c.shown);
    }
}

// The published plugin's layout, frame after frame on one reading: the menu
// 8 bytes on, behind update counters that may be caught mid-update.
TEST(PitMenu, VersionedLayout) {
    struct Frame {
        uint32_t begin, end;
        const char* category;
        const char* choice;
        double energy;
        const char* shown;
    } frames[] = {
        {0x41, 0x41, "VIRTUAL ENERGY", "85%", 85.0, "VIRTUAL ENERGY"}, // counter bytes read "A"
        {0x42, 0x41, "FUEL", "40", 85.0, "VIRTUAL ENERGY"},            // torn: nothing taken
        {0x42, 0x42, "Virtual Energy", "105", 85.0, "Virtual Energy"},
        {0x4443, 0x4443, "", "", 85.0, ""}, // menu closed: not the counter's "CD"
        {9, 9, "FUEL:", "40", 85.0, "FUEL:"},
    };
    PitMenuReading reading;
    for (const Frame& f : frames) {
        VersionedPitMenu menu{};
        menu.beginCounter = f.begin;
        menu.endCounter = f.end;
        menu.categoryIndex = 3;
        test::putText(menu.categoryName, 32, f.category);
        test::putText(menu.choiceString, 32, f.choice);
        readPitMenu(*reinterpret_cast<const PitMenuBuffer*>(&menu), reading);
        EXPECT_DOUBLE_EQ(reading.energyPercent, f.energy) << f.category;
        EXPECT_EQ(reading.category, f.shown) << f.category;
    }
}

// Without the version block each tick reads the menu as it stands.
TEST(PitMenu, PlainLayoutFollowsTheMenu) {
    PitMenuReading reading;
    for (const char* category : {"VIRTUAL ENERGY", "FUEL", "ABS"}) {
        PitMenuBuffer menu{};
        test::putText(menu.categoryName, 32, category);
        test::putText(menu.choiceString, 32, "85%");
        readPitMenu(menu, reading);
        EXPECT_EQ(reading.category, category);
    }
    // A name that fills its field is as long as the field.
    const char full[] = {'A', 'B', 'C', 'D', 'X', '\0'};
    EXPECT_EQ(fieldLength(full, 4), 4u);
}

TEST(Names, DriverAndVehicleFallbacks) {
    Buffers b;
    VehicleScoring& s = b.scoring->vehicles[0];
    VehicleTelemetry& t = b.telemetry->vehicles[0];
    test::putText(b.scoring->playerName, 32, "Header Name");
    test::putText(s.vehicleName, 64, "Scoring Car");
    EXPECT_STREQ(playerDriverNameField(*b.scoring, s), "Header Name");
    EXPECT_STREQ(playerVehicleNameField(t, s), "Scoring Car");
    test::putText(s.driverName, 32, "R"); // one letter is a name
    test::putText(t.vehicleName, 64, "Telemetry Car");
    EXPECT_STREQ(playerDriverNameField(*b.scoring, s), "R");
    EXPECT_STREQ(playerVehicleNameField(t, s), "Telemetry Car");
}

TEST(Speed, AllThreeAxes) {
    VehicleTelemetry v{};
    v.velocity[0] = 3, v.velocity[1] = 4, v.velocity[2] = 12; // 13 m/s
    EXPECT_NEAR(speedKmh(v), 46.8, 1e-9);
}

// The player's car in the first slot is found; a torn frame ends the tick
// before the session check; a missing view waits. (Which car is the
// player's: the lookups above.)
TEST(TickStart, OutcomesFromScenarioFrames) {
    auto sc = test::scenarioFrom(R"(
track "T"
player id=7 driver="P" class="H" place=1
timeline
drive 2
torn 1
)");
    testkit::ScenarioPlayer player(sc);
    FrameBuffers fb;
    SharedViews views{fb.telemetry.get(), fb.scoring.get(), fb.pitMenu()};
    PitMenuReading pit;
    UpdateCounters counters;
    int lookups = 0;
    PlayerRecords rec;
    auto run = [&](const SharedViews& v) {
        fb.publish(sc, player.world());
        return startTick(
            v, pit, counters, [&](const ScoringBuffer&) { ++lookups; }, rec);
    };
    ASSERT_EQ(run(views), TickStart::Ready);
    EXPECT_EQ(rec.scoring, &fb.scoring->vehicles[0]);
    EXPECT_EQ(rec.telemetry->id, 7);
    player.advance(2.5);
    EXPECT_EQ(run(views), TickStart::Torn);
    EXPECT_EQ(lookups, 1);
    EXPECT_EQ(run({nullptr, fb.scoring.get(), fb.pitMenu()}), TickStart::Waiting);
}

// A named mapping seen through a view: the publisher's writes show, a view
// larger than the mapping is refused, and a closed view reports nothing.
TEST(SharedMemory, ViewOfAPublishedMapping) {
    test::TestMapping mapping(4096);
    ASSERT_TRUE(mapping.created) << mapping.error;
    const char* name = mapping.name.c_str();
    MappedView view = openMappingView(name, 4096);
    ASSERT_NE(view.data, nullptr);
    EXPECT_TRUE(mappingViewCurrent(view));
    mapping.owned.data[4095] = 42;
    EXPECT_EQ(view.data[4095], 42);
    MappedView tooLarge = openMappingView(name, 1 << 20);
    EXPECT_EQ(tooLarge.data, nullptr);
    closeMappingView(view);
    EXPECT_FALSE(mappingViewCurrent(view));
    EXPECT_EQ(openMappingView((mapping.name + "-none").c_str(), 16).data, nullptr);
}
