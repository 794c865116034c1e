#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

#include "editing/EditPrompts.h"
#include "editing/HierarchyEdits.h"
#include "editing/ObjectPolygons.h"
#include "geometry/Bool_Engine.h"
#include "geometry/PolygonArea.h"
#include "model/HierarchyWalker.h"
#include "model/Layout.h"
#include "model/RecordViews.h"
#include "model/UndoList.h"
#include "platform/headless/RecordingMessages.h"

using namespace zandor;
using platform::headless::ScopedMessageCapture;

namespace {

constexpr const char* kRecursion = "Cannot insert a parent symbol into one of it's child symbols!";

using Buffers = std::map<std::int32_t, std::vector<Word>>;

// Every symbol's record buffer, by id.
Buffers BuffersOf(const Layout& layout) {
    Buffers buffers;
    for (const auto& s : layout.Symbols()) {
        buffers[s->Id()] = s->Words() ? std::vector<Word>(s->Words(), s->Words() + s->usedWords) : std::vector<Word>{};
    }
    return buffers;
}

void RecordEverything(Layout& layout) {
    for (const auto& s : layout.Symbols()) s->Undo().SetRecording(true);
}

// Selects the top-level records for which pick says so.
template <typename Pick>
void SelectWhere(SymbolDescription& s, Pick pick) {
    s.DeselectAll();
    for (Word* r = s.FirstRecord(); r; r = s.NextRecord(r)) {
        if (!IsMember(r) && pick(r)) s.SetSelected(r);
    }
    s.UpdateSelection();
}

void SelectKind(SymbolDescription& s, ObjectKind kind) {
    SelectWhere(s, [&](const Word* r) { return RecordKind(r) == kind; });
}

Word* AddMemberPolygon(SymbolDescription& s, std::vector<Point> points, int layer) {
    Word* r = s.AddPolygon(points.data(), static_cast<int>(points.size()), layer);
    SetMemberBit(r, true);
    return r;
}

// Feeds the plain objects of a symbol on one layer, through every call and
// array, into the engine as one group.
struct LayerFeeder : WalkVisitor {
    LayerFeeder(Bool_Engine& engine, const Layout& layout, int layer, GroupType group)
        : engine(engine), layout(layout), layer(layer), group(group) {}
    void Object(const Word* r, const TransformMatrix& m, int) {
        if (IsHead(r) || RecordLayer(r) != layer) return;
        // FeedObject wants the symbol only for heads' members, which come here one by one.
        FeedObject(engine, layout, *layout.MainSymbol(), r, m, group);
    }
    Bool_Engine& engine;
    const Layout& layout;
    int layer;
    GroupType group;
};

// The area, in square micrometres, that the drawings of a and b do not share,
// summed over the layers: 0 when both draw the same.
double XorArea(const Layout& la, const SymbolDescription& a, const Layout& lb, const SymbolDescription& b) {
    double area = 0;
    for (int layer = 0; layer < 8; ++layer) {
        Bool_Engine engine;
        ConfigureBooleanEngine(engine, 1);
        LayerFeeder feedA(engine, la, layer, GroupA), feedB(engine, lb, layer, GroupB);
        HierarchyWalker(la).Walk(a, TransformMatrix{}, feedA);
        HierarchyWalker(lb).Walk(b, TransformMatrix{}, feedB);
        engine.Execute(OpExor);
        area += ResultContoursAreaUm2(engine);
    }
    return area;
}

// Whether any record of the symbol is a call, an array or a group.
bool HoldsContainers(const SymbolDescription& s) {
    for (const Word* r = s.FirstRecord(); r; r = s.NextRecord(r)) {
        const ObjectKind k = RecordKind(r);
        if (IsCallKind(k) || k == ObjectKind::Group) return true;
    }
    return false;
}

// A hierarchy with every kind of container: the main symbol holds a
// rectangle, a text with two glyphs, a group holding a rectangle and a
// quarter-turned call of "cell", a mirrored call of "leaf" and an array of
// "leaf" whose elements are turned and mirrored; "cell" holds a polygon and a
// doubled call of "leaf"; "leaf" a rectangle, a circle and a wire on two layers.
void BuildHierarchy(Layout& layout) {
    SymbolDescription& top = *layout.MainSymbol();
    SymbolDescription& cell = *layout.AddSymbol(1, "cell");
    SymbolDescription& leaf = *layout.AddSymbol(2, "leaf");
    leaf.AddRectangle(0, 0, 1000, 500, 1);
    leaf.AddCircle(300, 300, 200, 2);
    const Point wire[] = {{0, 0}, {0, 800}, {600, 800}};
    leaf.AddWire(wire, 3, 100, 1, 2);
    const Point triangle[] = {{0, 0}, {2000, 0}, {0, 1500}};
    cell.AddPolygon(triangle, 3, 1);
    cell.InsertSymbolCallMatrix(2, {2, 0, 0, 2, 3000, 100});

    top.AddRectangle(-5000, -5000, -4000, -3000, 1);
    top.AddText(-6000, 0, 2, "ab", 100, {}, 2);
    AddMemberPolygon(top, {{-6000, 0}, {-5900, 0}, {-5900, 100}}, 2);
    AddMemberPolygon(top, {{-5800, 0}, {-5700, 0}, {-5700, 100}}, 2);
    top.AddGroup(7000, 7000, 2, 2);
    Word* r = top.AddRectangle(7000, 7000, 8000, 9000, 2);
    SetMemberBit(r, true);
    Word* c = top.InsertSymbolCallMatrix(1, {0, 1, -1, 0, 10000, 0});
    SetMemberBit(c, true);
    top.InsertSymbolCallMatrix(2, {1, 0, 0, -1, -20000, 4000});
    top.InsertArray(2, {0, 20000}, {9000, 20000}, {0, 26000}, 3, 2, -1.0, 90.0);
    for (const auto& s : layout.Symbols()) s->RebuildChildren();
    // Cached extents of calls and arrays brought up to date, as drawing does.
    for (const auto& s : layout.Symbols()) s->RecomputeBounds();
}

// The loop flattening is defined by: select the first call, group or array
// of the list, break it apart, again until none is left.
void FlattenOneByOne(SymbolDescription& s) {
    for (;;) {
        s.DeselectAll();
        Word* found = nullptr;
        for (Word* r = s.FirstRecord(); r && !found; r = s.NextRecord(r)) {
            const ObjectKind k = RecordKind(r);
            if (!IsMember(r) && (IsCallKind(k) || k == ObjectKind::Group)) found = r;
        }
        if (!found) return;
        s.SetSelected(found);
        s.UpdateSelection();
        ASSERT_TRUE(BreakApartSelection(s));
    }
}

// A call written without the cycle check, as a damaged file may hold one.
void AppendRawCall(SymbolDescription& s, std::int32_t id, std::int32_t x, std::int32_t y) {
    Word* r = s.AppendRecord(kSymbolCallLength);
    std::memset(r, 0, sizeof(Word) * kSymbolCallLength);
    r[0] = MakeHeader(kSymbolCallLength, 0, ObjectKind::SymbolCall);
    CallView(r).SetSymbolId(id);
    CallView(r).SetMatrix({1, 0, 0, 1, double(x), double(y)});
    s.RebuildChildren();
}

std::vector<Word> WithoutSelection(const SymbolDescription& s) {
    std::vector<Word> words(s.Words(), s.Words() + s.usedWords);
    for (std::size_t at = 0; at < words.size(); at += RecordLength(&words[at])) SetSelectedBit(&words[at], false);
    return words;
}

// What a symbol keeps besides its records: children, box and selection state.
struct KeptState {
    std::vector<std::int32_t> children;
    std::int32_t callCount;
    Rect bounds;
    bool boundsValid;
    std::int32_t selectedCount, selectedWords, currentObject;
    bool frameShown;
    std::string statusText;
    bool operator==(const KeptState&) const = default;
};

KeptState KeptStateOf(const SymbolDescription& s) {
    return {s.Children(),    s.callCount,     s.Bounds(),        s.boundsValid, s.selectedCount,
            s.selectedWords, s.currentObject, s.view.frameShown, s.statusText};
}

// The same state as walking the records again gives it.
KeptState RewalkedState(SymbolDescription& s) {
    s.RebuildChildren();
    s.RecomputeBounds();
    s.UpdateSelection();
    return KeptStateOf(s);
}

// A symbol (id 3) whose objects the flattener has to move with their members
// and whose boxes do not simply follow a move: a text with two glyphs, a group
// of a rectangle and a one-glyph text, a turned box and an arc wire; the main
// symbol calls it moved, quarter-turned and mirrored.
void AddLabels(Layout& layout) {
    SymbolDescription& labels = *layout.AddSymbol(3, "labels");
    labels.AddText(0, 0, 2, "ab", 100, {}, 2);
    AddMemberPolygon(labels, {{0, 0}, {100, 0}, {100, 100}}, 2);
    AddMemberPolygon(labels, {{200, 0}, {300, 0}, {300, 100}}, 2);
    labels.AddGroup(500, 500, 3, 2);
    SetMemberBit(labels.AddRectangle(500, 500, 900, 700, 1), true);
    SetMemberBit(labels.AddText(600, 800, 1, "c", 100, {}, 1), true);
    AddMemberPolygon(labels, {{600, 800}, {650, 800}, {650, 850}}, 1);
    labels.AddBox(1299, 1205, 1001, 333, 30.0, 3);
    labels.AddArcWire(-2000, -2000, -1500, -2000, -2000, -1300, 80, 3);
    SymbolDescription& top = *layout.MainSymbol();
    top.InsertSymbolCallMatrix(3, {1, 0, 0, 1, 1233.0, -567.0});
    top.InsertSymbolCallMatrix(3, {0, 1, -1, 0, -7001.0, 3.0});
    top.InsertSymbolCallMatrix(3, {-1, 0, 0, 1, 4445.0, 9999.0});
    labels.RebuildChildren();
    top.RebuildChildren();
    labels.RecomputeBounds();
}

}  // namespace

