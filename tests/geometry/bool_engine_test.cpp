#include "geometry/Bool_Engine.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <polyclipping/clipper.hpp>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace zandor;

namespace {

struct Pt {
    double x;
    double y;
    bool operator==(const Pt&) const = default;
    auto operator<=>(const Pt&) const = default;
};
using Ring = std::vector<Pt>;

struct Input {
    std::vector<Ring> a;
    std::vector<Ring> b;
};

std::vector<Ring> RunEngine(const Input& input, BooleanOperation op, int polygonGrid = 1) {
    Bool_Engine engine;
    ConfigureBooleanEngine(engine, polygonGrid);
    for (int g = 0; g < 2; ++g) {
        for (const Ring& ring : g == 0 ? input.a : input.b) {
            EXPECT_TRUE(engine.BeginContour(g == 0 ? GroupA : GroupB));
            for (const Pt& p : ring) EXPECT_TRUE(engine.AddVertex(p.x, p.y));
            EXPECT_TRUE(engine.EndContour());
        }
    }
    EXPECT_TRUE(engine.Execute(op));
    std::vector<Ring> result;
    while (engine.NextResultContour()) {
        Ring ring;
        while (engine.NextResultVertex()) ring.push_back({engine.VertexX(), engine.VertexY()});
        result.push_back(ring);
        engine.DropResultContour();
    }
    return result;
}

Ring Rect(double x0, double y0, double x1, double y1) { return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}; }

double SignedArea(const Ring& r) {
    double area = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        const Pt& p = r[i];
        const Pt& q = r[(i + 1) % r.size()];
        area += p.x * q.y - q.x * p.y;
    }
    return area / 2;
}

double Perimeter(const std::vector<Ring>& rings) {
    double sum = 0;
    for (const Ring& r : rings)
        for (std::size_t i = 0; i < r.size(); ++i)
            sum += std::hypot(r[(i + 1) % r.size()].x - r[i].x, r[(i + 1) % r.size()].y - r[i].y);
    return sum;
}

// Area of the result: outer contours are clockwise, so their signed area is negative.
double ResultArea(const std::vector<Ring>& rings) {
    double sum = 0;
    for (const Ring& r : rings) sum -= SignedArea(r);
    return sum;
}

const char* OpName(BooleanOperation op) {
    switch (op) {
        case OpOr: return "or";
        case OpAnd: return "and";
        case OpExor: return "xor";
        case OpAMinusB: return "a-b";
        case OpBMinusA: return "b-a";
        default: return "?";
    }
}

const BooleanOperation kOps[] = {OpOr, OpAnd, OpExor, OpAMinusB, OpBMinusA};

std::string Describe(const std::vector<Ring>& rings);
std::string CheckResult(const std::vector<Ring>& result, double marge, bool cutsMayPassVertices = false);

// --- The interface -----------------------------------------------------------

TEST(BoolEngine, SnapsTowardZeroOnTheGrid) {
    struct Case {
        int grid;
        double x;
        double expected;
    };
    const Case cases[] = {
        {1, 1234.6, 1234},
        {1, -1234.6, -1234},
        {5, 1237, 1235},
        {5, -1237, -1235},
        {0, 12.345, 12.34},
        {3, 3, 3},
        {3, 300000, 300000},
        {3, 5, 3},
        // Toward zero at any magnitude, exact multiples kept.
        {1, 600000000.6, 600000000},
        {1, -600000000.6, -600000000},
        {1, 0.4, 0},
        {1, -0.4, 0},
        {1, 999999999999.9, 999999999999},
        {1, 1e15 + 0.5, 1e15},
        {1, -1e15 - 0.5, -1e15},
        {3, 1800000000, 1800000000},
        {3, 1800000002.9, 1800000000},
        {3, -1800000002.9, -1800000000},
        {3, 2.9, 0},
        {3, -5, -3},
        {7, 864197523084, 864197523084},
        {7, 864197523090.9, 864197523084},
        {5, 5e12 + 4.9, 5e12},
        {5, -5e12 - 4.9, -5e12},
        // At 0.01 nm a decimal on the grid stays although the double lies a hair below it.
        {0, 0.29, 0.29},
        {0, -0.29, -0.29},
        {0, 600000000.6, 600000000.6},
        {0, 0.009, 0},
        {0, -0.019, -0.01},
    };
    for (const Case& c : cases) {
        const double size = c.grid > 0 ? 100.0 * c.grid : 1.0;
        Input input;
        input.a.push_back(Rect(c.x, 0, c.x + (c.x < 0 ? -size : size), size));
        const std::vector<Ring> result = RunEngine(input, OpOr, c.grid);
        ASSERT_EQ(result.size(), 1u) << c.grid << " " << c.x;
        bool seen = false;
        for (const Pt& p : result[0]) seen = seen || p.x == c.expected;
        EXPECT_TRUE(seen) << "grid " << c.grid << " x " << c.x << " expected " << c.expected;
    }
}

TEST(BoolEngine, ConfigurationSetsMargeAndLogsTheSetters) {
    struct Case {
        int grid;
        double marge;
        double dgrid;
        std::int64_t internalMarge;
    };
    const Case cases[] = {{1, 10, 1, 10000}, {5, 50, 0.2, 10000}, {0, 0.1, 100, 10000}, {3, 30, 1.0 / 3, 9999}};
    for (const Case& c : cases) {
        Bool_Engine engine;
        ConfigureBooleanEngine(engine, c.grid);
        EXPECT_DOUBLE_EQ(engine.GetMarge(), c.marge);
        EXPECT_DOUBLE_EQ(engine.GetDGrid(), c.dgrid);
        EXPECT_EQ(engine.GetGrid(), 1000);
        EXPECT_EQ(engine.GetInternalMarge(), c.internalMarge) << c.grid;
    }
    std::ostringstream log;
    Bool_Engine engine;
    engine.SetLog(&log);
    ConfigureBooleanEngine(engine, 1);
    EXPECT_EQ(log.str(),
              "Bool_Engine::m_MARGE = 10.000000\nBool_Engine::m_GRID = 1000\nBool_Engine::m_DGRID = 1.000000\n"
              "Bool_Engine::m_CORRECTIONFACTOR = 500.000000\nBool_Engine::m_CORRECTIONABER = 1.000000\n"
              "Bool_Engine::m_SMOOTHABER = 10.000000\nBool_Engine::m_MAXLINEMERGE = 1000.000000\n"
              "Bool_Engine::m_ROUNDFACTOR = 1.500000\n");
}

