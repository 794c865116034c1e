// Texts built with the text caches give the very records a full build gives:
// many texts (repeated characters, several heights, fonts and grids, positions
// on both sides of the axes and across them, far out, rotated) are built once
// with the caches off and once on, and the symbols' words compared.
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "geometry/TextOutlineCache.h"
#include "geometry/TextOutlines.h"
#include "model/Geometry.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "platform/FontOutlines.h"
#include "platform/headless/RecordingMessages.h"
#include "support/FakeGlyphs.h"
#include "support/ScratchTest.h"

using namespace zandor;
using platform::headless::ScopedMessageCapture;

namespace {

LOGFONTA Font(const char* face, int weight = 0, bool italic = false, int width = 0) {
    LOGFONTA font;
    font.lfHeight = -2048;
    font.lfWidth = width;
    font.lfWeight = weight;
    font.lfItalic = italic ? 1 : 0;
    std::strncpy(font.lfFaceName, face, sizeof font.lfFaceName - 1);
    return font;
}

struct Placement {
    std::string text;
    std::int32_t height, x, y;
    double angle;
    LOGFONTA font;
    bool matrix;  // through AddTextOutlinesWithMatrix, moved to (x, y)
};

// The words of every record of the main symbol, and the messages shown.
struct Built {
    std::vector<Word> words;
    std::vector<platform::headless::RecordedMessage> messages;
    TextOutlineCacheStats stats;
};

Built Build(const std::vector<Placement>& placements, bool cache) {
    SetTextOutlineCacheEnabled(cache);
    ScopedMessageCapture messages;
    Layout layout;
    SymbolDescription& symbol = *layout.MainSymbol();
    for (const Placement& p : placements) {
        if (p.matrix) {
            const double c = std::cos(p.angle * kPi / 180), s = std::sin(p.angle * kPi / 180);
            AddTextOutlinesWithMatrix(symbol, p.text, p.height, TransformMatrix{c, s, -s, c, double(p.x), double(p.y)},
                                      3, p.font);
        } else {
            AddTextOutlines(symbol, p.text, p.height, p.x, p.y, p.angle, 3, p.font);
        }
    }
    Built built;
    const Word* first = symbol.FirstRecord();
    built.words.assign(first, first + (first ? symbol.usedWords : 0));
    built.messages = messages.messages;
    built.stats = GetTextOutlineCacheStats();
    SetTextOutlineCacheEnabled(true);
    return built;
}

// Texts whose characters repeat within and across texts, at positions near
// the axes (characters straddling them), on both sides, and far out where the
// engine's snapping works differently.
std::vector<Placement> RandomPlacements(std::mt19937& random, int count, const std::vector<LOGFONTA>& fonts,
                                        const std::vector<std::int32_t>& heights) {
    const std::string alphabet = "AaBgO8e@%&iW#Qq0 \xE9\x80\xC5";
    const std::int32_t ranges[] = {3000, 200000, 50000000, 900000000};
    std::vector<Placement> placements;
    for (int i = 0; i < count; ++i) {
        Placement p;
        const int length = 1 + static_cast<int>(random() % 6);
        for (int k = 0; k < length; ++k) p.text += alphabet[random() % alphabet.size()];
        p.height = heights[random() % heights.size()];
        const std::int32_t range = ranges[random() % 4];
        p.x = static_cast<std::int32_t>(random() % (2 * std::uint32_t(range))) - range;
        p.y = static_cast<std::int32_t>(random() % (2 * std::uint32_t(range))) - range;
        const double angles[] = {0, 0, 0, 90, 33.3, -170};
        p.angle = angles[random() % 6];
        p.font = fonts[random() % fonts.size()];
        p.matrix = random() % 5 == 0;
        placements.push_back(p);
    }
    return placements;
}

class TextCacheTest : public test::ScratchTest {
protected:
    void TearDown() override {
        SetTextOutlineCacheEnabled(true);
        test::ScratchTest::TearDown();
    }
};

TEST_F(TextCacheTest, OutlineFontTextsAreTheRecordsOfAFullBuild) {
    const std::vector<LOGFONTA> fonts = {Font("Arial"), Font("Times New Roman", 700), Font("Courier New", 400, true),
                                         Font("Arial", 400, false, 600)};
    struct Case {
        const char* name;
        int polygonGrid;
        int maxPolyNodes;
        bool reuse;  // whether results can be reused at all
    };
    const Case cases[] = {
        {"1 nm grid", 1, 200, true},
        {"5 nm grid", 5, 200, true},
        {"0.01 nm grid", 0, 200, false},
        {"small polygons are cut", 1, 16, true},
    };
    std::mt19937 random(20261210);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Settings().polygonGrid = c.polygonGrid;
        Settings().maxPolyNodes = c.maxPolyNodes;
        const std::vector<Placement> placements = RandomPlacements(random, 120, fonts, {1, 7, 100, 999, 10000, 123457});
        const Built off = Build(placements, false);
        const Built on = Build(placements, true);
        ASSERT_FALSE(off.words.empty());
        EXPECT_TRUE(off.words == on.words);
        EXPECT_EQ(off.messages, on.messages);
        if (c.reuse) {
            EXPECT_GT(on.stats.hits, 0u);
        } else {
            EXPECT_EQ(on.stats.hits, 0u);
        }
    }
}

