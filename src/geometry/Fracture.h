// Cutting one polygon into the figures pattern generators and photoplotters
// expose: axis-parallel rectangles for everything a grid of the polygon's own
// coordinates covers exactly, rotated rectangles laid along slanted edges,
// and (for photoplots) aperture strokes and small regions for what is left.
// The figures go straight to the writer through FractureSink.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "model/Types.h"

namespace zandor {

// What a writer does with the figures; coordinates are transformed database
// units.
class FractureSink {
public:
    virtual ~FractureSink() = default;
    // An axis-parallel rectangle given by two opposite corners, in any order.
    virtual void EmitRectangle(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) = 0;
    // A rectangle starting at (x, y), the midpoint of one short side, running
    // `length` along `angle` (radians from +X) and reaching width/2 to either
    // side of that line.  Flash writers only.
    virtual void EmitRotatedRectangle(double x, double y, double length, double width, double angle) {
        (void)x, (void)y, (void)length, (void)width, (void)angle;
    }
    // Photoplot writers only: the size of the smallest aperture (0 when there
    // is none), a stroke with it, and a closed region built by MoveTo,
    // LineTo... and CloseRegion.
    virtual std::int32_t SmallestAperture() { return 0; }
    virtual void Stroke(Point from, Point to) { (void)from, (void)to; }
    virtual void MoveTo(Point p) { (void)p; }
    virtual void LineTo(Point p) { (void)p; }
    virtual void CloseRegion() {}
};

enum class FractureKind { Emk = 1, Mann = 2, Gerber = 3 };

// One polygon, used once: construct, RefineSharpCorners, Transform,
// BuildGrid, (the photoplot accessors), one Run, destroy.
class Fracture {
public:
    // `record` is a polygon record; any other kind gives no points and no
    // figures.  minFigure (s1) is the writer's minimum flash size, overlap
    // (s2) the margin bands may fall short of a cell and are pulled in by.
    Fracture(const Word* record, std::int32_t minFigure, std::int32_t overlap);
    // The same for a ring of points (an arc-wire outline, a test shape).
    Fracture(const Point* points, int count, std::int32_t minFigure, std::int32_t overlap);
    ~Fracture();
    Fracture(const Fracture&) = delete;
    Fracture& operator=(const Fracture&) = delete;

    void RefineSharpCorners();
    void Transform(const TransformMatrix& m);
    // Lays the grid of the polygon's own X and Y values.  A polygon whose grid
    // would be large is first cut into pieces, each on its own small grid, so
    // that time and memory do not grow with the square of the vertex count.
    void BuildGrid();
    // The cells of all grids BuildGrid laid; 0 before it.
    std::int64_t CellCount() const;

    // The refined, transformed ring (closed: last point = first).
    bool IsRectilinear() const;
    int PointCount() const;
    std::vector<Point> Points() const;
    // Moves the ring inwards by d and closes it again.
    void Inset(std::int32_t d);

    // Emits the figures.  Flash kinds return whether rounding errors are
    // possible (a cell the figures may not cover exactly).
    bool Run(FractureSink& sink, FractureKind kind);

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace zandor