TEST(BoolEngine, CallingSequenceIsChecked) {
    Bool_Engine engine;
    ConfigureBooleanEngine(engine, 1);
    EXPECT_FALSE(engine.NextResultContour());
    EXPECT_FALSE(engine.AddVertex(0, 0));
    EXPECT_FALSE(engine.EndContour());
    EXPECT_TRUE(engine.BeginContour(GroupA));
    EXPECT_FALSE(engine.BeginContour(GroupB));
    EXPECT_TRUE(engine.EndContour());
    EXPECT_FALSE(engine.EndContour());
}

TEST(BoolEngine, NothingEnteredGivesAnEmptyResult) {
    Bool_Engine engine;
    ConfigureBooleanEngine(engine, 1);
    EXPECT_TRUE(engine.Execute(OpOr));
    EXPECT_FALSE(engine.NextResultContour());
}

TEST(BoolEngine, CodesOutsideOneToFiveAreRejected) {
    for (int code : {0, 6, 7, 8, 9}) {
        Bool_Engine engine;
        ConfigureBooleanEngine(engine, 1);
        engine.BeginContour(GroupA);
        for (const Pt& p : Rect(0, 0, 100, 100)) engine.AddVertex(p.x, p.y);
        engine.EndContour();
        try {
            engine.Execute(static_cast<BooleanOperation>(code));
            ADD_FAILURE() << "code " << code << " accepted";
        } catch (const Bool_Engine_Error& error) {
            EXPECT_EQ(error.GetErrorMessage(), " Fatal Error");
            EXPECT_EQ(error.GetHeaderMessage(), "Fatal Error");
            EXPECT_EQ(error.GetReason(), "Wrong operation");
            EXPECT_EQ(error.GetErrorCode(), 9);
            EXPECT_EQ(error.GetFatal(), 1);
        }
    }
}

TEST(BoolEngine, CoordinatesBeyondTheRangeAreReported) {
    const double bad[] = {1e300, -1e300, std::nan(""), 2e15 /* beyond the exact range of the sweep */};
    for (double v : bad) {
        for (int axis = 0; axis < 2; ++axis) {
            std::ostringstream log;
            Bool_Engine engine;
            ConfigureBooleanEngine(engine, 1);
            engine.SetLog(&log);
            engine.BeginContour(GroupA);
            const std::string reason = axis == 0 ? "X coordinate of vertex to big" : "Y coordinate of vertex to big";
            try {
                axis == 0 ? engine.AddVertex(v, 0) : engine.AddVertex(0, v);
                ADD_FAILURE() << v << " accepted";
            } catch (const Bool_Engine_Error& error) {
                EXPECT_EQ(error.GetReason(), reason);
            }
            EXPECT_NE(log.str().find(reason), std::string::npos);
        }
    }
}

// An engine whose stage `failing` fails when it starts: through ReportError,
// as the engine's checks of its input do, or by throwing the engine error a
// stage raises itself.
class FailingStageEngine : public Bool_Engine {
public:
    FailingStageEngine(std::string failing, std::string reason, bool throughReportError)
        : failing(std::move(failing)), reason(std::move(reason)), throughReportError(throughReportError) {}

    void ReportStage(const std::string& text) override {
        Bool_Engine::ReportStage(text);
        if (text != failing) return;
        reached = true;
        if (throughReportError) ReportError(reason, "stage");
        throw Bool_Engine_Error(reason, "Error", 9, 1);
    }

    const std::string failing;
    const std::string reason;
    const bool throughReportError;
    bool reached = false;
};

TEST(BoolEngine, AnErrorInsideAStageReachesTheCallerWithItsReason) {
    // A square with a diamond cut out of it takes the general route through
    // every stage, hole joining included; rectangles take the coverage sweep.
    const Input slanted{{Rect(0, 0, 3000, 3000)}, {{{1500, 1000}, {2000, 1500}, {1500, 2000}, {1000, 1500}}}};
    const Input level{{Rect(0, 0, 1000, 1000)}, {Rect(500, 500, 1500, 1500)}};
    const struct {
        const Input* input;
        const char* stage;
    } stages[] = {
        {&slanted, "Simplify"},       {&slanted, "Node to BoolLink 0"},
        {&slanted, "intersect"},      {&slanted, "Set group A/B Flags"},
        {&slanted, "Remove inlinks"}, {&slanted, "Extract simples first "},
        {&slanted, "LINKHOLES\n"},    {&slanted, "extract simples last"},
        {&level, "Coverage sweep"},   {&level, "Isolated contours"},
    };
    const std::string longReason = "crossing search does not settle " + std::string(300, '.');
    for (const auto& c : stages) {
        for (bool throughReportError : {false, true}) {
            for (const std::string& reason : {std::string("crossing search does not settle"), longReason}) {
                const std::string where = std::string(c.stage) + (throughReportError ? " via ReportError" : " thrown");
                std::ostringstream log;
                FailingStageEngine engine(c.stage, reason, throughReportError);
                ConfigureBooleanEngine(engine, 1);
                engine.SetLog(&log);
                for (int g = 0; g < 2; ++g) {
                    for (const Ring& ring : g == 0 ? c.input->a : c.input->b) {
                        engine.BeginContour(g == 0 ? GroupA : GroupB);
                        for (const Pt& p : ring) engine.AddVertex(p.x, p.y);
                        engine.EndContour();
                    }
                }
                try {
                    engine.Execute(OpAMinusB);
                    ADD_FAILURE() << where << ": no error";
                } catch (const Bool_Engine_Error& error) {
                    EXPECT_EQ(error.GetReason(), reason) << where;
                    if (throughReportError) {
                        EXPECT_EQ(error.GetErrorMessage(), " Fatal Error") << where;
                        EXPECT_EQ(error.GetHeaderMessage(), "Fatal Error") << where;
                    } else {
                        EXPECT_EQ(error.GetErrorMessage(), reason.substr(0, 199)) << where;
                        EXPECT_EQ(error.GetHeaderMessage(), "Error") << where;
                    }
                    EXPECT_EQ(error.GetErrorCode(), 9) << where;
                }
                EXPECT_TRUE(engine.reached) << where;
                EXPECT_NE(log.str().find("FATAL ERROR: error\n"), std::string::npos) << where;
            }
        }
    }
}

// --- Operations on small cases -----------------------------------------------

