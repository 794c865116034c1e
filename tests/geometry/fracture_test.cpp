// Fracturing polygons into figures: the worked cases, and the coverage of
// generated shapes checked with the boolean engine (the figures' union against
// the polygon), for the flash kinds and the photoplot kind.
#include "geometry/Fracture.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "geometry/Bool_Engine.h"
#include "model/Geometry.h"
#include "model/ObjectRecord.h"

using namespace zandor;

namespace {

struct PointD {
    double x = 0, y = 0;
};
using Outline = std::vector<PointD>;

// Keeps every figure, and the figures as outlines for the boolean engine.
class RecordingSink : public FractureSink {
public:
    explicit RecordingSink(std::int32_t aperture = 0) : aperture(aperture) {}

    void EmitRectangle(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) override {
        rectangles.push_back({std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)});
        outlines.push_back(
            {{double(x1), double(y1)}, {double(x2), double(y1)}, {double(x2), double(y2)}, {double(x1), double(y2)}});
    }
    void EmitRotatedRectangle(double x, double y, double length, double width, double angle) override {
        ++rotated;
        bands.push_back({x, y, length, width, angle});
        const double c = std::cos(angle), s = std::sin(angle);
        const double hx = -s * width / 2, hy = c * width / 2;
        outlines.push_back({{x - hx, y - hy},
                            {x + c * length - hx, y + s * length - hy},
                            {x + c * length + hx, y + s * length + hy},
                            {x + hx, y + hy}});
    }
    std::int32_t SmallestAperture() override { return aperture; }
    // A square aperture swept from one end to the other: the hull of the two
    // squares.
    void Stroke(Point from, Point to) override {
        ++strokes;
        const double h = aperture / 2.0;
        const double dx = to.X - from.X, dy = to.Y - from.Y;
        const double sx = dx >= 0 ? 1 : -1, sy = dy >= 0 ? 1 : -1;
        const double fx = from.X, fy = from.Y, tx = to.X, ty = to.Y;
        outlines.push_back({{fx - sx * h, fy - sy * h},
                            {fx + sx * h, fy - sy * h},
                            {tx + sx * h, ty - sy * h},
                            {tx + sx * h, ty + sy * h},
                            {tx - sx * h, ty + sy * h},
                            {fx - sx * h, fy + sy * h}});
    }
    void MoveTo(Point p) override { region = {{double(p.X), double(p.Y)}}; }
    void LineTo(Point p) override { region.push_back({double(p.X), double(p.Y)}); }
    void CloseRegion() override {
        ++regions;
        outlines.push_back(region);
        region.clear();
    }

    std::int32_t aperture;
    std::vector<Rect> rectangles;
    int rotated = 0;
    struct Band {
        double x, y, length, width, angle;
    };
    std::vector<Band> bands;
    int strokes = 0;
    int regions = 0;
    std::vector<Outline> outlines;
    Outline region;
};

struct RunResult {
    bool risk = false;
    std::vector<Point> points;
    std::int64_t cells = 0;
};

RunResult Fracture(const std::vector<Point>& polygon, FractureKind kind, RecordingSink& sink, std::int32_t s1,
                   std::int32_t s2) {
    zandor::Fracture fracture(polygon.data(), int(polygon.size()), s1, s2);
    fracture.RefineSharpCorners();
    fracture.Transform({});
    fracture.BuildGrid();
    RunResult result;
    result.points = fracture.Points();
    result.cells = fracture.CellCount();
    result.risk = fracture.Run(sink, kind);
    return result;
}

double ShoelaceArea(const Outline& o) {
    double sum = 0;
    for (std::size_t i = 0; i < o.size(); ++i) {
        const PointD& p = o[i];
        const PointD& q = o[(i + 1) % o.size()];
        sum += p.x * q.y - q.x * p.y;
    }
    return std::fabs(sum) / 2;
}

double Perimeter(const Outline& o) {
    double sum = 0;
    for (std::size_t i = 0; i < o.size(); ++i)
        sum += std::hypot(o[(i + 1) % o.size()].x - o[i].x, o[(i + 1) % o.size()].y - o[i].y);
    return sum;
}

