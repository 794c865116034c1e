// The demo mask through the GDSII writer and reader: every record comes back,
// apart from the curves and boxes the writer turns into boundaries and the
// heads of texts and groups, which the stream does not carry.
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

#include "formats/AllFormats.h"
#include "formats/gds/GdsStream.h"
#include "formats/gds/LoadGdsFile.h"
#include "formats/gds/SaveGdsFile.h"
#include "model/Layout.h"
#include "platform/headless/RecordingMessages.h"
#include "support/ScratchTest.h"

using namespace zandor;
using platform::headless::ScopedMessageCapture;

namespace {

constexpr std::uint32_t kHeaderFields = 0x1FFFFFFFu;  // length, layer and kind

std::vector<const Word*> Records(const SymbolDescription& s) {
    std::vector<const Word*> out;
    for (const Word* r = s.FirstRecord(); r; r = s.NextRecord(r)) out.push_back(r);
    return out;
}

bool IsAxisParallelRectangle(const Word* polygon) {
    int n = PolygonNodeCount(polygon);
    const Point* p = PolygonNodes(polygon);
    while (n > 1 && p[n - 1] == p[0]) --n;
    if (n != 4) return false;
    for (int k = 0; k < 4; ++k) {
        const Point a = p[k], b = p[(k + 1) % 4];
        if (a.X != b.X && a.Y != b.Y) return false;
    }
    return true;
}

class GdsRoundTrip : public test::ScratchTest {};

TEST_F(GdsRoundTrip, DemoMask) {
    RegisterFileFormats();
    ScopedMessageCapture messages;
    Layout original;
    ASSERT_TRUE(original.Load("../examples/demo.cif"));
    const std::string gds = Path("demo.gds");
    ASSERT_TRUE(SaveGdsFile(original, gds).Write());
    Layout loaded;
    ASSERT_TRUE(loaded.Load(gds));
    for (const auto& m : messages.messages) ADD_FAILURE() << m.caption << ": " << m.text;

    EXPECT_EQ(loaded.MainSymbol()->Name(), original.MainSymbol()->Name());
    ASSERT_EQ(loaded.Symbols().size(), original.Symbols().size());
    int compared = 0, turned = 0;
    for (const auto& s : original.Symbols()) {
        SCOPED_TRACE(s->Name());
        const SymbolDescription* back = loaded.FindSymbolByName(s->Name());
        ASSERT_NE(back, nullptr);
        std::vector<const Word*> want;
        for (const Word* r : Records(*s)) {
            const ObjectKind kind = RecordKind(r);
            if (!IsHeadKind(kind) && kind != ObjectKind::Measurement) want.push_back(r);
        }
        const auto got = Records(*back);
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t k = 0; k < want.size(); ++k) {
            const Word* w = want[k];
            const Word* g = got[k];
            switch (RecordKind(w)) {
                case ObjectKind::Box:
                case ObjectKind::Circle:
                case ObjectKind::Ring:
                case ObjectKind::ArcWire:
                    EXPECT_TRUE(RecordKind(g) == ObjectKind::Polygon || RecordKind(g) == ObjectKind::Rectangle);
                    EXPECT_EQ(RecordLayer(g), RecordLayer(w));
                    ++turned;
                    break;
                case ObjectKind::SymbolCall: {
                    ASSERT_EQ(RecordKind(g), ObjectKind::SymbolCall);
                    EXPECT_EQ(loaded.FindSymbol(g[5])->Name(), original.FindSymbol(w[5])->Name());
                    const TransformMatrix a = ReadMatrix(w + kCallMatrixWord), b = ReadMatrix(g + kCallMatrixWord);
                    for (auto [x, y] : {std::pair{a.a, b.a}, {a.b, b.b}, {a.c, b.c}, {a.d, b.d}})
                        EXPECT_NEAR(x, y, 1e-12);
                    EXPECT_EQ(b.tx, a.tx);
                    EXPECT_EQ(b.ty, a.ty);
                    ++compared;
                    break;
                }
                case ObjectKind::SymbolArray:
                    ASSERT_EQ(RecordKind(g), ObjectKind::SymbolArray);
                    EXPECT_EQ(loaded.FindSymbol(g[5])->Name(), original.FindSymbol(w[5])->Name());
                    EXPECT_EQ(std::vector<Word>(g + 6, g + 14), std::vector<Word>(w + 6, w + 14));
                    EXPECT_EQ(ReadDouble(g + 14), ReadDouble(w + 14));
                    EXPECT_NEAR(ReadDouble(g + 16), ReadDouble(w + 16), 1e-12);
                    ++compared;
                    break;
                case ObjectKind::Polygon:
                    if (RecordKind(g) == ObjectKind::Rectangle) {
                        // A four-cornered axis-parallel polygon (a glyph's bar)
                        // reads back as the rectangle it is.
                        EXPECT_TRUE(IsAxisParallelRectangle(w));
                        EXPECT_EQ(std::vector<Word>(g + 1, g + 5), std::vector<Word>(w + 1, w + 5));
                        ++compared;
                        break;
                    }
                    [[fallthrough]];
                default:
                    // Rectangles, polygons and wires (text glyphs among them)
                    // come back word for word.
                    EXPECT_EQ(static_cast<std::uint32_t>(g[0]) & kHeaderFields,
                              static_cast<std::uint32_t>(w[0]) & kHeaderFields);
                    EXPECT_EQ(std::vector<Word>(g + 1, g + RecordLength(g)),
                              std::vector<Word>(w + 1, w + RecordLength(w)));
                    ++compared;
            }
        }
    }
    EXPECT_GT(compared, 10);
    EXPECT_GT(turned, 5);
    for (int i = 0; i < kLayerCount; ++i) {
        const LayerDescription* a = original.Layer(i);
        const LayerDescription* b = loaded.Layer(i);
        ASSERT_EQ(a == nullptr, b == nullptr) << i;
        if (!a) continue;
        EXPECT_EQ(b->name, a->name);
        EXPECT_EQ(b->dataType, a->dataType);
        EXPECT_EQ(b->fillColor, a->fillColor);
        EXPECT_EQ(b->fillStyle, a->fillStyle);
    }
}

