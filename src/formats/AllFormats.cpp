#include "formats/AllFormats.h"

#include "cif/SaveCifFile.h"

namespace zandor {

void RegisterFileFormats() {
    static const bool registered = [] {
        RegisterCifFormat();
        return true;
    }();
    (void)registered;
}

}  // namespace zandor
