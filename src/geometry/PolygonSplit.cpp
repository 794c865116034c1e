#include "geometry/PolygonSplit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "model/Geometry.h"
#include "platform/Messages.h"

namespace zandor {

namespace {

void StorePolygon(const std::vector<Point>& polygon, const PolygonStoreOptions& options,
                  const std::function<void(const std::vector<Point>&)>& store);

// The AND of the polygon and one half rectangle, stored recursively.
void StoreHalf(const std::vector<Point>& polygon, const Rect& half, const PolygonStoreOptions& options,
               const std::function<void(const std::vector<Point>&)>& store) {
    try {
        Bool_Engine engine;
        ConfigureBooleanEngine(engine, options.polygonGrid);
        engine.BeginContour(GroupA);
        for (const Point& p : polygon) engine.AddVertex(p.X, p.Y);
        engine.EndContour();
        engine.BeginContour(GroupB);
        engine.AddVertex(half.minx, half.miny);
        engine.AddVertex(half.maxx, half.miny);
        engine.AddVertex(half.maxx, half.maxy);
        engine.AddVertex(half.minx, half.maxy);
        engine.EndContour();
        engine.Execute(OpAnd);
        StoreResultContours(engine, options, store);
    } catch (const Bool_Engine_Error&) {
        platform::ShowError("Unexpected error during polygon operation");
    }
}

void StorePolygon(const std::vector<Point>& polygon, const PolygonStoreOptions& options,
                  const std::function<void(const std::vector<Point>&)>& store) {
    const auto n = static_cast<std::int64_t>(polygon.size());
    if (n < kAlwaysSplitNodes && (n < options.maxPolyNodes || !options.splitLargePolygons)) {
        store(polygon);
        return;
    }
    Rect box{polygon[0].X, polygon[0].Y, polygon[0].X, polygon[0].Y};
    for (const Point& p : polygon) {
        box.minx = std::min(box.minx, p.X);
        box.miny = std::min(box.miny, p.Y);
        box.maxx = std::max(box.maxx, p.X);
        box.maxy = std::max(box.maxy, p.Y);
    }
    const std::int64_t width = static_cast<std::int64_t>(box.maxx) - box.minx;
    const std::int64_t height = static_cast<std::int64_t>(box.maxy) - box.miny;
    // A box of at most one unit on its longer side cannot be cut any smaller
    // (a half would be the whole box again); no real contour gets here, since
    // the engine keeps vertices a marge apart.  Keep it when a record can hold
    // it rather than cutting without end.
    if (std::max(width, height) <= 1) {
        if (n < kAlwaysSplitNodes) {
            store(polygon);
        } else {
            platform::ShowError("Unexpected error during polygon operation");
        }
        return;
    }
    Rect first = box, second = box;
    if (height < width) {
        const std::int32_t cut = RoundHalfAway((static_cast<double>(box.minx) + box.maxx) / 2);
        first.maxx = cut;
        second.minx = cut;
    } else {
        const std::int32_t cut = RoundHalfAway((static_cast<double>(box.miny) + box.maxy) / 2);
        first.maxy = cut;
        second.miny = cut;
    }
    StoreHalf(polygon, first, options, store);
    StoreHalf(polygon, second, options, store);
}

}  // namespace

void StoreResultContours(Bool_Engine& engine, const PolygonStoreOptions& options,
                         const std::function<void(const std::vector<Point>&)>& store) {
    std::vector<Point> polygon;
    polygon.reserve(1024);
    while (engine.NextResultContour()) {
        polygon.clear();
        while (engine.NextResultVertex()) {
            polygon.push_back({RoundHalfAway(engine.VertexX()), RoundHalfAway(engine.VertexY())});
        }
        engine.DropResultContour();
        if (!polygon.empty()) StorePolygon(polygon, options, store);
    }
}

}  // namespace zandor
