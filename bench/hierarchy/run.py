#!/usr/bin/env python3
"""Reading layouts of very many structures: Zandor at 10,000 and 100,000 structures, KLayout on the larger.

Usage: bench/hierarchy/run.py [--cli PATH] [--runs N] [--small N] [--large N] [--levels N] [--top-down]
                              [--save] [--keep]
       (run from anywhere after a build; needs only the standard library, and klayout on PATH)

Generates two GDSII files with gen_hierarchy_gds.py (a hierarchy --levels deep, default 12, of
small structures with SREFs and AREFs), times `zandor-cli info` on each and KLayout reading the
larger one (kl_cells.py), best of --runs, and prints the times side by side with two ratios:
  growth   = Zandor time (large) / Zandor time (small)   target <= 12 (10 x the structures)
  vs peer  = Zandor time (large) / KLayout time (large)  target <= 1
Both count whole processes (start-up included), wall clock; CPU seconds (user + system) are shown
beside them because a loaded machine stretches the wall clock.  --save also times writing the
larger file back as GDSII and as CIF (`zandor-cli convert`).  Exit status 1 when a target is missed.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from benchlib import run_process  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


def measure(cmd):
    """Runs cmd; returns (wall seconds, CPU seconds, stdout)."""
    run = run_process(cmd)
    return run.wall, run.cpu, run.out


def best_of(cmd, runs):
    results = [measure(cmd) for _ in range(runs)]
    return min(r[0] for r in results), min(r[1] for r in results), results[-1][2]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default=os.environ.get("ZANDOR_CLI",
                                                        os.path.join(ROOT, "build", "src", "cli", "zandor-cli")))
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--small", type=int, default=10_000)
    parser.add_argument("--large", type=int, default=100_000)
    parser.add_argument("--levels", type=int, default=12)
    parser.add_argument("--top-down", action="store_true", help="parents before children in the files")
    parser.add_argument("--save", action="store_true", help="also time writing the larger file")
    parser.add_argument("--keep", action="store_true")
    args = parser.parse_args()
    if not os.access(args.cli, os.X_OK):
        sys.exit(f"build first: {args.cli} is missing (or give --cli)")
    klayout = shutil.which("klayout")
    if not klayout:
        sys.exit("klayout is not installed (scripts/install-deps installs it)")
    work = tempfile.mkdtemp(prefix="zandor-hierarchy-bench-")
    try:
        files = {}
        for label, count in (("small", args.small), ("large", args.large)):
            path = os.path.join(work, f"hierarchy_{count}.gds")
            cmd = [sys.executable, os.path.join(HERE, "gen_hierarchy_gds.py"), path, str(count),
                   "--levels", str(args.levels)]
            if args.top_down:
                cmd.append("--top-down")
            subprocess.run(cmd, check=True)
            files[label] = (count, path)

        print(f"best of {args.runs} runs; load average now {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores; "
              f"{args.levels} levels, {'parents' if args.top_down else 'children'} first")
        print(f"{'structures':>10}{'MB':>7}  {'Zandor s':>9}{'CPU s':>7}  {'KLayout s':>10}{'CPU s':>7}{'inner s':>8}")
        zandor = {}
        kwall = kcpu = float("nan")
        for label in ("small", "large"):
            count, path = files[label]
            wall, cpu, _ = best_of([args.cli, "info", path], args.runs)
            zandor[label] = (wall, cpu)
            line = f"{count:>10}{os.path.getsize(path) / 1e6:>7.1f}  {wall:>9.2f}{cpu:>7.2f}"
            if label == "large":
                kwall, kcpu, out = best_of([klayout, "-b", "-r", os.path.join(HERE, "kl_cells.py"),
                                            "-rd", f"infile={path}"], args.runs)
                inner = [float(x.split()[1]) for x in out.splitlines() if x.startswith("inner_s ")]
                cells = [x for x in out.splitlines() if x.startswith("cells ")]
                line += f"  {kwall:>10.2f}{kcpu:>7.2f}{inner[0] if inner else float('nan'):>8.2f}"
                if cells:
                    line += f"   ({cells[0]})"
            print(line, flush=True)

        growth = zandor["large"][0] / zandor["small"][0]
        growth_cpu = zandor["large"][1] / max(zandor["small"][1], 1e-3)
        versus = zandor["large"][0] / kwall
        versus_cpu = zandor["large"][1] / max(kcpu, 1e-3)
        growth_ok = growth <= 12
        versus_ok = versus <= 1
        print(f"growth {args.large}/{args.small}: {growth:.2f} (CPU {growth_cpu:.2f})  target <= 12  "
              f"{'ok' if growth_ok else 'MISSED'}")
        print(f"Zandor/KLayout on {args.large}: {versus:.2f} (CPU {versus_cpu:.2f})  target <= 1  "
              f"{'ok' if versus_ok else 'MISSED'}")

        if args.save:
            count, path = files["large"]
            for ext in ("gds", "cif"):
                written = os.path.join(work, f"written.{ext}")
                wall, cpu, _ = best_of([args.cli, "convert", path, written], args.runs)
                print(f"read + write {count} as {ext.upper()}: {wall:.2f} s (CPU {cpu:.2f} s), "
                      f"{os.path.getsize(written) / 1e6:.1f} MB")
        sys.exit(0 if growth_ok and versus_ok else 1)
    finally:
        if args.keep:
            print(f"files kept in {work}")
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
