// Randomised check of the editing operations against the undo list: seeded
// sequences of operations on random selections (every object kind, nested
// groups, texts, calls and arrays, leave-original on and off) are undone one
// by one, each giving back every symbol's buffer word for word as it was
// before its step, and then redone, each giving back the buffers as they were
// after it.  The selection is not part of a step, so the selected bits are
// left out of the comparison.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "editing/GrowShrink.h"
#include "editing/HierarchyEdits.h"
#include "editing/SelectionBoolean.h"
#include "editing/SelectionEdits.h"
#include "model/Layout.h"
#include "model/ObjectRecord.h"
#include "model/SymbolDescription.h"
#include "model/UndoList.h"
#include "platform/headless/RecordingMessages.h"

namespace zandor {
namespace {

using platform::headless::ScopedMessageCapture;

// Every symbol's buffer with the selected bits cleared, keyed by id.
struct LayoutState {
    std::vector<std::int32_t> ids;
    std::vector<std::vector<Word>> buffers;
};

std::vector<Word> Canonical(const SymbolDescription& s) {
    std::vector<Word> words;
    if (!s.Words()) return {0};
    words.assign(s.Words(), s.Words() + s.usedWords + 1);
    for (std::int32_t offset = 0; offset < s.usedWords && words[offset] != 0;
         offset += RecordLength(words.data() + offset)) {
        SetSelectedBit(words.data() + offset, false);
    }
    return words;
}

// The cached extents of calls and arrays are brought up to date lazily, from
// whatever reads them, outside any undo step; they are refreshed here first
// so that only real changes count.
LayoutState Take(Layout& layout) {
    for (const auto& s : layout.Symbols()) {
        for (Word* r = s->FirstRecord(); r; r = s->NextRecord(r)) {
            if (IsCallKind(RecordKind(r))) ObjectBounds(r, &layout);
        }
    }
    LayoutState state;
    for (const auto& s : layout.Symbols()) {
        state.ids.push_back(s->Id());
        state.buffers.push_back(Canonical(*s));
    }
    return state;
}

// Symbols created by a step (none of the operations here creates one) would
// show up as extra ids; buffers are compared symbol by symbol.
::testing::AssertionResult Same(const LayoutState& expected, const LayoutState& actual) {
    if (expected.ids != actual.ids) return ::testing::AssertionFailure() << "the symbols differ";
    for (std::size_t k = 0; k < expected.ids.size(); ++k) {
        const auto& e = expected.buffers[k];
        const auto& a = actual.buffers[k];
        if (e == a) continue;
        std::size_t i = 0;
        while (i < e.size() && i < a.size() && e[i] == a[i]) ++i;
        // The record holding the first difference, for the message.
        std::size_t head = 0;
        while (head + RecordLength(e.data() + head) <= i && e[head] != 0) head += RecordLength(e.data() + head);
        return ::testing::AssertionFailure()
               << "symbol " << expected.ids[k] << ": " << a.size() << " words (expected " << e.size()
               << "), first difference at word " << i << ", word " << i - head << " of a "
               << KindLabel(RecordKind(e.data() + head)) << " (" << a[i] << " instead of " << e[i] << ")";
    }
    return ::testing::AssertionSuccess();
}

LOGFONTA TestFont() {
    LOGFONTA font;
    font.lfHeight = -12;
    font.lfWeight = 400;
    font.lfFaceName[0] = 'S';
    font.lfFaceName[1] = 'a';
    font.lfFaceName[2] = 'n';
    font.lfFaceName[3] = 's';
    return font;
}

class EditScenario {
public:
    explicit EditScenario(std::uint32_t seed) : rng(seed), main(layout.MainSymbol()) {
        SymbolDescription* a = layout.AddSymbol(1, "cellA");
        a->AddRectangle(0, 0, 4000, 2000, 1);
        a->AddCircle(1000, 1000, 500, 2);
        const Point wire[] = {{0, 0}, {3000, 0}, {3000, 3000}};
        a->AddWire(wire, 3, 200, 0, 3);
        SymbolDescription* b = layout.AddSymbol(2, "cellB");
        const Point poly[] = {{-500, -500}, {500, -500}, {0, 800}};
        b->AddPolygon(poly, 3, 4);
        b->InsertSymbolCall(1, 10000, 0);
        SymbolDescription* c = layout.AddSymbol(3, "cellC");
        c->AddRectangle(-100, -100, 100, 100, 5);
        c->InsertArray(1, {0, 0}, {20000, 0}, {0, 12000}, 3, 2, 1.0, 0.0);
        for (int layer = 0; layer <= 8; ++layer) {
            layout.SetLayer(std::make_unique<LayerDescription>(layer, "L" + std::to_string(layer)));
        }
        for (int k = 0; k < 30; ++k) AddObject();
        for (const auto& s : layout.Symbols()) {
            s->undo->SetRecording(true);
            s->undo->Clear();
        }
    }

