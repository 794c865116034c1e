#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "formats/cif/SaveCifFile.h"
#include "model/Geometry.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "model/RecordViews.h"
#include "platform/headless/RecordingMessages.h"
#include "support/ScratchTest.h"

using namespace zandor;
using platform::headless::RecordedMessage;
using platform::headless::ScopedMessageCapture;

namespace {

namespace fs = std::filesystem;

class CifWriter : public zandor::test::ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        layout.Clear();
    }

    SaveOptions options;  // of the save-as dialog, for Save

    std::string Save(int layer = -1) {
        const std::string name = (dir / "out.cif").string();
        EXPECT_TRUE(SaveCifFile(layout, name, options).Write(layer));
        EXPECT_EQ(layout.MainSymbol()->Id(), -1) << "the main symbol gets its id back";
        return Slurp(name);
    }
    static std::string Slurp(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // The statements between the main symbol's name and its DF.
    std::string MainBody(const std::string& file) {
        const std::string start = "9 MainSymbol;\r\n";
        const auto from = file.rfind(start);
        const auto to = file.rfind("DF;\r\n");
        if (from == std::string::npos || to == std::string::npos || to < from) return "<no main definition>";
        return file.substr(from + start.size(), to - from - start.size());
    }
    void AddLayer(int index, const std::string& name = "", std::int64_t fill = -1, std::int64_t outline = -1,
                  int fillStyle = FillSolid, int outlineStyle = OutlineSolid, std::uint32_t dataType = 0,
                  std::uint8_t polarity = 1) {
        layout.SetLayer(std::make_unique<LayerDescription>(index, name, fill, outline, fillStyle, outlineStyle,
                                                           dataType, polarity));
    }
    SymbolDescription& Main() { return *layout.MainSymbol(); }

    Layout layout;
};

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Number of points of the first statement starting with `head` (after the
// head's own leading numbers).
std::size_t PointsIn(const std::string& statement, int leadingNumbers) {
    std::istringstream in(statement.substr(1));
    long long v;
    std::size_t numbers = 0;
    while (in >> v) ++numbers;
    return (numbers - leadingNumbers) / 2;
}

std::vector<std::string> Statements(const std::string& text, char head) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while ((at = text.find("\r\n" + std::string(1, head), at)) != std::string::npos) {
        const auto end = text.find(';', at);
        out.push_back(text.substr(at + 2, end - at - 2));
        at = end;
    }
    return out;
}

TEST_F(CifWriter, WholeFileOfALayoutWithLayers) {
    AddLayer(0);
    AddLayer(3, "Metal one", 0x00FF00, 0x0000FF, FillForwardDiagonal, OutlineDash);
    AddLayer(7, "Deep etch", 0x123456, 0x123456, FillHollow, OutlineSolid, 5, 1);
    AddLayer(9, "Dark", 0xABCDEF, 0xABCDEF, FillSolid, OutlineSolid, 0, 0);
    Main().AddRectangle(0, 0, 10, 4, 3);
    EXPECT_EQ(Save(),
              "(CIF written by Zandor 3.2);\r\n"
              "(1 unit = 0.001 micron);\r\n"
              "(Layer names:);\r\n"
              "L L0; (Zandor: 0 Layer 0/0f808000 0f808000);\r\n"
              "L L3; (Zandor: 3 Metal one/1200ff00 120000ff);\r\n"
              "L L7; (Zandor: 7 Deep etch/06123456 06123456 0005 1);\r\n"
              "L L9; (Zandor: 9 Dark/0fabcdef 0fabcdef 0000 0);\r\n"
              "(Top level:);\r\n"
              "DS1 1 10;\r\n"
              "9 MainSymbol;\r\n"
              "L L3;\r\n"
              "B 10 4 5 2;\r\n"
              "DF;\r\n"
              "C 1;\r\n"
              "E");
}

