// Choices beyond the plain format:
// - the minimal format of the writer (C, T, X and Y, digits missing on the
//   right) is what a file without an Excellon header is read as, so that its
//   files come back exactly;
// - a tool selected without a definition is n x 0.1 mm, as in that format;
//   in an Excellon file this is a guess, and the user is told which tools
//   it concerns;
// - routed moves draw only while the tool is down (M15 to M16 or M17), as a
//   machine cuts; moves with the tool up are reported once;
// - arcs are drawn with chords of at most 5 degrees; a radius (A) too short
//   for its chord is taken as half the chord;
// - a routed path of more nodes than one wire holds goes on in the next wire;
// - repeat codes make at most 100000 holes in all, so that a short file
//   cannot ask for unbounded memory.
#include "formats/drill/LoadTapFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/drill/DrillUnits.h"
#include "model/Layout.h"
#include "platform/Messages.h"

namespace zandor {

namespace {

constexpr double kStartDiameter = 500000;
constexpr std::int32_t kSmallHoleRadius = 500000;
constexpr double kToolStep = 100000;
constexpr long kMaxRepeatedHoles = 100000;
constexpr std::size_t kMaxDigits = 18;
constexpr std::size_t kMaxDecimalCharacters = 40;
constexpr int kMaxWireNodes = 30000;
constexpr double kArcStep = 5 * kPi / 180;
// Positions beyond this many nanometres are out of any layout; the limit
// keeps sums of incremental moves far from overflow.
constexpr double kFarAway = 1e15;
constexpr const char* kBinary = "The file holds binary data; it is no drill file";

bool IsText(unsigned char c) { return (c >= 0x20 && c < 0x7F) || c == '\t' || c == '\f'; }
bool IsLetter(char c) { return c >= 'A' && c <= 'Z'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

enum class Zeros { Leading, Trailing };  // the zeros a number keeps
enum class Motion { Rapid, Linear, Clockwise, CounterClockwise };

struct Token {
    char letter;
    std::string_view text;  // sign, digits and point after the letter
};

struct Tool {
    double size;  // in the file's units, or nanometres
    bool nanometres;
};

// A whole number of at most 9 digits; false for anything else.
bool SmallInteger(std::string_view text, int& value) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text) {
        if (!IsDigit(c)) return false;
    }
    value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return true;
}

// A decimal number with optional sign and point ("-.5", "+1.25", "3").
bool DecimalNumber(std::string_view text, double& value) {
    std::string clean;
    for (char c : text) {
        if (c != '+') clean += c;
    }
    if (clean.empty() || clean == "-" || clean == "." || clean == "-.") {
        value = 0;
        return !clean.empty();
    }
    if (clean.size() > kMaxDecimalCharacters) return false;
    const bool negative = clean.front() == '-';
    if (negative) clean.erase(0, 1);
    if (clean.front() == '.') clean.insert(0, "0");
    const auto result = std::from_chars(clean.data(), clean.data() + clean.size(), value);
    if (result.ec != std::errc()) return false;
    if (negative) value = -value;
    return std::isfinite(value);
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\f')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\f')) text.remove_suffix(1);
    return text;
}

}  // namespace

struct LoadTapFile::State {
    State(Layout& l, std::string name, const DrillOptions& o, platform::DiagnosticSink* sink)
        : layout(l), fileName(std::move(name)), options(o), diagnostics(sink ? *sink : shown) {}

    Layout& layout;
    std::string fileName;
    DrillOptions options;
    platform::ShownDiagnostics shown;
    platform::DiagnosticSink& diagnostics;
    SymbolDescription* main = nullptr;

    std::string text;           // the file, upper case
    std::size_t lineStart = 0;  // offset of the line being read
    std::size_t next = 0;       // and of the next one
    std::int64_t lineNumber = 0;

    // The format in force.
    bool millimetres = false;
    int integers = 2, decimals = 4;
    Zeros zeros = Zeros::Leading;
    bool zerosKnown = false;  // stated by the file or judged from its numbers
    bool excellon = false;    // the file has an M48 header
    bool header = false;
    bool incremental = false;

    std::map<int, Tool> tools;
    int tool = -1;
    bool toolUndefined = false;
    std::set<int> undefinedTools;
    double diameter = kStartDiameter;

