#include "model/Geometry.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <locale.h>
#include <new>
#include <stdexcept>
#include <stdlib.h>

#include "platform/Messages.h"

namespace zandor {

Rect PointsBounds(const Point* points, int n) {
    if (n <= 0) return {};
    Rect box{points[0].X, points[0].Y, points[0].X, points[0].Y};
    for (int i = 1; i < n; ++i) {
        box.minx = std::min(box.minx, points[i].X);
        box.miny = std::min(box.miny, points[i].Y);
        box.maxx = std::max(box.maxx, points[i].X);
        box.maxy = std::max(box.maxy, points[i].Y);
    }
    return box;
}

namespace {

constexpr double kTwoPi = 2 * kPi;
constexpr double kInt32Min = -2147483648.0;
constexpr double kInt32Max = 2147483647.0;

// The value RoundHalfAway would produce, before the conversion to int32.
double RoundedHalfAway(double x) { return x >= 0 ? std::trunc(x + 0.5) : std::trunc(x - 0.5); }

bool RoundsIntoInt32(double x) {
    if (!std::isfinite(x)) return false;
    const double r = RoundedHalfAway(x);
    return r >= kInt32Min && r <= kInt32Max;
}

Point RoundPoint(double x, double y) { return {RoundHalfAway(x), RoundHalfAway(y)}; }

// Coordinates span 33 bits as differences, so their products need more than
// 64 bits to be exact.
__int128 Cross(Point a, Point b, Point c) {
    const __int128 abx = static_cast<std::int64_t>(b.X) - a.X;
    const __int128 aby = static_cast<std::int64_t>(b.Y) - a.Y;
    const __int128 bcx = static_cast<std::int64_t>(c.X) - b.X;
    const __int128 bcy = static_cast<std::int64_t>(c.Y) - b.Y;
    return abx * bcy - aby * bcx;
}

// The user's typing must mean the same whatever locale the application set.
locale_t CLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t{});
    return locale;
}

enum class ParseStatus { Valid, Invalid };

// Steps shared by all number fields: a copy of at most 30 characters, one
// decimal comma accepted, and trailing text allowed only after white space (so
// "1.5 um" is valid, "1.5um" is not).  `shown` receives the copy as typed, for
// the error message.
ParseStatus ParseNumber(std::string_view text, double& value, char (&shown)[31]) {
    char buffer[31];
    buffer[text.copy(buffer, 30)] = '\0';
    std::memcpy(shown, buffer, sizeof buffer);

    char* stop = nullptr;
    double v = strtod_l(buffer, &stop, CLocale());
    if (*stop == ',') {
        *stop = '.';
        v = strtod_l(buffer, &stop, CLocale());
    }
    const bool terminated = *stop == '\0' || *stop == ' ' || *stop == '\t' || *stop == '\n' || *stop == '\r';
    if (stop == buffer || !terminated || !std::isfinite(v)) return ParseStatus::Invalid;
    value = v;
    return ParseStatus::Valid;
}

void ShowInvalidNumber(const char* shown) {
    char message[64];
    std::snprintf(message, sizeof message, "'%.20s' is not a valid number", shown);
    platform::ShowError(message);
}

bool ParseScaled(std::string_view text, double factor, std::int32_t& out, bool showMessage) {
    char shown[31];
    double v = 0;
    if (ParseNumber(text, v, shown) == ParseStatus::Valid && RoundsIntoInt32(v * factor)) {
        out = RoundHalfAway(v * factor);
        return true;
    }
    if (showMessage) ShowInvalidNumber(shown);
    return false;
}

struct ArcWire {
    double sx, sy, cx, cy, ex, ey;
    double width;
    unsigned style;
    bool clockwise;
};

ArcWire ReadArcWire(const std::int32_t* record) {
    const auto widthWord = static_cast<std::uint32_t>(record[7]);
    return {double(record[1]),
            double(record[2]),
            double(record[3]),
            double(record[4]),
            double(record[5]),
            double(record[6]),
            double(widthWord & 0x0FFFFFFFu),
            (widthWord >> 28) & 7u,
            (widthWord >> 31) != 0};
}

// Moved line of one polygon edge: a point on it and its direction.
struct OffsetLine {
    double px, py;
    std::int64_t dx, dy;
};

