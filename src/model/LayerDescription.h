// One layer of a layout's 256-slot layer table: names, GDSII datatype,
// polarity, and the colours and styles its objects are drawn with.  Pens and
// brushes are made from these values by the drawing canvas, so the model keeps
// no platform handles.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace zandor {

constexpr int kLayerCount = 256;

enum FillStyle : std::int32_t {
    FillSolid = -1,
    FillHorizontal = 0,
    FillVertical = 1,
    FillForwardDiagonal = 2,
    FillBackwardDiagonal = 3,
    FillCross = 4,
    FillDiagonalCross = 5,
    FillHollow = 6,
};

enum OutlineStyle : std::int32_t {
    OutlineSolid = 0,
    OutlineDash = 1,
    OutlineDot = 2,
    OutlineDashDot = 3,
    OutlineDashDotDot = 4,
};

// Colours are 0x00BBGGRR.
std::uint32_t DefaultLayerColor(int index);

class LayerDescription {
public:
    // An empty name gives "Layer <index>"; the short name is always "L<index>".
    // fillColor -1 selects the default colour of the index with solid fill and
    // solid outline.
    LayerDescription(int index, std::string_view name, std::int64_t fillColor = -1, std::int64_t outlineColor = -1,
                     int fillStyle = FillSolid, int outlineStyle = OutlineSolid, std::uint32_t dataType = 0,
                     std::uint8_t polarity = 1);
    // Copies every field of other, including flags and short name, into slot index.
    LayerDescription(int index, const LayerDescription& other);

    void SetFillColor(std::uint32_t color) { fillColor = color; }
    void SetOutlineColor(std::uint32_t color) { outlineColor = color; }
    void SetFillStyle(int style) { fillStyle = NormalFillStyle(style); }
    void SetOutlineStyle(int style) { outlineStyle = NormalOutlineStyle(style); }

    // 32-bit words of layer maps and layer comments: outline style in bits
    // 28-31, fill style in bits 24-27 (solid as 0xF), colour in bits 0-23.
    std::uint32_t FillStyleWord() const { return StyleBits() | (fillColor & 0xFFFFFFu); }
    std::uint32_t OutlineStyleWord() const { return StyleBits() | (outlineColor & 0xFFFFFFu); }
    std::uint32_t StyleBits() const {
        return (static_cast<std::uint32_t>(outlineStyle) << 28) +
               ((static_cast<std::uint32_t>(fillStyle) << 24) & 0x0F000000u);
    }

    static int NormalFillStyle(int style) { return style < -1 || style > 6 ? FillSolid : style; }
    static int NormalOutlineStyle(int style) { return style < 0 || style > 4 ? OutlineSolid : style; }
    static std::string DefaultName(int index) { return "Layer " + std::to_string(index); }
    static std::string DefaultShortName(int index) { return "L" + std::to_string(index); }
    // The name of a layer that holds one GDSII layer and datatype away from
    // the slot of its layer number: "68/16".
    static std::string PairName(int gdsLayer, std::uint32_t dataType) {
        return std::to_string(gdsLayer) + "/" + std::to_string(dataType);
    }

    // The GDSII layer number written for the layer's objects: its own when
    // set, else the index, so that renumbering a plain layer renumbers it in
    // the stream too.
    int GdsLayer() const { return gdsLayer >= 0 ? gdsLayer : index; }

    std::int32_t index;
    std::string name;
    std::string shortName;
    std::uint8_t visible = 1;
    std::uint8_t locked = 0;
    std::uint8_t current = 0;
    std::uint32_t dataType = 0;
    // GDSII layer number (0..65535) of a layer that does not sit in the slot
    // of its number, -1 for one that does; layer maps carry 16 bits of it.
    std::int32_t gdsLayer = -1;
    std::uint8_t polarity = 1;
    std::uint32_t fillColor = 0;
    std::uint32_t outlineColor = 0;
    std::int32_t fillStyle = FillSolid;
    std::int32_t outlineStyle = OutlineSolid;
};

// A layer table as a layer map file holds it, slot by slot.
using LayerSlots = std::array<std::unique_ptr<LayerDescription>, kLayerCount>;

enum class LayerMapResult { Read, CannotOpen, InvalidHeader };

// Reads a layer map file into slots without showing anything; a file that
// cannot be read to its end counts as one that cannot be opened.
LayerMapResult ReadLayerMapSlots(const std::string& name, LayerSlots& slots);

}  // namespace zandor
