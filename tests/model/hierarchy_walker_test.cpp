#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "model/HierarchyWalker.h"
#include "model/Layout.h"
#include "model/RecordViews.h"

using namespace zandor;

namespace {

// Records every rectangle's first corner in top coordinates, with its level.
struct Corners : WalkVisitor {
    void Object(const Word* r, const TransformMatrix& m, int level) {
        if (RecordKind(r) != ObjectKind::Rectangle) return;
        Point p = RectangleView(r).Corner1();
        TransformPoints(&p, 1, m);
        seen.push_back({p, level});
    }
    struct Seen {
        Point at;
        int level;
        friend bool operator==(const Seen&, const Seen&) = default;
    };
    std::vector<Seen> seen;
};

// Enters no call.
struct Closed : Corners {
    template <typename R, typename S>
    bool EnterCall(R*, S*, const TransformMatrix&, const TransformMatrix&, int) {
        ++calls;
        return false;
    }
    int calls = 0;
};

// Stops after two rectangles.
struct Stopping : Corners {
    bool Stopped() const { return seen.size() >= 2; }
};

}  // namespace

// A call of a symbol that holds a 2 x 1 array: the array's elements are
// composed with the call's matrix, and every record comes with its level.
TEST(HierarchyWalker, ComposesCallsAndArrayElements) {
    Layout layout;
    SymbolDescription& top = *layout.MainSymbol();
    SymbolDescription& leaf = *layout.AddSymbol(1, "leaf");
    SymbolDescription& row = *layout.AddSymbol(2, "row");
    leaf.AddRectangle(1, 2, 3, 4, 0);
    row.InsertArray(1, {0, 0}, {200, 0}, {0, 50}, 2, 1, 1.0, 0.0);
    row.AddRectangle(-7, -8, 0, 0, 0);
    top.InsertSymbolCallMatrix(2, {0, 1, -1, 0, 1000, 0});  // a quarter turn, then a move
    top.AddRectangle(5, 6, 7, 8, 0);

    Corners corners;
    EXPECT_TRUE(HierarchyWalker(layout).Walk(top, TransformMatrix{}, corners));
    // (x, y) -> (1000 - y, x) for what the call places.
    const std::vector<Corners::Seen> expected = {{{998, 1}, 2}, {{998, 101}, 2}, {{1008, -7}, 1}, {{5, 6}, 0}};
    EXPECT_EQ(corners.seen, expected);
}

// A damaged file can make a symbol call itself, directly or through an
// array; the walk enters it once and goes on with the rest.
TEST(HierarchyWalker, EntersNoSymbolThatIsAlreadyOpen) {
    Layout layout;
    SymbolDescription& top = *layout.MainSymbol();
    SymbolDescription& a = *layout.AddSymbol(1, "a");
    SymbolDescription& b = *layout.AddSymbol(2, "b");
    a.AddRectangle(0, 0, 1, 1, 0);
    b.AddRectangle(0, 0, 2, 2, 0);
    top.InsertSymbolCall(1, 0, 0);
    top.InsertSymbolCall(2, 0, 0);
    // The insertion refuses cycles, so b places a stand-in that is then
    // pointed back at a, once by a call and once by an array.
    layout.AddSymbol(3, "stand-in");
    ASSERT_NE(a.InsertSymbolCall(2, 0, 0), nullptr);
    Word* loop = b.InsertSymbolCall(3, 0, 0);
    ASSERT_NE(loop, nullptr);
    CallView(loop).SetSymbolId(1);
    Word* back = b.InsertArray(3, {0, 0}, {10, 0}, {0, 10}, 1, 1, 1.0, 0.0);
    ASSERT_NE(back, nullptr);
    ArrayView(back).SetSymbolId(1);

    Corners corners;
    HierarchyWalker walker(layout);
    EXPECT_TRUE(walker.Walk(top, TransformMatrix{}, corners));
    // top -> a -> b, where b's call and array of a are skipped; then
    // top -> b -> a (by the call) and b -> a (by the array), where a's call
    // of b is skipped each time.
    EXPECT_EQ(walker.CyclesSkipped(), 4);
    const std::vector<Corners::Seen> expected = {{{0, 0}, 1}, {{0, 0}, 2}, {{0, 0}, 1}, {{0, 0}, 2}, {{0, 0}, 2}};
    EXPECT_EQ(corners.seen, expected);
}

// A visitor can leave calls closed and stop the walk.
TEST(HierarchyWalker, VisitorDecidesWhatToEnterAndWhenToStop) {
    Layout layout;
    SymbolDescription& top = *layout.MainSymbol();
    SymbolDescription& leaf = *layout.AddSymbol(1, "leaf");
    leaf.AddRectangle(0, 0, 1, 1, 0);
    for (int k = 0; k < 5; ++k) top.InsertSymbolCall(1, 10 * k, 0);
    top.InsertArray(1, {0, 0}, {10, 0}, {0, 10}, 3, 3, 0.0, 0.0);  // magnification 0: ignored

    Closed closed;
    HierarchyWalker(layout).Walk(top, TransformMatrix{}, closed);
    EXPECT_EQ(closed.calls, 5);
    EXPECT_TRUE(closed.seen.empty());

    Stopping stopping;
    EXPECT_FALSE(HierarchyWalker(layout).Walk(top, TransformMatrix{}, stopping));
    EXPECT_EQ(stopping.seen.size(), 2u);
}

// Array elements come column by column unless the visitor asks for rows.
TEST(HierarchyWalker, ArrayElementsByColumnOrByRow) {
    Layout layout;
    SymbolDescription& top = *layout.MainSymbol();
    layout.AddSymbol(1, "leaf")->AddRectangle(0, 0, 1, 1, 0);
    top.InsertArray(1, {0, 0}, {20, 0}, {0, 20}, 2, 2, 1.0, 0.0);
    struct ByRow : Corners {
        static constexpr bool RowByRow() { return true; }
    };

    Corners byColumn;
    HierarchyWalker(layout).Walk(top, TransformMatrix{}, byColumn);
    const std::vector<Corners::Seen> columnOrder = {{{0, 0}, 1}, {{0, 10}, 1}, {{10, 0}, 1}, {{10, 10}, 1}};
    EXPECT_EQ(byColumn.seen, columnOrder);

    ByRow byRow;
    HierarchyWalker(layout).Walk(top, TransformMatrix{}, byRow);
    const std::vector<Corners::Seen> rowOrder = {{{0, 0}, 1}, {{10, 0}, 1}, {{0, 10}, 1}, {{10, 10}, 1}};
    EXPECT_EQ(byRow.seen, rowOrder);
}
