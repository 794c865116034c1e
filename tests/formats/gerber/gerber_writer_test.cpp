// The Gerber writer: the header, the aperture choices and how each kind of
// shape is drawn in the three fill modes, the refusals, and odd layouts.
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "formats/gerber/ExportGbrFile.h"
#include "model/Layout.h"
#include "platform/headless/RecordingMessages.h"
#include "support/ScratchTest.h"

using namespace zandor;
using platform::headless::RecordedMessage;
using Lines = std::vector<std::string>;

namespace {

constexpr std::int32_t kMillimetre = 1000000;

// Millimetres with three decimals (steps of 1 um) and a table holding only
// the apertures given.
GerberOptions Micrometres(GerberFill fill, std::vector<GerberAperture> apertures) {
    GerberOptions o;
    o.millimetres = true;
    o.decimals = 3;
    o.fill = fill;
    o.apertures = {};
    for (std::size_t k = 0; k < apertures.size(); ++k) o.apertures[k] = apertures[k];
    return o;
}

GerberAperture Square(std::int64_t nanometres) { return {nanometres, (nanometres + 12700) / 25400, true}; }
GerberAperture Round(std::int64_t nanometres) { return {nanometres, (nanometres + 12700) / 25400, false}; }

Lines SplitLines(const std::string& text) {
    Lines lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

class GerberWriter : public test::ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        layout.Clear();
        layout.SetLayer(std::make_unique<LayerDescription>(1, "one"));
        layout.SetLayer(std::make_unique<LayerDescription>(2, "two"));
    }
    SymbolDescription& Main() { return *layout.MainSymbol(); }

    // Writes layer 1; the file's text, empty when the write failed.
    std::string Write(const GerberOptions& options, const std::string& name = "o.gbr") {
        messages.messages.clear();
        written = ExportGbrFile(layout, Path(name), 1, options).Write();
        return written ? ReadFile(Path(name)) : std::string();
    }

    // The blocks between the header and the closing "D02*", "M02*", which
    // the file must end with.
    Lines Body(const GerberOptions& options) {
        const Lines lines = SplitLines(Write(options));
        EXPECT_TRUE(written);
        if (lines.size() < 3) return {};
        EXPECT_EQ(Lines(lines.end() - 2, lines.end()), (Lines{"D02*", "M02*"}));
        std::size_t first = 0;
        while (first < lines.size() && lines[first].front() == '%') ++first;
        EXPECT_EQ(lines[first], "G01*") << "the interpolation mode follows the parameters";
        return Lines(lines.begin() + std::ptrdiff_t(first) + 1, lines.end() - 2);
    }

    Layout layout;
    platform::headless::ScopedMessageCapture messages;
    bool written = false;
};

TEST_F(GerberWriter, TheHeaderStatesFormatUnitsImageAndApertures) {
    const Lines lines = SplitLines(Write(GerberOptions{}, "a*b%c.gbr"));
    ASSERT_GE(lines.size(), 12u);
    EXPECT_EQ(lines[0], "%FSLAX34Y34*%");
    EXPECT_EQ(lines[1], "%MOIN*%");
    // Characters that would end a block or a parameter do not reach the name.
    const std::string path = Path("a_b_c.gbr");
    EXPECT_EQ(lines[2], path.size() > 69 ? "%INZANDOR*%" : "%INZANDOR-" + path + "*%");
    EXPECT_EQ(Lines(lines.begin() + 3, lines.begin() + 11),
              (Lines{"%ADD10R,0.004X0.004*%", "%ADD11R,0.008X0.008*%", "%ADD12R,0.016X0.016*%", "%ADD13R,0.039X0.039*%",
                     "%ADD14C,0.004*%", "%ADD15C,0.008*%", "%ADD16C,0.016*%", "%ADD17C,0.039*%"}));
    EXPECT_EQ(Lines(lines.begin() + 11, lines.end()), (Lines{"G01*", "D02*", "M02*"})) << "an empty layer";
    EXPECT_TRUE(messages.messages.empty());

    // Other characters and units; an aperture given in millimetres is
    // defined with the size it is chosen by, in inches too.
    GerberOptions o;
    o.integers = 2;
    o.decimals = 6;
    o.endOfBlock = '!';
    o.parameterDelimiter = '#';
    o.apertures = {};
    o.apertures[3] = Square(250000);
    const Lines inches = SplitLines(Write(o, "x!y#z.gbr"));
    ASSERT_EQ(inches.size(), 7u);
    EXPECT_EQ(inches[0], "#FSLAX26Y26!#");
    EXPECT_EQ(inches[1], "#MOIN!#");
    EXPECT_EQ(inches[2].find_first_of("!#", 1), inches[2].size() - 2);
    EXPECT_EQ(inches[3], "#ADD13R,0.009843X0.009843!#");
    EXPECT_EQ(inches[4], "G01!");
    o.millimetres = true;
    EXPECT_EQ(SplitLines(Write(o))[3], "#ADD13R,0.250X0.250!#");
}

