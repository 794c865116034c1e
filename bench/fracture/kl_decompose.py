# Decomposes every polygon of one layer of a GDSII file into trapezoids with
# KLayout, as the peer of Zandor's fracturing:
#   klayout -b -r kl_decompose.py -rd file=IN.gds -rd layer=68 -rd datatype=20
# Prints the load time, the decomposition time, the trapezoid count and the
# number of polygons.
import time
import pya

t0 = time.time()
layout = pya.Layout()
layout.read(file)
t1 = time.time()
top = layout.top_cell()
index = layout.find_layer(int(layer), int(datatype))
region = pya.Region(top.begin_shapes_rec(index)) if index is not None else pya.Region()
polygons = region.count()
t2 = time.time()
pieces = region.decompose_trapezoids()
t3 = time.time()
print("klayout load_ms=%.1f collect_ms=%.1f decompose_ms=%.1f polygons=%d figures=%d"
      % ((t1 - t0) * 1000, (t2 - t1) * 1000, (t3 - t2) * 1000, polygons, pieces.size() if hasattr(pieces, "size") else pieces.count()))
