#include "display/Background.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "model/Geometry.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "model/SymbolDescription.h"
#include "platform/Canvas.h"

namespace zandor {

namespace {

constexpr std::uint32_t kGreyOnBlack = 0x808080;
constexpr std::uint32_t kGreyOnWhite = 0xC0C0C0;
constexpr int kDiagonalCross = 5;

PixelPoint ToPixels(const Layout& layout, std::int64_t x, std::int64_t y) {
    std::int32_t px = SaturateToInt32(x), py = SaturateToInt32(y);
    layout.view.WorldToScreen(px, py);
    return {px, py};
}

// A side of a box clipped to the view grown by `grow` units, as a pixel line.
void ClippedLine(const Layout& layout, Canvas& canvas, Point a, Point b, const Rect& area) {
    if (!ClipSegmentToRect(a, b, area)) return;
    const PixelPoint pa = ToPixels(layout, a.X, a.Y), pb = ToPixels(layout, b.X, b.Y);
    const PixelPoint line[2] = {pa, pb};
    canvas.Polyline(line, 2);
}

void BoxOutline(const Layout& layout, Canvas& canvas, const Rect& box, const Rect& area) {
    const Point c[4] = {{box.minx, box.miny}, {box.maxx, box.miny}, {box.maxx, box.maxy}, {box.minx, box.maxy}};
    for (int i = 0; i < 4; ++i) ClippedLine(layout, canvas, c[i], c[(i + 1) % 4], area);
}

Rect Grown(const Layout& layout, std::int64_t gx, std::int64_t gy) {
    return {SaturateToInt32(layout.view.xmin - gx), SaturateToInt32(layout.view.ymin - gy),
            SaturateToInt32(layout.view.xmax + gx), SaturateToInt32(layout.view.ymax + gy)};
}

bool Covers(const Rect& box, const Layout& layout) {
    return box.minx <= layout.view.xmin && box.miny <= layout.view.ymin && box.maxx >= layout.view.xmax &&
           box.maxy >= layout.view.ymax;
}

}  // namespace

std::int64_t Background::MaskSide(int type) {
    static const std::int64_t sides[] = {0, 76200000, 101600000, 127000000, 152400000, 177800000, 228600000};
    return type >= 1 && type <= 6 ? sides[type] : 0;
}

std::int64_t Background::WaferDiameter(int type) {
    static const std::int64_t diameters[] = {50800000, 76200000, 101600000, 152400000, 203200000, 304800000};
    return type >= 0 && type <= 5 ? diameters[type] : 101600000;
}

const char* Background::MaskName(int type) {
    static const char* const names[] = {
        "", "3 inch mask", "4 inch mask", "5 inch mask", "6 inch mask", "7 inch mask", "9 inch mask"};
    return type >= 0 && type <= 6 ? names[type] : "";
}

std::int64_t Background::MaskWidth() const { return maskType == 0 ? customWidth : MaskSide(maskType); }
std::int64_t Background::MaskHeight() const { return maskType == 0 ? customHeight : MaskSide(maskType); }

void Background::ApplyToModel() const {
    Settings().maskWidth = MaskWidth();
    Settings().maskHeight = MaskHeight();
    Settings().showMaskWarning = showWarning;
}

void Background::DrawBackground(const Layout& layout, Canvas& canvas, bool printing, bool backgroundBlack) const {
    const std::uint32_t grey = backgroundBlack ? kGreyOnBlack : kGreyOnWhite;
    const RasterOp previous = canvas.SetRasterOp(RasterOp::Copy);
    const SymbolDescription* shown = layout.ShownSymbolDescription();
    if (shown && shown == layout.MainSymbol()) {
        if (showMask) DrawMask(layout, canvas, printing, grey);
        if (showWafer) DrawWafer(layout, canvas, grey);
    } else if (shown) {
        DrawSymbolExtent(layout, canvas, grey);
    }
    canvas.SetRasterOp(previous);
}

void Background::DrawSymbolExtent(const Layout& layout, Canvas& canvas, std::uint32_t grey) const {
    SymbolDescription* shown = layout.ShownSymbolDescription();
    shown->EnsureBounds();
    const Rect box = shown->Bounds();
    if (Covers(box, layout)) return;
    canvas.SetPen({PenStyle::Dot, grey, 1});
    const std::int64_t gx = (std::int64_t{layout.view.xmax} - layout.view.xmin) / 10;
    const std::int64_t gy = (std::int64_t{layout.view.ymax} - layout.view.ymin) / 10;
    BoxOutline(layout, canvas, box, Grown(layout, gx, gy));
}

void Background::DrawMask(const Layout& layout, Canvas& canvas, bool printing, std::uint32_t grey) const {
    const std::int64_t w = MaskWidth(), h = MaskHeight();
    if (w <= 1000 || h <= 1000) return;
    const Rect plate{SaturateToInt32(-w / 2), SaturateToInt32(-h / 2), SaturateToInt32(w / 2), SaturateToInt32(h / 2)};
    if (Covers(plate, layout)) return;

    // The strips between the plate and the view grown by 10 nm, hatched.
    const Rect area = Grown(layout, 10, 10);
    canvas.SetPen({PenStyle::Null, 0, 1});
    canvas.SetBrush({kDiagonalCross, grey});
    const auto strip = [&](std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2) {
        x1 = std::max<std::int64_t>(x1, area.minx);
        y1 = std::max<std::int64_t>(y1, area.miny);
        x2 = std::min<std::int64_t>(x2, area.maxx);
        y2 = std::min<std::int64_t>(y2, area.maxy);
        if (x1 >= x2 || y1 >= y2) return;
        const PixelPoint topLeft = ToPixels(layout, x1, y2), bottomRight = ToPixels(layout, x2, y1);
        canvas.Rectangle(topLeft.x, topLeft.y, bottomRight.x, bottomRight.y);
    };
    strip(area.minx, area.miny, plate.minx, area.maxy);    // left
    strip(plate.maxx, area.miny, area.maxx, area.maxy);    // right
    strip(plate.minx, area.miny, plate.maxx, plate.miny);  // below
    strip(plate.minx, plate.maxy, plate.maxx, area.maxy);  // above
    canvas.SetBrush({6, 0});
    canvas.SetPen({PenStyle::Solid, grey, 1});
    BoxOutline(layout, canvas, plate, area);

    if (plate.minx > layout.view.xmin && plate.maxy < layout.view.ymax) {
        std::string label;
        if (maskType == 0) {
            char text[96];
            std::snprintf(text, sizeof text, "Mask size: %.0fmm x %.0fmm", w / 1e6, h / 1e6);
            label = text;
        } else {
            label = MaskName(maskType);
        }
        if (!printing) canvas.SetFont({12, 400, "MS Sans Serif", 0});
        canvas.SetTextColor(grey);
        const PixelPoint corner = ToPixels(layout, plate.minx, plate.maxy);
        canvas.Text(corner.x + 2, corner.y + 14, label);
    }
}

void Background::DrawWafer(const Layout& layout, Canvas& canvas, std::uint32_t grey) const {
    const double radius = WaferDiameter(waferType) / 2.0;
    canvas.SetPen({PenStyle::Solid, grey, 1});
    std::vector<PixelPoint> piece;
    const auto flush = [&] {
        if (piece.size() >= 2) canvas.Polyline(piece.data(), static_cast<int>(piece.size()));
        piece.clear();
    };
    for (int degree = 0; degree <= 360; ++degree) {
        const double a = degree * kPi / 180;
        const std::int64_t x = RoundHalfAway(radius * std::cos(a)), y = RoundHalfAway(radius * std::sin(a));
        if (x > layout.view.xmin && x < layout.view.xmax && y > layout.view.ymin && y < layout.view.ymax)
            piece.push_back(ToPixels(layout, x, y));
        else
            flush();
    }
    flush();
}

}  // namespace zandor
