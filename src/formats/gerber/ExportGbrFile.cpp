// Choices beyond the plain format:
// - apertures are defined with the size the writer chose them by (the
//   nanometre size), in inches as well, so that what is drawn is as large as
//   what was planned;
// - a rotated rectangle with "Only when necessary" is a region: neither a
//   round nor an axis-parallel square aperture draws its corners;
// - a polygon is traced with an aperture only when that draws it exactly
//   (a square aperture, axis-parallel edges, no part thinner than the
//   aperture, also where two parts of the outline meet), and the triangles
//   beside slanted edges are strokes only inside a traced outline, except
//   with "Never";
// - inside a polygon traced with an aperture, a piece thicker than the
//   aperture both ways is covered by stacked strokes instead of one centre
//   line, so no hole is left;
// - the joints of wires are mitred, as a wire's path is read everywhere
//   else: the segments of a flush or extended wire are all flush, and the
//   round-ended segments of a round wire get the wedge outside their joint;
// - a shape that would need more than a million strokes (path lines) of the
//   apertures there are is treated as one no aperture fits;
// - the round ends of wire segments are as finely divided as circles (72
//   steps a turn) instead of in 30 degree steps, which would cut 3 % of the
//   half width off;
// - zero-size shapes draw nothing.
#include "formats/gerber/ExportGbrFile.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <utility>
#include <vector>

#include "geometry/Fracture.h"
#include "model/Geometry.h"
#include "model/HierarchyWalker.h"
#include "model/Layout.h"
#include "model/ProgressWalk.h"
#include "model/RecordViews.h"
#include "platform/Messages.h"
#include "platform/ReplacingFile.h"

namespace zandor {

namespace {

constexpr int kSegments = 72;
// Strokes (lines of paths) one shape may take; more means the apertures are
// far too small for it.
constexpr double kMaxStrokes = 1000000;
// The fracturing's minimum figure and margin, in nanometres.
constexpr std::int32_t kFractureFigure = 500;
constexpr std::int32_t kFractureMargin = 500;
constexpr const char* kSaveFailed = "Unable to save file!";

struct Nm {
    double x = 0, y = 0;
};

std::int64_t Round64(double v) {
    if (!(v == v)) return 0;
    const double r = std::clamp(v >= 0 ? std::trunc(v + 0.5) : std::trunc(v - 0.5), -4e18, 4e18);
    return static_cast<std::int64_t>(r);
}

Nm ToNm(Point p) { return {double(p.X), double(p.Y)}; }

int Digits(std::int64_t v) {
    std::uint64_t u = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    int n = 1;
    while (u >= 10) u /= 10, ++n;
    return n;
}

bool UsableBlockCharacter(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7f) return false;
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return false;
    return std::string_view("+-.,").find(c) == std::string_view::npos;
}

// A size in file units with six decimals, trailing zeros dropped down to
// three, "." as decimal point whatever the locale.
std::string ApertureSize(double units) {
    const std::int64_t millionths = Round64(units * 1e6);
    std::string text = std::to_string(millionths / 1000000);
    std::string fraction = std::to_string(1000000 + millionths % 1000000).substr(1);
    while (fraction.size() > 3 && fraction.back() == '0') fraction.pop_back();
    return text + "." + fraction;
}

}  // namespace

std::string GerberOptionsProblem(const GerberOptions& options) {
    if (options.integers < 1 || options.integers > 6) {
        return "The coordinate format needs 1 to 6 integer digits, not " + std::to_string(options.integers) + ".";
    }
    if (options.decimals < 0 || options.decimals > 6) {
        return "The coordinate format needs 0 to 6 decimals, not " + std::to_string(options.decimals) + ".";
    }
    if (!UsableBlockCharacter(options.endOfBlock)) {
        return "The end-of-block character must be a printable sign other than a letter, a digit, a blank, "
               "\"+\", \"-\", \".\" or \",\".";
    }
    if (!UsableBlockCharacter(options.parameterDelimiter)) {
        return "The parameter delimiter must be a printable sign other than a letter, a digit, a blank, "
               "\"+\", \"-\", \".\" or \",\".";
    }
    if (options.endOfBlock == options.parameterDelimiter) {
        return "The end-of-block character and the parameter delimiter must differ.";
    }
    return {};
}

struct ExportGbrFile::State : FractureSink {
    State(Layout& l, std::string name, int layer, const GerberOptions& o, platform::DiagnosticSink* sink)
        : layout(l), fileName(std::move(name)), layer(layer), options(o), diagnostics(sink ? *sink : shown) {}

