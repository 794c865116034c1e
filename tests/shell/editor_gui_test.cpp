// The editor window under the offscreen platform: opening files, zooming and
// panning with the mouse and the keys, layer visibility, symbols from the
// tree, settings across a restart, and drawing passes that give up for input.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLocalServer>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "formats/AllFormats.h"
#include "formats/gerber/GerberOptions.h"
#include "model/DocumentDialogs.h"
#include "model/LayerDescription.h"
#include "model/ModelSettings.h"
#include "model/RecordViews.h"
#include "model/SymbolDescription.h"
#include "platform/headless/RecordingMessages.h"
#include "shell/FileNames.h"
#include "shell/HelpViewer.h"
#include "shell/LayoutView.h"
#include "shell/LayoutWindow.h"
#include "shell/MainForm.h"
#include "shell/RulerPanel.h"
#include "shell/ShellServices.h"
#include "shell/SingleInstance.h"
#include "shell/SymbolCombo.h"
#include "support/EditorFixture.h"

using namespace zandor;
using platform::headless::RecordedMessage;
using platform::headless::ScopedMessageCapture;
using test::SettleView;

namespace {

const QString kDemo = QStringLiteral(ZANDOR_SOURCE_DIR "/examples/demo.cif");

// Answers the main-symbol question with a fixed choice and keeps what it was
// asked.
class ScriptedDialogs : public DocumentDialogs {
public:
    explicit ScriptedDialogs(int choice) : choice(choice), previous(SetDocumentDialogs(this)) {}
    ~ScriptedDialogs() override { SetDocumentDialogs(previous); }
    bool SaveAs(std::string&, FileType&, SaveOptions&) override { return false; }
    int ChooseMainSymbol(const std::vector<std::string>& candidates) override {
        asked = candidates;
        return choice;
    }
    std::vector<std::string> asked;

private:
    int choice;
    DocumentDialogs* previous;
};

class EditorTest : public test::EditorFixture {
protected:
    static Rect Visible(const Layout& l) { return {l.view.xmin, l.view.ymin, l.view.xmax, l.view.ymax}; }
};

TEST_F(EditorTest, OpeningFilesAndTheirRefusals) {
    auto form = MakeForm();
    LayoutWindow* window = form->OpenFile(kDemo);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), kDemo);
    EXPECT_EQ(form->LayoutWindows().size(), 1);
    EXPECT_GT(form->LayerPanel().topLevelItemCount(), 3) << "the panel shows the file's layers";

    EXPECT_EQ(form->OpenFile(kDemo), nullptr);
    EXPECT_EQ(form->OpenFile("/no/such/file.cif"), nullptr);
    EXPECT_EQ(form->LayoutWindows().size(), 1);
    EXPECT_EQ(messages.messages,
              (std::vector<RecordedMessage>{{"File is already open", "Error"},
                                            {"The file:\n/no/such/file.cif\ndoes not exist!", "Error"}}));

    // A quoted name with a blank in it opens without its quotes.
    const QString spaced = config.path() + "/with blank.cif";
    ASSERT_TRUE(QFile::copy(kDemo, spaced));
    EXPECT_NE(form->OpenFile("\"" + spaced + "\""), nullptr);

    // A file that cannot be read gives the reader's message and no window.
    const QString broken = config.path() + "/broken.gds";
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a stream");
    file.close();
    messages.messages.clear();
    EXPECT_EQ(form->OpenFile(broken), nullptr);
    EXPECT_EQ(form->LayoutWindows().size(), 2);
    EXPECT_FALSE(messages.messages.empty());
}

// The working directory changes for one test and comes back afterwards.
struct CurrentDirectory {
    explicit CurrentDirectory(const QString& path) : previous(QDir::currentPath()) { QDir::setCurrent(path); }
    ~CurrentDirectory() { QDir::setCurrent(previous); }
    QString previous;
};

TEST_F(EditorTest, TheSameFileUnderAnotherSpellingIsAlreadyOpen) {
    const QString folder = QDir(config.path()).canonicalPath() + "/masks";
    ASSERT_TRUE(QDir().mkpath(folder + "/sub"));
    const QString file = folder + "/x.cif";
    ASSERT_TRUE(QFile::copy(kDemo, file));
    ASSERT_TRUE(QFile::link(file, folder + "/link.cif"));
    CurrentDirectory inFolder(folder);
    auto form = MakeForm();
    LayoutWindow* window = form->OpenFile("x.cif");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->Document().fileName, file.toStdString()) << "a relative name is kept as an absolute one";
    for (const QString& spelling : {QString("./x.cif"), QString("sub/../x.cif"), file, folder + "//x.cif",
                                    QString("link.cif"), folder + "/link.cif", "\"" + folder + "/./x.cif\""}) {
        messages.messages.clear();
        EXPECT_EQ(form->OpenFile(spelling), nullptr) << spelling.toStdString();
        EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"File is already open", "Error"}}))
            << spelling.toStdString();
    }
    EXPECT_EQ(form->LayoutWindows().size(), 1);
}

