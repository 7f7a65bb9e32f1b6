#!/usr/bin/env python3
"""The demo: a sample product, installed, and its update medium of two disks.

    demo.py --bin-dir BUILD --work DIR

Makes a machine of its own under DIR (a prefix with its registry, drive C:
with the installation, the medium's disks as mkmedium makes them of the
update's files), then runs the launcher from the
medium in this terminal. When the updater asks for the next disk, the demo
puts it in the drive before you answer. Without a terminal the demo answers
by itself, as the end-to-end test of the same machine does.
"""

import argparse
import os
import pty
import re
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))

import harness  # noqa: E402
import scenarios  # noqa: E402

DISK_REQUEST = re.compile("ディスク ([0-9]+) を入れてください")


def when(ticks: int) -> str:
    return time.strftime("%Y-%m-%d %H:%M", time.gmtime((ticks - harness.UNIX_EPOCH_TICKS) / 1e7))


def show_installation(backend, s, heading):
    print(heading)
    for name, (data, ticks) in sorted(backend.tree(s.installation).items()):
        print(f"    {s.installation}\\{name:<20} {len(data):>8} bytes  {when(ticks)} UTC")


def show_machine(backend, s):
    print("The demo's machine, made afresh in", backend.work)
    print(f"  registry: HKLM\\{harness.UNINSTALL}{scenarios.REG}  UninstallString = {scenarios.UNINSTALL_STRING}")
    show_installation(backend, s, "  the installed product (DATA\\STAGE1.DAT is newer than the update's copy):")
    print("  the medium, made by mkmedium of the update's files:")
    disks = os.path.join(backend.prefix, "disks")
    for disk in sorted(os.listdir(disks), key=int):
        names = []
        for folder, _, files in os.walk(os.path.join(disks, disk)):
            rel = os.path.relpath(folder, os.path.join(disks, disk))
            names += [name if rel == "." else rel.replace("/", "\\") + "\\" + name for name in files]
        print(f"    disk {disk}: {', '.join(sorted(names))}")
    print(f"  disk 1 is in drive {s.drive}:, the temporary directory is {s.temp_dir}")
    print()


def run_in_terminal(backend, s):
    """The launcher in this terminal; the next disk goes in when it is asked for."""
    os.environ.update(backend.environment(s))
    seen = {"text": "", "inserted": 0}

    def watch(fd):
        data = os.read(fd, 4096)
        seen["text"] += data.decode("utf-8", errors="replace")
        requests = DISK_REQUEST.findall(seen["text"])
        note = b""
        while seen["inserted"] < len(requests):
            disk = int(requests[seen["inserted"]])
            seen["inserted"] += 1
            backend.insert(disk)
            note += f"\r\n   [demo: disk {disk} is now in drive {s.drive}:]\r\n".encode()
        return data + note

    print("Answer with the keys in brackets (Enter takes the starred one; Esc is Escape).")
    print(f"Starting {backend.windows(backend.launch)} ...")
    pty.spawn([backend.launch], watch)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin-dir", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()

    s = scenarios.DEMO
    backend = harness.PosixBackend(os.path.abspath(args.bin_dir), os.path.abspath(args.work))
    interactive = sys.stdin.isatty() and sys.stdout.isatty()
    if interactive:
        backend.setup(s)
        show_machine(backend, s)
        run_in_terminal(backend, s)
    else:
        print("No terminal: the demo answers by itself:", ", ".join(str(a) for a in s.answers))
        result = backend.run(s)
        print(backend.output)
        problems = result.notes + harness.check(s, result)
        if problems:
            print("\n".join(problems))
            return 1
    print()
    show_installation(backend, s, "The installation now:")
    left = sorted(os.listdir(backend.host(s.temp_dir)))
    print(f"  left in {s.temp_dir}: {', '.join(left) or 'nothing'}")
    for removal in backend.removals() or ["nothing"]:
        print("  to delete at the next restart:", removal.split(" ", 1)[-1])
    print("  the transcript of every box:", backend.transcript_path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
