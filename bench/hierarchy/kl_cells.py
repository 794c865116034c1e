# KLayout macro for the hierarchy benchmark: reads $infile and prints its cell count, its top cell
# count and the seconds spent inside the reader (without KLayout's own start-up).
import time

import pya

start = time.perf_counter()
layout = pya.Layout()
layout.read(infile)
seconds = time.perf_counter() - start
print("cells %d top_cells %d" % (layout.cells(), len(layout.top_cells())))
print("inner_s %.4f" % seconds)