    Layout& layout;
    std::string fileName;
    int layer;
    GerberOptions options;
    platform::ShownDiagnostics shown;
    platform::DiagnosticSink& diagnostics;
    platform::ReplacingFile out;

    double unit = 100;  // nanometres per output step
    int current = -1;   // the selected aperture
    std::int64_t regionX = 0, regionY = 0;
    Nm regionStart;
    TransformMatrix matrix;
    bool rectilinear = false;
    bool apertureMode = false;
    bool objectDropped = false;
    long droppedShapes = 0;
    bool tooLong = false;

    void Report(platform::Severity severity, std::string_view text) {
        platform::Diagnostic d;
        d.severity = severity;
        d.text = text;
        d.file = fileName;
        diagnostics.Report(d);
    }

    bool Never() const { return options.fill == GerberFill::Never; }
    bool Always() const { return options.fill == GerberFill::Always; }

    // --- output --------------------------------------------------------------

    void Block(std::string_view text) {
        out.Put(text);
        out.Put(options.endOfBlock);
        out.Put("\r\n");
    }

    std::int64_t Units(double nm) {
        const std::int64_t v = Round64(nm / unit);
        if (Digits(v) > options.integers + options.decimals) tooLong = true;
        return v;
    }
    static std::string XY(std::int64_t x, std::int64_t y) { return "X" + std::to_string(x) + "Y" + std::to_string(y); }

    // The image name: the output path, without what would end or break a
    // block.
    std::string ImageName() const {
        std::string name = fileName;
        for (char& c : name) {
            const unsigned char u = static_cast<unsigned char>(c);
            if (u < 0x20 || u >= 0x7f || c == '*' || c == '%' || c == options.endOfBlock ||
                c == options.parameterDelimiter) {
                c = '_';
            }
        }
        return name.size() > 69 ? "INZANDOR" : "INZANDOR-" + name;
    }

    void Header() {
        const std::string format = std::to_string(options.integers) + std::to_string(options.decimals);
        ParameterLine("FSLAX" + format + "Y" + format);
        ParameterLine(options.millimetres ? "MOMM" : "MOIN");
        ParameterLine(ImageName());
        for (int i = 0; i < kGerberApertureCount; ++i) {
            const GerberAperture& a = options.apertures[static_cast<std::size_t>(i)];
            if (!a.InUse()) continue;
            const std::string size =
                ApertureSize(double(a.nanometres) / (options.millimetres ? 1000000.0 : 25400000.0));
            const std::string code = "ADD" + std::to_string(i + kGerberFirstDCode);
            ParameterLine(a.square ? code + "R," + size + "X" + size : code + "C," + size);
        }
        Block("G01");
    }
    void ParameterLine(const std::string& text) {
        out.Put(options.parameterDelimiter);
        out.Put(text);
        out.Put(options.endOfBlock);
        out.Put(options.parameterDelimiter);
        out.Put("\r\n");
    }

    // --- apertures -----------------------------------------------------------

    double Size(int i) const { return double(options.apertures[static_cast<std::size_t>(i)].nanometres); }
    bool Square(int i) const { return options.apertures[static_cast<std::size_t>(i)].square; }

    // Of the shape asked, the largest not above s; else of any shape the
    // smallest not above s; else -1.
    int BestFit(double s, bool square) const {
        int best = -1;
        for (int i = 0; i < kGerberApertureCount; ++i) {
            if (!options.apertures[static_cast<std::size_t>(i)].InUse() || Square(i) != square || Size(i) > s) continue;
            if (best < 0 || Size(i) > Size(best)) best = i;
        }
        if (best >= 0) return best;
        for (int i = 0; i < kGerberApertureCount; ++i) {
            if (!options.apertures[static_cast<std::size_t>(i)].InUse() || Size(i) > s) continue;
            if (best < 0 || Size(i) < Size(best)) best = i;
        }
        return best;
    }
    int Smallest(bool preferSquare) const {
        int best = -1;
        for (int i = 0; i < kGerberApertureCount; ++i) {
            if (!options.apertures[static_cast<std::size_t>(i)].InUse()) continue;
            if (best < 0 || Size(i) < Size(best) ||
                (Size(i) == Size(best) && Square(i) == preferSquare && Square(best) != preferSquare)) {
                best = i;
            }
        }
        return best;
    }
    void Select(int i) {
        if (i == current) return;
        current = i;
        Block("G54D" + std::to_string(i + kGerberFirstDCode));
    }

    // --- primitives ----------------------------------------------------------

