#!/usr/bin/env python3
"""Fracturing benchmark: every polygon layer of a layout cut into flashes by Zandor (zandor-cli
export to the Mann 3600 format with its metric preset: 0.1 um resolution, flashes of 2 to 1500 um) beside KLayout decomposing the same layer into
trapezoids (Region.decompose_trapezoids), each in its own process on the same GDSII file.

Usage (from the repository root, after building zandor-cli):
  bench/fracture/run.py [--cli PATH] [--polygons N] [--layouts sram,ram32,generated] [--keep DIR]

Layouts: the sky130 SRAM macro and the RAM32 macro of the corpus (../shared/corpus/gds/orfs), and a
generated layout of N polygons (default 100,000): half rectilinear (L, U and staircase shapes) on
layer 1, half 45-degree (octagons and chamfered bars) on layer 2.
Prints, per layer: the polygons, Zandor's figures (flash statements), its wall time (load and write
included), figures per second and peak memory; KLayout's trapezoids, its time (load, collect,
decompose; its decomposition alone beside) and peak memory; the time and memory ratios Zandor/KLayout
of the whole processes (KLayout's start-up of about 3 s is in its time). Timings are wall clock on a
shared machine: run it twice.
"""
import argparse
import gzip
import json
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.dirname(HERE))
from benchlib import name_rec, real8, rec, run_process  # noqa: E402

CORPUS = os.path.join(os.environ.get("ZANDOR_SHARED", os.path.join(os.path.dirname(ROOT), "shared")), "corpus",
                      "gds", "orfs")
LAYOUTS = {"sram": "sky130_sram_1rw1r_44x64_8.gds", "ram32": "RAM32_1RW1R.gds.gz"}


def boundary(layer, points):
    pts = list(points) + [points[0]]
    return (rec(0x08, 0) + rec(0x0D, 2, struct.pack(">h", layer)) + rec(0x0E, 2, struct.pack(">h", 0)) +
            rec(0x10, 3, b"".join(struct.pack(">ii", x, y) for x, y in pts)) + rec(0x11, 0))


