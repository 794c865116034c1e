#include "cli/ReadingFormat.h"

#include <array>
#include <utility>

namespace zandor::cli {

std::string ParseReadingFormat(const std::string& value, FileType& type) {
    static constexpr std::array<std::pair<const char*, FileType>, 1> kFormats = {{{"gerber", FileGerber}}};
    type = FileUnknown;
    if (value.empty()) return {};
    std::string known;
    for (const auto& [name, fileType] : kFormats) {
        if (value == name) {
            type = fileType;
            return {};
        }
        known += known.empty() ? name : std::string(", ") + name;
    }
    return "unknown reading format: " + value + " (known: " + known + ")";
}

}  // namespace zandor::cli
