// Dragging with the mouse on large selections, in the editor's main window
// (offscreen Qt unless QT_QPA_PLATFORM says otherwise) with a view of 1600 x
// 1000 pixels: the frame of 100,000 selected rectangles is dragged (a move,
// then a scaling by a corner), then one vertex of a polygon of as many
// vertices as one record holds, in the node mode.  Each mouse move is timed
// twice: the view's handler alone (the rubber shape: no layout pass runs
// while a button is held) and the handler with the paint it asks for.  Then
// the drop (wall and CPU time of the edit, in the main window's edit frame)
// and the layout pass that follows it.  Each drag checks that it did what it
// should, so a figure never stands for nothing.
//
// Usage: drag_bench [OBJECTS] [--runs N]
// Prints one line per drag and run (bench/interaction/run.py reads them).
#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/Numbers.h"
#include "display/Grid.h"
#include "model/Layout.h"
#include "model/ObjectRecord.h"
#include "model/RecordViews.h"
#include "model/SymbolDescription.h"
#include "shell/LayoutView.h"
#include "shell/LayoutWindow.h"
#include "shell/MainForm.h"

using namespace zandor;

namespace {

void Send(LayoutView& view, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), view.mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &event);
}

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Counts the view's paint events, so that a timing "with the paint" is known
// to contain one.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

