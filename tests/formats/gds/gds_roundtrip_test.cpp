// The demo mask through the GDSII writer and reader: every record comes back,
// apart from the curves and boxes the writer turns into boundaries and the
// heads of texts and groups, which the stream does not carry.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "formats/AllFormats.h"
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

}  // namespace
