// The Edit, Layout and Arrange commands driven through the main window under
// the offscreen platform: which commands a selection enables, the questions
// and dialogs they ask (answered as a user would, through the modal dialogs
// themselves), and what they leave in the layout, the layer table and the
// settings.
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QInputDialog>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

#include "model/LayerDescription.h"
#include "model/ModelSettings.h"
#include "model/RecordViews.h"
#include "model/SymbolDescription.h"
#include "platform/headless/RecordingMessages.h"
#include "shell/EditDialogs.h"
#include "shell/LayoutView.h"
#include "shell/LayoutWindow.h"
#include "shell/MainForm.h"
#include "shell/ShellSettings.h"

using namespace zandor;
using platform::headless::RecordedMessage;
using platform::headless::ScopedMessageCapture;

namespace {

// Answers the modal dialogs that open while it lives, one step each, in
// turn; what a step is handed is the dialog.
class ModalAnswers {
public:
    using Step = std::function<void(QWidget*)>;
    explicit ModalAnswers(std::initializer_list<Step> list) : steps(list) {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) {
                answered = nullptr;
                return;
            }
            if (modal == answered || steps.empty()) return;
            answered = modal;
            Step step = steps.front();
            steps.pop_front();
            step(modal);
        });
        timer.start(5);
    }
    std::size_t Left() const { return steps.size(); }

private:
    std::deque<Step> steps;
    QTimer timer;
    QPointer<QWidget> answered;
};

// An input box answered with text; seen gets the text it offered.
ModalAnswers::Step Type(const QString& text, QString* seen = nullptr) {
    return [text, seen](QWidget* w) {
        auto* box = qobject_cast<QInputDialog*>(w);
        ASSERT_NE(box, nullptr);
        if (seen) *seen = box->textValue();
        box->setTextValue(text);
        box->accept();
    };
}

ModalAnswers::Step Cancel() {
    return [](QWidget* w) { static_cast<QDialog*>(w)->reject(); };
}

template <typename T>
T* Child(QWidget* parent, const char* name) {
    T* child = parent->findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
}

// Main symbol: rectangles on layers 0 and 1, a call of "cell" at
// (100 um, 0); "cell" holds one square on layer 1.
const char* const kSmallLayout =
    "DS 1 1 1; 9 cell; L L1; B 1000 1000 500 500; DF;\n"
    "L L0; B 2000 1000 1000 500;\n"
    "L L1; B 1000 2000 3500 1000;\n"
    "C 1 T 10000 0;\n"
    "E\n";

class EditCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config.isValid());
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        saved = zandor::Settings();
    }
    void TearDown() override { zandor::Settings() = saved; }

    std::unique_ptr<MainForm> MakeForm() {
        auto form = std::make_unique<MainForm>(false);
        form->resize(1000, 700);
        form->show();
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        return form;
    }
    // A window on kSmallLayout, read from a file like any layout.
    LayoutWindow* OpenSmall(MainForm& form) {
        const QString name = config.path() + "/small.cif";
        QFile file(name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(kSmallLayout);
        file.close();
        return form.OpenFile(name);
    }
    // Triggers a command as the menu does, after the idle update.
    static bool Enabled(MainForm& form, const char* name) {
        form.UpdateCommands();
        return form.Command(name)->isEnabled();
    }
    static void Run(MainForm& form, const char* name) {
        form.UpdateCommands();
        QAction* action = form.Command(name);
        ASSERT_NE(action, nullptr) << name;
        ASSERT_TRUE(action->isEnabled()) << name;
        action->trigger();
    }
    // Selects the records of the shown symbol that the test accepts.
    static void Select(SymbolDescription& s, const std::function<bool(const Word*)>& which) {
        s.DeselectAll();
        for (Word* r = s.FirstRecord(); r; r = s.NextObject(r))
            if (which(r)) s.SetSelected(r);
        s.UpdateSelection();
    }
    static std::vector<Word> Buffer(const SymbolDescription& s) {
        return std::vector<Word>(s.Words(), s.Words() + s.usedWords);
    }

    QTemporaryDir config;
    ScopedMessageCapture messages;
    ModelSettings saved;
};

TEST_F(EditCommandsTest, LayoutTogglesFlipTheirSettingAndShowIt) {
    auto form = MakeForm();
    ShellSettings& settings = form->Settings();
    const std::vector<std::pair<const char*, bool*>> toggles = {
        {"ActionLayoutSnapGrid", &form->GetGrid().snap},    {"ActionLayoutSnapGuidelines", &settings.snapGuidelines},
        {"ActionLayoutSnapOrtho", &settings.snapOrtho},     {"ActionLayoutSingleLayer", &settings.singleLayer},
        {"ActionLayoutLockSymbols", &settings.lockSymbols},
    };
    for (const auto& [name, flag] : toggles) {
        const bool before = *flag;
        for (bool expected : {!before, before}) {
            Run(*form, name);
            form->UpdateCommands();
            EXPECT_EQ(*flag, expected) << name;
            EXPECT_EQ(form->Command(name)->isChecked(), expected) << name;
        }
    }
}

