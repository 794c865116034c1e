// Reader of drill files: the TAP files the writer makes and the Excellon
// files of PCB tools.  Holes become circles, slots (G85) and routed paths
// (G00 to G03 with the tool down, M15 to M16) round-ended wires of the
// tool's diameter, all on layer 0 ("Layer 0") of the main symbol.
//
// What the file says wins over the options: the units (INCH, METRIC, M71,
// M72), the zeros kept (LZ, TZ) and the coordinate format (";FILE_FORMAT=",
// "000.000" after the units, ";FORMAT={2:4/..."); the options give the rest.
// A file with an Excellon header (M48) that does not say which zeros it keeps
// is judged by its numbers; other files are read as the writer writes them,
// digits missing on the right.  A tool's diameter comes from its definition
// (T1C0.8, or the hole size comment of some tools) and is otherwise the tool
// number times 0.1 mm.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "formats/drill/DrillOptions.h"
#include "platform/ByteSource.h"
#include "platform/Diagnostics.h"

namespace zandor {

class Layout;

class LoadTapFile {
public:
    // The options are shown in the dialog first, when one is installed
    // (AskDrillOptions).  Without a sink the diagnostics become message
    // boxes.
    LoadTapFile(Layout& layout, std::string fileName, const DrillOptions& options,
                platform::DiagnosticSink* diagnostics = nullptr);
    ~LoadTapFile();
    LoadTapFile(const LoadTapFile&) = delete;
    LoadTapFile& operator=(const LoadTapFile&) = delete;

    // Reads into the (cleared) layout.  False when the layout has no main
    // symbol, the dialog is cancelled, the number of decimals is not 0 to 6
    // (or of integer digits 0 to 9) or the file cannot be opened.  A damaged
    // file (binary data, a number too long or out of range, repeats beyond
    // 100000 holes) stops the read with an error; what was read stays
    // and the result is true.  What the reader does not support is skipped
    // with one warning for each kind.
    bool Read();
    bool Read(std::span<const std::uint8_t> bytes);
    bool Read(platform::ByteSource& source);

    // The options after the dialog.
    const DrillOptions& Options() const;

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace zandor
