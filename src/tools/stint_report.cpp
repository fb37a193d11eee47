#include "tools/stint_report.h"

#include "analysis/session.h"
#include "core/format.h"
#include "platform/clock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <set>

namespace korvane {

namespace {

const char* const WheelNames[4] = {"FL", "FR", "RL", "RR"};

std::string escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : ", ") + item;
    return out;
}

std::string orDash(const std::string& text) {
    return text.empty() ? "&ndash;" : escaped(text);
}

// A number for a coordinate: one decimal is finer than any screen shows.
std::string px(double v) {
    return fixed(std::isfinite(v) ? v : 0.0, 1);
}

// One more point of an SVG polyline.
void addPoint(std::string& points, double x, double y) {
    if (!points.empty()) points += ' ';
    points += px(x);
    points += ',';
    points += px(y);
}

std::string durationText(uint32_t ms) {
    return clockText(double(ms) / 1000.0);
}

const char* sourceText(const std::string& source) {
    if (source == "car") return "car";
    if (source == "rest") return "game";
    if (source == "pitmenu") return "pit menu";
    return "none";
}

// The page's style: light and dark by the reader's setting, a phone's width,
// and paper.
const char* const Style =
    R"(:root{color-scheme:light dark;--fg:#1b1f24;--bg:#fff;--mute:#59636e;--line:#d1d9e0;--card:#f6f8fa;--fuel:#0969da;--avg:#1b1f24;--ve:#bc4c00;--pit:#8250df;--idle:#afb8c1;--gap:#e5e9ed;--w0:#0969da;--w1:#1a7f37;--w2:#9a6700;--w3:#cf222e}