OffsetLine MoveEdge(Point from, Point to, double distance) {
    const std::int64_t dx = std::int64_t{to.X} - from.X;
    const std::int64_t dy = std::int64_t{to.Y} - from.Y;
    double nx = 0, ny = 0;
    if (dx == 0) {
        nx = dy > 0 ? 1 : -1;
    } else if (dy == 0) {
        ny = dx > 0 ? -1 : 1;
    } else {
        const double length = std::hypot(double(dx), double(dy));
        nx = double(dy) / length;
        ny = -double(dx) / length;
    }
    return {from.X + distance * nx, from.Y + distance * ny, dx, dy};
}

// Callers guarantee the lines are not parallel (their cross product is not 0).
Point IntersectLines(const OffsetLine& l1, const OffsetLine& l2) {
    if (l1.dx == 0 && l2.dy == 0) return RoundPoint(l1.px, l2.py);
    if (l1.dy == 0 && l2.dx == 0) return RoundPoint(l2.px, l1.py);
    if (l1.dx == 0) return RoundPoint(l1.px, l2.py + (l1.px - l2.px) * double(l2.dy) / double(l2.dx));
    if (l2.dx == 0) return RoundPoint(l2.px, l1.py + (l2.px - l1.px) * double(l1.dy) / double(l1.dx));
    if (l1.dy == 0) return RoundPoint(l2.px + (l1.py - l2.py) * double(l2.dx) / double(l2.dy), l1.py);
    if (l2.dy == 0) return RoundPoint(l1.px + (l2.py - l1.py) * double(l1.dx) / double(l1.dy), l2.py);
    const double d1x = double(l1.dx), d1y = double(l1.dy);
    const double d2x = double(l2.dx), d2y = double(l2.dy);
    // Exact, so that nearly parallel long edges cannot cancel to 0.
    const double denominator = double(__int128{l1.dx} * l2.dy - __int128{l1.dy} * l2.dx);
    const double t = ((l2.px - l1.px) * d2y - (l2.py - l1.py) * d2x) / denominator;
    return RoundPoint(l1.px + t * d1x, l1.py + t * d1y);
}

// Removes repeated and collinear vertices of a closed polygon, including
// spikes that turn back on themselves; a vertex removed can make its
// neighbours collinear, so the list is kept free of them as it grows.
std::vector<Point> WithoutCollinearVertices(const Point* points, int count) {
    std::vector<Point> kept;
    kept.reserve(count);
    for (int i = 0; i < count; ++i) {
        const Point p = points[i];
        bool repeated = false;
        for (;;) {
            if (!kept.empty() && kept.back() == p) {
                repeated = true;
                break;
            }
            if (kept.size() < 2 || Cross(kept[kept.size() - 2], kept.back(), p) != 0) break;
            kept.pop_back();
        }
        if (!repeated) kept.push_back(p);
    }
    // The same across the closing edge.
    std::size_t first = 0;
    while (kept.size() - first >= 3) {
        const Point& last = kept.back();
        if (last == kept[first] || Cross(kept[kept.size() - 2], last, kept[first]) == 0) {
            kept.pop_back();
        } else if (Cross(last, kept[first], kept[first + 1]) == 0) {
            ++first;
        } else {
            break;
        }
    }
    kept.erase(kept.begin(), kept.begin() + static_cast<std::ptrdiff_t>(first));
    return kept;
}

}  // namespace

void TransformPoints(Point* points, int count, const TransformMatrix& m) {
    for (int i = 0; i < count; ++i) {
        const double x = points[i].X, y = points[i].Y;
        points[i] = RoundPoint(m.a * x + m.c * y + m.tx, m.b * x + m.d * y + m.ty);
    }
}

TransformMatrix ComposeTransform(const TransformMatrix& q, const TransformMatrix& r) {
    return {q.a * r.a + q.b * r.c, q.a * r.b + q.b * r.d,          q.c * r.a + q.d * r.c,
            q.c * r.b + q.d * r.d, q.tx * r.a + q.ty * r.c + r.tx, q.tx * r.b + q.ty * r.d + r.ty};
}

DecomposedTransform DecomposeTransform(const TransformMatrix& m) {
    DecomposedTransform result;
    result.tx = m.tx;
    result.ty = m.ty;
    // Exact zero tests on purpose: the matrices of unrotated and quarter-turned
    // calls are built from exact values, and these branches keep them exact.
    if (m.a == 0 || m.c == 0) {
        if (m.a != 0) {
            result.angle = 0;
            result.scaleX = m.a;
            result.scaleY = m.d;
        } else if (m.c > 0) {
            result.angle = -kPi / 2;
            result.scaleX = -m.b;
            result.scaleY = m.c;
        } else {
            result.angle = kPi / 2;
            result.scaleX = m.b;
            result.scaleY = -m.c;
        }
        return result;
    }
    result.angle = std::atan2(m.b, m.a);
    const double cosine = std::cos(result.angle), sine = std::sin(result.angle);
    if (std::fabs(cosine) > std::fabs(sine)) {
        result.scaleX = m.a / cosine;
        result.scaleY = m.d / cosine;
    } else {
        result.scaleX = m.b / sine;
        result.scaleY = -m.c / sine;
    }
    return result;
}

