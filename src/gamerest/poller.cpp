#include "gamerest/poller.h"

#include "gamerest/rest_fetch.h"
#include "gamerest/scanners.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/text.h"

#include <utility>

namespace korvane {

namespace {

void pollEnergy(RestSnapshot& snapshot, const std::string& body) {
    bool ok = false;
    size_t p = body.size() >= 10 ? body.find("\"fuelInfo\"") : std::string::npos;
    if (p != std::string::npos) {
        std::optional<double> cur = findNumberAfterKey(body, p, "currentVirtualEnergy");
        std::optional<double> max = findNumberAfterKey(body, p, "maxVirtualEnergy");
        if (cur && max && *max > 0) {
            double pct = *cur / *max * 100.0;
            if (pct >= -0.5 && pct <= 100.5) {
                snapshot.restVePercent.store(pct);
                ok = true;
            }
        }
    }
    snapshot.restVeValid.store(ok);
}

void pollUsage(RestSnapshot& snapshot, const std::string& body) {
    if (body.empty()) {
        // No answer (or one dropped for its size): what the last one gave is
        // no longer current.
        snapshot.restVePerLap.store(-1.0);
        for (auto& wear : snapshot.restTyreWear) wear.store(-1.0);
        return;
    }
    std::string name;
    {
        std::lock_guard<std::mutex> lock(snapshot.snapshotMutex);
        name = snapshot.playerDriverName;
    }
    UsageScan usage = scanUsage(body, name);
    if (usage.vePerLap) snapshot.restVePerLap.store(*usage.vePerLap);
    if (usage.tyres)
        for (size_t i = 0; i < 4; ++i) snapshot.restTyreWear[i].store(usage.tyres->values[i]);
}

void pollStandings(RestSnapshot& snapshot, const std::string& body) {
    if (body.empty()) {
        publishRivalEnergy(snapshot, {}, "");
        return;
    }
    std::optional<StandingsEnergy> found = parseStandingsEnergy(body);
    if (!found || found->energyByDriver.empty()) return;
    publishRivalEnergy(snapshot, std::move(found->energyByDriver), found->matchedKey);
}

// The body of one answer; a dropped one is noted for the diagnostics and
// gives nothing, as no answer would. The note goes once the path's answers
// fit again.
std::string fetchBody(RestSnapshot& snapshot, const RestFetch& fetch, const wchar_t* path) {
    RestReply reply = fetch(path);
    std::string named = wideToUtf8(path) + ", ";
    std::lock_guard<std::mutex> lock(snapshot.snapshotMutex);
    if (reply.dropped)
        snapshot.droppedAnswer = named + droppedSizeText(reply);
    else if (!reply.body.empty() && snapshot.droppedAnswer.starts_with(named))
        snapshot.droppedAnswer.clear();
    return std::move(reply.body);
}

constexpr const wchar_t* EnergyPath = L"/rest/garage/UIScreen/RepairAndRefuel";
constexpr const wchar_t* UsagePath = L"/rest/strategy/usage";
constexpr const wchar_t* StandingsPath = L"/rest/watch/standings";

} // namespace

void pollRestOnce(RestSnapshot& snapshot, const RestFetch& fetch) {
    pollEnergy(snapshot, fetchBody(snapshot, fetch, EnergyPath));
    pollUsage(snapshot, fetchBody(snapshot, fetch, UsagePath));
    pollStandings(snapshot, fetchBody(snapshot, fetch, StandingsPath));
}

void takeRestAnswer(RestSnapshot& snapshot, const std::string& path, const std::string& body) {
    std::wstring p = utf8ToWide(path);
    if (p == EnergyPath)
        pollEnergy(snapshot, body);
    else if (p == UsagePath)
        pollUsage(snapshot, body);
    else if (p == StandingsPath)
        pollStandings(snapshot, body);
}

bool startRestPoller(std::string& err, RestFetch fetch) {
    if (!fetch) fetch = restGet;
    return startDetachedThread(
        [fetch] {
            for (;;) {
                pollRestOnce(restSnapshot(), fetch);
                sleepMs(2000);
            }
        },
        err);
}

} // namespace korvane
