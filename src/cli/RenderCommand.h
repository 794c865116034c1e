// zandor-cli render: the main symbol drawn into a PNG picture, zoomed to fit,
// with the editor's drawing code.
#pragma once

#include <string>
#include <vector>

#include "model/Layout.h"

namespace zandor::cli {

struct RenderRequest {
    std::string in, out;
    int width = 1600;
    int height = 1000;
    bool black = false;
    int levels = 30;
};

// Parses the arguments after the command word; returns the usage problem, or
// an empty string when the request is complete.
std::string ParseRenderArguments(const std::vector<std::string>& args, RenderRequest& request);

// Draws the loaded layout and writes the picture; false (message shown) when
// the picture cannot be written.
bool RunRender(Layout& layout, const RenderRequest& request);

}  // namespace zandor::cli
