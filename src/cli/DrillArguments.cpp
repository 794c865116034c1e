#include "cli/DrillArguments.h"

#include <charconv>

namespace zandor::cli {

bool IsDrillValueOption(const std::string& name) { return name == "--integers" || name == "--decimals"; }
bool IsDrillSwitch(const std::string& name) { return name == "--mm" || name == "--inch"; }

std::string DrillOptionsFrom(const DrillArguments& arguments, DrillOptions& options) {
    options = DrillOptions{};
    if (arguments.switches.count("--mm") && arguments.switches.count("--inch")) {
        return "--mm and --inch exclude each other";
    }
    options.millimetres = arguments.switches.count("--mm") > 0;
    for (const auto& [name, target] :
         {std::pair<const char*, int*>{"--integers", &options.integers}, {"--decimals", &options.decimals}}) {
        const auto it = arguments.values.find(name);
        if (it == arguments.values.end()) continue;
        const std::string& text = it->second;
        int value = 0;
        const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) {
            return std::string(name) + " needs a whole number, not " + text;
        }
        *target = value;
    }
    return {};
}

}  // namespace zandor::cli
