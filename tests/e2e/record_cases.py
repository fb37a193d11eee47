"""End-to-end cases of the recorder and of replaying what it wrote."""
import json
import math
import os
import re
import shutil
import subprocess
import signal
import struct
import zlib

from harness import TESTKIT, check

__all__ = ["case_record_replay", "case_record_replay_game", "case_record_full_disk", "case_replay_recording",
           "case_hostile_recording", "case_stint_report", "case_flag_plan"]
RECORDINGS = os.path.join(TESTKIT, "recordings")

# The session time of testkit/scenarios/held_stint, whose half-second steps
# the rig holds two seconds each.
SESSION_SECONDS = 12.5
HELD = 2


def documents(env, since=0):
    """The posted documents from the `since`-th on, without their timestamps
    and the posting program's version, each run of equal ones kept once."""
    out = []
    for r in [r for r in env.received() if r["path"] == "/api/live"][since:]:
        check(r["problem"] is None, f"invalid document: {r['problem']}")
        d = {k: v for k, v in r["document"].items() if k not in ("timestamp", "companion")}
        if not out or out[-1] != d:
            out.append(d)
    return out


def check_same(seen, replayed):
    """The companion posts once it has seen the car three times, while it
    stands before the stint: both lists start from the later first look."""
    check(seen and replayed, f"{len(seen)} and {len(replayed)} documents")
    first = max(seen[0]["session"]["elapsed"], replayed[0]["session"]["elapsed"])
    seen, replayed = ([d for d in docs if d["session"]["elapsed"] >= first]
                      for docs in (seen, replayed))
    for i, (a, b) in enumerate(zip(seen, replayed)):
        check(a == b, f"document {i} differs:\n before {a}\n replay {b}")
    check(len(seen) == len(replayed), f"{len(seen)} before, {len(replayed)} replayed")


def ready_companion(env):
    """The companion, once it shows that it waits for the game: under Wine a
    start can take seconds, and a companion that misses the stint's first
    steps posts other figures than one that saw them."""
    comp = env.start_companion("E2E-ROOM", "--no-update")
    env.wait_for(lambda: "Waiting for Le Mans Ultimate" in env.output(comp), 60,
                 "the companion did not start:\n" + env.output(comp))
    return comp


def start_recorder(env, name, cwd=None, ticks=2):
    rec = env.spawn("recorder", env.command("korvane-companion", "--record", name), cwd=cwd)
    env.wait_for(lambda: f"{ticks} ticks |" in env.output(rec), 30,
                 "the recorder did not start:\n" + env.output(rec))
    return rec


def replay(env, path, *args, last=None, since=0):
    """Replays the file; with `last` (the session time of the last document
    expected), waits until the companion has posted it, among the documents
    from the `since`-th on."""
    rig = env.spawn("replay", env.command("korvane-rig", "--replay", path, *args))
    env.wait_exit(rig, 300)
    if last is not None:
        env.wait_for(lambda: any(d["session"]["elapsed"] >= last for d in documents(env, since)), 30,
                     f"no document at {last} s after the replay")
    return env.output(rig).strip().split("\n")[-1]


def case_record_replay(env):
    """The companion posts the same documents beside a replay of a session
    as it did live. (How a cut or damaged file reads, the unit tests show.)"""
    record_and_replay(env)


def case_record_replay_game(env):
    """The same through the game's own shared memory: the recording keeps the
    route and what the analysis read, and the replay goes out the same way."""
    record_and_replay(env, "--route", "game")
    check(all(d["ve"]["source"] == "car" for d in documents(env)), documents(env)[-1]["ve"])


