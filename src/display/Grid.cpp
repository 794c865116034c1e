#include "display/Grid.h"

#include <algorithm>
#include <cmath>

#include "model/Geometry.h"
#include "model/Layout.h"
#include "platform/Canvas.h"

namespace zandor {

namespace {

constexpr std::int64_t kLargestStep = 2000000000;

std::int64_t SmallestPowerOfTenAbove(std::int64_t v) {
    std::int64_t p = 1;
    while (p <= v) p *= 10;
    return p;
}

std::int64_t SmallestPowerOfTenNotBelow(std::int64_t v) {
    std::int64_t p = 1;
    while (p < v) p *= 10;
    return p;
}

}  // namespace

std::int32_t Grid::SpacingFromSetting(double micrometres) {
    if (!std::isfinite(micrometres)) return 1000;
    return std::max(1000, RoundHalfAway(micrometres * 1000));
}

void Grid::SetSpacing(std::int32_t nanometres) {
    gridSpacing = effectiveSpacing = std::max<std::int32_t>(1, nanometres);
}

void Grid::UpdateGridSteps(const Layout& layout) {
    const double b = layout.view.sx;
    if (!(b > 0)) return;
    std::int64_t r = 1;
    while (r * b < 0.1 && r < kLargestStep) r *= 10;
    resolution = static_cast<std::int32_t>(std::min(r, kLargestStep));

    std::int64_t e = gridSpacing;
    bool byTwo = true;
    while (e * b < 2 && e < kLargestStep) {
        e *= byTwo ? 2 : 5;
        byTwo = !byTwo;
    }
    effectiveSpacing = static_cast<std::int32_t>(std::min(e, kLargestStep));

    std::int64_t d = effectiveSpacing;
    while (d * b < 10 && d < kLargestStep) d *= 2;
    displayStep = static_cast<std::int32_t>(std::min(d, kLargestStep));
    pixelStepX = displayStep * layout.view.sx;
    pixelStepY = displayStep * layout.view.sy;
}

void Grid::DrawGrid(const Layout& layout, Canvas& canvas, bool backgroundBlack, bool printing) const {
    const std::int64_t f = displayStep;
    if (f <= 0 || pixelStepX <= 0 || pixelStepY <= 0) return;
    const std::uint32_t colour = backgroundBlack ? 0x00FFFFu : 0xFF0000u;  // yellow, blue
    if (printing) {
        canvas.SetPen({PenStyle::Null, 0, 1});
        canvas.SetBrush({-1, colour});
    }
    const std::int64_t x0 = layout.view.xmin / f * f, y0 = layout.view.ymin / f * f;
    const double px0 = RoundHalfAway((double(x0) - layout.view.xmin) * layout.view.sx);
    const double py0 = RoundHalfAway((double(layout.view.ymax) - y0) * layout.view.sy);
    int row = 0;
    for (std::int64_t y = y0; y <= layout.view.ymax; y += f, ++row) {
        if (y < layout.view.ymin) continue;
        const int py = RoundHalfAway(py0 - row * pixelStepY);
        int column = 0;
        for (std::int64_t x = x0; x <= layout.view.xmax; x += f, ++column) {
            if (x < layout.view.xmin) continue;
            const int px = RoundHalfAway(px0 + column * pixelStepX);
            if (printing)
                canvas.Rectangle(px, py, px + 1, py + 1);
            else
                canvas.SetPixel(px, py, colour);
        }
    }
}

std::int32_t Grid::SnapValue(std::int32_t v) const {
    const std::int64_t s = snap ? effectiveSpacing : resolution;
    if (s <= 1) return v;
    const std::int64_t half = s >> 1;
    const std::int64_t snapped = v >= 0 ? s * ((v + half) / s) : s * ((v - half) / s);
    return SaturateToInt32(snapped);
}

std::string Grid::GridStatus() const {
    std::string text = "grid: " + FormatMicrons(gridSpacing);
    if (effectiveSpacing != gridSpacing) text += " (" + FormatMicrons(effectiveSpacing) + ")";
    return text;
}

void Grid::GridPlus() {
    if (gridSpacing > 99999999) return;
    const std::int64_t p = SmallestPowerOfTenAbove(gridSpacing);
    const std::int64_t next = gridSpacing < p / 5 ? p / 5 : gridSpacing < p / 2 ? p / 2 : p;
    SetSpacing(static_cast<std::int32_t>(next));
}

void Grid::GridMinus() {
    const std::int64_t p = SmallestPowerOfTenNotBelow(gridSpacing) / 10;
    if (p < 1) return;
    const std::int64_t next = 5 * p < gridSpacing ? 5 * p : 2 * p < gridSpacing ? 2 * p : p;
    SetSpacing(static_cast<std::int32_t>(next));
}

}  // namespace zandor
