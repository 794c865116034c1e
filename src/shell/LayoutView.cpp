#include "shell/LayoutView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWheelEvent>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "display/Background.h"
#include "display/Grid.h"
#include "display/ObjectDrawing.h"
#include "editing/HitTesting.h"
#include "editing/PointerSnapping.h"
#include "editing/SelectionEdits.h"
#include "model/Geometry.h"
#include "model/ModelSettings.h"
#include "model/SymbolDescription.h"
#include "platform/Messages.h"
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

// A magnifier with a plus or a minus, or a turning arrow, drawn once.
QCursor DrawnCursor(int kind) {
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    {
        QPainter p(&picture);
        p.setRenderHint(QPainter::Antialiasing);
        for (const auto& [colour, width] : {std::pair{Qt::white, 4}, {Qt::black, 2}}) {
            p.setPen(QPen(colour, width));
            if (kind == 2) {
                p.drawArc(QRect(6, 6, 20, 20), 30 * 16, 300 * 16);
                p.drawLine(24, 8, 26, 14);
                p.drawLine(26, 14, 20, 13);
                continue;
            }
            p.drawEllipse(QRect(2, 2, 16, 16));
            p.drawLine(16, 16, 28, 28);
            p.drawLine(6, 10, 14, 10);
            if (kind == 0) p.drawLine(10, 6, 10, 14);
        }
    }
    return kind == 2 ? QCursor(picture, 16, 16) : QCursor(picture, 10, 10);
}

// A point kept within the coordinate range the editor works in.
Point InsideWorld(Point p) {
    constexpr std::int32_t kWorldLimit = 2000000000;
    return {std::clamp(p.X, -kWorldLimit, kWorldLimit), std::clamp(p.Y, -kWorldLimit, kWorldLimit)};
}

}  // namespace

QCursor LayoutView::ZoomInCursor() {
    static const QCursor cursor = DrawnCursor(0);
    return cursor;
}

QCursor LayoutView::ZoomOutCursor() {
    static const QCursor cursor = DrawnCursor(1);
    return cursor;
}

QCursor LayoutView::RotateCursor() {
    static const QCursor cursor = DrawnCursor(2);
    return cursor;
}

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
            canvas.SetRasterOp(RasterOp::Not);
            marks.DrawMeasureLine(*shown);
            marks.DrawSelectionHandles(*shown, mode);
            marks.DrawSelectionFrame(*shown, mode);
        }
    }
    DrawRubber();
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
    EndPendingOperation();
    Redraw();
    if (viewChanged) viewChanged();
}

void LayoutView::mousePressEvent(QMouseEvent* event) {
    const bool leftHeld = event->buttons() & Qt::LeftButton;
    // The right button while the left one drags acts at its release.
    if (event->button() == Qt::RightButton && leftHeld && pressButton == Qt::LeftButton) return;
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) return;
    pressPixel = event->position().toPoint();
    pressButton = event->button();
    ctrlAtPress = event->modifiers() & Qt::ControlModifier;
    shiftAtPress = event->modifiers() & Qt::ShiftModifier;
    dragging = false;
    setFocus();
    if (event->button() == Qt::RightButton) {
        if (mode == 2 || zoomRectanglePending) setCursor(ZoomOutCursor());
        return;
    }
    if (zoomRectanglePending || mode == 2) return;
    switch (mode) {
        case 0: EditModePress(pressPixel, event->modifiers()); break;
        case 1: NodePress(pressPixel, event->modifiers()); break;
        case 10:
            MeasurePress(pressPixel);
            UpdateCursor(event->modifiers());
            break;
        default:
            if (!RequireCurrentLayer(*layout)) {
                pressButton = Qt::NoButton;
                return;
            }
            InsertPress(pressPixel);
            break;
    }
}

