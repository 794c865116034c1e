#include "geometry/PolygonArea.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "model/Geometry.h"

namespace zandor {

double ContourAreaUm2(const Point* points, std::size_t count) {
    if (count < 3) return 0.0;
    // Products of 32-bit coordinates are exact in 64 bits; the sum goes into a
    // long double so that millions of edges do not lose the small terms.
    long double twice = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const Point& p = points[i];
        const Point& q = points[i + 1 == count ? 0 : i + 1];
        twice += static_cast<long double>(static_cast<std::int64_t>(p.X) * q.Y - static_cast<std::int64_t>(q.X) * p.Y);
    }
    // nm^2 to um^2.
    return static_cast<double>(std::fabs(twice) / 2 * 1e-6L);
}

double ResultContoursAreaUm2(Bool_Engine& engine, const bool* stop, double* partial) {
    double area = 0.0;
    if (partial) *partial = 0.0;
    std::vector<Point> buffer;
    buffer.reserve(1024);
    while (engine.NextResultContour()) {
        if (!(stop && *stop)) {
            buffer.clear();
            while (engine.NextResultVertex()) {
                buffer.push_back({RoundHalfAway(engine.VertexX()), RoundHalfAway(engine.VertexY())});
            }
            area += ContourAreaUm2(buffer.data(), buffer.size());
            if (partial) *partial = area;
        }
        engine.DropResultContour();
    }
    return area;
}

}  // namespace zandor
