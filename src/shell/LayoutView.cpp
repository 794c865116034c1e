#include "shell/LayoutView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QRubberBand>
#include <QTimer>
#include <QWheelEvent>
#include <cstdlib>
#include <memory>
#include <vector>

#include "display/Background.h"
#include "display/Grid.h"
#include "display/ObjectDrawing.h"
#include "editing/HitTesting.h"
#include "model/ModelSettings.h"
#include "model/SymbolDescription.h"
#include "platform/qt/QtCanvas.h"
#include "shell/ShellSettings.h"

namespace zandor {

namespace {

constexpr int kDragThreshold = 3;    // pixels before a press becomes a drag
constexpr qint64 kInputPollMs = 15;  // how often a drawing pass looks for input
constexpr std::uint32_t kGuideColour = 0x00FFFF;

// One drawing pass at a time in the whole application: a pass lets events
// through while it runs, and another view's pass must wait for it.
bool passRunning = false;

struct HeldEvent {
    QPointer<QObject> target;
    std::unique_ptr<QEvent> event;
};
std::vector<HeldEvent> heldEvents;

}  // namespace

LayoutView::LayoutView(std::unique_ptr<Layout> document, Grid& sharedGrid, Background& sharedBackground,
                       ShellSettings& shellSettings, QWidget* parent)
    : QWidget(parent),
      layout(std::move(document)),
      viewport(*layout),
      grid(sharedGrid),
      background(sharedBackground),
      settings(shellSettings) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::CrossCursor);
    setMinimumSize(40, 40);
    viewport.rangesChanged = [this](std::int32_t, std::int32_t, std::int32_t, std::int32_t) {
        if (viewChanged) viewChanged();
    };
}

LayoutView::~LayoutView() {
    if (rendering) qApp->removeEventFilter(this);
}

void LayoutView::Redraw() {
    if (renderPending) return;
    renderPending = true;
    // The first drawing fixes the scale, so it waits until the window has
    // settled on its size.
    QTimer::singleShot(viewport.FirstPaintDone() ? 0 : 40, this, [this] {
        if (renderPending) RenderNow();
    });
}

bool LayoutView::RenderNow() {
    if (passRunning) {
        renderPending = false;
        Redraw();
        return false;
    }
    renderPending = false;
    const int w = std::max(width(), 2), h = std::max(height(), 2);
    if (layoutImage.size() != QSize(w, h)) layoutImage = QImage(w, h, QImage::Format_RGB32);
    viewport.PrepareMapping(w, h, std::max(1, logicalDpiX()));
    grid.UpdateGridSteps(*layout);

    bool complete = true;
    {
        const bool black = Settings().backgroundBlack;
        QtCanvas canvas(layoutImage);
        canvas.Clear(black ? 0x000000u : 0xFFFFFFu);
        background.DrawBackground(*layout, canvas, false, black);

        QElapsedTimer clock;
        clock.start();
        qint64 lastPoll = 0;
        inputWhileRendering = false;
        canvas.inputPending = [&] {
            if (clock.elapsed() - lastPoll >= kInputPollMs) {
                lastPoll = clock.elapsed();
                QCoreApplication::processEvents(QEventLoop::AllEvents);
            }
            return inputWhileRendering;
        };
        passRunning = rendering = true;
        qApp->installEventFilter(this);
        ++layoutPasses;
        complete = DrawLayout(*layout, canvas);
        qApp->removeEventFilter(this);
        passRunning = rendering = false;
        canvas.inputPending = nullptr;

        if (complete && settings.showGrid) grid.DrawGrid(*layout, canvas, black, false);
    }
    layoutImageComplete = complete;
    ShowOverlays();
    if (gridStatusChanged) gridStatusChanged(QString::fromStdString(grid.GridStatus()));
    if (viewChanged) viewChanged();
    if (!complete) {
        // The input that stopped the pass is handled first, then the view is
        // drawn again.
        for (HeldEvent& held : heldEvents)
            if (held.target) QCoreApplication::postEvent(held.target, held.event.release());
        heldEvents.clear();
        Redraw();
    }
    return complete;
}

