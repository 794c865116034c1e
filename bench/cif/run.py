#!/usr/bin/env python3
"""CIF read and write speed and peak memory: Zandor against KLayout on the same file.

Usage: bench/cif/run.py [--objects N] [--keep]   (run from the repository root after a build)
Prints MB/s, peak RSS and the ratios for reading, and reading + writing.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CLI = os.path.join(ROOT, "build", "src", "cli", "zandor-cli")


def measure(cmd):
    """Runs cmd, returns (seconds, peak RSS in MiB)."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.perf_counter() - start
    err = proc.stderr.read().decode(errors="replace")
    proc.stderr.close()
    if status != 0:
        sys.exit(f"command failed ({status}): {' '.join(cmd)}\n{err}")
    return seconds, usage.ru_maxrss / 1024.0


def best_of(cmd, runs):
    results = [measure(cmd) for _ in range(runs)]
    return min(r[0] for r in results), max(r[1] for r in results)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objects", type=int, default=2_000_000)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--keep", action="store_true")
    args = parser.parse_args()
    if not os.access(CLI, os.X_OK):
        sys.exit(f"build first: {CLI} is missing")
    klayout = shutil.which("klayout")
    if not klayout:
        sys.exit("klayout is not installed (scripts/install-deps installs it)")
    work = tempfile.mkdtemp(prefix="zandor-cif-bench-")
    try:
        big = os.path.join(work, "big.cif")
        subprocess.run([sys.executable, os.path.join(ROOT, "bench", "cif", "gen_cif.py"), big, str(args.objects)],
                       check=True)
        mb = os.path.getsize(big) / 1e6
        macro = os.path.join(ROOT, "bench", "cif", "kl_cif.py")
        out_z = os.path.join(work, "out-zandor.cif")
        out_k = os.path.join(work, "out-klayout.cif")
        rows = [
            ("read", [CLI, "info", big],
             [klayout, "-b", "-r", macro, "-rd", f"infile={big}"]),
            ("read + write", [CLI, "convert", big, out_z],
             [klayout, "-b", "-r", macro, "-rd", f"infile={big}", "-rd", f"outfile={out_k}"]),
        ]
        print(f"input: {mb:.1f} MB, {args.objects} objects, best of {args.runs} runs")
        print(f"{'task':<14}{'Zandor s':>10}{'MB/s':>9}{'RSS MiB':>9}{'KLayout s':>11}{'MB/s':>9}{'RSS MiB':>9}"
              f"{'speed x':>9}{'memory x':>10}")
        for name, zcmd, kcmd in rows:
            zs, zm = best_of(zcmd, args.runs)
            ks, km = best_of(kcmd, args.runs)
            print(f"{name:<14}{zs:>10.2f}{mb / zs:>9.1f}{zm:>9.0f}{ks:>11.2f}{mb / ks:>9.1f}{km:>9.0f}"
                  f"{ks / zs:>9.2f}{zm / km:>10.2f}")
        print("speed x = KLayout time / Zandor time (target >= 2 for reading); "
              "memory x = Zandor peak / KLayout peak (target <= 0.5)")
    finally:
        if args.keep:
            print(f"files kept in {work}")
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
