#include <cstring>
#include <gtest/gtest.h>
#include <vector>

#include "model/Layout.h"
#include "model/RecordViews.h"
#include "model/UndoList.h"
#include "model/WordStorage.h"
#include "platform/headless/RecordingMessages.h"

using namespace zandor;
using platform::headless::RecordedMessage;
using platform::headless::ScopedMessageCapture;

namespace {

const RecordedMessage kRecursion{"Cannot insert a parent symbol into one of it's child symbols!", "Error"};

std::vector<Word> BufferOf(const SymbolDescription& s) {
    if (!s.Words()) return {};
    return {s.Words(), s.Words() + s.usedWords + 1};
}

// Releases the allocation limit even when an assertion leaves the test early.
struct AllocationLimit {
    explicit AllocationLimit(std::size_t words) { SetWordAllocationLimit(words); }
    ~AllocationLimit() { SetWordAllocationLimit(0); }
};

}  // namespace

TEST(Symbol, FirstRecordSetsTheBoxThenBoxesJoin) {
    Layout layout;
    SymbolDescription* s = layout.AddSymbol(1, "a");
    s->AddRectangle(100, 200, 300, 400, 1);
    EXPECT_EQ(s->Bounds(), (Rect{100, 200, 300, 400})) << "not joined with the initial zero box";
    s->AddCircle(0, 1000, 50, 1);
    EXPECT_EQ(s->Bounds(), (Rect{-50, 200, 300, 1050}));
    s->AddBox(0, 0, 200, 100, 90.0, 1);  // 100 wide, 200 high once turned
    EXPECT_EQ(s->Bounds(), (Rect{-50, -100, 300, 1050}));
    s->AddRing(1000, 0, 100, 41, 1);  // reach 100 + 20
    EXPECT_EQ(s->Bounds(), (Rect{-50, -120, 1120, 1050}));
}

TEST(Symbol, EnsureAndRecomputeBounds) {
    Layout layout;
    SymbolDescription* s = layout.AddSymbol(1, "a");
    s->EnsureBounds();
    EXPECT_EQ(s->Bounds(), (Rect{0, 0, 100, 100})) << "an empty symbol gets a token box";
    s->RecomputeBounds();
    EXPECT_EQ(s->Bounds(), (Rect{0, 0, 0, 0}));

    s->AddRectangle(0, 0, 10, 10, 1);
    s->AddRectangle(500, 500, 600, 700, 1);
    s->DeleteRecord(s->NextRecord(s->FirstRecord()));
    EXPECT_EQ(s->Bounds(), (Rect{0, 0, 600, 700})) << "deleting never shrinks the box by itself";
    s->RecomputeBounds();
    EXPECT_EQ(s->Bounds(), (Rect{0, 0, 10, 10}));
}

TEST(Symbol, RecomputeBoundsPropagatesToCallers) {
    Layout layout;
    SymbolDescription* leaf = layout.AddSymbol(1, "leaf");
    SymbolDescription* mid = layout.AddSymbol(2, "mid");
    SymbolDescription& top = *layout.MainSymbol();
    leaf->AddRectangle(0, 0, 10, 10, 1);
    // mid places leaf turned by 90 degrees at (100, 0); top places mid magnified twice.
    ASSERT_TRUE(mid->InsertSymbolCallMatrix(1, {0, 1, -1, 0, 100, 0}));
    ASSERT_TRUE(top.InsertSymbolCallMatrix(2, {2, 0, 0, 2, 0, 0}));
    top.RecomputeBounds();
    EXPECT_EQ(top.Bounds(), (Rect{180, 0, 200, 20}));

    leaf->AddRectangle(0, 0, 50, 10, 1);
    leaf->RecomputeBounds();
    EXPECT_EQ(mid->Bounds(), (Rect{90, 0, 100, 50}));
    EXPECT_EQ(top.Bounds(), (Rect{180, 0, 200, 100}));
    // The cached extent of the call records is refreshed on the way.
    const Word* call = top.FirstRecord();
    EXPECT_EQ(CallView(call).CachedExtent(), (Rect{180, 0, 200, 100}));
}

