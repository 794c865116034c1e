# Reads $infile with the reference reader; exit status 1 when it cannot.
import pya

pya.Layout().read(infile)
