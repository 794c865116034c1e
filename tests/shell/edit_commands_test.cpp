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
#include <algorithm>
#include <array>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

#include "editing/EditPrompts.h"
#include "model/LayerDescription.h"
#include "model/ModelSettings.h"
#include "model/ObjectRecord.h"
#include "model/RecordViews.h"
#include "model/SymbolDescription.h"
#include "model/UndoList.h"
#include "platform/headless/RecordingMessages.h"
#include "shell/EditDialogs.h"
#include "shell/LayoutView.h"
#include "shell/LayoutWindow.h"
#include "shell/MainForm.h"
#include "shell/ShellSettings.h"
#include "support/EditorFixture.h"

using namespace zandor;
using platform::headless::RecordedMessage;
using platform::headless::ScopedMessageCapture;
using test::Cancel;
using test::Child;
using test::ModalAnswers;
using test::Type;

namespace {

// Main symbol: rectangles on layers 0 and 1, a call of "cell" at
// (100 um, 0); "cell" holds one square on layer 1.
const char* const kSmallLayout =
    "DS 1 1 1; 9 cell; L L1; B 1000 1000 500 500; DF;\n"
    "L L0; B 2000 1000 1000 500;\n"
    "L L1; B 1000 2000 3500 1000;\n"
    "C 1 T 10000 0;\n"
    "E\n";

class EditCommandsTest : public test::EditorFixture {
protected:
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
    // The buffer with the selected bit of every object header cleared, the
    // headers found by walking s (whose layout the buffer shares).
    static std::vector<Word> Unselected(SymbolDescription& s) { return Unselected(Buffer(s), s); }
    static std::vector<Word> Unselected(std::vector<Word> words, SymbolDescription& s) {
        for (Word* r = s.FirstRecord(); r; r = s.NextObject(r)) {
            const std::size_t at = static_cast<std::size_t>(r - s.Words());
            if (at < words.size()) SetSelectedBit(&words[at], false);
        }
        return words;
    }
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

// Undo and redo through the Edit menu put the shown symbol's buffer back
// word for word, and are offered only when there is a step to take.
TEST_F(EditCommandsTest, UndoAndRedoRestoreTheBuffer) {
    auto form = MakeForm();
    LayoutWindow* window = OpenSmall(*form);
    ASSERT_NE(window, nullptr);
    SymbolDescription& main = *window->Document().MainSymbol();
    EXPECT_FALSE(Enabled(*form, "ActionEditUndo"));
    EXPECT_FALSE(Enabled(*form, "ActionEditRedo"));
    const std::vector<Word> before = Buffer(main);
    main.Undo().BeginStep();
    ASSERT_NE(main.AddRectangle(-5000, -5000, 0, 0, 1), nullptr);
    main.Undo().BeginStep();
    ASSERT_NE(main.AddCircle(0, 0, 3000, 0), nullptr);
    const std::vector<Word> after = Buffer(main);

    Run(*form, "ActionEditUndo");
    Run(*form, "ActionEditUndo");
    EXPECT_EQ(Buffer(main), before);
    EXPECT_FALSE(Enabled(*form, "ActionEditUndo"));
    Run(*form, "ActionEditRedo");
    Run(*form, "ActionEditRedo");
    EXPECT_EQ(Buffer(main), after);
    EXPECT_FALSE(Enabled(*form, "ActionEditRedo"));
    EXPECT_TRUE(window->Document().IsModified());
    // The shortcuts reach the same commands.
    EXPECT_EQ(form->Command("ActionEditUndo")->shortcut(), QKeySequence("Ctrl+Z"));
    EXPECT_EQ(form->Command("ActionEditRedo")->shortcut(), QKeySequence("Ctrl+Shift+Z"));
}

// The transform dialog reads only the page shown, keeps its fields between
// uses and couples its boxes as a user expects.
TEST_F(EditCommandsTest, TheTransformDialogReadsThePageShown) {
    TransformDialog dialog;
    auto* x = Child<QLineEdit>(&dialog, "EditScaleX");
    auto* y = Child<QLineEdit>(&dialog, "EditScaleY");
    auto* keep = Child<QCheckBox>(&dialog, "CheckKeepAspect");
    ASSERT_TRUE(keep->isChecked());
    x->setText("250");
    EXPECT_EQ(y->text(), "250") << "the vertical factor follows while the ratio is kept";
    EXPECT_FALSE(y->isEnabled());
    keep->setChecked(false);
    y->setText("50");
    EXPECT_TRUE(y->isEnabled());

    auto* relative = Child<QCheckBox>(&dialog, "CheckMoveRelative");
    auto* centre = Child<QCheckBox>(&dialog, "CheckCenter");
    centre->setChecked(true);
    relative->setChecked(true);
    EXPECT_FALSE(centre->isChecked());
    EXPECT_FALSE(centre->isEnabled());
    relative->setChecked(false);
    EXPECT_TRUE(centre->isEnabled());

    dialog.Prepare(TransformPage::Rotate, 1500, -2500.5);
    EXPECT_EQ(Child<QLineEdit>(&dialog, "EditRotX")->text(), "1.5");
    EXPECT_EQ(Child<QLineEdit>(&dialog, "EditRotY")->text(), "-2.5005");
    Child<QLineEdit>(&dialog, "EditAngle")->setText("30");
    Child<QLineEdit>(&dialog, "EditMoveX")->setText("not read on the rotate page");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Request().page, TransformPage::Rotate);
    EXPECT_DOUBLE_EQ(dialog.Request().angle, 30);
    EXPECT_DOUBLE_EQ(dialog.Request().rotX, 1500);
    EXPECT_DOUBLE_EQ(dialog.Request().rotY, -2500.5);
    EXPECT_TRUE(messages.messages.empty());

