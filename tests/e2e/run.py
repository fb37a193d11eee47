#!/usr/bin/env python3
"""End-to-end cases: the companion against the test rig. One case per run."""
import argparse
import fcntl
import json
import os
import pty
import re
import select
import shutil
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "..", "testkit")]
from harness import POST_DEADLINE, TESTKIT, Env, Failure, check, enter_namespaces, wine_prefix  # noqa: E402
from update_cases import *  # noqa: E402,F401,F403
from setup_cases import *  # noqa: E402,F401,F403
from wire_cases import *  # noqa: E402,F401,F403
from record_cases import *  # noqa: E402,F401,F403
from game_cases import *  # noqa: E402,F401,F403

LOG_LINE = re.compile(
    r"^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] room=(\S+) id=(-?\d+) active=([Yn]) "
    r"Lap (-?\d+) \| Fuel (-?\d+\.\d)L \| (NO POST|POST OK|POST FAIL)$")


def log_lines(env):
    return [l for l in env.read("korvane_live.log").split("\n") if l]


def start_companion(env, *args):
    """The companion with a saved room; the update check has cases of its own."""
    return env.start_companion("E2E-ROOM", "--no-update", *args)


def screen_has(env, proc, text):
    return text in env.output(proc)


def documents(env):
    return [r for r in env.received() if r["path"] == "/api/live"]


def case_posts_stint(env):
    """Documents, log lines and the screen of a stint; the names hold
    terminal commands (a title change, CSI as U+009B), shown and sent inert."""
    env.start_service()
    with open(os.path.join(TESTKIT, "scenarios", "stint")) as f:
        text = f.read().replace('"Alex Korva"', '"Evil\x1b]0;PWNED\x07"')
    env.start_rig(env.write_scenario("stint", text.replace('"Spa-', '"Spa\u009b2J-')))
    comp = start_companion(env)
    env.wait_for(lambda: len(documents(env)) >= 8, 60,
                 "fewer than 8 documents:\n" + env.output(comp))
    docs = documents(env)
    out = env.output(comp)
    check("Driver  : Evil?]0;PWNED?   Lap" in out and "connected - Spa?2J-Francorchamps" in out,
          out[-1500:])
    for where, seen in (("screen", out), ("log", env.read("korvane_live.log")),
                        ("documents", json.dumps([r["document"] for r in docs],
                                                 ensure_ascii=False))):
        check(not any(c in seen for c in "\x1b\x07\x9b"), f"a control character on the {where}")
    for r in docs:
        check(r["problem"] is None, f"invalid document: {r['problem']}\n{r['raw']}")
        check(r["userAgent"] == "KorvaneCompanion/1.6", r["userAgent"])
        check(r["contentType"] == "application/json", r["contentType"])
        check(r["accept"] is None and r["expect"] is None, "extra request headers")
        # The rest of each document is proved whole by the replayed recording.
        ve = r["document"]["ve"]
        check(ve["source"] == "pitmenu" and ve["percent"] == 80.0, ve)
    # One "POST OK" log line for each document (the newest may not be
    # logged yet): one document per tick.
    lines = log_lines(env)
    ok = [l for l in lines if l.endswith("POST OK")]
    received = len(documents(env))
    check(len(docs) - 1 <= len(ok) <= received,
          f"{len(ok)} POST OK lines for {len(docs)}..{received} documents")
    for line in (l for l in lines if not l.startswith((" JSON: ", " SOURCE: "))):
        m = LOG_LINE.match(line)
        check(m and m.group(1) == "E2E-ROOM" and m.group(2) == "7", "bad log line: " + line)


