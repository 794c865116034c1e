// What a window's view keeps with the layout it shows: the device mapping of
// the last drawing (visible rectangle, size in pixels, scales), the sizes the
// drawing and the pointer derive from it, and whether a drawing pass runs.
// The model itself never reads it; hit testing and drawing do.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/Numbers.h"
#include "model/Types.h"

namespace zandor {

struct ViewState {
    // The visible rectangle in database units.
    std::int32_t xmin = 0, ymin = 0, xmax = 0, ymax = 0;
    // The window's size in pixels.
    std::uint32_t W = 0, H = 0;
    // Pixels per nanometre along x and y.
    double sx = 1, sy = 1;
    // Two pixels in database units: the width of dots and pointer squares.
    std::int32_t twoPixels = 3;
    // Objects smaller than this (database units) are drawn as a dot.
    std::int32_t minObjectSize = 2;
    // The side of the square the last pointer search used, database units.
    std::int32_t pickTolerance = 0;
    // A drawing pass runs.
    bool drawing = false;

    // Layout coordinates to pixels (y grows downwards on the screen).
    void WorldToScreen(std::int32_t& x, std::int32_t& y) const {
        x = RoundHalfAway((double(x) - xmin) * sx);
        y = RoundHalfAway((double(ymax) - y) * sy);
    }
};

// The nodes of the current object while its shape is edited (the node
// editing mode), and which of them are selected: indices into `nodes`, each
// once, in the order they were selected (the first is the one a drag of a
// single-handle kind applies).
struct NodeList {
    std::vector<Point> nodes;
    std::vector<int> selected;

    void Clear() {
        nodes.clear();
        selected.clear();
    }
    bool IsSelected(int index) const { return std::find(selected.begin(), selected.end(), index) != selected.end(); }
    void Toggle(int index) {
        const auto at = std::find(selected.begin(), selected.end(), index);
        if (at != selected.end()) {
            selected.erase(at);
        } else if (index >= 0 && index < static_cast<int>(nodes.size())) {
            selected.push_back(index);
        }
    }
    void SelectOnly(int index) {
        selected.clear();
        if (index >= 0 && index < static_cast<int>(nodes.size())) selected.push_back(index);
    }
};

// What a window keeps with each symbol it shows.
struct SymbolView {
    // Saved view rectangles; the back is the top, overwritten with the visible
    // rectangle whenever the symbol is drawn.
    std::vector<Rect> zoomStack;
    // The dotted frame around the selection is on the screen.
    bool frameShown = false;
    // The ruler line of the measuring mode, and whether it is on the screen.
    std::int32_t measureX1 = 0, measureY1 = 0, measureX2 = 0, measureY2 = 0;
    bool measureShown = false;
    // The current object's nodes in the node editing mode; empty elsewhere.
    NodeList nodeList;
};

}  // namespace zandor
