#include "editing/HierarchyEdits.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <new>
#include <optional>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "editing/EditPrompts.h"
#include "editing/SelectionEdits.h"
#include "model/Geometry.h"
#include "model/ObjectRecord.h"
#include "model/RecordTransform.h"
#include "model/RecordViews.h"
#include "model/UndoList.h"
#include "platform/Messages.h"

namespace zandor {

namespace {

constexpr const char* kRecursionMessage = "Cannot insert a parent symbol into one of it's child symbols!";
constexpr const char* kInvalidElements = "Error: Invalid number of elements in symbol.";
constexpr const char* kCycleWarning =
    "Calls of symbols that call themselves cannot be flattened; they were left as they are.";

// Groups of up to this many objects are made with an undo entry per record;
// larger ones rewrite the buffer once under a snapshot.
constexpr std::size_t kFewObjects = 64;

// The buffer end a record must not pass; a record of length 0 or one running
// past it ends a walk (damaged input).
bool Fits(const Word* r, const Word* end) { return RecordLength(r) > 0 && r + RecordLength(r) <= end; }

const Word* EndOf(const SymbolDescription& s) { return s.Words() + s.usedWords; }

// The record after r and, for a head, after its member records.
const Word* UnitEnd(const Word* r, const Word* end) {
    const Word* next = r + RecordLength(r);
    if (!IsHead(r)) return next;
    for (int k = 0; k < MemberCount(r) && next < end && Fits(next, end) && IsMember(next); ++k) {
        next += RecordLength(next);
    }
    return next;
}

// Placing a call of symbolId into t would let t call itself.
bool WouldRecurse(const SymbolDescription& t, std::int32_t symbolId) {
    if (symbolId == t.Id()) return true;
    const SymbolDescription* called = t.OwnerLayout() ? t.OwnerLayout()->FindSymbol(symbolId) : nullptr;
    return called != nullptr && called->CallsSymbol(t.Id());
}

bool Finite(const TransformMatrix& m) {
    return std::isfinite(m.a) && std::isfinite(m.b) && std::isfinite(m.c) && std::isfinite(m.d) &&
           std::isfinite(m.tx) && std::isfinite(m.ty);
}

// A translation truncated toward zero, kept inside the coordinate range.
std::int32_t Truncated(double v) {
    if (!(v > -2147483648.0)) return std::isnan(v) ? 0 : INT32_MIN;
    if (!(v < 2147483647.0)) return INT32_MAX;
    return static_cast<std::int32_t>(v);
}

// Replaces all records of s by `words` (count records) in one copy.
void ReplaceAllWords(SymbolDescription& s, const std::vector<Word>& words, std::int32_t count) {
    // Removing everything first also forgets the current object and the
    // undo list's last insertion, whose offsets mean nothing afterwards.
    s.RemoveWordsAt(0, s.usedWords);
    if (!words.empty()) s.InsertWordsAt(0, words.data(), static_cast<int>(words.size()));
    s.objectCount = count;
}

// Appends a copy of the records of `from` to `to`, each selected exactly when
// it is no member, with "inserted" entries.  Stops with the message at a
// record of length 0.  Returns the number of words appended.
std::int32_t AppendContents(SymbolDescription& to, const SymbolDescription& from) {
    const std::int32_t start = to.usedWords;
    const Word* end = EndOf(from);
    for (std::int32_t offset = 0; offset < from.usedWords;) {
        const Word* r = from.Words() + offset;
        if (!Fits(r, end)) {
            platform::ShowError(kInvalidElements);
            break;
        }
        const int length = RecordLength(r);
        Word* copy = to.AppendRecord(length);
        if (!copy) break;
        std::memcpy(copy, from.Words() + offset, static_cast<std::size_t>(length) * sizeof(Word));
        SetSelectedBit(copy, !IsMember(copy));
        SetFlattenMark(copy, false);
        to.Undo().RecordInserted(to.OffsetOf(copy));
        offset += length;
    }
    return to.usedWords - start;
}

// Scales, then rotates the selection about the origin as the decomposed
// matrix of a call says: how a called symbol's objects take the call's place
// (the translation follows separately).
void ScaleAndRotateSelection(SymbolDescription& s, const DecomposedTransform& d) {
    if (d.scaleX != 1 || d.scaleY != 1) ScaleSelection(s, 0, 0, d.scaleX, d.scaleY, false);
    const double degrees = d.angle * 180.0 / kPi;
    if (degrees != 0) RotateSelection(s, 0, 0, degrees, false);
}

// The single selected object when it is of `kind` and no member.
Word* SingleSelected(SymbolDescription& t, ObjectKind kind) {
    t.UpdateSelection();
    if (t.selectedCount != 1) return nullptr;
    Word* r = t.FirstSelected();
    return r && RecordKind(r) == kind && !IsMember(r) ? r : nullptr;
}

bool BreakApartHead(SymbolDescription& t, ObjectKind kind) {
    Word* head = SingleSelected(t, kind);
    if (!head) return false;
    const std::int32_t headOffset = t.OffsetOf(head);
    const int direct =
        kind == ObjectKind::Group ? GroupView(head).DirectMembers() : ScriptView(head).GeneratedObjects();
    const Word* end = EndOf(t);
    const Word* stop = UnitEnd(head, end);
    std::vector<std::int32_t> members;
    for (const Word* r = head + RecordLength(head); r < stop && static_cast<int>(members.size()) < direct;) {
        members.push_back(t.OffsetOf(r));
        r = UnitEnd(r, stop);
    }
    for (std::int32_t offset : members) {
        Word* m = t.RecordAt(offset);
        t.Undo().RecordModified(offset, m);
        SetMemberBit(m, false);
        t.SetSelected(m);
    }
    // The direct members carry no member bit any more, so the head goes alone.
    t.DeleteRecord(t.RecordAt(headOffset));
    t.UpdateSelection();
    return true;
}

// ---------------------------------------------------------------------------
// Flattening
//
// The loop that breaks apart the first container of the list again and
// again appends what comes out of a call or an array at the end of the list
// and dissolves a group in place.  So every plain object ends up in the order
// in which it entered the list, and containers are broken apart in that
// order too.  The flattener produces that list in one pass: plain objects go
// to the output as they enter, calls and arrays wait in a queue, groups are
// dissolved where they stand.  An array's elements are broken apart straight
// from the array, without a call record for each, and a symbol's objects
// scaled and rotated for one linear part are kept for all the calls that
// share it, so that only the translation is applied per call.
class Flattener {
public:
    Flattener(SymbolDescription& t, bool everything)
        : t(t), layout(t.OwnerLayout()), everything(everything), out(layout), queue(layout), scratch(layout) {}