// A second start hands a relative name over, made absolute where it was
// given; the running editor works elsewhere and opens the file meant.
TEST_F(EditorTest, ARunningEditorOpensTheFilesOfASecondStart) {
    const QString caller = QDir(config.path()).canonicalPath() + "/caller";
    const QString runtime = QDir(config.path()).canonicalPath() + "/runtime";
    ASSERT_TRUE(QDir().mkpath(caller));
    ASSERT_TRUE(QDir().mkpath(runtime));
    ASSERT_TRUE(
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    ASSERT_TRUE(QFile::copy(kDemo, caller + "/mask.cif"));
    auto form = MakeForm();
    QLocalServer server;
    QString error;
    ASSERT_TRUE(ListenForOpenRequests(server, runtime + "/zandor-editor", error)) << error.toStdString();
    ServeOpenRequests(server, form.get(), [&form](const QString& request) { form->HandleOpenRequest(request); });

    const QStringList files = {AbsoluteFileName("./mask.cif", caller)};
    ASSERT_TRUE(HandToRunningEditor(runtime + "/zandor-editor", files));
    for (int i = 0; i < 400 && form->LayoutWindows().isEmpty(); ++i) QTest::qWait(5);
    ASSERT_EQ(form->LayoutWindows().size(), 1);
    EXPECT_EQ(form->LayoutWindows().first()->Document().fileName, (caller + "/mask.cif").toStdString());
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(EditorTest, AFileWithSeveralTopSymbolsAsksForTheMainSymbol) {
    const QString name = config.path() + "/two-tops.cif";
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("DS 1 1 10; 9 a; L X; B 2 2 0 0; DF; DS 2 1 10; 9 b; L X; B 4 4 0 0; DF; E\n");
    file.close();
    ScriptedDialogs dialogs(1);
    auto form = MakeForm();
    LayoutWindow* window = form->OpenFile(name);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(dialogs.asked, (std::vector<std::string>{"a", "b"})) << "a layout of a window asks";
    EXPECT_EQ(window->Document().MainSymbol()->Name(), "b");
}

// The question, its list and its buttons; Help opens the topic on the main
// symbol while the dialog stays open.
TEST_F(EditorTest, TheMainSymbolDialogAsksWithItsTextAndOffersHelp) {
    MainSymbolDialog dialog({"a", "b", "c"});
    EXPECT_EQ(dialog.windowTitle(), "Main symbol");
    const auto* text = dialog.findChild<QLabel*>("mainSymbolText");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(), "Select the main symbol, i.e. the symbol at the top of the hierarchy:");
    QComboBox& combo = dialog.SymbolCombo();
    EXPECT_EQ(combo.objectName(), "SymbolCombo");
    EXPECT_FALSE(combo.isEditable());
    ASSERT_EQ(combo.count(), 3);
    EXPECT_EQ(combo.itemText(2), "c");
    EXPECT_EQ(dialog.Chosen(), 0) << "the first is preselected";
    for (auto button : {QDialogButtonBox::Ok, QDialogButtonBox::Cancel, QDialogButtonBox::Help})
        EXPECT_NE(dialog.Buttons().button(button), nullptr);
    EXPECT_EQ(dialog.Buttons().button(QDialogButtonBox::Help)->text(), "&Help");

    dialog.show();
    dialog.Buttons().button(QDialogButtonBox::Help)->click();
    auto* help = dialog.findChild<HelpViewer*>();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->Topic(), "main-symbol");
    EXPECT_TRUE(HasHelpTopic("main-symbol")) << "the help document is in the program";
    EXPECT_TRUE(help->Browser().toPlainText().contains("Choosing the main symbol"));
    EXPECT_TRUE(dialog.isVisible()) << "the question is still open";
    EXPECT_EQ(dialog.result(), 0);

    combo.setCurrentIndex(2);
    dialog.Buttons().button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Chosen(), 2);
    EXPECT_FALSE(HasHelpTopic("no-such-topic"));
}

// The document's question goes through that dialog: OK gives the chosen
// index, Cancel -1.
TEST_F(EditorTest, TheEditorAnswersTheMainSymbolQuestionWithTheDialog) {
    QWidget owner;
    QtDocumentDialogs dialogs(&owner);
    for (bool accept : {true, false}) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<MainSymbolDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            seen = true;
            dialog->SymbolCombo().setCurrentIndex(1);
            dialog->Buttons().button(accept ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
        });
        EXPECT_EQ(dialogs.ChooseMainSymbol({"top", "other", "third"}), accept ? 1 : -1);
        EXPECT_TRUE(seen);
    }
}

TEST_F(EditorTest, TheLayerPanelShowsIndicesAndSwatchesOfFillAndOutline) {
    auto form = MakeForm();
    Layout& table = form->MainLayout();
    table.SetLayer(std::make_unique<LayerDescription>(3, "Metal", 0x00FF00, 0x0000FF, FillHorizontal, OutlineDash));
    table.SetLayer(std::make_unique<LayerDescription>(4, "Cut", 0xFF0000, 0xFF0000, FillHollow, OutlineSolid));
    table.SetLayer(std::make_unique<LayerDescription>(5, "Poly", 0x0000FF, 0x000000, FillSolid, OutlineSolid));
    table.SelectCurrentLayer(2);  // positions count existing layers: 0, 3, 4, ...
    QTreeWidget& panel = form->LayerPanel();
    const auto row = [&](int index) -> QTreeWidgetItem* {
        for (int i = 0; i < panel.topLevelItemCount(); ++i)
            if (panel.topLevelItem(i)->data(0, Qt::UserRole).toInt() == index) return panel.topLevelItem(i);
        return nullptr;
    };

    QAction* indices = form->Command("ActionShowIndices");
    ASSERT_NE(indices, nullptr);
    indices->trigger();
    ASSERT_NE(row(3), nullptr);
    EXPECT_EQ(row(3)->text(0), "3 - Metal");
    EXPECT_FALSE(row(3)->flags() & Qt::ItemIsEditable) << "names are not edited while indices show";
    EXPECT_EQ(panel.currentItem(), row(4)) << "the current layer's row is selected";
    EXPECT_EQ(table.activeLayer, 4);
    indices->trigger();
    ASSERT_NE(row(3), nullptr);
    EXPECT_EQ(row(3)->text(0), "Metal");
    EXPECT_TRUE(row(3)->flags() & Qt::ItemIsEditable);

    // The swatch: white, and the rectangle (2, 2)..(23, 17) in the layer's
    // outline and fill, each with its style.
    const QRgb white = qRgb(255, 255, 255), red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255),
               black = qRgb(0, 0, 0);
    struct Look {
        int layer;
        QRgb outline, fill;
        bool outlineGaps, fillGaps, filled;
    } looks[] = {
        {3, red, green, true, true, true},      // dashed red around green horizontal hatching
        {4, blue, white, false, false, false},  // hollow inside a solid blue outline
        {5, black, red, false, false, true},    // solid red inside black
    };
    for (const Look& look : looks) {
        const QImage swatch = LayerSwatch(*table.Layer(look.layer));
        ASSERT_EQ(swatch.size(), QSize(kLayerSwatchWidth, kLayerSwatchHeight));
        EXPECT_EQ(swatch.pixel(0, 0), white) << look.layer;
        EXPECT_EQ(swatch.pixel(25, 19), white) << look.layer;
        EXPECT_EQ(swatch.pixel(24, 18), white) << "right and bottom edges excluded, layer " << look.layer;
        int outlinePixels = 0, outlineOther = 0, fillPixels = 0, fillOther = 0;
        for (int y = 2; y <= 17; ++y)
            for (int x = 2; x <= 23; ++x) {
                const QRgb p = swatch.pixel(x, y);
                if (x == 2 || x == 23 || y == 2 || y == 17) {
                    (p == look.outline ? outlinePixels : outlineOther) += 1;
                } else if (p == look.fill) {
                    ++fillPixels;
                } else {
                    EXPECT_EQ(p, white) << look.layer << " at " << x << ", " << y;
                    ++fillOther;
                }
            }
        EXPECT_GT(outlinePixels, 30) << look.layer;
        EXPECT_EQ(outlineOther > 0, look.outlineGaps) << look.layer;
        EXPECT_EQ(fillPixels > 0, look.filled || look.fill == white) << look.layer;
        EXPECT_EQ(fillOther > 0, look.fillGaps) << look.layer;
        // The row's icon carries the swatch after the flags.
        const QImage icon =
            row(look.layer)->icon(0).pixmap(QSize(kLayerFlagsWidth + kLayerSwatchWidth, kLayerSwatchHeight)).toImage();
        for (int y = 0; y < kLayerSwatchHeight; ++y)
            for (int x = 0; x < kLayerSwatchWidth; ++x)
                ASSERT_EQ(icon.pixel(kLayerFlagsWidth + x, y), swatch.pixel(x, y))
                    << look.layer << " " << x << "," << y;
    }
}

