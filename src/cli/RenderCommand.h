// zandor-cli render: the main symbol drawn into a PNG picture with the
// editor's drawing code, zoomed to fit or over a window given in inches (to
// compare pixel by pixel with a photoplot viewer's picture).
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
    // One layer only (-1: every visible layer).
    int layer = -1;
    // Every layer drawn solid black on white, without the mask outline.
    bool mono = false;
    // A fixed window instead of the main symbol zoomed to fit: lower left
    // corner and size in inches at `dpi` pixels per inch, the picture being
    // width x dpi by height x dpi pixels, as photoplot viewers place theirs.
    bool window = false;
    double windowX = 0, windowY = 0, windowWidth = 0, windowHeight = 0;
    double dpi = 0;
};

// Parses the arguments after the command word; returns the usage problem, or
// an empty string when the request is complete.
std::string ParseRenderArguments(const std::vector<std::string>& args, RenderRequest& request);

// Draws the loaded layout and writes the picture; false (message shown) when
// the picture cannot be written.
bool RunRender(Layout& layout, const RenderRequest& request);

}  // namespace zandor::cli
