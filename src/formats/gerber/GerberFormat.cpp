#include "formats/gerber/GerberFormat.h"

#include "formats/gerber/ExportGbrFile.h"
#include "model/Layout.h"

namespace zandor {

void RegisterGerberFormat() {
    RegisterLayerWriter(ExportGerber, [](Layout& layout, const std::string& name, int layer, const SaveOptions&,
                                         platform::DiagnosticSink& diagnostics) {
        return ExportGbrFile(layout, name, layer, GerberSettings(), &diagnostics).Write();
    });
}

}  // namespace zandor
