// The drawing surface the layout is drawn on: a raster device addressed in
// pixels (x to the right, y downwards).  The editor implements it on an image
// back buffer, the tests record what is asked of it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zandor {

struct PixelPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const PixelPoint&, const PixelPoint&) = default;
};

// How a drawn pixel combines with the one already there.  Merge (OR) on a
// black background and mask (AND) on a white one mix the colours of
// overlapping layers; Not inverts, so drawing twice removes the drawing.
enum class RasterOp { Copy, Merge, Mask, Not, Xor };

enum class PenStyle : int { Solid = 0, Dash = 1, Dot = 2, DashDot = 3, DashDotDot = 4, Null = 5 };

// Colours are 0x00BBGGRR.
struct CanvasPen {
    PenStyle style = PenStyle::Solid;
    std::uint32_t color = 0;
    int width = 1;
    friend bool operator==(const CanvasPen&, const CanvasPen&) = default;
};

// style: -1 solid, 0..5 the hatch styles of the layer table (horizontal,
// vertical, forward diagonal, backward diagonal, cross, diagonal cross),
// 6 null (nothing filled).
struct CanvasBrush {
    int style = 6;
    std::uint32_t color = 0;
    friend bool operator==(const CanvasBrush&, const CanvasBrush&) = default;
};

struct CanvasFont {
    int height = 12;  // pixels
    int weight = 400;
    std::string face;
    int escapement = 0;  // tenths of a degree, counter-clockwise
    friend bool operator==(const CanvasFont&, const CanvasFont&) = default;
};

class Canvas {
public:
    virtual ~Canvas() = default;

    // Returns the previous operation.
    virtual RasterOp SetRasterOp(RasterOp op) = 0;
    virtual void SetPen(const CanvasPen& pen) = 0;
    virtual void SetBrush(const CanvasBrush& brush) = 0;
    virtual void SetFont(const CanvasFont& font) = 0;
    virtual void SetTextColor(std::uint32_t color) = 0;

    // Filled with the brush (non-zero winding) and outlined with the pen.
    virtual void Polygon(const PixelPoint* points, int count) = 0;
    // Open line through the points with the pen; the last pixel included.
    virtual void Polyline(const PixelPoint* points, int count) = 0;
    // The pixels x1..x2 by y1..y2, both edges included, filled with the
    // brush and outlined with the pen.
    virtual void Rectangle(int x1, int y1, int x2, int y2) = 0;
    // The ellipse inscribed in the box x1..x2 by y1..y2 (edges included),
    // filled and outlined.
    virtual void Ellipse(int x1, int y1, int x2, int y2) = 0;
    // Only the outline of that ellipse, with the pen.
    virtual void EllipseOutline(int x1, int y1, int x2, int y2) = 0;
    // A line of the pen from (x1, y1) to (x2, y2), the last pixel excluded.
    virtual void Line(int x1, int y1, int x2, int y2) = 0;
    // One pixel set to a colour, whatever the raster operation.
    virtual void SetPixel(int x, int y, std::uint32_t color) = 0;
    // Text whose baseline-bottom left corner is at (x, y), in the text colour,
    // with a transparent background; a font with an escapement turns it about
    // that corner.
    virtual void Text(int x, int y, std::string_view text) = 0;
    // Width and height in pixels of text in `font`.
    virtual PixelPoint TextExtent(std::string_view text, const CanvasFont& font) = 0;
    // Draws text in `font` white on black into a square off-screen bitmap whose
    // side is the text's width plus its height, and combines the bitmap with
    // the canvas by exclusive or, centred on (x, y): drawing it twice removes it.
    virtual void XorTextBlock(int x, int y, std::string_view text, const CanvasFont& font) = 0;

    // True when a key press or a mouse button press waits for the window this
    // canvas paints; a drawing pass then gives up.  Canvases that are not a
    // window's own (printing, pictures, files) never interrupt.
    virtual bool InputPending() { return false; }
};

}  // namespace zandor
