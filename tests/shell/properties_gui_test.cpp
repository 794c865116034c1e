// The object property dialogs driven through the main window under the
// offscreen platform: each dialog opened on a prepared selection, its fields
// read and changed as a user would, OK or Cancel; what the record holds
// afterwards, and that one undo gives the symbol back word for word.
#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "editing/NodeEditing.h"
#include "geometry/TextOutlines.h"
#include "model/LayerDescription.h"
#include "model/ModelSettings.h"
#include "model/RecordViews.h"
#include "model/SymbolDescription.h"
#include "model/UndoList.h"
#include "platform/headless/RecordingMessages.h"
#include "shell/HelpViewer.h"
#include "shell/LayoutView.h"
#include "shell/LayoutWindow.h"
#include "shell/MainForm.h"
#include "support/EditorFixture.h"
#include "support/FakeGlyphs.h"

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

using namespace zandor;
using platform::headless::RecordedMessage;
using test::Child;
using test::ModalAnswers;

namespace {

using Fields = std::vector<std::pair<const char*, QString>>;
using DialogStep = std::function<void(QDialog*)>;

QString Field(QWidget* dialog, const char* name) { return Child<QLineEdit>(dialog, name)->text(); }

void SetFields(QWidget* dialog, const Fields& fields) {
    for (const auto& [name, text] : fields) Child<QLineEdit>(dialog, name)->setText(text);
}

// Chooses the item of a layer or symbol list whose data is `value`.
void Choose(QWidget* dialog, const char* list, int value) {
    auto* combo = Child<QComboBox>(dialog, list);
    const int at = combo->findData(value);
    ASSERT_GE(at, 0) << list << " has no " << value;
    combo->setCurrentIndex(at);
}

// A new layout with layers 0 to 3, a square "leaf" (id 1) of 1 um and an
// empty "other" (id 2) holding a square of 3 um.
class PropertiesTest : public test::EditorFixture {
protected:
    void SetUp() override {
        EditorFixture::SetUp();
        form = MakeForm();
        window = form->NewLayout();
        layout = &window->Document();
        for (int i = 0; i <= 3; ++i)
            if (!layout->Layer(i)) layout->SetLayer(std::make_unique<LayerDescription>(i, ""));
        main = layout->MainSymbol();
        layout->AddSymbol(1, "leaf")->AddRectangle(0, 0, 1000, 1000, 0);
        layout->AddSymbol(2, "other")->AddRectangle(0, 0, 3000, 3000, 0);
    }

    std::vector<Word> Buffer() const { return {main->Words(), main->Words() + main->usedWords}; }
    // Makes the record at the offset the one selected object.
    void SelectOnly(std::int32_t offset) {
        main->DeselectAll();
        Word* r = main->RecordAt(offset);
        main->SetSelected(r);
        main->SetCurrentObject(r);
        main->UpdateSelection();
    }
    std::int32_t Add(Word* r) {
        EXPECT_NE(r, nullptr);
        main->RecomputeBounds();
        return main->OffsetOf(r);
    }
    bool Enabled(const char* name) {
        form->UpdateCommands();
        return form->Command(name)->isEnabled();
    }
    void Run(const char* name) {
        form->UpdateCommands();
        QAction* action = form->Command(name);
        ASSERT_NE(action, nullptr) << name;
        ASSERT_TRUE(action->isEnabled()) << name;
        action->trigger();
    }
    // Runs a command whose dialog the step answers; false when no dialog
    // came.
    bool RunWithDialog(const char* command, DialogStep step) {
        ModalAnswers answers({[step](QWidget* w) { step(static_cast<QDialog*>(w)); }});
        Run(command);
        return answers.Left() == 0;
    }
    bool Properties(DialogStep step) { return RunWithDialog("ActionEditProperties", std::move(step)); }
    void Undo() { Run("ActionEditUndo"); }

