#include "display/ObjectDrawing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <set>

#include "model/Geometry.h"
#include "model/HierarchyWalker.h"
#include "model/LayerDescription.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "model/RecordViews.h"
#include "model/SymbolDescription.h"

namespace zandor {

namespace {

constexpr int kInputPollRecords = 20;
constexpr int kMaxDrawnPoints = 16000;
constexpr int kUnequalCirclePoints = 200;
constexpr int kCapSteps = 40;  // half the steps of a cap cut off by one edge
constexpr int kArcSteps = 80;  // steps of the arc between two edges
// Beyond this many objects a pixel a placement shows as its layers' colours
// over its box whatever is drawn of it, and drawing it in full would take
// longer than anyone waits (a hierarchy of overlapping cells can place
// trillions of objects in a view).
constexpr double kObjectsPerPixel = 256;

const CanvasBrush kNullBrush{6, 0};

bool IsIdentity(const TransformMatrix& m) { return m == TransformMatrix{}; }

Point MapPoint(const TransformMatrix& m, double x, double y) {
    Point p{static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)};
    if (IsIdentity(m)) return p;
    TransformPoints(&p, 1, m);
    return p;
}

// The four corners of a box in order (min, min), (max, min), (max, max), (min, max).
void BoxCorners(const Rect& b, Point* out) {
    out[0] = {b.minx, b.miny};
    out[1] = {b.maxx, b.miny};
    out[2] = {b.maxx, b.maxy};
    out[3] = {b.minx, b.maxy};
}

void MapCorners(const Rect& b, const TransformMatrix& m, Point* out) {
    BoxCorners(b, out);
    if (!IsIdentity(m)) TransformPoints(out, 4, m);
}

// A vector (the linear part of m only), its length rounded.
std::int32_t MappedLength(const TransformMatrix& m, double x, double y) {
    return RoundHalfAway(std::hypot(m.a * x + m.c * y, m.b * x + m.d * y));
}

// One Sutherland-Hodgman stage: keeps the side where inside(p) holds.
template <typename Inside, typename Cross>
void ClipStage(const std::vector<Point>& in, std::vector<Point>& out, Inside inside, Cross cross) {
    out.clear();
    const std::size_t n = in.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Point& cur = in[i];
        const Point& prev = in[(i + n - 1) % n];
        const bool curIn = inside(cur), prevIn = inside(prev);
        if (curIn) {
            if (!prevIn) out.push_back(cross(prev, cur));
            out.push_back(cur);
        } else if (prevIn) {
            out.push_back(cross(prev, cur));
        }
    }
}

Point CrossX(const Point& a, const Point& b, std::int64_t x) {
    const double t = (double(x) - a.X) / (double(b.X) - a.X);
    return {static_cast<std::int32_t>(x), RoundHalfAway(a.Y + t * (double(b.Y) - a.Y))};
}

Point CrossY(const Point& a, const Point& b, std::int64_t y) {
    const double t = (double(y) - a.Y) / (double(b.Y) - a.Y);
    return {RoundHalfAway(a.X + t * (double(b.X) - a.X)), static_cast<std::int32_t>(y)};
}

// Edge offsets of a wire segment: half the width across the segment.
struct Offsets {
    std::int32_t q = 0, p = 0;
};
Offsets SegmentOffsets(Point a, Point b, std::int32_t h) {
    const double dx = double(b.X) - a.X, dy = double(b.Y) - a.Y;
    const double length = std::hypot(dx, dy);
    if (length == 0) return {};
    return {RoundHalfAway(dy * h / length), RoundHalfAway(dx * h / length)};
}

Point Offset(Point a, std::int64_t dx, std::int64_t dy) {
    return {SaturateToInt32(a.X + dx), SaturateToInt32(a.Y + dy)};
}

}  // namespace

CanvasFont SymbolNameFont() { return {12, 400, "MS Sans Serif", 0}; }

CanvasPen LayerPen(const LayerDescription& layer) {
    if (!Settings().outlines) return {PenStyle::Null, layer.outlineColor, 1};
    return {static_cast<PenStyle>(LayerDescription::NormalOutlineStyle(layer.outlineStyle)), layer.outlineColor, 1};
}

CanvasBrush LayerBrush(const LayerDescription& layer) {
    const int style = layer.fillStyle < 0 ? -1 : layer.fillStyle;
    return {style, layer.fillColor};
}

ObjectDrawing::ObjectDrawing(Layout& owner, Canvas& target)
    : layout(owner),
      canvas(target),
      view{owner.view.xmin, owner.view.ymin, owner.view.xmax, owner.view.ymax},
      originX(owner.view.xmin),
      originY(owner.view.ymax),
      scaleX(owner.view.sx),
      scaleY(owner.view.sy) {}

bool ObjectDrawing::DrawLayout(bool selectNameFont, bool measureLine) {
    const ModelSettings& settings = Settings();
    layout.view.drawing = true;
    const RasterOp previous = canvas.SetRasterOp(settings.backgroundBlack ? RasterOp::Merge : RasterOp::Mask);
    if (selectNameFont) canvas.SetFont(SymbolNameFont());
    canvas.SetTextColor(kSymbolOutlineColor);
    if (SymbolDescription* shown = layout.ShownSymbolDescription()) {
        if (!shown->view.zoomStack.empty()) shown->view.zoomStack.back() = view;
        DrawSymbol(*shown, 0, TransformMatrix{});
        canvas.SetRasterOp(RasterOp::Not);
        if (measureLine) DrawMeasureLine(*shown);
    }
    layout.view.drawing = false;
    canvas.SetRasterOp(previous);
    return !abandoned;
}

bool ObjectDrawing::PollInput() {
    if (!abandoned && canvas.InputPending()) abandoned = true;
    return abandoned;
}

// Hands the walk's steps to the drawing.
struct ObjectDrawing::PassVisitor : WalkVisitor {
    PassVisitor(ObjectDrawing& drawing, int baseLevel) : drawing(drawing), baseLevel(baseLevel) {}

    void Object(Word* r, const TransformMatrix& m, int) { drawing.DrawObject(r, m); }
    bool EnterCall(Word* r, SymbolDescription* called, const TransformMatrix& m, const TransformMatrix& s, int level) {
        return drawing.EnterCall(r, called, m, s, baseLevel + level);
    }
    void LeaveCall(Word*, SymbolDescription& called, const TransformMatrix& s, int level) {
        drawing.LeaveCall(called, s, baseLevel + level);
    }
    bool EnterArray(Word* r, SymbolDescription* called, const TransformMatrix& m, int level) {
        return drawing.EnterArray(r, called, m, baseLevel + level);
    }
    bool Stopped() const { return drawing.abandoned; }

    ObjectDrawing& drawing;
    int baseLevel;
};

void ObjectDrawing::DrawSymbol(SymbolDescription& symbol, int level, const TransformMatrix& m) {
    if (!layout.view.drawing || abandoned) return;
    if (PollInput()) return;
    const std::size_t depth = open.size();
    open.push_back(&symbol);
    PassVisitor visitor(*this, level);
    HierarchyWalker(layout).Walk(symbol, m, visitor);
    open.resize(depth);
}