// Runs one operation with the figures as group A and the polygon as group B.
std::vector<Outline> Boolean(const std::vector<Outline>& figures, const std::vector<Point>& polygon,
                             BooleanOperation operation) {
    Bool_Engine engine;
    ConfigureBooleanEngine(engine, 1);
    for (const Outline& figure : figures) {
        engine.BeginContour(GroupA);
        for (const PointD& p : figure) engine.AddVertex(p.x, p.y);
        engine.EndContour();
    }
    engine.BeginContour(GroupB);
    for (const Point& p : polygon) engine.AddVertex(p.X, p.Y);
    engine.EndContour();
    EXPECT_TRUE(engine.Execute(operation));
    std::vector<Outline> result;
    while (engine.NextResultContour()) {
        Outline contour;
        while (engine.NextResultVertex()) contour.push_back({engine.VertexX(), engine.VertexY()});
        result.push_back(contour);
        engine.DropResultContour();
    }
    return result;
}

double SlantedLength(const std::vector<Point>& polygon) {
    double length = 0;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const Point a = polygon[i], b = polygon[(i + 1) % polygon.size()];
        if (a.X != b.X && a.Y != b.Y) length += std::hypot(double(b.X) - a.X, double(b.Y) - a.Y);
    }
    return length;
}

std::vector<Point> Box(int x0, int y0, int x1, int y1) { return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}; }

// A rectilinear staircase of `steps` steps of the given size.
std::vector<Point> Staircase(int steps, int size) {
    std::vector<Point> points = {{0, 0}, {steps * size, 0}};
    for (int k = steps; k > 0; --k) {
        points.push_back({k * size, (steps - k + 1) * size});
        points.push_back({(k - 1) * size, (steps - k + 1) * size});
    }
    return points;
}

// A square frame with its hole joined to the outside by a cut of zero width.
std::vector<Point> Keyhole(int outer, int inner) {
    const int a = (outer - inner) / 2, b = a + inner;
    return {{0, 0}, {outer, 0}, {outer, outer}, {0, outer}, {0, a}, {a, a}, {a, b}, {b, b}, {b, a}, {a, a}, {0, a}};
}

// The outline of a serpentine wire of `legs` vertical legs (width w, pitch p)
// whose turns sit at heights that differ from leg to leg, so that the outline
// has many distinct X and many distinct Y values.
std::vector<Point> Meander(int legs, int w, int p) {
    std::vector<Point> path = {{0, -5 * w}};
    for (int k = 0; k < legs; ++k) {
        const int y = k % 2 == 0 ? 20 * w + (k * 7919 % 10007) * 10 : -w - (k * 104729 % 10009) * 10;
        path.push_back({k * p, y});
        if (k + 1 < legs) path.push_back({(k + 1) * p, y});
    }
    // Left and right offsets of the rectilinear path by half the width.
    const int h = w / 2;
    auto normal = [](Point a, Point b) {
        return Point{b.Y > a.Y ? -1 : b.Y < a.Y ? 1 : 0, b.X > a.X ? 1 : b.X < a.X ? -1 : 0};
    };
    std::vector<Point> left, right;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const Point n1 = i > 0 ? normal(path[i - 1], path[i]) : normal(path[i], path[i + 1]);
        const Point n2 = i + 1 < path.size() ? normal(path[i], path[i + 1]) : n1;
        Point n{n1.X + n2.X, n1.Y + n2.Y};
        if (n1 == n2) n = n1;
        const Point v = path[i];
        left.push_back({v.X + h * n.X, v.Y + h * n.Y});
        right.push_back({v.X - h * n.X, v.Y - h * n.Y});
    }
    std::vector<Point> outline = left;
    outline.insert(outline.end(), right.rbegin(), right.rend());
    return outline;
}

std::vector<Point> ArcWire(Point start, Point centre, Point end, std::int32_t width, int endStyle) {
    Word record[kArcWireLength] = {MakeHeader(kArcWireLength, 1, ObjectKind::ArcWire),
                                   start.X,
                                   start.Y,
                                   centre.X,
                                   centre.Y,
                                   end.X,
                                   end.Y,
                                   MakeArcWidthWord(width, endStyle, false)};
    return ArcWireOutline(record, 72);
}