// The worked examples: one shape, the fill mode and the table, and what the
// file draws.
TEST_F(GerberWriter, WorkedExamples) {
    struct Case {
        const char* what;
        std::function<void(SymbolDescription&)> add;
        GerberOptions options;
        Lines body;
    };
    const auto square = [](SymbolDescription& s) { s.AddRectangle(0, 0, kMillimetre, kMillimetre, 1); };
    const std::vector<Case> cases = {
        {"a square filled by five strokes of a square aperture a quarter of its side",
         square,
         Micrometres(GerberFill::WhenNecessary, {Square(250000)}),
         {"G54D10*", "X125Y125D02*", "X125Y875D01*", "X325Y125D02*", "X325Y875D01*", "X525Y125D02*", "X525Y875D01*",
          "X725Y125D02*", "X725Y875D01*", "X875Y125D02*", "X875Y875D01*"}},
        {"the same square as a region of five points",
         square,
         Micrometres(GerberFill::Always, {Square(250000)}),
         {"G36*", "G01X0Y0D02*", "X1000Y0D01*", "X1000Y1000D01*", "X0Y1000D01*", "X0Y0D01*", "X0Y0D02*", "G37*"}},
        {"a circle as large as a round aperture is one flash",
         [](SymbolDescription& s) { s.AddCircle(2000000, -3000000, 125000, 1); },
         Micrometres(GerberFill::WhenNecessary, {Square(250000), Round(250000)}),
         {"G54D11*", "X2000Y-3000D03*"}},
        {"a round wire as wide as a round aperture is a stroke a segment, and its joint mitred",
         [](SymbolDescription& s) {
             const Point p[] = {{0, 0}, {500000, 0}, {500000, 300000}};
             s.AddWire(p, 3, 100000, 0, 1);
         },
         Micrometres(GerberFill::WhenNecessary, {Round(100000), Square(50000)}),
         {"G54D10*", "X0Y0D02*", "X500Y0D01*", "X500Y0D02*", "X500Y300D01*", "G54D11*", "X525Y-25D03*"}},
        {"a single-segment wire with extended ends is half its width longer at both",
         [](SymbolDescription& s) {
             const Point p[] = {{0, 0}, {kMillimetre, 0}};
             s.AddWire(p, 2, 200000, 2, 1);
         },
         Micrometres(GerberFill::WhenNecessary, {}),
         {"G36*", "G01X-100Y-100D02*", "X1100Y-100D01*", "X1100Y100D01*", "X-100Y100D01*", "X-100Y-100D01*",
          "X-100Y-100D02*", "G37*"}},
        {"the joint of a flush wire is mitred",
         [](SymbolDescription& s) {
             const Point p[] = {{0, 0}, {kMillimetre, 0}, {kMillimetre, kMillimetre}};
             s.AddWire(p, 3, 200000, 1, 1);
         },
         Micrometres(GerberFill::WhenNecessary, {}),
         {"G36*",           "G01X0Y-100D02*", "X1000Y-100D01*", "X1000Y100D01*",  "X0Y100D01*",     "X0Y-100D01*",
          "X0Y-100D02*",    "G37*",           "G36*",           "G01X900Y0D02*",  "X1100Y0D01*",    "X1100Y1000D01*",
          "X900Y1000D01*",  "X900Y0D01*",     "X900Y0D02*",     "G37*",           "G36*",           "G01X1000Y-100D02*",
          "X1100Y-100D01*", "X1100Y0D01*",    "X1000Y0D01*",    "X1000Y-100D01*", "X1000Y-100D02*", "G37*"}},
        {"with fill \"Never\", what no aperture fits is left out",
         [](SymbolDescription& s) {
             s.AddRectangle(0, 0, 100000, 100000, 1);
             s.AddCircle(0, 0, 10000, 1);
             s.AddRectangle(0, 0, 300000, 250000, 1);
         },
         Micrometres(GerberFill::Never, {Square(250000)}),
         {"G54D10*", "X125Y125D02*", "X175Y125D01*"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        layout.Clear();
        layout.SetLayer(std::make_unique<LayerDescription>(1, "one"));
        c.add(Main());
        EXPECT_EQ(Body(c.options), c.body);
        if (c.options.fill == GerberFill::Never) {
            EXPECT_EQ(messages.messages,
                      (std::vector<RecordedMessage>{
                          {"2 shapes were left out or not drawn completely: no aperture of the table can draw them, "
                           "and polygon fill is \"Never\".",
                           "Warning"}}));
        } else {
            EXPECT_TRUE(messages.messages.empty());
        }
    }
}

// With an empty table every kind of shape becomes a region, and nothing is
// stroked or flashed.
TEST_F(GerberWriter, AnEmptyTableGivesRegionsForEveryShape) {
    const Point triangle[] = {{0, 0}, {3000000, 0}, {0, 2000000}};
    const Point lShape[] = {{0, 0}, {2000000, 0}, {2000000, 500000}, {500000, 500000}, {500000, 2000000}, {0, 2000000}};
    const Point wire[] = {{0, 0}, {1000000, 0}, {1000000, 1000000}};
    Main().AddRectangle(0, 0, 1000000, 2000000, 1);
    Main().AddBox(0, 0, 2000000, 1000000, 30, 1);
    Main().AddPolygon(triangle, 3, 1);
    Main().AddPolygon(lShape, 6, 1);
    Main().AddWire(wire, 3, 200000, 0, 1);
    Main().AddWire(wire, 3, 200000, 1, 1);
    Main().AddCircle(0, 0, 1000000, 1);
    Main().AddRing(0, 0, 1000000, 200000, 1);
    Main().AddArcWire(0, 0, 1000000, 0, 0, 1000000, MakeArcWidthWord(100000, 0, false), 1);
    const Lines body = Body(Micrometres(GerberFill::WhenNecessary, {}));
    ASSERT_FALSE(body.empty());
    int regions = 0;
    bool inside = false;
    for (const std::string& line : body) {
        if (line == "G36*") {
            EXPECT_FALSE(inside);
            inside = true;
            ++regions;
        } else if (line == "G37*") {
            EXPECT_TRUE(inside);
            inside = false;
        } else {
            EXPECT_TRUE(inside) << line << " outside a region";
            EXPECT_EQ(line.find("D03"), std::string::npos) << line;
        }
    }
    EXPECT_FALSE(inside);
    EXPECT_GE(regions, 11) << "every shape, every piece of the fractured polygons";
}

// Which aperture a square of 1 mm is filled with: the largest square not
// above it; else, of any shape, the smallest that fits, which must be square
// to fill it; else a region.
TEST_F(GerberWriter, TheAreaTakesTheLargestSquareApertureThatFits) {
    struct Case {
        std::vector<GerberAperture> table;
        std::string first;
    };
    const std::vector<Case> cases = {
        {{Square(100000), Square(500000), Square(1100000), Round(900000)}, "G54D11*"},
        {{Round(300000), Round(200000)}, "G36*"},
        {{Square(1000000)}, "G54D10*"},
        {{Square(1000001)}, "G36*"},
    };
    Main().AddRectangle(0, 0, kMillimetre, kMillimetre, 1);
    for (const Case& c : cases) {
        const Lines body = Body(Micrometres(GerberFill::WhenNecessary, c.table));
        ASSERT_FALSE(body.empty());
        EXPECT_EQ(body[0], c.first) << c.table.size() << " apertures";
    }
    // An aperture as large as the square: one stroke of no length, a flash.
    EXPECT_EQ(Body(Micrometres(GerberFill::WhenNecessary, {Square(1000000)})), (Lines{"G54D10*", "X500Y500D03*"}));
}

// A polygon is traced with the smallest aperture only when the aperture fits
// into every part of it; one smaller than the aperture is a region, not an
// outline that would draw far beyond it.
TEST_F(GerberWriter, APolygonIsTracedOnlyWhereTheApertureFits) {
    const Point small[] = {{0, 0}, {50000, 0}, {50000, 50000}, {0, 50000}};
    Main().AddPolygon(small, 4, 1);
    EXPECT_EQ(Body(GerberOptions{}),
              (Lines{"G36*", "G01X0Y0D02*", "X20Y0D01*", "X20Y20D01*", "X0Y20D01*", "X0Y0D01*", "X0Y0D02*", "G37*"}));

    // An L of arms 0.5 mm wide: traced with the square 4 mil aperture, and
    // its inside filled with strokes; no region.
    layout.Clear();
    layout.SetLayer(std::make_unique<LayerDescription>(1, "one"));
    const Point lShape[] = {{0, 0}, {2000000, 0}, {2000000, 500000}, {500000, 500000}, {500000, 2000000}, {0, 2000000}};
    Main().AddPolygon(lShape, 6, 1);
    GerberOptions o = Micrometres(GerberFill::WhenNecessary, {});
    o.apertures = GerberOptions::DefaultGerberApertures();
    const Lines body = Body(o);
    ASSERT_GE(body.size(), 8u);
    EXPECT_EQ(body[0], "G54D10*");
    // The outline inset by half the aperture (50.8 um), closed.
    EXPECT_EQ(Lines(body.begin() + 1, body.begin() + 8),
              (Lines{"X51Y51D02*", "X1949Y51D01*", "X1949Y449D01*", "X449Y449D01*", "X449Y1949D01*", "X51Y1949D01*",
                     "X51Y51D01*"}));
    for (const std::string& line : body) EXPECT_NE(line, "G36*");
}

// Tracing that would not be exact is not done: a round aperture rounds the
// corners of a triangle off, and a bar thinner than the aperture between two
// large squares would turn inside out and be drawn beyond its sides.
TEST_F(GerberWriter, NoTracingWhereTheApertureWouldMissOrOverdraw) {
    struct Case {
        const char* what;
        std::vector<Point> polygon;
    };
    const std::vector<Case> cases = {
        {"a triangle", {{0, 0}, {1000000, 0}, {0, 1000000}}},
        {"a dumbbell",
         {{0, 0},
          {1000000, 0},
          {1000000, 400000},
          {1500000, 400000},
          {1500000, 0},
          {2500000, 0},
          {2500000, 1000000},
          {1500000, 1000000},
          {1500000, 450000},
          {1000000, 450000},
          {1000000, 1000000},
          {0, 1000000}}},
    };
    GerberOptions o = Micrometres(GerberFill::WhenNecessary, {});
    o.apertures = GerberOptions::DefaultGerberApertures();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        layout.Clear();
        layout.SetLayer(std::make_unique<LayerDescription>(1, "one"));
        Main().AddPolygon(c.polygon.data(), int(c.polygon.size()), 1);
        const Lines body = Body(o);
        EXPECT_NE(std::find(body.begin(), body.end(), "G36*"), body.end()) << "what no aperture draws is a region";
        // The outline of the polygon, inset by half the smallest aperture.
        EXPECT_EQ(std::find(body.begin(), body.end(), "X51Y51D02*"), body.end());
        EXPECT_EQ(std::find(body.begin(), body.end(), "G54D14*"), body.end()) << "no round aperture";
    }
}

TEST_F(GerberWriter, UnusableOptionsAreRefusedAndNothingIsWritten) {
    struct Case {
        std::function<void(GerberOptions&)> change;
        std::string message;
    };
    const std::vector<Case> cases = {
        {[](GerberOptions& o) { o.decimals = 7; }, "The coordinate format needs 0 to 6 decimals, not 7."},
        {[](GerberOptions& o) { o.decimals = -1; }, "The coordinate format needs 0 to 6 decimals, not -1."},
        {[](GerberOptions& o) { o.integers = 0; }, "The coordinate format needs 1 to 6 integer digits, not 0."},
        {[](GerberOptions& o) { o.integers = 9; }, "The coordinate format needs 1 to 6 integer digits, not 9."},
        {[](GerberOptions& o) { o.endOfBlock = 'X'; },
         "The end-of-block character must be a printable sign other than a letter, a digit, a blank, \"+\", "
         "\"-\", \".\" or \",\"."},
        {[](GerberOptions& o) { o.parameterDelimiter = '-'; },
         "The parameter delimiter must be a printable sign other than a letter, a digit, a blank, \"+\", \"-\", "
         "\".\" or \",\"."},
        {[](GerberOptions& o) { o.endOfBlock = '\n'; },
         "The end-of-block character must be a printable sign other than a letter, a digit, a blank, \"+\", "
         "\"-\", \".\" or \",\"."},
        {[](GerberOptions& o) { o.parameterDelimiter = '*'; },
         "The end-of-block character and the parameter delimiter must differ."},
    };
    Main().AddRectangle(0, 0, 1000, 1000, 1);
    const std::string old = WriteFile("old.gbr", "a good old file");
    for (const Case& c : cases) {
        GerberOptions o;
        c.change(o);
        EXPECT_EQ(GerberOptionsProblem(o), c.message);
        EXPECT_EQ(Write(o, "old.gbr"), "");
        EXPECT_FALSE(written);
        EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{c.message, "Error"}}));
        EXPECT_EQ(ReadFile(old), "a good old file");
    }
    EXPECT_EQ(GerberOptionsProblem(GerberOptions{}), "");
}

