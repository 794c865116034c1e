#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "editing/SelectionEdits.h"
#include "model/Layout.h"
#include "model/RecordTransform.h"
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

// The records of the symbol in list order, as offsets.
std::vector<std::int32_t> Offsets(const SymbolDescription& s) {
    std::vector<std::int32_t> out;
    for (const Word* r = s.FirstRecord(); r; r = s.NextRecord(r)) out.push_back(s.OffsetOf(r));
    return out;
}

std::vector<Word> WordsOf(const Word* r) { return {r, r + RecordLength(r)}; }

// A layout whose main symbol records undo entries, with a called symbol "leaf"
// (id 1) holding one 100 x 50 rectangle.
struct Fixture {
    Layout layout;
    SymbolDescription& s;
    SymbolDescription& leaf;
    Fixture() : s(*layout.MainSymbol()), leaf(*layout.AddSymbol(1, "leaf")) {
        leaf.AddRectangle(0, 0, 100, 50, 1);
        s.Undo().SetRecording(true);
    }
    Word* Select(Word* r) {
        s.SetSelected(r);
        return r;
    }
    void SelectAll() {
        for (Word* r = s.FirstRecord(); r; r = s.NextObject(r)) s.SetSelected(r);
        s.UpdateSelection();
    }
    // Runs the edit as one undo step and checks that undoing it gives back
    // the buffer word for word.
    void ExpectUndoRestores(const std::function<void()>& edit) {
        s.RecomputeBounds();
        s.UpdateSelection();
        const std::vector<Word> before = BufferOf(s);
        s.Undo().BeginStep();
        edit();
        s.Undo().Undo();
        EXPECT_EQ(BufferOf(s), before);
        s.RebuildChildren();  // as the layout does after an undo
    }
};

const Point kTriangle[3] = {{0, 0}, {10, 0}, {0, 10}};
const Point kLine[3] = {{0, 0}, {100, 0}, {100, 100}};

// A group of a rectangle and a circle, all on layer 2.
void AddGroup(SymbolDescription& s) {
    s.AddGroup(7, 8, 2, 2);
    SetMemberBit(s.AddRectangle(0, 0, 10, 10, 2), true);
    SetMemberBit(s.AddCircle(20, 20, 5, 2), true);
}

}  // namespace

TEST(MoveSelection, EveryKindMovesItsPointsAndMembers) {
    Fixture f;
    SymbolDescription& s = f.s;
    s.AddRectangle(0, 0, 10, 20, 1);
    s.AddBox(5, 5, 30, 10, 45, 1);
    s.AddPolygon(kTriangle, 3, 1);
    s.AddWire(kLine, 3, 4, 1, 1);
    s.AddCircle(1, 2, 3, 1);
    s.AddRing(1, 2, 30, 4, 1);
    s.AddArcWire(0, 0, 10, 0, 0, 10, MakeArcWidthWord(2, 0, true), 1);
    AddGroup(s);
    s.InsertSymbolCall(1, 1000, 2000);
    s.InsertArray(1, {0, 0}, {300, 0}, {0, 200}, 3, 2, 1.0, 0.0);
    f.SelectAll();
    const std::vector<std::int32_t> at = Offsets(s);

    f.ExpectUndoRestores([&] { EXPECT_TRUE(MoveSelection(s, 100, -50, false)); });
    ASSERT_TRUE(MoveSelection(s, 100, -50, false));

    EXPECT_EQ(WordsOf(s.RecordAt(at[0])), (std::vector<Word>{s.RecordAt(at[0])[0], 100, -50, 110, -30}));
    EXPECT_EQ(BoxView(s.RecordAt(at[1])).Centre(), (Point{105, -45}));
    EXPECT_EQ(BoxView(s.RecordAt(at[1])).AngleMillidegrees(), 45000);
    const PolygonView polygon(s.RecordAt(at[2]));
    EXPECT_EQ(polygon.NodeBounds(), (Rect{100, -50, 110, -40}));
    EXPECT_EQ(polygon.Node(2), (Point{100, -40}));
    const WireView wire(s.RecordAt(at[3]));
    EXPECT_EQ(wire.NodeBounds(), (Rect{100, -50, 200, 50}));
    EXPECT_EQ(wire.Node(1), (Point{200, -50}));
    EXPECT_EQ(wire.Width(), 4);
    EXPECT_EQ(CircleView(s.RecordAt(at[4])).Centre(), (Point{101, -48}));
    EXPECT_EQ(RingView(s.RecordAt(at[5])).Centre(), (Point{101, -48}));
    const ArcWireView arc(s.RecordAt(at[6]));
    EXPECT_EQ(arc.Start(), (Point{110, -50}));
    EXPECT_EQ(arc.Centre(), (Point{100, -50}));
    EXPECT_EQ(arc.End(), (Point{100, -40}));
    EXPECT_TRUE(arc.Clockwise());
    EXPECT_EQ(GroupView(s.RecordAt(at[7])).Position(), (Point{107, -42}));
    EXPECT_EQ(RectangleView(s.RecordAt(at[8])).Box(), (Rect{100, -50, 110, -40})) << "group member moves along";
    EXPECT_EQ(CircleView(s.RecordAt(at[9])).Centre(), (Point{120, -30}));
    const CallView call(s.RecordAt(at[10]));
    EXPECT_EQ(call.Matrix(), (TransformMatrix{1, 0, 0, 1, 1100, 1950}));
    EXPECT_EQ(call.CachedExtent(), (Rect{1100, 1950, 1200, 2000}));
    const ArrayView array(s.RecordAt(at[11]));
    EXPECT_EQ(array.Origin(), (Point{100, -50}));
    EXPECT_EQ(array.ColumnEnd(), (Point{400, -50}));
    EXPECT_EQ(array.RowEnd(), (Point{100, 150}));
    EXPECT_EQ(s.selectedCount, 10) << "members are not counted";
    EXPECT_EQ(s.Bounds().minx, 101 - 32) << "the symbol's box follows: the ring reaches furthest";
}