// A layout whose symbols share one: top calls A and B, both call C.
struct SharedCells {
    explicit SharedCells(Layout& layout) {
        top = layout.MainSymbol();
        a = layout.AddSymbol(1, "A");
        b = layout.AddSymbol(2, "B");
        c = layout.AddSymbol(3, "C");
        c->AddRectangle(0, 0, 1000, 1000, 0);
        a->InsertSymbolCall(3, 0, 0);
        b->InsertSymbolCall(3, 5000, 0);
        top->InsertSymbolCall(1, 0, 0);
        top->InsertSymbolCall(2, 0, 10000);
    }
    SymbolDescription *top, *a, *b, *c;
};

TEST_F(EditorTest, TheTreeShowsEveryCallExpandedAndRemembersTheChosenNodePerMode) {
    auto form = MakeForm();
    LayoutWindow* window = form->NewLayout();
    Layout& layout = window->Document();
    SharedCells cells(layout);
    window->BuildSymbolTree(true);
    QTreeWidget& tree = window->SymbolTree();
    ASSERT_EQ(tree.topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree.topLevelItem(0);
    ASSERT_EQ(root->childCount(), 2);
    EXPECT_EQ(root->child(0)->text(0), "A");
    EXPECT_EQ(root->child(1)->text(0), "B");
    ASSERT_EQ(root->child(1)->childCount(), 1);
    EXPECT_EQ(root->child(1)->child(0)->text(0), "C") << "a shared symbol appears under each caller";
    EXPECT_TRUE(root->isExpanded());
    EXPECT_TRUE(root->child(0)->isExpanded() && root->child(1)->isExpanded()) << "with all its descendants";
    EXPECT_TRUE(tree.rootIsDecorated());

    // The second C is chosen; the list and the tree again bring it back.
    tree.setCurrentItem(root->child(1)->child(0));
    ASSERT_EQ(layout.ShownSymbolDescription(), cells.c);
    window->BuildSymbolTree(false);
    EXPECT_FALSE(tree.rootIsDecorated());
    ASSERT_EQ(tree.topLevelItemCount(), 4);
    EXPECT_EQ(tree.topLevelItem(0)->text(0), "A");
    EXPECT_EQ(tree.topLevelItem(3)->text(0), "MainSymbol");
    EXPECT_EQ(tree.currentItem()->text(0), "C");
    window->BuildSymbolTree(true);
    ASSERT_NE(tree.currentItem(), nullptr);
    ASSERT_NE(tree.currentItem()->parent(), nullptr);
    EXPECT_EQ(tree.currentItem()->text(0), "C");
    EXPECT_EQ(tree.currentItem()->parent()->text(0), "B") << "the node chosen, not the first that shows C";

    // The remembered node no longer shows the shown symbol: its first node is taken.
    tree.setCurrentItem(tree.topLevelItem(0)->child(0));  // A
    ASSERT_EQ(layout.ShownSymbolDescription(), cells.a);
    ASSERT_TRUE(window->OpenSymbol("C"));
    window->BuildSymbolTree(true);
    EXPECT_EQ(tree.currentItem()->parent()->text(0), "A");

    // A deep hierarchy is shown to its bottom.
    constexpr int kDepth = 2000;
    for (int i = kDepth; i >= 1; --i) {
        SymbolDescription* s = layout.AddSymbol(100 + i, "level" + std::to_string(i));
        ASSERT_NE(s, nullptr);
        if (i < kDepth) {
            ASSERT_NE(s->InsertSymbolCall(100 + i + 1, 0, 0), nullptr);
        }
    }
    cells.top->InsertSymbolCall(101, 0, 0);
    window->BuildSymbolTree(true);
    QTreeWidgetItem* deepest = tree.topLevelItem(0)->child(2);
    int depth = 1;
    while (deepest->childCount() > 0) {
        deepest = deepest->child(0);
        ++depth;
    }
    EXPECT_EQ(depth, kDepth);
    EXPECT_EQ(deepest->text(0), "level2000");

    // A symbol that calls itself (a damaged file) ends its branch.
    cells.c->AddChild(3);
    window->BuildSymbolTree(true);
    EXPECT_EQ(tree.topLevelItem(0)->child(0)->child(0)->childCount(), 0);
}

TEST_F(EditorTest, RefreshingASymbolsNodeLeavesTheRestOfTheTree) {
    auto form = MakeForm();
    LayoutWindow* window = form->NewLayout();
    Layout& layout = window->Document();
    SharedCells cells(layout);
    window->BuildSymbolTree(true);
    QTreeWidget& tree = window->SymbolTree();
    QTreeWidgetItem* root = tree.topLevelItem(0);
    QTreeWidgetItem* nodeA = root->child(0);
    QTreeWidgetItem* nodeB = root->child(1);
    QTreeWidgetItem* cUnderA = nodeA->child(0);
    tree.setCurrentItem(nodeB);
    ASSERT_EQ(layout.ShownSymbolDescription(), cells.b);

    SymbolDescription* d = layout.AddSymbol(4, "D");
    d->AddRectangle(0, 0, 10, 10, 0);
    SymbolDescription* e = layout.AddSymbol(5, "E");
    e->AddRectangle(0, 0, 10, 10, 0);
    d->InsertSymbolCall(5, 0, 0);
    cells.b->InsertSymbolCall(4, 0, 0);
    nodeB->setExpanded(false);
    window->RefreshSymbolNode(*cells.b);
    ASSERT_EQ(nodeB->childCount(), 2);
    EXPECT_EQ(nodeB->child(0)->text(0), "C");
    EXPECT_EQ(nodeB->child(1)->text(0), "D");
    ASSERT_EQ(nodeB->child(1)->childCount(), 1);
    EXPECT_EQ(nodeB->child(1)->child(0)->text(0), "E");
    EXPECT_TRUE(nodeB->isExpanded());
    EXPECT_EQ(root->child(0), nodeA) << "the other nodes are the same nodes";
    EXPECT_EQ(nodeA->child(0), cUnderA);
    EXPECT_EQ(tree.currentItem(), nodeB);
    EXPECT_EQ(layout.ShownSymbolDescription(), cells.b);

    // Not selected, the node at the remembered place is refreshed; a symbol
    // shown nowhere leaves the tree alone.
    tree.setCurrentItem(nodeA);
    window->BuildSymbolTree(true);
    nodeA = tree.topLevelItem(0)->child(0);
    tree.setCurrentItem(nullptr);
    cells.a->InsertSymbolCall(4, 0, 0);
    window->RefreshSymbolNode(*cells.a);
    EXPECT_EQ(nodeA->childCount(), 2);
    const int before = tree.topLevelItem(0)->child(1)->childCount();
    window->RefreshSymbolNode(*e);
    EXPECT_EQ(tree.topLevelItem(0)->child(1)->childCount(), before);

    // In the list, a new symbol gets its node in name order.
    window->BuildSymbolTree(false);
    SymbolDescription* early = layout.AddSymbol(6, "Bb");
    window->RefreshSymbolNode(*cells.top, early);
    ASSERT_EQ(tree.topLevelItemCount(), 7);
    EXPECT_EQ(tree.topLevelItem(2)->text(0), "Bb");
    window->RefreshSymbolNode(*cells.top, early);
    EXPECT_EQ(tree.topLevelItemCount(), 7) << "once";
}

// The symbols a dialog offers for placing into a target: none that would
// make a cycle, sorted by name.
TEST_F(EditorTest, TheSymbolComboOffersWhatMayBePlaced) {
    Layout layout(LayoutRole::Window);
    SharedCells cells(layout);
    SymbolDescription* d = layout.AddSymbol(4, "D");
    const auto names = [&](const SymbolDescription* target) {
        std::vector<std::string> listed;
        for (const SymbolDescription* s : PlaceableSymbols(layout, target)) listed.push_back(s->Name());
        return listed;
    };
    EXPECT_EQ(names(cells.c), (std::vector<std::string>{"D"})) << "C is called by A, B and, through them, the top";
    EXPECT_EQ(names(cells.a), (std::vector<std::string>{"B", "C", "D"}));
    EXPECT_EQ(names(d), (std::vector<std::string>{"A", "B", "C", "MainSymbol"}));
    EXPECT_EQ(names(nullptr), (std::vector<std::string>{"A", "B", "C", "D", "MainSymbol"}));

    QComboBox combo;
    EXPECT_EQ(FillSymbolCombo(combo, layout, cells.c, cells.a), 3);
    EXPECT_EQ(combo.currentText(), "C");
    EXPECT_EQ(combo.currentData().toInt(), 3);
    EXPECT_EQ(FillSymbolCombo(combo, layout, cells.top, d), 4) << "the combo is filled anew";
    EXPECT_EQ(combo.currentText(), "MainSymbol");

    // Calls in a cycle (a damaged file) end the search.
    cells.c->AddChild(1);
    EXPECT_EQ(names(d), (std::vector<std::string>{"A", "B", "C", "MainSymbol"}));
    EXPECT_EQ(names(cells.a), (std::vector<std::string>{"D"})) << "C calls A now, so B and the top do as well";
}

TEST_F(EditorTest, ZoomAndPanWithTheMouseAndTheKeys) {
    auto form = MakeForm();
    LayoutWindow* window = form->OpenFile(kDemo);
    ASSERT_NE(window, nullptr);
    LayoutView& view = window->View();
    ASSERT_TRUE(view.RenderNow());
    Layout& layout = view.Document();
    const Rect initial = Visible(layout);
    const double scale = layout.view.sx;

    form->SetMode(2);
    const QPoint at(view.width() / 3, view.height() / 3);
    const Point under = view.Viewport().ScreenToWorld(at.x(), at.y());
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_TRUE(view.RenderNow());
    EXPECT_NEAR(layout.view.sx, 2 * scale, scale * 1e-3) << "a click doubles the scale";
    const Point now = view.Viewport().ScreenToWorld(at.x(), at.y());
    EXPECT_NEAR(now.X, under.X, 2 / layout.view.sx);
    EXPECT_NEAR(now.Y, under.Y, 2 / layout.view.sy);

    // A right drag pans: the content follows the pointer.
    const Rect zoomed = Visible(layout);
    QTest::mousePress(&view, Qt::RightButton, Qt::NoModifier, QPoint(200, 200));
    QTest::mouseMove(&view, QPoint(150, 220));
    QTest::mouseRelease(&view, Qt::RightButton, Qt::NoModifier, QPoint(100, 240));
    EXPECT_GT(layout.view.xmin, zoomed.minx);
    EXPECT_GT(layout.view.ymin, zoomed.miny);

    // The keys: "-" goes back through the zoom levels, F4 shows everything.
    QTest::keyClick(form.get(), Qt::Key_Minus);
    ASSERT_TRUE(view.RenderNow());
    EXPECT_EQ(Visible(layout).maxx - Visible(layout).minx, initial.maxx - initial.minx);
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, at);
    QTest::keyClick(form.get(), Qt::Key_F4);
    ASSERT_TRUE(view.RenderNow());
    layout.MainSymbol()->EnsureBounds();
    const Rect box = layout.MainSymbol()->Bounds();
    EXPECT_TRUE(layout.view.xmin <= box.minx && layout.view.xmax >= box.maxx && layout.view.ymin <= box.miny)
        << "zoom all shows the whole symbol";

    // The wheel zooms about the pointer.
    const double before = layout.view.sx;
    QWheelEvent wheel(QPointF(at), view.mapToGlobal(QPointF(at)), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &wheel);
    ASSERT_TRUE(view.RenderNow());
    EXPECT_NEAR(layout.view.sx, 2 * before, before * 1e-3);

    // Space returns to the mode before, and back again.
    QTest::keyClick(form.get(), Qt::Key_Space);
    EXPECT_EQ(form->Mode(), 0);
    QTest::keyClick(form.get(), Qt::Key_Space);
    EXPECT_EQ(form->Mode(), 2);
}

