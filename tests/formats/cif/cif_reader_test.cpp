// The CIF reader and the faults mended in it: box and round-flash
// rounding, ZanBox, recursive calls, overflowing numbers and oversized counts.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "formats/cif/LoadCifFile.h"
#include "model/Geometry.h"
#include "model/Layout.h"
#include "model/WordStorage.h"
#include "platform/headless/RecordingMessages.h"

using namespace zandor;
using platform::headless::ScopedMessageCapture;
using platform::headless::ScopedProgressCapture;

namespace {

std::vector<Word*> Records(SymbolDescription* s) {
    std::vector<Word*> out;
    if (!s) return out;
    for (Word* r = s->FirstRecord(); r; r = s->NextRecord(r)) out.push_back(r);
    return out;
}

Rect Corners(const Word* r) { return {r[1], r[2], r[3], r[4]}; }

class CifReader : public ::testing::Test {
protected:
    void TearDown() override {
        if (!path.empty()) std::filesystem::remove(path);
    }

    // Writes text to a temporary file and reads it into the cleared layout.
    bool Read(const std::string& text) {
        static int counter = 0;
        path = (std::filesystem::temp_directory_path() /
                ("zandor_cif_reader_" + std::to_string(getpid()) + "_" + std::to_string(++counter) + ".cif"))
                   .string();
        std::ofstream(path, std::ios::binary) << text;
        layout.Clear();
        messages.messages.clear();
        return LoadCifFile(layout, path).Read();
    }

    bool ReadFixture(const std::string& name) {
        layout.Clear();
        messages.messages.clear();
        return LoadCifFile(layout, "data/cif/reader/" + name).Read();
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const auto& m : messages.messages) {
            EXPECT_EQ(m.caption, "Error");
            out.push_back(m.text);
        }
        return out;
    }

    SymbolDescription* Main() { return layout.MainSymbol(); }
    SymbolDescription* Symbol(std::int32_t id) { return layout.FindSymbol(id); }

    // The only record of a symbol.
    Word* Only(SymbolDescription* s) {
        const auto records = Records(s);
        EXPECT_EQ(records.size(), 1u);
        return records.empty() ? nullptr : records.front();
    }

    Layout layout;
    ScopedMessageCapture messages;
    std::string path;
};

// ---------------------------------------------------------------------------
// Plain CIF

TEST_F(CifReader, FileThatCannotBeOpenedFailsSilently) {
    layout.Clear();
    EXPECT_FALSE(LoadCifFile(layout, "/nonexistent/dir/file.cif").Read());
    EXPECT_FALSE(LoadCifFile(layout, std::filesystem::temp_directory_path().string()).Read());
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(CifReader, PlainCifFixture) {
    ASSERT_TRUE(ReadFixture("plain.cif"));
    EXPECT_TRUE(Texts().empty());
    ASSERT_EQ(layout.Symbols().size(), 3u);

    SymbolDescription* inv = Symbol(1);
    ASSERT_NE(inv, nullptr);
    EXPECT_EQ(inv->Name(), "inv");
    EXPECT_EQ(layout.FindLayerByShortName("NM"), 0) << "unknown layers go to the lowest free slot";
    EXPECT_EQ(layout.FindLayerByShortName("NP"), 1);
    EXPECT_EQ(layout.Layer(0)->name, "NM");
    EXPECT_EQ(layout.Layer(0)->fillColor, DefaultLayerColor(0));
    const auto r = Records(inv);
    ASSERT_EQ(r.size(), 4u) << "the 94 label is a user extension, skipped";
    // DS 1 1 2: scale 5.
    EXPECT_EQ(RecordKind(r[0]), ObjectKind::Rectangle);
    EXPECT_EQ(RecordLayer(r[0]), 0);
    EXPECT_EQ(Corners(r[0]), (Rect{0, 100, 200, 140}));
    EXPECT_EQ(RecordKind(r[1]), ObjectKind::Polygon);
    EXPECT_EQ(RecordLayer(r[1]), 1);
    ASSERT_EQ(PolygonNodeCount(r[1]), 4);
    EXPECT_EQ(PolygonNodes(r[1])[2], (Point{50, 50}));
    EXPECT_EQ(RecordKind(r[2]), ObjectKind::Wire);
    EXPECT_EQ(WidthOf(r[2][5]), 20);
    EXPECT_EQ(WireEndStyle(r[2][5]), 0);
    ASSERT_EQ(WireNodeCount(r[2]), 3);
    EXPECT_EQ(WireNodes(r[2])[2], (Point{100, 100}));
    EXPECT_EQ(RecordKind(r[3]), ObjectKind::Circle);
    EXPECT_EQ(r[3][1], 25);
    EXPECT_EQ(r[3][3], 28) << "diameter 11 at scale 5: 27.5 rounded away from zero";

    SymbolDescription* s2 = Symbol(2);
    ASSERT_NE(s2, nullptr);
    EXPECT_EQ(s2->Name(), "Symbol2");
    const auto c = Records(s2);
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(Corners(c[0]), (Rect{48000, 47000, 52000, 51000})) << "DS 2 200 4: scale 500";
    EXPECT_EQ(ReadMatrix(c[1] + kCallMatrixWord), (TransformMatrix{1, 0, 0, 1, 5000, 10000}));
    EXPECT_EQ(ReadMatrix(c[2] + kCallMatrixWord), (TransformMatrix{0, -1, -1, 0, 2500, 2500}));
    EXPECT_EQ(s2->Children(), (std::vector<std::int32_t>{1}));

    const auto top = Records(Main());
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0][5], 2);
    EXPECT_EQ(ReadMatrix(top[0] + kCallMatrixWord), TransformMatrix{});
}

TEST_F(CifReader, ScaleOutsideAndInsideDefinitions) {
    struct Case {
        const char* header;
        Rect expected;
    };
    const Case cases[] = {
        {"", {-50, -20, 50, 20}},                     // top level: x 10
        {"DS 5 1 10; 9 cell;", {-5, -2, 5, 2}},       // x 1
        {"DS 5 2 1; 9 cell;", {-100, -40, 100, 40}},  // x 20
        {"DS 5 1 1; 9 cell;", {-50, -20, 50, 20}},    // x 10
        {"DS 5 -1 10; 9 cell;", {-5, -2, 5, 2}},      // x -1, corners sorted
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        ASSERT_TRUE(Read(std::string(c.header) + "L L1; B 10 4 0 0;" + (*c.header ? "DF;" : "") + "E"));
        EXPECT_TRUE(Texts().empty());
        SymbolDescription* s = *c.header ? Symbol(5) : Main();
        ASSERT_NE(s, nullptr);
        const Word* r = Only(s);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(Corners(r), c.expected);
    }
}

TEST_F(CifReader, DefinitionFiveNamedMainSymbolCalledAtTopLevel) {
    ASSERT_TRUE(Read("DS 5 1 10; 9 MainSymbol; L L1; B 10 4 0 0; DF; C 5; E"));
    EXPECT_TRUE(Texts().empty());
    ASSERT_NE(Symbol(5), nullptr);
    EXPECT_EQ(Symbol(5)->Name(), "MainSymbol");
    EXPECT_EQ(Main()->Name(), "MainSymbol_1") << "the main symbol yields its name";
    const Word* call = Only(Main());
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call[5], 5);
    layout.ChooseMainSymbol();
    EXPECT_EQ(Main()->Name(), "MainSymbol");
    EXPECT_EQ(Main()->Id(), -1);
    EXPECT_EQ(layout.Symbols().size(), 1u);
}

