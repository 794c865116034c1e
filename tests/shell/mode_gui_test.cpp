// The interaction modes driven with real mouse and key events on the layout
// view (offscreen platform): the mode letters, the settings bound to a mode,
// the pop-up menus, and what each mode creates or changes, with the status
// texts on the way and undo afterwards.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

#include "formats/AllFormats.h"
#include "model/LayerDescription.h"
#include "model/ModelSettings.h"
#include "model/RecordViews.h"
#include "model/SymbolDescription.h"
#include "shell/LayoutView.h"
#include "shell/LayoutWindow.h"
#include "shell/MainForm.h"
#include "support/EditorFixture.h"

// Readable failures.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

using namespace zandor;
using platform::headless::RecordedMessage;
using test::ModalAnswers;

namespace {

// A new layout in a window, its view zoomed so that one pixel is `pitch`
// nanometres with (0, 0) 40 pixels from the left and 60 from the bottom, and
// the grid at 1 um (2.5 pixels: the grid snaps at its own spacing).
class ModeTest : public test::EditorFixture {
protected:
    void Open(std::int32_t pitch = 400) {
        form = MakeForm();
        form->resize(1300, 950);
        window = form->NewLayout();
        view = &window->View();
        layout = &view->Document();
        main = layout->MainSymbol();
        form->GetGrid().SetSpacing(1000);
        ASSERT_TRUE(view->RenderNow());
        const std::int64_t w = view->width(), h = view->height();
        view->Viewport().SetViewRect(-40LL * pitch, -60LL * pitch, (w - 40) * pitch, (h - 60) * pitch);
        ASSERT_TRUE(view->RenderNow());
        const QPoint origin = Pixel(0, 0);
        ASSERT_LE((origin - QPoint(40, static_cast<int>(h) - 60)).manhattanLength(), 2);
        ASSERT_NEAR(layout->view.sx * pitch, 1.0, 0.01);
        ASSERT_EQ(form->GetGrid().EffectiveSpacing(), 1000);
        ASSERT_GE(view->width(), 40 + 240 * 1000 / pitch);
        ASSERT_GE(view->height(), 60 + 160 * 1000 / pitch);
    }
    QPoint Pixel(std::int32_t x, std::int32_t y) const {
        layout->view.WorldToScreen(x, y);
        return {x, y};
    }
    // World micrometres to the pixel under them.
    QPoint Um(double x, double y) const {
        return Pixel(static_cast<std::int32_t>(std::lround(x * 1000)),
                     static_cast<std::int32_t>(std::lround(y * 1000)));
    }
    void Press(QPoint at, Qt::KeyboardModifiers keys = Qt::NoModifier) {
        QTest::mousePress(view, Qt::LeftButton, keys, at);
        held = Qt::LeftButton;
    }
    // The test library moves the cursor instead of sending an event while no
    // button is held, which the offscreen platform ignores: the event is sent.
    void Move(QPoint at) {
        if (QGuiApplication::mouseButtons() != Qt::NoButton || held != Qt::NoButton) {
            QTest::mouseMove(view, at);
            return;
        }
        QMouseEvent move(QEvent::MouseMove, QPointF(at), view->mapToGlobal(QPointF(at)), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(view, &move);
    }
    void Release(QPoint at, Qt::KeyboardModifiers keys = Qt::NoModifier) {
        QTest::mouseRelease(view, Qt::LeftButton, keys, at);
        held = Qt::NoButton;
    }
    void Click(QPoint at, Qt::KeyboardModifiers keys = Qt::NoModifier) {
        Press(at, keys);
        Move(at);
        Release(at, keys);
    }
    void Drag(QPoint from, QPoint to, Qt::KeyboardModifiers keys = Qt::NoModifier) {
        Press(from, keys);
        Move((from + to) / 2);
        Move(to);
        Release(to, keys);
    }
    // As the window system sends it: press, release, double click, release.
    void DoubleClick(QPoint at) {
        Click(at);
        QTest::mouseDClick(view, Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, at);
    }
    void RightClick(QPoint at) {
        QTest::mousePress(view, Qt::RightButton, Qt::NoModifier, at);
        QTest::mouseRelease(view, Qt::RightButton, Qt::NoModifier, at);
    }
    std::vector<Word> Buffer() const { return {main->Words(), main->Words() + main->usedWords}; }
    // The records of the shown symbol, in order.
    std::vector<const Word*> Records() const {
        std::vector<const Word*> out;
        for (const Word* r = main->FirstRecord(); r; r = main->NextRecord(r)) out.push_back(r);
        return out;
    }
    const Word* Last() const {
        const std::vector<const Word*> all = Records();
        return all.empty() ? nullptr : all.back();
    }
    // The picture settled: no pass waiting, the marks drawn.
    QImage Picture() {
        test::SettleView(*view);
        return view->BackBuffer().copy();
    }
    QString Status() const { return form->StatusText(0); }
    // Words with the selected bit of every header cleared.
    std::vector<Word> Unselected(std::vector<Word> words) const {
        for (std::size_t at = 0; at < words.size() && words[at] != 0; at += RecordLength(&words[at]))
            SetSelectedBit(&words[at], false);
        return words;
    }
    void Undo() { form->Command("ActionEditUndo")->trigger(); }

    std::unique_ptr<MainForm> form;
    LayoutWindow* window = nullptr;
    LayoutView* view = nullptr;
    Layout* layout = nullptr;
    SymbolDescription* main = nullptr;
    Qt::MouseButton held = Qt::NoButton;
};

struct MenuSeen {
    std::vector<std::string> captions;
    std::string defaultCaption;
};

// The captions of a pop-up menu, read while it is open, and the menu closed.
struct MenuReader {
    MenuReader() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) return;
            for (QAction* a : menu->actions()) {
                if (a->isSeparator()) continue;
                seen.captions.push_back(a->text().toStdString());
                if (a == menu->defaultAction()) seen.defaultCaption = a->text().toStdString();
            }
            menu->close();
        });
        timer.start(5);
    }
    QTimer timer;
    MenuSeen seen;
};