    std::unique_ptr<MainForm> form;
    LayoutWindow* window = nullptr;
    Layout* layout = nullptr;
    SymbolDescription* main = nullptr;
};

// OK with the fields typed, checking that the dialog closed.
DialogStep Answer(const Fields& fields, const DialogStep& more = {}) {
    return [fields, more](QDialog* dialog) {
        SetFields(dialog, fields);
        if (more) more(dialog);
        dialog->accept();
        EXPECT_EQ(dialog->result(), QDialog::Accepted) << "the dialog refused what was typed";
        if (dialog->isVisible()) dialog->reject();
    };
}

TEST_F(PropertiesTest, EachDialogShowsItsObjectAndWritesWhatWasTypedAsOneStep) {
    struct Case {
        const char* name;
        std::function<Word*(SymbolDescription&)> make;
        const char* dialog;
        QString caption;
        Fields shown;
        Fields typed;
        DialogStep more;
        std::function<void(const Word*)> check;
    };
    const Point wireNodes[2] = {{0, 0}, {3000, 4000}};
    const double r90 = kPi / 2;
    const std::vector<Case> cases = {
        {"rectangle entered right to left",
         [](SymbolDescription& s) { return s.AddRectangle(1500, -2000, 3000, 4000, 1); },
         "RectanglePropertiesDlg",
         "Rectangle properties...",
         {{"EditXmin", "1.5"}, {"EditYmin", "-2"}, {"EditXmax", "3"}, {"EditYmax", "4"}},
         {{"EditXmin", "9"}, {"EditYmin", "0"}, {"EditXmax", "1"}, {"EditYmax", "3.25"}},
         [](QDialog* d) {
             EXPECT_EQ(Child<QComboBox>(d, "LayerCombo")->currentData().toInt(), 1);
             Choose(d, "LayerCombo", 2);
         },
         [](const Word* r) {
             EXPECT_EQ(RectangleView(r).Corner1(), (Point{9000, 0}));
             EXPECT_EQ(RectangleView(r).Corner2(), (Point{1000, 3250})) << "not reordered";
             EXPECT_EQ(RecordLayer(r), 2);
         }},
        {"box with a decimal comma in its angle",
         [](SymbolDescription& s) { return s.AddBox(0, 0, 4000, 2000, 30, 1); },
         "BoxPropertiesDlg",
         "Box properties...",
         {{"EditX", "0"}, {"EditL", "4"}, {"EditW", "2"}, {"EditA", "30"}},
         {{"EditA", "1,5"}, {"EditY", "-7"}, {"EditW", "0.5"}},
         {},
         [](const Word* r) {
             EXPECT_EQ(BoxView(r).AngleMillidegrees(), 1500);
             EXPECT_EQ(BoxView(r).Centre(), (Point{0, -7000}));
             EXPECT_EQ(BoxView(r).BoxWidth(), 500);
             EXPECT_EQ(BoxView(r).BoxLength(), 4000);
         }},
        {"circle",
         [](SymbolDescription& s) { return s.AddCircle(1000, 2000, 500, 1); },
         "CirclePropDlg",
         "Circle properties...",
         {{"EditX", "1"}, {"EditY", "2"}, {"EditR", "0.5"}},
         {{"EditR", "2.5"}},
         {},
         [](const Word* r) {
             EXPECT_EQ(CircleView(r).Radius(), 2500);
             EXPECT_EQ(CircleView(r).Centre(), (Point{1000, 2000}));
         }},
        {"ring",
         [](SymbolDescription& s) { return s.AddRing(0, 0, 5000, 1000, 1); },
         "RingPropDlg",
         "Ring properties...",
         {{"EditR", "5"}, {"EditW", "1"}},
         {{"EditW", "0.25"}, {"EditX", "3"}},
         {},
         [](const Word* r) {
             EXPECT_EQ(RingView(r).RingWidth(), 250);
             EXPECT_EQ(RingView(r).Centre(), (Point{3000, 0}));
             EXPECT_EQ(RingView(r).Radius(), 5000);
         }},
        {"clockwise arc wire keeps its direction",
         [](SymbolDescription& s) { return s.AddArcWire(0, 0, 5000, 0, 0, 5000, MakeArcWidthWord(1000, 0, true), 1); },
         "ArcWirePropDlg",
         "Arc-wire properties...",
         {{"EditXc", "0"}, {"EditXstart", "5"}, {"EditYstop", "5"}, {"EditW", "1"}},
         {{"EditW", "3"}, {"EditXstop", "-5"}, {"EditYstop", "0"}},
         [](QDialog* d) {
             EXPECT_TRUE(Child<QRadioButton>(d, "RadioRound")->isChecked());
             Child<QRadioButton>(d, "RadioExtended")->setChecked(true);
         },
         [](const Word* r) {
             const ArcWireView arc(r);
             EXPECT_TRUE(arc.Clockwise());
             EXPECT_EQ(arc.Width(), 3000);
             EXPECT_EQ(arc.EndStyle(), 2);
             EXPECT_EQ(arc.End(), (Point{-5000, 0}));
             EXPECT_EQ(arc.Start(), (Point{5000, 0}));
         }},
        {"wire width and ends",
         [&](SymbolDescription& s) { return s.AddWire(wireNodes, 2, 1000, 0, 1); },
         "WirePropDlg",
         "Wire properties...",
         {{"EditW", "1"}},
         {{"EditW", "0.5"}},
         [](QDialog* d) {
             EXPECT_EQ(Child<QLabel>(d, "LabelMeasure")->text(), "Total length: 5 um");
             EXPECT_EQ(Child<QTableView>(d, "theView")->model()->rowCount(), 2);
             Child<QRadioButton>(d, "RadioFlat")->setChecked(true);
         },
         [](const Word* r) {
             EXPECT_EQ(WireView(r).Width(), 500);
             EXPECT_EQ(WireView(r).EndStyle(), 1);
             EXPECT_EQ(WireView(r).NodeCount(), 2);
         }},
        {"call doubled and turned",
         [](SymbolDescription& s) { return s.InsertSymbolCall(1, 2000, 3000); },
         "SymbolPropDlg",
         "Symbol instance...",
         {{"EditX", "2"}, {"EditY", "3"}, {"EditXscale", "100"}, {"EditYscale", "100"}, {"EditAngle", "0"}},
         {{"EditXscale", "200"}, {"EditAngle", "90"}},
         [](QDialog* d) {
             EXPECT_TRUE(Child<QCheckBox>(d, "CheckLockAspect")->isChecked());
             EXPECT_EQ(Field(d, "EditYscale"), "200") << "the y-scale follows while locked";
             EXPECT_FALSE(Child<QLineEdit>(d, "EditYscale")->isEnabled());
             EXPECT_EQ(Child<QComboBox>(d, "SymbolComboBox")->currentText(), "leaf");
             Choose(d, "SymbolComboBox", 2);
         },
         [&](const Word* r) {
             const CallView call(r);
             EXPECT_EQ(call.SymbolId(), 2);
             const TransformMatrix m = call.Matrix();
             EXPECT_NEAR(m.a, 2 * std::cos(r90), 1e-12);
             EXPECT_NEAR(m.b, 2, 1e-12);
             EXPECT_NEAR(m.c, -2, 1e-12);
             EXPECT_DOUBLE_EQ(m.tx, 2000);
             EXPECT_DOUBLE_EQ(m.ty, 3000);
             // The square of 3 um doubled and turned a quarter about (2, 3).
             EXPECT_EQ(call.CachedExtent(), (Rect{-4000, 3000, 2000, 9000}));
         }},
        {"array with a negative column spacing",
         [](SymbolDescription& s) {
             return s.InsertArray(1, {0, 0}, {6000, 0}, {0, 2000}, 3, 1, 1, 0);
         },
         "ArrayPropDlg",
         "Array properties...",
         {{"EditX", "0"},
          {"EditSize", "100"},
          {"EditAngle", "0"},
          {"EditRows", "1"},
          {"EditColumns", "3"},
          {"EditRowSpacing", "2"},
          {"EditColSpacing", "2"}},
         {{"EditColSpacing", "-10"}, {"EditAngle", "540"}, {"EditSize", "50"}},
         [](QDialog* d) { EXPECT_FALSE(Child<QCheckBox>(d, "CheckBoxMirror")->isChecked()); },
         [](const Word* r) {
             const ArrayView array(r);
             EXPECT_EQ(array.Origin(), (Point{-20000, 0})) << "moved 20 um to the left";
             EXPECT_DOUBLE_EQ(array.AngleDegrees(), 180);
             EXPECT_DOUBLE_EQ(array.Magnification(), 0.5);
             // 3 columns of +10 um turned half a turn about the origin.
             EXPECT_EQ(array.ColumnEnd(), (Point{-50000, 0}));
             EXPECT_EQ(array.RowEnd(), (Point{-20000, -2000}));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::int32_t offset = Add(c.make(*main));
        SelectOnly(offset);
        layout->modified = false;
        const std::vector<Word> before = Buffer();
        const bool answered = Properties([&](QDialog* d) {
            EXPECT_EQ(d->objectName(), c.dialog);
            EXPECT_EQ(d->windowTitle(), c.caption);
            for (const auto& [name, text] : c.shown) EXPECT_EQ(Field(d, name), text) << name;
            Answer(c.typed, c.more)(d);
        });
        ASSERT_TRUE(answered);
        const Word* changed = main->CurrentObject();
        ASSERT_NE(changed, nullptr);
        EXPECT_EQ(main->OffsetOf(changed), offset);
        EXPECT_TRUE(IsSelected(changed));
        c.check(changed);
        EXPECT_TRUE(layout->modified);
        Undo();
        EXPECT_EQ(Buffer(), before) << "one undo restores";
        // OK without a change leaves no step behind.
        const std::int32_t entries = main->Undo().EntryCount();
        ASSERT_TRUE(Properties(Answer({})));
        EXPECT_EQ(Buffer(), before);
        EXPECT_EQ(main->Undo().EntryCount(), entries);
    }
}

TEST_F(PropertiesTest, CancelChangesNothing) {
    const std::int32_t offset = Add(main->AddRectangle(0, 0, 1000, 1000, 1));
    SelectOnly(offset);
    layout->modified = false;
    const std::vector<Word> before = Buffer();
    const std::int32_t entries = main->Undo().EntryCount();
    ASSERT_TRUE(Properties([](QDialog* d) {
        SetFields(d, {{"EditXmin", "-5"}});
        Choose(d, "LayerCombo", 3);
        d->reject();
    }));
    EXPECT_EQ(Buffer(), before);
    EXPECT_EQ(main->Undo().EntryCount(), entries);
    EXPECT_FALSE(layout->modified);
}

// A refused entry shows its message and keeps the dialog open; the object
// stays as it was.
TEST_F(PropertiesTest, InvalidEntriesAreRefusedWithTheirMessage) {
    test::FakeGlyphs glyphs;
    glyphs.SetE(100, 120);
    const std::string notNumber = "'abc' is not a valid number";
    const std::string range = "The result would lie outside the coordinate range.";
    const Point triangle[3] = {{0, 0}, {1000, 0}, {0, 1000}};
    struct Case {
        const char* name;
        std::function<Word*(SymbolDescription&)> make;
        Fields typed;
        std::string message;
    };
    const auto rectangle = [](SymbolDescription& s) { return s.AddRectangle(0, 0, 1000, 1000, 1); };
    const auto box = [](SymbolDescription& s) { return s.AddBox(0, 0, 4000, 2000, 0, 1); };
    const auto circle = [](SymbolDescription& s) { return s.AddCircle(0, 0, 500, 1); };
    const auto ring = [](SymbolDescription& s) { return s.AddRing(0, 0, 5000, 1000, 1); };
    const auto arc = [](SymbolDescription& s) {
        return s.AddArcWire(0, 0, 5000, 0, 0, 5000, MakeArcWidthWord(1000, 0, false), 1);
    };
    const auto wire = [&](SymbolDescription& s) { return s.AddWire(triangle, 3, 1000, 0, 1); };
    const auto text = [](SymbolDescription& s) {
        const std::int64_t head = AddTextOutlinesWithMatrix(s, "EE", 1000, {}, 1, LOGFONTA{});
        return head < 0 ? nullptr : s.RecordAt(static_cast<std::int32_t>(head));
    };
    const auto call = [](SymbolDescription& s) { return s.InsertSymbolCall(1, 0, 0); };
    const auto array = [](SymbolDescription& s) { return s.InsertArray(1, {0, 0}, {6000, 0}, {0, 2000}, 3, 1, 1, 0); };
    const std::vector<Case> cases = {
        {"rectangle corner not a number", rectangle, {{"EditXmin", "abc"}}, notNumber},
        {"rectangle corner past the limit", rectangle, {{"EditXmax", "2000000.001"}}, range},
        {"rectangle corner beyond 32 bits", rectangle, {{"EditYmax", "3000000"}}, "'3000000' is not a valid number"},
        {"box angle not a number", box, {{"EditA", "abc"}}, notNumber},
        {"box negative length", box, {{"EditL", "-1"}}, "The length must not be negative."},
        {"box turned past the limit", box, {{"EditX", "1999999"}, {"EditA", "45"}}, range},
        {"circle of radius 0", circle, {{"EditR", "0"}}, "The radius must be greater than 0."},
        {"circle reaching past the limit", circle, {{"EditX", "1999999.9"}, {"EditR", "0.2"}}, range},
        {"ring of negative width", ring, {{"EditW", "-1"}}, "The width must not be negative."},
        {"arc width beyond its bits", arc, {{"EditW", "300000"}}, "The width must lie between 0 and 268435.455 um."},
        {"arc start on the centre",
         arc,
         {{"EditXstart", "0"}, {"EditYstart", "0"}},
         "The start and the stop must not lie on the centre."},
        {"wire width not a number", wire, {{"EditW", "abc"}}, notNumber},
        {"empty text", text, {{"EditText", ""}}, "Please enter a text."},
        {"text height 0", text, {{"EditSize", "0"}}, "The text height must be greater than 0."},
        {"text scaled to nothing", text, {{"EditXscale", "0"}}, "A scale of 0 would collapse the object."},
        {"text running past the limit", text, {{"EditX", "1999999"}}, range},
        {"call angle not a number", call, {{"EditAngle", "abc"}}, notNumber},
        {"call moved past the limit", call, {{"EditX", "1999999.5"}}, range},
        {"array without rows", array, {{"EditRows", "0"}}, "The number of rows must be at least 1."},
        {"array spaced past the limit", array, {{"EditColSpacing", "1000000"}}, range},
        {"array size not a number", array, {{"EditSize", "abc"}}, notNumber},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SelectOnly(Add(c.make(*main)));
        const std::vector<Word> before = Buffer();
        const std::int32_t entries = main->Undo().EntryCount();
        messages.messages.clear();
        ASSERT_TRUE(Properties([&](QDialog* d) {
            SetFields(d, c.typed);
            d->accept();
            EXPECT_TRUE(d->isVisible()) << "the dialog stays open";
            d->reject();
        }));
        EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{c.message, "Error"}}));
        EXPECT_EQ(Buffer(), before);
        EXPECT_EQ(main->Undo().EntryCount(), entries);
    }
}