    // A bad number on the page shown keeps the dialog open with a message.
    dialog.Prepare(TransformPage::Scale, 0, 0);
    dialog.show();
    y->setText("half");
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(messages.messages.size(), 1u);
    y->setText("50");
    dialog.accept();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_DOUBLE_EQ(dialog.Request().scaleX, 2.5);
    EXPECT_DOUBLE_EQ(dialog.Request().scaleY, 0.5);
    EXPECT_EQ(x->text(), "250") << "the fields keep their values for the next use";

    dialog.Prepare(TransformPage::GrowShrink, 0, 0);
    Child<QLineEdit>(&dialog, "EditAmount")->setText("-0.25");
    Child<QCheckBox>(&dialog, "CheckRoundCorners")->setChecked(true);
    Child<QCheckBox>(&dialog, "CheckLeaveOriginal")->setChecked(true);
    dialog.accept();
    EXPECT_EQ(dialog.Request().amount, -250);
    EXPECT_TRUE(dialog.Request().roundCorners);
    EXPECT_TRUE(dialog.Request().leaveOriginal);
}

// The nine buttons put the origin on the selection box; typing into a field
// clears them.
TEST_F(EditCommandsTest, TheNewSymbolDialogPlacesTheOriginOnTheSelectionBox) {
    NewSymbolDialog dialog("Symbol 4", Rect{-1001, 2000, 3000, 6001});
    auto* x = Child<QLineEdit>(&dialog, "EditOriginX");
    auto* y = Child<QLineEdit>(&dialog, "EditOriginY");
    EXPECT_TRUE(Child<QRadioButton>(&dialog, "RB7")->isChecked());
    EXPECT_EQ(x->text() + "," + y->text(), "-1.001,2");
    const std::vector<std::pair<const char*, QString>> placements = {
        {"RB1", "-1.001,6.001"}, {"RB2", "0.999,6.001"}, {"RB3", "3,6.001"}, {"RB4", "-1.001,4"},
        {"RB5", "0.999,4"},      {"RB6", "3,4"},         {"RB8", "0.999,2"}, {"RB9", "3,2"},
    };
    for (const auto& [button, expected] : placements) {
        Child<QRadioButton>(&dialog, button)->click();
        EXPECT_EQ(x->text() + "," + y->text(), expected) << button;
        int checked = 0;
        for (int i = 1; i <= 9; ++i)
            checked += Child<QRadioButton>(&dialog, QString("RB%1").arg(i).toUtf8().constData())->isChecked();
        EXPECT_EQ(checked, 1) << button;
    }
    QTest::keyClick(x, Qt::Key_5);
    for (int i = 1; i <= 9; ++i)
        EXPECT_FALSE(Child<QRadioButton>(&dialog, QString("RB%1").arg(i).toUtf8().constData())->isChecked());
    x->setText("12.5");
    Child<QLineEdit>(&dialog, "EditName")->setText("pad");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Name(), "pad");
    EXPECT_EQ(dialog.Origin().X, 12500);
    EXPECT_EQ(dialog.Origin().Y, 2000);
}

