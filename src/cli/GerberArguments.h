// The options of the Gerber writer on the command line, for
// `export --format gerber`: the coordinate format, the units, the block
// characters, the polygon fill and changes to the aperture table.  Defaults
// are those of GerberOptions.
#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "formats/gerber/GerberOptions.h"

namespace zandor::cli {

// The Gerber options as given, in order: "--aperture" may come more than once.
struct GerberArguments {
    std::vector<std::pair<std::string, std::string>> values;
    std::set<std::string> switches;
    bool Empty() const { return values.empty() && switches.empty(); }
};

// --integers, --decimals, --fill, --end-of-block, --delimiter, --aperture.
bool IsGerberValueOption(const std::string& name);
// --mm, --inch.
bool IsGerberSwitch(const std::string& name);

// The writer's options from the arguments, starting from the defaults; the
// usage problem, or an empty string.  --aperture DNN=SIZE,SHAPE sets one
// entry of the table (D10 to D59): SIZE in mm, or in mils with a "mil"
// suffix; SHAPE round, square or none (not in use, SIZE may then be empty).
std::string GerberWriterOptions(const GerberArguments& arguments, GerberOptions& options);

}  // namespace zandor::cli
