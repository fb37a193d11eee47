// The game's own shared memory: its layout against the public figures, the
// lock, the choice of route, and who is at the wheel.
#include "app/main_loop.h"
#include "app/tick.h"
#include "app/waiting_screen.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace korvane;

namespace {

template <class T> void put(std::vector<uint8_t>& raw, size_t at, T value) {
    std::memcpy(raw.data() + at, &value, sizeof value);
}

void putName(std::vector<uint8_t>& raw, size_t at, const std::string& text) {
    std::memcpy(raw.data() + at, text.data(), text.size());
}

// A moment of the game written byte by byte at the offsets the public
// mappings give, independent of this program's structures: every field its
// own value, the player the second of three cars in both blocks.
std::vector<uint8_t> publicFixture() {
    std::vector<uint8_t> raw(sizeof(GameData), 0);
    put<int32_t>(raw, 64, 130); // game version
    const size_t scoring = 1632, cars = 2192, telemetry = 128464;
    putName(raw, scoring, "Circuit de la Sarthe");
    put<int32_t>(raw, scoring + 64, 11);     // session: a race
    put<double>(raw, scoring + 68, 1234.5);  // session time
    put<double>(raw, scoring + 76, 7200.25); // end time
    put<int32_t>(raw, scoring + 104, 3);     // cars
    raw[scoring + 108] = 5;                  // green flag
    raw[scoring + 115] = 1;                  // in real time
    putName(raw, scoring + 116, "Profile Name");
    const char* drivers[] = {"Ahead", "J\xC3\xB6rg M\xC3\xBCller", "Behind"};
    for (int i = 0; i < 3; ++i) {
        size_t car = cars + size_t(i) * 584;
        put<int32_t>(raw, car, 10 + i); // ids 10, 11, 12
        putName(raw, car + 4, drivers[i]);
        put<int16_t>(raw, car + 100, int16_t(20 + i));
        raw[car + 196] = i == 1;         // the player's flag
        raw[car + 197] = i == 1 ? 0 : 1; // control: the player, AI
        raw[car + 198] = i == 1;         // in the pit lane
        raw[car + 199] = uint8_t(4 - i); // place
        raw[car + 457] = i == 1 ? 3 : 0; // stopped in the box
    }
    raw[telemetry] = 3;     // active cars
    raw[telemetry + 1] = 1; // the player's index
    raw[telemetry + 2] = 1; // the player has a car
    for (int i = 0; i < 3; ++i) {
        size_t car = telemetry + 4 + size_t(i) * 1888;
        put<int32_t>(raw, car, 10 + i);
        put<int32_t>(raw, car + 20, 30 + i);                // lap
        put<double>(raw, car + 524, 40.5 + i);              // fuel
        put<double>(raw, car + 608, 90.0 + i);              // tank
        put<float>(raw, car + 776, 0.625f + float(i) / 10); // virtual energy
        for (int w = 0; w < 4; ++w) {
            put<double>(raw, car + 848 + size_t(w) * 260 + 152, 0.9 - w / 100.0); // wear
            put<double>(raw, car + 848 + size_t(w) * 260 + 204, 353.15 + w);      // carcass K
        }
    }
    return raw;
}

const GameData& asGame(const std::vector<uint8_t>& raw) {
    return *reinterpret_cast<const GameData*>(raw.data());
}

} // namespace

