#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "model/Geometry.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "model/RecordViews.h"

using namespace zandor;

namespace {

const Point kTriangle[3] = {{0, 0}, {10, 0}, {0, 10}};

}  // namespace

TEST(ObjectBounds, EveryKind) {
    Layout layout;
    SymbolDescription* leaf = layout.AddSymbol(1, "leaf");
    leaf->AddRectangle(0, 0, 100, 50, 1);
    SymbolDescription& s = *layout.MainSymbol();
    const Point line[2] = {{0, 0}, {10000, 0}};

    struct Case {
        const char* what;
        Word* record;
        Rect expected;
    };
    const Case cases[] = {
        {"rectangle", s.AddRectangle(5, 6, -5, -6, 1), {-5, -6, 5, 6}},
        // 30 degrees: 100*cos + 40*sin = 106.6 / 2; 100*sin + 40*cos = 84.64 / 2.
        {"box", s.AddBox(0, 0, 100, 40, 30.0, 1), {-53, -42, 53, 42}},
        {"polygon", s.AddPolygon(kTriangle, 3, 1), {0, 0, 10, 10}},
        {"wire 1 um wide", s.AddWire(line, 2, 1000, 0, 1), {-500, -500, 10500, 500}},
        {"circle", s.AddCircle(10, 20, 5, 1), {5, 15, 15, 25}},
        {"ring with odd width", s.AddRing(0, 0, 100, 21, 1), {-110, -110, 110, 110}},
        {"call turned 90 degrees", s.InsertSymbolCallMatrix(1, {0, 1, -1, 0, 1000, 0}), {950, 0, 1000, 100}},
        // 2 x 3 elements, steps (200, 0) and (0, 300), each element mirrored
        // vertically: elements span y -50..0 around their origins.
        {"array", s.InsertArray(1, {0, 0}, {400, 0}, {0, 900}, 2, 3, -1.0, 0.0), {0, -50, 300, 600}},
        {"call of a missing symbol keeps its cached extent", s.InsertSymbolCall(99, 7, 8), {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        ASSERT_NE(c.record, nullptr) << c.what;
    }
    // Records move while the buffer grows, so measure them in place afterwards.
    Word* r = s.FirstRecord();
    for (const Case& c : cases) {
        EXPECT_EQ(ObjectBounds(r, &layout), c.expected) << c.what;
        r = s.NextRecord(r);
    }
    // The cached extent of calls and arrays is stored back.
    Word* array = s.NextRecord(
        s.NextRecord(s.NextRecord(s.NextRecord(s.NextRecord(s.NextRecord(s.NextRecord(s.FirstRecord())))))));
    ASSERT_EQ(RecordKind(array), ObjectKind::SymbolArray);
    EXPECT_EQ(ArrayView(array).CachedExtent(), (Rect{0, -50, 300, 600}));
}

TEST(ObjectBounds, ArcWires) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    Settings().ringNumSegments = 72;
    struct Case {
        const char* what;
        Word width;
        Rect expected;
    };
    // Quarter arc of radius 1000 from (1000, 0) to (0, 1000), width 100.
    const Case cases[] = {
        {"counter-clockwise flat", MakeArcWidthWord(100, 1, false), {0, 0, 1050, 1050}},
        {"counter-clockwise round", MakeArcWidthWord(100, 0, false), {-50, -50, 1050, 1050}},
        {"counter-clockwise extended", MakeArcWidthWord(100, 2, false), {-50, -50, 1050, 1050}},
        {"clockwise flat (the other three quarters)", MakeArcWidthWord(100, 1, true), {-1050, -1050, 1050, 1050}},
        {"zero width: the start point", MakeArcWidthWord(0, 1, false), {1000, 0, 1000, 0}},
    };
    for (const Case& c : cases) {
        Word* r = s.AddArcWire(0, 0, 1000, 0, 0, 1000, c.width, 1);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(ObjectBounds(r, &layout), c.expected) << c.what;
    }
    // A spiral whose inner edge would pass the centre stops at the centre.
    Word* spiral = s.AddArcWire(0, 0, 100, 0, 0, 1000, MakeArcWidthWord(400, 1, false), 1);
    const Rect box = ObjectBounds(spiral, &layout);
    EXPECT_EQ(box.minx, 0);
    EXPECT_EQ(box.miny, 0);
    EXPECT_EQ(box.maxy, 1200);
}

TEST(ObjectBounds, CompoundsUseTheirMembers) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    // A text at (-100, -100) with two glyph polygons.
    s.AddText(-100, -100, 2, "ab", 10, {}, 1);
    SetMemberBit(s.AddPolygon(kTriangle, 3, 1), true);
    const Point far[3] = {{50, 50}, {60, 50}, {50, 70}};
    SetMemberBit(s.AddPolygon(far, 3, 1), true);
    EXPECT_EQ(ObjectBounds(s.FirstRecord(), &layout), (Rect{-100, -100, 60, 70}));

    // A group holding a nested group of one circle, and a rectangle.
    const std::int32_t groupOffset = s.usedWords;
    s.AddGroup(500, 500, 3, 2);
    const std::int32_t innerOffset = s.usedWords;
    SetMemberBit(s.AddGroup(900, -900, 1, 1), true);
    SetMemberBit(s.AddCircle(1000, 1000, 10, 1), true);
    SetMemberBit(s.AddRectangle(400, 450, 410, 460, 1), true);
    EXPECT_EQ(ObjectBounds(s.RecordAt(groupOffset), &layout), (Rect{400, -900, 1010, 1010}));
    EXPECT_EQ(ObjectBounds(s.RecordAt(innerOffset), &layout), (Rect{900, -900, 900, -900}))
        << "a group that is a member gives its reference point only";

    s.RecomputeBounds();
    EXPECT_EQ(s.Bounds(), (Rect{-100, -900, 1010, 1010}));
}

