#include "platform/qt/QtCanvas.h"

#include <QFontMetrics>
#include <QPolygon>
#include <algorithm>
#include <cstdlib>
#include <vector>

namespace zandor {

namespace {

// Dash patterns of one-pixel pens, in pixels: on, off, on, off, ...
const std::vector<int>& DashPattern(PenStyle style) {
    static const std::vector<int> solid;
    static const std::vector<int> dash{18, 6};
    static const std::vector<int> dot{3, 3};
    static const std::vector<int> dashDot{9, 6, 3, 6};
    static const std::vector<int> dashDotDot{9, 3, 3, 3, 3, 3};
    switch (style) {
        case PenStyle::Dash: return dash;
        case PenStyle::Dot: return dot;
        case PenStyle::DashDot: return dashDot;
        case PenStyle::DashDotDot: return dashDotDot;
        default: return solid;
    }
}

bool PatternOn(const std::vector<int>& pattern, int position) {
    if (pattern.empty()) return true;
    int period = 0;
    for (int n : pattern) period += n;
    position %= period;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (position < pattern[i]) return i % 2 == 0;
        position -= pattern[i];
    }
    return true;
}

// The 8 x 8 hatches: whether pixel (x, y) of the tile belongs to the lines.
bool HatchPixel(int style, int x, int y) {
    switch (style) {
        case 0: return y == 3;                // horizontal
        case 1: return x == 3;                // vertical
        case 2: return x == y;                // forward diagonal, top left to bottom right
        case 3: return x + y == 7;            // backward diagonal
        case 4: return x == 3 || y == 3;      // cross
        case 5: return x == y || x + y == 7;  // diagonal cross
        default: return true;
    }
}

QPainter::CompositionMode ModeOf(RasterOp op) {
    switch (op) {
        case RasterOp::Merge: return QPainter::RasterOp_SourceOrDestination;
        case RasterOp::Mask: return QPainter::RasterOp_SourceAndDestination;
        case RasterOp::Not: return QPainter::RasterOp_NotDestination;
        case RasterOp::Xor: return QPainter::RasterOp_SourceXorDestination;
        case RasterOp::Copy: break;
    }
    return QPainter::CompositionMode_SourceOver;
}

// Faces of the old dialog fonts have no outline font here; use the sans-serif
// face the text outlines fall back to as well.
void InstallFontSubstitutions() {
    static const bool installed = [] {
        QFont::insertSubstitution("MS Sans Serif", "Liberation Sans");
        QFont::insertSubstitution("Arial", "Liberation Sans");
        return true;
    }();
    (void)installed;
}

}  // namespace

QColor QtCanvas::ToQColor(std::uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

namespace {
// 0x00BBGGRR to an opaque QRgb (0xAARRGGBB).
QRgb ToRgb(std::uint32_t c) { return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu); }
}  // namespace

