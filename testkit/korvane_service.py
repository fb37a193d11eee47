#!/usr/bin/env python3
"""A local stand-in for the Korvane service, for tests and the demo.

Serves HTTPS on a loopback address and accepts POST /api/live. Each document is
parsed with Python's json module and checked against the live document's key
order; every request is recorded as one JSON line. What it answers comes from a
small JSON file that is read again on every request, so a test can change the
answer while the companion runs:

  {"answers": [{"status": 500, "body": "", "delay": 0}, {"status": 200}]}

Answers are used in turn; the last one repeats. An answer of {"status": "json"}
answers 200 for a valid document and 400 with "... at position N" otherwise.

An answer or a route can also misbehave on the wire: {"fault": F} with F one
of "reset" (a 500 whose body breaks off after a few bytes with a TCP reset),
"short" (the same body, then the connection's ordinary end),
"garbage" (a reply that is not HTTP), "endless" (a 500 whose body never ends)
and "trickle" (a 500 whose short body comes one byte a second; with "head":
true, the status line and headers too); "status" and "body" change the status
and the few bytes that come first.

GET requests (manifests and downloads) are answered from "routes", by path:
{"file": PATH} serves a file, {"body": TEXT} a text, {"size": N} N bytes of
filler (counting what actually went out; with "pace": B, B bytes a second),
{"redirect": URL} a 302 to URL (or "status" S), {"status": S} a bare status;
a path not listed is looked up under the folder "files", else 404.
"""
import argparse
import json
import os
import socket
import ssl
import struct
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

ROOT_KEYS = ["room", "type", "timestamp", "driverId", "idle", "session", "driver", "lap",
             "fuel", "ve", "pitMenu", "companion", "lastStop", "tires", "status", "standings"]
OBJECT_KEYS = {
    "session": ["track", "remaining", "elapsed", "phase", "session", "sessionType", "isRace",
                "inRealtime"],
    "driver": ["name", "vehicle", "position", "className", "id"],
    "lap": ["current", "fuelUsedLastLap"],
    "fuel": ["remaining", "liters", "capacity", "percent", "avgPerLap", "laps",
             "estimatedLapsRemaining"],
    "ve": ["remaining", "percent", "capacity", "avgPerLap", "laps", "estimatedLapsRemaining",
           "source"],
    "pitMenu": ["category", "vePercent"],
    "companion": ["version"],
    "lastStop": ["valid", "driveThroughSec", "stationarySec", "litres", "tiresChanged",
                 "secPerLitre"],
    "tires": ["wear", "wearPerLap", "temp", "compound", "change"],
    "status": ["inPitlane", "speedLimiter", "scoringInPits", "pitState", "inGarage", "pitArmed",
               "pitStable", "pitRaw", "fuelJustIncreased", "speed", "rpm", "gear", "playerId",
               "sessionOk", "activePoster"],
}
STANDING_KEYS = ["id", "name", "vehicle", "className", "position", "lap", "gap", "gapToLeader",
                 "lastLap", "bestLap", "inPit", "pitState", "pitStops", "sameClass", "fuelPct",
                 "ve"]


def ordered(pairs):
    return pairs  # keep the pairs as a list, in document order


def in_order(keys, allowed, where):
    """Keys must be a subsequence of `allowed` with no extras."""
    it = iter(allowed)
    for k in keys:
        if k not in allowed:
            return f"unexpected key {where}.{k}"
        for a in it:
            if a == k:
                break
        else:
            return f"key {where}.{k} out of order"
    return None


def check_document(text):
    """Returns (document, problem). problem is None for a valid live document."""
    try:
        pairs = json.loads(text, object_pairs_hook=ordered)
    except json.JSONDecodeError as e:
        return None, f"invalid JSON at position {len(text[:e.pos].encode('utf-8'))}: {e.msg}"
    if not isinstance(pairs, list):
        return None, "not an object"
    keys = [k for k, _ in pairs]
    doc = dict(pairs)
    required = [k for k in ROOT_KEYS if k != "ve"]
    problem = in_order(keys, ROOT_KEYS, "root")
    if not problem and [k for k in keys if k != "ve"] != required:
        problem = "root keys missing"
    for name, allowed in OBJECT_KEYS.items():
        if problem or name not in doc:
            continue
        sub = [k for k, _ in doc[name]]
        if sub != allowed:
            problem = f"keys of {name}: {sub}"
    if not problem:
        for entry in doc["standings"]:
            problem = in_order([k for k, _ in entry], STANDING_KEYS, "standings[]")
            if problem:
                break
    if not problem and doc["type"] != "live_telemetry":
        problem = "type is not live_telemetry"
    return json.loads(text), problem


