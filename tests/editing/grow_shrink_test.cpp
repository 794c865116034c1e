#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "editing/GrowShrink.h"
#include "model/LayerDescription.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "model/RecordViews.h"
#include "model/UndoList.h"
#include "platform/headless/RecordingMessages.h"

using namespace zandor;

namespace {

double Area(const Word* polygon) {
    const PolygonView view(polygon);
    double twice = 0;
    for (int i = 0, n = view.NodeCount(); i < n; ++i) {
        const Point a = view.Node(i), b = view.Node((i + 1) % n);
        twice += double(a.X) * b.Y - double(b.X) * a.Y;
    }
    return std::abs(twice) / 2;
}

// Whether two edges of the outline cross (touching neighbours do not count).
bool SelfIntersects(const Word* polygon) {
    const PolygonView view(polygon);
    const int n = view.NodeCount();
    const auto orient = [](Point a, Point b, Point c) {
        const double v = double(b.X - a.X) * (c.Y - a.Y) - double(b.Y - a.Y) * (c.X - a.X);
        return (v > 0) - (v < 0);
    };
    for (int i = 0; i < n; ++i) {
        for (int j = i + 2; j < n; ++j) {
            if (i == 0 && j == n - 1) continue;
            const Point a = view.Node(i), b = view.Node((i + 1) % n), c = view.Node(j), d = view.Node((j + 1) % n);
            if (orient(a, b, c) * orient(a, b, d) < 0 && orient(c, d, a) * orient(c, d, b) < 0) return true;
        }
    }
    return false;
}

class GrowShrinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = Settings();
        Settings() = ModelSettings{};
        layout.SetLayer(std::make_unique<LayerDescription>(1, ""));
        main = layout.MainSymbol();
        main->Undo().SetRecording(true);
    }
    void TearDown() override { Settings() = saved; }

    void SelectEverything() {
        for (Word* r = main->FirstRecord(); r; r = main->NextObject(r)) SetSelectedBit(r, true);
        main->UpdateSelection();
    }
    int Run(std::int32_t amount, bool round, bool leaveOriginal = false) {
        main->Undo().BeginStep();
        return GrowShrinkSelection(*main, amount, leaveOriginal, round);
    }
    std::vector<Word> Buffer() const { return {main->Words(), main->Words() + main->usedWords + 1}; }

    platform::headless::ScopedMessageCapture messages;
    ModelSettings saved;
    Layout layout;
    SymbolDescription* main = nullptr;
};

}  // namespace

// Widths, radii and sides change in place; negative widths turn positive;
// texts and calls stay as they are.
TEST_F(GrowShrinkTest, KindsChangeInPlace) {
    const Point line[2] = {{0, 0}, {1000, 0}};
    struct Case {
        const char* name;
        std::function<Word*()> add;
        std::int32_t amount;
        std::function<void(const Word*)> check;
    } cases[] = {
        {"rectangle 10 x 10 um grown by 1 um", [&] { return main->AddRectangle(0, 0, 10000, 10000, 1); }, 1000,
         [](const Word* r) {
             ASSERT_EQ(RecordKind(r), ObjectKind::Rectangle);
             EXPECT_EQ(RectangleView(r).Box(), (Rect{-1000, -1000, 11000, 11000}));
         }},
        {"box", [&] { return main->AddBox(0, 0, 4000, 1000, 30.0, 1); }, -200,
         [](const Word* r) {
             EXPECT_EQ(BoxView(r).BoxLength(), 3600);
             EXPECT_EQ(BoxView(r).BoxWidth(), 600);
             EXPECT_EQ(BoxView(r).AngleMillidegrees(), 30000);
         }},
        {"wire of width 2 shrunk by 3", [&] { return main->AddWire(line, 2, 2, 2, 1); }, -3,
         [](const Word* r) {
             EXPECT_EQ(WireView(r).Width(), 4);
             EXPECT_EQ(WireView(r).EndStyle(), 2);
         }},
        {"circle", [&] { return main->AddCircle(0, 0, 500, 1); }, 20,
         [](const Word* r) { EXPECT_EQ(CircleView(r).Radius(), 520); }},
        {"ring of radius 50, width 10, grown by 2", [&] { return main->AddRing(0, 0, 50, 10, 1); }, 2,
         [](const Word* r) {
             EXPECT_EQ(RingView(r).Radius(), 50);
             EXPECT_EQ(RingView(r).RingWidth(), 14);
         }},
        {"arc wire", [&] { return main->AddArcWire(0, 0, 1000, 0, 0, 1000, MakeArcWidthWord(100, 1, true), 1); }, -80,
         [](const Word* r) {
             EXPECT_EQ(ArcWireView(r).Width(), 60);
             EXPECT_EQ(ArcWireView(r).EndStyle(), 1);
             EXPECT_TRUE(ArcWireView(r).Clockwise());
         }},
    };
    for (const Case& c : cases) {
        main->Reset();
        c.add();
        SelectEverything();
        EXPECT_EQ(Run(c.amount, false), 0) << c.name;
        ASSERT_NE(main->FirstRecord(), nullptr) << c.name;
        SCOPED_TRACE(c.name);
        c.check(main->FirstRecord());
    }

    main->Reset();
    layout.AddSymbol(1, "cell")->AddRectangle(0, 0, 10, 10, 1);
    main->AddText(0, 0, 0, "x", 100, ModelSettings::DefaultTextFont(), 1);
    main->InsertSymbolCall(1, 0, 0);
    SelectEverything();
    const std::vector<Word> before = Buffer();
    EXPECT_EQ(Run(1000, true), 0);
    EXPECT_EQ(Buffer(), before);
}

