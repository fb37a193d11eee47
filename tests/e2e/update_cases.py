"""End-to-end cases of the self-update: real manifests, real downloads, real
signatures and the real replacement, against the local service."""
import hashlib
import json
import os
import shutil
import subprocess
import sys

import testca
from harness import DOWNLOAD_DEADLINE, REPLACE_TRIES, ROOT, WINE_RUN, check, files_under

PUBLISH = os.path.join(ROOT, "release", "publish.py")
SIGNER = "Korvane Test Publisher"


class App:
    """The program as a driver keeps it: its own folder, started from there."""

    def __init__(self, env, folder="app", build="korvane-companion"):
        self.env = env
        self.windows = env.platform == "windows"
        self.folder = os.path.join(env.work, folder)
        os.makedirs(self.folder, exist_ok=True)
        self.name = "korvane-companion" + (".exe" if self.windows else "")
        self.exe = os.path.join(self.folder, self.name)
        self.runs = 0
        shutil.copyfile(self.build(build), self.exe)
        os.chmod(self.exe, 0o755)

    def build(self, target):
        return os.path.join(self.env.bindir, target + (".exe" if self.windows else ""))

    def start(self, stdin_text="", args=(), cwd=None):
        self.runs += 1
        cmd = ([WINE_RUN] if self.windows else []) + [self.exe, *args]
        return self.env.spawn(f"app{self.runs}", cmd, stdin_text, cwd=cwd or self.folder)

    def run(self, stdin_text="", args=(), wait=120):
        """Runs the program until it ends; with no room file, start-up ends at
        the room prompt when input runs out."""
        proc = self.start(stdin_text, args)
        code = self.env.wait_exit(proc, wait)
        return code, self.env.output(proc)

    def files(self):
        return sorted(os.listdir(self.folder))

    def snapshot(self):
        return files_under(self.folder)

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
    """Publishes a build under /builds/N/ and returns its manifest fields.
    `cert` names a credential of the test authority or is the path of one
    (with its key, and its chain when it has issuers of its own)."""
    www = os.path.join(env.work, "www")
    env.published = getattr(env, "published", 0) + 1
    out = os.path.join(www, "builds", str(env.published))
    args = [sys.executable, PUBLISH, "--out", out, "--version", version,
            "--base-url", f"https://{env.host}/builds/{env.published}",
            "--notes", "Faster pit stops",
            "--exe" if app.windows else "--linux", app.build(target)]
    if cert:
        pem = cert if cert.endswith(".pem") else os.path.join(env.ca, cert + ".pem")
        args += ["--cert", pem, "--key", pem[:-4] + ".key"]
        if os.path.exists(pem[:-4] + ".chain.pem"):
            args += ["--chain", pem[:-4] + ".chain.pem"]
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
    env.configure(files=www)
    with open(os.path.join(out, os.path.basename(manifest_path(env)))) as f:
        fields = json.load(f)
    fields["file"] = os.path.join(out, app.name)
    return fields


