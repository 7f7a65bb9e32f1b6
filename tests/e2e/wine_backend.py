"""The Windows backend: the Windows programs under Wine, answered by the robot.

It runs inside the Wine session of a Windows build tree (scripts/wine-session.sh
starts the display and the prefix's wine server; ctest gives the tree's
wine.env in ZEFA_WINE_ENV). Every scenario of a run shares that one prefix, so
each begins by clearing what the one before left: the folders it made on C:,
its registry keys, the Windows version it asked for.

The machine of a scenario: drive C: is the prefix's drive_c, the medium's drive
a link to the disk in it, the registry values are imported with regedit into
the view a 32-bit program sees. The robot (tests/wine/robot.cpp) starts the
launcher (or the updater), writes the transcript, asks here for each answer
and reports the restart-time deletions that the run registered.
"""

import dataclasses
import os
import shutil
import subprocess
import time
from typing import Dict, List

from harness import HKCU, HKLM, START_FOLDER, Insert, Machine, Result, Scenario, ScenarioFailure, last_record, read_text

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
WINE_RUN = os.path.join(SOURCE, "scripts", "wine-run.sh")
KEYS_LEFT = "zefa-e2e-keys.txt"  # in the prefix: the keys the last scenario wrote


def read_env(path: str) -> Dict[str, str]:
    values = {}
    for line in read_text(path).splitlines():
        name, _, value = line.partition("=")
        values[name] = value.strip("'")
    return values


def reg_text(text: str) -> str:
    return text.replace("\\", "\\\\").replace('"', '\\"')


# Windows' texts for the system's error codes that Wine words otherwise (Wine 8,
# Japanese): the launcher shows the system's text, so under Wine its boxes show
# Wine's. Everything else of those scenarios is checked as it is.
WINE_SYSTEM_TEXTS = {
    "指定されたファイルが見つかりません。": "ファイルが見つかりません。",
    "ファイル名または拡張子が長すぎます。": "ファイル名が長すぎます。",
}

WINDOWS_9X = ("win95", "win98", "winme")


def view32(root: str, key: str, windows_version, wine_arch: str) -> str:
    """Where a 32-bit program's view of HKLM\\SOFTWARE lies for regedit.

    A 32-bit prefix has one registry, as 32-bit Windows. In a 64-bit one
    regedit is a 64-bit program; but Wine playing Windows 9x drops the access
    flags of RegOpenKeyEx, the view flag with them, as Windows 9x had no
    views: the keys of such a scenario go where the 64-bit test build then
    reads them, the one registry 9x had.
    """
    if wine_arch == "win32" or windows_version in WINDOWS_9X:
        return key
    if root == HKLM and key.upper().startswith("SOFTWARE\\"):
        return "SOFTWARE\\Wow6432Node\\" + key[len("SOFTWARE\\"):]
    return key


class Stalled(Exception):
    """The programs showed nothing for the robot's first-window limit."""


