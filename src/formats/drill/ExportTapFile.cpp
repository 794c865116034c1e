// Choices beyond the plain format:
// - the holes are gathered in one walk of the hierarchy and written grouped
//   by tool, each tool's holes in the order of the walk: the same file as one
//   walk per tool gives, at a fortieth of the work;
// - the number of decimals is checked as the reader checks it, since the
//   file unit is undefined outside 0 to 6;
// - holes above 4 mm have no tool; they are counted and the user is told.
#include "formats/drill/ExportTapFile.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/drill/DrillUnits.h"
#include "model/HierarchyWalker.h"
#include "model/Layout.h"
#include "model/RecordViews.h"
#include "platform/Messages.h"
#include "platform/ReplacingFile.h"

namespace zandor {

namespace {

constexpr const char* kLineBreak = "\r\n";
constexpr const char* kSaveFailed = "Unable to save file!";
constexpr const char* kOtherShapes =
    "The layer contains shapes other than circles and rings. These objects have been ignored.";
constexpr int kTools = 40;
constexpr double kToolStep = 100000;  // nanometres of diameter per tool number

struct DrillHole {
    std::int64_t x, y;  // file units
    int tool;
};

// The text of a value in fixed notation with three decimals, right aligned
// in five characters ("%5.3f"), with "." whatever the locale.
std::string Fixed3(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3);
    std::string out(text, result.ptr);
    if (out.size() < 5) out.insert(0, 5 - out.size(), ' ');
    return out;
}

}  // namespace

struct ExportTapFile::State {
    State(Layout& l, std::string name, int layer, const DrillOptions& o, platform::DiagnosticSink* sink)
        : layout(l), fileName(std::move(name)), layer(layer), options(o), diagnostics(sink ? *sink : shown) {}

    Layout& layout;
    std::string fileName;
    int layer;
    DrillOptions options;
    platform::ShownDiagnostics shown;
    platform::DiagnosticSink& diagnostics;
    platform::ReplacingFile out;

    double unit = 1;  // nanometres per file unit
    std::vector<DrillHole> holes;
    long oversized = 0;
    bool otherShapes = false;

    void Report(platform::Severity severity, std::string_view text) {
        platform::Diagnostic d;
        d.severity = severity;
        d.text = text;
        d.file = fileName;
        diagnostics.Report(d);
    }

    void AddHole(Point centre, double reach, const TransformMatrix& m) {
        TransformPoints(&centre, 1, m);
        const double diameter = 2 * reach * std::hypot(m.a, m.b);
        // Tool n takes n - 1 < D / 0.1 mm <= n; tool 1 also the smallest.
        const double steps = std::ceil(diameter / kToolStep);
        if (!(steps <= kTools)) {
            ++oversized;
            return;
        }
        const int tool = steps < 1 ? 1 : static_cast<int>(steps);
        holes.push_back({RoundFileUnits(centre.X / unit), RoundFileUnits(centre.Y / unit), tool});
    }

    void Object(const Word* r, const TransformMatrix& m) {
        const ObjectKind kind = RecordKind(r);
        if (IsHeadKind(kind) || RecordLayer(r) != layer) return;
        switch (kind) {
            case ObjectKind::Circle: {
                const CircleView circle(r);
                return AddHole(circle.Centre(), circle.Radius(), m);
            }
            case ObjectKind::Ring: {
                const RingView ring(r);
                return AddHole(ring.Centre(), static_cast<double>(ring.OuterReach()), m);
            }
            case ObjectKind::Rectangle:
            case ObjectKind::Box:
            case ObjectKind::Polygon:
            case ObjectKind::Wire:
            case ObjectKind::ArcWire: otherShapes = true; return;
            default: return;
        }
    }

    struct Walk : WalkVisitor {
        explicit Walk(State& state) : state(state) {}
        void Object(const Word* r, const TransformMatrix& m, int) { state.Object(r, m); }
        State& state;
    };

    void Line(std::string_view text) {
        out.Put(text);
        out.Put(kLineBreak);
    }

