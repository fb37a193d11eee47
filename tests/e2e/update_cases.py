"""End-to-end cases of the self-update: real manifests, real downloads, real
signatures and the real replacement, against the local service."""
import hashlib
import json
import os
import shutil
import subprocess
import sys

from harness import ROOT, WINE_RUN, check

PUBLISH = os.path.join(ROOT, "release", "publish.py")
SIGNER = "Korvane Test Publisher"


class App:
    """The program as a driver keeps it: its own folder, started from there."""

    def __init__(self, env, folder="app"):
        self.env = env
        self.windows = env.platform == "windows"
        self.folder = os.path.join(env.work, folder)
        os.makedirs(self.folder, exist_ok=True)
        self.name = "korvane-companion" + (".exe" if self.windows else "")
        self.exe = os.path.join(self.folder, self.name)
        self.runs = 0
        shutil.copyfile(self.build("korvane-companion"), self.exe)
        os.chmod(self.exe, 0o755)

    def build(self, target):
        return os.path.join(self.env.bindir, target + (".exe" if self.windows else ""))

    def start(self, stdin_text="", args=()):
        self.runs += 1
        cmd = ([WINE_RUN] if self.windows else []) + [self.exe, *args]
        return self.env.spawn(f"app{self.runs}", cmd, stdin_text, cwd=self.folder)

    def run(self, stdin_text="", args=()):
        """Runs the program until it ends; with no room file, start-up ends at
        the room prompt when input runs out."""
        proc = self.start(stdin_text, args)
        code = self.env.wait_exit(proc, 120)
        return code, self.env.output(proc)

    def files(self):
        return sorted(os.listdir(self.folder))

    def content(self):
        with open(self.exe, "rb") as f:
            return f.read()

    def log(self):
        return self.env.read(os.path.join(self.folder, self.name + ".update.log"))


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def manifest_path(env):
    return "/companion-latest.json" if env.platform == "windows" else "/companion-latest-linux.json"


def publish(env, app, target, version, cert="signer"):
    """Publishes a build under /builds/N/ and returns its manifest fields."""
    www = os.path.join(env.work, "www")
    env.published = getattr(env, "published", 0) + 1
    out = os.path.join(www, "builds", str(env.published))
    args = [sys.executable, PUBLISH, "--out", out, "--version", version,
            "--base-url", f"https://{env.host}/builds/{env.published}",
            "--notes", "Faster pit stops",
            "--exe" if app.windows else "--linux", app.build(target)]
    if cert:
        args += ["--cert", os.path.join(env.ca, cert + ".pem"),
                 "--key", os.path.join(env.ca, cert + ".key")]
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
    env.configure(files=www)
    with open(os.path.join(out, os.path.basename(manifest_path(env)))) as f:
        fields = json.load(f)
    fields["file"] = os.path.join(out, app.name)
    return fields


def offer(env, **fields):
    text = json.dumps({k: v for k, v in fields.items() if k != "file" and v is not None})
    env.configure(routes={**(env_routes(env)), manifest_path(env): {"body": text}})


def env_routes(env):
    with open(env.config) as f:
        routes = json.load(f).get("routes") or {}
    return {k: v for k, v in routes.items() if k != manifest_path(env)}


def gets(env, path):
    return [r for r in env.received() if r.get("method") == "GET" and r["path"] == path]