TEST_F(ModeTest, LettersSwitchModesAndSpaceGoesBackAndForth) {
    Open();
    const std::vector<std::pair<char, int>> letters = {{'N', 1}, {'Z', 2}, {'R', 3}, {'P', 4}, {'W', 5},
                                                       {'C', 6}, {'A', 7}, {'T', 8}, {'M', 10}};
    for (const auto& [letter, expected] : letters) {
        QTest::keyClick(view, letter);
        EXPECT_EQ(form->Mode(), expected) << letter;
        EXPECT_EQ(view->mode, expected) << letter;
        QTest::keyClick(view, static_cast<char>(std::tolower(letter)));
        EXPECT_EQ(form->Mode(), expected) << "lower case " << letter;
    }
    QTest::keyClick(view, Qt::Key_Space);
    EXPECT_EQ(form->Mode(), 0);
    QTest::keyClick(view, Qt::Key_Space);
    EXPECT_EQ(form->Mode(), 10) << "back to the mode used before";
    // Without a script engine library the script mode is not offered.
    form->UpdateCommands();
    EXPECT_FALSE(form->Command("ActionModeScript")->isVisible());
    QTest::keyClick(view, 'S');
    EXPECT_EQ(form->Mode(), 10);
    // Wire settings and text properties belong to their modes.
    for (const auto& [mode, wires, texts] : {std::tuple{5, true, false}, {8, false, true}, {3, false, false}}) {
        form->SetMode(mode);
        form->UpdateCommands();
        EXPECT_EQ(form->Command("ActionWireThickness")->isVisible(), wires) << mode;
        EXPECT_EQ(form->Command("ActionWireThickness")->isEnabled(), wires) << mode;
        EXPECT_EQ(form->Command("ActionTextProperties")->isVisible(), texts) << mode;
    }
}

