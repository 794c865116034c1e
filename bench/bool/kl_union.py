# Union (Region.merged) with KLayout of the benchmark files: rectangles ("x1 y1 x2 y2")
# or triangles ("x1 y1 x2 y2 x3 y3"), one per line after a first line with N.
#   klayout -b -r kl_union.py -rd files="rects_10000_dense.txt triangles_10000.txt ..."
# Like ../shared/oracles/bool/kl_union.py (rectangles only), with polygons for triangles.
import time
import pya

for fn in files.split():
    with open(fn) as f:
        n = int(f.readline())
        rows = [tuple(map(int, l.split())) for l in f if l.strip()]
    r = pya.Region()
    for v in rows:
        if len(v) == 4:
            r.insert(pya.Box(v[0], v[1], v[2], v[3]))
        else:
            r.insert(pya.Polygon([pya.Point(v[0], v[1]), pya.Point(v[2], v[3]), pya.Point(v[4], v[5])]))
    t0 = time.time()
    m = r.merged()
    t1 = time.time()
    a = m.area()
    holes = sum(p.holes() for p in m.each())
    print("klayout_region_merged n=%d union_area=%d out_polys=%d holes=%d time_ms=%.1f (%s)"
          % (n, a, m.count(), holes, (t1 - t0) * 1000, fn))
