// Reader of CIF layout files: the native dialect with its extension records
// in comments, and plain CIF 2.0 as other tools write it.
#pragma once

#include <memory>
#include <string>

namespace zandor {

class Layout;

class LoadCifFile {
public:
    LoadCifFile(Layout& layout, std::string fileName);
    ~LoadCifFile();
    LoadCifFile(const LoadCifFile&) = delete;
    LoadCifFile& operator=(const LoadCifFile&) = delete;

    // Reads the whole file into the (cleared) layout.  False only when the
    // file cannot be opened; errors in the file are reported as messages and
    // reading goes on.
    bool Read();

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace zandor