TEST_F(PropertiesTest, TheNodeTableEditsDeletesInsertsAndAddsNodes) {
    const Point square[4] = {{0, 0}, {1000, 0}, {1000, 1000}, {0, 1000}};
    const Point triangle[3] = {{0, 0}, {4000, 0}, {0, 3000}};
    // A square of 1 um: its area with the superscript two.
    SelectOnly(Add(main->AddPolygon(square, 4, 1)));
    ASSERT_TRUE(Properties([](QDialog* d) {
        EXPECT_EQ(d->objectName(), "PolygonPropDlg");
        EXPECT_EQ(Child<QLabel>(d, "LabelMeasure")->text(), QString("Surface area: 1 um") + QChar(0x00B2));
        d->reject();
    }));

    const std::int32_t offset = Add(main->AddPolygon(triangle, 3, 1));
    SelectOnly(offset);
    const std::vector<Word> before = Buffer();
    ASSERT_TRUE(Properties([&](QDialog* d) {
        auto* view = Child<QTableView>(d, "theView");
        QAbstractItemModel* model = view->model();
        auto* remove = Child<QPushButton>(d, "ButtonDelete");
        auto* insert = Child<QPushButton>(d, "ButtonInsert");
        EXPECT_FALSE(remove->isEnabled()) << "no row selected";
        EXPECT_FALSE(insert->isEnabled());
        EXPECT_EQ(model->data(model->index(1, 1)).toString(), "4");
        EXPECT_EQ(model->data(model->index(2, 2)).toString(), "3");
        view->selectRow(1);
        EXPECT_FALSE(remove->isEnabled()) << "a polygon keeps 3 nodes";
        EXPECT_TRUE(insert->isEnabled());
        insert->click();
        ASSERT_EQ(model->rowCount(), 4);
        EXPECT_EQ(model->data(model->index(1, 1)), model->data(model->index(2, 1)));
        EXPECT_EQ(model->data(model->index(3, 0)).toInt(), 3) << "rows are numbered from 0";
        EXPECT_TRUE(remove->isEnabled());

        // An edited cell: OK takes it and leaves the dialog open.
        view->edit(model->index(2, 1));
        auto* box = d->findChild<QLineEdit*>("EditBox");
        ASSERT_NE(box, nullptr);
        box->setText("5");
        d->accept();
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(model->data(model->index(2, 1)).toString(), "5");
        // The corner (5, 0) makes a triangle of 5 um by 3 um.
        EXPECT_EQ(Child<QLabel>(d, "LabelMeasure")->text(), QString("Surface area: 7.5 um") + QChar(0x00B2));
        // A cell that is no number keeps its value.
        EXPECT_FALSE(model->setData(model->index(0, 1), "abc"));
        EXPECT_EQ(model->data(model->index(0, 1)).toString(), "0");
        Child<QPushButton>(d, "ButtonAdd")->click();
        ASSERT_EQ(model->rowCount(), 5);
        view->selectRow(4);
        remove->click();
        ASSERT_EQ(model->rowCount(), 4);
        d->accept();
        EXPECT_FALSE(d->isVisible());
    }));
    EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"'abc' is not a valid number", "Error"}}));
    const Word* polygon = main->RecordAt(offset);
    ASSERT_EQ(RecordKind(polygon), ObjectKind::Polygon);
    const PolygonView view(polygon);
    ASSERT_EQ(view.NodeCount(), 4);
    const std::vector<Point> nodes(view.Nodes(), view.Nodes() + 4);
    EXPECT_EQ(nodes, (std::vector<Point>{{0, 0}, {4000, 0}, {5000, 0}, {0, 3000}}));
    EXPECT_EQ(view.NodeBounds(), (Rect{0, 0, 5000, 3000})) << "the cached box follows the nodes";
    Undo();
    EXPECT_EQ(Buffer(), before);
}

