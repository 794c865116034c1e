// Texts as member polygons: the glyph construction against a hand-made glyph
// source (exact fixed-point results) and against the installed outline fonts
// (letter shapes, font choice), and the transforms of a text record.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

#include "geometry/TextOutlines.h"
#include "model/Geometry.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "model/RecordTransform.h"
#include "model/RecordViews.h"
#include "model/UndoList.h"
#include "platform/FontOutlines.h"
#include "platform/fonts/FreeTypeFontOutlines.h"
#include "platform/headless/RecordingMessages.h"
#include "support/FakeGlyphs.h"
#include "support/ScratchTest.h"

using namespace zandor;
using platform::FixedPoint;
using platform::headless::RecordedMessage;
using platform::headless::ScopedMessageCapture;

namespace {

LOGFONTA Font(const char* face, int weight = 0, bool italic = false, std::uint8_t pitchAndFamily = 0) {
    LOGFONTA font;
    font.lfHeight = -2048;
    font.lfWeight = weight;
    font.lfItalic = italic ? 1 : 0;
    font.lfPitchAndFamily = pitchAndFamily;
    std::strncpy(font.lfFaceName, face, sizeof font.lfFaceName - 1);
    return font;
}

FixedPoint Fx(double x, double y) { return {RoundHalfAway(x * 65536), RoundHalfAway(y * 65536)}; }

struct Member {
    Word header;
    std::vector<Point> nodes;
};

std::vector<Member> MembersOf(SymbolDescription& symbol, std::int64_t headOffset) {
    Word* head = symbol.RecordAt(static_cast<std::int32_t>(headOffset));
    std::vector<Member> members;
    Word* r = symbol.NextRecord(head);
    for (int k = 0; k < MemberCount(head) && r; ++k, r = symbol.NextRecord(r)) {
        members.push_back({r[0], {PolygonNodes(r), PolygonNodes(r) + PolygonNodeCount(r)}});
    }
    return members;
}

Rect BoxOf(const std::vector<Member>& members) {
    Rect box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (const Member& m : members) {
        for (const Point& p : m.nodes) {
            box.minx = std::min(box.minx, p.X);
            box.miny = std::min(box.miny, p.Y);
            box.maxx = std::max(box.maxx, p.X);
            box.maxy = std::max(box.maxy, p.Y);
        }
    }
    return box;
}

class TextOutlinesTest : public test::ScratchTest {
protected:
    // Adds a text and returns its head's offset.
    std::int64_t Add(std::string_view text, std::int32_t height, std::int32_t x, std::int32_t y, double angle = 0,
                     const LOGFONTA& font = Font("Arial")) {
        const std::int32_t offset = symbol.usedWords;
        EXPECT_TRUE(AddTextOutlines(symbol, text, height, x, y, angle, 7, font));
        return offset;
    }