def case_update_refusals(env):
    """Every refusal before the staging prints its text, writes nothing and
    lets start-up go on."""
    env.start_service()
    app = App(env)
    good = publish(env, app, "korvane-companion-next", "2.1.30", cert=None)
    short = os.urandom(1023)
    env.configure(routes={"/builds/short": {"body": short.hex()[:1023]},
                          "/builds/huge": {"size": 200 << 20}})
    url = good["url"]
    home = f"https://{env.host}/builds/"
    newer = dict(good, version="2.1.30")
    rows = [
        ("up to date", dict(good, version="2.1.29"), "",
         "Up to date (2.1.29; server offers 2.1.29)\n"),
        ("no version", dict(good, version=None), "", "Up to date (2.1.29; server offers nothing)\n"),
        ("63-digit digest", dict(newer, sha256=good["sha256"][:63]), "",
         "  Update available: 2.1.29 -> 2.1.30\n  Faster pit stops\n  Manifest incomplete - "
         f"download it yourself from https://{env.host}\n\n"),
        ("http url", dict(newer, url="http://" + url[8:]), "",
         "  Refusing a non-https download URL.\n\n"),
        ("declined", newer, "n\n",
         "  Install now? [Y/n]   Skipped. Run with --no-update to stop asking.\n\n"),
        ("no answer", newer, None,
         "  Install now? [Y/n]   Skipped. Run with --no-update to stop asking.\n\n"),
        ("digest mismatch", dict(newer, sha256=sha256(b"other")), "\n",
         "  Downloading... hash mismatch - refusing to run it.\n\n"),
        ("1023 bytes", dict(newer, url=home + "short", sha256=sha256(short.hex()[:1023].encode())),
         "\n", "  Downloading... failed ()\n\n"),
        ("missing build", dict(newer, url=home + "gone"), "\n",
         "  Downloading... failed (HTTP 404)\n\n"),
        ("over 80 MiB", dict(newer, url=home + "huge"), "\n",
         "  Downloading... hash mismatch - refusing to run it.\n\n"),
    ]
    before = app.content()
    for what, fields, answer, expected in rows:
        offer(env, **fields)
        # No answer: input ends at the question.
        code, out = app.run(answer or "")
        check(expected in out, f"{what}: no {expected!r} in:\n{out}")
        check(answer is not None or "Install now?" in out, f"{what}: not asked")
        check(answer != "" or "Install now?" not in out, f"{what}: asked")
        check("Multi-driver + room-scoped live" in out, f"{what}: start-up did not go on:\n{out}")
        check(app.files() == [app.name] and app.content() == before, f"{what}: {app.files()}")
    huge = gets(env, "/builds/huge")[-1]
    check(huge["sent"] < 100 << 20, f"{huge['sent']} bytes of 200 MiB were taken")
    check({r["userAgent"] for r in gets(env, manifest_path(env))} == {"KorvaneCompanion/2.1.29"},
          "user agent of the update check")

    count = len(gets(env, manifest_path(env)))
    code, out = app.run(args=["--no-update"])
    check(len(gets(env, manifest_path(env))) == count and "Update" not in out, out)

    # A folder the program cannot write to: it says so and carries on.
    offer(env, **newer)
    subprocess.run(["mount", "--bind", app.folder, app.folder], check=True)
    subprocess.run(["mount", "-o", "remount,bind,ro", app.folder], check=True)
    try:
        code, out = app.run("\n")
    finally:
        subprocess.run(["umount", app.folder], check=True)
    check("hash verified)\n  Could not write the new build.\n\nMulti-driver" in out, out)
    check(app.files() == [app.name], app.files())


