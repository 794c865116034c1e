// The picture of the clipboard store that other applications are offered:
// the copied objects drawn at a fixed extent of 640 units on the longer side.
#pragma once

#include <cstdint>

#include "model/Types.h"

namespace zandor {

class Canvas;
class Layout;

struct PictureSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const PictureSize&, const PictureSize&) = default;
};

// 640 on the longer side of a box, 640 x shorter / longer rounded (at least 1)
// on the other; an empty side counts as 1 nm.
PictureSize CopiedPictureSize(std::int64_t width, std::int64_t height);

// The copied objects' bounding box, kept in the store's view fields.
void StoreCopiedBox(Layout& store, const Rect& box);
Rect CopiedBox(const Layout& store);

// Maps the store's view onto a picture of `size` showing the copied box:
// scales (width - 1) / box width and (height - 1) / box height, the dot size
// derived as for a window.
void MapCopiedPicture(Layout& store, PictureSize size);

// Fills the picture white, or black while BackgroundBlack is on, and draws
// the store's main symbol in the canvas's font.  Leaves the store mapped.
void DrawCopiedPicture(Layout& store, Canvas& canvas, PictureSize size);

}  // namespace zandor
