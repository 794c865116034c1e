// Writes the files of the fracturing's interop check (fracture_interop.sh):
// test polygons, one per layer, and the figures fractured from them, each
// shape's figures on its shape's layer, once for the flash kind and once for
// the photoplot kind, as GDSII for an independent reader to compare.
//
//   zandor_fracture_figures OUTDIR
//
// OUTDIR/rect-input.gds, rect-flash.gds, rect-photo.gds: rectilinear shapes
// (the figures must cover them exactly); rect-missing.gds: the flash figures
// with one left out (the comparison must find it); slanted-input.gds,
// slanted-flash.gds, slanted-photo.gds: shapes with slanted edges.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "formats/gds/SaveGdsFile.h"
#include "geometry/Fracture.h"
#include "model/Geometry.h"
#include "model/Layout.h"
#include "model/ObjectRecord.h"
#include "platform/Diagnostics.h"

using namespace zandor;

namespace {

constexpr std::int32_t kAperture = 400;

// Every figure as a polygon.
class PolygonSink : public FractureSink {
public:
    void EmitRectangle(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) override {
        polygons.push_back({{x1, y1}, {x2, y1}, {x2, y2}, {x1, y2}});
    }
    void EmitRotatedRectangle(double x, double y, double length, double width, double angle) override {
        const double c = std::cos(angle), s = std::sin(angle);
        const double hx = -s * width / 2, hy = c * width / 2;
        polygons.push_back({Round(x - hx, y - hy), Round(x + c * length - hx, y + s * length - hy),
                            Round(x + c * length + hx, y + s * length + hy), Round(x + hx, y + hy)});
    }
    std::int32_t SmallestAperture() override { return kAperture; }
    // A square aperture swept from one end to the other.
    void Stroke(Point from, Point to) override {
        const int h = kAperture / 2;
        const int sx = to.X >= from.X ? 1 : -1, sy = to.Y >= from.Y ? 1 : -1;
        polygons.push_back({{from.X - sx * h, from.Y - sy * h},
                            {from.X + sx * h, from.Y - sy * h},
                            {to.X + sx * h, to.Y - sy * h},
                            {to.X + sx * h, to.Y + sy * h},
                            {to.X - sx * h, to.Y + sy * h},
                            {from.X - sx * h, from.Y + sy * h}});
    }
    void MoveTo(Point p) override { region = {p}; }
    void LineTo(Point p) override { region.push_back(p); }
    void CloseRegion() override { polygons.push_back(region); }

    std::vector<std::vector<Point>> polygons;

private:
    static Point Round(double x, double y) { return {RoundHalfAway(x), RoundHalfAway(y)}; }
    std::vector<Point> region;
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

// A serpentine whose turns sit at many heights: large enough to be cut into
// pieces.
std::vector<Point> Meander(int legs) {
    std::vector<Point> path = {{0, -3000}};
    for (int k = 0; k < legs; ++k) {
        const int y = k % 2 == 0 ? 12000 + (k * 7919 % 10007) * 10 : -600 - (k * 104729 % 10009) * 10;
        path.push_back({k * 1500, y});
        if (k + 1 < legs) path.push_back({(k + 1) * 1500, y});
    }
    return WireOutline(path, 600);
}

std::vector<Point> Spiral(int turns) {
    std::vector<Point> path = {{0, 0}};
    int x = 0, y = 0;
    for (int k = 1; k <= 4 * turns; ++k) {
        const int step = k * 500;
        if (k % 4 == 1) x += step;
        if (k % 4 == 2) y += step;
        if (k % 4 == 3) x -= step;
        if (k % 4 == 0) y -= step;
        path.push_back({x, y});
    }
    return WireOutline(path, 400);
}

std::vector<Point> ArcWire(Point start, Point centre, Point end, std::int32_t width, int endStyle) {
    const Word record[kArcWireLength] = {MakeHeader(kArcWireLength, 1, ObjectKind::ArcWire),
                                         start.X,
                                         start.Y,
                                         centre.X,
                                         centre.Y,
                                         end.X,
                                         end.Y,
                                         MakeArcWidthWord(width, endStyle, false)};
    return ArcWireOutline(record, 72);
}

class Collect : public platform::DiagnosticSink {
public:
    void Report(const platform::Diagnostic& d) override {
        std::fprintf(stderr, "%.*s\n", int(d.text.size()), d.text.data());
        if (d.severity == platform::Severity::Error) failed = true;
    }
    bool failed = false;
};

bool Save(const std::vector<std::vector<std::vector<Point>>>& layers, const std::string& path) {
    Layout layout;
    layout.Clear();
    SymbolDescription* main = layout.MainSymbol();
    for (std::size_t layer = 0; layer < layers.size(); ++layer)
        for (const auto& polygon : layers[layer]) main->AddPolygon(polygon.data(), int(polygon.size()), int(layer) + 1);
    Collect diagnostics;
    if (!SaveGdsFile(layout, path, &diagnostics).Write() || diagnostics.failed) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

std::vector<std::vector<Point>> Figures(const std::vector<Point>& shape, FractureKind kind) {
    const bool photo = kind == FractureKind::Gerber;
    Fracture fracture(shape.data(), int(shape.size()), photo ? 500 : 1000, photo ? 500 : 100);
    fracture.RefineSharpCorners();
    fracture.Transform({});
    fracture.BuildGrid();
    PolygonSink sink;
    fracture.Run(sink, kind);
    return sink.polygons;
}

bool WriteSet(const std::string& dir, const std::string& name, const std::vector<std::vector<Point>>& shapes,
              bool withMissing) {
    std::vector<std::vector<std::vector<Point>>> input, flash, photo;
    for (const auto& shape : shapes) {
        input.push_back({shape});
        flash.push_back(Figures(shape, FractureKind::Mann));
        photo.push_back(Figures(shape, FractureKind::Gerber));
    }
    bool ok = Save(input, dir + "/" + name + "-input.gds") && Save(flash, dir + "/" + name + "-flash.gds") &&
              Save(photo, dir + "/" + name + "-photo.gds");
    if (ok && withMissing) {
        flash.front().pop_back();
        ok = Save(flash, dir + "/" + name + "-missing.gds");
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const std::vector<std::vector<Point>> rectilinear = {
        {{0, 0}, {9000, 0}, {9000, 2000}, {2500, 2000}, {2500, 7000}, {0, 7000}},
        {{0, 0}, {9000, 0}, {9000, 8000}, {7000, 8000}, {7000, 2000}, {2000, 2000}, {2000, 8000}, {0, 8000}},
        {{0, 0},
         {12000, 0},
         {12000, 12000},
         {0, 12000},
         {0, 3500},
         {3500, 3500},
         {3500, 8500},
         {8500, 8500},
         {8500, 3500},
         {3500, 3500},
         {0, 3500}},
        Meander(300),
        Spiral(60),
    };
    const std::vector<std::vector<Point>> slanted = {
        {{0, 0}, {10000, 0}, {0, 10000}},
        {{0, 0}, {17000, 0}, {5000, 11000}},
        RotatedBoxCorners({5000, 5000}, 24000, 1500, 30000),
        CirclePolygon({0, 0}, 20000, 64),
        RingPolygon({0, 0}, 15000, 8000, 96),
        ArcWire({20000, 0}, {0, 0}, {0, 20000}, 4000, 0),
        ArcWire({0, -15000}, {0, 0}, {15000, 0}, 5000, 2),
        CirclePolygon({0, 0}, 2000000, 4096),
    };
    if (!WriteSet(dir, "rect", rectilinear, true) || !WriteSet(dir, "slanted", slanted, false)) return 1;
    return 0;
}
