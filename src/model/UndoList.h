// The undo list of one symbol.  It records, as the symbol's record buffer
// changes, which record was inserted and verbatim copies of records before they
// were deleted or overwritten; undo replays the entries backwards up to a step
// boundary and so restores the buffer word for word.
//
// Entry layout (back to back; the last word holds the entry length so that the
// list can be walked backwards): code, word offset, copy of the record (codes
// 200 and 300 only), length.
#pragma once

#include <cstdint>

#include "model/Types.h"

namespace zandor {

class SymbolDescription;

enum UndoCode : std::int32_t {
    UndoInserted = 100,
    UndoDeleted = 200,
    UndoModified = 300,
    UndoBoundary = 900,
};

class UndoList {
public:
    explicit UndoList(SymbolDescription* owner);
    ~UndoList();
    UndoList(const UndoList&) = delete;
    UndoList& operator=(const UndoList&) = delete;

    // Appends an entry; false when recording is off or memory cannot be had
    // (the change then goes ahead without undo).
    bool AddEntry(std::int32_t code, std::int32_t offset, const Word* copy);
    void RecordInserted(std::int32_t offset);
    void RecordDeleted(std::int32_t offset, const Word* record);
    void RecordModified(std::int32_t offset, const Word* record);
    void BeginStep();
    void Clear();
    // Reverses entries up to and including the last step boundary.
    void Undo();
    // Renames a layer in the stored copies (used when a layer changes index).
    void RemapLayer(int oldLayer, int newLayer);
    void SetRecording(bool on) { recording = on; }
    // Keeps the offset of the record inserted last pointing at that record
    // while words are inserted (delta > 0) or removed (delta < 0) at offset.
    void ShiftLastInserted(std::int32_t offset, std::int32_t delta);
    bool IsRecording() const { return recording; }
    bool CanUndo() const { return canUndo; }
    std::int32_t EntryCount() const { return entryCount; }
    std::int32_t LastInserted() const { return lastInserted; }
    std::int32_t UsedWords() const { return usedWords; }

private:
    struct Entry {
        std::int32_t code;
        std::int32_t offset;
        const Word* copy;  // nullptr for entries without a copy
    };
    bool PopEntry(Entry& entry);

    bool canUndo = false;
    bool recording = false;
    Word* words = nullptr;
    std::int32_t capacity = 0;
    std::int32_t usedWords = 0;
    std::int32_t entryCount = 0;
    SymbolDescription* owner;
    std::int32_t lastInserted = -1;
};

}  // namespace zandor
