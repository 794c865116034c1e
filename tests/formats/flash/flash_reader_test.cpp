// The Mann and EMK readers: the dialect a Mann file is in, the numbers of
// every dialect and unit, mirroring, files written by the writers read back
// to the same rectangles and boxes, and damaged files.
#include <cmath>
#include <gtest/gtest.h>
#include <span>
#include <string>
#include <vector>

#include "FlashTest.h"
#include "formats/AllFormats.h"
#include "formats/emk/LoadEmkFile.h"
#include "formats/mann/LoadManFile.h"
#include "model/RecordViews.h"

using namespace zandor;
using Shapes = std::vector<std::string>;

namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Every record of the main symbol as "R x1 y1 x2 y2" or "B cx cy length
// width millidegrees", with its layer when it is not 0.
Shapes Describe(const Layout& layout) {
    Shapes shapes;
    const SymbolDescription& main = *layout.MainSymbol();
    for (const Word* r = main.FirstRecord(); r; r = main.NextRecord(r)) {
        std::string text;
        if (RecordKind(r) == ObjectKind::Rectangle) {
            const Rect box = RectangleView(r).Box();
            text = "R " + std::to_string(box.minx) + " " + std::to_string(box.miny) + " " + std::to_string(box.maxx) +
                   " " + std::to_string(box.maxy);
        } else if (RecordKind(r) == ObjectKind::Box) {
            const BoxView box(r);
            text = "B " + std::to_string(box.Centre().X) + " " + std::to_string(box.Centre().Y) + " " +
                   std::to_string(box.BoxLength()) + " " + std::to_string(box.BoxWidth()) + " " +
                   std::to_string(box.AngleMillidegrees());
        } else {
            text = "kind " + std::to_string(static_cast<int>(RecordKind(r)));
        }
        if (RecordLayer(r) != 0) text += " on layer " + std::to_string(RecordLayer(r));
        shapes.push_back(text);
    }
    return shapes;
}

MannOptions Metric() {
    MannOptions o;
    ApplyMannSystem(o, true, true);
    o.angleResolution = 0.1;
    return o;
}

class FlashReader : public test::FlashTest {
protected:
    Shapes ReadMann(const std::string& text, const MannOptions& options) {
        loaded.Clear();
        messages.messages.clear();
        LoadManFile reader(loaded, "test.man", options);
        read = reader.Read(Bytes(text));
        dialect = reader.Dialect();
        return Describe(loaded);
    }
    Shapes ReadEmk(const std::string& text, const EmkOptions& options = {}) {
        loaded.Clear();
        messages.messages.clear();
        read = LoadEmkFile(loaded, "test.emk", options).Read(Bytes(text));
        return Describe(loaded);
    }

    Layout loaded;
    bool read = false;
    MannDialect dialect = MannDialect::SingleQuadrant;
};

TEST_F(FlashReader, TheDialectOfAMannFile) {
    struct Case {
        std::string text;
        MannDialect dialect;
    };
    const std::vector<Case> cases = {
        {"\"T360M\"\r\n\"Mann 3600 format created by Zandor\"\r\n$", MannDialect::FourQuadrantMetric},
        {"\"T3600\"$", MannDialect::FourQuadrantMetric},
        {"\"T360E\"$", MannDialect::FourQuadrantEnglish},
        {"#\"T360E\"$", MannDialect::FourQuadrantEnglish},
        {"\"#00\"" + std::string(507, ' ') + "\"T360M\"\"comment\"$", MannDialect::FourQuadrantMetric},
        {"\"\r\n 0\"T360E\"$", MannDialect::FourQuadrantEnglish},
        {"\".Mann format created by Zandor\r\n$", MannDialect::SingleQuadrant},
        {"X5Y5W10H10A0;$", MannDialect::SingleQuadrant},
        {"\"T361M\"$", MannDialect::SingleQuadrant},
        {"\"T360", MannDialect::SingleQuadrant},
        {"", MannDialect::SingleQuadrant},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ReadMann(c.text, Metric());
        EXPECT_TRUE(read);
        EXPECT_EQ(dialect, c.dialect);
    }
}