// In the node mode the node selected there is the row the table starts on,
// and after OK the node list shows the object as it now is.
TEST_F(PropertiesTest, TheNodeModeHandsItsSelectedNodeToTheTable) {
    const Point square[4] = {{0, 0}, {1000, 0}, {1000, 1000}, {0, 1000}};
    SelectOnly(Add(main->AddPolygon(square, 4, 1)));
    form->SetMode(1);
    NodeList& list = main->view.nodeList;
    list.nodes = BuildNodeList(main->CurrentObject());
    list.selected = {2};
    ASSERT_TRUE(Properties([](QDialog* d) {
        auto* view = Child<QTableView>(d, "theView");
        const QModelIndexList rows = view->selectionModel()->selectedRows();
        ASSERT_EQ(rows.size(), 1);
        EXPECT_EQ(rows.front().row(), 2);
        EXPECT_TRUE(Child<QPushButton>(d, "ButtonDelete")->isEnabled());
        EXPECT_TRUE(Child<QPushButton>(d, "ButtonInsert")->isEnabled());
        Child<QPushButton>(d, "ButtonInsert")->click();
        d->accept();
    }));
    EXPECT_EQ(list.nodes.size(), 5u) << "the node list follows";
}

TEST_F(PropertiesTest, ATextKeepsItsGlyphsOnANewLayerAndIsBuiltAgainWhenItChanges) {
    test::FakeGlyphs glyphs;
    glyphs.SetE(100, 120);
    const std::int64_t head = AddTextOutlinesWithMatrix(*main, "EE", 2000, {1, 0, 0, 1, 5000, 6000}, 1, LOGFONTA{});
    ASSERT_GE(head, 0);
    const auto offset = static_cast<std::int32_t>(head);
    SelectOnly(offset);
    const std::vector<Word> before = Buffer();
    const auto members = [&] {
        std::vector<std::vector<Word>> out;
        const Word* r = main->RecordAt(offset);
        for (const Word* m = main->NextRecord(r); m && IsMember(m); m = main->NextRecord(m)) {
            std::vector<Word> words(m, m + RecordLength(m));
            out.push_back(words);
        }
        return out;
    };
    std::vector<std::vector<Word>> glyphsBefore = members();
    ASSERT_EQ(glyphsBefore.size(), 2u);

    ASSERT_TRUE(Properties([](QDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Text");
        EXPECT_EQ(Field(d, "EditText"), "EE");
        EXPECT_EQ(Field(d, "EditSize"), "2");
        EXPECT_EQ(Field(d, "EditX"), "5");
        EXPECT_EQ(Field(d, "EditY"), "6");
        Choose(d, "LayerCombo", 3);
        d->accept();
    }));
    for (std::vector<Word>& g : glyphsBefore) SetRecordLayer(g.data(), 3);
    EXPECT_EQ(members(), glyphsBefore) << "the same polygons, on the new layer";
    EXPECT_EQ(RecordLayer(main->RecordAt(offset)), 3);
    Undo();
    EXPECT_EQ(Buffer(), before);

    SelectOnly(offset);
    ASSERT_TRUE(Properties(Answer({{"EditText", "E"}, {"EditAngle", "90"}})));
    const Word* text = main->CurrentObject();
    ASSERT_NE(text, nullptr);
    ASSERT_EQ(RecordKind(text), ObjectKind::Text);
    EXPECT_EQ(TextView(text).Chars(), "E");
    EXPECT_EQ(TextView(text).MemberRecords(), 1);
    EXPECT_EQ(TextView(text).Position(), (Point{5000, 6000}));
    EXPECT_NEAR(TextView(text).Matrix().b, 1, 1e-12) << "turned a quarter";
    EXPECT_EQ(main->selectedCount, 1);
    Undo();
    EXPECT_EQ(Buffer(), before);
}

