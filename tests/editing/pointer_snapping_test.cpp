#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

#include "display/Grid.h"
#include "editing/PointerSnapping.h"

using namespace zandor;

namespace {

// A 1 µm grid seen at 10 pixels a micrometre: guidelines reach 1001 nm.
class PointerSnappingTest : public ::testing::Test {
protected:
    void SetUp() override { grid.SetSpacing(1000); }
    PointerSnapper Snapper(bool guidelines, double sx = 0.01) const {
        return PointerSnapper{grid, vGuides, hGuides, sx, guidelines, false};
    }
    Grid grid;
    std::vector<std::int32_t> vGuides{3000, 5200, 5400, 9000};
    std::vector<std::int32_t> hGuides{-2500};
};

TEST_F(PointerSnappingTest, GuidelineReachIsTenPixelsPlusOneUnit) {
    EXPECT_EQ(Snapper(true, 0.01).GuidelineReach(), 1001);
    EXPECT_EQ(Snapper(true, 0.3).GuidelineReach(), 34);  // 33.3 rounds to 33
    EXPECT_EQ(Snapper(true, 4).GuidelineReach(), 4);     // 2.5 rounds away to 3
    EXPECT_EQ(Snapper(true, 0).GuidelineReach(), 1);
    EXPECT_EQ(Snapper(true, std::numeric_limits<double>::quiet_NaN()).GuidelineReach(), 1);
}

TEST_F(PointerSnappingTest, WithoutGuidelinesOnlyTheGridRounds) {
    const PointerSnapper snapper = Snapper(false);
    EXPECT_EQ(snapper.SnapPoint({1499, -1500}), (Point{1000, -2000}));
    EXPECT_EQ(snapper.SnapPoint({1500, 2499}), (Point{2000, 2000}));
    EXPECT_EQ(snapper.SnapX(-499), 0);
    EXPECT_EQ(snapper.SnapX(5300), 5000) << "a guideline at 5200 is ignored while the switch is off";
    EXPECT_EQ(snapper.SnapY(-2600), -3000);
    std::int32_t out = 77;
    EXPECT_FALSE(snapper.GuideSnapX(5200, out));
    EXPECT_EQ(out, 77);

    grid.snap = false;  // the fine raster of one unit
    EXPECT_EQ(snapper.SnapPoint({1234, -567}), (Point{1234, -567}));
}

TEST_F(PointerSnappingTest, GuidelinesInTheWindowReplaceTheGridValue) {
    const PointerSnapper snapper = Snapper(true);
    struct Case {
        std::int32_t x, expected;
        const char* why;
    } cases[] = {
        {4300, 5200, "the only guideline in [3299, 5301], although the grid value 4000 is nearer"},
        {5300, 5200, "5200 and 5400 equally near: the first one stays"},
        {5350, 5400, "the nearer later guideline replaces the first"},
        {7000, 7000, "none in [5999, 8001]"},
        {7998, 8000, "9000 just outside [6997, 8999]"},
        {7999, 9000, "9000 on the window's end"},
        {2000, 3000, "the window [999, 3001] reaches 3000"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(snapper.SnapX(c.x), c.expected) << c.x << ": " << c.why;
        EXPECT_EQ(snapper.SnapPoint({c.x, 0}).X, c.expected) << c.x;
    }
    EXPECT_EQ(snapper.SnapY(-3100), -2500) << "horizontal guidelines for y";
    EXPECT_EQ(snapper.SnapY(5300), 5000) << "vertical guidelines are not used for y";
    EXPECT_EQ(snapper.SnapPoint({5350, -3100}), (Point{5400, -2500}));
}

TEST_F(PointerSnappingTest, TheWindowStretchesToTheGridValue) {
    // At 1 pixel a unit the reach is 11 units, but the window always covers
    // the grid-rounded value.
    vGuides = {1100};
    const PointerSnapper snapper = Snapper(true, 1);
    EXPECT_EQ(snapper.SnapX(1400), 1100) << "window [1000, 1411]";
    EXPECT_EQ(snapper.SnapX(1600), 2000) << "window [1589, 2000]";
    EXPECT_EQ(snapper.SnapX(1105), 1100);
}

TEST_F(PointerSnappingTest, GuideSnapTellsWhetherAGuidelineWasFound) {
    const PointerSnapper snapper = Snapper(true);
    std::int32_t out = 1;
    EXPECT_TRUE(snapper.GuideSnapX(8500, out));
    EXPECT_EQ(out, 9000);
    out = 1;
    EXPECT_FALSE(snapper.GuideSnapX(7000, out));
    EXPECT_EQ(out, 1) << "untouched when nothing is found";
    EXPECT_TRUE(snapper.GuideSnapY(-1600, out));
    EXPECT_EQ(out, -2500);
    EXPECT_FALSE(snapper.GuideSnapY(-4000, out));
}

TEST_F(PointerSnappingTest, UnsortedGuidelinesGiveTheSameResultAsSorted) {
    vGuides = {9000, 5400, 3000, 5200};
    const PointerSnapper snapper = Snapper(true);
    EXPECT_EQ(snapper.SnapX(5300), 5200);
    EXPECT_EQ(snapper.SnapX(5350), 5400);
    EXPECT_EQ(snapper.SnapX(4300), 5200);
}

TEST_F(PointerSnappingTest, SnapVectorUsesTheGridOnly) {
    const PointerSnapper snapper = Snapper(true);
    EXPECT_EQ(snapper.SnapVector({5300, -2600}), (Point{5000, -3000}));
    EXPECT_EQ(snapper.SnapVector({-500, 499}), (Point{-1000, 0}));
}

TEST_F(PointerSnappingTest, OrthoSnapFollowsTheSlopesOneHalfAndTwo) {
    PointerSnapper snapper = Snapper(false);
    const Point anchor{1000, 1000};
    EXPECT_EQ(snapper.OrthoSnap(anchor, {1100, 1049}), (Point{1100, 1049})) << "switch off";
    snapper.snapOrtho = true;
    struct Case {
        std::int32_t ox, oy, ex, ey;
    } cases[] = {
        {100, 49, 100, 0},        // 2*49 < 100: horizontal
        {100, 50, 100, 100},      // slope 1/2 exactly: diagonal
        {-100, 50, -100, 100},    // signs kept
        {100, -60, 100, -100},    //
        {50, 100, 100, 100},      // slope 2 exactly: diagonal
        {-50, -100, -100, -100},  //
        {-49, -100, 0, -100},     // steeper: vertical
        {0, 5, 0, 5},             //
        {5, 0, 5, 0},             //
        {0, 0, 0, 0},             //
    };
    for (const Case& c : cases) {
        EXPECT_EQ(snapper.OrthoSnap(anchor, {1000 + c.ox, 1000 + c.oy}), (Point{1000 + c.ex, 1000 + c.ey}))
            << "offset (" << c.ox << ", " << c.oy << ")";
    }
    EXPECT_EQ(snapper.OrthoSnap({2147483000, 0}, {2147483400, 700}), (Point{2147483647, 700}))
        << "saturates at the coordinate range";
}

}  // namespace
