#include "display/LayoutViewport.h"

#include <algorithm>
#include <cmath>

#include "model/Geometry.h"
#include "model/Layout.h"
#include "model/SymbolDescription.h"
#include "platform/Messages.h"

namespace zandor {

namespace {

constexpr std::int64_t kSmallestZoom = 20;  // nanometres
constexpr std::int32_t kEmptyLayoutHalf = 40000000;
constexpr std::int32_t kEmptySymbolHalf = 100000;

std::int64_t Clamp(std::int64_t v) { return std::clamp(v, -kViewLimit, kViewLimit); }

// One axis of SetViewRect: the range of width 2 * half around centre, pushed
// back inside the limits.
void PlaceRange(std::int64_t centre, std::int64_t span, std::int64_t& low, std::int64_t& high, std::uint32_t& size) {
    const std::int64_t half = std::min(span / 2, kViewLimit);
    span = 2 * half;
    if (centre - half < -kViewLimit) {
        low = -kViewLimit;
        high = -kViewLimit + span;
    } else if (centre + half > kViewLimit) {
        low = kViewLimit - span;
        high = kViewLimit;
    } else {
        low = centre - half;
        high = centre + half;
    }
    size = static_cast<std::uint32_t>(span);
}

void WarnMaximumZoom() { platform::ShowWarning("Maximum zoom level is reached."); }

}  // namespace

LayoutViewport::LayoutViewport(Layout& owner) : layout(owner) {}

Point LayoutViewport::ScreenToWorld(int px, int py) const {
    const std::int64_t x = layout.view.xmin + static_cast<std::int64_t>(px / layout.view.sx + 0.5);
    const std::int64_t y = layout.view.ymax - static_cast<std::int64_t>(py / layout.view.sy + 0.5);
    return {SaturateToInt32(x), SaturateToInt32(y)};
}

void LayoutViewport::SetViewRect(std::int64_t xmin, std::int64_t ymin, std::int64_t xmax, std::int64_t ymax) {
    if (xmax < xmin || ymax < ymin) return;
    if (xmax == xmin) ++xmax;
    if (ymax == ymin) ++ymax;
    const double aspect = layout.view.W == 0 || layout.view.H == 0 ? 1.0 : double(layout.view.W) / layout.view.H;
    std::int64_t w = xmax - xmin, h = ymax - ymin;
    const std::int64_t cx = xmin / 2 + xmax / 2, cy = ymin / 2 + ymax / 2;
    if (h * aspect < w) {
        h = static_cast<std::int64_t>(w / aspect);
        if (h > kViewMaxSpan) {
            h = kViewMaxSpan;
            w = static_cast<std::int64_t>(h * aspect);
        }
    } else {
        w = static_cast<std::int64_t>(h * aspect);
        if (w > kViewMaxSpan) {
            w = kViewMaxSpan;
            h = static_cast<std::int64_t>(w / aspect);
        }
    }
    std::int64_t x1, x2, y1, y2;
    PlaceRange(cx, w, x1, x2, layout.view.W);
    PlaceRange(cy, h, y1, y2, layout.view.H);
    layout.view.xmin = static_cast<std::int32_t>(x1);
    layout.view.xmax = static_cast<std::int32_t>(x2);
    layout.view.ymin = static_cast<std::int32_t>(y1);
    layout.view.ymax = static_cast<std::int32_t>(y2);
    if (rangesChanged) rangesChanged(layout.view.xmin, layout.view.xmax, layout.view.ymin, layout.view.ymax);
}

void LayoutViewport::PrepareMapping(int clientWidth, int clientHeight, double dpi) {
    const double width = std::max(clientWidth - 1, 1), height = std::max(clientHeight - 1, 1);
    if (firstPaint) {
        firstPaint = false;
        SymbolDescription* main = layout.MainSymbol();
        if (main && main->FirstRecord()) {
            layout.view.W = static_cast<std::uint32_t>(std::max(1, RoundHalfAway(width * 1000 / dpi)));
            layout.view.H = static_cast<std::uint32_t>(std::max(1, RoundHalfAway(height * 1000 / dpi)));
            main->EnsureBounds();
            const Rect b = main->Bounds();
            SetViewRect(b.minx, b.miny, b.maxx, b.maxy);
        } else {
            layout.view.xmin = layout.view.ymin = -kEmptyLayoutHalf;
            layout.view.xmax = layout.view.ymax = kEmptyLayoutHalf;
            layout.view.W = layout.view.H = 2 * kEmptyLayoutHalf;
        }
    }
    // Keep the left and bottom edges and the horizontal scale; the top edge
    // follows the window's height.  The top stays inside the world limits.
    const double h = layout.view.W / (width / dpi) * (height / dpi);
    if (h <= double(kViewMaxSpan)) {
        const std::int64_t top =
            std::min<std::int64_t>(layout.view.ymin + static_cast<std::int64_t>(h + 0.5), kViewLimit);
        layout.view.H = static_cast<std::uint32_t>(std::max<std::int64_t>(top - layout.view.ymin, 1));
        layout.view.ymax = static_cast<std::int32_t>(layout.view.ymin + std::int64_t{layout.view.H});
    }
    if (rangesChanged) rangesChanged(layout.view.xmin, layout.view.xmax, layout.view.ymin, layout.view.ymax);
    layout.view.sx = width / layout.view.W;
    layout.view.sy = height / layout.view.H;
    layout.view.twoPixels = RoundHalfAway(2 / layout.view.sx) + 1;
    layout.view.minObjectSize = layout.view.twoPixels / 2 + 1;
}

void LayoutViewport::PushZoomLevel(const Rect& level) {
    if (SymbolDescription* shown = layout.ShownSymbolDescription()) shown->view.zoomStack.push_back(level);
}

void LayoutViewport::ZoomTo(const Rect& r) {
    SymbolDescription* shown = layout.ShownSymbolDescription();
    if (shown && shown->view.zoomStack.empty())
        PushZoomLevel({layout.view.xmin, layout.view.ymin, layout.view.xmax, layout.view.ymax});
    SetViewRect(r.minx, r.miny, r.maxx, r.maxy);
    if (shown) PushZoomLevel(r);
}

bool LayoutViewport::ZoomIn(int px, int py) {
    const Point p = ScreenToWorld(px, py);
    const std::int64_t dl = std::int64_t{p.X} - layout.view.xmin, dr = std::int64_t{layout.view.xmax} - p.X;
    const std::int64_t db = std::int64_t{p.Y} - layout.view.ymin, dt = std::int64_t{layout.view.ymax} - p.Y;
    if (dl + dr < kSmallestZoom || db + dt < kSmallestZoom) {
        WarnMaximumZoom();
        return false;
    }
    ZoomTo({RoundHalfAway(p.X - dl / 2.0), RoundHalfAway(p.Y - db / 2.0), RoundHalfAway(p.X + dr / 2.0),
            RoundHalfAway(p.Y + dt / 2.0)});
    return true;
}

bool LayoutViewport::ZoomIn(int px1, int py1, int px2, int py2) {
    const Point a = ScreenToWorld(px1, py1), b = ScreenToWorld(px2, py2);
    Rect r{std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X), std::max(a.Y, b.Y)};
    if (std::int64_t{r.maxx} - r.minx < kSmallestZoom && std::int64_t{r.maxy} - r.miny < kSmallestZoom) {
        if (std::int64_t{layout.view.xmin} + kSmallestZoom >= layout.view.xmax ||
            std::int64_t{layout.view.ymin} + kSmallestZoom >= layout.view.ymax) {
            WarnMaximumZoom();
            return false;
        }
        const std::int32_t cx = r.minx / 2 + r.maxx / 2, cy = r.miny / 2 + r.maxy / 2;
        r = {cx - 10, cy - 10, cx + 10, cy + 10};
    }
    ZoomTo(r);
    return true;
}

