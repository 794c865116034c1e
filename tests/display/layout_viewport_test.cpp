#include <gtest/gtest.h>

#include "display/LayoutViewport.h"
#include "model/Layout.h"
#include "model/SymbolDescription.h"
#include "platform/headless/RecordingMessages.h"

using namespace zandor;

namespace {

// A 1001 x 501 pixel client area at 100 dpi: 10 x 5 inches.
constexpr int kWidth = 1001, kHeight = 501;
constexpr double kDpi = 100;

Rect Visible(const Layout& l) { return {l.view.xmin, l.view.ymin, l.view.xmax, l.view.ymax}; }

class ViewportTest : public ::testing::Test {
protected:
    void SetUp() override {
        layout.MainSymbol()->AddRectangle(0, 0, 100000, 50000, 0);
        view.PrepareMapping(kWidth, kHeight, kDpi);
    }
    Layout layout;
    LayoutViewport view{layout};
    platform::headless::ScopedMessageCapture messages;
};

TEST_F(ViewportTest, TheFirstPaintShowsTheMainSymbolAndSetsTheScales) {
    EXPECT_EQ(Visible(layout), (Rect{0, 0, 100000, 50000}));
    EXPECT_DOUBLE_EQ(layout.view.sx, 1000.0 / 100000);
    EXPECT_DOUBLE_EQ(layout.view.sy, 500.0 / 50000);
    EXPECT_EQ(layout.view.twoPixels, 201);
    EXPECT_EQ(layout.view.minObjectSize, 101);

    Layout empty;
    LayoutViewport emptyView(empty);
    emptyView.PrepareMapping(kWidth, kHeight, kDpi);
    EXPECT_EQ(empty.view.xmin, -40000000);
    EXPECT_EQ(empty.view.xmax, 40000000);
    EXPECT_EQ(empty.view.ymin, -40000000) << "the bottom edge stays, the top follows the window";
    EXPECT_EQ(empty.view.ymax, 0);
}

TEST_F(ViewportTest, ResizingKeepsTheLeftAndBottomEdgesAndTheHorizontalScale) {
    view.PrepareMapping(kWidth, 1001, kDpi);
    EXPECT_EQ(Visible(layout), (Rect{0, 0, 100000, 100000}));
    EXPECT_DOUBLE_EQ(layout.view.sx, 0.01);
}

TEST_F(ViewportTest, ZoomingAtAPointDoublesTheScaleAndKeepsThePointUnderThePointer) {
    const Point before = view.ScreenToWorld(250, 100);
    ASSERT_TRUE(view.ZoomIn(250, 100));
    view.PrepareMapping(kWidth, kHeight, kDpi);
    EXPECT_DOUBLE_EQ(layout.view.sx, 0.02);
    EXPECT_EQ(view.ScreenToWorld(250, 100), before);

    // Zoom out at the same point returns to the previous scale there.
    view.ZoomOutAt(250, 100);
    view.PrepareMapping(kWidth, kHeight, kDpi);
    EXPECT_DOUBLE_EQ(layout.view.sx, 0.01);
    EXPECT_EQ(view.ScreenToWorld(250, 100), before);
}

TEST_F(ViewportTest, ZoomBackWalksTheStackThenDoublesTheView) {
    const Rect initial = Visible(layout);
    view.ZoomIn(500, 250);
    const Rect first = Visible(layout);
    view.ZoomIn(500, 250);
    view.ZoomBack();
    EXPECT_EQ(Visible(layout), first);
    view.ZoomBack();
    EXPECT_EQ(Visible(layout), initial);
    view.ZoomBack();
    EXPECT_EQ(Visible(layout), (Rect{-50000, -25000, 150000, 75000}));
}

TEST_F(ViewportTest, TinyZoomRectanglesBecomeA20NanometreSquareThenStop) {
    view.SetViewRect(0, 0, 1000, 500);
    view.PrepareMapping(kWidth, kHeight, kDpi);
    ASSERT_TRUE(view.ZoomIn(100, 100, 105, 103));
    EXPECT_EQ(layout.view.W, 40u) << "a 20 nm square in a 2:1 window";
    EXPECT_EQ(layout.view.H, 20u);
    view.PrepareMapping(kWidth, kHeight, kDpi);
    EXPECT_FALSE(view.ZoomIn(100, 100, 101, 101));
    EXPECT_EQ(messages.messages,
              (std::vector<platform::headless::RecordedMessage>{{"Maximum zoom level is reached.", "Warning"}}));
}

TEST_F(ViewportTest, TheViewStaysInsideTheWorldLimits) {
    view.SetViewRect(1999000000, 0, 2000000000, 500000);
    view.PrepareMapping(kWidth, kHeight, kDpi);
    for (int i = 0; i < 40; ++i) {
        view.ZoomOutAt(900, 100);
        view.PrepareMapping(kWidth, kHeight, kDpi);
        EXPECT_LE(layout.view.xmax, 2000000000);
        EXPECT_GE(layout.view.xmin, -2000000000);
        EXPECT_LE(layout.view.ymax, 2000000000);
    }
}

TEST_F(ViewportTest, PanningMovesTheContentWithThePointer) {
    const Rect before = Visible(layout);
    view.PanBy(500, 200, 400, 250);  // dragged 100 px left and 50 px down
    EXPECT_EQ(Visible(layout),
              (Rect{before.minx + 10000, before.miny + 5000, before.maxx + 10000, before.maxy + 5000}));
}

TEST_F(ViewportTest, EachSymbolKeepsItsOwnView) {
    SymbolDescription* empty = layout.AddSymbol(1, "empty");
    ASSERT_TRUE(view.ShowSymbol("empty"));
    EXPECT_EQ(layout.ShownSymbolDescription(), empty);
    EXPECT_EQ(Visible(layout), (Rect{-200000, -100000, 200000, 100000})) << "+-100 um, in a 2:1 window";
    EXPECT_FALSE(view.ShowSymbol("empty"));
    EXPECT_FALSE(view.ShowSymbol("nothing"));

    view.ZoomIn(500, 250);
    view.PrepareMapping(kWidth, kHeight, kDpi);
    const Rect zoomed = Visible(layout);
    ASSERT_TRUE(view.ShowSymbol("MainSymbol"));
    ASSERT_TRUE(view.ShowSymbol("empty"));
    EXPECT_EQ(Visible(layout), zoomed);
}

TEST(CoordinateText, IsInMicrometres) {
    EXPECT_EQ(CoordinateText({1500, -2000}), "1.5, -2");
    EXPECT_EQ(CoordinateText({0, 123456789}), "0, 123456.789");
}

}  // namespace
