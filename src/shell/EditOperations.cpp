// The commands of the Edit, Layout and Arrange menus that run an editing
// operation on the selection, each inside RunEdit's frame.
#include <cmath>
#include <limits>
#include <string>

#include "editing/EditPrompts.h"
#include "editing/GrowShrink.h"
#include "editing/SelectionBoolean.h"
#include "editing/SelectionEdits.h"
#include "model/Geometry.h"
#include "model/SymbolDescription.h"
#include "platform/Messages.h"
#include "shell/LayoutWindow.h"
#include "shell/MainForm.h"

namespace zandor {

namespace {

bool FitsCoordinate(double v) {
    return std::isfinite(v) && v >= std::numeric_limits<std::int32_t>::min() &&
           v <= std::numeric_limits<std::int32_t>::max();
}

}  // namespace

void MainForm::RunTransform(TransformPage page) {
    SymbolDescription* symbol = CurrentSymbol();
    if (!symbol || symbol->selectedCount < 1) return;
    const Rect box = symbol->selectionBox;
    const double cx = (static_cast<double>(box.minx) + box.maxx) / 2,
                 cy = (static_cast<double>(box.miny) + box.maxy) / 2;
    transformDialog->Prepare(page, cx, cy);
    if (transformDialog->exec() != QDialog::Accepted) return;
    const TransformRequest r = transformDialog->Request();
    const bool leave = r.leaveOriginal;
    switch (r.page) {
        case TransformPage::Move: {
            double dx = r.moveX, dy = r.moveY;
            if (!r.moveRelative) {
                dx -= r.centreAtNewPosition ? cx : box.minx;
                dy -= r.centreAtNewPosition ? cy : box.miny;
            }
            dx = std::trunc(dx);
            dy = std::trunc(dy);
            if (!FitsCoordinate(dx) || !FitsCoordinate(dy)) {
                platform::ShowError("The result would lie outside the coordinate range.");
                return;
            }
            RunEdit(
                [&](SymbolDescription& s) {
                    return MoveSelection(s, static_cast<std::int32_t>(dx), static_cast<std::int32_t>(dy), leave);
                },
                EditShowsProgress);
            break;
        }
        case TransformPage::Scale:
            RunEdit([&](SymbolDescription& s) { return ScaleSelection(s, cx, cy, r.scaleX, r.scaleY, leave); },
                    EditShowsProgress);
            break;
        case TransformPage::Rotate:
            RunEdit([&](SymbolDescription& s) { return RotateSelection(s, r.rotX, r.rotY, r.angle, leave); },
                    EditShowsProgress);
            break;
        case TransformPage::Mirror:
            RunEdit(
                [&](SymbolDescription& s) {
                    return r.mirrorVertical ? ScaleSelection(s, 0, r.mirrorOrigin, 1, -1, leave)
                                            : ScaleSelection(s, r.mirrorOrigin, 0, -1, 1, leave);
                },
                EditShowsProgress);
            break;
        case TransformPage::GrowShrink:
            RunEdit(
                [&](SymbolDescription& s) {
                    const int vanished = GrowShrinkSelection(s, r.amount, leave, r.roundCorners);
                    if (vanished < 0) return false;
                    if (vanished > 0)
                        platform::ShowMessage(std::to_string(vanished) + " objects vanished when shrunk.",
                                              "Grow/shrink");
                    return true;
                },
                EditShowsProgress);
            break;
    }
}

void MainForm::RunDuplicate() {
    SymbolDescription* symbol = CurrentSymbol();
    if (!symbol || symbol->selectedCount < 1) return;
    const Rect box = symbol->selectionBox;
    const bool singleCall =
        symbol->selectedCount == 1 && symbol->currentKind == static_cast<int>(ObjectKind::SymbolCall);
    duplicateDialog->Prepare(box.maxy - box.miny, box.maxx - box.minx, singleCall);
    if (duplicateDialog->exec() != QDialog::Accepted) return;
    const DuplicateRequest r = duplicateDialog->Request();
    if (r.rows <= 0 || r.columns <= 0 || (r.rows == 1 && r.columns == 1)) return;
    RunEdit(
        [&](SymbolDescription& s) {
            DuplicateSelection(s, r.rows, r.columns, r.rowSpacing, r.columnSpacing, r.asArray);
            return true;
        },
        EditShowsProgress);
}

void MainForm::MirrorAboutCentre(bool horizontally) {
    SymbolDescription* symbol = CurrentSymbol();
    if (!symbol || symbol->selectedCount < 1) return;
    const Rect box = symbol->selectionBox;
    const double cx = (static_cast<double>(box.minx) + box.maxx) / 2,
                 cy = (static_cast<double>(box.miny) + box.maxy) / 2;
    RunEdit([&](SymbolDescription& s) {
        return horizontally ? ScaleSelection(s, cx, cy, -1, 1, false) : ScaleSelection(s, cx, cy, 1, -1, false);
    });
}

void MainForm::RunBoolean(int op) {
    Layout* layout = ActiveLayout();
    if (!layout) return;
    RunEdit(
        [&](SymbolDescription& s) { return RunSelectionBoolean(*layout, s, static_cast<SelectionBooleanOp>(op), 0); },
        EditShowsProgress);
}

void MainForm::RunInvert() {
    Layout* layout = ActiveLayout();
    SymbolDescription* symbol = CurrentSymbol();
    if (!layout || !symbol || symbol->selectedCount < 1) return;
    std::string text = "0";
    if (!Prompts().InputText("Invert...", "Input a border width in micrometers:", text)) return;
    std::int32_t border = 0;
    if (!ParseMicrons(text, border)) return;
    RunEdit([&](SymbolDescription& s) { return RunSelectionBoolean(*layout, s, SelectionBooleanOp::Invert, border); },
            EditShowsProgress);
}

}  // namespace zandor
