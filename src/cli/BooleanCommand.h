// zandor-cli boolean: one boolean operation between two layers of the main
// symbol, the result added as polygons on a third layer.
#pragma once

#include <string>
#include <vector>

#include "geometry/Bool_Engine.h"
#include "model/Layout.h"

namespace zandor::cli {

struct BooleanRequest {
    std::string in, out;
    BooleanOperation operation = OpOr;
    std::string errorText;  // the text shown when the engine fails
    int layerA = -1;
    int layerB = -1;  // -1: group B is empty
    int target = -1;
    int grid = 1;  // PolygonGrid
    int maxPolyNodes = 200;
};

// Parses the arguments after the command word; returns the usage problem, or
// an empty string when the request is complete.
std::string ParseBooleanArguments(const std::vector<std::string>& args, BooleanRequest& request);

// Runs the operation on the layout and adds the result polygons to the main
// symbol on the target layer, creating that layer when it does not exist.
// False (message shown) when the engine fails; the layout is then unchanged.
bool RunBoolean(Layout& layout, const BooleanRequest& request);

}  // namespace zandor::cli
