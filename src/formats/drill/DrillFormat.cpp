#include "formats/drill/DrillFormat.h"

#include "formats/drill/ExportTapFile.h"
#include "formats/drill/LoadTapFile.h"
#include "model/Layout.h"

namespace zandor {

void RegisterDrillFormat() {
    RegisterReader(FileDrill, [](Layout& layout, const std::string& name, platform::DiagnosticSink& diagnostics) {
        return LoadTapFile(layout, name, DrillSettings(), &diagnostics).Read();
    });
    RegisterLayerWriter(ExportDrill, [](Layout& layout, const std::string& name, int layer, const SaveOptions&,
                                        platform::DiagnosticSink& diagnostics) {
        return ExportTapFile(layout, name, layer, DrillSettings(), &diagnostics).Write();
    });
}

}  // namespace zandor
