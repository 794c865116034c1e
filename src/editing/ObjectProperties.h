// What the object property dialogs show and write back, without the dialogs:
// the placement of texts, scripts and calls split into position, scales and
// angle; the lattice of an array as position, size, angle, counts and
// spacings; the measures of a polygon's or wire's node table; the coordinate
// limit every edited object keeps; and the commit of an edited working copy
// into the symbol as changes of an undo step the caller has opened.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "model/ObjectRecord.h"
#include "model/Types.h"

namespace zandor {

class Layout;
class SymbolDescription;

// The message of an edit whose result leaves +-2,000,000,000 units.
constexpr const char* kPropertiesRangeMessage = "The result would lie outside the coordinate range.";

// A placement matrix as the dialogs show it: the translation cut to whole
// units, the scales in percent, the angle rounded to thousandths of a degree.
struct PlacementShown {
    std::int32_t x = 0, y = 0;
    double xScalePercent = 100, yScalePercent = 100;
    double angleDegrees = 0;
    // The scales are equal.
    bool lockAspect = true;
};
PlacementShown ShowPlacement(const TransformMatrix& m);
// (sx cos t, sx sin t, -sy sin t, sy cos t, x, y): scaled, then turned by t
// radians counter-clockwise, then moved; a negative scale mirrors.
TransformMatrix PlacementMatrix(double scaleX, double scaleY, double radians, std::int32_t x, std::int32_t y);

// An array's lattice as the dialog shows and takes it.  Spacings are the
// lengths of one column and one row step, rounded; the angle is in degrees.
struct ArrayLattice {
    Point origin;
    double magnification = 1;  // |m|
    bool mirrored = false;     // m < 0
    double angleDegrees = 0;
    std::int32_t columns = 1, rows = 1;
    std::int32_t columnSpacing = 0, rowSpacing = 0;
};
// The angle comes rounded to thousandths of a degree; a count of 0 or less
// (damaged input) gives a spacing of 0.
ArrayLattice ShowArrayLattice(const Word* array);
// Writes counts, magnification, angle and lattice into the array record:
// the angle is brought into -180..180; a negative spacing moves the origin
// to the other end of its row or column and is stored positive; the column
// and row ends are laid along x and y (y downwards when mirrored) and turned
// about the origin by the angle.  The cached extent is left to the caller.
// False, with the record unchanged, when a lattice point would leave
// +-2,000,000,000 units.
bool WriteArrayLattice(Word* array, ArrayLattice lattice);

// The area of the polygon closed back to its first node, in square
// micrometres (exact sums, so that large coordinates lose nothing).
double SurfaceAreaSquareMicrons(const Point* nodes, int count);
// The sum over the wire's segments of each segment's length rounded to
// whole units.
std::int64_t WireTotalLength(const Point* nodes, int count);
// A polygon or wire record like `original` (header bits, width word) with
// these nodes and the cached node box recomputed.  Empty when the nodes do
// not fit one record.
std::vector<Word> RecordWithNodes(const Word* original, const std::vector<Point>& nodes);
// The most nodes one record of the kind holds (polygon or wire).
int MaxNodes(ObjectKind kind);

// Whether every point the record stores and its extent lie within
// +-2,000,000,000 units; calls and arrays take the extent of their symbol in
// `layout` and keep it as their cached extent.  Heads are judged by their
// own words only.
bool WithinCoordinateLimit(Word* record, Layout* layout);
// Whether the text these would build (AddTextOutlinesWithMatrix) stays
// within the limit; it is built aside to find out.
bool TextWithinCoordinateLimit(std::string_view text, std::int32_t height, const TransformMatrix& m,
                               const LOGFONTA& font);

// Whether committing `copy` in place of `record` would change anything: a
// word after the header differs (or the length), or the layer does (calls and
// arrays have none of their own).
bool CopyDiffers(const Word* record, const std::vector<Word>& copy, int layer);

// The commits of a property dialog on the symbol's single selected object
// (the current object), as changes of the undo step the caller has opened.
// Each returns false when nothing changed (the copy equals the record and
// the layer is the same), leaving the step empty.
//
// Any kind but text and script: the copy, given `layer` unless it is a call
// or an array, takes the record's place (a "modified" entry; the record is
// resized when its node count changed) and the symbol's children and box
// follow.
bool CommitObjectCopy(SymbolDescription& symbol, const std::vector<Word>& copy, int layer);
// Text: when a word of the copy other than the header differs from the
// record (the copy's character count set to 0 says the text changed), the
// text goes with its glyphs and is built again from `text` and the copy's
// height, matrix and font on `layer`, selected; when only the layer differs,
// the head and its glyphs move to it.
bool CommitTextCopy(SymbolDescription& symbol, const std::vector<Word>& copy, int layer, std::string_view text);

}  // namespace zandor
