#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

#include "model/Layout.h"
#include "model/ObjectRecord.h"
#include "model/RecordViews.h"

using namespace zandor;

namespace {

std::vector<Word> WordsOf(const Word* r) { return {r, r + RecordLength(r)}; }

Word W(double v, int half) {
    Word w[2];
    std::memcpy(w, &v, sizeof v);
    return w[half];
}

}  // namespace

TEST(ObjectRecord, HeaderFieldsAndSelectedSign) {
    Word h = MakeHeader(18, 200, ObjectKind::SymbolCall);
    EXPECT_EQ(static_cast<std::uint32_t>(h), 18u | (200u << 16) | (11u << 24));
    EXPECT_EQ(RecordLength(&h), 18);
    EXPECT_EQ(RecordLayer(&h), 200);
    EXPECT_EQ(RecordKind(&h), ObjectKind::SymbolCall);
    EXPECT_FALSE(IsSelected(&h));
    SetSelectedBit(&h, true);
    EXPECT_LT(h, 0) << "a selected header reads negative";
    SetMemberBit(&h, true);
    SetRecordLayer(&h, 7);
    EXPECT_TRUE(IsMember(&h));
    EXPECT_EQ(RecordLayer(&h), 7);
    EXPECT_EQ(RecordLength(&h), 18);
    EXPECT_EQ(RecordKind(&h), ObjectKind::SymbolCall);
    SetSelectedBit(&h, false);
    SetMemberBit(&h, false);
    EXPECT_EQ(static_cast<std::uint32_t>(h), 18u | (7u << 16) | (11u << 24));
}

// Every creator lays its record out word for word.
TEST(ObjectRecord, CreatorsLayOutRecordsWordForWord) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();

    EXPECT_EQ(WordsOf(s.AddRectangle(10, 20, -5, 3, 4)),
              (std::vector<Word>{MakeHeader(5, 4, ObjectKind::Rectangle), -5, 3, 10, 20}));

    EXPECT_EQ(WordsOf(s.AddBox(100, 200, 50, 20, 30.0005, 2)),
              (std::vector<Word>{MakeHeader(6, 2, ObjectKind::Box), 100, 200, 50, 20, 30001}));

    const Point tri[3] = {{0, 0}, {10, -4}, {3, 8}};
    EXPECT_EQ(WordsOf(s.AddPolygon(tri, 3, 1)),
              (std::vector<Word>{MakeHeader(11, 1, ObjectKind::Polygon), 0, -4, 10, 8, 0, 0, 10, -4, 3, 8}));

    const Point seg[2] = {{0, 0}, {1000, 0}};
    Word* wire = s.AddWire(seg, 2, 250, static_cast<int>(EndStyle::Extended), 3);
    EXPECT_EQ(WordsOf(wire), (std::vector<Word>{MakeHeader(10, 3, ObjectKind::Wire), 0, 0, 1000, 0,
                                                static_cast<Word>(250u | (2u << 28)), 0, 0, 1000, 0}));
    EXPECT_EQ(WireNodeCount(wire), 2);

    EXPECT_EQ(WordsOf(s.AddCircle(1, 2, 3, 9)), (std::vector<Word>{MakeHeader(4, 9, ObjectKind::Circle), 1, 2, 3}));
    EXPECT_EQ(WordsOf(s.AddRing(1, 2, 30, 4, 9)), (std::vector<Word>{MakeHeader(5, 9, ObjectKind::Ring), 1, 2, 30, 4}));

    const Word arcWidth = MakeArcWidthWord(100, 1, true);
    EXPECT_EQ(static_cast<std::uint32_t>(arcWidth), 100u | (1u << 28) | (1u << 31));
    EXPECT_EQ(WordsOf(s.AddArcWire(0, 0, 1000, 0, 0, 1000, arcWidth, 5)),
              (std::vector<Word>{MakeHeader(8, 5, ObjectKind::ArcWire), 1000, 0, 0, 0, 0, 1000, arcWidth}));
    // Start and end on the same point: a ring around the centre.
    EXPECT_EQ(WordsOf(s.AddArcWire(0, 0, 300, 400, 300, 400, arcWidth, 5)),
              (std::vector<Word>{MakeHeader(5, 5, ObjectKind::Ring), 0, 0, 500, 100}));

    EXPECT_EQ(WordsOf(s.AddGroup(7, 8, 6, 2)), (std::vector<Word>{MakeHeader(5, 0, ObjectKind::Group), 7, 8, 6, 2}));
}