    // False when nothing needed breaking apart (the symbol is untouched).
    bool Run() {
        if (!everything && !t.FirstSelected()) return false;
        if (everything) {
            total = StepsOf(t.Words(), EndOf(t));
        }
        platform::Progress().SetProgress(0);
        Take(t.Words(), EndOf(t), false, 0, 0);
        while (queueRead < queue.usedWords) {
            std::array<Word, kSymbolArrayLength> record{};
            const Word* q = queue.RecordAt(queueRead);
            std::memcpy(record.data(), q, static_cast<std::size_t>(RecordLength(q)) * sizeof(Word));
            queueRead += RecordLength(q);
            if (RecordKind(record.data()) == ObjectKind::SymbolArray && !HasFlattenMark(record.data())) {
                // Breaking an array apart appends its element calls at the
                // end: they come back as one marked entry.
                Step();
                SetFlattenMark(record.data(), true);
                Word* again = queue.AppendRecord(kSymbolArrayLength);
                if (!again) throw std::bad_alloc();
                std::memcpy(again, record.data(), sizeof record);
                continue;
            }
            Expand(record.data());
            // What was read is dropped now and then, so the queue stays as
            // small as the calls still waiting.
            if (queueRead > (1 << 16) && queueRead * 2 > queue.usedWords) {
                queue.RemoveWordsAt(0, queueRead);
                queueRead = 0;
            }
        }
        if (cyclesLeft) platform::ShowWarning(kCycleWarning);
        if (steps == 0) {
            platform::Progress().SetProgress(100);
            return false;
        }
        {
            UndoSnapshot snapshot(t);
            t.RemoveWordsAt(0, t.usedWords);
            std::swap(t.objects, out.objects);
            std::swap(t.capacity, out.capacity);
            std::swap(t.usedWords, out.usedWords);
            std::swap(t.objectCount, out.objectCount);
        }
        t.RebuildChildren();
        t.RecomputeBounds();
        t.UpdateSelection();
        platform::Progress().SetProgress(100);
        return true;
    }

private:
    struct Key {
        std::int32_t id;
        double scaleX, scaleY, angle;
        bool operator<(const Key& o) const {
            return std::tie(id, scaleX, scaleY, angle) < std::tie(o.id, o.scaleX, o.scaleY, o.angle);
        }
    };

