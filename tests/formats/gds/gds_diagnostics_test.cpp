// What the GDSII reader and writer report and where: byte offsets and
// structures of the reader's errors, the notes of both for reports, files
// written beside the stream, and reading from memory.
#include <filesystem>
#include <gtest/gtest.h>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "formats/gds/GdsStream.h"
#include "formats/gds/LoadGdsFile.h"
#include "formats/gds/SaveGdsFile.h"
#include "model/Layout.h"
#include "platform/Diagnostics.h"
#include "platform/headless/RecordingMessages.h"
#include "support/ScratchTest.h"

using namespace zandor;
using platform::DiagnosticLog;
using platform::Severity;
using platform::StoredDiagnostic;
using platform::headless::RecordedMessage;
using platform::headless::ScopedMessageCapture;
using test::GdsBuilder;
namespace g = zandor::gds;

namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::vector<StoredDiagnostic> Of(const DiagnosticLog& log, Severity severity) {
    std::vector<StoredDiagnostic> out;
    for (const StoredDiagnostic& d : log.Entries()) {
        if (d.severity == severity) out.push_back(d);
    }
    return out;
}

class GdsDiagnostics : public test::ScratchTest {
protected:
    Layout layout;
    DiagnosticLog log;
    ScopedMessageCapture messages;
};

