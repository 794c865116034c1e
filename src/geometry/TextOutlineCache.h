// What text building keeps between characters and between texts: glyph
// outlines flattened to whole font units, and the member polygons of a
// character relative to its first point, looked up by the snapped engine input
// (see docs/text-outlines.md for why a reused result is exactly the one a
// fresh computation would give).  One process-wide instance, not thread-safe:
// texts are built on the program's single thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "geometry/Bool_Engine.h"
#include "model/Types.h"
#include "platform/FontOutlines.h"

namespace zandor {

// Turns the caches on (the default) or off; off, every character is loaded
// and combined in full, as a reference for tests and benchmarks.  Turning
// them off also empties them.
void SetTextOutlineCacheEnabled(bool enabled);
bool TextOutlineCacheEnabled();
void ClearTextOutlineCache();

struct TextOutlineCacheStats {
    std::uint64_t hits = 0;         // characters stored from a cached result
    std::uint64_t misses = 0;       // characters combined and then cached
    std::uint64_t uncacheable = 0;  // characters combined without caching
    std::size_t entries = 0;
    std::size_t storedInts = 0;
};
TextOutlineCacheStats GetTextOutlineCacheStats();

namespace text_outlines_detail {

// A character's outline in whole font units as it enters the engine: the
// contours read (up to the first of a type other than polygon), each without
// consecutive repeated points, one after another in `points`.
struct GlyphShape {
    std::vector<Point> points;
    std::vector<int> contourEnds;  // end (exclusive) of each contour in points
    bool advances = true;          // false when a contour of another type cut it short
    std::int32_t cellIncX = 0, cellIncY = 0;
    // The distinct coordinates per axis, and per point the index of its own:
    // the engine snaps each value by itself, so one snap per distinct value
    // gives every point's.
    std::vector<std::int32_t> xValues, yValues;
    std::vector<std::uint32_t> xIndex, yIndex;
};

// Flattens an outline from the glyph source (splines cut into four segments
// per piece in 16.16 arithmetic, points at whole units).
void FlattenOutline(const platform::GlyphOutline& outline, GlyphShape& shape);

// The glyphs of one font description, loaded on first use.
class FontGlyphs {
public:
    explicit FontGlyphs(const platform::FontRequest& request) : request(request) {}
    const platform::FontRequest request;
    // The shape of `code`, or nullptr when the font has no outline for it.
    const GlyphShape* Shape(platform::FontOutlineService& source, unsigned char code);
    // Metrics of the capital E, asked once; false when there are none.
    bool MetricsOfE(platform::FontOutlineService& source, platform::GlyphMetrics& metrics);
    std::size_t Points() const { return points_; }

private:
    enum class State : std::uint8_t { Unknown, Missing, Present };
    std::array<State, 256> state_{};
    std::array<GlyphShape, 256> shapes_;
    State eState_ = State::Unknown;
    platform::GlyphMetrics e_;
    std::size_t points_ = 0;
};

// The cached result of one character: member polygons (already without
// repeated points, at least 3 nodes each) relative to the character's first
// input point, in nanometres.
struct CachedCharacter {
    std::vector<Point> nodes;
    std::vector<int> polygonEnds;
};

class TextOutlineCache {
public:
    // The glyphs of a font description when the glyph source is the
    // system's (whose outlines do not change while the program runs);
    // nullptr for any other source.
    FontGlyphs* Glyphs(platform::FontOutlineService& source, const platform::FontRequest& font);

    // Starts a text: results made under other engine or storage settings
    // are dropped.  Returns whether results may be cached at all.
    bool Begin(int polygonGrid, int maxPolyNodes, bool splitLargePolygons);

    // Snaps the character's input (each point (u, v) enters the engine as
    // (u * scale + pen)) with an engine of the current settings and forms
    // the lookup key.  False when the character lies beyond what reuse
    // covers (across an axis, too large, too far out); `origin` receives the
    // snapped first point.
    bool MakeKey(const GlyphShape& shape, double scale, std::int64_t penX, std::int64_t penY, Point& origin);
    // The result for the key made last, or nullptr.
    const CachedCharacter* Find() const;
    // Stores the result for the key made last.
    void Insert(CachedCharacter result);

    TextOutlineCacheStats stats;
    bool enabled = true;
    void Clear();
    std::size_t Entries() const { return results_.size(); }
    std::size_t StoredInts() const { return resultInts_; }

private:
    struct KeyHash {
        std::size_t operator()(const std::vector<std::int32_t>& key) const;
    };
    std::vector<std::unique_ptr<FontGlyphs>> fonts_;  // most recently used last
    std::unordered_map<std::vector<std::int32_t>, CachedCharacter, KeyHash> results_;
    std::size_t resultInts_ = 0;
    std::unique_ptr<Bool_Engine> probe_;
    int polygonGrid_ = 0, maxPolyNodes_ = 0;
    bool split_ = false, configured_ = false;
    std::vector<std::int32_t> key_;
    std::vector<std::int32_t> snappedX_, snappedY_;
};

TextOutlineCache& Cache();

}  // namespace text_outlines_detail

}  // namespace zandor
