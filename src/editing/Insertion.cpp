#include "editing/Insertion.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/Numbers.h"
#include "display/LayoutViewport.h"
#include "model/Geometry.h"
#include "model/Layout.h"
#include "model/RecordViews.h"
#include "model/SymbolDescription.h"
#include "platform/Messages.h"

namespace zandor {

namespace {

// The arc scratch keeps its click stage in the word after the record.
constexpr int kArcStageWord = kArcWireLength;
// Room the polygon and wire scratch starts with; it grows beyond on demand.
constexpr std::size_t kPathScratchWords = 1024;

std::int32_t ClampWorld(std::int64_t v) { return static_cast<std::int32_t>(std::clamp(v, -kViewLimit, kViewLimit)); }
Point ClampWorld(Point p) { return {ClampWorld(p.X), ClampWorld(p.Y)}; }

std::string Um(std::int64_t units) { return FormatNumber(static_cast<double>(units) * 0.001); }
std::string Pair(Point p) { return Um(p.X) + "," + Um(p.Y); }

const char* OrthoSuffix(const PointerSnapper& snapper) { return snapper.snapOrtho ? " (snap orthogonal)" : ""; }

// The largest radius about `centre` that keeps a circle's extent inside the
// 32-bit range, so that nothing adding the radius to the centre overflows.
double RadiusLimit(Point centre) {
    const std::int64_t far = std::max(std::llabs(centre.X), std::llabs(centre.Y));
    return static_cast<double>(INT32_MAX - far);
}

// The offset from `centre` to `target`, shortened along its direction to the
// radius limit.
Point64 CappedOffset(Point centre, Point target) {
    Point64 o{std::int64_t{target.X} - centre.X, std::int64_t{target.Y} - centre.Y};
    const double length = std::hypot(static_cast<double>(o.x), static_cast<double>(o.y));
    const double limit = RadiusLimit(centre);
    if (length > limit) {
        o.x = RoundHalfAway(static_cast<double>(o.x) * limit / length);
        o.y = RoundHalfAway(static_cast<double>(o.y) * limit / length);
    }
    return o;
}

Point Displaced(Point centre, Point64 o) { return {ClampWorld(centre.X + o.x), ClampWorld(centre.Y + o.y)}; }

Rect Joined(const Rect& box, Point p) {
    return {std::min(box.minx, p.X), std::min(box.miny, p.Y), std::max(box.maxx, p.X), std::max(box.maxy, p.Y)};
}

std::string IdleHint(InsertionMode mode) {
    switch (mode) {
        case InsertionMode::Rectangle: return "Insert rectangle...";
        case InsertionMode::Polygon: return "Insert polygon...";
        case InsertionMode::Wire: return "Insert wire...";
        case InsertionMode::Circle: return "Insert circle...";
        case InsertionMode::ArcWire: return "Insert arc-wire...";
    }
    return {};
}

std::int32_t ClampedThickness(std::int32_t thickness) {
    return std::clamp<std::int32_t>(thickness, 0, static_cast<std::int32_t>(kWidthMask));
}

int KnownEndStyle(int style) {
    return style == int(EndStyle::Flat) || style == int(EndStyle::Extended) ? style : int(EndStyle::Round);
}

}  // namespace

int Insertion::MaxNodes() const {
    return mode == InsertionMode::Polygon ? kMaxInsertedPolygonNodes : kMaxInsertedWireNodes;
}

Point Insertion::Node(int i) const {
    return mode == InsertionMode::Polygon ? PolygonView(words.data()).Node(i) : WireView(words.data()).Node(i);
}

void Insertion::SetNodeBox(const Rect& box) {
    if (mode == InsertionMode::Polygon) {
        PolygonView(words.data()).SetNodeBounds(box);
    } else {
        WireView(words.data()).SetNodeBounds(box);
    }
}

void Insertion::SetNode(int i, Point p) {
    Point* nodes = mode == InsertionMode::Polygon ? PolygonView(words.data()).Nodes() : WireView(words.data()).Nodes();
    nodes[i] = p;
}

int Insertion::ArcStage() const {
    return state != State::Idle && mode == InsertionMode::ArcWire ? words[kArcStageWord] : 0;
}

void Insertion::Reset() {
    state = State::Idle;
    words.clear();
    fixedNodes = 0;
    fixedBox = {};
    secondClick = false;
}

InsertionStep Insertion::Press(InsertionMode newMode, Point p, const InsertionSettings& settings) {
    p = ClampWorld(p);
    if (state == State::Inserting) {
        if (mode == InsertionMode::Rectangle) {
            const RectangleView rectangle(words.data());
            if (rectangle.Corner2() == p) return InsertionStep::Nothing;
            rectangle.SetCorners(rectangle.Corner1(), p);
            return InsertionStep::Changed;
        }
        if (mode == InsertionMode::Circle) secondClick = true;
        return InsertionStep::Nothing;
    }
    Reset();
    mode = newMode;
    press = p;
    const std::int32_t thickness = ClampedThickness(settings.wireThickness);
    const int style = KnownEndStyle(settings.wireStyle);
    switch (mode) {
        case InsertionMode::Rectangle:
            words.assign(kRectangleLength, 0);
            words[0] = MakeHeader(kRectangleLength, 0, ObjectKind::Rectangle);
            RectangleView(words.data()).SetCorners(p, p);
            break;
        case InsertionMode::Polygon:
        case InsertionMode::Wire: {
            const bool polygon = mode == InsertionMode::Polygon;
            const int first = polygon ? kPolygonBaseLength : kWireBaseLength;
            words.reserve(kPathScratchWords);
            words.assign(static_cast<std::size_t>(first + 2), 0);
            words[0] = MakeHeader(first + 2, 0, polygon ? ObjectKind::Polygon : ObjectKind::Wire);
            if (!polygon) WireView(words.data()).SetWidthWord(MakeWireWidthWord(thickness, style));
            SetNode(0, p);
            SetNodeBox({p.X, p.Y, p.X, p.Y});
            break;
        }
        case InsertionMode::Circle: {
            // Five words, as the rectangle: the record uses four of them.
            words.assign(kRectangleLength, 0);
            words[0] = MakeHeader(kCircleLength, 0, ObjectKind::Circle);
            const CircleView circle(words.data());
            circle.SetCentre(p);
            circle.SetRadius(0);
            break;
        }
        case InsertionMode::ArcWire: {
            words.assign(kArcWireLength + 1, 0);
            words[0] = MakeHeader(kArcWireLength, 0, ObjectKind::ArcWire);
            const ArcWireView arc(words.data());
            arc.SetPoints(p, p, p);
            arc.SetWidthWord(MakeArcWidthWord(thickness, style, false));
            words[kArcStageWord] = 0;
            break;
        }
        default: return InsertionStep::Nothing;
    }
    state = State::Inserting;
    return InsertionStep::Started;
}

bool Insertion::Follow(Point p, const PointerSnapper& snapper) {
    p = ClampWorld(p);
    switch (mode) {
        case InsertionMode::Rectangle: {
            const RectangleView rectangle(words.data());
            if (rectangle.Corner2() == p) return false;
            rectangle.SetCorners(rectangle.Corner1(), p);
            return true;
        }
        case InsertionMode::Polygon:
        case InsertionMode::Wire: {
            const Point anchor = fixedNodes > 0 ? Node(fixedNodes - 1) : press;
            const Point floating = ClampWorld(snapper.OrthoSnap(anchor, p));
            if (Node(fixedNodes) == floating) return false;
            SetNode(fixedNodes, floating);
            SetNodeBox(fixedNodes > 0 ? Joined(fixedBox, floating)
                                      : Rect{floating.X, floating.Y, floating.X, floating.Y});
            return true;
        }
        case InsertionMode::Circle: {
            const CircleView circle(words.data());
            const Point64 o = CappedOffset(circle.Centre(), snapper.OrthoSnap(circle.Centre(), p));
            const std::int32_t radius = RoundHalfAway(std::hypot(static_cast<double>(o.x), static_cast<double>(o.y)));
            if (circle.Radius() == radius) return false;
            circle.SetRadius(radius);
            return true;
        }
        case InsertionMode::ArcWire: {
            const ArcWireView arc(words.data());
            const Point centre = arc.Centre();
            const Point target = snapper.OrthoSnap(centre, p);
            Point start = arc.Start(), end;
            if (words[kArcStageWord] < 2) {
                start = end = Displaced(centre, CappedOffset(centre, target));
            } else {
                const double ox = double(target.X) - centre.X, oy = double(target.Y) - centre.Y;
                const double length = std::hypot(ox, oy);
                if (length == 0) {
                    end = start;
                } else {
                    const double radius = std::hypot(double(start.X) - centre.X, double(start.Y) - centre.Y);
                    end = ClampWorld(Point{RoundHalfAway(centre.X + ox * radius / length),
                                           RoundHalfAway(centre.Y + oy * radius / length)});
                }
            }
            if (arc.Start() == start && arc.End() == end) return false;
            arc.SetPoints(start, centre, end);
            return true;
        }
    }
    return false;
}

InsertionMove Insertion::Move(InsertionMode idleMode, Point p, const PointerSnapper& snapper) {
    if (state != State::Inserting) return {InsertionStep::Nothing, IdleHint(idleMode)};
    const bool changed = Follow(p, snapper);
    return {changed ? InsertionStep::Changed : InsertionStep::Nothing, Hint(snapper)};
}

InsertionStep Insertion::Release(Point p, const PointerSnapper& snapper) {
    if (state != State::Inserting) return InsertionStep::Nothing;
    const InsertionStep goesOn = Follow(p, snapper) ? InsertionStep::Changed : InsertionStep::Nothing;
    switch (mode) {
        case InsertionMode::Rectangle: {
            const RectangleView rectangle(words.data());
            if (rectangle.Corner1() == rectangle.Corner2()) return goesOn;
            state = State::Finished;
            return InsertionStep::Finished;
        }
        case InsertionMode::Polygon:
        case InsertionMode::Wire: {
            if (fixedNodes + 1 >= MaxNodes()) return FinishPath(false);
            const Point fixed = Node(fixedNodes);
            fixedBox = fixedNodes > 0 ? Joined(fixedBox, fixed) : Rect{fixed.X, fixed.Y, fixed.X, fixed.Y};
            ++fixedNodes;
            words.push_back(fixed.X);
            words.push_back(fixed.Y);
            SetRecordLength(words.data(), static_cast<int>(words.size()));
            return InsertionStep::Changed;
        }
        case InsertionMode::Circle:
            if (CircleView(words.data()).Radius() == 0 && !secondClick) return goesOn;
            state = State::Finished;
            return InsertionStep::Finished;
        case InsertionMode::ArcWire: {
            Word& stage = words[kArcStageWord];
            if (stage == 0) {
                stage = 1;
                return InsertionStep::Changed;
            }
            if (stage == 1) {
                const ArcWireView arc(words.data());
                if (arc.Start() == arc.Centre()) return goesOn;
                stage = 2;
                return InsertionStep::Changed;
            }
            state = State::Finished;
            return InsertionStep::Finished;
        }
    }
    return InsertionStep::Nothing;
}

InsertionStep Insertion::FinishPath(bool dropFloating) {
    if (dropFloating) {
        words.resize(static_cast<std::size_t>(FirstNodeWord() + 2 * fixedNodes));
        SetRecordLength(words.data(), static_cast<int>(words.size()));
    } else {
        ++fixedNodes;
    }
    const Point* nodes =
        mode == InsertionMode::Polygon ? PolygonView(words.data()).Nodes() : WireView(words.data()).Nodes();
    SetNodeBox(PointsBounds(nodes, fixedNodes));
    state = State::Finished;
    return InsertionStep::Finished;
}

InsertionStep Insertion::DoubleClick() {
    if (state != State::Inserting || !IsPath()) return InsertionStep::Nothing;
    return FinishPath(true);
}

InsertionStep Insertion::RightRelease() {
    if (state != State::Inserting) return InsertionStep::Menu;
    if (IsPath()) return FinishPath(true);
    if (mode == InsertionMode::ArcWire && words[kArcStageWord] == 2) {
        const ArcWireView arc(words.data());
        arc.SetWidthWord(MakeArcWidthWord(arc.Width(), arc.EndStyle(), !arc.Clockwise()));
        return InsertionStep::Changed;
    }
    Reset();
    return InsertionStep::Cancelled;
}

InsertionStep Insertion::Cancel() {
    if (state == State::Idle) return InsertionStep::Nothing;
    Reset();
    return InsertionStep::Cancelled;
}

bool Insertion::Creates() const {
    if (state != State::Finished) return false;
    const Word* w = words.data();
    switch (mode) {
        case InsertionMode::Rectangle: {
            const RectangleView rectangle(w);
            return rectangle.Corner1().X != rectangle.Corner2().X && rectangle.Corner1().Y != rectangle.Corner2().Y;
        }
        case InsertionMode::Polygon: return fixedNodes >= 3;
        case InsertionMode::Wire: return fixedNodes >= 2;
        case InsertionMode::Circle: return CircleView(w).Radius() > 0;
        case InsertionMode::ArcWire: {
            const ArcWireView arc(w);
            return arc.Start() != arc.Centre() && arc.End() != arc.Centre();
        }
    }
    return false;
}

std::string Insertion::Hint(const PointerSnapper& snapper) const {
    const Word* w = words.data();
    switch (mode) {
        case InsertionMode::Rectangle: {
            const RectangleView rectangle(w);
            const Point a = rectangle.Corner1(), b = rectangle.Corner2();
            return "(" + Pair(a) + ")->(" + Pair(b) + "), width: " + Um(std::llabs(std::int64_t{b.X} - a.X)) +
                   ", height: " + Um(std::llabs(std::int64_t{b.Y} - a.Y));
        }
        case InsertionMode::Polygon:
        case InsertionMode::Wire: {
            const Rect box = mode == InsertionMode::Polygon ? PolygonView(w).NodeBounds() : WireView(w).NodeBounds();
            std::string text =
                "(" + Um(box.minx) + "," + Um(box.miny) + "),(" + Um(box.maxx) + "," + Um(box.maxy) + ")";
            const Point anchor = fixedNodes > 0 ? Node(fixedNodes - 1) : press;
            const Point floating = Node(fixedNodes);
            const std::int64_t dx = std::int64_t{floating.X} - anchor.X, dy = std::int64_t{floating.Y} - anchor.Y;
            if (dx != 0 || dy != 0) {
                const double angle =
                    RoundHalfAway(std::atan2(static_cast<double>(dy), static_cast<double>(dx)) * 1800 / kPi) * 0.1;
                text += " dx: " + Um(dx) + " dy: " + Um(dy) + " angle: " + FormatNumber(angle);
            }
            return text;
        }
        case InsertionMode::Circle: {
            const CircleView circle(w);
            return "Center: " + Pair(circle.Centre()) + ", radius: " + Um(circle.Radius()) +
                   ", diameter: " + Um(2 * std::int64_t{circle.Radius()}) + OrthoSuffix(snapper);
        }
        case InsertionMode::ArcWire: {
            const ArcWireView arc(w);
            std::string text = "Center: (" + Pair(arc.Centre()) + "), start: (" + Pair(arc.Start()) + ")";
            if (w[kArcStageWord] == 2) text += ", end: (" + Pair(arc.End()) + ")";
            return text + OrthoSuffix(snapper);
        }
    }
    return {};
}

Word* CommitInsertion(SymbolDescription& symbol, Insertion& insertion, int layer) {
    if (!insertion.Creates() || layer < 0 || layer > 255) {
        insertion.Reset();
        return nullptr;
    }
    const Word* w = insertion.Scratch();
    symbol.DeselectAll();
    Word* r = nullptr;
    switch (insertion.Mode()) {
        case InsertionMode::Rectangle: {
            const RectangleView rectangle(w);
            const Point a = rectangle.Corner1(), b = rectangle.Corner2();
            r = symbol.AddRectangle(a.X, a.Y, b.X, b.Y, layer);
            break;
        }
        case InsertionMode::Polygon: {
            const PolygonView polygon(w);
            r = symbol.AddPolygon(polygon.Nodes(), polygon.NodeCount(), layer);
            break;
        }
        case InsertionMode::Wire: {
            const WireView wire(w);
            r = symbol.AddWire(wire.Nodes(), wire.NodeCount(), wire.Width(), wire.EndStyle(), layer);
            break;
        }
        case InsertionMode::Circle: {
            const CircleView circle(w);
            r = symbol.AddCircle(circle.Centre().X, circle.Centre().Y, circle.Radius(), layer);
            break;
        }
        case InsertionMode::ArcWire: {
            const ArcWireView arc(w);
            const Point c = arc.Centre(), s = arc.Start(), e = arc.End();
            r = symbol.AddArcWire(c.X, c.Y, s.X, s.Y, e.X, e.Y, arc.WidthWord(), layer);
            break;
        }
    }
    insertion.Reset();
    if (!r) return nullptr;
    symbol.SetSelected(r);
    symbol.SelectSingle(r);
    return r;
}

bool RequireCurrentLayer(const Layout& layout) {
    if (layout.Layer(layout.activeLayer)) return true;
    platform::ShowError("You first have to select a layer!");
    return false;
}

}  // namespace zandor