TEST(Selection, SingleObjectStatusTexts) {
    Layout layout;
    layout.SetLayer(std::make_unique<LayerDescription>(1, "Metal"));
    auto& unnamed = *layout.SetLayer(std::make_unique<LayerDescription>(3, ""));
    unnamed.name.clear();
    SymbolDescription* leaf = layout.AddSymbol(4, "pad");
    leaf->AddRectangle(0, 0, 1000, 1000, 1);
    SymbolDescription& s = *layout.MainSymbol();
    const Point line[2] = {{0, 0}, {10000, 0}};

    struct Case {
        Word* record;
        std::string expected;
    };
    const Case cases[] = {
        {s.AddRectangle(0, 0, 10000, 5000, 3), "Rectangle, (0,0),(10,5), width: 10, height: 5, \"Layer 3\""},
        {s.AddBox(1500, -250, 2000, 1000, 45.5, 1),
         "Box, length: 2, width: 1, center: (1.5,-0.25), angle: 45.5, \"Metal\""},
        {s.AddPolygon(kTriangle, 3, 7), "Polygon, (0,0),(0.01,0.01), width: 0.01, height: 0.01, \"invalid layer 7\""},
        {s.AddWire(line, 2, 1000, 0, 1), "Wire, (0,0),(10,0), width: 10, height: 0, thickness: 1, \"Metal\""},
        {s.AddCircle(1000, 2000, 500, 1), "Circle, center: (1,2), radius: 0.5, diameter: 1, \"Metal\""},
        {s.AddRing(0, 0, 3000, 200, 1), "Ring, center: (0,0), radius: 3, thickness: 0.2, \"Metal\""},
        {s.AddArcWire(0, 0, 1000, 0, 0, 1000, 100, 1), "Arc wire, center: (0,0), start: (1,0), stop: (0,1), \"Metal\""},
        {s.AddText(1000, 1000, 0, "Hi there", 100, {}, 1), "Text, (1,1), \"Hi there\", \"Metal\""},
        {s.AddGroup(0, 0, 0, 3), "Group of 3 objects"},
        {s.InsertSymbolCall(4, 5000, 0), "Symbol, (5,0),(6,1), width: 1, height: 1, pad"},
        {s.InsertSymbolCall(42, 0, 0), "Symbol, (0,0),(0,0), width: 0, height: 0, "},
        {s.InsertArray(4, {0, 0}, {2000, 0}, {0, 2000}, 2, 2, 1, 0),
         "Array of symbols, (0,0),(2,2), width: 2, height: 2, pad"},
        {s.AddScript(-1000, 0, 0, 12, 100, "x", 10, {}, 1), "Script at (-1,0) generating 12 objects, \"Metal\""},
    };
    std::vector<std::int32_t> offsets;
    Word* r = s.FirstRecord();
    for (std::size_t k = 0; k < std::size(cases); ++k, r = s.NextRecord(r)) offsets.push_back(s.OffsetOf(r));
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        Word* record = s.RecordAt(offsets[k]);
        s.DeselectAll();
        s.SetSelected(record);
        s.UpdateSelection();
        EXPECT_EQ(s.statusText, cases[k].expected) << k;
        EXPECT_EQ(s.selectedCount, 1);
        EXPECT_EQ(s.CurrentObject(), record);
        EXPECT_TRUE(s.view.frameShown);
    }
}