// k = CircleNumSegments / 4 - 2 arc points per corner (3 below 20 segments),
// each at the amount from its corner.
TEST_F(GrowShrinkTest, RoundedRectanglesAndBoxesBecomePolygons) {
    for (const auto& [segments, nodes] : {std::pair{72, 72}, std::pair{16, 20}}) {
        Settings().circleNumSegments = segments;
        main->Reset();
        main->AddRectangle(0, 0, 10000, 10000, 1);
        SelectEverything();
        Run(1000, true);
        const Word* r = main->FirstRecord();
        ASSERT_EQ(RecordKind(r), ObjectKind::Polygon);
        EXPECT_EQ(RecordLayer(r), 1);
        EXPECT_TRUE(IsSelected(r));
        const PolygonView polygon(r);
        ASSERT_EQ(polygon.NodeCount(), nodes) << segments;
        EXPECT_EQ(polygon.NodeBounds(), (Rect{-1000, -1000, 11000, 11000}));
        EXPECT_EQ(polygon.Node(0), (Point{0, -1000}));
        EXPECT_EQ(polygon.Node(1), (Point{10000, -1000}));
        for (int i = 0; i < nodes; ++i) {
            const Point p = polygon.Node(i);
            const double dx = std::max({0, -p.X, p.X - 10000}), dy = std::max({0, -p.Y, p.Y - 10000});
            EXPECT_NEAR(std::hypot(dx, dy), 1000, 1) << p;
        }
    }

    main->Reset();
    main->AddBox(0, 0, 4000, 2000, 90.0, 1);
    SelectEverything();
    Run(500, true);
    const Word* box = main->FirstRecord();
    ASSERT_EQ(RecordKind(box), ObjectKind::Polygon);
    EXPECT_EQ(PolygonView(box).NodeBounds(), (Rect{-1500, -2500, 1500, 2500})) << "turned with the box";
}

TEST_F(GrowShrinkTest, ShrinkingWithRoundCornersStaysStraight) {
    main->AddRectangle(0, 0, 10000, 10000, 1);
    SelectEverything();
    Run(-1000, true);
    ASSERT_EQ(RecordKind(main->FirstRecord()), ObjectKind::Rectangle);
    EXPECT_EQ(RectangleView(main->FirstRecord()).Box(), (Rect{1000, 1000, 9000, 9000}));
}

// The concave corner of an L gets one mitre point, the five convex corners
// get arcs, and the result is one polygon.
TEST_F(GrowShrinkTest, RoundedLShape) {
    const Point ell[6] = {{0, 0}, {6000, 0}, {6000, 2000}, {2000, 2000}, {2000, 6000}, {0, 6000}};
    main->AddPolygon(ell, 6, 1);
    SelectEverything();
    EXPECT_EQ(Run(500, true), 0);
    ASSERT_EQ(main->objectCount, 1);
    const Word* r = main->FirstRecord();
    const PolygonView polygon(r);
    const std::vector<Point> nodes(polygon.Nodes(), polygon.Nodes() + polygon.NodeCount());
    EXPECT_NE(std::find(nodes.begin(), nodes.end(), Point{2500, 2500}), nodes.end()) << "mitre of the inner corner";
    EXPECT_GT(nodes.size(), 5u * 10) << "arcs at the convex corners";
    EXPECT_EQ(polygon.NodeBounds(), (Rect{-500, -500, 6500, 6500}));
    // The bands along the edges, a quarter disc at each convex corner, less
    // the square where the two bands of the concave corner overlap.
    const double expected = 20e6 + 24000.0 * 500 + 5 * kPi * 500 * 500 / 4 - 500.0 * 500;
    EXPECT_NEAR(Area(r), expected, 2000) << "arcs are chords";
    EXPECT_FALSE(SelfIntersects(r));
}

