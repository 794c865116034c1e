// Union of N polygons (axis-parallel rectangles or any-angle triangles):
// Zandor's boolean engine against Clipper and Boost.Polygon, in one process
// on the same input.
//   bool_bench FILE [PEERS]        PEERS: comma-separated subset of zandor,clipper,boost (default: all)
// FILE: N, then one polygon per line: "x1 y1 x2 y2" (a rectangle, corners) or
// "x1 y1 x2 y2 x3 y3" (a triangle), in database units. Prints one line per
// engine: name, n, union area (dbu^2), output contours, vertices, wall time
// and CPU time in ms (feeding, operation and reading back the result for
// Zandor; building the input paths and reading the file are not included).
// With ZANDOR_BOOL_STAGES set, Zandor's stages are timed on stderr.
#include <boost/polygon/polygon.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <polyclipping/clipper.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/Bool_Engine.h"

using namespace zandor;

namespace {

struct Pt {
    long long x, y;
};
using Polygon = std::vector<Pt>;

struct Clock {
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
    std::clock_t cpu = std::clock();
    double WallMs() const {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall).count();
    }
    double CpuMs() const { return 1000.0 * static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC; }
};

void Print(const char* name, std::size_t n, long double area, std::size_t contours, std::size_t vertices,
           const Clock& clock, const char* extra = "") {
    const double wall = clock.WallMs(), cpu = clock.CpuMs();
    std::printf("%s n=%zu union_area=%.0Lf out_contours=%zu vertices=%zu%s time_ms=%.1f cpu_ms=%.1f\n", name, n, area,
                contours, vertices, extra, wall, cpu);
    std::fflush(stdout);
}

// Prints the time spent in each stage when ZANDOR_BOOL_STAGES is set.
class TimedEngine : public Bool_Engine {
public:
    TimedEngine() : enabled_(std::getenv("ZANDOR_BOOL_STAGES") != nullptr) {}
    ~TimedEngine() override { Flush(); }
    void ReportStage(const std::string& text) override {
        if (!enabled_) return;
        Flush();
        stage_ = text;
        while (!stage_.empty() && stage_.back() == '\n') stage_.pop_back();
        since_ = Clock();
    }
    void Flush() {
        if (enabled_ && !stage_.empty())
            std::fprintf(stderr, "  stage %-28s %8.1f ms  (cpu %.1f)\n", stage_.c_str(), since_.WallMs(),
                         since_.CpuMs());
        stage_.clear();
    }

private:
    bool enabled_;
    std::string stage_;
    Clock since_;
};

void RunZandor(const std::vector<Polygon>& polygons) {
    const Clock clock;
    TimedEngine engine;
    ConfigureBooleanEngine(engine, 1);
    for (const Polygon& p : polygons) {
        engine.BeginContour(GroupA);
        for (const Pt& v : p) engine.AddVertex(static_cast<double>(v.x), static_cast<double>(v.y));
        engine.EndContour();
    }
    engine.Execute(OpOr);
    engine.ReportStage("read back");
    // Every result contour is clockwise and holes are joined by cuts, so the
    // union area is minus the sum of the signed areas.
    long double area = 0;
    std::size_t contours = 0, vertices = 0;
    std::vector<std::pair<double, double>> ring;
    while (engine.NextResultContour()) {
        ring.clear();
        while (engine.NextResultVertex()) ring.emplace_back(engine.VertexX(), engine.VertexY());
        for (std::size_t i = 0; i < ring.size(); ++i) {
            const auto& p = ring[i];
            const auto& q = ring[(i + 1) % ring.size()];
            area += static_cast<long double>(p.first) * q.second - static_cast<long double>(q.first) * p.second;
        }
        vertices += ring.size();
        ++contours;
        engine.DropResultContour();
    }
    engine.Flush();
    Print("zandor", polygons.size(), -area / 2, contours, vertices, clock);
}

void RunClipper(const std::vector<Polygon>& polygons) {
    using namespace ClipperLib;
    Paths in(polygons.size());
    for (std::size_t i = 0; i < polygons.size(); ++i) {
        for (const Pt& v : polygons[i]) in[i].push_back(IntPoint(v.x, v.y));
        // One orientation for all: with the nonzero rule, a triangle given the
        // other way round would cancel where it overlaps another.
        if (!Orientation(in[i])) ReversePath(in[i]);
    }
    const Clock clock;
    Clipper clipper;
    clipper.AddPaths(in, ptSubject, true);
    Paths out;
    clipper.Execute(ctUnion, out, pftNonZero, pftNonZero);
    long double area = 0;
    std::size_t vertices = 0;
    for (const Path& p : out) {
        area += Area(p);
        vertices += p.size();
    }
    Print("clipper", polygons.size(), area, out.size(), vertices, clock);
}

