#include "editing/HierarchyEdits.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <deque>
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

// Deeper hierarchies than this are not counted before flattening, and counts
// stop at a size no buffer reaches.
constexpr int kDeepestCount = 1000;
constexpr std::int64_t kCountLimit = std::int64_t{1} << 40;

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
// from the array, without a call record for each.
//
// What a call brings depends on its symbol and its matrix's linear part only;
// the translation follows.  So a symbol's objects are scaled and rotated once
// per linear part and prepared once as they go to the output (header bits
// set, groups dissolved, calls sorted out); each call then copies that block
// into the output in one piece and moves it, and unites the boxes of the
// records while they are at hand, so that the list is not walked again.
class Flattener {
public:
    Flattener(SymbolDescription& t, bool everything)
        : t(t), layout(t.OwnerLayout()), everything(everything), out(layout), scratch(layout) {}

    // True when everything was flattened: nothing is selected then, which is
    // stated without walking the list.  False for a flattened selection, and
    // when nothing needed breaking apart (the symbol is untouched).
    bool Run() {
        if (!everything && !t.FirstSelected()) return false;
        if (everything) {
            total = StepsOf(t.Words(), EndOf(t));
        }
        platform::Progress().SetProgress(0);
        {
            const Prepared own = Prepare(t.Words(), EndOf(t), false);
            // The output in one piece: a buffer grown by moving it loses its
            // large pages, and every later walk over it pays for that.
            const std::int64_t words = WordsOf(own, 0);
            if (words > 0 && !out.ReserveWords(words)) throw std::bad_alloc();
            Place(own, 0, 0);
        }
        while (!queue.empty()) {
            Waiting waiting = queue.front();
            queue.pop_front();
            if (RecordKind(waiting.record.data()) == ObjectKind::SymbolArray && !waiting.marked) {
                // Breaking an array apart appends its element calls at the
                // end: they come back as one marked entry.
                Step();
                waiting.marked = true;
                queue.push_back(waiting);
                continue;
            }
            Expand(waiting.record.data());
        }
        if (cyclesLeft) platform::ShowWarning(kCycleWarning);
        if (steps == 0) {
            platform::Progress().SetProgress(100);
            return false;
        }
        if (out.capacity - out.usedWords > out.growStep + 1) out.ShrinkBuffer();
        {
            UndoSnapshot snapshot(t);
            t.RemoveWordsAt(0, t.usedWords);
            // With no record left this forgets the old children without a walk.
            t.RebuildChildren();
            std::swap(t.objects, out.objects);
            std::swap(t.capacity, out.capacity);
            std::swap(t.usedWords, out.usedWords);
            std::swap(t.objectCount, out.objectCount);
        }
        for (std::int32_t offset : placements) t.AddChild(PlacementView(t.RecordAt(offset)).SymbolId());
        t.callCount = static_cast<std::int32_t>(placements.size());
        // The box of a call needs its symbol's box, which the walk of the
        // bounds brings up to date in its own order: calls left in the list
        // (missing symbols, cycles) take that walk.
        if (placements.empty()) {
            t.SetBoundsFromUnion(box, anyRecord);
        } else {
            t.RecomputeBounds();
        }
        if (everything) {
            // What UpdateSelection finds in a list without a selected record.
            t.selectedCount = 0;
            t.selectedWords = 0;
            t.SelectSingle(nullptr);
        } else {
            t.UpdateSelection();
        }
        platform::Progress().SetProgress(100);
        return everything;
    }

private:
    struct Key {
        std::int32_t id;
        double scaleX, scaleY, angle;
        bool operator<(const Key& o) const {
            return std::tie(id, scaleX, scaleY, angle) < std::tie(o.id, o.scaleX, o.scaleY, o.angle);
        }
    };

    // A call or an array waiting to be broken apart (moved into place).
    struct Waiting {
        std::array<Word, kSymbolArrayLength> record{};
        bool marked = false;  // an array whose turn to be broken apart came once
    };

    // One object as it goes to the output: a record with its members.
    struct Unit {
        std::int32_t offset;
        bool movesMembers;  // a head that is no member moves its members along
    };

