// The layout's indexes of symbols (by id, by name, callers by called id) and
// the hierarchy queries built on them, checked against plain searches of the
// symbol list after every kind of change.
#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "model/Layout.h"
#include "model/RecordViews.h"
#include "model/UndoList.h"
#include "platform/headless/RecordingMessages.h"

using namespace zandor;
using platform::headless::ScopedMessageCapture;

namespace {

const SymbolDescription* FirstNamed(const Layout& layout, const std::string& name) {
    for (const auto& s : layout.Symbols()) {
        if (s->Name() == name) return s.get();
    }
    return nullptr;
}

// Every symbol is found by its id and its name (the first of that name in
// list order), and names and ids that went away are found no more.
void ExpectIndexesAgree(const Layout& layout, const std::vector<std::string>& goneNames = {},
                        const std::vector<std::int32_t>& goneIds = {}) {
    for (const auto& s : layout.Symbols()) {
        EXPECT_EQ(layout.FindSymbol(s->Id()), s.get()) << s->Name();
        EXPECT_EQ(layout.FindSymbolByName(s->Name()), FirstNamed(layout, s->Name())) << s->Name();
    }
    for (const std::string& name : goneNames) EXPECT_EQ(layout.FindSymbolByName(name), nullptr) << name;
    for (std::int32_t id : goneIds) EXPECT_EQ(layout.FindSymbol(id), nullptr) << id;
}

// Reachability by a plain walk of the children lists.
bool CallsByWalk(const Layout& layout, const SymbolDescription& from, std::int32_t id) {
    std::vector<const SymbolDescription*> stack{&from};
    std::set<const SymbolDescription*> seen{&from};
    while (!stack.empty()) {
        const SymbolDescription* s = stack.back();
        stack.pop_back();
        for (std::int32_t child : s->Children()) {
            if (child == id) return true;
            const SymbolDescription* c = layout.FindSymbol(child);
            if (c && seen.insert(c).second) stack.push_back(c);
        }
    }
    return false;
}

bool UnusedByWalk(const Layout& layout, const SymbolDescription& symbol) {
    for (const auto& s : layout.Symbols()) {
        if (s.get() != &symbol && CallsByWalk(layout, *s, symbol.Id())) return false;
    }
    return true;
}

void ExpectHierarchyAgrees(const Layout& layout, const std::vector<std::int32_t>& extraIds = {}) {
    std::vector<std::int32_t> ids = extraIds;
    for (const auto& s : layout.Symbols()) ids.push_back(s->Id());
    for (const auto& s : layout.Symbols()) {
        for (std::int32_t id : ids) {
            ASSERT_EQ(s->CallsSymbol(id), CallsByWalk(layout, *s, id)) << s->Name() << " calls " << id;
        }
        ASSERT_EQ(s->IsUnused(), UnusedByWalk(layout, *s)) << s->Name();
    }
}

}  // namespace

