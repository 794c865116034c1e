// Builds the demo mask of examples/demo.cif through the layout model and
// writes it with the CIF writer:  make_demo OUT.cif
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "formats/cif/SaveCifFile.h"
#include "geometry/TextOutlines.h"
#include "model/Geometry.h"
#include "model/Layout.h"
#include "model/UndoList.h"
#include "platform/Messages.h"

using namespace zandor;

namespace {

constexpr int kActive = 1, kPoly = 2, kMetal1 = 3, kMetal2 = 4, kVia = 5, kMarks = 10, kWaveguide = 20;

void AddLayer(Layout& layout, int index, const char* name, const char* shortName, std::uint32_t color, int fill,
              std::uint32_t dataType = 0) {
    auto layer = std::make_unique<LayerDescription>(index, name, color, color, fill, OutlineSolid, dataType, 1);
    layer->shortName = shortName;
    layout.SetLayer(std::move(layer));
}

std::int32_t Um(double micrometres) { return RoundHalfAway(micrometres * 1000.0); }

// A cross-shaped alignment mark with a frame, centred on the origin.
void BuildAlignmentMark(SymbolDescription& s) {
    s.AddRectangle(Um(-50), Um(-5), Um(50), Um(5), kMarks);
    s.AddRectangle(Um(-5), Um(-50), Um(5), Um(50), kMarks);
    const Point frame[] = {
        {Um(-80), Um(-80)}, {Um(80), Um(-80)}, {Um(80), Um(80)}, {Um(-80), Um(80)}, {Um(-80), Um(-80)}};
    s.AddWire(frame, 5, Um(4), static_cast<int>(EndStyle::Flat), kMarks);
    for (int q = 0; q < 4; ++q) {
        const double a = q * kPi / 2 + kPi / 4;
        s.AddBox(RoundHalfAway(Um(60) * std::cos(a)), RoundHalfAway(Um(60) * std::sin(a)), Um(20), Um(6),
                 q * 90.0 + 45.0, kMarks);
    }
}

// A transistor-like test cell: active area, gate, contacts and a metal strap.
void BuildTestCell(SymbolDescription& s) {
    s.AddRectangle(Um(0), Um(0), Um(40), Um(20), kActive);
    const Point gate[] = {{Um(20), Um(-6)}, {Um(20), Um(26)}};
    s.AddWire(gate, 2, Um(4), static_cast<int>(EndStyle::Extended), kPoly);
    for (int x : {6, 34}) s.AddRectangle(Um(x - 3), Um(7), Um(x + 3), Um(13), kVia);
    const Point strap[] = {{Um(6), Um(10)}, {Um(6), Um(30)}, {Um(34), Um(30)}, {Um(34), Um(10)}};
    s.AddWire(strap, 4, Um(8), static_cast<int>(EndStyle::Round), kMetal1);
    s.AddCircle(Um(20), Um(36), Um(4), kMetal2);
}

// A ring resonator coupled to a straight bus waveguide, with a heater arc.
void BuildRingResonator(SymbolDescription& s) {
    s.AddRing(0, 0, Um(50), Um(2), kWaveguide);
    s.AddRectangle(Um(-120), Um(-53.6), Um(120), Um(-51.6), kWaveguide);
    s.AddArcWire(0, 0, Um(40), 0, Um(-40), 0, MakeArcWidthWord(Um(3), static_cast<int>(EndStyle::Round), false),
                 kMetal2);
    s.AddArcWire(0, 0, Um(-40), Um(-4), Um(40), Um(-4),
                 MakeArcWidthWord(Um(3), static_cast<int>(EndStyle::Flat), false), kMetal1);
    // A spiral taper feeding the heater.
    s.AddArcWire(0, 0, Um(60), 0, Um(-75), 0, MakeArcWidthWord(Um(2), static_cast<int>(EndStyle::Extended), true),
                 kMetal2);
}

LOGFONTA TextFont(const char* face, int weight) {
    LOGFONTA font;
    font.lfHeight = -2048;
    font.lfWeight = weight;
    font.lfPitchAndFamily = 0x20;
    std::snprintf(font.lfFaceName, sizeof font.lfFaceName, "%s", face);
    return font;
}

// What a mask carries in writing: the title and revision, the name of each
// alignment mark and of the layer it is on, a label along the array, and the
// ring's radius inside its cell.
void AddLabels(SymbolDescription& top, SymbolDescription& ring) {
    const LOGFONTA bold = TextFont("Arial", 700), plain = TextFont("Arial", 400);
    AddTextOutlines(top, "ZANDOR DEMO MASK  REV A", Um(60), Um(-1700), Um(1620), 0, kMetal2, bold);
    AddTextOutlines(top, "Die 3.6 x 3.6 mm", Um(30), Um(-1700), Um(1540), 0, kMetal2, plain);
    const char* const corners[] = {"SW", "SE", "NW", "NE"};
    for (int corner = 0; corner < 4; ++corner) {
        const std::int32_t x = Um(corner % 2 ? 1500 : -1500), y = Um(corner / 2 ? 1500 : -1500);
        const std::string name = std::string("AM-") + corners[corner] + " XM";
        AddTextOutlines(top, name, Um(20), x - Um(80), y - Um(120), 0, kMarks, plain);
    }
    AddTextOutlines(top, "TEST CELLS 8 x 5", Um(40), Um(-1300), Um(-1200), 90, kMetal1, plain);
    // Half-size lettering, mirrored for reading through the substrate.
    AddTextOutlinesWithMatrix(top, "BACKSIDE", Um(40), {-0.5, 0, 0, 0.5, 1400000.0, -1700000.0}, kMetal2, bold);
    AddTextOutlines(ring, "R 50", Um(12), Um(-15), Um(-6), 0, kWaveguide, plain);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo OUT.cif\n");
        return 2;
    }
    Layout layout;
    AddLayer(layout, kActive, "Active", "CAA", 0x60E060, FillBackwardDiagonal);
    AddLayer(layout, kPoly, "Poly", "CPG", 0x0000FF, FillForwardDiagonal);
    AddLayer(layout, kMetal1, "Metal 1", "CMF", 0xE08080, FillCross);
    AddLayer(layout, kMetal2, "Metal 2", "CMS", 0xA0A020, FillDiagonalCross);
    AddLayer(layout, kVia, "Via", "CVA", 0x404040, FillSolid);
    AddLayer(layout, kMarks, "Alignment marks", "XM", 0x00C0FF, FillSolid, 2);
    AddLayer(layout, kWaveguide, "Waveguide", "WG", 0xFF8000, FillVertical);

