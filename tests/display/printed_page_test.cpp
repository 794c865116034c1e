// The geometry of the printed page and of the clipboard picture, and the
// printed rulers, on a recording canvas.
#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "base/Numbers.h"
#include "display/CopiedPicture.h"
#include "display/PrintedPage.h"
#include "display/Ruler.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "model/SymbolDescription.h"
#include "platform/headless/RecordingCanvas.h"

using namespace zandor;
using Shape = RecordingCanvas::Shape;

namespace {

TEST(CopiedPicture, TheLongerSideIs640Units) {
    struct Case {
        std::int64_t width, height;
        PictureSize size;
    } cases[] = {
        {1000000, 250000, {640, 160}},  // 1000 um x 250 um
        {250000, 1000000, {160, 640}},
        {7000, 7000, {640, 640}},
        {3000, 2000, {640, 427}},  // 426.67 rounded
        {2000, 3000, {427, 640}},
        {0, 5000, {1, 640}},  // a line still gets a picture
        {0, 0, {640, 640}},
    };
    for (const Case& c : cases) EXPECT_EQ(CopiedPictureSize(c.width, c.height), c.size) << c.width << " x " << c.height;
}

TEST(CopiedPicture, TheBoxFillsThePictureAndTheBackgroundIsFilledFirst) {
    Layout store;
    store.MainSymbol()->AddRectangle(0, 0, 1000000, 250000, 0);
    StoreCopiedBox(store, {0, 0, 1000000, 250000});
    EXPECT_EQ(CopiedBox(store), (Rect{0, 0, 1000000, 250000}));
    const PictureSize size = CopiedPictureSize(1000000, 250000);

    const ModelSettings saved = Settings();
    for (const bool black : {false, true}) {
        Settings().backgroundBlack = black;
        RecordingCanvas canvas;
        DrawCopiedPicture(store, canvas, size);
        EXPECT_DOUBLE_EQ(store.view.sx, 639.0 / 1000000);
        EXPECT_DOUBLE_EQ(store.view.sy, 159.0 / 250000);
        std::int32_t x = 1000000, y = 0;
        store.view.WorldToScreen(x, y);
        EXPECT_EQ(x, 639);
        EXPECT_EQ(y, 159);
        ASSERT_GE(canvas.entries.size(), 2u);
        const RecordingCanvas::Entry& fill = canvas.entries.front();
        EXPECT_EQ(fill.shape, Shape::Rectangle);
        EXPECT_EQ(fill.points, (std::vector<PixelPoint>{{0, 0}, {639, 159}}));
        EXPECT_EQ(fill.brush.color, black ? 0x000000u : 0xFFFFFFu);
        EXPECT_EQ(fill.op, RasterOp::Copy);
        EXPECT_EQ(canvas.entries.back().op, black ? RasterOp::Merge : RasterOp::Mask) << "the rectangle, mixed";
    }
    Settings() = saved;
}

TEST(PrintedPage, ThreeThousandUnitsOnTheLongerSideAndTheAreaFitsTheView) {
    struct Case {
        double deviceWidth, deviceHeight;
        std::int64_t viewWidth, viewHeight;
        int width, height, areaWidth, areaHeight;
    } cases[] = {
        // A4 at 1200 dpi, upright: the room is 1795 x 2675 units.
        {9917, 14033, 200000, 100000, 2120, 3000, 1795, 898},
        {9917, 14033, 100000, 200000, 2120, 3000, 1338, 2675},
        // Lying: the room is 2675 x 1795.
        {14033, 9917, 100000, 100000, 3000, 2120, 1795, 1795},
        {14033, 9917, 400000, 100000, 3000, 2120, 2675, 669},
        // A view without extent still gets an area.
        {14033, 9917, 0, 0, 3000, 2120, 1795, 1795},
    };
    for (const Case& c : cases) {
        const PrintedPage page = ComputePrintedPage(c.deviceWidth, c.deviceHeight, c.viewWidth, c.viewHeight);
        SCOPED_TRACE(std::to_string(c.viewWidth) + " x " + std::to_string(c.viewHeight));
        EXPECT_EQ(page.width, c.width);
        EXPECT_EQ(page.height, c.height);
        EXPECT_EQ(page.margin, 100);
        EXPECT_EQ(page.band, 125);
        EXPECT_EQ(page.fontHeight, 37);
        EXPECT_EQ(page.areaLeft, 225);
        EXPECT_EQ(page.areaTop, 225);
        EXPECT_EQ(page.areaWidth, c.areaWidth);
        EXPECT_EQ(page.areaHeight, c.areaHeight);
    }
}

TEST(PrintedPage, TheAreaTakesTheViewAndTheRulersMeetTheDrawing) {
    Layout layout;
    layout.view.xmin = -20000;
    layout.view.xmax = 80000;
    layout.view.ymin = 0;
    layout.view.ymax = 50000;
    const PrintedPage page = ComputePrintedPage(14033, 9917, 100000, 50000);
    ASSERT_EQ(page.areaWidth, 2675);
    MapPrintedArea(layout, page);
    EXPECT_DOUBLE_EQ(layout.view.sx, 2674.0 / 100000);
    EXPECT_DOUBLE_EQ(layout.view.sy, layout.view.sx);
    EXPECT_EQ(layout.view.twoPixels, 76) << "2 / sx rounded, plus one";
    EXPECT_EQ(layout.view.minObjectSize, 39);

    RecordingCanvas canvas;
    DrawPrintedRulers(canvas, page, layout, 920, 460);
    // The horizontal labels: every 10 um of -20..80 um, their outer edge at
    // the margin, centred on their tick (8 pixels a character here).
    std::vector<std::string> across, down;
    for (const RecordingCanvas::Entry& e : canvas.entries) {
        if (e.shape != Shape::Text) continue;
        EXPECT_EQ(e.font.height, 37);
        if (e.font.escapement == 0) {
            across.push_back(e.text);
            EXPECT_EQ(e.points[0].y, 100 + 37) << e.text;
        } else {
            EXPECT_EQ(e.font.escapement, 900);
            down.push_back(e.text);
            EXPECT_EQ(e.points[0].x, 100 + 37) << e.text;
        }
    }
    EXPECT_EQ(across, (std::vector<std::string>{"-20", "-10", "0", "10", "20", "30", "40", "50", "60", "70", "80"}));
    EXPECT_EQ(down, (std::vector<std::string>{"0", "10", "20", "30", "40", "50"}));
    // The tick of 0 um lies where the drawing puts x = 0.
    std::int32_t x0 = 0, y0 = 0;
    layout.view.WorldToScreen(x0, y0);
    const auto tickAt = [&](int x) {
        return std::any_of(canvas.entries.begin(), canvas.entries.end(), [&](const RecordingCanvas::Entry& e) {
            return e.shape == Shape::Line && e.points[0] == PixelPoint{x, 183} &&
                   e.points[1] == PixelPoint{x, 183 - 41};
        });
    };
    EXPECT_TRUE(tickAt(225 + x0));
    const RecordingCanvas::Entry* zero = nullptr;
    for (const RecordingCanvas::Entry& e : canvas.entries)
        if (e.shape == Shape::Text && e.text == "0" && e.font.escapement == 0) zero = &e;
    ASSERT_NE(zero, nullptr);
    EXPECT_EQ(zero->points[0].x, 225 + x0 - 4);
    // The vertical ruler's 0 um is at the bottom of the area, 50 um at its top.
    const auto vertical = [&](int y, int reach) {
        return std::any_of(canvas.entries.begin(), canvas.entries.end(), [&](const RecordingCanvas::Entry& e) {
            return e.shape == Shape::Line && e.points[0] == PixelPoint{183, y} &&
                   e.points[1] == PixelPoint{183 - reach, y};
        });
    };
    EXPECT_TRUE(vertical(225, 41));
    EXPECT_TRUE(vertical(225 + RoundHalfAway(50000 * layout.view.sy), 41));
    // Minor ticks lie between the majors, none after the last.
    int minors = 0;
    for (const RecordingCanvas::Entry& e : canvas.entries)
        if (e.shape == Shape::Line && e.points[0].y == 183 && e.points[1].y == 183 - 20) ++minors;
    EXPECT_EQ(minors, 10 * 9);
}

}  // namespace
