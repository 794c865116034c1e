#include "geometry/TextOutlineCache.h"

#include <algorithm>

#include "model/Geometry.h"
#include "platform/fonts/FreeTypeFontOutlines.h"

namespace zandor {

namespace text_outlines_detail {

namespace {

// Font descriptions whose glyphs are kept (a file uses a handful).
constexpr std::size_t kFonts = 16;
// Results are dropped, all at once, beyond this many stored integers (keys
// and nodes, about 8 MB); a file's texts use a few hundred characters at a
// few heights, far below it.
constexpr std::size_t kMaxResultInts = std::size_t{1} << 21;
// Reuse is limited to characters whose snapped points lie within 2^30 nm of
// the origin and span at most 2^26 nm: the engine then works on internal
// coordinates below 2^40 and extents below 2^36, where every crossing it
// computes is exact in 128 bits.
constexpr std::int64_t kMaxCoordinate = std::int64_t{1} << 30;
constexpr std::int64_t kMaxExtent = std::int64_t{1} << 26;

std::int32_t WholePart(std::int64_t fixed) { return static_cast<std::int32_t>(fixed >> 16); }
std::int64_t ClearFraction(std::int64_t fixed) { return (fixed >> 16) * 65536; }

struct Fixed64 {
    std::int64_t x, y;
};
Fixed64 Mid(Fixed64 a, Fixed64 b) { return {(a.x + b.x) >> 1, (a.y + b.y) >> 1}; }

// One quadratic piece cut twice at its middle (de Casteljau in 16.16): the
// ends of its four segments at whole units.
void Quadratic(Fixed64 p0, Fixed64 p1, Fixed64 p2, std::vector<Point>& points) {
    const Fixed64 m01 = Mid(p0, p1), m12 = Mid(p1, p2), middle = Mid(m01, m12);
    const Fixed64 quarter = Mid(Mid(p0, m01), Mid(m01, middle));
    const Fixed64 threeQuarters = Mid(Mid(middle, m12), Mid(m12, p2));
    for (const Fixed64& p : {quarter, middle, threeQuarters, p2}) points.push_back({WholePart(p.x), WholePart(p.y)});
}

// A quadratic B-spline from the current (last) point: each piece has control
// Bi and ends at the midpoint of Bi and Bi+1 (on the raw 16.16 values), or at
// the last point.
void AddSpline(const std::vector<platform::FixedPoint>& b, std::vector<Point>& points) {
    const std::size_t n = b.size();
    for (std::size_t i = 0; i + 1 < n; ++i) {
        std::int64_t endX = b[n - 1].x, endY = b[n - 1].y;
        if (i + 2 < n) {
            endX = (std::int64_t{b[i].x} + b[i + 1].x) >> 1;
            endY = (std::int64_t{b[i].y} + b[i + 1].y) >> 1;
        }
        const Point current = points.back();
        Quadratic({std::int64_t{current.X} * 65536, std::int64_t{current.Y} * 65536},
                  {ClearFraction(b[i].x), ClearFraction(b[i].y)}, {ClearFraction(endX), ClearFraction(endY)}, points);
    }
}

}  // namespace

namespace {

void FlattenContours(const platform::GlyphOutline& outline, GlyphShape& shape) {
    shape.points.clear();
    shape.contourEnds.clear();
    shape.advances = true;
    shape.cellIncX = outline.metrics.cellIncX;
    shape.cellIncY = outline.metrics.cellIncY;
    for (const platform::OutlineContour& contour : outline.contours) {
        // Another contour type means the outline is not one we can read.
        if (contour.type != platform::kPolygonContour) {
            shape.advances = false;
            return;
        }
        const std::size_t begin = shape.points.size();
        shape.points.push_back({WholePart(contour.start.x), WholePart(contour.start.y)});
        for (const platform::OutlineRecord& record : contour.records) {
            if (record.type == platform::kPolylineRecord) {
                for (const platform::FixedPoint& p : record.points)
                    shape.points.push_back({WholePart(p.x), WholePart(p.y)});
            } else if (record.type == platform::kQuadraticSplineRecord) {
                AddSpline(record.points, shape.points);
            }
        }
        // Repeated points (a spline that ends on the start, pieces shorter
        // than a font unit) would only give zero-length edges.
        const int n = RemoveRepeatedPoints(shape.points.data() + begin, static_cast<int>(shape.points.size() - begin));
        shape.points.resize(begin + static_cast<std::size_t>(n));
        shape.contourEnds.push_back(static_cast<int>(shape.points.size()));
    }
}

}  // namespace

void FlattenOutline(const platform::GlyphOutline& outline, GlyphShape& shape) {
    FlattenContours(outline, shape);
    const auto index = [&](std::int32_t Point::*axis, std::vector<std::int32_t>& values,
                           std::vector<std::uint32_t>& indices) {
        values.clear();
        indices.clear();
        for (const Point& p : shape.points) values.push_back(p.*axis);
        std::sort(values.begin(), values.end());
        values.erase(std::unique(values.begin(), values.end()), values.end());
        for (const Point& p : shape.points) {
            indices.push_back(
                static_cast<std::uint32_t>(std::lower_bound(values.begin(), values.end(), p.*axis) - values.begin()));
        }
    };
    index(&Point::X, shape.xValues, shape.xIndex);
    index(&Point::Y, shape.yValues, shape.yIndex);
}

const GlyphShape* FontGlyphs::Shape(platform::FontOutlineService& source, unsigned char code) {
    if (state_[code] == State::Unknown) {
        platform::GlyphOutline outline;
        if (source.Outline(request, code, outline)) {
            FlattenOutline(outline, shapes_[code]);
            points_ += shapes_[code].points.size();
            state_[code] = State::Present;
        } else {
            state_[code] = State::Missing;
        }
    }
    return state_[code] == State::Present ? &shapes_[code] : nullptr;
}

bool FontGlyphs::MetricsOfE(platform::FontOutlineService& source, platform::GlyphMetrics& metrics) {
    if (eState_ == State::Unknown) eState_ = source.Metrics(request, 'E', e_) ? State::Present : State::Missing;
    metrics = e_;
    return eState_ == State::Present;
}

std::size_t TextOutlineCache::KeyHash::operator()(const std::vector<std::int32_t>& key) const {
    std::uint64_t h = 0xcbf29ce484222325u;
    for (const std::int32_t v : key) {
        h ^= static_cast<std::uint32_t>(v);
        h *= 0x100000001b3u;
    }
    return static_cast<std::size_t>(h ^ (h >> 29));
}

FontGlyphs* TextOutlineCache::Glyphs(platform::FontOutlineService& source, const platform::FontRequest& font) {
    if (!enabled || !platform::IsSystemFontOutlines(source)) return nullptr;
    for (auto it = fonts_.rbegin(); it != fonts_.rend(); ++it) {
        if ((*it)->request == font) {
            std::rotate(it.base() - 1, it.base(), fonts_.end());
            return fonts_.back().get();
        }
    }
    if (fonts_.size() >= kFonts) fonts_.erase(fonts_.begin());
    fonts_.push_back(std::make_unique<FontGlyphs>(font));
    return fonts_.back().get();
}

bool TextOutlineCache::Begin(int polygonGrid, int maxPolyNodes, bool splitLargePolygons) {
    if (!configured_ || polygonGrid != polygonGrid_ || maxPolyNodes != maxPolyNodes_ || splitLargePolygons != split_) {
        results_.clear();
        resultInts_ = 0;
        probe_.reset();
        polygonGrid_ = polygonGrid;
        maxPolyNodes_ = maxPolyNodes;
        split_ = splitLargePolygons;
        configured_ = true;
    }
    // At the 0.01 nm grid a snapped point is not a whole nanometre: its
    // rounding to one does not move with the text, so nothing is reused.
    return enabled && polygonGrid > 0;
}

bool TextOutlineCache::MakeKey(const GlyphShape& shape, double scale, std::int64_t penX, std::int64_t penY,
                               Point& origin) {
    const std::size_t nx = shape.xValues.size(), ny = shape.yValues.size(), n = std::max(nx, ny);
    if (shape.points.empty() || nx == 0 || ny == 0) return false;
    if (!probe_) {
        probe_ = std::make_unique<Bool_Engine>();
        ConfigureBooleanEngine(*probe_, polygonGrid_);
    }
    // The engine's own snapping, read back as a one-contour character is
    // read back; the distinct values of both axes go in as one contour
    // (the shorter list repeats its last value), after which the engine is
    // empty again.  The values are formed exactly as for the engine that
    // combines the contours.
    snappedX_.clear();
    snappedY_.clear();
    try {
        probe_->BeginContour(GroupA);
        for (std::size_t j = 0; j < n; ++j) {
            probe_->AddVertex(shape.xValues[std::min(j, nx - 1)] * scale + static_cast<double>(penX),
                              shape.yValues[std::min(j, ny - 1)] * scale + static_cast<double>(penY));
        }
        probe_->EndContour();
        if (probe_->NextResultContour()) {
            while (probe_->NextResultVertex()) {
                snappedX_.push_back(RoundHalfAway(probe_->VertexX()));
                snappedY_.push_back(RoundHalfAway(probe_->VertexY()));
            }
            probe_->DropResultContour();
        }
    } catch (const Bool_Engine_Error&) {
        // Out of the engine's range: the full computation reports it.
        probe_.reset();
        return false;
    }
    if (snappedX_.size() != n) return false;
    snappedX_.resize(nx);
    snappedY_.resize(ny);
    // The snapped values are sorted like the values (snapping is monotone),
    // but nothing relies on it: the extremes are searched.
    const auto [minX, maxX] = std::minmax_element(snappedX_.begin(), snappedX_.end());
    const auto [minY, maxY] = std::minmax_element(snappedY_.begin(), snappedY_.end());
    if (std::max({-std::int64_t{*minX}, std::int64_t{*maxX}, -std::int64_t{*minY}, std::int64_t{*maxY}}) >
        kMaxCoordinate) {
        return false;
    }
    if (std::int64_t{*maxX} - *minX > kMaxExtent || std::int64_t{*maxY} - *minY > kMaxExtent) return false;
    // Every snapped point is a whole number of grid steps; the argument for
    // reuse needs that.
    for (const std::int32_t v : snappedX_) {
        if (v % polygonGrid_ != 0) return false;
    }
    for (const std::int32_t v : snappedY_) {
        if (v % polygonGrid_ != 0) return false;
    }
    // The side of each axis the whole character lies on: truncations toward
    // zero act alike only between placements on the same side.
    const std::int32_t sideX = *minX >= 0 ? 1 : (*maxX <= 0 ? -1 : 0);
    const std::int32_t sideY = *minY >= 0 ? 1 : (*maxY <= 0 ? -1 : 0);
    if (sideX == 0 || sideY == 0) return false;
    origin = {snappedX_[shape.xIndex[0]], snappedY_[shape.yIndex[0]]};
    key_.clear();
    key_.reserve(3 + shape.contourEnds.size() + 2 * shape.points.size());
    key_.push_back(sideX);
    key_.push_back(sideY);
    key_.push_back(static_cast<std::int32_t>(shape.contourEnds.size()));
    for (const int end : shape.contourEnds) key_.push_back(end);
    for (std::size_t i = 0; i < shape.points.size(); ++i) {
        key_.push_back(snappedX_[shape.xIndex[i]] - origin.X);
        key_.push_back(snappedY_[shape.yIndex[i]] - origin.Y);
    }
    return true;
}

const CachedCharacter* TextOutlineCache::Find() const {
    const auto it = results_.find(key_);
    return it == results_.end() ? nullptr : &it->second;
}

void TextOutlineCache::Insert(CachedCharacter result) {
    const std::size_t ints = key_.size() + 2 * result.nodes.size() + result.polygonEnds.size();
    if (resultInts_ + ints > kMaxResultInts) {
        results_.clear();
        resultInts_ = 0;
    }
    if (results_.emplace(key_, std::move(result)).second) resultInts_ += ints;
}

void TextOutlineCache::Clear() {
    fonts_.clear();
    results_.clear();
    resultInts_ = 0;
    probe_.reset();
    configured_ = false;
    stats = {};
}

TextOutlineCache& Cache() {
    static TextOutlineCache cache;
    return cache;
}

}  // namespace text_outlines_detail

void SetTextOutlineCacheEnabled(bool enabled) {
    text_outlines_detail::Cache().enabled = enabled;
    text_outlines_detail::Cache().Clear();
}

bool TextOutlineCacheEnabled() { return text_outlines_detail::Cache().enabled; }

void ClearTextOutlineCache() { text_outlines_detail::Cache().Clear(); }

TextOutlineCacheStats GetTextOutlineCacheStats() {
    const text_outlines_detail::TextOutlineCache& cache = text_outlines_detail::Cache();
    TextOutlineCacheStats stats = cache.stats;
    stats.entries = cache.Entries();
    stats.storedInts = cache.StoredInts();
    return stats;
}

}  // namespace zandor
