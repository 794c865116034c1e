// Writer of GDSII stream files: one structure per symbol, one element per
// object, with circles, rings and arc wires turned into boundaries.
#pragma once

#include <memory>
#include <string>

namespace zandor {

class Layout;

class SaveGdsFile {
public:
    SaveGdsFile(Layout& layout, std::string fileName);
    ~SaveGdsFile();
    SaveGdsFile(const SaveGdsFile&) = delete;
    SaveGdsFile& operator=(const SaveGdsFile&) = delete;

    // Writes the whole layout and the layer map beside it.  False when the
    // file cannot be created or written; the old file is then left as it was.
    bool Write();

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace zandor