    std::int64_t x = 0, y = 0;  // nanometres
    std::int64_t offsetX = 0, offsetY = 0;
    bool routing = false;
    Motion motion = Motion::Rapid;
    bool toolDown = false;
    std::vector<Point> path;
    std::int32_t pathWidth = 0;
    bool pathContinued = false;  // part of the path is a wire already
    long repeated = 0;

    std::set<std::string> warned;
    bool ended = false, stopped = false;

    // --- diagnostics ---------------------------------------------------------

    void Report(platform::Severity severity, std::string_view message, bool place) {
        std::string shownText(message);
        if (place) shownText += "\nin line " + std::to_string(lineNumber);
        platform::Diagnostic d;
        d.severity = severity;
        d.text = shownText;
        d.file = fileName;
        if (place) d.line = lineNumber;
        if (main) d.cell = main->Name();
        diagnostics.Report(d);
    }
    // Reading stops; what was read stays.
    void Error(std::string_view message) {
        Report(platform::Severity::Error, message, true);
        stopped = true;
    }
    // Once per kind of thing the reader does not do.
    void Unsupported(const std::string& message) {
        if (!warned.insert(message).second) return;
        Report(platform::Severity::Warning, message, false);
    }
    void Skipped(const std::string& what) {
        if (!warned.insert(what).second) return;
        Report(platform::Severity::Info, what, false);
    }

    // --- numbers -------------------------------------------------------------

    double FileUnit() const { return DrillFileUnit(millimetres, decimals); }
    double LengthUnit() const { return millimetres ? 1e6 : 25.4e6; }

    // A length as written after letter, in nanometres: with a point in the
    // file's units, without one in file units with the zeros the file keeps.
    bool Length(char letter, std::string_view number, std::int64_t& nanometres) {
        bool negative = false;
        if (!number.empty() && (number.front() == '+' || number.front() == '-')) {
            negative = number.front() == '-';
            number.remove_prefix(1);
        }
        double value;
        if (number.find('.') != std::string_view::npos) {
            if (!DecimalNumber(number, value)) {
                Error(std::string("The number after ") + letter + " has too many digits");
                return false;
            }
            value *= LengthUnit();
        } else {
            if (number.size() > kMaxDigits) {
                Error(std::string("The number after ") + letter + " has too many digits");
                return false;
            }
            if (!zerosKnown) JudgeZeros();
            std::string digits(number);
            const std::size_t width = static_cast<std::size_t>(integers + decimals);
            if (zeros == Zeros::Leading && digits.size() < width) digits.append(width - digits.size(), '0');
            std::int64_t whole = 0;
            if (!digits.empty()) std::from_chars(digits.data(), digits.data() + digits.size(), whole);
            value = static_cast<double>(whole) * FileUnit();
        }
        if (!(std::fabs(value) < kFarAway)) {
            Error("A coordinate lies outside the range of the layout");
            return false;
        }
        const std::int64_t rounded = RoundFileUnits(value);
        nanometres = negative ? -rounded : rounded;
        return true;
    }

    // An Excellon file that does not say which zeros it keeps: numbers
    // shorter than the format that begin with a zero keep leading zeros,
    // those that end in one keep trailing zeros; the majority decides.
    void JudgeZeros() {
        zerosKnown = true;
        if (!excellon) return;
        const std::size_t width = static_cast<std::size_t>(integers + decimals);
        long leading = 0, trailing = 0;
        std::size_t k = lineStart;
        while (k < text.size()) {
            std::size_t end = text.find('\n', k);
            if (end == std::string::npos) end = text.size();
            const std::string_view line(text.data() + k, end - k);
            k = end + 1;
            if (!line.empty() && line.front() == ';') continue;
            for (std::size_t i = 0; i < line.size(); ++i) {
                if (line[i] != 'X' && line[i] != 'Y') continue;
                std::size_t j = i + 1;
                if (j < line.size() && (line[j] == '+' || line[j] == '-')) ++j;
                const std::size_t first = j;
                while (j < line.size() && IsDigit(line[j])) ++j;
                if (j < line.size() && line[j] == '.') continue;
                const std::size_t n = j - first;
                if (n < 2 || n >= width) continue;
                if (line[first] == '0') ++leading;
                if (line[j - 1] == '0') ++trailing;
            }
        }
        zeros = trailing > leading ? Zeros::Trailing : Zeros::Leading;
        Report(platform::Severity::Info,
               zeros == Zeros::Trailing
                   ? "The file does not say which zeros its numbers keep; they were read as keeping trailing zeros."
                   : "The file does not say which zeros its numbers keep; they were read as keeping leading zeros.",
               false);
    }

