// Writer of GDSII stream files: one structure per symbol, one element per
// object, with circles, rings and arc wires turned into boundaries.
#pragma once

#include <memory>
#include <string>

#include "platform/Diagnostics.h"

namespace zandor {

class Layout;

class SaveGdsFile {
public:
    // Without a sink the diagnostics become message boxes.
    SaveGdsFile(Layout& layout, std::string fileName, platform::DiagnosticSink* diagnostics = nullptr);
    ~SaveGdsFile();
    SaveGdsFile(const SaveGdsFile&) = delete;
    SaveGdsFile& operator=(const SaveGdsFile&) = delete;

    // Writes the whole layout and the layer map beside it, through a temporary
    // file that replaces the old one only when complete.  False when the file
    // cannot be created (no message) or written, or when the name is taken by
    // a directory or device ("Unable to save file!"); the old file is then
    // left as it was.
    bool Write();

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace zandor