TEST_F(CifReader, BoxCornersAreRoundedOnceInTheScaledDomain) {
    // Mended: lengths used to be halved in whole CIF units before scaling, so B
    // 11 4 0 0 became 100 units long at scale 10 instead of 110.
    struct Case {
        const char* header;
        const char* box;
        Rect expected;
    };
    const Case cases[] = {
        {"", "B 10 4 0 0", {-50, -20, 50, 20}},        {"", "B 11 4 0 0", {-55, -20, 55, 20}},
        {"", "B 11 5 1 1", {-45, -15, 65, 35}},        {"", "B 3 3 -1 -1", {-25, -25, 5, 5}},
        {"DS 1 1 10;", "B 11 5 1 1", {-5, -2, 7, 4}},   // -4.5 -> -5, 6.5 -> 7, -1.5 -> -2, 3.5 -> 4
        {"DS 1 1 10;", "B 3 3 -1 -1", {-3, -3, 1, 1}},  // -2.5 -> -3, 0.5 -> 1
        {"DS 1 1 10;", "B 5 3 2 1", {-1, -1, 5, 3}},    // the writer's odd corner sums: why ZanBox exists
        {"DS 1 1 4;", "B 3 1 0 0", {-4, -1, 4, 1}},     // scale 2.5: -3.75 -> -4, 1.25 -> 1
        {"DS 1 1 3;", "B 1 1 0 0", {-2, -2, 2, 2}},     // scale 10/3: 1.666 -> 2
        {"", "B 10 4 0 0 1 0", {-50, -20, 50, 20}},     // direction along x: still a rectangle
        {"", "B 10 4 0 0 -1 0", {-50, -20, 50, 20}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.header) + c.box);
        ASSERT_TRUE(Read(std::string(c.header) + "L L1;" + c.box + ";" + (*c.header ? "DF;" : "") + "E"));
        EXPECT_TRUE(Texts().empty());
        const Word* r = Only(*c.header ? Symbol(1) : Main());
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(RecordKind(r), ObjectKind::Rectangle);
        EXPECT_EQ(Corners(r), c.expected);
    }
}

TEST_F(CifReader, BoxWithDirectionAndTheOldDialectsExchangingLengthAndWidth) {
    struct Case {
        const char* marker;
        std::int32_t length, width;
    };
    const Case cases[] = {
        {"", 100, 40},
        {"(CIF written by Zandor 3.2);", 100, 40},
        {"(CIF written by Tremolvanti Pro);", 40, 100},      // dialect 200
        {"(CIF written by Tremolvanti Pro 0.1);", 40, 100},  // dialect 210
        {"(CIF written by Tremolvanti Pro 0.2);", 100, 40},  // dialect 220
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.marker);
        ASSERT_TRUE(Read(std::string(c.marker) + "L L1; B 10 4 3 -2 0 1; E"));
        EXPECT_TRUE(Texts().empty());
        const Word* r = Only(Main());
        ASSERT_NE(r, nullptr);
        ASSERT_EQ(RecordKind(r), ObjectKind::Box);
        EXPECT_EQ(r[1], 30);
        EXPECT_EQ(r[2], -20);
        EXPECT_EQ(r[3], c.length);
        EXPECT_EQ(r[4], c.width);
        EXPECT_EQ(r[5], 90000);
    }
    ASSERT_TRUE(Read("L L1; B 10 4 0 0 30000 -30000; E"));
    EXPECT_EQ(Only(Main())[5], -45000);
}

TEST_F(CifReader, BoxMessages) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"B 10 4 0 0;", "Missing layer specification.\nStatement: 1\nB 10 4 0 0"},
        {"L L1; B;", "Unexpected end of box statement# 2\nLength of box expected"},
        {"L L1; B 10;", "Unexpected end of box statement# 2\nWidth of box expected"},
        {"L L1; B 10 4;", "Unexpected end of box statement# 2\nX coordinate of box expected"},
        {"L L1; B 10 4 0;", "Unexpected end of box statement# 2\nX coordinate of box expected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(Read(c.text));
        EXPECT_EQ(Texts(), (std::vector<std::string>{c.message}));
        EXPECT_EQ(Main()->objectCount, 0);
    }
}

// ---------------------------------------------------------------------------
// ZanBox: the exact rectangle of odd corner sums

TEST_F(CifReader, ZanBoxRestoresTheExactCornersAndSkipsItsB) {
    ASSERT_TRUE(
        Read("(CIF written by Zandor 3.2);\r\nDS 1 1 10;\r\n9 a;\r\nL L1;\r\n(ZanBox 0 0 5 3);\r\n"
             "B 5 3 2 1;\r\nDF;\r\nE"));
    EXPECT_TRUE(Texts().empty());
    const Word* r = Only(Symbol(1));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(RecordKind(r), ObjectKind::Rectangle);
    EXPECT_EQ(Corners(r), (Rect{0, 0, 5, 3}));

    // Database units: not scaled at the top level either; corners sorted.
    ASSERT_TRUE(Read("L L1; (ZanBox 5 3 -1 -2); B 6 5 2 0; E"));
    EXPECT_EQ(Corners(Only(Main())), (Rect{-1, -2, 5, 3}));

    // Only a B statement right after it is the fallback.
    ASSERT_TRUE(Read("L L1; (ZanBox 0 0 5 3); P 0 0 1 0 1 1; B 2 2 0 0; E"));
    EXPECT_EQ(Records(Main()).size(), 3u);
}

TEST_F(CifReader, ZanBoxMessages) {
    struct Case {
        const char* record;
        const char* message;
        std::size_t records;  // the B fallback is read when the record is incomplete
    };
    const Case cases[] = {
        {"(ZanBox);", "Unexpected end of box statement# 2\nX coordinate of box expected", 1},
        {"(ZanBox 1);", "Unexpected end of box statement# 2\nY coordinate of box expected", 1},
        {"(ZanBox 1 2);", "Unexpected end of box statement# 2\nX coordinate of box expected", 1},
        {"(ZanBox 1 2 3);", "Unexpected end of box statement# 2\nY coordinate of box expected", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record);
        ASSERT_TRUE(Read(std::string("L L1;") + c.record + "B 6 5 2 0; E"));
        EXPECT_EQ(Texts(), (std::vector<std::string>{c.message}));
        EXPECT_EQ(Records(Main()).size(), c.records);
    }
    // Without a layer: one message, and the fallback B (which would report it
    // again) is skipped.
    ASSERT_TRUE(Read("(ZanBox 0 0 5 3); B 5 3 2 1; E"));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Missing layer specification.\nStatement: 1\nZanBox 0 0 5 3"}));
    EXPECT_EQ(Main()->objectCount, 0);
}

// ---------------------------------------------------------------------------
// Round flashes and rings

