// Pictures drawn on the Qt canvas and written as PNG files, for callers that
// include no Qt header (the command-line tool).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Canvas.h"

namespace zandor {

// Draws a width x height picture filled with `background` (0x00BBGGRR) through
// `draw` and writes it as a PNG file.  The file is written beside the target
// and renamed over it (platform::ReplacingFile), so a failed write leaves an
// earlier picture alone.
// Starts an offscreen GUI application when none runs (fonts need one).
// False when the picture cannot be written.
bool WritePngPicture(const std::string& path, int width, int height, std::uint32_t background,
                     const std::function<void(Canvas&)>& draw);

}  // namespace zandor
