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


def _issue(folder, name, cn, extensions):
    """name.pem/name.key, issued by the test authority."""
    with open(os.path.join(folder, name + ".ext"), "w") as f:
        f.write(extensions)
    _run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key",
         "-out", name + ".csr", "-subj", f"/CN={cn}", cwd=folder)
    _run("openssl", "x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
         "-CAcreateserial", "-out", name + ".pem", "-days", "7", "-extfile", name + ".ext",
         cwd=folder)


def _self_signed(folder, name, cn, extension):
    """name.pem/name.key, signed by itself and so trusted by nobody."""
    _run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key",
         "-out", name + ".pem", "-days", "7", "-subj", f"/CN={cn}", "-addext", extension,
         cwd=folder)


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
    _run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key",
         "-out", "ca.pem", "-days", "7", "-subj", "/CN=Korvane Test Authority",
         "-addext", "basicConstraints=critical,CA:TRUE",
         "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=folder)
    _issue(folder, "server", host, f"subjectAltName=DNS:{host}\nbasicConstraints=CA:FALSE\n"
           "keyUsage=critical,digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n")
    _issue(folder, "signer", SIGNER, "basicConstraints=CA:FALSE\n"
           "keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")
    _self_signed(folder, "rogue", host, f"subjectAltName=DNS:{host}")
    _self_signed(folder, "rogue-signer", SIGNER, "extendedKeyUsage=codeSigning")
    try:
        os.rename(folder, final)
    except OSError:
        import shutil
        shutil.rmtree(folder, ignore_errors=True)
