// Cut, copy and paste through the main window (offscreen platform), the
// picture other applications get, the question at shutdown, and printing
// the demo to a PDF file that poppler renders back for comparison with the
// editor's own drawing.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QPageLayout>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "base/Numbers.h"
#include "display/Background.h"
#include "display/CopiedPicture.h"
#include "display/Grid.h"
#include "display/ObjectDrawing.h"
#include "formats/AllFormats.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "model/RecordViews.h"
#include "model/SymbolDescription.h"
#include "platform/headless/RecordingMessages.h"
#include "platform/qt/QtCanvas.h"
#include "shell/ClipboardPicture.h"
#include "shell/LayoutView.h"
#include "shell/LayoutWindow.h"
#include "shell/MainForm.h"
#include "support/EditorFixture.h"

using namespace zandor;
using platform::headless::RecordedMessage;
using test::ModalAnswers;

namespace {

// Main symbol: a 20 x 10 um rectangle on layer 0 at the origin, a call of
// "cell" at (100 um, 0) and one of "pad" far away; "cell" holds a 10 um
// square on layer 1, "pad" a box.  (CIF units of 10 nm.)
const char* const kSource =
    "DS 1 1 1; 9 cell; L L1; B 1000 1000 500 500; DF;\n"
    "DS 2 1 1; 9 pad; L L0; B 3000 3000 1500 1500; DF;\n"
    "L L0; B 2000 1000 1000 500;\n"
    "C 1 T 10000 0;\n"
    "C 2 T 50000 50000;\n"
    "E\n";

// "cell" here is another definition, and it calls "host".
const char* const kOtherCell =
    "DS 2 1 1; 9 host; L L0; B 4000 4000 0 0; DF;\n"
    "DS 1 1 1; 9 cell; L L0; B 3000 3000 0 0; C 2 T 0 0; DF;\n"
    "C 1 T 0 0;\n"
    "E\n";

const char* const kPasteError = "Cannot complete paste operation. One or more symbol definitions already exist!";

class ClipboardTest : public test::EditorFixture {
protected:
    void TearDown() override {
        QGuiApplication::clipboard()->clear();
        EditorFixture::TearDown();
    }
    LayoutWindow* Open(MainForm& form, const QString& name, const char* cif) {
        const QString path = config.path() + "/" + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(cif);
        file.close();
        LayoutWindow* window = form.OpenFile(path);
        EXPECT_NE(window, nullptr) << name.toStdString();
        if (window) {
            EXPECT_TRUE(window->View().RenderNow());
        }
        return window;
    }
    static bool Enabled(MainForm& form, const char* name) {
        form.UpdateCommands();
        return form.Command(name)->isEnabled();
    }
    static void Run(MainForm& form, const char* name) {
        ASSERT_TRUE(Enabled(form, name)) << name;
        form.Command(name)->trigger();
    }
    static void Select(SymbolDescription& s, const std::function<bool(const Word*)>& which) {
        s.DeselectAll();
        for (Word* r = s.FirstRecord(); r; r = s.NextObject(r))
            if (which(r)) s.SetSelected(r);
        s.UpdateSelection();
    }
    static bool IsKind(const Word* r, ObjectKind kind) { return RecordKind(r) == kind; }
    static bool CallOf(const SymbolDescription& s, const Word* r, const char* name) {
        if (!IsCallKind(RecordKind(r))) return false;
        const SymbolDescription* called = s.OwnerLayout()->FindSymbol(PlacementView(r).SymbolId());
        return called && called->Name() == name;
    }
    static std::vector<Word> Buffer(const SymbolDescription& s) {
        return std::vector<Word>(s.Words(), s.Words() + s.usedWords);
    }
    static SymbolDescription& Store(MainForm& form) { return *form.MainLayout().MainSymbol(); }
};

TEST_F(ClipboardTest, CommandsCaptionsShortcutsAndWhenTheyAreEnabled) {
    auto form = MakeForm();
    struct Command {
        const char* name;
        const char* caption;
        const char* shortcut;
    } commands[] = {
        {"ActionEditCut", "Cu&t", "Ctrl+X"},
        {"ActionEditCopy", "&Copy", "Ctrl+C"},
        {"ActionEditPaste", "&Paste", "Ctrl+V"},
        {"ActionFilePrint", "&Print...", "Ctrl+P"},
        {"ActionFilePrintSetup", "Pr&int setup...", ""},
    };
    for (const Command& c : commands) {
        QAction* action = form->Command(c.name);
        ASSERT_NE(action, nullptr) << c.name;
        EXPECT_EQ(action->text().toStdString(), c.caption);
        EXPECT_EQ(action->shortcut(), QKeySequence(c.shortcut)) << c.name;
        // Without a window only the printer set-up is offered.
        EXPECT_EQ(Enabled(*form, c.name), std::string(c.name) == "ActionFilePrintSetup") << c.name;
    }

    LayoutWindow* window = Open(*form, "source.cif", kSource);
    ASSERT_NE(window, nullptr);
    SymbolDescription& main = *window->Document().MainSymbol();
    EXPECT_TRUE(Enabled(*form, "ActionFilePrint"));
    EXPECT_FALSE(Enabled(*form, "ActionEditCopy"));
    EXPECT_FALSE(Enabled(*form, "ActionEditCut"));
    EXPECT_FALSE(Enabled(*form, "ActionEditPaste")) << "the store is empty";
    Select(main, [](const Word* r) { return IsKind(r, ObjectKind::Rectangle); });
    EXPECT_TRUE(Enabled(*form, "ActionEditCopy"));
    EXPECT_TRUE(Enabled(*form, "ActionEditCut"));
    Run(*form, "ActionEditCopy");
    for (int mode = 0; mode <= 10; ++mode) {
        if (mode == 9) continue;  // the script mode needs its library
        form->SetMode(mode);
        EXPECT_EQ(Enabled(*form, "ActionEditPaste"), mode == 0) << "mode " << mode;
    }
    form->SetMode(0);
    EXPECT_TRUE(messages.messages.empty());
}

// The store takes the selection with the symbols it calls and the layer
// table; pasting puts copies into other symbols and other layouts, selected,
// as one undo step.
TEST_F(ClipboardTest, CopyAndPasteBetweenSymbolsAndLayouts) {
    auto form = MakeForm();
    LayoutWindow* source = Open(*form, "source.cif", kSource);
    ASSERT_NE(source, nullptr);
    Layout& sourceLayout = source->Document();
    SymbolDescription& main = *sourceLayout.MainSymbol();
    Select(main, [&](const Word* r) { return IsKind(r, ObjectKind::Rectangle) || CallOf(main, r, "cell"); });
    ASSERT_EQ(main.selectedCount, 2);
    const std::vector<Word> before = Buffer(main);
    Run(*form, "ActionEditCopy");
    EXPECT_EQ(Buffer(main), before) << "copying leaves the layout alone";
    EXPECT_FALSE(sourceLayout.modified);

    Layout& store = form->MainLayout();
    EXPECT_EQ(Store(*form).objectCount, 2);
    ASSERT_NE(store.FindSymbolByName("cell"), nullptr);
    EXPECT_EQ(store.FindSymbolByName("pad"), nullptr) << "only what the selection calls";
    EXPECT_TRUE(
        SymbolDescription::SameDefinition(*store.FindSymbolByName("cell"), *sourceLayout.FindSymbolByName("cell")));
    for (int i = 0; i < kLayerCount; ++i) EXPECT_EQ(store.Layer(i) != nullptr, sourceLayout.Layer(i) != nullptr) << i;
    EXPECT_EQ(CopiedBox(store), (Rect{0, 0, 110000, 10000}));
    ASSERT_NE(form->OfferedPicture(), nullptr);
    EXPECT_EQ(form->OfferedPicture()->Renderings(), 0) << "announced, not drawn";

    // Into another symbol of the same layout.
    ASSERT_TRUE(source->OpenSymbol("pad"));
    SymbolDescription& pad = *sourceLayout.FindSymbolByName("pad");
    ASSERT_EQ(sourceLayout.ShownSymbolDescription(), &pad);
    Run(*form, "ActionEditPaste");
    EXPECT_EQ(pad.objectCount, 3);
    EXPECT_EQ(pad.selectedCount, 2) << "the pasted objects are the selection";
    EXPECT_EQ(sourceLayout.Symbols().size(), 3u) << "no second cell";

    // Into another layout, twice; each paste is one undo step.
    LayoutWindow* target = form->NewLayout();
    Layout& targetLayout = target->Document();
    SymbolDescription& top = *targetLayout.MainSymbol();
    Run(*form, "ActionEditPaste");
    Run(*form, "ActionEditPaste");
    ASSERT_EQ(top.objectCount, 4);
    EXPECT_EQ(top.selectedCount, 2);
    const SymbolDescription* cell = targetLayout.FindSymbolByName("cell");
    ASSERT_NE(cell, nullptr);
    EXPECT_TRUE(SymbolDescription::SameDefinition(*cell, *sourceLayout.FindSymbolByName("cell")));
    for (Word* r = top.FirstRecord(); r; r = top.NextObject(r))
        if (IsCallKind(RecordKind(r))) {
            EXPECT_EQ(PlacementView(r).SymbolId(), cell->Id());
        }
    EXPECT_TRUE(targetLayout.modified);
    Run(*form, "ActionEditUndo");
    EXPECT_EQ(top.objectCount, 2);
    Run(*form, "ActionEditUndo");
    EXPECT_EQ(top.objectCount, 0);
    EXPECT_TRUE(messages.messages.empty()) << messages.messages.front().text;
}

TEST_F(ClipboardTest, CutIsOneUndoStep) {
    auto form = MakeForm();
    LayoutWindow* window = Open(*form, "source.cif", kSource);
    ASSERT_NE(window, nullptr);
    SymbolDescription& main = *window->Document().MainSymbol();
    const int objects = main.objectCount;
    Select(main, [](const Word* r) { return IsKind(r, ObjectKind::Rectangle); });
    Run(*form, "ActionEditCut");
    EXPECT_EQ(main.objectCount, objects - 1);
    EXPECT_EQ(main.selectedCount, 0);
    EXPECT_EQ(Store(*form).objectCount, 1);
    EXPECT_TRUE(window->Document().modified);
    Run(*form, "ActionEditUndo");
    EXPECT_EQ(main.objectCount, objects);
    EXPECT_EQ(Store(*form).objectCount, 1) << "undo leaves the store alone";
    Run(*form, "ActionEditPaste");
    EXPECT_EQ(main.objectCount, objects + 1);
    EXPECT_TRUE(messages.messages.empty());
}

// Pasting a call of "cell" where "cell" is defined otherwise and calls the
// symbol being edited would make that symbol call itself.
TEST_F(ClipboardTest, ReplacingAParentSymbolIsRefusedAndNothingIsPasted) {
    auto form = MakeForm();
    LayoutWindow* source = Open(*form, "source.cif", kSource);
    ASSERT_NE(source, nullptr);
    SymbolDescription& main = *source->Document().MainSymbol();
    Select(main, [&](const Word* r) { return CallOf(main, r, "cell"); });
    Run(*form, "ActionEditCopy");

    LayoutWindow* other = Open(*form, "other.cif", kOtherCell);
    ASSERT_NE(other, nullptr);
    ASSERT_TRUE(other->OpenSymbol("host"));
    SymbolDescription& host = *other->Document().FindSymbolByName("host");
    const std::size_t symbols = other->Document().Symbols().size();
    const std::vector<Word> before = Buffer(host);
    const std::vector<Word> cellBefore = Buffer(*other->Document().FindSymbolByName("cell"));
    Run(*form, "ActionEditPaste");
    EXPECT_EQ(messages.messages,
              (std::vector<RecordedMessage>{{"Cannot replace a parent symbol!", "Error"}, {kPasteError, "Error"}}));
    EXPECT_EQ(Buffer(host), before);
    EXPECT_EQ(Buffer(*other->Document().FindSymbolByName("cell")), cellBefore);
    EXPECT_EQ(other->Document().Symbols().size(), symbols);
    EXPECT_FALSE(other->Document().modified);
}

// A call whose symbol is missing (a damaged layout) cannot be copied: the
// store is left empty and other applications keep the earlier picture.  A
// store holding such a call (made here by hand) pastes the rest.
TEST_F(ClipboardTest, CallsOfMissingSymbolsNeitherCopyNorBreakAPaste) {
    auto form = MakeForm();
    LayoutWindow* window = Open(*form, "source.cif", kSource);
    ASSERT_NE(window, nullptr);
    SymbolDescription& main = *window->Document().MainSymbol();
    Select(main, [](const Word* r) { return IsKind(r, ObjectKind::Rectangle); });
    Run(*form, "ActionEditCopy");
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QImage offered = clipboard->image();
    ASSERT_FALSE(offered.isNull());

    main.InsertSymbolCall(77, 0, 0);
    Select(main, [](const Word* r) { return IsKind(r, ObjectKind::Rectangle) || IsCallKind(RecordKind(r)); });
    Run(*form, "ActionEditCopy");
    EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"Cannot complete copy operation.", "Error"}}));
    EXPECT_FALSE(form->StoreHoldsObjects());
    EXPECT_FALSE(Enabled(*form, "ActionEditPaste"));
    EXPECT_NE(form->MainLayout().Layer(1), nullptr) << "the emptied store keeps the layer table";
    EXPECT_EQ(clipboard->image(), offered) << "the system clipboard is untouched";
    messages.messages.clear();
    const std::vector<Word> selected = Buffer(main);
    Run(*form, "ActionEditCut");
    EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"Cannot complete cut operation.", "Error"}}));
    EXPECT_EQ(Buffer(main), selected) << "nothing is deleted";
    messages.messages.clear();

    SymbolDescription& store = Store(*form);
    store.AddRectangle(0, 0, 5000, 5000, 0);
    store.InsertSymbolCall(77, 100, 100);
    StoreCopiedBox(form->MainLayout(), {0, 0, 5000, 5000});
    form->NewLayout();
    SymbolDescription& top = *form->ActiveLayoutWindow()->Document().MainSymbol();
    Run(*form, "ActionEditPaste");
    EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{kPasteError, "Error"}}));
    ASSERT_EQ(top.objectCount, 1) << "the rectangle, without the call";
    EXPECT_EQ(RecordKind(top.FirstRecord()), ObjectKind::Rectangle);
    ASSERT_TRUE(form->ActiveLayoutWindow()->View().RenderNow());
}

