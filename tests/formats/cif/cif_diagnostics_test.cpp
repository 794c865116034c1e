// What the CIF reader reports and where: lines, statement numbers and symbols
// of its errors, its notes for reports, and the same results from a file, from
// memory and from a stream.
#include <cstdint>
#include <gtest/gtest.h>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "formats/cif/LoadCifFile.h"
#include "model/Layout.h"
#include "platform/Diagnostics.h"
#include "platform/headless/RecordingMessages.h"
#include "support/ScratchTest.h"

using namespace zandor;
using platform::DiagnosticLog;
using platform::Severity;
using platform::StoredDiagnostic;
using platform::headless::ScopedMessageCapture;

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

class CifDiagnostics : public test::ScratchTest {
protected:
    Layout layout;
    DiagnosticLog log;
    ScopedMessageCapture messages;
};

TEST_F(CifDiagnostics, ErrorsCarryTheLineStatementAndSymbolWhereTheStatementBegins) {
    const std::string text =
        "L L1;\n"                      // line 1, statement 1
        "B 10 20;\r\n"                 // 2, 2: box without centre
        "(a comment\n over lines);\n"  // 3-4, 3
        "DS 5 1 10;\n"                 // 5, 4
        "9 inv;\n"                     // 6, 5
        "\n"
        "P 0 0\n  10;\n"  // 8-9, 6: odd coordinates
        "DF;\n"           // 10, 7
        "   W;\n"         // 11, 8: no width
        "E\n";
    layout.Clear();
    ASSERT_TRUE(LoadCifFile(layout, "damaged.cif", &log).Read(Bytes(text)));
    EXPECT_TRUE(messages.messages.empty()) << "a sink of its own replaces the message boxes";

    struct Expected {
        std::string text;
        std::int64_t line, statement;
        std::string cell;
    };
    const std::vector<Expected> expected = {
        {"Unexpected end of box statement# 2\nX coordinate of box expected", 2, 2, "MainSymbol"},
        {"Unexpected end of polygon statement# 6\nCannot read nodes", 8, 6, "inv"},
        {"Unexpected end of wire statement# 8\nWidth of wire expected", 11, 8, "MainSymbol"},
    };
    const auto errors = Of(log, Severity::Error);
    ASSERT_EQ(errors.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k) {
        SCOPED_TRACE(expected[k].text);
        EXPECT_EQ(errors[k].text, expected[k].text);
        EXPECT_EQ(errors[k].line, expected[k].line);
        EXPECT_EQ(errors[k].statement, expected[k].statement);
        EXPECT_EQ(errors[k].cell, expected[k].cell);
        EXPECT_EQ(errors[k].file, "damaged.cif");
        EXPECT_EQ(errors[k].offset, -1);
        EXPECT_TRUE(errors[k].limited) << "errors at single statements count against the nine message boxes";
    }
}

TEST_F(CifDiagnostics, LinesAreCountedAcrossReadChunks) {
    // More than one chunk of the reader (1 MiB) of one-line statements.
    std::string text;
    const int padding = 120000;
    for (int k = 0; k < padding; ++k) text += "(padding line);\n";
    text += "B 1;\n";
    const std::string path = WriteFile("long.cif", text);
    std::istringstream stream(text);
    for (const char* source : {"path", "memory", "stream"}) {
        SCOPED_TRACE(source);
        log.Clear();
        layout.Clear();
        LoadCifFile reader(layout, path, &log);
        const std::string what(source);
        if (what == "path") {
            ASSERT_TRUE(reader.Read());
        } else if (what == "memory") {
            ASSERT_TRUE(reader.Read(Bytes(text)));
        } else {
            platform::StreamSource input(stream);
            ASSERT_TRUE(reader.Read(input));
        }
        const auto errors = Of(log, Severity::Error);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].line, padding + 1);
        EXPECT_EQ(errors[0].statement, padding + 1);
    }
}

