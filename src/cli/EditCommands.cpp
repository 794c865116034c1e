#include "cli/EditCommands.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <unordered_set>

#include "editing/GrowShrink.h"
#include "editing/HierarchyEdits.h"
#include "editing/SelectionEdits.h"
#include "model/Geometry.h"
#include "model/ObjectRecord.h"
#include "model/SymbolDescription.h"
#include "model/UndoList.h"
#include "platform/Messages.h"

namespace zandor::cli {

namespace {

// Keeps the number parsers of the model quiet while the arguments are read:
// a malformed number is a usage problem, reported once with the option's name.
class QuietMessages : public platform::MessageService {
public:
    QuietMessages() : previous(platform::SetMessageService(this)) {}
    ~QuietMessages() override { platform::SetMessageService(previous); }
    QuietMessages(const QuietMessages&) = delete;
    QuietMessages& operator=(const QuietMessages&) = delete;
    void Show(std::string_view, std::string_view) override {}

private:
    platform::MessageService* previous;
};

// Passes messages on and notes whether an operation refused with an error.
class ErrorWatch : public platform::MessageService {
public:
    ErrorWatch() : previous(platform::SetMessageService(this)) {}
    ~ErrorWatch() override { platform::SetMessageService(previous); }
    ErrorWatch(const ErrorWatch&) = delete;
    ErrorWatch& operator=(const ErrorWatch&) = delete;
    void Show(std::string_view text, std::string_view caption) override {
        if (caption == "Error") ++errors;
        if (previous) previous->Show(text, caption);
    }
    int errors = 0;

private:
    platform::MessageService* previous;
};

bool ParseLength(const std::string& text, std::int32_t& units) {
    QuietMessages quiet;
    return ParseMicrons(text, units);
}

bool ParseDouble(const std::string& text, double& value) {
    QuietMessages quiet;
    return ParseReal(text, value) && std::isfinite(value);
}

// "A,B": exactly one comma, so that a decimal comma cannot be mistaken for the
// separator.
bool SplitPair(const std::string& text, std::string& first, std::string& second) {
    const auto comma = text.find(',');
    if (comma == std::string::npos || text.find(',', comma + 1) != std::string::npos) return false;
    first = text.substr(0, comma);
    second = text.substr(comma + 1);
    return !first.empty() && !second.empty();
}

std::string ParseLayerChoice(const std::string& value, LayerChoice& choice) {
    if (value == "all") {
        choice.all = true;
        return {};
    }
    char* end = nullptr;
    const long number = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || number < 0 || number >= kLayerCount) {
        return "--layer needs a layer index 0..255 or \"all\", not " + value;
    }
    choice.layer = static_cast<int>(number);
    return {};
}

// Splits arguments into positional ones and option values; options in
// `valued` take one value, those in `switches` none.
std::string SplitArguments(const std::vector<std::string>& args, const std::vector<std::string>& valued,
                           const std::vector<std::string>& switches, std::vector<std::string>& positional,
                           std::vector<std::pair<std::string, std::string>>& options) {
    auto among = [](const std::vector<std::string>& names, const std::string& a) {
        for (const std::string& n : names) {
            if (n == a) return true;
        }
        return false;
    };
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        if (a.rfind("--", 0) != 0) {
            positional.push_back(a);
        } else if (among(switches, a)) {
            options.emplace_back(a, std::string());
        } else if (among(valued, a)) {
            if (k + 1 >= args.size()) return a + " needs a value";
            for (const auto& seen : options) {
                if (seen.first == a) return a + " is given twice";
            }
            options.emplace_back(a, args[++k]);
        } else {
            return "unknown option " + a;
        }
    }
    return {};
}

bool InCoordinateRange(double v) { return v >= static_cast<double>(INT32_MIN) && v <= static_cast<double>(INT32_MAX); }

// The selected objects mapped by f still have coordinates: checked on the
// corners of the selection box, which bound every object before and after a
// move, rotation or scaling.
template <typename F>
bool SelectionStaysInRange(SymbolDescription& symbol, F map) {
    Rect box;
    if (!symbol.GetSelectionBox(box)) return true;
    const double xs[2] = {static_cast<double>(box.minx), static_cast<double>(box.maxx)};
    const double ys[2] = {static_cast<double>(box.miny), static_cast<double>(box.maxy)};
    for (double x : xs) {
        for (double y : ys) {
            double mx = x, my = y;
            map(mx, my);
            if (!InCoordinateRange(mx) || !InCoordinateRange(my)) return false;
        }
    }
    return true;
}

const char* const kOutOfRange = "The result would lie outside the coordinate range.";

bool CheckLayer(Layout& layout, const LayerChoice& choice, const std::string& file) {
    if (choice.all || layout.Layer(choice.layer)) return true;
    platform::ShowError("Layer " + std::to_string(choice.layer) + " does not exist in " + file);
    return false;
}

