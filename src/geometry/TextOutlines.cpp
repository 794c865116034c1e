#include "geometry/TextOutlines.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "geometry/Bool_Engine.h"
#include "geometry/PolygonSplit.h"
#include "model/Geometry.h"
#include "model/ModelSettings.h"
#include "model/RecordTransform.h"
#include "model/SymbolDescription.h"
#include "model/UndoList.h"
#include "platform/FontOutlines.h"
#include "platform/Messages.h"

namespace zandor {

namespace {

constexpr const char* kConversionError = "Unexpected error during text to polygon conversion";

std::unique_ptr<Bool_Engine> NewEngine() {
    auto engine = std::make_unique<Bool_Engine>();
    ConfigureBooleanEngine(*engine, Settings().polygonGrid);
    return engine;
}

std::int32_t WholePart(std::int64_t fixed) { return static_cast<std::int32_t>(fixed >> 16); }
std::int64_t ClearFraction(std::int64_t fixed) { return (fixed >> 16) * 65536; }

// The outline of one character after another, fed into boolean engines in
// database units.
class CGlyph {
public:
    CGlyph(platform::FontOutlineService& source, const platform::FontRequest& font) : source(source), font(font) {}

    double scale = 100.0;  // database units per font unit
    std::int64_t penX = 0, penY = 0;

    // The ink height of a capital E becomes `height`.
    void ScaleTo(std::int32_t height) {
        platform::GlyphMetrics metrics;
        if (source.Metrics(font, 'E', metrics) && metrics.blackBoxY != 0) {
            scale = static_cast<double>(height) / metrics.blackBoxY;
        }
    }

    bool Load(unsigned char code) { return source.Outline(font, code, outline); }

    // Turns the loaded outline into the contours of `engine`, combining the
    // contours by exclusive or so that inner contours become holes, and
    // returns the engine that holds the result.  A Bool_Engine_Error of the
    // exclusive or reaches the caller: the character is lost.
    std::unique_ptr<Bool_Engine> Convert(std::unique_ptr<Bool_Engine> engine) {
        bool first = true;
        for (const platform::OutlineContour& contour : outline.contours) {
            // Another contour type means the outline is not one we can read.
            if (contour.type != platform::kPolygonContour) return engine;
            engine->BeginContour(first ? GroupA : GroupB);
            points.clear();
            current = {WholePart(contour.start.x), WholePart(contour.start.y)};
            points.push_back(current);
            for (const platform::OutlineRecord& record : contour.records) {
                if (record.type == platform::kPolylineRecord) {
                    for (const platform::FixedPoint& p : record.points) {
                        current = {WholePart(p.x), WholePart(p.y)};
                        points.push_back(current);
                    }
                } else if (record.type == platform::kQuadraticSplineRecord) {
                    AddSpline(record.points);
                }
            }
            // Repeated points (a spline that ends on the start, pieces shorter
            // than a font unit) would only give zero-length edges.
            const int n = RemoveRepeatedPoints(points.data(), static_cast<int>(points.size()));
            for (int i = 0; i < n; ++i) {
                engine->AddVertex(points[i].X * scale + static_cast<double>(penX),
                                  points[i].Y * scale + static_cast<double>(penY));
            }
            engine->EndContour();
            if (!first) engine = CombineContours(std::move(engine));
            first = false;
        }
        penX += static_cast<std::int64_t>(std::trunc(outline.metrics.cellIncX * scale));
        penY += static_cast<std::int64_t>(std::trunc(outline.metrics.cellIncY * scale));
        return engine;
    }

private:
    // Flattens a quadratic B-spline from the current point: each piece
    // (control Bi, end at the midpoint of Bi and Bi+1, or the last point) is
    // cut twice at its middle by de Casteljau's construction in 16.16
    // arithmetic, giving four segments.
    void AddSpline(const std::vector<platform::FixedPoint>& b) {
        const std::size_t n = b.size();
        for (std::size_t i = 0; i + 1 < n; ++i) {
            std::int64_t endX = b[n - 1].x, endY = b[n - 1].y;
            if (i + 2 < n) {
                endX = (std::int64_t{b[i].x} + b[i + 1].x) >> 1;
                endY = (std::int64_t{b[i].y} + b[i + 1].y) >> 1;
            }
            Quadratic({std::int64_t{current.X} * 65536, std::int64_t{current.Y} * 65536},
                      {ClearFraction(b[i].x), ClearFraction(b[i].y)}, {ClearFraction(endX), ClearFraction(endY)});
        }
    }

