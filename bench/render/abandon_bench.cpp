// How quickly a drawing pass gives up when the user presses a key or a mouse
// button: a layout of a million rectangles is drawn once in full, then drawn
// again while a key press (and then a button press) arrives half-way; the
// time from the press to the end of the pass is printed.
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <random>

#include "display/Background.h"
#include "display/Grid.h"
#include "model/Layout.h"
#include "model/SymbolDescription.h"
#include "shell/LayoutView.h"
#include "shell/ShellSettings.h"

using namespace zandor;

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int objects = argc > 1 ? std::atoi(argv[1]) : 1000000;

    auto layout = std::make_unique<Layout>();
    SymbolDescription* main = layout->MainSymbol();
    std::mt19937 random(7);
    std::uniform_int_distribution<int> position(0, 10000000);
    std::uniform_int_distribution<int> side(1000, 20000);
    for (int i = 0; i < objects; ++i) {
        const int x = position(random), y = position(random);
        main->AddRectangle(x, y, x + side(random), y + side(random), i % 8);
    }
    Grid grid;
    Background background;
    ShellSettings settings;
    LayoutView view(std::move(layout), grid, background, settings);
    view.resize(1600, 1000);
    view.show();

    QElapsedTimer clock;
    clock.start();
    view.RenderNow();
    const double full = clock.nsecsElapsed() / 1e6;
    std::printf("objects %d, full pass %.1f ms\n", objects, full);

    for (const char* what : {"key", "button"}) {
        qint64 pressedAt = -1;
        QTimer::singleShot(static_cast<int>(full / 2), [&] {
            pressedAt = clock.nsecsElapsed();
            QEvent* event;
            if (what[0] == 'k')
                event = new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
            else
                event = new QMouseEvent(QEvent::MouseButtonPress, QPointF(10, 10), QPointF(10, 10), Qt::LeftButton,
                                        Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::postEvent(&view, event);
        });
        clock.restart();
        const bool complete = view.RenderNow();
        const qint64 endedAt = clock.nsecsElapsed();
        if (complete || pressedAt < 0) {
            std::printf("%s press: the pass ended before the press was seen (%.1f ms)\n", what, endedAt / 1e6);
        } else {
            std::printf("%s press after %.1f ms: pass abandoned %.1f ms later (target: under 100 ms)\n", what,
                        pressedAt / 1e6, (endedAt - pressedAt) / 1e6);
        }
        QCoreApplication::processEvents();
    }
    return 0;
}
