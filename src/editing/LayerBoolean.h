// One boolean operation between two layers of a symbol, through all its calls
// and arrays, with the result added as polygons on a third layer: the engine
// behind the editor's layer booleans and `zandor-cli boolean`.
#pragma once

#include <string>

#include "geometry/Bool_Engine.h"
#include "model/Layout.h"

namespace zandor {

struct LayerBooleanRequest {
    BooleanOperation operation = OpOr;
    std::string errorText;  // shown when the engine fails ("Unexpected error during Merge operation")
    int layerA = -1;
    int layerB = -1;  // -1: group B is empty
    int target = -1;
    int grid = 1;  // PolygonGrid: nm, 0 = 0.01 nm
    int maxPolyNodes = 200;
};

// The rectangles, boxes and polygons of `symbol` on layer A (group A) and B
// (group B), mapped through every call and array element into the symbol's
// coordinates, go into the engine; a layer given as both A and B feeds both
// groups.  The result polygons are added to `symbol` on the target layer,
// which is created with default settings when missing.  False (error
// message shown) when the engine fails; the layout is then unchanged.
bool RunLayerBoolean(Layout& layout, SymbolDescription& symbol, const LayerBooleanRequest& request);

}  // namespace zandor
