// Choices beyond the plain format:
// - the first statement writes all five parameters: a value that happened to
//   equal a "nothing written yet" mark would otherwise be left to the
//   machine's default;
// - the single-quadrant format writes whole micrometres (metric) or tenths
//   of a mil whose last digit 2 or 7 marks a further quarter mil (English),
//   so resolutions that these cannot carry are refused instead of written
//   wrong; English values are always tenths of a mil, which is what readers
//   of the format take them for;
// - angles are written in steps of the angle resolution, whatever it is;
// - a line break counts its two characters toward a block, and never crosses
//   a block's end with its statement.
#include "formats/mann/ExportManFile.h"

#include <cmath>
#include <optional>
#include <string_view>
#include <utility>

#include "formats/flash/FlashCutter.h"
#include "formats/flash/FlashText.h"
#include "model/Layout.h"
#include "platform/ReplacingFile.h"

namespace zandor {

namespace {

constexpr std::size_t kBlock = 512;
constexpr const char* kLineBreak = "\r\n";
constexpr const char* kSaveFailed = "Unable to save file!";
constexpr const char* kNegativeWarning = "File contains negative coordinate values.";
constexpr const char* kEnlargedWarning = "Some flashes were increased to the minimum flash size.";
constexpr const char* kRoundingWarning = "Some rounding errors may have occured during polygon convertion.";
constexpr double kNanometresPerMillimetre = 1e-6;
constexpr double kInchesPerNanometre = 3.937007874015748e-8;

// Whether value is a whole multiple of step, within the rounding of decimal
// fractions entered by the user.
bool WholeMultiple(double value, double step) {
    const double ratio = value / step;
    return ratio >= 1 && std::fabs(ratio - std::round(ratio)) <= 1e-6 * ratio;
}

}  // namespace

struct ExportManFile::State : FlashSink {
    State(Layout& l, std::string name, int layer, const MannOptions& o, platform::DiagnosticSink* sink)
        : layout(l), fileName(std::move(name)), layer(layer), options(o), diagnostics(sink ? *sink : shown) {}

    Layout& layout;
    std::string fileName;
    int layer;
    MannOptions options;
    platform::ShownDiagnostics shown;
    platform::DiagnosticSink& diagnostics;
    platform::ReplacingFile out;

    // Derived from the options.
    std::int64_t minFlash = 0, maxFlash = 0, maxCoordinate = 0;  // output units
    std::int64_t multiplier = 1;                                 // single quadrant: file units per output unit
    int angleDecimals = 1;

    std::size_t blockUsed = 0;
    struct Written {
        std::int64_t x, y, w, h;
        std::int64_t a;
    };
    std::optional<Written> last;
    std::int64_t flashes = 0;
    bool negative = false, enlarged = false;

    void Report(platform::Severity severity, std::string_view text) {
        platform::Diagnostic d;
        d.severity = severity;
        d.text = text;
        d.file = fileName;
        diagnostics.Report(d);
    }

