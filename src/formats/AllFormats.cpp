#include "formats/AllFormats.h"

#include "formats/cif/CifFormat.h"
#include "formats/emk/EmkFormat.h"
#include "formats/gds/GdsFormat.h"
#include "formats/gerber/GerberFormat.h"
#include "formats/mann/MannFormat.h"

namespace zandor {

void RegisterFileFormats() {
    static const bool registered = [] {
        RegisterCifFormat();
        RegisterGdsFormat();
        RegisterMannFormat();
        RegisterEmkFormat();
        RegisterGerberFormat();
        return true;
    }();
    (void)registered;
}

}  // namespace zandor
