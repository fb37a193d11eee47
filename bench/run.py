#!/usr/bin/env python3
"""Runs the benchmarks; the POST round trip goes to the local test service,
reached by the real service host name inside private namespaces."""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "testkit"))
from harness import Env, enter_namespaces  # noqa: E402


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
    finally:
        env.stop_all()


if __name__ == "__main__":
    main()