def offer(env, **fields):
    """Serves a manifest with these fields, written as the service might:
    the program scans it as text, so a value goes out exactly as given."""
    text = "{" + ", ".join(f'"{k}": "{v}"' for k, v in fields.items()
                           if k != "file" and v is not None) + "}"
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
    # The shipped build itself, announced as the next one.
    mislabelled = publish(env, app, "korvane-companion", "2.1.30", cert=None)
    short = os.urandom(1023)
    env.configure(routes={"/builds/short": {"body": short.hex()[:1023]},
                          "/builds/huge": {"size": 200 << 20},
                          "/builds/insecure": {"redirect": "http://" + good["url"][8:]}})
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
        ("manifest over 64 KiB", dict(newer, notes="x" * 65536), "",
         "Update check skipped (the manifest is larger than 64 KiB)\n"),
        ("control characters", dict(newer, notes="Faster\x1b[2J\rpit\x07 stops\x7f"), "n\n",
         "  Faster?[2J?pit? stops?\n  Install now?"),
        ("redirect to http", dict(newer, url=home + "insecure"), "\n",
         "  Downloading... failed (refused a redirect to a non-https address)\n\n"),
        ("mislabelled", mislabelled, "\n", " KB, hash verified)\n  Not installing: the "
         "downloaded build is 2.1.29, not the announced 2.1.30.\n\n"),
    ]
    before = app.snapshot()
    for what, fields, answer, expected in rows:
        offer(env, **fields)
        # No answer: input ends at the question.
        code, out = app.run(answer or "")
        check(expected in out, f"{what}: no {expected!r} in:\n{out}")
        check(answer is not None or "Install now?" in out, f"{what}: not asked")
        check(answer != "" or "Install now?" not in out, f"{what}: asked")
        check("\x1b" not in out and "\x07" not in out, f"{what}: a control character shown")
        check("Multi-driver + room-scoped live" in out, f"{what}: start-up did not go on:\n{out}")
        check(app.snapshot() == before, f"{what}: the folder changed: {app.files()}")
    huge = gets(env, "/builds/huge")[-1]
    check(huge["sent"] < 100 << 20, f"{huge['sent']} bytes of 200 MiB were taken")
    check({r["userAgent"] for r in gets(env, manifest_path(env))} == {"KorvaneCompanion/2.1.29"},
          "user agent of the update check")

    count = len(gets(env, manifest_path(env)))
    code, out = app.run(args=["--no-update"])
    check(len(gets(env, manifest_path(env))) == count and "Update" not in out, out)

    # A folder the program cannot write to: it says so and carries on.
    offer(env, **newer)
    read_only(app.folder)
    try:
        code, out = app.run("\n")
    finally:
        subprocess.run(["umount", app.folder], check=True)
    check("hash verified)\n  Could not write the new build.\n\nMulti-driver" in out, out)
    check(app.snapshot() == before, app.files())

    # A disk that fills up while the build is written: the partial build is
    # deleted, so no script left waiting can ever move it over the program.
    room = len(before[app.name]) + (256 << 10)
    subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={room}", "tmpfs", app.folder], check=True)
    try:
        shutil.copyfile(app.build("korvane-companion"), app.exe)
        os.chmod(app.exe, 0o755)
        code, out = app.run("\n")
        after = app.snapshot()
    finally:
        subprocess.run(["umount", app.folder], check=True)
    check("hash verified)\n  Write failed.\n\nMulti-driver" in out, out)
    check(after == before, f"full disk: {sorted(after)}")


def case_update_deadline(env):
    """A manifest or a build that trickles in is given up at the deadline,
    whatever its pace; nothing is written."""
    env.start_service()
    app = App(env)
    env.configure(routes={manifest_path(env): {"size": 1000, "pace": 10}})
    code, out = app.run("")
    check(f"Update check skipped (gave up after {DOWNLOAD_DEADLINE})" in out, out)
    good = publish(env, app, "korvane-companion-next", "2.1.30", cert=None)
    size = 1 << 20
    env.configure(routes={"/builds/slow": {"size": size, "pace": 10}})
    offer(env, **dict(good, url=f"https://{env.host}/builds/slow"))
    before = app.snapshot()
    code, out = app.run("\n", wait=120)
    check(f"  Downloading... failed (gave up after {DOWNLOAD_DEADLINE})\n\nMulti-driver" in out, out)
    env.wait_for(lambda: gets(env, "/builds/slow"), 30, "the slow download was not recorded")
    sent = gets(env, "/builds/slow")[-1]["sent"]
    check(sent < size, f"all {size} bytes were taken")
    check(app.snapshot() == before, app.files())


def pinned_authority(env):
    """The authority the pinned test program trusts alone on Linux; on
    Windows it trusts the system's store, where the test authority is."""
    own = os.path.join(os.path.dirname(env.bindir), "update-authority", "ca.pem")
    return own if env.platform == "linux" else os.path.join(env.ca, "ca.pem")


