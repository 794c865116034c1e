// What the drill-file tests share: a scratch folder, a layout with layers 1
// and 2, the writer and the reader run with the options given and their
// diagnostics kept, and the objects read described as text.
#pragma once

#include <gtest/gtest.h>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "formats/drill/ExportTapFile.h"
#include "formats/drill/LoadTapFile.h"
#include "model/Layout.h"
#include "model/RecordViews.h"
#include "platform/Diagnostics.h"
#include "support/ScratchTest.h"

namespace zandor::test {

inline DrillOptions Drill(int integers, int decimals, bool millimetres) {
    DrillOptions o;
    o.integers = integers;
    o.decimals = decimals;
    o.millimetres = millimetres;
    return o;
}

class DrillTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        layout.Clear();
        layout.SetLayer(std::make_unique<LayerDescription>(1, "one"));
        layout.SetLayer(std::make_unique<LayerDescription>(2, "two"));
    }
    SymbolDescription& Main() { return *layout.MainSymbol(); }

    // Writes layer 1; the file's text, empty when the write failed.
    std::string Write(const DrillOptions& options, const std::string& name = "out.tap") {
        log.Clear();
        written = ExportTapFile(layout, Path(name), 1, options, &log).Write();
        return written ? ReadFile(Path(name)) : std::string();
    }

    // Reads text into `loaded`; its objects described.
    std::vector<std::string> Read(const std::string& text, const DrillOptions& options) {
        loaded.Clear();
        log.Clear();
        read = LoadTapFile(loaded, "in.drl", options, &log)
                   .Read(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        return Describe(loaded);
    }

    // "C x y r" for circles, "W width x,y x,y ..." for wires, in nanometres,
    // with the layer when it is not 0.
    static std::vector<std::string> Describe(const Layout& layout) {
        std::vector<std::string> shapes;
        const SymbolDescription& main = *layout.MainSymbol();
        for (const Word* r = main.FirstRecord(); r; r = main.NextRecord(r)) {
            std::string text;
            if (RecordKind(r) == ObjectKind::Circle) {
                const CircleView c(r);
                text = "C " + std::to_string(c.Centre().X) + " " + std::to_string(c.Centre().Y) + " " +
                       std::to_string(c.Radius());
            } else if (RecordKind(r) == ObjectKind::Wire) {
                const WireView w(r);
                text = "W " + std::to_string(w.Width());
                if (w.EndStyle() != 0) text += " ends " + std::to_string(w.EndStyle());
                for (int i = 0; i < w.NodeCount(); ++i) {
                    text += " " + std::to_string(w.Node(i).X) + "," + std::to_string(w.Node(i).Y);
                }
            } else {
                text = "kind " + std::to_string(static_cast<int>(RecordKind(r)));
            }
            if (RecordLayer(r) != 0) text += " on layer " + std::to_string(RecordLayer(r));
            shapes.push_back(text);
        }
        return shapes;
    }

    // The texts reported with a severity.
    std::vector<std::string> Texts(platform::Severity severity) const {
        std::vector<std::string> texts;
        for (const auto& d : log.Entries()) {
            if (d.severity == severity) texts.push_back(d.text);
        }
        return texts;
    }

    Layout layout;
    Layout loaded;
    platform::DiagnosticLog log;
    bool written = false;
    bool read = false;
};

}  // namespace zandor::test