// Locked symbols and groups are passed over by a click on a corner of the
// call; unlocked, the same click selects the call.
TEST_F(EditCommandsTest, LockSymbolsKeepsCallsFromBeingPicked) {
    auto form = MakeForm();
    LayoutWindow* window = OpenSmall(*form);
    ASSERT_NE(window, nullptr);
    LayoutView& view = window->View();
    SymbolDescription& main = *window->Document().MainSymbol();
    ASSERT_TRUE(view.RenderNow());
    // The call's lower-left corner, one of the points it is found by.
    std::int32_t x = 100000, y = 0;
    window->Document().view.WorldToScreen(x, y);
    for (bool locked : {true, false}) {
        form->Settings().lockSymbols = locked;
        main.DeselectAll();
        main.UpdateSelection();
        QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
        EXPECT_EQ(main.selectedCount, locked ? 0 : 1) << "locked " << locked;
        if (!locked) {
            EXPECT_EQ(main.currentKind, static_cast<int>(ObjectKind::SymbolCall));
        }
    }
}

TEST_F(EditCommandsTest, GridCommandsChangeTheSpacing) {
    auto form = MakeForm();
    Grid& grid = form->GetGrid();
    grid.SetSpacing(5000);
    Run(*form, "ActionLayoutGridPlus");
    EXPECT_EQ(grid.Spacing(), 10000);
    Run(*form, "ActionLayoutGridMinus");
    Run(*form, "ActionLayoutGridMinus");
    EXPECT_EQ(grid.Spacing(), 2000);
    EXPECT_EQ(grid.EffectiveSpacing(), 2000);

    QString offered;
    {
        ModalAnswers answers{Type("2.5", &offered)};
        Run(*form, "ActionLayoutGridSetup");
    }
    EXPECT_EQ(offered, "2") << "the box offers the spacing in micrometres";
    EXPECT_EQ(grid.Spacing(), 2500);
    EXPECT_EQ(grid.EffectiveSpacing(), 2500);
    // Text that is not a number, or no spacing at all, changes nothing.
    for (const QString& bad : {QString("wide"), QString("0"), QString("-3")}) {
        messages.messages.clear();
        ModalAnswers answers{Type(bad)};
        Run(*form, "ActionLayoutGridSetup");
        EXPECT_EQ(grid.Spacing(), 2500) << bad.toStdString();
        EXPECT_EQ(messages.messages.size(), 1u) << bad.toStdString();
    }
}