def case_update_signature(env):
    """A signed manifest lets only a build signed by the named signer through;
    a build with the signer pinned insists on it whatever the manifest says.
    The program lies in a folder whose name the console's code page cannot
    hold: the update script names it by its short form."""
    env.start_service()
    app = App(env, "app \u0141\u00f3d\u017a")
    pinned = App(env, "pinned", "korvane-companion-pinned")
    next_build = lambda cert: publish(env, app, "korvane-companion-next", "2.1.30", cert=cert)
    unsigned = next_build(None)
    signed = next_build("signer")
    check(signed["signer"] == SIGNER, signed["signer"])
    with open(signed["file"], "rb") as f:
        data = bytearray(f.read())
    data[len(data) // 2] ^= 0xFF
    with open(signed["file"], "wb") as f:
        f.write(data)
    # Made for this run: one whose certificate names no usage, one under an
    # intermediate that may only serve TLS, and under the pinned authority
    # one whose name holds the pinned one.
    creds = os.path.join(env.work, "creds")
    root = os.path.join(env.ca, "ca.pem")
    other = testca.issue(creds, "other", SIGNER + " Ltd", testca.CODE_SIGNING,
                         pinned_authority(env))
    bare = testca.issue(creds, "bare", SIGNER, "subjectKeyIdentifier=hash\n", root)
    tls_only = testca.issue(creds, "tls-only", "Korvane TLS Intermediate",
                            testca.INTERMEDIATE + "extendedKeyUsage=serverAuth\n", root)
    under_tls = testca.issue(creds, "under-tls", SIGNER, testca.CODE_SIGNING, tls_only)
    lodz = testca.issue(creds, "lodz", "\u0141\u00f3d\u017a Publisher", testca.CODE_SIGNING, root)
    refused = lambda reason: f"  Signature check failed: {reason} - refusing to install.\n\n"
    expected = f', expected a build signed by "{SIGNER}"'
    rows = [
        (app, "unsigned", dict(unsigned, signer=SIGNER), refused("not signed")),
        (app, "modified", dict(signed, sha256=sha256(data)), refused("modified after signing")),
        (app, "wrong case", dict(next_build("signer"), signer=SIGNER.lower()),
         refused(f'signed by "{SIGNER}", expected "{SIGNER.lower()}"')),
        # The name read whole, letters beyond the code page included.
        (app, "a name beyond ASCII", dict(next_build(lodz), signer="Nobody"),
         refused('signed by "\u0141\u00f3d\u017a Publisher", expected "Nobody"')),
        (pinned, "pinned, no signer named", dict(unsigned, signer=None),
         refused("not signed" + expected)),
        (pinned, "pinned, another publisher", dict(next_build(other), signer="Korvane"),
         refused(f'signed by "{SIGNER} Ltd", expected "{SIGNER}"')),
        # Any authority may issue a certificate in the publisher's name.
        (pinned, "pinned, the publisher's name on another key",
         next_build(testca.issue(creds, "impostor", SIGNER, testca.CODE_SIGNING,
                                 pinned_authority(env))),
         refused(f'signed by "{SIGNER}" with a key that is not the publisher\'s')),
        # A certificate without a common name names no signer (Windows would
        # offer the organisation's name in its place).
        (app, "a signer without a common name",
         dict(next_build(testca.issue(creds, "nameless", None, testca.CODE_SIGNING, root)),
              signer=SIGNER), refused("could not read the signer")),
    ]
    if app.windows:
        print("note: Wine trusts any self-signed signer and any key usage; the untrusted "
              "signer, the pinned authority and the usages are checked on Linux")
    else:
        may_not = refused("a certificate of the signer's chain may not sign code")
        rows += [
            (app, "untrusted", next_build("rogue-signer"), refused("signer is not trusted")),
            (app, "no key usage", next_build(bare), may_not),
            (app, "under a TLS-only intermediate", next_build(under_tls), may_not),
            (pinned, "pinned, outside the pinned authority", next_build("signer"),
             refused("signer is not trusted" + expected)),
        ]
    for program, what, fields, text in rows:
        before = program.snapshot()
        offer(env, **fields)
        code, out = program.run("\n")
        check(text in out, f"{what}:\n{out}")
        check(program.snapshot() == before, f"{what}: the folder changed: {program.files()}")
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


def publisher_key(env):
    """The key the pinned test program knows its publisher by."""
    return os.path.join(os.path.dirname(env.bindir), "update-authority", "publisher.key")


def read_only(folder):
    subprocess.run(["mount", "--bind", folder, folder], check=True)
    subprocess.run(["mount", "-o", "remount,bind,ro", folder], check=True)


def chained_publisher(env):
    """The pinned publisher, with its own key, under an intermediate of the
    pinned authority: its signatures must carry the intermediate to verify."""
    creds = os.path.join(env.work, "creds")
    middle = testca.issue(creds, "intermediate", "Korvane Test Signing Intermediate",
                          testca.INTERMEDIATE, pinned_authority(env))
    return testca.issue(creds, "chained", SIGNER, testca.CODE_SIGNING, middle, publisher_key(env))


def serve_by_redirect(env, fields):
    """The manifest's address for the build becomes one with a query that
    redirects (by a path, then by a full https address) to where it lies;
    the detached signature is found the same way."""
    real = fields["url"][len(f"https://{env.host}"):]
    routes = env_routes(env)
    for suffix in ("", ".p7s"):
        routes[f"/go/{os.path.basename(real)}{suffix}?channel=stable"] = {"redirect": f"/hop{suffix}"}
        routes[f"/hop{suffix}"] = {"redirect": f"https://{env.host}{real}{suffix}", "status": 307}
    env.configure(routes=routes)
    return dict(fields, url=f"https://{env.host}/go/{os.path.basename(real)}?channel=stable")


def case_update_cycle(env):
    """2.1.29 with the publisher pinned accepts 2.1.30 signed under an
    intermediate and reached through redirects; it replaces the program and
    reports on its first start. The folder's '%' must reach the update script
    as the character."""
    env.start_service()
    app = App(env, "app 100%", "korvane-companion-pinned")
    fields = serve_by_redirect(env, publish(env, app, "korvane-companion-next", "2.1.30",
                                            cert=chained_publisher(env)))
    # The digest as some tools write it: in capitals.
    offer(env, **dict(fields, sha256=fields["sha256"].upper()))
    with open(fields["file"], "rb") as f:
        published = f.read()
    # Started beside a ping.bat, which the update script must never run.
    desk = os.path.join(env.work, "desk")
    os.makedirs(desk)
    with open(os.path.join(desk, "ping.bat"), "w") as f:
        f.write('@echo ran > "%~dp0ran.txt"\r\n')
    proc = app.start(None, cwd=desk)
    answer(env, proc, "\n", 1)
    first = f"  Signature verified ({SIGNER})\n  Installing and restarting...\n"
    if app.windows:
        code = env.wait_exit(proc, 60)
        check(code == 0, f"exit code {code}:\n" + env.output(proc))
        # Its input stays open, so a program that went on after these lines
        # would never end; Wine's own complaints from the script's processes
        # share this output and may come after them.
        check(first in env.output(proc), env.output(proc))
        wait_for_script(env, app)
        check(os.listdir(desk) == ["ping.bat"], f"the script ran {desk}/ping.bat")
    else:
        env.wait_for(lambda: "Room code" in env.output(proc), 60, env.output(proc))
        check(first + "Korvane Companion 2.1.30\nUpdated to 2.1.30\n"
              "Up to date (2.1.30; server offers 2.1.30)\n" in env.output(proc), env.output(proc))
    check(f"  Expecting sha256 {fields['sha256'].upper()[:12]}...\n" in env.output(proc), "digest")
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

    honest = fields
    # A program file that cannot be replaced keeps the running build, and
    # the next start reports the note: back to the pinned 2.1.29 for this,
    # as a new file (the 2.1.30 build may still be running from it).
    shutil.copyfile(app.build("korvane-companion-pinned"), app.exe + ".tmp")
    os.chmod(app.exe + ".tmp", 0o755)
    os.replace(app.exe + ".tmp", app.exe)
    offer(env, **honest)
    if app.windows:
        locked_file_keeps_the_program(env, app)
        return
    # Here the file is a mount point, which cannot be renamed over.
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


def locked_file_keeps_the_program(env, app):
    """Windows: another process holds the program file open, sharing it for
    reading only (it still runs, but cannot be replaced). The script gives up after its tries, says so in its log, deletes the
    staged build and starts the old program again, which still works: it
    reads the note and checks for updates as 2.1.29."""
    with open(app.exe, "rb") as f:
        old = f.read()
    holder = env.spawn("holder", [WINE_RUN, app.build("korvane-hold-file"),
                                  env.windows_path(app.exe)], None)
    env.wait_for(lambda: "held" in env.output(holder), 60, env.output(holder))
    old_checks = lambda: sum(r["userAgent"] == "KorvaneCompanion/2.1.29"
                             for r in gets(env, manifest_path(env)))
    code, out = app.run("\n")
    check(code == 0 and out.endswith("Installing and restarting...\n"), out)
    checks = old_checks()
    env.wait_for(lambda: f"] move failed after {REPLACE_TRIES} tries" in app.log(), 240,
                 "the script did not give up: " + app.log())
    env.wait_for(lambda: old_checks() > checks and not os.path.exists(app.exe + ".update.expect"),
                 60, "the old program did not start again")
    holder.stdin.close()
    env.wait_exit(holder, 30)
    env.wait_for(lambda: not os.path.exists(app.exe + ".update.cmd"), 30, "the script stayed")
    check(app.content() == old, "the program file changed")
    check(app.files() == [app.name, app.name + ".update.log"], app.files())
