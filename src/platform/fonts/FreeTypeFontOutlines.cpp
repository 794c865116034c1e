#include "platform/fonts/FreeTypeFontOutlines.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdint>
#include <fontconfig/fontconfig.h>
#include <string_view>
#include <vector>

#include "base/Numbers.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZANDOR_LEAK_CHECKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZANDOR_LEAK_CHECKS 1
#endif
#endif

#ifdef ZANDOR_LEAK_CHECKS
// fontconfig 2.14 loses a few hundred bytes while parsing its configuration
// files, once per process; only allocations made inside fontconfig are let
// through, so that leaks of ours are still reported.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif

namespace zandor::platform {

namespace {

// Outlines are scaled into 16.16 values whose whole part is a 16-bit integer;
// an em of at most this many units leaves room for glyphs that reach well
// beyond their em square.
constexpr FT_Long kMaxEm = 8192;
// Texts are built at this em unless the description asks for another size.
constexpr FT_Long kDefaultEm = 2048;
// Font descriptions kept with their open face.
constexpr std::size_t kOpenFaces = 16;

constexpr std::array<char16_t, 32> kWindows1252High = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                                       0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// A face opened for one font description, with the factors that take its
// font units to the requested size.
struct LoadedFont {
    FontRequest request;
    FT_Face face = nullptr;
    ResolvedFont resolved;
    FT_Fixed scaleX = 0x10000, scaleY = 0x10000;  // requested units per font unit, 16.16
    FT_Matrix shear{0x10000, 0, 0, 0x10000};      // synthetic oblique, in font units
    FT_Pos emboldenStrength = 0;                  // synthetic bold, font units
};

// Point of an outline in requested units (16.16) with its FreeType tag.
struct TaggedPoint {
    FixedPoint p;
    int tag;  // FT_CURVE_TAG_ON, _CONIC or _CUBIC
};

FixedPoint Midpoint(FixedPoint a, FixedPoint b) {
    return {SaturateToInt32((std::int64_t{a.x} + b.x) / 2), SaturateToInt32((std::int64_t{a.y} + b.y) / 2)};
}

void AppendPolylinePoint(OutlineContour& contour, FixedPoint p) {
    if (contour.records.empty() || contour.records.back().type != kPolylineRecord) {
        contour.records.push_back({kPolylineRecord, {}});
    }
    contour.records.back().points.push_back(p);
}

// A cubic segment as two quadratic ones (each half of the cubic split at its
// middle, with the control point that matches the half's end tangents on
// average), since the outline format knows quadratic splines only.
void AppendCubic(OutlineContour& contour, FixedPoint p0, FixedPoint c1, FixedPoint c2, FixedPoint p3) {
    const auto mid = [](FixedPoint a, FixedPoint b) { return Midpoint(a, b); };
    const FixedPoint m01 = mid(p0, c1), m12 = mid(c1, c2), m23 = mid(c2, p3);
    const FixedPoint l2 = mid(m01, m12), r1 = mid(m12, m23), m = mid(l2, r1);
    const auto control = [](FixedPoint a, FixedPoint b1, FixedPoint b2, FixedPoint d) {
        return FixedPoint{SaturateToInt32((3 * (std::int64_t{b1.x} + b2.x) - a.x - d.x) / 4),
                          SaturateToInt32((3 * (std::int64_t{b1.y} + b2.y) - a.y - d.y) / 4)};
    };
    contour.records.push_back({kQuadraticSplineRecord, {control(p0, m01, l2, m), m}});
    contour.records.push_back({kQuadraticSplineRecord, {control(m, r1, m23, p3), p3}});
}

// One FreeType contour as a start point and records.  Runs of on-curve points
// become polylines; runs of conic control points, with the on-curve point
// that ends them, become one B-spline record (FreeType's implied on-points
// between two controls are the record's implied midpoints).  A final straight
// segment back to the start is left implied.
OutlineContour ConvertContour(const std::vector<TaggedPoint>& points) {
    OutlineContour contour;
    const std::size_t n = points.size();
    std::size_t first = n;
    for (std::size_t i = 0; i < n; ++i) {
        if (points[i].tag == FT_CURVE_TAG_ON) {
            first = i;
            break;
        }
    }
    if (first == n) {
        // Control points only: the contour starts at the implied point
        // between the last and the first.
        contour.start = Midpoint(points[n - 1].p, points[0].p);
        OutlineRecord spline{kQuadraticSplineRecord, {}};
        for (const TaggedPoint& t : points) spline.points.push_back(t.p);
        spline.points.push_back(contour.start);
        contour.records.push_back(std::move(spline));
        return contour;
    }
    contour.start = points[first].p;
    FixedPoint current = contour.start;
    const auto at = [&](std::size_t k) -> const TaggedPoint& { return points[(first + k) % n]; };
    std::size_t k = 1;
    while (k < n) {
        const TaggedPoint& t = at(k);
        if (t.tag == FT_CURVE_TAG_ON) {
            AppendPolylinePoint(contour, t.p);
            current = t.p;
            ++k;
        } else if (t.tag == FT_CURVE_TAG_CONIC) {
            OutlineRecord spline{kQuadraticSplineRecord, {}};
            while (k < n && at(k).tag == FT_CURVE_TAG_CONIC) spline.points.push_back(at(k++).p);
            // The on-curve point that ends the run (the start when it wraps).
            current = k < n ? at(k++).p : contour.start;
            spline.points.push_back(current);
            contour.records.push_back(std::move(spline));
        } else {
            // Two cubic controls and the end point; a malformed run that wraps
            // ends at the start.
            const FixedPoint c1 = t.p;
            const FixedPoint c2 = k + 1 < n ? at(k + 1).p : contour.start;
            const FixedPoint end = k + 2 < n ? at(k + 2).p : contour.start;
            AppendCubic(contour, current, c1, c2, end);
            current = end;
            k += 3;
        }
    }
    return contour;
}

}  // namespace

char32_t Windows1252ToUnicode(unsigned char code) {
    if (code >= 0x80 && code < 0xA0) return kWindows1252High[code - 0x80];
    return code;
}

std::string FreeTypeFontOutlines::FallbackFamily(const FontRequest& font) {
    // Faces of the other platform that exist there as bitmap or vector fonts
    // only; asked for by name in old layouts.
    struct LegacyFace {
        std::string_view name;
        std::uint8_t family;
    };
    static constexpr LegacyFace kLegacy[] = {
        {"MS Sans Serif", kFamilySwiss}, {"Microsoft Sans Serif", kFamilySwiss},
        {"System", kFamilySwiss},        {"Small Fonts", kFamilySwiss},
        {"MS Serif", kFamilyRoman},      {"Roman", kFamilyRoman},
        {"Courier", kFamilyModern},      {"Fixedsys", kFamilyModern},
        {"Terminal", kFamilyModern},     {"Modern", kFamilyModern},
    };
    std::uint8_t family = font.pitchAndFamily & 0xF0;
    bool fixed = (font.pitchAndFamily & 3) == kFixedPitch;
    for (const LegacyFace& legacy : kLegacy) {
        if (SameName(font.faceName, legacy.name)) {
            family = legacy.family;
            fixed = false;
        }
    }
    if (fixed || family == kFamilyModern) return "Liberation Mono";
    if (family == kFamilyRoman) return "Liberation Serif";
    return "Liberation Sans";
}

struct FreeTypeFontOutlines::Impl {
    FT_Library library = nullptr;
    bool fontconfigReady = false;
    std::vector<LoadedFont> fonts;
    // Descriptions for which no face could be opened, so that a text in a
    // missing font does not ask fontconfig once per character.
    std::vector<FontRequest> missing;