    bool Cyclic(std::int32_t id) {
        auto it = cyclic.find(id);
        if (it != cyclic.end()) return it->second;
        const SymbolDescription* s = layout ? layout->FindSymbol(id) : nullptr;
        const bool result = s != nullptr && (s == &t || s->CallsSymbol(id) || s->CallsSymbol(t.Id()));
        cyclic.emplace(id, result);
        return result;
    }

    // Whether a call or an array can be broken apart: its symbol exists and
    // does not call itself (or the symbol being flattened), and a call's
    // matrix holds numbers.
    bool Breakable(const Word* r) {
        const std::int32_t id = PlacementView(r).SymbolId();
        if (!layout || !layout->FindSymbol(id)) return false;
        if (Cyclic(id)) {
            cyclesLeft = true;
            return false;
        }
        if (RecordKind(r) == ObjectKind::SymbolCall) return Finite(CallView(r).Matrix());
        return true;
    }

    // The number of break-apart steps the records [r, end) of symbol s lead
    // to, for the progress.
    double StepsOf(const Word* r, const Word* end) {
        double n = 0;
        while (r < end && Fits(r, end)) {
            const ObjectKind kind = RecordKind(r);
            if (kind == ObjectKind::Group) {
                n += 1;
                r += RecordLength(r);
                continue;
            }
            if (IsCallKind(kind) && Breakable(r)) {
                const SymbolDescription* called = layout->FindSymbol(PlacementView(r).SymbolId());
                const double inner = 1 + SymbolSteps(*called);
                if (kind == ObjectKind::SymbolCall) {
                    n += inner;
                } else {
                    const ArrayView array(r);
                    n += 1 + (array.Magnification() != 0 && array.Columns() > 0 && array.Rows() > 0
                                  ? double(array.Columns()) * array.Rows() * inner
                                  : 0);
                }
            }
            r = UnitEnd(r, end);
        }
        return n;
    }
    double SymbolSteps(const SymbolDescription& s) {
        auto it = symbolSteps.find(&s);
        if (it != symbolSteps.end()) return it->second;
        symbolSteps.emplace(&s, 0.0);  // a cycle (not broken apart anyway) adds nothing
        const double n = StepsOf(s.Words(), EndOf(s));
        symbolSteps[&s] = n;
        return n;
    }

    void Step() {
        ++steps;
        if (total <= 0) return;
        const int percent = std::min(100, RoundHalfAway(steps * 100.0 / total));
        if (percent != lastPercent) {
            lastPercent = percent;
            platform::Progress().SetProgress(percent);
        }
    }

    // Copies the record (and, for a head, its members) [r, unitEnd) into
    // `into`, the first record top-level, and moves it.
    Word* Emit(SymbolDescription& into, const Word* r, const Word* unitEnd, bool dissolved, bool select,
               std::int32_t dx, std::int32_t dy) {
        const std::int32_t first = into.usedWords;
        for (const Word* m = r; m < unitEnd; m += RecordLength(m)) {
            Word* copy = into.AppendRecord(RecordLength(m));
            if (!copy) throw std::bad_alloc();
            std::memcpy(copy, m, static_cast<std::size_t>(RecordLength(m)) * sizeof(Word));
            SetFlattenMark(copy, false);
            SetSelectedBit(copy, false);
        }
        Word* head = into.RecordAt(first);
        if (dissolved) SetMemberBit(head, false);
        SetSelectedBit(head, select);
        if (dx != 0 || dy != 0) MoveRecord(into, head, dx, dy);
        return head;
    }