TEST(ObjectRecord, TextAndScriptRecords) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    LOGFONTA font;
    font.lfHeight = -12;
    font.lfWeight = 700;
    std::strcpy(font.lfFaceName, "Arial");

    Word* text = s.AddText(100, -200, 4, "Hello", 5000, font, 6);
    ASSERT_NE(text, nullptr);
    ASSERT_EQ(RecordLength(text), 35);
    EXPECT_EQ(RecordKind(text), ObjectKind::Text);
    EXPECT_EQ(text[1], 100);
    EXPECT_EQ(text[2], -200);
    EXPECT_EQ(text[3], 4);
    EXPECT_EQ(text[4], 5000);
    const TransformMatrix m = ReadMatrix(text + kTextMatrixWord);
    EXPECT_EQ(m, (TransformMatrix{1, 0, 0, 1, 100, -200}));
    EXPECT_EQ(text[5], W(1.0, 0));
    EXPECT_EQ(text[6], W(1.0, 1));
    EXPECT_EQ(text[17], -12);
    EXPECT_EQ(text[21], 700);
    EXPECT_EQ(std::memcmp(text + 24, "Arial", 6), 0);
    EXPECT_EQ(TextLength(text), 5);
    EXPECT_EQ(TextChars(text), "Hello");
    // Padding bytes after the fifth character are zero.
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text + 33);
    EXPECT_EQ(bytes[5] | bytes[6] | bytes[7], 0);

    Word* script = s.AddScript(1, 2, 3, 2, 1000, "box(1,2)\r\n", 700, font, 8);
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(RecordLength(script), 35 + 3);
    EXPECT_EQ(script[3], 3);
    EXPECT_EQ(script[4], 2);
    EXPECT_EQ(script[5], 700);
    EXPECT_EQ(script[6], 1000);
    EXPECT_EQ(ReadMatrix(script + kScriptMatrixWord), (TransformMatrix{1, 0, 0, 1, 1, 2}));
    EXPECT_EQ(script[19], -12);
    EXPECT_EQ(ScriptLength(script), 10);
    EXPECT_EQ(ScriptChars(script), "box(1,2)\r\n");

    // An empty text has no character words.
    EXPECT_EQ(RecordLength(s.AddText(0, 0, 0, "", 100, font, 1)), 33);
}

TEST(ObjectRecord, CallsAndArrays) {
    Layout layout;
    SymbolDescription& main = *layout.MainSymbol();
    SymbolDescription* cell = layout.AddSymbol(1, "cell");
    cell->AddRectangle(0, 0, 100, 50, 1);

    Word* call = main.InsertSymbolCall(1, 1000, 2000);
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(RecordLength(call), 18);
    EXPECT_EQ(RecordLayer(call), 0);
    EXPECT_EQ((std::vector<Word>{call[1], call[2], call[3], call[4], call[5]}),
              (std::vector<Word>{1000, 2000, 1100, 2050, 1}));
    EXPECT_EQ(ReadMatrix(call + 6), (TransformMatrix{1, 0, 0, 1, 1000, 2000}));

    Word* array = main.InsertArray(1, {10, 20}, {310, 20}, {10, 220}, 3, 2, -2.0, 90.0);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(RecordLength(array), 18);
    EXPECT_EQ((std::vector<Word>(array + 1, array + 14)),
              (std::vector<Word>{10, 20, 10, 20, 1, 3, 2, 10, 20, 310, 20, 10, 220}));
    EXPECT_EQ(ReadDouble(array + 14), -2.0);
    EXPECT_EQ(ReadDouble(array + 16), 90.0);
    EXPECT_EQ(main.callCount, 2);
    EXPECT_EQ(main.Children(), (std::vector<std::int32_t>{1}));
}