class State:
    def __init__(self, config, record):
        self.config = config
        self.record = record
        self.count = 0
        self.lock = threading.Lock()

    def read_config(self):
        try:
            with open(self.config) as f:
                return json.load(f)
        except (OSError, ValueError):
            return {}

    def route(self, path):
        config = self.read_config()
        route = (config.get("routes") or {}).get(path)
        if route is None and config.get("files"):
            name = os.path.normpath(os.path.join(config["files"], path.lstrip("/")))
            if name.startswith(config["files"]) and os.path.isfile(name):
                route = {"file": name}
        return route

    def write_record(self, entry):
        with self.lock:
            with open(self.record, "a") as f:
                f.write(json.dumps(entry) + "\n")

    def next_answer(self):
        answers = self.read_config().get("answers") or [{"status": "json"}]
        with self.lock:
            i = min(self.count, len(answers) - 1)
            self.count += 1
        return answers[i]


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def setup(self):
        super().setup()
        # Answers go out at once, not held back waiting for an ACK.
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def log_message(self, fmt, *args):
        pass

    def do_GET(self):
        state = self.server.state
        route = state.route(self.path)
        entry = {"time": time.time(), "method": "GET", "path": self.path,
                 "userAgent": self.headers.get("User-Agent")}
        try:
            if route is None:
                self.answer(404, b'{"error":"not found"}')
            elif "fault" in route:
                self.misbehave(route)
            elif "file" in route:
                with open(route["file"], "rb") as f:
                    self.answer(200, f.read())
            elif "body" in route:
                self.answer(int(route.get("status", 200)), route["body"].encode("utf-8"))
            elif "size" in route:
                entry["sent"] = self.send_filler(int(route["size"]), route.get("pace"))
            elif "redirect" in route:
                self.send_response(int(route.get("status", 302)))
                self.send_header("Location", route["redirect"])
                self.send_header("Content-Length", "0")
                self.end_headers()
            else:
                self.answer(int(route["status"]), b"")
        finally:
            state.write_record(entry)

    def send_filler(self, size, pace=None):
        """Sends `size` bytes (`pace` a second, when given) and returns how
        many the client took before it hung up."""
        self.send_response(200)
        self.send_header("Content-Length", str(size))
        self.end_headers()
        chunk = b"x" * (int(pace) if pace else 1 << 20)
        sent = 0
        try:
            while sent < size:
                n = min(len(chunk), size - sent)
                self.wfile.write(chunk[:n])
                self.wfile.flush()
                sent += n
                if pace:
                    time.sleep(1)
        except (OSError, ssl.SSLError):
            self.close_connection = True
        return sent

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        raw = self.rfile.read(length)
        state = self.server.state
        answer = state.next_answer()
        text = raw.decode("utf-8", "replace")
        doc, problem = check_document(text) if self.path == "/api/live" else (None, "wrong path")
        entry = {
            "time": time.time(),
            "method": "POST",
            "path": self.path,
            "userAgent": self.headers.get("User-Agent"),
            "contentType": self.headers.get("Content-Type"),
            "accept": self.headers.get("Accept"),
            "expect": self.headers.get("Expect"),
            "bytes": len(raw),
            "tlsResumed": getattr(self.connection, "session_reused", None),
            "problem": problem,
            "document": doc,
            "raw": None if doc is not None else text,
        }
        state.write_record(entry)
        time.sleep(float(answer.get("delay", 0)))
        if "fault" in answer:
            self.misbehave(answer)
            return
        status = answer.get("status", "json")
        if status == "json":
            if problem:
                self.answer(400, json.dumps({"error": problem}).encode())
            else:
                self.answer(200, b"")
            return
        self.answer(int(status), answer.get("body", "").encode("utf-8"))

    def finish(self):
        try:
            super().finish()
        except (OSError, ssl.SSLError, ValueError):
            pass  # a connection this side cut on purpose

    def misbehave(self, how):
        fault = how["fault"]
        status = int(how.get("status", 500))
        body = how.get("body", "").encode()
        self.close_connection = True
        try:
            if fault == "garbage":
                self.wfile.write(b"SSH-2.0-OpenSSH_9.2p1\r\n")
            elif fault == "reset":
                self.send_response(status)
                self.send_header("Content-Length", str(len(body) + 1000))
                self.end_headers()
                self.wfile.write(body)
                self.wfile.flush()
                time.sleep(0.2)
                # No TLS close, and a reset rather than an orderly end.
                self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                           struct.pack("ii", 1, 0))
                self.connection.close()
            elif fault == "short":
                self.send_response(status)
                self.send_header("Content-Length", str(len(body) + 1000))
                self.end_headers()
                self.wfile.write(body)
            elif fault == "endless":
                self.send_response(status)
                self.end_headers()  # no length: the body runs until the connection ends
                while True:
                    self.wfile.write(b"x" * 16384)
            elif fault == "trickle":
                head = (f"HTTP/1.1 {status} Slow\r\nContent-Length: {len(body)}\r\n\r\n"
                        .encode())
                if not how.get("head"):
                    self.wfile.write(head)
                    head = b""
                for b in head + body:
                    self.wfile.flush()
                    time.sleep(1)
                    self.wfile.write(bytes([b]))
        except (OSError, ssl.SSLError, ValueError):
            pass

    def answer(self, status, body):
        self.send_response(status)
        if body:
            self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if body:
            self.wfile.write(body)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bind", default="127.0.0.1")
    ap.add_argument("--port", type=int, default=443)
    ap.add_argument("--cert", required=True)
    ap.add_argument("--key", required=True)
    ap.add_argument("--config", required=True)
    ap.add_argument("--record", required=True)
    a = ap.parse_args()
    if not a.bind.startswith("127.") and a.bind != "::1":
        sys.exit("the test service only listens on loopback")
    server = ThreadingHTTPServer((a.bind, a.port), Handler)
    server.daemon_threads = True
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(a.cert, a.key)
    server.socket = ctx.wrap_socket(server.socket, server_side=True)
    server.state = State(a.config, a.record)
    open(a.record, "a").close()
    print(f"service: listening on {a.bind}:{a.port}", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