def record_and_replay(env, *route):
    env.start_service()
    game = env.start_game()
    live = ready_companion(env)
    rec = start_recorder(env, "race.kvr", ticks=6)
    check("Recording to " in env.output(rec) and "driver names" in env.output(rec),
          env.output(rec))
    rig = env.start_rig("held_stint", "--held", str(HELD),
                        "--seconds", str(2 * SESSION_SECONDS * HELD + 2 * HELD), *route)
    env.wait_exit(rig, 120)
    env.wait_for(lambda: "game not publishing" in env.output(rec)[-200:], 60,
                 "the recorder did not see the game go")
    if env.platform == "linux":
        # Ctrl+C: the recorder ends on its own and says what it kept.
        rec.send_signal(signal.SIGINT)
        check(env.wait_exit(rec, 10) == 0, env.output(rec)[-500:])
        check(env.output(rec).rstrip().endswith(os.path.join(env.work, "race.kvr")),
              env.output(rec)[-300:])
    env.stop(rec)
    env.stop(live)
    env.stop(game)
    seen_live = documents(env)
    check(len(seen_live) > 20, f"{len(seen_live)} distinct documents live")
    posted = len([r for r in env.received() if r["path"] == "/api/live"])

    answers = os.path.join(env.work, "answers.jsonl")
    env.start_game(replay=answers)
    again = ready_companion(env)
    last = replay(env, os.path.join(env.work, "race.kvr"), "--answers", answers,
                  last=seen_live[-1]["session"]["elapsed"], since=posted)
    check(last.startswith("rig: replayed ") and last.endswith(" ticks"), last)
    env.stop(again)
    check_same(seen_live, documents(env, posted))


def case_record_full_disk(env):
    """A disk that fills up stops the recording with a message. (The file
    keeps whole ticks only: each is one append, which a full disk cuts back,
    as the live log's full-disk case shows.)"""
    env.start_game()
    env.start_rig("race")
    disk = os.path.join(env.work, "disk")
    os.makedirs(disk)
    env.small_disk(disk, "256k", free_pages=1)
    rec = start_recorder(env, "race.kvr", cwd=disk)
    check(env.wait_exit(rec, 120) == 1, env.output(rec)[-500:])
    out = env.output(rec)
    check("(is the disk full?). Recording stopped after " in out, out[-500:])
    # A name already taken is refused, and the file stays as it was.
    with open(os.path.join(disk, "race.kvr"), "rb") as f:
        kept = f.read()
    again = env.spawn("again", env.command("korvane-companion", "--record", "race.kvr"), cwd=disk)
    check(env.wait_exit(again, 60) == 1 and "already exists" in env.output(again), env.output(again))
    with open(os.path.join(disk, "race.kvr"), "rb") as f:
        check(f.read() == kept, "the recording changed")
    if env.platform == "linux":
        # Nor through a link that leads where no file is yet.
        os.symlink(os.path.join(env.work, "elsewhere.kvr"), os.path.join(disk, "link.kvr"))
        again = env.spawn("link", env.command("korvane-companion", "--record", "link.kvr"),
                          cwd=disk)
        check(env.wait_exit(again, 60) == 1 and "already exists" in env.output(again),
              env.output(again))
        check(not os.path.exists(os.path.join(env.work, "elsewhere.kvr")), "written through a link")


def case_replay_recording(env):
    """A session the Windows build recorded beside held_stint replays
    on either build to the documents the companion posted live that day."""
    with open(os.path.join(RECORDINGS, "stint.jsonl")) as f:
        posted = [json.loads(line) for line in f]
    env.start_service()
    answers = os.path.join(env.work, "answers.jsonl")
    env.start_game(replay=answers)
    comp = ready_companion(env)
    last = replay(env, os.path.join(RECORDINGS, "stint.kvr"), "--answers", answers,
                  last=posted[-1]["session"]["elapsed"])
    check(last == "rig: replayed 113 ticks", last)
    env.stop(comp)
    check_same(posted, documents(env))


def chunk(answers):
    """One tick's chunk: no buffers, the answers as (path, body), a body of
    None standing for "the same as before"."""
    raw = struct.pack("<IdH", 0, -1.0, len(answers))
    for path, body in answers:
        raw += struct.pack("<H", len(path)) + path + struct.pack("<HB", 200, body is None)
        if body is not None:
            raw += struct.pack("<I", len(body)) + body
    packed = zlib.compress(raw + struct.pack("<III", 0, 0, 0))
    return struct.pack("<II", len(packed), zlib.crc32(packed)) + packed


