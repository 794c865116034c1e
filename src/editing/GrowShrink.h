// Growing and shrinking objects: every selected object's outline moves
// outwards (positive amount) or inwards (negative amount), object by object
// and in place, optionally with rounded corners when growing.
#pragma once

#include <cstdint>
#include <vector>

#include "model/SymbolDescription.h"

namespace zandor {

// Grows or shrinks `record` by `amount` database units, recording it in the
// open undo step: rectangles and boxes change their sides (and become
// polygons with round corners when roundCorners is set and amount >= 1),
// polygons are offset with mitred corners (arcs at convex corners when
// rounding), wires, rings and arc wires change their width and circles their
// radius (absolute values, so a negative width turns positive).  Polygon
// outlines pass through the boolean engine so that no offset can fold over
// or turn inside out.  Returns the record, which may have moved, or nullptr
// when it vanished: a rectangle or box shrunk by half its size or more, a
// circle or polygon shrunk to nothing is deleted rather than stored crossed
// over.  A polygon that a shrink cuts in two keeps the first piece; the other
// pieces are added to `extraPieces` as node lists for the caller to store.
Word* GrowShrinkObject(SymbolDescription& symbol, Word* record, std::int32_t amount, bool roundCorners,
                       std::vector<std::vector<Point>>* extraPieces = nullptr);

// Applies GrowShrinkObject to every selected object, after copying the
// selection (the copies change, the originals stay) when leaveOriginal is
// set, and brings the selection state up to date.  Returns how many objects
// vanished, or -1 when the change is refused because an object would leave
// the coordinate range (message shown, nothing changed).
int GrowShrinkSelection(SymbolDescription& symbol, std::int32_t amount, bool leaveOriginal, bool roundCorners);

}  // namespace zandor
