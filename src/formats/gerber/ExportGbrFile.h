// Writer of one layer as an extended Gerber (RS-274X) photoplot: shapes are
// filled regions (G36/G37) or strokes and flashes of the apertures of the
// table, as the polygon fill mode asks; polygons and arc wires go through the
// fracturing.
#pragma once

#include <memory>
#include <string>

#include "formats/gerber/GerberOptions.h"
#include "platform/Diagnostics.h"

namespace zandor {

class Layout;

// Why the options cannot make a readable file (digits out of range, block
// characters that would end or break numbers); empty when they can.
std::string GerberOptionsProblem(const GerberOptions& options);

class ExportGbrFile {
public:
    // The options given are shown in the options dialog first, when one is
    // installed (AskGerberOptions).  Without a sink the diagnostics become
    // message boxes.
    ExportGbrFile(Layout& layout, std::string fileName, int layer, const GerberOptions& options,
                  platform::DiagnosticSink* diagnostics = nullptr);
    ~ExportGbrFile();
    ExportGbrFile(const ExportGbrFile&) = delete;
    ExportGbrFile& operator=(const ExportGbrFile&) = delete;

    // Writes the file through a temporary file that replaces the old one only
    // when complete.  False when the layout has no main symbol, the dialog is
    // cancelled, the options are unusable or the file cannot be written (each
    // but the cancel with a message).  Afterwards a warning each when
    // coordinates did not fit the format and when, with fill "Never", shapes
    // no aperture can draw were left out.
    bool Write();

    // What the writer chose: the options as confirmed in the dialog.
    const GerberOptions& Options() const;

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace zandor
