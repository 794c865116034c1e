#include "display/PrintedPage.h"

#include <algorithm>

#include "base/Numbers.h"
#include "display/Ruler.h"
#include "model/Layout.h"
#include "platform/Canvas.h"

namespace zandor {

namespace {
constexpr int kLogicalPage = 3000;
}

PrintedPage ComputePrintedPage(double deviceWidth, double deviceHeight, std::int64_t viewWidth,
                               std::int64_t viewHeight) {
    PrintedPage page;
    deviceWidth = std::max(deviceWidth, 1.0);
    deviceHeight = std::max(deviceHeight, 1.0);
    const double longer = std::max(deviceWidth, deviceHeight), shorter = std::min(deviceWidth, deviceHeight);
    const int other = std::max(1, RoundHalfAway(kLogicalPage * shorter / longer));
    page.width = deviceWidth >= deviceHeight ? kLogicalPage : other;
    page.height = deviceWidth >= deviceHeight ? other : kLogicalPage;
    page.margin = kLogicalPage / 30;
    page.band = kLogicalPage / 24;
    page.fontHeight = kLogicalPage / 80;
    page.areaLeft = page.areaTop = page.margin + page.band;
    const int roomWidth = std::max(2, page.width - 2 * page.margin - page.band);
    const int roomHeight = std::max(2, page.height - 2 * page.margin - page.band);
    const double aspect = double(std::max<std::int64_t>(viewWidth, 1)) / double(std::max<std::int64_t>(viewHeight, 1));
    if (double(roomWidth) / roomHeight > aspect) {
        page.areaHeight = roomHeight;
        page.areaWidth = std::clamp(RoundHalfAway(roomHeight * aspect), 2, roomWidth);
    } else {
        page.areaWidth = roomWidth;
        page.areaHeight = std::clamp(RoundHalfAway(roomWidth / aspect), 2, roomHeight);
    }
    return page;
}

void MapPrintedArea(Layout& layout, const PrintedPage& page) {
    const double visible = double(std::max<std::int64_t>(std::int64_t{layout.view.xmax} - layout.view.xmin, 1));
    layout.view.sx = layout.view.sy = (page.areaWidth - 1) / visible;
    layout.view.twoPixels = RoundHalfAway(2 / layout.view.sx) + 1;
    layout.view.minObjectSize = layout.view.twoPixels / 2 + 1;
}

void DrawPrintedRulers(Canvas& canvas, const PrintedPage& page, const Layout& layout, int panelWidth, int panelHeight) {
    PrintedRuler ruler;
    ruler.baseline = page.margin + 2 * page.band / 3;
    ruler.tick = 2 * page.band / 3;
    ruler.fontHeight = page.fontHeight;

    ruler.horizontal = true;
    ruler.minVal = layout.view.xmin;
    ruler.maxVal = layout.view.xmax;
    ruler.panelLength = panelWidth;
    ruler.start = page.areaLeft;
    ruler.length = RoundHalfAway((double(layout.view.xmax) - layout.view.xmin) * layout.view.sx);
    DrawRuler(canvas, ruler);

    ruler.horizontal = false;
    ruler.minVal = layout.view.ymin;
    ruler.maxVal = layout.view.ymax;
    ruler.panelLength = panelHeight;
    ruler.start = page.areaTop;
    ruler.length = RoundHalfAway((double(layout.view.ymax) - layout.view.ymin) * layout.view.sy);
    DrawRuler(canvas, ruler);
}

}  // namespace zandor