TEST(Fracture, WorkedCases) {
    // A rectangle is one figure equal to it.
    {
        RecordingSink sink;
        EXPECT_FALSE(Fracture(Box(-3000, 1000, 5000, 4000), FractureKind::Mann, sink, 1000, 100).risk);
        ASSERT_EQ(sink.rectangles.size(), 1u);
        EXPECT_EQ(sink.rectangles[0], (Rect{-3000, 1000, 5000, 4000}));
        EXPECT_EQ(sink.rotated, 0);
    }
    // An L: as many strips in rows as in columns, so rows, bottom first.
    {
        RecordingSink sink;
        const std::vector<Point> l = {{0, 0}, {2000, 0}, {2000, 1000}, {1000, 1000}, {1000, 2000}, {0, 2000}};
        EXPECT_FALSE(Fracture(l, FractureKind::Emk, sink, 1000, 100).risk);
        EXPECT_EQ(sink.rectangles, (std::vector<Rect>{{0, 0, 2000, 1000}, {0, 1000, 1000, 2000}}));
    }
    // The right triangle: both 45-degree corners are sharp, the hypotenuse
    // gets a point a quarter of the way from each, and every crossed cell of
    // the 3 x 3 grid has one slanted edge.
    for (const FractureKind kind : {FractureKind::Emk, FractureKind::Mann}) {
        RecordingSink sink;
        const RunResult run = Fracture({{0, 0}, {10000, 0}, {0, 10000}}, kind, sink, 1000, 100);
        EXPECT_EQ(run.points, (std::vector<Point>{{0, 0}, {10000, 0}, {7500, 2500}, {2500, 7500}, {0, 10000}, {0, 0}}));
        EXPECT_EQ(run.cells, 9);
        EXPECT_FALSE(run.risk);
        // The middle part of the hypotenuse gets a band reaching 1.01 times as
        // far as the inside corner of the cell it crosses.
        const double t = 1.01 * 2500 * std::sqrt(2.0);
        const double length = 5000 * std::sqrt(2.0);
        const bool found = std::any_of(sink.bands.begin(), sink.bands.end(), [&](const RecordingSink::Band& b) {
            return std::fabs(b.x - (7500 - t / 2 / std::sqrt(2.0))) < 1 &&
                   std::fabs(b.y - (2500 - t / 2 / std::sqrt(2.0))) < 1 && std::fabs(b.length - length) < 1 &&
                   std::fabs(b.width - t) < 1 && std::fabs(b.angle - 0.75 * kPi) < 1e-9;
        });
        EXPECT_TRUE(found);
    }
    // A thin rectangle turned by 45 degrees: its long edges cross the same
    // cells, which the flash kinds report.
    for (const FractureKind kind : {FractureKind::Emk, FractureKind::Mann}) {
        RecordingSink sink;
        const std::vector<Point> thin = RotatedBoxCorners({0, 0}, 20000, 1000, 45000);
        EXPECT_TRUE(Fracture(thin, kind, sink, 1000, 100).risk);
    }
    // A staircase outline needs nothing but whole cells.
    {
        RecordingSink sink(400);
        EXPECT_FALSE(Fracture(Staircase(6, 700), FractureKind::Mann, sink, 1000, 100).risk);
        EXPECT_EQ(sink.rotated, 0);
        EXPECT_EQ(sink.strokes + sink.regions, 0);
        EXPECT_EQ(sink.rectangles.size(), 6u);
    }
}

