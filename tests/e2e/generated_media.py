#!/usr/bin/env python3
"""Media that mkmedium builds from generated trees check clean and install,
through the POSIX programs, to exactly the tree they were made from.

    generated_media.py --bin-dir BUILD --work DIR [--seeds N] [--first SEED]

Each seed makes a tree of its own: files in the root and in folders, names in
Shift-JIS (some with a second byte 0x5C), the same name in two folders, files
just below, at and just above the room of an empty disk, several files that
span disks, text that compresses and noise that does not. The medium is built
with small stand-ins for the programs, so that its disks stay small; the run
puts the real programs on disk 1 and answers every disk request in turn.
"""

import argparse
import os
import random
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
from harness import NEW, Insert, PosixBackend, Scenario  # noqa: E402
from scenarios import (APP, INSTALL, REG, TEMP_COPY, TITLE, completion, confirm, insert_disk,  # noqa: E402
                       installed, progress, restart_notice)

TICKS_PER_SECOND = harness.TICKS_PER_SECOND
FOLDERS = ["DATA", "データ", "ソフト", "能力", "sub"]
STEMS = ["MAIN", "STAGE", "表", "ソ", "README", "ムービー", "BGM", "X"]
EXTENSIONS = [".DAT", ".EXE", ".TXT", "", ".A", ".表"]


def content(rng: random.Random, size: int) -> bytes:
    kind = rng.choice(["noise", "text", "zeros"])
    if kind == "noise":
        return rng.randbytes(size)
    if kind == "zeros":
        return bytes(size)
    words = [b"stage ", b"\x95\\\x8e\xa6 ", b"score=100\r\n", b"enemy ", b"boss\r\n"]
    out = bytearray()
    while len(out) < size:
        out += rng.choice(words)
    return bytes(out[:size])