def case_log_events(env):
    env.start_service()
    env.start_rig("quick_stop")
    comp = start_companion(env)
    ticks = lambda: [l for l in log_lines(env) if l.startswith("[")]
    env.wait_for(lambda: len(ticks()) >= 44, 90, "fewer than 44 ticks:\n"
                 + env.output(comp)[-1500:])
    lines = log_lines(env)
    json_lines = [l for l in lines if l.startswith(" JSON: ")]
    check(json_lines, "no JSON line in the log")
    event = lambda d: (d["status"]["pitRaw"]["inPitlane"] or d["status"]["fuelJustIncreased"]
                       or d["tires"]["change"]["detected"])
    # Each posted tick's log line is followed by the whole document exactly
    # when that document shows an event, however late the companion attached.
    posted = [i for i, l in enumerate(lines) if l.endswith("POST OK")]
    docs = [r["document"] for r in documents(env)]
    check(len(posted) >= 40 and len(docs) >= len(posted), f"{len(posted)} posts, {len(docs)} documents")
    for i, d in zip(posted, docs):
        logged = i + 1 < len(lines) and lines[i + 1].startswith(" JSON: ")
        check(logged == bool(event(d)), f"tick {lines[i]}: JSON logged {logged}, event {event(d)}")
        if logged:
            check(json.loads(lines[i + 1][len(" JSON: "):]) == d, "the logged JSON is not the posted one")
    check(any(not event(d) for d in docs) and any(event(d) for d in docs), "no driving or no stop")


def case_service_errors(env):
    """An error answer shows on the screen and in the log; a slow answer holds
    its tick until it comes; one past the post's deadline holds it only until
    then (under Wine too, whose WinHTTP would wait without limit); once the
    service answers in time again, posting simply goes on."""
    env.start_service([{"status": 500}])
    env.start_rig("race")
    comp = start_companion(env)
    env.wait_for(lambda: screen_has(env, comp, "Sending : FAILED - HTTP 500 "), 60,
                 "no HTTP 500 on the screen:\n" + env.output(comp)[-3000:])
    check(any(l.endswith("POST FAIL") for l in log_lines(env)), "no POST FAIL in the log")
    # An answer that takes 0.6 s, inside the deadline: the tick after it starts
    # only when it has come. (One post may be on its way with a quick answer.)
    env.set_answers([{"status": 200, "delay": 0.6}])
    slow = len(documents(env)) + 1
    times = lambda: [r["time"] for r in documents(env)][slow:]
    env.wait_for(lambda: len(times()) >= 4, 30, f"no slow answers: {times()}")
    gaps = [b - a for a, b in zip(times(), times()[1:])]
    check(min(gaps) >= 0.6, f"a tick did not wait for its answer: {gaps}")
    text = "Sending : FAILED - no answer within " + POST_DEADLINE
    check(text not in env.output(comp), "an answer inside the deadline was given up on")
    failed = lambda: sum(l.endswith("POST FAIL") for l in log_lines(env))
    before = failed()
    env.set_answers([{"status": 200, "delay": 3}])
    env.wait_for(lambda: screen_has(env, comp, text), 30,
                 f"no '{text}':\n" + env.output(comp)[-1500:])
    # More given up on than the Windows build leaves waiting at once: each
    # must count as ended once its late answer has come.
    env.wait_for(lambda: failed() >= before + 6, 60, "fewer than 6 posts given up on")
    env.set_answers([{"status": 204}])
    posted = len(documents(env))
    env.wait_for(lambda: len(documents(env)) > posted + 2 and log_lines(env)[-1].endswith("POST OK"),
                 30, "the next ticks did not post again")
    check("Sending : yes" in env.output(comp).rsplit(text, 1)[-1], "never recovered")


REST_PATHS = ["/rest/strategy/usage", "/rest/garage/UIScreen/RepairAndRefuel",
              "/rest/garage/UIScreen/DriverAndPitStop", "/rest/watch/standings",
              "/rest/sessions/getAllVehicles", "/rest/garage/getPlayerGarageData"]
NO_RESPONSE = "  (no response \u2014 is LMU running and in a session?)\n"
DUMP_CLOSING = ("\nSend the block containing the energy value and it can be\n"
                "wired to the exact key in one line.\n")


