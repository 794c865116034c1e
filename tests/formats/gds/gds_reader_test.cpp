// The GDSII reader: the library head, elements and references, names,
// layers, warnings, and damaged or hostile streams.
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "formats/gds/GdsStream.h"
#include "formats/gds/LoadGdsFile.h"
#include "model/Layout.h"
#include "model/RecordViews.h"
#include "platform/headless/RecordingMessages.h"
#include "support/ScratchTest.h"

using namespace zandor;
using platform::headless::RecordedMessage;
using platform::headless::ScopedMessageCapture;
using test::GdsBuilder;
namespace g = zandor::gds;

namespace {

std::vector<Word*> Records(SymbolDescription* s) {
    std::vector<Word*> out;
    if (!s) return out;
    for (Word* r = s->FirstRecord(); r; r = s->NextRecord(r)) out.push_back(r);
    return out;
}

class GdsReader : public test::ScratchTest {
protected:
    bool Read(const std::string& bytes, const std::string& name = "in.gds") {
        path = WriteFile(name, bytes);
        layout.Clear();
        messages.messages.clear();
        return LoadGdsFile(layout, path).Read();
    }
    bool Read(const GdsBuilder& b) { return Read(b.bytes); }

    std::vector<std::string> Errors() const {
        std::vector<std::string> out;
        for (const auto& m : messages.messages) {
            if (m.caption == "Error") out.push_back(m.text);
        }
        return out;
    }
    std::vector<std::string> Warnings() const {
        std::vector<std::string> out;
        for (const auto& m : messages.messages) {
            if (m.caption == "Warning") out.push_back(m.text);
        }
        return out;
    }
    SymbolDescription* Named(const std::string& name) { return layout.FindSymbolByName(name); }
    // The only record of the structure "S".
    Word* Only() {
        const auto r = Records(Named("S"));
        EXPECT_EQ(r.size(), 1u);
        return r.empty() ? nullptr : r[0];
    }

    Layout layout;
    ScopedMessageCapture messages;
    std::string path;
};

// ---------------------------------------------------------------------------
// The library head

TEST_F(GdsReader, RejectedHeads) {
    const std::string validHead = GdsBuilder().Shorts(g::HEADER, {600}).bytes;
    const std::string bgnlib = GdsBuilder().Shorts(g::BGNLIB, {2024, 1, 2, 3, 4, 5, 2024, 1, 2, 3, 4, 5}).bytes;
    struct Case {
        const char* what;
        std::string bytes;
        std::string message;  // {} stands for the file name
    };
    const std::vector<Case> cases = {
        {"empty file", "", "The file {} is not a valid GDS-II file."},
        {"text file", "HEADER 600\n", "The file {} is not a valid GDS-II file."},
        {"HEADER with another data type", GdsBuilder().Shorts(g::HEADER, {600}).bytes.replace(3, 1, 1, '\3'),
         "The file {} is not a valid GDS-II file."},
        {"short BGNLIB", validHead + GdsBuilder().Shorts(g::BGNLIB, {2024, 1, 2, 3, 4, 5, 2024, 1, 2, 3, 4}).bytes,
         "Illegal size of BGNLIB record: 26"},
        {"BGNLIB of another type", validHead + std::string(bgnlib).replace(2, 1, 1, '\5'), "Missing BGNLIB record."},
        {"file ends in BGNLIB", validHead + bgnlib.substr(0, 10), "Missing BGNLIB record."},
        {"no UNITS", validHead + bgnlib + GdsBuilder().Ascii(g::LIBNAME, "L").Structure("S").EndLibrary().bytes,
         "Missing UNITS record."},
        {"UNITS cut short",
         validHead + bgnlib + GdsBuilder().Ascii(g::LIBNAME, "L").Reals(g::UNITS, {1e-3, 1e-9}).bytes.substr(0, 18),
         "Missing UNITS record."},
        {"database unit zero", GdsBuilder().Head(0).bytes, "The UNITS record of {} gives no valid database unit."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(Read(c.bytes));
        std::string message = c.message;
        if (const auto at = message.find("{}"); at != std::string::npos) message.replace(at, 2, path);
        EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{message, "Error"}}));
    }
}

TEST_F(GdsReader, MissingLibraryNameIsReportedAndReadingGoesOn) {
    GdsBuilder b;
    b.Shorts(g::HEADER, {600}).Shorts(g::BGNLIB, {2024, 1, 2, 3, 4, 5, 2024, 1, 2, 3, 4, 5});
    b.Reals(g::UNITS, {1e-3, 1e-9}).Structure("S").Boundary(1, {{0, 0}, {0, 5}, {5, 5}, {5, 0}, {0, 0}});
    b.EndStructure().EndLibrary();
    EXPECT_TRUE(Read(b));
    EXPECT_EQ(Errors(), (std::vector<std::string>{"Missing LIBNAME record."}));
    EXPECT_EQ(Records(Named("S")).size(), 1u) << "the UNITS right after BGNLIB is used";
}

