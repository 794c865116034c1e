#include "formats/gerber/GerberOptions.h"

#include <cstdio>
#include <cstdlib>

namespace zandor {

namespace {
GerberOptionDialog* installedDialog = nullptr;
}

GerberApertureTable GerberOptions::DefaultGerberApertures() {
    GerberApertureTable table{};
    const std::int64_t mils[4] = {4, 8, 16, 39};
    for (int k = 0; k < 4; ++k) {
        const GerberAperture aperture{mils[k] * 25400, mils[k], false};
        table[static_cast<std::size_t>(k)] = aperture;
        table[static_cast<std::size_t>(k)].square = true;
        table[static_cast<std::size_t>(k + 4)] = aperture;
    }
    return table;
}

bool ParseGerberAperture(const std::string& text, GerberAperture& aperture) {
    const std::size_t first = text.find(',');
    if (first == std::string::npos) return false;
    const std::size_t second = text.find(',', first + 1);
    if (second == std::string::npos) return false;
    aperture.nanometres = std::strtoll(text.c_str(), nullptr, 10);
    aperture.mils = std::strtoll(text.c_str() + first + 1, nullptr, 10);
    aperture.square = second + 1 < text.size() && text[second + 1] == 'S';
    return true;
}

std::string FormatGerberAperture(const GerberAperture& aperture) {
    char text[64];
    std::snprintf(text, sizeof text, "%lld,%lld,%s", static_cast<long long>(aperture.nanometres),
                  static_cast<long long>(aperture.mils), aperture.square ? "S" : "C");
    return text;
}

GerberOptionDialog* SetGerberOptionDialog(GerberOptionDialog* dialog) {
    GerberOptionDialog* previous = installedDialog;
    installedDialog = dialog;
    return previous;
}

bool AskGerberOptions(GerberOptions& options) { return installedDialog ? installedDialog->Ask(options) : true; }

GerberOptions& GerberSettings() {
    static GerberOptions settings;
    return settings;
}

}  // namespace zandor