TEST_F(CifWriter, RecordRules) {
    struct Case {
        const char* what;
        void (*build)(SymbolDescription&);
        const char* body;
    };
    const Case cases[] = {
        {"rectangle", [](SymbolDescription& s) { s.AddRectangle(0, 0, 10, 4, 0); }, "L L0;\r\nB 10 4 5 2;\r\n"},
        {"rectangle with odd corner sums keeps its exact corners",
         [](SymbolDescription& s) { s.AddRectangle(0, 0, 5, 3, 0); }, "L L0;\r\n(ZanBox 0 0 5 3);\r\nB 5 3 2 1;\r\n"},
        {"negative odd sums truncate towards zero", [](SymbolDescription& s) { s.AddRectangle(-3, -1, 0, 0, 0); },
         "L L0;\r\n(ZanBox -3 -1 0 0);\r\nB 3 1 -1 0;\r\n"},
        {"box at angle 0", [](SymbolDescription& s) { s.AddBox(1, 2, 10, 4, 0.0, 0); },
         "L L0;\r\nB 10 4 1 2 30000 0;\r\n"},
        {"box at 90 degrees", [](SymbolDescription& s) { s.AddBox(0, 0, 10, 4, 90.0, 0); },
         "L L0;\r\nB 10 4 0 0 0 30000;\r\n"},
        {"polygon, five points a line",
         [](SymbolDescription& s) {
             const Point p[] = {{0, 0}, {10, 0}, {10, 10}, {5, 15}, {0, 10}, {-5, 5}};
             s.AddPolygon(p, 6, 0);
         },
         "L L0;\r\nP 0 0 10 0 10 10 5 15 0 10\r\n -5 5;\r\n"},
        {"polygon of two nodes is not written",
         [](SymbolDescription& s) {
             const Point p[] = {{0, 0}, {10, 0}};
             s.AddPolygon(p, 2, 0);
         },
         "L L0;\r\n"},
        {"round wire",
         [](SymbolDescription& s) {
             const Point p[] = {{0, 0}, {10, 0}};
             s.AddWire(p, 2, 4, 0, 0);
         },
         "L L0;\r\nW 4 0 0 10 0;\r\n"},
        {"flat then extended then round wire announce their styles",
         [](SymbolDescription& s) {
             const Point p[] = {{0, 0}, {10, 0}};
             s.AddWire(p, 2, 4, 1, 0);
             s.AddWire(p, 2, 4, 1, 0);
             s.AddWire(p, 2, 4, 2, 0);
             s.AddWire(p, 2, 4, 0, 0);
         },
         "L L0;\r\n(ZanWireStyle 1);\r\nW 4 0 0 10 0;\r\nW 4 0 0 10 0;\r\n(ZanWireStyle 2);\r\nW 4 0 0 10 0;\r\n"
         "(ZanWireStyle 0);\r\nW 4 0 0 10 0;\r\n"},
        {"circle", [](SymbolDescription& s) { s.AddCircle(1, 2, 5, 0); }, "L L0;\r\nR 10 1 2;\r\n"},
        {"circle with a negative radius", [](SymbolDescription& s) { s.AddCircle(1, 2, -5, 0); }, "L L0;\r\n"},
        {"text with an unmatched closing parenthesis",
         [](SymbolDescription& s) {
             LOGFONTA font;
             font.lfHeight = -12;
             s.AddText(7, 8, 0, "a)b", 100, font, 0);
         },
         "L L0;\r\n(ZanFont -12 0 0 0 0 0 0 0 0 0 0 0 0 0 0);\r\n"
         "(ZanTransform 0 1072693248 0 0 0 0 0 1072693248 0 1075576832 0 1075838976);\r\n"
         "(ZanText (7 8 0 100 3 a)b);\r\n"},
        {"text with an unmatched opening parenthesis",
         [](SymbolDescription& s) { s.AddText(0, 0, 0, "(x", 100, LOGFONTA{}, 0); },
         "L L0;\r\n(ZanFont 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0);\r\n"
         "(ZanTransform 0 1072693248 0 0 0 0 0 1072693248 0 0 0 0);\r\n"
         "(ZanText 0 0 0 100 2 (x));\r\n"},
        {"group",
         [](SymbolDescription& s) {
             s.AddGroup(1, 2, 1, 1);
             s.AddRectangle(0, 0, 2, 2, 0);
             s.RecordAt(5)[0] |= static_cast<Word>(kMemberBit);
         },
         "(ZanGroup 1 2 1 1);\r\nL L0;\r\nB 2 2 1 1;\r\n"},
        {"group counts only members that are written",
         [](SymbolDescription& s) {
             s.AddGroup(1, 2, 2, 2);
             const Point p[] = {{0, 0}, {10, 0}};
             s.AddPolygon(p, 2, 0);  // too few nodes to be written
             s.AddRectangle(0, 0, 2, 2, 0);
             for (Word* r = s.NextRecord(s.FirstRecord()); r; r = s.NextRecord(r))
                 r[0] |= static_cast<Word>(kMemberBit);
         },
         "(ZanGroup 1 2 1 1);\r\nL L0;\r\nB 2 2 1 1;\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        layout.Clear();
        AddLayer(0);
        c.build(Main());
        EXPECT_EQ(MainBody(Save()), c.body);
    }
}

TEST_F(CifWriter, ArcWireRecordIsFollowedByItsOutline) {
    AddLayer(0);
    Main().AddArcWire(0, 0, 100, 0, -100, 0, MakeArcWidthWord(10, 1, true), 0);
    const Word* r = Main().FirstRecord();
    const std::string body = MainBody(Save());
    const std::string record = "(ZanArcWire " + std::to_string(r[7]) + " 100 0 0 0 -100 0);\r\nP";
    ASSERT_EQ(body.find("L L0;\r\n" + record), 0u) << body;
    EXPECT_EQ(PointsIn(Statements(body, 'P').at(0), 0), ArcWireOutline(r, 72).size());
}

TEST_F(CifWriter, CallsAndTheScaledCallWarning) {
    AddLayer(0);
    SymbolDescription* a = layout.AddSymbol(2, "cell a");
    a->AddRectangle(0, 0, 10, 10, 0);
    Main().InsertSymbolCallMatrix(2, {0, -1, -1, 0, 100, 200});  // mirrored in x, then turned by 90 degrees
    Main().InsertSymbolCallMatrix(2, {2, 0, 0, 2, 0, 0});
    Main().InsertSymbolCallMatrix(2, {1, 0, 0, -1, 5, 6});
    ScopedMessageCapture messages;
    const std::string file = Save();
    EXPECT_NE(file.find("(Symbol definitions:);\r\nDS2 1 10;\r\n9 cell~a;\r\nL L0;\r\nB 10 10 5 5;\r\nDF;\r\n"),
              std::string::npos)
        << file;
    EXPECT_EQ(MainBody(file), "C 2 MX R0 30000 T100 200;\r\nC 2 S2 2 T0 0;\r\nC 2 MY T5 6;\r\n");
    EXPECT_NE(file.find("DS3 1 10;\r\n9 MainSymbol;"), std::string::npos) << "main symbol numbered after the others";
    EXPECT_TRUE(file.ends_with("DF;\r\nC 3;\r\nE"));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].caption, "Warning");
    EXPECT_TRUE(messages.messages[0].text.starts_with(
        "The layout contains scaled and/or stretched symbol references, which\nare not supported"));
}

