#!/usr/bin/env python3
"""make bench: a whole update through Orbane and Tavrix, against the shell.

    update_bench.py --bin-dir BUILD --work DIR [--rounds N]

Makes the update's files from the corpora that transfer_bench left in DIR
(game-like bitmaps and sound, text, binaries, and noise that does not
shrink), a medium of three disks of them with mkmedium, and a machine with
the product installed (the end-to-end harness's POSIX backend). Then, round
after round, in turn:

  ours      the launcher started from disk 1, every box answered, each next
            disk put in the drive when it is asked for;
  shell     the same installation by a shell script: cp -p for a plain file,
            7zz e -so for a compressed one, a split file's pieces joined,
            touch -r for the times;
  shell/disk  the same with one 7zz e for all compressed files of a disk
            (names and times from the headers and files);
  cp -a     a copy of the expanded tree: what reading the update and writing
            the installation costs at the least.

Each contender's installation is compared with the update's files (bytes
and last-write times) after every run, before any figure is reported.
Medians of the rounds; Tavrix's peak resident set at two sizes of update.
"""

import argparse
import ctypes
import os
import resource
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))

import harness  # noqa: E402
import scenarios  # noqa: E402

MiB = 1 << 20
SEVEN_ZIP = "/usr/bin/7zz"
PR_SET_CHILD_SUBREAPER = 36


def children_cpu() -> float:
    """Processor time of the children this process has collected so far."""
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def corpus_slices(work: str, scale: float):
    """The update's files, by installation name: 27 files, of which the four
    noise files do not shrink and stay plain on the medium. All lie in the
    installation's root: the pieces of a split file are expanded into the
    temporary directory under the entry's own name, folders included, and
    the updater makes no folder there."""
    plan = []
    for i in range(8):
        plan.append((f"CG{i + 1:02d}.BMP", "bitmaps", 2.5))
    for i in range(8):
        plan.append((f"BGM{i + 1:02d}.WAV", "waves", 2.5))
    plan += [("SCENARIO.TXT", "text", 2), ("MESSAGE.TXT", "text", 2)]
    for name in ("GAME.EXE", "ENGINE.DLL", "SOUND.DLL", "MOVIE.DLL", "SETUP.EXE"):
        plan.append((name, "binary", 0.8))
    for name in ("OPENING.MPG", "ENDING.MPG", "EVENT1.MPG", "EVENT2.MPG"):
        plan.append((name, "random", 4))
    offsets = {}
    files = {}
    for name, corpus, mib in plan:
        size = int(mib * scale * MiB)
        with open(os.path.join(work, corpus + ".dat"), "rb") as f:
            f.seek(offsets.get(corpus, 0))
            data = f.read(size)
        if len(data) < size:
            raise SystemExit(f"update_bench: the corpus {corpus} is too small; run transfer_bench first")
        offsets[corpus] = offsets.get(corpus, 0) + size
        files[name] = (data, harness.NEW)
    return files


