#include "formats/gerber/GerberMacro.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/Numbers.h"
#include "geometry/Bool_Engine.h"
#include "geometry/PolygonSplit.h"

namespace zandor {

namespace {

constexpr double kTwoPi = 2 * kPi;
// Variables beyond this index are refused: a file cannot make the table grow
// without bound.
constexpr std::size_t kMaxVariable = 10000;
// Outline vertices, moire rings and polygon sides a primitive may ask for.
constexpr double kMaxOutlinePoints = 100000;
constexpr double kMaxRings = 1000;
constexpr double kMaxSides = 10000;

class ExpressionParser {
public:
    ExpressionParser(std::string_view text, const std::vector<double>& variables) : text(text), variables(variables) {}

    double Parse(bool& ok) {
        const double value = Sum();
        ok = good && position == text.size() && std::isfinite(value);
        return ok ? value : 0;
    }

private:
    int Peek() const { return position < text.size() ? static_cast<unsigned char>(text[position]) : -1; }

    double Sum() {
        double value = Product();
        while (good && (Peek() == '+' || Peek() == '-')) {
            const bool plus = text[position++] == '+';
            const double right = Product();
            value = plus ? value + right : value - right;
        }
        return value;
    }

    double Product() {
        double value = Factor();
        while (good && (Peek() == 'x' || Peek() == 'X' || Peek() == '/')) {
            const bool times = text[position++] != '/';
            const double right = Factor();
            value = times ? value * right : (right == 0 ? 0 : value / right);
        }
        return value;
    }

    double Factor() {
        // Nesting is bounded so that a file of parentheses cannot exhaust the stack.
        if (++depth > 200) {
            good = false;
            return 0;
        }
        double value = 0;
        const int c = Peek();
        if (c == '+' || c == '-') {
            ++position;
            value = c == '-' ? -Factor() : Factor();
        } else if (c == '(') {
            ++position;
            value = Sum();
            if (Peek() == ')') {
                ++position;
            } else {
                good = false;
            }
        } else if (c == '$') {
            ++position;
            std::size_t index = 0;
            const auto [end, error] = std::from_chars(text.data() + position, text.data() + text.size(), index);
            if (error != std::errc() || index > kMaxVariable) {
                good = false;
            } else {
                position = static_cast<std::size_t>(end - text.data());
                value = index < variables.size() ? variables[index] : 0;
            }
        } else {
            value = Number();
        }
        --depth;
        return value;
    }

    double Number() {
        const std::size_t start = position;
        while (position < text.size() &&
               (std::isdigit(static_cast<unsigned char>(text[position])) || text[position] == '.'))
            ++position;
        if (start == position) {
            good = false;
            return 0;
        }
        double value = 0;
        const auto [end, error] = std::from_chars(text.data() + start, text.data() + position, value);
        if (error != std::errc() || end != text.data() + position) good = false;
        return value;
    }

    std::string_view text;
    const std::vector<double>& variables;
    std::size_t position = 0;
    int depth = 0;
    bool good = true;
};

struct Primitive {
    std::vector<std::vector<Point>> outlines;
    bool exposed = true;
};

struct PointD {
    double x, y;
};

class MacroBuilder {
public:
    explicit MacroBuilder(double unit) : unit(unit) {}

    // One primitive's outlines, rotated about the macro origin by degrees.
    std::vector<Point> Place(const std::vector<PointD>& points, double degrees) const {
        const double a = degrees * kPi / 180, c = std::cos(a), s = std::sin(a);
        std::vector<Point> placed;
        placed.reserve(points.size());
        for (const PointD& p : points) {
            placed.push_back({RoundHalfAway((p.x * c - p.y * s) * unit), RoundHalfAway((p.x * s + p.y * c) * unit)});
        }
        return placed;
    }

