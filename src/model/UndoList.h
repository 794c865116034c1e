// The undo list of one symbol.  It records, as the symbol's record buffer
// changes, which record was inserted and verbatim copies of records before they
// were deleted or overwritten; undo replays the entries backwards up to a step
// boundary and so restores the buffer word for word.
//
// Entry layout (back to back; the last word holds the entry length so that the
// list can be walked backwards): code, word offset, copy of the record (codes
// 200 and 300 only), length.  A snapshot entry (code 400) stands for a whole
// record buffer kept beside the entries (RecordBuffer, in the same order):
// bulk operations record one instead of an entry per record, so that they
// and their undo stay linear in the size of the buffer.  Undoing a snapshot
// exchanges buffers; nothing is copied.
//
// Undoing a step records its inverse in a second list of the same layout, so
// that the step can be redone; redoing records the inverse again in the undo
// list.  Any new change empties the redo list.
#pragma once

#include <cstdint>
#include <vector>

#include "model/SymbolDescription.h"
#include "model/Types.h"

namespace zandor {

enum UndoCode : std::int32_t {
    UndoInserted = 100,
    UndoDeleted = 200,
    UndoModified = 300,
    UndoSnapshotCode = 400,
    // Words were appended from `offset` on; the copy holds the object count
    // before, the number of selected records before and their offsets (-1
    // and none when every record was selected).
    UndoAppended = 500,
    // Its inverse: the copy holds the object count after and the words to
    // append again at `offset`.
    UndoAppendWords = 600,
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
    // Reverses entries up to and including the last step boundary.  Returns
    // false when the symbol's calls are known to be unchanged (its children
    // list needs no rebuilding).
    bool Undo();
    // Applies again the step undone last; returns as Undo does.
    bool Redo();
    // Takes a buffer that a bulk operation has just replaced as the snapshot
    // of the current step.  False (the caller keeps and frees it) when
    // recording is off, when an open snapshot already covers the change, or
    // when memory runs out.
    bool KeepReplacedBuffer(RecordBuffer&& old);
    bool CanRedo() const { return undone.entryCount > 0; }
    // Renames a layer in the stored copies (used when a layer changes index).
    void RemapLayer(int oldLayer, int newLayer);
    void SetRecording(bool on) { recording = on; }
    // Keeps the offset of the record inserted last pointing at that record
    // while words are inserted (delta > 0) or removed (delta < 0) at offset.
    void ShiftLastInserted(std::int32_t offset, std::int32_t delta);
    bool IsRecording() const { return recording; }
    // Inside an UndoAppendScope: the selection marks of the records before
    // the appended ones are restored by it and need no entries.
    bool CoversSelectionMarks() const { return appendFrom >= 0; }
    bool CanUndo() const { return done.entryCount > 0; }
    std::int32_t EntryCount() const { return done.entryCount; }
    std::int32_t LastInserted() const { return lastInserted; }
    std::int32_t UsedWords() const { return done.usedWords; }

private:
    friend class UndoSnapshot;
    friend class UndoAppendScope;

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
        std::vector<RecordBuffer> buffers;  // one per snapshot entry, oldest first
        ~EntryStack();
        // The copy is `head` followed by the `copyLength` words at `copy`.
        bool Push(std::int32_t code, std::int32_t offset, const Word* copy, std::int32_t copyLength,
                  const Word* head = nullptr, std::int32_t headLength = 0);
        bool PushBuffer(RecordBuffer&& buffer);
        bool Pop(Entry& entry);
        // The last step is one snapshot and nothing else.
        bool TopIsLoneSnapshot() const;
        void Clear();
        void RemapLayer(int oldLayer, int newLayer);
    };

    bool Push(std::int32_t code, std::int32_t offset, const Word* copy, std::int32_t copyLength);
    bool PushSnapshot(RecordBuffer&& buffer);
    // Reverses the entries of `from` down to its last boundary, recording
    // each inverse in `inverse`.
    bool Replay(EntryStack& from, EntryStack& inverse);
    bool SwapLoneSnapshot(EntryStack& from, EntryStack& inverse);
    bool BeginSnapshot();

    bool recording = false;
    bool replaying = false;
    int suppressed = 0;            // open UndoSnapshot scopes that recorded their entry
    std::int32_t appendFrom = -1;  // set by an open UndoAppendScope
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

// For operations that only append records and move the selection to them
// (duplicating, copying in place): for the lifetime of the scope, the records
// appended are recorded as one entry that cuts the buffer back, with the
// offsets of the records selected at its start, instead of an entry per
// record.  Nothing before the start may be inserted, deleted or resized while
// the scope is open.  Inactive when recording is off or a snapshot is open.
class UndoAppendScope {
public:
    explicit UndoAppendScope(SymbolDescription& symbol);
    ~UndoAppendScope();
    UndoAppendScope(const UndoAppendScope&) = delete;
    UndoAppendScope& operator=(const UndoAppendScope&) = delete;

private:
    UndoList& list;
    bool active = false;
};

}  // namespace zandor
