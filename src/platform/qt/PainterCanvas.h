// The drawing canvas on any QPainter as vector output (SVG pictures).  Vector
// devices know no raster operations: every drawing is copied, and a hatched
// fill becomes a translucent fill of its colour, so that overlapping layers
// stay visible through each other.
#pragma once

#include <QPainter>

#include "platform/Canvas.h"

namespace zandor {

class PainterCanvas : public Canvas {
public:
    // The painter must be active and outlive the canvas.
    explicit PainterCanvas(QPainter& painter);

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
    // Inverting overlays have no meaning on paper: nothing is drawn.
    void XorTextBlock(int x, int y, std::string_view text, const CanvasFont& font) override;

private:
    QPen OutlinePen() const;
    QBrush FillBrush() const;

    QPainter& painter;
    RasterOp op = RasterOp::Copy;
    CanvasPen pen;
    CanvasBrush brush;
    CanvasFont font;
    std::uint32_t textColour = 0;
};

}  // namespace zandor
