// Writer of one layer as a drill (TAP) file: every circle and ring of the
// layer, in the main symbol and in everything it places, becomes a hole of
// the tool whose diameter, in steps of 0.1 mm, is the smallest that is not
// smaller than the circle (tools 1 to 40, up to 4 mm).
#pragma once

#include <memory>
#include <string>

#include "formats/drill/DrillOptions.h"
#include "platform/Diagnostics.h"

namespace zandor {

class Layout;

class ExportTapFile {
public:
    // The options given are shown in the options dialog first, when one is
    // installed (AskDrillOptions).  Without a sink the diagnostics become
    // message boxes.
    ExportTapFile(Layout& layout, std::string fileName, int layer, const DrillOptions& options,
                  platform::DiagnosticSink* diagnostics = nullptr);
    ~ExportTapFile();
    ExportTapFile(const ExportTapFile&) = delete;
    ExportTapFile& operator=(const ExportTapFile&) = delete;

    // Writes the file through a temporary file that replaces the old one
    // only when complete.  False when the layout has no main symbol, the
    // dialog is cancelled, the number of digits is out of range or the file
    // cannot be written (each but the cancel with a message).  Afterwards a
    // warning for holes above 4 mm, which have no tool and are left out, and
    // one for shapes that are no circles or rings.
    bool Write();

    // Holes written and holes left out for their size by the last Write.
    long Holes() const;
    long Oversized() const;

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace zandor