TEST_F(PropertiesTest, InsertTextStartsEmptyAndPlacesTheTextAsTyped) {
    test::FakeGlyphs glyphs;
    glyphs.SetE(100, 120);
    main->AddRectangle(0, 0, 10, 10, 1);
    SelectOnly(0);
    layout->SetLayer(std::make_unique<LayerDescription>(7, "Labels"));
    // The insertion drops the selection, which undo does not bring back.
    std::vector<Word> before = Buffer();
    SetSelectedBit(before.data(), false);
    ASSERT_TRUE(RunWithDialog("ActionLayoutInsertText", [](QDialog* d) {
        EXPECT_EQ(d->objectName(), "InsertTextDlg");
        const Fields defaults = {{"EditText", ""},      {"EditSize", "2000"},  {"EditX", "0"},    {"EditY", "0"},
                                 {"EditXscale", "100"}, {"EditYscale", "100"}, {"EditAngle", "0"}};
        for (const auto& [name, text] : defaults) EXPECT_EQ(Field(d, name), text) << name;
        EXPECT_TRUE(Child<QCheckBox>(d, "CheckLockAspect")->isChecked());
        EXPECT_EQ(Child<QComboBox>(d, "LayerCombo")->currentData().toInt(), 0);
        EXPECT_EQ(Child<QComboBox>(d, "LayerCombo")->itemText(Child<QComboBox>(d, "LayerCombo")->findData(7)),
                  "Labels");
        Child<QCheckBox>(d, "CheckLockAspect")->setChecked(false);
        EXPECT_TRUE(Child<QLineEdit>(d, "EditYscale")->isEnabled());
        Choose(d, "LayerCombo", 7);
        Answer({{"EditText", "EE"}, {"EditSize", "1"}, {"EditX", "10"}, {"EditYscale", "-100"}})(d);
    }));
    Word* text = nullptr;
    for (Word* r = main->FirstRecord(); r; r = main->NextObject(r))
        if (RecordKind(r) == ObjectKind::Text) text = r;
    ASSERT_NE(text, nullptr);
    const TextView view(text);
    EXPECT_EQ(view.Chars(), "EE");
    EXPECT_EQ(view.Height(), 1000);
    EXPECT_EQ(view.Position(), (Point{10000, 0}));
    EXPECT_EQ(view.Matrix(), (TransformMatrix{1, 0, 0, -1, 10000, 0})) << "mirrored";
    EXPECT_EQ(view.MemberRecords(), 2);
    EXPECT_EQ(RecordLayer(text), 7);
    EXPECT_EQ(main->selectedCount, 0) << "the selection was dropped";
    Undo();
    EXPECT_EQ(Buffer(), before);
    // Cancelled, nothing is made.
    ASSERT_TRUE(RunWithDialog("ActionLayoutInsertText", [](QDialog* d) {
        SetFields(d, {{"EditText", "E"}});
        d->reject();
    }));
    EXPECT_EQ(Buffer(), before);
}

