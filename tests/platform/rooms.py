#!/usr/bin/env python3
"""Checks that the rooms of the POSIX layer include only rooms below them, and
that nothing outside the layer but the tests reaches into it."""
import pathlib
import re
import sys

# A room may include the rooms listed for it, and itself.
BELOW = {
    "text": set(),
    "files": {"text"},
    "lz": {"files", "text"},
    "registry": {"files", "text"},
    "process": {"registry", "files", "text"},
    "ui": {"text"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def faults(root):
    posix = root / "platform" / "posix"
    found = []
    for path in sorted(posix.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        room = path.relative_to(posix).parts[0]
        if room not in BELOW:
            found.append(f"{path.relative_to(root)}: outside every room")
            continue
        for name in INCLUDE.findall(path.read_text(encoding="utf-8")):
            if "/" not in name:
                target = room if (path.parent / name).exists() else None
            elif name.startswith("platform/posix/"):
                target = name.split("/")[2]
            else:
                continue
            if target is None:
                found.append(f"{path.relative_to(root)}: \"{name}\" is not in its room")
            elif target != room and target not in BELOW[room]:
                found.append(f"{path.relative_to(root)}: {room}/ includes {target}/, which stands above it")
    for top in ("foundation", "script", "engine", "updater", "launcher", "codec", "wintext", "tools", "bench"):
        for path in sorted((root / top).rglob("*")):
            # rcgen writes the dialog tables of the ui room, so it names the room's header.
            if path.parts[-2:] == ("rcgen", "rcgen.cpp"):
                continue
            if path.suffix in (".h", ".cpp") and "platform/posix/" in path.read_text(encoding="utf-8"):
                found.append(f"{path.relative_to(root)}: reaches into platform/posix/")
    return found


if __name__ == "__main__":
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    problems = faults(root)
    for p in problems:
        print(p)
    print(f"{len(problems)} problems in the includes of the POSIX layer")
    sys.exit(1 if problems else 0)
