#include "formats/gerber/LoadGbrFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/Numbers.h"
#include "formats/gerber/GerberMacro.h"
#include "geometry/Bool_Engine.h"
#include "geometry/PolygonSplit.h"
#include "model/Geometry.h"
#include "model/Layout.h"
#include "model/RecordViews.h"
#include "platform/Messages.h"

namespace zandor {

namespace {

constexpr double kTwoPi = 2 * kPi;
constexpr double kInch = 25.4e6;  // nanometres
constexpr double kMillimetre = 1e6;
// Messages about single places shown before the rest are only counted.
constexpr long kShownPerKind = 5;
// Polygons of this many nodes or more go through the splitting of large
// contours; a record holds at most 32765.
constexpr std::size_t kSplitNodes = kMaxPolygonNodes + 1;

enum class ShapeKind { Circle, Ring, Rectangle, Polygon, Wire };

// One object as the reader makes it, kept for step-and-repeat blocks until
// the block ends and for their copies that clear polarity has to cut into.
struct Shape {
    explicit Shape(ShapeKind kind) : kind(kind) {}
    Shape(ShapeKind kind, bool clear, std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d = 0)
        : kind(kind), clear(clear), a(a), b(b), c(c), d(d) {}

    ShapeKind kind;
    bool clear = false;
    std::int32_t a = 0, b = 0, c = 0, d = 0;  // circle/ring: x, y, radius, width; rectangle: corners; wire: width
    std::vector<Point> points;
};

struct Aperture {
    char type = 'C';  // C, R, O, P, T, or M for a macro
    double p[5] = {0, 0, 0, 0, 0};
    double unit = kInch;                       // nanometres per unit of the parameters
    bool block = false;                        // an AB block aperture: skipped
    std::vector<std::vector<Point>> outlines;  // a macro's flash, nanometres about the flash point
};

Rect BoxOfPoints(const std::vector<Point>& points) {
    return PointsBounds(points.data(), static_cast<int>(points.size()));
}

bool Overlaps(const Rect& a, const Rect& b) {
    return a.minx <= b.maxx && b.minx <= a.maxx && a.miny <= b.maxy && b.miny <= a.maxy;
}

std::int32_t Clamp32(std::int64_t v) { return SaturateToInt32(v); }

Rect ShapeBox(const Shape& s) {
    switch (s.kind) {
        case ShapeKind::Circle:
            return {Clamp32(std::int64_t{s.a} - s.c), Clamp32(std::int64_t{s.b} - s.c),
                    Clamp32(std::int64_t{s.a} + s.c), Clamp32(std::int64_t{s.b} + s.c)};
        case ShapeKind::Ring: {
            const std::int64_t reach = std::int64_t{s.c} + s.d / 2 + 1;
            return {Clamp32(s.a - reach), Clamp32(s.b - reach), Clamp32(s.a + reach), Clamp32(s.b + reach)};
        }
        case ShapeKind::Rectangle: return {s.a, s.b, s.c, s.d};
        case ShapeKind::Polygon: return BoxOfPoints(s.points);
        case ShapeKind::Wire: {
            Rect box = BoxOfPoints(s.points);
            const std::int64_t h = s.a / 2 + 1;
            return {Clamp32(box.minx - h), Clamp32(box.miny - h), Clamp32(box.maxx + h), Clamp32(box.maxy + h)};
        }
    }
    return {};
}

// Sides of the circles of outlines that go through the boolean engine: as
// few as keep every chord within a micrometre of its arc.
int CutSides(double radius) { return GerberCircleSides(radius, 12); }

// The outlines of a record on layer 0, for cutting clear areas out of it.
void RecordOutlines(const Word* r, std::vector<std::vector<Point>>& out) {
    switch (RecordKind(r)) {
        case ObjectKind::Rectangle: {
            const Rect b = RectangleView(r).Box();
            out.push_back({{b.minx, b.miny}, {b.maxx, b.miny}, {b.maxx, b.maxy}, {b.minx, b.maxy}});
            break;
        }
        case ObjectKind::Polygon: {
            const PolygonView p(r);
            out.emplace_back(p.Nodes(), p.Nodes() + p.NodeCount());
            break;
        }
        case ObjectKind::Circle: {
            const CircleView c(r);
            out.push_back(CirclePolygon(c.Centre(), c.Radius(), CutSides(c.Radius())));
            break;
        }
        case ObjectKind::Ring: {
            const RingView ring(r);
            out.push_back(RingPolygon(ring.Centre(), ring.Radius(), ring.RingWidth(),
                                      2 * CutSides(ring.Radius() + ring.RingWidth() / 2.0) + 2));
            break;
        }
        case ObjectKind::Wire: {
            const WireView w(r);
            const int n = w.NodeCount();
            const std::int32_t width = w.Width();
            const std::int32_t half = width / 2;
            if (half <= 0) break;
            const int sides = CutSides(half);
            for (int k = 0; k < n; ++k) {
                out.push_back(CirclePolygon(w.Node(k), half, sides));
                if (k + 1 < n && !(w.Node(k) == w.Node(k + 1))) {
                    out.push_back(SegmentRectangle(w.Node(k), w.Node(k + 1), width));
                }
            }
            break;
        }
        default: break;
    }
}

Rect RecordBox(const Word* r) {
    switch (RecordKind(r)) {
        case ObjectKind::Rectangle: return RectangleView(r).Box();
        case ObjectKind::Polygon: return PolygonView(r).NodeBounds();
        case ObjectKind::Wire: {
            const WireView w(r);
            const Rect b = w.NodeBounds();
            const std::int64_t h = w.Width() / 2 + 1;
            return {Clamp32(b.minx - h), Clamp32(b.miny - h), Clamp32(b.maxx + h), Clamp32(b.maxy + h)};
        }
        case ObjectKind::Circle: {
            const CircleView c(r);
            const std::int64_t x = c.Centre().X, y = c.Centre().Y, rr = c.Radius();
            return {Clamp32(x - rr), Clamp32(y - rr), Clamp32(x + rr), Clamp32(y + rr)};
        }
        case ObjectKind::Ring: {
            const RingView ring(r);
            const std::int64_t x = ring.Centre().X, y = ring.Centre().Y, rr = ring.Radius() + ring.RingWidth() / 2 + 1;
            return {Clamp32(x - rr), Clamp32(y - rr), Clamp32(x + rr), Clamp32(y + rr)};
        }
        default: return {};
    }
}

// The convex hull of a few points (monotone chain), counter-clockwise.
std::vector<Point> Hull(std::vector<Point> points) {
    std::sort(points.begin(), points.end(), [](Point a, Point b) { return a.X != b.X ? a.X < b.X : a.Y < b.Y; });
    points.erase(std::unique(points.begin(), points.end()), points.end());
    if (points.size() < 3) return points;
    auto cross = [](Point o, Point a, Point b) {
        return static_cast<double>(a.X - o.X) * (b.Y - o.Y) - static_cast<double>(a.Y - o.Y) * (b.X - o.X);
    };
    std::vector<Point> hull(2 * points.size());
    std::size_t k = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        while (k >= 2 && cross(hull[k - 2], hull[k - 1], points[i]) <= 0) --k;
        hull[k++] = points[i];
    }
    for (std::size_t i = points.size() - 1, t = k + 1; i > 0; --i) {
        while (k >= t && cross(hull[k - 2], hull[k - 1], points[i - 1]) <= 0) --k;
        hull[k++] = points[i - 1];
    }
    hull.resize(k - 1);
    return hull;
}

Rect Shifted(const Rect& box, std::int32_t dx, std::int32_t dy) {
    return {Clamp32(std::int64_t{box.minx} + dx), Clamp32(std::int64_t{box.miny} + dy),
            Clamp32(std::int64_t{box.maxx} + dx), Clamp32(std::int64_t{box.maxy} + dy)};
}

// The boxes of clear outlines in a grid of cells over their common box, so
// that the outlines meeting an object's box are found without looking at
// all of them.
class ClearIndex {
public:
    ClearIndex(const std::vector<std::vector<Point>>& outlines, const Rect& all) : all(all) {
        boxes.reserve(outlines.size());
        for (const auto& outline : outlines) boxes.push_back(BoxOfPoints(outline));
        const double side = std::sqrt(static_cast<double>(outlines.size()));
        columns = std::clamp(static_cast<int>(side), 1, 256);
        rows = columns;
        cellWidth = (static_cast<double>(all.maxx) - all.minx) / columns + 1;
        cellHeight = (static_cast<double>(all.maxy) - all.miny) / rows + 1;
        cells.resize(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows));
        for (std::size_t k = 0; k < boxes.size(); ++k) {
            const auto [c1, r1, c2, r2] = Span(boxes[k]);
            for (int r = r1; r <= r2; ++r) {
                for (int c = c1; c <= c2; ++c) cells[Cell(c, r)].push_back(k);
            }
        }
        seen.assign(boxes.size(), 0);
    }

