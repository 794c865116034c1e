#include "formats/flash/FlashReading.h"

#include <charconv>
#include <cmath>
#include <memory>

#include "model/Layout.h"

namespace zandor {

FlashReading::FlashReading(Layout& l, const std::string& name, platform::DiagnosticSink& sink, FlashInput& in)
    : layout(l), main(*l.MainSymbol()), fileName(name), diagnostics(sink), input(in) {}

void FlashReading::CreateLayer() { layout.SetLayer(std::make_unique<LayerDescription>(0, "Layer 0")); }

void FlashReading::Report(platform::Severity severity, std::string_view text, bool place) {
    std::string shown(text);
    if (place) {
        shown += "\nin statement " + std::to_string(statement) + " (line " + std::to_string(input.Line()) +
                 ", offset " + std::to_string(input.Offset()) + ")";
    }
    platform::Diagnostic d;
    d.severity = severity;
    d.text = shown;
    d.file = fileName;
    if (place) {
        d.line = input.Line();
        d.statement = statement;
        d.offset = input.Offset();
    }
    d.cell = main.Name();
    diagnostics.Report(d);
}

void FlashReading::Error(std::string_view text) {
    Report(platform::Severity::Error, text, true);
    stopped = true;
}

void FlashReading::Warning(std::string_view text) { Report(platform::Severity::Warning, text, false); }

void FlashReading::Skipped(int c) {
    if (c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\f' || c == '!') return;
    Report(platform::Severity::Info, "Characters that are no statement were skipped.", false);
}

double FlashReading::Value(const FlashInput::Number& number, bool implicitPoint) {
    std::string text = number.digits;
    if (number.point) {
        text.insert(number.pointAt, ".");
    } else if (implicitPoint) {
        text.insert(0, ".");
    }
    if (text.empty() || text == ".") return 0;
    if (text.front() == '.') text.insert(0, "0");
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return number.negative ? -value : value;
}

bool FlashReading::ReadNumber(char letter, FlashInput::Number& number, bool allowPoint) {
    if (!input.ReadNumber(number, allowPoint, allowPoint ? 40 : 18)) {
        Error(std::string("The number after ") + letter + " has too many digits");
        return false;
    }
    if (number.Missing()) {
        Error(std::string("A number is missing after ") + letter);
        return false;
    }
    return true;
}

bool FlashReading::Coordinate(double nanometres, std::int32_t& value) {
    const double rounded = nanometres >= 0 ? std::trunc(nanometres + 0.5) : std::trunc(nanometres - 0.5);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) {
        Error("A coordinate lies outside the range of the layout");
        return false;
    }
    value = static_cast<std::int32_t>(rounded);
    return true;
}

bool FlashReading::Size(double nanometres, std::int32_t& value) {
    if (nanometres < 0) {
        Error("A flash has a negative size");
        return false;
    }
    return Coordinate(nanometres, value);
}

bool FlashReading::Angle(double degrees) {
    if (!(degrees >= -360 && degrees <= 360)) {
        Error("An angle lies outside -360 to 360 degrees");
        return false;
    }
    return true;
}

bool FlashReading::AddFlash(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h, double degrees) {
    Word* added;
    if (degrees != 0) {
        // Half the sides' sum bounds the reach of the corners at any angle.
        const std::int64_t reach = (std::int64_t{w} + h + 1) / 2;
        if (x - reach < INT32_MIN || x + reach > INT32_MAX || y - reach < INT32_MIN || y + reach > INT32_MAX) {
            Error("A flash reaches beyond the range of the layout");
            return false;
        }
        added = main.AddBox(x, y, w, h, degrees, 0);
    } else {
        const std::int64_t x1 = std::int64_t{x} - w / 2, x2 = std::int64_t{x} + w / 2;
        const std::int64_t y1 = std::int64_t{y} - h / 2, y2 = std::int64_t{y} + h / 2;
        if (x1 < INT32_MIN || x2 > INT32_MAX || y1 < INT32_MIN || y2 > INT32_MAX) {
            Error("A flash reaches beyond the range of the layout");
            return false;
        }
        added = main.AddRectangle(static_cast<std::int32_t>(x1), static_cast<std::int32_t>(y1),
                                  static_cast<std::int32_t>(x2), static_cast<std::int32_t>(y2), 0);
    }
    if (!added) {
        Error("Not enough memory for the flashes of this file");
        return false;
    }
    return true;
}

}  // namespace zandor