TEST_F(CifReader, RoundFlashRadius) {
    // Mended like the box: the diameter is halved in the scaled domain.
    struct Case {
        const char* text;
        std::int32_t radius, x, y;
    };
    const Case cases[] = {
        {"L L1; R 11 1 2; E", 55, 10, 20},
        {"L L1; R 10 0 0; E", 50, 0, 0},
        {"DS 1 1 10; L L1; R 11 1 2; DF; E", 6, 1, 2},                        // 5.5 -> 6
        {"(CIF written by Tremolvanti Pro);L L1; R 11 1 2; E", 110, 10, 20},  // dialect 200: a radius
        {"(CIF written by Zandor 3.2);DS 1 1 10;L L1; R 11 1 2; DF; E", 6, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(Read(c.text));
        EXPECT_TRUE(Texts().empty());
        SymbolDescription* s = Symbol(1) ? Symbol(1) : Main();
        const Word* r = Only(s);
        ASSERT_NE(r, nullptr);
        ASSERT_EQ(RecordKind(r), ObjectKind::Circle);
        EXPECT_EQ(r[1], c.x);
        EXPECT_EQ(r[2], c.y);
        EXPECT_EQ(r[3], c.radius);
    }
}

TEST_F(CifReader, RoundFlashPairsBecomeRingsInOldDialectsOnly) {
    const std::string pair = "L L1; R 20 1 1; R 10 1 1; E";
    // 0 < dialect < 240: radius |r1 + r2| x scale / 2, width |r1 - r2| x scale / 2 with
    // r = diameter / 2, as the old dialect has it.
    ASSERT_TRUE(Read("(CIF written by Tremolvanti Pro 0.1);" + pair));
    EXPECT_TRUE(Texts().empty());
    const Word* ring = Only(Main());
    ASSERT_NE(ring, nullptr);
    ASSERT_EQ(RecordKind(ring), ObjectKind::Ring);
    EXPECT_EQ(ring[1], 10);
    EXPECT_EQ(ring[2], 10);
    EXPECT_EQ(ring[3], 75);
    EXPECT_EQ(ring[4], 25);

    for (const char* marker : {"", "(CIF written by Zandor 3.2);", "(CIF written by Tremolvanti Pro 0.4);"}) {
        SCOPED_TRACE(marker);
        ASSERT_TRUE(Read(marker + pair));
        const auto r = Records(Main());
        ASSERT_EQ(r.size(), 2u);
        EXPECT_EQ(RecordKind(r[0]), ObjectKind::Circle);
        EXPECT_EQ(r[0][3], 100);
        EXPECT_EQ(RecordKind(r[1]), ObjectKind::Circle);
        EXPECT_EQ(r[1][3], 50);
    }

    // Different centres, a third flash, and a flash held back before other statements.
    ASSERT_TRUE(
        Read("(CIF written by Tremolvanti Pro 0.1);L L1; R 20 1 1; R 10 2 1; R 8 2 1; R 6 2 1;"
             "B 2 2 0 0; R 4 0 0; DF; E"));
    const auto r = Records(Main());
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(RecordKind(r[0]), ObjectKind::Circle);
    EXPECT_EQ(RecordKind(r[1]), ObjectKind::Ring);
    EXPECT_EQ(RecordKind(r[2]), ObjectKind::Circle);
    EXPECT_EQ(r[2][3], 30);
    EXPECT_EQ(RecordKind(r[3]), ObjectKind::Rectangle);
    EXPECT_EQ(RecordKind(r[4]), ObjectKind::Circle) << "held back until the DF";
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Unexpected DF statement.\nStatement: 9"}));
}

TEST_F(CifReader, RoundFlashMessages) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"R 10 0 0;", "Missing layer specification.\nStatement: 1\nR 10 0 0"},
        {"L L1; R;", "Unexpected end of RoundFlash statement# 2\nRadius of roundflash expected"},
        {"L L1; R 10;", "Unexpected end of RoundFlash statement# 2\nX coordinate of roundflash expected"},
        {"L L1; R 10 0;", "Unexpected end of RoundFlash statement# 2\nY coordinate of roundflash expected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(Read(c.text));
        EXPECT_EQ(Texts(), (std::vector<std::string>{c.message}));
    }
}

// ---------------------------------------------------------------------------
// Polygons and wires

TEST_F(CifReader, PolygonAndWireMessages) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"L L1; P 0 0 1 1 2;", "Unexpected end of polygon statement# 2\nCannot read nodes"},
        {"L L1; W;", "Unexpected end of wire statement# 2\nWidth of wire expected"},
        {"L L1; W 5 0 0 1;", "Unexpected end of wire statement# 2\nCannot read nodes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(Read(c.text));
        EXPECT_EQ(Texts(), (std::vector<std::string>{c.message}));
        EXPECT_EQ(Main()->objectCount, 0);
    }
}

TEST_F(CifReader, NumbersAreSeparatedByAnyOtherCharacters) {
    ASSERT_TRUE(Read("L L1; P 0,0 10,0 10-10 0 ,10 ; W 2 0:0/5 5; E"));
    EXPECT_TRUE(Texts().empty());
    const auto r = Records(Main());
    ASSERT_EQ(r.size(), 2u);
    ASSERT_EQ(PolygonNodeCount(r[0]), 4);
    EXPECT_EQ(PolygonNodes(r[0])[2], (Point{100, -100}));
    EXPECT_EQ(PolygonNodes(r[0])[3], (Point{0, 100}));
    EXPECT_EQ(WireNodes(r[1])[1], (Point{50, 50}));
}

// ---------------------------------------------------------------------------
// Calls

TEST_F(CifReader, CallOperationsAppliedLeftToRight) {
    struct Case {
        const char* ops;
        TransformMatrix expected;
    };
    const Case cases[] = {
        {"", {1, 0, 0, 1, 0, 0}},
        {"T 1 2", {1, 0, 0, 1, 10, 20}},
        {"T1,2 T3,4", {1, 0, 0, 1, 40, 60}},
        {"MX T 1 2", {-1, 0, 0, 1, 10, 20}},
        {"T 1 2 MX", {-1, 0, 0, 1, -10, 20}},
        {"T 1 2 M Y", {1, 0, 0, -1, 10, -20}},
        {"R 0 1", {0, 1, -1, 0, 0, 0}},
        {"T 1 0 R 0 5", {0, 1, -1, 0, 0, 10}},
        {"R -1 0", {-1, 0, 0, -1, 0, 0}},
        {"R 0 0", {1, 0, 0, 1, 0, 0}},  // no direction: no rotation
        {"S 2 3", {2, 0, 0, 3, 0, 0}},
        {"T 1 1 S2,0.5", {2, 0, 0, 0.5, 20, 5}},
        {"S 1e1 -2.5", {10, 0, 0, -2.5, 0, 0}},
        {"MX R 0 30000 T 3 4", {0, -1, -1, 0, 30, 40}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ops);
        ASSERT_TRUE(Read(std::string("C 7 ") + c.ops + "; E"));
        EXPECT_TRUE(Texts().empty());
        const Word* r = Only(Main());
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(RecordKind(r), ObjectKind::SymbolCall);
        EXPECT_EQ(r[5], 7);
        const TransformMatrix m = ReadMatrix(r + kCallMatrixWord);
        EXPECT_NEAR(m.a, c.expected.a, 1e-12);
        EXPECT_NEAR(m.b, c.expected.b, 1e-12);
        EXPECT_NEAR(m.c, c.expected.c, 1e-12);
        EXPECT_NEAR(m.d, c.expected.d, 1e-12);
        EXPECT_NEAR(m.tx, c.expected.tx, 1e-9);
        EXPECT_NEAR(m.ty, c.expected.ty, 1e-9);
    }
}

TEST_F(CifReader, CallMatrixKeepsZeroPositive) {
    // Records compare word by word: a mirrored 0.0 must not become -0.0.
    ASSERT_TRUE(Read("C 7 MX MY R 0 1 R 0 -1; E"));
    const Word* r = Only(Main());
    ASSERT_NE(r, nullptr);
    for (int w = kCallMatrixWord; w < kCallMatrixWord + 12; w += 2) {
        const double v = ReadDouble(r + w);
        EXPECT_FALSE(v == 0 && std::signbit(v)) << "word " << w;
    }
    EXPECT_EQ(ReadMatrix(r + kCallMatrixWord), (TransformMatrix{-1, 0, 0, -1, 0, 0}));
}

TEST_F(CifReader, CallMessages) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"C;", "Unexpected end of call statement# 1\nSymbol index expected"},
        {"C T 1 2;", "Unexpected end of call statement# 1\nSymbol index expected"},
        {"C 1 T;", "Unexpected end of symbol call statement# 1\nX coordinate of translation expected"},
        {"C 1 T 5;", "Unexpected end of symbol call statement# 1\nX coordinate of translation expected"},
        {"C 1 T 5 MX;", "Unexpected end of symbol call statement# 1\nX coordinate of translation expected"},
        {"C 1 M Z;", "Unexpected end of symbol call statement# 1\nMirror direction X or Y expected"},
        {"C 1 M;", "Unexpected end of symbol call statement# 1\nMirror direction X or Y expected"},
        {"C 1 S;", "Unexpected end of symbol call statement# 1\nX factor for scaling expected"},
        {"C 1 S 2;", "Unexpected end of symbol call statement# 1\nY factor for scaling expected"},
        {"C 1 S 2 inf;", "Unexpected end of symbol call statement# 1\nY factor for scaling expected"},
        {"C 1 R;", "Unexpected end of symbol call statement# 1\nX coordinate for rotation expected"},
        {"C 1 R 1;", "Unexpected end of symbol call statement# 1\nY coordinate for rotation expected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(Read(c.text));
        EXPECT_EQ(Texts(), (std::vector<std::string>{c.message}));
        EXPECT_EQ(Main()->objectCount, 0);
    }
}

