// The GDSII writer: the bytes of the library, elements and references, the
// messages after the write, and the replacement of the target.
#include <bit>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "formats/gds/GdsStream.h"
#include "formats/gds/LoadGdsFile.h"
#include "formats/gds/SaveGdsFile.h"
#include "model/Layout.h"
#include "model/RecordViews.h"
#include "platform/headless/RecordingMessages.h"
#include "support/ScratchTest.h"

using namespace zandor;
using platform::headless::RecordedMessage;
using platform::headless::ScopedMessageCapture;
using test::GdsRecord;
namespace g = zandor::gds;

namespace {

using Points = std::vector<std::pair<std::int32_t, std::int32_t>>;

Points PointsOf(const GdsRecord& r) {
    Points out;
    for (std::size_t k = 0; k < r.Points(); ++k) out.push_back(r.Point(k));
    return out;
}

class GdsWriter : public test::ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        layout.Clear();
        main = layout.MainSymbol();
    }

    // Writes the layout; the records, with the padding in tail.
    std::vector<GdsRecord> Write(const std::string& name = "out.gds") {
        path = Path(name);
        messages.messages.clear();
        EXPECT_TRUE(SaveGdsFile(layout, path).Write());
        bytes = ReadFile(path);
        return test::ParseGds(bytes, &tail);
    }

    // The records of the elements of the first structure, ENDEL excluded.
    std::vector<std::vector<GdsRecord>> Elements() {
        const auto records = Write();
        std::vector<std::vector<GdsRecord>> out;
        bool inStructure = false;
        for (const GdsRecord& r : records) {
            if (r.type == g::STRNAME) inStructure = true;
            if (r.type == g::ENDSTR) break;
            if (!inStructure || r.type == g::STRNAME) continue;
            if (r.type == g::BOUNDARY || r.type == g::PATH || r.type == g::SREF || r.type == g::AREF)
                out.emplace_back();
            if (r.type != g::ENDEL && !out.empty()) out.back().push_back(r);
        }
        return out;
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const auto& m : messages.messages) out.push_back(m.caption + ": " + m.text);
        return out;
    }

    Layout layout;
    SymbolDescription* main = nullptr;
    ScopedMessageCapture messages;
    std::string path, bytes, tail;
};

const std::string kStretched =
    "Error: The layout contains symbols which are stretched in one\n"
    "direction while the GDS-II file format only supports\n"
    "a magnification factor!\n"
    "You need to flatten these symbol instances before saving\n"
    "into GDS-II format.";
const std::string kTooManyNodes =
    "Error: The layout contains polygons or wires with more than 8191 nodes,\n"
    "which cannot be stored in the standard GDS-II file format.\n"
    "You need to split the polygons or wires or save in CIF format.\n";
const std::string kManyNodes =
    "Warning: The layout contains polygons or wires with more than 200 nodes,\n"
    "which are not supported by the standard GDS-II file format.\n"
    "However, Zandor and most other layout software will not have\n"
    "a problem with this.";