TEST(Symbol, RecursiveCallsAreRefusedAndChangeNothing) {
    Layout layout;
    SymbolDescription* a = layout.AddSymbol(1, "A");
    SymbolDescription* b = layout.AddSymbol(2, "B");
    SymbolDescription* c = layout.AddSymbol(3, "C");
    a->undo->SetRecording(true);
    ASSERT_TRUE(a->InsertSymbolCall(2, 0, 0));
    ASSERT_TRUE(b->InsertSymbolCall(3, 0, 0));

    struct Attempt {
        SymbolDescription* into;
        int callee;
        int how;  // 0 call, 1 call with matrix, 2 array
    };
    for (const Attempt& at : {Attempt{c, 1, 0}, Attempt{c, 1, 1}, Attempt{c, 1, 2}, Attempt{b, 1, 0}, Attempt{a, 1, 0},
                              Attempt{a, 1, 2}, Attempt{c, 3, 1}}) {
        ScopedMessageCapture messages;
        const std::vector<Word> before = BufferOf(*at.into);
        const int entries = at.into->undo->EntryCount();
        Word* r = at.how == 0   ? at.into->InsertSymbolCall(at.callee, 5, 5)
                  : at.how == 1 ? at.into->InsertSymbolCallMatrix(at.callee, {})
                                : at.into->InsertArray(at.callee, {0, 0}, {10, 0}, {0, 10}, 1, 1, 1.0, 0.0);
        EXPECT_EQ(r, nullptr);
        EXPECT_EQ(messages.messages, std::vector<RecordedMessage>{kRecursion});
        EXPECT_EQ(BufferOf(*at.into), before);
        EXPECT_EQ(at.into->undo->EntryCount(), entries);
    }
    EXPECT_EQ(c->objectCount, 0);
    // A call that closes no cycle is fine, also of a symbol that does not exist.
    ScopedMessageCapture messages;
    EXPECT_TRUE(c->InsertSymbolCall(77, 0, 0));
    EXPECT_TRUE(a->InsertSymbolCall(3, 0, 0));
    EXPECT_TRUE(messages.messages.empty());
}

TEST(Symbol, HierarchyQueries) {
    Layout layout;
    SymbolDescription& top = *layout.MainSymbol();
    SymbolDescription* a = layout.AddSymbol(1, "A");
    SymbolDescription* b = layout.AddSymbol(2, "B");
    SymbolDescription* lone = layout.AddSymbol(3, "lone");
    SymbolDescription* ghostCaller = layout.AddSymbol(4, "ghost caller");
    b->AddRectangle(0, 0, 1, 1, 1);
    b->AddPolygon(std::vector<Point>{{0, 0}, {1, 0}, {0, 1}}.data(), 3, 2);
    a->InsertSymbolCall(2, 0, 0);
    a->InsertArray(2, {0, 0}, {30, 0}, {0, 30}, 3, 3, 1, 0);
    a->AddRectangle(5, 5, 6, 6, 1);
    top.InsertSymbolCall(1, 0, 0);
    top.InsertSymbolCall(1, 100, 0);
    ghostCaller->InsertSymbolCall(99, 0, 0);
    ghostCaller->InsertSymbolCall(3, 0, 0);

    EXPECT_EQ(a->Children(), (std::vector<std::int32_t>{2}));
    EXPECT_EQ(a->callCount, 2);
    EXPECT_TRUE(top.CallsSymbol(2));
    EXPECT_FALSE(b->CallsSymbol(1));
    EXPECT_FALSE(top.CallsSymbol(3));
    EXPECT_TRUE(ghostCaller->CallsSymbol(99));

    EXPECT_FALSE(a->IsUnused());
    EXPECT_FALSE(b->IsUnused());
    EXPECT_TRUE(top.IsUnused());
    EXPECT_TRUE(ghostCaller->IsUnused());
    EXPECT_FALSE(lone->IsUnused());

    EXPECT_EQ(top.CountKind(ObjectKind::Rectangle, false), 0);
    // Two calls of A, each with one rectangle and two placements of B (one rectangle each).
    EXPECT_EQ(top.CountKind(ObjectKind::Rectangle, true), 2 * (1 + 2));
    EXPECT_EQ(top.CountKind(ObjectKind::Polygon, true), 4);
    EXPECT_EQ(top.CountKind(ObjectKind::SymbolCall, true), 2 + 2);

    EXPECT_TRUE(lone->IsEmpty());
    EXPECT_TRUE(ghostCaller->IsEmpty()) << "calls of missing or empty symbols only";
    EXPECT_FALSE(top.IsEmpty());
    lone->AddCircle(0, 0, 1, 1);
    EXPECT_FALSE(ghostCaller->IsEmpty());

    // Selection-based query.
    Word* second = top.NextRecord(top.FirstRecord());
    top.SetSelected(second);
    EXPECT_TRUE(top.SelectionCallsSymbol(2));
    EXPECT_FALSE(top.SelectionCallsSymbol(3));

    // Children are rebuilt from the records.
    top.DeleteRecord(top.FirstRecord());
    top.DeleteRecord(top.FirstRecord());
    top.RebuildChildren();
    EXPECT_TRUE(top.Children().empty());
    EXPECT_EQ(top.callCount, 0);
}

