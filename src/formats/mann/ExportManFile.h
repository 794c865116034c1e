// Writer of one layer as a Mann pattern-generator flash file, in the integer
// single-quadrant format of the 1600A/2600/3000 machines or the decimal
// four-quadrant format of the 3600: every shape of the layer, in the main
// symbol and in everything it places, is cut into rectangular flashes (centre,
// width, height, angle) and each flash becomes one statement.
#pragma once

#include <memory>
#include <string>

#include "formats/flash/FlashOptions.h"
#include "platform/Diagnostics.h"

namespace zandor {

class Layout;

class ExportManFile {
public:
    // The options given are shown in the options dialog first, when one is
    // installed (AskMannOptions).  Without a sink the diagnostics become
    // message boxes.
    ExportManFile(Layout& layout, std::string fileName, int layer, const MannOptions& options,
                  platform::DiagnosticSink* diagnostics = nullptr);
    ~ExportManFile();
    ExportManFile(const ExportManFile&) = delete;
    ExportManFile& operator=(const ExportManFile&) = delete;

    // Writes the file through a temporary file that replaces the old one
    // only when complete.  False when the layout has no main symbol, the
    // dialog is cancelled, an option is out of range or the file cannot be
    // written (each but the cancel with a message).  Afterwards at most one
    // warning: negative coordinates, enlarged flashes, possible rounding
    // errors of the polygon fracturing.
    bool Write();

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace zandor