def run_tool(env, *args):
    proc = env.start("korvane-companion", *args, stdin_text="")
    code = env.wait_exit(proc, 120)
    return code, env.output(proc)


def dump_sections(out):
    """The body of each endpoint's section of a REST dump, by path."""
    sections = {}
    for path in REST_PATHS:
        start = out.index(f"\n=== GET {path}   (")
        start = out.index("\n", start + 1) + 1
        ends = [out.find(f"\n=== GET {p}", start) for p in REST_PATHS]
        ends = [e for e in ends if e >= 0] + [out.index(DUMP_CLOSING)]
        sections[path] = out[start:min(ends)]
    return sections


# Where a proxy set for the machine would take the requests: nowhere.
DEAD_PROXY = {name: "http://127.0.0.1:9" for name in ("http_proxy", "https_proxy", "ALL_PROXY")}


def case_restdump(env):
    """The six endpoints in order, each answer whole, an error's body shown, a
    long answer read whole, one above 16 MiB named and left out, one that
    never comes and one that trickles in given up on; the first tool named is the one that runs. The
    game is always asked directly, whatever proxy the environment names.
    First both tools without a game. (The probe's message under Wine goes
    through the console: console_text.)"""
    code, out = run_tool(env, "--restdump")
    check(code == 0 and out.count(NO_RESPONSE) == 6 and out.endswith(DUMP_CLOSING),
          f"exit code {code}:\n{out}")
    if env.platform == "linux":
        code, out = run_tool(env, "--probe")
        check(code == 0 and out == "probe: cannot open $rFactor2SMMP_Telemetry$ \u2014 is the "
              "game running?\n", f"exit code {code}:\n{out}")
    env.env.update(DEAD_PROXY)
    env.start_game(routes={
        "/rest/strategy/usage": {"status": 404, "body": '{"error":"no strategy yet"}'},
        "/rest/garage/UIScreen/RepairAndRefuel": {"size": 100000},
        "/rest/garage/UIScreen/DriverAndPitStop": {"hang": True},
        "/rest/garage/getPlayerGarageData": {"size": 17000000},
        # Every byte within the time-outs, the whole answer far past the deadline.
        "/rest/watch/standings": {"body": '{"standings": [], "note": "slow"}', "trickle": 0.5},
    })
    code, out = run_tool(env, "--all-sessions", "--restdump", "--probe")
    check(code == 0, f"exit code {code}")
    check("Korvane Companion" not in out and "probe:" not in out, out[:500])
    check(out.endswith(DUMP_CLOSING), out[-300:])
    s = dump_sections(out)
    with open(os.path.join(TESTKIT, "recordings", "getAllVehicles.json")) as f:
        check(s["/rest/sessions/getAllVehicles"] == f.read() + "\n", s["/rest/sessions/getAllVehicles"])
    check(s["/rest/strategy/usage"] == '{"error":"no strategy yet"}\n', s["/rest/strategy/usage"])
    m = re.search(r"\n  \.\.\. (\d+) more bytes\n", s["/rest/garage/UIScreen/RepairAndRefuel"])
    check(m, "no more-bytes line")
    kept = int(m.group(1)) + 1200
    check(kept == 100000, f"{kept} bytes kept of 100000")
    check(s["/rest/garage/getPlayerGarageData"] == "  (an answer of 17,000,000 bytes - more than the "
          "16 MiB the program reads, so it is not used)\n", s["/rest/garage/getPlayerGarageData"])
    check(s["/rest/garage/UIScreen/DriverAndPitStop"] == NO_RESPONSE, "the hanging answer")
    check(s["/rest/watch/standings"] == NO_RESPONSE, "the trickling answer")
    check({r["userAgent"] for r in env.game_requests()} == {"KorvaneCompanion/1.6"}, "user agent")
    check([r["path"] for r in env.game_requests()] == REST_PATHS, "paths or order differ")


