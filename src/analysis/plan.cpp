#include "analysis/plan.h"

#include "analysis/steps.h"

#include <algorithm>
#include <cmath>

namespace korvane {

namespace {

// Division results a hair above a whole number are that number: 60 L over
// 30 L a stop is two stops, not three.
constexpr double Slack = 1e-9;
constexpr int64_t MostStops = 1'000'000;

double median(std::vector<double> v) {
    size_t mid = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(mid), v.end());
    double upper = v[mid];
    if (v.size() % 2) return upper;
    double lower = *std::max_element(v.begin(), v.begin() + std::ptrdiff_t(mid));
    return (lower + upper) / 2;
}

// The part of this lap already driven: from the distance where the game
// gives it, else from the time into the lap at the pace.
double lapPart(const PlanInput& in) {
    if (in.lapFraction >= 0 && in.lapFraction <= 1) return in.lapFraction;
    if (in.lapSecondsSoFar >= 0 && in.pace > 0) return std::min(1.0, in.lapSecondsSoFar / in.pace);
    return 0;
}

// The next stop is reached with the reserve in hand, the stops after it
// too; a car in the pit lane, or one already down to its reserve, makes the
// next stop with what it holds now.
bool arrivesAsNow(double onHand, double reserve, const PlanInput& in) {
    return in.inPitLane || onHand <= reserve;
}

ResourcePlan resource(double onHand, double capacity, double use, double laps,
                      const PlanInput& in) {
    ResourcePlan r;
    if (use <= 0 || onHand < 0 || capacity <= 0 || laps < 0) return r;
    double reserve = in.reserveLaps * use;
    r.perStop = capacity - reserve;
    if (r.perStop <= 0) return r; // a reserve as large as the tank: no plan
    r.known = true;
    r.toFlag = laps * use;
    r.onTop = std::max(0.0, r.toFlag - onHand);
    double stops = 0;
    if (r.onTop > 0 && arrivesAsNow(onHand, reserve, in))
        stops = 1 + std::ceil(std::max(0.0, r.onTop - (capacity - onHand)) / r.perStop - Slack);
    else if (r.onTop > 0)
        stops = std::ceil(r.onTop / r.perStop - Slack);
    r.stops = int64_t(std::clamp(stops, 0.0, double(MostStops)));
    return r;
}

// The next stop comes when what binds is down to its reserve (now, in the
// pit lane). From there each resource needs the rest of the race plus its
// reserve; a stop that cannot reach the flag fills up.
void nextStop(FlagPlan& p, const PlanInput& in) {
    if (p.stops == 0) return;
    struct Side {
        ResourcePlan& r;
        double onHand, capacity, use;
        bool binds;
    } sides[2] = {
        {p.fuel, in.fuel, in.capacity, in.fuelPerLap, p.binds != PlanBinds::Energy},
        {p.energy, in.energy, 100.0, in.energyPerLap, p.binds != PlanBinds::Fuel},
    };
    double untilStop = in.inPitLane ? 0 : p.lapsToFlag;
    for (const Side& s : sides)
        if (s.r.known && s.binds)
            untilStop = std::min(untilStop, std::max(0.0, s.onHand / s.use - in.reserveLaps));
    for (const Side& s : sides) {
        if (!s.r.known) continue;
        double arrival = std::max(0.0, s.onHand - untilStop * s.use);
        double after = std::max(0.0, p.lapsToFlag - untilStop) * s.use + in.reserveLaps * s.use;
        s.r.level = p.stops > 1 ? s.capacity : std::min(s.capacity, std::max(after, arrival));
        s.r.add = s.r.level - arrival;
    }
}

// The use per lap with which this resource asks for `target` stops: the
// car's stock and `target` stops' worth last exactly the laps.
void saveAStop(ResourcePlan& r, double onHand, double capacity, double use, double laps,
               int64_t target, const PlanInput& in) {
    if (!r.known || r.stops <= target || laps <= 0) return;
    double k = in.reserveLaps, n = double(target);
    if (target == 0)
        r.saveUse = onHand / laps;
    else if (arrivesAsNow(onHand, k * use, in))
        r.saveUse = n * capacity / (laps + (n - 1) * k);
    else
        r.saveUse = (onHand + n * capacity) / (laps + n * k);
    r.savePercent = (use - r.saveUse) / use * 100.0;
}

} // namespace