TEST_F(GdsWriter, EmptyLayoutBytes) {
    layout.DeleteSymbol(-1);
    const std::time_t before = std::time(nullptr);
    Write("empty_library.gds");
    ASSERT_EQ(bytes.size(), 2048u);
    const std::string head(
        "\x00\x06\x00\x02\x02\x58"
        "\x00\x1c\x01\x02",
        10);
    EXPECT_EQ(bytes.substr(0, 10), head);
    // Both time stamps: the local time of the write.
    const std::string stamp = bytes.substr(10, 12);
    EXPECT_EQ(bytes.substr(22, 12), stamp);
    std::tm local{};
    localtime_r(&before, &local);
    EXPECT_EQ((GdsRecord{0, 0, stamp}.Short(0)), local.tm_year + 1900);
    const std::string rest(
        "\x00\x14\x02\x06"
        "empty_library.gd"  // cut to 16 characters
        "\x00\x14\x03\x05"
        "\x3e\x41\x89\x37\x4b\xc6\xa7\xf0"
        "\x39\x44\xb8\x2f\xa0\x9b\x5a\x54"
        "\x00\x04\x04\x00",
        44);
    EXPECT_EQ(bytes.substr(34, 44), rest);
    EXPECT_EQ(bytes.substr(78), std::string(2048 - 78, '\0'));
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(GdsWriter, RectangleWithDataType) {
    layout.SetLayer(std::make_unique<LayerDescription>(3, "Metal", -1, -1, FillSolid, OutlineSolid, 7));
    main->AddRectangle(0, 0, 10, 20, 3);
    const auto records = Write();
    // HEADER BGNLIB LIBNAME UNITS BGNSTR STRNAME, then the element.
    ASSERT_EQ(records.size(), 13u);
    EXPECT_EQ(records[5].data, "MainSymbol");
    std::string element;
    for (std::size_t k = 6; k < 11; ++k) {
        element += std::string(1, '\0') + static_cast<char>(4 + records[k].data.size()) +
                   static_cast<char>(records[k].type) + static_cast<char>(records[k].dataType) + records[k].data;
    }
    const std::string expected(
        "\x00\x04\x08\x00"
        "\x00\x06\x0d\x02\x00\x03"
        "\x00\x06\x0e\x02\x00\x07"
        "\x00\x2c\x10\x03"
        "\x00\x00\x00\x00\x00\x00\x00\x00"
        "\x00\x00\x00\x0a\x00\x00\x00\x00"
        "\x00\x00\x00\x0a\x00\x00\x00\x14"
        "\x00\x00\x00\x00\x00\x00\x00\x14"
        "\x00\x00\x00\x00\x00\x00\x00\x00"
        "\x00\x04\x11\x00",
        64);
    EXPECT_EQ(element, expected);
    EXPECT_EQ(records[11].type, g::ENDSTR);
    EXPECT_EQ(records[12].type, g::ENDLIB);
    EXPECT_EQ(bytes.size() % 2048, 0u);
    // The layer map beside it carries the data type.
    Layout map;
    ASSERT_TRUE(map.ReadLayerMap(Path("out.map")));
    ASSERT_NE(map.Layer(3), nullptr);
    EXPECT_EQ(map.Layer(3)->name, "Metal");
    EXPECT_EQ(map.Layer(3)->dataType, 7u);
}

TEST_F(GdsWriter, PolygonsAndWires) {
    const Point closed[] = {{0, 0}, {10, 0}, {10, 10}, {0, 0}};
    const Point open[] = {{0, 0}, {10, 0}, {10, 10}};
    const Point line[] = {{0, 0}, {5, 5}};
    main->AddPolygon(closed, 4, 1);
    main->AddPolygon(open, 3, 1);
    main->AddPolygon(open, 2, 1);  // too few points: nothing
    main->AddWire(line, 2, 30, static_cast<int>(EndStyle::Round), 2);
    main->AddWire(line, 2, 30, static_cast<int>(EndStyle::Flat), 2);
    main->AddWire(line, 2, 30, static_cast<int>(EndStyle::Extended), 2);
    main->AddWire(line, 1, 30, 0, 2);  // too few points: nothing
    const auto e = Elements();
    ASSERT_EQ(e.size(), 5u);
    EXPECT_EQ(PointsOf(e[0][3]), (Points{{0, 0}, {10, 0}, {10, 10}, {0, 0}}));
    EXPECT_EQ(PointsOf(e[1][3]), (Points{{0, 0}, {10, 0}, {10, 10}, {0, 0}}));
    const int pathTypes[] = {1, 0, 2};
    for (int k = 0; k < 3; ++k) {
        const auto& path = e[2 + k];
        ASSERT_EQ(path.size(), 6u);
        EXPECT_EQ(path[0].type, g::PATH);
        EXPECT_EQ(path[3].type, g::PATHTYPE);
        EXPECT_EQ(path[3].Short(), pathTypes[k]);
        EXPECT_EQ(path[4].type, g::WIDTH);
        EXPECT_EQ(path[4].Long(0), 30);
        EXPECT_EQ(PointsOf(path[5]), (Points{{0, 0}, {5, 5}}));
    }
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(GdsWriter, LongWireIsSplitAndLargePolygonCut) {
    std::vector<Point> nodes;
    for (int k = 0; k < 10000; ++k) nodes.push_back({k, k % 3});
    main->AddWire(nodes.data(), 10000, 4, 0, 1);
    auto e = Elements();
    ASSERT_EQ(e.size(), 2u);
    ASSERT_EQ(e[0][5].Points(), 8191u);
    ASSERT_EQ(e[1][5].Points(), 1810u);
    EXPECT_EQ(e[1][5].Point(0), e[0][5].Point(8190)) << "the pieces share a point";
    EXPECT_EQ(e[1][5].Point(1809), (std::pair<std::int32_t, std::int32_t>{9999, 9999 % 3}));
    EXPECT_EQ(Texts(), (std::vector<std::string>{kTooManyNodes}));

    layout.Clear();
    main = layout.MainSymbol();
    main->AddPolygon(nodes.data(), 9000, 1);
    e = Elements();
    ASSERT_EQ(e.size(), 1u);
    ASSERT_EQ(e[0][3].Points(), 8191u);
    EXPECT_EQ(e[0][3].Point(8190), e[0][3].Point(0));
    EXPECT_EQ(e[0][3].Point(8189), (std::pair<std::int32_t, std::int32_t>{8189, 8189 % 3}));
    EXPECT_EQ(Texts(), (std::vector<std::string>{kTooManyNodes}));

    layout.Clear();
    main = layout.MainSymbol();
    main->AddPolygon(nodes.data(), 200, 1);  // 201 with the closing point
    Write();
    EXPECT_EQ(Texts(), (std::vector<std::string>{kManyNodes}));
}

TEST_F(GdsWriter, CallsAndArrays) {
    SymbolDescription* cell = layout.AddSymbol(1, "cell one");
    cell->AddRectangle(0, 0, 5, 5, 1);
    main->InsertSymbolCall(1, 10, 20);
    main->InsertSymbolCallMatrix(1, {0, -1, 1, 0, 1.4, -2.5});  // -90 degrees
    main->InsertSymbolCallMatrix(1, {2, 0, 0, 3, 0, 0});        // stretched
    main->InsertSymbolCallMatrix(1, {0, 2, 2, 0, 5, 6});        // mirrored, 90 degrees, 2 times
    main->InsertSymbolCallMatrix(1, {-1, 0, 0, 1, 0, 0});       // mirrored about the y axis
    main->InsertArray(1, {0, 0}, {300, 0}, {0, 200}, 3, 2, -1.5, 30);
    const auto e = Elements();
    ASSERT_EQ(e.size(), 6u);
    for (const auto& element : e) EXPECT_EQ(element[1].data, "cell_one");

    struct Expected {
        bool strans;
        int bits;
        double mag, angle;  // 1 and 0: no record
    };
    const Expected expected[] = {
        {false, 0, 1, 0}, {true, 0, 1, 270}, {true, 0, 2.5, 0}, {true, 0x8000, 2, 90}, {true, 0x8000, 1, 180},
    };
    for (int k = 0; k < 5; ++k) {
        SCOPED_TRACE(k);
        std::size_t at = 2;
        if (expected[k].strans) {
            ASSERT_EQ(e[k][at].type, g::STRANS);
            EXPECT_EQ(e[k][at].dataType, g::BitArray);
            EXPECT_EQ(e[k][at++].Short() & 0xFFFF, expected[k].bits);
        }
        if (expected[k].mag != 1) {
            ASSERT_EQ(e[k][at].type, g::MAG);
            EXPECT_EQ(e[k][at++].Real(), expected[k].mag);
        }
        if (expected[k].angle != 0) {
            ASSERT_EQ(e[k][at].type, g::ANGLE);
            EXPECT_EQ(e[k][at++].Real(), expected[k].angle);
        }
        ASSERT_EQ(e[k][at].type, g::XY);
        EXPECT_EQ(e[k].size(), at + 1);
    }
    EXPECT_EQ(e[0][2].Point(0), (std::pair<std::int32_t, std::int32_t>{10, 20}));
    EXPECT_EQ(e[1][4].Point(0), (std::pair<std::int32_t, std::int32_t>{1, -3})) << "rounded half away from zero";

    const auto& array = e[5];
    ASSERT_EQ(array.size(), 7u);
    EXPECT_EQ(array[2].Short() & 0xFFFF, 0x8000);
    EXPECT_EQ(array[3].Real(), 1.5);
    EXPECT_NEAR(array[4].Real(), 30, 1e-12);
    EXPECT_EQ(array[5].type, g::COLROW);
    EXPECT_EQ(array[5].Short(0), 3);
    EXPECT_EQ(array[5].Short(1), 2);
    EXPECT_EQ(PointsOf(array[6]), (Points{{0, 0}, {300, 0}, {0, 200}}));
    EXPECT_EQ(Texts(), (std::vector<std::string>{kStretched}));
}

// Found by fuzzing: an array turned by 1e300 degrees hung the writer.
TEST_F(GdsWriter, AnglesOfAnySize) {
    layout.AddSymbol(1, "cell");
    main->InsertArray(1, {0, 0}, {10, 0}, {0, 10}, 1, 1, 1.0, 1e300);
    main->InsertArray(1, {0, 0}, {10, 0}, {0, 10}, 1, 1, 1.0, -450);
    const auto e = Elements();
    ASSERT_EQ(e.size(), 2u);
    for (const GdsRecord& r : e[0]) {
        if (r.type != g::ANGLE) continue;
        EXPECT_GE(r.Real(), 0);
        EXPECT_LT(r.Real(), 360);
    }
    ASSERT_EQ(e[1][3].type, g::ANGLE);
    EXPECT_EQ(e[1][3].Real(), 270);
}

// An array's angle is written as stored and reads back bit for bit; one of
// magnification 0, which drawing and the other writers leave out, is left
// out here too instead of being written as MAG 0.
TEST_F(GdsWriter, ArrayAnglesAsStoredAndMagnificationZero) {
    layout.AddSymbol(1, "cell")->AddRectangle(0, 0, 5, 5, 1);
    const std::vector<double> angles = {
        0.1,   1.0 / 3,         30,   45.5, 89.99999999999, std::nextafter(90.0, 0.0), 123.456789012345,
        271.3, 359.99999999999, 1e-9, 7e-5};
    for (double angle : angles) main->InsertArray(1, {0, 0}, {10, 0}, {0, 10}, 2, 2, 1.0, angle);
    main->InsertArray(1, {0, 0}, {10, 0}, {0, 10}, 2, 2, 0.0, 30);
    main->InsertArray(1, {0, 0}, {10, 0}, {0, 10}, 2, 2, -0.0, 30);
    const auto e = Elements();
    ASSERT_EQ(e.size(), angles.size()) << "no AREF for magnification 0";
    for (const auto& element : e) {
        for (const GdsRecord& r : element) EXPECT_NE(r.type, g::MAG);
    }
    Layout loaded;
    loaded.Clear();
    ASSERT_TRUE(LoadGdsFile(loaded, path).Read());
    std::vector<double> back;
    for (const Word* r = loaded.MainSymbol()->FirstRecord(); r; r = loaded.MainSymbol()->NextRecord(r)) {
        if (RecordKind(r) == ObjectKind::SymbolArray) back.push_back(ArrayView(r).AngleDegrees());
    }
    ASSERT_EQ(back.size(), angles.size());
    for (std::size_t k = 0; k < angles.size(); ++k) {
        EXPECT_EQ(std::bit_cast<std::uint64_t>(back[k]), std::bit_cast<std::uint64_t>(angles[k])) << angles[k];
    }
}

// The messages after the write come together in one order: stretched calls,
// then the 8191-node error or else the 200-node warning.
TEST_F(GdsWriter, MessagesTogether) {
    struct Case {
        bool stretched;
        int polygonNodes, wireNodes;  // 0: none
        std::vector<std::string> texts;
    };
    const std::vector<Case> cases = {
        {true, 0, 0, {kStretched}},
        {true, 200, 0, {kStretched, kManyNodes}},
        {true, 0, 201, {kStretched, kManyNodes}},
        {true, 9000, 201, {kStretched, kTooManyNodes}},
        {false, 201, 8192, {kTooManyNodes}},
        {false, 199, 200, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.polygonNodes) + " " + std::to_string(c.wireNodes));
        layout.Clear();
        main = layout.MainSymbol();
        layout.AddSymbol(1, "cell")->AddRectangle(0, 0, 5, 5, 1);
        if (c.stretched) main->InsertSymbolCallMatrix(1, {1, 0, 0, 2, 0, 0});
        std::vector<Point> nodes;
        for (int k = 0; k < std::max(c.polygonNodes, c.wireNodes); ++k) nodes.push_back({k, k % 2});
        if (c.polygonNodes) main->AddPolygon(nodes.data(), c.polygonNodes, 1);
        if (c.wireNodes) main->AddWire(nodes.data(), c.wireNodes, 4, 0, 1);
        Write();
        EXPECT_EQ(Texts(), c.texts);
    }
}

// A layer that holds one datatype of a GDSII layer number away from its slot
// is written with that number; a plain layer with its index.
TEST_F(GdsWriter, LayersWithTheirGdsiiNumber) {
    main->AddRectangle(0, 0, 1, 1, 250);
    main->AddRectangle(0, 0, 1, 1, 7);
    main->AddRectangle(0, 0, 1, 1, 9);
    auto pin = std::make_unique<LayerDescription>(250, "68/16");
    pin->gdsLayer = 68;
    pin->dataType = 16;
    layout.SetLayer(std::move(pin));
    layout.SetLayer(std::make_unique<LayerDescription>(7, "", -1, -1, FillSolid, OutlineSolid, 20));
    const auto e = Elements();
    ASSERT_EQ(e.size(), 3u);
    const std::pair<int, int> expected[] = {{68, 16}, {7, 20}, {9, 0}};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(e[k][1].Short(), expected[k].first);
        EXPECT_EQ(e[k][2].Short(), expected[k].second);
    }
}

