// The Edit, Layout and Arrange menus: their command table, the frame every
// editing command runs in, and the dialogs and questions of these commands.
#include <QEvent>
#include <QRegularExpression>
#include <QStatusTipEvent>
#include <QTreeWidget>
#include <cmath>
#include <set>

#include "editing/EditPrompts.h"
#include "editing/HierarchyEdits.h"
#include "editing/NodeEditing.h"
#include "editing/SelectionBoolean.h"
#include "editing/SelectionEdits.h"
#include "model/Geometry.h"
#include "model/LayerDescription.h"
#include "model/ModelSettings.h"
#include "model/SymbolDescription.h"
#include "model/UndoList.h"
#include "platform/Messages.h"
#include "shell/LayoutDialogs.h"
#include "shell/LayoutView.h"
#include "shell/LayoutWindow.h"
#include "shell/MainForm.h"
#include "shell/PropertyDialogs.h"

namespace zandor {

namespace {

// "1;2:7" - integers separated by colons or semicolons, each in 0..255.
// Returns the message that refuses the text, or an empty string.
QString ParseLayerIndices(const QString& text, std::vector<int>& indices) {
    indices.clear();
    static const QRegularExpression separators("[:;]");
    const QStringList parts = text.split(separators);
    std::vector<long long> values;
    for (const QString& part : parts) {
        bool ok = false;
        const long long value = part.trimmed().toLongLong(&ok);
        if (!ok) return "Please enter indices separated by colons or semicolons.";
        values.push_back(value);
    }
    for (const long long value : values) {
        if (value < 0 || value >= kLayerCount) return "Index must be between 0 and 255.";
        indices.push_back(static_cast<int>(value));
    }
    return {};
}

bool IsContainerKind(int kind) {
    switch (static_cast<ObjectKind>(kind)) {
        case ObjectKind::Group:
        case ObjectKind::SymbolCall:
        case ObjectKind::SymbolArray:
        case ObjectKind::Script: return true;
        default: return false;
    }
}

}  // namespace

SymbolDescription* MainForm::CurrentSymbol() const {
    Layout* layout = ActiveLayout();
    return layout ? layout->ShownSymbolDescription() : nullptr;
}

bool MainForm::event(QEvent* event) {
    // A command's long hint goes to the first status panel.
    if (event->type() == QEvent::StatusTip) {
        SetStatus(0, static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

bool MainForm::AskText(const QString& caption, const QString& prompt, QString& text) {
    std::string answer = text.toStdString();
    if (!Prompts().InputText(caption.toStdString(), prompt.toStdString(), answer)) return false;
    text = QString::fromStdString(answer);
    return true;
}

bool MainForm::RunEdit(const std::function<bool(SymbolDescription&)>& operation, unsigned effects) {
    LayoutWindow* window = ActiveLayoutWindow();
    SymbolDescription* symbol = CurrentSymbol();
    if (!window || !symbol) return false;
    window->View().EndPendingOperation();
    const bool showsProgress = effects & EditShowsProgress;
    if (showsProgress) platform::Progress().SetProgress(0);
    const std::size_t symbolsBefore = window->Document().Symbols().size();
    symbol->Undo().BeginStep();
    const bool changed = operation(*symbol);
    // The operation may have added a symbol (combine) or changed which
    // symbols this one calls (break apart, flatten, undo).
    SymbolDescription* added = nullptr;
    if ((effects & EditNewSymbol) && window->Document().Symbols().size() > symbolsBefore)
        added = window->Document().Symbols().back().get();
    window->RefreshSymbolNode(*symbol, added);
    window->View().ContentsChanged();
    if (showsProgress) platform::Progress().SetProgress(100);
    if (changed) window->Document().modified = true;
    UpdateCommands();
    return changed;
}

void MainForm::UndoOrRedo(bool redo) {
    LayoutWindow* window = ActiveLayoutWindow();
    SymbolDescription* symbol = CurrentSymbol();
    if (!window || !symbol) return;
    window->View().EndPendingOperation();
    if (redo)
        window->Document().Redo();
    else
        window->Document().Undo();
    // The step may have brought calls back or taken them away.
    window->RefreshSymbolNode(*symbol);
    window->View().ContentsChanged();
    window->Document().modified = true;
}

void MainForm::ChangeLayers(bool add) {
    Layout& table = ActiveLayout() ? *ActiveLayout() : *mainLayout;
    QString text;
    for (;;) {
        if (!AskText(add ? "Add layers..." : "Remove layers...", "Enter indices (0-255):", text)) return;
        std::vector<int> indices;
        QString refusal = ParseLayerIndices(text, indices);
        // Every index is checked before anything changes, so that a refused
        // answer leaves the table as it was.
        std::set<int> seen;
        for (const int index : indices) {
            if (!refusal.isEmpty()) break;
            // An index given twice is treated as the answer handled in turn.
            const bool exists = table.Layer(index) != nullptr && !seen.count(index);
            if (add && (exists || seen.count(index)))
                refusal = QString("Layer %1 already exists!").arg(index);
            else if (!add && !exists)
                refusal = QString("Layer %1 does not exist!").arg(index);
            else if (!add && (table.LayerInUse(index) || mainLayout->LayerInUse(index)))
                refusal = QString(
                              "Layer %1 still contains objects. You need to delete these first before the "
                              "layer can be removed.")
                              .arg(index);
            seen.insert(index);
        }
        if (refusal.isEmpty()) {
            for (const int index : indices) {
                for (Layout* target : {mainLayout.get(), ActiveLayout()}) {
                    if (!target) continue;
                    if (add && !target->Layer(index))
                        target->SetLayer(std::make_unique<LayerDescription>(index, ""));
                    else if (!add)
                        target->RemoveLayer(index);
                }
            }
            if (ActiveLayout()) ActiveLayout()->modified = true;
            FillLayerPanel();
            RedrawActive();
            return;
        }
        platform::ShowError(refusal.toStdString());
    }
}

void MainForm::AskGridSpacing() {
    QString text = QString::fromStdString(FormatMicrons(grid.Spacing()));
    if (!AskText("Grid spacing", "Input a new grid spacing in micrometers:", text)) return;
    std::int32_t spacing = 0;
    if (!ParseMicrons(text.trimmed().toStdString(), spacing)) return;
    if (spacing <= 0) {
        platform::ShowError("The grid spacing must be greater than 0.");
        return;
    }
    if (spacing == grid.Spacing()) return;
    grid.SetSpacing(spacing);
    RedrawAll();
}

void MainForm::EditLayerProperties(int index) {
    Layout& table = ActiveLayout() ? *ActiveLayout() : *mainLayout;
    if (index < 0) {
        LayerSelectDlg pick(table, table.activeLayer, this);
        if (pick.exec() != QDialog::Accepted) return;
        index = pick.Layer();
    }
    if (!table.Layer(index)) return;
    LayerPropertiesDialog dialog(table, index, this);
    if (dialog.exec() != QDialog::Accepted) return;
    const bool wasModified = table.modified;
    if (!ApplyLayerProperties(table, index, dialog.Edited(), dialog.DefaultShortNames())) return;
    // The template follows the layout shown, as for the layer panel's flags.
    if (&table != mainLayout.get()) {
        table.modified = true;
        mainLayout->CopyLayersFrom(table);
    } else {
        table.modified = wasModified;
    }
    FillLayerPanel();
    RedrawAll();
}

void MainForm::EditMaskSize() {
    MaskSizeDialog dialog(background, this);
    if (dialog.exec() != QDialog::Accepted) return;
    const Background& chosen = dialog.Chosen();
    const bool changed = chosen.maskType != background.maskType || chosen.customWidth != background.customWidth ||
                         chosen.customHeight != background.customHeight || chosen.waferType != background.waferType ||
                         chosen.showMask != background.showMask || chosen.showWafer != background.showWafer ||
                         chosen.showWarning != background.showWarning;
    if (!changed) return;
    background = chosen;
    background.ApplyToModel();
    RedrawAll();
}

void MainForm::EditPreferences() {
    PreferencesDialog dialog(settings, zandor::Settings(), this);
    if (dialog.exec() != QDialog::Accepted) return;
    dialog.Apply(settings, zandor::Settings());
    RedrawAll();
}

std::vector<MainForm::CommandEntry> MainForm::EditCommandEntries() {
    const auto selected = [this](int least) {
        return [this, least] {
            const SymbolDescription* s = CurrentSymbol();
            return s && s->selectedCount >= least;
        };
    };
    // Exactly one object selected, of a kind the test accepts.
    const auto single = [this](std::function<bool(int)> kindTest) {
        return [this, kindTest] {
            SymbolDescription* s = CurrentSymbol();
            return s && s->selectedCount == 1 && s->CurrentObject() && kindTest(s->currentKind);
        };
    };
    const auto atTop = [this] {
        Layout* layout = ActiveLayout();
        return layout && layout->ShownSymbolDescription() && layout->ShownSymbolDescription() == layout->MainSymbol();
    };
    const auto flag = [this](bool& value) { return [&value] { value = !value; }; };
    const auto isOn = [](const bool& value) { return [&value] { return value; }; };
    const auto edit = [this](std::function<void(SymbolDescription&)> operation, unsigned effects) {
        return [this, operation, effects] {
            RunEdit(
                [&operation](SymbolDescription& s) {
                    operation(s);
                    return true;
                },
                effects);
        };
    };
    const auto transform = [this](TransformPage page) { return [this, page] { RunTransform(page); }; };
    const auto boolean = [this](SelectionBooleanOp op) { return [this, op] { RunBoolean(static_cast<int>(op)); }; };
    const auto isKind = [](std::initializer_list<ObjectKind> kinds) {
        return [kinds = std::vector<ObjectKind>(kinds)](int kind) {
            for (const ObjectKind k : kinds)
                if (kind == static_cast<int>(k)) return true;
            return false;
        };
    };
    hints = {
        {"ActionEditMerge", "Merge|Merge the selected objects into one or more polygons"},
        {"ActionEditIntersect", "Intersect|Calculates the intersection of the selected objects"},
        {"ActionEditXOR", "XOR|Performs an XOR operation on the selected objects"},
        {"ActionEditSubtract", "Subtract|Subtracts the selected objects"},
        {"ActionEditInvert", "Invert...|Inverts the selection"},
        {"ActionEditConvertIntoPolygons",
         "Convert into polygons|Converts the selected objects into one or more polygons"},
    };
    hiddenWhenDisabled = {"ActionEditConvertArcIntoWire"};
    separatorBefore = {"ActionEditDelete",       "ActionEditMirrorH",     "ActionEditMerge",
                       "ActionLayoutGridSetup",  "ActionLayoutAddLayers", "ActionLayoutPreferences",
                       "ActionLayoutInsertText", "ActionArrangeOpen"};
    return {
        // Edit
        {"ActionEditUndo",
         "&Undo",
         {QKeySequence("Ctrl+Z")},
         "&Edit",
         false,
         [this] { UndoOrRedo(false); },
         [this] { return ActiveLayout() && ActiveLayout()->CanUndo(); },
         {}},
        {"ActionEditRedo",
         "&Redo",
         {QKeySequence("Ctrl+Shift+Z")},
         "&Edit",
         false,
         [this] { UndoOrRedo(true); },
         [this] { return ActiveLayout() && ActiveLayout()->CanRedo(); },
         {}},
        {"ActionEditDelete",
         "&Delete",
         {QKeySequence(Qt::Key_Delete)},
         "&Edit",
         false,
         [this] {
             // In the node mode the selected vertices go, not the object.
             SymbolDescription* s = CurrentSymbol();
             const Word* current = s ? s->CurrentObject() : nullptr;
             if (mode == 1 && current && NodesMoveSeparately(RecordKind(current)) &&
                 !s->view.nodeList.selected.empty()) {
                 RunEdit(DeleteSelectedNodes);
                 return;
             }
             RunEdit(
                 [](SymbolDescription& symbol) {
                     DeleteSelection(symbol);
                     return true;
                 },
                 EditShowsProgress);
         },
         selected(1),
         {}},
        {"ActionEditDuplicate",
         "Dup&licate...",
         {QKeySequence("Ctrl+D")},
         "&Edit",
         false,
         [this] { RunDuplicate(); },
         selected(1),
         {}},
        {"ActionEditTransform", "T&ransform...", {}, "&Edit", false, transform(TransformPage::Move), selected(1), {}},
        {"ActionEditMove",
         "&Move...",
         {QKeySequence("Alt+F7")},
         "&Edit",
         false,
         transform(TransformPage::Move),
         selected(1),
         {}},
        {"ActionEditRotate",
         "&Rotate...",
         {QKeySequence("Alt+F8"), QKeySequence("Ctrl+R")},
         "&Edit",
         false,
         transform(TransformPage::Rotate),
         selected(1),
         {}},
        {"ActionEditScale",
         "&Scale...",
         {QKeySequence("Alt+F9")},
         "&Edit",
         false,
         transform(TransformPage::Scale),
         selected(1),
         {}},
        {"ActionEditMirror",
         "M&irror...",
         {QKeySequence("Alt+F10")},
         "&Edit",
         false,
         transform(TransformPage::Mirror),
         selected(1),
         {}},
        {"ActionEditGrowShrink",
         "&Grow/shrink",
         {},
         "&Edit",
         false,
         transform(TransformPage::GrowShrink),
         selected(1),
         {}},
        {"ActionEditMirrorH",
         "Mirror &horizontally",
         {QKeySequence("Ctrl+H")},
         "&Edit",
         false,
         [this] { MirrorAboutCentre(true); },
         selected(1),
         {}},
        {"ActionEditMirrorV",
         "Mirror &vertically",
         {QKeySequence("Ctrl+M")},
         "&Edit",
         false,
         [this] { MirrorAboutCentre(false); },
         selected(1),
         {}},
        {"ActionEditProperties",
         "Pr&operties...",
         {},
         "&Edit",
         false,
         [this] { EditProperties(); },
         [this] {
             const SymbolDescription* s = CurrentSymbol();
             if (!s) return false;
             if (s->selectedCount >= 2) return true;
             return s->selectedCount == 1 && s->currentObject >= 0 &&
                    s->currentKind != static_cast<int>(ObjectKind::Group);
         },
         {}},
        {"ActionEditMerge", "&Merge", {}, "&Edit", false, boolean(SelectionBooleanOp::Merge), selected(2), {}},
        {"ActionEditIntersect",
         "&Intersect",
         {},
         "&Edit",
         false,
         boolean(SelectionBooleanOp::Intersect),
         selected(2),
         {}},
        {"ActionEditXOR", "&XOR", {}, "&Edit", false, boolean(SelectionBooleanOp::Xor), selected(2), {}},
        {"ActionEditSubtract", "&Subtract", {}, "&Edit", false, boolean(SelectionBooleanOp::Subtract), selected(2), {}},
        {"ActionEditInvert", "I&nvert...", {}, "&Edit", false, [this] { RunInvert(); }, selected(1), {}},
        {"ActionEditConvertIntoPolygons",
         "Convert into &polygons",
         {QKeySequence("Ctrl+Q")},
         "&Edit",
         false,
         boolean(SelectionBooleanOp::ConvertIntoPolygons),
         selected(1),
         {}},
        {"ActionEditConnectWires",
         "&Connect wires",
         {},
         "&Edit",
         false,
         edit([this](SymbolDescription& s) { ConnectWires(s, settings.connectWiresTol); }, EditPlain),
         selected(1),
         {}},
        {"ActionEditConvertArcIntoWire",
         "Convert into &wire",
         {},
         "&Edit",
         false,
         edit(ConvertIntoWire, EditPlain),
         single(isKind({ObjectKind::Ring, ObjectKind::ArcWire})),
         {}},
        // Layout
        {"ActionLayoutSnapGrid",
         "Snap to &grid",
         {QKeySequence("Ctrl+Y")},
         "&Layout",
         true,
         [this] {
             grid.snap = !grid.snap;
             RedrawAll();
         },
         {},
         [this] { return grid.snap; }},
        {"ActionLayoutSnapGuidelines",
         "Snap to g&uidelines",
         {},
         "&Layout",
         true,
         flag(settings.snapGuidelines),
         {},
         isOn(settings.snapGuidelines)},
        {"ActionLayoutSnapOrtho",
         "Snap &orthogonal",
         {},
         "&Layout",
         true,
         flag(settings.snapOrtho),
         {},
         isOn(settings.snapOrtho)},
        {"ActionLayoutSingleLayer",
         "&Single layer",
         {},
         "&Layout",
         true,
         flag(settings.singleLayer),
         {},
         isOn(settings.singleLayer)},
        {"ActionLayoutLockSymbols",
         "&Lock symbols / groups",
         {},
         "&Layout",
         true,
         flag(settings.lockSymbols),
         {},
         isOn(settings.lockSymbols)},
        {"ActionLayoutGridSetup", "&Grid setup...", {}, "&Layout", false, [this] { AskGridSpacing(); }, {}, {}},
        {"ActionLayoutGridPlus",
         "G&rid +",
         {},
         "&Layout",
         false,
         [this] {
             grid.GridPlus();
             RedrawAll();
         },
         {},
         {}},
        {"ActionLayoutGridMinus",
         "Gr&id -",
         {},
         "&Layout",
         false,
         [this] {
             grid.GridMinus();
             RedrawAll();
         },
         {},
         {}},
        {"ActionLayoutAddLayers", "&Add layers...", {}, "&Layout", false, [this] { ChangeLayers(true); }, {}, {}},
        {"ActionLayoutRemoveLayers",
         "&Remove layers...",
         {},
         "&Layout",
         false,
         [this] { ChangeLayers(false); },
         {},
         {}},
        {"ActionLayoutLayerProperties",
         "&Layer properties...",
         {},
         "&Layout",
         false,
         [this] { EditLayerProperties(); },
         [this] { return layerList->topLevelItemCount() > 0; },
         {}},
        {"ActionLayoutMaskSize", "&Mask size...", {}, "&Layout", false, [this] { EditMaskSize(); }, {}, {}},
        {"ActionLayoutPreferences", "&Preferences...", {}, "&Layout", false, [this] { EditPreferences(); }, {}, {}},
        {"ActionLayoutCenter",
         "&Center at (0,0)",
         {},
         "&Layout",
         false,
         [this] { RunEdit([](SymbolDescription& s) { return CenterAtOrigin(s); }, EditShowsProgress); },
         atTop,
         {}},
        {"ActionLayoutFlatten",
         "&Flatten...",
         {},
         "&Layout",
         false,
         [this] { RunEdit([](SymbolDescription& s) { return FlattenLayout(s); }, EditShowsProgress); },
         atTop,
         {}},
        {"ActionLayoutInsertText",
         "&Insert text...",
         {},
         "&Layout",
         false,
         [this] { InsertText(); },
         [this] { return CurrentSymbol() != nullptr; },
         {}},
        // Arrange
        {"ActionArrangeCombine",
         "&Combine...",
         {QKeySequence("Ctrl+L")},
         "&Arrange",
         false,
         [this] { RunEdit([](SymbolDescription& s) { return CombineSelection(s) != nullptr; }, EditNewSymbol); },
         selected(1),
         {}},
        {"ActionArrangeGroup",
         "&Group",
         {},
         "&Arrange",
         false,
         [this] { RunEdit([](SymbolDescription& s) { return GroupSelection(s) != nullptr; }); },
         selected(2),
         {}},
        {"ActionArrangeUncombine",
         "&Break apart",
         {QKeySequence("Ctrl+K")},
         "&Arrange",
         false,
         [this] { RunEdit([](SymbolDescription& s) { return BreakApartSelection(s); }); },
         single(IsContainerKind),
         {}},
        {"ActionArrangeFlatten",
         "&Flatten selection",
         {},
         "&Arrange",
         false,
         edit(FlattenSelection, EditShowsProgress),
         selected(1),
         {}},
        {"ActionArrangeOpen",
         "&Open symbol",
         {QKeySequence(Qt::Key_PageDown)},
         "&Arrange",
         false,
         [this] {
             SymbolDescription* symbol = CurrentSymbol();
             LayoutWindow* window = ActiveLayoutWindow();
             if (!symbol || !window || !symbol->CurrentObject()) return;
             const SymbolDescription* called = window->Document().CalledSymbol(symbol->CurrentObject());
             if (called) window->OpenCalledSymbol(QString::fromStdString(called->Name()));
         },
         single([](int kind) { return kind == static_cast<int>(ObjectKind::SymbolCall); }),
         {}},
        {"ActionArrangeClose",
         "C&lose symbol",
         {QKeySequence(Qt::Key_PageUp)},
         "&Arrange",
         false,
         [this] {
             if (LayoutWindow* window = ActiveLayoutWindow()) window->CloseSymbol();
         },
         [this] { return ActiveLayoutWindow() && ActiveLayoutWindow()->CanCloseSymbol(); },
         {}},
    };
}

}  // namespace zandor