TEST(Symbol, CyclesFromDamagedInputDoNotHang) {
    // The insertion checks refuse cycles, but a damaged file or a rewritten
    // record can still close one; queries must still end.
    Layout layout;
    SymbolDescription* a = layout.AddSymbol(1, "A");
    SymbolDescription* b = layout.AddSymbol(2, "B");
    ASSERT_TRUE(a->InsertSymbolCall(2, 0, 0));
    Word* call = b->InsertSymbolCall(3, 0, 0);
    std::vector<Word> redirected(call, call + RecordLength(call));
    CallView(redirected.data()).SetSymbolId(1);
    b->ReplaceRecord(call, redirected.data());
    b->RebuildChildren();
    b->AddRectangle(0, 0, 5, 5, 1);
    EXPECT_TRUE(a->CallsSymbol(1));
    EXPECT_EQ(a->CountKind(ObjectKind::Rectangle, true), 1);
    EXPECT_FALSE(a->IsEmpty());
    a->EnsureBounds();
    a->RecomputeBounds();
    b->RecomputeBounds();
    EXPECT_FALSE(a->IsUnused());
}

TEST(Symbol, DeleteTakesHeadsWithTheirMembers) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    const Point tri[3] = {{0, 0}, {10, 0}, {0, 10}};
    s.AddRectangle(0, 0, 1, 1, 1);
    s.AddGroup(0, 0, 4, 2);
    SetMemberBit(s.AddText(0, 0, 2, "ab", 100, {}, 1), true);
    SetMemberBit(s.AddPolygon(tri, 3, 1), true);
    SetMemberBit(s.AddPolygon(tri, 3, 1), true);
    SetMemberBit(s.AddCircle(5, 5, 1, 1), true);
    s.AddCircle(9, 9, 1, 2);
    ASSERT_EQ(s.objectCount, 7);

    Word* after = s.DeleteRecord(s.NextRecord(s.FirstRecord()));
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(RecordKind(after), ObjectKind::Circle);
    EXPECT_EQ(CircleView(after).Centre(), (Point{9, 9}));
    EXPECT_EQ(s.objectCount, 2);
    EXPECT_EQ(s.usedWords, 5 + 4);
    EXPECT_EQ(s.DeleteRecord(after), nullptr) << "nothing follows the last record";
}