TEST_F(GdsReader, FileWithoutEndlibLoadsWhatItHolds) {
    GdsBuilder b;
    b.Head().Structure("S").Boundary(1, {{0, 0}, {0, 5}, {5, 5}, {5, 0}, {0, 0}}).EndStructure();
    EXPECT_TRUE(Read(b));
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(Records(Named("S")).size(), 1u);
    // The same with the zero padding of a block-written file.
    EXPECT_TRUE(Read(b.bytes + std::string(100, '\0')));
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(Records(Named("S")).size(), 1u);
}

// A structure's store grows in large steps while it is read and is trimmed
// to its records at its end, also when the file lost its ENDSTR.
TEST_F(GdsReader, StructureStoresAreTrimmed) {
    GdsBuilder b;
    b.Head().Structure("S");
    for (int k = 0; k < 3000; ++k) b.Boundary(1, {{k, 0}, {k, 5}, {k + 5, 5}, {k + 5, 0}, {k, 0}});
    b.EndStructure();
    const std::string whole = b.bytes;
    b.Structure("T").Boundary(1, {{0, 0}, {0, 5}, {5, 5}, {5, 0}, {0, 0}});
    for (const std::string& bytes : {whole + GdsBuilder().EndLibrary().bytes, b.bytes}) {
        ASSERT_TRUE(Read(bytes));
        for (const char* name : {"S", "T"}) {
            SymbolDescription* s = Named(name);
            if (!s) continue;
            SCOPED_TRACE(name);
            EXPECT_EQ(s->growStep, 1024);
            EXPECT_EQ(s->capacity, s->usedWords + 1);
        }
    }
    EXPECT_EQ(Records(Named("S")).size(), 3000u);
}

// ---------------------------------------------------------------------------
// Elements

