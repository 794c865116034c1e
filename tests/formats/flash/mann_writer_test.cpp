// The Mann writer: headers of both formats, the statements of rectangles and
// boxes (cut at the maximum flash size, mirrored, enlarged), blocks of 512
// characters, the walk through calls and arrays, its warnings and the
// options it refuses.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "FlashTest.h"
#include "model/Geometry.h"

using namespace zandor;
using platform::headless::RecordedMessage;
using Lines = std::vector<std::string>;

namespace {

class MannWriter : public test::FlashTest {};

TEST_F(MannWriter, SingleQuadrantFileWholeAndARepeatedFlashWritesNothing) {
    MannOptions o;
    ApplyMannSystem(o, true, true);  // 5 um steps
    o.blocks = false;
    Main().AddRectangle(0, 0, 10000, 10000, 1);
    Main().AddRectangle(0, 0, 10000, 10000, 1);
    EXPECT_EQ(WriteMann(o),
              "\".Mann format created by Zandor\r\n"
              "\".Metric\r\n"
              "\".Range: 0, 100  Resolution: 0.005\r\n"
              "\".Aperture size: 0.005 - 3  Resolution: 0.005\r\n"
              "\".Angles in 1 degrees\r\n"
              "X5Y5W10H10A0;\r\n"
              "$\r\n");
    EXPECT_TRUE(messages.messages.empty());

    // Without line breaks the comments are closed by a quote.
    o.lineBreaks = false;
    ApplyMannSystem(o, true, false);
    Main().AddRectangle(0, 0, 19050, 12700, 1);  // 0.75 x 0.5 mil
    EXPECT_EQ(WriteMann(o),
              "\".Mann format created by Zandor\"\".English\"\".Range: 0, 4  Resolution: 0.00025\""
              "\".Aperture size: 0.00025 - 0.12  Resolution: 0.00025\"\".Angles in 1 degrees\""
              // Tenths of a mil, a last 2 or 7 adding a quarter: 10 um are 1.57 quarter mils.
              "X2Y2W5H5A0;X5W7;$");
}

TEST_F(MannWriter, FourQuadrantFileWithAndWithoutImplicitDecimalPoint) {
    MannOptions o = test::PlainMann(false);
    Main().AddRectangle(245000, 245000, 255000, 255000, 1);
    Main().AddRectangle(-255000, -255000, -245000, -245000, 1);
    EXPECT_EQ(WriteMann(o),
              "\"T360M\"\r\n"
              "\"Mann 3600 format created by Zandor\"\r\n"
              "\"Metric units (mm)\"\r\n"
              "X.25Y.25W.01H.01A0.0;\r\n"
              "X-0.25Y-0.25;\r\n"
              "\"2 flashes\"\r\n"
              "$\r\n");
    o.implicitDecimalPoint = false;
    EXPECT_EQ(Statements(WriteMann(o)), (Lines{"X0.25Y0.25W0.01H0.01A0.0;", "X-0.25Y-0.25;"}));
    ApplyMannSystem(o, false, false);
    const std::string english = WriteMann(o);
    EXPECT_EQ(english.substr(0, 52), "\"T360E\"\r\n\"Mann 3600 format created by Zandor\"\r\n\"Engl");
    EXPECT_NE(english.find("\"English units (inch)\"\r\n"), std::string::npos);
}

TEST_F(MannWriter, LargeRectanglesAreCutAtTheMaximumFlashSize) {
    struct Case {
        const char* what;
        Rect corners;  // as stored, in any order
        double maxFlash;
        Lines statements;
    };
    const std::vector<Case> cases = {
        {"three pieces across, the last one shorter",
         {0, 0, 250000, 10000},
         0.1,
         {"X200Y5W100H10A0;", "X100;", "X25W50;"}},
        {"the corners given the other way round", {250000, 10000, 0, 0}, 0.1, {"X200Y5W100H10A0;", "X100;", "X25W50;"}},
        {"three pieces along", {0, 0, 10000, 250000}, 0.1, {"X5Y50W10H100A0;", "Y150;", "Y225H50;"}},
        {"a rest below 1 % makes every piece 1 % smaller",
         {0, 0, 2006000, 10000},
         1,
         {"X1511Y5W990H10A0;", "X521;", "X13W26;"}},
        {"a rest of 5 % keeps the full size", {0, 0, 2050000, 10000}, 1, {"X1550Y5W1000H10A0;", "X550;", "X25W50;"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        layout.Clear();
        Main().AddRectangle(c.corners.minx, c.corners.miny, c.corners.maxx, c.corners.maxy, 1);
        MannOptions o = test::PlainMann();
        o.maxFlash = c.maxFlash;
        EXPECT_EQ(Statements(WriteMann(o)), c.statements);
    }
}

TEST_F(MannWriter, TurnedFlashesAndMirroring) {
    struct Case {
        const char* what;
        bool singleQuadrant;
        bool mirror;
        double angleResolution;
        std::string statement;
    };
    const std::vector<Case> cases = {
        {"tenths of a degree", true, false, 0.1, "X50Y50W20H10A300;"},
        {"whole degrees", true, false, 1, "X50Y50W20H10A30;"},
        {"mirrored about the maximum coordinate: 60 degrees, sides exchanged", true, true, 0.1, "X99950Y50W10H20A600;"},
        {"four quadrants", false, false, 0.1, "X.05Y.05W.02H.01A30.0;"},
        {"four quadrants mirrored about x = 0", false, true, 0.1, "X-0.05Y.05W.01H.02A60.0;"},
        {"four quadrants, whole degrees", false, false, 1, "X.05Y.05W.02H.01A30.0;"},
        {"half degrees", false, false, 0.5, "X.05Y.05W.02H.01A30.0;"},
    };
    Main().AddBox(50000, 50000, 20000, 10000, 30.0, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MannOptions o = test::PlainMann(c.singleQuadrant);
        o.mirrorX = c.mirror;
        o.angleResolution = c.angleResolution;
        EXPECT_EQ(Statements(WriteMann(o)), Lines{c.statement});
        EXPECT_TRUE(messages.messages.empty());
    }

    // An angle between two steps turns the flash by at most half a step.
    layout.Clear();
    Main().AddBox(50000, 50000, 20000, 10000, 30.2, 1);
    MannOptions o = test::PlainMann();
    o.angleResolution = 0.5;
    EXPECT_EQ(Statements(WriteMann(o)), Lines{"X50Y50W20H10A60;"}) << "60 steps of half a degree";
    // A quarter turn is written as no turn with the sides exchanged.
    layout.Clear();
    Main().AddBox(50000, 50000, 20000, 10000, 89.8, 1);
    o.angleResolution = 1;
    EXPECT_EQ(Statements(WriteMann(o)), Lines{"X50Y50W10H20A0;"});
}

TEST_F(MannWriter, ALongSideAtAnAngleBetweenTenthsIsCutSoThatItsEndStaysInPlace) {
    // 2 mm at 30.04 degrees: written at 30.0, the far end would be 1.4 um off.
    Main().AddBox(0, 0, 2000000, 10000, 30.04, 1);
    const Lines statements = Statements(WriteMann(test::PlainMann()));
    ASSERT_EQ(statements.size(), 2u);
    EXPECT_EQ(statements[0].substr(statements[0].size() - 5), "A300;");
    EXPECT_EQ(statements[1].find('A'), std::string::npos) << "the same angle: " << statements[1];
}

TEST_F(MannWriter, WarningsComeOneAtATimeAndNegativeValuesFirst) {
    MannOptions o = test::PlainMann();
    o.minFlash = 0.005;
    Main().AddRectangle(0, 0, 2000, 2000, 1);
    EXPECT_EQ(Statements(WriteMann(o)), Lines{"X1Y1W5H5A0;"});
    EXPECT_EQ(messages.messages,
              (std::vector<RecordedMessage>{{"Some flashes were increased to the minimum flash size.", "Warning"}}));
    Main().AddRectangle(-20000, 0, -10000, 10000, 1);
    EXPECT_EQ(Statements(WriteMann(o)), (Lines{"X1Y1W5H5A0;", "X-15Y5W10H10;"}));
    EXPECT_EQ(messages.messages,
              (std::vector<RecordedMessage>{{"File contains negative coordinate values.", "Warning"}}));
    // Four quadrants have no negative values to warn about.
    o = test::PlainMann(false);
    o.minFlash = 0.005;
    WriteMann(o);
    EXPECT_EQ(messages.messages,
              (std::vector<RecordedMessage>{{"Some flashes were increased to the minimum flash size.", "Warning"}}));
}

TEST_F(MannWriter, TheWalkTakesTheLayerThroughCallsAndArrays) {
    SymbolDescription& leaf = *layout.AddSymbol(1, "leaf");
    leaf.AddRectangle(0, 0, 10000, 10000, 1);
    leaf.AddRectangle(0, 0, 20000, 20000, 2);
    Main().AddRectangle(100000, 0, 110000, 10000, 2);
    Main().InsertSymbolCall(1, 50000, 0);
    Main().InsertArray(1, {0, 100000}, {60000, 100000}, {0, 130000}, 2, 1, 1.0, 0.0);
    Main().InsertArray(1, {0, 500000}, {60000, 500000}, {0, 530000}, 2, 1, 0.0, 0.0);
    EXPECT_EQ(Statements(WriteMann(test::PlainMann())), (Lines{"X55Y5W10H10A0;", "X5Y105;", "X35;"}));
}

TEST_F(MannWriter, BlocksOf512CharactersThatNoStatementCrosses) {
    for (int k = 0; k < 150; ++k) Main().AddRectangle(k * 13000, k * 7000, k * 13000 + 5000, k * 7000 + 3000, 1);
    MannOptions o;
    for (const bool singleQuadrant : {true, false}) {
        SCOPED_TRACE(singleQuadrant ? "single quadrant" : "four quadrants");
        o = test::PlainMann(singleQuadrant);
        o.lineBreaks = false;
        const std::string unblocked = WriteMann(o);
        o.blocks = true;
        const std::string text = WriteMann(o);
        ASSERT_EQ(text.size() % 512, 0u);
        ASSERT_GT(text.size(), 3 * 512u);
        EXPECT_EQ(text.substr(0, 512), "\"#00\"" + std::string(507, ' '));
        std::string joined;
        for (std::size_t at = 512; at < text.size(); at += 512) {
            std::string block = text.substr(at, 512);
            block.erase(block.find_last_not_of(' ') + 1);
            ASSERT_FALSE(block.empty());
            EXPECT_NE(std::string(";\"$").find(block.back()), std::string::npos) << "a block ends inside: " << block;
            joined += block;
        }
        EXPECT_EQ(joined, unblocked) << "the blocks hold the same statements";
    }

    // With line breaks as well, a statement and its line break stay in one block.
    o = test::PlainMann();
    o.blocks = true;
    const std::string text = WriteMann(o);
    ASSERT_EQ(text.size() % 512, 0u);
    for (std::size_t at = 1024; at < text.size(); at += 512) EXPECT_NE(text[at - 1], '\r') << at;
}

TEST_F(MannWriter, OptionsOutOfRangeAreRefusedAndTheOldFileStays) {
    struct Case {
        const char* message;
        void (*change)(MannOptions&);
    };
    const std::vector<Case> cases = {
        {"The scaling factor must be a positive value.", [](MannOptions& o) { o.scale = 0; }},
        {"The resolution must be a positive value.", [](MannOptions& o) { o.resolution = -1; }},
        {"The maximum flash size must be at least one resolution step.",
         [](MannOptions& o) { o.minFlash = 0, o.maxFlash = 0.0004; }},
        {"The maximum flash size must not be below the minimum flash size.",
         [](MannOptions& o) { o.minFlash = 0.2, o.maxFlash = 0.1; }},
        {"The minimum flash size must not be negative.", [](MannOptions& o) { o.minFlash = -0.001; }},
        {"The angle resolution must lie between 0.001 and 90 degrees.", [](MannOptions& o) { o.angleResolution = 0; }},
        {"In the single-quadrant format the resolution must be a whole number of micrometres.",
         [](MannOptions& o) { o.resolution = 0.0005; }},
        {"In the single-quadrant format the resolution must be a multiple of 0.25 mil.",
         [](MannOptions& o) { ApplyMannSystem(o, true, false), o.resolution = 0.0001; }},
    };
    Main().AddRectangle(0, 0, 10000, 10000, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        WriteFile("kept.man", "old");
        MannOptions o = test::PlainMann();
        c.change(o);
        EXPECT_EQ(WriteMann(o, "kept.man"), "");
        EXPECT_FALSE(written);
        EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{c.message, "Error"}}));
        EXPECT_EQ(ReadFile(Path("kept.man")), "old");
    }
    // Multiples of a quarter mil are fine.
    MannOptions o = test::PlainMann();
    ApplyMannSystem(o, true, false);
    o.resolution = 0.00075;
    EXPECT_NE(WriteMann(o), "");
}

