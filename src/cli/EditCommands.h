// zandor-cli grow, flatten and transform: the editing operations of the
// editor, run once over a file.  Each selects its objects in the main symbol,
// opens one undo step and calls the operation the editor's commands call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/Layout.h"

namespace zandor::cli {

// The objects an edit works on: those of one layer, or every object of the
// main symbol (calls, arrays, groups and scripts included) for "--layer all".
struct LayerChoice {
    bool all = false;
    int layer = -1;
};

struct GrowRequest {
    std::string in, out;
    LayerChoice layer;
    std::int32_t amount = 0;  // nm; negative shrinks
    bool round = false;
};

struct FlattenRequest {
    std::string in, out;
    bool keepSymbols = false;
};

enum class TransformKind { None, Move, Rotate, Scale };

struct TransformRequest {
    std::string in, out;
    LayerChoice layer;
    TransformKind kind = TransformKind::None;
    std::int32_t dx = 0, dy = 0;  // nm
    double degrees = 0;
    double fx = 1, fy = 1;
    double cx = 0, cy = 0;  // nm, possibly fractional
    bool haveCentre = false;
};

// Each parses the arguments after the command word and returns the usage
// problem, or an empty string when the request is complete.
std::string ParseGrowArguments(const std::vector<std::string>& args, GrowRequest& request);
std::string ParseFlattenArguments(const std::vector<std::string>& args, FlattenRequest& request);
std::string ParseTransformArguments(const std::vector<std::string>& args, TransformRequest& request);

// Selects, in the symbol, the objects the choice names and returns how many
// there are: with a layer, the top-level objects drawn on it (texts with
// their glyphs; calls, arrays, groups, scripts and measurements have no
// layer of their own and stay unselected); with "all", every top-level record.
int SelectObjects(SymbolDescription& symbol, const LayerChoice& choice);

// Each runs on the main symbol and returns false, with the reason shown as an
// error, when the operation was refused; the layout is then as it was loaded.
bool RunGrow(Layout& layout, const GrowRequest& request);
bool RunFlatten(Layout& layout, const FlattenRequest& request);
bool RunTransform(Layout& layout, const TransformRequest& request);

}  // namespace zandor::cli