TEST_F(GdsReader, BoundariesBecomeRectanglesOrPolygons) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::int32_t, std::int32_t>> points;
        ObjectKind kind;
        std::vector<Point> nodes;  // polygon nodes, or the two rectangle corners
    };
    const std::vector<Case> cases = {
        {"5 points, vertical edge first",
         {{0, 0}, {0, 20}, {10, 20}, {10, 0}, {0, 0}},
         ObjectKind::Rectangle,
         {{0, 0}, {10, 20}}},
        {"5 points, horizontal edge first",
         {{10, 20}, {0, 20}, {0, 0}, {10, 0}, {10, 20}},
         ObjectKind::Rectangle,
         {{0, 0}, {10, 20}}},
        {"6 points, closing point twice",
         {{0, 0}, {10, 0}, {10, 20}, {0, 20}, {0, 0}, {0, 0}},
         ObjectKind::Rectangle,
         {{0, 0}, {10, 20}}},
        {"4 points, not closed", {{0, 0}, {10, 0}, {10, 20}, {0, 20}}, ObjectKind::Rectangle, {{0, 0}, {10, 20}}},
        {"rotated square",
         {{0, 0}, {10, 10}, {0, 20}, {-10, 10}, {0, 0}},
         ObjectKind::Polygon,
         {{0, 0}, {10, 10}, {0, 20}, {-10, 10}}},
        {"triangle closed twice",
         {{0, 0}, {10, 0}, {0, 10}, {0, 0}, {0, 0}},
         ObjectKind::Polygon,
         {{0, 0}, {10, 0}, {0, 10}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GdsBuilder b;
        b.Head().Structure("S").Empty(g::BOUNDARY).Shorts(g::LAYER, {3}).Shorts(g::DATATYPE, {7});
        b.Xy(c.points).Empty(g::ENDEL).EndStructure().EndLibrary();
        ASSERT_TRUE(Read(b));
        EXPECT_TRUE(messages.messages.empty());
        Word* r = Only();
        ASSERT_NE(r, nullptr);
        ASSERT_EQ(RecordKind(r), c.kind);
        EXPECT_EQ(RecordLayer(r), 3);
        if (c.kind == ObjectKind::Rectangle) {
            EXPECT_EQ((Rect{r[1], r[2], r[3], r[4]}), (Rect{c.nodes[0].X, c.nodes[0].Y, c.nodes[1].X, c.nodes[1].Y}));
        } else {
            EXPECT_EQ(std::vector<Point>(PolygonNodes(r), PolygonNodes(r) + PolygonNodeCount(r)), c.nodes);
        }
        ASSERT_NE(layout.Layer(3), nullptr);
        EXPECT_EQ(layout.Layer(3)->dataType, 7u);
        EXPECT_EQ(layout.Layer(3)->name, "Layer 3");
    }
}

TEST_F(GdsReader, PathTypes) {
    struct Case {
        int pathType;
        int endStyle;  // -1: nothing added
        Point first, last;
    };
    // Path type 4 carries its own extensions (10 at the start, 5 at the end).
    const std::vector<Case> cases = {
        {0, static_cast<int>(EndStyle::Flat), {0, 0}, {100, 50}},
        {1, static_cast<int>(EndStyle::Round), {0, 0}, {100, 50}},
        {2, static_cast<int>(EndStyle::Extended), {0, 0}, {100, 50}},
        {4, static_cast<int>(EndStyle::Flat), {-10, 0}, {100, 55}},
        {3, -1, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pathType);
        GdsBuilder b;
        b.Head().Structure("S").Empty(g::PATH).Shorts(g::LAYER, {1}).Shorts(g::DATATYPE, {0});
        b.Shorts(g::PATHTYPE, {c.pathType}).Longs(g::WIDTH, {20});
        b.Longs(g::BGNEXTN, {10}).Longs(g::ENDEXTN, {5});
        b.Xy({{0, 0}, {100, 0}, {100, 50}}).Empty(g::ENDEL).EndStructure().EndLibrary();
        ASSERT_TRUE(Read(b));
        const auto r = Records(Named("S"));
        if (c.endStyle < 0) {
            EXPECT_TRUE(r.empty());
            EXPECT_EQ(Warnings(), (std::vector<std::string>{
                                      "The file contains paths of an unknown path type, which have been left out."}));
            continue;
        }
        EXPECT_TRUE(messages.messages.empty());
        ASSERT_EQ(r.size(), 1u);
        ASSERT_EQ(RecordKind(r[0]), ObjectKind::Wire);
        EXPECT_EQ(WireEndStyle(r[0][5]), c.endStyle);
        EXPECT_EQ(WidthOf(r[0][5]), 20);
        ASSERT_EQ(WireNodeCount(r[0]), 3);
        EXPECT_EQ(WireNodes(r[0])[0], c.first);
        EXPECT_EQ(WireNodes(r[0])[1], (Point{100, 0}));
        EXPECT_EQ(WireNodes(r[0])[2], c.last);
    }
}

TEST_F(GdsReader, BoxElements) {
    GdsBuilder b;
    b.Head().Structure("S");
    b.Empty(g::BOX).Shorts(g::LAYER, {2}).Shorts(g::BOXTYPE, {0});
    b.Xy({{0, 0}, {0, 20}, {10, 20}, {10, 0}, {0, 0}}).Empty(g::ENDEL);
    // A box turned by 45 degrees: 20 long, 10 wide around (0, 0) in whole units.
    b.Empty(g::BOX).Shorts(g::LAYER, {2}).Shorts(g::BOXTYPE, {0});
    b.Xy({{-1000, -1000}, {1000, 1000}, {500, 1500}, {-1500, -500}, {-1000, -1000}}).Empty(g::ENDEL);
    b.EndStructure().EndLibrary();
    ASSERT_TRUE(Read(b));
    EXPECT_TRUE(messages.messages.empty());
    const auto r = Records(Named("S"));
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(RecordKind(r[0]), ObjectKind::Rectangle);
    EXPECT_EQ((Rect{r[0][1], r[0][2], r[0][3], r[0][4]}), (Rect{0, 0, 10, 20}));
    ASSERT_EQ(RecordKind(r[1]), ObjectKind::Box);
    EXPECT_EQ(r[1][1], -250);  // (-1000 + 1000 + 500 - 1500) / 4
    EXPECT_EQ(r[1][2], 250);
    EXPECT_EQ(r[1][3], 2828);  // |p1 - p0|
    EXPECT_EQ(r[1][4], 707);   // |p3 - p0|
    EXPECT_EQ(r[1][5], 45000);
}

TEST_F(GdsReader, TextHeightPositionAndLayer) {
    GdsBuilder b;
    b.Head().Structure("S");
    b.Empty(g::TEXT).Shorts(g::LAYER, {4}).Shorts(g::TEXTTYPE, {0}).Shorts(g::STRANS, {0});
    b.Reals(g::MAG, {2.5}).Xy({{100, -200}}).Ascii(g::STRING, "VDD").Empty(g::ENDEL);
    // An even-length string has no padding NUL; an odd one ends at its NUL.
    b.Empty(g::TEXT).Shorts(g::LAYER, {5}).Xy({{7, 8}}).Ascii(g::STRING, "GND1", false).Empty(g::ENDEL);
    b.EndStructure().EndLibrary();
    ASSERT_TRUE(Read(b));
    EXPECT_TRUE(messages.messages.empty()) << "a text's LAYER after another element's is no duplicate";
    std::vector<Word*> heads;
    for (Word* r : Records(Named("S"))) {
        if (RecordKind(r) == ObjectKind::Text) heads.push_back(r);
    }
    ASSERT_EQ(heads.size(), 2u);
    EXPECT_EQ(TextChars(heads[0]), "VDD");
    EXPECT_EQ(heads[0][4], 2500);
    EXPECT_EQ((Point{heads[0][1], heads[0][2]}), (Point{100, -200}));
    EXPECT_EQ(RecordLayer(heads[0]), 4);
    EXPECT_EQ(TextChars(heads[1]), "GND1");
    EXPECT_EQ(heads[1][4], 1000);
    EXPECT_EQ((Point{heads[1][1], heads[1][2]}), (Point{7, 8}));
    EXPECT_EQ(RecordLayer(heads[1]), 5);
}

TEST_F(GdsReader, DatabaseUnitScalesCoordinatesAndWidths) {
    GdsBuilder b;
    b.Head(2.5e-9).Structure("S");
    b.Boundary(1, {{1, 1}, {-3, 1}, {-3, 5}, {1, 5}, {1, 1}});  // 2.5 rounds away from zero
    b.Empty(g::PATH).Shorts(g::LAYER, {1}).Longs(g::WIDTH, {-3}).Xy({{0, 0}, {4, 0}}).Empty(g::ENDEL);
    b.Boundary(1, {{0, 0}, {1000000000, 0}, {0, -1000000000}});  // beyond 32 bits once scaled
    b.EndStructure().EndLibrary();
    ASSERT_TRUE(Read(b));
    const auto r = Records(Named("S"));
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ((Rect{r[0][1], r[0][2], r[0][3], r[0][4]}), (Rect{-8, 3, 3, 13}));
    EXPECT_EQ(WidthOf(r[1][5]), 8) << "a negative (absolute) width is still the width";
    EXPECT_EQ(WireNodes(r[1])[1], (Point{10, 0}));
    EXPECT_EQ(PolygonNodes(r[2])[1], (Point{INT32_MAX, 0}));
    EXPECT_EQ(PolygonNodes(r[2])[2], (Point{0, INT32_MIN}));
    EXPECT_EQ(Warnings(), (std::vector<std::string>{"The file contains coordinates beyond the range of the layout; "
                                                    "they have been moved to its border."}));
}

// ---------------------------------------------------------------------------
// Structures and references

TEST_F(GdsReader, ReferenceBeforeDefinitionAndTransforms) {
    GdsBuilder b;
    b.Head().Structure("TOP");
    b.Sref("CELL", 100, 200);
    // Mirrored, turned by 90 degrees and magnified by 2.
    b.Empty(g::SREF).Ascii(g::SNAME, "CELL").Shorts(g::STRANS, {0x8000}).Reals(g::MAG, {2}).Reals(g::ANGLE, {90});
    b.Xy({{5, 6}}).Empty(g::ENDEL);
    b.Empty(g::AREF).Ascii(g::SNAME, "CELL").Shorts(g::STRANS, {0x8000}).Reals(g::ANGLE, {180});
    b.Shorts(g::COLROW, {3, 2}).Xy({{0, 0}, {300, 0}, {0, 200}}).Empty(g::ENDEL);
    b.EndStructure();
    b.Structure("CELL").Boundary(1, {{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}}).EndStructure().EndLibrary();
    ASSERT_TRUE(Read(b));
    EXPECT_TRUE(messages.messages.empty());
    ASSERT_EQ(layout.Symbols().size(), 3u) << "TOP, CELL and the layout's own main symbol";
    SymbolDescription* cell = Named("CELL");
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->Id(), 2) << "numbered in the order the names come";
    EXPECT_EQ(Records(cell).size(), 1u) << "the definition fills the symbol the reference created";
    const auto r = Records(Named("TOP"));
    ASSERT_EQ(r.size(), 3u);
    ASSERT_EQ(RecordKind(r[0]), ObjectKind::SymbolCall);
    EXPECT_EQ(r[0][5], cell->Id());
    EXPECT_EQ(ReadMatrix(r[0] + kCallMatrixWord), (TransformMatrix{1, 0, 0, 1, 100, 200}));
    // x' = 5 + 2(x cos 90 + y sin 90), y' = 6 + 2(x sin 90 - y cos 90): exact zeros.
    EXPECT_EQ(ReadMatrix(r[1] + kCallMatrixWord), (TransformMatrix{0, 2, 2, 0, 5, 6}));
    ASSERT_EQ(RecordKind(r[2]), ObjectKind::SymbolArray);
    EXPECT_EQ(r[2][6], 3);
    EXPECT_EQ(r[2][7], 2);
    EXPECT_EQ((std::vector<Word>(r[2] + 8, r[2] + 14)), (std::vector<Word>{0, 0, 300, 0, 0, 200}));
    EXPECT_EQ(ReadDouble(r[2] + 14), -1.0) << "reflection as a negative magnification";
    EXPECT_EQ(ReadDouble(r[2] + 16), 180.0);
}

