// What the flashes cover: polygons (rectilinear, at 45 degrees, at other
// angles), wires, circles and rings written by the Mann and EMK writers and
// read back cover the shapes they came from, up to the output resolution
// (and, for curves, the writers' approximation); a layer of a real cell
// comes back with no area lost or added.
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "FlashTest.h"
#include "editing/ObjectPolygons.h"
#include "formats/AllFormats.h"
#include "formats/emk/LoadEmkFile.h"
#include "formats/mann/LoadManFile.h"
#include "geometry/PolygonArea.h"
#include "model/HierarchyWalker.h"

using namespace zandor;

namespace {

// Feeds the shapes of one layer, through every call and array.
struct LayerFeed : WalkVisitor {
    LayerFeed(Bool_Engine& engine, const Layout& layout, int layer, GroupType group)
        : engine(engine), layout(layout), layer(layer), group(group) {}
    void Object(const Word* r, const TransformMatrix& m, int) {
        if (IsHead(r) || RecordKind(r) == ObjectKind::Measurement || (layer >= 0 && RecordLayer(r) != layer)) return;
        FeedObject(engine, layout, *layout.MainSymbol(), r, m, group);
    }
    Bool_Engine& engine;
    const Layout& layout;
    int layer;
    GroupType group;
};

// Square micrometres of one operation of a layer of `a` (every layer for -1)
// with all of `b`.
double Area(const Layout& a, int layer, const Layout* b, BooleanOperation operation) {
    Bool_Engine engine;
    LayerFeed first(engine, a, layer, GroupA);
    HierarchyWalker(a).Walk(*a.MainSymbol(), TransformMatrix{}, first);
    if (b) {
        LayerFeed second(engine, *b, -1, GroupB);
        HierarchyWalker(*b).Walk(*b->MainSymbol(), TransformMatrix{}, second);
    }
    engine.Execute(operation);
    return ResultContoursAreaUm2(engine);
}

struct Format {
    const char* what;
    bool emk;
    MannOptions mann;
    EmkOptions emkOptions;
    double unitUm;  // the output unit in micrometres
};

std::vector<Format> Formats() {
    MannOptions single = test::PlainMann(true), four = test::PlainMann(false);
    EmkOptions emk;
    emk.minFlash = 0.1;
    return {{"Mann, 1 um", false, single, {}, 1},
            {"Mann, 0.1 um", false, four, {}, 0.1},
            {"EMK, 0.1 um", true, {}, emk, 0.1}};
}

// The length of the outlines of the rectangles and polygons of a layer, in
// micrometres.
double Outline(const Layout& layout, int layer) {
    struct Sum : WalkVisitor {
        void Object(const Word* r, const TransformMatrix&, int) {
            if (RecordLayer(r) != layer) return;
            if (RecordKind(r) == ObjectKind::Rectangle) {
                const Rect b = RectangleView(r).Box();
                length += 2.0 * (double(b.maxx) - b.minx + double(b.maxy) - b.miny);
            } else if (RecordKind(r) == ObjectKind::Polygon) {
                const PolygonView polygon(r);
                const int n = polygon.NodeCount();
                for (int k = 0; k < n; ++k) {
                    const Point a = polygon.Node(k), b = polygon.Node((k + 1) % n);
                    length += std::hypot(double(b.X) - a.X, double(b.Y) - a.Y);
                }
            }
        }
        int layer = 0;
        double length = 0;
    } sum;
    sum.layer = layer;
    HierarchyWalker(layout).Walk(*layout.MainSymbol(), TransformMatrix{}, sum);
    return sum.length / 1000;
}

class FlashCoverage : public test::FlashTest {
protected:
    // Writes layer 1 in the format, reads it back into `loaded` and returns
    // the area of the exclusive or, in square micrometres.
    double RoundTrip(const Format& f) {
        if (f.emk) {
            WriteEmk(f.emkOptions, "cover.emk");
            loaded.Clear();
            EXPECT_TRUE(LoadEmkFile(loaded, Path("cover.emk"), f.emkOptions).Read());
        } else {
            WriteMann(f.mann, "cover.man");
            loaded.Clear();
            EXPECT_TRUE(LoadManFile(loaded, Path("cover.man"), f.mann).Read());
        }
        EXPECT_TRUE(written);
        return Area(layout, 1, &loaded, OpExor);
    }
    Layout loaded;
};

TEST_F(FlashCoverage, PolygonsComeBackWithinTheResolution) {
    struct Shape {
        const char* what;
        std::vector<Point> points;  // um
    };
    const std::vector<Shape> shapes = {
        {"rectilinear L", {{0, 0}, {100, 0}, {100, 40}, {40, 40}, {40, 100}, {0, 100}}},
        {"octagon at 45 degrees", {{20, 0}, {80, 0}, {100, 20}, {100, 80}, {80, 100}, {20, 100}, {0, 80}, {0, 20}}},
        {"right triangle", {{0, 0}, {100, 0}, {0, 100}}},
        {"comb",
         {{0, 0},
          {90, 0},
          {90, 60},
          {70, 60},
          {70, 20},
          {50, 20},
          {50, 60},
          {30, 60},
          {30, 20},
          {10, 20},
          {10, 60},
          {0, 60}}},
        {"slanted at 30 degrees", {{0, 0}, {87, 50}, {62, 93}, {-25, 43}}},
    };
    for (const Format& f : Formats()) {
        for (const Shape& s : shapes) {
            SCOPED_TRACE(std::string(f.what) + ", " + s.what);
            layout.Clear();
            std::vector<Point> nm;
            double perimeter = 0;
            for (std::size_t k = 0; k < s.points.size(); ++k) {
                nm.push_back({s.points[k].X * 1000 + 1000000, s.points[k].Y * 1000 + 1000000});
                const Point a = s.points[k], b = s.points[(k + 1) % s.points.size()];
                perimeter += std::hypot(b.X - a.X, b.Y - a.Y);
            }
            Main().AddPolygon(nm.data(), static_cast<int>(nm.size()), 1);
            const double area = Area(layout, 1, nullptr, OpOr);
            const double difference = RoundTrip(f);
            // A strip of one output unit along the outline.
            EXPECT_LE(difference, perimeter * f.unitUm) << "of " << area << " um2";
            EXPECT_GT(Area(loaded, -1, nullptr, OpOr), 0.9 * area);
        }
    }
}

TEST_F(FlashCoverage, WiresCirclesAndRingsAreCoveredAsTheWritersApproximateThem) {
    struct Shape {
        const char* what;
        void (*add)(SymbolDescription&);
        double outline;  // um
    };
    const std::vector<Shape> shapes = {
        {"wire with flat ends and joints",
         [](SymbolDescription& s) {
             const Point p[] = {{0, 0}, {100000, 0}, {100000, 80000}, {30000, 150000}};
             s.AddWire(p, 4, 10000, static_cast<int>(EndStyle::Flat), 1);
         },
         580},
        {"wire with round ends",
         [](SymbolDescription& s) {
             const Point p[] = {{0, 0}, {100000, 50000}};
             s.AddWire(p, 2, 20000, static_cast<int>(EndStyle::Round), 1);
         },
         290},
        {"wire with extended ends",
         [](SymbolDescription& s) {
             const Point p[] = {{0, 0}, {100000, 0}};
             s.AddWire(p, 2, 10000, static_cast<int>(EndStyle::Extended), 1);
         },
         240},
        {"narrow wire with many joints",
         [](SymbolDescription& s) {
             std::vector<Point> p;
             for (int k = 0; k <= 20; ++k) p.push_back({(k + 1) / 2 * 5000, k / 2 * 5000});
             s.AddWire(p.data(), static_cast<int>(p.size()), 1000, static_cast<int>(EndStyle::Flat), 1);
         },
         200},
        {"circle", [](SymbolDescription& s) { s.AddCircle(50000, 50000, 40000, 1); }, 251},
        {"ring", [](SymbolDescription& s) { s.AddRing(50000, 50000, 40000, 10000, 1); }, 503},
    };
    for (const Format& f : Formats()) {
        for (const Shape& s : shapes) {
            SCOPED_TRACE(std::string(f.what) + ", " + s.what);
            layout.Clear();
            s.add(Main());
            const double area = Area(layout, 1, nullptr, OpOr);
            const double difference = RoundTrip(f);
            // A strip of one output unit along the outline, and what the
            // chords of curves and the corners of joints leave out or add.
            EXPECT_LE(difference, s.outline * f.unitUm + 0.03 * area) << "of " << area << " um2";
        }
    }
}

TEST_F(FlashCoverage, EveryLayerOfACellComesBack) {
    RegisterFileFormats();
    ASSERT_TRUE(layout.Load("data/gds/sky130_fd_sc_hd__dfxtp_1.gds"));
    MannOptions o = test::PlainMann(false);
    o.resolution = o.minFlash = 0.000001;  // 1 nm
    int layers = 0;
    for (int layer = 0; layer < kLayerCount; ++layer) {
        if (!layout.Layer(layer)) continue;
        const double area = Area(layout, layer, nullptr, OpOr);
        if (area == 0) continue;
        SCOPED_TRACE("layer " + std::to_string(layer));
        ++layers;
        ASSERT_TRUE(ExportManFile(layout, Path("cell.man"), layer, o).Write());
        loaded.Clear();
        ASSERT_TRUE(LoadManFile(loaded, Path("cell.man"), o).Read());
        // A strip of 1 nm along every outline.
        EXPECT_LE(Area(layout, layer, &loaded, OpExor), Outline(layout, layer) * 0.001);
    }
    EXPECT_GT(layers, 5);
}

}  // namespace
