// The page a layout window prints: 3000 logical units on the page's longer
// side, a margin of a thirtieth of that, a ruler band of a twenty-fourth
// along the top and the left, and the drawing area fitted to the view's
// width-to-height ratio in what remains, at its top left.
#pragma once

#include <cstdint>

namespace zandor {

class Canvas;
class Layout;

struct PrintedPage {
    int width = 0, height = 0;  // the logical page
    int margin = 0;             // from every edge
    int band = 0;               // the rulers' band inside the margin
    int areaLeft = 0, areaTop = 0, areaWidth = 0, areaHeight = 0;
    int fontHeight = 0;  // of the ruler labels
};

// deviceWidth and deviceHeight: the printable area in any unit (only their
// ratio counts); viewWidth and viewHeight: the visible rectangle in nm.
// Degenerate sizes still give an area of at least 2 x 2 units.
PrintedPage ComputePrintedPage(double deviceWidth, double deviceHeight, std::int64_t viewWidth,
                               std::int64_t viewHeight);

// Maps the layout's visible rectangle onto the drawing area, pixel (0, 0) at
// its top left: the scale is (area width - 1) / the visible width on both
// axes, the dot size derived from it as for a window.  The caller keeps the
// window's mapping and puts it back after printing.
void MapPrintedArea(Layout& layout, const PrintedPage& page);

// The horizontal ruler along the top of the drawing area and the vertical one
// along its left, two thirds of the band in from the margin, with the ticks
// the window's rulers (panel lengths in pixels) show for the visible range;
// after MapPrintedArea, so that the ticks meet the drawing.
void DrawPrintedRulers(Canvas& canvas, const PrintedPage& page, const Layout& layout, int panelWidth, int panelHeight);

}  // namespace zandor
