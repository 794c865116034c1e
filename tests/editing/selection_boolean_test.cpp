#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <tuple>
#include <vector>

#include "editing/LayerBoolean.h"
#include "editing/SelectionBoolean.h"
#include "model/LayerDescription.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "model/RecordViews.h"
#include "model/UndoList.h"
#include "platform/headless/RecordingMessages.h"

using namespace zandor;

namespace {

double Area(const Word* polygon) {
    const PolygonView view(polygon);
    double twice = 0;
    for (int i = 0, n = view.NodeCount(); i < n; ++i) {
        const Point a = view.Node(i), b = view.Node((i + 1) % n);
        twice += double(a.X) * b.Y - double(b.X) * a.Y;
    }
    return std::abs(twice) / 2;
}

struct Summary {
    int records = 0;
    int polygons = 0;  // selected polygons on `layer`
    double area = 0;
};

Summary Summarise(SymbolDescription& symbol, int layer) {
    Summary s;
    for (const Word* r = symbol.FirstRecord(); r; r = symbol.NextRecord(r)) {
        ++s.records;
        if (RecordKind(r) == ObjectKind::Polygon && RecordLayer(r) == layer && IsSelected(r)) {
            ++s.polygons;
            s.area += Area(r);
        }
    }
    return s;
}

class SelectionBooleanTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = Settings();
        Settings() = ModelSettings{};
        for (int i = 1; i <= 4; ++i) layout.SetLayer(std::make_unique<LayerDescription>(i, ""));
        main = layout.MainSymbol();
        main->Undo().SetRecording(true);
    }
    void TearDown() override { Settings() = saved; }

    // Selects the records at the offsets, the one at `picked` picked last
    // (-1: none picked).
    void SelectOffsets(const std::vector<std::int32_t>& offsets, std::int32_t picked = -1) {
        main->DeselectAll();
        for (const std::int32_t offset : offsets) SetSelectedBit(main->RecordAt(offset), true);
        main->SetCurrentObject(picked >= 0 ? main->RecordAt(picked) : nullptr);
        main->UpdateSelection();
    }
    std::int32_t Add(Word* r) { return main->OffsetOf(r); }
    std::vector<Word> Buffer() const { return {main->Words(), main->Words() + main->usedWords + 1}; }

    bool Run(SelectionBooleanOp op, std::int32_t border = 0) {
        main->Undo().BeginStep();
        return RunSelectionBoolean(layout, *main, op, border);
    }

    platform::headless::ScopedMessageCapture messages;
    ModelSettings saved;
    Layout layout;
    SymbolDescription* main = nullptr;
};

}  // namespace