bool LayoutViewport::ZoomInCentre(int clientWidth, int clientHeight) {
    return ZoomIn(clientWidth / 2, clientHeight / 2);
}

void LayoutViewport::ZoomOutAt(int px, int py) {
    const Point p = ScreenToWorld(px, py);
    const std::int64_t dl = std::int64_t{p.X} - layout.view.xmin, dr = std::int64_t{layout.view.xmax} - p.X;
    const std::int64_t db = std::int64_t{p.Y} - layout.view.ymin, dt = std::int64_t{layout.view.ymax} - p.Y;
    SymbolDescription* shown = layout.ShownSymbolDescription();
    if (shown && !shown->view.zoomStack.empty()) shown->view.zoomStack.pop_back();
    std::int64_t x1, y1, x2, y2;
    if (shown && !shown->view.zoomStack.empty() && dl + dr > 0) {
        const Rect& previous = shown->view.zoomStack.back();
        const double q = (double(previous.maxx) - previous.minx) / double(dl + dr);
        x1 = static_cast<std::int64_t>(p.X - dl * q);
        y1 = static_cast<std::int64_t>(p.Y - db * q);
        x2 = static_cast<std::int64_t>(p.X + dr * q);
        y2 = static_cast<std::int64_t>(p.Y + dt * q);
    } else {
        x1 = p.X - 2 * dl;
        y1 = p.Y - 2 * db;
        x2 = p.X + 2 * dr;
        y2 = p.Y + 2 * dt;
    }
    SetViewRect(Clamp(x1), Clamp(y1), Clamp(x2), Clamp(y2));
}