TEST_F(GdsWriter, NamesAreCutMadeUniqueAndReadBack) {
    const std::string longName = "a symbol name longer than thirty-two characters";
    layout.AddSymbol(1, longName + " one")->AddRectangle(0, 0, 1, 1, 0);
    layout.AddSymbol(2, longName + " two")->AddRectangle(0, 0, 2, 2, 0);
    layout.AddSymbol(3, "with_underscore")->AddRectangle(0, 0, 3, 3, 0);
    layout.AddSymbol(4, "with underscore")->AddRectangle(0, 0, 4, 4, 0);
    for (std::int32_t id : {1, 2, 3, 4}) main->InsertSymbolCall(id, 0, 0);
    const auto records = Write();
    std::vector<std::string> structures, references;
    for (const GdsRecord& r : records) {
        if (r.type == g::STRNAME) structures.push_back(r.data);
        if (r.type == g::SNAME) references.push_back(r.data);
    }
    EXPECT_EQ(structures, (std::vector<std::string>{
                              "MainSymbol", "a_symbol_name_longer_than_thirty", "a_symbol_name_longer_than_thir_2",
                              std::string("with_underscore\0", 16), std::string("with_underscore_2\0", 18)}));
    EXPECT_EQ(references, (std::vector<std::string>(structures.begin() + 1, structures.end())));
    ASSERT_EQ(messages.messages.size(), 2u);
    EXPECT_EQ(messages.messages[0],
              (RecordedMessage{
                  "The symbol name:\n'" + longName + " one'\nwas truncated to the maximum of 32 characters", "Error"}));

    Layout loaded;
    loaded.Clear();
    ASSERT_TRUE(LoadGdsFile(loaded, path).Read());
    ASSERT_NE(loaded.FindSymbolByName("a symbol name longer than thirty"), nullptr);
    ASSERT_NE(loaded.FindSymbolByName("with underscore 2"), nullptr);
    EXPECT_EQ(loaded.FindSymbolByName("with underscore 2")->FirstRecord()[3], 4);
}

