// The drawing canvas on a Qt image (RGB32): the editor's back buffer, pictures
// and the command-line renderer.  Fills go through QPainter with the raster
// operation as composition mode; lines and outlines are set pixel by pixel, so
// that "not" and "xor" hit every pixel exactly once and the last pixel of a
// line is left out as the drawing code expects.
#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>
#include <functional>
#include <vector>

#include "platform/Canvas.h"

namespace zandor {

class QtCanvas : public Canvas {
public:
    // The image must be Format_RGB32 and outlive the canvas.
    explicit QtCanvas(QImage& image);
    ~QtCanvas() override;

    RasterOp SetRasterOp(RasterOp op) override;
    void SetPen(const CanvasPen& pen) override;
    void SetBrush(const CanvasBrush& brush) override;
    void SetFont(const CanvasFont& font) override;
    void SetTextColor(std::uint32_t color) override;

    void Polygon(const PixelPoint* points, int count) override;
    void Polyline(const PixelPoint* points, int count) override;
    void Rectangle(int x1, int y1, int x2, int y2) override;
    void Ellipse(int x1, int y1, int x2, int y2) override;
    void EllipseOutline(int x1, int y1, int x2, int y2) override;
    void Line(int x1, int y1, int x2, int y2) override;
    void SetPixel(int x, int y, std::uint32_t color) override;
    void Text(int x, int y, std::string_view text) override;
    PixelPoint TextExtent(std::string_view text, const CanvasFont& font) override;
    void XorTextBlock(int x, int y, std::string_view text, const CanvasFont& font) override;
    bool InputPending() override { return inputPending && inputPending(); }

    // Fills the whole image with one colour (0x00BBGGRR), whatever the operation.
    void Clear(std::uint32_t color);
    // Hatches are aligned to this device pixel (a scrolled back buffer moves it).
    void SetBrushOrigin(int x, int y);

    // Set by a window's view: true when a key or button press waits.
    std::function<bool()> inputPending;

    static QColor ToQColor(std::uint32_t color);
    static QFont ToQFont(const CanvasFont& font);

private:
    void ApplyBrush();
    void PlotPixel(int x, int y, QRgb colour);
    void PenLine(int x1, int y1, int x2, int y2);
    void FillRect(int x1, int y1, int x2, int y2);

    QImage& image;
    QPainter painter;
    RasterOp op = RasterOp::Copy;
    CanvasPen pen;
    CanvasBrush brush;
    CanvasFont font;
    QRgb textColour = 0xFF000000u;
    QRgb penColour = 0xFF000000u;
    std::vector<QPoint> scratch;
    uchar* bits = nullptr;  // the image's pixels, fixed while the canvas lives
    qsizetype stride = 0;
    int imageWidth = 0, imageHeight = 0;
    int brushOriginX = 0, brushOriginY = 0;
    int dashPosition = 0;  // position in the pen's dash pattern, carried along a polyline
    // Hatch brushes made so far, by style, colour and gap colour; the oldest
    // goes first when more are needed.
    struct HatchKey {
        int style;
        QRgb colour;
        QRgb gap;
        bool operator==(const HatchKey&) const = default;
    };
    static constexpr std::size_t kHatchesKept = 32;
    std::vector<std::pair<HatchKey, QBrush>> hatches;
};

}  // namespace zandor
