// Drawing a symbol and everything it calls onto a canvas.  Geometry stays in
// database units, is clipped to the layout's visible rectangle and only then
// mapped to pixels, so huge objects never reach the device's coordinate
// limits.  A pass on a window's canvas gives up when the user presses a key or
// a mouse button (the window paints again later).
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "model/ObjectRecord.h"
#include "model/Types.h"
#include "platform/Canvas.h"

namespace zandor {

class Layout;
class SymbolDescription;
class LayerDescription;
struct SymbolView;

// Tools of the drawing that do not depend on layers.
constexpr std::uint32_t kSymbolOutlineColor = 0x0000FF;  // red
constexpr std::uint32_t kGroupOutlineColor = 0xFF0000;   // blue
CanvasFont SymbolNameFont();
CanvasPen LayerPen(const LayerDescription& layer);
CanvasBrush LayerBrush(const LayerDescription& layer);

class ObjectDrawing {
public:
    ObjectDrawing(Layout& layout, Canvas& canvas);

    // A whole pass over the shown symbol.  selectNameFont is off for
    // printing and pictures, which keep the canvas's font.  Returns false when
    // the pass was abandoned for user input.
    bool DrawLayout(bool selectNameFont = true, bool measureLine = true);

    // Draws the records of a symbol under m; level 0 is the shown symbol.
    // Only inside a pass.
    void DrawSymbol(SymbolDescription& symbol, int level, const TransformMatrix& m);
    // One record of kinds 1..7 with the pen and brush in force (feedback of
    // the interaction modes).
    void DrawRecord(const Word* record, const TransformMatrix& m);

    // Points in database units, closed by the caller where it matters.
    void DrawPolygon(const Point* points, int count);
    void DrawWirePath(std::int32_t width, int endStyle, const Point* nodes, int count);
    void DrawCircle(Point centre, std::int32_t radius);
    void DrawMeasureLine(const SymbolDescription& symbol);
    void DrawMeasureLine(const SymbolView& line);
    // Selection marks, drawn inverted after a pass: squares at the reference
    // points of the selected objects (modes 0 and 2; other modes mark only the
    // current object), in the node mode (1) a square at every node of the
    // node list and a filled one at each selected node, and the dotted frame
    // of the selection box.
    void DrawSelectionHandles(SymbolDescription& symbol, int mode);
    void DrawSelectionFrame(const SymbolDescription& symbol, int mode);

    bool Abandoned() const { return abandoned; }

private:
    struct PassVisitor;
    // The steps of the hierarchy walk: records, calls and arrays (m the outer
    // matrix, s and e the composed ones).
    void DrawObject(Word* record, const TransformMatrix& m);
    bool EnterCall(Word* record, SymbolDescription* called, const TransformMatrix& m, const TransformMatrix& s,
                   int level);
    void LeaveCall(SymbolDescription& called, const TransformMatrix& s, int level);
    bool EnterArray(Word* record, SymbolDescription* called, const TransformMatrix& m, int level);
    void LeaveElement(Word* record, SymbolDescription& called, const TransformMatrix& e);
    void LeaveArray(Word* record, SymbolDescription& called, const TransformMatrix& m, int level);
    // The elements of an array that can meet the view, column by column.
    void DrawElements(Word* record, SymbolDescription& called, const TransformMatrix& m, int level);
    // Arrays whose elements are all dots: each pixel that holds a dot is drawn
    // once, however many elements fall on it.
    void DrawElementDots(Word* record, SymbolDescription& called, const TransformMatrix& m, int firstColumn,
                         int lastColumn);
    bool Open(const SymbolDescription* symbol) const;
    // The outline (and at level 0 the name) that follows a call's contents.
    void DrawCallBorder(SymbolDescription& called, const TransformMatrix& s, int level);
    // A placement whose box holds far more objects than pixels is drawn as
    // that box in the brush of each layer its symbol paints; true when it was.
    bool DrawDense(SymbolDescription& called, const Point* box, const Rect& bounds);

    // What drawing a symbol in full would take: the records it places
    // through every level, and the layers they are on.
    struct Load {
        double objects = 0;
        std::vector<int> layers;  // sorted
        bool done = false;
    };
    const Load& LoadOf(SymbolDescription& symbol);
    void DrawGroup(Word* record, const TransformMatrix& m);
    void DrawRectangleRecord(const Word* r, const TransformMatrix& m);
    void DrawBox(const Word* r, const TransformMatrix& m);
    void DrawPolygonRecord(const Word* r, const TransformMatrix& m);
    void DrawWire(const Word* r, const TransformMatrix& m);
    void DrawCircleRecord(const Word* r, const TransformMatrix& m);
    void DrawRing(const Word* r, const TransformMatrix& m);
    void DrawArcWire(const Word* r, const TransformMatrix& m);
    // An axis-parallel rectangle; false when it lies outside the view.
    bool DrawAxisRectangle(Rect box, bool outlineOnly);
    // At most four corners (boxes and parallelograms).
    void DrawClosedOutline(const Point* corners, int count);
    void DrawCircleCorners(Point centre, std::int32_t radius);
    void DrawDiagonals(const Point* corners);
    void SelectOutlinePen(bool scaled);
    void WriteName(Point at, const std::string& text);
    bool PollInput();

    bool Visible(const Rect& bounds) const;
    // The 2 x 2 pixel dot that stands for objects smaller than minObjectSize;
    // true when it was drawn and nothing else is to be drawn.
    bool DrawDot(const Rect& bounds);
    PixelPoint Map(Point p) const;
    // Hands the mapped points in `pixels` to the canvas (filled or outlined).
    void EmitPolygon();

    Layout& layout;
    Canvas& canvas;
    Rect view;
    std::int32_t originX, originY;  // xmin and ymax of the view
    double scaleX, scaleY;          // pixels per nanometre
    int lastLayer = -1;
    bool layerVisible = true;
    bool abandoned = false;
    int sincePoll = 0;  // records drawn since the input was last polled
    // The symbols entered on the way down, to cut cycles of calls in damaged
    // layouts (array elements are drawn by passes of their own).
    std::vector<const SymbolDescription*> open;
    std::unordered_map<const SymbolDescription*, Load> loads;  // for this pass
    std::vector<Point> clipped;
    std::vector<Point> clipWork;
    std::vector<Point> recordPoints;
    std::vector<PixelPoint> pixels;
};

// The three entry points of the editor: the window's pass, a pass on another
// canvas (printing, pictures) and one with the name font (metafiles).  The
// window's pass leaves the measuring line out: the view draws it over the
// pass with the other marks, so that it can follow the pointer.
bool DrawLayout(Layout& layout, Canvas& windowCanvas);
bool DrawLayoutOnCanvas(Layout& layout, Canvas& canvas);
bool DrawLayoutOnCanvasWithFont(Layout& layout, Canvas& canvas);

}  // namespace zandor
