// A canvas that keeps a list of what was drawn, with the pen, brush and raster
// operation in force, for tests of the drawing code.
#pragma once

#include <string>
#include <vector>

#include "platform/Canvas.h"

namespace zandor {

class RecordingCanvas : public Canvas {
public:
    enum class Shape { Polygon, Polyline, Rectangle, Ellipse, EllipseOutline, Line, Pixel, Text, XorText };

    struct Entry {
        Shape shape;
        std::vector<PixelPoint> points;  // corners for Rectangle/Ellipse, ends for Line, anchor for Text
        std::string text;
        RasterOp op;
        CanvasPen pen;
        CanvasBrush brush;
        CanvasFont font;
    };

    RasterOp SetRasterOp(RasterOp op) override {
        const RasterOp old = rasterOp;
        rasterOp = op;
        return old;
    }
    void SetPen(const CanvasPen& p) override { pen = p; }
    void SetBrush(const CanvasBrush& b) override { brush = b; }
    void SetFont(const CanvasFont& f) override { font = f; }
    void SetTextColor(std::uint32_t color) override { textColor = color; }

    void Polygon(const PixelPoint* p, int n) override { Add(Shape::Polygon, {p, p + n}); }
    void Polyline(const PixelPoint* p, int n) override { Add(Shape::Polyline, {p, p + n}); }
    void Rectangle(int x1, int y1, int x2, int y2) override { Add(Shape::Rectangle, {{x1, y1}, {x2, y2}}); }
    void Ellipse(int x1, int y1, int x2, int y2) override { Add(Shape::Ellipse, {{x1, y1}, {x2, y2}}); }
    void EllipseOutline(int x1, int y1, int x2, int y2) override { Add(Shape::EllipseOutline, {{x1, y1}, {x2, y2}}); }
    void Line(int x1, int y1, int x2, int y2) override { Add(Shape::Line, {{x1, y1}, {x2, y2}}); }
    void SetPixel(int x, int y, std::uint32_t color) override {
        Add(Shape::Pixel, {{x, y}});
        entries.back().pen.color = color;
    }
    void Text(int x, int y, std::string_view text) override {
        Add(Shape::Text, {{x, y}});
        entries.back().text = std::string(text);
    }
    // A fixed-pitch stand-in: 8 pixels a character, the font's height.
    PixelPoint TextExtent(std::string_view text, const CanvasFont& f) override {
        return {static_cast<int>(text.size()) * 8, f.height};
    }
    void XorTextBlock(int x, int y, std::string_view text, const CanvasFont& f) override {
        Add(Shape::XorText, {{x, y}});
        entries.back().text = std::string(text);
        entries.back().font = f;
    }
    bool InputPending() override { return ++inputPolls > interruptAfterPolls && interruptAfterPolls >= 0; }

    std::vector<Entry> entries;
    RasterOp rasterOp = RasterOp::Copy;
    CanvasPen pen;
    CanvasBrush brush;
    CanvasFont font;
    std::uint32_t textColor = 0;
    int inputPolls = 0;
    // When >= 0, input is reported waiting from the poll after this many.
    int interruptAfterPolls = -1;

private:
    void Add(Shape shape, std::vector<PixelPoint> points) {
        entries.push_back({shape, std::move(points), {}, rasterOp, pen, brush, font});
    }
};

}  // namespace zandor
