#include "display/CopiedPicture.h"

#include <algorithm>

#include "base/Numbers.h"
#include "display/ObjectDrawing.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "platform/Canvas.h"

namespace zandor {

namespace {
constexpr int kPictureExtent = 640;
}

PictureSize CopiedPictureSize(std::int64_t width, std::int64_t height) {
    width = std::max<std::int64_t>(width, 1);
    height = std::max<std::int64_t>(height, 1);
    const std::int64_t longer = std::max(width, height), shorter = std::min(width, height);
    const int other = std::max(1, RoundHalfAway(double(kPictureExtent) * double(shorter) / double(longer)));
    return width >= height ? PictureSize{kPictureExtent, other} : PictureSize{other, kPictureExtent};
}

void StoreCopiedBox(Layout& store, const Rect& box) {
    store.view.xmin = box.minx;
    store.view.ymin = box.miny;
    store.view.xmax = box.maxx;
    store.view.ymax = box.maxy;
    store.view.W = static_cast<std::uint32_t>(std::int64_t{box.maxx} - box.minx);
    store.view.H = static_cast<std::uint32_t>(std::int64_t{box.maxy} - box.miny);
}

Rect CopiedBox(const Layout& store) { return {store.view.xmin, store.view.ymin, store.view.xmax, store.view.ymax}; }

void MapCopiedPicture(Layout& store, PictureSize size) {
    const double width = double(std::max<std::int64_t>(std::int64_t{store.view.xmax} - store.view.xmin, 1));
    const double height = double(std::max<std::int64_t>(std::int64_t{store.view.ymax} - store.view.ymin, 1));
    store.view.sx = (size.width - 1) / width;
    store.view.sy = (size.height - 1) / height;
    // A picture one unit wide still draws: the scale stays positive.
    if (store.view.sx <= 0) store.view.sx = 1 / width;
    if (store.view.sy <= 0) store.view.sy = 1 / height;
    store.view.twoPixels = RoundHalfAway(2 / store.view.sx) + 1;
    store.view.minObjectSize = store.view.twoPixels / 2 + 1;
}

void DrawCopiedPicture(Layout& store, Canvas& canvas, PictureSize size) {
    MapCopiedPicture(store, size);
    store.shownSymbol = -1;
    const RasterOp previous = canvas.SetRasterOp(RasterOp::Copy);
    canvas.SetPen({PenStyle::Null, 0, 1});
    canvas.SetBrush({-1, Settings().backgroundBlack ? 0x000000u : 0xFFFFFFu});
    canvas.Rectangle(0, 0, size.width - 1, size.height - 1);
    canvas.SetRasterOp(previous);
    DrawLayoutOnCanvas(store, canvas);
}

}  // namespace zandor