// The game's blocks read at the public offsets land in the plugin's layout
// where the analysis reads them, and a tick through them sees the player's
// own car, its energy from its own field.
TEST(GameLayout, PublicOffsetsReachTheAnalysis) {
    std::vector<uint8_t> raw = publicFixture();
    GameViews game;
    game.data.data = raw.data();
    ASSERT_EQ(readGameFrame(game), GameRead::Ready);
    EXPECT_EQ(game.frame.version, 130);
    const ScoringBuffer& s = *game.frame.scoring;
    EXPECT_STREQ(s.trackName, "Circuit de la Sarthe");
    EXPECT_EQ(s.sessionType, 11);
    EXPECT_EQ(s.currentEt, 1234.5);
    EXPECT_EQ(s.endEt, 7200.25);
    EXPECT_EQ(s.numVehicles, 3);
    EXPECT_EQ(s.gamePhase, 5);
    EXPECT_EQ(s.inRealtime, 1);
    EXPECT_STREQ(s.playerName, "Profile Name");
    EXPECT_EQ(game.frame.telemetry->numVehicles, 1);

    TickContext ctx;
    ctx.views.source = TelemetrySource::Game;
    ctx.views.telemetry = game.frame.telemetry.get();
    ctx.views.scoring = game.frame.scoring.get();
    PlayerRecords player;
    ASSERT_EQ(beginTick(ctx, true, player), TickStart::Ready);
    RestSnapshot snapshot;
    TickSample t = analyseTick(ctx, player, snapshot);
    EXPECT_EQ(player.scoring->id, 11);
    EXPECT_EQ(ctx.driverName, "J\xC3\xB6rg M\xC3\xBCller");
    EXPECT_EQ(t.lap, 31);
    EXPECT_EQ(t.fuel, 41.5);
    EXPECT_EQ(t.capacity, 91.0);
    EXPECT_EQ(t.inPits, 1);
    EXPECT_EQ(t.pitState, 3);
    EXPECT_NEAR(t.energyPercent, 72.5, 1e-4);
    EXPECT_EQ(t.energySource, EnergySource::Car);
    for (size_t w = 0; w < 4; ++w) {
        EXPECT_NEAR(t.wearPercent[w], 90.0 - double(w), 1e-9) << w;
        EXPECT_NEAR(t.tempC[w], 80.0 + double(w), 1e-9) << w;
    }
    // The same energy field read through the plugin holds nothing to read.
    ctx.views.source = TelemetrySource::Plugin;
    EXPECT_EQ(carEnergyPercent(ctx, *player.telemetry), -1);
}

// What the player's car is, and whether the mapping holds a session: the
// telemetry's index and the scoring's flag must agree; a count beyond the
// mapping's cars is cut to them; no track or no car is no session.
TEST(GameLayout, PlayerAndSessionFromBothBlocks) {
    struct Case {
        const char* what;
        size_t at;
        uint8_t value;
        GameCopy copy;
        int telemetryCars; // in the frame: 1 when the player has a car
        bool found;        // the lookup finds the player's two records
    } cases[] = {
        {"as published", 0, 0, GameCopy::Ready, 1, true},
        {"no player vehicle", 128464 + 2, 0, GameCopy::Ready, 0, false},
        {"an index past the active cars", 128464 + 1, 3, GameCopy::Ready, 0, false},
        {"the index on another car", 128464 + 1, 2, GameCopy::Ready, 1, false},
        {"no track", 1632, 0, GameCopy::NoSession, 0, false},
        {"no cars", 1632 + 104, 0, GameCopy::NoSession, 0, false},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> raw = publicFixture();
        if (c.at) raw[c.at] = c.value;
        GameFrame frame;
        EXPECT_EQ(copyGameFrame(asGame(raw), frame, false), c.copy) << c.what;
        if (c.copy != GameCopy::Ready) continue;
        EXPECT_EQ(frame.telemetry->numVehicles, c.telemetryCars) << c.what;
        int s = findPlayerScoringIndex(frame.scoring.get());
        bool found = s >= 0 && findTelemetryIndexById(frame.telemetry.get(),
                                                      frame.scoring->vehicles[s].id) >= 0;
        EXPECT_EQ(found, c.found) << c.what;
    }
    std::vector<uint8_t> raw = publicFixture();
    put<int32_t>(raw, 1632 + 104, 500);
    GameFrame frame;
    ASSERT_EQ(copyGameFrame(asGame(raw), frame, false), GameCopy::Ready);
    EXPECT_EQ(frame.scoring->numVehicles, GameMaxVehicles);
}