TEST(SymbolIndex, NamesAndIdsFollowEveryChange) {
    Layout layout;
    SymbolDescription* a = layout.AddSymbol(1, "a");
    SymbolDescription* b = layout.AddSymbol(2, "b");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(layout.AddSymbol(3, "a"), nullptr) << "name taken";
    EXPECT_EQ(layout.AddSymbol(2, "c"), nullptr) << "id taken";
    ExpectIndexesAgree(layout, {"c"}, {3});

    // A name with parentheses leaves a new symbol without a name, and an old one as it was.
    SymbolDescription* unnamed = layout.AddSymbol(3, "odd(name)");
    ASSERT_NE(unnamed, nullptr);
    EXPECT_EQ(layout.FindSymbolByName(""), unnamed);
    a->SetName("x(y)");
    ExpectIndexesAgree(layout, {"odd(name)", "x(y)"});

    // Renames.
    a->SetName("alpha");
    ExpectIndexesAgree(layout, {"a"});
    ASSERT_NE(layout.AddSymbol(5, "a"), nullptr) << "the old name is free again";
    // A rename may give two symbols one name for a moment: the first in list order is found.
    b->SetName("alpha");
    EXPECT_EQ(layout.FindSymbolByName("alpha"), a);
    a->SetName("first");
    EXPECT_EQ(layout.FindSymbolByName("alpha"), b);
    ExpectIndexesAgree(layout, {"b"});

    // Renumbering.
    EXPECT_FALSE(layout.SetSymbolId(*b, 5)) << "taken";
    EXPECT_TRUE(layout.SetSymbolId(*b, 20));
    ExpectIndexesAgree(layout, {}, {2});
    EXPECT_EQ(layout.NextSymbolId(), 21);

    // A symbol becoming the main symbol takes id -1; the old main symbol goes.
    layout.MakeMainSymbol(*b);
    EXPECT_EQ(layout.MainSymbol(), b);
    EXPECT_EQ(b->Id(), -1);
    ExpectIndexesAgree(layout, {"MainSymbol"}, {20});

    EXPECT_TRUE(layout.DeleteSymbol(1));
    EXPECT_FALSE(layout.DeleteSymbol(1));
    ExpectIndexesAgree(layout, {"first"}, {1});

    layout.Clear();
    ASSERT_EQ(layout.Symbols().size(), 1u);
    ExpectIndexesAgree(layout, {"alpha", "a", ""}, {3, 5, 20});
    EXPECT_EQ(layout.FindSymbolByName("MainSymbol"), layout.MainSymbol());
}

TEST(SymbolIndex, UndoAndChoosingTheMainSymbolKeepTheIndexes) {
    Layout layout;
    SymbolDescription& main = *layout.MainSymbol();
    layout.AddSymbol(7, "seven")->AddRectangle(0, 0, 1, 1, 1);
    main.InsertSymbolCall(7, 0, 0);
    main.undo->BeginStep();
    main.DeleteRecord(main.FirstRecord());
    ASSERT_TRUE(layout.DeleteSymbol(7));
    ExpectIndexesAgree(layout, {"seven"}, {7});
    // Undoing the deletion of the call recreates the symbol it names.
    layout.Undo();
    SymbolDescription* recreated = layout.FindSymbol(7);
    ASSERT_NE(recreated, nullptr);
    EXPECT_EQ(layout.FindSymbolByName("Empty symbol 7"), recreated);
    EXPECT_FALSE(recreated->IsUnused()) << "the restored call counts";
    ExpectIndexesAgree(layout);

    // An empty main symbol gives way to the one unused symbol.
    Layout library;
    SymbolDescription* leaf = library.AddSymbol(1, "leaf");
    SymbolDescription* top = library.AddSymbol(2, "top");
    leaf->AddRectangle(0, 0, 5, 5, 1);
    top->InsertSymbolCall(1, 0, 0);
    library.ChooseMainSymbol();
    EXPECT_EQ(library.MainSymbol(), top);
    EXPECT_EQ(library.FindSymbol(-1), top);
    EXPECT_EQ(library.FindSymbolByName("top"), top);
    ExpectIndexesAgree(library, {"MainSymbol"}, {2});
    EXPECT_TRUE(top->CallsSymbol(1));
    EXPECT_FALSE(leaf->IsUnused());

    // A layout tool's context structure, read first, does not become the main
    // symbol while a design structure is there; alone it still does.
    for (const bool withDesign : {true, false}) {
        Layout written;
        SymbolDescription* context = written.AddSymbol(1, "$$$CONTEXT INFO$$$");
        context->AddRectangle(0, 0, 1, 1, 1);
        SymbolDescription* design = withDesign ? written.AddSymbol(2, "TOP") : nullptr;
        if (design) design->AddRectangle(0, 0, 9, 9, 1);
        written.ChooseMainSymbol();
        EXPECT_EQ(written.MainSymbol(), withDesign ? design : context);
    }
    // When the context structure calls the design's top, that top is taken.
    Layout onlyContext;
    SymbolDescription* top2 = onlyContext.AddSymbol(1, "MinMaxCircle");
    top2->AddRectangle(0, 0, 1, 1, 1);
    onlyContext.AddSymbol(2, "$$$CONTEXT INFO$$$")->InsertSymbolCall(1, 0, 0);
    onlyContext.ChooseMainSymbol();
    EXPECT_EQ(onlyContext.MainSymbol(), top2);
}