TEST_F(EditorTest, HidingALayerRemovesItsColourFromTheView) {
    auto form = MakeForm();
    LayoutWindow* window = form->OpenFile(kDemo);
    ASSERT_NE(window, nullptr);
    LayoutView& view = window->View();
    Layout& layout = view.Document();
    const int marks = layout.FindLayerByName("Alignment marks");
    ASSERT_GE(marks, 0);
    const std::uint32_t c = layout.Layer(marks)->fillColor;
    const QRgb colour = qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    const auto countColour = [&] {
        int n = 0;
        const QImage& image = view.BackBuffer();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == colour;
        return n;
    };
    ASSERT_TRUE(view.RenderNow());
    ASSERT_GT(countColour(), 0);

    QTreeWidget& panel = form->LayerPanel();
    QTreeWidgetItem* row = nullptr;
    for (int i = 0; i < panel.topLevelItemCount(); ++i)
        if (panel.topLevelItem(i)->data(0, Qt::UserRole).toInt() == marks) row = panel.topLevelItem(i);
    ASSERT_NE(row, nullptr);
    const QRect rect = panel.visualItemRect(row);
    QTest::mouseClick(panel.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(rect.left() + 20, rect.center().y()));
    EXPECT_EQ(layout.Layer(marks)->visible, 0);
    ASSERT_TRUE(view.RenderNow());
    EXPECT_EQ(countColour(), 0);
}