    struct Fixed64 {
        std::int64_t x, y;
    };
    static Fixed64 Mid(Fixed64 a, Fixed64 b) { return {(a.x + b.x) >> 1, (a.y + b.y) >> 1}; }

    void Quadratic(Fixed64 p0, Fixed64 p1, Fixed64 p2) {
        const Fixed64 m01 = Mid(p0, p1), m12 = Mid(p1, p2), middle = Mid(m01, m12);
        const Fixed64 quarter = Mid(Mid(p0, m01), Mid(m01, middle));
        const Fixed64 threeQuarters = Mid(Mid(middle, m12), Mid(m12, p2));
        for (const Fixed64& p : {quarter, middle, threeQuarters, p2}) {
            current = {WholePart(p.x), WholePart(p.y)};
            points.push_back(current);
        }
    }

    // The exclusive or of the contours so far, carried over as group A of a
    // fresh engine for the next contour.
    static std::unique_ptr<Bool_Engine> CombineContours(std::unique_ptr<Bool_Engine> engine) {
        engine->Execute(OpExor);
        std::unique_ptr<Bool_Engine> next = NewEngine();
        try {
            while (engine->NextResultContour()) {
                next->BeginContour(GroupA);
                while (engine->NextResultVertex()) next->AddVertex(engine->VertexX(), engine->VertexY());
                next->EndContour();
                engine->DropResultContour();
            }
        } catch (const Bool_Engine_Error&) {
            // Leave no contour open for the next one to land in.
            next->EndContour();
            platform::ShowError(kConversionError);
        }
        return next;
    }

