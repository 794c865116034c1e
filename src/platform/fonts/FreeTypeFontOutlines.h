// Glyph outlines from the system's outline fonts: fontconfig chooses the face
// for a font description, FreeType reads its unhinted outline in font units,
// and the outline is scaled to the requested size in 16.16 fixed point and
// handed over as polyline and quadratic B-spline records.
#pragma once

#include <memory>
#include <string>

#include "platform/FontOutlines.h"

namespace zandor::platform {

// The face a font description resolves to.
struct ResolvedFont {
    std::string family;  // empty when no outline font could be found
    std::string style;
    std::string file;
    bool syntheticBold = false;     // emboldened by us: no bold face of the family
    bool syntheticOblique = false;  // slanted by us: no italic face of the family
};

class FreeTypeFontOutlines : public FontOutlineService {
public:
    FreeTypeFontOutlines();
    ~FreeTypeFontOutlines() override;
    FreeTypeFontOutlines(const FreeTypeFontOutlines&) = delete;
    FreeTypeFontOutlines& operator=(const FreeTypeFontOutlines&) = delete;

    bool Metrics(const FontRequest& font, unsigned char code, GlyphMetrics& metrics) override;
    bool Outline(const FontRequest& font, unsigned char code, GlyphOutline& outline) override;

    ResolvedFont Resolve(const FontRequest& font);

    // The family asked of fontconfig after the face name when that face has
    // no outline font here: a metric-compatible Liberation family chosen by
    // the description's family and pitch (or by the face name for the old
    // bitmap faces of the other platform).
    static std::string FallbackFamily(const FontRequest& font);

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

// Whether `service` is the system's source made by FontOutlines(): its
// outline for a description and a code is the same for the whole run, so
// callers may keep it.
bool IsSystemFontOutlines(const FontOutlineService& service);

// Unicode of a Windows-1252 character code; 0 for the five undefined codes.
char32_t Windows1252ToUnicode(unsigned char code);

}  // namespace zandor::platform
