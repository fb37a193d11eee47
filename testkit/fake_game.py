#!/usr/bin/env python3
"""A stand-in for the game's local REST interface (plain HTTP, port 6397).

Serves answers recorded from the game, kept as files under testkit/recordings,
and can misbehave on request. Routes come from a JSON file read on every
request, path -> answer:

  {"/rest/watch/standings": {"file": "standings.json"},
   "/rest/strategy/usage": {"status": 404, "body": "{\\"error\\":\\"not found\\"}"},
   "/rest/x": {"size": 100000},          a body of that many bytes
   "/rest/y": {"hang": true},            accept, then never answer
   "/rest/z": {"body": "{}", "trickle": 0.5}}  the body a byte each 0.5 s

Listens on 127.0.0.1, on ::1, or both (--family 4, 6 or both).

With --replay FILE it serves a recording instead: the rig appends each
replayed tick's answers to FILE (JSON lines of tick, path, status and body,
the body's bytes as U+0000..U+00FF), and every request gets the newest
answer given so far for its path. Status 0, or no answer yet, closes the
connection unanswered, as a game that did not answer.
"""
import argparse
import json
import os
import socket
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RECORDINGS = os.path.join(ROOT, "testkit", "recordings")
DEFAULT_ROUTES = {
    "/rest/garage/UIScreen/RepairAndRefuel": {"file": "RepairAndRefuel.json"},
    "/rest/strategy/usage": {"file": "strategy_usage.json"},
    "/rest/watch/standings": {"file": "standings.json"},
    "/rest/garage/UIScreen/DriverAndPitStop": {"file": "DriverAndPitStop.json"},
    "/rest/sessions/getAllVehicles": {"file": "getAllVehicles.json"},
    "/rest/garage/getPlayerGarageData": {"file": "getPlayerGarageData.json"},
}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def routes(self):
        routes = dict(DEFAULT_ROUTES)
        try:
            with open(self.server.config) as f:
                routes.update(json.load(f))
        except (OSError, ValueError, TypeError):
            pass
        return routes

    def replayed(self):
        """The newest answer for the path; the file is read on from where the
        last request left it, so an hour's answers are read once."""
        server = self.server
        with server.replay_lock:
            try:
                with open(server.replay, "rb") as f:
                    f.seek(server.replay_offset)
                    for line in f:
                        if not line.endswith(b"\n"):
                            break  # the rig is still writing it
                        server.replay_offset += len(line)
                        a = json.loads(line)
                        server.replay_latest[a["path"]] = a
            except OSError:
                pass
            newest = server.replay_latest.get(self.path)
        if newest is None or newest["status"] == 0:
            return None
        return {"status": newest["status"], "body": newest["body"].encode("latin-1")}

    def do_GET(self):
        with open(self.server.log, "a") as f:
            f.write(json.dumps({"path": self.path, "userAgent": self.headers.get("User-Agent"),
                                "time": time.time()}) + "\n")
        if self.server.replay:
            answer = self.replayed()
            if answer is None:
                self.close_connection = True
                return
        else:
            answer = self.routes().get(self.path, {"status": 404, "body": '{"error":"no such path"}'})
        if answer.get("hang"):
            time.sleep(30)
            return
        if "file" in answer:
            with open(os.path.join(RECORDINGS, answer["file"]), "rb") as f:
                body = f.read()
        elif "size" in answer:
            unit = b'{"energy":0.5,"fuel":0.4},'
            body = (unit * (answer["size"] // len(unit) + 1))[:answer["size"]]
        else:
            body = answer.get("body", "")
            body = body if isinstance(body, bytes) else body.encode()
        if answer.get("trickle"):
            # The headers at once, then the body a byte at a time: fast
            # enough for any time-out that waits on the next byte.
            self.send_response(answer.get("status", 200))
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            try:
                for b in body:
                    self.wfile.write(bytes([b]))
                    self.wfile.flush()
                    time.sleep(float(answer["trickle"]))
            except OSError:
                pass
            self.close_connection = True
            return
        self.send_response(answer.get("status", 200))
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


class Server6(ThreadingHTTPServer):
    address_family = socket.AF_INET6


def serve(server_class, address, config, log, replay):
    server = server_class((address, 6397), Handler)
    server.daemon_threads = True
    server.replay = replay
    server.replay_lock = threading.Lock()
    server.replay_offset = 0
    server.replay_latest = {}
    server.config = config
    server.log = log
    threading.Thread(target=server.serve_forever, daemon=True).start()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--family", choices=["4", "6", "both"], default="4")
    ap.add_argument("--config", required=True)
    ap.add_argument("--replay")
    ap.add_argument("--log", required=True)
    a = ap.parse_args()
    open(a.log, "a").close()
    if a.family in ("4", "both"):
        serve(ThreadingHTTPServer, "127.0.0.1", a.config, a.log, a.replay)
    if a.family in ("6", "both"):
        serve(Server6, "::1", a.config, a.log, a.replay)
    print(f"fake game: listening on port 6397 ({a.family})", flush=True)
    try:
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