TEST_F(GdsReader, NamesLayersAndWarningsInOrder) {
    GdsBuilder b;
    b.Head().Structure("A_B~C(1)");
    // 255 datatypes of layer 1 take every layer but 255, so layer 300 lands there.
    for (int k = 0; k < 255; ++k) {
        b.Empty(g::BOUNDARY).Shorts(g::LAYER, {1}).Shorts(g::DATATYPE, {k});
        b.Xy({{0, 0}, {0, 5}, {5, 5}, {5, 0}, {0, 0}}).Empty(g::ENDEL);
    }
    b.Empty(g::BOUNDARY).Shorts(g::LAYER, {300}).Shorts(g::DATATYPE, {9});
    std::vector<std::pair<std::int32_t, std::int32_t>> many;
    for (int k = 0; k < 201; ++k) many.push_back({k, k % 2});
    many.push_back({0, 0});
    b.Xy(many).Empty(g::ENDEL);
    b.Empty(g::SREF).Ascii(g::SNAME, std::string(40, 'x')).Shorts(g::STRANS, {0x0004}).Xy({{0, 0}}).Empty(g::ENDEL);
    b.Record(70, g::NoData);             // beyond the known record types
    b.Record(44, g::Ascii, "property");  // known but not read
    b.EndStructure().EndLibrary();
    ASSERT_TRUE(Read(b));
    EXPECT_TRUE(Errors().empty());
    ASSERT_NE(Named("A B C[1]"), nullptr) << "'_' and '~' read as blanks; parentheses as brackets";
    EXPECT_NE(Named(std::string(40, 'x')), nullptr) << "long names are kept whole";
    const auto r = Records(Named("A B C[1]"));
    ASSERT_EQ(r.size(), 257u);
    EXPECT_EQ(RecordLayer(r[255]), 255);
    ASSERT_NE(layout.Layer(255), nullptr);
    EXPECT_EQ(layout.Layer(255)->dataType, 9u);
    EXPECT_EQ(layout.Layer(255)->GdsLayer(), 300);
    EXPECT_EQ(Warnings(), (std::vector<std::string>{
                              "The file contains symbol names with more than 32 characters.",
                              "The file contains polygons or wires with more than 200 vertices.",
                              "The file uses more layer and datatype pairs than the 256 layers of a layout. The "
                              "objects of the pairs beyond have been added to the layer of their layer number.",
                              "The file contains layers with an index higher than 255. Objects in these layers have "
                              "been added to layer 255.",
                              "Some unrecognized records have been ignored.",
                              "The file contains absolute angles and magnifications which are not supported!\n"
                              "Some structures may appear in the wrong position or with the wrong size.",
                          }));
}

