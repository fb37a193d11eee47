#include "app/report.h"

#include "analysis/session.h"
#include "app/tick.h"
#include "core/build_info.h"
#include "core/game_text.h"
#include "core/strings.h"
#include "gamerest/poller.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/text.h"
#include "telemetry/recording.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <new>

namespace korvane {

namespace {

// Ticks come every 500 ms: a longer silence than this is a gap worth telling.
constexpr uint32_t GapMs = 2000;

// A recorded buffer put where a tick reads it, as the publisher leaves it:
// the bytes, then zeros up to what the tick before used.
template <class T> const T* place(const std::string& bytes, T& buffer, size_t& used) {
    char* dst = reinterpret_cast<char*>(&buffer);
    size_t n = std::min(bytes.size(), sizeof(T));
    std::memcpy(dst, bytes.data(), n);
    if (used > n) std::memset(dst + n, 0, used - n);
    used = n;
    return n ? &buffer : nullptr;
}

// Runs ticks through the live program's analysis and notes what the page
// shows, as the ticks go: nothing of a tick is kept once it is read.
class ReportBuilder {
  public:
    ReportBuilder(StintReport& report, bool raceOnly, double reserveLaps)
        : r_(report), raceOnly_(raceOnly) {
        ctx_.stint.reserveLaps = reserveLaps;
    }

    void take(const RecordedTick& tick, const RecordingReader& reader) {
        uint32_t from = r_.ticks ? prevMs_ : tick.ms;
        if (r_.ticks && tick.ms > prevMs_ + GapMs) {
            span(SpanKind::NoTicks, prevMs_, tick.ms);
            from = tick.ms;
        }
        prevMs_ = tick.ms;
        r_.ticks += 1;
        r_.lastMs = std::max(r_.lastMs, tick.ms);
        takeAnswers(tick, reader);
        ctx_.views.telemetry = place(tick.telemetry, *telemetry_, used_[0]);
        ctx_.views.scoring = place(tick.scoring, *scoring_, used_[1]);
        ctx_.views.pitMenu = place(tick.pitMenu, *pitMenu_, used_[2]);
        ctx_.views.source = tick.source;
        span(analyse(tick.ms), from, tick.ms);
    }

    void finish() {
        const StintState& st = ctx_.stint;
        if (!r_.stops.empty() && !r_.stops.back().ended) {
            ReportStop& s = r_.stops.back();
            s.pitLaneSeconds = lastEt_ - st.stopStartEt;
            unmeasured(s);
        }
        for (const ReportLap& l : r_.laps) r_.lapTimeMissing |= l.lapSeconds <= 0;
    }

  private:
    // Answers as the poller took them, before the tick that followed them.
    // A body that repeats the one before, read with the same driver name,
    // leaves the snapshot as it is: it is not read again. Read again for
    // another name, it draws on a budget that grows with the file, so that a
    // small file naming a new driver every tick cannot ask for endless work.
    void takeAnswers(const RecordedTick& tick, const RecordingReader& reader) {
        for (const RestAnswer& a : tick.answers) {
            if (a.status != 0) r_.restAnswers += 1;
            auto read = readWith_.find(a.path);
            if (a.repeated && read != readWith_.end() && read->second == ctx_.driverName) continue;
            const std::string& body = reader.bodyOf(a);
            if (a.repeated) {
                uint64_t budget = RereadBaseBytes + RereadPerFileByte * reader.bytesRead();
                if (reread_ + body.size() > budget) continue;
                reread_ += body.size();
            }
            takeRestAnswer(snapshot_, a.path, body);
            readWith_[a.path] = ctx_.driverName;
        }
    }

    // What the analysis held before a tick, to tell what the tick changed.
    struct Before {
        int lap;
        bool stop;
        int32_t measured;
        size_t fuel, energy;
    };

    SpanKind analyse(uint32_t ms) {
        PlayerRecords player;
        switch (beginTick(ctx_, raceOnly_, player)) {
        case TickStart::Waiting:
            return SpanKind::NotPublishing;
        case TickStart::Skipped:
        case TickStart::Torn:
        case TickStart::PlayerMissing:
        case TickStart::Replay:
            return SpanKind::NotTracking;
        case TickStart::Ready:
            break;
        }
        StintState& st = ctx_.stint;
        Before before{st.lastLap, st.pitStopInProgress, st.stopsMeasured, st.fuelWindow.added,
                      st.energyWindow.added};
        TickSample s = analyseTick(ctx_, player, snapshot_);
        const ScoringBuffer& scoring = *ctx_.views.scoring;
        if (r_.track.empty()) r_.track = gameText(scoring.trackName, sizeof scoring.trackName);
        if (s.sessionOk) {
            lastEt_ = s.et;
            if (scoring.endEt > 0) r_.sessionLength = scoring.endEt;
            notePlan(ms, s, player);
        }
        noteStop(ms, s, before);
        if (!st.tracking) {
            lapPit_ = lapTyres_ = false;
            return SpanKind::NotTracking;
        }
        if (s.sessionOk) noteSession(s, player);
        noteLap(s, player, before);
        return s.inPitStop ? SpanKind::InPitLane : SpanKind::OnTrack;
    }