// ---------------------------------------------------------------------------
// Placing calls

TEST(HierarchyEdits, DroppingASymbolIntoItselfOrIntoOneItCallsIsRefused) {
    Layout layout;
    BuildHierarchy(layout);
    SymbolDescription& cell = *layout.FindSymbol(1);
    SymbolDescription& leaf = *layout.FindSymbol(2);
    struct Case {
        SymbolDescription* target;
        const char* name;
    } cases[] = {{&cell, "cell"}, {&leaf, "cell"}, {&leaf, "leaf"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " into " + c.target->Name());
        const Buffers before = BuffersOf(layout);
        ScopedMessageCapture messages;
        EXPECT_EQ(PlaceDroppedSymbol(*c.target, nullptr, c.name, {5, 5}), nullptr);
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages[0].text, kRecursion);
        EXPECT_EQ(BuffersOf(layout), before);
    }

    ScopedMessageCapture messages;
    SymbolDescription& top = *layout.MainSymbol();
    SelectKind(top, ObjectKind::Rectangle);
    Word* call = PlaceDroppedSymbol(top, nullptr, "cell", {1234, -50});
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(CallView(call).SymbolId(), 1);
    EXPECT_EQ(CallView(call).Matrix(), (TransformMatrix{1, 0, 0, 1, 1234, -50}));
    EXPECT_EQ(top.selectedCount, 1);
    EXPECT_EQ(top.FirstSelected(), call) << "the new call alone is selected";
    EXPECT_TRUE(messages.messages.empty());
}

