#include "cli/ReadingFormat.h"

#include <utility>

namespace zandor::cli {

namespace {
constexpr std::pair<const char*, FileType> kFormats[] = {
    {"gerber", FileGerber},
    {"tap", FileDrill},
};
}

FileType ReadingFormat(const std::string& name) {
    for (const auto& [known, type] : kFormats) {
        if (name == known) return type;
    }
    return FileUnknown;
}

std::string ReadingFormatNames() {
    std::string names;
    for (const auto& [known, type] : kFormats) names += (names.empty() ? "" : ", ") + std::string(known);
    return names;
}

}  // namespace zandor::cli