    void noteStop(uint32_t ms, const TickSample& s, const Before& before) {
        const StintState& st = ctx_.stint;
        if (!before.stop && st.pitStopInProgress) {
            ReportStop stop;
            stop.lap = s.lap;
            stop.startEt = st.stopStartEt;
            stop.startMs = ms;
            stop.plan = s.plan;
            r_.stops.push_back(stop);
        } else if (before.stop && !st.pitStopInProgress && !r_.stops.empty()) {
            ReportStop& stop = r_.stops.back();
            stop.ended = true;
            stop.endMs = ms;
            stop.pitLaneSeconds = s.et - st.stopStartEt;
            stop.measured = st.stopsMeasured > before.measured;
            stop.energyAfter = s.energyPercent;
            if (stop.measured) {
                stop.driveSeconds = st.lastStop.driveThroughSeconds;
                stop.stationarySeconds = st.lastStop.stationarySeconds;
                stop.litres = st.lastStop.litres;
                stop.tyresChanged = st.lastStop.tyresChanged;
                stop.secondsPerLitre = secondsPerLitre(st.lastStop);
            } else {
                unmeasured(stop);
            }
        }
    }

    void noteSession(const TickSample& s, const PlayerRecords& player) {
        addOnce(r_.sessions, sessionTypeName(ctx_.views.scoring->sessionType));
        addOnce(r_.cars, gameText(playerVehicleNameField(*player.telemetry, *player.scoring), 64));
        addOnce(r_.drivers, ctx_.driverName);
        if (r_.firstEt < 0) r_.firstEt = s.et;
        r_.lastEt = s.et;
        if (s.energySource == EnergySource::Rest) r_.energyFromRest = true;
        if (s.energySource == EnergySource::PitMenu) r_.energyFromPitMenu = true;
    }

    void noteLap(const TickSample& s, const PlayerRecords& player, const Before& before) {
        const StintState& st = ctx_.stint;
        lapPit_ |= s.inPitStop;
        lapTyres_ |= s.tyreChangeRecent;
        if (before.lap == -1 && st.lastLap != -1) {
            joinedLap_ = st.lastLap;
        } else if (before.lap != -1 && st.lastLap > before.lap) {
            ReportLap l;
            l.lap = before.lap;
            // Lap numbers come from the game: the difference may not fit an int.
            l.laps = int64_t(st.lastLap) - before.lap;
            l.fuelUsed = st.fuelUsedLastLap;
            l.fuelCounted = st.fuelWindow.added > before.fuel;
            l.fuelAverage = st.fuelAverage;
            l.energyKnown = st.energyUsedLastLap.has_value();
            l.energyUsed = st.energyUsedLastLap.value_or(0);
            l.energyCounted = st.energyWindow.added > before.energy;
            l.energyAverage = energyPerLap(st, snapshot_.restVePerLap.load());
            l.energySource = energySourceName(s.energySource);
            l.wear = s.wearPercent;
            l.frontCompound = gameText(player.telemetry->frontCompound, 18);
            l.rearCompound = gameText(player.telemetry->rearCompound, 18);
            l.pit = lapPit_;
            l.tyresChanged = lapTyres_;
            l.joined = before.lap == joinedLap_;
            l.paceLap = st.pace.pendingLap == before.lap && st.pace.pendingClean;
            l.driver = ctx_.driverName;
            r_.laps.push_back(l);
            // The boundary tick already belongs to the lap that starts on it.
            lapPit_ = s.inPitStop;
            lapTyres_ = s.tyreChangeRecent;
        }
        // The game's time for a lap shows once the next lap is under way.
        if (!r_.laps.empty() && st.lastLap == r_.laps.back().lap + r_.laps.back().laps) {
            double t = player.scoring->lastLapSeconds;
            r_.laps.back().lapSeconds = t > 0 && t < 1e6 ? t : -1;
        }
    }

