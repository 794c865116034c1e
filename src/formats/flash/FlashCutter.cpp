#include "formats/flash/FlashCutter.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "model/Geometry.h"
#include "model/HierarchyWalker.h"
#include "model/Layout.h"
#include "model/ProgressWalk.h"
#include "model/RecordViews.h"
#include "platform/Messages.h"

namespace zandor {

namespace {

// Output values stay within 2^60, so that their differences and sums of two
// never leave 64 bits.
constexpr double kOutputLimit = 1152921504606846976.0;  // 2^60
// How far neighbouring pieces of a cut shape overlap, in nanometres, and how
// far the fracturing's bands may fall short of a cell.
constexpr double kOverlap = 100;
constexpr std::int32_t kFractureMargin = 100;
constexpr int kCurveSegments = 72;

Point Truncated(double x, double y) {
    auto one = [](double v) {
        if (!(v == v)) return std::int32_t{0};
        return SaturateToInt32(static_cast<std::int64_t>(std::clamp(std::trunc(v), -4e18, 4e18)));
    };
    return {one(x), one(y)};
}

Point Moved(Point p, std::int64_t dx, std::int64_t dy) {
    return {SaturateToInt32(std::int64_t{p.X} + dx), SaturateToInt32(std::int64_t{p.Y} + dy)};
}

}  // namespace

std::int64_t RoundOutputUnits(double value) {
    if (!(value == value)) return 0;
    const double r = value >= 0 ? std::trunc(value + 0.5) : std::trunc(value - 0.5);
    if (r >= kOutputLimit) return static_cast<std::int64_t>(kOutputLimit);
    if (r <= -kOutputLimit) return -static_cast<std::int64_t>(kOutputLimit);
    return static_cast<std::int64_t>(r);
}

FlashScale::FlashScale(double unitsPerNanometre, double zeroDivisor) {
    if (unitsPerNanometre == 0) {
        factor = zeroDivisor;
        divide = true;
    } else if (unitsPerNanometre < 1) {
        factor = 1 / unitsPerNanometre;
        divide = true;
    } else {
        factor = unitsPerNanometre;
        divide = false;
    }
}

struct FlashCutter::State : FractureSink {
    State(const Layout& l, int layer, FlashScale s, std::int64_t maxFlash, std::int32_t minFlash, FractureKind k,
          FlashSink& out)
        : layout(l),
          layer(layer),
          scale(s),
          maxFlash(std::max<std::int64_t>(maxFlash, 1)),
          minFlashNanometres(minFlash),
          kind(k),
          sink(out) {}

    const Layout& layout;
    const int layer;
    const FlashScale scale;
    const std::int64_t maxFlash;
    const std::int32_t minFlashNanometres;
    const FractureKind kind;
    FlashSink& sink;
    TransformMatrix matrix;  // of the record being cut
    std::uint64_t flashes = 0;
    bool tooMany = false;
    bool roundingErrors = false;

    // --- the budget ------------------------------------------------------

    // Whether `pieces` more flashes stay within the limit; otherwise the cut
    // stops.
    bool Afford(double pieces) {
        if (tooMany) return false;
        if (!(pieces <= static_cast<double>(kMaxFlashes - flashes))) tooMany = true;
        return !tooMany;
    }
    void Emit(std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h, int angle) {
        if (flashes >= kMaxFlashes) {
            tooMany = true;
            return;
        }
        ++flashes;
        sink.Flash(x, y, w, h, angle);
    }

    // The step a side of `size` output units is cut with: the maximum flash
    // size, or 1 % less when the last piece would otherwise be a sliver
    // below 1 % of it.
    double Step(double size) const {
        const double rest = std::fmod(std::trunc(size), static_cast<double>(maxFlash));
        const std::int64_t hundredth = maxFlash / 100;
        return static_cast<double>(rest != 0 && rest < static_cast<double>(hundredth) ? maxFlash - hundredth
                                                                                      : maxFlash);
    }

    // --- rectangles --------------------------------------------------------

