#!/usr/bin/env python3
"""Union benchmark of the boolean engine against its peers, every peer on the same input in one run.

Inputs: random axis-parallel rectangles, "dense" and "sparse", and random any-angle triangles.
Peers: Zandor, Clipper and Boost.Polygon in process (bool_bench; Boost as polygon_90_set_data for
rectangles and polygon_set_data for every input), KLayout (klayout -b, Region.merged).

Usage (from the repository root, after building bool_bench):
  bench/bool/run.py [--sizes 10000,100000,1000000] [--kinds dense,sparse,triangles]
                    [--peers zandor,clipper,boost,klayout] [--timeout S] [--bench PATH] [--repeat K]
Rectangle files come from ../shared/oracles/generated/bool (beside the repository) when present (the areas are checked
against EXPECTED_UNION_AREAS.tsv there); others are generated into a temporary directory with the same
generators (gen_rects.py: dense field 2e6 at 100k scaled by sqrt(N), sparse 1e7 scaled by sqrt(N)
above 100k, sides 1000 to 20000; gen_triangles.py: corners within 10000 of the first, field as dense).
Triangles run at 10k and 100k only unless --triangle-sizes says otherwise.
Prints each time (wall, ms; Zandor's CPU time too), the area check, the ratios Zandor/peer and, per
kind and peer, time(1M)/time(100k). --repeat K runs each in-process measurement K times and keeps the
fastest (the machine is shared).
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
# The shared oracles sit beside the repository.
SHARED = os.path.join(os.environ.get("ZANDOR_SHARED", os.path.join(os.path.dirname(ROOT), "shared")), "oracles")
GENERATED = os.path.join(SHARED, "generated", "bool")
GEN_RECTS = os.path.join(SHARED, "bool", "gen_rects.py")
GEN_TRIANGLES = os.path.join(HERE, "gen_triangles.py")
KL_SCRIPT = os.path.join(HERE, "kl_union.py")
MAX_SIZE = 20_000
MARGE = 10  # the engine merges vertices closer than 10 grid steps (1 nm grid)
PEERS = ["zandor", "clipper", "boost_polygon_90", "boost_polygon_any", "klayout"]
SHORT = {"boost_polygon_90": "boost90", "boost_polygon_any": "boost", "klayout": "klayout", "clipper": "clipper"}


def field_for(n, kind):
    """Dense (and triangles): 2e6 at 100k, scaled by sqrt(N); sparse: 1e7 up to 100k, scaled by sqrt(N) above."""
    if kind == "sparse":
        return int(10_000_000 * (max(n, 100_000) / 100_000) ** 0.5)
    return int(2_000_000 * (n / 100_000) ** 0.5)


def generate(path, n, kind, seed):
    field = field_for(n, kind)
    if kind == "triangles":
        with open(path, "w") as out:
            subprocess.run([sys.executable, GEN_TRIANGLES, str(n), str(field), str(MAX_SIZE), str(seed)],
                           stdout=out, check=True)
        return
    if os.path.exists(GEN_RECTS):
        with open(path, "w") as out:
            subprocess.run([sys.executable, GEN_RECTS, str(n), str(field), str(MAX_SIZE), str(seed)],
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
    total = 0.0
    with open(path) as f:
        next(f)
        for line in f:
            v = list(map(int, line.split()))
            if len(v) == 4:
                total += 2 * (v[2] - v[0]) + 2 * (v[3] - v[1])
            elif len(v) == 6:
                p = [(v[0], v[1]), (v[2], v[3]), (v[4], v[5])]
                total += sum(((p[i][0] - p[i - 1][0]) ** 2 + (p[i][1] - p[i - 1][1]) ** 2) ** 0.5 for i in range(3))
    return total


def run(cmd, timeout):
    try:
        out = subprocess.run(cmd, capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return "timeout"
    return out.stdout + out.stderr


def parse(text, name):
    m = re.search(r"^%s n=\d+ union_area=(-?\d+)\S* .*?time_ms=([\d.]+)(?: cpu_ms=([\d.]+))?" % re.escape(name),
                  text, re.M)
    if not m:
        return None
    return int(m.group(1)), float(m.group(2)), float(m.group(3)) if m.group(3) else None


def find_bench(given):
    if given:
        return given
    for build in ("build", "build-bool"):
        path = os.path.join(ROOT, build, "bench", "bool_bench")
        if os.path.exists(path):
            return path
    sys.exit("build bool_bench first: cmake --build build --target bool_bench (or pass --bench)")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--sizes", default="10000,100000,1000000")
    ap.add_argument("--triangle-sizes", default="10000,100000")
    ap.add_argument("--kinds", default="dense,sparse,triangles")
    ap.add_argument("--peers", default="zandor,clipper,boost,klayout",
                    help="subset of zandor,clipper,boost,klayout (Clipper takes minutes on 1M dense)")
    ap.add_argument("--timeout", type=float, default=900)
    ap.add_argument("--bench", help="path of bool_bench")
    ap.add_argument("--repeat", type=int, default=1)
    args = ap.parse_args()
    bench = find_bench(args.bench)
    tmp = tempfile.mkdtemp(prefix="zandor-bool-")
    try:
        measure(args, bench, tmp)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


def measure(args, bench, tmp):
    peers = args.peers.split(",")
    inproc = ",".join(p for p in peers if p in ("zandor", "clipper", "boost"))
    expected = expected_areas()
    rows = []
    for kind in args.kinds.split(","):
        sizes = args.triangle_sizes if kind == "triangles" else args.sizes
        for n in map(int, sizes.split(",")):
            name = ("triangles_%d.txt" % n) if kind == "triangles" else ("rects_%d_%s.txt" % (n, kind))
            path = os.path.join(GENERATED, name)
            if not os.path.exists(path):
                path = os.path.join(tmp, name)
                generate(path, n, kind, seed=n + len(kind))
            times, areas, cpu = {}, {}, {}
            if inproc:
                # Zandor alone first (one process each, so that one peer's memory does not slow the next).
                for peer in inproc.split(","):
                    for _ in range(args.repeat):
                        out = run([bench, path, peer], args.timeout)
                        found = False
                        for p in PEERS:
                            r = parse(out, p)
                            if r:
                                found = True
                                areas[p] = r[0]
                                if p not in times or r[1] < times[p]:
                                    times[p] = r[1]
                                    if r[2] is not None:
                                        cpu[p] = r[2]
                        if not found:
                            print("%s %d %s: %s" % (kind, n, peer, out.strip()[-300:]), flush=True)
                            break
            if "klayout" in peers and shutil.which("klayout"):
                r = parse(run(["klayout", "-b", "-r", KL_SCRIPT, "-rd", "files=" + path], args.timeout),
                          "klayout_region_merged")
                if r:
                    areas["klayout"], times["klayout"] = r[0], r[1]
            ref = expected.get(name)
            if ref is None:
                # No recorded area: the median of the peers (they agree up to crossings on the grid).
                values = sorted(a for p, a in areas.items() if p != "zandor")
                ref = values[len(values) // 2] if values else None
            per = perimeter(path)
            check = []
            for peer, a in areas.items():
                # Zandor merges vertices closer than the marge; peers on triangles round crossings to the grid.
                tol = per * MARGE if peer == "zandor" else (per if kind == "triangles" else 0)
                ok = ref is not None and abs(a - ref) <= tol
                check.append("%s %s (%+d)" % (SHORT.get(peer, peer), "ok" if ok else "MISMATCH",
                                              a - ref if ref is not None else 0))
            rows.append((kind, n, times))
            line = "%-9s %8d " % (kind, n) + "  ".join(
                "%s %.0f ms" % (SHORT.get(p, p), times[p]) + (" (cpu %.0f)" % cpu[p] if p in cpu else "")
                for p in PEERS if p in times)
            print(line, flush=True)
            print("                   area: " + "; ".join(check) +
                  "  (reference: %s)" % ("EXPECTED_UNION_AREAS.tsv" if name in expected else "median of peers"),
                  flush=True)
            z = times.get("zandor")
            if z:
                print("                   zandor/peer: " + "  ".join(
                    "%s %.2f" % (SHORT.get(p, p), z / times[p]) for p in PEERS
                    if p != "zandor" and p in times and times[p] > 0), flush=True)
    print()
    for kind in args.kinds.split(","):
        t = {r[1]: r[2] for r in rows if r[0] == kind}
        if 100_000 in t and 1_000_000 in t:
            print("%-9s time(1M)/time(100k): " % kind + "  ".join(
                "%s %.1f" % (SHORT.get(p, p), t[1_000_000][p] / t[100_000][p])
                for p in PEERS if p in t[1_000_000] and p in t[100_000]))


if __name__ == "__main__":
    main()
