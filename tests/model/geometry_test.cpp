#include "model/Geometry.h"

#include <clocale>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "platform/headless/RecordingMessages.h"

namespace zandor {
namespace {

using platform::headless::RecordedMessage;
using platform::headless::ScopedMessageCapture;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::vector<Point> P(std::initializer_list<Point> points) { return points; }

// ---------------------------------------------------------------- rounding

TEST(RoundHalfAway, RoundsHalvesAwayFromZeroAndSaturates) {
    struct Case {
        double x;
        std::int32_t expected;
    };
    const std::vector<Case> cases = {
        {2.5, 3},
        {-2.5, -3},
        {-0.4, 0},
        {0.4, 0},
        {0.5, 1},
        {-0.5, -1},
        {1.49, 1},
        {-1.51, -2},
        {2147483647.4, INT32_MAX},
        {2147483647.5, INT32_MAX},
        {-2147483648.4, INT32_MIN},
        {-2147483648.5, INT32_MIN},
        {1e12, INT32_MAX},
        {-1e12, INT32_MIN},
        {kInf, INT32_MAX},
        {-kInf, INT32_MIN},
        {kNaN, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(RoundHalfAway(c.x), c.expected) << c.x;
}

// ---------------------------------------------------------------- parsing

TEST(ParseMicrons, AcceptsNumbersAsTheUserTypesThem) {
    struct Case {
        const char* text;
        std::int32_t units;
    };
    const std::vector<Case> cases = {
        {"1.5", 1500},
        {"1,5", 1500},  // decimal comma
        {"1.5 um", 1500},
        {"1.5\t", 1500},
        {"1.5\r\n", 1500},
        {" 2", 2000},
        {"-0.25", -250},
        {"0.0005", 1},
        {"-0.0005", -1},
        {"2147483.647", INT32_MAX},
        {"-2147483.648", INT32_MIN},
    };
    ScopedMessageCapture capture;
    for (const Case& c : cases) {
        std::int32_t units = 77;
        EXPECT_TRUE(ParseMicrons(c.text, units)) << c.text;
        EXPECT_EQ(units, c.units) << c.text;
    }
    EXPECT_TRUE(capture.messages.empty());
}

TEST(ParseMicrons, RejectsInvalidTextWithMessageAndKeepsValue) {
    const std::vector<std::string> invalid = {"abc", "",     "   ", "1.5x", "1.5um",       "1,5,3",       "1.5.",
                                              "inf", "-inf", "nan", "1e30", "2147483.648", "-2147483.649"};
    for (const std::string& text : invalid) {
        ScopedMessageCapture capture;
        std::int32_t units = 77;
        EXPECT_FALSE(ParseMicrons(text, units)) << text;
        EXPECT_EQ(units, 77) << text;
        const std::vector<RecordedMessage> expected = {{"'" + text + "' is not a valid number", "Error"}};
        EXPECT_EQ(capture.messages, expected) << text;
    }
}

TEST(ParseMicrons, AbsentTextCountsAsEmpty) {
    ScopedMessageCapture capture;
    std::int32_t units = 3;
    EXPECT_FALSE(ParseMicrons(std::string_view{}, units));
    EXPECT_EQ(units, 3);
    const std::vector<RecordedMessage> expected = {{"'' is not a valid number", "Error"}};
    EXPECT_EQ(capture.messages, expected);
}

TEST(ParseMicrons, MessageEchoesAtMostTwentyCharacters) {
    ScopedMessageCapture capture;
    std::int32_t units = 5;
    EXPECT_FALSE(ParseMicrons("abcdefghijklmnopqrstuvwxyz0123456789ABCD", units));
    EXPECT_EQ(units, 5);
    const std::vector<RecordedMessage> expected = {{"'abcdefghijklmnopqrst' is not a valid number", "Error"}};
    EXPECT_EQ(capture.messages, expected);
}

TEST(ParseMicrons, OnlyTheFirstThirtyCharactersCount) {
    // The invalid character is the 31st: it never reaches the conversion.
    std::string text = "1";
    text.append(29, '0');
    double value = 0;
    ScopedMessageCapture capture;
    EXPECT_TRUE(ParseReal(text + "x", value));
    EXPECT_DOUBLE_EQ(value, 1e29);
    EXPECT_TRUE(capture.messages.empty());
}

TEST(ParseMicrons, MessageEchoesTheTextAsTyped) {
    // A decimal comma replaced during the attempt must not show up as a point.
    ScopedMessageCapture capture;
    std::int32_t units = 0;
    EXPECT_FALSE(ParseMicrons("1,5,3", units));
    ASSERT_EQ(capture.messages.size(), 1u);
    EXPECT_EQ(capture.messages[0].text, "'1,5,3' is not a valid number");
}

TEST(ParseNumbers, IntegerRealAndSilentVariants) {
    ScopedMessageCapture capture;
    struct IntCase {
        const char* text;
        std::int32_t value;
    };
    for (const IntCase& c : std::vector<IntCase>{
             {"42", 42}, {"2.5", 3}, {"-2.5", -3}, {"3,7", 4}, {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}}) {
        std::int32_t value = 0;
        EXPECT_TRUE(ParseInteger(c.text, value)) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
    struct RealCase {
        const char* text;
        double value;
    };
    for (const RealCase& c : std::vector<RealCase>{{"2,25", 2.25}, {"-1e30", -1e30}, {"0.001 mm", 0.001}}) {
        double value = 0;
        EXPECT_TRUE(ParseReal(c.text, value)) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
    EXPECT_EQ(ParseMicronsSilent("2.5"), 2500);
    EXPECT_EQ(ParseMicronsSilent("2,5 um"), 2500);
    EXPECT_DOUBLE_EQ(ParseDegrees("90"), kPi / 2);
    EXPECT_DOUBLE_EQ(ParseDegrees("-45,0"), -kPi / 4);
    EXPECT_DOUBLE_EQ(ParsePercent("50"), 0.5);
    EXPECT_DOUBLE_EQ(ParsePercent("12,5 %"), 0.125);
    EXPECT_TRUE(capture.messages.empty());

    for (const char* text : {"2147483648", "-2147483649", "12a", "inf"}) {
        std::int32_t value = 9;
        EXPECT_FALSE(ParseInteger(text, value)) << text;
        EXPECT_EQ(value, 9) << text;
    }
    for (const char* text : {"x", "inf", "nan", "1e999"}) {
        double value = 9;
        EXPECT_FALSE(ParseReal(text, value)) << text;
        EXPECT_EQ(value, 9) << text;
    }
    EXPECT_EQ(capture.messages.size(), 8u);
    for (const RecordedMessage& m : capture.messages) EXPECT_EQ(m.caption, "Error");

    capture.messages.clear();
    for (const char* text : {"abc", "", "1e30", "inf"}) EXPECT_EQ(ParseMicronsSilent(text), 0) << text;
    for (const char* text : {"abc", "", "inf", "nan"}) EXPECT_EQ(ParseDegrees(text), 0.0) << text;
    for (const char* text : {"abc", "", "inf", "5%"}) EXPECT_EQ(ParsePercent(text), 1.0) << text;
    EXPECT_TRUE(capture.messages.empty());
}

// Finds a locale whose decimal separator is a comma, if one is installed.
class CommaLocale {
public:
    CommaLocale() {
        const char* current = std::setlocale(LC_ALL, nullptr);
        previous_ = current ? current : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8"}) {
            if (std::setlocale(LC_ALL, name)) {
                active_ = true;
                break;
            }
        }
    }
    ~CommaLocale() { std::setlocale(LC_ALL, previous_.c_str()); }
    bool active() const { return active_; }

private:
    std::string previous_;
    bool active_ = false;
};

TEST(ParseAndFormat, IgnoreTheProcessLocale) {
    CommaLocale locale;
    if (!locale.active()) GTEST_SKIP() << "no locale with a decimal comma installed";
    std::int32_t units = 0;
    EXPECT_TRUE(ParseMicrons("1.25", units));
    EXPECT_EQ(units, 1250);
    EXPECT_TRUE(ParseMicrons("1,75", units));
    EXPECT_EQ(units, 1750);
    EXPECT_EQ(FormatMicrons(1500), "1.5");
}

TEST(ReplaceChar, ReplacesEveryOccurrence) {
    std::string text = "1,5,6";
    ReplaceChar(text, ',', '.');
    EXPECT_EQ(text, "1.5.6");
    ReplaceChar(text, 'x', 'y');
    EXPECT_EQ(text, "1.5.6");
}

// ---------------------------------------------------------------- formatting

TEST(Format, ShortestGeneralFormatWithPoint) {
    struct Case {
        std::int32_t units;
        const char* text;
    };
    for (const Case& c : std::vector<Case>{{1000, "1"},
                                           {1500, "1.5"},
                                           {-250, "-0.25"},
                                           {1234567, "1234.567"},
                                           {0, "0"},
                                           {1, "0.001"},
                                           {-1, "-0.001"},
                                           {INT32_MAX, "2147483.647"},
                                           {INT32_MIN, "-2147483.648"}}) {
        EXPECT_EQ(FormatMicrons(c.units), c.text) << c.units;
    }
    EXPECT_EQ(FormatNumber(-0.0), "0");
    EXPECT_EQ(FormatNumber(0.1 + 0.2), "0.3");  // 15 significant digits hide the binary error
    EXPECT_EQ(FormatNumber(1e20), "1e+20");
    EXPECT_EQ(FormatNumber(123456789012345678.0), "1.23456789012346e+17");
    EXPECT_EQ(FormatNumber(0.0001), "0.0001");
    EXPECT_EQ(FormatNumber(0.00001), "1e-05");
}

// ---------------------------------------------------------------- transforms

struct DPoint {
    double x, y;
};
DPoint Apply(const TransformMatrix& m, DPoint p) {
    return {m.a * p.x + m.c * p.y + m.tx, m.b * p.x + m.d * p.y + m.ty};
}

TEST(TransformPoints, MapsAndRoundsEachPoint) {
    std::vector<Point> points = P({{3, 4}, {0, 0}});
    TransformPoints(points.data(), 2, {0, 1, -1, 0, 10, 20});  // quarter turn, then shift
    EXPECT_EQ(points, P({{6, 23}, {10, 20}}));

    points = P({{3, -3}, {1, 1}});
    TransformPoints(points.data(), 2, {0.5, 0, 0, 0.5, 0, 0});
    EXPECT_EQ(points, P({{2, -2}, {1, 1}}));
}

TEST(ComposeTransform, EqualsApplyingInnerThenOuter) {
    // Translate, then quarter turn: the origin lands at (-7, 5).
    EXPECT_EQ(ComposeTransform({1, 0, 0, 1, 5, 7}, {0, 1, -1, 0, 0, 0}), (TransformMatrix{0, 1, -1, 0, -7, 5}));

    const std::vector<TransformMatrix> matrices = {{1, 0, 0, 1, 0, 0},
                                                   {0, 1, -1, 0, 3, -2},
                                                   {2, 0.5, -1.5, 3, 10, 20},
                                                   {-1, 0, 0, 1, -4, 8},
                                                   {0.6, 0.8, -0.8, 0.6, 100, -50}};
    const std::vector<DPoint> probes = {{0, 0}, {1, 0}, {0, 1}, {-7.5, 12.25}};
    for (const TransformMatrix& q : matrices) {
        for (const TransformMatrix& r : matrices) {
            const TransformMatrix s = ComposeTransform(q, r);
            for (const DPoint& p : probes) {
                const DPoint sequential = Apply(r, Apply(q, p));
                const DPoint composed = Apply(s, p);
                EXPECT_NEAR(composed.x, sequential.x, 1e-9);
                EXPECT_NEAR(composed.y, sequential.y, 1e-9);
            }
        }
    }
}

TEST(DecomposeTransform, RecoversRotationScaleAndMirror) {
    const double r3 = std::sqrt(3.0);
    struct Case {
        TransformMatrix m;
        double angle, sx, sy;
    };
    const std::vector<Case> cases = {
        {{1, 0, 0, 1, 3, 4}, 0, 1, 1},
        {{0, 1, -1, 0, 0, 0}, kPi / 2, 1, 1},
        {{0, -1, 1, 0, 0, 0}, -kPi / 2, 1, 1},  // a = 0, c > 0
        {{-1, 0, 0, 1, 0, 0}, 0, -1, 1},
        {{2, 0, 0, 3, 0, 0}, 0, 2, 3},
        {{0, 2, -3, 0, 0, 0}, kPi / 2, 2, 3},
        // 30 degrees, scale 2: cos dominates.
        {{r3, 1, -1, r3, 0, 0}, kPi / 6, 2, 2},
        // 60 degrees, scale (2, -2): sin dominates.
        {{1, r3, r3, -1, 0, 0}, kPi / 3, 2, -2},
    };
    for (const Case& c : cases) {
        const DecomposedTransform d = DecomposeTransform(c.m);
        SCOPED_TRACE(testing::Message() << c.m.a << " " << c.m.b << " " << c.m.c << " " << c.m.d);
        EXPECT_NEAR(d.angle, c.angle, 1e-12);
        EXPECT_NEAR(d.scaleX, c.sx, 1e-12);
        EXPECT_NEAR(d.scaleY, c.sy, 1e-12);
        EXPECT_EQ(d.tx, c.m.tx);
        EXPECT_EQ(d.ty, c.m.ty);
    }
}

// ---------------------------------------------------------------- curves

TEST(CirclePolygon, CounterClockwiseFromAngleZero) {
    EXPECT_EQ(CirclePolygon({0, 0}, 100, 8),
              P({{100, 0}, {71, 71}, {0, 100}, {-71, 71}, {-100, 0}, {-71, -71}, {0, -100}, {71, -71}}));
    EXPECT_EQ(CirclePolygon({100, 200}, 10, 4), P({{110, 200}, {100, 210}, {90, 200}, {100, 190}}));
    EXPECT_TRUE(CirclePolygon({0, 0}, 10, 0).empty());
}

TEST(RingPolygon, OuterCircleForwardInnerCircleBack) {
    // m = 5, step = 90 degrees.
    EXPECT_EQ(RingPolygon({1000, -500}, 100, 20, 10), P({{1110, -500},
                                                         {1000, -390},
                                                         {890, -500},
                                                         {1000, -610},
                                                         {1110, -500},
                                                         {1090, -500},
                                                         {1000, -590},
                                                         {910, -500},
                                                         {1000, -410},
                                                         {1090, -500}}));
    // Half an odd width is kept as a fraction: radii 107.5 and 92.5.
    const std::vector<Point> odd = RingPolygon({0, 0}, 100, 15, 10);
    ASSERT_EQ(odd.size(), 10u);
    EXPECT_EQ(odd[4], (Point{108, 0}));
    EXPECT_EQ(odd[9], (Point{93, 0}));
    EXPECT_EQ(odd[7], (Point{-93, 0}));
}

TEST(RingPolygon, FillsOnlyTheRing) {
    const std::vector<Point> ring = RingPolygon({0, 0}, 1000, 200, 128);
    ASSERT_EQ(ring.size(), 128u);
    const int n = static_cast<int>(ring.size());
    for (double angle : {0.3, 1.7, 3.0, 4.4, 5.9}) {
        const auto inside = [&](double r) {
            return PointInPolygon(RoundHalfAway(r * std::cos(angle)), RoundHalfAway(r * std::sin(angle)), ring.data(),
                                  n);
        };
        EXPECT_TRUE(inside(1000)) << angle;
        EXPECT_FALSE(inside(500)) << angle;
        EXPECT_FALSE(inside(1500)) << angle;
    }
    EXPECT_FALSE(PointInPolygon(0, 0, ring.data(), n));
}

TEST(RotatedBoxCorners, LengthAlongAngleWidthAcross) {
    EXPECT_EQ(RotatedBoxCorners({0, 0}, 100, 40, 0), P({{-50, 20}, {-50, -20}, {50, -20}, {50, 20}}));
    EXPECT_EQ(RotatedBoxCorners({0, 0}, 100, 40, 90000), P({{-20, -50}, {20, -50}, {20, 50}, {-20, 50}}));
    // 30 degrees: hl·cos = 43.30, hl·sin = 25, hw·sin = 10, hw·cos = 17.32.
    EXPECT_EQ(RotatedBoxCorners({1000, 2000}, 100, 40, 30000),
              P({{947, 1992}, {967, 1958}, {1053, 2008}, {1033, 2042}}));
    // Half of an odd length stays a fraction and rounds away from the centre.
    EXPECT_EQ(RotatedBoxCorners({0, 0}, 101, 40, 0), P({{-51, 20}, {-51, -20}, {51, -20}, {51, 20}}));
}

enum EndStyle : std::uint32_t { kRound = 0, kFlat = 1, kExtended = 2 };

std::vector<std::int32_t> ArcRecord(Point s, Point c, Point e, std::uint32_t width, std::uint32_t style,
                                    bool clockwise) {
    const std::uint32_t widthWord = width | (style << 28) | (clockwise ? 0x80000000u : 0u);
    return {7, s.X, s.Y, c.X, c.Y, e.X, e.Y, static_cast<std::int32_t>(widthWord)};
}

void ExpectNoRepeatedPoints(const std::vector<Point>& outline) {
    for (std::size_t i = 1; i < outline.size(); ++i) EXPECT_NE(outline[i], outline[i - 1]) << i;
    if (outline.size() > 1) {
        EXPECT_NE(outline.back(), outline.front());
    }
}

TEST(ArcWire, StartAndEndAngles) {
    const auto record = ArcRecord({10, 0}, {0, 0}, {0, 10}, 2, kFlat, false);
    EXPECT_DOUBLE_EQ(ArcStartAngle(record.data()), 0);
    EXPECT_DOUBLE_EQ(ArcEndAngle(record.data()), kPi / 2);
    const auto other = ArcRecord({-5, 3}, {-5, 8}, {-8, 5}, 2, kFlat, true);
    EXPECT_DOUBLE_EQ(ArcStartAngle(other.data()), -kPi / 2);
    EXPECT_DOUBLE_EQ(ArcEndAngle(other.data()), -3 * kPi / 4);
    const auto coincident = ArcRecord({4, 4}, {4, 4}, {4, 4}, 2, kFlat, false);
    EXPECT_EQ(ArcStartAngle(coincident.data()), 0);
    EXPECT_EQ(ArcEndAngle(coincident.data()), 0);
}

// Quarter arc of radius 1000 from (1000, 0) to (0, 1000), width 200, 8 segments
// per circle: counter-clockwise k = 2 (steps of 30 degrees), clockwise the long
// way round, k = 6.
const Point kS{1000, 0}, kC{0, 0}, kE{0, 1000};
const std::vector<Point> kQuarterOuter = {{1100, 0}, {953, 550}, {550, 953}, {0, 1100}};
const std::vector<Point> kQuarterInner = {{0, 900}, {450, 779}, {779, 450}, {900, 0}};

std::vector<Point> Concat(std::initializer_list<std::vector<Point>> parts) {
    std::vector<Point> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(ArcWire, CounterClockwiseOutlinesForEachEndStyle) {
    const auto flat = ArcRecord(kS, kC, kE, 200, kFlat, false);
    EXPECT_EQ(ArcWireOutline(flat.data(), 8), Concat({kQuarterOuter, kQuarterInner}));

    // Extended: corners pushed back by h against the travel direction at S and
    // along it at E.
    const auto extended = ArcRecord(kS, kC, kE, 200, kExtended, false);
    EXPECT_EQ(ArcWireOutline(extended.data(), 8),
              Concat({{{900, -100}, {1100, -100}}, kQuarterOuter, {{-100, 1100}, {-100, 900}}, kQuarterInner}));
    // Unknown end styles are drawn as extended.
    const auto style5 = ArcRecord(kS, kC, kE, 200, 5, false);
    EXPECT_EQ(ArcWireOutline(style5.data(), 8), ArcWireOutline(extended.data(), 8));

    // Round: half circles of radius 100 around S and E, bulging backwards at S.
    const auto round = ArcRecord(kS, kC, kE, 200, kRound, false);
    const std::vector<Point> outline = ArcWireOutline(round.data(), 8);
    ASSERT_EQ(outline.size(), 2u * 2 + 4 + 14);
    EXPECT_EQ(outline[0], (Point{908, -38}));  // S + 100·(cos, sin)(-157.5°)
    EXPECT_EQ(outline[3], (Point{1000, -100}));
    EXPECT_EQ(outline[6], (Point{1092, -38}));
    EXPECT_EQ(std::vector<Point>(outline.begin() + 7, outline.begin() + 11), kQuarterOuter);
    EXPECT_EQ(outline[14], (Point{-100, 1000}));
    EXPECT_EQ(std::vector<Point>(outline.begin() + 18, outline.end()), kQuarterInner);
    for (int j = 0; j < 7; ++j) {
        EXPECT_NEAR(std::hypot(outline[j].X - kS.X, outline[j].Y - kS.Y), 100, 1);
        EXPECT_NEAR(std::hypot(outline[11 + j].X - kE.X, outline[11 + j].Y - kE.Y), 100, 1);
    }
    EXPECT_FALSE(IsClockwise(outline.data(), static_cast<int>(outline.size())));
}

TEST(ArcWire, ClockwiseGoesTheLongWayRound) {
    for (std::uint32_t style : {kRound, kFlat, kExtended}) {
        SCOPED_TRACE(style);
        const auto record = ArcRecord(kS, kC, kE, 200, style, true);
        const std::vector<Point> outline = ArcWireOutline(record.data(), 8);
        const std::size_t cap = style == kRound ? 7 : style == kExtended ? 2 : 0;
        ASSERT_EQ(outline.size(), 2u * 6 + 4 + 2 * cap);
        ExpectNoRepeatedPoints(outline);
        EXPECT_EQ(outline[cap], (Point{1100, 0}));
        EXPECT_EQ(outline[cap + 7], (Point{0, 1100}));
        EXPECT_EQ(outline[2 * cap + 8], (Point{0, 900}));
        EXPECT_EQ(outline.back(), (Point{900, 0}));
        // Outer points every 270/7 degrees clockwise, e.g. (-991, -477) at -154.3°.
        EXPECT_EQ(outline[cap + 4], (Point{-991, -477}));
        for (std::size_t i = 0; i < 8; ++i) {
            EXPECT_NEAR(std::hypot(outline[cap + i].X, outline[cap + i].Y), 1100, 1) << i;
            EXPECT_NEAR(std::hypot(outline[2 * cap + 8 + i].X, outline[2 * cap + 8 + i].Y), 900, 1) << i;
        }
        if (style == kExtended) {
            EXPECT_EQ(std::vector<Point>(outline.begin(), outline.begin() + 2), P({{900, 100}, {1100, 100}}));
            EXPECT_EQ(outline[10], (Point{100, 1100}));
            EXPECT_EQ(outline[11], (Point{100, 900}));
        }
        if (style == kRound) {
            EXPECT_EQ(outline[3], (Point{1000, 100}));   // bulges against the clockwise travel
            EXPECT_EQ(outline[18], (Point{100, 1000}));  // and along it at the end
        }
        EXPECT_TRUE(IsClockwise(outline.data(), static_cast<int>(outline.size())));
    }
}

TEST(ArcWire, EqualAnglesSweepAFullTurnInTheirDirection) {
    for (bool clockwise : {false, true}) {
        const auto record = ArcRecord(kS, kC, kS, 200, kFlat, clockwise);
        const std::vector<Point> outline = ArcWireOutline(record.data(), 8);
        // k = 8, so 9 steps of 40 degrees from 0 round to 360.
        ASSERT_EQ(outline.size(), 20u);
        EXPECT_EQ(outline[0], (Point{1100, 0}));
        EXPECT_EQ(outline[1], (Point{843, clockwise ? -707 : 707}));
        EXPECT_EQ(outline[9], (Point{1100, 0}));
        EXPECT_EQ(outline[10], (Point{900, 0}));
        EXPECT_EQ(outline[18], (Point{689, clockwise ? -579 : 579}));
        EXPECT_EQ(outline[19], (Point{900, 0}));
    }
}

TEST(ArcWire, SpiralInnerRadiusStopsAtTheCentre) {
    // r1 = 1000, r2 = 100, h = 200, k = 2: centre-line radii 1000, 700, 400,
    // 100, so the last inner radius would be -100.
    const auto flat = ArcRecord({1000, 0}, {0, 0}, {0, 100}, 400, kFlat, false);
    EXPECT_EQ(ArcWireOutline(flat.data(), 8),
              P({{1200, 0}, {779, 450}, {300, 520}, {0, 300}, {0, 0}, {100, 173}, {433, 250}, {800, 0}}));
    // The extended corners at E start from the same clamped inner point.
    const auto extended = ArcRecord({1000, 0}, {0, 0}, {0, 100}, 400, kExtended, false);
    const std::vector<Point> outline = ArcWireOutline(extended.data(), 8);
    ASSERT_EQ(outline.size(), 12u);
    EXPECT_EQ(outline[0], (Point{800, -200}));
    EXPECT_EQ(outline[1], (Point{1200, -200}));
    EXPECT_EQ(outline[6], (Point{-200, 300}));
    EXPECT_EQ(outline[7], (Point{-200, 0}));
}

TEST(ArcWire, NarrowRoundCapsLoseRepeatedPoints) {
    // h = 1: the seven points of each cap round onto few distinct points, and
    // the caps' last points meet the outer and inner lines.
    const auto record = ArcRecord(kS, kC, kE, 2, kRound, false);
    const std::vector<Point> outline = ArcWireOutline(record.data(), 8);
    ExpectNoRepeatedPoints(outline);
    // 22 points: 3 repeats at the start cap, 4 at the end cap, and the last
    // inner point (999, 0) equals the first.
    ASSERT_EQ(outline.size(), 14u);
    EXPECT_EQ(std::vector<Point>(outline.begin(), outline.begin() + 5),
              P({{999, 0}, {999, -1}, {1000, -1}, {1001, -1}, {1001, 0}}));
    EXPECT_EQ(std::vector<Point>(outline.begin() + 7, outline.begin() + 12),
              P({{0, 1001}, {-1, 1001}, {-1, 1000}, {-1, 999}, {0, 999}}));
}

TEST(ArcWire, DegenerateArcsHaveNoOutline) {
    EXPECT_TRUE(ArcWireOutline(ArcRecord(kC, kC, kE, 200, kRound, false).data(), 8).empty());
    EXPECT_TRUE(ArcWireOutline(ArcRecord(kS, kC, kC, 200, kRound, false).data(), 8).empty());
    EXPECT_TRUE(ArcWireOutline(ArcRecord(kS, kC, kE, 0, kRound, true).data(), 8).empty());
    EXPECT_TRUE(ArcWireOutline(ArcRecord(kS, kC, kE, 0, kExtended, true).data(), 8).empty());
}

// ---------------------------------------------------------------- small routines

TEST(RemoveRepeatedPoints, DropsRepeatsAndTheClosingPoint) {
    struct Case {
        std::vector<Point> in, out;
    };
    const std::vector<Case> cases = {
        {{{0, 0}, {1, 0}, {1, 0}, {1, 1}, {0, 0}}, {{0, 0}, {1, 0}, {1, 1}}},
        {{{0, 0}, {0, 0}, {5, 5}, {5, 5}, {0, 0}, {0, 0}}, {{0, 0}, {5, 5}}},
        {{{3, 3}, {3, 3}}, {{3, 3}}},
        {{{3, 3}}, {{3, 3}}},
        {{{0, 0}, {1, 0}, {0, 0}, {1, 0}}, {{0, 0}, {1, 0}, {0, 0}, {1, 0}}},
        {{}, {}},
    };
    for (Case c : cases) {
        const int count = RemoveRepeatedPoints(c.in.data(), static_cast<int>(c.in.size()));
        c.in.resize(count);
        EXPECT_EQ(c.in, c.out);
    }
}

TEST(ExtendEndPoint, MovesAwayFromTheOtherPoint) {
    struct Case {
        Point end, other;
        std::int32_t distance;
        Point expected;
    };
    const std::vector<Case> cases = {
        {{100, 0}, {0, 0}, 10, {110, 0}}, {{0, 0}, {3, 4}, 10, {-6, -8}},
        {{100, 0}, {0, 0}, -30, {70, 0}}, {{0, 50}, {0, 100}, 7, {0, 43}},
        {{5, 5}, {5, 5}, 10, {5, 5}},     {{INT32_MAX - 5, 0}, {0, 0}, 100, {INT32_MAX, 0}},
    };
    for (const Case& c : cases) {
        Point end = c.end;
        ExtendEndPoint(end, c.other, c.distance);
        EXPECT_EQ(end, c.expected) << c.end.X << "," << c.end.Y;
    }
}

TEST(SegmentRectangle, WidthAroundTheSegmentWithoutCaps) {
    EXPECT_EQ(SegmentRectangle({0, 0}, {100, 0}, 20), P({{0, 10}, {0, -10}, {100, -10}, {100, 10}}));
    EXPECT_EQ(SegmentRectangle({0, 0}, {0, 100}, 20), P({{-10, 0}, {10, 0}, {10, 100}, {-10, 100}}));
    // 45 degrees: w·sin/2 = w·cos/2 = 7.07.
    EXPECT_EQ(SegmentRectangle({0, 0}, {100, 100}, 20), P({{-7, 7}, {7, -7}, {107, 93}, {93, 107}}));
    EXPECT_EQ(SegmentRectangle({0, 0}, {100, 0}, 5), P({{0, 3}, {0, -3}, {100, -3}, {100, 3}}));
    EXPECT_TRUE(SegmentRectangle({4, 4}, {4, 4}, 20).empty());
}

TEST(PointInPolygon, EvenOddWithHalfOpenEdges) {
    const std::vector<Point> square = {{0, 0}, {100, 0}, {100, 100}, {0, 100}};
    // U shape open at the top: the notch spans x 30..70 above y 40.
    const std::vector<Point> u = {{0, 0}, {100, 0}, {100, 100}, {70, 100}, {70, 40}, {30, 40}, {30, 100}, {0, 100}};
    struct Case {
        const std::vector<Point>* polygon;
        std::int32_t x, y;
        bool inside;
    };
    const std::vector<Case> cases = {
        {&square, 50, 50, true},   {&square, 150, 50, false}, {&square, -1, 50, false},  {&square, 0, 50, true},
        {&square, 100, 50, false}, {&square, 50, 0, true},    {&square, 50, 100, false}, {&u, 50, 70, false},
        {&u, 50, 20, true},        {&u, 15, 70, true},        {&u, 85, 70, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PointInPolygon(c.x, c.y, c.polygon->data(), static_cast<int>(c.polygon->size())), c.inside)
            << c.x << "," << c.y;
    }
    EXPECT_FALSE(PointInPolygon(0, 0, nullptr, 0));
}

TEST(IsClockwise, BothOrientations) {
    const std::vector<Point> ccw = {{0, 0}, {100, 0}, {100, 100}, {0, 100}};
    const std::vector<Point> cw = {{0, 0}, {0, 100}, {100, 100}, {100, 0}};
    const std::vector<Point> cwClosed = {{0, 0}, {0, 100}, {100, 100}, {100, 0}, {0, 0}};
    // Slanted closing edges.
    const std::vector<Point> cwTriangle = {{50, 100}, {100, 0}, {0, 0}};
    const std::vector<Point> ccwTriangle = {{0, 0}, {100, 0}, {50, 100}};
    const std::vector<Point> cwL = {{0, 0}, {0, 200}, {100, 200}, {100, 100}, {200, 100}, {200, 0}};
    EXPECT_FALSE(IsClockwise(ccw.data(), 4));
    EXPECT_TRUE(IsClockwise(cw.data(), 4));
    EXPECT_TRUE(IsClockwise(cwClosed.data(), 5));
    EXPECT_TRUE(IsClockwise(cwTriangle.data(), 3));
    EXPECT_FALSE(IsClockwise(ccwTriangle.data(), 3));
    EXPECT_TRUE(IsClockwise(cwL.data(), 6));
    EXPECT_FALSE(IsClockwise(nullptr, 0));
}

std::vector<Point> Offset(std::vector<Point> points, std::int32_t distance) {
    const int count = OffsetPolygon(points.data(), static_cast<int>(points.size()), distance);
    points.resize(count);
    return points;
}

TEST(OffsetPolygon, MovesEveryEdgeOutwardsWhateverTheOrientation) {
    EXPECT_EQ(Offset({{0, 0}, {100, 0}, {100, 100}, {0, 100}}, 10),
              P({{-10, -10}, {110, -10}, {110, 110}, {-10, 110}}));
    EXPECT_EQ(Offset({{0, 0}, {0, 100}, {100, 100}, {100, 0}}, 10),
              P({{-10, -10}, {-10, 110}, {110, 110}, {110, -10}}));
    EXPECT_EQ(Offset({{0, 0}, {0, 100}, {100, 100}, {100, 0}, {0, 0}}, 10),
              P({{-10, -10}, {-10, 110}, {110, 110}, {110, -10}}));
    EXPECT_EQ(Offset({{0, 0}, {100, 0}, {100, 100}, {0, 100}}, -10), P({{10, 10}, {90, 10}, {90, 90}, {10, 90}}));
    EXPECT_EQ(Offset({{0, 0}, {0, 100}, {100, 100}, {100, 0}}, -10), P({{10, 10}, {10, 90}, {90, 90}, {90, 10}}));
    // Slanted edges: the corners of x ± y = 100 + 10·√2 lie at 114.14.
    EXPECT_EQ(Offset({{0, -100}, {100, 0}, {0, 100}, {-100, 0}}, 10), P({{0, -114}, {114, 0}, {0, 114}, {-114, 0}}));
    // L shape: the re-entrant corner moves inwards diagonally.
    EXPECT_EQ(Offset({{0, 0}, {200, 0}, {200, 100}, {100, 100}, {100, 200}, {0, 200}}, 10),
              P({{-10, -10}, {210, -10}, {210, 110}, {110, 110}, {110, 210}, {-10, 210}}));
}

TEST(OffsetPolygon, DropsCollinearAndRepeatedVertices) {
    EXPECT_EQ(Offset({{0, 0}, {50, 0}, {100, 0}, {100, 100}, {0, 100}, {0, 50}}, 10),
              P({{-10, -10}, {110, -10}, {110, 110}, {-10, 110}}));
    // The first vertex itself lies in the middle of an edge.
    EXPECT_EQ(Offset({{50, 0}, {100, 0}, {100, 100}, {0, 100}, {0, 0}}, 10),
              P({{110, -10}, {110, 110}, {-10, 110}, {-10, -10}}));
    EXPECT_EQ(Offset({{0, 0}, {100, 0}, {100, 0}, {100, 100}, {0, 100}}, 10),
              P({{-10, -10}, {110, -10}, {110, 110}, {-10, 110}}));
    // A spike that runs out and back along the same line vanishes with it.
    EXPECT_EQ(Offset({{0, 0}, {100, 0}, {150, 0}, {100, 0}, {100, 100}, {0, 100}}, 10),
              P({{-10, -10}, {110, -10}, {110, 110}, {-10, 110}}));
}

TEST(OffsetPolygon, DegenerateInputIsLeftAlone) {
    const std::vector<Point> line = {{0, 0}, {50, 50}, {100, 100}, {20, 20}};
    EXPECT_EQ(Offset(line, 10), line);
    const std::vector<Point> twoPoints = {{0, 0}, {100, 0}};
    EXPECT_EQ(Offset(twoPoints, 10), twoPoints);
    const std::vector<Point> closedSegment = {{0, 0}, {100, 0}, {0, 0}};
    EXPECT_EQ(Offset(closedSegment, 10), closedSegment);
}

TEST(OffsetPolygon, ExtremeCoordinatesSaturate) {
    // A needle across the whole coordinate range: the cross products of its
    // edges exceed 64 bits, and the outer mitres leave the int32 range.
    const std::vector<Point> needle = {{INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MAX}, {INT32_MIN, INT32_MIN + 1}};
    const std::vector<Point> grown = Offset(needle, 10);
    ASSERT_EQ(grown.size(), 3u);
    EXPECT_EQ(grown[0].X, INT32_MIN);
    EXPECT_EQ(grown[2].X, INT32_MIN);
    EXPECT_EQ(grown[1], (Point{INT32_MAX, INT32_MAX}));
}

TEST(ClipSegmentToRect, InsideOutsideAndCrossing) {
    const Rect r{0, 0, 100, 100};
    struct Case {
        Point a, b;
        bool visible;
        Point ca, cb;
    };
    const std::vector<Case> cases = {
        {{10, 10}, {90, 50}, true, {10, 10}, {90, 50}},
        {{-50, -10}, {-10, 200}, false, {}, {}},
        {{150, 0}, {200, 100}, false, {}, {}},
        {{-20, 10}, {10, -20}, false, {}, {}},  // passes the corner outside
        {{90, 150}, {150, 90}, false, {}, {}},  // leaves through x = 100 before entering through y = 100
        {{101, 0}, {101, 100}, false, {}, {}},
        {{100, 0}, {100, 100}, true, {100, 0}, {100, 100}},  // bounds are inclusive
        {{-50, 50}, {150, 50}, true, {0, 50}, {100, 50}},
        {{150, 50}, {-50, 50}, true, {100, 50}, {0, 50}},
        {{-10, -10}, {110, 110}, true, {0, 0}, {100, 100}},
        {{50, 50}, {50, 200}, true, {50, 50}, {50, 100}},
        {{-10, 0}, {20, 10}, true, {0, 3}, {20, 10}},  // y = 10/3 at x = 0
        {{60, 60}, {60, 60}, true, {60, 60}, {60, 60}},
        {{160, 60}, {160, 60}, false, {}, {}},
    };
    for (const Case& c : cases) {
        Point a = c.a, b = c.b;
        const bool visible = ClipSegmentToRect(a, b, r);
        EXPECT_EQ(visible, c.visible) << c.a.X << "," << c.a.Y << " " << c.b.X << "," << c.b.Y;
        if (visible && c.visible) {
            EXPECT_EQ(a, c.ca);
            EXPECT_EQ(b, c.cb);
        }
    }
}

TEST(DistanceToLine, PerpendicularDistanceToRoundedFoot) {
    struct Case {
        Point onLine;
        double slope;
        Point p;
        double distance;
    };
    const std::vector<Case> cases = {
        {{0, 5}, 0, {3, 12}, 7},
        {{0, 5}, 0, {3, -2}, 7},
        {{0, 0}, 1, {0, 10}, 10 / std::sqrt(2.0)},  // foot (5, 5)
        {{0, 0}, 0.5, {0, 10}, std::sqrt(80.0)},    // foot (4, 2)
        {{10, 10}, -2, {11, 8}, 0},
        {{0, 0}, 1, {0, 1}, 1},  // foot (0.5, 0.5) rounds to (1, 1)
        {{0, 0}, 1e6, {10, 0}, 10},
        {{0, 0}, -1e300, {10, 0}, 10},
        {{0, 0}, 1e-300, {3, 10}, 10},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(DistanceToLine(c.onLine, c.slope, c.p), c.distance, 1e-9) << c.slope;
    }
}

}  // namespace
}  // namespace zandor