    // --- objects -------------------------------------------------------------

    std::int32_t HoleRadius() const {
        return diameter < 1 ? kSmallHoleRadius : RoundHalfAway(std::min(diameter, 4e9) / 2);
    }
    bool Inside(std::int64_t px, std::int64_t py, std::int64_t reach) const {
        return px - reach >= INT32_MIN && px + reach <= INT32_MAX && py - reach >= INT32_MIN && py + reach <= INT32_MAX;
    }
    void NoteTool() {
        if (toolUndefined) undefinedTools.insert(tool);
    }

    void Hole(std::int64_t px, std::int64_t py) {
        const std::int32_t radius = HoleRadius();
        if (!Inside(px, py, radius)) return Error("A hole lies outside the range of the layout");
        NoteTool();
        if (!main->AddCircle(static_cast<std::int32_t>(px), static_cast<std::int32_t>(py), radius, 0)) {
            Error("Not enough memory for the holes of this file");
        }
    }

    // The width of slots and routed paths: the tool's diameter.
    bool Width(std::int32_t& width) {
        const double w = diameter < 1 ? 2.0 * kSmallHoleRadius : diameter;
        if (!(w <= static_cast<double>(kWidthMask))) {
            Error("A slot or routed path is wider than a wire can be");
            return false;
        }
        width = RoundHalfAway(w);
        return true;
    }

    void Wire(const std::vector<Point>& points, std::int32_t width) {
        NoteTool();
        if (!main->AddWire(points.data(), static_cast<int>(points.size()), width, static_cast<int>(EndStyle::Round),
                           0)) {
            Error("Not enough memory for the holes of this file");
        }
    }

    bool ToPoint(std::int64_t px, std::int64_t py, std::int32_t width, Point& p) {
        if (!Inside(px, py, width / 2 + 1)) {
            Error("A slot or routed path lies outside the range of the layout");
            return false;
        }
        p = {static_cast<std::int32_t>(px), static_cast<std::int32_t>(py)};
        return true;
    }

    void Slot(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2) {
        std::int32_t width;
        if (!Width(width)) return;
        Point a, b;
        if (!ToPoint(x1, y1, width, a) || !ToPoint(x2, y2, width, b)) return;
        if (a == b) return Hole(x1, y1);
        Wire({a, b}, width);
    }

    // --- routed paths --------------------------------------------------------

    void AddPathPoint(std::int64_t px, std::int64_t py) {
        Point p;
        if (!ToPoint(px, py, pathWidth, p)) return;
        if (!path.empty() && path.back() == p) return;
        path.push_back(p);
        if (path.size() >= static_cast<std::size_t>(kMaxWireNodes)) {
            Wire(path, pathWidth);
            path.erase(path.begin(), path.end() - 1);
            pathContinued = true;
        }
    }

    void StartPath() {
        path.clear();
        pathContinued = false;
        if (!Width(pathWidth)) return;
        toolDown = true;
        AddPathPoint(x, y);
    }

    void FinishPath() {
        if (toolDown && !stopped) {
            if (path.size() >= 2) {
                Wire(path, pathWidth);
            } else if (path.size() == 1 && !pathContinued) {
                Hole(path.front().X, path.front().Y);
            }
        }
        path.clear();
        toolDown = false;
    }