    Layout layout;
    SymbolDescription& symbol = *layout.MainSymbol();
    ScopedMessageCapture messages;
};

// ---------------------------------------------------------------------------
// Construction, against a hand-made glyph source.

TEST_F(TextOutlinesTest, OneContourGlyphIsStoredAsEnteredInWholeUnitsScaledFromThePen) {
    test::FakeGlyphs fake;
    fake.SetE(100, 0);
    // Fractions are dropped toward minus infinity (the whole part of a 16.16
    // value), before scaling.
    fake.glyphs['L'].contours = {test::FakeGlyphs::Polyline(
        {Fx(-1.5, -0.25), Fx(30.75, -0.25), Fx(30.75, 10), Fx(10.5, 10), Fx(10.5, 80), Fx(-1.5, 80)})};
    const std::int64_t head = Add("L", 1000, 5000, -7000);
    const std::vector<Member> members = MembersOf(symbol, head);
    ASSERT_EQ(members.size(), 1u);
    EXPECT_EQ(members[0].nodes, (std::vector<Point>{{5000 - 20, -7000 - 10},
                                                    {5000 + 300, -7000 - 10},
                                                    {5000 + 300, -7000 + 100},
                                                    {5000 + 100, -7000 + 100},
                                                    {5000 + 100, -7000 + 800},
                                                    {5000 - 20, -7000 + 800}}));
    EXPECT_TRUE(IsMember(&members[0].header));
    EXPECT_FALSE(IsSelected(&members[0].header));
    EXPECT_EQ(MemberCount(symbol.RecordAt(head)), 1);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(TextOutlinesTest, QuadraticSplinesAreCutIntoFourSegmentsPerPieceInFixedPoint) {
    test::FakeGlyphs fake;
    fake.SetE(1000, 0);  // scale 1
    // Controls (0,100) and (101,100), end (101,0): the implied on-point
    // between the controls is (50.5, 100), taken at whole units (50, 100).
    platform::OutlineContour arch;
    arch.start = test::FakeGlyphs::W(0, 0);
    arch.records.push_back({platform::kQuadraticSplineRecord, {Fx(0, 100), Fx(101, 100), Fx(101, 0)}});
    fake.glyphs['n'].contours = {arch};
    const std::int64_t head = Add("n", 1000, 0, 0);
    const std::vector<Member> members = MembersOf(symbol, head);
    ASSERT_EQ(members.size(), 1u);
    // First piece (0,0)-(0,100)-(50,100): points at t = 1/4, 1/2, 3/4, 1 are
    // (3.125, 43.75), (12.5, 75), (28.125, 93.75), (50, 100); the second
    // (50,100)-(101,100)-(101,0) gives (72.3125, 93.75), (88.25, 75),
    // (97.8125, 43.75), (101, 0); whole parts.
    EXPECT_EQ(
        members[0].nodes,
        (std::vector<Point>{{0, 0}, {3, 43}, {12, 75}, {28, 93}, {50, 100}, {72, 93}, {88, 75}, {97, 43}, {101, 0}}));
}

TEST_F(TextOutlinesTest, ScaleMakesTheInkOfCapitalEAsHighAsTheText) {
    test::FakeGlyphs fake;
    fake.SetE(70, 80);
    const std::int64_t head = Add("E", 10000, 0, 0);
    const std::vector<Member> members = MembersOf(symbol, head);
    ASSERT_EQ(members.size(), 1u);
    // 70 units * 10000/70 nm per unit.
    EXPECT_EQ(BoxOf(members), (Rect{0, 0, 10000, 10000}));
}

TEST_F(TextOutlinesTest, PenAdvancesByTruncatedStepsAndSkipsCharactersWithoutOutline) {
    test::FakeGlyphs fake;
    fake.SetE(1000, 0);
    fake.glyphs['#'].metrics.cellIncX = 333;
    fake.glyphs['#'].contours = {test::FakeGlyphs::Square(0, 0, 10)};
    // A contour of another type ends the glyph: what came before stays, the
    // pen does not move.
    fake.glyphs['?'] = fake.glyphs['#'];
    fake.glyphs['?'].contours.push_back(test::FakeGlyphs::Square(2, 2, 5));
    fake.glyphs['?'].contours.back().type = 0;
    const double height = 1001;  // scale 1001/1000: 333 units -> 333.333 nm, 0.6 h = 600.6 nm

    struct Case {
        const char* text;
        int squares;
        std::int32_t lastX;
    };
    const Case cases[] = {
        {"#", 1, 0},      {"##", 2, 333},  // trunc(333 * 1.001) = 333
        {"  #", 1, 1200},                  // two spaces of trunc(600.6) each, not trunc(1201.2)
        {"  ", 0, 0},     {"x#", 1, 0},    // no outline: skipped, the pen stays
        {"?#", 2, 0},                      // first contour of '?' kept, the pen stays
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::int64_t head = Add(c.text, static_cast<std::int32_t>(height), 0, 0);
        const std::vector<Member> members = MembersOf(symbol, head);
        EXPECT_EQ(MemberCount(symbol.RecordAt(static_cast<std::int32_t>(head))), c.squares);
        ASSERT_EQ(static_cast<int>(members.size()), c.squares);
        if (c.squares > 0) {
            EXPECT_EQ(members.back().nodes.front().X, c.lastX);
        }
    }
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(TextOutlinesTest, InnerContoursBecomeHolesJoinedByAVerticalBridge) {
    test::FakeGlyphs fake;
    fake.SetE(100, 0);
    fake.glyphs['o'].contours = {test::FakeGlyphs::Square(0, 0, 100), test::FakeGlyphs::Square(25, 25, 50)};
    // A third contour inside the hole comes back as an island of its own.
    fake.glyphs['@'].contours = {test::FakeGlyphs::Square(0, 0, 100), test::FakeGlyphs::Square(25, 25, 50),
                                 test::FakeGlyphs::Square(40, 40, 20)};
    const std::vector<Member> ring = MembersOf(symbol, Add("o", 100, 0, 0));
    ASSERT_EQ(ring.size(), 1u);
    // 4 outer + 4 inner, the hole's top-left corner twice and the bridge's
    // upper end twice.
    EXPECT_EQ(ring[0].nodes.size(), 11u);
    EXPECT_FALSE(PointInPolygon(50, 50, ring[0].nodes.data(), static_cast<int>(ring[0].nodes.size())));
    EXPECT_TRUE(PointInPolygon(10, 50, ring[0].nodes.data(), static_cast<int>(ring[0].nodes.size())));
    EXPECT_EQ(MembersOf(symbol, Add("@", 100, 0, 0)).size(), 2u);
}

TEST_F(TextOutlinesTest, EngineFailureLosesOnlyThatCharacterWithAMessage) {
    test::FakeGlyphs fake;
    fake.SetE(1, 0);
    fake.glyphs['#'].metrics.cellIncX = 1;
    fake.glyphs['#'].contours = {test::FakeGlyphs::Square(0, 0, 1)};
    fake.glyphs['!'].contours = {test::FakeGlyphs::Square(0, 0, 30000)};
    // At 0.01 nm snapping, 30000 units of 2e9 nm are beyond what the engine
    // takes.
    Settings().polygonGrid = 0;
    const std::int64_t head = Add("#!#", 2000000000, 0, 0);
    EXPECT_EQ(messages.messages,
              (std::vector<RecordedMessage>{{"Unexpected error during text to polygon conversion", "Error"}}));
    EXPECT_EQ(MemberCount(symbol.RecordAt(static_cast<std::int32_t>(head))), 2);
    EXPECT_EQ(MembersOf(symbol, head).size(), 2u);
}

// ---------------------------------------------------------------------------
// Placement: rotation, matrix, bounds, undo.

TEST_F(TextOutlinesTest, RotatedTextIsTheUnrotatedTextTurnedAboutItsPosition) {
    const std::int64_t plain = Add("Fig", 20000, 150000, -40000);
    const std::int64_t turned = Add("Fig", 20000, 150000, -40000, 90);
    const std::vector<Member> a = MembersOf(symbol, plain), b = MembersOf(symbol, turned);
    ASSERT_EQ(a.size(), b.size());
    ASSERT_FALSE(a.empty());
    for (std::size_t i = 0; i < a.size(); ++i) {
        std::vector<Point> expected;
        for (const Point& p : a[i].nodes) expected.push_back(RotatePoint(p, 150000, -40000, 90));
        EXPECT_EQ(b[i].nodes, expected);
    }
    const Word* head = symbol.RecordAt(static_cast<std::int32_t>(turned));
    EXPECT_EQ(TextView(head).Position(), (Point{150000, -40000}));
    const TransformMatrix m = TextView(head).Matrix();
    EXPECT_NEAR(m.a, 0, 1e-15);
    EXPECT_NEAR(m.b, 1, 1e-15);
    EXPECT_NEAR(m.c, -1, 1e-15);
    EXPECT_NEAR(m.d, 0, 1e-15);
    EXPECT_EQ(m.tx, 150000);
    EXPECT_EQ(m.ty, -40000);
    // An angle that is not a number (a damaged file) leaves the text upright
    // instead of sending every point to the origin.
    const std::vector<Member> damaged = MembersOf(symbol, Add("Fig", 20000, 150000, -40000, std::nan("")));
    ASSERT_EQ(damaged.size(), a.size());
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_EQ(damaged[i].nodes, a[i].nodes);
}

TEST_F(TextOutlinesTest, MatrixPathScalesRotatesAndMovesTheTextBuiltAtTheOrigin) {
    struct Case {
        const char* name;
        TransformMatrix m;
        double degrees;  // the rotation expected from the matrix
        double fx, fy;
    };
    const Case cases[] = {
        {"scale 2", {2, 0, 0, 2, 30000, -5000}, 0, 2, 2},
        {"quarter turn", {0, 1, -1, 0, -1000, 2000}, 90, 1, 1},
        {"mirror", {-1, 0, 0, 1, 0, 0}, 0, -1, 1},
        {"stretch", {1, 0, 0, 3, 7, 0}, 0, 1, 3},
    };
    const std::int64_t reference = Add("Ra", 5000, 0, 0);
    const std::vector<Member> plain = MembersOf(symbol, reference);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::int32_t expectedOffset = symbol.usedWords;
        const std::int64_t head = AddTextOutlinesWithMatrix(symbol, "Ra", 5000, c.m, 7, Font("Arial"));
        EXPECT_EQ(head, expectedOffset);
        const std::vector<Member> members = MembersOf(symbol, head);
        ASSERT_EQ(members.size(), plain.size());
        for (std::size_t i = 0; i < plain.size(); ++i) {
            std::vector<Point> expected;
            for (Point p : plain[i].nodes) {
                p = ScalePoint(p, 0, 0, c.fx, c.fy);
                p = RotatePoint(p, 0, 0, c.degrees);
                expected.push_back({p.X + RoundHalfAway(c.m.tx), p.Y + RoundHalfAway(c.m.ty)});
            }
            EXPECT_EQ(members[i].nodes, expected);
        }
        const Word* r = symbol.RecordAt(static_cast<std::int32_t>(head));
        EXPECT_EQ(TextView(r).Position(), (Point{RoundHalfAway(c.m.tx), RoundHalfAway(c.m.ty)}));
        const TransformMatrix m = TextView(r).Matrix();
        EXPECT_NEAR(m.a, c.m.a, 1e-12);
        EXPECT_NEAR(m.b, c.m.b, 1e-12);
        EXPECT_NEAR(m.c, c.m.c, 1e-12);
        EXPECT_NEAR(m.d, c.m.d, 1e-12);
        EXPECT_EQ(m.tx, c.m.tx);
        EXPECT_EQ(m.ty, c.m.ty);
    }
}

TEST_F(TextOutlinesTest, SymbolBoxIsTheTextBoxAndUndoRemovesTheWholeText) {
    symbol.Undo().BeginStep();
    const std::int64_t head = Add("Chip 7", 30000, -100000, 20000, 30);
    const Rect box = symbol.Bounds();
    symbol.RecomputeBounds();
    EXPECT_EQ(box, symbol.Bounds());
    EXPECT_EQ(box, ObjectBounds(symbol.RecordAt(static_cast<std::int32_t>(head)), &layout));
    symbol.Undo().Undo();
    EXPECT_EQ(symbol.usedWords, 0);
    EXPECT_EQ(symbol.objectCount, 0);
}

// ---------------------------------------------------------------------------
// The installed outline fonts.

TEST_F(TextOutlinesTest, LetterOIsOnePolygonWithItsHoleBridged) {
    const std::int64_t head = Add("O", 10000, 0, 0);
    const std::vector<Member> members = MembersOf(symbol, head);
    ASSERT_EQ(members.size(), 1u);
    EXPECT_TRUE(IsMember(&members[0].header));
    EXPECT_FALSE(IsSelected(&members[0].header));
    EXPECT_EQ(RecordLayer(&members[0].header), 7);
    const std::vector<Point>& o = members[0].nodes;
    const Rect box = BoxOf(members);
    const int n = static_cast<int>(o.size());
    const std::int32_t cx = (box.minx + box.maxx) / 2, cy = (box.miny + box.maxy) / 2;
    EXPECT_FALSE(PointInPolygon(cx, cy, o.data(), n));             // the counter is a hole
    EXPECT_TRUE(PointInPolygon(box.minx + 300, cy, o.data(), n));  // the left stroke is ink
    // The bridge: a vertical edge walked down and back up at the same x.
    bool bridge = false;
    for (int i = 0; i < n; ++i) {
        const Point a = o[i], b = o[(i + 1) % n], c = o[(i + 2) % n];
        if (a.X == b.X && b.X == c.X && (a.Y - b.Y) * (c.Y - b.Y) > 0) bridge = true;
        for (int j = 0; j < n && !bridge; ++j) {
            const Point d = o[j], e = o[(j + 1) % n];
            if (j != i && a.X == b.X && d.X == a.X && e.X == a.X && d.Y == b.Y && e.Y == a.Y) bridge = true;
        }
    }
    EXPECT_TRUE(bridge);
}

TEST_F(TextOutlinesTest, LetterIGivesDotAndStemBothMembers) {
    const std::int64_t head = Add("i", 10000, 0, 0);
    EXPECT_EQ(MemberCount(symbol.RecordAt(static_cast<std::int32_t>(head))), 2);
    std::vector<Member> members = MembersOf(symbol, head);
    ASSERT_EQ(members.size(), 2u);
    for (const Member& m : members) EXPECT_TRUE(IsMember(&m.header));
    const Rect a = BoxOf({members[0]}), b = BoxOf({members[1]});
    EXPECT_TRUE(a.miny > b.maxy || b.miny > a.maxy);  // one above the other
}

TEST_F(TextOutlinesTest, CapitalEOfTheOutlineFontIsAsHighAsTheText) {
    const Rect box = BoxOf(MembersOf(symbol, Add("E", 10000, 0, 0)));
    EXPECT_EQ(box.miny, 0);
    EXPECT_GE(box.maxy, 9999);
    EXPECT_LE(box.maxy, 10000);
}

TEST_F(TextOutlinesTest, WindowsCharacterCodesReachTheirGlyphs) {
    // 0x80 is the euro sign, 0xE9 e acute; 0x81 has no character.
    EXPECT_GT(MemberCount(symbol.RecordAt(static_cast<std::int32_t>(Add("\x80", 10000, 0, 0)))), 0);
    EXPECT_GT(MemberCount(symbol.RecordAt(static_cast<std::int32_t>(Add("\xE9", 10000, 0, 0)))), 1);
    EXPECT_EQ(MemberCount(symbol.RecordAt(static_cast<std::int32_t>(Add("\x81", 10000, 0, 0)))), 0);
    EXPECT_EQ(platform::Windows1252ToUnicode(0x80), U'\u20AC');
    EXPECT_EQ(platform::Windows1252ToUnicode(0x9F), U'\u0178');
    EXPECT_EQ(platform::Windows1252ToUnicode(0xE9), U'\u00E9');
}

TEST(FontResolution, CommonFacesResolveToMetricCompatibleOutlineFonts) {
    platform::FreeTypeFontOutlines fonts;
    struct Case {
        const char* face;
        int weight;
        bool italic;
        std::uint8_t pitchAndFamily;
        const char* family;
        const char* style;
    };
    const Case cases[] = {
        {"Arial", 400, false, 0, "Liberation Sans", "Regular"},
        {"Arial", 700, false, 0, "Liberation Sans", "Bold"},
        {"Arial", 0, true, 0, "Liberation Sans", "Italic"},
        {"Times New Roman", 400, false, 0, "Liberation Serif", "Regular"},
        {"Courier New", 400, false, 0, "Liberation Mono", "Regular"},
        // No outline font of these names: the Liberation family of their kind.
        {"MS Sans Serif", 400, false, 0, "Liberation Sans", "Regular"},
        {"MS Serif", 400, false, 0, "Liberation Serif", "Regular"},
        {"Fixedsys", 400, false, 0, "Liberation Mono", "Regular"},
        {"No Such Face", 400, false, platform::kFamilyRoman, "Liberation Serif", "Regular"},
        {"No Such Face", 400, false, platform::kFixedPitch | platform::kFamilySwiss, "Liberation Mono", "Regular"},
        {"", 400, false, 0, "Liberation Sans", "Regular"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.face);
        platform::FontRequest request;
        request.faceName = c.face;
        request.height = -2048;
        request.weight = c.weight;
        request.italic = c.italic;
        request.pitchAndFamily = c.pitchAndFamily;
        const platform::ResolvedFont resolved = fonts.Resolve(request);
        EXPECT_EQ(resolved.family, c.family);
        EXPECT_EQ(resolved.style, c.style);
    }
}

TEST_F(TextOutlinesTest, UnknownFaceDrawsWithTheFallbackFamily) {
    const std::vector<Member> fallback = MembersOf(symbol, Add("Ag", 10000, 0, 0, 0, Font("MS Sans Serif")));
    const std::vector<Member> liberation = MembersOf(symbol, Add("Ag", 10000, 0, 0, 0, Font("Liberation Sans")));
    ASSERT_EQ(fallback.size(), liberation.size());
    for (std::size_t i = 0; i < fallback.size(); ++i) EXPECT_EQ(fallback[i].nodes, liberation[i].nodes);
}

TEST(FontOutlines, OutlineFontGlyphInFontUnits) {
    // Liberation Sans has 2048 units per em: at an em of 2048 the outline is
    // in its own units, without fractions.
    platform::FreeTypeFontOutlines fonts;
    platform::FontRequest request;
    request.faceName = "Arial";
    request.height = -2048;
    platform::GlyphOutline e;
    ASSERT_TRUE(fonts.Outline(request, 'E', e));
    ASSERT_EQ(e.contours.size(), 1u);
    EXPECT_EQ(e.metrics.blackBoxY, 1409);
    EXPECT_EQ(e.metrics.cellIncX, 1366);
    for (const platform::OutlineRecord& r : e.contours[0].records) {
        EXPECT_EQ(r.type, platform::kPolylineRecord);
        for (const FixedPoint& p : r.points) EXPECT_EQ(p.x & 0xFFFF, 0);
    }
    // Half the em: every coordinate halves.
    request.height = -1024;
    platform::GlyphOutline half;
    ASSERT_TRUE(fonts.Outline(request, 'E', half));
    EXPECT_EQ(half.contours[0].start.x * 2, e.contours[0].start.x);
    EXPECT_EQ(half.metrics.cellIncX, 683);
    // A space has an advance and no contour; 'O' has two, made of splines.
    platform::GlyphOutline space, o;
    ASSERT_TRUE(fonts.Outline(request, ' ', space));
    EXPECT_TRUE(space.contours.empty());
    EXPECT_GT(space.metrics.cellIncX, 0);
    ASSERT_TRUE(fonts.Outline(request, 'O', o));
    ASSERT_EQ(o.contours.size(), 2u);
    EXPECT_EQ(o.contours[0].records[0].type, platform::kQuadraticSplineRecord);
    // Many sizes in turn (faces are closed again beyond a few): each em of
    // 256 k units gives k/8 of the full-size advance.
    platform::GlyphMetrics metrics;
    for (int k = 1; k <= 32; ++k) {
        request.height = -256 * k;
        ASSERT_TRUE(fonts.Metrics(request, 'E', metrics));
        EXPECT_EQ(metrics.cellIncX, RoundHalfAway(1366.0 * k / 8)) << k;
    }
    // Beyond an em of 8192 the 16.16 whole part could overflow: held there.
    request.height = -100000;
    ASSERT_TRUE(fonts.Metrics(request, 'E', metrics));
    EXPECT_EQ(metrics.cellIncX, 1366 * 4);
}

// ---------------------------------------------------------------------------
// Record transforms beyond texts.

TEST(RecordTransform, QuarterTurnsAreExactAndBoxAnglesStayInRange) {
    EXPECT_EQ(RotatePoint({2000000000, -1999999999}, 1, 1, 90), (Point{2000000001, 2000000000}));
    EXPECT_EQ(RotatePoint({-2000000000, 7}, 0.5, 0.5, -90), (Point{7, 2000000001}));
    EXPECT_EQ(RotatePoint({10, 0}, 0, 0, 180), (Point{-10, 0}));
    EXPECT_EQ(RotatePoint({10, 0}, 0, 0, 45), (Point{7, 7}));
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    Word* box = s.AddBox(0, 0, 100, 20, 170, 1);
    EXPECT_TRUE(RotateRecord(s, box, 0, 0, 20));
    EXPECT_EQ(BoxView(box).AngleMillidegrees(), -170000);
    // Mirrors: 30 degrees -> -30, 120 -> -120 + 180 = 60.
    BoxView(box).SetAngleMillidegrees(30000);
    EXPECT_TRUE(ScaleRecord(s, box, 0, 0, -1, 1));
    EXPECT_EQ(BoxView(box).AngleMillidegrees(), -30000);
    BoxView(box).SetAngleMillidegrees(120000);
    EXPECT_TRUE(ScaleRecord(s, box, 0, 0, -1, 1));
    EXPECT_EQ(BoxView(box).AngleMillidegrees(), 60000);
}

TEST(RecordTransform, ChangesOfKindAreLeftToTheEditingCommands) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    Word* rectangle = s.AddRectangle(0, 0, 10, 10, 1);
    const std::vector<Word> before(rectangle, rectangle + kRectangleLength);
    EXPECT_FALSE(RotateRecord(s, rectangle, 0, 0, 90));
    EXPECT_EQ(std::vector<Word>(rectangle, rectangle + kRectangleLength), before);
    Word* circle = s.AddCircle(0, 0, 10, 1);
    EXPECT_FALSE(ScaleRecord(s, circle, 0, 0, 2, 1));
    EXPECT_EQ(circle[3], 10);
    EXPECT_TRUE(ScaleRecord(s, circle, 0, 0, -2, 2));
    EXPECT_EQ(circle[3], 20);
}

}  // namespace
