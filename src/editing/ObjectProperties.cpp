#include "editing/ObjectProperties.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "editing/NodeEditing.h"
#include "editing/SelectionEdits.h"
#include "geometry/TextOutlines.h"
#include "model/Geometry.h"
#include "model/Layout.h"
#include "model/RecordTransform.h"
#include "model/RecordViews.h"
#include "model/SymbolDescription.h"

namespace zandor {

namespace {

bool Within(double v) { return std::isfinite(v) && std::fabs(v) <= static_cast<double>(kNodeCoordinateLimit); }
bool Within(const Rect& box) { return Within(box.minx) && Within(box.miny) && Within(box.maxx) && Within(box.maxy); }

// The words after the header are the same.
bool SameBody(const Word* record, const std::vector<Word>& copy) {
    const int length = RecordLength(record);
    return static_cast<int>(copy.size()) >= length && RecordLength(copy.data()) == length &&
           std::equal(record + 1, record + length, copy.begin() + 1);
}

}  // namespace

PlacementShown ShowPlacement(const TransformMatrix& m) {
    const DecomposedTransform parts = DecomposeTransform(m);
    PlacementShown shown;
    shown.x = static_cast<std::int32_t>(std::clamp(std::trunc(parts.tx), -2147483648.0, 2147483647.0));
    shown.y = static_cast<std::int32_t>(std::clamp(std::trunc(parts.ty), -2147483648.0, 2147483647.0));
    shown.xScalePercent = parts.scaleX * 100;
    shown.yScalePercent = parts.scaleY * 100;
    shown.angleDegrees = RoundHalfAway(parts.angle * 180000 / kPi) * 0.001;
    shown.lockAspect = parts.scaleX == parts.scaleY;
    return shown;
}

TransformMatrix PlacementMatrix(double scaleX, double scaleY, double radians, std::int32_t x, std::int32_t y) {
    const double cosine = std::cos(radians), sine = std::sin(radians);
    return {scaleX * cosine, scaleX * sine, -scaleY * sine, scaleY * cosine, double(x), double(y)};
}

ArrayLattice ShowArrayLattice(const Word* record) {
    const ArrayView array(record);
    ArrayLattice shown;
    shown.origin = array.Origin();
    shown.magnification = std::fabs(array.Magnification());
    shown.mirrored = array.Magnification() < 0;
    shown.angleDegrees = RoundHalfAway(array.AngleDegrees() * 1000) * 0.001;
    shown.columns = array.Columns();
    shown.rows = array.Rows();
    const auto spacing = [&](Point end, std::int32_t count) {
        if (count <= 0) return 0;
        const double dx = (double(end.X) - shown.origin.X) / count, dy = (double(end.Y) - shown.origin.Y) / count;
        return RoundHalfAway(std::sqrt(dx * dx + dy * dy));
    };
    shown.columnSpacing = spacing(array.ColumnEnd(), shown.columns);
    shown.rowSpacing = spacing(array.RowEnd(), shown.rows);
    return shown;
}

bool WriteArrayLattice(Word* record, ArrayLattice lattice) {
    double angle = lattice.angleDegrees;
    if (!std::isfinite(angle)) return false;
    angle = std::fmod(angle, 360.0);
    while (angle < -180) angle += 360;
    while (angle > 180) angle -= 360;
    const double magnification = lattice.mirrored ? -lattice.magnification : lattice.magnification;

    double x0 = lattice.origin.X, y0 = lattice.origin.Y;
    double c = lattice.columnSpacing, r = lattice.rowSpacing;
    const double columns = lattice.columns, rows = lattice.rows;
    if (c < 0) {
        x0 += (columns - 1) * c;
        c = -c;
    }
    if (r < 0) {
        y0 += (lattice.mirrored ? -1 : 1) * (rows - 1) * r;
        r = -r;
    }
    const double columnEndX = x0 + columns * c;
    const double rowEndY = lattice.mirrored ? y0 - rows * r : y0 + rows * r;
    // The ends are turned with RotatePoint, which takes 32-bit points.
    if (!Within(x0) || !Within(y0) || !Within(columnEndX) || !Within(rowEndY)) return false;
    const Point origin{static_cast<std::int32_t>(x0), static_cast<std::int32_t>(y0)};
    const Point columnEnd = RotatePoint({static_cast<std::int32_t>(columnEndX), origin.Y}, x0, y0, angle);
    const Point rowEnd = RotatePoint({origin.X, static_cast<std::int32_t>(rowEndY)}, x0, y0, angle);
    for (const Point& p : {columnEnd, rowEnd})
        if (!Within(p.X) || !Within(p.Y)) return false;

    const ArrayView array(record);
    array.SetCounts(lattice.columns, lattice.rows);
    array.SetMagnification(magnification);
    array.SetAngleDegrees(angle);
    array.SetLattice(origin, columnEnd, rowEnd);
    return true;
}

double SurfaceAreaSquareMicrons(const Point* nodes, int count) {
    __int128 twice = 0;
    for (int i = 0; i < count; ++i) {
        const Point& p = nodes[i];
        const Point& q = nodes[(i + 1) % count];
        twice += static_cast<__int128>(p.X) * q.Y - static_cast<__int128>(q.X) * p.Y;
    }
    if (twice < 0) twice = -twice;
    return static_cast<double>(twice) / 2 / 1e6;
}

std::int64_t WireTotalLength(const Point* nodes, int count) {
    std::int64_t total = 0;
    for (int i = 1; i < count; ++i) {
        const double dx = double(nodes[i].X) - nodes[i - 1].X, dy = double(nodes[i].Y) - nodes[i - 1].Y;
        total += RoundHalfAway(std::sqrt(dx * dx + dy * dy));
    }
    return total;
}

int MaxNodes(ObjectKind kind) {
    return kind == ObjectKind::Polygon ? kMaxPolygonNodes : (kMaxRecordLength - kWireBaseLength) / 2;
}

std::vector<Word> RecordWithNodes(const Word* original, const std::vector<Point>& nodes) {
    const ObjectKind kind = RecordKind(original);
    const int count = static_cast<int>(nodes.size());
    if (count > MaxNodes(kind)) return {};
    const int first = kind == ObjectKind::Polygon ? kPolygonBaseLength : kWireBaseLength;
    std::vector<Word> record(static_cast<std::size_t>(first + 2 * count));
    std::copy(original, original + first, record.begin());
    SetRecordLength(record.data(), static_cast<int>(record.size()));
    if (count > 0) std::memcpy(record.data() + first, nodes.data(), nodes.size() * sizeof(Point));
    const Rect box = PointsBounds(nodes.data(), count);
    record[1] = box.minx;
    record[2] = box.miny;
    record[3] = box.maxx;
    record[4] = box.maxy;
    return record;
}

bool WithinCoordinateLimit(Word* record, Layout* layout) {
    bool within = true;
    ForEachStoredPoint(record, [&](std::int32_t x, std::int32_t y) { within = within && Within(x) && Within(y); });
    if (!within) return false;
    if (IsHead(record)) return true;
    return Within(ObjectBounds(record, layout));
}

bool TextWithinCoordinateLimit(std::string_view text, std::int32_t height, const TransformMatrix& m,
                               const LOGFONTA& font) {
    SymbolDescription aside(nullptr);
    if (AddTextOutlinesWithMatrix(aside, text, height, TransformMatrix{}, 0, font) < 0) return false;
    const Rect box = aside.Bounds();
    if (!Within(box)) return false;
    for (const double x : {double(box.minx), double(box.maxx)}) {
        for (const double y : {double(box.miny), double(box.maxy)}) {
            if (!Within(m.a * x + m.c * y + m.tx) || !Within(m.b * x + m.d * y + m.ty)) return false;
        }
    }
    return true;
}

bool CopyDiffers(const Word* record, const std::vector<Word>& copy, int layer) {
    if (copy.empty()) return false;
    if (!SameBody(record, copy)) return true;
    return !IsCallKind(RecordKind(record)) && RecordLayer(record) != layer;
}

bool CommitObjectCopy(SymbolDescription& symbol, const std::vector<Word>& copy, int layer) {
    Word* record = symbol.CurrentObject();
    if (!record || !CopyDiffers(record, copy, layer)) return false;
    std::vector<Word> contents(copy.begin(), copy.begin() + RecordLength(copy.data()));
    // Calls and arrays have no layer of their own: their byte stays.
    if (!IsCallKind(RecordKind(record))) SetRecordLayer(contents.data(), layer);
    SetSelectedBit(contents.data(), IsSelected(record));
    return ReplaceSelectionRecord(symbol, record, contents.data()) != nullptr;
}

bool CommitTextCopy(SymbolDescription& symbol, const std::vector<Word>& copy, int layer, std::string_view text) {
    Word* record = symbol.CurrentObject();
    if (!record || RecordKind(record) != ObjectKind::Text || !CopyDiffers(record, copy, layer)) return false;
    if (SameBody(record, copy)) {
        SetSelectionLayer(symbol, layer);
        return true;
    }
    const TextView edited(copy.data());
    const std::int32_t height = edited.Height();
    const TransformMatrix matrix = edited.Matrix();
    const LOGFONTA font = edited.Font();
    DeleteSelection(symbol);
    const std::int64_t head = AddTextOutlinesWithMatrix(symbol, text, height, matrix, layer, font);
    if (head >= 0) {
        Word* made = symbol.RecordAt(static_cast<std::int32_t>(head));
        symbol.SetSelected(made);
        symbol.SetCurrentObject(made);
    }
    symbol.UpdateSelection();
    return true;
}

}  // namespace zandor