TEST_F(CifWriter, CallAtAnOddAngleKeepsItsRotation) {
    AddLayer(0);
    layout.AddSymbol(2, "a")->AddRectangle(0, 0, 10, 10, 0);
    const double angle = 30.0 * kPi / 180.0;
    Main().InsertSymbolCallMatrix(2, {std::cos(angle), std::sin(angle), -std::sin(angle), std::cos(angle), 0, 0});
    const std::string body = MainBody(Save());
    long long dx = 0, dy = 0;
    ASSERT_EQ(std::sscanf(body.c_str(), "C 2 R%lld %lld", &dx, &dy), 2) << body;
    EXPECT_NEAR(std::atan2(double(dy), double(dx)), angle, 1e-8) << body;
}

TEST_F(CifWriter, BoxAtAnOddAngleKeepsItsMillidegrees) {
    AddLayer(0);
    for (double degrees : {12.345, -0.001, 179.999, 33.333}) {
        SCOPED_TRACE(degrees);
        layout.Clear();
        AddLayer(0);
        Main().AddBox(0, 0, 10, 4, degrees, 0);
        const std::string body = MainBody(Save());
        long long dx = 0, dy = 0;
        ASSERT_EQ(std::sscanf(body.c_str(), "L L0;\r\nB 10 4 0 0 %lld %lld", &dx, &dy), 2) << body;
        EXPECT_EQ(RoundHalfAway(std::atan2(double(dy), double(dx)) * 180.0 / kPi * 1000.0),
                  RoundHalfAway(degrees * 1000.0))
            << body;
    }
}

