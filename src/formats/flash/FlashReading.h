// What the Mann and EMK readers share: the flashes they add to the main
// symbol (rectangles on layer 0, boxes when turned), the checks on the
// numbers of a file, and the diagnostics with the place they apply to.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/flash/FlashInput.h"
#include "platform/Diagnostics.h"

namespace zandor {

class Layout;
class SymbolDescription;

class FlashReading {
public:
    FlashReading(Layout& layout, const std::string& fileName, platform::DiagnosticSink& diagnostics, FlashInput& input);

    // Creates layer 0 ("Layer 0"), the layer every flash is put on.
    void CreateLayer();

    // An error at the current place: reading stops, what was read stays.
    void Error(std::string_view text);
    void Warning(std::string_view text);
    // Characters that are no statement of the format, skipped.
    void Skipped(int c);
    bool Stopped() const { return stopped; }

    // The value of a number as written (digits, point, sign), with the point
    // put first when implied and absent.
    static double Value(const FlashInput::Number& number, bool implicitPoint = false);
    // Reads the number after letter; false (with an error) when it is
    // missing or too long.
    bool ReadNumber(char letter, FlashInput::Number& number, bool allowPoint);
    // A length in nanometres as a coordinate; false (with an error) outside
    // the 32-bit range, or below 0 for a size.
    bool Coordinate(double nanometres, std::int32_t& value);
    bool Size(double nanometres, std::int32_t& value);
    // An angle in degrees; false (with an error) outside -360..360.
    bool Angle(double degrees);

    // The flash: a rectangle when the angle is 0, else a box of length w
    // along the angle and width h; false (with an error) when it reaches
    // beyond the coordinate range or memory runs out.
    bool AddFlash(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, double degrees);

    // Counted by the statement's end (";" or "S").
    void EndStatement() { ++statement; }
    std::int64_t Statement() const { return statement; }

private:
    void Report(platform::Severity severity, std::string_view text, bool place);

    Layout& layout;
    SymbolDescription& main;
    const std::string& fileName;
    platform::DiagnosticSink& diagnostics;
    FlashInput& input;
    std::int64_t statement = 1;
    bool stopped = false;
};

}  // namespace zandor
