#pragma once
// The stint report: what a recorded session showed, lap by lap and stop by
// stop, as one self-contained HTML page a team can open anywhere (no script,
// nothing fetched, charts drawn as inline SVG). The figures are filled in by
// running the recording through the live program's own analysis; this file
// only lays them out.
#include "analysis/plan.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

// One row per lap the analysis closed while it was tracking.
struct ReportLap {
    int lap = 0;              // the lap that ended
    int64_t laps = 1;         // laps the row covers (more when the count jumped)
    double lapSeconds = -1;   // the game's time for it; -1 when it gave none
    double fuelUsed = 0;      // as the live document's lap.fuelUsedLastLap
    bool fuelCounted = false; // it went into the fuel average
    double fuelAverage = 0;   // fuel.avgPerLap after it
    bool energyKnown = false; // false when a source was missing at either end
    double energyUsed = 0;    // percent; a refill is negative
    bool energyCounted = false;
    double energyAverage = 0;     // ve.avgPerLap after it
    std::string energySource;     // "rest", "pitmenu" or "none", as ve.source
    std::array<double, 4> wear{}; // percent left at the lap's end, fl fr rl rr
    std::string frontCompound, rearCompound;
    bool pit = false;          // the car was in the pit lane during the lap
    bool tyresChanged = false; // a change was seen during the lap
    bool joined = false;       // the accounting started part-way through it
    bool paceLap = false;      // its time may count for the pace
    std::string driver;
};

// One row per visit to the pit lane while tracking.
struct ReportStop {
    int lap = 0;
    double startEt = 0;
    uint32_t startMs = 0, endMs = 0; // since the recording started
    bool ended = false;              // false: still in the pit lane when the recording ends
    bool measured = false;           // the live view took it as a stop (lastStop)
    double pitLaneSeconds = 0;       // the whole visit
    double driveSeconds = 0;         // measured stops: moving in the pit lane
    double stationarySeconds = 0;
    double litres = 0;
    bool tyresChanged = false;
    double secondsPerLitre = 0; // 0 when not given, as lastStop.secPerLitre
    FlagPlan plan;              // what the plan said as the car entered the pit lane
    double energyAfter = -1;    // percent as it left, -1 unknown
};

// The plan over the session, a point every half minute of session time.
struct ReportPlanPoint {
    double et = 0;
    double lapsToFlag = 0;
    double fuelLaps = 0, energyLaps = 0; // what the tank and the battery hold, 0 unknown
};

// What a recording is of: recordings of the same car in the same session
// merge into one report.
struct ReportSession {
    bool seen = false;
    std::string track, car;
    int32_t type = 0;
    double startedAt = 0; // the session's start on the recording machine's clock
};

// The laps between two pit visits or driver changes.
struct ReportStint {
    std::string driver;
    int firstLap = 0, lastLap = 0;
    int64_t laps = 0;
    LapSpread pace;
    double fuelPerLap = -1, energyPerLap = -1; // -1: no lap counted
};

// Stretches of the recording, for the stint bar.
enum class SpanKind { NoTicks, NotPublishing, NotTracking, OnTrack, InPitLane };
struct ReportSpan {
    SpanKind kind = SpanKind::NoTicks;
    uint32_t fromMs = 0, toMs = 0;
};

struct StintReport {
    std::string fileName;    // the recording's, UTF-8
    std::string recordedBy;  // the program version in the recording's header
    std::string madeBy;      // this program's version
    int64_t startedAt = 0;   // seconds since 1970
    std::string startedText; // the same as local date and time
    std::string track;
    std::vector<std::string> sessions, cars, drivers; // each in order of first sight
    double sessionLength = -1;                        // the scoring header's end time, -1 when none
    double firstEt = -1, lastEt = -1;                 // session time covered while tracking
    int ticks = 0;                                    // whole ticks read
    uint32_t lastMs = 0;
    int restAnswers = 0; // answers that came (status other than 0)
    bool energyFromRest = false, energyFromPitMenu = false;
    bool lapTimeMissing = false;
    bool cut = false; // the file ends inside tick ticks + 1
    std::vector<ReportLap> laps;
    std::vector<ReportStop> stops;
    std::vector<ReportSpan> spans;
    std::vector<ReportPlanPoint> plan;
    ReportSession session;
    std::vector<std::string> notes; // said first among what the recordings do not hold
};

// Adds `item` to the list unless it is empty or already there.
void addOnce(std::vector<std::string>& items, const std::string& item);

// The stints, in order.
std::vector<ReportStint> reportStints(const StintReport& report);

// One report of several recordings of the same car in the same session, in
// the order given: each stretch covered by more than one is taken once, from
// the recording given first. False, with the reason naming the recording,
// when one is of another car or session.
bool mergeReports(const std::vector<StintReport>& parts, StintReport& out, std::string& err);

// What the recording did not hold, in plain words, one sentence each.
std::vector<std::string> missingFromRecording(const StintReport& report);

// The page.
std::string renderReportPage(const StintReport& report);

// "1:02:03" for seconds, "-" for a negative value.
std::string clockText(double seconds);

} // namespace korvane