// Structure names that read as one symbol name ("(" as "[", "_" and "~" as
// blanks) stay two symbols, each with its own geometry and references.
TEST_F(GdsReader, StructureNamesThatReadAlikeStayApart) {
    struct Case {
        std::string first, second;      // structure names in the file, in this order
        std::string firstAs, secondAs;  // the symbol names they get
        bool renamed;
    };
    const std::vector<Case> cases = {
        {"A(1)", "A[1]", "A[1]", "A[1] 2", true},    {"A[1]", "A(1)", "A[1]", "A[1] 2", true},
        {"A_B", "A~B", "A B", "A B 2", true},        {"A B", "A_B", "A B", "A B 2", true},
        {"X(2)", "X[2]_2", "X[2]", "X[2] 2", false},  // no clash: the name only looks like a suffixed one
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first + " " + c.second);
        GdsBuilder b;
        // The references come first, so the names are first met in SNAME.
        b.Head().Structure("TOP").Sref(c.first, 0, 0).Sref(c.second, 100, 0).EndStructure();
        b.Structure(c.first).Boundary(1, {{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}}).EndStructure();
        b.Structure(c.second).Boundary(2, {{0, 0}, {0, 20}, {20, 20}, {20, 0}, {0, 0}}).EndStructure();
        b.EndLibrary();
        ASSERT_TRUE(Read(b));
        EXPECT_TRUE(Errors().empty());
        SymbolDescription* first = Named(c.firstAs);
        SymbolDescription* second = Named(c.secondAs);
        ASSERT_NE(first, nullptr);
        ASSERT_NE(second, nullptr);
        ASSERT_NE(first, second);
        ASSERT_EQ(Records(first).size(), 1u);
        ASSERT_EQ(Records(second).size(), 1u);
        EXPECT_EQ(RecordLayer(Records(first)[0]), 1);
        EXPECT_EQ(RecordLayer(Records(second)[0]), 2);
        const auto top = Records(Named("TOP"));
        ASSERT_EQ(top.size(), 2u);
        EXPECT_EQ(CallView(top[0]).SymbolId(), first->Id());
        EXPECT_EQ(CallView(top[1]).SymbolId(), second->Id());
        if (c.renamed) {
            EXPECT_EQ(Warnings(),
                      (std::vector<std::string>{"The file contains structure names that read as the name of another "
                                                "structure; these structures have been loaded under new names:\n'" +
                                                c.second + "' as '" + c.secondAs + "'"}));
        } else {
            EXPECT_TRUE(Warnings().empty());
        }
    }
}

// Every layer and datatype pair of a file gets a layer of its own: the first
// datatype of a number the slot of that number, the others (and numbers
// above 255) free slots from 254 down, named after the pair.
TEST_F(GdsReader, EachLayerAndDatatypeGetsALayer) {
    struct Element {
        int kind;  // BOUNDARY, PATH, BOX or TEXT
        int layer, type;
    };
    struct Expected {
        int index;
        std::string name;
        int gdsLayer;
        std::uint32_t dataType;
    };
    // As a sky130 cell holds them: metal 1 drawing, pin and label, and
    // KLayout's own test layers above 255.
    const std::vector<Element> elements = {
        {g::BOUNDARY, 68, 20}, {g::BOUNDARY, 68, 16}, {g::TEXT, 68, 5}, {g::PATH, 68, 20},     {g::BOUNDARY, 1000, 0},
        {g::BOX, 1001, 3},     {g::BOUNDARY, 254, 0}, {g::TEXT, 67, 5}, {g::BOUNDARY, 67, 20},
    };
    const std::vector<Expected> expected = {
        {68, "Layer 68", 68, 20}, {254, "68/16", 68, 16},   {253, "68/5", 68, 5},
        {68, "Layer 68", 68, 20}, {252, "1000/0", 1000, 0}, {251, "1001/3", 1001, 3},
        {250, "254/0", 254, 0},   {67, "Layer 67", 67, 5},  {249, "67/20", 67, 20},
    };
    GdsBuilder b;
    b.Head().Structure("S");
    for (const Element& e : elements) {
        b.Empty(e.kind).Shorts(g::LAYER, {e.layer});
        const int typeRecord = e.kind == g::TEXT ? g::TEXTTYPE : e.kind == g::BOX ? g::BOXTYPE : g::DATATYPE;
        b.Shorts(typeRecord, {e.type});
        if (e.kind == g::PATH) b.Longs(g::WIDTH, {10});
        if (e.kind == g::TEXT) {
            b.Xy({{0, 0}}).Ascii(g::STRING, "A");
        } else if (e.kind == g::PATH) {
            b.Xy({{0, 0}, {100, 0}});
        } else {
            b.Xy({{0, 0}, {0, 5}, {5, 5}, {5, 0}, {0, 0}});
        }
        b.Empty(g::ENDEL);
    }
    b.EndStructure().EndLibrary();
    ASSERT_TRUE(Read(b));
    EXPECT_TRUE(messages.messages.empty());
    std::vector<int> layers;  // of the element heads (texts: their head)
    for (Word* r : Records(Named("S"))) {
        if (!IsMember(r)) layers.push_back(RecordLayer(r));
    }
    ASSERT_EQ(layers.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k) {
        SCOPED_TRACE(k);
        const Expected& e = expected[k];
        EXPECT_EQ(layers[k], e.index);
        const LayerDescription* l = layout.Layer(e.index);
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(l->name, e.name);
        EXPECT_EQ(l->GdsLayer(), e.gdsLayer);
        EXPECT_EQ(l->dataType, e.dataType);
    }
    EXPECT_EQ(layout.LayerCount(), 8);
}