// Layer and datatype pairs through the writer and the reader, with the layer
// map the writer puts beside the file and with maps written by hand or by
// earlier versions (one datatype per layer, no GDSII layer numbers).
class GdsLayerPairs : public test::ScratchTest {
protected:
    using Pairs = std::vector<std::pair<int, int>>;

    // A file with one boundary per pair, in the order given.
    static std::string FileWith(const Pairs& pairs) {
        test::GdsBuilder b;
        b.Head().Structure("S");
        int x = 0;
        for (auto [layer, type] : pairs) {
            b.Empty(gds::BOUNDARY).Shorts(gds::LAYER, {layer}).Shorts(gds::DATATYPE, {type});
            b.Xy({{x, 0}, {x, 5}, {x + 5, 5}, {x + 5, 0}, {x, 0}}).Empty(gds::ENDEL);
            x += 10;
        }
        return b.EndStructure().EndLibrary().bytes;
    }
    // The LAYER and DATATYPE of every element of a written file.
    static Pairs PairsIn(const std::string& bytes) {
        Pairs out;
        for (const test::GdsRecord& r : test::ParseGds(bytes)) {
            if (r.type == gds::LAYER) out.push_back({r.Short() & 0xFFFF, 0});
            if (r.type == gds::DATATYPE) out.back().second = r.Short() & 0xFFFF;
        }
        return out;
    }

    ScopedMessageCapture messages;
};

TEST_F(GdsLayerPairs, ComeBackThroughWriterAndMap) {
    const Pairs pairs = {{68, 20}, {68, 16}, {68, 5}, {67, 20}, {1000, 0}, {1001, 0}, {0, 0}, {255, 3}, {68, 20}};
    const std::string in = WriteFile("in.gds", FileWith(pairs));
    Layout first;
    first.Clear();
    ASSERT_TRUE(LoadGdsFile(first, in).Read());
    // Names as the user gives them go into the map too.
    first.Layer(68)->name = "met1 drawing";
    const int pin = first.FindLayerByName("68/16");
    ASSERT_GE(pin, 0);
    first.Layer(pin)->fillColor = 0x0000FF;

    const std::string out = Path("out.gds");
    ASSERT_TRUE(SaveGdsFile(first, out).Write());
    EXPECT_EQ(PairsIn(ReadFile(out)), pairs);

    // Read back with the map beside it, and then without it: every pair in
    // its slot both times.
    for (bool withMap : {true, false}) {
        SCOPED_TRACE(withMap);
        if (!withMap) std::filesystem::remove(Path("out.map"));
        Layout second;
        second.Clear();
        ASSERT_TRUE(LoadGdsFile(second, out).Read());
        for (const auto& m : messages.messages) ADD_FAILURE() << m.caption << ": " << m.text;
        for (int i = 0; i < kLayerCount; ++i) {
            const LayerDescription* a = first.Layer(i);
            const LayerDescription* b = second.Layer(i);
            ASSERT_EQ(a != nullptr, b != nullptr) << i;
            if (!a) continue;
            EXPECT_EQ(b->GdsLayer(), a->GdsLayer()) << i;
            EXPECT_EQ(b->dataType, a->dataType) << i;
            if (withMap) {
                EXPECT_EQ(b->name, a->name) << i;
                EXPECT_EQ(b->fillColor, a->fillColor) << i;
            }
        }
        const std::string again = Path("again.gds");
        ASSERT_TRUE(SaveGdsFile(second, again).Write());
        EXPECT_EQ(PairsIn(ReadFile(again)), pairs);
    }
}