TEST_F(CifWriter, ArrayGetsTwoLatticeDefinitions) {
    AddLayer(0);
    layout.AddSymbol(1, "e")->AddRectangle(0, 0, 10, 10, 0);
    Main().InsertArray(1, {0, 0}, {300, 0}, {0, 100}, 3, 2, 1.0, 0.0);
    const std::string file = Save();
    // Ids: e is 1, the main symbol 2, its lattice 3 and 4.
    EXPECT_NE(file.find("DF;\r\n"
                        "(Top level:);\r\n"
                        "DS3 1 10;\r\n9 $ZanAuto3;\r\nC 4 T0 0;\r\nC 4 T0 50;\r\nDF;\r\n"
                        "DS4 1 10;\r\n9 $ZanAuto4;\r\nC 1 T0 0;\r\nC 1 T100 0;\r\nC 1 T200 0;\r\nDF;\r\n"
                        "DS2 1 10;\r\n9 MainSymbol;\r\n"
                        "(ZanArray 1 3 2 0 0 300 0 0 100 0 1072693248 0 0);\r\n"
                        "C 3 T0 0;\r\n"
                        "DF;\r\nC 2;\r\nE"),
              std::string::npos)
        << file;
}

// A reader that knows nothing of the array record places each element at the
// sum of its row and column lattice offsets; that must be where the editor
// draws and flattens it, also when the steps are not whole units.
TEST_F(CifWriter, LatticeDefinitionsAndFlatteningPlaceElementsWhereTheEditorDoes) {
    AddLayer(0);
    layout.AddSymbol(1, "e")->AddRectangle(0, 0, 2, 2, 0);
    const ArrayView array(Main().InsertArray(1, {-4, 6}, {11, 13}, {-7, -9}, 22, 6, 1.0, 0.0));
    const std::string file = Save();
    auto offsets = [&](int id) {
        std::vector<Point> out;
        const std::string head = "9 $ZanAuto" + std::to_string(id) + ";\r\n";
        std::istringstream in(file.substr(file.find(head) + head.size()));
        std::string c, callee, t;
        long long x, y;
        while (in >> c && c == "C" && in >> callee >> t) {
            x = std::stoll(t.substr(1));
            in >> y;
            in.ignore(3);  // ";\r\n"
            out.push_back({static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)});
        }
        return out;
    };
    const std::vector<Point> rows = offsets(3), columns = offsets(4);
    ASSERT_EQ(rows.size(), 6u) << file;
    ASSERT_EQ(columns.size(), 22u) << file;

    options.flatten = true;
    const std::vector<std::string> boxes = Statements(MainBody(Save()), 'B');
    ASSERT_EQ(boxes.size(), 22u * 6u);
    std::size_t k = 0;
    for (int j = 0; j < 6; ++j) {
        for (int i = 0; i < 22; ++i, ++k) {
            const TransformMatrix e = array.Element(i, j);
            EXPECT_EQ(e.tx, -4 + columns[i].X + rows[j].X) << i << "," << j;
            EXPECT_EQ(e.ty, 6 + columns[i].Y + rows[j].Y) << i << "," << j;
            EXPECT_EQ(boxes[k], "B 2 2 " + std::to_string(long(e.tx) + 1) + " " + std::to_string(long(e.ty) + 1))
                << i << "," << j;
        }
    }
    EXPECT_EQ(columns[11], (Point{8, 4})) << "11 x 15/22 and 11 x 7/22 are exactly 7.5 and 3.5";
}

TEST_F(CifWriter, MirroredRotatedArrayAndArraysOfNothing) {
    AddLayer(0);
    layout.AddSymbol(1, "e")->AddRectangle(0, 0, 10, 10, 0);
    Main().InsertArray(1, {0, 0}, {20, 0}, {0, 10}, 1, 1, -1.0, 90.0);
    Main().InsertArray(1, {0, 0}, {20, 0}, {0, 10}, 1, 1, 0.0, 0.0);  // magnification 0: not written
    const std::string file = Save();
    EXPECT_NE(file.find("9 $ZanAuto4;\r\nC 1 MY R0 30000 T0 0;\r\nDF;"), std::string::npos) << file;
    EXPECT_EQ(Count(file, "$ZanAuto"), 2u);
    EXPECT_EQ(Count(file, "(ZanArray"), 1u);
}

