#include "formats/gerber/GerberFormat.h"

#include "formats/gerber/ExportGbrFile.h"
#include "formats/gerber/GerberOptions.h"
#include "formats/gerber/LoadGbrFile.h"
#include "model/Layout.h"

namespace zandor {

void RegisterGerberFormat() {
    RegisterReader(FileGerber, [](Layout& layout, const std::string& name, platform::DiagnosticSink& diagnostics) {
        return LoadGbrFile(layout, name, GerberSettings(), &diagnostics).Read();
    });
    RegisterLayerWriter(ExportGerber, [](Layout& layout, const std::string& name, int layer, const SaveOptions&,
                                         platform::DiagnosticSink& diagnostics) {
        return ExportGbrFile(layout, name, layer, GerberSettings(), &diagnostics).Write();
    });
}

}  // namespace zandor
