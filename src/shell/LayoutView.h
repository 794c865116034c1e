// The drawing surface of one layout window.  It owns the layout document,
// draws it into an image back buffer through the core drawing code, and turns
// the mouse and wheel into the view's zoom and pan commands.  A drawing pass
// runs outside the paint event and gives up as soon as a key or a mouse button
// is pressed; the input is then handled and the view drawn again.
#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "display/LayoutViewport.h"
#include "editing/FrameDrag.h"
#include "model/Layout.h"
#include "platform/Canvas.h"
#include "shell/WheelSteps.h"

namespace zandor {

class Background;
class Grid;
struct ShellSettings;

class LayoutView : public QWidget {
    Q_OBJECT
public:
    LayoutView(std::unique_ptr<Layout> layout, Grid& grid, Background& background, ShellSettings& settings,
               QWidget* parent = nullptr);
    ~LayoutView() override;

    Layout& Document() { return *layout; }
    LayoutViewport& Viewport() { return viewport; }

    // Draws again on the next turn of the event loop.
    void Redraw();
    // Draws now; false when the pass gave up for user input.
    bool RenderNow();
    // What the view shows: the layout drawing with the guidelines and the
    // selection marks.
    const QImage& BackBuffer() const { return backBuffer; }
    // How many layout passes ran (complete or given up): a redraw of the
    // selection marks alone leaves it unchanged.
    int LayoutPassCount() const { return layoutPasses; }
    bool RedrawPending() const { return renderPending; }

    // The interaction mode of the main window: 0 edit objects, 2 zoom.
    int mode = 0;
    // F2: the next rectangle dragged in any mode is a zoom rectangle.
    bool zoomRectanglePending = false;

    // Told where the pointer is (snapped, nanometres) and the grid's status.
    std::function<void(Point)> pointerMoved;
    std::function<void(const QString&)> gridStatusChanged;
    std::function<void()> viewChanged;                     // rulers and scroll bars follow
    std::function<void(const QString&)> selectionChanged;  // the selection's status text
    // Runs an edit of the shown symbol as one undo step, as the menu commands
    // do (the main window sets it); the view's drags end in it.
    std::function<void(const std::function<bool(SymbolDescription&)>&)> runEdit;
    // A double click in the edit mode (the main window opens the selected
    // symbol call).
    std::function<void()> doubleClicked;

    void DeselectAll();
    // Ends what the mouse started (a rubber band, a drag) before a command
    // changes the symbol under it.
    void EndPendingOperation();
    // After a command changed the shown symbol: the status text follows and
    // the view is drawn again.
    void ContentsChanged();
    // Draws the guidelines and the selection marks again over the last layout
    // drawing, without a layout pass (when none is waiting anyway).
    void RefreshOverlays();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void DrawGuideLines(class Canvas& canvas);
    void ShowOverlays();
    void EditModePress(const QPoint& at, Qt::KeyboardModifiers modifiers);
    void EditModeMove(Qt::KeyboardModifiers modifiers);
    void EditModeRelease(const QPoint& release);
    PointerSnapper Snapper() const;
    void ToggleLeaveOriginal();
    // The inverting rubber shape: drawn into the back buffer, removed by
    // drawing it again (ShowOverlays puts it back over a fresh copy).
    void ShowRubber(std::vector<PixelPoint> points, PenStyle style);
    void HideRubber();
    void DrawRubber();
    void SelectionChanged();
    void ChangedView();

    std::unique_ptr<Layout> layout;
    LayoutViewport viewport;
    Grid& grid;
    Background& background;
    ShellSettings& settings;
    // The last layout pass (background, objects, grid); the guidelines and
    // the selection marks are drawn over a copy of it, so that changing them
    // does not draw the layout again.
    QImage layoutImage;
    bool layoutImageComplete = false;
    QImage backBuffer;
    bool renderPending = false;
    bool rendering = false;
    bool inputWhileRendering = false;
    QPoint pressPixel;
    Qt::MouseButton pressButton = Qt::NoButton;
    bool ctrlAtPress = false;
    bool shiftAtPress = false;
    bool dragging = false;
    // Edit mode: the drag of the selection frame a press started, whether
    // the press fell on the one selected object, and the "Leave original"
    // switch of a drag.
    std::optional<FrameDrag> frameDrag;
    bool pressOnSelected = false;
    bool leaveOriginal = false;
    std::vector<PixelPoint> rubber;  // closed outline; empty when none is shown
    PenStyle rubberStyle = PenStyle::Dot;
    QPoint pointerPixel{-1, -1};
    int layoutPasses = 0;
    WheelSteps wheelSteps;
};

}  // namespace zandor
