#!/usr/bin/env python3
"""zefa-update against the real thing: a prefix made by wineboot, its keys
written by `wine reg add`, the installation in a folder with a Shift-JIS name,
media made by mkmedium (folders, floppy images, a CD image) and images made by
mtools and xorriso themselves.

    zefa_update_test.py --bin-dir BUILD --work DIR [--arch win64|win32] [--reuse-prefix] [unittest arguments]

One wineboot prefix is made per run and shared by every test; each test lays
the installation out afresh and checks that nothing else in the prefix
changed. --arch win64 (the default) runs every test in a 64-bit prefix,
--arch win32 some of them in a 32-bit one. Wine's loaders are started
directly, the one of the prefix's kind: Debian's wrappers pick the 32-bit
loader wherever it is installed, also on a host that refuses 32-bit programs.
Exit status 77 (skipped) when Wine is not installed, or for win32 when this
machine refuses 32-bit programs (ZEFA_I386, else scripts/i386_probe.py).
"""

import argparse
import os
import shutil
import signal
import stat
import subprocess
import sys
import time
import unittest

BIN = WORK = None
REUSE_PREFIX = False     # --reuse-prefix: the last run's prefix, to try a test again quickly
PREFIX = None            # the prefix of the run, shared by its tests
WINE_DIR = "/usr/lib/wine"
LOADER = {"win64": "wine64", "win32": "wine"}
INSTALL_WIN = "C:\\ゲーム\\サンプル"
REGISTRY = "SampleGame"
KIT_REGISTRY = "KitGame"
UNINSTALL = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
OLD = 946684800          # 2000-01-01
NEW = 1262304000         # 2010-01-01
NEWER = 1577836800       # 2020-01-01

# The installation before each test: name -> (bytes, time, read-only).
INSTALLED = {
    "MAIN.EXE": (b"old main " * 50, OLD, False),
    "DATA/STAGE1.DAT": (b"old stage " * 30, OLD, True),
    "KEEP.TXT": (b"not named by the update", OLD, False),
}


# The answers of a run after one that replaced files already: yes to the
# update and to each question whether to replace a file as new as the
# update's (an answer that a box does not take is passed over), OK to the last
# boxes.
RERUN_ANSWERS = ["yes"] * 5 + ["ok", "ok"]


def words(count, seed):
    """Text that compresses to about half: words drawn from a small vocabulary."""
    import random
    rng = random.Random(seed)
    vocabulary = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
                  for _ in range(4000)]
    return b" ".join(rng.choice(vocabulary) for _ in range(count))


# The update's files: name -> (bytes, time). VIDEO.DAT, the last in the
# script, is split over the two 720K disks.
UPDATE = {
    "MAIN.EXE": (b"new main " * 4000, NEW),
    "DATA/STAGE1.DAT": (b"new stage " * 300, NEW),
    "README": (b"hello\r\n" * 300, NEW),
    "VIDEO.DAT": (words(260000, 1), NEW),
}


def wine_env(prefix, arch):
    env = dict(os.environ, WINEPREFIX=prefix, WINEARCH=arch, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
               LANG="ja_JP.UTF-8", HOME=os.path.join(WORK, "wine-home"))
    for name in ("LC_ALL", "LC_CTYPE", "LANGUAGE"):
        env.pop(name, None)
    return env


def as_wine_user(args):
    # Root runs Wine as an ordinary user, as scripts/wine-env.sh does.
    return (["unshare", "--user", "--map-user=4000", "--map-group=4000"] if os.getuid() == 0 else []) + args


def wineserver():
    """The server, the 64-bit one where it is installed, as Debian's wrapper chooses."""
    for name in ("wineserver64", "wineserver32"):
        if os.path.exists(os.path.join(WINE_DIR, name)):
            return os.path.join(WINE_DIR, name)
    return None


def wine(args, prefix, arch, log):
    """A Windows program (wineboot, reg) under the loader of the prefix's kind,
    or the server (wineserver ARGS)."""
    if args[0] == "wineserver":
        command = [wineserver()] + args[1:]
    else:
        command = [os.path.join(WINE_DIR, LOADER[arch])] + args
    with open(log, "ab") as out:
        return subprocess.call(as_wine_user(command), env=wine_env(prefix, arch), stdin=subprocess.DEVNULL,
                               stdout=out, stderr=subprocess.STDOUT, timeout=300)


