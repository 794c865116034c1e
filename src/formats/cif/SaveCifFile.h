// Writer of CIF layout files: standard CIF 2.0 statements, with the objects
// that CIF cannot express carried in extension records inside comments.
#pragma once

#include <memory>
#include <string>

#include "model/SaveOptions.h"
#include "platform/Diagnostics.h"

namespace zandor {

class Layout;

class SaveCifFile {
public:
    // Writes with the options of the save-as dialog given.  Without a sink
    // the diagnostics become message boxes.
    SaveCifFile(Layout& layout, std::string fileName, const SaveOptions& options = {},
                platform::DiagnosticSink* diagnostics = nullptr);
    ~SaveCifFile();
    SaveCifFile(const SaveCifFile&) = delete;
    SaveCifFile& operator=(const SaveCifFile&) = delete;

    // Writes the whole layout (layer -1) or one layer, through a temporary
    // file that replaces the old one only when complete.  False when the file
    // cannot be created (no message) or written, or when the name is taken by
    // a directory or device ("Unable to save file!").
    bool Write(int layer = -1);

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace zandor
