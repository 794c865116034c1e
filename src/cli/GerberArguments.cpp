#include "cli/GerberArguments.h"

#include <charconv>
#include <cmath>

#include "formats/gerber/ExportGbrFile.h"

namespace zandor::cli {

namespace {

const std::set<std::string> kValues = {"--integers",     "--decimals",  "--fill",
                                       "--end-of-block", "--delimiter", "--aperture"};
const std::set<std::string> kSwitches = {"--mm", "--inch"};

bool Number(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

// Sizes are positive: half up is half away from zero.
std::int64_t Whole(double value) { return static_cast<std::int64_t>(std::trunc(value + 0.5)); }

bool Digits(const std::string& text, int& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

// "DNN=SIZE,SHAPE" into the table.
std::string Aperture(const std::string& text, GerberApertureTable& table) {
    const std::string usage =
        "--aperture needs DNN=SIZE,SHAPE (D10 to D59; SIZE in mm or with \"mil\"; SHAPE "
        "round, square or none), not " +
        text;
    const std::size_t equals = text.find('='), comma = text.rfind(',');
    if (text.size() < 2 || (text[0] != 'D' && text[0] != 'd') || equals == std::string::npos ||
        comma == std::string::npos || comma < equals) {
        return usage;
    }
    int code = 0;
    if (!Digits(text.substr(1, equals - 1), code) || code < kGerberFirstDCode ||
        code >= kGerberFirstDCode + kGerberApertureCount) {
        return usage;
    }
    const std::string shape = text.substr(comma + 1);
    std::string size = text.substr(equals + 1, comma - equals - 1);
    GerberAperture& entry = table[static_cast<std::size_t>(code - kGerberFirstDCode)];
    if (shape == "none") {
        entry = GerberAperture{};
        return {};
    }
    if (shape != "round" && shape != "square") return usage;
    const bool mils = size.size() > 3 && size.compare(size.size() - 3, 3, "mil") == 0;
    if (mils) size.resize(size.size() - 3);
    double value = 0;
    if (!Number(size, value) || !(value > 0) || value > 1e6) {
        return "--aperture needs a positive size (mm, or mils with \"mil\"), not " + text;
    }
    GerberAperture aperture;
    aperture.nanometres = Whole(value * (mils ? 25400 : 1000000));
    aperture.mils = mils ? Whole(value) : Whole(double(aperture.nanometres) / 25400);
    aperture.square = shape == "square";
    if (aperture.nanometres <= 0) return "--aperture needs a size of at least 1 nm, not " + text;
    entry = aperture;
    return {};
}

}  // namespace

bool IsGerberValueOption(const std::string& name) { return kValues.count(name) > 0; }
bool IsGerberSwitch(const std::string& name) { return kSwitches.count(name) > 0; }

std::string GerberWriterOptions(const GerberArguments& arguments, GerberOptions& options) {
    options = GerberOptions{};
    if (arguments.switches.count("--mm") && arguments.switches.count("--inch")) {
        return "--mm and --inch exclude each other";
    }
    options.millimetres = arguments.switches.count("--mm") > 0;
    for (const auto& [name, value] : arguments.values) {
        if (name == "--integers" || name == "--decimals") {
            int number = 0;
            if (!Digits(value, number)) return name + " needs a whole number, not " + value;
            (name == "--integers" ? options.integers : options.decimals) = number;
        } else if (name == "--fill") {
            if (value == "always") {
                options.fill = GerberFill::Always;
            } else if (value == "never") {
                options.fill = GerberFill::Never;
            } else if (value == "necessary") {
                options.fill = GerberFill::WhenNecessary;
            } else {
                return "--fill needs always, never or necessary, not " + value;
            }
        } else if (name == "--end-of-block" || name == "--delimiter") {
            if (value.size() != 1) return name + " needs one character, not \"" + value + "\"";
            (name == "--end-of-block" ? options.endOfBlock : options.parameterDelimiter) = value[0];
        } else if (name == "--aperture") {
            if (auto problem = Aperture(value, options.apertures); !problem.empty()) return problem;
        }
    }
    return GerberOptionsProblem(options);
}

}  // namespace zandor::cli