TEST_F(CifWriter, NoExtensionsWritesPlainStatementsAndReportsWhatWasLost) {
    AddLayer(0);
    const Point p[] = {{0, 0}, {10, 0}};
    Main().AddWire(p, 2, 4, static_cast<int>(EndStyle::Flat), 0);
    Main().AddRing(0, 0, 50, 4, 0);
    Main().AddRectangle(0, 0, 5, 3, 0);
    Main().AddText(0, 0, 0, "t", 10, LOGFONTA{}, 0);
    Main().vGuides = {5};
    options.noExtensions = true;
    ScopedMessageCapture messages;
    const std::string file = Save();
    EXPECT_EQ(Count(file, "(Zan"), Count(file, "(Zandor: ")) << "layer comments only\n" << file;
    EXPECT_EQ(file.find("(Layer names:)"), std::string::npos);
    EXPECT_EQ(MainBody(file).substr(0, 31), "L L0;\r\nW 4 0 0 10 0;\r\nW 4 0 -50");
    EXPECT_NE(file.find("B 5 3 2 1;"), std::string::npos);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0],
              (RecordedMessage{"The layout contains wires with flat or extended end style, which\n"
                               "cannot be stored without using special Zandor extensions!\n\n"
                               "These wires have been converted into wires with the default\n"
                               "round end style.\n",
                               "Error"}));
}

TEST_F(CifWriter, NoExtensionsWithAScaledCallStillWritesTheScale) {
    AddLayer(0);
    layout.AddSymbol(1, "a")->AddRectangle(0, 0, 10, 10, 0);
    Main().InsertSymbolCallMatrix(1, {0.5, 0, 0, 3, 0, 0});
    Main().InsertArray(1, {0, 0}, {20, 0}, {0, 20}, 1, 1, 2.0, 0.0);
    options.noExtensions = true;
    ScopedMessageCapture messages;
    const std::string file = Save();
    EXPECT_NE(file.find("C 1 S0.5 3 T0 0;"), std::string::npos) << file;
    EXPECT_NE(file.find("9 Symbol 4;\r\nC 1 S2 2 T0 0;"), std::string::npos) << file;
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].caption, "Error");
    EXPECT_TRUE(messages.messages[0].text.ends_with("The file still contains Zandor extensions!"));
}

TEST_F(CifWriter, SingleLayerExport) {
    AddLayer(1);
    AddLayer(3);
    layout.AddSymbol(1, "a")->AddRectangle(0, 0, 10, 10, 1);
    Main().AddRectangle(0, 0, 2, 2, 1);
    Main().AddGroup(0, 0, 1, 1);
    Main().AddRectangle(0, 0, 4, 4, 3);
    Main().RecordAt(10)[0] |= static_cast<Word>(kMemberBit);
    Main().InsertSymbolCall(1, 7, 8);
    Main().InsertArray(1, {0, 0}, {20, 0}, {0, 20}, 2, 1, 1.0, 0.0);
    const std::string file = Save(3);
    EXPECT_EQ(Count(file, "L L"), 2u) << file;  // the layer line and one selection
    EXPECT_NE(file.find("L L3; (Zandor: 3 Layer 3/"), std::string::npos);
    EXPECT_EQ(file.find("L L1"), std::string::npos);
    EXPECT_EQ(file.find("B 10 10"), std::string::npos);
    EXPECT_EQ(file.find("B 2 2"), std::string::npos);
    EXPECT_EQ(file.find("ZanGroup"), std::string::npos);
    EXPECT_NE(file.find("L L3;\r\nB 4 4 2 2;\r\nC 1 T7 8;\r\n(ZanArray "), std::string::npos) << file;
}

TEST_F(CifWriter, RingSegmentsAreLoweredTo199ForTheRestOfTheFile) {
    Settings().ringNumSegments = 300;
    AddLayer(0);
    const Word arcWidth = MakeArcWidthWord(10, 1, false);
    Main().AddArcWire(0, 0, 100, 0, 0, 100, arcWidth, 0);
    Main().AddRing(0, 0, 50, 4, 0);
    Main().AddArcWire(0, 0, 100, 0, 0, 100, arcWidth, 0);
    const Word* arc = Main().FirstRecord();
    const std::string body = MainBody(Save());
    const auto polygons = Statements(body, 'P');
    const auto wires = Statements(body, 'W');
    ASSERT_EQ(polygons.size(), 2u);
    ASSERT_EQ(wires.size(), 1u);
    EXPECT_EQ(PointsIn(polygons[0], 0), ArcWireOutline(arc, 300).size());
    EXPECT_EQ(PointsIn(wires[0], 1), 200u) << "199 segments and the bottom point again";
    EXPECT_EQ(PointsIn(polygons[1], 0), ArcWireOutline(arc, 199).size());
    EXPECT_NE(ArcWireOutline(arc, 300).size(), ArcWireOutline(arc, 199).size());
    EXPECT_TRUE(wires[0].starts_with("W 4 0 -50 ")) << "starts at the bottom";
    EXPECT_TRUE(wires[0].ends_with(" 0 -50"));
}