void LayoutView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint previous = pointerPixel;
    pointerPixel = event->position().toPoint();
    if (pointerMoved) pointerMoved(grid.SnapGridPoint(WorldAt(pointerPixel)));
    if (pressButton != Qt::NoButton && (pointerPixel - pressPixel).manhattanLength() > kDragThreshold) dragging = true;
    const bool zooming = mode == 2 || zoomRectanglePending;
    if (pressButton == Qt::LeftButton && zooming) {
        if (dragging && !ctrlAtPress) {
            const QRect r = QRect(pressPixel, pointerPixel).normalized();
            ShowRubber({{r.left(), r.top()}, {r.right(), r.top()}, {r.right(), r.bottom()}, {r.left(), r.bottom()}},
                       PenStyle::Dot);
        }
    } else if (!zooming) {
        // The insertion and measuring modes follow the pointer with or
        // without a button held.
        switch (mode) {
            case 0:
                if (pressButton == Qt::LeftButton) EditModeMove(event->modifiers());
                break;
            case 1: NodeMove(event->modifiers()); break;
            case 10: MeasureMove(); break;
            default: InsertMove(); break;
        }
    }
    if (pressButton != Qt::LeftButton) UpdateCursor(event->modifiers());
    // The coordinate display follows the pointer.
    update(QRect(previous.x() + 18, previous.y() - 2, 206, 26));
    update(QRect(pointerPixel.x() + 18, pointerPixel.y() - 2, 206, 26));
}

// The cursor tells what a press would do: on the selection frame of the
// edit mode, the zone's drag; elsewhere the mode's own cursor.
void LayoutView::UpdateCursor(Qt::KeyboardModifiers modifiers) {
    int zone = kCursorArrow;
    SymbolDescription* shown = layout->ShownSymbolDescription();
    switch (mode) {
        case 0:
            if (shown && shown->selectedCount > 0 && shown->view.frameShown) {
                const Point at = WorldAt(pointerPixel);
                const bool single = shown->selectedCount == 1 && shown->currentKind == int(ObjectKind::Rectangle);
                zone = SelectionFrameZone(shown->selectionBox, at.X, at.Y, layout->view.sx,
                                          modifiers & Qt::ControlModifier, single);
            }
            break;
        case 1: setCursor(Qt::PointingHandCursor); return;
        case 2:
            if (pressButton == Qt::RightButton || (modifiers & Qt::ControlModifier))
                setCursor(Qt::OpenHandCursor);
            else
                setCursor(ZoomInCursor());
            return;
        case 8: setCursor(Qt::IBeamCursor); return;
        case 10: {
            const Point at = WorldAt(pointerPixel);
            const std::int32_t near = layout->view.twoPixels;
            const bool overEnd =
                shown && (NearMeasureEnd(shown->view, at, near) || NearMeasureStart(shown->view, at, near));
            setCursor(overEnd || measurement.Measuring() ? Qt::CrossCursor : Qt::ArrowCursor);
            return;
        }
        default: setCursor(Qt::CrossCursor); return;
    }
    switch (zone) {
        case kCursorRotate: setCursor(RotateCursor()); break;
        case kCursorScaleSwNe: setCursor(Qt::SizeBDiagCursor); break;
        case kCursorScaleNwSe: setCursor(Qt::SizeFDiagCursor); break;
        case kCursorStretchWe: setCursor(Qt::SizeHorCursor); break;
        case kCursorStretchNs: setCursor(Qt::SizeVerCursor); break;
        case kCursorMove: setCursor(Qt::SizeAllCursor); break;
        default: setCursor(Qt::ArrowCursor); break;
    }
}

void LayoutView::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint release = event->position().toPoint();
    if (event->button() == Qt::RightButton && pressButton == Qt::LeftButton && (event->buttons() & Qt::LeftButton)) {
        RightRelease(release, event->buttons());
        return;
    }
    const Qt::MouseButton button = pressButton;
    if (button == Qt::NoButton || event->button() != button) return;
    pressButton = Qt::NoButton;
    const bool zooming = mode == 2 || zoomRectanglePending;
    if (zooming || mode == 0) HideRubber();
    if (button == Qt::RightButton) {
        RightRelease(release, event->buttons());
        UpdateCursor(event->modifiers());
        return;
    }
    if (zoomRectanglePending && dragging && !ctrlAtPress) {
        zoomRectanglePending = false;
        viewport.ZoomIn(pressPixel.x(), pressPixel.y(), release.x(), release.y());
        ChangedView();
        return;
    }
    if (mode == 2) {
        if (!dragging)
            viewport.ZoomIn(release.x(), release.y());
        else if (ctrlAtPress)
            viewport.PanBy(pressPixel.x(), pressPixel.y(), release.x(), release.y());
        else
            viewport.ZoomIn(pressPixel.x(), pressPixel.y(), release.x(), release.y());
        ChangedView();
        return;
    }
    switch (mode) {
        case 0: EditModeRelease(release); break;
        case 1: NodeRelease(release); break;
        case 8:
            if (HasCurrentLayer() && textRequested) textRequested(SnappedAt(release));
            break;
        case 9:
            if (HasCurrentLayer() && scriptRequested) scriptRequested(SnappedAt(release));
            break;
        case 10: MeasureRelease(release); break;
        default: InsertRelease(release); break;
    }
    UpdateCursor(event->modifiers());
}