def case_update_signature(env):
    """A signed manifest lets only a build signed by the named signer through.
    The program lies in a folder whose name the console's code page cannot
    hold: the update script names it by its short form."""
    env.start_service()
    app = App(env, "app \u0141\u00f3d\u017a")
    before = app.content()
    next_build = lambda cert: publish(env, app, "korvane-companion-next", "2.1.30", cert=cert)
    unsigned = next_build(None)
    signed = next_build("signer")
    check(signed["signer"] == SIGNER, signed["signer"])
    with open(signed["file"], "rb") as f:
        data = bytearray(f.read())
    data[len(data) // 2] ^= 0xFF
    with open(signed["file"], "wb") as f:
        f.write(data)
    rows = [
        ("unsigned", dict(unsigned, signer=SIGNER), "not signed"),
        ("modified", dict(signed, sha256=sha256(data)), "modified after signing"),
        ("wrong case", dict(next_build("signer"), signer=SIGNER.lower()),
         f'signed by "{SIGNER}", expected "{SIGNER.lower()}"'),
    ]
    if app.windows:
        print("note: Wine trusts any self-signed signer; the untrusted signer is checked on Linux")
    else:
        rows.append(("untrusted", next_build("rogue-signer"), "signer is not trusted"))
    for what, fields, reason in rows:
        offer(env, **fields)
        code, out = app.run("\n")
        check(f"  Signature check failed: {reason} - refusing to install.\n\n" in out,
              f"{what}:\n{out}")
        check(app.files() == [app.name] and app.content() == before, f"{what}: {app.files()}")
    if app.windows:
        # No signer named: no signature step (Linux shows this in the cycle).
        offer(env, **unsigned)
        code, out = app.run("\n")
        check(code == 0 and out.endswith("hash verified)\n  Installing and restarting...\n"), out)
        wait_for_script(env, app)
        with open(unsigned["file"], "rb") as f:
            check(app.content() == f.read(), "the script did not replace the program")


def wait_for_script(env, app):
    """Windows: the script ends by deleting itself once the new build runs."""
    script = app.exe + ".update.cmd"
    env.wait_for(lambda: not os.path.exists(script) and "new size=" in
                 app.log(), 90,
                 "the update script did not finish: " + ", ".join(app.files()))


def answer(env, proc, text, nth):
    """Answers the nth install prompt once it is shown."""
    env.wait_for(lambda: env.output(proc).count("Install now? [Y/n] ") >= nth, 60,
                 "no offer:\n" + env.output(proc))
    proc.stdin.write(text.encode())
    proc.stdin.flush()


def case_update_cycle(env):
    """2.1.29 accepts 2.1.30, which replaces it and reports on its first start;
    then a manifest that lies about its build is caught on the next start. The
    folder's '%' must reach the update script as the character."""
    env.start_service()
    app = App(env, "app 100%")
    fields = publish(env, app, "korvane-companion-next", "2.1.30")
    offer(env, **fields)
    with open(fields["file"], "rb") as f:
        published = f.read()
    proc = app.start(None)
    answer(env, proc, "\n", 1)
    first = f"  Signature verified ({SIGNER})\n  Installing and restarting...\n"
    if app.windows:
        code = env.wait_exit(proc, 60)
        check(code == 0, f"exit code {code}:\n" + env.output(proc))
        check(env.output(proc).endswith(first), env.output(proc))
        wait_for_script(env, app)
    else:
        env.wait_for(lambda: "Room code" in env.output(proc), 60, env.output(proc))
        check(first + "Korvane Companion 2.1.30\nUpdated to 2.1.30\n"
              "Up to date (2.1.30; server offers 2.1.30)\n" in env.output(proc), env.output(proc))
    proc.stdin.close()
    env.wait_exit(proc, 60)
    check(app.content() == published, "the program on disk is not the published build")
    log = app.log()
    check("] update starting" in log and "] replaced after 1 tries" in log
          and f"] new size={len(published)}" in log, log)
    # The new build's first start reads the note, removes it and checks for
    # updates under its own name.
    env.wait_for(lambda: any(r["userAgent"] == "KorvaneCompanion/2.1.30"
                             for r in gets(env, manifest_path(env))), 60,
                 "the new build never started")
    check(not os.path.exists(app.exe + ".update.expect"), "the new build left the note")
    check(app.files() == [app.name, app.name + ".update.log"], app.files())

    if app.windows:
        # The script starts the new build detached from this console, so
        # what it prints cannot be read here; the note is read by the same
        # code on both builds, and checked below on Linux.
        print("note: the lying manifest is checked on Linux, where the restart keeps the terminal")
        return
    honest = fields
    # The manifest says 2.1.31, but its file is the 2.1.29 build; it names no
    # signer, so no signature is checked.
    fields = publish(env, app, "korvane-companion", "2.1.31", cert=None)
    offer(env, **fields)
    proc = app.start(None)
    answer(env, proc, "\n", 1)
    env.wait_for(lambda: env.output(proc).count("Install now? [Y/n] ") == 2, 60, env.output(proc))
    out = env.output(proc)
    check("hash verified)\n  Installing and restarting...\nKorvane Companion 2.1.29\n\n  UPDATE DID NOT "
          "TAKE: expected 2.1.31, still running 2.1.29.\n" in out and
          f"\n  Downloaded {os.path.getsize(fields['file'])} bytes.\n\n" in out, out)
    answer(env, proc, "n\n", 2)
    proc.stdin.close()
    env.wait_exit(proc, 60)
    check("  Skipped. Run with --no-update to stop asking.\n" in env.output(proc), env.output(proc))

    # A program file that cannot be renamed over (here a mount point) keeps
    # the running build, and the next start reports the note.
    offer(env, **honest)
    subprocess.run(["mount", "--bind", app.exe, app.exe], check=True)
    try:
        code, out = app.run("\n")
    finally:
        subprocess.run(["umount", app.exe], check=True)
    check("  Could not replace this program - carrying on with this version.\n\nMulti-driver"
          in out, out)
    check("] move failed after 1 tries" in app.log(),
          "no failed move in the log")
    code, out = app.run(args=["--no-update"])
    check("Korvane Companion 2.1.29\n\n  UPDATE DID NOT TAKE: expected 2.1.30, still running "
          "2.1.29.\n" in out, out)
    check(app.files() == [app.name, app.name + ".update.log"], app.files())
