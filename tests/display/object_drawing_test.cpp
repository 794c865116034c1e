#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <set>

#include "display/ObjectDrawing.h"
#include "model/Geometry.h"
#include "model/LayerDescription.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "model/SymbolDescription.h"
#include "platform/headless/RecordingCanvas.h"

using namespace zandor;
using Shape = RecordingCanvas::Shape;

namespace {

// A 1000 x 1000 unit view shown on 100 x 100 pixels (10 units a pixel).
class ObjectDrawingTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = Settings();
        layout.view.xmin = 0;
        layout.view.ymin = 0;
        layout.view.xmax = 1000;
        layout.view.ymax = 1000;
        layout.view.W = 100;
        layout.view.H = 100;
        layout.view.sx = layout.view.sy = 0.1;
        layout.view.minObjectSize = 20;
        layout.SetLayer(std::make_unique<LayerDescription>(1, "red", 0x0000FF));
        layout.SetLayer(std::make_unique<LayerDescription>(2, "green", 0x00FF00));
        main = layout.MainSymbol();
    }
    void TearDown() override { Settings() = saved; }

    bool Draw() {
        canvas.entries.clear();
        return DrawLayoutOnCanvas(layout, canvas);
    }
    std::vector<const RecordingCanvas::Entry*> Of(Shape shape) const {
        std::vector<const RecordingCanvas::Entry*> found;
        for (const auto& e : canvas.entries)
            if (e.shape == shape) found.push_back(&e);
        return found;
    }

    ModelSettings saved;
    Layout layout;
    SymbolDescription* main = nullptr;
    RecordingCanvas canvas;
};

TransformMatrix Rotation(double degrees, double scale = 1, double tx = 0, double ty = 0) {
    const double a = degrees * kPi / 180;
    return {scale * std::cos(a), scale * std::sin(a), -scale * std::sin(a), scale * std::cos(a), tx, ty};
}

TEST_F(ObjectDrawingTest, RectanglesAreFilledInclusiveWithTheLayersToolsAndMixingOperation) {
    main->AddRectangle(100, 100, 500, 300, 1);
    main->AddRectangle(-5000, 200, 5000, 400, 2);  // wider than the view: clipped first

    for (bool black : {false, true}) {
        Settings().backgroundBlack = black;
        ASSERT_TRUE(Draw());
        const auto rects = Of(Shape::Rectangle);
        ASSERT_EQ(rects.size(), 2u);
        EXPECT_EQ(rects[0]->points, (std::vector<PixelPoint>{{10, 70}, {50, 90}}));
        EXPECT_EQ(rects[0]->brush, (CanvasBrush{-1, 0x0000FF}));
        EXPECT_EQ(rects[0]->pen, (CanvasPen{PenStyle::Solid, 0x0000FF, 1}));
        EXPECT_EQ(rects[0]->op, black ? RasterOp::Merge : RasterOp::Mask);
        EXPECT_EQ(rects[1]->points, (std::vector<PixelPoint>{{0, 60}, {100, 80}}));
        EXPECT_EQ(rects[1]->brush.color, 0x00FF00u);
    }
    EXPECT_EQ(canvas.rasterOp, RasterOp::Copy) << "the pass restores the canvas's operation";

    Settings().fill = false;
    Draw();
    ASSERT_EQ(Of(Shape::Polyline).size(), 2u);
    EXPECT_EQ(Of(Shape::Polyline)[0]->points.size(), 5u);
}

TEST_F(ObjectDrawingTest, HiddenLayersDrawNothingAndMissingLayersDrawHollowInBlack) {
    main->AddRectangle(100, 100, 500, 300, 1);
    main->AddRectangle(100, 100, 500, 300, 7);
    layout.Layer(1)->visible = 0;
    Draw();
    const auto rects = Of(Shape::Rectangle);
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0]->brush.style, 6);
    EXPECT_EQ(rects[0]->pen, (CanvasPen{PenStyle::Solid, 0, 1}));
}

TEST_F(ObjectDrawingTest, TurnedCallsDrawRectanglesAxisParallelOnlyWhenTheyStaySo) {
    SymbolDescription* cell = layout.AddSymbol(1, "cell");
    cell->AddRectangle(0, 0, 100, 50, 1);
    Settings().showBorders = false;
    main->InsertSymbolCallMatrix(1, Rotation(90, 1, 500, 500));
    Draw();
    ASSERT_EQ(Of(Shape::Rectangle).size(), 1u);
    EXPECT_EQ(Of(Shape::Rectangle)[0]->points, (std::vector<PixelPoint>{{45, 40}, {50, 50}}));
    EXPECT_TRUE(Of(Shape::Polygon).empty());

    main->Reset();
    main->InsertSymbolCallMatrix(1, Rotation(45, 1, 500, 500));
    Draw();
    EXPECT_TRUE(Of(Shape::Rectangle).empty());
    ASSERT_EQ(Of(Shape::Polygon).size(), 1u);
    EXPECT_EQ(Of(Shape::Polygon)[0]->points.size(), 5u);
}