class Update:
    """One machine with a medium, reset before every run of the programs."""

    def __init__(self, bin_dir: str, work: str, label: str, scale: float):
        self.label = label
        self.work = os.path.join(work, "update-" + label)
        self.files = corpus_slices(work, scale)
        self.size = sum(len(d) for d, _ in self.files.values())
        self.backend = harness.PosixBackend(bin_dir, self.work, timeout=120)
        disk_room = int(16 * scale * MiB)
        self.scenario = harness.Scenario(
            name="bench-" + label, about="a whole update", registry=scenarios.installed(),
            files=dict(scenarios.GAME), authored=scenarios.authored(self.files, disk_room))
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.backend.setup(self.scenario)
        self.disks = sorted(int(d) for d in os.listdir(self.backend.disks))
        self.script = self.read_script()
        self.installation = self.backend.host(scenarios.INSTALL)
        self.expanded = os.path.join(self.work, "expanded")
        for name, (data, ticks) in self.files.items():
            self.backend.put(os.path.join(self.expanded, *name.split("\\")), (data, ticks))

    def read_script(self):
        """The medium's entries: (disks, name on the medium, installation name)."""
        with open(os.path.join(self.backend.disks, "1", "Orbane.fix"), "rb") as f:
            lines = f.read().decode("cp932").splitlines()
        entries = []
        for line in lines:
            head, sep, rest = line.partition(":")
            if not sep or not head or not all(part.isdigit() for part in head.split("+")):
                continue
            source, _, target = rest.partition(">")
            entries.append(([int(d) for d in head.split("+")], source, target or source))
        return entries

    def describe(self):
        compressed = sum(1 for _, source, _ in self.script if source.endswith("_"))
        split = sum(1 for disks, _, _ in self.script if len(disks) > 1)
        medium = 0
        for disk in self.disks:
            for folder, _, names in os.walk(os.path.join(self.backend.disks, str(disk))):
                medium += sum(os.path.getsize(os.path.join(folder, n)) for n in names)
        return (f"{self.label}: {len(self.files)} files, {self.size / MiB:.0f} MiB expanded, "
                f"{compressed} compressed, {split} split, {len(self.disks)} disks, "
                f"{medium / MiB:.1f} MiB on the medium")

    def reset(self):
        shutil.rmtree(self.installation, ignore_errors=True)
        os.makedirs(self.installation)
        temp = self.backend.host(self.scenario.temp_dir)
        shutil.rmtree(temp, ignore_errors=True)
        os.makedirs(temp)
        for leftover in (os.path.join(self.backend.prefix, "pending-deletions"), self.backend.transcript_path):
            if os.path.exists(leftover):
                os.remove(leftover)
        self.backend.insert(1)

    def answers(self):
        return ["はい"] + [harness.Insert(d) for d in self.disks[1:]] + ["OK", "OK"]

    def check(self, root: str, who: str):
        """The installation at root holds exactly the update's files."""
        found = {}
        for folder, _, names in os.walk(root):
            for name in names:
                found[os.path.relpath(os.path.join(folder, name), root).replace("/", "\\")] = os.path.join(folder, name)
        problems = []
        if sorted(found) != sorted(self.files):
            problems.append(f"files {sorted(set(found) ^ set(self.files))} differ")
        for name, (data, ticks) in self.files.items():
            path = found.get(name)
            if path is None:
                continue
            with open(path, "rb") as f:
                if f.read() != data:
                    problems.append(f"{name} differs")
            seconds = (ticks - harness.UNIX_EPOCH_TICKS) / harness.TICKS_PER_SECOND
            if abs(os.stat(path).st_mtime - seconds) > 2:
                problems.append(f"{name} has another time")
        if problems:
            raise SystemExit(f"update_bench: {who} on {self.label}: " + "; ".join(problems))

    # The contenders. Each returns (seconds, peak KiB of the updater or 0).
    def ours(self):
        """The launcher from disk 1, timed from its start until the updater
        has closed its output (its end); boxes are answered as they come."""
        self.reset()
        os.sync()  # no run pays for writing back what another one wrote
        start = time.monotonic()
        output, notes = self.backend.converse(self.backend.start(self.scenario), self.answers())
        seconds = time.monotonic() - start
        peak = 0
        # The updater outlives the launcher; as the subreaper this process
        # collects it, and its resource usage with it.
        while True:
            try:
                _, _, usage = os.wait4(-1, 0)
            except ChildProcessError:
                break
            peak = max(peak, usage.ru_maxrss)
        if notes:
            raise SystemExit(f"update_bench: the programs on {self.label}: " + "; ".join(notes) + "\n" +
                             output.decode(errors="replace"))
        self.check(self.installation, "the update")
        return seconds, peak

    def pieces(self, disks, source):
        """The medium's files of an entry: piece i of "name" is "name<i>", of a
        compressed "nam_" "nam<i>_"."""
        disk_dir = self.backend.disks
        if len(disks) == 1:
            return [os.path.join(disk_dir, str(disks[0]), *source.split("\\"))]
        compressed = source.endswith("_")
        return [os.path.join(disk_dir, str(d), *(source[:-1] + str(i + 1) + "_" if compressed
                                                 else source + str(i + 1)).split("\\"))
                for i, d in enumerate(disks)]

    def shell_script(self, per_disk: bool):
        """The installation by the shell: 7zz e -so for each compressed file,
        or (per_disk) one 7zz e for all compressed files of a disk, which
        names each output after its header and gives it the file's time."""
        lines = ["set -e", f"mkdir -p '{self.installation}'"]
        if per_disk:
            for disk in self.disks:
                lines.append(f"{SEVEN_ZIP} e -y -bso0 -o'{self.installation}' -an "
                             f"'-ai!{os.path.join(self.backend.disks, str(disk))}/*_'")
        for disks, source, target in self.script:
            dest = os.path.join(self.installation, *target.split("\\"))
            pieces = self.pieces(disks, source)
            compressed = source.endswith("_")
            if compressed and per_disk:
                # What 7zz named from the headers: the pieces without their
                # '_', a whole file under the name its header completes.
                expanded = [p[:-1] for p in pieces] if len(pieces) > 1 else [os.path.join(
                    self.installation, *(source[:-1] + target[-1]).split("\\"))]
                expanded = [os.path.join(self.installation, os.path.basename(e)) for e in expanded]
                if len(expanded) > 1:
                    lines.append("cat " + " ".join(f"'{e}'" for e in expanded) + f" > '{dest}'")
                    lines.append("rm " + " ".join(f"'{e}'" for e in expanded))
                    lines.append(f"touch -r '{pieces[0]}' '{dest}'")
                elif expanded[0] != dest:
                    lines.append(f"mv '{expanded[0]}' '{dest}'")
            elif compressed:
                parts = "; ".join(f"{SEVEN_ZIP} e -so '{p}'" for p in pieces)
                lines.append(f"{{ {parts}; }} > '{dest}'" if len(pieces) > 1 else f"{parts} > '{dest}'")
                lines.append(f"touch -r '{pieces[0]}' '{dest}'")
            elif len(pieces) == 1:
                lines.append(f"cp -p '{pieces[0]}' '{dest}'")
            else:
                lines.append("cat " + " ".join(f"'{p}'" for p in pieces) + f" > '{dest}'")
                lines.append(f"touch -r '{pieces[0]}' '{dest}'")
        path = os.path.join(self.work, "install-per-disk.sh" if per_disk else "install.sh")
        with open(path, "w") as f:
            f.write("\n".join(lines) + "\n")
        return path

    def shell(self, per_disk: bool):
        script = self.shell_script(per_disk)
        shutil.rmtree(self.installation, ignore_errors=True)
        os.sync()
        start = time.monotonic()
        subprocess.run(["/bin/sh", script], check=True, stdout=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        seconds = time.monotonic() - start
        self.check(self.installation, "the shell script" + (" (7zz per disk)" if per_disk else ""))
        return seconds, 0

    def copy(self):
        dest = os.path.join(self.work, "copied")
        shutil.rmtree(dest, ignore_errors=True)
        os.sync()
        start = time.monotonic()
        subprocess.run(["/bin/cp", "-a", self.expanded, dest], check=True, stdin=subprocess.DEVNULL)
        seconds = time.monotonic() - start
        self.check(dest, "cp -a")
        shutil.rmtree(dest)
        return seconds, 0


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin-dir", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--rounds", type=int, default=7)
    args = parser.parse_args()
    bin_dir, work = os.path.abspath(args.bin_dir), os.path.abspath(args.work)
    if not os.access(SEVEN_ZIP, os.X_OK):
        raise SystemExit("update_bench: 7zz is missing (Debian's 7zip package)")
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        raise SystemExit("update_bench: cannot collect the updater (prctl)")

    print("\nA whole update: Orbane and Tavrix from the medium against a shell script and cp -a;")
    print(f"contenders in turn, {args.rounds} rounds, medians; each installation checked after every run.\n")
    updates = [Update(bin_dir, work, "64 MiB", 1.0), Update(bin_dir, work, "16 MiB", 0.25)]
    for u in updates:
        print("  " + u.describe())
    print()
    contenders = ("ours", "shell", "shell/disk", "cp -a")
    times = {(u.label, who): [] for u in updates for who in contenders}
    cpu = {(u.label, who): [] for u in updates for who in contenders}
    peaks = {u.label: 0 for u in updates}
    for _ in range(args.rounds):
        for u in updates:
            for who, run in (("ours", u.ours), ("shell", lambda: u.shell(False)),
                             ("shell/disk", lambda: u.shell(True)), ("cp -a", u.copy)):
                before = children_cpu()
                seconds, peak = run()
                times[(u.label, who)].append(seconds)
                cpu[(u.label, who)].append(children_cpu() - before)
                if who == "ours":
                    peaks[u.label] = max(peaks[u.label], peak)
    print(f"{'update':<7} | {'ours s':>6} {'MB/s':>5} | {'shell s':>7} {'ratio':>6} | {'shell/disk':>10} {'ratio':>6} | "
          f"{'cp -a s':>7} {'ratio':>6} | {'Tavrix KiB':>10}")
    for u in updates:
        ours, shell, per_disk, copy = (statistics.median(times[(u.label, w)]) for w in contenders)
        print(f"{u.label:<7} | {ours:6.3f} {u.size / ours / 1e6:5.0f} | {shell:7.3f} {shell / ours:5.2f}x | "
              f"{per_disk:10.3f} {per_disk / ours:5.2f}x | {copy:7.3f} {ours / copy:5.2f}x | {peaks[u.label]:10d}")
    print(f"\nThe same in processor time (user and system, of every process of the contender), medians:\n")
    print(f"{'update':<7} | {'ours s':>6} | {'shell s':>7} {'ratio':>6} | {'shell/disk':>10} {'ratio':>6} | "
          f"{'cp -a s':>7} {'ratio':>6}")
    for u in updates:
        ours, shell, per_disk, copy = (statistics.median(cpu[(u.label, w)]) for w in contenders)
        print(f"{u.label:<7} | {ours:6.3f} | {shell:7.3f} {shell / ours:5.2f}x | {per_disk:10.3f} "
              f"{per_disk / ours:5.2f}x | {copy:7.3f} {ours / copy:5.2f}x")
    print("(shell: 7zz e -so for each compressed file; shell/disk: one 7zz e a disk; their ratio is how many")
    print(" times faster ours is, target 3x or more over the better one. cp -a: of the expanded tree; its ratio")
    print(" is how many times its time ours takes, target 3x or less. Tavrix KiB: the updater's peak resident set.)")
    for u in updates:
        for who in contenders:
            runs = ", ".join(f"{t:.3f}" for t in times[(u.label, who)])
            print(f"  {u.label} {who}, every run: {runs}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