TEST(BoolEngine, IdenticalSquaresInBothGroups) {
    Input input{{Rect(0, 0, 1000, 1000)}, {Rect(0, 0, 1000, 1000)}};
    for (BooleanOperation op : kOps) {
        const std::vector<Ring> result = RunEngine(input, op);
        if (op == OpOr || op == OpAnd) {
            ASSERT_EQ(result.size(), 1u) << OpName(op);
            EXPECT_EQ(result[0].size(), 4u);
            EXPECT_DOUBLE_EQ(SignedArea(result[0]), -1e6);
        } else {
            EXPECT_TRUE(result.empty()) << OpName(op);
        }
    }
}

TEST(BoolEngine, SquaresSharingAnEdgeBecomeOneRectangle) {
    // In two groups and in one group.
    const Input inputs[] = {{{Rect(0, 0, 1000, 1000)}, {Rect(1000, 0, 2000, 1000)}},
                            {{Rect(0, 0, 1000, 1000), Rect(1000, 0, 2000, 1000)}, {}}};
    for (const Input& input : inputs) {
        const std::vector<Ring> result = RunEngine(input, OpOr);
        ASSERT_EQ(result.size(), 1u);
        EXPECT_EQ(std::set<Pt>(result[0].begin(), result[0].end()),
                  (std::set<Pt>{{0, 0}, {2000, 0}, {2000, 1000}, {0, 1000}}));
        EXPECT_EQ(result[0].size(), 4u);
        EXPECT_DOUBLE_EQ(SignedArea(result[0]), -2e6);
    }
}

TEST(BoolEngine, OverlappingContoursOfOneGroupActAsTheirUnion) {
    // Opposite orientations must not cancel.
    Ring second = Rect(500, 500, 1500, 1500);
    std::reverse(second.begin(), second.end());
    const Input input{{Rect(0, 0, 1000, 1000), second}, {Rect(250, 250, 750, 750)}};
    const double unionA = 2e6 - 250000;
    const struct {
        BooleanOperation op;
        double area;
    } cases[] = {
        {OpOr, unionA}, {OpAnd, 250000}, {OpExor, unionA - 250000}, {OpAMinusB, unionA - 250000}, {OpBMinusA, 0}};
    for (const auto& c : cases) {
        const std::vector<Ring> result = RunEngine(input, c.op);
        EXPECT_DOUBLE_EQ(ResultArea(result), c.area) << OpName(c.op);
        for (const Ring& r : result) EXPECT_LT(SignedArea(r), 0) << OpName(c.op);
    }
}

TEST(BoolEngine, HoleIsJoinedByAVerticalCutFromItsTopEdge) {
    const Input input{{Rect(0, 0, 3000, 3000)}, {Rect(1000, 1000, 2000, 2000)}};
    const std::vector<Ring> result = RunEngine(input, OpAMinusB);
    ASSERT_EQ(result.size(), 1u);
    const Ring& r = result[0];
    EXPECT_DOUBLE_EQ(SignedArea(r), -(9e6 - 1e6));
    // The cut runs at the hole's left X from its top edge up to the outer edge, both ways.
    int down = 0, up = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        const Pt& p = r[i];
        const Pt& q = r[(i + 1) % r.size()];
        if (p == Pt{1000, 3000} && q == Pt{1000, 2000}) ++down;
        if (p == Pt{1000, 2000} && q == Pt{1000, 3000}) ++up;
    }
    EXPECT_EQ(down, 1);
    EXPECT_EQ(up, 1);
    EXPECT_EQ(r.size(), 11u);
}

// Contours, their order and their vertices in walking order, pinned on small
// cases with junctions: pieces of a result touching at a point are one
// contour passing the point twice, a hole touching a boundary at a point is
// walked into there, a hole elsewhere by a vertical cut from its top-left
// node, and a walk started at a junction ends when it comes back to it.
TEST(BoolEngine, ContoursAtJunctions) {
    const Ring square = Rect(0, 0, 1000, 1000);
    const Ring cornerSquare = Rect(1000, 1000, 2000, 2000);
    const Ring touchingPieces = {{1000, 2000}, {2000, 2000}, {2000, 1000}, {1000, 1000},
                                 {1000, 0},    {0, 0},       {0, 1000},    {1000, 1000}};
    const Ring lowerSquare = {{0, 1000}, {1000, 1000}, {1000, 0}, {0, 0}};
    const struct {
        const char* name;
        Input input;
        BooleanOperation op;
        std::vector<Ring> expected;
    } cases[] = {
        {"corner-touching squares, or", {{square}, {cornerSquare}}, OpOr, {touchingPieces}},
        {"corner-touching squares, and", {{square}, {cornerSquare}}, OpAnd, {}},
        {"corner-touching squares, xor", {{square}, {cornerSquare}}, OpExor, {touchingPieces}},
        {"corner-touching squares, a-b", {{square}, {cornerSquare}}, OpAMinusB, {lowerSquare}},
        {"corner-touching squares, b-a",
         {{square}, {cornerSquare}},
         OpBMinusA,
         {{{1000, 2000}, {2000, 2000}, {2000, 1000}, {1000, 1000}}}},
        {"squares touching the other way, or",
         {{Rect(0, 1000, 1000, 2000)}, {Rect(1000, 0, 2000, 1000)}},
         OpOr,
         {{{0, 2000}, {1000, 2000}, {1000, 1000}, {2000, 1000}, {2000, 0}, {1000, 0}, {1000, 1000}, {0, 1000}}}},
        {"four squares as a checkerboard, xor",
         {{square, cornerSquare}, {Rect(1000, 0, 2000, 1000), Rect(0, 1000, 1000, 2000)}},
         OpExor,
         {{{0, 2000}, {2000, 2000}, {2000, 0}, {0, 0}}}},
        {"overlapping squares, xor: the overlap is a hole touching the outline at two corners",
         {{square}, {Rect(500, 500, 1500, 1500)}},
         OpExor,
         {{{500, 1500},
           {1500, 1500},
           {1500, 500},
           {1000, 500},
           {1000, 0},
           {0, 0},
           {0, 1000},
           {500, 1000},
           {500, 500},
           {1000, 500},
           {1000, 1000},
           {500, 1000}}}},
        {"square with a hole",
         {{Rect(0, 0, 3000, 3000)}, {Rect(1000, 1000, 2000, 2000)}},
         OpAMinusB,
         {{{1000, 3000},
           {3000, 3000},
           {3000, 0},
           {0, 0},
           {0, 3000},
           {1000, 3000},
           {1000, 2000},
           {1000, 1000},
           {2000, 1000},
           {2000, 2000},
           {1000, 2000}}}},
        {"two holes touching at a corner",
         {{Rect(0, 0, 3000, 3000)}, {Rect(500, 1500, 1000, 2000), Rect(1000, 1000, 1500, 1500)}},
         OpAMinusB,
         {{{500, 3000},
           {3000, 3000},
           {3000, 0},
           {0, 0},
           {0, 3000},
           {500, 3000},
           {500, 2000},
           {500, 1500},
           {1000, 1500},
           {1000, 1000},
           {1500, 1000},
           {1500, 1500},
           {1000, 1500},
           {1000, 2000},
           {500, 2000}}}},
        {"triangles sharing their apex, or: the walk from the apex ends there",
         {{{{0, 0}, {1000, 1000}, {500, 0}}}, {{{1500, 0}, {1000, 1000}, {2000, 0}}}},
         OpOr,
         {{{1000, 1000}, {2000, 0}, {1500, 0}}, {{0, 0}, {1000, 1000}, {500, 0}}}},
    };
    for (const auto& c : cases) {
        const std::vector<Ring> result = RunEngine(c.input, c.op);
        EXPECT_EQ(result, c.expected) << c.name << "\nresult: " << Describe(result);
        EXPECT_EQ(CheckResult(result, 10), "") << c.name;
    }
}

