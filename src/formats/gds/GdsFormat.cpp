#include "formats/gds/GdsFormat.h"

#include "formats/gds/LoadGdsFile.h"
#include "formats/gds/SaveGdsFile.h"
#include "model/Layout.h"

namespace zandor {

void RegisterGdsFormat() {
    RegisterReader(FileGds, [](Layout& layout, const std::string& name) { return LoadGdsFile(layout, name).Read(); });
    RegisterWriter(FileGds, [](Layout& layout, const std::string& name) { return SaveGdsFile(layout, name).Write(); });
}

}  // namespace zandor
