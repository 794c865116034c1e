#include "geometry/FractureCells.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/Numbers.h"
#include "model/Geometry.h"

namespace zandor::fracture_detail {

namespace {

constexpr std::uint32_t kInside = 1u << 0;
constexpr std::uint32_t kOutside = 1u << 1;
constexpr int kCounterShift = 4;
constexpr std::uint32_t kCounterMax = 0x3FFu;
constexpr std::uint32_t kCovered = 1u << 14;
constexpr std::uint32_t kFilled = 1u << 15;

// Each staircase level halves its triangle; past this many levels the pieces
// are far below any figure a writer can expose.
constexpr int kMaxStaircaseDepth = 24;
constexpr int kMaxSlabDepth = 12;
// More strokes than this for one triangle: a region says the same exactly.
constexpr double kMaxStrokes = 65536;
// Entries of the index of edges by grid row (4 bytes each).
constexpr std::int64_t kMaxRowIndex = std::int64_t(1) << 24;

std::uint32_t Counter(std::uint32_t cell) { return (cell >> kCounterShift) & kCounterMax; }

// Cell centres and staircase midpoints: the floor of the half, so that a cell
// one unit wide tests a point on its lower side, which the half-open crossing
// rule counts as lying just inside the cell, whatever the sign.
std::int64_t Half(std::int64_t a, std::int64_t b) { return (a + b) >> 1; }

// The distinct X (or Y) values of the edges' ends and of the window's sides.
std::vector<std::int32_t> Distinct(const std::vector<FractureEdge>& edges, const Rect& window, bool x) {
    std::vector<std::int32_t> values;
    values.reserve(2 * edges.size() + 2);
    for (const FractureEdge& e : edges) {
        values.push_back(x ? e.a.X : e.a.Y);
        values.push_back(x ? e.b.X : e.b.Y);
    }
    if (!edges.empty()) {
        values.push_back(x ? window.minx : window.miny);
        values.push_back(x ? window.maxx : window.maxy);
    }
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

// Rounding half away from zero of an offset along an edge, which may exceed
// the 32-bit range where the end point plus the offset does not.
std::int64_t RoundOffset(double v) { return std::int64_t(v >= 0 ? std::trunc(v + 0.5) : std::trunc(v - 0.5)); }

int Sign(double v) { return v > 0 ? 1 : v < 0 ? -1 : 0; }

// Which side of the line a->b the point lies on.
int Side(Point a, Point b, double x, double y) {
    return Sign((double(b.X) - a.X) * (y - a.Y) - (double(b.Y) - a.Y) * (x - a.X));
}

Point RoundPoint(double x, double y) { return {RoundHalfAway(x), RoundHalfAway(y)}; }

// The corner of the box of a-m that lies on p's side of the line a-m (the
// part of a right triangle that a staircase rectangle leaves open).
Point OpenCorner(Point a, Point m, Point p) {
    const int side = Side(a, m, p.X, p.Y);
    const Point first{a.X, m.Y}, second{m.X, a.Y};
    if (Side(a, m, first.X, first.Y) == side) return first;
    if (Side(a, m, second.X, second.Y) == side) return second;
    return p;
}

}  // namespace

// A boundary of a region inside one slab of a cell: a cell side or a piece of
// a slanted edge.
struct FractureCells::Line {
    bool flat = true;
    double y = 0;
    Point a, b;
    double At(double x) const {
        if (flat) return y;
        return a.Y + (x - a.X) * (double(b.Y) - a.Y) / (double(b.X) - a.X);
    }
};

FractureCells::FractureCells(const std::vector<FractureEdge>& edges, double orientation, const Rect& window,
                             bool bounded, std::int32_t minFigure, std::int32_t overlap)
    : edges(edges),
      edgeCount(int(edges.size())),
      // A zero minimum would refine staircases and halve bands without end.
      s1(std::max<std::int64_t>(minFigure, 1)),
      s2(std::max<std::int64_t>(overlap, 0)),
      orientation(orientation < 0 ? -1 : 1),
      window(window),
      bounded(bounded) {
    BuildCells();
}

std::int64_t FractureCells::CellCountOf(const std::vector<FractureEdge>& edges, const Rect& window) {
    const std::int64_t columns = std::int64_t(Distinct(edges, window, true).size()) - 1;
    const std::int64_t rows = std::int64_t(Distinct(edges, window, false).size()) - 1;
    return columns > 0 && rows > 0 ? columns * rows : 0;
}

bool FractureCells::Slanted(int edge) const {
    const Point a = edges[edge].a, b = edges[edge].b;
    return a.X != b.X && a.Y != b.Y;
}

template <typename F>
void FractureCells::ForEachCrossedCell(int edge, F&& visit) const {
    Point lo = edges[edge].a, hi = edges[edge].b;
    if (lo.X > hi.X) std::swap(lo, hi);
    const double dx = double(hi.X) - lo.X, dy = double(hi.Y) - lo.Y;
    const int first = int(std::lower_bound(xs.begin(), xs.end(), lo.X) - xs.begin());
    const int last = int(std::lower_bound(xs.begin(), xs.end(), hi.X) - xs.begin());
    for (int j = first + 1; j <= last; ++j) {
        const std::int64_t y1 = lo.Y + RoundOffset((double(xs[j - 1]) - lo.X) * dy / dx);
        const std::int64_t y2 = lo.Y + RoundOffset((double(xs[j]) - lo.X) * dy / dx);
        const std::int64_t bottom = std::min(y1, y2), top = std::max(y1, y2);
        // Rows whose open interval meets the open interval (bottom, top).
        const int from = std::max(1, int(std::upper_bound(ys.begin(), ys.end(), bottom) - ys.begin()));
        const int to = std::min(nY - 1, int(std::lower_bound(ys.begin(), ys.end(), top) - ys.begin()));
        for (int i = from; i <= to; ++i) visit(i, j);
    }
}

void FractureCells::BuildCells() {
    xs = Distinct(edges, window, true);
    ys = Distinct(edges, window, false);
    nX = int(xs.size());
    nY = int(ys.size());
    if (nX < 2 || nY < 2) return;
    cells.assign(std::size_t(nX) * nY, 0);
    for (int k = 0; k < edgeCount; ++k) {
        if (!Slanted(k)) continue;
        ForEachCrossedCell(k, [&](int i, int j) {
            std::uint32_t& cell = Cell(i, j);
            if (Counter(cell) < kCounterMax) cell += 1u << kCounterShift;
            crossings.emplace_back(std::uint32_t(i * nX + j), k);
            partial = true;
        });
    }
    std::sort(crossings.begin(), crossings.end());
    ClassifyCells();
}

// The even-odd test of every cell centre, one row at a time: the crossings of
// the row's centre line are found once and shared by the row's cells.  The
// test is PointInPolygon's, operand for operand.
//
// The edges are swept upwards, so a row only looks at the edges that span it.
// Vertical edges on the grid's left or right side (among them those that stand
// for what lies right of a piece) need no sorting: every centre lies right of
// the first and left of the second.
void FractureCells::ClassifyCells() {
    std::vector<int> order;
    for (int k = 0; k < edgeCount; ++k)
        if (edges[k].a.Y != edges[k].b.Y) order.push_back(k);
    auto low = [&](int k) { return std::min(edges[k].a.Y, edges[k].b.Y); };
    auto high = [&](int k) { return std::max(edges[k].a.Y, edges[k].b.Y); };
    std::sort(order.begin(), order.end(), [&](int a, int b) { return low(a) < low(b); });
    const std::int32_t left = xs.front(), right = xs.back();
    std::vector<int> active;
    std::vector<double> hits;
    std::size_t next = 0;
    for (int i = 1; i < nY; ++i) {
        const double y = double(Half(ys[i - 1], ys[i]));
        while (next < order.size() && low(order[next]) <= y) active.push_back(order[next++]);
        active.erase(std::remove_if(active.begin(), active.end(), [&](int k) { return high(k) <= y; }), active.end());
        hits.clear();
        bool rightParity = false;
        for (const int k : active) {
            const Point& pj = edges[k].a;
            const Point& pi = edges[k].b;
            if (pi.X == pj.X && (pi.X == left || pi.X == right)) {
                if (pi.X == right) rightParity = !rightParity;
                continue;
            }
            hits.push_back(pi.X + (double(pj.X) - pi.X) * (y - pi.Y) / (double(pj.Y) - pi.Y));
        }
        std::sort(hits.begin(), hits.end());
        std::size_t passed = 0;
        for (int j = 1; j < nX; ++j) {
            std::uint32_t& cell = Cell(i, j);
            if (Counter(cell) != 0) continue;
            const double x = double(Half(xs[j - 1], xs[j]));
            while (passed < hits.size() && hits[passed] <= x) ++passed;
            cell |= (((hits.size() - passed) & 1) != 0) != rightParity ? kInside : kOutside;
        }
    }
}

std::vector<int> FractureCells::EdgesOfCell(int i, int j) const {
    const std::uint32_t index = std::uint32_t(i * nX + j);
    auto it = std::lower_bound(crossings.begin(), crossings.end(), std::make_pair(index, -1));
    std::vector<int> found;
    for (; it != crossings.end() && it->first == index; ++it) found.push_back(it->second);
    return found;
}

// The edges that span each grid row, for the even-odd test: an edge straddles
// a height exactly when it spans the row holding that height, because its
// ends lie on grid lines.
void FractureCells::BuildRowIndex() const {
    rowIndexed = true;
    std::vector<std::pair<int, int>> spans(edges.size(), {0, 0});
    std::int64_t total = 0;
    for (std::size_t k = 0; k < edges.size(); ++k) {
        const std::int32_t low = std::min(edges[k].a.Y, edges[k].b.Y), high = std::max(edges[k].a.Y, edges[k].b.Y);
        if (low == high) continue;
        spans[k] = {int(std::lower_bound(ys.begin(), ys.end(), low) - ys.begin()) + 1,
                    int(std::lower_bound(ys.begin(), ys.end(), high) - ys.begin())};
        total += spans[k].second - spans[k].first + 1;
    }
    // Too many long edges over too many rows: test every edge instead.
    if (total > kMaxRowIndex) return;
    rowStart.assign(std::size_t(nY) + 1, 0);
    for (const auto& [first, last] : spans)
        for (int i = first; i <= last && first > 0; ++i) ++rowStart[i + 1];
    for (int i = 0; i < nY; ++i) rowStart[i + 1] += rowStart[i];
    rowEdges.assign(std::size_t(total), 0);
    std::vector<std::uint32_t> fill(rowStart.begin(), rowStart.end() - 1);
    for (std::size_t k = 0; k < spans.size(); ++k)
        for (int i = spans[k].first; i <= spans[k].second && spans[k].first > 0; ++i) rowEdges[fill[i]++] = int(k);
}

bool FractureCells::Inside(double x, double y) const {
    // Beyond a piece's window lies what its edges do not describe; the
    // figures of this piece must not reach there.
    if (bounded && (x < window.minx || x > window.maxx || y < window.miny || y > window.maxy)) return false;
    if (!rowIndexed) BuildRowIndex();
    bool inside = false;
    auto test = [&](int k) {
        const Point& pj = edges[k].a;
        const Point& pi = edges[k].b;
        if ((pi.Y <= y && y < pj.Y) || (pj.Y <= y && y < pi.Y)) {
            const double crossing = pi.X + (double(pj.X) - pi.X) * (y - pi.Y) / (double(pj.Y) - pi.Y);
            if (x < crossing) inside = !inside;
        }
    };
    if (rowStart.empty()) {
        for (int k = 0; k < edgeCount; ++k) test(k);
        return inside;
    }
    const int row = int(std::upper_bound(ys.begin(), ys.end(), y) - ys.begin());
    if (row <= 0 || row >= nY) return false;
    for (std::uint32_t e = rowStart[row]; e < rowStart[row + 1]; ++e) test(rowEdges[e]);
    return inside;
}

bool FractureCells::Crosses(Vec p, Vec q) const {
    auto outside = [&](Vec v) {
        return v.x < window.minx || v.x > window.maxx || v.y < window.miny || v.y > window.maxy;
    };
    if (bounded && (outside(p) || outside(q))) return true;
    const double minx = std::min(p.x, q.x) - 1, maxx = std::max(p.x, q.x) + 1;
    const double miny = std::min(p.y, q.y) - 1, maxy = std::max(p.y, q.y) + 1;
    const double dx = q.x - p.x, dy = q.y - p.y;
    const double length = std::hypot(dx, dy);
    for (int k = 0; k < edgeCount; ++k) {
        const Point a = edges[k].a, b = edges[k].b;
        if (std::max(a.X, b.X) < minx || std::min(a.X, b.X) > maxx || std::max(a.Y, b.Y) < miny ||
            std::min(a.Y, b.Y) > maxy)
            continue;
        const double d1 = dx * (a.Y - p.y) - dy * (a.X - p.x);
        const double d2 = dx * (b.Y - p.y) - dy * (b.X - p.x);
        const double ex = double(b.X) - a.X, ey = double(b.Y) - a.Y;
        const double d3 = ex * (p.y - a.Y) - ey * (p.x - a.X);
        const double d4 = ex * (q.y - a.Y) - ey * (q.x - a.X);
        if (Sign(d1) * Sign(d2) < 0 && Sign(d3) * Sign(d4) < 0) return true;
        // A vertex on the segment: the outline may leave there without a
        // proper crossing.
        if (length > 0) {
            for (const Point v : {a, b}) {
                const double off = dx * (v.Y - p.y) - dy * (v.X - p.x);
                if (std::fabs(off) / length > 0.5) continue;
                const double along = ((v.X - p.x) * dx + (v.Y - p.y) * dy) / length;
                if (along > 0.5 && along < length - 0.5) return true;
            }
        }
    }
    return false;
}

FractureCells::Vec FractureCells::InwardNormal(int edge) const {
    const Point a = edges[edge].a, b = edges[edge].b;
    const double dx = double(b.X) - a.X, dy = double(b.Y) - a.Y;
    const double length = std::hypot(dx, dy);
    // A counter-clockwise polygon has its inside on the left of each edge.
    return {-dy / length * orientation, dx / length * orientation};
}

void FractureCells::Emit(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2) {
    sink->EmitRectangle(SaturateToInt32(x1), SaturateToInt32(y1), SaturateToInt32(x2), SaturateToInt32(y2));
}

void FractureCells::EmitRotated(Vec start, double length, double width, double angle) {
    if (kind != FractureKind::Gerber) sink->EmitRotatedRectangle(start.x, start.y, length, width, angle);
}

bool FractureCells::Run(FractureSink& target, FractureKind runKind) {
    sink = &target;
    kind = runKind;
    risk = false;
    if (nX < 2 || nY < 2) return false;
    // Photoplots have no rotated figure to lay a band with; their slanted
    // cells all go through the partial-cell pass, which loses no inside area.
    if (partial && kind != FractureKind::Gerber) BandPass();
    StripPass();
    if (partial) PartialCellPass();
    return risk;
}

void FractureCells::BandPass() {
    std::vector<std::pair<int, int>> alone;
    for (int k = 0; k < edgeCount; ++k) {
        if (!Slanted(k)) continue;
        const Point a = edges[k].a, b = edges[k].b;
        const double dx = double(b.X) - a.X, dy = double(b.Y) - a.Y;
        const double length = std::hypot(dx, dy), slope = dy / dx;
        const Vec n = InwardNormal(k);
        auto cornerToward = [&](int i, int j) {
            return Point{n.x < 0 ? xs[j - 1] : xs[j], n.y < 0 ? ys[i - 1] : ys[i]};
        };

        alone.clear();
        ForEachCrossedCell(k, [&](int i, int j) {
            if (Counter(Cell(i, j)) == 1) alone.emplace_back(i, j);
        });
        double u = 0;
        for (const auto& [i, j] : alone) {
            const Point corner = cornerToward(i, j);
            if (Inside(corner)) u = std::max(u, DistanceToLine(a, slope, corner));
        }
        double t = 1.01 * u;
        if (double(s1) > t) t = 0.51 * length;
        while (!BandFits(k, t)) {
            if (t <= double(s1)) {
                t = 0;
                break;
            }
            t /= 2;
        }
        if (t < double(s1)) continue;

        EmitRotated({a.X + n.x * t / 2, a.Y + n.y * t / 2}, length, t, std::atan2(dy, dx));
        MarkCoveredByBand({double(a.X), double(a.Y)}, {double(b.X), double(b.Y)}, n, t);

        for (const auto& [i, j] : alone) {
            std::uint32_t& cell = Cell(i, j);
            const Point corner = cornerToward(i, j);
            const double d = DistanceToLine(a, slope, corner);
            if (d <= t) {
                cell |= kCovered;
                continue;
            }
            const Rect box = CellRect(i, j);
            Point p1 = a, p2 = b;
            if (!ClipSegmentToRect(p1, p2, box) || p1 == p2) continue;
            const double clippedSlope = p1.X == p2.X ? INFINITY : (double(p2.Y) - p1.Y) / (double(p2.X) - p1.X);
            if (DistanceToLine(p1, clippedSlope, corner) < t) {
                cell |= kFilled;
                continue;
            }
            Point q1 = RoundPoint(p1.X + n.x * t, p1.Y + n.y * t);
            Point q2 = RoundPoint(p2.X + n.x * t, p2.Y + n.y * t);
            if (!ClipSegmentToRect(q1, q2, box) || q1 == q2) continue;
            const Vec c{double(corner.X), double(corner.Y)};
            if (Crosses({double(q1.X), double(q1.Y)}, c) || Crosses({double(q2.X), double(q2.Y)}, c)) continue;
            if (2 * t > d)
                Emit(q1.X, q1.Y, q2.X, q2.Y);
            else
                Staircase(q1, q2, corner, 0);
            cell |= kFilled;
        }
    }
}

bool FractureCells::BandFits(int edge, double t) const {
    if (!(t > 0)) return false;
    const Point a = edges[edge].a, b = edges[edge].b;
    const double dx = double(b.X) - a.X, dy = double(b.Y) - a.Y;
    const double length = std::hypot(dx, dy);
    const Vec e{dx / length, dy / length};
    const Vec n = InwardNormal(edge);
    const double pull = std::min(double(s2), length / 2);
    const Vec p{a.X + e.x * pull + n.x * t, a.Y + e.y * pull + n.y * t};
    const Vec q{b.X - e.x * pull + n.x * t, b.Y - e.y * pull + n.y * t};
    if (Crosses(p, q) || !Inside(p.x, p.y) || !Inside(q.x, q.y)) return false;
    const Vec middle{(double(a.X) + b.X) / 2, (double(a.Y) + b.Y) / 2};
    const Vec far{middle.x + n.x * t, middle.y + n.y * t};
    const Vec near{middle.x + n.x * 0.1 * t, middle.y + n.y * 0.1 * t};
    if (Crosses(far, near) || !Inside(near.x, near.y) || !Inside(far.x, far.y)) return false;
    // A notch of the outline reaching into the band through its ends crosses
    // none of the lines tested above; its vertices lie inside the band.
    for (const FractureEdge& edge : edges) {
        for (const Point v : {edge.a, edge.b}) {
            const double vx = double(v.X) - a.X, vy = double(v.Y) - a.Y;
            const double along = vx * e.x + vy * e.y, across = vx * n.x + vy * n.y;
            if (along > pull && along < length - pull && across > 0 && across < t) return false;
        }
    }
    return true;
}

void FractureCells::MarkCoveredByBand(Vec a, Vec b, Vec n, double t) {
    const Vec quad[4] = {a, b, {b.x + n.x * t, b.y + n.y * t}, {a.x + n.x * t, a.y + n.y * t}};
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length = std::hypot(dx, dy);
    const Vec e{dx / length, dy / length};
    auto inBand = [&](double x, double y) {
        const double along = (x - a.x) * e.x + (y - a.y) * e.y;
        const double across = (x - a.x) * n.x + (y - a.y) * n.y;
        constexpr double slack = 1e-6;
        return along >= -slack && along <= length + slack && across >= -slack && across <= t + slack;
    };
    double minx = quad[0].x, maxx = quad[0].x;
    for (const Vec& v : quad) minx = std::min(minx, v.x), maxx = std::max(maxx, v.x);
    const int jFrom = std::max(1, int(std::upper_bound(xs.begin(), xs.end(), minx) - xs.begin()));
    for (int j = jFrom; j < nX && xs[j - 1] < maxx; ++j) {
        // The band's Y range over this column.
        const double x0 = xs[j - 1], x1 = xs[j];
        double lo = INFINITY, hi = -INFINITY;
        for (int v = 0; v < 4; ++v) {
            const Vec p = quad[v], q = quad[(v + 1) % 4];
            if (p.x >= x0 && p.x <= x1) lo = std::min(lo, p.y), hi = std::max(hi, p.y);
            if (p.x == q.x) continue;
            for (const double x : {x0, x1}) {
                if ((p.x - x) * (q.x - x) > 0) continue;
                const double y = p.y + (x - p.x) * (q.y - p.y) / (q.x - p.x);
                lo = std::min(lo, y), hi = std::max(hi, y);
            }
        }
        if (!(lo < hi)) continue;
        const double cx0 = x1 - x0 > 2 * s2 ? x0 + s2 : (x0 + x1) / 2;
        const double cx1 = x1 - x0 > 2 * s2 ? x1 - s2 : (x0 + x1) / 2;
        const int iFrom = std::max(1, int(std::upper_bound(ys.begin(), ys.end(), lo) - ys.begin()));
        for (int i = iFrom; i < nY && ys[i - 1] < hi; ++i) {
            const double y0 = ys[i - 1], y1 = ys[i];
            const double cy0 = y1 - y0 > 2 * s2 ? y0 + s2 : (y0 + y1) / 2;
            const double cy1 = y1 - y0 > 2 * s2 ? y1 - s2 : (y0 + y1) / 2;
            if (inBand(cx0, cy0) && inBand(cx1, cy0) && inBand(cx0, cy1) && inBand(cx1, cy1)) Cell(i, j) |= kCovered;
        }
    }
}

void FractureCells::StripPass() {
    auto inside = [&](int i, int j) { return (Cell(i, j) & kInside) != 0; };
    std::int64_t rowRuns = 0, columnRuns = 0;
    for (int i = 1; i < nY; ++i)
        for (int j = 1; j < nX; ++j)
            if (inside(i, j) && (j == 1 || !inside(i, j - 1))) ++rowRuns;
    for (int j = 1; j < nX; ++j)
        for (int i = 1; i < nY; ++i)
            if (inside(i, j) && (i == 1 || !inside(i - 1, j))) ++columnRuns;
    auto open = [&](int i, int j) { return (Cell(i, j) & (kInside | kCovered)) == kInside; };
    if (columnRuns >= rowRuns) {
        for (int i = 1; i < nY; ++i) {
            for (int j = 1; j < nX;) {
                if (!open(i, j)) {
                    ++j;
                    continue;
                }
                const int first = j;
                while (j < nX && open(i, j)) ++j;
                Emit(xs[first - 1], ys[i - 1], xs[j - 1], ys[i]);
            }
        }
    } else {
        for (int j = 1; j < nX; ++j) {
            for (int i = 1; i < nY;) {
                if (!open(i, j)) {
                    ++i;
                    continue;
                }
                const int first = i;
                while (i < nY && open(i, j)) ++i;
                Emit(xs[j - 1], ys[first - 1], xs[j], ys[i - 1]);
            }
        }
    }
}

void FractureCells::PartialCellPass() {
    const bool flash = kind != FractureKind::Gerber;
    for (int i = 1; i < nY; ++i) {
        for (int j = 1; j < nX; ++j) {
            const std::uint32_t cell = Cell(i, j);
            if (Counter(cell) == 0) continue;
            // A band already lies over the cell's inside part.
            if (flash && (cell & kCovered)) continue;
            const std::vector<int> through = EdgesOfCell(i, j);
            if (through.size() == 1)
                SingleEdgeCell(i, j, through[0]);
            else
                MultiEdgeCell(i, j, through);
        }
    }
}

void FractureCells::SingleEdgeCell(int i, int j, int edge) {
    const Rect box = CellRect(i, j);
    const Point a = edges[edge].a, b = edges[edge].b;
    const Point centre{std::int32_t(Half(box.minx, box.maxx)), std::int32_t(Half(box.miny, box.maxy))};
    Point e = a, f = b;
    if (!ClipSegmentToRect(e, f, box) || e == f) {
        if (Inside(centre)) Emit(box.minx, box.miny, box.maxx, box.maxy);
        return;
    }
    // A rising edge separates the upper left from the lower right corner, a
    // falling one the lower left from the upper right.
    const bool rising = (b.X > a.X) == (b.Y > a.Y);
    const Point c1 = rising ? Point{box.minx, box.maxy} : Point{box.minx, box.miny};
    const Point c2 = rising ? Point{box.maxx, box.miny} : Point{box.maxx, box.maxy};
    const bool in1 = Inside(c1.X + 1.0, c1.Y + (c1.Y == box.miny ? 1.0 : -1.0));
    const bool in2 = Inside(c2.X - 1.0, c2.Y + (c2.Y == box.miny ? 1.0 : -1.0));
    if (in1 && in2) {
        if (Inside(centre)) Emit(box.minx, box.miny, box.maxx, box.maxy);
        return;
    }
    if (in1 == in2) return;
    const Point inner = in1 ? c1 : c2;
    const int side = Side(e, f, inner.X, inner.Y);
    if (side == 0) return;

    // What lies beside the box of the clipped edge is whole on one side.
    const std::int32_t bx0 = std::min(e.X, f.X), bx1 = std::max(e.X, f.X);
    const std::int32_t by0 = std::min(e.Y, f.Y), by1 = std::max(e.Y, f.Y);
    const Rect strips[4] = {{box.minx, box.miny, box.maxx, by0},
                            {box.minx, by1, box.maxx, box.maxy},
                            {box.minx, by0, bx0, by1},
                            {bx1, by0, box.maxx, by1}};
    for (const Rect& s : strips) {
        if (s.maxx <= s.minx || s.maxy <= s.miny) continue;
        if (Side(e, f, (double(s.minx) + s.maxx) / 2, (double(s.miny) + s.maxy) / 2) == side)
            Emit(s.minx, s.miny, s.maxx, s.maxy);
    }
    if (kind != FractureKind::Gerber && (Cell(i, j) & kFilled)) return;
    Point corner = {e.X, f.Y};
    if (Side(e, f, corner.X, corner.Y) != side) corner = {f.X, e.Y};
    if (Side(e, f, corner.X, corner.Y) != side) return;
    if (kind == FractureKind::Gerber)
        GerberTriangle(e, f, corner);
    else
        Staircase(e, f, corner, 0);
}

void FractureCells::MultiEdgeCell(int i, int j, const std::vector<int>& through) {
    const Rect box = CellRect(i, j);
    std::vector<std::pair<Point, Point>> pieces;
    for (const int k : through) {
        Point p = edges[k].a, q = edges[k].b;
        if (ClipSegmentToRect(p, q, box) && !(p == q)) pieces.emplace_back(p, q);
    }
    auto near = [](Point p, Point q) { return std::abs(p.X - q.X) <= 1 && std::abs(p.Y - q.Y) <= 1; };
    if (through.size() == 2 && pieces.size() == 2) {
        const auto& [p0, q0] = pieces[0];
        const auto& [p1, q1] = pieces[1];
        if ((near(p0, p1) && near(q0, q1)) || (near(p0, q1) && near(q0, p1))) {
            // Two edges on one line (a cut of zero width): the cell is whole
            // on both sides or on neither, and either answer is exact.
            const bool rising = (q0.X > p0.X) == (q0.Y > p0.Y);
            const double cornerX = rising ? box.maxx : box.minx;
            const double probeX = ((double(p0.X) + q0.X) / 2 + cornerX) / 2;
            const double probeY = ((double(p0.Y) + q0.Y) / 2 + box.miny) / 2;
            if (Inside(probeX, probeY)) Emit(box.minx, box.miny, box.maxx, box.maxy);
            return;
        }
    }
    risk = true;

    // Vertical slabs in which the edge pieces neither end nor cross, each
    // split by the pieces into regions that lie wholly inside or outside.
    std::vector<double> cuts = {double(box.minx), double(box.maxx)};
    for (const auto& [p, q] : pieces) cuts.push_back(p.X), cuts.push_back(q.X);
    for (std::size_t m = 0; m < pieces.size(); ++m) {
        for (std::size_t n = m + 1; n < pieces.size(); ++n) {
            const auto& [p, q] = pieces[m];
            const auto& [r, s] = pieces[n];
            const double ax = double(q.X) - p.X, ay = double(q.Y) - p.Y;
            const double bx = double(s.X) - r.X, by = double(s.Y) - r.Y;
            const double denominator = ax * by - ay * bx;
            if (denominator == 0) continue;
            const double along = ((double(r.X) - p.X) * by - (double(r.Y) - p.Y) * bx) / denominator;
            const double other = ((double(r.X) - p.X) * ay - (double(r.Y) - p.Y) * ax) / denominator;
            if (along > 0 && along < 1 && other > 0 && other < 1) cuts.push_back(p.X + along * ax);
        }
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    std::vector<Line> lines;
    for (std::size_t c = 0; c + 1 < cuts.size(); ++c) {
        const double xa = cuts[c], xb = cuts[c + 1];
        if (xa < box.minx || xb > box.maxx) continue;
        const double xm = (xa + xb) / 2;
        lines.clear();
        lines.push_back({true, double(box.miny), {}, {}});
        for (const auto& [p, q] : pieces) {
            if (p.X == q.X || std::min(p.X, q.X) > xa || std::max(p.X, q.X) < xb) continue;
            lines.push_back({false, 0, p, q});
        }
        lines.push_back({true, double(box.maxy), {}, {}});
        std::sort(lines.begin() + 1, lines.end() - 1,
                  [&](const Line& l, const Line& r) { return l.At(xm) < r.At(xm); });
        // Each edge piece toggles inside and outside: one test per slab.
        std::size_t tested = lines.size();
        bool inside = false;
        for (std::size_t l = 0; l + 1 < lines.size(); ++l) {
            const double low = lines[l].At(xm), high = lines[l + 1].At(xm);
            if (tested < l) inside = !inside;
            if (!(high - low > 1e-6)) continue;
            if (tested > l) {
                tested = l;
                inside = Inside(xm, (low + high) / 2);
            }
            if (inside) FillSlab(xa, xb, lines[l], lines[l + 1], 0);
        }
    }
}

void FractureCells::FillSlab(double xa, double xb, const Line& lower, const Line& upper, int depth) {
    // Rounded inwards on purpose: the figures must stay inside the region.
    const std::int64_t x0 = std::int64_t(std::ceil(xa)), x1 = std::int64_t(std::floor(xb));
    if (x1 <= x0) return;
    const double bottom = std::max(lower.At(double(x0)), lower.At(double(x1)));
    const double top = std::min(upper.At(double(x0)), upper.At(double(x1)));
    if (top > bottom) {
        const std::int64_t r0 = std::int64_t(std::ceil(bottom)), r1 = std::int64_t(std::floor(top));
        if (r1 > r0) Emit(x0, r0, x1, r1);
        // The triangles between each slanted boundary and the rectangle.
        // Photoplots have no rotated figure for a staircase to lay along the
        // slanted side; they get the triangle whole.
        if (!lower.flat) {
            const Point a = RoundPoint(double(x0), lower.At(double(x0)));
            const Point b = RoundPoint(double(x1), lower.At(double(x1)));
            const Point p = a.Y < b.Y ? Point{a.X, b.Y} : Point{b.X, a.Y};
            if (kind != FractureKind::Gerber) {
                Staircase(a, b, p, 0);
            } else if (a.X != b.X && a.Y != b.Y) {
                GerberTriangle(a, b, p);
            }
        }
        if (!upper.flat) {
            const Point a = RoundPoint(double(x0), upper.At(double(x0)));
            const Point b = RoundPoint(double(x1), upper.At(double(x1)));
            const Point p = a.Y > b.Y ? Point{a.X, b.Y} : Point{b.X, a.Y};
            if (kind != FractureKind::Gerber) {
                Staircase(a, b, p, 0);
            } else if (a.X != b.X && a.Y != b.Y) {
                GerberTriangle(a, b, p);
            }
        }
        return;
    }
    // A photoplot takes a sliver as it is: a region of four corners.
    if (kind == FractureKind::Gerber) {
        const Point corners[4] = {
            RoundPoint(double(x0), lower.At(double(x0))), RoundPoint(double(x1), lower.At(double(x1))),
            RoundPoint(double(x1), upper.At(double(x1))), RoundPoint(double(x0), upper.At(double(x0)))};
        sink->MoveTo(corners[0]);
        for (int k = 1; k < 4; ++k) sink->LineTo(corners[k]);
        sink->CloseRegion();
        return;
    }
    // A slanted sliver: narrower slabs leave room for rectangles.
    if (depth < kMaxSlabDepth && double(x1 - x0) >= 2.0 * double(s1)) {
        const double xm = (double(x0) + double(x1)) / 2;
        FillSlab(double(x0), xm, lower, upper, depth + 1);
        FillSlab(xm, double(x1), lower, upper, depth + 1);
    }
}

void FractureCells::Staircase(Point a, Point b, Point p, int depth) {
    if (a.X == b.X || a.Y == b.Y) return;
    const Point m{std::int32_t(Half(a.X, b.X)), std::int32_t(Half(a.Y, b.Y))};
    bool rectangle = false;
    if (std::llabs(std::int64_t(m.X) - p.X) > s1 && std::llabs(std::int64_t(m.Y) - p.Y) > s1) {
        Emit(m.X, m.Y, p.X, p.Y);
        rectangle = true;
    }
    const double dx = double(b.X) - a.X, dy = double(b.Y) - a.Y;
    double w = DistanceToLine(a, dy / dx, p);
    if (rectangle) w /= 2;
    w = std::max(w, double(s1));
    if (kind != FractureKind::Gerber) {
        const double length = std::hypot(dx, dy);
        Vec n{-dy / length, dx / length};
        if (Side(a, b, p.X, p.Y) < 0) n = {-n.x, -n.y};
        const Vec a2{a.X + n.x * w, a.Y + n.y * w}, b2{b.X + n.x * w, b.Y + n.y * w};
        // The figure must also lie inside across its middle, not only have an
        // offset side that crosses nothing (it could lie wholly beyond a thin
        // part of the polygon).
        const double probeX = (double(a.X) + b.X) / 2 + n.x * 0.99 * w;
        const double probeY = (double(a.Y) + b.Y) / 2 + n.y * 0.99 * w;
        if (!Crosses(a2, b2) && Inside(probeX, probeY))
            EmitRotated({a.X + n.x * w / 2, a.Y + n.y * w / 2}, double(RoundHalfAway(length)), double(RoundHalfAway(w)),
                        std::atan2(dy, dx));
    }
    if (rectangle && w >= 1.42 * double(s1) && depth < kMaxStaircaseDepth) {
        Staircase(a, m, OpenCorner(a, m, p), depth + 1);
        Staircase(m, b, OpenCorner(m, b, p), depth + 1);
    }
}

// The right triangle e, f, p (right angle at p): strokes of the smallest
// aperture fanning out from the corner when the aperture fits well inside,
// else one closed region.  The aperture's centre keeps half its size from the
// legs and, for a square aperture turned by nothing, half its size times
// (|cos| + |sin|) from the slanted side, so that no stroke leaves the triangle.
void FractureCells::GerberTriangle(Point e, Point f, Point p) {
    const Point h = e.Y == p.Y ? e : f;  // end of the leg along X
    const Point v = e.Y == p.Y ? f : e;  // end of the leg along Y
    const double lx = std::fabs(double(h.X) - p.X), ly = std::fabs(double(v.Y) - p.Y);
    const double sx = h.X > p.X ? 1 : -1, sy = v.Y > p.Y ? 1 : -1;
    const double aperture = sink->SmallestAperture();
    const double half = aperture / 2;
    // The triangle shrunk for the aperture's centre, in local coordinates
    // (u along X from p, w along Y from p): u >= half, w >= half,
    // ly*u + lx*w <= lx*ly - half*(lx + ly).
    const double limit = lx * ly - half * (lx + ly);
    bool strokes = aperture > 0 && aperture < lx && aperture < ly && h.Y == p.Y && v.X == p.X;
    double hu = 0, vw = 0;
    if (strokes) {
        hu = (limit - lx * half) / ly;
        vw = (limit - ly * half) / lx;
        strokes = hu >= half && vw >= half;
    }
    const double span = std::hypot(hu - half, vw - half);
    if (strokes && span / half > kMaxStrokes) strokes = false;
    if (!strokes) {
        sink->MoveTo(e);
        sink->LineTo(f);
        sink->LineTo(p);
        sink->CloseRegion();
        return;
    }
    // u and w are whole numbers: rounded towards the corner (floor) on the
    // slanted side, away from it (ceil) at the legs, so strokes stay inside.
    auto global = [&](double u, double w) { return RoundPoint(p.X + sx * u, p.Y + sy * w); };
    const Point from = global(std::ceil(half), std::ceil(half));
    // Points along the shrunk slanted side, half an aperture apart.
    const int steps = std::max(1, int(std::ceil(span / half)));
    for (int s = 0; s <= steps; ++s) {
        const double t = double(s) / steps;
        const double u = std::floor(hu + (half - hu) * t), w = std::floor(half + (vw - half) * t);
        sink->Stroke(from, global(std::max(u, std::ceil(half)), std::max(w, std::ceil(half))));
    }
}

}  // namespace zandor::fracture_detail
