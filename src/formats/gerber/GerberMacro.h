// Aperture macros of Gerber files: the definition as read from an AM block
// and its evaluation, for the parameters of one aperture definition, into the
// outlines that one flash of the aperture exposes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/Types.h"

namespace zandor {

// The body of an AM block: one string per statement, white space removed.
struct GerberMacro {
    std::string name;
    std::vector<std::string> statements;
};

// An arithmetic expression of a macro: decimal numbers, variables $n,
// + - x X / and parentheses, unary signs.  Unset variables are 0; a division
// by 0 gives 0.  ok becomes false on a syntax error (the value is then 0).
double EvaluateGerberExpression(std::string_view text, const std::vector<double>& variables, bool& ok);

struct GerberMacroShape {
    // Closed outlines relative to the flash point in nanometres, without
    // holes (a hole is joined to its outline by a cut); a flash adds each as
    // a polygon.
    std::vector<std::vector<Point>> outlines;
    // Primitive codes this evaluation does not know, each once.
    std::vector<int> unknownPrimitives;
    // A statement whose expressions could not be read, or whose values are
    // out of range; the primitive was left out.
    bool badStatement = false;
    // The boolean engine failed on the exposure-off parts; what was exposed
    // before them is kept.
    bool booleanFailed = false;
};

// Evaluates a macro with $1.. set to parameters; lengths are in file units
// of nanometresPerUnit nanometres.  Primitives exposed off remove what the
// primitives before them exposed.
GerberMacroShape EvaluateGerberMacro(const GerberMacro& macro, const std::vector<double>& parameters,
                                     double nanometresPerUnit);

// The number of sides of a circle of radius r (nanometres) outlined with at
// most a micrometre between the arc and its chords, and at least minimum.
int GerberCircleSides(double radius, int minimum = 72);

// Outlines (one list of nodes each) minus others, through the boolean engine;
// false when the engine failed.
bool SubtractOutlines(const std::vector<std::vector<Point>>& from, const std::vector<std::vector<Point>>& removed,
                      std::vector<std::vector<Point>>& result);

}  // namespace zandor