    // What the session is, from its first tick, and the plan every half
    // minute of session time.
    void notePlan(uint32_t ms, const TickSample& s, const PlayerRecords& player) {
        if (!r_.session.seen) {
            r_.session.seen = true;
            r_.session.track = gameText(ctx_.views.scoring->trackName, 64);
            r_.session.car =
                gameText(playerVehicleNameField(*player.telemetry, *player.scoring), 64);
            r_.session.type = s.sessionType;
            r_.session.startedAt = double(r_.startedAt) + double(ms) / 1000.0 - s.et;
        }
        if (!s.plan.known || (!r_.plan.empty() && s.et < r_.plan.back().et + PlanPointSeconds))
            return;
        const StintState& st = ctx_.stint;
        double energyUse = st.energyWindow.empty() ? 0 : st.energyWindow.mean;
        r_.plan.push_back(
            {s.et, s.plan.lapsToFlag, s.estimatedFuelLaps,
             s.energyPercent >= 0 ? estimatedEnergyLaps(s.energyPercent, energyUse) : 0});
    }

    // A visit the live view did not take as a stop: what the analysis saw of it.
    void unmeasured(ReportStop& stop) const {
        const StintState& st = ctx_.stint;
        stop.stationarySeconds = st.stationarySeconds;
        stop.litres = std::max(0.0, st.stopMaxFuel - st.stopStartFuel);
        stop.tyresChanged = st.stopTyreFlag;
    }

    void span(SpanKind kind, uint32_t from, uint32_t to) {
        if (!r_.spans.empty() && r_.spans.back().kind == kind && r_.spans.back().toMs == from)
            r_.spans.back().toMs = to;
        else
            r_.spans.push_back({kind, from, to});
    }