TEST_F(ModeTest, WireSettingsAndTextPropertiesGoIntoTheSettings) {
    Open();
    form->SetMode(5);
    form->UpdateCommands();
    {
        ModalAnswers answers({[](QWidget* w) {
            test::Child<QLineEdit>(w, "EditWidth")->setText("0.5");
            static_cast<QDialog*>(w)->accept();  // refused: below 1 um
            EXPECT_TRUE(w->isVisible());
            static_cast<QDialog*>(w)->reject();
        }});
        form->Command("ActionWireThickness")->trigger();
    }
    EXPECT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(form->Settings().wireThickness, 100000);
    {
        ModalAnswers answers({[](QWidget* w) {
            test::Child<QLineEdit>(w, "EditWidth")->setText("2,5");
            test::Child<QRadioButton>(w, "RadioExtended")->setChecked(true);
            static_cast<QDialog*>(w)->accept();
        }});
        form->Command("ActionWireThickness")->trigger();
    }
    EXPECT_EQ(form->Settings().wireThickness, 2500);
    EXPECT_EQ(form->Settings().wireStyle, 2);

    form->SetMode(8);
    form->UpdateCommands();
    {
        ModalAnswers answers({[](QWidget* w) {
            test::Child<QLineEdit>(w, "EditSize")->setText("5");
            test::Child<QLineEdit>(w, "EditAngle")->setText("-90");
            static_cast<QDialog*>(w)->accept();
        }});
        form->Command("ActionTextProperties")->trigger();
    }
    EXPECT_EQ(form->Settings().textHeight, 5000);
    EXPECT_EQ(form->Settings().textAngle, -90000);
}

// A text is asked for at the release and placed at the snapped point with
// the text properties; one undo takes it away with its glyphs.
TEST_F(ModeTest, TheTextModePlacesATextWhereTheMouseWasReleased) {
    Open();
    form->Settings().textHeight = 20000;
    form->SetMode(8);
    const std::vector<Word> before = Buffer();
    {
        QString offered = "x";
        ModalAnswers answers({test::Type("Hi", &offered)});
        Click(Um(30.4, 20.2));
        EXPECT_EQ(offered, "");
    }
    const Word* text = main->FirstRecord();
    ASSERT_NE(text, nullptr);
    ASSERT_EQ(RecordKind(text), ObjectKind::Text);
    const HeadView head(text);
    EXPECT_EQ(head.Position(), (Point{30000, 20000}));
    EXPECT_GT(main->objectCount, 2) << "the head and the glyph polygons";
    Undo();
    EXPECT_EQ(Buffer(), before);
    // Cancelled, nothing is made.
    {
        ModalAnswers answers({test::Cancel()});
        Click(Um(30, 20));
    }
    EXPECT_EQ(Buffer(), before);
}

TEST_F(ModeTest, InsertingNeedsACurrentLayer) {
    Open();
    layout->activeLayer = 200;  // no such layer
    ASSERT_EQ(layout->Layer(200), nullptr);
    for (int mode : {3, 4, 8}) {
        form->SetMode(mode);
        messages.messages.clear();
        Click(Um(10, 10));
        Click(Um(20, 20));
        EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"You first have to select a layer!", "Error"},
                                                                   {"You first have to select a layer!", "Error"}}))
            << mode;
    }
    EXPECT_EQ(main->objectCount, 0);
}

TEST_F(ModeTest, RightClicksOpenTheMenuOfTheModeAndState) {
    Open();
    main->AddRectangle(0, 0, 50000, 50000, 0);
    view->RefreshOverlays();
    const auto menuAt = [this](QPoint at) {
        MenuReader reader;
        RightClick(at);
        return reader.seen;
    };
    form->SetMode(0);
    MenuSeen general = menuAt(Um(200, 200));
    EXPECT_EQ(general.captions, (std::vector<std::string>{"&Undo", "&Paste", "C&lose symbol", "Snap to",
                                                          "&Mask size...", "&Preferences..."}));
    Click(Um(0, 0));
    ASSERT_EQ(main->selectedCount, 1);
    MenuSeen selection = menuAt(Um(25, 25));
    ASSERT_FALSE(selection.captions.empty());
    EXPECT_NE(std::find(selection.captions.begin(), selection.captions.end(), "Transform"), selection.captions.end());
    EXPECT_NE(std::find(selection.captions.begin(), selection.captions.end(), "Shaping"), selection.captions.end());
    for (const char* clipboard : {"Cu&t", "&Copy"})
        EXPECT_NE(std::find(selection.captions.begin(), selection.captions.end(), clipboard), selection.captions.end())
            << clipboard;
    form->SetMode(5);
    MenuSeen insertion = menuAt(Um(200, 200));
    EXPECT_NE(std::find(insertion.captions.begin(), insertion.captions.end(), "&Wire settings..."),
              insertion.captions.end());
}

