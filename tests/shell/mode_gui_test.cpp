// The interaction modes driven with real mouse and key events on the layout
// view (offscreen platform): the mode letters, the settings bound to a mode,
// the pop-up menus, and what each mode creates or changes, with the status
// texts on the way and undo afterwards.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
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

using namespace zandor;
using platform::headless::RecordedMessage;
using test::ModalAnswers;

namespace {

// A new layout in a window, its view zoomed so that one pixel is `pitch`
// nanometres with (0, 0) at pixel (100, 600), and the grid at 1 um.
class ModeTest : public test::EditorFixture {
protected:
    void Open(std::int32_t pitch = 1000) {
        form = MakeForm();
        window = form->NewLayout();
        view = &window->View();
        layout = &view->Document();
        main = layout->MainSymbol();
        form->GetGrid().SetSpacing(1000);
        ASSERT_TRUE(view->RenderNow());
        const std::int64_t w = view->width(), h = view->height();
        view->Viewport().SetViewRect(-100LL * pitch, (600 - h) * pitch, (w - 100) * pitch, 600LL * pitch);
        ASSERT_TRUE(view->RenderNow());
        const QPoint origin = Pixel(0, 0);
        ASSERT_LE((origin - QPoint(100, 600)).manhattanLength(), 2);
        ASSERT_NEAR(layout->view.sx * pitch, 1.0, 0.01);
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
    }
    void Move(QPoint at) { QTest::mouseMove(view, at); }
    void Release(QPoint at, Qt::KeyboardModifiers keys = Qt::NoModifier) {
        QTest::mouseRelease(view, Qt::LeftButton, keys, at);
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
    QString Status() const { return form->StatusText(0); }
    void Undo() { form->Command("ActionEditUndo")->trigger(); }

    std::unique_ptr<MainForm> form;
    LayoutWindow* window = nullptr;
    LayoutView* view = nullptr;
    Layout* layout = nullptr;
    SymbolDescription* main = nullptr;
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
    EXPECT_EQ(general.captions, (std::vector<std::string>{"&Undo", "C&lose symbol", "Snap to", "&Preferences..."}));
    Click(Um(0, 0));
    ASSERT_EQ(main->selectedCount, 1);
    MenuSeen selection = menuAt(Um(25, 25));
    ASSERT_FALSE(selection.captions.empty());
    EXPECT_NE(std::find(selection.captions.begin(), selection.captions.end(), "Transform"), selection.captions.end());
    EXPECT_NE(std::find(selection.captions.begin(), selection.captions.end(), "Shaping"), selection.captions.end());
    form->SetMode(5);
    MenuSeen insertion = menuAt(Um(200, 200));
    EXPECT_NE(std::find(insertion.captions.begin(), insertion.captions.end(), "&Wire settings..."),
              insertion.captions.end());
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