// The map's line of a pair layer: the old fields first, the GDSII layer number
// after the polarity, where readers of the old format stop; the "/" of the
// pair's name as the division slash, since "/" ends a name.
TEST_F(GdsLayerPairs, MapLinesKeepTheOldFormat) {
    const std::string in = WriteFile("in.gds", FileWith({{68, 20}, {68, 16}, {1000, 0}}));
    Layout layout;
    layout.Clear();
    ASSERT_TRUE(LoadGdsFile(layout, in).Read());
    const std::string map = Path("pairs.map");
    ASSERT_TRUE(layout.WriteLayerMap(map));
    EXPECT_EQ(ReadFile(map),
              "# Zandor 3.1 Layer Map\r\n"
              "68 Layer 68/0fb9bcc6b9bcc600141\r\n"
              "253 1000\xE2\x88\x95"
              "0/0fff00ffff00ff0000103e8\r\n"
              "254 68\xE2\x88\x95"
              "16/0f00ffff00ffff001010044\r\n");
}

// Maps written for one datatype per layer keep working: a file whose layer
// uses another datatype than the map's line for it comes to the map's layer
// with its own datatype; a second datatype gets a layer of its own.
TEST_F(GdsLayerPairs, OldMapsPlaceTheFirstDatatypeOfANumber) {
    struct Case {
        const char* what;
        Pairs pairs;
        std::string map;
        std::vector<std::tuple<int, std::string, int, int>> layers;  // index, name, GDSII layer, datatype
    };
    const std::vector<Case> cases = {
        {"datatype as in the map", {{3, 0}}, "# Zandor 3.1 Layer Map\r\n3 Metal/0f00ff00\r\n", {{3, "Metal", 3, 0}}},
        {"another datatype than the map's",
         {{3, 7}},
         "# Zandor 3.1 Layer Map\r\n3 Metal/0f00ff00\r\n",
         {{3, "Metal", 3, 7}}},
        {"two datatypes, the map's second",
         {{3, 7}, {3, 0}},
         "# Zandor 3.1 Layer Map\r\n3 Metal/0f00ff00\r\n",
         {{3, "Metal", 3, 0}, {254, "3/7", 3, 7}}},
        {"a map slot taken by another number",
         {{5, 0}, {254, 0}},
         "# Zandor 3.1 Layer Map\r\n5 Poly/0f00ff00\r\n254 Cut/0f0000ff\r\n",
         {{5, "Poly", 5, 0}, {254, "Cut", 254, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string in = WriteFile("old.gds", FileWith(c.pairs));
        WriteFile("old.map", c.map);
        Layout layout;
        layout.Clear();
        messages.messages.clear();
        ASSERT_TRUE(LoadGdsFile(layout, in).Read());
        EXPECT_TRUE(messages.messages.empty());
        EXPECT_EQ(layout.LayerCount(), static_cast<int>(c.layers.size()));
        for (const auto& [index, name, number, type] : c.layers) {
            const LayerDescription* l = layout.Layer(index);
            ASSERT_NE(l, nullptr) << index;
            EXPECT_EQ(l->name, name);
            EXPECT_EQ(l->GdsLayer(), number);
            EXPECT_EQ(l->dataType, static_cast<std::uint32_t>(type));
        }
        const std::string out = Path("old-out.gds");
        ASSERT_TRUE(SaveGdsFile(layout, out).Write());
        EXPECT_EQ(PairsIn(ReadFile(out)), c.pairs);
    }
}

}  // namespace