TEST_F(ModeTest, RectanglesByDraggingAndByClickMoveClick) {
    Open();
    form->SetMode(3);
    const QImage empty = Picture();
    // Dragged from upper right to lower left: stored with its corners ordered.
    Press(Um(10, 10));
    Move(Um(5, 5));
    EXPECT_NE(view->BackBuffer(), empty) << "the rubber rectangle";
    Move(Um(0, 0));
    EXPECT_EQ(Status(), "(10,10)->(0,0), width: 10, height: 10");
    Release(Um(0, 0));
    ASSERT_EQ(main->objectCount, 1);
    EXPECT_EQ(RecordKind(Last()), ObjectKind::Rectangle);
    EXPECT_EQ(RectangleView(Last()).Corner1(), (Point{0, 0}));
    EXPECT_EQ(RectangleView(Last()).Corner2(), (Point{10000, 10000}));
    EXPECT_TRUE(IsSelected(Last())) << "the new object is the selection";
    // Click, move, click; the pointer lands on the grid.
    Click(Um(20, 0));
    Move(Um(30.3, 4.8));
    Click(Um(30.3, 4.8));
    ASSERT_EQ(main->objectCount, 2);
    EXPECT_EQ(RectangleView(Last()).Corner2(), (Point{30000, 5000}));
    EXPECT_EQ(main->selectedCount, 1);
    // No width: nothing is made, and nothing is left on the screen.
    Drag(Um(40, 0), Um(40, 10));
    EXPECT_EQ(main->objectCount, 2);
    // The right button cancels.
    Click(Um(50, 0));
    Move(Um(60, 10));
    RightClick(Um(60, 10));
    EXPECT_EQ(main->objectCount, 2);
    Undo();
    EXPECT_EQ(main->objectCount, 1) << "one undo step per object";
    main->DeselectAll();
    main->UpdateSelection();
    Undo();
    EXPECT_EQ(main->objectCount, 0);
    EXPECT_EQ(Picture(), empty);
}

TEST_F(ModeTest, PolygonsAndWiresTakeAPointPerClick) {
    Open();
    form->Settings().snapOrtho = true;
    form->SetMode(4);
    // Three clicks and a double click: four nodes; the second click, a bit
    // off the horizontal, snaps onto it.
    Click(Um(0, 0));
    Move(Um(20, 3));
    EXPECT_TRUE(Status().startsWith("(0,0),(20,0) dx: 20 dy: 0 angle: 0")) << Status().toStdString();
    Click(Um(20, 3));
    Click(Um(20, 20));
    DoubleClick(Um(0, 20));
    ASSERT_EQ(main->objectCount, 1);
    const PolygonView polygon(Last());
    ASSERT_EQ(polygon.NodeCount(), 4);
    EXPECT_EQ(std::vector<Point>(polygon.Nodes(), polygon.Nodes() + 4),
              (std::vector<Point>{{0, 0}, {20000, 0}, {20000, 20000}, {0, 20000}}));
    // A double click on the first point alone makes nothing.
    DoubleClick(Um(50, 50));
    EXPECT_EQ(main->objectCount, 1);

    // A wire of two clicks and a right click, with the wire settings.
    form->Settings().wireThickness = 2000;
    form->Settings().wireStyle = 1;
    form->SetMode(5);
    Click(Um(0, 40));
    Click(Um(30, 40));
    RightClick(Um(30, 40));
    ASSERT_EQ(main->objectCount, 2);
    const WireView wire(Last());
    EXPECT_EQ(wire.NodeCount(), 2);
    EXPECT_EQ(wire.Width(), 2000);
    EXPECT_EQ(wire.EndStyle(), 1);
    EXPECT_EQ(wire.Nodes()[1], (Point{30000, 40000}));
}

