// The area sum of result contours and the splitting of large result polygons.
#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

#include "geometry/Bool_Engine.h"
#include "geometry/PolygonArea.h"
#include "geometry/PolygonSplit.h"
#include "platform/headless/RecordingMessages.h"

using namespace zandor;

namespace {

void Feed(Bool_Engine& engine, GroupType group, const std::vector<Point>& contour) {
    ASSERT_TRUE(engine.BeginContour(group));
    for (const Point& p : contour) engine.AddVertex(p.X, p.Y);
    ASSERT_TRUE(engine.EndContour());
}

std::vector<Point> Square(int x, int y, int side) {
    return {{x, y}, {x + side, y}, {x + side, y + side}, {x, y + side}};
}

// A polygon of n nodes: a zigzag top edge over a flat bottom, 100 nm per tooth.
std::vector<Point> Zigzag(int n) {
    std::vector<Point> points;
    const int teeth = n - 2;
    for (int i = 0; i < teeth; ++i) points.push_back({i * 100, (i % 2) ? 1500 : 1000});
    points.push_back({(teeth - 1) * 100, 0});
    points.push_back({0, 0});
    return points;
}

TEST(ContourArea, SumsInSquareMicrometres) {
    struct Case {
        std::vector<Point> contour;
        double um2;
    };
    const Case cases[] = {
        {Square(0, 0, 10000), 100.0},                                       // clockwise or not
        {{{0, 0}, {0, 10000}, {10000, 10000}, {10000, 0}}, 100.0},          // the other way round
        {{{0, 0}, {10000, 0}, {10000, 10000}, {0, 10000}, {0, 0}}, 100.0},  // first point repeated
        {{{-3000, -1000}, {3000, -1000}, {0, 3000}}, 12.0},                 // triangle across the origin
        {{{0, 0}, {1, 0}, {1, 1}}, 0.5e-6},                                 // half a square nanometre
        {{{0, 0}, {5000, 0}}, 0.0},                                         // not a contour
        // Outer square with a square hole joined by a zero-width vertical cut.
        {{{0, 0},
          {0, 30000},
          {10000, 30000},
          {10000, 20000},
          {10000, 10000},
          {20000, 10000},
          {20000, 20000},
          {10000, 20000},
          {10000, 30000},
          {30000, 30000},
          {30000, 0}},
         800.0},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(ContourAreaUm2(c.contour.data(), c.contour.size()), c.um2);
    }
}

TEST(ContourArea, LargeCoordinatesStayExact) {
    // 2e9 nm squared would overflow 64 bits per term if the sum were formed
    // in integers of the wrong size; the area is 4e12 um^2 exactly.
    const std::vector<Point> square = {
        {-1000000000, -1000000000}, {1000000000, -1000000000}, {1000000000, 1000000000}, {-1000000000, 1000000000}};
    EXPECT_DOUBLE_EQ(ContourAreaUm2(square.data(), square.size()), 4e12);
}

TEST(ResultContoursArea, OverlappingSquaresGiveTheirUnion) {
    // Two 10 um squares offset by 5 um in x: 150 um^2.
    Bool_Engine engine;
    ConfigureBooleanEngine(engine, 1);
    Feed(engine, GroupA, Square(0, 0, 10000));
    Feed(engine, GroupA, Square(5000, 0, 10000));
    Feed(engine, GroupB, {{-100000, -100000}, {100000, -100000}, {100000, 100000}, {-100000, 100000}});
    engine.Execute(OpAnd);
    EXPECT_DOUBLE_EQ(ResultContoursAreaUm2(engine), 150.0);
    EXPECT_FALSE(engine.NextResultContour());
}

TEST(ResultContoursArea, HoleAndSeparateContoursAndClipping) {
    struct Case {
        const char* what;
        std::vector<std::vector<Point>> a;
        std::vector<Point> range;
        double um2;
    };
    const Case cases[] = {
        {"square half outside the range",
         {Square(0, 0, 10000)},
         {{5000, -50000}, {50000, -50000}, {50000, 50000}, {5000, 50000}},
         50.0},
        {"two separate squares", {Square(0, 0, 10000), Square(20000, 0, 10000)}, Square(-1000, -1000, 40000), 200.0},
        {"square wholly inside", {Square(0, 0, 30000)}, Square(-1000, -1000, 40000), 900.0},
        {"nothing in the range", {Square(0, 0, 10000)}, Square(50000, 50000, 1000), 0.0},
    };
    for (const Case& c : cases) {
        Bool_Engine engine;
        ConfigureBooleanEngine(engine, 1);
        for (const auto& contour : c.a) Feed(engine, GroupA, contour);
        Feed(engine, GroupB, c.range);
        engine.Execute(OpAnd);
        EXPECT_DOUBLE_EQ(ResultContoursAreaUm2(engine), c.um2) << c.what;
    }
    // A hole: a 30 um square minus a 10 um square inside it.
    Bool_Engine engine;
    ConfigureBooleanEngine(engine, 1);
    Feed(engine, GroupA, Square(0, 0, 30000));
    Feed(engine, GroupB, Square(10000, 10000, 10000));
    engine.Execute(OpAMinusB);
    EXPECT_DOUBLE_EQ(ResultContoursAreaUm2(engine), 800.0);
}

TEST(ResultContoursArea, StopFlagSkipsTheRest) {
    Bool_Engine engine;
    ConfigureBooleanEngine(engine, 1);
    Feed(engine, GroupA, Square(0, 0, 10000));
    Feed(engine, GroupA, Square(20000, 0, 10000));
    engine.Execute(OpOr);
    const bool stop = true;
    EXPECT_DOUBLE_EQ(ResultContoursAreaUm2(engine, &stop), 0.0);
    EXPECT_FALSE(engine.NextResultContour());
}

std::vector<std::vector<Point>> StoreUnion(const std::vector<Point>& contour, const PolygonStoreOptions& options) {
    Bool_Engine engine;
    ConfigureBooleanEngine(engine, options.polygonGrid);
    Feed(engine, GroupA, contour);
    engine.Execute(OpOr);
    std::vector<std::vector<Point>> stored;
    StoreResultContours(engine, options, [&](const std::vector<Point>& p) { stored.push_back(p); });
    return stored;
}

double TotalArea(const std::vector<std::vector<Point>>& polygons) {
    double area = 0;
    for (const auto& p : polygons) area += ContourAreaUm2(p.data(), p.size());
    return area;
}

TEST(StoreResultContours, SmallPolygonsAreStoredAsTheyAre) {
    platform::headless::ScopedMessageCapture messages;
    const auto stored = StoreUnion(Zigzag(150), {});
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].size(), 150u);
    EXPECT_TRUE(messages.messages.empty());
}