bool ParseMicrons(std::string_view text, std::int32_t& units) { return ParseScaled(text, 1000.0, units, true); }

std::int32_t ParseMicronsSilent(std::string_view text) {
    std::int32_t units = 0;
    ParseScaled(text, 1000.0, units, false);
    return units;
}

bool ParseInteger(std::string_view text, std::int32_t& value) { return ParseScaled(text, 1.0, value, true); }

bool ParseRealSilent(std::string_view text, double& value) {
    char shown[31];
    return ParseNumber(text, value, shown) == ParseStatus::Valid;
}

bool ParseReal(std::string_view text, double& value) {
    char shown[31];
    if (ParseNumber(text, value, shown) == ParseStatus::Valid) return true;
    ShowInvalidNumber(shown);
    return false;
}

double ParseDegrees(std::string_view text) {
    char shown[31];
    double v = 0;
    if (ParseNumber(text, v, shown) != ParseStatus::Valid) return 0;
    return v * kPi / 180;
}

double ParsePercent(std::string_view text) {
    char shown[31];
    double v = 0;
    if (ParseNumber(text, v, shown) != ParseStatus::Valid) return 1.0;
    return v * 0.01;
}

void ReplaceChar(std::string& text, char from, char to) { std::replace(text.begin(), text.end(), from, to); }

std::string FormatMicrons(std::int32_t units) { return FormatNumber(units * 0.001); }

std::string FormatNumber(double value) {
    if (value == 0) value = 0;  // no "-0"
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    return std::string(buffer, result.ptr);
}

std::vector<Point> CirclePolygon(Point centre, std::int32_t radius, int n) {
    std::vector<Point> points;
    if (n <= 0) return points;
    points.reserve(n);
    for (int k = 0; k < n; ++k) {
        const double angle = kTwoPi * k / n;
        points.push_back(RoundPoint(centre.X + radius * std::cos(angle), centre.Y + radius * std::sin(angle)));
    }
    return points;
}

std::vector<Point> RingPolygon(Point centre, std::int32_t radius, std::int32_t width, int n) {
    std::vector<Point> points;
    const int m = n / 2;  // an odd count loses its last point
    if (m < 2) return points;
    const double step = kTwoPi / (m - 1);
    const double outer = radius + width / 2.0;
    const double inner = radius - width / 2.0;
    points.reserve(2 * m);
    for (int k = 0; k < m - 1; ++k) {
        const double angle = k * step;
        points.push_back(RoundPoint(centre.X + outer * std::cos(angle), centre.Y + outer * std::sin(angle)));
    }
    points.push_back(RoundPoint(centre.X + outer, centre.Y));
    for (int k = 0; k < m - 1; ++k) {
        const double angle = -k * step;
        points.push_back(RoundPoint(centre.X + inner * std::cos(angle), centre.Y + inner * std::sin(angle)));
    }
    points.push_back(RoundPoint(centre.X + inner, centre.Y));
    return points;
}

std::vector<Point> RotatedBoxCorners(Point centre, std::int32_t length, std::int32_t width,
                                     std::int32_t angleMillidegrees) {
    const double theta = angleMillidegrees * 0.001 * kPi / 180;
    const double c = std::cos(theta), s = std::sin(theta);
    const double hl = length / 2.0, hw = width / 2.0;
    const double x = centre.X, y = centre.Y;
    return {RoundPoint(x - hl * c - hw * s, y - hl * s + hw * c), RoundPoint(x - hl * c + hw * s, y - hl * s - hw * c),
            RoundPoint(x + hl * c + hw * s, y + hl * s - hw * c), RoundPoint(x + hl * c - hw * s, y + hl * s + hw * c)};
}

double ArcStartAngle(const std::int32_t* record) {
    const ArcWire arc = ReadArcWire(record);
    if (arc.sx == arc.cx && arc.sy == arc.cy) return 0;
    return std::atan2(arc.sy - arc.cy, arc.sx - arc.cx);
}

double ArcEndAngle(const std::int32_t* record) {
    const ArcWire arc = ReadArcWire(record);
    if (arc.ex == arc.cx && arc.ey == arc.cy) return 0;
    return std::atan2(arc.ey - arc.cy, arc.ex - arc.cx);
}