TEST_F(ModeTest, CirclesArcsAndRings) {
    Open();
    form->SetMode(6);
    // 30 right and 20 up snaps to the diagonal: radius 30 * sqrt(2) um.
    form->Settings().snapOrtho = true;
    Press(Um(0, 0));
    Move(Um(30, 20));
    EXPECT_EQ(Status(), "Center: 0,0, radius: 42.426, diameter: 84.852 (snap orthogonal)");
    Release(Um(30, 20));
    ASSERT_EQ(main->objectCount, 1);
    EXPECT_EQ(CircleView(Last()).Radius(), 42426);
    form->Settings().snapOrtho = false;
    Drag(Um(100, 0), Um(130, 20));
    ASSERT_EQ(main->objectCount, 2);
    EXPECT_EQ(CircleView(Last()).Radius(), 36056);
    EXPECT_EQ(CircleView(Last()).Centre(), (Point{100000, 0}));
    // A click alone keeps going: click, move, click.
    Click(Um(200, 0));
    Move(Um(210, 0));
    Click(Um(210, 0));
    ASSERT_EQ(main->objectCount, 3);
    EXPECT_EQ(CircleView(Last()).Radius(), 10000);

    // Arc: centre, start, end; the end keeps the start's radius.
    form->SetMode(7);
    form->Settings().wireThickness = 3000;
    Click(Um(0, 100));
    Move(Um(20, 100));
    Click(Um(20, 100));
    Move(Um(0, 150));
    EXPECT_TRUE(Status().startsWith("Center: (0,100), start: (20,100), end: (0,120)")) << Status().toStdString();
    Click(Um(0, 150));
    ASSERT_EQ(main->objectCount, 4);
    ASSERT_EQ(RecordKind(Last()), ObjectKind::ArcWire);
    const ArcWireView arc(Last());
    EXPECT_EQ(arc.Start(), (Point{20000, 100000}));
    EXPECT_EQ(arc.End(), (Point{0, 120000}));
    EXPECT_EQ(arc.Width(), 3000);
    EXPECT_FALSE(arc.Clockwise());
    // A right click at the third stage turns the direction.
    Click(Um(100, 100));
    Click(Um(120, 100));
    Move(Um(100, 120));
    RightClick(Um(100, 120));
    Click(Um(100, 120));
    ASSERT_EQ(main->objectCount, 5);
    EXPECT_TRUE(ArcWireView(Last()).Clockwise());
    // The end brought back onto the start: a ring.
    Click(Um(200, 100));
    Click(Um(220, 100));
    Click(Um(220, 100));
    ASSERT_EQ(main->objectCount, 6);
    ASSERT_EQ(RecordKind(Last()), ObjectKind::Ring);
    EXPECT_EQ(RingView(Last()).Radius(), 20000);
    EXPECT_EQ(RingView(Last()).RingWidth(), 3000);
}

TEST_F(ModeTest, TheMeasuringLineFollowsAndLeavesNoTrace) {
    Open();
    form->Settings().snapOrtho = false;
    const QImage before = Picture();
    form->SetMode(10);
    Move(Um(0, 0));
    EXPECT_EQ(Status(), "New measurement...");
    Press(Um(0, 0));
    Move(Um(-30, 40));
    EXPECT_EQ(Status(), "(0,0)->(-30,40) dx: 30 dy: 40");
    Release(Um(-30, 40));
    const SymbolView& line = main->view;
    EXPECT_TRUE(line.measureShown);
    EXPECT_EQ((Point{line.measureX2, line.measureY2}), (Point{-30000, 40000}));
    Move(Um(10, 10));
    EXPECT_EQ(line.measureX2, -30000) << "measuring ended with the release";
    // The end can be taken up again.
    Drag(Um(-30, 40), Um(-30, 50));
    EXPECT_EQ(line.measureY2, 50000);
    EXPECT_EQ(line.measureX1, 0);
    // The line is drawn over the layout; a full drawing shows the same.
    const QImage shown = view->BackBuffer().copy();
    EXPECT_NE(shown, before);
    view->Redraw();
    EXPECT_EQ(Picture(), shown);
    // A right click over a shown line offers to hide it.
    MenuReader reader;
    RightClick(Um(100, 100));
    EXPECT_EQ(reader.seen.captions.front(), "&Hide measurement");
    view->HideMeasurement();
    EXPECT_FALSE(line.measureShown);
    EXPECT_EQ(view->BackBuffer(), before);
}