    // Hands the records [begin, end) over, moved by (dx, dy): plain objects
    // to the output, calls and arrays to break apart to the queue, groups to
    // break apart dissolved in place.  Records of an expansion are all to be
    // flattened; those of the symbol itself when they are selected (or when
    // flattening everything).
    void Take(const Word* begin, const Word* end, bool expansion, std::int32_t dx, std::int32_t dy) {
        std::vector<int> open;  // direct members still to come of the groups being dissolved
        for (const Word* r = begin; r && r < end;) {
            if (!Fits(r, end)) {
                if (expansion) platform::ShowError(kInvalidElements);
                break;
            }
            bool marked = expansion || everything || IsSelected(r);
            bool dissolved = false;
            if (IsMember(r)) {
                while (!open.empty() && open.back() == 0) open.pop_back();
                if (!open.empty()) {
                    --open.back();
                    marked = dissolved = true;
                }
            } else {
                open.clear();
            }
            const ObjectKind kind = RecordKind(r);
            if (marked && kind == ObjectKind::Group) {
                open.push_back(GroupView(r).DirectMembers());
                Step();
                r += RecordLength(r);
                continue;
            }
            const Word* next = UnitEnd(r, end);
            if (marked && IsCallKind(kind) && Breakable(r)) {
                Emit(queue, r, r + RecordLength(r), dissolved, true, dx, dy);
            } else {
                Emit(out, r, next, dissolved, marked && !everything, dx, dy);
            }
            r = next;
        }
    }

    // The objects of a symbol scaled and rotated as the decomposed matrix
    // says, as they would be appended by breaking apart a call.
    const std::vector<Word>& Contents(const SymbolDescription& s, const DecomposedTransform& d) {
        const Key key{s.Id(), d.scaleX, d.scaleY, d.angle};
        auto it = contents.find(key);
        if (it != contents.end()) return it->second;
        // Calls under ever new matrices would fill the memory with entries
        // used once.
        if (contentWords > (std::int64_t{1} << 24)) {
            contents.clear();
            contentWords = 0;
        }
        scratch.Reset();
        AppendContents(scratch, s);
        scratch.UpdateSelection();
        if (scratch.selectedCount > 0) {
            // The scratch symbol's operations must not move the progress bar.
            struct Quiet : platform::ProgressService {
                void SetProgress(int) override {}
            } quiet;
            platform::ProgressService* previous = platform::SetProgressService(&quiet);
            ScaleAndRotateSelection(scratch, d);
            platform::SetProgressService(previous);
        }
        std::vector<Word> words(scratch.Words(), scratch.Words() + scratch.usedWords);
        contentWords += scratch.usedWords;
        return contents.emplace(key, std::move(words)).first->second;
    }

    void ExpandCall(const SymbolDescription& s, const TransformMatrix& m) {
        Step();
        const DecomposedTransform d = DecomposeTransform(m);
        const std::vector<Word>& words = Contents(s, d);
        Take(words.data(), words.data() + words.size(), true, Truncated(d.tx), Truncated(d.ty));
    }

    void Expand(const Word* r) {
        const SymbolDescription* s = layout->FindSymbol(PlacementView(r).SymbolId());
        if (RecordKind(r) == ObjectKind::SymbolCall) {
            ExpandCall(*s, CallView(r).Matrix());
            return;
        }
        const ArrayView array(r);
        if (array.Magnification() == 0) return;
        for (int i = 0; i < array.Columns(); ++i) {
            for (int j = 0; j < array.Rows(); ++j) ExpandCall(*s, array.Element(i, j));
        }
    }

    SymbolDescription& t;
    Layout* layout;
    const bool everything;
    SymbolDescription out;      // the flattened list, swapped into t at the end
    SymbolDescription queue;    // calls and arrays waiting to be broken apart
    SymbolDescription scratch;  // where a symbol's objects are scaled and rotated
    std::int32_t queueRead = 0;
    std::map<Key, std::vector<Word>> contents;
    std::int64_t contentWords = 0;
    std::unordered_map<std::int32_t, bool> cyclic;
    std::unordered_map<const SymbolDescription*, double> symbolSteps;
    bool cyclesLeft = false;
    double steps = 0, total = 0;
    int lastPercent = -1;
};

void Flatten(SymbolDescription& t, bool everything) {
    try {
        Flattener(t, everything).Run();
    } catch (const std::bad_alloc&) {
        platform::ShowError("Not enough memory to flatten the objects.");
        platform::Progress().SetProgress(100);
    }
}

}  // namespace

// ---------------------------------------------------------------------------

bool CheckReplace(SymbolDescription& source, Layout& target, std::int32_t targetId, std::vector<std::string>& names) {
    std::unordered_set<const SymbolDescription*> seen;
    std::vector<SymbolDescription*> pending{&source};
    while (!pending.empty()) {
        SymbolDescription* s = pending.back();
        pending.pop_back();
        if (!seen.insert(s).second) continue;
        SymbolDescription* existing = target.FindSymbolByName(s->Name());
        if (existing && existing != s && !SymbolDescription::SameDefinition(*existing, *s)) {
            if (std::find(names.begin(), names.end(), s->Name()) == names.end()) names.push_back(s->Name());
            if (existing->Id() == targetId || existing->CallsSymbol(targetId)) {
                platform::ShowError("Cannot replace a parent symbol!");
                return false;
            }
        }
        Layout* own = s->OwnerLayout();
        const std::vector<std::int32_t>& children = s->Children();
        // Reversed onto the stack, so that names are listed parent first and
        // children in their order.
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            if (SymbolDescription* child = own ? own->FindSymbol(*it) : nullptr) pending.push_back(child);
        }
    }
    return true;
}

