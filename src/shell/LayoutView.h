// The drawing surface of one layout window.  It owns the layout document,
// draws it into an image back buffer through the core drawing code, and turns
// the mouse and wheel into the view's zoom and pan commands.  A drawing pass
// runs outside the paint event and gives up as soon as a key or a mouse button
// is pressed; the input is then handled and the view drawn again.
#pragma once

#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "display/LayoutViewport.h"
#include "editing/FrameDrag.h"
#include "editing/Insertion.h"
#include "editing/Measurement.h"
#include "editing/NodeEditing.h"
#include "model/Layout.h"
#include "platform/Canvas.h"
#include "shell/WheelSteps.h"

namespace zandor {

// The view's pop-up menus (right release), by mode and state.
enum class ViewMenu { Selection, General, Nodes, Insertion, Measurement };

// An inverting rubber shape: pixel polylines and, for an object being drawn,
// a scratch record drawn by its kind.  Drawn into the back buffer with XOR,
// so that drawing it again takes it away.
struct RubberShape {
    std::vector<std::vector<PixelPoint>> lines;
    std::vector<Word> record;
    PenStyle style = PenStyle::Dot;
    bool Empty() const { return lines.empty() && record.empty(); }
};

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

    // The interaction mode of the main window (0 edit objects, 1 edit nodes,
    // 2 zoom, 3..9 insertion, 10 measure): what was pending ends, entering
    // the node mode builds the current object's node list.
    void SetMode(int next);
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
    // A right release that opens a menu, at a global screen position.
    std::function<void(ViewMenu, QPoint)> menuRequested;
    // Releases of the text and script modes: the main window asks what to
    // place at the (snapped) point.
    std::function<void(Point)> textRequested;
    std::function<void(Point)> scriptRequested;

    // "Hide measurement": the measuring line leaves the screen.
    void HideMeasurement();

    void DeselectAll();
    // Ends what the mouse started (a rubber band, a drag) before a command
    // changes the symbol under it.
    // True when something was pending.
    bool EndPendingOperation();
    // Escape: the same, and the status bar shows the selection again.
    bool CancelPendingOperation();
    // The arrow keys of the view and the symbol panel.
    bool ArrowKey(int key);
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
    static QCursor ZoomInCursor();
    static QCursor ZoomOutCursor();
    static QCursor RotateCursor();
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
    void ShowRubber(RubberShape shape);
    void HideRubber();
    void DrawRubber();
    // The world point under a pixel, kept within the coordinate range the
    // editor works in (±2e9 units).
    Point WorldAt(QPoint pixel) const;
    Point SnappedAt(QPoint pixel) const;
    // Pixel of a world point, with the view's mapping.
    PixelPoint PixelOf(Point p) const;
    void UpdateCursor(Qt::KeyboardModifiers modifiers);
    void RightRelease(const QPoint& release, Qt::MouseButtons held);
    bool HasCurrentLayer() const;
    // Modes 1 and 3 to 10 (LayoutViewModes.cpp).
    void NodePress(const QPoint& at, Qt::KeyboardModifiers modifiers);
    void NodeMove(Qt::KeyboardModifiers modifiers);
    void NodeRelease(const QPoint& release);
    RubberShape NodeRubber();
    void MoveNodesBy(std::int32_t dx, std::int32_t dy, bool copy);
    void FollowCurrentObject();
    void InsertPress(const QPoint& at);
    void InsertMove();
    void InsertRelease(const QPoint& release);
    void InsertDoubleClick(const QPoint& at);
    bool InsertRightRelease();
    void InsertionDone(InsertionStep step);
    void ShowScratch();
    void MeasurePress(const QPoint& at);
    void MeasureMove();
    void MeasureRelease(const QPoint& release);
    void MeasureRightRelease(Qt::MouseButtons held);
    void Measure(const std::function<MeasureStep(SymbolView&)>& handler);
    void ShowHint(const std::string& text);
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
    RubberShape rubber;  // empty when none is shown
    // Node mode: the drag of the selected nodes a press started.
    std::optional<NodeDrag> nodeDrag;
    // Insertion modes: the object being drawn.
    Insertion insertion;
    // Measuring mode: whether the line's end follows the pointer.
    Measurement measurement;
    // The node list must be built even when the mode stays (a new window).
    bool nodeListStale = true;
    bool keepNodeList = false;
    QPoint pointerPixel{-1, -1};
    int layoutPasses = 0;
    WheelSteps wheelSteps;
};

}  // namespace zandor