    Layout& Document() { return layout; }
    SymbolDescription& Main() { return *main; }

    int Uniform(int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<std::uint32_t>(hi - lo + 1)); }
    bool Chance(int percent) { return Uniform(0, 99) < percent; }
    std::int32_t Coord() { return Uniform(-100000, 100000) / 10 * 10; }
    int LayerIndex() { return Uniform(1, 8); }

    void AddObject() {
        const Point p{Coord(), Coord()};
        switch (Uniform(0, 12)) {
            case 0:
                main->AddRectangle(p.X, p.Y, p.X + Uniform(10, 20000), p.Y + Uniform(10, 20000), LayerIndex());
                break;
            case 1:
                main->AddBox(p.X, p.Y, Uniform(100, 20000), Uniform(100, 20000), Uniform(-8, 8) * 22.5, LayerIndex());
                break;
            case 2: {
                const Point poly[] = {p, {p.X + 9000, p.Y}, {p.X + 9000, p.Y + 4000}, {p.X + 3000, p.Y + 7000}};
                main->AddPolygon(poly, 4, LayerIndex());
                break;
            }
            case 3: {
                const Point nodes[] = {p, {p.X + Uniform(-9000, 9000), p.Y}, {p.X + 5000, p.Y + Uniform(-9000, 9000)}};
                main->AddWire(nodes, 3, Uniform(0, 3) * 400, Uniform(0, 2), LayerIndex());
                break;
            }
            case 4: main->AddCircle(p.X, p.Y, Uniform(100, 9000), LayerIndex()); break;
            case 5: main->AddRing(p.X, p.Y, Uniform(2000, 9000), Uniform(100, 1500), LayerIndex()); break;
            case 6:
                main->AddArcWire(p.X, p.Y, p.X + 5000, p.Y, p.X, p.Y + Uniform(1000, 8000),
                                 MakeArcWidthWord(Uniform(100, 900), Uniform(0, 2), Chance(50)), LayerIndex());
                break;
            case 7: {
                main->AddText(p.X, p.Y, 3, "ABC", 1000, TestFont(), LayerIndex());
                for (int k = 0; k < 3; ++k) {
                    const Point glyph[] = {
                        {p.X + k * 800, p.Y}, {p.X + k * 800 + 600, p.Y}, {p.X + k * 800, p.Y + 900}};
                    SetMemberBit(main->AddPolygon(glyph, 3, LayerIndex()), true);
                }
                break;
            }
            case 8: {
                // A group holding a rectangle and a nested group of a circle and a wire.
                main->AddGroup(p.X, p.Y, 5, 2);
                SetMemberBit(main->AddRectangle(p.X, p.Y, p.X + 3000, p.Y + 2000, LayerIndex()), true);
                SetMemberBit(main->AddGroup(p.X + 4000, p.Y, 2, 2), true);
                SetMemberBit(main->AddCircle(p.X + 5000, p.Y + 1000, 800, LayerIndex()), true);
                const Point nodes[] = {{p.X + 4000, p.Y}, {p.X + 7000, p.Y + 3000}};
                SetMemberBit(main->AddWire(nodes, 2, 300, 1, LayerIndex()), true);
                break;
            }
            case 9: main->InsertSymbolCall(Uniform(1, 3), p.X, p.Y); break;
            case 10: {
                const double t = Uniform(0, 3) * 90.0 * 3.14159265358979323846 / 180.0;
                const double my = Chance(50) ? -1 : 1;
                main->InsertSymbolCallMatrix(Uniform(1, 3), {std::cos(t), std::sin(t), -my * std::sin(t),
                                                             my * std::cos(t), double(p.X), double(p.Y)});
                break;
            }
            case 11:
                main->InsertArray(Uniform(1, 3), p, {p.X + 30000, p.Y}, {p.X, p.Y + 20000}, Uniform(1, 3),
                                  Uniform(1, 3), 1.0, Uniform(0, 3) * 90.0);
                break;
            default: {
                const Point nodes[] = {p, {p.X + 4000, p.Y}};
                main->AddWire(nodes, 2, 0, 0, LayerIndex());
                break;
            }
        }
    }

