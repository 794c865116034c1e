// The measuring mode: a temporary ruler line from a start to an end point
// that the current symbol keeps (SymbolView: measureX1.., measureShown) and
// the view draws inverted.  The view keeps the measuring flag through this
// object, passes snapped points in and redraws as each handler says.
#pragma once

#include <cstdint>
#include <string>

#include "editing/PointerSnapping.h"
#include "model/Types.h"
#include "model/ViewState.h"

namespace zandor {

// What a handler did to the line, so that the view knows what to draw.
enum class MeasureStep {
    Nothing,  // the line on the screen is as it was
    Changed,  // remove the line drawn before (if one was), draw the line now in the symbol view
    Hidden,   // remove the line drawn before; none is shown now (repaint, or draw it once more)
    Menu,     // right release over a shown line while not measuring: the measurement menu
};

struct MeasureMove {
    MeasureStep step = MeasureStep::Nothing;
    std::string hint;  // the status bar text
};

// The press point lies within twoPixels of the shown line's end on both
// axes (strictly, as every other pixel reach of the view); false while no
// line is shown.  The cursor test uses it as the press does.
bool NearMeasureEnd(const SymbolView& line, Point p, std::int32_t twoPixels);
bool NearMeasureStart(const SymbolView& line, Point p, std::int32_t twoPixels);

class Measurement {
public:
    bool Measuring() const { return measuring; }

    // While measuring the press is taken as a last move and measuring ends.
    // Otherwise the shown line's end is taken up (a press near it), or its
    // start (the old end becomes the start), or a new line starts with both
    // points at p; the line is shown and measuring begins.
    MeasureStep Press(SymbolView& line, Point p, std::int32_t twoPixels, const PointerSnapper& snapper);
    // The end follows p, OrthoSnapped about the start; the hint gives both
    // points and the distances as absolute values, or "New measurement..."
    // when not measuring.
    MeasureMove Move(SymbolView& line, Point p, const PointerSnapper& snapper);
    // The release at p, taken as a last move first, ends measuring when the
    // end has left the place the press gave it and the line has a length;
    // otherwise the end follows the pointer until the next press.
    MeasureStep Release(SymbolView& line, Point p, const PointerSnapper& snapper);
    // While measuring (and the left button is up) the line is hidden and
    // measuring ends; with a line shown and not measuring, Menu.
    MeasureStep RightRelease(SymbolView& line, bool leftHeld);
    // "Hide measurement": the line is no longer shown and measuring ends.
    MeasureStep Hide(SymbolView& line);
    // Leaving the mode: measuring ends, the line stays as it is.
    void Stop() { measuring = false; }

private:
    bool Follow(SymbolView& line, Point p, const PointerSnapper& snapper);

    bool measuring = false;
    Point pressEnd;  // the end as the press left it
};

}  // namespace zandor
