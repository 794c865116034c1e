// The grid: its dots in the view, the rounding of every pointer position
// (to the grid while snapping, else to a power-of-ten raster of about a tenth
// of a pixel) and the 1-2-5 steps of Grid + and Grid -.
#pragma once

#include <cstdint>
#include <string>

#include "model/Types.h"

namespace zandor {

class Canvas;
class Layout;

class Grid {
public:
    // The grid spacing of the settings ("Grid", "Size" in micrometres), at
    // least 1000 nm as read.
    static std::int32_t SpacingFromSetting(double micrometres);

    void SetSpacing(std::int32_t nanometres);  // also the effective spacing
    std::int32_t Spacing() const { return gridSpacing; }
    std::int32_t EffectiveSpacing() const { return effectiveSpacing; }
    std::int32_t Resolution() const { return resolution; }
    std::int32_t DisplayStep() const { return displayStep; }

    // Before each drawing, once the view's scales are known.
    void UpdateGridSteps(const Layout& layout);
    // One dot at every display step inside the visible rectangle; blue on
    // white, yellow on black; 2 x 2 squares when printing.
    void DrawGrid(const Layout& layout, Canvas& canvas, bool backgroundBlack, bool printing) const;

    std::int32_t SnapValue(std::int32_t v) const;
    Point SnapGridPoint(Point p) const { return {SnapValue(p.X), SnapValue(p.Y)}; }
    Point SnapGridVector(Point d) const { return {SnapValue(d.X), SnapValue(d.Y)}; }

    // "grid: 1" or "grid: 1 (2)" when the view forces a coarser grid.
    std::string GridStatus() const;
    void GridPlus();
    void GridMinus();

    bool snap = true;

private:
    std::int32_t gridSpacing = 1000;
    std::int32_t effectiveSpacing = 1000;
    std::int32_t resolution = 1;
    std::int32_t displayStep = 1000;
    double pixelStepX = 1, pixelStepY = 1;
};

}  // namespace zandor
