// A symbol (cell): a named, numbered collection of object records kept back to
// back in one word buffer, with its bounding box, the list of symbols it calls,
// its undo list, guidelines, saved views and the selection of the editor.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/ObjectRecord.h"
#include "model/Types.h"
#include "model/ViewState.h"

namespace zandor {

class Layout;
class UndoList;

// A whole record buffer with what describes it: counts, box and selection.
// The undo list keeps buffers in this form, so that a bulk change and its undo
// hand buffers over instead of copying them.
struct RecordBuffer {
    Word* objects = nullptr;
    std::int32_t capacity = 0;
    std::int32_t usedWords = 0;
    std::int32_t objectCount = 0;
    std::int32_t callCount = 0;
    Rect bounds;
    bool boundsValid = false;
    std::int32_t selectedCount = 0;
    std::int32_t selectedWords = 0;
    std::int32_t currentObject = -1;
    int currentKind = 0;
    int currentLayer = 0;
    Rect selectionBox;
    bool frameShown = false;
    std::string statusText = "No selected objects";

    RecordBuffer() = default;
    RecordBuffer(RecordBuffer&& other) noexcept;
    RecordBuffer& operator=(RecordBuffer&& other) noexcept;
    RecordBuffer(const RecordBuffer&) = delete;
    RecordBuffer& operator=(const RecordBuffer&) = delete;
    ~RecordBuffer();
};

class SymbolDescription {
public:
    explicit SymbolDescription(Layout* layout);
    ~SymbolDescription();
    SymbolDescription(const SymbolDescription&) = delete;
    SymbolDescription& operator=(const SymbolDescription&) = delete;

    // Empties the symbol: buffer, children, saved views, counts, box, selection
    // and measuring state go; the undo list is cleared but kept.
    void Reset();

    // Ignores a name containing "(" or ")"; otherwise renames and marks the
    // layout modified.
    void SetName(std::string_view text);
    const std::string& Name() const { return name; }
    // Ids are changed through the layout, which indexes them.
    std::int32_t Id() const { return id; }
    Layout* OwnerLayout() const { return layout; }
    UndoList& Undo() { return *undo; }

    // Record iteration; nullptr when there is none.
    Word* FirstRecord() { return usedWords > 0 ? objects : nullptr; }
    const Word* FirstRecord() const { return usedWords > 0 ? objects : nullptr; }
    Word* NextRecord(Word* r) { return r[RecordLength(r)] == 0 ? nullptr : r + RecordLength(r); }
    const Word* NextRecord(const Word* r) const { return r[RecordLength(r)] == 0 ? nullptr : r + RecordLength(r); }
    Word* FirstSelected();
    Word* NextSelected(Word* r);
    // The record after a head's members (or after r itself for other records).
    Word* NextObject(Word* r);
    std::int32_t OffsetOf(const Word* r) const { return static_cast<std::int32_t>(r - objects); }
    Word* RecordAt(std::int32_t offset) { return objects + offset; }
    const Word* Words() const { return objects; }

    // Buffer operations.  Pointers to records are invalid after any of them.
    Word* AppendRecord(int n);
    Word* ResizeRecord(Word* record, int newLength);
    Word* DeleteRecord(Word* record);
    Word* ReplaceRecord(Word* record, const Word* newContents);
    void ShrinkBuffer();
    void UpdateBounds(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);
    void UpdateBounds(const Rect& r) { UpdateBounds(r.minx, r.miny, r.maxx, r.maxy); }

    // Record creators; nullptr when memory cannot be had or the insertion is
    // refused.
    Word* AddRectangle(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, int layer);
    Word* AddBox(std::int32_t cx, std::int32_t cy, std::int32_t length, std::int32_t width, double degrees, int layer);
    Word* AddPolygon(const Point* points, int n, int layer);
    Word* AddWire(const Point* points, int n, std::int32_t width, int endStyle, int layer);
    Word* AddCircle(std::int32_t cx, std::int32_t cy, std::int32_t radius, int layer);
    Word* AddRing(std::int32_t cx, std::int32_t cy, std::int32_t radius, std::int32_t width, int layer);
    Word* AddArcWire(std::int32_t cx, std::int32_t cy, std::int32_t sx, std::int32_t sy, std::int32_t ex,
                     std::int32_t ey, Word widthWord, int layer);
    Word* AddText(std::int32_t x, std::int32_t y, int memberCount, std::string_view text, std::int32_t height,
                  const LOGFONTA& font, int layer);
    Word* AddScript(std::int32_t x, std::int32_t y, int memberCount, int generatedCount, int maxObjects,
                    std::string_view text, std::int32_t height, const LOGFONTA& font, int layer);
    Word* AddGroup(std::int32_t x, std::int32_t y, int memberRecords, int directMembers);
    Word* InsertSymbolCall(std::int32_t symbolId, std::int32_t x, std::int32_t y);
    Word* InsertSymbolCallMatrix(std::int32_t symbolId, const TransformMatrix& m);
    Word* InsertArray(std::int32_t symbolId, Point origin, Point columnEnd, Point rowEnd, int columns, int rows,
                      double magnification, double degrees);
    // Copies a record (with its members when it is a head) of another symbol,
    // possibly of another layout, into this one.
    Word* InsertCopy(const Word* record, SymbolDescription& source);
    // Makes this symbol hold the definition of a symbol of another layout,
    // copying the called symbols first.
    bool CopyDefinition(SymbolDescription& source);
    static bool SameDefinition(const SymbolDescription& a, const SymbolDescription& b);

