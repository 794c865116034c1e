# Compares, layer by layer, the flattened geometry of a GDSII file as the reference reader (KLayout)
# reads it with the file zandor-cli wrote from it.  Exit status 1 when a layer differs.
#
#   klayout -b -r gds_xor.py -rd ref=IN.gds -rd out=OUT.gds|OUT.cif [-rd grow_nm=auto|NM] [-rd extra_grow_nm=NM]
#           [-rd names="L1=1;L2=2" | -rd info=INFO.json] [-rd skip_paths=1] [-rd skip_layers=N,M] [-rd per_top=0]
#
# How the two sides are matched, and why:
# * Layers are compared per layer number AND datatype: every pair the reference reads must come
#   back as that pair (we keep each pair on a layer of its own and write it back with its number).
# * TEXT elements have no area in the reference; we turn them into glyph polygons on the text's
#   layer.  On a layer that holds texts, the reference must be covered exactly (nothing missing),
#   and whatever we add must lie in a square around a text origin whose half side is
#   (characters + 2) x text height; the area of the polygons we add is reported as glyph area.
# * PATHs with explicit end extensions (path type 4): a layer holding them passes when we kept them
#   with those ends, or when we left them out (the summary line says which); nothing else passes.
# * Top cells are paired by name; those written under another name (names over 32 characters are
#   cut) are compared together as one group.  A top cell on one side only fails.
# * grow_nm > 0 ignores XOR slivers thinner than 2 x grow_nm.  By default ("auto") it is 0 (exact)
#   when every coordinate of REF lies on the 1 nm grid, else 0.5 nm per hierarchy level: each
#   coordinate is rounded to 1 nm once for the shape and once for each placement above it, which
#   moves an edge by at most 0.5 nm per rounding.  extra_grow_nm adds to it.
# * names: for an OUT without layer numbers (CIF), "NAME=number" or "NAME=number/datatype" give each
#   layer name's pair; info=INFO.json (zandor-cli info --json) gives them from the short layer names.
# * skip_paths=1 leaves out layers that hold paths in the reference (CIF wires have round ends only);
#   skip_layers=N,M leaves out the layer numbers given (all their datatypes).
# * The comparison runs in the finer of the two database units; the coarser side is scaled up.
import math
import sys

try:
    import pya
except ImportError:
    import klayout.db as pya


def options():
    g = globals()
    if "ref" in g and "out" in g:
        return {k: g[k] for k in list(g) if isinstance(g.get(k), str) and not k.startswith("_")}
    o = {}
    for kv in sys.argv[1:]:
        k, v = kv.split("=", 1)
        o[k] = v
    return o


def load(path):
    lo = pya.LoadLayoutOptions()
    lo.cif_dbu = 0.001
    ly = pya.Layout()
    ly.read(path, lo)
    # The reference's own bookkeeping cell, which it hides when it reads GDS; we keep it as an
    # ordinary symbol (in CIF it may even be the main symbol).  Its placements go with it.
    for c in list(ly.each_cell()):
        if top_key(c.name, True) == "$$$CONTEXT_INFO$$$":
            ly.delete_cell(c.cell_index())
    return ly


def layer_number(info, names):
    """The (layer number, datatype) pair of a layer.  With names (our CIF) the layer name is looked
    up first; the reference reads "L68" as layer 68 without a name, and 68 is our layer index, not
    the pair the layer holds."""
    try:
        name = info.name
    except Exception:
        name = ""
    if names and not name and info.layer >= 0:
        name = "L%d" % info.layer
    if name and name in names:
        return names[name]
    if info.layer >= 0:
        return (info.layer, max(info.datatype, 0))
    raise RuntimeError("layer %s has no number (give it with names=)" % name)


def custom_ends(path):
    if path.round:
        return False
    hw = path.width // 2
    return not ((path.bgn_ext == 0 and path.end_ext == 0) or (path.bgn_ext == hw and path.end_ext == hw))