// A right release: during a drag with the left button it toggles "Leave
// original"; otherwise the mode finishes or cancels what it draws, or opens
// its menu.
void LayoutView::RightRelease(const QPoint& release, Qt::MouseButtons held) {
    if (held & Qt::LeftButton) {
        if ((mode == 0 && frameDrag) || (mode == 1 && nodeDrag)) ToggleLeaveOriginal();
        if (mode == 10) MeasureRightRelease(held);
        return;
    }
    if (mode == 2 || zoomRectanglePending) {
        if (!dragging)
            viewport.ZoomBack();
        else
            viewport.PanBy(pressPixel.x(), pressPixel.y(), release.x(), release.y());
        ChangedView();
        return;
    }
    const QPoint global = mapToGlobal(release);
    SymbolDescription* shown = layout->ShownSymbolDescription();
    switch (mode) {
        case 0: {
            bool onFrame = false;
            if (shown && shown->selectedCount > 0 && shown->view.frameShown) {
                const Point at = WorldAt(release);
                onFrame =
                    SelectionFrameZone(shown->selectionBox, at.X, at.Y, layout->view.sx, false, false) != kCursorArrow;
            }
            if (menuRequested) menuRequested(onFrame ? ViewMenu::Selection : ViewMenu::General, global);
            break;
        }
        case 1:
            if (menuRequested) menuRequested(ViewMenu::Nodes, global);
            break;
        case 10: MeasureRightRelease(held); break;
        default:
            if (!InsertRightRelease() && menuRequested) menuRequested(ViewMenu::Insertion, global);
            break;
    }
}

// The "+" key or the right button while the selection frame is dragged: the
// drop then leaves the objects where they were and places copies.
void LayoutView::ToggleLeaveOriginal() {
    if (!frameDrag && !nodeDrag) return;
    leaveOriginal = !leaveOriginal;
    if (frameDrag) frameDrag->leaveOriginal = leaveOriginal;
    if (nodeDrag) nodeDrag->leaveOriginal = leaveOriginal;
    ShowHint(leaveOriginal ? "Leave original" : "");
}

void LayoutView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || zoomRectanglePending) return;
    if (mode == 0) {
        // Not a second press: the first click has selected already.  Where
        // the double click stands for the first release too, that click is
        // finished first.
        if (pressButton == Qt::LeftButton) {
            pressButton = Qt::NoButton;
            HideRubber();
            EditModeRelease(event->position().toPoint());
        }
        EndPendingOperation();
        if (doubleClicked) doubleClicked();
    } else if (mode == 4 || mode == 5) {
        // The first click of the double click has placed the last node.
        InsertDoubleClick(event->position().toPoint());
    }
}

void LayoutView::keyPressEvent(QKeyEvent* event) {
    if (event->text() == "+" && pressButton == Qt::LeftButton && (frameDrag || nodeDrag)) {
        ToggleLeaveOriginal();
        return;
    }
    if (event->key() == Qt::Key_Escape && CancelPendingOperation()) return;
    if (event->key() == Qt::Key_Insert && mode == 1 && runEdit && pressButton == Qt::NoButton) {
        // A new vertex after the selected one.
        SymbolDescription* shown = layout->ShownSymbolDescription();
        if (shown && !shown->view.nodeList.selected.empty()) {
            const int after = shown->view.nodeList.selected.front();
            keepNodeList = true;
            runEdit([after](SymbolDescription& s) { return InsertNodeAfter(s, after); });
            keepNodeList = false;
            RefreshOverlays();
            return;
        }
    }
    if (ArrowKey(event->key())) return;
    QWidget::keyPressEvent(event);
}