// The STRANS bits for absolute magnification and angle are warned about and
// the values taken as relative; reflection mirrors about the x axis before
// the rotation, also at angles off the quarter turns.
TEST_F(GdsReader, ReferenceTransformsAndAbsoluteBits) {
    const double c30 = std::cos(kPi / 6), s30 = std::sin(kPi / 6);
    struct Case {
        int bits;
        double mag, angle;
        TransformMatrix matrix;
        bool absoluteWarning;
    };
    const std::vector<Case> cases = {
        {0x0000, 1, 30, {c30, s30, -s30, c30, 5, 6}, false},
        {0x8000, 1, 30, {c30, s30, s30, -c30, 5, 6}, false},
        {0x0000, 2, 210, {-2 * c30, -2 * s30, 2 * s30, -2 * c30, 5, 6}, false},
        {0x0002, 1, 90, {0, 1, -1, 0, 5, 6}, true},
        {0x0004, 3, 0, {3, 0, 0, 3, 5, 6}, true},
        {0x8006, 1, 45, {std::cos(kPi / 4), std::sin(kPi / 4), std::sin(kPi / 4), -std::cos(kPi / 4), 5, 6}, true},
    };
    const std::string absoluteText =
        "The file contains absolute angles and magnifications which are not supported!\n"
        "Some structures may appear in the wrong position or with the wrong size.";
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits) + " " + std::to_string(c.angle));
        GdsBuilder b;
        b.Head().Structure("S").Empty(g::SREF).Ascii(g::SNAME, "CELL").Shorts(g::STRANS, {c.bits});
        b.Reals(g::MAG, {c.mag}).Reals(g::ANGLE, {c.angle}).Xy({{5, 6}}).Empty(g::ENDEL);
        b.Empty(g::AREF).Ascii(g::SNAME, "CELL").Shorts(g::STRANS, {c.bits}).Reals(g::MAG, {c.mag});
        b.Reals(g::ANGLE, {c.angle}).Shorts(g::COLROW, {2, 3}).Xy({{0, 0}, {20, 0}, {0, 30}}).Empty(g::ENDEL);
        b.EndStructure().Structure("CELL").Boundary(1, {{0, 0}, {0, 5}, {5, 5}, {5, 0}, {0, 0}});
        b.EndStructure().EndLibrary();
        ASSERT_TRUE(Read(b));
        EXPECT_EQ(Warnings(), c.absoluteWarning ? std::vector<std::string>{absoluteText} : std::vector<std::string>{});
        const auto r = Records(Named("S"));
        ASSERT_EQ(r.size(), 2u);
        const TransformMatrix m = ReadMatrix(r[0] + kCallMatrixWord);
        const double got[] = {m.a, m.b, m.c, m.d, m.tx, m.ty};
        const double want[] = {c.matrix.a, c.matrix.b, c.matrix.c, c.matrix.d, c.matrix.tx, c.matrix.ty};
        for (int k = 0; k < 6; ++k) EXPECT_NEAR(got[k], want[k], 1e-12) << k;
        const ArrayView array(r[1]);
        EXPECT_EQ(array.Magnification(), (c.bits & 0x8000) ? -c.mag : c.mag);
        EXPECT_EQ(array.AngleDegrees(), c.angle) << "stored as read";
    }
}