bool LayoutView::eventFilter(QObject* watched, QEvent* event) {
    if (!rendering) return false;
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            if (event->type() != QEvent::KeyPress) {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                if (mouse->button() != Qt::LeftButton && mouse->button() != Qt::RightButton) return false;
            }
            inputWhileRendering = true;
            heldEvents.push_back({watched, std::unique_ptr<QEvent>(event->clone())});
            return true;
        }
        case QEvent::Close:
        case QEvent::DeferredDelete:
            // Nothing may go away under a running pass.
            if (watched == this || watched == window()) {
                heldEvents.push_back({watched, std::unique_ptr<QEvent>(event->clone())});
                inputWhileRendering = true;
                return true;
            }
            return false;
        default: return false;
    }
}

void LayoutView::ShowOverlays() {
    if (layoutImage.isNull()) return;
    backBuffer = layoutImage.copy();
    // A pass that gave up is drawn again at once; the overlays come then.
    if (layoutImageComplete) {
        QtCanvas canvas(backBuffer);
        DrawGuideLines(canvas);
        if (SymbolDescription* shown = layout->ShownSymbolDescription()) {
            ObjectDrawing marks(*layout, canvas);
            marks.DrawSelectionHandles(*shown, mode);
            marks.DrawSelectionFrame(*shown, mode);
        }
    }
    update();
}

void LayoutView::RefreshOverlays() {
    if (!renderPending && layoutImageComplete && layoutImage.size() == backBuffer.size())
        ShowOverlays();
    else
        Redraw();
}

void LayoutView::DrawGuideLines(Canvas& canvas) {
    SymbolDescription* shown = layout->ShownSymbolDescription();
    if (!shown) return;
    const RasterOp previous = canvas.SetRasterOp(RasterOp::Xor);
    canvas.SetPen({PenStyle::Dot, kGuideColour, 1});
    for (std::int32_t x : shown->vGuides) {
        if (x < layout->view.xmin || x > layout->view.xmax) continue;
        std::int32_t px = x, py = layout->view.ymax;
        layout->view.WorldToScreen(px, py);
        canvas.Line(px, 0, px, backBuffer.height());
    }
    for (std::int32_t y : shown->hGuides) {
        if (y < layout->view.ymin || y > layout->view.ymax) continue;
        std::int32_t px = layout->view.xmin, py = y;
        layout->view.WorldToScreen(px, py);
        canvas.Line(0, py, backBuffer.width(), py);
    }
    canvas.SetRasterOp(previous);
}

void LayoutView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (backBuffer.isNull()) {
        painter.fillRect(rect(), Settings().backgroundBlack ? Qt::black : Qt::white);
        Redraw();
        return;
    }
    // While a pass runs (it lets paint events through), what it has drawn so far.
    painter.drawImage(0, 0, rendering ? layoutImage : backBuffer);
    if (settings.showCoordinates && rect().contains(pointerPixel) && !renderPending) {
        const Point snapped = grid.SnapGridPoint(viewport.ScreenToWorld(pointerPixel.x(), pointerPixel.y()));
        painter.setPen(Settings().backgroundBlack ? Qt::white : Qt::black);
        painter.setFont(QtCanvas::ToQFont({12, 400, "MS Sans Serif", 0}));
        const QRect box(pointerPixel.x() + 20, pointerPixel.y(), 200, 20);
        painter.drawText(box, Qt::AlignLeft | Qt::AlignBottom, QString::fromStdString(CoordinateText(snapped)));
    }
}

void LayoutView::resizeEvent(QResizeEvent*) { Redraw(); }

void LayoutView::ChangedView() {
    Redraw();
    if (viewChanged) viewChanged();
}

void LayoutView::mousePressEvent(QMouseEvent* event) {
    pressPixel = event->position().toPoint();
    pressButton = event->button();
    ctrlAtPress = event->modifiers() & Qt::ControlModifier;
    dragging = false;
    setFocus();
}

void LayoutView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint previous = pointerPixel;
    pointerPixel = event->position().toPoint();
    if (pointerMoved) pointerMoved(grid.SnapGridPoint(viewport.ScreenToWorld(pointerPixel.x(), pointerPixel.y())));
    if (pressButton != Qt::NoButton && (pointerPixel - pressPixel).manhattanLength() > kDragThreshold) dragging = true;
    const bool zoomDrag =
        pressButton == Qt::LeftButton && dragging && !ctrlAtPress && (mode == 2 || mode == 0 || zoomRectanglePending);
    if (zoomDrag) {
        if (!rubberBand) rubberBand = new QRubberBand(QRubberBand::Rectangle, this);
        rubberBand->setGeometry(QRect(pressPixel, pointerPixel).normalized());
        rubberBand->show();
    }
    // The coordinate display follows the pointer.
    update(QRect(previous.x() + 18, previous.y() - 2, 206, 26));
    update(QRect(pointerPixel.x() + 18, pointerPixel.y() - 2, 206, 26));
}

