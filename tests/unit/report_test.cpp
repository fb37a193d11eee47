#include "app/report.h"
#include "platform/files.h"
#include "telemetry/recording.h"
#include "test_support.h"
#include "tools/recorder.h"

#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <regex>

using namespace korvane;

namespace {

const std::string& stintRecording() {
    static const std::string bytes = test::readFile(KORVANE_RECORDING_DIR "/stint.kvr");
    return bytes;
}

ReportBuilt build(const std::string& bytes, StintReport& report, std::string& err) {
    std::istringstream in(bytes);
    return buildStintReport(in, true, 1.0, report, err);
}

} // namespace

// The report of the recording beside the documents the companion posted live
// from it: the same laps with the same figures, and the same pit visit.
TEST(Report, ShowsWhatTheLiveDocumentsShowed) {
    StintReport report;
    std::string err;
    ASSERT_EQ(build(stintRecording(), report, err), ReportBuilt::Whole) << err;

    std::ifstream docs(KORVANE_RECORDING_DIR "/stint.jsonl");
    std::vector<nlohmann::json> laps,
        ends; // the first document of each new lap, the last before it
    int pitLap = -1;
    double fuelBefore = -1, fuelMax = -1;
    std::string line;
    nlohmann::json before;
    while (std::getline(docs, line)) {
        nlohmann::json d = nlohmann::json::parse(line);
        if (!before.is_null() && d["lap"]["current"] > before["lap"]["current"]) {
            laps.push_back(d);
            ends.push_back(before);
        }
        if (d["status"]["inPitlane"] == true) {
            if (pitLap < 0) {
                pitLap = d["lap"]["current"];
                fuelBefore = before["fuel"]["remaining"];
            }
            fuelMax = std::max(fuelMax, d["fuel"]["remaining"].get<double>());
        }
        EXPECT_FALSE(d["lastStop"]["valid"]);
        before = d;
    }
    ASSERT_EQ(report.laps.size(), laps.size());
    for (size_t i = 0; i < laps.size(); ++i) {
        const ReportLap& l = report.laps[i];
        const nlohmann::json& d = laps[i];
        EXPECT_EQ(l.lap + l.laps, d["lap"]["current"]) << i;
        EXPECT_NEAR(l.fuelUsed, d["lap"]["fuelUsedLastLap"], 0.005) << i;
        EXPECT_NEAR(l.fuelAverage, d["fuel"]["avgPerLap"], 0.005) << i;
        EXPECT_NEAR(l.energyAverage, d["ve"]["avgPerLap"], 0.005) << i;
        EXPECT_EQ(l.energySource, d["ve"]["source"]) << i;
        const char* wheels[] = {"fl", "fr", "rl", "rr"};
        for (size_t w = 0; w < 4; ++w)
            EXPECT_NEAR(l.wear[w], d["tires"]["wear"][wheels[w]], 0.05) << i << wheels[w];
        EXPECT_EQ(l.frontCompound, d["tires"]["compound"]["front"]) << i;
        EXPECT_EQ(l.pit, int(d["lap"]["current"]) - 1 == pitLap) << i;
        // Counted: the window the document shows grew at the lap's end.
        EXPECT_EQ(l.fuelCounted, d["fuel"]["laps"] > ends[i]["fuel"]["laps"]) << i;
        EXPECT_EQ(l.energyCounted, d["ve"]["laps"] > ends[i]["ve"]["laps"]) << i;
    }
    EXPECT_TRUE(report.laps.front().joined);
    EXPECT_TRUE(report.laps.front().fuelCounted);
    EXPECT_FALSE(report.laps.back().fuelCounted); // the lap with the refill

    ASSERT_EQ(report.stops.size(), 1u);
    const ReportStop& stop = report.stops.front();
    EXPECT_EQ(stop.lap, pitLap);
    EXPECT_TRUE(stop.ended);
    EXPECT_FALSE(stop.measured);
    EXPECT_NEAR(stop.pitLaneSeconds, 4.0, 1e-9); // pitStable from 605.5 s to 609.5 s
    EXPECT_NEAR(stop.litres, fuelMax - fuelBefore, 0.05);

    EXPECT_EQ(report.track, "Spa-Francorchamps");
    EXPECT_EQ(report.drivers, std::vector<std::string>{"Alex Korva"});
    EXPECT_EQ(report.sessions, std::vector<std::string>{"race"});
    EXPECT_EQ(report.ticks, 113);
    EXPECT_GT(report.restAnswers, 0);
    EXPECT_TRUE(report.energyFromRest);
    EXPECT_FALSE(report.energyFromPitMenu);
}

