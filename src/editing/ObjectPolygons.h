// Objects as polygons: every object kind turned into closed contours for the
// boolean engine, the engine's result turned back into polygon records, and
// one object converted into a polygon record in place.
#pragma once

#include <vector>

#include "geometry/Bool_Engine.h"
#include "model/Layout.h"
#include "model/SymbolDescription.h"

namespace zandor {

// The corners of a rectangle or box, or the nodes of a polygon, in the
// record's own coordinates; false (points untouched) for other kinds.
bool PlainOutline(const Word* record, std::vector<Point>& points);

// Feeds `record` of `symbol` into `engine` as contours of `group`, every point
// mapped through t.  Rectangles, boxes, polygons, circles (CircleNumSegments
// points), rings and arc wires (RingNumSegments per turn) give one contour
// each; a wire gives a rectangle per segment plus 32-point circles at its
// joints (and at its ends when they are round); texts, groups and scripts feed
// their member records; calls and array elements feed every object of the
// called symbol on every layer, through any depth.  Measurements, calls of
// missing symbols and arrays of magnification 0 feed nothing.
void FeedObject(Bool_Engine& engine, const Layout& layout, const SymbolDescription& symbol, const Word* record,
                const TransformMatrix& t, GroupType group);

// Turns a rectangle, box, circle, ring, arc wire or wire of non-zero width
// into a polygon record on the same layer, keeping its member and selected
// bits; the old record goes into the symbol's undo step as "modified".  The
// record may move (record is updated).  Other kinds, zero-width wires and
// degenerate arc wires stay as they are.  False, with "Unexpected error during
// object to polygon conversion" shown, when the wire's outline cannot be
// built or would not fit a record; the record is then unchanged.
bool ConvertToPolygon(SymbolDescription& symbol, Word*& record);

// Reads every result contour of an executed engine as polygon nodes, cutting
// contours of MaxPolyNodes nodes or more (when SplitLargePolygons is on) and
// of 16000 nodes or more (always) into halves of their bounding box until
// they fit.  A Bool_Engine_Error while reading reaches the caller.
std::vector<std::vector<Point>> ReadResultPolygons(Bool_Engine& engine);

// Appends the polygons to the symbol as polygon records on `layer`, recorded
// as inserted in the undo step: member records when `member` is set,
// otherwise selected top-level records (the caller brings the selection state
// up to date).
void AppendPolygons(SymbolDescription& symbol, const std::vector<std::vector<Point>>& polygons, int layer, bool member);

// ReadResultPolygons, then AppendPolygons.
void StoreResults(Bool_Engine& engine, SymbolDescription& symbol, int layer, bool member);

}  // namespace zandor
