// Reader of EMK flash files: every flash becomes a rectangle, or a box when
// turned, on layer 0 of the main symbol.
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

class LoadEmkFile {
public:
    // The options (the unit) are shown in the dialog first, when one is
    // installed (AskEmkOptions).  Without a sink the diagnostics become
    // message boxes.
    LoadEmkFile(Layout& layout, std::string fileName, const EmkOptions& options,
                platform::DiagnosticSink* diagnostics = nullptr);
    ~LoadEmkFile();
    LoadEmkFile(const LoadEmkFile&) = delete;
    LoadEmkFile& operator=(const LoadEmkFile&) = delete;

    // Reads into the (cleared) layout.  False when the layout has no main
    // symbol, the file cannot be opened or the dialog is cancelled.  A unit
    // that is not above 0 reads 0.1 um.  A damaged file (binary data, a
    // number too long or out of range, a negative size, an angle beyond a
    // full turn, a comment not closed) stops the read with an error; what
    // was read stays and the result is true.
    bool Read();
    bool Read(std::span<const std::uint8_t> bytes);
    bool Read(platform::ByteSource& source);

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace zandor
