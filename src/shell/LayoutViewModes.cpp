// The layout view's handlers of the node mode (1), the insertion modes (3 to
// 7) and the measuring mode (10).  What they decide lives below the view
// (NodeEditing, Insertion, Measurement); here the mouse meets it: pixels
// become world points, results become rubber shapes, hints, undo steps and
// redraws.
#include <QApplication>
#include <algorithm>

#include "display/ObjectDrawing.h"
#include "editing/HitTesting.h"
#include "editing/NodeEditing.h"
#include "model/SymbolDescription.h"
#include "platform/qt/QtCanvas.h"
#include "shell/LayoutView.h"
#include "shell/ShellSettings.h"

namespace zandor {

// ---- Node mode -------------------------------------------------------------

void LayoutView::NodePress(const QPoint& at, Qt::KeyboardModifiers modifiers) {
    nodeDrag.reset();
    leaveOriginal = false;
    SymbolDescription* shown = layout->ShownSymbolDescription();
    if (!shown) return;
    const std::vector<int> before = shown->view.nodeList.selected;
    const int node = PressOnNodes(*shown, WorldAt(at), layout->view.sx, modifiers & Qt::ShiftModifier);
    if (shown->view.nodeList.selected != before) RefreshOverlays();
    if (node < 0) return;
    nodeDrag = StartNodeDrag(*shown, node);
    ShowRubber(NodeRubber());
}

// The rubber shape of a node drag: the edges at the moved nodes, or the
// object as the drag would leave it.
RubberShape LayoutView::NodeRubber() {
    RubberShape shape;
    shape.style = PenStyle::Dot;
    SymbolDescription* shown = layout->ShownSymbolDescription();
    if (!shown || !nodeDrag) return shape;
    zandor::NodeRubber drag = NodeRubberShape(*shown, *nodeDrag);
    for (const std::vector<Point>& line : drag.lines) {
        std::vector<PixelPoint> pixels;
        pixels.reserve(line.size());
        for (const Point& p : line) pixels.push_back(PixelOf(p));
        shape.lines.push_back(std::move(pixels));
    }
    shape.record = std::move(drag.record);
    return shape;
}

void LayoutView::NodeMove(Qt::KeyboardModifiers modifiers) {
    SymbolDescription* shown = layout->ShownSymbolDescription();
    if (!shown) return;
    if (pressButton != Qt::LeftButton) {
        ShowHint(shown->statusText);
        return;
    }
    if (nodeDrag) {
        const std::int32_t dx = nodeDrag->dx, dy = nodeDrag->dy;
        DragNodeTo(*nodeDrag, WorldAt(pointerPixel), modifiers & Qt::ShiftModifier, modifiers & Qt::ControlModifier,
                   Snapper());
        if (dx != nodeDrag->dx || dy != nodeDrag->dy || rubber.Empty()) ShowRubber(NodeRubber());
        ShowHint(NodeDragStatusText(*nodeDrag));
        return;
    }
    if (!dragging) return;
    const QRect r = QRect(pressPixel, pointerPixel).normalized();
    ShowRubber({{r.left(), r.top()}, {r.right(), r.top()}, {r.right(), r.bottom()}, {r.left(), r.bottom()}},
               PenStyle::Dot);
    ShowHint(kSelectingNodesText);
}

void LayoutView::NodeRelease(const QPoint& release) {
    HideRubber();
    SymbolDescription* shown = layout->ShownSymbolDescription();
    if (!shown) return;
    if (nodeDrag) {
        const NodeDrag drag = *nodeDrag;
        nodeDrag.reset();
        leaveOriginal = false;
        MoveNodesBy(drag.dx, drag.dy, drag.leaveOriginal);
        ShowHint(shown->statusText);
        return;
    }
    const Point at = WorldAt(release);
    if (!dragging) {
        if (shiftAtPress) {
            ToggleNodeAt(*shown, at, layout->view.sx);
        } else {
            PickNodeObject(*shown, at,
                           MakeSelectFilter(layout->activeLayer, settings.lockSymbols, settings.singleLayer));
        }
    } else {
        const Point a = WorldAt(pressPixel);
        SelectNodesInRect(*shown, Rect{a.X, a.Y, at.X, at.Y});
    }
    ShowHint(shown->statusText);
    RefreshOverlays();
}

void LayoutView::MoveNodesBy(std::int32_t dx, std::int32_t dy, bool copy) {
    if (!runEdit || (dx == 0 && dy == 0)) return;
    // The node list is brought up to date by the move itself.
    keepNodeList = true;
    runEdit([&](SymbolDescription& s) { return FinishNodeDrag(s, dx, dy, copy).changed; });
    keepNodeList = false;
}

// After a command or an undo step: the node list shows the current object as
// it now is; the node selection stays while the nodes are the same in number.
void LayoutView::FollowCurrentObject() {
    SymbolDescription* shown = layout->ShownSymbolDescription();
    if (!shown) return;
    NodeList& list = shown->view.nodeList;
    std::vector<Point> fresh = BuildNodeList(shown->CurrentObject());
    if (fresh == list.nodes) return;
    if (fresh.size() != list.nodes.size()) list.selected.clear();
    list.nodes = std::move(fresh);
}

// ---- Insertion modes ---------------------------------------------------------

void LayoutView::InsertPress(const QPoint& at) {
    SymbolDescription* shown = layout->ShownSymbolDescription();
    if (!shown) return;
    if (mode == 8 || mode == 9) {
        // The release asks what to place; the press clears the way.
        shown->view.frameShown = false;
        shown->DeselectAll();
        shown->UpdateSelection();
        SelectionChanged();
        return;
    }
    const InsertionSettings wires{settings.wireThickness, settings.wireStyle};
    InsertionDone(insertion.Press(static_cast<InsertionMode>(mode), SnappedAt(at), wires));
}

void LayoutView::InsertMove() {
    if (mode < 3 || mode > 7) return;
    const InsertionMove moved = insertion.Move(static_cast<InsertionMode>(mode), SnappedAt(pointerPixel), Snapper());
    InsertionDone(moved.step);
    ShowHint(moved.hint);
}

void LayoutView::InsertRelease(const QPoint& release) {
    if (mode < 3 || mode > 7) return;
    InsertionDone(insertion.Release(SnappedAt(release), Snapper()));
}

void LayoutView::InsertDoubleClick(const QPoint&) { InsertionDone(insertion.DoubleClick()); }

// False when nothing is being inserted: the insertion menu then opens.
bool LayoutView::InsertRightRelease() {
    if (mode < 3 || mode > 7) return false;
    const InsertionStep step = insertion.RightRelease();
    if (step == InsertionStep::Menu) return false;
    InsertionDone(step);
    return true;
}

void LayoutView::InsertionDone(InsertionStep step) {
    switch (step) {
        case InsertionStep::Nothing:
        case InsertionStep::Menu: break;
        case InsertionStep::Started: {
            // A new object: the selection gives way.
            if (SymbolDescription* shown = layout->ShownSymbolDescription()) {
                shown->view.frameShown = false;
                shown->DeselectAll();
                shown->UpdateSelection();
                RefreshOverlays();
            }
            ShowScratch();
            break;
        }
        case InsertionStep::Changed: ShowScratch(); break;
        case InsertionStep::Finished: {
            HideRubber();
            const int layer = layout->activeLayer;
            // The edit's frame ends what the mouse has begun, this insertion
            // among it, before the edit runs: the edit commits a copy.
            Insertion finished = insertion;
            insertion.Reset();
            if (finished.Creates() && runEdit)
                runEdit([&](SymbolDescription& s) { return CommitInsertion(s, finished, layer) != nullptr; });
            break;
        }
        case InsertionStep::Cancelled:
            HideRubber();
            insertion.Reset();
            if (const SymbolDescription* shown = layout->ShownSymbolDescription()) ShowHint(shown->statusText);
            break;
    }
}

// The scratch record drawn where the insertion has put it.
void LayoutView::ShowScratch() {
    const Word* scratch = insertion.Scratch();
    if (!scratch) {
        HideRubber();
        return;
    }
    RubberShape shape;
    shape.style = PenStyle::Dot;
    shape.record.assign(scratch, scratch + RecordLength(scratch));
    ShowRubber(std::move(shape));
}

// ---- Measuring ---------------------------------------------------------------

// The line is part of the layout drawing (a pass draws it last, inverted):
// it is drawn again into that drawing and into the back buffer, which takes
// it away or puts it back.
void LayoutView::DrawMeasureLineAgain(const SymbolView& line) {
    SymbolDescription* shown = layout->ShownSymbolDescription();
    if (!shown || !line.measureShown) return;
    SymbolView copy;
    copy.measureX1 = line.measureX1;
    copy.measureY1 = line.measureY1;
    copy.measureX2 = line.measureX2;
    copy.measureY2 = line.measureY2;
    copy.measureShown = true;
    for (QImage* image : {&layoutImage, &backBuffer}) {
        if (image->isNull() || (rendering && image == &layoutImage)) continue;
        QtCanvas canvas(*image);
        canvas.SetRasterOp(RasterOp::Not);
        ObjectDrawing(*layout, canvas).DrawMeasureLine(copy);
    }
    update();
}

// Runs one measuring handler: the line as it was is taken off the screen and
// the line as it is now drawn, when the handler changed it.
void LayoutView::Measure(const std::function<MeasureStep(SymbolView&)>& handler) {
    SymbolDescription* shown = layout->ShownSymbolDescription();
    if (!shown) return;
    const SymbolView before = shown->view;
    const MeasureStep step = handler(shown->view);
    if (step == MeasureStep::Changed || step == MeasureStep::Hidden) {
        DrawMeasureLineAgain(before);
        DrawMeasureLineAgain(shown->view);
    } else if (step == MeasureStep::Menu && menuRequested) {
        menuRequested(ViewMenu::Measurement, mapToGlobal(pointerPixel));
    }
}

void LayoutView::MeasurePress(const QPoint& at) {
    const Point p = SnappedAt(at);
    const PointerSnapper snapper = Snapper();
    Measure([&](SymbolView& line) { return measurement.Press(line, p, layout->view.twoPixels, snapper); });
}

void LayoutView::MeasureMove() {
    const Point p = SnappedAt(pointerPixel);
    const PointerSnapper snapper = Snapper();
    std::string hint;
    Measure([&](SymbolView& line) {
        zandor::MeasureMove moved = measurement.Move(line, p, snapper);
        hint = std::move(moved.hint);
        return moved.step;
    });
    ShowHint(hint);
}

void LayoutView::MeasureRelease(const QPoint& release) {
    const Point p = SnappedAt(release);
    const PointerSnapper snapper = Snapper();
    Measure([&](SymbolView& line) { return measurement.Release(line, p, snapper); });
}

void LayoutView::MeasureRightRelease(Qt::MouseButtons held) {
    Measure([&](SymbolView& line) { return measurement.RightRelease(line, held & Qt::LeftButton); });
}

void LayoutView::HideMeasurement() {
    Measure([&](SymbolView& line) { return measurement.Hide(line); });
}

}  // namespace zandor
