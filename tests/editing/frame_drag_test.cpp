#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "display/Grid.h"
#include "editing/FrameDrag.h"
#include "editing/HitTesting.h"

using namespace zandor;

namespace {

// A 1 µm grid at 10 pixels a micrometre: the edges of the frame reach 501 nm.
class FrameDragTest : public ::testing::Test {
protected:
    void SetUp() override { grid.SetSpacing(1000); }
    PointerSnapper Snapper() const { return PointerSnapper{grid, vGuides, hGuides, 0.01, guidelines, false}; }
    FrameDrag Drag(const Rect& frame, int zone, Point press, Point pointer, bool shift = false, bool ctrl = false) {
        FrameDrag drag = StartFrameDrag(frame, zone, press, 0.01);
        DragFrameTo(drag, pointer, shift, ctrl, Snapper());
        return drag;
    }
    Grid grid;
    std::vector<std::int32_t> vGuides;
    std::vector<std::int32_t> hGuides;
    bool guidelines = false;
};

const Rect kFrame{0, 0, 10000, 5000};

TEST_F(FrameDragTest, ThePressPicksTheEdgesWithinReach) {
    struct Case {
        Rect frame;
        int zone;
        Point press;
        bool left, right, bottom, top;
    } cases[] = {
        {kFrame, kCursorMove, {5000, 2500}, true, true, true, true},
        {kFrame, kCursorStretchWe, {10300, 2500}, false, true, false, false},
        {kFrame, kCursorStretchWe, {-500, 2500}, true, false, false, false},
        {kFrame, kCursorScaleNwSe, {-400, 5400}, true, false, false, true},
        {kFrame, kCursorScaleSwNe, {10000, 3000}, false, true, false, false},  // a side edge standing for a corner
        {kFrame, kCursorRotate, {10200, -300}, false, true, true, false},
        {kFrame, kCursorStretchWe, {10501, 2500}, false, false, false, false},
        // Narrower than the reach: the two sides both in reach cancel.
        {{0, 0, 600, 5000}, kCursorStretchNs, {300, 5200}, false, false, false, true},
    };
    for (const Case& c : cases) {
        const FrameDrag drag = StartFrameDrag(c.frame, c.zone, c.press, 0.01);
        EXPECT_EQ(drag.left, c.left) << c.press;
        EXPECT_EQ(drag.right, c.right) << c.press;
        EXPECT_EQ(drag.bottom, c.bottom) << c.press;
        EXPECT_EQ(drag.top, c.top) << c.press;
        EXPECT_EQ(drag.dx, 0);
        EXPECT_EQ(drag.angle, 0);
        EXPECT_FALSE(drag.constrain);
    }
}

struct FrameCase {
    const char* name;
    Rect frame;
    int zone;
    Point press, pointer;
    bool shift, ctrl;
    std::int32_t x1, y1, x2, y2;
    double fx, fy, originX, originY;
};

void ExpectFrame(const DraggedFrame& f, const FrameCase& c) {
    EXPECT_EQ(f.x1, c.x1) << c.name;
    EXPECT_EQ(f.y1, c.y1) << c.name;
    EXPECT_EQ(f.x2, c.x2) << c.name;
    EXPECT_EQ(f.y2, c.y2) << c.name;
    EXPECT_DOUBLE_EQ(f.fx, c.fx) << c.name;
    EXPECT_DOUBLE_EQ(f.fy, c.fy) << c.name;
    EXPECT_DOUBLE_EQ(f.originX, c.originX) << c.name;
    EXPECT_DOUBLE_EQ(f.originY, c.originY) << c.name;
}

TEST_F(FrameDragTest, MovingShiftsTheFrameBySnappedSteps) {
    const Rect offGrid{150, 250, 10150, 5250};
    // clang-format off
    const FrameCase cases[] = {
        {"grid step", kFrame, kCursorMove, {5000, 2500}, {7400, 3600}, false, false,
         2000, 1000, 12000, 6000, 1, 1, 5000, 2500},
        {"Ctrl keeps the larger component", kFrame, kCursorMove, {5000, 2500}, {7400, 3600}, false, true,
         2000, 0, 12000, 5000, 1, 1, 5000, 2500},
        {"Ctrl, vertical", kFrame, kCursorMove, {5000, 2500}, {5300, -1200}, false, true,
         0, -4000, 10000, 1000, 1, 1, 5000, 2500},
        {"off-grid frame, grid steps", offGrid, kCursorMove, {5000, 2500}, {7400, 3600}, false, false,
         2150, 1250, 12150, 6250, 1, 1, 5150, 2750},
        {"Shift: lower-left corner on the grid", offGrid, kCursorMove, {5000, 2500}, {7400, 3600}, true, false,
         3000, 1000, 13000, 6000, 1, 1, 5150, 2750},
    };
    // clang-format on
    for (const FrameCase& c : cases) {
        const FrameDrag drag = Drag(c.frame, c.zone, c.press, c.pointer, c.shift, c.ctrl);
        ExpectFrame(DragFrame(drag, Snapper()), c);
    }
}

TEST_F(FrameDragTest, AMovedEdgeLandsOnAGuideline) {
    guidelines = true;
    vGuides = {12600};
    hGuides = {1200};
    // Left edge 2400 finds nothing, the right edge 12400 finds 12600; the
    // bottom edge 1100 finds 1200.
    EXPECT_EQ(SnapMoveDisplacement(kFrame, 2400, 1100, false, Snapper()), (Point{2600, 1200}));
    vGuides = {2300, 12600};
    EXPECT_EQ(SnapMoveDisplacement(kFrame, 2400, 1100, false, Snapper()), (Point{2300, 1200}))
        << "the left edge is tried first";
    hGuides = {};
    EXPECT_EQ(SnapMoveDisplacement(kFrame, 2400, 1100, false, Snapper()), (Point{2300, 1000}))
        << "y without a guideline takes the grid step";
    EXPECT_EQ(SnapMoveDisplacement({150, 250, 10150, 5250}, 2400, 1100, true, Snapper()), (Point{2150, 750}))
        << "with Shift the lower-left corner goes to the grid: 1350 -> 1000";
    hGuides = {5600};
    EXPECT_EQ(SnapMoveDisplacement(kFrame, 2400, 1100, false, Snapper()), (Point{2300, 600}))
        << "the top edge 6100 finds 5600";

    const FrameDrag drag = Drag(kFrame, kCursorMove, {5000, 2500}, {7400, 3600});
    EXPECT_EQ(drag.dx, 2300);
    EXPECT_EQ(drag.dy, 600);
}

TEST_F(FrameDragTest, StretchingMovesTheDraggedEdges) {
    // clang-format off
    const FrameCase cases[] = {
        {"right", kFrame, kCursorStretchWe, {10000, 2500}, {12300, 2900}, false, false,
         0, 0, 12000, 5000, 1.2, 1, 0, 0},
        {"right, Shift", kFrame, kCursorStretchWe, {10000, 2500}, {12300, 2900}, true, false,
         -2000, 0, 12000, 5000, 1.4, 1, 5000, 0},
        {"left", kFrame, kCursorStretchWe, {0, 2500}, {-1700, 2500}, false, false,
         -2000, 0, 10000, 5000, 1.2, 1, 10000, 0},
        {"left, Shift", kFrame, kCursorStretchWe, {0, 2500}, {-1700, 2500}, true, false,
         -2000, 0, 12000, 5000, 1.4, 1, 5000, 0},
        {"top", kFrame, kCursorStretchNs, {5000, 5000}, {5000, 7600}, false, false,
         0, 0, 10000, 8000, 1, 1.6, 0, 0},
        {"top, Shift", kFrame, kCursorStretchNs, {5000, 5000}, {5000, 7600}, true, false,
         0, -3000, 10000, 8000, 1, 2.2, 0, 2500},
        {"bottom", kFrame, kCursorStretchNs, {5000, 0}, {5000, 1400}, false, false,
         0, 1000, 10000, 5000, 1, 0.8, 0, 5000},
        {"right edge past the left one mirrors", kFrame, kCursorStretchWe, {10000, 2500}, {-3000, 2500}, false, false,
         0, 0, -3000, 5000, -0.3, 1, 0, 0},
        {"corner with Ctrl: both edges on their own", kFrame, kCursorScaleNwSe, {0, 5000}, {-1600, 6700}, false, true,
         -2000, 0, 10000, 7000, 1.2, 1.4, 10000, 0},
        {"corner with Ctrl and Shift", kFrame, kCursorScaleNwSe, {0, 5000}, {-1600, 6700}, true, true,
         -2000, -2000, 12000, 7000, 1.4, 1.8, 5000, 2500},
        {"side edge as corner, Ctrl: one edge", kFrame, kCursorScaleSwNe, {10000, 3000}, {12300, 4000}, false, true,
         0, 0, 12000, 5000, 1.2, 1, 0, 0},
    };
    // clang-format on
    for (const FrameCase& c : cases) {
        const FrameDrag drag = Drag(c.frame, c.zone, c.press, c.pointer, c.shift, c.ctrl);
        ExpectFrame(DragFrame(drag, Snapper()), c);
    }
}

TEST_F(FrameDragTest, AStretchedEdgeTakesAGuideline) {
    guidelines = true;
    vGuides = {12600};
    const FrameDrag drag = Drag(kFrame, kCursorStretchWe, {10000, 2500}, {12300, 2500});
    const DraggedFrame f = DragFrame(drag, Snapper());
    EXPECT_EQ(f.x2, 12600);
    EXPECT_DOUBLE_EQ(f.fx, 1.26);
}

TEST_F(FrameDragTest, CornersScaleProportionallyAlongTheDiagonal) {
    // 10 x 4 µm: aspect 0.4, so the corner moves 0.4 unit up per unit across.
    const Rect wide{0, 0, 10000, 4000};
    const Rect offGrid{0, 0, 10150, 5000};
    // clang-format off
    const FrameCase cases[] = {
        // (2262, 0) projects to (1950, 780): corner (11950, 4780), grid (12000,
        // 5000); x moved less, y follows the diagonal: 2000 + 7000 * 0.4.
        {"upper right, x snapped", wide, kCursorScaleSwNe, {10000, 4000}, {12262, 4000}, false, false,
         0, 0, 12000, 4800, 1.2, 1.2, 0, 0},
        // (2600, 0) projects to (2241.4, 896.6): corner (12241, 4897), grid
        // (12000, 5000); y moved less, x follows: 5000 + 3000 / 0.4.
        {"upper right, y snapped", wide, kCursorScaleSwNe, {10000, 4000}, {12600, 4000}, false, false,
         0, 0, 12500, 5000, 1.25, 1.25, 0, 0},
        {"lower left, Shift", wide, kCursorScaleSwNe, {0, 0}, {-2262, 0}, true, false,
         -2000, -800, 12000, 4800, 1.4, 1.4, 5000, 2000},
        {"upper left", wide, kCursorScaleNwSe, {0, 4000}, {-2262, 4000}, false, false,
         -2000, 0, 10000, 4800, 1.2, 1.2, 10000, 0},
        // Across the diagonal of the 10 x 5 frame: no projection at all.
        {"perpendicular to the diagonal", kFrame, kCursorScaleSwNe, {10000, 5000}, {9500, 6000}, false, false,
         0, 0, 10000, 5000, 1, 1, 0, 0},
        {"no displacement, off-grid corner", offGrid, kCursorScaleSwNe, {10150, 5000}, {10150, 5000}, false, false,
         0, 0, 10150, 5000, 1, 1, 0, 0},
        // The right edge of a polygon's frame, nearer the top: the upper right
        // corner.  (2000, 0) projects to (1600, 800): grid (12000, 6000).
        {"right edge as upper right corner", kFrame, kCursorScaleSwNe, {10000, 3000}, {12000, 3000}, false, false,
         0, 0, 12000, 6000, 1.2, 1.2, 0, 0},
        // Nearer the bottom: the lower right corner goes to (11600, -800),
        // grid (12000, -1000); y moved less.
        {"right edge as lower right corner", kFrame, kCursorScaleNwSe, {10000, 2000}, {12000, 2000}, false, false,
         0, -1000, 12000, 5000, 1.2, 1.2, 0, 5000},
        // The top edge nearer the left end: the upper left corner; (0, 3000)
        // projects to (-1200, 600), grid (-1000, 6000); x moved less.
        {"top edge as upper left corner", kFrame, kCursorScaleNwSe, {3000, 5000}, {3000, 8000}, false, false,
         -1000, 0, 10000, 5500, 1.1, 1.1, 10000, 0},
    };
    // clang-format on
    for (const FrameCase& c : cases) {
        const FrameDrag drag = Drag(c.frame, c.zone, c.press, c.pointer, c.shift, c.ctrl);
        const DraggedFrame f = DragFrame(drag, Snapper());
        ExpectFrame(f, c);
        // The moved frame keeps the aspect ratio to within the rounding of one
        // coordinate.
        const double e = double(c.frame.maxy - c.frame.miny) / (c.frame.maxx - c.frame.minx);
        EXPECT_NEAR(double(f.y2 - f.y1), e * (f.x2 - f.x1), 0.5) << c.name;
    }
}

TEST_F(FrameDragTest, ProportionalFactorsFollowTheDraggedAxis) {
    // A 3 x 7 µm frame: a rounded derived coordinate makes the two axes
    // differ slightly, and the factor comes from the axis of the dragged edge.
    const Rect tall{0, 0, 3000, 7000};
    // Upper right, (0, 2762) projects to (1000.03, 2333.4): the grid point
    // (4000, 9000) moves x less, so x = 4000 and y = 3500 + 2500 * 7 / 3.
    FrameDrag drag = Drag(tall, kCursorScaleSwNe, {3000, 7000}, {3000, 9762});
    DraggedFrame f = DragFrame(drag, Snapper());
    EXPECT_EQ(f.x2, 4000);
    EXPECT_EQ(f.y2, 9333);
    EXPECT_DOUBLE_EQ(f.fx, 4000.0 / 3000) << "widths: the corner has a right edge";
    EXPECT_DOUBLE_EQ(f.fy, f.fx);

    // The top edge standing for the same corner: heights.
    drag = Drag(tall, kCursorScaleSwNe, {2000, 7000}, {2000, 9762});
    ASSERT_FALSE(drag.right);
    f = DragFrame(drag, Snapper());
    EXPECT_EQ(f.x2, 4000);
    EXPECT_EQ(f.y2, 9333);
    EXPECT_DOUBLE_EQ(f.fy, 9333.0 / 7000);
    EXPECT_DOUBLE_EQ(f.fx, f.fy);
}

TEST_F(FrameDragTest, AFrameWithoutWidthOrHeightIsWidenedToOneUnit) {
    // A vertical wire of width 0 stretched by its top end.
    FrameDrag drag = Drag({2000, 0, 2000, 5000}, kCursorStretchNs, {2000, 5000}, {2000, 7600});
    EXPECT_TRUE(drag.ZeroSizedFrame());
    DraggedFrame f = DragFrame(drag, Snapper());
    EXPECT_EQ(f.x1, 2000);
    EXPECT_EQ(f.x2, 2001);
    EXPECT_EQ(f.y2, 8000);
    EXPECT_DOUBLE_EQ(f.fx, 1);
    EXPECT_DOUBLE_EQ(f.fy, 1.6);

    // A horizontal one stretched by its right end; both horizontal edges
    // are in reach, so neither moves.
    drag = Drag({0, 3000, 10000, 3000}, kCursorStretchWe, {10000, 3000}, {12300, 3400});
    EXPECT_FALSE(drag.top || drag.bottom);
    f = DragFrame(drag, Snapper());
    EXPECT_EQ(f.y1, 3000);
    EXPECT_EQ(f.y2, 3001);
    EXPECT_EQ(f.x2, 12000);
    EXPECT_DOUBLE_EQ(f.fy, 1);
    EXPECT_TRUE(std::isfinite(f.fx));

    // Proportional scaling of it stays finite too.
    drag = Drag({0, 3000, 10000, 3000}, kCursorScaleSwNe, {10000, 3000}, {12300, 3000});
    f = DragFrame(drag, Snapper());
    EXPECT_TRUE(std::isfinite(f.fx) && std::isfinite(f.fy));
    EXPECT_FALSE(StartFrameDrag(kFrame, kCursorStretchWe, {10000, 0}, 0.01).ZeroSizedFrame());
}

TEST_F(FrameDragTest, RotationAngleTurnsAboutTheFrameCentre) {
    const Rect square{0, 0, 10000, 10000};
    struct Case {
        bool left, top;
        std::int32_t dx, dy;
        double degrees;
    } cases[] = {
        {false, true, -10000, 0, 90},    // upper right to upper left
        {false, true, 0, -10000, -90},   // upper right to lower right
        {true, false, 0, 10000, -90},    // lower left to upper left: across the -pi/pi seam
        {true, true, 0, -10000, 90},     // upper left to lower left
        {false, false, 0, 10000, 90},    // lower right to upper right
        {false, true, -5000, -5000, 0},  // onto the centre
        {false, true, 0, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(RotationAngle(square, c.left, c.top, c.dx, c.dy) * 180 / kPi, c.degrees, 1e-9)
            << c.left << c.top << " by (" << c.dx << ", " << c.dy << ")";
    }
    EXPECT_NEAR(std::abs(RotationAngle(square, false, true, -10000, -10000)), kPi, 1e-12) << "half a turn";
    EXPECT_EQ(RotationAngle({3000, 3000, 3000, 3000}, false, true, 500, 0), 0) << "a frame of one point";
}

TEST_F(FrameDragTest, RotatingByThirtyPointFourDegreesShowsThirty) {
    // The upper right corner (radius 7071 at 45°) taken to 75.4°.
    FrameDrag drag = Drag({0, 0, 10000, 10000}, kCursorRotate, {10000, 10000}, {6782, 11843});
    ASSERT_TRUE(drag.top && drag.right);
    EXPECT_NEAR(drag.angle * 180 / kPi, 30.4, 0.01);
    EXPECT_EQ(DragStatusText(drag, Snapper()), "Rotate, origin: (5, 5) angle: 30 degrees");
    DragFrameTo(drag, {10000, 10000}, false, false, Snapper());
    EXPECT_EQ(drag.angle, 0) << "back at the press";
}

TEST_F(FrameDragTest, StatusTexts) {
    FrameDrag drag = StartFrameDrag({0, 0, 10001, 5001}, kCursorRotate, {10001, 5001}, 0.01);
    drag.angle = -kPi / 4 - 0.0001;
    EXPECT_EQ(DragStatusText(drag, Snapper()), "Rotate, origin: (5, 2.5) angle: -45 degrees")
        << "centre truncated, angle rounded";
    drag = StartFrameDrag({-10001, -5001, 0, 0}, kCursorRotate, {0, 0}, 0.01);
    drag.angle = kPi / 360 * 3;  // 1.5 degrees
    EXPECT_EQ(DragStatusText(drag, Snapper()), "Rotate, origin: (-5, -2.5) angle: 2 degrees")
        << "truncated toward zero; halves away from zero";

    drag = Drag(kFrame, kCursorMove, {5000, 2500}, {7400, 3600});
    EXPECT_EQ(DragStatusText(drag, Snapper()), "Move, dx: 2 dy: 1");
    drag.constrain = true;
    EXPECT_EQ(DragStatusText(drag, Snapper()), "Move, dx: 2 dy: 0");
    drag.constrain = false;
    drag.dx = -1500;
    drag.dy = 250;
    drag.leaveOriginal = true;
    EXPECT_EQ(DragStatusText(drag, Snapper()), "Move, dx: -1.5 dy: 0.25, Leave original");

    drag = Drag({0, 0, 10000, 4000}, kCursorScaleSwNe, {10000, 4000}, {12262, 4000});
    EXPECT_EQ(DragStatusText(drag, Snapper()),
              "Scale, (0, 0),(12, 4.8), width: 12, height: 4.8, x-scale: 1.2, y-scale: 1.2");
    drag = Drag({0, 0, 3000, 3000}, kCursorStretchWe, {3000, 1500}, {2000, 1500});
    EXPECT_EQ(DragStatusText(drag, Snapper()), "Scale, (0, 0),(2, 3), width: 2, height: 3, x-scale: 0.67, y-scale: 1");
    drag = Drag({0, 0, 8000, 3000}, kCursorStretchWe, {8000, 1500}, {1000, 1500});
    drag.leaveOriginal = true;
    EXPECT_EQ(DragStatusText(drag, Snapper()),
              "Scale, (0, 0),(1, 3), width: 1, height: 3, x-scale: 0.13, y-scale: 1, Leave original")
        << "0.125 rounds away from zero";
    drag = Drag({0, 0, 8000, 3000}, kCursorStretchWe, {8000, 1500}, {-1000, 1500});
    EXPECT_EQ(DragStatusText(drag, Snapper()),
              "Scale, (0, 0),(-1, 3), width: -1, height: 3, x-scale: -0.13, y-scale: 1");
}

TEST_F(FrameDragTest, MoveDisplacementKeepsTheLargerComponentUnderCtrl) {
    FrameDrag drag;
    drag.zone = kCursorMove;
    drag.dx = -3000;
    drag.dy = 2000;
    EXPECT_EQ(MoveDisplacement(drag), (Point{-3000, 2000}));
    drag.constrain = true;
    EXPECT_EQ(MoveDisplacement(drag), (Point{-3000, 0}));
    drag.dy = -4000;
    EXPECT_EQ(MoveDisplacement(drag), (Point{0, -4000}));
    drag.dy = 3000;
    EXPECT_EQ(MoveDisplacement(drag), (Point{-3000, 0})) << "a tie keeps dx";
}

}  // namespace