TEST_F(MannWriter, ALayerNeedingTooManyFlashesIsRefused) {
    Main().AddRectangle(-2000000000, -2000000000, 2000000000, 2000000000, 1);
    WriteFile("kept.man", "old");
    MannOptions o = test::PlainMann(false);
    o.maxFlash = 0.0001;
    EXPECT_EQ(WriteMann(o, "kept.man"), "");
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].caption, "Error");
    EXPECT_NE(messages.messages[0].text.find("more than 1000000000 flashes"), std::string::npos);
    EXPECT_EQ(ReadFile(Path("kept.man")), "old");
}

// Answers the dialog as a test tells it to, and remembers what it was shown.
struct ScriptedDialogs : FlashOptionDialogs {
    ScriptedDialogs() : previous(SetFlashOptionDialogs(this)) {}
    ~ScriptedDialogs() override { SetFlashOptionDialogs(previous); }
    bool Mann(MannOptions& options, FlashDialogUse use) override {
        shown.push_back(use);
        if (answer) options.resolution = 0.002;
        return answer;
    }
    bool Emk(EmkOptions& options, FlashDialogUse use) override {
        shown.push_back(use);
        if (answer) options.unit = 1;
        return answer;
    }
    FlashOptionDialogs* previous;
    std::vector<FlashDialogUse> shown;
    bool answer = true;
};

