#!/usr/bin/env python3
"""The shipped program is one x86-64 console .exe that needs only Windows' own
DLLs; given a version, it also carries its version resource and its
application manifest."""
import re
import subprocess
import sys

SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "winhttp.dll", "user32.dll", "advapi32.dll",
               "ws2_32.dll", "ntdll.dll", "bcrypt.dll", "crypt32.dll", "wintrust.dll",
               "shell32.dll", "ole32.dll"}


def main():
    exe = sys.argv[1]
    out = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", exe], capture_output=True,
                         text=True, check=True).stdout
    problems = []
    if "file format pei-x86-64" not in out:
        problems.append("not an x86-64 PE file")
    m = re.search(r"^Subsystem\s+0*(\w+)", out, re.M)
    if not m or int(m.group(1), 16) != 3:
        problems.append(f"not a console program (subsystem {m.group(1) if m else '?'})")
    dlls = {d.lower() for d in re.findall(r"DLL Name: (\S+)", out)}
    extra = dlls - SYSTEM_DLLS
    if extra:
        problems.append("imports non-system DLLs: " + ", ".join(sorted(extra)))
    if len(sys.argv) > 2:
        with open(exe, "rb") as f:
            data = f.read()
        wide = lambda text: text.encode("utf-16-le")
        for key, value in (("ProductVersion", sys.argv[2]), ("FileVersion", sys.argv[2]),
                           ("ProductName", "Korvane Companion"),
                           ("OriginalFilename", "korvane-companion.exe")):
            if wide(key) not in data or wide(value + "\0") not in data:
                problems.append(f"no {key} {value} in its version resource")
        for text in ('requestedExecutionLevel level="asInvoker"',
                     "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"):
            if text.encode() not in data:
                problems.append(f"no {text} in its application manifest")
    if problems:
        print("FAIL " + exe + ": " + "; ".join(problems))
        return 1
    print(f"ok {exe}: imports {', '.join(sorted(dlls))}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