TEST(Symbol, ReplaceAndResizeKeepTheRestOfTheBuffer) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    s.AddRectangle(0, 0, 1, 1, 1);
    const Point tri[3] = {{0, 0}, {10, 0}, {0, 10}};
    s.AddPolygon(tri, 3, 2);
    s.AddCircle(7, 7, 7, 3);
    Word* poly = s.NextRecord(s.FirstRecord());
    std::vector<Word> square = {MakeHeader(13, 2, ObjectKind::Polygon), 0, 0, 20, 20, 0, 0, 20, 0, 20, 20, 0, 20};
    poly = s.ReplaceRecord(poly, square.data());
    ASSERT_NE(poly, nullptr);
    EXPECT_EQ(std::vector<Word>(poly, poly + 13), square);
    const Word* circle = s.NextRecord(poly);
    EXPECT_EQ((std::vector<Word>(circle, circle + 4)),
              (std::vector<Word>{MakeHeader(4, 3, ObjectKind::Circle), 7, 7, 7}));
    EXPECT_EQ(s.usedWords, 5 + 13 + 4);
    EXPECT_EQ(s.Words()[s.usedWords], 0);

    // A resize keeps the header's other bits.
    SetSelectedBit(poly, true);
    poly = s.ResizeRecord(poly, 11);
    EXPECT_EQ(RecordLength(poly), 11);
    EXPECT_TRUE(IsSelected(poly));
    EXPECT_EQ(RecordKind(s.NextRecord(poly)), ObjectKind::Circle);
}

TEST(Symbol, GrowthStepHalvesWhenMemoryIsShort) {
    Layout layout;
    SymbolDescription* s = layout.AddSymbol(1, "a");
    {
        // The first allocation wants 5 + 1024 words; only 5 + 100 can be had.
        AllocationLimit limit(105);
        ASSERT_NE(s->AddRectangle(0, 0, 1, 1, 1), nullptr);
        EXPECT_EQ(s->growStep, 64);
        EXPECT_EQ(s->capacity, 5 + 64);
    }
    {
        // Fill up, then forbid any growth: halving stops at 16 and the buffer is intact.
        while (s->usedWords + 5 + 1 <= s->capacity) s->AddRectangle(1, 1, 2, 2, 1);
        const std::vector<Word> before = BufferOf(*s);
        const int count = s->objectCount;
        AllocationLimit limit(static_cast<std::size_t>(s->capacity));
        EXPECT_EQ(s->AddRectangle(0, 0, 1, 1, 1), nullptr);
        EXPECT_EQ(s->growStep, 16);
        EXPECT_EQ(BufferOf(*s), before);
        EXPECT_EQ(s->objectCount, count);
    }
    ASSERT_NE(s->AddRectangle(3, 3, 4, 4, 1), nullptr);
    EXPECT_EQ(s->capacity, s->usedWords - 5 + 5 + 16);
}

TEST(Symbol, SameDefinitionIgnoresSelectionAndForeignIds) {
    Layout one, two;
    SymbolDescription* a = one.AddSymbol(5, "cell");
    SymbolDescription* b = two.AddSymbol(9, "cell");
    one.AddSymbol(1, "leaf")->AddRectangle(0, 0, 1, 1, 1);
    two.AddSymbol(2, "leaf")->AddRectangle(0, 0, 1, 1, 1);
    for (SymbolDescription* s : {a, b}) {
        s->AddRectangle(0, 0, 10, 10, 3);
    }
    a->InsertSymbolCall(1, 50, 50);
    b->InsertSymbolCall(2, 50, 50);
    a->SetSelected(a->FirstRecord());
    EXPECT_TRUE(SymbolDescription::SameDefinition(*a, *b));

    // Within one layout the id counts.
    SymbolDescription* c = one.AddSymbol(6, "other");
    one.AddSymbol(3, "leaf2")->AddRectangle(0, 0, 1, 1, 1);
    c->AddRectangle(0, 0, 10, 10, 3);
    c->InsertSymbolCall(3, 50, 50);
    EXPECT_FALSE(SymbolDescription::SameDefinition(*a, *c));

    // A different layer or word differs.
    two.AddSymbol(10, "x")->AddRectangle(0, 0, 10, 10, 4);
    one.AddSymbol(11, "y")->AddRectangle(0, 0, 10, 10, 3);
    EXPECT_FALSE(SymbolDescription::SameDefinition(*two.FindSymbol(10), *one.FindSymbol(11)));
}

