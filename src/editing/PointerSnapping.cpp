#include "editing/PointerSnapping.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/Numbers.h"
#include "display/Grid.h"

namespace zandor {

namespace {

bool GuideSnap(std::span<const std::int32_t> guides, std::int32_t raw, std::int32_t gridded, std::int64_t reach,
               std::int32_t& snapped) {
    const std::int64_t low = std::min<std::int64_t>(std::int64_t{raw} - reach, gridded);
    const std::int64_t high = std::max<std::int64_t>(std::int64_t{raw} + reach, gridded);
    bool found = false;
    std::int64_t bestDistance = 0;
    for (const std::int32_t guide : guides) {
        if (guide < low || guide > high) continue;
        const std::int64_t distance = std::llabs(std::int64_t{guide} - raw);
        if (!found || distance < bestDistance || (distance == bestDistance && guide < snapped)) {
            found = true;
            bestDistance = distance;
            snapped = guide;
        }
    }
    return found;
}

}  // namespace

std::int64_t PointerSnapper::GuidelineReach() const {
    if (!(sx > 0)) return 1;
    return std::max<std::int64_t>(1, std::int64_t{RoundHalfAway(10 / sx)} + 1);
}

bool PointerSnapper::GuideSnapX(std::int32_t x, std::int32_t& snapped) const {
    if (!snapGuidelines) return false;
    std::int32_t guide = 0;
    if (!GuideSnap(vGuides, x, grid.SnapValue(x), GuidelineReach(), guide)) return false;
    snapped = guide;
    return true;
}

bool PointerSnapper::GuideSnapY(std::int32_t y, std::int32_t& snapped) const {
    if (!snapGuidelines) return false;
    std::int32_t guide = 0;
    if (!GuideSnap(hGuides, y, grid.SnapValue(y), GuidelineReach(), guide)) return false;
    snapped = guide;
    return true;
}

std::int32_t PointerSnapper::SnapX(std::int32_t x) const {
    std::int32_t snapped = grid.SnapValue(x);
    GuideSnapX(x, snapped);
    return snapped;
}

std::int32_t PointerSnapper::SnapY(std::int32_t y) const {
    std::int32_t snapped = grid.SnapValue(y);
    GuideSnapY(y, snapped);
    return snapped;
}

Point PointerSnapper::SnapPoint(Point p) const { return {SnapX(p.X), SnapY(p.Y)}; }

Point PointerSnapper::SnapVector(Point d) const { return grid.SnapGridVector(d); }

Point PointerSnapper::OrthoSnap(Point anchor, Point p) const {
    if (!snapOrtho) return p;
    const std::int64_t ox = std::int64_t{p.X} - anchor.X, oy = std::int64_t{p.Y} - anchor.Y;
    const std::int64_t ux = std::llabs(ox), uy = std::llabs(oy);
    if (2 * uy < ux) return {p.X, anchor.Y};
    if (uy <= 2 * ux) {
        const std::int64_t m = std::max(ux, uy);
        return {SaturateToInt32(anchor.X + (ox < 0 ? -m : m)), SaturateToInt32(anchor.Y + (oy < 0 ? -m : m))};
    }
    return {anchor.X, p.Y};
}

}  // namespace zandor
