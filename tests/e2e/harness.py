"""End-to-end runs of the two programs on a scenario's medium and installation.

A scenario (scenarios.py) says what the machine holds before the run (registry
values, the installed files, the disks of the medium, the Windows version), how
the person at the screen answers each box, and what must hold afterwards: the
transcript of every box shown (tests/transcript.md), the installation's files,
what is left in the temporary directory and which files are registered for
deletion at the next restart.

A backend sets the machine up and runs the launcher from the medium. The POSIX
backend below runs our Linux programs in a prefix of their own; a Windows
backend under Wine runs the Windows programs with the same scenarios and must
give the same results.
"""

import difflib
import os
import select
import shutil
import subprocess
import time
from dataclasses import dataclass, field
from typing import Dict, List, Optional, Tuple, Union

# Files are given as bytes, or as (bytes, time): the time is a FILETIME tick
# count (100 ns since 1601) for the file's last-write time.
Content = Union[bytes, Tuple[bytes, int]]

HKLM = "HKEY_LOCAL_MACHINE"
HKCU = "HKEY_CURRENT_USER"
OTHER_USER = 4321  # the uid of another user of the machine
# The programs start in the root of C:, a drive that each scenario lays out
# itself: a path without a drive (\Orbane.fix) then names a place under the
# harness's control, never the root of the host's file system.
START_FOLDER = "C:\\"
UNINSTALL = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
MAKER = "SOFTWARE\\ZEFA\\"

TICKS_PER_SECOND = 10_000_000
UNIX_EPOCH_TICKS = 116444736000000000
OLD = UNIX_EPOCH_TICKS + 946684800 * TICKS_PER_SECOND    # 2000-01-01 00:00 UTC
NEW = UNIX_EPOCH_TICKS + 1262304000 * TICKS_PER_SECOND   # 2010-01-01 00:00 UTC
NEWER = UNIX_EPOCH_TICKS + 1577836800 * TICKS_PER_SECOND  # 2020-01-01 00:00 UTC


@dataclass
class Insert:
    """Answer OK to a disk request after putting disk `disk` in the drive."""
    disk: int

    def __str__(self):
        return f"insert disk {self.disk}, OK"


@dataclass
class Compressed:
    """A file stored on the medium in the LZ (SZDD) format."""
    data: bytes
    time: int = NEW


Answer = Union[str, Insert]


@dataclass
class Authored:
    """A medium that mkmedium builds, as the product's maker would, from the
    update's files (by their names in the installation, with their times),
    the script's keys (mkmedium's arguments: --appname, --registry, ...) and
    the programs under test.

    Every disk holds `room` bytes beyond the two programs, so that the layout
    (what lies on which disk) is the same for every build of the programs: the
    first disk keeps `room` for the script and the files, the others hold
    more than that."""
    files: Dict[str, Content]
    room: int
    keys: List[str]


@dataclass
class Scenario:
    name: str
    about: str
    # Registry values: (root, key, value name, value); an int is a REG_DWORD.
    registry: List[Tuple[str, str, str, Union[str, int]]] = field(default_factory=list)
    # Files of the machine before the run, by Windows path (C: or another
    # fixed drive). Directories named with a trailing backslash are made empty.
    files: Dict[str, Union[Content, Compressed]] = field(default_factory=dict)
    # The medium: disk number -> {name on the disk: content}. Disk 1 also gets
    # the two programs and is in the drive when the run starts.
    disks: Dict[int, Dict[str, Union[Content, Compressed]]] = field(default_factory=dict)
    # Or the medium that mkmedium makes; its disks join those above.
    authored: Optional[Authored] = None
    drive: str = "D"
    # Where the launcher is started from: "medium" (the drive's root) or a
    # Windows folder on C: into which both programs are copied.
    launch_from: str = "medium"
    # Or a host folder below drive C:'s ('/' between its names), for names
    # that no Windows path can write.
    launch_from_host: Optional[str] = None
    temp_dir: str = "C:\\TEMP"
    # A temporary directory that every user may write into (as /tmp), in which
    # another user left links: name -> the Windows path each points at.
    planted_links: Dict[str, str] = field(default_factory=dict)
    # Set to start the updater itself with this text after its name, instead
    # of the launcher.
    command_line: Optional[str] = None
    # The updater's file as it lies beside the launcher, when not the real one.
    updater_bytes: Optional[bytes] = None
    no_updater: bool = False  # the launcher without its updater
    # Files (Windows paths, the programs beside the launcher among them) made
    # read-only once everything is in place, as on a CD and in what was
    # copied from one.
    read_only: List[str] = field(default_factory=list)
    windows_version: Optional[str] = None  # e.g. "win98" for the Windows 9x family
    answers: List[Answer] = field(default_factory=list)
    # What must hold afterwards.
    transcript: str = ""
    installation: str = "C:\\Game"
    tree: Optional[Dict[str, Union[Content, None]]] = None  # every file of the installation
    temp_files: Optional[List[str]] = None  # names left in the temporary directory
    removals: List[str] = field(default_factory=list)  # "restart <path>" or "wininit <path>"
    # Backends on which the scenario cannot run as written, and why.
    skip_reason: Dict[str, str] = field(default_factory=dict)  # backend name -> why not there