TEST(Symbol, InsertCopyBetweenLayoutsBringsTheCalledDefinitions) {
    Layout library;
    SymbolDescription* leaf = library.AddSymbol(7, "leaf");
    leaf->AddRectangle(0, 0, 10, 10, 1);
    SymbolDescription* cell = library.AddSymbol(8, "cell");
    cell->InsertSymbolCall(7, 100, 0);
    cell->AddCircle(0, 0, 5, 2);
    SymbolDescription& libMain = *library.MainSymbol();
    Word* libCall = libMain.InsertSymbolCallMatrix(8, {0, 1, -1, 0, 1000, 0});
    libMain.InsertSymbolCall(55, 0, 0);  // names a symbol the library lacks

    Layout layout;
    layout.AddSymbol(1, "existing")->AddRectangle(0, 0, 1, 1, 1);
    SymbolDescription& main = *layout.MainSymbol();
    ScopedMessageCapture messages;
    Word* copy = main.InsertCopy(libCall, libMain);
    ASSERT_NE(copy, nullptr);
    SymbolDescription* myCell = layout.FindSymbolByName("cell");
    SymbolDescription* myLeaf = layout.FindSymbolByName("leaf");
    ASSERT_TRUE(myCell && myLeaf);
    EXPECT_EQ(CallView(copy).SymbolId(), myCell->Id());
    EXPECT_NE(myCell->Id(), 8);
    EXPECT_TRUE(SymbolDescription::SameDefinition(*myCell, *cell));
    EXPECT_TRUE(SymbolDescription::SameDefinition(*myLeaf, *leaf));
    EXPECT_EQ(myCell->Children(), (std::vector<std::int32_t>{myLeaf->Id()}));
    EXPECT_TRUE(main.CallsSymbol(myLeaf->Id()));
    EXPECT_EQ(CallView(copy).Matrix(), (TransformMatrix{0, 1, -1, 0, 1000, 0}));

    // A call whose symbol the library lacks inserts nothing, silently.
    const int count = main.objectCount;
    EXPECT_EQ(main.InsertCopy(libMain.NextRecord(libMain.FirstRecord()), libMain), nullptr);
    EXPECT_EQ(main.objectCount, count);
    EXPECT_TRUE(messages.messages.empty());

    // Within one layout a call of a missing symbol keeps its id.
    SymbolDescription* other = layout.AddSymbol(20, "other");
    Word* ghost = other->InsertSymbolCall(42, 0, 0);
    Word* ghostCopy = main.InsertCopy(ghost, *other);
    ASSERT_NE(ghostCopy, nullptr);
    EXPECT_EQ(CallView(ghostCopy).SymbolId(), 42);
}

TEST(Symbol, InsertCopyRefusesParents) {
    Layout layout;
    SymbolDescription* parent = layout.AddSymbol(1, "parent");
    SymbolDescription* child = layout.AddSymbol(2, "child");
    Word* call = parent->InsertSymbolCall(2, 0, 0);
    ScopedMessageCapture messages;
    // Copying parent's call of child into child itself.
    EXPECT_EQ(child->InsertCopy(call, *parent), nullptr);
    child->AddRectangle(0, 0, 1, 1, 1);
    SymbolDescription* holder = layout.AddSymbol(3, "holder");
    Word* callOfParent = holder->InsertSymbolCall(1, 0, 0);
    EXPECT_EQ(child->InsertCopy(callOfParent, *holder), nullptr);
    ASSERT_EQ(messages.messages.size(), 2u);
    EXPECT_EQ(messages.messages[0].text, "Cannot insert parent symbol (child) into one of it's child symbols (child)!");
    EXPECT_EQ(messages.messages[1].text,
              "Cannot insert parent symbol (parent) into one of it's child symbols (child)!");

    // A group whose member calls a parent is refused as a whole.
    SymbolDescription* source = layout.AddSymbol(4, "source");
    source->AddGroup(0, 0, 2, 2);
    SetMemberBit(source->AddRectangle(0, 0, 1, 1, 1), true);
    SetMemberBit(source->InsertSymbolCall(1, 0, 0), true);
    const int before = child->objectCount;
    EXPECT_EQ(child->InsertCopy(source->FirstRecord(), *source), nullptr);
    EXPECT_EQ(child->objectCount, before);
    EXPECT_EQ(messages.messages.back(), kRecursion);
}

