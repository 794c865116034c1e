#include "cli/FlashArguments.h"

#include <charconv>
#include <cmath>
#include <tuple>
#include <utility>

namespace zandor::cli {

namespace {

const std::set<std::string> kMannValues = {"--resolution", "--min-flash",   "--max-flash",       "--flash-resolution",
                                           "--scale",      "--min-coord",   "--max-coord",       "--angle-resolution",
                                           "--blocks",     "--line-breaks", "--implicit-decimal"};
const std::set<std::string> kEmkValues = {"--unit", "--min-flash", "--max-flash"};
const std::set<std::string> kMannSwitches = {"--mirror", "--english"};
const std::set<std::string> kEmkSwitches = {"--mils"};
const std::set<std::string> kMannReaderValues = {"--scale", "--max-coord", "--angle-resolution", "--implicit-decimal"};
const std::set<std::string> kEmkReaderValues = {"--unit"};

// An option not in the allowed sets, as a usage problem.
std::string Unexpected(const FlashArguments& arguments, const std::set<std::string>& values,
                       const std::set<std::string>& switches, const std::string& where) {
    for (const auto& [name, value] : arguments.values) {
        if (!values.count(name)) return name + " does not apply to " + where;
    }
    for (const std::string& name : arguments.switches) {
        if (!switches.count(name)) return name + " does not apply to " + where;
    }
    return {};
}

// A finite decimal number written whole, with "." as decimal point.
bool Number(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

// The value of a number option, if given; the usage problem otherwise.
std::string Take(const FlashArguments& arguments, const std::string& name, double& value, double factor = 1) {
    const auto it = arguments.values.find(name);
    if (it == arguments.values.end()) return {};
    double number;
    if (!Number(it->second, number)) return name + " needs a number, not " + it->second;
    value = number * factor;
    return {};
}

std::string TakeFlag(const FlashArguments& arguments, const std::string& name, bool& value) {
    const auto it = arguments.values.find(name);
    if (it == arguments.values.end()) return {};
    if (it->second != "on" && it->second != "off") return name + " needs on or off, not " + it->second;
    value = it->second == "on";
    return {};
}

std::string MannReaderOptions(const FlashArguments& arguments, MannOptions& options) {
    std::string problem;
    if (arguments.switches.count("--english") && options.singleQuadrant) ApplyMannSystem(options, true, false);
    if (arguments.switches.count("--mirror")) options.mirrorX = true;
    for (const auto& [name, target] : {std::pair<const char*, double*>{"--scale", &options.scale},
                                       {"--max-coord", &options.maxCoordinate},
                                       {"--angle-resolution", &options.angleResolution}}) {
        if (problem.empty()) problem = Take(arguments, name, *target);
    }
    if (problem.empty()) problem = TakeFlag(arguments, "--implicit-decimal", options.implicitDecimalPoint);
    return problem;
}

std::string EmkReaderOptions(const FlashArguments& arguments, EmkOptions& options) {
    SwitchEmkUnits(options, arguments.switches.count("--mils") > 0);
    return Take(arguments, "--unit", options.unit);
}

}  // namespace

bool IsFlashValueOption(const std::string& name) { return kMannValues.count(name) || kEmkValues.count(name); }
bool IsFlashSwitch(const std::string& name) { return kMannSwitches.count(name) || kEmkSwitches.count(name); }

std::string MannWriterOptions(const FlashArguments& arguments, bool singleQuadrant, MannOptions& options) {
    if (auto problem = Unexpected(arguments, kMannValues, kMannSwitches, "Mann files"); !problem.empty()) {
        return problem;
    }
    options = MannOptions{};
    ApplyMannSystem(options, singleQuadrant, arguments.switches.count("--english") == 0);
    options.angleResolution = 0.1;
    options.mirrorX = arguments.switches.count("--mirror") > 0;
    options.blocks = true;
    std::string problem = TakeFlag(arguments, "--blocks", options.blocks);
    options.lineBreaks = !options.blocks;
    if (problem.empty()) problem = TakeFlag(arguments, "--line-breaks", options.lineBreaks);
    if (problem.empty()) problem = TakeFlag(arguments, "--implicit-decimal", options.implicitDecimalPoint);
    // The four small lengths are given in um or mils and kept in mm or inch.
    for (const auto& [name, target, factor] :
         {std::tuple<const char*, double*, double>{"--resolution", &options.resolution, 0.001},
          {"--min-flash", &options.minFlash, 0.001},
          {"--max-flash", &options.maxFlash, 0.001},
          {"--flash-resolution", &options.flashResolution, 0.001},
          {"--min-coord", &options.minCoordinate, 1},
          {"--max-coord", &options.maxCoordinate, 1},
          {"--scale", &options.scale, 1},
          {"--angle-resolution", &options.angleResolution, 1}}) {
        if (problem.empty()) problem = Take(arguments, name, *target, factor);
    }
    return problem;
}

std::string EmkWriterOptions(const FlashArguments& arguments, EmkOptions& options) {
    if (auto problem = Unexpected(arguments, kEmkValues, kEmkSwitches, "EMK files"); !problem.empty()) {
        return problem;
    }
    options = EmkOptions{};
    SwitchEmkUnits(options, arguments.switches.count("--mils") > 0);
    std::string problem;
    for (const auto& [name, target] : {std::pair<const char*, double*>{"--unit", &options.unit},
                                       {"--min-flash", &options.minFlash},
                                       {"--max-flash", &options.maxFlash}}) {
        if (problem.empty()) problem = Take(arguments, name, *target);
    }
    return problem;
}

std::string CheckMannReaderArguments(const FlashArguments& arguments) {
    if (auto problem = Unexpected(arguments, kMannReaderValues, kMannSwitches, "reading Mann files");
        !problem.empty()) {
        return problem;
    }
    MannOptions options;
    return MannReaderOptions(arguments, options);
}

std::string CheckEmkReaderArguments(const FlashArguments& arguments) {
    if (auto problem = Unexpected(arguments, kEmkReaderValues, kEmkSwitches, "reading EMK files"); !problem.empty()) {
        return problem;
    }
    EmkOptions options;
    return EmkReaderOptions(arguments, options);
}

ReaderFlashDialogs::ReaderFlashDialogs(const FlashArguments& given)
    : arguments(given), previous(SetFlashOptionDialogs(this)) {
    FlashSettings().mann = MannOptions{};
    ApplyMannSystem(FlashSettings().mann, true, true);
    FlashSettings().mann.angleResolution = 0.1;
    FlashSettings().emk = EmkOptions{};
}

ReaderFlashDialogs::~ReaderFlashDialogs() { SetFlashOptionDialogs(previous); }

bool ReaderFlashDialogs::Mann(MannOptions& options, FlashDialogUse use) {
    return use == FlashDialogUse::Write || MannReaderOptions(arguments, options).empty();
}

bool ReaderFlashDialogs::Emk(EmkOptions& options, FlashDialogUse use) {
    return use == FlashDialogUse::Write || EmkReaderOptions(arguments, options).empty();
}

}  // namespace zandor::cli