TEST(MoveSelection, LeaveOriginalMovesCopiesAndKeepsOriginals) {
    Fixture f;
    SymbolDescription& s = f.s;
    s.AddCircle(0, 0, 5, 1);
    AddGroup(s);
    s.AddRectangle(0, 0, 1, 1, 1);  // not selected
    f.Select(s.FirstRecord());
    f.Select(s.RecordAt(Offsets(s)[1]));
    s.UpdateSelection();
    const std::vector<Word> before = BufferOf(s);

    f.ExpectUndoRestores([&] { MoveSelection(s, 10, 0, true); });
    ASSERT_TRUE(MoveSelection(s, 10, 0, true));

    const std::vector<std::int32_t> at = Offsets(s);
    ASSERT_EQ(at.size(), 5u + 4u);
    // The originals stay, unselected; the copies follow at the end, moved and selected.
    EXPECT_FALSE(IsSelected(s.RecordAt(at[0])));
    EXPECT_EQ(CircleView(s.RecordAt(at[0])).Centre(), (Point{0, 0}));
    EXPECT_EQ(RectangleView(s.RecordAt(at[2])).Box(), (Rect{0, 0, 10, 10}));
    EXPECT_EQ(CircleView(s.RecordAt(at[5])).Centre(), (Point{10, 0}));
    EXPECT_TRUE(IsSelected(s.RecordAt(at[5])));
    EXPECT_EQ(GroupView(s.RecordAt(at[6])).Position(), (Point{17, 8}));
    EXPECT_TRUE(IsMember(s.RecordAt(at[7])));
    EXPECT_EQ(RectangleView(s.RecordAt(at[7])).Box(), (Rect{10, 0, 20, 10}));
    EXPECT_EQ(s.selectedCount, 2);
    EXPECT_EQ(s.objectCount, 9);
}

TEST(MoveSelection, RefusedOutsideTheRangeWithNothingChanged) {
    Fixture f;
    SymbolDescription& s = f.s;
    const Point far[2] = {{0, 0}, {2147483000, 5}};
    f.Select(s.AddWire(far, 2, 10, 0, 1));
    s.UpdateSelection();
    s.Undo().BeginStep();
    const std::int32_t entries = s.Undo().EntryCount();
    const std::vector<Word> before = BufferOf(s);
    ScopedMessageCapture messages;
    EXPECT_FALSE(MoveSelection(s, 1000, 0, true));
    EXPECT_EQ(BufferOf(s), before);
    EXPECT_EQ(s.Undo().EntryCount(), entries);
    EXPECT_EQ(messages.messages,
              (std::vector<RecordedMessage>{{"The result would lie outside the coordinate range.", "Error"}}));
    EXPECT_TRUE(MoveSelection(s, 647, 0, false)) << "up to the last coordinate";
}

TEST(EditSelection, EmptySelectionDoesNothing) {
    Fixture f;
    f.s.AddRectangle(0, 0, 10, 10, 1);
    f.s.Undo().BeginStep();
    const std::int32_t entries = f.s.Undo().EntryCount();
    const std::vector<Word> before = BufferOf(f.s);
    EXPECT_TRUE(MoveSelection(f.s, 5, 5, true));
    EXPECT_TRUE(RotateSelection(f.s, 0, 0, 90, true));
    EXPECT_TRUE(ScaleSelection(f.s, 0, 0, -1, 1, false));
    CopySelectionInPlace(f.s);
    DeleteSelection(f.s);
    DuplicateSelection(f.s, 2, 2, 10, 10, false);
    SetSelectionLayer(f.s, 4);
    ConvertIntoWire(f.s);
    ConnectWires(f.s, 50);
    EXPECT_EQ(BufferOf(f.s), before);
    EXPECT_EQ(f.s.Undo().EntryCount(), entries);
}

// Few rectangles each grow by a word in place; many are rewritten in one
// pass.  Both give the same records and undo the same way.
TEST(RotateSelection, RectanglesBecomeBoxesAtEveryAngle) {
    for (int count : {1, 3, 40}) {
        SCOPED_TRACE(count);
        Fixture f;
        SymbolDescription& s = f.s;
        s.AddCircle(0, 0, 1, 1);  // not selected
        for (int k = 0; k < count; ++k) f.Select(s.AddRectangle(10 * k, 0, 10 * k + 4, 2, 3));
        AddGroup(s);
        f.Select(s.RecordAt(Offsets(s)[static_cast<std::size_t>(count) + 1]));
        s.UpdateSelection();

        f.ExpectUndoRestores([&] { EXPECT_TRUE(RotateSelection(s, 0, 0, 90, false)); });
        ASSERT_TRUE(RotateSelection(s, 0, 0, 90, false));

        const std::vector<std::int32_t> at = Offsets(s);
        ASSERT_EQ(at.size(), static_cast<std::size_t>(count) + 4);
        EXPECT_EQ(WordsOf(s.RecordAt(at[0])), (std::vector<Word>{MakeHeader(4, 1, ObjectKind::Circle), 0, 0, 1}));
        for (int k = 0; k < count; ++k) {
            const Word* r = s.RecordAt(at[static_cast<std::size_t>(k) + 1]);
            // Centre (10k + 2, 1) turned a quarter: (-1, 10k + 2).
            EXPECT_EQ(WordsOf(r),
                      (std::vector<Word>{static_cast<Word>(MakeHeader(6, 3, ObjectKind::Box) | kSelectedBit), -1,
                                         10 * k + 2, 4, 2, 90000}));
        }
        const Word* member = s.RecordAt(at[static_cast<std::size_t>(count) + 2]);
        EXPECT_EQ(RecordKind(member), ObjectKind::Box) << "a rectangle in a group turns too";
        EXPECT_TRUE(IsMember(member));
        EXPECT_EQ(BoxView(member).Centre(), (Point{-5, 5}));
        EXPECT_EQ(GroupView(s.RecordAt(at[static_cast<std::size_t>(count) + 1])).Position(), (Point{-8, 7}));
        EXPECT_EQ(s.selectedCount, count + 1);
        EXPECT_EQ(s.objectCount, count + 4);
        EXPECT_EQ(s.Bounds(), (Rect{-25, -1, 1, std::max(25, 10 * (count - 1) + 4)}));
    }
}