TEST_F(FlashReader, NumbersOfEveryDialect) {
    struct Case {
        const char* what;
        std::string text;
        MannOptions options;
        Shapes shapes;
    };
    MannOptions english = Metric();
    ApplyMannSystem(english, true, false);
    MannOptions degrees = Metric();
    degrees.angleResolution = 1;
    MannOptions fourQuadrant = Metric();
    ApplyMannSystem(fourQuadrant, false, true);
    MannOptions explicitPoint = fourQuadrant;
    explicitPoint.implicitDecimalPoint = false;
    MannOptions scaled = Metric();
    scaled.scale = 2;
    const std::vector<Case> cases = {
        {"micrometres", "X5Y5W10H10A0;$", Metric(), {"R 0 0 10000 10000"}},
        {"letters left out keep their values",
         "X5Y5W10H10A0;X20;\r\nY3!0;$",
         Metric(),
         {"R 0 0 10000 10000", "R 15000 0 25000 10000", "R 15000 25000 25000 35000"}},
        {"tenths of a mil, 2 and 7 adding a quarter", "X7Y8W2H2A0;$", english, {"R 15875 17145 22225 23495"}},
        {"tenths of a degree", "X50Y50W20H10A300;$", Metric(), {"B 50000 50000 20000 10000 30000"}},
        {"whole degrees", "X50Y50W20H10A30;$", degrees, {"B 50000 50000 20000 10000 30000"}},
        {"a comment ends at its quote",
         "\".Mann format created by Zandor\"X5Y5W10H10A0;\".Metric\"X7;$",
         Metric(),
         {"R 0 0 10000 10000", "R 2000 0 12000 10000"}},
        {"scaled", "X5Y5W10H10A0;$", scaled, {"R 0 0 5000 5000"}},
        {"four quadrants, implicit decimal point",
         "\"T360M\"X.25Y-0.25W.01H.01A30.0;X25;$",
         fourQuadrant,
         {"B 250000 -250000 10000 10000 30000", "B 250000 -250000 10000 10000 30000"}},
        {"four quadrants, points written",
         "\"T360M\"X0.25Y-1W.01H0.01A0.0;X2;$",
         explicitPoint,
         {"R 245000 -1005000 255000 -995000", "R 1995000 -1005000 2005000 -995000"}},
        {"four quadrants in inches",
         "\"T360E\"X.1Y-.1W.001H.001A0;$",
         fourQuadrant,
         {"R 2527300 -2552700 2552700 -2527300"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ReadMann(c.text, c.options), c.shapes);
        EXPECT_TRUE(read);
        EXPECT_TRUE(messages.messages.empty()) << messages.messages.front().text;
        ASSERT_NE(loaded.Layer(0), nullptr);
        EXPECT_EQ(loaded.Layer(0)->name, "Layer 0");
    }

    EXPECT_EQ(ReadEmk("<X50Y50W100V100U0SZ." + std::string(780, '.')), Shapes{"R 0 0 10000 10000"});
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(ReadEmk("\"a comment\"X50Y50W100V100U300S\r\nX150SZ."),
              (Shapes{"B 5000 5000 10000 10000 30000", "B 15000 5000 10000 10000 30000"}));
    EmkOptions mils;
    mils.mils = true;
    mils.unit = 0.01;
    EXPECT_EQ(ReadEmk("X50Y50W100V100U0SZ.", mils), Shapes{"R 0 0 25400 25400"});
    EXPECT_EQ(ReadEmk("X50Y50W100V100U0SZ.", EmkOptions{0, 1, 2, false}), Shapes{"R 0 0 10000 10000"})
        << "a unit that is not positive reads 0.1 um";
}

// One dialect of each format, the unit it writes in, whole nanometres.
struct Dialect {
    const char* what;
    bool emk;
    MannOptions mann;
    EmkOptions emkOptions;
    std::int32_t unit;
};

std::vector<Dialect> Dialects() {
    std::vector<Dialect> dialects;
    for (const bool blocks : {false, true}) {
        MannOptions single = test::PlainMann(true), singleEnglish = single, four = test::PlainMann(false);
        MannOptions fourEnglish = four;
        ApplyMannSystem(singleEnglish, true, false);
        ApplyMannSystem(fourEnglish, false, false);
        for (MannOptions* o : {&single, &singleEnglish, &four, &fourEnglish}) {
            o->blocks = blocks;
            o->lineBreaks = !blocks;
            o->minFlash = o->resolution;
        }
        dialects.push_back({blocks ? "single quadrant in blocks" : "single quadrant", false, single, {}, 1000});
        dialects.push_back({"single quadrant English", false, singleEnglish, {}, 6350});
        dialects.push_back({"four quadrants", false, four, {}, 100});
        dialects.push_back({"four quadrants English", false, fourEnglish, {}, 127});
    }
    EmkOptions mils;
    mils.mils = true;
    mils.unit = 0.01;
    mils.minFlash = 0.01;
    EmkOptions micrometres;
    micrometres.minFlash = 0.1;
    dialects.push_back({"EMK", true, {}, micrometres, 100});
    dialects.push_back({"EMK in mils", true, {}, mils, 254});
    return dialects;
}

TEST_F(FlashReader, WhatTheWritersWriteReadsBackAsTheSameFlashes) {
    for (const Dialect& d : Dialects()) {
        for (const bool mirror : {false, true}) {
            if (mirror && d.emk) continue;
            SCOPED_TRACE(std::string(d.what) + (mirror ? ", mirrored" : ""));
            layout.Clear();
            const std::int32_t u = d.unit;
            // Rectangles on a grid of two units come back exactly.  Everything
            // stays between 0 and the mirror axis, where the single-quadrant
            // format has no negative values to warn about.
            Main().AddRectangle(2 * u, 4 * u, 12 * u, 10 * u, 1);
            Main().AddRectangle(20 * u, 40 * u, 30 * u, 110 * u, 1);
            Main().AddRectangle(100 * u, 0, 106 * u, 2 * u, 1);
            Shapes expected = Describe(layout);
            for (std::string& s : expected) s.erase(s.find(" on layer"));
            // Boxes come back within a unit and a tenth of a degree.
            const double angles[] = {30, 45, 100, 135.5, 200, 290};
            for (const double angle : angles) Main().AddBox(60 * u, 50 * u, 40 * u, 16 * u, angle, 1);

            Shapes shapes;
            if (d.emk) {
                WriteEmk(d.emkOptions, "round.emk");
                shapes = ReadEmk(ReadFile(Path("round.emk")), d.emkOptions);
            } else {
                MannOptions o = d.mann;
                o.mirrorX = mirror;
                o.maxCoordinate = 400 * o.resolution;  // the mirror axis, 400 units
                WriteMann(o, "round.man");
                ASSERT_TRUE(messages.messages.empty()) << messages.messages.front().text;
                shapes = ReadMann(ReadFile(Path("round.man")), o);
                EXPECT_EQ(dialect, d.mann.singleQuadrant ? MannDialect::SingleQuadrant
                                   : d.mann.metric       ? MannDialect::FourQuadrantMetric
                                                         : MannDialect::FourQuadrantEnglish);
            }
            EXPECT_TRUE(read);
            EXPECT_TRUE(messages.messages.empty()) << messages.messages.front().text;
            ASSERT_EQ(shapes.size(), expected.size() + std::size(angles));
            for (std::size_t k = 0; k < expected.size(); ++k) EXPECT_EQ(shapes[k], expected[k]);
            const SymbolDescription& main = *loaded.MainSymbol();
            const Word* r = main.FirstRecord();
            for (std::size_t k = 0; k < expected.size(); ++k) r = main.NextRecord(r);
            for (const double angle : angles) {
                SCOPED_TRACE(angle);
                ASSERT_NE(r, nullptr);
                // The same rectangle may come back turned by a quarter with
                // its sides exchanged, or by a half.
                double turn = 0;
                std::int32_t length = 0, width = 0;
                if (RecordKind(r) == ObjectKind::Box) {
                    const BoxView box(r);
                    EXPECT_NEAR(box.Centre().X, 60 * u, u);
                    EXPECT_NEAR(box.Centre().Y, 50 * u, u);
                    turn = box.AngleMillidegrees() / 1000.0 - angle;
                    length = box.BoxLength(), width = box.BoxWidth();
                } else {
                    ADD_FAILURE() << "a turned flash came back as " << shapes.back();
                }
                const double quarters = std::round(turn / 90);
                EXPECT_NEAR(turn, quarters * 90, 0.1001);
                if (std::fmod(std::fabs(quarters), 2) == 1) std::swap(length, width);
                EXPECT_NEAR(length, 40 * u, u);
                EXPECT_NEAR(width, 16 * u, u);
                r = main.NextRecord(r);
            }
        }
    }
}

TEST_F(FlashReader, MirroredAtAnyScaleReadsBackInPlace) {
    Main().AddRectangle(2000, 4000, 12000, 10000, 1);
    Main().AddBox(60000, 50000, 40000, 16000, 30, 1);
    for (const bool singleQuadrant : {true, false}) {
        MannOptions o = test::PlainMann(singleQuadrant);
        o.mirrorX = true;
        o.scale = 2;
        WriteMann(o, "mirrored.man");
        EXPECT_EQ(ReadMann(ReadFile(Path("mirrored.man")), o),
                  (Shapes{"R 2000 4000 12000 10000", "B 60000 50000 16000 40000 120000"}))
            << "the same box, turned by a quarter with its sides exchanged";
    }
}

TEST_F(FlashReader, DamagedFilesSayWhatIsWrongAndKeepWhatWasRead) {
    struct Case {
        const char* what;
        bool emk;
        std::string text;
        std::string message;  // the beginning of the first message
        const char* caption;
        std::size_t kept;
    };
    const std::string flash = "X5Y5W10H10A0;";
    const std::string emk = "<X50Y50W100V100U0S";
    const std::vector<Case> cases = {
        {"cut short", false, flash + "X20", "The last statement has no ';' and was left out.", "Warning", 1},
        {"no end mark", false, flash, "The file ends before its end mark '$'; it may be incomplete.", "Warning", 1},
        {"a statement without ';' before the end", false, flash + "X20$",
         "The last statement has no ';' and was left out.", "Warning", 1},
        {"a number of 22 digits", false, flash + "X1234567890123456789012;$", "The number after X has too many digits",
         "Error", 1},
        {"a coordinate beyond 32 bits", false, flash + "X9999999;$", "A coordinate lies outside the range", "Error", 1},
        {"a negative size", false, flash + "W-10;$", "A flash has a negative size", "Error", 1},
        {"an angle of 500 degrees", false, flash + "A5000;$", "An angle lies outside -360 to 360 degrees", "Error", 1},
        {"a flash reaching beyond the range", false, flash + "X2147483;$", "A flash reaches beyond the range", "Error",
         1},
        {"a letter without a number", false, flash + "Y;$", "A number is missing after Y", "Error", 1},
        {"binary data", false, flash + std::string("\0\x01\xff\xfe", 4) + "X7;$", "The file holds binary data", "Error",
         1},
        {"binary data in a comment", false, flash + "\"abc\x02\";$", "The file holds binary data", "Error", 1},
        {"blocks of the wrong length", false, "\"#00\"" + std::string(507, ' ') + flash + "$" + std::string(10, ' '),
         "The file is not made of whole blocks of 512 characters", "Warning", 1},
        {"EMK cut short", true, emk + "X150", "The last statement has no 'S' and was left out.", "Warning", 1},
        {"EMK without end mark", true, emk, "The file ends before its end mark 'Z'", "Warning", 1},
        {"EMK angle", true, emk + "U99999S", "An angle lies outside -360 to 360 degrees", "Error", 1},
        {"EMK negative size", true, emk + "V-1S", "A flash has a negative size", "Error", 1},
        {"EMK comment not closed", true, emk + "\"abc", "A comment is not closed", "Error", 1},
        {"EMK binary data", true, emk + std::string("\0\0\0\x80", 4), "The file holds binary data", "Error", 1},
        {"EMK blocks of the wrong length", true, emk + "Z." + std::string(10, '.'),
         "The file is not made of blocks of 800 characters", "Warning", 1},
        {"EMK a block without its '<'", true, emk + "Z." + std::string(780, '.') + "X" + std::string(799, '.'),
         "The file is not made of blocks of 800 characters", "Warning", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Shapes shapes = c.emk ? ReadEmk(c.text) : ReadMann(c.text, Metric());
        EXPECT_TRUE(read);
        EXPECT_EQ(shapes.size(), c.kept);
        ASSERT_FALSE(messages.messages.empty());
        EXPECT_EQ(messages.messages[0].text.substr(0, c.message.size()), c.message) << messages.messages[0].text;
        EXPECT_EQ(messages.messages[0].caption, c.caption);
    }
    // The place of an error: statement, line and offset.
    ReadMann("X5Y5W10H10A0;\r\nW-10;$", Metric());
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "A flash has a negative size\nin statement 2 (line 2, offset 19)");
}

TEST_F(FlashReader, TheLayoutLoadsFlashFilesByTheirExtension) {
    RegisterFileFormats();
    const FlashOptionSettings saved = FlashSettings();
    FlashSettings().mann = Metric();
    for (const char* name : {"a.man", "b.DWM", "c.emk"}) {
        SCOPED_TRACE(name);
        const bool isEmk = std::string(name) == "c.emk";
        WriteFile(name, isEmk ? "<X50Y50W100V100U0SZ." + std::string(780, '.') : "X5Y5W10H10A0;$");
        Layout document;
        EXPECT_TRUE(document.Load(Path(name)));
        EXPECT_EQ(Describe(document), Shapes{"R 0 0 10000 10000"});
        EXPECT_FALSE(document.IsModified());
    }
    // Cancelling the options dialog cancels the reading.
    struct Cancel : FlashOptionDialogs {
        bool Mann(MannOptions&, FlashDialogUse use) override { return use != FlashDialogUse::Read; }
        bool Emk(EmkOptions&, FlashDialogUse use) override { return use != FlashDialogUse::Read; }
    } cancel;
    FlashOptionDialogs* previous = SetFlashOptionDialogs(&cancel);
    Layout document;
    EXPECT_FALSE(document.Load(Path("a.man")));
    EXPECT_FALSE(document.Load(Path("c.emk")));
    SetFlashOptionDialogs(previous);
    FlashSettings() = saved;
    EXPECT_TRUE(messages.messages.empty());
}

}  // namespace