TEST_F(GdsDiagnostics, ErrorsCarryTheRecordsByteOffsetAndStructure) {
    struct Case {
        const char* what;
        GdsBuilder before;  // up to the faulty record
        GdsBuilder faulty;
        std::string text;
        std::string cell;
    };
    GdsBuilder inTop;
    inTop.Head().Structure("TOP").Empty(g::BOUNDARY).Shorts(g::LAYER, {1});
    GdsBuilder duplicateLayer;
    duplicateLayer.Shorts(g::LAYER, {2});
    GdsBuilder outside;
    outside.Head();
    GdsBuilder points;
    points.Xy({{0, 0}});
    GdsBuilder badLength;
    badLength.bytes = std::string("\0\2\0\0", 4);
    const std::vector<Case> cases = {
        {"duplicate LAYER", inTop, duplicateLayer, "Duplicate LAYER record.", "TOP"},
        {"XY outside a structure", outside, points, "XY record outside symbol definition", ""},
        {"record length below 4", inTop, badLength, "", "TOP"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log.Clear();
        layout.Clear();
        const std::string bytes = c.before.bytes + c.faulty.bytes + GdsBuilder().EndLibrary().bytes;
        ASSERT_TRUE(LoadGdsFile(layout, "damaged.gds", &log).Read(Bytes(bytes)));
        const auto errors = Of(log, Severity::Error);
        ASSERT_EQ(errors.size(), 1u);
        const std::int64_t offset = static_cast<std::int64_t>(c.before.bytes.size());
        const std::string text =
            c.text.empty() ? "Invalid record length 2 at byte " + std::to_string(offset) + " of the file." : c.text;
        EXPECT_EQ(errors[0].text, text);
        EXPECT_EQ(errors[0].offset, offset);
        EXPECT_EQ(errors[0].cell, c.cell);
        EXPECT_EQ(errors[0].file, "damaged.gds");
        EXPECT_EQ(errors[0].line, 0);
        EXPECT_TRUE(errors[0].limited);
    }
    EXPECT_TRUE(messages.messages.empty()) << "a sink of its own replaces the message boxes";
}

TEST_F(GdsDiagnostics, MemoryReadsLikeTheFileButWithoutTheLayerMapBesideIt) {
    const std::string bytes = ReadFile("data/gds/elements.gds");
    ASSERT_FALSE(bytes.empty());
    const std::string path = WriteFile("chip.gds", bytes);
    WriteFile("chip.map", "# Zandor 3.1 Layer Map\r\n3 Metal/0f00ff00\r\n");
    Layout fromFile, fromMemory, fromStream;
    for (Layout* l : {&fromFile, &fromMemory, &fromStream}) l->Clear();
    ASSERT_TRUE(LoadGdsFile(fromFile, path).Read());
    const auto fileMessages = messages.messages;
    messages.messages.clear();
    ASSERT_TRUE(LoadGdsFile(fromMemory, path).Read(Bytes(bytes)));
    EXPECT_EQ(messages.messages, fileMessages);
    messages.messages.clear();
    std::istringstream stream(bytes);
    platform::StreamSource input(stream);
    ASSERT_TRUE(LoadGdsFile(fromStream, path).Read(input));
    EXPECT_EQ(messages.messages, fileMessages);
    ASSERT_NE(fromFile.Layer(3), nullptr);
    EXPECT_EQ(fromFile.Layer(3)->name, "Metal");
    for (const Layout* other : {&fromMemory, &fromStream}) {
        ASSERT_EQ(other->Symbols().size(), fromFile.Symbols().size());
        for (std::size_t k = 0; k < fromFile.Symbols().size(); ++k) {
            EXPECT_EQ(other->Symbols()[k]->Name(), fromFile.Symbols()[k]->Name());
            EXPECT_TRUE(SymbolDescription::SameDefinition(*other->Symbols()[k], *fromFile.Symbols()[k]));
        }
        EXPECT_TRUE(other->Layer(3) == nullptr || other->Layer(3)->name != "Metal") << "no layer map";
    }
}

TEST_F(GdsDiagnostics, ReaderNotesWhatItSkipsOrApproximatesPerStructure) {
    GdsBuilder b;
    b.Head().Structure("A");
    b.Empty(g::NODE).Shorts(g::LAYER, {1}).Shorts(g::NODETYPE, {0}).Xy({{0, 0}}).Empty(g::ENDEL);
    constexpr int kPropAttr = 43, kPropValue = 44;  // properties, which the reader has no use for
    for (int k = 0; k < 2; ++k) {
        b.Empty(g::BOUNDARY).Shorts(g::LAYER, {1}).Xy({{0, 0}, {0, 5}, {5, 5}, {5, 0}, {0, 0}});
        b.Shorts(kPropAttr, {1}).Ascii(kPropValue, "note").Empty(g::ENDEL);
    }
    b.Empty(g::BOUNDARY).Xy({{0, 0}, {0, 5}, {5, 0}, {0, 0}}).Empty(g::ENDEL);  // no LAYER
    b.EndStructure().Structure("B");
    b.Empty(g::AREF).Ascii(g::SNAME, "A").Shorts(g::COLROW, {0, 2}).Xy({{0, 0}, {10, 0}, {0, 10}}).Empty(g::ENDEL);
    b.Shorts(kPropAttr, {1}).EndStructure().EndLibrary();
    layout.Clear();
    ASSERT_TRUE(LoadGdsFile(layout, "notes.gds", &log).Read(Bytes(b.bytes)));
    EXPECT_TRUE(Of(log, Severity::Error).empty());
    EXPECT_TRUE(Of(log, Severity::Warning).empty());
    struct Expected {
        std::string text, cell;
        long count;
    };
    const std::vector<Expected> expected = {
        {"A NODE element was skipped.", "A", 1},
        {"A PROPATTR record was ignored.", "A", 2},
        {"A PROPVALUE record was ignored.", "A", 2},
        {"An element without a LAYER record was put on layer 255.", "A", 1},
        {"An AREF element without a structure, columns, rows or three points was skipped.", "B", 1},
        {"A PROPATTR record was ignored.", "B", 1},
    };
    const auto notes = Of(log, Severity::Info);
    ASSERT_EQ(notes.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(notes[k].text, expected[k].text);
        EXPECT_EQ(notes[k].cell, expected[k].cell) << notes[k].text;
        EXPECT_EQ(notes[k].count, expected[k].count) << notes[k].text;
        EXPECT_EQ(notes[k].offset, -1) << "notes are counted per structure, not per record";
    }
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(GdsDiagnostics, WriterNotesApproximationsAndReportsTheLayerMapItWritesBesideTheStream) {
    layout.Clear();
    layout.SetLayer(std::make_unique<LayerDescription>(1, "one"));
    SymbolDescription* cell = layout.AddSymbol(1, "cell");
    cell->AddCircle(0, 0, 50, 1);
    cell->AddCircle(100, 0, 50, 1);
    cell->AddRing(0, 0, 50, 10, 1);
    layout.MainSymbol()->InsertSymbolCall(1, 0, 0);
    layout.MainSymbol()->InsertSymbolCall(42, 0, 0);  // no such symbol
    Settings().circleNumSegments = 16;
    Settings().ringNumSegments = 20;
    // The stream can be written, its layer map cannot: a folder has the name.
    std::filesystem::create_directory(dir / "out.map");
    EXPECT_TRUE(SaveGdsFile(layout, Path("out.gds"), &log).Write());
    EXPECT_TRUE(std::filesystem::is_regular_file(dir / "out.gds"));

    const auto errors = Of(log, Severity::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, "Unable to save file!");
    EXPECT_EQ(errors[0].file, Path("out.map"));
    struct Expected {
        std::string text, cell;
        long count;
    };
    const std::vector<Expected> expected = {
        {"A call of a symbol that does not exist was left out.", "MainSymbol", 1},
        {"A circle was written as a boundary of 16 points.", "cell", 2},
        {"A ring was written as a boundary of 42 points.", "cell", 1},
    };
    auto notes = Of(log, Severity::Info);
    ASSERT_EQ(notes.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(notes[k].text, expected[k].text);
        EXPECT_EQ(notes[k].cell, expected[k].cell) << notes[k].text;
        EXPECT_EQ(notes[k].count, expected[k].count) << notes[k].text;
        EXPECT_EQ(notes[k].file, Path("out.gds"));
    }
    EXPECT_TRUE(messages.messages.empty());

    // Without a sink of its own the failure is a message box.
    EXPECT_TRUE(SaveGdsFile(layout, Path("out.gds")).Write());
    EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"Unable to save file!", "Error"}}));
}

}  // namespace