    // Hierarchy.  The children list names every symbol id called, each once,
    // in the order of first call; the layout indexes it the other way round.
    const std::vector<std::int32_t>& Children() const { return children; }
    void RebuildChildren();
    void AddChild(std::int32_t childId);
    // Through any number of levels; true for this symbol's own id only when it
    // lies on a cycle (damaged input).
    bool CallsSymbol(std::int32_t symbolId) const;
    bool SelectionCallsSymbol(std::int32_t symbolId);
    // No other symbol calls this one.
    bool IsUnused() const;
    int CountKind(ObjectKind kind, bool recursive) const;
    bool IsEmpty() const;

    // Bounding box.
    void EnsureBounds();
    void RecomputeBounds();
    // The same for a caller that has just written every record and united
    // their boxes as the walk does (a head gives its position, any other
    // record its ObjectBounds; `any` false when there is no record), so that
    // a large buffer is not walked again.
    void SetBoundsFromUnion(const Rect& recordsUnion, bool any);
    Rect Bounds() const { return {minx, miny, maxx, maxy}; }

    // Selection.
    void SetSelected(Word* record);
    void ClearSelected(Word* record);
    void ToggleSelected(Word* record);
    void DeselectAll();
    void UpdateSelection();
    void SelectSingle(Word* record);
    bool GetSelectionBox(Rect& box);
    Word* CurrentObject() { return currentObject >= 0 ? objects + currentObject : nullptr; }
    void SetCurrentObject(Word* record) { currentObject = record ? OffsetOf(record) : -1; }

    // Buffer surgery used by the undo list: words are moved, nothing recorded.
    void RemoveWordsAt(std::int32_t offset, int count);
    bool InsertWordsAt(std::int32_t offset, const Word* words, int count);

    // Fields.  The record buffer and counts are managed by the operations above.
    Word* objects = nullptr;
    std::int32_t capacity = 0;
    std::int32_t growStep = 1024;
    std::int32_t objectCount = 0;
    std::int32_t usedWords = 0;
    std::int32_t minx = 0, maxx = 0, miny = 0, maxy = 0;
    bool boundsValid = false;
    Layout* layout = nullptr;
    std::vector<std::int32_t> vGuides;
    std::vector<std::int32_t> hGuides;
    std::unique_ptr<UndoList> undo;
    std::int32_t callCount = 0;
    bool treeMark = false;

    // Selection state.
    std::int32_t selectedCount = 0;
    std::int32_t currentObject = -1;  // word offset of the current object, -1 none
    int currentKind = 0;
    int currentLayer = 0;
    Rect selectionBox;
    std::int32_t selectedWords = 0;
    std::string statusText = "No selected objects";

    // What the window keeps with the symbol: saved views, the selection
    // frame and the measuring line.
    SymbolView view;

private:
    friend class Layout;
    // The name and id are indexed by the layout: they change through SetName
    // and the layout only.
    std::string name;
    std::int32_t id = -1;
    std::vector<std::int32_t> children;
    // Marks of Layout::Reaches.
    mutable std::uint32_t reachedDown = 0, reachedUp = 0;
    // Set while the box is being computed, so that a cycle of calls (possible in
    // damaged files) cannot recurse without end.
    bool boundsInProgress = false;

    void RecomputeBounds(bool edited);
    bool Reserve(std::int64_t words, std::int32_t extra);
    Word* FinishInsert(Word* record);
    bool RefuseRecursiveCall(std::int32_t symbolId);
    void ShiftCurrent(std::int32_t offset, std::int32_t delta);
    Rect ComputeUnion(bool& any);
    std::string SingleObjectText(Word* record);

public:
    // Bulk operations over the whole buffer, each linear in its size.  Unless
    // said otherwise they record nothing in the undo list: the caller records
    // a snapshot first (UndoSnapshot).  The selected count and the current object follow the
    // records; the bounding box is the caller's business.

    // Room for `words` more words, so that appending them moves the buffer at
    // most once.  False when the memory cannot be had.
    bool ReserveWords(std::int64_t words);

    // Writes the replacement of `record` at `out` (at most one record's
    // maximum length of words, whole records) and returns the number of words
    // written; 0 drops the record.  Members are offered one by one, after
    // their head.
    using RecordRewriter = std::function<int(const Word* record, Word* out)>;
    // Rebuilds the buffer in one pass through `rewrite`.  False, with the
    // buffer unchanged, when the memory cannot be had.  A rewriter that adds
    // or drops calls leaves RebuildChildren to the caller.  The old buffer
    // goes to the undo list as the snapshot of the change, unless a snapshot
    // is open already.
    bool RewriteRecords(const RecordRewriter& rewrite);

    // Removes every selected object with its member records in one pass and
    // returns how many objects went; the children list is rebuilt when calls
    // went with them.
    std::int32_t RemoveSelectedObjects();
    // Empties the buffer; the old one goes to the undo list whole, as
    // RewriteRecords does.
    void RemoveAllObjects();

    // Exchanges the buffer and everything RecordBuffer holds with `other`.
    void SwapBuffer(RecordBuffer& other);
    // A copy of the buffer and its state; false when the memory cannot be had.
    bool CopyBuffer(RecordBuffer& copy) const;

private:
    void AfterBulkChange();
};

// The bounding box of one record, by kind.  For calls and arrays the called
// symbol's box is brought up to date first and the record's cached extent is
// refreshed.
Rect ObjectBounds(Word* record, Layout* layout);
// Status text helpers.
std::string LayerSuffix(const Layout* layout, int layer);

}  // namespace zandor
