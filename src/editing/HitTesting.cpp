#include "editing/HitTesting.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "model/Geometry.h"
#include "model/LayerDescription.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "model/RecordViews.h"
#include "model/SymbolDescription.h"

namespace zandor {

namespace {

bool In(const Rect& r, std::int64_t x, std::int64_t y) {
    return x >= r.minx && x <= r.maxx && y >= r.miny && y <= r.maxy;
}
bool In(const Rect& r, Point p) { return In(r, p.X, p.Y); }
bool Inside(const Rect& r, const Rect& box) {
    return box.minx >= r.minx && box.maxx <= r.maxx && box.miny >= r.miny && box.maxy <= r.maxy;
}
bool Overlaps(const Rect& r, std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2) {
    return x2 >= r.minx && x1 <= r.maxx && y2 >= r.miny && y1 <= r.maxy;
}
bool IsGroupLike(ObjectKind k) {
    return k == ObjectKind::Group || k == ObjectKind::SymbolCall || k == ObjectKind::SymbolArray;
}

// Distances from a centre to the nearest and the farthest corner of r, per
// axis from the smaller and larger squared differences.
void CornerDistances(const Rect& r, double cx, double cy, std::int64_t& dmin, std::int64_t& dmax) {
    const double ax = (r.minx - cx) * (r.minx - cx), bx = (r.maxx - cx) * (r.maxx - cx);
    const double ay = (r.miny - cy) * (r.miny - cy), by = (r.maxy - cy) * (r.maxy - cy);
    dmin = RoundHalfAway(std::sqrt(std::min(ax, bx) + std::min(ay, by)));
    dmax = RoundHalfAway(std::sqrt(std::max(ax, bx) + std::max(ay, by)));
}

// A layer objects may be found on: defined, visible, not locked.
bool Selectable(const Layout* layout, int layer) {
    const LayerDescription* d = layout ? layout->Layer(layer) : nullptr;
    return d && d->visible && !d->locked;
}

bool PassesFilter(const Word* r, SelectFilter filter) {
    if ((filter & 0xF000) == 0) return true;
    if (IsGroupLike(RecordKind(r))) return (filter & kLockSymbolsBit) == 0;
    return (filter & kSingleLayerBit) == 0 || RecordLayer(r) == (filter & 0xFF);
}

bool PointsHit(const Point* p, int n, const Rect& r, bool enclosed) {
    if (enclosed) {
        for (int i = 0; i < n; ++i)
            if (!In(r, p[i])) return false;
        return n > 0;
    }
    for (int i = 0; i < n; ++i)
        if (In(r, p[i])) return true;
    return false;
}

class Tester {
public:
    Tester(SymbolDescription& s) : symbol(s), layout(s.OwnerLayout()) {}

    // The per-kind test of a record that is not a member and passes the
    // layer check.
    bool Hits(Word* r, const Rect& rect, bool enclosed) {
        if (IsMember(r)) return false;
        return Geometry(r, rect, enclosed);
    }

private:
    bool LayerOk(const Word* r) const { return IsGroupLike(RecordKind(r)) || Selectable(layout, RecordLayer(r)); }

