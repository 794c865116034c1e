#!/usr/bin/python3
"""Writes a large GDSII file with hierarchy for the read/write benchmark.

Usage: /usr/bin/python3 gen_gds.py OUT [megabytes]   (default 520 MB; needs numpy)

Leaf cells hold rectangles, 8-point polygons and 3-point paths on several layers; block cells
call the leaves with rotated and mirrored SREFs and a few AREFs; the top cell calls every block.
The elements of one kind are laid out as numpy record arrays, so the file is written at disk speed.
"""
import os
import struct
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from benchlib import name_rec, real8, rec  # noqa: E402

RNG = np.random.default_rng(20261210)


STAMP = struct.pack(">12H", 2026, 12, 10, 0, 0, 0, 2026, 12, 10, 0, 0, 0)


def boundaries(n, points, layers):
    """n BOUNDARY elements of `points` vertices (the first repeated at the end)."""
    k = points + 1
    dt = np.dtype([("b", ">u4"), ("lh", ">u4"), ("l", ">u2"), ("dh", ">u4"), ("d", ">u2"),
                   ("xyh", ">u4"), ("xy", ">i4", (2 * k,)), ("e", ">u4")])
    a = np.zeros(n, dt)
    a["b"] = 0x00040800
    a["lh"] = 0x00060D02
    a["l"] = RNG.choice(layers, n)
    a["dh"] = 0x00060E02
    a["d"] = 0
    a["xyh"] = ((4 + 8 * k) << 16) | 0x1003
    a["e"] = 0x00041100
    x = RNG.integers(-500_000, 500_000, n)
    y = RNG.integers(-500_000, 500_000, n)
    if points == 4:
        w = RNG.integers(50, 5_000, n)
        h = RNG.integers(50, 5_000, n)
        xs = np.stack([x, x + w, x + w, x, x], 1)
        ys = np.stack([y, y, y + h, y + h, y], 1)
    else:
        ang = np.sort(RNG.uniform(0, 2 * np.pi, (n, points)), 1)
        r = RNG.integers(200, 4_000, (n, points))
        xs = (x[:, None] + r * np.cos(ang)).astype(np.int64)
        ys = (y[:, None] + r * np.sin(ang)).astype(np.int64)
        xs = np.concatenate([xs, xs[:, :1]], 1)
        ys = np.concatenate([ys, ys[:, :1]], 1)
    a["xy"][:, 0::2] = xs
    a["xy"][:, 1::2] = ys
    return a.tobytes()


def paths(n, layers):
    dt = np.dtype([("p", ">u4"), ("lh", ">u4"), ("l", ">u2"), ("dh", ">u4"), ("d", ">u2"),
                   ("th", ">u4"), ("t", ">u2"), ("wh", ">u4"), ("w", ">i4"),
                   ("xyh", ">u4"), ("xy", ">i4", (6,)), ("e", ">u4")])
    a = np.zeros(n, dt)
    a["p"] = 0x00040900
    a["lh"] = 0x00060D02
    a["l"] = RNG.choice(layers, n)
    a["dh"] = 0x00060E02
    a["th"] = 0x00062102
    a["t"] = RNG.choice([0, 2], n)
    a["wh"] = 0x00080F03
    a["w"] = RNG.integers(10, 500, n) * 2
    a["xyh"] = ((4 + 24) << 16) | 0x1003
    a["e"] = 0x00041100
    x = RNG.integers(-500_000, 500_000, n)
    y = RNG.integers(-500_000, 500_000, n)
    d = RNG.integers(500, 10_000, n)
    a["xy"] = np.stack([x, y, x + d, y, x + d, y + d], 1)
    return a.tobytes()


def sref(name, x, y, angle=0.0, mirror=False):
    out = rec(10, 0) + name_rec(18, name)
    if angle or mirror:
        out += rec(26, 1, struct.pack(">H", 0x8000 if mirror else 0))
        if angle:
            out += rec(28, 5, real8(angle))
    return out + rec(16, 3, struct.pack(">2i", x, y)) + rec(17, 0)


def aref(name, cols, rows, x, y, dx, dy):
    return (rec(11, 0) + name_rec(18, name) + rec(19, 2, struct.pack(">2H", cols, rows)) +
            rec(16, 3, struct.pack(">6i", x, y, x + cols * dx, y, x, y + rows * dy)) + rec(17, 0))


def main():
    out = sys.argv[1]
    target = int(float(sys.argv[2]) * 1e6) if len(sys.argv) > 2 else 520_000_000
    leaves = 256
    # 55 % rectangles (64 B), 25 % octagons (112 B), 20 % paths (62 B): 71.6 B an element.
    per_leaf = max(10, int(target / leaves / 71.6))
    layers = np.array([1, 2, 3, 5, 8, 10, 17, 31, 44, 66], dtype=np.uint16)
    written = 0
    with open(out, "wb") as f:
        head = (rec(0, 2, struct.pack(">H", 600)) + rec(1, 2, STAMP) + name_rec(2, "BENCH") +
                rec(3, 5, real8(0.001) + real8(1e-9)))
        f.write(head)
        for c in range(leaves):
            f.write(rec(5, 2, STAMP) + name_rec(6, "leaf_%03d" % c))
            n_rect = int(per_leaf * 0.55)
            n_poly = int(per_leaf * 0.25)
            n_path = per_leaf - n_rect - n_poly
            f.write(boundaries(n_rect, 4, layers))
            f.write(boundaries(n_poly, 8, layers))
            f.write(paths(n_path, layers))
            f.write(rec(7, 0))
        blocks = 16
        for b in range(blocks):
            f.write(rec(5, 2, STAMP) + name_rec(6, "block_%02d" % b))
            for k in range(64):
                leaf = "leaf_%03d" % ((b * 64 + k * 7) % leaves)
                f.write(sref(leaf, (k % 8) * 1_200_000, (k // 8) * 1_200_000,
                             [0.0, 90.0, 180.0, 270.0][k % 4], k % 3 == 0))
            f.write(aref("leaf_%03d" % b, 4, 3, -5_000_000, 0, 1_100_000, 1_300_000))
            f.write(rec(7, 0))
        f.write(rec(5, 2, STAMP) + name_rec(6, "TOP"))
        for b in range(blocks):
            f.write(sref("block_%02d" % b, (b % 4) * 11_000_000, (b // 4) * 11_000_000))
        f.write(rec(7, 0) + rec(4, 0))
        written = f.tell()
        f.write(b"\0" * (-written % 2048))
    print("%s: %.1f MB, %d leaf cells of %d elements, %d blocks" % (out, written / 1e6, leaves, per_leaf, blocks))


if __name__ == "__main__":
    main()
