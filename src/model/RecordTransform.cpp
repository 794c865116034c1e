#include "model/RecordTransform.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

#include "model/Geometry.h"
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
    if (degrees == 90) return {RoundHalfAway(cx - v), RoundHalfAway(cy + u)};
    if (degrees == -90) return {RoundHalfAway(cx + v), RoundHalfAway(cy - u)};
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

bool MoveRecord(SymbolDescription& symbol, Word* record, std::int32_t dx, std::int32_t dy) {
    const auto move = [&](Word* r, int word) { SetPoint(r, word, {Add(r[word], dx), Add(r[word + 1], dy)}); };
    return WithMembers(symbol, record, [&](Word* r) {
        const ObjectKind kind = RecordKind(r);
        if (kind < ObjectKind::Rectangle || kind > ObjectKind::Script) return false;
        NoteModified(symbol, r);
        switch (kind) {
            case ObjectKind::Rectangle:
            case ObjectKind::Measurement:
                move(r, 1);
                move(r, 3);
                break;
            case ObjectKind::Box:
            case ObjectKind::Circle:
            case ObjectKind::Ring:
            case ObjectKind::Group: move(r, 1); break;
            case ObjectKind::Polygon:
            case ObjectKind::Wire: {
                move(r, 1);
                move(r, 3);
                const int first = kind == ObjectKind::Polygon ? 5 : 6;
                const int n = kind == ObjectKind::Polygon ? PolygonNodeCount(r) : WireNodeCount(r);
                for (int i = 0; i < n; ++i) move(r, first + 2 * i);
                break;
            }
            case ObjectKind::ArcWire:
                move(r, 1);
                move(r, 3);
                move(r, 5);
                break;
            case ObjectKind::Text:
            case ObjectKind::Script:
            case ObjectKind::SymbolCall: {
                if (kind == ObjectKind::SymbolCall) {
                    move(r, 3);
                }
                move(r, 1);
                const int word = MatrixWord(kind);
                TransformMatrix m = ReadMatrix(r + word);
                m.tx += dx;
                m.ty += dy;
                WriteMatrix(r + word, m);
                break;
            }
            case ObjectKind::SymbolArray:
                for (int word : {1, 3, 8, 10, 12}) move(r, word);
                break;
        }
        return true;
    });
}

bool RotateRecord(SymbolDescription& symbol, Word* record, double cx, double cy, double degrees) {
    const auto rotate = [&](Word* r, int word) { SetPoint(r, word, RotatePoint(PointAt(r, word), cx, cy, degrees)); };
    return WithMembers(symbol, record, [&](Word* r) {
        const ObjectKind kind = RecordKind(r);
        if (kind < ObjectKind::Box || kind > ObjectKind::Script) return false;
        NoteModified(symbol, r);
        switch (kind) {
            case ObjectKind::Rectangle: break;
            case ObjectKind::Box: {
                rotate(r, 1);
                std::int64_t angle = std::int64_t{r[5]} + RoundHalfAway(degrees * 1000.0);
                if (angle > 180000) angle -= 360000;
                if (angle < -180000) angle += 360000;
                r[5] = SaturateToInt32(angle);
                break;
            }
            case ObjectKind::Polygon:
            case ObjectKind::Wire: {
                const bool polygon = kind == ObjectKind::Polygon;
                const int n = polygon ? PolygonNodeCount(r) : WireNodeCount(r);
                Point* nodes = polygon ? PolygonNodes(r) : WireNodes(r);
                for (int i = 0; i < n; ++i) nodes[i] = RotatePoint(nodes[i], cx, cy, degrees);
                RecomputeExtent(r, nodes, n);
                break;
            }
            case ObjectKind::Circle:
            case ObjectKind::Ring:
            case ObjectKind::Group: rotate(r, 1); break;
            case ObjectKind::ArcWire:
                rotate(r, 1);
                rotate(r, 3);
                rotate(r, 5);
                break;
            case ObjectKind::Measurement:
                rotate(r, 1);
                rotate(r, 3);
                break;
            case ObjectKind::Text:
            case ObjectKind::Script:
                rotate(r, 1);
                WriteMatrix(r + MatrixWord(kind), RotateMatrix(ReadMatrix(r + MatrixWord(kind)), cx, cy, degrees));
                break;
            case ObjectKind::SymbolCall:
                WriteMatrix(r + kCallMatrixWord, RotateMatrix(ReadMatrix(r + kCallMatrixWord), cx, cy, degrees));
                ObjectBounds(r, symbol.OwnerLayout());
                break;
            case ObjectKind::SymbolArray:
                rotate(r, 8);
                rotate(r, 10);
                rotate(r, 12);
                WriteDouble(r + 16, ReadDouble(r + 16) + degrees);
                break;
        }
        return true;
    });
}

bool ScaleRecord(SymbolDescription& symbol, Word* record, double cx, double cy, double fx, double fy) {
    const bool uniform = Uniform(fx, fy);
    const bool mirror = fx != fy;
    const auto scale = [&](Word* r, int word) { SetPoint(r, word, ScalePoint(PointAt(r, word), cx, cy, fx, fy)); };
    return WithMembers(symbol, record, [&](Word* r) {
        const ObjectKind kind = RecordKind(r);
        if (kind < ObjectKind::Rectangle || kind > ObjectKind::Script) return false;
        const bool uniformOnly = kind == ObjectKind::Box || kind == ObjectKind::Circle || kind == ObjectKind::Ring ||
                                 kind == ObjectKind::ArcWire || (kind == ObjectKind::Wire && WidthOf(r[5]) != 0);
        if (uniformOnly && !uniform) return false;
        // An array whose elements would have to be sheared stays as it is.
        if (kind == ObjectKind::SymbolArray && !uniform) {
            const double quarter = ReadDouble(r + 16) / 90.0;
            if (quarter != std::nearbyint(quarter)) return true;
        }
        NoteModified(symbol, r);
        switch (kind) {
            case ObjectKind::Rectangle:
            case ObjectKind::Measurement:
                scale(r, 1);
                scale(r, 3);
                break;
            case ObjectKind::Box: {
                scale(r, 1);
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
                scale(r, 1);
                r[3] = RoundHalfAway(std::fabs(fx * r[3]));
                break;
            case ObjectKind::Ring:
                scale(r, 1);
                r[3] = RoundHalfAway(std::fabs(fx * r[3]));
                r[4] = RoundHalfAway(std::fabs(fy * r[4]));
                break;
            case ObjectKind::ArcWire:
                scale(r, 1);
                scale(r, 3);
                scale(r, 5);
                if (mirror) {
                    std::swap(r[1], r[5]);
                    std::swap(r[2], r[6]);
                }
                r[7] = MakeArcWidthWord(MeanScaled(WidthOf(r[7]), fx, fy), ArcEndStyle(r[7]), ArcClockwise(r[7]));
                break;
            case ObjectKind::Group: scale(r, 1); break;
            case ObjectKind::Text:
            case ObjectKind::Script:
                scale(r, 1);
                WriteMatrix(r + MatrixWord(kind), ScaleMatrix(ReadMatrix(r + MatrixWord(kind)), cx, cy, fx, fy));
                break;
            case ObjectKind::SymbolCall:
                ScaleExtent(r, cx, cy, fx, fy);
                WriteMatrix(r + kCallMatrixWord, ScaleMatrix(ReadMatrix(r + kCallMatrixWord), cx, cy, fx, fy));
                break;
            case ObjectKind::SymbolArray: {
                ScaleExtent(r, cx, cy, fx, fy);
                scale(r, 8);
                scale(r, 10);
                scale(r, 12);
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
    });
}

}  // namespace zandor