TEST_F(CifWriter, FlattenWritesOnlyTheMainSymbol) {
    AddLayer(0);
    SymbolDescription* a = layout.AddSymbol(1, "a");
    a->AddRectangle(0, 0, 10, 3, 0);
    a->AddCircle(0, 0, 5, 0);
    SymbolDescription* b = layout.AddSymbol(2, "b");
    b->InsertSymbolCall(1, 1, 0);
    Main().InsertSymbolCallMatrix(2, {0, 1, -1, 0, 100, 0});  // turned by 90 degrees
    Main().InsertSymbolCallMatrix(1, {1, 1, -1, 1, 0, 0});    // 45 degrees and scaled
    Main().InsertArray(1, {0, 0}, {40, 0}, {0, 40}, 2, 1, 1.0, 0.0);
    Main().AddText(0, 0, 0, "x", 10, LOGFONTA{}, 0);
    options.flatten = true;
    const std::string file = Save();
    EXPECT_EQ(Count(file, "DS"), 1u) << "no lattice definitions either\n" << file;
    EXPECT_EQ(MainBody(file),
              "L L0;\r\n"
              // a inside b under the turn: (1,0)-(11,3) becomes (100,1)-(97,11)
              "(ZanBox 100 1 97 11);\r\nB 3 10 98 6;\r\n"
              "R 10 100 1;\r\n"
              // not axis parallel: a closed polygon; the circle stays round (5 * sqrt 2)
              "P 0 0 10 10 7 13 -3 3 0 0;\r\n"
              "R 14 0 0;\r\n"
              "(ZanBox 0 0 10 3);\r\nB 10 3 5 1;\r\nR 10 0 0;\r\n"
              "(ZanBox 20 0 30 3);\r\nB 10 3 25 1;\r\nR 10 20 0;\r\n");
    EXPECT_TRUE(file.ends_with("DF;\r\nC 3;\r\nE"));
}

// Flattened array elements go out row by row, as files have always had
// them, and boxes become their corners rounded half away from zero, as
// drawing and hit testing see them.
TEST_F(CifWriter, FlattenWritesArrayElementsRowByRowAndBoxCornersAsDrawn) {
    AddLayer(0);
    SymbolDescription* a = layout.AddSymbol(1, "a");
    a->AddRectangle(0, 0, 10, 4, 0);
    Main().InsertArray(1, {0, 0}, {80, 0}, {0, 80}, 2, 2, 1.0, 0.0);
    Word* box = Main().AddBox(0, 0, 3, 1, 0, 0);  // corners at (+-1.5, +-0.5)
    ASSERT_NE(box, nullptr);
    const std::vector<Point> drawn = {{-2, 1}, {-2, -1}, {2, -1}, {2, 1}};
    EXPECT_EQ(BoxView(box).Corners(), drawn);
    options.flatten = true;
    EXPECT_EQ(MainBody(Save()),
              "L L0;\r\n"
              "B 10 4 5 2;\r\nB 10 4 45 2;\r\nB 10 4 5 42;\r\nB 10 4 45 42;\r\n"
              "P -2 1 -2 -1 2 -1 2 1 -2 1;\r\n");
}

TEST_F(CifWriter, FlattenStopsAtACycleOfCalls) {
    AddLayer(0);
    SymbolDescription* a = layout.AddSymbol(1, "a");
    SymbolDescription* b = layout.AddSymbol(2, "b");
    a->AddRectangle(0, 0, 2, 2, 0);
    a->InsertSymbolCall(2, 0, 0);
    // The model refuses the call that closes the cycle; a damaged file can
    // still leave one, so it is made by hand.
    Word* r = b->AppendRecord(kSymbolCallLength);
    std::memcpy(r, a->RecordAt(kRectangleLength), sizeof(Word) * kSymbolCallLength);
    r[5] = 1;
    Main().InsertSymbolCall(1, 0, 0);
    options.flatten = true;
    EXPECT_EQ(Count(MainBody(Save()), "B 2 2 1 1;"), 1u);
}

