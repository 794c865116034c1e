// Reader of Gerber photoplots (RS-274X and the older RS-274-D): every flash
// and draw of an aperture becomes objects on layer 0 of the main symbol,
// regions become polygons, and a step-and-repeat block a symbol placed once
// per copy.  Aperture macros are evaluated, clear polarity removes what was
// drawn before it, and image statements the reader does not apply are named
// in one warning each.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "formats/gerber/GerberOptions.h"
#include "platform/ByteSource.h"
#include "platform/Diagnostics.h"

namespace zandor {

class Layout;

class LoadGbrFile {
public:
    // The block characters (end of block, parameter delimiter) come from the
    // options.  Without a sink the diagnostics become message boxes.
    LoadGbrFile(Layout& layout, std::string fileName, const GerberOptions& options,
                platform::DiagnosticSink* diagnostics = nullptr);
    ~LoadGbrFile();
    LoadGbrFile(const LoadGbrFile&) = delete;
    LoadGbrFile& operator=(const LoadGbrFile&) = delete;

    // Reads into the (cleared) layout.  False only when the layout has no
    // main symbol or the file cannot be opened.  A damaged file (binary data,
    // a statement of more than 4 MB) stops the read with an error; what was
    // read stays and the result is true.
    bool Read();
    bool Read(std::span<const std::uint8_t> bytes);
    bool Read(platform::ByteSource& source);

    // Step-and-repeat copies one block may ask for; more are refused.
    static constexpr std::int64_t kMaxRepeats = 100000;
    // The longest statement read.
    static constexpr std::size_t kMaxStatement = 4 << 20;

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace zandor
