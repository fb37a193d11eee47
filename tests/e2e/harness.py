"""Runs the real binaries (native, or the .exe under Wine) for end-to-end tests.

Everything a run creates lives in its scratch folder under the build tree, and
every process it starts is stopped before it returns.
"""
import os
import shutil
import signal
import subprocess
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCENARIOS = os.path.join(ROOT, "testkit", "scenarios")
WINE_RUN = os.path.join(ROOT, "cmake", "wine-run")
MAPPINGS = ("$rFactor2SMMP_Telemetry$", "$rFactor2SMMP_Scoring$", "$rFactor2SMMP_PitInfo$")


class Failure(Exception):
    pass


def check(cond, message):
    if not cond:
        raise Failure(message)


class Env:
    def __init__(self, platform, bindir, workdir, case):
        self.platform = platform
        self.bindir = bindir
        self.work = os.path.join(workdir, platform, case)
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.procs = []
        self.env = dict(os.environ)
        if platform == "windows":
            self.env.setdefault("WINEPREFIX", os.path.join(os.path.dirname(bindir), "wine"))
            self.env["WINEDEBUG"] = "-all"

    def command(self, name, *args):
        if self.platform == "windows":
            return [WINE_RUN, os.path.join(self.bindir, name + ".exe"), *args]
        return [os.path.join(self.bindir, name), *args]

    def start(self, name, *args, stdin_text=None, cwd=None):
        out = open(os.path.join(self.work, f"{name}.out"), "wb")
        p = subprocess.Popen(self.command(name, *args), cwd=cwd or self.work, env=self.env,
                             stdin=subprocess.PIPE, stdout=out, stderr=subprocess.STDOUT)
        if stdin_text is not None:
            p.stdin.write(stdin_text.encode())
        p.stdin.close()
        p.outfile = out
        p.name = name
        self.procs.append(p)
        return p

    def output(self, proc):
        proc.outfile.flush()
        with open(os.path.join(self.work, f"{proc.name}.out"), "rb") as f:
            return f.read().decode("utf-8", "replace").replace("\r\n", "\n")

    def start_rig(self, scenario):
        path = scenario if os.path.isabs(scenario) else os.path.join(SCENARIOS, scenario)
        rig = self.start("korvane-rig", path)
        self.wait_for(lambda: "rig: publishing" in self.output(rig), 30, "rig did not start:\n"
                      + self.output(rig))
        return rig

    def write_scenario(self, name, text):
        path = os.path.join(self.work, name)
        with open(path, "w") as f:
            f.write(text)
        return path

    def wait_for(self, cond, seconds, message):
        end = time.time() + seconds
        while time.time() < end:
            if cond():
                return
            time.sleep(0.1)
        raise Failure(message)

    def wait_exit(self, proc, seconds):
        try:
            return proc.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            raise Failure(f"{proc.name} did not exit within {seconds}s:\n" + self.output(proc))

    def read(self, name):
        path = os.path.join(self.work, name)
        if not os.path.exists(path):
            return ""
        with open(path, "rb") as f:
            return f.read().decode("utf-8", "replace").replace("\r\n", "\n")

    def stop_all(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
        for p in reversed(self.procs):
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
            p.outfile.close()
        if self.platform == "linux":
            for m in MAPPINGS:
                try:
                    os.unlink("/dev/shm/" + m)
                except FileNotFoundError:
                    pass