// The counters rise with each newer moment, of the session or of the
// player's own clock, and stand while nothing moved.
TEST(GameLayout, CountersFollowTheMoment) {
    std::vector<uint8_t> raw = publicFixture();
    GameFrame frame;
    std::vector<uint32_t> counters;
    auto copy = [&] {
        EXPECT_EQ(copyGameFrame(asGame(raw), frame, true), GameCopy::Ready);
        EXPECT_EQ(frame.scoring->beginCounter, frame.scoring->endCounter);
        EXPECT_EQ(frame.telemetry->beginCounter, frame.scoring->beginCounter);
        counters.push_back(frame.counter);
    };
    copy();
    copy();
    put<double>(raw, 1632 + 68, 1235.0);
    copy();
    put<double>(raw, 128468 + 1888 + 12, 99.0); // the player's clock alone
    copy();
    copy();
    EXPECT_EQ(counters, (std::vector<uint32_t>{1, 1, 2, 3, 3}));
}

// The lock: taken and given back when free, waiters never written; left
// alone while another holds it, the read skipped and counted, until a holder
// that never lets go is read around; a lock released under the read by
// someone else is not released again.
TEST(GameLock, TakenBrieflyNeverReleasedForOthers) {
    std::vector<uint8_t> raw = publicFixture();
    GameLockWords words{3, 0};
    GameViews game;
    game.data.data = raw.data();
    game.lock.data = reinterpret_cast<const uint8_t*>(&words);
    game.lock.writable = true;
    EXPECT_EQ(readGameFrame(game), GameRead::Ready);
    EXPECT_EQ(words.busy, 0);
    EXPECT_EQ(words.waiters, 3);
    EXPECT_EQ(game.lockSkips, 0u);

    words.busy = 1; // another reader's
    uint32_t before = game.frame.counter;
    put<double>(raw, 1632 + 68, 2000.0);
    for (int i = 1; i < GameLockPatience; ++i) {
        EXPECT_EQ(readGameFrame(game), GameRead::Skipped) << i;
        EXPECT_EQ(words.busy, 1) << i;
    }
    EXPECT_EQ(game.lockSkips, uint64_t(GameLockPatience - 1));
    EXPECT_EQ(game.frame.counter, before);
    EXPECT_EQ(readGameFrame(game), GameRead::Ready);
    EXPECT_EQ(words.busy, 1);
    EXPECT_EQ(game.frame.scoring->currentEt, 2000.0);
    words.busy = 0;
    EXPECT_EQ(readGameFrame(game), GameRead::Ready);
    EXPECT_EQ(game.lockBusyRun, 0);

    // The lock's own rules.
    ASSERT_TRUE(tryTakeGameLock(words));
    EXPECT_FALSE(tryTakeGameLock(words));
    words.busy = 0; // released under us
    EXPECT_FALSE(releaseGameLock(words, nullptr));
    EXPECT_EQ(words.busy, 0);
    ASSERT_TRUE(tryTakeGameLock(words));
    EXPECT_TRUE(releaseGameLock(words, nullptr));
    EXPECT_EQ(words.busy, 0);
    EXPECT_EQ(words.waiters, 3);

    // A lock that cannot be written (a read-only view) is no lock to take.
    game.lock.writable = false;
    words.busy = 1;
    EXPECT_EQ(readGameFrame(game), GameRead::Ready);
    EXPECT_EQ(words.busy, 1);
}

namespace {

// Both routes over the same scenario: the plugin's buffers and the game's
// mapping written from them, each published or not.
struct TwoRoutes {
    testkit::Scenario sc =
        test::scenarioFrom("track \"T\"\nplayer id=7 driver=\"P\"\n"
                           "car id=1 driver=\"Q\" place=1\ntimeline\ndrive 60\n");
    testkit::ScenarioPlayer player{sc};
    testkit::FrameBuffers plugin;
    std::vector<uint8_t> game = std::vector<uint8_t>(sizeof(GameData), 0);
    SharedViews views;
    void show(bool viaPlugin, bool viaGame) {
        views.telemetryView.data =
            viaPlugin ? reinterpret_cast<const uint8_t*>(plugin.telemetry.get()) : nullptr;
        views.scoringView.data =
            viaPlugin ? reinterpret_cast<const uint8_t*>(plugin.scoring.get()) : nullptr;
        views.game.data.data = viaGame ? game.data() : nullptr;
    }
    // One tick: the plugin moves when asked, the game when asked.
    TickStart tick(bool pluginMoves, bool gameMoves) {
        player.advance(0.5);
        testkit::World w = player.world();
        if (pluginMoves) plugin.publish(sc, w);
        if (gameMoves) {
            testkit::FrameBuffers moment;
            moment.publish(sc, w);
            testkit::writeGameFrame(w, *moment.telemetry, *moment.scoring,
                                    *reinterpret_cast<GameData*>(game.data()));
        }
        return pickSource(views);
    }
};

} // namespace

