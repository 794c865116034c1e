// The options of the drill (TAP) file writer and reader: the coordinate
// format (integer and decimal digits of the whole numbers written) and the
// unit.  The editor keeps them in the "Tap" section of its settings and
// answers the "Drill file options..." dialog, which both the writer and the
// reader show first; the command-line tool and the tests give the values.
#pragma once

namespace zandor {

struct DrillOptions {
    int integers = 2;          // "Integers"
    int decimals = 4;          // "Decimals", 0 .. 6
    bool millimetres = false;  // "Units": "IN" or "MM"
};

// Why the dialog is shown.
enum class DrillDialogUse { Write, Read };

// The dialog: gets the values to show and, when the user confirms, leaves the
// chosen ones in them; false when cancelled.  An implementation that keeps
// the values for the next time stores them itself.
class DrillOptionDialog {
public:
    virtual ~DrillOptionDialog() = default;
    virtual bool Ask(DrillOptions& options, DrillDialogUse use) = 0;
};

// Installs the dialog (nullptr: none); returns the previous one.
DrillOptionDialog* SetDrillOptionDialog(DrillOptionDialog* dialog);
// Asks the installed dialog; without one the values given stand and the
// answer is yes.
bool AskDrillOptions(DrillOptions& options, DrillDialogUse use);

// The values the layer export and the reader start from.
DrillOptions& DrillSettings();

}  // namespace zandor