// A file cut anywhere reports its whole ticks and says so; a changed byte in
// a chunk refuses the report, naming the tick.
TEST(Report, CutAndDamagedRecordings) {
    const std::string& file = stintRecording();
    StintReport whole;
    std::string err;
    ASSERT_EQ(build(file, whole, err), ReportBuilt::Whole);
    std::vector<size_t> ends = test::chunkEnds(file);
    ASSERT_EQ(ends.size(), 113u);

    // Cut while the car is in the pit lane: the visit is told as unfinished,
    // with the time it has spent there so far.
    double unfinished = -1;
    for (size_t k = 0; k < ends.size(); ++k) {
        StintReport part;
        build(file.substr(0, ends[k]), part, err);
        if (!part.stops.empty() && !part.stops.back().ended)
            unfinished = std::max(unfinished, part.stops.back().pitLaneSeconds);
    }
    EXPECT_GT(unfinished, 0);

    StintReport cut;
    EXPECT_EQ(build(file.substr(0, ends[79] + 5), cut, err), ReportBuilt::Cut);
    EXPECT_EQ(cut.ticks, 80);
    EXPECT_TRUE(cut.cut);
    std::string page = renderReportPage(cut);
    EXPECT_NE(page.find("cut short inside tick 81: this report covers its 80 whole ticks"),
              std::string::npos);

    std::string damaged = file;
    damaged[ends[40] + 12] ^= 0x20;
    StintReport refused;
    EXPECT_EQ(build(damaged, refused, err), ReportBuilt::Refused);
    EXPECT_EQ(err, "tick 42 of the recording is damaged");
    EXPECT_EQ(build("KVRECORX" + file.substr(8), refused, err), ReportBuilt::Refused);
    EXPECT_EQ(err, "not a Korvane recording");
}

// Text from the game and the file is shown, never obeyed: the page carries no
// markup but its own, and nothing that would fetch from elsewhere.
TEST(Report, PageHoldsItsOwnMarkupOnly) {
    StintReport r;
    r.track = "Spa <script>alert(1)</script>";
    r.drivers = {"J\xc3\xb6rg & \"Sam\""};
    r.fileName = "race'1.kvr";
    r.recordedBy = "2.1.29<b>";
    ReportLap lap;
    lap.lap = 3;
    lap.frontCompound = "<img src=x>";
    lap.wear = {90, 91, 92, 93};
    lap.fuelUsed = 3.2;
    lap.fuelCounted = true;
    lap.fuelAverage = 3.2;
    r.laps = {lap};
    r.stops = {ReportStop{}};
    r.spans = {{SpanKind::OnTrack, 0, 60000}};
    r.lastMs = 60000;
    std::string page = renderReportPage(r);
    for (const char* never :
         {"<script", "<img", "<b>", "src=\"", "href=\"", "url(", "@import", "http:", "https:"})
        EXPECT_EQ(page.find(never), std::string::npos) << never;
    for (const char* shown : {"Spa &lt;script&gt;", "J\xc3\xb6rg &amp; &quot;Sam&quot;",
                              "race&#39;1.kvr", "&lt;img src=x&gt;"})
        EXPECT_NE(page.find(shown), std::string::npos) << shown;

    // Lap numbers a broken game gave: a row spanning more laps than an int holds.
    lap.lap = -2147483647, lap.laps = 4294967294, r.laps = {lap, lap};
    page = renderReportPage(r);
    for (const char* shown : {"-2147483647&ndash;2147483646", "<dd>8589934588</dd>"})
        EXPECT_NE(page.find(shown), std::string::npos) << shown;
}