    bool Geometry(Word* r, const Rect& R, bool enclosed) {
        const ObjectKind kind = RecordKind(r);
        if (!LayerOk(r)) return false;
        switch (kind) {
            case ObjectKind::Rectangle: {
                const RectangleView rect(r);
                const Point a = rect.Corner1(), b = rect.Corner2();
                if (enclosed) return In(R, a) && In(R, b);
                const bool x = (a.X >= R.minx && a.X <= R.maxx) || (b.X >= R.minx && b.X <= R.maxx);
                const bool y = (a.Y >= R.miny && a.Y <= R.maxy) || (b.Y >= R.miny && b.Y <= R.maxy);
                return x && y;
            }
            case ObjectKind::Box: {
                const Rect extent = ObjectBounds(r, layout);
                if (enclosed) return Inside(R, extent);
                if (!Overlaps(R, extent.minx, extent.miny, extent.maxx, extent.maxy)) return false;
                const std::vector<Point> corners = BoxView(r).Corners();
                return PointsHit(corners.data(), 4, R, false);
            }
            case ObjectKind::Polygon:
            case ObjectKind::Wire: {
                const bool polygon = kind == ObjectKind::Polygon;
                const int n = polygon ? PolygonView(r).NodeCount() : WireView(r).NodeCount();
                const Point* p = polygon ? PolygonView(r).Nodes() : WireView(r).Nodes();
                const Rect nodes = PolygonView(r).NodeBounds();  // w1..w4 for both kinds
                if (!enclosed && !Overlaps(R, nodes.minx, nodes.miny, nodes.maxx, nodes.maxy)) return false;
                return PointsHit(p, n, R, enclosed);
            }
            case ObjectKind::Circle:
            case ObjectKind::Ring: {
                const RingView circle(r);  // a circle reads the words it shares with a ring
                const std::int64_t cx = circle.Centre().X, cy = circle.Centre().Y, radius = circle.Radius();
                const std::int64_t reach = kind == ObjectKind::Circle ? radius : radius + circle.RingWidth();
                if (enclosed)
                    return Inside(R, {SaturateToInt32(cx - reach), SaturateToInt32(cy - reach),
                                      SaturateToInt32(cx + reach), SaturateToInt32(cy + reach)});
                if (!Overlaps(R, cx - reach, cy - reach, cx + reach, cy + reach)) return false;
                if (In(R, cx, cy)) return true;
                std::int64_t dmin, dmax;
                CornerDistances(R, double(cx), double(cy), dmin, dmax);
                if (kind == ObjectKind::Circle) return dmin <= radius && radius <= dmax;
                const std::int64_t low = radius - circle.RingWidth(), high = radius + circle.RingWidth();
                return dmin <= high && low <= dmax;
            }
            case ObjectKind::ArcWire: {
                if (enclosed) return Inside(R, ObjectBounds(r, layout));
                const ArcWireView arc(r);
                const Point start = arc.Start(), centre = arc.Centre(), end = arc.End();
                if (In(R, centre) || In(R, start) || In(R, end)) return true;
                const double half = arc.Width() / 2.0;
                for (const Point& p : {start, end}) {
                    if (p == centre) continue;
                    const double dx = double(p.X) - centre.X, dy = double(p.Y) - centre.Y;
                    const double rho = std::hypot(dx, dy);
                    for (double d : {rho - half, rho + half}) {
                        const Point q{RoundHalfAway(centre.X + dx / rho * d), RoundHalfAway(centre.Y + dy / rho * d)};
                        if (In(R, q)) return true;
                    }
                }
                return false;
            }
            case ObjectKind::Text: {
                if (enclosed) return Inside(R, ObjectBounds(r, layout));
                const TextView text(r);
                if (In(R, text.Position())) return true;
                Word* member = r;
                for (int i = 0; i < text.MemberRecords(); ++i) {
                    member = symbol.NextRecord(member);
                    if (!member || !IsMember(member)) break;
                    if (RecordKind(member) != ObjectKind::Polygon) continue;
                    const PolygonView glyph(member);
                    if (PointsHit(glyph.Nodes(), glyph.NodeCount(), R, false)) return true;
                }
                return false;
            }
            case ObjectKind::Measurement:
                if (enclosed) return In(R, MeasurementView(r).Corner1()) && In(R, MeasurementView(r).Corner2());
                return In(R, MeasurementView(r).Corner1()) || In(R, MeasurementView(r).Corner2());
            case ObjectKind::Group:
            case ObjectKind::Script: {
                const Rect box = ObjectBounds(r, layout);
                if (enclosed) return Inside(R, box);
                const HeadView head(r);
                if (kind == ObjectKind::Script && In(R, head.Position())) return true;
                if (kind == ObjectKind::Group && Settings().showGroups) {
                    if (In(R, box.minx, box.miny) || In(R, box.maxx, box.miny) || In(R, box.maxx, box.maxy) ||
                        In(R, box.minx, box.maxy))
                        return true;
                }
                if (IsMember(r)) return false;  // its members are searched by the outer container
                Word* member = r;
                for (int i = 0; i < head.MemberRecords(); ++i) {
                    member = symbol.NextRecord(member);
                    if (!member || !IsMember(member)) break;
                    const ObjectKind k = RecordKind(member);
                    const bool allowed = (static_cast<int>(k) >= 1 && static_cast<int>(k) <= 9) ||
                                         k == ObjectKind::SymbolCall ||
                                         (kind == ObjectKind::Script && k == ObjectKind::SymbolArray);
                    if (allowed && Geometry(member, R, false)) return true;
                }
                return false;
            }
            case ObjectKind::SymbolCall: {
                SymbolDescription* called = layout ? layout->CalledSymbol(r) : nullptr;
                if (!called) return false;
                called->EnsureBounds();
                const Rect b = called->Bounds();
                Point corners[4] = {{b.minx, b.miny}, {b.maxx, b.miny}, {b.maxx, b.maxy}, {b.minx, b.maxy}};
                TransformPoints(corners, 4, CallView(r).Matrix());
                if (!enclosed) return PointsHit(corners, 4, R, false);
                return PointsHit(corners, 4, R, true);
            }
            case ObjectKind::SymbolArray: {
                const Rect box = ObjectBounds(r, layout);
                if (enclosed) return Inside(R, box);
                if (In(R, box.minx, box.miny) || In(R, box.maxx, box.miny) || In(R, box.maxx, box.maxy) ||
                    In(R, box.minx, box.maxy))
                    return true;
                const ArrayView array(r);
                const int columns = array.Columns(), rows = array.Rows();
                if (columns <= 0 || rows <= 0) return false;
                // The placements that can lie in R are few; walking a huge
                // array stops at a bound on the work.
                std::int64_t budget = 1000000;
                for (int i = 0; i < columns && budget > 0; ++i) {
                    for (int j = 0; j < rows && --budget > 0; ++j) {
                        const auto [x, y] = array.ElementPosition(i, j);
                        if (In(R, x, y)) return true;
                    }
                }
                return false;
            }
        }
        return false;
    }

