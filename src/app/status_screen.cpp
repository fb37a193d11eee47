#include "app/status_screen.h"

#include "analysis/session.h"
#include "core/build_info.h"
#include "core/format.h"
#include "core/screen_feed.h"
#include "core/strings.h"
#include "feed/poster.h"
#include "platform/console.h"

#include <cmath>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <sstream>

namespace korvane {

int screenLineWidth(int w) {
    return (w < 20 || w > 298) ? 77 : w;
}

std::string fitScreenLine(const std::string& text, int width) {
    // Characters, not bytes: a name such as "Müller" takes one column per
    // letter, and a letter is never cut in half.
    size_t end = 0;
    int shown = 0;
    while (end < text.size() && shown < width) {
        ++end;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
        ++shown;
    }
    std::string line = text.substr(0, end);
    line.append(size_t(width - shown), ' ');
    return line;
}

namespace {

const char* const WheelKeys[4] = {"FL", "FR", "RL", "RR"};

std::string measured(const ScreenInput& in) {
    const StintState& st = *in.stint;
    std::ostringstream s;
    s << std::fixed << std::setprecision(2);
    bool any = false;
    if (!st.fuelWindow.empty()) {
        s << st.fuelWindow.mean << " L/lap";
        any = true;
    }
    if (!st.energyWindow.empty()) {
        s << (any ? "   " : "") << st.energyWindow.mean << " %VE/lap";
        any = true;
    }
    if (!st.wearWindows[0].empty()) {
        s << (any ? "   " : "") << std::setprecision(3) << "wear ";
        for (size_t i = 0; i < 4; ++i) s << (i ? "/" : "") << st.wearWindows[i].mean;
        s << "   (" << st.fuelWindow.count << " laps)";
    } else if (any) {
        s << "   (" << st.fuelWindow.count << " laps)";
    } else {
        s << "nothing yet - needs a couple of clean laps";
    }
    return s.str();
}

// "1:30.4": a lap's time with `decimals` decimals of a second.
std::string paceText(double seconds, int decimals) {
    double scale = std::pow(10.0, decimals);
    double rounded = std::round(seconds * scale) / scale;
    long long minutes = (long long)(rounded / 60);
    std::ostringstream s;
    s << minutes << ":" << std::fixed << std::setprecision(decimals) << std::setfill('0')
      << std::setw(decimals + 3) << rounded - double(minutes) * 60;
    return s.str();
}

std::string signedAmount(double v, int decimals) {
    std::string out = v >= 0 ? "+" : "";
    out += fixed(v, decimals);
    return out;
}

} // namespace

std::vector<std::string> planLines(const FlagPlan& p, int extra) {
    std::vector<std::string> lines;
    if (!p.known || p.pace <= 0 || (!p.fuel.known && !p.energy.known)) return lines;
    int d = 1 + extra;
    std::string flag = "To flag : " + fixed(p.lapsToFlag, d) + " laps";
    if (p.fuel.known)
        flag += "   fuel " + fixed(p.fuel.toFlag, d) + " L (" + signedAmount(p.fuel.onTop, d) + ")";
    if (p.energy.known)
        flag +=
            "   VE " + fixed(p.energy.toFlag, d) + "% (" + signedAmount(p.energy.onTop, d) + ")";
    lines.push_back(flag);
    if (p.stops == 0) {
        lines.push_back("Stops   : none - what the car holds reaches the flag");
    } else {
        const char* binds = p.binds == PlanBinds::Both     ? "both bind"
                            : p.binds == PlanBinds::Energy ? "energy binds"
                                                           : "fuel binds";
        std::string stops = "Stops   : " + std::to_string(p.stops) + " (" + binds + ")   next: ";
        if (p.fuel.known) stops += signedAmount(p.fuel.add, d) + " L";
        if (p.energy.known)
            stops += std::string(p.fuel.known ? ", " : "") + "VE to " +
                     fixed(p.energy.level, extra) + "%";
        if (p.stops > 1) stops += ", then " + std::to_string(p.stops - 1) + " more";
        lines.push_back(stops);
        auto use = [&](const ResourcePlan& r, const char* unit) {
            if (!r.known) return std::string();
            if (r.saveUse < 0) return std::string(&r == &p.fuel ? " fuel" : " energy") + " as now";
            std::string text = " ";
            text += fixed(r.saveUse, d + 1) + " " + unit + " (-" + fixed(r.savePercent, d) + "%)";
            return text;
        };
        std::string fuel = use(p.fuel, "L/lap"), energy = use(p.energy, "%VE/lap");
        lines.push_back("Save    : a stop at" + fuel + (fuel.empty() || energy.empty() ? "" : ",") +
                        energy);
    }
    std::string pace = "Pace    : " + paceText(p.pace, d) + " a lap";
    if (p.tyre >= 0)
        pace += std::string("   tyres: ") + WheelKeys[p.tyre] + " lasts " + fixed(p.tyreLaps, d) +
                " laps more";
    lines.push_back(pace);
    return lines;
}

namespace {

bool hint(const ScreenInput& in, std::string& out) {
    if (in.sessionOk) {
        if (in.remoteDriver)
            out = "NEXT    : a team-mate drives this car - their companion sends it";
        else if (!in.tracking)
            out = "NEXT    : get in the car - nothing is sent until you drive";
        else if (!in.postOk && in.lastPostError.starts_with(postDeadlineText()))
            out = "NEXT    : the site answers too slowly - check your connection";
        else if (!in.postOk)
            out = "NEXT    : check your connection - the site is not answering";
        else
            return false;
    } else if (sessionAllowed(in.sessionType, in.raceOnly)) {
        out = "NEXT    : start a session in Le Mans Ultimate";
    } else {
        out = std::string("NEXT    : this is a ") + sessionTypeName(in.sessionType) +
              " session - run with --all-sessions to log it";
    }
    return true;
}

const char* reported(const ScreenInput& in) {
    if (in.sample->inPitStop) return "YES";
    if (!in.stint->pitArmed) return "held";
    if (in.stint->pitStable) return "No";
    return "settling";
}

void diagnostics(const ScreenInput& in, std::vector<std::string>& lines) {
    const TickSample& t = *in.sample;
    const StintState& st = *in.stint;
    std::ostringstream a;
    a << "poster seatRaw=" << (t.seatRaw ? "yes" : "no") << " frozen=" << st.frozen
      << " stale=" << in.stale << " phase=" << unsigned(in.gamePhase)
      << " session=" << in.sessionType;
    lines.push_back(a.str());
    std::ostringstream source;
    source << "source " << in.source << "  lock busy " << in.lockSkips;
    lines.push_back(source.str());
    std::ostringstream b;
    b << "pit limiter=" << (t.speedLimiter ? "ON" : "off")
      << " scoringInPits=" << (t.inPits ? "YES" : "no") << " state=" << unsigned(t.pitState)
      << " reported=" << reported(in);
    lines.push_back(b.str());
    std::ostringstream c;
    if (t.energyPercent < 0) {
        c << "ve none (REST not answering)";
    } else {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%f", t.energyPercent);
        c << "ve " << buf << "% via " << energySourceName(t.energySource);
    }
    lines.push_back(c.str());
    std::ostringstream d;
    if (in.rivalCount == 0)
        d << "rival ve none (standings has no energy field)";
    else
        d << "rival ve " << in.rivalCount << " cars via " << in.rivalField;
    lines.push_back(d.str());
    if (!in.droppedAnswer.empty())
        lines.push_back("rest dropped " + in.droppedAnswer + " (over the 16 MiB read)");
    std::ostringstream e;
    e << std::fixed << std::setprecision(0) << "tyre life ";
    for (size_t i = 0; i < 4; ++i) e << (i ? "/" : "") << t.wearPercent[i];
    e << "%  temps ";
    for (size_t i = 0; i < 4; ++i) e << (i ? "/" : "") << t.tempC[i];
    e << "C" << (t.tyreChangeRecent ? "  CHANGE DETECTED" : "");
    lines.push_back(e.str());
    std::ostringstream f;
    f << "speed " << truncatedOrZero(t.speedKmh) << " km/h  rpm " << truncatedOrZero(t.rpm)
      << "  lapDirty=" << (st.lapDirty ? "yes" : "no");
    lines.push_back(f.str());
    if (!in.sessionOk) return;
    std::vector<std::string> plan = planLines(t.plan, 1);
    if (plan.empty()) return;
    // What the plan was worked out from, to check it by hand.
    const PlanInput& p = t.plan.input;
    char from[2][160];
    std::snprintf(from[0], sizeof from[0],
                  "plan from %.3f s left, %.4f of the lap, reserve %.2f laps", p.timeLeft,
                  p.lapFraction, p.reserveLaps);
    std::snprintf(from[1], sizeof from[1],
                  "plan fuel %.3f/%.1f L at %.4f/lap, VE %.3f%% at %.4f/lap", p.fuel, p.capacity,
                  p.fuelPerLap, p.energy, p.energyPerLap);
    lines.insert(lines.end(), {from[0], from[1]});
    for (std::string& line : plan) lines.push_back(std::move(line));
}

} // namespace

std::vector<std::string> statusScreenLines(const ScreenInput& in) {
    std::vector<std::string> lines;
    lines.push_back(std::string("=== KORVANE COMPANION ") + BuildVersion + " ===");
    lines.push_back("");
    lines.push_back("Room    : " + shownText(in.roomCode));
    if (in.sessionOk)
        lines.push_back("Game    : connected - " + shownText(in.trackName) + ", " +
                        sessionTypeName(in.sessionType));
    else
        lines.push_back("Game    : waiting for Le Mans Ultimate");
    if (in.remoteDriver)
        lines.push_back("Sending : no - a team-mate is driving");
    else if (!in.tracking)
        lines.push_back("Sending : not yet - start driving");
    else if (in.postOk)
        lines.push_back("Sending : yes");
    else
        lines.push_back("Sending : FAILED - " + in.lastPostError);
    lines.push_back("");
    if (in.sessionOk) {
        const TickSample& t = *in.sample;
        std::ostringstream s;
        s << "Driver  : " << shownText(in.driverName) << "   Lap " << t.lap << "   Fuel " << t.fuel
          << " L (" << truncatedOrZero(fuelPercentOf(t.fuel, t.capacity)) << "%)";
        lines.push_back(s.str());
    }
    lines.push_back("Measured: " + measured(in));
    if (in.sessionOk)
        for (std::string& line : planLines(in.sample->plan, 0)) lines.push_back(std::move(line));
    lines.push_back("");
    std::string next;
    if (hint(in, next)) lines.push_back(next);
    lines.push_back("");
    if (!in.verbose) {
        lines.push_back("(--verbose for diagnostics)");
    } else {
        lines.push_back("-- diagnostics (--verbose) ------------------");
        diagnostics(in, lines);
    }
    lines.push_back("--------------------------------------------");
    return lines;
}

std::vector<std::string> replayScreenLines(const std::string& roomCode) {
    return {std::string("=== KORVANE COMPANION ") + BuildVersion + " ===",
            "",
            "Room    : " + shownText(roomCode),
            "Game    : watching a replay",
            "Sending : no - a replay is never sent",
            "",
            "NEXT    : leave the replay and drive to send again",
            "--------------------------------------------"};
}

std::string titleText(const ScreenInput& in) {
    const char* word = !in.sessionOk     ? "waiting for the game"
                       : in.remoteDriver ? "a team-mate is driving"
                       : !in.tracking    ? "idle - not driving"
                       : in.postOk       ? "sending"
                                         : "POST FAILED";
    return std::string(word) + " - room " + in.roomCode;
}

void drawStatusScreen(const std::vector<std::string>& lines) {
    static bool firstDraw = true;
    if (firstDraw) {
        consoleClear();
        firstDraw = false;
    }
    consoleHomeCursor();
    int width = screenLineWidth(consoleVisibleWidth());
    for (const std::string& line : lines) std::cout << fitScreenLine(line, width) << "\n";
    std::cout << std::flush;
}

std::string windowTitle(const std::string& text) {
    return shownText(std::string("Korvane ") + BuildVersion + " - " + text);
}

bool setTitleIfChanged(const std::string& text) {
    static std::string lastTitle;
    if (text == lastTitle) return false;
    lastTitle = text;
    showOnScreen(ScreenPart::Title, [title = windowTitle(text)] { consoleSetTitle(title); });
    return true;
}

void showStatusScreen(std::vector<std::string> lines) {
    showOnScreen(ScreenPart::Frame, [lines = std::move(lines)] { drawStatusScreen(lines); });
}

} // namespace korvane
