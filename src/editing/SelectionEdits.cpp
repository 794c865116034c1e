#include "editing/SelectionEdits.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "editing/ObjectPolygons.h"
#include "model/Geometry.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "model/ObjectRecord.h"
#include "model/RecordTransform.h"
#include "model/RecordViews.h"
#include "model/UndoList.h"
#include "platform/Messages.h"

namespace zandor {

namespace {

constexpr const char* kAngleMessage = "The angle is not a valid number.";
constexpr const char* kCentreMessage = "The centre is not a valid number.";
constexpr const char* kFactorMessage = "The scale factor is not a valid number.";
constexpr const char* kZeroFactorMessage = "A scale factor of 0 would collapse the objects.";
constexpr const char* kRangeMessage = "The result would lie outside the coordinate range.";
constexpr const char* kMemoryMessage = "Not enough memory for this operation.";

// Up to this many records changing length (or objects removed), each moves
// the tail of the buffer and gets its own undo entry; above it the buffer is
// rebuilt in one pass under one snapshot.  Small edits of a large layout
// thus keep small undo entries, and bulk edits stay linear.
constexpr std::int32_t kBulkRecords = 32;

// A double that rounds half away from zero into the 32-bit range.
bool Fits(double v) { return v > -2147483648.5 && v < 2147483647.5; }

// The selected objects and the member records of each, in list order.
template <typename F>
void ForEachSelectedRecord(SymbolDescription& s, F f) {
    for (Word* r = s.FirstSelected(); r; r = s.NextSelected(r)) {
        f(r);
        if (!IsHead(r)) continue;
        int members = MemberCount(r);
        for (Word* m = s.NextRecord(r); members-- > 0 && m && IsMember(m); m = s.NextRecord(m)) f(m);
    }
}

// Walks the selection by word offsets, so that `one` may resize the record it
// is given: one(offset) returns the record's length afterwards (0 stops the
// walk).  Members follow their head.
template <typename F>
bool ForEachSelectedOffset(SymbolDescription& s, std::int32_t from, F one) {
    std::int32_t offset = from;
    while (offset < s.usedWords) {
        const Word* r = s.RecordAt(offset);
        if (!IsSelected(r) || IsMember(r)) {
            offset += RecordLength(r);
            continue;
        }
        int members = IsHead(r) ? MemberCount(r) : 0;
        int length = one(offset);
        if (length <= 0) return false;
        offset += length;
        while (members-- > 0 && offset < s.usedWords && IsMember(s.RecordAt(offset))) {
            length = one(offset);
            if (length <= 0) return false;
            offset += length;
        }
    }
    return true;
}

// True when map(x, y) of every point the selection stores fits the
// coordinate range.
template <typename Map>
bool SelectionPointsFit(SymbolDescription& s, Map map) {
    bool fits = true;
    ForEachSelectedRecord(s, [&](const Word* r) {
        if (!fits) return;
        ForEachStoredPoint(r, [&](double x, double y) {
            const auto [mx, my] = map(x, y);
            if (!Fits(mx) || !Fits(my)) fits = false;
        });
    });
    return fits;
}

// The smallest and largest stored coordinates of the selection: a
// translation keeps every point in range when it keeps these.
struct PointExtent {
    double minx = std::numeric_limits<double>::infinity();
    double miny = std::numeric_limits<double>::infinity();
    double maxx = -std::numeric_limits<double>::infinity();
    double maxy = -std::numeric_limits<double>::infinity();

