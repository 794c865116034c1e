# KLayout oracle for single layers: the flattened geometry of a layer of file a
# against layer b_layer (0/0) of other files, one pair each:
#   klayout -b -r kl_layer_xor.py -rd a=A.gds -rd pairs="68/20=B1.gds 67/44=B2.gds" [-rd cell=TOP]
#           [-rd grow_um=0] [-rd tol_um2=0] [-rd b_layer=0/0]
# In A only the cell named (default: every top cell) is taken; B files are
# taken from their top cells (a Gerber project, .pcb, puts its first file on
# layer 1/0).
# Slivers thinner than 2*grow_um are ignored (the XOR is shrunk by grow_um
# first).  Prints each XOR area in um^2 before and after, and exits with
# status 1 when what is left of any exceeds tol_um2.
import sys

import pya

def region(path, number, datatype, name=""):
    layout = pya.Layout()
    layout.read(path)
    index = layout.find_layer(number, datatype)
    result = pya.Region()
    tops = layout.top_cells()
    if name:
        # The GDSII writer puts underscores where a symbol name has blanks.
        found = layout.cell(name) or layout.cell(name.replace(" ", "_"))
        if not found:
            print("cell %s is not in %s" % (name, path))
            sys.exit(1)
        tops = [found]
    if index is not None:
        for top in tops:
            result += pya.Region(top.begin_shapes_rec(index))
    # The region may still refer to the layout: both are kept together.
    return result.merged(), layout.dbu, layout


grow = float(globals().get("grow_um", "0") or 0)
b_number, b_datatype = (int(v) for v in (globals().get("b_layer", "0/0") or "0/0").split("/"))
limit = float(globals().get("tol_um2", "0") or 0)
failed = False
reference = {}
for pair in pairs.split():
    layerPair, path = pair.split("=", 1)
    number, datatype = (int(v) for v in layerPair.split("/"))
    if layerPair not in reference:  # a layer's geometry serves every file compared with it
        reference.clear()
        reference[layerPair] = region(a, number, datatype, globals().get("cell", ""))
    ra, dbu, _ = reference[layerPair]
    rb, _, _ = region(path, b_number, b_datatype)
    xor = ra ^ rb
    left = xor.sized(-int(round(grow / dbu))) if grow > 0 else xor
    left_area = left.area() * dbu * dbu
    print("%s %s: xor %.6f um2, beyond %.3f um slivers %.6f um2 (%d polygons)"
          % (layerPair, path, xor.area() * dbu * dbu, grow, left_area, left.count()))
    failed = failed or left_area > limit
sys.exit(1 if failed else 0)