    bool Touches(const Rect& box) const {
        if (!Overlaps(box, all)) return false;
        const auto [c1, r1, c2, r2] = Span(box);
        for (int r = r1; r <= r2; ++r) {
            for (int c = c1; c <= c2; ++c) {
                for (std::size_t k : cells[Cell(c, r)]) {
                    if (Overlaps(boxes[k], box)) return true;
                }
            }
        }
        return false;
    }

    // The outlines whose boxes meet box, each once.
    void Meeting(const Rect& box, const std::vector<std::vector<Point>>& outlines,
                 std::vector<std::vector<Point>>& out) const {
        out.clear();
        if (!Overlaps(box, all)) return;
        ++stamp;
        const auto [c1, r1, c2, r2] = Span(box);
        for (int r = r1; r <= r2; ++r) {
            for (int c = c1; c <= c2; ++c) {
                for (std::size_t k : cells[Cell(c, r)]) {
                    if (seen[k] == stamp || !Overlaps(boxes[k], box)) continue;
                    seen[k] = stamp;
                    out.push_back(outlines[k]);
                }
            }
        }
    }

private:
    struct CellSpan {
        int c1, r1, c2, r2;
    };
    CellSpan Span(const Rect& box) const {
        auto column = [&](double v) {
            return std::clamp(static_cast<int>((v - all.minx) / cellWidth), 0, columns - 1);
        };
        auto row = [&](double v) { return std::clamp(static_cast<int>((v - all.miny) / cellHeight), 0, rows - 1); };
        return {column(box.minx), row(box.miny), column(box.maxx), row(box.maxy)};
    }
    std::size_t Cell(int c, int r) const { return static_cast<std::size_t>(r) * static_cast<std::size_t>(columns) + c; }

    Rect all;
    std::vector<Rect> boxes;
    std::vector<std::vector<std::size_t>> cells;
    int columns = 1, rows = 1;
    double cellWidth = 1, cellHeight = 1;
    mutable std::vector<std::uint32_t> seen;
    mutable std::uint32_t stamp = 0;
};

}  // namespace

struct LoadGbrFile::State {
    State(Layout& l, std::string name, const GerberOptions& o, platform::DiagnosticSink* sink)
        : layout(l), fileName(std::move(name)), options(o), diagnostics(sink ? *sink : shown) {}

    Layout& layout;
    std::string fileName;
    GerberOptions options;
    platform::ShownDiagnostics shown;
    platform::DiagnosticSink& diagnostics;
    SymbolDescription* main = nullptr;

    // The file and the place of the statement being read.
    std::string text;
    std::size_t statementStart = 0;
    std::size_t lineCountedTo = 0;
    std::int64_t line = 1;
    std::int64_t statementNumber = 0;
    bool stopped = false;
    bool ended = false;

    // Format.
    int xInteger = 3, xDecimal = 4, yInteger = 3, yDecimal = 4;
    bool trailing = false, incremental = false, millimetres = false;
    bool formatSeen = false, unitSeen = false, formatWarned = false, unitWarned = false;

    // Modes.
    int interpolation = 1;
    bool multiQuadrant = false, region = false;
    int operation = 2;
    Aperture* aperture = nullptr;
    int apertureNumber = 0;
    double apertureScale = 1;
    double x = 0, y = 0, i = 0, j = 0;  // file units
    bool clear = false;

    std::unordered_map<int, Aperture> apertures;
    std::unordered_map<std::string, GerberMacro> macros;
    std::vector<Point> regionPoints;
    std::vector<Point> scratch;

    // Step and repeat: the block being collected and the blocks placed.
    bool repeating = false;
    std::int64_t repeatX = 1, repeatY = 1;
    double stepX = 0, stepY = 0;  // nanometres
    bool repeatHasClear = false;
    std::vector<Shape> repeatShapes;
    int repeatCount = 0;
    std::unordered_map<std::int32_t, std::vector<Shape>> placedBlocks;

    // Clear polarity: the outlines cleared since the last cut, and their box.
    std::vector<std::vector<Point>> clearOutlines;
    Rect clearBox;
    bool clearPending = false;

    // Message bookkeeping.
    std::set<std::string> warnedKinds;
    bool attributesNoted = false;
    long undefinedApertures = 0;
    long rangeProblems = 0;
    bool abBlock = false;

    // ----- Diagnostics --------------------------------------------------

    void CountLines() {
        const std::size_t to = std::min(statementStart, text.size());
        if (to > lineCountedTo) {
            line += std::count(text.begin() + static_cast<std::ptrdiff_t>(lineCountedTo),
                               text.begin() + static_cast<std::ptrdiff_t>(to), '\n');
            lineCountedTo = to;
        }
    }

    void Report(platform::Severity severity, const std::string& message, bool place, bool limited = false) {
        std::string shownText = message;
        platform::Diagnostic d;
        if (place) {
            CountLines();
            shownText += "\nin statement " + std::to_string(statementNumber) + " (line " + std::to_string(line) + ")";
            d.line = line;
            d.statement = statementNumber;
        }
        d.severity = severity;
        d.text = shownText;
        d.file = fileName;
        d.cell = main ? std::string_view(main->Name()) : std::string_view();
        d.limited = limited;
        diagnostics.Report(d);
    }

    void Error(const std::string& message) {
        Report(platform::Severity::Error, message, true);
        stopped = true;
    }

    // One warning per kind of thing the reader does not apply.
    void WarnOnce(const std::string& kind, const std::string& message) {
        if (warnedKinds.insert(kind).second) Report(platform::Severity::Warning, message, true);
    }

    void RangeProblem() {
        if (++rangeProblems <= kShownPerKind) {
            Report(platform::Severity::Error,
                   "A coordinate or size lies outside the range of the layout; the object was left out", true, true);
        }
    }

    // ----- Output -------------------------------------------------------

    // Room for more words, growing the buffer by half its size at a time so
    // that a large file does not move it once per object.
    bool Room(SymbolDescription& symbol, std::int64_t words) {
        if (std::int64_t{symbol.usedWords} + words + 1 <= symbol.capacity) return true;
        if (symbol.ReserveWords(std::max<std::int64_t>(words + 1, symbol.usedWords / 2 + 1024))) return true;
        return symbol.ReserveWords(words + 1);
    }

    void OutOfMemory() { Error("Not enough memory for the objects of this file"); }

    // Writes a shape as records of layer 0.
    void Store(SymbolDescription& symbol, const Shape& s, std::int32_t dx, std::int32_t dy) {
        if (stopped) return;
        Word* added = nullptr;
        const std::int64_t words = 8 + 2 * static_cast<std::int64_t>(s.points.size());
        if (!Room(symbol, words)) return OutOfMemory();
        switch (s.kind) {
            case ShapeKind::Circle: added = symbol.AddCircle(s.a + dx, s.b + dy, s.c, 0); break;
            case ShapeKind::Ring: added = symbol.AddRing(s.a + dx, s.b + dy, s.c, s.d, 0); break;
            case ShapeKind::Rectangle: added = symbol.AddRectangle(s.a + dx, s.b + dy, s.c + dx, s.d + dy, 0); break;
            case ShapeKind::Polygon:
            case ShapeKind::Wire: {
                const Point* points = s.points.data();
                if (dx != 0 || dy != 0) {
                    scratch.assign(s.points.begin(), s.points.end());
                    for (Point& p : scratch) p = {p.X + dx, p.Y + dy};
                    points = scratch.data();
                }
                const int n = static_cast<int>(s.points.size());
                if (s.kind == ShapeKind::Wire) {
                    added = symbol.AddWire(points, n, s.a, static_cast<int>(EndStyle::Round), 0);
                } else if (s.points.size() < kSplitNodes) {
                    added = symbol.AddPolygon(points, n, 0);
                } else {
                    return StoreLargePolygon(symbol, points, n);
                }
                break;
            }
        }
        if (!added) OutOfMemory();
    }