TEST(HierarchyEdits, LibrarySymbolReplacingADifferentDefinitionIsAskedAbout) {
    Layout library;
    SymbolDescription& part = *library.AddSymbol(1, "part");
    part.AddRectangle(0, 0, 10, 10, 1);
    Layout layout;
    SymbolDescription& top = *layout.MainSymbol();
    SymbolDescription& mine = *layout.AddSymbol(4, "part");
    mine.AddRectangle(0, 0, 20, 20, 1);
    RecordEverything(layout);

    {
        ScriptedPrompts prompts;
        prompts.replaceSymbols = {false};
        ScopedEditPrompts installed(prompts);
        const Buffers before = BuffersOf(layout);
        EXPECT_EQ(PlaceDroppedSymbol(top, &part, "", {0, 0}), nullptr);
        ASSERT_EQ(prompts.asked.size(), 1u);
        EXPECT_EQ(prompts.asked[0].kind, "replace");
        EXPECT_EQ(prompts.asked[0].text, "part");
        EXPECT_EQ(BuffersOf(layout), before) << "\"&No\" inserts nothing";
    }
    {
        ScriptedPrompts prompts;
        prompts.replaceSymbols = {true};
        ScopedEditPrompts installed(prompts);
        Word* call = PlaceDroppedSymbol(top, &part, "", {0, 0});
        ASSERT_NE(call, nullptr);
        EXPECT_EQ(CallView(call).SymbolId(), 4);
        EXPECT_TRUE(SymbolDescription::SameDefinition(mine, part));
    }
    {
        // The symbol being edited carries the library symbol's name.
        Layout other;
        SymbolDescription& editing = *other.AddSymbol(9, "part");
        editing.AddCircle(0, 0, 5, 1);
        ScriptedPrompts prompts;
        ScopedEditPrompts installed(prompts);
        ScopedMessageCapture messages;
        std::vector<std::string> names;
        EXPECT_FALSE(CheckReplace(part, other, 9, names));
        EXPECT_EQ(PlaceDroppedSymbol(editing, &part, "", {0, 0}), nullptr);
        ASSERT_FALSE(messages.messages.empty());
        EXPECT_EQ(messages.messages[0].text, "Cannot replace a parent symbol!");
        EXPECT_TRUE(prompts.asked.empty());
        EXPECT_EQ(editing.objectCount, 1);
    }
}