std::vector<Point> ArcWireOutline(const std::int32_t* record, int n) {
    const ArcWire arc = ReadArcWire(record);
    if ((arc.cx == arc.sx && arc.cy == arc.sy) || (arc.cx == arc.ex && arc.cy == arc.ey) || arc.width == 0) {
        return {};
    }
    const double r1 = std::hypot(arc.sx - arc.cx, arc.sy - arc.cy);
    const double r2 = std::hypot(arc.ex - arc.cx, arc.ey - arc.cy);
    const double a1 = ArcStartAngle(record);
    const double a2 = ArcEndAngle(record);
    double sweep = a2 - a1;
    if (arc.clockwise) {
        while (sweep >= 0) sweep -= kTwoPi;
        if (sweep < -kTwoPi) sweep += kTwoPi;
    } else {
        while (sweep <= 0) sweep += kTwoPi;
        if (sweep > kTwoPi) sweep -= kTwoPi;
    }
    const double sign = sweep < 0 ? -1.0 : 1.0;
    const std::int64_t k = RoundHalfAway(std::fabs(sweep / kTwoPi) * std::max(n, 0));
    const double angleStep = sweep / double(k + 1);
    const double radiusStep = (r2 - r1) / double(k + 1);
    const double h = arc.width / 2;

    const auto polar = [&](double radius, double angle, double shiftAngle = 0, double shift = 0) {
        return RoundPoint(arc.cx + radius * std::cos(angle) + shift * std::cos(shiftAngle),
                          arc.cy + radius * std::sin(angle) + shift * std::sin(shiftAngle));
    };
    const auto around = [&](double x, double y, double angle) {
        return RoundPoint(x + h * std::cos(angle), y + h * std::sin(angle));
    };

    // The count must fit the int that RemoveRepeatedPoints takes.
    if (2 * k + 4 + 14 > INT32_MAX) return {};
    std::vector<Point> outline;
    try {
        outline.reserve(static_cast<std::size_t>(2 * k + 4 + 14));
    } catch (const std::bad_alloc&) {
        return {};
    } catch (const std::length_error&) {
        return {};
    }

    const bool round = arc.style == 0;
    const bool flat = arc.style == 1;
    if (round) {
        for (int j = 1; j <= 7; ++j) outline.push_back(around(arc.sx, arc.sy, a1 - kPi + j * kPi / 8 * sign));
    } else if (!flat) {
        // Clamped like the inner points below, so that a wire wider than its
        // radius does not put the corner on the far side of the centre.
        const double back = a1 - kPi / 2 * sign;
        outline.push_back(polar(std::max(r1 - h, 0.0), a1, back, h));
        outline.push_back(polar(r1 + h, a1, back, h));
    }
    for (std::int64_t i = 0; i <= k + 1; ++i) {
        outline.push_back(polar(r1 + double(i) * radiusStep + h, a1 + double(i) * angleStep));
    }
    if (round) {
        for (int j = 1; j <= 7; ++j) outline.push_back(around(arc.ex, arc.ey, a2 + j * kPi / 8 * sign));
    } else if (!flat) {
        const double ahead = a2 + kPi / 2 * sign;
        outline.push_back(polar(r2 + h, a2, ahead, h));
        outline.push_back(polar(std::max(r2 - h, 0.0), a2, ahead, h));
    }
    for (std::int64_t i = k + 1; i >= 0; --i) {
        const double rho = r1 + double(i) * radiusStep;
        outline.push_back(polar(std::max(rho - h, 0.0), a1 + double(i) * angleStep));
    }
    outline.resize(RemoveRepeatedPoints(outline.data(), static_cast<int>(outline.size())));
    return outline;
}

int RemoveRepeatedPoints(Point* points, int count) {
    if (count <= 1) return count;
    int kept = 1;
    for (int i = 1; i < count; ++i) {
        if (points[i] != points[kept - 1]) points[kept++] = points[i];
    }
    if (kept > 1 && points[kept - 1] == points[0]) --kept;
    return kept;
}

void ExtendEndPoint(Point& end, Point other, std::int32_t distance) {
    if (end == other) return;
    const double angle = std::atan2(double(end.Y) - other.Y, double(end.X) - other.X);
    end.X = SaturateToInt32(std::int64_t{end.X} + RoundHalfAway(distance * std::cos(angle)));
    end.Y = SaturateToInt32(std::int64_t{end.Y} + RoundHalfAway(distance * std::sin(angle)));
}