// What each lap's bars say, and that every corner gets its line.
TEST(Report, ChartsAndRowsTellCountedFromLeftOut) {
    StintReport r;
    ReportLap counted, refill, unknown;
    counted.lap = 3;
    counted.fuelUsed = 3.2;
    counted.fuelCounted = true;
    counted.fuelAverage = 3.2;
    counted.energyKnown = true;
    counted.energyUsed = 2.5;
    counted.energyCounted = true;
    counted.energyAverage = 0.5;
    counted.wear = {90, 91.5, 92, 93};
    counted.energySource = "rest";
    refill = counted;
    refill.energySource = "pitmenu";
    refill.lap = 4;
    refill.fuelUsed = -30;
    refill.fuelCounted = false;
    refill.energyUsed = -40;
    refill.energyCounted = false;
    unknown = counted;
    unknown.lap = 5;
    unknown.energyKnown = false;
    unknown.energyCounted = false;
    unknown.energyAverage = 0;
    r.laps = {counted, refill, unknown};
    for (int lap = 6; lap < 40; ++lap) r.laps.push_back(counted);
    r.laps.back().laps = 2; // a row for laps the tick missed the ends of
    r.spans = {{SpanKind::OnTrack, 0, 60000}, {SpanKind::NotTracking, 60000, 90000}};
    r.lastMs = 90000;
    ReportStop stop, measured;
    stop.lap = 4;
    stop.startMs = 30000;
    stop.ended = true;
    measured.ended = measured.measured = measured.tyresChanged = true;
    measured.driveSeconds = 27.5;
    measured.litres = 60;
    ReportStop refuel = measured;
    refuel.tyresChanged = false;
    refuel.secondsPerLitre = 0.24;
    r.stops = {stop, measured, refuel};
    r.startedText = "2026-12-08 10:00";
    r.cars = {"Oreca 07", "Porsche 963"};
    std::string page = renderReportPage(r);
    // Everything drawn lies inside the charts' 1000 by 240 units.
    std::regex coordinate("(?:x|x1|x2)=\"(-?[0-9.]+)\"|[ \"](-?[0-9.]+),(-?[0-9.]+)");
    for (auto m = std::sregex_iterator(page.begin(), page.end(), coordinate);
         m != std::sregex_iterator(); ++m) {
        double x = std::stod((*m)[1].matched ? (*m)[1].str() : (*m)[2].str());
        double y = (*m)[3].matched ? std::stod((*m)[3].str()) : 0;
        EXPECT_TRUE(x >= 0 && x <= 1000 && y >= 0 && y <= 240) << m->str();
    }
    std::regex box("x=\"([0-9.]+)\" y=\"([0-9.]+)\" width=\"([0-9.]+)\" height=\"([0-9.]+)\"");
    int boxes = 0;
    for (auto m = std::sregex_iterator(page.begin(), page.end(), box); m != std::sregex_iterator();
         ++m, ++boxes) {
        EXPECT_LE(std::stod((*m)[1].str()) + std::stod((*m)[3].str()), 1000.05) << m->str();
        EXPECT_LE(std::stod((*m)[2].str()) + std::stod((*m)[4].str()), 240.05) << m->str();
    }
    EXPECT_GT(boxes, 40);
    // The measured stop shows its time moving and no seconds per litre (its
    // tyres were changed); the other says why it was not taken as a stop.
    size_t second = page.find("<tr><td class=\"t\">2</td>");
    ASSERT_NE(second, std::string::npos);
    EXPECT_NE(page.find("<td>27.5</td>", second), std::string::npos);
    EXPECT_NE(page.find("<td>yes</td><td>&ndash;</td>", second), std::string::npos);
    EXPECT_LT(page.find("not taken as a stop"), second);
    EXPECT_EQ(page.find("not taken as a stop", second), std::string::npos);
    for (const char* shown :
         {"<title>Stop 1, lap 4</title>", "class=\"s-idle\"",
          "<tr><td class=\"t\">1</td><td>4</td>",
          "<tr><td class=\"t\">3</td><td class=\"none\">&ndash;</td><td>3.20</td>",
          "<td>90.0</td><td>91.5</td>", "<td class=\"t\">3&ndash;4</td>",
          "<td class=\"none\">&ndash;</td><td>&ndash;</td>", "<td>no</td><td>0.24</td>",
          "<td class=\"t\">game</td>", "<td class=\"t\">pit menu</td>",
          "<dt>Recorded</dt><dd>2026-12-08 10:00</dd>", "<dt>Cars</dt>"})
        EXPECT_NE(page.find(shown), std::string::npos) << shown;
    EXPECT_EQ(page.find("class=\"s-gap\""), std::string::npos);
    for (const char* said : {"<title>Lap 3: 3.20 L</title>", "<title>Lap 4: -30.00 L, not averaged",
                             "<title>Lap 3: 2.50 %</title>", "<title>Lap 4: -40.00 %, not averaged",
                             "<td>0.50</td>", "<td>-30.00*</td>"})
        EXPECT_NE(page.find(said), std::string::npos) << said;
    // Laps in the average are drawn whole, the others as outlines; each
    // average is drawn where there is one, the energy's at 0.5 % a lap.
    auto rectClass = [&](const char* title) {
        size_t rect = page.rfind("<rect class=\"", page.find(title)) + 13;
        return page.substr(rect, page.find('"', rect) - rect);
    };
    EXPECT_EQ(rectClass("<title>Lap 3: 3.20 L</title>"), "bar-fuel");
    EXPECT_EQ(rectClass("<title>Lap 4: -30.00 L, not averaged"), "uncounted");
    std::vector<size_t> points; // a point for each lap with an average
    for (size_t p = 0; (p = page.find("<polyline class=\"avg\" points=\"", p)) != std::string::npos;
         ++p) {
        std::string list = page.substr(p + 31, page.find('"', p + 31) - p - 31);
        points.push_back(size_t(std::count(list.begin(), list.end(), ' ')) + 1);
    }
    EXPECT_EQ(points, (std::vector<size_t>{37, 36}));
    for (const char* corner : {"wear w0", "wear w1", "wear w2", "wear w3"})
        EXPECT_NE(page.find(corner), std::string::npos) << corner;
}

