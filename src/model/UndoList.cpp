#include "model/UndoList.h"

#include <cstring>
#include <string>

#include "model/Layout.h"
#include "model/ObjectRecord.h"
#include "model/SymbolDescription.h"
#include "model/WordStorage.h"
#include "platform/Messages.h"

namespace zandor {

UndoList::UndoList(SymbolDescription* symbol) : owner(symbol) {}

UndoList::~UndoList() { FreeWords(words, static_cast<std::size_t>(capacity)); }

bool UndoList::AddEntry(std::int32_t code, std::int32_t offset, const Word* copy) {
    if (!recording) return false;
    const std::int32_t copyLength = copy ? RecordLength(copy) : 0;
    const std::int32_t length = copyLength + 3;
    const std::int64_t need = static_cast<std::int64_t>(usedWords) + length + 1;
    if (words == nullptr || need > capacity) {
        const std::int64_t wanted = words == nullptr ? std::int64_t{length} + 500 : need - 1 + 1000;
        if (wanted > INT32_MAX) return false;
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
    entry[length - 1] = length;
    usedWords += length;
    words[usedWords] = 0;
    ++entryCount;
    canUndo = true;
    return true;
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

void UndoList::ShiftLastInserted(std::int32_t offset, std::int32_t delta) {
    if (lastInserted < offset) return;
    if (delta < 0 && lastInserted < offset - delta) {
        lastInserted = -1;
    } else {
        lastInserted += delta;
    }
}

void UndoList::Clear() {
    FreeWords(words, static_cast<std::size_t>(capacity));
    words = nullptr;
    capacity = 0;
    usedWords = 0;
    entryCount = 0;
    canUndo = false;
    lastInserted = -1;
}

bool UndoList::PopEntry(Entry& entry) {
    if (entryCount == 0 || usedWords < 3) {
        canUndo = false;
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
    entry.copy = length > 3 ? words + usedWords + 2 : nullptr;
    words[usedWords] = 0;
    if (--entryCount == 0) canUndo = false;
    return true;
}

namespace {

// Gives the records that follow a restored group or script head their member
// bit again, up to its direct-member count; nested heads are stepped over with
// their own members.
void RestoreMemberBits(SymbolDescription& symbol, Word* head) {
    const int direct = head[4];
    Word* r = symbol.NextRecord(head);
    for (int k = 0; k < direct && r && !IsMember(r); ++k) {
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

void UndoList::Undo() {
    SymbolDescription& symbol = *owner;
    symbol.DeselectAll();
    Entry entry{};
    while (PopEntry(entry)) {
        if (entry.code == UndoBoundary) break;
        switch (entry.code) {
            case UndoInserted:
                if (entry.offset >= 0 && entry.offset < symbol.usedWords) {
                    symbol.RemoveWordsAt(entry.offset, RecordLength(symbol.RecordAt(entry.offset)));
                    --symbol.objectCount;
                }
                break;
            case UndoDeleted: {
                if (!entry.copy) break;
                if (!symbol.InsertWordsAt(entry.offset, entry.copy, RecordLength(entry.copy))) break;
                ++symbol.objectCount;
                Word* r = symbol.RecordAt(entry.offset);
                const ObjectKind kind = RecordKind(r);
                if (IsCallKind(kind)) RecreateMissingSymbol(symbol.layout, r[5]);
                if (kind == ObjectKind::Group || kind == ObjectKind::Script) RestoreMemberBits(symbol, r);
                break;
            }
            case UndoModified: {
                if (!entry.copy || entry.offset < 0 || entry.offset >= symbol.usedWords) break;
                const int length = RecordLength(entry.copy);
                Word* r = symbol.ResizeRecord(symbol.RecordAt(entry.offset), length);
                if (r) std::memcpy(r, entry.copy, static_cast<std::size_t>(length) * sizeof(Word));
                break;
            }
            default: platform::ShowMessage("Unknown undo action...", "UndoList"); break;
        }
    }
    symbol.UpdateSelection();
}

void UndoList::RemapLayer(int oldLayer, int newLayer) {
    std::int32_t end = usedWords;
    while (end >= 3) {
        const std::int32_t length = words[end - 1];
        if (length < 3 || length > end) break;
        const std::int32_t start = end - length;
        const std::int32_t code = words[start];
        if ((code == UndoDeleted || code == UndoModified) && length > 3) {
            Word* copy = words + start + 2;
            const ObjectKind kind = RecordKind(copy);
            if (RecordLayer(copy) == oldLayer && kind != ObjectKind::SymbolCall && kind != ObjectKind::Group) {
                SetRecordLayer(copy, newLayer);
            }
        }
        end = start;
    }
}

}  // namespace zandor