// Arrow keys move the selection (edit mode) or the selected nodes (node
// mode) by one grid spacing; false when neither has anything to move.
bool LayoutView::ArrowKey(int key) {
    std::int32_t dx = 0, dy = 0;
    const std::int32_t step = grid.Spacing();
    switch (key) {
        case Qt::Key_Left: dx = -step; break;
        case Qt::Key_Right: dx = step; break;
        case Qt::Key_Up: dy = step; break;
        case Qt::Key_Down: dy = -step; break;
        default: return false;
    }
    SymbolDescription* shown = layout->ShownSymbolDescription();
    if (!shown || !runEdit || pressButton != Qt::NoButton) return false;
    if (mode == 0 && shown->selectedCount > 0) {
        runEdit([&](SymbolDescription& s) { return MoveSelection(s, dx, dy, false); });
        return true;
    }
    if (mode == 1 && !shown->view.nodeList.selected.empty()) {
        MoveNodesBy(dx, dy, false);
        RefreshOverlays();
        return true;
    }
    return false;
}

PointerSnapper LayoutView::Snapper() const {
    static const std::vector<std::int32_t> none;
    const SymbolDescription* shown = layout->ShownSymbolDescription();
    return PointerSnapper{grid,
                          shown ? std::span<const std::int32_t>(shown->vGuides) : std::span<const std::int32_t>(none),
                          shown ? std::span<const std::int32_t>(shown->hGuides) : std::span<const std::int32_t>(none),
                          layout->view.sx,
                          settings.snapGuidelines,
                          settings.snapOrtho};
}

// A press with the left button in the edit mode: a drag of the selection
// frame when it lands on the frame, otherwise the release decides what is
// selected; a press away from the single selected object deselects first.
void LayoutView::EditModePress(const QPoint& at, Qt::KeyboardModifiers modifiers) {
    frameDrag.reset();
    pressOnSelected = false;
    leaveOriginal = false;
    SymbolDescription* shown = layout->ShownSymbolDescription();
    if (!shown || shown->selectedCount == 0) return;
    if (modifiers & Qt::ShiftModifier) {
        shown->view.frameShown = false;
        RefreshOverlays();
        return;
    }
    const Point world = viewport.ScreenToWorld(at.x(), at.y());
    if (shown->view.frameShown) {
        const bool single = shown->selectedCount == 1 && shown->currentKind == int(ObjectKind::Rectangle);
        const int zone = SelectionFrameZone(shown->selectionBox, world.X, world.Y, layout->view.sx,
                                            modifiers & Qt::ControlModifier, single);
        if (zone != kCursorArrow) {
            frameDrag = StartFrameDrag(shown->selectionBox, zone, world, layout->view.sx);
            return;
        }
    }
    shown->view.frameShown = false;
    if (shown->selectedCount == 1) {
        Rect box = shown->selectionBox;
        const std::int64_t grow = layout->view.pickTolerance;
        pressOnSelected = world.X >= box.minx - grow && world.X <= box.maxx + grow && world.Y >= box.miny - grow &&
                          world.Y <= box.maxy + grow;
    }
    if (!pressOnSelected) {
        shown->DeselectAll();
        shown->UpdateSelection();
    }
    SelectionChanged();
}

