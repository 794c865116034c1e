# KLayout macro for the CIF benchmark: reads $in, and writes $out when given.
import pya

layout = pya.Layout()
layout.read(infile)
if "outfile" in globals() and outfile:
    layout.write(outfile)