TEST_F(MannWriter, TheDialogComesFirstAndMayCancel) {
    Main().AddRectangle(0, 0, 10000, 10000, 1);
    ScriptedDialogs dialogs;
    EXPECT_EQ(Statements(WriteMann(test::PlainMann())), Lines{"X6Y6W10H10A0;"}) << "2 um steps as chosen";
    dialogs.answer = false;
    EXPECT_EQ(WriteMann(test::PlainMann(), "cancelled.man"), "");
    EXPECT_FALSE(written);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_FALSE(std::filesystem::exists(Path("cancelled.man")));
    EXPECT_EQ(dialogs.shown, (std::vector<FlashDialogUse>{FlashDialogUse::Write, FlashDialogUse::Write}));

    dialogs.answer = true;
    EmkOptions emk;
    EXPECT_EQ(WriteEmk(emk).substr(0, 18), "<X5Y5W10V10U0SZ...") << "1 um units as chosen";
}

}  // namespace

namespace {

// A thin rectangle turned by 45 degrees as a polygon: its long edges cross
// the same cells of the fracturing, which may then leave gaps.
TEST_F(MannWriter, PolygonsTheFracturingMayLeaveGapsInAreReportedOnce) {
    const std::vector<Point> thin = RotatedBoxCorners({100000, 100000}, 20000, 1000, 45000);
    Main().AddPolygon(thin.data(), 4, 1);
    Main().AddPolygon(thin.data(), 4, 1);
    const std::vector<RecordedMessage> rounding = {
        {"Some rounding errors may have occured during polygon convertion.", "Warning"}};
    EXPECT_FALSE(Statements(WriteMann(test::PlainMann(false))).empty());
    EXPECT_EQ(messages.messages, rounding);
    EmkOptions emk;
    emk.minFlash = 0.1;
    EXPECT_NE(WriteEmk(emk), "");
    EXPECT_EQ(messages.messages, rounding);
    // The enlargement comes first in the Mann writer, and both in the EMK writer.
    MannOptions o = test::PlainMann(false);
    o.minFlash = 0.5;
    WriteMann(o);
    EXPECT_EQ(messages.messages,
              (std::vector<RecordedMessage>{{"Some flashes were increased to the minimum flash size.", "Warning"}}));
    emk.minFlash = 5;
    WriteEmk(emk);
    EXPECT_EQ(messages.messages,
              (std::vector<RecordedMessage>{{"Some flashes were increased to the minimum flash size.", "Warning"},
                                            rounding[0]}));
}

}  // namespace

namespace {

// Values far beyond any machine saturate instead of overflowing: a shape at
// the end of the coordinate range, magnified 10^9 times.
TEST_F(MannWriter, ExtremeOptionsStayDefined) {
    Main().AddRectangle(2147000000, 2147000000, INT32_MAX, INT32_MAX, 1);
    Main().AddRectangle(INT32_MIN, INT32_MIN, -2147000000, -2147000000, 1);
    for (const bool singleQuadrant : {true, false}) {
        MannOptions o = test::PlainMann(singleQuadrant);
        o.scale = 1e9;
        o.minFlash = 0;
        o.maxFlash = 1e300;
        o.mirrorX = true;
        const Lines statements = Statements(WriteMann(o));
        ASSERT_EQ(statements.size(), 2u) << singleQuadrant;
        EXPECT_EQ(statements[0][0], 'X');
    }
    EmkOptions emk;
    emk.unit = 1e-9;
    emk.minFlash = 0;
    emk.maxFlash = 1e300;
    EXPECT_NE(WriteEmk(emk), "");
}

}  // namespace