TEST(HierarchyEdits, CopyingAGroupAcrossLayoutsAsksAboutTheDefinitionsItsCallsBring) {
    Layout source;
    SymbolDescription& from = *source.MainSymbol();
    SymbolDescription& part = *source.AddSymbol(1, "part");
    part.AddRectangle(0, 0, 10, 10, 1);
    from.AddGroup(0, 0, 2, 2);
    SetMemberBit(from.AddRectangle(0, 0, 5, 5, 1), true);
    SetMemberBit(from.InsertSymbolCall(1, 100, 0), true);
    SelectKind(from, ObjectKind::Group);

    Layout target;
    SymbolDescription& to = *target.MainSymbol();
    target.AddSymbol(3, "part")->AddRectangle(0, 0, 99, 99, 1);
    RecordEverything(target);
    ScriptedPrompts prompts;
    prompts.replaceSymbols = {false, true};
    ScopedEditPrompts installed(prompts);

    EXPECT_TRUE(CopySelectionFrom(to, from)) << "\"&No\" is no failure";
    EXPECT_EQ(to.objectCount, 0);
    EXPECT_TRUE(CopySelectionFrom(to, from));
    EXPECT_EQ(prompts.asked.size(), 2u);
    ASSERT_EQ(to.objectCount, 3) << "the head and both members";
    EXPECT_TRUE(SymbolDescription::SameDefinition(*target.FindSymbol(3), part));
}

// ---------------------------------------------------------------------------
// Combine

TEST(HierarchyEdits, CombiningAtTheLowerLeftCornerKeepsTheDrawingAndUndoes) {
    Layout layout, reference;
    BuildHierarchy(layout);
    BuildHierarchy(reference);
    RecordEverything(layout);
    SymbolDescription& top = *layout.MainSymbol();
    SelectWhere(top, [](const Word* r) { return RecordKind(r) != ObjectKind::SymbolArray; });
    const Rect box = top.selectionBox;
    const Buffers before = BuffersOf(layout);

    ScriptedPrompts prompts;
    prompts.newSymbols = {{}};
    ScopedEditPrompts installed(prompts);
    top.Undo().BeginStep();
    SymbolDescription* made = CombineSelection(top);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->Name(), "Symbol 3");
    EXPECT_EQ(made->Id(), 3);
    ASSERT_EQ(top.selectedCount, 1);
    const Word* call = top.FirstSelected();
    ASSERT_EQ(RecordKind(call), ObjectKind::SymbolCall);
    EXPECT_EQ(CallView(call).Matrix(), (TransformMatrix{1, 0, 0, 1, double(box.minx), double(box.miny)}));
    EXPECT_EQ(top.objectCount, 2) << "the array and the new call";
    EXPECT_NEAR(XorArea(layout, top, reference, *reference.MainSymbol()), 0, 1e-9);

    top.Undo().Undo();
    Buffers after = BuffersOf(layout);
    after.erase(3);  // the new symbol stays, unused
    EXPECT_EQ(after, before);
}