def case_hostile_recording(env):
    """A small file that asks for terabytes (one answer of 16 MiB, then a tick
    that copies it 65,535 times) is refused at that tick, within a memory
    limit; one that asks for copies within the limits on every tick is
    reported on at once; a start date out of the calendar shows as a dash.
    (A file cut short or ending in zeros: the unit tests.)"""
    with open(os.path.join(RECORDINGS, "stint.kvr"), "rb") as f:
        stint = f.read()
    header = stint[:20 + struct.unpack_from("<I", stint, 12)[0]]
    path = b"/rest/strategy/usage"
    hostile = os.path.join(env.work, "hostile.kvr")
    with open(hostile, "wb") as f:
        f.write(header + chunk([(path, b"x" * (16 << 20))]) + chunk([(path, None)] * 65535))
    check(os.path.getsize(hostile) < 100_000, f"{os.path.getsize(hostile)} bytes")
    # What memory the replay may take: a limit the sanitizer keeps on Linux,
    # the process's data segment under Wine.
    limit = 1024
    env.env["ASAN_OPTIONS"] = ":".join(filter(None, [env.env.get("ASAN_OPTIONS"),
                                                     f"hard_rss_limit_mb={limit}"]))
    cmd = env.command("korvane-rig", "--replay", hostile)
    if env.platform == "windows":
        cmd = ["prlimit", f"--data={limit << 20}", "--"] + cmd
    rig = env.spawn("hostile", cmd)
    code = env.wait_exit(rig, 120)
    last = env.output(rig).strip().split("\n")[-1]
    check(code == 1 and last == "rig: tick 2 of the recording is damaged; replay stopped after 1 "
          "ticks", f"exit {code}: {env.output(rig)[-600:]}")

    # Copies within the limits, tick after tick, from a file under a
    # megabyte: each path's newest answer is read once a tick, never copied,
    # and the report is done in moments.
    copies = os.path.join(env.work, "copies.kvr")
    with open(copies, "wb") as f:
        f.write(header + chunk([(path, b"x" * (16 << 20))]) + chunk([(path, None)] * 8) * 18000)
    check(os.path.getsize(copies) < 1_000_000, f"{os.path.getsize(copies)} bytes")
    code, out = report(env, "copies", "--report", copies)
    check(code == 0 and "18001 ticks" in env.read("copies.html"), f"exit {code}: {out}")

    # A start time the calendar cannot show (before 1970, after 3000): a dash.
    for when in (-62135596800, 10 ** 15):
        body = bytearray(header[20:])
        struct.pack_into("<q", body, 2 + struct.unpack_from("<H", body, 0)[0], when)
        dated = os.path.join(env.work, "dated.kvr")
        with open(dated, "wb") as f:
            f.write(header[:16] + struct.pack("<I", zlib.crc32(body)) + body + stint[len(header):])
        code, out = report(env, "dated", "--report", dated)
        check(code == 0 and "<dt>Recorded</dt><dd>&ndash;</dd>" in env.read("dated.html"),
              f"{when}: exit {code}: {out}")


def report(env, name, *args):
    proc = env.spawn(name, env.command("korvane-companion", *args), stdin_text="")
    return env.wait_exit(proc, 120), env.output(proc)


def case_stint_report(env):
    """The report of a recording with a name outside ASCII (what its page
    holds, the unit tests compare with the documents posted live); a file
    dropped onto the program; a page of the user's left alone;
    a damaged recording refused; the page loads in a real browser."""
    name = "Stint J\u00f6rg"
    shutil.copy(os.path.join(RECORDINGS, "stint.kvr"), os.path.join(env.work, name + ".kvr"))
    code, out = report(env, "report", "--report", name + ".kvr")
    check(code == 0 and out.startswith("Stint report (2 laps, 1 pit visits): ") and
          out.rstrip().endswith(name + ".html"), f"exit {code}: {out}")
    page = os.path.join(env.work, name + ".html")

    # Dropped onto the program: the same page, and the window stays until
    # Enter (it must not end on its own in two seconds).
    os.utime(page, (0, 0))
    dropped = env.spawn("dropped", env.command("korvane-companion", name + ".kvr"),
                        stdin_text=None)
    env.wait_for(lambda: "Press Enter to close this window." in env.output(dropped), 60,
                 env.output(dropped))
    try:
        dropped.wait(timeout=2)
        check(False, "the window closed without an Enter")
    except subprocess.TimeoutExpired:
        pass
    dropped.stdin.write(b"\n")
    dropped.stdin.close()
    code = env.wait_exit(dropped, 30)
    check(code == 0 and os.path.getmtime(page) > 0, f"exit {code}: {env.output(dropped)}")
    code, out = report(env, "none", "--report", "none.kvr")
    check(code == 1 and "report: cannot read " in out, f"exit {code}: {out}")

    # A page of the user's own under that name, and a damaged recording.
    shutil.copy(os.path.join(RECORDINGS, "stint.kvr"), os.path.join(env.work, "mine.kvr"))
    with open(os.path.join(env.work, "mine.html"), "w") as f:
        f.write("<p>notes</p>")
    code, out = report(env, "mine", "--report", "mine.kvr")
    check(code == 1 and "mine.html already exists and is not a report of ours" in out,
          f"exit {code}: {out}")
    with open(os.path.join(env.work, "mine.html")) as f:
        check(f.read() == "<p>notes</p>", "the user's page was changed")
    with open(os.path.join(RECORDINGS, "stint.kvr"), "rb") as f:
        damaged = bytearray(f.read())
    damaged[-40] ^= 0x20
    with open(os.path.join(env.work, "damaged.kvr"), "wb") as f:
        f.write(damaged)
    code, out = report(env, "damaged", "--report", "damaged.kvr")
    check(code == 1 and "tick 113 of the recording is damaged; no report written" in out and
          not os.path.exists(os.path.join(env.work, "damaged.html")), f"exit {code}: {out}")

    if env.platform == "linux":
        browse(env, page)


