#include "formats/cif/CifFormat.h"

#include "formats/cif/LoadCifFile.h"
#include "formats/cif/SaveCifFile.h"
#include "model/Layout.h"

namespace zandor {

void RegisterCifFormat() {
    RegisterReader(FileCif, [](Layout& layout, const std::string& name) { return LoadCifFile(layout, name).Read(); });
    RegisterWriter(FileCif, [](Layout& layout, const std::string& name) { return SaveCifFile(layout, name).Write(-1); });
    RegisterLayerWriter(ExportCif, [](Layout& layout, const std::string& name, int layer) {
        return SaveCifFile(layout, name).Write(layer);
    });
}

}  // namespace zandor