bool ObjectDrawing::Open(const SymbolDescription* symbol) const {
    return std::find(open.begin(), open.end(), symbol) != open.end();
}

void ObjectDrawing::DrawObject(Word* r, const TransformMatrix& m) {
    if (++sincePoll > kInputPollRecords) {
        sincePoll = 1;
        if (PollInput()) return;
    }
    switch (RecordKind(r)) {
        case ObjectKind::Group:
            if (Settings().showGroups) DrawGroup(r, m);
            lastLayer = -1;
            break;
        case ObjectKind::Text:
        case ObjectKind::Measurement:
        case ObjectKind::Script: break;
        default: {
            const int layer = RecordLayer(r);
            if (layer != lastLayer) {
                lastLayer = layer;
                if (const LayerDescription* description = layout.Layer(layer)) {
                    canvas.SetBrush(LayerBrush(*description));
                    canvas.SetPen(LayerPen(*description));
                    layerVisible = description->visible != 0;
                } else {
                    canvas.SetBrush(kNullBrush);
                    canvas.SetPen(CanvasPen{PenStyle::Solid, 0, 1});
                    layerVisible = true;
                }
            }
            if (layerVisible) DrawRecord(r, m);
        }
    }
}

void ObjectDrawing::DrawRecord(const Word* r, const TransformMatrix& m) {
    switch (RecordKind(r)) {
        case ObjectKind::Rectangle: DrawRectangleRecord(r, m); break;
        case ObjectKind::Box: DrawBox(r, m); break;
        case ObjectKind::Polygon: DrawPolygonRecord(r, m); break;
        case ObjectKind::Wire: DrawWire(r, m); break;
        case ObjectKind::Circle: DrawCircleRecord(r, m); break;
        case ObjectKind::Ring: DrawRing(r, m); break;
        case ObjectKind::ArcWire: DrawArcWire(r, m); break;
        default: break;
    }
}

bool ObjectDrawing::Visible(const Rect& b) const {
    return b.maxx >= view.minx && b.minx <= view.maxx && b.maxy >= view.miny && b.miny <= view.maxy;
}

bool ObjectDrawing::DrawDot(const Rect& b) {
    const std::int64_t width = std::int64_t{b.maxx} - b.minx, height = std::int64_t{b.maxy} - b.miny;
    if (width >= layout.view.minObjectSize || height >= layout.view.minObjectSize) return false;
    const PixelPoint p = Map({b.minx, b.miny});
    canvas.Rectangle(p.x, p.y, p.x + 1, p.y + 1);
    return true;
}

// The layout's device mapping, with its values read once per pass.
PixelPoint ObjectDrawing::Map(Point p) const {
    return {RoundHalfAway((double(p.X) - originX) * scaleX), RoundHalfAway((double(originY) - p.Y) * scaleY)};
}

void ObjectDrawing::DrawPolygon(const Point* points, int count) {
    if (count <= 0) return;
    // Clip against the view widened by one unit, left, top, right, bottom.
    const std::int64_t left = std::int64_t{view.minx} - 1, right = std::int64_t{view.maxx} + 1;
    const std::int64_t bottom = std::int64_t{view.miny} - 1, top = std::int64_t{view.maxy} + 1;
    // Most polygons lie inside the view and need no clipping.
    bool inside = true;
    for (int i = 0; i < count && inside; ++i)
        inside = points[i].X >= left && points[i].X <= right && points[i].Y >= bottom && points[i].Y <= top;
    if (inside) {
        pixels.resize(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) pixels[static_cast<std::size_t>(i)] = Map(points[i]);
        EmitPolygon();
        return;
    }
    std::vector<Point>& work = clipWork;
    work.assign(points, points + count);
    ClipStage(
        work, clipped, [&](const Point& p) { return p.X >= left; },
        [&](const Point& a, const Point& b) { return CrossX(a, b, left); });
    ClipStage(
        clipped, work, [&](const Point& p) { return p.Y <= top; },
        [&](const Point& a, const Point& b) { return CrossY(a, b, top); });
    ClipStage(
        work, clipped, [&](const Point& p) { return p.X <= right; },
        [&](const Point& a, const Point& b) { return CrossX(a, b, right); });
    ClipStage(
        clipped, work, [&](const Point& p) { return p.Y >= bottom; },
        [&](const Point& a, const Point& b) { return CrossY(a, b, bottom); });
    if (work.empty()) return;
    pixels.clear();
    for (const Point& p : work) pixels.push_back(Map(p));
    EmitPolygon();
}

void ObjectDrawing::EmitPolygon() {
    if (pixels.size() >= kMaxDrawnPoints) {
        pixels.erase(std::unique(pixels.begin(), pixels.end()), pixels.end());
        if (pixels.size() > kMaxDrawnPoints) pixels.resize(kMaxDrawnPoints);
    }
    if (Settings().fill)
        canvas.Polygon(pixels.data(), static_cast<int>(pixels.size()));
    else
        canvas.Polyline(pixels.data(), static_cast<int>(pixels.size()));
}

void ObjectDrawing::DrawClosedOutline(const Point* corners, int count) {
    Point closed[5];
    if (count > 4) return;
    std::copy(corners, corners + count, closed);
    closed[count] = corners[0];
    DrawPolygon(closed, count + 1);
}

bool ObjectDrawing::DrawAxisRectangle(Rect box, bool outlineOnly) {
    if (!Visible(box)) return false;
    box.minx = std::max(box.minx, view.minx);
    box.miny = std::max(box.miny, view.miny);
    box.maxx = std::min(box.maxx, view.maxx);
    box.maxy = std::min(box.maxy, view.maxy);
    if (DrawDot(box)) return true;
    const PixelPoint topLeft = Map({box.minx, box.maxy});
    const PixelPoint bottomRight = Map({box.maxx, box.miny});
    if (!outlineOnly && Settings().fill && !Settings().outlines) {
        // Filled alone, the rectangle covers the pixels a polygon of its
        // corners covers: the right and bottom edges stay outside.
        if (bottomRight.x > topLeft.x && bottomRight.y > topLeft.y)
            canvas.Rectangle(topLeft.x, topLeft.y, bottomRight.x - 1, bottomRight.y - 1);
    } else if (!outlineOnly && Settings().fill) {
        canvas.Rectangle(topLeft.x, topLeft.y, bottomRight.x, bottomRight.y);
    } else {
        const PixelPoint outline[5] = {
            topLeft, {bottomRight.x, topLeft.y}, bottomRight, {topLeft.x, bottomRight.y}, topLeft};
        canvas.Polyline(outline, 5);
    }
    return true;
}

void ObjectDrawing::DrawRectangleRecord(const Word* r, const TransformMatrix& m) {
    const RectangleView rect(r);
    const Point a = rect.Corner1(), b = rect.Corner2();
    Point corners[4] = {a, {b.X, a.Y}, b, {a.X, b.Y}};
    if (!IsIdentity(m)) TransformPoints(corners, 4, m);
    const Rect bounds = PointsBounds(corners, 4);
    if (corners[0].X == corners[1].X || corners[0].Y == corners[1].Y) {
        DrawAxisRectangle(bounds, false);
        return;
    }
    if (!Visible(bounds) || DrawDot(bounds)) return;
    DrawClosedOutline(corners, 4);
}

