#include "geometry/Fracture.h"

#include <algorithm>
#include <cmath>

#include "base/Numbers.h"
#include "geometry/FractureCells.h"
#include "model/Geometry.h"
#include "model/ObjectRecord.h"
#include "model/RecordViews.h"

namespace zandor {

namespace {

using fracture_detail::FractureCells;

// A grid is cut into pieces above this many cells (4 bytes each) ...
constexpr std::int64_t kMaxPieceCells = std::int64_t(1) << 17;
// ... and a piece with slanted edges above this many edges, because every
// inside test and crossing test in the slanted-edge passes walks all edges.
constexpr int kMaxPieceEdges = 1024;
// A piece this large is cut even when cutting makes neither side smaller
// (its grid would take hundreds of megabytes).
constexpr std::int64_t kMaxUncutCells = std::int64_t(1) << 26;
// Each cut halves the distinct values along one axis.
constexpr int kMaxCutDepth = 48;

// Drops consecutive repeated points and closes the ring.
std::vector<Point> ClosedRing(const Point* points, int count) {
    std::vector<Point> ring;
    if (!points || count <= 0) return ring;
    ring.reserve(std::size_t(count) + 1);
    for (int i = 0; i < count; ++i)
        if (ring.empty() || !(ring.back() == points[i])) ring.push_back(points[i]);
    while (ring.size() > 1 && ring.back() == ring.front()) ring.pop_back();
    if (!ring.empty()) ring.push_back(ring.front());
    return ring;
}

bool IsSlanted(Point a, Point b) { return a.X != b.X && a.Y != b.Y; }

using fracture_detail::FractureEdge;

// Edges whose X (alongX) or Y lies between `from` and `to`; an edge that
// leaves the range is cut where it crosses the bound.  The crossing points are
// computed from the edge's ends in one fixed order, so both sides of a cut get
// the same rounded point.
std::vector<FractureEdge> ClipEdges(const std::vector<FractureEdge>& edges, bool alongX, std::int64_t from,
                                    std::int64_t to) {
    auto coordinate = [&](Point p) { return std::int64_t(alongX ? p.X : p.Y); };
    auto crossing = [&](Point p, Point q, std::int64_t c) {
        if (coordinate(p) > coordinate(q)) std::swap(p, q);
        if (alongX) {
            const double y = p.Y + (double(c) - p.X) * (double(q.Y) - p.Y) / (double(q.X) - p.X);
            return Point{std::int32_t(c), RoundHalfAway(y)};
        }
        const double x = p.X + (double(c) - p.Y) * (double(q.X) - p.X) / (double(q.Y) - p.Y);
        return Point{RoundHalfAway(x), std::int32_t(c)};
    };
    std::vector<FractureEdge> kept;
    for (const FractureEdge& whole : edges) {
        const std::int64_t ca = coordinate(whole.a), cb = coordinate(whole.b);
        if (std::max(ca, cb) < from || std::min(ca, cb) > to) continue;
        FractureEdge e = whole;
        if (ca < from) e.a = crossing(whole.a, whole.b, from);
        if (cb < from) e.b = crossing(whole.a, whole.b, from);
        if (ca > to) e.a = crossing(whole.a, whole.b, to);
        if (cb > to) e.b = crossing(whole.a, whole.b, to);
        if (!(e.a == e.b)) kept.push_back(e);
    }
    return kept;
}

// The vertical edges at X = c, within the window's Y range, that stand for
// the edges right of c: the Y intervals that an odd number of them span, with
// the half-open rule of the even-odd test.
std::vector<FractureEdge> RightSideEdges(const std::vector<FractureEdge>& edges, std::int32_t c, const Rect& window) {
    std::vector<std::int32_t> toggles;
    for (const FractureEdge& e : ClipEdges(edges, true, std::int64_t(c), INT64_MAX)) {
        if (e.a.X == c && e.b.X == c) continue;  // on the line: the piece keeps it
        const std::int32_t low = std::max(std::min(e.a.Y, e.b.Y), window.miny);
        const std::int32_t high = std::min(std::max(e.a.Y, e.b.Y), window.maxy);
        if (low >= high) continue;
        toggles.push_back(low);
        toggles.push_back(high);
    }
    std::sort(toggles.begin(), toggles.end());
    // Equal values cancel in pairs; the rest bound the odd intervals.
    std::vector<std::int32_t> odd;
    for (std::size_t k = 0; k < toggles.size();) {
        std::size_t same = k;
        while (same < toggles.size() && toggles[same] == toggles[k]) ++same;
        if ((same - k) % 2 == 1) odd.push_back(toggles[k]);
        k = same;
    }
    std::vector<FractureEdge> side;
    for (std::size_t m = 0; m + 1 < odd.size(); m += 2) side.push_back({{c, odd[m]}, {c, odd[m + 1]}});
    return side;
}

std::vector<std::int32_t> DistinctAlong(const std::vector<FractureEdge>& edges, bool alongX) {
    std::vector<std::int32_t> values;
    values.reserve(2 * edges.size());
    for (const FractureEdge& e : edges) {
        values.push_back(alongX ? e.a.X : e.a.Y);
        values.push_back(alongX ? e.b.X : e.b.Y);
    }
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

}  // namespace

struct Fracture::State {
    struct Piece {
        std::vector<FractureEdge> edges;
        Rect window;
    };