QFont QtCanvas::ToQFont(const CanvasFont& f) {
    InstallFontSubstitutions();
    QFont font(QString::fromStdString(f.face));
    font.setPixelSize(std::max(1, std::abs(f.height)));
    font.setWeight(static_cast<QFont::Weight>(std::clamp(f.weight == 0 ? 400 : f.weight, 100, 900)));
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

QtCanvas::QtCanvas(QImage& target) : image(target) {
    painter.begin(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    bits = image.bits();
    stride = image.bytesPerLine();
    imageWidth = image.width();
    imageHeight = image.height();
}

QtCanvas::~QtCanvas() { painter.end(); }

RasterOp QtCanvas::SetRasterOp(RasterOp next) {
    const RasterOp previous = op;
    op = next;
    painter.setCompositionMode(ModeOf(op));
    ApplyBrush();
    return previous;
}

void QtCanvas::SetPen(const CanvasPen& p) {
    pen = p;
    penColour = ToRgb(p.color);
    dashPosition = 0;
}

void QtCanvas::SetBrush(const CanvasBrush& b) {
    brush = b;
    ApplyBrush();
}

void QtCanvas::SetFont(const CanvasFont& f) { font = f; }

void QtCanvas::SetTextColor(std::uint32_t color) { textColour = ToRgb(color); }

void QtCanvas::SetBrushOrigin(int x, int y) {
    brushOriginX = x;
    brushOriginY = y;
    painter.setBrushOrigin(x, y);
}

// Hatch gaps must leave the destination alone under the operation in force:
// white under AND, black under OR and XOR, transparent when copying.
void QtCanvas::ApplyBrush() {
    if (brush.style == 6) {
        painter.setBrush(Qt::NoBrush);
        return;
    }
    const QColor colour = ToQColor(brush.color);
    if (brush.style < 0 || brush.style > 5) {
        painter.setBrush(colour);
        return;
    }
    const QRgb gap = op == RasterOp::Mask ? 0xFFFFFFFFu : op == RasterOp::Copy ? 0x00000000u : 0xFF000000u;
    // Drawing switches between a layer's hatch and the outline tools at every
    // call and array element: the tiles made are kept.
    const HatchKey key{brush.style, colour.rgb(), gap};
    auto cached = std::find_if(hatches.begin(), hatches.end(), [&](const auto& h) { return h.first == key; });
    if (cached == hatches.end()) {
        QImage tile(8, 8, QImage::Format_ARGB32);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) tile.setPixel(x, y, HatchPixel(brush.style, x, y) ? colour.rgb() : gap);
        if (hatches.size() >= kHatchesKept) hatches.erase(hatches.begin());
        hatches.emplace_back(key, QBrush(tile));
        cached = hatches.end() - 1;
    }
    painter.setBrush(cached->second);
    painter.setBrushOrigin(brushOriginX, brushOriginY);
}

void QtCanvas::PlotPixel(int x, int y, QRgb colour) {
    if (x < 0 || y < 0 || x >= imageWidth || y >= imageHeight) return;
    auto* line = reinterpret_cast<QRgb*>(bits + static_cast<qsizetype>(y) * stride);
    QRgb& d = line[x];
    switch (op) {
        case RasterOp::Copy: d = colour | 0xFF000000u; break;
        case RasterOp::Merge: d |= colour; break;
        case RasterOp::Mask: d &= colour | 0xFF000000u; break;
        case RasterOp::Not: d = ~d | 0xFF000000u; break;
        case RasterOp::Xor: d ^= colour & 0x00FFFFFFu; break;
    }
}

// Bresenham from (x1, y1) towards (x2, y2), the last pixel left out, with the
// pen's dashes carried on from the previous segment.
void QtCanvas::PenLine(int x1, int y1, int x2, int y2) {
    if (pen.style == PenStyle::Null) return;
    const QRgb colour = penColour;
    const std::vector<int>& pattern = DashPattern(pen.style);
    const long dx = std::labs(long{x2} - x1), dy = -std::labs(long{y2} - y1);
    const int stepX = x1 < x2 ? 1 : -1, stepY = y1 < y2 ? 1 : -1;
    long error = dx + dy;
    long x = x1, y = y1;
    // Far outside the image a line is not walked pixel by pixel.
    const long limit = 4L * std::max(image.width(), image.height()) + 4;
    long steps = std::max(dx, -dy);
    if (steps > limit) {
        const double shrink = double(limit) / steps;
        x2 = static_cast<int>(x1 + (long{x2} - x1) * shrink);
        y2 = static_cast<int>(y1 + (long{y2} - y1) * shrink);
    }
    while (!(x == x2 && y == y2)) {
        if (PatternOn(pattern, dashPosition++)) PlotPixel(static_cast<int>(x), static_cast<int>(y), colour);
        const long e2 = 2 * error;
        if (e2 >= dy) {
            error += dy;
            x += stepX;
        }
        if (e2 <= dx) {
            error += dx;
            y += stepY;
        }
    }
}

void QtCanvas::FillRect(int x1, int y1, int x2, int y2) {
    if (x2 < x1 || y2 < y1 || brush.style == 6) return;
    painter.setPen(Qt::NoPen);
    painter.drawRect(QRect(x1, y1, x2 - x1 + 1, y2 - y1 + 1));
}

void QtCanvas::Polygon(const PixelPoint* points, int count) {
    if (count < 2) return;
    if (brush.style != 6) {
        scratch.resize(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) scratch[static_cast<std::size_t>(i)] = QPoint(points[i].x, points[i].y);
        painter.setPen(Qt::NoPen);
        painter.drawPolygon(scratch.data(), count, Qt::WindingFill);
    }
    dashPosition = 0;
    for (int i = 0; i + 1 < count; ++i) PenLine(points[i].x, points[i].y, points[i + 1].x, points[i + 1].y);
    if (!(points[count - 1] == points[0])) PenLine(points[count - 1].x, points[count - 1].y, points[0].x, points[0].y);
}

void QtCanvas::Polyline(const PixelPoint* points, int count) {
    dashPosition = 0;
    for (int i = 0; i + 1 < count; ++i) PenLine(points[i].x, points[i].y, points[i + 1].x, points[i + 1].y);
}

void QtCanvas::Rectangle(int x1, int y1, int x2, int y2) {
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    if (pen.style == PenStyle::Null) {
        FillRect(x1, y1, x2, y2);
        return;
    }
    FillRect(x1 + 1, y1 + 1, x2 - 1, y2 - 1);
    if (x1 == x2 || y1 == y2) {
        // A line of pixels: each once, the end included.
        dashPosition = 0;
        PenLine(x1, y1, x2, y2);
        PlotPixel(x2, y2, penColour);
        return;
    }
    const PixelPoint outline[5] = {{x1, y1}, {x2, y1}, {x2, y2}, {x1, y2}, {x1, y1}};
    Polyline(outline, 5);
}

void QtCanvas::Ellipse(int x1, int y1, int x2, int y2) {
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    if (brush.style != 6) {
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QRectF(x1, y1, x2 - x1 + 1, y2 - y1 + 1));
    }
    EllipseOutline(x1, y1, x2, y2);
}