std::vector<double> cleanLapTimes(const std::vector<double>& times) {
    std::vector<double> out;
    for (double t : times)
        if (t > 0) out.push_back(t);
    if (out.empty()) return out;
    double limit = median(out) * 1.07;
    std::erase_if(out, [limit](double t) { return t > limit; });
    return out;
}

double paceOf(const std::vector<double>& times) {
    std::vector<double> clean = cleanLapTimes(times);
    if (clean.empty()) return -1;
    size_t from = clean.size() > 5 ? clean.size() - 5 : 0;
    double sum = 0;
    for (size_t i = from; i < clean.size(); ++i) sum += clean[i];
    return sum / double(clean.size() - from);
}

double paceOf(const PaceLaps& laps) {
    std::vector<double> times(laps.times.values, laps.times.values + laps.times.count);
    if (laps.pendingLap != -1 && laps.pendingClean && laps.pendingSeconds > 0)
        times.push_back(laps.pendingSeconds);
    return paceOf(times);
}

LapSpread lapSpread(const std::vector<double>& times) {
    LapSpread s;
    std::vector<double> clean = cleanLapTimes(times);
    s.laps = clean.size();
    if (clean.empty()) return s;
    double sum = 0;
    for (double t : clean) sum += t;
    s.mean = sum / double(clean.size());
    double squares = 0;
    for (double t : clean) squares += (t - s.mean) * (t - s.mean);
    s.deviation = clean.size() > 1 ? std::sqrt(squares / double(clean.size() - 1)) : 0;
    return s;
}

int64_t lapRaceLapsLeft(int64_t maxLaps, int64_t ownLaps, int64_t leaderLaps) {
    if (maxLaps <= 0) return -1;
    int64_t left = std::max<int64_t>(0, maxLaps - ownLaps);
    if (leaderLaps > ownLaps) left = std::min(left, std::max<int64_t>(0, maxLaps - leaderLaps) + 1);
    return left;
}

double lapsToFlag(const PlanInput& in) {
    double laps = in.lapLimitLeft >= 0 ? double(in.lapLimitLeft) : -1;
    if (in.timeLeft >= 0 && in.pace > 0) {
        double f = lapPart(in);
        double timed = std::ceil(in.timeLeft / in.pace + f - Slack) - f;
        laps = laps < 0 ? timed : std::min(laps, timed);
    }
    return laps;
}

FlagPlan planToFlag(const PlanInput& in) {
    FlagPlan p;
    p.input = in;
    p.pace = in.pace;
    double laps = lapsToFlag(in);
    p.known = laps >= 0;
    if (p.known) {
        p.lapsToFlag = laps;
        p.fuel = resource(in.fuel, in.capacity, in.fuelPerLap, laps, in);
        p.energy = resource(in.energy, 100.0, in.energyPerLap, laps, in);
        int64_t f = p.fuel.stops, e = p.energy.stops;
        p.stops = std::max(f, e);
        p.binds = p.stops == 0 ? PlanBinds::None
                  : f == e     ? PlanBinds::Both
                  : f > e      ? PlanBinds::Fuel
                               : PlanBinds::Energy;
        nextStop(p, in);
        if (p.stops > 0) {
            saveAStop(p.fuel, in.fuel, in.capacity, in.fuelPerLap, laps, p.stops - 1, in);
            saveAStop(p.energy, in.energy, 100.0, in.energyPerLap, laps, p.stops - 1, in);
        }
    }
    for (int i = 0; i < 4; ++i) {
        double rate = in.wearPerLap[size_t(i)];
        if (rate <= 0) continue;
        double left = std::max(0.0, in.wear[size_t(i)]) / rate;
        if (p.tyre < 0 || in.wear[size_t(i)] < in.wear[size_t(p.tyre)]) {
            p.tyre = i;
            p.tyreLaps = left;
        }
    }
    return p;
}

