// Layouts written by SaveCifFile and read back by LoadCifFile.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "formats/cif/LoadCifFile.h"
#include "formats/cif/SaveCifFile.h"
#include "model/Geometry.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "platform/headless/RecordingMessages.h"
#include "support/ScratchTest.h"

using namespace zandor;
using platform::headless::ScopedMessageCapture;

namespace {

namespace fs = std::filesystem;

void MarkMembers(SymbolDescription& s, Word* head, int count) {
    const std::int32_t offset = s.OffsetOf(head);
    Word* r = s.NextRecord(s.RecordAt(offset));
    for (int k = 0; k < count && r; ++k, r = s.NextRecord(r)) SetMemberBit(r, true);
}

Word* AddTextWithGlyphs(SymbolDescription& s, std::int32_t x, std::int32_t y, const char* text, int layer) {
    LOGFONTA font = ModelSettings::DefaultTextFont();
    font.lfHeight = -40;
    font.lfWeight = 700;
    const std::int32_t offset = s.usedWords;
    s.AddText(x, y, 2, text, 250, font, layer);
    const Point a[] = {{x, y}, {x + 10, y}, {x + 5, y + 20}};
    const Point b[] = {{x + 20, y}, {x + 30, y}, {x + 30, y + 20}, {x + 20, y + 20}};
    s.AddPolygon(a, 3, layer);
    s.AddPolygon(b, 4, layer);
    Word* head = s.RecordAt(offset);
    // A text turned by 30 degrees and enlarged.
    const double t = 30 * kPi / 180;
    WriteMatrix(head + kTextMatrixWord,
                {1.5 * std::cos(t), 1.5 * std::sin(t), -1.5 * std::sin(t), 1.5 * std::cos(t), double(x), double(y)});
    MarkMembers(s, head, 2);
    return head;
}

class CifRoundTrip : public zandor::test::ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        original.Clear();
        original.DeleteLayers();
    }

    SaveOptions options;  // of the save-as dialog, for RoundTrip

    // Saves `original`, reads the file into `loaded`; returns the file text.
    std::string RoundTrip() {
        const std::string name = (dir / "layout.cif").string();
        EXPECT_TRUE(SaveCifFile(original, name, options).Write());
        loaded.Clear();
        {
            ScopedMessageCapture messages;
            EXPECT_TRUE(LoadCifFile(loaded, name).Read());
            for (const auto& m : messages.messages) ADD_FAILURE() << "reader: " << m.caption << ": " << m.text;
        }
        loaded.ChooseMainSymbol();
        std::ifstream in(name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    void ExpectSameSymbols() {
        ASSERT_EQ(loaded.Symbols().size(), original.Symbols().size());
        for (const auto& s : original.Symbols()) {
            SCOPED_TRACE(s->Name());
            const SymbolDescription* back =
                s.get() == original.MainSymbol() ? loaded.MainSymbol() : loaded.FindSymbolByName(s->Name());
            ASSERT_NE(back, nullptr);
            EXPECT_EQ(back->Name(), s->Name());
            EXPECT_TRUE(SymbolDescription::SameDefinition(*s, *back)) << Describe(*s) << "\nread back as\n"
                                                                      << Describe(*back);
            EXPECT_EQ(back->vGuides, s->vGuides);
            EXPECT_EQ(back->hGuides, s->hGuides);
        }
        EXPECT_EQ(loaded.MainSymbol()->Id(), -1);
    }

    void ExpectSameLayers() {
        for (int index = 0; index < kLayerCount; ++index) {
            SCOPED_TRACE(index);
            const LayerDescription* a = original.Layer(index);
            const LayerDescription* b = loaded.Layer(index);
            ASSERT_EQ(a == nullptr, b == nullptr);
            if (!a) continue;
            EXPECT_EQ(b->index, a->index);
            EXPECT_EQ(b->name, a->name);
            EXPECT_EQ(b->shortName, a->shortName);
            EXPECT_EQ(b->dataType, a->dataType);
            EXPECT_EQ(b->polarity, a->polarity);
            EXPECT_EQ(b->fillColor, a->fillColor);
            EXPECT_EQ(b->outlineColor, a->outlineColor);
            EXPECT_EQ(b->fillStyle, a->fillStyle);
            EXPECT_EQ(b->outlineStyle, a->outlineStyle);
        }
    }

    static std::string Describe(const SymbolDescription& s) {
        std::ostringstream out;
        for (const Word* r = s.FirstRecord(); r; r = s.NextRecord(r)) {
            out << "  kind " << int(RecordKind(r)) << " layer " << RecordLayer(r) << ":";
            for (int w = 1; w < RecordLength(r) && w < 20; ++w) out << ' ' << r[w];
            out << '\n';
        }
        return out.str();
    }

    void AddLayer(int index, const std::string& name, std::int64_t fill = -1, std::int64_t outline = -1,
                  int fillStyle = FillSolid, int outlineStyle = OutlineSolid, std::uint32_t dataType = 0,
                  std::uint8_t polarity = 1, const std::string& shortName = "") {
        auto layer =
            std::make_unique<LayerDescription>(index, name, fill, outline, fillStyle, outlineStyle, dataType, polarity);
        if (!shortName.empty()) layer->shortName = shortName;
        original.SetLayer(std::move(layer));
    }

    Layout original;
    Layout loaded;
};

// Every kind and variant the writer knows.
void BuildEverything(Layout& layout) {
    SymbolDescription* leaf = layout.AddSymbol(3, "leaf cell");
    leaf->AddRectangle(0, 0, 5, 3, 1);
    leaf->AddRectangle(-3, -1, 0, 0, 1);
    leaf->AddRectangle(-10, -20, 30, 40, 2);
    leaf->AddBox(7, -9, 41, 13, 12.345, 2);
    leaf->AddBox(0, 0, 100, 20, -135.0, 2);
    leaf->AddBox(3, 3, 11, 7, 90.0, 5);
    leaf->AddBox(3, 3, 11, 7, 179.999, 5);
    const Point poly[] = {{0, 0}, {100, 0}, {100, 50}, {60, 80}, {20, 80}, {0, 50}, {-5, 5}};
    leaf->AddPolygon(poly, 7, 2);
    const Point path[] = {{0, 0}, {100, 0}, {100, 100}};
    for (int style = 0; style < 3; ++style) leaf->AddWire(path, 3, 10 + style, style, 5);
    leaf->AddCircle(50, 60, 25, 5);
    leaf->AddRing(-70, 10, 33, 7, 12);
    for (int style = 0; style < 3; ++style) {
        for (bool clockwise : {false, true}) {
            leaf->AddArcWire(0, 0, 100, 0, 0, 100, MakeArcWidthWord(8 + style, style, clockwise), 12);
        }
    }
    leaf->AddArcWire(10, 10, 60, 10, 10, 90, MakeArcWidthWord(6, 2, false), 12);  // spiral: radii 50 and 80
    leaf->AddArcWire(10, 10, 60, 10, 10, 90, MakeArcWidthWord(6, 0, true), 12);
    leaf->vGuides = {0, 1000, -2000, 3, 4, 5, 6, 7, 8, 9};
    leaf->hGuides = {-500};

    SymbolDescription* texts = layout.AddSymbol(7, "text cell");
    AddTextWithGlyphs(*texts, 100, 200, "Zandor (a) b)", 1);
    // A group holding a rectangle and an inner group, which holds a text and a
    // rectangle.
    texts->AddGroup(5, 6, 6, 2);
    texts->AddGroup(7, 8, 4, 2);
    texts->AddRectangle(0, 0, 10, 10, 2);
    AddTextWithGlyphs(*texts, -50, -60, "inner", 2);
    texts->AddRectangle(20, 20, 31, 31, 2);
    Word* outer = texts->FirstRecord();
    for (int k = 0; k < 4; ++k) outer = texts->NextRecord(outer);  // text head and its 2 glyphs
    MarkMembers(*texts, outer, 6);

    SymbolDescription* arrays = layout.AddSymbol(8, "arrays");
    arrays->InsertArray(3, {0, 0}, {3000, 0}, {0, 2000}, 3, 2, 1.0, 0.0);
    arrays->InsertArray(3, {100, -50}, {1100, 300}, {-400, 1700}, 5, 4, -1.0, 0.0);  // oblique lattice, mirrored
    arrays->InsertArray(7, {-7, 9}, {2000, 0}, {0, 3000}, 2, 3, -2.5, 33.3);
    arrays->InsertArray(3, {0, 0}, {500, 500}, {-500, 500}, 1, 1, 0.75, -90.0);

    SymbolDescription& main = *layout.MainSymbol();
    main.InsertSymbolCallMatrix(3, {1, 0, 0, 1, 1000, -2000});
    main.InsertSymbolCallMatrix(3, {0, 1, -1, 0, 10, 20});     // turned by 90 degrees
    main.InsertSymbolCallMatrix(3, {-1, 0, 0, 1, -5, 0});      // mirrored
    main.InsertSymbolCallMatrix(3, {0, -1, -1, 0, 100, 200});  // mirrored and turned
    main.InsertSymbolCallMatrix(3, {2, 0, 0, 2, 0, 0});        // scaled
    main.InsertSymbolCallMatrix(3, {0, 2, -0.5, 0, 5, 5});     // stretched and turned
    main.InsertSymbolCallMatrix(7, {1, 0, 0, 1, 0, 0});
    main.InsertSymbolCall(8, -300, 400);
    main.AddRectangle(-1, -1, 2, 2, 1);
    main.vGuides = {42};
}

TEST_F(CifRoundTrip, EverythingSurvivesASaveAndALoad) {
    AddLayer(1, "Active area");
    AddLayer(2, "Poly gate", 0x00FF00, 0x0000FF, FillForwardDiagonal, OutlineDash);
    AddLayer(5, "Metal 2 top", 0x123456, 0x654321, FillHollow, OutlineDashDotDot, 7, 0);
    AddLayer(12, "Via cut", 0xABCDEF, 0xABCDEF, FillCross, OutlineDot, 0, 1, "CVA");
    BuildEverything(original);
    ScopedMessageCapture messages;
    RoundTrip();
    ExpectSameSymbols();
    ExpectSameLayers();
}

TEST_F(CifRoundTrip, RectanglesKeepTheirExactCorners) {
    AddLayer(0, "");
    const Rect rectangles[] = {{0, 0, 5, 3},  {-3, -1, 0, 0}, {1, 1, 2, 2}, {-7, 4, 8, 9},
                               {0, 0, 10, 4}, {-5, -5, 5, 5}, {3, 0, 3, 7}, {-2147483, 11, 2147482, 12}};
    for (const Rect& r : rectangles) original.MainSymbol()->AddRectangle(r.minx, r.miny, r.maxx, r.maxy, 0);
    const std::string file = RoundTrip();
    ExpectSameSymbols();
    EXPECT_NE(file.find("(ZanBox 0 0 5 3);\r\nB 5 3 2 1;\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("(ZanBox -3 -1 0 0);\r\nB 3 1 -1 0;\r\n"), std::string::npos) << file;
    EXPECT_EQ(file.find("(ZanBox 0 0 10 4)"), std::string::npos) << "even sums need no extension";
    for (const Word* r = loaded.MainSymbol()->FirstRecord(); r; r = loaded.MainSymbol()->NextRecord(r)) {
        EXPECT_EQ(RecordKind(r), ObjectKind::Rectangle);
    }
}

TEST_F(CifRoundTrip, FlattenKeepsOnlyTheMainSymbolWithTheSameGeometry) {
    AddLayer(0, "");
    SymbolDescription* leaf = original.AddSymbol(1, "leaf");
    leaf->AddRectangle(0, 0, 5, 3, 0);
    leaf->AddCircle(10, 0, 4, 0);
    const Point tri[] = {{0, 0}, {8, 0}, {4, 6}};
    leaf->AddPolygon(tri, 3, 0);
    original.MainSymbol()->InsertSymbolCallMatrix(1, {0, 1, -1, 0, 100, 1});
    original.MainSymbol()->InsertArray(1, {0, 0}, {40, 0}, {0, 30}, 2, 1, 1.0, 0.0);
    options.flatten = true;
    RoundTrip();
    ASSERT_EQ(loaded.Symbols().size(), 1u);

    // The same geometry built by hand: each instance's records mapped.
    Layout expectedLayout;
    SymbolDescription& expected = *expectedLayout.MainSymbol();
    const TransformMatrix placements[] = {{0, 1, -1, 0, 100, 1}, {1, 0, 0, 1, 0, 0}, {1, 0, 0, 1, 20, 0}};
    for (const TransformMatrix& m : placements) {
        Point corners[] = {{0, 0}, {5, 3}, {10, 0}};
        TransformPoints(corners, 3, m);
        expected.AddRectangle(corners[0].X, corners[0].Y, corners[1].X, corners[1].Y, 0);
        expected.AddCircle(corners[2].X, corners[2].Y, 4, 0);
        Point polygon[] = {{0, 0}, {8, 0}, {4, 6}, {0, 0}};
        TransformPoints(polygon, 4, m);
        expected.AddPolygon(polygon, 4, 0);
    }
    EXPECT_TRUE(SymbolDescription::SameDefinition(expected, *loaded.MainSymbol()))
        << Describe(expected) << "read back as\n"
        << Describe(*loaded.MainSymbol());
}

TEST_F(CifRoundTrip, NoExtensionsKeepsOnlyStandardGeometry) {
    AddLayer(0, "");
    SymbolDescription& main = *original.MainSymbol();
    main.AddRing(0, 0, 50, 4, 0);
    main.AddArcWire(0, 0, 100, 0, 0, 100, MakeArcWidthWord(8, 1, false), 0);
    const Point path[] = {{0, 0}, {100, 0}};
    main.AddWire(path, 2, 6, static_cast<int>(EndStyle::Flat), 0);
    AddTextWithGlyphs(main, 0, 0, "t", 0);
    main.AddGroup(0, 0, 1, 1);
    main.AddRectangle(0, 0, 5, 3, 0);
    MarkMembers(main, main.RecordAt(main.usedWords - kRectangleLength - kGroupLength), 1);
    main.vGuides = {1};
    options.noExtensions = true;
    ScopedMessageCapture messages;  // the converted-wire error
    const std::string file = RoundTrip();
    std::size_t records = 0, layerComments = 0;
    for (auto at = file.find("(Zan"); at != std::string::npos; at = file.find("(Zan", at + 1)) {
        ++records;
        layerComments += file.compare(at, 9, "(Zandor: ") == 0;
    }
    EXPECT_EQ(records, layerComments) << "no extension records but the layer comments";

    std::vector<ObjectKind> kinds;
    for (const Word* r = loaded.MainSymbol()->FirstRecord(); r; r = loaded.MainSymbol()->NextRecord(r)) {
        kinds.push_back(RecordKind(r));
        if (RecordKind(r) == ObjectKind::Wire) {
            EXPECT_EQ(WireEndStyle(r[5]), 0) << "end styles are dropped";
        }
        EXPECT_FALSE(IsMember(r));
    }
    EXPECT_EQ(kinds, (std::vector<ObjectKind>{ObjectKind::Wire, ObjectKind::Polygon, ObjectKind::Wire,
                                              ObjectKind::Polygon, ObjectKind::Polygon, ObjectKind::Rectangle}));
    EXPECT_TRUE(loaded.MainSymbol()->vGuides.empty());
}

TEST_F(CifRoundTrip, RemovedDefinitionsAreGone) {
    AddLayer(0, "");
    original.AddSymbol(1, "empty");
    original.AddSymbol(2, "unused")->AddRectangle(0, 0, 2, 2, 0);
    original.AddSymbol(3, "used")->AddRectangle(0, 0, 4, 4, 0);
    original.MainSymbol()->InsertSymbolCall(1, 0, 0);
    original.MainSymbol()->InsertSymbolCall(3, 0, 0);
    original.MainSymbol()->InsertArray(1, {0, 0}, {20, 0}, {0, 20}, 2, 1, 1.0, 0.0);
    struct Case {
        bool removeEmpty, removeUnused;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {true, false, {"MainSymbol", "unused", "used"}},
        {false, true, {"MainSymbol", "empty", "used"}},
        {true, true, {"MainSymbol", "used"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "removeEmpty " << c.removeEmpty << " removeUnused " << c.removeUnused);
        options.removeEmpty = c.removeEmpty;
        options.removeUnused = c.removeUnused;
        RoundTrip();
        std::vector<std::string> names;
        for (const auto& s : loaded.Symbols()) names.push_back(s->Name());
        EXPECT_EQ(names, c.names);
        const SymbolDescription& main = *loaded.MainSymbol();
        EXPECT_EQ(main.CountKind(ObjectKind::SymbolCall, false) + main.CountKind(ObjectKind::SymbolArray, false),
                  c.removeEmpty ? 1 : 3);
    }
}

}  // namespace
