#include <gtest/gtest.h>
#include <memory>

#include "editing/HitTesting.h"
#include "model/LayerDescription.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "model/SymbolDescription.h"

using namespace zandor;

namespace {

// 10 pixels a micrometre: a point pick searches 26, 52, then 104 nm around.
class HitTestingTest : public ::testing::Test {
protected:
    void SetUp() override {
        layout.view.sx = layout.view.sy = 0.1;
        for (int i = 1; i <= 3; ++i) layout.SetLayer(std::make_unique<LayerDescription>(i, ""));
        main = layout.MainSymbol();
    }
    Layout layout;
    SymbolDescription* main = nullptr;
};

TEST_F(HitTestingTest, ObjectsAreFoundByTheirCharacteristicPoints) {
    Word* rect = main->AddRectangle(0, 0, 10000, 10000, 1);
    const std::int32_t rectOffset = main->OffsetOf(rect);
    EXPECT_EQ(FindObjectAt(*main, 5000, 5000, 0), nullptr) << "inside, far from the corners";
    EXPECT_EQ(layout.view.pickTolerance, 8 * 26);
    ASSERT_NE(FindObjectAt(*main, 10030, 9970, 0), nullptr) << "near a corner";
    EXPECT_EQ(layout.view.pickTolerance, 2 * 52);

    main->AddCircle(50000, 50000, 20000, 1);
    Word* circle = FindObjectAt(*main, 50010, 50010, 0);
    ASSERT_NE(circle, nullptr);
    EXPECT_EQ(RecordKind(circle), ObjectKind::Circle) << "near the centre";
    EXPECT_NE(FindObjectAt(*main, 70010, 50000, 0), nullptr) << "on the outline";
    EXPECT_EQ(FindObjectAt(*main, 60000, 50000, 0), nullptr) << "halfway";

    // A ring is found up to its full width away from its mid radius.
    main->AddRing(200000, 0, 10000, 1000, 1);
    EXPECT_NE(FindObjectAt(*main, 210900, 0, 0), nullptr);
    EXPECT_EQ(FindObjectAt(*main, 211200, 0, 0), nullptr);

    // Of two objects near the click, the earlier one in the list.
    const Point a[3] = {{0, 100000}, {5000, 100000}, {0, 105000}};
    const Point b[3] = {{20, 100020}, {6000, 100000}, {0, 106000}};
    Word* first = main->AddPolygon(a, 3, 2);
    const std::int32_t firstOffset = main->OffsetOf(first);
    main->AddPolygon(b, 3, 2);
    Word* found = FindObjectAt(*main, 10, 100010, 0);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(main->OffsetOf(found), firstOffset);
    (void)rectOffset;
}

TEST_F(HitTestingTest, LayersFiltersAndLockedSymbols) {
    SymbolDescription* cell = layout.AddSymbol(1, "cell");
    cell->AddRectangle(0, 0, 1000, 1000, 1);
    main->InsertSymbolCall(1, 0, 0);
    main->AddRectangle(0, 0, 500, 500, 2);
    main->AddRectangle(0, 0, 800, 800, 3);

    const SelectFilter lock = MakeSelectFilter(3, true, false);
    Word* found = FindObjectAt(*main, 0, 0, lock);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(RecordKind(found), ObjectKind::Rectangle) << "locked symbols are passed over";
    EXPECT_EQ(RecordKind(FindObjectAt(*main, 0, 0, 0)), ObjectKind::SymbolCall);

    const SelectFilter single = MakeSelectFilter(3, false, true);
    found = FindObjectAt(*main, 500, 500, single);
    EXPECT_EQ(found, nullptr) << "the layer-2 corner is not on the current layer";
    found = FindObjectAt(*main, 1000, 1000, single);
    ASSERT_NE(found, nullptr) << "calls are found on any layer";
    EXPECT_EQ(RecordKind(found), ObjectKind::SymbolCall);

    layout.Layer(2)->visible = 0;
    layout.Layer(3)->locked = 1;
    EXPECT_EQ(FindObjectAt(*main, 500, 500, lock), nullptr);
    EXPECT_EQ(FindObjectAt(*main, 800, 800, lock), nullptr);

    // A call of a symbol that is gone is never found.
    ASSERT_TRUE(layout.DeleteSymbol(1));
    EXPECT_EQ(FindObjectAt(*main, 1000, 1000, 0), nullptr);
}

TEST_F(HitTestingTest, RectangleSelectionInEnclosedAndTouchMode) {
    const Point path[3] = {{1000, 1000}, {5000, 1000}, {5000, 5000}};
    main->AddWire(path, 3, 4000, 0, 1);  // its width sticks out of the rectangle
    main->AddRectangle(4000, 4000, 20000, 20000, 1);
    const Rect r{0, 0, 6000, 6000};
    EXPECT_EQ(SelectInRect(*main, r, 0, true), main->FirstRecord());
    EXPECT_EQ(main->selectedCount, 1) << "enclosed: only the wire";
    main->DeselectAll();
    SelectInRect(*main, r, 0, false);
    EXPECT_EQ(main->selectedCount, 2) << "touch: the rectangle's corner lies in it";

    // A click toggles.
    main->DeselectAll();
    EXPECT_NE(PickToggle(*main, 1000, 1000, 0), nullptr);
    EXPECT_EQ(main->selectedCount, 1);
    PickToggle(*main, 1000, 1000, 0);
    EXPECT_EQ(main->selectedCount, 0);
    EXPECT_EQ(main->statusText, "No selected objects");
}

}  // namespace

// A box's corners are found where drawing and the writers put them: rounded
// half away from zero, not truncated.  A 3 x 1 box at the origin has its
// corners at (+-1.5, +-0.5), which round to (+-2, +-1).
TEST_F(HitTestingTest, BoxCornersRoundLikeEverywhereElse) {
    Word* box = main->AddBox(0, 0, 3, 1, 0.0, 1);
    EXPECT_TRUE(ObjectHitsRect(*main, box, {2, 1, 2, 1}, false));
    EXPECT_TRUE(ObjectHitsRect(*main, box, {-2, -1, -2, -1}, false));
    EXPECT_FALSE(ObjectHitsRect(*main, box, {1, 0, 1, 0}, false)) << "a truncated corner";
}