def generate(rng: random.Random, room: int):
    """A tree of files {Windows name: (bytes, ticks)}, as the installation will hold it."""
    sizes = [room - 1, room, room + 1, rng.randint(2 * room, 4 * room), rng.randint(room, 3 * room),
             rng.randint(0, 200), rng.randint(0, room // 2)]
    rng.shuffle(sizes)
    tree = {}
    used = {}  # folder -> stems taken there (case ignored, as on Windows)
    for i, size in enumerate(sizes):
        folder = rng.choice([""] * 2 + FOLDERS)
        stems = used.setdefault(folder, set())
        free = [s for s in STEMS if s.upper() not in stems]
        stem = rng.choice(free)
        stems.add(stem.upper())
        name = stem + rng.choice(EXTENSIONS)
        path = folder + "\\" + name if folder else name
        # Whole seconds: the times survive every conversion unchanged.
        ticks = NEW + rng.randint(0, 10**6) * TICKS_PER_SECOND
        tree[path] = (content(rng, size) if rng.random() < 0.6 else rng.randbytes(size), ticks)
    # One name in two folders, both larger than a disk: their pieces meet in
    # the root of the disks.
    for folder in ("A", "B"):
        tree[folder + "\\BIG.DAT"] = (rng.randbytes(rng.randint(room + 1, 2 * room)), NEW)
    return tree


def put(path: str, data: bytes, ticks: int):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    ns = (ticks - harness.UNIX_EPOCH_TICKS) * 100
    os.utime(path, ns=(ns, ns))


def read_disks(out: str):
    """The built medium's files {disk: {name: (bytes, ticks)}}, the programs left out."""
    disks = {}
    for entry in os.listdir(out):
        n = int(entry[len("disk"):])
        files = {}
        root = os.path.join(out, entry)
        for folder, _, names in os.walk(root):
            for name in names:
                path = os.path.join(folder, name)
                rel = os.path.relpath(path, root).replace("/", "\\")
                if rel in ("Orbane", "Tavrix.bin"):
                    continue
                with open(path, "rb") as f:
                    data = f.read()
                files[rel] = (data, os.stat(path).st_mtime_ns // 100 + harness.UNIX_EPOCH_TICKS)
        disks[n] = files
    return disks


def expected_run(script: bytes):
    """The answers and boxes of a run over the medium whose script this is:
    a request for each disk as the entries come to it."""
    entries = []
    for line in script.decode("cp932").split("\r\n"):
        if line and not line.startswith(";") and "=" not in line:
            entries.append([int(d) for d in line.split(":", 1)[0].split("+")])
    answers, transcript, current = ["はい"], confirm(), 1
    for i, disks in enumerate(entries):
        for d in disks:
            if d != current:
                answers.append(Insert(d))
                transcript += insert_disk(d, progress(TITLE, i, len(entries)))
                current = d
    done = progress(TITLE, len(entries), len(entries))
    return answers + ["OK", "OK"], transcript + completion(done) + restart_notice(done)


def one_seed(seed: int, bin_dir: str, work: str):
    rng = random.Random(seed)
    room = rng.randint(3000, 9000)
    tree = generate(rng, room)
    shutil.rmtree(work, ignore_errors=True)
    files, out, prefix = (os.path.join(work, d) for d in ("update", "medium", "check-prefix"))
    for name, (data, ticks) in tree.items():
        put(os.path.join(files, *name.split("\\")), data, ticks)
    os.makedirs(prefix)
    # Stand-ins for the programs: the tool only tells their platform and copies them.
    for stub, size in (("Orbane", 100), ("Tavrix.bin", 200)):
        with open(os.path.join(work, stub), "wb") as f:
            f.write(b"\x7fELF" + bytes(size - 4))
    mkmedium = os.path.join(bin_dir, "tools", "mkmedium", "mkmedium")
    env = dict(os.environ, WINEPREFIX=prefix)
    log = os.path.join(work, "mkmedium.log")
    with open(log, "wb") as f:
        built = subprocess.call([mkmedium, "build", "--quiet", "--disk-size", str(room), "--orbane",
                                 os.path.join(work, "Orbane"), "--tavrix", os.path.join(work, "Tavrix.bin"),
                                 "--appname", APP, "--registry", REG, files, out],
                                stdin=subprocess.DEVNULL, stdout=f, stderr=subprocess.STDOUT, env=env)
        checked = built == 0 and subprocess.call([mkmedium, "check", out], stdin=subprocess.DEVNULL, stdout=f,
                                                 stderr=subprocess.STDOUT, env=env)
    problems = []
    if built != 0 or checked != 0:
        with open(log, encoding="utf-8", errors="replace") as f:
            return [("mkmedium build failed" if built else "mkmedium check found problems") + ":\n" + f.read()]
    with open(os.path.join(out, "disk1", "Orbane.fix"), "rb") as f:
        script = f.read()
    if b"+" not in script:
        problems.append("no file was split: the tree tests nothing")
    answers, transcript = expected_run(script)
    disks = read_disks(out)
    # The updater makes no folder, in the installation either: the product
    # installed has the folders that its update fills.
    folders = {INSTALL + "\\" + name.rsplit("\\", 1)[0] + "\\": b"" for name in tree if "\\" in name}
    s = Scenario(name=f"seed {seed}", about="a generated tree", registry=installed(),
                 files={INSTALL + "\\": b"", **dict.fromkeys(folders, b"")}, disks=disks, answers=answers, transcript=transcript,
                 tree=tree, temp_files=["Tavrix.bin"], removals=["restart " + TEMP_COPY])
    backend = PosixBackend(bin_dir, os.path.join(work, "run"))
    result = backend.run(s)
    problems += result.notes + harness.check(s, result)
    if problems:
        problems.append("--- what the programs printed ---\n" + getattr(backend, "output", ""))
    return problems


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin-dir", required=True, help="the build tree holding the programs and mkmedium")
    parser.add_argument("--work", required=True, help="where the trees, media and machines are made")
    parser.add_argument("--seeds", type=int, default=4)
    parser.add_argument("--first", type=int, default=1)
    args = parser.parse_args()
    failed = 0
    for seed in range(args.first, args.first + args.seeds):
        problems = one_seed(seed, os.path.abspath(args.bin_dir), os.path.join(os.path.abspath(args.work), str(seed)))
        if problems:
            failed += 1
            print(f"FAIL seed {seed}")
            for p in problems:
                print("  " + p.replace("\n", "\n  "))
        else:
            print(f"ok   seed {seed}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
