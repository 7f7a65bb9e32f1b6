#!/usr/bin/env python3
"""Runs end-to-end scenarios and compares what they leave with what they expect.

    run.py --bin-dir BUILD [--work DIR] [--backend posix|wine] [--list] [NAME...]

Without names every scenario runs. The exit status is 0 only when each one
gave the expected transcript, installation, temporary files and removals.
"""

import argparse
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import scenarios  # noqa: E402
import wine_backend  # noqa: E402

SKIPPED = 77  # every scenario asked for was skipped (ctest's SKIP_RETURN_CODE)

BACKENDS = {"posix": harness.PosixBackend, "wine": wine_backend.WineBackend}


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin-dir", help="the build tree holding the programs")
    parser.add_argument("--work", help="where the scenarios' machines are made (kept for a look afterwards)")
    parser.add_argument("--backend", default="posix", choices=sorted(BACKENDS))
    parser.add_argument("--list", action="store_true", help="print the scenarios' names")
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()

    every = {s.name: s for s in scenarios.ALL}
    if args.list:
        print("\n".join(every))
        return 0
    if not args.bin_dir:
        parser.error("--bin-dir is needed to run scenarios")
    unknown = [n for n in args.names if n not in every]
    if unknown:
        parser.error("no such scenario: " + ", ".join(unknown))
    chosen = [every[n] for n in args.names] if args.names else list(every.values())

    work = args.work or tempfile.mkdtemp(prefix="zefa-e2e-")
    failed = skipped = 0
    for s in chosen:
        if args.backend in s.skip_reason:
            print(f"SKIP {s.name}: {s.skip_reason[args.backend]}")
            skipped += 1
            continue
        backend = BACKENDS[args.backend](os.path.abspath(args.bin_dir), os.path.join(os.path.abspath(work), s.name))
        try:
            result = backend.run(s)
            # A backend may word the platform's own texts otherwise (Wine).
            expected = backend.expected(s) if hasattr(backend, "expected") else s
            problems = result.notes + harness.check(expected, result)
        except harness.ScenarioFailure as e:
            problems = [str(e)]
        if problems:
            failed += 1
            print(f"FAIL {s.name}: {s.about}")
            for p in problems:
                print("  " + p.replace("\n", "\n  "))
            print("  --- what the programs printed ---")
            print("  " + getattr(backend, "output", "").replace("\n", "\n  "))
        else:
            print(f"ok   {s.name}")
    if failed:
        return 1
    return SKIPPED if skipped == len(chosen) else 0


if __name__ == "__main__":
    sys.exit(main())
