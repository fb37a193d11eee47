#include "analysis/standings.h"
#include "core/snapshot.h"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>

using namespace korvane;

namespace {

struct Field {
    std::unique_ptr<ScoringBuffer> s = std::make_unique<ScoringBuffer>();
    VehicleScoring& add(int32_t id, const char* name, const char* cls, int place) {
        VehicleScoring& v = s->vehicles[s->numVehicles++];
        v.id = id;
        std::strncpy(v.driverName, name, 32);
        std::strncpy(v.className, cls, 32);
        v.place = uint8_t(place);
        return v;
    }
    std::vector<int32_t> ids(const VehicleScoring& player,
                             std::function<double(const char*)> ve = nullptr) {
        std::vector<int32_t> out;
        for (const auto& e : selectStandings(*s, player, ve)) out.push_back(e.id);
        return out;
    }
};

} // namespace

TEST(Standings, ClassAndDistanceRules) {
    Field f;
    f.add(1, "A", "LMGT3", 12); // a class name as long as the player's
    VehicleScoring& p = f.add(7, "Me", "Hyper", 7);
    f.add(2, "B", "Hyper", 30);
    f.add(3, "C", "LMGT3", 1);
    f.add(4, "D", "LMGT3", 2);
    EXPECT_EQ(f.ids(p), (std::vector<int32_t>{1, 2, 4}));
    p.place = 6; // place 12 is now 6 away, place 1 five
    EXPECT_EQ(f.ids(p), (std::vector<int32_t>{2, 3, 4}));
    std::memset(p.className, 0, 32); // no class: distance alone
    EXPECT_EQ(f.ids(p), (std::vector<int32_t>{3, 4}));
}

TEST(Standings, EmptySlotsAndCarsInThePits) {
    Field f;
    VehicleScoring& p = f.add(7, "Me", "H", 3);
    f.add(0, "", "", 0);                       // empty slot
    VehicleScoring& pit = f.add(9, "", "", 0); // no place, but in the pits
    pit.inPits = 1;
    EXPECT_EQ(f.ids(p), (std::vector<int32_t>{9}));
}

TEST(Standings, FullWidthNameReachesTheLookupTerminated) {
    Field f;
    VehicleScoring& p = f.add(7, "Me", "H", 3);
    VehicleScoring& c = f.add(2, "", "H", 2);
    std::memset(c.driverName, 'N', 32);
    size_t seen = 0;
    selectStandings(*f.s, p, [&](const char* n) {
        seen = std::strlen(n);
        return -1.0;
    });
    EXPECT_EQ(seen, 32u);
}

// Empty is a value: a rival at 0 % shows 0, a rival the game gave nothing for
// shows nothing.
TEST(Standings, RivalEnergyOfZeroIsAValue) {
    Field f;
    VehicleScoring& p = f.add(7, "Me", "H", 3);
    f.add(2, "Empty", "H", 2);
    f.add(4, "Unknown", "H", 4);
    RestSnapshot snap;
    publishRivalEnergy(snap, {{"Empty", 0.0}}, "veFraction");
    auto rows = selectStandings(*f.s, p, [&](const char* n) { return rivalEnergyFor(snap, n); });
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(rows[0].hasVe);
    EXPECT_EQ(rows[0].ve, 0.0);
    EXPECT_FALSE(rows[1].hasVe);
}

TEST(RivalEnergy, ExactThenReducedName) {
    RestSnapshot snap;
    EXPECT_EQ(rivalEnergyFor(snap, "Anyone"), -1.0);
    publishRivalEnergy(
        snap, {{"Jo Berg#2", 40.0}, {"jo berg#1", 41.0}, {"zia", 50.0}, {"Tom #3", 60.0}}, "ve");
    struct Case {
        const char* name;
        double ve;
    } cases[] = {
        {"zia", 50.0},       {"Jo Berg#2", 40.0},
        {"JO BERG#9", 40.0}, // reduced match: "Jo Berg#2" sorts first
        {"jo berg", 40.0},   {"ZIA#5", 50.0},
        {"Tom", -1.0}, // "tom " (space kept) is not "tom"
        {"Tom #x", 60.0},    {"", -1.0},
        {nullptr, -1.0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(rivalEnergyFor(snap, c.name), c.ve) << (c.name ? c.name : "null");
}
