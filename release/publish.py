#!/usr/bin/env python3
"""Lays out a release: the builds, their signatures and the two manifests.

  publish.py --out DIR --version V --base-url https://host/path
             [--exe korvane-companion.exe] [--linux korvane-companion]
             [--plugin rFactor2SharedMemoryMapPlugin64.dll]
             [--cert signer.pem --key signer.key [--chain issuers.pem]]
             [--notes TEXT]

The Windows program is signed in place with osslsigncode (Authenticode); the
Linux program gets a detached CMS signature beside it (name + ".p7s"). Both
signatures carry the whole chain: the signer's certificate, then any further
certificates in its file and in --chain (intermediates, not the root), so a
signer issued by an intermediate verifies where only the root is trusted. Each
manifest names the build's address (base URL + file name), its SHA-256 and,
when signed, the signer's common name, which the program then insists on.

With --plugin, the telemetry plugin is laid out too, with plugin-latest.json
(its address, its SHA-256, the release's version and the day it expires,
--plugin-days after today, 90 by default) and, when signed,
plugin-latest.json.p7s: a detached signature over the manifest's exact bytes,
which a program with a pinned publisher requires before it downloads the
plugin. Such a program refuses a manifest past its day, or older than one it
took before: publish the plugin again with every release, within the days.
"""
import argparse
import datetime
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile

PLUGIN = "rFactor2SharedMemoryMapPlugin64.dll"
WINDOWS = ("korvane-companion.exe", "companion-latest.json")
LINUX = ("korvane-companion", "companion-latest-linux.json")


def common_name(cert, required=True):
    out = subprocess.run(["openssl", "x509", "-noout", "-subject", "-nameopt", "multiline",
                          "-in", cert], capture_output=True, text=True, check=True).stdout
    for line in out.splitlines():
        key, _, value = line.strip().partition("=")
        if key.strip() == "commonName":
            return value.strip()
    if required:
        sys.exit(f"{cert}: no common name")
    return ""


def pem_blocks(name):
    with open(name) as f:
        text = f.read()
    end = "-----END CERTIFICATE-----"
    return [b.strip() + "\n" + end + "\n" for b in text.split(end) if "-----BEGIN" in b]


def signing_files(a):
    """The signer's certificate alone; its issuers (the rest of its file, then
    --chain) in a file of their own, or None when it has none; and both in one
    file, the whole chain."""
    blocks = pem_blocks(a.cert) + (pem_blocks(a.chain) if a.chain else [])
    files = []
    for name, part in (("signer.pem", blocks[:1]), ("issuers.pem", blocks[1:]),
                       ("chain.pem", blocks)):
        path = os.path.join(a.scratch, name)
        with open(path, "w") as f:
            f.write("".join(part))
        files.append(path)
    signer, issuers, chain = files
    return signer, issuers if len(blocks) > 1 else None, chain


def sign_exe(path, a):
    chain = signing_files(a)[2]
    signed = path + ".signed"
    subprocess.run(["osslsigncode", "sign", "-certs", chain, "-key", a.key, "-h", "sha256",
                    "-n", "Korvane Companion", "-in", path, "-out", signed],
                   check=True, stdout=subprocess.DEVNULL)
    os.replace(signed, path)


def sign_detached(path, a):
    signer, issuers, _ = signing_files(a)
    subprocess.run(["openssl", "cms", "-sign", "-binary", "-in", path, "-signer", signer,
                    *(["-certfile", issuers] if issuers else []), "-inkey", a.key,
                    "-outform", "DER", "-out", path + ".p7s"], check=True)


def publish(build, kind, a):
    name, manifest = kind
    target = os.path.join(a.out, name)
    shutil.copyfile(build, target)
    os.chmod(target, 0o755)
    signer = ""
    if a.cert:
        (sign_exe if kind is WINDOWS else sign_detached)(target, a)
        signer = common_name(a.cert, required=False)
    with open(target, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    fields = {"version": a.version, "url": a.base_url.rstrip("/") + "/" + name,
              "sha256": digest, "notes": a.notes, "signer": signer}
    with open(os.path.join(a.out, manifest), "w") as f:
        json.dump(fields, f, indent=2)
        f.write("\n")
    print(f"{manifest}: {name} {a.version} sha256 {digest[:12]}..."
          + (f" signed by {signer}" if signer else " unsigned"))


def publish_plugin(dll, a):
    target = os.path.join(a.out, PLUGIN)
    shutil.copyfile(dll, target)
    with open(target, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    manifest = os.path.join(a.out, "plugin-latest.json")
    with open(manifest, "w") as f:
        expires = datetime.date.today() + datetime.timedelta(days=a.plugin_days)
        json.dump({"url": a.base_url.rstrip("/") + "/" + PLUGIN, "sha256": digest,
                   "version": a.version, "expires": expires.isoformat()}, f, indent=2)
        f.write("\n")
    if a.cert:
        sign_detached(manifest, a)
    print(f"plugin-latest.json: {PLUGIN} sha256 {digest[:12]}..."
          + (" (manifest signed)" if a.cert else " (manifest unsigned)"))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--out", required=True)
    ap.add_argument("--version", required=True)
    ap.add_argument("--base-url", required=True)
    ap.add_argument("--exe")
    ap.add_argument("--linux")
    ap.add_argument("--plugin")
    ap.add_argument("--cert")
    ap.add_argument("--key")
    ap.add_argument("--chain", help="PEM file of the signer's issuing certificates")
    ap.add_argument("--notes", default="")
    ap.add_argument("--plugin-days", type=int, default=90,
                    help="days the plugin manifest stays valid")
    a = ap.parse_args()
    if not a.base_url.startswith("https://"):
        sys.exit("the base URL must start with https://")
    if bool(a.cert) != bool(a.key):
        sys.exit("give both --cert and --key, or neither")
    if a.chain and not a.cert:
        sys.exit("--chain goes with --cert and --key")
    os.makedirs(a.out, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="korvane-sign-") as a.scratch:
        if a.exe:
            publish(a.exe, WINDOWS, a)
        if a.linux:
            publish(a.linux, LINUX, a)
        if a.plugin:
            publish_plugin(a.plugin, a)


if __name__ == "__main__":
    main()