// Mitred without rounding; a shrink that would turn parts inside out removes
// them instead, and what a shrink cuts in two becomes two polygons.
TEST_F(GrowShrinkTest, PolygonsOffsetWithoutFolding) {
    const Point ell[6] = {{0, 0}, {6000, 0}, {6000, 2000}, {2000, 2000}, {2000, 6000}, {0, 6000}};
    main->AddPolygon(ell, 6, 1);
    SelectEverything();
    Run(-500, false);
    ASSERT_EQ(main->objectCount, 1);
    EXPECT_DOUBLE_EQ(Area(main->FirstRecord()), 5000.0 * 1000 + 1000.0 * 4000);
    EXPECT_EQ(PolygonView(main->FirstRecord()).NodeCount(), 6);

    // A dumbbell: two 4 um squares joined by a 1 um bar; shrinking by 0.6 um
    // removes the bar and leaves two squares.
    main->Reset();
    const Point bell[12] = {{0, 0},        {4000, 0},    {4000, 1500}, {8000, 1500}, {8000, 0},    {12000, 0},
                            {12000, 4000}, {8000, 4000}, {8000, 2500}, {4000, 2500}, {4000, 4000}, {0, 4000}};
    main->AddPolygon(bell, 12, 1);
    SelectEverything();
    EXPECT_EQ(Run(-600, false), 0);
    ASSERT_EQ(main->objectCount, 2);
    EXPECT_EQ(main->selectedCount, 2);
    for (const Word* r = main->FirstRecord(); r; r = main->NextRecord(r)) {
        EXPECT_DOUBLE_EQ(Area(r), 2800.0 * 2800);
        EXPECT_FALSE(SelfIntersects(r));
    }
}

// Shrunk by half their size or more, objects go (and undo brings them back).
TEST_F(GrowShrinkTest, ObjectsShrunkToNothingVanish) {
    const Point triangle[3] = {{0, 0}, {1000, 0}, {0, 1000}};
    main->AddRectangle(0, 0, 1000, 5000, 1);
    main->AddBox(0, 0, 4000, 1000, 45.0, 1);
    main->AddCircle(0, 0, 500, 1);
    main->AddPolygon(triangle, 3, 1);
    main->AddRectangle(0, 0, 5000, 5000, 1);  // survives
    SelectEverything();
    const std::vector<Word> before = Buffer();
    EXPECT_EQ(Run(-500, false), 4);
    ASSERT_EQ(main->objectCount, 1);
    EXPECT_EQ(RectangleView(main->FirstRecord()).Box(), (Rect{500, 500, 4500, 4500}));
    main->Undo().Undo();
    EXPECT_EQ(Buffer(), before);
}

TEST_F(GrowShrinkTest, LeaveOriginalChangesCopies) {
    main->AddRectangle(0, 0, 1000, 1000, 1);
    SelectEverything();
    Run(100, false, true);
    ASSERT_EQ(main->objectCount, 2);
    const Word* original = main->FirstRecord();
    const Word* copy = main->NextRecord(original);
    EXPECT_FALSE(IsSelected(original));
    EXPECT_EQ(RectangleView(original).Box(), (Rect{0, 0, 1000, 1000}));
    EXPECT_TRUE(IsSelected(copy));
    EXPECT_EQ(RectangleView(copy).Box(), (Rect{-100, -100, 1100, 1100}));
}

TEST_F(GrowShrinkTest, GrowingOutOfRangeIsRefused) {
    main->AddRectangle(0, 0, INT32_MAX - 10, 1000, 1);
    SelectEverything();
    const std::vector<Word> before = Buffer();
    EXPECT_EQ(Run(100, false), -1);
    EXPECT_EQ(Buffer(), before);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "The result would lie outside the coordinate range.");
}

// Undo puts every word back, for a few objects (an entry each) and for many
// (one snapshot).
TEST_F(GrowShrinkTest, UndoRestoresTheBufferWordForWord) {
    const Point ell[6] = {{0, 0}, {6000, 0}, {6000, 2000}, {2000, 2000}, {2000, 6000}, {0, 6000}};
    for (const int count : {2, 100}) {
        for (const std::int32_t amount : {300, -300}) {
            for (const bool round : {false, true}) {
                main->Reset();
                main->Undo().SetRecording(true);
                for (int i = 0; i < count; ++i) {
                    main->AddRectangle(10000 * i, 0, 10000 * i + 1000, 400, 1);  // vanishes when shrunk
                    main->AddPolygon(ell, 6, 1);
                    main->AddCircle(0, 0, 1000, 1);
                }
                SelectEverything();
                const std::vector<Word> before = Buffer();
                Run(amount, round);
                ASSERT_NE(Buffer(), before);
                main->Undo().Undo();
                EXPECT_EQ(Buffer(), before) << count << " " << amount << " " << round;
            }
        }
    }
}