    // The options' derived values; false (with a message) when an option is
    // out of range.
    bool Prepare() {
        const MannOptions& o = options;
        auto refuse = [&](std::string_view text) {
            Report(platform::Severity::Error, text);
            return false;
        };
        if (!(o.scale > 0) || !std::isfinite(o.scale)) return refuse("The scaling factor must be a positive value.");
        if (!(o.resolution > 0) || !std::isfinite(o.resolution)) {
            return refuse("The resolution must be a positive value.");
        }
        if (!(o.minFlash >= 0) || !std::isfinite(o.minFlash)) {
            return refuse("The minimum flash size must not be negative.");
        }
        if (!(o.maxFlash >= o.minFlash) || !std::isfinite(o.maxFlash)) {
            return refuse("The maximum flash size must not be below the minimum flash size.");
        }
        if (!(o.angleResolution >= 0.001 && o.angleResolution <= 90)) {
            return refuse("The angle resolution must lie between 0.001 and 90 degrees.");
        }
        if (!std::isfinite(o.minCoordinate) || !std::isfinite(o.maxCoordinate) || !std::isfinite(o.flashResolution)) {
            return refuse("The coordinate range and the flash resolution must be numbers.");
        }
        minFlash = RoundOutputUnits(o.minFlash / o.resolution);
        maxFlash = RoundOutputUnits(o.maxFlash / o.resolution);
        maxCoordinate = RoundOutputUnits(o.maxCoordinate / o.resolution);
        if (maxFlash < 1) return refuse("The maximum flash size must be at least one resolution step.");
        if (o.singleQuadrant) {
            if (o.metric) {
                if (!WholeMultiple(o.resolution, 0.001)) {
                    return refuse(
                        "In the single-quadrant format the resolution must be a whole number of micrometres.");
                }
                multiplier = RoundHalfAway(o.resolution * 1000);
            } else {
                if (!WholeMultiple(o.resolution, 0.00025)) {
                    return refuse("In the single-quadrant format the resolution must be a multiple of 0.25 mil.");
                }
                multiplier = RoundHalfAway(o.resolution * 100000);
            }
        }
        for (double step = o.angleResolution * 10; angleDecimals < 3; step *= 10, ++angleDecimals) {
            if (std::fabs(step - std::round(step)) <= 1e-9 * step) break;
        }
        return true;
    }

    // --- output ------------------------------------------------------------

    void Put(std::string_view text) {
        out.Put(text);
        blockUsed = (blockUsed + text.size()) % kBlock;
    }
    void Pad() {
        if (blockUsed == 0) return;
        out.Put(std::string(kBlock - blockUsed, ' '));
        blockUsed = 0;
    }
    // A statement that would reach the end of its block starts the next.
    void Statement(std::string_view text) {
        if (options.blocks && blockUsed + text.size() >= kBlock) Pad();
        Put(text);
    }
    std::string LineEnd() const { return options.lineBreaks ? kLineBreak : ""; }

    void Comment(const std::string& text) { Statement("\"." + text + (options.lineBreaks ? kLineBreak : "\"")); }
    void Quoted(const std::string& text) { Statement("\"" + text + "\"" + LineEnd()); }

    void Header() {
        const MannOptions& o = options;
        if (o.blocks) {
            Put("\"#00\"");
            Pad();
        }
        if (o.singleQuadrant) {
            Comment("Mann format created by Zandor");
            Comment(o.metric ? "Metric" : "English");
            Comment("Range: " + GeneralNumber(o.minCoordinate) + ", " + GeneralNumber(o.maxCoordinate) +
                    "  Resolution: " + GeneralNumber(o.resolution));
            Comment("Aperture size: " + GeneralNumber(o.minFlash) + " - " + GeneralNumber(o.maxFlash) +
                    "  Resolution: " + GeneralNumber(o.flashResolution));
            Comment("Angles in " + GeneralNumber(o.angleResolution) + " degrees");
        } else {
            Quoted(o.metric ? "T360M" : "T360E");
            Quoted("Mann 3600 format created by Zandor");
            Quoted(o.metric ? "Metric units (mm)" : "English units (inch)");
        }
    }

    void Trailer() {
        if (!options.singleQuadrant) Quoted(std::to_string(flashes) + " flashes");
        Statement("$" + LineEnd());
        if (options.blocks) Pad();
    }

    // A decimal of the four-quadrant format: six decimals with the trailing
    // zeros removed down to one, and "0." shortened to "." when asked.
    std::string Decimal(std::int64_t units) const {
        std::string text = FixedNumber(double(units) * options.resolution, 6);
        if (const std::size_t point = text.find('.'); point != std::string::npos) {
            std::size_t end = text.size();
            while (end > point + 2 && text[end - 1] == '0') --end;
            text.resize(end);
        }
        if (options.implicitDecimalPoint && text.rfind("0.", 0) == 0) text.erase(0, 1);
        return text;
    }