TEST_F(CifWriter, RemoveEmptyAndUnusedDefinitions) {
    AddLayer(0);
    layout.AddSymbol(1, "empty");
    layout.AddSymbol(2, "unused")->AddRectangle(0, 0, 2, 2, 0);
    layout.AddSymbol(3, "used")->AddRectangle(0, 0, 2, 2, 0);
    layout.AddSymbol(4, "calls nothing")->InsertSymbolCall(99, 0, 0);
    Main().InsertSymbolCall(1, 0, 0);
    Main().InsertSymbolCall(3, 0, 0);
    Main().InsertSymbolCall(4, 0, 0);
    Main().InsertArray(1, {0, 0}, {20, 0}, {0, 20}, 2, 1, 1.0, 0.0);

    struct Case {
        bool removeEmpty, removeUnused;
        std::vector<std::string> present, absent;
    };
    const Case cases[] = {
        {false, false, {"9 empty;", "9 unused;", "9 used;", "9 calls~nothing;", "C 1 T0 0;", "$ZanAuto"}, {}},
        {true,
         false,
         {"9 unused;", "9 used;"},
         {"9 empty;", "9 calls~nothing;", "C 1 T", "C 4 T", "$ZanAuto", "ZanArray"}},
        {false, true, {"9 empty;", "9 used;", "9 calls~nothing;"}, {"9 unused;"}},
        {true, true, {"9 used;"}, {"9 empty;", "9 unused;", "9 calls~nothing;"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "removeEmpty " << c.removeEmpty << " removeUnused " << c.removeUnused);
        options.removeEmpty = c.removeEmpty;
        options.removeUnused = c.removeUnused;
        const std::string file = Save();
        for (const auto& text : c.present) EXPECT_NE(file.find(text), std::string::npos) << text << "\n" << file;
        for (const auto& text : c.absent) EXPECT_EQ(file.find(text), std::string::npos) << text << "\n" << file;
        EXPECT_NE(file.find("C 3 T0 0;"), std::string::npos);
    }
}

TEST_F(CifWriter, GuidelinesInGroupsOfEight) {
    Main().vGuides = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    Main().hGuides = {-4};
    EXPECT_NE(Save().find("9 MainSymbol;\r\n"
                          "(ZanVGuide 8 1 2 3 4 5 6 7 8 );\r\n"
                          "(ZanVGuide 1 9 );\r\n"
                          "(ZanHGuide 1 -4 );\r\n"
                          "DF;"),
              std::string::npos);
}

TEST_F(CifWriter, AFileThatCannotBeCreatedFailsSilently) {
    ScopedMessageCapture messages;
    const fs::path blocker = dir / "plain-file";
    std::ofstream(blocker) << "x";
    EXPECT_FALSE(SaveCifFile(layout, (blocker / "out.cif").string()).Write());
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(layout.MainSymbol()->Id(), -1);

    if (::geteuid() != 0) {  // permissions do not stop root
        const fs::path locked = dir / "locked";
        fs::create_directories(locked);
        std::ofstream(locked / "good.cif") << "good";
        fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(SaveCifFile(layout, (locked / "good.cif").string()).Write());
        EXPECT_EQ(Slurp((locked / "good.cif").string()), "good");
        EXPECT_TRUE(messages.messages.empty());
    }
}

TEST_F(CifWriter, AFailedWriteKeepsTheOldFile) {
    AddLayer(0);
    for (int k = 0; k < 2000; ++k) Main().AddRectangle(k, 0, k + 10, 7, 0);
    const std::string name = (dir / "good.cif").string();
    std::ofstream(name) << "good";
    fs::permissions(name, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    // A file size limit makes the writes fail part way, as a full disk would.
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &small);
    bool result;
    {
        ScopedMessageCapture messages;
        result = SaveCifFile(layout, name).Write();
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previousHandler);
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages[0], (RecordedMessage{"Unable to save file!", "Error"}));
    }
    EXPECT_FALSE(result);
    EXPECT_EQ(Slurp(name), "good");
    EXPECT_EQ(layout.MainSymbol()->Id(), -1);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1) << "no temporary file left";

    // A successful save replaces the file and keeps its permissions.
    ASSERT_TRUE(SaveCifFile(layout, name).Write());
    EXPECT_TRUE(Slurp(name).starts_with("(CIF written by Zandor 3.2);"));
    EXPECT_EQ(fs::status(name).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1);
}

}  // namespace
