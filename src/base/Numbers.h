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

// Offset of element i of a lattice whose n steps span delta: i·delta/n rounded
// half away from zero, computed exactly.  Every user of an array's element
// positions goes through this, so screen, hit testing, flattening and the
// lattice definitions written to files agree to the unit.  n <= 0 gives 0.
constexpr std::int64_t LatticeOffset(std::int64_t i, std::int64_t delta, std::int64_t n) {
    if (n <= 0) return 0;
    const __int128 p = static_cast<__int128>(i) * delta;
    __int128 q = p / n;
    const __int128 r = p % n;
    if (2 * (r < 0 ? -r : r) >= n) q += p < 0 ? -1 : 1;
    return static_cast<std::int64_t>(q);
}

}  // namespace zandor
