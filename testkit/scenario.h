#pragma once
// Scenarios for the test rig: a session described as a header (track, cars,
// the player's car) and a timeline of steps over session time. The same code
// fills the mapped buffers in the rig (in real time) and plain buffers in unit
// tests (at full speed).
#include "telemetry/game_layout.h"
#include "telemetry/layout.h"
#include "telemetry/shared_views.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace korvane::testkit {

struct CarSpec {
    int32_t id = 0;
    std::string driver, vehicle, className;
    int place = 0;
    double behindLeader = 0;
    double lapSeconds = 100;
    double bestLap = 0, lastLap = 0;
    int pitStops = 0;
    int fuelByte = 0;
    bool inPits = false;
    int pitState = 0;
    // The buffers get this car's names in Windows-1252, as a game build that
    // writes its 8-bit code page would ('?' for a letter it lacks); UTF-8
    // otherwise. The scenario text is UTF-8 either way.
    bool cp1252 = false;
};

// One timeline step. Steps with a duration last that many seconds of session
// time; the others act at once.
struct Step {
    std::string kind; // drive pitlane box stand garage wait torn hide-player hide-telemetry
                      // replay remote locked
                      // restart session compound vehicles pitmenu overtake phase realtime
                      // driver
    double seconds = 0;
    double refuelLitres = 0;
    std::string tyres; // "", "all", "front", "rear", or wheel names joined by ','
    std::vector<std::string> args;
};

struct Scenario {
    std::string track = "Test Track";
    int32_t sessionType = 10;
    int gamePhase = 5;
    bool inRealtime = true;
    double startEt = 300;
    double endEt = 7500;
    std::string playerName;
    bool trackCp1252 = false; // the track and player names in Windows-1252
    CarSpec player;
    std::vector<CarSpec> cars;
    double capacity = 100, fuel = 80;
    double lapSeconds = 90, burnPerLap = 3.0;
    // The track's length in metres (0: the game gives none) and the race's
    // lap limit (0: none, a race against the clock).
    double trackLength = 0;
    int32_t maxLaps = 0;
    // The game's REST answers (see race_answers.h): laps of records before
    // the timeline starts, the player's energy per lap in percent, and how
    // many laps a stint lasts there.
    int historyLaps = 0;
    double vePerLap = 3.0;
    // The car's own energy at the start, in percent (the game's interface).
    double startEnergy = 95.0;
    int stintLaps = 12;
    std::array<double, 4> wearPerLap{1.5, 1.5, 1.2, 1.2}; // percent
    std::array<double, 4> startWear{100, 100, 100, 100};  // percent left at the start
    std::array<double, 4> tempsC{85, 85, 80, 80};
    double speed = 200, rpm = 8000;
    int gear = 5;
    std::string frontCompound = "Medium", rearCompound = "Medium";
    std::string pitCategory, pitChoice;
    // The pit menu after the plugin's version block (as the published plugin
    // writes it, 340 bytes) or without one (332 bytes).
    bool pitInfoVersioned = true;
    // A double at this byte offset of the telemetry buffer holding fuel as a
    // fraction of the tank, as an unnamed energy level would; -1 = none.
    long energySlot = -1;
    std::vector<Step> steps;
};

// Writes text into a fixed-size character field, zero-filled after it; a text
// as long as the field fills it without a terminator, as the game may.
void putText(char* field, size_t size, const std::string& text);

// UTF-8 text in Windows-1252 bytes, '?' for what the code page lacks.
std::string toCp1252(const std::string& utf8);

// The code point of the UTF-8 letter at `i`, moving `i` past it.
uint32_t nextCodePoint(const std::string& utf8, size_t& i);

// Parses the scenario text; false with a reason on a line it cannot read.
[[nodiscard]] bool parseScenario(const std::string& text, Scenario& out, std::string& err);
[[nodiscard]] bool loadScenarioFile(const std::string& path, Scenario& out, std::string& err);

