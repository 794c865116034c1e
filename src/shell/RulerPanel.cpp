#include "shell/RulerPanel.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include "display/Ruler.h"
#include "model/Geometry.h"

namespace zandor {

namespace {
constexpr int kThickness = 22;
}

RulerPanel::RulerPanel(bool isHorizontal, QWidget* parent) : QWidget(parent), horizontal(isHorizontal) {
    if (horizontal)
        setFixedHeight(kThickness);
    else
        setFixedWidth(kThickness);
    setMouseTracking(true);
    setAutoFillBackground(true);
    QFont small = font();
    small.setPixelSize(10);
    setFont(small);
}

void RulerPanel::SetMinMax(std::int32_t low, std::int32_t high) {
    if (low == minVal && high == maxVal) return;
    minVal = low;
    maxVal = high;
    update();
}

void RulerPanel::SetCurrentPos(std::int32_t position) {
    if (position == currentPos) return;
    currentPos = position;
    update();
}

void RulerPanel::SetGuideLines(const std::vector<std::int32_t>& positions) {
    guides = positions;
    update();
}

int RulerPanel::PixelOf(std::int64_t value) const {
    const double k = double(Length()) / (double(maxVal) - minVal);
    return horizontal ? RoundHalfAway((value - minVal) * k) : RoundHalfAway((maxVal - value) * k);
}

std::int32_t RulerPanel::ValueAt(int pixel) const {
    if (maxVal == minVal || Length() == 0) return minVal;
    const double perPixel = (double(maxVal) - minVal) / Length();
    return horizontal ? RoundHalfAway(minVal + pixel * perPixel) : RoundHalfAway(maxVal - pixel * perPixel);
}

void RulerPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (minVal == maxVal) return;
    painter.setPen(Qt::black);
    const int length = Length();
    const int thickness = horizontal ? height() : width();
    const int textHeight = fontMetrics().height();
    const RulerTicks ticks = ComputeRulerTicks(minVal, maxVal, length);
    // Lines across the ruler, measured from its outer edge (bottom, right).
    const auto tick = [&](int at, int reach) {
        if (horizontal)
            painter.drawLine(at, thickness - 1, at, thickness - 1 - reach);
        else
            painter.drawLine(thickness - 1, at, thickness - 1 - reach, at);
    };
    const int majorReach = thickness - textHeight;
    const int minorReach = std::max(2, (thickness - textHeight) / 2);
    const std::int64_t minorStep = ticks.subdivisions > 1 ? ticks.step / ticks.subdivisions : 0;
    if (minorStep > 0)
        for (std::int64_t v = ticks.first - minorStep; v >= minVal; v -= minorStep) tick(PixelOf(v), minorReach);
    for (std::int64_t i = 0; i <= ticks.count; ++i) {
        const std::int64_t v = ticks.first + i * ticks.step;
        const int at = PixelOf(v);
        tick(at, std::max(majorReach, 4));
        if (ticks.step >= 1000 || i % 2 == 1) {
            const QString label = QString::fromStdString(FormatRulerValue(v));
            const int w = fontMetrics().horizontalAdvance(label);
            if (horizontal) {
                painter.drawText(at - w / 2, 1 + fontMetrics().ascent(), label);
            } else {
                painter.save();
                painter.translate(1 + fontMetrics().ascent(), at + w / 2);
                painter.rotate(-90);
                painter.drawText(0, 0, label);
                painter.restore();
            }
        }
        if (minorStep > 0)
            for (std::int64_t k = 1; k < ticks.subdivisions && v + k * minorStep <= maxVal; ++k)
                tick(PixelOf(v + k * minorStep), minorReach);
    }
    painter.setBrush(QColor(255, 255, 0));
    for (std::int32_t g : guides) {
        if (g < minVal || g > maxVal) continue;
        const int at = PixelOf(g);
        const QPolygon mark = horizontal ? QPolygon({QPoint(at - 4, 1), QPoint(at + 4, 1), QPoint(at, 8)})
                                         : QPolygon({QPoint(1, at - 4), QPoint(1, at + 4), QPoint(8, at)});
        painter.drawPolygon(mark);
    }
    if (currentPos > minVal && currentPos < maxVal) {
        painter.setCompositionMode(QPainter::RasterOp_NotDestination);
        const int at = PixelOf(currentPos);
        if (horizontal)
            painter.drawLine(at, 0, at, thickness);
        else
            painter.drawLine(0, at, thickness, at);
    }
}

void RulerPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && pressed) pressed(ValueAt(Along(event->position().toPoint())));
}

void RulerPanel::mouseMoveEvent(QMouseEvent* event) {
    if (moved) moved(ValueAt(Along(event->position().toPoint())));
}

void RulerPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && released) released(ValueAt(Along(event->position().toPoint())));
}

void RulerPanel::leaveEvent(QEvent*) {
    if (left) left();
}

void RulerPanel::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(horizontal ? "Remove all vertical guidelines" : "Remove all horizontal guidelines", [this] {
        if (removeAll) removeAll();
    });
    menu.exec(event->globalPos());
}

}  // namespace zandor
