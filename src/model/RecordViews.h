// Typed views of object records: one small accessor type per kind, so that no
// code outside the model reads record words by number.  A view is a pointer to
// the header word and costs nothing; it is made from `Word*` (read and write)
// or `const Word*` (read only), e.g. `const BoxView box(r);`.  The word layout
// itself is a stored format and is described in ObjectRecord.h.
//
// The views check nothing: the caller knows the kind (switch on RecordKind)
// and that the record is whole.  Setters change only their own words; keeping
// cached extents current is the caller's business (RefreshNodeBounds).
#pragma once

#include <algorithm>
#include <type_traits>
#include <vector>

#include "model/Geometry.h"
#include "model/ObjectRecord.h"
#include "model/Types.h"

namespace zandor {

template <typename W>
class RecordView {
    static_assert(std::is_same_v<std::remove_const_t<W>, Word>, "a view is made from a record's words");

public:
    explicit RecordView(W* record) : r(record) {}
    W* Words() const { return r; }
    int Length() const { return RecordLength(r); }
    int Layer() const { return RecordLayer(r); }
    ObjectKind Kind() const { return RecordKind(r); }
    bool Member() const { return IsMember(r); }
    bool Selected() const { return IsSelected(r); }

protected:
    static constexpr bool kWritable = !std::is_const_v<W>;
    Point PointAt(int word) const { return {r[word], r[word + 1]}; }
    void SetPointAt(int word, Point p) const requires kWritable {
        r[word] = p.X;
        r[word + 1] = p.Y;
    }
    // w1..w4 as an ordered box (minimum and maximum of each pair).
    Rect OrderedBox() const;
    void SetBox(const Rect& box) const requires kWritable {
        r[1] = box.minx;
        r[2] = box.miny;
        r[3] = box.maxx;
        r[4] = box.maxy;
    }

