#include "editing/FrameDrag.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/Numbers.h"
#include "editing/HitTesting.h"
#include "model/Geometry.h"

namespace zandor {

namespace {

std::int32_t Difference(std::int32_t a, std::int32_t b) { return SaturateToInt32(std::int64_t{a} - b); }
std::int32_t Sum(std::int64_t a, std::int64_t b) { return SaturateToInt32(a + b); }

std::string Um(std::int64_t units) { return FormatNumber(static_cast<double>(units) * 0.001); }
std::string Factor(double f) { return FormatNumber(RoundHalfAway(f * 100) * 0.01); }

bool IsCorner(int zone) { return zone == kCursorScaleSwNe || zone == kCursorScaleNwSe; }

// The frame DragFrame works on: ordered, and at least one unit wide and high
// so that factors and the aspect ratio exist.
struct WorkFrame {
    std::int64_t x1, y1, x2, y2;
    std::int64_t Width() const { return x2 - x1; }
    std::int64_t Height() const { return y2 - y1; }
    double CentreX() const { return (x1 + x2) / 2.0; }
    double CentreY() const { return (y1 + y2) / 2.0; }
};

WorkFrame Widened(const Rect& r) {
    WorkFrame f{std::min(r.minx, r.maxx), std::min(r.miny, r.maxy), std::max(r.minx, r.maxx), std::max(r.miny, r.maxy)};
    if (f.x2 == f.x1) ++f.x2;
    if (f.y2 == f.y1) ++f.y2;
    return f;
}

DraggedFrame Result(const WorkFrame& old, std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2) {
    DraggedFrame d;
    d.x1 = SaturateToInt32(x1);
    d.y1 = SaturateToInt32(y1);
    d.x2 = SaturateToInt32(x2);
    d.y2 = SaturateToInt32(y2);
    d.fx = static_cast<double>(std::int64_t{d.x2} - d.x1) / static_cast<double>(old.Width());
    d.fy = static_cast<double>(std::int64_t{d.y2} - d.y1) / static_cast<double>(old.Height());
    return d;
}

// Each axis on its own: a dragged edge goes to SnapX/SnapY of its moved
// position, with Shift its opposite edge mirrors it about the centre.
DraggedFrame StretchEdges(const FrameDrag& drag, const WorkFrame& f, const PointerSnapper& snapper) {
    std::int64_t x1 = f.x1, x2 = f.x2, y1 = f.y1, y2 = f.y2;
    const bool left = drag.left && !drag.right, right = drag.right && !drag.left;
    const bool bottom = drag.bottom && !drag.top, top = drag.top && !drag.bottom;
    if (left) {
        x1 = snapper.SnapX(Sum(f.x1, drag.dx));
        if (drag.symmetric) x2 = f.x1 + f.x2 - x1;
    } else if (right) {
        x2 = snapper.SnapX(Sum(f.x2, drag.dx));
        if (drag.symmetric) x1 = f.x1 + f.x2 - x2;
    }
    if (bottom) {
        y1 = snapper.SnapY(Sum(f.y1, drag.dy));
        if (drag.symmetric) y2 = f.y1 + f.y2 - y1;
    } else if (top) {
        y2 = snapper.SnapY(Sum(f.y2, drag.dy));
        if (drag.symmetric) y1 = f.y1 + f.y2 - y2;
    }
    DraggedFrame d = Result(f, x1, y1, x2, y2);
    const bool bothX = (left || right) && drag.symmetric, bothY = (bottom || top) && drag.symmetric;
    d.originX = bothX ? f.CentreX() : static_cast<double>(left ? f.x2 : f.x1);
    d.originY = bothY ? f.CentreY() : static_cast<double>(bottom ? f.y2 : f.y1);
    return d;
}

// The dragged corner slides along the diagonal through the frame centre, so
// the frame keeps its aspect ratio.
DraggedFrame ScaleProportionally(const FrameDrag& drag, const WorkFrame& f, const PointerSnapper& snapper) {
    // The corner: from the edge flags; a side edge standing for a corner
    // (one flag only) completes it with the zone's diagonal.
    int kx = drag.right && !drag.left ? 1 : drag.left && !drag.right ? -1 : 0;
    int ky = drag.top && !drag.bottom ? 1 : drag.bottom && !drag.top ? -1 : 0;
    const int diagonal = drag.zone == kCursorScaleSwNe ? 1 : -1;
    if (kx == 0 && ky == 0) kx = 1;
    if (kx == 0) kx = diagonal * ky;
    if (ky == 0) ky = diagonal * kx;

    const double cx = f.CentreX(), cy = f.CentreY();
    std::int64_t cornerX = kx > 0 ? f.x2 : f.x1, cornerY = ky > 0 ? f.y2 : f.y1;
    if (drag.dx != 0 || drag.dy != 0) {
        const double e = static_cast<double>(f.Height()) / static_cast<double>(f.Width());
        const double n = std::sqrt(1 + e * e);
        const double p = (kx * static_cast<double>(drag.dx) + ky * e * static_cast<double>(drag.dy)) / n;
        const double movedX = static_cast<double>(cornerX) + kx * p / n;
        const double movedY = static_cast<double>(cornerY) + ky * e * p / n;
        const Point snapped = snapper.SnapPoint({RoundHalfAway(movedX), RoundHalfAway(movedY)});
        const double slope = kx * ky * e;
        if (std::abs(snapped.X - movedX) <= std::abs(snapped.Y - movedY)) {
            cornerX = snapped.X;
            cornerY = RoundHalfAway(cy + (static_cast<double>(cornerX) - cx) * slope);
        } else {
            cornerY = snapped.Y;
            cornerX = RoundHalfAway(cx + (static_cast<double>(cornerY) - cy) / slope);
        }
    }
    std::int64_t x1 = f.x1, x2 = f.x2, y1 = f.y1, y2 = f.y2;
    (kx > 0 ? x2 : x1) = cornerX;
    (ky > 0 ? y2 : y1) = cornerY;
    if (drag.symmetric) {
        (kx > 0 ? x1 : x2) = f.x1 + f.x2 - cornerX;
        (ky > 0 ? y1 : y2) = f.y1 + f.y2 - cornerY;
    }
    DraggedFrame d = Result(f, x1, y1, x2, y2);
    const bool byWidth = drag.left || drag.right;
    d.fx = d.fy = byWidth ? d.fx : d.fy;
    d.originX = drag.symmetric ? cx : static_cast<double>(kx > 0 ? f.x1 : f.x2);
    d.originY = drag.symmetric ? cy : static_cast<double>(ky > 0 ? f.y1 : f.y2);
    return d;
}

}  // namespace

bool FrameDrag::Moving() const { return zone == kCursorMove; }
bool FrameDrag::Rotating() const { return zone == kCursorRotate; }
bool FrameDrag::ZeroSizedFrame() const { return frame.minx == frame.maxx || frame.miny == frame.maxy; }

FrameDrag StartFrameDrag(const Rect& frame, int zone, Point press, double sx) {
    FrameDrag drag;
    drag.frame = {std::min(frame.minx, frame.maxx), std::min(frame.miny, frame.maxy), std::max(frame.minx, frame.maxx),
                  std::max(frame.miny, frame.maxy)};
    drag.zone = zone;
    drag.press = press;
    if (zone == kCursorMove) {
        drag.left = drag.right = drag.bottom = drag.top = true;
        return drag;
    }
    const std::int64_t c = std::int64_t{RoundHalfAway(5 / sx)} + 1;
    const auto near = [c](std::int32_t a, std::int32_t b) { return std::llabs(std::int64_t{a} - b) < c; };
    drag.top = near(press.Y, drag.frame.maxy);
    drag.bottom = near(press.Y, drag.frame.miny);
    drag.left = near(press.X, drag.frame.minx);
    drag.right = near(press.X, drag.frame.maxx);
    if (drag.top && drag.bottom) drag.top = drag.bottom = false;
    if (drag.left && drag.right) drag.left = drag.right = false;
    return drag;
}

Point SnapMoveDisplacement(const Rect& frame, std::int32_t dx, std::int32_t dy, bool shift,
                           const PointerSnapper& snapper) {
    std::int32_t guide = 0;
    bool foundX = true, foundY = true;
    Point d{dx, dy};
    if (snapper.GuideSnapX(Sum(frame.minx, dx), guide)) {
        d.X = Difference(guide, frame.minx);
    } else if (snapper.GuideSnapX(Sum(frame.maxx, dx), guide)) {
        d.X = Difference(guide, frame.maxx);
    } else {
        foundX = false;
    }
    if (snapper.GuideSnapY(Sum(frame.miny, dy), guide)) {
        d.Y = Difference(guide, frame.miny);
    } else if (snapper.GuideSnapY(Sum(frame.maxy, dy), guide)) {
        d.Y = Difference(guide, frame.maxy);
    } else {
        foundY = false;
    }
    if (foundX && foundY) return d;
    Point grid;
    if (shift) {
        const Point corner = snapper.SnapPoint({Sum(frame.minx, dx), Sum(frame.miny, dy)});
        grid = {Difference(corner.X, frame.minx), Difference(corner.Y, frame.miny)};
    } else {
        grid = snapper.SnapVector({dx, dy});
    }
    if (!foundX) d.X = grid.X;
    if (!foundY) d.Y = grid.Y;
    return d;
}

void DragFrameTo(FrameDrag& drag, Point pointer, bool shift, bool ctrl, const PointerSnapper& snapper) {
    drag.symmetric = shift;
    drag.constrain = ctrl;
    drag.dx = Difference(pointer.X, drag.press.X);
    drag.dy = Difference(pointer.Y, drag.press.Y);
    if (drag.Rotating()) drag.angle = RotationAngle(drag.frame, drag.left, drag.top, drag.dx, drag.dy);
    if (drag.Moving()) {
        const Point d = SnapMoveDisplacement(drag.frame, drag.dx, drag.dy, shift, snapper);
        drag.dx = d.X;
        drag.dy = d.Y;
    }
}

Point MoveDisplacement(const FrameDrag& drag) {
    if (!drag.constrain) return {drag.dx, drag.dy};
    if (std::llabs(drag.dx) >= std::llabs(drag.dy)) return {drag.dx, 0};
    return {0, drag.dy};
}

DraggedFrame DragFrame(const FrameDrag& drag, const PointerSnapper& snapper) {
    const WorkFrame f = Widened(drag.frame);
    if (drag.Moving()) {
        const Point d = MoveDisplacement(drag);
        DraggedFrame moved = Result(f, f.x1 + d.X, f.y1 + d.Y, f.x2 + d.X, f.y2 + d.Y);
        moved.fx = moved.fy = 1;  // saturation at the coordinate range is no scale
        moved.originX = f.CentreX();
        moved.originY = f.CentreY();
        return moved;
    }
    if (drag.Rotating()) {
        DraggedFrame same = Result(f, f.x1, f.y1, f.x2, f.y2);
        same.originX = f.CentreX();
        same.originY = f.CentreY();
        return same;
    }
    if (IsCorner(drag.zone) && !drag.constrain) return ScaleProportionally(drag, f, snapper);
    return StretchEdges(drag, f, snapper);
}

double RotationAngle(const Rect& frame, bool left, bool top, std::int32_t dx, std::int32_t dy) {
    const double cx = (static_cast<double>(frame.minx) + frame.maxx) / 2;
    const double cy = (static_cast<double>(frame.miny) + frame.maxy) / 2;
    const double fromX = (left ? frame.minx : frame.maxx) - cx;
    const double fromY = (top ? frame.maxy : frame.miny) - cy;
    const double toX = fromX + dx, toY = fromY + dy;
    if ((fromX == 0 && fromY == 0) || (toX == 0 && toY == 0)) return 0;
    double a = std::atan2(toY, toX) - std::atan2(fromY, fromX);
    if (a > kPi) a -= 2 * kPi;
    if (a < -kPi) a += 2 * kPi;
    return a;
}

std::string DragStatusText(const FrameDrag& drag, const PointerSnapper& snapper) {
    std::string text;
    if (drag.Rotating()) {
        const std::int64_t cx = (std::int64_t{drag.frame.minx} + drag.frame.maxx) / 2;
        const std::int64_t cy = (std::int64_t{drag.frame.miny} + drag.frame.maxy) / 2;
        text = "Rotate, origin: (" + Um(cx) + ", " + Um(cy) +
               ") angle: " + std::to_string(RoundHalfAway(drag.angle * 180 / kPi)) + " degrees";
    } else if (drag.Moving()) {
        const Point d = MoveDisplacement(drag);
        text = "Move, dx: " + Um(d.X) + " dy: " + Um(d.Y);
    } else {
        const DraggedFrame f = DragFrame(drag, snapper);
        text = "Scale, (" + Um(f.x1) + ", " + Um(f.y1) + "),(" + Um(f.x2) + ", " + Um(f.y2) +
               "), width: " + Um(std::int64_t{f.x2} - f.x1) + ", height: " + Um(std::int64_t{f.y2} - f.y1) +
               ", x-scale: " + Factor(f.fx) + ", y-scale: " + Factor(f.fy);
    }
    if (drag.leaveOriginal) text += ", Leave original";
    return text;
}

}  // namespace zandor
