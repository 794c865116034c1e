#!/usr/bin/env python3
"""Writes a GDSII file of many small structures in a deep hierarchy (standard library only).

Usage: gen_hierarchy_gds.py OUT STRUCTURES [--levels N] [--top-down]

The structures are spread evenly over N levels (default 12).  A leaf holds four boxes; every
other structure holds two boxes, one plain SREF, one rotated and mirrored SREF and a 2 x 3 AREF
of structures one level down, chosen so that every structure of the level below is placed.  One
more structure, TOP, places every structure of the highest level, so the file has one top cell
and a hierarchy N + 1 levels deep.  Structures are written leaves first, or with --top-down
parents first (every reference then names a structure not read yet).
"""
import argparse
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from benchlib import name_rec, real8, rec  # noqa: E402


STAMP = struct.pack(">12H", 2026, 1, 1, 0, 0, 0, 2026, 1, 1, 0, 0, 0)
ENDEL = rec(17, 0)


def box(layer, x, y, w, h):
    xy = struct.pack(">10i", x, y, x + w, y, x + w, y + h, x, y + h, x, y)
    return rec(8, 0) + rec(13, 2, struct.pack(">H", layer)) + rec(14, 2, struct.pack(">H", 0)) + rec(16, 3, xy) + ENDEL


def sref(name, x, y, angle=0.0, mirror=False):
    out = rec(10, 0) + name_rec(18, name)
    if angle or mirror:
        out += rec(26, 1, struct.pack(">H", 0x8000 if mirror else 0))
        if angle:
            out += rec(28, 5, real8(angle))
    return out + rec(16, 3, struct.pack(">2i", x, y)) + ENDEL


def aref(name, cols, rows, x, y, dx, dy):
    return (rec(11, 0) + name_rec(18, name) + rec(19, 2, struct.pack(">2H", cols, rows)) +
            rec(16, 3, struct.pack(">6i", x, y, x + cols * dx, y, x, y + rows * dy)) + ENDEL)


def cell_name(level, index):
    return "L%02d_%06d" % (level, index)


def structure(name, body):
    return rec(5, 2, STAMP) + name_rec(6, name) + body + rec(7, 0)


def level_sizes(total, levels):
    """Structures per level, leaves first, adding up to total - 1 (TOP is the last one)."""
    cells = max(total - 1, levels)
    base, extra = divmod(cells, levels)
    return [base + (1 if k < extra else 0) for k in range(levels)]


def cell_body(level, index, sizes):
    k = index
    body = box(1 + level % 5, k % 97 * 10, 0, 400, 300) + box(2 + level % 7, 0, 500, 300, 200)
    if level == 0:
        return body + box(3, 600, 0, 200, 800) + box(4, 0, 900, 900, 100)
    below = sizes[level - 1]
    # Each structure of the level below is placed at least once: index k places k, k + n and
    # k + 2n of the level below (n the size of this level), wrapping.
    n = sizes[level]
    a, b, c = k % below, (k + n) % below, (k + 2 * n) % below
    body += sref(cell_name(level - 1, a), 0, 0)
    body += sref(cell_name(level - 1, b), 3000, 0, 90.0, True)
    body += aref(cell_name(level - 1, c), 2, 3, 0, 4000, 1500, 1200)
    return body


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("structures", type=int)
    parser.add_argument("--levels", type=int, default=12)
    parser.add_argument("--top-down", action="store_true")
    args = parser.parse_args()
    if args.levels < 1:
        parser.error("--levels must be at least 1")
    sizes = level_sizes(args.structures, args.levels)
    order = range(args.levels - 1, -1, -1) if args.top_down else range(args.levels)
    top = args.levels - 1
    with open(args.out, "wb") as f:
        f.write(rec(0, 2, struct.pack(">H", 600)) + rec(1, 2, STAMP) + name_rec(2, "HIERARCHY") +
                rec(3, 5, real8(0.001) + real8(1e-9)))
        top_body = b"".join(sref(cell_name(top, k), (k % 100) * 20000, (k // 100) * 20000)
                            for k in range(sizes[top]))
        if args.top_down:
            f.write(structure("TOP", top_body))
        for level in order:
            for k in range(sizes[level]):
                f.write(structure(cell_name(level, k), cell_body(level, k, sizes)))
        if not args.top_down:
            f.write(structure("TOP", top_body))
        f.write(rec(4, 0))


if __name__ == "__main__":
    main()
