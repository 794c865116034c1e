// Basic value types shared by the whole layout model.
#pragma once

#include <cstdint>
#include <ostream>

namespace zandor {

// One 32-bit word of an object record buffer.
using Word = std::int32_t;

// A point in database units (1 unit = 1 nm); y grows upwards in layout space.
struct Point {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// A point in 64-bit integers, for arithmetic whose coordinates may leave the
// 32-bit range on the way (the boolean engine's snapped grid).
struct Point64 {
    std::int64_t x = 0;
    std::int64_t y = 0;
    friend bool operator==(const Point64&, const Point64&) = default;
};

// Inclusive bounds in database units.
struct Rect {
    std::int32_t minx = 0;
    std::int32_t miny = 0;
    std::int32_t maxx = 0;
    std::int32_t maxy = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// x' = a*x + c*y + tx, y' = b*x + d*y + ty.  Stored inside records as six
// little-endian doubles (12 words), in this order.
struct TransformMatrix {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
    friend bool operator==(const TransformMatrix&, const TransformMatrix&) = default;
};

inline std::ostream& operator<<(std::ostream& os, const Point& p) { return os << '(' << p.X << ", " << p.Y << ')'; }
inline std::ostream& operator<<(std::ostream& os, const Rect& r) {
    return os << '(' << r.minx << ", " << r.miny << ")..(" << r.maxx << ", " << r.maxy << ')';
}

constexpr double kPi = 3.141592653589793;

}  // namespace zandor