@dataclass
class Result:
    transcript: str
    tree: Dict[str, Tuple[bytes, int]]
    temp_files: List[str]
    removals: List[str]
    notes: List[str]


class ScenarioFailure(Exception):
    pass


def data_of(content):
    if isinstance(content, Compressed):
        return content.data
    return content[0] if isinstance(content, tuple) else content


def time_of(content):
    if isinstance(content, Compressed):
        return content.time
    return content[1] if isinstance(content, tuple) else None


def last_record(transcript: str) -> str:
    """The box or dialog that waits for an answer: the last record."""
    starts = [i for i, line in enumerate(transcript.splitlines())
              if line.startswith("box:") or line.startswith("dialog:")]
    if not starts:
        return ""
    return "\n".join(transcript.splitlines()[starts[-1]:])


def check(scenario: Scenario, result: Result) -> List[str]:
    """Every difference between what the scenario expects and what the run left."""
    problems = []
    if result.transcript != scenario.transcript:
        diff = difflib.unified_diff(scenario.transcript.splitlines(), result.transcript.splitlines(),
                                    "expected transcript", "actual transcript", lineterm="")
        problems.append("\n".join(diff))
    if scenario.tree is not None:
        expected = {k: v for k, v in scenario.tree.items() if v is not None}
        for name in sorted(set(expected) | set(result.tree)):
            if name not in result.tree:
                problems.append(f"installation: {name} is missing")
            elif name not in expected:
                problems.append(f"installation: {name} should not be there")
            else:
                data, ticks = result.tree[name]
                want = expected[name]
                if data != data_of(want):
                    problems.append(f"installation: {name} holds {data[:40]!r}... ({len(data)} bytes), "
                                    f"expected {data_of(want)[:40]!r}... ({len(data_of(want))} bytes)")
                want_time = time_of(want)
                # FAT and the like keep two-second times; allow that much.
                if want_time is not None and abs(ticks - want_time) > 2 * TICKS_PER_SECOND:
                    problems.append(f"installation: {name} has time {ticks}, expected {want_time}")
    if scenario.temp_files is not None and sorted(result.temp_files) != sorted(scenario.temp_files):
        problems.append(f"temporary directory holds {sorted(result.temp_files)}, "
                        f"expected {sorted(scenario.temp_files)}")
    if result.removals != scenario.removals:
        problems.append(f"removals at restart: {result.removals}, expected {scenario.removals}")
    return problems


# ---------------------------------------------------------------------------
# The registry files of a prefix, in Wine's format.

def reg_escape(text: str) -> str:
    """Text as Wine writes it: printable ASCII as it is, the rest as UTF-16 units."""
    out = []
    units = text.encode("utf-16-le")
    for i in range(0, len(units), 2):
        code = int.from_bytes(units[i:i + 2], "little")
        if chr(code) in '\\"':
            out.append("\\" + chr(code))
        elif 0x20 <= code < 0x7F:
            out.append(chr(code))
        else:
            out.append("\\x%04x" % code)
    return "".join(out)


