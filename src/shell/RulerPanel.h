// The rulers beside a layout view: the visible range with labelled ticks, the
// pointer position and the guideline marks.  Mouse gestures on a ruler are
// handed to the layout window, which owns the guidelines.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

namespace zandor {

class RulerPanel : public QWidget {
    Q_OBJECT
public:
    RulerPanel(bool horizontal, QWidget* parent = nullptr);

    void SetMinMax(std::int32_t minVal, std::int32_t maxVal);
    void SetCurrentPos(std::int32_t position);
    void SetGuideLines(const std::vector<std::int32_t>& positions);
    std::int32_t MinVal() const { return minVal; }
    std::int32_t MaxVal() const { return maxVal; }
    // The world coordinate along this ruler at a pixel of it.
    std::int32_t ValueAt(int pixel) const;

    // Left button pressed, pointer moved (button held or not), released, and
    // the pointer leaving the ruler; a right click removes every guideline.
    std::function<void(std::int32_t value)> pressed, moved, released;
    std::function<void()> left, removeAll;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    int Length() const { return horizontal ? width() : height(); }
    int PixelOf(std::int64_t value) const;
    int Along(const QPoint& p) const { return horizontal ? p.x() : p.y(); }

    bool horizontal;
    std::int32_t minVal = 0, maxVal = 0, currentPos = 0;
    std::vector<std::int32_t> guides;
};

class THRulerPanel : public RulerPanel {
public:
    explicit THRulerPanel(QWidget* parent = nullptr) : RulerPanel(true, parent) {}
};

class TVRulerPanel : public RulerPanel {
public:
    explicit TVRulerPanel(QWidget* parent = nullptr) : RulerPanel(false, parent) {}
};

}  // namespace zandor
