// Moving, rotating and scaling one object record in place, by kind: the
// mapping of points and matrices that the editing operations and the text
// construction share.  Every point result is rounded half away from zero.
#pragma once

#include <cstdint>

#include "model/ObjectRecord.h"
#include "model/Types.h"

namespace zandor {

class Layout;
class SymbolDescription;

// p rotated about (cx, cy) by `degrees` counter-clockwise; quarter turns
// (+-90, +-180, +-270) are exact whatever the size of the coordinates.
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

// The same on the record's own words: no undo entry and no members.  They
// return false, leaving the record as it is, where the length or kind would
// have to change (see RotationNeedsBox and ScaleNeedsPolygon).  Rotating a call
// refreshes its cached extent from the called symbol of `layout`.
bool MoveRecordWords(Word* record, std::int32_t dx, std::int32_t dy);
bool RotateRecordWords(Word* record, double cx, double cy, double degrees, Layout* layout);
bool ScaleRecordWords(Word* record, double cx, double cy, double fx, double fy);

// A rectangle is rotated as the Box it becomes, whatever the angle.
bool RotationNeedsBox(const Word* record);
// Boxes, circles, rings, arc wires and wires of non-zero width scaled by
// unequal |fx|, |fy| must become polygons first.
bool ScaleNeedsPolygon(const Word* record, double fx, double fy);
// Writes the 6-word Box of a rectangle into `box`: header bits kept, centre
// the rounded midpoint, length and width the sides, angle 0.
void RectangleToBox(const Word* rectangle, Word* box);

// Calls f(x, y) for every point stored in the record's own words that a
// move, rotation or scale maps: corners, centres, nodes, cached extents (all
// four corners of those of calls and arrays) and array lattice points.
template <typename F>
void ForEachStoredPoint(const Word* r, F f) {
    const auto at = [&](int word) { f(r[word], r[word + 1]); };
    switch (RecordKind(r)) {
        case ObjectKind::Rectangle:
        case ObjectKind::Measurement:
            at(1);
            at(3);
            break;
        case ObjectKind::Box:
        case ObjectKind::Circle:
        case ObjectKind::Ring:
        case ObjectKind::Text:
        case ObjectKind::Group:
        case ObjectKind::Script: at(1); break;
        case ObjectKind::Polygon:
        case ObjectKind::Wire: {
            at(1);
            at(3);
            const bool polygon = RecordKind(r) == ObjectKind::Polygon;
            const int first = polygon ? kPolygonBaseLength : kWireBaseLength;
            const int n = polygon ? PolygonNodeCount(r) : WireNodeCount(r);
            for (int i = 0; i < n; ++i) at(first + 2 * i);
            break;
        }
        case ObjectKind::ArcWire:
            at(1);
            at(3);
            at(5);
            break;
        case ObjectKind::SymbolCall:
        case ObjectKind::SymbolArray:
            at(1);
            at(3);
            f(r[1], r[4]);
            f(r[3], r[2]);
            if (RecordKind(r) == ObjectKind::SymbolArray) {
                at(8);
                at(10);
                at(12);
            }
            break;
    }
}

}  // namespace zandor
