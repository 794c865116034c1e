#include <gtest/gtest.h>

#include "editing/LayerBoolean.h"
#include "geometry/PolygonArea.h"
#include "model/Layout.h"
#include "model/RecordViews.h"
#include "platform/headless/RecordingMessages.h"

using namespace zandor;

namespace {

// Sum of the result polygons' areas on a layer, in nm^2.
double AreaOn(SymbolDescription& symbol, int layer) {
    double area = 0;
    for (const Word* r = symbol.FirstRecord(); r; r = symbol.NextRecord(r)) {
        if (RecordKind(r) != ObjectKind::Polygon || RecordLayer(r) != layer) continue;
        const PolygonView polygon(r);
        double twice = 0;
        for (int i = 0, n = polygon.NodeCount(); i < n; ++i) {
            const Point a = polygon.Node(i), b = polygon.Node((i + 1) % n);
            twice += double(a.X) * b.Y - double(b.X) * a.Y;
        }
        area += std::abs(twice) / 2;
    }
    return area;
}

}  // namespace

// Layer A reaches the engine through an array inside a rotated call, layer B
// is a box; their intersection lands on the target layer of the top symbol.
TEST(LayerBoolean, FeedsBothLayersThroughCallsAndArrays) {
    Layout layout;
    SymbolDescription& top = *layout.MainSymbol();
    SymbolDescription& cell = *layout.AddSymbol(1, "cell");
    SymbolDescription& block = *layout.AddSymbol(2, "block");
    cell.AddRectangle(0, 0, 1000, 1000, 1);
    block.InsertArray(1, {0, 0}, {4000, 0}, {0, 2000}, 2, 1, 1.0, 0.0);  // at x 0 and 2000
    top.InsertSymbolCallMatrix(2, {0, 1, -1, 0, 0, 0});                  // squares now at y 0 and 2000
    top.AddBox(-500, 1500, 4000, 1000, 90.0, 2);                         // x -1000..0, y -500..3500

    LayerBooleanRequest request;
    request.operation = OpAnd;
    request.errorText = "Unexpected error during Intersect operation";
    request.layerA = 1;
    request.layerB = 2;
    request.target = 9;
    ASSERT_TRUE(RunLayerBoolean(layout, top, request));
    ASSERT_NE(layout.Layer(9), nullptr) << "the target layer is created";
    EXPECT_DOUBLE_EQ(AreaOn(top, 9), 2 * 1000.0 * 1000.0);
}
