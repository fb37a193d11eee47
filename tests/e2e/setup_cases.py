"""End-to-end cases of the waiting screen and the plugin installer: staged Steam
trees (through the home folder on Linux, the registry under Wine), named
sections from the rig, a stand-in game process and the local service."""
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys

from harness import check, files_under
from update_cases import PUBLISH, SIGNER, chained_publisher, read_only

PLUGIN = "rFactor2SharedMemoryMapPlugin64.dll"
HEADER = "=== KORVANE COMPANION 2.1.29 ===\n\n"
RETRY = "\nRetrying every 2s...\n"


class Machine:
    """One staged machine: a Steam root, its libraries and their game folders,
    in a folder of its own under the run's scratch folder."""

    def __init__(self, env, name):
        self.env = env
        self.windows = env.platform == "windows"
        self.sep = "\\" if self.windows else "/"
        self.base = os.path.join(env.work, name)
        self.steam = os.path.join(self.base, "home", ".local", "share", "Steam")
        os.makedirs(os.path.join(self.steam, "steamapps"))

    def game(self, library, layout="bP", settings=None):
        """A game folder: b Bin64, u UserData, P Plugins, p the plugin, h the
        header of the game's own shared memory; the settings file when its
        text is given."""
        folder = os.path.join(library, "steamapps", "common", "Le Mans Ultimate")
        os.makedirs(folder)
        for letter, sub in (("b", "Bin64"), ("u", "UserData"), ("P", "Plugins")):
            if letter in layout:
                os.makedirs(os.path.join(folder, sub))
        if "p" in layout:
            with open(os.path.join(folder, "Plugins", PLUGIN), "wb") as f:
                f.write(b"MZ" * 600)
        if "h" in layout:
            os.makedirs(os.path.join(folder, "Support", "SharedMemoryInterface"))
            with open(os.path.join(folder, "Support", "SharedMemoryInterface",
                                   "SharedMemoryInterface.hpp"), "w") as f:
                f.write("// stands for the game's header\n")
        if settings is not None:
            os.makedirs(os.path.join(folder, "UserData", "player"), exist_ok=True)
            with open(self.settings_path(folder), "wb") as f:
                f.write(settings.encode())
        return folder

    def settings_path(self, folder):
        return os.path.join(folder, "UserData", "player", "CustomPluginVariables.JSON")

    def shown(self, path):
        """A path as the program prints it; one on a drive letter already is."""
        if self.windows and not re.match(r"[A-Z]:\\", path):
            return self.env.windows_path(path)
        return path

    def libraries(self, *paths):
        """libraryfolders.vdf as Steam writes it: backslashes doubled."""
        text = '"libraryfolders"\n{\n'
        for i, p in enumerate(paths):
            value = self.shown(p).replace("\\", "\\\\")
            text += f'\t"{i}"\n\t{{\n\t\t"path"\t\t"{value}"\n\t}}\n'
        with open(os.path.join(self.steam, "steamapps", "libraryfolders.vdf"), "w") as f:
            f.write(text + "}\n")

    def point_steam(self):
        """Makes this the machine's Steam: the home folder on Linux, the
        per-user value (written with forward slashes, as Steam does) under Wine."""
        if self.windows:
            self.env.set_registry("HKCU\\Software\\Valve\\Steam", "SteamPath",
                                  self.shown(self.steam).replace("\\", "/"))
        else:
            self.env.env["HOME"] = os.path.join(self.base, "home")

    def snapshot(self):
        return files_under(self.base)


def passes(env, proc):
    return [p.split(RETRY)[0] for p in env.output(proc).split(HEADER)[1:] if RETRY in p]


def screen(env, answers="", count=1, program="korvane-companion"):
    """The first `count` passes of the waiting screen; the program is stopped."""
    proc = env.start_companion("E2E-ROOM", "--no-update", answers=answers, program=program)
    env.wait_for(lambda: len(passes(env, proc)) >= count, 60,
                 "the waiting screen did not show:\n" + env.output(proc)[-3000:])
    env.stop(proc)
    return passes(env, proc)[:count]


def offer(m, folder, download=True):
    text = "\n  Korvane can install this for you.\n"
    if download:
        text += f"    - download the plugin into {m.shown(folder)}{m.sep}Plugins{m.sep}\n"
    return text + ("    - enable it in CustomPluginVariables.JSON (a backup is made first)\n"
                   "\n  Install now? [Y/n] ")