// A refused answer shows why and asks again with the answer kept; an
// accepted one changes the active and the main layout and the panel.
TEST_F(EditCommandsTest, AddAndRemoveLayersCheckEveryIndexFirst) {
    auto form = MakeForm();
    LayoutWindow* window = OpenSmall(*form);
    ASSERT_NE(window, nullptr);
    Layout& layout = window->Document();
    ASSERT_NE(layout.Layer(0), nullptr);
    ASSERT_NE(layout.Layer(1), nullptr);
    ASSERT_EQ(layout.Layer(7), nullptr);

    QString kept[4];
    {
        ModalAnswers answers{Type("7;x"), Type("7;300", &kept[0]), Type("7:1", &kept[1]), Type("7;7", &kept[2]),
                             Type("7:8; 9", &kept[3])};
        Run(*form, "ActionLayoutAddLayers");
        EXPECT_EQ(answers.Left(), 0u);
    }
    EXPECT_EQ(kept[0], "7;x");
    EXPECT_EQ(kept[1], "7;300");
    EXPECT_EQ(kept[3], "7;7");
    EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{
                                     {"Please enter indices separated by colons or semicolons.", "Error"},
                                     {"Index must be between 0 and 255.", "Error"},
                                     {"Layer 1 already exists!", "Error"},
                                     {"Layer 7 already exists!", "Error"},
                                 }));
    for (int index : {7, 8, 9}) {
        EXPECT_NE(layout.Layer(index), nullptr) << index;
        EXPECT_NE(form->MainLayout().Layer(index), nullptr) << index;
    }
    EXPECT_EQ(layout.Layer(7)->name, "Layer 7");
    EXPECT_EQ(form->LayerPanel().topLevelItemCount(), layout.LayerCount());

    messages.messages.clear();
    {
        ModalAnswers answers{Type("8;5"), Type("8;1"), Type("8:9")};
        Run(*form, "ActionLayoutRemoveLayers");
        EXPECT_EQ(answers.Left(), 0u);
    }
    EXPECT_EQ(messages.messages,
              (std::vector<RecordedMessage>{
                  {"Layer 5 does not exist!", "Error"},
                  {"Layer 1 still contains objects. You need to delete these first before the layer can be removed.",
                   "Error"},
              }));
    EXPECT_EQ(layout.Layer(8), nullptr) << "nothing of a refused answer stays removed";
    EXPECT_EQ(layout.Layer(9), nullptr);
    EXPECT_EQ(form->MainLayout().Layer(8), nullptr);
    EXPECT_NE(layout.Layer(7), nullptr);
    EXPECT_NE(layout.Layer(1), nullptr);

    // Cancel ends the question.
    messages.messages.clear();
    {
        ModalAnswers answers{Cancel()};
        Run(*form, "ActionLayoutAddLayers");
    }
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(EditCommandsTest, PreferencesGoIntoTheSettingsAndTheSettingsFile) {
    {
        auto form = MakeForm();
        ModalAnswers answers{[](QWidget* w) {
            Child<QCheckBox>(w, "CheckAllNodes")->setChecked(false);
            Child<QCheckBox>(w, "CheckSplitLargePolygons")->setChecked(false);
            Child<QSpinBox>(w, "SpinCircleSegments")->setValue(64);
            Child<QSpinBox>(w, "SpinRingSegments")->setValue(48);
            Child<QSpinBox>(w, "SpinMaxPolyNodes")->setValue(1000);
            Child<QLineEdit>(w, "EditPolygonGrid")->setText("5");
            static_cast<QDialog*>(w)->accept();
        }};
        Run(*form, "ActionLayoutPreferences");
        EXPECT_FALSE(form->Settings().allNodes);
        const ModelSettings& model = zandor::Settings();
        EXPECT_FALSE(model.splitLargePolygons);
        EXPECT_EQ(model.circleNumSegments, 64);
        EXPECT_EQ(model.ringNumSegments, 48);
        EXPECT_EQ(model.maxPolyNodes, 1000);
        EXPECT_EQ(model.polygonGrid, 5);
        form->SaveState();
    }
    zandor::Settings() = saved;
    auto again = MakeForm();
    EXPECT_FALSE(again->Settings().allNodes);
    EXPECT_EQ(zandor::Settings().circleNumSegments, 64);
    EXPECT_EQ(zandor::Settings().ringNumSegments, 48);
    EXPECT_EQ(zandor::Settings().maxPolyNodes, 1000);
    EXPECT_EQ(zandor::Settings().polygonGrid, 5);
    EXPECT_FALSE(zandor::Settings().splitLargePolygons);

    // A polygon grid that is not a number keeps the dialog open.
    ModalAnswers answers{[](QWidget* w) {
        Child<QLineEdit>(w, "EditPolygonGrid")->setText("fine");
        static_cast<QDialog*>(w)->accept();
        EXPECT_TRUE(w->isVisible());
        static_cast<QDialog*>(w)->reject();
    }};
    messages.messages.clear();
    Run(*again, "ActionLayoutPreferences");
    EXPECT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(zandor::Settings().polygonGrid, 5);
}

// Open symbol follows the selected call into its symbol's node; Close goes
// back to the parent node.
TEST_F(EditCommandsTest, OpenAndCloseSymbolMoveThroughTheTree) {
    auto form = MakeForm();
    LayoutWindow* window = OpenSmall(*form);
    ASSERT_NE(window, nullptr);
    Layout& layout = window->Document();
    SymbolDescription& main = *layout.MainSymbol();
    EXPECT_FALSE(Enabled(*form, "ActionArrangeOpen"));
    EXPECT_FALSE(Enabled(*form, "ActionArrangeClose")) << "the main symbol's node is the root";
    Select(main, [](const Word* r) { return RecordKind(r) == ObjectKind::Rectangle; });
    EXPECT_FALSE(Enabled(*form, "ActionArrangeOpen")) << "a rectangle is no call";
    Select(main, [](const Word* r) { return RecordKind(r) == ObjectKind::SymbolCall; });
    Run(*form, "ActionArrangeOpen");
    ASSERT_NE(layout.ShownSymbolDescription(), nullptr);
    EXPECT_EQ(layout.ShownSymbolDescription()->Name(), "cell");
    EXPECT_EQ(window->SymbolTree().currentItem()->text(0), "cell");
    Run(*form, "ActionArrangeClose");
    EXPECT_EQ(layout.ShownSymbolDescription(), &main);
    EXPECT_FALSE(Enabled(*form, "ActionArrangeClose"));
}

}  // namespace
