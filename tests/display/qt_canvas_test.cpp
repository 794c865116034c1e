#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

#include "display/ObjectDrawing.h"
#include "model/LayerDescription.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "model/SymbolDescription.h"
#include "platform/qt/QtCanvas.h"

using namespace zandor;

namespace {

QImage Blank(QRgb colour, int w = 64, int h = 64) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

int CountPixels(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == colour;
    return n;
}

// Two overlapping rectangles, red on layer 1 and green on layer 2, drawn by the
// layout drawing onto a 100 x 100 pixel image of a 1000 nm square view.
QImage DrawOverlap(bool black) {
    const ModelSettings saved = Settings();
    Settings().backgroundBlack = black;
    Layout layout;
    layout.SetLayer(std::make_unique<LayerDescription>(1, "red", 0x0000FF));
    layout.SetLayer(std::make_unique<LayerDescription>(2, "green", 0x00FF00));
    layout.MainSymbol()->AddRectangle(100, 100, 600, 600, 1);
    layout.MainSymbol()->AddRectangle(400, 400, 900, 900, 2);
    layout.view.xmax = layout.view.ymax = 1000;
    layout.view.sx = layout.view.sy = 0.1;
    QImage image = Blank(black ? 0xFF000000u : 0xFFFFFFFFu, 101, 101);
    {
        QtCanvas canvas(image);
        DrawLayoutOnCanvas(layout, canvas);
    }
    Settings() = saved;
    return image;
}

TEST(QtCanvas, OverlappingLayersMixTheirColours) {
    const QImage white = DrawOverlap(false);
    EXPECT_EQ(white.pixel(50, 50), 0xFF000000u) << "red AND green on white";
    EXPECT_EQ(white.pixel(20, 80), 0xFFFF0000u) << "red alone (RGB)";
    EXPECT_EQ(white.pixel(80, 20), 0xFF00FF00u) << "green alone";
    EXPECT_EQ(white.pixel(95, 95), 0xFFFFFFFFu);

    const QImage black = DrawOverlap(true);
    EXPECT_EQ(black.pixel(50, 50), 0xFFFFFF00u) << "red OR green on black is yellow";
    EXPECT_EQ(black.pixel(20, 80), 0xFFFF0000u);
    EXPECT_EQ(black.pixel(95, 95), 0xFF000000u);
}

TEST(QtCanvas, RectanglesIncludeTheirRightAndBottomEdges) {
    QImage image = Blank(0xFFFFFFFFu);
    {
        QtCanvas canvas(image);
        canvas.SetPen({PenStyle::Null, 0, 1});
        canvas.SetBrush({-1, 0x000000});
        canvas.Rectangle(2, 3, 5, 9);
    }
    EXPECT_EQ(CountPixels(image, 0xFF000000u), 4 * 7);
    EXPECT_EQ(image.pixel(5, 9), 0xFF000000u);
    EXPECT_EQ(image.pixel(6, 9), 0xFFFFFFFFu);
}

TEST(QtCanvas, HatchGapsLeaveTheBackgroundUnderEachOperation) {
    struct Case {
        int style;
        int linePixelsPerTile;
    } cases[] = {{0, 8}, {1, 8}, {2, 8}, {3, 8}, {4, 15}, {5, 16}};
    for (const Case& c : cases) {
        for (bool black : {false, true}) {
            const QRgb background = black ? 0xFF000000u : 0xFFFFFFFFu;
            QImage image = Blank(background, 16, 16);
            {
                QtCanvas canvas(image);
                canvas.SetRasterOp(black ? RasterOp::Merge : RasterOp::Mask);
                canvas.SetPen({PenStyle::Null, 0, 1});
                canvas.SetBrush({c.style, 0x0000FF});
                canvas.Rectangle(0, 0, 15, 15);
            }
            EXPECT_EQ(CountPixels(image, 0xFFFF0000u), 4 * c.linePixelsPerTile)
                << c.style << (black ? " black" : " white");
            EXPECT_EQ(CountPixels(image, background), 256 - 4 * c.linePixelsPerTile) << c.style;
        }
    }
    // The lines run the right way: horizontal lines share a row, diagonals step.
    QImage image = Blank(0xFFFFFFFFu, 8, 8);
    {
        QtCanvas canvas(image);
        canvas.SetRasterOp(RasterOp::Mask);
        canvas.SetPen({PenStyle::Null, 0, 1});
        canvas.SetBrush({0, 0x000000});
        canvas.Rectangle(0, 0, 7, 7);
    }
    int row = -1;
    for (int y = 0; y < 8; ++y)
        if (image.pixel(0, y) == 0xFF000000u) row = y;
    ASSERT_GE(row, 0);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(image.pixel(x, row), 0xFF000000u);
}

TEST(QtCanvas, InvertedOutlinesHitEveryPixelOnceAndVanishWhenDrawnTwice) {
    QImage image = Blank(0xFFFFFFFFu);
    const QImage before = image;
    const PixelPoint square[5] = {{10, 10}, {30, 10}, {30, 20}, {10, 20}, {10, 10}};
    {
        QtCanvas canvas(image);
        canvas.SetRasterOp(RasterOp::Not);
        canvas.SetPen({PenStyle::Solid, 0, 1});
        canvas.SetBrush({6, 0});
        canvas.Polyline(square, 5);
        EXPECT_EQ(CountPixels(image, 0xFF000000u), 2 * 20 + 2 * 10);
        canvas.XorTextBlock(40, 40, "12.5", CanvasFont{16, 400, "MS Sans Serif", 450});
        canvas.Polyline(square, 5);
        canvas.XorTextBlock(40, 40, "12.5", CanvasFont{16, 400, "MS Sans Serif", 450});
    }
    EXPECT_EQ(image, before);
}

TEST(QtCanvas, DashedPensLeaveGaps) {
    QImage image = Blank(0xFFFFFFFFu);
    {
        QtCanvas canvas(image);
        canvas.SetPen({PenStyle::DashDotDot, 0x0000FF, 1});
        canvas.Line(0, 5, 60, 5);
    }
    // 9 on, 3 off, 3 on, 3 off, 3 on, 3 off: 15 of every 24 pixels.
    EXPECT_EQ(CountPixels(image, 0xFFFF0000u), 15 * 2 + 9);
}

// Text turns about its anchor, the bottom left corner: at 90 degrees it
// runs upwards and lies left of the anchor.
TEST(QtCanvas, TextWithAnEscapementTurnsAboutItsAnchor) {
    for (const int escapement : {0, 900}) {
        QImage image = Blank(0xFFFFFFFFu, 200, 200);
        {
            QtCanvas canvas(image);
            canvas.SetFont({20, 400, "MS Sans Serif", escapement});
            canvas.SetTextColor(0x000000);
            canvas.Text(100, 100, "WWWWW");
        }
        int left = 200, right = -1, top = 200, bottom = -1;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 200; ++x)
                if (image.pixel(x, y) == 0xFF000000u) {
                    left = std::min(left, x), right = std::max(right, x);
                    top = std::min(top, y), bottom = std::max(bottom, y);
                }
        ASSERT_GE(right, 0) << escapement;
        if (escapement == 0) {
            EXPECT_GE(left, 100);
            EXPECT_LE(bottom, 100);
            EXPECT_GT(right - left, 2 * (bottom - top));
        } else {
            EXPECT_LE(right, 100);
            EXPECT_LE(bottom, 100);
            EXPECT_GT(bottom - top, 2 * (right - left));
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