def top_key(name, per_top):
    """Top cells are matched by the name we write back: spaces and "~" become "_"."""
    if not per_top:
        return "*"
    return name.replace("~", "_").replace(" ", "_")


RENAMED = "<top cells written under other names>"


def group_renamed(ga, gb):
    """Names longer than 32 characters are cut (and made unique) when written, so such top cells
    cannot be paired by name; they are compared together, as one union per layer."""
    lone_a = [k for k in ga if k not in gb]
    lone_b = [k for k in gb if k not in ga]
    for side, lone in ((ga, lone_a), (gb, lone_b)):
        if not lone:
            continue
        merged = side.setdefault(RENAMED, {})
        for k in lone:
            for num, r in side.pop(k).items():
                merged.setdefault(num, pya.Region()).insert(r)
    return len(lone_a), len(lone_b)


def hierarchy_depth(ly):
    depth = {}
    for ci in ly.each_cell_bottom_up():
        c = ly.cell(ci)
        depth[ci] = 1 + max([depth[i.cell_index] for i in c.each_inst()] or [0])
    return max(depth.values() or [1])


def on_nm_grid(ly):
    """True when every coordinate of the file lies on the 1 nm grid we convert to."""
    k = 0.001 / ly.dbu
    if k <= 1 + 1e-9 and abs(1 / k - round(1 / k)) < 1e-6:
        return True              # 1 nm or a whole multiple of it
    if abs(k - round(k)) > 1e-6:
        return False
    k = int(round(k))

    def ok(*values):
        return all(v % k == 0 for v in values)

    for c in ly.each_cell():
        for inst in c.each_inst():
            d = inst.cplx_trans.disp
            if not ok(int(d.x), int(d.y)) or abs(d.x - round(d.x)) > 1e-9 or abs(d.y - round(d.y)) > 1e-9:
                return False
            if inst.is_regular_array() and not ok(inst.a.x, inst.a.y, inst.b.x, inst.b.y):
                return False
        for li in ly.layer_indexes():
            for sh in c.shapes(li).each():
                if sh.is_text():
                    p = sh.text.trans.disp
                    pts = [p]
                elif sh.is_path():
                    if not ok(sh.path.width, sh.path.bgn_ext, sh.path.end_ext):
                        return False
                    pts = list(sh.path.each_point())
                elif sh.is_box():
                    pts = [sh.box.p1, sh.box.p2]
                else:
                    pts = list(sh.polygon.each_point_hull())
                    for h in range(sh.polygon.holes()):
                        pts += list(sh.polygon.each_point_hole(h))
                if not all(ok(q.x, q.y) for q in pts):
                    return False
    return True


def collect(ly, scale, names, reference, per_top):
    """Per top cell (by top_key) and layer number: geometry and glyph zones (reference only);
    per layer number: text counts; per top cell and layer: paths with explicit end extensions."""
    geo, zones, texts, custom = {}, {}, {}, {}
    tr = pya.ICplxTrans(scale)
    for top in ly.top_cells():
        key = top_key(top.name, per_top)
        g = geo.setdefault(key, {})
        z = zones.setdefault(key, {})
        cu = custom.setdefault(key, {})
        for li in ly.layer_indexes():
            num = layer_number(ly.get_info(li), names)
            it = top.begin_shapes_rec(li)
            it.shape_flags = pya.Shapes.SBoxes | pya.Shapes.SPolygons | (0 if reference else pya.Shapes.SPaths)
            r = pya.Region(it)
            if not r.is_empty():
                g.setdefault(num, pya.Region()).insert(r.transformed(tr))
            if not reference:
                continue
            it = top.begin_shapes_rec(li)
            it.shape_flags = pya.Shapes.SPaths
            while not it.at_end():
                p = it.shape().path
                poly = pya.Polygon(p.polygon()).transformed(tr * it.trans())
                if custom_ends(p):
                    cu.setdefault(num, pya.Region()).insert(poly)
                else:
                    g.setdefault(num, pya.Region()).insert(poly)
                it.next()
            it = top.begin_shapes_rec(li)
            it.shape_flags = pya.Shapes.STexts
            while not it.at_end():
                t = it.shape().text
                t_full = tr * it.trans()
                h = t.size if t.size > 0 else 1.0 / ly.dbu     # no MAG: 1 um high
                half = (len(t.string) + 2) * h * t_full.mag
                c = t_full * pya.Point(t.x, t.y)
                z.setdefault(num, pya.Region()).insert(
                    pya.Box(int(c.x - half), int(c.y - half), int(math.ceil(c.x + half)), int(math.ceil(c.y + half))))
                texts[num] = texts.get(num, 0) + 1
                it.next()
    for key in [k for k, g in geo.items() if not g and not zones[k] and not custom[k]]:
        del geo[key]   # a top cell without any shape (CIF's top-level cell that only calls)
    return geo, zones, texts, custom