def case_rest_ipv6_only(env):
    """A game listening on ::1 alone is reached. (Native only: Wine's WinHTTP
    tries only the first address of "localhost", 127.0.0.1.)"""
    env.start_game(family="6")
    code, out = run_tool(env, "--restdump")
    check(code == 0 and NO_RESPONSE not in out, f"exit code {code}:\n{out[:1000]}")


def usage_expectations(usage, player):
    """The player's energy per lap (the mean of the lap-to-lap drops of "ve"
    that look like a lap's use) and the last record's tyres, read with a real
    JSON parser."""
    ves = [r["ve"] for r in usage[player]]
    drops = [a - b for a, b in zip(ves, ves[1:]) if 0.0005 < a - b < 0.5]
    return sum(drops) / len(drops) * 100, usage[player][-1]["tyres"]


def case_full_grid(env):
    """Late in a day's race on a full grid (62 cars, megabytes of answers) with
    names outside ASCII, some in the buffers as Windows-1252: the documents
    carry the player's name in UTF-8, the player's energy per lap and tyre
    wear from the game, and every listed rival's energy; the screen shows the
    name as it is. A service gone silent leaves all that from the game on
    the screen."""
    env.start_service()
    rest = os.path.join(env.work, "rest")
    os.makedirs(rest)
    env.start_rig("grid62", "--rest", rest)
    files = {"/rest/watch/standings": "standings.json", "/rest/strategy/usage": "strategy_usage.json"}
    env.start_game(routes={path: {"file": os.path.join(rest, name)} for path, name in files.items()})
    with open(os.path.join(rest, "strategy_usage.json"), encoding="utf-8") as f:
        usage = json.load(f)
    with open(os.path.join(rest, "standings.json"), encoding="utf-8") as f:
        energy = {car["driverName"]: car["veFraction"] * 100 for car in json.load(f)}
    player = "J\u00f6rg M\u00fcller"
    check(len(energy) == 62 and player in usage, "the rig's answers are not a full grid")
    per_lap, tyres = usage_expectations(usage, player)
    comp = start_companion(env, "--verbose")
    done = lambda d: (d["ve"]["avgPerLap"] > 0 and d["tires"]["wear"]["fl"] == round(tyres[0], 2)
                      and all("ve" in car for car in d["standings"]))
    env.wait_for(lambda: any(r["document"] and done(r["document"]) for r in documents(env)), 90,
                 "no document with the game's figures:\n" + env.output(comp)[-2500:])
    d = [r["document"] for r in documents(env) if r["document"] and done(r["document"])][-1]
    check(d["driverId"] == player and d["driver"]["name"] == player, d["driver"])
    check(abs(d["ve"]["avgPerLap"] - per_lap) < 1e-4, f"{d['ve']['avgPerLap']} %/lap, not {per_lap}")
    wear = [d["tires"]["wear"][w] for w in ("fl", "fr", "rl", "rr")]
    check(wear == [round(t, 2) for t in tyres], f"tyres {wear}, not {tyres}")
    check(len(d["standings"]) >= 20, f"{len(d['standings'])} cars listed")
    for car in d["standings"]:
        check(car["name"] in energy, f"{car['name']!r} is no driver of the race")
        check(abs(car["ve"] - energy[car["name"]]) < 0.006, f"{car['name']}: {car['ve']}")
    check("Driver  : " + player in env.output(comp), env.output(comp)[-1500:])
    # The poller rests between its rounds of three requests: about one round
    # to four ticks, never one to every tick.
    seen = len(documents(env))
    env.wait_for(lambda: len(documents(env)) >= seen + 4, 30, "the companion stopped posting")
    rounds, posted = len(env.game_requests()) / 3, len(documents(env))
    check(rounds <= posted, f"{rounds:.0f} rounds of requests to the game for {posted} documents")

    # The service takes each post and never answers, for far more posts than
    # the Windows build leaves waiting: the ticks go on, each post failing at
    # its deadline, while the game's requests go on and its figures stay on
    # the screen.
    env.set_answers([{"status": 200, "delay": 600}])
    failed = lambda: sum(l.endswith("POST FAIL") for l in log_lines(env))
    asked, before, shown = len(env.game_requests()), failed(), len(env.output(comp))
    env.wait_for(lambda: failed() >= before + 12, 90, "the ticks stopped while the service was silent")
    check(len(env.game_requests()) >= asked + 6, "the game was asked less while the service was silent")
    frames = env.output(comp)[shown:].split("=== KORVANE COMPANION")[1:-1]
    check(frames and all("rival ve 62 cars" in f and "via rest" in f and "no answer within "
                         + POST_DEADLINE in f for f in frames[1:]), "".join(frames[-1:]))


