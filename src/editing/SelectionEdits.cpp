#include "editing/SelectionEdits.h"

#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "model/Geometry.h"
#include "model/Layout.h"
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
            s.Undo().RecordModified(offset, r);
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

}  // namespace

void CopySelectionInPlace(SymbolDescription& s) {
    if (CopyInPlace(s) >= 0) s.UpdateSelection();
}

bool MoveSelection(SymbolDescription& s, std::int32_t dx, std::int32_t dy, bool leaveOriginal) {
    if (!s.FirstSelected()) return true;
    const double fx = dx, fy = dy;
    if (!SelectionPointsFit(s, [&](double x, double y) { return std::pair{x + fx, y + fy}; })) {
        platform::ShowError(kRangeMessage);
        return false;
    }
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
    const std::int32_t fresh = leaveOriginal ? CopyInPlace(s) : -1;
    Layout* layout = s.OwnerLayout();
    if (rectangles > kBulkRecords) {
        // Every rectangle grows by a word: one pass over a new buffer.
        UndoSnapshot snapshot(s);
        int membersLeft = 0;
        const bool done = s.RewriteRecords([&](const Word* r, Word* out) {
            bool chosen = false;
            if (IsMember(r) && membersLeft > 0) {
                chosen = true;
                --membersLeft;
            } else {
                membersLeft = 0;
                if (IsSelected(r) && !IsMember(r)) {
                    chosen = true;
                    membersLeft = IsHead(r) ? MemberCount(r) : 0;
                }
            }
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
            const bool recorded = fresh < 0 || offset < fresh;
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
    ForEachSelectedRecord(s, [&](const Word* r) { fits = fits && ScaledSizesFit(r, fx, fy); });
    if (!fits) {
        platform::ShowError(kRangeMessage);
        return false;
    }
    const std::int32_t fresh = leaveOriginal ? CopyInPlace(s) : -1;
    ForEachSelectedRecord(s, [&](Word* r) {
        if (ScaleNeedsPolygon(r, fx, fy)) return;
        if (fresh < 0 || s.OffsetOf(r) < fresh) s.Undo().RecordModified(s.OffsetOf(r), r);
        ScaleRecordWords(r, cx, cy, fx, fy);
    });
    Finish(s);
    return true;
}

void DeleteSelection(SymbolDescription& s) {
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

}  // namespace zandor