    // What a list of records hands over, ready to be copied for each call.
    struct Prepared {
        std::vector<Word> words;  // the output records back to back, unmoved
        std::vector<Unit> units;
        std::int32_t records = 0;
        std::vector<std::int32_t> placements;  // offsets in `words` of calls and arrays kept as they are
        std::vector<std::array<Word, kSymbolArrayLength>> waiting;  // calls and arrays to break apart, unmoved
        int groups = 0;                                             // groups dissolved, one step each
        bool damaged = false;                                       // a record that does not fit ended the list
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

    // Sorts the records [begin, end) out: plain objects to the output, calls
    // and arrays to break apart to the queue, groups to break apart dissolved
    // in place.  Records of an expansion are all to be flattened; those of
    // the symbol itself when they are selected (or when flattening
    // everything).  An object to the output is selected when it was to be
    // flattened and only the selection is.
    Prepared Prepare(const Word* begin, const Word* end, bool expansion) {
        Prepared p;
        // Only group heads and calls drop out.
        p.words.reserve(static_cast<std::size_t>(end - begin));
        std::vector<int> open;  // direct members still to come of the groups being dissolved
        for (const Word* r = begin; r && r < end;) {
            if (!Fits(r, end)) {
                p.damaged = expansion;
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
                ++p.groups;
                r += RecordLength(r);
                continue;
            }
            const Word* next = UnitEnd(r, end);
            if (marked && IsCallKind(kind) && Breakable(r)) {
                std::array<Word, kSymbolArrayLength>& record = p.waiting.emplace_back();
                const int length = std::min<int>(RecordLength(r), kSymbolArrayLength);
                std::memcpy(record.data(), r, static_cast<std::size_t>(length) * sizeof(Word));
            } else {
                const std::size_t first = p.words.size();
                p.words.insert(p.words.end(), r, next);
                for (std::size_t at = first; at < p.words.size(); at += RecordLength(&p.words[at])) {
                    Word* copy = &p.words[at];
                    SetFlattenMark(copy, false);
                    SetSelectedBit(copy, false);
                    if (IsCallKind(RecordKind(copy))) p.placements.push_back(static_cast<std::int32_t>(at));
                    ++p.records;
                }
                Word* head = &p.words[first];
                if (dissolved) SetMemberBit(head, false);
                SetSelectedBit(head, marked && !everything);
                p.units.push_back({static_cast<std::int32_t>(first), IsHead(head) && !IsMember(head)});
            }
            r = next;
        }
        return p;
    }

    // The number of output words that placing p leads to, its own and those
    // of everything broken apart out of it; -1 for a hierarchy deeper than
    // is worth counting this way.
    std::int64_t WordsOf(const Prepared& p, int depth) {
        if (depth > kDeepestCount) return -1;
        // Preparing a called symbol may drop the prepared contents that p
        // belongs to.
        const std::vector<std::array<Word, kSymbolArrayLength>> waiting = p.waiting;
        std::int64_t n = static_cast<std::int64_t>(p.words.size());
        for (const std::array<Word, kSymbolArrayLength>& record : waiting) {
            const Word* r = record.data();
            const SymbolDescription* s = layout->FindSymbol(PlacementView(r).SymbolId());
            std::int64_t inner = 0;
            if (RecordKind(r) == ObjectKind::SymbolCall) {
                inner = WordsOfCall(*s, CallView(r).Matrix(), depth);
            } else {
                // Every element has the same linear part.
                const ArrayView array(r);
                if (array.Magnification() != 0 && array.Columns() > 0 && array.Rows() > 0) {
                    inner = WordsOfCall(*s, array.Element(0, 0), depth);
                    if (inner > 0) inner *= std::int64_t{array.Columns()} * array.Rows();
                }
            }
            if (inner < 0) return -1;
            n = std::min(n + inner, kCountLimit);
        }
        return n;
    }
    std::int64_t WordsOfCall(const SymbolDescription& s, const TransformMatrix& m, int depth) {
        const DecomposedTransform d = DecomposeTransform(m);
        const Key key{s.Id(), d.scaleX, d.scaleY, d.angle};
        auto it = callWords.find(key);
        if (it != callWords.end()) return it->second;
        const std::int64_t n = WordsOf(Contents(s, d), depth + 1);
        callWords.emplace(key, n);
        return n;
    }

