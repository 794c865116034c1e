#include "editing/Measurement.h"

#include <algorithm>
#include <cstdlib>

#include "display/LayoutViewport.h"
#include "model/Geometry.h"

namespace zandor {

namespace {

std::int32_t ClampWorld(std::int64_t v) { return static_cast<std::int32_t>(std::clamp(v, -kViewLimit, kViewLimit)); }
Point ClampWorld(Point p) { return {ClampWorld(p.X), ClampWorld(p.Y)}; }

std::string Um(std::int64_t units) { return FormatNumber(static_cast<double>(units) * 0.001); }

Point Start(const SymbolView& line) { return {line.measureX1, line.measureY1}; }
Point End(const SymbolView& line) { return {line.measureX2, line.measureY2}; }
void SetStart(SymbolView& line, Point p) {
    line.measureX1 = p.X;
    line.measureY1 = p.Y;
}
void SetEnd(SymbolView& line, Point p) {
    line.measureX2 = p.X;
    line.measureY2 = p.Y;
}

bool Near(Point a, Point p, std::int32_t twoPixels) {
    return std::llabs(std::int64_t{p.X} - a.X) < twoPixels && std::llabs(std::int64_t{p.Y} - a.Y) < twoPixels;
}

}  // namespace

bool NearMeasureEnd(const SymbolView& line, Point p, std::int32_t twoPixels) {
    return line.measureShown && Near(End(line), p, twoPixels);
}

bool NearMeasureStart(const SymbolView& line, Point p, std::int32_t twoPixels) {
    return line.measureShown && Near(Start(line), p, twoPixels);
}

bool Measurement::Follow(SymbolView& line, Point p, const PointerSnapper& snapper) {
    const Point end = ClampWorld(snapper.OrthoSnap(Start(line), ClampWorld(p)));
    if (end == End(line)) return false;
    SetEnd(line, end);
    return true;
}

MeasureStep Measurement::Press(SymbolView& line, Point p, std::int32_t twoPixels, const PointerSnapper& snapper) {
    if (measuring) {
        measuring = false;
        return Follow(line, p, snapper) ? MeasureStep::Changed : MeasureStep::Nothing;
    }
    p = ClampWorld(p);
    if (NearMeasureEnd(line, p, twoPixels)) {
        SetEnd(line, p);
    } else if (NearMeasureStart(line, p, twoPixels)) {
        SetStart(line, End(line));
        SetEnd(line, p);
    } else {
        SetStart(line, p);
        SetEnd(line, p);
    }
    line.measureShown = true;
    measuring = true;
    pressEnd = p;
    return MeasureStep::Changed;
}

MeasureMove Measurement::Move(SymbolView& line, Point p, const PointerSnapper& snapper) {
    if (!measuring) return {MeasureStep::Nothing, "New measurement..."};
    const bool changed = Follow(line, p, snapper);
    const Point a = Start(line), b = End(line);
    return {changed ? MeasureStep::Changed : MeasureStep::Nothing,
            "(" + Um(a.X) + "," + Um(a.Y) + ")->(" + Um(b.X) + "," + Um(b.Y) +
                ") dx: " + Um(std::llabs(std::int64_t{b.X} - a.X)) + " dy: " + Um(std::llabs(std::int64_t{b.Y} - a.Y))};
}

MeasureStep Measurement::Release(SymbolView& line, Point p, const PointerSnapper& snapper) {
    if (!measuring) return MeasureStep::Nothing;
    const MeasureStep step = Follow(line, p, snapper) ? MeasureStep::Changed : MeasureStep::Nothing;
    if (End(line) != pressEnd && End(line) != Start(line)) measuring = false;
    return step;
}

MeasureStep Measurement::RightRelease(SymbolView& line, bool leftHeld) {
    if (measuring) return leftHeld ? MeasureStep::Nothing : Hide(line);
    return line.measureShown ? MeasureStep::Menu : MeasureStep::Nothing;
}

MeasureStep Measurement::Hide(SymbolView& line) {
    const bool shown = line.measureShown;
    measuring = false;
    line.measureShown = false;
    return shown ? MeasureStep::Hidden : MeasureStep::Nothing;
}

}  // namespace zandor
