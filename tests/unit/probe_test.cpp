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
    double get(size_t slot) const {
        double v;
        std::memcpy(&v, bytes.data() + 8 * slot, 8);
        return v;
    }
};

// Fuel falls 0.1 L per sample (or is unknown); `update` moves the slots.
template <class Update> ProbeState run(View& v, int samples, Update update, bool fuelKnown = true) {
    ProbeState st;
    probeBegin(st, v.bytes.data());
    double fuel = 50;
    for (int i = 0; i < samples; ++i) {
        fuel -= 0.1;
        update(v, i);
        probeSample(st, v.bytes.data(), fuelKnown ? fuel : -1.0);
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
        view.set(100, view.get(100) - 0.1 * 0.01);
        view.set(200, i % 2 ? view.get(200) - 0.3 : view.get(200));
        view.set(300, -1.0 * i);
        view.set(400, 150 - i);
        view.set(600, view.get(600) + (i % 3 == 0 ? 0.02 : -0.01));
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

// A slot falling with the fuel, and what keeps it out of the ranking.
TEST(Probe, RiseRuleNaNAndUnknownFuel) {
    struct Case {
        const char* what;
        int samples;
        bool fuelKnown;
        double (*next)(int sample, double value);
        bool candidate;
    } cases[] = {
        {"two rises in ten", 10, true, [](int i, double x) { return x + (i < 2 ? 0.001 : -0.02); },
         true},
        {"three rises in ten", 10, true,
         [](int i, double x) { return x + (i < 3 ? 0.001 : -0.02); }, false},
        {"a NaN", 20, true, [](int i, double) { return i == 5 ? std::nan("") : 0.9 - 0.01 * i; },
         false},
        {"fuel unknown", 30, false, [](int i, double) { return 0.9 - 0.01 * i; }, false},
    };
    for (const Case& c : cases) {
        View v;
        v.set(10, 0.9);
        ProbeState st = run(
            v, c.samples, [&](View& view, int i) { view.set(10, c.next(i, view.get(10))); },
            c.fuelKnown);
        auto found = probeCandidates(st);
        EXPECT_EQ(found.size() == 1 && found[0].offset == 80, c.candidate) << c.what;
    }
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
// moving the simulated car on by the 250 ms the tool would sleep: the line to
// paste names the energy slot.
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
    EXPECT_NE(text.find("    static size_t VE_OFFSET = 1000;\n"), std::string::npos);
}
