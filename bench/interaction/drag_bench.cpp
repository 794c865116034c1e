// Dragging with the mouse on large selections: a view (offscreen Qt) shows
// 100,000 selected rectangles and drags their frame, then shows a polygon of
// 100,000 vertices in the node mode and drags one of its vertices.  Each
// mouse move is sent to the view and timed (the rubber shape only: the view
// draws no layout pass while a button is held), then the drop.  Prints the
// median and the slowest move and the drop, in milliseconds.
#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "display/Background.h"
#include "display/Grid.h"
#include "model/Layout.h"
#include "model/SymbolDescription.h"
#include "model/UndoList.h"
#include "shell/LayoutView.h"
#include "shell/ShellSettings.h"

using namespace zandor;

namespace {

void Send(LayoutView& view, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), view.mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &event);
}

struct DragTimes {
    double median = 0, slowest = 0, drop = 0, redraw = 0;
};

// Presses at `from`, moves in `steps` steps to `to` and releases there.
DragTimes Drag(LayoutView& view, QPoint from, QPoint to, int steps) {
    DragTimes t;
    Send(view, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    std::vector<double> moves;
    QElapsedTimer clock;
    for (int i = 1; i <= steps; ++i) {
        const QPoint at = from + (to - from) * i / steps;
        clock.start();
        Send(view, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
        moves.push_back(clock.nsecsElapsed() / 1e6);
    }
    clock.start();
    Send(view, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    t.drop = clock.nsecsElapsed() / 1e6;
    clock.start();
    view.RenderNow();
    t.redraw = clock.nsecsElapsed() / 1e6;
    std::sort(moves.begin(), moves.end());
    t.median = moves[moves.size() / 2];
    t.slowest = moves.back();
    return t;
}

QPoint Pixel(Layout& layout, std::int32_t x, std::int32_t y) {
    layout.view.WorldToScreen(x, y);
    return {x, y};
}

void Print(const char* what, const DragTimes& t) {
    std::printf("%-28s move median %.3f ms, slowest %.3f ms (target < 5 ms); drop %.1f ms; redraw %.1f ms\n", what,
                t.median, t.slowest, t.drop, t.redraw);
}

}  // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int objects = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int steps = 200;

    Grid grid;
    Background background;
    ShellSettings settings;
    // 100,000 rectangles on a 10 mm square, all selected.
    {
        auto layout = std::make_unique<Layout>();
        SymbolDescription* main = layout->MainSymbol();
        std::mt19937 random(7);
        std::uniform_int_distribution<int> position(0, 10000000);
        std::uniform_int_distribution<int> side(1000, 20000);
        for (int i = 0; i < objects; ++i) {
            const int x = position(random), y = position(random);
            main->AddRectangle(x, y, x + side(random), y + side(random), i % 8);
        }
        LayoutView view(std::move(layout), grid, background, settings);
        view.runEdit = [&view](const std::function<bool(SymbolDescription&)>& edit) {
            SymbolDescription* s = view.Document().ShownSymbolDescription();
            s->Undo().BeginStep();
            edit(*s);
            view.ContentsChanged();
        };
        view.resize(1600, 1000);
        view.show();
        view.RenderNow();
        view.Viewport().ZoomBack();
        view.RenderNow();
        SymbolDescription* shown = view.Document().ShownSymbolDescription();
        for (Word* r = shown->FirstRecord(); r; r = shown->NextObject(r)) shown->SetSelected(r);
        shown->UpdateSelection();
        shown->view.frameShown = true;
        view.RenderNow();
        const Rect box = shown->selectionBox;
        const QPoint from = Pixel(view.Document(), box.minx / 2 + box.maxx / 2, box.miny / 2 + box.maxy / 2);
        std::printf("%d selected rectangles\n", shown->selectedCount);
        Print("move the selection frame", Drag(view, from, from + QPoint(180, 90), steps));
        shown->view.frameShown = true;
        view.RenderNow();
        const QPoint corner = Pixel(view.Document(), shown->selectionBox.maxx, shown->selectionBox.maxy);
        Print("scale by a corner", Drag(view, corner, corner + QPoint(100, -60), steps));
    }
    // One polygon of 100,000 vertices on a circle; vertex 0 is dragged.
    {
        auto layout = std::make_unique<Layout>();
        SymbolDescription* main = layout->MainSymbol();
        std::vector<Point> ring(static_cast<std::size_t>(objects));
        for (int i = 0; i < objects; ++i) {
            const double a = 2 * M_PI * i / objects;
            ring[static_cast<std::size_t>(i)] = {static_cast<std::int32_t>(std::lround(5e6 * std::cos(a))),
                                                 static_cast<std::int32_t>(std::lround(5e6 * std::sin(a)))};
        }
        Word* polygon = main->AddPolygon(ring.data(), objects, 0);
        main->SelectSingle(polygon);
        LayoutView view(std::move(layout), grid, background, settings);
        view.runEdit = [&view](const std::function<bool(SymbolDescription&)>& edit) {
            SymbolDescription* s = view.Document().ShownSymbolDescription();
            s->Undo().BeginStep();
            edit(*s);
            view.ContentsChanged();
        };
        view.resize(1600, 1000);
        view.show();
        view.RenderNow();
        view.Viewport().ZoomBack();
        view.RenderNow();
        view.SetMode(1);
        view.RenderNow();
        const QPoint vertex = Pixel(view.Document(), ring[0].X, ring[0].Y);
        std::printf("a polygon of %d vertices\n", objects);
        Print("drag one vertex", Drag(view, vertex, vertex + QPoint(-150, 120), steps));
    }
    return 0;
}