    // The rectangle with corners p0, p1, p2 (p1 next to both): its base runs
    // from p0 to p1, its length from p1 to p2.
    void RectangleFromCorners(Point p0, Point p1, Point p2) {
        const double bx = (double(p0.X) + p1.X) / 2, by = (double(p0.Y) + p1.Y) / 2;
        const double width = std::hypot(double(p1.X) - p0.X, double(p1.Y) - p0.Y);
        const double length = std::hypot(double(p2.X) - p1.X, double(p2.Y) - p1.Y);
        double angle = p2 == p1 ? 0 : std::atan2(double(p2.Y) - p1.Y, double(p2.X) - p1.X);
        if (angle < 0) angle += 2 * kPi;
        RotatedRectangle(bx, by, length, width, angle);
    }

    // A rectangle from the midpoint of its base, `length` along theta
    // (radians) and `width` across, in nanometres.  Flash angles come in
    // tenths of a degree; a long side whose end would stray by more than one
    // output unit from the rounded angle is cut into pieces short enough,
    // overlapping by twice kOverlap.
    void RotatedRectangle(double bx, double by, double length, double width, double theta) {
        if (!std::isfinite(bx) || !std::isfinite(by) || !std::isfinite(length) || !std::isfinite(width) ||
            !std::isfinite(theta)) {
            return;
        }
        const double a = theta * 1800 / kPi;
        const std::int32_t a0 = RoundHalfAway(a);
        const double lengthUnits = scale.ToUnits(length), widthUnits = scale.ToUnits(width);
        const double alongError = std::fabs(lengthUnits * (a - a0) * 0.0017);
        const double acrossError = std::fabs(widthUnits * (a - a0) * 0.0017);
        if (alongError <= 1 && acrossError <= 1) return FlashPiece(bx, by, length, width, a0);
        const double along = std::trunc(alongError + 1);
        double across = std::trunc(acrossError + 1);
        if (across == 2) across = 3;
        if (!Afford(along * across)) return;
        const std::int64_t nAlong = static_cast<std::int64_t>(along), nAcross = static_cast<std::int64_t>(across);
        const double g = length / along, k = width / across;
        const double c = std::cos(theta), s = std::sin(theta);
        for (std::int64_t i = 0; i < nAlong && !tooMany; ++i) {
            for (std::int64_t j = 0; j < nAcross && !tooMany; ++j) {
                const double offset = (double(j) - (across - 1) / 2) * k;
                const double x = bx + double(i) * g * c + offset * s;
                const double y = by + double(i) * g * s - offset * c;
                const double pieceLength = i == nAlong - 1 ? g : g + 2 * kOverlap;
                const double pieceWidth = j == 0 || j == nAcross - 1 ? k : k + 2 * kOverlap;
                FlashPiece(x, y, pieceLength, pieceWidth, a0);
            }
        }
    }