TEST(ObjectRecord, ElementMatrixOfArrays) {
    struct Case {
        int i, j;
        Point origin, columnEnd, rowEnd;
        int columns, rows;
        double magnification, degrees;
        TransformMatrix expected;
    };
    const double r = std::sqrt(0.5);
    const Case cases[] = {
        // Plain lattice: steps 100 and 50.
        {2, 1, {0, 0}, {300, 0}, {0, 100}, 3, 2, 1.0, 0.0, {1, 0, 0, 1, 200, 50}},
        // Negative magnification mirrors each element vertically.
        {0, 0, {5, 6}, {5, 6}, {5, 6}, 1, 1, -1.0, 0.0, {1, 0, 0, -1, 5, 6}},
        // Oblique lattice with steps that are not whole units: rounded offsets.
        {1, 1, {0, 0}, {100, 10}, {15, 100}, 3, 2, 1.0, 0.0, {1, 0, 0, 1, 41, 53}},
        // Magnification 2 and 45 degrees.
        {0, 1, {0, 0}, {0, 0}, {0, -100}, 1, 4, 2.0, 45.0, {2 * r, 2 * r, -2 * r, 2 * r, 0, -25}},
        // 11 x 15/22 is 7.5 exactly, although 11 x (15/22) in doubles is not:
        // half away from zero, on both sides of the origin.
        {11, 0, {0, 0}, {15, 0}, {0, 0}, 22, 1, 1.0, 0.0, {1, 0, 0, 1, 8, 0}},
        {11, 0, {0, 0}, {-15, 0}, {0, 0}, 22, 1, 1.0, 0.0, {1, 0, 0, 1, -8, 0}},
        {0, 1, {3, 3}, {3, 3}, {3, -12}, 1, 6, 1.0, 0.0, {1, 0, 0, 1, 3, 3 - 3}},
        // Column and row offsets round each on its own (0.5 + 0.5 gives 2),
        // as the nested lattice definitions of a written file place them.
        {1, 1, {0, 0}, {1, 1}, {1, 1}, 2, 2, 1.0, 0.0, {1, 0, 0, 1, 2, 2}},
        // The whole coordinate range: 4294967295/2 is 2147483647.5.
        {1, 0, {INT32_MIN, 0}, {INT32_MAX, 0}, {0, 0}, 2, 1, 1.0, 0.0, {1, 0, 0, 1, 0, 0}},
    };
    for (const Case& c : cases) {
        Layout layout;
        Word* a = layout.MainSymbol()->InsertArray(9, c.origin, c.columnEnd, c.rowEnd, c.columns, c.rows,
                                                   c.magnification, c.degrees);
        ASSERT_NE(a, nullptr);
        const TransformMatrix m = ElementMatrix(a, c.i, c.j);
        EXPECT_NEAR(m.a, c.expected.a, 1e-12);
        EXPECT_NEAR(m.b, c.expected.b, 1e-12);
        EXPECT_NEAR(m.c, c.expected.c, 1e-12);
        EXPECT_NEAR(m.d, c.expected.d, 1e-12);
        EXPECT_EQ(m.tx, c.expected.tx);
        EXPECT_EQ(m.ty, c.expected.ty);
    }
}

TEST(ObjectRecord, ReferencePoints) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    const Point nodes[2] = {{7, 8}, {9, 10}};
    EXPECT_EQ(ReferencePoint(s.AddRectangle(3, 4, 10, 10, 1)), (Point{3, 4}));
    EXPECT_EQ(ReferencePoint(s.AddPolygon(nodes, 2, 1)), (Point{7, 8}));
    EXPECT_EQ(ReferencePoint(s.AddWire(nodes, 2, 5, 0, 1)), (Point{7, 8}));
    EXPECT_EQ(ReferencePoint(s.AddCircle(-1, -2, 3, 1)), (Point{-1, -2}));
    EXPECT_EQ(ReferencePoint(s.InsertArray(4, {11, 12}, {20, 12}, {11, 30}, 1, 1, 1, 0)), (Point{11, 12}));
    EXPECT_EQ(ReferencePoint(s.AddArcWire(0, 0, 5, 0, 0, 5, 10, 1)), (Point{5, 0}));
    Word unknown = MakeHeader(1, 0, static_cast<ObjectKind>(20));
    EXPECT_FALSE(ReferencePoint(&unknown).has_value());
}