    static std::vector<PointD> Circle(double cx, double cy, double radius, int sides) {
        std::vector<PointD> points;
        points.reserve(static_cast<std::size_t>(sides));
        for (int k = 0; k < sides; ++k) {
            const double a = kTwoPi * k / sides;
            points.push_back({cx + radius * std::cos(a), cy + radius * std::sin(a)});
        }
        return points;
    }

    // A ring as one outline: the outer circle counter-clockwise, a cut to the
    // inner circle, the inner circle clockwise.
    static std::vector<PointD> Ring(double cx, double cy, double outer, double inner, int sides) {
        std::vector<PointD> points;
        for (int k = 0; k <= sides; ++k) {
            const double a = kTwoPi * k / sides;
            points.push_back({cx + outer * std::cos(a), cy + outer * std::sin(a)});
        }
        for (int k = 0; k <= sides; ++k) {
            const double a = -kTwoPi * k / sides;
            points.push_back({cx + inner * std::cos(a), cy + inner * std::sin(a)});
        }
        return points;
    }

    static std::vector<PointD> Box(double x1, double y1, double x2, double y2) {
        return {{x1, y1}, {x2, y1}, {x2, y2}, {x1, y2}};
    }

    int Sides(double radius) const { return GerberCircleSides(std::abs(radius) * unit); }

