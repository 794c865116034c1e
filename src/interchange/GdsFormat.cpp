#include "interchange/LoadGdsFile.h"
#include "interchange/SaveGdsFile.h"
#include "model/Layout.h"

namespace zandor {

void RegisterGdsFormat() {
    RegisterReader(FileGds, [](Layout& layout, const std::string& name) { return LoadGdsFile(layout, name).Read(); });
    RegisterWriter(FileGds, [](Layout& layout, const std::string& name) { return SaveGdsFile(layout, name).Write(); });
}

}  // namespace zandor
