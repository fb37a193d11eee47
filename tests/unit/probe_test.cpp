#include "test_support.h"
#include "tools/probe.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <sstream>
#include <vector>

using namespace korvane;

namespace {

struct View {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(65536, 0);
    void set(size_t slot, double v) { std::memcpy(bytes.data() + 8 * slot, &v, 8); }
};

// Fuel falls 0.1 L per sample; `update` moves the slots each sample.
template <class Update> ProbeState run(View& v, int samples, Update update) {
    ProbeState st;
    probeBegin(st, v.bytes.data());
    double fuel = 50;
    for (int i = 0; i < samples; ++i) {
        fuel -= 0.1;
        update(v, i);
        probeSample(st, v.bytes.data(), fuel);
    }
    return st;
}

} // namespace

TEST(Probe, SlotFallingWithFuelRanksFirst) {
    View v;
    v.set(100, 0.9);  // energy fraction, falls exactly with fuel
    v.set(200, 95.0); // wear-like percentage, falls in steps
    v.set(300, 0.0);  // starts at 0: never a candidate
    v.set(400, 150);  // above 100.5: never a candidate
    v.set(500, 0.5);  // never moves
    v.set(600, 0.8);  // falls but rises too often
    ProbeState st = run(v, 40, [](View& view, int i) {
        double x;
        std::memcpy(&x, view.bytes.data() + 800, 8);
        view.set(100, x - 0.1 * 0.01);
        std::memcpy(&x, view.bytes.data() + 1600, 8);
        view.set(200, i % 2 ? x - 0.3 : x);
        view.set(300, -1.0 * i);
        view.set(400, 150 - i);
        std::memcpy(&x, view.bytes.data() + 4800, 8);
        view.set(600, i % 3 == 0 ? x + 0.02 : x - 0.01);
    });
    auto c = probeCandidates(st);
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0].offset, 800u);
    // A slot that falls by exactly the fuel's fall scales out: the score is
    // the root of the summed squared fuel falls.
    EXPECT_NEAR(c[0].score, std::sqrt(39 * 0.01), 1e-6);
    EXPECT_EQ(c[1].offset, 1600u);

    std::ostringstream out;
    printProbeResults(out, c);
    EXPECT_NE(out.str().find("     1      800     0.900     0.860     4.4     40   0.624\n"),
              std::string::npos)
        << out.str();
}

TEST(Probe, RiseRuleAndNaN) {
    struct Case {
        int risesPer10;
        bool candidate;
    } cases[] = {{2, true}, {3, false}};
    for (const Case& c : cases) {
        View v;
        v.set(10, 0.9);
        ProbeState st = run(v, 10, [&](View& view, int i) {
            double x;
            std::memcpy(&x, view.bytes.data() + 80, 8);
            view.set(10, i < c.risesPer10 ? x + 0.001 : x - 0.02);
        });
        // 10 samples with fuel falling: 8 or 7 falls, 2 or 3 rises.
        bool found = false;
        for (const auto& cand : probeCandidates(st)) found |= cand.offset == 80;
        EXPECT_EQ(found, c.candidate && st.slots[10].falls >= 8) << c.risesPer10;
    }
    View v;
    v.set(10, 0.9);
    ProbeState st =
        run(v, 20, [](View& view, int i) { view.set(10, i == 5 ? std::nan("") : 0.9 - 0.01 * i); });
    EXPECT_FALSE(st.slots[10].live);
    EXPECT_TRUE(probeCandidates(st).empty());
}

TEST(Probe, NoFuelFallNoCandidates) {
    View v;
    v.set(10, 0.9);
    ProbeState st;
    probeBegin(st, v.bytes.data());
    for (int i = 0; i < 30; ++i) {
        v.set(10, 0.9 - 0.01 * i);
        probeSample(st, v.bytes.data(), -1.0); // fuel unknown
    }
    auto c = probeCandidates(st);
    EXPECT_TRUE(c.empty());
    std::ostringstream out;
    printProbeResults(out, c);
    EXPECT_NE(out.str().find("(no candidates"), std::string::npos) << out.str();
}

TEST(Probe, ThirtyCandidatesPrintTwentyFiveRows) {
    View v;
    for (size_t s = 0; s < 30; ++s) v.set(s, 0.9);
    ProbeState st = run(v, 12, [](View& view, int i) {
        for (size_t s = 0; s < 30; ++s) view.set(s, 0.9 - 0.001 * (i + 1) * (1 + double(s) / 100));
    });
    auto c = probeCandidates(st);
    ASSERT_EQ(c.size(), 30u);
    std::ostringstream out;
    printProbeResults(out, c);
    std::string text = out.str();
    EXPECT_NE(text.find("\n    25 "), std::string::npos);
    EXPECT_EQ(text.find("\n    26 "), std::string::npos);
}

// The tool's whole four-minute run against the rig's probe scenario, each wait
// moving the simulated car on by the 250 ms the tool would sleep.
TEST(Probe, FourMinuteRunRanksTheEnergySlotFirst) {
    testkit::Scenario sc = test::scenarioFile("probe");
    testkit::ScenarioPlayer player(sc);
    testkit::FrameBuffers frames;
    frames.publish(sc, player.world());
    const auto* view = reinterpret_cast<const uint8_t*>(frames.telemetry.get());
    std::ostringstream out;
    probeRun(
        view, view, 960,
        [&] {
            player.advance(0.25);
            frames.publish(sc, player.world());
        },
        out);
    std::string text = out.str();
    EXPECT_EQ(text.substr(0, 38), std::string(24, '.') + "\n\nbest matches") << text;
    EXPECT_NE(text.find("\n     1     1000 "), std::string::npos) << text;
    EXPECT_NE(text.find("    static size_t VE_OFFSET = 1000;\n"), std::string::npos);
}