// Boost.Polygon: polygon_90_set_data for rectangles (Manhattan), and
// polygon_set_data (any angle) for every input. The result is read as
// polygons with holes, which forces the merge.
namespace gtl = boost::polygon;

// The result's area, contours and vertices (holes counted in both), timed to now.
template <typename PolygonsWithHoles>
void PrintBoost(const char* name, std::size_t n, const PolygonsWithHoles& out, const Clock& clock) {
    long double area = 0;
    std::size_t holes = 0, vertices = 0;
    for (const auto& p : out) {
        area += static_cast<long double>(gtl::area(p));
        holes += gtl::size_holes(p);
        vertices += gtl::size(p);
        for (auto h = gtl::begin_holes(p); h != gtl::end_holes(p); ++h) vertices += gtl::size(*h);
    }
    const std::string extra = " holes=" + std::to_string(holes);
    Print(name, n, area, out.size(), vertices, clock, extra.c_str());
}

void RunBoost(const std::vector<Polygon>& polygons, bool rectangles) {
    using namespace boost::polygon::operators;
    if (rectangles) {
        const Clock clock;
        gtl::polygon_90_set_data<int> set;
        for (const Polygon& p : polygons)
            set.insert(gtl::rectangle_data<int>(static_cast<int>(p[0].x), static_cast<int>(p[0].y),
                                                static_cast<int>(p[2].x), static_cast<int>(p[2].y)));
        std::vector<gtl::polygon_90_with_holes_data<int>> out;
        set.get(out);
        PrintBoost("boost_polygon_90", polygons.size(), out, clock);
    }
    const Clock clock;
    gtl::polygon_set_data<int> set;
    std::vector<gtl::point_data<int>> points;
    for (const Polygon& p : polygons) {
        points.clear();
        for (const Pt& v : p) points.emplace_back(static_cast<int>(v.x), static_cast<int>(v.y));
        gtl::polygon_data<int> poly;
        poly.set(points.begin(), points.end());
        set.insert(poly);
    }
    std::vector<gtl::polygon_with_holes_data<int>> out;
    set.get(out);
    PrintBoost("boost_polygon_any", polygons.size(), out, clock);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bool_bench FILE [zandor,clipper,boost]\n");
        return 2;
    }
    const std::string peers = "," + std::string(argc > 2 ? argv[2] : "zandor,clipper,boost") + ",";
    auto wanted = [&](const char* name) { return peers.find("," + std::string(name) + ",") != std::string::npos; };
    FILE* f = std::fopen(argv[1], "r");
    long n = 0;
    if (!f || std::fscanf(f, "%ld", &n) != 1 || n < 0) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    std::vector<Polygon> polygons;
    polygons.reserve(static_cast<std::size_t>(n));
    bool rectangles = true;
    char line[512];
    if (!std::fgets(line, sizeof line, f)) line[0] = 0;  // rest of the first line
    while (polygons.size() < static_cast<std::size_t>(n) && std::fgets(line, sizeof line, f)) {
        long long v[7];
        const int count =
            std::sscanf(line, "%lld %lld %lld %lld %lld %lld %lld", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]);
        if (count == 4) {
            polygons.push_back({{v[0], v[1]}, {v[2], v[1]}, {v[2], v[3]}, {v[0], v[3]}});
        } else if (count == 6) {
            rectangles = false;
            polygons.push_back({{v[0], v[1]}, {v[2], v[3]}, {v[4], v[5]}});
        } else if (count > 0) {
            std::fprintf(stderr, "bad line in %s: %s", argv[1], line);
            return 2;
        }
    }
    std::fclose(f);
    if (polygons.size() != static_cast<std::size_t>(n)) {
        std::fprintf(stderr, "short file %s\n", argv[1]);
        return 2;
    }
    if (wanted("zandor")) {
        try {
            RunZandor(polygons);
        } catch (const Bool_Engine_Error& e) {
            std::printf("zandor n=%zu error=\"%s\"\n", polygons.size(), e.GetErrorMessage().c_str());
            return 1;
        }
    }
    if (wanted("clipper")) RunClipper(polygons);
    if (wanted("boost")) RunBoost(polygons, rectangles);
    return 0;
}
