"""A throw-away certificate authority and server certificates for the test service."""
import os
import subprocess


def _run(*args, cwd):
    subprocess.run(args, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_ca(folder, host):
    """Creates ca.pem, server.pem/server.key (signed by the CA, for `host`) and
    rogue.pem/rogue.key (self-signed, trusted by nobody) in `folder`."""
    if os.path.exists(os.path.join(folder, "server.pem")):
        return
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
    try:
        os.rename(folder, final)
    except OSError:
        import shutil
        shutil.rmtree(folder, ignore_errors=True)
