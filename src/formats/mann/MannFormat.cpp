#include "formats/mann/MannFormat.h"

#include "formats/mann/ExportManFile.h"
#include "formats/mann/LoadManFile.h"
#include "model/Layout.h"

namespace zandor {

void RegisterMannFormat() {
    RegisterReader(FileMann, [](Layout& layout, const std::string& name, platform::DiagnosticSink& diagnostics) {
        return LoadManFile(layout, name, FlashSettings().mann, &diagnostics).Read();
    });
    RegisterLayerWriter(ExportMann, [](Layout& layout, const std::string& name, int layer, const SaveOptions&,
                                       platform::DiagnosticSink& diagnostics) {
        return ExportManFile(layout, name, layer, FlashSettings().mann, &diagnostics).Write();
    });
}

}  // namespace zandor
