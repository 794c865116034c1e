#include "display/Ruler.h"

#include <algorithm>
#include <cstdlib>

#include "base/Numbers.h"
#include "platform/Canvas.h"

namespace zandor {

std::string FormatRulerValue(std::int64_t v) {
    const bool negative = v < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    std::string whole = std::to_string(magnitude / 1000);
    std::string fraction = std::to_string(magnitude % 1000);
    fraction.insert(0, 3 - fraction.size(), '0');
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    std::string text = negative ? "-" + whole : whole;
    if (!fraction.empty()) text += "." + fraction;
    return text == "-0" ? "0" : text;
}

RulerTicks ComputeRulerTicks(std::int64_t minVal, std::int64_t maxVal, int lengthPixels) {
    RulerTicks ticks;
    const std::int64_t n = std::max(1, lengthPixels / 92);
    std::int64_t s = (maxVal - minVal) / n;
    if (s <= 0) {
        ticks.first = minVal;
        ticks.step = 1;
        ticks.subdivisions = 1;
        ticks.count = maxVal - minVal + 1;
        return ticks;
    }
    std::int64_t p = 1;
    while (s > 10) {
        s /= 10;
        p *= 10;
    }
    ticks.subdivisions = s;
    ticks.step = s * p;
    ticks.first = minVal / ticks.step * ticks.step + (minVal > 0 ? ticks.step : 0);
    const std::int64_t last = maxVal / ticks.step * ticks.step - (maxVal <= 0 ? ticks.step : 0);
    ticks.count = (last - ticks.first) / ticks.step;
    return ticks;
}

void DrawRuler(Canvas& canvas, const PrintedRuler& r) {
    if (r.maxVal <= r.minVal || r.length <= 0) return;
    const bool across = r.horizontal;
    const CanvasFont font{r.fontHeight, 400, "MS Sans Serif", across ? 0 : 900};
    canvas.SetFont(font);
    canvas.SetTextColor(0x000000);
    canvas.SetPen({PenStyle::Solid, 0x000000, 1});
    const double k = double(r.length) / double(r.maxVal - r.minVal);
    const auto along = [&](std::int64_t v) {
        return r.start + (across ? RoundHalfAway(double(v - r.minVal) * k) : RoundHalfAway(double(r.maxVal - v) * k));
    };
    // A line from the baseline `reach` pixels outward (up or left).
    const auto tick = [&](int at, int reach) {
        if (across)
            canvas.Line(at, r.baseline, at, r.baseline - reach);
        else
            canvas.Line(r.baseline, at, r.baseline - reach, at);
    };
    if (across)
        canvas.Line(r.start, r.baseline, r.start + r.length + 1, r.baseline);
    else
        canvas.Line(r.baseline, r.start, r.baseline, r.start + r.length + 1);

    const RulerTicks ticks = ComputeRulerTicks(r.minVal, r.maxVal, r.panelLength);
    const std::int64_t minorStep = ticks.subdivisions > 1 ? ticks.step / ticks.subdivisions : 0;
    if (minorStep > 0)
        for (std::int64_t v = ticks.first - minorStep; v >= r.minVal; v -= minorStep) tick(along(v), r.tick / 4);
    for (std::int64_t i = 0; i <= ticks.count; ++i) {
        const std::int64_t v = ticks.first + i * ticks.step;
        if (v < r.minVal || v > r.maxVal) continue;
        const int at = along(v);
        tick(at, r.tick / 2);
        if (ticks.step >= 1000 || i % 2 == 1) {
            const std::string label = FormatRulerValue(v);
            const PixelPoint extent = canvas.TextExtent(label, font);
            // The label's outer edge lies `tick` pixels out from the baseline.
            if (across)
                canvas.Text(at - extent.x / 2, r.baseline - r.tick + extent.y, label);
            else
                canvas.Text(r.baseline - r.tick + extent.y, at + extent.x / 2, label);
        }
        if (minorStep > 0 && i < ticks.count)
            for (std::int64_t m = 1; m < ticks.subdivisions; ++m) tick(along(v + m * minorStep), r.tick / 4);
    }
}

void GuideLines::Add(std::int32_t position, bool refuseDuplicate) {
    const auto at = std::lower_bound(positions.begin(), positions.end(), position);
    if (refuseDuplicate && at != positions.end() && *at == position) return;
    positions.insert(at, position);
}

void GuideLines::Remove(std::int32_t position) {
    const auto at = std::lower_bound(positions.begin(), positions.end(), position);
    if (at != positions.end() && *at == position) positions.erase(at);
}

void GuideLines::Move(std::int32_t from, std::int32_t to) {
    Remove(from);
    Add(to, false);
}

void GuideLines::RemoveDuplicates() {
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
}

void GuideLines::Set(const std::vector<std::int32_t>& list) {
    positions.clear();
    for (std::int32_t p : list) Add(p, true);
}

}  // namespace zandor
