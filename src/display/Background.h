// What the view shows behind the layout: the mask plate and the wafer in the
// main symbol, the extent of any other symbol.
#pragma once

#include <cstdint>
#include <string>

namespace zandor {

class Canvas;
class Layout;

class Background {
public:
    // Plate side (square plates) of mask types 1..6 and wafer diameters of
    // types 0..5, in nanometres.
    static std::int64_t MaskSide(int type);
    static std::int64_t WaferDiameter(int type);
    static const char* MaskName(int type);

    // Width and height of the plate; 0 when the type draws nothing.
    std::int64_t MaskWidth() const;
    std::int64_t MaskHeight() const;
    // Copies the plate size and the warning flag to the layout model, which
    // warns on saving objects outside the plate.
    void ApplyToModel() const;

    // Copy mode; grey (128, 128, 128) on black, (192, 192, 192) on white.
    void DrawBackground(const Layout& layout, Canvas& canvas, bool printing, bool backgroundBlack) const;

    int maskType = 3;                       // "Size"
    std::int64_t customWidth = 127000000;   // "HSize", nanometres
    std::int64_t customHeight = 127000000;  // "VSize"
    int waferType = 2;                      // "Wafer"
    bool showMask = true;                   // "ShowMask"
    bool showWafer = true;                  // "ShowWafer"
    bool showWarning = true;                // "ShowWarning"

private:
    void DrawMask(const Layout& layout, Canvas& canvas, bool printing, std::uint32_t grey) const;
    void DrawWafer(const Layout& layout, Canvas& canvas, std::uint32_t grey) const;
    void DrawSymbolExtent(const Layout& layout, Canvas& canvas, std::uint32_t grey) const;
};

}  // namespace zandor
