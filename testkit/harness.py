"""Runs the real binaries (native, or the .exe under Wine) beside the test
tools, for the end-to-end tests, the demo and the benchmarks.

Everything a run creates lives in its scratch folder under the build tree, and
every process it starts is stopped before it returns.
"""
import fcntl
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCENARIOS = os.path.join(ROOT, "testkit", "scenarios")
WINE_RUN = os.path.join(ROOT, "cmake", "wine-run")
TESTKIT = os.path.join(ROOT, "testkit")
# The network deadlines of the test builds (KORVANE_SHORT_DEADLINES), as the
# program's messages say them.
POST_DEADLINE = "1 s"
DOWNLOAD_DEADLINE = "10 s"
REPLACE_TRIES = 3
sys.path.insert(0, TESTKIT)
import testca  # noqa: E402


class Failure(Exception):
    pass


def check(cond, message):
    if not cond:
        raise Failure(message)


def namespaces_unavailable():
    """Why the private namespaces cannot be made here, or None when they can."""
    if os.geteuid() != 0:
        return "needs root for private namespaces"
    probe = subprocess.run(["unshare", "--mount", "--net", "--pid", "--fork", "--mount-proc",
                            "--propagation", "private", "true"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if probe.returncode != 0:
        return "cannot create private namespaces here: " + (probe.stderr.strip() or "unshare failed")
    return None


def _namespace(kind):
    return os.stat(f"/proc/self/ns/{kind}").st_ino


NAMESPACES = ("mnt", "net", "pid")


def enter_namespaces(argv):
    """Re-runs this script as the first process of its own PID, mount and
    network namespaces (as root), so the service host can be mapped to
    loopback, the test authority trusted and /dev/shm replaced for these
    processes alone, and no process of one run sees another's; nothing changes
    on the machine, and whatever the run leaves running ends with it. Returns
    why it cannot (then nothing may run), or None inside."""
    if os.environ.get("KORVANE_E2E_INSIDE"):
        return None
    reason = namespaces_unavailable()
    if reason:
        return reason
    # The namespaces outside, for the run inside to prove it left them.
    os.environ["KORVANE_E2E_INSIDE"] = ":".join(str(_namespace(k)) for k in NAMESPACES)
    os.execvp("unshare", ["unshare", "--mount", "--net", "--pid", "--fork", "--kill-child",
                          "--mount-proc", "--propagation", "private", sys.executable, *argv])


def not_inside():
    """Why this process is not in namespaces of its own, or None. The marker
    alone proves nothing (it may be left in a shell): the namespaces must
    differ from those it names, and the network must be a fresh one that
    holds only a loopback still down."""
    outside = os.environ.get("KORVANE_E2E_INSIDE", "").split(":")
    if len(outside) != len(NAMESPACES):
        return "the marker does not name the namespaces outside"
    for kind, ino in zip(NAMESPACES, outside):
        if str(_namespace(kind)) == ino:
            return f"still in the {kind} namespace outside"
    links = subprocess.run(["ip", "-o", "link", "show"], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, text=True).stdout.splitlines()
    if len(links) != 1 or not re.match(r"1: lo: <LOOPBACK> ", links[0]):
        return "the network namespace is not a fresh one: " + "; ".join(links)[:300]
    return None


# What the harness clears from every environment it passes on: the program
# must reach the local service and the fake game directly.
PROXY_VARIABLES = ("http_proxy", "https_proxy", "all_proxy", "no_proxy",
                   "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "NO_PROXY")

# Every registry key a case may set values under, cleared before each Wine
# case and after it: a run killed at its time limit cannot pass its values on.
REGISTRY_KEYS = ("HKEY_CURRENT_USER\\Software\\Valve", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Valve",
                 "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Valve")


def files_under(folder):
    """Every file below `folder` with its bytes, by its path from there."""
    found = {}
    for dirpath, _, files in os.walk(folder):
        for name in files:
            with open(os.path.join(dirpath, name), "rb") as f:
                found[os.path.relpath(os.path.join(dirpath, name), folder)] = f.read()
    return found


def wine_prefix(main):
    """The Wine prefix of this run: under ctest, the one of the slot it was
    given (a copy of the main prefix, made once), so that two runs side by
    side never share a wineserver; otherwise the main one. A main prefix not
    prepared yet (ctest run on its own) is prepared first, outside any
    namespace, as ./dev does."""
    slot = re.match(r"id:(\w+),", os.environ.get("CTEST_RESOURCE_GROUP_0_WINE", ""))
    if not slot:
        return os.environ.get("WINEPREFIX", main)
    prefix = f"{main}-{slot.group(1)}"
    if os.path.exists(os.path.join(prefix, "system.reg")):
        return prefix
    with open(main + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        env = {**os.environ, "WINEPREFIX": main, "WINEDEBUG": "-all"}
        if not os.path.exists(os.path.join(main, "system.reg")):
            subprocess.run([WINE_RUN, "wineboot", "-i"], env=env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run(["/usr/lib/wine/wineserver", "-w"], env=env)
        # Copied aside and renamed into place: a run killed halfway leaves no half.
        part = f"{prefix}.{os.getpid()}"
        shutil.rmtree(prefix, ignore_errors=True)
        subprocess.run(["cp", "-a", main, part], check=True)
        os.rename(part, prefix)
    return prefix


class Env:
    def __init__(self, platform, bindir, workdir, case, host):
        self.host = host
        self.platform = platform
        self.bindir = bindir
        self.work = os.path.join(workdir, platform, case)
        # The run before is kept beside this one: when a case passes only on
        # its retry, what the failed attempt saw is still there to read.
        shutil.rmtree(self.work + ".before", ignore_errors=True)
        try:
            os.replace(self.work, self.work + ".before")
        except OSError:
            shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.procs = []
        self.env = {k: v for k, v in os.environ.items() if k not in PROXY_VARIABLES}
        if platform == "windows":
            self.env["WINEPREFIX"] = wine_prefix(os.path.join(os.path.dirname(bindir), "wine"))
            self.env["WINEDEBUG"] = "-all"
            # Wine takes its code pages from the locale's name (ANSI 1252 and
            # OEM 437 for this one) and reads Unix names and arguments as
            # UTF-8 only under a locale the machine has: C.UTF-8 always is.
            self.env["LC_ALL"] = "C.UTF-8"
        else:
            # The setup assistant looks for Steam under the home folder: give
            # each run an empty one of its own.
            self.env["HOME"] = os.path.join(self.work, "home")
            os.makedirs(self.env["HOME"])
        self.registry_set = False
        self.isolated = False
        self.config = os.path.join(self.work, "service.json")
        self.record = os.path.join(self.work, "received.jsonl")

    def isolate(self):
        """Inside the namespaces: loopback up, a private /dev/shm, the service
        host on 127.0.0.1 and the test authority in the CA bundle."""
        if not os.environ.get("KORVANE_E2E_INSIDE"):
            return
        reason = not_inside()
        check(reason is None, f"refusing to mount anything: {reason}")
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        subprocess.run(["mount", "-t", "tmpfs", "tmpfs", "/dev/shm"], check=True)
        ca = os.path.join(os.path.dirname(os.path.dirname(self.work)), "ca")
        testca.make_ca(ca, self.host)
        self.ca = ca
        hosts = os.path.join(self.work, "hosts")
        with open("/etc/hosts") as f, open(hosts, "w") as out:
            out.write(f.read() + f"\n127.0.0.1 {self.host}\n")
        bundle = os.path.join(self.work, "ca-certificates.crt")
        system = "/etc/ssl/certs/ca-certificates.crt"
        with open(bundle, "w") as out:
            if os.path.exists(system):
                out.write(open(system).read())
            out.write(open(os.path.join(ca, "ca.pem")).read())
        subprocess.run(["mount", "--bind", hosts, "/etc/hosts"], check=True)
        if not os.path.exists(system):
            os.makedirs(os.path.dirname(system), exist_ok=True)
            open(system, "a").close()
        subprocess.run(["mount", "--bind", bundle, system], check=True)
        if self.platform == "windows":
            # One wineserver for the whole run: one that quits between two
            # short runs can drop the next one's connection as it starts.
            subprocess.run(["/usr/lib/wine/wineserver", "-p"], env=self.env, check=True)
            self.clear_registry()
        self.isolated = True

    def start_service(self, answers=None, cert="server"):
        check(self.isolated, "the service tests need root (private namespaces)")
        self.set_answers(answers or [{"status": "json"}])
        svc = self.start_python(os.path.join(TESTKIT, "korvane_service.py"),
                                "--cert", os.path.join(self.ca, cert + ".pem"),
                                "--key", os.path.join(self.ca, cert + ".key"),
                                "--config", self.config, "--record", self.record)
        self.wait_for(lambda: "listening" in self.output(svc), 20,
                      "service did not start:\n" + self.output(svc))
        self.service = svc
        return svc

    def start_game(self, family="4", routes=None, replay=None):
        """The fake game REST server on port 6397 (127.0.0.1, ::1 or both);
        with `replay`, serving the answers a replaying rig writes there."""
        check(self.isolated, "the game REST tests need root (private namespaces)")
        self.game_routes = os.path.join(self.work, "game-routes.json")
        with open(self.game_routes, "w") as f:
            json.dump(routes or {}, f)
        game = self.start_python(os.path.join(TESTKIT, "fake_game.py"), "--family", family,
                                 "--config", self.game_routes,
                                 "--log", os.path.join(self.work, "game-requests.jsonl"),
                                 *(["--replay", replay] if replay else []))
        self.wait_for(lambda: "listening" in self.output(game), 20,
                      "fake game did not start:\n" + self.output(game))
        return game

    def game_requests(self):
        path = os.path.join(self.work, "game-requests.jsonl")
        if not os.path.exists(path):
            return []
        with open(path) as f:
            return [json.loads(l) for l in f if l.strip()]

    def set_answers(self, answers):
        self.configure(answers=answers)

    def configure(self, **fields):
        """Changes what the service answers: "answers" for posts, "routes"
        and "files" for GETs (see korvane_service.py); the rest is kept."""
        config = {}
        if os.path.exists(self.config):
            with open(self.config) as f:
                config = json.load(f)
        config.update(fields)
        tmp = self.config + ".tmp"
        with open(tmp, "w") as f:
            json.dump(config, f)
        os.replace(tmp, self.config)

    def received(self):
        if not os.path.exists(self.record):
            return []
        # A line the service is still writing has no line end yet: it is
        # read on the next look.
        with open(self.record) as f:
            return [json.loads(l) for l in f if l.endswith("\n") and l.strip()]

    def start_python(self, script, *args):
        name = os.path.basename(script).split(".")[0]
        return self.spawn(name, [sys.executable, script, *args])

    def command(self, name, *args):
        if self.platform == "windows":
            return [WINE_RUN, os.path.join(self.bindir, name + ".exe"), *args]
        return [os.path.join(self.bindir, name), *args]

    def save_room(self, room, folder=None):
        with open(os.path.join(folder or self.work, "korvane_room.txt"), "w") as f:
            f.write(room + "\n")

    def start_companion(self, room, *args, cwd=None, answers="", closed_output=False,
                        program="korvane-companion"):
        """The companion with `room` saved in its folder: its first input, an
        Enter, keeps the room; input ends after `answers`."""
        self.save_room(room, cwd)
        return self.start(program, *args, stdin_text="\n" + answers, cwd=cwd,
                          closed_output=closed_output)

    def start(self, name, *args, stdin_text="", cwd=None, closed_output=False):
        return self.spawn(name, self.command(name, *args), stdin_text, cwd, closed_output)

    def spawn(self, name, cmd, stdin_text="", cwd=None, closed_output=False):
        """Starts a process whose output (stderr too) goes to <name>.out, or
        with closed_output into a pipe whose reading end is closed at once;
        with stdin_text None its input stays open for the caller to write.
        It is stopped by stop_all."""
        out = open(os.path.join(self.work, f"{name}.out"), "wb")
        p = subprocess.Popen(cmd, cwd=cwd or self.work, env=self.env, stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE if closed_output else out,
                             stderr=subprocess.STDOUT)
        if closed_output:
            p.stdout.close()
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

    def start_rig(self, scenario, *args):
        path = scenario if os.path.isabs(scenario) else os.path.join(SCENARIOS, scenario)
        rig = self.start("korvane-rig", path, *args)
        self.wait_for(lambda: "rig: publishing" in self.output(rig), 30, "rig did not start:\n"
                      + self.output(rig))
        return rig

    def write_scenario(self, name, text):
        path = os.path.join(self.work, name)
        with open(path, "w") as f:
            f.write(text)
        return path

    def small_disk(self, folder, size, free_pages=0):
        """Puts `folder`, with its files, on a disk of `size` of its own, then
        fills it up to the given number of free pages. Returns the fillers
        still there, whose removal makes room again."""
        saved = files_under(folder)
        subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", folder], check=True)
        for name, data in saved.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        fillers = []
        try:
            while True:
                fillers.append(os.path.join(folder, f"filler{len(fillers)}"))
                with open(fillers[-1], "wb") as f:
                    f.write(b"\0" * 4096)
        except OSError:
            pass
        for path in fillers[:free_pages]:
            os.unlink(path)
        return fillers[free_pages:]

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

    def sanitizer_reports(self):
        """Sanitizer reports in any output of this run's own binaries."""
        found = []
        for p in self.procs:
            text = self.output(p)
            for marker in ("ERROR: AddressSanitizer", "WARNING: ThreadSanitizer",
                           "ERROR: LeakSanitizer", "runtime error:"):
                if marker in text:
                    found.append(f"{p.name}: {marker}\n" + text[text.index(marker):][:3000])
        return found

    def stop(self, proc):
        if proc.poll() is None:
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()

    def windows_path(self, path):
        return "Z:" + path.replace("/", "\\")

    def reg(self, *args):
        subprocess.run([WINE_RUN, "reg", *args], env=self.env, cwd=self.work, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def set_registry(self, key, name, value, view32=False):
        """A REG_SZ value in the test prefix, under one of REGISTRY_KEYS."""
        check(self.isolated, "the registry cases need root (private namespaces)")
        full = key.replace("HKCU\\", "HKEY_CURRENT_USER\\").replace("HKLM\\", "HKEY_LOCAL_MACHINE\\")
        if view32:
            full = full.replace("\\SOFTWARE\\", "\\SOFTWARE\\WOW6432Node\\")
        check(any(full.startswith(k + "\\") for k in REGISTRY_KEYS), f"{key} is not cleared")
        self.reg("add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f",
                 "/reg:32" if view32 else "/reg:64")
        self.registry_set = True

    def reg_query(self, key, view="/reg:64"):
        """The exit code of `reg query`, in a list: 1 when the key is gone."""
        return [subprocess.run([WINE_RUN, "reg", "query", key, view], env=self.env, cwd=self.work,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode]

    def clear_registry(self):
        """Removes REGISTRY_KEYS, in one start of Wine."""
        script = os.path.join(self.work, "clear.reg")
        with open(script, "w", newline="\r\n") as f:
            f.write("REGEDIT4\n\n" + "".join(f"[-{k}]\n" for k in REGISTRY_KEYS))
        subprocess.run([WINE_RUN, "regedit", "/s", self.windows_path(script)], env=self.env,
                       cwd=self.work, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.registry_set = False

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
        if self.registry_set:
            self.clear_registry()
        if self.platform == "windows" and self.isolated:
            # This wineserver was started inside the namespaces; end it with them.
            subprocess.run(["/usr/lib/wine/wineserver", "-k"], env=self.env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
