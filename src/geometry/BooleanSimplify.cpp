#include "geometry/BooleanSimplify.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace zandor::boolean_detail {

namespace {

long double DistanceToLine(Point64 p, Point64 a, Point64 b) {
    const long double dx = static_cast<long double>(b.x) - a.x, dy = static_cast<long double>(b.y) - a.y;
    const long double length = std::sqrt(dx * dx + dy * dy);
    if (length == 0) return std::hypot(static_cast<long double>(p.x) - a.x, static_cast<long double>(p.y) - a.y);
    return std::fabs(dx * (static_cast<long double>(p.y) - a.y) - dy * (static_cast<long double>(p.x) - a.x)) / length;
}

bool Near(Point64 a, Point64 b, i64 t) {
    const i128 dx = static_cast<i128>(a.x) - b.x, dy = static_cast<i128>(a.y) - b.y;
    return dx <= t && dx >= -t && dy <= t && dy >= -t;
}

bool Collinear(Point64 a, Point64 b, Point64 c, i64 t) {
    return Near(a, b, t) || Near(b, c, t) || DistanceToLine(b, a, c) <= t || DistanceToLine(c, b, a) <= t;
}

}  // namespace

bool SimplifyRing(std::vector<Point64>& ring, i64 t) {
    bool changed = false;
    // Kept vertices whose successor went after they were visited; with the
    // first one kept when the last vertex went, they are the only ones whose
    // neighbours differ in the next pass.
    std::vector<std::size_t> moved;
    for (bool again = true; again && ring.size() >= 3;) {
        again = false;
        moved.clear();
        // The ring as it stands is ring[0, kept) followed by ring[next, n):
        // vertices kept so far in this pass, then the ones still to visit.
        const std::size_t n = ring.size();
        std::size_t kept = 0, next = 0;
        while (next < n && kept + (n - next) >= 3) {
            const Point64 a = kept > 0 ? ring[kept - 1] : ring[n - 1];
            const Point64 b = ring[next];
            const Point64 c = next + 1 < n ? ring[next + 1] : ring[0];
            if (Collinear(a, b, c, t)) {
                changed = again = true;
                if (kept > 0) moved.push_back(kept - 1);
                if (next == n - 1) moved.push_back(0);
            } else {
                ring[kept++] = b;
            }
            ++next;
        }
        if (kept < next) {
            std::copy(ring.begin() + static_cast<std::ptrdiff_t>(next), ring.end(),
                      ring.begin() + static_cast<std::ptrdiff_t>(kept));
            ring.resize(kept + (n - next));
        }
        // Another pass removes nothing unless one of those vertices goes with
        // its new neighbours: every other vertex meets the neighbours it was
        // kept with.
        if (again && ring.size() >= 3) {
            const std::size_t size = ring.size();
            again = false;
            for (const std::size_t k : moved) {
                if (Collinear(ring[(k + size - 1) % size], ring[k], ring[(k + 1) % size], t)) {
                    again = true;
                    break;
                }
            }
        }
    }
    return changed;
}

}  // namespace zandor::boolean_detail
