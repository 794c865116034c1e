// Dragging the selection frame in the edit mode: moving the selection,
// stretching or scaling it by an edge or a corner, rotating it by a corner.
// The view stores the drag at the press, feeds every pointer move in and
// reads the rubber frame, the status text and, at the release, the move,
// scale or rotation to apply.
#pragma once

#include <cstdint>
#include <string>

#include "editing/PointerSnapping.h"
#include "model/Types.h"

namespace zandor {

// The frame a drag gives, with the scale it stands for: the corners may come
// out in either order (an edge dragged past its opposite mirrors), and the
// factors are relative to the frame at the press.
struct DraggedFrame {
    std::int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    double fx = 1, fy = 1;
    double originX = 0, originY = 0;  // the fixed point of the scale
};

struct FrameDrag {
    Rect frame;    // the selection box at the press
    int zone = 0;  // kCursorMove, kCursorRotate, kCursorStretchWe, ... (HitTesting.h)
    Point press;   // raw world point of the press
    bool left = false, right = false, bottom = false, top = false;
    std::int32_t dx = 0, dy = 0;  // raw pointer - raw press; snapped while moving
    double angle = 0;             // radians, -pi..pi, while rotating
    bool symmetric = false;       // Shift during the drag
    bool constrain = false;       // Ctrl during the drag
    bool leaveOriginal = false;

    bool Moving() const;
    bool Rotating() const;
    // A stretch or scale of a frame with no width or no height has nothing to
    // scale; the release then only redraws the frame.
    bool ZeroSizedFrame() const;
};

// The drag of a press at `press` on `zone` of the frame: the move zone takes
// all four edges; any other zone takes the edges within RoundHalfAway(5/sx) + 1
// units of the press, except two opposite edges that both are (a frame
// narrower than that reach).
FrameDrag StartFrameDrag(const Rect& frame, int zone, Point press, double sx);

// One pointer move with the button held: Shift and Ctrl as now, the raw
// pointer position; updates the displacement (snapped for a move), the
// angle for a rotation and the two flags.
void DragFrameTo(FrameDrag& drag, Point pointer, bool shift, bool ctrl, const PointerSnapper& snapper);

// The displacement of a move: each axis takes a guideline the frame's lower
// or else upper edge reaches (left before right, bottom before top); the
// axes that found none take the grid, by the lower-left corner with Shift,
// else by the displacement itself.
Point SnapMoveDisplacement(const Rect& frame, std::int32_t dx, std::int32_t dy, bool shift,
                           const PointerSnapper& snapper);

// The displacement a move applies: with Ctrl only its larger component (dx
// on a tie), the other zeroed.
Point MoveDisplacement(const FrameDrag& drag);

// The frame as the drag has made it.  A frame with no width or height is
// taken one unit wide or high.  Corners without Ctrl scale proportionally:
// the corner slides along the frame's diagonal and lands where snapping
// moves it least; a side edge standing for a corner picks the corner of the
// zone on its side.
DraggedFrame DragFrame(const FrameDrag& drag, const PointerSnapper& snapper);

// The turn from the grabbed corner to the corner moved by (dx, dy), about the
// frame centre, in -pi..pi; 0 when either is at the centre.
double RotationAngle(const Rect& frame, bool left, bool top, std::int32_t dx, std::int32_t dy);

// The status hint during the drag ("Rotate, ...", "Move, ...", "Scale, ..."),
// in micrometres, with ", Leave original" while that is on.
std::string DragStatusText(const FrameDrag& drag, const PointerSnapper& snapper);

}  // namespace zandor