    void RegionBegin(Nm p) {
        if (Never()) {
            objectDropped = true;
            return;
        }
        Block("G36");
        regionStart = p;
        regionX = Units(p.x);
        regionY = Units(p.y);
        Block("G01" + XY(regionX, regionY) + "D02");
    }
    void RegionLine(Nm p) {
        if (Never()) return;
        const std::int64_t x = Units(p.x), y = Units(p.y);
        if (x == regionX && y == regionY) return;
        Block(XY(x, y) + "D01");
        regionX = x;
        regionY = y;
    }
    void RegionEnd(Nm p) {
        if (Never()) return;
        RegionLine(p);
        Block(XY(regionX, regionY) + "D02");
        Block("G37");
    }
    void Region(const std::vector<Nm>& points) {
        if (points.empty()) return;
        RegionBegin(points[0]);
        for (std::size_t k = 1; k < points.size(); ++k) RegionLine(points[k]);
        RegionEnd(points[0]);
    }

    void StrokeNm(Nm a, Nm b) {
        const std::int64_t ax = Units(a.x), ay = Units(a.y), bx = Units(b.x), by = Units(b.y);
        if (ax == bx && ay == by) {
            Block(XY(ax, ay) + "D03");
            return;
        }
        Block(XY(ax, ay) + "D02");
        Block(XY(bx, by) + "D01");
    }
    // Through every point, starting from the last: a closed ring of n points
    // comes out as a closed path.
    void Path(const std::vector<Nm>& points) {
        if (points.empty()) return;
        std::int64_t x = Units(points.back().x), y = Units(points.back().y);
        Block(XY(x, y) + "D02");
        for (const Nm& p : points) {
            const std::int64_t px = Units(p.x), py = Units(p.y);
            if (px == x && py == y) continue;
            Block(XY(px, py) + "D01");
            x = px;
            y = py;
        }
    }

    // Parallel strokes filling the axis-parallel area (x1, y1)-(x2, y2),
    // already inset by half the aperture: along the longer side, n of them,
    // the last on the high edge.
    void StackedStrokes(double x1, double y1, double x2, double y2, std::int64_t n, double spacing) {
        const bool horizontal = y2 - y1 < x2 - x1;
        for (std::int64_t k = 0; k < n; ++k) {
            if (horizontal) {
                const double y = k == n - 1 ? y2 : y1 + double(k) * spacing;
                StrokeNm({x1, y}, {x2, y});
            } else {
                const double x = k == n - 1 ? x2 : x1 + double(k) * spacing;
                StrokeNm({x, y1}, {x, y2});
            }
        }
    }

    // An axis-parallel area, corners ordered.
    void Area(double x1, double y1, double x2, double y2) {
        const double w = x2 - x1, h = y2 - y1;
        if (!(w > 0) || !(h > 0)) return;
        const double s = std::min(w, h);
        const int fit = BestFit(s, true);
        if (!Always() && fit >= 0 && Square(fit)) {
            const double d = Size(fit);
            const std::int64_t whole = static_cast<std::int64_t>(s), size = static_cast<std::int64_t>(d);
            const std::int64_t n = d < s ? whole / size + 1 : 1;
            if (double(n) <= kMaxStrokes) {
                Select(fit);
                const double spacing = double(whole / n);
                StackedStrokes(x1 + d / 2, y1 + d / 2, x2 - d / 2, y2 - d / 2, n, spacing);
                return;
            }
        }
        if (!apertureMode) {
            Region({{x1, y1}, {x2, y1}, {x2, y2}, {x1, y2}});
            return;
        }
        // A piece of a polygon traced with the aperture: its centre lines
        // stay inside the traced outline, so strokes may reach half an
        // aperture beyond the piece.
        const int smallest = Smallest(rectilinear);
        const double d = Size(smallest);
        Select(smallest);
        if (w < d) {
            StrokeNm({(x1 + x2) / 2, y1}, {(x1 + x2) / 2, y2});
        } else if (h <= d) {
            StrokeNm({x1, (y1 + y2) / 2}, {x2, (y1 + y2) / 2});
        } else {
            const double n = std::ceil(h / d) + 1;
            if (n > kMaxStrokes) return Region({{x1, y1}, {x2, y1}, {x2, y2}, {x1, y2}});
            for (std::int64_t k = 0; k < static_cast<std::int64_t>(n); ++k) {
                const double y = y1 + h * double(k) / (n - 1);
                StrokeNm({x1, y}, {x2, y});
            }
        }
    }