void ObjectDrawing::DrawBox(const Word* r, const TransformMatrix& m) {
    std::vector<Point> corners = BoxView(r).Corners();
    if (corners.size() < 4) return;
    if (!IsIdentity(m)) TransformPoints(corners.data(), 4, m);
    const Rect bounds = PointsBounds(corners.data(), 4);
    if (!Visible(bounds) || DrawDot(bounds)) return;
    DrawClosedOutline(corners.data(), 4);
}

void ObjectDrawing::DrawPolygonRecord(const Word* r, const TransformMatrix& m) {
    const PolygonView polygon(r);
    const int n = polygon.NodeCount();
    if (n < 2) return;
    Point box[4];
    MapCorners(polygon.NodeBounds(), m, box);
    const Rect bounds = PointsBounds(box, 4);
    if (!Visible(bounds)) return;
    if (n > 2 && DrawDot(bounds)) return;
    const Point* nodes = polygon.Nodes();
    std::vector<Point>& points = recordPoints;
    points.assign(nodes, nodes + n);
    if (!IsIdentity(m)) TransformPoints(points.data(), n, m);
    if (!(nodes[0] == nodes[n - 1])) points.push_back(points[0]);
    DrawPolygon(points.data(), static_cast<int>(points.size()));
}

void ObjectDrawing::DrawWire(const Word* r, const TransformMatrix& m) {
    const WireView wire(r);
    const int n = wire.NodeCount();
    if (n < 2) return;
    const std::int32_t width = wire.Width();
    const std::int32_t half = width / 2;
    const Rect nodeBox = wire.NodeBounds();
    Point box[4];
    MapCorners({SaturateToInt32(std::int64_t{nodeBox.minx} - half), SaturateToInt32(std::int64_t{nodeBox.miny} - half),
                SaturateToInt32(std::int64_t{nodeBox.maxx} + half), SaturateToInt32(std::int64_t{nodeBox.maxy} + half)},
               m, box);
    if (!Visible(PointsBounds(box, 4))) return;
    const std::int32_t mappedWidth =
        IsIdentity(m)
            ? width
            : static_cast<std::int32_t>((std::int64_t{MappedLength(m, width, 0)} + MappedLength(m, 0, width)) / 2);
    const Point* nodes = wire.Nodes();
    // A wire may end where it began (a closed frame): only repeats of the
    // predecessor go.
    std::vector<Point> points(nodes, nodes + n);
    if (!IsIdentity(m)) TransformPoints(points.data(), n, m);
    points.erase(std::unique(points.begin(), points.end()), points.end());
    if (points.size() < 2) return;
    DrawWirePath(mappedWidth, wire.EndStyle(), points.data(), static_cast<int>(points.size()));
}

void ObjectDrawing::DrawWirePath(std::int32_t width, int endStyle, const Point* input, int n) {
    if (n < 2) return;
    const std::int32_t h = width / 2;
    std::vector<Point> nodes(input, input + n);
    const auto style = static_cast<EndStyle>(endStyle);
    if (h > 0) {
        if (style == EndStyle::Round) DrawCircle(nodes[0], h);
        if (style == EndStyle::Extended) {
            ExtendEndPoint(nodes[0], nodes[1], h);
            ExtendEndPoint(nodes[n - 1], nodes[n - 2], h);
        }
    }
    Offsets before;
    for (int i = 0; i + 1 < n; ++i) {
        const Point a = nodes[i], b = nodes[i + 1];
        if (h == 0) {
            const PixelPoint pa = Map(a), pb = Map(b);
            canvas.Line(pa.x, pa.y, pb.x, pb.y);
            continue;
        }
        const Offsets o = SegmentOffsets(a, b, h);
        if (i > 0) {
            if (style == EndStyle::Round) {
                DrawCircle(a, h);
            } else {
                const Point joint[5] = {Offset(a, before.q, -std::int64_t{before.p}),
                                        Offset(a, -std::int64_t{before.q}, before.p),
                                        Offset(a, -std::int64_t{o.q}, o.p), Offset(a, o.q, -std::int64_t{o.p}),
                                        Offset(a, before.q, -std::int64_t{before.p})};
                DrawPolygon(joint, 5);
            }
        }
        before = o;
        if (a == b) continue;
        const Point quad[5] = {Offset(a, -std::int64_t{o.q}, o.p), Offset(a, o.q, -std::int64_t{o.p}),
                               Offset(b, o.q, -std::int64_t{o.p}), Offset(b, -std::int64_t{o.q}, o.p),
                               Offset(a, -std::int64_t{o.q}, o.p)};
        DrawPolygon(quad, 5);
    }
    if (h > 0 && style == EndStyle::Round) DrawCircle(nodes[n - 1], h);
}

void ObjectDrawing::DrawCircleRecord(const Word* r, const TransformMatrix& m) {
    const CircleView circle(r);
    const std::int32_t radius = circle.Radius();
    if (radius <= 0) return;
    const Point centre = MapPoint(m, circle.Centre().X, circle.Centre().Y);
    const std::int32_t rx = MappedLength(m, radius, 0), ry = MappedLength(m, 0, radius);
    if (rx == ry) {
        DrawCircle(centre, rx);
        return;
    }
    std::vector<Point> points = CirclePolygon(circle.Centre(), radius, kUnequalCirclePoints);
    TransformPoints(points.data(), static_cast<int>(points.size()), m);
    points.push_back(points[0]);
    DrawPolygon(points.data(), static_cast<int>(points.size()));
}

void ObjectDrawing::DrawRing(const Word* r, const TransformMatrix& m) {
    const RingView ring(r);
    const Point centre = MapPoint(m, ring.Centre().X, ring.Centre().Y);
    const std::int32_t rx = MappedLength(m, ring.Radius(), 0), ry = MappedLength(m, 0, ring.Radius());
    const std::int32_t width = MappedLength(m, ring.RingWidth(), 0);
    const std::int64_t outer = std::int64_t{rx} + width / 2;
    const Rect bounds{SaturateToInt32(centre.X - outer), SaturateToInt32(centre.Y - outer),
                      SaturateToInt32(centre.X + outer), SaturateToInt32(centre.Y + outer)};
    if (!Visible(bounds) || DrawDot(bounds)) return;
    const int segments = Settings().ringNumSegments;
    if (rx == ry) {
        if (width / 2 > rx) {
            DrawCircle(centre, SaturateToInt32(outer));
            return;
        }
        std::vector<Point> path;
        path.reserve(static_cast<std::size_t>(segments) + 1);
        for (int i = 0; i < segments; ++i) {
            const double angle = -kPi / 2 + 2 * kPi * i / segments;
            path.push_back(
                {RoundHalfAway(centre.X + rx * std::cos(angle)), RoundHalfAway(centre.Y + rx * std::sin(angle))});
        }
        path.push_back(path[0]);
        DrawWirePath(width, static_cast<int>(EndStyle::Round), path.data(), static_cast<int>(path.size()));
        return;
    }
    // The point set the file writers use for a ring, so that screen and file agree.
    std::vector<Point> points = RingPolygon(ring.Centre(), ring.Radius(), ring.RingWidth(), 2 * segments + 2);
    if (points.empty()) return;
    TransformPoints(points.data(), static_cast<int>(points.size()), m);
    points.push_back(points[0]);
    DrawPolygon(points.data(), static_cast<int>(points.size()));
}