    // A coordinate: the letter, "-" when negative, the value's digits padded
    // with zeros to integers + decimals.
    void Coordinate(char letter, std::int64_t value) {
        out.Put(letter);
        if (value < 0) out.Put('-');
        std::string digits = std::to_string(value < 0 ? -value : value);
        const std::size_t width = static_cast<std::size_t>(options.integers + options.decimals);
        if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
        out.Put(digits);
    }

    void Contents() {
        const DrillOptions& o = options;
        Line("; TAP file created by Zandor, version 3.1");
        Line("; Tool selection: TnCm");
        Line(";  n = tool index (corresponds to diameter in 0.1 mm)");
        Line(";  m = drill diameter in inches or millimeter");
        Line("; Coordinate format: " + std::to_string(o.integers) + "." + std::to_string(o.decimals));
        Line(std::string("; Unit: ") + (o.millimetres ? "mm" : "inch"));
        Line("%");
        // Counting sort by tool keeps the walk order within each tool.
        std::vector<std::vector<std::size_t>> byTool(kTools + 1);
        for (std::size_t k = 0; k < holes.size(); ++k) byTool[static_cast<std::size_t>(holes[k].tool)].push_back(k);
        for (int tool = 1; tool <= kTools; ++tool) {
            const auto& list = byTool[static_cast<std::size_t>(tool)];
            if (list.empty()) continue;
            const double diameter = o.millimetres ? tool / 10.0 : tool / 254.0;
            Line("T" + std::to_string(tool) + "C" + Fixed3(diameter) + "F200S100");
            for (std::size_t k : list) {
                Coordinate('X', holes[k].x);
                Coordinate('Y', holes[k].y);
                out.Put(kLineBreak);
            }
        }
        Line("M30");
    }
};

ExportTapFile::ExportTapFile(Layout& layout, std::string fileName, int layer, const DrillOptions& options,
                             platform::DiagnosticSink* diagnostics)
    : state(std::make_unique<State>(layout, std::move(fileName), layer, options, diagnostics)) {}

ExportTapFile::~ExportTapFile() = default;

bool ExportTapFile::Write() {
    using platform::Severity;
    State& s = *state;
    SymbolDescription* main = s.layout.MainSymbol();
    if (!main) {
        s.Report(Severity::Error, "The layout has no main symbol.");
        return false;
    }
    main->EnsureBounds();
    if (!AskDrillOptions(s.options, DrillDialogUse::Write)) return false;
    if (const std::string problem = DrillFormatProblem(s.options); !problem.empty()) {
        s.Report(Severity::Error, problem);
        return false;
    }
    s.unit = DrillFileUnit(s.options);
    platform::Progress().SetProgress(0);
    State::Walk walk(s);
    HierarchyWalker(s.layout).Walk(*main, TransformMatrix{}, walk);
    platform::Progress().SetProgress(50);
    if (!s.out.Open(s.fileName)) {
        s.Report(Severity::Error, platform::SaveFailedText(kSaveFailed, s.out));
        platform::Progress().SetProgress(100);
        return false;
    }
    s.Contents();
    const bool written = s.out.Commit();
    platform::Progress().SetProgress(100);
    if (!written) {
        s.Report(Severity::Error, platform::SaveFailedText(kSaveFailed, s.out));
        return false;
    }
    if (s.out.InPlace()) s.Report(Severity::Warning, platform::kWrittenInPlaceWarning);
    if (s.otherShapes) s.Report(Severity::Warning, kOtherShapes);
    if (s.oversized > 0) {
        s.Report(Severity::Warning, std::to_string(s.oversized) + (s.oversized == 1 ? " hole is" : " holes are") +
                                        " larger than 4 mm, the largest tool, and " +
                                        (s.oversized == 1 ? "was" : "were") + " not written.");
    }
    return true;
}

long ExportTapFile::Holes() const { return static_cast<long>(state->holes.size()); }
long ExportTapFile::Oversized() const { return state->oversized; }

}  // namespace zandor
