#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

#include "display/Background.h"
#include "display/Grid.h"
#include "display/Ruler.h"
#include "model/Layout.h"
#include "model/SymbolDescription.h"
#include "platform/headless/RecordingCanvas.h"

using namespace zandor;
using Shape = RecordingCanvas::Shape;

namespace {

std::unique_ptr<Layout> ViewOf(std::int32_t xmin, std::int32_t ymin, std::int32_t xmax, std::int32_t ymax, double sx) {
    auto layout = std::make_unique<Layout>();
    layout->view.xmin = xmin;
    layout->view.ymin = ymin;
    layout->view.xmax = xmax;
    layout->view.ymax = ymax;
    layout->view.sx = layout->view.sy = sx;
    return layout;
}

TEST(Grid, TheViewForcesACoarserGridAndTheStatusShowsIt) {
    Grid grid;
    grid.SetSpacing(1000);
    grid.UpdateGridSteps(*ViewOf(0, 0, 1000000, 1000000, 0.001));
    EXPECT_EQ(grid.EffectiveSpacing(), 2000);
    EXPECT_EQ(grid.GridStatus(), "grid: 1 (2)");
    EXPECT_EQ(grid.SnapValue(2999), 2000);
    EXPECT_EQ(grid.SnapValue(3000), 4000) << "halves away from zero";
    EXPECT_EQ(grid.SnapValue(-3000), -4000);
    EXPECT_EQ(grid.DisplayStep(), 16000) << "dots at least 10 pixels apart";

    grid.snap = false;
    grid.UpdateGridSteps(*ViewOf(0, 0, 100000, 100000, 0.01));
    EXPECT_EQ(grid.Resolution(), 10);
    EXPECT_EQ(grid.SnapGridPoint({1234, -1235}), (Point{1230, -1240}));

    grid.UpdateGridSteps(*ViewOf(0, 0, 10000, 10000, 1.0));
    EXPECT_EQ(grid.EffectiveSpacing(), 1000);
    EXPECT_EQ(grid.GridStatus(), "grid: 1");
}

TEST(Grid, PlusAndMinusStepOneTwoFive) {
    struct Case {
        std::int32_t from;
        bool plus;
        std::int32_t to;
    } cases[] = {{1000, true, 2000},   {2000, true, 5000},  {5000, true, 10000},
                 {10000, false, 5000}, {5000, false, 2000}, {2000, false, 1000},
                 {1, false, 1},        {3000, true, 5000},  {100000000, true, 100000000}};
    for (const Case& c : cases) {
        Grid grid;
        grid.SetSpacing(c.from);
        c.plus ? grid.GridPlus() : grid.GridMinus();
        EXPECT_EQ(grid.Spacing(), c.to) << c.from << (c.plus ? " +" : " -");
        EXPECT_EQ(grid.EffectiveSpacing(), c.to);
    }
}

TEST(Grid, DotsFallOnTheDisplayStepInsideTheView) {
    auto layoutOwner = ViewOf(-1500, -1500, 8500, 8500, 0.01);  // 100 x 100 pixels
    Layout& layout = *layoutOwner;
    Grid grid;
    grid.SetSpacing(1000);
    grid.UpdateGridSteps(layout);
    ASSERT_EQ(grid.DisplayStep(), 1000);
    RecordingCanvas canvas;
    grid.DrawGrid(layout, canvas, false, false);
    ASSERT_EQ(canvas.entries.size(), 10u * 10u);  // -1000 .. 8000 on both axes
    EXPECT_EQ(canvas.entries.front().points[0], (PixelPoint{5, 95}));
    EXPECT_EQ(canvas.entries.front().pen.color, 0xFF0000u) << "blue on white";
    canvas.entries.clear();
    grid.DrawGrid(layout, canvas, true, true);
    EXPECT_EQ(canvas.entries.front().shape, Shape::Rectangle) << "2 x 2 squares when printing";
    EXPECT_EQ(canvas.entries.front().brush.color, 0x00FFFFu) << "yellow on black";
}

TEST(Background, ThePlateShowsOnlyWhereTheViewReachesBeyondIt) {
    Background background;  // 5 inch plate, 4 inch wafer
    auto insideOwner = ViewOf(-1000000, -1000000, 1000000, 1000000, 0.0001);
    Layout& inside = *insideOwner;
    RecordingCanvas canvas;
    background.showWafer = false;
    background.DrawBackground(inside, canvas, false, false);
    EXPECT_TRUE(canvas.entries.empty()) << "a view inside the plate shows no outline and no label";

    auto wholeOwner = ViewOf(-100000000, -100000000, 100000000, 100000000, 0.000005);
    Layout& whole = *wholeOwner;
    background.DrawBackground(whole, canvas, false, false);
    const auto strips = std::count_if(canvas.entries.begin(), canvas.entries.end(),
                                      [](const auto& e) { return e.shape == Shape::Rectangle; });
    EXPECT_EQ(strips, 4);
    EXPECT_EQ(canvas.entries.front().brush, (CanvasBrush{5, 0xC0C0C0}));
    const auto label = std::find_if(canvas.entries.begin(), canvas.entries.end(),
                                    [](const auto& e) { return e.shape == Shape::Text; });
    ASSERT_NE(label, canvas.entries.end());
    EXPECT_EQ(label->text, "5 inch mask");

    background.maskType = 0;
    background.customWidth = 80000000;
    background.customHeight = 50000000;
    canvas.entries.clear();
    background.DrawBackground(whole, canvas, false, true);
    EXPECT_EQ(canvas.entries.back().text, "Mask size: 80mm x 50mm");
    EXPECT_EQ(canvas.entries.front().brush.color, 0x808080u) << "grey on black";

    // The wafer is cut where it leaves the view.
    background.showMask = false;
    background.showWafer = true;
    canvas.entries.clear();
    background.DrawBackground(*ViewOf(0, -100000000, 100000000, 100000000, 0.000005), canvas, false, false);
    ASSERT_EQ(canvas.entries.size(), 2u) << "0 .. 89 and 271 .. 360 degrees lie strictly inside";
    EXPECT_EQ(canvas.entries[0].points.size(), 90u);
    EXPECT_EQ(canvas.entries[1].points.size(), 90u);
}

TEST(Background, OtherSymbolsShowTheirExtentDotted) {
    auto layoutOwner = ViewOf(0, 0, 1000, 1000, 0.1);
    Layout& layout = *layoutOwner;
    SymbolDescription* cell = layout.AddSymbol(1, "cell");
    cell->AddRectangle(100, 100, 500, 500, 0);
    layout.shownSymbol = 1;
    RecordingCanvas canvas;
    Background().DrawBackground(layout, canvas, false, false);
    ASSERT_EQ(canvas.entries.size(), 4u);
    EXPECT_EQ(canvas.entries[0].pen.style, PenStyle::Dot);
    EXPECT_EQ(canvas.entries[0].op, RasterOp::Copy);
}

TEST(Ruler, LabelsAndTicks) {
    struct Label {
        std::int64_t v;
        const char* text;
    } labels[] = {{12000, "12"}, {12500, "12.5"}, {1, "0.001"},  {-250, "-0.25"},
                  {0, "0"},      {-1000, "-1"},   {1010, "1.01"}};
    for (const Label& l : labels) EXPECT_EQ(FormatRulerValue(l.v), l.text) << l.v;

    const RulerTicks t = ComputeRulerTicks(0, 100000, 920);
    EXPECT_EQ(t.step, 10000);
    EXPECT_EQ(t.subdivisions, 10);
    EXPECT_EQ(t.first, 0);
    EXPECT_EQ(t.count, 10);

    const RulerTicks shifted = ComputeRulerTicks(-25000, 47000, 184);
    EXPECT_EQ(shifted.step, 30000);
    EXPECT_EQ(shifted.first, -0);
    EXPECT_EQ(shifted.first + shifted.count * shifted.step, 30000);
}

TEST(Ruler, GuideLinesStaySortedAndRefuseDuplicatesWhenAsked) {
    GuideLines guides;
    guides.Add(500, true);
    guides.Add(-20, true);
    guides.Add(500, true);
    EXPECT_EQ(guides.Positions(), (std::vector<std::int32_t>{-20, 500}));
    guides.Add(500, false);
    guides.Move(-20, 700);
    EXPECT_EQ(guides.Positions(), (std::vector<std::int32_t>{500, 500, 700}));
    guides.RemoveDuplicates();
    guides.Remove(42);
    EXPECT_EQ(guides.Positions(), (std::vector<std::int32_t>{500, 700}));
    guides.Set({3, 1, 3});
    EXPECT_EQ(guides.Positions(), (std::vector<std::int32_t>{1, 3}));
}

}  // namespace
