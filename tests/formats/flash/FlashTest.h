// What the flash-file tests share: a scratch folder, a layout with layer 1,
// the writers run with options given, and the statements of a file apart
// from its header and trailer.
#pragma once

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "formats/emk/ExportEmkFile.h"
#include "formats/mann/ExportManFile.h"
#include "model/Layout.h"
#include "platform/headless/RecordingMessages.h"
#include "support/ScratchTest.h"

namespace zandor::test {

// The single-quadrant metric preset with 1 um steps and without blocks: a
// statement per line, easy to read back.
inline MannOptions PlainMann(bool singleQuadrant = true) {
    MannOptions o;
    ApplyMannSystem(o, singleQuadrant, true);
    o.resolution = singleQuadrant ? 0.001 : 0.0001;
    o.minFlash = o.resolution;
    o.angleResolution = 0.1;
    o.blocks = false;
    o.lineBreaks = true;
    return o;
}

class FlashTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        layout.Clear();
        layout.SetLayer(std::make_unique<LayerDescription>(1, "one"));
        layout.SetLayer(std::make_unique<LayerDescription>(2, "two"));
    }
    SymbolDescription& Main() { return *layout.MainSymbol(); }

    // Writes layer 1; the file's text, empty when the write failed.
    std::string WriteMann(const MannOptions& options, const std::string& name = "out.man") {
        messages.messages.clear();
        written = ExportManFile(layout, Path(name), 1, options).Write();
        return written ? ReadFile(Path(name)) : std::string();
    }
    std::string WriteEmk(const EmkOptions& options, const std::string& name = "out.emk") {
        messages.messages.clear();
        written = ExportEmkFile(layout, Path(name), 1, options).Write();
        return written ? ReadFile(Path(name)) : std::string();
    }

    // The flash statements of a file written with line breaks: every line
    // but the quoted ones and the closing "$", without the line ends.
    static std::vector<std::string> Statements(const std::string& text) {
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find("\r\n", start);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(start, end - start);
            if (!line.empty() && line[0] != '"' && line != "$") lines.push_back(line);
            start = end + 2;
        }
        return lines;
    }

    Layout layout;
    platform::headless::ScopedMessageCapture messages;
    bool written = false;
};

}  // namespace zandor::test
