#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "display/Grid.h"
#include "editing/NodeEditing.h"
#include "model/LayerDescription.h"
#include "model/Layout.h"
#include "model/RecordViews.h"
#include "model/UndoList.h"
#include "platform/headless/RecordingMessages.h"

using namespace zandor;
using platform::headless::RecordedMessage;
using platform::headless::ScopedMessageCapture;

namespace {

std::vector<Word> BufferOf(const SymbolDescription& s) {
    if (!s.Words()) return {};
    return {s.Words(), s.Words() + s.usedWords + 1};
}

std::vector<Word> WordsOf(const Word* r) { return {r, r + RecordLength(r)}; }

std::vector<Point> Points(std::initializer_list<Point> points) { return points; }

const Point kPentagon[5] = {{0, 0}, {10000, 0}, {15000, 8000}, {5000, 14000}, {-5000, 8000}};

// A main symbol recording undo entries, seen at 10 pixels a micrometre (a
// node is found within 500 nm), with a 1 µm grid.
class NodeEditingTest : public ::testing::Test {
protected:
    void SetUp() override {
        layout.view.sx = layout.view.sy = 0.01;
        layout.SetLayer(std::make_unique<LayerDescription>(1, ""));
        grid.SetSpacing(1000);
        s.Undo().SetRecording(true);
    }
    // The object becomes the single selection and the current object of the
    // node mode.
    Word* Current(Word* r) {
        s.DeselectAll();
        s.SetSelected(r);
        s.SelectSingle(r);
        ResetNodeList(s);
        return r;
    }
    Word* Pentagon() { return Current(s.AddPolygon(kPentagon, 5, 1)); }
    std::int32_t At(const Word* r) const { return s.OffsetOf(r); }
    PointerSnapper Snapper() const { return PointerSnapper{grid, {}, {}, 0.01, false, false}; }
    NodeList& Nodes() { return s.view.nodeList; }
    // The press, moves and release of a drag of the node under `press`.
    NodeEdit Drag(Point press, Point release, bool leaveOriginal = false) {
        const int node = PressOnNodes(s, press, 0.01, false);
        NodeDrag drag = StartNodeDrag(s, node);
        DragNodeTo(drag, release, false, false, Snapper());
        s.Undo().BeginStep();
        return FinishNodeDrag(s, drag.dx, drag.dy, leaveOriginal);
    }

    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    Grid grid;
};

TEST_F(NodeEditingTest, EveryKindHasItsNodes) {
    const Point wire[3] = {{0, 0}, {4000, 0}, {4000, 3000}};
    s.AddRectangle(0, 0, 3001, 2000, 1);
    s.AddBox(0, 0, 4000, 2000, 90, 1);
    s.AddPolygon(kPentagon, 3, 1);
    s.AddWire(wire, 3, 500, 0, 1);
    s.AddCircle(100, 200, 1000, 1);
    s.AddRing(0, 0, 10000, 3, 1);
    s.AddArcWire(0, 0, 10000, 0, 0, 10000, MakeArcWidthWord(1000, 0, false), 1);
    s.InsertArray(1, {0, 0}, {10000, 0}, {0, 5000}, 10, 5, 1, 0);
    s.AddText(0, 0, 0, "A", 100, {}, 1);
    s.AddGroup(0, 0, 0, 0);
    struct Case {
        ObjectKind kind;
        std::vector<Point> nodes;
        bool separately;
    } cases[] = {
        {ObjectKind::Rectangle,
         {{1501, 1000}, {0, 0}, {3001, 0}, {3001, 2000}, {0, 2000}, {1501, 0}, {3001, 1000}, {1501, 2000}, {0, 1000}},
         false},
        {ObjectKind::Box,  // turned a quarter: the length runs along y
         {{0, 0},
          {-1000, -2000},
          {1000, -2000},
          {1000, 2000},
          {-1000, 2000},
          {0, -2000},
          {1000, 0},
          {0, 2000},
          {-1000, 0}},
         false},
        {ObjectKind::Polygon, {kPentagon[0], kPentagon[1], kPentagon[2]}, true},
        {ObjectKind::Wire, {wire[0], wire[1], wire[2]}, true},
        {ObjectKind::Circle, {{100, 200}, {100, 1200}}, false},
        {ObjectKind::Ring, {{0, 0}, {0, 10000}, {0, 10002}, {0, 9998}}, false},  // half of 3 rounds to 2
        {ObjectKind::ArcWire, {{0, 0}, {10000, 0}, {0, 10000}, {9500, 0}, {10500, 0}, {0, 9500}, {0, 10500}}, false},
        {ObjectKind::SymbolArray, {{0, 0}, {10000, 0}, {0, 5000}}, false},
        {ObjectKind::Text, {}, false},
        {ObjectKind::Group, {}, false},
    };
    const Word* r = s.FirstRecord();
    for (const Case& c : cases) {
        ASSERT_NE(r, nullptr);
        ASSERT_EQ(RecordKind(r), c.kind);
        EXPECT_EQ(BuildNodeList(r), c.nodes) << static_cast<int>(c.kind);
        EXPECT_EQ(NodesMoveSeparately(c.kind), c.separately);
        r = s.NextObject(const_cast<Word*>(r));
    }
}

TEST_F(NodeEditingTest, DraggingPolygonVerticesMovesOnlyTheSelectedOnesInOneUndoStep) {
    Pentagon();
    const std::vector<Word> before = BufferOf(s);
    // Vertex 3 alone, by 1 µm to the right.
    NodeEdit edit = Drag(kPentagon[3], {6000, 14000});
    ASSERT_TRUE(edit.changed);
    Word* r = s.CurrentObject();
    EXPECT_EQ(BuildNodeList(r), Points({kPentagon[0], kPentagon[1], kPentagon[2], {6000, 14000}, kPentagon[4]}));
    EXPECT_EQ(Nodes().nodes, BuildNodeList(r));
    EXPECT_EQ(Nodes().selected, std::vector<int>{3});

    // Vertex 2 joins by a Shift click; a drag of vertex 3 takes both along.
    EXPECT_TRUE(ToggleNodeAt(s, kPentagon[2], 0.01));
    edit = Drag({6000, 14000}, {6000, 12000});
    ASSERT_TRUE(edit.changed);
    r = s.CurrentObject();
    EXPECT_EQ(BuildNodeList(r), Points({kPentagon[0], kPentagon[1], {15000, 6000}, {6000, 12000}, kPentagon[4]}));
    EXPECT_EQ(PolygonView(r).NodeBounds(), (Rect{-5000, 0, 15000, 12000})) << "the cached box follows";
    EXPECT_EQ(edit.before, (Rect{-5000, 0, 15000, 14000}));
    EXPECT_EQ(edit.after, (Rect{-5000, 0, 15000, 12000}));

    // The arrow keys: both by one grid step, one undo step each.
    s.Undo().BeginStep();
    const std::vector<Word> beforeArrow = BufferOf(s);
    EXPECT_TRUE(MoveSelectedNodes(s, 0, 1000).changed);
    EXPECT_EQ(BuildNodeList(s.CurrentObject())[2], (Point{15000, 7000}));
    EXPECT_EQ(BuildNodeList(s.CurrentObject())[3], (Point{6000, 13000}));
    s.Undo().Undo();
    EXPECT_EQ(BufferOf(s), beforeArrow);
    s.Undo().Undo();
    s.Undo().Undo();
    EXPECT_EQ(BufferOf(s), before);

    EXPECT_FALSE(MoveSelectedNodes(s, 0, 0).changed);
    // Undo took the vertices back: a list that no longer matches moves nothing.
    Nodes().nodes.pop_back();
    EXPECT_FALSE(MoveSelectedNodes(s, 1000, 0).changed);
    EXPECT_EQ(BufferOf(s), before);
}

TEST_F(NodeEditingTest, ShiftClicksToggleVerticesButNotHandles) {
    Pentagon();
    EXPECT_TRUE(ToggleNodeAt(s, {10100, -100}, 0.01));
    EXPECT_TRUE(ToggleNodeAt(s, kPentagon[4], 0.01));
    EXPECT_EQ(Nodes().selected, (std::vector<int>{1, 4}));
    EXPECT_TRUE(ToggleNodeAt(s, kPentagon[1], 0.01));
    EXPECT_EQ(Nodes().selected, std::vector<int>{4});
    EXPECT_FALSE(ToggleNodeAt(s, {2000, 2000}, 0.01)) << "beside every node";
    EXPECT_EQ(PressOnNodes(s, kPentagon[0], 0.01, true), -1) << "a Shift press leaves it to the release";
    EXPECT_EQ(Nodes().selected, std::vector<int>{4});

    Current(s.AddCircle(0, 0, 5000, 1));
    EXPECT_FALSE(ToggleNodeAt(s, {0, 5000}, 0.01));
    EXPECT_TRUE(Nodes().selected.empty());
}

TEST_F(NodeEditingTest, ARectangleBandSelectsNodesButOnlyOneHandle) {
    Current(s.AddRectangle(0, 0, 4000, 2000, 1));
    // Over the left edge: corners 1 and 4 and midpoint 8.
    EXPECT_TRUE(SelectNodesInRect(s, {500, 2500, -500, -500}));
    EXPECT_EQ(Nodes().selected, std::vector<int>{1});
    EXPECT_FALSE(SelectNodesInRect(s, {-500, -500, 4500, 2500})) << "the one selected stays the one";

    Pentagon();
    EXPECT_TRUE(SelectNodesInRect(s, {0, 0, 15000, 8000})) << "bounds inclusive";
    EXPECT_EQ(Nodes().selected, (std::vector<int>{0, 1, 2}));
}

TEST_F(NodeEditingTest, BoxHandlesKeepTheOppositeSide) {
    // A corner of a box turned by 30°: the box keeps its angle and the
    // opposite corner.
    Word* box = Current(s.AddBox(5000, 5000, 8000, 4000, 30, 1));
    const std::vector<Point> old = BuildNodeList(box);
    Nodes().SelectOnly(3);
    EXPECT_TRUE(MoveSelectedNodes(s, 3000, 1000).changed);
    box = s.CurrentObject();
    EXPECT_EQ(BoxView(box).AngleMillidegrees(), 30000);
    const Point opposite = BuildNodeList(box)[1];
    EXPECT_LE(std::abs(opposite.X - old[1].X), 1);
    EXPECT_LE(std::abs(opposite.Y - old[1].Y), 1);
    EXPECT_NE(BoxView(box).BoxLength(), 8000);

    // An edge midpoint turns the box so that it lies on the axis; the
    // opposite midpoint stays.
    Word* square = Current(s.AddBox(0, 0, 2000, 1000, 0, 1));
    EXPECT_EQ(NodeDragRule(square, 7, -2000, 2000), NodeDragOutcome::Applied);
    EXPECT_EQ(BoxView(square).Centre(), (Point{-1000, 1000}));
    EXPECT_EQ(BoxView(square).BoxLength(), 2000);
    EXPECT_EQ(BoxView(square).BoxWidth(), 1000);
    EXPECT_EQ(BoxView(square).AngleMillidegrees(), 90000);
    EXPECT_EQ(BuildNodeList(square)[5], (Point{-1000, 0}));
    EXPECT_EQ(BuildNodeList(square)[7], (Point{-1000, 2000}));
    // Off the quarter turns the length is rounded.
    square = s.AddBox(0, 0, 2000, 1000, 0, 1);
    EXPECT_EQ(NodeDragRule(square, 7, -1000, 1000), NodeDragOutcome::Applied);
    EXPECT_EQ(BoxView(square).BoxLength(), 1414);
    EXPECT_EQ(BoxView(square).AngleMillidegrees(), 45000);
}

TEST_F(NodeEditingTest, RoundHandlesSetRadiiAndWidths) {
    const auto ring = [&](std::int32_t radius, std::int32_t width) { return At(s.AddRing(0, 0, radius, width, 1)); };
    const auto circle = [&] { return At(s.AddCircle(0, 0, 5000, 1)); };
    struct Case {
        std::int32_t record;
        int node;
        Point to;
        std::int32_t radius, width;  // width -1 for circles
    } cases[] = {
        {circle(), 1, {3000, 4000}, 5000, -1},
        {circle(), 1, {0, 7000}, 7000, -1},
        {circle(), 0, {100, 200}, 5000, -1},
        // 10 µm wide 2 µm, the outer edge dragged to 13 µm: 11 µm wide 4 µm.
        {ring(10000, 2000), 2, {0, 13000}, 11000, 4000},
        {ring(10000, 2000), 3, {0, 5000}, 8000, 6000},
        {ring(10000, 2000), 3, {0, 12000}, 11500, 1000},  // the inner edge dragged past the outer one
        {ring(10000, 2000), 1, {0, 3000}, 3000, 2000},
    };
    for (const Case& c : cases) {
        Word* r = s.RecordAt(c.record);
        const Point from = BuildNodeList(r)[static_cast<std::size_t>(c.node)];
        ASSERT_EQ(NodeDragRule(r, c.node, c.to.X - from.X, c.to.Y - from.Y), NodeDragOutcome::Applied);
        const CircleView round(r);
        EXPECT_EQ(round.Radius(), c.radius) << c.node << " to " << c.to;
        if (c.width >= 0) {
            EXPECT_EQ(RingView(r).RingWidth(), c.width) << c.node << " to " << c.to;
        }
        EXPECT_EQ(round.Centre(), c.node == 0 ? c.to : Point{});
    }

    // A handle stays where the release left it and drags on from there;
    // pressing another handle puts it back on the circle.
    Current(s.AddCircle(0, 0, 5000, 1));
    Nodes().SelectOnly(1);
    ASSERT_TRUE(MoveSelectedNodes(s, 3000, -1000).changed);
    EXPECT_EQ(CircleView(s.CurrentObject()).Radius(), 5000);
    EXPECT_EQ(Nodes().nodes[1], (Point{3000, 4000}));
    EXPECT_EQ(PressOnNodes(s, {0, 0}, 0.01, false), 0);
    EXPECT_EQ(Nodes().nodes[1], (Point{0, 5000}));
}

TEST_F(NodeEditingTest, ArcWireHandlesKeepBothEndsOnOneRadius) {
    const Word widthWord = MakeArcWidthWord(1000, 1, true);
    const auto arc = [&] { return s.AddArcWire(0, 0, 10000, 0, 0, 10000, widthWord, 1); };
    struct Case {
        int node;
        Point to;
        Point start, end;
        std::int32_t width;
    } cases[] = {
        {1, {15000, 0}, {15000, 0}, {0, 15000}, 1000},
        {1, {0, -6000}, {0, -6000}, {0, 6000}, 1000},
        {1, {300, 0}, {300, 0}, {0, 300}, 600},  // the width shrinks to the radius
        {2, {-8000, 0}, {8000, 0}, {-8000, 0}, 1000},
        // The outer corner of the start: the inner edge keeps the end's.
        {4, {12500, 0}, {11000, 0}, {0, 11000}, 3000},
        {3, {0, -9000}, {0, -9750}, {0, 9750}, 1500},
        {6, {0, 9000}, {9250, 0}, {0, 9250}, 500},
    };
    for (const Case& c : cases) {
        Word* r = arc();
        const Point from = BuildNodeList(r)[static_cast<std::size_t>(c.node)];
        ASSERT_EQ(NodeDragRule(r, c.node, c.to.X - from.X, c.to.Y - from.Y), NodeDragOutcome::Applied);
        const ArcWireView view(r);
        EXPECT_EQ(view.Start(), c.start) << c.node << " to " << c.to;
        EXPECT_EQ(view.End(), c.end) << c.node << " to " << c.to;
        EXPECT_EQ(view.Centre(), Point{});
        EXPECT_EQ(view.Width(), c.width) << c.node << " to " << c.to;
        EXPECT_EQ(view.EndStyle(), 1);
        EXPECT_TRUE(view.Clockwise());
    }
    Word* r = arc();
    const std::vector<Word> before = WordsOf(r);
    EXPECT_EQ(NodeDragRule(r, 1, -10000, 0), NodeDragOutcome::Unchanged) << "a start dragged onto the centre";
    EXPECT_EQ(WordsOf(r), before);
}

TEST_F(NodeEditingTest, ArrayEndsTurnTheElements) {
    struct Case {
        double magnification;
        int node;
        Point to;
        Point columnEnd, rowEnd;
        double degrees;
    } cases[] = {
        {1, 1, {0, 10000}, {0, 10000}, {-5000, 0}, 90},
        {-1, 1, {0, 10000}, {0, 10000}, {5000, 0}, 90},
        {1, 2, {-5000, 0}, {0, 10000}, {-5000, 0}, 90},
        {1, 1, {20000, 0}, {20000, 0}, {0, 5000}, 0},
        {1, 1, {0, 0}, {0, 0}, {0, 5000}, 0},  // onto the origin: nothing turns
        {1, 0, {100, 100}, {10100, 100}, {100, 5100}, 0},
    };
    for (const Case& c : cases) {
        Word* r = s.InsertArray(1, {0, 0}, {10000, 0}, {0, 5000}, 10, 5, c.magnification, 0);
        const Point from = BuildNodeList(r)[static_cast<std::size_t>(c.node)];
        ASSERT_EQ(NodeDragRule(r, c.node, c.to.X - from.X, c.to.Y - from.Y), NodeDragOutcome::Applied);
        const ArrayView array(r);
        EXPECT_EQ(array.ColumnEnd(), c.columnEnd) << c.node << " to " << c.to;
        EXPECT_EQ(array.RowEnd(), c.rowEnd) << c.node << " to " << c.to;
        EXPECT_DOUBLE_EQ(array.AngleDegrees(), c.degrees) << c.node << " to " << c.to;
        EXPECT_EQ(array.Magnification(), c.magnification);
    }
}

TEST_F(NodeEditingTest, RectangleHandlesMoveTheirCornersAndEdges) {
    struct Case {
        int node;
        Point c1, c2;
    } cases[] = {
        {0, {100, 200}, {4100, 2200}}, {1, {100, 200}, {4000, 2000}}, {3, {0, 0}, {4100, 2200}},
        {5, {0, 200}, {4000, 2000}},   {6, {0, 0}, {4100, 2000}},     {8, {100, 0}, {4000, 2000}},
    };
    for (const Case& c : cases) {
        Word* r = s.AddRectangle(0, 0, 4000, 2000, 1);
        ASSERT_EQ(NodeDragRule(r, c.node, 100, 200), NodeDragOutcome::Applied);
        EXPECT_EQ(RectangleView(r).Corner1(), c.c1) << c.node;
        EXPECT_EQ(RectangleView(r).Corner2(), c.c2) << c.node;
    }
    // Dragged past the opposite side the corners keep their order.
    Word* r = s.AddRectangle(0, 0, 4000, 2000, 1);
    ASSERT_EQ(NodeDragRule(r, 6, -5000, 0), NodeDragOutcome::Applied);
    EXPECT_EQ(RectangleView(r).Corner2(), (Point{-1000, 2000}));
}

TEST_F(NodeEditingTest, ResultsTheRecordCannotHoldAreRefusedWhole) {
    constexpr std::int32_t kEdge = 1999999000;
    const Point nearEdge[3] = {{0, 0}, {kEdge, 0}, {0, 1000}};
    struct Case {
        const char* what;
        std::int32_t record;
        int node;
        std::int32_t dx, dy;
        NodeDragOutcome outcome;
    } cases[] = {
        {"rectangle corner", At(s.AddRectangle(0, 0, kEdge, 10, 1)), 3, 1001, 0, NodeDragOutcome::OutsideRange},
        {"rectangle to the edge", At(s.AddRectangle(0, 0, kEdge, 10, 1)), 3, 1000, 0, NodeDragOutcome::Applied},
        {"polygon vertex", At(s.AddPolygon(nearEdge, 3, 1)), 1, 1001, 0, NodeDragOutcome::OutsideRange},
        {"saturated displacement", At(s.AddPolygon(nearEdge, 3, 1)), 2, 0, INT32_MIN, NodeDragOutcome::OutsideRange},
        {"circle reaching out", At(s.AddCircle(0, 0, 1000, 1)), 1, 0, 2000000000, NodeDragOutcome::OutsideRange},
        {"circle onto its centre", At(s.AddCircle(0, 0, 1000, 1)), 1, 0, -1000, NodeDragOutcome::Collapsed},
        {"ring onto its centre", At(s.AddRing(0, 0, 1000, 200, 1)), 1, 0, -1000, NodeDragOutcome::Collapsed},
        {"box longer than a word", At(s.AddBox(0, 0, 1000, 1000, 45, 1)), 7, -kEdge, -kEdge,
         NodeDragOutcome::OutsideRange},
        {"arc wider than its width word", At(s.AddArcWire(0, 0, 1000, 0, 0, 1000, MakeArcWidthWord(100, 0, false), 1)),
         4, 300000000, 0, NodeDragOutcome::OutsideRange},
        // The row end, rebuilt at its length across the turned column, lands
        // outside.
        {"array row end",
         At(s.InsertArray(1, {-1000000000, 0}, {-999999000, 0}, {-1000000000, 1500000000}, 2, 2, 1, 0)), 1, -1000, 1000,
         NodeDragOutcome::OutsideRange},
        {"text", At(s.AddText(0, 0, 0, "A", 100, {}, 1)), 0, 1000, 0, NodeDragOutcome::Unchanged},
    };
    for (const Case& c : cases) {
        Word* r = s.RecordAt(c.record);
        const std::vector<Word> before = WordsOf(r);
        EXPECT_EQ(NodeDragRule(r, c.node, c.dx, c.dy), c.outcome) << c.what;
        if (c.outcome != NodeDragOutcome::Applied) {
            EXPECT_EQ(WordsOf(r), before) << c.what;
        }
    }

    // Through the symbol: a message, and neither the buffer nor the undo list
    // changes.
    Current(s.AddCircle(0, 0, 1000, 1));
    Nodes().SelectOnly(1);
    s.Undo().BeginStep();
    const std::vector<Word> before = BufferOf(s);
    const std::int32_t entries = s.Undo().EntryCount();
    ScopedMessageCapture messages;
    EXPECT_FALSE(MoveSelectedNodes(s, 0, 2000000000).changed);
    EXPECT_FALSE(FinishNodeDrag(s, 0, -1000, true).changed) << "no copy is left behind";
    EXPECT_EQ(BufferOf(s), before);
    EXPECT_EQ(s.Undo().EntryCount(), entries);
    EXPECT_EQ(messages.messages,
              (std::vector<RecordedMessage>{{"The result would lie outside the coordinate range.", "Error"},
                                            {"The radius would become 0.", "Error"}}));
}

TEST_F(NodeEditingTest, LeaveOriginalReshapesACopy) {
    Word* original = Pentagon();
    const std::int32_t offset = s.OffsetOf(original);
    const std::vector<Word> before = BufferOf(s);
    ASSERT_TRUE(Drag(kPentagon[2], {15000, 10000}, true).changed);
    EXPECT_EQ(s.objectCount, 2);
    EXPECT_EQ(BuildNodeList(s.RecordAt(offset)), BuildNodeList(before.data() + offset)) << "the original stays";
    EXPECT_FALSE(IsSelected(s.RecordAt(offset)));
    EXPECT_EQ(BuildNodeList(s.CurrentObject())[2], (Point{15000, 10000}));
    EXPECT_EQ(Nodes().selected, std::vector<int>{2});
    s.Undo().Undo();
    EXPECT_EQ(BufferOf(s), before);
}

TEST_F(NodeEditingTest, TheRubberShapeShowsTheEdgesAtTheDraggedNodes) {
    Pentagon();
    Nodes().selected = {3, 2};
    NodeDrag drag = StartNodeDrag(s, 2);
    DragNodeTo(drag, {15400, 9300}, false, false, Snapper());
    EXPECT_EQ(drag.dx, 0);
    EXPECT_EQ(drag.dy, 1000) << "the snapped pointer less the node";
    DragNodeTo(drag, {15400, 9300}, true, false, Snapper());
    EXPECT_EQ(drag.dx, 0) << "with Shift the displacement is rounded";
    NodeRubber rubber = NodeRubberShape(s, drag);
    const std::vector<std::vector<Point>> polygonLines = {{kPentagon[1], {15000, 9000}},
                                                          {{15000, 9000}, {5000, 15000}, kPentagon[4]}};
    EXPECT_EQ(rubber.lines, polygonLines);
    EXPECT_TRUE(rubber.record.empty());
    drag.leaveOriginal = true;
    drag.dx = 1500;
    drag.dy = -2000;
    EXPECT_EQ(NodeDragStatusText(drag), "Moving node, dx: 1.5, dy: -2, Leave original");

    // A long wire: the same, without closing at its first node.
    std::vector<Point> straight(25);
    for (int i = 0; i < 25; ++i) straight[static_cast<std::size_t>(i)] = {1000 * i, 0};
    Current(s.AddWire(straight.data(), 25, 100, 0, 1));
    Nodes().SelectOnly(0);
    drag = StartNodeDrag(s, 0);
    drag.dy = 500;
    rubber = NodeRubberShape(s, drag);
    EXPECT_EQ(rubber.lines, (std::vector<std::vector<Point>>{{{0, 500}, {1000, 0}}}));

    // A short wire shows whole, with its width.
    Current(s.AddWire(straight.data(), 3, 100, 0, 1));
    Nodes().SelectOnly(2);
    drag = StartNodeDrag(s, 2);
    drag.dy = 500;
    rubber = NodeRubberShape(s, drag);
    EXPECT_TRUE(rubber.lines.empty());
    ASSERT_EQ(RecordKind(rubber.record.data()), ObjectKind::Wire);
    EXPECT_EQ(BuildNodeList(rubber.record.data()), Points({{0, 0}, {1000, 0}, {2000, 500}}));
    EXPECT_EQ(WireView(rubber.record.data()).Width(), 100);

    // Handles: the object as the drag would leave it; the record stays.
    Word* circle = Current(s.AddCircle(0, 0, 5000, 1));
    const std::vector<Word> circleWords = WordsOf(circle);
    Nodes().SelectOnly(1);
    drag = StartNodeDrag(s, 1);
    drag.dy = 2000;
    rubber = NodeRubberShape(s, drag);
    EXPECT_EQ(CircleView(rubber.record.data()).Radius(), 7000);
    EXPECT_EQ(WordsOf(s.CurrentObject()), circleWords);

    Current(s.InsertArray(1, {0, 0}, {10000, 0}, {0, 5000}, 10, 5, 1, 0));
    Nodes().SelectOnly(0);
    drag = StartNodeDrag(s, 0);
    drag.dx = 100;
    rubber = NodeRubberShape(s, drag);
    EXPECT_EQ(rubber.lines,
              (std::vector<std::vector<Point>>{{{100, 0}, {10100, 0}, {10100, 5000}, {100, 5000}, {100, 0}}}));
}

TEST_F(NodeEditingTest, VerticesAreInsertedAtEdgeMidpointsAndDeletedDownToTheMinimum) {
    Pentagon();
    const std::vector<Word> before = BufferOf(s);
    s.Undo().BeginStep();
    ASSERT_TRUE(InsertNodeAfter(s, 4));
    EXPECT_EQ(BuildNodeList(s.CurrentObject()).back(), (Point{-2500, 4000})) << "the closing edge";
    EXPECT_EQ(Nodes().selected, std::vector<int>{5});
    s.Undo().Undo();
    EXPECT_EQ(BufferOf(s), before);

    const Point line[3] = {{0, 0}, {1000, 0}, {1000, 3000}};
    Current(s.AddWire(line, 3, 100, 0, 1));
    ASSERT_TRUE(InsertNodeAfter(s, 0));
    ASSERT_TRUE(InsertNodeAfter(s, 3));
    EXPECT_EQ(BuildNodeList(s.CurrentObject()), Points({{0, 0}, {500, 0}, {1000, 0}, {1000, 1500}, {1000, 3000}}))
        << "after the last node, into the edge before it";
    EXPECT_EQ(Nodes().selected, std::vector<int>{3});
    EXPECT_FALSE(InsertNodeAfter(s, 5));

    // Deleting: any vertices, as long as 2 wire or 3 polygon vertices stay.
    Nodes().selected = {0, 1, 4};
    s.Undo().BeginStep();
    const std::vector<Word> beforeDelete = BufferOf(s);
    ASSERT_TRUE(DeleteSelectedNodes(s));
    Word* wire = s.CurrentObject();
    EXPECT_EQ(BuildNodeList(wire), Points({{1000, 0}, {1000, 1500}}));
    EXPECT_EQ(WireView(wire).NodeBounds(), (Rect{1000, 0, 1000, 1500}));
    EXPECT_TRUE(Nodes().selected.empty());
    EXPECT_EQ(Nodes().nodes, BuildNodeList(wire));
    s.Undo().Undo();
    EXPECT_EQ(BufferOf(s), beforeDelete);

    ResetNodeList(s);
    Nodes().selected = {0, 1, 2, 3};
    ScopedMessageCapture messages;
    EXPECT_FALSE(DeleteSelectedNodes(s));
    EXPECT_EQ(BufferOf(s), beforeDelete);
    Pentagon();
    Nodes().selected = {0, 2, 4};
    EXPECT_FALSE(DeleteSelectedNodes(s));
    EXPECT_EQ(PolygonView(s.CurrentObject()).NodeCount(), 5);
    EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"A wire must keep at least 2 nodes.", "Error"},
                                                               {"A polygon must keep at least 3 nodes.", "Error"}}));
}

