#include "editing/LayerBoolean.h"

#include <memory>
#include <vector>

#include "editing/ObjectPolygons.h"
#include "geometry/PolygonSplit.h"
#include "model/Geometry.h"
#include "model/HierarchyWalker.h"
#include "model/RecordViews.h"
#include "platform/Messages.h"

namespace zandor {

namespace {

// Feeds the rectangles, boxes and polygons on layers A and B.
struct Feeder : WalkVisitor {
    Feeder(Bool_Engine& engine, int layerA, int layerB) : engine(engine), layerA(layerA), layerB(layerB) {}

    void Object(const Word* r, const TransformMatrix& m, int) {
        const int layer = RecordLayer(r);
        const bool inA = layer == layerA, inB = layer == layerB;
        if (!inA && !inB) return;
        if (!PlainOutline(r, points)) return;
        TransformPoints(points.data(), static_cast<int>(points.size()), m);
        if (inA) AddContour(GroupA);
        if (inB) AddContour(GroupB);
    }

    void AddContour(GroupType group) {
        engine.BeginContour(group);
        for (const Point& p : points) engine.AddVertex(p.X, p.Y);
        engine.EndContour();
    }

    Bool_Engine& engine;
    int layerA, layerB;
    std::vector<Point> points;
};

}  // namespace

bool RunLayerBoolean(Layout& layout, SymbolDescription& symbol, const LayerBooleanRequest& request) {
    platform::Progress().SetProgress(0);
    std::vector<std::vector<Point>> results;
    try {
        Bool_Engine engine;
        ConfigureBooleanEngine(engine, request.grid);
        Feeder feeder(engine, request.layerA, request.layerB);
        HierarchyWalker(layout).Walk(static_cast<const SymbolDescription&>(symbol), TransformMatrix{}, feeder);
        platform::Progress().SetProgress(10);
        engine.Execute(request.operation);
        platform::Progress().SetProgress(70);
        PolygonStoreOptions options;
        options.polygonGrid = request.grid;
        options.maxPolyNodes = request.maxPolyNodes;
        StoreResultContours(engine, options, [&](const std::vector<Point>& p) { results.push_back(p); });
    } catch (const Bool_Engine_Error&) {
        platform::Progress().SetProgress(100);
        platform::ShowError(request.errorText);
        return false;
    }
    platform::Progress().SetProgress(90);
    if (!layout.Layer(request.target)) {
        layout.SetLayer(std::make_unique<LayerDescription>(request.target, ""));
    }
    for (const auto& polygon : results) {
        symbol.AddPolygon(polygon.data(), static_cast<int>(polygon.size()), request.target);
    }
    platform::Progress().SetProgress(100);
    return true;
}

}  // namespace zandor