const char* planBindsName(PlanBinds binds) {
    switch (binds) {
    case PlanBinds::Fuel:
        return "fuel";
    case PlanBinds::Energy:
        return "energy";
    case PlanBinds::Both:
        return "fuel and energy";
    case PlanBinds::None:
        break;
    }
    return "none";
}

} // namespace korvane

namespace korvane::steps {

void gatherLapTime(StintState& st, const TickSample& s, const VehicleScoring& player,
                   int32_t endedLap, bool endedDirty) {
    PaceLaps& p = st.pace;
    if (s.sessionOk) {
        // Another session, or the same one begun again: its laps start afresh.
        if (s.sessionType != p.sessionType || s.et + 1 < p.lastEt) {
            p = PaceLaps{};
            p.sessionType = s.sessionType;
        }
        p.lastEt = s.et;
    }
    if (!st.tracking) {
        p.pendingLap = -1;
        return;
    }
    if (endedLap != -1) {
        if (p.pendingLap != -1 && p.pendingClean && p.pendingSeconds > 0)
            p.times.add(p.pendingSeconds);
        p.pendingLap = endedLap;
        // Two laps completed at least: the one that ended was not the first.
        p.pendingClean = !endedDirty && player.lapsCompleted > 1;
        p.pendingSeconds = -1;
    }
    // The game shows a lap's time from the moment the next one begins.
    double t = player.lastLapSeconds;
    if (p.pendingLap != -1 && t > 0 && t < 1e5) p.pendingSeconds = t;
}

void planStep(const StintState& st, const ScoringBuffer& scoring, const VehicleScoring& player,
              TickSample& s) {
    if (!s.sessionOk) return;
    PlanInput in;
    in.pace = paceOf(st.pace);
    if (scoring.endEt > 0 && scoring.endEt < 1e7)
        in.timeLeft = std::max(0.0, scoring.endEt - scoring.currentEt);
    // The game writes a huge lap limit into a race against the clock.
    if (scoring.maxLaps > 0 && scoring.maxLaps < 100000) {
        int64_t leader = -1;
        int n = std::clamp(scoring.numVehicles, 0, MaxVehicles);
        for (int i = 0; i < n; ++i)
            if (scoring.vehicles[i].place == 1) leader = scoring.vehicles[i].lapsCompleted;
        in.lapLimitLeft = lapRaceLapsLeft(scoring.maxLaps, player.lapsCompleted, leader);
    }
    if (scoring.lapDistance > 0 && player.lapDist >= 0 && player.lapDist <= scoring.lapDistance)
        in.lapFraction = player.lapDist / scoring.lapDistance;
    if (player.lapStartEt > 0 && s.et >= player.lapStartEt)
        in.lapSecondsSoFar = s.et - player.lapStartEt;
    in.fuel = s.fuel;
    in.capacity = s.capacity;
    in.fuelPerLap = st.fuelWindow.empty() ? 0 : st.fuelWindow.mean;
    in.energy = s.energyPercent;
    in.energyPerLap = st.energyWindow.empty() ? 0 : st.energyWindow.mean;
    in.reserveLaps = st.reserveLaps;
    in.inPitLane = s.inPits != 0;
    in.wear = s.wearPercent;
    for (size_t i = 0; i < 4; ++i)
        in.wearPerLap[i] = st.wearWindows[i].empty() ? 0 : st.wearWindows[i].mean;
    s.plan = planToFlag(in);
}

} // namespace korvane::steps
