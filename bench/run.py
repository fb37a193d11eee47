#!/usr/bin/env python3
"""Runs the benchmarks; the POST round trip goes to the local test service,
reached by the real service host name inside private namespaces."""
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "testkit"))
from harness import TESTKIT, Env, enter_namespaces  # noqa: E402
from soak import sample  # noqa: E402

RECORD_SECONDS = 120


def record_beside_the_rig(env):
    """The release recorder beside the rig's 60-car race and the fake game:
    its file's growth and its CPU, from the first minute on."""
    env.start_game()
    env.start_rig("race60")
    rec = env.spawn("recorder", env.command("korvane-companion", "--record", "race.kvr"))
    path = os.path.join(env.work, "race.kvr")
    time.sleep(60)
    cpu0, _ = sample(rec.pid)
    size0, start = os.path.getsize(path), time.time()
    time.sleep(RECORD_SECONDS - 60)
    cpu1, rss = sample(rec.pid)
    size1, seconds = os.path.getsize(path), time.time() - start
    print(f"recorder, 60-car race: {(size1 - size0) / seconds * 3600 / 1e6:.1f} MB per hour, "
          f"{(cpu1 - cpu0) / seconds * 100:.2f} % of a core, resident {rss:.1f} MB "
          f"(over {seconds:.0f} s after the first minute)")


def report_a_day(env):
    """The stint report of a day's recording of the rig's 60-car race (made
    once at full speed, kept in the bench folder): its time and its peak
    memory, the release program's whole run."""
    day = os.path.join(os.path.dirname(env.work), "race60-day.kvr")
    if not os.path.exists(day):
        subprocess.run(env.command("korvane-rig", os.path.join(TESTKIT, "scenarios", "race60"),
                                   "--write", day), check=True)
    page = day[:-4] + ".html"
    if os.path.exists(page):
        os.remove(page)
    start = time.time()
    proc = subprocess.Popen(env.command("korvane-companion", "--report", day),
                            stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.time() - start
    print(f"report of a day's recording ({os.path.getsize(day) / 1e6:.0f} MB, 60 cars): "
          f"{seconds:.1f} s, peak resident {usage.ru_maxrss / 1024:.0f} MB, exit "
          f"{os.waitstatus_to_exitcode(status)}")


def merge_four_segments(env):
    """The report of four recordings of six hours each, one after the other
    of one day's race (made once at full speed, kept in the bench folder):
    its time and its peak memory, the release program's whole run."""
    folder = os.path.dirname(env.work)
    parts = [os.path.join(folder, f"race60-part{i}.kvr") for i in range(4)]
    for i, part in enumerate(parts):
        if not os.path.exists(part):
            subprocess.run(env.command("korvane-rig", os.path.join(TESTKIT, "scenarios", "race60"),
                                       "--write", part, "--from", str(i * 21600), "--seconds",
                                       "21600", "--started", "1800000000"), check=True)
    page = parts[0][:-4] + ".html"
    if os.path.exists(page):
        os.remove(page)
    start = time.time()
    proc = subprocess.Popen(env.command("korvane-companion", "--report", *parts),
                            stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.time() - start
    print(f"report of four six-hour recordings merged "
          f"({sum(os.path.getsize(p) for p in parts) / 1e6:.0f} MB, 60 cars): {seconds:.1f} s, "
          f"peak resident {usage.ru_maxrss / 1024:.0f} MB, exit "
          f"{os.waitstatus_to_exitcode(status)}")


def main():
    bindir, host = sys.argv[1], sys.argv[2]
    reason = enter_namespaces([os.path.abspath(__file__), *sys.argv[1:]])
    if reason:
        print(f"The POST round trip is skipped: it {reason}.")
    env = Env("linux", bindir, os.path.join(os.path.dirname(bindir), "bench-work"), "post", host)
    # The round trip posts only to the local service, inside the namespaces.
    env.env.pop("KORVANE_BENCH_SERVICE", None)
    try:
        env.isolate()
        if env.isolated:
            env.start_service([{"status": 204}])
            env.env["KORVANE_BENCH_SERVICE"] = "1"
        for b in sorted(os.listdir(bindir)):
            if b.startswith("korvane_") and b.endswith("_bench"):
                subprocess.run([os.path.join(bindir, b)], env=env.env, check=False)
        if env.isolated:
            record_beside_the_rig(env)
        report_a_day(env)
        merge_four_segments(env)
    finally:
        env.stop_all()


if __name__ == "__main__":
    main()
