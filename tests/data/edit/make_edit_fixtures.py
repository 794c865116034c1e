#!/usr/bin/env python3
"""Writes the small GDSII layouts the editing interop checks run on.

  hierarchy.gds  TOP with rectangles, a Manhattan and a slanted polygon and a flush path of its own,
                 calls of CHILD (plain, rotated by 90, mirrored and turned by 30, magnified by 2),
                 a call of NEST (which calls CHILD rotated by 180) and two arrays of CHILD (3 x 2,
                 and 2 x 2 turned by 90); objects on layers 1/0, 2/0 and 5/3.
  manhattan.gds  one flat cell: overlapping and touching rectangles and L-shaped polygons on 2/0
                 (for growing), separate rectangles and polygons on 3/0 (for shrinking).

Usage: make_edit_fixtures.py OUTDIR
"""
import os
import struct
import sys


def rec(rtype, dtype, payload=b""):
    return struct.pack(">HBB", 4 + len(payload), rtype, dtype) + payload


def name_rec(rtype, text):
    data = text.encode()
    if len(data) % 2:
        data += b"\0"
    return rec(rtype, 6, data)


def real8(x):
    if x == 0:
        return b"\0" * 8
    sign = 0x80 if x < 0 else 0
    x = abs(x)
    exp = 64
    while x >= 1:
        x /= 16
        exp += 1
    while x < 1 / 16:
        x *= 16
        exp -= 1
    mant = int(round(x * (1 << 56)))
    if mant >= 1 << 56:
        mant >>= 4
        exp += 1
    return bytes([sign | exp]) + mant.to_bytes(7, "big")


def xy(points):
    return rec(0x10, 3, b"".join(struct.pack(">ii", x, y) for x, y in points))


def boundary(layer, points, datatype=0):
    pts = list(points) + [points[0]]
    return (rec(0x08, 0) + rec(0x0D, 2, struct.pack(">h", layer)) + rec(0x0E, 2, struct.pack(">h", datatype)) +
            xy(pts) + rec(0x11, 0))


def rect(layer, x1, y1, x2, y2, datatype=0):
    return boundary(layer, [(x1, y1), (x2, y1), (x2, y2), (x1, y2)], datatype)


def path(layer, points, width, datatype=0):
    return (rec(0x09, 0) + rec(0x0D, 2, struct.pack(">h", layer)) + rec(0x0E, 2, struct.pack(">h", datatype)) +
            rec(0x21, 2, struct.pack(">h", 0)) + rec(0x0F, 3, struct.pack(">i", width)) + xy(points) + rec(0x11, 0))


def strans(mirror, mag, angle):
    out = b""
    if mirror or mag != 1 or angle:
        out += rec(0x1A, 1, struct.pack(">H", 0x8000 if mirror else 0))
        if mag != 1:
            out += rec(0x1B, 5, real8(mag))
        if angle:
            out += rec(0x1C, 5, real8(angle))
    return out


def sref(name, x, y, mirror=False, mag=1, angle=0):
    return rec(0x0A, 0) + name_rec(0x12, name) + strans(mirror, mag, angle) + xy([(x, y)]) + rec(0x11, 0)


def aref(name, cols, rows, origin, col_end, row_end, angle=0):
    return (rec(0x0B, 0) + name_rec(0x12, name) + strans(False, 1, angle) +
            rec(0x13, 2, struct.pack(">hh", cols, rows)) + xy([origin, col_end, row_end]) + rec(0x11, 0))


def structure(name, body):
    stamp = struct.pack(">12h", *([2024, 1, 1, 0, 0, 0] * 2))
    return rec(0x05, 2, stamp) + name_rec(0x06, name) + body + rec(0x07, 0)


def library(structures):
    stamp = struct.pack(">12h", *([2024, 1, 1, 0, 0, 0] * 2))
    return (rec(0x00, 2, struct.pack(">h", 600)) + rec(0x01, 2, stamp) + name_rec(0x02, "EDIT") +
            rec(0x03, 5, real8(0.001) + real8(1e-9)) + b"".join(structures) + rec(0x04, 0))


def hierarchy():
    child = (rect(1, 0, 0, 4000, 1000) + boundary(2, [(0, 1500), (3000, 1500), (3000, 4000), (1500, 4000),
                                                      (1500, 2500), (0, 2500)]) +
             boundary(5, [(500, -2000), (3500, -1800), (1200, -300)], datatype=3))
    nest = sref("CHILD", 10000, 0, angle=180) + rect(1, -1000, -1000, 0, 6000)
    top = (rect(1, -20000, -20000, -12000, -15000) + rect(2, -20000, -14000, -17000, -8000) +
           boundary(1, [(-10000, -20000), (-4000, -20000), (-4000, -16000), (-7000, -16000), (-7000, -12000),
                        (-10000, -12000)]) +
           boundary(2, [(0, -20000), (7333, -18111), (2777, -12555)]) +
           path(5, [(10000, -20000), (16000, -20000), (19000, -14000)], 800, datatype=3) +
           sref("CHILD", 0, 0) + sref("CHILD", 12000, 0, angle=90) +
           sref("CHILD", 20000, 3000, mirror=True, angle=30) + sref("CHILD", -20000, 5000, mag=2) +
           sref("NEST", 30000, -10000) +
           aref("CHILD", 3, 2, (0, 20000), (15000, 20000), (0, 32000)) +
           aref("CHILD", 2, 2, (40000, 20000), (40000, 32000), (28000, 20000), angle=90))
    return library([structure("CHILD", child), structure("NEST", nest), structure("TOP", top)])


def manhattan():
    body = b""
    # Layer 2: overlapping, touching and nested pieces, grown together.
    body += rect(2, 0, 0, 5000, 2000) + rect(2, 4000, 1000, 7000, 6000) + rect(2, 7000, 0, 9000, 3000)
    body += rect(2, 1000, 4000, 2000, 5000) + rect(2, 20000, 0, 20600, 8000)
    body += boundary(2, [(10000, 10000), (16000, 10000), (16000, 12000), (12000, 12000), (12000, 16000),
                         (10000, 16000)])
    body += boundary(2, [(0, 10000), (6000, 10000), (6000, 16000), (4000, 16000), (4000, 12000), (0, 12000)])
    # Layer 3: apart from one another, so that shrinking each equals shrinking their union.
    body += rect(3, 0, 30000, 5000, 32000) + rect(3, 8000, 30000, 8500, 36000)
    body += boundary(3, [(12000, 30000), (18000, 30000), (18000, 32000), (14000, 32000), (14000, 38000),
                         (12000, 38000)])
    return library([structure("FLAT", body)])


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out, exist_ok=True)
    for name, data in (("hierarchy.gds", hierarchy()), ("manhattan.gds", manhattan())):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
