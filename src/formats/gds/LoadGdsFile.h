// Reader of GDSII stream files: every structure becomes a symbol, every
// boundary, path, box, text and reference an object of it.
#pragma once

#include <memory>
#include <string>

namespace zandor {

class Layout;

class LoadGdsFile {
public:
    LoadGdsFile(Layout& layout, std::string fileName);
    ~LoadGdsFile();
    LoadGdsFile(const LoadGdsFile&) = delete;
    LoadGdsFile& operator=(const LoadGdsFile&) = delete;

    // Reads the file into the (cleared) layout.  False when the file cannot be
    // opened or does not begin with a valid library head (HEADER, BGNLIB,
    // UNITS); the layout is then to be discarded.  Errors after the head stop
    // the read, and the layout keeps what was read.
    bool Read();

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace zandor
