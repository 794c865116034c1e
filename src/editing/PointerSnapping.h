// Where a pointer position lands: on the grid (or the fine raster while grid
// snapping is off), then on a guideline of the current symbol within about
// ten pixels, and, for the insertion modes, on the horizontal, vertical or
// diagonal line through an anchor.
#pragma once

#include <cstdint>
#include <span>

#include "model/Types.h"

namespace zandor {

class Grid;

// The snapping of one view at one moment; built per event from the shared
// grid, the current symbol's guidelines and the main window's switches.  The
// guideline lists need not be sorted: a tie between two guidelines at the same
// distance goes to the lower one, as an ascending scan would give.
struct PointerSnapper {
    const Grid& grid;
    std::span<const std::int32_t> vGuides;  // x positions of vertical guidelines
    std::span<const std::int32_t> hGuides;  // y positions of horizontal guidelines
    double sx = 1;                          // pixels per unit, for the guideline reach
    bool snapGuidelines = false;
    bool snapOrtho = false;

    // Half-width of the guideline window in units: RoundHalfAway(10/sx) + 1,
    // at least 1 for a scale that is not a positive number.
    std::int64_t GuidelineReach() const;

    // Both coordinates rounded by the grid, then each moved to the guideline
    // nearest the raw value within the reach window (which always includes
    // the grid-rounded value).
    Point SnapPoint(Point p) const;
    std::int32_t SnapX(std::int32_t x) const;
    std::int32_t SnapY(std::int32_t y) const;
    // Only the guideline step: true and the guideline in `snapped` when one
    // lies in the window; false and `snapped` untouched otherwise (always
    // false while guideline snapping is off).
    bool GuideSnapX(std::int32_t x, std::int32_t& snapped) const;
    bool GuideSnapY(std::int32_t y, std::int32_t& snapped) const;
    // A displacement: both components rounded by the grid, no guidelines.
    Point SnapVector(Point d) const;
    // With orthogonal snapping on, p moves onto the horizontal (slope below
    // 1/2), the 45° diagonal (slope up to 2) or the vertical through the
    // anchor; p unchanged while it is off.
    Point OrthoSnap(Point anchor, Point p) const;
};

}  // namespace zandor