// The typed views read and write exactly the words the layout gives each kind.
TEST(RecordViews, ReadAndWriteTheWordsOfEachKind) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();

    const RectangleView rect(s.AddRectangle(10, 20, -5, 3, 4));
    EXPECT_EQ(rect.Corner1(), (Point{-5, 3}));
    EXPECT_EQ(rect.Box(), (Rect{-5, 3, 10, 20}));
    rect.SetCorners({7, 8}, {1, 2});
    EXPECT_EQ(rect.Box(), (Rect{1, 2, 7, 8})) << "the box orders corners stored in either order";

    const BoxView box(s.AddBox(100, 200, 50, 20, 30.0005, 2));
    EXPECT_EQ(box.Centre(), (Point{100, 200}));
    EXPECT_EQ(box.BoxLength(), 50);
    EXPECT_EQ(box.BoxWidth(), 20);
    EXPECT_EQ(box.AngleMillidegrees(), 30001);

    const Point nodes[3] = {{0, 0}, {10, -4}, {3, 8}};
    const WireView wire(s.AddWire(nodes, 3, 250, static_cast<int>(EndStyle::Flat), 3));
    EXPECT_EQ(wire.NodeCount(), 3);
    EXPECT_EQ(wire.Node(1), (Point{10, -4}));
    EXPECT_EQ(wire.Width(), 250);
    EXPECT_EQ(wire.EndStyle(), static_cast<int>(EndStyle::Flat));
    wire.Nodes()[2] = {30, 40};
    wire.RefreshNodeBounds();
    EXPECT_EQ(wire.NodeBounds(), (Rect{0, -4, 30, 40})) << "not widened by the width";

    const ArcWireView arc(s.AddArcWire(0, 0, 100, 0, 0, 100, MakeArcWidthWord(10, 1, true), 5));
    EXPECT_EQ(arc.Start(), (Point{100, 0}));
    EXPECT_EQ(arc.Centre(), (Point{0, 0}));
    EXPECT_EQ(arc.End(), (Point{0, 100}));
    EXPECT_EQ(arc.Width(), 10);
    EXPECT_EQ(arc.EndStyle(), 1);
    EXPECT_TRUE(arc.Clockwise());

    const RingView ring(s.AddRing(1, 2, 100, 31, 6));
    EXPECT_EQ(ring.Radius(), 100);
    EXPECT_EQ(ring.RingWidth(), 31);
    EXPECT_EQ(ring.OuterReach(), 115);

    SymbolDescription* cell = layout.AddSymbol(7, "cell");
    ASSERT_NE(cell, nullptr);
    const ArrayView array(s.InsertArray(7, {10, 20}, {110, 20}, {10, 70}, 5, 2, -1.0, 90.0));
    EXPECT_EQ(array.SymbolId(), 7);
    EXPECT_EQ(array.Columns(), 5);
    EXPECT_EQ(array.Rows(), 2);
    EXPECT_EQ(array.Origin(), (Point{10, 20}));
    EXPECT_EQ(array.ColumnEnd(), (Point{110, 20}));
    EXPECT_EQ(array.RowEnd(), (Point{10, 70}));
    EXPECT_EQ(array.Magnification(), -1.0);
    EXPECT_EQ(array.AngleDegrees(), 90.0);
    EXPECT_EQ(array.Element(1, 1).tx, 10 + 20 + 0);
    EXPECT_EQ(array.Element(1, 1).ty, 20 + 0 + 25);

    const Word* constant = array.Words();
    const ArrayView readOnly(constant);
    EXPECT_EQ(readOnly.Rows(), 2) << "a view of const words reads the same";

    const CallView call(s.InsertSymbolCall(7, 300, -400));
    EXPECT_EQ(call.SymbolId(), 7);
    EXPECT_EQ(call.Matrix(), (TransformMatrix{1, 0, 0, 1, 300, -400}));
}
