// The numbers behind the object property dialogs: placements split and put
// together again, array lattices laid out from spacings, the node table's
// measures, the coordinate limit, and the commits with their undo.
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

#include "editing/ObjectProperties.h"
#include "geometry/TextOutlines.h"
#include "model/Layout.h"
#include "model/RecordTransform.h"
#include "model/RecordViews.h"
#include "model/UndoList.h"
#include "platform/headless/RecordingMessages.h"
#include "support/FakeGlyphs.h"

using namespace zandor;

namespace {

std::vector<Word> BufferOf(const SymbolDescription& s) {
    if (!s.Words()) return {};
    return {s.Words(), s.Words() + s.usedWords + 1};
}

std::vector<Word> WordsOf(const Word* r) { return {r, r + RecordLength(r)}; }

TEST(ObjectPropertiesTest, PlacementsAreShownAndBuiltAsTheDialogsTakeThem) {
    struct Case {
        const char* name;
        TransformMatrix m;
        PlacementShown expected;
    };
    const double r30 = 30 * kPi / 180;
    const std::vector<Case> cases = {
        {"unit", {}, {0, 0, 100, 100, 0, true}},
        // The translation is cut toward zero, not rounded.
        {"moved by fractions", {1, 0, 0, 1, 1500.7, -2500.7}, {1500, -2500, 100, 100, 0, true}},
        {"doubled and turned",
         {2 * std::cos(r30), 2 * std::sin(r30), -2 * std::sin(r30), 2 * std::cos(r30), 10, 20},
         {10, 20, 200, 200, 30, true}},
        {"mirrored", {1, 0, 0, -1, 0, 0}, {0, 0, 100, -100, 0, false}},
        {"quarter turn, unequal", PlacementMatrix(1.5, 0.5, kPi / 2, -7, 8), {-7, 8, 150, 50, 90, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PlacementShown shown = ShowPlacement(c.m);
        EXPECT_EQ(shown.x, c.expected.x);
        EXPECT_EQ(shown.y, c.expected.y);
        EXPECT_NEAR(shown.xScalePercent, c.expected.xScalePercent, 1e-9);
        EXPECT_NEAR(shown.yScalePercent, c.expected.yScalePercent, 1e-9);
        EXPECT_DOUBLE_EQ(shown.angleDegrees, c.expected.angleDegrees);
        EXPECT_EQ(shown.lockAspect, c.expected.lockAspect);
        // Built again from what is shown, the matrix maps points as before.
        const TransformMatrix again = PlacementMatrix(shown.xScalePercent / 100, shown.yScalePercent / 100,
                                                      shown.angleDegrees * kPi / 180, shown.x, shown.y);
        for (const double v : {again.a - c.m.a, again.b - c.m.b, again.c - c.m.c, again.d - c.m.d})
            EXPECT_NEAR(v, 0, 1e-9);
        EXPECT_LT(std::fabs(again.tx - c.m.tx), 1);
    }
}

// An array record at the origin, 2 columns x 2 rows of 1 um, of symbol 1.
std::vector<Word> ArrayRecord() {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    layout.AddSymbol(1, "leaf")->AddRectangle(0, 0, 100, 100, 0);
    return WordsOf(s.InsertArray(1, {0, 0}, {2000, 0}, {0, 2000}, 2, 2, 1, 0));
}

TEST(ObjectPropertiesTest, ArrayLatticesAreLaidOutFromTheirSpacings) {
    struct Case {
        const char* name;
        ArrayLattice lattice;
        Point origin, columnEnd, rowEnd;
        double magnification, angle;
    };
    const auto lattice = [](Point origin, int columns, int rows, std::int32_t c, std::int32_t r, double angle,
                            bool mirrored = false) {
        ArrayLattice l;
        l.origin = origin;
        l.columns = columns;
        l.rows = rows;
        l.columnSpacing = c;
        l.rowSpacing = r;
        l.angleDegrees = angle;
        l.mirrored = mirrored;
        l.magnification = 0.5;
        return l;
    };
    const std::vector<Case> cases = {
        {"plain", lattice({1000, 2000}, 3, 2, 10000, 5000, 0), {1000, 2000}, {31000, 2000}, {1000, 12000}, 0.5, 0},
        // The origin moves to the other end and the spacing is kept positive.
        {"negative column spacing",
         lattice({0, 0}, 3, 1, -10000, 5000, 0),
         {-20000, 0},
         {10000, 0},
         {-20000, 5000},
         0.5,
         0},
        {"negative row spacing", lattice({0, 0}, 1, 4, 1000, -1000, 0), {0, -3000}, {1000, -3000}, {0, 1000}, 0.5, 0},
        {"mirrored rows run downwards",
         lattice({0, 0}, 1, 2, 1000, 5000, 0, true),
         {0, 0},
         {1000, 0},
         {0, -10000},
         -0.5,
         0},
        {"mirrored negative row spacing",
         lattice({0, 0}, 1, 2, 1000, -5000, 0, true),
         {0, 5000},
         {1000, 5000},
         {0, -5000},
         -0.5,
         0},
        {"turned a quarter", lattice({0, 0}, 3, 2, 10000, 5000, 90), {0, 0}, {0, 30000}, {-10000, 0}, 0.5, 90},
        {"540 degrees", lattice({0, 0}, 1, 1, 1000, 1000, 540), {0, 0}, {-1000, 0}, {0, -1000}, 0.5, 180},
        {"-190 degrees",
         lattice({0, 0}, 1, 1, 1000, 1000, -190),
         {0, 0},
         RotatePoint({1000, 0}, 0, 0, 170),
         RotatePoint({0, 1000}, 0, 0, 170),
         0.5,
         170},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Word> record = ArrayRecord();
        ASSERT_TRUE(WriteArrayLattice(record.data(), c.lattice));
        const ArrayView array(record.data());
        EXPECT_EQ(array.Origin(), c.origin);
        EXPECT_EQ(array.ColumnEnd(), c.columnEnd);
        EXPECT_EQ(array.RowEnd(), c.rowEnd);
        EXPECT_EQ(array.Columns(), c.lattice.columns);
        EXPECT_EQ(array.Rows(), c.lattice.rows);
        EXPECT_DOUBLE_EQ(array.Magnification(), c.magnification);
        EXPECT_DOUBLE_EQ(array.AngleDegrees(), c.angle);
        // Shown again, the spacings are positive and the angle is the one stored.
        const ArrayLattice shown = ShowArrayLattice(record.data());
        EXPECT_EQ(shown.columnSpacing, std::abs(c.lattice.columnSpacing));
        EXPECT_EQ(shown.rowSpacing, std::abs(c.lattice.rowSpacing));
        EXPECT_EQ(shown.mirrored, c.lattice.mirrored);
        EXPECT_DOUBLE_EQ(shown.angleDegrees, c.angle);
    }
    // A lattice end beyond the limit changes nothing.
    std::vector<Word> record = ArrayRecord();
    const std::vector<Word> before = record;
    EXPECT_FALSE(WriteArrayLattice(record.data(), lattice({0, 0}, 1000, 1, 3000000, 1000, 0)));
    EXPECT_FALSE(
        WriteArrayLattice(record.data(), lattice({0, 0}, 1, 1, 1000, 1000, std::numeric_limits<double>::quiet_NaN())));
    EXPECT_EQ(record, before);
}

TEST(ObjectPropertiesTest, NodeTablesMeasureAreaAndLength) {
    const std::vector<Point> square = {{0, 0}, {1000, 0}, {1000, 1000}, {0, 1000}};
    EXPECT_DOUBLE_EQ(SurfaceAreaSquareMicrons(square.data(), 4), 1);
    // Clockwise counts the same; large coordinates lose nothing.
    const std::vector<Point> large = {
        {-2000000000, -2000000000}, {-2000000000, 2000000000}, {2000000000, 2000000000}, {2000000000, -2000000000}};
    EXPECT_DOUBLE_EQ(SurfaceAreaSquareMicrons(large.data(), 4), 16e12);
    const std::vector<Point> wire = {{0, 0}, {3000, 4000}, {3001, 4001}};
    EXPECT_EQ(WireTotalLength(wire.data(), 2), 5000);
    EXPECT_EQ(WireTotalLength(wire.data(), 3), 5001) << "each segment rounded on its own";
}

TEST(ObjectPropertiesTest, RecordsAreRebuiltAroundTheirNodes) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    const Point triangle[3] = {{0, 0}, {10, 0}, {0, 10}};
    const std::vector<Word> polygon = WordsOf(s.AddPolygon(triangle, 3, 4));
    const std::vector<Word> wire = WordsOf(s.AddWire(triangle, 3, 500, 2, 5));
    const std::vector<Point> nodes = {{-5, 0}, {10, 0}, {10, 0}, {0, 30}};
    for (const std::vector<Word>* original : {&polygon, &wire}) {
        const std::vector<Word> made = RecordWithNodes(original->data(), nodes);
        ASSERT_FALSE(made.empty());
        EXPECT_EQ(RecordKind(made.data()), RecordKind(original->data()));
        EXPECT_EQ(RecordLayer(made.data()), RecordLayer(original->data()));
        const bool isPolygon = RecordKind(made.data()) == ObjectKind::Polygon;
        EXPECT_EQ(isPolygon ? PolygonNodeCount(made.data()) : WireNodeCount(made.data()), 4);
        EXPECT_EQ(PolygonView(made.data()).NodeBounds(), (Rect{-5, 0, 10, 30}));
        if (!isPolygon) {
            EXPECT_EQ(WireView(made.data()).WidthWord(), WireView(original->data()).WidthWord());
        }
    }
    EXPECT_TRUE(RecordWithNodes(polygon.data(), std::vector<Point>(kMaxPolygonNodes + 1)).empty());
    EXPECT_FALSE(RecordWithNodes(polygon.data(), std::vector<Point>(kMaxPolygonNodes)).empty());
}

TEST(ObjectPropertiesTest, TheLimitCoversPointsAndExtents) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    SymbolDescription& leaf = *layout.AddSymbol(1, "leaf");
    leaf.AddRectangle(0, 0, 1000000, 1000000, 0);
    struct Case {
        const char* name;
        std::vector<Word> record;
        bool within;
    };
    TransformMatrix far{1, 0, 0, 1, 1999500000, 0};
    const std::vector<Case> cases = {
        {"rectangle at the limit", WordsOf(s.AddRectangle(-2000000000, 0, 2000000000, 10, 0)), true},
        {"rectangle past it", WordsOf(s.AddRectangle(0, 0, 2000000001, 10, 0)), false},
        {"circle reaching past it", WordsOf(s.AddCircle(1900000000, 0, 200000000, 0)), false},
        {"box turned past it", WordsOf(s.AddBox(1999000000, 0, 4000000, 10, 45, 0)), false},
        {"call whose symbol reaches past it", WordsOf(s.InsertSymbolCallMatrix(1, far)), false},
        {"call inside", WordsOf(s.InsertSymbolCall(1, 5, 5)), true},
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(WithinCoordinateLimit(c.record.data(), &layout), c.within);
    }

    test::FakeGlyphs glyphs;
    glyphs.SetE(100, 120);
    const LOGFONTA font;
    EXPECT_TRUE(TextWithinCoordinateLimit("EEE", 1000000, {}, font));
    EXPECT_FALSE(TextWithinCoordinateLimit("EEE", 1000000, {1, 0, 0, 1, 1998000000, 0}, font))
        << "the third letter ends past the limit";
    EXPECT_TRUE(TextWithinCoordinateLimit("EEE", 1000000, {-1, 0, 0, 1, 1998000000, 0}, font)) << "mirrored back";
}

// A main symbol recording undo, with a rectangle, a polygon and a call of
// "leaf" selected one at a time.
struct CommitFixture {
    Layout layout;
    SymbolDescription& s;
    platform::headless::ScopedMessageCapture messages;
    CommitFixture() : s(*layout.MainSymbol()) {
        layout.AddSymbol(1, "leaf")->AddRectangle(0, 0, 100, 100, 0);
        layout.AddSymbol(2, "other")->AddRectangle(0, 0, 300, 300, 0);
        s.AddRectangle(0, 0, 10, 10, 1);
        s.Undo().SetRecording(true);
    }
    Word* SelectOnly(Word* r) {
        s.DeselectAll();
        s.SetSelected(r);
        s.SetCurrentObject(r);
        s.UpdateSelection();
        return s.CurrentObject();
    }
};

TEST(ObjectPropertiesTest, ACommittedCopyReplacesTheRecordAndUndoPutsItBack) {
    struct Case {
        const char* name;
        std::function<Word*(SymbolDescription&)> make;
        std::function<std::vector<Word>(const Word*)> edit;
        int layer;
    };
    const Point triangle[3] = {{0, 0}, {1000, 0}, {0, 1000}};
    const std::vector<Case> cases = {
        {"rectangle corners, kept in the order given",
         [](SymbolDescription& s) { return s.AddRectangle(0, 0, 5000, 5000, 2); },
         [](const Word* r) {
             std::vector<Word> c = WordsOf(r);
             RectangleView(c.data()).SetCorners({9000, 0}, {1000, 3000});
             return c;
         },
         2},
        {"rectangle layer only", [](SymbolDescription& s) { return s.AddRectangle(0, 0, 5000, 5000, 2); },
         [](const Word* r) { return WordsOf(r); }, 3},
        {"polygon with a node more", [&](SymbolDescription& s) { return s.AddPolygon(triangle, 3, 2); },
         [](const Word* r) {
             const PolygonView polygon(r);
             std::vector<Point> nodes(polygon.Nodes(), polygon.Nodes() + 3);
             nodes.insert(nodes.begin() + 1, nodes[1]);
             return RecordWithNodes(r, nodes);
         },
         2},
        {"call of another symbol", [](SymbolDescription& s) { return s.InsertSymbolCall(1, 0, 0); },
         [](const Word* r) {
             std::vector<Word> c = WordsOf(r);
             CallView(c.data()).SetSymbolId(2);
             return c;
         },
         7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CommitFixture f;
        Word* record = f.SelectOnly(c.make(f.s));
        const std::vector<Word> copy = c.edit(record);
        const std::vector<Word> before = BufferOf(f.s);
        f.s.Undo().BeginStep();
        ASSERT_TRUE(CommitObjectCopy(f.s, copy, c.layer));
        const Word* changed = f.s.CurrentObject();
        ASSERT_NE(changed, nullptr);
        EXPECT_TRUE(IsSelected(changed));
        std::vector<Word> expected = copy;
        if (!IsCallKind(RecordKind(changed))) SetRecordLayer(expected.data(), c.layer);
        SetSelectedBit(expected.data(), true);
        if (RecordKind(changed) == ObjectKind::SymbolCall) {
            EXPECT_EQ(RecordLayer(changed), 0) << "a call keeps its layer byte";
            EXPECT_EQ(f.s.Children(), std::vector<std::int32_t>{2});
            // The extent follows the symbol now called.
            CallView(expected.data()).SetCachedExtent({0, 0, 300, 300});
        }
        EXPECT_EQ(WordsOf(changed), expected);
        f.s.Undo().Undo();
        EXPECT_EQ(BufferOf(f.s), before);
    }
    // A copy equal to the record changes nothing and records nothing.
    CommitFixture f;
    Word* record = f.SelectOnly(f.s.AddCircle(0, 0, 500, 1));
    const std::vector<Word> same = WordsOf(record);
    const std::int32_t entries = f.s.Undo().EntryCount();
    EXPECT_FALSE(CopyDiffers(record, same, 1));
    EXPECT_FALSE(CommitObjectCopy(f.s, same, 1));
    EXPECT_EQ(f.s.Undo().EntryCount(), entries);
    EXPECT_TRUE(CopyDiffers(record, same, 2));
}

TEST(ObjectPropertiesTest, ATextMovesToAnotherLayerWholeOrIsBuiltAgain) {
    test::FakeGlyphs glyphs;
    glyphs.SetE(100, 120);
    CommitFixture f;
    const LOGFONTA font;
    const std::int64_t head = AddTextOutlinesWithMatrix(f.s, "EE", 1000, {}, 1, font);
    ASSERT_GE(head, 0);
    f.SelectOnly(f.s.RecordAt(static_cast<std::int32_t>(head)));
    const std::vector<Word> text = WordsOf(f.s.CurrentObject());
    ASSERT_EQ(TextView(text.data()).MemberRecords(), 2);
    const std::vector<Word> before = BufferOf(f.s);

    // The layer alone: the glyphs are kept and go along.
    f.s.Undo().BeginStep();
    ASSERT_TRUE(CommitTextCopy(f.s, text, 4, "EE"));
    const Word* moved = f.s.CurrentObject();
    EXPECT_EQ(RecordLayer(moved), 4);
    for (const Word* m = f.s.NextRecord(moved); m && IsMember(m); m = f.s.NextRecord(m)) {
        EXPECT_EQ(RecordLayer(m), 4);
        EXPECT_EQ(WordsOf(m).size(), 5u + 2 * 4) << "the same square glyphs";
    }
    f.s.Undo().Undo();
    EXPECT_EQ(BufferOf(f.s), before);

    // One character fewer: built again, on the chosen layer, still selected.
    f.SelectOnly(f.s.RecordAt(static_cast<std::int32_t>(head)));
    std::vector<Word> edited = text;
    edited[kTextLengthWord] = 0;
    TextView(edited.data()).SetHeight(2000);
    f.s.Undo().BeginStep();
    ASSERT_TRUE(CommitTextCopy(f.s, edited, 3, "E"));
    const Word* rebuilt = f.s.CurrentObject();
    ASSERT_NE(rebuilt, nullptr);
    ASSERT_EQ(RecordKind(rebuilt), ObjectKind::Text);
    EXPECT_TRUE(IsSelected(rebuilt));
    EXPECT_EQ(TextView(rebuilt).Chars(), "E");
    EXPECT_EQ(TextView(rebuilt).Height(), 2000);
    EXPECT_EQ(TextView(rebuilt).MemberRecords(), 1);
    EXPECT_EQ(RecordLayer(rebuilt), 3);
    EXPECT_EQ(f.s.selectedCount, 1);
    f.s.Undo().Undo();
    EXPECT_EQ(BufferOf(f.s), before);
}

}  // namespace