TEST_F(ObjectDrawingTest, CirclesAndRingsUnderScaling) {
    SymbolDescription* cell = layout.AddSymbol(1, "cell");
    cell->AddCircle(0, 0, 20, 1);
    main->InsertSymbolCallMatrix(1, {2, 0, 0, 3, 500, 500});
    Settings().showBorders = false;
    Draw();
    ASSERT_EQ(Of(Shape::Polygon).size(), 1u) << "a stretched circle is a polygon";
    EXPECT_EQ(Of(Shape::Polygon)[0]->points.size(), 201u);
    EXPECT_TRUE(Of(Shape::Ellipse).empty());

    // A ring whose width exceeds its diameter is a disc of radius r + w/2.
    main->Reset();
    main->AddRing(500, 500, 100, 400, 1);
    Draw();
    ASSERT_EQ(Of(Shape::Ellipse).size(), 1u);
    EXPECT_EQ(Of(Shape::Ellipse)[0]->points, (std::vector<PixelPoint>{{20, 20}, {80, 80}}));

    // Scaled by 10 a ring of radius 10 and width 4 stays a ring: a round wire
    // of width 40 along radius 100, drawn as quads and joint circles of radius 20.
    cell->Reset();
    cell->AddRing(0, 0, 10, 4, 1);
    main->Reset();
    main->InsertSymbolCallMatrix(1, {10, 0, 0, 10, 500, 500});
    Draw();
    const auto ellipses = Of(Shape::Ellipse);
    ASSERT_FALSE(ellipses.empty());
    for (const auto* e : ellipses) EXPECT_EQ(e->points[1].x - e->points[0].x, 4) << "joint circles of radius 20";
    EXPECT_EQ(Of(Shape::Polygon).size(), static_cast<std::size_t>(Settings().ringNumSegments));
}

// A ring under unequal scaling is the polygon the file writers write for it
// (2 x RingNumSegments + 2 points), so the screen shows what the file holds.
TEST_F(ObjectDrawingTest, StretchedRingsAreThePolygonTheWritersWrite) {
    SymbolDescription* cell = layout.AddSymbol(1, "cell");
    cell->AddRing(0, 0, 50, 20, 1);
    const TransformMatrix stretch{2, 0, 0, 3, 500, 500};
    main->InsertSymbolCallMatrix(1, stretch);
    Settings().showBorders = false;
    for (int segments : {16, 72, 100}) {
        Settings().ringNumSegments = segments;
        Draw();
        ASSERT_EQ(Of(Shape::Polygon).size(), 1u) << segments;
        std::vector<Point> expected = RingPolygon({0, 0}, 50, 20, 2 * segments + 2);
        ASSERT_EQ(expected.size(), static_cast<std::size_t>(2 * segments + 2));
        TransformPoints(expected.data(), static_cast<int>(expected.size()), stretch);
        expected.push_back(expected.front());
        std::vector<PixelPoint> pixels;
        for (const Point& p : expected)
            pixels.push_back({RoundHalfAway(p.X * 0.1), RoundHalfAway((1000 - double(p.Y)) * 0.1)});
        EXPECT_EQ(Of(Shape::Polygon)[0]->points, pixels) << segments;
    }
}

// A circle around the whole view: filled it covers the view, as an outline
// it lies outside the view and nothing is drawn (no border of the view).
TEST_F(ObjectDrawingTest, ACircleAroundTheWholeViewIsDrawnOnlyWhenFilled) {
    main->AddCircle(500, 500, 1000000000, 1);
    for (bool fill : {true, false}) {
        Settings().fill = fill;
        Draw();
        if (fill) {
            ASSERT_EQ(canvas.entries.size(), 1u);
            EXPECT_EQ(canvas.entries[0].shape, Shape::Rectangle);
            EXPECT_EQ(canvas.entries[0].points, (std::vector<PixelPoint>{{0, 0}, {100, 100}}));
        } else {
            EXPECT_TRUE(canvas.entries.empty()) << canvas.entries.size() << " shapes drawn";
        }
    }
    // A circle whose outline crosses the view still shows its part.
    main->Reset();
    main->AddCircle(-100, -100, 600, 1);
    Draw();
    ASSERT_EQ(Of(Shape::Polyline).size(), 1u);
    EXPECT_EQ(Of(Shape::Polyline)[0]->points.size(), 83u);
}

