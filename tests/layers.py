#!/usr/bin/env python3
"""Every include in src/ points down the layers (or stays in its own folder)."""
import os
import re
import sys

# Lower rank: further down. Folders of one rank never include each other.
RANK = {"platform": 0, "core": 1, "telemetry": 2, "update": 2, "analysis": 3, "setup": 3,
        "feed": 4, "gamerest": 5, "tools": 6, "app": 7}
SRC = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src")
up = []
for folder, _, files in os.walk(SRC):
    own = os.path.relpath(folder, SRC).split(os.sep)[0]
    for name in files:
        with open(os.path.join(folder, name), errors="replace") as f:
            for n, line in enumerate(f, 1):
                m = re.match(r'\s*#\s*include\s+"(\w+)/', line)
                if m and m.group(1) in RANK and m.group(1) != own and \
                        RANK[m.group(1)] >= RANK[own]:
                    up.append(f"src/{os.path.relpath(folder, SRC)}/{name}:{n}: {line.strip()}")
print("\n".join(up) or "every include points down")
sys.exit(1 if up else 0)