def reg_file(values, root: str) -> str:
    keys: Dict[str, List[str]] = {}
    for r, key, name, value in values:
        if r != root:
            continue
        line = ("@" if name == "" else '"%s"' % reg_escape(name)) + "="
        line += ("dword:%08x" % value) if isinstance(value, int) else '"%s"' % reg_escape(value)
        keys.setdefault(key, []).append(line)
    out = ["WINE REGISTRY Version 2", ";; All keys relative to " +
           ("\\\\Machine" if root == HKLM else "\\\\User\\\\S-1-5-21-0-0-0-1000"), "", "#arch=win32", ""]
    for key, lines in keys.items():
        out.append("[%s] 1700000000" % key.replace("\\", "\\\\"))
        out.append("#time=1d9a0b0c0d0e0f0")
        out.extend(lines)
        out.append("")
    return "\n".join(out) + "\n"


# ---------------------------------------------------------------------------
# The POSIX backend.

class Machine:
    """What every backend does alike: lays out a scenario's files, disks and
    programs under the drives of a prefix, and reads back what a run left.
    A backend sets `prefix` (its dosdevices hold the drives), `disks` (the
    folder of the medium's disks) and `drive` before `lay_out`."""

    def __init__(self, launcher: str, updater: str, szdd: str, mkmedium: str, work_dir: str, timeout: float):
        self.launcher, self.updater, self.szdd, self.mkmedium = launcher, updater, szdd, mkmedium
        self.work = work_dir
        self.timeout = timeout

    def compress(self, data: bytes) -> bytes:
        if not self.szdd:
            raise ScenarioFailure("no szdd tool to compress the medium's files")
        src = os.path.join(self.work, "compress.in")
        dst = os.path.join(self.work, "compress.out")
        with open(src, "wb") as f:
            f.write(data)
        subprocess.run([self.szdd, "compress", src, dst], check=True, stdin=subprocess.DEVNULL)
        with open(dst, "rb") as f:
            return f.read()

    # Paths: a drive is what the prefix's dosdevices link names; the medium's
    # drive is a link to the disk in it.
    def host(self, win: str) -> str:
        drive, rest = win[0].lower(), win[2:].lstrip("\\")
        base = os.path.join(self.prefix, "dosdevices", drive + ":")
        return os.path.join(base, *rest.split("\\")) if rest else base

    def put(self, path: str, content):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        data = data_of(content)
        if isinstance(content, Compressed):
            data = self.compress(data)
        with open(path, "wb") as f:
            f.write(data)
        ticks = time_of(content)
        if ticks is not None:
            seconds = (ticks - UNIX_EPOCH_TICKS) / TICKS_PER_SECOND
            os.utime(path, (seconds, seconds))

    def insert(self, disk: int):
        link = os.path.join(self.prefix, "dosdevices", self.drive + ":")
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(os.path.join(self.disks, str(disk)), link)

    def author(self, s: Scenario):
        """Builds the scenario's medium with mkmedium, around the programs under
        test, into the disks' folders."""
        if not self.mkmedium:
            raise ScenarioFailure("no mkmedium tool to build the scenario's medium")
        a = s.authored
        files = os.path.join(self.work, "update")
        out = os.path.join(self.work, "medium")
        shutil.rmtree(files, ignore_errors=True)
        shutil.rmtree(out, ignore_errors=True)
        for name, content in a.files.items():
            self.put(os.path.join(files, *name.split("\\")), content)
        size = os.path.getsize(self.launcher) + os.path.getsize(self.updater) + a.room
        log = os.path.join(self.work, "mkmedium.log")
        with open(log, "wb") as out_file:
            status = subprocess.call([self.mkmedium, "build", "--quiet", "--disk-size", str(size), "--orbane",
                                      self.launcher, "--tavrix", self.updater] + a.keys + [files, out],
                                     stdin=subprocess.DEVNULL, stdout=out_file, stderr=subprocess.STDOUT,
                                     env=dict(os.environ, WINEPREFIX=self.prefix))
        if status != 0:
            raise ScenarioFailure("mkmedium build failed:\n" + read_text(log))
        os.makedirs(self.disks, exist_ok=True)
        for entry in os.listdir(out):
            os.rename(os.path.join(out, entry), os.path.join(self.disks, entry[len("disk"):]))

    def lay_out(self, s: Scenario) -> str:
        """The scenario's files, temporary directory, disks (disk 1 in the
        drive) and programs; returns the folder the programs were put in."""
        for win, content in s.files.items():
            if win.endswith("\\"):
                os.makedirs(self.host(win), exist_ok=True)
            else:
                self.put(self.host(win), content)
        os.makedirs(self.host(s.temp_dir), exist_ok=True)
        if s.planted_links:
            self.plant(s)
        os.makedirs(self.disks, exist_ok=True)
        if s.authored:
            self.author(s)
        for disk, files in s.disks.items():
            for name, content in files.items():
                self.put(os.path.join(self.disks, str(disk), *name.split("\\")), content)
        os.makedirs(os.path.join(self.disks, "1"), exist_ok=True)
        self.insert(1)
        if s.launch_from_host:
            folder = os.path.join(self.host("C:\\"), *s.launch_from_host.split("/"))
            os.makedirs(folder, exist_ok=True)
        elif s.launch_from == "medium":
            folder = os.path.join(self.disks, "1")
        else:
            folder = self.host(s.launch_from)
            os.makedirs(folder, exist_ok=True)
        shutil.copy2(self.launcher, os.path.join(folder, os.path.basename(self.launcher)))
        updater = os.path.join(folder, "Tavrix.bin")
        if s.no_updater:
            pass
        elif s.updater_bytes is None:
            shutil.copy2(self.updater, updater)
        else:
            with open(updater, "wb") as f:
                f.write(s.updater_bytes)
        for win in s.read_only:
            path = self.host(win)
            os.chmod(path, os.stat(path).st_mode & 0o555)
        return folder

    def plant(self, s: Scenario):
        """Opens the temporary directory to everyone, as /tmp is, and leaves
        another user's links in it (which takes root, to give them away)."""
        if os.geteuid() != 0:
            raise ScenarioFailure("planting another user's links takes root")
        temp = self.host(s.temp_dir)
        os.chmod(temp, 0o1777)
        for name, target in s.planted_links.items():
            link = os.path.join(temp, name)
            os.symlink(os.path.realpath(self.host(target)), link)
            os.lchown(link, OTHER_USER, OTHER_USER)

    def tree(self, installation: str):
        root = self.host(installation)
        found = {}
        for folder, _, names in os.walk(root):
            for name in names:
                path = os.path.join(folder, name)
                rel = os.path.relpath(path, root).replace("/", "\\")
                with open(path, "rb") as f:
                    data = f.read()
                found[rel] = (data, int(os.stat(path).st_mtime_ns // 100) + UNIX_EPOCH_TICKS)
        return found

    def wininit_removals(self) -> List[str]:
        """The deletions that WININIT.INI asks for, the way of the 9x family."""
        found = []
        wininit = self.host("C:\\windows\\WININIT.INI")
        if os.path.exists(wininit):
            with open(wininit, "rb") as f:
                text = f.read().decode("cp932", errors="replace")
            for line in text.splitlines():
                if line.upper().startswith("NUL="):
                    found.append("wininit " + line[4:])
        return found


class PosixBackend(Machine):
    name = "posix"

    def __init__(self, bin_dir: str, work_dir: str, timeout: float = 60):
        super().__init__(os.path.join(bin_dir, "launcher", "Orbane"), os.path.join(bin_dir, "updater", "Tavrix.bin"),
                         os.path.join(bin_dir, "tools", "szdd", "szdd"),
                         os.path.join(bin_dir, "tools", "mkmedium", "mkmedium"), work_dir, timeout)

    def windows(self, host: str) -> Optional[str]:
        host = os.path.realpath(host)
        for entry in sorted(os.listdir(os.path.join(self.prefix, "dosdevices"))):
            drive = entry[0]
            root = os.path.realpath(os.path.join(self.prefix, "dosdevices", drive + ":"))
            if host == root or host.startswith(root.rstrip("/") + "/"):
                rest = host[len(root):].strip("/")
                return drive.upper() + ":\\" + rest.replace("/", "\\")
        return None

    def setup(self, s: Scenario):
        self.prefix = os.path.join(self.work, "prefix")
        self.disks = os.path.join(self.prefix, "disks")
        shutil.rmtree(self.prefix, ignore_errors=True)
        os.makedirs(os.path.join(self.prefix, "dosdevices"))
        os.makedirs(os.path.join(self.prefix, "drive_c", "windows"))
        os.symlink("../drive_c", os.path.join(self.prefix, "dosdevices", "c:"))
        os.symlink("/", os.path.join(self.prefix, "dosdevices", "z:"))
        self.drive = s.drive.lower()
        # The user's temporary folder, as Wine keeps it in the user's registry.
        registry = list(s.registry) + [(HKCU, "Environment", "TEMP", s.temp_dir)]
        if s.windows_version:
            registry.append((HKCU, "Software\\Wine", "Version", s.windows_version))
        with open(os.path.join(self.prefix, "system.reg"), "w") as f:
            f.write(reg_file(registry, HKLM))
        with open(os.path.join(self.prefix, "user.reg"), "w") as f:
            f.write(reg_file(registry, HKCU))
        folder = self.lay_out(s)
        self.launch = os.path.join(folder, "Orbane" if s.command_line is None else "Tavrix.bin")
        self.transcript_path = os.path.join(self.work, "transcript.txt")
        if os.path.exists(self.transcript_path):
            os.remove(self.transcript_path)

    def environment(self, s: Scenario) -> Dict[str, str]:
        """The programs' environment: the prefix, the temporary directory, the transcript."""
        env = dict(os.environ)
        env.update(WINEPREFIX=self.prefix, ZEFA_TRANSCRIPT=self.transcript_path, ZEFA_BOOT_ID="e2e-boot", TZ="UTC")
        # The temporary directory is the one the prefix's registry names.
        for name in ("TMP", "TEMP", "TMPDIR"):
            env.pop(name, None)
        if s.command_line is not None:
            # The exact line a Windows program would be started with.
            env["ZEFA_COMMAND_LINE"] = self.windows(self.launch) + (" " + s.command_line if s.command_line else "")
        return env

    def run(self, s: Scenario) -> Result:
        os.makedirs(self.work, exist_ok=True)
        self.setup(s)
        output, notes = self.converse(self.start(s), list(s.answers))
        self.output = output.decode(errors="replace")
        # The sanitizers of a test build report on the programs' own output.
        for alarm in ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"):
            if alarm in self.output:
                notes.append(f"the programs reported '{alarm}'")
        return Result(transcript=read_text(self.transcript_path), tree=self.tree(s.installation),
                      temp_files=sorted(os.listdir(self.host(s.temp_dir))), removals=self.removals(),
                      notes=notes)

    def start(self, s: Scenario) -> subprocess.Popen:
        """The launcher (or the updater) of a machine that is set up."""
        env = self.environment(s)
        env.update(LANG="C.UTF-8", LC_ALL="C.UTF-8")
        # The updater outlives the launcher and inherits its standard output:
        # the end of that output is the end of both.
        return subprocess.Popen([self.launch], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, env=env, cwd=self.host(START_FOLDER))

    def converse(self, proc: subprocess.Popen, answers: List[Answer]) -> Tuple[bytes, List[str]]:
        """Answers each box as it waits, until the programs' output ends;
        their output, and notes on what went wrong."""
        notes = []
        output = b""
        deadline = time.monotonic() + self.timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                try:  # the updater runs in a session of its own
                    subprocess.run(["pkill", "-f", os.path.join(self.prefix, "")], check=False)
                except OSError:
                    pass
                proc.kill()
                raise ScenarioFailure("timed out; output so far:\n" + output.decode(errors="replace"))
            ready, _, _ = select.select([proc.stdout], [], [], left)
            if not ready:
                continue
            chunk = os.read(proc.stdout.fileno(), 65536)
            if not chunk:
                break
            output += chunk
            if not output.endswith(b"> "):
                continue
            # A box waits for its answer.
            if not answers:
                proc.stdin.close()
                notes.append("a box was left without an answer:\n" + last_record(read_text(self.transcript_path)))
                continue
            answer = answers.pop(0)
            if isinstance(answer, Insert):
                self.insert(answer.disk)
                answer = "ok"
            proc.stdin.write(answer.encode() + b"\n")
            proc.stdin.flush()
        proc.wait()
        if answers:
            notes.append(f"answers not asked for: {answers}")
        return output, notes

    def removals(self) -> List[str]:
        found = []
        pending = os.path.join(self.prefix, "pending-deletions")
        if os.path.exists(pending):
            for line in read_text(pending).splitlines():
                boot, _, path = line.partition("\t")
                found.append("restart " + (self.windows(path) or path))
        return found + self.wininit_removals()


def read_text(path: str) -> str:
    if not os.path.exists(path):
        return ""
    with open(path, "rb") as f:
        return f.read().decode("utf-8", errors="replace").replace("\r\n", "\n")