def make_prefix(name, arch):
    """wineboot, then the keys written by Wine's own reg: into the 32-bit view
    of a win64 prefix (/reg:32), as a 32-bit installer writes them."""
    prefix = os.path.join(WORK, name)
    ready = prefix + ".ready"
    if REUSE_PREFIX and os.path.exists(ready):
        return prefix
    if os.path.exists(ready):
        os.remove(ready)
    shutil.rmtree(prefix, ignore_errors=True)
    os.makedirs(os.path.join(WORK, "wine-home"), exist_ok=True)
    log = os.path.join(WORK, name + ".log")
    if os.path.exists(log):
        os.remove(log)

    def run(args):
        return wine(args, prefix, arch, log)

    if run(["wineboot", "--init"]) != 0:
        raise RuntimeError("wineboot failed, see " + log)
    view = ["/reg:32"] if arch == "win64" else []
    uninstall = "C:\\WINDOWS\\uninst.exe -f*" + INSTALL_WIN + "\\uninst.log"
    commands = [
        ["reg", "add", UNINSTALL + REGISTRY, "/v", "UninstallString", "/t", "REG_SZ", "/d", uninstall, "/f"],
        ["reg", "add", UNINSTALL + KIT_REGISTRY, "/v", "UninstallString", "/t", "REG_SZ", "/d", uninstall, "/f"],
        ["reg", "add", "HKCU\\SOFTWARE\\ZEFA\\" + KIT_REGISTRY, "/v", "Garmo", "/t", "REG_DWORD", "/d", "1", "/f"],
    ]
    for c in commands:
        if run(c + view) != 0:
            raise RuntimeError("wine reg add failed, see " + log)
    # Stopping the server writes the registry into the prefix's files.
    run(["wineserver", "-k"])
    run(["wineserver", "-w"])
    key = ("Wow6432Node\\\\" if arch == "win64" else "") + "Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\"
    with open(os.path.join(prefix, "system.reg"), encoding="utf-8", errors="replace") as f:
        if key + REGISTRY not in f.read():
            raise RuntimeError("the uninstall key is not where a 32-bit program reads it in " + prefix)
    open(ready, "w").close()
    return prefix


def install_host():
    return os.path.join(PREFIX, "drive_c", "ゲーム", "サンプル")


def put(path, data, when, read_only=False):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    if os.path.exists(path):
        os.chmod(path, 0o644)
    with open(path, "wb") as f:
        f.write(data)
    os.utime(path, (when, when))
    if read_only:
        os.chmod(path, 0o444)


def tree(root):
    """Every file below root: relative name -> (bytes, mtime_ns, mode); a
    symbolic link as ("-> " + its target, None, None)."""
    out = {}
    for folder, _, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            st = os.lstat(path)
            if stat.S_ISLNK(st.st_mode):
                out[os.path.relpath(path, root)] = ("-> " + os.readlink(path), None, None)
                continue
            with open(path, "rb") as f:
                out[os.path.relpath(path, root)] = (f.read(), st.st_mtime_ns, stat.S_IMODE(st.st_mode))
    return out


def prefix_state():
    """What the prefix holds besides the installation, the restart-time list,
    the undo folder and the lock of its runs: every entry's kind, size, time,
    mode and link target."""
    skip = {os.path.join(PREFIX, "drive_c", "ゲーム"), os.path.join(PREFIX, "zefa-undo"),
            os.path.join(PREFIX, "pending-deletions"), os.path.join(PREFIX, "zefa-update.lock")}
    state = {}
    for folder, dirs, files in os.walk(PREFIX):
        dirs[:] = [d for d in dirs if os.path.join(folder, d) not in skip]
        for name in dirs + files:
            path = os.path.join(folder, name)
            if path in skip:
                continue
            st = os.lstat(path)
            link = os.readlink(path) if stat.S_ISLNK(st.st_mode) else None
            size = st.st_size if stat.S_ISREG(st.st_mode) else 0
            # A folder's time changes when an entry comes and goes (the drive
            # link of the run); what is in it is compared entry by entry.
            when = 0 if stat.S_ISDIR(st.st_mode) else st.st_mtime_ns
            state[os.path.relpath(path, PREFIX)] = (stat.S_IFMT(st.st_mode), size, when,
                                                    stat.S_IMODE(st.st_mode), link)
    return state


def tool(name):
    return {"zefa-update": os.path.join(BIN, "updater", "zefa-update"),
            "mkmedium": os.path.join(BIN, "tools", "mkmedium", "mkmedium"),
            "orbane": os.path.join(BIN, "launcher", "Orbane"),
            "tavrix": os.path.join(BIN, "updater", "Tavrix.bin")}[name]


class Run:
    def __init__(self, status, out, err, transcript):
        self.status, self.out, self.err, self.transcript = status, out, err, transcript