    // One rectangle at a whole angle (tenths of a degree), cut into flashes
    // of at most the maximum size and turned into the flash angle range
    // 0 <= F < 900 with width and height exchanged where needed.
    void FlashPiece(double bx, double by, double length, double width, std::int64_t angle) {
        if (length < 0) {
            length = -length;
            angle += 1800;
        } else if (angle == -1800) {
            angle = 1800;
        }
        const double x0 = scale.ToUnits(bx), y0 = scale.ToUnits(by);
        const double lengthUnits = scale.ToUnits(length), widthUnits = scale.ToUnits(width);
        if (!(lengthUnits > 0) || !(widthUnits > 0)) return;
        const double alongStep = Step(lengthUnits), acrossStep = Step(widthUnits);
        if (!Afford(std::ceil(lengthUnits / alongStep) * std::ceil(widthUnits / acrossStep))) return;

        int quadrant;
        if (angle >= 901 && angle <= 1800) {
            quadrant = 1;
        } else if (angle >= 1801 && angle <= 2700) {
            quadrant = 3;
        } else if (angle >= 2701 && angle <= 3600) {
            quadrant = 2;
        } else if (angle >= 1 && angle <= 900) {
            quadrant = 0;
        } else if (angle >= -899 && angle <= 0) {
            quadrant = 2;
        } else if (angle >= -1799 && angle <= -900) {
            quadrant = 3;
        } else if (angle >= -2699 && angle <= -1800) {
            quadrant = 1;
        } else if (angle >= -3599 && angle <= -2700) {
            quadrant = 0;
        } else {
            const double radians = double(angle) * kPi / 1800;
            quadrant = (std::cos(radians) < 0 ? 1 : 0) + (std::sin(radians) < 0 ? 2 : 0);
        }
        const bool backwards = quadrant == 1 || quadrant == 3;
        if (backwards) angle -= 1800;
        const double radians = double(angle) * kPi / 1800;
        const double c = std::cos(radians), s = std::sin(radians);

        std::int64_t flashAngle = angle % 900;
        if (flashAngle < 0) flashAngle = -flashAngle;
        if (angle < 0) flashAngle = 900 - flashAngle;
        bool exchange = angle == 900 || (flashAngle != 0 && flashAngle != 900 && (quadrant == 1 || quadrant == 2));
        if (flashAngle == 900) {
            exchange = !exchange;
            flashAngle = 0;
        }

        for (double u = 0; u < widthUnits && !tooMany; u += acrossStep) {
            const double pieceWidth = std::min(widthUnits - u, acrossStep);
            for (double v = 0; v < lengthUnits && !tooMany; v += alongStep) {
                const double pieceLength = std::min(lengthUnits - v, alongStep);
                const double lx = backwards ? -(v + pieceLength / 2) : v + pieceLength / 2;
                const double ly = u + pieceWidth / 2 - widthUnits / 2;
                const double x = x0 + lx * c - ly * s, y = y0 + lx * s + ly * c;
                double w = pieceLength, h = pieceWidth;
                if (exchange) std::swap(w, h);
                Emit(RoundOutputUnits(x), RoundOutputUnits(y), RoundOutputUnits(w), RoundOutputUnits(h),
                     static_cast<int>(flashAngle));
            }
        }
    }

    // An axis-parallel area from the fracturing, in tiles from its low
    // corner; each tile is made an even number of units so that its centre
    // is a whole unit.
    void EmitRectangle(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) override {
        const double ax = scale.ToUnits(x1), bx = scale.ToUnits(x2);
        const double ay = scale.ToUnits(y1), by = scale.ToUnits(y2);
        const std::int64_t left = RoundOutputUnits(std::min(ax, bx)), right = RoundOutputUnits(std::max(ax, bx));
        const std::int64_t bottom = RoundOutputUnits(std::min(ay, by)), top = RoundOutputUnits(std::max(ay, by));
        const std::int64_t hundredth = maxFlash / 100;
        auto step = [&](std::int64_t size) {
            const std::int64_t rest = size % maxFlash;
            return rest != 0 && rest < hundredth ? maxFlash - hundredth : maxFlash;
        };
        const std::int64_t stepX = step(right - left), stepY = step(top - bottom);
        if (!Afford(std::ceil(double(right - left) / double(stepX)) * std::ceil(double(top - bottom) / double(stepY))))
            return;
        for (std::int64_t x = left; x < right && !tooMany; x += stepX) {
            std::int64_t w = std::min(stepX, right - x);
            w += w & 1;
            for (std::int64_t y = bottom; y < top && !tooMany; y += stepY) {
                std::int64_t h = std::min(stepY, top - y);
                h += h & 1;
                Emit(x + w / 2, y + h / 2, w, h, 0);
            }
        }
    }

    void EmitRotatedRectangle(double x, double y, double length, double width, double angle) override {
        RotatedRectangle(x, y, length, width, angle);
    }

    // --- shapes --------------------------------------------------------------

    Point Transformed(Point p) const {
        TransformPoints(&p, 1, matrix);
        return p;
    }