// The four drawing switches on one layout: a rectangle, a group of two
// rectangles, a call and an array of two elements of a cell holding one
// rectangle.  Each shape is told apart by its tools.
TEST_F(ObjectDrawingTest, TheDrawingSwitchesDecideWhatIsDrawn) {
    SymbolDescription* cell = layout.AddSymbol(1, "cell");
    cell->AddRectangle(0, 0, 100, 100, 2);
    main->AddRectangle(100, 100, 200, 200, 1);
    main->AddGroup(300, 300, 2, 2);
    SetMemberBit(main->AddRectangle(300, 300, 400, 400, 1), true);
    SetMemberBit(main->AddRectangle(350, 350, 450, 450, 1), true);
    main->InsertSymbolCall(1, 600, 100);
    main->InsertArray(1, {100, 700}, {500, 700}, {100, 900}, 2, 1, 1.0, 0.0);

    struct Counts {
        int filled = 0;         // layer rectangles drawn filled
        int layerOutlines = 0;  // layer rectangles drawn as outlines (Fill off)
        int borders = 0;        // call, element and array outlines
        int diagonals = 0;      // lines across unexpanded calls and elements
        int names = 0;
        int groupOutlines = 0;
        bool operator==(const Counts&) const = default;
    };
    const auto count = [&] {
        Counts c;
        for (const auto& e : canvas.entries) {
            // Layer 1 is red as well: the unscaled calls' pen is told by its dashes.
            const bool outlinePen = e.pen == CanvasPen{PenStyle::DashDotDot, kSymbolOutlineColor, 1} &&
                                    (e.shape != Shape::Polygon || e.brush.style == 6);
            const bool groupPen = e.pen == CanvasPen{PenStyle::DashDotDot, kGroupOutlineColor, 1};
            switch (e.shape) {
                case Shape::Rectangle: c.filled += e.brush.style == -1; break;
                case Shape::Line: c.diagonals += outlinePen; break;
                case Shape::Text: ++c.names; break;
                case Shape::Polygon:
                case Shape::Polyline:
                    if (groupPen)
                        ++c.groupOutlines;
                    else if (outlinePen)
                        ++c.borders;
                    else
                        ++c.layerOutlines;
                    break;
                default: ADD_FAILURE() << "unexpected shape " << static_cast<int>(e.shape);
            }
        }
        return c;
    };
    struct Case {
        bool fill, interiors, borders, groups;
        Counts expected;
    } cases[] = {
        // Expanded: six rectangles, the call's box, two element boxes and the
        // array's extent, the call's and the array's names.
        {true, true, true, false, {6, 0, 4, 0, 2, 0}},
        {true, true, true, true, {6, 0, 4, 0, 2, 1}},
        {false, true, true, false, {0, 6, 4, 0, 2, 0}},
        {false, true, true, true, {0, 6, 4, 0, 2, 1}},
        // Without borders the contents alone, unnamed.
        {true, true, false, false, {6, 0, 0, 0, 0, 0}},
        {false, true, false, true, {0, 6, 0, 0, 0, 1}},
        // Without interiors the call and the elements are crossed boxes; the
        // array's extent and name come with the borders.
        {true, false, true, false, {3, 0, 4, 6, 2, 0}},
        {true, false, false, false, {3, 0, 3, 6, 1, 0}},
        {false, false, true, true, {0, 3, 4, 6, 2, 1}},
        {false, false, false, false, {0, 3, 3, 6, 1, 0}},
    };
    for (const Case& c : cases) {
        Settings().fill = c.fill;
        Settings().showInteriors = c.interiors;
        Settings().showBorders = c.borders;
        Settings().showGroups = c.groups;
        ASSERT_TRUE(Draw());
        const Counts got = count();
        EXPECT_TRUE(got == c.expected) << "fill " << c.fill << " interiors " << c.interiors << " borders " << c.borders
                                       << " groups " << c.groups << ": filled " << got.filled << ", layer outlines "
                                       << got.layerOutlines << ", borders " << got.borders << ", diagonals "
                                       << got.diagonals << ", names " << got.names << ", group outlines "
                                       << got.groupOutlines;
    }

    // The group's outline is its members' extent, never filled.
    Settings() = saved;
    Settings().showGroups = true;
    Draw();
    for (const auto& e : canvas.entries) {
        if (e.pen.color != kGroupOutlineColor) continue;
        EXPECT_EQ(e.shape, Shape::Polyline);
        EXPECT_EQ(e.points, (std::vector<PixelPoint>{{30, 55}, {45, 55}, {45, 70}, {30, 70}, {30, 55}}));
    }
}

TEST_F(ObjectDrawingTest, CirclesLargerThanTheViewBecomeTheirVisiblePart) {
    main->AddCircle(500, 500, 1000000000, 1);
    Draw();
    ASSERT_EQ(Of(Shape::Rectangle).size(), 1u) << "the circle covers the view";
    EXPECT_EQ(Of(Shape::Rectangle)[0]->points, (std::vector<PixelPoint>{{0, 0}, {100, 100}}));

    // One corner (bottom left) inside: the corner, 81 arc points, closed.
    main->Reset();
    main->AddCircle(-100, -100, 600, 1);
    Draw();
    ASSERT_EQ(Of(Shape::Polygon).size(), 1u);
    EXPECT_EQ(Of(Shape::Polygon)[0]->points.size(), 83u);
    EXPECT_EQ(Of(Shape::Polygon)[0]->points.front(), (PixelPoint{0, 100}));

    // No corner inside, centre left of the view: the cap cut off by the left edge.
    main->Reset();
    main->AddCircle(-100, 500, 300, 1);
    Draw();
    ASSERT_EQ(Of(Shape::Polygon).size(), 1u);
    EXPECT_EQ(Of(Shape::Polygon)[0]->points.size(), 82u);
    for (const auto& p : Of(Shape::Polygon)[0]->points) EXPECT_GE(p.x, 0);
}

