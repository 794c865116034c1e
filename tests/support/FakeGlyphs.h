// A glyph source of hand-made outlines for the text tests; it replaces the
// installed one while it lives.
#pragma once

#include <map>
#include <vector>

#include "platform/FontOutlines.h"

namespace zandor::test {

// Characters it does not know have no outline.
class FakeGlyphs : public platform::FontOutlineService {
public:
    FakeGlyphs() : previous(platform::SetFontOutlineService(this)) {}
    ~FakeGlyphs() override { platform::SetFontOutlineService(previous); }
    FakeGlyphs(const FakeGlyphs&) = delete;
    FakeGlyphs& operator=(const FakeGlyphs&) = delete;

    bool Metrics(const platform::FontRequest&, unsigned char code, platform::GlyphMetrics& metrics) override {
        const auto it = glyphs.find(code);
        if (it == glyphs.end()) return false;
        metrics = it->second.metrics;
        return true;
    }
    bool Outline(const platform::FontRequest&, unsigned char code, platform::GlyphOutline& outline) override {
        const auto it = glyphs.find(code);
        if (it == glyphs.end()) return false;
        outline = it->second;
        return true;
    }

    // A polyline contour through the given whole-unit points.
    static platform::OutlineContour Polyline(std::vector<platform::FixedPoint> points) {
        platform::OutlineContour contour;
        contour.start = points.front();
        contour.records.push_back({platform::kPolylineRecord, {points.begin() + 1, points.end()}});
        return contour;
    }
    static platform::FixedPoint W(int x, int y) { return {platform::ToFixed(x), platform::ToFixed(y)}; }
    static platform::OutlineContour Square(int x0, int y0, int size) {
        return Polyline({W(x0, y0), W(x0 + size, y0), W(x0 + size, y0 + size), W(x0, y0 + size)});
    }

    // The capital E fixes the scale: black box height `ink`.
    void SetE(int ink, int advance) {
        platform::GlyphOutline& e = glyphs['E'];
        e.metrics.blackBoxY = ink;
        e.metrics.cellIncX = advance;
        e.contours = {Square(0, 0, ink)};
    }

    std::map<unsigned char, platform::GlyphOutline> glyphs;

private:
    platform::FontOutlineService* previous;
};

}  // namespace zandor::test
