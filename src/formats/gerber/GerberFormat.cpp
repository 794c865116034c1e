#include "formats/gerber/GerberFormat.h"

#include "formats/gerber/GerberOptions.h"
#include "formats/gerber/LoadGbrFile.h"
#include "model/Layout.h"

namespace zandor {

void RegisterGerberFormat() {
    RegisterReader(FileGerber, [](Layout& layout, const std::string& name, platform::DiagnosticSink& diagnostics) {
        return LoadGbrFile(layout, name, GerberSettings(), &diagnostics).Read();
    });
}

}  // namespace zandor