// The game's own route wins while it moves; the plugin takes over when only
// it moves, and gives way again once the game moves; neither: waiting.
TEST(PickSource, TheGameWhileItMovesThePluginWhenOnlyItDoes) {
    TwoRoutes r;
    r.show(false, false);
    EXPECT_EQ(r.tick(true, true), TickStart::Waiting);
    EXPECT_EQ(r.views.telemetry, nullptr);
    r.show(true, false);
    EXPECT_EQ(r.tick(true, true), TickStart::Ready);
    EXPECT_EQ(r.views.source, TelemetrySource::Plugin);
    EXPECT_EQ(r.views.telemetry, r.plugin.telemetry.get());
    r.show(true, true);
    EXPECT_EQ(r.tick(true, true), TickStart::Ready);
    EXPECT_EQ(r.views.source, TelemetrySource::Game);
    EXPECT_EQ(r.views.telemetry, r.views.game.frame.telemetry.get());

    std::vector<TelemetrySource> seen;
    for (int i = 0; i < RouteStillTicks + 2; ++i) {
        r.tick(true, false); // the game stopped: restarted with the plugin
        seen.push_back(r.views.source);
    }
    EXPECT_EQ(seen.front(), TelemetrySource::Game);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), TelemetrySource::Game), RouteStillTicks - 1);
    EXPECT_EQ(seen.back(), TelemetrySource::Plugin);
    r.tick(true, true);
    EXPECT_EQ(r.views.source, TelemetrySource::Game);
    // Both standing still (a paused game): the game's own route stays.
    for (int i = 0; i < RouteStillTicks + 2; ++i) r.tick(false, false);
    EXPECT_EQ(r.views.source, TelemetrySource::Game);

    // The game's mapping without a session leaves the tick to the plugin.
    std::memset(r.game.data(), 0, r.game.size());
    EXPECT_EQ(r.tick(true, false), TickStart::Ready);
    EXPECT_EQ(r.views.source, TelemetrySource::Plugin);
    r.show(false, true);
    EXPECT_EQ(r.tick(false, false), TickStart::Waiting);
    EXPECT_EQ(gameMappingState(r.views), GameMapping::NoSession);
    r.views.game.data.found = true;
    r.show(false, false);
    EXPECT_EQ(gameMappingState(r.views), GameMapping::Short);
}

// A replay: every car replay-driven, on either route; one car of the
// session's own is no replay. A team-mate's stint: the player's car driven
// from another machine.
TEST(WhoDrives, ReplaysAndTeamMates) {
    testkit::Scenario sc = test::scenarioFrom(
        "track \"T\"\nplayer id=7 driver=\"P\"\ncar id=1 driver=\"Q\" place=1\ntimeline\n"
        "replay 1\nremote 1\ndrive 1\n");
    testkit::ScenarioPlayer player(sc);
    testkit::FrameBuffers fb;
    std::vector<std::pair<TickStart, bool>> seen;
    player.advance(0.5); // the middle of each step
    for (int i = 0; i < 3; ++i) {
        fb.publish(sc, player.world());
        TickContext ctx;
        fb.showIn(ctx.views);
        PlayerRecords rec;
        seen.push_back({beginTick(ctx, true, rec), ctx.remoteDriver});
        player.advance(1.0);
    }
    using P = std::pair<TickStart, bool>;
    EXPECT_EQ(seen, (std::vector<P>{P{TickStart::Replay, false}, P{TickStart::Ready, true},
                                    P{TickStart::Ready, false}}));
    ScoringBuffer& s = *fb.scoring;
    for (auto& v : s.vehicles) v.control = uint8_t(CarControl::Replay);
    s.numVehicles = 200;
    EXPECT_TRUE(watchingReplay(s));
    s.vehicles[MaxVehicles - 1].control = 0;
    EXPECT_FALSE(watchingReplay(s));
    s.numVehicles = 0;
    EXPECT_FALSE(watchingReplay(s));
}