    SymbolDescription& symbol;
    Layout* layout;
};

Word* Walk(SymbolDescription& symbol, Word* from, const Rect& r, SelectFilter filter, bool enclosed) {
    Tester tester(symbol);
    for (Word* record = from; record; record = symbol.NextRecord(record)) {
        if (!PassesFilter(record, filter)) continue;
        if (tester.Hits(record, r, enclosed)) return record;
    }
    return nullptr;
}

Rect Square(std::int64_t x, std::int64_t y, std::int64_t half) {
    return {SaturateToInt32(x - half), SaturateToInt32(y - half), SaturateToInt32(x + half), SaturateToInt32(y + half)};
}

}  // namespace

SelectFilter MakeSelectFilter(int currentLayer, bool lockSymbols, bool singleLayer) {
    SelectFilter filter = static_cast<SelectFilter>(currentLayer >= 0 ? currentLayer & 0xFF : 0);
    if (lockSymbols) filter |= kLockSymbolsBit;
    if (singleLayer && currentLayer >= 0) filter |= kSingleLayerBit;
    return filter;
}

bool ObjectHitsRect(SymbolDescription& symbol, Word* record, const Rect& r, bool enclosed) {
    return Tester(symbol).Hits(record, r, enclosed);
}

Word* FindObjectInRect(SymbolDescription& symbol, const Rect& r, SelectFilter filter, bool enclosed) {
    return Walk(symbol, symbol.FirstRecord(), r, filter, enclosed);
}

Word* FindNextObjectInRect(SymbolDescription& symbol, Word* after, const Rect& r, SelectFilter filter, bool enclosed) {
    return after ? Walk(symbol, symbol.NextRecord(after), r, filter, enclosed) : nullptr;
}

Word* FindObjectAt(SymbolDescription& symbol, std::int32_t x, std::int32_t y, SelectFilter filter) {
    Layout* layout = symbol.OwnerLayout();
    const double sx = layout && layout->view.sx > 0 ? layout->view.sx : 1.0;
    const std::int64_t t = static_cast<std::int64_t>(2.5 / sx) + 1;
    Word* found = nullptr;
    std::int64_t half = t;
    for (std::int64_t h : {t, 2 * t, 4 * t}) {
        half = h;
        found = FindObjectInRect(symbol, Square(x, y, h), filter, false);
        if (found) break;
    }
    if (layout) layout->view.pickTolerance = SaturateToInt32(2 * half);
    return found;
}

Word* PickToggle(SymbolDescription& symbol, std::int32_t x, std::int32_t y, SelectFilter filter) {
    Word* found = FindObjectAt(symbol, x, y, filter);
    if (found) {
        symbol.ToggleSelected(found);
    }
    symbol.UpdateSelection();
    return found;
}

Word* SelectInRect(SymbolDescription& symbol, const Rect& r, SelectFilter filter, bool allNodes) {
    Word* first = FindObjectInRect(symbol, r, filter, allNodes);
    for (Word* found = first; found; found = FindNextObjectInRect(symbol, found, r, filter, allNodes))
        symbol.SetSelected(found);
    symbol.UpdateSelection();
    return first;
}

Word* PickCurrent(SymbolDescription& symbol, std::int32_t x, std::int32_t y, SelectFilter filter) {
    Word* found = FindObjectAt(symbol, x, y, filter);
    if (found) {
        symbol.SetSelected(found);
        symbol.SetCurrentObject(found);
        symbol.currentKind = static_cast<int>(RecordKind(found));
        symbol.currentLayer = RecordLayer(found);
    }
    return found;
}

Word* PickNext(SymbolDescription& symbol, std::int32_t x, std::int32_t y, SelectFilter filter) {
    Word* current = symbol.CurrentObject();
    if (!current) return nullptr;
    Layout* layout = symbol.OwnerLayout();
    const double sx = layout && layout->view.sx > 0 ? layout->view.sx : 1.0;
    std::int64_t half = static_cast<std::int64_t>(2.5 / sx) + 1;
    const std::int64_t last = layout ? layout->view.pickTolerance : 0;
    if (half < last && last < 16 * half) half = last;
    symbol.ClearSelected(current);
    Word* found = FindNextObjectInRect(symbol, current, Square(x, y, half), filter, false);
    if (!found) found = FindObjectAt(symbol, x, y, filter);
    if (!found) found = current;
    symbol.SetSelected(found);
    symbol.SetCurrentObject(found);
    symbol.UpdateSelection();
    return found;
}

int FindNodeAt(const std::vector<Point>& nodes, std::int32_t x, std::int32_t y, double sx) {
    const std::int64_t n = RoundHalfAway(5 / sx);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (std::llabs(std::int64_t{x} - nodes[i].X) <= n && std::llabs(std::int64_t{y} - nodes[i].Y) <= n) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int SelectionFrameZone(const Rect& frame, std::int32_t x, std::int32_t y, double sx, bool ctrl, bool singleRectangle) {
    const std::int64_t c = std::int64_t{RoundHalfAway(5 / sx)} + 1;
    const std::int64_t px = x, py = y;
    if (px <= frame.minx - c || px >= frame.maxx + c || py <= frame.miny - c || py >= frame.maxy + c) {
        return kCursorArrow;
    }
    const std::int64_t toLeft = std::llabs(px - frame.minx), toRight = std::llabs(px - frame.maxx);
    const std::int64_t toTop = std::llabs(py - frame.maxy), toBottom = std::llabs(py - frame.miny);
    bool left = toLeft < c && toRight >= c;
    bool right = toRight < c && toLeft >= c;
    bool top = toTop < c && toBottom >= c;
    bool bottom = toBottom < c && toTop >= c;
    if (left || right) {
        if (!ctrl && !singleRectangle && !top && !bottom) {
            top = toTop < toBottom;
            bottom = !top;
        }
        if (!top && !bottom) return kCursorStretchWe;
        if (ctrl) return kCursorRotate;
        return (left && bottom) || (right && top) ? kCursorScaleSwNe : kCursorScaleNwSe;
    }
    if (!top && !bottom) return kCursorMove;
    if (ctrl || singleRectangle) return kCursorStretchNs;
    left = toLeft < toRight;
    right = !left;
    return (left && bottom) || (right && top) ? kCursorScaleSwNe : kCursorScaleNwSe;
}

}  // namespace zandor
