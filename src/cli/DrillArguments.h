// The options of drill (TAP) files on the command line: for `export --format
// tap` the writer's, for `convert` and `info` of a drill file the reader's.
// Both start from the defaults (format 2.4, inches).
#pragma once

#include <map>
#include <set>
#include <string>

#include "formats/drill/DrillOptions.h"

namespace zandor::cli {

// The drill options as given: "--integers N", "--decimals N", "--mm",
// "--inch".
struct DrillArguments {
    std::map<std::string, std::string> values;
    std::set<std::string> switches;
    bool Empty() const { return values.empty() && switches.empty(); }
};

bool IsDrillValueOption(const std::string& name);
bool IsDrillSwitch(const std::string& name);

// The options from the arguments, over the defaults; the usage problem, or
// an empty string.  The numbers must be whole; their range is checked by the
// writer and the reader, which say so in their own words.
std::string DrillOptionsFrom(const DrillArguments& arguments, DrillOptions& options);

}  // namespace zandor::cli
