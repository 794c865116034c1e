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

// 5 pixels, rounded, in x and in y; the first node in list order wins.
TEST(NodePick, FindsTheFirstNodeWithinFivePixels) {
    const std::vector<Point> nodes = {{0, 0}, {100, 0}, {100, 100}};
    const struct {
        double sx;
        std::int32_t x, y;
        int expected;
    } cases[] = {
        {0.1, 40, 10, 0}, {0.1, 60, 0, 1}, {0.1, 50, 50, 0}, {0.1, 75, 75, 2}, {0.1, 200, 200, -1},
        {1.0, 4, 5, 0},   {1.0, 6, 0, -1}, {0.3, 17, 0, 0},  {0.3, 18, 0, -1}, {0.1, -50, -50, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FindNodeAt(nodes, c.x, c.y, c.sx), c.expected) << c.sx << " " << c.x << "," << c.y;
    }
    EXPECT_EQ(FindNodeAt({}, 0, 0, 0.1), -1);
}

// At 10 pixels a micrometre the frame reaches 51 nm around its edges.
TEST(SelectionFrame, ZonesAndCursors) {
    const Rect frame{0, 0, 10000, 10000};
    const Rect narrow{0, 0, 60, 10000};
    const struct {
        const char* name;
        Rect frame;
        std::int32_t x, y;
        bool ctrl, single;
        int expected;
    } cases[] = {
        {"far outside", frame, 20000, 5000, false, false, kCursorArrow},
        {"just beyond the reach", frame, 10051, 5000, false, false, kCursorArrow},
        {"below the reach", frame, 5000, -51, false, false, kCursorArrow},
        {"inside", frame, 5000, 5000, false, false, kCursorMove},
        {"inside with ctrl", frame, 5000, 5000, true, true, kCursorMove},
        {"lower left corner", frame, 0, 0, false, false, kCursorScaleSwNe},
        {"upper right corner", frame, 10050, 10050, false, false, kCursorScaleSwNe},
        {"upper left corner", frame, 0, 10000, false, true, kCursorScaleNwSe},
        {"lower right corner", frame, 10000, -50, false, false, kCursorScaleNwSe},
        {"corner with ctrl", frame, 0, 0, true, false, kCursorRotate},
        {"corner with ctrl, one rectangle", frame, 10000, 10000, true, true, kCursorRotate},
        {"left edge, one rectangle", frame, 0, 6000, false, true, kCursorStretchWe},
        {"right edge with ctrl", frame, 10000, 6000, true, false, kCursorStretchWe},
        {"left edge, upper half", frame, 0, 6000, false, false, kCursorScaleNwSe},
        {"left edge, lower half", frame, 0, 4000, false, false, kCursorScaleSwNe},
        {"right edge, upper half", frame, 10050, 6000, false, false, kCursorScaleSwNe},
        {"right edge, middle", frame, 10000, 5000, false, false, kCursorScaleNwSe},
        {"top edge, one rectangle", frame, 5000, 10000, false, true, kCursorStretchNs},
        {"bottom edge with ctrl", frame, 5000, 0, true, false, kCursorStretchNs},
        {"top edge, left half", frame, 4000, 10000, false, false, kCursorScaleNwSe},
        {"top edge, right half", frame, 6000, 10000, false, false, kCursorScaleSwNe},
        {"bottom edge, left half", frame, 4000, 0, false, false, kCursorScaleSwNe},
        {"narrow: between both sides", narrow, 30, 5000, false, true, kCursorMove},
        {"narrow: top between both sides", narrow, 30, 10000, false, true, kCursorStretchNs},
        {"narrow: left of both sides", narrow, -20, 5000, false, true, kCursorStretchWe},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SelectionFrameZone(c.frame, c.x, c.y, 0.1, c.ctrl, c.single), c.expected) << c.name;
    }
}

// Clicking again at one place walks through the objects stacked there in list
// order and starts over; a click where nothing else lies keeps the current one.
TEST_F(HitTestingTest, PickNextCyclesThroughStackedObjects) {
    const Word* a = main->AddRectangle(0, 0, 1000, 1000, 1);
    const std::int32_t offsets[3] = {main->OffsetOf(a), main->OffsetOf(main->AddRectangle(0, 0, 2000, 500, 2)),
                                     main->OffsetOf(main->AddRectangle(0, 0, 700, 3000, 1))};
    main->AddRectangle(50000, 50000, 60000, 60000, 1);
    EXPECT_EQ(PickNext(*main, 0, 0, 0), nullptr) << "no current object";
    EXPECT_EQ(main->selectedCount, 0);

    ASSERT_NE(PickToggle(*main, 0, 0, 0), nullptr);
    EXPECT_EQ(main->currentObject, offsets[0]);
    for (const int expected : {1, 2, 0, 1}) {
        Word* next = PickNext(*main, 10, -10, 0);
        ASSERT_NE(next, nullptr);
        EXPECT_EQ(main->OffsetOf(next), offsets[expected]);
        EXPECT_EQ(main->currentObject, offsets[expected]);
        EXPECT_EQ(main->selectedCount, 1) << "the one before gave way";
    }
    // Only layer 1 may be picked: the rectangle on layer 2 is stepped over.
    const SelectFilter layer1 = MakeSelectFilter(1, false, true);
    EXPECT_EQ(main->OffsetOf(PickNext(*main, 0, 0, layer1)), offsets[2]);
    EXPECT_EQ(main->OffsetOf(PickNext(*main, 0, 0, layer1)), offsets[0]);
    // Far from everything the current object stays.
    EXPECT_EQ(main->OffsetOf(PickNext(*main, 30000, 30000, 0)), offsets[0]);
    EXPECT_EQ(main->selectedCount, 1);

    main->DeselectAll();
    Word* picked = PickCurrent(*main, 50000, 60000, 0);
    ASSERT_NE(picked, nullptr);
    EXPECT_EQ(main->currentObject, main->OffsetOf(picked));
    EXPECT_EQ(main->currentKind, static_cast<int>(ObjectKind::Rectangle));
    EXPECT_EQ(main->currentLayer, 1);
    EXPECT_TRUE(IsSelected(picked));
    EXPECT_EQ(PickCurrent(*main, 30000, 30000, 0), nullptr);
}