// The picture: 640 units on the longer side of the copied box, drawn only
// when asked, white or black behind the objects, as PNG and as SVG.
TEST_F(ClipboardTest, OtherApplicationsGetAPictureOfTheCopiedObjects) {
    auto form = MakeForm();
    LayoutWindow* window = Open(*form, "source.cif", kSource);
    ASSERT_NE(window, nullptr);
    SymbolDescription& main = *window->Document().MainSymbol();
    Select(main, [&](const Word* r) { return IsKind(r, ObjectKind::Rectangle) || CallOf(main, r, "cell"); });
    for (const bool black : {false, true}) {
        SCOPED_TRACE(black ? "black" : "white");
        Settings().backgroundBlack = black;
        Run(*form, "ActionEditCopy");
        ClipboardPicture* picture = form->OfferedPicture();
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture->Renderings(), 0);
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        ASSERT_TRUE(data->hasImage());
        EXPECT_TRUE(data->formats().contains("image/svg+xml"));

        // 110 x 10 um: 640 x 58.
        const QImage image = qvariant_cast<QImage>(data->imageData());
        EXPECT_EQ(picture->Renderings(), 1);
        ASSERT_EQ(image.size(), QSize(640, 58));
        EXPECT_EQ(image.dotsPerMeterX(), 5000) << "0.2 mm a unit";
        const QRgb background = black ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
        EXPECT_EQ(image.pixel(300, 29), background) << "between the rectangle and the cell";
        EXPECT_NE(image.pixel(50, 29), background) << "inside the rectangle (0..116)";
        EXPECT_NE(image.pixel(610, 29), background) << "inside the cell's square (581..639)";

        const QByteArray png = data->data("image/png");
        ASSERT_TRUE(png.startsWith("\x89PNG"));
        QImage decoded;
        ASSERT_TRUE(decoded.loadFromData(png, "PNG"));
        EXPECT_EQ(decoded.convertToFormat(QImage::Format_RGB32), image);
        EXPECT_EQ(picture->Renderings(), 1) << "the PNG is the image drawn before";

        const QByteArray svg = data->data("image/svg+xml");
        EXPECT_TRUE(svg.contains("<svg")) << svg.left(200).toStdString();
        EXPECT_TRUE(svg.contains("viewBox=\"0 0 640 58\""));
        EXPECT_TRUE(svg.contains(black ? "fill=\"#000000\"" : "fill=\"#ffffff\""));
        EXPECT_EQ(picture->Renderings(), 2);
    }
    EXPECT_TRUE(messages.messages.empty());
}