TEST_F(ObjectDrawingTest, HugePolygonsAreClippedInDatabaseUnitsBeforeMapping) {
    const Point star[4] = {{-2000000000, 500}, {500, -2000000000}, {2000000000, 500}, {500, 2000000000}};
    main->AddPolygon(star, 4, 1);
    Draw();
    ASSERT_EQ(Of(Shape::Polygon).size(), 1u);
    for (const auto& p : Of(Shape::Polygon)[0]->points) {
        EXPECT_GE(p.x, 0);
        EXPECT_LE(p.x, 100);
        EXPECT_GE(p.y, 0);
        EXPECT_LE(p.y, 100);
    }
}

TEST_F(ObjectDrawingTest, SmallObjectsBecomeDotsAndWiresShowTheirJoints) {
    main->AddRectangle(300, 300, 310, 305, 1);
    Draw();
    ASSERT_EQ(Of(Shape::Rectangle).size(), 1u);
    EXPECT_EQ(Of(Shape::Rectangle)[0]->points, (std::vector<PixelPoint>{{30, 70}, {31, 71}}));

    const Point bend[3] = {{200, 200}, {600, 200}, {600, 600}};
    struct Case {
        EndStyle style;
        std::size_t polygons, ellipses;
    } cases[] = {{EndStyle::Flat, 3, 0}, {EndStyle::Round, 2, 3}, {EndStyle::Extended, 3, 0}};
    for (const Case& c : cases) {
        main->Reset();
        main->AddWire(bend, 3, 100, static_cast<int>(c.style), 1);
        Draw();
        EXPECT_EQ(Of(Shape::Polygon).size(), c.polygons) << static_cast<int>(c.style);
        EXPECT_EQ(Of(Shape::Ellipse).size(), c.ellipses) << static_cast<int>(c.style);
    }
    // Extended ends run on by half the width: the first segment starts at x = 150.
    const auto first = Of(Shape::Polygon)[0]->points;
    EXPECT_EQ(std::min_element(first.begin(), first.end(), [](auto a, auto b) { return a.x < b.x; })->x, 15);

    // A closed frame keeps its last side.
    const Point frame[5] = {{200, 200}, {800, 200}, {800, 800}, {200, 800}, {200, 200}};
    main->Reset();
    main->AddWire(frame, 5, 40, static_cast<int>(EndStyle::Flat), 1);
    Draw();
    EXPECT_EQ(Of(Shape::Polygon).size(), 4u + 3u) << "four sides and three joints";
}

TEST_F(ObjectDrawingTest, LevelsCutTheHierarchyIntoNamedBoxes) {
    SymbolDescription* leaf = layout.AddSymbol(1, "leaf");
    leaf->AddRectangle(0, 0, 100, 100, 1);
    SymbolDescription* mid = layout.AddSymbol(2, "mid");
    mid->InsertSymbolCall(1, 0, 0);
    main->InsertSymbolCall(2, 400, 400);

    Settings().levels = 1;
    Draw();
    EXPECT_TRUE(Of(Shape::Rectangle).empty()) << "the leaf's contents lie below the last level";
    ASSERT_EQ(Of(Shape::Line).size(), 2u) << "the leaf call: a box with its diagonals";
    ASSERT_EQ(Of(Shape::Text).size(), 1u) << "only calls of the shown symbol are named";
    EXPECT_EQ(Of(Shape::Text)[0]->text, "mid");
    EXPECT_EQ(Of(Shape::Text)[0]->points[0], (PixelPoint{42, 59}));
    EXPECT_EQ(canvas.textColor, kSymbolOutlineColor);

    Settings().levels = 30;
    Draw();
    EXPECT_EQ(Of(Shape::Rectangle).size(), 1u);
    EXPECT_TRUE(Of(Shape::Line).empty());

    // A missing symbol is its cached box with diagonals, without a name.
    ASSERT_TRUE(layout.DeleteSymbol(1));
    Draw();
    EXPECT_EQ(Of(Shape::Line).size(), 2u);
    EXPECT_EQ(Of(Shape::Text).size(), 1u);
}

