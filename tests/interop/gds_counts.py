# Checks the symbol, symbol-call and array counts that `zandor-cli info --json` prints for a GDSII
# file against the reference's counts of cells, SREFs and AREFs.  Exit status 1 when they differ.
#
#   klayout -b -r gds_counts.py -rd info=INFO.json -rd gds=IN.gds [-rd expect="cells sref aref"]
#
# Without expect the counts come from the reference reading IN.gds here.  Exit status 2 when the
# reference cannot read IN.gds at all.
import json
import sys

try:
    import pya
except ImportError:
    import klayout.db as pya


def reference_counts(path):
    ly = pya.Layout()
    ly.read(path)
    sref = aref = 0
    for c in ly.each_cell():
        for inst in c.each_inst():
            if inst.is_regular_array():
                aref += 1
            else:
                sref += 1
    return ly.cells(), sref, aref


def main():
    try:
        counted = reference_counts(gds)
    except Exception as error:
        print("the reference cannot read %s: %s" % (gds, error))
        return 2
    with open(info) as f:
        data = json.load(f)
    symbols = data["symbols"]
    got = (len(symbols),
           sum(s["objects"].get("Symbol", 0) for s in symbols),
           sum(s["objects"].get("Array of symbols", 0) for s in symbols))
    e = globals().get("expect", "")
    want = tuple(int(v) for v in e.split()) if e else counted
    names = ("symbols/cells", "symbol calls/SREFs", "arrays/AREFs")
    bad = [f"{n}: zandor {g}, reference {w}" for n, g, w in zip(names, got, want) if g != w]
    print("counts: " + (", ".join(bad) if bad else "%d cells, %d SREFs, %d AREFs as expected" % got))
    return 1 if bad else 0


sys.exit(main())