    // The area between a base p1-p2 and an apex p3 (transformed), covered by
    // a rectangle standing on the base and reaching past the apex.  It is as
    // large as the triangle needs and no larger: a fixed least size would
    // expose far beyond the joints of narrow wires, and flashes below the
    // machine's smallest are enlarged to it anyway.
    void Triangle(Point p1, Point p2, Point p3) {
        if (p2 == p1 || p3 == p1) return;
        const double dx = double(p2.X) - p1.X, dy = double(p2.Y) - p1.Y;
        const double base = std::hypot(dx, dy);
        const double height = dx == 0 ? std::fabs(double(p3.X) - p1.X)
                                      : std::fabs(dx * (double(p3.Y) - p1.Y) - dy * (double(p3.X) - p1.X)) / base;
        double nx = -dy / base, ny = dx / base;
        if (nx * (double(p3.X) - p1.X) + ny * (double(p3.Y) - p1.Y) < 0) nx = -nx, ny = -ny;
        RotatedRectangle((double(p1.X) + p2.X) / 2, (double(p1.Y) + p2.Y) / 2,
                         double(RoundHalfAway(height)) + 2 * kOverlap, double(RoundHalfAway(base)), std::atan2(ny, nx));
    }

    void Wire(const Word* r) {
        const WireView wire(r);
        const double half = wire.Width() / 2.0;
        std::vector<Point> p;
        p.reserve(static_cast<std::size_t>(std::max(wire.NodeCount(), 0)));
        for (int i = 0; i < wire.NodeCount(); ++i) {
            if (p.empty() || !(p.back() == wire.Node(i))) p.push_back(wire.Node(i));
        }
        if (p.size() < 2) return;
        // Extended ends reach half the width past the end points, as
        // everywhere else in the program.
        if (static_cast<EndStyle>(wire.EndStyle()) == EndStyle::Extended) {
            ExtendEndPoint(p.front(), p[1], wire.Width() / 2);
            ExtendEndPoint(p.back(), p[p.size() - 2], wire.Width() / 2);
        }
        // The unit normal to the left of each segment.
        std::vector<double> lx(p.size() - 1), ly(p.size() - 1);
        for (std::size_t k = 0; k + 1 < p.size(); ++k) {
            const double dx = double(p[k + 1].X) - p[k].X, dy = double(p[k + 1].Y) - p[k].Y;
            const double length = std::hypot(dx, dy);
            lx[k] = -dy / length;
            ly[k] = dx / length;
        }
        auto offset = [&](Point q, double nx, double ny) { return Truncated(q.X + nx * half, q.Y + ny * half); };
        for (std::size_t k = 0; k + 1 < p.size() && !tooMany; ++k) {
            RectangleFromCorners(Transformed(offset(p[k], lx[k], ly[k])), Transformed(offset(p[k], -lx[k], -ly[k])),
                                 Transformed(offset(p[k + 1], -lx[k], -ly[k])));
        }
        for (std::size_t k = 1; k + 1 < p.size() && !tooMany; ++k) {
            // A turn to the left opens a gap on the right, and the other way round.
            const double cross = lx[k - 1] * ly[k] - ly[k - 1] * lx[k];
            if (cross == 0) continue;
            const double side = cross > 0 ? -1 : 1;
            Triangle(Transformed(offset(p[k], side * lx[k - 1], side * ly[k - 1])),
                     Transformed(offset(p[k], side * lx[k], side * ly[k])), Transformed(p[k]));
        }
        if (static_cast<EndStyle>(wire.EndStyle()) != EndStyle::Round) return;
        auto cap = [&](Point end, double direction, const double(&degrees)[4]) {
            Point corners[4];
            for (int i = 0; i < 4; ++i) {
                const double a = direction + degrees[i] * kPi / 180;
                corners[i] = Transformed(Truncated(end.X + half * std::cos(a), end.Y + half * std::sin(a)));
            }
            const Point centre = Transformed(end);
            for (int i = 0; i < 3; ++i) Triangle(corners[i], corners[i + 1], centre);
        };
        const double first = std::atan2(ly[0], lx[0]) - kPi / 2;
        const double last = std::atan2(ly.back(), lx.back()) - kPi / 2;
        cap(p.front(), first, {90, 150, -150, -90});
        cap(p.back(), last, {90, 30, -30, -90});
    }