    // A random selection of top-level objects, at least one when there is any.
    void SelectSome(int percent) {
        main->DeselectAll();
        Word* first = nullptr;
        for (Word* r = main->FirstRecord(); r; r = main->NextRecord(r)) {
            if (IsMember(r)) continue;
            if (!first) first = r;
            if (Chance(percent)) main->SetSelected(r);
        }
        if (main->selectedCount == 0 && first) main->SetSelected(first);
        main->UpdateSelection();
    }

    Word* SelectOneOf(bool (*wanted)(const Word*)) {
        main->DeselectAll();
        std::vector<std::int32_t> offsets;
        for (Word* r = main->FirstRecord(); r; r = main->NextRecord(r)) {
            if (!IsMember(r) && wanted(r)) offsets.push_back(main->OffsetOf(r));
        }
        if (offsets.empty()) return nullptr;
        Word* r = main->RecordAt(offsets[static_cast<std::size_t>(Uniform(0, int(offsets.size()) - 1))]);
        main->SetSelected(r);
        main->UpdateSelection();
        return r;
    }

    // Selects, then records the state in `before` (selecting brings cached
    // extents of calls up to date, which is no part of the step), then edits.
    std::string Step(LayoutState& before) {
        // Keep the layout from growing without bound.
        if (main->objectCount > 400) {
            SelectSome(60);
            before = Take(layout);
            main->undo->BeginStep();
            DeleteSelection(*main);
            return "delete (trim)";
        }
        SelectSome(Uniform(5, 40));
        const bool leave = Chance(30);
        const double cx = Coord(), cy = Coord();
        const int operation = Uniform(0, 17);
        if (operation == 6) {
            SelectOneOf([](const Word* r) {
                return RecordKind(r) == ObjectKind::Ring || RecordKind(r) == ObjectKind::ArcWire;
            });
        } else if (operation == 12 || operation == 13) {
            SelectOneOf([](const Word* r) {
                const ObjectKind kind = RecordKind(r);
                return kind == ObjectKind::Group || kind == ObjectKind::SymbolCall || kind == ObjectKind::SymbolArray;
            });
        }
        before = Take(layout);
        main->undo->BeginStep();
        switch (operation) {
            case 0: MoveSelection(*main, Coord(), Coord(), leave); return leave ? "move leaving the original" : "move";
            case 1: {
                static constexpr double kAngles[] = {90, -90, 180, 30, 45, -135};
                const double angle = kAngles[Uniform(0, 5)];
                RotateSelection(*main, cx, cy, angle, leave);
                return "rotate " + std::to_string(angle) + (leave ? " leaving the original" : "");
            }
            case 2: {
                static constexpr double kFactors[][2] = {{2, 2}, {-1, 1}, {1, -1}, {0.5, 0.5}, {2, 1}, {-1.5, 1.5}};
                const int k = Uniform(0, 5);
                ScaleSelection(*main, cx, cy, kFactors[k][0], kFactors[k][1], leave);
                return "scale " + std::to_string(k) + (leave ? " leaving the original" : "");
            }
            case 3: DuplicateSelection(*main, Uniform(1, 2), Uniform(1, 3), 7000, 9000, Chance(50)); return "duplicate";
            case 4: DeleteSelection(*main); return "delete";
            case 5: SetSelectionLayer(*main, LayerIndex()); return "layer";
            case 6: ConvertIntoWire(*main); return "into wire";
            case 7: ConnectWires(*main, 5000); return "connect";
            case 8: {
                const std::int32_t amount = Uniform(-600, 900);
                const bool round = Chance(50);
                GrowShrinkSelection(*main, amount, leave, round);
                return "grow " + std::to_string(amount) + (round ? " round" : "");
            }
            case 9:
            case 10: {
                static constexpr SelectionBooleanOp kOps[] = {
                    SelectionBooleanOp::Merge,  SelectionBooleanOp::Intersect,
                    SelectionBooleanOp::Xor,    SelectionBooleanOp::Subtract,
                    SelectionBooleanOp::Invert, SelectionBooleanOp::ConvertIntoPolygons};
                const int k = Uniform(0, 5);
                if (main->selectedCount < 2 && k < 4) return "boolean skipped";
                RunSelectionBoolean(layout, *main, kOps[k], 1000);
                return "boolean " + std::to_string(k);
            }
            case 11:
                if (main->selectedCount < 2) return "group skipped";
                GroupSelection(*main);
                return "group";
            case 12:
            case 13: BreakApartSelection(*main); return "break apart";
            case 14: FlattenSelection(*main); return "flatten selection";
            case 15: CenterAtOrigin(*main); return "centre";
            case 16: CopySelectionInPlace(*main); return "copy in place";
            default:
                for (int k = Uniform(1, 4); k > 0; --k) AddObject();
                return "add";
        }
    }

private:
    std::mt19937 rng;
    Layout layout;
    SymbolDescription* main;
};

class EditSequence : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(EditSequence, UndoRestoresAndRedoReplaysEveryStep) {
    const std::uint32_t seed = GetParam();
    SCOPED_TRACE("seed " + std::to_string(seed));
    ScopedMessageCapture messages;
    EditScenario scenario(seed);
    Layout& layout = scenario.Document();
    SymbolDescription& main = scenario.Main();
    std::vector<LayoutState> before, after;
    std::vector<std::string> what;
    const int steps = 120;
    for (int k = 0; k < steps; ++k) {
        before.emplace_back();
        what.push_back(scenario.Step(before.back()));
        main.RebuildChildren();
        after.push_back(Take(layout));
    }
    for (int k = steps - 1; k >= 0; --k) {
        layout.Undo();
        ASSERT_TRUE(Same(before[std::size_t(k)], Take(layout))) << "undoing step " << k << ": " << what[std::size_t(k)];
    }
    EXPECT_FALSE(layout.CanUndo());
    for (int k = 0; k < steps; ++k) {
        ASSERT_TRUE(layout.CanRedo()) << "step " << k;
        layout.Redo();
        ASSERT_TRUE(Same(after[std::size_t(k)], Take(layout))) << "redoing step " << k << ": " << what[std::size_t(k)];
    }
    EXPECT_FALSE(layout.CanRedo());
}

INSTANTIATE_TEST_SUITE_P(Seeds, EditSequence, ::testing::Values(1u, 2u, 3u, 77u, 4242u, 20261210u),
                         [](const auto& info) { return "seed" + std::to_string(info.param); });

TEST(ScratchDebug, Seed1Step64) {
    ScopedMessageCapture messages;
    EditScenario scenario(1);
    Layout& layout = scenario.Document();
    SymbolDescription& main = scenario.Main();
    LayoutState before;
    for (int k = 0; k < 64; ++k) scenario.Step(before);
    std::string what = scenario.Step(before);
    int sel = 0, kinds[16] = {};
    for (Word* r = main.FirstRecord(); r; r = main.NextRecord(r)) {
        ++kinds[int(RecordKind(r))];
    }
    std::printf("%s: %d words, entries %d objects %d\n", what.c_str(), main.usedWords, main.undo->EntryCount(), main.objectCount);
    for (int k = 0; k < 14; ++k) std::printf("kind %d: %d\n", k, kinds[k]);
    (void)sel;
    layout.Undo();
    const LayoutState after = Take(layout);
    EXPECT_TRUE(Same(before, after));
    const auto& a = after.buffers[0];
    const auto& e = before.buffers[0];
    for (std::size_t o = e.size() - 1; o + 1 < a.size(); o += RecordLength(a.data() + o))
        std::printf("extra %s at %zu sel %d member %d\n", std::string(KindLabel(RecordKind(a.data() + o))).c_str(), o, 0, IsMember(a.data() + o));
}
}  // namespace
}  // namespace zandor