TEST(SymbolIndex, MainSymbolOfOneUntransformedCallUnlessAnotherSymbolCallsIt) {
    struct Case {
        const char* what;
        bool otherCaller;  // a third symbol calls the candidate, through a level
        bool chosen;
    };
    const Case cases[] = {
        {"only the main symbol calls it", false, true},
        {"another symbol calls it through a level", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Layout layout;
        SymbolDescription* cell = layout.AddSymbol(1, "cell");
        cell->AddRectangle(0, 0, 1, 1, 1);
        if (c.otherCaller) {
            layout.AddSymbol(2, "wrapper")->InsertSymbolCall(1, 0, 0);
            layout.AddSymbol(3, "outer")->InsertSymbolCall(2, 0, 0);
        }
        layout.MainSymbol()->InsertSymbolCallMatrix(1, {});
        layout.ChooseMainSymbol();
        EXPECT_EQ(layout.MainSymbol() == cell, c.chosen);
        ExpectIndexesAgree(layout);
    }
}

TEST(SymbolIndex, CyclesAreRefusedThroughSeveralLevels) {
    // a -> b (call) -> c (array) -> d (matrix call)
    Layout layout;
    SymbolDescription* a = layout.AddSymbol(1, "a");
    SymbolDescription* b = layout.AddSymbol(2, "b");
    SymbolDescription* c = layout.AddSymbol(3, "c");
    SymbolDescription* d = layout.AddSymbol(4, "d");
    ASSERT_TRUE(a->InsertSymbolCall(2, 0, 0));
    ASSERT_TRUE(b->InsertArray(3, {0, 0}, {20, 0}, {0, 20}, 2, 2, 1.0, 0.0));
    ASSERT_TRUE(c->InsertSymbolCallMatrix(4, {}));

    struct Case {
        SymbolDescription* into;
        std::int32_t callee;
        bool refused;
    };
    const Case cases[] = {
        {d, 1, true},  {d, 2, true},  {c, 1, true},   {b, 2, true}, {d, 4, true},  // itself
        {a, 4, false}, {a, 3, false}, {d, 99, false},                              // a shortcut, a missing symbol
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.into->Name() + " calls " + std::to_string(k.callee));
        for (int how = 0; how < 3; ++how) {
            ScopedMessageCapture messages;
            Word* r = how == 0   ? k.into->InsertSymbolCall(k.callee, 0, 0)
                      : how == 1 ? k.into->InsertSymbolCallMatrix(k.callee, {})
                                 : k.into->InsertArray(k.callee, {0, 0}, {10, 0}, {0, 10}, 1, 1, 1.0, 0.0);
            EXPECT_EQ(r == nullptr, k.refused) << "insertion " << how;
            EXPECT_EQ(messages.messages.size(), k.refused ? 1u : 0u);
        }
    }
    ExpectHierarchyAgrees(layout, {99});

    // Once b no longer calls c (and a calls only b again), d may call a.
    for (SymbolDescription* s : {a, b}) {
        for (Word* r = s->FirstRecord(); r;) r = s->DeleteRecord(r);
        s->RebuildChildren();
    }
    ASSERT_TRUE(a->InsertSymbolCall(2, 0, 0));
    ScopedMessageCapture messages;
    EXPECT_NE(d->InsertSymbolCall(1, 0, 0), nullptr);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(c->CallsSymbol(2)) << "c -> d -> a -> b";
    ExpectHierarchyAgrees(layout, {99});
}

