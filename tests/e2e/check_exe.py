#!/usr/bin/env python3
"""The shipped program is one x86-64 console .exe that imports only the DLLs
Windows itself protects as known ones: any other would be looked for beside
the .exe first. (Its version resource is read back by the unit tests.)"""
import re
import subprocess
import sys

KNOWN_DLLS = {"kernel32.dll", "msvcrt.dll", "user32.dll", "advapi32.dll", "ws2_32.dll",
              "ntdll.dll", "shell32.dll", "ole32.dll"}


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
    extra = dlls - KNOWN_DLLS
    if extra:
        problems.append("imports DLLs Windows looks for beside the .exe: " + ", ".join(sorted(extra)))
    if problems:
        print("FAIL " + exe + ": " + "; ".join(problems))
        return 1
    print(f"ok {exe}: imports {', '.join(sorted(dlls))}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
