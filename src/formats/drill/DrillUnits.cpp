#include "formats/drill/DrillUnits.h"

#include <cmath>

namespace zandor {

std::string DrillFormatProblem(const DrillOptions& options) {
    if (options.decimals < 0 || options.decimals > kMaxDrillDecimals) {
        return "Number of decimals must be between 0 and 6";
    }
    if (options.integers < 0 || options.integers > kMaxDrillIntegers) {
        return "Number of integer digits must be between 0 and 9";
    }
    return {};
}

double DrillFileUnit(bool millimetres, int decimals) {
    const double unit = std::pow(10.0, 6 - decimals);
    return millimetres ? unit : unit * 25.4;
}

double DrillFileUnit(const DrillOptions& options) { return DrillFileUnit(options.millimetres, options.decimals); }

std::int64_t RoundFileUnits(double value) {
    constexpr double kLimit = 4611686018427387904.0;  // 2^62
    if (value != value) return 0;
    const double r = value >= 0 ? std::trunc(value + 0.5) : std::trunc(value - 0.5);
    if (r >= kLimit) return static_cast<std::int64_t>(kLimit);
    if (r <= -kLimit) return -static_cast<std::int64_t>(kLimit);
    return static_cast<std::int64_t>(r);
}

}  // namespace zandor
