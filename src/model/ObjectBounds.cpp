// The bounding box of every kind of object record.
#include <algorithm>
#include <climits>
#include <cmath>

#include "model/Geometry.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
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
    return Ordered(SaturateToInt32(x - reach), SaturateToInt32(y - reach), SaturateToInt32(x + reach), SaturateToInt32(y + reach));
}

void Join(Rect& box, const Rect& other) {
    box.minx = std::min(box.minx, other.minx);
    box.miny = std::min(box.miny, other.miny);
    box.maxx = std::max(box.maxx, other.maxx);
    box.maxy = std::max(box.maxy, other.maxy);
}

void JoinPoint(Rect& box, double x, double y) {
    const std::int32_t px = RoundHalfAway(x), py = RoundHalfAway(y);
    Join(box, {px, py, px, py});
}

Rect ArcWireBox(const Word* r) {
    const double sx = r[1], sy = r[2], cx = r[3], cy = r[4], ex = r[5], ey = r[6];
    Rect box{r[1], r[2], r[1], r[2]};
    const double w = WidthOf(r[7]);
    if ((r[1] == r[3] && r[2] == r[4]) || (r[5] == r[3] && r[6] == r[4]) || w == 0) return box;
    const double rs = std::hypot(sx - cx, sy - cy), ts = std::atan2(sy - cy, sx - cx);
    const double re = std::hypot(ex - cx, ey - cy), te = std::atan2(ey - cy, ex - cx);
    double sweep = te - ts;
    if (ArcClockwise(r[7])) {
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
    const int style = ArcEndStyle(r[7]);
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
Rect HeadBox(Word* head, Layout* layout) {
    Rect box{head[1], head[2], head[1], head[2]};
    const int members = MemberCount(head);
    Word* r = head + RecordLength(head);
    for (int k = 0; k < members && r[0] != 0 && IsMember(r); ++k, r += RecordLength(r)) {
        if (IsHead(r)) {
            Join(box, {r[1], r[2], r[1], r[2]});
        } else {
            Join(box, ObjectBounds(r, layout));
        }
    }
    return box;
}

void StoreExtent(Word* r, const Rect& box) {
    r[1] = box.minx;
    r[2] = box.miny;
    r[3] = box.maxx;
    r[4] = box.maxy;
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
        case ObjectKind::Measurement:
            return Ordered(r[1], r[2], r[3], r[4]);
        case ObjectKind::Box: {
            const double a = r[5] * 0.001 * kPi / 180.0;
            const double length = r[3], width = r[4];
            const double hx = (length * std::fabs(std::cos(a)) + width * std::fabs(std::sin(a))) / 2;
            const double hy = (length * std::fabs(std::sin(a)) + width * std::fabs(std::cos(a))) / 2;
            return Ordered(RoundHalfAway(r[1] - hx), RoundHalfAway(r[2] - hy), RoundHalfAway(r[1] + hx),
                           RoundHalfAway(r[2] + hy));
        }
        case ObjectKind::Polygon:
            return Ordered(r[1], r[2], r[3], r[4]);
        case ObjectKind::Wire: {
            const std::int64_t half = WidthOf(r[5]) >> 1;
            const Rect nodes = Ordered(r[1], r[2], r[3], r[4]);
            return {SaturateToInt32(nodes.minx - half), SaturateToInt32(nodes.miny - half), SaturateToInt32(nodes.maxx + half),
                    SaturateToInt32(nodes.maxy + half)};
        }
        case ObjectKind::Circle:
            return Around(r[1], r[2], r[3]);
        case ObjectKind::Ring:
            return Around(r[1], r[2], std::int64_t{r[3]} + r[4] / 2);
        case ObjectKind::ArcWire:
            return ArcWireBox(r);
        case ObjectKind::Text:
            return HeadBox(r, layout);
        case ObjectKind::Group:
        case ObjectKind::Script:
            if (IsMember(r)) return {r[1], r[2], r[1], r[2]};
            return HeadBox(r, layout);
        case ObjectKind::SymbolCall: {
            SymbolDescription* called = layout ? layout->FindSymbol(r[5]) : nullptr;
            if (!called) return Ordered(r[1], r[2], r[3], r[4]);
            called->EnsureBounds();
            const Rect box = MappedCorners(called->Bounds(), ReadMatrix(r + kCallMatrixWord));
            StoreExtent(r, box);
            return box;
        }
        case ObjectKind::SymbolArray: {
            SymbolDescription* called = layout ? layout->FindSymbol(r[5]) : nullptr;
            if (!called) return Ordered(r[1], r[2], r[3], r[4]);
            called->EnsureBounds();
            const int lastColumn = std::max(r[6] - 1, 0), lastRow = std::max(r[7] - 1, 0);
            Rect box = MappedCorners(called->Bounds(), ElementMatrix(r, 0, 0));
            Join(box, MappedCorners(called->Bounds(), ElementMatrix(r, lastColumn, 0)));
            Join(box, MappedCorners(called->Bounds(), ElementMatrix(r, 0, lastRow)));
            Join(box, MappedCorners(called->Bounds(), ElementMatrix(r, lastColumn, lastRow)));
            StoreExtent(r, box);
            return box;
        }
    }
    if (RecordLength(r) >= 3) return {r[1], r[2], r[1], r[2]};
    return {};
}

}  // namespace zandor