TEST(StoreResultContours, LargePolygonsAreCutAtTheMiddleOfTheLongerSide) {
    platform::headless::ScopedMessageCapture messages;
    const std::vector<Point> zigzag = Zigzag(300);
    const double area = ContourAreaUm2(zigzag.data(), zigzag.size());
    struct Case {
        int maxPolyNodes;
        bool split;
        bool expectSplit;
    };
    const Case cases[] = {
        {200, true, true},    // 300 nodes, limit 200
        {300, true, true},    // exactly at the limit is too many
        {301, true, false},   // below the limit
        {200, false, false},  // splitting off
    };
    for (const Case& c : cases) {
        PolygonStoreOptions options;
        options.maxPolyNodes = c.maxPolyNodes;
        options.splitLargePolygons = c.split;
        const auto stored = StoreUnion(zigzag, options);
        ASSERT_FALSE(stored.empty());
        if (!c.expectSplit) {
            ASSERT_EQ(stored.size(), 1u) << c.maxPolyNodes;
            EXPECT_EQ(stored[0].size(), 300u);
            continue;
        }
        ASSERT_GE(stored.size(), 2u) << c.maxPolyNodes;
        for (const auto& p : stored) EXPECT_LT(p.size(), static_cast<std::size_t>(c.maxPolyNodes));
        EXPECT_NEAR(TotalArea(stored), area, 1e-9);
        // The zigzag is 29.7 um wide and 1.5 um high: the cut is vertical at
        // x = 14850 and the left half comes first.
        const auto maxX = [](const std::vector<Point>& p) {
            return std::max_element(p.begin(), p.end(), [](Point a, Point b) { return a.X < b.X; })->X;
        };
        const auto minX = [](const std::vector<Point>& p) {
            return std::min_element(p.begin(), p.end(), [](Point a, Point b) { return a.X < b.X; })->X;
        };
        EXPECT_EQ(maxX(stored.front()), 14850);
        EXPECT_EQ(minX(stored.back()), 14850);
    }
    EXPECT_TRUE(messages.messages.empty());
}

TEST(StoreResultContours, SixteenThousandNodesAreSplitWhateverTheSettings) {
    platform::headless::ScopedMessageCapture messages;
    const std::vector<Point> zigzag = Zigzag(16000);
    PolygonStoreOptions options;
    options.maxPolyNodes = 32768;
    options.splitLargePolygons = false;
    const auto stored = StoreUnion(zigzag, options);
    ASSERT_GE(stored.size(), 2u);
    for (const auto& p : stored) EXPECT_LT(p.size(), static_cast<std::size_t>(kAlwaysSplitNodes));
    EXPECT_NEAR(TotalArea(stored), ContourAreaUm2(zigzag.data(), zigzag.size()), 1e-6);
    EXPECT_TRUE(messages.messages.empty());
}

}  // namespace
