#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "editing/ObjectPolygons.h"
#include "model/Geometry.h"
#include "model/LayerDescription.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "model/RecordViews.h"
#include "model/UndoList.h"
#include "platform/headless/RecordingMessages.h"

using namespace zandor;

namespace {

using Contour = std::vector<Point>;

// Every test may change the settings; each starts from the defaults.
class ObjectPolygonsTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = Settings();
        Settings() = ModelSettings{};
        main = layout.MainSymbol();
        main->Undo().SetRecording(true);
    }
    void TearDown() override { Settings() = saved; }

    // The contours FeedObject enters, in the order entered.  Before an
    // operation runs, the engine's contour list holds its input (newest
    // first).
    std::vector<Contour> Fed(const Word* record, const TransformMatrix& t = {}) {
        Bool_Engine engine;
        ConfigureBooleanEngine(engine, 1);
        FeedObject(engine, layout, *main, record, t, GroupA);
        std::vector<Contour> contours;
        while (engine.NextResultContour()) {
            Contour c;
            while (engine.NextResultVertex()) {
                c.push_back({RoundHalfAway(engine.VertexX()), RoundHalfAway(engine.VertexY())});
            }
            engine.DropResultContour();
            contours.insert(contours.begin(), c);
        }
        return contours;
    }

    std::vector<Word> Buffer() const { return {main->Words(), main->Words() + main->usedWords + 1}; }

    ModelSettings saved;
    Layout layout;
    SymbolDescription* main = nullptr;
};

std::vector<std::size_t> Sizes(const std::vector<Contour>& contours) {
    std::vector<std::size_t> sizes;
    for (const Contour& c : contours) sizes.push_back(c.size());
    return sizes;
}

double Area(const Contour& c) {
    double twice = 0;
    for (std::size_t i = 0; i < c.size(); ++i) {
        const Point a = c[i], b = c[(i + 1) % c.size()];
        twice += double(a.X) * b.Y - double(b.X) * a.Y;
    }
    return std::abs(twice) / 2;
}

Contour Nodes(const Word* polygon) {
    const PolygonView view(polygon);
    return {view.Nodes(), view.Nodes() + view.NodeCount()};
}

}  // namespace

// The simple kinds enter one contour each, point for point.
TEST_F(ObjectPolygonsTest, SimpleKindsFeedOneContourThroughTheTransform) {
    const Point triangle[3] = {{0, 0}, {1000, 0}, {0, 700}};
    const TransformMatrix quarterTurn{0, 1, -1, 0, 100, 0};  // (x, y) -> (100 - y, x)
    struct Case {
        const char* name;
        std::function<Word*()> add;
        TransformMatrix t;
        Contour expected;
    } cases[] = {
        {"rectangle",
         [&] { return main->AddRectangle(10, 20, 30, 50, 1); },
         {},
         {{10, 20}, {30, 20}, {30, 50}, {10, 50}}},
        {"rectangle turned",
         [&] { return main->AddRectangle(10, 20, 30, 50, 1); },
         quarterTurn,
         {{80, 10}, {80, 30}, {50, 30}, {50, 10}}},
        {"box",
         [&] { return main->AddBox(0, 0, 2000, 1000, 90.0, 1); },
         {},
         RotatedBoxCorners({0, 0}, 2000, 1000, 90000)},
        {"polygon", [&] { return main->AddPolygon(triangle, 3, 1); }, {}, {{0, 0}, {1000, 0}, {0, 700}}},
        {"polygon moved",
         [&] { return main->AddPolygon(triangle, 3, 1); },
         {1, 0, 0, 1, 5, -5},
         {{5, -5}, {1005, -5}, {5, 695}}},
    };
    for (const Case& c : cases) {
        const std::vector<Contour> fed = Fed(c.add(), c.t);
        ASSERT_EQ(fed.size(), 1u) << c.name;
        EXPECT_EQ(fed[0], c.expected) << c.name;
    }
}

TEST_F(ObjectPolygonsTest, CurvedKindsFollowTheirSegmentSettings) {
    Settings().circleNumSegments = 16;
    Settings().ringNumSegments = 24;
    const std::vector<Contour> circle = Fed(main->AddCircle(1000, 0, 500, 1));
    ASSERT_EQ(circle.size(), 1u);
    EXPECT_EQ(circle[0], CirclePolygon({1000, 0}, 500, 16));

    const std::vector<Contour> ring = Fed(main->AddRing(0, 0, 1000, 200, 1));
    ASSERT_EQ(ring.size(), 1u);
    ASSERT_EQ(ring[0].size(), 2u * 25) << "both circles closed at 360 degrees";
    EXPECT_EQ(ring[0].front(), (Point{1100, 0}));
    EXPECT_EQ(ring[0][24], (Point{1100, 0}));
    EXPECT_EQ(ring[0][25], (Point{900, 0}));

    Word* arc = main->AddArcWire(0, 0, 1000, 0, 0, 1000, MakeArcWidthWord(100, 1, false), 1);
    const Contour outline = ArcWireOutline(arc, 24);
    const std::vector<Contour> fed = Fed(arc);
    ASSERT_EQ(fed.size(), 1u);
    ASSERT_EQ(fed[0].size(), outline.size() + 1);
    EXPECT_TRUE(std::equal(outline.begin(), outline.end(), fed[0].begin()));
    EXPECT_EQ(fed[0].back(), outline.front()) << "closed by its first point";
}