TEST(RotateSelection, AnglesCentresAndRefusals) {
    struct Case {
        const char* what;
        double cx, cy, degrees;
        Point p, expected;
    };
    const Case cases[] = {
        {"quarter turn at the far end", 0, 0, 90, {2000000000, 3}, {-3, 2000000000}},
        {"minus three quarters is a quarter", 0, 0, -270, {2000000000, 3}, {-3, 2000000000}},
        {"half turn", 0, 0, 180, {-2000000000, 7}, {2000000000, -7}},
        {"fractional centre", 0.5, 0.5, 90, {10, 0}, {1, 10}},
        {"reduced modulo 360", 0, 0, 360.0 * 1e12 + 90, {5, 0}, {0, 5}},
        {"an eighth", 0, 0, 45, {1000, 0}, {707, 707}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        f.Select(f.s.AddPolygon(&c.p, 1, 1));
        f.s.UpdateSelection();
        ASSERT_TRUE(RotateSelection(f.s, c.cx, c.cy, c.degrees, false));
        EXPECT_EQ(PolygonView(f.s.FirstRecord()).Node(0), c.expected);
        EXPECT_EQ(PolygonView(f.s.FirstRecord()).NodeBounds(),
                  (Rect{c.expected.X, c.expected.Y, c.expected.X, c.expected.Y}));
    }

    struct Refusal {
        const char* what;
        double cx, degrees;
        Point p;
        const char* message;
    };
    const Refusal refusals[] = {
        {"not a number", 0, std::nan(""), {1, 1}, "The angle is not a valid number."},
        {"infinite", 0, std::numeric_limits<double>::infinity(), {1, 1}, "The angle is not a valid number."},
        {"centre not a number", std::nan(""), 90, {1, 1}, "The centre is not a valid number."},
        {"corner beyond the range",
         0,
         45,
         {2000000000, 2000000000},
         "The result would lie outside the coordinate range."},
    };
    for (const Refusal& c : refusals) {
        SCOPED_TRACE(c.what);
        Fixture f;
        f.Select(f.s.AddPolygon(&c.p, 1, 1));
        f.s.UpdateSelection();
        const std::vector<Word> before = BufferOf(f.s);
        ScopedMessageCapture messages;
        EXPECT_FALSE(RotateSelection(f.s, c.cx, 0, c.degrees, true));
        EXPECT_EQ(BufferOf(f.s), before);
        EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{c.message, "Error"}}));
    }
}

TEST(RotateSelection, OtherKinds) {
    Fixture f;
    SymbolDescription& s = f.s;
    s.AddBox(0, 0, 10, 4, 170, 1);
    s.AddArcWire(0, 0, 10, 0, 0, 10, MakeArcWidthWord(2, 1, false), 1);
    s.InsertSymbolCall(1, 0, 0);
    s.InsertArray(1, {0, 0}, {300, 0}, {0, 200}, 3, 2, 1.0, 10.0);
    f.SelectAll();
    const std::vector<std::int32_t> at = Offsets(s);
    f.ExpectUndoRestores([&] { RotateSelection(s, 0, 0, 30, false); });
    ASSERT_TRUE(RotateSelection(s, 0, 0, 30, false));
    EXPECT_EQ(BoxView(s.RecordAt(at[0])).AngleMillidegrees(), -160000) << "200 degrees brought into range";
    const ArcWireView arc(s.RecordAt(at[1]));
    EXPECT_EQ(arc.Start(), (Point{9, 5}));
    EXPECT_EQ(arc.End(), (Point{-5, 9}));
    EXPECT_EQ(arc.WidthWord(), MakeArcWidthWord(2, 1, false));
    const CallView call(s.RecordAt(at[2]));
    EXPECT_NEAR(call.Matrix().a, std::cos(kPi / 6), 1e-12);
    EXPECT_NEAR(call.Matrix().b, std::sin(kPi / 6), 1e-12);
    // The leaf's corner (100, 50) turned by 30 degrees lies at (61.6, 93.3).
    EXPECT_EQ(call.CachedExtent(), (Rect{-25, 0, 87, 93}));
    const ArrayView array(s.RecordAt(at[3]));
    EXPECT_EQ(array.ColumnEnd(), (Point{260, 150}));
    EXPECT_DOUBLE_EQ(array.AngleDegrees(), 40.0);
}

TEST(ScaleSelection, MirrorsAndUniformScales) {
    Fixture f;
    SymbolDescription& s = f.s;
    s.AddBox(0, 0, 10, 4, 30, 1);
    s.AddBox(0, 0, 10, 4, 120, 1);
    s.AddArcWire(0, 0, 10, 0, 0, 10, MakeArcWidthWord(4, 2, true), 1);
    s.AddRectangle(0, 0, 10, 20, 1);
    s.AddCircle(10, 0, 5, 1);
    s.AddWire(kLine, 3, 6, 1, 1);
    f.SelectAll();
    const std::vector<std::int32_t> at = Offsets(s);

    f.ExpectUndoRestores([&] { ScaleSelection(s, 0, 0, -1, 1, false); });
    ASSERT_TRUE(ScaleSelection(s, 0, 0, -1, 1, false));
    EXPECT_EQ(BoxView(s.RecordAt(at[0])).AngleMillidegrees(), -30000);
    EXPECT_EQ(BoxView(s.RecordAt(at[1])).AngleMillidegrees(), 60000);
    const ArcWireView arc(s.RecordAt(at[2]));
    EXPECT_EQ(arc.Start(), (Point{0, 10})) << "start and end exchange";
    EXPECT_EQ(arc.End(), (Point{-10, 0}));
    EXPECT_TRUE(arc.Clockwise()) << "the direction bit stays";
    EXPECT_EQ(arc.Width(), 4);
    EXPECT_EQ(arc.EndStyle(), 2);
    EXPECT_EQ(RectangleView(s.RecordAt(at[3])).Corner1(), (Point{0, 0})) << "corners as stored";
    EXPECT_EQ(RectangleView(s.RecordAt(at[3])).Corner2(), (Point{-10, 20}));

    f.ExpectUndoRestores([&] { ScaleSelection(s, 0, 0, -2, 2, false); });
    ASSERT_TRUE(ScaleSelection(s, 0, 0, -2, 2, false));
    const CircleView circle(s.RecordAt(at[4]));
    EXPECT_EQ(RecordKind(circle.Words()), ObjectKind::Circle);
    EXPECT_EQ(circle.Centre(), (Point{20, 0}));
    EXPECT_EQ(circle.Radius(), 10);
    const WireView wire(s.RecordAt(at[5]));
    EXPECT_EQ(wire.Width(), 12);
    EXPECT_EQ(wire.EndStyle(), 1);
    EXPECT_EQ(wire.NodeBounds(), (Rect{0, 0, 200, 200}));
    EXPECT_EQ(BoxView(s.RecordAt(at[0])).BoxLength(), 20);
    EXPECT_EQ(BoxView(s.RecordAt(at[0])).AngleMillidegrees(), 30000);
}

