// "Export layer...": one layer of the active layout to a flash, plot or CIF
// file.  The file dialog offers the types that have a writer, in the order
// the export types are numbered.
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>
#include <iterator>

#include "model/FileFormats.h"
#include "platform/Messages.h"
#include "shell/LayoutWindow.h"
#include "shell/MainForm.h"
#include "shell/PropertyDialogs.h"

namespace zandor {

namespace {

struct ExportFilter {
    ExportType type;
    const char* text;
    const char* suffix;
};

constexpr ExportFilter kExportFilters[] = {
    {ExportCif, "CIF files (*.cif)", "cif"},
    {ExportEmk, "EMK files (*.emk)", "emk"},
    {ExportMann, "Mann files (*.dwm *.man)", "man"},
    {ExportPostScript, "Postscript files (*.ps)", "ps"},
    {ExportEps, "Encapsulated postscript files (*.eps)", "eps"},
    {ExportGerber, "Gerber RS-274X files (*.gbr)", "gbr"},
    {ExportDrill, "Drill files (*.tap)", "tap"},
};

}  // namespace

void MainForm::ExportLayer() {
    Layout* layout = ActiveLayout();
    if (!layout) return;
    LayerSelectDlg pick(*layout, layout->activeLayer, this);
    if (pick.exec() != QDialog::Accepted) return;
    const int layer = pick.Layer();
    if (!layout->Layer(layer)) return;

    QStringList filters;
    std::vector<const ExportFilter*> offered;
    for (const ExportFilter& filter : kExportFilters) {
        if (!FindLayerWriter(filter.type)) continue;
        filters << filter.text;
        offered.push_back(&filter);
    }
    if (offered.empty()) {
        platform::ShowError("No file type can be exported in this build.");
        return;
    }
    QString chosenFilter = filters.value(0);
    QString name = QFileDialog::getSaveFileName(this, "Export layer", QString(), filters.join(";;"), &chosenFilter);
    if (name.isEmpty()) return;
    const ExportFilter* filter = offered.front();
    for (std::size_t k = 0; k < offered.size(); ++k)
        if (filters[static_cast<int>(k)] == chosenFilter) filter = offered[k];
    // A typed extension of another type that can be exported wins over the
    // list's choice: "mask.man" is a Mann file.
    const QString suffix = QFileInfo(name).suffix().toLower();
    for (const ExportFilter* other : offered) {
        const QString text(other->text);
        if (!suffix.isEmpty() && (text.contains("*." + suffix + ")") || text.contains("*." + suffix + " ")))
            filter = other;
    }
    if (suffix.isEmpty()) name += QString(".") + filter->suffix;
    layout->ExportLayer(layer, name.toStdString(), filter->type);
}

}  // namespace zandor