// Segment rectangles with 32-point circles at the joints, and at the ends
// when they are round; the width follows a magnifying transform.
TEST_F(ObjectPolygonsTest, WiresFeedSegmentsAndJoints) {
    const Point two[2] = {{0, 0}, {10000, 0}};
    const Point three[3] = {{0, 0}, {10000, 0}, {10000, 5000}};
    Word* round = main->AddWire(two, 2, 1000, 0, 1);
    std::vector<Contour> fed = Fed(round);
    EXPECT_EQ(Sizes(fed), (std::vector<std::size_t>{32, 4, 32}));
    EXPECT_EQ(fed[0], CirclePolygon({0, 0}, 500, 32));
    EXPECT_EQ(fed[1], (Contour{{0, 500}, {0, -500}, {10000, -500}, {10000, 500}}));
    EXPECT_EQ(fed[2], CirclePolygon({10000, 0}, 500, 32));

    fed = Fed(main->AddWire(three, 3, 1000, 1, 1));
    EXPECT_EQ(Sizes(fed), (std::vector<std::size_t>{4, 32, 4})) << "flat ends, rounded joint";
    EXPECT_EQ(fed[1], CirclePolygon({10000, 0}, 500, 32));

    fed = Fed(main->AddWire(two, 2, 1000, 2, 1));
    ASSERT_EQ(Sizes(fed), (std::vector<std::size_t>{4}));
    EXPECT_EQ(PointsBounds(fed[0].data(), 4), (Rect{-500, -500, 10500, 500})) << "extended by half the width";

    fed = Fed(main->AddWire(two, 2, 1000, 2, 1), {2, 0, 0, 2, 0, 0});
    ASSERT_EQ(Sizes(fed), (std::vector<std::size_t>{4}));
    EXPECT_EQ(PointsBounds(fed[0].data(), 4), (Rect{-1000, -1000, 21000, 1000})) << "magnified with its width";

    EXPECT_TRUE(Fed(main->AddWire(two, 2, 0, 1, 1)).empty()) << "no width, no area";
    EXPECT_TRUE(Fed(main->AddWire(two, 1, 1000, 0, 1)).empty()) << "a single node";
}

// Texts, groups and scripts feed their members, each once, however deep;
// measurements feed nothing.
TEST_F(ObjectPolygonsTest, HeadsFeedEachMemberOnce) {
    const Point glyph[3] = {{0, 0}, {100, 0}, {0, 100}};
    Word* group = main->AddGroup(0, 0, 4, 2);
    const std::int32_t groupOffset = main->OffsetOf(group);
    main->AddText(0, 0, 2, "ab", 100, ModelSettings::DefaultTextFont(), 1);
    for (int i = 0; i < 2; ++i) main->AddPolygon(glyph, 3, 1);
    main->AddRectangle(0, 0, 10, 10, 2);
    Word* after = main->AddRectangle(500, 500, 600, 600, 2);  // not a member
    for (Word* r = main->NextRecord(main->RecordAt(groupOffset)); r != after; r = main->NextRecord(r)) {
        SetMemberBit(r, true);
    }
    EXPECT_EQ(Sizes(Fed(main->RecordAt(groupOffset))), (std::vector<std::size_t>{3, 3, 4}));
    const Word* text = main->NextRecord(main->RecordAt(groupOffset));
    EXPECT_EQ(Sizes(Fed(text)), (std::vector<std::size_t>{3, 3}));

    Word* measurement = main->AppendRecord(kMeasurementLength);
    measurement[0] = MakeHeader(kMeasurementLength, 1, ObjectKind::Measurement);
    MeasurementView(measurement).SetCorners({0, 0}, {1000, 1000});
    EXPECT_TRUE(Fed(measurement).empty());
}