DECLINED = "  Left alone. The manual steps are above.\n\n"


def publish(env, *names):
    rig = env.start("korvane-rig", "--sections", *names)
    env.wait_for(lambda: "rig: publishing" in env.output(rig), 30, env.output(rig))
    return rig


def standin_game(env):
    """A process named as the game (the rig under the game's file name)."""
    standin = os.path.join(env.work, "standin")
    os.makedirs(standin, exist_ok=True)
    exe = "Le Mans Ultimate" + (".exe" if env.platform == "windows" else "")
    shutil.copy(env.command("korvane-rig")[-1], os.path.join(standin, exe))
    cmd = env.command("korvane-rig")[:-1] + [os.path.join(standin, exe), "--sections"]
    # On Linux the run's process ids count up from 1: the game is started
    # with an id that starts with a 9, and must be recognised all the same.
    while True:
        while env.platform == "linux":
            probe = subprocess.Popen(["true"])
            probe.wait()
            if str(probe.pid + 1).startswith("9"):
                break
        game = env.spawn("standin", cmd)
        if env.platform != "linux" or str(game.pid).startswith("9"):
            break
        env.stop(game)
    env.wait_for(lambda: "rig: publishing" in env.output(game), 30, env.output(game))
    return game


def shows(text, first, *parts):
    """The explanation's first line (which case it is) and the parts that
    depend on the staged machine."""
    check(text.startswith(first) and all(p in text for p in parts),
          f"wanted {first!r} with {parts}, got:\n{text}")


