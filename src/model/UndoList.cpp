#include "model/UndoList.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "model/Layout.h"
#include "model/ObjectRecord.h"
#include "model/SymbolDescription.h"
#include "model/WordStorage.h"
#include "platform/Messages.h"

namespace zandor {

UndoList::UndoList(SymbolDescription* symbol) : owner(symbol) {}

UndoList::~UndoList() = default;

UndoList::EntryStack::~EntryStack() { FreeWords(words, static_cast<std::size_t>(capacity)); }

bool UndoList::EntryStack::Push(std::int32_t code, std::int32_t offset, const Word* copy, std::int32_t copyLength,
                                const Word* head, std::int32_t headLength) {
    const std::int64_t length = std::int64_t{headLength} + copyLength + 3;
    const std::int64_t need = static_cast<std::int64_t>(usedWords) + length + 1;
    if (need > INT32_MAX) return false;
    if (words == nullptr || need > capacity) {
        // Grow by half again at least, so that many entries cost linear time.
        std::int64_t wanted = words == nullptr ? length + 500 : std::max(need + 1000, std::int64_t{capacity} * 3 / 2);
        if (wanted > INT32_MAX) wanted = INT32_MAX;
        Word* fresh = words == nullptr ? AllocateWords(static_cast<std::size_t>(wanted))
                                       : ReallocateWords(words, static_cast<std::size_t>(capacity),
                                                         static_cast<std::size_t>(wanted));
        if (fresh == nullptr) return false;
        words = fresh;
        capacity = static_cast<std::int32_t>(wanted);
    }
    Word* entry = words + usedWords;
    entry[0] = code;
    entry[1] = offset;
    if (headLength > 0) std::memcpy(entry + 2, head, static_cast<std::size_t>(headLength) * sizeof(Word));
    if (copyLength > 0) {
        std::memcpy(entry + 2 + headLength, copy, static_cast<std::size_t>(copyLength) * sizeof(Word));
    }
    entry[length - 1] = static_cast<Word>(length);
    usedWords += static_cast<std::int32_t>(length);
    words[usedWords] = 0;
    ++entryCount;
    return true;
}

bool UndoList::EntryStack::Pop(Entry& entry) {
    if (entryCount == 0 || usedWords < 3) {
        entryCount = 0;
        return false;
    }
    const std::int32_t length = words[usedWords - 1];
    if (length < 3 || length > usedWords) {
        // Storage that does not add up cannot be replayed safely.
        Clear();
        return false;
    }
    usedWords -= length;
    entry.code = words[usedWords];
    entry.offset = words[usedWords + 1];
    entry.copyLength = length - 3;
    entry.copy = length > 3 ? words + usedWords + 2 : nullptr;
    words[usedWords] = 0;
    --entryCount;
    return true;
}

bool UndoList::EntryStack::PushBuffer(RecordBuffer&& buffer) {
    try {
        buffers.reserve(buffers.size() + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!Push(UndoSnapshotCode, 0, nullptr, 0)) return false;
    buffers.push_back(std::move(buffer));
    return true;
}

bool UndoList::EntryStack::TopIsLoneSnapshot() const {
    if (buffers.empty() || usedWords < 3 || words[usedWords - 1] != 3 || words[usedWords - 3] != UndoSnapshotCode) {
        return false;
    }
    const std::int32_t below = usedWords - 3;
    if (below == 0) return true;
    const std::int32_t length = words[below - 1];
    return length >= 3 && length <= below && words[below - length] == UndoBoundary;
}

void UndoList::EntryStack::Clear() {
    FreeWords(words, static_cast<std::size_t>(capacity));
    words = nullptr;
    capacity = 0;
    usedWords = 0;
    entryCount = 0;
    buffers.clear();
}

bool UndoList::Push(std::int32_t code, std::int32_t offset, const Word* copy, std::int32_t copyLength) {
    if (!recording) return false;
    if (suppressed > 0) return true;  // the open snapshot covers the change
    if (appendFrom >= 0 && offset >= appendFrom && code != UndoBoundary) return true;  // cut off by the undo
    if (!done.Push(code, offset, copy, copyLength)) return false;
    // A new change ends what could be redone.
    if (!replaying && undone.entryCount > 0) undone.Clear();
    return true;
}

bool UndoList::PushSnapshot(RecordBuffer&& buffer) {
    if (!recording) return false;
    if (!done.PushBuffer(std::move(buffer))) return false;
    if (!replaying && undone.entryCount > 0) undone.Clear();
    return true;
}

bool UndoList::KeepReplacedBuffer(RecordBuffer&& old) {
    if (suppressed > 0 || replaying) return false;
    return PushSnapshot(std::move(old));
}

bool UndoList::AddEntry(std::int32_t code, std::int32_t offset, const Word* copy) {
    return Push(code, offset, copy, copy ? RecordLength(copy) : 0);
}

void UndoList::RecordInserted(std::int32_t offset) {
    AddEntry(UndoInserted, offset, nullptr);
    lastInserted = offset;
}

void UndoList::RecordDeleted(std::int32_t offset, const Word* record) { AddEntry(UndoDeleted, offset, record); }

void UndoList::RecordModified(std::int32_t offset, const Word* record) {
    // Undoing the insertion removes the record anyway.
    if (offset == lastInserted) return;
    AddEntry(UndoModified, offset, record);
}

void UndoList::BeginStep() {
    AddEntry(UndoBoundary, 0, nullptr);
    lastInserted = -1;
}

bool UndoList::BeginSnapshot() {
    if (!recording || suppressed > 0) return false;
    RecordBuffer copy;
    if (!owner->CopyBuffer(copy) || !PushSnapshot(std::move(copy))) return false;
    ++suppressed;
    return true;
}

UndoSnapshot::UndoSnapshot(SymbolDescription& symbol) : list(symbol.Undo()), active(list.BeginSnapshot()) {}

UndoSnapshot::~UndoSnapshot() {
    if (active) --list.suppressed;
}

UndoAppendScope::UndoAppendScope(SymbolDescription& symbol) : list(symbol.Undo()) {
    if (!list.recording || list.suppressed > 0 || list.appendFrom >= 0) return;
    std::vector<Word> copy{symbol.objectCount, -1};
    // With every record selected (no members) the offsets go without saying.
    if (symbol.selectedCount != symbol.objectCount) {
        try {
            copy.reserve(static_cast<std::size_t>(symbol.selectedCount) + 2);
            for (Word* r = symbol.FirstSelected(); r; r = symbol.NextSelected(r)) copy.push_back(symbol.OffsetOf(r));
        } catch (const std::bad_alloc&) {
            return;
        }
        copy[1] = static_cast<Word>(copy.size() - 2);
    }
    if (!list.Push(UndoAppended, symbol.usedWords, copy.data(), static_cast<std::int32_t>(copy.size()))) return;
    list.appendFrom = symbol.usedWords;
    active = true;
}

UndoAppendScope::~UndoAppendScope() {
    if (active) list.appendFrom = -1;
}

void UndoList::ShiftLastInserted(std::int32_t offset, std::int32_t delta) {
    if (lastInserted < offset) return;
    if (delta < 0 && lastInserted < offset - delta) {
        lastInserted = -1;
    } else {
        lastInserted += delta;
    }
}

void UndoList::Clear() {
    done.Clear();
    undone.Clear();
    lastInserted = -1;
}

namespace {

// Gives the records that follow a restored group or script head their member
// bit again, up to its direct-member count; nested heads are stepped over with
// their own members.
template <typename BeforeChange>
void RestoreMemberBits(SymbolDescription& symbol, Word* head, BeforeChange beforeChange) {
    const int direct = head[4];
    Word* r = symbol.NextRecord(head);
    for (int k = 0; k < direct && r && !IsMember(r); ++k) {
        beforeChange(r);
        SetMemberBit(r, true);
        SetSelectedBit(r, false);
        int skip = IsHead(r) ? MemberCount(r) : 0;
        r = symbol.NextRecord(r);
        while (skip-- > 0 && r) r = symbol.NextRecord(r);
    }
}

void RecreateMissingSymbol(Layout* layout, std::int32_t symbolId) {
    if (!layout || layout->FindSymbol(symbolId)) return;
    std::string name = "Empty symbol " + std::to_string(symbolId);
    while (layout->FindSymbolByName(name)) name += "a";
    if (SymbolDescription* created = layout->AddSymbol(symbolId, name)) created->undo->SetRecording(true);
}

}  // namespace

// A step that is one snapshot: the buffers change places with everything that
// describes them, selection included, so that neither the restored nor the
// replaced buffer is walked.
bool UndoList::SwapLoneSnapshot(EntryStack& from, EntryStack& inverse) {
    SymbolDescription& symbol = *owner;
    Entry entry{};
    from.Pop(entry);
    RecordBuffer buffer = std::move(from.buffers.back());
    from.buffers.pop_back();
    if (from.entryCount > 0) from.Pop(entry);  // the step's boundary
    symbol.SwapBuffer(buffer);
    // Symbols calling this one have measured its box since: they need to be
    // told it changed.
    if (symbol.layout && !symbol.layout->CallersOf(symbol.Id()).empty()) symbol.boundsValid = false;
    lastInserted = -1;
    const bool calls = symbol.callCount != 0 || buffer.callCount != 0;
    if (!inverse.Push(UndoBoundary, 0, nullptr, 0) || !inverse.PushBuffer(std::move(buffer))) inverse.Clear();
    return calls;
}

bool UndoList::Replay(EntryStack& from, EntryStack& inverse) {
    SymbolDescription& symbol = *owner;
    if (from.entryCount == 0) return false;
    if (from.TopIsLoneSnapshot()) return SwapLoneSnapshot(from, inverse);
    symbol.DeselectAll();
    replaying = true;
    lastInserted = -1;
    // The inverse may fail to be stored when memory runs out; the step is
    // still reversed, only its redo (or undo) is lost.
    bool keep = inverse.Push(UndoBoundary, 0, nullptr, 0);
    auto keepInverse = [&](std::int32_t code, std::int32_t offset, const Word* copy, std::int32_t length) {
        if (keep && !inverse.Push(code, offset, copy, length)) {
            keep = false;
            inverse.Clear();
        }
    };
    Entry entry{};
    while (from.Pop(entry)) {
        if (entry.code == UndoBoundary) break;
        switch (entry.code) {
            case UndoInserted:
                if (entry.offset >= 0 && entry.offset < symbol.usedWords) {
                    const Word* r = symbol.RecordAt(entry.offset);
                    keepInverse(UndoDeleted, entry.offset, r, RecordLength(r));
                    symbol.RemoveWordsAt(entry.offset, RecordLength(r));
                    --symbol.objectCount;
                }
                break;
            case UndoDeleted: {
                if (!entry.copy) break;
                if (!symbol.InsertWordsAt(entry.offset, entry.copy, RecordLength(entry.copy))) break;
                keepInverse(UndoInserted, entry.offset, nullptr, 0);
                ++symbol.objectCount;
                Word* r = symbol.RecordAt(entry.offset);
                const ObjectKind kind = RecordKind(r);
                if (IsCallKind(kind)) {
                    ++symbol.callCount;
                    RecreateMissingSymbol(symbol.layout, r[5]);
                }
                if (kind == ObjectKind::Group || kind == ObjectKind::Script) {
                    RestoreMemberBits(symbol, r, [&](const Word* member) {
                        keepInverse(UndoModified, symbol.OffsetOf(member), member, RecordLength(member));
                    });
                }
                break;
            }
            case UndoModified: {
                if (!entry.copy || entry.offset < 0 || entry.offset >= symbol.usedWords) break;
                const Word* old = symbol.RecordAt(entry.offset);
                keepInverse(UndoModified, entry.offset, old, RecordLength(old));
                const int length = RecordLength(entry.copy);
                Word* r = symbol.ResizeRecord(symbol.RecordAt(entry.offset), length);
                if (r) std::memcpy(r, entry.copy, static_cast<std::size_t>(length) * sizeof(Word));
                break;
            }
            case UndoAppended: {
                if (entry.copyLength < 2 || entry.offset < 0 || entry.offset > symbol.usedWords) break;
                const std::int32_t tail = symbol.usedWords - entry.offset;
                const Word count = symbol.objectCount;
                if (keep &&
                    !inverse.Push(UndoAppendWords, entry.offset, symbol.Words() + entry.offset, tail, &count, 1)) {
                    keep = false;
                    inverse.Clear();
                }
                symbol.RemoveWordsAt(entry.offset, tail);
                symbol.objectCount = entry.copy[0];
                if (entry.copy[1] < 0) {
                    for (Word* r = symbol.FirstRecord(); r; r = symbol.NextRecord(r)) SetSelectedBit(r, true);
                }
                const std::int32_t marks = std::min(entry.copy[1], entry.copyLength - 2);
                for (std::int32_t k = 0; k < marks; ++k) {
                    const std::int32_t at = entry.copy[2 + k];
                    if (at >= 0 && at < symbol.usedWords) SetSelectedBit(symbol.RecordAt(at), true);
                }
                symbol.boundsValid = false;
                break;
            }
            case UndoAppendWords: {
                if (entry.copyLength < 1 || entry.offset != symbol.usedWords) break;
                const Word before = symbol.objectCount;
                if (entry.copyLength > 1 && !symbol.InsertWordsAt(entry.offset, entry.copy + 1, entry.copyLength - 1)) {
                    break;
                }
                symbol.objectCount = entry.copy[0];
                const Word again[2] = {before, 0};
                keepInverse(UndoAppended, entry.offset, again, 2);
                symbol.boundsValid = false;
                break;
            }
            case UndoSnapshotCode: {
                if (from.buffers.empty()) break;
                RecordBuffer buffer = std::move(from.buffers.back());
                from.buffers.pop_back();
                symbol.SwapBuffer(buffer);
                symbol.boundsValid = false;
                if (keep && !inverse.PushBuffer(std::move(buffer))) {
                    keep = false;
                    inverse.Clear();
                }
                break;
            }
            default: platform::ShowMessage("Unknown undo action...", "UndoList"); break;
        }
    }
    replaying = false;
    lastInserted = -1;
    symbol.UpdateSelection();
    return true;
}

bool UndoList::Undo() { return Replay(done, undone); }

bool UndoList::Redo() { return Replay(undone, done); }

void UndoList::EntryStack::RemapLayer(int oldLayer, int newLayer) {
    auto remap = [&](Word* record) {
        const ObjectKind kind = RecordKind(record);
        if (RecordLayer(record) == oldLayer && kind != ObjectKind::SymbolCall && kind != ObjectKind::Group) {
            SetRecordLayer(record, newLayer);
        }
    };
    std::int32_t end = usedWords;
    while (end >= 3) {
        const std::int32_t length = words[end - 1];
        if (length < 3 || length > end) break;
        const std::int32_t start = end - length;
        const std::int32_t code = words[start];
        if ((code == UndoDeleted || code == UndoModified) && length > 3) {
            remap(words + start + 2);
        }
        end = start;
    }
    for (RecordBuffer& buffer : buffers) {
        for (std::int32_t at = 0; at < buffer.usedWords; at += RecordLength(buffer.objects + at)) {
            remap(buffer.objects + at);
        }
    }
}

void UndoList::RemapLayer(int oldLayer, int newLayer) {
    done.RemapLayer(oldLayer, newLayer);
    undone.RemapLayer(oldLayer, newLayer);
}

}  // namespace zandor