void LayoutView::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint release = event->position().toPoint();
    const Qt::MouseButton button = pressButton;
    pressButton = Qt::NoButton;
    if (rubberBand) rubberBand->hide();
    if (button == Qt::LeftButton && zoomRectanglePending && dragging && !ctrlAtPress) {
        zoomRectanglePending = false;
        viewport.ZoomIn(pressPixel.x(), pressPixel.y(), release.x(), release.y());
        ChangedView();
        return;
    }
    if (mode == 0) {
        if (button == Qt::LeftButton) EditModeRelease(release);
        return;
    }
    if (mode != 2) return;
    if (button == Qt::LeftButton) {
        if (!dragging)
            viewport.ZoomIn(release.x(), release.y());
        else if (ctrlAtPress)
            viewport.PanBy(pressPixel.x(), pressPixel.y(), release.x(), release.y());
        else
            viewport.ZoomIn(pressPixel.x(), pressPixel.y(), release.x(), release.y());
        ChangedView();
    } else if (button == Qt::RightButton) {
        if (dragging)
            viewport.PanBy(pressPixel.x(), pressPixel.y(), release.x(), release.y());
        else
            viewport.ZoomBack();
        ChangedView();
    }
}

// The edit mode as far as selecting goes: a click toggles the object under
// the pointer, a dragged rectangle adds what it catches.
void LayoutView::EditModeRelease(const QPoint& release) {
    SymbolDescription* shown = layout->ShownSymbolDescription();
    if (!shown) return;
    const SelectFilter filter = MakeSelectFilter(layout->activeLayer, settings.lockSymbols, settings.singleLayer);
    if (!dragging) {
        const Point at = viewport.ScreenToWorld(release.x(), release.y());
        PickToggle(*shown, at.X, at.Y, filter);
    } else {
        const Point a = viewport.ScreenToWorld(pressPixel.x(), pressPixel.y());
        const Point b = viewport.ScreenToWorld(release.x(), release.y());
        const Rect r{std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X), std::max(a.Y, b.Y)};
        SelectInRect(*shown, r, filter, settings.allNodes);
    }
    SelectionChanged();
}

void LayoutView::DeselectAll() {
    if (SymbolDescription* shown = layout->ShownSymbolDescription()) {
        shown->DeselectAll();
        shown->UpdateSelection();
    }
    SelectionChanged();
}

void LayoutView::EndPendingOperation() {
    if (rubberBand) rubberBand->hide();
    pressButton = Qt::NoButton;
    dragging = false;
}

void LayoutView::ContentsChanged() {
    if (selectionChanged)
        if (const SymbolDescription* shown = layout->ShownSymbolDescription())
            selectionChanged(QString::fromStdString(shown->statusText));
    Redraw();
}

void LayoutView::SelectionChanged() {
    if (selectionChanged)
        if (const SymbolDescription* shown = layout->ShownSymbolDescription())
            selectionChanged(QString::fromStdString(shown->statusText));
    RefreshOverlays();
}

// One zoom step per whole notch: high-resolution wheels and touchpads send a
// notch in small parts, which are gathered first.
void LayoutView::wheelEvent(QWheelEvent* event) {
    const QPoint at = event->position().toPoint();
    if (!rect().contains(at) || event->angleDelta().y() == 0) return;
    event->accept();
    const int notches = wheelSteps.Add(event->angleDelta().y());
    if (notches == 0) return;
    for (int i = 0; i < std::abs(notches); ++i) {
        if (notches > 0)
            viewport.ZoomIn(at.x(), at.y());
        else
            viewport.ZoomOutAt(at.x(), at.y());
    }
    ChangedView();
}

void LayoutView::leaveEvent(QEvent*) {
    const QPoint previous = pointerPixel;
    pointerPixel = {-1, -1};
    update(QRect(previous.x() + 18, previous.y() - 2, 206, 26));
}

}  // namespace zandor