TEST(SymbolIndex, CallsOfAnIdKnowTheSymbolThatTakesItLater) {
    // Calls name ids: a symbol created later under a called id is called, and
    // one renumbered away from it no longer is.
    Layout layout;
    SymbolDescription* top = layout.AddSymbol(1, "top");
    ASSERT_TRUE(top->InsertSymbolCall(50, 0, 0));
    SymbolDescription* late = layout.AddSymbol(50, "late");
    EXPECT_FALSE(late->IsUnused());
    ScopedMessageCapture messages;
    EXPECT_EQ(late->InsertSymbolCall(1, 0, 0), nullptr) << "top -> late -> top";
    EXPECT_EQ(messages.messages.size(), 1u);

    ASSERT_TRUE(layout.SetSymbolId(*late, 51));
    EXPECT_TRUE(late->IsUnused());
    EXPECT_NE(late->InsertSymbolCall(1, 0, 0), nullptr);
    EXPECT_TRUE(late->CallsSymbol(50)) << "through top's call of the id nobody has";
    ExpectHierarchyAgrees(layout, {50});

    // A symbol that goes takes its calls with it; the calls of its id stay.
    ASSERT_TRUE(layout.DeleteSymbol(51));
    EXPECT_TRUE(top->IsUnused());
    ASSERT_NE(layout.AddSymbol(51, "again"), nullptr);
    EXPECT_TRUE(layout.FindSymbol(51)->IsUnused());
    ExpectHierarchyAgrees(layout, {50});
}

TEST(SymbolIndex, RandomHierarchiesAgreeWithPlainWalks) {
    // Random insertions (refused ones included), deletions of records and of
    // symbols, renumbering and damaged records that close cycles.
    std::mt19937 random(20261210);
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        ScopedMessageCapture messages;
        Layout layout;
        const int count = 40;
        for (int id = 1; id <= count; ++id) layout.AddSymbol(id, "s" + std::to_string(id));
        auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
        auto anySymbol = [&]() -> SymbolDescription* {
            const auto& symbols = layout.Symbols();
            return symbols[static_cast<std::size_t>(pick(static_cast<int>(symbols.size())))].get();
        };
        for (int step = 0; step < 400; ++step) {
            SymbolDescription* s = anySymbol();
            switch (pick(10)) {
                case 0:
                    if (s->FirstRecord()) {
                        s->DeleteRecord(s->FirstRecord());
                        s->RebuildChildren();
                    }
                    break;
                case 1:
                    if (s != layout.MainSymbol() && pick(4) == 0) layout.DeleteSymbol(s->Id());
                    break;
                case 2:
                    if (s != layout.MainSymbol()) layout.SetSymbolId(*s, 1 + pick(count + 10));
                    break;
                case 3:
                    // A rewritten record that closes a cycle, as a damaged file can.
                    if (Word* r = s->FirstRecord(); r && IsCallKind(RecordKind(r))) {
                        PlacementView(r).SetSymbolId(anySymbol()->Id());
                        s->RebuildChildren();
                    }
                    break;
                default: s->InsertArray(pick(count + 5) - 1, {0, 0}, {10, 0}, {0, 10}, 1, 1, 1.0, 0.0); break;
            }
        }
        ExpectHierarchyAgrees(layout, {count + 1, count + 2});
        ExpectIndexesAgree(layout);
    }
}

TEST(SymbolIndex, BoundsOfAVeryDeepHierarchy) {
    // A chain of symbols each placing the one before: the boxes are computed
    // without one level of recursion per level of the hierarchy.
    Layout layout;
    const int depth = 100000;
    SymbolDescription* leaf = layout.AddSymbol(1, "leaf");
    leaf->AddRectangle(0, 0, 10, 10, 1);
    for (int id = 2; id <= depth; ++id) {
        SymbolDescription* s = layout.AddSymbol(id, "s" + std::to_string(id));
        ASSERT_NE(s, nullptr);
        s->growStep = 16;
        ASSERT_NE(s->InsertSymbolCall(id - 1, 1, 0), nullptr);
        s->boundsValid = false;
    }
    SymbolDescription& main = *layout.MainSymbol();
    ASSERT_NE(main.InsertSymbolCall(depth, 0, 0), nullptr);
    main.boundsValid = false;
    main.EnsureBounds();
    EXPECT_EQ(main.Bounds(), (Rect{depth - 1, 0, depth - 1 + 10, 10}));
    EXPECT_EQ(layout.FindSymbol(depth / 2)->Bounds(), (Rect{depth / 2 - 1, 0, depth / 2 - 1 + 10, 10}));
}