def split_common(a, b):
    """(polygons of a not in b, polygons of b not in a, a function giving the polygons in both)."""
    a.merged_semantics = False
    b.merged_semantics = False
    only_a, only_b = a.not_in(b), b.not_in(a)
    a.merged_semantics = True
    b.merged_semantics = True
    only_a.merged_semantics = True
    only_b.merged_semantics = True

    def common():
        a.merged_semantics = False
        c = a.in_(b)
        a.merged_semantics = True
        c.merged_semantics = True
        return c
    return only_a, only_b, common


def minus_common(region, common):
    return region if region.is_empty() else region - common()


def main():
    o = options()
    names = {}
    for kv in [x for x in o.get("names", "").split(";") if x.strip()]:
        k, v = kv.split("=", 1)
        number, _, datatype = v.partition("/")
        names[k] = (int(number), int(datatype or 0))
    if o.get("info"):
        import json
        with open(o["info"]) as f:
            for layer in json.load(f)["layers"]:
                names[layer["short_name"]] = (layer.get("gds_layer", layer["index"]), layer.get("datatype", 0))
    per_top = o.get("per_top", "1") != "0"
    ref = load(o["ref"])
    out = load(o["out"])
    dbu = min(ref.dbu, out.dbu)
    if o.get("grow_nm", "auto") == "auto":
        # Off the 1 nm grid every coordinate is rounded to it, once for the shape and once for each
        # placement above it: each rounding moves an edge by at most 0.5 nm per axis.
        grow_nm = 0.0 if on_nm_grid(ref) else 0.5 * hierarchy_depth(ref)
    else:
        grow_nm = float(o["grow_nm"])
    grow_nm += float(o.get("extra_grow_nm", "0"))
    ga, zones, texts, custom = collect(ref, ref.dbu / dbu, {}, True, per_top)
    gb, _, _, _ = collect(out, out.dbu / dbu, names, False, per_top)
    lone_a, lone_b = group_renamed(ga, gb)
    skipped_numbers = set(int(n) for n in o.get("skip_layers", "").split(",") if n.strip())
    skipped = set()
    if o.get("skip_paths") == "1":
        for li in ref.layer_indexes():
            if any(not c.shapes(li).is_empty() and any(True for _ in c.shapes(li).each(pya.Shapes.SPaths))
                   for c in ref.each_cell()):
                skipped.add(layer_number(ref.get_info(li), {}))
    for side in (ga, gb, zones, custom):
        for per_layer_regions in side.values():
            for num in list(per_layer_regions):
                if num in skipped or num[0] in skipped_numbers:
                    skipped.add(num)
                    per_layer_regions.pop(num)
    if lone_a or lone_b:
        # Their texts and paths with explicit extensions go with them.
        for side in (zones, custom):
            merged = side.setdefault(RENAMED, {})
            for k in [k for k in side if k not in ga]:
                for num, r in side.pop(k).items():
                    merged.setdefault(num, pya.Region()).insert(r)
    shrink = int(math.ceil(grow_nm * 1e-3 / dbu - 1e-9)) if grow_nm > 0 else 0
    um2 = dbu * dbu
    box_um = pya.CplxTrans(dbu)

    def residue(region):
        return region.sized(-shrink) if shrink else region

    empty = pya.Region()
    per_layer = {}      # (number, datatype) -> [difference, glyph area, places that differ]
    problems = []
    for key in sorted(set(ga) | set(gb)):
        if key not in gb:
            problems.append("top cell %s is missing" % key)
        elif key not in ga:
            problems.append("top cell %s is not in the reference" % key)
        la, lb, lz, lc = ga.get(key, {}), gb.get(key, {}), zones.get(key, {}), custom.get(key, {})
        for num in set(la) | set(lb) | set(lc):
            b = lb.get(num, empty)
            stat = per_layer.setdefault(num, [0, 0, [], ""])
            where = "" if key == "*" else " in %s" % key
            # Paths with explicit end extensions: either kept (as paths with those ends) or left out.
            choices = [la.get(num, empty) + lc[num], la.get(num, empty)] if num in lc else [la.get(num, empty)]
            for choice, a in enumerate(choices):
                found = []
                # Polygons found identically on both sides (nearly all) are set aside by hashing,
                # not by a boolean: a = A + C, b = B + C, and a xor b = (A xor B) - C, and so on.
                # C is merged only when A or B leave something.
                only_a, only_b, common = split_common(a, b)
                if num in texts:
                    missing = minus_common(only_a - only_b, common)
                    stray = only_b - lz.get(num, empty)
                    if not stray.is_empty():
                        stray = minus_common(stray - only_a, common)
                    missing, stray = residue(missing), residue(stray)
                    diff = missing.area() + stray.area()
                    only_b.merged_semantics = False    # summed polygon by polygon: merging costs too much
                    glyphs = only_b.area()
                    if missing.area():
                        found.append("missing %.6f um2%s, within %s" % (missing.area() * um2, where, missing.bbox().transformed(box_um)))
                    if stray.area():
                        found.append("extra %.6f um2 away from texts%s, within %s" % (stray.area() * um2, where, stray.bbox().transformed(box_um)))
                else:
                    x = residue(minus_common(only_a ^ only_b, common))
                    diff = x.area()
                    glyphs = 0
                    if diff:
                        found.append("xor %.6f um2 (%d polygons)%s, within %s; areas %.6f (reference) %.6f (zandor)" % (
                            diff * um2, x.count(), where, x.bbox().transformed(box_um), a.area() * um2, b.area() * um2))
                if diff == 0 or choice == len(choices) - 1:
                    break
            if num in lc:
                stat[3] = ["", "  (paths with explicit end extensions: kept)",
                           "  (paths with explicit end extensions: left out)"][choice + 1 if diff == 0 else 0]
            stat[1] += glyphs
            stat[2] += found
            stat[0] += diff

    bad = 0
    print("%-11s %14s %14s %6s" % ("layer", "xor_um2", "glyphs_um2", "texts"))
    for num in sorted(per_layer):
        diff, glyphs, where, extra = per_layer[num]
        bad += diff != 0
        print("%-11s %14.6f %14s %6d  %s%s" % ("%d/%d" % num, diff * um2, "%.6f" % (glyphs * um2) if num in texts else "-",
                                            texts.get(num, 0), "DIFF" if diff else "ok", extra))
        for w in where[:5]:
            print("         " + w)
        if len(where) > 5:
            print("         ... %d more" % (len(where) - 5))
    for p in problems:
        print(p)
    if lone_a or lone_b:
        print("%d top cell(s) of the reference and %d written under other names compared as one group" % (lone_a, lone_b))
    if skipped:
        print("not compared: layers %s" % " ".join("%d/%d" % n for n in sorted(skipped)))
    print("layers differing: %d (tolerance: slivers under %.3g nm)" % (bad, 2 * shrink * dbu * 1e3))
    return 1 if bad or problems else 0


sys.exit(main())