    Impl() {
        if (FT_Init_FreeType(&library) != 0) library = nullptr;
        fontconfigReady = FcInit() == FcTrue;
    }
    ~Impl() {
        for (LoadedFont& font : fonts) FT_Done_Face(font.face);
        if (library) FT_Done_FreeType(library);
    }

    // Asks fontconfig for the face; `shear` receives the slant it asks for
    // when the family has no italic face.
    ResolvedFont Match(const FontRequest& font, FcMatrix* shear, int* index) {
        ResolvedFont resolved;
        if (!fontconfigReady) return resolved;
        FcPattern* pattern = FcPatternCreate();
        if (!pattern) return resolved;
        const auto family = [&](const std::string& name) {
            FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
        };
        if (!font.faceName.empty()) family(font.faceName);
        // Comes after the face name, and before fontconfig's own defaults, so
        // that an unknown face gets the Liberation family of its kind.
        family(FallbackFamily(font));
        const int weight = font.weight > 0 ? std::clamp(font.weight, 1, 1000) : 400;
        FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
        FcPatternAddInteger(pattern, FC_SLANT, font.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        FcPatternDestroy(pattern);
        if (!match) return resolved;
        FcChar8* text = nullptr;
        FcBool outline = FcFalse;
        if (FcPatternGetString(match, FC_FILE, 0, &text) == FcResultMatch &&
            FcPatternGetBool(match, FC_OUTLINE, 0, &outline) == FcResultMatch && outline) {
            resolved.file = reinterpret_cast<const char*>(text);
            if (FcPatternGetString(match, FC_FAMILY, 0, &text) == FcResultMatch) {
                resolved.family = reinterpret_cast<const char*>(text);
            }
            if (FcPatternGetString(match, FC_STYLE, 0, &text) == FcResultMatch) {
                resolved.style = reinterpret_cast<const char*>(text);
            }
            if (FcPatternGetInteger(match, FC_INDEX, 0, index) != FcResultMatch) *index = 0;
            FcBool embolden = FcFalse;
            if (FcPatternGetBool(match, FC_EMBOLDEN, 0, &embolden) == FcResultMatch && embolden) {
                resolved.syntheticBold = true;
            }
            FcMatrix* matrix = nullptr;
            if (FcPatternGetMatrix(match, FC_MATRIX, 0, &matrix) == FcResultMatch && matrix) {
                *shear = *matrix;
                resolved.syntheticOblique = matrix->xy != 0;
            }
        }
        FcPatternDestroy(match);
        return resolved;
    }

    void Missing(const FontRequest& font) {
        if (missing.size() >= kOpenFaces) missing.erase(missing.begin());
        missing.push_back(font);
    }

    LoadedFont* Load(const FontRequest& font) {
        for (LoadedFont& loaded : fonts) {
            if (loaded.request == font) return &loaded;
        }
        if (!library || std::find(missing.begin(), missing.end(), font) != missing.end()) return nullptr;
        LoadedFont loaded;
        loaded.request = font;
        FcMatrix shear{1, 0, 0, 1};
        int index = 0;
        loaded.resolved = Match(font, &shear, &index);
        if (loaded.resolved.file.empty() ||
            FT_New_Face(library, loaded.resolved.file.c_str(), index, &loaded.face) != 0) {
            Missing(font);
            return nullptr;
        }
        FT_Face face = loaded.face;
        if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) {
            FT_Done_Face(face);
            Missing(font);
            return nullptr;
        }
        if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) FT_Select_Charmap(face, FT_ENCODING_MS_SYMBOL);
        const FT_Long unitsPerEm = face->units_per_EM;
        const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        FT_Long em = kDefaultEm;
        if (font.height < 0) {
            em = -static_cast<FT_Long>(font.height);
        } else if (font.height > 0) {
            // A positive height is the cell height: ascent plus descent.
            FT_Long cell = os2 && os2->version != 0xFFFF ? FT_Long{os2->usWinAscent} + os2->usWinDescent
                                                         : FT_Long{face->ascender} - face->descender;
            if (cell <= 0) cell = unitsPerEm;
            em = FT_MulDiv(font.height, unitsPerEm, cell);
        }
        em = std::clamp<FT_Long>(em, 1, kMaxEm);
        loaded.scaleY = FT_DivFix(em, unitsPerEm);
        loaded.scaleX = loaded.scaleY;
        if (font.width != 0 && os2 && os2->version != 0xFFFF && os2->xAvgCharWidth > 0) {
            const FT_Long width = std::min<FT_Long>(std::abs(static_cast<FT_Long>(font.width)), kMaxEm);
            loaded.scaleX = std::min(FT_DivFix(width, os2->xAvgCharWidth), FT_DivFix(kMaxEm, unitsPerEm));
        }
        loaded.shear = {RoundHalfAway(shear.xx * 65536.0), RoundHalfAway(shear.xy * 65536.0),
                        RoundHalfAway(shear.yx * 65536.0), RoundHalfAway(shear.yy * 65536.0)};
        // The strength FreeType itself uses for synthetic bold.
        if (loaded.resolved.syntheticBold) loaded.emboldenStrength = unitsPerEm / 24;
        // Each open face holds its file open: a file asking for many sizes
        // or weights must not run out of descriptors.
        if (fonts.size() >= kOpenFaces) {
            FT_Done_Face(fonts.front().face);
            fonts.erase(fonts.begin());
        }
        fonts.push_back(std::move(loaded));
        return &fonts.back();
    }