// Three rectangles and a call: the rectangles go to the layer, the call
// keeps its byte, one undo puts all back.
TEST_F(PropertiesTest, SeveralObjectsShareTheLayerChosen) {
    for (int i = 0; i < 3; ++i) main->AddRectangle(i * 2000, 0, i * 2000 + 1000, 1000, i % 2);
    main->InsertSymbolCall(1, 0, 5000);
    for (Word* r = main->FirstRecord(); r; r = main->NextObject(r)) main->SetSelected(r);
    main->UpdateSelection();
    const std::vector<Word> before = Buffer();
    ASSERT_TRUE(Properties([](QDialog* d) {
        EXPECT_EQ(d->objectName(), "LayerSelectDlg");
        EXPECT_EQ(d->windowTitle(), "Select layer...");
        Choose(d, "LayerCombo", 3);
        d->accept();
    }));
    for (Word* r = main->FirstRecord(); r; r = main->NextObject(r))
        EXPECT_EQ(RecordLayer(r), RecordKind(r) == ObjectKind::Rectangle ? 3 : 0);
    Undo();
    EXPECT_EQ(Buffer(), before);
}

// The list of a call of "leaf" inside "cell" offers neither "cell" nor a
// symbol that calls it, through any number of levels.
TEST_F(PropertiesTest, TheSymbolListLeavesOutWhatWouldCallItself) {
    SymbolDescription& cell = *layout->AddSymbol(3, "cell");
    SymbolDescription& holder = *layout->AddSymbol(4, "holder");
    ASSERT_NE(holder.InsertSymbolCall(3, 0, 0), nullptr);
    ASSERT_NE(main->InsertSymbolCall(4, 0, 0), nullptr);
    ASSERT_NE(cell.InsertSymbolCall(1, 0, 0), nullptr);
    layout->shownSymbol = cell.Id();
    Word* call = cell.FirstRecord();
    cell.SetSelected(call);
    cell.SetCurrentObject(call);
    cell.UpdateSelection();
    ASSERT_TRUE(Properties([](QDialog* d) {
        auto* combo = Child<QComboBox>(d, "SymbolComboBox");
        QStringList names;
        for (int i = 0; i < combo->count(); ++i) names << combo->itemText(i);
        EXPECT_EQ(names, (QStringList{"leaf", "other"}));
        EXPECT_EQ(combo->currentText(), "leaf");
        d->reject();
    }));
}

