#!/usr/bin/env python3
"""GDSII read and write speed and peak memory: Zandor against KLayout on the same files.

Usage: bench/gds/run.py [--cli PATH] [--megabytes N] [--runs N] [--check] [--keep]
       (run from the repository root after a build; the generator needs /usr/bin/python3 with numpy)

Inputs: the two largest macros of the shared corpus when it is there (the RAM macro, decompressed,
and the SRAM macro) and a generated file of --megabytes MB (default 520) with hierarchy and many
boundaries, paths and references, written to a temporary directory and deleted afterwards.
Prints, per input, MB/s and peak RSS for reading (zandor-cli info / KLayout read) and for reading +
writing (zandor-cli convert / KLayout read + write) and the ratios.  --check compares each GDS we
wrote with the original through tests/interop/gds_xor.py (flattened XOR, minutes for the macros).
"""
import argparse
import gzip
import os
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from benchlib import rec, run_process  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CORPUS = os.path.join(os.path.dirname(ROOT), "shared", "corpus", "gds", "orfs")


def measure(cmd):
    """Runs cmd, returns (seconds, peak RSS in MiB, seconds the child reports as "inner_s")."""
    run = run_process(cmd)
    inner = [float(line.split()[1]) for line in run.out.splitlines() if line.startswith("inner_s ")]
    return run.wall, run.rss_mib, inner[0] if inner else run.wall


def best_of(cmd, runs):
    results = [measure(cmd) for _ in range(runs)]
    return min(r[0] for r in results), max(r[1] for r in results), min(r[2] for r in results)


def tiny_gds(path):
    """A library with one empty structure: what each program costs to start, read and exit."""
    stamp = struct.pack(">12H", 2026, 1, 1, 0, 0, 0, 2026, 1, 1, 0, 0, 0)
    units = bytes([0x3E, 0x41, 0x89, 0x37, 0x4B, 0xC6, 0xA7, 0xF0, 0x39, 0x44, 0xB8, 0x2F, 0xA0, 0x9B, 0x5A, 0x54])
    with open(path, "wb") as f:
        f.write(rec(0, 2, struct.pack(">H", 600)) + rec(1, 2, stamp) + rec(2, 6, b"TINY") + rec(3, 5, units) +
                rec(5, 2, stamp) + rec(6, 6, b"TOP\0") + rec(7, 0) + rec(4, 0))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", default=os.environ.get("ZANDOR_CLI",
                                                        os.path.join(ROOT, "build", "src", "cli", "zandor-cli")))
    parser.add_argument("--megabytes", type=float, default=520)
    parser.add_argument("--runs", type=int, default=2)
    parser.add_argument("--check", action="store_true")
    parser.add_argument("--keep", action="store_true")
    args = parser.parse_args()
    cli = args.cli
    if not os.access(cli, os.X_OK):
        sys.exit(f"build first: {cli} is missing (or give --cli)")
    klayout = shutil.which("klayout")
    if not klayout:
        sys.exit("klayout is not installed (scripts/install-deps installs it)")
    work = tempfile.mkdtemp(prefix="zandor-gds-bench-")
    try:
        inputs = []
        ram = os.path.join(CORPUS, "RAM32_1RW1R.gds.gz")
        if os.path.exists(ram):
            plain = os.path.join(work, "RAM32_1RW1R.gds")
            with gzip.open(ram) as f, open(plain, "wb") as g:
                shutil.copyfileobj(f, g)
            inputs.append(("RAM32_1RW1R", plain))
        sram = os.path.join(CORPUS, "sky130_sram_1rw1r_44x64_8.gds")
        if os.path.exists(sram):
            inputs.append(("sky130_sram_44x64", sram))
        if args.megabytes > 0:
            big = os.path.join(work, "generated.gds")
            subprocess.run(["/usr/bin/python3", os.path.join(ROOT, "bench", "gds", "gen_gds.py"), big,
                            str(args.megabytes)], check=True)
            inputs.append(("generated", big))
        macro = os.path.join(ROOT, "bench", "gds", "kl_gds.py")
        tiny = os.path.join(work, "tiny.gds")
        tiny_gds(tiny)
        z0, zm0, _ = best_of([cli, "info", tiny], 3)
        k0, km0, _ = best_of([klayout, "-b", "-r", macro, "-rd", f"infile={tiny}"], 3)
        print(f"best of {args.runs} runs; load average now {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores")
        print(f"start-up (an empty library): Zandor {z0:.2f} s {zm0:.0f} MiB, KLayout {k0:.2f} s {km0:.0f} MiB")
        print(f"{'input':<19}{'MB':>7} {'task':<13}{'Zandor s':>9}{'MB/s':>8}{'RSS MiB':>9}"
              f"{'KLayout s':>10}{'MB/s':>8}{'RSS MiB':>9}{'speed x':>9}{'memory x':>10}{'KL inner s':>11}"
              f"{'inner speed x':>14}{'net mem x':>11}")
        written = []
        for label, path in inputs:
            mb = os.path.getsize(path) / 1e6
            out_z = os.path.join(work, label + ".zandor.gds")
            out_k = os.path.join(work, label + ".klayout.gds")
            rows = [
                ("read", [cli, "info", path], [klayout, "-b", "-r", macro, "-rd", f"infile={path}"]),
                ("read + write", [cli, "convert", path, out_z],
                 [klayout, "-b", "-r", macro, "-rd", f"infile={path}", "-rd", f"outfile={out_k}"]),
            ]
            for task, zcmd, kcmd in rows:
                zs, zm, _ = best_of(zcmd, args.runs)
                ks, km, kin = best_of(kcmd, args.runs)
                net_mem = max(zm - zm0, 1) / max(km - km0, 1)
                print(f"{label:<19}{mb:>7.1f} {task:<13}{zs:>9.2f}{mb / zs:>8.1f}{zm:>9.0f}{ks:>10.2f}{mb / ks:>8.1f}"
                      f"{km:>9.0f}{ks / zs:>9.2f}{zm / km:>10.2f}{kin:>11.2f}{kin / zs:>14.2f}{net_mem:>11.2f}",
                      flush=True)
            written.append((label, path, out_z))
            os.remove(out_k)
        print("speed x = KLayout time / Zandor time (target >= 1.5 for reading); "
              "memory x = Zandor peak / KLayout peak (target <= 0.5);\n"
              "KL inner s = KLayout's time inside read (and write), without its start-up; inner speed x = that / "
              "Zandor's whole process; net mem x = both peaks less their empty-library peak")
        if args.check:
            xor = os.path.join(ROOT, "tests", "interop", "gds_xor.py")
            for label, path, out_z in written:
                if label == "generated":
                    continue   # made for speed: its random polygons are not checked here
                r = subprocess.run([klayout, "-b", "-r", xor, "-rd", f"ref={path}", "-rd", f"out={out_z}"],
                                   capture_output=True, text=True)
                print(f"check {label}: {'ok' if r.returncode == 0 else 'DIFFERENT'}")
                if r.returncode:
                    print(r.stdout + r.stderr)
    finally:
        if args.keep:
            print(f"files kept in {work}")
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
