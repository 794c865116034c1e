// Spatial indexes of the boolean engine's work graph: a packed R-tree of
// boxes, a uniform grid of boxes or points, and nodes in lexicographic order;
// boxes include their edges, and an empty index answers nothing. Internal;
// not part of the interface.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "geometry/BooleanInternal.h"

namespace zandor::boolean_detail {

// A static index of boxes (sort-tile packed R-tree): which boxes overlap a query box.
class BoxTree {
public:
    struct Box {
        i64 xmin, ymin, xmax, ymax;
    };

    void Build(std::vector<std::pair<Box, int>> boxes) {
        nodes.clear();
        items = std::move(boxes);
        if (items.empty()) return;
        const std::size_t leaves = (items.size() + kFan - 1) / kFan;
        const std::size_t slabs = static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(leaves))));
        const std::size_t slab = slabs * kFan;
        auto cx = [](const Box& b) { return (static_cast<i128>(b.xmin) + b.xmax); };
        auto cy = [](const Box& b) { return (static_cast<i128>(b.ymin) + b.ymax); };
        std::sort(items.begin(), items.end(), [&](const auto& p, const auto& q) { return cx(p.first) < cx(q.first); });
        for (std::size_t s = 0; s < items.size(); s += slab) {
            const auto last = items.begin() + static_cast<std::ptrdiff_t>(std::min(items.size(), s + slab));
            std::sort(items.begin() + static_cast<std::ptrdiff_t>(s), last,
                      [&](const auto& p, const auto& q) { return cy(p.first) < cy(q.first); });
        }
        // Leaves over items, then levels over nodes, kFan children each.
        std::size_t count = items.size();
        bool leaf = true;
        std::size_t levelStart = 0;
        for (;;) {
            const std::size_t first = nodes.size();
            for (std::size_t c = 0; c < count; c += kFan) {
                Node n{};
                n.first = static_cast<int>(leaf ? c : levelStart + c);
                n.count = static_cast<int>(std::min(kFan, count - c));
                n.leaf = leaf;
                for (int k = 0; k < n.count; ++k) {
                    const Box& b = leaf ? items[c + k].first : nodes[levelStart + c + k].box;
                    if (k == 0) {
                        n.box = b;
                    } else {
                        n.box.xmin = std::min(n.box.xmin, b.xmin);
                        n.box.ymin = std::min(n.box.ymin, b.ymin);
                        n.box.xmax = std::max(n.box.xmax, b.xmax);
                        n.box.ymax = std::max(n.box.ymax, b.ymax);
                    }
                }
                nodes.push_back(n);
            }
            levelStart = first;
            count = nodes.size() - first;
            leaf = false;
            if (count == 1) break;
        }
    }

    bool Empty() const { return items.empty(); }

    // Calls visit(id) for every box that overlaps q (edges included).
    template <class Visit>
    void Query(const Box& q, Visit visit) const {
        if (nodes.empty()) return;
        int stack[128];  // depth <= 10 for 2^31 items, at most 7 waiting per level
        int top = 0;
        stack[top++] = static_cast<int>(nodes.size() - 1);
        while (top > 0) {
            const Node& n = nodes[stack[--top]];
            for (int k = 0; k < n.count; ++k) {
                const Box& b = n.leaf ? items[n.first + k].first : nodes[n.first + k].box;
                if (b.xmin > q.xmax || b.xmax < q.xmin || b.ymin > q.ymax || b.ymax < q.ymin) continue;
                if (n.leaf)
                    visit(items[n.first + k].second);
                else
                    stack[top++] = n.first + k;
            }
        }
    }

private:
    static constexpr std::size_t kFan = 8;
    struct Node {
        Box box;
        int first;
        int count;
        bool leaf;
    };
    std::vector<std::pair<Box, int>> items;
    std::vector<Node> nodes;
};

// A uniform grid over boxes or points: every item is listed in each cell its
// box covers (compressed rows). The cell size follows the items: about their
// mean extent, and no fewer than one item per cell on average.
class Grid {
public:
    using Box = BoxTree::Box;

