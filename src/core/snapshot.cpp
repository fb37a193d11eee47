#include "core/snapshot.h"

namespace korvane {

RestSnapshot& restSnapshot() {
    // Never destroyed: the poller thread is never stopped, so the snapshot
    // must outlive an exit that runs while it polls.
    static RestSnapshot* snapshot = new RestSnapshot;
    return *snapshot;
}

RestValues readRestValues(const RestSnapshot& s) {
    RestValues v;
    v.veValid = s.restVeValid.load();
    v.vePercent = s.restVePercent.load();
    v.vePerLap = s.restVePerLap.load();
    for (size_t i = 0; i < 4; ++i) v.tyreWear[i] = s.restTyreWear[i].load();
    return v;
}

bool gameAnswersSession(const RestSnapshot& snapshot) {
    if (snapshot.restVeValid.load()) return true;
    std::lock_guard<std::mutex> lock(snapshot.snapshotMutex);
    return !snapshot.rivalEnergy.empty();
}

void publishPlayerDriverName(RestSnapshot& snapshot, const std::string& name) {
    std::lock_guard<std::mutex> lock(snapshot.snapshotMutex);
    snapshot.playerDriverName = name;
}

namespace {

// The part before the first '#', with ASCII letters lower-cased. Not tolower():
// that depends on the locale.
std::string reducedName(const std::string& name) {
    std::string out = name.substr(0, name.find('#'));
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

} // namespace

void publishRivalEnergy(RestSnapshot& snapshot, std::map<std::string, double> energy,
                        const std::string& matchedKey) {
    std::map<std::string, double> reduced;
    // Walked in key order, so of two names that reduce alike the one that
    // sorts first keeps its place.
    for (const auto& [name, value] : energy) reduced.emplace(reducedName(name), value);
    {
        std::lock_guard<std::mutex> lock(snapshot.snapshotMutex);
        snapshot.rivalEnergy.swap(energy);
        snapshot.rivalEnergyByReducedName.swap(reduced);
        if (snapshot.rivalEnergyField.empty()) snapshot.rivalEnergyField = matchedKey;
    }
}

double rivalEnergyFor(const RestSnapshot& snapshot, const char* name) {
    if (!name || !*name) return -1.0;
    std::string key(name);
    std::string reduced = reducedName(key);
    std::lock_guard<std::mutex> lock(snapshot.snapshotMutex);
    auto exact = snapshot.rivalEnergy.find(key);
    if (exact != snapshot.rivalEnergy.end()) return exact->second;
    auto match = snapshot.rivalEnergyByReducedName.find(reduced);
    return match != snapshot.rivalEnergyByReducedName.end() ? match->second : -1.0;
}

} // namespace korvane