// At shutdown the picture may stay: drawn then, it outlives the window.
TEST_F(ClipboardTest, TheShutdownQuestionLeavesThePictureOrTakesItAway) {
    for (const bool leave : {true, false}) {
        SCOPED_TRACE(leave ? "Yes" : "No");
        auto form = MakeForm();
        LayoutWindow* window = Open(*form, "source.cif", kSource);
        ASSERT_NE(window, nullptr);
        SymbolDescription& main = *window->Document().MainSymbol();
        Select(main, [](const Word* r) { return IsKind(r, ObjectKind::Rectangle); });
        Run(*form, "ActionEditCopy");
        ASSERT_NE(form->OfferedPicture(), nullptr);

        QString caption, question;
        ModalAnswers answers({[&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr);
            caption = box->windowTitle();
            question = box->text();
            box->button(leave ? QMessageBox::Yes : QMessageBox::No)->click();
        }});
        EXPECT_TRUE(form->close());
        EXPECT_EQ(answers.Left(), 0u);
        EXPECT_EQ(caption.toStdString(), "Zandor3");
        EXPECT_EQ(question.toStdString(), "Leave data on clipboard for other applications?");
        form.reset();
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        const bool hasImage = data && data->hasImage();
        EXPECT_EQ(hasImage, leave);
        if (leave) {
            EXPECT_EQ(qvariant_cast<QImage>(data->imageData()).size(), QSize(640, 320));
        }
    }
    EXPECT_TRUE(messages.messages.empty());
}

