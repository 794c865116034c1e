// zandor-cli boolean: one boolean operation between two layers of the main
// symbol, the result added as polygons on a third layer.
#pragma once

#include <string>
#include <vector>

#include "editing/LayerBoolean.h"
#include "model/Layout.h"

namespace zandor::cli {

struct BooleanRequest {
    std::string in, out;
    LayerBooleanRequest layer;
};

// Parses the arguments after the command word; returns the usage problem, or
// an empty string when the request is complete.
std::string ParseBooleanArguments(const std::vector<std::string>& args, BooleanRequest& request);

// Runs the operation on the main symbol (RunLayerBoolean).
bool RunBoolean(Layout& layout, const BooleanRequest& request);

}  // namespace zandor::cli