    // The rectangle about c with side a along the unit vector u and side b
    // across it, as a closed path of its corners; a line when b is 0 or less.
    void RectangleOutline(Nm c, Nm u, double a, double b) {
        const Nm v{-u.y, u.x};
        if (b <= 0) return StrokeNm({c.x - u.x * a / 2, c.y - u.y * a / 2}, {c.x + u.x * a / 2, c.y + u.y * a / 2});
        std::vector<Nm> corners;
        for (const auto& [sa, sb] : {std::pair{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}) {
            corners.push_back({c.x + sa * u.x * a / 2 + sb * v.x * b / 2, c.y + sa * u.y * a / 2 + sb * v.y * b / 2});
        }
        Path(corners);
    }

    // Four corners of a rectangle, in order around it.
    void Quadrilateral(const Nm (&p)[4]) {
        const bool firstSideAlongX = p[0].y == p[1].y && p[1].x == p[2].x;
        const bool firstSideAlongY = p[0].x == p[1].x && p[1].y == p[2].y;
        if (firstSideAlongX || firstSideAlongY) {
            return Area(std::min(p[0].x, p[2].x), std::min(p[0].y, p[2].y), std::max(p[0].x, p[2].x),
                        std::max(p[0].y, p[2].y));
        }
        const double side0 = std::hypot(p[0].x - p[1].x, p[0].y - p[1].y);
        const double side1 = std::hypot(p[2].x - p[1].x, p[2].y - p[1].y);
        double longer = std::max(side0, side1), shorter = std::min(side0, side1);
        if (!(shorter > 0)) return;
        const std::vector<Nm> region(p, p + 4);
        const int fit = BestFit(shorter, false);
        if (!apertureMode && (!Never() || fit < 0)) return Region(region);
        int selected = Smallest(false);
        double d = Size(selected);
        if (4 * shorter / (1.5 * d) > kMaxStrokes) return Region(region);
        const Nm c{std::trunc((p[0].x + p[1].x + p[2].x + p[3].x) / 4),
                   std::trunc((p[0].y + p[1].y + p[2].y + p[3].y) / 4)};
        const Nm from = side0 >= side1 ? p[0] : p[1], to = side0 >= side1 ? p[1] : p[2];
        const Nm u{(to.x - from.x) / longer, (to.y - from.y) / longer};
        Select(selected);
        if (apertureMode) longer += d, shorter += d;
        RectangleOutline(c, u, longer - d, shorter - d);
        if (3 * d > shorter) return RectangleOutline(c, u, longer - d, 0);
        shorter -= 1.5 * d;
        longer -= d;
        RectangleOutline(c, u, longer - d, shorter - d);
        while (shorter > 0) {
            Select(BestFit(2 * d, false));
            for (int twice = 0; twice < 2 && shorter > 0; ++twice) {
                shorter -= 1.5 * d;
                longer -= d;
                d = Size(current);
                RectangleOutline(c, u, longer - d, shorter > 0 ? shorter - d : 0);
            }
        }
    }

    // n points on a circle from -90 degrees, `step` radians apart.
    static std::vector<Nm> CirclePoints(Nm c, double radius, int n, double step, bool clockwise = false) {
        std::vector<Nm> points;
        for (int k = 0; k < n; ++k) {
            const double a = -kPi / 2 + (clockwise ? -1 : 1) * k * step;
            points.push_back(
                {double(Round64(c.x + radius * std::cos(a))), double(Round64(c.y + radius * std::sin(a)))});
        }
        return points;
    }
    // A closed path of 72 points whose last meets the first.
    static std::vector<Nm> ClosedCircle(Nm c, double radius) {
        return CirclePoints(c, radius, kSegments, 2 * kPi / (kSegments - 1));
    }

    void Circle(Nm c, double r) {
        if (!(r > 0)) return;
        const int fit = BestFit(2 * r, false);
        if (!Always() && fit >= 0 && kSegments * r / (Size(fit) / 2) <= kMaxStrokes) {
            Select(fit);
            const double d = Size(fit);
            if (d == 2 * r) return StrokeNm(c, c);
            for (double rho = r - d / 2; rho > 0; rho -= d / 2) Path(ClosedCircle(c, rho));
            return;
        }
        std::vector<Nm> region = CirclePoints(c, r, kSegments, 2 * kPi / kSegments);
        Region(region);
    }

    void Ring(Nm c, double r, double t) {
        if (!(t > 0) || !(r > 0)) return;
        double inner = r - t / 2, outer = r + t / 2;
        if (inner < 0) inner = 0;
        const int fit = BestFit(outer - inner, false);
        if (Always() || fit < 0 || 2 * kSegments * (outer - inner) / (1.5 * Size(fit)) > kMaxStrokes) {
            std::vector<Nm> region = CirclePoints(c, outer, kSegments, 2 * kPi / kSegments);
            region.push_back(region.front());
            std::vector<Nm> hole = CirclePoints(c, inner, kSegments, 2 * kPi / kSegments, true);
            region.insert(region.end(), hole.begin(), hole.end());
            region.push_back(hole.front());
            return Region(region);
        }
        Select(fit);
        const double d = Size(fit);
        if (d >= outer - inner) return Path(ClosedCircle(c, double(Round64((inner + outer) / 2))));
        inner = double(Round64(inner));
        outer = double(Round64(outer));
        while (outer - inner >= 1) {
            inner += d / 2;
            outer -= d / 2;
            if (inner > outer) inner = outer = std::floor((inner + outer) / 2);
            Path(ClosedCircle(c, inner));
            if (outer != inner) Path(ClosedCircle(c, outer));
            inner += d / 4;
            outer -= d / 4;
        }
    }

    // The points around a segment with round ends at distance e, the ends
    // as finely divided as circles.
    static std::vector<Nm> RoundedSegment(Nm a, Nm b, double e) {
        const double theta = std::atan2(b.y - a.y, b.x - a.x);
        std::vector<Nm> points;
        auto at = [&](Nm centre, double angle) {
            points.push_back(
                {double(Round64(centre.x + e * std::cos(angle))), double(Round64(centre.y + e * std::sin(angle)))});
        };
        const int half = kSegments / 2;
        for (int k = 0; k <= half; ++k) at(a, theta + kPi / 2 + k * kPi / half);
        for (int k = 0; k <= half; ++k) at(b, theta - kPi / 2 + k * kPi / half);
        return points;
    }

    void RoundEndedSegment(Nm a, Nm b, double e) {
        if ((a.x == b.x && a.y == b.y) || !(e > 0)) return;
        const int fit = BestFit(2 * e, false);
        if (!Always() && fit >= 0 && (kSegments + 2) * e / (Size(fit) / 2) <= kMaxStrokes) {
            Select(fit);
            const double d = Size(fit);
            if (d == 2 * e) return StrokeNm(a, b);
            for (double inner = e - d / 2; inner > 0; inner -= d / 2) Path(RoundedSegment(a, b, inner));
            return;
        }
        Region(RoundedSegment(a, b, e));
    }

    // A flush segment a-b of half width h (its ends already moved for
    // extended ends).
    void FlushSegment(Nm a, Nm b, double h) {
        if (a.x == b.x && a.y == b.y) return;
        if (a.x == b.x) {
            return Area(a.x - h, std::min(a.y, b.y), a.x + h, std::max(a.y, b.y));
        }
        if (a.y == b.y) {
            return Area(std::min(a.x, b.x), a.y - h, std::max(a.x, b.x), a.y + h);
        }
        const double length = std::hypot(b.x - a.x, b.y - a.y);
        const double nx = -(b.y - a.y) / length * h, ny = (b.x - a.x) / length * h;
        auto round = [](double x, double y) { return Nm{double(Round64(x)), double(Round64(y))}; };
        const Nm corners[4] = {round(a.x + nx, a.y + ny), round(a.x - nx, a.y - ny), round(b.x - nx, b.y - ny),
                               round(b.x + nx, b.y + ny)};
        Quadrilateral(corners);
    }

    // --- shapes ----------------------------------------------------------------

    Point Transformed(Point p) const {
        TransformPoints(&p, 1, matrix);
        return p;
    }
    // A length of the record's own coordinates as it comes out, rounded.
    double Scaled(double length) const {
        return double(RoundHalfAway(std::hypot(matrix.a * length, matrix.b * length)));
    }

    void Wire(const Word* r) {
        const WireView wire(r);
        std::vector<Point> nodes;
        for (int i = 0; i < wire.NodeCount(); ++i) {
            if (nodes.empty() || !(nodes.back() == wire.Node(i))) nodes.push_back(wire.Node(i));
        }
        if (nodes.size() < 2) return;
        const double h = Scaled(double(RoundHalfAway(wire.Width() / 2.0)));
        if (!(h > 0)) return;
        std::vector<Nm> p;
        for (const Point& q : nodes) p.push_back(ToNm(Transformed(q)));
        const EndStyle style = static_cast<EndStyle>(wire.EndStyle());
        std::vector<Nm> q;
        for (const Nm& n : p) {
            if (q.empty() || q.back().x != n.x || q.back().y != n.y) q.push_back(n);
        }
        const std::size_t segments = q.size() - 1;
        for (std::size_t k = 0; k < segments && style == EndStyle::Round; ++k) RoundEndedSegment(q[k], q[k + 1], h);
        for (std::size_t k = 0; k < segments && style != EndStyle::Round; ++k) {
            Nm a = q[k], b = q[k + 1];
            const double length = std::hypot(b.x - a.x, b.y - a.y);
            if (style == EndStyle::Extended && length > 0) {
                const double ux = (b.x - a.x) / length * h, uy = (b.y - a.y) / length * h;
                if (k == 0) a = {double(Round64(a.x - ux)), double(Round64(a.y - uy))};
                if (k == segments - 1) b = {double(Round64(b.x + ux)), double(Round64(b.y + uy))};
            }
            FlushSegment(a, b, h);
        }
        for (std::size_t k = 1; k < segments; ++k) Joint(q[k - 1], q[k], q[k + 1], h);
    }

    // The outside of the joint of two segments, mitred as the path of a
    // layout is read everywhere else; a turn sharper than 120 degrees, whose
    // mitre would reach beyond twice the half width, is bevelled.
    void Joint(Nm before, Nm p, Nm after, double h) {
        const double l1 = std::hypot(p.x - before.x, p.y - before.y), l2 = std::hypot(after.x - p.x, after.y - p.y);
        const double u1x = (p.x - before.x) / l1, u1y = (p.y - before.y) / l1;
        const double u2x = (after.x - p.x) / l2, u2y = (after.y - p.y) / l2;
        const double cross = u1x * u2y - u1y * u2x;
        if (cross == 0) return;
        // The outer side is the right one for a turn to the left.
        const double side = cross > 0 ? 1 : -1;
        const double n1x = side * u1y, n1y = -side * u1x, n2x = side * u2y, n2y = -side * u2x;
        auto at = [&](double x, double y) { return Nm{double(Round64(p.x + x * h)), double(Round64(p.y + y * h))}; };
        const Nm a = at(n1x, n1y), b = at(n2x, n2y);
        const double cosine = n1x * n2x + n1y * n2y;
        if (1 + cosine < 0.5) return Region({p, a, b});
        const Nm m = at((n1x + n2x) / (1 + cosine), (n1y + n2y) / (1 + cosine));
        if (std::fabs(cosine) < 1e-12) {
            const Nm square[4] = {p, a, m, b};
            return Quadrilateral(square);
        }
        Region({p, a, m, b});
    }

    void Polygon(const std::vector<Point>& ring, Fracture& fracture) {
        if (Always()) {
            std::vector<Nm> points;
            for (const Point& q : ring) {
                const Nm n = ToNm(Transformed(q));
                if (points.empty() || points.back().x != n.x || points.back().y != n.y) points.push_back(n);
            }
            return Region(points);
        }
        fracture.RefineSharpCorners();
        fracture.Transform(matrix);
        fracture.BuildGrid();
        rectilinear = fracture.IsRectilinear();
        const int smallest = Smallest(rectilinear);
        // Only a square aperture along axis-parallel edges draws the corners
        // of the outline exactly; with "Never" any aperture is better than
        // nothing.
        if (smallest >= 0 && (Never() || (rectilinear && Square(smallest)))) {
            const std::int32_t half = RoundHalfAway(Size(smallest) / 2);
            if (Traceable(fracture.Points(), half)) {
                Select(smallest);
                fracture.Inset(half);
                std::vector<Nm> outline;
                for (const Point& q : fracture.Points()) outline.push_back(ToNm(q));
                Path(outline);
                apertureMode = true;
            }
        }
        fracture.Run(*this, FractureKind::Gerber);
    }

    // Whether a closed ring can be traced by an aperture reaching `half`
    // from its path: shrunk by half and grown back it stays where it is
    // (within 100 nm of the ring shrunk by 10 nm), and no edge of the shrunk
    // ring turned round or vanished, which would mean a part thinner than
    // the aperture.
    static bool Traceable(const std::vector<Point>& closed, std::int32_t half) {
        if (closed.size() < 4 || half <= 0) return false;
        const std::vector<Point> open(closed.begin(), closed.end() - 1);
        std::vector<Point> reference = open, shrunk = open;
        const int n = OffsetPolygon(reference.data(), int(reference.size()), -10);
        const int m = OffsetPolygon(shrunk.data(), int(shrunk.size()), -half);
        if (n != m || n < 3 || n > int(open.size())) return false;
        for (int k = 0; k < n; ++k) {
            const Point a0 = reference[k], a1 = reference[(k + 1) % n];
            const Point b0 = shrunk[k], b1 = shrunk[(k + 1) % n];
            const double dot =
                (double(a1.X) - a0.X) * (double(b1.X) - b0.X) + (double(a1.Y) - a0.Y) * (double(b1.Y) - b0.Y);
            if (!(dot > 0)) return false;
        }
        if (SelfTouching(std::vector<Point>(shrunk.begin(), shrunk.begin() + m))) return false;
        std::vector<Point> back(shrunk.begin(), shrunk.begin() + m);
        if (OffsetPolygon(back.data(), m, half) != n) return false;
        for (int k = 0; k < n; ++k) {
            if (std::abs(double(back[k].X) - reference[k].X) > 100 ||
                std::abs(double(back[k].Y) - reference[k].Y) > 100)
                return false;
        }
        return true;
    }

    // Whether two edges of a ring that are not neighbours meet: a part
    // thinner than the aperture turned inside out when it was shrunk.  Long
    // rings count as meeting, so that they are not traced (the test takes
    // the square of the edge count).
    static bool SelfTouching(const std::vector<Point>& ring) {
        const std::size_t n = ring.size();
        if (n > 2000) return true;
        auto orientation = [](Point a, Point b, Point c) {
            const __int128 v = __int128(std::int64_t(b.X) - a.X) * (std::int64_t(c.Y) - a.Y) -
                               __int128(std::int64_t(b.Y) - a.Y) * (std::int64_t(c.X) - a.X);
            return v > 0 ? 1 : v < 0 ? -1 : 0;
        };
        auto within = [](Point a, Point b, Point c) {  // c on the line a-b lies between them
            return std::min(a.X, b.X) <= c.X && c.X <= std::max(a.X, b.X) && std::min(a.Y, b.Y) <= c.Y &&
                   c.Y <= std::max(a.Y, b.Y);
        };
        for (std::size_t i = 0; i < n; ++i) {
            const Point a = ring[i], b = ring[(i + 1) % n];
            for (std::size_t j = i + 2; j < n; ++j) {
                if (i == 0 && j == n - 1) continue;
                const Point c = ring[j], d = ring[(j + 1) % n];
                const int o1 = orientation(a, b, c), o2 = orientation(a, b, d);
                const int o3 = orientation(c, d, a), o4 = orientation(c, d, b);
                if (o1 != o2 && o3 != o4) return true;
                if ((o1 == 0 && within(a, b, c)) || (o2 == 0 && within(a, b, d)) || (o3 == 0 && within(c, d, a)) ||
                    (o4 == 0 && within(c, d, b))) {
                    return true;
                }
            }
        }
        return false;
    }

    template <typename R>
    void Object(R* record, const TransformMatrix& m) {
        const Word* r = record;
        const ObjectKind kind = RecordKind(r);
        if (IsHeadKind(kind) || kind == ObjectKind::Measurement || RecordLayer(r) != layer) return;
        matrix = m;
        apertureMode = false;
        rectilinear = false;
        objectDropped = false;
        Shape(r, kind);
        if (objectDropped) ++droppedShapes;
    }

    void Shape(const Word* r, ObjectKind kind) {
        switch (kind) {
            case ObjectKind::Rectangle: {
                const RectangleView rectangle(r);
                const Point a = rectangle.Corner1(), b = rectangle.Corner2();
                const Nm p[4] = {ToNm(Transformed(a)), ToNm(Transformed({b.X, a.Y})), ToNm(Transformed(b)),
                                 ToNm(Transformed({a.X, b.Y}))};
                if (p[0].x == p[1].x || p[0].y == p[1].y) {
                    return Area(std::min(p[0].x, p[2].x), std::min(p[0].y, p[2].y), std::max(p[0].x, p[2].x),
                                std::max(p[0].y, p[2].y));
                }
                return Quadrilateral(p);
            }
            case ObjectKind::Box: {
                const std::vector<Point> corners = BoxView(r).Corners();
                if (corners.size() != 4) return;
                const Nm p[4] = {ToNm(Transformed(corners[0])), ToNm(Transformed(corners[1])),
                                 ToNm(Transformed(corners[2])), ToNm(Transformed(corners[3]))};
                return Quadrilateral(p);
            }
            case ObjectKind::Polygon: {
                const PolygonView polygon(r);
                std::vector<Point> ring;
                for (int i = 0; i < polygon.NodeCount(); ++i) ring.push_back(polygon.Node(i));
                if (!HasArea(ring)) return;
                Fracture fracture(r, kFractureFigure, kFractureMargin);
                return Polygon(ring, fracture);
            }
            case ObjectKind::Wire: return Wire(r);
            case ObjectKind::Circle: {
                const CircleView circle(r);
                return Circle(ToNm(Transformed(circle.Centre())), Scaled(circle.Radius()));
            }
            case ObjectKind::Ring: {
                const RingView ring(r);
                return Ring(ToNm(Transformed(ring.Centre())), Scaled(ring.Radius()), Scaled(ring.RingWidth()));
            }
            case ObjectKind::ArcWire: {
                const std::vector<Point> outline = ArcWireOutline(r, kSegments);
                if (outline.empty() || !HasArea(outline)) return;
                Fracture fracture(outline.data(), static_cast<int>(outline.size()), kFractureFigure, kFractureMargin);
                return Polygon(outline, fracture);
            }
            default: return;
        }
    }

    // Whether the ring, transformed, encloses any area.
    bool HasArea(const std::vector<Point>& ring) const {
        if (ring.size() < 3) return false;
        std::vector<Point> p = ring;
        TransformPoints(p.data(), int(p.size()), matrix);
        __int128 twice = 0;
        for (std::size_t k = 0; k < p.size(); ++k) {
            const Point a = p[k], b = p[(k + 1) % p.size()];
            twice += __int128(a.X) * b.Y - __int128(b.X) * a.Y;
        }
        return twice != 0;
    }

    // --- figures of the fracturing ----------------------------------------------

    void EmitRectangle(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) override {
        Area(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2));
    }
    // The strokes that fill a triangle beside a slanted edge leave a sliver
    // along it, which only a traced outline covers: without one they are
    // drawn only when no region may be.
    std::int32_t SmallestAperture() override {
        if (!apertureMode && !Never()) return 0;
        const int smallest = Smallest(rectilinear);
        if (smallest < 0) return 0;
        Select(smallest);
        return RoundHalfAway(Size(smallest));
    }
    void Stroke(Point from, Point to) override { StrokeNm(ToNm(from), ToNm(to)); }
    void MoveTo(Point p) override { RegionBegin(ToNm(p)); }
    void LineTo(Point p) override { RegionLine(ToNm(p)); }
    void CloseRegion() override { RegionEnd(regionStart); }