void LayoutView::EditModeMove(Qt::KeyboardModifiers modifiers) {
    if (!dragging) return;
    if (!frameDrag) {
        const QRect r = QRect(pressPixel, pointerPixel).normalized();
        ShowRubber({{r.left(), r.top()}, {r.right(), r.top()}, {r.right(), r.bottom()}, {r.left(), r.bottom()}},
                   PenStyle::Dash);
        if (selectionChanged) selectionChanged("Selecting...");
        return;
    }
    const PointerSnapper snapper = Snapper();
    const Point world = viewport.ScreenToWorld(pointerPixel.x(), pointerPixel.y());
    DragFrameTo(*frameDrag, world, modifiers & Qt::ShiftModifier, modifiers & Qt::ControlModifier, snapper);
    std::vector<PixelPoint> outline;
    const auto toScreen = [this](double x, double y) {
        std::int32_t px = RoundHalfAway(x), py = RoundHalfAway(y);
        layout->view.WorldToScreen(px, py);
        return PixelPoint{px, py};
    };
    if (frameDrag->Rotating()) {
        const Rect& f = frameDrag->frame;
        const double cx = (double(f.minx) + f.maxx) / 2, cy = (double(f.miny) + f.maxy) / 2;
        const double c = std::cos(frameDrag->angle), sn = std::sin(frameDrag->angle);
        for (const auto& [x, y] : {std::pair{f.minx, f.miny}, {f.maxx, f.miny}, {f.maxx, f.maxy}, {f.minx, f.maxy}}) {
            const double u = x - cx, v = y - cy;
            outline.push_back(toScreen(cx + u * c - v * sn, cy + u * sn + v * c));
        }
    } else {
        const DraggedFrame f = DragFrame(*frameDrag, snapper);
        for (const auto& [x, y] : {std::pair{f.x1, f.y1}, {f.x2, f.y1}, {f.x2, f.y2}, {f.x1, f.y2}})
            outline.push_back(toScreen(x, y));
    }
    ShowRubber(std::move(outline), PenStyle::Dot);
    if (selectionChanged) selectionChanged(QString::fromStdString(DragStatusText(*frameDrag, snapper)));
}

// The release in the edit mode: a click toggles the object under the pointer
// (cycles through the stacked ones when it falls on the selection), a
// rectangle selects what it catches, a drag of the frame moves, stretches,
// scales or rotates the selection.
void LayoutView::EditModeRelease(const QPoint& release) {
    SymbolDescription* shown = layout->ShownSymbolDescription();
    if (!shown) return;
    const SelectFilter filter = MakeSelectFilter(layout->activeLayer, settings.lockSymbols, settings.singleLayer);
    const Point at = viewport.ScreenToWorld(release.x(), release.y());
    if (frameDrag) {
        FrameDrag drag = *frameDrag;
        frameDrag.reset();
        if (!dragging) {
            PickNext(*shown, at.X, at.Y, filter);
        } else if (runEdit) {
            const PointerSnapper snapper = Snapper();
            if (drag.Moving()) {
                const Point d = MoveDisplacement(drag);
                if (d.X != 0 || d.Y != 0 || drag.leaveOriginal)
                    runEdit([&](SymbolDescription& s) { return MoveSelection(s, d.X, d.Y, drag.leaveOriginal); });
            } else if (drag.Rotating()) {
                const double degrees = RoundHalfAway(drag.angle * 180.0 / kPi);
                const double cx = (double(drag.frame.minx) + drag.frame.maxx) / 2;
                const double cy = (double(drag.frame.miny) + drag.frame.maxy) / 2;
                if (degrees != 0 || drag.leaveOriginal)
                    runEdit(
                        [&](SymbolDescription& s) { return RotateSelection(s, cx, cy, degrees, drag.leaveOriginal); });
            } else if (!drag.ZeroSizedFrame() && (drag.dx != 0 || drag.dy != 0 || drag.leaveOriginal)) {
                const DraggedFrame f = DragFrame(drag, snapper);
                runEdit([&](SymbolDescription& s) {
                    return ScaleSelection(s, f.originX, f.originY, f.fx, f.fy, drag.leaveOriginal);
                });
            }
        }
        shown->UpdateSelection();
        SelectionChanged();
        return;
    }
    if (!dragging) {
        if (pressOnSelected)
            PickNext(*shown, at.X, at.Y, filter);
        else
            PickToggle(*shown, at.X, at.Y, filter);
    } else {
        const Point a = viewport.ScreenToWorld(pressPixel.x(), pressPixel.y());
        const Rect r{std::min(a.X, at.X), std::min(a.Y, at.Y), std::max(a.X, at.X), std::max(a.Y, at.Y)};
        if (pressOnSelected) shown->DeselectAll();
        SelectInRect(*shown, r, filter, settings.allNodes);
    }
    shown->UpdateSelection();
    SelectionChanged();
}