TEST(Symbol, InsertCopyOfHeadsCopiesMembers) {
    Layout one, two;
    SymbolDescription* source = one.AddSymbol(1, "source");
    one.AddSymbol(3, "leaf")->AddRectangle(0, 0, 2, 2, 1);
    source->AddGroup(10, 10, 4, 2);
    SetMemberBit(source->AddText(10, 10, 1, "T", 100, {}, 4), true);
    const Point tri[3] = {{0, 0}, {10, 0}, {0, 10}};
    SetMemberBit(source->AddPolygon(tri, 3, 4), true);
    SetMemberBit(source->InsertSymbolCall(3, 40, 40), true);
    SetMemberBit(source->AddRectangle(-5, -5, 0, 0, 1), true);

    SymbolDescription& target = *two.MainSymbol();
    target.undo->BeginStep();
    Word* head = target.InsertCopy(source->FirstRecord(), *source);
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(target.objectCount, 5);
    EXPECT_EQ(target.undo->EntryCount(), 1 + 5);
    const Word* member = target.NextRecord(head);
    int members = 0;
    for (; member; member = target.NextRecord(member)) {
        EXPECT_TRUE(IsMember(member));
        ++members;
    }
    EXPECT_EQ(members, 4);
    SymbolDescription* leaf = two.FindSymbolByName("leaf");
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(target.Children(), (std::vector<std::int32_t>{leaf->Id()}));
    EXPECT_TRUE(SymbolDescription::SameDefinition(target, *source));
}

TEST(Symbol, CopyDefinitionReplacesOnlyWhatDiffers) {
    Layout library, layout;
    SymbolDescription* src = library.AddSymbol(4, "cell");
    library.AddSymbol(5, "leaf")->AddCircle(0, 0, 10, 1);
    src->InsertSymbolCall(5, 0, 0);
    src->AddRectangle(0, 0, 100, 100, 2);

    SymbolDescription* mine = layout.AddSymbol(1, "cell");
    mine->undo->SetRecording(true);
    mine->AddRectangle(1, 1, 2, 2, 9);
    ASSERT_TRUE(mine->CopyDefinition(*src));
    EXPECT_TRUE(SymbolDescription::SameDefinition(*mine, *src));
    EXPECT_FALSE(mine->undo->CanUndo()) << "the copy is not an undoable edit";
    EXPECT_TRUE(mine->undo->IsRecording());
    EXPECT_EQ(mine->Children().size(), 1u);

    // Copying again changes nothing (same definition already).
    const std::vector<Word> before = BufferOf(*mine);
    ASSERT_TRUE(mine->CopyDefinition(*src));
    EXPECT_EQ(BufferOf(*mine), before);
}

TEST(Symbol, NamesWithParenthesesAreIgnored) {
    Layout layout;
    SymbolDescription* s = layout.AddSymbol(1, "ok");
    layout.modified = false;
    s->SetName("bad(name");
    EXPECT_EQ(s->Name(), "ok");
    EXPECT_FALSE(layout.modified);
    s->SetName("better");
    EXPECT_EQ(s->Name(), "better");
    EXPECT_TRUE(layout.modified);
}