    // Loads the glyph of `code` into the face's slot, unhinted, in font units,
    // with the synthetic style applied.
    bool LoadGlyph(LoadedFont& font, unsigned char code) {
        const char32_t unicode = Windows1252ToUnicode(code);
        if (unicode == 0) return false;
        FT_Face face = font.face;
        FT_UInt glyph = 0;
        if (face->charmap && face->charmap->encoding == FT_ENCODING_MS_SYMBOL) {
            glyph = FT_Get_Char_Index(face, 0xF000u | code);
            if (glyph == 0) glyph = FT_Get_Char_Index(face, code);
        } else {
            glyph = FT_Get_Char_Index(face, unicode);
        }
        if (glyph == 0) return false;
        if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) {
            return false;
        }
        FT_GlyphSlot slot = face->glyph;
        if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return false;
        FT_Outline_Transform(&slot->outline, &font.shear);
        if (font.emboldenStrength != 0) {
            FT_Outline_EmboldenXY(&slot->outline, font.emboldenStrength, font.emboldenStrength);
        }
        return true;
    }

    FixedPoint Scale(const LoadedFont& font, const FT_Vector& v) const {
        return {SaturateToInt32(std::int64_t{v.x} * font.scaleX), SaturateToInt32(std::int64_t{v.y} * font.scaleY)};
    }

    GlyphMetrics MetricsOfSlot(const LoadedFont& font) const {
        FT_GlyphSlot slot = font.face->glyph;
        GlyphMetrics metrics;
        const FT_Pos advance = slot->metrics.horiAdvance + font.emboldenStrength;
        // Whole units: font units times a 16.16 factor, rounded by FT_MulFix.
        metrics.cellIncX = SaturateToInt32(FT_MulFix(advance, font.scaleX));
        metrics.cellIncY = 0;
        if (slot->outline.n_points > 0) {
            FT_BBox box;
            FT_Outline_Get_CBox(&slot->outline, &box);
            const FixedPoint low = Scale(font, {box.xMin, box.yMin});
            const FixedPoint high = Scale(font, {box.xMax, box.yMax});
            metrics.originX = SaturateToInt32(FT_FloorFix(low.x) >> 16);
            metrics.originY = SaturateToInt32(FT_CeilFix(high.y) >> 16);
            metrics.blackBoxX = SaturateToInt32((std::int64_t{FT_CeilFix(high.x)} - FT_FloorFix(low.x)) >> 16);
            metrics.blackBoxY = SaturateToInt32((std::int64_t{FT_CeilFix(high.y)} - FT_FloorFix(low.y)) >> 16);
        }
        return metrics;
    }
};

