// The drill reader: the minimal TAP format as the writer writes it, the
// Excellon files of PCB tools (tool tables, units, zeros, formats, slots,
// routed paths, repeats), what it does not support, and damaged files.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "DrillTest.h"

using namespace zandor;
using Shapes = std::vector<std::string>;

namespace {

class DrillReader : public test::DrillTest {};

const DrillOptions kMm24 = test::Drill(2, 4, true);
const DrillOptions kInch24 = test::Drill(2, 4, false);

TEST_F(DrillReader, TheMinimalFormat) {
    struct Case {
        const char* name;
        const char* text;
        DrillOptions options;
        Shapes shapes;
    };
    const std::vector<Case> cases = {
        {"digits padded on the right", "X12Y34\n", kMm24, {"C 12000000 34000000 250000"}},
        {"a tool without C is 0.1 mm per number", "T5\nX1Y1\n", kMm24, {"C 10000000 10000000 250000"}},
        {"C in millimetres", "C0.8\nX0Y0\n", kMm24, {"C 0 0 400000"}},
        {"C in inches", "C0.01\nX0Y0\n", kInch24, {"C 0 0 127000"}},
        {"C after T wins", "T5C0.3\nX0Y0\n", kMm24, {"C 0 0 150000"}},
        {"T after C wins", "C0.3T5\nX0Y0\n", kMm24, {"C 0 0 250000"}},
        {"a missing coordinate keeps its value",
         "X1Y2\nY3\nX-4\n",
         kMm24,
         {"C 10000000 20000000 250000", "C 10000000 30000000 250000", "C -40000000 30000000 250000"}},
        {"comments, F and S, lower case", "; X9Y9\nt2c0.5f200s100\nx01y02\n", kMm24, {"C 1000000 2000000 250000"}},
        {"a zero diameter gives 0.5 mm radius", "T0\nX0Y0\n", kMm24, {"C 0 0 500000"}},
        {"inch units", "X01Y-0005\n", kInch24, {"C 25400000 -1270000 250000"}},
        {"format 3.3", "X1Y001\n", test::Drill(3, 3, true), {"C 100000000 1000000 250000"}},
        {"more digits than the format", "X1234567\n", kMm24, {"C 123456700 0 250000"}},
        {"the writer's header and end",
         "; TAP file\n%\nT3C0.300F200S100\nX010000Y-020000\nM30\nX1Y1\n",
         kMm24,
         {"C 1000000 -2000000 150000"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Read(c.text, c.options), c.shapes);
        EXPECT_TRUE(read);
        EXPECT_TRUE(Texts(platform::Severity::Warning).empty());
        EXPECT_TRUE(Texts(platform::Severity::Error).empty());
        ASSERT_NE(loaded.Layer(0), nullptr);
        EXPECT_EQ(loaded.Layer(0)->name, "Layer 0");
    }
}

TEST_F(DrillReader, RefusesFormatsWithoutAUnit) {
    for (const DrillOptions& options : {test::Drill(2, 7, true), test::Drill(2, -1, true)}) {
        EXPECT_EQ(Read("X1Y1\n", options), Shapes{});
        EXPECT_FALSE(read);
        EXPECT_EQ(Texts(platform::Severity::Error), (Shapes{"Number of decimals must be between 0 and 6"}));
    }
}

TEST_F(DrillReader, ExcellonHeaders) {
    struct Case {
        const char* name;
        const char* text;
        Shapes shapes;
    };
    // Read with the options 2.4 mm: what the header says wins.
    const std::vector<Case> cases = {
        {"a tool table, selected later",
         "M48\nINCH,LZ\nT01C0.0300\nT02C0.050\n%\nT02\nX01Y01\nT01\nX02\nM30\n",
         {"C 25400000 25400000 635000", "C 50800000 25400000 381000"}},
        {"leading zeros kept: digits missing on the right",
         "M48\nINCH,LZ\nT1C0.05\n%\nT1\nX-001000Y030000\nX001Y03\n",
         {"C -2540000 76200000 635000", "C 2540000 76200000 635000"}},
        {"trailing zeros kept: whole file units",
         "M48\nINCH,TZ\nT1C0.05\n%\nT1\nX-001000Y030000\nX1000Y30000\n",
         {"C -2540000 76200000 635000", "C 2540000 76200000 635000"}},
        {"metric with the format on the units line",
         "M48\nMETRIC,TZ,000.000\nT1C1.0\n%\nT1\nX25679Y9449\n",
         {"C 25679000 9449000 500000"}},
        {"the format of a comment",
         "M48\n;FILE_FORMAT=4:4\nMETRIC,LZ\nT1C0.2\n%\nT1\nX002365Y00159755\n",
         {"C 23650000 15975500 100000"}},
        {"a format in a comment that is no format",
         "M48\n;FILE_FORMAT = 4 : f\nMETRIC,LZ\nT1C0.2\n%\nT1\nX002365\n",
         {"C 236500 0 100000"}},
        {"decimal points",
         "M48\nMETRIC\nT1C0.6\n%\nT1\nX73.114Y-67.536\nX+1.5Y.25\n",
         {"C 73114000 -67536000 300000", "C 1500000 250000 300000"}},
        {"units from M72 and the tool's C in them", "M48\nM72\nT1C0.1\n%\nT1\nX1.0Y0\n", {"C 25400000 0 1270000"}},
        {"tool number with leading zeros and parameters",
         "M48\nMETRIC\nT1F00S00C0.2000\n%\nT001\nX1.0Y1.0\n",
         {"C 1000000 1000000 100000"}},
        {"a definition in the body selects as well", "M48\nMETRIC\n%\nT3C0.5\nX1.Y1.\n", {"C 1000000 1000000 250000"}},
        {"header zero set and incremental moves",
         "M48\nMETRIC\nT1C1\n%\nT1\nG93X10.Y10.\nX1.Y1.\nG91\nX1.\nX1.Y-1.\nG90\nX0Y0\n",
         {"C 11000000 11000000 500000", "C 12000000 11000000 500000", "C 13000000 10000000 500000",
          "C 10000000 10000000 500000"}},
        {"ICI,ON is incremental",
         "M48\nMETRIC\nICI,ON\nT1C1\n%\nT1\nX1.Y1.\nX1.\n",
         {"C 1000000 1000000 500000", "C 2000000 1000000 500000"}},
        {"tool sizes of a hole size comment",
         ";T01 Holesize 1. = 12.000000 Tolerance = +0/-0 PLATED MILS Quantity = 1\n%\nT01\nX0.Y0.\n",
         {"C 0 0 152400"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Read(c.text, kMm24), c.shapes);
        EXPECT_TRUE(read);
        EXPECT_TRUE(Texts(platform::Severity::Warning).empty());
        EXPECT_TRUE(Texts(platform::Severity::Error).empty());
    }
}

TEST_F(DrillReader, ZerosJudgedFromTheNumbersWhenTheHeaderIsSilent) {
    // Numbers without leading zeros that end in zeros keep trailing zeros.
    EXPECT_EQ(Read("M48\nT1C0.01\n%\nT1\nX35790Y26070\nX31380Y13800\nM30\n", kInch24),
              (Shapes{"C 90906600 66217800 127000", "C 79705200 35052000 127000"}));
    // Numbers with leading zeros that end in other digits keep leading ones.
    EXPECT_EQ(Read("M48\nT1C0.01\n%\nT1\nX01095Y01056\nX0362Y049\n", kInch24),
              (Shapes{"C 27813000 26822400 127000", "C 91948000 124460000 127000"}));
    // Files without the Excellon header are read as the writer writes them.
    EXPECT_EQ(Read("T1C0.01\nX35790Y26070\n", kInch24), (Shapes{"C 909066000 662178000 127000"}));
}

TEST_F(DrillReader, SlotsAndRoutedPathsAreRoundEndedWires) {
    struct Case {
        const char* name;
        const char* text;
        Shapes shapes;
    };
    const std::vector<Case> cases = {
        {"a slot after a header without an end",
         "M48\nINCH\nT4C0.05\nG05\nT4\nX2.0Y0.5G85X2.5Y0.5\nM30\n",
         {"W 1270000 50800000,12700000 63500000,12700000"}},
        {"a G85 slot",
         "M48\nINCH\nT4C0.05\n%\nT4\nX2.0Y0.5G85X2.5Y0.5\nX3.0Y0.5\n",
         {"W 1270000 50800000,12700000 63500000,12700000", "C 76200000 12700000 635000"}},
        {"a routed path with the tool down",
         "M48\nMETRIC\nT1C1.0\n%\nT1\nG00X1.Y1.\nM15\nG01X5.\nY3.\nM16\nG05\nX0Y0\n",
         {"W 1000000 1000000,1000000 5000000,1000000 5000000,3000000", "C 0 0 500000"}},
        {"a counter-clockwise arc by its centre",
         "M48\nMETRIC\nT1C1.0\n%\nT1\nG00X10.Y0.\nM15\nG03X0.Y10.I-10.J0.\nM16\n",
         {"W 1000000 10000000,0 9961947,871557 9848078,1736482 9659258,2588190 9396926,3420201 9063078,4226183 "
          "8660254,5000000 8191520,5735764 7660444,6427876 7071068,7071068 6427876,7660444 5735764,8191520 "
          "5000000,8660254 4226183,9063078 3420201,9396926 2588190,9659258 1736482,9848078 871557,9961947 "
          "0,10000000"}},
        {"a clockwise arc by its radius",
         "M48\nMETRIC\nT1C1.0\n%\nT1\nG00X0.Y10.\nM15\nG02X10.Y0.A10.\nM16\n",
         {"W 1000000 0,10000000 871557,9961947 1736482,9848078 2588190,9659258 3420201,9396926 4226183,9063078 "
          "5000000,8660254 5735764,8191520 6427876,7660444 7071068,7071068 7660444,6427876 8191520,5735764 "
          "8660254,5000000 9063078,4226183 9396926,3420201 9659258,2588190 9848078,1736482 9961947,871557 "
          "10000000,0"}},
        {"a plunge without a move drills a hole",
         "M48\nMETRIC\nT1C1.0\n%\nT1\nG00X1.Y1.\nM15\nM16\n",
         {"C 1000000 1000000 500000"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Read(c.text, kMm24), c.shapes);
        EXPECT_TRUE(Texts(platform::Severity::Warning).empty());
    }
}

TEST_F(DrillReader, RepeatCodesStepFromTheLastHole) {
    EXPECT_EQ(
        Read("M48\nINCH,TZ\nT01C0.050\n%\nT01\nX10000Y10000\nR3X1000\nX20000Y00000\nR2X-1000Y-1500\nM30\n", kMm24),
        (Shapes{"C 25400000 25400000 635000", "C 27940000 25400000 635000", "C 30480000 25400000 635000",
                "C 33020000 25400000 635000", "C 50800000 0 635000", "C 48260000 -3810000 635000",
                "C 45720000 -7620000 635000"}));
}

TEST_F(DrillReader, WhatIsNotSupportedIsReportedOncePerKind) {
    const Shapes shapes = Read(
        "M48\nMETRIC\nT1C1.0\n%\nT1\nM25\nX1.Y1.\nM01\nM02X5.\nM08\nG00X0Y0\nG01X5.Y5.\nG01X6.\nG05\nM97,TEXT\n"
        "T7\nX2.Y2.\nT9\nX3.Y3.\nT7\nX4.Y4.\n",
        kMm24);
    EXPECT_EQ(shapes, (Shapes{"C 1000000 1000000 500000", "C 2000000 2000000 350000", "C 3000000 3000000 450000",
                              "C 4000000 4000000 350000"}));
    EXPECT_EQ(Texts(platform::Severity::Warning),
              (Shapes{"Pattern repeats (M25, M01, M02, M08) are not supported; they were skipped.",
                      "Routed moves with the tool up (no M15 before them) cut nothing and were not drawn.",
                      "Canned text (M97, M98) is not supported; it was skipped.",
                      "The file gives no diameter for the tools T7, T9; their holes were drawn with 0.1 mm per tool "
                      "number."}));
    EXPECT_TRUE(Texts(platform::Severity::Error).empty());
}

TEST_F(DrillReader, DamagedFilesStopWithAnErrorAndKeepWhatWasRead) {
    struct Case {
        const char* name;
        std::string text;
        Shapes shapes;
        const char* error;
    };
    const std::vector<Case> cases = {
        {"binary data",
         std::string("X1Y1\nX2\0Y2\nX3\n", 14),
         {"C 10000000 10000000 250000"},
         "The file holds binary data; it is no drill file\nin line 2"},
        {"a number too long",
         "X1Y1\nX1234567890123456789\n",
         {"C 10000000 10000000 250000"},
         "The number after X has too many digits\nin line 2"},
        {"a coordinate beyond the layout",
         "X1Y1\nX3000.\n",
         {"C 10000000 10000000 250000"},
         "A hole lies outside the range of the layout\nin line 2"},
        {"a coordinate beyond any layout",
         "X1Y1\nX99999999999999999.\n",
         {"C 10000000 10000000 250000"},
         "A coordinate lies outside the range of the layout\nin line 2"},
        {"incremental moves adding up beyond any layout",
         "X1Y1\nG91\nG00\n" +
             [] {
                 std::string moves;
                 for (int k = 0; k < 20; ++k) moves += "X500000000.\n";
                 return moves;
             }(),
         {"C 10000000 10000000 250000"},
         "A coordinate lies outside the range of the layout\nin line 5"},
        {"repeats beyond 100000 holes",
         "X1Y1\nR999999999X1\nX2\n",
         {"C 10000000 10000000 250000"},
         "The repeat codes of this file ask for more than 100000 holes\nin line 2"},
        {"a tool number too long",
         "X1Y1\nT1234567890\n",
         {"C 10000000 10000000 250000"},
         "The tool number after T is not a whole number of at most 9 digits\nin line 2"},
        {"a slot wider than a wire",
         "X1Y1\nC300\nX0Y0G85X1Y0\n",
         {"C 10000000 10000000 250000"},
         "A slot or routed path is wider than a wire can be\nin line 3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Read(c.text, kMm24), c.shapes);
        EXPECT_TRUE(read);
        EXPECT_EQ(Texts(platform::Severity::Error), (Shapes{c.error}));
    }
}

TEST_F(DrillReader, RepeatsWithinTheLimitAreMade) {
    const Shapes shapes = Read("M48\nMETRIC\n%\nT1C1\nX0Y0\nR1000X.001\nR1000Y.001\n", kMm24);
    ASSERT_EQ(shapes.size(), 2001u);
    EXPECT_EQ(shapes.back(), "C 1000000 1000000 500000");
}

}  // namespace