TEST(HierarchyEdits, CombiningIntoATakenNameAsksAsTheCaseNeeds) {
    struct Case {
        const char* name;
        std::vector<PromptAnswer> answers;
        std::vector<std::optional<std::string>> inputs;
        std::vector<std::string> captions;  // of the input boxes asked, in order
        const char* result;                 // name of the symbol made, or nullptr
    } cases[] = {
        // The selection calls "leaf": replacing it is not offered.
        {"leaf", {}, {"fresh"}, {"Symbol exists!"}, "fresh"},
        {"leaf", {}, {std::nullopt}, {"Symbol exists!"}, nullptr},
        // Replacing the symbol being edited is not offered either.
        {"top", {}, {"other"}, {"Symbol exists!"}, "other"},
        // "cell" is not called by the selection: Yes replaces, No asks again, Cancel ends.
        {"cell", {PromptAnswer::Yes}, {}, {}, "cell"},
        {"cell", {PromptAnswer::No}, {"fresh"}, {"New symbol"}, "fresh"},
        {"cell", {PromptAnswer::Cancel}, {}, {}, nullptr},
        {"with(paren)", {}, {}, {}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Layout layout;
        BuildHierarchy(layout);
        SymbolDescription& top = *layout.MainSymbol();
        top.SetName("top");
        SelectKind(top, ObjectKind::SymbolArray);
        const Buffers before = BuffersOf(layout);
        ScriptedPrompts prompts;
        ScriptedPrompts::NewSymbolAnswer answer;
        answer.name = c.name;
        prompts.newSymbols = {answer};
        prompts.yesNoCancel.assign(c.answers.begin(), c.answers.end());
        prompts.inputs.assign(c.inputs.begin(), c.inputs.end());
        ScopedEditPrompts installed(prompts);
        ScopedMessageCapture messages;
        SymbolDescription* made = CombineSelection(top);
        std::vector<std::string> captions;
        for (const auto& q : prompts.asked) {
            if (q.kind == "input") {
                captions.push_back(q.caption);
                EXPECT_EQ(q.text, "Input new symbol name:");
            }
            if (q.kind == "yesnocancel") {
                EXPECT_EQ(q.text, "Symbol already exists! Do you want to replace the existing definition?");
            }
        }
        EXPECT_EQ(captions, c.captions);
        if (!c.result) {
            EXPECT_EQ(made, nullptr);
            EXPECT_EQ(BuffersOf(layout), before);
            continue;
        }
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(made->Name(), c.result);
        EXPECT_EQ(made->objectCount, 1) << "the array, and nothing of a replaced definition";
        EXPECT_TRUE(messages.messages.empty());
    }
    ScopedMessageCapture messages;
    Layout layout;
    BuildHierarchy(layout);
    SelectKind(*layout.MainSymbol(), ObjectKind::Rectangle);
    ScriptedPrompts prompts;
    ScriptedPrompts::NewSymbolAnswer answer;
    answer.name = "with(paren)";
    prompts.newSymbols = {answer};
    ScopedEditPrompts installed(prompts);
    EXPECT_EQ(CombineSelection(*layout.MainSymbol()), nullptr);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "A symbol name cannot contain the '(' or ')' characters!");
}

// ---------------------------------------------------------------------------
// Group and break apart

TEST(HierarchyEdits, GroupingKeepsMembersInOrderAndBreakingApartSelectsTheDirectOnes) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    s.AddCircle(0, 0, 5, 1);
    s.AddText(100, 200, 4, "abcd", 10, {}, 1);
    for (int k = 0; k < 4; ++k) AddMemberPolygon(s, {{k * 10, 0}, {k * 10 + 5, 0}, {k * 10, 5}}, 1);
    s.AddCircle(50, 50, 5, 1);
    s.AddRectangle(0, 0, 30, 40, 2);
    RecordEverything(layout);
    SelectWhere(s, [](const Word* r) { return RecordKind(r) != ObjectKind::Circle; });
    const Buffers before = BuffersOf(layout);

    s.Undo().BeginStep();
    Word* head = GroupSelection(s);
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(GroupView(head).MemberRecords(), 6);
    EXPECT_EQ(GroupView(head).DirectMembers(), 2);
    EXPECT_EQ(GroupView(head).Position(), (Point{100, 200})) << "the first selected object's reference point";
    std::vector<ObjectKind> order;
    for (const Word* r = s.NextRecord(head); r; r = s.NextRecord(r)) {
        EXPECT_TRUE(IsMember(r));
        EXPECT_FALSE(IsSelected(r));
        order.push_back(RecordKind(r));
    }
    const std::vector<ObjectKind> expected = {ObjectKind::Text,    ObjectKind::Polygon, ObjectKind::Polygon,
                                              ObjectKind::Polygon, ObjectKind::Polygon, ObjectKind::Rectangle};
    EXPECT_EQ(order, expected);
    s.Undo().Undo();
    EXPECT_EQ(BuffersOf(layout), before);
    head = GroupSelection(s);
    ASSERT_NE(head, nullptr);

    // A group of a group and a circle nests: the inner one keeps its members.
    SelectWhere(s, [](const Word* r) { return RecordKind(r) == ObjectKind::Group || r[1] == 50; });
    Word* outer = GroupSelection(s);
    ASSERT_NE(outer, nullptr);
    EXPECT_EQ(GroupView(outer).MemberRecords(), 8);
    EXPECT_EQ(GroupView(outer).DirectMembers(), 2);

    ASSERT_TRUE(BreakApartSelection(s));
    EXPECT_EQ(s.selectedCount, 2);
    ASSERT_TRUE(BreakApartGroup(s) == false) << "two objects selected";
    SelectKind(s, ObjectKind::Group);
    ASSERT_TRUE(BreakApartSelection(s));
    std::vector<ObjectKind> selected;
    for (Word* r = s.FirstSelected(); r; r = s.NextSelected(r)) selected.push_back(RecordKind(r));
    EXPECT_EQ(selected, (std::vector<ObjectKind>{ObjectKind::Text, ObjectKind::Rectangle}));
    int members = 0;
    for (const Word* r = s.FirstRecord(); r; r = s.NextRecord(r)) members += IsMember(r) ? 1 : 0;
    EXPECT_EQ(members, 4) << "the glyphs stay members of their text";
}

