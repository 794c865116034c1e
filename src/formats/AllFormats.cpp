#include "formats/AllFormats.h"

#include "cif/SaveCifFile.h"
#include "interchange/SaveGdsFile.h"

namespace zandor {

void RegisterFileFormats() {
    static const bool registered = [] {
        RegisterCifFormat();
        RegisterGdsFormat();
        return true;
    }();
    (void)registered;
}

}  // namespace zandor