    std::vector<Point> ring;  // closed
    std::int32_t minFigure = 0;
    std::int32_t overlap = 0;
    bool gridBuilt = false;
    double orientation = 1;
    std::vector<Piece> pieces;
    bool cut = false;
    std::int64_t cellCount = 0;

    void Cut(Piece piece, int depth);
};

// Cuts at the median of the distinct values along the axis that has more of
// them, until every piece's grid is small; a cut that makes neither side
// smaller (many long edges through the whole piece, each adding a crossing
// point to both sides) is not made unless the piece is huge.
void Fracture::State::Cut(Piece piece, int depth) {
    const std::int64_t cells = FractureCells::CellCountOf(piece.edges, piece.window);
    int slanted = 0;
    for (const FractureEdge& e : piece.edges) slanted += IsSlanted(e.a, e.b);
    const bool large = cells > kMaxPieceCells || (slanted > 0 && piece.edges.size() > std::size_t(kMaxPieceEdges));
    if (depth < kMaxCutDepth && large) {
        const std::vector<std::int32_t> xs = DistinctAlong(piece.edges, true);
        const std::vector<std::int32_t> ys = DistinctAlong(piece.edges, false);
        const bool alongX = xs.size() >= ys.size();
        const std::vector<std::int32_t>& values = alongX ? xs : ys;
        if (values.size() >= 3) {
            const std::int32_t c = values[values.size() / 2];
            Piece below{ClipEdges(piece.edges, alongX, INT64_MIN, c), piece.window};
            Piece above{ClipEdges(piece.edges, alongX, c, INT64_MAX), piece.window};
            (alongX ? below.window.maxx : below.window.maxy) = c;
            (alongX ? above.window.minx : above.window.miny) = c;
            // Rays of the even-odd test run towards +X: the lower piece of a
            // cut across X needs what lies beyond its right side.
            if (alongX) {
                const std::vector<FractureEdge> side = RightSideEdges(piece.edges, c, below.window);
                below.edges.insert(below.edges.end(), side.begin(), side.end());
            }
            auto smaller = [&](const Piece& part) {
                return FractureCells::CellCountOf(part.edges, part.window) < cells ||
                       part.edges.size() * 10 < piece.edges.size() * 9;
            };
            if ((smaller(below) && smaller(above)) || cells > kMaxUncutCells) {
                cut = true;
                piece = {};
                if (!below.edges.empty()) Cut(std::move(below), depth + 1);
                if (!above.edges.empty()) Cut(std::move(above), depth + 1);
                return;
            }
        }
    }
    cellCount += cells;
    pieces.push_back(std::move(piece));
}

Fracture::Fracture(const Word* record, std::int32_t minFigure, std::int32_t overlap) : state(new State) {
    state->minFigure = minFigure;
    state->overlap = overlap;
    if (!record || RecordKind(record) != ObjectKind::Polygon || RecordLength(record) < kPolygonBaseLength) return;
    const PolygonView polygon(record);
    state->ring = ClosedRing(polygon.Nodes(), polygon.NodeCount());
}

Fracture::Fracture(const Point* points, int count, std::int32_t minFigure, std::int32_t overlap) : state(new State) {
    state->minFigure = minFigure;
    state->overlap = overlap;
    state->ring = ClosedRing(points, count);
}

Fracture::~Fracture() = default;

// A vertex is sharp when its turn exceeds a right angle, that is when the
// incoming and outgoing directions have a negative dot product (exact in
// integers, so a right angle is never sharp by rounding).
void Fracture::RefineSharpCorners() {
    std::vector<Point>& ring = state->ring;
    const int n = int(ring.size()) - 1;  // distinct vertices
    if (n < 3) return;
    std::vector<bool> sharp(n, false);
    bool any = false;
    for (int k = 0; k < n; ++k) {
        const Point b = ring[(k + n - 1) % n], c = ring[k], e = ring[k + 1];
        const __int128 dot = __int128(std::int64_t(c.X) - b.X) * (std::int64_t(e.X) - c.X) +
                             __int128(std::int64_t(c.Y) - b.Y) * (std::int64_t(e.Y) - c.Y);
        sharp[k] = dot < 0;
        any = any || sharp[k];
    }
    if (!any) return;
    const double s1 = state->minFigure;
    std::vector<Point> refined;
    refined.reserve(ring.size() + 2 * std::size_t(n));
    auto push = [&](Point p) {
        if (refined.empty() || !(refined.back() == p)) refined.push_back(p);
    };
    for (int k = 0; k < n; ++k) {
        const Point a = ring[k], b = ring[k + 1];
        push(a);
        if (!IsSlanted(a, b)) continue;
        const std::int64_t dx = std::int64_t(b.X) - a.X, dy = std::int64_t(b.Y) - a.Y;
        const double length = std::hypot(double(dx), double(dy));
        if (!(length > 4 * s1)) continue;
        const std::int64_t part = length <= 40 * s1 ? 4 : 16;
        if (sharp[k]) push({std::int32_t(a.X + dx / part), std::int32_t(a.Y + dy / part)});
        if (sharp[(k + 1) % n]) {
            const Point p{std::int32_t(b.X - dx / part), std::int32_t(b.Y - dy / part)};
            if (!(p == b)) push(p);
        }
    }
    ring = ClosedRing(refined.data(), int(refined.size()));
    state->gridBuilt = false;
}

void Fracture::Transform(const TransformMatrix& m) {
    TransformPoints(state->ring.data(), int(state->ring.size()), m);
    state->gridBuilt = false;
}

void Fracture::BuildGrid() {
    state->pieces.clear();
    state->cellCount = 0;
    state->cut = false;
    state->gridBuilt = true;
    // Transforms may have merged neighbours; fewer than three distinct
    // points enclose nothing.
    const std::vector<Point> ring = ClosedRing(state->ring.data(), int(state->ring.size()));
    if (ring.size() < 4) return;
    __int128 twiceArea = 0;
    State::Piece whole;
    for (std::size_t k = 0; k + 1 < ring.size(); ++k) {
        const Point p = ring[k], q = ring[k + 1];
        twiceArea += std::int64_t(p.X) * q.Y - std::int64_t(q.X) * p.Y;
        whole.edges.push_back({p, q});
    }
    state->orientation = twiceArea < 0 ? -1 : 1;
    whole.window = PointsBounds(ring.data(), int(ring.size()));
    state->Cut(std::move(whole), 0);
}

std::int64_t Fracture::CellCount() const { return state->cellCount; }

bool Fracture::IsRectilinear() const {
    const std::vector<Point>& ring = state->ring;
    for (std::size_t k = 0; k + 1 < ring.size(); ++k)
        if (IsSlanted(ring[k], ring[k + 1])) return false;
    return true;
}

int Fracture::PointCount() const { return int(state->ring.size()); }

std::vector<Point> Fracture::Points() const { return state->ring; }

void Fracture::Inset(std::int32_t d) {
    std::vector<Point>& ring = state->ring;
    if (ring.size() < 4) return;
    std::vector<Point> open(ring.begin(), ring.end() - 1);
    const int count = OffsetPolygon(open.data(), int(open.size()), -d);
    ring = ClosedRing(open.data(), std::min(count, int(open.size())));
    state->gridBuilt = false;
}

bool Fracture::Run(FractureSink& sink, FractureKind kind) {
    if (!state->gridBuilt) BuildGrid();
    bool risk = false;
    for (const State::Piece& piece : state->pieces) {
        FractureCells cells(piece.edges, state->orientation, piece.window, state->cut, state->minFigure,
                            state->overlap);
        risk = cells.Run(sink, kind) || risk;
    }
    return risk;
}

}  // namespace zandor