// Small groups leave an entry per record, large ones a snapshot; both undo alike.
TEST(HierarchyEdits, GroupingManyObjectsUndoesWordForWord) {
    for (int count : {3, 200}) {
        SCOPED_TRACE(count);
        Layout layout;
        SymbolDescription& s = *layout.MainSymbol();
        for (int k = 0; k < count; ++k) {
            s.AddRectangle(k * 10, 0, k * 10 + 5, 5, 1);
            s.AddCircle(k * 10, 20, 3, 2);
        }
        RecordEverything(layout);
        SelectKind(s, ObjectKind::Circle);
        const Buffers before = BuffersOf(layout);
        s.Undo().BeginStep();
        Word* head = GroupSelection(s);
        ASSERT_NE(head, nullptr);
        EXPECT_EQ(GroupView(head).DirectMembers(), count);
        EXPECT_EQ(s.objectCount, 2 * count + 1);
        int rectanglesFirst = 0;
        for (const Word* r = s.FirstRecord(); r && RecordKind(r) == ObjectKind::Rectangle; r = s.NextRecord(r)) {
            ++rectanglesFirst;
        }
        EXPECT_EQ(rectanglesFirst, count);
        s.Undo().Undo();
        EXPECT_EQ(BuffersOf(layout), before);
    }
}

TEST(HierarchyEdits, BreakingApartATurnedMirroredCallKeepsTheDrawing) {
    Layout layout, reference;
    BuildHierarchy(layout);
    BuildHierarchy(reference);
    RecordEverything(layout);
    SymbolDescription& top = *layout.MainSymbol();
    SymbolDescription& cell = *layout.FindSymbol(1);
    // cell turned by 90 degrees and mirrored: x' = -y + 300, y' = -x - 700.
    for (SymbolDescription* s : {&top, reference.MainSymbol()}) s->InsertSymbolCallMatrix(1, {0, -1, -1, 0, 300, -700});
    top.DeselectAll();
    Word* last = nullptr;
    for (Word* r = top.FirstRecord(); r; r = top.NextRecord(r)) last = r;
    top.SetSelected(last);
    top.UpdateSelection();
    const Buffers before = BuffersOf(layout);

    top.Undo().BeginStep();
    ASSERT_TRUE(BreakApartCall(top));
    std::vector<ObjectKind> selected;
    for (Word* r = top.FirstSelected(); r; r = top.NextSelected(r)) selected.push_back(RecordKind(r));
    EXPECT_EQ(selected, (std::vector<ObjectKind>{ObjectKind::Polygon, ObjectKind::SymbolCall}));
    EXPECT_NEAR(XorArea(layout, top, reference, *reference.MainSymbol()), 0, 1e-9);
    (void)cell;
    top.Undo().Undo();
    EXPECT_EQ(BuffersOf(layout), before);
}

TEST(HierarchyEdits, BreakingApartAnArrayPlacesEveryElementSelected) {
    Layout layout, reference;
    BuildHierarchy(layout);
    BuildHierarchy(reference);
    RecordEverything(layout);
    SymbolDescription& top = *layout.MainSymbol();
    SelectKind(top, ObjectKind::SymbolArray);
    const Buffers before = BuffersOf(layout);
    top.Undo().BeginStep();
    ASSERT_TRUE(BreakApartSelection(top));
    EXPECT_EQ(top.selectedCount, 6);
    for (Word* r = top.FirstSelected(); r; r = top.NextSelected(r)) {
        EXPECT_EQ(RecordKind(r), ObjectKind::SymbolCall);
        EXPECT_EQ(CallView(r).SymbolId(), 2);
    }
    EXPECT_NEAR(XorArea(layout, top, reference, *reference.MainSymbol()), 0, 1e-9);
    top.Undo().Undo();
    EXPECT_EQ(BuffersOf(layout), before);
}