    void Ring(Point centre, std::int32_t radius, std::int32_t width) {
        Point q[3] = {centre, Moved(centre, radius, 0), Moved(centre, width, 0)};
        TransformPoints(q, 3, matrix);
        const double cx = q[0].X, cy = q[0].Y;
        const double r = std::hypot(q[1].X - cx, q[1].Y - cy), t = std::hypot(q[2].X - cx, q[2].Y - cy);
        const double sigma = 2 * kPi / kCurveSegments;
        const double chord = std::hypot((1 - std::cos(sigma)) * r, std::sin(sigma) * r);
        const double overlap =
            std::min(double(RoundHalfAway(std::fabs(std::tan(sigma)) * t / 4)) + 10, std::trunc(t / 2));
        for (int k = 0; k < kCurveSegments && !tooMany; ++k) {
            const double phi = -kPi / 2 + k * sigma;
            RotatedRectangle(cx + r * std::cos(phi) - overlap * std::cos(phi + kPi / 2),
                             cy + r * std::sin(phi) - overlap * std::sin(phi + kPi / 2), chord + 2 * overlap, t,
                             phi + kPi / 2 + sigma / 2);
        }
    }

    void Fractured(Fracture& fracture) {
        fracture.RefineSharpCorners();
        fracture.Transform(matrix);
        fracture.BuildGrid();
        if (fracture.Run(*this, kind)) roundingErrors = true;
    }

    bool Stopped() const { return tooMany; }

    void Object(const Word* r, const TransformMatrix& m) {
        const ObjectKind k = RecordKind(r);
        if (IsHeadKind(k) || k == ObjectKind::Measurement || RecordLayer(r) != layer) return;
        matrix = m;
        switch (k) {
            case ObjectKind::Rectangle: {
                const RectangleView rectangle(r);
                const Point a = rectangle.Corner1(), b = rectangle.Corner2();
                return RectangleFromCorners(Transformed(a), Transformed({b.X, a.Y}), Transformed(b));
            }
            case ObjectKind::Box: {
                const std::vector<Point> corners = BoxView(r).Corners();
                return RectangleFromCorners(Transformed(corners[0]), Transformed(corners[1]), Transformed(corners[2]));
            }
            case ObjectKind::Polygon: {
                Fracture fracture(r, minFlashNanometres, kFractureMargin);
                return Fractured(fracture);
            }
            case ObjectKind::Wire: return Wire(r);
            case ObjectKind::Circle: {
                const CircleView circle(r);
                const std::int32_t radius = circle.Radius();
                const Point c = circle.Centre();
                Ring(c, RoundHalfAway(0.75 * radius), RoundHalfAway(0.5 * radius));
                const std::int32_t half = RoundHalfAway(0.6 * radius);
                return RectangleFromCorners(Transformed(Moved(c, -half, -half)), Transformed(Moved(c, half, -half)),
                                            Transformed(Moved(c, half, half)));
            }
            case ObjectKind::Ring: {
                const RingView ring(r);
                return Ring(ring.Centre(), ring.Radius(), ring.RingWidth());
            }
            case ObjectKind::ArcWire: {
                const std::vector<Point> outline = ArcWireOutline(r, kCurveSegments);
                if (outline.empty()) return;
                Fracture fracture(outline.data(), static_cast<int>(outline.size()), minFlashNanometres,
                                  kFractureMargin);
                return Fractured(fracture);
            }
            default: return;
        }
    }
};

FlashCutter::FlashCutter(const Layout& layout, int layer, FlashScale scale, std::int64_t maxFlash,
                         std::int32_t minFlashNanometres, FractureKind kind, FlashSink& sink)
    : state(std::make_unique<State>(layout, layer, scale, maxFlash, minFlashNanometres, kind, sink)) {}

FlashCutter::~FlashCutter() = default;

bool FlashCutter::Cut(const SymbolDescription& top) {
    platform::Progress().SetProgress(0);
    ProgressWalk<State> walk(*state, top.objectCount);
    HierarchyWalker(state->layout).Walk(top, TransformMatrix{}, walk);
    platform::Progress().SetProgress(100);
    return !state->tooMany;
}

bool FlashCutter::RoundingErrors() const { return state->roundingErrors; }

}  // namespace zandor