    // A polygon beyond the node limit of a record, cut in halves across the
    // longer side of its box until each half fits.  Clipping a closed outline
    // at a line keeps the area on that side whatever the outline's windings,
    // so holes joined by cuts and self-touching outlines stay as drawn.
    void StoreLargePolygon(SymbolDescription& symbol, const Point* points, int n) {
        std::vector<std::vector<Point>> pending{std::vector<Point>(points, points + n)};
        while (!pending.empty() && !stopped) {
            std::vector<Point> polygon = std::move(pending.back());
            pending.pop_back();
            if (polygon.size() < 3) continue;
            if (polygon.size() <= static_cast<std::size_t>(kMaxPolygonNodes)) {
                if (!Room(symbol, 8 + 2 * static_cast<std::int64_t>(polygon.size())) ||
                    !symbol.AddPolygon(polygon.data(), static_cast<int>(polygon.size()), 0)) {
                    OutOfMemory();
                }
                continue;
            }
            const Rect box = BoxOfPoints(polygon);
            const bool vertical = std::int64_t{box.maxx} - box.minx >= std::int64_t{box.maxy} - box.miny;
            const std::int32_t cut = static_cast<std::int32_t>(vertical ? (std::int64_t{box.minx} + box.maxx) / 2
                                                                        : (std::int64_t{box.miny} + box.maxy) / 2);
            if (box.minx == box.maxx && box.miny == box.maxy) continue;
            for (int side = 0; side < 2; ++side) {
                std::vector<Point> half = ClipAt(polygon, vertical, cut, side == 0);
                // A half no smaller than the whole lies on the cut: it has no area.
                if (half.size() < polygon.size()) pending.push_back(std::move(half));
            }
        }
    }

    // The part of a closed outline on one side of the line x = cut (or
    // y = cut), the line itself included.
    static std::vector<Point> ClipAt(const std::vector<Point>& polygon, bool vertical, std::int32_t cut, bool below) {
        auto value = [&](Point p) { return vertical ? p.X : p.Y; };
        auto inside = [&](Point p) { return below ? value(p) <= cut : value(p) >= cut; };
        auto crossing = [&](Point a, Point b) {
            const double t = (static_cast<double>(cut) - value(a)) / (static_cast<double>(value(b)) - value(a));
            if (vertical) return Point{cut, RoundHalfAway(a.Y + t * (static_cast<double>(b.Y) - a.Y))};
            return Point{RoundHalfAway(a.X + t * (static_cast<double>(b.X) - a.X)), cut};
        };
        std::vector<Point> out;
        out.reserve(polygon.size() / 2 + 16);
        for (std::size_t k = 0; k < polygon.size(); ++k) {
            const Point a = polygon[k], b = polygon[(k + 1) % polygon.size()];
            const bool ina = inside(a), inb = inside(b);
            if (ina) out.push_back(a);
            if (ina != inb && value(a) != cut && value(b) != cut) out.push_back(crossing(a, b));
        }
        return out;
    }

    void ShapeOutlines(const Shape& s, std::int32_t dx, std::int32_t dy, std::vector<std::vector<Point>>& out) {
        const std::size_t first = out.size();
        switch (s.kind) {
            case ShapeKind::Circle: out.push_back(CirclePolygon({s.a, s.b}, s.c, CutSides(s.c))); break;
            case ShapeKind::Ring:
                out.push_back(RingPolygon({s.a, s.b}, s.c, s.d, 2 * CutSides(s.c + s.d / 2.0) + 2));
                break;
            case ShapeKind::Rectangle: out.push_back({{s.a, s.b}, {s.c, s.b}, {s.c, s.d}, {s.a, s.d}}); break;
            case ShapeKind::Polygon: out.push_back(s.points); break;
            case ShapeKind::Wire: {
                const std::int32_t half = s.a / 2;
                if (half <= 0) break;
                const int sides = CutSides(half);
                for (std::size_t k = 0; k < s.points.size(); ++k) {
                    out.push_back(CirclePolygon(s.points[k], half, sides));
                    if (k + 1 < s.points.size() && !(s.points[k] == s.points[k + 1])) {
                        out.push_back(SegmentRectangle(s.points[k], s.points[k + 1], s.a));
                    }
                }
                break;
            }
        }
        if (dx != 0 || dy != 0) {
            for (std::size_t k = first; k < out.size(); ++k) {
                for (Point& p : out[k]) p = {p.X + dx, p.Y + dy};
            }
        }
    }

    // Every object the statements make passes here: dark ones become records
    // of the target, clear ones are gathered until something dark is drawn
    // over them; inside a step-and-repeat block both are kept for its end.
    void Emit(Shape&& s) {
        if (stopped) return;
        s.clear = clear;
        if (repeating) {
            if (s.clear) repeatHasClear = true;
            repeatShapes.push_back(std::move(s));
            return;
        }
        Put(s, 0, 0);
    }

    void Put(const Shape& s, std::int32_t dx, std::int32_t dy) {
        if (s.clear) {
            Rect box = ShapeBox(s);
            box = {Clamp32(std::int64_t{box.minx} + dx), Clamp32(std::int64_t{box.miny} + dy),
                   Clamp32(std::int64_t{box.maxx} + dx), Clamp32(std::int64_t{box.maxy} + dy)};
            if (clearPending) {
                Join(clearBox, box);
            } else {
                clearBox = box;
            }
            clearPending = true;
            ShapeOutlines(s, dx, dy, clearOutlines);
            return;
        }
        if (clearPending) {
            Rect box = ShapeBox(s);
            box = {Clamp32(std::int64_t{box.minx} + dx), Clamp32(std::int64_t{box.miny} + dy),
                   Clamp32(std::int64_t{box.maxx} + dx), Clamp32(std::int64_t{box.maxy} + dy)};
            // A dark object away from the clear ones is not affected by them,
            // so the cut can wait and take more clear objects along.
            if (Overlaps(box, clearBox)) ApplyClear();
        }
        Store(*main, s, dx, dy);
    }

    // Cuts the clear outlines gathered so far out of everything on layer 0 of
    // the main symbol that they touch; placed step-and-repeat blocks they
    // touch are expanded first.  Each object is cut on its own, by the clear
    // outlines whose boxes meet its box, so that the work follows the
    // overlaps and not the size of the layout.
    void ApplyClear() {
        if (!clearPending) return;
        clearPending = false;
        const std::vector<std::vector<Point>> removed = std::move(clearOutlines);
        clearOutlines.clear();
        const ClearIndex index(removed, clearBox);
        std::vector<std::vector<Point>> results, dark, cut, cutters;
        std::vector<std::int32_t> dropped;                 // offsets of records replaced
        std::vector<std::pair<const Shape*, Point>> kept;  // shapes of expanded blocks left whole
        bool failed = false, expanded = false;
        auto cutOut = [&](const Rect& box) {
            index.Meeting(box, removed, cutters);
            if (cutters.empty()) {
                for (auto& outline : dark) results.push_back(std::move(outline));
            } else if (SubtractOutlines(dark, cutters, cut)) {
                for (auto& outline : cut) results.push_back(std::move(outline));
            } else {
                failed = true;
                for (auto& outline : dark) results.push_back(std::move(outline));
            }
            dark.clear();
        };
        for (const Word* r = main->FirstRecord(); r; r = main->NextRecord(r)) {
            const ObjectKind kind = RecordKind(r);
            if (kind == ObjectKind::SymbolCall) {
                const CallView call(r);
                if (!Overlaps(call.CachedExtent(), clearBox)) continue;
                auto block = placedBlocks.find(call.SymbolId());
                if (block == placedBlocks.end()) continue;
                const TransformMatrix m = call.Matrix();
                const Point shift{RoundHalfAway(m.tx), RoundHalfAway(m.ty)};
                for (const Shape& s : block->second) {
                    const Rect box = Shifted(ShapeBox(s), shift.X, shift.Y);
                    if (!index.Touches(box)) {
                        kept.emplace_back(&s, shift);
                        continue;
                    }
                    ShapeOutlines(s, shift.X, shift.Y, dark);
                    cutOut(box);
                }
                expanded = true;
                dropped.push_back(main->OffsetOf(r));
                continue;
            }
            if (RecordLayer(r) != 0 || kind == ObjectKind::SymbolArray) continue;
            const Rect box = RecordBox(r);
            if (!Overlaps(box, clearBox) || !index.Touches(box)) continue;
            RecordOutlines(r, dark);
            cutOut(box);
            dropped.push_back(main->OffsetOf(r));
        }
        if (failed) {
            Report(platform::Severity::Error,
                   "Clear polarity could not be applied to some objects; they are kept uncut", true);
        }
        if (dropped.empty()) return;
        const Word* words = main->Words();
        std::size_t next = 0;
        const bool rewritten = main->RewriteRecords([&](const Word* r, Word* out) {
            const std::int32_t offset = static_cast<std::int32_t>(r - words);
            if (next < dropped.size() && dropped[next] == offset) {
                ++next;
                return 0;
            }
            const int length = RecordLength(r);
            std::memcpy(out, r, static_cast<std::size_t>(length) * sizeof(Word));
            return length;
        });
        if (!rewritten) return OutOfMemory();
        if (expanded) main->RebuildChildren();
        for (const auto& [shape, shift] : kept) Store(*main, *shape, shift.X, shift.Y);
        for (const auto& outline : results) {
            if (stopped) break;
            if (outline.size() < 3) continue;
            if (outline.size() >= kSplitNodes) {
                StoreLargePolygon(*main, outline.data(), static_cast<int>(outline.size()));
            } else if (!Room(*main, 8 + 2 * static_cast<std::int64_t>(outline.size())) ||
                       !main->AddPolygon(outline.data(), static_cast<int>(outline.size()), 0)) {
                OutOfMemory();
            }
        }
    }

