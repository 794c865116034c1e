#!/usr/bin/env python3
"""Flat GDSII layouts for the editing benchmark.

  gen_edit_gds.py objects OUT.gds N   N objects in one cell on four layers: four of five are
                                      rectangles, one of five an L-shaped polygon of six nodes
  gen_edit_gds.py rects OUT.gds N     N overlapping rectangles on one layer (the merge): sides of
                                      1 to 20 um in a field of 2 mm at 100,000 (scaled by the
                                      square root of N), as the union benchmark draws them, seeded
"""
import os
import random
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from benchlib import name_rec, real8, rec  # noqa: E402


def boundary(layer, points):
    pts = list(points) + [points[0]]
    return (rec(0x08, 0) + rec(0x0D, 2, struct.pack(">h", layer)) + rec(0x0E, 2, struct.pack(">h", 0)) +
            rec(0x10, 3, b"".join(struct.pack(">ii", x, y) for x, y in pts)) + rec(0x11, 0))


def write(path, elements):
    stamp = struct.pack(">12h", *([2024, 1, 1, 0, 0, 0] * 2))
    with open(path, "wb") as f:
        f.write(rec(0x00, 2, struct.pack(">h", 600)) + rec(0x01, 2, stamp) + name_rec(0x02, "BENCH") +
                rec(0x03, 5, real8(0.001) + real8(1e-9)))
        f.write(rec(0x05, 2, stamp) + name_rec(0x06, "TOP"))
        for chunk in elements:
            f.write(chunk)
        f.write(rec(0x07, 0) + rec(0x04, 0))


def objects(n):
    side = int(n ** 0.5) + 1
    batch = []
    for k in range(n):
        x, y = (k % side) * 3000, (k // side) * 3000
        layer = 1 + k % 4
        if k % 5 == 4:
            pts = [(x, y), (x + 2000, y), (x + 2000, y + 800), (x + 800, y + 800), (x + 800, y + 2000), (x, y + 2000)]
        else:
            pts = [(x, y), (x + 1500 + k % 7 * 50, y), (x + 1500 + k % 7 * 50, y + 1000), (x, y + 1000)]
        batch.append(boundary(layer, pts))
        if len(batch) == 10000:
            yield b"".join(batch)
            batch = []
    yield b"".join(batch)


def rects(n):
    rng = random.Random(12345)
    side = int(2_000_000 * (n / 100_000) ** 0.5)
    batch = []
    for _ in range(n):
        x, y = rng.randrange(0, side), rng.randrange(0, side)
        w, h = rng.randrange(1000, 20001), rng.randrange(1000, 20001)
        batch.append(boundary(1, [(x, y), (x + w, y), (x + w, y + h), (x, y + h)]))
    yield b"".join(batch)


def main():
    kind, out, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
    write(out, objects(n) if kind == "objects" else rects(n))


if __name__ == "__main__":
    main()
