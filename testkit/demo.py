#!/usr/bin/env python3
"""./dev demo: the companion against the rig and the local test service.

As root, everything runs in private namespaces where the service host name
points at the local service and the test authority is trusted; with tmux, the
companion's screen and what the service receives sit side by side.
"""
import os
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
from harness import Env, enter_namespaces  # noqa: E402


def main():
    bindir, host, *companion_args = sys.argv[1:]
    reason = enter_namespaces([os.path.abspath(__file__), *sys.argv[1:]])
    if reason:
        # Outside the namespaces the demo would post to the real service and
        # publish under the real mapping names.
        print(f"./dev demo {reason}: run it as root.")
        sys.exit(1)
    env = Env("linux", bindir, os.path.join(ROOT, "build", "demo-work"), "demo", host)
    try:
        env.isolate()
        env.start_service()
        # The update check finds this very version on offer.
        env.configure(routes={"/companion-latest-linux.json":
                              {"body": '{"version":"2.1.29","url":"","sha256":""}'}})
        env.start_game()
        env.start_rig("race")
        env.save_room("DEMO-ROOM")
        companion = [os.path.join(bindir, "korvane-companion"), *(companion_args or ["--verbose"])]
        watch = [sys.executable, os.path.join(ROOT, "testkit", "watch_service.py"), env.record]
        quoted = lambda cmd: " ".join("'" + c.replace("'", "'\\''") + "'" for c in cmd)
        if shutil.which("tmux") and sys.stdout.isatty():
            sock = "korvane-demo"
            # When the companion ends (Ctrl+C), the whole session ends with it.
            # The shell traps INT with a handler (not an ignore, which the
            # companion would inherit) so it lives on to end the session.
            left = f"trap true INT; cd {quoted([env.work])} && printf '\\n' | " \
                   f"{quoted(companion)}; tmux -L {sock} kill-session"
            subprocess.run(["tmux", "-L", sock, "new-session", "-s", "demo", left, ";",
                            "split-window", "-h", "-l", "56", quoted(watch), ";",
                            "select-pane", "-L"], cwd=env.work,
                           env={k: v for k, v in os.environ.items() if k != "TMUX"})
        else:
            print(f"(install tmux to see the service side by side; it records to {env.record})")
            subprocess.run(f"printf '\\n' | {quoted(companion)}", shell=True, cwd=env.work)
    except KeyboardInterrupt:
        pass
    finally:
        subprocess.run(["tmux", "-L", "korvane-demo", "kill-server"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        env.stop_all()
        print(f"\ndemo stopped; files in {env.work}")


if __name__ == "__main__":
    main()