// Selects the objects; warns when there are none, so that an output equal to
// the input does not pass unnoticed.
int SelectOrWarn(SymbolDescription& symbol, const LayerChoice& choice) {
    const int count = SelectObjects(symbol, choice);
    if (count == 0) {
        platform::ShowWarning(choice.all
                                  ? std::string("The main symbol holds no objects.")
                                  : "The main symbol holds no objects on layer " + std::to_string(choice.layer) + ".");
    }
    return count;
}

}  // namespace

std::string ParseGrowArguments(const std::vector<std::string>& args, GrowRequest& request) {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;
    if (auto problem = SplitArguments(args, {"--layer", "--by"}, {"--round"}, positional, options); !problem.empty()) {
        return problem;
    }
    bool haveLayer = false, haveAmount = false;
    for (const auto& [name, value] : options) {
        if (name == "--layer") {
            if (auto problem = ParseLayerChoice(value, request.layer); !problem.empty()) return problem;
            haveLayer = true;
        } else if (name == "--by") {
            if (!ParseLength(value, request.amount)) return "--by needs a length in um, not " + value;
            haveAmount = true;
        } else if (name == "--round") {
            request.round = true;
        }
    }
    if (positional.size() != 2) return "grow needs an input and an output file";
    request.in = positional[0];
    request.out = positional[1];
    if (!haveLayer) return "grow needs --layer L";
    if (!haveAmount) return "grow needs --by UM";
    return {};
}

std::string ParseFlattenArguments(const std::vector<std::string>& args, FlattenRequest& request) {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;
    if (auto problem = SplitArguments(args, {}, {"--keep-symbols"}, positional, options); !problem.empty()) {
        return problem;
    }
    request.keepSymbols = !options.empty();
    if (positional.size() != 2) return "flatten needs an input and an output file";
    request.in = positional[0];
    request.out = positional[1];
    return {};
}

std::string ParseTransformArguments(const std::vector<std::string>& args, TransformRequest& request) {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;
    if (auto problem =
            SplitArguments(args, {"--layer", "--move", "--rotate", "--scale", "--about"}, {}, positional, options);
        !problem.empty()) {
        return problem;
    }
    bool haveLayer = false;
    auto setKind = [&](TransformKind kind) {
        if (request.kind != TransformKind::None) return false;
        request.kind = kind;
        return true;
    };
    const char* const oneOnly = "transform takes one of --move, --rotate and --scale";
    for (const auto& [name, value] : options) {
        std::string a, b;
        if (name == "--layer") {
            if (auto problem = ParseLayerChoice(value, request.layer); !problem.empty()) return problem;
            haveLayer = true;
        } else if (name == "--move") {
            if (!setKind(TransformKind::Move)) return oneOnly;
            if (!SplitPair(value, a, b) || !ParseLength(a, request.dx) || !ParseLength(b, request.dy)) {
                return "--move needs DX,DY in um, not " + value;
            }
        } else if (name == "--rotate") {
            if (!setKind(TransformKind::Rotate)) return oneOnly;
            if (!ParseDouble(value, request.degrees)) return "--rotate needs an angle in degrees, not " + value;
        } else if (name == "--scale") {
            if (!setKind(TransformKind::Scale)) return oneOnly;
            if (SplitPair(value, a, b)) {
                if (!ParseDouble(a, request.fx) || !ParseDouble(b, request.fy)) {
                    return "--scale needs FX or FX,FY, not " + value;
                }
            } else if (value.find(',') == std::string::npos && ParseDouble(value, request.fx)) {
                request.fy = request.fx;
            } else {
                return "--scale needs FX or FX,FY, not " + value;
            }
            if (request.fx == 0 || request.fy == 0) return "A scale factor of 0 would collapse the objects.";
        } else if (name == "--about") {
            if (!SplitPair(value, a, b) || !ParseDouble(a, request.cx) || !ParseDouble(b, request.cy)) {
                return "--about needs X,Y in um, not " + value;
            }
            request.cx *= 1000;
            request.cy *= 1000;
            if (!InCoordinateRange(request.cx) || !InCoordinateRange(request.cy)) {
                return "--about lies outside the coordinate range: " + value;
            }
            request.haveCentre = true;
        }
    }
    if (positional.size() != 2) return "transform needs an input and an output file";
    request.in = positional[0];
    request.out = positional[1];
    if (!haveLayer) return "transform needs --layer L (or --layer all)";
    if (request.kind == TransformKind::None) return "transform needs --move, --rotate or --scale";
    if (request.kind == TransformKind::Move && request.haveCentre) return "--move takes no --about";
    if (request.kind != TransformKind::Move && !request.haveCentre) return "--rotate and --scale need --about X,Y";
    return {};
}

