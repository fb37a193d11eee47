#!/usr/bin/env python3
"""./dev soak: the release companion beside the rig, the fake game and the
local service for a given time, in private namespaces, with its footprint.

Usage: soak.py PLATFORM BINDIR MINUTES HOST [--day]
Prints one summary line: CPU share of one core after the first minute,
resident memory at the first minute, at the end and at its highest,
documents the service received, and failed posts in the live log.

With --day the rig runs a whole 24-hour race on a full grid in the minutes
given (session time that much faster), and writes the game's standings and
usage answers as they grow lap by lap, which the fake game serves: at the end
the laps, the energy per lap, the tyres and the last stop of the last
document are checked against what the rig and the answers say.
"""
import json
import os
import shutil
import sys
import time

from harness import SCENARIOS, Env, enter_namespaces  # noqa: E402

TICKS_PER_SECOND = os.sysconf("SC_CLK_TCK")


def parent_of(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return int(f.read().rsplit(")", 1)[1].split()[1])
    except (OSError, ValueError):
        return None


def find_pid(name, root):
    """The process running the program, at `root` or below it (the Wine loader
    becomes the .exe's process, whose command line begins with the .exe)."""
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                args = f.read().split(b"\0")
        except OSError:
            continue
        first = os.path.basename(args[0].decode(errors="replace").replace("\\", "/"))
        if first not in (name, name + ".exe"):
            continue
        pid = int(entry)
        while pid and pid != root:
            pid = parent_of(pid)
        if pid == root:
            return int(entry)
    return None


def sample(pid):
    """(CPU seconds, resident MB) of the process."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    cpu = (int(fields[11]) + int(fields[12])) / TICKS_PER_SECOND
    with open(f"/proc/{pid}/status") as f:
        rss = next(int(l.split()[1]) for l in f if l.startswith("VmRSS:")) / 1024
    return cpu, rss


def resident_split(pid):
    """Resident MB in mapped library files and in everything else."""
    libs = own = 0
    name = ""
    with open(f"/proc/{pid}/smaps") as f:
        for line in f:
            head = line.split()
            if "-" in head[0] and len(head) >= 5:
                name = head[5] if len(head) > 5 else ""
            elif head[0] == "Rss:":
                if ".so" in name or name.lower().endswith(".dll"):
                    libs += int(head[1])
                else:
                    own += int(head[1])
    return libs / 1024, own / 1024


def soak_scenario(minutes):
    """The race's field and car, with a pit stop (fuel and four tyres) every
    ten minutes of driving, for as long as the soak lasts."""
    with open(os.path.join(SCENARIOS, "race")) as f:
        head = f.read().split("\ntimeline\n")[0]
    stint = "drive 600\npitlane 15\nbox 25 refuel=50 tyres=all\npitlane 15\n"
    return head + "\ntimeline\n" + stint * (int(minutes / 10) + 2)


def day_scenario():
    """The full grid from the start of a 24-hour race, with a stop for fuel
    and tyres every twelve laps (100 s of session time in the pits)."""
    with open(os.path.join(SCENARIOS, "grid62")) as f:
        head = f.read().split("\ntimeline\n")[0]
    head = head.replace("\net 72000\n", "\net 10\n").replace("\nhistory 380\n", "\nhistory 0\n")
    stint = "drive 2520\npitlane 30\nbox 40 refuel=40 tyres=all\npitlane 30\n"
    return head + "\ntimeline\n" + stint * 40


def day_figures(env, rest):
    """What the last document says beside what the rig and the answers say,
    and what disagrees. The analysis counts a tick as half a second, so under
    a compressed clock a stop's seconds are not checked, only its litres."""
    docs = [r["document"] for r in env.received() if r["path"] == "/api/live" and r["document"]]
    with open(os.path.join(rest, "strategy_usage.json"), encoding="utf-8") as f:
        usage = json.load(f)
    records = usage["J\u00f6rg M\u00fcller"]
    d = docs[-1]
    ves = [r["ve"] for r in records]
    drops = [a - b for a, b in zip(ves, ves[1:]) if 0.0005 < a - b < 0.5]
    problems = []
    if abs(d["lap"]["current"] - (len(records) + 1)) > 1:
        problems.append(f"lap {d['lap']['current']}, the answers hold {len(records)} laps")
    if abs(d["ve"]["avgPerLap"] - sum(drops) / len(drops) * 100) > 1e-3:
        problems.append(f"energy {d['ve']['avgPerLap']} %/lap")
    if abs(d["fuel"]["avgPerLap"] - 3.1) > 0.2:
        problems.append(f"fuel {d['fuel']['avgPerLap']} L/lap, the rig burns 3.1")
    # Each stop adds 40 L or fills the tank, whichever is less, from the fuel
    # the car came in with.
    # A stop still under way at the end is not the last stop yet.
    done = max(i for i, doc in enumerate(docs) if not doc["status"]["inPitlane"])
    entry = max(i for i in range(1, done)
                if docs[i]["status"]["inPitlane"] and not docs[i - 1]["status"]["inPitlane"])
    litres = min(40.0, docs[entry]["fuel"]["capacity"] - docs[entry]["fuel"]["remaining"])
    if not (d["lastStop"]["valid"] and abs(d["lastStop"]["litres"] - litres) < 0.6):
        problems.append(f"last stop {d['lastStop']}, not {litres:.1f} L")
    # The answers may have moved on a lap since the last poll.
    wear = [d["tires"]["wear"][w] for w in ("fl", "fr", "rl", "rr")]
    if not any(wear == [round(t, 2) for t in r["tyres"]] for r in records[-2:]):
        problems.append(f"tyres {wear}, the last records {[r['tyres'] for r in records[-2:]]}")
    summary = (f"lap {d['lap']['current']}, {len(records)} laps of records "
               f"({os.path.getsize(os.path.join(rest, 'strategy_usage.json')) / 1e6:.1f} MB), "
               f"{d['ve']['avgPerLap']:.3f} %VE/lap, {d['fuel']['avgPerLap']:.2f} L/lap, "
               f"last stop {d['lastStop']['litres']:.1f} L of {litres:.1f}")
    return summary, problems


def main():
    platform, bindir, minutes, host = sys.argv[1], sys.argv[2], float(sys.argv[3]), sys.argv[4]
    day = "--day" in sys.argv[5:]
    reason = enter_namespaces([os.path.abspath(__file__), *sys.argv[1:]])
    if reason:
        print(f"./dev soak {reason}: run it as root.")
        return 1
    work = os.path.join(os.path.dirname(bindir), "soak-work")
    env = Env(platform, bindir, work, "soak", host)
    if platform == "windows":
        # A prefix of its own: a wineserver is found through its prefix, and
        # tests run meanwhile must not reach (or end) this one.
        prefix = os.path.join(os.path.dirname(bindir), "soak-wine")
        if not os.path.exists(os.path.join(prefix, "system.reg")):
            shutil.rmtree(prefix, ignore_errors=True)
            shutil.copytree(env.env["WINEPREFIX"], prefix, symlinks=True)
        env.env["WINEPREFIX"] = prefix
    try:
        env.isolate()
        env.start_service()
        if day:
            clock = 24 * 60 / minutes
            rest = os.path.join(env.work, "rest")
            os.makedirs(rest)
            env.start_rig(env.write_scenario("soak-scenario", day_scenario()),
                          "--clock", str(clock), "--rest", rest)
            env.start_game(routes={
                "/rest/watch/standings": {"file": os.path.join(rest, "standings.json")},
                "/rest/strategy/usage": {"file": os.path.join(rest, "strategy_usage.json")}})
        else:
            env.start_game()
            env.start_rig(env.write_scenario("soak-scenario", soak_scenario(minutes)))
        comp = env.start_companion("SOAK-ROOM", "--no-update")
        env.wait_for(lambda: find_pid("korvane-companion", comp.pid), 60,
                     "the companion did not start")
        pid = find_pid("korvane-companion", comp.pid)
        start = time.time()
        samples = []
        with open(os.path.join(env.work, "footprint.csv"), "w") as csv:
            csv.write("seconds,cpu_seconds,rss_mb\n")
            while time.time() - start < minutes * 60 and comp.poll() is None:
                cpu, rss = sample(pid)
                samples.append((time.time() - start, cpu, rss))
                csv.write(f"{samples[-1][0]:.0f},{cpu:.2f},{rss:.1f}\n")
                csv.flush()
                time.sleep(10)
            if comp.poll() is None:
                cpu, rss = sample(pid)
                samples.append((time.time() - start, cpu, rss))
        if comp.poll() is not None:
            print(f"soak {platform}: the companion ended early:\n" + env.output(comp)[-2000:])
            return 1
        first = next((s for s in samples if s[0] >= 60), samples[0])
        last = samples[-1]
        share = (last[1] - first[1]) / max(last[0] - first[0], 1) * 100
        docs = len([r for r in env.received() if r["path"] == "/api/live"])
        log = env.read("korvane_live.log").split("\n")
        failed = len([l for l in log if l.endswith("POST FAIL")])
        print(f"soak {platform}: {last[0] / 60:.0f} min, CPU {share:.2f} % of a core after the "
              f"first minute, resident {first[2]:.1f} MB at 1 min, {last[2]:.1f} MB at the end "
              f"(highest {max(s[2] for s in samples):.1f} MB), {docs} documents, "
              f"{failed} failed posts")
        libs, own = resident_split(pid)
        print(f"soak {platform}: at the end {libs:.1f} MB of the resident memory are shared "
              f"libraries' pages, {own:.1f} MB the program's own")
        if day:
            summary, problems = day_figures(env, rest)
            print(f"soak {platform}: {summary}" + "".join(f"\n   WRONG: {p}" for p in problems))
            return 1 if problems or failed else 0
        return 0
    finally:
        env.stop_all()


if __name__ == "__main__":
    sys.exit(main())
