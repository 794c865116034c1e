// Cutting one layer of a layout into the rectangular flashes of a pattern
// generator: the walk through the main symbol and everything it places, each
// shape cut into rotated rectangles (polygons and arc wires through the
// fracturing), and each rectangle into flashes no larger than the maximum
// flash size.  The Mann and EMK writers share it and turn the flashes into
// their own statements.
#pragma once

#include <cstdint>
#include <memory>

#include "geometry/Fracture.h"

namespace zandor {

class Layout;
class SymbolDescription;

// Rounds half away from zero to a whole output unit; values beyond 2^60 in
// size (and NaN, as 0) saturate, so that later sums and products stay defined.
std::int64_t RoundOutputUnits(double value);

// The conversion from nanometres to output units.  A factor below 1 is kept
// as its inverse and divided by, so that a unit that is a whole number of
// nanometres converts exactly.
class FlashScale {
public:
    // unitsPerNanometre 0 divides by zeroDivisor.
    FlashScale(double unitsPerNanometre, double zeroDivisor);
    double ToUnits(double nanometres) const { return divide ? nanometres / factor : nanometres * factor; }
    double ToNanometres(double units) const { return divide ? units * factor : units / factor; }

private:
    double factor;
    bool divide;
};

// Where the flashes go: centre and size in output units, the size along the
// angle (width) and across it (height), the angle in tenths of a degree,
// 0 <= angle < 900.
class FlashSink {
public:
    virtual ~FlashSink() = default;
    virtual void Flash(std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height, int angle) = 0;
};

class FlashCutter {
public:
    // A layer's flashes, before anything is written, may not exceed this
    // number: a maximum flash size far too small for the layout would
    // otherwise keep the writer busy for days.
    static constexpr std::uint64_t kMaxFlashes = 1000000000;

    // maxFlash (output units, at least 1) bounds a flash's sides;
    // minFlashNanometres is the smallest figure the fracturing cuts to.
    FlashCutter(const Layout& layout, int layer, FlashScale scale, std::int64_t maxFlash,
                std::int32_t minFlashNanometres, FractureKind kind, FlashSink& sink);
    ~FlashCutter();
    FlashCutter(const FlashCutter&) = delete;
    FlashCutter& operator=(const FlashCutter&) = delete;

    // Cuts every shape of the layer in the symbol and in everything it calls,
    // reporting progress by the symbol's own records.  False when it stopped
    // because the layer needs more than kMaxFlashes flashes.
    bool Cut(const SymbolDescription& top);
    // The fracturing of some polygon may have left a part uncovered.
    bool RoundingErrors() const;

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace zandor
