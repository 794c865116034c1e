// "Properties..." and "Insert text...": the object property dialogs opened on
// the selection, and what their OK changes, each as one step of RunEdit.
#include "editing/ObjectProperties.h"
#include "editing/SelectionEdits.h"
#include "geometry/TextOutlines.h"
#include "model/ModelSettings.h"
#include "model/RecordViews.h"
#include "model/SymbolDescription.h"
#include "platform/Messages.h"
#include "shell/LayoutWindow.h"
#include "shell/MainForm.h"
#include "shell/PropertyDialogs.h"

namespace zandor {

void MainForm::EditProperties() {
    LayoutWindow* window = ActiveLayoutWindow();
    SymbolDescription* symbol = CurrentSymbol();
    Rect box;
    if (!window || !symbol || symbol->selectedCount < 1 || !symbol->GetSelectionBox(box)) return;
    window->View().EndPendingOperation();
    Layout& layout = window->Document();
    const Word* current = symbol->CurrentObject();

    if (symbol->selectedCount >= 2) {
        LayerSelectDlg dialog(layout, current ? RecordLayer(current) : -1, this);
        if (dialog.exec() != QDialog::Accepted) return;
        const int layer = dialog.Layer();
        RunEdit([layer](SymbolDescription& s) {
            SetSelectionLayer(s, layer);
            return true;
        });
        return;
    }
    if (!current) return;
    const ObjectKind kind = RecordKind(current);
    if (kind == ObjectKind::Measurement) {
        platform::ShowMessage("Measurement properties...", "Measurement");
        return;
    }
    // The node selected in the node mode is the row the table starts on.
    const NodeList& nodes = symbol->view.nodeList;
    const int node = mode == 1 && nodes.selected.size() == 1 ? nodes.selected.front() : -1;

    std::unique_ptr<ObjectPropertiesDialog> dialog;
    switch (kind) {
        case ObjectKind::Rectangle: dialog = std::make_unique<RectanglePropertiesDlg>(current, layout, this); break;
        case ObjectKind::Box: dialog = std::make_unique<BoxPropertiesDlg>(current, layout, this); break;
        case ObjectKind::Polygon: dialog = std::make_unique<PolygonPropDlg>(current, node, layout, this); break;
        case ObjectKind::Wire: dialog = std::make_unique<WirePropDlg>(current, node, layout, this); break;
        case ObjectKind::Circle: dialog = std::make_unique<CirclePropDlg>(current, layout, this); break;
        case ObjectKind::Ring: dialog = std::make_unique<RingPropDlg>(current, layout, this); break;
        case ObjectKind::ArcWire: dialog = std::make_unique<ArcWirePropDlg>(current, layout, this); break;
        case ObjectKind::Text:
            dialog = std::make_unique<InsertTextDlg>(current, zandor::Settings().textFont, layout, this);
            break;
        case ObjectKind::SymbolCall: dialog = std::make_unique<SymbolPropDlg>(current, *symbol, layout, this); break;
        case ObjectKind::SymbolArray: dialog = std::make_unique<ArrayPropDlg>(current, *symbol, layout, this); break;
        case ObjectKind::Script: dialog = std::make_unique<ScriptDlg>(current, layout, this); break;
        default: return;
    }
    if (dialog->exec() != QDialog::Accepted) return;
    // The dialog was modal: the record is where it was.
    const std::vector<Word>& copy = dialog->Copy();
    const int layer = dialog->Layer();
    if (!symbol->CurrentObject() || !CopyDiffers(symbol->CurrentObject(), copy, layer)) return;
    if (kind == ObjectKind::Script) return;  // the dialog takes no change without the script engine
    if (kind == ObjectKind::Text) {
        const std::string text = static_cast<InsertTextDlg*>(dialog.get())->Text();
        RunEdit([&](SymbolDescription& s) { return CommitTextCopy(s, copy, layer, text); });
    } else {
        RunEdit([&](SymbolDescription& s) { return CommitObjectCopy(s, copy, layer); });
    }
}

void MainForm::InsertText() {
    LayoutWindow* window = ActiveLayoutWindow();
    if (!window || !CurrentSymbol()) return;
    window->View().EndPendingOperation();
    InsertTextDlg dialog(nullptr, zandor::Settings().textFont, window->Document(), this);
    if (dialog.exec() != QDialog::Accepted) return;
    const std::string text = dialog.Text();
    const TextView made(dialog.Copy().data());
    const std::int32_t height = made.Height();
    const TransformMatrix matrix = made.Matrix();
    const LOGFONTA font = made.Font();
    const int layer = dialog.Layer();
    RunEdit([&](SymbolDescription& s) {
        s.DeselectAll();
        const bool added = AddTextOutlinesWithMatrix(s, text, height, matrix, layer, font) >= 0;
        s.UpdateSelection();
        return added;
    });
}

}  // namespace zandor