    bool FitsMovedBy(double dx, double dy) const {
        return minx > maxx || (Fits(minx + dx) && Fits(maxx + dx) && Fits(miny + dy) && Fits(maxy + dy));
    }
};

PointExtent SelectionPointExtent(SymbolDescription& s) {
    PointExtent e;
    ForEachSelectedRecord(s, [&](const Word* r) {
        ForEachStoredPoint(r, [&](double x, double y) {
            e.minx = std::min(e.minx, x);
            e.maxx = std::max(e.maxx, x);
            e.miny = std::min(e.miny, y);
            e.maxy = std::max(e.maxy, y);
        });
    });
    return e;
}

// RotatePoint before rounding.
std::pair<double, double> RotatedUnrounded(double x, double y, double cx, double cy, double degrees) {
    const double u = x - cx, v = y - cy;
    if (degrees == 0) return {x, y};
    if (degrees == 90 || degrees == -270) return {cx - v, cy + u};
    if (degrees == -90 || degrees == 270) return {cx + v, cy - u};
    if (degrees == 180 || degrees == -180) return {cx - u, cy - v};
    const double rho = std::sqrt(u * u + v * v);
    const double phi = std::atan2(v, u) + degrees * kPi / 180.0;
    return {cx + rho * std::cos(phi), cy + rho * std::sin(phi)};
}

// Sizes that a scale multiplies must stay in range too: lengths, radii and
// widths (a wire's width has 28 bits).
bool ScaledSizesFit(const Word* r, double fx, double fy) {
    const double ax = std::fabs(fx), ay = std::fabs(fy);
    const double mean = (ax + ay) / 2;
    switch (RecordKind(r)) {
        case ObjectKind::Box: {
            const BoxView box(r);
            return Fits(ax * box.BoxLength()) && Fits(ay * box.BoxWidth());
        }
        case ObjectKind::Circle: return Fits(ax * CircleView(r).Radius());
        case ObjectKind::Ring: {
            const RingView ring(r);
            return Fits(ax * ring.Radius()) && Fits(ay * ring.RingWidth());
        }
        case ObjectKind::Wire: return RoundHalfAway(mean * WireView(r).Width()) <= std::int64_t{kWidthMask};
        case ObjectKind::ArcWire: return RoundHalfAway(mean * ArcWireView(r).Width()) <= std::int64_t{kWidthMask};
        default: return true;
    }
}

// Brings the symbol's box, its callers and the selection description up to
// date after an edit that may have moved anything.
void Finish(SymbolDescription& s) {
    s.RecomputeBounds();
    s.UpdateSelection();
}

// Appends a copy of the record at `offset` (and of its members), moved by
// (dx, dy), with an "inserted" entry each.  Returns false when the memory
// cannot be had (what was appended stays, with its entries).
bool AppendMovedCopy(SymbolDescription& s, std::int32_t offset, std::int32_t dx, std::int32_t dy) {
    int members = IsHead(s.RecordAt(offset)) && !IsMember(s.RecordAt(offset)) ? MemberCount(s.RecordAt(offset)) : 0;
    std::int32_t from = offset;
    for (int k = 0;; ++k) {
        const int length = RecordLength(s.RecordAt(from));
        Word* r = s.AppendRecord(length);
        if (!r) return false;
        std::memcpy(r, s.RecordAt(from), static_cast<std::size_t>(length) * sizeof(Word));
        if (dx != 0 || dy != 0) MoveRecordWords(r, dx, dy);
        if (IsCallKind(RecordKind(r))) {
            s.AddChild(PlacementView(r).SymbolId());
            ++s.callCount;
        }
        s.Undo().RecordInserted(s.OffsetOf(r));
        from += length;
        if (k >= members || from >= s.usedWords || !IsMember(s.RecordAt(from))) break;
    }
    return true;
}

// The selected objects' total words (members included) and their number.
std::pair<std::int64_t, std::int32_t> SelectionSize(SymbolDescription& s) {
    std::int64_t words = 0;
    std::int32_t objects = 0;
    for (Word* r = s.FirstSelected(); r; r = s.NextSelected(r)) {
        ++objects;
        words += RecordLength(r);
        if (!IsHead(r)) continue;
        int members = MemberCount(r);
        for (Word* m = s.NextRecord(r); members-- > 0 && m && IsMember(m); m = s.NextRecord(m)) {
            words += RecordLength(m);
        }
    }
    return {words, objects};
}

// A snapshot of the buffer instead of an entry per record when the entries
// would hold about as much as the buffer itself (a selection of most of the
// symbol): one copy each way, and undo no slower than the edit.
void SnapshotWhenLarge(SymbolDescription& s, std::optional<UndoSnapshot>& snapshot, std::int64_t entryWords,
                       std::int32_t objects) {
    if (objects > kBulkRecords && 2 * entryWords >= s.usedWords) snapshot.emplace(s);
}

// The leave-original step; returns the offset where the copies begin, or -1
// when nothing could be copied.
std::int32_t CopyInPlace(SymbolDescription& s) {
    const auto [words, objects] = SelectionSize(s);
    if (objects == 0) return -1;
    if (!s.ReserveWords(words)) {
        platform::ShowError(kMemoryMessage);
        return -1;
    }
    const std::int32_t end = s.usedWords;
    std::int32_t offset = 0;
    bool complete = true;
    while (offset < end && complete) {
        Word* r = s.RecordAt(offset);
        const int length = RecordLength(r);
        if (IsSelected(r) && !IsMember(r)) {
            complete = AppendMovedCopy(s, offset, 0, 0);
            r = s.RecordAt(offset);
            if (!s.Undo().CoversSelectionMarks()) s.Undo().RecordModified(offset, r);
            SetSelectedBit(r, false);
        }
        offset += length;
    }
    if (!complete) platform::ShowError(kMemoryMessage);
    return end;
}

// Transforms the selection in place by `one` (on the record's words), each
// record after a "modified" entry unless it lies from `fresh` on (inserted in
// this step, so that undoing the insertion takes it away anyway).
template <typename F>
void TransformInPlace(SymbolDescription& s, std::int32_t fresh, F one) {
    ForEachSelectedRecord(s, [&](Word* r) {
        if (fresh < 0 || s.OffsetOf(r) < fresh) s.Undo().RecordModified(s.OffsetOf(r), r);
        one(r);
    });
}

// Follows the records of a one-pass rewrite in list order: true for the
// selected objects and their members.
class SelectionFollower {
public:
    bool Chosen(const Word* r) {
        if (IsMember(r) && membersLeft > 0) {
            --membersLeft;
            return true;
        }
        membersLeft = 0;
        if (!IsSelected(r) || IsMember(r)) return false;
        membersLeft = IsHead(r) ? MemberCount(r) : 0;
        return true;
    }

private:
    int membersLeft = 0;
};

// Scales the selection in one pass over a new buffer; records that the scale
// turns into polygons are converted on the way, one at a time in a scratch
// symbol, so that no conversion moves the rest of the buffer.
bool ScaleRewriting(SymbolDescription& s, double cx, double cy, double fx, double fy) {
    SymbolDescription scratch(nullptr);
    SelectionFollower follower;
    return s.RewriteRecords([&](const Word* r, Word* out) {
        int length = RecordLength(r);
        std::memcpy(out, r, static_cast<std::size_t>(length) * sizeof(Word));
        if (!follower.Chosen(r)) return length;
        if (ScaleNeedsPolygon(r, fx, fy)) {
            Word* copy = scratch.AppendRecord(length);
            if (!copy) return length;
            std::memcpy(copy, r, static_cast<std::size_t>(length) * sizeof(Word));
            // A record that cannot be converted stays as it is, unscaled.
            const bool converted = ConvertToPolygon(scratch, copy) && !ScaleNeedsPolygon(copy, fx, fy);
            if (converted) {
                length = RecordLength(copy);
                std::memcpy(out, copy, static_cast<std::size_t>(length) * sizeof(Word));
            }
            scratch.DeleteRecord(copy);
            if (!converted) return length;
        }
        ScaleRecordWords(out, cx, cy, fx, fy);
        return length;
    });
}

}  // namespace

void CopySelectionInPlace(SymbolDescription& s) {
    std::optional<UndoAppendScope> appending;
    if (s.selectedCount > kBulkRecords) appending.emplace(s);
    if (CopyInPlace(s) >= 0) s.UpdateSelection();
}

bool MoveSelection(SymbolDescription& s, std::int32_t dx, std::int32_t dy, bool leaveOriginal) {
    if (!s.FirstSelected()) return true;
    if (!SelectionPointExtent(s).FitsMovedBy(dx, dy)) {
        platform::ShowError(kRangeMessage);
        return false;
    }
    std::optional<UndoSnapshot> snapshot;
    const auto [words, objects] = SelectionSize(s);
    SnapshotWhenLarge(s, snapshot, words * (leaveOriginal ? 2 : 1) + 3 * std::int64_t{objects}, objects);
    const std::int32_t fresh = leaveOriginal ? CopyInPlace(s) : -1;
    if (dx != 0 || dy != 0) TransformInPlace(s, fresh, [&](Word* r) { MoveRecordWords(r, dx, dy); });
    Finish(s);
    return true;
}

bool RotateSelection(SymbolDescription& s, double cx, double cy, double degrees, bool leaveOriginal) {
    if (!std::isfinite(degrees)) {
        platform::ShowError(kAngleMessage);
        return false;
    }
    if (!std::isfinite(cx) || !std::isfinite(cy)) {
        platform::ShowError(kCentreMessage);
        return false;
    }
    if (!s.FirstSelected()) return true;
    degrees = std::fmod(degrees, 360.0);
    bool fits = SelectionPointsFit(s, [&](double x, double y) { return RotatedUnrounded(x, y, cx, cy, degrees); });
    std::int32_t rectangles = 0;
    ForEachSelectedRecord(s, [&](const Word* r) {
        if (!RotationNeedsBox(r)) return;
        ++rectangles;
        const RectangleView rect(r);
        // The sides become the box's length and width.
        fits = fits && Fits(std::fabs(double(rect.Corner1().X) - rect.Corner2().X)) &&
               Fits(std::fabs(double(rect.Corner1().Y) - rect.Corner2().Y));
    });
    if (!fits) {
        platform::ShowError(kRangeMessage);
        return false;
    }
    std::optional<UndoSnapshot> snapshot;
    const auto [words, objects] = SelectionSize(s);
    // The one-pass rewrite below records the buffer it replaces.
    const bool rewriting = rectangles > kBulkRecords;
    if (leaveOriginal || !rewriting) {
        SnapshotWhenLarge(s, snapshot, words * (leaveOriginal ? 2 : 1) + 3 * std::int64_t{objects}, objects);
    }
    const std::int32_t fresh = leaveOriginal ? CopyInPlace(s) : -1;
    Layout* layout = s.OwnerLayout();
    if (rewriting) {
        // Every rectangle grows by a word: one pass over a new buffer.
        SelectionFollower follower;
        const bool done = s.RewriteRecords([&](const Word* r, Word* out) {
            const bool chosen = follower.Chosen(r);
            if (chosen && RotationNeedsBox(r)) {
                RectangleToBox(r, out);
                RotateRecordWords(out, cx, cy, degrees, layout);
                return kBoxLength;
            }
            const int length = RecordLength(r);
            std::memcpy(out, r, static_cast<std::size_t>(length) * sizeof(Word));
            if (chosen) RotateRecordWords(out, cx, cy, degrees, layout);
            return length;
        });
        if (!done) platform::ShowError(kMemoryMessage);
    } else {
        const bool done = ForEachSelectedOffset(s, 0, [&](std::int32_t offset) -> int {
            Word* r = s.RecordAt(offset);
            // A copy made in this step needs no entry, unless it grows: the
            // entries of the copies after it name offsets from before that.
            const bool recorded = fresh < 0 || offset < fresh || RotationNeedsBox(r);
            if (recorded) s.Undo().RecordModified(offset, r);
            if (RotationNeedsBox(r)) {
                Word old[kRectangleLength];
                std::memcpy(old, r, sizeof old);
                r = s.ResizeRecord(r, kBoxLength);
                if (!r) return 0;
                RectangleToBox(old, r);
            }
            RotateRecordWords(r, cx, cy, degrees, layout);
            return RecordLength(r);
        });
        if (!done) platform::ShowError(kMemoryMessage);
    }
    Finish(s);
    return true;
}

bool ScaleSelection(SymbolDescription& s, double cx, double cy, double fx, double fy, bool leaveOriginal) {
    if (!std::isfinite(fx) || !std::isfinite(fy)) {
        platform::ShowError(kFactorMessage);
        return false;
    }
    if (fx == 0 || fy == 0) {
        platform::ShowError(kZeroFactorMessage);
        return false;
    }
    if (!std::isfinite(cx) || !std::isfinite(cy)) {
        platform::ShowError(kCentreMessage);
        return false;
    }
    if (!s.FirstSelected()) return true;
    bool fits = SelectionPointsFit(s, [&](double x, double y) {
        return std::pair{cx + fx * (x - cx), cy + fy * (y - cy)};
    });
    std::int32_t converting = 0;
    ForEachSelectedRecord(s, [&](Word* r) {
        if (!fits) return;
        if (!ScaleNeedsPolygon(r, fx, fy)) {
            fits = ScaledSizesFit(r, fx, fy);
            return;
        }
        ++converting;
        // Its polygon lies within its box.
        const Rect box = ObjectBounds(r, s.OwnerLayout());
        for (const double x : {double(box.minx), double(box.maxx)}) {
            for (const double y : {double(box.miny), double(box.maxy)}) {
                fits = fits && Fits(cx + fx * (x - cx)) && Fits(cy + fy * (y - cy));
            }
        }
    });
    if (!fits) {
        platform::ShowError(kRangeMessage);
        return false;
    }
    std::optional<UndoSnapshot> snapshot;
    const auto [words, objects] = SelectionSize(s);
    // The one-pass rewrite below records the buffer it replaces.
    const bool rewriting = converting > kBulkRecords;
    if (leaveOriginal || !rewriting) {
        SnapshotWhenLarge(s, snapshot, words * (leaveOriginal ? 2 : 1) + 3 * std::int64_t{objects}, objects);
    }
    const std::int32_t fresh = leaveOriginal ? CopyInPlace(s) : -1;
    if (rewriting) {
        // Many records change length: one pass over a new buffer.
        if (!ScaleRewriting(s, cx, cy, fx, fy)) platform::ShowError(kMemoryMessage);
        Finish(s);
        return true;
    }
    ForEachSelectedOffset(s, 0, [&](std::int32_t offset) -> int {
        Word* r = s.RecordAt(offset);
        if (ScaleNeedsPolygon(r, fx, fy)) {
            // The conversion records the object as it was; a record it cannot
            // convert stays as it is, recorded all the same so that undo gives
            // it back its selection mark.
            if (!ConvertToPolygon(s, r) || ScaleNeedsPolygon(r, fx, fy)) {
                if (fresh < 0 || offset < fresh) s.Undo().RecordModified(offset, s.RecordAt(offset));
                return RecordLength(s.RecordAt(offset));
            }
        } else if (fresh < 0 || offset < fresh) {
            s.Undo().RecordModified(offset, r);
        }
        ScaleRecordWords(r, cx, cy, fx, fy);
        return RecordLength(r);
    });
    Finish(s);
    return true;
}

void DeleteSelection(SymbolDescription& s) {
    if (s.selectedCount > kBulkRecords && s.selectedCount == s.objectCount) {
        // Every record is a selected object: the buffer goes whole.
        s.RemoveAllObjects();
        Finish(s);
        return;
    }
    const std::int32_t objects = SelectionSize(s).second;
    if (objects == 0) return;
    platform::Progress().SetProgress(0);
    if (objects > kBulkRecords) {
        UndoSnapshot snapshot(s);
        s.RemoveSelectedObjects();
    } else {
        bool callRemoved = false;
        int shown = 0;
        std::int32_t deleted = 0;
        std::int32_t offset = 0;
        while (offset < s.usedWords) {
            Word* r = s.RecordAt(offset);
            if (!IsSelected(r) || IsMember(r)) {
                offset += RecordLength(r);
                continue;
            }
            const std::int32_t end = s.OffsetOf(s.NextObject(r) ? s.NextObject(r) : s.RecordAt(s.usedWords));
            for (std::int32_t o = offset; o < end; o += RecordLength(s.RecordAt(o))) {
                callRemoved = callRemoved || IsCallKind(RecordKind(s.RecordAt(o)));
            }
            s.DeleteRecord(r);
            const int percent = RoundHalfAway(++deleted * 100.0 / objects);
            if (percent != shown) platform::Progress().SetProgress(shown = percent);
        }
        if (callRemoved) s.RebuildChildren();
    }
    Finish(s);
    platform::Progress().SetProgress(100);
}

namespace {

// Copies the selected objects lying in [begin, end) to the end of the list,
// moved by (dx, dy); the copies take over the selection.  Originals (from
// before the step) keep their old header in the undo list.
bool CopyAndShift(SymbolDescription& s, std::int32_t& begin, std::int32_t& end, std::int32_t dx, std::int32_t dy,
                  bool originals) {
    const std::int32_t copies = s.usedWords;
    for (std::int32_t offset = begin; offset < end; offset += RecordLength(s.RecordAt(offset))) {
        if (!IsSelected(s.RecordAt(offset)) || IsMember(s.RecordAt(offset))) continue;
        if (!AppendMovedCopy(s, offset, dx, dy)) return false;
        Word* r = s.RecordAt(offset);
        if (originals && !s.Undo().CoversSelectionMarks()) s.Undo().RecordModified(offset, r);
        SetSelectedBit(r, false);
    }
    begin = copies;
    end = s.usedWords;
    return true;
}

void DuplicateAsArray(SymbolDescription& s, Word* call, int rows, int columns, std::int32_t rowSpacing,
                      std::int32_t columnSpacing) {
    const DecomposedTransform parts = DecomposeTransform(CallView(call).Matrix());
    double x0 = parts.tx, y0 = parts.ty;
    double sc = columnSpacing, sr = rowSpacing;
    if (sc < 0) {
        x0 += (columns - 1) * sc;
        sc = -sc;
    }
    if (sr < 0) {
        y0 += (rows - 1) * sr;
        sr = -sr;
    }
    const double degrees = parts.angle * 180.0 / kPi;
    const auto column = RotatedUnrounded(RoundHalfAway(x0) + columns * sc, RoundHalfAway(y0), RoundHalfAway(x0),
                                         RoundHalfAway(y0), degrees);
    const auto row = RotatedUnrounded(RoundHalfAway(x0), RoundHalfAway(y0) + rows * sr, RoundHalfAway(x0),
                                      RoundHalfAway(y0), degrees);
    if (!Fits(x0) || !Fits(y0) || !Fits(column.first) || !Fits(column.second) || !Fits(row.first) ||
        !Fits(row.second)) {
        platform::ShowError(kRangeMessage);
        return;
    }
    const Point origin{RoundHalfAway(x0), RoundHalfAway(y0)};
    const Point columnEnd =
        RotatePoint({RoundHalfAway(origin.X + columns * sc), origin.Y}, origin.X, origin.Y, degrees);
    const Point rowEnd = RotatePoint({origin.X, RoundHalfAway(origin.Y + rows * sr)}, origin.X, origin.Y, degrees);
    const std::int32_t symbolId = CallView(call).SymbolId();
    s.DeleteRecord(call);
    Word* array =
        s.InsertArray(symbolId, origin, columnEnd, rowEnd, columns, rows, (parts.scaleX + parts.scaleY) / 2, degrees);
    if (array) s.SetSelected(array);
    s.RebuildChildren();
}

}  // namespace

void DuplicateSelection(SymbolDescription& s, int rows, int columns, std::int32_t rowSpacing,
                        std::int32_t columnSpacing, bool asArray) {
    if (rows <= 0 || columns <= 0 || rowSpacing == 0 || columnSpacing == 0) return;
    const auto [words, objects] = SelectionSize(s);
    if (objects == 0) return;
    Word* first = s.FirstSelected();
    if (asArray && objects == 1 && RecordKind(first) == ObjectKind::SymbolCall) {
        DuplicateAsArray(s, first, rows, columns, rowSpacing, columnSpacing);
        Finish(s);
        return;
    }
    const std::int64_t copies = std::int64_t{rows} * columns - 1;
    if (copies == 0) return;
    // The copies reach from the originals to the last row and column.
    const double across = double(columns - 1) * columnSpacing, up = double(rows - 1) * rowSpacing;
    const PointExtent extent = SelectionPointExtent(s);
    bool fits = Fits(across) && Fits(up);
    for (const double dx : {0.0, across}) {
        for (const double dy : {0.0, up}) fits = fits && extent.FitsMovedBy(dx, dy);
    }
    if (!fits) {
        platform::ShowError(kRangeMessage);
        return;
    }
    // In doubles: rows x columns copies of a large selection overflow 64 bits.
    if (s.usedWords + double(words) * double(copies) >= INT32_MAX || !s.ReserveWords(words * copies)) {
        platform::ShowError(kMemoryMessage);
        return;
    }
    // The copies are appended and take over the selection: undo cuts them off
    // and marks the originals again.
    std::optional<UndoAppendScope> appending;
    if (objects > kBulkRecords) appending.emplace(s);
    platform::Progress().SetProgress(0);
    std::int32_t begin = 0, end = s.usedWords;
    bool originals = true, complete = true;
    const auto back = static_cast<std::int32_t>(-across);
    for (int row = 0; row < rows && complete; ++row) {
        platform::Progress().SetProgress(RoundHalfAway(row * 100.0 / rows));
        for (int column = 1; column < columns && complete; ++column) {
            complete = CopyAndShift(s, begin, end, columnSpacing, 0, originals);
            originals = false;
        }
        if (row + 1 < rows && complete) {
            complete = CopyAndShift(s, begin, end, back, rowSpacing, originals);
            originals = false;
        }
    }
    if (!complete) platform::ShowError(kMemoryMessage);
    Finish(s);
    platform::Progress().SetProgress(100);
}

void SetSelectionLayer(SymbolDescription& s, int layer) {
    if (layer < 0 || layer > 255) {
        platform::ShowError("The layer index is out of range.");
        return;
    }
    std::optional<UndoSnapshot> snapshot;
    const auto [words, objects] = SelectionSize(s);
    SnapshotWhenLarge(s, snapshot, words + 3 * std::int64_t{objects}, objects);
    const auto relayer = [&](Word* r) {
        s.Undo().RecordModified(s.OffsetOf(r), r);
        SetRecordLayer(r, layer);
    };
    for (Word* r = s.FirstSelected(); r; r = s.NextSelected(r)) {
        const ObjectKind kind = RecordKind(r);
        if (kind >= ObjectKind::Rectangle && kind <= ObjectKind::ArcWire) {
            relayer(r);
        } else if (kind != ObjectKind::Text) {
            // Unchanged, but undo puts every selected record back as it was,
            // selection mark included.
            s.Undo().RecordModified(s.OffsetOf(r), r);
        } else {
            relayer(r);
            int members = MemberCount(r);
            for (Word* m = s.NextRecord(r); members-- > 0 && m && IsMember(m); m = s.NextRecord(m)) relayer(m);
        }
    }
    s.UpdateSelection();
}

bool CenterAtOrigin(SymbolDescription& s) {
    if (!s.layout || s.layout->MainSymbol() != &s) return false;
    Rect box;
    if (!(s.FirstSelected() && s.GetSelectionBox(box))) {
        s.RecomputeBounds();
        box = s.Bounds();
    }
    const auto dx = static_cast<std::int32_t>(-((std::int64_t{box.minx} + box.maxx) / 2));
    const auto dy = static_cast<std::int32_t>(-((std::int64_t{box.miny} + box.maxy) / 2));
    if (dx == 0 && dy == 0) return true;
    bool fits = true;
    for (const Word* r = s.FirstRecord(); r && fits; r = s.NextRecord(r)) {
        ForEachStoredPoint(r, [&](double x, double y) { fits = fits && Fits(x + dx) && Fits(y + dy); });
    }
    if (!fits) {
        platform::ShowError(kRangeMessage);
        return false;
    }
    std::optional<UndoSnapshot> snapshot;
    SnapshotWhenLarge(s, snapshot, s.usedWords + 3 * std::int64_t{s.objectCount}, s.objectCount);
    for (Word* r = s.FirstRecord(); r; r = s.NextObject(r)) MoveRecord(s, r, dx, dy);
    s.RecomputeBounds();
    s.UpdateSelection();
    return true;
}

namespace {

// The wire along the centre line of a ring: N + 1 nodes from the bottom,
// counter-clockwise, the last repeating the first.
std::vector<Word> RingAsWire(const Word* r) {
    const RingView ring(r);
    const int n = Settings().ringNumSegments;
    const int length = kWireBaseLength + 2 * (n + 1);
    std::vector<Word> out(static_cast<std::size_t>(length));
    out[0] = r[0];
    SetRecordLength(out.data(), length);
    SetRecordKind(out.data(), ObjectKind::Wire);
    const WireView wire(out.data());
    const Point c = ring.Centre();
    const std::int64_t reach = std::int64_t{ring.Radius()} + ring.RingWidth() / 2;
    wire.SetNodeBounds({SaturateToInt32(c.X - reach), SaturateToInt32(c.Y - reach), SaturateToInt32(c.X + reach),
                        SaturateToInt32(c.Y + reach)});
    wire.SetWidthWord(MakeWireWidthWord(ring.RingWidth(), static_cast<int>(EndStyle::Round)));
    for (int k = 0; k < n; ++k) {
        const double angle = (-90.0 + k * 360.0 / n) * kPi / 180.0;
        wire.Nodes()[k] = {RoundHalfAway(c.X + ring.Radius() * std::cos(angle)),
                           RoundHalfAway(c.Y + ring.Radius() * std::sin(angle))};
    }
    wire.Nodes()[n] = wire.Nodes()[0];
    return out;
}

// The wire along the centre line of an arc wire, sampled as for its extent,
// ending on its exact end point.
std::vector<Word> ArcAsWire(const Word* r) {
    const ArcWireView arc(r);
    const Point start = arc.Start(), centre = arc.Centre(), end = arc.End();
    const double cx = centre.X, cy = centre.Y;
    const double rs = std::hypot(start.X - cx, start.Y - cy), ts = std::atan2(start.Y - cy, start.X - cx);
    const double re = std::hypot(end.X - cx, end.Y - cy), te = std::atan2(end.Y - cy, end.X - cx);
    double sweep = te - ts;
    if (arc.Clockwise()) {
        while (sweep >= 0) sweep -= 2 * kPi;
        if (sweep < -2 * kPi) sweep += 2 * kPi;
    } else {
        while (sweep <= 0) sweep += 2 * kPi;
        if (sweep > 2 * kPi) sweep -= 2 * kPi;
    }
    const int n = std::max(0, RoundHalfAway(std::fabs(sweep) / (2 * kPi) * Settings().ringNumSegments));
    const int length = kWireBaseLength + 2 * (n + 2);
    std::vector<Word> out(static_cast<std::size_t>(length));
    out[0] = r[0];
    SetRecordLength(out.data(), length);
    SetRecordKind(out.data(), ObjectKind::Wire);
    const WireView wire(out.data());
    wire.SetWidthWord(static_cast<Word>(static_cast<std::uint32_t>(arc.WidthWord()) & ~kSelectedBit));
    for (int k = 0; k <= n; ++k) {
        const double angle = ts + k * sweep / (n + 1);
        const double rho = rs + k * (re - rs) / (n + 1);
        wire.Nodes()[k] = {RoundHalfAway(cx + rho * std::cos(angle)), RoundHalfAway(cy + rho * std::sin(angle))};
    }
    wire.Nodes()[n + 1] = end;
    wire.RefreshNodeBounds();
    return out;
}

}  // namespace

void ConvertIntoWire(SymbolDescription& s) {
    Word* r = s.FirstSelected();
    if (!r) return;
    std::vector<Word> wire;
    if (RecordKind(r) == ObjectKind::Ring) {
        wire = RingAsWire(r);
    } else if (RecordKind(r) == ObjectKind::ArcWire) {
        wire = ArcAsWire(r);
    } else {
        return;
    }
    // Undo clears the selection and gives back only the records it restores:
    // the other selected records are recorded too, so that they come back
    // selected.
    std::optional<UndoSnapshot> snapshot;
    if (s.selectedCount > kBulkRecords) {
        snapshot.emplace(s);
    } else {
        for (Word* other = s.NextSelected(r); other; other = s.NextSelected(other)) {
            s.Undo().RecordModified(s.OffsetOf(other), other);
        }
    }
    if (!s.ReplaceRecord(s.FirstSelected(), wire.data())) platform::ShowError(kMemoryMessage);
    s.RecomputeBounds();
    s.UpdateSelection();
    s.SetCurrentObject(nullptr);
}

namespace {

bool Meet(Point a, Point b, std::int64_t tolerance) {
    return std::llabs(std::int64_t{a.X} - b.X) <= tolerance && std::llabs(std::int64_t{a.Y} - b.Y) <= tolerance;
}

// A selected wire while wires are joined.  Its nodes stay in the common pool
// in their original order; a wire that takes others on keeps the list of the
// wires before and after it, and only its ends and node count change.
struct ChainWire {
    std::int32_t offset;  // in the buffer as it was
    Word header;
    Word widthWord;
    Rect extent;
    std::int32_t firstNode;  // in the pool
    std::int32_t nodeCount;  // its own
    Point start, end;        // of the whole chain
    std::int64_t chainNodes;
    std::int32_t chain = -1;  // its list of joined wires, if any
    bool gone = false;        // joined onto an earlier wire
    bool polygon = false;     // closed with width 0
};

struct JoinedWire {
    std::int32_t wire;
    bool reversed;
};

// The wires joined before (last joined first) and after a wire.
struct Chain {
    std::vector<JoinedWire> before, after;
};

// The ends of the wires by square cells of side tolerance + 1, sorted by cell
// and wire, so that ends that meet lie in the same or a neighbouring cell.
// Only the wires after the one being joined are ever wanted, and their ends
// do not move until their own turn: each cell keeps a cursor past the entries
// of wires that had their turn or are gone.
class WireEnds {
public:
    WireEnds(const std::vector<ChainWire>& wires, std::int64_t tolerance) : side(tolerance + 1), tolerance(tolerance) {
        for (std::size_t k = 0; k < wires.size(); ++k) {
            if (wires[k].nodeCount == 0) continue;
            for (const Point p : {wires[k].start, wires[k].end}) {
                ends.push_back({Key(Cell(p.X), Cell(p.Y)), p, static_cast<std::int32_t>(k)});
            }
        }
        std::sort(ends.begin(), ends.end(),
                  [](const End& a, const End& b) { return a.key != b.key ? a.key < b.key : a.wire < b.wire; });
        cursor.resize(ends.size());
        for (std::size_t k = 0; k < ends.size(); ++k) cursor[k] = static_cast<std::int32_t>(k);
    }