bool CopySelectionFrom(SymbolDescription& target, SymbolDescription& source) {
    Layout* targetLayout = target.OwnerLayout();
    Layout* sourceLayout = source.OwnerLayout();
    std::vector<std::int32_t> offsets;
    for (Word* r = source.FirstSelected(); r; r = source.NextSelected(r)) offsets.push_back(source.OffsetOf(r));
    if (offsets.empty()) return true;

    if (targetLayout && sourceLayout && targetLayout != sourceLayout) {
        // Calls among the members of selected groups bring their definitions
        // over as much as those of scripts do, so they are asked about too.
        std::vector<std::int32_t> ids;
        const Word* end = EndOf(source);
        for (std::int32_t offset : offsets) {
            const Word* r = source.Words() + offset;
            for (const Word *m = r, *stop = UnitEnd(r, end); m < stop; m += RecordLength(m)) {
                if (IsCallKind(RecordKind(m))) ids.push_back(PlacementView(m).SymbolId());
            }
        }
        std::vector<std::string> names;
        std::unordered_set<std::int32_t> checked;
        for (std::int32_t id : ids) {
            if (!checked.insert(id).second) continue;
            SymbolDescription* called = sourceLayout->FindSymbol(id);
            if (called && !CheckReplace(*called, *targetLayout, target.Id(), names)) return false;
        }
        if (!names.empty() && !Prompts().AskReplaceSymbols(names)) return true;
    }

    const bool wasEmpty = target.FirstRecord() == nullptr;
    bool all = true, any = false;
    Rect box;
    for (std::int32_t offset : offsets) {
        Word* r = source.RecordAt(offset);
        const Rect b = ObjectBounds(r, sourceLayout);
        box = any ? Rect{std::min(box.minx, b.minx), std::min(box.miny, b.miny), std::max(box.maxx, b.maxx),
                         std::max(box.maxy, b.maxy)}
                  : b;
        any = true;
        if (!target.InsertCopy(source.RecordAt(offset), source)) all = false;
    }
    // A clipboard filled afresh takes the selection's box; a symbol that held
    // objects before keeps the union that the insertions made.
    if (wasEmpty && target.FirstRecord()) {
        target.minx = box.minx;
        target.miny = box.miny;
        target.maxx = box.maxx;
        target.maxy = box.maxy;
    }
    target.UpdateSelection();
    return all;
}

Word* PlaceDroppedSymbol(SymbolDescription& target, SymbolDescription* librarySource, std::string_view treeName,
                         Point snapped) {
    Layout* layout = target.OwnerLayout();
    if (!layout) return nullptr;
    SymbolDescription* symbol = nullptr;
    if (librarySource) {
        std::vector<std::string> names;
        if (!CheckReplace(*librarySource, *layout, target.Id(), names)) return nullptr;
        if (!names.empty() && !Prompts().AskReplaceSymbols(names)) return nullptr;
        symbol = layout->FindSymbolByName(librarySource->Name());
        if (!symbol) {
            symbol = layout->AddSymbol(layout->NextSymbolId(), librarySource->Name());
            if (symbol) symbol->Undo().SetRecording(true);
        }
        if (!symbol || !symbol->CopyDefinition(*librarySource)) {
            platform::ShowError("Could not copy " + librarySource->Name());
            return nullptr;
        }
    } else {
        symbol = layout->FindSymbolByName(treeName);
        if (!symbol) return nullptr;
    }
    target.DeselectAll();
    Word* call = target.InsertSymbolCall(symbol->Id(), snapped.X, snapped.Y);
    if (call) {
        target.SetSelected(call);
        target.SelectSingle(call);
    } else {
        target.UpdateSelection();
    }
    return call;
}