// Ticks the game published nothing in, and a silence between ticks (of more
// than two seconds), become stretches of the stint bar as the recorder saw
// them; an answer that never came is no answer.
TEST(Report, GapsAndSilencesBecomeStretches) {
    std::vector<RecordedTick> ticks;
    for (uint32_t ms : {0u, 500u, 1000u, 9000u, 9500u, 11500u}) {
        ticks.emplace_back().ms = ms;
        ticks.back().answers = {{"/rest/strategy/usage", 0, ""}};
    }
    StintReport r;
    std::string err;
    ASSERT_EQ(build(test::recordingOf(ticks), r, err), ReportBuilt::Whole) << err;
    ASSERT_EQ(r.spans.size(), 3u);
    const SpanKind kinds[] = {SpanKind::NotPublishing, SpanKind::NoTicks, SpanKind::NotPublishing};
    const uint32_t from[] = {0, 1000, 9000}, to[] = {1000, 9000, 11500};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(r.spans[i].kind, kinds[i]) << i;
        EXPECT_EQ(r.spans[i].fromMs, from[i]) << i;
        EXPECT_EQ(r.spans[i].toMs, to[i]) << i;
    }
    EXPECT_EQ(r.ticks, 6);
    EXPECT_EQ(r.lastMs, 11500u);
    EXPECT_EQ(r.restAnswers, 0);
}

// A recording made without the game's answers: its energy is the pit menu's.
TEST(Report, EnergyFromThePitMenuAlone) {
    testkit::Scenario sc = test::scenarioFile("stint");
    testkit::ScenarioPlayer player(sc);
    testkit::FrameBuffers frame;
    SharedViews views;
    frame.showIn(views);
    std::vector<RecordedTick> ticks;
    for (uint32_t ms = 0; ms < 10000; ms += 500) {
        player.advance(0.5);
        frame.publish(sc, player.world());
        captureBuffers(views, ticks.emplace_back());
        ticks.back().ms = ms;
    }
    StintReport r;
    std::string err;
    ASSERT_EQ(build(test::recordingOf(ticks), r, err), ReportBuilt::Whole) << err;
    EXPECT_TRUE(r.energyFromPitMenu);
    EXPECT_FALSE(r.energyFromRest);
}