TEST_F(ModeTest, NodesAreDraggedSelectedAndMovedByTheArrowKeys) {
    Open();
    const Point square[4] = {{0, 0}, {20000, 0}, {20000, 20000}, {0, 20000}};
    Word* polygon = main->AddPolygon(square, 4, 0);
    main->SetSelected(polygon);
    main->SelectSingle(polygon);
    form->SetMode(1);
    ASSERT_EQ(main->view.nodeList.nodes.size(), 4u);
    const std::vector<Word> before = Buffer();
    const QImage markers = Picture();
    // Dragging vertex 2 moves it alone.
    Press(Um(20, 20));
    Move(Um(23, 20));
    Move(Um(25, 20));
    EXPECT_EQ(Status(), "Moving node, dx: 5, dy: 0");
    Release(Um(25, 20));
    const auto nodes = [this] {
        const PolygonView p(Last());
        return std::vector<Point>(p.Nodes(), p.Nodes() + p.NodeCount());
    };
    EXPECT_EQ(nodes(), (std::vector<Point>{{0, 0}, {20000, 0}, {25000, 20000}, {0, 20000}}));
    EXPECT_EQ(main->view.nodeList.nodes[2], (Point{25000, 20000}));
    Undo();
    EXPECT_EQ(Buffer(), before);
    EXPECT_EQ(main->view.nodeList.nodes[2], (Point{20000, 20000})) << "the markers follow the undo";
    // The dragged vertex stays selected; a Shift click adds another, and an
    // arrow key moves both by a grid step, as one undo step.
    Click(Um(20, 0), Qt::ShiftModifier);
    EXPECT_EQ(main->view.nodeList.selected.size(), 2u);
    Click(Um(0, 0), Qt::ShiftModifier);
    Click(Um(0, 0), Qt::ShiftModifier);
    EXPECT_EQ(main->view.nodeList.selected.size(), 2u) << "a second Shift click takes it away again";
    QTest::keyClick(view, Qt::Key_Right);
    EXPECT_EQ(nodes(), (std::vector<Point>{{0, 0}, {21000, 0}, {21000, 20000}, {0, 20000}}));
    Undo();
    EXPECT_EQ(Buffer(), before);
    // Delete takes the selected vertices, never below three.
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_EQ(PolygonView(Last()).NodeCount(), 4) << "four less two would leave two";
    EXPECT_EQ(messages.messages.back().text, "A polygon must keep at least 3 nodes.");
    Click(Um(0, 0));  // a vertex not selected becomes the only one
    EXPECT_EQ(main->view.nodeList.selected, std::vector<int>{0});
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_EQ(PolygonView(Last()).NodeCount(), 3);
    // A click beside the polygon drops it; the picture has no markers left.
    Click(Um(200, 200));
    EXPECT_TRUE(main->view.nodeList.nodes.empty());
    EXPECT_NE(Picture(), markers);
}