def case_waiting_screen(env):
    windows = env.platform == "windows"
    shows(screen(env)[0], "Waiting for Le Mans Ultimate...\n")

    # C: two libraries without the plugin, the root listed again in capitals.
    m = Machine(env, "two-games")
    first = m.game(m.steam, "bP")
    second = m.game(os.path.join(m.base, "Library 2"), "u")
    m.libraries(m.steam.upper() if windows else m.steam, os.path.join(m.base, "Library 2"))
    m.point_steam()
    plugins = f"{m.shown(first)}{m.sep}Plugins{m.sep}\n"
    shows(screen(env)[0], "Neither the game's own shared memory nor the plugin is there.\n",
          "  2. Put the .dll here:\n"
          f"     {plugins}", "  More than one Le Mans Ultimate folder was found:\n"
          f"    {m.shown(first)}\n    {m.shown(second)}   [no Plugins folder]\n  If the plugin",
          offer(m, first) + DECLINED)

    # D, E, F: the plugin in place and its settings in three states.
    def staged(name, settings):
        m = Machine(env, name)
        folder = m.game(m.steam, "bPp", settings)
        m.point_steam()
        return f"  {m.shown(m.settings_path(folder))}\n\n", offer(m, folder, False) + DECLINED

    path, declined = staged("no-entry", '{\n  "Other.dll": {" Enabled": 1}\n}\n')
    shows(screen(env)[0], "The plugin is installed but has no settings entry.\n", path, declined)
    path, declined = staged("switched-off", f'{{"{PLUGIN}": {{" Enabled": 0}}}}')
    shows(screen(env)[0], "The plugin is installed but switched off.\n", path, declined)
    staged("ready", f'{{"{PLUGIN}": {{"Enabled":1}}}}')
    shows(screen(env)[0], "The plugin is installed and enabled, but nothing is publishing.\n")
    # The game runs and still nothing publishes: on Linux that is a missing
    # bridge out of the game's Proton prefix.
    game = standin_game(env)
    text = screen(env)[0]
    env.stop(game)
    if windows:
        shows(text, "The plugin is installed and enabled, but nothing is publishing.\n")
    else:
        check(text == "Le Mans Ultimate is running, but nothing it publishes shows under /dev/shm:\n"
              "  /dev/shm/LMU_Data  (the game's own)\n"
              "  /dev/shm/$rFactor2SMMP_Telemetry$  (the plugin's)\n"
              "Under Proton they need a bridge in the game's prefix (or run the Windows .exe "
              "there).\n", text)

    # A game that publishes its own interface: never offered the DLL, told
    # of the switch, whatever state the plugin is in; in its menus, waiting.
    own = "Le Mans Ultimate publishes its own shared memory - no plugin is needed -\n"
    switch = "  1. In the game: Settings > Gameplay > Enable Plugins must be ON\n"
    m = Machine(env, "own-interface")
    m.game(m.steam, "bPh")
    m.point_steam()
    text = screen(env)[0]
    shows(text, own, switch)
    check("Install now?" not in text, text)
    staged_own = Machine(env, "own-interface-plugin")
    staged_own.game(staged_own.steam, "bPph", f'{{"{PLUGIN}": {{" Enabled": 1}}}}')
    staged_own.point_steam()
    rig = publish(env, "LMU_Menu_State")
    shows(screen(env)[0], "Le Mans Ultimate is running. Waiting for a session.\n")
    # A session runs (the game answers with cars) and the enabled plugin
    # never published: the game ignores it.
    game = env.start_game()
    shows(screen(env, count=3)[-1], "The plugin is installed and switched on, but the game does "
          "not load it:\n", switch)
    env.stop(game)
    env.stop(rig)
    # The game's own mapping there without a session: waiting for one, and
    # cut short: named as such.
    rig = env.start_rig("stint", "--short-game", "200000")
    shows(screen(env)[0], "Le Mans Ultimate's own shared memory (LMU_Data) is there,\n",
          "smaller than the 324,820 bytes")
    env.stop(rig)

    # G: the game publishes something of its own, in its menus.
    rig = publish(env, "LMU_Menu_State")
    shows(screen(env)[0], "Le Mans Ultimate is running. Waiting for a session.\n")
    env.stop(rig)

    # A: another publisher; of thirteen matching names twelve are listed.
    # Anyone may name a mapping: names that would retitle the window or clear
    # the screen are shown, never obeyed.
    names = (["$rFactor2SMMP_Scoring$", "LMU_SMMP_Extended", "rF2_Telemetry_\x1b]0;PWNED\x07",
              "rF2_Scoring_\x1b[2J\x9b"] + [f"rF2_Telemetry_{i:02}" for i in range(9)])
    rig = publish(env, *names)
    text = screen(env)[0]
    head = "A plugin is publishing, but not the buffers Korvane reads.\n\nFound on this machine:\n"
    shows(text, head)
    listed = text[len(head):].split("\n\n")[0].split("\n")
    shown = [re.sub("[\x07\x1b\x9b]", "?", n) for n in names]
    check(len(listed) == 12 and all(l[:2] == "  " and l[2:] in shown for l in listed),
          f"listed: {listed}")
    check("?]0;PWNED?" in text or "?[2J?" in text, "a planted name is listed")
    env.stop(rig)

    # Where else Steam is found: the machine-wide value in the 32-bit view
    # when the per-user one is empty; on Linux the Flatpak's folder.
    m = Machine(env, "elsewhere")
    if windows:
        env.set_registry("HKCU\\Software\\Valve\\Steam", "SteamPath", "")
        env.set_registry("HKLM\\SOFTWARE\\Valve\\Steam", "InstallPath", m.shown(m.steam), view32=True)
    else:
        flatpak = os.path.join(m.base, "home", ".var", "app", "com.valvesoftware.Steam", ".local", "share")
        os.makedirs(flatpak)
        shutil.move(m.steam, flatpak)
        m.steam = os.path.join(flatpak, "Steam")
        m.point_steam()
    folder = m.game(m.steam, "bPp", f'{{"{PLUGIN}": {{" Enabled": 0}}}}')
    shows(screen(env)[0], "The plugin is installed but switched off.\n",
          f"  {m.shown(m.settings_path(folder))}\n")

    # Folder names beyond ASCII: the Steam root, and a library on a drive
    # letter of its own under Wine, are found and shown whole.
    m = Machine(env, "\u00dcber Rennen")
    spiele = os.path.join(m.base, "Spiele")
    library = os.path.join(spiele, "Bibliothek \u00c4rger")
    folder = m.game(library, "bPp", f'{{"{PLUGIN}": {{" Enabled": 0}}}}')
    settings = m.shown(m.settings_path(folder))
    drive = os.path.join(env.env.get("WINEPREFIX", ""), "dosdevices", "f:")
    if windows:
        os.symlink(spiele, drive)
        library = "F:" + library[len(spiele):].replace("/", "\\")
        settings = "F:" + settings[len(m.shown(spiele)):]
    m.libraries(library)
    m.point_steam()
    try:
        text = screen(env)[0]
    finally:
        if windows:
            os.unlink(drive)
    shows(text, "The plugin is installed but switched off.\n", f"  {settings}\n")

    if windows:
        env.clear_registry()
        query = env.reg_query("HKCU\\Software\\Valve") + env.reg_query("HKLM\\SOFTWARE\\Valve", "/reg:32")
        check(query == [1, 1], "registry keys left behind")