    // Room for n more words at the end of the output; it grows by doubling
    // when it was not counted beforehand.
    Word* OutputRoom(std::size_t n) {
        const std::int64_t words = static_cast<std::int64_t>(n);
        if (out.objects == nullptr || out.usedWords + words + 1 > out.capacity) {
            if (!out.ReserveWords(std::max<std::int64_t>(words, out.usedWords)) && !out.ReserveWords(words)) {
                throw std::bad_alloc();
            }
        }
        return out.objects + out.usedWords;
    }

    // Hands over what p prepared, moved by (dx, dy).
    void Place(const Prepared& p, std::int32_t dx, std::int32_t dy) {
        for (int k = 0; k < p.groups; ++k) Step();
        if (!p.words.empty()) {
            Word* block = OutputRoom(p.words.size());
            std::memcpy(block, p.words.data(), p.words.size() * sizeof(Word));
            const bool move = dx != 0 || dy != 0;
            const Word* blockEnd = block + p.words.size();
            for (std::size_t u = 0; u < p.units.size(); ++u) {
                Word* head = block + p.units[u].offset;
                const Word* unitEnd = u + 1 < p.units.size() ? block + p.units[u + 1].offset : blockEnd;
                for (Word* r = head; r < unitEnd; r += RecordLength(r)) {
                    if (move && (r == head || p.units[u].movesMembers)) MoveRecordWords(r, dx, dy);
                    if (IsCallKind(RecordKind(r))) continue;
                    const Rect b = IsHead(r) ? Rect{r[1], r[2], r[1], r[2]} : ObjectBounds(r, layout);
                    if (!anyRecord) {
                        box = b;
                        anyRecord = true;
                    } else {
                        Join(box, b);
                    }
                }
            }
            for (std::int32_t offset : p.placements) placements.push_back(out.usedWords + offset);
            out.usedWords += static_cast<std::int32_t>(p.words.size());
            out.objects[out.usedWords] = 0;
            out.objectCount += p.records;
        }
        for (const std::array<Word, kSymbolArrayLength>& record : p.waiting) {
            Waiting& waiting = queue.emplace_back();
            waiting.record = record;
            if (dx != 0 || dy != 0) MoveRecordWords(waiting.record.data(), dx, dy);
        }
        if (p.damaged) platform::ShowError(kInvalidElements);
    }

    // The objects of a symbol scaled and rotated as the decomposed matrix
    // says, as they would be appended by breaking apart a call, prepared.
    const Prepared& Contents(const SymbolDescription& s, const DecomposedTransform& d) {
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
        if (!scratch.ReserveWords(s.usedWords)) throw std::bad_alloc();
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
        contentWords += scratch.usedWords;
        return contents.emplace(key, Prepare(scratch.Words(), EndOf(scratch), true)).first->second;
    }

    void ExpandCall(const SymbolDescription& s, const TransformMatrix& m) {
        Step();
        const DecomposedTransform d = DecomposeTransform(m);
        Place(Contents(s, d), Truncated(d.tx), Truncated(d.ty));
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
    SymbolDescription out;                 // the flattened list, swapped into t at the end
    SymbolDescription scratch;             // where a symbol's objects are scaled and rotated
    std::deque<Waiting> queue;             // calls and arrays waiting to be broken apart
    std::vector<std::int32_t> placements;  // offsets in `out` of the calls and arrays kept
    Rect box;                              // the union of the boxes of the other records
    bool anyRecord = false;
    std::map<Key, Prepared> contents;
    std::map<Key, std::int64_t> callWords;  // what WordsOfCall found
    std::int64_t contentWords = 0;
    std::unordered_map<std::int32_t, bool> cyclic;
    std::unordered_map<const SymbolDescription*, double> symbolSteps;
    bool cyclesLeft = false;
    double steps = 0, total = 0;
    int lastPercent = -1;
};

// True when everything was flattened, and the selection state is then up to
// date.
bool Flatten(SymbolDescription& t, bool everything) {
    try {
        return Flattener(t, everything).Run();
    } catch (const std::bad_alloc&) {
        platform::ShowError("Not enough memory to flatten the objects.");
        platform::Progress().SetProgress(100);
    }
    return false;
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
    if (!Flatten(t, true)) t.UpdateSelection();
    return true;
}

}  // namespace zandor