    // ----- Step and repeat ---------------------------------------------

    void CloseRepeat() {
        if (!repeating) return;
        repeating = false;
        std::vector<Shape> shapes = std::move(repeatShapes);
        repeatShapes.clear();
        if (shapes.empty()) return;
        auto offset = [&](std::int64_t k, double step) { return RoundHalfAway(static_cast<double>(k) * step); };
        if (repeatHasClear) {
            // Clear objects of a block clear what lies below each copy, the
            // earlier copies and what came before the block included: the
            // copies are drawn one after another in the main symbol.
            for (std::int64_t jy = 0; jy < repeatY && !stopped; ++jy) {
                for (std::int64_t ix = 0; ix < repeatX && !stopped; ++ix) {
                    for (const Shape& s : shapes) Put(s, offset(ix, stepX), offset(jy, stepY));
                }
            }
            return;
        }
        ApplyClear();
        ++repeatCount;
        std::string name = "SR" + std::to_string(repeatCount);
        while (layout.FindSymbolByName(name)) name += "_";
        SymbolDescription* symbol = layout.AddSymbol(layout.NextSymbolId(), name);
        if (!symbol) return OutOfMemory();
        for (const Shape& s : shapes) Store(*symbol, s, 0, 0);
        symbol->RecomputeBounds();
        for (std::int64_t jy = 0; jy < repeatY && !stopped; ++jy) {
            for (std::int64_t ix = 0; ix < repeatX && !stopped; ++ix) {
                if (!Room(*main, 20) || !main->InsertSymbolCall(symbol->Id(), offset(ix, stepX), offset(jy, stepY))) {
                    OutOfMemory();
                }
            }
        }
        placedBlocks[symbol->Id()] = std::move(shapes);
    }

    // ----- Numbers ------------------------------------------------------

    double FileUnit() const { return millimetres ? kMillimetre : kInch; }