TEST_F(ObjectDrawingTest, ArraysDrawEveryVisibleElementAndTheirName) {
    SymbolDescription* cell = layout.AddSymbol(1, "cell");
    cell->AddRectangle(0, 0, 50, 50, 1);
    main->InsertArray(1, {0, 0}, {1000, 0}, {0, 1000}, 10, 10, 1.0, 0);
    Draw();
    EXPECT_EQ(Of(Shape::Rectangle).size(), 100u);
    ASSERT_EQ(Of(Shape::Text).size(), 1u);
    EXPECT_EQ(Of(Shape::Text)[0]->text, "Array of <cell>");

    layout.view.xmax = layout.view.ymax = 250;  // only 3 x 3 elements meet the view
    layout.view.sx = layout.view.sy = 0.4;
    Draw();
    EXPECT_EQ(Of(Shape::Rectangle).size(), 9u);
}

TEST_F(ObjectDrawingTest, APassGivesUpWhenTheUserPresses) {
    for (int i = 0; i < 1000; ++i) main->AddRectangle(i, 0, i + 500, 500, 1);
    canvas.interruptAfterPolls = 3;
    EXPECT_FALSE(Draw());
    EXPECT_LE(Of(Shape::Rectangle).size(), 60u);
    EXPECT_FALSE(layout.view.drawing);
    EXPECT_EQ(canvas.rasterOp, RasterOp::Copy);
}

TEST_F(ObjectDrawingTest, TheMeasureLineIsDrawnInvertedWithItsLength) {
    main->view.measureShown = true;
    main->view.measureX1 = 100;
    main->view.measureY1 = 500;
    main->view.measureX2 = 900;
    main->view.measureY2 = 500;
    Draw();
    const auto labels = Of(Shape::XorText);
    ASSERT_EQ(labels.size(), 1u);
    EXPECT_EQ(labels[0]->text, "0.8");
    EXPECT_EQ(labels[0]->font.escapement, 0);
    for (const auto& e : canvas.entries) EXPECT_EQ(e.op, RasterOp::Not);
    // Two ticks, two arrow heads and the line.
    EXPECT_EQ(Of(Shape::Polyline).size(), 5u);

    // An end cut off by the view has no tick.
    main->view.measureX2 = 5000;
    Draw();
    EXPECT_EQ(Of(Shape::Polyline).size(), 3u);
    EXPECT_EQ(Of(Shape::XorText)[0]->text, "4.9");
}

TEST_F(ObjectDrawingTest, SelectionMarksAreInvertedSquaresAndAFrameKeptNearTheView) {
    main->AddRectangle(100, 100, 300, 300, 1);
    main->AddCircle(700, 700, 50, 1);
    main->AddRectangle(-50000, 500, 600, 600, 1);
    main->SetSelected(main->FirstRecord());
    main->SetSelected(main->NextRecord(main->NextRecord(main->FirstRecord())));
    main->UpdateSelection();
    ASSERT_TRUE(main->view.frameShown);
    ObjectDrawing drawing(layout, canvas);
    drawing.DrawSelectionHandles(*main, 0);
    ASSERT_EQ(Of(Shape::Polyline).size(), 2u) << "one square per selected object";
    for (const auto& e : canvas.entries) EXPECT_EQ(e.op, RasterOp::Not);
    canvas.entries.clear();
    drawing.DrawSelectionHandles(*main, 5);
    EXPECT_EQ(Of(Shape::Polyline).size(), 1u) << "other modes mark the current object";

    canvas.entries.clear();
    drawing.DrawSelectionFrame(*main, 0);
    ASSERT_EQ(Of(Shape::Polyline).size(), 1u);
    EXPECT_EQ(Of(Shape::Polyline)[0]->pen.style, PenStyle::Dot);
    EXPECT_EQ(Of(Shape::Polyline)[0]->points[0], (PixelPoint{-10, 40})) << "left side a tenth beyond the view";
    canvas.entries.clear();
    drawing.DrawSelectionFrame(*main, 1);
    EXPECT_TRUE(canvas.entries.empty()) << "no frame in node mode";
}

TEST_F(ObjectDrawingTest, NodeModeMarksEveryNodeAndFillsTheSelectedOnes) {
    Word* text = main->AddText(500, 500, 0, "A", 100, {}, 1);
    main->SetSelected(text);
    main->SelectSingle(text);
    ObjectDrawing drawing(layout, canvas);
    drawing.DrawSelectionHandles(*main, 1);
    ASSERT_EQ(Of(Shape::Polyline).size(), 1u) << "without nodes the current object keeps its square";
    EXPECT_EQ(Of(Shape::Polyline)[0]->points[0], (PixelPoint{46, 46}));

    main->view.nodeList.nodes = {{100, 100}, {300, 100}, {300, 300}};
    main->view.nodeList.selected = {2};
    canvas.entries.clear();
    drawing.DrawSelectionHandles(*main, 1);
    const auto squares = Of(Shape::Polyline);
    ASSERT_EQ(squares.size(), 3u);
    EXPECT_EQ(squares[1]->points, (std::vector<PixelPoint>{{26, 86}, {34, 86}, {34, 94}, {26, 94}, {26, 86}}));
    const auto filled = Of(Shape::Rectangle);
    ASSERT_EQ(filled.size(), 1u);
    EXPECT_EQ(filled[0]->points, (std::vector<PixelPoint>{{25, 65}, {35, 75}}));
    EXPECT_EQ(filled[0]->brush.style, -1);
    for (const auto& e : canvas.entries) EXPECT_EQ(e.op, RasterOp::Not) << "drawn twice they vanish";
}

}  // namespace