// Layer 2 picked last: the union lands on layer 2 and both rectangles go.
TEST_F(SelectionBooleanTest, MergeTakesTheLayerOfTheObjectPickedLast) {
    const std::int32_t first = Add(main->AddRectangle(0, 0, 2000, 1000, 1));
    const std::int32_t picked = Add(main->AddRectangle(1000, 0, 3000, 2000, 2));
    main->AddRectangle(50000, 0, 51000, 1000, 3);  // not selected
    SelectOffsets({first, picked}, picked);

    ASSERT_TRUE(Run(SelectionBooleanOp::Merge));
    const Summary s = Summarise(*main, 2);
    EXPECT_EQ(s.records, 2) << "the unselected rectangle and the union";
    EXPECT_EQ(s.polygons, 1);
    EXPECT_DOUBLE_EQ(s.area, 2000.0 * 1000 + 2000.0 * 2000 - 1000.0 * 1000);
    EXPECT_EQ(main->selectedCount, 1);
    EXPECT_EQ(RecordKind(main->FirstRecord()), ObjectKind::Rectangle);
    EXPECT_FALSE(IsSelected(main->FirstRecord()));
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(SelectionBooleanTest, EmptyResultsRemoveTheSelection) {
    // The current object is the smaller one, inside the larger: nothing is left.
    const std::int32_t large = Add(main->AddRectangle(0, 0, 10000, 10000, 1));
    const std::int32_t small = Add(main->AddRectangle(2000, 2000, 3000, 3000, 1));
    SelectOffsets({large, small}, small);
    ASSERT_TRUE(Run(SelectionBooleanOp::Subtract));
    EXPECT_EQ(main->FirstRecord(), nullptr);
    EXPECT_EQ(main->selectedCount, 0);

    // A rectangle inverted without a border is its own frame.
    SelectOffsets({Add(main->AddRectangle(0, 0, 10000, 10000, 1))});
    ASSERT_TRUE(Run(SelectionBooleanOp::Invert, 0));
    EXPECT_EQ(main->FirstRecord(), nullptr);
}

// Two squares inverted with a 10 um border: one polygon, the grown frame with
// two square holes joined to its outline.
TEST_F(SelectionBooleanTest, InvertCutsTheSelectionOutOfItsGrownFrame) {
    const std::int32_t a = Add(main->AddRectangle(0, 0, 10000, 10000, 3));
    const std::int32_t b = Add(main->AddRectangle(30000, 0, 40000, 10000, 3));
    SelectOffsets({a, b}, b);
    ASSERT_TRUE(Run(SelectionBooleanOp::Invert, 10000));
    const Summary s = Summarise(*main, 3);
    EXPECT_EQ(s.records, 1);
    ASSERT_EQ(s.polygons, 1);
    EXPECT_DOUBLE_EQ(s.area, 60000.0 * 30000 - 2 * 10000.0 * 10000);
    const Word* polygon = main->FirstRecord();
    EXPECT_EQ(PolygonView(polygon).NodeBounds(), (Rect{-10000, -10000, 50000, 20000}));
    EXPECT_GE(PolygonView(polygon).NodeCount(), 4 + 2 * (4 + 2)) << "each hole reached through a cut";
}

TEST_F(SelectionBooleanTest, TooFewObjectsOrAFrameOutOfRangeChangeNothing) {
    const std::int32_t only = Add(main->AddRectangle(0, 0, 1000, 1000, 1));
    SelectOffsets({only});
    const std::vector<Word> before = Buffer();
    for (const SelectionBooleanOp op : {SelectionBooleanOp::Merge, SelectionBooleanOp::Intersect,
                                        SelectionBooleanOp::Xor, SelectionBooleanOp::Subtract}) {
        EXPECT_FALSE(Run(op));
        EXPECT_EQ(Buffer(), before);
    }
    main->AddRectangle(INT32_MAX - 100, 0, INT32_MAX, 1000, 1);
    main->Undo().Clear();
    SelectOffsets({only, Add(main->FirstRecord() + kRectangleLength)});
    const std::vector<Word> wide = Buffer();
    EXPECT_FALSE(Run(SelectionBooleanOp::Invert, 1000));
    EXPECT_EQ(Buffer(), wide);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "The result would lie outside the coordinate range.");
    EXPECT_EQ(messages.messages[0].caption, "Error");
}

// Compound objects and calls are fed whole; their heads and the calls go
// with the selection.
TEST_F(SelectionBooleanTest, TextsAndCallsAreMergedThroughTheirContents) {
    const Point glyphA[4] = {{0, 0}, {600, 0}, {600, 1000}, {0, 1000}};
    const Point glyphB[4] = {{500, 0}, {1100, 0}, {1100, 1000}, {500, 1000}};
    const std::int32_t text = Add(main->AddText(0, 0, 2, "ab", 1000, ModelSettings::DefaultTextFont(), 1));
    SetMemberBit(main->AddPolygon(glyphA, 4, 1), true);
    SetMemberBit(main->AddPolygon(glyphB, 4, 1), true);
    SelectOffsets({text});
    ASSERT_TRUE(Run(SelectionBooleanOp::ConvertIntoPolygons));
    Summary s = Summarise(*main, 1);
    EXPECT_EQ(s.records, 1) << "head and glyphs replaced by their union";
    EXPECT_EQ(s.polygons, 1);
    EXPECT_DOUBLE_EQ(s.area, 1100.0 * 1000);

    main->Reset();
    main->Undo().SetRecording(true);
    SymbolDescription& cell = *layout.AddSymbol(1, "cell");
    cell.AddRectangle(0, 0, 1000, 1000, 3);
    cell.AddRectangle(0, 2000, 1000, 3000, 4);
    const std::int32_t call = Add(main->InsertSymbolCall(1, 500, 0));
    const std::int32_t rect = Add(main->AddRectangle(0, 0, 1000, 3000, 2));
    SelectOffsets({call, rect}, rect);
    ASSERT_TRUE(Run(SelectionBooleanOp::Merge));
    s = Summarise(*main, 2);
    EXPECT_EQ(s.records, 1);
    EXPECT_EQ(s.polygons, 1);
    EXPECT_DOUBLE_EQ(s.area, 1000.0 * 3000 + 2 * 500.0 * 1000);
    EXPECT_TRUE(main->Children().empty()) << "the call is gone";
}

