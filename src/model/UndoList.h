// The undo list of one symbol.  It records, as the symbol's record buffer
// changes, which record was inserted and verbatim copies of records before they
// were deleted or overwritten; undo replays the entries backwards up to a step
// boundary and so restores the buffer word for word.
//
// Entry layout (back to back; the last word holds the entry length so that the
// list can be walked backwards): code, word offset, copy of the record (codes
// 200 and 300 only), length.  A snapshot entry (code 400) holds the object
// count in place of the offset and the whole record buffer with its
// terminator as the copy: bulk operations record one instead of an entry per
// record, so that they and their undo stay linear in the size of the buffer.
//
// Undoing a step records its inverse in a second list of the same layout, so
// that the step can be redone; redoing records the inverse again in the undo
// list.  Any new change empties the redo list.
#pragma once

#include <cstdint>

#include "model/Types.h"

namespace zandor {

class SymbolDescription;

enum UndoCode : std::int32_t {
    UndoInserted = 100,
    UndoDeleted = 200,
    UndoModified = 300,
    UndoSnapshotCode = 400,
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
    // Applies again the step undone last.
    void Redo();
    bool CanRedo() const { return undone.entryCount > 0; }
    // Renames a layer in the stored copies (used when a layer changes index).
    void RemapLayer(int oldLayer, int newLayer);
    void SetRecording(bool on) { recording = on; }
    // Keeps the offset of the record inserted last pointing at that record
    // while words are inserted (delta > 0) or removed (delta < 0) at offset.
    void ShiftLastInserted(std::int32_t offset, std::int32_t delta);
    bool IsRecording() const { return recording; }
    bool CanUndo() const { return done.entryCount > 0; }
    std::int32_t EntryCount() const { return done.entryCount; }
    std::int32_t LastInserted() const { return lastInserted; }
    std::int32_t UsedWords() const { return done.usedWords; }

private:
    friend class UndoSnapshot;

    struct Entry {
        std::int32_t code;
        std::int32_t offset;
        const Word* copy;  // nullptr for entries without a copy
        std::int32_t copyLength;
    };
    // One list of entries, back to back.
    struct EntryStack {
        Word* words = nullptr;
        std::int32_t capacity = 0;
        std::int32_t usedWords = 0;
        std::int32_t entryCount = 0;
        ~EntryStack();
        bool Push(std::int32_t code, std::int32_t offset, const Word* copy, std::int32_t copyLength);
        bool Pop(Entry& entry);
        void Clear();
        void RemapLayer(int oldLayer, int newLayer);
    };

    bool Push(std::int32_t code, std::int32_t offset, const Word* copy, std::int32_t copyLength);
    // Reverses the entries of `from` down to its last boundary, recording
    // each inverse in `inverse`.
    void Replay(EntryStack& from, EntryStack& inverse);
    bool BeginSnapshot();

    bool recording = false;
    bool replaying = false;
    int suppressed = 0;  // open UndoSnapshot scopes that recorded their entry
    EntryStack done;
    EntryStack undone;
    SymbolDescription* owner;
    std::int32_t lastInserted = -1;
};

// For the lifetime of the scope, changes of the symbol are recorded as one
// snapshot of its whole record buffer taken at construction, instead of an
// entry per record.  Nothing is recorded when the symbol's recording is off.
class UndoSnapshot {
public:
    explicit UndoSnapshot(SymbolDescription& symbol);
    ~UndoSnapshot();
    UndoSnapshot(const UndoSnapshot&) = delete;
    UndoSnapshot& operator=(const UndoSnapshot&) = delete;

private:
    UndoList& list;
    bool active;
};

}  // namespace zandor