// The outline pen of a call or an array element must not leak into the
// called symbol: its first object is drawn with its layer's tools even when
// that layer is the one drawn just before the call.
TEST_F(ObjectDrawingTest, ObjectsInsideCallsKeepTheirLayersTools) {
    SymbolDescription* cell = layout.AddSymbol(1, "cell");
    cell->AddRectangle(0, 0, 100, 100, 1);
    main->AddRectangle(500, 500, 600, 600, 1);
    main->InsertSymbolCall(1, 200, 200);
    main->InsertArray(1, {0, 700}, {400, 700}, {0, 900}, 2, 1, 1.0, 0.0);
    ASSERT_TRUE(Draw());
    const auto rects = Of(Shape::Rectangle);
    ASSERT_EQ(rects.size(), 4u) << "the rectangle, the call's and the two elements'";
    for (const auto* rect : rects) {
        EXPECT_EQ(rect->brush, (CanvasBrush{-1, 0x0000FF}));
        EXPECT_EQ(rect->pen, (CanvasPen{PenStyle::Solid, 0x0000FF, 1}));
    }
}

// An array inside an element of another is drawn between the outer array's
// elements: the outer elements' outlines keep the outer array's pen (dash-dot-
// dot when unmagnified), not the solid pen of the magnified inner array.
TEST_F(ObjectDrawingTest, NestedArraysKeepTheirOwnOutlinePens) {
    Settings().showBorders = true;
    Settings().showInteriors = true;
    SymbolDescription* leaf = layout.AddSymbol(1, "leaf");
    leaf->AddRectangle(0, 0, 50, 50, 1);
    SymbolDescription* row = layout.AddSymbol(2, "row");
    row->InsertArray(1, {0, 0}, {100, 0}, {0, 100}, 1, 1, 2.0, 0.0);  // magnified: solid outlines
    main->InsertArray(2, {0, 0}, {400, 0}, {0, 400}, 2, 1, 1.0, 0.0);
    ASSERT_TRUE(Draw());
    int outerOutlines = 0;
    for (const auto& e : canvas.entries) {
        // Outlines are hollow polygons in the outline colour; each outer
        // element's box follows the inner array's solid ones.
        if (e.shape != Shape::Polygon || e.pen.color != kSymbolOutlineColor || e.brush.style != 6) continue;
        if (e.pen.style == PenStyle::DashDotDot) ++outerOutlines;
    }
    EXPECT_EQ(outerOutlines, 3) << "both outer elements and the outer extent with the outer array's pen";
}

// A canvas that gives up (as if the user pressed a key) once the pass has
// drawn more entries or polled more often than its budgets: a pass that
// visits every element of a huge array instead of what the view can show
// never completes.
class BudgetCanvas : public RecordingCanvas {
public:
    BudgetCanvas(std::size_t entryBudget, std::size_t pollBudget) : entryBudget(entryBudget), pollBudget(pollBudget) {}
    bool InputPending() override { return ++polls > pollBudget || entries.size() > entryBudget; }
    std::size_t entryBudget, pollBudget;
    std::size_t polls = 0;
};