TEST(BoolEngine, VerticesCloserThanTheMargeAreMerged) {
    // A gap of 5 nm (half the marge at a grid of 1 nm) closes.
    const Input input{{Rect(0, 0, 1000, 1000)}, {Rect(1005, 0, 2000, 1000)}};
    const std::vector<Ring> result = RunEngine(input, OpOr);
    ASSERT_EQ(result.size(), 1u);
    EXPECT_EQ(std::set<Pt>(result[0].begin(), result[0].end()),
              (std::set<Pt>{{0, 0}, {2000, 0}, {2000, 1000}, {0, 1000}}));
}

TEST(BoolEngine, DegenerateContoursVanish) {
    const std::vector<Ring> degenerate = {
        {{0, 0}, {1000, 1000}},                  // two vertices
        {{0, 0}, {0.4, 0.2}, {0.9, 0.7}},        // one point after snapping
        {{0, 0}, {500, 500}, {1000, 1000}},      // collinear
        {{0, 0}, {1000, 0}, {1000, 0}, {0, 0}},  // repeated vertices
    };
    for (const Ring& ring : degenerate) {
        const Input input{{ring}, {}};
        for (BooleanOperation op : kOps) EXPECT_TRUE(RunEngine(input, op).empty()) << OpName(op);
    }
    // Next to a real contour it changes nothing.
    const Input input{{degenerate[0], Rect(0, 0, 100, 100)}, {degenerate[2]}};
    const std::vector<Ring> result = RunEngine(input, OpOr);
    ASSERT_EQ(result.size(), 1u);
    EXPECT_DOUBLE_EQ(SignedArea(result[0]), -10000);
}

// --- Against an independent engine ------------------------------------------

ClipperLib::Paths ToClipper(const std::vector<Ring>& rings) {
    ClipperLib::Paths paths;
    for (const Ring& r : rings) {
        ClipperLib::Path path;
        for (const Pt& p : r) path.push_back({static_cast<ClipperLib::cInt>(p.x), static_cast<ClipperLib::cInt>(p.y)});
        // Each contour stands for the region where its own winding is nonzero,
        // and a group is the union of those regions: nothing in a group cancels.
        ClipperLib::Clipper own;
        own.AddPath(path, ClipperLib::ptSubject, true);
        ClipperLib::Paths region;
        own.Execute(ClipperLib::ctUnion, region, ClipperLib::pftNonZero, ClipperLib::pftNonZero);
        paths.insert(paths.end(), region.begin(), region.end());
    }
    return paths;
}

double ClipperArea(const Input& input, BooleanOperation op) {
    ClipperLib::Clipper clipper;
    const bool swap = op == OpBMinusA;
    clipper.AddPaths(ToClipper(swap ? input.b : input.a), ClipperLib::ptSubject, true);
    clipper.AddPaths(ToClipper(swap ? input.a : input.b), ClipperLib::ptClip, true);
    ClipperLib::ClipType type = ClipperLib::ctUnion;
    if (op == OpAnd) type = ClipperLib::ctIntersection;
    if (op == OpExor) type = ClipperLib::ctXor;
    if (op == OpAMinusB || op == OpBMinusA) type = ClipperLib::ctDifference;
    ClipperLib::Paths solution;
    clipper.Execute(type, solution, ClipperLib::pftNonZero, ClipperLib::pftNonZero);
    double area = 0;
    for (const ClipperLib::Path& p : solution) area += ClipperLib::Area(p);
    return area;
}

double Cross(Pt o, Pt a, Pt b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); }

// Checks the shape of a result; returns an empty string when it is sound.
// `cutsMayPassVertices`: a vertex may lie on a cut (an edge walked both ways),
// and a cut end on an edge, where reading back on the grid brings a node less
// than a grid step beside a cut, or a cut end beside an edge, onto it.
std::string CheckResult(const std::vector<Ring>& result, double marge, bool cutsMayPassVertices) {
    struct Edge {
        Pt p, q;
    };
    std::vector<Edge> edges;
    std::set<Pt> cutEnds;
    std::set<std::pair<Pt, Pt>> directed;
    for (const Ring& r : result) {
        if (r.size() < 3) return "contour with fewer than 3 vertices";
        if (SignedArea(r) >= 0) return "contour not clockwise";
        for (std::size_t i = 0; i < r.size(); ++i) {
            edges.push_back({r[i], r[(i + 1) % r.size()]});
            directed.insert({r[i], r[(i + 1) % r.size()]});
        }
    }
    // Zero-width cuts: an edge walked both ways, within one contour or, when
    // the cut ends at a junction, by two contours.
    for (const auto& [p, q] : directed)
        if (directed.count({q, p})) {
            cutEnds.insert(p);
            cutEnds.insert(q);
        }
    for (std::size_t i = 0; i < edges.size(); ++i) {
        for (std::size_t j = i + 1; j < edges.size(); ++j) {
            const Edge& e = edges[i];
            const Edge& f = edges[j];
            const double d1 = Cross(e.p, e.q, f.p), d2 = Cross(e.p, e.q, f.q);
            const double d3 = Cross(f.p, f.q, e.p), d4 = Cross(f.p, f.q, e.q);
            if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0)))
                return "edges cross";
            // A vertex inside another edge.
            for (const Pt& v : {f.p, f.q}) {
                if (v == e.p || v == e.q || Cross(e.p, e.q, v) != 0) continue;
                if (cutsMayPassVertices && (directed.count({e.q, e.p}) || cutEnds.count(v))) continue;
                const double t = (v.x - e.p.x) * (e.q.x - e.p.x) + (v.y - e.p.y) * (e.q.y - e.p.y);
                const double len = (e.q.x - e.p.x) * (e.q.x - e.p.x) + (e.q.y - e.p.y) * (e.q.y - e.p.y);
                if (t > 0 && t < len) return "vertex on an edge";
            }
        }
    }
    std::vector<Pt> vertices;
    for (const Ring& r : result) vertices.insert(vertices.end(), r.begin(), r.end());
    std::sort(vertices.begin(), vertices.end());
    vertices.erase(std::unique(vertices.begin(), vertices.end()), vertices.end());
    // Output truncation may bring nodes just over the marge apart up to two grid steps closer.
    const double minimum = marge * 0.8;
    for (std::size_t i = 0; i < vertices.size(); ++i)
        for (std::size_t j = i + 1; j < vertices.size(); ++j) {
            if (cutEnds.count(vertices[i]) || cutEnds.count(vertices[j])) continue;
            if (std::max(std::fabs(vertices[i].x - vertices[j].x), std::fabs(vertices[i].y - vertices[j].y)) < minimum)
                return "vertices closer than the marge";
        }
    return "";
}