int SelectObjects(SymbolDescription& symbol, const LayerChoice& choice) {
    symbol.DeselectAll();
    int count = 0;
    for (Word* r = symbol.FirstRecord(); r; r = symbol.NextRecord(r)) {
        if (IsMember(r)) continue;
        const ObjectKind kind = RecordKind(r);
        const bool onLayer = kind <= ObjectKind::Text && RecordLayer(r) == choice.layer;
        if (choice.all || onLayer) {
            SetSelectedBit(r, true);
            ++count;
        }
    }
    symbol.UpdateSelection();
    return count;
}

bool RunGrow(Layout& layout, const GrowRequest& request) {
    if (!CheckLayer(layout, request.layer, request.in)) return false;
    SymbolDescription& symbol = *layout.MainSymbol();
    if (SelectOrWarn(symbol, request.layer) == 0) return true;
    const double grow = std::abs(static_cast<double>(request.amount));
    if (!SelectionStaysInRange(symbol, [&](double& x, double& y) {
            x += x < 0 ? -grow : grow;
            y += y < 0 ? -grow : grow;
        })) {
        platform::ShowError(kOutOfRange);
        return false;
    }
    ErrorWatch watch;
    symbol.Undo().SetRecording(true);
    symbol.Undo().BeginStep();
    const bool done = GrowShrinkSelection(symbol, request.amount, false, request.round) >= 0;
    return done && watch.errors == 0;
}

bool RunFlatten(Layout& layout, const FlattenRequest& request) {
    SymbolDescription& main = *layout.MainSymbol();
    // What only the main symbol used goes with its calls, unless asked to
    // stay: the symbols it reached, less those other top symbols still reach.
    std::unordered_set<std::int32_t> reached;
    std::vector<std::int32_t> pending(main.Children().begin(), main.Children().end());
    while (!pending.empty()) {
        const std::int32_t id = pending.back();
        pending.pop_back();
        const SymbolDescription* s = layout.FindSymbol(id);
        if (!s || !reached.insert(id).second) continue;
        pending.insert(pending.end(), s->Children().begin(), s->Children().end());
    }

    ErrorWatch watch;
    main.Undo().SetRecording(true);
    main.Undo().BeginStep();
    if (!FlattenLayout(main) || watch.errors > 0) return false;
    if (request.keepSymbols) return true;

    std::unordered_set<std::int32_t> kept;
    for (const auto& s : layout.Symbols()) {
        if (s.get() == &main || reached.count(s->Id()) || !layout.CallersOf(s->Id()).empty()) continue;
        pending.push_back(s->Id());
    }
    while (!pending.empty()) {
        const std::int32_t id = pending.back();
        pending.pop_back();
        const SymbolDescription* s = layout.FindSymbol(id);
        if (!s || !kept.insert(id).second) continue;
        pending.insert(pending.end(), s->Children().begin(), s->Children().end());
    }
    for (std::int32_t id : reached) {
        if (!kept.count(id)) layout.DeleteSymbol(id);
    }
    return true;
}

bool RunTransform(Layout& layout, const TransformRequest& request) {
    if (!CheckLayer(layout, request.layer, request.in)) return false;
    SymbolDescription& symbol = *layout.MainSymbol();
    if (SelectOrWarn(symbol, request.layer) == 0) return true;
    bool inRange = true;
    switch (request.kind) {
        case TransformKind::Move:
            inRange = SelectionStaysInRange(symbol, [&](double& x, double& y) {
                x += request.dx;
                y += request.dy;
            });
            break;
        case TransformKind::Rotate: {
            const double radians = request.degrees * kPi / 180;
            const double c = std::cos(radians), s = std::sin(radians);
            inRange = SelectionStaysInRange(symbol, [&](double& x, double& y) {
                const double u = x - request.cx, v = y - request.cy;
                x = request.cx + u * c - v * s;
                y = request.cy + u * s + v * c;
            });
            break;
        }
        case TransformKind::Scale:
            inRange = SelectionStaysInRange(symbol, [&](double& x, double& y) {
                x = request.cx + request.fx * (x - request.cx);
                y = request.cy + request.fy * (y - request.cy);
            });
            break;
        case TransformKind::None: break;
    }
    if (!inRange) {
        platform::ShowError(kOutOfRange);
        return false;
    }
    ErrorWatch watch;
    symbol.Undo().SetRecording(true);
    symbol.Undo().BeginStep();
    switch (request.kind) {
        case TransformKind::Move: MoveSelection(symbol, request.dx, request.dy, false); break;
        case TransformKind::Rotate: RotateSelection(symbol, request.cx, request.cy, request.degrees, false); break;
        case TransformKind::Scale: ScaleSelection(symbol, request.cx, request.cy, request.fx, request.fy, false); break;
        case TransformKind::None: break;
    }
    return watch.errors == 0;
}

}  // namespace zandor::cli