    SymbolDescription* mark = layout.AddSymbol(1, "AlignMark");
    SymbolDescription* cell = layout.AddSymbol(2, "TestCell");
    SymbolDescription* ring = layout.AddSymbol(3, "RingResonator");
    BuildAlignmentMark(*mark);
    BuildTestCell(*cell);
    BuildRingResonator(*ring);

    SymbolDescription& top = *layout.MainSymbol();
    for (int corner = 0; corner < 4; ++corner) {
        const std::int32_t x = Um(corner % 2 ? 1500 : -1500), y = Um(corner / 2 ? 1500 : -1500);
        top.InsertSymbolCall(1, x, y);
    }
    // An 8 x 5 array of test cells on a slightly oblique lattice.
    top.InsertArray(2, {Um(-1200), Um(-1200)}, {Um(-1200 + 8 * 100), Um(-1200 + 8 * 4)},
                    {Um(-1200), Um(-1200 + 5 * 80)}, 8, 5, 1.0, 0.0);
    // The ring resonator as it is, rotated by 30 degrees, and mirrored.
    top.InsertSymbolCall(3, Um(600), Um(-800));
    const double a = 30 * kPi / 180;
    top.InsertSymbolCallMatrix(3, {std::cos(a), std::sin(a), -std::sin(a), std::cos(a), 600000.0, -300000.0});
    top.InsertSymbolCallMatrix(3, {-1, 0, 0, 1, 600000.0, 200000.0});
    // The test cell mirrored about the diagonal (a reflection and a quarter turn).
    top.InsertSymbolCallMatrix(2, {0, 1, 1, 0, -1200000.0, 500000.0});
    AddLabels(top, *ring);
    // Chip frame.
    const Point frame[] = {{Um(-1800), Um(-1800)},
                           {Um(1800), Um(-1800)},
                           {Um(1800), Um(1800)},
                           {Um(-1800), Um(1800)},
                           {Um(-1800), Um(-1800)}};
    top.AddWire(frame, 5, Um(20), static_cast<int>(EndStyle::Extended), kMetal2);

    if (!SaveCifFile(layout, argv[1]).Write(-1)) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