TEST_F(EditorTest, TheTreeOpensSymbolsEachWithItsOwnView) {
    auto form = MakeForm();
    LayoutWindow* window = form->OpenFile(kDemo);
    ASSERT_NE(window, nullptr);
    Layout& layout = window->Document();
    QTreeWidget& tree = window->SymbolTree();
    const auto found = tree.findItems("TestCell", Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1);
    tree.setCurrentItem(found.first());
    ASSERT_NE(layout.ShownSymbolDescription(), nullptr);
    EXPECT_EQ(layout.ShownSymbolDescription()->Name(), "TestCell");
    ASSERT_TRUE(window->View().RenderNow());

    window->BuildSymbolTree(false);
    EXPECT_EQ(tree.topLevelItemCount(), static_cast<int>(layout.Symbols().size())) << "the list shows every symbol";
    EXPECT_EQ(tree.currentItem()->text(0), "TestCell");
}

TEST_F(EditorTest, SymbolNamesAreCheckedWhenRenamed) {
    auto form = MakeForm();
    LayoutWindow* window = form->OpenFile(kDemo);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->RenameSymbol("TestCell", "a(b"));
    EXPECT_FALSE(window->RenameSymbol("TestCell", "AlignMark"));
    EXPECT_EQ(messages.messages,
              (std::vector<RecordedMessage>{{"A symbol name cannot contain the '(' or ')' characters!", "Error"},
                                            {"Symbol name already exists!", "Error"}}));
    EXPECT_EQ(window->SymbolTree().findItems("TestCell", Qt::MatchExactly | Qt::MatchRecursive).size(), 1);

    EXPECT_TRUE(window->RenameSymbol("TestCell", "Test structure"));
    EXPECT_NE(window->Document().FindSymbolByName("Test structure"), nullptr);
    EXPECT_EQ(window->SymbolTree().findItems("Test structure", Qt::MatchExactly | Qt::MatchRecursive).size(), 1);

    // A symbol that others call is not deleted.
    messages.messages.clear();
    window->BuildSymbolTree(false);
    EXPECT_FALSE(window->DeleteSymbolDefinition("AlignMark"));
    EXPECT_EQ(
        messages.messages,
        (std::vector<RecordedMessage>{{"This symbol is called by other symbols and cannot be deleted.", "Warning"}}));
    EXPECT_NE(window->Document().FindSymbolByName("AlignMark"), nullptr);
}

TEST_F(EditorTest, ScrollingStopsAtTheWorldsEdgeAndGuidelinesComeFromTheRulers) {
    auto form = MakeForm();
    LayoutWindow* window = form->OpenFile(kDemo);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->View().RenderNow());
    Layout& layout = window->Document();
    for (int i = 0; i < 5000 && layout.view.ymax < 2000000000; ++i) window->SymbolPanelKey(Qt::Key_Up);
    EXPECT_EQ(layout.view.ymax, 2000000000);
    window->SymbolPanelKey(Qt::Key_Up);
    EXPECT_EQ(layout.view.ymax, 2000000000);
    window->SymbolPanelKey(Qt::Key_Home);
    ASSERT_TRUE(window->View().RenderNow());

    // Pressing on the horizontal ruler makes a vertical guideline that
    // follows the pointer; released outside the ruler's range it goes.
    RulerPanel& ruler = window->HorizontalRuler();
    const SymbolDescription* shown = layout.ShownSymbolDescription();
    const auto x = [&](int pixel) { return form->GetGrid().SnapValue(ruler.ValueAt(pixel)); };
    QTest::mousePress(&ruler, Qt::LeftButton, Qt::NoModifier, QPoint(100, 5));
    ASSERT_EQ(shown->vGuides.size(), 1u);
    QTest::mouseMove(&ruler, QPoint(150, 5));
    QTest::mouseRelease(&ruler, Qt::LeftButton, Qt::NoModifier, QPoint(150, 5));
    EXPECT_EQ(shown->vGuides, (std::vector<std::int32_t>{x(150)}));
    QTest::mousePress(&ruler, Qt::LeftButton, Qt::NoModifier, QPoint(200, 5));
    QTest::mouseMove(&ruler, QPoint(-400, 5));
    QTest::mouseRelease(&ruler, Qt::LeftButton, Qt::NoModifier, QPoint(-400, 5));
    EXPECT_EQ(shown->vGuides, (std::vector<std::int32_t>{x(150)}));
}

TEST_F(EditorTest, GuidelineChangesMarkTheLayoutModified) {
    auto form = MakeForm();
    LayoutWindow* window = form->NewLayout();
    ASSERT_TRUE(window->View().RenderNow());
    Layout& layout = window->Document();
    ASSERT_FALSE(layout.IsModified());
    const SymbolDescription* shown = layout.ShownSymbolDescription();
    SettleView(window->View());
    const QImage before = window->View().BackBuffer().copy();
    const int passes = window->View().LayoutPassCount();

    // Adding one (and dragging it) from the vertical ruler.
    RulerPanel& ruler = window->VerticalRuler();
    QTest::mousePress(&ruler, Qt::LeftButton, Qt::NoModifier, QPoint(5, 100));
    QTest::mouseMove(&ruler, QPoint(5, 120));
    QTest::mouseRelease(&ruler, Qt::LeftButton, Qt::NoModifier, QPoint(5, 120));
    ASSERT_EQ(shown->hGuides.size(), 1u);
    EXPECT_TRUE(layout.IsModified());
    SettleView(window->View());
    EXPECT_NE(window->View().BackBuffer(), before) << "the guideline is shown";
    EXPECT_EQ(window->View().LayoutPassCount(), passes) << "without drawing the layout again";

    // Removing them all from the ruler's menu.
    layout.modified = false;
    ruler.removeAll();
    EXPECT_TRUE(shown->hGuides.empty());
    EXPECT_TRUE(layout.IsModified());

    // Nothing to remove changes nothing.
    layout.modified = false;
    ruler.removeAll();
    EXPECT_FALSE(layout.IsModified());
}

TEST_F(EditorTest, ASelectionChangeRedrawsOnlyTheSelectionMarks) {
    auto form = MakeForm();
    LayoutWindow* window = form->NewLayout();
    LayoutView& view = window->View();
    Layout& layout = view.Document();
    SymbolDescription* main = layout.MainSymbol();
    main->AddRectangle(0, 0, 100000, 50000, 0);
    ASSERT_TRUE(view.RenderNow());
    view.Viewport().ZoomBack();
    ASSERT_TRUE(view.RenderNow());
    SettleView(view);
    const QImage unmarked = view.BackBuffer().copy();
    const int passes = view.LayoutPassCount();

    form->SetMode(0);
    std::int32_t px = 0, py = 0;
    layout.view.WorldToScreen(px, py);
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(px, py));
    ASSERT_EQ(main->selectedCount, 1);
    SettleView(view);
    EXPECT_EQ(view.LayoutPassCount(), passes) << "selecting does not draw the layout again";
    EXPECT_NE(view.BackBuffer(), unmarked) << "the marks are shown";

    QTest::keyClick(form.get(), Qt::Key_Escape);
    ASSERT_EQ(main->selectedCount, 0);
    SettleView(view);
    EXPECT_EQ(view.LayoutPassCount(), passes);
    EXPECT_EQ(view.BackBuffer(), unmarked) << "the marks are gone";

    // A change of the view still draws the layout.
    view.Viewport().ZoomBack();
    view.Redraw();
    SettleView(view);
    EXPECT_EQ(view.LayoutPassCount(), passes + 1);
}

