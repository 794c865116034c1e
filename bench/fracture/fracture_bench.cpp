// Fracturing large polygons: figures, time and peak memory for a circle of
// 4096 segments, a serpentine wire outline of 50,000 vertices whose turns sit
// at many heights, a square spiral wire outline, and two hard cases: a star of
// long spikes through one centre and an outline through scattered points.
// Each case runs in a child process so that its peak resident size is its own.
//
//   fracture_bench            circle, meander and spiral
//   fracture_bench <case>     one case in this process (also star, scatter)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "geometry/Fracture.h"
#include "model/Geometry.h"

using namespace zandor;

namespace {

class CountingSink : public FractureSink {
public:
    void EmitRectangle(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override { ++rectangles; }
    void EmitRotatedRectangle(double, double, double, double, double) override { ++rotated; }
    long rectangles = 0;
    long rotated = 0;
};

// Outline of a rectilinear centre path of width w (mitred corners, flat ends).
std::vector<Point> WireOutline(const std::vector<Point>& path, int w) {
    const int h = w / 2;
    auto normal = [](Point a, Point b) {
        return Point{b.Y > a.Y ? -1 : b.Y < a.Y ? 1 : 0, b.X > a.X ? 1 : b.X < a.X ? -1 : 0};
    };
    std::vector<Point> left, right;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const Point n1 = i > 0 ? normal(path[i - 1], path[i]) : normal(path[i], path[i + 1]);
        const Point n2 = i + 1 < path.size() ? normal(path[i], path[i + 1]) : n1;
        const Point n = n1 == n2 ? n1 : Point{n1.X + n2.X, n1.Y + n2.Y};
        left.push_back({path[i].X + h * n.X, path[i].Y + h * n.Y});
        right.push_back({path[i].X - h * n.X, path[i].Y - h * n.Y});
    }
    left.insert(left.end(), right.rbegin(), right.rend());
    return left;
}

std::vector<Point> Meander(int legs, int w, int p) {
    std::vector<Point> path = {{0, -5 * w}};
    for (int k = 0; k < legs; ++k) {
        const int y = k % 2 == 0 ? 20 * w + (k * 7919 % 997) * 3 * w / 2 : -w - (k * 104729 % 991) * w;
        path.push_back({k * p, y});
        if (k + 1 < legs) path.push_back({(k + 1) * p, y});
    }
    return WireOutline(path, w);
}

std::vector<Point> Spiral(int turns, int w, int p) {
    std::vector<Point> path = {{0, 0}};
    int x = 0, y = 0;
    for (int k = 1; k <= 4 * turns; ++k) {
        const int step = k * p / 2;
        switch (k % 4) {
            case 1: x += step; break;
            case 2: y += step; break;
            case 3: x -= step; break;
            case 0: y -= step; break;
        }
        path.push_back({x, y});
    }
    return WireOutline(path, w);
}

// A star of long slanted spikes through one centre: every cell near the centre
// is crossed by many edges, and no cut separates them.
std::vector<Point> Star(int spikes, int outer, int inner) {
    std::vector<Point> points;
    for (int k = 0; k < 2 * spikes; ++k) {
        const double angle = kPi * k / spikes;
        const double r = k % 2 == 0 ? outer : inner;
        points.push_back({RoundHalfAway(r * std::cos(angle)), RoundHalfAway(r * std::sin(angle))});
    }
    return points;
}

// Points scattered at random: an outline crossing itself everywhere.
std::vector<Point> Scatter(int count, int size) {
    std::vector<Point> points;
    std::uint64_t state = 88172645463325252ull;
    auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return int(state % std::uint64_t(size));
    };
    for (int k = 0; k < count; ++k) points.push_back({next(), next()});
    return points;
}

std::vector<Point> Case(const std::string& name) {
    if (name == "circle") return CirclePolygon({0, 0}, 5000000, 4096);
    if (name == "meander") return Meander(12500, 600, 1500);
    if (name == "spiral") return Spiral(6250, 400, 1000);
    if (name == "star") return Star(2000, 5000000, 1000);
    if (name == "scatter") return Scatter(2000, 10000000);
    return {};
}

std::int64_t DistinctProduct(const std::vector<Point>& points) {
    std::vector<int> xs, ys;
    for (const Point& p : points) xs.push_back(p.X), ys.push_back(p.Y);
    std::sort(xs.begin(), xs.end());
    std::sort(ys.begin(), ys.end());
    const auto nx = std::unique(xs.begin(), xs.end()) - xs.begin();
    const auto ny = std::unique(ys.begin(), ys.end()) - ys.begin();
    return std::int64_t(nx - 1) * (ny - 1);
}

int RunOne(const std::string& name) {
    const std::vector<Point> points = Case(name);
    if (points.empty()) {
        std::fprintf(stderr, "unknown case '%s' (circle, meander, spiral, star, scatter)\n", name.c_str());
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    Fracture fracture(points.data(), int(points.size()), 1000, 100);
    fracture.RefineSharpCorners();
    fracture.Transform({});
    fracture.BuildGrid();
    CountingSink sink;
    const bool risk = fracture.Run(sink, FractureKind::Mann);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "%-8s vertices %6zu  grid cells %10lld (one grid would have %lld)  rectangles %7ld  rotated %6ld"
        "  risk %d  %.3f s  peak %ld KiB\n",
        name.c_str(), points.size(), static_cast<long long>(fracture.CellCount()),
        static_cast<long long>(DistinctProduct(points)), sink.rectangles, sink.rotated, int(risk), seconds,
        usage.ru_maxrss);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) return RunOne(argv[1]);
    int status = 0;
    for (const char* name : {"circle", "meander", "spiral"}) {
        std::fflush(stdout);
        const pid_t child = fork();
        if (child == 0) {
            const int code = RunOne(name);
            std::fflush(stdout);
            _exit(code);
        }
        int childStatus = 0;
        waitpid(child, &childStatus, 0);
        if (!WIFEXITED(childStatus) || WEXITSTATUS(childStatus) != 0) status = 1;
    }
    return status;
}
