// Printing a layout window's view on one page: the rulers along the top and
// the left, and the drawing area with the mask background, the shown symbol
// and the grid, clipped to the area.  The page is drawn into an image of the
// logical page (one unit a pixel), because paper and PDF know no raster
// operations and the layers' colours mix through them; the image then fills
// the printable area.
#pragma once

#include <QImage>
#include <QString>

class QPrinter;

namespace zandor {

class Background;
class Grid;
class Layout;

struct PrintRequest {
    Layout* layout = nullptr;
    const Background* background = nullptr;
    const Grid* grid = nullptr;  // copied: printing leaves the window's grid steps alone
    bool showGrid = true;
    // The window's ruler lengths in pixels: the printed rulers show their ticks.
    int panelWidth = 0, panelHeight = 0;
};

// The page for a printable area of deviceWidth x deviceHeight (any unit).
// The layout's mapping is put back afterwards.  A null image when the page
// cannot be allocated.
QImage RenderPrintedPage(const PrintRequest& request, double deviceWidth, double deviceHeight);

// Prints the page as one job titled "Zandor layout".  A PDF file is written
// whole beside its target and then renamed over it, so that a failure leaves
// an earlier file alone.  Returns an empty string, or the reason it failed.
QString PrintLayout(const PrintRequest& request, QPrinter& printer);

}  // namespace zandor