// Escape, a mode change or a zoom in the middle of drawing drops the object
// and leaves the picture as it was; a drag beyond the window is clamped to
// the world's edge.
TEST_F(ModeTest, PendingWorkEndsCleanly) {
    Open();
    form->SetMode(4);
    const QImage empty = Picture();
    Click(Um(0, 0));
    Click(Um(10, 0));
    Move(Um(10, 10));
    EXPECT_NE(view->BackBuffer(), empty);
    QTest::keyClick(view, Qt::Key_Escape);
    EXPECT_EQ(view->BackBuffer(), empty);
    Click(Um(20, 20));
    EXPECT_EQ(main->objectCount, 0) << "a press after Escape starts afresh";
    form->SetMode(3);
    EXPECT_EQ(view->BackBuffer(), empty);
    EXPECT_EQ(main->objectCount, 0);

    // A drag of the selection frame cut short by a mode change moves
    // nothing; the arrow keys move the selection by a grid step.
    main->AddRectangle(0, 0, 10000, 10000, 0);
    form->SetMode(0);
    Click(Um(0, 0));
    ASSERT_EQ(main->selectedCount, 1);
    const std::vector<Word> placed = Buffer();
    const QImage selected = Picture();
    Press(Um(5, 5));
    Move(Um(20, 5));
    EXPECT_TRUE(Status().startsWith("Move, dx: 15")) << Status().toStdString();
    form->SetMode(4);
    Release(Um(20, 5));
    EXPECT_EQ(Unselected(Buffer()), Unselected(placed));
    form->SetMode(0);
    EXPECT_EQ(Picture(), selected);
    QTest::keyClick(view, Qt::Key_Left);
    EXPECT_EQ(RectangleView(main->FirstRecord()).Corner1(), (Point{-1000, 0}));
    Undo();
    EXPECT_EQ(Unselected(Buffer()), Unselected(placed));
    main->DeselectAll();
    main->DeleteRecord(main->FirstRecord());
    main->UpdateSelection();
    form->SetMode(3);

    // A rectangle dragged past the world's corner ends at +-2e9.
    view->Viewport().SetViewRect(-2000000000LL, -2000000000LL, 2000000000LL, 2000000000LL);
    ASSERT_TRUE(view->RenderNow());
    Press(Pixel(0, 0));
    Move(QPoint(-2000, view->height() + 2000));
    Release(QPoint(-2000, view->height() + 2000));
    ASSERT_EQ(main->objectCount, 1);
    EXPECT_EQ(RectangleView(Last()).Corner1(), (Point{-2000000000, -2000000000}));
    EXPECT_EQ(RectangleView(Last()).Corner2(), (Point{0, 0}));
}

// Each insertion mode driven by the mouse through the main window, whose
// edits first end what the mouse has begun: the finished object is made,
// selected alone, and one undo takes it away.
TEST_F(ModeTest, EveryInsertionModeMakesItsObjectThroughTheEditor) {
    struct Case {
        const char* name;
        int mode;
        std::function<void()> mouse;
        ObjectKind kind;
        std::vector<Point> points;  // corners, nodes, or centre and (radius, 0)
    };
    const auto um = [](std::int32_t x, std::int32_t y) { return Point{x * 1000, y * 1000}; };
    const std::vector<Case> cases = {
        {"rectangle dragged",
         3,
         [this] { Drag(Um(10, 10), Um(30, 20)); },
         ObjectKind::Rectangle,
         {um(10, 10), um(30, 20)}},
        {"rectangle click, click",
         3,
         [this] {
             Click(Um(10, 10));
             Move(Um(20, 20));
             Click(Um(30, 20));
         },
         ObjectKind::Rectangle,
         {um(10, 10), um(30, 20)}},
        {"polygon ended by a double click",
         4,
         [this] {
             Click(Um(0, 0));
             Click(Um(20, 0));
             Click(Um(20, 20));
             DoubleClick(Um(0, 20));
         },
         ObjectKind::Polygon,
         {um(0, 0), um(20, 0), um(20, 20), um(0, 20)}},
        {"polygon ended by the right button",
         4,
         [this] {
             Click(Um(0, 0));
             Click(Um(20, 0));
             Click(Um(20, 20));
             RightClick(Um(40, 40));
         },
         ObjectKind::Polygon,
         {um(0, 0), um(20, 0), um(20, 20)}},
        {"wire",
         5,
         [this] {
             Click(Um(0, 0));
             Click(Um(30, 0));
             RightClick(Um(30, 30));
         },
         ObjectKind::Wire,
         {um(0, 0), um(30, 0)}},
        {"circle dragged", 6, [this] { Drag(Um(50, 50), Um(80, 50)); }, ObjectKind::Circle, {um(50, 50), um(30, 0)}},
        {"arc-wire",
         7,
         [this] {
             Click(Um(0, 0));
             Click(Um(10, 0));
             Move(Um(0, 10));
             Click(Um(0, 10));
         },
         ObjectKind::ArcWire,
         {um(10, 0), um(0, 0), um(0, 10)}},
    };
    for (const Case& k : cases) {
        Open();
        form->Settings().snapOrtho = false;
        const std::vector<Word> before = Buffer();
        form->SetMode(k.mode);
        k.mouse();
        ASSERT_EQ(main->objectCount, 1) << k.name;
        const Word* r = main->FirstRecord();
        ASSERT_EQ(RecordKind(r), k.kind) << k.name;
        EXPECT_EQ(RecordLayer(r), layout->activeLayer) << k.name;
        std::vector<Point> points;
        switch (k.kind) {
            case ObjectKind::Rectangle: points = {RectangleView(r).Corner1(), RectangleView(r).Corner2()}; break;
            case ObjectKind::Polygon:
            case ObjectKind::Wire: {
                const int n = k.kind == ObjectKind::Polygon ? PolygonView(r).NodeCount() : WireView(r).NodeCount();
                for (int i = 0; i < n; ++i)
                    points.push_back(k.kind == ObjectKind::Polygon ? PolygonView(r).Node(i) : WireView(r).Node(i));
                break;
            }
            case ObjectKind::Circle: points = {CircleView(r).Centre(), {CircleView(r).Radius(), 0}}; break;
            case ObjectKind::ArcWire:
                points = {ArcWireView(r).Start(), ArcWireView(r).Centre(), ArcWireView(r).End()};
                break;
            default: break;
        }
        EXPECT_EQ(points, k.points) << k.name;
        EXPECT_EQ(main->selectedCount, 1) << k.name;
        EXPECT_EQ(Status(), QString::fromStdString(main->statusText)) << k.name;
        EXPECT_TRUE(layout->IsModified()) << k.name;
        Undo();
        EXPECT_EQ(Buffer(), before) << k.name;
        layout->modified = false;
        form.reset();
    }
}

