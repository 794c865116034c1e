# KLayout macro for the editing benchmark: reads $infile into a layout with an undo manager and
# times, inside KLayout, each operation of $ops (comma-separated) on every shape of the top cell,
# each in its own transaction, and its undo (unless $undo is 0).  Prints "OP seconds" lines (undo
# as "OP-undo"): "OP wall-seconds cpu-seconds".
#   move       Shapes.transform by a displacement      rotate  ... by a quarter turn
#   mirror     ... by a mirror about the y axis         duplicate  Shapes.insert of the shapes moved
#   delete     Cell.clear                               merge   Region.merged, put in place of the shapes
#   flatten    Cell.flatten of all levels, pruning the cells left unused
import time

import pya

manager = pya.Manager()
layout = pya.Layout(manager)
layout.read(infile)
top = layout.top_cells()[0]
layers = [li for li in layout.layer_indexes() if not top.shapes(li).is_empty()]
height = top.bbox().height()


def each_layer(f):
    for li in layers:
        f(top.shapes(li))


def merge(shapes):
    merged = pya.Region(shapes).merged()
    shapes.clear()
    shapes.insert(merged)


operations = {
    "move": lambda: each_layer(lambda s: s.transform(pya.Trans(1000, 2000))),
    "rotate": lambda: each_layer(lambda s: s.transform(pya.Trans(pya.Trans.R90))),
    "mirror": lambda: each_layer(lambda s: s.transform(pya.Trans(pya.Trans.M90))),
    "duplicate": lambda: each_layer(lambda s: s.insert(s, pya.ICplxTrans(0, height + 1000))),
    "delete": lambda: [top.clear(li) for li in layers],
    "merge": lambda: each_layer(merge),
    "flatten": lambda: top.flatten(-1, True),
}



def timed(name, f):
    wall, cpu = time.perf_counter(), time.process_time()
    f()
    print("%s %.4f %.4f" % (name, time.perf_counter() - wall, time.process_time() - cpu), flush=True)


def edit(op):
    manager.transaction(op)
    operations[op]()
    manager.commit()


for op in ops.split(","):
    timed(op, lambda: edit(op))
    if globals().get("undo", "1") != "0":
        timed(op + "-undo", manager.undo)
