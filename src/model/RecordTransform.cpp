#include "model/RecordTransform.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "model/Geometry.h"
#include "model/RecordViews.h"
#include "model/SymbolDescription.h"
#include "model/UndoList.h"

namespace zandor {

namespace {

std::int32_t Add(std::int32_t a, std::int32_t b) { return SaturateToInt32(std::int64_t{a} + b); }

Point PointAt(const Word* r, int word) { return {r[word], r[word + 1]}; }
void SetPoint(Word* r, int word, Point p) {
    r[word] = p.X;
    r[word + 1] = p.Y;
}

// Node extent of a polygon or wire, in w1..w4.
void RecomputeExtent(Word* r, const Point* nodes, int n) {
    if (n <= 0) return;
    Rect box{nodes[0].X, nodes[0].Y, nodes[0].X, nodes[0].Y};
    for (int i = 1; i < n; ++i) {
        box.minx = std::min(box.minx, nodes[i].X);
        box.miny = std::min(box.miny, nodes[i].Y);
        box.maxx = std::max(box.maxx, nodes[i].X);
        box.maxy = std::max(box.maxy, nodes[i].Y);
    }
    r[1] = box.minx;
    r[2] = box.miny;
    r[3] = box.maxx;
    r[4] = box.maxy;
}

// A cached extent mapped corner by corner and put in order again.
void ScaleExtent(Word* r, double cx, double cy, double fx, double fy) {
    const Point a = ScalePoint(PointAt(r, 1), cx, cy, fx, fy);
    const Point b = ScalePoint(PointAt(r, 3), cx, cy, fx, fy);
    r[1] = std::min(a.X, b.X);
    r[2] = std::min(a.Y, b.Y);
    r[3] = std::max(a.X, b.X);
    r[4] = std::max(a.Y, b.Y);
}

int MatrixWord(ObjectKind kind) {
    switch (kind) {
        case ObjectKind::Text: return kTextMatrixWord;
        case ObjectKind::Script: return kScriptMatrixWord;
        default: return kCallMatrixWord;
    }
}

bool Uniform(double fx, double fy) { return std::fabs(fx) == std::fabs(fy); }

// A width scaled by the mean of the two factors.
std::int32_t MeanScaled(std::int32_t width, double fx, double fy) {
    return RoundHalfAway((std::fabs(fx) + std::fabs(fy)) * width / 2);
}

// Applies `one` to the record and, for a head that is not a member, to each
// member that follows it.  `one` returns false for a record it leaves alone.
template <typename Transform>
bool WithMembers(SymbolDescription& symbol, Word* record, Transform one) {
    bool all = one(record);
    if (!IsHead(record) || IsMember(record)) return all;
    const int members = MemberCount(record);
    Word* r = symbol.NextRecord(record);
    for (int k = 0; k < members && r && IsMember(r); ++k, r = symbol.NextRecord(r)) all = one(r) && all;
    return all;
}

void NoteModified(SymbolDescription& symbol, const Word* r) { symbol.Undo().RecordModified(symbol.OffsetOf(r), r); }

}  // namespace

Point RotatePoint(Point p, double cx, double cy, double degrees) {
    const double u = p.X - cx, v = p.Y - cy;
    if (degrees == 0) return p;
    if (degrees == 90 || degrees == -270) return {RoundHalfAway(cx - v), RoundHalfAway(cy + u)};
    if (degrees == -90 || degrees == 270) return {RoundHalfAway(cx + v), RoundHalfAway(cy - u)};
    if (degrees == 180 || degrees == -180) return {RoundHalfAway(cx - u), RoundHalfAway(cy - v)};
    if (u == 0 && v == 0) return p;
    const double rho = std::sqrt(u * u + v * v);
    const double phi = std::atan2(v, u) + degrees * kPi / 180.0;
    return {RoundHalfAway(cx + rho * std::cos(phi)), RoundHalfAway(cy + rho * std::sin(phi))};
}

Point ScalePoint(Point p, double cx, double cy, double fx, double fy) {
    return {RoundHalfAway(cx + fx * (p.X - cx)), RoundHalfAway(cy + fy * (p.Y - cy))};
}

TransformMatrix RotateMatrix(const TransformMatrix& m, double cx, double cy, double degrees) {
    const double theta = degrees * kPi / 180.0;
    const double cosine = std::cos(theta), sine = std::sin(theta);
    TransformMatrix out;
    out.a = m.a * cosine - m.b * sine;
    out.b = m.a * sine + m.b * cosine;
    out.c = m.c * cosine - m.d * sine;
    out.d = m.c * sine + m.d * cosine;
    const double u = m.tx - cx, v = m.ty - cy;
    out.tx = cx + u * cosine - v * sine;
    out.ty = cy + u * sine + v * cosine;
    return out;
}

TransformMatrix ScaleMatrix(const TransformMatrix& m, double cx, double cy, double fx, double fy) {
    return {m.a * fx, m.b * fy, m.c * fx, m.d * fy, cx + fx * (m.tx - cx), cy + fy * (m.ty - cy)};
}

bool RotationNeedsBox(const Word* record) { return RecordKind(record) == ObjectKind::Rectangle; }

bool ScaleNeedsPolygon(const Word* record, double fx, double fy) {
    if (Uniform(fx, fy)) return false;
    switch (RecordKind(record)) {
        case ObjectKind::Box:
        case ObjectKind::Circle:
        case ObjectKind::Ring:
        case ObjectKind::ArcWire: return true;
        case ObjectKind::Wire: return WireView(record).Width() != 0;
        default: return false;
    }
}

void RectangleToBox(const Word* rectangle, Word* box) {
    const RectangleView rect(rectangle);
    const Point a = rect.Corner1(), b = rect.Corner2();
    box[0] = rectangle[0];
    SetRecordLength(box, kBoxLength);
    SetRecordKind(box, ObjectKind::Box);
    const BoxView view(box);
    view.SetCentre({RoundHalfAway((double(a.X) + b.X) / 2), RoundHalfAway((double(a.Y) + b.Y) / 2)});
    view.SetSize(SaturateToInt32(std::llabs(std::int64_t{a.X} - b.X)),
                 SaturateToInt32(std::llabs(std::int64_t{a.Y} - b.Y)));
    view.SetAngleMillidegrees(0);
}

bool MoveRecordWords(Word* r, std::int32_t dx, std::int32_t dy) {
    const auto move = [&](int word) { SetPoint(r, word, {Add(r[word], dx), Add(r[word + 1], dy)}); };
    const ObjectKind kind = RecordKind(r);
    switch (kind) {
        case ObjectKind::Rectangle:
        case ObjectKind::Measurement:
            move(1);
            move(3);
            return true;
        case ObjectKind::Box:
        case ObjectKind::Circle:
        case ObjectKind::Ring:
        case ObjectKind::Group: move(1); return true;
        case ObjectKind::Polygon:
        case ObjectKind::Wire: {
            move(1);
            move(3);
            const int first = kind == ObjectKind::Polygon ? 5 : 6;
            const int n = kind == ObjectKind::Polygon ? PolygonNodeCount(r) : WireNodeCount(r);
            for (int i = 0; i < n; ++i) move(first + 2 * i);
            return true;
        }
        case ObjectKind::ArcWire:
            move(1);
            move(3);
            move(5);
            return true;
        case ObjectKind::Text:
        case ObjectKind::Script:
        case ObjectKind::SymbolCall: {
            if (kind == ObjectKind::SymbolCall) move(3);
            move(1);
            const int word = MatrixWord(kind);
            TransformMatrix m = ReadMatrix(r + word);
            m.tx += dx;
            m.ty += dy;
            WriteMatrix(r + word, m);
            return true;
        }
        case ObjectKind::SymbolArray:
            for (int word : {1, 3, 8, 10, 12}) move(word);
            return true;
    }
    return false;
}

bool RotateRecordWords(Word* r, double cx, double cy, double degrees, Layout* layout) {
    const auto rotate = [&](int word) { SetPoint(r, word, RotatePoint(PointAt(r, word), cx, cy, degrees)); };
    const ObjectKind kind = RecordKind(r);
    switch (kind) {
        case ObjectKind::Rectangle: return false;
        case ObjectKind::Box: {
            rotate(1);
            std::int64_t angle = std::int64_t{r[5]} + RoundHalfAway(degrees * 1000.0);
            while (angle > 180000) angle -= 360000;
            while (angle < -180000) angle += 360000;
            r[5] = static_cast<std::int32_t>(angle);
            return true;
        }
        case ObjectKind::Polygon:
        case ObjectKind::Wire: {
            const bool polygon = kind == ObjectKind::Polygon;
            const int n = polygon ? PolygonNodeCount(r) : WireNodeCount(r);
            Point* nodes = polygon ? PolygonNodes(r) : WireNodes(r);
            for (int i = 0; i < n; ++i) nodes[i] = RotatePoint(nodes[i], cx, cy, degrees);
            RecomputeExtent(r, nodes, n);
            return true;
        }
        case ObjectKind::Circle:
        case ObjectKind::Ring:
        case ObjectKind::Group: rotate(1); return true;
        case ObjectKind::ArcWire:
            rotate(1);
            rotate(3);
            rotate(5);
            return true;
        case ObjectKind::Measurement:
            rotate(1);
            rotate(3);
            return true;
        case ObjectKind::Text:
        case ObjectKind::Script:
            rotate(1);
            WriteMatrix(r + MatrixWord(kind), RotateMatrix(ReadMatrix(r + MatrixWord(kind)), cx, cy, degrees));
            return true;
        case ObjectKind::SymbolCall:
            WriteMatrix(r + kCallMatrixWord, RotateMatrix(ReadMatrix(r + kCallMatrixWord), cx, cy, degrees));
            ObjectBounds(r, layout);
            return true;
        case ObjectKind::SymbolArray:
            rotate(8);
            rotate(10);
            rotate(12);
            WriteDouble(r + 16, ReadDouble(r + 16) + degrees);
            return true;
    }
    return false;
}

bool ScaleRecordWords(Word* r, double cx, double cy, double fx, double fy) {
    const bool uniform = Uniform(fx, fy);
    const bool mirror = fx != fy;
    const auto scale = [&](int word) { SetPoint(r, word, ScalePoint(PointAt(r, word), cx, cy, fx, fy)); };
    const ObjectKind kind = RecordKind(r);
    if (kind < ObjectKind::Rectangle || kind > ObjectKind::Script) return false;
    if (ScaleNeedsPolygon(r, fx, fy)) return false;
    // An array whose elements would have to be sheared stays as it is.
    if (kind == ObjectKind::SymbolArray && !uniform) {
        const double quarter = ReadDouble(r + 16) / 90.0;
        if (quarter != std::nearbyint(quarter)) return true;
    }
    switch (kind) {
        case ObjectKind::Rectangle:
        case ObjectKind::Measurement:
            scale(1);
            scale(3);
            break;
        case ObjectKind::Box: {
            scale(1);
            r[3] = RoundHalfAway(std::fabs(fx * r[3]));
            r[4] = RoundHalfAway(std::fabs(fy * r[4]));
            if (mirror) {
                std::int64_t angle = -std::int64_t{r[5]};
                while (angle > 90000) angle -= 180000;
                while (angle < -89999) angle += 180000;
                r[5] = static_cast<std::int32_t>(angle);
            }
            break;
        }
        case ObjectKind::Polygon:
        case ObjectKind::Wire: {
            const bool polygon = kind == ObjectKind::Polygon;
            ScaleExtent(r, cx, cy, fx, fy);
            if (!polygon) r[5] = MakeWireWidthWord(MeanScaled(WidthOf(r[5]), fx, fy), WireEndStyle(r[5]));
            const int n = polygon ? PolygonNodeCount(r) : WireNodeCount(r);
            Point* nodes = polygon ? PolygonNodes(r) : WireNodes(r);
            for (int i = 0; i < n; ++i) nodes[i] = ScalePoint(nodes[i], cx, cy, fx, fy);
            break;
        }
        case ObjectKind::Circle:
            scale(1);
            r[3] = RoundHalfAway(std::fabs(fx * r[3]));
            break;
        case ObjectKind::Ring:
            scale(1);
            r[3] = RoundHalfAway(std::fabs(fx * r[3]));
            r[4] = RoundHalfAway(std::fabs(fy * r[4]));
            break;
        case ObjectKind::ArcWire:
            scale(1);
            scale(3);
            scale(5);
            if (mirror) {
                std::swap(r[1], r[5]);
                std::swap(r[2], r[6]);
            }
            r[7] = MakeArcWidthWord(MeanScaled(WidthOf(r[7]), fx, fy), ArcEndStyle(r[7]), ArcClockwise(r[7]));
            break;
        case ObjectKind::Group: scale(1); break;
        case ObjectKind::Text:
        case ObjectKind::Script:
            scale(1);
            WriteMatrix(r + MatrixWord(kind), ScaleMatrix(ReadMatrix(r + MatrixWord(kind)), cx, cy, fx, fy));
            break;
        case ObjectKind::SymbolCall:
            ScaleExtent(r, cx, cy, fx, fy);
            WriteMatrix(r + kCallMatrixWord, ScaleMatrix(ReadMatrix(r + kCallMatrixWord), cx, cy, fx, fy));
            break;
        case ObjectKind::SymbolArray: {
            ScaleExtent(r, cx, cy, fx, fy);
            scale(8);
            scale(10);
            scale(12);
            double magnification = ReadDouble(r + 14);
            double angle = ReadDouble(r + 16);
            if (uniform) magnification *= std::fabs(fx);
            if (fy >= 0 && fx < 0) {
                magnification = -magnification;
                angle = 180 - angle;
            } else if (fy < 0 && fx >= 0) {
                magnification = -magnification;
                angle = -angle;
            } else if (fy < 0 && fx < 0) {
                angle += 180;
            }
            if (angle > 180) angle -= 360;
            if (angle < -180) angle += 360;
            WriteDouble(r + 14, magnification);
            WriteDouble(r + 16, angle);
            break;
        }
    }
    return true;
}

bool MoveRecord(SymbolDescription& symbol, Word* record, std::int32_t dx, std::int32_t dy) {
    return WithMembers(symbol, record, [&](Word* r) {
        const ObjectKind kind = RecordKind(r);
        if (kind < ObjectKind::Rectangle || kind > ObjectKind::Script) return false;
        NoteModified(symbol, r);
        return MoveRecordWords(r, dx, dy);
    });
}

bool RotateRecord(SymbolDescription& symbol, Word* record, double cx, double cy, double degrees) {
    return WithMembers(symbol, record, [&](Word* r) {
        const ObjectKind kind = RecordKind(r);
        if (kind < ObjectKind::Box || kind > ObjectKind::Script) return false;
        NoteModified(symbol, r);
        return RotateRecordWords(r, cx, cy, degrees, symbol.OwnerLayout());
    });
}

bool ScaleRecord(SymbolDescription& symbol, Word* record, double cx, double cy, double fx, double fy) {
    return WithMembers(symbol, record, [&](Word* r) {
        const ObjectKind kind = RecordKind(r);
        if (kind < ObjectKind::Rectangle || kind > ObjectKind::Script || ScaleNeedsPolygon(r, fx, fy)) return false;
        if (kind == ObjectKind::SymbolArray && !Uniform(fx, fy)) {
            const double quarter = ReadDouble(r + 16) / 90.0;
            if (quarter != std::nearbyint(quarter)) return true;
        }
        NoteModified(symbol, r);
        return ScaleRecordWords(r, cx, cy, fx, fy);
    });
}

}  // namespace zandor