    void Build(const std::vector<Box>& given) {
        boxes = &given;
        const std::size_t n = given.size();
        start.clear();
        items.clear();
        if (n == 0) return;
        x0 = y0 = INT64_MAX;
        i64 x1 = INT64_MIN, y1 = INT64_MIN;
        long double extent = 0;
        for (const Box& b : given) {
            x0 = std::min(x0, b.xmin);
            y0 = std::min(y0, b.ymin);
            x1 = std::max(x1, b.xmax);
            y1 = std::max(y1, b.ymax);
            extent += std::max(static_cast<long double>(b.xmax) - b.xmin, static_cast<long double>(b.ymax) - b.ymin);
        }
        const long double w = static_cast<long double>(x1) - x0 + 1, h = static_cast<long double>(y1) - y0 + 1;
        long double size = std::max({extent / n, std::sqrt(w * h / n), 1.0L});
        // The cells each box covers, worked out once per try of a cell size.
        struct Span {
            std::uint32_t c0, c1, r0, r1;
        };
        std::vector<Span> spans(n);
        for (;;) {
            cell = static_cast<i64>(std::min(size, 4e18L));
            nx = static_cast<std::size_t>(w / cell) + 1;
            ny = static_cast<std::size_t>(h / cell) + 1;
            if (nx * ny <= 4 * n + 64) {
                std::size_t entries = 0;
                for (std::size_t i = 0; i < n; ++i) {
                    const Box& b = given[i];
                    Span& sp = spans[i];
                    sp = {static_cast<std::uint32_t>(Column(b.xmin)), static_cast<std::uint32_t>(Column(b.xmax)),
                          static_cast<std::uint32_t>(Row(b.ymin)), static_cast<std::uint32_t>(Row(b.ymax))};
                    entries += static_cast<std::size_t>(sp.c1 - sp.c0 + 1) * (sp.r1 - sp.r0 + 1);
                }
                if (entries <= 16 * n + 1024) break;
            }
            size *= 2;
        }
        start.assign(nx * ny + 1, 0);
        for (const Span& sp : spans)
            for (std::size_t r = sp.r0; r <= sp.r1; ++r)
                for (std::size_t c = sp.c0; c <= sp.c1; ++c) ++start[r * nx + c + 1];
        for (std::size_t k = 0; k + 1 < start.size(); ++k) start[k + 1] += start[k];
        items.resize(start.back());
        std::vector<std::size_t> fill(start.begin(), start.end() - 1);
        for (std::size_t i = 0; i < n; ++i) {
            const Span& sp = spans[i];
            for (std::size_t r = sp.r0; r <= sp.r1; ++r)
                for (std::size_t c = sp.c0; c <= sp.c1; ++c) items[fill[r * nx + c]++] = static_cast<int>(i);
        }
    }

    i64 CellSize() const { return cell; }

    // Whether some item's box overlaps q (a cheap test for boxes that cover
    // few cells; larger ones answer yes).
    bool Any(const Box& q) const {
        if (items.empty() || q.xmax < x0 || q.ymax < y0) return false;
        const std::size_t c0 = Column(q.xmin), c1 = std::min(Column(q.xmax), nx - 1);
        const std::size_t r0 = Row(q.ymin), r1 = std::min(Row(q.ymax), ny - 1);
        if (c0 >= nx || r0 >= ny) return false;
        if ((c1 - c0 + 1) * (r1 - r0 + 1) > 16) return true;
        for (std::size_t r = r0; r <= r1; ++r)
            for (std::size_t c = c0; c <= c1; ++c)
                for (std::size_t k = start[r * nx + c]; k < start[r * nx + c + 1]; ++k) {
                    const Box& b = (*boxes)[items[k]];
                    if (!(b.xmin > q.xmax || b.xmax < q.xmin || b.ymin > q.ymax || b.ymax < q.ymin)) return true;
                }
        return false;
    }

    // Calls visit(item) for every item whose box overlaps q; an item covering
    // several cells of q comes once per cell.
    template <class Visit>
    void Query(const Box& q, Visit visit) const {
        if (items.empty() || q.xmax < x0 || q.ymax < y0) return;
        const std::size_t c0 = Column(q.xmin), c1 = std::min(Column(q.xmax), nx - 1);
        const std::size_t r0 = Row(q.ymin), r1 = std::min(Row(q.ymax), ny - 1);
        if (c0 >= nx || r0 >= ny) return;
        for (std::size_t r = r0; r <= r1; ++r)
            for (std::size_t c = c0; c <= c1; ++c)
                for (std::size_t k = start[r * nx + c]; k < start[r * nx + c + 1]; ++k) {
                    const Box& b = (*boxes)[items[k]];
                    if (b.xmin > q.xmax || b.xmax < q.xmin || b.ymin > q.ymax || b.ymax < q.ymin) continue;
                    visit(items[k]);
                }
    }

