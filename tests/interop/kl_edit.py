# Checks an edited layout written by zandor-cli against the reference (KLayout) applying the same
# edit to the original.  Per layer and datatype, the flattened geometry of the top cell is compared.
# Exit status 1 when a layer differs beyond the tolerance of the edit.
#
#   klayout -b -r kl_edit.py -rd ref=IN.gds -rd top=NAME -rd cases="OUT.gds=EDIT[@L/D];..."
#
# Each case names an output file and the edit that made it (with the layer, for grow and round);
# one run checks them all, so that the reference starts once per input.
#
# EDIT, with lengths in database units:
#   move:DX,DY              the reference moves the flattened geometry
#   rotate:DEG:CX,CY        ... rotates it about (CX, CY)
#   scale:FX,FY:CX,CY       ... scales it (|FX| = |FY|; a negative factor mirrors)
#   flatten                 the reference flattens the cell; the output must hold no placements
#   grow:A@L/D              layer L/D of the top cell's own shapes sized by A (Region.sized); placed
#                           shapes and other layers unchanged
#   round:A@L/D             the same sized with rounded corners: a Minkowski sum with a fine circle
#
# Tolerances: transformations and rounded corners round each vertex onto the grid on both sides, so
# slivers under 2 units are ignored (the XOR is sized by -1 unit) and the XOR area must stay below
# one unit times the perimeter; rounded corners also allow the sagitta of an arc of 72 segments.
# flatten and grow compare exactly.
import math
import sys

try:
    import pya
except ImportError:
    import klayout.db as pya


def key(info):
    return "%d/%d" % (info.layer, info.datatype)


def top_cell(layout, name):
    cell = layout.cell(name) if layout.has_cell(name) else None
    if cell is None:
        tops = layout.top_cells()
        if len(tops) != 1:
            raise SystemExit("no top cell %s in the layout" % name)
        cell = tops[0]
    return cell


def regions(layout, cell, min_depth=0, max_depth=-1):
    out = {}
    for li in layout.layer_indexes():
        it = cell.begin_shapes_rec(li)
        it.min_depth = min_depth
        if max_depth >= 0:
            it.max_depth = max_depth
        r = pya.Region(it)
        if not r.is_empty():
            out[key(layout.get_info(li))] = r
    return out


def transformation(edit):
    kind, _, rest = edit.partition(":")
    if kind == "move":
        dx, dy = (float(v) for v in rest.split(","))
        return pya.ICplxTrans(1, 0, False, dx, dy)
    what, centre = rest.split(":")
    cx, cy = (float(v) for v in centre.split(","))
    if kind == "rotate":
        core = pya.ICplxTrans(1, float(what), False, 0, 0)
    else:
        fx, fy = (float(v) for v in what.split(","))
        if abs(abs(fx) - abs(fy)) > 1e-12:
            raise SystemExit("the reference scales uniformly only")
        # A mirror at the x axis first, then a half turn when x is mirrored.
        mirror = (fx < 0) != (fy < 0)
        angle = 180 if fx < 0 else 0
        core = pya.ICplxTrans(abs(fx), angle, mirror, 0, 0)
    return pya.ICplxTrans(1, 0, False, cx, cy) * core * pya.ICplxTrans(1, 0, False, -cx, -cy)


def circle(radius, points):
    # Circumscribed, so that the reference's arcs lie on or outside the true circle.
    r = radius / math.cos(math.pi / points)
    return pya.Polygon([pya.Point(round(r * math.cos(2 * math.pi * (k + 0.5) / points)),
                                  round(r * math.sin(2 * math.pi * (k + 0.5) / points))) for k in range(points)])


def check(out, edit, layer):
    ref_layout = pya.Layout()
    ref_layout.read(ref)
    out_layout = pya.Layout()
    out_layout.read(out)
    if abs(ref_layout.dbu - out_layout.dbu) > 1e-12:
        raise SystemExit("database units differ: %g and %g" % (ref_layout.dbu, out_layout.dbu))
    dbu = ref_layout.dbu
    ref_top = top_cell(ref_layout, top)
    out_top = top_cell(out_layout, top)
    kind, _, rest = edit.partition(":")

    shrink = 0       # units ignored on each side of a XOR sliver
    per_length = 0   # allowed XOR area per unit of perimeter, in units
    problems = []
    if kind == "flatten":
        if out_top.child_instances():
            problems.append("the flattened cell still places %d instances" % out_top.child_instances())
        ref_top.flatten(-1, True)
        expected = regions(ref_layout, ref_top)
    elif kind in ("grow", "round"):
        amount = int(rest)
        own = regions(ref_layout, ref_top, max_depth=0)
        placed = regions(ref_layout, ref_top, min_depth=1).get(layer, pya.Region())
        expected = regions(ref_layout, ref_top)
        sized = own.get(layer, pya.Region())
        if kind == "grow":
            sized = sized.sized(amount)
        else:
            # The arcs of 72 segments lie inside the true circle by at most the sagitta.
            sized = sized.minkowski_sum(circle(amount, 1024))
            shrink = int(math.ceil(amount * (1 - math.cos(math.pi / 68)))) + 1
            per_length = shrink
        expected[layer] = sized + placed
    else:
        trans = transformation(edit)
        expected = {k: r.transformed(trans) for k, r in regions(ref_layout, ref_top).items()}
        shrink = 1
        per_length = 1
    got = regions(out_layout, out_top)

    print("%-8s %14s %14s %14s %14s" % ("layer", "expected_um2", "zandor_um2", "xor_um2", "allowed_um2"))
    for k in sorted(set(expected) | set(got)):
        a = expected.get(k, pya.Region())
        b = got.get(k, pya.Region())
        x = a ^ b
        residue = x.sized(-shrink) if shrink else x
        allowed = per_length * a.perimeter()
        status = "ok"
        if not residue.is_empty():
            status = "DIFF: %d places wider than %d units, within %s" % (
                residue.count(), 2 * shrink, residue.bbox().transformed(pya.CplxTrans(dbu)))
        elif x.area() > allowed:
            status = "DIFF: more than %g units of area per unit of perimeter" % per_length
        if status != "ok":
            problems.append("%s %s" % (k, status))
        print("%-8s %14.6f %14.6f %14.6f %14.6f  %s" % (k, a.area() * dbu * dbu, b.area() * dbu * dbu,
                                                       x.area() * dbu * dbu, allowed * dbu * dbu, status))
    for p in problems:
        print(p)
    return not problems


def main():
    failed = 0
    for case in [c for c in cases.split(";") if c.strip()]:
        out, _, edit = case.rpartition("=")
        edit, _, layer = edit.partition("@")
        print("%s: %s" % (out, edit + (" on " + layer if layer else "")))
        if check(out, edit, layer):
            print("PASS %s" % out)
        else:
            print("FAIL %s" % out)
            failed += 1
    return 1 if failed else 0


sys.exit(main())