enum class Shape { Rectangles, Diagonal, AnyAngle, WithHoles, NearMarge };

// Polygon around (cx, cy) with its vertices in angular order; a gap of more
// than half a turn between two angles makes it cross itself now and then.
Ring Star(std::mt19937& rng, double cx, double cy, double radius, int count) {
    std::uniform_real_distribution<double> angle(0, 2 * M_PI), scale(0.2, 1.0);
    std::vector<double> angles;
    for (int i = 0; i < count; ++i) angles.push_back(angle(rng));
    std::sort(angles.begin(), angles.end());
    Ring ring;
    for (double a : angles) {
        const double r = radius * scale(rng);
        ring.push_back({std::round(cx + r * std::cos(a)), std::round(cy + r * std::sin(a))});
    }
    return ring;
}

// `contours`: up to that many contours per group (at least 1); `spread`
// widens the field in lattice steps, so that larger cases stay as crowded.
Input Generate(Shape shape, unsigned seed, int contours = 4, int spread = 1) {
    std::mt19937 rng(seed);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Input input;
    for (int g = 0; g < 2; ++g) {
        std::vector<Ring>& rings = g == 0 ? input.a : input.b;
        const int count = contours <= 4 ? uniform(1, contours) : uniform(contours / 2, contours);
        for (int k = 0; k < count; ++k) {
            // A coarse lattice makes shared and collinear edges and touching corners common.
            const double step = 50;
            switch (shape) {
                case Shape::Rectangles: {
                    const int x0 = uniform(0, 12 * spread), y0 = uniform(0, 12 * spread);
                    rings.push_back(
                        Rect(x0 * step, y0 * step, (x0 + uniform(1, 8)) * step, (y0 + uniform(1, 8)) * step));
                    break;
                }
                case Shape::Diagonal: {
                    // Diamonds and chamfered rectangles.
                    const int x = uniform(0, 12 * spread), y = uniform(0, 12 * spread), r = uniform(1, 5);
                    if (uniform(0, 1) == 0) {
                        rings.push_back({{x * step, (y - r) * step},
                                         {(x + r) * step, y * step},
                                         {x * step, (y + r) * step},
                                         {(x - r) * step, y * step}});
                    } else {
                        const int w = uniform(2, 8), h = uniform(2, 8), c = uniform(1, std::min(w, h) / 2);
                        const double x0 = x * step, y0 = y * step, x1 = (x + w) * step, y1 = (y + h) * step,
                                     d = c * step;
                        rings.push_back({{x0 + d, y0},
                                         {x1 - d, y0},
                                         {x1, y0 + d},
                                         {x1, y1 - d},
                                         {x1 - d, y1},
                                         {x0 + d, y1},
                                         {x0, y1 - d},
                                         {x0, y0 + d}});
                    }
                    break;
                }
                case Shape::AnyAngle:
                    rings.push_back(Star(rng, uniform(0, 100000 * spread), uniform(0, 100000 * spread),
                                         uniform(5000, 60000), uniform(3, 12)));
                    break;
                case Shape::WithHoles: {
                    // An outer rectangle and a hole, joined by a cut as the engine itself gives them.
                    const int x0 = uniform(0, 8 * spread), y0 = uniform(0, 8 * spread), w = uniform(3, 10),
                              h = uniform(3, 10);
                    const int hx0 = x0 + uniform(1, w - 2), hy0 = y0 + uniform(1, h - 2);
                    const int hx1 = uniform(hx0 + 1, x0 + w - 1), hy1 = uniform(hy0 + 1, y0 + h - 1);
                    const double X0 = x0 * step, Y0 = y0 * step, X1 = (x0 + w) * step, Y1 = (y0 + h) * step;
                    const double HX0 = hx0 * step, HY0 = hy0 * step, HX1 = hx1 * step, HY1 = hy1 * step;
                    rings.push_back({{X0, Y1},
                                     {HX0, Y1},
                                     {HX0, HY1},
                                     {HX0, HY0},
                                     {HX1, HY0},
                                     {HX1, HY1},
                                     {HX0, HY1},
                                     {HX0, Y1},
                                     {X1, Y1},
                                     {X1, Y0},
                                     {X0, Y0}});
                    break;
                }
                case Shape::NearMarge: {
                    // Rectangles whose corners miss each other by less than the marge.
                    const int x0 = uniform(0, 10 * spread), y0 = uniform(0, 10 * spread);
                    auto jitter = [&]() { return uniform(-6, 6); };
                    rings.push_back(Rect(x0 * 500 + jitter(), y0 * 500 + jitter(),
                                         (x0 + uniform(1, 5)) * 500 + jitter(), (y0 + uniform(1, 5)) * 500 + jitter()));
                    break;
                }
            }
        }
    }
    return input;
}