TEST(ScaleSelection, ArraysStretchOnlyOnQuarterTurns) {
    struct Case {
        const char* what;
        double angle, fx, fy;
        Point columnEnd;
        double magnification, newAngle;
    };
    const Case cases[] = {
        {"45 degrees, unequal: unchanged", 45, 2, 1, {300, 0}, 1, 45},
        {"90 degrees, unequal: lattice only", 90, 2, 1, {600, 0}, 1, 90},
        {"uniform doubles the elements", 45, 2, 2, {600, 0}, 2, 45},
        {"mirror in x", 30, -1, 1, {-300, 0}, -1, 150},
        {"mirror in y", 30, 1, -1, {300, 0}, -1, -30},
        {"both negative: half turn", 30, -1, -1, {-300, 0}, 1, -150},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        f.Select(f.s.InsertArray(1, {0, 0}, {300, 0}, {0, 200}, 3, 2, 1.0, c.angle));
        f.s.UpdateSelection();
        f.ExpectUndoRestores([&] { ScaleSelection(f.s, 0, 0, c.fx, c.fy, false); });
        ASSERT_TRUE(ScaleSelection(f.s, 0, 0, c.fx, c.fy, false));
        const ArrayView array(f.s.FirstRecord());
        EXPECT_EQ(array.ColumnEnd(), c.columnEnd);
        EXPECT_DOUBLE_EQ(array.Magnification(), c.magnification);
        EXPECT_DOUBLE_EQ(array.AngleDegrees(), c.newAngle);
    }
}

TEST(ScaleSelection, Refusals) {
    struct Case {
        const char* what;
        double fx, fy;
        const char* message;
    };
    const Case cases[] = {
        {"zero", 0, 1, "A scale factor of 0 would collapse the objects."},
        {"not a number", 1, std::nan(""), "The scale factor is not a valid number."},
        {"infinite", -std::numeric_limits<double>::infinity(), 1, "The scale factor is not a valid number."},
        {"beyond the range", 3, 3, "The result would lie outside the coordinate range."},
        {"wire too wide", 1.5, 1.5, "The result would lie outside the coordinate range."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        const Point line[2] = {{0, 0}, {1000000000, 0}};
        f.Select(f.s.AddWire(line, 2, 200000000, 0, 1));
        f.s.UpdateSelection();
        const std::vector<Word> before = BufferOf(f.s);
        ScopedMessageCapture messages;
        EXPECT_FALSE(ScaleSelection(f.s, 0, 0, c.fx, c.fy, false));
        EXPECT_EQ(BufferOf(f.s), before);
        EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{c.message, "Error"}}));
    }
}

TEST(CopySelectionInPlace, CopiesTakeTheSelection) {
    Fixture f;
    SymbolDescription& s = f.s;
    AddGroup(s);
    s.InsertSymbolCall(1, 5, 5);
    f.SelectAll();
    f.ExpectUndoRestores([&] { CopySelectionInPlace(s); });
    const std::vector<Word> before = BufferOf(s);
    CopySelectionInPlace(s);
    const std::vector<std::int32_t> at = Offsets(s);
    ASSERT_EQ(at.size(), 8u);
    for (int k = 0; k < 4; ++k) {
        std::vector<Word> original = WordsOf(s.RecordAt(at[k]));
        std::vector<Word> copy = WordsOf(s.RecordAt(at[k + 4]));
        EXPECT_FALSE(IsSelected(original.data()));
        original[0] = before[static_cast<std::size_t>(at[k])];
        EXPECT_EQ(copy, original) << k;
    }
    EXPECT_EQ(s.selectedCount, 2);
    EXPECT_EQ(s.callCount, 2);
}

TEST(DeleteSelection, RemovesObjectsWithTheirMembers) {
    // Two objects go one by one; forty go in one pass.
    for (int count : {2, 40}) {
        SCOPED_TRACE(count);
        Fixture f;
        SymbolDescription& s = f.s;
        s.AddCircle(0, 0, 5, 1);
        AddGroup(s);
        s.InsertSymbolCall(1, 1000, 1000);
        for (int k = 0; k < count - 2; ++k) s.AddRectangle(k, 0, k + 1, 1, 2);
        s.AddRectangle(-7, -7, 7, 7, 4);
        const std::vector<std::int32_t> at = Offsets(s);
        f.Select(s.RecordAt(at[1]));
        f.Select(s.RecordAt(at[4]));
        for (int k = 0; k < count - 2; ++k) f.Select(s.RecordAt(at[5 + static_cast<std::size_t>(k)]));
        s.UpdateSelection();
        f.ExpectUndoRestores([&] { DeleteSelection(s); });

        platform::headless::ScopedProgressCapture progress;
        DeleteSelection(s);
        EXPECT_EQ(progress.steps.front(), 0);
        EXPECT_EQ(progress.steps.back(), 100);
        const std::vector<std::int32_t> left = Offsets(s);
        ASSERT_EQ(left.size(), 2u);
        EXPECT_EQ(RecordKind(s.RecordAt(left[0])), ObjectKind::Circle);
        EXPECT_EQ(RectangleView(s.RecordAt(left[1])).Box(), (Rect{-7, -7, 7, 7}));
        EXPECT_EQ(s.objectCount, 2);
        EXPECT_EQ(s.selectedCount, 0);
        EXPECT_EQ(s.callCount, 0);
        EXPECT_TRUE(s.Children().empty());
        EXPECT_TRUE(f.layout.CallersOf(1).empty());
        EXPECT_EQ(s.Bounds(), (Rect{-7, -7, 7, 7})) << "the box shrinks";
    }
}

