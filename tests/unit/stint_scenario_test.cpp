#include "app/tick.h"
#include "gamerest/poller.h"
#include "race_answers.h"
#include "test_support.h"

#include <atomic>
#include <nlohmann/json.hpp>
#include <thread>

using namespace korvane;

namespace {

// The rig's race played through the same tick steps as the main loop.
struct StintRun {
    testkit::Scenario sc;
    testkit::ScenarioPlayer player{sc};
    testkit::FrameBuffers fb;
    TickContext ctx;
    RestSnapshot snapshot;
    explicit StintRun(const char* scenario = "race") : sc(test::scenarioFile(scenario)) {
        ctx.views = {fb.telemetry.get(), fb.scoring.get(), fb.pitMenu()};
    }
    // One 500 ms tick: the live document, or "" when the tick found no player.
    std::string tick() {
        player.advance(0.5);
        fb.publish(sc, player.world());
        PlayerRecords rec;
        if (beginTick(ctx, true, rec) != TickStart::Ready) return "";
        TickSample sample = analyseTick(ctx, rec, snapshot);
        return buildTickPayload(ctx, rec, sample, snapshot, "R", 0);
    }
};

} // namespace

// The poller's writes beside the main loop's reads, on one snapshot: run under
// ThreadSanitizer this is the race check of the two threads' sharing.
TEST(StintScenario, PollerBesideTheLoop) {
    StintRun r;
    std::atomic<bool> stop{false};
    std::atomic<int> cycles{0};
    std::string refuel = test::recording("RepairAndRefuel.json");
    std::string usage = test::recording("strategy_usage.json");
    std::string standings = test::recording("standings.json");
    std::thread poller([&] {
        while (!stop) {
            pollRestOnce(r.snapshot, [&](const std::wstring& path) {
                RestReply reply;
                reply.body = path == L"/rest/garage/UIScreen/RepairAndRefuel" ? refuel
                             : path == L"/rest/strategy/usage"                ? usage
                                                                              : standings;
                return reply;
            });
            ++cycles;
        }
    });
    int withRestEnergy = 0, afterAPoll = 0;
    // At least 400 ticks, 20 poll cycles and 10 ticks that began after a
    // finished poll, however the two threads are scheduled.
    for (int i = 0; (i < 400 || cycles < 20 || afterAPoll < 10) && i < 1000000; ++i) {
        if (cycles > 0) ++afterAPoll;
        std::string doc = r.tick();
        ASSERT_FALSE(doc.empty());
        if (doc.find("\"source\":\"rest\"") != std::string::npos) ++withRestEnergy;
    }
    stop = true;
    poller.join();
    EXPECT_GT(withRestEnergy, 0);
    EXPECT_NEAR(rivalEnergyFor(r.snapshot, "Mia Laurent"), 64.0, 1e-9);
}

// Late in a day's race on a full grid, with names whose letters lie outside
// ASCII in either byte form in the buffers and either form in the answers:
// the document names everyone in UTF-8 and carries the player's energy per
// lap and tyres from the game and every listed rival's energy.
TEST(StintScenario, FullGridLateInALongRace) {
    StintRun r("grid62");
    testkit::RaceHistory race = testkit::raceHistory(r.sc, r.player.world());
    std::string usage = testkit::usageAnswer(race);
    std::string standings = testkit::standingsAnswer(r.sc, r.player.world(), race);
    ASSERT_GT(usage.size(), 3000000u);
    auto fetch = [&](const std::wstring& path) {
        RestReply reply;
        if (path == L"/rest/strategy/usage") reply.body = usage;
        if (path == L"/rest/watch/standings") reply.body = standings;
        return reply;
    };
    std::string doc;
    for (int i = 0; i < 6; ++i) {
        doc = r.tick();
        pollRestOnce(r.snapshot, fetch);
    }
    doc = r.tick();
    nlohmann::json d = nlohmann::json::parse(doc);
    const testkit::DriverHistory& me = race.drivers[race.player];
    EXPECT_EQ(d["driverId"], "J\xC3\xB6rg M\xC3\xBCller");
    EXPECT_EQ(d["driver"]["name"], d["driverId"]);
    EXPECT_NEAR(d["ve"]["avgPerLap"].get<double>(), me.vePerLap, 1e-4);
    std::array<double, 4> tyres = me.tyresAfter(me.laps - 1);
    const char* wheels[] = {"fl", "fr", "rl", "rr"};
    for (size_t w = 0; w < 4; ++w)
        EXPECT_DOUBLE_EQ(d["tires"]["wear"][wheels[w]].get<double>(), tyres[w]) << wheels[w];
    std::map<std::string, double> expected;
    for (const testkit::DriverHistory& driver : race.drivers)
        expected[driver.name] = driver.veFraction * 100.0;
    ASSERT_GE(d["standings"].size(), 20u);
    for (const auto& car : d["standings"]) {
        std::string name = car["name"];
        ASSERT_TRUE(expected.count(name)) << name;
        ASSERT_TRUE(car.contains("ve")) << name;
        EXPECT_NEAR(car["ve"].get<double>(), expected[name], 0.005) << name;
    }
}
