// The grid of one polygon piece and the three passes that turn it into
// figures: bands along slanted edges, strips of whole cells, and the cells
// that slanted edges cross.  Fracture cuts large polygons into pieces first and
// runs one FractureCells per piece, so that a grid never grows with the square
// of the whole polygon's vertex count.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "geometry/Fracture.h"
#include "model/Types.h"

namespace zandor::fracture_detail {

// One directed edge of a polygon or of a piece of it.
struct FractureEdge {
    Point a, b;
};

// A polygon, or a piece of one, as its edges, on the grid of its own X and Y
// values.  A whole polygon's edges are its ring in order; a piece's edges are
// the polygon's edges clipped to the piece's window, plus vertical edges on the
// window's right side that stand for what lies to the right of the window, so
// that the even-odd test of every point inside the window gives what it gives
// for the whole polygon.  Inside a bounded window the figures stay inside the
// window.  The edges are read, not copied, and must outlive the object.
class FractureCells {
public:
    // orientation: the sign of the whole polygon's area (its inside lies on
    // the left of each edge when positive).
    FractureCells(const std::vector<FractureEdge>& edges, double orientation, const Rect& window, bool bounded,
                  std::int32_t minFigure, std::int32_t overlap);

    // Emits the figures; true when some cell may not be covered exactly.
    bool Run(FractureSink& sink, FractureKind kind);

    // The number of cells of the grid over the edges' X and Y values and the
    // window's sides.
    static std::int64_t CellCountOf(const std::vector<FractureEdge>& edges, const Rect& window);

private:
    struct Vec {
        double x = 0, y = 0;
    };

    bool Slanted(int edge) const;
    std::uint32_t& Cell(int i, int j) { return cells[std::size_t(i) * nX + j]; }
    Rect CellRect(int i, int j) const { return {xs[j - 1], ys[i - 1], xs[j], ys[i]}; }
    template <typename F>
    void ForEachCrossedCell(int edge, F&& visit) const;
    void BuildCells();
    void ClassifyCells();
    // The slanted edges that cross cell (i, j), in ring order.
    std::vector<int> EdgesOfCell(int i, int j) const;

    void BuildRowIndex() const;
    bool Inside(double x, double y) const;
    bool Inside(Point p) const { return Inside(double(p.X), double(p.Y)); }
    // True when segment p-q properly crosses a ring edge or passes through a
    // ring vertex; touching at p or q alone does not count.
    bool Crosses(Vec p, Vec q) const;
    Vec InwardNormal(int edge) const;

    void Emit(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2);
    void EmitRotated(Vec start, double length, double width, double angle);

    void BandPass();
    bool BandFits(int edge, double t) const;
    void MarkCoveredByBand(Vec a, Vec b, Vec n, double t);
    void StripPass();
    void PartialCellPass();
    void SingleEdgeCell(int i, int j, int edge);
    void MultiEdgeCell(int i, int j, const std::vector<int>& through);
    struct Line;
    void FillSlab(double xa, double xb, const Line& lower, const Line& upper, int depth);
    void Staircase(Point a, Point b, Point p, int depth);
    void GerberTriangle(Point e, Point f, Point p);

    const std::vector<FractureEdge>& edges;
    int edgeCount = 0;
    std::int64_t s1 = 1;
    std::int64_t s2 = 0;
    double orientation = 1;  // +1 when the polygon runs counter-clockwise
    Rect window;
    bool bounded = false;
    std::vector<std::int32_t> xs, ys;
    int nX = 0, nY = 0;
    std::vector<std::uint32_t> cells;
    // (cell index, edge) for every slanted edge crossing a cell, by cell.
    std::vector<std::pair<std::uint32_t, int>> crossings;
    bool partial = false;
    // Built on the first inside test: edges by grid row.
    mutable bool rowIndexed = false;
    mutable std::vector<std::uint32_t> rowStart;
    mutable std::vector<int> rowEdges;

    FractureSink* sink = nullptr;
    FractureKind kind = FractureKind::Mann;
    bool risk = false;
};

}  // namespace zandor::fracture_detail
