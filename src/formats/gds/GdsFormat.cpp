#include "formats/gds/GdsFormat.h"

#include "formats/gds/LoadGdsFile.h"
#include "formats/gds/SaveGdsFile.h"
#include "model/Layout.h"

namespace zandor {

void RegisterGdsFormat() {
    RegisterReader(FileGds, [](Layout& layout, const std::string& name, platform::DiagnosticSink& diagnostics) {
        return LoadGdsFile(layout, name, &diagnostics).Read();
    });
    // The save-as options are those of CIF files.
    RegisterWriter(
        FileGds, [](Layout& layout, const std::string& name, const SaveOptions&,
                    platform::DiagnosticSink& diagnostics) { return SaveGdsFile(layout, name, &diagnostics).Write(); });
}

}  // namespace zandor
