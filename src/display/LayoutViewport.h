// The mapping between a layout window's pixels and the world (nanometres, y
// up) and the zoom commands, without the window: the editor's view forwards
// its paint, wheel and mouse events here, and the command-line renderer uses
// the same mapping.  The state lives in the Layout (visible rectangle, scales)
// and in each symbol (its stack of zoom levels), as drawing and picking read it
// from there.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "model/Types.h"

namespace zandor {

class Layout;

// The world limits of a view, in nanometres.
constexpr std::int64_t kViewLimit = 2000000000;
constexpr std::int64_t kViewMaxSpan = 4000000000;

class LayoutViewport {
public:
    explicit LayoutViewport(Layout& layout);

    Layout& Document() const { return layout; }

    Point ScreenToWorld(int px, int py) const;
    // Fits the rectangle into the view with the current aspect, within the
    // world limits.  The scales follow at the next PrepareMapping.
    void SetViewRect(std::int64_t xmin, std::int64_t ymin, std::int64_t xmax, std::int64_t ymax);

    // What a paint does before drawing: on the first paint the view shows the
    // main symbol (or +-40 mm when it is empty); every paint keeps the left
    // and bottom edges and the horizontal scale, fits the height to the
    // client area and sets the scales.
    void PrepareMapping(int clientWidth, int clientHeight, double dpi);
    bool FirstPaintDone() const { return !firstPaint; }

    // Zoom commands; false (and the warning "Maximum zoom level is reached.")
    // when the view cannot get smaller.
    bool ZoomIn(int px, int py);
    bool ZoomIn(int px1, int py1, int px2, int py2);
    bool ZoomInCentre(int clientWidth, int clientHeight);
    void ZoomOutAt(int px, int py);
    void ZoomBack();
    void ZoomAll();
    void PanBy(int pressX, int pressY, int releaseX, int releaseY);
    // Makes the named symbol the shown one with its own last view; false when
    // there is no such symbol or it is shown already.
    bool ShowSymbol(std::string_view name);

    // Told the new ranges whenever the visible rectangle changes (rulers).
    std::function<void(std::int32_t xmin, std::int32_t xmax, std::int32_t ymin, std::int32_t ymax)> rangesChanged;

private:
    void PushZoomLevel(const Rect& level);
    void ZoomTo(const Rect& r);

    Layout& layout;
    bool firstPaint = true;
};

// The pointer position as the coordinate display and the status bar show it:
// micrometres, ", " between.
std::string CoordinateText(Point world);

}  // namespace zandor