void ObjectDrawing::DrawArcWire(const Word* r, const TransformMatrix& m) {
    std::vector<Point> points = ArcWireOutline(r, Settings().ringNumSegments);
    if (points.empty()) return;
    if (!IsIdentity(m)) TransformPoints(points.data(), static_cast<int>(points.size()), m);
    points.push_back(points[0]);
    DrawPolygon(points.data(), static_cast<int>(points.size()));
}

void ObjectDrawing::DrawCircle(Point c, std::int32_t radius) {
    const Rect bounds{SaturateToInt32(std::int64_t{c.X} - radius), SaturateToInt32(std::int64_t{c.Y} - radius),
                      SaturateToInt32(std::int64_t{c.X} + radius), SaturateToInt32(std::int64_t{c.Y} + radius)};
    if (!Visible(bounds) || DrawDot(bounds)) return;
    const bool inside = std::int64_t{c.X} - radius >= view.minx && std::int64_t{c.X} + radius <= view.maxx &&
                        std::int64_t{c.Y} - radius >= view.miny && std::int64_t{c.Y} + radius <= view.maxy;
    if (inside) {
        const PixelPoint topLeft = Map({bounds.minx, bounds.maxy});
        const PixelPoint bottomRight = Map({bounds.maxx, bounds.miny});
        if (Settings().fill)
            canvas.Ellipse(topLeft.x, topLeft.y, bottomRight.x, bottomRight.y);
        else
            canvas.EllipseOutline(topLeft.x, topLeft.y, bottomRight.x, bottomRight.y);
        return;
    }
    DrawCircleCorners(c, radius);
}

// The visible part of a circle larger than the view, as a polygon: the view
// corners inside the circle and the arc between the edges it crosses.
void ObjectDrawing::DrawCircleCorners(Point c, std::int32_t radius) {
    const double cx = c.X, cy = c.Y, r = radius;
    // Counter-clockwise: bottom left, bottom right, top right, top left.
    const Point corners[4] = {
        {view.minx, view.miny}, {view.maxx, view.miny}, {view.maxx, view.maxy}, {view.minx, view.maxy}};
    bool in[4];
    int count = 0;
    for (int i = 0; i < 4; ++i) {
        const double d = std::hypot(corners[i].X - cx, corners[i].Y - cy);
        in[i] = RoundHalfAway(d) < radius;
        count += in[i];
    }
    const auto arcPoint = [&](double angle) {
        return Point{RoundHalfAway(cx + r * std::cos(angle)), RoundHalfAway(cy + r * std::sin(angle))};
    };
    std::vector<Point> polygon;
    if (count == 0) {
        double middle;
        double cosine;
        if (cx < view.minx) {
            middle = 0;
            cosine = (view.minx - cx) / r;
        } else if (cy < view.miny) {
            middle = kPi / 2;
            cosine = (view.miny - cy) / r;
        } else if (cx > view.maxx) {
            middle = kPi;
            cosine = (cx - view.maxx) / r;
        } else if (cy > view.maxy) {
            middle = -kPi / 2;
            cosine = (cy - view.maxy) / r;
        } else {
            const PixelPoint topLeft =
                Map({SaturateToInt32(std::int64_t{c.X} - radius), SaturateToInt32(std::int64_t{c.Y} + radius)});
            const PixelPoint bottomRight =
                Map({SaturateToInt32(std::int64_t{c.X} + radius), SaturateToInt32(std::int64_t{c.Y} - radius)});
            if (Settings().fill)
                canvas.Ellipse(topLeft.x, topLeft.y, bottomRight.x, bottomRight.y);
            else
                canvas.EllipseOutline(topLeft.x, topLeft.y, bottomRight.x, bottomRight.y);
            return;
        }
        const double alpha = std::acos(std::clamp(cosine, -1.0, 1.0));
        for (int k = -kCapSteps; k <= kCapSteps; ++k) polygon.push_back(arcPoint(middle + alpha * k / kCapSteps));
    } else if (count == 4) {
        // The view lies inside the disc: filled, it is covered; as an outline
        // the circle is nowhere in sight.
        if (Settings().fill) DrawAxisRectangle(view, false);
        return;
    } else {
        // The run of inside corners starts at a corner whose predecessor is outside.
        int first = -1;
        for (int i = 0; i < 4; ++i)
            if (in[i] && !in[(i + 3) % 4]) first = i;
        int last = first;
        while (in[(last + 1) % 4]) last = (last + 1) % 4;
        const int runLength = (last - first + 4) % 4 + 1;
        if (runLength != count) return;  // opposite corners only: rounding, draw nothing
        for (int k = 0; k < count; ++k) polygon.push_back(corners[(first + k) % 4]);
        // Where the circle crosses the edge from corner a (inside) towards b.
        const auto crossing = [&](const Point& a, const Point& b) {
            if (a.Y == b.Y) {
                const double dy = a.Y - cy;
                const double dx = std::sqrt(std::max(0.0, r * r - dy * dy));
                const double x = b.X > a.X ? cx + dx : cx - dx;
                return std::atan2(dy, x - cx);
            }
            const double dx = a.X - cx;
            const double dy = std::sqrt(std::max(0.0, r * r - dx * dx));
            const double y = b.Y > a.Y ? cy + dy : cy - dy;
            return std::atan2(y - cy, dx);
        };
        const double start = crossing(corners[last], corners[(last + 1) % 4]);
        double end = crossing(corners[first], corners[(first + 3) % 4]);
        while (end < start) end += 2 * kPi;
        for (int k = 0; k <= kArcSteps; ++k) polygon.push_back(arcPoint(start + (end - start) * k / kArcSteps));
    }
    polygon.push_back(polygon[0]);
    DrawPolygon(polygon.data(), static_cast<int>(polygon.size()));
}

void ObjectDrawing::SelectOutlinePen(bool scaled) {
    canvas.SetPen({scaled ? PenStyle::Solid : PenStyle::DashDotDot, kSymbolOutlineColor, 1});
    canvas.SetBrush(kNullBrush);
}

void ObjectDrawing::WriteName(Point at, const std::string& text) {
    const PixelPoint p = Map(at);
    canvas.Text(p.x + 2, p.y - 1, text);
}

void ObjectDrawing::DrawDiagonals(const Point* corners) {
    const PixelPoint p0 = Map(corners[0]), p1 = Map(corners[1]), p2 = Map(corners[2]), p3 = Map(corners[3]);
    canvas.Line(p0.x, p0.y, p2.x, p2.y);
    canvas.Line(p3.x, p3.y, p1.x, p1.y);
}