TEST_F(PropertiesTest, TheCommandFollowsTheSelectionAndTheDoubleClick) {
    EXPECT_FALSE(Enabled("ActionEditProperties"));
    EXPECT_TRUE(Enabled("ActionLayoutInsertText"));
    main->AddGroup(0, 0, 1, 1);
    SetMemberBit(main->AddRectangle(0, 0, 10, 10, 1), true);
    SelectOnly(0);
    EXPECT_FALSE(Enabled("ActionEditProperties")) << "a single group has no properties";
    const std::int32_t rectangle = Add(main->AddRectangle(20000, 20000, 40000, 40000, 1));
    main->SetSelected(main->RecordAt(rectangle));
    main->UpdateSelection();
    EXPECT_TRUE(Enabled("ActionEditProperties")) << "a group among several objects";
    SelectOnly(rectangle);
    EXPECT_TRUE(Enabled("ActionEditProperties"));
    EXPECT_EQ(form->Command("ActionEditProperties")->text(), "Pr&operties...");

    // A double click on the rectangle shows its dialog; on a call it opens
    // the symbol.
    LayoutView& view = window->View();
    view.Viewport().SetViewRect(0, 0, 100000, 100000);
    ASSERT_TRUE(view.RenderNow());
    const auto pixel = [&](std::int32_t x, std::int32_t y) {
        layout->view.WorldToScreen(x, y);
        return QPoint(x, y);
    };
    const auto doubleClick = [&](QPoint at) {
        QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, at);
        QMouseEvent twice(QEvent::MouseButtonDblClick, at, view.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(&view, &twice);
        QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, at);
    };
    QString opened;
    {
        ModalAnswers answers({[&](QWidget* w) {
            opened = w->objectName();
            static_cast<QDialog*>(w)->reject();
        }});
        doubleClick(pixel(30000, 30000));
        EXPECT_EQ(answers.Left(), 0u);
    }
    EXPECT_EQ(opened, "RectanglePropertiesDlg");
    form->Settings().lockSymbols = false;
    main->InsertSymbolCall(1, 70000, 70000);
    window->RefreshSymbolNode(*main);
    main->DeselectAll();
    main->UpdateSelection();
    ASSERT_TRUE(view.RenderNow());
    // The call is found by its corners.
    doubleClick(pixel(70000, 70000));
    ASSERT_NE(layout->ShownSymbolDescription(), nullptr);
    EXPECT_EQ(layout->ShownSymbolDescription()->Name(), "leaf");
}