class PrintTest : public test::EditorFixture {
protected:
    static QString Demo() { return QString(ZANDOR_SOURCE_DIR) + "/examples/demo.cif"; }
};

// The fraction of pixels whose channels all lie within `tolerance`.
double Agreement(const QImage& a, const QImage& b, int tolerance) {
    if (a.size() != b.size()) return 0;
    std::int64_t same = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* p = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* q = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (std::abs(qRed(p[x]) - qRed(q[x])) <= tolerance && std::abs(qGreen(p[x]) - qGreen(q[x])) <= tolerance &&
                std::abs(qBlue(p[x]) - qBlue(q[x])) <= tolerance)
                ++same;
        }
    }
    return double(same) / (double(a.width()) * a.height());
}

// The demo printed to PDF through the printing code, rendered back by
// poppler, and its drawing area compared with what the editor's view draws
// for the same visible rectangle at the same scale.  The page's geometry is
// worked out here from its own rules: 3000 units on the longer side, a
// margin of 100 and a ruler band of 125 before the area.
TEST_F(PrintTest, TheDemoPrintedToPdfMatchesTheEditorsDrawing) {
    struct Case {
        bool black;
        QPageLayout::Orientation orientation;
        bool grid;
    } cases[] = {{false, QPageLayout::Portrait, false}, {true, QPageLayout::Landscape, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.black ? "black, landscape" : "white, portrait");
        auto form = MakeForm();
        Settings().backgroundBlack = c.black;
        form->Settings().showGrid = c.grid;
        LayoutWindow* window = form->OpenFile(Demo());
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(window->View().RenderNow());
        const ViewState shown = window->Document().view;

        const QString pdf = config.path() + "/demo.pdf";
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageOrientation(c.orientation);
        printer.setFullPage(true);
        ASSERT_TRUE(form->PrintActiveWindow(printer));
        EXPECT_TRUE(messages.messages.empty());
        EXPECT_EQ(window->Document().view.sx, shown.sx) << "the window keeps its scale";

        // The page as the PDF file describes it, in whole points.
        const QSizeF paper = printer.pageLayout().fullRectPoints().size();
        const double longer = std::max(paper.width(), paper.height()),
                     shorter = std::min(paper.width(), paper.height());
        const int other = RoundHalfAway(3000 * shorter / longer);
        const int pageWidth = paper.width() > paper.height() ? 3000 : other;
        const int pageHeight = paper.width() > paper.height() ? other : 3000;
        const QString prefix = config.path() + "/page";
        ASSERT_EQ(QProcess::execute("pdftoppm", {"-png", "-singlefile", "-scale-to-x", QString::number(pageWidth),
                                                 "-scale-to-y", QString::number(pageHeight), pdf, prefix}),
                  0)
            << "pdftoppm (poppler-utils) renders the page";
        const QImage page = QImage(prefix + ".png").convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(page.size(), QSize(pageWidth, pageHeight));

        const std::int64_t viewWidth = std::int64_t{shown.xmax} - shown.xmin;
        const std::int64_t viewHeight = std::int64_t{shown.ymax} - shown.ymin;
        const int roomWidth = pageWidth - 325, roomHeight = pageHeight - 325;
        int areaWidth = roomWidth, areaHeight = roomHeight;
        if (double(roomWidth) / roomHeight > double(viewWidth) / viewHeight)
            areaWidth = RoundHalfAway(roomHeight * double(viewWidth) / viewHeight);
        else
            areaHeight = RoundHalfAway(roomWidth * double(viewHeight) / viewWidth);

        // The editor's view drawing, at the printed scale.
        Layout reference;
        ASSERT_TRUE(reference.Load(Demo().toStdString()));
        reference.view = shown;
        reference.view.sx = reference.view.sy = (areaWidth - 1) / double(viewWidth);
        reference.view.twoPixels = RoundHalfAway(2 / reference.view.sx) + 1;
        reference.view.minObjectSize = reference.view.twoPixels / 2 + 1;
        QImage expected(areaWidth, areaHeight, QImage::Format_RGB32);
        {
            QtCanvas canvas(expected);
            canvas.Clear(c.black ? 0x000000u : 0xFFFFFFu);
            form->GetBackground().DrawBackground(reference, canvas, false, c.black);
            DrawLayout(reference, canvas);
            Grid grid = form->GetGrid();
            grid.UpdateGridSteps(reference);
            // Printed grid dots are 2 x 2 pixels.
            if (c.grid) grid.DrawGrid(reference, canvas, c.black, true);
        }
        const QImage area = page.copy(225, 225, areaWidth, areaHeight);
        EXPECT_GT(Agreement(area, expected, 48), 0.99);

        // Ink in both ruler bands; the paper outside the area and the rulers
        // stays white.
        const auto ink = [&](const QRect& r) {
            int n = 0;
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x) n += qGray(page.pixel(x, y)) < 128;
            return n;
        };
        EXPECT_GT(ink(QRect(225, 100, areaWidth, 125)), 1000) << "the horizontal ruler";
        EXPECT_GT(ink(QRect(100, 225, 125, areaHeight)), 1000) << "the vertical ruler";
        EXPECT_EQ(ink(QRect(pageWidth - 99, 0, 99, pageHeight)), 0);
        EXPECT_EQ(ink(QRect(0, pageHeight - 99, pageWidth, 99)), 0);
    }
}

