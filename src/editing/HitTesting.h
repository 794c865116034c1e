// Which object of the current symbol lies under the pointer or inside a
// dragged rectangle.  Objects are found by their characteristic points
// (corners, vertices, centres, end points, outline crossings), never by their
// filled area, and only in the symbol's own list: a call is found by its
// outline, not by what it calls.
#pragma once

#include <cstdint>
#include <vector>

#include "model/ObjectRecord.h"
#include "model/Types.h"

namespace zandor {

class SymbolDescription;

// Bits 0..7 the current layer; 0x4000 groups, calls and arrays are never
// found (locked symbols); 0x8000 only the current layer's objects are found.
using SelectFilter = std::uint16_t;
constexpr SelectFilter kLockSymbolsBit = 0x4000;
constexpr SelectFilter kSingleLayerBit = 0x8000;
SelectFilter MakeSelectFilter(int currentLayer, bool lockSymbols, bool singleLayer);

// A search rectangle with inclusive bounds, x1 <= x2 and y1 <= y2.
bool ObjectHitsRect(SymbolDescription& symbol, Word* record, const Rect& r, bool enclosed);
Word* FindObjectInRect(SymbolDescription& symbol, const Rect& r, SelectFilter filter, bool enclosed);
Word* FindNextObjectInRect(SymbolDescription& symbol, Word* after, const Rect& r, SelectFilter filter, bool enclosed);
// Squares of 2.5, 5 and 10 pixels (half-size) around the point, in turn;
// sets the layout's last pick tolerance.
Word* FindObjectAt(SymbolDescription& symbol, std::int32_t x, std::int32_t y, SelectFilter filter);

// Selection by the pointer: toggles the object under it (a plain click in
// the edit mode), or marks everything a rectangle catches (enclosed when all
// nodes must lie in it).  Both bring the selection state up to date and
// return the object found first.
Word* PickToggle(SymbolDescription& symbol, std::int32_t x, std::int32_t y, SelectFilter filter);
Word* SelectInRect(SymbolDescription& symbol, const Rect& r, SelectFilter filter, bool allNodes);
// Marks the object under the point and makes it the current object (the
// node editing mode); nullptr when there is none.
Word* PickCurrent(SymbolDescription& symbol, std::int32_t x, std::int32_t y, SelectFilter filter);
// Cycling through stacked objects by clicking again at one place: the
// current object gives way to the next object under the point after it in
// list order, or to the first one from the start of the list, or stays when
// nothing else is there.  The square searched is the one the last point pick
// settled on, unless that was far off the first one.  Returns the new current
// object; nothing happens (nullptr) without a current object.
Word* PickNext(SymbolDescription& symbol, std::int32_t x, std::int32_t y, SelectFilter filter);

// The node list of the current object: the index of the first node, in list
// order, within 5 pixels (in x and in y) of the point; -1 when none is.  sx is
// the view's scale in pixels per nanometre.
int FindNodeAt(const std::vector<Point>& nodes, std::int32_t x, std::int32_t y, double sx);

// Cursor numbers of the selection frame's zones.
constexpr int kCursorArrow = -2;  // outside the frame's reach
constexpr int kCursorRotate = 3;
constexpr int kCursorScaleSwNe = 4;  // lower-left and upper-right corners
constexpr int kCursorScaleNwSe = 5;  // upper-left and lower-right corners
constexpr int kCursorStretchWe = 6;
constexpr int kCursorStretchNs = 7;
constexpr int kCursorMove = 8;

// Which part of the selection frame lies under the point, within 5 pixels
// plus one unit: a corner scales both ways (rotates with Ctrl held), a side
// edge stretches one way only for a single selected rectangle or with Ctrl
// and otherwise acts as its nearer corner, the inside moves.  Over a frame
// narrower than that reach the two opposite sides never both count.
int SelectionFrameZone(const Rect& frame, std::int32_t x, std::int32_t y, double sx, bool ctrl, bool singleRectangle);

}  // namespace zandor
