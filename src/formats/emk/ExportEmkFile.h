// Writer of one layer as an EMK flash file: rectangular flashes (centre, two
// sizes, angle) in fixed blocks of 800 characters, each beginning with "<".
// Shapes are cut into flashes as for the Mann writer.
#pragma once

#include <memory>
#include <string>

#include "formats/flash/FlashOptions.h"
#include "platform/Diagnostics.h"

namespace zandor {

class Layout;

class ExportEmkFile {
public:
    // The options given are shown in the options dialog first, when one is
    // installed (AskEmkOptions).  Without a sink the diagnostics become
    // message boxes.
    ExportEmkFile(Layout& layout, std::string fileName, int layer, const EmkOptions& options,
                  platform::DiagnosticSink* diagnostics = nullptr);
    ~ExportEmkFile();
    ExportEmkFile(const ExportEmkFile&) = delete;
    ExportEmkFile& operator=(const ExportEmkFile&) = delete;

    // Writes the file through a temporary file that replaces the old one
    // only when complete.  False when the layout has no main symbol, the
    // dialog is cancelled, the unit is not positive, a flash size is out of
    // range or the file cannot be written (each but the cancel with a
    // message).  Afterwards the warnings about enlarged flashes and possible
    // rounding errors of the polygon fracturing, each when it applies.
    bool Write();

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace zandor