    double unit;
};

bool Exposure(double value) { return value != 0; }

}  // namespace

double EvaluateGerberExpression(std::string_view text, const std::vector<double>& variables, bool& ok) {
    return ExpressionParser(text, variables).Parse(ok);
}

int GerberCircleSides(double radius, int minimum) {
    constexpr double kTolerance = 1000;  // nm between an arc and its chord
    if (!(radius > kTolerance)) return minimum;
    const double step = 2 * std::acos(1 - kTolerance / radius);
    const double sides = std::ceil(kTwoPi / step);
    return static_cast<int>(std::clamp(sides, static_cast<double>(minimum), 720.0));
}

bool SubtractOutlines(const std::vector<std::vector<Point>>& from, const std::vector<std::vector<Point>>& removed,
                      std::vector<std::vector<Point>>& result) {
    result.clear();
    try {
        Bool_Engine engine;
        ConfigureBooleanEngine(engine, 1);
        auto feed = [&](const std::vector<std::vector<Point>>& outlines, GroupType group) {
            for (const auto& outline : outlines) {
                if (outline.size() < 3 || !engine.BeginContour(group)) continue;
                for (const Point& p : outline) engine.AddVertex(p.X, p.Y);
                engine.EndContour();
            }
        };
        feed(from, GroupA);
        feed(removed, GroupB);
        engine.Execute(OpAMinusB);
        PolygonStoreOptions options;
        options.maxPolyNodes = 32000;
        StoreResultContours(engine, options, [&](const std::vector<Point>& p) { result.push_back(p); });
    } catch (const Bool_Engine_Error&) {
        return false;
    }
    return true;
}

GerberMacroShape EvaluateGerberMacro(const GerberMacro& macro, const std::vector<double>& parameters,
                                     double nanometresPerUnit) {
    GerberMacroShape shape;
    std::vector<double> variables(parameters.size() + 1, 0.0);
    std::copy(parameters.begin(), parameters.end(), variables.begin() + 1);
    MacroBuilder build(nanometresPerUnit);
    std::vector<Primitive> primitives;
    std::vector<double> v;

    for (const std::string& statement : macro.statements) {
        if (statement.empty() || statement[0] == '0') continue;  // comment
        if (statement[0] == '$') {
            const std::size_t equals = statement.find('=');
            std::size_t index = 0;
            const auto [end, error] = std::from_chars(statement.data() + 1, statement.data() + statement.size(), index);
            bool ok = equals != std::string::npos && error == std::errc() && end == statement.data() + equals &&
                      index <= kMaxVariable;
            const double value =
                ok ? EvaluateGerberExpression(std::string_view(statement).substr(equals + 1), variables, ok) : 0;
            if (!ok) {
                shape.badStatement = true;
                continue;
            }
            if (index >= variables.size()) variables.resize(index + 1, 0.0);
            variables[index] = value;
            continue;
        }
        // "code,e1,e2,..."
        v.clear();
        int code = -1;
        bool ok = true;
        std::size_t start = 0;
        for (bool first = true;; first = false) {
            std::size_t comma = statement.find(',', start);
            const std::string_view item = std::string_view(statement).substr(
                start, comma == std::string::npos ? std::string::npos : comma - start);
            if (first) {
                const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), code);
                if (error != std::errc() || end != item.data() + item.size()) ok = false;
            } else {
                bool good = true;
                v.push_back(EvaluateGerberExpression(item, variables, good));
                ok = ok && good;
            }
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        if (!ok) {
            shape.badStatement = true;
            continue;
        }
        auto arg = [&](std::size_t i) { return i < v.size() ? v[i] : 0.0; };
        Primitive p;
        switch (code) {
            case 1: {  // circle: exposure, diameter, centre x, y[, rotation]
                p.exposed = Exposure(arg(0));
                const double r = std::abs(arg(1)) / 2;
                if (r > 0) p.outlines.push_back(build.Place(build.Circle(arg(2), arg(3), r, build.Sides(r)), arg(4)));
                break;
            }
            case 2:
            case 20: {  // vector line: exposure, width, start x, y, end x, y, rotation
                p.exposed = Exposure(arg(0));
                const double w = std::abs(arg(1)), dx = arg(4) - arg(2), dy = arg(5) - arg(3);
                const double length = std::hypot(dx, dy);
                if (w > 0 && length > 0) {
                    const double nx = -dy / length * w / 2, ny = dx / length * w / 2;
                    p.outlines.push_back(build.Place({{arg(2) + nx, arg(3) + ny},
                                                      {arg(2) - nx, arg(3) - ny},
                                                      {arg(4) - nx, arg(5) - ny},
                                                      {arg(4) + nx, arg(5) + ny}},
                                                     arg(6)));
                }
                break;
            }
            case 21: {  // centre line: exposure, width, height, centre x, y, rotation
                p.exposed = Exposure(arg(0));
                const double w = std::abs(arg(1)) / 2, h = std::abs(arg(2)) / 2;
                if (w > 0 && h > 0) {
                    p.outlines.push_back(
                        build.Place(build.Box(arg(3) - w, arg(4) - h, arg(3) + w, arg(4) + h), arg(5)));
                }
                break;
            }
            case 22: {  // lower-left line: exposure, width, height, lower left x, y, rotation
                p.exposed = Exposure(arg(0));
                const double w = std::abs(arg(1)), h = std::abs(arg(2));
                if (w > 0 && h > 0) {
                    p.outlines.push_back(build.Place(build.Box(arg(3), arg(4), arg(3) + w, arg(4) + h), arg(5)));
                }
                break;
            }
            case 4: {  // outline: exposure, n, n + 1 points, rotation
                p.exposed = Exposure(arg(0));
                const double n = std::floor(arg(1));
                if (!(n >= 1 && n <= kMaxOutlinePoints) || v.size() < 2 + 2 * (static_cast<std::size_t>(n) + 1)) {
                    shape.badStatement = true;
                    break;
                }
                std::vector<PointD> points;
                for (std::size_t k = 0; k <= static_cast<std::size_t>(n); ++k)
                    points.push_back({arg(2 + 2 * k), arg(3 + 2 * k)});
                if (points.size() > 1 && points.front().x == points.back().x && points.front().y == points.back().y)
                    points.pop_back();
                if (points.size() >= 3)
                    p.outlines.push_back(build.Place(points, arg(4 + 2 * static_cast<std::size_t>(n))));
                break;
            }
            case 5: {  // polygon: exposure, vertices, centre x, y, diameter, rotation
                p.exposed = Exposure(arg(0));
                const double n = std::floor(arg(1)), r = std::abs(arg(4)) / 2;
                if (!(n >= 3 && n <= kMaxSides)) {
                    shape.badStatement = true;
                    break;
                }
                if (r > 0)
                    p.outlines.push_back(build.Place(build.Circle(arg(2), arg(3), r, static_cast<int>(n)), arg(5)));
                break;
            }
            case 6: {  // moire: centre x, y, outer diameter, ring thickness, gap, rings, cross thickness, length,
                       // rotation
                const double cx = arg(0), cy = arg(1), thickness = std::abs(arg(3)), gap = std::abs(arg(4));
                const double rings = std::floor(arg(5));
                if (!(rings >= 0 && rings <= kMaxRings)) {
                    shape.badStatement = true;
                    break;
                }
                double outer = std::abs(arg(2)) / 2;
                for (int k = 0; k < static_cast<int>(rings) && outer > 0; ++k) {
                    const double inner = std::max(0.0, outer - thickness);
                    const int sides = build.Sides(outer);
                    p.outlines.push_back(build.Place(
                        inner > 0 ? build.Ring(cx, cy, outer, inner, sides) : build.Circle(cx, cy, outer, sides),
                        arg(8)));
                    outer = inner - gap;
                }
                const double t = std::abs(arg(6)) / 2, l = std::abs(arg(7)) / 2;
                if (t > 0 && l > 0) {
                    p.outlines.push_back(build.Place(build.Box(cx - l, cy - t, cx + l, cy + t), arg(8)));
                    p.outlines.push_back(build.Place(build.Box(cx - t, cy - l, cx + t, cy + l), arg(8)));
                }
                break;
            }
            case 7: {  // thermal: centre x, y, outer diameter, inner diameter, gap, rotation
                const double cx = arg(0), cy = arg(1), outer = std::abs(arg(2)) / 2, inner = std::abs(arg(3)) / 2;
                const double g = std::abs(arg(4)) / 2;
                if (!(outer > inner)) break;
                const int sides = build.Sides(outer);
                std::vector<std::vector<Point>> ring, gaps, pieces;
                ring.push_back(build.Place(
                    inner > 0 ? build.Ring(cx, cy, outer, inner, sides) : build.Circle(cx, cy, outer, sides), arg(5)));
                if (g > 0) {
                    gaps.push_back(build.Place(build.Box(cx - outer * 2, cy - g, cx + outer * 2, cy + g), arg(5)));
                    gaps.push_back(build.Place(build.Box(cx - g, cy - outer * 2, cx + g, cy + outer * 2), arg(5)));
                }
                if (gaps.empty()) {
                    p.outlines = std::move(ring);
                } else if (SubtractOutlines(ring, gaps, pieces)) {
                    p.outlines = std::move(pieces);
                } else {
                    shape.booleanFailed = true;
                }
                break;
            }
            default:
                if (std::find(shape.unknownPrimitives.begin(), shape.unknownPrimitives.end(), code) ==
                    shape.unknownPrimitives.end()) {
                    shape.unknownPrimitives.push_back(code);
                }
                continue;
        }
        if (!p.outlines.empty()) primitives.push_back(std::move(p));
    }

    // Exposed outlines are gathered; a run of outlines exposed off removes
    // itself from everything gathered before it.
    std::vector<std::vector<Point>> exposed, removed, result;
    for (std::size_t k = 0; k < primitives.size();) {
        if (primitives[k].exposed) {
            for (auto& outline : primitives[k].outlines) exposed.push_back(std::move(outline));
            ++k;
            continue;
        }
        removed.clear();
        for (; k < primitives.size() && !primitives[k].exposed; ++k) {
            for (auto& outline : primitives[k].outlines) removed.push_back(std::move(outline));
        }
        if (exposed.empty()) continue;
        if (SubtractOutlines(exposed, removed, result)) {
            exposed = std::move(result);
            result.clear();
        } else {
            shape.booleanFailed = true;
        }
    }
    shape.outlines = std::move(exposed);
    return shape;
}

}  // namespace zandor