struct DragTimes {
    double median = 0, slowest = 0;            // the handler alone
    double paintMedian = 0, paintSlowest = 0;  // the handler and its paint
    double cpuSlowest = 0;                     // the same, CPU time of this thread
    double drop = 0, dropCpu = 0, redraw = 0;
    int moves = 0, paints = 0;
    int slowestAt = 0;  // which move (1 = the first) took longest with its paint
    QString status;     // the status text during the drag
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Presses at `from`, moves in `steps` steps to `to` and releases there.
DragTimes Drag(LayoutView& view, const std::function<QString()>& status, QPoint from, QPoint to, int steps) {
    DragTimes t;
    PaintCounter counter;
    // The pointer comes to the press point first, as a hand brings it there.
    Send(view, QEvent::MouseMove, from, Qt::NoButton, Qt::NoButton);
    Send(view, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    QCoreApplication::processEvents();
    view.installEventFilter(&counter);
    std::vector<double> handler, painted, cpu;
    QElapsedTimer clock;
    for (int i = 1; i <= steps; ++i) {
        const QPoint at = from + (to - from) * i / steps;
        const double cpuStart = ThreadCpuMs();
        clock.start();
        Send(view, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
        handler.push_back(clock.nsecsElapsed() / 1e6);
        QCoreApplication::processEvents();
        painted.push_back(clock.nsecsElapsed() / 1e6);
        cpu.push_back(ThreadCpuMs() - cpuStart);
    }
    view.removeEventFilter(&counter);
    t.status = status();
    const double dropStart = ThreadCpuMs();
    clock.start();
    Send(view, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    t.drop = clock.nsecsElapsed() / 1e6;
    t.dropCpu = ThreadCpuMs() - dropStart;
    clock.start();
    view.RenderNow();
    t.redraw = clock.nsecsElapsed() / 1e6;
    QCoreApplication::processEvents();
    t.moves = steps;
    t.paints = counter.paints;
    t.median = Median(handler);
    t.slowest = *std::max_element(handler.begin(), handler.end());
    t.paintMedian = Median(painted);
    const auto worst = std::max_element(painted.begin(), painted.end());
    t.paintSlowest = *worst;
    t.slowestAt = static_cast<int>(worst - painted.begin()) + 1;
    t.cpuSlowest = *std::max_element(cpu.begin(), cpu.end());
    return t;
}

QPoint Pixel(Layout& layout, std::int32_t x, std::int32_t y) {
    layout.view.WorldToScreen(x, y);
    return {x, y};
}

void Print(const char* what, int run, const DragTimes& t) {
    std::printf(
        "%-26s run %d: %d moves, %d paints; handler median %.3f ms, slowest %.3f ms; with paint median %.3f ms, "
        "slowest %.3f ms (move %d), slowest CPU %.3f ms; drop %.2f ms (CPU %.2f ms); redraw %.1f ms; status \"%s\"\n",
        what, run, t.moves, t.paints, t.median, t.slowest, t.paintMedian, t.paintSlowest, t.slowestAt, t.cpuSlowest,
        t.drop, t.dropCpu, t.redraw, t.status.toStdString().c_str());
    std::fflush(stdout);
}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "drag_bench: %s\n", what.c_str());
    std::exit(1);
}

// Lets the window settle: on a real display it is mapped and resized after
// show(), and the layout pass that follows must not land inside a drag.
void Settle(LayoutView& view) {
    QElapsedTimer clock;
    clock.start();
    int passes = -1;
    qint64 quietSince = 0;
    while (clock.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        const QWindow* window = view.window()->windowHandle();
        const bool exposed = window && window->isExposed();
        if (view.LayoutPassCount() != passes || !exposed) {
            passes = view.LayoutPassCount();
            quietSince = clock.elapsed();
        } else if (clock.elapsed() - quietSince > 200) {
            return;
        }
    }
}

// The editor as it runs: a main window with one layout window, whose view
// is made 1600 x 1000 pixels and shows what `fill` puts into the main symbol.
// Its edits run in the main window's frame, as every edit of the editor.
struct Editor {
    std::unique_ptr<MainForm> form;
    LayoutWindow* window = nullptr;

    explicit Editor(const std::function<void(SymbolDescription&)>& fill) {
        form = std::make_unique<MainForm>(false);
        form->GetGrid().SetSpacing(1000);
        form->resize(1900, 1150);
        form->show();
        window = form->NewLayout();
        window->showMaximized();
        fill(*View().Document().MainSymbol());
        View().ContentsChanged();
        Settle(View());
        form->resize(form->size() + QSize(1600, 1000) - View().size());
        Settle(View());
        View().Viewport().ZoomBack();
        View().RenderNow();
        Settle(View());
    }
    ~Editor() {
        // Nothing to save: the window closes without asking.
        View().Document().modified = false;
        form.reset();
    }
    LayoutView& View() { return window->View(); }
    std::function<QString()> Status() {
        return [this] { return form->StatusText(0); };
    }
};

void DragSelection(int objects, int steps, int run) {
    // Rectangles on a 10 mm square, all selected.
    Editor editor([objects](SymbolDescription& main) {
        std::mt19937 random(7);
        std::uniform_int_distribution<int> position(0, 10000000);
        std::uniform_int_distribution<int> side(1000, 20000);
        for (int i = 0; i < objects; ++i) {
            const int x = position(random), y = position(random);
            if (!main.AddRectangle(x, y, x + side(random), y + side(random), i % 8)) Fail("cannot add a rectangle");
        }
    });
    LayoutView& view = editor.View();
    if (run == 1) std::printf("view of %d x %d pixels\n", view.width(), view.height());
    SymbolDescription* shown = view.Document().ShownSymbolDescription();
    for (Word* r = shown->FirstRecord(); r; r = shown->NextObject(r)) shown->SetSelected(r);
    shown->UpdateSelection();
    shown->view.frameShown = true;
    view.RenderNow();
    Settle(view);
    if (shown->selectedCount != objects) Fail("not every rectangle is selected");

    // The drag starts inside the frame, away from its edges: a move.
    const Rect before = shown->selectionBox;
    const QPoint from = Pixel(view.Document(), before.minx / 2 + before.maxx / 2, before.miny / 2 + before.maxy / 2);
    const DragTimes move = Drag(view, editor.Status(), from, from + QPoint(180, 90), steps);
    const Rect moved = shown->selectionBox;
    // Right and down on the screen: +x and -y in the world; the size stays.
    if (!(moved.minx > before.minx && moved.miny < before.miny) ||
        moved.maxx - moved.minx != before.maxx - before.minx || moved.maxy - moved.miny != before.maxy - before.miny)
        Fail("the drop did not move the selection");
    if (!move.status.startsWith("Move")) Fail("the status shows no move: " + move.status.toStdString());
    Print("move the selection frame", run, move);

    shown->view.frameShown = true;
    view.RenderNow();
    Settle(view);
    const QPoint corner = Pixel(view.Document(), moved.maxx, moved.maxy);
    const DragTimes scale = Drag(view, editor.Status(), corner, corner + QPoint(100, -60), steps);
    const Rect scaled = shown->selectionBox;
    if (scaled.maxx - scaled.minx <= moved.maxx - moved.minx) Fail("the drop did not enlarge the selection");
    Print("scale by a corner", run, scale);
}

void DragVertex(int vertices, int steps, int run) {
    // A polygon on a circle of 5 mm radius; vertex 0 is dragged.
    std::vector<Point> ring(static_cast<std::size_t>(vertices));
    for (int i = 0; i < vertices; ++i) {
        const double a = 2 * M_PI * i / vertices;
        ring[static_cast<std::size_t>(i)] = {RoundHalfAway(5e6 * std::cos(a)), RoundHalfAway(5e6 * std::sin(a))};
    }
    Editor editor([&ring, vertices](SymbolDescription& main) {
        Word* polygon = main.AddPolygon(ring.data(), vertices, 0);
        if (!polygon) Fail("cannot add a polygon of " + std::to_string(vertices) + " vertices");
        main.SetSelected(polygon);
        main.SelectSingle(polygon);
    });
    LayoutView& view = editor.View();
    editor.form->SetMode(1);
    view.RenderNow();
    Settle(view);
    const QPoint vertex = Pixel(view.Document(), ring[0].X, ring[0].Y);
    const DragTimes drag = Drag(view, editor.Status(), vertex, vertex + QPoint(-150, 120), steps);
    SymbolDescription* shown = view.Document().ShownSymbolDescription();
    const Word* current = shown->CurrentObject();
    if (!current || RecordKind(current) != ObjectKind::Polygon) Fail("no current polygon after the node drag");
    const PolygonView after(current);
    if (after.NodeCount() != vertices) Fail("the node drag changed the number of vertices");
    int changed = 0;
    for (int i = 0; i < vertices; ++i) changed += after.Node(i) != ring[static_cast<std::size_t>(i)];
    if (changed != 1 || !(after.Node(0).X < ring[0].X && after.Node(0).Y < ring[0].Y))
        Fail("the node drag did not move vertex 0 alone, left and down");
    Print("drag one vertex", run, drag);
}

}  // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int objects = 100000, runs = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            objects = std::max(1, std::atoi(argv[i]));
    }
    // One record holds no more vertices than this.
    const int vertices = std::min(objects, kMaxPolygonNodes);
    const int steps = 200;
    std::printf("%d selected rectangles; a polygon of %d vertices; %d steps per drag, %s\n", objects, vertices, steps,
                qgetenv("QT_QPA_PLATFORM").constData());
    std::fflush(stdout);

    // The editor's settings go to a folder of their own.
    QTemporaryDir config;
    if (!config.isValid()) Fail("no temporary folder for the settings");
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    for (int run = 1; run <= runs; ++run) {
        DragSelection(objects, steps, run);
        DragVertex(vertices, steps, run);
    }
    return 0;
}