TEST_F(CifReader, CallOfASymbolDefinedLaterKeepsItsId) {
    ASSERT_TRUE(Read("C 7 T 1 1; DS 7 1 10; 9 late; L L1; B 2 2 0 0; DF; C 7; E"));
    EXPECT_TRUE(Texts().empty());
    const auto r = Records(Main());
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0][5], 7);
    EXPECT_EQ(r[1][5], 7);
    ASSERT_NE(Symbol(7), nullptr);
    EXPECT_EQ(Symbol(7)->Name(), "late");
    EXPECT_EQ(Main()->Children(), (std::vector<std::int32_t>{7}));
    EXPECT_EQ(Main()->callCount, 2);
}

// ---------------------------------------------------------------------------
// Recursive calls

TEST_F(CifReader, RecursiveCallsAreRefusedWithCountedMessages) {
    const std::string refused = "Cannot insert a parent symbol into one of it's child symbols!";
    struct Case {
        const char* text;
        std::size_t messages;
    };
    const Case cases[] = {
        {"DS 1 1 10; C 1; DF; E", 1},                      // itself
        {"DS 1 1 10; C 2; DF; DS 2 1 10; C 1; DF; E", 1},  // 1 -> 2 -> 1
        {"DS 1 1 10; C 2; DF; DS 2 1 10; C 3; DF; DS 3 1 10; C 1; C 1; DF; E", 2},
        {"C 1; DS 1 1 10; C -1; DF; E", 1},  // the main symbol
        {"DS 1 1 10; 9 a; (ZanArray 1 2 2 0 0 10 0 0 10 0 1072693248 0 0); C 9; DF; E", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(Read(c.text));
        EXPECT_EQ(Texts(), std::vector<std::string>(c.messages, refused));
        for (const auto& s : layout.Symbols()) {
            EXPECT_FALSE(s->CallsSymbol(s->Id())) << s->Name();
        }
    }
    // Counted with the other messages of the file.
    std::string text;
    for (int i = 0; i < 12; ++i) text += "DS 1 1 10; C 1; DF;";
    ASSERT_TRUE(Read(text + "E"));
    EXPECT_EQ(Texts(), std::vector<std::string>(9, refused));
}

TEST_F(CifReader, CyclesLeftInTheLayoutAreBrokenAfterReading) {
    // The reader's refusal leaves no cycle in a file; a layout that holds one
    // (made behind the model's back) has it broken after reading, with one message.
    layout.Clear();
    SymbolDescription* a = layout.AddSymbol(1, "a");
    SymbolDescription* b = layout.AddSymbol(2, "b");
    ASSERT_NE(layout.MainSymbol()->InsertSymbolCall(1, 0, 0), nullptr);
    ASSERT_NE(a->InsertSymbolCall(2, 0, 0), nullptr);
    Word* member = b->AddRectangle(0, 0, 1, 1, 0);
    ASSERT_NE(member, nullptr);
    ASSERT_NE(b->AddGroup(0, 0, 2, 2), nullptr);
    Word* call = b->InsertSymbolCall(9, 0, 0);
    SetMemberBit(call, true);
    call[5] = 1;  // b -> a: a cycle a -> b -> a
    member = b->AddRectangle(0, 0, 1, 1, 0);
    SetMemberBit(member, true);
    ASSERT_NE(b->InsertSymbolCall(9, 0, 0), nullptr);
    Records(b).back()[5] = 2;  // b -> b
    b->RebuildChildren();
    ASSERT_TRUE(b->CallsSymbol(2));

    const std::string file =
        (std::filesystem::temp_directory_path() / ("zandor_cif_cycle_" + std::to_string(getpid()) + ".cif")).string();
    std::ofstream(file, std::ios::binary) << "E";
    ASSERT_TRUE(LoadCifFile(layout, file).Read());
    std::filesystem::remove(file);

    EXPECT_EQ(Texts(), (std::vector<std::string>{"The file contains recursive symbol calls; 2 call(s) that would "
                                                 "make a symbol contain itself were removed."}));
    const auto r = Records(b);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(RecordKind(r[0]), ObjectKind::Rectangle);
    EXPECT_EQ(RecordKind(r[1]), ObjectKind::Group);
    EXPECT_EQ(r[1][3], 1) << "the group lost its member call";
    EXPECT_EQ(r[1][4], 1);
    EXPECT_TRUE(IsMember(r[2]));
    EXPECT_TRUE(b->Children().empty());
    EXPECT_EQ(b->callCount, 0);
    EXPECT_EQ(a->Children(), (std::vector<std::int32_t>{2})) << "the call from the main symbol's side stays";
    EXPECT_FALSE(a->CallsSymbol(1));
}

// ---------------------------------------------------------------------------
// Definitions and names

TEST_F(CifReader, DefinitionMessages) {
    struct Case {
        const char* text;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"DS; E", {"Missing symbol number in DS statement# 1"}},
        {"DS 3; E", {}},
        {"DS 3 1; E", {"Missing scaling factor in DS statement# 1"}},
        {"DS 3 0 1; E", {"Invalid scaling factor in DS statement# 1"}},
        {"DS 3 1 0; E", {"Invalid scaling factor in DS statement# 1"}},
        {"DS 1 1 10; DS 2 1 10; DF; E", {"Nested symbol definition.\nStatement: 2\nDS 2 1 10"}},
        {"DF; E", {"Unexpected DF statement.\nStatement: 1"}},
        {"DD 1; E", {"Syntax error.\nStatement: 1\nDD 1"}},
        {"X 1 2; Dx; E", {"Syntax error.\nStatement: 1\nX 1 2", "Syntax error.\nStatement: 2\nDx"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(Read(c.text));
        EXPECT_EQ(Texts(), c.messages);
    }
    // A definition that does not start leaves the objects in the current symbol.
    ASSERT_TRUE(Read("DS 3; L L1; B 2 2 0 0; E"));
    EXPECT_EQ(Main()->objectCount, 1);
    EXPECT_EQ(layout.Symbols().size(), 1u);
}

TEST_F(CifReader, SymbolNames) {
    ASSERT_TRUE(
        Read("DS 1 1 10; 9 my~cell; DF; DS 2 1 10; (a comment); 9 second one; DF;"
             "DS 3 1 10; 9; DF; DS 4 1 10; 94 label 1 2; DF; DS 5 1 10; 9 a(b); DF; E"));
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(Symbol(1)->Name(), "my cell");
    EXPECT_EQ(Symbol(2)->Name(), "second") << "the first word, after a dropped comment";
    EXPECT_EQ(Symbol(3)->Name(), "Symbol3");
    EXPECT_EQ(Symbol(4)->Name(), "Symbol4") << "94 is another extension, not a name";
    EXPECT_EQ(Symbol(5)->Name(), "a[b]") << "symbol names cannot hold parentheses";
}

TEST_F(CifReader, ASecondDefinitionOfANameRenamesTheFirst) {
    ASSERT_TRUE(Read("DS 1 1 10; 9 inv; DF; DS 2 1 10; 9 inv_1; DF; DS 3 1 10; 9 inv; DF; E"));
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(Symbol(3)->Name(), "inv");
    EXPECT_EQ(Symbol(2)->Name(), "inv_1");
    EXPECT_EQ(Symbol(1)->Name(), "inv_1_1") << "renamed until the name is free";
}

TEST_F(CifReader, RepeatedDefinitionAddsToTheSymbol) {
    ASSERT_TRUE(Read("DS 1 1 10; 9 a; L L1; B 2 2 0 0; DF; DS 1 1 10; 9 a; B 4 4 0 0; DF; E"));
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(Symbol(1)->Name(), "a");
    EXPECT_EQ(Symbol(1)->objectCount, 2);
    EXPECT_EQ(layout.Symbols().size(), 2u);
}

TEST_F(CifReader, DefinitionWhoseDefaultNameIsTakenIsSkipped) {
    ASSERT_TRUE(Read("DS 1 1 10; 9 Symbol2; L L1; B 2 2 0 0; DF; DS 2 1 10; L L1; B 4 4 0 0; C 1; DF; B 6 6 0 0; E"));
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(Symbol(2), nullptr);
    ASSERT_EQ(Main()->objectCount, 1);
    EXPECT_EQ(Corners(Only(Main())), (Rect{-30, -30, 30, 30})) << "reading goes on outside the definition";
}

TEST_F(CifReader, GrowStepWhileLoadingAndBufferGivenBack) {
    std::string text = "DS 1 1 10; 9 a; L L1;";
    for (int i = 0; i < 100; ++i) text += "B 2 2 0 0;";
    ASSERT_TRUE(Read(text + "DF; E"));
    SymbolDescription* a = Symbol(1);
    EXPECT_EQ(a->growStep, 1024);
    EXPECT_EQ(a->capacity, a->usedWords + 1) << "ShrinkBuffer at DF";

    // Unfinished at the end of the file: given back as well.
    ASSERT_TRUE(Read(text));
    EXPECT_EQ(Symbol(1)->growStep, 1024);
    EXPECT_EQ(Symbol(1)->objectCount, 100);
}

// ---------------------------------------------------------------------------
// Layers

TEST_F(CifReader, LayerCommentsFromDialect270OnCarryTheIndex) {
    ASSERT_TRUE(
        Read("(CIF written by Zandor 3.2);\r\nL CMF; (Zandor: 7 Metal~1/1200ff00 00ff0000 0005 0);\r\n"
             "L CPG; (Zandor: 9 Poly/ff0000ff);\r\nL CAA; (Zandor: 7 Active);\r\nL CMF; B 2 2 0 0;\r\nE"));
    EXPECT_TRUE(Texts().empty());
    const LayerDescription* metal = layout.Layer(7);
    ASSERT_NE(metal, nullptr);
    EXPECT_EQ(metal->shortName, "CMF");
    EXPECT_EQ(metal->name, "Metal 1");
    EXPECT_EQ(metal->fillColor, 0x00ff00u);
    EXPECT_EQ(metal->fillStyle, FillForwardDiagonal);
    EXPECT_EQ(metal->outlineStyle, OutlineDash);
    EXPECT_EQ(metal->outlineColor, 0xff0000u);
    EXPECT_EQ(metal->dataType, 5u);
    EXPECT_EQ(metal->polarity, 0);
    const LayerDescription* poly = layout.Layer(9);
    ASSERT_NE(poly, nullptr);
    EXPECT_EQ(poly->name, "Poly");
    EXPECT_EQ(poly->fillStyle, FillSolid) << "nibble F";
    EXPECT_EQ(poly->outlineStyle, OutlineSolid) << "nibble F is out of range";
    EXPECT_EQ(poly->fillColor, 0x0000ffu);
    EXPECT_EQ(poly->outlineColor, 0x0000ffu) << "no outline word: the fill colour";
    EXPECT_EQ(poly->polarity, 1);
    // Index 7 is taken: the lowest free slot; no style word: default colours.
    const LayerDescription* active = layout.Layer(0);
    ASSERT_NE(active, nullptr);
    EXPECT_EQ(active->shortName, "CAA");
    EXPECT_EQ(active->name, "Active");
    EXPECT_EQ(active->fillColor, DefaultLayerColor(0));
    EXPECT_EQ(RecordLayer(Only(Main())), 7);
}

TEST_F(CifReader, LayerCommentsBeforeDialect270TakeTheIndexFromTheName) {
    ASSERT_TRUE(
        Read("(CIF written by Zandor 2.5);L 12; (Zandor: Metal/0f00ff00);"
             "L CPG; (Tremolvanti: 30 Poly);L 13; (Tremolvanti: Diff);E"));
    EXPECT_TRUE(Texts().empty());
    ASSERT_NE(layout.Layer(12), nullptr);
    EXPECT_EQ(layout.Layer(12)->name, "Metal");
    EXPECT_EQ(layout.Layer(12)->shortName, "12");
    EXPECT_EQ(layout.Layer(12)->fillColor, 0x00ff00u);
    ASSERT_NE(layout.Layer(0), nullptr);
    EXPECT_EQ(layout.Layer(0)->shortName, "CPG");
    EXPECT_EQ(layout.Layer(0)->name, "30 Poly") << "no index in the old dialects";
    ASSERT_NE(layout.Layer(13), nullptr);
    EXPECT_EQ(layout.Layer(13)->name, "Diff");
}

TEST_F(CifReader, UnknownLayerWithoutCommentGoesToTheLowestFreeSlot) {
    ASSERT_TRUE(
        Read("(CIF written by Zandor 3.2);L CMF; (Zandor: 0 Metal);L NEWLAYERNAME_TOO_LONG; "
             "(ZanWireStyle 2); W 4 0 0 1 1; L CMF; B 2 2 0 0; L NEWLAYERNAME_TOO; P 0 0 1 1 1 0; E"));
    EXPECT_TRUE(Texts().empty());
    const LayerDescription* made = layout.Layer(1);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->shortName, "NEWLAYERNAME_TO") << "15 characters";
    EXPECT_EQ(made->name, "NEWLAYERNAME_TO");
    EXPECT_EQ(made->fillColor, DefaultLayerColor(1));
    const auto r = Records(Main());
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(RecordLayer(r[0]), 1);
    EXPECT_EQ(WireEndStyle(r[0][5]), 2) << "the comment after L is still an extension record";
    EXPECT_EQ(RecordLayer(r[1]), 0);
    EXPECT_EQ(RecordLayer(r[2]), 1);
}

TEST_F(CifReader, AllLayerSlotsTaken) {
    std::string text;
    for (int i = 0; i < 256; ++i) text += "L N" + std::to_string(i) + ";";
    text += "L LAST; B 2 2 0 0; P 0 0 1 1 1 0; W 1 0 0 1 1; R 2 0 0; L N5; B 2 2 0 0; E";
    ASSERT_TRUE(Read(text));
    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           "No free layer is left for the layer LAST; its objects are not loaded.\nStatement: 257"}));
    ASSERT_EQ(Main()->objectCount, 1);
    EXPECT_EQ(RecordLayer(Only(Main())), 5);
}