    // Adds to `found` the wires after `after` with an end meeting p, from the
    // cells that p's tolerance square touches (one at tolerance 0, at most
    // four otherwise).
    void Near(Point p, std::int32_t after, const std::vector<ChainWire>& wires, std::vector<std::int32_t>& found) {
        for (std::int64_t x = Cell(p.X - tolerance); x <= Cell(p.X + tolerance); ++x) {
            for (std::int64_t y = Cell(p.Y - tolerance); y <= Cell(p.Y + tolerance); ++y) {
                const std::uint64_t key = Key(x, y);
                const auto first = std::lower_bound(ends.begin(), ends.end(), key,
                                                    [](const End& e, std::uint64_t k) { return e.key < k; });
                if (first == ends.end() || first->key != key) continue;
                const auto cell = static_cast<std::size_t>(first - ends.begin());
                std::size_t k = static_cast<std::size_t>(cursor[cell]);
                while (k < ends.size() && ends[k].key == key && (ends[k].wire <= after || wires[ends[k].wire].gone)) {
                    ++k;
                }
                cursor[cell] = static_cast<std::int32_t>(k);
                for (; k < ends.size() && ends[k].key == key; ++k) {
                    if (!wires[ends[k].wire].gone && Meet(p, ends[k].point, tolerance)) found.push_back(ends[k].wire);
                }
            }
        }
    }

private:
    struct End {
        std::uint64_t key;
        Point point;
        std::int32_t wire;
    };
    std::int64_t Cell(std::int64_t v) const { return v >= 0 ? v / side : -((-v + side - 1) / side); }
    static std::uint64_t Key(std::int64_t x, std::int64_t y) {
        return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(x)) << 32) | static_cast<std::uint32_t>(y);
    }
    std::int64_t side;
    std::int64_t tolerance;
    std::vector<End> ends;
    std::vector<std::int32_t> cursor;  // at the first entry of each cell
};

