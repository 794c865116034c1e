// Reader of CIF layout files: the native dialect with its extension records
// in comments, and plain CIF 2.0 as other tools write it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/ByteSource.h"
#include "platform/Diagnostics.h"

namespace zandor {

class Layout;

class LoadCifFile {
public:
    // fileName is the file Read() opens, and the name the diagnostics carry.
    // Without a sink the diagnostics become message boxes (at most nine
    // errors of the file are shown).
    LoadCifFile(Layout& layout, std::string fileName, platform::DiagnosticSink* diagnostics = nullptr);
    ~LoadCifFile();
    LoadCifFile(const LoadCifFile&) = delete;
    LoadCifFile& operator=(const LoadCifFile&) = delete;

    // Reads the whole file into the (cleared) layout.  False only when the
    // file cannot be opened; errors in the file are reported and reading
    // goes on.
    bool Read();
    // The same from bytes in memory or another source (a stream); true.
    bool Read(std::span<const std::uint8_t> bytes);
    bool Read(platform::ByteSource& source);

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace zandor