TEST(Report, SaysWhatTheRecordingLacks) {
    StintReport none;
    none.spans = {{SpanKind::NotPublishing, 0, 4000},
                  {SpanKind::OnTrack, 4000, 9000},
                  {SpanKind::NoTicks, 9000, 190000}};
    std::vector<std::string> said = missingFromRecording(none);
    std::vector<std::string> want = {
        "It holds no answers from the game's REST interface: energy comes from the pit menu "
        "alone, and no energy per lap or tyre wear from the game.",
        "The game published no buffers for 0:00:04, from 0:00:00 into the recording.",
        "No ticks were recorded for 0:03:01, from 0:00:09 into the recording.",
        "The companion never started tracking: no session that counts with the car driven on "
        "track."};
    EXPECT_EQ(said, want);

    StintReport full;
    full.restAnswers = 12;
    full.energyFromRest = true;
    full.firstEt = 600;
    full.laps = {ReportLap{}};
    EXPECT_TRUE(missingFromRecording(full).empty());
    // Twenty stretches of each kind are listed; past that, a count.
    StintReport many = full;
    for (uint32_t i = 0; i < 21; ++i)
        for (SpanKind kind : {SpanKind::NoTicks, SpanKind::NotPublishing})
            many.spans.push_back({kind, i * 10000, i * 10000 + 5000});
    std::vector<std::string> listed = missingFromRecording(many);
    ASSERT_EQ(listed.size(), 42u);
    EXPECT_EQ(listed[40], "... and 1 more gaps in the ticks.");
    EXPECT_EQ(listed[41], "... and 1 more stretches without buffers.");
    many.spans.resize(40);
    EXPECT_EQ(missingFromRecording(many).size(), 40u);
    const std::string noRestEnergy = "The game's answers never gave the car's energy: energy "
                                     "comes from the pit menu where it is shown at all.";
    StintReport noEnergy = full;
    noEnergy.energyFromRest = false;
    EXPECT_EQ(missingFromRecording(noEnergy),
              (std::vector<std::string>{noRestEnergy, "No energy figure at all: neither the game's "
                                                      "answers nor the pit menu showed the car's "
                                                      "energy."}));
    StintReport fresh; // what a report holds before its first tick
    fresh.restAnswers = 1;
    EXPECT_EQ(missingFromRecording(fresh).front(), noRestEnergy);
    full.laps.clear();
    EXPECT_EQ(missingFromRecording(full),
              std::vector<std::string>{"No lap was completed while the companion was tracking."});
}

// Only a readable file on disk is taken for a recording; a name that is no
// file, or a folder, is not (a program started with it runs as usual).
TEST(Report, OnlyAFileOnDiskOpens) {
    test::TempDir dir;
    test::writeFile(dir.path() / "race.kvr", "KVRECORD");
    std::ifstream in, none, folder;
    EXPECT_TRUE(openReadStream((dir.path() / "race.kvr").wstring(), in));
    std::string head;
    in >> head;
    EXPECT_EQ(head, "KVRECORD");
    EXPECT_FALSE(openReadStream((dir.path() / "none.kvr").wstring(), none));
    EXPECT_FALSE(openReadStream(dir.path().wstring(), folder));
}

TEST(Report, ClockText) {
    EXPECT_EQ(clockText(3723.9), "1:02:03");
    EXPECT_EQ(clockText(0), "0:00:00");
    for (double nothing : {-1.0, std::nan(""), 2e9}) EXPECT_EQ(clockText(nothing), "-");
}

TEST(Report, PageGoesBesideTheRecording) {
    struct {
        const wchar_t* recording;
        const wchar_t* page;
    } cases[] = {
        {L"race.kvr", L"race.html"},
        {L"C:\\races\\Le Mans.v2\\race", L"C:\\races\\Le Mans.v2\\race.html"},
        {L"/home/d/le.mans/r.kvr", L"/home/d/le.mans/r.html"},
        {L"race.html", L"race.html.html"},
        {L"/home/d/.kvr", L"/home/d/.kvr.html"},
    };
    for (const auto& c : cases) EXPECT_EQ(reportPathFor(c.recording), c.page);
}

namespace {

StintReport part(const char* file, const char* driver, int firstLap, int laps, double startedAt) {
    StintReport r;
    r.fileName = file;
    r.startedAt = int64_t(startedAt);
    // The same session seen from two machines whose clocks differ by 30 s.
    r.session = {true, "Sakhir", "Korvane 499P #7", 10, startedAt > 1000 ? 930.0 : 900.0};
    r.drivers = {driver};
    for (int i = 0; i < laps; ++i) {
        ReportLap l;
        l.lap = firstLap + i;
        l.driver = driver;
        l.lapSeconds = 100 + i;
        l.paceLap = true;
        l.fuelCounted = true;
        l.fuelUsed = firstLap; // each stint its own use
        l.energyKnown = true;  // the stop's lap refills: known, never counted
        l.energyCounted = i != 2;
        l.energyUsed = i == 2 ? -50 : 3;
        l.pit = i == 2;        // each part's third lap has its stop
        r.laps.push_back(l);
        r.plan.push_back({100.0 * l.lap, 50.0 - l.lap, 10, 12}); // at the lap's end
    }
    ReportStop stop;
    stop.startEt = 100.0 * (firstLap + 2);
    stop.startMs = 1000;
    r.stops.push_back(stop);
    r.spans.push_back({SpanKind::OnTrack, 0, 5000});
    r.lastMs = 5000;
    return r;
}

} // namespace

