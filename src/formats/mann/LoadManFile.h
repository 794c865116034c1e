// Reader of Mann flash files of both dialects (the integer single-quadrant
// format and the decimal four-quadrant "T360" format): every flash becomes a
// rectangle, or a box when turned, on layer 0 of the main symbol.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "formats/flash/FlashOptions.h"
#include "platform/ByteSource.h"
#include "platform/Diagnostics.h"

namespace zandor {

class Layout;

class LoadManFile {
public:
    // options are what the dialog shows before the file's dialect is known;
    // the reader sets them from the dialect (PrepareMannOptionsForReading)
    // and asks the dialog, when one is installed (AskMannOptions).  Without
    // a sink the diagnostics become message boxes.
    LoadManFile(Layout& layout, std::string fileName, const MannOptions& options,
                platform::DiagnosticSink* diagnostics = nullptr);
    ~LoadManFile();
    LoadManFile(const LoadManFile&) = delete;
    LoadManFile& operator=(const LoadManFile&) = delete;

    // Reads into the (cleared) layout.  False when the layout has no main
    // symbol, the file cannot be opened, the dialog is cancelled or the
    // scaling factor is not positive.  A damaged file (binary data, a number
    // too long or out of range, a negative size, an angle beyond a full
    // turn) stops the read with an error; what was read stays and the
    // result is true.
    bool Read();
    bool Read(std::span<const std::uint8_t> bytes);
    bool Read(platform::ByteSource& source);

    // The dialect found and the options the file was read with.
    MannDialect Dialect() const;
    const MannOptions& Options() const;

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace zandor