std::string Describe(const std::vector<Ring>& rings) {
    std::ostringstream out;
    for (const Ring& r : rings) {
        out << "{";
        for (const Pt& p : r) out << "{" << p.x << "," << p.y << "},";
        out << "} ";
    }
    return out.str();
}

struct Family {
    Shape shape;
    const char* name;
    double tolerancePerLength;  // nm of area per nm of perimeter
    int seeds;
    int contours = 4;  // per group, at most
    int spread = 1;
    int grid = 1;  // the polygon grid (nm); 0 means 0.01 nm
};

// Runs every operation on `seeds` inputs of the family and compares with
// Clipper; returns the number of failing cases (reported as failures).
int CheckFamily(const Family& family, int maxFailures) {
    const double marge = family.grid > 0 ? 10.0 * family.grid : 0.1;
    int failures = 0;
    for (int seed = 1; seed <= family.seeds && failures < maxFailures; ++seed) {
        const Input input = Generate(family.shape, static_cast<unsigned>(seed), family.contours, family.spread);
        for (BooleanOperation op : kOps) {
            auto where = [&]() {
                return std::string(family.name) + " grid " + std::to_string(family.grid) + " seed " +
                       std::to_string(seed) + " op " + OpName(op) + "\nA: " + Describe(input.a) +
                       "\nB: " + Describe(input.b);
            };
            std::vector<Ring> result;
            try {
                result = RunEngine(input, op, family.grid);
            } catch (const Bool_Engine_Error& error) {
                ADD_FAILURE() << where() << "\nerror " << error.GetErrorMessage();
                ++failures;
                continue;
            }
            const double expected = ClipperArea(input, op);
            // On other grids the marge may exceed the lattice step (neighbouring
            // edges merge) and snapping toward zero moves a vertex by less than one
            // grid step.
            const double step = family.grid > 0 ? family.grid : 0.01;
            const double perLength =
                family.grid == 1 ? family.tolerancePerLength : std::max(family.tolerancePerLength, marge) + step;
            const double tolerance = perLength * (Perimeter(input.a) + Perimeter(input.b)) + 1;
            const double area = ResultArea(result);
            const std::string problem = CheckResult(result, marge);
            if (std::fabs(area - expected) > tolerance || !problem.empty()) {
                ADD_FAILURE() << where() << "\narea " << area << " expected " << expected << " tolerance " << tolerance
                              << " " << problem << "\nresult: " << Describe(result);
                ++failures;
            }
        }
    }
    return failures;
}

TEST(BoolEngineAgainstClipper, RandomCases) {
    const Family families[] = {
        {Shape::Rectangles, "rectangles", 1, 400},     {Shape::Diagonal, "45 degrees", 1, 400},
        {Shape::AnyAngle, "any angle", 10, 400},       {Shape::WithHoles, "with holes", 1, 400},
        {Shape::NearMarge, "near the marge", 10, 400},
    };
    int failures = 0;
    for (const Family& family : families) failures += CheckFamily(family, 10 - failures);
}

// Axis-parallel input crowded at the scale of the marge: rectangles on a
// fine lattice with sides of a few marges, and staircases whose corners
// miss each other by up to 4 nm. Every operation must give a result (no
// internal error such as "hole without a contour above it" or "beam out of
// order") that passes the shape checks and Clipper's area.
TEST(BoolEngineAgainstClipper, CrowdedNearTheMarge) {
    int failures = 0;
    for (unsigned seed = 1; seed <= 600 && failures < 10; ++seed) {
        std::mt19937 rng(seed);
        auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
        Input input;
        for (int g = 0; g < 2; ++g) {
            const int count = uniform(1, 12);
            for (int k = 0; k < count; ++k) {
                double x, y, w, h;
                if (seed % 2 == 0) {
                    x = uniform(0, 60) * uniform(1, 12);
                    y = uniform(0, 60) * uniform(1, 12);
                    w = uniform(1, 40) * uniform(1, 6);
                    h = uniform(1, 40) * uniform(1, 6);
                } else {
                    x = uniform(0, 20) * 25 + uniform(-4, 4);
                    y = uniform(0, 20) * 25 + uniform(-4, 4);
                    w = uniform(1, 8) * 25 + uniform(-4, 4);
                    h = uniform(1, 8) * 25 + uniform(-4, 4);
                }
                (g == 0 ? input.a : input.b).push_back(Rect(x, y, x + w, y + h));
            }
        }
        for (BooleanOperation op : kOps) {
            const std::string where = "seed " + std::to_string(seed) + " op " + OpName(op) +
                                      "\nA: " + Describe(input.a) + "\nB: " + Describe(input.b);
            std::vector<Ring> result;
            try {
                result = RunEngine(input, op);
            } catch (const Bool_Engine_Error& error) {
                ADD_FAILURE() << where << "\nerror " << error.GetReason();
                ++failures;
                continue;
            }
            const double tolerance = 10 * (Perimeter(input.a) + Perimeter(input.b)) + 1;
            const double area = ResultArea(result), expected = ClipperArea(input, op);
            const std::string problem = CheckResult(result, 10);
            if (std::fabs(area - expected) > tolerance || !problem.empty()) {
                ADD_FAILURE() << where << "\narea " << area << " expected " << expected << " " << problem
                              << "\nresult: " << Describe(result);
                ++failures;
            }
        }
    }
}

// Hundreds of contours per group on a field a few times larger: crowded
// arrangements with many holes (hole joining by the sweep, not one by one),
// junctions and, for axis-parallel input, isolated contours next to merged
// ones.
TEST(BoolEngineAgainstClipper, LargeRandomCases) {
    const Family families[] = {
        {Shape::Rectangles, "many rectangles", 1, 12, 160, 6},
        {Shape::Diagonal, "many 45 degree shapes", 1, 8, 100, 5},
        {Shape::AnyAngle, "many any-angle polygons", 10, 6, 30, 3},
        {Shape::WithHoles, "many rectangles with holes", 1, 8, 80, 5},
        {Shape::NearMarge, "many near the marge", 10, 10, 120, 5},
    };
    int failures = 0;
    for (const Family& family : families) failures += CheckFamily(family, 10 - failures);
}

