#!/usr/bin/env python3
"""Checks a program that goes on a medium, as shipped, without running it:
that every Windows it serves can load it, and that it fits its share of a
floppy.

    check_program.py --objdump OBJDUMP --table docs/windows-imports.md --max-size BYTES PROGRAM
                     [--expect-fault TEXT ...]

- Imports: every function the program imports is in the table, under the DLL
  it is imported from, and exported by Windows 95 and by NT 4.0 or earlier
  (a loader refuses a program whose imports it cannot resolve); none is
  imported by ordinal alone.
- Headers: an i386 GUI program for Windows 4.0 (the version the subsystem
  and the operating system fields ask for), with the file and section
  alignment that Windows 95 loads.
- Contents: the sections a linker makes, no packer's, and no debug
  information (it goes to PROGRAM.debug beside the build).
- Size: at most BYTES.

Prints what it found; exits 1 with every fault listed. With --expect-fault
(the check's own test, on a program made to break the rules) it exits 0 only
when faults were found and each TEXT is in one of them.
"""

import argparse
import os
import re
import subprocess
import sys

OLDEST_9X = "95"
# NT versions in order; a function must be exported by NT 4.0 or earlier.
NT_VERSIONS = ["3.1", "3.5", "3.51", "4.0", "2000", "XP", "Vista"]
NEWEST_NT = "4.0"
# The sections that GNU ld makes of the programs; a packer adds others
# (UPX0, .aspack, ...) and moves the code out of .text.
SECTIONS = {".text", ".data", ".rdata", ".eh_frame", ".pdata", ".xdata", ".bss", ".idata", ".CRT", ".tls",
            ".rsrc", ".reloc"}


def read_table(path):
    """(DLL, function) -> (9x, NT, source) from the Markdown table."""
    table = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            cells = [c.strip() for c in line.strip().strip("|").split("|")]
            if not line.startswith("|") or len(cells) != 5 or cells[0] in ("DLL", "---"):
                continue
            dll, function, nine_x, nt, source = cells
            if nt != "-" and nt not in NT_VERSIONS or nine_x not in ("95", "98", "ME", "-") or not source:
                raise SystemExit("%s:%d: a row needs DLL | function | 95, 98, ME or - | %s or - | source"
                                 % (path, number, ", ".join(NT_VERSIONS)))
            key = (dll.upper(), function)
            if key in table:
                raise SystemExit("%s:%d: %s!%s is in the table twice" % (path, number, dll, function))
            table[key] = (nine_x, nt, source)
    if not table:
        raise SystemExit(path + ": no table of imports")
    return table


def parse(dump):
    """The imports (DLL -> names, '<ordinal N>' for one imported by ordinal),
    the header fields and the sections, from objdump -p -h."""
    imports, dll = {}, None
    fields, sections = {}, []
    in_imports = False
    for line in dump.splitlines():
        m = re.match(r"^\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1).upper()
            imports.setdefault(dll, [])
            in_imports = True
            continue
        if in_imports and dll:
            m = re.match(r"^\s+[0-9a-f]+\s+(\d+)\s+(\S+)\s*$", line)
            if m:
                imports[dll].append(m.group(2))
                continue
            m = re.match(r"^\s+[0-9a-f]+\s+<none>\s+([0-9a-f]+)", line)
            if m:
                imports[dll].append("<ordinal %d>" % int(m.group(1), 16))
                continue
            if not line.strip():
                continue
            if not re.match(r"^\s+(vma:|[0-9a-f]+\s)", line):
                dll, in_imports = None, False
        m = re.match(r"^(Magic|MajorOSystemVersion|MinorOSystemVersion|MajorSubsystemVersion|"
                     r"MinorSubsystemVersion|Subsystem|FileAlignment|SectionAlignment)\s+(\S+)", line)
        if m:
            fields[m.group(1)] = m.group(2)
        m = re.match(r"^\s*\d+\s+(\S+)\s+[0-9a-f]{8}\s+[0-9a-f]{8}\s+[0-9a-f]{8}\s+[0-9a-f]{8}\s+2\*\*\d+", line)
        if m:
            sections.append(m.group(1))
    m = re.search(r"file format (\S+)", dump)
    fields["format"] = m.group(1) if m else "?"
    return imports, fields, sections


def check(program, dump, table, max_size):
    faults = []
    imports, fields, sections = parse(dump)
    if not imports:
        faults.append("it imports nothing: is it a Windows program?")
    for dll in sorted(imports):
        for function in imports[dll]:
            row = table.get((dll, function))
            if row is None:
                faults.append("%s!%s is not in the table of what Windows 95 and NT 4.0 export" % (dll, function))
                continue
            nine_x, nt, source = row
            if nine_x != OLDEST_9X:
                faults.append("%s!%s is not exported by Windows 95 (the table says: %s; %s)"
                              % (dll, function, "no 9x" if nine_x == "-" else nine_x, source))
            if nt == "-" or NT_VERSIONS.index(nt) > NT_VERSIONS.index(NEWEST_NT):
                faults.append("%s!%s is not exported by NT 4.0 (the table says: %s; %s)"
                              % (dll, function, "no NT" if nt == "-" else "NT " + nt, source))
    expected = {"format": "pei-i386", "Magic": "010b", "MajorOSystemVersion": "4", "MinorOSystemVersion": "0",
                "MajorSubsystemVersion": "4", "MinorSubsystemVersion": "0", "Subsystem": "00000002",
                "FileAlignment": "00000200", "SectionAlignment": "00001000"}
    for name, value in expected.items():
        if fields.get(name) != value:
            faults.append("header %s is %s, not %s" % (name, fields.get(name, "missing"), value))
    unknown = [s for s in sections if s not in SECTIONS]
    if unknown:
        faults.append("sections a linker does not make (debug information, or a packer's): " + " ".join(unknown))
    if ".text" not in sections:
        faults.append("no .text section")
    size = os.path.getsize(program)
    if size > max_size:
        faults.append("%d bytes, more than the %d it may take of a floppy" % (size, max_size))
    return faults, imports, size


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--table", required=True)
    parser.add_argument("--max-size", type=int, required=True)
    parser.add_argument("--expect-fault", action="append", default=[])
    parser.add_argument("program")
    args = parser.parse_args()
    table = read_table(args.table)
    dump = subprocess.run([args.objdump, "-p", "-h", args.program], stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, check=True).stdout.decode("utf-8", "replace")
    faults, imports, size = check(args.program, dump, table, args.max_size)
    name = os.path.basename(args.program)
    print("%s: %d bytes (at most %d); imports %s" % (name, size, args.max_size,
          "; ".join("%s: %s" % (d, ", ".join(f)) for d, f in sorted(imports.items()))))
    for fault in faults:
        print("%s: %s" % (name, fault))
    if args.expect_fault:
        missed = [t for t in args.expect_fault if not any(t in fault for fault in faults)]
        for text in missed:
            print("%s: expected a fault naming %s, and there is none" % (name, text))
        return 1 if missed or not faults else 0
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