TEST_F(GerberWriter, OddLayouts) {
    // Zero-size shapes draw nothing.
    const Point line[] = {{0, 0}, {0, 1000000}, {0, 0}};
    const Point dot[] = {{5, 5}, {5, 5}};
    Main().AddRectangle(0, 0, 0, 1000000, 1);
    Main().AddBox(0, 0, 1000000, 0, 45, 1);
    Main().AddPolygon(line, 3, 1);
    Main().AddWire(dot, 2, 100000, 0, 1);
    Main().AddWire(line, 2, 0, 1, 1);
    Main().AddCircle(0, 0, 0, 1);
    Main().AddRing(0, 0, 100000, 0, 1);
    for (const GerberFill fill : {GerberFill::Always, GerberFill::WhenNecessary, GerberFill::Never}) {
        GerberOptions o;
        o.fill = fill;
        EXPECT_EQ(Body(o), Lines{});
        EXPECT_TRUE(messages.messages.empty());
    }

    // Calls and arrays: the layer through every placement, arrays of
    // magnification 0 not at all, and a cycle of calls once round.
    layout.Clear();
    layout.SetLayer(std::make_unique<LayerDescription>(1, "one"));
    SymbolDescription& leaf = *layout.AddSymbol(1, "leaf");
    leaf.AddRectangle(0, 0, 10000, 10000, 1);
    leaf.AddRectangle(0, 0, 20000, 20000, 2);
    leaf.InsertSymbolCall(2, 0, 0);
    SymbolDescription& back = *layout.AddSymbol(2, "back");
    back.InsertSymbolCall(1, 1000000, 0);
    Main().InsertArray(1, {0, 100000}, {60000, 100000}, {0, 130000}, 2, 1, 1.0, 0.0);
    Main().InsertArray(1, {0, 500000}, {60000, 500000}, {0, 530000}, 2, 1, 0.0, 0.0);
    const Lines body = Body(Micrometres(GerberFill::Always, {}));
    Lines starts;
    for (const std::string& l : body) {
        if (l.rfind("G01", 0) == 0) starts.push_back(l);
    }
    EXPECT_EQ(starts, (Lines{"G01X0Y100D02*", "G01X30Y100D02*"}));
}