TEST(Fracture, RecordsAndDegenerateInput) {
    // A polygon record with its first node repeated at the end, scaled by 2.
    std::vector<Word> polygon = {MakeHeader(kPolygonBaseLength + 10, 1, ObjectKind::Polygon),
                                 0,
                                 0,
                                 400,
                                 300,
                                 0,
                                 0,
                                 400,
                                 0,
                                 400,
                                 300,
                                 0,
                                 300,
                                 0,
                                 0};
    {
        zandor::Fracture fracture(polygon.data(), 1000, 100);
        fracture.RefineSharpCorners();
        fracture.Transform({2, 0, 0, 2, 10, 0});
        fracture.BuildGrid();
        EXPECT_EQ(fracture.PointCount(), 5);
        EXPECT_TRUE(fracture.IsRectilinear());
        RecordingSink sink;
        EXPECT_FALSE(fracture.Run(sink, FractureKind::Mann));
        EXPECT_EQ(sink.rectangles, (std::vector<Rect>{{10, 0, 810, 600}}));
    }
    // Records of other kinds, a truncated header, points that collapse, and a
    // polygon of zero area give nothing.
    const Word rectangle[kRectangleLength] = {MakeHeader(kRectangleLength, 1, ObjectKind::Rectangle), 0, 0, 9, 9};
    const Word truncated[1] = {MakeHeader(3, 1, ObjectKind::Polygon)};
    for (const Word* record : {rectangle, truncated, static_cast<const Word*>(nullptr)}) {
        zandor::Fracture fracture(record, 1000, 100);
        fracture.BuildGrid();
        RecordingSink sink;
        EXPECT_FALSE(fracture.Run(sink, FractureKind::Emk));
        EXPECT_TRUE(sink.outlines.empty());
        EXPECT_EQ(fracture.PointCount(), 0);
    }
    const std::vector<std::vector<Point>> empty = {
        {}, {{5, 5}}, {{5, 5}, {5, 5}, {5, 5}}, {{0, 0}, {100, 100}, {0, 0}}, {{0, 0}, {50, 50}, {100, 100}}};
    for (const auto& points : empty) {
        RecordingSink sink(400);
        for (const FractureKind kind : {FractureKind::Mann, FractureKind::Gerber}) {
            EXPECT_FALSE(Fracture(points, kind, sink, 1000, 100).risk);
        }
        EXPECT_TRUE(sink.outlines.empty());
    }
    // A transform that squeezes the polygon to a line leaves nothing either.
    {
        const std::vector<Point> square = Box(0, 0, 1000, 1000);
        zandor::Fracture fracture(square.data(), 4, 1000, 100);
        fracture.Transform({1, 0, 0, 0, 0, 0});
        RecordingSink sink;
        fracture.Run(sink, FractureKind::Mann);
        EXPECT_TRUE(sink.outlines.empty());
    }
}

TEST(Fracture, InsetMovesTheRingInwards) {
    const std::vector<Point> square = Box(0, 0, 10000, 8000);
    for (const bool clockwise : {false, true}) {
        std::vector<Point> ring = square;
        if (clockwise) std::reverse(ring.begin(), ring.end());
        zandor::Fracture fracture(ring.data(), int(ring.size()), 500, 500);
        fracture.Inset(1000);
        const std::vector<Point> points = fracture.Points();
        ASSERT_EQ(points.size(), 5u);
        EXPECT_EQ(points.front(), points.back());
        const Rect box = PointsBounds(points.data(), int(points.size()));
        EXPECT_EQ(box, (Rect{1000, 1000, 9000, 7000}));
        fracture.BuildGrid();
        RecordingSink sink;
        fracture.Run(sink, FractureKind::Gerber);
        EXPECT_EQ(sink.rectangles, (std::vector<Rect>{{1000, 1000, 9000, 7000}}));
    }
}

constexpr int kLow = INT32_MIN + 1, kHigh = INT32_MAX - 1;

struct Shape {
    std::string name;
    std::vector<Point> points;
};

