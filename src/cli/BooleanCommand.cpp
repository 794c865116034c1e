#include "cli/BooleanCommand.h"

#include <cstdlib>
#include <map>

namespace zandor::cli {

namespace {

bool ParseNumber(const std::string& text, long low, long high, int& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || number < low || number > high) return false;
    value = static_cast<int>(number);
    return true;
}

}  // namespace

std::string ParseBooleanArguments(const std::vector<std::string>& args, BooleanRequest& request) {
    struct OperationName {
        BooleanOperation operation;
        const char* errorText;
    };
    static const std::map<std::string, OperationName> operations = {
        {"or", {OpOr, "Unexpected error during Merge operation"}},
        {"and", {OpAnd, "Unexpected error during Intersect operation"}},
        {"xor", {OpExor, "Unexpected error during XOR operation"}},
        {"a-b", {OpAMinusB, "Unexpected error during Subtract operation"}},
        {"b-a", {OpBMinusA, "Unexpected error during Subtract operation"}},
    };
    std::vector<std::string> positional;
    bool haveOp = false;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        if (a.rfind("--", 0) != 0) {
            positional.push_back(a);
            continue;
        }
        if (a != "--op" && a != "--a" && a != "--b" && a != "--to" && a != "--grid" && a != "--max-nodes") {
            return "unknown option " + a;
        }
        if (k + 1 >= args.size()) return a + " needs a value";
        const std::string& value = args[++k];
        if (a == "--op") {
            auto it = operations.find(value);
            if (it == operations.end()) return "unknown operation " + value + " (known: or, and, xor, a-b, b-a)";
            request.layer.operation = it->second.operation;
            request.layer.errorText = it->second.errorText;
            haveOp = true;
        } else if (a == "--grid") {
            if (!ParseNumber(value, 0, 1000000, request.layer.grid))
                return "--grid needs a whole number of nm >= 0, not " + value;
        } else if (a == "--max-nodes") {
            if (!ParseNumber(value, 16, 32768, request.layer.maxPolyNodes))
                return "--max-nodes needs 16..32768, not " + value;
        } else {
            int& layer = a == "--a" ? request.layer.layerA : a == "--b" ? request.layer.layerB : request.layer.target;
            if (!ParseNumber(value, 0, kLayerCount - 1, layer)) return a + " needs a layer index 0..255, not " + value;
        }
    }
    if (positional.size() != 2) return "boolean needs an input and an output file";
    request.in = positional[0];
    request.out = positional[1];
    if (!haveOp) return "boolean needs --op";
    if (request.layer.layerA < 0) return "boolean needs --a LAYER";
    if (request.layer.target < 0) return "boolean needs --to LAYER";
    return {};
}

bool RunBoolean(Layout& layout, const BooleanRequest& request) {
    return RunLayerBoolean(layout, *layout.MainSymbol(), request.layer);
}

}  // namespace zandor::cli
