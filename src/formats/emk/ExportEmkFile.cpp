// Choices beyond the plain format:
// - the flash sizes are converted to file units by the unit itself, so that
//   a unit other than 0.1 um (or 0.01 mil) still bounds the flashes by the
//   sizes entered;
// - the first statement writes all five parameters;
// - the closing "Z." starts a new block when it does not fit into the last.
#include "formats/emk/ExportEmkFile.h"

#include <cmath>
#include <optional>
#include <string_view>
#include <utility>

#include "formats/flash/FlashCutter.h"
#include "model/Layout.h"
#include "platform/ReplacingFile.h"

namespace zandor {

namespace {

constexpr std::size_t kBlock = 800;
constexpr const char* kSaveFailed = "Unable to save file!";
constexpr const char* kEnlargedWarning = "Some flashes were increased to the minimum flash size.";
constexpr const char* kRoundingWarning = "Some rounding errors may have occured during polygon convertion.";

}  // namespace

struct ExportEmkFile::State : FlashSink {
    State(Layout& l, std::string name, int layer, const EmkOptions& o, platform::DiagnosticSink* sink)
        : layout(l), fileName(std::move(name)), layer(layer), options(o), diagnostics(sink ? *sink : shown) {}

    Layout& layout;
    std::string fileName;
    int layer;
    EmkOptions options;
    platform::ShownDiagnostics shown;
    platform::DiagnosticSink& diagnostics;
    platform::ReplacingFile out;

    double micrometresPerUnit = 0;
    std::int64_t minFlash = 0, maxFlash = 0;  // file units

    std::size_t blockUsed = 0;
    struct Written {
        std::int64_t x, y, w, v, u;
    };
    std::optional<Written> last;
    bool enlarged = false;

    void Report(platform::Severity severity, std::string_view text) {
        platform::Diagnostic d;
        d.severity = severity;
        d.text = text;
        d.file = fileName;
        diagnostics.Report(d);
    }

    bool Prepare() {
        const EmkOptions& o = options;
        auto refuse = [&](std::string_view text) {
            Report(platform::Severity::Error, text);
            return false;
        };
        const double toMicrometres = o.mils ? 25.4 : 1;
        micrometresPerUnit = o.unit * toMicrometres;
        if (!(micrometresPerUnit > 0) || !std::isfinite(micrometresPerUnit)) {
            return refuse("Unit must be a positive value");
        }
        if (!(o.minFlash >= 0) || !std::isfinite(o.minFlash)) {
            return refuse("The minimum flash size must not be negative.");
        }
        if (!(o.maxFlash >= o.minFlash) || !std::isfinite(o.maxFlash)) {
            return refuse("The maximum flash size must not be below the minimum flash size.");
        }
        minFlash = RoundOutputUnits(o.minFlash / o.unit);
        maxFlash = RoundOutputUnits(o.maxFlash / o.unit);
        if (maxFlash < 1) return refuse("The maximum flash size must be at least one unit.");
        return true;
    }

    void Put(std::string_view text) {
        out.Put(text);
        blockUsed += text.size();
    }
    // Fills the block with "." and opens the next with "<".
    void NextBlock() {
        out.Put(std::string(kBlock - blockUsed, '.'));
        out.Put('<');
        blockUsed = 1;
    }
    void Statement(std::string_view text) {
        if (blockUsed + text.size() >= kBlock) NextBlock();
        Put(text);
    }

    void Flash(std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t v, int u) override {
        if (w < minFlash) w = minFlash, enlarged = true;
        if (v < minFlash) v = minFlash, enlarged = true;
        std::string text;
        auto number = [&](char letter, std::int64_t value, std::int64_t Written::*field) {
            if (last && (*last).*field == value) return;
            text += letter;
            text += std::to_string(value);
        };
        number('X', x, &Written::x);
        number('Y', y, &Written::y);
        number('W', w, &Written::w);
        number('V', v, &Written::v);
        number('U', u, &Written::u);
        if (text.empty()) return;
        last = Written{x, y, w, v, u};
        text += 'S';
        Statement(text);
    }
};

ExportEmkFile::ExportEmkFile(Layout& layout, std::string fileName, int layer, const EmkOptions& options,
                             platform::DiagnosticSink* diagnostics)
    : state(std::make_unique<State>(layout, std::move(fileName), layer, options, diagnostics)) {}

ExportEmkFile::~ExportEmkFile() = default;

bool ExportEmkFile::Write() {
    using platform::Severity;
    State& s = *state;
    SymbolDescription* main = s.layout.MainSymbol();
    if (!main) {
        s.Report(Severity::Error, "The layout has no main symbol.");
        return false;
    }
    if (!AskEmkOptions(s.options, FlashDialogUse::Write)) return false;
    if (!s.Prepare()) return false;
    main->EnsureBounds();
    if (!s.out.Open(s.fileName)) {
        s.Report(Severity::Error, kSaveFailed);
        return false;
    }
    const FlashScale scale(0.001 / s.micrometresPerUnit, 100);
    const std::int32_t minFlashNanometres =
        SaturateToInt32(static_cast<std::int64_t>(std::min(std::trunc(scale.ToNanometres(double(s.minFlash))), 4e18)));
    s.Put("<");
    FlashCutter cutter(s.layout, s.layer, scale, s.maxFlash, minFlashNanometres, FractureKind::Emk, s);
    if (!cutter.Cut(*main)) {
        s.out.Discard();
        s.Report(Severity::Error, "The layer needs more than " + std::to_string(FlashCutter::kMaxFlashes) +
                                      " flashes; choose a larger maximum flash size.");
        return false;
    }
    if (s.blockUsed + 2 > kBlock) s.NextBlock();
    s.Put("Z.");
    s.out.Put(std::string(kBlock - s.blockUsed, '.'));
    if (!s.out.Commit()) {
        s.Report(Severity::Error, platform::SaveFailedText(kSaveFailed, s.out));
        return false;
    }
    if (s.out.InPlace()) s.Report(Severity::Warning, platform::kWrittenInPlaceWarning);
    if (s.enlarged) s.Report(Severity::Warning, kEnlargedWarning);
    if (cutter.RoundingErrors()) s.Report(Severity::Warning, kRoundingWarning);
    return true;
}

}  // namespace zandor
