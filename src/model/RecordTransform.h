// Moving, rotating and scaling one object record in place, by kind: the
// mapping of points and matrices that the editing operations and the text
// construction share.  Every point result is rounded half away from zero.
#pragma once

#include <cstdint>

#include "model/ObjectRecord.h"
#include "model/Types.h"

namespace zandor {

class SymbolDescription;

// p rotated about (cx, cy) by `degrees` counter-clockwise; quarter turns are
// exact whatever the size of the coordinates.
Point RotatePoint(Point p, double cx, double cy, double degrees);
// (cx + fx (px - cx), cy + fy (py - cy)), rounded.
Point ScalePoint(Point p, double cx, double cy, double fx, double fy);
// The linear part rotated, the translation rotated about (cx, cy); no rounding.
TransformMatrix RotateMatrix(const TransformMatrix& m, double cx, double cy, double degrees);
// a, c times fx; b, d times fy; the translation scaled about (cx, cy).
TransformMatrix ScaleMatrix(const TransformMatrix& m, double cx, double cy, double fx, double fy);

// Transform `record` of `symbol` in place.  Each changed record first gets a
// "modified" undo entry; a head (text, script, group) that is not itself a
// member takes its member records along (nested heads' members are among
// them).  Records keep their length, so pointers into the buffer stay valid.
//
// Returns false for what would change a record's kind or length, which is
// left to the editing commands (the record, or that member, stays as it is):
// rotating a Rectangle (it becomes a Box) and scaling a Box, Circle, Ring,
// ArcWire or a Wire of non-zero width by unequal |fx|, |fy| (it becomes a
// polygon).  Unknown kinds are left unchanged as well.
bool MoveRecord(SymbolDescription& symbol, Word* record, std::int32_t dx, std::int32_t dy);
bool RotateRecord(SymbolDescription& symbol, Word* record, double cx, double cy, double degrees);
bool ScaleRecord(SymbolDescription& symbol, Word* record, double cx, double cy, double fx, double fy);

}  // namespace zandor