TEST_F(EditorTest, TheWheelZoomsByWholeNotches) {
    auto form = MakeForm();
    LayoutWindow* window = form->OpenFile(kDemo);
    ASSERT_NE(window, nullptr);
    LayoutView& view = window->View();
    ASSERT_TRUE(view.RenderNow());
    Layout& layout = view.Document();
    const QPoint at(view.width() / 2, view.height() / 2);
    const auto wheel = [&](int delta) {
        QWheelEvent event(QPointF(at), view.mapToGlobal(QPointF(at)), QPoint(0, delta / 4), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &event);
    };
    const auto width = [&] { return std::int64_t{layout.view.xmax} - layout.view.xmin; };
    const std::int64_t start = width();

    // A touchpad's small deltas add up to one notch.
    for (int i = 0; i < 3; ++i) {
        wheel(30);
        EXPECT_EQ(width(), start) << "after " << (i + 1) * 30;
    }
    wheel(30);
    EXPECT_NEAR(double(width()), start / 2.0, 2);

    // Turning back forgets what was gathered the other way.
    wheel(90);
    wheel(-30);
    wheel(-60);
    EXPECT_NEAR(double(width()), start / 2.0, 2);
    wheel(-30);
    EXPECT_NEAR(double(width()), double(start), 4) << "four times -30 after turning back is one notch out";

    // Two notches at once zoom twice.
    wheel(240);
    EXPECT_NEAR(double(width()), start / 4.0, 2);
}

TEST_F(EditorTest, TheDrawingFlagsExistOnce) {
    auto form = MakeForm();
    LayoutWindow* window = form->NewLayout();
    LayoutView& view = window->View();
    zandor::Settings().backgroundBlack = true;
    ASSERT_TRUE(view.RenderNow());
    EXPECT_TRUE(zandor::Settings().backgroundBlack) << "a drawing pass does not overwrite them";
    int black = 0;
    const QImage& image = view.BackBuffer();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) black += image.pixel(x, y) == qRgb(0, 0, 0);
    EXPECT_GT(black, image.width() * image.height() / 2);
    form->UpdateCommands();
    EXPECT_TRUE(form->Command("ActionViewBkBlack")->isChecked());

    form->Command("ActionViewFill")->trigger();
    EXPECT_FALSE(zandor::Settings().fill);
}

TEST_F(EditorTest, SavingToATypeWithoutAWriterSaysSo) {
    auto form = MakeForm();
    LayoutWindow* window = form->NewLayout();
    Layout& layout = window->Document();
    layout.MainSymbol()->AddRectangle(0, 0, 1000, 1000, 0);
    ASSERT_EQ(FindWriter(FileDxf), nullptr) << "pick another type without a writer for this test";
    const QString name = config.path() + "/x.dxf";
    EXPECT_FALSE(layout.Save(name.toStdString(), FileDxf));
    EXPECT_EQ(messages.messages,
              (std::vector<RecordedMessage>{{"Saving this file type is not supported yet", "Error"}}));
    EXPECT_FALSE(QFile::exists(name));
    EXPECT_TRUE(layout.fileName.empty());
}

TEST_F(EditorTest, TheEditModeSelectsByClickAndRectangleAndEscapeDeselects) {
    auto form = MakeForm();
    LayoutWindow* window = form->NewLayout();
    LayoutView& view = window->View();
    Layout& layout = view.Document();
    SymbolDescription* main = layout.MainSymbol();
    const Word* first = main->AddRectangle(0, 0, 100000, 50000, 0);
    const std::int32_t firstOffset = main->OffsetOf(first);
    main->AddRectangle(200000, 0, 300000, 50000, 0);
    ASSERT_TRUE(view.RenderNow());
    view.Viewport().ZoomBack();  // room around the objects
    ASSERT_TRUE(view.RenderNow());
    form->SetMode(0);
    const auto screen = [&layout](std::int32_t x, std::int32_t y) {
        layout.view.WorldToScreen(x, y);
        return QPoint(x, y);
    };
    const auto drag = [&view](QPoint from, QPoint to, Qt::KeyboardModifiers keys = Qt::NoModifier) {
        QTest::mousePress(&view, Qt::LeftButton, keys, from);
        QTest::mouseMove(&view, (from + to) / 2);
        QTest::mouseMove(&view, to);
        QTest::mouseRelease(&view, Qt::LeftButton, keys, to);
    };
    // A click on the first rectangle's corner selects it.
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, screen(0, 0));
    EXPECT_EQ(main->selectedCount, 1);
    EXPECT_EQ(main->currentObject, firstOffset);
    EXPECT_TRUE(form->StatusText(0).startsWith("Rectangle")) << form->StatusText(0).toStdString();
    // A rectangle around the second one only: it takes the place of the first.
    drag(screen(150000, -20000), screen(350000, 70000));
    EXPECT_EQ(main->selectedCount, 1);
    EXPECT_NE(main->currentObject, firstOffset);
    // With Shift a click adds, and takes away again.
    QTest::mouseClick(&view, Qt::LeftButton, Qt::ShiftModifier, screen(0, 0));
    EXPECT_EQ(main->selectedCount, 2);
    QTest::mouseClick(&view, Qt::LeftButton, Qt::ShiftModifier, screen(0, 0));
    EXPECT_EQ(main->selectedCount, 1);
    // A rectangle around everything with Shift adds both.
    drag(QPoint(1, 1), QPoint(view.width() - 2, view.height() - 2), Qt::ShiftModifier);
    EXPECT_EQ(main->selectedCount, 2);
    // A click on empty space, away from the frame, deselects.
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(2, view.height() - 3));
    EXPECT_EQ(main->selectedCount, 0);
    EXPECT_EQ(form->StatusText(0), "No selected objects");
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, screen(0, 0));
    EXPECT_EQ(main->selectedCount, 1);
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_EQ(main->selectedCount, 0);
    EXPECT_EQ(form->StatusText(0), "No selected objects");
}