TEST_F(GdsWriter, NamesCutAlikeTakeTheNextFreeSuffix) {
    // A suffix already taken by a name of its own is stepped over, and later
    // names go on from there.
    const std::string longName = "a symbol name longer than thirty-two characters";
    const char* names[] = {" one", nullptr, " two", " three", " four"};
    std::int32_t id = 1;
    for (const char* suffix : names) {
        const std::string name = suffix ? longName + suffix : "a_symbol_name_longer_than_thir_3";
        layout.AddSymbol(id, name)->AddRectangle(0, 0, id, id, 0);
        main->InsertSymbolCall(id++, 0, 0);
    }
    std::vector<std::string> structures;
    for (const GdsRecord& r : Write()) {
        if (r.type == g::STRNAME) structures.push_back(r.data);
    }
    EXPECT_EQ(structures,
              (std::vector<std::string>{"MainSymbol", "a_symbol_name_longer_than_thirty",
                                        "a_symbol_name_longer_than_thir_3", "a_symbol_name_longer_than_thir_2",
                                        "a_symbol_name_longer_than_thir_4", "a_symbol_name_longer_than_thir_5"}));
}

TEST_F(GdsWriter, CurvesBecomeBoundariesAndTextsTheirGlyphs) {
    Settings().circleNumSegments = 16;
    Settings().ringNumSegments = 20;
    main->AddCircle(100, 100, 50, 1);
    main->AddRing(0, 0, 100, 10, 1);
    main->AddBox(0, 0, 20, 10, 90, 2);
    // A text head with one glyph polygon as its member.
    LOGFONTA font = ModelSettings::DefaultTextFont();
    main->AddText(0, 0, 1, "I", 1000, font, 3);
    const Point glyph[] = {{0, 0}, {100, 0}, {100, 700}, {0, 700}, {0, 0}, {50, 50}};
    Word* member = main->AddPolygon(glyph, 6, 3);
    SetMemberBit(member, true);
    const auto e = Elements();
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[0][3].Points(), 17u);
    EXPECT_EQ(e[0][3].Point(0), (std::pair<std::int32_t, std::int32_t>{150, 100}));
    EXPECT_EQ(e[0][3].Point(16), e[0][3].Point(0));
    EXPECT_EQ(e[1][3].Points(), 2u * 20 + 2 + 1);
    EXPECT_EQ(PointsOf(e[2][3]), (Points{{-5, -10}, {5, -10}, {5, 10}, {-5, 10}, {-5, -10}}));
    EXPECT_EQ(e[3][1].Short(), 3);
    EXPECT_EQ(e[3][3].Points(), 7u);
    for (const auto& element : e) EXPECT_EQ(element[0].type, g::BOUNDARY);
}

TEST_F(GdsWriter, FailedWritesLeaveTheOldFile) {
    EXPECT_FALSE(SaveGdsFile(layout, Path("no/such/folder/x.gds")).Write());
    EXPECT_TRUE(messages.messages.empty()) << "a file that cannot be created fails silently";
    EXPECT_FALSE(SaveGdsFile(layout, dir.string()).Write()) << "a folder cannot be replaced";
    EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"Unable to save file!", "Error"}}));
    messages.messages.clear();
    const std::string old = WriteFile("old.gds", "old contents");
    if (::geteuid() != 0) {
        std::filesystem::permissions(dir, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        EXPECT_FALSE(SaveGdsFile(layout, old).Write());
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
    }
    EXPECT_EQ(ReadFile(old), "old contents");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "no temporary file is left";
}

}  // namespace
