#include "formats/emk/EmkFormat.h"

#include "formats/emk/ExportEmkFile.h"
#include "formats/emk/LoadEmkFile.h"
#include "model/Layout.h"

namespace zandor {

void RegisterEmkFormat() {
    RegisterReader(FileEmk, [](Layout& layout, const std::string& name, platform::DiagnosticSink& diagnostics) {
        return LoadEmkFile(layout, name, FlashSettings().emk, &diagnostics).Read();
    });
    RegisterLayerWriter(ExportEmk, [](Layout& layout, const std::string& name, int layer, const SaveOptions&,
                                      platform::DiagnosticSink& diagnostics) {
        return ExportEmkFile(layout, name, layer, FlashSettings().emk, &diagnostics).Write();
    });
}

}  // namespace zandor