// Huge arrays cost what the view can show, not what they hold.
TEST_F(ObjectDrawingTest, HugeArraysAreDrawnAtTheCostOfTheViewsPixels) {
    SymbolDescription* cell = layout.AddSymbol(1, "cell");
    cell->AddRectangle(0, 0, 5, 5, 1);  // half a pixel
    SymbolDescription* big = layout.AddSymbol(2, "big");
    big->AddRectangle(0, 0, 50, 50, 1);  // five pixels
    constexpr int kMillion = 1000000;
    // Every drawn entry and every poll counts.  An element smaller than a
    // pixel has its corners on two pixels at most in each direction, so the
    // distinct marks (a dot and an outline each) are at most four a pixel of
    // the view; a few more entries for the array itself.
    // The input is polled about once for each column of pixels.
    const std::size_t budget = 2 * 4 * (100 + 2) * (100 + 2) + 16, pollBudget = 4 * (100 + 2);
    struct Case {
        const char* what;
        int symbol;
        Point origin, columnEnd, rowEnd;
        bool borders;
        TransformMatrix placed;  // the array is placed in a call of this matrix when not identity
        int rows = kMillion;
    } cases[] = {
        // 0.2 pixels apart: a million by a million over 200 views.
        {"sub-pixel elements", 1, {0, 0}, {2 * kMillion, 0}, {0, 2 * kMillion}, true, {}},
        {"sub-pixel elements without borders", 1, {0, 0}, {2 * kMillion, 0}, {0, 2 * kMillion}, false, {}},
        {"mirrored lattice", 1, {1000, 1000}, {1000 - 2 * kMillion, 1000}, {1000, 1000 - 2 * kMillion}, true, {}},
        {"turned a quarter", 1, {0, 0}, {2 * kMillion, 0}, {0, 3 * kMillion}, true, {0, 1, -1, 0, 1000, 0}},
        // Ten pixels apart, the view in the middle of the lattice.
        {"large elements mostly outside",
         2,
         {-50 * kMillion, -50 * kMillion},
         {50 * kMillion, -50 * kMillion},
         {-50 * kMillion, 50 * kMillion},
         true,
         {},
         kMillion},
        {"a thousand rows, the view in the middle",
         2,
         {-50 * kMillion, -500},
         {50 * kMillion, -500},
         {-50 * kMillion, 99500},
         true,
         {},
         1000},
    };
    for (const Case& c : cases) {
        main->Reset();
        layout.DeleteSymbol(3);
        Settings().showBorders = c.borders;
        if (c.placed == TransformMatrix{}) {
            main->InsertArray(c.symbol, c.origin, c.columnEnd, c.rowEnd, kMillion, c.rows, 1.0, 0.0);
        } else {
            SymbolDescription* holder = layout.AddSymbol(3, "holder");
            holder->InsertArray(c.symbol, c.origin, c.columnEnd, c.rowEnd, kMillion, c.rows, 1.0, 0.0);
            main->InsertSymbolCallMatrix(3, c.placed);
        }
        BudgetCanvas bounded(budget, pollBudget);
        EXPECT_TRUE(DrawLayoutOnCanvas(layout, bounded))
            << c.what << ": gave up after " << bounded.entries.size() << " entries and " << bounded.polls << " polls";
        if (c.symbol == 2) {
            // 0, 100, ... 1000 in x and in y meet the view: each a filled rectangle.
            std::size_t filled = 0;
            for (const auto& e : bounded.entries) filled += e.shape == Shape::Rectangle && e.brush.style == -1;
            EXPECT_EQ(filled, 121u) << c.what;
        } else {
            std::size_t dots = 0;
            for (const auto& e : bounded.entries) dots += e.shape == Shape::Rectangle;
            EXPECT_GE(dots, 100u * 100u) << c.what << ": the dots cover the view";
        }
    }
}

// The dots of elements smaller than a pixel are drawn once a pixel, and at
// exactly the pixels where the elements one by one would put them; with
// interiors and borders each element's outline comes with its dot.
TEST_F(ObjectDrawingTest, SubPixelElementsLeaveTheDotsOfEveryElement) {
    SymbolDescription* cell = layout.AddSymbol(1, "cell");
    cell->AddRectangle(0, 0, 6, 4, 1);
    struct Case {
        const char* what;
        Point origin, columnEnd, rowEnd;
        int columns, rows;
        TransformMatrix placed;
    } cases[] = {
        {"uneven steps", {-37, -41}, {1100, -41}, {-37, 1090}, 487, 311, {}},
        {"mirrored", {1040, 1030}, {-50, 1030}, {1040, -60}, 401, 389, {}},
        {"slanted", {-30, -30}, {1100, 200}, {-10, 1050}, 350, 330, {}},
        {"turned a quarter", {-30, -30}, {1100, -30}, {-30, 1050}, 350, 330, {0, 1, -1, 0, 1000, 0}},
        {"partly outside", {500, 500}, {3000, 500}, {500, 3000}, 901, 703, {}},
    };
    const auto lessPoints = [](const std::vector<PixelPoint>& a, const std::vector<PixelPoint>& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](PixelPoint p, PixelPoint q) {
            return std::pair(p.x, p.y) < std::pair(q.x, q.y);
        });
    };
    const std::pair<bool, bool> modes[] = {{true, false}, {false, false}, {true, true}};  // interiors, borders
    for (const auto& [interiors, borders] : modes) {
        Settings().showInteriors = interiors;
        Settings().showBorders = borders;
        for (const Case& c : cases) {
            if (!interiors && c.placed != TransformMatrix{}) continue;  // the call would be a crossed box
            main->Reset();
            layout.DeleteSymbol(3);
            SymbolDescription* holder = main;
            if (c.placed != TransformMatrix{}) {
                holder = layout.AddSymbol(3, "holder");
                main->InsertSymbolCallMatrix(3, c.placed);
            }
            Word* array = holder->InsertArray(1, c.origin, c.columnEnd, c.rowEnd, c.columns, c.rows, 1.0, 0.0);
            ASSERT_TRUE(Draw());
            std::set<std::pair<int, int>> drawn, expected;
            std::set<std::vector<PixelPoint>, decltype(lessPoints)> outlines(lessPoints), insideOutlines(lessPoints);
            for (const auto& e : canvas.entries) {
                if (e.shape == Shape::Rectangle) drawn.insert({e.points[0].x, e.points[0].y});
                if (e.shape == Shape::Polygon) outlines.insert(e.points);
            }
            for (int i = 0; i < c.columns; ++i) {
                for (int j = 0; j < c.rows; ++j) {
                    const TransformMatrix e = ComposeTransform(ElementMatrix(array, i, j), c.placed);
                    Point box[4] = {{0, 0}, {6, 0}, {6, 4}, {0, 4}};
                    TransformPoints(box, 4, e);
                    const Rect b = PointsBounds(box, 4);
                    if (b.maxx < 0 || b.minx > 1000 || b.maxy < 0 || b.miny > 1000) continue;
                    expected.insert({RoundHalfAway(b.minx * 0.1), RoundHalfAway((1000 - b.miny) * 0.1)});
                    if (b.minx < -1 || b.maxx > 1001 || b.miny < -1 || b.maxy > 1001) continue;  // clipped
                    std::vector<PixelPoint> outline;
                    for (int k = 0; k <= 4; ++k)
                        outline.push_back(
                            {RoundHalfAway(box[k % 4].X * 0.1), RoundHalfAway((1000 - box[k % 4].Y) * 0.1)});
                    insideOutlines.insert(outline);
                }
            }
            const std::string mode = interiors ? (borders ? " with borders" : "") : " without interiors";
            EXPECT_EQ(drawn, expected) << c.what << mode;
            if (borders) {
                EXPECT_TRUE(std::includes(outlines.begin(), outlines.end(), insideOutlines.begin(),
                                          insideOutlines.end(), lessPoints))
                    << c.what << ": every element's outline";
            } else {
                EXPECT_LE(canvas.entries.size(), 3 * expected.size() + 16) << c.what << mode << ": each dot drawn once";
            }
        }
    }
}