// Rows and columns outlive the dialog in the settings file; the array box
// is offered for a single call only.
TEST_F(EditCommandsTest, TheDuplicateDialogRemembersRowsAndColumns) {
    const QString file = config.path() + "/duplicate.ini";
    {
        QSettings ini(file, QSettings::IniFormat);
        DuplicateDialog dialog(&ini);
        EXPECT_EQ(Child<QLineEdit>(&dialog, "EditRows")->text(), "2");
        EXPECT_EQ(Child<QLineEdit>(&dialog, "EditCols")->text(), "1");
        dialog.Prepare(20000, 1500, false);
        EXPECT_EQ(Child<QLineEdit>(&dialog, "EditRowSpacing")->text(), "20");
        EXPECT_EQ(Child<QLineEdit>(&dialog, "EditColSpacing")->text(), "1.5");
        EXPECT_FALSE(Child<QCheckBox>(&dialog, "CheckArray")->isEnabled());
        dialog.Prepare(0, 0, true);
        EXPECT_TRUE(Child<QCheckBox>(&dialog, "CheckArray")->isEnabled());
        EXPECT_TRUE(Child<QCheckBox>(&dialog, "CheckArray")->isChecked());
        Child<QLineEdit>(&dialog, "EditRows")->setText("3");
        Child<QLineEdit>(&dialog, "EditCols")->setText("4");
        Child<QLineEdit>(&dialog, "EditColSpacing")->setText("-2");
        dialog.accept();
        EXPECT_EQ(dialog.Request().rows, 3);
        EXPECT_EQ(dialog.Request().columns, 4);
        EXPECT_EQ(dialog.Request().columnSpacing, -2000);
        EXPECT_TRUE(dialog.Request().asArray);
    }
    QSettings ini(file, QSettings::IniFormat);
    EXPECT_EQ(ini.value("Duplicate/Rows").toString(), "3");
    EXPECT_EQ(ini.value("Duplicate/Cols").toString(), "4");
    DuplicateDialog again(&ini);
    EXPECT_EQ(Child<QLineEdit>(&again, "EditRows")->text(), "3");
    EXPECT_EQ(Child<QLineEdit>(&again, "EditCols")->text(), "4");
}

}  // namespace

