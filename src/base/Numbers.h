// The two conversions every coordinate passes through on its way out of wider
// arithmetic: doubles round half away from zero, 64-bit sums saturate at the
// ends of the 32-bit range.  Both are total: no input makes them undefined.
#pragma once

#include <cmath>
#include <cstdint>

namespace zandor {

// (x >= 0) ? trunc(x + 0.5) : trunc(x - 0.5).  Values outside the int32 range
// saturate at its ends and NaN gives 0.
inline std::int32_t RoundHalfAway(double x) {
    if (x != x) return 0;
    const double r = x >= 0 ? std::trunc(x + 0.5) : std::trunc(x - 0.5);
    if (r >= 2147483647.0) return INT32_MAX;
    if (r <= -2147483648.0) return INT32_MIN;
    return static_cast<std::int32_t>(r);
}

// A 64-bit value clamped into the 32-bit coordinate range.
constexpr std::int32_t SaturateToInt32(std::int64_t v) {
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<std::int32_t>(v);
}

}  // namespace zandor