TEST_F(GerberWriter, CoordinatesBeyondTheFormatAreWrittenWithAWarning) {
    Main().AddRectangle(-2000000000, -2000000000, 2000000000, 2000000000, 1);
    GerberOptions o = Micrometres(GerberFill::Always, {});
    const Lines body = Body(o);
    ASSERT_EQ(body.size(), 8u);
    EXPECT_EQ(body[1], "G01X-2000000Y-2000000D02*");
    EXPECT_EQ(messages.messages,
              (std::vector<RecordedMessage>{
                  {"Some coordinates have more digits than the coordinate format 3.3 allows; they were written in "
                   "full.",
                   "Warning"}}));
    o.integers = 4;
    Body(o);
    EXPECT_TRUE(messages.messages.empty()) << "2000 mm fits four integer digits";

    // Filling with a tiny aperture would take billions of strokes: a region.
    const Lines tiny = Body(Micrometres(GerberFill::WhenNecessary, {Square(10)}));
    ASSERT_FALSE(tiny.empty());
    EXPECT_EQ(tiny[0], "G36*");
    layout.Clear();
    layout.SetLayer(std::make_unique<LayerDescription>(1, "one"));
    Main().AddCircle(0, 0, 1000000000, 1);
    const Point wire[] = {{0, 0}, {1000, 0}};
    Main().AddWire(wire, 2, 2000000000, 0, 1);
    Main().AddRing(0, 0, 1000000000, 1000000000, 1);
    Main().AddBox(0, 0, 2000000000, 2000000000, 30, 1);
    GerberOptions never = Micrometres(GerberFill::Never, {Round(1000)});
    never.integers = 6;
    EXPECT_EQ(Body(never), Lines{});
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text.rfind("4 shapes were left out", 0), 0u) << messages.messages[0].text;
}

}  // namespace