def shapes(n, seed=1):
    """n polygons in a grid of 12 um cells: rectilinear ones on layer 1, 45-degree ones on layer 2."""
    rnd = random.Random(seed)
    side = int(n ** 0.5) + 1
    for k in range(n):
        x0, y0 = (k % side) * 12000, (k // side) * 12000
        a, b = rnd.randint(2, 5) * 1000, rnd.randint(6, 10) * 1000
        kind = k % 6
        if kind == 0:  # L
            pts = [(0, 0), (b, 0), (b, a), (a, a), (a, b), (0, b)]
        elif kind == 1:  # U
            pts = [(0, 0), (b, 0), (b, b), (b - a // 2, b), (b - a // 2, a), (a // 2, a), (a // 2, b), (0, b)]
        elif kind == 2:  # staircase
            steps = rnd.randint(3, 6)
            s = b // steps
            pts = [(0, 0), (b, 0)]
            for i in range(steps, 0, -1):
                pts += [(i * s, (steps - i + 1) * s), ((i - 1) * s, (steps - i + 1) * s)]
            pts = pts[:-1] + [(0, steps * s)]
        elif kind == 3:  # octagon
            c = a // 2
            pts = [(c, 0), (b - c, 0), (b, c), (b, b - c), (b - c, b), (c, b), (0, b - c), (0, c)]
        elif kind == 4:  # chamfered bar
            pts = [(0, 0), (b - a, 0), (b, a), (b, b), (a, b), (0, b - a)]
        else:  # 45-degree triangle pair (a kite)
            pts = [(0, 0), (b, 0), (b, b)]
        layer = 1 if kind <= 2 else 2
        yield boundary(layer, [(x0 + x, y0 + y) for x, y in pts])


def write_generated(path, n):
    stamp = struct.pack(">12h", *([2024, 1, 1, 0, 0, 0] * 2))
    with open(path, "wb") as f:
        f.write(rec(0x00, 2, struct.pack(">h", 600)) + rec(0x01, 2, stamp) + name_rec(0x02, "BENCH") +
                rec(0x03, 5, real8(0.001) + real8(1e-9)))
        f.write(rec(0x05, 2, stamp) + name_rec(0x06, "TOP"))
        for chunk in shapes(n):
            f.write(chunk)
        f.write(rec(0x07, 0) + rec(0x04, 0))


def find_cli(given):
    if given:
        return given
    for build in ("build", "build-rel"):
        path = os.path.join(ROOT, build, "src", "cli", "zandor-cli")
        if os.path.exists(path):
            return path
    sys.exit("build zandor-cli first: cmake --build build --target zandor-cli (or pass --cli)")


def layers_of(cli, path):
    info = json.loads(run_process([cli, "info", path, "--json"]).out)
    return info["layers"]


def count_flashes(path):
    with open(path, "rb") as f:
        return f.read().count(b";")


def bench_layout(cli, name, path, work):
    print(f"\n== {name}: {os.path.basename(path)}")
    print(f"{'layer':>10} {'polygons':>9} | {'zandor figs':>11} {'s':>7} {'fig/s':>9} {'MiB':>6} | "
          f"{'klayout traps':>13} {'s':>7} {'decomp s':>8} {'MiB':>6} | {'time x':>6} {'mem x':>6}")
    total = [0.0, 0.0]
    for layer in layers_of(cli, path):
        out = os.path.join(work, f"{name}-{layer['index']}.man")
        z = run_process([cli, "export", path, "--layer", str(layer["index"]), "--format", "man3600", "--blocks",
                         "off", out])
        flashes = count_flashes(out)
        k = run_process(["klayout", "-b", "-r", os.path.join(HERE, "kl_decompose.py"), "-rd", f"file={path}",
                         "-rd", f"layer={layer['gds_layer']}", "-rd", f"datatype={layer['datatype']}"])
        fields = dict(kv.split("=") for kv in k.out.split()[1:])
        total[0] += z.wall
        total[1] += k.wall
        pair = f"{layer['gds_layer']}/{layer['datatype']}"
        print(f"{pair:>10} {fields['polygons']:>9} | {flashes:>11} {z.wall:>7.2f} {flashes / z.wall:>9.0f} "
              f"{z.rss_mib:>6.0f} | {fields['figures']:>13} {k.wall:>7.2f} "
              f"{float(fields['decompose_ms']) / 1000:>8.2f} {k.rss_mib:>6.0f} | "
              f"{z.wall / k.wall:>6.2f} {z.rss_mib / k.rss_mib:>6.2f}")
        os.remove(out)
    print(f"{'total':>10} {'':>9} | {'':>11} {total[0]:>7.2f} {'':>9} {'':>6} | {'':>13} {total[1]:>7.2f} "
          f"{'':>8} {'':>6} | {total[0] / total[1]:>6.2f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cli")
    parser.add_argument("--polygons", type=int, default=100_000)
    parser.add_argument("--layouts", default="sram,ram32,generated")
    parser.add_argument("--keep")
    args = parser.parse_args()
    cli = find_cli(args.cli)
    if not shutil.which("klayout"):
        sys.exit("klayout is needed as the peer (Debian package klayout)")
    work = args.keep or tempfile.mkdtemp(prefix="fracture-bench-")
    os.makedirs(work, exist_ok=True)
    try:
        for name in args.layouts.split(","):
            if name == "generated":
                path = os.path.join(work, f"generated-{args.polygons}.gds")
                write_generated(path, args.polygons)
            else:
                source = os.path.join(CORPUS, LAYOUTS[name])
                if not os.path.exists(source):
                    print(f"\n== {name}: {source} is missing, skipped")
                    continue
                path = source
                if source.endswith(".gz"):
                    path = os.path.join(work, os.path.basename(source)[:-3])
                    with gzip.open(source, "rb") as src, open(path, "wb") as dst:
                        shutil.copyfileobj(src, dst)
            bench_layout(cli, name, path, work)
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