// A glyph source whose characters overlap themselves with slanted edges, so
// that the exclusive or makes crossing points that are truncated toward zero.
class CrossingGlyphs : public test::FakeGlyphs {
public:
    CrossingGlyphs() {
        auto& e = glyphs['E'];
        e.metrics.blackBoxY = 30;
        e.metrics.cellIncX = 37;
        e.contours = {Polygon({{0, 0}, {20, 0}, {20, 30}, {0, 30}})};
        // Two diamonds overlapping at an angle.
        auto& x = glyphs['x'];
        x.metrics.cellIncX = 41;
        x.contours = {Polygon({{0, 10}, {13, 0}, {29, 17}, {11, 29}}), Polygon({{7, 3}, {31, 8}, {23, 31}, {2, 22}})};
        // A slanted ring with an island inside and a sliver across it.
        auto& r = glyphs['r'];
        r.metrics.cellIncX = 33;
        r.contours = {Polygon({{0, 0}, {27, 4}, {30, 30}, {3, 27}}), Polygon({{6, 7}, {22, 9}, {24, 23}, {8, 21}}),
                      Polygon({{12, 12}, {17, 13}, {16, 17}}), Polygon({{-3, 14}, {33, 15}, {33, 16}, {-3, 16}})};
    }

private:
    static platform::OutlineContour Polygon(const std::vector<std::pair<int, int>>& points) {
        std::vector<platform::FixedPoint> fixed;
        for (const auto& [x, y] : points) fixed.push_back(W(x, y));
        return Polyline(fixed);
    }
};

TEST_F(TextCacheTest, CrossingContoursAgreeOnBothSidesOfTheAxes) {
    CrossingGlyphs glyphs;
    std::mt19937 random(7);
    // Whole scales (30, 90 units of E ink) place the same relative input at
    // every pen, on either side of zero; the others give fractions.
    std::vector<Placement> placements;
    const std::int32_t pens[] = {5000, -5000, -40, 17, -1, 0, 123456, -123456, 1073741000, -1073741000, 1500000000};
    for (const std::int32_t height : {30, 90, 47, 1000, 1001}) {
        for (const std::int32_t x : pens) {
            for (const std::int32_t y : pens) {
                placements.push_back({"xrxr", height, x, y, 0, Font("any"), false});
            }
        }
    }
    std::vector<Placement> more = RandomPlacements(random, 200, {Font("any")}, {30, 90, 47, 1000, 1001});
    for (Placement& p : more) {
        for (char& c : p.text) c = "xr"[static_cast<unsigned char>(c) % 2];
    }
    placements.insert(placements.end(), more.begin(), more.end());
    for (const int grid : {1, 3}) {
        SCOPED_TRACE(grid);
        Settings().polygonGrid = grid;
        const Built off = Build(placements, false);
        const Built on = Build(placements, true);
        EXPECT_TRUE(off.words == on.words);
        EXPECT_EQ(off.messages, on.messages);
        EXPECT_GT(on.stats.hits, 0u);
        EXPECT_GT(on.stats.uncacheable, 0u);  // straddling the axes, or too far out
    }
}

}  // namespace