// Dragging the inside of the selection frame moves the selection by the
// dragged distance on the grid, as one undo step; the rubber frame drawn
// while dragging leaves the picture as it was.
TEST_F(EditorTest, DraggingTheSelectionFrameMovesItAndUndoPutsItBack) {
    auto form = MakeForm();
    LayoutWindow* window = form->NewLayout();
    LayoutView& view = window->View();
    Layout& layout = view.Document();
    SymbolDescription* main = layout.MainSymbol();
    main->AddRectangle(0, 0, 100000, 50000, 0);
    main->AddRectangle(0, 0, 100000, 50000, 0);  // stacked on the first
    form->GetGrid().SetSpacing(1000);
    ASSERT_TRUE(view.RenderNow());
    view.Viewport().ZoomBack();
    ASSERT_TRUE(view.RenderNow());
    form->SetMode(0);
    const auto screen = [&layout](std::int32_t x, std::int32_t y) {
        layout.view.WorldToScreen(x, y);
        return QPoint(x, y);
    };
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, screen(0, 0));
    ASSERT_EQ(main->selectedCount, 1);
    const std::int32_t first = main->currentObject;
    // A click on the selection itself goes on to the object under it.
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, screen(0, 0));
    EXPECT_EQ(main->selectedCount, 1);
    EXPECT_NE(main->currentObject, first);
    const std::vector<Word> before(main->Words(), main->Words() + main->usedWords);

    const QPoint from = screen(50000, 25000), to = screen(150000, -75000);
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(&view, (from + to) / 2);
    QTest::mouseMove(&view, to);
    EXPECT_TRUE(form->StatusText(0).startsWith("Move, dx: ")) << form->StatusText(0).toStdString();
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, to);
    const Word* moved = main->RecordAt(main->currentObject);
    const RectangleView rect(moved);
    const std::int32_t step = form->GetGrid().EffectiveSpacing();
    const Point a = view.Viewport().ScreenToWorld(from.x(), from.y());
    const Point b = view.Viewport().ScreenToWorld(to.x(), to.y());
    const Point d{b.X - a.X, b.Y - a.Y};
    EXPECT_EQ(rect.Corner1().X % step, 0);
    EXPECT_LE(std::abs(rect.Corner1().X - d.X), step);
    EXPECT_LE(std::abs(rect.Corner1().Y - d.Y), step);
    EXPECT_NE(rect.Corner1().X, 0) << "grid step " << step;
    EXPECT_TRUE(layout.IsModified());
    form->Command("ActionEditUndo")->trigger();
    EXPECT_EQ(std::vector<Word>(main->Words(), main->Words() + main->usedWords), before);

    // "+" during the drag leaves the original where it was and drops a copy.
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(&view, (from + to) / 2);
    QTest::keyClick(&view, '+');
    EXPECT_EQ(form->StatusText(0), "Leave original");
    QTest::mouseMove(&view, to);
    EXPECT_TRUE(form->StatusText(0).endsWith(", Leave original")) << form->StatusText(0).toStdString();
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, to);
    EXPECT_EQ(main->objectCount, 3);
    // The originals stay where they were, unselected.
    for (const int at : {0, 5}) {
        EXPECT_FALSE(IsSelected(main->Words() + at));
        EXPECT_EQ(std::vector<Word>(main->Words() + at + 1, main->Words() + at + 5),
                  std::vector<Word>(before.begin() + at + 1, before.begin() + at + 5));
    }
    form->Command("ActionEditUndo")->trigger();
    EXPECT_EQ(std::vector<Word>(main->Words(), main->Words() + main->usedWords), before);

    // A drag that ends where it started changes nothing, and its rubber
    // frame, drawn inverted and drawn again, is gone without a trace.
    ASSERT_TRUE(view.RenderNow());
    const QImage still = view.BackBuffer().copy();
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(&view, from + QPoint(40, 0));
    EXPECT_NE(view.BackBuffer(), still);
    QTest::mouseMove(&view, from);
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, from);
    EXPECT_EQ(std::vector<Word>(main->Words(), main->Words() + main->usedWords), before);
    EXPECT_EQ(view.BackBuffer(), still);
}

// A double click on a symbol call opens the called symbol, on another object
// its properties; it selects no more than the single click before it did.
TEST_F(EditorTest, ADoubleClickOnACallOpensTheSymbol) {
    auto form = MakeForm();
    LayoutWindow* window = form->NewLayout();
    LayoutView& view = window->View();
    Layout& layout = view.Document();
    SymbolDescription* cell = layout.AddSymbol(1, "cell");
    cell->AddRectangle(0, 0, 50000, 50000, 0);
    SymbolDescription* main = layout.MainSymbol();
    main->InsertSymbolCall(1, 100000, 0);
    main->AddRectangle(0, 0, 50000, 50000, 0);
    main->RebuildChildren();
    window->RefreshSymbolNode(*main);
    ASSERT_TRUE(view.RenderNow());
    view.Viewport().ZoomBack();
    ASSERT_TRUE(view.RenderNow());
    form->SetMode(0);
    // As the window system sends it: press, release, double click, release.
    const auto doubleClick = [&view](QPoint at) {
        QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(&view, Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, at);
    };
    std::int32_t px = 0, py = 0;
    layout.view.WorldToScreen(px, py);
    // A rectangle opens no symbol: it shows its properties.
    QString shown;
    {
        test::ModalAnswers answers({[&shown](QWidget* w) {
            shown = w->objectName();
            static_cast<QDialog*>(w)->reject();
        }});
        doubleClick(QPoint(px, py));
        EXPECT_EQ(answers.Left(), 0u);
    }
    EXPECT_EQ(shown, "RectanglePropertiesDlg");
    EXPECT_EQ(main->selectedCount, 1) << "the rectangle, selected once";
    EXPECT_EQ(layout.ShownSymbolDescription(), main) << "a rectangle opens nothing";
    px = 100000;
    py = 0;
    layout.view.WorldToScreen(px, py);
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    doubleClick(QPoint(px, py));
    EXPECT_EQ(layout.ShownSymbolDescription(), cell);
}

TEST_F(EditorTest, SettingsSurviveARestart) {
    {
        auto form = MakeForm();
        form->Command("ActionViewFill")->trigger();
        form->Command("ActionViewBkBlack")->trigger();
        form->GetGrid().GridPlus();
        form->close();
    }
    EXPECT_TRUE(QFile::exists(config.path() + "/Korvat/Zandor/zandor.ini"));
    EXPECT_TRUE(QFile::exists(config.path() + "/Korvat/Zandor/layers.map"));
    zandor::Settings() = saved;
    auto form = MakeForm();
    EXPECT_FALSE(zandor::Settings().fill) << "the drawing code reads them";
    EXPECT_TRUE(zandor::Settings().backgroundBlack);
    EXPECT_EQ(form->GetGrid().Spacing(), 2000000);
    EXPECT_FALSE(form->Command("ActionViewFill")->isChecked());
}

