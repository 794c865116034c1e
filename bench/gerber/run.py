#!/usr/bin/env python3
"""Gerber benchmark, Zandor beside gerbv and KLayout, each in its own process on the same file.

Usage (from the repository root, after building zandor-cli):
  bench/gerber/run.py [--cli PATH] [--parts write,read] [--files N] [--keep DIR]

write: the metal layers of the RAM32 macro (../shared/corpus/gds/orfs/RAM32_1RW1R.gds.gz) exported
       by Zandor to RS-274X with the fill modes "Always" (regions) and "Only when necessary"
       (aperture strokes); the file written is then read by gerbv writing it again as RS-274X
       (`gerbv -x rs274x`) and imported by KLayout (through a PCB project), the peers' cost of the
       same photoplot.
read:  the N largest Gerber files of the corpus (default 4) read by Zandor (zandor-cli info, which
       loads the whole file), by gerbv exporting RS-274X, and by KLayout's import.
Prints wall time and peak memory of each process and the ratios Zandor/peer (KLayout's start-up of
about 3 s is in its time). Timings are wall clock on a shared machine: run it twice.
"""
import argparse
import gzip
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.dirname(HERE))
from benchlib import run_process  # noqa: E402

SHARED = os.environ.get("ZANDOR_SHARED", os.path.join(os.path.dirname(ROOT), "shared"))
RAM32 = os.path.join(SHARED, "corpus", "gds", "orfs", "RAM32_1RW1R.gds.gz")
GERBER_CORPUS = os.path.join(SHARED, "corpus", "gerber")
MAKE_PCB = os.path.join(SHARED, "oracles", "make_pcb_project.py")
# The RAM32 macro's routing layers (GDSII layer/datatype of met1 .. met5 drawing).
METALS = {"68/20", "69/20", "70/20", "71/20", "72/20"}


def find_cli(given):
    if given:
        return given
    for build in ("build", "build-rel"):
        path = os.path.join(ROOT, build, "src", "cli", "zandor-cli")
        if os.path.exists(path):
            return path
    sys.exit("build zandor-cli first: cmake --build build --target zandor-cli (or pass --cli)")


def peers(path, work):
    """gerbv and KLayout on one Gerber file: (gerbv run, KLayout run, KLayout's shape count)."""
    g = run_process(["gerbv", "-x", "rs274x", "-o", os.path.join(work, "gerbv-out.gbr"), path])
    project = os.path.join(work, "peer.pcb")
    subprocess.run(["/usr/bin/python3", MAKE_PCB, project, path], check=True)
    k = run_process(["klayout", "-b", "-r", os.path.join(HERE, "kl_read.py"), "-rd", f"project={project}"])
    shapes = k.out.split()[0].split("=")[1] if k.out.startswith("shapes=") else "?"
    return g, k, shapes


def row(label, size_mb, z, g, k, shapes):
    print(f"{label:>28} {size_mb:>7.1f} | {z.wall:>7.2f} {z.rss_mib:>6.0f} | {g.wall:>7.2f} {g.rss_mib:>6.0f} | "
          f"{k.wall:>7.2f} {k.rss_mib:>6.0f} {shapes:>9} | {z.wall / g.wall:>6.2f} {z.wall / k.wall:>6.2f}")


HEADER = (f"{'':>28} {'MB':>7} | {'zandor s':>7} {'MiB':>6} | {'gerbv s':>7} {'MiB':>6} | {'klayout s':>7} "
          f"{'MiB':>6} {'shapes':>9} | {'/gerbv':>6} {'/kl':>6}")


def bench_write(cli, work):
    if not os.path.exists(RAM32):
        print(f"\n== write: {RAM32} is missing, skipped")
        return
    path = os.path.join(work, "RAM32_1RW1R.gds")
    with gzip.open(RAM32, "rb") as src, open(path, "wb") as dst:
        shutil.copyfileobj(src, dst)
    info = json.loads(run_process([cli, "info", path, "--json"]).out)
    layers = [la for la in info["layers"] if f"{la['gds_layer']}/{la['datatype']}" in METALS]
    print("\n== write: RAM32 metal layers to RS-274X (Zandor's export; the peers read the file written)")
    print(HEADER)
    for fill in ("always", "necessary"):
        for layer in layers:
            out = os.path.join(work, f"ram32-{layer['index']}-{fill}.gbr")
            z = run_process([cli, "export", path, "--layer", str(layer["index"]), "--format", "gerber", "--fill",
                             fill, out])
            g, k, shapes = peers(out, work)
            row(f"{layer['gds_layer']}/{layer['datatype']} {fill}", os.path.getsize(out) / 1e6, z, g, k, shapes)
            os.remove(out)


def bench_read(cli, work, count):
    files = []
    for base, _, names in os.walk(GERBER_CORPUS):
        files += [os.path.join(base, n) for n in names if n != "MANIFEST.tsv"]
    files.sort(key=os.path.getsize, reverse=True)
    print(f"\n== read: the {count} largest corpus Gerber files")
    print(HEADER)
    for path in files[:count]:
        z = run_process([cli, "info", path, "--format", "gerber"])
        g, k, shapes = peers(path, work)
        row(os.path.basename(path)[-28:], os.path.getsize(path) / 1e6, z, g, k, shapes)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cli")
    parser.add_argument("--parts", default="write,read")
    parser.add_argument("--files", type=int, default=4)
    parser.add_argument("--keep")
    args = parser.parse_args()
    cli = find_cli(args.cli)
    for tool in ("gerbv", "klayout"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is needed as a peer (Debian package {tool})")
    work = args.keep or tempfile.mkdtemp(prefix="gerber-bench-")
    os.makedirs(work, exist_ok=True)
    try:
        if "write" in args.parts:
            bench_write(cli, work)
        if "read" in args.parts:
            bench_read(cli, work, args.files)
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
