#include "editing/NodeEditing.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/Numbers.h"
#include "editing/SelectionEdits.h"
#include "model/Geometry.h"
#include "model/RecordTransform.h"
#include "model/RecordViews.h"
#include "model/UndoList.h"
#include "platform/Messages.h"

namespace zandor {

namespace {

constexpr const char* kRangeMessage = "The result would lie outside the coordinate range.";
constexpr const char* kCollapseMessage = "The radius would become 0.";
constexpr const char* kFullMessage = "The object cannot hold more nodes.";
constexpr const char* kMemoryMessage = "Not enough memory for this operation.";
constexpr const char* kPolygonMinimumMessage = "A polygon must keep at least 3 nodes.";
constexpr const char* kWireMinimumMessage = "A wire must keep at least 2 nodes.";

// A wire with more nodes than this shows only the edges at its selected
// nodes while they are dragged.
constexpr int kWholeWireRubberNodes = 20;
constexpr int kMaxWireNodes = (kMaxRecordLength - kWireBaseLength) / 2;

bool InRange(std::int64_t v) { return v >= -kNodeCoordinateLimit && v <= kNodeCoordinateLimit; }
bool InRange(double v) {
    return v >= -static_cast<double>(kNodeCoordinateLimit) && v <= static_cast<double>(kNodeCoordinateLimit);
}
bool InRange(const Point64& p) { return InRange(p.x) && InRange(p.y); }
// A centre with a reach around it (a circle's radius, a box's half extents).
bool InRange(double x, double y, double reachX, double reachY) {
    return InRange(x - reachX) && InRange(x + reachX) && InRange(y - reachY) && InRange(y + reachY);
}

Point64 Moved(Point p, std::int32_t dx, std::int32_t dy) { return {std::int64_t{p.X} + dx, std::int64_t{p.Y} + dy}; }
// Only for points already checked to lie in range.
Point Narrow(const Point64& p) { return {static_cast<std::int32_t>(p.x), static_cast<std::int32_t>(p.y)}; }
Point Saturated(const Point64& p) { return {SaturateToInt32(p.x), SaturateToInt32(p.y)}; }
std::int32_t Difference(std::int32_t a, std::int32_t b) { return SaturateToInt32(std::int64_t{a} - b); }

Point Midpoint(Point a, Point b) {
    return {RoundHalfAway((double(a.X) + b.X) / 2), RoundHalfAway((double(a.Y) + b.Y) / 2)};
}
double Distance(const Point64& p, Point c) { return std::hypot(double(p.x) - c.X, double(p.y) - c.Y); }
double Distance(Point p, Point c) { return std::hypot(double(p.X) - c.X, double(p.Y) - c.Y); }
// c + radius in the direction `angle` (radians), rounded.
Point64 AtRadius(Point c, double radius, double angle) {
    return {std::int64_t{RoundHalfAway(c.X + radius * std::cos(angle))},
            std::int64_t{RoundHalfAway(c.Y + radius * std::sin(angle))}};
}
double Direction(const Point64& p, Point c) { return std::atan2(double(p.y) - c.Y, double(p.x) - c.X); }
double Degrees(double radians) { return radians * 180 / kPi; }
double IntoHalfTurn(double degrees) {
    degrees = std::fmod(degrees, 360.0);
    if (degrees > 180) degrees -= 360;
    if (degrees < -180) degrees += 360;
    return degrees;
}
// A length that a record word holds (box sides, ring widths).
bool FitsWord(double v) { return v >= 0 && v < 2147483647.5; }

int NodeCount(const Word* r) {
    switch (RecordKind(r)) {
        case ObjectKind::Rectangle:
        case ObjectKind::Box: return 9;
        case ObjectKind::Polygon: return PolygonView(r).NodeCount();
        case ObjectKind::Wire: return WireView(r).NodeCount();
        case ObjectKind::Circle: return 2;
        case ObjectKind::Ring: return 4;
        case ObjectKind::ArcWire: return 7;
        case ObjectKind::SymbolArray: return 3;
        default: return 0;
    }
}

Point* NodesOf(Word* r) { return RecordKind(r) == ObjectKind::Polygon ? PolygonView(r).Nodes() : WireView(r).Nodes(); }
void RefreshNodeBoundsOf(Word* r) {
    if (RecordKind(r) == ObjectKind::Polygon) {
        PolygonView(r).RefreshNodeBounds();
    } else {
        WireView(r).RefreshNodeBounds();
    }
}

NodeDragOutcome DragRectangle(Word* r, int node, std::int32_t dx, std::int32_t dy) {
    const RectangleView rect(r);
    const Point a = rect.Corner1(), b = rect.Corner2();
    std::int64_t x1 = a.X, y1 = a.Y, x2 = b.X, y2 = b.Y;
    const bool moveX1 = node == 0 || node == 1 || node == 4 || node == 8;
    const bool moveX2 = node == 0 || node == 2 || node == 3 || node == 6;
    const bool moveY1 = node == 0 || node == 1 || node == 2 || node == 5;
    const bool moveY2 = node == 0 || node == 3 || node == 4 || node == 7;
    if (moveX1) x1 += dx;
    if (moveX2) x2 += dx;
    if (moveY1) y1 += dy;
    if (moveY2) y2 += dy;
    if (!InRange(x1) || !InRange(y1) || !InRange(x2) || !InRange(y2)) return NodeDragOutcome::OutsideRange;
    rect.SetCorners(Narrow({x1, y1}), Narrow({x2, y2}));
    return NodeDragOutcome::Applied;
}

NodeDragOutcome DragBox(Word* r, int node, Point from, std::int32_t dx, std::int32_t dy) {
    const BoxView box(r);
    const Point c = box.Centre();
    double length = box.BoxLength(), width = box.BoxWidth();
    double degrees = box.AngleMillidegrees() * 0.001;
    Point64 centre;
    if (node == 0) {
        centre = Moved(c, dx, dy);
    } else {
        // The opposite corner or edge stays: the centre moves half the way.
        centre = Moved(c, dx / 2, dy / 2);
        const Point64 p = Moved(from, dx, dy);
        const double ux = double(p.x) - double(centre.x), uy = double(p.y) - double(centre.y);
        const double rho = std::hypot(ux, uy), phi = std::atan2(uy, ux);
        if (node <= 4) {
            const double a = box.AngleRadians();
            length = std::fabs(2 * rho * std::cos(phi - a));
            width = std::fabs(2 * rho * std::sin(phi - a));
        } else {
            (node == 5 || node == 7 ? length : width) = 2 * rho;
            // The box turns so that the dragged midpoint lies on its axis.
            static constexpr double kTurn[] = {-180, 90, 0, -90};  // nodes 5, 6, 7, 8
            if (rho > 0) degrees = IntoHalfTurn(Degrees(phi) + kTurn[node - 5]);
        }
    }
    if (!FitsWord(length) || !FitsWord(width) || !InRange(centre)) return NodeDragOutcome::OutsideRange;
    const std::int32_t l = RoundHalfAway(length), w = RoundHalfAway(width);
    const double a = degrees * kPi / 180, hl = l / 2.0, hw = w / 2.0;
    const double reachX = std::fabs(hl * std::cos(a)) + std::fabs(hw * std::sin(a));
    const double reachY = std::fabs(hl * std::sin(a)) + std::fabs(hw * std::cos(a));
    if (!InRange(double(centre.x), double(centre.y), reachX, reachY)) return NodeDragOutcome::OutsideRange;
    box.SetCentre(Narrow(centre));
    box.SetSize(l, w);
    box.SetAngleMillidegrees(RoundHalfAway(degrees * 1000));
    return NodeDragOutcome::Applied;
}

NodeDragOutcome DragCircle(Word* r, int node, Point from, std::int32_t dx, std::int32_t dy) {
    const CircleView circle(r);
    Point64 centre{circle.Centre().X, circle.Centre().Y};
    std::int32_t radius = circle.Radius();
    if (node == 0) {
        centre = Moved(circle.Centre(), dx, dy);
    } else {
        radius = RoundHalfAway(Distance(Moved(from, dx, dy), circle.Centre()));
        if (radius < 1) return NodeDragOutcome::Collapsed;
    }
    if (!InRange(double(centre.x), double(centre.y), radius, radius)) return NodeDragOutcome::OutsideRange;
    circle.SetCentre(Narrow(centre));
    circle.SetRadius(radius);
    return NodeDragOutcome::Applied;
}

NodeDragOutcome DragRing(Word* r, int node, Point from, std::int32_t dx, std::int32_t dy) {
    const RingView ring(r);
    const Point c = ring.Centre();
    Point64 centre{c.X, c.Y};
    double radius = ring.Radius(), width = ring.RingWidth();
    if (node == 0) {
        centre = Moved(c, dx, dy);
    } else {
        const double to = RoundHalfAway(Distance(Moved(from, dx, dy), c));
        if (node == 1) {
            radius = to;
        } else {
            // The other edge stays where it is.
            const double inner = node == 2 ? radius - width / 2 : to;
            const double outer = node == 2 ? to : radius + width / 2;
            radius = RoundHalfAway((inner + outer) / 2);
            width = std::fabs(outer - inner);
        }
        if (RoundHalfAway(radius) < 1) return NodeDragOutcome::Collapsed;
    }
    if (!FitsWord(radius) || !FitsWord(width)) return NodeDragOutcome::OutsideRange;
    const std::int32_t newRadius = RoundHalfAway(radius), newWidth = RoundHalfAway(width);
    const double reach = newRadius + newWidth / 2.0;
    if (!InRange(double(centre.x), double(centre.y), reach, reach)) return NodeDragOutcome::OutsideRange;
    ring.SetCentre(Narrow(centre));
    ring.SetRadius(newRadius);
    ring.SetRingWidth(newWidth);
    return NodeDragOutcome::Applied;
}

NodeDragOutcome DragArcWire(Word* r, int node, Point from, std::int32_t dx, std::int32_t dy) {
    const ArcWireView arc(r);
    const Point c = arc.Centre();
    Point64 start{arc.Start().X, arc.Start().Y}, centre{c.X, c.Y}, end{arc.End().X, arc.End().Y};
    double width = arc.Width();
    const double startAngle = ArcStartAngle(r), endAngle = ArcEndAngle(r);
    if (node == 0) {
        start = Moved(arc.Start(), dx, dy);
        centre = Moved(c, dx, dy);
        end = Moved(arc.End(), dx, dy);
    } else {
        const Point64 p = Moved(from, dx, dy);
        if (p == Point64{c.X, c.Y}) return NodeDragOutcome::Unchanged;
        const double to = Distance(p, c);
        if (node == 1 || node == 2) {
            // The other end keeps its angle and takes the new radius.
            (node == 1 ? start : end) = p;
            (node == 1 ? end : start) = AtRadius(c, to, node == 1 ? endAngle : startAngle);
            if (to < width / 2) width = 2 * to;
        } else {
            // A corner of one end: that end turns to the pointer, its inner or
            // outer edge goes through it, and the other edge keeps the radius
            // it has at the other end.
            const bool atStart = node == 3 || node == 4, inner = node == 3 || node == 5;
            const double otherRadius = Distance(atStart ? arc.End() : arc.Start(), c);
            const double innerRadius = inner ? to : otherRadius - width / 2;
            const double outerRadius = inner ? otherRadius + width / 2 : to;
            const double mean = (innerRadius + outerRadius) / 2;
            if (RoundHalfAway(mean) < 1) return NodeDragOutcome::Collapsed;
            const double angle = Direction(p, c);
            start = AtRadius(c, mean, atStart ? angle : startAngle);
            end = AtRadius(c, mean, atStart ? endAngle : angle);
            width = std::fabs(outerRadius - innerRadius);
        }
    }
    if (!(width < kWidthMask + 0.5)) return NodeDragOutcome::OutsideRange;
    const std::int32_t newWidth = RoundHalfAway(width);
    if (!InRange(start) || !InRange(centre) || !InRange(end)) return NodeDragOutcome::OutsideRange;
    const Point s = Narrow(start), e = Narrow(end), m = Narrow(centre);
    const double reach = std::max(Distance(s, m), Distance(e, m)) + newWidth / 2.0;
    if (!InRange(double(m.X), double(m.Y), reach, reach)) return NodeDragOutcome::OutsideRange;
    arc.SetPoints(s, m, e);
    arc.SetWidthWord(static_cast<Word>((static_cast<std::uint32_t>(arc.WidthWord()) & ~kWidthMask) |
                                       static_cast<std::uint32_t>(newWidth)));
    return NodeDragOutcome::Applied;
}

// origin + (length along x, or along y when alongY) turned by `degrees`, as
// RotatePoint turns it.
Point64 TurnedOffset(Point origin, double length, bool alongY, double degrees) {
    const std::int32_t l = RoundHalfAway(length);
    if (std::fabs(length) < 2147483647.0) {
        const Point turned = RotatePoint(alongY ? Point{0, l} : Point{l, 0}, 0, 0, degrees);
        return {std::int64_t{origin.X} + turned.X, std::int64_t{origin.Y} + turned.Y};
    }
    // Too long for a coordinate: the result lies outside the range anyway
    // unless it points back across the origin.
    const double a = (degrees + (alongY ? 90 : 0)) * kPi / 180;
    return AtRadius(origin, length, a);
}

NodeDragOutcome DragArray(Word* r, int node, Point from, std::int32_t dx, std::int32_t dy) {
    const ArrayView array(r);
    const Point o = array.Origin();
    Point64 origin{o.X, o.Y}, columnEnd{array.ColumnEnd().X, array.ColumnEnd().Y},
        rowEnd{array.RowEnd().X, array.RowEnd().Y};
    double degrees = array.AngleDegrees();
    const bool mirrored = array.Magnification() < 0;
    if (node == 0) {
        origin = Moved(o, dx, dy);
        columnEnd = Moved(array.ColumnEnd(), dx, dy);
        rowEnd = Moved(array.RowEnd(), dx, dy);
    } else {
        const Point64 p = Moved(from, dx, dy);
        (node == 1 ? columnEnd : rowEnd) = p;
        if (p != origin) {
            // The elements turn with the dragged vector, and the other one is
            // rebuilt perpendicular to it at its old length.
            const double direction = Degrees(Direction(p, o));
            if (node == 1) {
                degrees = IntoHalfTurn(direction);
                rowEnd = TurnedOffset(o, (mirrored ? -1 : 1) * Distance(array.RowEnd(), o), true, degrees);
            } else {
                degrees = IntoHalfTurn(direction + (mirrored ? 90 : -90));
                columnEnd = TurnedOffset(o, Distance(array.ColumnEnd(), o), false, degrees);
            }
        }
    }
    if (!InRange(origin) || !InRange(columnEnd) || !InRange(rowEnd)) return NodeDragOutcome::OutsideRange;
    array.SetLattice(Narrow(origin), Narrow(columnEnd), Narrow(rowEnd));
    array.SetAngleDegrees(degrees);
    if (node == 0) {
        // Drawing and the selection refresh the extent from the called
        // symbol; until then it moves along.
        const Rect e = array.CachedExtent();
        array.SetCachedExtent({SaturateToInt32(std::int64_t{e.minx} + dx), SaturateToInt32(std::int64_t{e.miny} + dy),
                               SaturateToInt32(std::int64_t{e.maxx} + dx), SaturateToInt32(std::int64_t{e.maxy} + dy)});
    }
    return NodeDragOutcome::Applied;
}

NodeDragOutcome DragVertex(Word* r, int node, std::int32_t dx, std::int32_t dy) {
    Point* nodes = NodesOf(r);
    const Point64 p = Moved(nodes[node], dx, dy);
    if (!InRange(p)) return NodeDragOutcome::OutsideRange;
    nodes[node] = Narrow(p);
    RefreshNodeBoundsOf(r);
    return NodeDragOutcome::Applied;
}

// Shows why a node edit was refused; false when it was.
bool Accept(NodeDragOutcome outcome) {
    switch (outcome) {
        case NodeDragOutcome::Applied: return true;
        case NodeDragOutcome::Unchanged: return false;
        case NodeDragOutcome::OutsideRange: platform::ShowError(kRangeMessage); return false;
        case NodeDragOutcome::Collapsed: platform::ShowError(kCollapseMessage); return false;
    }
    return false;
}

// The node list still describes the current object (it may not after an
// undo the view has not followed yet).
bool ListMatches(const NodeList& list, const Word* current) {
    if (!current || static_cast<int>(list.nodes.size()) != NodeCount(current)) return false;
    const int n = static_cast<int>(list.nodes.size());
    return std::all_of(list.selected.begin(), list.selected.end(), [n](int i) { return i >= 0 && i < n; });
}

// What moving the selected nodes would give, worked out on a copy.
NodeDragOutcome TryMove(SymbolDescription& symbol, std::int32_t dx, std::int32_t dy) {
    const Word* current = symbol.CurrentObject();
    const NodeList& list = symbol.view.nodeList;
    if (!current || list.selected.empty() || !ListMatches(list, current)) return NodeDragOutcome::Unchanged;
    std::vector<Word> copy(current, current + RecordLength(current));
    if (NodesMoveSeparately(RecordKind(current))) {
        for (int i : list.selected) {
            const NodeDragOutcome outcome = DragVertex(copy.data(), i, dx, dy);
            if (outcome != NodeDragOutcome::Applied) return outcome;
        }
        return NodeDragOutcome::Applied;
    }
    const int node = list.selected.front();
    return NodeDragRule(copy.data(), node, list.nodes[static_cast<std::size_t>(node)], dx, dy);
}

}  // namespace

std::vector<Point> BuildNodeList(const Word* r) {
    switch (RecordKind(r)) {
        case ObjectKind::Rectangle: {
            const RectangleView rect(r);
            const Point a = rect.Corner1(), c = rect.Corner2(), b{c.X, a.Y}, d{a.X, c.Y};
            return {Midpoint(a, c), a, b, c, d, Midpoint(a, b), Midpoint(b, c), Midpoint(c, d), Midpoint(d, a)};
        }
        case ObjectKind::Box: {
            const BoxView box(r);
            const std::vector<Point> k = box.Corners();
            return {box.Centre(),
                    k[0],
                    k[1],
                    k[2],
                    k[3],
                    Midpoint(k[0], k[1]),
                    Midpoint(k[1], k[2]),
                    Midpoint(k[2], k[3]),
                    Midpoint(k[3], k[0])};
        }
        case ObjectKind::Polygon: {
            const PolygonView polygon(r);
            return {polygon.Nodes(), polygon.Nodes() + std::max(polygon.NodeCount(), 0)};
        }
        case ObjectKind::Wire: {
            const WireView wire(r);
            return {wire.Nodes(), wire.Nodes() + std::max(wire.NodeCount(), 0)};
        }
        case ObjectKind::Circle: {
            const CircleView circle(r);
            const Point c = circle.Centre();
            return {c, Saturated({c.X, std::int64_t{c.Y} + circle.Radius()})};
        }
        case ObjectKind::Ring: {
            const RingView ring(r);
            const Point c = ring.Centre();
            const std::int64_t top = std::int64_t{c.Y} + ring.Radius(), half = RoundHalfAway(ring.RingWidth() / 2.0);
            return {c, Saturated({c.X, top}), Saturated({c.X, top + half}), Saturated({c.X, top - half})};
        }
        case ObjectKind::ArcWire: {
            const ArcWireView arc(r);
            const Point c = arc.Centre();
            const double half = arc.Width() / 2.0;
            const double startRadius = Distance(arc.Start(), c), endRadius = Distance(arc.End(), c);
            const double startAngle = ArcStartAngle(r), endAngle = ArcEndAngle(r);
            return {c,
                    arc.Start(),
                    arc.End(),
                    Saturated(AtRadius(c, startRadius - half, startAngle)),
                    Saturated(AtRadius(c, startRadius + half, startAngle)),
                    Saturated(AtRadius(c, endRadius - half, endAngle)),
                    Saturated(AtRadius(c, endRadius + half, endAngle))};
        }
        case ObjectKind::SymbolArray: {
            const ArrayView array(r);
            return {array.Origin(), array.ColumnEnd(), array.RowEnd()};
        }
        default: return {};
    }
}

bool NodesMoveSeparately(ObjectKind kind) { return kind == ObjectKind::Polygon || kind == ObjectKind::Wire; }

void ResetNodeList(SymbolDescription& symbol) {
    NodeList& list = symbol.view.nodeList;
    list.Clear();
    if (const Word* current = symbol.CurrentObject()) list.nodes = BuildNodeList(current);
}

NodeDragOutcome NodeDragRule(Word* record, int node, Point from, std::int32_t dx, std::int32_t dy) {
    if ((dx == 0 && dy == 0) || node < 0 || node >= NodeCount(record)) return NodeDragOutcome::Unchanged;
    switch (RecordKind(record)) {
        case ObjectKind::Rectangle: return DragRectangle(record, node, dx, dy);
        case ObjectKind::Box: return DragBox(record, node, from, dx, dy);
        case ObjectKind::Polygon:
        case ObjectKind::Wire: return DragVertex(record, node, dx, dy);
        case ObjectKind::Circle: return DragCircle(record, node, from, dx, dy);
        case ObjectKind::Ring: return DragRing(record, node, from, dx, dy);
        case ObjectKind::ArcWire: return DragArcWire(record, node, from, dx, dy);
        case ObjectKind::SymbolArray: return DragArray(record, node, from, dx, dy);
        default: return NodeDragOutcome::Unchanged;
    }
}

NodeDragOutcome NodeDragRule(Word* record, int node, std::int32_t dx, std::int32_t dy) {
    const std::vector<Point> nodes = BuildNodeList(record);
    if (node < 0 || node >= static_cast<int>(nodes.size())) return NodeDragOutcome::Unchanged;
    return NodeDragRule(record, node, nodes[static_cast<std::size_t>(node)], dx, dy);
}

int PressOnNodes(SymbolDescription& symbol, Point p, double sx, bool shift) {
    NodeList& list = symbol.view.nodeList;
    const Word* current = symbol.CurrentObject();
    if (!current) return -1;
    if (!list.selected.empty() && shift) return -1;
    const int n = FindNodeAt(list.nodes, p.X, p.Y, sx);
    if (n < 0) {
        list.selected.clear();
        return -1;
    }
    if (!list.IsSelected(n)) {
        if (!NodesMoveSeparately(RecordKind(current))) {
            // A handle left where a drag released it goes back to its place,
            // except the one pressed now.
            const Point keep = list.nodes[static_cast<std::size_t>(n)];
            list.nodes = BuildNodeList(current);
            if (n < static_cast<int>(list.nodes.size())) list.nodes[static_cast<std::size_t>(n)] = keep;
        }
        list.SelectOnly(n);
    }
    return n;
}

NodeDrag StartNodeDrag(SymbolDescription& symbol, int node) {
    NodeDrag drag;
    const NodeList& list = symbol.view.nodeList;
    const Word* current = symbol.CurrentObject();
    if (!current || node < 0 || node >= static_cast<int>(list.nodes.size())) return drag;
    drag.node = node;
    drag.anchor = list.nodes[static_cast<std::size_t>(node)];
    if (!NodesMoveSeparately(RecordKind(current))) drag.scratch.assign(current, current + RecordLength(current));
    return drag;
}

void DragNodeTo(NodeDrag& drag, Point pointer, bool shift, bool ctrl, const PointerSnapper& snapper) {
    drag.shift = shift;
    drag.ctrl = ctrl;
    Point d;
    if (shift) {
        d = snapper.SnapVector({Difference(pointer.X, drag.anchor.X), Difference(pointer.Y, drag.anchor.Y)});
    } else {
        const Point snapped = snapper.SnapPoint(pointer);
        d = {Difference(snapped.X, drag.anchor.X), Difference(snapped.Y, drag.anchor.Y)};
    }
    drag.dx = d.X;
    drag.dy = d.Y;
}

std::string NodeDragStatusText(const NodeDrag& drag) {
    std::string text = "Moving node, dx: " + FormatNumber(drag.dx * 0.001) + ", dy: " + FormatNumber(drag.dy * 0.001);
    if (drag.leaveOriginal) text += ", Leave original";
    return text;
}

NodeRubber NodeRubberShape(const SymbolDescription& symbol, const NodeDrag& drag) {
    NodeRubber rubber;
    if (symbol.currentObject < 0 || drag.node < 0) return rubber;
    const Word* current = symbol.Words() + symbol.currentObject;
    const NodeList& list = symbol.view.nodeList;
    const ObjectKind kind = RecordKind(current);
    if (NodesMoveSeparately(kind)) {
        if (!ListMatches(list, current)) return rubber;
        const int n = NodeCount(current);
        const Point* nodes = kind == ObjectKind::Polygon ? PolygonView(current).Nodes() : WireView(current).Nodes();
        std::vector<bool> selected(static_cast<std::size_t>(n), false);
        for (int i : list.selected) selected[static_cast<std::size_t>(i)] = true;
        const auto at = [&](int i) {
            return selected[static_cast<std::size_t>(i)] ? Saturated(Moved(nodes[i], drag.dx, drag.dy)) : nodes[i];
        };
        if (kind == ObjectKind::Wire && n <= kWholeWireRubberNodes) {
            rubber.record.assign(current, current + RecordLength(current));
            Point* moved = WireView(rubber.record.data()).Nodes();
            for (int i = 0; i < n; ++i) moved[i] = at(i);
            WireView(rubber.record.data()).RefreshNodeBounds();
            return rubber;
        }
        const bool closed = kind == ObjectKind::Polygon;
        std::vector<int> order = list.selected;
        std::sort(order.begin(), order.end());
        for (int i : order) {
            std::vector<Point> line;
            const int previous = i > 0 ? i - 1 : closed ? n - 1 : -1;
            const int next = i + 1 < n ? i + 1 : closed ? 0 : -1;
            if (previous >= 0 && previous != i) line.push_back(at(previous));
            line.push_back(at(i));
            if (next >= 0 && next != i && !selected[static_cast<std::size_t>(next)]) line.push_back(at(next));
            if (line.size() >= 2) rubber.lines.push_back(std::move(line));
        }
        return rubber;
    }
    std::vector<Word> shape =
        drag.scratch.empty() ? std::vector<Word>(current, current + RecordLength(current)) : drag.scratch;
    // A refused displacement shows the object as it is.
    NodeDragRule(shape.data(), drag.node, drag.anchor, drag.dx, drag.dy);
    if (RecordKind(shape.data()) == ObjectKind::SymbolArray) {
        const ArrayView array(shape.data());
        const Point o = array.Origin(), c = array.ColumnEnd(), r = array.RowEnd();
        const Point far = Saturated({std::int64_t{c.X} + r.X - o.X, std::int64_t{c.Y} + r.Y - o.Y});
        rubber.lines.push_back({o, c, far, r, o});
        return rubber;
    }
    rubber.record = std::move(shape);
    return rubber;
}

NodeEdit MoveSelectedNodes(SymbolDescription& symbol, std::int32_t dx, std::int32_t dy) {
    if (dx == 0 && dy == 0) return {};
    if (!Accept(TryMove(symbol, dx, dy))) return {};
    Word* current = symbol.CurrentObject();
    NodeList& list = symbol.view.nodeList;
    Layout* layout = symbol.OwnerLayout();
    NodeEdit edit;
    edit.before = ObjectBounds(current, layout);
    if (NodesMoveSeparately(RecordKind(current))) {
        symbol.Undo().RecordModified(symbol.OffsetOf(current), current);
        Point* nodes = NodesOf(current);
        for (int i : list.selected) {
            nodes[i] = Narrow(Moved(nodes[i], dx, dy));
            list.nodes[static_cast<std::size_t>(i)] = nodes[i];
        }
        RefreshNodeBoundsOf(current);
    } else {
        const int node = list.selected.front();
        const Point from = list.nodes[static_cast<std::size_t>(node)];
        std::vector<Word> copy(current, current + RecordLength(current));
        NodeDragRule(copy.data(), node, from, dx, dy);
        current = symbol.ReplaceRecord(current, copy.data());
        list.nodes = BuildNodeList(current);
        const ObjectKind kind = RecordKind(current);
        if (kind == ObjectKind::Circle || kind == ObjectKind::Ring) {
            list.nodes[static_cast<std::size_t>(node)] = Saturated(Moved(from, dx, dy));
        }
    }
    symbol.RecomputeBounds();
    symbol.UpdateSelection();
    // A current object that was not marked selected is no longer current.
    if (Word* after = symbol.CurrentObject()) edit.after = ObjectBounds(after, layout);
    edit.changed = true;
    return edit;
}

NodeEdit FinishNodeDrag(SymbolDescription& symbol, std::int32_t dx, std::int32_t dy, bool leaveOriginal) {
    if (dx == 0 && dy == 0) return {};
    if (!leaveOriginal) return MoveSelectedNodes(symbol, dx, dy);
    // A refused move must not leave a copy behind.
    if (!Accept(TryMove(symbol, dx, dy))) return {};
    Word* current = symbol.CurrentObject();
    const std::int32_t original = symbol.OffsetOf(current);
    // Only the object being reshaped is copied, also when the selection
    // holds more.
    for (Word* r = symbol.FirstSelected(); r; r = symbol.NextSelected(r)) {
        if (r != current) symbol.ClearSelected(r);
    }
    symbol.SetSelected(current);
    symbol.SelectSingle(current);
    const NodeList kept = symbol.view.nodeList;
    CopySelectionInPlace(symbol);
    if (symbol.currentObject < 0 || symbol.currentObject == original) return {};  // no copy was made
    symbol.view.nodeList = kept;
    return MoveSelectedNodes(symbol, dx, dy);
}

Word* PickNodeObject(SymbolDescription& symbol, Point p, SelectFilter filter) {
    symbol.DeselectAll();
    Word* found = PickCurrent(symbol, p.X, p.Y, filter);
    symbol.SelectSingle(found);
    ResetNodeList(symbol);
    return found;
}

bool ToggleNodeAt(SymbolDescription& symbol, Point p, double sx) {
    const Word* current = symbol.CurrentObject();
    if (!current || !NodesMoveSeparately(RecordKind(current))) return false;
    NodeList& list = symbol.view.nodeList;
    const int n = FindNodeAt(list.nodes, p.X, p.Y, sx);
    if (n < 0) return false;
    list.Toggle(n);
    return true;
}

bool SelectNodesInRect(SymbolDescription& symbol, const Rect& r) {
    const Word* current = symbol.CurrentObject();
    if (!current) return false;
    NodeList& list = symbol.view.nodeList;
    const Rect band{std::min(r.minx, r.maxx), std::min(r.miny, r.maxy), std::max(r.minx, r.maxx),
                    std::max(r.miny, r.maxy)};
    const std::vector<int> before = list.selected;
    for (int i = 0; i < static_cast<int>(list.nodes.size()); ++i) {
        const Point p = list.nodes[static_cast<std::size_t>(i)];
        const bool inside = p.X >= band.minx && p.X <= band.maxx && p.Y >= band.miny && p.Y <= band.maxy;
        if (inside && !list.IsSelected(i)) list.selected.push_back(i);
    }
    // Handles reshape one at a time: the one selected first stays.
    if (!NodesMoveSeparately(RecordKind(current)) && list.selected.size() > 1)
        list.selected.erase(list.selected.begin() + 1, list.selected.end());
    return list.selected != before;
}

bool InsertNodeAfter(SymbolDescription& symbol, int index) {
    Word* current = symbol.CurrentObject();
    if (!current || !NodesMoveSeparately(RecordKind(current))) return false;
    const bool polygon = RecordKind(current) == ObjectKind::Polygon;
    const int n = NodeCount(current);
    if (index < 0 || index >= n || (!polygon && n < 2)) return false;
    if (n >= (polygon ? kMaxPolygonNodes : kMaxWireNodes)) {
        platform::ShowError(kFullMessage);
        return false;
    }
    const Point* nodes = NodesOf(current);
    int from = index, to = index + 1;
    if (to == n) {
        if (polygon) {
            to = 0;
        } else {
            // A wire's last node has no edge after it: the vertex goes into
            // the edge before it.
            from = n - 2;
            to = n - 1;
        }
    }
    const int at = from + 1;  // the new vertex's index
    const int first = polygon ? kPolygonBaseLength : kWireBaseLength;
    const int length = RecordLength(current) + 2;
    std::vector<Word> words(current, current + first + 2 * at);
    const Point mid = Midpoint(nodes[from], nodes[to]);
    words.push_back(mid.X);
    words.push_back(mid.Y);
    words.insert(words.end(), current + first + 2 * at, current + RecordLength(current));
    SetRecordLength(words.data(), length);
    RefreshNodeBoundsOf(words.data());
    current = symbol.ReplaceRecord(current, words.data());
    if (!current) {
        platform::ShowError(kMemoryMessage);
        return false;
    }
    symbol.view.nodeList.nodes = BuildNodeList(current);
    symbol.view.nodeList.SelectOnly(at);
    return true;
}

bool DeleteSelectedNodes(SymbolDescription& symbol) {
    Word* current = symbol.CurrentObject();
    NodeList& list = symbol.view.nodeList;
    if (!current || !NodesMoveSeparately(RecordKind(current)) || list.selected.empty()) return false;
    if (!ListMatches(list, current)) return false;
    const bool polygon = RecordKind(current) == ObjectKind::Polygon;
    const int n = NodeCount(current);
    std::vector<bool> gone(static_cast<std::size_t>(n), false);
    for (int i : list.selected) gone[static_cast<std::size_t>(i)] = true;
    const int left = static_cast<int>(std::count(gone.begin(), gone.end(), false));
    if (left < (polygon ? 3 : 2)) {
        platform::ShowError(polygon ? kPolygonMinimumMessage : kWireMinimumMessage);
        return false;
    }
    const int first = polygon ? kPolygonBaseLength : kWireBaseLength;
    std::vector<Word> words(current, current + first);
    const Point* nodes = NodesOf(current);
    for (int i = 0; i < n; ++i) {
        if (gone[static_cast<std::size_t>(i)]) continue;
        words.push_back(nodes[i].X);
        words.push_back(nodes[i].Y);
    }
    SetRecordLength(words.data(), static_cast<int>(words.size()));
    RefreshNodeBoundsOf(words.data());
    current = symbol.ReplaceRecord(current, words.data());
    if (!current) {
        platform::ShowError(kMemoryMessage);
        return false;
    }
    symbol.RecomputeBounds();
    symbol.UpdateSelection();
    ResetNodeList(symbol);
    return true;
}

}  // namespace zandor
