"""End-to-end: the service misbehaving on the wire, seen by the update check's
download and by the live poster. Each fault gives its own text, and the main
loop goes on: one log line per tick, one tick per document."""
import os

from harness import POST_DEADLINE, check

MANIFESTS = ["/companion-latest.json", "/companion-latest-linux.json"]
TLS_TEXT = "TLS validation failed - check the system clock, or a TLS-inspecting proxy is in the way"


def _on(env, linux, wine):
    return linux if env.platform == "linux" else wine


def _rows(env):
    """(what, service certificate or None for no service, fault, update
    line, failure text on the status screen)."""
    cut = "Update check skipped (request failed (err {}))"
    tls_get = _on(env, TLS_TEXT, "request failed (err 12157)")
    tls_post = _on(env, "send failed (err 60)", "send failed (err 12157)")
    return [
        ("refused", None, None, "Update check skipped (request failed (err {}))".format(
            _on(env, 7, 12029)), "send failed (err {})".format(_on(env, 7, 12029))),
        # A body cut short is no body: never a manifest read in part.
        ("reset in the body", "server", {"fault": "reset", "status": 200,
                                         "body": '{"version":"2.1.29"'},
         cut.format(_on(env, 56, 10054)), None),
        ("fewer bytes than declared", "server", {"fault": "short", "status": 200,
                                                 "body": '{"version":"2.1.29"'},
         cut.format(_on(env, 18, 12030)), None),
        ("reset in an error body", "server", {"fault": "reset", "body": "partial"},
         cut.format(_on(env, 56, 10054)), "no response (err {})".format(_on(env, 56, 10054))),
        ("not HTTP", "server", {"fault": "garbage"},
         "Update check skipped (request failed (err {}))".format(_on(env, 1, 12152)),
         "no response (err {})".format(_on(env, 1, 12152))),
        ("endless body", "server", {"fault": "endless", "status": 200},
         "Update check skipped (the manifest is larger than 64 KiB)", None),
        ("endless error body", "server", {"fault": "endless"},
         "Update check skipped (HTTP 500)", "HTTP 500 \u2014 " + "x" * 200),
        # Answers that come a byte a second: the download waits (it has
        # seconds), the post gives up at its deadline and the ticks go on.
        ("trickle", "server", {"fault": "trickle", "body": "slow"},
         "Update check skipped (HTTP 500)", "no answer within " + POST_DEADLINE,
         {"fault": "trickle", "head": True, "body": "slow"}),
        ("expired certificate", "expired", None, f"Update check skipped ({tls_get})", tls_post),
        ("certificate for another name", "otherhost", None, f"Update check skipped ({tls_get})",
         tls_post),
        ("untrusted certificate", "rogue", None, f"Update check skipped ({tls_get})", tls_post),
    ]


def _posted_lines(env, work):
    path = os.path.join(work, "korvane_live.log")
    if not os.path.exists(path):
        return []
    with open(path, "rb") as f:
        return [l for l in f.read().decode("utf-8", "replace").splitlines()
                if l.endswith(("POST OK", "POST FAIL"))]


def case_wire_faults(env):
    env.start_rig("race")
    service = None
    for n, (what, cert, fault, update_line, failure, *post) in enumerate(_rows(env)):
        if service is not None:
            env.stop(service)
            service = None
        if cert:
            service = env.start_service([(post or [fault])[0] or {"status": "json"}], cert=cert)
            env.configure(routes={m: fault or {"body": '{"version":"2.1.29"}'}
                                  for m in MANIFESTS})
        before = len([r for r in env.received() if r["path"] == "/api/live"])
        work = os.path.join(env.work, f"run{n}")
        os.makedirs(work)
        comp = env.start_companion("E2E-ROOM", cwd=work)
        screen = lambda: env.output(comp)
        env.wait_for(lambda: update_line in screen(), 120,
                     f"{what}: no {update_line!r}:\n{screen()[-1500:]}")
        # The screen cuts its lines at the width of the console (77 bytes without one).
        want = ("Sending : " + (f"FAILED - {failure}" if failure else "yes"))[:70]
        # A post that waited out a trickling answer would take a minute.
        ticks = 8 if post else 3
        env.wait_for(lambda: len(_posted_lines(env, work)) >= ticks and want in screen(), 120,
                     f"{what}: no {want!r} after {ticks} ticks:\n{screen()[-1500:]}")
        check(not post or "NEXT    : the site answers too slowly" in screen(), screen()[-1500:])
        lines = _posted_lines(env, work)
        outcome = "POST FAIL" if failure else "POST OK"
        check(all(l.endswith(outcome) for l in lines), f"{what}: {lines}")
        docs = len([r for r in env.received() if r["path"] == "/api/live"]) - before
        if post:
            # Windows leaves a few trickling exchanges to end on their own,
            # then fails at once without sending.
            check(0 < docs <= len(lines) + 1, f"{what}: {docs} documents, {len(lines)} lines")
        elif cert == "server":
            # The service records a document before it answers, so it may be
            # one ahead of the log.
            check(docs - len(lines) in (0, 1), f"{what}: {docs} documents, {len(lines)} lines")
        else:
            check(docs == 0, f"{what}: a document went out")
        env.stop(comp)

