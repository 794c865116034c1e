#!/usr/bin/env python3
"""Writes a large plain CIF file with hierarchy for the read/write benchmark.

Usage: gen_cif.py OUT [objects]   (default 2 000 000 objects, about 110 MB)
"""
import random
import sys


def main():
    out = sys.argv[1]
    objects = int(sys.argv[2]) if len(sys.argv) > 2 else 2_000_000
    rng = random.Random(20261210)
    cells = 200
    per_cell = objects // cells
    layers = ["CAA", "CPG", "CMF", "CMS", "CVA", "CCA"]
    with open(out, "w", newline="") as f:
        w = f.write
        w("(Generated benchmark layout);\r\n")
        for c in range(1, cells + 1):
            w(f"DS {c} 1 10;\r\n9 cell{c};\r\n")
            layer = None
            for k in range(per_cell):
                if k % 500 == 0:
                    layer = layers[rng.randrange(len(layers))]
                    w(f"L {layer};\r\n")
                x = rng.randrange(-2_000_000, 2_000_000)
                y = rng.randrange(-2_000_000, 2_000_000)
                kind = rng.random()
                if kind < 0.55:
                    w(f"B {rng.randrange(100, 20000)} {rng.randrange(100, 20000)} {x} {y};\r\n")
                elif kind < 0.85:
                    n = rng.randrange(4, 9)
                    pts = " ".join(f"{x + rng.randrange(-20000, 20000)} {y + rng.randrange(-20000, 20000)}"
                                   for _ in range(n))
                    w(f"P {pts};\r\n")
                elif kind < 0.97:
                    pts = " ".join(f"{x + 1000 * i} {y + rng.randrange(-5000, 5000)}" for i in range(3))
                    w(f"W {rng.randrange(100, 2000)} {pts};\r\n")
                else:
                    w(f"R {rng.randrange(200, 20000)} {x} {y};\r\n")
            w("DF;\r\n")
        # Top: a grid of calls of every cell, some rotated and mirrored.
        w(f"DS {cells + 1} 1 10;\r\n9 top;\r\n")
        for c in range(1, cells + 1):
            ops = ["", " MX", " R 0 1", " MY R -1 0"][c % 4]
            w(f"C {c}{ops} T {(c % 20) * 5_000_000} {(c // 20) * 5_000_000};\r\n")
        w("DF;\r\n")
        w(f"C {cells + 1};\r\nE\r\n")


if __name__ == "__main__":
    main()
