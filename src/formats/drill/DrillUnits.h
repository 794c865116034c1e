// The coordinate format of drill files: the file unit given by the number of
// decimals and the unit system, and the checks the writer and the reader
// share.
#pragma once

#include <cstdint>
#include <string>

#include "formats/drill/DrillOptions.h"

namespace zandor {

inline constexpr int kMaxDrillDecimals = 6;
inline constexpr int kMaxDrillIntegers = 9;

// Why the options' coordinate format cannot be used ("Number of decimals must
// be between 0 and 6", ...), or an empty string.
std::string DrillFormatProblem(const DrillOptions& options);

// Nanometres per file unit: 10^(6 - decimals) for millimetres, 25.4 times
// that for inches.  Only for a format without a problem.
double DrillFileUnit(const DrillOptions& options);
double DrillFileUnit(bool millimetres, int decimals);

// A value rounded half away from zero to a whole number of file units,
// saturated at +-2^62 (NaN gives 0).
std::int64_t RoundFileUnits(double value);

}  // namespace zandor
