#!/usr/bin/env python3
"""Drawing speed: Zandor against KLayout on the largest real layouts of the corpus and on
generated hierarchies of 10,000 and 100,000 structures.

Usage: bench/render/run.py [--runs N] [--size WxH] [--cli PATH] [--timeout S] [--no-hierarchy]
       (from the repository root after a build)

Each program reads the file and draws it, zoomed to fit, into a PNG of the given size
(default 1600x1000); both times include reading.  Zandor's reading alone (zandor-cli info)
is timed too, so the drawing's share shows.  Prints seconds and the ratio Zandor / KLayout.
The generated files (bench/hierarchy/gen_hierarchy_gds.py, 12 levels of overlapping cells
with SREFs and AREFs) place trillions of objects in the view.  --cli times another build
(an older one, say); a drawing that takes longer than --timeout seconds is shown as such.
"""
import argparse
import gzip
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CLI = os.path.join(ROOT, "build", "src", "cli", "zandor-cli")
GENERATOR = os.path.join(ROOT, "bench", "hierarchy", "gen_hierarchy_gds.py")
# The shared corpus and oracles sit beside the repository.
SHARED = os.environ.get("ZANDOR_SHARED", os.path.join(os.path.dirname(ROOT), "shared"))
CORPUS = os.path.join(SHARED, "corpus", "gds")
ORACLES = os.path.join(SHARED, "oracles")
FILES = ["orfs/RAM32_1RW1R.gds.gz", "orfs/sky130_sram_1rw1r_44x64_8.gds", "orfs/sky130_fd_sc_hd.gds",
         "ihp/S453A.gds"]


def timed(cmd, env=None, timeout=None):
    start = time.perf_counter()
    try:
        proc = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env, timeout=timeout)
    except subprocess.TimeoutExpired:
        return float("inf")
    seconds = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit(f"command failed ({proc.returncode}): {' '.join(cmd)}\n{proc.stderr.decode(errors='replace')}")
    return seconds


def best(cmd, runs, env=None, timeout=None):
    times = []
    for _ in range(runs):
        times.append(timed(cmd, env, timeout))
        if times[-1] == float("inf"):
            break
    return min(times)


def seconds(value):
    return "   timeout" if value == float("inf") else f"{value:9.2f}s"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--size", default="1600x1000")
    parser.add_argument("--cli", default=CLI)
    parser.add_argument("--timeout", type=float, default=300)
    parser.add_argument("--no-hierarchy", action="store_true", help="leave out the generated hierarchies")
    args = parser.parse_args()
    width, height = args.size.split("x")
    klayout = shutil.which("klayout")
    cli = args.cli
    if not os.access(cli, os.X_OK):
        sys.exit(f"build first: {cli} is missing")
    if not klayout or not os.path.isdir(CORPUS):
        sys.exit("needs klayout and the corpus in " + CORPUS)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    work = tempfile.mkdtemp(prefix="zandor-render-bench-")
    try:
        print(f"{'file':40} {'MB':>6} {'Zandor read':>12} {'Zandor draw':>12} {'KLayout':>10} {'ratio':>7}")
        paths = []
        for name in FILES:
            source = os.path.join(CORPUS, name)
            if not os.path.exists(source):
                continue
            path = source
            if name.endswith(".gz"):
                path = os.path.join(work, os.path.basename(name)[:-3])
                with gzip.open(source, "rb") as src, open(path, "wb") as dst:
                    shutil.copyfileobj(src, dst)
            paths.append(path)
        if not args.no_hierarchy:
            for count in (10_000, 100_000):
                path = os.path.join(work, f"hierarchy_{count}.gds")
                subprocess.run([sys.executable, GENERATOR, path, str(count), "--levels", "12"], check=True)
                paths.append(path)
        for path in paths:
            mb = os.path.getsize(path) / 1e6
            read = best([cli, "info", path], args.runs)
            zandor = best([cli, "render", path, os.path.join(work, "z.png"), "--size", args.size], args.runs, env,
                          args.timeout)
            kl = best([klayout, "-z", "-nc", "-rx", "-r", os.path.join(ORACLES, "kl_render.py"), "-rd",
                       f"infile={path}", "-rd", f"out={os.path.join(work, 'k.png')}", "-rd", f"width={width}",
                       "-rd", f"height={height}"], args.runs, env, args.timeout)
            ratio = zandor / kl if kl not in (0, float("inf")) else float("nan")
            print(f"{os.path.basename(path):40} {mb:6.1f} {read:11.2f}s {seconds(zandor):>12} {seconds(kl):>10} "
                  f"{ratio:7.2f}")
        print("Zandor draw and KLayout include reading the file; ratio = Zandor / KLayout (target <= 0.5).")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