@media (prefers-color-scheme:dark){:root{--fg:#e6edf3;--bg:#0d1117;--mute:#9198a1;--line:#3d444d;--card:#151b23;--fuel:#4493f8;--avg:#e6edf3;--ve:#f0883e;--pit:#ab7df8;--idle:#656c76;--gap:#262c36;--w0:#4493f8;--w1:#3fb950;--w2:#d29922;--w3:#f85149}}
@media print{:root{color-scheme:light;--fg:#000;--bg:#fff;--mute:#444;--line:#bbb;--card:#fff;--fuel:#0969da;--avg:#000;--ve:#bc4c00;--pit:#8250df;--idle:#bbb;--gap:#eee;--w0:#0969da;--w1:#1a7f37;--w2:#9a6700;--w3:#cf222e}body{max-width:none;padding:0}.scroll{overflow:visible}tr,figure,section{break-inside:avoid}}
*{box-sizing:border-box}
body{font:15px/1.45 system-ui,-apple-system,"Segoe UI",Roboto,sans-serif;color:var(--fg);background:var(--bg);margin:0 auto;max-width:1100px;padding:16px}
h1{font-size:1.45em;margin:0 0 .3em}h2{font-size:1.15em;margin:1.8em 0 .6em;padding-bottom:.2em;border-bottom:1px solid var(--line)}
dl{display:grid;grid-template-columns:max-content 1fr;gap:.15em 1.2em;margin:0}dt{color:var(--mute)}dd{margin:0;overflow-wrap:anywhere}
.missing{background:var(--card);border:1px solid var(--line);border-radius:6px;padding:.6em 1em}.missing li{margin:.2em 0}
.scroll{overflow-x:auto}
table{border-collapse:collapse;font-variant-numeric:tabular-nums;white-space:nowrap}
th,td{padding:.3em .55em;border-bottom:1px solid var(--line);text-align:right}th{font-weight:600;color:var(--mute);vertical-align:bottom}
td.t,th.t{text-align:left}tr.pit td{background:var(--card)}.none{color:var(--mute)}
.tag{display:inline-block;font-size:.8em;border:1px solid var(--line);border-radius:4px;padding:0 .35em;margin-right:.3em}.tag.pit{color:var(--pit);border-color:var(--pit)}
figure{margin:1em 0;overflow-x:auto}@media (max-width:700px){figure svg{min-width:640px}}figcaption{color:var(--mute);font-size:.9em}
svg{display:block;width:100%;height:auto}svg text{fill:var(--mute);font:11px system-ui,sans-serif}
.axis{stroke:var(--line);stroke-width:1}.bar-fuel{fill:var(--fuel)}.bar-ve{fill:var(--ve)}.uncounted{fill:none;stroke:var(--mute);stroke-dasharray:2 2}
.avg{fill:none;stroke:var(--avg);stroke-width:1.5;stroke-dasharray:5 3}.w0{stroke:var(--w0)}.w1{stroke:var(--w1)}.w2{stroke:var(--w2)}.w3{stroke:var(--w3)}.wear{fill:none;stroke-width:2}
.change{stroke:var(--pit);stroke-dasharray:3 3}.s-track{fill:var(--fuel)}.s-pit{fill:var(--pit)}.s-idle{fill:var(--idle)}.s-gap{fill:var(--gap);stroke:var(--line)}.stop-mark{fill:var(--pit)}.flag{fill:none;stroke:var(--avg);stroke-width:2}.fuel-laps{fill:none;stroke:var(--fuel);stroke-width:2}.ve-laps{fill:none;stroke:var(--ve);stroke-width:2}
.key{display:flex;flex-wrap:wrap;gap:.3em 1.2em;font-size:.9em;color:var(--mute);margin:.3em 0 0}.key span:before{content:"";display:inline-block;width:.9em;height:.9em;border-radius:2px;margin-right:.35em;vertical-align:-.1em;background:var(--c)})";

constexpr double ChartWidth = 1000, ChartHeight = 240, Left = 48, Right = 12, Top = 12, Bottom = 28;

// The y position of `v` on a chart whose scale runs from lo to hi.
double yOf(double v, double lo, double hi) {
    double h = ChartHeight - Top - Bottom;
    return Top + h - (hi > lo ? (v - lo) / (hi - lo) * h : 0);
}

// A step's worth of round numbers for an axis up to `hi`.
double gridStep(double range) {
    double step = std::pow(10.0, std::floor(std::log10(std::max(range, 1e-9))));
    if (range / step > 6) step *= 2;
    if (range / step > 6) step *= 2.5;
    return step;
}

std::string axes(double lo, double hi, int decimals, size_t rows,
                 const std::vector<ReportLap>& laps) {
    std::string out;
    double step = gridStep(hi - lo);
    for (double v = std::ceil(lo / step) * step; v <= hi + 1e-9; v += step) {
        double y = yOf(v, lo, hi);
        out += "<line class=\"axis\" x1=\"" + px(Left) + "\" x2=\"" + px(ChartWidth - Right) +
               "\" y1=\"" + px(y) + "\" y2=\"" + px(y) + "\"/><text x=\"" + px(Left - 6) +
               "\" y=\"" + px(y + 4) + "\" text-anchor=\"end\">" + fixed(v, decimals) + "</text>";
    }
    // Lap numbers under the rows, no closer than about 40 units apart.
    double w = (ChartWidth - Left - Right) / double(std::max<size_t>(rows, 1));
    size_t every = std::max<size_t>(1, size_t(std::ceil(40.0 / w)));
    for (size_t i = 0; i < rows; i += every)
        out += "<text x=\"" + px(Left + (double(i) + 0.5) * w) + "\" y=\"" + px(ChartHeight - 8) +
               "\" text-anchor=\"middle\">" + std::to_string(laps[i].lap) + "</text>";
    return out;
}

std::string svgOpen(const std::string& label) {
    return "<svg viewBox=\"0 0 " + px(ChartWidth) + " " + px(ChartHeight) +
           "\" role=\"img\" aria-label=\"" + escaped(label) + "\">";
}

// Bars of what each lap used, with the average the live view showed after
// it; a lap left out of the average is drawn as an empty outline.
std::string perLapChart(const StintReport& r, bool energy) {
    const std::vector<ReportLap>& laps = r.laps;
    double hi = 0;
    for (const ReportLap& l : laps) {
        double used = energy ? l.energyUsed : l.fuelUsed;
        bool counted = energy ? l.energyCounted : l.fuelCounted;
        if (counted) hi = std::max(hi, used);
        hi = std::max(hi, energy ? l.energyAverage : l.fuelAverage);
    }
    if (hi <= 0) return {};
    hi *= 1.15;
    std::string out = svgOpen(energy ? "Energy used per lap" : "Fuel used per lap");
    out += axes(0, hi, hi < 10 ? 1 : 0, laps.size(), laps);
    double w = (ChartWidth - Left - Right) / double(laps.size());
    std::string avg;
    for (size_t i = 0; i < laps.size(); ++i) {
        const ReportLap& l = laps[i];
        double used = energy ? l.energyUsed : l.fuelUsed;
        bool counted = energy ? l.energyCounted : l.fuelCounted;
        bool known = !energy || l.energyKnown;
        double x = Left + double(i) * w + w * 0.15;
        std::string title =
            "<title>Lap " + std::to_string(l.lap) + ": " +
            (known ? fixed(used, 2) + (energy ? " %" : " L") : std::string("no energy source")) +
            (counted || !known ? "" : ", not averaged") + "</title>";
        if (counted) {
            double y = yOf(used, 0, hi);
            out += "<rect class=\"" + std::string(energy ? "bar-ve" : "bar-fuel") + "\" x=\"" +
                   px(x) + "\" y=\"" + px(y) + "\" width=\"" + px(w * 0.7) + "\" height=\"" +
                   px(yOf(0, 0, hi) - y) + "\">" + title + "</rect>";
        } else if (known) {
            double y = yOf(hi / 12, 0, hi);
            out += "<rect class=\"uncounted\" x=\"" + px(x) + "\" y=\"" + px(y) + "\" width=\"" +
                   px(w * 0.7) + "\" height=\"" + px(yOf(0, 0, hi) - y) + "\">" + title + "</rect>";
        }
        double a = energy ? l.energyAverage : l.fuelAverage;
        if (a > 0) addPoint(avg, Left + (double(i) + 0.5) * w, yOf(a, 0, hi));
    }
    if (!avg.empty()) out += "<polyline class=\"avg\" points=\"" + avg + "\"/>";
    return out + "</svg>";
}

std::string wearChart(const StintReport& r) {
    const std::vector<ReportLap>& laps = r.laps;
    double lo = 100;
    for (const ReportLap& l : laps)
        for (double w : l.wear) lo = std::min(lo, w);
    lo = std::max(0.0, std::floor((lo - 5) / 10) * 10);
    std::string out = svgOpen("Tyre wear per corner over the laps");
    out += axes(lo, 100, 0, laps.size(), laps);
    double w = (ChartWidth - Left - Right) / double(laps.size());
    for (size_t i = 0; i < laps.size(); ++i)
        if (laps[i].tyresChanged) {
            double x = Left + (double(i) + 0.5) * w;
            out += "<line class=\"change\" x1=\"" + px(x) + "\" x2=\"" + px(x) + "\" y1=\"" +
                   px(Top) + "\" y2=\"" + px(ChartHeight - Bottom) + "\"><title>Lap " +
                   std::to_string(laps[i].lap) + ": tyres changed</title></line>";
        }
    for (size_t c = 0; c < 4; ++c) {
        std::string points;
        for (size_t i = 0; i < laps.size(); ++i)
            addPoint(points, Left + (double(i) + 0.5) * w, yOf(laps[i].wear[c], lo, 100));
        out += "<polyline class=\"wear w" + std::to_string(c) + "\" points=\"" + points +
               "\"><title>" + WheelNames[c] + "</title></polyline>";
    }
    return out + "</svg>";
}

// The laps to the flag against the laps the tank and the battery hold, over
// session time: where the lines cross, the car cannot finish without a stop.
std::string planChart(const StintReport& r) {
    const std::vector<ReportPlanPoint>& pts = r.plan;
    if (pts.size() < 2) return {};
    double hi = 0;
    for (const ReportPlanPoint& p : pts) hi = std::max(hi, p.lapsToFlag);
    // A tank that holds far more than the race needs is shown up to the top.
    double top = std::max(hi, 1.0) * 1.15;
    double t0 = pts.front().et, t1 = std::max(pts.back().et, t0 + 1);
    auto xOf = [&](double et) {
        return Left + (et - t0) / (t1 - t0) * (ChartWidth - Left - Right);
    };
    std::string out = svgOpen("Laps to the flag against the laps the tank and the energy hold");
    double step = gridStep(top);
    for (double v = 0; v <= top + 1e-9; v += step) {
        double y = yOf(v, 0, top);
        out += "<line class=\"axis\" x1=\"" + px(Left) + "\" x2=\"" + px(ChartWidth - Right) +
               "\" y1=\"" + px(y) + "\" y2=\"" + px(y) + "\"/><text x=\"" + px(Left - 6) +
               "\" y=\"" + px(y + 4) + "\" text-anchor=\"end\">" + fixed(v, 0) + "</text>";
    }
    double tick = 600;
    while ((t1 - t0) / tick > 8) tick *= tick < 3600 ? 3 : 2;
    for (double t = std::ceil(t0 / tick) * tick; t <= t1; t += tick)
        out += "<text x=\"" + px(xOf(t)) + "\" y=\"" + px(ChartHeight - 8) +
               "\" text-anchor=\"middle\">" + clockText(t) + "</text>";
    const char* classes[3] = {"flag", "fuel-laps", "ve-laps"};
    const char* names[3] = {"laps to the flag", "laps the tank holds", "laps the energy holds"};
    for (int line = 0; line < 3; ++line) {
        std::string points;
        for (const ReportPlanPoint& p : pts) {
            double v = line == 0 ? p.lapsToFlag : line == 1 ? p.fuelLaps : p.energyLaps;
            if (v > 0 || line == 0) addPoint(points, xOf(p.et), yOf(std::min(v, top), 0, top));
        }
        if (!points.empty())
            out += "<polyline class=\"" + std::string(classes[line]) + "\" points=\"" + points +
                   "\"><title>" + names[line] + "</title></polyline>";
    }
    return out + "</svg>";
}

std::string stintBar(const StintReport& r) {
    double total = std::max<double>(r.lastMs, 1);
    double h = 70, barTop = 14, barH = 30, width = ChartWidth - Left - Right;
    auto xOf = [&](uint32_t ms) { return Left + double(ms) / total * width; };
    std::string out = "<svg viewBox=\"0 0 " + px(ChartWidth) + " " + px(h) +
                      "\" role=\"img\" aria-label=\"The stint over the recording's time\">";
    // Recordings from several machines overlap: the driving is drawn last,
    // over another machine's view of the same minutes.
    std::vector<ReportSpan> spans = r.spans;
    std::stable_partition(spans.begin(), spans.end(), [](const ReportSpan& s) {
        return s.kind != SpanKind::OnTrack && s.kind != SpanKind::InPitLane;
    });
    for (const ReportSpan& s : spans) {
        const char* cls = s.kind == SpanKind::OnTrack       ? "s-track"
                          : s.kind == SpanKind::InPitLane   ? "s-pit"
                          : s.kind == SpanKind::NotTracking ? "s-idle"
                                                            : "s-gap";
        out += "<rect class=\"" + std::string(cls) + "\" x=\"" + px(xOf(s.fromMs)) + "\" y=\"" +
               px(barTop) + "\" width=\"" + px(std::max(0.5, xOf(s.toMs) - xOf(s.fromMs))) +
               "\" height=\"" + px(barH) + "\"/>";
    }
    for (size_t i = 0; i < r.stops.size(); ++i) {
        double x = xOf(r.stops[i].startMs);
        out += "<path class=\"stop-mark\" d=\"M" + px(x - 5) + " 2 h10 l-5 9 z\"><title>Stop " +
               std::to_string(i + 1) + ", lap " + std::to_string(r.stops[i].lap) +
               "</title></path>";
    }
    double step = 600;
    while (total / 1000 / step > 8) step *= step < 3600 ? 3 : 2;
    for (double t = 0; t <= total / 1000 + 1e-9; t += step)
        out += "<text x=\"" + px(xOf(uint32_t(t * 1000))) + "\" y=\"" + px(h - 6) +
               "\" text-anchor=\"middle\">" + clockText(t) + "</text>";
    return out + "</svg>";
}

std::string key(const std::vector<std::pair<const char*, const char*>>& items) {
    std::string out = "<div class=\"key\">";
    for (const auto& [color, text] : items)
        out += "<span style=\"--c:var(" + std::string(color) + ")\">" + text + "</span>";
    return out + "</div>";
}

std::string cell(const std::string& text, const char* cls = nullptr) {
    return cls ? "<td class=\"" + std::string(cls) + "\">" + text + "</td>"
               : "<td>" + text + "</td>";
}

// "3:29.412"
std::string lapTimeText(double seconds) {
    long long ms = std::llround(std::min(seconds, 1e9) * 1000);
    char text[40];
    std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", ms / 60000, ms / 1000 % 60, ms % 1000);
    return text;
}

std::string lapRows(const StintReport& r) {
    std::string out;
    for (const ReportLap& l : r.laps) {
        std::string lap = std::to_string(l.lap);
        if (l.laps > 1) lap += "&ndash;" + std::to_string(l.lap + l.laps - 1);
        out += std::string("<tr") + (l.pit ? " class=\"pit\"" : "") + ">" + cell(lap, "t");
        out += l.lapSeconds > 0 ? cell(lapTimeText(l.lapSeconds)) : cell("&ndash;", "none");
        out += cell(fixed(l.fuelUsed, 2) + (l.fuelCounted ? "" : "*"));
        out += cell(fixed(l.fuelAverage, 2));
        out += !l.energyKnown ? cell("&ndash;", "none")
                              : cell(fixed(l.energyUsed, 2) + (l.energyCounted ? "" : "*"));
        out += cell(l.energyAverage > 0 ? fixed(l.energyAverage, 2) : "&ndash;");
        out += cell(sourceText(l.energySource), "t");
        for (double w : l.wear) out += cell(fixed(w, 1));
        out += cell(orDash(l.frontCompound) + " / " + orDash(l.rearCompound), "t");
        std::string notes;
        if (l.pit) notes += "<span class=\"tag pit\">pit</span>";
        if (l.tyresChanged) notes += "<span class=\"tag\">tyres changed</span>";
        if (l.joined) notes += "<span class=\"tag\">joined part-way</span>";
        out += cell(notes, "t") + "</tr>\n";
    }
    return out;
}

// What the plan said as the car entered the pit lane.
std::string planCells(const ReportStop& s) {
    const FlagPlan& p = s.plan;
    const char* dash = "<td class=\"none\">&ndash;</td>";
    std::string out = p.known ? cell(fixed(p.lapsToFlag, 1)) : dash;
    out += p.fuel.known ? cell(fixed(p.fuel.onTop, 1)) : dash;
    out += p.energy.known ? cell(fixed(p.energy.onTop, 1)) : dash;
    if (!p.known || (!p.fuel.known && !p.energy.known)) return out + dash + dash;
    out += cell(std::to_string(p.stops) +
                (p.stops ? std::string(" (") + planBindsName(p.binds) + ")" : std::string()));
    std::string add;
    if (p.fuel.known && p.fuel.stops) add = "+" + fixed(p.fuel.add, 1) + " L";
    if (p.energy.known && p.stops)
        add += (add.empty() ? "" : ", ") + std::string("VE to ") + fixed(p.energy.level, 0) + "%";
    out += add.empty() ? cell("nothing", "t") : cell(add, "t");
    return out;
}

std::string stopRows(const StintReport& r) {
    std::string out;
    for (size_t i = 0; i < r.stops.size(); ++i) {
        const ReportStop& s = r.stops[i];
        out += "<tr>" + cell(std::to_string(i + 1), "t") + cell(std::to_string(s.lap)) +
               cell(clockText(s.startEt)) + cell(fixed(s.pitLaneSeconds, 1));
        if (s.measured) {
            out += cell(fixed(s.driveSeconds, 1)) + cell(fixed(s.stationarySeconds, 1)) +
                   cell(fixed(s.litres, 1)) +
                   cell(s.energyAfter >= 0 ? fixed(s.energyAfter, 1) : "&ndash;") +
                   cell(s.tyresChanged ? "yes" : "no") +
                   cell(s.secondsPerLitre > 0 ? fixed(s.secondsPerLitre, 2) : "&ndash;") +
                   cell("", "t");
        } else {
            out += cell("&ndash;", "none") + cell(fixed(s.stationarySeconds, 1)) +
                   cell(fixed(s.litres, 1)) +
                   cell(s.energyAfter >= 0 ? fixed(s.energyAfter, 1) : "&ndash;") +
                   cell(s.tyresChanged ? "yes" : "no") + cell("&ndash;", "none");
            out += cell(!s.ended ? "still in the pit lane when the recording ends"
                                 : "not taken as a stop (a stop lasts more than 5 s and under "
                                   "10 min, moving 1 to 120 s)",
                        "t");
        }
        out += planCells(s) + "</tr>\n";
    }
    return out;
}

std::string stintRows(const StintReport& r) {
    std::string out;
    std::vector<ReportStint> stints = reportStints(r);
    for (size_t i = 0; i < stints.size(); ++i) {
        const ReportStint& s = stints[i];
        std::string laps = std::to_string(s.firstLap);
        if (s.lastLap != s.firstLap) laps += "&ndash;" + std::to_string(s.lastLap);
        out += "<tr>" + cell(std::to_string(i + 1), "t") + cell(orDash(s.driver), "t") +
               cell(laps) + cell(std::to_string(s.laps));
        out += s.pace.laps ? cell(lapTimeText(s.pace.mean)) + cell(fixed(s.pace.deviation, 3))
                           : cell("&ndash;", "none") + cell("&ndash;", "none");
        out += s.fuelPerLap >= 0 ? cell(fixed(s.fuelPerLap, 2)) : cell("&ndash;", "none");
        out += s.energyPerLap >= 0 ? cell(fixed(s.energyPerLap, 2)) : cell("&ndash;", "none");
        out += "</tr>\n";
    }
    return out;
}

} // namespace

std::string clockText(double seconds) {
    if (!(seconds >= 0) || seconds > 1e9) return "-";
    long long s = (long long)(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

void addOnce(std::vector<std::string>& items, const std::string& item) {
    if (!item.empty() && std::find(items.begin(), items.end(), item) == items.end())
        items.push_back(item);
}

std::vector<ReportStint> reportStints(const StintReport& r) {
    std::vector<ReportStint> out;
    std::vector<double> times;
    double fuel = 0, energy = 0;
    int fuelLaps = 0, energyLaps = 0;
    auto close = [&] {
        if (out.empty()) return;
        ReportStint& s = out.back();
        s.pace = lapSpread(times);
        s.fuelPerLap = fuelLaps ? fuel / fuelLaps : -1;
        s.energyPerLap = energyLaps ? energy / energyLaps : -1;
        times.clear();
        fuel = energy = 0;
        fuelLaps = energyLaps = 0;
    };
    bool afterPit = false, green = false;
    for (const ReportLap& l : r.laps) {
        // A stint ends with its stop (the in-lap and an out-lap that began in
        // the pit lane both count for it) or with a change of driver; a new
        // driver's stint begins with the lap of the swap.
        if (out.empty() || (afterPit && !l.pit && green) || l.driver != out.back().driver) {
            green = false;
            close();
            out.push_back({});
            out.back().driver = l.driver;
            out.back().firstLap = l.lap;
        }
        ReportStint& s = out.back();
        s.lastLap = int(l.lap + l.laps - 1);
        s.laps += l.laps;
        if (l.paceLap && l.lapSeconds > 0) times.push_back(l.lapSeconds);
        if (l.fuelCounted) fuel += l.fuelUsed, fuelLaps += 1;
        if (l.energyKnown && l.energyCounted) energy += l.energyUsed, energyLaps += 1;
        afterPit = l.pit;
        green |= !l.pit;
    }
    close();
    return out;
}

namespace {

// Clocks of different machines, and the time a recorder takes to see the
// session, differ by seconds; another session of the same race on the same
// server starts minutes apart at the least.
constexpr double SessionClockSlack = 120;

std::string sessionText(const ReportSession& s) {
    return s.track + ", " + sessionTypeName(s.type) + " started " +
           formatLocalTime(std::time_t(s.startedAt), "%Y-%m-%d %H:%M");
}

bool mergeable(const StintReport& first, const StintReport& p, std::string& err) {
    if (!p.session.seen) {
        err = p.fileName + " holds no session of a car on track";
        return false;
    }
    if (p.session.car != first.session.car) {
        err = p.fileName + " is of another car (" + p.session.car + ", not " + first.session.car +
              " of " + first.fileName + ")";
        return false;
    }
    if (p.session.track != first.session.track || p.session.type != first.session.type ||
        std::fabs(p.session.startedAt - first.session.startedAt) > SessionClockSlack) {
        err = p.fileName + " is of another session (" + sessionText(p.session) + ", not " +
              sessionText(first.session) + " of " + first.fileName + ")";
        return false;
    }
    return true;
}

// Adds one part, shifted onto the first recording's clock; what an earlier
// part already holds is left out.
void mergeOne(const StintReport& p, int64_t origin, StintReport& out,
              std::vector<std::pair<double, double>>& planCovered, std::set<int>& lapsTaken) {
    uint32_t shift = uint32_t(std::clamp<int64_t>(p.startedAt - origin, 0, 4'000'000) * 1000);
    out.fileName += (out.fileName.empty() ? "" : ", ") + p.fileName;
    for (const std::string& v : p.sessions) addOnce(out.sessions, v);
    for (const std::string& v : p.cars) addOnce(out.cars, v);
    for (const std::string& v : p.drivers) addOnce(out.drivers, v);
    out.sessionLength = std::max(out.sessionLength, p.sessionLength);
    if (p.firstEt >= 0 && (out.firstEt < 0 || p.firstEt < out.firstEt)) out.firstEt = p.firstEt;
    out.lastEt = std::max(out.lastEt, p.lastEt);
    out.ticks += p.ticks;
    out.lastMs = std::max(out.lastMs, shift + p.lastMs);
    out.restAnswers += p.restAnswers;
    out.energyFromRest |= p.energyFromRest;
    out.energyFromPitMenu |= p.energyFromPitMenu;
    out.lapTimeMissing |= p.lapTimeMissing;
    out.notes.insert(out.notes.end(), p.notes.begin(), p.notes.end());
    for (const ReportLap& l : p.laps)
        if (lapsTaken.insert(l.lap).second) out.laps.push_back(l);
    for (ReportStop s : p.stops) {
        s.startMs += shift;
        s.endMs += shift;
        auto same = std::find_if(out.stops.begin(), out.stops.end(), [&](const ReportStop& o) {
            return o.startEt <= s.startEt + s.pitLaneSeconds + 1 &&
                   s.startEt <= o.startEt + o.pitLaneSeconds + 1;
        });
        if (same == out.stops.end()) {
            out.stops.push_back(s);
        } else {
            // One machine saw the car come in, the other saw it leave: the
            // visit from its first sight, measured as it ended.
            ReportStop early = s.startEt < same->startEt ? s : *same;
            if (!same->ended && s.ended) *same = s;
            if (early.startEt < same->startEt) {
                same->pitLaneSeconds += same->startEt - early.startEt;
                same->startEt = early.startEt;
                same->startMs = early.startMs;
                same->lap = early.lap;
                same->plan = early.plan;
            }
        }
    }
    for (ReportSpan s : p.spans) {
        s.fromMs += shift;
        s.toMs += shift;
        out.spans.push_back(s);
    }
    auto covered = [&](double et) {
        return std::any_of(planCovered.begin(), planCovered.end(),
                           [et](const auto& c) { return et >= c.first && et <= c.second; });
    };
    for (const ReportPlanPoint& pt : p.plan)
        if (!covered(pt.et)) out.plan.push_back(pt);
    if (!p.plan.empty()) planCovered.push_back({p.plan.front().et, p.plan.back().et});
}

} // namespace

bool mergeReports(const std::vector<StintReport>& parts, StintReport& out, std::string& err) {
    out = StintReport{};
    if (parts.empty()) return true;
    const StintReport& first = parts[0];
    for (const StintReport& p : parts)
        if (!mergeable(first, p, err)) return false;
    const StintReport* earliest = &first;
    for (const StintReport& p : parts)
        if (p.startedAt < earliest->startedAt) earliest = &p;
    out.recordedBy = first.recordedBy;
    out.madeBy = first.madeBy;
    out.startedAt = earliest->startedAt;
    out.startedText = earliest->startedText;
    out.track = first.track;
    out.session = first.session;
    std::vector<std::pair<double, double>> planCovered;
    std::set<int> lapsTaken;
    for (const StintReport& p : parts) mergeOne(p, out.startedAt, out, planCovered, lapsTaken);
    std::stable_sort(out.laps.begin(), out.laps.end(),
                     [](const ReportLap& a, const ReportLap& b) { return a.lap < b.lap; });
    std::stable_sort(
        out.stops.begin(), out.stops.end(),
        [](const ReportStop& a, const ReportStop& b) { return a.startEt < b.startEt; });
    std::stable_sort(
        out.plan.begin(), out.plan.end(),
        [](const ReportPlanPoint& a, const ReportPlanPoint& b) { return a.et < b.et; });
    return true;
}

std::vector<std::string> missingFromRecording(const StintReport& r) {
    std::vector<std::string> out = r.notes;
    if (r.cut)
        out.push_back("The recording is cut short inside tick " + std::to_string(r.ticks + 1) +
                      ": this report covers its " + std::to_string(r.ticks) + " whole ticks.");
    if (r.restAnswers == 0)
        out.push_back("It holds no answers from the game's REST interface: energy comes from "
                      "the pit menu alone, and no energy per lap or tyre wear from the game.");
    else if (!r.energyFromRest)
        out.push_back("The game's answers never gave the car's energy: energy comes from the "
                      "pit menu where it is shown at all.");
    if (!r.energyFromRest && !r.energyFromPitMenu && !r.laps.empty())
        out.push_back("No energy figure at all: neither the game's answers nor the pit menu "
                      "showed the car's energy.");
    const size_t Listed = 20;
    size_t gaps = 0, dark = 0;
    for (const ReportSpan& s : r.spans) {
        if (s.kind != SpanKind::NoTicks && s.kind != SpanKind::NotPublishing) continue;
        size_t& n = s.kind == SpanKind::NoTicks ? gaps : dark;
        if (++n > Listed) continue;
        out.push_back(std::string(s.kind == SpanKind::NoTicks ? "No ticks were recorded"
                                                              : "The game published no buffers") +
                      " for " + durationText(s.toMs - s.fromMs) + ", from " +
                      durationText(s.fromMs) + " into the recording.");
    }
    if (gaps > Listed)
        out.push_back("... and " + std::to_string(gaps - Listed) + " more gaps in the ticks.");
    if (dark > Listed)
        out.push_back("... and " + std::to_string(dark - Listed) +
                      " more stretches without buffers.");
    if (r.lapTimeMissing) out.push_back("The game gave no time for some laps; they show a dash.");
    if (r.firstEt < 0)
        out.push_back("The companion never started tracking: no session that counts with the "
                      "car driven on track.");
    else if (r.laps.empty())
        out.push_back("No lap was completed while the companion was tracking.");
    return out;
}

namespace {

// The head: what the recording is of, as a definition list.
std::string headList(const StintReport& r) {
    std::string out = "<dl>\n";
    auto row = [&](const char* name, const std::string& value) {
        out += std::string("<dt>") + name + "</dt><dd>" + value + "</dd>\n";
    };
    row("Track", orDash(r.track));
    row("Session", orDash(joined(r.sessions)));
    row(r.cars.size() > 1 ? "Cars" : "Car", orDash(joined(r.cars)));
    row(r.drivers.size() > 1 ? "Drivers" : "Driver", orDash(joined(r.drivers)));
    row("Recorded", orDash(r.startedText));
    row("Session length", r.sessionLength > 0 ? clockText(r.sessionLength) : "&ndash;");
    row("Tracked", r.firstEt >= 0
                       ? clockText(r.firstEt) + " to " + clockText(r.lastEt) + " session time"
                       : "&ndash;");
    row("Recording", durationText(r.lastMs) + ", " + std::to_string(r.ticks) + " ticks");
    int64_t laps = 0;
    for (const ReportLap& l : r.laps) laps += l.laps;
    row("Laps", std::to_string(laps));
    row("Recorded by", "Korvane Companion " + orDash(r.recordedBy));
    row("File", orDash(r.fileName));
    return out + "</dl>\n";
}

std::string missingList(const StintReport& r) {
    std::vector<std::string> missing = missingFromRecording(r);
    std::string out = "<h2>What the recording does not hold</h2>\n";
    if (missing.empty())
        return out + "<p>Nothing: every tick is whole and the game's answers are there.</p>\n";
    out += "<ul class=\"missing\">\n";
    for (const std::string& m : missing) out += "<li>" + escaped(m) + "</li>\n";
    return out + "</ul>\n";
}

std::string charts(const StintReport& r) {
    std::string out = "<h2>The stint</h2>\n<figure>" + stintBar(r) +
                      key({{"--fuel", "on track"},
                           {"--pit", "in the pit lane"},
                           {"--idle", "not tracking (garage, menus, another session)"},
                           {"--gap", "nothing recorded"}}) +
                      "</figure>\n";
    std::string plan = planChart(r);
    if (!plan.empty())
        out += "<h2>To the flag</h2>\n<figure>" + plan +
               key({{"--avg", "laps to the flag"},
                    {"--fuel", "laps the tank holds"},
                    {"--ve", "laps the energy holds"}}) +
               "<figcaption>Over session time. Where the laps to the flag run above what the tank "
               "or the energy holds, the car needs a stop.</figcaption></figure>\n";
    if (r.laps.empty()) return out;
    std::string fuel = perLapChart(r, false), energy = perLapChart(r, true);
    out += "<h2>Fuel and energy per lap</h2>\n";
    if (!fuel.empty())
        out += "<figure>" + fuel +
               key({{"--fuel", "fuel used (L)"}, {"--avg", "average the live view showed"}}) +
               "</figure>\n";
    if (!energy.empty())
        out += "<figure>" + energy +
               key({{"--ve", "energy used (%)"}, {"--avg", "average the live view showed"}}) +
               "</figure>\n";
    return out + "<h2>Tyre wear</h2>\n<figure>" + wearChart(r) +
           key({{"--w0", "FL"},
                {"--w1", "FR"},
                {"--w2", "RL"},
                {"--w3", "RR"},
                {"--pit", "tyres changed"}}) +
           "<figcaption>Percent of tread left at the end of each lap.</figcaption></figure>\n";
}

std::string tables(const StintReport& r) {
    std::string out = "<h2>Laps</h2>\n";
    if (r.laps.empty()) {
        out += "<p>No lap was completed while the companion was tracking.</p>\n";
    } else {
        out += "<div class=\"scroll\"><table id=\"laps\">\n<thead><tr><th class=\"t\">Lap</th>"
               "<th>Time</th><th>Fuel used L</th><th>Fuel avg L</th><th>Energy used %</th>"
               "<th>Energy avg %</th><th class=\"t\">Energy from</th><th>FL %</th><th>FR %</th>"
               "<th>RL %</th><th>RR %</th><th class=\"t\">Compounds</th><th class=\"t\">"
               "</th></tr></thead>\n<tbody>\n" +
               lapRows(r) +
               "</tbody></table></div>\n<p class=\"none\">* not counted in the average: a lap "
               "with fuel added, or one that used no energy. Tyre columns: percent left at "
               "the lap's end.</p>\n";
    }
    if (!r.laps.empty())
        out += "<h2>Stints</h2>\n<div class=\"scroll\"><table id=\"stints\">\n<thead><tr>"
               "<th class=\"t\">Stint</th><th class=\"t\">Driver</th><th>Laps</th><th>Count</th>"
               "<th>Pace</th><th>Spread s</th><th>Fuel L/lap</th><th>Energy %/lap</th></tr></thead>"
               "\n<tbody>\n" +
               stintRows(r) +
               "</tbody></table></div>\n<p class=\"none\">Pace: the mean of the stint's clean "
               "laps (a time from the game, not the session's first lap, no pit lane, within 107 % "
               "of their median); spread: their standard deviation.</p>\n";
    out += "<h2>Pit stops</h2>\n";
    if (r.stops.empty())
        return out + "<p>No visit to the pit lane while the companion was tracking.</p>\n";
    return out +
           "<div class=\"scroll\"><table id=\"stops\">\n<thead><tr><th class=\"t\">Stop</th>"
           "<th>Lap</th><th>At</th><th>In pit lane s</th><th>Moving s</th><th>At rest s</th>"
           "<th>Litres added</th><th>Energy after %</th><th>Tyres</th><th>s per litre</th>"
           "<th class=\"t\"></th><th>Plan: laps to flag</th><th>fuel needed L</th>"
           "<th>energy needed %</th><th>stops left</th><th class=\"t\">add</th>"
           "</tr></thead>\n<tbody>\n" +
           stopRows(r) +
           "</tbody></table></div>\n<p class=\"none\">Plan: what the plan to the flag said "
           "as the car entered the pit lane. Fuel and energy needed: beyond what the car held. "
           "Add: the fuel to put in and the energy level to set in the pit menu.</p>\n";
}

} // namespace

std::string renderReportPage(const StintReport& r) {
    std::string title = "Stint report: " + (r.track.empty() ? r.fileName : r.track);
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<meta name=\"generator\" content=\"Korvane Companion " +
           escaped(r.madeBy) + "\">\n<title>" + escaped(title) + "</title>\n<style>" + Style +
           "</style>\n</head>\n<body>\n<h1>" + escaped(title) + "</h1>\n" + headList(r) +
           missingList(r) + charts(r) + tables(r) + "<p class=\"none\">Made by Korvane Companion " +
           escaped(r.madeBy) +
           " from the recording alone, with the live view's own figures.</p>\n</body>\n</html>\n";
}

} // namespace korvane
