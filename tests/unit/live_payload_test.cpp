#include "feed/live_payload.h"
#include "test_support.h"

#include <cstring>
#include <nlohmann/json.hpp>

using namespace korvane;
using nlohmann::ordered_json;

namespace {

// A fixed mid-race tick: every number chosen so its printed form is exact.
struct Tick {
    std::unique_ptr<ScoringBuffer> scoring = std::make_unique<ScoringBuffer>();
    std::unique_ptr<TelemetryBuffer> telemetry = std::make_unique<TelemetryBuffer>();
    StintState st;
    TickSample t;
    std::string room = "TEAM-7";
    double restVePerLap = -1;
    std::map<std::string, double> rivals;

    VehicleScoring& car(int index, int32_t id, const char* name, const char* cls, int place) {
        VehicleScoring& v = scoring->vehicles[index];
        v.id = id;
        test::putText(v.driverName, 32, name);
        test::putText(v.vehicleName, 64, std::string("Car #") + std::to_string(id));
        test::putText(v.className, 32, cls);
        v.place = uint8_t(place);
        v.control = 1;
        scoring->numVehicles = std::max(scoring->numVehicles, index + 1);
        return v;
    }
    VehicleScoring& player() { return scoring->vehicles[0]; }
    VehicleTelemetry& tel() { return telemetry->vehicles[0]; }

    Tick() {
        test::putText(scoring->trackName, 64, "Circuit de la Sarthe");
        scoring->sessionType = 10;
        scoring->currentEt = 3600.25;
        scoring->endEt = 86400.0;
        scoring->gamePhase = 5;
        scoring->inRealtime = 1;
        VehicleScoring& p = car(0, 7, "Alex Korva", "Hypercar", 3);
        p.isPlayer = 1;
        p.control = 0;
        p.timeBehindLeader = 8.5;
        test::putText(tel().vehicleName, 64, "Korvane 499P #7");
        test::putText(tel().frontCompound, 18, "Medium");
        test::putText(tel().rearCompound, 18, "Soft");
        t.lap = 12;
        t.fuel = 41.5;
        t.capacity = 100;
        t.speedKmh = 212.25;
        t.rpm = 8123.9;
        t.gear = 6;
        t.wearPercent = {91.5, 90.25, 93.75, 92.5};
        t.tempC = {88.9, 90.1, -0.5, 82.0};
        t.sessionOk = true;
        t.pitState = 0;
        st.fuelUsedLastLap = 3.25;
        st.fuelWindow.add(3.25);
        st.fuelWindow.add(3.75);
        st.fuelAverage = st.fuelWindow.mean;
        st.pitMenu.category = "VIRTUAL ENERGY";
        st.pitMenu.energyPercent = -1;
        st.lastStop = {true, 28.0, 12.0, 50.0, false};
        st.wearPerLap = {1.125, 1.25, 0.875, 0.9375};
        st.wearWindows[0].add(1.125);
        st.wearWindows[0].add(1.125);
        st.pitArmed = true;
    }
    std::string build() {
        LivePayloadInput in;
        in.roomCode = &room;
        in.timestamp = 1796140800;
        in.scoring = scoring.get();
        in.player = &player();
        in.telemetry = &tel();
        in.stint = &st;
        in.sample = &t;
        in.restVePerLap = restVePerLap;
        in.rivalEnergy = [this](const char* name) {
            auto it = rivals.find(name);
            return it == rivals.end() ? -1.0 : it->second;
        };
        return buildLivePayload(in);
    }
};

void expectFixture(const std::string& doc, const std::string& name) {
    ordered_json parsed = ordered_json::parse(doc); // throws on invalid JSON
    EXPECT_TRUE(parsed.is_object());
    std::string expected = test::fixture("live/" + name);
    while (!expected.empty() && expected.back() == '\n') expected.pop_back();
    EXPECT_EQ(doc, expected) << "fixture " << name;
}

} // namespace

TEST(LivePayload, NoEnergyAndNoStandings) {
    Tick k;
    // No "ve" object, the pit menu's -1.00, and empty standings.
    expectFixture(k.build(), "no_ve.json");
}