void LayoutView::ShowRubber(std::vector<PixelPoint> points, PenStyle style) {
    RubberShape shape;
    shape.style = style;
    if (!points.empty()) points.push_back(points.front());
    shape.lines.push_back(std::move(points));
    ShowRubber(std::move(shape));
}

void LayoutView::ShowRubber(RubberShape shape) {
    HideRubber();
    rubber = std::move(shape);
    DrawRubber();
}

void LayoutView::HideRubber() {
    if (rubber.Empty()) return;
    DrawRubber();
    rubber = {};
}

void LayoutView::DrawRubber() {
    if (rubber.Empty() || backBuffer.isNull()) return;
    {
        QtCanvas canvas(backBuffer);
        const RasterOp previous = canvas.SetRasterOp(RasterOp::Xor);
        canvas.SetPen({rubber.style, 0xFFFFFF, 1});
        canvas.SetBrush(CanvasBrush{});
        for (const std::vector<PixelPoint>& line : rubber.lines)
            if (line.size() >= 2) canvas.Polyline(line.data(), static_cast<int>(line.size()));
        if (!rubber.record.empty()) {
            ObjectDrawing drawing(*layout, canvas);
            drawing.DrawRecord(rubber.record.data(), TransformMatrix{});
        }
        canvas.SetRasterOp(previous);
    }
    update();
}

Point LayoutView::WorldAt(QPoint pixel) const { return InsideWorld(viewport.ScreenToWorld(pixel.x(), pixel.y())); }

Point LayoutView::SnappedAt(QPoint pixel) const { return InsideWorld(Snapper().SnapPoint(WorldAt(pixel))); }

PixelPoint LayoutView::PixelOf(Point p) const {
    std::int32_t x = p.X, y = p.Y;
    layout->view.WorldToScreen(x, y);
    return {x, y};
}

void LayoutView::ShowHint(const std::string& text) {
    if (selectionChanged) selectionChanged(QString::fromStdString(text));
}

bool LayoutView::HasCurrentLayer() const { return layout->Layer(layout->activeLayer) != nullptr; }

bool LayoutView::CancelPendingOperation() {
    if (!EndPendingOperation()) return false;
    // The drag's or the insertion's text gives way to the selection's.
    const SymbolDescription* shown = layout->ShownSymbolDescription();
    ShowHint(shown ? shown->statusText : "");
    return true;
}

void LayoutView::DeselectAll() {
    // Escape first ends what the mouse has begun; the next one deselects.
    if (CancelPendingOperation()) return;
    if (SymbolDescription* shown = layout->ShownSymbolDescription()) {
        shown->DeselectAll();
        shown->UpdateSelection();
    }
    SelectionChanged();
}

bool LayoutView::EndPendingOperation() {
    const bool drawing = insertion.Inserting() || insertion.Finished();
    const bool pending = !rubber.Empty() || frameDrag || nodeDrag || drawing || pressButton != Qt::NoButton;
    HideRubber();
    if (drawing) insertion.Cancel();
    insertion.Reset();
    frameDrag.reset();
    nodeDrag.reset();
    leaveOriginal = false;
    pressButton = Qt::NoButton;
    dragging = false;
    // The measuring state lives on only in the measuring mode.
    if (mode != 10) measurement.Stop();
    return pending;
}

void LayoutView::SetMode(int next) {
    if (next == mode && !nodeListStale) return;
    EndPendingOperation();
    mode = next;
    if (mode != 10) measurement.Stop();
    if (SymbolDescription* shown = layout->ShownSymbolDescription()) {
        if (mode == 1)
            ResetNodeList(*shown);
        else
            shown->view.nodeList.Clear();
    }
    nodeListStale = false;
    UpdateCursor(QApplication::keyboardModifiers());
    RefreshOverlays();
}

void LayoutView::ContentsChanged() {
    if (mode == 1 && !keepNodeList) FollowCurrentObject();
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
    EndPendingOperation();
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
