// Simplification of the engine's input rings: zero-length links go and
// collinear runs are merged, within a tolerance. Internal; not part of the
// interface.
#pragma once

#include <vector>

#include "geometry/BooleanInternal.h"

namespace zandor::boolean_detail {

// Repeats passes over the ring until one removes nothing or fewer than 3
// vertices remain. A pass visits each vertex in order and removes it when it
// lies within t (in X and in Y) of a neighbour, or within t of the line
// through its neighbours, or when its successor lies within t of the line
// through it and its predecessor; the neighbours are those of the ring as it
// stands at that moment (the predecessor of the first vertex is the current
// last one, the successor of the last the first one kept). Linear per pass.
// Returns whether the ring changed.
bool SimplifyRing(std::vector<Point64>& ring, i64 t);

}  // namespace zandor::boolean_detail