def case_console_text(env):
    """On a console (a terminal under Wine), an em dash arrives whole, not as
    its three UTF-8 bytes read in the console's code page."""
    import pty
    master, slave = pty.openpty()
    proc = subprocess.Popen(env.command("korvane-companion", "--probe"), cwd=env.work,
                            env={**env.env, "LANG": "C.UTF-8"},
                            stdin=slave, stdout=slave, stderr=slave)
    os.close(slave)
    # Wine's console host may keep the terminal open after the program ends:
    # read until the program has ended and the terminal has nothing more.
    out = b""
    while True:
        ready = select.select([master], [], [], 0.5)[0]
        if ready:
            try:
                out += os.read(master, 4096)
                continue
            except OSError:  # the terminal closed with the program
                pass
        if not ready and proc.poll() is None:
            continue
        break
    os.close(master)
    check(proc.wait() == 0, f"exit code {proc.returncode}")
    text = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", out).decode("utf-8", "replace")
    check("$rFactor2SMMP_Telemetry$ \u2014 is the game running?" in text, repr(text))


HELD_SECONDS = 60


def held_output(env, name, terminal):
    """The companion with its output into a pipe (shrunk to one page, so that
    it fills within a tick) or a terminal that nobody reads for HELD_SECONDS:
    posts and log lines go on at the ticks' rate; read again, the output
    shows whole screens at once. Its errors (a sanitizer's) go to a file."""
    folder = os.path.join(env.work, name)
    os.makedirs(folder)
    env.save_room("E2E-ROOM", folder)
    errors = open(os.path.join(env.work, f"{name}.out"), "wb")
    out, write = pty.openpty() if terminal else os.pipe()
    if not terminal:
        fcntl.fcntl(write, 1031, 4096)  # F_SETPIPE_SZ
    # Input that has ended keeps the saved room, as an Enter would.
    proc = subprocess.Popen(env.command("korvane-companion", "--no-update"), cwd=folder,
                            env=env.env, stdin=subprocess.DEVNULL, stdout=write, stderr=errors)
    os.close(write)
    proc.outfile, proc.name = errors, name
    env.procs.append(proc)
    log = lambda: env.read(os.path.join(name, "korvane_live.log")).count("\n")
    env.wait_for(lambda: log() >= 4, 60, "no ticks logged")
    lines, posted = log(), len(documents(env))
    time.sleep(HELD_SECONDS)
    check(log() - lines >= HELD_SECONDS, f"{log() - lines} ticks logged while the output was held")
    check(len(documents(env)) - posted >= HELD_SECONDS, "posts stopped while the output was held")
    seen, deadline = b"", time.time() + 30
    while seen.count(b"=== KORVANE COMPANION") < 2 and time.time() < deadline:
        if select.select([out], [], [], 0.5)[0]:
            seen += os.read(out, 65536)
    check(seen.count(b"=== KORVANE COMPANION") >= 2, "no screen after the output was read again")
    env.stop(proc)