// Calls smaller than a dot are a dot, with or without borders: their contents
// would only put dots of their own on the same spot.
TEST_F(ObjectDrawingTest, CallsSmallerThanADotAreNotEntered) {
    SymbolDescription* cell = layout.AddSymbol(1, "cell");
    for (int k = 0; k < 1000; ++k) cell->AddRectangle(k % 10, k % 7, k % 10 + 2, k % 7 + 3, 1 + k % 2);
    main->InsertSymbolCall(1, 400, 400);
    for (const bool borders : {true, false}) {
        Settings().showBorders = borders;
        ASSERT_TRUE(Draw());
        ASSERT_EQ(canvas.entries.size(), 1u) << "borders " << borders;
        EXPECT_EQ(canvas.entries[0].shape, Shape::Rectangle);
        EXPECT_EQ(canvas.entries[0].points, (std::vector<PixelPoint>{{40, 60}, {41, 61}}));
        EXPECT_EQ(canvas.entries[0].pen.color, kSymbolOutlineColor);
    }
}

// Cells that overlap their neighbours and place two of them a level down
// hold 2^40 objects after 40 levels, all larger than a pixel.  Such a call is
// its box in the brush of each of its layers (and its outline and name with
// the borders); calls that hold fewer objects than pixels are drawn in full.
TEST_F(ObjectDrawingTest, CallsHoldingFarMoreObjectsThanPixelsAreTheirLayersBoxes) {
    SymbolDescription* below = layout.AddSymbol(1, "L0");
    below->AddRectangle(0, 0, 300, 300, 1);
    for (int level = 1; level <= 40; ++level) {
        SymbolDescription* cell = layout.AddSymbol(level + 1, "L" + std::to_string(level));
        cell->AddRectangle(0, 0, 300, 300, 1 + level % 2);
        cell->InsertSymbolCall(level, 0, 0);
        cell->InsertSymbolCall(level, 5, 5);
    }
    main->InsertSymbolCall(41, 100, 100);
    main->InsertSymbolCall(3, 600, 600);  // seven objects: drawn in full
    BudgetCanvas bounded(1000, 1000);
    ASSERT_TRUE(DrawLayoutOnCanvas(layout, bounded)) << "gave up after " << bounded.entries.size() << " entries";
    std::vector<const RecordingCanvas::Entry*> boxes;
    std::size_t rectangles = 0;
    for (const auto& e : bounded.entries) {
        if (e.shape == Shape::Polygon && e.brush.style == -1) boxes.push_back(&e);
        rectangles += e.shape == Shape::Rectangle;
    }
    ASSERT_EQ(boxes.size(), 2u) << "one box for each layer of the dense call";
    EXPECT_EQ(boxes[0]->brush.color, 0x0000FFu);
    EXPECT_EQ(boxes[1]->brush.color, 0x00FF00u);
    EXPECT_EQ(boxes[0]->points.front(), (PixelPoint{10, 90}));
    EXPECT_EQ(rectangles, 7u) << "the small call's rectangles";
    std::size_t names = 0;
    for (const auto& e : bounded.entries) names += e.shape == Shape::Text;
    EXPECT_EQ(names, 2u) << "both calls are named";
}