TEST(ScaleSelection, UnequalFactorsTurnCurvesIntoPolygons) {
    Fixture f;
    SymbolDescription& s = f.s;
    s.AddCircle(10, 0, 5, 3);
    s.AddRectangle(0, 0, 10, 10, 1);
    const Point line[2] = {{0, 0}, {10, 0}};
    s.AddWire(line, 2, 0, 0, 1);
    s.AddWire(line, 2, 4, 0, 1);  // too thin for an outline: stays, and undo must still give it back selected
    f.SelectAll();
    f.ExpectUndoRestores([&] { ScaleSelection(s, 0, 0, 2, 1, false); });
    ASSERT_TRUE(ScaleSelection(s, 0, 0, 2, 1, false));
    const std::vector<std::int32_t> at = Offsets(s);
    const PolygonView polygon(s.RecordAt(at[0]));
    ASSERT_EQ(polygon.Kind(), ObjectKind::Polygon);
    EXPECT_EQ(polygon.Layer(), 3);
    EXPECT_TRUE(polygon.Selected());
    EXPECT_EQ(polygon.NodeBounds(), (Rect{10, -5, 30, 5})) << "stretched twice as wide";
    EXPECT_EQ(RectangleView(s.RecordAt(at[1])).Box(), (Rect{0, 0, 20, 10}));
    EXPECT_EQ(RecordKind(s.RecordAt(at[2])), ObjectKind::Wire) << "a wire of width 0 is scaled as it is";
    EXPECT_EQ(WireView(s.RecordAt(at[2])).Node(1), (Point{20, 0}));
}

// Many conversions take the one-pass rewrite, a few the record-by-record
// path: both must give the same records, in place, with the selection kept.
TEST(ScaleSelection, ManyConversionsGiveTheSameRecordsAsFew) {
    const Point line[2] = {{0, 0}, {1000, 0}};
    // Per repetition: circle, box, wide wire, unselected circle, group of a
    // rectangle and a circle, rectangle.
    const auto build = [&](SymbolDescription& s, int repetitions) {
        for (int k = 0; k < repetitions; ++k) {
            s.SetSelected(s.AddCircle(10, 0, 5, 3));
            s.SetSelected(s.AddBox(0, 0, 20, 10, 30, 1));
            s.SetSelected(s.AddWire(line, 2, 100, 0, 1));
            s.AddCircle(0, 0, 5, 3);
            AddGroup(s);
            s.SetSelected(s.RecordAt(Offsets(s)[Offsets(s).size() - 3]));
            s.SetSelected(s.AddRectangle(0, 0, 10, 10, 1));
        }
        s.UpdateSelection();
    };
    std::vector<std::vector<Word>> expected;  // one repetition, from the few-record path
    for (const int repetitions : {1, 40}) {
        SCOPED_TRACE(repetitions);
        Fixture f;
        SymbolDescription& s = f.s;
        build(s, repetitions);
        f.ExpectUndoRestores([&] { ScaleSelection(s, 0, 0, 2, -1, false); });
        ASSERT_TRUE(ScaleSelection(s, 0, 0, 2, -1, false));
        std::vector<std::vector<Word>> records;
        for (const Word* r = s.FirstRecord(); r; r = s.NextRecord(r)) records.push_back(WordsOf(r));
        ASSERT_EQ(records.size(), 8u * repetitions);
        const std::vector<std::vector<Word>> first(records.begin(), records.begin() + 8);
        if (expected.empty()) expected = first;
        for (int k = 0; k < repetitions; ++k) {
            EXPECT_TRUE(std::equal(first.begin(), first.end(), records.begin() + 8 * k)) << "repetition " << k;
        }
        EXPECT_EQ(first, expected);
        std::vector<ObjectKind> kinds;
        for (const std::vector<Word>& r : first) kinds.push_back(RecordKind(r.data()));
        EXPECT_EQ(kinds, (std::vector<ObjectKind>{ObjectKind::Polygon, ObjectKind::Polygon, ObjectKind::Polygon,
                                                  ObjectKind::Circle, ObjectKind::Group, ObjectKind::Rectangle,
                                                  ObjectKind::Polygon, ObjectKind::Rectangle}));
        EXPECT_EQ(PolygonView(first[0].data()).NodeBounds(), (Rect{10, -5, 30, 5}));
        EXPECT_TRUE(IsMember(first[6].data())) << "a converted member stays a member";
        EXPECT_EQ(CircleView(first[3].data()).Centre(), (Point{0, 0})) << "not selected, not scaled";
        EXPECT_EQ(s.selectedCount, 5 * repetitions);
        EXPECT_EQ(s.objectCount, 8 * repetitions);
    }
}

TEST(DuplicateSelection, CopiesFillTheGridAndTheLastOneIsSelected) {
    Fixture f;
    SymbolDescription& s = f.s;
    f.Select(s.AddRectangle(0, 0, 10, 10, 1));
    s.UpdateSelection();
    f.ExpectUndoRestores([&] { DuplicateSelection(s, 3, 2, 100, 50, true); });
    platform::headless::ScopedProgressCapture progress;
    DuplicateSelection(s, 3, 2, 100, 50, true);  // not a call: copies, not an array
    EXPECT_EQ(progress.steps, (std::vector<int>{0, 0, 33, 67, 100}));
    std::vector<Point> corners;
    for (const Word* r = s.FirstRecord(); r; r = s.NextRecord(r)) corners.push_back(RectangleView(r).Corner1());
    EXPECT_EQ(corners, (std::vector<Point>{{0, 0}, {50, 0}, {0, 100}, {50, 100}, {0, 200}, {50, 200}}));
    EXPECT_EQ(s.selectedCount, 1);
    EXPECT_EQ(s.FirstSelected(), s.RecordAt(Offsets(s).back()));

    for (auto [rows, columns, rowSpacing, columnSpacing] : {std::tuple{0, 2, 1, 1}, {2, 2, 0, 1}, {1, 1, 5, 5}}) {
        const std::int32_t entries = s.Undo().EntryCount();
        DuplicateSelection(s, rows, columns, rowSpacing, columnSpacing, false);
        EXPECT_EQ(s.objectCount, 6);
        EXPECT_EQ(s.Undo().EntryCount(), entries);
    }
}