// A wire of width 0 whose ends meet is to become a polygon.
bool Closes(const ChainWire& w, std::int64_t tolerance) {
    return WidthOf(w.widthWord) == 0 && w.chainNodes >= 2 && Meet(w.start, w.end, tolerance);
}

// Joins q (a wire of its own still) onto p when one of p's ends meets one of
// q's, by the first of the cases that applies.  False when they do not meet
// or the result would not fit one record.
bool Join(std::vector<ChainWire>& wires, std::vector<Chain>& chains, std::int32_t pIndex, std::int32_t qIndex,
          std::int64_t tolerance) {
    ChainWire& p = wires[static_cast<std::size_t>(pIndex)];
    ChainWire& q = wires[static_cast<std::size_t>(qIndex)];
    const std::int64_t nodes = p.chainNodes + q.nodeCount - 1;
    if (kWireBaseLength + 2 * nodes > kMaxRecordLength) return false;
    JoinedWire joined{qIndex, false};
    bool before = true;
    if (Meet(p.start, q.start, tolerance)) {  // reversed q, then p
        joined.reversed = true;
        p.start = q.end;
    } else if (Meet(p.start, q.end, tolerance)) {  // q, then p
        p.start = q.start;
    } else if (Meet(p.end, q.start, tolerance)) {  // p, then q
        before = false;
        p.end = q.end;
    } else if (Meet(p.end, q.end, tolerance)) {  // p, then reversed q
        before = false;
        joined.reversed = true;
        p.end = q.start;
    } else {
        return false;
    }
    if (p.chain < 0) {
        p.chain = static_cast<std::int32_t>(chains.size());
        chains.emplace_back();
    }
    Chain& chain = chains[static_cast<std::size_t>(p.chain)];
    (before ? chain.before : chain.after).push_back(joined);
    p.chainNodes = nodes;
    p.extent = {std::min(p.extent.minx, q.extent.minx), std::min(p.extent.miny, q.extent.miny),
                std::max(p.extent.maxx, q.extent.maxx), std::max(p.extent.maxy, q.extent.maxy)};
    q.gone = true;
    return true;
}