class WineBackend(Machine):
    name = "wine"

    def __init__(self, bin_dir: str, work_dir: str, timeout: float = 100):
        super().__init__(os.path.join(bin_dir, "launcher", "Orbane.exe"), os.path.join(bin_dir, "updater", "Tavrix.bin"),
                         os.environ.get("ZEFA_SZDD", ""), os.environ.get("ZEFA_MKMEDIUM", ""), work_dir, timeout)
        self.robot = os.path.join(bin_dir, "tests", "wine", "robot.exe")
        self.env_file = os.environ.get("ZEFA_WINE_ENV", os.path.join(bin_dir, "wine.env"))
        env = read_env(self.env_file)
        self.prefix = env["WINEPREFIX"]
        self.wine_arch = env.get("WINEARCH", "win64")
        self.pictures = os.environ.get("ZEFA_PICTURES") == os.path.basename(work_dir)
        self.keep_removals = False  # leave the registered deletions for the next start

    def expected(self, s: Scenario) -> Scenario:
        """The scenario as Wine must pass it: Wine's words for the system's texts."""
        transcript = s.transcript
        for windows, wine in WINE_SYSTEM_TEXTS.items():
            transcript = transcript.replace("  text: " + windows + "\n", "  text: " + wine + "\n")
        return dataclasses.replace(s, transcript=transcript)

    # -- running Wine programs: output into files, never through a pipe, which
    # the wine server would keep open.
    def wine(self, *args: str, log: str) -> int:
        with open(log, "ab") as out:
            return subprocess.call(["sh", WINE_RUN, self.env_file, *args], stdin=subprocess.DEVNULL,
                                   stdout=out, stderr=subprocess.STDOUT)

    # -- paths
    @staticmethod
    def windows_of_host(path: str) -> str:
        return "Z:" + os.path.abspath(path).replace("/", "\\")

    # -- the machine
    def clear_drive_c(self):
        """Everything on C: but what Wine made there when it made the prefix."""
        drive_c = os.path.join(self.prefix, "drive_c")
        keep_file = os.path.join(self.prefix, "zefa-drive-c.txt")
        if not os.path.exists(keep_file):
            with open(keep_file, "w") as f:
                f.write("\n".join(sorted(os.listdir(drive_c))) + "\n")
        keep = set(read_text(keep_file).split())
        for name in os.listdir(drive_c):
            if name not in keep:
                path = os.path.join(drive_c, name)
                if os.path.isdir(path) and not os.path.islink(path):
                    shutil.rmtree(path)
                else:
                    os.remove(path)
        wininit = os.path.join(drive_c, "windows", "WININIT.INI")
        if os.path.exists(wininit):
            os.remove(wininit)

    def registry(self, s: Scenario):
        """One regedit run: the last scenario's keys go, this one's come."""
        left = os.path.join(self.prefix, KEYS_LEFT)
        lines = ["Windows Registry Editor Version 5.00", ""]
        for key in read_text(left).splitlines():
            if key:
                lines += ["[-%s]" % key, ""]
        written = []
        values: Dict[str, List[str]] = {}
        for root, key, name, value in s.registry:
            full = root + "\\" + view32(root, key, s.windows_version, self.wine_arch)
            if full not in written:
                written.append(full)
            entry = ("@" if name == "" else '"%s"' % reg_text(name)) + "="
            entry += ("dword:%08x" % value) if isinstance(value, int) else '"%s"' % reg_text(value)
            values.setdefault(full, []).append(entry)
        for key in written:
            lines += ["[-%s]" % key, "[%s]" % key] + values[key] + [""]
        lines += ["[%s\\Software\\Wine]" % HKCU,
                  '"Version"=' + ('"%s"' % s.windows_version if s.windows_version else "-"), ""]
        reg = os.path.join(self.work, "scenario.reg")
        with open(reg, "wb") as f:
            # regedit reads Unicode only as UTF-16LE with a byte order mark.
            f.write(b"\xff\xfe" + "\r\n".join(lines).encode("utf-16-le"))
        log = os.path.join(self.work, "regedit.log")
        if self.wine("regedit", "/S", self.windows_of_host(reg), log=log):
            # Once in a while (seen once in about a hundred imports under
            # wine64) regedit, started by its name, ends before it reads the
            # file: Wine's start.exe says ShellExecuteEx failed with an
            # internal error. The scenarios run after it then imported their
            # files. So once more, and said; a file that regedit cannot
            # import fails again.
            with open(log, "rb") as f:
                said = f.read().decode("cp932", errors="replace").strip()
            print("note: regedit failed once, and runs again:\n  " + said.replace("\n", "\n  "))
            if self.wine("regedit", "/S", self.windows_of_host(reg), log=log):
                raise ScenarioFailure("regedit could not import " + reg)
        with open(left, "w") as f:
            f.write("\n".join(written) + "\n")

    def setup(self, s: Scenario):
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.clear_drive_c()
        self.registry(s)
        self.drive = s.drive.lower()
        self.disks = os.path.join(self.work, "disks")
        self.lay_out(s)
        win_folder = s.drive + ":" if s.launch_from == "medium" else s.launch_from
        if s.command_line is None:
            program = win_folder + "\\Orbane.exe"
            command = '"%s"' % program if " " in program else program
        else:
            command = win_folder + "\\Tavrix.bin" + (" " + s.command_line if s.command_line else "")

        self.control = os.path.join(self.work, "control")
        os.makedirs(self.control)
        with open(os.path.join(self.control, "command.txt"), "w", encoding="utf-8") as f:
            f.write(command)
        with open(os.path.join(self.control, "cwd.txt"), "w", encoding="utf-8") as f:
            f.write(START_FOLDER)
        with open(os.path.join(self.control, "env.txt"), "w", encoding="utf-8") as f:
            f.write("TMP=%s\nTEMP=%s\n" % (s.temp_dir, s.temp_dir))
        if self.pictures:
            open(os.path.join(self.control, "pictures"), "w").close()
        if self.keep_removals:
            open(os.path.join(self.control, "keep-removals"), "w").close()

    def run(self, s: Scenario) -> Result:
        try:
            return self.run_once(s)
        except Stalled as stall:
            # Once in a long while a Wine process stalls before it shows
            # anything. The scenario runs again from the start, and the stall
            # is told; a program of ours that hangs hangs again and fails.
            print("note: %s stalled, and runs again:\n  %s" % (s.name, str(stall).replace("\n", "\n  ")))
            try:
                return self.run_once(s)
            except Stalled as again:
                raise ScenarioFailure("stalled twice:\n" + str(stall) + "\n" + str(again))

    def host_state(self) -> str:
        """The host's view of the Wine processes: state and kernel wait."""
        out = subprocess.run(["ps", "-eo", "pid,ppid,stat,wchan:24,etime,args"], stdin=subprocess.DEVNULL,
                             capture_output=True, text=True, check=False).stdout
        lines = out.splitlines()[:1] + [line for line in out.splitlines()[1:]
                                        if "wine" in line or ".exe" in line or ".bin" in line]
        return "\n".join(lines)

    def run_once(self, s: Scenario) -> Result:
        self.setup(s)
        answers = list(s.answers)
        notes = []
        log_path = os.path.join(self.work, "robot.log")
        log = open(log_path, "wb")
        robot = subprocess.Popen(["sh", WINE_RUN, self.env_file, self.robot, self.windows_of_host(self.control)],
                                 stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + self.timeout
        asked = 0
        while robot.poll() is None:
            if time.monotonic() > deadline:
                robot.kill()
                robot.wait()
                raise ScenarioFailure("the robot did not finish; transcript so far:\n" + self.transcript())
            stalled = os.path.join(self.control, "stalled.txt")
            if os.path.exists(stalled) and not os.path.exists(stalled + ".host"):
                with open(stalled + ".host", "w") as f:
                    f.write(self.host_state() + "\n")
                open(os.path.join(self.control, "stalled-seen"), "w").close()
            ask = os.path.join(self.control, "ask-%d.txt" % (asked + 1))
            if not os.path.exists(ask):
                time.sleep(0.01)
                continue
            asked += 1
            if not answers:
                notes.append("a box was left without an answer:\n" + last_record(self.transcript()))
                open(os.path.join(self.control, "eof-%d" % asked), "w").close()
                continue
            answer = answers.pop(0)
            if isinstance(answer, Insert):
                self.insert(answer.disk)
                answer = "ok"
            tmp = os.path.join(self.control, "answer.tmp")
            with open(tmp, "w", encoding="utf-8") as f:
                f.write(answer + "\n")
            os.rename(tmp, os.path.join(self.control, "answer-%d.txt" % asked))
        log.close()
        self.output = read_text(log_path)
        done = read_text(os.path.join(self.control, "done.txt")).strip()
        if done.startswith("stalled"):
            raise Stalled(done + "\n" + read_text(os.path.join(self.control, "stalled.txt.host")))
        if done not in ("ok", "a box was left without an answer"):
            notes.append("robot: " + (done or "ended without a word, status %d" % robot.returncode))
        if answers:
            notes.append(f"answers not asked for: {answers}")
        notes += self.check_updater_start(s)
        if self.pictures:
            self.convert_pictures()
        return Result(transcript=self.transcript(), tree=self.tree(s.installation),
                      temp_files=self.temp_files(s), removals=self.removals(), notes=notes)

    def check_updater_start(self, s: Scenario) -> List[str]:
        """The launcher starts the updater from the temporary directory: the
        updater's process runs the copy there, not the file on the medium."""
        files = read_text(os.path.join(self.control, "programs.txt")).splitlines()
        updaters = [f for f in files if f.lower().endswith("\\tavrix.bin")]
        if s.command_line is not None or not updaters and "box: ゼファ アップデート\n" not in self.transcript():
            return []
        copy = s.temp_dir.rstrip("\\") + "\\Tavrix.bin"
        if [f.lower() for f in updaters] != [copy.lower()]:
            return [f"the updater ran as {updaters}, expected {copy} alone (programs seen: {files})"]
        return []

    def transcript(self) -> str:
        return read_text(os.path.join(self.control, "transcript.txt"))

    def temp_files(self, s: Scenario) -> List[str]:
        # The launcher is Orbane.exe here and Orbane in the POSIX build: the
        # scenarios know it by the one name.
        return sorted("Orbane" if n == "Orbane.exe" else n for n in os.listdir(self.host(s.temp_dir)))

    def removals(self) -> List[str]:
        found = [line for line in read_text(os.path.join(self.control, "removals.txt")).splitlines() if line]
        return found + self.wininit_removals()

    def convert_pictures(self):
        """The robot's screenshots as PNG (ImageMagick), beside them."""
        for name in sorted(os.listdir(self.control)):
            if name.startswith("picture-") and name.endswith(".bmp"):
                bmp = os.path.join(self.control, name)
                subprocess.run(["convert", bmp, "-trim", "+repage", bmp[:-4] + ".png"], check=False,
                               stdin=subprocess.DEVNULL)