def browse(env, page):
    """Headless Chromium loads the page from disk: no error on its console,
    the tables in the document it built, and a screenshot beside it."""
    chromium = shutil.which("chromium")
    check(chromium, "chromium is not installed (./dev installs it)")
    shot = os.path.join(env.work, "report.png")
    # Niced: its start takes both cores for a moment, and the Wine cases
    # running beside it count on their ticks.
    run = subprocess.run(["nice", "-n", "15", chromium, "--headless", "--no-sandbox", "--disable-gpu",
                          "--enable-logging=stderr", "--v=0", "--window-size=1200,1800",
                          f"--user-data-dir={os.path.join(env.work, 'chromium')}",
                          f"--screenshot={shot}", "--dump-dom", "file://" + page],
                         env=env.env, capture_output=True, text=True, timeout=120)
    console = [l for l in run.stderr.splitlines() if "CONSOLE" in l or "Uncaught" in l]
    check(run.returncode == 0 and '<table id="laps">' in run.stdout and not console,
          f"exit {run.returncode}: {console or run.stderr[-800:]}")
    check(os.path.getsize(shot) > 10_000, "no screenshot")


def last_frame(text):
    """The newest whole verbose screen in the companion's output."""
    frames = [f for f in text.split("=== KORVANE COMPANION") if "\n-------" in f]
    return frames[-1] if frames else ""


def plan_shown(frame):
    """The plan's inputs and figures as the verbose lines show them, or None."""
    pats = {"left": r"plan from ([\d.]+) s left, ([\d.]+) of the lap, reserve ([\d.]+) laps",
            "fuel": r"plan fuel ([\d.]+)/([\d.]+) L at ([\d.]+)/lap, VE ([\d.]+)% at ([\d.]+)/lap",
            "flag": r"To flag : (\d+\.\d\d) laps   fuel ([\d.]+) L \(\+([\d.]+)\)"
                    r"   VE ([\d.]+)% \(\+([\d.]+)\)",
            "stops": r"Stops   : (\d+) \((\w+) binds?\)   next: \+([\d.]+) L",
            "pace": r"Pace    : (\d+):([\d.]+) a lap",
            "pit": r"scoringInPits=(\w+)"}
    found = {k: re.search(p, frame) for k, p in pats.items()}
    if not all(found.values()):
        return None
    return {k: [float(x) if re.fullmatch(r"[\d.]+", x) else x for x in m.groups()]
            for k, m in found.items()}