// The record of a changed wire: the joined wire, or the polygon of a closed
// wire of width 0 without its last node.  Where two wires meet, the node of
// the one that comes second is kept.
std::vector<Word> ChainRecord(const ChainWire& w, const std::vector<ChainWire>& wires, const std::vector<Chain>& chains,
                              const std::vector<Point>& pool) {
    std::vector<JoinedWire> order;
    if (w.chain >= 0) {
        const Chain& chain = chains[static_cast<std::size_t>(w.chain)];
        order.assign(chain.before.rbegin(), chain.before.rend());
    }
    order.push_back({static_cast<std::int32_t>(&w - wires.data()), false});
    if (w.chain >= 0) {
        const Chain& chain = chains[static_cast<std::size_t>(w.chain)];
        order.insert(order.end(), chain.after.begin(), chain.after.end());
    }
    std::vector<Point> nodes;
    nodes.reserve(static_cast<std::size_t>(w.chainNodes));
    for (const JoinedWire& part : order) {
        if (!nodes.empty()) nodes.pop_back();
        const ChainWire& from = wires[static_cast<std::size_t>(part.wire)];
        const auto first = pool.begin() + from.firstNode, last = first + from.nodeCount;
        if (part.reversed) {
            nodes.insert(nodes.end(), std::make_reverse_iterator(last), std::make_reverse_iterator(first));
        } else {
            nodes.insert(nodes.end(), first, last);
        }
    }
    const int n = static_cast<int>(nodes.size()) - (w.polygon ? 1 : 0);
    const int length = (w.polygon ? kPolygonBaseLength : kWireBaseLength) + 2 * n;
    std::vector<Word> out(static_cast<std::size_t>(length));
    out[0] = w.header;
    SetRecordLength(out.data(), length);
    if (w.polygon) {
        SetRecordKind(out.data(), ObjectKind::Polygon);
        std::copy(nodes.begin(), nodes.begin() + n, PolygonView(out.data()).Nodes());
        PolygonView(out.data()).RefreshNodeBounds();
    } else {
        const WireView wire(out.data());
        wire.SetWidthWord(w.widthWord);
        wire.SetNodeBounds(w.extent);
        std::copy(nodes.begin(), nodes.end(), wire.Nodes());
    }
    return out;
}

}  // namespace