SymbolDescription* CombineSelection(SymbolDescription& t) {
    Layout* layout = t.OwnerLayout();
    t.UpdateSelection();
    if (!layout || t.selectedCount < 1) return nullptr;
    const Rect box = t.selectionBox;
    const std::int32_t newId = layout->NextSymbolId();
    std::string name = "Symbol " + std::to_string(newId);
    Point origin{box.minx, box.miny};
    if (!Prompts().NewSymbolDialog(name, origin, box)) return nullptr;

    SymbolDescription* existing = nullptr;
    while ((existing = layout->FindSymbolByName(name)) != nullptr) {
        // Replacing the symbol being edited would wipe what the new call is
        // to stand for, as replacing one the selection calls would close a
        // cycle: neither is offered.
        const char* caption = "Symbol exists!";
        if (existing != &t && !t.SelectionCallsSymbol(existing->Id())) {
            const PromptAnswer answer = Prompts().AskYesNoCancel(
                "Symbol already exists! Do you want to replace the existing definition?", "Warning");
            if (answer == PromptAnswer::Yes) break;
            if (answer == PromptAnswer::Cancel) return nullptr;
            caption = "New symbol";
        }
        if (!Prompts().InputText(caption, "Input new symbol name:", name)) return nullptr;
    }
    if (name.find_first_of("()") != std::string::npos) {
        platform::ShowError("A symbol name cannot contain the '(' or ')' characters!");
        return nullptr;
    }
    // The selection moves by -origin before it is copied: refused up front
    // when that would leave the coordinate range.
    const auto fits = [](std::int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; };
    if (!fits(std::int64_t{box.minx} - origin.X) || !fits(std::int64_t{box.maxx} - origin.X) ||
        !fits(std::int64_t{box.miny} - origin.Y) || !fits(std::int64_t{box.maxy} - origin.Y) || origin.X == INT32_MIN ||
        origin.Y == INT32_MIN) {
        platform::ShowError("The result would lie outside the coordinate range.");
        return nullptr;
    }

    SymbolDescription* symbol = existing;
    if (symbol) {
        symbol->Undo().SetRecording(false);
        symbol->Reset();
    } else {
        symbol = layout->AddSymbol(newId, name);
        if (!symbol) return nullptr;
    }
    MoveSelection(t, -origin.X, -origin.Y, false);
    for (Word* r = t.FirstSelected(); r; r = t.NextSelected(r)) {
        if (Word* copy = symbol->InsertCopy(r, t)) SetSelectedBit(copy, false);
    }
    symbol->Undo().SetRecording(true);
    symbol->RebuildChildren();
    symbol->RecomputeBounds();

    DeleteSelection(t);
    Word* call = t.InsertSymbolCall(symbol->Id(), origin.X, origin.Y);
    t.RebuildChildren();
    if (call) {
        t.SetSelected(call);
        t.SelectSingle(call);
    } else {
        t.UpdateSelection();
    }
    return symbol;
}

Word* GroupSelection(SymbolDescription& t) {
    t.UpdateSelection();
    if (t.selectedCount < 2) return nullptr;
    const Point reference = ReferencePoint(t.FirstSelected()).value_or(Point{});

    // The selected objects with their members, in list order.
    std::vector<std::pair<std::int32_t, std::int32_t>> units;  // offset, words
    std::vector<Word> buffered;
    buffered.reserve(static_cast<std::size_t>(std::max(0, t.selectedWords)));
    int records = 0;
    const Word* end = EndOf(t);
    for (Word* r = t.FirstSelected(); r; r = t.NextSelected(r)) {
        const Word* stop = UnitEnd(r, end);
        units.emplace_back(t.OffsetOf(r), static_cast<std::int32_t>(stop - r));
        for (const Word* m = r; m < stop; m += RecordLength(m)) {
            const std::size_t at = buffered.size();
            buffered.insert(buffered.end(), m, m + RecordLength(m));
            SetSelectedBit(&buffered[at], false);
            SetMemberBit(&buffered[at], true);
            ++records;
        }
    }

    std::optional<UndoSnapshot> snapshot;
    if (units.size() <= kFewObjects) {
        for (auto it = units.rbegin(); it != units.rend(); ++it) t.DeleteRecord(t.RecordAt(it->first));
    } else {
        snapshot.emplace(t);
        std::vector<Word> kept;
        kept.reserve(static_cast<std::size_t>(t.usedWords));
        std::size_t next = 0;
        for (std::int32_t offset = 0; offset < t.usedWords;) {
            if (next < units.size() && units[next].first == offset) {
                offset += units[next++].second;
                continue;
            }
            const Word* r = t.RecordAt(offset);
            kept.insert(kept.end(), r, r + RecordLength(r));
            offset += RecordLength(r);
        }
        ReplaceAllWords(t, kept, t.objectCount - records);
        t.DeselectAll();
    }
    Word* head = t.AddGroup(reference.X, reference.Y, records, static_cast<int>(units.size()));
    if (!head) {
        t.UpdateSelection();
        return nullptr;
    }
    const std::int32_t headOffset = t.OffsetOf(head);
    for (std::size_t at = 0; at < buffered.size(); at += static_cast<std::size_t>(RecordLength(&buffered[at]))) {
        const int length = RecordLength(&buffered[at]);
        Word* copy = t.AppendRecord(length);
        if (!copy) break;
        std::memcpy(copy, &buffered[at], static_cast<std::size_t>(length) * sizeof(Word));
        t.Undo().RecordInserted(t.OffsetOf(copy));
    }
    head = t.RecordAt(headOffset);
    t.SetSelected(head);
    t.UpdateSelection();
    return t.RecordAt(headOffset);
}

