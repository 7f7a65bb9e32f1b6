#!/usr/bin/env python3
"""Whether this machine runs 32-bit (i386) programs, found by running one.

    i386_probe.py DIR

Some hosts of our kind refuse every 32-bit program (the kernel answers
"Exec format error"), however the CPU and the kernel's options read; so the
answer comes from running a program, not from reading them. The program is
the smallest i386 Linux program there is, written here byte by byte into DIR
(so it needs no 32-bit toolchain and no 32-bit package): it exits with
status 42 through the i386 system call gate, which only a kernel that runs
32-bit programs carries out.

Prints "runs" when it ran, or "refused: REASON" when the kernel refused it
as a format it does not run, and exits 0. A program that ran only because
binfmt_misc hands 32-bit programs to an emulator (qemu-user) counts as
refused: under emulation the 32-bit Wine takes minutes to start, and the
Windows tests would run for hours. Anything else (a folder that does
not allow programs, a program that ran but did not exit with 42) is no
answer: the reason goes to standard error and the exit status is 1.
"""

import errno
import os
import struct
import subprocess
import sys

BASE = 0x08048000        # where i386 programs are traditionally loaded
STATUS = 42


def program() -> bytes:
    # mov eax, 1 (exit); mov ebx, 42; int 0x80
    code = b"\xb8\x01\x00\x00\x00" + b"\xbb" + struct.pack("<I", STATUS) + b"\xcd\x80"
    header_size, segment_size = 52, 32
    size = header_size + segment_size + len(code)
    ident = b"\x7fELF" + bytes([1, 1, 1, 0]) + bytes(8)   # 32-bit, little-endian, version 1, System V
    header = ident + struct.pack("<HHIIIIIHHHHHH",
                                 2, 3, 1,                  # an executable for the 386, version 1
                                 BASE + header_size + segment_size,   # entry: the code after the headers
                                 header_size, 0, 0,        # segment table after this header; no sections
                                 header_size, segment_size, 1, 0, 0, 0)
    # One loadable segment, readable and executable: the whole file.
    segment = struct.pack("<IIIIIIII", 1, 0, BASE, BASE, size, size, 5, 0x1000)
    return header + segment + code


def emulator(binary: bytes, table: str = "/proc/sys/fs/binfmt_misc") -> str:
    """The interpreter that binfmt_misc gives BINARY to, or "" for none."""
    try:
        with open(os.path.join(table, "status")) as f:
            if f.read().strip() != "enabled":
                return ""
        names = os.listdir(table)
    except OSError:
        return ""
    for name in sorted(names):
        if name in ("register", "status"):
            continue
        # "enabled", then "interpreter PATH", "flags: ...", "offset N",
        # "magic HEX", "mask HEX" (an entry by file name has no magic).
        try:
            with open(os.path.join(table, name)) as f:
                lines = f.read().splitlines()
            fields = dict(line.split(" ", 1) for line in lines[1:] if " " in line)
            magic = bytes.fromhex(fields["magic"])
            mask = bytes.fromhex(fields.get("mask", "ff" * len(magic)))
            offset = int(fields.get("offset", "0"))
        except (OSError, ValueError, KeyError):
            continue
        if lines[0] != "enabled":
            continue
        window = binary[offset:offset + len(magic)]
        if len(window) == len(magic) and all(b & m == g & m for b, g, m in zip(window, magic, mask)):
            return fields.get("interpreter", name)
    return ""


def main() -> int:
    if len(sys.argv) != 2:
        print("usage: i386_probe.py DIR", file=sys.stderr)
        return 2
    os.makedirs(sys.argv[1], exist_ok=True)
    path = os.path.join(sys.argv[1], "i386-probe")
    with open(path, "wb") as f:
        f.write(program())
    os.chmod(path, 0o755)
    try:
        # execve itself, not a shell: a shell would read a refused program
        # as a script of its own.
        status = subprocess.run([path], stdin=subprocess.DEVNULL).returncode
    except OSError as e:
        if e.errno == errno.ENOEXEC:
            print("refused: " + os.strerror(e.errno))
            return 0
        print("i386_probe.py: cannot run %s: %s" % (path, os.strerror(e.errno)), file=sys.stderr)
        return 1
    finally:
        os.remove(path)
    if status == STATUS:
        interpreter = emulator(program())
        if interpreter:
            print("refused: they run only through the emulator %s, far too slow for Wine" % interpreter)
        else:
            print("runs")
        return 0
    print("i386_probe.py: the 32-bit program ran but ended with status %d, not %d" % (status, STATUS),
          file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