void ConnectWires(SymbolDescription& s, std::int32_t tolerance) {
    const std::int64_t t = std::max<std::int64_t>(tolerance, 0);
    std::vector<ChainWire> wires;
    std::vector<Point> pool;
    for (Word* r = s.FirstSelected(); r; r = s.NextSelected(r)) {
        if (RecordKind(r) != ObjectKind::Wire) continue;
        const WireView wire(r);
        const int n = wire.NodeCount();
        if (pool.size() + static_cast<std::size_t>(n) > static_cast<std::size_t>(INT32_MAX)) break;
        ChainWire w{s.OffsetOf(r),
                    r[0],
                    wire.WidthWord(),
                    wire.NodeBounds(),
                    static_cast<std::int32_t>(pool.size()),
                    n,
                    {},
                    {},
                    n};
        if (n > 0) {
            w.start = wire.Node(0);
            w.end = wire.Node(n - 1);
        }
        pool.insert(pool.end(), wire.Nodes(), wire.Nodes() + n);
        wires.push_back(w);
    }
    WireEnds ends(wires, t);
    std::vector<Chain> chains;
    std::int32_t changes = 0;
    std::vector<std::int32_t> found;
    for (std::size_t k = 0; k < wires.size(); ++k) {
        const auto index = static_cast<std::int32_t>(k);
        if (wires[k].gone || wires[k].nodeCount == 0) continue;
        // The next wire in list order that meets one of the ends, again after
        // each join, until none does or the wire closes into a polygon.
        for (bool joined = !Closes(wires[k], t); joined && !Closes(wires[k], t);) {
            joined = false;
            found.clear();
            ends.Near(wires[k].start, index, wires, found);
            ends.Near(wires[k].end, index, wires, found);
            std::sort(found.begin(), found.end());
            found.erase(std::unique(found.begin(), found.end()), found.end());
            for (const std::int32_t q : found) {
                if (Join(wires, chains, index, q, t)) {
                    joined = true;
                    ++changes;
                    break;
                }
            }
        }
        if (Closes(wires[k], t)) {
            wires[k].polygon = true;
            ++changes;
        }
    }
    const auto changed = [](const ChainWire& w) { return w.chain >= 0 || w.polygon; };
    if (changes > kBulkRecords || (changes > 0 && s.selectedCount > kBulkRecords)) {
        // One pass over a new buffer instead of moving its tail per join; the
        // buffer it replaces, kept for undo, also keeps the selection marks
        // of what stays.
        std::size_t next = 0;
        const bool done = s.RewriteRecords([&](const Word* r, Word* out) {
            const int length = RecordLength(r);
            if (next < wires.size() && wires[next].offset == s.OffsetOf(r)) {
                const ChainWire& w = wires[next++];
                if (w.gone) return 0;
                if (changed(w)) {
                    const std::vector<Word> record = ChainRecord(w, wires, chains, pool);
                    std::copy(record.begin(), record.end(), out);
                    return static_cast<int>(record.size());
                }
            }
            std::memcpy(out, r, static_cast<std::size_t>(length) * sizeof(Word));
            return length;
        });
        if (!done) platform::ShowError(kMemoryMessage);
    } else if (changes > 0) {
        // Every new record first, with room for them, so that no wire goes
        // without the one it was joined onto being written.
        std::vector<std::vector<Word>> records(wires.size());
        std::int64_t growth = 0;
        for (std::size_t k = 0; k < wires.size(); ++k) {
            if (wires[k].gone || !changed(wires[k])) continue;
            records[k] = ChainRecord(wires[k], wires, chains, pool);
            growth += static_cast<std::int64_t>(records[k].size());
        }
        if (!s.ReserveWords(growth)) {
            platform::ShowError(kMemoryMessage);
            return;
        }
        // Undo clears the selection and gives back only the records it
        // restores: the selected records that stay are recorded too.
        std::size_t w = 0;
        for (Word* r = s.FirstSelected(); r; r = s.NextSelected(r)) {
            const std::int32_t offset = s.OffsetOf(r);
            while (w < wires.size() && wires[w].offset < offset) ++w;
            if (w < wires.size() && wires[w].offset == offset && (wires[w].gone || changed(wires[w]))) continue;
            s.Undo().RecordModified(offset, r);
        }
        // From the end backwards, so that the offsets still to come stay put.
        for (std::size_t k = wires.size(); k-- > 0;) {
            if (wires[k].gone) {
                s.DeleteRecord(s.RecordAt(wires[k].offset));
            } else if (!records[k].empty()) {
                s.ReplaceRecord(s.RecordAt(wires[k].offset), records[k].data());
            }
        }
    }
    if (changes > 0) s.RecomputeBounds();
    s.UpdateSelection();
}

Word* ReplaceSelectionRecord(SymbolDescription& s, Word* record, const Word* newContents) {
    const bool calls = IsCallKind(RecordKind(record)) || IsCallKind(RecordKind(newContents));
    const std::int32_t offset = s.OffsetOf(record);
    if (!s.ReplaceRecord(record, newContents)) {
        platform::ShowError(kMemoryMessage);
        return nullptr;
    }
    if (calls) s.RebuildChildren();
    s.RecomputeBounds();
    if (s.selectedCount == 1 && s.CurrentObject()) {
        s.SelectSingle(s.CurrentObject());
    } else {
        s.UpdateSelection();
    }
    return s.RecordAt(offset);
}

}  // namespace zandor
