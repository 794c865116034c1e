// The bounding box of every kind of object record.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include "model/Geometry.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "model/RecordViews.h"
#include "model/SymbolDescription.h"

namespace zandor {

ModelSettings& Settings() {
    static ModelSettings settings;
    return settings;
}

namespace {

Rect Ordered(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
    return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

Rect Around(std::int32_t x, std::int32_t y, std::int64_t reach) {
    return Ordered(SaturateToInt32(x - reach), SaturateToInt32(y - reach), SaturateToInt32(x + reach),
                   SaturateToInt32(y + reach));
}

void JoinPoint(Rect& box, double x, double y) {
    const std::int32_t px = RoundHalfAway(x), py = RoundHalfAway(y);
    Join(box, {px, py, px, py});
}

Rect ArcWireBox(const Word* r) {
    const ArcWireView arc(r);
    const Point start = arc.Start(), centre = arc.Centre(), end = arc.End();
    const double sx = start.X, sy = start.Y, cx = centre.X, cy = centre.Y, ex = end.X, ey = end.Y;
    Rect box{start.X, start.Y, start.X, start.Y};
    const double w = arc.Width();
    if (start == centre || end == centre || w == 0) return box;
    const double rs = std::hypot(sx - cx, sy - cy), ts = std::atan2(sy - cy, sx - cx);
    const double re = std::hypot(ex - cx, ey - cy), te = std::atan2(ey - cy, ex - cx);
    double sweep = te - ts;
    if (arc.Clockwise()) {
        while (sweep >= 0) sweep -= 2 * kPi;
        if (sweep < -2 * kPi) sweep += 2 * kPi;
    } else {
        while (sweep <= 0) sweep += 2 * kPi;
        if (sweep > 2 * kPi) sweep -= 2 * kPi;
    }
    const int n = std::max(0, RoundHalfAway(std::fabs(sweep) / (2 * kPi) * Settings().ringNumSegments));
    const double h = w / 2;
    for (int i = 0; i <= n + 1; ++i) {
        const double angle = ts + i * sweep / (n + 1);
        const double rho = rs + i * (re - rs) / (n + 1);
        const double c = std::cos(angle), s = std::sin(angle);
        JoinPoint(box, cx + (rho + h) * c, cy + (rho + h) * s);
        JoinPoint(box, cx + std::max(rho - h, 0.0) * c, cy + std::max(rho - h, 0.0) * s);
    }
    const int style = arc.EndStyle();
    if (style == 0) {
        JoinPoint(box, sx - h, sy - h);
        JoinPoint(box, sx + h, sy + h);
        JoinPoint(box, ex - h, ey - h);
        JoinPoint(box, ex + h, ey + h);
    } else if (style != 1) {
        const double dir = sweep < 0 ? -1.0 : 1.0;
        const double back = ts - kPi / 2 * dir, ahead = te + kPi / 2 * dir;
        for (double rho : {rs - h, rs + h}) {
            JoinPoint(box, cx + rho * std::cos(ts) + h * std::cos(back), cy + rho * std::sin(ts) + h * std::sin(back));
        }
        for (double rho : {re + h, re - h}) {
            JoinPoint(box, cx + rho * std::cos(te) + h * std::cos(ahead),
                      cy + rho * std::sin(te) + h * std::sin(ahead));
        }
    }
    return box;
}

// Position point united with the boxes of the member records that follow a
// text, script or group head.  Nested heads give their position only: their
// own members are among the ones walked here.
Rect PointBox(Point p) { return {p.X, p.Y, p.X, p.Y}; }

Rect HeadBox(Word* head, Layout* layout) {
    Rect box = PointBox(HeadView(head).Position());
    const int members = HeadView(head).MemberRecords();
    Word* r = head + RecordLength(head);
    for (int k = 0; k < members && r[0] != 0 && IsMember(r); ++k, r += RecordLength(r)) {
        if (IsHead(r)) {
            Join(box, PointBox(HeadView(r).Position()));
        } else {
            Join(box, ObjectBounds(r, layout));
        }
    }
    return box;
}

Rect MappedCorners(const Rect& box, const TransformMatrix& m) {
    Point p[4] = {{box.minx, box.miny}, {box.maxx, box.miny}, {box.maxx, box.maxy}, {box.minx, box.maxy}};
    TransformPoints(p, 4, m);
    Rect out{p[0].X, p[0].Y, p[0].X, p[0].Y};
    for (int i = 1; i < 4; ++i) Join(out, {p[i].X, p[i].Y, p[i].X, p[i].Y});
    return out;
}

}  // namespace

Rect ObjectBounds(Word* r, Layout* layout) {
    switch (RecordKind(r)) {
        case ObjectKind::Rectangle:
        case ObjectKind::Measurement: return RectangleView(r).Box();
        case ObjectKind::Box: {
            const BoxView view(r);
            const double a = view.AngleRadians();
            const double length = view.BoxLength(), width = view.BoxWidth();
            const double hx = (length * std::fabs(std::cos(a)) + width * std::fabs(std::sin(a))) / 2;
            const double hy = (length * std::fabs(std::sin(a)) + width * std::fabs(std::cos(a))) / 2;
            const Point c = view.Centre();
            return Ordered(RoundHalfAway(c.X - hx), RoundHalfAway(c.Y - hy), RoundHalfAway(c.X + hx),
                           RoundHalfAway(c.Y + hy));
        }
        case ObjectKind::Polygon: return PolygonView(r).NodeBounds();
        case ObjectKind::Wire: {
            const std::int64_t half = WireView(r).Width() >> 1;
            const Rect nodes = WireView(r).NodeBounds();
            return {SaturateToInt32(nodes.minx - half), SaturateToInt32(nodes.miny - half),
                    SaturateToInt32(nodes.maxx + half), SaturateToInt32(nodes.maxy + half)};
        }
        case ObjectKind::Circle:
            return Around(CircleView(r).Centre().X, CircleView(r).Centre().Y, CircleView(r).Radius());
        case ObjectKind::Ring: return Around(RingView(r).Centre().X, RingView(r).Centre().Y, RingView(r).OuterReach());
        case ObjectKind::ArcWire: return ArcWireBox(r);
        case ObjectKind::Text: return HeadBox(r, layout);
        case ObjectKind::Group:
        case ObjectKind::Script:
            if (IsMember(r)) return PointBox(HeadView(r).Position());
            return HeadBox(r, layout);
        case ObjectKind::SymbolCall: {
            SymbolDescription* called = layout ? layout->CalledSymbol(r) : nullptr;
            if (!called) return CallView(r).CachedExtent();
            called->EnsureBounds();
            const Rect box = MappedCorners(called->Bounds(), CallView(r).Matrix());
            CallView(r).SetCachedExtent(box);
            return box;
        }
        case ObjectKind::SymbolArray: {
            SymbolDescription* called = layout ? layout->CalledSymbol(r) : nullptr;
            const ArrayView array(r);
            if (!called) return array.CachedExtent();
            called->EnsureBounds();
            // Counts come from files: a damaged one may hold any 32-bit value.
            const int lastColumn = static_cast<int>(std::max<std::int64_t>(std::int64_t{array.Columns()} - 1, 0));
            const int lastRow = static_cast<int>(std::max<std::int64_t>(std::int64_t{array.Rows()} - 1, 0));
            Rect box = MappedCorners(called->Bounds(), ElementMatrix(r, 0, 0));
            Join(box, MappedCorners(called->Bounds(), ElementMatrix(r, lastColumn, 0)));
            Join(box, MappedCorners(called->Bounds(), ElementMatrix(r, 0, lastRow)));
            Join(box, MappedCorners(called->Bounds(), ElementMatrix(r, lastColumn, lastRow)));
            array.SetCachedExtent(box);
            return box;
        }
    }
    if (RecordLength(r) >= 3) return {r[1], r[2], r[1], r[2]};  // an unknown kind: its first point, if any
    return {};
}

}  // namespace zandor
