"""A throw-away certificate authority and server certificates for the test service."""
import os
import subprocess


def _run(*args, cwd):
    subprocess.run(args, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


SIGNER = "Korvane Test Publisher"


def _fresh(folder):
    """True when every credential is there and valid for at least another day."""
    for name in ("server", "rogue", "signer", "rogue-signer"):
        pem = os.path.join(folder, name + ".pem")
        if not os.path.exists(pem):
            return False
        if subprocess.run(["openssl", "x509", "-checkend", "86400", "-noout", "-in", pem],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
            return False
    return True


def make_ca(folder, host):
    """Creates in `folder`: ca.pem; server.pem/server.key (signed by the CA, for
    `host`); rogue.pem/rogue.key (self-signed, trusted by nobody); signer.pem/
    signer.key, a code-signing certificate from the CA named SIGNER; and
    rogue-signer.pem/.key, a self-signed one of the same name. Credentials that
    expire within a day are made anew."""
    if _fresh(folder):
        return
    import shutil
    shutil.rmtree(folder, ignore_errors=True)
    # Built aside and renamed into place, so runs side by side never see half.
    final = folder
    folder = f"{final}.{os.getpid()}"
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "server.ext"), "w") as f:
        f.write(f"subjectAltName=DNS:{host}\nbasicConstraints=CA:FALSE\n"
                "keyUsage=critical,digitalSignature,keyEncipherment\n"
                "extendedKeyUsage=serverAuth\n")
    _run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key",
         "-out", "ca.pem", "-days", "7", "-subj", "/CN=Korvane Test Authority",
         "-addext", "basicConstraints=critical,CA:TRUE",
         "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=folder)
    _run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key",
         "-out", "server.csr", "-subj", f"/CN={host}", cwd=folder)
    _run("openssl", "x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
         "-CAcreateserial", "-out", "server.pem", "-days", "7", "-extfile", "server.ext",
         cwd=folder)
    _run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "rogue.key",
         "-out", "rogue.pem", "-days", "7", "-subj", f"/CN={host}",
         "-addext", f"subjectAltName=DNS:{host}", cwd=folder)
    with open(os.path.join(folder, "signer.ext"), "w") as f:
        f.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                "extendedKeyUsage=codeSigning\n")
    _run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", "signer.key",
         "-out", "signer.csr", "-subj", f"/CN={SIGNER}", cwd=folder)
    _run("openssl", "x509", "-req", "-in", "signer.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
         "-CAcreateserial", "-out", "signer.pem", "-days", "7", "-extfile", "signer.ext",
         cwd=folder)
    _run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "rogue-signer.key",
         "-out", "rogue-signer.pem", "-days", "7", "-subj", f"/CN={SIGNER}",
         "-addext", "extendedKeyUsage=codeSigning", cwd=folder)
    try:
        os.rename(folder, final)
    except OSError:
        import shutil
        shutil.rmtree(folder, ignore_errors=True)