def case_held_console(env):
    """Output nobody reads for a minute: a pipe, and on Linux a terminal."""
    env.start_service()
    env.start_rig("race")
    held_output(env, "pipe", terminal=False)
    if env.platform == "linux":
        held_output(env, "terminal", terminal=True)


def case_planted_library(env):
    """Libraries named as WinHTTP, bcrypt, CRYPT32 and WINTRUST beside the .exe
    (a Downloads folder) are never loaded. Windows looks beside the .exe first
    for libraries it does not protect; Wine does when told to prefer native
    ones, as here."""
    env.start_service()
    env.start_rig("stint")
    folder = os.path.join(env.work, "Downloads")
    os.makedirs(folder)
    shutil.copy(os.path.join(env.bindir, "korvane-companion.exe"), folder)
    names = ["winhttp", "bcrypt", "crypt32", "wintrust"]
    for name in names:
        shutil.copy(os.path.join(env.bindir, "..", "planted", "planted.dll"),
                    os.path.join(folder, name + ".dll"))
    env.save_room("E2E-ROOM", folder)
    overrides = ",".join(names) + "=n,b;mscoree,mshtml=;winemenubuilder.exe=d"
    comp = env.spawn("planted", ["env", "WINEDLLOVERRIDES=" + overrides, "/usr/lib/wine/wine64",
                                 os.path.join(folder, "korvane-companion.exe"), "--no-update"],
                     stdin_text="\n", cwd=folder)
    # Imports would be loaded at the start; a library loaded at run time
    # with the standard search, by the first post.
    env.wait_for(lambda: len(documents(env)) >= 3, 90, "fewer than 3 documents:\n" + env.output(comp))
    loaded = [n for n in os.listdir(folder) if n.endswith(".loaded")]
    check(not loaded, f"loaded from beside the .exe: {loaded}")


def case_unwritable_log(env):
    os.makedirs(os.path.join(env.work, "korvane_live.log"))
    comp = start_companion(env)
    code = env.wait_exit(comp, 60)
    out = env.output(comp)
    check(code == 1, f"exit code {code}")
    check(out.endswith("Room: E2E-ROOM\n\nERROR: Could not open korvane_live.log\n"), out)


def case_full_disk(env):
    """With nobody reading its output (a console or pipe that went away), the
    ticks go on posting while the disk under the log is full, and logging
    resumes with whole lines only once there is room again."""
    env.start_service()
    env.start_rig("race")
    disk = os.path.join(env.work, "disk")
    os.makedirs(disk)
    env.save_room("E2E-ROOM", disk)
    # An earlier run's log, 20 bytes short of filling its page, then a full
    # disk: every tick's line fails partway and must be cut back off.
    log = os.path.join(disk, "korvane_live.log")
    earlier = "[2026-12-05 20:00:00] room=E2E-ROOM id=7 active=Y Lap 1 | Fuel 50.0L | POST OK\n" * 50
    earlier += " JSON: {" + "x" * (4096 - 20 - len(earlier) - 9) + "\n"
    with open(log, "w", newline="") as f:
        f.write(earlier)
    fillers = env.small_disk(disk, "256k")
    comp = env.start("korvane-companion", "--no-update", stdin_text="\n", cwd=disk,
                     closed_output=True)
    env.wait_for(lambda: len(documents(env)) >= 4, 60, "posting stopped on a full disk")
    check(os.path.getsize(log) == len(earlier), f"{os.path.getsize(log)} bytes in the log")
    lines = lambda: open(log, "rb").read().decode().replace("\r\n", "\n").split("\n")
    posted = lambda: len([l for l in lines() if l.endswith("POST OK")])
    for path in fillers:
        os.unlink(path)
    env.wait_for(lambda: posted() >= earlier.count("POST OK") + 3, 60, "logging did not resume")
    for l in lines()[:-1]:
        check(LOG_LINE.match(l) or l.startswith((" JSON: {", " SOURCE: ")),
              f"not a whole log line: {l!r}")
    check(lines()[-1] == "", "the log ends inside a line")
    check(comp.poll() is None, f"companion exited with {comp.poll()}")


