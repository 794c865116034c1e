// Coordinates and exact arithmetic shared by the source files of the boolean
// engine: 64-bit internal units, points, cross products, and the Y of a link
// at a sweep X compared exactly. Internal; not part of the interface.
#pragma once

#include <cstdint>
#include <string>

#include "geometry/Bool_Engine.h"

namespace zandor::boolean_detail {

using i64 = std::int64_t;
using i128 = __int128;

inline i128 Cross(i64 ax, i64 ay, i64 bx, i64 by) { return static_cast<i128>(ax) * by - static_cast<i128>(ay) * bx; }

inline int Sign(i128 v) { return (v > 0) - (v < 0); }

// Stops the operation with an engine error whose message is the reason.
[[noreturn]] inline void Fail(const std::string& message, const std::string& header) {
    throw Bool_Engine_Error(message, header, 9, 1);
}

// --- Exact Y of a link at a sweep X ------------------------------------------

// Y of a non-vertical segment at x, as an integer part and a remainder over dx.
struct ExactY {
    i128 whole;
    i128 remainder;  // 0 <= remainder < dx
    i128 dx;
};

inline ExactY YAt(Point64 left, Point64 right, i64 x) {
    const i128 dx = static_cast<i128>(right.x) - left.x;
    const i128 dy = static_cast<i128>(right.y) - left.y;
    const i128 product = (static_cast<i128>(x) - left.x) * dy;
    i128 quotient = product / dx;
    i128 remainder = product % dx;
    if (remainder < 0) {
        remainder += dx;
        quotient -= 1;
    }
    return ExactY{left.y + quotient, remainder, dx};
}

inline int CompareExact(const ExactY& a, const ExactY& b) {
    if (a.whole != b.whole) return a.whole < b.whole ? -1 : 1;
    return Sign(a.remainder * b.dx - b.remainder * a.dx);
}

inline int CompareToInteger(const ExactY& a, i64 value) {
    if (a.whole != value) return a.whole < value ? -1 : 1;
    return a.remainder > 0 ? 1 : 0;
}

// Y of a non-vertical segment at x in long double: within 0.5 of the exact
// value for coordinates up to 2^60, so differences beyond 4 decide a
// comparison without the exact (128-bit division) path.
inline long double ApproxYAt(Point64 left, Point64 right, i64 x) {
    return static_cast<long double>(left.y) + static_cast<long double>(x - left.x) *
                                                  static_cast<long double>(right.y - left.y) /
                                                  static_cast<long double>(right.x - left.x);
}

inline int CompareYAt(Point64 la, Point64 ra, Point64 lb, Point64 rb, i64 x) {
    const long double d = ApproxYAt(la, ra, x) - ApproxYAt(lb, rb, x);
    if (d > 4) return 1;
    if (d < -4) return -1;
    return CompareExact(YAt(la, ra, x), YAt(lb, rb, x));
}

inline int CompareYAtInteger(Point64 left, Point64 right, i64 x, i64 y) {
    const long double d = ApproxYAt(left, right, x) - static_cast<long double>(y);
    if (d > 4) return 1;
    if (d < -4) return -1;
    return CompareToInteger(YAt(left, right, x), y);
}

}  // namespace zandor::boolean_detail
