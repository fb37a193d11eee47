#!/usr/bin/env python3
"""./dev release without a signing certificate, or without the one authority
the Linux program is to trust for its updates, refuses before building or
laying out anything: every program it ships pins its publisher."""
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
for args, said in (([], "without a signing certificate"),
                   (["--cert", "signer.pem", "--key", "signer.key"], "(--ca AUTHORITY.pem)")):
    run = subprocess.run([os.path.join(ROOT, "dev"), "release", "--base-url",
                          "https://example.invalid/c", *args], capture_output=True, text=True, timeout=60)
    out = run.stdout + run.stderr
    if run.returncode != 2 or said not in out or "== build" in out:
        sys.exit(f"exit {run.returncode}:\n{out}")