PLUGIN_BODY = bytes((i * 131 + (i >> 8)) % 256 for i in range(1_500_000))


def case_plugin_install(env):
    env.start_service()
    files = os.path.join(env.work, "files")
    os.makedirs(files)
    url = f"https://{env.host}/plugin.dll"
    env.configure(files=files)

    def manifest(text):
        env.configure(routes={"/plugin-latest.json": {"body": text}})

    def serve(body, digest=None, link=url):
        with open(os.path.join(files, "plugin.dll"), "wb") as f:
            f.write(body)
        manifest(json.dumps({"url": link, "sha256": digest or hashlib.sha256(body).hexdigest()}))

    def attempt(name, answer, settings='{\n  "Other.dll": {" Enabled": 1}\n}\n', layout="bP",
                count=1, disk=None, program="korvane-companion"):
        """A machine without the plugin (or with it, for `layout` "bPp"), one
        answer to the offer; the screen's passes and what was fetched. `disk`
        may put a folder of the game on a disk of its own first."""
        m = Machine(env, name)
        folder = m.game(m.steam, layout, settings)
        if disk:
            disk(folder)
        m.point_steam()
        before = m.snapshot()
        asked = len(env.received())
        texts = screen(env, answer + "\n", count, program)
        fetched = [r["path"] for r in env.received()[asked:]]
        return m, folder, before, texts, fetched

    serve(PLUGIN_BODY)
    m, folder, before, texts, fetched = attempt("declined", "no thanks")
    # One game folder: no list of others.
    check(texts[0].endswith(offer(m, folder) + DECLINED) and fetched == []
          and "More than one" not in texts[0], texts[0])
    check(m.snapshot() == before, "declining changed files")

    # A running game holds the plugin open: nothing is fetched or written.
    # On Linux the game runs as Proton runs it: a Wine process known by its
    # command line alone (its short name is cut, its file is Wine's).
    if env.platform == "linux":
        game = env.spawn("proton", ["bash", "-c", 'exec -a "$0" sleep 600',
                                    "Z:\\Games\\Le Mans Ultimate\\Le Mans Ultimate.exe"])
    else:
        game = standin_game(env)
    m, folder, before, texts, fetched = attempt("game-running", "")
    env.stop(game)
    check(texts[0].endswith(offer(m, folder) + "\n  Close Le Mans Ultimate first - it holds the "
                            "plugin file open while running.\n\n"), texts[0])
    check(fetched == [] and m.snapshot() == before, f"fetched {fetched} or wrote files")

    # Each refusal names its reason, and nothing in the game folder changes.
    short_digest = json.dumps({"url": url, "sha256": "ABC"})
    refusals = [
        ("no-fields", lambda: manifest("{}"), " manifest is missing \"url\".\n  Server returned: {}\n",
         ["/plugin-latest.json"]),
        ("short-digest", lambda: manifest(short_digest), " manifest sha256 is \"ABC\" (3 chars, "
         "expected 64).\n  Server returned: " + short_digest + "\n", ["/plugin-latest.json"]),
        ("plain-http", lambda: serve(PLUGIN_BODY, link=f"http://{env.host}/plugin.dll"),
         f" manifest url is not https (http://{env.host}/plugin.dll) - refusing it.\n\n",
         ["/plugin-latest.json"]),
        ("short-body", lambda: serve(PLUGIN_BODY[:1023]), " download failed ()\n\n",
         ["/plugin-latest.json", "/plugin.dll"]),
        ("mismatch", lambda: serve(PLUGIN_BODY, "0" * 64), " hash mismatch - refusing to install it.\n\n",
         ["/plugin-latest.json", "/plugin.dll"]),
    ]
    # Meanwhile a program that merely has the game's file among its
    # arguments, as an editor would, is not the game.
    editor = env.spawn("editor", [sys.executable, "-c", "import time; time.sleep(600)",
                                  os.path.join(env.work, "Le Mans Ultimate", "Le Mans Ultimate.exe")])
    for name, stage, message, wanted in refusals:
        stage()
        m, folder, before, texts, fetched = attempt(name, "")
        check("  Fetching plugin..." + message in texts[0], f"{name}:\n{texts[0]}")
        check(fetched == wanted and m.snapshot() == before, f"{name}: fetched {fetched} or wrote files")
    env.stop(editor)

    # A disk that fills up: the backup, the settings file's replacement or the
    # plugin cannot be written. Each refusal says which, and the game's files
    # are as they were; a backup that was written stays, holding the old text.
    serve(PLUGIN_BODY)
    switched_off = f'{{"{PLUGIN}": {{" Enabled": 0}}}}'
    player = lambda folder: os.path.join(folder, "UserData", "player")
    full = [
        ("backup", "bPp", lambda f: env.small_disk(player(f), "128k"),
         "  Settings file: could not write a backup - refusing to edit\n\n", 0),
        ("settings", "bPp", lambda f: env.small_disk(player(f), "128k", 1),
         "  Settings file: the write failed partway\n\n", 1),
        ("plugin", "bP", lambda f: env.small_disk(os.path.join(f, "Plugins"), "128k"),
         "\n  The write failed partway.\n\n", 0),
        ("read-only plugins", "bP", lambda f: read_only(os.path.join(f, "Plugins")),
         "\n  Try running Korvane as administrator.\n\n", 0),
    ]
    for name, layout, disk, message, kept in full:
        m, folder, before, texts, fetched = attempt("full-" + name, "", switched_off, layout,
                                                    disk=disk)
        check(texts[0].endswith(message), f"{name}:\n{texts[0]}")
        after = m.snapshot()
        backups = [p for p in after if ".korvane-backup-" in p]
        check(len(backups) == kept and all(after.pop(p) == switched_off.encode() for p in backups)
              and after == before, f"{name}: {sorted(set(after) ^ set(before))} {backups}")

    # Enter installs (the digest in capitals), and the very next pass reads
    # the plugin's state afresh: installed and enabled, nothing publishing.
    done = "  Enabled in CustomPluginVariables.JSON (backup saved alongside it)\n"
    serve(PLUGIN_BODY, hashlib.sha256(PLUGIN_BODY).hexdigest().upper())
    original = '{\n  "Other.dll": {" Enabled": 1}\n}\n'
    # A game without a Plugins folder gets one.
    m, folder, before, texts, fetched = attempt("install", "", original, "b", count=2)
    check(offer(m, folder) + "  Fetching plugin... ok (1464 KB, hash verified)\n" + done in texts[0],
          texts[0])
    check(texts[1].startswith("The plugin is installed and enabled, but nothing is publishing."),
          "the next pass did not read the plugin again:\n" + texts[1])
    check_installed(folder, with_plugin=True)

    # With the plugin there and switched off, the offer only enables it.
    original = f'{{\r\n"{PLUGIN}": {{\r\n " Enabled": 0\r\n}}\r\n}}\r\n'
    m, folder, before, texts, fetched = attempt("enable-only", "", original, "bPp", count=2)
    check(offer(m, folder, download=False) + done in texts[0], texts[0])
    check(fetched == [] and texts[1].startswith("The plugin is installed and enabled"), texts[1])
    check_installed(folder, with_plugin=False)

    # A build with its publisher pinned takes the plugin's address and digest
    # only over that publisher's signature of the manifest's exact bytes.
    release = os.path.join(env.work, "release")
    dll = os.path.join(env.work, PLUGIN)
    with open(dll, "wb") as f:
        f.write(PLUGIN_BODY)
    cert = chained_publisher(env)

    def published(folder, *args):
        """The signed manifest of a release laid out in `folder`, and the route
        of its signature."""
        subprocess.run([sys.executable, PUBLISH, "--out", folder, "--version", "2.1.29",
                        "--base-url", f"https://{env.host}/release", "--plugin", dll,
                        "--cert", cert, "--key", cert[:-4] + ".key",
                        "--chain", cert[:-4] + ".chain.pem", *args],
                       check=True, stdout=subprocess.DEVNULL)
        with open(os.path.join(folder, "plugin-latest.json")) as f:
            return f.read(), {"file": os.path.join(folder, "plugin-latest.json.p7s")}

    signed, signature = published(release)
    expired, expired_signature = published(os.path.join(env.work, "expired"), "--plugin-days", "0")
    env.configure(files=env.work)
    expected = f', expected a manifest signed by "{SIGNER}"'
    both = ["/plugin-latest.json", "/plugin-latest.json.p7s"]
    pinned = [
        ("unsigned", {}, " manifest signature not available (HTTP 404) - refusing it.\n\n", None),
        ("altered", {"/plugin-latest.json.p7s": signature, "/plugin-latest.json":
                     {"body": signed.replace(f"https://{env.host}/release", f"https://{env.host}")}},
         " manifest signature check failed: modified after signing" + expected + " - refusing it.\n\n",
         None),
        # Signed, but past its day, or older than one taken before here.
        ("expired", {"/plugin-latest.json": {"body": expired},
                     "/plugin-latest.json.p7s": expired_signature},
         f" manifest expired on {json.loads(expired)['expires']} - refusing it.\n\n", None),
        ("older", {"/plugin-latest.json.p7s": signature},
         " manifest version 2.1.29 is older than 2.1.30, taken before on this machine"
         " - refusing it.\n\n", "2.1.30"),
    ]
    for name, routes, message, taken in pinned:
        env.configure(routes={"/plugin-latest.json": {"body": signed}, **routes})
        remember_manifest(env, "pinned-" + name, taken)
        m, folder, before, texts, fetched = attempt("pinned-" + name, "",
                                                    program="korvane-companion-pinned")
        check("  Fetching plugin..." + message in texts[0], f"pinned {name}:\n{texts[0]}")
        check(fetched == both and m.snapshot() == before, f"pinned {name}: fetched {fetched}")
    remember_manifest(env, "pinned-signed", None)
    env.configure(files=env.work, routes={"/plugin-latest.json": {"body": signed},
                                          "/plugin-latest.json.p7s": signature})
    m, folder, before, texts, fetched = attempt("pinned-signed", "",
                                                program="korvane-companion-pinned")
    check("  Fetching plugin... ok (1464 KB, hash verified)\n" in texts[0], texts[0])
    check(fetched == ["/plugin-latest.json", "/plugin-latest.json.p7s", "/release/" + PLUGIN],
          f"fetched {fetched}")
    check_installed(folder, with_plugin=True)
    check(remember_manifest(env, "pinned-signed", None) == "2.1.29\n", "the version taken is not remembered")