TEST(HierarchyEdits, BreakingApartWhatCannotBeBrokenChangesNothing) {
    Layout layout;
    SymbolDescription& top = *layout.MainSymbol();
    SymbolDescription& loop = *layout.AddSymbol(1, "loop");
    loop.AddRectangle(0, 0, 5, 5, 1);
    top.InsertSymbolCall(1, 0, 0);
    AppendRawCall(loop, -1, 0, 0);   // damaged input: "loop" calls the main symbol
    top.InsertSymbolCall(77, 0, 0);  // a missing symbol
    top.AddRectangle(0, 0, 1, 1, 1);
    RecordEverything(layout);
    struct Case {
        ObjectKind kind;
        bool (*breakApart)(SymbolDescription&);
    } cases[] = {{ObjectKind::SymbolCall, BreakApartCall},
                 {ObjectKind::Rectangle, BreakApartSelection},
                 {ObjectKind::Rectangle, BreakApartGroup}};
    for (const Case& c : cases) {
        SelectKind(top, c.kind);
        const Buffers before = BuffersOf(layout);
        ScopedMessageCapture messages;
        EXPECT_FALSE(c.breakApart(top));
        EXPECT_EQ(BuffersOf(layout), before);
    }
    // Nothing selected: nothing to break apart.
    top.DeselectAll();
    EXPECT_FALSE(BreakApartSelection(top));
    SelectWhere(top, [](const Word* r) { return RecordKind(r) == ObjectKind::SymbolCall && r[5] == 1; });
    ScopedMessageCapture messages;
    EXPECT_FALSE(BreakApartCall(top)) << "its contents would let the main symbol call itself";
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, kRecursion);
}

// ---------------------------------------------------------------------------
// Flatten

TEST(HierarchyEdits, FlatteningASelectionLeavesOnlyPlainObjectsSelected) {
    Layout layout, reference;
    BuildHierarchy(layout);
    BuildHierarchy(reference);
    RecordEverything(layout);
    SymbolDescription& top = *layout.MainSymbol();
    SelectKind(top, ObjectKind::Group);  // a group holding a call of a symbol that calls another
    top.SetSelected(top.FirstRecord());  // and the plain rectangle
    top.UpdateSelection();
    const Buffers before = BuffersOf(layout);

    top.Undo().BeginStep();
    FlattenSelection(top);
    int selected = 0, calls = 0;
    for (const Word* r = top.FirstRecord(); r; r = top.NextRecord(r)) {
        const ObjectKind k = RecordKind(r);
        EXPECT_FALSE(HasFlattenMark(r));
        if (IsSelected(r)) {
            ++selected;
            EXPECT_FALSE(IsCallKind(k) || k == ObjectKind::Group || IsMember(r));
        }
        calls += IsCallKind(k) ? 1 : 0;
    }
    // rectangle + group's rectangle + cell's polygon + leaf's three objects
    EXPECT_EQ(selected, 6);
    EXPECT_EQ(top.selectedCount, 6);
    EXPECT_EQ(calls, 2) << "the unselected call and array stay";
    EXPECT_NEAR(XorArea(layout, top, reference, *reference.MainSymbol()), 0, 1e-9);
    top.Undo().Undo();
    EXPECT_EQ(BuffersOf(layout), before);

    // Nothing selected: nothing happens and nothing is recorded.
    top.DeselectAll();
    const Buffers unselected = BuffersOf(layout);
    const std::int32_t entries = top.Undo().EntryCount();
    FlattenSelection(top);
    EXPECT_EQ(top.Undo().EntryCount(), entries);
    EXPECT_EQ(BuffersOf(layout), unselected);
}

// The one pass gives what breaking apart the first container again and again
// gives, record for record.
TEST(HierarchyEdits, FlatteningTheLayoutMatchesTheLoopRecordForRecord) {
    Layout layout, stepwise, reference;
    BuildHierarchy(layout);
    BuildHierarchy(stepwise);
    BuildHierarchy(reference);
    RecordEverything(layout);
    SymbolDescription& top = *layout.MainSymbol();
    const Buffers before = BuffersOf(layout);

    EXPECT_FALSE(FlattenLayout(*layout.FindSymbol(1))) << "only the main symbol";
    EXPECT_EQ(BuffersOf(layout), before);

    platform::headless::ScopedProgressCapture progress;
    top.Undo().BeginStep();
    ASSERT_TRUE(FlattenLayout(top));
    FlattenOneByOne(*stepwise.MainSymbol());
    EXPECT_FALSE(HoldsContainers(top));
    EXPECT_EQ(top.selectedCount, 0);
    EXPECT_EQ(WithoutSelection(top), WithoutSelection(*stepwise.MainSymbol()));
    EXPECT_EQ(top.objectCount, stepwise.MainSymbol()->objectCount);
    EXPECT_TRUE(top.Children().empty());
    EXPECT_NEAR(XorArea(layout, top, reference, *reference.MainSymbol()), 0, 1e-9);
    ASSERT_FALSE(progress.steps.empty());
    EXPECT_EQ(progress.steps.front(), 0);
    EXPECT_EQ(progress.steps.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.steps.begin(), progress.steps.end()));

    top.Undo().Undo();
    EXPECT_EQ(BuffersOf(layout), before);
}

