# KLayout reading a Gerber PCB project (made by make_pcb_project.py) and
# counting what it built: the peer's import of a photoplot file.
#   klayout -b -r kl_read.py -rd project=X.pcb
import time

import pya

start = time.time()
layout = pya.Layout()
layout.read(project)
shapes = 0
for top in layout.top_cells():
    for index in layout.layer_indexes():
        it = top.begin_shapes_rec(index)
        while not it.at_end():
            shapes += 1
            it.next()
print("shapes=%d read_ms=%d" % (shapes, (time.time() - start) * 1000))