TEST_F(EditorTest, SettingsAreClampedAsRead) {
    QDir().mkpath(config.path() + "/Korvat/Zandor");
    QFile ini(config.path() + "/Korvat/Zandor/zandor.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(
        "[Settings]\nLevels=0\nRingNumSegments=8\nMaxPolyNodes=100000\nWireThickness=0.5\nTextAngle=400000\n"
        "[Gbr]\nUnits=MM\nD10=\"100,100,S\"\nD11=*\n");
    ini.close();
    auto form = MakeForm();
    const ShellSettings& s = form->Settings();
    EXPECT_EQ(zandor::Settings().levels, 1);
    EXPECT_EQ(zandor::Settings().ringNumSegments, 16);
    EXPECT_EQ(zandor::Settings().maxPolyNodes, 32768);
    EXPECT_EQ(s.wireThickness, 1000);
    EXPECT_EQ(s.textAngle, 0);
    const GerberOptions& gerber = GerberSettings();
    EXPECT_TRUE(gerber.millimetres);
    EXPECT_EQ(gerber.apertures[0], (GerberAperture{100, 100, true}));
    EXPECT_EQ(gerber.apertures[1], GerberOptions::DefaultGerberApertures()[1]) << "\"*\" keeps the built-in entry";

    // Written back in the stored forms.
    form->close();
    QSettings written(config.path() + "/Korvat/Zandor/zandor.ini", QSettings::IniFormat);
    EXPECT_EQ(written.value("Gbr/Units").toString(), "MM");
    EXPECT_EQ(written.value("Gbr/D10").toString(), "100,100,S");
    EXPECT_EQ(written.value("Gbr/D12").toString(), "*");
    EXPECT_EQ(written.value("Settings/WireThickness").toString(), "1");
    EXPECT_EQ(written.value("Tap/Integers").toString(), "2");
}

TEST_F(EditorTest, AperturesReadBackAsWritten) {
    // The documented form, two integers and a letter, without quotes; the
    // quoted form another INI writer would give reads the same.
    QDir().mkpath(config.path() + "/Korvat/Zandor");
    QFile ini(config.path() + "/Korvat/Zandor/zandor.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Gbr]\r\nD10=100,200,S\r\nD11=250000,10,C\r\nD12=\"300,12,S\"\r\nD13=*\r\nD14=7\r\nD59=5,6,R\r\n");
    ini.close();
    const GerberApertureTable builtIn = GerberOptions::DefaultGerberApertures();
    {
        auto form = MakeForm();
        const GerberApertureTable& read = GerberSettings().apertures;
        EXPECT_EQ(read[0], (GerberAperture{100, 200, true}));
        EXPECT_EQ(read[1], (GerberAperture{250000, 10, false}));
        EXPECT_EQ(read[2], (GerberAperture{300, 12, true}));
        EXPECT_EQ(read[3], builtIn[3]) << "\"*\" keeps the built-in entry";
        EXPECT_EQ(read[4], builtIn[4]) << "so does a value without two commas";
        EXPECT_EQ(read[49], (GerberAperture{5, 6, false}));

        // Every field of the section survives a restart.
        GerberOptions& changed = GerberSettings();
        changed.integers = 2;
        changed.decimals = 5;
        changed.millimetres = true;
        changed.endOfBlock = '#';
        changed.parameterDelimiter = '!';
        changed.fill = GerberFill::Always;
        changed.apertures[20] = {1234567, 49, true};
        changed.apertures[0] = {};  // a built-in entry taken out of use stays so
        form->close();
    }
    GerberSettings() = GerberOptions{};
    const GerberOptions expected = [&] {
        GerberOptions g;
        g.integers = 2;
        g.decimals = 5;
        g.millimetres = true;
        g.endOfBlock = '#';
        g.parameterDelimiter = '!';
        g.fill = GerberFill::Always;
        g.apertures[0] = {};
        g.apertures[1] = {250000, 10, false};
        g.apertures[2] = {300, 12, true};
        g.apertures[20] = {1234567, 49, true};
        g.apertures[49] = {5, 6, false};
        return g;
    }();
    auto form = MakeForm();
    const GerberOptions& read = GerberSettings();
    EXPECT_EQ(read.integers, expected.integers);
    EXPECT_EQ(read.decimals, expected.decimals);
    EXPECT_EQ(read.millimetres, expected.millimetres);
    EXPECT_EQ(read.endOfBlock, expected.endOfBlock);
    EXPECT_EQ(read.parameterDelimiter, expected.parameterDelimiter);
    EXPECT_EQ(read.fill, expected.fill);
    for (std::size_t i = 0; i < read.apertures.size(); ++i)
        EXPECT_EQ(read.apertures[i], expected.apertures[i]) << "D" << i + 10;
}

TEST_F(EditorTest, AnUnusableSettingsFileLeavesTheDefaults) {
    QDir().mkpath(config.path() + "/Korvat/Zandor/zandor.ini");  // a folder where the file should be
    auto form = MakeForm();
    EXPECT_EQ(messages.messages,
              (std::vector<RecordedMessage>{{"Unable to open or create configuration file.", "Warning"}}));
    EXPECT_TRUE(zandor::Settings().fill);
    EXPECT_EQ(zandor::Settings().levels, 30);
    EXPECT_GE(form->MainLayout().LayerCount(), 1) << "a missing layers.map gives the default layer table";
}

TEST_F(EditorTest, AMalformedSettingsFileIsLeftAloneAndTheDefaultsApply) {
    for (const QByteArray& content :
         {QByteArray("[Settings\nLevels=3\n"), QByteArray("\x01\x02[Settings]\nFill=0\n", 18)}) {
        QDir().mkpath(config.path() + "/Korvat/Zandor");
        QFile ini(config.path() + "/Korvat/Zandor/zandor.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write(content);
        ini.close();
        messages.messages.clear();
        {
            auto form = MakeForm();
            EXPECT_EQ(messages.messages,
                      (std::vector<RecordedMessage>{{"Unable to open or create configuration file.", "Warning"}}));
            EXPECT_TRUE(zandor::Settings().fill);
            EXPECT_EQ(zandor::Settings().levels, 30);
            form->close();
        }
        ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
        EXPECT_EQ(ini.readAll(), content) << "the file is not overwritten";
        ini.close();
    }
}

TEST_F(EditorTest, ADrawingPassGivesUpWhenAKeyIsPressed) {
    auto form = MakeForm();
    LayoutWindow* window = form->NewLayout();
    LayoutView& view = window->View();
    SymbolDescription* main = view.Document().MainSymbol();
    for (int i = 0; i < 200000; ++i) main->AddRectangle(i * 10, 0, i * 10 + 5000, 5000, 0);
    ASSERT_TRUE(view.RenderNow());
    // A key that no command takes (the mode letters are shortcuts).
    QKeyEvent* press = new QKeyEvent(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier, "q");
    QCoreApplication::postEvent(&view, press);
    EXPECT_FALSE(view.RenderNow()) << "the pass saw the key and stopped";
    QCoreApplication::processEvents();
    EXPECT_TRUE(view.RenderNow());
}

}  // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    zandor::RegisterFileFormats();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