    // Calls visit(a, b) once for every pair of items whose boxes overlap: in
    // the cell that holds the lower left corner of the overlap.
    template <class Visit>
    void Pairs(Visit visit) {
        const std::vector<Box>& all = *boxes;
        for (std::size_t slot = 0; slot + 1 < start.size(); ++slot) {
            const auto first = items.begin() + static_cast<std::ptrdiff_t>(start[slot]);
            const auto last = items.begin() + static_cast<std::ptrdiff_t>(start[slot + 1]);
            if (last - first < 2) continue;
            // Sweep along the axis on which the boxes are shorter, so that long
            // parallel links (a bus) do not meet each other at every step.
            long double spanX = 0, spanY = 0;
            for (auto i = first; i != last; ++i) {
                spanX += static_cast<long double>(all[*i].xmax) - all[*i].xmin;
                spanY += static_cast<long double>(all[*i].ymax) - all[*i].ymin;
            }
            const bool alongX = spanX <= spanY;
            auto lo = [&](const Box& b) { return alongX ? b.xmin : b.ymin; };
            auto hi = [&](const Box& b) { return alongX ? b.xmax : b.ymax; };
            std::sort(first, last, [&](int a, int b) { return lo(all[a]) < lo(all[b]); });
            const std::size_t cr = slot / nx, cc = slot % nx;
            for (auto i = first; i != last; ++i) {
                const Box& a = all[*i];
                for (auto j = i + 1; j != last; ++j) {
                    const Box& b = all[*j];
                    if (lo(b) > hi(a)) break;
                    if (b.xmin > a.xmax || b.xmax < a.xmin || b.ymin > a.ymax || b.ymax < a.ymin) continue;
                    if (Column(std::max(a.xmin, b.xmin)) != cc || Row(std::max(a.ymin, b.ymin)) != cr) continue;
                    visit(*i, *j);
                }
            }
        }
    }

private:
    // Unsigned 64-bit: the difference of two coordinates always fits.
    std::size_t Column(i64 x) const {
        return x <= x0 ? 0
                       : (static_cast<std::uint64_t>(x) - static_cast<std::uint64_t>(x0)) /
                             static_cast<std::uint64_t>(cell);
    }
    std::size_t Row(i64 y) const {
        return y <= y0 ? 0
                       : (static_cast<std::uint64_t>(y) - static_cast<std::uint64_t>(y0)) /
                             static_cast<std::uint64_t>(cell);
    }

    const std::vector<Box>* boxes = nullptr;
    i64 x0 = 0, y0 = 0, cell = 1;
    std::size_t nx = 0, ny = 0;
    std::vector<std::size_t> start;
    std::vector<int> items;
};

// Nodes in lexicographic order of (major, minor): rows are (y, x), columns (x, y).
struct SortedNode {
    i64 major;
    i64 minor;
    int id;
    bool operator<(const SortedNode& o) const {
        if (major != o.major) return major < o.major;
        if (minor != o.minor) return minor < o.minor;
        return id < o.id;
    }
};

// Walks columns sorted as (x, y, number) in sweep order: within each x, the
// runs of equal y from the top down.  `visit` gets each node number once.
template <class Visit>
void VisitColumnsInSweepOrder(const std::vector<SortedNode>& columns, Visit visit) {
    for (std::size_t i = 0; i < columns.size();) {
        std::size_t j = i;
        while (j < columns.size() && columns[j].major == columns[i].major) ++j;
        for (std::size_t end = j; end > i;) {
            std::size_t start = end - 1;
            while (start > i && columns[start - 1].minor == columns[end - 1].minor) --start;
            for (std::size_t k = start; k < end; ++k) visit(columns[k].id);
            end = start;
        }
        i = j;
    }
}

// First element of a sorted vector not less than key, searched outwards from
// a hint (the place of the previous, nearby search).
inline std::size_t GallopLowerBound(const std::vector<SortedNode>& v, std::size_t hint, const SortedNode& key) {
    const auto first = v.begin(), last = v.end();
    auto at = first + static_cast<std::ptrdiff_t>(std::min(hint, v.size()));
    std::ptrdiff_t step = 1;
    if (at != last && *at < key) {
        auto lo = at + 1;
        for (;;) {
            if (last - lo < step) return static_cast<std::size_t>(std::lower_bound(lo, last, key) - first);
            const auto probe = lo + (step - 1);
            if (!(*probe < key)) return static_cast<std::size_t>(std::lower_bound(lo, probe, key) - first);
            lo = probe + 1;
            step *= 2;
        }
    }
    auto hi = at;
    for (;;) {
        if (hi - first < step) return static_cast<std::size_t>(std::lower_bound(first, hi, key) - first);
        const auto probe = hi - step;
        if (*probe < key) return static_cast<std::size_t>(std::lower_bound(probe + 1, hi, key) - first);
        hi = probe;
        step *= 2;
    }
}

}  // namespace zandor::boolean_detail