TEST(DuplicateSelection, CountsBeyondMemoryAreRefused) {
    Fixture f;
    SymbolDescription& s = f.s;
    // Within the coordinate range, but rows x columns x 5 words overflow 64 bits.
    f.Select(s.AddRectangle(-1000000000, -1000000000, -999999990, -999999990, 1));
    s.UpdateSelection();
    s.Undo().BeginStep();
    const std::int32_t entries = s.Undo().EntryCount();
    const std::vector<Word> before = BufferOf(s);
    ScopedMessageCapture messages;
    DuplicateSelection(s, 1500000000, 1500000000, 1, 1, false);
    EXPECT_EQ(BufferOf(s), before);
    EXPECT_EQ(s.Undo().EntryCount(), entries);
    EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"Not enough memory for this operation.", "Error"}}));
}

TEST(DuplicateSelection, CallBecomesAnArrayCoveringTheSamePlaces) {
    struct Case {
        const char* what;
        std::int32_t rowSpacing, columnSpacing;
        Point origin, columnEnd, rowEnd;
    };
    const Case cases[] = {
        {"positive spacings", 300, 200, {1000, 0}, {1600, 0}, {1000, 600}},
        {"negative column spacing", 300, -200, {600, 0}, {1200, 0}, {600, 600}},
        {"both negative", -300, -200, {600, -300}, {1200, -300}, {600, 300}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        SymbolDescription& s = f.s;
        f.Select(s.InsertSymbolCall(1, 1000, 0));
        s.UpdateSelection();
        f.ExpectUndoRestores([&] { DuplicateSelection(s, 2, 3, c.rowSpacing, c.columnSpacing, true); });
        DuplicateSelection(s, 2, 3, c.rowSpacing, c.columnSpacing, true);
        ASSERT_EQ(s.objectCount, 1);
        const ArrayView array(s.FirstRecord());
        ASSERT_EQ(array.Kind(), ObjectKind::SymbolArray);
        EXPECT_TRUE(array.Selected());
        EXPECT_EQ(array.SymbolId(), 1);
        EXPECT_EQ(array.Columns(), 3);
        EXPECT_EQ(array.Rows(), 2);
        EXPECT_EQ(array.Origin(), c.origin);
        EXPECT_EQ(array.ColumnEnd(), c.columnEnd);
        EXPECT_EQ(array.RowEnd(), c.rowEnd);
        EXPECT_DOUBLE_EQ(array.Magnification(), 1.0);
        EXPECT_EQ(s.callCount, 1);
    }
}

TEST(SetSelectionLayer, DrawnKindsAndTextGlyphsTakeTheLayer) {
    Fixture f;
    SymbolDescription& s = f.s;
    s.AddRectangle(0, 0, 1, 1, 1);
    s.AddText(0, 0, 2, "AB", 100, {}, 1);
    SetMemberBit(s.AddPolygon(kTriangle, 3, 1), true);
    SetMemberBit(s.AddPolygon(kTriangle, 3, 1), true);
    AddGroup(s);
    s.AddRectangle(0, 0, 1, 1, 1);  // not selected
    const std::vector<std::int32_t> at = Offsets(s);
    f.Select(s.RecordAt(at[0]));
    f.Select(s.RecordAt(at[1]));
    f.Select(s.RecordAt(at[4]));
    s.UpdateSelection();
    f.ExpectUndoRestores([&] { SetSelectionLayer(s, 9); });
    SetSelectionLayer(s, 9);
    std::vector<int> layers;
    for (const Word* r = s.FirstRecord(); r; r = s.NextRecord(r)) layers.push_back(RecordLayer(r));
    EXPECT_EQ(layers, (std::vector<int>{9, 9, 9, 9, 0, 2, 2, 1}));
}

TEST(CenterAtOrigin, OnlyInTheMainSymbol) {
    Fixture f;
    f.leaf.Undo().SetRecording(true);
    f.leaf.SetSelected(f.leaf.FirstRecord());
    const std::vector<Word> leafBefore = BufferOf(f.leaf);
    EXPECT_FALSE(CenterAtOrigin(f.leaf));
    EXPECT_EQ(BufferOf(f.leaf), leafBefore);

    SymbolDescription& s = f.s;
    s.AddRectangle(100, 100, 201, 300, 1);
    AddGroup(s);
    f.Select(s.FirstRecord());
    s.UpdateSelection();
    f.ExpectUndoRestores([&] { CenterAtOrigin(s); });
    ASSERT_TRUE(CenterAtOrigin(s));
    // Centre of the selection (150.5, 200), truncated: everything moves by (-150, -200).
    const std::vector<std::int32_t> at = Offsets(s);
    EXPECT_EQ(RectangleView(s.RecordAt(at[0])).Box(), (Rect{-50, -100, 51, 100}));
    EXPECT_EQ(GroupView(s.RecordAt(at[1])).Position(), (Point{-143, -192}));
    EXPECT_EQ(CircleView(s.RecordAt(at[3])).Centre(), (Point{-130, -180})) << "members move with their head";
    EXPECT_EQ(s.selectionBox, (Rect{-50, -100, 51, 100}));

    s.DeselectAll();
    // The whole symbol, (-150..51, -200..100): its centre (-49.5, -50) truncated.
    ASSERT_TRUE(CenterAtOrigin(s));
    EXPECT_EQ(RectangleView(s.RecordAt(at[0])).Box(), (Rect{-1, -50, 100, 150}));
}

TEST(ConvertIntoWire, RingsAndArcsFollowTheirCentreLine) {
    Fixture f;
    SymbolDescription& s = f.s;
    f.Select(s.AddArcWire(0, 0, 1000, 0, 0, 1000, MakeArcWidthWord(20, 1, false), 4));
    s.UpdateSelection();
    f.ExpectUndoRestores([&] { ConvertIntoWire(s); });
    ConvertIntoWire(s);
    const WireView wire(s.FirstRecord());
    ASSERT_EQ(wire.Kind(), ObjectKind::Wire);
    EXPECT_EQ(wire.NodeCount(), 20) << "a quarter of 72 segments, plus both ends";
    EXPECT_EQ(wire.Node(0), (Point{1000, 0}));
    EXPECT_EQ(wire.Node(1),
              (Point{RoundHalfAway(1000 * std::cos(kPi / 38)), RoundHalfAway(1000 * std::sin(kPi / 38))}));
    EXPECT_EQ(wire.Node(19), (Point{0, 1000}));
    EXPECT_EQ(wire.WidthWord(), MakeWireWidthWord(20, 1));
    EXPECT_EQ(wire.NodeBounds(), (Rect{0, 0, 1000, 1000}));
    EXPECT_EQ(wire.Layer(), 4);
    EXPECT_EQ(s.CurrentObject(), nullptr);

    Fixture g;
    g.Select(g.s.AddRing(10, 10, 100, 30, 2));
    g.Select(g.s.AddRectangle(0, 0, 5, 5, 1));  // only the first is converted; both selected again after undo
    g.s.UpdateSelection();
    g.ExpectUndoRestores([&] { ConvertIntoWire(g.s); });
    ConvertIntoWire(g.s);
    EXPECT_EQ(RecordKind(g.s.NextRecord(g.s.FirstRecord())), ObjectKind::Rectangle);
    const WireView ring(g.s.FirstRecord());
    ASSERT_EQ(ring.NodeCount(), 73);
    EXPECT_EQ(ring.Node(0), (Point{10, -90}));
    EXPECT_EQ(ring.Node(18), (Point{110, 10}));
    EXPECT_EQ(ring.Node(72), ring.Node(0));
    EXPECT_EQ(ring.NodeBounds(), (Rect{-105, -105, 125, 125}));
    EXPECT_EQ(ring.Width(), 30);
}

TEST(ConnectWires, ChainJoinsInAnyOrder) {
    // Three wires forming (0,0)-(10,0)-(10,10)-(0,10)-(0,20), the middle one
    // drawn backwards, in every list order.
    const Point a[2] = {{0, 0}, {10, 0}};
    const Point b[3] = {{0, 10}, {10, 10}, {10, 1}};  // ends within 1 of a's end
    const Point c[2] = {{0, 10}, {0, 20}};
    const Point* wires[3] = {a, b, c};
    const int counts[3] = {2, 3, 2};
    int order[3] = {0, 1, 2};
    do {
        SCOPED_TRACE(testing::Message() << order[0] << order[1] << order[2]);
        Fixture f;
        SymbolDescription& s = f.s;
        for (int k : order) f.Select(s.AddWire(wires[k], counts[k], 0, 0, 1));
        s.AddWire(a, 2, 0, 0, 1);  // not selected
        const Point apart[2] = {{500, 500}, {600, 500}};
        f.Select(s.AddWire(apart, 2, 0, 0, 1));  // selected, meets nothing: stays, selected after undo too
        f.Select(s.AddRectangle(0, 0, 10, 20, 1));
        s.UpdateSelection();
        f.ExpectUndoRestores([&] { ConnectWires(s, 1); });
        ConnectWires(s, 1);
        ASSERT_EQ(s.objectCount, 4);
        const WireView wire(s.FirstRecord());
        std::vector<Point> nodes(wire.Nodes(), wire.Nodes() + wire.NodeCount());
        if (nodes.front() != Point{0, 0}) std::reverse(nodes.begin(), nodes.end());
        ASSERT_EQ(nodes.size(), 5u);
        EXPECT_EQ(nodes.front(), (Point{0, 0}));
        EXPECT_EQ(nodes.back(), (Point{0, 20}));
        EXPECT_EQ(nodes[2], (Point{10, 10}));
        EXPECT_EQ(wire.NodeBounds(), (Rect{0, 0, 10, 20}));
        EXPECT_EQ(s.selectedCount, 3);
    } while (std::next_permutation(order, order + 3));
}

// Many joins rebuild the buffer in one pass, a few go record by record: both
// must give the same records.
TEST(ConnectWires, ManyChainsGiveTheSameRecordsAsOne) {
    const Point a[2] = {{0, 0}, {10, 0}};
    const Point b[3] = {{0, 10}, {10, 10}, {10, 1}};
    const Point c[2] = {{0, 10}, {0, 20}};
    const Point loop[4] = {{0, 30}, {10, 30}, {10, 40}, {1, 31}};
    const auto shifted = [](const Point* nodes, int n, std::int32_t dx) {
        std::vector<Point> out(nodes, nodes + n);
        for (Point& p : out) p.X += dx;
        return out;
    };
    std::vector<std::vector<Word>> expected;  // one chain, record by record
    for (const int chains : {1, 20}) {
        SCOPED_TRACE(chains);
        Fixture f;
        SymbolDescription& s = f.s;
        for (int k = 0; k < chains; ++k) {
            const std::int32_t dx = 1000 * k;
            f.Select(s.AddWire(shifted(c, 2, dx).data(), 2, 0, 0, 1));
            s.AddWire(shifted(a, 2, dx).data(), 2, 0, 0, 1);  // not selected: stays
            f.Select(s.AddWire(shifted(b, 3, dx).data(), 3, 0, 0, 1));
            f.Select(s.AddWire(shifted(a, 2, dx).data(), 2, 0, 0, 1));
            f.Select(s.AddWire(shifted(loop, 4, dx).data(), 4, 0, 0, 2));
        }
        s.UpdateSelection();
        f.ExpectUndoRestores([&] { ConnectWires(s, 1); });
        ConnectWires(s, 1);
        std::vector<std::vector<Word>> records;
        for (const Word* r = s.FirstRecord(); r; r = s.NextRecord(r)) records.push_back(WordsOf(r));
        ASSERT_EQ(records.size(), 3u * chains);
        for (int k = 0; k < chains; ++k) {
            std::vector<std::vector<Word>> chain(records.begin() + 3 * k, records.begin() + 3 * k + 3);
            for (std::vector<Word>& r : chain) MoveRecordWords(r.data(), -1000 * k, 0);
            if (expected.empty()) expected = chain;
            EXPECT_EQ(chain, expected) << "chain " << k;
        }
        const WireView wire(expected[0].data());
        EXPECT_EQ(wire.NodeCount(), 5);
        EXPECT_EQ(RecordKind(expected[1].data()), ObjectKind::Wire);
        EXPECT_EQ(RecordKind(expected[2].data()), ObjectKind::Polygon);
        EXPECT_EQ(s.selectedCount, 2 * chains);
    }
}

TEST(ConnectWires, ClosedWiresOfWidthZeroBecomePolygons) {
    const Point closed[4] = {{0, 0}, {10, 0}, {10, 10}, {0, 0}};
    const Point open[3] = {{100, 0}, {110, 0}, {110, 10}};
    const Point back[2] = {{110, 10}, {100, 1}};
    Fixture f;
    SymbolDescription& s = f.s;
    f.Select(s.AddWire(closed, 4, 0, 0, 1));
    f.Select(s.AddWire(open, 3, 0, 0, 2));
    f.Select(s.AddWire(back, 2, 0, 0, 2));
    s.UpdateSelection();
    f.ExpectUndoRestores([&] { ConnectWires(s, 1); });
    ConnectWires(s, 1);
    const std::vector<std::int32_t> at = Offsets(s);
    ASSERT_EQ(at.size(), 2u);
    const PolygonView polygon(s.RecordAt(at[0]));
    ASSERT_EQ(polygon.Kind(), ObjectKind::Polygon);
    EXPECT_EQ(polygon.NodeCount(), 3) << "one node fewer";
    EXPECT_EQ(polygon.NodeBounds(), (Rect{0, 0, 10, 10}));
    EXPECT_TRUE(polygon.Selected());
    const PolygonView joined(s.RecordAt(at[1]));
    ASSERT_EQ(joined.Kind(), ObjectKind::Polygon) << "joined, then closed";
    EXPECT_EQ(joined.NodeCount(), 3);
    EXPECT_EQ(joined.Layer(), 2);

    // A closed wire of non-zero width stays a wire.
    Fixture g;
    g.Select(g.s.AddWire(closed, 4, 5, 0, 1));
    g.s.UpdateSelection();
    const std::vector<Word> before = BufferOf(g.s);
    ConnectWires(g.s, 1);
    EXPECT_EQ(BufferOf(g.s), before);
}

TEST(ReplaceSelectionRecord, ResizesRecordsAndKeepsTheSelection) {
    Fixture f;
    SymbolDescription& s = f.s;
    f.Select(s.AddRectangle(0, 0, 10, 10, 1));
    s.AddCircle(0, 0, 1, 1);
    s.UpdateSelection();
    std::vector<Word> contents(11);
    contents[0] = static_cast<Word>(MakeHeader(11, 1, ObjectKind::Polygon) | kSelectedBit);
    std::copy(&kTriangle[0].X, &kTriangle[0].X + 6, contents.begin() + 5);
    PolygonView(contents.data()).RefreshNodeBounds();
    f.ExpectUndoRestores([&] { ReplaceSelectionRecord(s, s.FirstRecord(), contents.data()); });
    Word* r = ReplaceSelectionRecord(s, s.FirstRecord(), contents.data());
    EXPECT_EQ(WordsOf(r), contents);
    EXPECT_EQ(s.statusText.rfind("Polygon, ", 0), 0u);
    EXPECT_EQ(RecordKind(s.NextRecord(r)), ObjectKind::Circle);
}

// Edits of a large selection record whole buffers, or cut off what they
// appended, instead of an entry per record.  Undo must still give back every
// word and the selection as it was, redo the state after, and the children
// list must follow through the layout's undo.
TEST(BulkEdits, UndoRestoresBufferAndSelectionAndRedoTheResult) {
    // Without members, deleting everything hands the whole buffer over.
    for (const bool group : {true, false}) {
        SCOPED_TRACE(group ? "with a group" : "without members");
        Fixture f;
        for (int k = 0; k < 40; ++k) f.s.AddRectangle(k * 300, 0, k * 300 + 200, 100 + k, 1 + k % 3);
        f.s.AddPolygon(kTriangle, 3, 2);
        f.s.AddCircle(5000, 5000, 300, 3);
        if (group) AddGroup(f.s);
        f.s.InsertSymbolCall(1, 9000, 9000);
        f.s.RebuildChildren();
        const auto unmarked = [](std::vector<Word> words) {
            for (std::size_t at = 0; at + 1 < words.size(); at += static_cast<std::size_t>(RecordLength(&words[at]))) {
                SetSelectedBit(&words[at], false);
            }
            return words;
        };
        const std::vector<std::pair<std::string, std::function<void()>>> edits = {
            {"duplicate", [&] { DuplicateSelection(f.s, 2, 3, 1000, 20000, false); }},
            {"copy in place", [&] { CopySelectionInPlace(f.s); }},
            {"rotate", [&] { RotateSelection(f.s, 10, 20, 90, false); }},
            {"scale", [&] { ScaleSelection(f.s, 0, 0, 2, 3, false); }},
            {"delete", [&] { DeleteSelection(f.s); }},
        };
        for (const auto& [name, edit] : edits) {
            SCOPED_TRACE(name);
            f.s.DeselectAll();
            f.SelectAll();
            f.s.RecomputeBounds();
            const std::vector<Word> before = BufferOf(f.s);
            const std::int32_t selected = f.s.selectedCount;
            ASSERT_GT(selected, 32);
            f.s.Undo().BeginStep();
            edit();
            const std::vector<Word> after = BufferOf(f.s);
            ASSERT_NE(unmarked(after), unmarked(before));
            f.layout.Undo();
            EXPECT_EQ(BufferOf(f.s), before);
            EXPECT_EQ(f.s.selectedCount, selected);
            EXPECT_EQ(f.s.Children(), std::vector<std::int32_t>{1});
            f.layout.Redo();
            EXPECT_EQ(unmarked(BufferOf(f.s)), unmarked(after));
            EXPECT_EQ(f.s.Children().empty(), name == "delete");
            f.layout.Undo();
            EXPECT_EQ(unmarked(BufferOf(f.s)), unmarked(before));
            EXPECT_EQ(f.s.Children(), std::vector<std::int32_t>{1});
        }
    }
}
