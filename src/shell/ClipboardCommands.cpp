// Cut, copy and paste through the private clipboard (the main layout's main
// symbol), the picture other applications are offered, the question at
// shutdown, and the File menu's printing commands.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include "display/CopiedPicture.h"
#include "editing/HierarchyEdits.h"
#include "editing/SelectionEdits.h"
#include "model/ModelSettings.h"
#include "model/SymbolDescription.h"
#include "platform/Messages.h"
#include "shell/ClipboardPicture.h"
#include "shell/LayoutPrinting.h"
#include "shell/LayoutView.h"
#include "shell/LayoutWindow.h"
#include "shell/MainForm.h"

namespace zandor {

namespace {

const char* const kClipboardCaption = "Zandor3";

}  // namespace

bool MainForm::StoreHoldsObjects() const {
    const SymbolDescription* store = mainLayout->MainSymbol();
    return store && store->FirstRecord() != nullptr;
}

ClipboardPicture* MainForm::OfferedPicture() const {
    return offeredPicture && QGuiApplication::clipboard()->mimeData() == offeredPicture ? offeredPicture.data()
                                                                                        : nullptr;
}

// The copy is made into a new store first: only when it succeeds does it
// replace the old one, whose picture may still be asked for until then.
bool MainForm::CopyToStore(SymbolDescription& symbol, const char* failure) {
    Layout* active = ActiveLayout();
    if (!active) return false;
    auto store = std::make_unique<Layout>();
    store->CopyLayersFrom(*active);
    if (!CopySelectionFrom(*store->MainSymbol(), symbol) || !store->MainSymbol()->FirstRecord()) {
        // What other applications were offered stays as it was, drawn now
        // from the store before the store is emptied.
        if (ClipboardPicture* picture = OfferedPicture()) picture->Materialize();
        offeredPicture = nullptr;
        mainLayout->Clear();
        mainLayout->CopyLayersFrom(*active);
        platform::ShowError(failure);
        return false;
    }
    SymbolDescription& copied = *store->MainSymbol();
    StoreCopiedBox(*store, copied.Bounds());
    // The old store lives until its picture has left the clipboard.
    std::unique_ptr<Layout> old = std::exchange(mainLayout, std::move(store));
    // Announced without data: the picture is drawn when an application asks.
    auto* picture = new ClipboardPicture(*mainLayout);
    QGuiApplication::clipboard()->setMimeData(picture);
    offeredPicture = picture;
    return true;
}

void MainForm::CopySelection() {
    SymbolDescription* symbol = CurrentSymbol();
    if (!symbol || symbol->selectedCount < 1) return;
    ActiveLayoutWindow()->View().EndPendingOperation();
    CopyToStore(*symbol, "Cannot complete copy operation.");
}

void MainForm::CutSelection() {
    RunEdit(
        [this](SymbolDescription& symbol) {
            if (symbol.selectedCount < 1 || !CopyToStore(symbol, "Cannot complete cut operation.")) return false;
            DeleteSelection(symbol);
            return true;
        },
        EditShowsProgress);
}

void MainForm::PasteStore() {
    LayoutWindow* window = ActiveLayoutWindow();
    if (!window || mode != 0 || !StoreHoldsObjects()) return;
    SymbolDescription& store = *mainLayout->MainSymbol();
    // Everything the store holds is pasted, whatever it was left selected.
    for (Word* r = store.FirstRecord(); r; r = store.NextRecord(r))
        if (!IsMember(r)) store.SetSelected(r);
    store.UpdateSelection();
    bool pasted = false;
    RunEdit([&](SymbolDescription& symbol) {
        const std::int32_t wordsBefore = symbol.usedWords;
        symbol.DeselectAll();
        if (!CopySelectionFrom(symbol, store))
            platform::ShowError("Cannot complete paste operation. One or more symbol definitions already exist!");
        symbol.UpdateSelection();
        pasted = symbol.usedWords != wordsBefore;
        return pasted;
    });
    // Definitions may have come along or been replaced anywhere in the tree.
    if (pasted && store.OwnerLayout()->Symbols().size() > 1) window->BuildSymbolTree(window->TreeMode());
}

void MainForm::AskLeaveClipboard() {
    ClipboardPicture* picture = OfferedPicture();
    if (!picture) return;
    const auto answer =
        QMessageBox::question(this, kClipboardCaption, "Leave data on clipboard for other applications?",
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    offeredPicture = nullptr;
    if (answer != QMessageBox::Yes) {
        QGuiApplication::clipboard()->clear();
        return;
    }
    // Drawn now: the store goes with the window.
    if (!picture->Materialize()) {
        QGuiApplication::clipboard()->clear();
        platform::ShowMessage("Could not open clipboard!", kClipboardCaption);
    }
}

QPrinter& MainForm::Printer() {
    if (!printer) printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *printer;
}

void MainForm::Print() {
    LayoutWindow* window = ActiveLayoutWindow();
    if (!window) return;
    QPrinter& target = Printer();
    if (QPrinterInfo::availablePrinterNames().isEmpty() && target.outputFileName().isEmpty()) {
        platform::ShowWarning("No printer is installed. The layout can be printed to a PDF file.");
        const QString layoutName = QString::fromStdString(window->Document().fileName);
        target.setOutputFormat(QPrinter::PdfFormat);
        target.setOutputFileName(
            layoutName.isEmpty()
                ? QDir::home().filePath("layout.pdf")
                : QFileInfo(layoutName).dir().filePath(QFileInfo(layoutName).completeBaseName() + ".pdf"));
    }
    QPrintDialog dialog(&target, this);
    dialog.setWindowTitle("Print");
    if (dialog.exec() != QDialog::Accepted) return;
    PrintActiveWindow(target);
}

bool MainForm::PrintActiveWindow(QPrinter& target) {
    LayoutWindow* window = ActiveLayoutWindow();
    if (!window) return false;
    window->View().EndPendingOperation();
    PrintRequest request;
    request.layout = &window->Document();
    request.background = &background;
    request.grid = &grid;
    request.showGrid = settings.showGrid;
    request.panelWidth = window->View().width();
    request.panelHeight = window->View().height();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString failure = PrintLayout(request, target);
    QApplication::restoreOverrideCursor();
    if (failure.isEmpty()) return true;
    platform::ShowError(("Unable to print. " + failure).toStdString());
    return false;
}

std::vector<MainForm::CommandEntry> MainForm::ClipboardCommandEntries() {
    const auto selection = [this] {
        const SymbolDescription* s = CurrentSymbol();
        return s && s->selectedCount >= 1;
    };
    return {
        {"ActionEditCut", "Cu&t", {QKeySequence("Ctrl+X")}, "&Edit", false, [this] { CutSelection(); }, selection, {}},
        {"ActionEditCopy",
         "&Copy",
         {QKeySequence("Ctrl+C")},
         "&Edit",
         false,
         [this] { CopySelection(); },
         selection,
         {}},
        {"ActionEditPaste",
         "&Paste",
         {QKeySequence("Ctrl+V")},
         "&Edit",
         false,
         [this] { PasteStore(); },
         [this] { return mode == 0 && CurrentSymbol() && StoreHoldsObjects(); },
         {}},
        {"ActionFilePrint",
         "&Print...",
         {QKeySequence("Ctrl+P")},
         "&File",
         false,
         [this] { Print(); },
         [this] { return ActiveLayoutWindow() != nullptr; },
         {}},
        {"ActionFilePrintSetup",
         "Pr&int setup...",
         {},
         "&File",
         false,
         [this] {
             QPageSetupDialog dialog(&Printer(), this);
             dialog.exec();
         },
         {},
         {}},
    };
}

}  // namespace zandor
