#include "geometry/TextOutlines.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "geometry/Bool_Engine.h"
#include "geometry/PolygonSplit.h"
#include "geometry/TextOutlineCache.h"
#include "model/Geometry.h"
#include "model/ModelSettings.h"
#include "model/RecordTransform.h"
#include "model/RecordViews.h"
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

using text_outlines_detail::CachedCharacter;
using text_outlines_detail::FontGlyphs;
using text_outlines_detail::GlyphShape;
using text_outlines_detail::TextOutlineCache;

// The exclusive or of the contours so far, carried over as group A of a
// fresh engine for the next contour.  `reported` is set when a message was
// shown.
std::unique_ptr<Bool_Engine> CombineContours(std::unique_ptr<Bool_Engine> engine, bool& reported) {
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
        reported = true;
    }
    return next;
}

// Feeds a character's contours (points already in database units) into
// engines, the first as group A, each later one as group B followed by an
// exclusive or, so that inner contours become holes; returns the engine that
// holds the result.  A Bool_Engine_Error of the exclusive or reaches the
// caller: the character is lost.
std::unique_ptr<Bool_Engine> CombineGlyph(const GlyphShape& shape, const std::vector<double>& xs,
                                          const std::vector<double>& ys, bool& reported) {
    std::unique_ptr<Bool_Engine> engine = NewEngine();
    int begin = 0;
    bool first = true;
    for (const int end : shape.contourEnds) {
        engine->BeginContour(first ? GroupA : GroupB);
        for (int i = begin; i < end; ++i) engine->AddVertex(xs[i], ys[i]);
        engine->EndContour();
        if (!first) engine = CombineContours(std::move(engine), reported);
        first = false;
        begin = end;
    }
    return engine;
}

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
    explicit UndoPause(UndoList& undo) : undo(undo), was(undo.IsRecording()) { undo.SetRecording(false); }
    ~UndoPause() { undo.SetRecording(was); }
    UndoPause(const UndoPause&) = delete;
    UndoPause& operator=(const UndoPause&) = delete;

