#!/usr/bin/env python3
"""scripts/i386_probe.py: the answer on this machine, and a 32-bit program
that runs only through an emulator registered with binfmt_misc counted as
refused (under qemu-user the 32-bit Wine takes minutes to start)."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts")
sys.path.insert(0, SCRIPTS)
import i386_probe  # noqa: E402

# As the kernel shows them: qemu-user's entry for i386 programs, and the
# same for x86_64 ones.
QEMU_I386 = """enabled
interpreter /usr/bin/qemu-i386
flags: F
offset 0
magic 7f454c4601010100000000000000000002000300
mask fffffffffffefe00fffffffffffffffffeffffff
"""
QEMU_X86_64 = """enabled
interpreter /usr/bin/qemu-x86_64
flags: F
offset 0
magic 7f454c4602010100000000000000000002003e00
mask fffffffffffefe00fffffffffffffffffeffffff
"""
BY_NAME = """enabled
interpreter /usr/bin/mono
flags: 
extension .exe
"""


class Emulator(unittest.TestCase):
    def table(self, status="enabled", **entries):
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        with open(os.path.join(folder, "status"), "w") as f:
            f.write(status + "\n")
        open(os.path.join(folder, "register"), "w").close()
        for name, text in entries.items():
            with open(os.path.join(folder, name), "w") as f:
                f.write(text)
        return folder

    def test_an_entry_whose_magic_and_mask_fit_the_program_is_its_emulator(self):
        table = self.table(mono=BY_NAME, qemu_x86_64=QEMU_X86_64, qemu_i386=QEMU_I386)
        self.assertEqual(i386_probe.emulator(i386_probe.program(), table), "/usr/bin/qemu-i386")
        # The mask leaves out the byte of the OS's ABI, which the probe does not set.
        linux_abi = QEMU_I386.replace("magic 7f454c4601010100", "magic 7f454c4601010103")
        self.assertEqual(i386_probe.emulator(i386_probe.program(), self.table(qemu=linux_abi)),
                         "/usr/bin/qemu-i386")

    def test_no_emulator_where_no_entry_fits_or_it_is_switched_off(self):
        program = i386_probe.program()
        self.assertEqual(i386_probe.emulator(program, self.table(qemu=QEMU_X86_64, mono=BY_NAME)), "")
        off = QEMU_I386.replace("enabled", "disabled", 1)
        self.assertEqual(i386_probe.emulator(program, self.table(qemu=off)), "")
        self.assertEqual(i386_probe.emulator(program, self.table("disabled", qemu=QEMU_I386)), "")
        self.assertEqual(i386_probe.emulator(program, "/nonexistent"), "")
        torn = QEMU_I386.replace("magic 7f454c46", "magic 7f454c4")   # an odd number of digits
        self.assertEqual(i386_probe.emulator(program, self.table(qemu=torn)), "")

    def test_a_magic_past_the_end_of_the_program_does_not_fit(self):
        far = QEMU_I386.replace("offset 0", "offset %d" % len(i386_probe.program()))
        self.assertEqual(i386_probe.emulator(i386_probe.program(), self.table(qemu=far)), "")


class ThisMachine(unittest.TestCase):
    def test_the_answer_is_runs_or_refused_with_a_reason(self):
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        answer = subprocess.run([sys.executable, os.path.join(SCRIPTS, "i386_probe.py"), folder],
                                stdout=subprocess.PIPE, text=True, check=True).stdout
        self.assertRegex(answer, r"\A(runs|refused: \S.*)\n\Z")
        self.assertEqual(os.listdir(folder), [], "the probe program is left behind")


if __name__ == "__main__":
    unittest.main()