    StintReport& r_;
    bool raceOnly_;
    TickContext ctx_;
    RestSnapshot snapshot_;
    std::unique_ptr<TelemetryBuffer> telemetry_ = std::make_unique<TelemetryBuffer>();
    std::unique_ptr<ScoringBuffer> scoring_ = std::make_unique<ScoringBuffer>();
    std::unique_ptr<PitMenuBuffer> pitMenu_ = std::make_unique<PitMenuBuffer>();
    size_t used_[3] = {0, 0, 0};
    std::map<std::string, std::string> readWith_; // path -> the name its body was read with
    // Bodies read again for another driver: up to 64 MiB, and 64 bytes for
    // every byte of the file read so far (a driver change late in a race
    // reads the strategy answer again, megabytes, once).
    static constexpr uint64_t RereadBaseBytes = uint64_t(64) << 20, RereadPerFileByte = 64;
    uint64_t reread_ = 0;
    static constexpr double PlanPointSeconds = 30;
    uint32_t prevMs_ = 0;
    double lastEt_ = 0;
    bool lapPit_ = false, lapTyres_ = false;
    int joinedLap_ = -1;
};

// The part of the path after its last folder separator.
size_t nameStart(const std::wstring& path) {
    size_t slash = path.find_last_of(L"/\\");
    return slash == std::wstring::npos ? 0 : slash + 1;
}

// A page this program wrote: it may be written over by a new report of the
// same recording. Anything else under that name is the user's.
bool isOurPage(const std::string& bytes) {
    return bytes.compare(0, 15, "<!DOCTYPE html>") == 0 &&
           bytes.find("<meta name=\"generator\" content=\"Korvane Companion ") < 512;
}

void say(const std::string& before, const std::wstring& path, const std::string& after) {
    std::cout << before;
    consoleWriteWide(shownText(path));
    std::cout << after << std::flush;
}

// Reads one recording into `report`; false when it said why it could not.
bool readRecording(const std::wstring& path, bool raceOnly, double reserveLaps, bool several,
                   StintReport& report) {
    std::wstring full = fullPathOf(path);
    std::ifstream in;
    if (!openReadStream(full, in)) {
        say("report: cannot read ", full, "\n");
        return false;
    }
    report.fileName = wideToUtf8(full.substr(nameStart(full)));
    std::string err;
    ReportBuilt built = buildStintReport(in, raceOnly, reserveLaps, report, err);
    if (built == ReportBuilt::Refused) {
        say("report: ", full, ": " + err + "; no report written\n");
        return false;
    }
    if (built == ReportBuilt::Cut) {
        std::string cut = "cut short inside tick " + std::to_string(report.ticks + 1) +
                          "; the report covers its " + std::to_string(report.ticks) +
                          " whole ticks.";
        if (several) report.notes.push_back("The recording " + report.fileName + " is " + cut);
        std::cout << (several ? "The recording " + shownText(report.fileName) + " is "
                              : std::string("The recording is "))
                  << cut << "\n";
    }
    return true;
}

// The page goes beside the first recording. A page of ours there is written
// over; anything else under that name is the user's and stays.
int writePage(const std::wstring& first, const StintReport& report) {
    std::wstring page = reportPathFor(fullPathOf(first));
    std::string existing;
    NewFile::Created created;
    {
        // Closed again at once: Windows moves nothing over a file held open.
        NewFile fresh;
        created = fresh.create(page, Readers::Everyone);
    }
    switch (created) {
    case NewFile::Created::Ok:
        break;
    case NewFile::Created::Exists:
        if (!readFileBytes(page, existing, size_t(256) << 20) || !isOurPage(existing)) {
            say("report: ", page, " already exists and is not a report of ours - move it away\n");
            return 1;
        }
        break;
    case NewFile::Created::Failed:
        say("report: cannot write ", page, "\n");
        return 1;
    }
    // Whole or not at all: a page cut short by a full disk is worse than none.
    if (replaceFileBytes(page, renderReportPage(report)) != WriteStatus::Ok) {
        if (existing.empty()) deleteFile(page);
        say("report: cannot write ", page, "\n");
        return 1;
    }
    int64_t laps = 0;
    for (const ReportLap& l : report.laps) laps += l.laps;
    say("Stint report (" + std::to_string(laps) + " laps, " + std::to_string(report.stops.size()) +
            " pit visits): ",
        page, "\n");
    return 0;
}

int makeReport(const std::vector<std::wstring>& paths, bool raceOnly, double reserveLaps) {
    if (paths.empty()) {
        std::cout << "usage: korvane-companion --report FILE [FILE...]\n" << std::flush;
        return 2;
    }
    std::vector<StintReport> parts(paths.size());
    for (size_t i = 0; i < paths.size(); ++i)
        if (!readRecording(paths[i], raceOnly, reserveLaps, paths.size() > 1, parts[i])) return 1;
    StintReport merged;
    std::string err;
    if (parts.size() > 1 && !mergeReports(parts, merged, err)) {
        std::cout << "report: " << shownText(err) << "; no report written\n" << std::flush;
        return 1;
    }
    return writePage(paths[0], parts.size() > 1 ? merged : parts[0]);
}

} // namespace

ReportBuilt buildStintReport(std::istream& in, bool raceOnly, double reserveLaps,
                             StintReport& report, std::string& err) {
    RecordingReader reader(in);
    RecordingInfo info;
    if (!reader.readHeader(info, err)) return ReportBuilt::Refused;
    report.recordedBy = info.programVersion;
    report.madeBy = BuildVersion;
    report.startedAt = info.startedAt;
    report.startedText = formatLocalTime(std::time_t(info.startedAt), "%Y-%m-%d %H:%M");
    ReportBuilder builder(report, raceOnly, reserveLaps);
    RecordedTick tick;
    for (;;) {
        ChunkRead read;
        try {
            read = reader.next(tick);
        } catch (const std::bad_alloc&) {
            err = "tick " + std::to_string(reader.ticksRead() + 1) +
                  " of the recording needs more memory than there is";
            return ReportBuilt::Refused;
        }
        switch (read) {
        case ChunkRead::Tick:
            builder.take(tick, reader);
            continue;
        case ChunkRead::Damaged:
            err = "tick " + std::to_string(reader.ticksRead() + 1) + " of the recording is damaged";
            return ReportBuilt::Refused;
        case ChunkRead::Cut:
            report.cut = true;
            [[fallthrough]];
        case ChunkRead::End:
            builder.finish();
            return report.cut ? ReportBuilt::Cut : ReportBuilt::Whole;
        }
    }
}

std::wstring reportPathFor(const std::wstring& recording) {
    size_t start = nameStart(recording);
    size_t dot = recording.rfind(L'.');
    std::wstring page = dot != std::wstring::npos && dot > start
                            ? recording.substr(0, dot) + L".html"
                            : recording + L".html";
    // Never the recording itself.
    return page == recording ? recording + L".html" : page;
}

int runReport(const std::vector<std::wstring>& paths, bool raceOnly, double reserveLaps,
              bool waitForEnter) {
    int code = makeReport(paths, raceOnly, reserveLaps);
    if (waitForEnter) {
        std::cout << "Press Enter to close this window.\n" << std::flush;
        std::string line;
        std::getline(std::cin, line);
    }
    return code;
}

} // namespace korvane
