"""End-to-end cases of the game's own shared memory: a race through it alone,
both routes at once, a replay and a team-mate's stint, the game's lock held
by another reader."""
import os
import re
import signal

from harness import TESTKIT, check
from record_cases import HELD, SESSION_SECONDS, documents, ready_companion

__all__ = ["case_game_race", "case_game_both_routes", "case_game_watching", "case_game_lock"]

NAME = "J\u00f6rg M\u00fcller"
PLUGIN_SOURCE = " SOURCE: plugin ($rFactor2SMMP_Telemetry$)"
GAME_SOURCE = " SOURCE: game's own (LMU_Data, game version 130)"


def held_stint(env):
    """The held stint with a player whose name is beyond ASCII (UTF-8, as the
    game's own interface writes every name)."""
    with open(os.path.join(TESTKIT, "scenarios", "held_stint"), encoding="utf-8") as f:
        text = f.read().replace('driver="Alex Korva"', f'driver="{NAME}"')
    return env.write_scenario("held_stint_utf8", text)


def run_stint(env, *route):
    """The held stint, start to end, beside a fresh companion; its documents
    and the log's source lines."""
    since = len([r for r in env.received() if r["path"] == "/api/live"])
    comp = ready_companion(env)
    rig = env.start_rig(held_stint(env), "--held", str(HELD),
                        "--seconds", str(SESSION_SECONDS * HELD * 2), *route)
    env.wait_exit(rig, 120)
    env.stop(comp)
    log = env.read("korvane_live.log")
    os.unlink(os.path.join(env.work, "korvane_live.log"))
    return documents(env, since), [l for l in log.split("\n") if l.startswith(" SOURCE: ")]


def without(docs, *keys):
    return [{k: v for k, v in d.items() if k not in keys} for d in docs]


def case_game_race(env):
    """The same stint through the plugin and through the game's own interface
    alone: the same documents but for the energy, which the game's route
    takes from the car's own field, and the pit menu, which only the plugin
    publishes; the player's name in UTF-8 on both."""
    env.start_service()
    plugin, plugin_log = run_stint(env)
    game, game_log = run_stint(env, "--route", "game")
    check(plugin_log == [PLUGIN_SOURCE] and game_log == [GAME_SOURCE], (plugin_log, game_log))
    check(len(plugin) > 15, f"{len(plugin)} documents through the plugin")
    check(without(plugin, "ve", "pitMenu") == without(game, "ve", "pitMenu"),
          f"the routes differ:\n plugin {without(plugin, 've', 'pitMenu')[-1]}\n"
          f" game   {without(game, 've', 'pitMenu')[-1]}")
    check(all(d["driverId"] == NAME and d["driver"]["name"] == NAME for d in game), game[-1]["driver"])
    check(all(d["ve"]["source"] == "car" for d in game), game[-1]["ve"])
    check(all(d["ve"]["source"] == "pitmenu" for d in plugin), plugin[-1]["ve"])
    # The car's energy falls with the lap, 3 % a lap from 95 % as the fuel
    # falls 3 L, and is put back in the box: per lap it is what the fuel is.
    ves = [d["ve"]["percent"] for d in game]
    check(ves[0] <= 95 and min(ves) < ves[0] and max(ves) == 100, ves)
    last = game[-1]
    check(last["ve"]["laps"] >= 1 and abs(last["ve"]["avgPerLap"] - last["fuel"]["avgPerLap"]) < 0.01,
          (last["ve"], last["fuel"]))


def case_game_both_routes(env):
    """Both routes publish the same race: the game's own wins and each lap
    counts once. The game then restarts with the plugin alone: the companion
    follows, and the log says so."""
    env.start_service()
    comp = ready_companion(env)
    rig = env.start_rig("race", "--route", "both")
    env.wait_for(lambda: len(documents(env)) >= 6, 60, "no documents:\n" + env.output(comp)[-1500:])
    check(all(d["ve"]["source"] == "car" for d in documents(env)), documents(env)[-1]["ve"])
    rig.send_signal(signal.SIGTERM)
    env.wait_exit(rig, 20)
    seen = len(documents(env))
    env.start_rig("race")
    env.wait_for(lambda: len(documents(env)) >= seen + 20 and
                 documents(env)[-1]["ve"]["source"] == "pitmenu", 90,
                 "the companion did not follow the plugin:\n" + env.output(comp)[-1500:])
    sources = [l for l in env.read("korvane_live.log").split("\n") if l.startswith(" SOURCE: ")]
    check(sources[:2] == [GAME_SOURCE, PLUGIN_SOURCE], sources)
    docs = documents(env)
    for a, b in zip(docs, docs[1:]):
        check(b["lap"]["current"] >= a["lap"]["current"] and
              b["fuel"]["laps"] - a["fuel"]["laps"] <= 1, f"counted twice:\n {a}\n {b}")


def case_game_watching(env):
    """A replay watched in the game and a team-mate's stint in the player's
    car are never posted; driving again is."""
    env.start_service()
    scenario = env.write_scenario("watching", (
        'track "Spa-Francorchamps"\nplayer id=7 driver="P"\ncar id=1 driver="Q" place=1\n'
        "timeline\ndrive 6\nreplay 12\nremote 12\ndrive 600\n"))
    comp = ready_companion(env)
    env.start_rig(scenario, "--route", "game")
    env.wait_for(lambda: any(d["session"]["elapsed"] > 335 for d in documents(env)), 90,
                 "no documents after the team-mate's stint:\n" + env.output(comp)[-2000:])
    out = env.output(comp)
    check("Game    : watching a replay" in out and "Sending : no - a team-mate is driving" in out,
          out[-2500:])
    quiet = [d["session"]["elapsed"] for d in documents(env) if 307 < d["session"]["elapsed"] < 329]
    check(not quiet, f"posted while watching: {quiet}")


def case_game_lock(env):
    """Another reader holds the game's lock for six seconds while the game
    writes on: the ticks go on, the skipped reads are counted, nothing is
    posted from a copy the game wrote over, and posting goes on after."""
    env.start_service()
    scenario = env.write_scenario("locked", (
        'track "Spa-Francorchamps"\nplayer id=7 driver="P"\ncar id=1 driver="Q" place=1\n'
        "timeline\ndrive 8\nlocked 6\ndrive 600\n"))
    comp = env.start_companion("E2E-ROOM", "--no-update", "--verbose")
    env.start_rig(scenario, "--route", "game")
    env.wait_for(lambda: any(d["session"]["elapsed"] > 318 for d in documents(env)), 90,
                 "no documents after the lock:\n" + env.output(comp)[-2000:])
    skips = [int(n) for n in re.findall(r"lock busy (\d+)", env.output(comp))]
    check(skips and 8 <= max(skips) <= 14, f"reads skipped: {skips[-3:]}")
    times = [d["session"]["elapsed"] for d in documents(env)]
    check(times == sorted(times), f"documents out of order: {times}")
    held = [t for t in times if 309 < t < 313.5]
    check(not held, f"posted while the lock was held: {held}")
    check(comp.poll() is None, "the companion exited")
