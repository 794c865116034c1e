#include "model/LayerDescription.h"

namespace zandor {

std::uint32_t DefaultLayerColor(int index) {
    static constexpr std::uint32_t kColors[16] = {
        0x808000, 0xE08080, 0x60E060, 0xA0A020, 0xB9BCC6, 0x800080, 0x008080, 0xC0C0C0,
        0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xE0E0E0,
    };
    return kColors[static_cast<unsigned>(index) % 16u];
}

LayerDescription::LayerDescription(int index_, std::string_view name_, std::int64_t fill, std::int64_t outline,
                                   int fillStyle_, int outlineStyle_, std::uint32_t dataType_, std::uint8_t polarity_)
    : index(index_),
      name(name_.empty() ? DefaultName(index_) : std::string(name_)),
      shortName(DefaultShortName(index_)),
      dataType(dataType_),
      polarity(polarity_) {
    if (fill == -1) {
        fillColor = outlineColor = DefaultLayerColor(index_);
        fillStyle = FillSolid;
        outlineStyle = OutlineSolid;
    } else {
        fillColor = static_cast<std::uint32_t>(fill);
        outlineColor = outline < 0 ? fillColor : static_cast<std::uint32_t>(outline);
        fillStyle = NormalFillStyle(fillStyle_);
        outlineStyle = NormalOutlineStyle(outlineStyle_);
    }
}

LayerDescription::LayerDescription(int index_, const LayerDescription& other) : LayerDescription(other) {
    index = index_;
    fillStyle = NormalFillStyle(fillStyle);
    outlineStyle = NormalOutlineStyle(outlineStyle);
}

}  // namespace zandor