// Two drivers' recordings of one race, the second starting a lap before the
// first ends: one page with each lap, stop and plan point once, the stints in
// order with their drivers; another car or another session is refused by name.
TEST(Report, MergesOneCarsSession) {
    StintReport a = part("a.kvr", "Alex", 1, 4, 1000), b = part("b.kvr", "Sam", 4, 4, 1300);
    b.laps[0].driver = "Alex"; // the overlap, as the second machine saw it
    a.laps[2].pit = false;
    // The first stop seen coming in by one machine, and leaving by the other.
    a.stops[0].pitLaneSeconds = 10;
    a.stops[0].plan.stops = 3;
    b.stops.insert(b.stops.begin(), a.stops[0]);
    b.stops[0].startEt += 5;
    b.stops[0].ended = true;
    b.stops[0].litres = 40;
    b.stops[0].plan.stops = 0;
    ReportStop early = a.stops[0]; // a visit only the later recording saw, listed last
    early.startEt = 100;
    a.stops.push_back(early);
    StintReport merged;
    std::string err;
    ASSERT_TRUE(mergeReports({b, a}, merged, err)) << err;
    EXPECT_EQ(merged.fileName, "b.kvr, a.kvr");
    ASSERT_EQ(merged.laps.size(), 7u);
    for (size_t i = 0; i < 7; ++i) EXPECT_EQ(merged.laps[i].lap, int(i) + 1);
    ASSERT_EQ(merged.stops.size(), 3u);
    EXPECT_EQ(merged.stops[0].startEt, 100); // in the order of the race
    EXPECT_EQ(merged.stops[2].startEt, 600);
    EXPECT_TRUE(merged.stops[1].ended);
    EXPECT_EQ(merged.stops[1].startEt, 300);
    EXPECT_EQ(merged.stops[1].pitLaneSeconds, 15);
    EXPECT_EQ(merged.stops[1].litres, 40);
    EXPECT_EQ(merged.stops[1].plan.stops, 3);
    EXPECT_EQ(merged.plan.size(), 7u);
    EXPECT_EQ(merged.startedAt, 1000);
    EXPECT_EQ(merged.stops[2].startMs, 1000u + 300'000); // on the earliest recording's clock
    EXPECT_EQ(merged.lastMs, 305'000u);

    // The chart of the plan spans the whole width, from the first point to the last.
    std::string page = renderReportPage(merged);
    std::smatch flag;
    ASSERT_TRUE(std::regex_search(page, flag, std::regex("class=\"flag\" points=\"([^\"]*)\"")));
    EXPECT_EQ(flag[1].str().rfind("48.0,", 0), 0u);
    EXPECT_NE(flag[1].str().find(" 988.0,"), std::string::npos);
    std::vector<ReportStint> stints = reportStints(merged);
    ASSERT_EQ(stints.size(), 3u) << "a new driver ends a stint, so does a stop";
    EXPECT_EQ(stints[0].driver, "Alex");
    EXPECT_EQ(stints[0].laps, 4);
    EXPECT_DOUBLE_EQ(stints[0].pace.mean, (100 + 101 + 102 + 100) / 4.0); // lap 4 from b
    EXPECT_EQ(stints[1].driver, "Sam");
    EXPECT_EQ(stints[1].firstLap, 5);
    EXPECT_EQ(stints[1].lastLap, 6);
    EXPECT_DOUBLE_EQ(stints[1].fuelPerLap, 4);
    EXPECT_DOUBLE_EQ(stints[1].energyPerLap, 3);
    EXPECT_EQ(stints[2].firstLap, 7);
    EXPECT_EQ(stints[2].laps, 1);

    StintReport car = b, later = b, none = b;
    car.session.car = "Falcon 963 #1";
    later.session.startedAt += 3600;
    none.session.seen = false;
    for (const StintReport* other : {&car, &later, &none}) {
        EXPECT_FALSE(mergeReports({a, *other}, merged, err));
        EXPECT_EQ(err.rfind("b.kvr ", 0), 0u) << err;
    }
    EXPECT_NE(err.find("no session"), std::string::npos);
}
