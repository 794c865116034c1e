// Writer of CIF layout files: standard CIF 2.0 statements, with the objects
// that CIF cannot express carried in extension records inside comments.
#pragma once

#include <memory>
#include <string>

namespace zandor {

class Layout;

class SaveCifFile {
public:
    SaveCifFile(Layout& layout, std::string fileName);
    ~SaveCifFile();
    SaveCifFile(const SaveCifFile&) = delete;
    SaveCifFile& operator=(const SaveCifFile&) = delete;

    // Writes the whole layout (layer -1) or one layer.  False only when the
    // file cannot be created.  Uses the save options of Settings().
    bool Write(int layer = -1);

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace zandor
