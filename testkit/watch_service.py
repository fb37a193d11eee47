#!/usr/bin/env python3
"""Prints one line per document the test service received, as they arrive."""
import json
import sys
import time


def summary(r):
    d = r.get("document")
    if d is None:
        return f"REJECTED {r.get('problem')}"
    fuel = d["fuel"]
    ve = d.get("ve")
    stop = d["lastStop"]
    parts = [
        time.strftime("%H:%M:%S", time.localtime(r["time"])),
        f"lap {d['lap']['current']}",
        f"{fuel['remaining']:.1f}L",
        f"{fuel['avgPerLap']:.2f}L/lap" if fuel["laps"] else "",
        f"ve {ve['percent']:.0f}%" if ve else "",
        "PIT" if d["status"]["inPitlane"] else "",
        f"stop {stop['stationarySec']:.0f}s +{stop['litres']:.0f}L" if stop["valid"] else "",
        f"{len(d['standings'])} cars",
    ]
    return "  ".join(p for p in parts if p) + ("" if not r.get("problem") else f"  !! {r['problem']}")


def main():
    path = sys.argv[1]
    print("What the Korvane test service receives:\n", flush=True)
    offset = 0
    while True:
        try:
            with open(path) as f:
                f.seek(offset)
                for line in f:
                    if line.endswith("\n"):
                        print(summary(json.loads(line)), flush=True)
                        offset += len(line.encode())
        except FileNotFoundError:
            pass
        time.sleep(0.25)


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        pass
