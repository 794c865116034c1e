#include "formats/AllFormats.h"

#include "formats/cif/CifFormat.h"
#include "formats/gds/GdsFormat.h"

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