class ZefaUpdate(unittest.TestCase):
    def setUp(self):
        self.dir = os.path.join(WORK, self.id().split(".")[-1])
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        self.tmp = os.path.join(self.dir, "tmp")
        os.makedirs(self.tmp)
        shutil.rmtree(os.path.join(PREFIX, "drive_c", "ゲーム"), ignore_errors=True)
        shutil.rmtree(os.path.join(PREFIX, "zefa-undo"), ignore_errors=True)
        for name, (data, when, ro) in INSTALLED.items():
            put(os.path.join(install_host(), name), data, when, ro)
        self.before_install = tree(install_host())
        self.before_prefix = prefix_state()

    def tearDown(self):
        # Every run leaves the prefix's drives as they were, and nothing of
        # its own in the temporary directory: only what the updater leaves
        # there (its copy, the pieces of a split file it did not join).
        self.assertEqual(prefix_state(), self.before_prefix)
        self.assertEqual([n for n in os.listdir(self.tmp) if n != "Tavrix.bin" and not n.startswith("VIDEO.DA")], [])

    # -- media ---------------------------------------------------------------
    def build_medium(self, disk_size=None, registry=REGISTRY, extra=()):
        files = os.path.join(self.dir, "update")
        for name, (data, when) in UPDATE.items():
            put(os.path.join(files, name), data, when)
        out = os.path.join(self.dir, "medium")
        # The medium's own programs are for Windows; zefa-update runs the
        # native updater beside it instead, so small stand-ins do here.
        programs = os.path.join(self.dir, "windows")
        put(os.path.join(programs, "Orbane.exe"), b"MZ stand-in launcher", NEW)
        put(os.path.join(programs, "Tavrix.bin"), b"MZ stand-in updater", NEW)
        self.call([tool("mkmedium"), "build", "--quiet", "--appname", "サンプル", "--registry", registry,
                   "--disk-size", disk_size or "720K", "--orbane", os.path.join(programs, "Orbane.exe"),
                   "--tavrix", os.path.join(programs, "Tavrix.bin")] + list(extra) + [files, out])
        return out

    def call(self, args, **kw):
        log = os.path.join(self.dir, "tool.log")
        with open(log, "wb") as f:
            status = subprocess.call(args, stdin=subprocess.DEVNULL, stdout=f, stderr=subprocess.STDOUT,
                                     env=dict(os.environ, WINEPREFIX=PREFIX), **kw)
        with open(log, encoding="utf-8", errors="replace") as f:
            self.assertEqual(status, 0, " ".join(args) + ":\n" + f.read())

    def zefa(self, args, answers=(), prefix=None):
        transcript = os.path.join(self.dir, "transcript.txt")
        if os.path.exists(transcript):
            os.remove(transcript)
        env = dict(os.environ, TMP=self.tmp, ZEFA_TRANSCRIPT=transcript, ZEFA_BOOT_ID="zefa-test", TZ="UTC",
                   LANG="C.UTF-8", LC_ALL="C.UTF-8")
        env.pop("WINEPREFIX", None)
        p = subprocess.run([tool("zefa-update"), "--prefix", prefix or PREFIX] + args,
                           input="".join(a + "\n" for a in answers).encode(), capture_output=True, env=env,
                           timeout=120)
        text = ""
        if os.path.exists(transcript):
            with open(transcript, encoding="utf-8") as f:
                text = f.read()
        return Run(p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace"), text)

    def expect_updated(self, run):
        self.assertEqual(run.status, 0, run.out + run.err)
        now = tree(install_host())
        self.assertEqual(sorted(now), sorted(set(UPDATE) | set(INSTALLED)))
        for name, (data, when) in UPDATE.items():
            self.assertEqual(now[name][0], data, name)
            self.assertEqual(now[name][1], when * 10**9, name)
        self.assertEqual(now["KEEP.TXT"], self.before_install["KEEP.TXT"])
        # The changer put disk 2 in: no disk request reached the screen.
        self.assertNotIn("を入れてください", run.transcript)

    def expect_untouched(self):
        self.assertEqual(tree(install_host()), self.before_install)

    def undo(self):
        return self.zefa(["--undo"])

    # -- the update, from every kind of medium -------------------------------
    def test_folder_of_disk_folders_then_undo(self):
        medium = self.build_medium()
        run = self.zefa([medium], ["yes", "ok", "ok"])
        self.expect_updated(run)
        self.assertIn("disk 2", run.out)
        self.assertIn("is now in drive D:", run.out)
        # The updater ran as the copy in the temporary directory.
        self.assertTrue(os.path.exists(os.path.join(self.tmp, "Tavrix.bin")))
        with open(os.path.join(PREFIX, "pending-deletions")) as f:
            self.assertIn(os.path.join(os.path.realpath(self.tmp), "Tavrix.bin"), f.read())
        undone = self.undo()
        self.assertEqual(undone.status, 0, undone.out + undone.err)
        self.assertIn("restored", undone.out)
        self.assertIn("VIDEO.DAT (added by the update)", undone.out)
        self.expect_untouched()
        self.assertEqual(self.undo().status, 3)  # nothing left to undo

    def test_disk_folders_in_any_order(self):
        medium = self.build_medium()
        run = self.zefa([os.path.join(medium, "disk2"), os.path.join(medium, "disk1")], ["yes", "ok", "ok"])
        self.expect_updated(run)

    def test_floppy_images_made_by_mkmedium(self):
        medium = self.build_medium()
        self.call([tool("mkmedium"), "image", "--quiet", "--floppy", "720K", medium])
        images = sorted(os.path.join(medium, n) for n in os.listdir(medium) if n.endswith(".img"))
        self.assertEqual(len(images), 2)
        run = self.zefa(images[::-1], ["yes", "ok", "ok"])
        self.expect_updated(run)

    def test_cd_image_made_by_mkmedium(self):
        medium = self.build_medium(disk_size="650M")
        self.call([tool("mkmedium"), "image", "--quiet", "--iso", medium])
        run = self.zefa([os.path.join(medium, "disk1.iso")], ["yes", "ok", "ok"])
        self.expect_updated(run)

    def test_images_made_by_mtools_and_xorriso_themselves(self):
        medium = self.build_medium()
        floppy = os.path.join(self.dir, "first.ima")
        self.call(["mformat", "-C", "-i", floppy, "-f", "720", "::"])
        disk1 = os.path.join(medium, "disk1")
        self.call(["mcopy", "-s", "-m", "-i", floppy] + [os.path.join(disk1, n) for n in os.listdir(disk1)] + ["::"])
        iso = os.path.join(self.dir, "second.iso")
        self.call(["xorriso", "-as", "mkisofs", "-quiet", "-R", "-J", "-o", iso, os.path.join(medium, "disk2")])
        run = self.zefa([iso, floppy], ["yes", "ok", "ok"])
        self.expect_updated(run)

    # -- answers and ends ------------------------------------------------------
    def test_no_changes_nothing_and_undo_keeps_the_last_update(self):
        medium = self.build_medium()
        self.expect_updated(self.zefa([medium], ["yes", "ok", "ok"]))
        run = self.zefa([medium], ["no"])
        self.assertEqual(run.status, 6, run.out + run.err)
        self.assertIn("answered No", run.err)
        undone = self.undo()
        self.assertEqual(undone.status, 0, undone.out + undone.err)
        self.expect_untouched()

    def test_no_on_a_first_update_leaves_nothing_to_undo(self):
        medium = self.build_medium()
        self.assertEqual(self.zefa([medium], ["no"]).status, 6)
        self.expect_untouched()
        self.assertFalse(os.path.exists(os.path.join(PREFIX, "zefa-undo")))
        self.assertEqual(self.undo().status, 3)

    def test_failure_half_way_then_undo(self):
        medium = self.build_medium()
        # The last disk's piece of the split file is damaged (a compression
        # mode that no expander knows): the update stops there, the files
        # before it replaced.
        disk2 = os.path.join(medium, "disk2")
        piece = [n for n in os.listdir(disk2) if n.startswith("VIDEO.DA")][0]
        self.assertTrue(piece.endswith("_"), piece)
        with open(os.path.join(disk2, piece), "r+b") as f:
            f.seek(8)
            f.write(b"Z")
        run = self.zefa([medium], ["yes", "ok", "ok"])
        self.assertEqual(run.status, 1, run.out + run.err)
        self.assertIn("--undo", run.err)
        self.assertNotEqual(tree(install_host())["MAIN.EXE"][0], self.before_install["MAIN.EXE"][0])
        undone = self.undo()
        self.assertEqual(undone.status, 0, undone.out + undone.err)
        self.expect_untouched()

    def test_not_set_up_and_refused(self):
        medium = self.build_medium(registry="NotInstalled")
        run = self.zefa([medium], ["ok"])
        self.assertEqual(run.status, 5, run.out + run.err)
        shutil.rmtree(medium)
        medium = self.build_medium(registry=KIT_REGISTRY, extra=["--garmoregistry", "Garmo"])
        run = self.zefa([medium], ["ok"])
        self.assertEqual(run.status, 4, run.out + run.err)
        self.expect_untouched()
        self.assertFalse(os.path.exists(os.path.join(PREFIX, "zefa-undo")))

    def test_a_disk_no_medium_holds_is_asked_for(self):
        medium = self.build_medium()
        # Only disk 1: the request for disk 2 stays for the person, who stops.
        run = self.zefa([os.path.join(medium, "disk1")], ["yes", "cancel", "yes", "ok", "ok"])
        self.assertEqual(run.status, 1, run.out + run.err)
        self.assertIn("ディスク 2 を入れてください", run.transcript)

    def test_interrupt_removes_the_drive_and_the_extracted_files(self):
        medium = self.build_medium()
        self.call([tool("mkmedium"), "image", "--quiet", "--floppy", "720K", medium])
        images = [os.path.join(medium, n) for n in os.listdir(medium) if n.endswith(".img")]
        env = dict(os.environ, TMP=self.tmp, LC_ALL="C.UTF-8", TZ="UTC", ZEFA_BOOT_ID="zefa-test")
        p = subprocess.Popen([tool("zefa-update"), "--prefix", PREFIX] + images, stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env, start_new_session=True)
        # Waits at the confirmation; the terminal's Ctrl-C reaches the group.
        deadline = time.time() + 30
        while not os.path.exists(os.path.join(PREFIX, "dosdevices", "d:")) and time.time() < deadline:
            time.sleep(0.05)
        time.sleep(0.5)
        os.killpg(p.pid, signal.SIGINT)
        out, err = p.communicate(timeout=30)
        self.assertEqual(p.returncode, 130, err.decode())
        self.expect_untouched()

    def test_output_closed_early_still_removes_the_drive(self):
        medium = self.build_medium()
        env = dict(os.environ, TMP=self.tmp, LC_ALL="C.UTF-8", TZ="UTC", ZEFA_BOOT_ID="zefa-test")
        reader, writer = os.pipe()
        p = subprocess.Popen([tool("zefa-update"), "--prefix", PREFIX, medium], stdin=subprocess.PIPE, stdout=writer,
                             stderr=subprocess.DEVNULL, env=env)
        os.close(writer)
        os.read(reader, 10)  # the first words, then nobody reads
        os.close(reader)
        p.communicate(b"yes\nok\nok\n", timeout=60)
        self.assertNotEqual(p.returncode, 0)
        self.assertGreater(p.returncode, 0, "killed by a signal before its clean-up")

    # -- between runs: what --undo undoes, one run at a time, what a killed
    # run leaves ----------------------------------------------------------------
    def start(self, args, name="started"):
        """zefa-update started with its standard input a pipe that the test
        writes, its transcript and output in files of their own."""
        transcript = os.path.join(self.dir, name + ".transcript")
        if os.path.exists(transcript):
            os.remove(transcript)
        env = dict(os.environ, TMP=self.tmp, ZEFA_TRANSCRIPT=transcript, ZEFA_BOOT_ID="zefa-test", TZ="UTC",
                   LANG="C.UTF-8", LC_ALL="C.UTF-8")
        env.pop("WINEPREFIX", None)
        with open(os.path.join(self.dir, name + ".out"), "wb") as out:
            p = subprocess.Popen([tool("zefa-update"), "--prefix", PREFIX] + args, stdin=subprocess.PIPE,
                                 stdout=out, stderr=subprocess.STDOUT, env=env)
        p.transcript, p.log = transcript, os.path.join(self.dir, name + ".out")
        return p

    def text_of(self, path):
        if not os.path.exists(path):
            return ""
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def wait_for(self, p, text, timeout=60):
        """Until the transcript of p shows text."""
        deadline = time.time() + timeout
        while text not in self.text_of(p.transcript):
            self.assertIsNone(p.poll(), "zefa-update ended before %r:\n%s" % (text, self.text_of(p.log)))
            self.assertLess(time.time(), deadline, "no %r in the transcript" % text)
            time.sleep(0.02)

    def children(self, pid):
        """The processes whose parent is pid (the updater of a run)."""
        found = []
        for entry in os.listdir("/proc"):
            try:
                with open("/proc/%s/stat" % entry) as f:
                    fields = f.read().rsplit(")", 1)[1].split()
            except (OSError, IndexError):
                continue
            if int(fields[1]) == pid:
                found.append(int(entry))
        return found

    def alive(self, pid):
        try:
            with open("/proc/%d/stat" % pid) as f:
                return f.read().rsplit(")", 1)[1].split()[0] != "Z"
        except OSError:
            return False

    def kill_at(self, args, answers, text):
        """A run killed (SIGKILL, zefa-update alone) when its transcript
        shows text; the updater it had started."""
        p = self.start(args, "killed")
        p.stdin.write("".join(a + "\n" for a in answers).encode())
        p.stdin.flush()
        self.wait_for(p, text)
        updaters = self.children(p.pid)
        p.kill()
        p.wait(timeout=30)
        p.stdin.close()
        return updaters

    def expect_undone(self, before=None):
        undone = self.undo()
        self.assertEqual(undone.status, 0, undone.out + undone.err)
        self.assertEqual(tree(install_host()), before or self.before_install)
        return undone

    def test_the_update_again_after_a_failed_run_then_undo(self):
        medium = self.build_medium()
        # Only disk 1: the person stops at the request for disk 2, after the
        # first files were replaced.
        run = self.zefa([os.path.join(medium, "disk1")], ["yes", "cancel", "yes", "ok", "ok"])
        self.assertEqual(run.status, 1, run.out + run.err)
        self.assertNotEqual(tree(install_host()), self.before_install)
        again = self.zefa([medium], RERUN_ANSWERS)
        self.expect_updated(again)
        self.expect_undone()
        self.assertIn("Run it again", run.err)
        self.assertIn("goes on with it", again.out)

    def test_a_killed_run_leaves_nothing_the_next_does_not_remove(self):
        medium = self.build_medium()
        self.call([tool("mkmedium"), "image", "--quiet", "--floppy", "720K", medium])
        # Killed at the request for disk 2, with only disk 1's image: the
        # first files are replaced, the drive and the extracted image are there.
        updaters = self.kill_at([os.path.join(medium, "disk1.img")], ["yes"], "ディスク 2 を入れてください")
        self.assertEqual(len(updaters), 1)
        deadline = time.time() + 10
        while self.alive(updaters[0]) and time.time() < deadline:
            time.sleep(0.02)
        self.assertFalse(self.alive(updaters[0]), "the updater outlived zefa-update")
        self.assertTrue(os.path.lexists(os.path.join(PREFIX, "dosdevices", "d:")))
        self.assertTrue([n for n in os.listdir(self.tmp) if n.startswith("zefa-update.")])
        self.assertNotEqual(tree(install_host()), self.before_install)
        # The next run removes them first, takes D: again and goes on with
        # the update; --undo then goes back to before the killed run.
        again = self.zefa([medium], RERUN_ANSWERS)
        self.expect_updated(again)
        self.assertEqual([n for n in os.listdir(self.tmp) if n.startswith("zefa-update.")], [])
        self.expect_undone()
        self.assertIn("is in drive D:", again.out)
        self.assertIn("removed the drive D: that a stopped run left", again.out)

    def test_runs_that_change_nothing_leave_the_last_update_to_undo(self):
        medium = self.build_medium()
        self.expect_updated(self.zefa([medium], ["yes", "ok", "ok"]))
        # The next update stops at its first box: input at its end, a kill,
        # Ctrl-C.
        self.assertNotEqual(self.zefa([medium], []).status, 0)
        self.kill_at([medium], [], "アップデートしますか")
        p = self.start([medium], "interrupted")
        self.wait_for(p, "アップデートしますか")
        p.send_signal(signal.SIGINT)
        for updater in self.children(p.pid):
            os.kill(updater, signal.SIGINT)
        self.assertEqual(p.wait(timeout=30), 130, self.text_of(p.log))
        p.stdin.close()
        undone = self.expect_undone()
        self.assertIn("VIDEO.DAT (added by the update)", undone.out)

    def test_two_runs_at_once_one_refuses(self):
        medium = self.build_medium()
        first, second = self.start([medium], "first"), self.start([medium], "second")
        deadline = time.time() + 30
        while first.poll() is None and second.poll() is None and time.time() < deadline:
            time.sleep(0.02)
        loser = first if first.poll() is not None else second
        winner = second if loser is first else first
        self.assertEqual(loser.wait(), 3, self.text_of(loser.log))
        self.assertIn("another update of this prefix is running (pid %d)" % winner.pid, self.text_of(loser.log))
        self.assertEqual(self.text_of(loser.transcript), "")
        # Nor does --undo run meanwhile.
        self.wait_for(winner, "アップデートしますか")
        refused = self.undo()
        self.assertEqual(refused.status, 3, refused.out + refused.err)
        self.assertIn("another update of this prefix is running", refused.err)
        winner.stdin.write(b"yes\nok\nok\n")
        winner.stdin.close()
        self.assertEqual(winner.wait(timeout=60), 0, self.text_of(winner.log))
        loser.stdin.close()
        self.expect_undone()

    def test_the_updater_ends_with_zefa_update(self):
        # MAIN.EXE is newer than the update's: the updater asks about it
        # after it has replaced DATA/STAGE1.DAT, with README and VIDEO.DAT
        # still to come.
        put(os.path.join(install_host(), "MAIN.EXE"), INSTALLED["MAIN.EXE"][0], NEWER)
        self.before_install = tree(install_host())
        medium = self.build_medium()
        p = self.start([medium], "killed")
        p.stdin.write(b"yes\n")
        p.stdin.flush()
        self.wait_for(p, "上書きしますか")
        updaters = self.children(p.pid)
        p.kill()
        p.wait(timeout=30)
        # --undo at once, then the answers that an updater left running
        # would read: nothing may change after the undo.
        self.expect_undone()
        try:
            p.stdin.write(b"yes\nok\nok\nok\n")
            p.stdin.close()
        except BrokenPipeError:
            pass
        time.sleep(1)
        self.assertEqual(tree(install_host()), self.before_install)
        for updater in updaters:
            if self.alive(updater):
                os.kill(updater, signal.SIGKILL)
                self.fail("the updater outlived zefa-update")

    def test_an_installed_file_that_is_a_link(self):
        # MAIN.EXE moved elsewhere and linked back: the update writes through
        # the link, --undo puts back the file it leads to and keeps the link.
        moved = os.path.join(self.dir, "elsewhere", "MAIN.EXE")
        os.makedirs(os.path.dirname(moved))
        os.rename(os.path.join(install_host(), "MAIN.EXE"), moved)
        os.symlink(moved, os.path.join(install_host(), "MAIN.EXE"))
        st = os.stat(moved)
        before_moved = (INSTALLED["MAIN.EXE"][0], st.st_mtime_ns, stat.S_IMODE(st.st_mode))
        self.before_install = tree(install_host())
        medium = self.build_medium()
        self.assertEqual(self.zefa([medium], ["yes", "ok", "ok"]).status, 0)
        self.assertEqual(tree(moved.rsplit("/", 1)[0])["MAIN.EXE"][0], UPDATE["MAIN.EXE"][0])
        undone = self.expect_undone()
        self.assertEqual(os.readlink(os.path.join(install_host(), "MAIN.EXE")), moved)
        self.assertEqual(tree(moved.rsplit("/", 1)[0])["MAIN.EXE"], before_moved)
        self.assertIn("(the file its link leads to, %s)" % moved, undone.out)

    def test_a_link_that_leads_to_no_file_is_refused_before_the_update(self):
        os.symlink(os.path.join(self.dir, "nowhere", "README"), os.path.join(install_host(), "README"))
        self.before_install = tree(install_host())
        medium = self.build_medium()
        run = self.zefa([medium], ["yes", "ok", "ok"])
        self.assertEqual(run.status, 3, run.out + run.err)
        self.assertIn("README is a symbolic link that leads to no file", run.err)
        self.assertEqual(run.transcript, "")
        self.assertEqual(tree(install_host()), self.before_install)
        os.remove(os.path.join(install_host(), "README"))

    def test_the_restart_under_wine(self):
        medium = self.build_medium()
        copy = os.path.join(os.path.realpath(self.tmp), "Tavrix.bin")
        for answers in (["yes", "ok", "ok"], RERUN_ANSWERS):
            run = self.zefa([medium], answers)
            self.assertEqual(run.status, 0, run.out + run.err)
            self.assertIn("no restart is needed under Wine", run.out)
            self.assertIn(copy + "; the first update after this computer restarts deletes it", run.out)
        with open(os.path.join(PREFIX, "pending-deletions")) as f:
            self.assertEqual([line for line in f.read().splitlines() if line.endswith("\t" + copy)],
                             ["zefa-test\t" + copy])

    # -- what is refused -------------------------------------------------------
    def refused(self, args, text, prefix=None):
        run = self.zefa(args, prefix=prefix)
        self.assertEqual(run.status, 3, run.out + run.err)
        self.assertIn(text, run.err)
        self.assertEqual(run.transcript, "")
        self.expect_untouched()
        self.assertFalse(os.path.exists(os.path.join(PREFIX, "zefa-undo")))

    def test_bad_media_are_refused_and_nothing_is_written(self):
        medium = self.build_medium()
        self.call([tool("mkmedium"), "image", "--quiet", "--floppy", "720K", medium])
        text = os.path.join(self.dir, "notes.img")
        with open(text, "wb") as f:
            f.write(b"not an image\n" * 1000)
        self.refused([text], "neither a folder nor a disk image")
        truncated = os.path.join(self.dir, "short.img")
        with open(os.path.join(medium, "disk1.img"), "rb") as f, open(truncated, "wb") as g:
            g.write(f.read(300000))
        self.refused([truncated], "truncated")
        self.refused([os.path.join(self.dir, "none")], "no medium at")
        twin = os.path.join(self.dir, "twin")
        shutil.copytree(os.path.join(medium, "disk2"), twin)
        self.refused([medium, twin], "two disks have the label disk2.fix")
        self.refused([os.path.join(medium, "disk1.img"), os.path.join(medium, "disk1")], "disk1.fix")
        os.symlink("/etc/passwd", os.path.join(medium, "disk2", "PASSWD"))
        self.refused([medium], "disk2/PASSWD")

    def test_symbolic_link_in_a_cd_image_is_refused(self):
        medium = self.build_medium(disk_size="650M")
        os.symlink("/etc/hostname", os.path.join(medium, "disk1", "HOST.TXT"))
        iso = os.path.join(self.dir, "linked.iso")
        self.call(["xorriso", "-as", "mkisofs", "-quiet", "-R", "-o", iso, os.path.join(medium, "disk1")])
        self.refused([iso], "HOST.TXT")

    # -- what mkmedium check calls clean installs; what it finds does not --------
    def test_a_medium_check_calls_clean_installs_and_each_problem_it_finds_does_not(self):
        # A file in a folder that the installation lacks: a note, not a problem.
        extra = b"extra data\r\n" * 10
        put(os.path.join(self.dir, "update", "DATA", "NEW", "EXTRA.DAT"), extra, NEW)
        medium = self.build_medium()
        check = self.check(medium)
        self.assertEqual(check.returncode, 0, check.stdout)
        self.assertIn("note: the installation must already have the folder 'DATA\\NEW'", check.stdout)
        run = self.zefa([medium], ["yes", "ok", "ok"])
        self.assertEqual(run.status, 1, run.out + run.err)
        self.assertIn("NEW\\EXTRA.DAT'を作成できません", run.transcript)
        # EXTRA.DAT is the script's first file: the run failed before it
        # changed anything, so it is no update that --undo would go back on.
        self.expect_untouched()
        undo = self.undo()
        self.assertEqual(undo.status, 3, undo.out + undo.err)
        self.assertIn("nothing to undo", undo.out + undo.err)
        os.makedirs(os.path.join(install_host(), "DATA", "NEW"))

        def rename(old, new):
            os.rename(os.path.join(self.broken, old), os.path.join(self.broken, new))

        def copy(old, new):
            shutil.copy2(os.path.join(self.broken, old), os.path.join(self.broken, new))

        # Each problem: how the medium is broken, what check says, how the
        # run through the updater ends and what it says.
        cases = [
            (lambda: copy("disk1/MAIN.EX_", "disk1/main.ex_"), "MAIN.EX_ reaches more than one file", 3,
             "differ only in letter case"),
            (lambda: copy("disk1/disk1.fix", "disk1/DISK1.FIX"), "holds more than one disk label", 3,
             "differ only in letter case"),
            (lambda: copy("disk2/disk2.fix", "disk1/disk2.fix"), "holds more than one disk label", 3,
             "two disks have the label disk2.fix"),
            (lambda: rename("disk2/disk2.fix", "disk2/disk02.fix"), "disk02.fix is no disk label", 1,
             "ディスク 2 を入れてください"),
        ]
        for breaking, found, status, said in cases:
            with self.subTest(found=found):
                self.broken = os.path.join(self.dir, "broken")
                shutil.rmtree(self.broken, ignore_errors=True)
                shutil.copytree(medium, self.broken, symlinks=True)
                breaking()
                check = self.check(self.broken)
                self.assertEqual(check.returncode, 1, check.stdout)
                self.assertIn(found, check.stdout)
                run = self.zefa([self.broken], ["yes", "cancel", "yes", "ok", "ok"])
                self.assertEqual(run.status, status, run.out + run.err)
                self.assertIn(said, run.err + run.transcript)
                self.assertNotIn("is now in drive", run.out)
                if status == 1:
                    self.assertEqual(self.undo().status, 0)
                self.expect_untouched()
        run = self.zefa([medium], ["yes", "ok", "ok"])
        self.assertEqual(run.status, 0, run.out + run.err)
        now = tree(install_host())
        self.assertEqual(now[os.path.join("DATA", "NEW", "EXTRA.DAT")][0], extra)
        for name, (data, when) in UPDATE.items():
            self.assertEqual(now[name][:2], (data, when * 10**9), name)

    def check(self, medium):
        return subprocess.run([tool("mkmedium"), "check", medium], stdin=subprocess.DEVNULL, capture_output=True,
                              text=True, env=dict(os.environ, WINEPREFIX=PREFIX))

    # -- media refused before anything is unpacked or run ------------------------
    def test_a_bad_script_is_the_mediums_fault(self):
        medium = self.build_medium()
        script = os.path.join(medium, "disk1", "Orbane.fix")
        with open(script, "rb") as f:
            good = f.read()
        for bad, said in ((good.replace(b"REGISTRY=SampleGame\r\n", b""), "no REGISTRY line"),
                          (good + b"FOO=1\r\n", "情報ファイルがおかしい")):
            with self.subTest(said=said):
                with open(script, "wb") as f:
                    f.write(bad)
                self.refused([medium], "the medium's script Orbane.fix is bad: " + said)

    def test_device_file_in_a_cd_image_is_refused(self):
        medium = self.build_medium(disk_size="650M")
        os.mknod(os.path.join(medium, "disk1", "NULL"), stat.S_IFCHR | 0o600, os.makedev(1, 3))
        iso = os.path.join(self.dir, "device.iso")
        self.call(["xorriso", "-as", "mkisofs", "-quiet", "-R", "-o", iso, os.path.join(medium, "disk1")])
        self.refused([iso], "'/NULL'")

    def test_cd_image_whose_files_share_their_bytes_is_refused(self):
        medium = self.build_medium(disk_size="650M")
        disk = os.path.join(medium, "disk1")
        put(os.path.join(disk, "BIG.DAT"), os.urandom(1 << 20), NEW)
        for i in range(300):
            os.link(os.path.join(disk, "BIG.DAT"), os.path.join(disk, "BIG%03d.DAT" % i))
        iso = os.path.join(self.dir, "shared.iso")
        self.call(["xorriso", "-as", "mkisofs", "-quiet", "-R", "-o", iso, disk])
        self.assertLess(os.path.getsize(iso), 4 << 20)
        self.refused([iso], "far more than the")

    def test_an_image_that_does_not_fit_the_temporary_folder_is_refused(self):
        medium = self.build_medium(disk_size="650M")
        self.call([tool("mkmedium"), "image", "--quiet", "--iso", medium])
        # The temporary folder on a file system of 256 KiB of its own.
        mount = ["unshare", "--map-root-user", "--mount", "sh", "-c",
                 'mount -t tmpfs -o size=256k zefa-test "$0" && exec "$@"', self.tmp]
        env = dict(os.environ, TMP=self.tmp, LC_ALL="C.UTF-8")
        p = subprocess.run(mount + [tool("zefa-update"), "--prefix", PREFIX, os.path.join(medium, "disk1.iso")],
                           stdin=subprocess.DEVNULL, capture_output=True, text=True, env=env, timeout=120)
        if "mount" in p.stderr and p.returncode != 3:
            self.skipTest("no file system of its own can be mounted here: " + p.stderr)
        self.assertEqual(p.returncode, 3, p.stderr)
        self.assertIn("and the temporary folder " + os.path.realpath(self.tmp) + " has 0.3 MB free", p.stderr)
        self.expect_untouched()

    def test_folder_medium_that_others_may_change_is_refused(self):
        medium = self.build_medium()
        os.chmod(os.path.join(medium, "disk2"), 0o777)
        self.refused([medium], "another user may change the medium")

    def test_help_says_where_images_are_unpacked(self):
        text = self.zefa(["--help"]).out
        self.assertIn("$TMPDIR is not read", text)
        self.assertIn("Temp folder of the\nprefix's user", text)
        self.assertNotIn("else /tmp", text)

    def test_prefix_that_is_none(self):
        medium = self.build_medium()
        self.refused([medium], "does not exist", prefix=os.path.join(self.dir, "no-prefix"))
        os.makedirs(os.path.join(self.dir, "empty"))
        self.refused([medium], "no system.reg", prefix=os.path.join(self.dir, "empty"))

    def test_bad_arguments(self):
        self.assertEqual(self.zefa([]).status, 2)
        self.assertEqual(self.zefa(["--bogus", "x"]).status, 2)
        self.assertEqual(self.zefa(["--undo", "x"]).status, 2)
        help_run = self.zefa(["--help"])
        self.assertEqual(help_run.status, 0)
        for status in ("0 ", "1 ", "2 ", "3 ", "4 ", "5 ", "6 ", "130 "):
            self.assertIn("\n  " + status, help_run.out)
        self.assertIn("zefa-undo", help_run.out)


# In a win32 prefix, whose registry has no 32-bit view of its own: the same
# update and undo there.
WIN32_TESTS = ("test_folder_of_disk_folders_then_undo", "test_floppy_images_made_by_mkmedium")


def i386_refused():
    """Why this machine refuses 32-bit programs, or None where it runs them."""
    answer = os.environ.get("ZEFA_I386")
    if not answer:
        probe = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "i386_probe.py")
        answer = subprocess.run([sys.executable, probe, WORK], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                check=True).stdout.decode().strip()
    if answer == "runs":
        return None
    if answer.startswith("refused:"):
        return answer[len("refused:"):].strip()
    raise RuntimeError("ZEFA_I386 is %r: runs, or refused: REASON" % answer)


def main():
    global BIN, WORK, REUSE_PREFIX
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin-dir", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--arch", choices=("win64", "win32"), default="win64")
    parser.add_argument("--reuse-prefix", action="store_true")
    args, rest = parser.parse_known_args()
    BIN, WORK, REUSE_PREFIX = os.path.abspath(args.bin_dir), os.path.abspath(args.work), args.reuse_prefix
    loader = os.path.join(WINE_DIR, LOADER[args.arch])
    if not os.path.exists(loader) or not wineserver():
        print("skipped: Wine is not installed (%s)" % loader)
        return 77
    os.makedirs(WORK, exist_ok=True)
    if args.arch == "win32":
        reason = i386_refused()
        if reason:
            print("skipped: this machine refuses 32-bit programs (%s), the 32-bit Wine among them" % reason)
            return 77
    global PREFIX
    PREFIX = make_prefix("prefix" if args.arch == "win64" else "prefix32", args.arch)
    if args.arch == "win32" and not rest:
        rest = ["ZefaUpdate." + name for name in WIN32_TESTS]
    result = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2).result
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