TEST_F(SelectionBooleanTest, ResultGoesToTheLowestDefinedLayerWhenTheCurrentOneIsMissing) {
    const std::int32_t a = Add(main->AddRectangle(0, 0, 1000, 1000, 9));
    const std::int32_t b = Add(main->AddRectangle(500, 0, 1500, 1000, 9));
    SelectOffsets({a, b}, a);
    ASSERT_TRUE(Run(SelectionBooleanOp::Merge));
    EXPECT_EQ(Summarise(*main, 1).polygons, 1);
}

// Undo puts every word back, for a few objects (an undo entry each) and for
// many (one snapshot of the buffer).
TEST_F(SelectionBooleanTest, UndoRestoresTheBufferWordForWord) {
    for (const int count : {3, 200}) {
        for (const SelectionBooleanOp op :
             {SelectionBooleanOp::Merge, SelectionBooleanOp::Intersect, SelectionBooleanOp::Xor,
              SelectionBooleanOp::Subtract, SelectionBooleanOp::Invert, SelectionBooleanOp::ConvertIntoPolygons}) {
            main->Reset();
            main->Undo().SetRecording(true);
            std::vector<std::int32_t> offsets;
            main->AddCircle(-5000, -5000, 100, 4);  // stays
            for (int i = 0; i < count; ++i) {
                offsets.push_back(Add(main->AddRectangle(700 * i, 0, 700 * i + 1000, 1000, 1 + i % 3)));
                main->AddRectangle(700 * i, 5000, 700 * i + 100, 5100, 2);  // stays
            }
            SelectOffsets(offsets, offsets[1]);
            const std::vector<Word> before = Buffer();
            ASSERT_TRUE(Run(op, 100));
            ASSERT_NE(Buffer(), before);
            main->Undo().Undo();
            EXPECT_EQ(Buffer(), before) << count << " objects, operation " << static_cast<int>(op);
        }
    }
}

// The same objects give the same result as the layer boolean when the
// current object is alone on layer 1 and the others are on layer 2.
TEST_F(SelectionBooleanTest, AgreesWithTheLayerBoolean) {
    const struct {
        SelectionBooleanOp op;
        BooleanOperation layerOp;
    } cases[] = {{SelectionBooleanOp::Merge, OpOr},
                 {SelectionBooleanOp::Intersect, OpAnd},
                 {SelectionBooleanOp::Xor, OpExor},
                 {SelectionBooleanOp::Subtract, OpAMinusB}};
    const Point ell[6] = {{0, 0}, {6000, 0}, {6000, 2000}, {2000, 2000}, {2000, 6000}, {0, 6000}};
    for (const auto& c : cases) {
        Layout other;
        other.SetLayer(std::make_unique<LayerDescription>(1, ""));
        other.SetLayer(std::make_unique<LayerDescription>(2, ""));
        main->Reset();
        main->Undo().SetRecording(true);
        for (SymbolDescription* s : {main, other.MainSymbol()}) {
            s->AddRectangle(1000, 1000, 3000, 8000, 2);
            s->AddPolygon(ell, 6, 1);
            s->AddBox(5000, 1000, 4000, 1000, 45.0, 2);
            s->AddRectangle(-1000, 5000, 500, 5500, 2);
        }
        std::vector<std::int32_t> all;
        for (Word* r = main->FirstRecord(); r; r = main->NextRecord(r)) all.push_back(Add(r));
        SelectOffsets(all, all[1]);
        ASSERT_TRUE(Run(c.op));

        LayerBooleanRequest request;
        request.operation = c.layerOp;
        request.layerA = 1;
        request.layerB = 2;
        request.target = 1;
        SymbolDescription& top = *other.MainSymbol();
        const int before = top.objectCount;
        ASSERT_TRUE(RunLayerBoolean(other, top, request));
        std::vector<Rect> expected;
        double expectedArea = 0;
        int k = 0;
        for (Word* r = top.FirstRecord(); r; r = top.NextRecord(r), ++k) {
            if (k < before) continue;
            expected.push_back(PolygonView(r).NodeBounds());
            expectedArea += Area(r);
        }
        std::vector<Rect> got;
        for (Word* r = main->FirstRecord(); r; r = main->NextRecord(r)) got.push_back(PolygonView(r).NodeBounds());
        const auto order = [](const Rect& a, const Rect& b) {
            return std::tie(a.minx, a.miny, a.maxx, a.maxy) < std::tie(b.minx, b.miny, b.maxx, b.maxy);
        };
        std::sort(expected.begin(), expected.end(), order);
        std::sort(got.begin(), got.end(), order);
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(got, expected) << static_cast<int>(c.op);
        EXPECT_DOUBLE_EQ(Summarise(*main, 1).area, expectedArea) << static_cast<int>(c.op);
    }
}