namespace {
FontOutlineService* currentFontOutlines = nullptr;
const FontOutlineService* systemFontOutlines = nullptr;
}  // namespace

FreeTypeFontOutlines::FreeTypeFontOutlines() : impl(std::make_unique<Impl>()) {}
FreeTypeFontOutlines::~FreeTypeFontOutlines() = default;

ResolvedFont FreeTypeFontOutlines::Resolve(const FontRequest& font) {
    const LoadedFont* loaded = impl->Load(font);
    return loaded ? loaded->resolved : ResolvedFont{};
}

bool FreeTypeFontOutlines::Metrics(const FontRequest& font, unsigned char code, GlyphMetrics& metrics) {
    LoadedFont* loaded = impl->Load(font);
    if (!loaded || !impl->LoadGlyph(*loaded, code)) return false;
    metrics = impl->MetricsOfSlot(*loaded);
    return true;
}

bool FreeTypeFontOutlines::Outline(const FontRequest& font, unsigned char code, GlyphOutline& outline) {
    LoadedFont* loaded = impl->Load(font);
    if (!loaded || !impl->LoadGlyph(*loaded, code)) return false;
    outline.metrics = impl->MetricsOfSlot(*loaded);
    outline.contours.clear();
    const FT_Outline& source = loaded->face->glyph->outline;
    std::vector<TaggedPoint> points;
    int first = 0;
    for (int c = 0; c < source.n_contours; ++c) {
        const int last = source.contours[c];
        points.clear();
        for (int i = first; i <= last && i < source.n_points; ++i) {
            points.push_back({impl->Scale(*loaded, source.points[i]), FT_CURVE_TAG(source.tags[i])});
        }
        first = last + 1;
        if (!points.empty()) outline.contours.push_back(ConvertContour(points));
    }
    return true;
}

FontOutlineService& FontOutlines() {
    if (currentFontOutlines) return *currentFontOutlines;
    static FreeTypeFontOutlines fonts;
    systemFontOutlines = &fonts;
    return fonts;
}

bool IsSystemFontOutlines(const FontOutlineService& service) { return &service == systemFontOutlines; }

FontOutlineService* SetFontOutlineService(FontOutlineService* service) {
    FontOutlineService* previous = currentFontOutlines;
    currentFontOutlines = service;
    return previous;
}

}  // namespace zandor::platform