TEST(LivePayload, EnergyFromRestWithRivals) {
    Tick k;
    k.t.energyPercent = 56.0;
    k.t.energySource = EnergySource::Rest;
    k.restVePerLap = 3.5;
    k.st.energyWindow.add(3.9);
    k.st.energyAverage = 3.9;
    VehicleScoring& a = k.car(1, 2, "Jonas Berg", "Hypercar", 2);
    a.timeBehindLeader = 4.25;
    a.lapsCompleted = 12;
    a.lastLapSeconds = 208.5;
    a.bestLapSeconds = 207.75;
    a.pitStops = 1;
    a.pitState = 3; // stopped in its box
    a.inPits = 1;
    a.fuelFraction = 255;
    k.car(2, 21, "Tom Reyes", "LMGT3", 8).timeBehindLeader = 70.0; // 5 places back
    k.car(3, 22, "Lena Novak", "LMGT3", 9);                        // 6 places back: left out
    VehicleScoring& c = k.car(4, 1, "Mia Laurent", "Hypercar", 1);
    c.fuelFraction = 51;
    k.rivals = {{"Mia Laurent", 61.5}};
    // The REST energy per lap, 16 laps left, three cars with the rival's energy.
    expectFixture(k.build(), "ve_rest.json");
}

TEST(LivePayload, EnergyFromPitMenuDuringAStop) {
    Tick k;
    k.st.pitMenu.energyPercent = 85.0;
    k.t.energyPercent = 85.0;
    k.t.energySource = EnergySource::PitMenu;
    k.t.pitFlag = true;
    k.t.inPitStop = true;
    k.t.inPits = 1;
    k.t.pitState = 3;
    k.t.speedLimiter = true;
    k.st.pitStable = true;
    k.t.tyreChangeRecent = true;
    k.st.wheelChanged = {true, true, false, false};
    k.st.lastChangeEt = 3599.75;
    k.t.fuelJustIncreased = true;
    expectFixture(k.build(), "ve_pitmenu.json");
}

TEST(LivePayload, HostileNamesStayValid) {
    Tick k;
    // A quote, a tab, an e-acute cut at the field's last byte.
    std::string name = "Jo \"Fast\"\tO'Neil";
    name += std::string(31 - name.size(), 'x');
    name += "\xC3";
    std::memcpy(k.player().driverName, name.data(), 32);
    test::putText(k.scoring->trackName, 64, "Spa \xF0\x9F\x8F\x81 Francorchamps");
    k.room = "ROOM\"\\1";
    // Escaped quote and backslash, the tab as a space, the cut and the emoji gone.
    expectFixture(k.build(), "hostile_names.json");
}

// Zero is a figure (an empty battery, the pit menu's 0 %); names, classes and
// compounds that fill their fields end there, whatever the bytes after them
// hold; the scoring's pit flag alone is no pit stop.
TEST(LivePayload, ZeroesAndFullWidthFields) {
    Tick k;
    k.t.energyPercent = 0;
    k.t.energySource = EnergySource::Rest;
    k.st.pitMenu.energyPercent = 0;
    k.t.inPits = 1;
    VehicleScoring& rival = k.car(1, 2, "", "", 2);
    std::memset(rival.driverName, 'N', 32);  // then the vehicle's name
    std::memset(rival.vehicleName, 'V', 64); // then the laps completed
    std::memset(rival.className, 'C', 32);
    rival.lapsCompleted = 'L';
    rival.pad4[0] = 'X';
    std::memset(k.tel().frontCompound, 'F', 18); // then the rear's "Soft"
    ordered_json d = ordered_json::parse(k.build());
    EXPECT_EQ(d["ve"]["percent"], 0.0);
    EXPECT_EQ(d["pitMenu"]["vePercent"], 0.0);
    EXPECT_EQ(d["status"]["scoringInPits"], false);
    const ordered_json& car = d["standings"][0];
    EXPECT_EQ(car["name"], std::string(32, 'N'));
    EXPECT_EQ(car["vehicle"], std::string(64, 'V'));
    EXPECT_EQ(car["className"], std::string(32, 'C'));
    EXPECT_EQ(d["tires"]["compound"]["front"], std::string(18, 'F'));
}