// A text's ANGLE turns the text and its glyphs about the text's position.
TEST_F(GdsReader, RotatedTexts) {
    for (double angle : {0.0, 30.0, 90.0, 200.0}) {
        SCOPED_TRACE(angle);
        GdsBuilder b;
        b.Head().Structure("S").Empty(g::TEXT).Shorts(g::LAYER, {4}).Shorts(g::TEXTTYPE, {0});
        b.Shorts(g::STRANS, {0}).Reals(g::ANGLE, {angle}).Xy({{1000, 2000}}).Ascii(g::STRING, "HI").Empty(g::ENDEL);
        b.EndStructure().EndLibrary();
        ASSERT_TRUE(Read(b));
        EXPECT_TRUE(messages.messages.empty());
        const auto r = Records(Named("S"));
        ASSERT_GT(r.size(), 1u);
        ASSERT_EQ(RecordKind(r[0]), ObjectKind::Text);
        const TransformMatrix m = TextView(r[0]).Matrix();
        const double radians = angle * kPi / 180;
        EXPECT_NEAR(m.a, std::cos(radians), 1e-9);
        EXPECT_NEAR(m.b, std::sin(radians), 1e-9);
        EXPECT_NEAR(m.tx, 1000, 1e-6);
        EXPECT_NEAR(m.ty, 2000, 1e-6);
        // The glyphs run along the text's direction from its position: their
        // centre lies on the ray at the angle, within the text height.
        double sx = 0, sy = 0;
        int n = 0;
        for (std::size_t k = 1; k < r.size(); ++k) {
            ASSERT_TRUE(IsMember(r[k]));
            ASSERT_EQ(RecordKind(r[k]), ObjectKind::Polygon);
            EXPECT_EQ(RecordLayer(r[k]), 4);
            for (int p = 0; p < PolygonNodeCount(r[k]); ++p, ++n) {
                sx += PolygonNodes(r[k])[p].X - 1000;
                sy += PolygonNodes(r[k])[p].Y - 2000;
            }
        }
        ASSERT_GT(n, 0);
        const double along = (sx * std::cos(radians) + sy * std::sin(radians)) / n;
        const double across = (-sx * std::sin(radians) + sy * std::cos(radians)) / n;
        EXPECT_GT(along, 100) << "the characters follow the angle";
        EXPECT_GT(across, 0) << "and stand on its left side";
        EXPECT_LT(across, 1000);
    }
}

TEST_F(GdsReader, ElementWithoutLayerGoesToLayer255WithoutDescription) {
    GdsBuilder b;
    b.Head().Structure("S").Empty(g::BOUNDARY).Xy({{0, 0}, {0, 5}, {5, 5}, {5, 0}, {0, 0}}).Empty(g::ENDEL);
    b.EndStructure().EndLibrary();
    ASSERT_TRUE(Read(b));
    Word* r = Only();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(RecordLayer(r), 255);
    EXPECT_EQ(layout.Layer(255), nullptr);
}

TEST_F(GdsReader, CyclesAreRefusedAndOnlyNineMessagesShown) {
    // A calls B; B calls A twelve times over.
    GdsBuilder b;
    b.Head().Structure("A").Sref("B", 0, 0).EndStructure().Structure("B");
    for (int k = 0; k < 12; ++k) b.Sref("A", k, 0);
    b.Sref("B", 0, 0);  // itself
    b.Boundary(1, {{0, 0}, {0, 5}, {5, 5}, {5, 0}, {0, 0}}).EndStructure().EndLibrary();
    ASSERT_TRUE(Read(b));
    ASSERT_EQ(Errors().size(), 9u);
    EXPECT_EQ(Errors()[0],
              "The structure A cannot be placed in B, which it contains itself.\nThe reference has been left out.");
    EXPECT_EQ(Records(Named("B")).size(), 1u) << "the boundary after the refused references is read";
    for (const auto& s : layout.Symbols()) EXPECT_FALSE(s->CallsSymbol(s->Id())) << s->Name();
}

TEST_F(GdsReader, ErrorsStopTheReadAndKeepWhatWasRead) {
    struct Case {
        const char* what;
        GdsBuilder rest;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"HEADER", GdsBuilder().Shorts(g::HEADER, {600}), "Unexpected HEADER record."},
        {"UNITS", GdsBuilder().Reals(g::UNITS, {1e-3, 1e-9}), "Unexpected UNITS record."},
        {"BGNSTR", GdsBuilder().Structure("T"), "Missing ENDSTR record."},
        {"LAYER twice", GdsBuilder().Empty(g::BOUNDARY).Shorts(g::LAYER, {1}).Shorts(g::LAYER, {2}),
         "Duplicate LAYER record."},
        {"SNAME as integers", GdsBuilder().Empty(g::SREF).Shorts(g::SNAME, {1}), "SNAME record without data."},
        {"BGNLIB", GdsBuilder().Shorts(g::BGNLIB, {2024, 1, 2, 3, 4, 5, 2024, 1, 2, 3, 4, 5}),
         "Unexpected BGNLIB record."},
        {"ENDSTR twice", GdsBuilder().EndStructure().EndStructure(), "ENDSTR record without BGNSTR."},
        {"STRNAME as integers",
         GdsBuilder()
             .EndStructure()
             .Shorts(g::BGNSTR, {2024, 1, 2, 3, 4, 5, 2024, 1, 2, 3, 4, 5})
             .Shorts(g::STRNAME, {1}),
         "STRNAME record without data."},
        {"DATATYPE twice",
         GdsBuilder().Empty(g::BOUNDARY).Shorts(g::LAYER, {1}).Shorts(g::DATATYPE, {0}).Shorts(g::DATATYPE, {1}),
         "Duplicate DATATYPE record."},
        {"TEXTTYPE twice",
         GdsBuilder().Empty(g::TEXT).Shorts(g::LAYER, {1}).Shorts(g::TEXTTYPE, {5}).Shorts(g::TEXTTYPE, {5}),
         "Duplicate TEXTTYPE record."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GdsBuilder b;
        b.Head().Structure("S").Boundary(300, {{0, 0}, {0, 5}, {5, 5}, {5, 0}, {0, 0}});
        b.bytes += c.rest.bytes;
        b.Boundary(1, {{0, 0}, {0, 5}, {5, 5}, {5, 0}, {0, 0}}).EndStructure().EndLibrary();
        WriteFile("in.map", "# Zandor 3.1 Layer Map\r\n7 Poly/0f00ff00\r\n");
        ASSERT_TRUE(Read(b));
        EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{c.message, "Error"}}))
            << "no warnings after an error";
        EXPECT_EQ(Records(Named("S")).size(), 1u) << "what came before the error stays";
        EXPECT_EQ(layout.Layer(7), nullptr) << "no layer map after an error";
    }
}