// ---------------------------------------------------------------------------
// Extension records

TEST_F(CifReader, ExtensionFixture) {
    ASSERT_TRUE(ReadFixture("extensions.cif"));
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(layout.Symbols().size(), 4u) << "main, cell, top cell, MainSymbol; no $ZanAuto symbols";
    EXPECT_EQ(Symbol(1), nullptr);
    EXPECT_EQ(Symbol(2), nullptr);
    EXPECT_EQ(Main()->Name(), "MainSymbol_1");

    ASSERT_NE(layout.Layer(3), nullptr);
    EXPECT_EQ(layout.Layer(3)->name, "Metal one");
    ASSERT_NE(layout.Layer(5), nullptr);
    EXPECT_EQ(layout.Layer(5)->dataType, 7u);
    EXPECT_EQ(layout.Layer(5)->polarity, 0);

    SymbolDescription* cell = Symbol(4);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->vGuides, (std::vector<std::int32_t>{100, 200}));
    EXPECT_EQ(cell->hGuides, (std::vector<std::int32_t>{-50}));
    const auto c = Records(cell);
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(Corners(c[0]), (Rect{0, 0, 100, 50}));
    EXPECT_EQ(Corners(c[1]), (Rect{0, 0, 5, 3})) << "ZanBox, its B skipped";

    SymbolDescription* top = Symbol(5);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->Name(), "top cell");
    const auto r = Records(top);
    ASSERT_EQ(r.size(), 9u);
    // The array; its C and the lattice definitions skipped.
    ASSERT_EQ(RecordKind(r[0]), ObjectKind::SymbolArray);
    EXPECT_EQ(r[0][5], 4);
    EXPECT_EQ(r[0][6], 3);
    EXPECT_EQ(r[0][7], 2);
    EXPECT_EQ(r[0][10], 3000);
    EXPECT_EQ(r[0][13], 1000);
    EXPECT_EQ(ReadDouble(r[0] + 14), 1.0);
    EXPECT_EQ(ReadDouble(r[0] + 16), 0.0);
    EXPECT_EQ(top->Children(), (std::vector<std::int32_t>{4}));
    // The wire with its end style.
    ASSERT_EQ(RecordKind(r[1]), ObjectKind::Wire);
    EXPECT_EQ(RecordLayer(r[1]), 5);
    EXPECT_EQ(WireEndStyle(r[1][5]), 1);
    EXPECT_EQ(WireNodeCount(r[1]), 3);
    // The ring, its W skipped.
    ASSERT_EQ(RecordKind(r[2]), ObjectKind::Ring);
    EXPECT_EQ(r[2][1], 500);
    EXPECT_EQ(r[2][3], 100);
    EXPECT_EQ(r[2][4], 10);
    // The arc wire, its P skipped.
    ASSERT_EQ(RecordKind(r[3]), ObjectKind::ArcWire);
    EXPECT_EQ(r[3][1], 100);
    EXPECT_EQ(r[3][6], 100);
    EXPECT_EQ(r[3][7], 10);
    // The group of a text (two glyphs) and a rectangle.
    ASSERT_EQ(RecordKind(r[4]), ObjectKind::Group);
    EXPECT_FALSE(IsMember(r[4]));
    EXPECT_EQ(r[4][3], 4);
    EXPECT_EQ(r[4][4], 2);
    ASSERT_EQ(RecordKind(r[5]), ObjectKind::Text);
    EXPECT_TRUE(IsMember(r[5]));
    EXPECT_EQ(r[5][1], 7);
    EXPECT_EQ(r[5][2], 8);
    EXPECT_EQ(r[5][3], 2);
    EXPECT_EQ(r[5][4], 100);
    EXPECT_EQ(TextChars(r[5]), "a(b;c");
    EXPECT_EQ(ReadMatrix(r[5] + kTextMatrixWord), (TransformMatrix{1, 0, 0, 1, 0, 0})) << "from ZanTransform";
    const LOGFONTA font = ReadFont(r[5] + kTextFontWord);
    EXPECT_EQ(font.lfHeight, 100);
    EXPECT_EQ(font.lfWeight, 700);
    EXPECT_EQ(font.lfItalic, 1);
    EXPECT_STREQ(font.lfFaceName, "Ab");
    EXPECT_EQ(RecordKind(r[6]), ObjectKind::Polygon);
    EXPECT_TRUE(IsMember(r[6]));
    EXPECT_TRUE(IsMember(r[7]));
    EXPECT_EQ(RecordKind(r[8]), ObjectKind::Rectangle);
    EXPECT_TRUE(IsMember(r[8]));

    const Word* call = Only(Main());
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call[5], 6);
}