private:
    UndoList& undo;
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

    platform::FontOutlineService& source = platform::FontOutlines();
    const platform::FontRequest request = RequestOf(font);
    TextOutlineCache& cache = text_outlines_detail::Cache();
    // Glyphs kept between texts (the system's fonts only), else loaded per
    // character.
    FontGlyphs* glyphs = cache.Glyphs(source, request);
    const PolygonStoreOptions options{Settings().polygonGrid, Settings().maxPolyNodes, Settings().splitLargePolygons};
    const bool reuse = cache.Begin(options.polygonGrid, options.maxPolyNodes, options.splitLargePolygons);

    // The ink height of a capital E becomes `height`: database units per
    // font unit.
    double scale = 100.0;
    platform::GlyphMetrics e;
    if ((glyphs ? glyphs->MetricsOfE(source, e) : source.Metrics(request, 'E', e)) && e.blackBoxY != 0) {
        scale = static_cast<double>(height) / e.blackBoxY;
    }
    std::int64_t penX = x, penY = y;

    int members = 0;
    std::vector<Point> nodes;
    const auto add = [&](const Point* points, int n) {
        if (Word* r = symbol.AddPolygon(points, n, layer)) {
            SetMemberBit(r, true);
            ++members;
        }
    };
    // Counted as each polygon is stored, so that the head counts exactly the
    // member records that follow it even when an engine fails half-way.
    // `kept` (when set) receives the polygons relative to `origin`.
    CachedCharacter* kept = nullptr;
    Point origin;
    const auto store = [&](const std::vector<Point>& polygon) {
        nodes = polygon;
        const int n = RemoveRepeatedPoints(nodes.data(), static_cast<int>(nodes.size()));
        if (n < 3) return;
        add(nodes.data(), n);
        if (kept) {
            for (int i = 0; i < n; ++i) kept->nodes.push_back({nodes[i].X - origin.X, nodes[i].Y - origin.Y});
            kept->polygonEnds.push_back(static_cast<int>(kept->nodes.size()));
        }
    };
    // The result of a fresh engine read as StoreResultContours reads it;
    // false when a contour had to be cut (then it went through
    // StoreResultContours itself, which reads a one-contour engine back to
    // the same nodes).
    std::vector<Point> polygon;
    const auto storeUncut = [&](Bool_Engine& engine) {
        bool uncut = true;
        while (engine.NextResultContour()) {
            polygon.clear();
            while (engine.NextResultVertex()) {
                polygon.push_back({RoundHalfAway(engine.VertexX()), RoundHalfAway(engine.VertexY())});
            }
            engine.DropResultContour();
            if (polygon.empty()) continue;
            const auto n = static_cast<std::int64_t>(polygon.size());
            if (n < kAlwaysSplitNodes && (n < options.maxPolyNodes || !options.splitLargePolygons)) {
                store(polygon);
                continue;
            }
            uncut = false;
            Bool_Engine single;
            ConfigureBooleanEngine(single, options.polygonGrid);
            single.BeginContour(GroupA);
            for (const Point& p : polygon) single.AddVertex(p.X, p.Y);
            single.EndContour();
            StoreResultContours(single, options, store);
        }
        return uncut;
    };

    GlyphShape loaded;
    std::vector<double> xs, ys;
    const auto space = static_cast<std::int64_t>(std::trunc(0.6 * height));
    for (const char c : text) {
        if (c == ' ') {
            penX += space;
            continue;
        }
        try {
            const auto code = static_cast<unsigned char>(c);
            const GlyphShape* shape = nullptr;
            if (glyphs) {
                shape = glyphs->Shape(source, code);
            } else if (platform::GlyphOutline outline; source.Outline(request, code, outline)) {
                text_outlines_detail::FlattenOutline(outline, loaded);
                shape = &loaded;
            }
            if (!shape) continue;
            const auto advance = [&] {
                if (!shape->advances) return;
                penX += static_cast<std::int64_t>(std::trunc(shape->cellIncX * scale));
                penY += static_cast<std::int64_t>(std::trunc(shape->cellIncY * scale));
            };
            const bool keyed = reuse && cache.MakeKey(*shape, scale, penX, penY, origin);
            if (keyed) {
                if (const CachedCharacter* hit = cache.Find()) {
                    advance();
                    int begin = 0;
                    for (const int end : hit->polygonEnds) {
                        nodes.clear();
                        for (int i = begin; i < end; ++i) {
                            nodes.push_back({hit->nodes[i].X + origin.X, hit->nodes[i].Y + origin.Y});
                        }
                        add(nodes.data(), end - begin);
                        begin = end;
                    }
                    ++cache.stats.hits;
                    continue;
                }
            }
            // A point (u, v) in whole font units goes to (u * scale + pen).
            xs.clear();
            ys.clear();
            for (const Point& p : shape->points) {
                xs.push_back(p.X * scale + static_cast<double>(penX));
                ys.push_back(p.Y * scale + static_cast<double>(penY));
            }
            bool reported = false;
            std::unique_ptr<Bool_Engine> engine = CombineGlyph(*shape, xs, ys, reported);
            advance();
            if (!keyed) {
                StoreResultContours(*engine, options, store);
                if (reuse) ++cache.stats.uncacheable;
                continue;
            }
            CachedCharacter result;
            kept = &result;
            const bool uncut = storeUncut(*engine);
            kept = nullptr;
            if (uncut && !reported) {
                cache.Insert(std::move(result));
                ++cache.stats.misses;
            } else {
                ++cache.stats.uncacheable;
            }
        } catch (const Bool_Engine_Error&) {
            kept = nullptr;
            platform::ShowError(kConversionError);
        }
    }
    TextView(symbol.RecordAt(headOffset)).SetMemberRecords(members);
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