    // A decimal number at text[pos]; pos moves past it.  False when none.
    static bool ReadDecimal(std::string_view s, std::size_t& pos, double& value) {
        std::size_t start = pos;
        if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) ++pos;
        const std::size_t digits = pos;
        while (pos < s.size() && (std::isdigit(static_cast<unsigned char>(s[pos])) || s[pos] == '.')) ++pos;
        if (pos == digits) {
            pos = start;
            return false;
        }
        std::string_view number = s.substr(start, pos - start);
        if (number[0] == '+') number.remove_prefix(1);
        const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
        if (error != std::errc() || !std::isfinite(value)) value = 0;
        return true;
    }

    static bool ReadInteger(std::string_view s, std::size_t& pos, long& value) {
        const std::size_t start = pos;
        while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) ++pos;
        if (pos == start) return false;
        const auto [end, error] = std::from_chars(s.data() + start, s.data() + pos, value);
        if (error != std::errc()) value = -1;
        return true;
    }

    // A coordinate in file units: digits with the implied decimal point of
    // the format, or a written decimal point.  False when it has too many
    // digits for the layout.
    bool ReadCoordinate(std::string_view s, std::size_t& pos, int integers, int decimals, double& value) {
        bool negative = false;
        if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) negative = s[pos++] == '-';
        const std::size_t start = pos;
        bool point = false;
        while (pos < s.size() && (std::isdigit(static_cast<unsigned char>(s[pos])) || (s[pos] == '.' && !point))) {
            if (s[pos] == '.') point = true;
            ++pos;
        }
        std::string_view digits = s.substr(start, pos - start);
        if (digits.empty()) {
            value = 0;
            return true;
        }
        if (digits.size() > 18) return false;
        if (point) {
            double v = 0;
            std::from_chars(digits.data(), digits.data() + digits.size(), v);
            value = v * std::pow(10.0, decimals);
        } else {
            std::int64_t v = 0;
            std::from_chars(digits.data(), digits.data() + digits.size(), v);
            value = static_cast<double>(v);
            const int width = integers + decimals;
            if (trailing && static_cast<int>(digits.size()) < width) {
                value *= std::pow(10.0, width - static_cast<int>(digits.size()));
            }
        }
        if (negative) value = -value;
        return true;
    }

    // File units of an axis to nanometres; false (and one counted message)
    // outside the 32-bit range.
    bool ToNanometres(double units, int decimals, std::int32_t& out) {
        const double nm = units * FileUnit() / std::pow(10.0, decimals);
        const double rounded = nm >= 0 ? std::trunc(nm + 0.5) : std::trunc(nm - 0.5);
        if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) return false;
        out = static_cast<std::int32_t>(rounded);
        return true;
    }

    bool PointOf(double px, double py, Point& p) {
        return ToNanometres(px, xDecimal, p.X) && ToNanometres(py, yDecimal, p.Y);
    }

    // A length of an aperture in nanometres, scaled by the interpolation
    // code's factor; false outside the range of the layout.
    bool Length(const Aperture& a, double value, std::int32_t& out) {
        const double nm = value * a.unit * apertureScale;
        if (!(std::abs(nm) < 2147483647.0)) return false;
        out = RoundHalfAway(nm);
        return true;
    }

    // ----- Statements ---------------------------------------------------

    void NoteFormatUse() {
        if (!formatSeen && !formatWarned) {
            formatWarned = true;
            Report(platform::Severity::Warning,
                   "The file has no format statement (FS): coordinates are read with 3 integer and 4 decimal digits, "
                   "leading zeros omitted, absolute",
                   true);
        }
        if (!unitSeen && !unitWarned) {
            unitWarned = true;
            Report(platform::Severity::Warning, "The file states no unit (MO, G70 or G71): inches are assumed", true);
        }
    }

    void ReadFormat(std::string_view s) {
        xInteger = yInteger = 3;
        xDecimal = yDecimal = 4;
        trailing = false;
        incremental = false;
        formatSeen = true;
        for (std::size_t pos = 2; pos < s.size();) {
            const char c = s[pos++];
            auto digit = [&](int& target) {
                if (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) target = s[pos++] - '0';
            };
            switch (c) {
                case 'L': trailing = false; break;
                case 'T': trailing = true; break;
                case 'A': incremental = false; break;
                case 'I': incremental = true; break;
                case 'X':
                    digit(xInteger);
                    digit(xDecimal);
                    break;
                case 'Y':
                    digit(yInteger);
                    digit(yDecimal);
                    break;
                case 'N':
                case 'G':
                case 'D':
                case 'M':
                    while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) ++pos;
                    break;
                default: break;
            }
        }
    }

    void DefineAperture(std::string_view s) {
        std::size_t pos = 2;
        if (pos < s.size() && s[pos] == 'D') ++pos;
        long code = 0;
        if (!ReadInteger(s, pos, code) || code < 0 || code > 2147483647L) {
            Report(platform::Severity::Error, "An aperture definition has no valid D code and was skipped", true, true);
            return;
        }
        const std::size_t comma = s.find(',', pos);
        const std::string name(s.substr(pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos));
        std::vector<double> values;
        if (comma != std::string_view::npos) {
            std::size_t p = comma + 1;
            while (p <= s.size()) {
                double v = 0;
                if (!ReadDecimal(s, p, v)) v = 0;
                values.push_back(v);
                const std::size_t next = s.find_first_of("Xx", p);
                if (next == std::string_view::npos) break;
                p = next + 1;
                if (values.size() > 10000) break;
            }
        }
        Aperture a;
        a.unit = FileUnit();
        if (!unitSeen && !unitWarned) NoteFormatUse();
        if (name == "C" || name == "R" || name == "O" || name == "P" || name == "T") {
            a.type = name[0];
            for (std::size_t k = 0; k < 5 && k < values.size(); ++k) a.p[k] = values[k];
        } else {
            auto macro = macros.find(name);
            if (macro == macros.end()) {
                Report(platform::Severity::Error,
                       "Aperture D" + std::to_string(code) + " uses the macro " + name + ", which is not defined", true,
                       true);
                return;
            }
            a.type = 'M';
            GerberMacroShape shape = EvaluateGerberMacro(macro->second, values, a.unit);
            for (int unknown : shape.unknownPrimitives) {
                WarnOnce("primitive" + std::to_string(unknown), "Aperture macro primitive " + std::to_string(unknown) +
                                                                    " is not known; it was left out of the macro " +
                                                                    name);
            }
            if (shape.badStatement) {
                WarnOnce("macro " + name, "The aperture macro " + name +
                                              " has statements that could not be evaluated; they were left out");
            }
            if (shape.booleanFailed) {
                WarnOnce("macro boolean " + name,
                         "The parts of the aperture macro " + name + " exposed off could not be cut out");
            }
            a.outlines = std::move(shape.outlines);
        }
        apertures[static_cast<int>(code)] = std::move(a);
        if (apertureNumber == code) SelectAperture(apertureNumber);
    }

    void SelectAperture(int code) {
        apertureNumber = code;
        auto it = apertures.find(code);
        aperture = it == apertures.end() ? nullptr : &it->second;
    }

    bool UndefinedAperture() {
        if (aperture) return false;
        if (++undefinedApertures <= kShownPerKind) {
            Report(platform::Severity::Error, "Invalid aperture number: D" + std::to_string(apertureNumber), true,
                   true);
        }
        return true;
    }

    void StepAndRepeat(std::string_view s) {
        double counts[2] = {1, 1}, steps[2] = {0, 0};
        for (std::size_t pos = 2; pos < s.size();) {
            const char c = s[pos++];
            double v = 0;
            if (!ReadDecimal(s, pos, v)) continue;
            if (c == 'X') counts[0] = v;
            if (c == 'Y') counts[1] = v;
            if (c == 'I') steps[0] = v;
            if (c == 'J') steps[1] = v;
        }
        CloseRepeat();
        const double total = std::floor(counts[0]) * std::floor(counts[1]);
        if (!(counts[0] >= 1 && counts[1] >= 1 && total <= static_cast<double>(kMaxRepeats))) {
            Report(platform::Severity::Error,
                   "A step and repeat asks for " + FormatNumber(std::floor(counts[0])) + " x " +
                       FormatNumber(std::floor(counts[1])) + " copies; at most " + std::to_string(kMaxRepeats) +
                       " are made: the block is drawn once",
                   true);
            return;
        }
        repeatX = static_cast<std::int64_t>(counts[0]);
        repeatY = static_cast<std::int64_t>(counts[1]);
        stepX = steps[0] * FileUnit();
        stepY = steps[1] * FileUnit();
        if (!(std::abs(stepX * static_cast<double>(repeatX)) < 2e9 &&
              std::abs(stepY * static_cast<double>(repeatY)) < 2e9)) {
            RangeProblem();
            return;
        }
        if (repeatX == 1 && repeatY == 1 && stepX == 0 && stepY == 0) return;
        repeating = true;
        repeatHasClear = false;
    }

    static bool Is(std::string_view s, std::string_view value) { return s == value; }

    void Parameter(std::string_view s) {
        if (s.size() < 2) return;
        const std::string_view code = s.substr(0, 2);
        const std::string_view rest = s.substr(2);
        if (code == "FS") return ReadFormat(s);
        if (code == "MO") {
            unitSeen = true;
            if (rest.starts_with("MM")) millimetres = true;
            if (rest.starts_with("IN")) millimetres = false;
            return;
        }
        if (code == "AD") return DefineAperture(s);
        if (code == "LP") {
            const bool nowClear = rest.starts_with("C");
            if (!nowClear && !rest.starts_with("D")) {
                WarnOnce("LP", "An unknown polarity %" + std::string(s) + "% was taken as dark");
            }
            clear = nowClear;
            return;
        }
        if (code == "SR") return StepAndRepeat(s);
        if (code == "AB") {
            WarnOnce("AB", "Block apertures (AB) are not applied: their flashes are left out");
            if (rest.empty()) {
                abBlock = false;
            } else {
                std::size_t pos = rest[0] == 'D' ? 1 : 0;
                long number = 0;
                if (ReadInteger(rest, pos, number) && number >= 0 && number <= 2147483647L) {
                    Aperture a;
                    a.block = true;
                    apertures[static_cast<int>(number)] = a;
                }
                abBlock = true;
            }
            return;
        }
        if (code == "TF" || code == "TA" || code == "TO" || code == "TD") {
            if (!attributesNoted) {
                attributesNoted = true;
                Report(platform::Severity::Info, "Attributes (TF, TA, TO, TD) do not change the image and were skipped",
                       false);
            }
            return;
        }
        if (code == "IP") {
            if (!rest.starts_with("POS"))
                WarnOnce("IP", "The negative image polarity (%" + std::string(s) + "%) is not applied");
            return;
        }
        auto zeroes = [](std::string_view r, std::string_view allowedDigits) {
            return r.find_first_not_of(allowedDigits) == std::string_view::npos;
        };
        if (code == "IR") {
            if (!zeroes(rest, "0.")) WarnOnce("IR", "The image rotation (%" + std::string(s) + "%) is not applied");
            return;
        }
        if (code == "MI") {
            if (!zeroes(rest, "AB0.")) WarnOnce("MI", "The image mirroring (%" + std::string(s) + "%) is not applied");
            return;
        }
        if (code == "OF") {
            if (!zeroes(rest, "AB0.+-")) WarnOnce("OF", "The image offset (%" + std::string(s) + "%) is not applied");
            return;
        }
        if (code == "SF") {
            double a = 1, b = 1;
            for (std::size_t pos = 0; pos < rest.size();) {
                const char c = rest[pos++];
                double v = 0;
                if (!ReadDecimal(rest, pos, v)) continue;
                if (c == 'A') a = v;
                if (c == 'B') b = v;
            }
            if (a != 1 || b != 1) WarnOnce("SF", "The scale factor (%" + std::string(s) + "%) is not applied");
            return;
        }
        if (code == "KO") {
            WarnOnce("KO", "Knockout (%KO%) is not applied");
            return;
        }
        if (code == "LM") {
            if (!Is(rest, "N")) WarnOnce("LM", "Object mirroring (%" + std::string(s) + "%) is not applied");
            return;
        }
        if (code == "LR") {
            if (!zeroes(rest, "0.")) WarnOnce("LR", "Object rotation (%" + std::string(s) + "%) is not applied");
            return;
        }
        if (code == "LS") {
            double v = 1;
            std::size_t pos = 0;
            ReadDecimal(rest, pos, v);
            if (v != 1) WarnOnce("LS", "Object scaling (%" + std::string(s) + "%) is not applied");
            return;
        }
        // Names, justification, axis selection and film settings change
        // nothing that is drawn.
        if (code == "IN" || code == "LN" || code == "AS" || code == "IJ" || code == "IO" || code == "PF" ||
            code == "IC")
            return;
        if (code[0] == 'G' || code[0] == 'D' || code[0] == 'X' || code[0] == 'Y' || code[0] == 'M') return Data(s);
        WarnOnce("param " + std::string(code),
                 "The parameter %" + std::string(code) + "...% is not known to this reader and was skipped");
    }

    void Data(std::string_view s) {
        bool hasX = false, hasY = false, hasOperation = false;
        double nx = incremental ? 0 : x, ny = incremental ? 0 : y;
        double ni = 0, nj = 0;
        for (std::size_t pos = 0; pos < s.size() && !stopped;) {
            const char c = s[pos++];
            long number = 0;
            switch (c) {
                case 'G':
                    if (!ReadInteger(s, pos, number)) break;
                    switch (number) {
                        case 4: return;  // comment
                        case 1:
                        case 2:
                        case 3:
                        case 6:
                        case 7:
                        case 10:
                        case 11:
                        case 12:
                        case 60:
                            interpolation = static_cast<int>(number);
                            apertureScale = number == 10   ? 10
                                            : number == 11 ? 0.1
                                            : number == 12 ? 0.01
                                            : number == 60 ? 100
                                                           : 1;
                            break;
                        case 36:
                            region = true;
                            regionPoints.clear();
                            break;
                        case 37:
                            CloseContour();
                            region = false;
                            break;
                        case 56:
                        case 57: return;
                        case 70:
                            millimetres = false;
                            unitSeen = true;
                            break;
                        case 71:
                            millimetres = true;
                            unitSeen = true;
                            break;
                        case 74: multiQuadrant = false; break;
                        case 75: multiQuadrant = true; break;
                        case 90: incremental = false; break;
                        case 91: incremental = true; break;
                        default: break;
                    }
                    break;
                case 'D':
                    if (!ReadInteger(s, pos, number)) break;
                    if (number < 4) {
                        operation = static_cast<int>(number);
                        hasOperation = true;
                    } else {
                        SelectAperture(number > 2147483647L || number < 0 ? -1 : static_cast<int>(number));
                    }
                    break;
                case 'M':
                    if (!ReadInteger(s, pos, number)) break;
                    if (number == 0 || number == 2) {
                        ended = true;
                        return;
                    }
                    break;
                case 'N': ReadInteger(s, pos, number); break;
                case 'X':
                case 'Y':
                case 'I':
                case 'J': {
                    const bool xAxis = c == 'X' || c == 'I';
                    double v = 0;
                    if (!ReadCoordinate(s, pos, xAxis ? xInteger : yInteger, xAxis ? xDecimal : yDecimal, v)) {
                        RangeProblem();
                        return;
                    }
                    NoteFormatUse();
                    if (c == 'X') {
                        nx = v;
                        hasX = true;
                    } else if (c == 'Y') {
                        ny = v;
                        hasY = true;
                    } else if (c == 'I') {
                        ni = v;
                    } else {
                        nj = v;
                    }
                    break;
                }
                default: break;
            }
        }
        if (stopped) return;
        if (hasX || hasY) {
            if (incremental) {
                nx += x;
                ny += y;
            } else {
                if (!hasX) nx = x;
                if (!hasY) ny = y;
            }
            i = ni;
            j = nj;
            Operate(nx, ny);
            x = nx;
            y = ny;
        } else if (hasOperation && operation != 2) {
            i = ni;
            j = nj;
            Operate(x, y);
        } else if (hasOperation && operation == 2 && region) {
            CloseContour();
        }
    }

    void CloseContour() {
        if (regionPoints.size() > 2) {
            Shape s{ShapeKind::Polygon};
            s.points = regionPoints;
            Emit(std::move(s));
        }
        regionPoints.clear();
    }

    void Operate(double nx, double ny) {
        if (abBlock) return;
        Point from, to;
        if (operation == 2 && !region) return;
        if (!PointOf(nx, ny, to)) return RangeProblem();
        switch (operation) {
            case 1:
                if (!PointOf(x, y, from)) return RangeProblem();
                return Draw(from, to);
            case 2:
                if (region) CloseContour();
                return;
            case 3: return Flash(to);
            default: return;
        }
    }

    // The points of an arc from `from` to `to` after `from` itself, or false
    // when the arc cannot be made.
    bool ArcPoints(Point from, Point to, std::vector<Point>& points, double& radius) {
        const bool clockwise = interpolation == 2;
        std::int32_t oi = 0, oj = 0;
        if (!ToNanometres(i, xDecimal, oi) || !ToNanometres(j, yDecimal, oj)) return false;
        double cx = 0, cy = 0, sweep = 0;
        auto sweepOf = [&](double px, double py) {
            const double a0 = std::atan2(from.Y - py, from.X - px);
            double a1 = std::atan2(to.Y - py, to.X - px);
            if (clockwise) {
                while (a1 >= a0) a1 -= kTwoPi;
            } else {
                while (a1 <= a0) a1 += kTwoPi;
            }
            return a1 - a0;
        };
        if (multiQuadrant) {
            cx = from.X + static_cast<double>(oi);
            cy = from.Y + static_cast<double>(oj);
            sweep = from == to ? (clockwise ? -kTwoPi : kTwoPi) : sweepOf(cx, cy);
        } else {
            // Of the four centres the signs of I and J allow, the one giving
            // an arc of at most a quarter turn, ends nearest the same radius.
            if (from == to) return false;
            const double ai = std::abs(static_cast<double>(oi)), aj = std::abs(static_cast<double>(oj));
            double best = 1e300;
            for (int k = 0; k < 4; ++k) {
                const double px = from.X + (k & 1 ? -ai : ai), py = from.Y + (k & 2 ? -aj : aj);
                const double s = sweepOf(px, py);
                if (std::abs(s) > kPi / 2 + 1e-3) continue;
                const double mismatch =
                    std::abs(std::hypot(from.X - px, from.Y - py) - std::hypot(to.X - px, to.Y - py));
                if (mismatch < best) {
                    best = mismatch;
                    cx = px;
                    cy = py;
                    sweep = s;
                }
            }
            if (best == 1e300) return false;
        }
        radius = std::hypot(from.X - cx, from.Y - cy);
        const double start = std::atan2(from.Y - cy, from.X - cx);
        const double endRadius = std::hypot(to.X - cx, to.Y - cy);
        // An arc about one of its end points (offsets left out) is drawn
        // straight; one whose ends lie at different distances from the
        // centre blends the two radii along the way.
        if (radius < 1 || endRadius < 1) {
            WarnOnce("arc centre", "An arc whose centre lies on an end point was drawn as a line");
            points.push_back(to);
            return true;
        }
        const int perTurn = GerberCircleSides(std::max(radius, endRadius));
        const int n = std::max(2, RoundHalfAway(std::abs(sweep) * perTurn / kTwoPi));
        for (int k = 1; k < n; ++k) {
            const double f = static_cast<double>(k) / n;
            const double a = start + sweep * f;
            const double r = radius + (endRadius - radius) * f;  // arcs whose ends miss the circle blend the radius
            points.push_back({RoundHalfAway(cx + r * std::cos(a)), RoundHalfAway(cy + r * std::sin(a))});
        }
        points.push_back(to);
        return true;
    }

    // The width a stroke of the current aperture draws, or false.
    bool StrokeWidth(std::int32_t& width) {
        const Aperture& a = *aperture;
        switch (a.type) {
            case 'C':
            case 'P': return Length(a, a.p[0], width);
            case 'O':
            case 'R': return Length(a, (a.p[0] + a.p[1]) / 2, width);
            default: return false;
        }
    }

    void Draw(Point from, Point to) {
        const bool arc = interpolation == 2 || interpolation == 3;
        if (region) {
            if (regionPoints.empty()) regionPoints.push_back(from);
            if (arc) {
                double radius = 0;
                if (!ArcPoints(from, to, regionPoints, radius)) regionPoints.push_back(to);
            } else {
                regionPoints.push_back(to);
            }
            return;
        }
        if (UndefinedAperture()) return;
        if (aperture->block) return;
        if (aperture->type == 'M') {
            WarnOnce("macro draw", "Draws with macro apertures are not supported and were left out");
            return;
        }
        if (aperture->type == 'T') return;
        if (arc) {
            std::int32_t width = 0;
            std::vector<Point> points{from};
            double radius = 0;
            if (!StrokeWidth(width) || !ArcPoints(from, to, points, radius)) return RangeProblem();
            Shape s{ShapeKind::Wire};
            s.a = width;
            s.points = std::move(points);
            return Emit(std::move(s));
        }
        const Aperture& a = *aperture;
        if (a.type == 'C' || a.type == 'P') {
            std::int32_t width = 0;
            if (!Length(a, a.p[0], width)) return RangeProblem();
            if (from == to) {
                Shape s{ShapeKind::Circle, false, to.X, to.Y, width / 2};
                if (!InRange(ShapeBoxWide(s))) return RangeProblem();
                return Emit(std::move(s));
            }
            Shape s{ShapeKind::Wire};
            s.a = width;
            s.points = {from, to};
            if (!InRange(ShapeBoxWide(s))) return RangeProblem();
            return Emit(std::move(s));
        }
        std::int32_t w = 0, h = 0;
        if (!Length(a, a.p[0], w) || !Length(a, a.p[1], h)) return RangeProblem();
        w = std::abs(w);
        h = std::abs(h);
        if (a.type == 'R') {
            const std::int64_t hw = w / 2, hh = h / 2;
            if (from.X == to.X || from.Y == to.Y) {
                const std::int64_t x1 = std::min(from.X, to.X) - hw, x2 = std::max(from.X, to.X) + (w - hw);
                const std::int64_t y1 = std::min(from.Y, to.Y) - hh, y2 = std::max(from.Y, to.Y) + (h - hh);
                if (!Fits(x1, y1) || !Fits(x2, y2)) return RangeProblem();
                return Emit(Shape{ShapeKind::Rectangle, false, static_cast<std::int32_t>(x1),
                                  static_cast<std::int32_t>(y1), static_cast<std::int32_t>(x2),
                                  static_cast<std::int32_t>(y2)});
            }
            std::vector<Point> corners;
            for (Point p : {from, to}) {
                for (int k = 0; k < 4; ++k) {
                    const std::int64_t cx = p.X + ((k & 1) ? hw : -hw), cy = p.Y + ((k & 2) ? hh : -hh);
                    if (!Fits(cx, cy)) return RangeProblem();
                    corners.push_back({static_cast<std::int32_t>(cx), static_cast<std::int32_t>(cy)});
                }
            }
            Shape s{ShapeKind::Polygon};
            s.points = Hull(std::move(corners));
            return Emit(std::move(s));
        }
        // Obround: the outline of the parallelogram its long centre line sweeps,
        // drawn with the round ends' width, and its inside filled.
        const std::int32_t shortHalf = std::min(w, h) / 2, longHalf = std::max(w, h) / 2;
        const std::int32_t reach = longHalf - shortHalf;
        const Point d = w >= h ? Point{reach, 0} : Point{0, reach};
        const std::int64_t coords[4][2] = {{std::int64_t{from.X} - d.X, std::int64_t{from.Y} - d.Y},
                                           {std::int64_t{from.X} + d.X, std::int64_t{from.Y} + d.Y},
                                           {std::int64_t{to.X} + d.X, std::int64_t{to.Y} + d.Y},
                                           {std::int64_t{to.X} - d.X, std::int64_t{to.Y} - d.Y}};
        std::vector<Point> quad;
        for (const auto& c : coords) {
            if (!Fits(c[0] - shortHalf, c[1] - shortHalf) || !Fits(c[0] + shortHalf, c[1] + shortHalf))
                return RangeProblem();
            quad.push_back({static_cast<std::int32_t>(c[0]), static_cast<std::int32_t>(c[1])});
        }
        Shape outline{ShapeKind::Wire};
        outline.a = 2 * shortHalf;
        outline.points = quad;
        outline.points.push_back(quad[0]);
        Emit(std::move(outline));
        if (shortHalf < reach) {
            Shape inside{ShapeKind::Polygon};
            inside.points = Hull(quad);
            if (inside.points.size() >= 3) Emit(std::move(inside));
        }
    }

    static bool Fits(std::int64_t px, std::int64_t py) {
        return px >= INT32_MIN && px <= INT32_MAX && py >= INT32_MIN && py <= INT32_MAX;
    }

    static bool InRange(const std::pair<std::int64_t, std::int64_t>& extent) {
        return extent.first >= INT32_MIN && extent.second <= INT32_MAX;
    }

    // The smallest and largest coordinate a circle or wire reaches.
    static std::pair<std::int64_t, std::int64_t> ShapeBoxWide(const Shape& s) {
        std::int64_t lo = INT64_MAX, hi = INT64_MIN;
        const std::int64_t reach = s.kind == ShapeKind::Circle ? s.c : s.a / 2 + 1;
        auto add = [&](std::int64_t v) {
            lo = std::min(lo, v - reach);
            hi = std::max(hi, v + reach);
        };
        if (s.kind == ShapeKind::Circle) {
            add(s.a);
            add(s.b);
        }
        for (Point p : s.points) {
            add(p.X);
            add(p.Y);
        }
        return {lo, hi};
    }

    // A closed outline with a hole, the hole joined by a cut from the
    // outline's first point: outline counter-clockwise, hole clockwise.
    static std::vector<Point> WithHole(const std::vector<Point>& outline, std::vector<Point> hole) {
        std::vector<Point> points = outline;
        points.push_back(outline.front());
        std::reverse(hole.begin(), hole.end());
        // Start the hole at its point nearest the outline's first point.
        std::size_t nearest = 0;
        double best = 1e300;
        for (std::size_t k = 0; k < hole.size(); ++k) {
            const double dist = std::hypot(static_cast<double>(hole[k].X) - outline.front().X,
                                           static_cast<double>(hole[k].Y) - outline.front().Y);
            if (dist < best) {
                best = dist;
                nearest = k;
            }
        }
        std::rotate(hole.begin(), hole.begin() + static_cast<std::ptrdiff_t>(nearest), hole.end());
        points.insert(points.end(), hole.begin(), hole.end());
        points.push_back(hole.front());
        return points;
    }

    static std::vector<Point> Circle(Point c, double radius, int sides, double startDegrees = 0) {
        std::vector<Point> points;
        const double start = startDegrees * kPi / 180;
        for (int k = 0; k < sides; ++k) {
            const double a = start + kTwoPi * k / sides;
            points.push_back({RoundHalfAway(c.X + radius * std::cos(a)), RoundHalfAway(c.Y + radius * std::sin(a))});
        }
        return points;
    }

    static std::vector<Point> Box(Point c, double w, double h) {
        const std::int32_t x1 = RoundHalfAway(c.X - w / 2), x2 = RoundHalfAway(c.X + w / 2);
        const std::int32_t y1 = RoundHalfAway(c.Y - h / 2), y2 = RoundHalfAway(c.Y + h / 2);
        return {{x2, RoundHalfAway(static_cast<double>(c.Y))}, {x2, y2}, {x1, y2}, {x1, y1}, {x2, y1}};
    }

    static std::vector<Point> Obround(Point c, double w, double h) {
        std::vector<Point> points;
        const bool wide = w >= h;
        const double r = std::min(w, h) / 2, reach = std::max(w, h) / 2 - r;
        // Two half circles of 18 segments, the first about the end on the
        // positive side of the long axis.
        for (int half = 0; half < 2; ++half) {
            const double sx = wide ? (half == 0 ? reach : -reach) : 0, sy = wide ? 0 : (half == 0 ? reach : -reach);
            const double start = (wide ? -kPi / 2 : 0) + half * kPi;
            for (int k = 0; k <= 18; ++k) {
                const double a = start + kPi * k / 18;
                points.push_back(
                    {RoundHalfAway(c.X + sx + r * std::cos(a)), RoundHalfAway(c.Y + sy + r * std::sin(a))});
            }
        }
        return points;
    }

    void Flash(Point at) {
        if (region) return;
        if (UndefinedAperture()) return;
        const Aperture& a = *aperture;
        if (a.block || a.type == 'T') return;
        if (a.type == 'M') {
            for (const auto& outline : a.outlines) {
                Shape s{ShapeKind::Polygon};
                s.points.reserve(outline.size());
                for (Point p : outline) {
                    const std::int64_t px = std::int64_t{p.X} + at.X, py = std::int64_t{p.Y} + at.Y;
                    if (!Fits(px, py)) return RangeProblem();
                    s.points.push_back({static_cast<std::int32_t>(px), static_cast<std::int32_t>(py)});
                }
                Emit(std::move(s));
            }
            return;
        }
        std::int32_t size[5] = {0, 0, 0, 0, 0};
        for (int k = 0; k < 5; ++k) {
            if (a.type == 'P' && (k == 1 || k == 2)) continue;  // vertex count and angle
            if (!Length(a, std::abs(a.p[k]), size[k])) return RangeProblem();
        }
        // Everything a flash makes lies within its largest size of the point.
        const std::int64_t reach = std::max({size[0], size[1], size[2], size[3], size[4]});
        if (!Fits(at.X - reach, at.Y - reach) || !Fits(at.X + reach, at.Y + reach)) return RangeProblem();
        Shape s{ShapeKind::Polygon};
        switch (a.type) {
            case 'C': {
                const std::int32_t d = size[0], hx = size[1], hy = size[2];
                if (hx == 0 && hy == 0) return Emit(Shape{ShapeKind::Circle, false, at.X, at.Y, d / 2});
                if (hy == 0) {
                    if (hx >= d) return;
                    return Emit(Shape{ShapeKind::Ring, false, at.X, at.Y, RoundHalfAway((d + hx) / 4.0),
                                      RoundHalfAway((d - hx) / 2.0)});
                }
                s.points = WithHole(Circle(at, d / 2.0, 72), Box(at, hx, hy));
                break;
            }
            case 'R': {
                const std::int32_t w = size[0], h = size[1], hx = size[2], hy = size[3];
                if (hx == 0 && hy == 0) {
                    return Emit(Shape{ShapeKind::Rectangle, false, at.X - w / 2, at.Y - h / 2, at.X + (w - w / 2),
                                      at.Y + (h - h / 2)});
                }
                s.points = WithHole(Box(at, w, h), hy == 0 ? Circle(at, hx / 2.0, 72) : Box(at, hx, hy));
                break;
            }
            case 'O': {
                const std::int32_t w = size[0], h = size[1], hx = size[2], hy = size[3];
                if (hx == 0 && hy == 0) {
                    Shape wire{ShapeKind::Wire};
                    const std::int32_t r = std::min(w, h) / 2, reach = std::max(w, h) / 2 - r;
                    wire.a = std::min(w, h);
                    wire.points = w >= h ? std::vector<Point>{{at.X - reach, at.Y}, {at.X + reach, at.Y}}
                                         : std::vector<Point>{{at.X, at.Y - reach}, {at.X, at.Y + reach}};
                    if (reach == 0) return Emit(Shape{ShapeKind::Circle, false, at.X, at.Y, r});
                    return Emit(std::move(wire));
                }
                s.points = WithHole(Obround(at, w, h), hy == 0 ? Circle(at, hx / 2.0, 36) : Box(at, hx, hy));
                break;
            }
            case 'P': {
                const double sides = std::floor(a.p[1]);
                if (!(sides >= 3 && sides <= 10000)) {
                    WarnOnce("polygon sides", "A polygon aperture with fewer than 3 sides (or too many) was left out");
                    return;
                }
                const std::vector<Point> outline = Circle(at, size[0] / 2.0, static_cast<int>(sides), a.p[2]);
                const std::int32_t hx = size[3], hy = size[4];
                if (hx == 0 && hy == 0) {
                    s.points = outline;
                } else {
                    s.points = WithHole(outline, hy == 0 ? Circle(at, hx / 2.0, 36) : Box(at, hx, hy));
                }
                break;
            }
            default: return;
        }
        Emit(std::move(s));
    }

    // ----- The file -----------------------------------------------------

    bool Binary(std::string_view s) {
        for (char ch : s) {
            const unsigned char c = static_cast<unsigned char>(ch);
            if (c < 0x20 && c != '\t' && c != '\r' && c != '\n' && c != '\f') return true;
            if (c == 0x7F) return true;
        }
        return false;
    }

    // The statement with white space removed.
    std::string compact;
    std::string_view Compact(std::string_view s) {
        compact.clear();
        for (char c : s) {
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\f') compact.push_back(c);
        }
        return compact;
    }

    void ParameterBlock(std::string_view block) {
        const char end = options.endOfBlock;
        std::size_t start = 0;
        bool first = true;
        GerberMacro* macro = nullptr;
        while (start < block.size() && !stopped && !ended) {
            std::size_t stop = block.find(end, start);
            if (stop == std::string_view::npos) stop = block.size();
            const std::string_view raw = block.substr(start, stop - start);
            start = stop + 1;
            ++statementNumber;
            const std::string_view s = Compact(raw);
            if (s.empty()) continue;
            if (first && s.starts_with("AM")) {
                GerberMacro m;
                m.name = std::string(s.substr(2));
                macro = &(macros[m.name] = std::move(m));
                macro->statements.clear();
            } else if (macro) {
                macro->statements.emplace_back(s);
            } else {
                if (s.starts_with("G04")) continue;
                Parameter(s);
            }
            first = false;
        }
    }

    void Parse() {
        const char end = options.endOfBlock, delimiter = options.parameterDelimiter;
        const std::size_t n = text.size();
        std::size_t pos = 0;
        int lastPercent = -1;
        while (pos < n && !stopped && !ended) {
            const char c = text[pos];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f') {
                ++pos;
                continue;
            }
            if (const int percent = static_cast<int>(pos * 100 / n); percent != lastPercent) {
                lastPercent = percent;
                platform::Progress().SetProgress(percent);
            }
            statementStart = pos;
            if (c == delimiter) {
                std::size_t close = text.find(delimiter, pos + 1);
                if (close == std::string::npos) {
                    close = n;
                    ++statementNumber;
                    Report(platform::Severity::Warning, "A parameter block is not closed before the end of the file",
                           true);
                }
                const std::string_view block(text.data() + pos + 1, close - pos - 1);
                if (block.size() > LoadGbrFile::kMaxStatement) {
                    ++statementNumber;
                    return Error("A parameter block is longer than 4 MB; the rest of the file was not read");
                }
                if (Binary(block)) {
                    ++statementNumber;
                    return Error("The file holds binary data; it is no Gerber file, or it is damaged");
                }
                ParameterBlock(block);
                pos = close + 1;
                continue;
            }
            std::size_t stop = text.find(end, pos);
            const bool unterminated = stop == std::string::npos;
            if (unterminated) stop = n;
            ++statementNumber;
            if (stop - pos > LoadGbrFile::kMaxStatement) {
                return Error("A statement is longer than 4 MB; the rest of the file was not read");
            }
            const std::string_view raw(text.data() + pos, stop - pos);
            if (Binary(raw)) return Error("The file holds binary data; it is no Gerber file, or it is damaged");
            pos = stop < n && text[stop] == end ? stop + 1 : stop;
            const std::string_view s = Compact(raw);
            if (s.empty()) continue;
            if (unterminated && pos >= n) {
                Report(platform::Severity::Warning, "The last statement has no end-of-block character", true);
            }
            Data(s);
        }
    }

    void Finish() {
        if (region) {
            if (regionPoints.size() > 2) {
                Report(platform::Severity::Warning,
                       "A region is not closed (G37) at the end of the file; it was closed", false);
            }
            CloseContour();
            region = false;
        }
        CloseRepeat();
        ApplyClear();
        if (undefinedApertures > kShownPerKind) {
            Report(platform::Severity::Error,
                   std::to_string(undefinedApertures - kShownPerKind) +
                       " more flashes or draws used undefined apertures and were left out",
                   false);
        }
        if (rangeProblems > kShownPerKind) {
            Report(platform::Severity::Error,
                   std::to_string(rangeProblems - kShownPerKind) +
                       " more objects lay outside the range of the layout and were left out",
                   false);
        }
    }

    bool Read(platform::ByteSource& source) {
        main = layout.MainSymbol();
        if (!main) {
            platform::Diagnostic d;
            d.text = "The layout has no main symbol.";
            d.file = fileName;
            diagnostics.Report(d);
            return false;
        }
        layout.SetLayer(std::make_unique<LayerDescription>(0, "Layer 0"));
        const std::int64_t size = source.Size();
        if (size > 0) text.reserve(static_cast<std::size_t>(size));
        char buffer[1 << 16];
        for (std::size_t got; (got = source.Read(buffer, sizeof buffer)) > 0;) text.append(buffer, got);
        Parse();
        if (!stopped) {
            Finish();
        } else {
            // What was read stays: an open region, block or clear area still counts.
            stopped = false;
            const std::int64_t keep = statementNumber;
            Finish();
            statementNumber = keep;
        }
        main->boundsValid = false;
        return true;
    }
};

LoadGbrFile::LoadGbrFile(Layout& layout, std::string fileName, const GerberOptions& options,
                         platform::DiagnosticSink* diagnostics)
    : state(std::make_unique<State>(layout, std::move(fileName), options, diagnostics)) {}

LoadGbrFile::~LoadGbrFile() = default;

bool LoadGbrFile::Read() {
    platform::FileSource file;
    if (!file.Open(state->fileName)) {
        platform::Diagnostic d;
        const std::string text = "Cannot open " + state->fileName;
        d.text = text;
        d.file = state->fileName;
        state->diagnostics.Report(d);
        return false;
    }
    return Read(file);
}

bool LoadGbrFile::Read(std::span<const std::uint8_t> bytes) {
    platform::MemorySource source(bytes);
    return Read(source);
}

bool LoadGbrFile::Read(platform::ByteSource& source) { return state->Read(source); }

}  // namespace zandor
