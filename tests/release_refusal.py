#!/usr/bin/env python3
"""./dev release without a signing certificate, or without the authority of
its updates for Linux, refuses before building or
laying out anything: every program it ships pins its publisher."""
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
run = subprocess.run([os.path.join(ROOT, "dev"), "release", "--base-url", "https://example.invalid/c"],
                     capture_output=True, text=True, timeout=60)
out = run.stdout + run.stderr
if run.returncode != 2 or "without a signing certificate" not in out or "== build" in out:
    sys.exit(f"exit {run.returncode}:\n{out}")

# Nor without the authority the Linux program is to trust alone.
run = subprocess.run([os.path.join(ROOT, "dev"), "release", "--base-url", "https://example.invalid/c",
                      "--cert", "signer.pem", "--key", "signer.key"],
                     capture_output=True, text=True, timeout=60)
out = run.stdout + run.stderr
if run.returncode != 2 or "(--ca AUTHORITY.pem)" not in out or "== build" in out:
    sys.exit(f"exit {run.returncode}:\n{out}")