    // An arc from (x0, y0) to (x, y) about a centre, drawn with short chords.
    void Arc(std::int64_t x0, std::int64_t y0, double cx, double cy, bool clockwise) {
        const double r = std::hypot(double(x0) - cx, double(y0) - cy);
        const double a0 = std::atan2(double(y0) - cy, double(x0) - cx);
        const double a1 = std::atan2(double(y) - cy, double(x) - cx);
        double sweep = a1 - a0;
        if (clockwise) {
            if (sweep >= 0) sweep -= 2 * kPi;
        } else if (sweep <= 0) {
            sweep += 2 * kPi;
        }
        const int steps = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / kArcStep)));
        for (int k = 1; k < steps && !stopped; ++k) {
            const double a = a0 + sweep * k / steps;
            AddPathPoint(RoundFileUnits(cx + r * std::cos(a)), RoundFileUnits(cy + r * std::sin(a)));
        }
        AddPathPoint(x, y);
    }

    struct ArcCentre {
        bool radiusGiven = false, offsetGiven = false;
        std::int64_t radius = 0, i = 0, j = 0;
    };

    void Route(std::int64_t x0, std::int64_t y0, const ArcCentre& arc) {
        if (motion == Motion::Rapid) {
            if (toolDown) {
                FinishPath();
                StartPath();
            }
            return;
        }
        if (!toolDown) {
            if (warned.insert("tool up").second) {
                Report(platform::Severity::Warning,
                       "Routed moves with the tool up (no M15 before them) cut nothing and were not drawn.", false);
            }
            return;
        }
        const bool clockwise = motion == Motion::Clockwise;
        if (motion == Motion::Linear || (!arc.radiusGiven && !arc.offsetGiven)) return AddPathPoint(x, y);
        if (arc.offsetGiven) return Arc(x0, y0, double(x0) + double(arc.i), double(y0) + double(arc.j), clockwise);
        // A radius: the centre lies on the chord's bisector, on the side that
        // gives the shorter arc in the direction of travel.
        const double dx = double(x) - double(x0), dy = double(y) - double(y0);
        const double chord = std::hypot(dx, dy);
        if (chord == 0) return;
        const double r = std::max(std::fabs(double(arc.radius)), chord / 2);
        const double h = std::sqrt(std::max(0.0, r * r - chord * chord / 4));
        const double side = clockwise ? -1 : 1;
        const double cx = double(x0) + dx / 2 - side * h * dy / chord;
        const double cy = double(y0) + dy / 2 + side * h * dx / chord;
        Arc(x0, y0, cx, cy, clockwise);
    }

    // --- tools ---------------------------------------------------------------

    void SelectTool(int number) {
        tool = number;
        const auto it = tools.find(number);
        if (it != tools.end()) {
            diameter = it->second.nanometres ? it->second.size : it->second.size * LengthUnit();
            toolUndefined = false;
        } else {
            diameter = number * kToolStep;
            toolUndefined = excellon;
        }
    }

    // --- lines ---------------------------------------------------------------

    // ";FILE_FORMAT=4:3", ";FORMAT={2:4/ absolute / inch / suppress trailing
    // zeros}" and ";T01 Holesize 1. = 12.000000 ... MILS ..." say what the
    // header does not.
    void Comment(std::string_view line) {
        auto digitsAt = [&](std::size_t at, int& a, int& b) {
            std::size_t k = at;
            while (k < line.size() && (line[k] == ' ' || line[k] == '=')) ++k;
            const std::size_t colon = line.find(':', k);
            if (colon == std::string_view::npos) return false;
            std::size_t end = colon + 1;
            while (end < line.size() && IsDigit(line[end])) ++end;
            return SmallInteger(Trimmed(line.substr(k, colon - k)), a) &&
                   SmallInteger(line.substr(colon + 1, end - colon - 1), b);
        };
        int a, b;
        if (const std::size_t at = line.find("FILE_FORMAT"); at != std::string_view::npos) {
            if (line.find('=', at) != std::string_view::npos && digitsAt(line.find('=', at) + 1, a, b)) {
                SetDigits(a, b);
            }
            return;
        }
        if (const std::size_t at = line.find("FORMAT={"); at != std::string_view::npos) {
            if (digitsAt(at + 8, a, b)) SetDigits(a, b);
            if (line.find("SUPPRESS TRAILING") != std::string_view::npos) SetZeros(Zeros::Leading);
            if (line.find("SUPPRESS LEADING") != std::string_view::npos) SetZeros(Zeros::Trailing);
            return;
        }
        const std::string_view body = Trimmed(line.substr(1));
        if (body.size() > 1 && body.front() == 'T' && IsDigit(body[1])) {
            const std::size_t size = body.find("HOLESIZE");
            if (size == std::string_view::npos) return;
            std::size_t end = 1;
            while (end < body.size() && IsDigit(body[end])) ++end;
            int number;
            if (!SmallInteger(body.substr(1, end - 1), number)) return;
            const std::size_t equals = body.find('=', size);
            if (equals == std::string_view::npos) return;
            const std::string_view rest = Trimmed(body.substr(equals + 1));
            std::size_t valueEnd = 0;
            while (valueEnd < rest.size() && (IsDigit(rest[valueEnd]) || rest[valueEnd] == '.')) ++valueEnd;
            double value;
            if (valueEnd == 0 || !DecimalNumber(rest.substr(0, valueEnd), value)) return;
            double perUnit = 0;
            if (body.find(" MILS") != std::string_view::npos) perUnit = 25400;
            if (body.find(" MM") != std::string_view::npos) perUnit = 1e6;
            if (body.find(" INCH") != std::string_view::npos) perUnit = 25.4e6;
            if (perUnit > 0 && !tools.count(number)) tools[number] = {value * perUnit, true};
        }
    }

    void SetDigits(int a, int b) {
        if (a < 0 || a > kMaxDrillIntegers || b < 0 || b > kMaxDrillDecimals) return;
        integers = a;
        decimals = b;
    }
    void SetZeros(Zeros z) {
        zeros = z;
        zerosKnown = true;
    }

    // Header words: "INCH,LZ", "METRIC,TZ,000.000", "FMAT,2", "ICI,ON", ...
    void Words(std::string_view line) {
        std::vector<std::string_view> words;
        for (std::size_t k = 0; k <= line.size();) {
            std::size_t comma = line.find(',', k);
            if (comma == std::string_view::npos) comma = line.size();
            words.push_back(Trimmed(line.substr(k, comma - k)));
            k = comma + 1;
        }
        const std::string_view first = words.front();
        if (first == "INCH" || first == "METRIC") {
            millimetres = first == "METRIC";
            for (std::size_t k = 1; k < words.size(); ++k) {
                const std::string_view w = words[k];
                if (w == "LZ") {
                    SetZeros(Zeros::Leading);
                } else if (w == "TZ") {
                    SetZeros(Zeros::Trailing);
                } else if (!w.empty() && w.find_first_not_of("0.") == std::string_view::npos) {
                    const std::size_t point = w.find('.');
                    if (point != std::string_view::npos) {
                        SetDigits(static_cast<int>(point), static_cast<int>(w.size() - point - 1));
                    }
                }
            }
        } else if (first == "FMAT") {
            if (words.size() > 1 && words[1] == "1")
                Unsupported("Excellon format 1 (FMAT,1) is not supported; the file was read as format 2.");
        } else if (first == "ICI") {
            incremental = words.size() > 1 && words[1] == "ON";
        } else {
            Skipped("Header lines the reader does not need were skipped.");
        }
    }

    void Statement(std::string_view line) {
        std::vector<Token> tokens;
        for (std::size_t k = 0; k < line.size();) {
            const char c = line[k++];
            if (!IsLetter(c)) continue;
            const std::size_t start = k;
            if (k < line.size() && (line[k] == '+' || line[k] == '-')) ++k;
            bool point = false;
            while (k < line.size() && (IsDigit(line[k]) || (line[k] == '.' && !point))) {
                if (line[k] == '.') point = true;
                ++k;
            }
            tokens.push_back({c, line.substr(start, k - start)});
        }

        // Coordinates end a header that has no end mark.
        if (header && std::any_of(tokens.begin(), tokens.end(),
                                  [](const Token& t) { return t.letter == 'X' || t.letter == 'Y'; })) {
            header = false;
        }
        enum class Target { Position, Offset, Dwell, Repeat } target = Target::Position;
        const std::int64_t x0 = x, y0 = y;
        bool moved = false, slot = false, toolOnLine = false, defined = false, down = false, up = false;
        std::int64_t slotX = 0, slotY = 0, dx = 0, dy = 0;
        int repeat = 0;
        ArcCentre arc;
        for (const Token& t : tokens) {
            if (stopped) return;
            int code = -1;
            switch (t.letter) {
                case 'G':
                    if (!SmallInteger(t.text, code)) break;
                    switch (code) {
                        case 0: routing = true, motion = Motion::Rapid; break;
                        case 1: routing = true, motion = Motion::Linear; break;
                        case 2: routing = true, motion = Motion::Clockwise; break;
                        case 3: routing = true, motion = Motion::CounterClockwise; break;
                        case 5:
                        case 81:
                            FinishPath();
                            routing = false;
                            break;
                        case 85:
                            slot = true;
                            slotX = x, slotY = y;
                            break;
                        case 90: incremental = false; break;
                        case 91: incremental = true; break;
                        case 93: target = Target::Offset; break;
                        case 4: target = Target::Dwell; break;
                        case 40:
                        case 41:
                        case 42:
                            Unsupported(
                                "Cutter compensation (G40 to G42) is not supported; routed paths were drawn along "
                                "their centre line.");
                            break;
                        case 32:
                        case 33:
                        case 34:
                        case 35:
                        case 84:
                            Unsupported(
                                "Routed and drilled circles (G32 to G35, G84) are not supported; they were skipped.");
                            return;
                        case 82:
                        case 83:
                        case 87:
                            Unsupported(
                                "Canned drill patterns and routed slots (G82, G83, G87) are not supported; they were "
                                "skipped.");
                            return;
                        default: Skipped("G codes that do not change the holes were skipped.");
                    }
                    break;
                case 'M':
                    if (!SmallInteger(t.text, code)) break;
                    switch (code) {
                        case 48:
                            header = true;
                            excellon = true;
                            break;
                        case 95: header = false; break;
                        case 0:
                        case 30: ended = true; break;
                        case 71: millimetres = true; break;
                        case 72: millimetres = false; break;
                        case 15: down = true; break;
                        case 16:
                        case 17: up = true; break;
                        case 1:
                        case 2:
                        case 8:
                        case 25:
                            Unsupported("Pattern repeats (M25, M01, M02, M08) are not supported; they were skipped.");
                            return;
                        case 97:
                        case 98: Unsupported("Canned text (M97, M98) is not supported; it was skipped."); return;
                        case 47: return;  // an operator message: the rest is text
                        case 70:
                        case 80:
                        case 90:
                            Unsupported(
                                "Swapped and mirrored axes (M70, M80, M90) are not supported; coordinates were read as "
                                "written.");
                            break;
                        default: Skipped("M codes that do not change the holes were skipped.");
                    }
                    break;
                case 'T': {
                    int number;
                    if (!SmallInteger(t.text, number)) {
                        if (!t.text.empty()) Error("The tool number after T is not a whole number of at most 9 digits");
                        break;
                    }
                    tool = number;
                    toolOnLine = true;
                    break;
                }
                case 'C': {
                    double value;
                    if (!DecimalNumber(t.text, value) || value < 0) {
                        Skipped("Diameters (C) that are no number were skipped.");
                        break;
                    }
                    if (toolOnLine) {
                        tools[tool] = {value, false};
                        defined = true;
                    } else {
                        diameter = value * LengthUnit();
                    }
                    break;
                }
                case 'X':
                case 'Y': {
                    std::int64_t value;
                    if (!Length(t.letter, t.text, value)) break;
                    std::int64_t& position = t.letter == 'X' ? x : y;
                    switch (target) {
                        case Target::Position:
                            position = incremental ? position + value : value + (t.letter == 'X' ? offsetX : offsetY);
                            moved = true;
                            // Incremental moves add up; far beyond the layout they stop.
                            if (!(std::fabs(static_cast<double>(position)) < kFarAway)) {
                                Error("A coordinate lies outside the range of the layout");
                            }
                            break;
                        case Target::Offset: (t.letter == 'X' ? offsetX : offsetY) = value; break;
                        case Target::Repeat: (t.letter == 'X' ? dx : dy) = value; break;
                        case Target::Dwell: break;
                    }
                    break;
                }
                case 'R':
                    if (!SmallInteger(t.text, repeat)) {
                        Error("The repeat count after R is not a whole number of at most 9 digits");
                        break;
                    }
                    target = Target::Repeat;
                    break;
                case 'I':
                case 'J': {
                    std::int64_t value;
                    if (!Length(t.letter, t.text, value)) break;
                    (t.letter == 'I' ? arc.i : arc.j) = value;
                    arc.offsetGiven = true;
                    break;
                }
                case 'A':
                    if (!Length('A', t.text, arc.radius)) break;
                    arc.radiusGiven = true;
                    break;
                default: break;  // speeds, feeds, depths, block numbers
            }
        }
        if (stopped) return;
        // A header defines tools; a tool named there without a size is chosen.
        if (toolOnLine && (!header || !defined)) SelectTool(tool);
        if (target == Target::Repeat) {
            if (repeat > kMaxRepeatedHoles - repeated) {
                return Error("The repeat codes of this file ask for more than " + std::to_string(kMaxRepeatedHoles) +
                             " holes");
            }
            repeated += repeat;
            for (int k = 0; k < repeat && !stopped; ++k) {
                x += dx, y += dy;
                Hole(x, y);
            }
        } else if (slot) {
            Slot(slotX, slotY, x, y);
        } else if (moved) {
            if (routing) {
                Route(x0, y0, arc);
            } else {
                Hole(x, y);
            }
        }
        if (up) FinishPath();
        if (down && !stopped) StartPath();
    }

    void Line(std::string_view line) {
        line = Trimmed(line);
        if (line.empty()) return;
        if (line.front() == ';') return Comment(line);
        if (line.front() == '%') {
            header = false;
            return;
        }
        if (line.front() == '/') return;
        if (IsLetter(line.front()) && line.size() > 1 && (IsLetter(line[1]) || line[1] == ',')) return Words(line);
        Statement(line);
    }

    // --- the file ------------------------------------------------------------

    bool Take(platform::ByteSource& source) {
        char buffer[1 << 16];
        for (std::size_t got; (got = source.Read(buffer, sizeof buffer)) > 0;) {
            if (text.size() + got > text.max_size() / 2) return false;
            text.append(buffer, got);
        }
        for (char& c : text) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
        return true;
    }

    void Parse() {
        platform::ProgressService& progress = platform::Progress();
        int shownPercent = 0;
        while (next < text.size() && !stopped && !ended) {
            std::size_t end = next;
            while (end < text.size() && text[end] != '\n' && text[end] != '\r') {
                const unsigned char c = static_cast<unsigned char>(text[end]);
                if (!IsText(c)) {
                    ++lineNumber;
                    return Error(kBinary);
                }
                ++end;
            }
            ++lineNumber;
            lineStart = next;
            const std::string_view line(text.data() + next, end - next);
            // A "\r\n" pair ends one line.
            next = end + (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
            Line(line);
            const int percent = static_cast<int>(std::min<std::size_t>(99, 100 * next / text.size()));
            if (percent != shownPercent) progress.SetProgress(shownPercent = percent);
        }
        if (!stopped) FinishPath();
        if (!stopped && !undefinedTools.empty()) {
            std::string list;
            int listed = 0;
            for (int t : undefinedTools) {
                if (listed++ == 10) {
                    list += ", ...";
                    break;
                }
                list += (list.empty() ? "T" : ", T") + std::to_string(t);
            }
            Report(platform::Severity::Warning,
                   "The file gives no diameter for the tools " + list +
                       "; their holes were drawn with 0.1 mm per tool number.",
                   false);
        }
    }

    bool Read(platform::ByteSource& source) {
        main = layout.MainSymbol();
        if (!main) {
            Report(platform::Severity::Error, "The layout has no main symbol.", false);
            return false;
        }
        if (!AskDrillOptions(options, DrillDialogUse::Read)) return false;
        if (const std::string problem = DrillFormatProblem(options); !problem.empty()) {
            Report(platform::Severity::Error, problem, false);
            return false;
        }
        millimetres = options.millimetres;
        integers = options.integers;
        decimals = options.decimals;
        layout.SetLayer(std::make_unique<LayerDescription>(0, "Layer 0"));
        platform::Progress().SetProgress(0);
        if (!Take(source)) {
            Report(platform::Severity::Error, "The file is too large to be read.", false);
            return true;
        }
        Parse();
        platform::Progress().SetProgress(100);
        return true;
    }
};

LoadTapFile::LoadTapFile(Layout& layout, std::string fileName, const DrillOptions& options,
                         platform::DiagnosticSink* diagnostics)
    : state(std::make_unique<State>(layout, std::move(fileName), options, diagnostics)) {}

LoadTapFile::~LoadTapFile() = default;

bool LoadTapFile::Read() {
    platform::FileSource file;
    if (!file.Open(state->fileName)) {
        state->Report(platform::Severity::Error, "Cannot open " + state->fileName, false);
        return false;
    }
    return Read(file);
}

bool LoadTapFile::Read(std::span<const std::uint8_t> bytes) {
    platform::MemorySource source(bytes);
    return Read(source);
}

bool LoadTapFile::Read(platform::ByteSource& source) { return state->Read(source); }

const DrillOptions& LoadTapFile::Options() const { return state->options; }

}  // namespace zandor