namespace {

// Read from the record each time: an array inside an element is drawn
// between the elements of the outer one.
bool MagnifiesElements(const ArrayView<Word>& array) { return std::fabs(array.Magnification() - 1) > 1e-10; }

bool Scaled(const TransformMatrix& s) {
    const DecomposedTransform parts = DecomposeTransform(s);
    return std::fabs(std::fabs(parts.scaleX) - 1) > 1e-10 || std::fabs(std::fabs(parts.scaleY) - 1) > 1e-10;
}

}  // namespace

// A call is entered when its contents are shown down to this level and it is
// larger than a dot; otherwise its outline (with diagonals) stands for it.
bool ObjectDrawing::EnterCall(Word* r, SymbolDescription* called, const TransformMatrix& m, const TransformMatrix& s,
                              int level) {
    const ModelSettings& settings = Settings();
    lastLayer = -1;
    if (level > settings.levels) return false;
    Point box[4];
    if (called) {
        ObjectBounds(r, &layout);  // refreshes the cached extent
        MapCorners(called->Bounds(), s, box);
    } else {
        MapCorners(CallView(r).CachedExtent(), m, box);  // in the caller's coordinates
    }
    const Rect bounds = PointsBounds(box, 4);
    if (!Visible(bounds)) return false;
    const bool scaled = Scaled(s);
    SelectOutlinePen(scaled);
    if (called && settings.showInteriors && level != settings.levels) {
        // Contents smaller than a dot would only draw dots on top of it.
        if (DrawDot(bounds) || PollInput() || Open(called)) return false;
        if (DrawDense(*called, box, bounds)) {
            DrawCallBorder(*called, s, level);
            return false;
        }
        open.push_back(called);
        return true;
    }
    if (DrawDot(bounds)) return false;
    if (level == 0 && called) WriteName(box[0], called->Name());
    DrawClosedOutline(box, 4);
    DrawDiagonals(box);
    return false;
}

void ObjectDrawing::LeaveCall(SymbolDescription& called, const TransformMatrix& s, int level) {
    open.pop_back();
    DrawCallBorder(called, s, level);
}

void ObjectDrawing::DrawCallBorder(SymbolDescription& called, const TransformMatrix& s, int level) {
    lastLayer = -1;
    if (!Settings().showBorders) return;
    Point box[4];
    MapCorners(called.Bounds(), s, box);
    SelectOutlinePen(Scaled(s));
    if (level == 0) WriteName(box[0], called.Name());
    DrawClosedOutline(box, 4);
}

bool ObjectDrawing::EnterArray(Word* r, SymbolDescription* called, const TransformMatrix& m, int level) {
    lastLayer = -1;
    if (level > Settings().levels) return false;
    const ArrayView array(r);
    const double magnification = array.Magnification();
    if (magnification == 0) return false;
    if (level < 0 || !called) {
        const Point origin = array.Origin(), columnEnd = array.ColumnEnd(), rowEnd = array.RowEnd();
        Point lattice[4] = {origin,
                            columnEnd,
                            {SaturateToInt32(std::int64_t{columnEnd.X} + rowEnd.X - origin.X),
                             SaturateToInt32(std::int64_t{columnEnd.Y} + rowEnd.Y - origin.Y)},
                            rowEnd};
        if (!IsIdentity(m)) TransformPoints(lattice, 4, m);
        DrawClosedOutline(lattice, 4);
        return false;
    }
    ObjectBounds(r, &layout);  // refreshes the cached extent
    called->EnsureBounds();
    SelectOutlinePen(MagnifiesElements(array));
    // The elements are drawn here rather than by the walk, which would visit
    // every one of them, in view or not.
    DrawElements(r, *called, m, level);
    LeaveArray(r, *called, m, level);
    return false;
}

namespace {

// Narrows [first, last] to the k with coef * k in [lo, hi], rounding outwards.
void Narrow(double coef, double lo, double hi, std::int64_t& first, std::int64_t& last) {
    if (first > last) return;
    if (coef == 0) {
        if (lo > 0 || hi < 0) last = first - 1;
        return;
    }
    double from = lo / coef, to = hi / coef;
    if (coef < 0) std::swap(from, to);
    first = static_cast<std::int64_t>(std::max(static_cast<double>(first), std::floor(from)));
    last = static_cast<std::int64_t>(std::min(static_cast<double>(last), std::ceil(to)));
}

// Narrows [first, last] to where `holds` is true, `holds` being monotone over
// the range (either way round).
template <typename Holds>
void NarrowMonotone(std::int64_t& first, std::int64_t& last, Holds holds) {
    if (first > last) return;
    const bool atFirst = holds(first), atLast = holds(last);
    if (atFirst && atLast) return;
    if (!atFirst && !atLast) {
        last = first - 1;
        return;
    }
    std::int64_t lo = first, hi = last;  // holds(lo) == atFirst, holds(hi) == atLast
    while (hi - lo > 1) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        (holds(mid) == atFirst ? lo : hi) = mid;
    }
    (atFirst ? last : first) = atFirst ? lo : hi;
}

// The first k after `from` (up to `last`) whose key differs from that of
// `from`, the key being monotone in k; last + 1 when there is none.
template <typename Key>
std::int64_t NextChange(std::int64_t from, std::int64_t last, Key key) {
    const auto at = key(from);
    std::int64_t lo = from, hi = last + 1;  // key(lo) == at; hi is past the end or differs
    while (hi - lo > 1) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        (key(mid) == at ? lo : hi) = mid;
    }
    return hi;
}

bool AxisParallel(const TransformMatrix& m) { return (m.b == 0 && m.c == 0) || (m.a == 0 && m.d == 0); }

}  // namespace