std::vector<Point> SegmentRectangle(Point a, Point b, std::int32_t width) {
    if (a == b) return {};
    const double theta = std::atan2(double(b.Y) - a.Y, double(b.X) - a.X);
    const double m = width * std::sin(theta) / 2;
    const double o = width * std::cos(theta) / 2;
    return {RoundPoint(a.X - m, a.Y + o), RoundPoint(a.X + m, a.Y - o), RoundPoint(b.X + m, b.Y - o),
            RoundPoint(b.X - m, b.Y + o)};
}

bool PointInPolygon(std::int32_t x, std::int32_t y, const Point* points, int count) {
    bool inside = false;
    for (int i = 0, j = count - 1; i < count; j = i++) {
        const Point& pi = points[i];
        const Point& pj = points[j];
        if ((pi.Y <= y && y < pj.Y) || (pj.Y <= y && y < pi.Y)) {
            const double crossing = pi.X + (double(pj.X) - pi.X) * (double(y) - pi.Y) / (double(pj.Y) - pi.Y);
            if (x < crossing) inside = !inside;
        }
    }
    return inside;
}

bool IsClockwise(const Point* points, int count) {
    while (count > 1 && points[count - 1] == points[0]) --count;
    if (count <= 0) return false;
    const Point last = points[count - 1];
    const Point first = points[0];
    const double dx = double(first.X) - last.X;
    const double dy = double(first.Y) - last.Y;
    double mx = (double(last.X) + first.X) / 2;
    double my = (double(last.Y) + first.Y) / 2;
    // A probe just to the right of the closing edge lies inside exactly when
    // the outline runs clockwise.
    if (dx == 0) {
        mx += dy >= 1 ? 5 : -5;
    } else if (dy == 0) {
        my += dx >= 1 ? -5 : 5;
    } else {
        const double length = std::hypot(dx, dy);
        mx += 5 * dy / length;
        my -= 5 * dx / length;
    }
    return PointInPolygon(RoundHalfAway(mx), RoundHalfAway(my), points, count);
}

int OffsetPolygon(Point* points, int count, std::int32_t distance) {
    int open = count;
    while (open > 2 && points[open - 1] == points[0]) --open;
    if (open <= 2) return count;
    double d = distance;
    if (IsClockwise(points, open)) d = -d;

    const std::vector<Point> corners = WithoutCollinearVertices(points, open);
    const int m = static_cast<int>(corners.size());
    // Every line lies on one line or doubles back: nothing to offset.
    if (m < 3) return count;

    std::vector<OffsetLine> moved;
    moved.reserve(m);
    for (int i = 0; i < m; ++i) moved.push_back(MoveEdge(corners[i], corners[(i + 1) % m], d));
    for (int i = 0; i < m; ++i) points[i] = IntersectLines(moved[(i + m - 1) % m], moved[i]);
    return m;
}

bool ClipSegmentToRect(Point& p1, Point& p2, const Rect& r) {
    const double x0 = p1.X, y0 = p1.Y;
    const double dx = double(p2.X) - p1.X, dy = double(p2.Y) - p1.Y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - r.minx, r.maxx - x0, y0 - r.miny, r.maxy - y0};
    double t0 = 0, t1 = 1;
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) {
            if (t > t1) return false;
            t0 = std::max(t0, t);
        } else {
            if (t < t0) return false;
            t1 = std::min(t1, t);
        }
    }
    if (t1 < 1) p2 = RoundPoint(x0 + t1 * dx, y0 + t1 * dy);
    if (t0 > 0) p1 = RoundPoint(x0 + t0 * dx, y0 + t0 * dy);
    return true;
}

double DistanceToLine(Point onLine, double slope, Point p) {
    const double x0 = onLine.X, y0 = onLine.Y;
    const double x = p.X, y = p.Y;
    if (slope == 0) return std::fabs(y - y0);
    if (std::isinf(slope)) return std::fabs(x - x0);
    // Two algebraically equal forms of the foot, chosen so that neither a very
    // steep nor a very flat slope overflows.
    double footX = 0, footY = 0;
    if (std::fabs(slope) >= 1) {
        footX = x0 + ((y - y0) + (x - x0) / slope) / (slope + 1 / slope);
        footY = y - (footX - x) / slope;
    } else {
        footX = x0 + (slope * (y - y0) + (x - x0)) / (slope * slope + 1);
        footY = y0 + slope * (footX - x0);
    }
    return std::hypot(x - RoundHalfAway(footX), y - RoundHalfAway(footY));
}

}  // namespace zandor
