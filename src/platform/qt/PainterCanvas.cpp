#include "platform/qt/PainterCanvas.h"

#include <QFontMetrics>
#include <QPolygon>
#include <algorithm>
#include <vector>

#include "platform/qt/QtCanvas.h"

namespace zandor {

namespace {

constexpr int kHatchAlpha = 90;

Qt::PenStyle ToQtPenStyle(PenStyle style) {
    switch (style) {
        case PenStyle::Dash: return Qt::DashLine;
        case PenStyle::Dot: return Qt::DotLine;
        case PenStyle::DashDot: return Qt::DashDotLine;
        case PenStyle::DashDotDot: return Qt::DashDotDotLine;
        case PenStyle::Null: return Qt::NoPen;
        case PenStyle::Solid: break;
    }
    return Qt::SolidLine;
}

QPolygonF PixelCentres(const PixelPoint* points, int count) {
    QPolygonF polygon;
    polygon.reserve(count);
    for (int i = 0; i < count; ++i) polygon << QPointF(points[i].x + 0.5, points[i].y + 0.5);
    return polygon;
}

}  // namespace

PainterCanvas::PainterCanvas(QPainter& target) : painter(target) {}

RasterOp PainterCanvas::SetRasterOp(RasterOp next) {
    const RasterOp previous = op;
    op = next;
    return previous;
}

void PainterCanvas::SetPen(const CanvasPen& p) { pen = p; }
void PainterCanvas::SetBrush(const CanvasBrush& b) { brush = b; }
void PainterCanvas::SetFont(const CanvasFont& f) { font = f; }
void PainterCanvas::SetTextColor(std::uint32_t color) { textColour = color; }

QPen PainterCanvas::OutlinePen() const {
    if (pen.style == PenStyle::Null) return Qt::NoPen;
    QPen qpen(QtCanvas::ToQColor(pen.color));
    qpen.setStyle(ToQtPenStyle(pen.style));
    qpen.setWidthF(std::max(1, pen.width));
    qpen.setCapStyle(Qt::FlatCap);
    qpen.setJoinStyle(Qt::MiterJoin);
    return qpen;
}

QBrush PainterCanvas::FillBrush() const {
    if (brush.style == 6) return Qt::NoBrush;
    QColor colour = QtCanvas::ToQColor(brush.color);
    if (brush.style >= 0 && brush.style <= 5) colour.setAlpha(kHatchAlpha);
    return colour;
}

// Pixel-addressed shapes are drawn through the pixel centres, so that a
// polygon covers the pixels the raster canvas fills.
void PainterCanvas::Polygon(const PixelPoint* points, int count) {
    if (count < 2) return;
    painter.setPen(OutlinePen());
    painter.setBrush(FillBrush());
    painter.drawPolygon(PixelCentres(points, count), Qt::WindingFill);
}

void PainterCanvas::Polyline(const PixelPoint* points, int count) {
    if (count < 2) return;
    painter.setPen(OutlinePen());
    painter.drawPolyline(PixelCentres(points, count));
}

void PainterCanvas::Rectangle(int x1, int y1, int x2, int y2) {
    const QRectF box(QPointF(std::min(x1, x2), std::min(y1, y2)), QPointF(std::max(x1, x2) + 1, std::max(y1, y2) + 1));
    painter.setPen(Qt::NoPen);
    painter.setBrush(FillBrush());
    painter.drawRect(box);
    if (pen.style != PenStyle::Null) {
        painter.setPen(OutlinePen());
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(box.adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

void PainterCanvas::Ellipse(int x1, int y1, int x2, int y2) {
    painter.setPen(OutlinePen());
    painter.setBrush(FillBrush());
    painter.drawEllipse(QRectF(QPointF(x1 + 0.5, y1 + 0.5), QPointF(x2 + 0.5, y2 + 0.5)));
}

void PainterCanvas::EllipseOutline(int x1, int y1, int x2, int y2) {
    painter.setPen(OutlinePen());
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(QPointF(x1 + 0.5, y1 + 0.5), QPointF(x2 + 0.5, y2 + 0.5)));
}

void PainterCanvas::Line(int x1, int y1, int x2, int y2) {
    painter.setPen(OutlinePen());
    painter.drawLine(QPointF(x1 + 0.5, y1 + 0.5), QPointF(x2 + 0.5, y2 + 0.5));
}

void PainterCanvas::SetPixel(int x, int y, std::uint32_t color) {
    painter.fillRect(QRectF(x, y, 1, 1), QtCanvas::ToQColor(color));
}

void PainterCanvas::Text(int x, int y, std::string_view text) {
    const QFont qfont = QtCanvas::ToQFont(font);
    painter.setFont(qfont);
    painter.setPen(QtCanvas::ToQColor(textColour));
    const QFontMetrics metrics(qfont);
    painter.save();
    painter.translate(x, y);
    if (font.escapement != 0) painter.rotate(-font.escapement / 10.0);
    painter.drawText(QPointF(0, -metrics.descent()),
                     QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    painter.restore();
}

PixelPoint PainterCanvas::TextExtent(std::string_view text, const CanvasFont& f) {
    const QFontMetrics metrics(QtCanvas::ToQFont(f));
    return {metrics.horizontalAdvance(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()))),
            metrics.height()};
}

void PainterCanvas::XorTextBlock(int, int, std::string_view, const CanvasFont&) {}

}  // namespace zandor