// Escape ends a drag or an insertion under way; the status bar then shows
// the selection again, not the text of what was cancelled.
TEST_F(ModeTest, EscapeCancelsWhatTheMouseDoesAndTheStatusShowsTheSelection) {
    Open();
    main->AddRectangle(0, 0, 50000, 50000, 0);
    main->AddRectangle(100000, 0, 150000, 50000, 0);
    view->ContentsChanged();
    form->SetMode(0);
    test::SettleView(*view);
    Drag(Um(-20, -20), Um(200, 100));
    ASSERT_EQ(main->selectedCount, 2);
    test::SettleView(*view);
    const QString selection = Status();
    ASSERT_TRUE(selection.startsWith("2 selected objects")) << selection.toStdString();
    const std::vector<Word> before = Buffer();
    const QImage still = view->BackBuffer().copy();

    Press(Um(75, 25));
    Move(Um(85, 35));
    Move(Um(95, 45));
    ASSERT_TRUE(Status().startsWith("Move, dx: ")) << Status().toStdString();
    QTest::keyClick(view, Qt::Key_Escape);
    EXPECT_EQ(Status(), selection);
    EXPECT_EQ(view->BackBuffer(), still) << "the dragged frame is gone";
    Release(Um(95, 45));
    EXPECT_EQ(Buffer(), before) << "the release after Escape moves nothing";
    EXPECT_EQ(main->selectedCount, 2) << "the first Escape keeps the selection";

    QTest::keyClick(view, Qt::Key_Escape);
    ASSERT_EQ(main->selectedCount, 0) << "the next Escape deselects";
    form->SetMode(3);
    const std::vector<Word> unselected = Buffer();
    const QImage empty = view->BackBuffer().copy();
    Press(Um(200, 200));
    Move(Um(220, 230));
    ASSERT_TRUE(Status().contains("width: 20")) << Status().toStdString();
    QTest::keyClick(view, Qt::Key_Escape);
    EXPECT_EQ(Status(), QString::fromStdString(main->statusText));
    EXPECT_EQ(view->BackBuffer(), empty) << "the rubber rectangle is gone";
    Release(Um(220, 230));
    EXPECT_EQ(Buffer(), unselected) << "no rectangle";
}

}  // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    zandor::RegisterFileFormats();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