// Texts and groups that come out of calls, moved and turned, give what the
// loop gives; and the children, box and selection state that the flattener
// keeps as it writes the list are those that walking the list again gives,
// whether everything, only the selection, or not all calls could be flattened.
TEST(HierarchyEdits, FlatteningKeepsTheStateThatWalkingTheListGives) {
    // With the whole hierarchy around them, and alone, where the box and the
    // arc wire reach the edges of the box.
    for (const bool withHierarchy : {true, false}) {
        SCOPED_TRACE(withHierarchy ? "with the hierarchy" : "the labels alone");
        Layout layout, stepwise;
        for (Layout* l : {&layout, &stepwise}) {
            if (withHierarchy) BuildHierarchy(*l);
            AddLabels(*l);
        }
        SymbolDescription& top = *layout.MainSymbol();
        ASSERT_TRUE(FlattenLayout(top));
        FlattenOneByOne(*stepwise.MainSymbol());
        EXPECT_EQ(WithoutSelection(top), WithoutSelection(*stepwise.MainSymbol()));
        EXPECT_EQ(top.objectCount, stepwise.MainSymbol()->objectCount);
        const KeptState flattened = KeptStateOf(top);
        EXPECT_EQ(flattened, RewalkedState(top));
        EXPECT_EQ(flattened.bounds, stepwise.MainSymbol()->Bounds());
    }

    // Only the selection: the quarter-turned call of the labels and a group.
    Layout selected;
    BuildHierarchy(selected);
    AddLabels(selected);
    SymbolDescription& partly = *selected.MainSymbol();
    SelectWhere(partly, [](const Word* r) {
        return RecordKind(r) == ObjectKind::Group ||
               (RecordKind(r) == ObjectKind::SymbolCall && CallView(r).Matrix().b == 1 && CallView(r).SymbolId() == 3);
    });
    FlattenSelection(partly);
    EXPECT_GT(partly.selectedCount, 0);
    EXPECT_FALSE(partly.Children().empty());
    const KeptState flattenedSelection = KeptStateOf(partly);
    EXPECT_EQ(flattenedSelection, RewalkedState(partly));

    // Calls of a missing symbol and of one that calls itself stay.
    Layout damaged;
    SymbolDescription& main = *damaged.MainSymbol();
    SymbolDescription& self = *damaged.AddSymbol(1, "self");
    self.AddRectangle(0, 0, 5, 5, 1);
    AppendRawCall(self, 1, 10, 0);
    main.InsertSymbolCall(55, 300, 0);
    main.InsertSymbolCall(1, 100, 0);
    AddLabels(damaged);
    main.RecomputeBounds();
    ScopedMessageCapture messages;
    ASSERT_TRUE(FlattenLayout(main));
    const KeptState kept = KeptStateOf(main);
    EXPECT_EQ(kept.children, (std::vector<std::int32_t>{55, 1}));
    EXPECT_EQ(kept, RewalkedState(main));
}

TEST(HierarchyEdits, FlatteningEndsOnCyclesAndKeepsCallsOfMissingSymbols) {
    Layout layout;
    SymbolDescription& top = *layout.MainSymbol();
    SymbolDescription& self = *layout.AddSymbol(1, "self");
    SymbolDescription& fine = *layout.AddSymbol(2, "fine");
    self.AddRectangle(0, 0, 5, 5, 1);
    AppendRawCall(self, 1, 10, 0);  // damaged input: calls itself
    fine.AddRectangle(0, 0, 7, 7, 1);
    top.InsertSymbolCall(1, 100, 0);
    top.InsertSymbolCall(2, 200, 0);
    top.InsertSymbolCall(55, 300, 0);
    top.InsertArray(55, {0, 0}, {10, 0}, {0, 10}, 2, 2, 1.0, 0.0);
    top.AddGroup(0, 0, 1, 1);
    SetMemberBit(top.InsertSymbolCall(2, 400, 0), true);
    RecordEverything(layout);

    ScopedMessageCapture messages;
    ASSERT_TRUE(FlattenLayout(top));
    std::vector<std::int32_t> calledIds;
    int rectangles = 0;
    for (const Word* r = top.FirstRecord(); r; r = top.NextRecord(r)) {
        if (IsCallKind(RecordKind(r))) calledIds.push_back(PlacementView(r).SymbolId());
        rectangles += RecordKind(r) == ObjectKind::Rectangle ? 1 : 0;
        EXPECT_FALSE(IsMember(r));
    }
    EXPECT_EQ(calledIds, (std::vector<std::int32_t>{1, 55, 55}));
    EXPECT_EQ(rectangles, 2) << "fine, called twice";
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].caption, "Warning");
}