    platform::FontOutlineService& source;
    platform::FontRequest font;
    platform::GlyphOutline outline;
    Point current;
    std::vector<Point> points;
};

platform::FontRequest RequestOf(const LOGFONTA& font) {
    platform::FontRequest request;
    const std::size_t length = strnlen(font.lfFaceName, sizeof font.lfFaceName);
    request.faceName.assign(font.lfFaceName, length);
    request.height = font.lfHeight;
    request.width = font.lfWidth;
    request.weight = font.lfWeight;
    request.italic = font.lfItalic != 0;
    request.charSet = font.lfCharSet;
    request.pitchAndFamily = font.lfPitchAndFamily;
    return request;
}

// Transforms of the new text change records inserted in the same undo step:
// undoing the insertion removes them anyway, so no copies are kept.
class UndoPause {
public:
    explicit UndoPause(TUndoList& undo) : undo(undo), was(undo.IsRecording()) { undo.SetRecording(false); }
    ~UndoPause() { undo.SetRecording(was); }
    UndoPause(const UndoPause&) = delete;
    UndoPause& operator=(const UndoPause&) = delete;

private:
    TUndoList& undo;
    bool was;
};

// The symbol's box before the text, to be joined with the text's final box.
struct BoxBefore {
    Rect box;
    bool any;
};

void JoinTextBox(SymbolDescription& symbol, const BoxBefore& before, std::int32_t headOffset) {
    const Rect text = ObjectBounds(symbol.RecordAt(headOffset), symbol.OwnerLayout());
    Rect box = text;
    if (before.any) {
        box.minx = std::min(before.box.minx, text.minx);
        box.miny = std::min(before.box.miny, text.miny);
        box.maxx = std::max(before.box.maxx, text.maxx);
        box.maxy = std::max(before.box.maxy, text.maxy);
    }
    symbol.minx = box.minx;
    symbol.miny = box.miny;
    symbol.maxx = box.maxx;
    symbol.maxy = box.maxy;
}

// New records are never selected, so the selection can only have changed
// when there is one; walking a large symbol for nothing after every text of
// a file being read would make reading quadratic.
void RefreshSelection(SymbolDescription& symbol) {
    if (symbol.selectedCount > 0 || symbol.currentObject >= 0) symbol.UpdateSelection();
}

// The head and its member polygons at (x, y), unrotated.  Returns the head's
// word offset, or -1 when it could not be created.
std::int64_t BuildText(SymbolDescription& symbol, std::string_view text, std::int32_t height, std::int32_t x,
                       std::int32_t y, int layer, const LOGFONTA& font) {
    symbol.currentLayer = layer;
    Word* head = symbol.AddText(x, y, 0, text, height, font, layer);
    if (!head) return -1;
    const std::int32_t headOffset = symbol.OffsetOf(head);

    CGlyph glyph(platform::FontOutlines(), RequestOf(font));
    glyph.ScaleTo(height);
    glyph.penX = x;
    glyph.penY = y;
    const PolygonStoreOptions options{Settings().polygonGrid, Settings().maxPolyNodes,
                                      Settings().splitLargePolygons};
    int members = 0;
    // Counted as each polygon is stored, so that the head counts exactly the
    // member records that follow it even when an engine fails half-way.
    const auto store = [&](const std::vector<Point>& polygon) {
        std::vector<Point> nodes = polygon;
        const int n = RemoveRepeatedPoints(nodes.data(), static_cast<int>(nodes.size()));
        if (n < 3) return;
        if (Word* r = symbol.AddPolygon(nodes.data(), n, layer)) {
            SetMemberBit(r, true);
            ++members;
        }
    };
    const auto space = static_cast<std::int64_t>(std::trunc(0.6 * height));
    for (const char c : text) {
        if (c == ' ') {
            glyph.penX += space;
            continue;
        }
        try {
            std::unique_ptr<Bool_Engine> engine = NewEngine();
            if (!glyph.Load(static_cast<unsigned char>(c))) continue;
            engine = glyph.Convert(std::move(engine));
            StoreResultContours(*engine, options, store);
        } catch (const Bool_Engine_Error&) {
            platform::ShowError(kConversionError);
        }
    }
    symbol.RecordAt(headOffset)[3] = members;
    return headOffset;
}

}  // namespace

bool AddTextOutlines(SymbolDescription& symbol, std::string_view text, std::int32_t height, std::int32_t x,
                     std::int32_t y, double angle, int layer, const LOGFONTA& font) {
    const BoxBefore before{symbol.Bounds(), symbol.objectCount > 0};
    const std::int64_t headOffset = BuildText(symbol, text, height, x, y, layer, font);
    if (headOffset < 0) return false;
    const auto offset = static_cast<std::int32_t>(headOffset);
    // A damaged angle (not a number) would send every point to the origin.
    if (angle != 0 && std::isfinite(angle)) {
        UndoPause pause(symbol.Undo());
        RotateRecord(symbol, symbol.RecordAt(offset), x, y, angle);
    }
    JoinTextBox(symbol, before, offset);
    RefreshSelection(symbol);
    return true;
}

std::int64_t AddTextOutlinesWithMatrix(SymbolDescription& symbol, std::string_view text, std::int32_t height,
                                       const TransformMatrix& transform, int layer, const LOGFONTA& font) {
    const BoxBefore before{symbol.Bounds(), symbol.objectCount > 0};
    const std::int64_t headOffset = BuildText(symbol, text, height, 0, 0, layer, font);
    if (headOffset < 0) return -1;
    const auto offset = static_cast<std::int32_t>(headOffset);
    const DecomposedTransform parts = DecomposeTransform(transform);
    {
        UndoPause pause(symbol.Undo());
        // Parts that are not numbers (a damaged matrix) are left out rather
        // than collapsing the text.
        if ((parts.scaleX != 1 || parts.scaleY != 1) && std::isfinite(parts.scaleX) && std::isfinite(parts.scaleY)) {
            ScaleRecord(symbol, symbol.RecordAt(offset), 0, 0, parts.scaleX, parts.scaleY);
        }
        if (parts.angle != 0 && std::isfinite(parts.angle)) {
            const double degrees = RoundHalfAway(parts.angle * 180.0 / kPi * 1000.0) / 1000.0;
            RotateRecord(symbol, symbol.RecordAt(offset), 0, 0, degrees);
        }
        const std::int32_t dx = RoundHalfAway(parts.tx), dy = RoundHalfAway(parts.ty);
        if (dx != 0 || dy != 0) MoveRecord(symbol, symbol.RecordAt(offset), dx, dy);
    }
    JoinTextBox(symbol, before, offset);
    RefreshSelection(symbol);
    return headOffset;
}

}  // namespace zandor