// Each command changes the selection, and one undo puts the buffer back
// exactly; redo brings the change back.
TEST_F(EditCommandsTest, SelectionCommandsChangeTheSymbolAndUndoRestoresIt) {
    struct Case {
        const char* command;
        int selected;  // the first n rectangles of the main symbol
        std::function<void(SymbolDescription&)> check;
    };
    const auto rectangles = [](SymbolDescription& s) {
        int n = 0;
        for (Word* r = s.FirstRecord(); r; r = s.NextObject(r)) n += RecordKind(r) == ObjectKind::Rectangle;
        return n;
    };
    const auto polygons = [](SymbolDescription& s) {
        int n = 0;
        for (Word* r = s.FirstRecord(); r; r = s.NextObject(r)) n += RecordKind(r) == ObjectKind::Polygon;
        return n;
    };
    const std::vector<Case> cases = {
        {"ActionEditDelete", 2, [&](SymbolDescription& s) { EXPECT_EQ(rectangles(s), 0); }},
        {"ActionEditMirrorH", 1, [&](SymbolDescription& s) { EXPECT_EQ(rectangles(s), 2); }},
        {"ActionEditMirrorV", 2, [&](SymbolDescription& s) { EXPECT_EQ(rectangles(s), 2); }},
        {"ActionEditMerge", 2, [&](SymbolDescription& s) { EXPECT_GE(polygons(s), 1); }},
        {"ActionEditConvertIntoPolygons", 1,
         [&](SymbolDescription& s) {
             EXPECT_EQ(polygons(s), 1);
             EXPECT_EQ(rectangles(s), 1);
         }},
        {"ActionLayoutCenter", 0, [&](SymbolDescription& s) { EXPECT_EQ(rectangles(s), 2); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        auto form = MakeForm();
        LayoutWindow* window = OpenSmall(*form);
        ASSERT_NE(window, nullptr);
        SymbolDescription& main = *window->Document().MainSymbol();
        int left = c.selected;
        Select(main, [&](const Word* r) { return RecordKind(r) == ObjectKind::Rectangle && left-- > 0; });
        const std::vector<Word> before = Buffer(main);
        Run(*form, c.command);
        const std::vector<Word> after = Buffer(main);
        EXPECT_NE(after, before);
        c.check(main);
        EXPECT_TRUE(window->Document().IsModified());
        Run(*form, "ActionEditUndo");
        EXPECT_EQ(Buffer(main), before);
        // Redo brings the objects back; which of them are selected may differ.
        Run(*form, "ActionEditRedo");
        EXPECT_EQ(Unselected(main), Unselected(after, main));
    }
}

TEST_F(EditCommandsTest, SelectionCommandsFollowTheSelection) {
    auto form = MakeForm();
    LayoutWindow* window = OpenSmall(*form);
    ASSERT_NE(window, nullptr);
    SymbolDescription& main = *window->Document().MainSymbol();
    main.DeselectAll();
    main.UpdateSelection();
    for (const char* name : {"ActionEditDelete", "ActionEditTransform", "ActionEditMirrorH", "ActionEditInvert",
                             "ActionEditConvertIntoPolygons", "ActionEditMerge"})
        EXPECT_FALSE(Enabled(*form, name)) << name;
    int left = 1;
    Select(main, [&](const Word* r) { return RecordKind(r) == ObjectKind::Rectangle && left-- > 0; });
    // One object: convert into polygons but no merge.
    EXPECT_TRUE(Enabled(*form, "ActionEditConvertIntoPolygons"));
    EXPECT_FALSE(Enabled(*form, "ActionEditMerge"));
    EXPECT_FALSE(Enabled(*form, "ActionEditConvertArcIntoWire"));
    EXPECT_FALSE(form->Command("ActionEditConvertArcIntoWire")->isVisible());
    Select(main, [](const Word* r) { return RecordKind(r) == ObjectKind::Rectangle; });
    EXPECT_TRUE(Enabled(*form, "ActionEditMerge"));
    EXPECT_TRUE(Enabled(*form, "ActionLayoutCenter"));
    EXPECT_EQ(form->Command("ActionEditMerge")->toolTip(), "Merge");
    EXPECT_EQ(form->Command("ActionEditMerge")->statusTip(), "Merge the selected objects into one or more polygons");
    EXPECT_EQ(form->Command("ActionEditRotate")->shortcuts(),
              (QList<QKeySequence>{QKeySequence("Alt+F8"), QKeySequence("Ctrl+R")}));
}

// Move through the dialog by a relative offset; the rectangle's corners follow.
TEST_F(EditCommandsTest, MoveThroughTheTransformDialog) {
    auto form = MakeForm();
    LayoutWindow* window = OpenSmall(*form);
    ASSERT_NE(window, nullptr);
    SymbolDescription& main = *window->Document().MainSymbol();
    int left = 1;
    Select(main, [&](const Word* r) { return RecordKind(r) == ObjectKind::Rectangle && left-- > 0; });
    const Rect box = main.selectionBox;
    const std::vector<Word> before = Buffer(main);
    ModalAnswers answers({[](QWidget* w) {
        Child<QCheckBox>(w, "CheckMoveRelative")->setChecked(true);
        Child<QLineEdit>(w, "EditMoveX")->setText("3");
        Child<QLineEdit>(w, "EditMoveY")->setText("-1.5");
        static_cast<QDialog*>(w)->accept();
    }});
    Run(*form, "ActionEditMove");
    EXPECT_EQ(answers.Left(), 0u);
    main.UpdateSelection();
    EXPECT_EQ(main.selectionBox.minx, box.minx + 3000);
    EXPECT_EQ(main.selectionBox.miny, box.miny - 1500);
    Run(*form, "ActionEditUndo");
    EXPECT_EQ(Buffer(main), before);
}

// Invert asks for the border width through the input box.
TEST_F(EditCommandsTest, InvertAsksForTheBorder) {
    auto form = MakeForm();
    LayoutWindow* window = OpenSmall(*form);
    ASSERT_NE(window, nullptr);
    SymbolDescription& main = *window->Document().MainSymbol();
    int left = 1;
    Select(main, [&](const Word* r) { return RecordKind(r) == ObjectKind::Rectangle && left-- > 0; });
    const std::vector<Word> before = Buffer(main);
    QString offered;
    {
        ModalAnswers answers({Type("1", &offered)});
        Run(*form, "ActionEditInvert");
        EXPECT_EQ(answers.Left(), 0u);
    }
    EXPECT_EQ(offered, "0");
    EXPECT_NE(Buffer(main), before);
    Run(*form, "ActionEditUndo");
    EXPECT_EQ(Buffer(main), before);
    // A text that is no number changes nothing.
    Select(main, [&](const Word* r) { return RecordKind(r) == ObjectKind::Rectangle; });
    const std::vector<Word> selectedBoth = Buffer(main);
    messages.messages.clear();
    {
        ModalAnswers answers({Type("x")});
        Run(*form, "ActionEditInvert");
    }
    EXPECT_EQ(Buffer(main), selectedBoth);
    EXPECT_EQ(messages.messages.size(), 1u);
}

// Combine into a new symbol and break the call apart again, group and break
// the group apart, flatten the layout: the rectangles keep their places, and
// undo takes each step back.
TEST_F(EditCommandsTest, ArrangeCommandsRoundTrip) {
    auto form = MakeForm();
    LayoutWindow* window = OpenSmall(*form);
    ASSERT_NE(window, nullptr);
    ScriptedPrompts prompts;
    ScopedEditPrompts scoped(prompts);
    Layout& layout = window->Document();
    SymbolDescription& main = *layout.MainSymbol();
    const auto rectangles = [&main] {
        std::vector<std::array<std::int32_t, 5>> found;
        for (Word* r = main.FirstRecord(); r; r = main.NextObject(r)) {
            if (RecordKind(r) != ObjectKind::Rectangle) continue;
            const RectangleView v(r);
            found.push_back({RecordLayer(r), v.Corner1().X, v.Corner1().Y, v.Corner2().X, v.Corner2().Y});
        }
        std::sort(found.begin(), found.end());
        return found;
    };
    const auto isRectangle = [](const Word* r) { return RecordKind(r) == ObjectKind::Rectangle; };
    const auto start = rectangles();
    ASSERT_EQ(start.size(), 2u);
    const std::vector<Word> original = Buffer(main);

    Select(main, isRectangle);
    EXPECT_FALSE(Enabled(*form, "ActionArrangeUncombine")) << "two objects selected";
    EXPECT_TRUE(Enabled(*form, "ActionArrangeGroup"));
    const std::size_t symbols = layout.Symbols().size();
    prompts.newSymbols.push_back({});
    Run(*form, "ActionArrangeCombine");
    ASSERT_EQ(layout.Symbols().size(), symbols + 1);
    EXPECT_TRUE(rectangles().empty());
    ASSERT_EQ(main.selectedCount, 1);
    EXPECT_EQ(main.currentKind, static_cast<int>(ObjectKind::SymbolCall));
    Run(*form, "ActionArrangeUncombine");
    EXPECT_EQ(rectangles(), start);
    EXPECT_EQ(main.selectedCount, 2);

    Run(*form, "ActionArrangeGroup");
    ASSERT_EQ(main.selectedCount, 1);
    EXPECT_EQ(main.currentKind, static_cast<int>(ObjectKind::Group));
    Run(*form, "ActionArrangeUncombine");
    EXPECT_EQ(rectangles(), start);

    Run(*form, "ActionLayoutFlatten");
    for (const Word* r = main.FirstRecord(); r; r = main.NextRecord(r)) EXPECT_FALSE(IsCallKind(RecordKind(r)));
    EXPECT_EQ(rectangles().size(), 3u) << "the called square joins the two rectangles";

    for (int k = 0; k < 5; ++k) Run(*form, "ActionEditUndo");
    EXPECT_EQ(Unselected(main), Unselected(original, main));
}

// A selection of many objects goes through the whole-buffer undo: through the
// menus, undo gives back the buffer with its selection and the status line,
// and redo the state after.
TEST_F(EditCommandsTest, LargeSelectionsUndoAndRedoThroughTheMenus) {
    QString cif = "DS 1 1 1; 9 cell; L L1; B 1000 1000 500 500; DF;\nL L1;\n";
    for (int k = 0; k < 60; ++k) cif += QString("B 1000 500 %1 %2;\n").arg(k * 2000).arg(k % 7 * 1000);
    cif += "C 1 T 0 20000;\nE\n";
    const QString name = config.path() + "/many.cif";
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(cif.toUtf8());
    file.close();
    auto form = MakeForm();
    LayoutWindow* window = form->OpenFile(name);
    ASSERT_NE(window, nullptr);
    SymbolDescription& main = *window->Document().MainSymbol();
    const auto statusLine = [&form] {
        QStringList texts;
        for (int panel = 0; panel < 4; ++panel) texts << form->StatusText(panel);
        return texts;
    };
    for (const char* command : {"ActionEditDelete", "ActionEditMirrorH"}) {
        SCOPED_TRACE(command);
        Select(main, [](const Word*) { return true; });
        window->View().ContentsChanged();
        ASSERT_EQ(main.selectedCount, 61);
        const std::vector<Word> before = Buffer(main);
        const QStringList shown = statusLine();
        Run(*form, command);
        const std::vector<Word> after = Buffer(main);
        EXPECT_NE(Unselected(after, main), Unselected(before, main));
        Run(*form, "ActionEditUndo");
        EXPECT_EQ(Buffer(main), before);
        EXPECT_EQ(main.selectedCount, 61);
        EXPECT_EQ(statusLine(), shown);
        EXPECT_EQ(main.Children(), std::vector<std::int32_t>{1});
        Run(*form, "ActionEditRedo");
        EXPECT_EQ(Unselected(main), Unselected(after, main));
        Run(*form, "ActionEditUndo");
    }
}
