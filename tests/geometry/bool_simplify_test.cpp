// Simplification of the engine's input rings, against the plain form of the
// same rule (erase in place, one vertex at a time).
#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "geometry/BooleanSimplify.h"

using namespace zandor;
using namespace zandor::boolean_detail;

namespace {

long double ReferenceDistance(Point64 p, Point64 a, Point64 b) {
    const long double dx = static_cast<long double>(b.x) - a.x, dy = static_cast<long double>(b.y) - a.y;
    const long double length = std::sqrt(dx * dx + dy * dy);
    if (length == 0) return std::hypot(static_cast<long double>(p.x) - a.x, static_cast<long double>(p.y) - a.y);
    return std::fabs(dx * (static_cast<long double>(p.y) - a.y) - dy * (static_cast<long double>(p.x) - a.x)) / length;
}

bool ReferenceNear(Point64 a, Point64 b, i64 t) {
    const i128 dx = static_cast<i128>(a.x) - b.x, dy = static_cast<i128>(a.y) - b.y;
    return dx <= t && dx >= -t && dy <= t && dy >= -t;
}

bool ReferenceSimplify(std::vector<Point64>& ring, i64 t) {
    bool changed = false;
    for (bool again = true; again && ring.size() >= 3;) {
        again = false;
        for (std::size_t i = 0; i < ring.size() && ring.size() >= 3;) {
            const Point64 a = ring[(i + ring.size() - 1) % ring.size()];
            const Point64 b = ring[i];
            const Point64 c = ring[(i + 1) % ring.size()];
            if (ReferenceNear(a, b, t) || ReferenceNear(b, c, t) || ReferenceDistance(b, a, c) <= t ||
                ReferenceDistance(c, b, a) <= t) {
                ring.erase(ring.begin() + static_cast<std::ptrdiff_t>(i));
                changed = again = true;
            } else {
                ++i;
            }
        }
    }
    return changed;
}

void ExpectSameAsReference(const std::vector<Point64>& ring, i64 t) {
    std::vector<Point64> expected = ring, actual = ring;
    const bool expectedChanged = ReferenceSimplify(expected, t);
    const bool actualChanged = SimplifyRing(actual, t);
    ASSERT_EQ(actualChanged, expectedChanged) << "ring of " << ring.size() << ", t " << t;
    ASSERT_EQ(actual.size(), expected.size()) << "ring of " << ring.size() << ", t " << t;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(actual[i].x, expected[i].x) << i;
        ASSERT_EQ(actual[i].y, expected[i].y) << i;
    }
}

TEST(SimplifyRing, Cases) {
    struct Case {
        std::vector<Point64> ring;
        i64 t;
        std::vector<Point64> expected;
        bool changed;
    };
    const Case cases[] = {
        {{{0, 0}, {10, 0}, {10, 10}, {0, 10}}, 1, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, false},
        // A collinear vertex in the middle of a side, and one at index 0.
        {{{0, 0}, {5, 0}, {10, 0}, {10, 10}, {0, 10}}, 1, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true},
        {{{5, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}, 1, {{10, 0}, {10, 10}, {0, 10}, {0, 0}}, true},
        // The last vertex checked against the first one kept.
        {{{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 5}}, 1, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true},
        // A duplicate, and a vertex within the tolerance of a neighbour.
        {{{0, 0}, {0, 0}, {10, 0}, {10, 10}, {0, 10}}, 0, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, true},
        {{{0, 0}, {1, 1}, {10, 0}, {10, 10}, {0, 10}}, 1, {{1, 1}, {10, 0}, {10, 10}, {0, 10}}, true},
        // A ring that collapses stops at two vertices.
        {{{0, 0}, {5, 0}, {10, 0}}, 1, {{5, 0}, {10, 0}}, true},
    };
    for (const Case& c : cases) {
        std::vector<Point64> ring = c.ring;
        EXPECT_EQ(SimplifyRing(ring, c.t), c.changed);
        ASSERT_EQ(ring.size(), c.expected.size());
        for (std::size_t i = 0; i < ring.size(); ++i) {
            EXPECT_EQ(ring[i].x, c.expected[i].x);
            EXPECT_EQ(ring[i].y, c.expected[i].y);
        }
        ExpectSameAsReference(c.ring, c.t);
    }
}

// Random rings full of duplicates, collinear runs, near misses and
// axis-parallel stretches, at several tolerances.
TEST(SimplifyRing, SameAsErasingOneByOne) {
    std::mt19937_64 random(12);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    for (int round = 0; round < 20000; ++round) {
        const int n = uniform(0, round % 10 == 0 ? 400 : 24);
        const i64 scale = uniform(0, 1) ? 1 : 1000;
        std::vector<Point64> ring;
        i64 x = uniform(-5, 5), y = uniform(-5, 5);
        int dx = 1, dy = 0;
        while (static_cast<int>(ring.size()) < n) {
            switch (uniform(0, 6)) {
                case 0: break;  // duplicate
                case 1:         // straight on
                    x += dx;
                    y += dy;
                    break;
                case 2:  // axis-parallel turn
                    std::swap(dx, dy);
                    if (uniform(0, 1)) dx = -dx, dy = -dy;
                    x += dx * uniform(1, 20);
                    y += dy * uniform(1, 20);
                    break;
                case 3:  // a step of one unit
                    x += uniform(-1, 1);
                    y += uniform(-1, 1);
                    break;
                case 4:  // back along a line
                    x -= 2 * dx;
                    y -= 2 * dy;
                    break;
                default:
                    x = uniform(-30, 30);
                    y = uniform(-30, 30);
                    break;
            }
            ring.push_back({x * scale + (scale > 1 ? uniform(-1, 1) : 0), y * scale});
        }
        for (const i64 t : {i64{0}, i64{1}, i64{2}, i64{1000}}) ExpectSameAsReference(ring, t);
    }
}

}  // namespace
