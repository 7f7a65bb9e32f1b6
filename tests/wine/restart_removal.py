#!/usr/bin/env python3
"""The restart-time deletion on the real platform, carried out.

Runs one end-to-end scenario under Wine playing the Windows version given,
and leaves the deletion it registered in place; stops the wine server, which
writes the registry to the prefix's system.reg, and reads what the updater
wrote for the next start: on the 9x family WININIT.INI in the Windows
folder, with NUL= the updater's temporary copy in its [rename] section, and
nothing in PendingFileRenameOperations; on the NT family that value, and no
WININIT.INI. Then starts Wine anew, which is Windows' restart for the
prefix, and checks that the copy is gone.

    restart_removal.py --bin-dir BUILD --work DIR --windows win98|nt40|win2k|winxp|win10

Run inside the build tree's Wine session (scripts/wine-session.sh) and alone:
it stops the session's wine server, and starts it again before it ends.
"""

import argparse
import dataclasses
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))

import harness  # noqa: E402
import scenarios  # noqa: E402
import wine_backend  # noqa: E402


def server(env_file: str, *args: str):
    """wineserver with args, as the user Wine runs as (scripts/wine-env.sh)."""
    script = '. "$1/scripts/wine-env.sh"; shift; as_wine_user "$ZEFA_WINESERVER" "$@"'
    subprocess.call(["sh", "-c", script, "sh", SOURCE, *args], stdin=subprocess.DEVNULL,
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=dict(os.environ, env_file=env_file))


def pending_in_system_reg(prefix: str):
    """The names in PendingFileRenameOperations of the Session Manager key, as saved."""
    with open(os.path.join(prefix, "system.reg"), encoding="utf-8", errors="replace") as f:
        text = f.read()
    key = re.search(r"^\[System\\\\CurrentControlSet\\\\Control\\\\Session Manager\][^\n]*\n(.*?)(?=^\[)",
                    text, re.S | re.M)
    if not key:
        return None
    # Wine writes a REG_MULTI_SZ as str(7):"..." with escapes, or as hex(7).
    text_value = re.search(r'^"PendingFileRenameOperations"=str\(7\):"((?:[^"\\]|\\.)*)"', key.group(1), re.M)
    if text_value:
        out, escaped = [], text_value.group(1)
        i = 0
        while i < len(escaped):
            c = escaped[i]
            if c == "\\" and escaped[i + 1] == "x":
                digits = re.match(r"[0-9a-fA-F]{1,4}", escaped[i + 2:]).group(0)
                out.append(chr(int(digits, 16)))
                i += 2 + len(digits)
            elif c == "\\":
                out.append("\0" if escaped[i + 1] == "0" else escaped[i + 1])
                i += 2
            else:
                out.append(c)
                i += 1
        return "".join(out).split("\0")
    value = re.search(r'^"PendingFileRenameOperations"=hex\(7\):((?:[^\n]*\\\n)*[^\n]*)', key.group(1), re.M)
    if not value:
        return None
    hexes = re.sub(r"[\\\s]", "", value.group(1))
    data = bytes(int(h, 16) for h in hexes.split(",") if h)
    return data.decode("utf-16-le").split("\0")


def wininit_sections(windows: str):
    """WININIT.INI in the Windows folder as {section: [(name, value)]}, or None."""
    names = [n for n in os.listdir(windows) if n.lower() == "wininit.ini"]
    if not names:
        return None
    with open(os.path.join(windows, names[0]), "rb") as f:
        text = f.read().decode("cp932", errors="replace")
    sections, current = {}, None
    for line in text.splitlines():
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            current = sections.setdefault(line[1:-1].lower(), [])
        elif "=" in line and current is not None:
            name, _, value = line.partition("=")
            current.append((name.strip(), value.strip()))
    return sections


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin-dir", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--windows", required=True, help="the prefix's Windows version, as winecfg names it")
    args = parser.parse_args()
    nine_x = args.windows in wine_backend.WINDOWS_9X

    base = next(s for s in scenarios.ALL if s.name == "complete_update")
    copy_path = base.temp_dir + "\\Tavrix.bin"
    scenario = dataclasses.replace(base, windows_version=args.windows,
                                   removals=[("wininit " if nine_x else "restart ") + copy_path])
    backend = wine_backend.WineBackend(os.path.abspath(args.bin_dir),
                                       os.path.join(os.path.abspath(args.work), "restart_removal_" + args.windows))
    backend.keep_removals = True
    result = backend.run(scenario)
    problems = result.notes + harness.check(backend.expected(scenario), result)
    copy = backend.host(copy_path)
    if not os.path.exists(copy):
        problems.append("the updater's temporary copy is missing after the run")

    server(backend.env_file, "-k")
    server(backend.env_file, "-w")
    pending = pending_in_system_reg(backend.prefix)
    wininit = wininit_sections(backend.host("C:\\windows"))
    if nine_x:
        want = {"rename": [("NUL", copy_path)]}
        if wininit != want:
            problems.append(f"WININIT.INI holds {wininit!r}, expected {want!r}")
        if pending and any(name.lower().endswith("\\tavrix.bin") for name in pending):
            problems.append(f"PendingFileRenameOperations holds {pending!r}: Windows 9x has no MoveFileEx")
    else:
        want = ["\\??\\" + copy_path, ""]
        if pending is None or pending[:2] != want:
            problems.append(f"system.reg holds PendingFileRenameOperations {pending!r}, expected {want!r} first")
        if wininit is not None:
            problems.append(f"WININIT.INI was written ({wininit!r}): the NT family does not read it")

    # The next start of Wine is the next start of Windows.
    backend.wine("cmd", "/c", "exit", log=os.path.join(backend.work, "restart.log"))
    if os.path.exists(copy):
        problems.append("the temporary copy is still there after the restart")
    # The server that start made ends by itself a few seconds after its last
    # client, and a program of the next test connecting just then loses it:
    # stop it now and leave a persistent one, as the session began with.
    server(backend.env_file, "-k")
    server(backend.env_file, "-w")
    server(backend.env_file, "-p")

    for p in problems:
        print("FAIL " + p)
    if not problems:
        way = "WININIT.INI" if nine_x else "PendingFileRenameOperations"
        print(f"ok   {args.windows}: the deletion was in {way} and was carried out at the next start")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