void ObjectDrawing::DrawElements(Word* r, SymbolDescription& called, const TransformMatrix& m, int level) {
    const ArrayView array(r);
    const std::int64_t columns = array.Columns(), rows = array.Rows();
    if (columns <= 0 || rows <= 0) return;
    const Rect symbolBox = called.Bounds();
    Point box[4];
    MapCorners(symbolBox, ComposeTransform(array.Element(0, 0), m), box);
    const Rect first = PointsBounds(box, 4);

    // Which elements can meet the view: element (i, j) lies near element
    // (0, 0) moved by i column steps and j row steps.  The margins cover the
    // rounding of each element's position and of its mapped corners.
    const Point origin = array.Origin(), columnEnd = array.ColumnEnd(), rowEnd = array.RowEnd();
    const double cx = (double(columnEnd.X) - origin.X) / columns, cy = (double(columnEnd.Y) - origin.Y) / columns;
    const double rx = (double(rowEnd.X) - origin.X) / rows, ry = (double(rowEnd.Y) - origin.Y) / rows;
    const double ux = m.a * cx + m.c * cy, uy = m.b * cx + m.d * cy;  // a column step in the view
    const double vx = m.a * rx + m.c * ry, vy = m.b * rx + m.d * ry;  // a row step
    const double marginX = std::fabs(m.a) + std::fabs(m.c) + 2, marginY = std::fabs(m.b) + std::fabs(m.d) + 2;
    const double xlo = double(view.minx) - first.maxx - marginX, xhi = double(view.maxx) - first.minx + marginX;
    const double ylo = double(view.miny) - first.maxy - marginY, yhi = double(view.maxy) - first.miny + marginY;
    const double lastRow = double(rows - 1);
    std::int64_t i0 = 0, i1 = columns - 1;
    Narrow(ux, xlo - std::max(0.0, lastRow * vx), xhi - std::min(0.0, lastRow * vx), i0, i1);
    Narrow(uy, ylo - std::max(0.0, lastRow * vy), yhi - std::min(0.0, lastRow * vy), i0, i1);
    if (i0 > i1) return;

    // Elements smaller than a dot all the way (their mapped size varies by a
    // unit at most) are dots and nothing else.
    const std::int64_t width = std::int64_t{first.maxx} - first.minx, height = std::int64_t{first.maxy} - first.miny;
    if (width + 1 < layout.view.minObjectSize && height + 1 < layout.view.minObjectSize && AxisParallel(m)) {
        DrawElementDots(r, called, m, static_cast<int>(i0), static_cast<int>(i1));
        return;
    }

    const ModelSettings& settings = Settings();
    for (std::int64_t i = i0; i <= i1 && !abandoned; ++i) {
        if (i > i0 && PollInput()) break;
        std::int64_t j0 = 0, j1 = rows - 1;
        Narrow(vx, xlo - i * ux, xhi - i * ux, j0, j1);
        Narrow(vy, ylo - i * uy, yhi - i * uy, j0, j1);
        for (std::int64_t j = j0; j <= j1 && !abandoned; ++j) {
            const TransformMatrix e = ComposeTransform(array.Element(static_cast<int>(i), static_cast<int>(j)), m);
            MapCorners(symbolBox, e, box);
            const Rect bounds = PointsBounds(box, 4);
            if (!Visible(bounds)) continue;
            if (DrawDot(bounds)) {
                if (settings.showInteriors && settings.showBorders) DrawClosedOutline(box, 4);
                continue;
            }
            if (!settings.showInteriors) {
                DrawClosedOutline(box, 4);
                DrawDiagonals(box);
                continue;
            }
            if (Open(&called)) continue;
            if (DrawDense(called, box, bounds)) {
                LeaveElement(r, called, e);
                continue;
            }
            DrawSymbol(called, level + 1, e);
            if (!abandoned) LeaveElement(r, called, e);
        }
    }
}

const ObjectDrawing::Load& ObjectDrawing::LoadOf(SymbolDescription& top) {
    if (const auto found = loads.find(&top); found != loads.end() && found->second.done) return found->second;
    // Deepest first from a stack of its own: hierarchies can be far deeper
    // than the call stack.  A symbol met again while open (a cycle) adds
    // nothing.  The map's elements stay where they are as it grows.
    struct Frame {
        SymbolDescription* symbol;
        Word* next;
    };
    std::vector<Frame> stack{{&top, top.FirstRecord()}};
    loads[&top] = Load{};
    const auto addLayer = [](std::vector<int>& layers, int layer) {
        const auto at = std::lower_bound(layers.begin(), layers.end(), layer);
        if (at == layers.end() || *at != layer) layers.insert(at, layer);
    };
    while (!stack.empty()) {
        SymbolDescription* symbol = stack.back().symbol;
        Word* r = stack.back().next;
        Load& load = loads[symbol];
        if (!r) {
            load.done = true;
            stack.pop_back();
            continue;
        }
        stack.back().next = symbol->NextRecord(r);
        load.objects += 1;
        const ObjectKind kind = RecordKind(r);
        if (kind != ObjectKind::SymbolCall && kind != ObjectKind::SymbolArray) {
            if (kind != ObjectKind::Group && kind != ObjectKind::Text && kind != ObjectKind::Measurement &&
                kind != ObjectKind::Script)
                addLayer(load.layers, RecordLayer(r));
            continue;
        }
        SymbolDescription* called = layout.FindSymbol(PlacementView(r).SymbolId());
        if (!called) continue;
        const auto [entry, fresh] = loads.try_emplace(called);
        if (fresh) {
            // Count this record again once the called symbol is known.
            load.objects -= 1;
            stack.back().next = r;
            stack.push_back({called, called->FirstRecord()});
            continue;
        }
        const Load& inner = entry->second;
        if (!inner.done) continue;
        double times = 1;
        if (kind == ObjectKind::SymbolArray) {
            const ArrayView array(r);
            times = array.Magnification() == 0 ? 0 : std::max(0.0, double(array.Columns()) * array.Rows());
        }
        load.objects += times * inner.objects;
        for (const int layer : inner.layers) addLayer(load.layers, layer);
    }
    return loads[&top];
}

bool ObjectDrawing::DrawDense(SymbolDescription& called, const Point* box, const Rect& bounds) {
    const double pixels =
        ((double(bounds.maxx) - bounds.minx) * scaleX + 1) * ((double(bounds.maxy) - bounds.miny) * scaleY + 1);
    const Load& load = LoadOf(called);
    if (load.objects <= kObjectsPerPixel * pixels) return false;
    for (const int layer : load.layers) {
        if (const LayerDescription* description = layout.Layer(layer)) {
            if (!description->visible) continue;
            canvas.SetBrush(LayerBrush(*description));
            canvas.SetPen(LayerPen(*description));
        } else {
            canvas.SetBrush(kNullBrush);
            canvas.SetPen(CanvasPen{PenStyle::Solid, 0, 1});
        }
        DrawClosedOutline(box, 4);
    }
    lastLayer = -1;
    return true;
}