TEST_F(CifReader, ExtensionRecordsSkipOnlyTheirOwnFallback) {
    // The statement after ZanRing, ZanArcWire, ZanArray is kept when it is not the fallback.
    ASSERT_TRUE(
        Read("L L1; (ZanRing 10 0 0 100); B 2 2 0 0; (ZanArcWire 10 100 0 0 0 0 100); W 1 0 0 1 1;"
             "(ZanArray 3 1 1 0 0 0 0 0 0 0 1072693248 0 0); (ZanWireStyle 0); C 3 T 1 1; E"));
    EXPECT_TRUE(Texts().empty());
    const auto r = Records(Main());
    ASSERT_EQ(r.size(), 6u);
    EXPECT_EQ(RecordKind(r[0]), ObjectKind::Ring);
    EXPECT_EQ(r[0][3], 1000) << "ZanRing is scaled";
    EXPECT_EQ(r[0][4], 100);
    EXPECT_EQ(RecordKind(r[1]), ObjectKind::Rectangle);
    EXPECT_EQ(RecordKind(r[2]), ObjectKind::ArcWire);
    EXPECT_EQ(RecordKind(r[3]), ObjectKind::Wire);
    EXPECT_EQ(RecordKind(r[4]), ObjectKind::SymbolArray);
    EXPECT_EQ(RecordKind(r[5]), ObjectKind::SymbolCall);
}

TEST_F(CifReader, ExtensionKeywordsIgnoreCaseAndUnknownOnesAreIgnored) {
    ASSERT_TRUE(
        Read("L L1; (zanwirestyle 1); (ZANDOR was here); (Zanzibar 1 2); (not an extension); W 1 0 0 1 1;"
             "(ZanScript 0 0 0 0 100 10 3\r\nabc); B 2 2 0 0; E"));
    EXPECT_TRUE(Texts().empty());
    const auto r = Records(Main());
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(WireEndStyle(r[0][5]), 1);
    EXPECT_EQ(RecordKind(r[1]), ObjectKind::Rectangle) << "ZanScript ignored: script objects are not available";
    EXPECT_FALSE(IsMember(r[1]));
}

TEST_F(CifReader, NestedCompoundsRebuildTheirMemberBits) {
    // group(2) { text(3) {P P P}, group(1) { B } } B
    ASSERT_TRUE(
        Read("L L1; (ZanGroup 0 0 6 2); (ZanText 0 0 3 10 2 ab); P 0 0 1 0 1 1; P 0 0 1 0 1 1;"
             "P 0 0 1 0 1 1; (ZanGroup 1 1 1 1); B 2 2 0 0; B 4 4 0 0; E"));
    EXPECT_TRUE(Texts().empty());
    const auto r = Records(Main());
    ASSERT_EQ(r.size(), 8u);
    const bool member[] = {false, true, true, true, true, true, true, false};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(IsMember(r[i]), member[i]) << i;
    EXPECT_EQ(r[0][3], 6);
    EXPECT_EQ(r[0][4], 2);
    EXPECT_EQ(r[1][3], 3);
    EXPECT_EQ(RecordKind(r[5]), ObjectKind::Group);
    EXPECT_EQ(r[5][3], 1);
    EXPECT_EQ(r[5][4], 1);
    // Deleting the outer group takes all its members.
    Main()->DeleteRecord(Main()->FirstRecord());
    EXPECT_EQ(Main()->objectCount, 1);
}

TEST_F(CifReader, DefinitionEndWithMembersPending) {
    ASSERT_TRUE(Read("DS 1 1 10; 9 a; L L1; (ZanText 0 0 3 10 2 ab); P 0 0 1 0 1 1; DF; B 2 2 0 0; E"));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Syntax error.\nStatement: 6\nDF"}));
    const auto r = Records(Symbol(1));
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0][3], 1) << "the head counts the members that came";
    EXPECT_TRUE(IsMember(r[1]));
    EXPECT_FALSE(IsMember(Only(Main()))) << "dropped: the main symbol's box is no member";
}