TEST_F(CifDiagnostics, MemoryAndStreamReadExactlyAsTheFile) {
    for (const char* fixture : {"data/cif/reader/extensions.cif", "data/cif/reader/plain.cif",
                                "data/cif/corpus/nist-mems-library__memslib.cif"}) {
        SCOPED_TRACE(fixture);
        const std::string text = ReadFile(fixture);
        ASSERT_FALSE(text.empty());
        Layout fromFile, fromMemory, fromStream;
        DiagnosticLog fileLog, memoryLog, streamLog;
        fromFile.Clear();
        fromMemory.Clear();
        fromStream.Clear();
        ASSERT_TRUE(LoadCifFile(fromFile, fixture, &fileLog).Read());
        ASSERT_TRUE(LoadCifFile(fromMemory, fixture, &memoryLog).Read(Bytes(text)));
        std::istringstream stream(text);
        platform::StreamSource input(stream);
        ASSERT_TRUE(LoadCifFile(fromStream, fixture, &streamLog).Read(input));
        for (const Layout* other : {&fromMemory, &fromStream}) {
            ASSERT_EQ(other->Symbols().size(), fromFile.Symbols().size());
            for (std::size_t k = 0; k < fromFile.Symbols().size(); ++k) {
                EXPECT_EQ(other->Symbols()[k]->Name(), fromFile.Symbols()[k]->Name());
                EXPECT_EQ(other->Symbols()[k]->Id(), fromFile.Symbols()[k]->Id());
                EXPECT_TRUE(SymbolDescription::SameDefinition(*other->Symbols()[k], *fromFile.Symbols()[k]));
            }
            for (int i = 0; i < kLayerCount; ++i) {
                EXPECT_EQ(other->Layer(i) != nullptr, fromFile.Layer(i) != nullptr) << i;
                if (other->Layer(i) && fromFile.Layer(i)) {
                    EXPECT_EQ(other->Layer(i)->name, fromFile.Layer(i)->name);
                }
            }
        }
        for (const DiagnosticLog* other : {&memoryLog, &streamLog}) {
            ASSERT_EQ(other->Entries().size(), fileLog.Entries().size());
            for (std::size_t k = 0; k < fileLog.Entries().size(); ++k) {
                EXPECT_EQ(other->Entries()[k].text, fileLog.Entries()[k].text);
                EXPECT_EQ(other->Entries()[k].count, fileLog.Entries()[k].count);
            }
        }
    }
    // A name that is no file reads nothing; bytes in memory under that name do.
    layout.Clear();
    EXPECT_FALSE(LoadCifFile(layout, Path("absent.cif")).Read());
    EXPECT_TRUE(LoadCifFile(layout, Path("absent.cif")).Read(Bytes("L A; B 2 2 0 0; E")));
    EXPECT_EQ(layout.MainSymbol()->objectCount, 1);
}

TEST_F(CifDiagnostics, WhatWasSkippedOrRepairedIsNotedForReportsWithoutAMessageBox) {
    const std::string text =
        "DS 1 1 10; 9 inv; DF;\n"
        "DS 2 1 10; 9 inv; DF;\n"              // renames the first inv
        "DS 3;\n"                              // no scaling factors
        "L L1; 94 label 0 0; 94 label 5 5;\n"  // user extensions
        "(ZanScript 0 0 0 0 10 5 1\r\nx);\n"
        "E";
    layout.Clear();
    ASSERT_TRUE(LoadCifFile(layout, "notes.cif", &log).Read(Bytes(text)));
    EXPECT_TRUE(Of(log, Severity::Error).empty());
    const auto notes = Of(log, Severity::Info);
    std::vector<std::string> texts;
    for (const auto& n : notes) {
        texts.push_back(n.text);
        EXPECT_EQ(n.line, 0) << "notes are counted per symbol, not per line";
    }
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "The symbol inv was renamed inv_1 because a later definition has its name.",
                         "A DS statement without scaling factors was ignored.",
                         "A user extension statement was skipped.",
                         "A script was skipped; its generated objects are loaded as plain objects.",
                     }));
    EXPECT_EQ(notes[2].count, 2) << "identical notes are grouped";
    EXPECT_EQ(notes[2].cell, "MainSymbol");

    // The same file through the message boxes shows nothing of them.
    layout.Clear();
    ASSERT_TRUE(LoadCifFile(layout, "notes.cif").Read(Bytes(text)));
    EXPECT_TRUE(messages.messages.empty());
}

}  // namespace