    void Flash(std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h, int angle) override {
        const MannOptions& o = options;
        if (w < minFlash) w = minFlash, enlarged = true;
        if (h < minFlash) h = minFlash, enlarged = true;
        if (o.mirrorX) {
            x = o.singleQuadrant ? maxCoordinate - x : -x;
            if (angle != 0) {
                angle = 900 - angle;
                std::swap(w, h);
            }
        }
        if (o.singleQuadrant) {
            x = SaturatingProduct(x, multiplier), y = SaturatingProduct(y, multiplier);
            w = SaturatingProduct(w, multiplier), h = SaturatingProduct(h, multiplier);
            if (!o.metric) x /= 10, y /= 10, w /= 10, h /= 10;
        }
        std::int64_t a = RoundHalfAway(angle / (10 * o.angleResolution));
        if (double(a) * o.angleResolution >= 90 - 1e-9) {
            a = 0;
            std::swap(w, h);
        }
        std::string text;
        auto number = [&](char letter, std::int64_t value) {
            text += letter;
            text += o.singleQuadrant ? std::to_string(value) : Decimal(value);
        };
        if (!last || x != last->x) number('X', x);
        if (!last || y != last->y) number('Y', y);
        if (!last || w != last->w) number('W', w);
        if (!last || h != last->h) number('H', h);
        if (!last || a != last->a) {
            text += 'A';
            text += o.singleQuadrant ? std::to_string(a) : FixedNumber(double(a) * o.angleResolution, angleDecimals);
        }
        if (text.empty()) return;
        if (o.singleQuadrant && ((!last || x != last->x) && x < 0)) negative = true;
        if (o.singleQuadrant && ((!last || y != last->y) && y < 0)) negative = true;
        last = Written{x, y, w, h, a};
        text += ';';
        text += LineEnd();
        Statement(text);
        ++flashes;
    }
};

ExportManFile::ExportManFile(Layout& layout, std::string fileName, int layer, const MannOptions& options,
                             platform::DiagnosticSink* diagnostics)
    : state(std::make_unique<State>(layout, std::move(fileName), layer, options, diagnostics)) {}

ExportManFile::~ExportManFile() = default;

bool ExportManFile::Write() {
    using platform::Severity;
    State& s = *state;
    SymbolDescription* main = s.layout.MainSymbol();
    if (!main) {
        s.Report(Severity::Error, "The layout has no main symbol.");
        return false;
    }
    if (!AskMannOptions(s.options, FlashDialogUse::Write)) return false;
    if (!s.Prepare()) return false;
    main->EnsureBounds();
    if (!s.out.Open(s.fileName)) {
        s.Report(Severity::Error, kSaveFailed);
        return false;
    }
    const MannOptions& o = s.options;
    const FlashScale scale(o.scale * (o.metric ? kNanometresPerMillimetre : kInchesPerNanometre) / o.resolution, 10);
    const std::int32_t minFlashNanometres =
        SaturateToInt32(static_cast<std::int64_t>(std::min(std::trunc(scale.ToNanometres(double(s.minFlash))), 4e18)));
    s.Header();
    FlashCutter cutter(s.layout, s.layer, scale, s.maxFlash, minFlashNanometres, FractureKind::Mann, s);
    if (!cutter.Cut(*main)) {
        s.out.Discard();
        s.Report(Severity::Error, "The layer needs more than " + std::to_string(FlashCutter::kMaxFlashes) +
                                      " flashes; choose a larger maximum flash size.");
        return false;
    }
    s.Trailer();
    if (!s.out.Commit()) {
        s.Report(Severity::Error, platform::SaveFailedText(kSaveFailed, s.out));
        return false;
    }
    if (s.out.InPlace()) s.Report(Severity::Warning, platform::kWrittenInPlaceWarning);
    if (s.negative) {
        s.Report(Severity::Warning, kNegativeWarning);
    } else if (s.enlarged) {
        s.Report(Severity::Warning, kEnlargedWarning);
    } else if (cutter.RoundingErrors()) {
        s.Report(Severity::Warning, kRoundingWarning);
    }
    return true;
}

}  // namespace zandor