TEST_F(NodeEditingTest, AClickPicksTheObjectAndBuildsItsNodes) {
    s.AddRectangle(0, 0, 4000, 2000, 1);
    Word* circle = s.AddCircle(20000, 0, 1000, 1);
    const std::int32_t circleOffset = s.OffsetOf(circle);
    Current(s.FirstRecord());
    Nodes().SelectOnly(2);
    ASSERT_NE(PickNodeObject(s, {20000, 1000}, 0), nullptr);
    EXPECT_EQ(s.currentObject, circleOffset);
    EXPECT_EQ(s.selectedCount, 1);
    EXPECT_EQ(Nodes().nodes, Points({{20000, 0}, {20000, 1000}}));
    EXPECT_TRUE(Nodes().selected.empty());
    EXPECT_EQ(PressOnNodes(s, {20100, 1100}, 0.01, false), 1);
    EXPECT_EQ(Nodes().selected, std::vector<int>{1});
    EXPECT_EQ(PressOnNodes(s, {25000, 0}, 0.01, false), -1);
    EXPECT_TRUE(Nodes().selected.empty()) << "a press beside the nodes empties the selection";

    EXPECT_EQ(PickNodeObject(s, {50000, 50000}, 0), nullptr);
    EXPECT_TRUE(Nodes().nodes.empty());
    EXPECT_EQ(s.CurrentObject(), nullptr);
}

}  // namespace