// A call feeds its symbol's objects on every layer through the composed
// matrix; an array feeds its elements column by column.
TEST_F(ObjectPolygonsTest, CallsAndArraysFeedTheCalledObjects) {
    SymbolDescription& cell = *layout.AddSymbol(1, "cell");
    cell.AddRectangle(0, 0, 100, 100, 1);
    const Point line[2] = {{0, 0}, {100, 0}};
    cell.AddWire(line, 2, 20, 1, 7);
    SymbolDescription& outer = *layout.AddSymbol(2, "outer");
    outer.InsertSymbolCall(1, 1000, 0);

    std::vector<Contour> fed = Fed(main->InsertSymbolCallMatrix(2, {2, 0, 0, 2, 0, 5000}));
    ASSERT_EQ(Sizes(fed), (std::vector<std::size_t>{4, 4}));
    EXPECT_EQ(PointsBounds(fed[0].data(), 4), (Rect{2000, 5000, 2200, 5200}));
    EXPECT_EQ(PointsBounds(fed[1].data(), 4), (Rect{2000, 4980, 2200, 5020})) << "wire width magnified";

    fed = Fed(main->InsertArray(1, {0, 0}, {2000, 0}, {0, 3000}, 2, 3, 1.0, 0.0));
    ASSERT_EQ(fed.size(), 12u);
    const Point origins[6] = {{0, 0}, {0, 1000}, {0, 2000}, {1000, 0}, {1000, 1000}, {1000, 2000}};
    for (int e = 0; e < 6; ++e) EXPECT_EQ(fed[2 * e][0], origins[e]) << "element " << e;

    EXPECT_TRUE(Fed(main->InsertArray(1, {0, 0}, {2000, 0}, {0, 3000}, 2, 3, 0.0, 0.0)).empty());
    Word* missing = main->InsertSymbolCall(1, 0, 0);
    CallView(missing).SetSymbolId(99);
    EXPECT_TRUE(Fed(missing).empty());
}

// Each kind becomes a polygon on its own layer with its bits kept; undo
// restores the buffer word for word.
TEST_F(ObjectPolygonsTest, ConvertToPolygonRewritesTheRecordInPlace) {
    Settings().circleNumSegments = 16;
    Settings().ringNumSegments = 16;
    const Point two[2] = {{0, 0}, {10000, 0}};
    struct Case {
        const char* name;
        std::function<Word*()> add;
        int nodes;  // -1: left to the engine (see RoundWireConvertsToOneOutline)
        Rect box;
    } cases[] = {
        {"rectangle", [&] { return main->AddRectangle(30, 50, 10, 20, 4); }, 4, {10, 20, 30, 50}},
        {"box", [&] { return main->AddBox(0, 0, 2000, 1000, 90.0, 4); }, 4, {-500, -1000, 500, 1000}},
        {"circle", [&] { return main->AddCircle(100, 100, 50, 4); }, 16, {50, 50, 150, 150}},
        {"ring", [&] { return main->AddRing(0, 0, 1000, 200, 4); }, 34, {-1100, -1100, 1100, 1100}},
        {"round wire", [&] { return main->AddWire(two, 2, 1000, 0, 4); }, -1, {-500, -500, 10500, 500}},
        {"flat wire", [&] { return main->AddWire(two, 2, 1000, 1, 4); }, 4, {0, -500, 10000, 500}},
    };
    for (const Case& c : cases) {
        main->Reset();
        main->AddRectangle(-5, -5, 5, 5, 1);
        Word* record = c.add();
        const std::int32_t offset = main->OffsetOf(record);
        main->AddCircle(7, 7, 7, 2);  // must survive the resize untouched
        SetSelectedBit(record, true);
        main->UpdateSelection();
        const std::vector<Word> before = Buffer();

        main->Undo().BeginStep();
        ASSERT_TRUE(ConvertToPolygon(*main, record)) << c.name;
        ASSERT_EQ(main->OffsetOf(record), offset);
        EXPECT_EQ(RecordKind(record), ObjectKind::Polygon) << c.name;
        EXPECT_EQ(RecordLayer(record), 4) << c.name;
        EXPECT_TRUE(IsSelected(record)) << c.name;
        if (c.nodes > 0) {
            EXPECT_EQ(RecordLength(record), kPolygonBaseLength + 2 * c.nodes) << c.name;
        }
        EXPECT_EQ(PolygonView(record).NodeBounds(), c.box) << c.name;
        const Word* next = main->NextRecord(record);
        ASSERT_NE(next, nullptr);
        EXPECT_EQ(RecordKind(next), ObjectKind::Circle) << c.name;
        EXPECT_EQ(CircleView(next).Radius(), 7) << c.name;

        main->Undo().Undo();
        EXPECT_EQ(Buffer(), before) << c.name;
    }
}