// The simulated world at one moment.
struct World {
    double et = 0;
    int32_t sessionType = 10;
    int gamePhase = 5;
    bool inRealtime = true;
    int lap = 0;
    double lapProgress = 0;
    // When this lap began and how long the last one took, as the game times
    // them; -1 before the first lap ends.
    double lapStartEt = 0, lastLapSeconds = -1;
    std::string driver; // the player's car's driver, changed at a driver swap
    double fuel = 0;
    double energy = 1;                      // the car's virtual energy, a fraction
    std::array<double, 4> wear{1, 1, 1, 1}; // fractions
    std::string frontCompound, rearCompound;
    std::string pitCategory, pitChoice;
    double speed = 0, rpm = 0;
    bool inPits = false, inGarage = false, limiter = false;
    int pitState = 0;
    bool torn = false, hidePlayer = false, hideTelemetry = false;
    // Every car driven by a replay; the player's car driven from another
    // machine; the game's lock held by another reader.
    bool replay = false, remote = false, lockHeld = false;
    int vehiclesOverride = -1000; // -1000: use the real count
    std::vector<CarSpec> cars;    // other cars, places may change
    int playerPlace = 0;
};

class ScenarioPlayer {
  public:
    explicit ScenarioPlayer(Scenario scenario);
    // Moves session time forward; steps take effect in order.
    void advance(double seconds);
    const World& world() const { return world_; }
    bool finished() const { return index_ >= scenario_.steps.size(); }

  private:
    void startStep();
    void runFor(const Step& step, double dt);
    Scenario scenario_;
    World world_;
    size_t index_ = 0;
    double stepLeft_ = 0;
    bool stepStarted_ = false;
    double boxFuelStart_ = 0;
    bool tyresDone_ = false;
};

// The pit-info mapping's size in the scenario's layout.
size_t pitInfoSize(const Scenario& scenario);

// Writes one frame as a publisher does: begin counter, fields, end counter.
// `counter` is the publisher's update counter, raised once per frame.
// `pitInfo` holds pitInfoSize bytes.
void writeFrame(const Scenario& scenario, const World& world, uint32_t& counter,
                TelemetryBuffer& telemetry, ScoringBuffer& scoring, uint8_t* pitInfo);

// Marks the world for a spell of this kind (torn, hidden, replay, remote,
// locked); true when it is one.
bool markSpell(World& world, const std::string& kind);

// The game's own mapping from buffers in the plugin's layout: the session
// header, the cars, the telemetry records with the player's at `playerIndex`
// (-1: the player has no vehicle).
void writeGameBlocks(const TelemetryBuffer& telemetry, const ScoringBuffer& scoring,
                     int playerIndex, GameData& out, int32_t gameVersion = GameVersionKnown);

// The game's own mapping for the frame writeFrame wrote last: the same moment
// as the game publishes it, the player's telemetry record at its index among
// the cars and the car's energy in its own field.
void writeGameFrame(const World& world, const TelemetryBuffer& telemetry,
                    const ScoringBuffer& scoring, GameData& out,
                    int32_t gameVersion = GameVersionKnown);

// Zeroed buffers on the heap, for running scenarios inside a test process.
struct FrameBuffers {
    FrameBuffers();
    std::unique_ptr<TelemetryBuffer> telemetry;
    std::unique_ptr<ScoringBuffer> scoring;
    std::unique_ptr<VersionedPitMenu> pitInfo; // room for either layout
    uint32_t counter = 0;
    const PitMenuBuffer* pitMenu() const {
        return reinterpret_cast<const PitMenuBuffer*>(pitInfo.get());
    }
    // Points a tick's views at these buffers, as if the mappings were open.
    void showIn(SharedViews& views) const {
        views.telemetry = telemetry.get();
        views.scoring = scoring.get();
        views.pitMenu = pitMenu();
    }
    void publish(const Scenario& scenario, const World& world) {
        writeFrame(scenario, world, counter, *telemetry, *scoring,
                   reinterpret_cast<uint8_t*>(pitInfo.get()));
    }
};

} // namespace korvane::testkit
