#!/usr/bin/python3
# Write N random any-angle triangles (integer coordinates) as "x1 y1 x2 y2 x3 y3" lines,
# after a first line with N (the style of the shared gen_rects.py).
#   gen_triangles.py N FIELD MAXSIZE SEED > triangles.txt
# Each triangle: a corner uniform in [0,FIELD)^2, the other two corners uniform in the
# square of side MAXSIZE centred on it; triangles with three collinear corners are drawn again.
import random
import sys

n, field, maxs, seed = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
rnd = random.Random(seed)
out = sys.stdout
out.write("%d\n" % n)
half = maxs // 2
for _ in range(n):
    while True:
        x, y = rnd.randrange(field), rnd.randrange(field)
        x2, y2 = x + rnd.randint(-half, half), y + rnd.randint(-half, half)
        x3, y3 = x + rnd.randint(-half, half), y + rnd.randint(-half, half)
        if (x2 - x) * (y3 - y) != (x3 - x) * (y2 - y):
            break
    out.write("%d %d %d %d %d %d\n" % (x, y, x2, y2, x3, y3))