TEST_F(ObjectPolygonsTest, ConvertToPolygonLeavesOtherKindsAlone) {
    const Point two[2] = {{0, 0}, {10000, 0}};
    const Point triangle[3] = {{0, 0}, {1000, 0}, {0, 700}};
    layout.AddSymbol(1, "cell")->AddRectangle(0, 0, 10, 10, 1);
    const std::int32_t offsets[] = {
        main->OffsetOf(main->AddWire(two, 2, 0, 0, 1)),
        main->OffsetOf(main->AddPolygon(triangle, 3, 1)),
        // starting on its centre: no outline
        main->OffsetOf(main->AddArcWire(0, 0, 0, 0, 1000, 0, MakeArcWidthWord(100, 0, false), 1)),
        main->OffsetOf(main->AddText(0, 0, 0, "x", 100, ModelSettings::DefaultTextFont(), 1)),
        main->OffsetOf(main->AddGroup(0, 0, 0, 0)),
        main->OffsetOf(main->InsertSymbolCall(1, 0, 0)),
    };
    const std::vector<Word> before = Buffer();
    const int entries = main->Undo().EntryCount();
    for (const std::int32_t offset : offsets) {
        Word* record = main->RecordAt(offset);
        EXPECT_TRUE(ConvertToPolygon(*main, record));
        EXPECT_EQ(main->OffsetOf(record), offset);
    }
    EXPECT_EQ(Buffer(), before);
    EXPECT_EQ(main->Undo().EntryCount(), entries) << "nothing recorded";
}

// A round-ended wire of two nodes is a rectangle with two 32-point half
// circles.  The engine pulls the long sides onto the circle points next to
// the corners (they lie within its merge distance), which bends the sides by
// up to 10 nm; nothing else is added.
TEST_F(ObjectPolygonsTest, RoundWireConvertsToOneOutline) {
    const Point two[2] = {{0, 0}, {10000, 0}};
    Word* wire = main->AddWire(two, 2, 1000, 0, 3);
    ASSERT_TRUE(ConvertToPolygon(*main, wire));
    const Contour nodes = Nodes(wire);
    int onCircles = 0;
    for (const Point& p : nodes) {
        const bool onSide = std::abs(std::abs(p.Y) - 500) <= 10 && p.X >= 0 && p.X <= 10000;
        const bool onCircle = p.X <= 0 || p.X >= 10000;
        EXPECT_TRUE(onSide || onCircle) << p;
        if (onCircle) ++onCircles;
    }
    EXPECT_EQ(onCircles, 2 * 17) << "two half circles, end points included";
    const Contour start = CirclePolygon({0, 0}, 500, 32), end = CirclePolygon({10000, 0}, 500, 32);
    for (int i = 8; i <= 24; ++i) {
        EXPECT_NE(std::find(nodes.begin(), nodes.end(), start[i]), nodes.end()) << start[i];
        EXPECT_NE(std::find(nodes.begin(), nodes.end(), end[(i + 16) % 32]), nodes.end()) << end[(i + 16) % 32];
    }
    EXPECT_EQ(PolygonView(wire).NodeBounds(), (Rect{-500, -500, 10500, 500}));
    const double halfCircles = 16 * 500.0 * 500.0 * std::sin(2 * kPi / 32);
    EXPECT_NEAR(Area(nodes), 10000.0 * 1000 + halfCircles, 2 * 10 * 10000);
}

// Results of MaxPolyNodes nodes or more are cut at the middle of the longer
// side of their box until each piece fits; members are not selected.
TEST_F(ObjectPolygonsTest, StoreResultsSplitsLargeContours) {
    Contour comb = {{0, 0}, {29800, 0}};
    for (int i = 0; i < 298; ++i) comb.push_back({29800 - 100 * i, 1000 + 500 * (i % 2)});
    ASSERT_EQ(comb.size(), 300u);
    const double area = Area(comb);

    for (const bool split : {true, false}) {
        for (const bool member : {false, true}) {
            main->Reset();
            Settings().maxPolyNodes = 200;
            Settings().splitLargePolygons = split;
            Bool_Engine engine;
            ConfigureBooleanEngine(engine, 1);
            engine.BeginContour(GroupA);
            for (const Point& p : comb) engine.AddVertex(p.X, p.Y);
            engine.EndContour();
            engine.Execute(OpOr);
            StoreResults(engine, *main, 3, member);

            double total = 0;
            int polygons = 0;
            for (const Word* r = main->FirstRecord(); r; r = main->NextRecord(r)) {
                ++polygons;
                ASSERT_EQ(RecordKind(r), ObjectKind::Polygon);
                EXPECT_EQ(RecordLayer(r), 3);
                EXPECT_EQ(IsMember(r), member);
                EXPECT_EQ(IsSelected(r), !member);
                const Contour nodes = Nodes(r);
                total += Area(nodes);
                if (split) {
                    EXPECT_LT(nodes.size(), 200u);
                    const Rect box = PolygonView(r).NodeBounds();
                    EXPECT_TRUE(box.maxx <= 14900 || box.minx >= 14900) << "cut at x = 14900: " << box;
                }
            }
            EXPECT_EQ(polygons, split ? 2 : 1);
            EXPECT_DOUBLE_EQ(total, area);
        }
    }
}
