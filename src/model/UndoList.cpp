#include "model/UndoList.h"

#include <algorithm>
#include <climits>
#include <cstring>
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

bool UndoList::EntryStack::Push(std::int32_t code, std::int32_t offset, const Word* copy, std::int32_t copyLength) {
    const std::int64_t length = std::int64_t{copyLength} + 3;
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
    if (copyLength > 0) std::memcpy(entry + 2, copy, static_cast<std::size_t>(copyLength) * sizeof(Word));
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

void UndoList::EntryStack::Clear() {
    FreeWords(words, static_cast<std::size_t>(capacity));
    words = nullptr;
    capacity = 0;
    usedWords = 0;
    entryCount = 0;
}

bool UndoList::Push(std::int32_t code, std::int32_t offset, const Word* copy, std::int32_t copyLength) {
    if (!recording) return false;
    if (suppressed > 0) return true;  // the open snapshot covers the change
    if (!done.Push(code, offset, copy, copyLength)) return false;
    // A new change ends what could be redone.
    if (!replaying && undone.entryCount > 0) undone.Clear();
    return true;
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
    const SymbolDescription& symbol = *owner;
    static const Word empty[1] = {0};
    const Word* buffer = symbol.Words() ? symbol.Words() : empty;
    const std::int32_t length = symbol.Words() ? symbol.usedWords + 1 : 1;
    if (!Push(UndoSnapshotCode, symbol.objectCount, buffer, length)) return false;
    ++suppressed;
    return true;
}

UndoSnapshot::UndoSnapshot(SymbolDescription& symbol) : list(symbol.Undo()), active(list.BeginSnapshot()) {}

UndoSnapshot::~UndoSnapshot() {
    if (active) --list.suppressed;
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

void UndoList::Replay(EntryStack& from, EntryStack& inverse) {
    SymbolDescription& symbol = *owner;
    if (from.entryCount == 0) return;
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
                if (IsCallKind(kind)) RecreateMissingSymbol(symbol.layout, r[5]);
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
            case UndoSnapshotCode: {
                if (!entry.copy || entry.copyLength < 1 || entry.copy[entry.copyLength - 1] != 0) break;
                static const Word empty[1] = {0};
                keepInverse(UndoSnapshotCode, symbol.objectCount, symbol.Words() ? symbol.Words() : empty,
                            symbol.Words() ? symbol.usedWords + 1 : 1);
                symbol.RemoveWordsAt(0, symbol.usedWords);
                if (entry.copyLength > 1) symbol.InsertWordsAt(0, entry.copy, entry.copyLength - 1);
                symbol.objectCount = entry.offset;
                symbol.boundsValid = false;
                break;
            }
            default: platform::ShowMessage("Unknown undo action...", "UndoList"); break;
        }
    }
    replaying = false;
    lastInserted = -1;
    symbol.UpdateSelection();
}

void UndoList::Undo() { Replay(done, undone); }

void UndoList::Redo() { Replay(undone, done); }

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
        } else if (code == UndoSnapshotCode && length > 3) {
            // The stored buffer: records back to back up to its terminator.
            Word* r = words + start + 2;
            Word* const last = words + end - 1;
            while (r < last && *r != 0 && r + RecordLength(r) < last + 1) {
                remap(r);
                r += RecordLength(r);
            }
        }
        end = start;
    }
}

void UndoList::RemapLayer(int oldLayer, int newLayer) {
    done.RemapLayer(oldLayer, newLayer);
    undone.RemapLayer(oldLayer, newLayer);
}

}  // namespace zandor