    W* r;
};

template <typename W>
Rect RecordView<W>::OrderedBox() const {
    return {std::min(r[1], r[3]), std::min(r[2], r[4]), std::max(r[1], r[3]), std::max(r[2], r[4])};
}

// Rectangle (kind 1) and Measurement (kind 9): two corners, in any order.
template <typename W>
class RectangleView : public RecordView<W> {
protected:
    using RecordView<W>::r;

public:
    using RecordView<W>::RecordView;
    Point Corner1() const { return this->PointAt(1); }
    Point Corner2() const { return this->PointAt(3); }
    // The corners ordered: minimum and maximum of each pair.
    Rect Box() const { return this->OrderedBox(); }
    void SetCorners(Point a, Point b) const requires RecordView<W>::kWritable {
        this->SetPointAt(1, a);
        this->SetPointAt(3, b);
    }
};
template <typename W>
class MeasurementView : public RectangleView<W> {
public:
    using RectangleView<W>::RectangleView;
};

// Box (kind 2): a rectangle of `Length` along the angle and `Width` across it.
template <typename W>
class BoxView : public RecordView<W> {
protected:
    using RecordView<W>::r;

public:
    using RecordView<W>::RecordView;
    Point Centre() const { return this->PointAt(1); }
    std::int32_t BoxLength() const { return r[3]; }
    std::int32_t BoxWidth() const { return r[4]; }
    std::int32_t AngleMillidegrees() const { return r[5]; }
    double AngleRadians() const { return r[5] * 0.001 * kPi / 180.0; }
    // The four corners, rounded half away from zero like every other user of
    // the box.
    std::vector<Point> Corners() const { return RotatedBoxCorners(Centre(), r[3], r[4], r[5]); }
    void SetCentre(Point p) const requires RecordView<W>::kWritable { this->SetPointAt(1, p); }
    void SetSize(std::int32_t length, std::int32_t width) const requires RecordView<W>::kWritable {
        r[3] = length;
        r[4] = width;
    }
    void SetAngleMillidegrees(std::int32_t angle) const requires RecordView<W>::kWritable { r[5] = angle; }
};

// What polygons and wires share: a cached box of the nodes in w1..w4 and the
// nodes themselves from `first`.
template <typename W, int first>
class NodesView : public RecordView<W> {
protected:
    using RecordView<W>::r;
    using PointType = std::conditional_t<std::is_const_v<W>, const Point, Point>;

public:
    using RecordView<W>::RecordView;
    int NodeCount() const { return first == kPolygonBaseLength ? PolygonNodeCount(r) : WireNodeCount(r); }
    PointType* Nodes() const { return reinterpret_cast<PointType*>(r + first); }
    Point Node(int i) const { return this->PointAt(first + 2 * i); }
    // The cached box of the nodes as stored (not widened by a wire's width).
    Rect NodeBounds() const { return this->OrderedBox(); }
    void SetNodeBounds(const Rect& box) const requires RecordView<W>::kWritable { this->SetBox(box); }
    // Recomputes the cached box from the nodes.
    void RefreshNodeBounds() const requires RecordView<W>::kWritable {
        this->SetBox(PointsBounds(Nodes(), NodeCount()));
    }
};

// Polygon (kind 3): nodes from w5, implicitly closed.
template <typename W>
class PolygonView : public NodesView<W, kPolygonBaseLength> {
public:
    using NodesView<W, kPolygonBaseLength>::NodesView;
};

// Wire (kind 4): width word in w5 (width and end style), nodes from w6.
template <typename W>
class WireView : public NodesView<W, kWireBaseLength> {
protected:
    using RecordView<W>::r;

public:
    using NodesView<W, kWireBaseLength>::NodesView;
    Word WidthWord() const { return r[5]; }
    std::int32_t Width() const { return WidthOf(r[5]); }
    int EndStyle() const { return WireEndStyle(r[5]); }
    void SetWidthWord(Word word) const requires RecordView<W>::kWritable { r[5] = word; }
};

// Circle (kind 5).
template <typename W>
class CircleView : public RecordView<W> {
protected:
    using RecordView<W>::r;

public:
    using RecordView<W>::RecordView;
    Point Centre() const { return this->PointAt(1); }
    std::int32_t Radius() const { return r[3]; }
    void SetCentre(Point p) const requires RecordView<W>::kWritable { this->SetPointAt(1, p); }
    void SetRadius(std::int32_t radius) const requires RecordView<W>::kWritable { r[3] = radius; }
};

// Ring (kind 6): radius of the centre line and full width.
template <typename W>
class RingView : public CircleView<W> {
protected:
    using RecordView<W>::r;

public:
    using CircleView<W>::CircleView;
    std::int32_t RingWidth() const { return r[4]; }
    // The radius the ring reaches: radius + width / 2, in 64 bits.
    std::int64_t OuterReach() const { return std::int64_t{r[3]} + r[4] / 2; }
    void SetRingWidth(std::int32_t width) const requires RecordView<W>::kWritable { r[4] = width; }
};

// ArcWire (kind 7): start, centre and end of the centre line and its width word
// (width, end style, direction).
template <typename W>
class ArcWireView : public RecordView<W> {
protected:
    using RecordView<W>::r;

public:
    using RecordView<W>::RecordView;
    Point Start() const { return this->PointAt(1); }
    Point Centre() const { return this->PointAt(3); }
    Point End() const { return this->PointAt(5); }
    Word WidthWord() const { return r[7]; }
    std::int32_t Width() const { return WidthOf(r[7]); }
    int EndStyle() const { return ArcEndStyle(r[7]); }
    bool Clockwise() const { return ArcClockwise(r[7]); }
    void SetPoints(Point start, Point centre, Point end) const requires RecordView<W>::kWritable {
        this->SetPointAt(1, start);
        this->SetPointAt(3, centre);
        this->SetPointAt(5, end);
    }
    void SetWidthWord(Word word) const requires RecordView<W>::kWritable { r[7] = word; }
};

// What texts, scripts and groups share: a position and the number of member
// records that follow the head.
template <typename W>
class HeadView : public RecordView<W> {
protected:
    using RecordView<W>::r;

public:
    using RecordView<W>::RecordView;
    Point Position() const { return this->PointAt(1); }
    int MemberRecords() const { return r[3]; }
    void SetPosition(Point p) const requires RecordView<W>::kWritable { this->SetPointAt(1, p); }
    void SetMemberRecords(int count) const requires RecordView<W>::kWritable { r[3] = count; }
};

// Text (kind 8): height, matrix, font and characters.
template <typename W>
class TextView : public HeadView<W> {
protected:
    using RecordView<W>::r;

public:
    using HeadView<W>::HeadView;
    std::int32_t Height() const { return r[4]; }
    TransformMatrix Matrix() const { return ReadMatrix(r + kTextMatrixWord); }
    LOGFONTA Font() const { return ReadFont(r + kTextFontWord); }
    std::string_view Chars() const { return TextChars(r); }
    void SetHeight(std::int32_t height) const requires RecordView<W>::kWritable { r[4] = height; }
    void SetMatrix(const TransformMatrix& m) const requires RecordView<W>::kWritable {
        WriteMatrix(r + kTextMatrixWord, m);
    }
    void SetFont(const LOGFONTA& font) const requires RecordView<W>::kWritable { WriteFont(r + kTextFontWord, font); }
};

// Group (kind 10): the reference point, all member records and the direct ones.
template <typename W>
class GroupView : public HeadView<W> {
protected:
    using RecordView<W>::r;

public:
    using HeadView<W>::HeadView;
    int DirectMembers() const { return r[4]; }
    void SetDirectMembers(int count) const requires RecordView<W>::kWritable { r[4] = count; }
};

// Script (kind 13): generated objects, height, the limit, matrix, font, text.
template <typename W>
class ScriptView : public HeadView<W> {
protected:
    using RecordView<W>::r;

public:
    using HeadView<W>::HeadView;
    int GeneratedObjects() const { return r[4]; }
    std::int32_t Height() const { return r[5]; }
    int MaxObjects() const { return r[6]; }
    TransformMatrix Matrix() const { return ReadMatrix(r + kScriptMatrixWord); }
    LOGFONTA Font() const { return ReadFont(r + kScriptFontWord); }
    std::string_view Chars() const { return ScriptChars(r); }
    void SetGeneratedObjects(int count) const requires RecordView<W>::kWritable { r[4] = count; }
    void SetHeight(std::int32_t height) const requires RecordView<W>::kWritable { r[5] = height; }
    void SetMaxObjects(int count) const requires RecordView<W>::kWritable { r[6] = count; }
    void SetMatrix(const TransformMatrix& m) const requires RecordView<W>::kWritable {
        WriteMatrix(r + kScriptMatrixWord, m);
    }
    void SetFont(const LOGFONTA& font) const requires RecordView<W>::kWritable { WriteFont(r + kScriptFontWord, font); }
};

// What calls and arrays share: the cached extent of the instance in w1..w4 and
// the id of the called symbol in w5.
template <typename W>
class PlacementView : public RecordView<W> {
protected:
    using RecordView<W>::r;

public:
    using RecordView<W>::RecordView;
    std::int32_t SymbolId() const { return r[5]; }
    Rect CachedExtent() const { return this->OrderedBox(); }
    void SetSymbolId(std::int32_t id) const requires RecordView<W>::kWritable { r[5] = id; }
    void SetCachedExtent(const Rect& box) const requires RecordView<W>::kWritable { this->SetBox(box); }
};

// SymbolCall (kind 11): the called symbol placed by an affine matrix.
template <typename W>
class CallView : public PlacementView<W> {
protected:
    using RecordView<W>::r;

public:
    using PlacementView<W>::PlacementView;
    TransformMatrix Matrix() const { return ReadMatrix(r + kCallMatrixWord); }
    void SetMatrix(const TransformMatrix& m) const requires RecordView<W>::kWritable {
        WriteMatrix(r + kCallMatrixWord, m);
    }
};

// SymbolArray (kind 12): columns x rows placements on a lattice given by its
// origin and the ends of the column and row vectors, each element magnified
// (negative: mirrored) and rotated.
template <typename W>
class ArrayView : public PlacementView<W> {
protected:
    using RecordView<W>::r;

public:
    using PlacementView<W>::PlacementView;
    int Columns() const { return r[6]; }
    int Rows() const { return r[7]; }
    Point Origin() const { return this->PointAt(8); }
    // origin + columns x column step
    Point ColumnEnd() const { return this->PointAt(10); }
    // origin + rows x row step
    Point RowEnd() const { return this->PointAt(12); }
    double Magnification() const { return ReadDouble(r + 14); }
    double AngleDegrees() const { return ReadDouble(r + 16); }
    // The matrix of element (i, j).
    TransformMatrix Element(int i, int j) const { return ElementMatrix(r, i, j); }
    // Where element (i, j) is placed: the translation of Element(i, j).
    Point64 ElementPosition(int i, int j) const {
        const std::int64_t x0 = r[8], y0 = r[9];
        return {x0 + LatticeOffset(i, std::int64_t{r[10]} - x0, Columns()) +
                    LatticeOffset(j, std::int64_t{r[12]} - x0, Rows()),
                y0 + LatticeOffset(i, std::int64_t{r[11]} - y0, Columns()) +
                    LatticeOffset(j, std::int64_t{r[13]} - y0, Rows())};
    }
    void SetCounts(int columns, int rows) const requires RecordView<W>::kWritable {
        r[6] = columns;
        r[7] = rows;
    }
    void SetLattice(Point origin, Point columnEnd, Point rowEnd) const requires RecordView<W>::kWritable {
        this->SetPointAt(8, origin);
        this->SetPointAt(10, columnEnd);
        this->SetPointAt(12, rowEnd);
    }
    void SetMagnification(double m) const requires RecordView<W>::kWritable { WriteDouble(r + 14, m); }
    void SetAngleDegrees(double degrees) const requires RecordView<W>::kWritable { WriteDouble(r + 16, degrees); }
};

// Views are made from Word* or const Word* alike: `const WireView wire(r);`.
template <typename W>
RecordView(W*) -> RecordView<W>;
template <typename W>
RectangleView(W*) -> RectangleView<W>;
template <typename W>
MeasurementView(W*) -> MeasurementView<W>;
template <typename W>
BoxView(W*) -> BoxView<W>;
template <typename W>
PolygonView(W*) -> PolygonView<W>;
template <typename W>
WireView(W*) -> WireView<W>;
template <typename W>
CircleView(W*) -> CircleView<W>;
template <typename W>
RingView(W*) -> RingView<W>;
template <typename W>
ArcWireView(W*) -> ArcWireView<W>;
template <typename W>
HeadView(W*) -> HeadView<W>;
template <typename W>
TextView(W*) -> TextView<W>;
template <typename W>
GroupView(W*) -> GroupView<W>;
template <typename W>
ScriptView(W*) -> ScriptView<W>;
template <typename W>
PlacementView(W*) -> PlacementView<W>;
template <typename W>
CallView(W*) -> CallView<W>;
template <typename W>
ArrayView(W*) -> ArrayView<W>;

}  // namespace zandor