void QtCanvas::EllipseOutline(int x1, int y1, int x2, int y2) {
    if (pen.style == PenStyle::Null) return;
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    QPen outline(ToQColor(pen.color));
    outline.setWidth(0);
    switch (pen.style) {
        case PenStyle::Dash: outline.setStyle(Qt::DashLine); break;
        case PenStyle::Dot: outline.setStyle(Qt::DotLine); break;
        case PenStyle::DashDot: outline.setStyle(Qt::DashDotLine); break;
        case PenStyle::DashDotDot: outline.setStyle(Qt::DashDotDotLine); break;
        default: break;
    }
    painter.setPen(outline);
    const QBrush saved = painter.brush();
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRect(x1, y1, x2 - x1, y2 - y1));
    painter.setBrush(saved);
}

void QtCanvas::Line(int x1, int y1, int x2, int y2) {
    dashPosition = 0;
    PenLine(x1, y1, x2, y2);
}

void QtCanvas::SetPixel(int x, int y, std::uint32_t color) {
    if (x < 0 || y < 0 || x >= imageWidth || y >= imageHeight) return;
    auto* line = reinterpret_cast<QRgb*>(bits + static_cast<qsizetype>(y) * stride);
    line[x] = ToRgb(color);
}

void QtCanvas::Text(int x, int y, std::string_view text) {
    const QFont qfont = ToQFont(font);
    painter.setFont(qfont);
    painter.setPen(QColor::fromRgb(textColour));
    const QFontMetrics metrics(qfont);
    const QString chars = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    if (font.escapement == 0) {
        painter.drawText(x, y - metrics.descent(), chars);
        return;
    }
    // Turned about the anchor corner, counter-clockwise for a positive angle.
    painter.save();
    painter.translate(x, y);
    painter.rotate(-font.escapement / 10.0);
    painter.drawText(0, -metrics.descent(), chars);
    painter.restore();
}

PixelPoint QtCanvas::TextExtent(std::string_view text, const CanvasFont& f) {
    const QFontMetrics metrics(ToQFont(f));
    return {metrics.horizontalAdvance(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()))),
            metrics.height()};
}

void QtCanvas::XorTextBlock(int x, int y, std::string_view text, const CanvasFont& f) {
    const PixelPoint extent = TextExtent(text, f);
    const int side = std::max(1, extent.x + extent.y);
    QImage block(side, side, QImage::Format_RGB32);
    block.fill(Qt::black);
    {
        QPainter blockPainter(&block);
        const QFont qfont = ToQFont(f);
        blockPainter.setFont(qfont);
        blockPainter.setPen(Qt::white);
        blockPainter.translate(side / 2.0, side / 2.0);
        blockPainter.rotate(-f.escapement / 10.0);
        const QFontMetrics metrics(qfont);
        blockPainter.drawText(-extent.x / 2, metrics.ascent() - extent.y / 2,
                              QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    }
    const QPainter::CompositionMode saved = painter.compositionMode();
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.drawImage(x - side / 2, y - side / 2, block);
    painter.setCompositionMode(saved);
}

void QtCanvas::Clear(std::uint32_t color) {
    const QPainter::CompositionMode saved = painter.compositionMode();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(image.rect(), ToQColor(color));
    painter.setCompositionMode(saved);
}

}  // namespace zandor
