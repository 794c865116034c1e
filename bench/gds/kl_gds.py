# KLayout macro for the GDSII benchmark: reads $infile, and writes $outfile when given; prints the
# seconds spent inside the reader and writer (without KLayout's own start-up).
import time

import pya

start = time.perf_counter()
layout = pya.Layout()
layout.read(infile)
if "outfile" in globals() and outfile:
    layout.write(outfile)
print("inner_s %.4f" % (time.perf_counter() - start))