void LayoutViewport::ZoomBack() {
    SymbolDescription* shown = layout.ShownSymbolDescription();
    if (shown && !shown->view.zoomStack.empty()) shown->view.zoomStack.pop_back();
    if (shown && !shown->view.zoomStack.empty()) {
        const Rect r = shown->view.zoomStack.back();
        SetViewRect(r.minx, r.miny, r.maxx, r.maxy);
        return;
    }
    // Twice the size around the centre, or touching the limit it would pass.
    const auto grow = [](std::int64_t low, std::int64_t high, std::int64_t half, std::int64_t& a, std::int64_t& b) {
        half = std::min<std::int64_t>(half, kViewLimit / 2);
        a = low - half;
        b = high + half;
        if (a < -kViewLimit) {
            a = -kViewLimit;
            b = -kViewLimit + 4 * half;
        } else if (b > kViewLimit) {
            a = kViewLimit - 4 * half;
            b = kViewLimit;
        }
    };
    std::int64_t x1, x2, y1, y2;
    grow(layout.view.xmin, layout.view.xmax, layout.view.W / 2, x1, x2);
    grow(layout.view.ymin, layout.view.ymax, layout.view.H / 2, y1, y2);
    SetViewRect(x1, y1, x2, y2);
}

void LayoutViewport::ZoomAll() {
    SymbolDescription* shown = layout.ShownSymbolDescription();
    if (!shown) return;
    shown->view.zoomStack.clear();
    shown->RecomputeBounds();
    // An empty symbol has no box to show; it gets the view of a newly opened one.
    if (!shown->FirstRecord()) {
        SetViewRect(-kEmptySymbolHalf, -kEmptySymbolHalf, kEmptySymbolHalf, kEmptySymbolHalf);
        return;
    }
    const Rect b = shown->Bounds();
    SetViewRect(b.minx, b.miny, b.maxx, b.maxy);
}

void LayoutViewport::PanBy(int pressX, int pressY, int releaseX, int releaseY) {
    const auto dx = static_cast<std::int64_t>((pressX - releaseX) / layout.view.sx + 0.5);
    const auto dy = static_cast<std::int64_t>((releaseY - pressY) / layout.view.sy + 0.5);
    SetViewRect(std::int64_t{layout.view.xmin} + dx, std::int64_t{layout.view.ymin} + dy,
                std::int64_t{layout.view.xmax} + dx, std::int64_t{layout.view.ymax} + dy);
}

bool LayoutViewport::ShowSymbol(std::string_view name) {
    SymbolDescription* next = layout.FindSymbolByName(name);
    SymbolDescription* current = layout.ShownSymbolDescription();
    if (!next || next == current) return false;
    if (current) current->RecomputeBounds();
    layout.shownSymbol = next->Id();
    if (!next->view.zoomStack.empty()) {
        const Rect r = next->view.zoomStack.back();
        SetViewRect(r.minx, r.miny, r.maxx, r.maxy);
    } else if (!next->FirstRecord()) {
        SetViewRect(-kEmptySymbolHalf, -kEmptySymbolHalf, kEmptySymbolHalf, kEmptySymbolHalf);
    } else {
        next->EnsureBounds();
        const Rect b = next->Bounds();
        SetViewRect(b.minx, b.miny, b.maxx, b.maxy);
    }
    next->UpdateSelection();
    return true;
}

std::string CoordinateText(Point world) { return FormatMicrons(world.X) + ", " + FormatMicrons(world.Y); }

}  // namespace zandor
