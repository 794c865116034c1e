#include "editing/GrowShrink.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "geometry/Bool_Engine.h"
#include "model/Geometry.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "model/RecordViews.h"
#include "model/UndoList.h"
#include "platform/Messages.h"

namespace zandor {

namespace {

// Up to this many selected objects are changed record by record; more are
// rebuilt in one pass over the buffer under a snapshot, so that resizing
// many records never turns quadratic.
constexpr int kSingleChanges = 64;

enum class Outcome { Unchanged, Changed, Vanished };

struct DoublePoint {
    double x, y;
};

// The nodes of a rectangle [x1, x2] x [y1, y2] grown by a with quarter
// circles of radius a at its corners, mapped by `map` and rounded.
template <typename Map>
std::vector<Point> RoundedRectangle(double x1, double y1, double x2, double y2, double a, Map map) {
    const int segments = Settings().circleNumSegments;
    const int k = segments < 20 ? 3 : segments / 4 - 2;
    const double step = kPi / (2.0 * (k + 1));
    std::vector<Point> nodes;
    nodes.reserve(4 * k + 8);
    const auto add = [&](double x, double y) { nodes.push_back(map(x, y)); };
    const auto arc = [&](double cx, double cy, double start) {
        for (int i = 1; i <= k; ++i) {
            add(cx + RoundHalfAway(a * std::cos(start + step * i)), cy + RoundHalfAway(a * std::sin(start + step * i)));
        }
    };
    add(x1, y1 - a);
    add(x2, y1 - a);
    arc(x2, y1, -kPi / 2);
    add(x2 + a, y1);
    add(x2 + a, y2);
    arc(x2, y2, 0);
    add(x2, y2 + a);
    add(x1, y2 + a);
    arc(x1, y2, kPi / 2);
    add(x1 - a, y2);
    add(x1 - a, y1);
    arc(x1, y1, -kPi);
    return nodes;
}

Point RoundedPoint(double x, double y) { return {RoundHalfAway(x), RoundHalfAway(y)}; }

std::int64_t Cross(std::int64_t dx1, std::int64_t dy1, std::int64_t dx2, std::int64_t dy2) {
    return dx1 * dy2 - dy1 * dx2;
}

// Distinct vertices without closing repeats and without vertices inside a
// straight run.
std::vector<Point> Corners(const Point* points, int count) {
    std::vector<Point> kept(points, points + count);
    kept.resize(RemoveRepeatedPoints(kept.data(), static_cast<int>(kept.size())));
    bool removed = true;
    while (removed && kept.size() >= 3) {
        removed = false;
        std::vector<Point> next;
        const std::size_t n = kept.size();
        for (std::size_t i = 0; i < n; ++i) {
            const Point p = kept[(i + n - 1) % n], v = kept[i], q = kept[(i + 1) % n];
            if (Cross(std::int64_t{v.X} - p.X, std::int64_t{v.Y} - p.Y, std::int64_t{q.X} - v.X,
                      std::int64_t{q.Y} - v.Y) == 0) {
                removed = true;
                continue;
            }
            next.push_back(v);
        }
        kept.swap(next);
    }
    return kept;
}

// V moved by a along the right-hand normal of edge direction (dx, dy).
DoublePoint AlongNormal(Point v, std::int64_t dx, std::int64_t dy, double a) {
    if (dx == 0) return {v.X + (dy > 0 ? a : -a), double(v.Y)};
    if (dy == 0) return {double(v.X), v.Y + (dx > 0 ? -a : a)};
    const double length = std::hypot(double(dx), double(dy));
    return {v.X + a * dy / length, v.Y - a * dx / length};
}

// Intersection of the line through p with direction d and the line through
// q with direction e; false for parallel lines.
bool Intersect(DoublePoint p, std::int64_t dx, std::int64_t dy, DoublePoint q, std::int64_t ex, std::int64_t ey,
               DoublePoint& m) {
    const double denominator = double(Cross(dx, dy, ex, ey));
    if (denominator == 0) return false;
    const double t = ((q.x - p.x) * ey - (q.y - p.y) * ex) / denominator;
    m = {p.x + t * dx, p.y + t * dy};
    return std::fabs(m.x) < 2147483647.0 && std::fabs(m.y) < 2147483647.0;
}

void AddContour(Bool_Engine& engine, const std::vector<DoublePoint>& points, GroupType group) {
    engine.BeginContour(group);
    for (const DoublePoint& p : points) engine.AddVertex(p.x, p.y);
    engine.EndContour();
}

void AddContour(Bool_Engine& engine, const std::vector<Point>& points, GroupType group) {
    engine.BeginContour(group);
    for (const Point& p : points) engine.AddVertex(p.X, p.Y);
    engine.EndContour();
}

std::vector<std::vector<Point>> ReadAll(Bool_Engine& engine) {
    std::vector<std::vector<Point>> contours;
    while (engine.NextResultContour()) {
        std::vector<Point> c;
        while (engine.NextResultVertex()) c.push_back(RoundedPoint(engine.VertexX(), engine.VertexY()));
        engine.DropResultContour();
        if (c.size() >= 3) contours.push_back(std::move(c));
    }
    return contours;
}

// The mitred offset as a boolean: growing adds a band around every edge and
// the mitre at every convex corner; shrinking cuts the bands and the mitres
// of the concave corners away.  Where a plain offset would fold over or turn
// inside out, this leaves nothing or separate pieces instead.
std::vector<std::vector<Point>> StraightOffset(const std::vector<Point>& corners, std::int32_t amount) {
    const std::size_t n = corners.size();
    const double a = std::fabs(double(amount));
    // +1 when the outline runs counter-clockwise: the right-hand normal then
    // points outwards.
    const double outwards = IsClockwise(corners.data(), static_cast<int>(n)) ? -1 : 1;
    const bool grow = amount > 0;
    Bool_Engine engine;
    ConfigureBooleanEngine(engine, Settings().polygonGrid);
    AddContour(engine, corners, GroupA);
    const GroupType group = grow ? GroupA : GroupB;
    const std::int32_t band = SaturateToInt32(2 * std::int64_t{std::abs(amount)});
    for (std::size_t i = 0; i < n; ++i) {
        const Point p = corners[(i + n - 1) % n], v = corners[i], q = corners[(i + 1) % n];
        AddContour(engine, SegmentRectangle(v, q, band), group);
        const std::int64_t dx1 = std::int64_t{v.X} - p.X, dy1 = std::int64_t{v.Y} - p.Y;
        const std::int64_t dx2 = std::int64_t{q.X} - v.X, dy2 = std::int64_t{q.Y} - v.Y;
        const bool convex = Cross(dx1, dy1, dx2, dy2) * outwards > 0;
        if (convex != grow) continue;
        const double side = grow ? outwards * a : -outwards * a;
        const DoublePoint p1 = AlongNormal(v, dx1, dy1, side), p2 = AlongNormal(v, dx2, dy2, side);
        DoublePoint m;
        if (!Intersect(p1, dx1, dy1, p2, dx2, dy2, m)) continue;
        AddContour(engine, std::vector<DoublePoint>{{double(v.X), double(v.Y)}, p1, m, p2}, group);
    }
    engine.Execute(grow ? OpOr : OpAMinusB);
    return ReadAll(engine);
}

// The outline moved outwards by amount >= 1 with arcs at the convex corners.
std::vector<Point> RoundedOutline(const std::vector<Point>& corners, std::int32_t amount) {
    const std::size_t count = corners.size();
    const int n = std::max(8, Settings().circleNumSegments);
    const double a = IsClockwise(corners.data(), static_cast<int>(count)) ? -double(amount) : double(amount);
    const double radius = std::fabs(a);
    std::vector<Point> outline;
    outline.reserve(count + 2048);
    const auto truncated = [](DoublePoint p) {
        return Point{SaturateToInt32(static_cast<std::int64_t>(p.x)), SaturateToInt32(static_cast<std::int64_t>(p.y))};
    };
    for (std::size_t i = 0; i < count; ++i) {
        const Point p = corners[(i + count - 1) % count], v = corners[i], q = corners[(i + 1) % count];
        const std::int64_t dx1 = std::int64_t{v.X} - p.X, dy1 = std::int64_t{v.Y} - p.Y;
        const std::int64_t dx2 = std::int64_t{q.X} - v.X, dy2 = std::int64_t{q.Y} - v.Y;
        const DoublePoint p1 = AlongNormal(v, dx1, dy1, a), p2 = AlongNormal(v, dx2, dy2, a);
        const double cross = double(Cross(dx1, dy1, dx2, dy2));
        if ((cross > 0) == (a > 0)) {
            outline.push_back(truncated(p1));
            const double theta1 = std::atan2(p1.y - v.Y, p1.x - v.X);
            double theta2 = std::atan2(p2.y - v.Y, p2.x - v.X);
            if (a > 0) {
                while (theta2 < theta1) theta2 += 2 * kPi;
            } else {
                while (theta2 > theta1) theta2 -= 2 * kPi;
            }
            const int m = RoundHalfAway(std::fabs(theta2 - theta1) * n / (2 * kPi));
            const double step = (theta2 - theta1) / (m + 1);
            for (int j = 1; j <= m; ++j) {
                outline.push_back(RoundedPoint(v.X + radius * std::cos(theta1 + step * j),
                                               v.Y + radius * std::sin(theta1 + step * j)));
            }
            outline.push_back(truncated(p2));
        } else {
            DoublePoint m;
            if (std::hypot(p2.x - p1.x, p2.y - p1.y) > std::sqrt(2.0) * radius ||
                !Intersect(p1, dx1, dy1, p2, dx2, dy2, m)) {
                outline.push_back(truncated(p1));
                outline.push_back(truncated(p2));
            } else {
                outline.push_back(RoundedPoint(m.x, m.y));
            }
        }
    }
    return outline;
}

// The new nodes of a polygon, or the pieces a shrink leaves (none: vanished).
std::vector<std::vector<Point>> OffsetNodes(const Word* record, std::int32_t amount, bool round) {
    const PolygonView polygon(record);
    const std::vector<Point> corners = Corners(polygon.Nodes(), polygon.NodeCount());
    if (corners.size() < 3) return {{polygon.Nodes(), polygon.Nodes() + polygon.NodeCount()}};
    if (!round) {
        try {
            return StraightOffset(corners, amount);
        } catch (const Bool_Engine_Error&) {
            platform::ShowError("Unexpected error during boolean operation");
            return {{polygon.Nodes(), polygon.Nodes() + polygon.NodeCount()}};
        }
    }
    const std::vector<Point> outline = RoundedOutline(corners, amount);
    try {
        Bool_Engine engine;
        ConfigureBooleanEngine(engine, Settings().polygonGrid);
        AddContour(engine, outline, GroupA);
        // The polygon itself lies inside its grown outline; it fills whatever
        // a concave corner's crossing leaves open.
        AddContour(engine, corners, GroupA);
        engine.Execute(OpOr);
        std::vector<std::vector<Point>> result = ReadAll(engine);
        if (!result.empty()) result.resize(1);
        return result.empty() ? std::vector<std::vector<Point>>{outline} : result;
    } catch (const Bool_Engine_Error&) {
        platform::ShowError("Unexpected error during boolean operation");
        return {outline};
    }
}

std::vector<Word> PolygonWords(const Word* original, const std::vector<Point>& nodes) {
    const int length = kPolygonBaseLength + 2 * static_cast<int>(nodes.size());
    std::vector<Word> words(static_cast<std::size_t>(length));
    const std::uint32_t keep = HeaderBits(original) & (kMemberBit | kSelectedBit);
    SetHeaderBits(words.data(),
                  static_cast<std::uint32_t>(MakeHeader(length, RecordLayer(original), ObjectKind::Polygon)) | keep);
    const PolygonView polygon(words.data());
    std::copy(nodes.begin(), nodes.end(), polygon.Nodes());
    polygon.RefreshNodeBounds();
    return words;
}

Word AbsoluteWidth(Word widthWord, std::int32_t amount, Word styleMask) {
    const std::int64_t width = std::llabs(std::int64_t{WidthOf(widthWord)} + 2 * std::int64_t{amount});
    return static_cast<Word>((static_cast<std::uint32_t>(widthWord) & styleMask) |
                             (static_cast<std::uint32_t>(std::min<std::int64_t>(width, kWidthMask))));
}

// What growing by `amount` makes of the record: nothing, `out` (the new
// words), or nothing left.  Extra pieces of a polygon cut in two by a shrink
// go to `extra`.
Outcome Grown(const Word* record, std::int32_t amount, bool roundCorners, std::vector<Word>& out,
              std::vector<std::vector<Point>>& extra) {
    if (amount == 0) return Outcome::Unchanged;
    const bool round = roundCorners && amount >= 1;
    const std::int64_t a = amount;
    out.assign(record, record + RecordLength(record));
    Word* r = out.data();
    switch (RecordKind(record)) {
        case ObjectKind::Rectangle: {
            const Rect box = RectangleView(record).Box();
            if (a < 0 &&
                (std::int64_t{box.maxx} - box.minx + 2 * a <= 0 || std::int64_t{box.maxy} - box.miny + 2 * a <= 0)) {
                return Outcome::Vanished;
            }
            if (round) {
                out = PolygonWords(record, RoundedRectangle(box.minx, box.miny, box.maxx, box.maxy, double(a),
                                                            [](double x, double y) { return RoundedPoint(x, y); }));
                return Outcome::Changed;
            }
            RectangleView(r).SetCorners({SaturateToInt32(box.minx - a), SaturateToInt32(box.miny - a)},
                                        {SaturateToInt32(box.maxx + a), SaturateToInt32(box.maxy + a)});
            return Outcome::Changed;
        }
        case ObjectKind::Box: {
            const BoxView box(record);
            const std::int64_t length = std::int64_t{box.BoxLength()} + 2 * a,
                               width = std::int64_t{box.BoxWidth()} + 2 * a;
            if (a < 0 && (length <= 0 || width <= 0)) return Outcome::Vanished;
            if (round) {
                const double theta = box.AngleRadians(), c = std::cos(theta), s = std::sin(theta);
                const Point centre = box.Centre();
                const double hl = box.BoxLength() / 2.0, hw = box.BoxWidth() / 2.0;
                out = PolygonWords(record, RoundedRectangle(-hl, -hw, hl, hw, double(a), [&](double x, double y) {
                                       return RoundedPoint(centre.X + x * c - y * s, centre.Y + x * s + y * c);
                                   }));
                return Outcome::Changed;
            }
            BoxView(r).SetSize(SaturateToInt32(length), SaturateToInt32(width));
            return Outcome::Changed;
        }
        case ObjectKind::Polygon: {
            std::vector<std::vector<Point>> pieces = OffsetNodes(record, amount, round);
            if (pieces.empty()) return Outcome::Vanished;
            for (std::size_t i = 1; i < pieces.size(); ++i) extra.push_back(std::move(pieces[i]));
            if (pieces[0].size() > static_cast<std::size_t>(kMaxPolygonNodes)) return Outcome::Unchanged;
            out = PolygonWords(record, pieces[0]);
            return Outcome::Changed;
        }
        case ObjectKind::Wire:
            WireView(r).SetWidthWord(AbsoluteWidth(WireView(record).WidthWord(), amount, 0xF0000000u));
            return Outcome::Changed;
        case ObjectKind::Circle: {
            const std::int64_t radius = std::int64_t{CircleView(record).Radius()} + a;
            if (a < 0 && radius <= 0) return Outcome::Vanished;
            CircleView(r).SetRadius(SaturateToInt32(std::llabs(radius)));
            return Outcome::Changed;
        }
        case ObjectKind::Ring:
            RingView(r).SetRingWidth(SaturateToInt32(std::llabs(std::int64_t{RingView(record).RingWidth()} + 2 * a)));
            return Outcome::Changed;
        case ObjectKind::ArcWire:
            ArcWireView(r).SetWidthWord(AbsoluteWidth(ArcWireView(record).WidthWord(), amount, 0xF0000000u));
            return Outcome::Changed;
        default: return Outcome::Unchanged;
    }
}

// Whether growing every selected object keeps it inside the coordinate range.
bool FitsAfterGrowing(SymbolDescription& symbol, std::int32_t amount) {
    if (amount <= 0) return true;
    for (Word* r = symbol.FirstSelected(); r; r = symbol.NextSelected(r)) {
        const ObjectKind kind = RecordKind(r);
        if (static_cast<int>(kind) < 1 || static_cast<int>(kind) > 7) continue;
        const Rect b = ObjectBounds(r, symbol.OwnerLayout());
        const std::int64_t lows[2] = {std::int64_t{b.minx} - amount, std::int64_t{b.miny} - amount};
        const std::int64_t highs[2] = {std::int64_t{b.maxx} + amount, std::int64_t{b.maxy} + amount};
        for (int i = 0; i < 2; ++i) {
            if (lows[i] < INT32_MIN || highs[i] > INT32_MAX) return false;
        }
        if (kind == ObjectKind::Wire || kind == ObjectKind::ArcWire || kind == ObjectKind::Ring) {
            const std::int32_t width = kind == ObjectKind::Wire      ? WireView(r).Width()
                                       : kind == ObjectKind::ArcWire ? ArcWireView(r).Width()
                                                                     : RingView(r).RingWidth();
            if (std::int64_t{width} + 2 * std::int64_t{amount} > std::int64_t{kWidthMask}) return false;
        }
    }
    return true;
}

// Copies of the selected objects (with their members) go to the end of the
// list and take over the selection; the originals stay unselected.
void CopySelectionToEnd(SymbolDescription& symbol) {
    std::vector<Word> copies;
    for (Word* r = symbol.FirstRecord(); r;) {
        Word* next = symbol.NextObject(r);
        if (IsSelected(r)) {
            const Word* end = next ? next : symbol.Words() + symbol.usedWords;
            copies.insert(copies.end(), static_cast<const Word*>(r), end);
            SetSelectedBit(r, false);
        }
        r = next;
    }
    for (std::size_t at = 0; at < copies.size();) {
        const int length = RecordLength(copies.data() + at);
        Word* r = symbol.AppendRecord(length);
        if (!r) break;
        std::copy(copies.begin() + at, copies.begin() + at + length, r);
        symbol.Undo().RecordInserted(symbol.OffsetOf(r));
        at += static_cast<std::size_t>(length);
    }
}

void AppendPieces(SymbolDescription& symbol, const std::vector<std::vector<Point>>& pieces, int layer) {
    for (const std::vector<Point>& piece : pieces) {
        Word* r = symbol.AddPolygon(piece.data(), static_cast<int>(piece.size()), layer);
        if (r) SetSelectedBit(r, true);
    }
}

}  // namespace

Word* GrowShrinkObject(SymbolDescription& symbol, Word* record, std::int32_t amount, bool roundCorners,
                       std::vector<std::vector<Point>>* extraPieces) {
    std::vector<Word> words;
    std::vector<std::vector<Point>> extra;
    const Outcome outcome = Grown(record, amount, roundCorners, words, extra);
    if (extraPieces) {
        extraPieces->insert(extraPieces->end(), extra.begin(), extra.end());
    } else {
        const int layer = RecordLayer(record);
        const std::int32_t offset = symbol.OffsetOf(record);
        AppendPieces(symbol, extra, layer);
        record = symbol.RecordAt(offset);
    }
    switch (outcome) {
        case Outcome::Unchanged: return record;
        case Outcome::Vanished: symbol.DeleteRecord(record); return nullptr;
        case Outcome::Changed: break;
    }
    const std::int32_t offset = symbol.OffsetOf(record);
    symbol.Undo().RecordModified(offset, record);
    if (static_cast<int>(words.size()) != RecordLength(record)) {
        record = symbol.ResizeRecord(record, static_cast<int>(words.size()));
        if (!record) return symbol.RecordAt(offset);
    }
    std::copy(words.begin(), words.end(), record);
    return record;
}

int GrowShrinkSelection(SymbolDescription& symbol, std::int32_t amount, bool leaveOriginal, bool roundCorners) {
    if (!FitsAfterGrowing(symbol, amount)) {
        platform::ShowError("The result would lie outside the coordinate range.");
        return -1;
    }
    int count = 0;
    for (Word* r = symbol.FirstSelected(); r; r = symbol.NextSelected(r)) ++count;
    int vanished = 0;
    std::vector<std::vector<Point>> extra;
    std::vector<int> extraLayers;
    if (count <= kSingleChanges) {
        if (leaveOriginal) CopySelectionToEnd(symbol);
        for (Word* r = symbol.FirstSelected(); r;) {
            const std::int32_t offset = symbol.OffsetOf(r);
            const int layer = RecordLayer(r);
            Word* changed = GrowShrinkObject(symbol, r, amount, roundCorners, &extra);
            extraLayers.resize(extra.size(), layer);
            if (changed) {
                r = symbol.NextSelected(changed);
            } else {
                ++vanished;
                r = offset < symbol.usedWords ? symbol.RecordAt(offset) : nullptr;
                if (r && !IsSelected(r)) r = symbol.NextSelected(r);
            }
        }
        for (std::size_t i = 0; i < extra.size(); ++i) AppendPieces(symbol, {extra[i]}, extraLayers[i]);
    } else {
        UndoSnapshot snapshot(symbol);
        if (leaveOriginal) CopySelectionToEnd(symbol);
        std::vector<Word> rebuilt;
        rebuilt.reserve(static_cast<std::size_t>(symbol.usedWords) + 1024);
        std::vector<Word> words;
        for (Word* r = symbol.FirstRecord(); r;) {
            Word* next = symbol.NextObject(r);
            const Word* end = next ? next : symbol.Words() + symbol.usedWords;
            const Outcome outcome = IsSelected(r) ? Grown(r, amount, roundCorners, words, extra) : Outcome::Unchanged;
            extraLayers.resize(extra.size(), RecordLayer(r));
            if (outcome == Outcome::Changed) {
                rebuilt.insert(rebuilt.end(), words.begin(), words.end());
            } else if (outcome == Outcome::Vanished) {
                ++vanished;
            } else {
                rebuilt.insert(rebuilt.end(), static_cast<const Word*>(r), end);
            }
            r = next;
        }
        symbol.RemoveWordsAt(0, symbol.usedWords);
        if (!rebuilt.empty()) symbol.InsertWordsAt(0, rebuilt.data(), static_cast<int>(rebuilt.size()));
        symbol.objectCount -= vanished;
        for (std::size_t i = 0; i < extra.size(); ++i) AppendPieces(symbol, {extra[i]}, extraLayers[i]);
    }
    symbol.boundsValid = false;
    symbol.EnsureBounds();
    symbol.UpdateSelection();
    return vanished;
}

}  // namespace zandor
