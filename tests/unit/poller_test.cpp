#include "gamerest/poller.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "test_support.h"

#include <atomic>
#include <map>

using namespace korvane;

namespace {

struct FakeGame {
    std::map<std::wstring, std::string> answers;
    std::vector<std::wstring> asked;
    RestFetch fetch() {
        return [this](const std::wstring& path) {
            asked.push_back(path);
            auto it = answers.find(path);
            RestReply reply;
            if (it != answers.end()) reply.body = it->second;
            return reply;
        };
    }
    void refuel(const std::string& cur, const std::string& max) {
        answers[L"/rest/garage/UIScreen/RepairAndRefuel"] =
            "{\"fuelInfo\":{\"currentVirtualEnergy\":" + cur + ",\"maxVirtualEnergy\":" + max +
            "}}";
    }
};

} // namespace

TEST(Poller, EnergyFromTheRefuelScreen) {
    struct Case {
        const char* cur;
        const char* max;
        bool valid;
        double stored; // restVePercent afterwards, starting from 33
    } cases[] = {
        {"45", "90", true, 50.0},      {"45", "0", false, 33.0},    {"100.7", "100", false, 33.0},
        {"100.5", "100", true, 100.5}, {"-0.4", "100", true, -0.4}, {"-0.6", "100", false, 33.0},
        {"\"45\"", "90", false, 33.0},
    };
    for (const Case& c : cases) {
        RestSnapshot snap;
        snap.restVePercent = 33.0;
        snap.restVeValid = true;
        FakeGame game;
        game.refuel(c.cur, c.max);
        pollRestOnce(snap, game.fetch());
        EXPECT_EQ(snap.restVeValid.load(), c.valid) << c.cur << "/" << c.max;
        EXPECT_NEAR(snap.restVePercent.load(), c.stored, 1e-9) << c.cur << "/" << c.max;
    }
}

TEST(Poller, KeepsWhatAFailedPollCannotReplace) {
    RestSnapshot snap;
    publishPlayerDriverName(snap, "P");
    FakeGame game;
    game.answers[L"/rest/strategy/usage"] = R"({"P":[{"ve":0.9},{"ve":0.85,"tyres":[1,2,3,4]}]})";
    game.answers[L"/rest/watch/standings"] = R"([{"driverName":"A","nrg":0.5}])";
    pollRestOnce(snap, game.fetch());
    EXPECT_NEAR(snap.restVePerLap, 5.0, 1e-9);
    EXPECT_DOUBLE_EQ(snap.restTyreWear[3], 4.0);
    EXPECT_EQ(snap.rivalEnergyField, "nrg");

    // A standings answer without energy keeps the map; a new key keeps the label.
    game.answers[L"/rest/watch/standings"] = R"([{"driverName":"B","fuel":0.5}])";
    game.answers[L"/rest/strategy/usage"] = R"({"P":[{"ve":0.9,"tyres":[5,6,7]}]})";
    pollRestOnce(snap, game.fetch());
    EXPECT_EQ(snap.rivalEnergy.count("A"), 1u);
    EXPECT_NEAR(snap.restVePerLap, 5.0, 1e-9);
    EXPECT_DOUBLE_EQ(snap.restTyreWear[3], 4.0); // three numbers: nothing published
    game.answers[L"/rest/watch/standings"] = R"([{"driverName":"B","virtualEnergy":0.25}])";
    pollRestOnce(snap, game.fetch());
    EXPECT_EQ(snap.rivalEnergy.count("A"), 0u);
    EXPECT_NEAR(rivalEnergyFor(snap, "B"), 25.0, 1e-9);
    EXPECT_EQ(snap.rivalEnergyField, "nrg");

    // The game stops answering, then sends a usage answer too large to read:
    // what the answers gave is unknown until they come again, and the note
    // on the dropped one goes with the first that fits (not another path's).
    for (bool dropped : {false, true}) {
        std::map<std::wstring, std::string> answers = game.answers;
        if (!dropped) game.answers.clear();
        RestFetch fetch = game.fetch();
        pollRestOnce(snap, [&](const std::wstring& path) {
            RestReply reply = fetch(path);
            if ((reply.dropped = dropped && path == L"/rest/strategy/usage")) {
                reply.body.clear();
                reply.droppedBytes = 17000000;
            }
            return reply;
        });
        EXPECT_EQ(snap.restVePerLap, -1.0);
        for (const auto& wear : snap.restTyreWear) EXPECT_EQ(wear, -1.0);
        EXPECT_EQ(rivalEnergyFor(snap, "B"), dropped ? 25.0 : -1.0);
        EXPECT_EQ(snap.droppedAnswer, dropped ? "/rest/strategy/usage, 17,000,000 bytes" : "");
        game.answers = answers;
        game.answers[L"/rest/strategy/usage"] =
            R"({"P":[{"ve":0.9},{"ve":0.87,"tyres":[1,2,3,4]}]})";
        pollRestOnce(snap, game.fetch());
        EXPECT_NEAR(snap.restVePerLap, 3.0, 1e-9);
        EXPECT_DOUBLE_EQ(snap.restTyreWear[2], 3.0);
        EXPECT_NEAR(rivalEnergyFor(snap, "B"), 25.0, 1e-9);
        EXPECT_EQ(snap.droppedAnswer, "");
    }
}

// The poller and every exchange under a deadline run on detached threads,
// one each, for as long as the program runs: each body runs exactly once,
// with what it captured.
TEST(DetachedThreads, EveryBodyRunsOnceWithItsOwnCapture) {
    constexpr int Count = 500;
    std::vector<std::atomic<int>> runs(Count);
    std::atomic<int> finished{0};
    std::string error;
    for (int i = 0; i < Count; ++i)
        ASSERT_TRUE(startDetachedThread(
            [&runs, &finished, i] {
                ++runs[size_t(i)];
                ++finished;
            },
            error))
            << error;
    while (finished.load() < Count) sleepMs(1);
    for (int i = 0; i < Count; ++i) EXPECT_EQ(runs[size_t(i)].load(), 1) << i;
}