std::vector<Shape> Shapes() {
    std::vector<Shape> shapes = {
        {"staircase", Staircase(7, 1300)},
        {"L", {{0, 0}, {9000, 0}, {9000, 2000}, {2500, 2000}, {2500, 7000}, {0, 7000}}},
        {"U", {{0, 0}, {9000, 0}, {9000, 8000}, {7000, 8000}, {7000, 2000}, {2000, 2000}, {2000, 8000}, {0, 8000}}},
        {"keyhole", Keyhole(12000, 5000)},
        {"triangle 45", {{0, 0}, {10000, 0}, {0, 10000}}},
        {"triangle any angle", {{0, 0}, {17000, 0}, {5000, 11000}}},
        {"obtuse triangle", {{0, 0}, {30000, 0}, {-6000, 7000}}},
        {"thin rotated rectangle", RotatedBoxCorners({5000, 5000}, 24000, 1500, 30000)},
        {"thin 45 rectangle", RotatedBoxCorners({0, 0}, 20000, 1000, 45000)},
        {"rotated square", RotatedBoxCorners({0, 0}, 9000, 9000, 17000)},
        {"hexagon with notch",
         {{0, 0}, {8000, -3000}, {16000, 0}, {16000, 9000}, {9000, 9000}, {8000, 4000}, {7000, 9000}, {0, 9000}}},
        {"circle", CirclePolygon({0, 0}, 20000, 64)},
        {"ring", RingPolygon({0, 0}, 15000, 8000, 96)},
        {"arc wire, round ends", ArcWire({20000, 0}, {0, 0}, {0, 20000}, 4000, 0)},
        {"arc wire, flat ends", ArcWire({20000, 0}, {0, 0}, {-20000, 0}, 3000, 1)},
        {"arc wire, extended ends", ArcWire({0, -15000}, {0, 0}, {15000, 0}, 5000, 2)},
        {"bow-tie", {{0, 0}, {10000, 8000}, {10000, 0}, {0, 8000}}},
        {"square with a spike of no width",
         {{0, 0}, {8000, 0}, {8000, 8000}, {4000, 8000}, {4000, 15000}, {4000, 8000}, {0, 8000}}},
    };
    // The same shapes clockwise: the inside side follows the orientation.
    std::vector<Shape> reversed;
    for (const Shape& shape : shapes) {
        Shape r = shape;
        r.name += " (clockwise)";
        std::reverse(r.points.begin(), r.points.end());
        reversed.push_back(r);
    }
    shapes.insert(shapes.end(), reversed.begin(), reversed.end());
    return shapes;
}

// The union of the figures against the polygon: exact for rectilinear shapes;
// with slanted edges the area missed or added stays within the minimum figure
// size along the slanted length, and whatever lies outside the polygon is a
// sliver no thicker than the margin.
void CheckCoverage(const std::vector<Point>& points, FractureKind kind, std::int32_t s1, std::int32_t s2,
                   std::int32_t aperture) {
    RecordingSink sink(aperture);
    Fracture(points, kind, sink, s1, s2);
    ASSERT_FALSE(sink.outlines.empty());
    double xor_ = 0;
    for (const Outline& o : Boolean(sink.outlines, points, OpExor)) xor_ += ShoelaceArea(o);
    const double slanted = SlantedLength(points);
    if (slanted == 0) {
        EXPECT_EQ(xor_, 0);
        return;
    }
    EXPECT_LE(xor_, s1 * slanted);
    // A photoplot without apertures fills what is left beside slanted edges
    // with regions: only rounding to whole units may be missed.
    if (kind == FractureKind::Gerber && aperture == 0) {
        EXPECT_LE(xor_, 2 * slanted);
    }
    const double margin = s1 + s2;
    for (const Outline& o : Boolean(sink.outlines, points, OpAMinusB))
        EXPECT_LE(ShoelaceArea(o), margin * Perimeter(o) / 2) << "a figure reaches out of the polygon";
}

TEST(Fracture, FiguresCoverEachShape) {
    struct Kind {
        FractureKind kind;
        std::int32_t s1, s2, aperture;
    };
    const Kind kinds[] = {{FractureKind::Emk, 1000, 100, 0},
                          {FractureKind::Mann, 1000, 100, 0},
                          {FractureKind::Gerber, 500, 500, 400},
                          {FractureKind::Gerber, 500, 500, 0}};
    for (const Shape& shape : Shapes()) {
        for (const Kind& k : kinds) {
            SCOPED_TRACE(shape.name + ", kind " + std::to_string(int(k.kind)));
            CheckCoverage(shape.points, k.kind, k.s1, k.s2, k.aperture);
        }
    }
    // Coordinates at the ends of the 32-bit range, with figures of a
    // centimetre.
    const std::vector<Point> whole = Box(kLow, kLow, kHigh, kHigh);
    const std::vector<Point> triangle = {{kLow, kLow}, {kHigh, kLow}, {kLow, kHigh}};
    for (const FractureKind kind : {FractureKind::Mann, FractureKind::Gerber}) {
        SCOPED_TRACE("whole coordinate range, kind " + std::to_string(int(kind)));
        CheckCoverage(whole, kind, 10000000, 100, 0);
        CheckCoverage(triangle, kind, 10000000, 100, 0);
    }
}