void ObjectDrawing::DrawElementDots(Word* r, SymbolDescription& called, const TransformMatrix& m, int firstColumn,
                                    int lastColumn) {
    const ArrayView array(r);
    const Rect symbolBox = called.Bounds();
    const bool outlines = Settings().showInteriors && Settings().showBorders;
    const auto cornersOf = [&](std::int64_t i, std::int64_t j, Point* box) {
        MapCorners(symbolBox, ComposeTransform(array.Element(static_cast<int>(i), static_cast<int>(j)), m), box);
    };
    const auto boundsOf = [&](std::int64_t i, std::int64_t j) {
        Point box[4];
        cornersOf(i, j, box);
        return PointsBounds(box, 4);
    };
    // Elements whose corners fall on the same pixels draw the same dot and
    // outline; without outlines the dot's pixel alone tells.
    const auto pixelsOf = [&](std::int64_t i, std::int64_t j) {
        Point box[4];
        cornersOf(i, j, box);
        std::array<PixelPoint, 4> pixels;
        if (!outlines) {
            const Rect bounds = PointsBounds(box, 4);
            pixels.fill(Map({bounds.minx, bounds.miny}));
            return pixels;
        }
        for (int k = 0; k < 4; ++k) pixels[static_cast<std::size_t>(k)] = Map(box[k]);
        return pixels;
    };
    const auto mark = [&](std::int64_t i, std::int64_t j) {
        Point box[4];
        cornersOf(i, j, box);
        const Rect bounds = PointsBounds(box, 4);
        if (!Visible(bounds)) return;
        DrawDot(bounds);
        if (outlines) DrawClosedOutline(box, 4);
    };
    // Under an axis-parallel matrix every edge of an element's box moves
    // monotonically with i and with j, so the visible elements of a column are
    // one run, and a run can be stepped through pixel by pixel.
    const auto visibleRun = [&](std::int64_t& from, std::int64_t& to, bool inX, bool inY, auto bounds) {
        if (inX) {
            NarrowMonotone(from, to, [&](std::int64_t k) { return bounds(k).maxx >= view.minx; });
            NarrowMonotone(from, to, [&](std::int64_t k) { return bounds(k).minx <= view.maxx; });
        }
        if (inY) {
            NarrowMonotone(from, to, [&](std::int64_t k) { return bounds(k).maxy >= view.miny; });
            NarrowMonotone(from, to, [&](std::int64_t k) { return bounds(k).miny <= view.maxy; });
        }
    };
    // The representatives of a visible run: the first index of each step of
    // pixels.  An outline clipped at the view's edge leaves other points than
    // an unclipped one on the same pixels, so with outlines the elements
    // within the view (widened by the clipping's unit) are stepped through
    // apart from those on either side of them.
    const auto representatives = [&](std::int64_t from, std::int64_t to, bool inX, bool inY, auto bounds, auto key,
                                     std::vector<std::int64_t>& out) {
        std::int64_t inFrom = from, inTo = to;
        if (outlines) {
            if (inX) {
                NarrowMonotone(inFrom, inTo, [&](std::int64_t k) { return bounds(k).minx >= view.minx - 1; });
                NarrowMonotone(inFrom, inTo, [&](std::int64_t k) { return bounds(k).maxx <= view.maxx + 1; });
            }
            if (inY) {
                NarrowMonotone(inFrom, inTo, [&](std::int64_t k) { return bounds(k).miny >= view.miny - 1; });
                NarrowMonotone(inFrom, inTo, [&](std::int64_t k) { return bounds(k).maxy <= view.maxy + 1; });
            }
        }
        const auto step = [&](std::int64_t first, std::int64_t last) {
            for (std::int64_t k = first; k <= last; k = NextChange(k, last, key)) out.push_back(k);
        };
        if (inFrom > inTo) {
            step(from, to);
            return;
        }
        step(from, inFrom - 1);
        step(inFrom, inTo);
        step(inTo + 1, to);
    };
    const std::int64_t rows = array.Rows();
    const Point origin = array.Origin(), columnEnd = array.ColumnEnd(), rowEnd = array.RowEnd();
    const bool columnsMoveX = columnEnd.X != origin.X, columnsMoveY = columnEnd.Y != origin.Y;
    const bool rowsMoveX = rowEnd.X != origin.X, rowsMoveY = rowEnd.Y != origin.Y;
    // Which of the view's coordinates each index moves.
    const bool xByI = (m.a != 0 && columnsMoveX) || (m.c != 0 && columnsMoveY);
    const bool xByJ = (m.a != 0 && rowsMoveX) || (m.c != 0 && rowsMoveY);
    const bool yByI = (m.b != 0 && columnsMoveX) || (m.d != 0 && columnsMoveY);
    const bool yByJ = (m.b != 0 && rowsMoveX) || (m.d != 0 && rowsMoveY);

    if (!(xByI && xByJ) && !(yByI && yByJ)) {
        // Each coordinate moves with one index at most: the marks are those of
        // the columns' distinct pixel positions crossed with the rows'.
        std::int64_t i0 = firstColumn, i1 = lastColumn, j0 = 0, j1 = rows - 1;
        visibleRun(i0, i1, xByI, yByI, [&](std::int64_t i) { return boundsOf(i, 0); });
        visibleRun(j0, j1, xByJ, yByJ, [&](std::int64_t j) { return boundsOf(firstColumn, j); });
        std::vector<std::int64_t> columnsShown, rowsShown;
        representatives(
            i0, i1, xByI, yByI, [&](std::int64_t i) { return boundsOf(i, 0); },
            [&](std::int64_t k) { return pixelsOf(k, 0); }, columnsShown);
        representatives(
            j0, j1, xByJ, yByJ, [&](std::int64_t j) { return boundsOf(firstColumn, j); },
            [&](std::int64_t k) { return pixelsOf(firstColumn, k); }, rowsShown);
        for (const std::int64_t i : columnsShown) {
            if (i != columnsShown.front() && PollInput()) return;
            for (const std::int64_t j : rowsShown) mark(i, j);
        }
        return;
    }
    // A slanted lattice: column by column, each column's visible run stepped
    // through pixel by pixel; neighbouring columns share most of their marks.
    std::set<std::array<int, 9>> marked;
    std::vector<std::int64_t> shown;
    for (std::int64_t i = firstColumn; i <= lastColumn; ++i) {
        if (i > firstColumn && PollInput()) return;
        std::int64_t j0 = 0, j1 = rows - 1;
        const auto bounds = [&](std::int64_t j) { return boundsOf(i, j); };
        visibleRun(j0, j1, true, true, bounds);
        shown.clear();
        representatives(
            j0, j1, true, true, bounds, [&](std::int64_t k) { return pixelsOf(i, k); }, shown);
        for (const std::int64_t j : shown) {
            const std::array<PixelPoint, 4> pixels = pixelsOf(i, j);
            const Rect b = boundsOf(i, j);
            std::array<int, 9> key;
            for (std::size_t k = 0; k < 4; ++k) {
                key[2 * k] = pixels[k].x;
                key[2 * k + 1] = pixels[k].y;
            }
            key[8] = b.minx >= view.minx - 1 && b.maxx <= view.maxx + 1 && b.miny >= view.miny - 1 &&
                     b.maxy <= view.maxy + 1;
            if (marked.insert(key).second) mark(i, j);
        }
    }
}

void ObjectDrawing::LeaveElement(Word* r, SymbolDescription& called, const TransformMatrix& e) {
    lastLayer = -1;
    SelectOutlinePen(MagnifiesElements(ArrayView(r)));
    if (!Settings().showBorders) return;
    Point box[4];
    MapCorners(called.Bounds(), e, box);
    DrawClosedOutline(box, 4);
}

void ObjectDrawing::LeaveArray(Word* r, SymbolDescription& called, const TransformMatrix& m, int level) {
    lastLayer = -1;
    if (abandoned || !Settings().showBorders) return;
    Point extent[4];
    MapCorners(ArrayView(r).CachedExtent(), m, extent);
    SelectOutlinePen(MagnifiesElements(ArrayView(r)));
    if (level == 0) WriteName(extent[0], "Array of <" + called.Name().substr(0, 64) + ">");
    DrawClosedOutline(extent, 4);
}

