// Texts as geometry: a Text head record followed by member polygons that
// outline its characters, built from the font's glyph outlines (the current
// platform::FontOutlines() source; see docs/text-outlines.md).  Both work
// without a window, so that readers and the command-line tool make texts.
#pragma once

#include <cstdint>
#include <string_view>

#include "model/ObjectRecord.h"
#include "model/Types.h"

namespace zandor {

class SymbolDescription;

// Adds `text` at (x, y) with `height` (database units, the ink height of a
// capital E), rotated by `angle` degrees counter-clockwise about (x, y), on
// `layer` with the font `font`.  Returns false when the head record could not
// be created (out of memory); characters without an outline are skipped, and
// an engine failure loses its character with the message "Unexpected error
// during text to polygon conversion".  The symbol's box takes in the text.
bool AddTextOutlines(SymbolDescription& symbol, std::string_view text, std::int32_t height, std::int32_t x,
                     std::int32_t y, double angle, int layer, const LOGFONTA& font);

// Builds the text at (0, 0) and applies `transform`, split into scales, a
// rotation (to thousandths of a degree) and a translation (to whole units)
// applied in that order.  Returns the head record's word offset in the
// symbol's buffer, or -1 when it could not be made.
std::int64_t AddTextOutlinesWithMatrix(SymbolDescription& symbol, std::string_view text, std::int32_t height,
                                       const TransformMatrix& transform, int layer, const LOGFONTA& font);

}  // namespace zandor
