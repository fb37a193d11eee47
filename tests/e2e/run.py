#!/usr/bin/env python3
"""End-to-end cases: the companion against the test rig. One case per run."""
import argparse
import os
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Env, Failure, check  # noqa: E402

LOG_LINE = re.compile(
    r"^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] room=(\S+) id=(-?\d+) active=([Yn]) "
    r"Lap (-?\d+) \| Fuel (-?\d+\.\d)L \| (NO POST|POST OK|POST FAIL)$")


def log_lines(env):
    return [l for l in env.read("korvane_live.log").split("\n") if l]


def start_companion(env, room="E2E-ROOM", args=()):
    with open(os.path.join(env.work, "korvane_room.txt"), "w") as f:
        f.write(room + "\n")
    return env.start("korvane-companion", *args, stdin_text="\n")


def case_banner_and_log(env):
    env.start_rig("race")
    comp = start_companion(env)
    env.wait_for(lambda: len(log_lines(env)) >= 5, 60, "fewer than 5 log lines:\n"
                 + env.output(comp))
    out = env.output(comp)
    check(out.startswith("Korvane Companion 2.1.29\n"), "banner missing:\n" + out)
    check("Multi-driver + room-scoped live + pit-stop streaming\n" in out, out)
    check("Room (from korvane_room.txt): E2E-ROOM\nNew room (Enter to keep): " in out, out)
    check(re.search(r"POST https://[A-Za-z0-9.-]+:443/api/live\n", out), out)
    check("Room: E2E-ROOM\n\n" in out, out)
    lines = log_lines(env)
    for line in lines:
        m = LOG_LINE.match(line)
        check(m, "bad log line: " + repr(line))
        check(m.group(1) == "E2E-ROOM" and m.group(2) == "7", line)
    first = lines[0]
    time.sleep(1.2)
    check(len(log_lines(env)) > len(lines), "the log stopped growing")
    check(log_lines(env)[0] == first, "log line rewritten")
    check(comp.poll() is None, "companion exited")


def case_tracking_starts(env):
    env.start_rig("stint")
    comp = start_companion(env)
    env.wait_for(lambda: len(log_lines(env)) >= 5, 60, "fewer than 5 log lines:\n"
                 + env.output(comp))
    active = [LOG_LINE.match(l).group(3) for l in log_lines(env)[:5]]
    check(active == ["n", "n", "Y", "Y", "Y"], f"active flags {active}")


def case_player_missing(env):
    path = env.write_scenario("hidden", "track \"T\"\nplayer id=7 driver=\"P\"\n"
                              "car id=1 driver=\"A\"\ntimeline\nhide-player 600\n")
    env.start_rig(path)
    comp = start_companion(env)
    env.wait_for(lambda: "Room: E2E-ROOM" in env.output(comp), 30, "no start-up")
    time.sleep(3)
    check(comp.poll() is None, "companion exited:\n" + env.output(comp))
    check(log_lines(env) == [], "log lines written without a player")


def case_torn_update(env):
    path = env.write_scenario("torn", "track \"T\"\nplayer id=7 driver=\"P\"\n"
                              "timeline\ntorn 4\ndrive 600\n")
    env.start_rig(path)
    comp = start_companion(env)
    env.wait_for(lambda: "Room: E2E-ROOM" in env.output(comp), 30, "no start-up")
    started = time.time()
    env.wait_for(lambda: log_lines(env), 30, "no log line after the torn spell")
    # The rig was torn for its first 4 s: no tick may have completed then.
    check(time.time() - started > 1.0, "a tick completed on torn buffers")


def case_unwritable_log(env):
    os.makedirs(os.path.join(env.work, "korvane_live.log"))
    comp = start_companion(env)
    code = env.wait_exit(comp, 60)
    out = env.output(comp)
    check(code == 1, f"exit code {code}")
    check(out.endswith("Room: E2E-ROOM\n\nERROR: Could not open korvane_live.log\n"), out)


def case_room_stdin_ends(env):
    comp = env.start("korvane-companion", stdin_text="")
    code = env.wait_exit(comp, 60)
    out = env.output(comp)
    check(code != 0, "exit code 0")
    check("Room code (from website ?room=): " in out, out)
    check("Room:" not in out, out)
    check(not os.path.exists(os.path.join(env.work, "korvane_room.txt")), "room file written")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--platform", required=True, choices=["linux", "windows"])
    ap.add_argument("--bin", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--case", required=True)
    a = ap.parse_args()
    fn = globals().get("case_" + a.case)
    if fn is None:
        print("unknown case", a.case)
        return 2
    env = Env(a.platform, a.bin, a.work, a.case)
    try:
        fn(env)
    except Failure as e:
        print(f"FAIL {a.platform} {a.case}: {e}")
        return 1
    finally:
        env.stop_all()
    print(f"ok {a.platform} {a.case}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