    // Asked by the walk between records: a photoplot is never cut short.
    bool Stopped() const { return false; }
};

ExportGbrFile::ExportGbrFile(Layout& layout, std::string fileName, int layer, const GerberOptions& options,
                             platform::DiagnosticSink* diagnostics)
    : state(std::make_unique<State>(layout, std::move(fileName), layer, options, diagnostics)) {}

ExportGbrFile::~ExportGbrFile() = default;

const GerberOptions& ExportGbrFile::Options() const { return state->options; }

bool ExportGbrFile::Write() {
    using platform::Severity;
    State& s = *state;
    SymbolDescription* main = s.layout.MainSymbol();
    if (!main) {
        s.Report(Severity::Error, "The layout has no main symbol.");
        return false;
    }
    if (!AskGerberOptions(s.options)) return false;
    if (const std::string problem = GerberOptionsProblem(s.options); !problem.empty()) {
        s.Report(Severity::Error, problem);
        return false;
    }
    s.unit = std::pow(10.0, 6 - s.options.decimals) * (s.options.millimetres ? 1 : 25.4);
    main->EnsureBounds();
    if (!s.out.Open(s.fileName)) {
        s.Report(Severity::Error, kSaveFailed);
        return false;
    }
    s.Header();
    platform::Progress().SetProgress(0);
    ProgressWalk<State> walk(s, main->objectCount);
    const SymbolDescription& top = *main;
    HierarchyWalker(s.layout).Walk(top, TransformMatrix{}, walk);
    platform::Progress().SetProgress(100);
    s.Block("D02");
    s.Block("M02");
    if (!s.out.Commit()) {
        s.Report(Severity::Error, platform::SaveFailedText(kSaveFailed, s.out));
        return false;
    }
    if (s.out.InPlace()) s.Report(Severity::Warning, platform::kWrittenInPlaceWarning);
    if (s.tooLong) {
        s.Report(Severity::Warning, "Some coordinates have more digits than the coordinate format " +
                                        std::to_string(s.options.integers) + "." + std::to_string(s.options.decimals) +
                                        " allows; they were written in full.");
    }
    if (s.droppedShapes > 0) {
        s.Report(Severity::Warning, std::to_string(s.droppedShapes) +
                                        (s.droppedShapes == 1 ? " shape was" : " shapes were") +
                                        " left out or not drawn completely: no aperture of the table can draw "
                                        "them, and polygon fill is \"Never\".");
    }
    return true;
}

}  // namespace zandor
