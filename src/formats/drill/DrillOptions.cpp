#include "formats/drill/DrillOptions.h"

namespace zandor {

namespace {
DrillOptionDialog* installedDialog = nullptr;
}

DrillOptionDialog* SetDrillOptionDialog(DrillOptionDialog* dialog) {
    DrillOptionDialog* previous = installedDialog;
    installedDialog = dialog;
    return previous;
}

bool AskDrillOptions(DrillOptions& options, DrillDialogUse use) {
    return installedDialog ? installedDialog->Ask(options, use) : true;
}

DrillOptions& DrillSettings() {
    static DrillOptions settings;
    return settings;
}

}  // namespace zandor