// An outline through scattered points crosses itself everywhere: whatever
// comes out stays on the polygon's box, and the run ends.
TEST(Fracture, ScatteredPointsStayInTheirBox) {
    std::uint64_t state = 88172645463325252ull;
    auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return int(state % 100000);
    };
    std::vector<Point> points;
    for (int k = 0; k < 300; ++k) points.push_back({next(), next()});
    const Rect box = PointsBounds(points.data(), int(points.size()));
    for (const FractureKind kind : {FractureKind::Emk, FractureKind::Gerber}) {
        RecordingSink sink(400);
        EXPECT_TRUE(Fracture(points, kind, sink, 1000, 100).risk);
        EXPECT_FALSE(sink.rectangles.empty());
        for (const Rect& r : sink.rectangles) {
            EXPECT_GE(r.minx, box.minx);
            EXPECT_GE(r.miny, box.miny);
            EXPECT_LE(r.maxx, box.maxx);
            EXPECT_LE(r.maxy, box.maxy);
        }
    }
}

std::int64_t DistinctProduct(const std::vector<Point>& points) {
    std::vector<int> xs, ys;
    for (const Point& p : points) xs.push_back(p.X), ys.push_back(p.Y);
    std::sort(xs.begin(), xs.end());
    std::sort(ys.begin(), ys.end());
    return std::int64_t(std::unique(xs.begin(), xs.end()) - xs.begin() - 1) *
           (std::unique(ys.begin(), ys.end()) - ys.begin() - 1);
}

std::int64_t GridCells(const std::vector<Point>& points) {
    zandor::Fracture fracture(points.data(), int(points.size()), 1000, 100);
    fracture.BuildGrid();
    return fracture.CellCount();
}

// Large polygons are cut into pieces on small grids: four times the vertices
// make the one grid of the polygon's coordinates about sixteen times larger,
// the pieces' grids only about four times; and the figures still cover a
// rectilinear polygon exactly.
TEST(Fracture, LargePolygonsAreCutIntoPieces) {
    const std::vector<Point> meander = Meander(900, 600, 1500);
    const std::vector<Point> longer = Meander(3600, 600, 1500);
    ASSERT_GT(meander.size(), 3000u);
    ASSERT_GT(DistinctProduct(longer), 12 * DistinctProduct(meander));
    EXPECT_LT(GridCells(meander), DistinctProduct(meander));
    EXPECT_LT(GridCells(longer), 6 * GridCells(meander));

    const std::vector<Point> circle = CirclePolygon({0, 0}, 2000000, 4096);
    const std::vector<Point> smallCircle = CirclePolygon({0, 0}, 2000000, 1024);
    ASSERT_GT(DistinctProduct(circle), 12 * DistinctProduct(smallCircle));
    EXPECT_LT(GridCells(circle), 6 * GridCells(smallCircle));

    for (const FractureKind kind : {FractureKind::Mann, FractureKind::Gerber}) {
        RecordingSink sink(400);
        EXPECT_FALSE(Fracture(meander, kind, sink, 1000, 100).risk);
        EXPECT_EQ(sink.rotated + sink.strokes + sink.regions, 0);
        double xor_ = 0;
        for (const Outline& o : Boolean(sink.outlines, meander, OpExor)) xor_ += ShoelaceArea(o);
        EXPECT_EQ(xor_, 0);
    }
    RecordingSink sink;
    Fracture(circle, FractureKind::Mann, sink, 1000, 100);
    double xor_ = 0;
    for (const Outline& o : Boolean(sink.outlines, circle, OpExor)) xor_ += ShoelaceArea(o);
    EXPECT_LE(xor_, 1000 * SlantedLength(circle));
    const double margin = 1000 + 100;
    for (const Outline& o : Boolean(sink.outlines, circle, OpAMinusB))
        EXPECT_LE(ShoelaceArea(o), margin * Perimeter(o) / 2) << "a figure reaches out of the circle";
}

}  // namespace
