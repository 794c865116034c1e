#include "editing/ObjectPolygons.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

#include "geometry/PolygonSplit.h"
#include "model/Geometry.h"
#include "model/HierarchyWalker.h"
#include "model/ModelSettings.h"
#include "model/RecordViews.h"
#include "model/UndoList.h"
#include "platform/Messages.h"

namespace zandor {

namespace {

// Joints and round ends of wires are always 32-point circles, whatever the
// circle setting, so that a wire's outline does not change with it.
constexpr int kWireJointPoints = 32;

void MapPoints(std::vector<Point>& points, const TransformMatrix& t) {
    if (t == TransformMatrix{}) return;
    TransformPoints(points.data(), static_cast<int>(points.size()), t);
}

Point MapPoint(Point p, const TransformMatrix& t) {
    TransformPoints(&p, 1, t);
    return p;
}

void AddContour(Bool_Engine& engine, const std::vector<Point>& points, GroupType group) {
    if (points.empty() || !engine.BeginContour(group)) return;
    for (const Point& p : points) engine.AddVertex(p.X, p.Y);
    engine.EndContour();
}

// A segment rectangle per pair of nodes, with circles at the inner joints and,
// for round ends, at both ends.  The width is carried through t so that
// magnified calls widen their wires.
void FeedWire(Bool_Engine& engine, const Word* record, const TransformMatrix& t, GroupType group) {
    const WireView wire(record);
    const int n = wire.NodeCount();
    if (n < 2) return;
    const std::int32_t width = wire.Width();
    const std::int32_t mappedWidth =
        t == TransformMatrix{} ? width : RoundHalfAway(std::hypot(t.c * width, t.d * width));
    const std::int32_t half = mappedWidth / 2;
    const int style = wire.EndStyle();
    const bool round = style == static_cast<int>(EndStyle::Round);
    const bool extended = style == static_cast<int>(EndStyle::Extended);
    for (int k = 0; k + 1 < n; ++k) {
        Point a = wire.Node(k), b = wire.Node(k + 1);
        // The ends are pushed out before t, by the wire's own half width, so
        // that t scales the extension with the rest of the wire.
        if (extended && k == 0) ExtendEndPoint(a, b, width / 2);
        if (extended && k + 2 == n) ExtendEndPoint(b, a, width / 2);
        a = MapPoint(a, t);
        b = MapPoint(b, t);
        if (half > 0 && (round || k > 0)) AddContour(engine, CirclePolygon(a, half, kWireJointPoints), group);
        if (mappedWidth > 0) AddContour(engine, SegmentRectangle(a, b, mappedWidth), group);
    }
    if (round && half > 0) {
        AddContour(engine, CirclePolygon(MapPoint(wire.Node(n - 1), t), half, kWireJointPoints), group);
    }
}

}  // namespace

bool PlainOutline(const Word* r, std::vector<Point>& points) {
    switch (RecordKind(r)) {
        case ObjectKind::Rectangle: {
            const RectangleView rect(r);
            const Point a = rect.Corner1(), b = rect.Corner2();
            points = {a, {b.X, a.Y}, b, {a.X, b.Y}};
            return true;
        }
        case ObjectKind::Box: points = BoxView(r).Corners(); return true;
        case ObjectKind::Polygon: {
            const PolygonView polygon(r);
            points.assign(polygon.Nodes(), polygon.Nodes() + polygon.NodeCount());
            return true;
        }
        default: return false;
    }
}

namespace {

// Kinds 1 to 7; everything else feeds nothing here.
void FeedShape(Bool_Engine& engine, const Word* r, const TransformMatrix& t, GroupType group) {
    std::vector<Point> points;
    if (PlainOutline(r, points)) {
        MapPoints(points, t);
        AddContour(engine, points, group);
        return;
    }
    switch (RecordKind(r)) {
        case ObjectKind::Wire: FeedWire(engine, r, t, group); return;
        case ObjectKind::Circle: {
            const CircleView circle(r);
            points = CirclePolygon(circle.Centre(), circle.Radius(), Settings().circleNumSegments);
            break;
        }
        case ObjectKind::Ring: {
            const RingView ring(r);
            points = RingPolygon(ring.Centre(), ring.Radius(), ring.RingWidth(), 2 * Settings().ringNumSegments + 2);
            break;
        }
        case ObjectKind::ArcWire:
            points = ArcWireOutline(r, Settings().ringNumSegments);
            if (!points.empty()) points.push_back(points.front());
            break;
        default: return;
    }
    MapPoints(points, t);
    AddContour(engine, points, group);
}

// Everything a called symbol holds.  Heads feed nothing themselves: their
// members are records of the same list and come along one by one.
struct ContentFeeder : WalkVisitor {
    ContentFeeder(Bool_Engine& engine, GroupType group) : engine(engine), group(group) {}
    void Object(const Word* r, const TransformMatrix& t, int) { FeedShape(engine, r, t, group); }
    Bool_Engine& engine;
    GroupType group;
};

void FeedPlacement(Bool_Engine& engine, const Layout& layout, const Word* r, const TransformMatrix& t,
                   GroupType group) {
    const SymbolDescription* called = layout.FindSymbol(PlacementView(r).SymbolId());
    if (!called) return;
    ContentFeeder feeder(engine, group);
    HierarchyWalker walker(layout);
    if (RecordKind(r) == ObjectKind::SymbolCall) {
        walker.Walk(*called, ComposeTransform(CallView(r).Matrix(), t), feeder);
        return;
    }
    const ArrayView array(r);
    if (array.Magnification() == 0) return;
    for (int i = 0; i < array.Columns(); ++i) {
        for (int j = 0; j < array.Rows(); ++j) walker.Walk(*called, ComposeTransform(array.Element(i, j), t), feeder);
    }
}

void FeedSingle(Bool_Engine& engine, const Layout& layout, const Word* r, const TransformMatrix& t, GroupType group) {
    if (IsCallKind(RecordKind(r))) {
        FeedPlacement(engine, layout, r, t, group);
    } else {
        FeedShape(engine, r, t, group);
    }
}

const char kConversionError[] = "Unexpected error during object to polygon conversion";

// The union of a wire's pieces: the first result contour, or nothing.
std::vector<Point> WireOutline(const Word* record) {
    Bool_Engine engine;
    ConfigureBooleanEngine(engine, Settings().polygonGrid);
    FeedWire(engine, record, TransformMatrix{}, GroupA);
    engine.Execute(OpOr);
    std::vector<Point> outline;
    if (engine.NextResultContour()) {
        while (engine.NextResultVertex()) {
            outline.push_back({RoundHalfAway(engine.VertexX()), RoundHalfAway(engine.VertexY())});
        }
    }
    return outline;
}

Rect AroundCentre(Point centre, std::int64_t reach) {
    return {SaturateToInt32(centre.X - reach), SaturateToInt32(centre.Y - reach), SaturateToInt32(centre.X + reach),
            SaturateToInt32(centre.Y + reach)};
}

}  // namespace

void FeedObject(Bool_Engine& engine, const Layout& layout, const SymbolDescription& symbol, const Word* record,
                const TransformMatrix& t, GroupType group) {
    if (!IsHead(record)) {
        FeedSingle(engine, layout, record, t, group);
        return;
    }
    // Nested heads are counted among the members and their own members follow
    // them, so every member that is not a head is fed exactly once.
    const Word* r = record;
    for (int k = 0, count = MemberCount(record); k < count; ++k) {
        r = symbol.NextRecord(r);
        if (!r || !IsMember(r)) break;
        if (!IsHead(r)) FeedSingle(engine, layout, r, t, group);
    }
}

bool ConvertToPolygon(SymbolDescription& symbol, Word*& record) {
    std::vector<Point> nodes;
    std::optional<Rect> box;  // else the box of the nodes
    switch (RecordKind(record)) {
        case ObjectKind::Rectangle: {
            const RectangleView rect(record);
            const Point a = rect.Corner1(), b = rect.Corner2();
            nodes = {a, {b.X, a.Y}, b, {a.X, b.Y}};
            break;
        }
        case ObjectKind::Box: nodes = BoxView(record).Corners(); break;
        case ObjectKind::Circle: {
            const CircleView circle(record);
            nodes = CirclePolygon(circle.Centre(), circle.Radius(), Settings().circleNumSegments);
            box = AroundCentre(circle.Centre(), circle.Radius());
            break;
        }
        case ObjectKind::Ring: {
            const RingView ring(record);
            nodes = RingPolygon(ring.Centre(), ring.Radius(), ring.RingWidth(), 2 * Settings().ringNumSegments + 2);
            box = AroundCentre(ring.Centre(), ring.OuterReach());
            break;
        }
        case ObjectKind::ArcWire: nodes = ArcWireOutline(record, Settings().ringNumSegments); break;
        case ObjectKind::Wire:
            if (WireView(record).Width() == 0) return true;
            try {
                nodes = WireOutline(record);
            } catch (const Bool_Engine_Error&) {
                platform::ShowError(kConversionError);
                return false;
            }
            break;
        default: return true;
    }
    if (nodes.empty()) return true;
    if (nodes.size() > static_cast<std::size_t>(kMaxPolygonNodes)) {
        platform::ShowError(kConversionError);
        return false;
    }
    const int n = static_cast<int>(nodes.size());
    const int length = kPolygonBaseLength + 2 * n;
    const std::uint32_t keep = HeaderBits(record) & (kMemberBit | kSelectedBit);
    const int layer = RecordLayer(record);
    const std::int32_t offset = symbol.OffsetOf(record);
    symbol.Undo().RecordModified(offset, record);
    Word* r = symbol.ResizeRecord(record, length);
    if (!r) {
        platform::ShowError(kConversionError);
        return false;
    }
    SetHeaderBits(r, static_cast<std::uint32_t>(MakeHeader(length, layer, ObjectKind::Polygon)) | keep);
    const PolygonView polygon(r);
    std::copy(nodes.begin(), nodes.end(), polygon.Nodes());
    polygon.SetNodeBounds(box ? *box : PointsBounds(nodes.data(), n));
    record = r;
    return true;
}

std::vector<std::vector<Point>> ReadResultPolygons(Bool_Engine& engine) {
    PolygonStoreOptions options;
    options.polygonGrid = Settings().polygonGrid;
    options.maxPolyNodes = Settings().maxPolyNodes;
    options.splitLargePolygons = Settings().splitLargePolygons;
    std::vector<std::vector<Point>> polygons;
    StoreResultContours(engine, options, [&](const std::vector<Point>& p) { polygons.push_back(p); });
    return polygons;
}

void AppendPolygons(SymbolDescription& symbol, const std::vector<std::vector<Point>>& polygons, int layer,
                    bool member) {
    for (const std::vector<Point>& polygon : polygons) {
        Word* r = symbol.AddPolygon(polygon.data(), static_cast<int>(polygon.size()), layer);
        if (!r) continue;
        SetMemberBit(r, member);
        SetSelectedBit(r, !member);
    }
}

void StoreResults(Bool_Engine& engine, SymbolDescription& symbol, int layer, bool member) {
    AppendPolygons(symbol, ReadResultPolygons(engine), layer, member);
}

}  // namespace zandor