def remember_manifest(env, name, version):
    """Puts `version` (None: nothing) in the memory of the last plugin
    manifest taken, of the machine of that name; gives what was there."""
    folder = (os.path.join(env.env["WINEPREFIX"], "drive_c", "users", os.environ.get("USER", "root"),
                           "AppData", "Local", "Korvane") if env.platform == "windows" else
              os.path.join(env.work, name, "home", ".local", "state", "korvane"))
    path = os.path.join(folder, "plugin-manifest-version.txt")
    before = open(path).read() if os.path.exists(path) else None
    if before is not None:
        os.unlink(path)
    if version:
        os.makedirs(folder, exist_ok=True)
        with open(path, "w") as f:
            f.write(version + "\n")
    return before


def check_installed(folder, with_plugin):
    """The download in place, one backup, nothing half-written left behind.
    (The edit and the backup's bytes are the settings editor's.)"""
    player = os.path.join(folder, "UserData", "player")
    if with_plugin:
        with open(os.path.join(folder, "Plugins", PLUGIN), "rb") as f:
            check(f.read() == PLUGIN_BODY, "the plugin file is not the download")
    backups = [n for n in os.listdir(player) if ".korvane-backup-" in n]
    check(len(backups) == 1, f"backups: {backups}")
    leftovers = [n for n in os.listdir(player) + os.listdir(os.path.join(folder, "Plugins"))
                 if n.endswith(".korvane-new")]
    check(not leftovers, f"left behind: {leftovers}")
