#pragma once
// What the REST poller has learnt from the game, shared with the main loop.
// The numbers are single atomic values, read and written without the lock;
// the rival map, its label and the player's name sit behind snapshotMutex,
// which is never held across network work.
#include <array>
#include <atomic>
#include <map>
#include <mutex>
#include <string>

namespace korvane {

struct RestSnapshot {
    std::atomic<bool> restVeValid{false};
    std::atomic<double> restVePercent{-1.0};
    std::atomic<double> restVePerLap{-1.0};
    std::atomic<double> restTyreWear[4] = {-1.0, -1.0, -1.0, -1.0};

    mutable std::mutex snapshotMutex;
    std::map<std::string, double> rivalEnergy; // driver name -> energy percent
    // The same cars by reduced name (see rivalEnergyFor), built by the poller
    // before it takes the lock, so a lookup never reduces every key.
    std::map<std::string, double> rivalEnergyByReducedName;
    std::string rivalEnergyField;
    std::string playerDriverName;
    // The last answer dropped for its size ("/rest/strategy/usage, 17,000,000
    // bytes"), for the diagnostics; empty while none was.
    std::string droppedAnswer;
};

// The one snapshot of the process.
RestSnapshot& restSnapshot();

// The snapshot's numbers as one tick reads them (each value on its own, so
// they may come from different polls).
struct RestValues {
    bool veValid = false;
    double vePercent = -1.0;
    double vePerLap = -1.0;
    std::array<double, 4> tyreWear{-1.0, -1.0, -1.0, -1.0};
};

RestValues readRestValues(const RestSnapshot& snapshot);

// Whether the game's answers show a loaded session: an energy reading of the
// player's car, or cars in the standings.
bool gameAnswersSession(const RestSnapshot& snapshot);

// Replaces the player's driver name under the lock.
void publishPlayerDriverName(RestSnapshot& snapshot, const std::string& name);

// Puts a fresh standings map in place of the old one, with its reduced-name
// index built first; the matched key is kept only if none was kept before.
// The old maps are freed after the lock is released.
void publishRivalEnergy(RestSnapshot& snapshot, std::map<std::string, double> energy,
                        const std::string& matchedKey);

// A car's energy percent by driver name, or -1. An exact match wins; else the
// names are compared up to their first '#', ignoring ASCII letter case.
double rivalEnergyFor(const RestSnapshot& snapshot, const char* name);

} // namespace korvane