def check_plan(p):
    """The figures against the rule, worked from the inputs the screen shows."""
    left, part, reserve = p["left"]
    fuel, capacity, use, energy, ve_use = p["fuel"]
    laps, fuel_to_flag, fuel_on_top, ve_to_flag, ve_on_top = p["flag"]
    stops, binds, add = p["stops"]
    minutes, seconds = p["pace"]
    pace = minutes * 60 + seconds
    # The use per lap averages the lap the companion joined part-way as well.
    check(abs(pace - 12) < 0.006 and 3 < use <= 4.1 and 2.2 < ve_use <= 3.1,
          f"pace {pace}, {use} L and {ve_use} % a lap")
    whole = left / pace + part
    want = math.ceil(whole - 1e-9) - part
    # The inputs as shown are rounded: at a whole number the rule may go either way.
    check(abs(laps - want) < 0.006 or abs(whole - round(whole)) < 0.002,
          f"{laps} laps shown, {want} by the rule")
    check(abs(fuel_to_flag - laps * use) < 0.02 and abs(ve_to_flag - laps * ve_use) < 0.02,
          f"{fuel_to_flag} L, {ve_to_flag} % over {laps} laps")
    check(abs(fuel_on_top - max(0, fuel_to_flag - fuel)) < 0.02 and
          abs(ve_on_top - max(0, ve_to_flag - energy)) < 0.02, p["flag"])
    per_stop = [capacity - min(fuel, reserve * use), 100 - min(energy, reserve * ve_use)]
    asks = [math.ceil(fuel_on_top / per_stop[0] - 1e-6), math.ceil(ve_on_top / per_stop[1] - 1e-6)]
    check(stops == max(asks) and binds == ("fuel" if asks[0] > asks[1] else
                                           "energy" if asks[1] > asks[0] else "both"),
          f"{stops} stops ({binds}) shown, {asks} by the rule")
    if binds == "fuel" and stops == 1:
        check(abs(add - (fuel_on_top + reserve * use)) < 0.03, f"add {add}")


def case_flag_plan(env):
    """The rig's race against the clock: the screen's plan to the flag is the
    rule's for what the screen shows of the race; two recordings of the race,
    one after the other with a driver swap between, make one page with both
    stints and their drivers; a recording of another session is refused."""
    env.start_service()
    env.start_game()
    comp = env.start_companion("E2E-ROOM", "--no-update", "--verbose", "--reserve-laps", "1,5")
    env.wait_for(lambda: "Waiting for Le Mans Ultimate" in env.output(comp), 60,
                 "the companion did not start:\n" + env.output(comp))
    first = start_recorder(env, "first.kvr")
    rig = env.start_rig("flag", "--route", "game", "--seconds", "200")
    shown = []

    def plan_seen():
        p = plan_shown(last_frame(env.output(comp)))
        if p and p["pit"] == ["no"] and p["fuel"][4] > 0:
            shown.append(p)
        return len(shown) >= 3
    env.wait_for(plan_seen, 120, "no plan on the screen:\n" + last_frame(env.output(comp)))
    for p in shown:
        check_plan(p)
    env.wait_for(lambda: "Driver  : Sam Vidal" in last_frame(env.output(comp)), 120,
                 "no driver swap:\n" + last_frame(env.output(comp)))
    second = start_recorder(env, "second.kvr")
    env.stop(first)
    # Two laps of the second driver after the first recording ends.
    env.wait_for(lambda: re.search(r"Lap (9|\d\d)\b", last_frame(env.output(comp))), 120,
                 "no laps after the swap:\n" + last_frame(env.output(comp)))
    env.stop(second)
    env.stop(rig)
    env.stop(comp)

    code, out = report(env, "merged", "--report", "first.kvr", "second.kvr")
    check(code == 0 and out.rstrip().endswith("first.html"), f"exit {code}: {out}")
    page = env.read("first.html")
    stints = re.findall(r'<tr><td class="t">(\d+)</td><td class="t">([^<]*)</td>',
                        page.split('id="stints"')[1].split("</table>")[0])
    check([d for _, d in stints][:2] == ["Alex Korva", "Sam Vidal"], stints)
    stop = page.split('id="stops"')[1].split("</tr>")[1]
    check(re.search(r"<td>\d+\.\d</td><td>\d+\.\d</td><td>\d+\.\d</td><td>\d+ \(", stop),
          "no plan at the stop: " + stop)
    shutil.copy(os.path.join(RECORDINGS, "stint.kvr"), os.path.join(env.work, "spa.kvr"))
    code, out = report(env, "other", "--report", "first.kvr", "spa.kvr")
    check(code == 1 and "spa.kvr is of another" in out and not
          os.path.exists(os.path.join(env.work, "spa.html")), f"exit {code}: {out}")