TEST(Selection, MeasurementTexts) {
    // No operation creates measurements, so build the records by hand.
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    const Word axis[5] = {MakeHeader(5, 0, ObjectKind::Measurement), 0, 0, 3000, 0};
    const Word slant[5] = {MakeHeader(5, 0, ObjectKind::Measurement), 0, 0, 3000, 4000};
    for (const Word* m : {axis, slant}) {
        Word* r = s.AppendRecord(5);
        std::copy(m, m + 5, r);
    }
    s.SetSelected(s.FirstRecord());
    s.UpdateSelection();
    EXPECT_EQ(s.statusText, "Measurement, (0,0),(3,0), dx: 3, dy: 0");
    s.DeselectAll();
    s.SetSelected(s.NextRecord(s.FirstRecord()));
    s.UpdateSelection();
    EXPECT_EQ(s.statusText, "Measurement, (0,0),(3,4), dx: 3, dy: 4 dist: 5");
}

TEST(Selection, SeveralObjectsAndTheSelectionBox) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    s.AddRectangle(0, 0, 1000, 1000, 1);
    s.AddText(-2000, 500, 1, "T", 10, {}, 1);
    SetMemberBit(s.AddPolygon(kTriangle, 3, 1), true);
    s.AddCircle(5000, 5000, 500, 1);
    EXPECT_EQ(s.statusText, "No selected objects");
    Rect box;
    EXPECT_FALSE(s.GetSelectionBox(box));

    Word* rect = s.FirstRecord();
    Word* text = s.NextRecord(rect);
    s.SetSelected(rect);
    s.SetSelected(text);
    s.UpdateSelection();
    EXPECT_EQ(s.selectedCount, 2);
    EXPECT_EQ(s.selectedWords, 5 + 34 + 11) << "a text counts with its glyphs";
    EXPECT_EQ(s.statusText, "2 selected objects, (-2,0),(1,1), width: 3, height: 1");
    EXPECT_EQ(s.CurrentObject(), rect);
    ASSERT_TRUE(s.GetSelectionBox(box));
    EXPECT_EQ(box, (Rect{-2000, 0, 1000, 1000}));

    // With the frame hidden, two selected objects give no box; one does.
    s.view.frameShown = false;
    EXPECT_FALSE(s.GetSelectionBox(box));
    s.ClearSelected(text);
    ASSERT_TRUE(s.GetSelectionBox(box));
    EXPECT_EQ(box, (Rect{0, 0, 1000, 1000}));

    // The current object stays current while it is marked.
    s.SetSelected(text);
    s.SetCurrentObject(text);
    s.UpdateSelection();
    EXPECT_EQ(s.CurrentObject(), text);
    EXPECT_EQ(s.currentKind, static_cast<int>(ObjectKind::Text));
    s.ToggleSelected(text);
    s.UpdateSelection();
    EXPECT_EQ(s.CurrentObject(), rect);

    s.DeselectAll();
    s.UpdateSelection();
    EXPECT_EQ(s.selectedCount, 0);
    EXPECT_FALSE(s.view.frameShown);
    EXPECT_EQ(s.CurrentObject(), nullptr);
    EXPECT_EQ(s.statusText, "No selected objects");
    EXPECT_EQ(s.FirstSelected(), nullptr);
}

TEST(Selection, SelectSingleAndDeletionBeforeTheCurrentObject) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    s.AddRectangle(0, 0, 1, 1, 1);
    Word* circle = s.AddCircle(0, 0, 2000, 1);
    s.SetSelected(circle);
    s.SelectSingle(circle);
    EXPECT_EQ(s.selectionBox, (Rect{-2000, -2000, 2000, 2000}));
    EXPECT_EQ(s.selectedWords, 4);
    EXPECT_TRUE(s.view.frameShown);
    // Records in front of the current object go: it stays the current one.
    s.DeleteRecord(s.FirstRecord());
    ASSERT_NE(s.CurrentObject(), nullptr);
    EXPECT_EQ(RecordKind(s.CurrentObject()), ObjectKind::Circle);
    s.DeleteRecord(s.FirstRecord());
    EXPECT_EQ(s.CurrentObject(), nullptr);
    s.SelectSingle(nullptr);
    EXPECT_EQ(s.statusText, "No selected objects");
    EXPECT_FALSE(s.view.frameShown);
}