// A measurement only says what it is; a script object shows its script but
// takes no change without the script engine.
TEST_F(PropertiesTest, MeasurementsAndScriptObjects) {
    Word* measurement = main->AppendRecord(kMeasurementLength);
    ASSERT_NE(measurement, nullptr);
    measurement[0] = MakeHeader(kMeasurementLength, 1, ObjectKind::Measurement);
    RectangleView(measurement).SetCorners({0, 0}, {1000, 1000});
    SelectOnly(Add(measurement));
    Run("ActionEditProperties");
    EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"Measurement properties...", "Measurement"}}));

    const std::int32_t script =
        Add(main->AddScript(1000, 2000, 0, 0, 500, "box(0,0,1,1)", 1000, zandor::Settings().textFont, 2));
    SelectOnly(script);
    const std::vector<Word> before = Buffer();
    messages.messages.clear();
    ASSERT_TRUE(Properties([](QDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Script editor");
        EXPECT_EQ(Child<QPlainTextEdit>(d, "ScriptMemo")->toPlainText(), "box(0,0,1,1)");
        EXPECT_EQ(Field(d, "EditMaxObjects"), "500");
        EXPECT_EQ(Field(d, "EditTime"), "30.0");
        EXPECT_EQ(Field(d, "EditX"), "1");
        d->accept();
        EXPECT_FALSE(d->isVisible()) << "nothing changed, nothing to run";
    }));
    EXPECT_TRUE(messages.messages.empty());
    ASSERT_TRUE(Properties([](QDialog* d) {
        SetFields(d, {{"EditX", "5"}});
        d->accept();
        EXPECT_TRUE(d->isVisible());
        d->reject();
    }));
    EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"Unable to load the script dll", "Error"}}));
    EXPECT_EQ(Buffer(), before);
}

TEST_F(PropertiesTest, HelpOpensTheTopicOfTheDialog) {
    const Point triangle[3] = {{0, 0}, {4000, 0}, {0, 3000}};
    for (const auto& [make, topic] : std::vector<std::pair<std::function<Word*()>, QString>>{
             {[&] { return main->AddRectangle(0, 0, 10, 10, 1); }, "object-properties"},
             {[&] { return main->AddPolygon(triangle, 3, 1); }, "node-table"},
             {[&] { return main->InsertSymbolCall(1, 0, 0); }, "symbol-properties"}}) {
        EXPECT_TRUE(HasHelpTopic(topic)) << topic.toStdString();
        SelectOnly(Add(make()));
        QString shown;
        ASSERT_TRUE(Properties([&](QDialog* d) {
            d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Help)->click();
            auto* viewer = d->findChild<HelpViewer*>();
            ASSERT_NE(viewer, nullptr);
            shown = viewer->Topic();
            viewer->close();
            d->reject();
        }));
        EXPECT_EQ(shown, topic);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