TEST_F(GdsReader, BadRecordLengthAndPointsOutsideAStructure) {
    GdsBuilder b;
    b.Head().Structure("S").Boundary(1, {{0, 0}, {0, 5}, {5, 5}, {5, 0}, {0, 0}});
    const std::string head = b.bytes;
    ASSERT_TRUE(Read(head + std::string("\x00\x02\x11\x00", 4) + GdsBuilder().EndStructure().bytes));
    EXPECT_EQ(Errors(), (std::vector<std::string>{"Invalid record length 2 at byte " + std::to_string(head.size()) +
                                                  " of the file."}));
    EXPECT_EQ(Records(Named("S")).size(), 1u);

    ASSERT_TRUE(Read(GdsBuilder().Head().Boundary(1, {{0, 0}, {0, 5}, {5, 5}}).bytes));
    EXPECT_EQ(Errors(), (std::vector<std::string>{"XY record outside symbol definition"}));
}

TEST_F(GdsReader, LayerMapBesideTheFile) {
    GdsBuilder b;
    b.Head().Structure("S").Boundary(3, {{0, 0}, {0, 5}, {5, 5}, {5, 0}, {0, 0}});
    b.Boundary(8, {{0, 0}, {0, 5}, {5, 5}, {5, 0}, {0, 0}}).EndStructure().EndLibrary();
    WriteFile("chip.map", "# Zandor 3.1 Layer Map\r\n3 Metal/0f00ff00\r\n");
    ASSERT_TRUE(Read(b.bytes, "chip.gds"));
    EXPECT_TRUE(messages.messages.empty());
    ASSERT_NE(layout.Layer(3), nullptr);
    EXPECT_EQ(layout.Layer(3)->name, "Metal");
    EXPECT_EQ(layout.Layer(3)->fillColor, 0x00FF00u);
    ASSERT_NE(layout.Layer(8), nullptr) << "a layer the map lacks keeps its description";
    EXPECT_EQ(layout.Layer(8)->name, "Layer 8");
}

// Every prefix of a valid stream, and the stream with bytes overwritten, reads
// without a fault: false only when the head is incomplete, at most nine errors.
TEST_F(GdsReader, CutAndDamagedStreams) {
    GdsBuilder b;
    b.Head(1e-8).Structure("TOP").Sref("CELL", 1, 2);
    b.Empty(g::AREF).Ascii(g::SNAME, "CELL").Shorts(g::COLROW, {65535, 65535}).Xy({{0, 0}, {9, 0}, {0, 9}});
    b.Empty(g::ENDEL).Empty(g::TEXT).Shorts(g::LAYER, {1}).Xy({{0, 0}}).Ascii(g::STRING, "T").Empty(g::ENDEL);
    b.EndStructure().Structure("CELL").Boundary(2, {{0, 0}, {5, 0}, {0, 5}});
    b.Empty(g::PATH).Shorts(g::LAYER, {3}).Longs(g::WIDTH, {4}).Xy({{0, 0}, {9, 9}}).Empty(g::ENDEL);
    b.Empty(g::BOX).Shorts(g::LAYER, {3}).Xy({{0, 0}, {1, 1}}).Empty(g::ENDEL);
    b.EndStructure().EndLibrary();
    const std::size_t headSize = GdsBuilder().Head(1e-8).bytes.size();
    for (std::size_t n = 0; n <= b.bytes.size(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(Read(b.bytes.substr(0, n)), n >= headSize);
        EXPECT_LE(messages.messages.size(), 9u + 7u);
    }
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::string bytes = b.bytes;
        for (int k = 0; k < 4; ++k) {
            bytes[headSize + random() % (bytes.size() - headSize)] = static_cast<char>(random());
        }
        ASSERT_TRUE(Read(bytes));
        EXPECT_LE(Errors().size(), 9u);
        for (const auto& s : layout.Symbols()) EXPECT_FALSE(s->CallsSymbol(s->Id()));
    }
}

TEST_F(GdsReader, FilesThatCannotBeRead) {
    layout.Clear();
    EXPECT_FALSE(LoadGdsFile(layout, Path("absent.gds")).Read());
    EXPECT_FALSE(LoadGdsFile(layout, dir.string()).Read());
    EXPECT_TRUE(messages.messages.empty());
}

}  // namespace