TEST_F(CifReader, TextRecords) {
    // Without ZanTransform: the identity moved to the text's position.
    ASSERT_TRUE(Read("L L1; (ZanText 5 6 0 10 3 xyz); E"));
    EXPECT_TRUE(Texts().empty());
    const Word* t = Only(Main());
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(ReadMatrix(t + kTextMatrixWord), (TransformMatrix{1, 0, 0, 1, 5, 6}));
    EXPECT_EQ(TextChars(t), "xyz");
    EXPECT_STREQ(ReadFont(t + kTextFontWord).lfFaceName, "Arial") << "the application's text font";

    // A ZanTransform serves the next text only.
    ASSERT_TRUE(
        Read("L L1; (ZanTransform 0 1073741824 0 0 0 0 0 1073741824 0 0 0 0);"
             "(ZanText 5 6 0 10 1 a); (ZanText 7 8 0 10 1 b); E"));
    const auto r = Records(Main());
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(ReadMatrix(r[0] + kTextMatrixWord), (TransformMatrix{2, 0, 0, 2, 0, 0}));
    EXPECT_EQ(ReadMatrix(r[1] + kTextMatrixWord), (TransformMatrix{1, 0, 0, 1, 7, 8}));

    // nchar beyond the record takes what is there; a negative one takes nothing.
    ASSERT_TRUE(
        Read("L L1; (ZanText 0 0 0 10 2000000000 short); (ZanText 0 0 0 10 -5 abc); (ZanText 0 0 0 10 3);"
             "E"));
    const auto s = Records(Main());
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(TextChars(s[0]), "short");
    EXPECT_EQ(TextChars(s[1]), "");
    EXPECT_EQ(TextChars(s[2]), "");

    // The writer balances the parentheses of the characters around them.
    ASSERT_TRUE(Read("L L1; (ZanText ((0 0 0 10 5 a)b)c); (ZanText 0 0 0 10 3 (())); (ZanText 0 0 0 10 1 ;); E"));
    EXPECT_TRUE(Texts().empty());
    const auto b = Records(Main());
    ASSERT_EQ(b.size(), 3u);
    EXPECT_EQ(TextChars(b[0]), "a)b)c");
    EXPECT_EQ(TextChars(b[1]), "(()");
    EXPECT_EQ(TextChars(b[2]), ";");

    // Line breaks inside a comment are kept as CR LF, whatever the file has.
    ASSERT_TRUE(Read("L L1; (ZanText 0 0 0 10 4 a\nb); (ZanText 0 0 0 10 4 a\r\nb); E"));
    const auto u = Records(Main());
    ASSERT_EQ(u.size(), 2u);
    EXPECT_EQ(TextChars(u[0]), "a\r\nb");
    EXPECT_EQ(TextChars(u[1]), "a\r\nb");
}

