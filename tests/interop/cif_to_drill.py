#!/usr/bin/env python3
"""Writes the round flashes (R) and wires (W) of a flat CIF file written by zandor-cli (1 unit =
1 nm) as an Excellon drill file in millimetres with decimal points: each flash a hole of its
diameter, each wire segment a G85 slot of the wire's width.  An independent renderer then draws
what Zandor read.  Usage: cif_to_drill.py IN.cif OUT.drl"""
import re
import sys

holes, slots = [], []
text = open(sys.argv[1]).read()
for statement in text.split(";"):
    s = re.sub(r"\([^)]*\)", "", statement).strip()
    if s.startswith("R "):
        d, x, y = (int(v) for v in s.split()[1:4])
        holes.append((d, x, y))
    elif s.startswith("W "):
        numbers = [int(v) for v in s.split()[1:]]
        width, points = numbers[0], list(zip(numbers[1::2], numbers[2::2]))
        for a, b in zip(points, points[1:]):
            slots.append((width, a, b))

sizes = sorted({d for d, _, _ in holes} | {w for w, _, _ in slots})
tool = {size: k + 1 for k, size in enumerate(sizes)}
mm = lambda v: "%.6f" % (v / 1e6)
out = ["M48", "METRIC"]
out += ["T%dC%s" % (tool[s], mm(s)) for s in sizes]
out += ["%", "G90", "G05"]
for size in sizes:
    out.append("T%d" % tool[size])
    out += ["X%sY%s" % (mm(x), mm(y)) for d, x, y in holes if d == size]
    out += ["X%sY%sG85X%sY%s" % (mm(a[0]), mm(a[1]), mm(b[0]), mm(b[1])) for w, a, b in slots if w == size]
out.append("M30")
open(sys.argv[2], "w").write("\n".join(out) + "\n")
print("holes=%d slots=%d" % (len(holes), len(slots)))
