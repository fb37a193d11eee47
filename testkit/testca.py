"""A throw-away certificate authority and server certificates for the test service."""
import fcntl
import os
import shutil
import subprocess


def _run(*args, cwd):
    subprocess.run(args, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


SIGNER = "Korvane Test Publisher"


def _fresh(folder):
    """True when every credential is there and valid for at least another day."""
    if not os.path.exists(os.path.join(folder, "expired.pem")):
        return False
    for name in ("server", "rogue", "signer", "rogue-signer", "otherhost"):
        pem = os.path.join(folder, name + ".pem")
        if not os.path.exists(pem):
            return False
        if subprocess.run(["openssl", "x509", "-checkend", "86400", "-noout", "-in", pem],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
            return False
    return True


def issue(folder, name, cn, extensions, issuer, key=None):
    """name.pem/name.key in `folder`, for `cn` (None: a name without one)
    with the given extensions (none at all when empty), issued by `issuer`
    (the path of its .pem, its key beside it as .key), for `key` (a fresh one
    when None). Also name.chain.pem: its issuers below the root, for a
    signature that carries the whole chain."""
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name + ".ext"), "w") as f:
        f.write(extensions)
    if key:
        shutil.copyfile(key, os.path.join(folder, name + ".key"))
    _run("openssl", "req", *(["-new", "-key", name + ".key"] if key else
                             ["-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key"]),
         "-out", name + ".csr", "-utf8", "-subj", f"/CN={cn}" if cn else "/O=Korvane Test",
         cwd=folder)
    issuer_key = issuer[:-len(".pem")] + ".key"
    _run("openssl", "x509", "-req", "-in", name + ".csr", "-CA", issuer, "-CAkey", issuer_key,
         "-set_serial", str(int.from_bytes(os.urandom(8), "big") >> 1), "-out", name + ".pem",
         "-days", "7", *(["-extfile", name + ".ext"] if extensions else []), cwd=folder)
    issuers = issuer[:-len(".pem")] + ".chain.pem"
    with open(os.path.join(folder, name + ".chain.pem"), "w") as out:
        if os.path.exists(issuers):  # the issuer is an intermediate itself
            out.write(open(issuer).read() + open(issuers).read())
    return os.path.join(folder, name + ".pem")


INTERMEDIATE = "basicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign,cRLSign\n"
CODE_SIGNING = "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n" \
               "extendedKeyUsage=codeSigning\n"


def _expired(folder, name, host):
    """name.pem/name.key from the test authority for `host`, valid only in 2020
    (`openssl ca` is the one that takes a start and an end date)."""
    with open(os.path.join(folder, "ca.cnf"), "w") as f:
        f.write("[ca]\ndefault_ca = test\n[test]\ndatabase = index.txt\nnew_certs_dir = .\n"
                "serial = ca.srl\ndefault_md = sha256\npolicy = any\ncopy_extensions = copy\n"
                "[any]\ncommonName = supplied\n")
    open(os.path.join(folder, "index.txt"), "w").close()
    with open(os.path.join(folder, "ca.srl"), "w") as f:
        f.write(os.urandom(8).hex().upper() + "\n")
    _run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key",
         "-out", name + ".csr", "-subj", f"/CN={host}", "-addext", f"subjectAltName=DNS:{host}",
         cwd=folder)
    _run("openssl", "ca", "-batch", "-config", "ca.cnf", "-cert", "ca.pem", "-keyfile", "ca.key",
         "-in", name + ".csr", "-out", name + ".pem", "-startdate", "20200101000000Z",
         "-enddate", "20200201000000Z", "-notext", cwd=folder)


def _self_signed(folder, name, cn, extension):
    """name.pem/name.key, signed by itself and so trusted by nobody."""
    _run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key",
         "-out", name + ".pem", "-days", "7", "-subj", f"/CN={cn}", "-addext", extension,
         cwd=folder)


def make_ca(folder, host):
    """Creates in `folder`: ca.pem; server.pem/server.key (signed by the CA, for
    `host`); rogue.pem/rogue.key (self-signed, trusted by nobody); signer.pem/
    signer.key, a code-signing certificate from the CA named SIGNER; and
    rogue-signer.pem/.key, a self-signed one of the same name; otherhost.pem/.key
    (from the CA, for another name) and expired.pem/.key (from the CA, for
    `host`, expired long ago). Credentials that
    expire within a day are made anew."""
    # Cases start side by side: one at a time makes (or finds) the credentials,
    # so none deletes what another has just made and is using.
    os.makedirs(os.path.dirname(os.path.abspath(folder)), exist_ok=True)
    with open(folder + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not _fresh(folder):
            _make(folder, host)


def _make(final, host):
    shutil.rmtree(final, ignore_errors=True)
    # Built aside and renamed into place: a run killed halfway leaves no half.
    folder = f"{final}.{os.getpid()}"
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    _run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key",
         "-out", "ca.pem", "-days", "7", "-subj", "/CN=Korvane Test Authority",
         "-addext", "basicConstraints=critical,CA:TRUE",
         "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=folder)
    ca = os.path.join(folder, "ca.pem")
    issue(folder, "server", host, f"subjectAltName=DNS:{host}\nbasicConstraints=CA:FALSE\n"
          "keyUsage=critical,digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n",
          ca)
    issue(folder, "signer", SIGNER, CODE_SIGNING, ca)
    issue(folder, "otherhost", "other.example", "subjectAltName=DNS:other.example\n"
          "extendedKeyUsage=serverAuth\n", ca)
    _expired(folder, "expired", host)
    _self_signed(folder, "rogue", host, f"subjectAltName=DNS:{host}")
    _self_signed(folder, "rogue-signer", SIGNER, "extendedKeyUsage=codeSigning")
    os.rename(folder, final)
