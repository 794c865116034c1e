// Reader of GDSII stream files: every structure becomes a symbol, every
// boundary, path, box, text and reference an object of it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/ByteSource.h"
#include "platform/Diagnostics.h"

namespace zandor {

class Layout;

class LoadGdsFile {
public:
    // fileName is the file Read() opens, and the name the diagnostics carry.
    // Without a sink the diagnostics become message boxes (at most nine
    // errors of the file are shown).
    LoadGdsFile(Layout& layout, std::string fileName, platform::DiagnosticSink* diagnostics = nullptr);
    ~LoadGdsFile();
    LoadGdsFile(const LoadGdsFile&) = delete;
    LoadGdsFile& operator=(const LoadGdsFile&) = delete;

    // Reads the file into the (cleared) layout, then the layer map beside it.
    // False when the file cannot be opened or does not begin with a valid
    // library head (HEADER, BGNLIB, UNITS); the layout is then to be
    // discarded.  Errors after the head stop the read, and the layout keeps
    // what was read.
    bool Read();
    // The same from bytes in memory or another source (a stream), without a
    // layer map: that is found by the path of a file only.
    bool Read(std::span<const std::uint8_t> bytes);
    bool Read(platform::ByteSource& source);

private:
    bool ReadFrom(platform::ByteSource& source, bool withLayerMap);

    struct State;
    std::unique_ptr<State> state;
};

}  // namespace zandor
