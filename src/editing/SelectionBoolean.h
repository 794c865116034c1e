// The boolean commands on the selection of one symbol: the selected objects
// are replaced by the polygons of one boolean operation between the current
// object (or a border rectangle) and the rest of the selection.
#pragma once

#include <cstdint>

#include "model/Layout.h"

namespace zandor {

enum class SelectionBooleanOp { Merge, Intersect, Xor, Subtract, Invert, ConvertIntoPolygons };

// Merge, Intersect, XOR and Subtract take the current object (the one picked
// last, else the first selected) as group A and the other selected objects as
// group B, and need two selected objects; Convert into polygons is Merge
// allowed on one object.  Invert XORs all selected objects with the
// selection's bounding box grown by `border` on every side (database units).
// The selected objects are deleted and the result polygons, selected, take
// the layer of the current object (the lowest defined layer when that one is
// not defined).  Adds to the symbol's open undo step; progress runs from 0 to
// 100.  False when nothing changed: too few objects selected, the border
// rectangle outside the coordinate range, or an engine error (shown as
// "Unexpected error during <operation> operation").
bool RunSelectionBoolean(Layout& layout, SymbolDescription& symbol, SelectionBooleanOp op, std::int32_t border);

}  // namespace zandor
