#include "formats/cif/CifFormat.h"

#include "formats/cif/LoadCifFile.h"
#include "formats/cif/SaveCifFile.h"
#include "model/Layout.h"

namespace zandor {

void RegisterCifFormat() {
    RegisterReader(FileCif, [](Layout& layout, const std::string& name, platform::DiagnosticSink& diagnostics) {
        return LoadCifFile(layout, name, &diagnostics).Read();
    });
    RegisterWriter(FileCif, [](Layout& layout, const std::string& name, const SaveOptions& options,
                               platform::DiagnosticSink& diagnostics) {
        return SaveCifFile(layout, name, options, &diagnostics).Write(-1);
    });
    RegisterLayerWriter(ExportCif, [](Layout& layout, const std::string& name, int layer, const SaveOptions& options,
                                      platform::DiagnosticSink& diagnostics) {
        return SaveCifFile(layout, name, options, &diagnostics).Write(layer);
    });
}

}  // namespace zandor