void ObjectDrawing::DrawGroup(Word* r, const TransformMatrix& m) {
    const Rect extent = ObjectBounds(r, &layout);
    Point corners[4];
    MapCorners(extent, m, corners);
    const CanvasPen groupPen{PenStyle::DashDotDot, kGroupOutlineColor, 1};
    if (corners[0].X == corners[1].X || corners[0].Y == corners[1].Y) {
        const Rect bounds = PointsBounds(corners, 4);
        if (!Visible(bounds)) return;
        canvas.SetPen(groupPen);
        DrawAxisRectangle(bounds, true);
        return;
    }
    const Rect bounds = PointsBounds(corners, 4);
    if (!Visible(bounds) || DrawDot(bounds)) return;
    canvas.SetPen(groupPen);
    canvas.SetBrush(kNullBrush);
    DrawClosedOutline(corners, 4);
}

void ObjectDrawing::DrawMeasureLine(const SymbolDescription& symbol) { DrawMeasureLine(symbol.view); }

void ObjectDrawing::DrawMeasureLine(const SymbolView& line) {
    if (!line.measureShown) return;
    const Point start{line.measureX1, line.measureY1}, end{line.measureX2, line.measureY2};
    Point a = start, b = end;
    if (!ClipSegmentToRect(a, b, view)) return;
    const bool startKept = a == start, endKept = b == end;
    const std::int32_t length = RoundHalfAway(std::hypot(double(end.X) - start.X, double(end.Y) - start.Y));
    const std::string label = FormatMicrons(length);

    const PixelPoint pa = Map(a), pb = Map(b);
    const double dx = double(pb.x) - pa.x, dy = double(pb.y) - pa.y;
    const double pixelLength = std::hypot(dx, dy);
    PixelPoint tick{0, 0};
    if (pixelLength > 0) tick = {RoundHalfAway(7 * dy / pixelLength), RoundHalfAway(-7 * dx / pixelLength)};
    const double tickLength = std::hypot(double(tick.x), double(tick.y));
    const bool arrows = pixelLength > 2 * tickLength;

    CanvasFont font{16, 400, "MS Sans Serif", RoundHalfAway(std::atan2(-dy, dx) * 1800 / kPi)};
    PixelPoint centre{(pa.x + pb.x) / 2, (pa.y + pb.y) / 2};
    if (pixelLength > canvas.TextExtent(label, font).x) centre = {centre.x + tick.x, centre.y + tick.y};
    canvas.XorTextBlock(centre.x, centre.y, label, font);

    canvas.SetPen({PenStyle::Solid, Settings().backgroundBlack ? 0xFFFFFFu : 0u, 1});
    canvas.SetBrush(kNullBrush);
    const auto endMarks = [&](PixelPoint at, PixelPoint towards) {
        const PixelPoint across[2] = {{at.x + tick.x, at.y + tick.y}, {at.x - tick.x, at.y - tick.y}};
        canvas.Polyline(across, 2);
        if (!arrows) return;
        // An arrow head two ticks long, as wide as one tick.
        const double ux = (towards.x - at.x) / pixelLength * 2 * tickLength;
        const double uy = (towards.y - at.y) / pixelLength * 2 * tickLength;
        const PixelPoint head[4] = {at,
                                    {RoundHalfAway(at.x + ux + tick.x / 2.0), RoundHalfAway(at.y + uy + tick.y / 2.0)},
                                    {RoundHalfAway(at.x + ux - tick.x / 2.0), RoundHalfAway(at.y + uy - tick.y / 2.0)},
                                    at};
        canvas.Polyline(head, 4);
    };
    if (startKept) endMarks(pa, pb);
    if (endKept) endMarks(pb, pa);
    const PixelPoint segment[2] = {pa, pb};
    canvas.Polyline(segment, 2);
}

void ObjectDrawing::DrawSelectionHandles(SymbolDescription& symbol, int mode) {
    const RasterOp previous = canvas.SetRasterOp(RasterOp::Not);
    canvas.SetPen({PenStyle::Solid, 0, 1});
    canvas.SetBrush(kNullBrush);
    const auto hollow = [&](Point at) {
        const PixelPoint p = Map(at);
        const PixelPoint box[5] = {
            {p.x - 4, p.y - 4}, {p.x + 4, p.y - 4}, {p.x + 4, p.y + 4}, {p.x - 4, p.y + 4}, {p.x - 4, p.y - 4}};
        canvas.Polyline(box, 5);
    };
    const auto square = [&](const Word* r) {
        if (const std::optional<Point> at = ReferencePoint(r)) hollow(*at);
    };
    const NodeList& nodes = symbol.view.nodeList;
    if (mode == 0 || mode == 2) {
        for (Word* r = symbol.FirstSelected(); r; r = symbol.NextSelected(r)) square(r);
    } else if (mode == 1 && !nodes.nodes.empty()) {
        for (const Point& node : nodes.nodes) hollow(node);
        canvas.SetBrush({-1, 0});
        for (int i : nodes.selected) {
            if (i < 0 || i >= static_cast<int>(nodes.nodes.size())) continue;
            const PixelPoint p = Map(nodes.nodes[static_cast<std::size_t>(i)]);
            canvas.Rectangle(p.x - 5, p.y - 5, p.x + 5, p.y + 5);
        }
    } else if (const Word* current = symbol.CurrentObject()) {
        // Also the node mode, for kinds without nodes: the current object
        // still shows which it is.
        square(current);
    }
    canvas.SetRasterOp(previous);
}

void ObjectDrawing::DrawSelectionFrame(const SymbolDescription& symbol, int mode) {
    if (mode == 1 || !symbol.view.frameShown) return;
    // Sides far outside the view are drawn just beyond it.
    const std::int64_t gx = (std::int64_t{view.maxx} - view.minx) / 10, gy = (std::int64_t{view.maxy} - view.miny) / 10;
    const Rect& b = symbol.selectionBox;
    const Rect frame{SaturateToInt32(std::max<std::int64_t>(b.minx, view.minx - gx)),
                     SaturateToInt32(std::max<std::int64_t>(b.miny, view.miny - gy)),
                     SaturateToInt32(std::min<std::int64_t>(b.maxx, view.maxx + gx)),
                     SaturateToInt32(std::min<std::int64_t>(b.maxy, view.maxy + gy))};
    const RasterOp previous = canvas.SetRasterOp(RasterOp::Not);
    canvas.SetPen({PenStyle::Dot, 0, 1});
    canvas.SetBrush(kNullBrush);
    const PixelPoint topLeft = Map({frame.minx, frame.maxy}), bottomRight = Map({frame.maxx, frame.miny});
    const PixelPoint outline[5] = {
        topLeft, {bottomRight.x, topLeft.y}, bottomRight, {topLeft.x, bottomRight.y}, topLeft};
    canvas.Polyline(outline, 5);
    canvas.SetRasterOp(previous);
}

bool DrawLayout(Layout& layout, Canvas& windowCanvas) {
    return ObjectDrawing(layout, windowCanvas).DrawLayout(true, false);
}

bool DrawLayoutOnCanvas(Layout& layout, Canvas& canvas) { return ObjectDrawing(layout, canvas).DrawLayout(false); }

bool DrawLayoutOnCanvasWithFont(Layout& layout, Canvas& canvas) {
    return ObjectDrawing(layout, canvas).DrawLayout(true);
}

}  // namespace zandor