bool BreakApartCall(SymbolDescription& t) {
    Word* call = SingleSelected(t, ObjectKind::SymbolCall);
    if (!call) return false;
    Layout* layout = t.OwnerLayout();
    SymbolDescription* called = layout ? layout->CalledSymbol(call) : nullptr;
    if (!called) return false;
    if (WouldRecurse(t, called->Id())) {
        platform::ShowError(kRecursionMessage);
        return false;
    }
    const TransformMatrix m = CallView(call).Matrix();
    if (!Finite(m)) return false;
    const DecomposedTransform d = DecomposeTransform(m);
    t.DeleteRecord(call);
    AppendContents(t, *called);
    t.UpdateSelection();
    if (t.selectedCount > 0) {
        ScaleAndRotateSelection(t, d);
        MoveSelection(t, Truncated(d.tx), Truncated(d.ty), false);
    }
    t.RebuildChildren();
    t.UpdateSelection();
    return true;
}

bool BreakApartGroup(SymbolDescription& t) { return BreakApartHead(t, ObjectKind::Group); }

bool BreakApartScript(SymbolDescription& t) { return BreakApartHead(t, ObjectKind::Script); }

bool BreakApartArray(SymbolDescription& t) {
    Word* record = SingleSelected(t, ObjectKind::SymbolArray);
    if (!record) return false;
    std::array<Word, kSymbolArrayLength> array{};
    std::memcpy(array.data(), record, sizeof(Word) * kSymbolArrayLength);
    const ArrayView view(array.data());
    const bool places = view.Magnification() != 0 && view.Columns() > 0 && view.Rows() > 0;
    if (places && WouldRecurse(t, view.SymbolId())) {
        platform::ShowError(kRecursionMessage);
        return false;
    }
    t.DeleteRecord(record);
    if (places) {
        bool going = true;
        for (int i = 0; i < view.Columns() && going; ++i) {
            for (int j = 0; j < view.Rows() && going; ++j) {
                Word* call = t.InsertSymbolCallMatrix(view.SymbolId(), view.Element(i, j));
                if (call) t.SetSelected(call);
                going = call != nullptr;
            }
        }
    }
    t.RebuildChildren();
    t.UpdateSelection();
    return true;
}

bool BreakApartSelection(SymbolDescription& t) {
    t.UpdateSelection();
    if (t.selectedCount != 1) return false;
    switch (RecordKind(t.FirstSelected())) {
        case ObjectKind::SymbolCall: return BreakApartCall(t);
        case ObjectKind::Group: return BreakApartGroup(t);
        case ObjectKind::SymbolArray: return BreakApartArray(t);
        case ObjectKind::Script: return BreakApartScript(t);
        default: return false;
    }
}

void FlattenSelection(SymbolDescription& t) { Flatten(t, false); }

bool FlattenLayout(SymbolDescription& t) {
    Layout* layout = t.OwnerLayout();
    if (!layout || layout->MainSymbol() != &t) return false;
    Flatten(t, true);
    t.UpdateSelection();
    return true;
}

}  // namespace zandor
