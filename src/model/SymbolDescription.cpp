#include "model/SymbolDescription.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "model/Geometry.h"
#include "model/Layout.h"
#include "model/UndoList.h"
#include "model/WordStorage.h"
#include "platform/Messages.h"

namespace zandor {

namespace {

constexpr const char* kRecursionMessage = "Cannot insert a parent symbol into one of it's child symbols!";

Rect MappedBox(const Rect& box, const TransformMatrix& m) {
    Point corners[4] = {{box.minx, box.miny}, {box.maxx, box.miny}, {box.maxx, box.maxy}, {box.minx, box.maxy}};
    TransformPoints(corners, 4, m);
    return PointsBounds(corners, 4);
}

}  // namespace

SymbolDescription::SymbolDescription(Layout* owner) : layout(owner), undo(std::make_unique<UndoList>(this)) {}

SymbolDescription::~SymbolDescription() {
    if (layout) layout->ForgetChildren(*this);
    FreeWords(objects, static_cast<std::size_t>(capacity));
}

void SymbolDescription::Reset() {
    FreeWords(objects, static_cast<std::size_t>(capacity));
    objects = nullptr;
    capacity = 0;
    objectCount = 0;
    usedWords = 0;
    minx = maxx = miny = maxy = 0;
    boundsValid = false;
    view.zoomStack.clear();
    callCount = 0;
    if (layout) layout->ForgetChildren(*this);
    children.clear();
    selectedCount = 0;
    currentObject = -1;
    currentKind = currentLayer = 0;
    selectionBox = {};
    selectedWords = 0;
    view.frameShown = false;
    statusText = "No selected objects";
    view.measureX1 = view.measureY1 = view.measureX2 = view.measureY2 = 0;
    view.measureShown = false;
    view.nodeList.Clear();
    undo->Clear();
}

void SymbolDescription::SetName(std::string_view text) {
    if (text.find_first_of("()") != std::string_view::npos) return;
    if (layout) layout->UnindexName(*this);
    name = std::string(text);
    if (layout) {
        layout->IndexName(*this);
        layout->modified = true;
    }
}

// ---------------------------------------------------------------------------
// Buffer operations

bool SymbolDescription::Reserve(std::int64_t words, std::int32_t extra) {
    const std::int64_t need = static_cast<std::int64_t>(usedWords) + words + 1;
    if (objects != nullptr && need <= capacity) return true;
    for (;;) {
        const std::int64_t wanted = static_cast<std::int64_t>(usedWords) + words + extra;
        Word* fresh = nullptr;
        if (wanted <= INT32_MAX) {
            fresh = objects == nullptr ? AllocateWords(static_cast<std::size_t>(wanted))
                                       : ReallocateWords(objects, static_cast<std::size_t>(capacity),
                                                         static_cast<std::size_t>(wanted));
        }
        if (fresh != nullptr) {
            if (objects == nullptr) fresh[0] = 0;
            objects = fresh;
            capacity = static_cast<std::int32_t>(wanted);
            return true;
        }
        // Ask for less slack before giving up; the step stays smaller.
        if (extra != growStep || growStep <= 16) return false;
        growStep /= 2;
        extra = growStep;
    }
}

Word* SymbolDescription::AppendRecord(int n) {
    if (n <= 0 || n > kMaxRecordLength) return nullptr;
    if (!Reserve(n, growStep)) return nullptr;
    Word* record = objects + usedWords;
    usedWords += n;
    objects[usedWords] = 0;
    ++objectCount;
    return record;
}

void SymbolDescription::ShiftCurrent(std::int32_t offset, std::int32_t delta) {
    // delta < 0: -delta words removed at offset; delta > 0: words inserted at offset.
    if (currentObject >= offset) {
        if (delta < 0 && currentObject < offset - delta) {
            currentObject = -1;  // the current object itself went away
        } else {
            currentObject += delta;
        }
    }
    undo->ShiftLastInserted(offset, delta);
}

Word* SymbolDescription::ResizeRecord(Word* record, int newLength) {
    if (newLength <= 0 || newLength > kMaxRecordLength) return nullptr;
    const std::int32_t offset = OffsetOf(record);
    const int oldLength = RecordLength(record);
    const int delta = newLength - oldLength;
    if (delta > 0 && !Reserve(delta, 1000)) return nullptr;
    record = objects + offset;
    const std::int32_t tail = usedWords - offset - oldLength + 1;  // terminator included
    // Undo restores many records of unchanged length: they must not each move the tail.
    if (delta != 0) std::memmove(record + newLength, record + oldLength, static_cast<std::size_t>(tail) * sizeof(Word));
    usedWords += delta;
    SetRecordLength(record, newLength);
    if (delta != 0) {
        // The record keeps its place; only what follows it moves.
        if (currentObject > offset) currentObject += delta;
        undo->ShiftLastInserted(offset + 1, delta);
    }
    return record;
}

void SymbolDescription::RemoveWordsAt(std::int32_t offset, int count) {
    if (count <= 0 || offset < 0 || offset + count > usedWords) return;
    std::memmove(objects + offset, objects + offset + count,
                 static_cast<std::size_t>(usedWords - offset - count + 1) * sizeof(Word));
    usedWords -= count;
    ShiftCurrent(offset, -count);
}

bool SymbolDescription::InsertWordsAt(std::int32_t offset, const Word* words, int count) {
    if (count <= 0 || offset < 0 || offset > usedWords) return false;
    if (!Reserve(count, growStep)) return false;
    std::memmove(objects + offset + count, objects + offset,
                 static_cast<std::size_t>(usedWords - offset + 1) * sizeof(Word));
    std::memcpy(objects + offset, words, static_cast<std::size_t>(count) * sizeof(Word));
    usedWords += count;
    ShiftCurrent(offset, count);
    return true;
}

Word* SymbolDescription::DeleteRecord(Word* record) {
    const std::int32_t offset = OffsetOf(record);
    const int members = IsHead(record) ? MemberCount(record) : 0;
    auto removeOne = [&] {
        Word* r = objects + offset;
        undo->RecordDeleted(offset, r);
        if (IsSelected(r) && selectedCount > 0) --selectedCount;
        RemoveWordsAt(offset, RecordLength(r));
        --objectCount;
    };
    removeOne();
    for (int k = 0; k < members && offset < usedWords && IsMember(objects + offset); ++k) removeOne();
    return offset < usedWords ? objects + offset : nullptr;
}

Word* SymbolDescription::ReplaceRecord(Word* record, const Word* newContents) {
    const std::int32_t offset = OffsetOf(record);
    const int newLength = RecordLength(newContents);
    // The new contents may lie in this buffer, which a resize can move.
    std::vector<Word> copy(newContents, newContents + newLength);
    undo->RecordModified(offset, record);
    if (newLength != RecordLength(record)) {
        record = ResizeRecord(record, newLength);
        if (record == nullptr) return nullptr;
    }
    std::memcpy(record, copy.data(), static_cast<std::size_t>(newLength) * sizeof(Word));
    UpdateSelection();
    return objects + offset;
}

void SymbolDescription::ShrinkBuffer() {
    if (objects == nullptr) return;
    Word* fresh = ReallocateWords(objects, static_cast<std::size_t>(capacity), static_cast<std::size_t>(usedWords) + 1);
    if (fresh != nullptr) {
        objects = fresh;
        capacity = usedWords + 1;
    }
}

void SymbolDescription::UpdateBounds(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
    if (objectCount == 1) {
        minx = x1;
        miny = y1;
        maxx = x2;
        maxy = y2;
    } else {
        minx = std::min(minx, x1);
        miny = std::min(miny, y1);
        maxx = std::max(maxx, x2);
        maxy = std::max(maxy, y2);
    }
}

Word* SymbolDescription::FinishInsert(Word* record) {
    undo->RecordInserted(OffsetOf(record));
    return record;
}

// ---------------------------------------------------------------------------
// Record creators

Word* SymbolDescription::AddRectangle(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, int layer) {
    Word* r = AppendRecord(kRectangleLength);
    if (!r) return nullptr;
    r[0] = MakeHeader(kRectangleLength, layer, ObjectKind::Rectangle);
    r[1] = std::min(x1, x2);
    r[2] = std::min(y1, y2);
    r[3] = std::max(x1, x2);
    r[4] = std::max(y1, y2);
    UpdateBounds(r[1], r[2], r[3], r[4]);
    return FinishInsert(r);
}

Word* SymbolDescription::AddBox(std::int32_t cx, std::int32_t cy, std::int32_t length, std::int32_t width,
                                double degrees, int layer) {
    Word* r = AppendRecord(kBoxLength);
    if (!r) return nullptr;
    r[0] = MakeHeader(kBoxLength, layer, ObjectKind::Box);
    r[1] = cx;
    r[2] = cy;
    r[3] = length;
    r[4] = width;
    r[5] = RoundHalfAway(degrees * 1000.0);
    const double theta = degrees * kPi / 180.0;
    const double hx = std::fabs(width * std::sin(theta) / 2) + std::fabs(length * std::cos(theta) / 2);
    const double hy = std::fabs(width * std::cos(theta) / 2) + std::fabs(length * std::sin(theta) / 2);
    UpdateBounds(RoundHalfAway(cx - hx), RoundHalfAway(cy - hy), RoundHalfAway(cx + hx), RoundHalfAway(cy + hy));
    return FinishInsert(r);
}

Word* SymbolDescription::AddPolygon(const Point* points, int n, int layer) {
    if (n < 0 || n > kMaxPolygonNodes) return nullptr;
    const int length = kPolygonBaseLength + 2 * n;
    Word* r = AppendRecord(length);
    if (!r) return nullptr;
    r[0] = MakeHeader(length, layer, ObjectKind::Polygon);
    const Rect box = PointsBounds(points, n);
    r[1] = box.minx;
    r[2] = box.miny;
    r[3] = box.maxx;
    r[4] = box.maxy;
    if (n > 0) std::memcpy(r + 5, points, static_cast<std::size_t>(n) * sizeof(Point));
    UpdateBounds(box);
    return FinishInsert(r);
}

Word* SymbolDescription::AddWire(const Point* points, int n, std::int32_t width, int endStyle, int layer) {
    if (n < 0 || kWireBaseLength + 2 * static_cast<std::int64_t>(n) > kMaxRecordLength) return nullptr;
    const int length = kWireBaseLength + 2 * n;
    Word* r = AppendRecord(length);
    if (!r) return nullptr;
    r[0] = MakeHeader(length, layer, ObjectKind::Wire);
    const Rect box = PointsBounds(points, n);
    r[1] = box.minx;
    r[2] = box.miny;
    r[3] = box.maxx;
    r[4] = box.maxy;
    r[5] = MakeWireWidthWord(width, endStyle);
    if (n > 0) std::memcpy(r + 6, points, static_cast<std::size_t>(n) * sizeof(Point));
    UpdateBounds(box);
    return FinishInsert(r);
}

Word* SymbolDescription::AddCircle(std::int32_t cx, std::int32_t cy, std::int32_t radius, int layer) {
    Word* r = AppendRecord(kCircleLength);
    if (!r) return nullptr;
    r[0] = MakeHeader(kCircleLength, layer, ObjectKind::Circle);
    r[1] = cx;
    r[2] = cy;
    r[3] = radius;
    UpdateBounds(SaturateToInt32(std::int64_t{cx} - radius), SaturateToInt32(std::int64_t{cy} - radius),
                 SaturateToInt32(std::int64_t{cx} + radius), SaturateToInt32(std::int64_t{cy} + radius));
    return FinishInsert(r);
}

Word* SymbolDescription::AddRing(std::int32_t cx, std::int32_t cy, std::int32_t radius, std::int32_t width, int layer) {
    Word* r = AppendRecord(kRingLength);
    if (!r) return nullptr;
    r[0] = MakeHeader(kRingLength, layer, ObjectKind::Ring);
    r[1] = cx;
    r[2] = cy;
    r[3] = radius;
    r[4] = width;
    const std::int64_t reach = std::int64_t{radius} + width / 2;
    UpdateBounds(SaturateToInt32(cx - reach), SaturateToInt32(cy - reach), SaturateToInt32(cx + reach),
                 SaturateToInt32(cy + reach));
    return FinishInsert(r);
}

Word* SymbolDescription::AddArcWire(std::int32_t cx, std::int32_t cy, std::int32_t sx, std::int32_t sy, std::int32_t ex,
                                    std::int32_t ey, Word widthWord, int layer) {
    if (sx == ex && sy == ey) {
        const double radius = std::hypot(double(ex) - cx, double(ey) - cy);
        return AddRing(cx, cy, RoundHalfAway(radius), WidthOf(widthWord), layer);
    }
    Word* r = AppendRecord(kArcWireLength);
    if (!r) return nullptr;
    r[0] = MakeHeader(kArcWireLength, layer, ObjectKind::ArcWire);
    r[1] = sx;
    r[2] = sy;
    r[3] = cx;
    r[4] = cy;
    r[5] = ex;
    r[6] = ey;
    r[7] = widthWord;
    UpdateBounds(ObjectBounds(r, layout));
    return FinishInsert(r);
}

Word* SymbolDescription::AddText(std::int32_t x, std::int32_t y, int memberCount, std::string_view text,
                                 std::int32_t height, const LOGFONTA& font, int layer) {
    const std::int64_t nchar = static_cast<std::int64_t>(text.size());
    if (kTextBaseLength + (nchar + 3) / 4 > kMaxRecordLength) return nullptr;
    const int length = TextRecordLength(static_cast<int>(nchar));
    Word* r = AppendRecord(length);
    if (!r) return nullptr;
    r[0] = MakeHeader(length, layer, ObjectKind::Text);
    r[1] = x;
    r[2] = y;
    r[3] = memberCount;
    r[4] = height;
    WriteMatrix(r + kTextMatrixWord, {1, 0, 0, 1, double(x), double(y)});
    WriteFont(r + kTextFontWord, font);
    r[kTextLengthWord] = static_cast<Word>(nchar);
    r[length - 1] = 0;
    if (nchar > 0) std::memcpy(r + kTextCharsWord, text.data(), static_cast<std::size_t>(nchar));
    return FinishInsert(r);
}

Word* SymbolDescription::AddScript(std::int32_t x, std::int32_t y, int memberCount, int generatedCount, int maxObjects,
                                   std::string_view text, std::int32_t height, const LOGFONTA& font, int layer) {
    const std::int64_t nchar = static_cast<std::int64_t>(text.size());
    if (kScriptBaseLength + (nchar + 3) / 4 > kMaxRecordLength) return nullptr;
    const int length = ScriptRecordLength(static_cast<int>(nchar));
    Word* r = AppendRecord(length);
    if (!r) return nullptr;
    r[0] = MakeHeader(length, layer, ObjectKind::Script);
    r[1] = x;
    r[2] = y;
    r[3] = memberCount;
    r[4] = generatedCount;
    r[5] = height;
    r[6] = maxObjects;
    WriteMatrix(r + kScriptMatrixWord, {1, 0, 0, 1, double(x), double(y)});
    WriteFont(r + kScriptFontWord, font);
    r[kScriptLengthWord] = static_cast<Word>(nchar);
    r[length - 1] = 0;
    if (nchar > 0) std::memcpy(r + kScriptCharsWord, text.data(), static_cast<std::size_t>(nchar));
    return FinishInsert(r);
}

Word* SymbolDescription::AddGroup(std::int32_t x, std::int32_t y, int memberRecords, int directMembers) {
    Word* r = AppendRecord(kGroupLength);
    if (!r) return nullptr;
    r[0] = MakeHeader(kGroupLength, 0, ObjectKind::Group);
    r[1] = x;
    r[2] = y;
    r[3] = memberRecords;
    r[4] = directMembers;
    return FinishInsert(r);
}

bool SymbolDescription::RefuseRecursiveCall(std::int32_t symbolId) {
    const SymbolDescription* called = layout ? layout->FindSymbol(symbolId) : nullptr;
    if (symbolId == id || (called != nullptr && called->CallsSymbol(id))) {
        platform::ShowError(kRecursionMessage);
        return true;
    }
    return false;
}

Word* SymbolDescription::InsertSymbolCall(std::int32_t symbolId, std::int32_t x, std::int32_t y) {
    if (RefuseRecursiveCall(symbolId)) return nullptr;
    const SymbolDescription* called = layout ? layout->FindSymbol(symbolId) : nullptr;
    Word* r = AppendRecord(kSymbolCallLength);
    if (!r) return nullptr;
    r[0] = MakeHeader(kSymbolCallLength, 0, ObjectKind::SymbolCall);
    if (called) {
        r[1] = SaturateToInt32(std::int64_t{called->minx} + x);
        r[2] = SaturateToInt32(std::int64_t{called->miny} + y);
        r[3] = SaturateToInt32(std::int64_t{called->maxx} + x);
        r[4] = SaturateToInt32(std::int64_t{called->maxy} + y);
    } else {
        r[1] = r[2] = r[3] = r[4] = 0;
    }
    r[5] = symbolId;
    WriteMatrix(r + kCallMatrixWord, {1, 0, 0, 1, double(x), double(y)});
    UpdateBounds(r[1], r[2], r[3], r[4]);
    AddChild(symbolId);
    ++callCount;
    return FinishInsert(r);
}

Word* SymbolDescription::InsertSymbolCallMatrix(std::int32_t symbolId, const TransformMatrix& m) {
    if (RefuseRecursiveCall(symbolId)) return nullptr;
    const SymbolDescription* called = layout ? layout->FindSymbol(symbolId) : nullptr;
    Word* r = AppendRecord(kSymbolCallLength);
    if (!r) return nullptr;
    r[0] = MakeHeader(kSymbolCallLength, 0, ObjectKind::SymbolCall);
    const Rect extent = called ? MappedBox(called->Bounds(), m) : Rect{};
    r[1] = extent.minx;
    r[2] = extent.miny;
    r[3] = extent.maxx;
    r[4] = extent.maxy;
    r[5] = symbolId;
    WriteMatrix(r + kCallMatrixWord, m);
    UpdateBounds(extent);
    AddChild(symbolId);
    ++callCount;
    return FinishInsert(r);
}

Word* SymbolDescription::InsertArray(std::int32_t symbolId, Point origin, Point columnEnd, Point rowEnd, int columns,
                                     int rows, double magnification, double degrees) {
    // An array may not close a cycle of calls any more than a single call may.
    if (RefuseRecursiveCall(symbolId)) return nullptr;
    Word* r = AppendRecord(kSymbolArrayLength);
    if (!r) return nullptr;
    r[0] = MakeHeader(kSymbolArrayLength, 0, ObjectKind::SymbolArray);
    r[1] = r[3] = origin.X;
    r[2] = r[4] = origin.Y;
    r[5] = symbolId;
    r[6] = columns;
    r[7] = rows;
    r[8] = origin.X;
    r[9] = origin.Y;
    r[10] = columnEnd.X;
    r[11] = columnEnd.Y;
    r[12] = rowEnd.X;
    r[13] = rowEnd.Y;
    WriteDouble(r + 14, magnification);
    WriteDouble(r + 16, degrees);
    UpdateBounds(origin.X, origin.Y, origin.X, origin.Y);
    AddChild(symbolId);
    ++callCount;
    return FinishInsert(r);
}

// ---------------------------------------------------------------------------
// Copying between symbols and layouts

Word* SymbolDescription::InsertCopy(const Word* record, SymbolDescription& source) {
    const ObjectKind kind = RecordKind(record);
    const bool sameLayout = source.layout == layout;
    std::int32_t newId = 0;

    // Resolves the symbol a call of the source names to a symbol of this
    // layout, copying its definition over from another layout; returns false
    // (after any message) when the call cannot be inserted here.
    auto resolveCall = [&](const Word* call, std::int32_t& targetId) -> bool {
        const std::int32_t calledId = call[5];
        if (sameLayout) {
            SymbolDescription* called = layout->FindSymbol(calledId);
            if (called && (called == this || called->CallsSymbol(id))) {
                platform::ShowError("Cannot insert parent symbol (" + called->name +
                                    ") into one of it's child symbols (" + name + ")!");
                return false;
            }
            targetId = calledId;
            return true;
        }
        SymbolDescription* sourceCalled = source.layout ? source.layout->FindSymbol(calledId) : nullptr;
        if (!sourceCalled) return false;
        SymbolDescription* target = layout->FindSymbolByName(sourceCalled->name);
        // Copying a definition into this very symbol, or into one that calls
        // it, would wipe the symbol being edited or close a cycle.
        if (target && (target == this || target->CallsSymbol(id))) {
            platform::ShowError("Cannot insert parent symbol (" + target->name + ") into one of it's child symbols (" +
                                name + ")!");
            return false;
        }
        if (!target) {
            target = layout->AddSymbol(layout->NextSymbolId(), sourceCalled->name);
            if (!target) {
                platform::ShowError("Error while copying " + sourceCalled->name);
                return false;
            }
            target->undo->SetRecording(true);
        }
        if (!target->CopyDefinition(*sourceCalled)) {
            platform::ShowError("Error while copying " + sourceCalled->name);
            return false;
        }
        if (target->CallsSymbol(id)) {
            platform::ShowError("Cannot insert parent symbol (" + target->name + ") into one of it's child symbols (" +
                                name + ")!");
            return false;
        }
        targetId = target->id;
        return true;
    };

    // Duplicating within this symbol: appending can move the buffer the source
    // records lie in, so they are found again by their offsets.
    auto appendCopy = [&](const Word* from, bool isCall, std::int32_t callId) -> Word* {
        const int length = RecordLength(from);
        const std::int32_t fromOffset = source.OffsetOf(from);
        Word* r = AppendRecord(length);
        if (!r) return nullptr;
        if (&source == this) from = objects + fromOffset;
        std::memcpy(r, from, static_cast<std::size_t>(length) * sizeof(Word));
        if (isCall) {
            r[5] = callId;
            AddChild(callId);
            ++callCount;
        }
        if (!IsHead(r)) UpdateBounds(ObjectBounds(r, layout));
        return FinishInsert(r);
    };

    if (IsCallKind(kind)) {
        if (!resolveCall(record, newId)) return nullptr;
        return appendCopy(record, true, newId);
    }
    if (!IsHead(record) || IsMember(record)) return appendCopy(record, false, 0);

    // A head: check every member call before anything is inserted.
    const int members = MemberCount(record);
    std::vector<const Word*> memberRecords;
    for (const Word* m = source.NextRecord(record); m && IsMember(m) && int(memberRecords.size()) < members;
         m = source.NextRecord(m)) {
        memberRecords.push_back(m);
    }
    for (const Word* m : memberRecords) {
        if (RecordKind(m) == ObjectKind::SymbolCall && sameLayout) {
            const SymbolDescription* called = layout->FindSymbol(m[5]);
            if (called && (called == this || called->CallsSymbol(id))) {
                platform::ShowError(kRecursionMessage);
                return nullptr;
            }
        }
        // A member call that cannot be resolved in the source would leave the
        // head counting members that are not there.
        if (IsCallKind(RecordKind(m)) && !sameLayout && !(source.layout && source.layout->FindSymbol(m[5]))) {
            return nullptr;
        }
    }
    std::vector<std::int32_t> memberIds(memberRecords.size(), 0);
    for (std::size_t k = 0; k < memberRecords.size(); ++k) {
        if (IsCallKind(RecordKind(memberRecords[k])) && !resolveCall(memberRecords[k], memberIds[k])) {
            return nullptr;
        }
    }
    std::vector<std::int32_t> memberOffsets;
    for (const Word* m : memberRecords) memberOffsets.push_back(source.OffsetOf(m));
    Word* head = appendCopy(record, false, 0);
    if (!head) return nullptr;
    const std::int32_t headOffset = OffsetOf(head);
    for (std::size_t k = 0; k < memberOffsets.size(); ++k) {
        const Word* m = source.RecordAt(memberOffsets[k]);
        if (!appendCopy(m, IsCallKind(RecordKind(m)), memberIds[k])) break;
    }
    return objects + headOffset;
}

bool SymbolDescription::CopyDefinition(SymbolDescription& source) {
    // A cycle of calls in the source must not make the copy recurse forever.
    static thread_local std::unordered_set<const SymbolDescription*> inProgress;
    if (!inProgress.insert(&source).second) return true;
    struct Leave {
        const SymbolDescription* s;
        ~Leave() { inProgress.erase(s); }
    } leave{&source};

    for (std::int32_t childId : std::vector<std::int32_t>(source.children)) {
        SymbolDescription* child = source.layout ? source.layout->FindSymbol(childId) : nullptr;
        if (!child) continue;
        SymbolDescription* mine = layout->FindSymbolByName(child->name);
        if (!mine) {
            mine = layout->AddSymbol(layout->NextSymbolId(), child->name);
            if (mine) mine->undo->SetRecording(true);
        }
        if (!mine || mine == this || !mine->CopyDefinition(*child)) {
            platform::ShowError("Could not copy " + child->name);
            return false;
        }
    }
    if (!SameDefinition(*this, source)) {
        undo->SetRecording(false);
        Reset();
        for (const Word* r = source.FirstRecord(); r; r = source.NextRecord(r)) {
            if (IsMember(r)) continue;  // copied with their head
            InsertCopy(r, source);
        }
        undo->SetRecording(true);
    }
    DeselectAll();
    RebuildChildren();
    return true;
}

bool SymbolDescription::SameDefinition(const SymbolDescription& a, const SymbolDescription& b) {
    if (a.objectCount != b.objectCount) return false;
    const bool sameLayout = a.layout == b.layout;
    const Word* ra = a.FirstRecord();
    const Word* rb = b.FirstRecord();
    while (ra && rb) {
        const ObjectKind kind = RecordKind(ra);
        const int length = RecordLength(ra);
        if (kind != RecordKind(rb) || length != RecordLength(rb)) return false;
        const bool call = IsCallKind(kind);
        if (!call && RecordLayer(ra) != RecordLayer(rb)) return false;
        for (int w = 1; w < length; ++w) {
            if (call && !sameLayout && w == 5) continue;
            if (ra[w] != rb[w]) return false;
        }
        ra = a.NextRecord(ra);
        rb = b.NextRecord(rb);
    }
    return ra == nullptr && rb == nullptr;
}

// ---------------------------------------------------------------------------
// Hierarchy

void SymbolDescription::RebuildChildren() {
    callCount = 0;
    if (layout) layout->ForgetChildren(*this);
    children.clear();
    for (const Word* r = FirstRecord(); r; r = NextRecord(r)) {
        if (IsCallKind(RecordKind(r))) {
            ++callCount;
            AddChild(r[5]);
        }
    }
}

void SymbolDescription::AddChild(std::int32_t childId) {
    if (!layout) {
        if (std::find(children.begin(), children.end(), childId) == children.end()) children.push_back(childId);
        return;
    }
    if (layout->HasChild(*this, childId)) return;
    children.push_back(childId);
    layout->NoteChildAdded(*this, childId);
}

bool SymbolDescription::CallsSymbol(std::int32_t symbolId) const {
    if (layout) return layout->Reaches(*this, symbolId);
    return std::find(children.begin(), children.end(), symbolId) != children.end();
}

bool SymbolDescription::SelectionCallsSymbol(std::int32_t symbolId) {
    for (Word* r = FirstSelected(); r; r = NextSelected(r)) {
        if (!IsCallKind(RecordKind(r))) continue;
        if (r[5] == symbolId) return true;
        const SymbolDescription* called = layout ? layout->CalledSymbol(r) : nullptr;
        if (called && called->CallsSymbol(symbolId)) return true;
    }
    return false;
}

bool SymbolDescription::IsUnused() const {
    // A symbol that calls this one through several levels has a direct caller
    // on its way down, and only this symbol itself does not count.
    if (!layout) return true;
    const std::vector<SymbolDescription*>& callers = layout->CallersOf(id);
    return std::all_of(callers.begin(), callers.end(), [this](const SymbolDescription* s) { return s == this; });
}

int SymbolDescription::CountKind(ObjectKind kind, bool recursive) const {
    std::unordered_map<const SymbolDescription*, std::int64_t> memo;
    std::unordered_set<const SymbolDescription*> onPath;
    auto count = [&](auto& self, const SymbolDescription* s) -> std::int64_t {
        if (auto it = memo.find(s); it != memo.end()) return it->second;
        if (!onPath.insert(s).second) return 0;  // a cycle adds nothing more
        std::int64_t n = 0;
        for (const Word* r = s->FirstRecord(); r; r = s->NextRecord(r)) {
            const ObjectKind k = RecordKind(r);
            if (k == kind) ++n;
            if (recursive && IsCallKind(k) && s->layout) {
                if (const SymbolDescription* called = s->layout->CalledSymbol(r)) n += self(self, called);
            }
            n = std::min<std::int64_t>(n, INT32_MAX);
        }
        onPath.erase(s);
        memo[s] = n;
        return n;
    };
    return static_cast<int>(count(count, this));
}

bool SymbolDescription::IsEmpty() const {
    // Remembered per symbol, so that a symbol called from many places is looked
    // into once; not an answer that a cut cycle made, which depends on the path.
    std::unordered_map<const SymbolDescription*, bool> known;
    std::unordered_set<const SymbolDescription*> onPath;
    int cyclesCut = 0;
    auto empty = [&](auto& self, const SymbolDescription* s) -> bool {
        if (auto it = known.find(s); it != known.end()) return it->second;
        if (!onPath.insert(s).second) {
            ++cyclesCut;
            return true;  // a cycle holds no geometry of its own
        }
        const int cutBefore = cyclesCut;
        bool result = true;
        for (const Word* r = s->FirstRecord(); r && result; r = s->NextRecord(r)) {
            if (!IsCallKind(RecordKind(r))) {
                result = false;
            } else if (const SymbolDescription* called = s->layout ? s->layout->CalledSymbol(r) : nullptr) {
                result = self(self, called);
            }
        }
        onPath.erase(s);
        if (cyclesCut == cutBefore) known.emplace(s, result);
        return result;
    };
    return empty(empty, this);
}

// ---------------------------------------------------------------------------
// Bounding box

Rect SymbolDescription::ComputeUnion(bool& any) {
    any = false;
    Rect u;
    for (Word* r = FirstRecord(); r; r = NextRecord(r)) {
        // A head's box is its position united with its members' boxes; the
        // members are walked anyway.
        Rect b;
        if (IsHead(r)) {
            b = {r[1], r[2], r[1], r[2]};
        } else {
            b = ObjectBounds(r, layout);
        }
        if (!any) {
            u = b;
            any = true;
        } else {
            Join(u, b);
        }
    }
    return u;
}

void SymbolDescription::EnsureBounds() {
    if (boundsValid || boundsInProgress) return;
    // The called symbols get their boxes first, deepest first, from a stack of
    // our own: a hierarchy of many thousands of levels must not exhaust the
    // thread's stack.  Each box is then the union over symbols already done;
    // a symbol still in progress (a cycle) lends the box it has.
    struct Pending {
        SymbolDescription* symbol;
        const Word* next;  // the next record to look at for a call
    };
    std::vector<Pending> pending{{this, FirstRecord()}};
    boundsInProgress = true;
    while (!pending.empty()) {
        SymbolDescription* s = pending.back().symbol;
        SymbolDescription* callee = nullptr;
        for (const Word*& r = pending.back().next; r && !callee;) {
            const Word* record = r;
            r = s->NextRecord(r);
            if (!IsCallKind(RecordKind(record)) || !layout) continue;
            SymbolDescription* called = layout->CalledSymbol(record);
            if (called && !called->boundsValid && !called->boundsInProgress) callee = called;
        }
        if (callee) {
            callee->boundsInProgress = true;
            pending.push_back({callee, callee->FirstRecord()});
            continue;
        }
        pending.pop_back();
        bool any = false;
        const Rect u = s->ComputeUnion(any);
        s->minx = any ? u.minx : 0;
        s->miny = any ? u.miny : 0;
        s->maxx = any ? u.maxx : 100;
        s->maxy = any ? u.maxy : 100;
        s->boundsValid = true;
        s->boundsInProgress = false;
    }
}

void SymbolDescription::RecomputeBounds() { RecomputeBounds(true); }

void SymbolDescription::RecomputeBounds(bool edited) {
    if (boundsInProgress) return;
    boundsInProgress = true;
    bool any = false;
    const Rect u = ComputeUnion(any);
    const Rect fresh = any ? u : Rect{};
    const bool changed = !(fresh == Bounds());
    minx = fresh.minx;
    miny = fresh.miny;
    maxx = fresh.maxx;
    maxy = fresh.maxy;
    boundsValid = true;
    // Insertions widen the box as they go, so the symbol that was edited may
    // see no change here although its callers still hold the old extent: its
    // direct callers are always brought up to date, and they pass a change on.
    if ((changed || edited) && layout) {
        for (SymbolDescription* s : layout->CallersOf(id)) {
            if (s != this) s->RecomputeBounds(false);
        }
    }
    boundsInProgress = false;
}

void SymbolDescription::SetBoundsFromUnion(const Rect& recordsUnion, bool any) {
    if (boundsInProgress) return;
    boundsInProgress = true;
    const Rect fresh = any ? recordsUnion : Rect{};
    minx = fresh.minx;
    miny = fresh.miny;
    maxx = fresh.maxx;
    maxy = fresh.maxy;
    boundsValid = true;
    // As after an edit: the direct callers are brought up to date.
    if (layout) {
        for (SymbolDescription* s : layout->CallersOf(id)) {
            if (s != this) s->RecomputeBounds(false);
        }
    }
    boundsInProgress = false;
}

// ---------------------------------------------------------------------------
// Bulk buffer operations

bool SymbolDescription::ReserveWords(std::int64_t words) {
    if (words < 0) return false;
    return Reserve(words, growStep);
}

void SymbolDescription::AfterBulkChange() {
    // The offset of the record inserted last means nothing in a rebuilt buffer.
    undo->ShiftLastInserted(0, -(usedWords + 1));
    std::int32_t selected = 0;
    for (const Word* r = FirstRecord(); r; r = NextRecord(r)) {
        if (IsSelected(r)) ++selected;
    }
    selectedCount = selected;
}

bool SymbolDescription::RewriteRecords(const RecordRewriter& rewrite) {
    if (usedWords == 0) return true;
    // Room for one whole record beyond what is written, so that the rewriter
    // never needs to ask for more.
    const std::int64_t slack = kMaxRecordLength + 1;
    std::int64_t size = std::int64_t{usedWords} + usedWords / 4 + slack;
    if (size > INT32_MAX) size = INT32_MAX;
    Word* out = AllocateWords(static_cast<std::size_t>(size));
    if (out == nullptr) return false;
    std::int64_t used = 0;
    std::int32_t records = 0;
    std::int32_t current = -1;
    for (const Word* r = FirstRecord(); r; r = NextRecord(r)) {
        if (used + slack > size) {
            std::int64_t wanted = std::max(size + size / 2, used + slack);
            if (wanted > INT32_MAX) wanted = INT32_MAX;
            Word* grown = wanted >= used + slack
                              ? ReallocateWords(out, static_cast<std::size_t>(size), static_cast<std::size_t>(wanted))
                              : nullptr;
            if (grown == nullptr) {
                FreeWords(out, static_cast<std::size_t>(size));
                return false;
            }
            out = grown;
            size = wanted;
        }
        const int written = rewrite(r, out + used);
        if (OffsetOf(r) == currentObject && written > 0) current = static_cast<std::int32_t>(used);
        for (int k = 0; k < written; k += RecordLength(out + used + k)) ++records;
        used += written;
    }
    out[used] = 0;
    RecordBuffer old;
    SwapBuffer(old);
    // The state described by the old buffer goes with it; the new one starts
    // from the same box and selection, which AfterBulkChange recounts.
    objects = out;
    capacity = static_cast<std::int32_t>(size);
    usedWords = static_cast<std::int32_t>(used);
    objectCount = records;
    callCount = old.callCount;
    minx = old.bounds.minx;
    miny = old.bounds.miny;
    maxx = old.bounds.maxx;
    maxy = old.bounds.maxy;
    boundsValid = old.boundsValid;
    selectionBox = old.selectionBox;
    selectedWords = old.selectedWords;
    currentKind = old.currentKind;
    currentLayer = old.currentLayer;
    view.frameShown = old.frameShown;
    statusText = old.statusText;
    currentObject = current;
    undo->ShiftLastInserted(0, -(old.usedWords + 1));
    undo->KeepReplacedBuffer(std::move(old));
    AfterBulkChange();
    return true;
}

std::int32_t SymbolDescription::RemoveSelectedObjects() {
    std::int32_t removed = 0;
    std::int32_t write = 0;
    std::int32_t read = 0;
    std::int32_t current = -1;
    std::int32_t records = 0;
    bool callRemoved = false;
    while (read < usedWords) {
        Word* r = objects + read;
        const int length = RecordLength(r);
        if (IsSelected(r) && !IsMember(r)) {
            // The object goes with every member record that follows it.
            int members = IsHead(r) ? MemberCount(r) : 0;
            callRemoved = callRemoved || IsCallKind(RecordKind(r));
            read += length;
            while (members-- > 0 && read < usedWords && IsMember(objects + read)) {
                callRemoved = callRemoved || IsCallKind(RecordKind(objects + read));
                read += RecordLength(objects + read);
            }
            ++removed;
            continue;
        }
        if (read == currentObject) current = write;
        if (write != read) std::memmove(objects + write, r, static_cast<std::size_t>(length) * sizeof(Word));
        write += length;
        read += length;
        ++records;
    }
    if (objects) objects[write] = 0;
    usedWords = write;
    objectCount = records;
    currentObject = current;
    AfterBulkChange();
    if (callRemoved) RebuildChildren();
    return removed;
}

void SymbolDescription::RemoveAllObjects() {
    RecordBuffer old;
    SwapBuffer(old);
    undo->ShiftLastInserted(0, -(old.usedWords + 1));
    if (old.callCount != 0 || !children.empty()) RebuildChildren();
    undo->KeepReplacedBuffer(std::move(old));
}

// ---------------------------------------------------------------------------
// Whole buffers

RecordBuffer::RecordBuffer(RecordBuffer&& other) noexcept { *this = std::move(other); }

RecordBuffer& RecordBuffer::operator=(RecordBuffer&& other) noexcept {
    if (this == &other) return *this;
    FreeWords(objects, static_cast<std::size_t>(capacity));
    objects = std::exchange(other.objects, nullptr);
    capacity = std::exchange(other.capacity, 0);
    usedWords = std::exchange(other.usedWords, 0);
    objectCount = std::exchange(other.objectCount, 0);
    callCount = std::exchange(other.callCount, 0);
    bounds = other.bounds;
    boundsValid = other.boundsValid;
    selectedCount = std::exchange(other.selectedCount, 0);
    selectedWords = std::exchange(other.selectedWords, 0);
    currentObject = std::exchange(other.currentObject, -1);
    currentKind = other.currentKind;
    currentLayer = other.currentLayer;
    selectionBox = other.selectionBox;
    frameShown = other.frameShown;
    statusText = std::move(other.statusText);
    return *this;
}

RecordBuffer::~RecordBuffer() { FreeWords(objects, static_cast<std::size_t>(capacity)); }

void SymbolDescription::SwapBuffer(RecordBuffer& other) {
    std::swap(objects, other.objects);
    std::swap(capacity, other.capacity);
    std::swap(usedWords, other.usedWords);
    std::swap(objectCount, other.objectCount);
    std::swap(callCount, other.callCount);
    const Rect box = Bounds();
    minx = other.bounds.minx;
    miny = other.bounds.miny;
    maxx = other.bounds.maxx;
    maxy = other.bounds.maxy;
    other.bounds = box;
    std::swap(boundsValid, other.boundsValid);
    std::swap(selectedCount, other.selectedCount);
    std::swap(selectedWords, other.selectedWords);
    std::swap(currentObject, other.currentObject);
    std::swap(currentKind, other.currentKind);
    std::swap(currentLayer, other.currentLayer);
    std::swap(selectionBox, other.selectionBox);
    std::swap(view.frameShown, other.frameShown);
    std::swap(statusText, other.statusText);
}

bool SymbolDescription::CopyBuffer(RecordBuffer& copy) const {
    const std::size_t words = static_cast<std::size_t>(usedWords) + 1;
    Word* fresh = AllocateWords(words);
    if (fresh == nullptr) return false;
    if (objects) {
        std::memcpy(fresh, objects, words * sizeof(Word));
    } else {
        fresh[0] = 0;
    }
    RecordBuffer state;
    state.objects = fresh;
    state.capacity = static_cast<std::int32_t>(words);
    state.usedWords = usedWords;
    state.objectCount = objectCount;
    state.callCount = callCount;
    state.bounds = Bounds();
    state.boundsValid = boundsValid;
    state.selectedCount = selectedCount;
    state.selectedWords = selectedWords;
    state.currentObject = currentObject;
    state.currentKind = currentKind;
    state.currentLayer = currentLayer;
    state.selectionBox = selectionBox;
    state.frameShown = view.frameShown;
    state.statusText = statusText;
    copy = std::move(state);
    return true;
}

}  // namespace zandor