// Polygon grids other than 1 nm: 5 nm (marge 50 nm, as large as the lattice
// step, so neighbouring edges merge), 3 nm (1/3 not exact: marge 9999
// internal units) and 0 (0.01 nm, marge 0.1 nm).
TEST(BoolEngineAgainstClipper, OtherGrids) {
    const Family families[] = {
        {Shape::Rectangles, "rectangles", 1, 100, 4, 1, 5},      {Shape::Diagonal, "45 degrees", 1, 100, 4, 1, 5},
        {Shape::NearMarge, "near the marge", 10, 100, 4, 1, 5},  {Shape::AnyAngle, "any angle", 10, 100, 4, 1, 3},
        {Shape::WithHoles, "with holes", 1, 100, 4, 1, 3},       {Shape::AnyAngle, "any angle", 10, 100, 4, 1, 0},
        {Shape::Rectangles, "many rectangles", 1, 6, 120, 5, 0},
    };
    int failures = 0;
    for (const Family& family : families) failures += CheckFamily(family, 10 - failures);
}

}  // namespace

namespace {

// --- Random inputs crowded at the marge ----------------------------------------

// Inputs built to reach the engine's internal consistency checks: points a
// marge apart (and one unit either side of it), collinear overlapping links,
// many rectangles on a fine lattice, slivers thinner than the marge, and
// any-angle triangles near each other. `marge` is in nm.
Input GenerateCrowded(unsigned seed, int family, double marge) {
    std::mt19937 rng(seed);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int m = static_cast<int>(marge);
    Input input;
    for (int g = 0; g < 2; ++g) {
        std::vector<Ring>& rings = g == 0 ? input.a : input.b;
        const int count = uniform(g == 0 ? 1 : 0, family == 2 ? 12 : 4);
        for (int k = 0; k < count; ++k) {
            switch (family) {
                case 0: {
                    // Rectangles whose sides lie a marge apart, give or take one.
                    const int offsets[] = {-m - 1, -m, -m + 1, 0, m - 1, m, m + 1};
                    auto at = [&](int cell) { return cell * 5 * m + offsets[uniform(0, 6)]; };
                    const int x = uniform(0, 4), y = uniform(0, 4);
                    rings.push_back(Rect(at(x), at(y), at(x + uniform(1, 3)), at(y + uniform(1, 3))));
                    break;
                }
                case 1: {
                    // Collinear overlapping links: shapes on a few shared lines, level,
                    // vertical or slanted.
                    const int dx = uniform(1, 5), dy = uniform(-5, 5), line = uniform(0, 2) * m;
                    const int t0 = uniform(0, 20), t1 = t0 + uniform(1, 20);
                    const int side = uniform(0, 1) ? uniform(1, 3 * m) : -uniform(1, 3 * m);
                    const Pt p{static_cast<double>(t0 * dx * m / 2), static_cast<double>(t0 * dy * m / 2 + line)};
                    const Pt q{static_cast<double>(t1 * dx * m / 2), static_cast<double>(t1 * dy * m / 2 + line)};
                    if (uniform(0, 1))
                        rings.push_back({p, q, {q.x, q.y + side}, {p.x, p.y + side}});
                    else
                        rings.push_back({p, q, {(p.x + q.x) / 2 + uniform(-m, m), p.y + side}});
                    break;
                }
                case 2: {
                    // Many rectangles on a fine lattice, a few marges wide.
                    const int step = uniform(1, 3) * std::max(1, m / 5);
                    const int x = uniform(0, 40) * step, y = uniform(0, 40) * step;
                    rings.push_back(Rect(x, y, x + uniform(1, 12) * step, y + uniform(1, 12) * step));
                    break;
                }
                case 3: {
                    // Slivers: long triangles and quadrilaterals thinner than the marge.
                    const double x0 = uniform(0, 100 * m), y0 = uniform(0, 100 * m);
                    const double x1 = x0 + uniform(-60 * m, 60 * m), y1 = y0 + uniform(-60 * m, 60 * m);
                    const double w = uniform(0, 2 * m), h = uniform(0, 2 * m);
                    if (uniform(0, 1))
                        rings.push_back({{x0, y0}, {x1, y1}, {(x0 + x1) / 2 + w, (y0 + y1) / 2 + h}});
                    else
                        rings.push_back({{x0, y0}, {x1, y1}, {x1 + w, y1 + h}, {x0 + w, y0 + h}});
                    break;
                }
                default: {
                    // Any-angle triangles and quadrilaterals near each other.
                    const int size = uniform(10, 60) * m, field = uniform(5, 60) * m;
                    const double cx = uniform(0, field), cy = uniform(0, field);
                    Ring ring;
                    const int corners = uniform(3, 4);
                    for (int c = 0; c < corners; ++c)
                        ring.push_back({cx + uniform(-size, size) / 2, cy + uniform(-size, size) / 2});
                    rings.push_back(ring);
                    break;
                }
            }
        }
    }
    return input;
}

// Inputs on which the engine stopped with an internal error or gave a
// contour that is not clockwise: each must give a result that passes the
// shape checks and Clipper's area.
TEST(BoolEngineAgainstClipper, InputsThatOnceFailed) {
    struct Case {
        const char* what;
        int grid;
        BooleanOperation op;
        Input input;
    };
    const Case cases[] = {
        // Four nodes around a thin quadrilateral whose diagonals pass within
        // the marge of the other two corners: each round cut one diagonal
        // into a path over the other, without end ("crossing search does not
        // settle").
        {"diagonals rerouted in circles",
         3,
         OpOr,
         {{{{7677, 5313}, {8793, 4593}, {7935, 5197}, {7756, 4960}},
           {{8112, 3741}, {7200, 4373}, {7859, 4868}},
           {{7247, 4541}, {8019, 4597}, {7838, 5573}},
           {{7764, 4553}, {8008, 5291}, {8692, 5212}}},
          {}}},
        // The same on the boundary of axis-parallel input: rectangles whose
        // corners lie less than the marge from each other's sides.
        {"rectangles a marge apart, grid 1",
         1,
         OpExor,
         {{Rect(16, 68, 32, 104), Rect(36, 58, 38, 80)}, {Rect(44, 64, 48, 76)}}},
        {"rectangles a marge apart, grid 3",
         3,
         OpExor,
         {{Rect(72, 54, 114, 66), Rect(18, 18, 108, 36)}, {Rect(114, 36, 144, 42), Rect(138, 0, 198, 12)}}},
        {"rectangles a marge apart, grid 5",
         5,
         OpOr,
         {{Rect(500, 360, 580, 600)}, {Rect(600, 160, 620, 300), Rect(640, 320, 660, 380)}}},
        {"five rectangles a marge apart, grid 3",
         3,
         OpExor,
         {{Rect(18, 168, 60, 228), Rect(72, 24, 180, 144), Rect(18, 174, 78, 216)},
          {Rect(42, 90, 78, 156), Rect(12, 186, 48, 222)}}},
        // A hole touching a piece of the result outside it at a pinch point:
        // the walk took the hole into that piece, counter-clockwise.
        {"hole at a pinch point",
         1,
         OpExor,
         {{{{330, 96}, {258, 66}, {354, 73}},
           {{-25, 183}, {-62, -70}, {131, 135}},
           {{387, 318}, {-53, 226}, {-58, -101}}},
          {{{-64, 271}, {257, -112}, {-42, 117}, {-33, 270}}}}},
        // Two holes whose common top node lies on no other boundary: neither
        // was joined.
        {"holes sharing their top node",
         1,
         OpOr,
         {{{{-52, 18}, {15, 75}, {314, 88}, {-80, 137}},
           {{155, 344}, {80, 267}, {108, 387}},
           {{240, 542}, {312, 679}, {36, 508}, {424, 672}},
           {{163, 499}, {254, 455}, {204, 508}}},
          {{{478, 64}, {177, 259}, {285, -78}, {452, 7}},
           {{13, 84}, {209, 202}, {-2, 255}, {123, 174}},
           {{92, 104}, {241, 239}, {-71, -123}},
           {{325, -81}, {152, 56}, {64, 84}, {118, 17}}}}},
        // The top of a hole's cut within a grid step of the end of the link
        // above, both off the grid: read back, the cut crossed that link (or
        // its end lay on the cut).
        {"cut top beside a link end, crossing",
         1,
         OpBMinusA,
         {{{{480, 439}, {288, 373}, {388, 452}},
           {{287, 95}, {386, 32}, {250, 184}},
           {{-255, 47}, {-16, 56}, {-61, -223}, {-82, -40}},
           {{182, 247}, {215, -80}, {103, 264}}},
          {{{364, -42}, {142, 129}, {101, 174}, {375, 268}},
           {{344, 165}, {353, 155}, {13, 7}},
           {{456, 194}, {464, 252}, {183, 217}, {330, 510}}}}},
        {"cut top beside a link end, grid 5",
         5,
         OpExor,
         {{{{-455, 126}, {-205, -545}, {975, 180}, {553, 512}},
           {{-786, -12}, {-168, 847}, {-287, -604}},
           {{1061, 515}, {-128, 791}, {514, -302}, {406, -238}}},
          {{{1720, 2354}, {1151, 2195}, {1623, 2742}},
           {{1244, 1711}, {-286, -284}, {111, 851}, {68, -348}},
           {{833, 1057}, {936, 1018}, {754, 1109}}}}},
        {"cut top beside a link end, on the link",
         1,
         OpOr,
         {{{{321, 148}, {73, 398}, {73, 252}, {343, 455}},
           {{442, 456}, {434, 405}, {421, 434}, {425, 394}},
           {{-164, -63}, {-126, -89}, {65, -98}, {-88, 78}},
           {{124, 231}, {206, -9}, {24, 172}}},
          {{{-8, 136}, {17, -21}, {150, 147}, {172, -26}},
           {{176, -13}, {272, -21}, {276, 85}, {241, 15}},
           {{56, 112}, {29, -126}, {-136, 52}},
           {{112, -248}, {110, 269}, {-52, 65}, {446, -85}}}}},
    };
    for (const Case& c : cases) {
        for (BooleanOperation op : kOps) {
            SCOPED_TRACE(std::string(c.what) + " op " + OpName(op) + (op == c.op ? " (the failing one)" : ""));
            std::vector<Ring> result;
            try {
                result = RunEngine(c.input, op, c.grid);
            } catch (const Bool_Engine_Error& error) {
                ADD_FAILURE() << "error " << error.GetReason();
                continue;
            }
            const double marge = 10.0 * c.grid;
            const double tolerance = (marge + c.grid) * (Perimeter(c.input.a) + Perimeter(c.input.b)) + 1;
            EXPECT_NEAR(ResultArea(result), ClipperArea(c.input, op), tolerance);
            EXPECT_EQ(CheckResult(result, marge), "") << Describe(result);
        }
    }
}

long EnvNumber(const char* name, long fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::strtol(text, nullptr, 10) : fallback;
}

// Every operation on seeded inputs crowded at the marge, on grids 1, 3 and 5
// nm, must give a result (no internal error) that passes the shape checks and
// Clipper's area within the perimeter times the marge plus a grid step. The
// default run is short; ZANDOR_BOOL_RANDOM_CASES, ZANDOR_BOOL_RANDOM_SEED and
// ZANDOR_BOOL_RANDOM_FAILURES (failures shown before it stops) run it long.
TEST(BoolEngineAgainstClipper, CrowdedRandomDriver) {
    const long cases = EnvNumber("ZANDOR_BOOL_RANDOM_CASES", 1500);
    const long first = EnvNumber("ZANDOR_BOOL_RANDOM_SEED", 1);
    const long maxFailures = EnvNumber("ZANDOR_BOOL_RANDOM_FAILURES", 10);
    const int grids[] = {1, 3, 5, 1};
    int failures = 0;
    for (long seed = first; seed < first + cases && failures < maxFailures; ++seed) {
        const int family = static_cast<int>(seed % 5);
        const int grid = grids[(seed / 5) % 4];
        const double marge = 10.0 * grid;
        const Input input = GenerateCrowded(static_cast<unsigned>(seed), family, marge);
        for (BooleanOperation op : kOps) {
            auto where = [&]() {
                return "seed " + std::to_string(seed) + " family " + std::to_string(family) + " grid " +
                       std::to_string(grid) + " op " + OpName(op) + "\nA: " + Describe(input.a) +
                       "\nB: " + Describe(input.b);
            };
            std::vector<Ring> result;
            try {
                result = RunEngine(input, op, grid);
            } catch (const Bool_Engine_Error& error) {
                ADD_FAILURE() << where() << "\nerror " << error.GetReason();
                ++failures;
                continue;
            }
            const double tolerance = (marge + grid) * (Perimeter(input.a) + Perimeter(input.b)) + 1;
            const double area = ResultArea(result), expected = ClipperArea(input, op);
            const std::string problem = CheckResult(result, marge, true);
            if (std::fabs(area - expected) > tolerance || !problem.empty()) {
                ADD_FAILURE() << where() << "\narea " << area << " expected " << expected << " tolerance " << tolerance
                              << " " << problem << "\nresult: " << Describe(result);
                ++failures;
            }
        }
    }
}

}  // namespace
