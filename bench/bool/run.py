#!/usr/bin/env python3
"""Union of random axis-parallel rectangles: Zandor and Clipper (in-process, bool_bench),
KLayout (klayout -b) and, with --boost, Boost.Polygon, on the same input files.

Usage: bench/bool/run.py [--sizes 10000,100000,1000000] [--kinds dense,sparse] [--boost]
                         [--timeout S] [--peers zandor,clipper,klayout]      (run from the repository root after a build)
Inputs come from /work/shared/oracles/generated/bool when present, otherwise they are
generated into a temporary directory (same generator, same parameters).
Prints each time, the union-area check against EXPECTED_UNION_AREAS.tsv (when listed) and the ratios.
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BENCH = os.path.join(ROOT, "build", "bench", "bool_bench")
SHARED = "/work/shared/oracles"
GENERATED = os.path.join(SHARED, "generated", "bool")
KL_SCRIPT = os.path.join(SHARED, "bool", "kl_union.py")
BOOST_SRC = os.path.join(SHARED, "bool", "boost_union.cpp")
GEN_RECTS = os.path.join(SHARED, "bool", "gen_rects.py")
MAX_SIZE = 20_000
MARGE = 10  # the engine merges vertices closer than 10 grid steps (1 nm grid)


def field_for(n, kind):
    """Field sizes of the shared files: dense 2e6 at 100k, scaled by sqrt(N); sparse 1e7 up to 100k,
    scaled by sqrt(N) above (same coverage as at 100k)."""
    if kind == "dense":
        return int(2_000_000 * (n / 100_000) ** 0.5)
    return int(10_000_000 * (max(n, 100_000) / 100_000) ** 0.5)


def generate(path, n, kind, seed):
    """Writes N rectangles: lower-left uniform in [0, FIELD), sides uniform in [MAX/20, MAX]."""
    field = field_for(n, kind)
    if os.path.exists(GEN_RECTS):
        with open(path, "w") as out:
            subprocess.run(["/usr/bin/python3", GEN_RECTS, str(n), str(field), str(MAX_SIZE), str(seed)],
                           stdout=out, check=True)
        return
    rnd = random.Random(seed)
    with open(path, "w") as out:
        out.write("%d\n" % n)
        for _ in range(n):
            x, y = rnd.randrange(field), rnd.randrange(field)
            w, h = rnd.randint(MAX_SIZE // 20, MAX_SIZE), rnd.randint(MAX_SIZE // 20, MAX_SIZE)
            out.write("%d %d %d %d\n" % (x, y, x + w, y + h))


def expected_areas():
    table = {}
    path = os.path.join(GENERATED, "EXPECTED_UNION_AREAS.tsv")
    if os.path.exists(path):
        with open(path) as f:
            next(f)
            for line in f:
                cols = line.split("\t")
                table[cols[0]] = int(cols[2])
    return table


def perimeter(path):
    with open(path) as f:
        next(f)
        return sum(2 * (x2 - x1) + 2 * (y2 - y1) for x1, y1, x2, y2 in (map(int, l.split()) for l in f))


def run(cmd, timeout):
    try:
        out = subprocess.run(cmd, capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return "timeout"
    return out.stdout + out.stderr


def parse(text, name):
    m = re.search(r"^%s\S* n=\d+ union_area=(\d+)\S* .*time_ms=([\d.]+)" % re.escape(name), text, re.M)
    return (int(m.group(1)), float(m.group(2))) if m else None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--sizes", default="10000,100000,1000000")
    ap.add_argument("--kinds", default="dense,sparse")
    ap.add_argument("--timeout", type=float, default=600)
    ap.add_argument("--boost", action="store_true")
    ap.add_argument("--peers", default="zandor,clipper,klayout",
                    help="comma-separated subset of zandor,clipper,klayout (Clipper takes minutes on 1M dense)")
    args = ap.parse_args()
    if not os.path.exists(BENCH):
        sys.exit("build bool_bench first: cmake --build build --target bool_bench")
    tmp = tempfile.mkdtemp(prefix="zandor-bool-")
    try:
        measure(args, tmp)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


def measure(args, tmp):
    boost = None
    if args.boost and os.path.exists(BOOST_SRC):
        boost = os.path.join(tmp, "boost_union")
        if subprocess.run(["g++", "-O2", "-o", boost, BOOST_SRC], capture_output=True).returncode != 0:
            print("Boost.Polygon: boost_union.cpp does not compile here (libboost-dev missing?), skipped")
            boost = None
    expected = expected_areas()
    rows = []
    for kind in args.kinds.split(","):
        for n in map(int, args.sizes.split(",")):
            name = "rects_%d_%s.txt" % (n, kind)
            path = os.path.join(GENERATED, name)
            if not os.path.exists(path):
                path = os.path.join(tmp, name)
                generate(path, n, kind, seed=n + len(kind))
            times, areas = {}, {}
            peers = args.peers.split(",")
            text = run([BENCH, path, "zandor"], args.timeout) if "zandor" in peers else ""
            out = run([BENCH, path, "clipper"], args.timeout) if "clipper" in peers else ""
            for peer, out in (("zandor", text), ("clipper", out)):
                r = parse(out, peer)
                if r:
                    areas[peer], times[peer] = r
                elif peer in peers:
                    print("%s %d %s: %s" % (kind, n, peer, out.strip()[-200:]))
            if "klayout" in peers:
                r = parse(run(["klayout", "-b", "-r", KL_SCRIPT, "-rd", "files=" + path], args.timeout),
                          "klayout_region_merged")
                if r:
                    areas["klayout"], times["klayout"] = r
            if boost:
                out = run([boost, path], args.timeout)
                for peer in ("boost_polygon_90", "boost_polygon_any"):
                    r = parse(out, peer)
                    if r:
                        areas[peer], times[peer] = r
            ref = expected.get(name, areas.get("clipper"))
            tol = perimeter(path) * MARGE
            check = []
            for peer, a in areas.items():
                ok = abs(a - ref) <= (tol if peer == "zandor" else 0) if ref is not None else None
                check.append("%s %s (%+d)" % (peer, "ok" if ok else "MISMATCH", a - ref if ref else 0))
            rows.append((kind, n, times))
            print("%-6s %8d  " % (kind, n) + "  ".join("%s %.0f ms" % (p, t) for p, t in times.items()),
                  flush=True)
            print("                 area: " + "; ".join(check) + "  (zandor tolerance: perimeter x marge = %d)" % tol,
                  flush=True)
            z = times.get("zandor")
            if z:
                print("                 ratios zandor/peer: " + "  ".join(
                    "%s %.2f" % (p, z / t) for p, t in times.items() if p != "zandor" and t > 0), flush=True)
    print()
    for kind in args.kinds.split(","):
        t = {n: r[2] for r in rows if r[0] == kind for n in [r[1]]}
        if 100_000 in t and 1_000_000 in t:
            for peer in t[1_000_000]:
                if peer in t[100_000]:
                    print("%s %s time(1M)/time(100k) = %.1f" % (kind, peer, t[1_000_000][peer] / t[100_000][peer]))


if __name__ == "__main__":
    main()