TEST_F(PrintTest, APrintThatCannotBeWrittenSaysSoAndLeavesNoFile) {
    auto form = MakeForm();
    LayoutWindow* window = form->OpenFile(Demo());
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->View().RenderNow());
    const std::vector<Word> before(
        window->Document().MainSymbol()->Words(),
        window->Document().MainSymbol()->Words() + window->Document().MainSymbol()->usedWords);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString target = config.path() + "/missing-folder/demo.pdf";
    printer.setOutputFileName(target);
    EXPECT_FALSE(form->PrintActiveWindow(printer));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].caption, "Error");
    EXPECT_EQ(messages.messages[0].text, "Unable to print. The file " + target.toStdString() + " cannot be written.");
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_EQ(std::vector<Word>(window->Document().MainSymbol()->Words(),
                                window->Document().MainSymbol()->Words() + window->Document().MainSymbol()->usedWords),
              before);
}

// With no printer installed the Print command says so and offers a PDF file
// beside the layout.
TEST_F(PrintTest, WithoutAPrinterPrintOffersAPdfFile) {
    if (!QPrinterInfo::availablePrinterNames().isEmpty()) GTEST_SKIP() << "a printer is installed";
    auto form = MakeForm();
    ASSERT_NE(form->OpenFile(Demo()), nullptr);
    QString title;
    ModalAnswers answers({[&](QWidget* w) {
        title = w->windowTitle();
        ASSERT_NE(qobject_cast<QPrintDialog*>(w), nullptr);
        static_cast<QDialog*>(w)->reject();
    }});
    form->UpdateCommands();
    form->Command("ActionFilePrint")->trigger();
    EXPECT_EQ(answers.Left(), 0u);
    EXPECT_EQ(title.toStdString(), "Print");
    EXPECT_EQ(messages.messages,
              (std::vector<RecordedMessage>{
                  {"No printer is installed. The layout can be printed to a PDF file.", "Warning"}}));
    EXPECT_EQ(form->Printer().outputFormat(), QPrinter::PdfFormat);
    EXPECT_EQ(QFileInfo(form->Printer().outputFileName()).fileName().toStdString(), "demo.pdf");
}

}  // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    zandor::RegisterFileFormats();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
