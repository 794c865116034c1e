// What the platform gives the core for texts on a mask: per character of a
// font, its metrics and its outline as contours of polylines and quadratic
// B-splines in 16.16 fixed point.  The default implementation reads the
// system's outline fonts through fontconfig and FreeType
// (platform/fonts/FreeTypeFontOutlines.h); tests install their own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zandor::platform {

// The fields of a logical font description that choose a face and its size.
struct FontRequest {
    std::string faceName;     // may be empty
    std::int32_t height = 0;  // < 0: em height; > 0: cell height (ascent + descent); 0: 2048 em
    std::int32_t width = 0;   // average character width; 0 keeps the face's proportions
    std::int32_t weight = 0;  // 0 = default, 400 normal, 700 bold
    bool italic = false;
    std::uint8_t charSet = 0;
    std::uint8_t pitchAndFamily = 0;  // low 2 bits pitch, high 4 bits family
    friend bool operator==(const FontRequest&, const FontRequest&) = default;
};

// Low bits and families of FontRequest::pitchAndFamily.
constexpr std::uint8_t kFixedPitch = 1;
constexpr std::uint8_t kFamilyRoman = 0x10;
constexpr std::uint8_t kFamilySwiss = 0x20;
constexpr std::uint8_t kFamilyModern = 0x30;
constexpr std::uint8_t kFamilyScript = 0x40;
constexpr std::uint8_t kFamilyDecorative = 0x50;

// A 16.16 fixed-point point: the high 16 bits are the signed whole part, the
// low 16 bits the fraction, so >> 16 gives the whole part rounded down.
struct FixedPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const FixedPoint&, const FixedPoint&) = default;
};

constexpr std::int32_t ToFixed(std::int32_t whole) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(whole) << 16);
}

// Contour and record types of an outline.
constexpr int kPolygonContour = 24;
constexpr int kPolylineRecord = 1;
// Quadratic B-spline: every point but the last is a control point; between
// two consecutive control points lies an implied on-curve point at their
// midpoint; the last point is on the curve.
constexpr int kQuadraticSplineRecord = 2;

struct OutlineRecord {
    int type = kPolylineRecord;
    std::vector<FixedPoint> points;
};

// A closed contour: from start through every record's points; the closing
// segment back to start is implied.
struct OutlineContour {
    int type = kPolygonContour;
    FixedPoint start;
    std::vector<OutlineRecord> records;
};

// Whole font units of the requested size.
struct GlyphMetrics {
    std::int32_t blackBoxX = 0;
    std::int32_t blackBoxY = 0;
    std::int32_t originX = 0;   // left edge of the black box from the pen
    std::int32_t originY = 0;   // top edge of the black box from the baseline
    std::int32_t cellIncX = 0;  // pen advance
    std::int32_t cellIncY = 0;
};

struct GlyphOutline {
    GlyphMetrics metrics;
    std::vector<OutlineContour> contours;
};

class FontOutlineService {
public:
    virtual ~FontOutlineService() = default;
    // The metrics of character `code` (0..255, Windows-1252) of the font;
    // false when the font or the character has no outline.
    virtual bool Metrics(const FontRequest& font, unsigned char code, GlyphMetrics& metrics) = 0;
    // Metrics and outline; false when there is none.  A blank character
    // (space) has metrics and no contours.
    virtual bool Outline(const FontRequest& font, unsigned char code, GlyphOutline& outline) = 0;
};

// The current implementation: the installed one, else fontconfig + FreeType.
FontOutlineService& FontOutlines();
// Installs a service; nullptr restores the default.  Returns the previous one.
FontOutlineService* SetFontOutlineService(FontOutlineService* service);

}  // namespace zandor::platform