// The car's own field first, then the game's answers, then the pit menu;
// an empty field (a car without an allowance) or one out of range gives way.
TEST(EnergySource, TheCarsOwnFieldFirst) {
    struct Case {
        double car;
        bool restValid;
        double expected;
        EnergySource source;
    } cases[] = {
        {62.5, true, 62.5, EnergySource::Car},   {100.5, true, 100.5, EnergySource::Car},
        {0.0, true, 70.0, EnergySource::Rest},   {-1, true, 70.0, EnergySource::Rest},
        {100.6, true, 70.0, EnergySource::Rest}, {0.0, false, 80.0, EnergySource::PitMenu},
    };
    for (const Case& c : cases) {
        StintState st;
        st.pitMenu.energyPercent = 80.0;
        RestValues rest;
        rest.veValid = c.restValid;
        rest.vePercent = 70.0;
        ScoringBuffer scoring{};
        VehicleScoring player{};
        VehicleTelemetry telemetry{};
        TickSample t = runStintTick(st, true, scoring, player, telemetry, rest, c.car);
        EXPECT_EQ(t.energyPercent, c.expected) << c.car;
        EXPECT_EQ(t.energySource, c.source) << c.car;
    }
}

// The route as the diagnostics and the log name it, the game's version
// with it and flagged when newer than the layout this build knows.
TEST(SourceText, NamesTheRouteAndTheVersion) {
    SharedViews views;
    EXPECT_EQ(sourceText(views), "none");
    views.source = TelemetrySource::Plugin;
    EXPECT_EQ(sourceText(views), "plugin ($rFactor2SMMP_Telemetry$)");
    views.source = TelemetrySource::Game;
    EXPECT_EQ(sourceText(views), "game's own (LMU_Data, game version unknown)");
    views.game.frame.version = GameVersionKnown;
    EXPECT_EQ(sourceText(views), "game's own (LMU_Data, game version 130)");
    views.game.frame.version = GameVersionKnown + 1;
    EXPECT_EQ(sourceText(views),
              "game's own (LMU_Data, game version 131, newer than this build knows)");
}

// The waiting screen with the game's own interface in the picture: a
// mapping cut short or without a session first; a game that publishes its
// own is never sent to the plugin's install, and an enabled plugin it
// ignores while a session runs is named.
TEST(WaitingCase, TheGamesOwnInterface) {
    PluginStatus own, ownWithPlugin, old;
    own.found = ownWithPlugin.found = old.found = true;
    own.gameInterface = ownWithPlugin.gameInterface = true;
    ownWithPlugin.pluginPresent = ownWithPlugin.hasSettingsEntry = ownWithPlugin.enabled = true;
    std::vector<std::wstring> menus{L"LMU_Menu"}, none;
    struct Case {
        std::vector<std::wstring> sections;
        PluginStatus status;
        GameMapping game;
        bool session;
        char expected;
    } cases[] = {
        {none, old, GameMapping::Short, false, 'S'},
        {{L"$rFactor2SMMP_Scoring$"}, old, GameMapping::NoSession, false, 'N'},
        {{L"$rFactor2SMMP_Scoring$"}, own, GameMapping::Absent, false, 'A'},
        {none, own, GameMapping::Absent, false, 'I'},
        {menus, own, GameMapping::Absent, true, 'I'},
        {menus, own, GameMapping::Absent, false, 'G'},
        {menus, ownWithPlugin, GameMapping::Absent, true, 'P'},
        {menus, ownWithPlugin, GameMapping::Absent, false, 'G'},
        {none, old, GameMapping::Absent, true, 'C'},
    };
    for (const Case& c : cases)
        EXPECT_EQ(waitingCase(c.sections, c.status, c.game, c.session), c.expected) << c.expected;
}
