// The Gerber reader: the objects each statement makes, aperture macros,
// clear polarity, regions with arcs, step and repeat, image statements that
// are not applied, and damaged files.
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <span>
#include <string>
#include <vector>

#include "editing/ObjectPolygons.h"
#include "formats/gerber/GerberMacro.h"
#include "formats/gerber/LoadGbrFile.h"
#include "geometry/Bool_Engine.h"
#include "geometry/PolygonArea.h"
#include "model/Layout.h"
#include "model/RecordViews.h"
#include "platform/Diagnostics.h"

using namespace zandor;
using Shapes = std::vector<std::string>;

namespace {

constexpr double kMm2 = 1e6;  // square micrometres

std::string Number(std::int64_t v) { return std::to_string(v); }

// Every record of a symbol in a short form: "C x y r", "G x y r w" (ring),
// "R x1 y1 x2 y2", "P n: x y, ..." (polygon), "W w n: x y, ..." (wire),
// "S symbol x y" (call).
Shapes Describe(const Layout& layout, const SymbolDescription& symbol) {
    Shapes shapes;
    for (const Word* r = symbol.FirstRecord(); r; r = symbol.NextRecord(r)) {
        std::string text;
        auto points = [&](const Point* p, int n) {
            std::string s = Number(n) + ":";
            for (int k = 0; k < n; ++k) s += " " + Number(p[k].X) + " " + Number(p[k].Y) + (k + 1 < n ? "," : "");
            return s;
        };
        switch (RecordKind(r)) {
            case ObjectKind::Circle: {
                const CircleView c(r);
                text = "C " + Number(c.Centre().X) + " " + Number(c.Centre().Y) + " " + Number(c.Radius());
                break;
            }
            case ObjectKind::Ring: {
                const RingView g(r);
                text = "G " + Number(g.Centre().X) + " " + Number(g.Centre().Y) + " " + Number(g.Radius()) + " " +
                       Number(g.RingWidth());
                break;
            }
            case ObjectKind::Rectangle: {
                const Rect b = RectangleView(r).Box();
                text = "R " + Number(b.minx) + " " + Number(b.miny) + " " + Number(b.maxx) + " " + Number(b.maxy);
                break;
            }
            case ObjectKind::Polygon: {
                const PolygonView p(r);
                text = "P " + points(p.Nodes(), p.NodeCount());
                break;
            }
            case ObjectKind::Wire: {
                const WireView w(r);
                text = "W " + Number(w.Width()) + " " + points(w.Nodes(), w.NodeCount());
                break;
            }
            case ObjectKind::SymbolCall: {
                const CallView c(r);
                const SymbolDescription* called = layout.FindSymbol(c.SymbolId());
                text = "S " + (called ? called->Name() : "?") + " " + Number(RoundHalfAway(c.Matrix().tx)) + " " +
                       Number(RoundHalfAway(c.Matrix().ty));
                break;
            }
            default: text = "kind " + Number(static_cast<int>(RecordKind(r)));
        }
        if (RecordLayer(r) != 0) text += " on layer " + Number(RecordLayer(r));
        shapes.push_back(text);
    }
    return shapes;
}

class GerberReader : public ::testing::Test {
protected:
    bool Read(const std::string& text) {
        layout.Clear();
        log.Clear();
        return LoadGbrFile(layout, "test.gbr", GerberOptions{}, &log)
            .Read(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }
    Shapes Main() { return Describe(layout, *layout.MainSymbol()); }

    // The area layer 0 of the main symbol covers, calls included, in square
    // micrometres.
    double Area() {
        Bool_Engine engine;
        ConfigureBooleanEngine(engine, 1);
        const SymbolDescription& main = *layout.MainSymbol();
        for (const Word* r = main.FirstRecord(); r; r = main.NextRecord(r)) {
            FeedObject(engine, layout, main, r, TransformMatrix{}, GroupA);
        }
        engine.Execute(OpOr);
        return ResultContoursAreaUm2(engine);
    }

    std::vector<std::string> Texts(platform::Severity severity) {
        std::vector<std::string> texts;
        for (const auto& d : log.Entries()) {
            if (d.severity != severity) continue;
            for (long k = 0; k < d.count; ++k) texts.push_back(d.text.substr(0, d.text.find('\n')));
        }
        return texts;
    }
    long Count(platform::Severity severity, const std::string& part) {
        long n = 0;
        for (const std::string& t : Texts(severity)) n += t.find(part) != std::string::npos;
        return n;
    }

    Layout layout;
    platform::DiagnosticLog log;
};

const std::string kHeaderInch = "%FSLAX24Y24*%\n%MOIN*%\n";
const std::string kHeaderMm = "%FSLAX33Y33*%\n%MOMM*%\n";

// ----- The statements and what they make ---------------------------------

struct StatementCase {
    const char* name;
    std::string file;
    Shapes expected;
};

TEST_F(GerberReader, StatementsMakeTheirObjects) {
    const StatementCase cases[] = {
        {"a circle flash of 0.010 inch at X10000 Y20000 with format 2.4",
         kHeaderInch + "%ADD10C,0.010*%\nD10*\nX10000Y20000D03*\nM02*\n",
         {"C 25400000 50800000 127000"}},
        {"a region of a move and four draws is one polygon of five points from the start point",
         kHeaderMm + "G36*\nX0Y0D02*\nG01X1000Y0D01*\nX1000Y1000D01*\nX0Y1000D01*\nX0Y0D01*\nG37*\nM02*\n",
         {"P 5: 0 0, 1000000 0, 1000000 1000000, 0 1000000, 0 0"}},
        {"a circle with a hole equal to its diameter flashes nothing",
         kHeaderMm + "%ADD10C,1X1*%\nD10*\nX0Y0D03*\nM02*\n",
         {}},
        {"a circle with a round hole is a ring",
         kHeaderMm + "%ADD10C,1X0.5*%\nD10*\nX0Y0D03*\nM02*\n",
         {"G 0 0 375000 250000"}},
        {"a rectangle flash is a rectangle about the point",
         kHeaderMm + "%ADD11R,2X1*%\nD11*\nX5000Y5000D03*\nM02*\n",
         {"R 4000000 4500000 6000000 5500000"}},
        {"an obround flash is a round-ended wire along its long axis",
         kHeaderMm + "%ADD12O,3X1*%\nD12*\nX0Y0D03*\nM02*\n",
         {"W 1000000 2: -1000000 0, 1000000 0"}},
        {"a draw with a circle is a round wire; a vertical one with a rectangle a rectangle",
         kHeaderMm +
             "%ADD10C,0.2*%\n%ADD11R,0.4X0.2*%\nD10*\nX0Y0D02*\nX1000Y0D01*\nD11*\nX0Y0D02*\nX0Y2000D01*\nM02*\n",
         {"W 200000 2: 0 0, 1000000 0", "R -200000 -100000 200000 2100000"}},
        {"a diagonal draw with a rectangle is the six-point hull of both ends",
         kHeaderMm + "%ADD11R,0.2X0.2*%\nD11*\nX0Y0D02*\nX1000Y1000D01*\nM02*\n",
         {"P 6: -100000 -100000, 100000 -100000, 1100000 900000, 1100000 1100000, 900000 1100000, -100000 100000"}},
        {"modal coordinates, incremental mode and trailing zeros",
         "%FSTIX23Y23*%%MOMM*%%ADD10C,1*%D10*X1Y1D03*X1D03*M02*",
         {"C 10000000 10000000 500000", "C 20000000 10000000 500000"}},
        {"a D03 alone flashes at the current point; deprecated G54 selects",
         kHeaderMm + "%ADD10C,1*%\nG54D10*\nX1000Y2000D02*\nD03*\nM02*\n",
         {"C 1000000 2000000 500000"}},
        {"statements after M02 are not read",
         kHeaderMm + "%ADD10C,1*%\nD10*\nX0Y0D03*\nM02*\nX1000Y1000D03*\n",
         {"C 0 0 500000"}},
        {"a polygon aperture: n vertices on the circle from the angle",
         kHeaderMm + "%ADD13P,2X4X0*%\nD13*\nX0Y0D03*\nM02*\n",
         {"P 4: 1000000 0, 0 1000000, -1000000 0, 0 -1000000"}},
        {"G04 comments with percent signs and stars of attributes skip nothing else",
         "G04 #@! %TF.Part,Single*\n" + kHeaderMm + "%ADD10C,1*%\nD10*\nX0Y0D03*\nM02*\n",
         {"C 0 0 500000"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Read(c.file));
        EXPECT_EQ(Main(), c.expected);
        EXPECT_TRUE(Texts(platform::Severity::Error).empty()) << Texts(platform::Severity::Error).front();
        ASSERT_NE(layout.Layer(0), nullptr);
        EXPECT_EQ(layout.Layer(0)->name, "Layer 0");
    }
}

TEST_F(GerberReader, StepAndRepeatPlacesOneSymbolPerCopy) {
    ASSERT_TRUE(Read(kHeaderMm + "%ADD10C,0.5*%\n%SRX3Y2I1.0J2.0*%\nD10*\nX0Y0D03*\n%SR*%\nX10000Y0D03*\nM02*\n"));
    EXPECT_EQ(Main(), (Shapes{"S SR1 0 0", "S SR1 1000000 0", "S SR1 2000000 0", "S SR1 0 2000000",
                              "S SR1 1000000 2000000", "S SR1 2000000 2000000", "C 10000000 0 250000"}));
    SymbolDescription* block = layout.FindSymbolByName("SR1");
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(Describe(layout, *block), Shapes{"C 0 0 250000"});
}

TEST_F(GerberReader, StepAndRepeatOfMillionsIsRefusedAndDrawnOnce) {
    ASSERT_TRUE(Read(kHeaderMm + "%ADD10C,0.5*%\n%SRX100000Y100000I1J1*%\nD10*\nX0Y0D03*\n%SR*%\nM02*\n"));
    EXPECT_EQ(Count(platform::Severity::Error, "100000 x 100000 copies"), 1);
    EXPECT_EQ(Main(), Shapes{"C 0 0 250000"});
}

TEST_F(GerberReader, ArcsAreDrawnAndInterpolatedInRegions) {
    // A full circle of radius 1 mm as a region (multi-quadrant), and the same
    // circle of four single-quadrant arcs.
    const std::string full = kHeaderMm + "G75*G36*X1000Y0D02*G03X1000Y0I-1000J0D01*G37*M02*";
    const std::string quarters = kHeaderMm +
                                 "G74*G36*X1000Y0D02*G03X0Y1000I1000J0D01*X-1000Y0I0J1000D01*X0Y-1000I1000J0D01*"
                                 "X1000Y0I0J1000D01*G37*M02*";
    const double circle = kPi * kMm2;
    for (const std::string& file : {full, quarters}) {
        ASSERT_TRUE(Read(file));
        ASSERT_EQ(Main().size(), 1u);
        EXPECT_EQ(Main()[0].substr(0, 2), "P ");
        EXPECT_NEAR(Area(), circle, circle * 0.002);
    }
    // A clockwise half circle drawn with a 0.1 mm aperture ends where it should.
    ASSERT_TRUE(Read(kHeaderMm + "%ADD10C,0.1*%D10*G75*X-1000Y0D02*G02X1000Y0I1000J0D01*M02*"));
    ASSERT_EQ(Main().size(), 1u);
    const SymbolDescription& main = *layout.MainSymbol();
    const WireView wire(main.FirstRecord());
    EXPECT_EQ(wire.Width(), 100000);
    EXPECT_EQ(wire.Node(0), (Point{-1000000, 0}));
    EXPECT_EQ(wire.Node(wire.NodeCount() - 1), (Point{1000000, 0}));
    EXPECT_GE(wire.NodeCount(), 37);
    EXPECT_EQ(wire.Node(wire.NodeCount() / 2).Y > 0, true);  // clockwise from the left runs over the top
    // An arc about its own start point (offsets left out) is a straight draw.
    ASSERT_TRUE(Read(kHeaderMm + "%ADD10C,0.1*%D10*G75*X0Y0D02*G02X1000Y0D01*M02*"));
    EXPECT_EQ(Main(), Shapes{"W 100000 2: 0 0, 1000000 0"});
    EXPECT_EQ(Count(platform::Severity::Warning, "centre lies on an end point"), 1);
}

// ----- Aperture macros ----------------------------------------------------

TEST(GerberMacroExpression, Arithmetic) {
    const std::vector<double> variables{0, 3, 0.5};
    const struct {
        const char* text;
        double value;
        bool ok;
    } cases[] = {
        {"1+2x3", 7, true},    {"(1+2)x3", 9, true},    {"2X3", 6, true},   {"1-2-3", -4, true}, {"8/2/2", 2, true},
        {"-$1/2", -1.5, true}, {"$2x$1+$9", 1.5, true}, {"1.5", 1.5, true}, {"--1", 1, true},    {"1/0", 0, true},
        {"1+", 0, false},      {"(1", 0, false},        {"$", 0, false},    {"2*3", 0, false},
    };
    for (const auto& c : cases) {
        bool ok = true;
        EXPECT_DOUBLE_EQ(EvaluateGerberExpression(c.text, variables, ok), c.value) << c.text;
        EXPECT_EQ(ok, c.ok) << c.text;
    }
}

// The area of a disc of radius r within |y| < h.
double StripArea(double r, double h) { return 2 * (h * std::sqrt(r * r - h * h) + r * r * std::asin(h / r)); }

struct MacroCase {
    const char* name;
    std::string macro;
    std::string parameters;
    double area;  // mm2
    double tolerance;
    Rect box;  // nm, or empty to skip
};

TEST_F(GerberReader, MacroPrimitivesExposeTheirAreas) {
    const double pi = kPi;
    const MacroCase cases[] = {
        {"1 circle with a variable diameter", "1,1,$1,0,0*", "2", pi, 0.002, {-1000000, -1000000, 1000000, 1000000}},
        {"1 circle off-centre", "1,1,1,2,0*", "", pi / 4, 0.002, {1500000, -500000, 2500000, 500000}},
        {"20 vector line", "20,1,0.5,0,0,4,0,0*", "", 2, 1e-6, {0, -250000, 4000000, 250000}},
        {"2 vector line (old code)", "2,1,0.5,0,0,0,3,0*", "", 1.5, 1e-6, {-250000, 0, 250000, 3000000}},
        {"21 centre line turned 90 degrees", "21,1,4,1,0,0,90*", "", 4, 1e-6, {-500000, -2000000, 500000, 2000000}},
        {"22 lower-left line", "22,1,2,1,1,1,0*", "", 2, 1e-6, {1000000, 1000000, 3000000, 2000000}},
        {"4 outline triangle", "4,1,3,0,0,2,0,0,2,0,0,0*", "", 2, 1e-6, {0, 0, 2000000, 2000000}},
        {"5 hexagon", "5,1,6,0,0,2,0*", "", 1.5 * std::sqrt(3.0), 1e-5, {}},
        {"variables assigned and computed",
         "$3=$1x2*$4=($3+1)/3*21,1,$3,$4,0,0,0*",
         "1",
         2,
         1e-6,
         {-1000000, -500000, 1000000, 500000}},
        {"exposure off removes what came before it",
         "21,1,4,4,0,0,0*21,0,2,2,0,0,0*",
         "",
         12,
         1e-6,
         {-2000000, -2000000, 2000000, 2000000}},
        {"exposure off leaves what comes after it",
         "21,1,4,4,0,0,0*21,0,2,2,0,0,0*1,1,1,0,0*",
         "",
         12 + pi / 4,
         0.002,
         {}},
        {"7 thermal: four pieces of the ring",
         "7,0,0,4,2,1,0*",
         "",
         pi * 3 - 2 * (StripArea(2, 0.5) - StripArea(1, 0.5)),
         0.002,
         {}},
        {"6 moire: two rings and a cross",
         "6,0,0,4,0.5,0.5,2,0.1,5,0*",
         "",
         pi * (4 - 2.25) + pi * (1 - 0.25) + 2 * 0.5 - 4 * 0.1 * 0.1 - 0.1 * (0.5 * 4 + 0.5 * 4) + 0.1 * 1.5,
         0.03,
         {-2500000, -2500000, 2500000, 2500000}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Read(kHeaderMm + "%AMTEST*\n0 a comment*\n" + c.macro + "%\n%ADD20TEST" +
                         (c.parameters.empty() ? "" : "," + c.parameters) + "*%\nD20*\nX0Y0D03*\nM02*\n"));
        EXPECT_TRUE(log.Entries().empty()) << log.Entries().front().text;
        EXPECT_NEAR(Area(), c.area * kMm2, c.area * kMm2 * c.tolerance);
        if (c.box.maxx > c.box.minx) {
            SymbolDescription& main = *layout.MainSymbol();
            main.boundsValid = false;
            main.EnsureBounds();
            const Rect b = main.Bounds();
            EXPECT_NEAR(b.minx, c.box.minx, 2);
            EXPECT_NEAR(b.miny, c.box.miny, 2);
            EXPECT_NEAR(b.maxx, c.box.maxx, 2);
            EXPECT_NEAR(b.maxy, c.box.maxy, 2);
        }
    }
}

TEST_F(GerberReader, MacroFlashesAtEveryPointAndUnknownPrimitivesWarnOnce) {
    ASSERT_TRUE(Read(kHeaderMm + "%AMBOX*21,1,1,1,0,0,0*3,1,2*3,1,2*%\n%ADD20BOX*%\n%ADD21BOX*%\nD20*\nX0Y0D03*\n"
                                 "X5000Y0D03*\nD21*X0Y5000D03*\nM02*\n"));
    EXPECT_EQ(Main(), (Shapes{"P 4: -500000 -500000, 500000 -500000, 500000 500000, -500000 500000",
                              "P 4: 4500000 -500000, 5500000 -500000, 5500000 500000, 4500000 500000",
                              "P 4: -500000 4500000, 500000 4500000, 500000 5500000, -500000 5500000"}));
    EXPECT_EQ(Count(platform::Severity::Warning, "primitive 3"), 1);
}

// ----- Polarity -----------------------------------------------------------

TEST_F(GerberReader, ClearPolarityRemovesWhatCameBefore) {
    const std::string square10 = "%ADD10R,10X10*%%ADD11R,4X4*%%ADD12R,2X2*%%ADD13C,2*%";
    const struct {
        const char* name;
        std::string body;
        double area;  // mm2
    } cases[] = {
        {"a clear square in a dark one", "D10*X0Y0D03*%LPC*%D11*X0Y0D03*", 84},
        {"dark after clear is not cut", "D10*X0Y0D03*%LPC*%D11*X0Y0D03*%LPD*%D12*X0Y0D03*", 88},
        {"clear over nothing removes nothing", "%LPC*%D11*X20000Y0D03*%LPD*%D10*X0Y0D03*", 100},
        {"clear cuts wires and circles too", "D13*X0Y0D02*X10000Y0D01*%LPC*%D11*X5000Y0D03*", 0},
        {"clear regions",
         "D10*X0Y0D03*%LPC*%G36*X-2000Y-2000D02*X2000Y-2000D01*X2000Y2000D01*X-2000Y2000D01*"
         "X-2000Y-2000D01*G37*",
         84},
        {"clear after clear, dark far away in between",
         "D10*X0Y0D03*%LPC*%D12*X-2000Y0D03*%LPD*%D12*X50000Y0D03*"
         "%LPC*%D12*X2000Y0D03*",
         100 - 4 - 4 + 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Read(kHeaderMm + square10 + c.body + "M02*"));
        double expected = c.area * kMm2;
        if (expected == 0) expected = (10 * 2 + kPi - 4 * 2) * kMm2;  // the wire less a 4 mm piece of its length
        EXPECT_NEAR(Area(), expected, expected * 0.003);
    }
}

TEST_F(GerberReader, FilesThatNeverClearKeepTheirObjects) {
    ASSERT_TRUE(Read(kHeaderMm + "%LPD*%%ADD10C,1*%D10*X0Y0D03*%LPD*%X0Y0D02*X1000Y0D01*M02*"));
    EXPECT_EQ(Main(), (Shapes{"C 0 0 500000", "W 1000000 2: 0 0, 1000000 0"}));
}

TEST_F(GerberReader, ClearInsideStepAndRepeatClearsEachCopyAndWhatLiesBelow) {
    // A dark bar under three copies of a block that clears a square and
    // flashes a smaller dark one inside it.
    ASSERT_TRUE(Read(kHeaderMm + "%ADD10R,30X2*%%ADD11R,1X1*%%ADD12R,0.5X0.5*%D10*X10000Y0D03*"
                                 "%SRX3Y1I10J0*%%LPC*%D11*X0Y0D03*%LPD*%D12*X0Y0D03*%SR*%M02*"));
    EXPECT_NEAR(Area(), (60 - 3 * 1 + 3 * 0.25) * kMm2, 0.01 * kMm2);
    // A clear object after a placed block cuts into the copies it touches.
    ASSERT_TRUE(Read(kHeaderMm + "%ADD10R,2X2*%%ADD11R,1X1*%%SRX2Y1I5J0*%D10*X0Y0D03*%SR*%%LPC*%D11*X5000Y0D03*M02*"));
    EXPECT_NEAR(Area(), (8 - 1) * kMm2, 0.01 * kMm2);
}

// ----- Statements not applied and damaged files ---------------------------

TEST_F(GerberReader, ImageStatementsNotAppliedWarnOncePerKind) {
    const char* statements[] = {"%IPNEG*%", "%IR90*%", "%MIA1B0*%", "%OFA1.0B0*%",     "%SFA2B1*%", "%KO*%",
                                "%LMX*%",   "%LR45*%", "%LS2*%",    "%ABD30*%\n%AB*%", "%QQ1*%"};
    for (const char* statement : statements) {
        SCOPED_TRACE(statement);
        const std::string twice = std::string(statement) + "\n" + statement + "\n";
        ASSERT_TRUE(Read(kHeaderMm + twice + "%ADD10C,1*%D10*X0Y0D03*M02*"));
        EXPECT_EQ(Texts(platform::Severity::Warning).size(), 1u);
        EXPECT_EQ(Main(), Shapes{"C 0 0 500000"});
    }
    // The values that change nothing say nothing; attributes get one note.
    ASSERT_TRUE(Read(kHeaderMm + "%IPPOS*%%IR0*%%MIA0B0*%%OFA0B0*%%SFA1B1*%%LMN*%%LR0*%%LS1*%%TF.Part,Single*%"
                                 "%TA.AperFunction,Conductor*%%TO.N,GND*%%TD*%%ADD10C,1*%D10*X0Y0D03*M02*"));
    EXPECT_TRUE(Texts(platform::Severity::Warning).empty());
    EXPECT_EQ(Texts(platform::Severity::Info).size(), 1u);
}

TEST_F(GerberReader, DamagedFilesKeepWhatWasReadWithAClearMessage) {
    const std::string flash = kHeaderMm + "%ADD10C,1*%D10*X0Y0D03*\n";
    const struct {
        const char* name;
        std::string file;
        platform::Severity severity;
        const char* message;
        Shapes kept;
    } cases[] = {
        {"binary data",
         flash + std::string("\0\1\2\3X5D03*", 11),
         platform::Severity::Error,
         "binary data",
         {"C 0 0 500000"}},
        {"a statement of more than 4 MB",
         flash + std::string(5 << 20, '1'),
         platform::Severity::Error,
         "longer than 4 MB",
         {"C 0 0 500000"}},
        {"a parameter block of more than 4 MB",
         flash + "%" + std::string(5 << 20, 'A'),
         platform::Severity::Error,
         "longer than 4 MB",
         {"C 0 0 500000"}},
        {"a coordinate beyond 32 bits",
         flash + "X99999999999D03*X1000D03*M02*",
         platform::Severity::Error,
         "outside the range",
         {"C 0 0 500000", "C 1000000 0 500000"}},
        {"a coordinate of too many digits",
         flash + "X9999999999999999999999D03*M02*",
         platform::Severity::Error,
         "outside the range",
         {"C 0 0 500000"}},
        {"an undefined aperture",
         flash + "D99*X1000D03*M02*",
         platform::Severity::Error,
         "Invalid aperture number: D99",
         {"C 0 0 500000"}},
        {"no format statement",
         "%MOMM*%%ADD10C,1*%D10*X10000D03*M02*",
         platform::Severity::Warning,
         "no format statement",
         {"C 1000000 0 500000"}},
        {"a region not closed",
         kHeaderMm + "G36*X0Y0D02*X1000Y0D01*X1000Y1000D01*",
         platform::Severity::Warning,
         "not closed",
         {"P 3: 0 0, 1000000 0, 1000000 1000000"}},
        {"a macro of an unknown name",
         kHeaderMm + "%ADD20NOSUCH,1*%D20*X0Y0D03*M02*",
         platform::Severity::Error,
         "not defined",
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Read(c.file));
        EXPECT_EQ(Count(c.severity, c.message), 1);
        EXPECT_EQ(Main(), c.kept);
    }
}

TEST_F(GerberReader, ManyUndefinedAperturesGiveAFewMessagesAndASummary) {
    std::string file = kHeaderMm + "D77*";
    for (int k = 0; k < 1000; ++k) file += "X" + std::to_string(k) + "D03*";
    ASSERT_TRUE(Read(file + "M02*"));
    EXPECT_EQ(Count(platform::Severity::Error, "Invalid aperture number: D77"), 5);
    EXPECT_EQ(Count(platform::Severity::Error, "995 more flashes or draws"), 1);
}

TEST_F(GerberReader, LongStatementsAreReadWhole) {
    // An outline of 60 points in one statement of far more than 199 characters.
    std::string outline = "4,1,60";
    for (int k = 0; k <= 60; ++k) {
        const double a = 2 * kPi * (k % 60) / 60;
        outline += "," + std::to_string(std::cos(a)) + "," + std::to_string(std::sin(a));
    }
    outline += ",0*";
    ASSERT_GT(outline.size(), 600u);
    ASSERT_TRUE(Read(kHeaderMm + "%AMROUND*" + outline + "%%ADD20ROUND*%D20*X0Y0D03*M02*"));
    ASSERT_EQ(Main().size(), 1u);
    EXPECT_EQ(Main()[0].substr(0, 5), "P 60:");
}

TEST_F(GerberReader, RegionsBeyondTheNodeLimitOfARecordAreSplit) {
    // A region of 40000 points on a circle of 10 mm radius, with a square hole
    // joined by a cut.
    std::string file = kHeaderMm + "G36*X10000Y0D02*";
    const int n = 40000;
    for (int k = 1; k <= n; ++k) {
        const double a = 2 * kPi * k / n;
        file += "X" + std::to_string(RoundHalfAway(10000 * std::cos(a))) + "Y" +
                std::to_string(RoundHalfAway(10000 * std::sin(a))) + "D01*";
    }
    file += "X2000Y0D01*X2000Y-2000D01*X-2000Y-2000D01*X-2000Y2000D01*X2000Y2000D01*X2000Y0D01*X10000Y0D01*G37*M02*";
    ASSERT_TRUE(Read(file));
    const Shapes shapes = Main();
    EXPECT_GE(shapes.size(), 2u);
    for (const Word* r = layout.MainSymbol()->FirstRecord(); r; r = layout.MainSymbol()->NextRecord(r)) {
        ASSERT_EQ(RecordKind(r), ObjectKind::Polygon);
        EXPECT_LE(PolygonView(r).NodeCount(), kMaxPolygonNodes);
    }
    const double expected = (kPi * 100 - 16) * kMm2;
    EXPECT_NEAR(Area(), expected, expected * 1e-4);
}

TEST_F(GerberReader, OtherBlockCharacters) {
    GerberOptions options;
    options.endOfBlock = '$';
    options.parameterDelimiter = '!';
    const std::string text = "!FSLAX33Y33$!!MOMM$!!ADD10C,1$!D10$X1000Y0D03$M02$";
    ASSERT_TRUE(LoadGbrFile(layout, "test.gbr", options, &log)
                    .Read(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())));
    EXPECT_EQ(Main(), Shapes{"C 1000000 0 500000"});
}

TEST_F(GerberReader, MissingFileIsRefused) {
    EXPECT_FALSE(LoadGbrFile(layout, "/nonexistent/board.gbr", GerberOptions{}, &log).Read());
    EXPECT_EQ(Count(platform::Severity::Error, "Cannot open"), 1);
}

}  // namespace
