#include "editing/SelectionBoolean.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "editing/ObjectPolygons.h"
#include "geometry/Bool_Engine.h"
#include "model/ModelSettings.h"
#include "model/UndoList.h"
#include "platform/Messages.h"

namespace zandor {

namespace {

// Up to this many selected objects are deleted one by one, each with its own
// undo entry; more are dropped in one pass over the buffer under a snapshot,
// so that neither the deletion nor its undo turns quadratic.
constexpr int kSingleDeletions = 64;

BooleanOperation EngineOperation(SelectionBooleanOp op) {
    switch (op) {
        case SelectionBooleanOp::Intersect: return OpAnd;
        case SelectionBooleanOp::Xor:
        case SelectionBooleanOp::Invert: return OpExor;
        case SelectionBooleanOp::Subtract: return OpAMinusB;
        default: return OpOr;
    }
}

const char* ErrorText(SelectionBooleanOp op) {
    switch (op) {
        case SelectionBooleanOp::Intersect: return "Unexpected error during Intersect operation";
        case SelectionBooleanOp::Xor: return "Unexpected error during XOR operation";
        case SelectionBooleanOp::Subtract: return "Unexpected error during Subtract operation";
        case SelectionBooleanOp::Invert: return "Unexpected error during Invert operation";
        default: return "Unexpected error during Merge operation";
    }
}

// Reports deletion progress only when the percentage changes.
class DeletionProgress {
public:
    explicit DeletionProgress(int total) : total(std::max(total, 1)) {}
    void Deleted() {
        const int percent = static_cast<int>(std::int64_t{++count} * 100 / total);
        if (percent != last) platform::Progress().SetProgress(last = std::min(percent, 99));
    }

private:
    int total;
    int count = 0;
    int last = -1;
};

void DeleteSelectedOneByOne(SymbolDescription& symbol, DeletionProgress& progress) {
    for (Word* r = symbol.FirstRecord(); r;) {
        if (IsSelected(r)) {
            r = symbol.DeleteRecord(r);
            progress.Deleted();
        } else {
            r = symbol.NextObject(r);
        }
    }
}

// One pass: the words of every record that stays are copied in order, then
// replace the buffer.  The caller holds an UndoSnapshot.
void DeleteSelectedInOnePass(SymbolDescription& symbol, DeletionProgress& progress) {
    std::vector<Word> kept;
    kept.reserve(static_cast<std::size_t>(symbol.usedWords));
    std::int32_t removedRecords = 0;
    for (Word* r = symbol.FirstRecord(); r;) {
        Word* next = symbol.NextObject(r);
        const Word* end = next ? next : symbol.Words() + symbol.usedWords;
        if (IsSelected(r)) {
            for (const Word* m = r; m < end; m += RecordLength(m)) ++removedRecords;
            progress.Deleted();
        } else {
            kept.insert(kept.end(), static_cast<const Word*>(r), end);
        }
        r = next;
    }
    symbol.RemoveWordsAt(0, symbol.usedWords);
    if (!kept.empty()) symbol.InsertWordsAt(0, kept.data(), static_cast<int>(kept.size()));
    symbol.objectCount -= removedRecords;
    symbol.selectedCount = 0;
}

int ResultLayer(const Layout& layout, int layer) {
    if (layout.Layer(layer)) return layer;
    for (int i = 0; i < 256; ++i) {
        if (layout.Layer(i)) return i;
    }
    return layer;
}

}  // namespace

bool RunSelectionBoolean(Layout& layout, SymbolDescription& symbol, SelectionBooleanOp op, std::int32_t border) {
    std::vector<Word*> selected;
    for (Word* r = symbol.FirstSelected(); r; r = symbol.NextSelected(r)) selected.push_back(r);
    const bool single = op == SelectionBooleanOp::Invert || op == SelectionBooleanOp::ConvertIntoPolygons;
    if (selected.size() < (single ? 1u : 2u)) return false;
    Word* current = symbol.CurrentObject();
    if (!current || !IsSelected(current)) current = selected.front();

    std::optional<Rect> frame;
    if (op == SelectionBooleanOp::Invert) {
        Rect box = ObjectBounds(selected.front(), &layout);
        for (Word* r : selected) {
            const Rect b = ObjectBounds(r, &layout);
            box = {std::min(box.minx, b.minx), std::min(box.miny, b.miny), std::max(box.maxx, b.maxx),
                   std::max(box.maxy, b.maxy)};
        }
        const std::int64_t grown[4] = {std::int64_t{box.minx} - border, std::int64_t{box.miny} - border,
                                       std::int64_t{box.maxx} + border, std::int64_t{box.maxy} + border};
        for (const std::int64_t v : grown) {
            if (v != SaturateToInt32(v)) {
                platform::ShowError("The result would lie outside the coordinate range.");
                return false;
            }
        }
        frame = Rect{SaturateToInt32(grown[0]), SaturateToInt32(grown[1]), SaturateToInt32(grown[2]),
                     SaturateToInt32(grown[3])};
    }

    platform::Progress().SetProgress(0);
    // The result is read in full before anything is deleted, so that an
    // engine failure at any stage leaves the selection as it was.
    std::vector<std::vector<Point>> polygons;
    try {
        Bool_Engine engine;
        ConfigureBooleanEngine(engine, Settings().polygonGrid);
        const TransformMatrix identity;
        if (frame) {
            engine.BeginContour(GroupA);
            engine.AddVertex(frame->minx, frame->miny);
            engine.AddVertex(frame->maxx, frame->miny);
            engine.AddVertex(frame->maxx, frame->maxy);
            engine.AddVertex(frame->minx, frame->maxy);
            engine.EndContour();
        } else {
            FeedObject(engine, layout, symbol, current, identity, GroupA);
        }
        for (Word* r : selected) {
            if (frame || r != current) FeedObject(engine, layout, symbol, r, identity, GroupB);
        }
        engine.Execute(EngineOperation(op));
        polygons = ReadResultPolygons(engine);
    } catch (const Bool_Engine_Error&) {
        platform::ShowError(ErrorText(op));
        platform::Progress().SetProgress(100);
        return false;
    }

    const int layer = ResultLayer(layout, RecordLayer(current));
    const int count = static_cast<int>(selected.size());
    selected.clear();  // the records move from here on
    DeletionProgress progress(count);
    if (count <= kSingleDeletions) {
        DeleteSelectedOneByOne(symbol, progress);
        AppendPolygons(symbol, polygons, layer, false);
    } else {
        UndoSnapshot snapshot(symbol);
        DeleteSelectedInOnePass(symbol, progress);
        AppendPolygons(symbol, polygons, layer, false);
    }
    symbol.RebuildChildren();
    symbol.boundsValid = false;
    symbol.EnsureBounds();
    symbol.SetCurrentObject(nullptr);
    symbol.UpdateSelection();
    platform::Progress().SetProgress(100);
    return true;
}

}  // namespace zandor