TEST_F(CifReader, ExtensionRecordMessages) {
    struct Case {
        const char* record;
        const char* message;
    };
    const Case cases[] = {
        {"(ZanWireStyle);", "Unexpected end of statement# 2\nMissing wire style information"},
        {"(ZanFont 1 2 3);", "Unexpected end of statement# 2\nMissing font information"},
        {"(ZanTransform 1 2 3 4 5 6 7 8 9 10 11);", "Unexpected end of statement# 2\nMissing transformation matrix"},
        {"(ZanVGuide);", "Unexpected end of statement# 2\nMissing guideline information"},
        {"(ZanHGuide 3 1 2);", "Unexpected end of statement# 2\nMissing guideline information"},
        {"(ZanRing);", "Unexpected end of ring statement# 2\nWidth of ring expected"},
        {"(ZanRing 1);", "Unexpected end of ring statement# 2\nX coordinate of ring expected"},
        {"(ZanRing 1 2);", "Unexpected end of ring statement# 2\nY coordinate of ring expected"},
        {"(ZanRing 1 2 3);", "Unexpected end of ring statement# 2\nRadius of ring expected"},
        {"(ZanArcWire);", "Unexpected end of arcwire statement# 2\nWidth of arcwire expected"},
        {"(ZanArcWire 1);", "Unexpected end of arcwire statement# 2\nXstart coordinate of arcwire expected"},
        {"(ZanArcWire 1 2);", "Unexpected end of arcwire statement# 2\nYstart coordinate of arcwire expected"},
        {"(ZanArcWire 1 2 3);", "Unexpected end of arcwire statement# 2\nXc coordinate of arcwire expected"},
        {"(ZanArcWire 1 2 3 4);", "Unexpected end of arcwire statement# 2\nYc coordinate of arcwire expected"},
        {"(ZanArcWire 1 2 3 4 5);", "Unexpected end of arcwire statement# 2\nXend coordinate of arcwire expected"},
        {"(ZanArcWire 1 2 3 4 5 6);", "Unexpected end of arcwire statement# 2\nYend coordinate of arcwire expected"},
        {"(ZanText);", "Unexpected end of text statement# 2\nX position of text expected"},
        {"(ZanText 1);", "Unexpected end of text statement# 2\nY position of text expected"},
        {"(ZanText 1 2);", "Unexpected end of text statement# 2Number of polygons expected"},
        {"(ZanText 1 2 0);", "Unexpected end of text statement# 2Height expected"},
        {"(ZanText 1 2 0 10);", "Unexpected end of text statement# 2Number of characters expected"},
        {"(ZanGroup);", "Unexpected end of group statement# 2\nX position of group expected"},
        {"(ZanGroup 1);", "Unexpected end of group statement# 2\nY position of group expected"},
        {"(ZanGroup 1 2);", "Unexpected end of group statement# 2\nNumber of elements of group expected"},
        {"(ZanGroup 1 2 3);", "Unexpected end of group statement# 2\nNumber of objects of group expected"},
        {"(ZanArray);", "Unexpected end of array statement# 2\nSymbol index expected"},
        {"(ZanArray 1);", "Unexpected end of array statement# 2\nNumber of columns expected"},
        {"(ZanArray 1 2);", "Unexpected end of array statement# 2\nNumber of rows expected"},
        {"(ZanArray 1 2 3);", "Unexpected end of array statement# 2\nX position of array expected"},
        {"(ZanArray 1 2 3 4);", "Unexpected end of array statement# 2\nY position of array expected"},
        {"(ZanArray 1 2 3 4 5);", "Unexpected end of array statement# 2\nX2 position of array expected"},
        {"(ZanArray 1 2 3 4 5 6);", "Unexpected end of array statement# 2\nY2 position of array expected"},
        {"(ZanArray 1 2 3 4 5 6 7);", "Unexpected end of array statement# 2\nX3 position of array expected"},
        {"(ZanArray 1 2 3 4 5 6 7 8);", "Unexpected end of array statement# 2\nY3 position of array expected"},
        {"(ZanArray 1 2 3 4 5 6 7 8 9);", "Unexpected end of array statement# 2\nMagnification factor expected"},
        {"(ZanArray 1 2 3 4 5 6 7 8 9 0);", "Unexpected end of array statement# 2\nMagnification factor expected"},
        {"(ZanArray 1 2 3 4 5 6 7 8 9 0 1072693248);", "Unexpected end of array statement# 2\nRotation angle expected"},
        {"(ZanArray 1 2 3 4 5 6 7 8 9 0 1072693248 0);",
         "Unexpected end of array statement# 2\nRotation angle expected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record);
        ASSERT_TRUE(Read(std::string("L L1;") + c.record + "E"));
        EXPECT_EQ(Texts(), (std::vector<std::string>{c.message}));
        EXPECT_EQ(Main()->objectCount, 0);
    }
}

// ---------------------------------------------------------------------------
// Robustness

TEST_F(CifReader, OnlyNineMessagesAreShown) {
    std::string text;
    for (int i = 0; i < 15; ++i) text += "X;";
    ASSERT_TRUE(Read(text + "L L1; B 2 2 0 0; E"));
    const auto shown = Texts();
    ASSERT_EQ(shown.size(), 9u);
    EXPECT_EQ(shown.front(), "Syntax error.\nStatement: 1\nX");
    EXPECT_EQ(shown.back(), "Syntax error.\nStatement: 9\nX");
    EXPECT_EQ(Main()->objectCount, 1) << "reading goes on";
}

TEST_F(CifReader, StatementsAfterEAreNotRead) {
    ASSERT_TRUE(Read("L L1; B 2 2 0 0; E; B 4 4 0 0; X;"));
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(Main()->objectCount, 1);
}

TEST_F(CifReader, TruncatedFiles) {
    struct Case {
        const char* text;
        std::vector<std::string> messages;
        int objects;
    };
    const Case cases[] = {
        {"L L1; B 2 2 0 0; B 10 4 0", {"Unexpected end of box statement# 3\nX coordinate of box expected"}, 1},
        {"L L1; B 2 2 0 0; P 0 0 1 1 1", {"Unexpected end of polygon statement# 3\nCannot read nodes"}, 1},
        {"L L1; B 2 2 0 0; B 2 2 0 0", {}, 2},
        {"DS 1 1 10; 9 a; L L1; B 2 2 0 0; (ZanText 0 0 0 10 5 abc", {}, 0},
        {"L L1; (ZanRing 10 0 0 100);", {}, 1},
        {"DS 1 1 10;", {}, 0},
        {"DS 1 1 10; 9 $ZanAuto1; C 2; C 2", {}, 0},
        {"", {}, 0},
        {"   \r\n\r\n", {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(Read(c.text));
        EXPECT_EQ(Texts(), c.messages);
        EXPECT_EQ(Main()->objectCount, c.objects);
    }
}

TEST_F(CifReader, CommentsNeedNoSemicolon) {
    // KLayout's test data writes comments without ";": the statement after
    // one is not swallowed.
    ASSERT_TRUE(Read("L L1;\n(Origin marker)\nB 1 1 0,0;\n(two (nested) words) ; B 2 2 0 0; E"));
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(Main()->objectCount, 2);
}

TEST_F(CifReader, LineEndsLfAndCrLfReadTheSame) {
    std::string lf;
    {
        std::ifstream in("data/cif/reader/extensions.cif", std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_NE(text.find("\r\n"), std::string::npos);
        for (char c : text) {
            if (c != '\r') lf += c;
        }
    }
    ASSERT_TRUE(ReadFixture("extensions.cif"));
    std::vector<std::vector<Word>> expected;
    for (const auto& s : layout.Symbols()) expected.emplace_back(s->Words(), s->Words() + s->usedWords);
    ASSERT_TRUE(Read(lf));
    EXPECT_TRUE(Texts().empty());
    std::vector<std::vector<Word>> actual;
    for (const auto& s : layout.Symbols()) actual.emplace_back(s->Words(), s->Words() + s->usedWords);
    EXPECT_EQ(actual, expected);
}

TEST_F(CifReader, EmptyStatementsAreAllowedNulBytesAreNot) {
    ASSERT_TRUE(Read(std::string("L L1;;; B 2 2 0 0;\0x;E", 22)));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Syntax error.\nStatement: 5\n"}));
    EXPECT_EQ(Main()->objectCount, 1);
}

TEST_F(CifReader, GarbageBytes) {
    const char raw[] =
        "L L1; B 2 2 0 0;\x01\x02\xff\xfe(unbalanced ((;;;) \0\0 B 1 2 3 4 5 6 7 8; ZZ; )))"
        "\0\0\0;C\0;L\0;DS\0;9\0;";
    std::string garbage(raw, sizeof raw - 1);
    for (int i = 0; i < 2000; ++i) garbage += static_cast<char>((i * 7919) % 256);
    ASSERT_TRUE(Read(garbage));
    EXPECT_LE(Texts().size(), 9u);
    EXPECT_GE(Main()->objectCount, 1);
    for (const auto& s : layout.Symbols()) s->EnsureBounds();
}

TEST_F(CifReader, OverflowingNumbersSaturate) {
    ASSERT_TRUE(
        Read("L L1; B 99999999999 4 0 0; B 2 2 99999999999999999999999 -99999999999999999999999;"
             "P 0 0 4294967296 0 0 -4294967296; W 99999999999 0 0 1 1; R 99999999999 0 0;"
             "C 99999999999 T 99999999999 -99999999999; DS 99999999999 1 10; 9 big; DF;"
             "(ZanBox 99999999999 0 -99999999999 1); B 1 1 0 0; E"));
    EXPECT_TRUE(Texts().empty());
    const auto r = Records(Main());
    ASSERT_EQ(r.size(), 7u);
    EXPECT_EQ(Corners(r[0]), (Rect{INT32_MIN, -20, INT32_MAX, 20}));
    EXPECT_EQ(Corners(r[1]), (Rect{INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN}));
    EXPECT_EQ(PolygonNodes(r[2])[1], (Point{INT32_MAX, 0}));
    EXPECT_EQ(PolygonNodes(r[2])[2], (Point{0, INT32_MIN}));
    EXPECT_EQ(WidthOf(r[3][5]), static_cast<std::int32_t>(kWidthMask));
    EXPECT_EQ(r[4][3], INT32_MAX);
    EXPECT_EQ(r[5][5], INT32_MAX);
    EXPECT_EQ(ReadMatrix(r[5] + kCallMatrixWord).tx, 999999999990.0);
    ASSERT_NE(Symbol(INT32_MAX), nullptr);
    EXPECT_EQ(Corners(r[6]), (Rect{INT32_MIN, 0, INT32_MAX, 1}));
}

TEST_F(CifReader, HugeCountsAllocateNothingByThemselves) {
    ASSERT_TRUE(
        Read("(ZanVGuide 2000000000 1 2 3); (ZanHGuide -5 1); (ZanHGuide 2 7 8 9);"
             "L L1; (ZanGroup 0 0 2000000000 2000000000); B 2 2 0 0; E"));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Unexpected end of statement# 1\nMissing guideline information"}));
    EXPECT_EQ(Main()->vGuides, (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_EQ(Main()->hGuides, (std::vector<std::int32_t>{7, 8}));
    const auto r = Records(Main());
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0][3], 1) << "counts what came";
    EXPECT_EQ(r[0][4], 1);
}

TEST_F(CifReader, LongStatementIsTruncatedButConsumed) {
    std::string points;
    while (points.size() < 70000) points += " 1 2";
    // "P " and 65533 characters of the points: 16383 pairs and a blank.
    ASSERT_TRUE(Read("L L1; P " + points + " 3; B 2 2 0 0; (" + std::string(70000, 'x') + "); B 4 4 0 0; E"));
    EXPECT_TRUE(Texts().empty());
    const auto r = Records(Main());
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(RecordKind(r[0]), ObjectKind::Polygon);
    EXPECT_EQ(PolygonNodeCount(r[0]), 16383) << "65535 characters kept";
    EXPECT_EQ(RecordKind(r[1]), ObjectKind::Rectangle);
    EXPECT_EQ(RecordKind(r[2]), ObjectKind::Rectangle);
}

TEST_F(CifReader, OutOfMemoryIsReportedOnceAfterReading) {
    std::string text = "DS 1 1 10; 9 a; L L1;";
    for (int i = 0; i < 400; ++i) text += "B 2 2 0 0;";
    text += "DF; X; E";
    SetWordAllocationLimit(512);
    const bool ok = Read(text);
    SetWordAllocationLimit(0);
    ASSERT_TRUE(ok);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Syntax error.\nStatement: 405\nX",
                                                 "Out of memory! Some symbols could not be loaded completely."}));
    EXPECT_GT(Symbol(1)->objectCount, 0);
    EXPECT_LT(Symbol(1)->objectCount, 400);
}

TEST_F(CifReader, ProgressRunsFromTheStartTo100) {
    ScopedProgressCapture progress;
    std::string text = "L L1;";
    for (int i = 0; i < 5000; ++i) text += "B 2 2 0 0;\n";
    ASSERT_TRUE(Read(text + "E"));
    ASSERT_GE(progress.steps.size(), 10u);
    EXPECT_EQ(progress.steps.front(), 0);
    EXPECT_EQ(progress.steps.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.steps.begin(), progress.steps.end()));
}

TEST_F(CifReader, CorpusFilesReadWithoutMessages) {
    for (const auto& entry : std::filesystem::directory_iterator("data/cif/corpus")) {
        if (entry.path().extension() != ".cif") continue;
        SCOPED_TRACE(entry.path().string());
        layout.Clear();
        messages.messages.clear();
        ASSERT_TRUE(LoadCifFile(layout, entry.path().string()).Read());
        EXPECT_EQ(Texts(), std::vector<std::string>{});
        EXPECT_GT(layout.Symbols().size(), 1u);
    }
}

}  // namespace