def case_publisher_restart(env):
    """The game closes and starts again: the companion follows the buffers of
    the new run (on Linux a restarted publisher creates new files)."""
    env.start_service()
    scenario = 'track "{}"\nplayer id=7 driver="P"\ntimeline\ndrive 600\n'
    rig = env.start_rig(env.write_scenario("first", scenario.format("Spa-Francorchamps")))
    comp = start_companion(env)
    tracks = lambda: {r["document"]["session"]["track"] for r in documents(env) if r["document"]}
    env.wait_for(lambda: "Spa-Francorchamps" in tracks(), 60,
                 "no document from the first run:\n" + env.output(comp)[-1500:])
    rig.send_signal(signal.SIGTERM)
    env.wait_exit(rig, 20)
    env.start_rig(env.write_scenario("second", scenario.format("Monza")))
    env.wait_for(lambda: "Monza" in tracks(), 60,
                 "the companion did not follow the new run:\n" + env.output(comp)[-1500:])
    check(comp.poll() is None, "companion exited")


def case_room_stdin_ends(env):
    """Input ends at the first room prompt while the poller is busy with the
    game's answers: the program ends with code 1, and under the sanitizers
    nothing the poller still uses is torn down beneath it."""
    env.start_game()
    comp = env.start("korvane-companion", "--no-update", stdin_text=None)
    env.wait_for(lambda: len(env.game_requests()) >= 4 and
                 env.game_requests()[-1]["path"] == "/rest/watch/standings", 30,
                 "the poller did not poll:\n" + env.output(comp))
    comp.stdin.close()
    code = env.wait_exit(comp, 60)
    out = env.output(comp)
    check(code == 1, f"exit code {code}")
    check("Room code (from website ?room=): " in out, out)
    check("Room:" not in out, out)
    check(not os.path.exists(os.path.join(env.work, "korvane_room.txt")), "room file written")


SKIPPED = 77  # ctest's SKIP_RETURN_CODE for these runs


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--platform", required=True, choices=["linux", "windows"])
    ap.add_argument("--bin", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--case", required=True)
    ap.add_argument("--host", default="live.korvane.app")
    a = ap.parse_args()
    if a.platform == "windows" and not os.environ.get("KORVANE_E2E_INSIDE"):
        # A wineserver started outside would create sockets in the wrong network.
        prefix = wine_prefix(os.path.join(os.path.dirname(a.bin), "wine"))
        subprocess.run(["/usr/lib/wine/wineserver", "-k"], env={**os.environ, "WINEPREFIX": prefix},
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    fn = globals().get("case_" + a.case)
    if fn is None:
        print("unknown case", a.case)
        return 2
    # Every case runs isolated or not at all: outside the namespaces it would
    # post to the real service and use the real mapping names.
    reason = enter_namespaces([os.path.abspath(__file__), *sys.argv[1:]])
    if reason:
        print(f"skip {a.platform} {a.case}: {reason}")
        return SKIPPED
    env = Env(a.platform, a.bin, a.work, a.case, a.host)
    try:
        env.isolate()
        fn(env)
        reports = env.sanitizer_reports()
        check(not reports, "\n".join(reports))
    except Failure as e:
        # Every line marked, the last ones kept: CI's summary shows only
        # the marked lines, and a message's end is where a failure shows.
        lines = str(e).splitlines() or [""]
        print(f"FAIL {a.platform} {a.case}: {lines[0]}")
        if len(lines) > 1:
            print("\n".join(f"FAIL   | {l}" for l in lines[1:][-15:]))
        return 1
    finally:
        env.stop_all()
    print(f"ok {a.platform} {a.case}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
