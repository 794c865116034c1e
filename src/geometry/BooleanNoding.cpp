// Noding of the boolean engine's work graph (see BooleanNoding.h).
//
// Rounds are incremental: nodes never move (merging moves links onto an
// existing node), so a stage only tests the pairs in which something is new
// or changed since the stage last ran (links carry the epoch in which they
// were made or moved; new nodes come last).
#include "geometry/BooleanNoding.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "geometry/BooleanIndex.h"

namespace zandor::boolean_detail {

namespace {

// a / b truncated toward zero (b > 0), without the slow 128-bit division
// when a long double estimate can be corrected by one step.
i128 TruncDiv(i128 a, i128 b) {
    if (a >= INT64_MIN && a <= INT64_MAX && b <= INT64_MAX) return static_cast<i64>(a) / static_cast<i64>(b);
    const i128 limit = static_cast<i128>(1) << 120;
    const long double estimate = static_cast<long double>(a) / static_cast<long double>(b);
    if (a < limit && a > -limit && std::fabs(estimate) < 9e18L) {
        i128 q = static_cast<i128>(static_cast<i64>(std::trunc(estimate)));
        // Bring q to trunc(a / b): a - q b must lie in [0, b) for a >= 0, (-b, 0] for a < 0.
        for (int i = 0; i < 4; ++i) {
            const i128 r = a - q * b;
            if (a >= 0 ? r < 0 : r <= -b) {
                --q;
            } else if (a >= 0 ? r >= b : r > 0) {
                ++q;
            } else {
                return q;
            }
        }
    }
    return a / b;
}

// The crossing point of two segments that cross properly, each coordinate
// truncated toward zero: exact while the products fit 128 bits (always for
// coordinates below 2^40 or so), else in long double with the segments in a
// fixed order, so that the answer never depends on which link asks.
Point64 CrossingPoint(Point64 a0, Point64 a1, Point64 b0, Point64 b1) {
    auto before = [](Point64 p, Point64 q) { return p.x != q.x ? p.x < q.x : p.y < q.y; };
    if (before(a1, a0)) std::swap(a0, a1);
    if (before(b1, b0)) std::swap(b0, b1);
    if (before(b0, a0) || (b0 == a0 && before(b1, a1))) {
        std::swap(a0, b0);
        std::swap(a1, b1);
    }
    i128 den = Cross(a1.x - a0.x, a1.y - a0.y, b1.x - b0.x, b1.y - b0.y);
    i128 num = Cross(b0.x - a0.x, b0.y - a0.y, b1.x - b0.x, b1.y - b0.y);
    if (den < 0) {
        den = -den;
        num = -num;
    }
    // origin + num * delta / den, as (origin * den + num * delta) / den.
    auto exact = [&](i64 origin, i64 delta, i64& out) {
        i128 p1, p2, sum;
        if (__builtin_mul_overflow(static_cast<i128>(origin), den, &p1)) return false;
        if (__builtin_mul_overflow(num, static_cast<i128>(delta), &p2)) return false;
        if (__builtin_add_overflow(p1, p2, &sum)) return false;
        out = static_cast<i64>(TruncDiv(sum, den));
        return true;
    };
    Point64 p;
    if (exact(a0.x, a1.x - a0.x, p.x) && exact(a0.y, a1.y - a0.y, p.y)) return p;
    const long double t = static_cast<long double>(num) / static_cast<long double>(den);
    const long double x = a0.x + t * (static_cast<long double>(a1.x) - a0.x);
    const long double y = a0.y + t * (static_cast<long double>(a1.y) - a0.y);
    return Point64{static_cast<i64>(std::trunc(x)), static_cast<i64>(std::trunc(y))};
}

// Rounds before node-to-link cuts watch for rerouting in circles (see
// KeepReroutedPairs); planar input settles in two or three.
constexpr int kLateRound = 4;

bool MergeGreedy(WorkGraph& graph, const std::vector<int>& order, i64 tolerance, std::vector<int>& target) {
    bool changed = false;
    const std::size_t n = order.size();
    std::vector<Point64> p(n);
    for (std::size_t i = 0; i < n; ++i) p[i] = graph.nodes[order[i]];
    // First index in [from, n) at which pred turns true (pred is monotone
    // there), searched outwards from `from`.
    auto gallop = [&](std::size_t from, auto pred) {
        std::size_t step = 1, lo = from, hi = from;
        while (hi < n && !pred(hi)) {
            lo = hi + 1;
            hi = std::min(n, hi + step);
            step *= 2;
        }
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (pred(mid))
                hi = mid;
            else
                lo = mid + 1;
        }
        return lo;
    };
    std::vector<char> merged(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        if (merged[i]) continue;
        const Point64 first = p[i];
        const i128 top = static_cast<i128>(first.y) + tolerance, bottom = static_cast<i128>(first.y) - tolerance;
        // Columns (equal X, Y descending) within the tolerance in X; in each,
        // only the run within the tolerance in Y.
        for (std::size_t j = i + 1; j < n && static_cast<i128>(p[j].x) - first.x <= tolerance;) {
            const i64 column = p[j].x;
            if (p[j].y > top) j = gallop(j, [&](std::size_t k) { return p[k].x != column || p[k].y <= top; });
            for (; j < n && p[j].x == column && p[j].y >= bottom; ++j) {
                if (merged[j]) continue;
                target[order[j]] = order[i];
                merged[j] = 1;
                changed = true;
            }
            if (j < n && p[j].x == column) j = gallop(j, [&](std::size_t k) { return p[k].x != column; });
        }
    }
    return changed;
}

// Sorts node numbers into sweep order, on a copy of their coordinates
// (the comparisons then touch no other memory).
void SortSweep(const WorkGraph& graph, std::vector<int>& order) {
    if (order.size() * 8 >= graph.nodes.size() && graph.sortedNodes == graph.nodes.size()) {
        // Many nodes and the columns up to date: within each X of the
        // columns (X, Y, number) the runs of equal Y taken from the top are
        // the sweep order. A node missing there (dropped as dead) falls back
        // to sorting.
        std::vector<char> in(graph.nodes.size(), 0);
        for (int n : order) in[n] = 1;
        std::vector<int> sorted;
        sorted.reserve(order.size());
        VisitColumnsInSweepOrder(graph.columns, [&](int id) {
            if (in[id]) {
                in[id] = 0;
                sorted.push_back(id);
            }
        });
        if (sorted.size() == order.size()) {
            order.swap(sorted);
            return;
        }
    }
    struct Key {
        i64 x;
        i64 y;
        int id;
    };
    std::vector<Key> keys(order.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        keys[i] = {graph.nodes[order[i]].x, graph.nodes[order[i]].y, order[i]};
    std::sort(keys.begin(), keys.end(), [](const Key& p, const Key& q) {
        if (p.x != q.x) return p.x < q.x;
        if (p.y != q.y) return p.y > q.y;
        return p.id < q.id;
    });
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = keys[i].id;
}

// Moves link ends onto their targets; links that collapse go. Returns
// whether a link collapsed.
bool Remap(WorkGraph& graph, const std::vector<int>* target) {
    bool collapsed = false;
    for (Link& l : graph.links) {
        if (target) {
            const int b = (*target)[l.begin], e = (*target)[l.end];
            if (b != l.begin || e != l.end) {
                l.begin = b;
                l.end = e;
                l.changed = graph.epoch;
            }
        }
        if (l.alive && l.begin == l.end) {
            l.alive = false;
            collapsed = true;
        }
    }
    graph.Compact();
    return collapsed;
}

// Merges the given nodes in sweep order, each into the first one within
// the tolerance; true when anything merged or collapsed.
bool MergeInOrder(WorkGraph& graph, std::vector<int>& order, i64 tolerance) {
    SortSweep(graph, order);
    std::vector<int> target(graph.nodes.size());
    std::iota(target.begin(), target.end(), 0);
    const bool merged = MergeGreedy(graph, order, tolerance, target);
    const bool collapsed = Remap(graph, merged ? &target : nullptr);
    return merged || collapsed;
}

// Drops dead nodes from rows and columns once they have become the majority.
void DropDeadSorted(WorkGraph& graph) {
    std::size_t live = 0;
    for (char u : graph.used) live += u != 0;
    if (graph.rows.size() < 2 * live + 1024) return;
    auto drop = [&graph](std::vector<SortedNode>& v) {
        v.erase(std::remove_if(v.begin(), v.end(), [&graph](const SortedNode& s) { return !graph.used[s.id]; }),
                v.end());
    };
    drop(graph.rows);
    drop(graph.columns);
}

// Calls near(id) for every node whose (major, minor) lies in
// [majorLo, majorHi] x [lo, hi] (some dead nodes included). `hint` is
// where the previous walk over `sorted` began.
template <class Near>
void Walk(const std::vector<SortedNode>& sorted, std::size_t& hint, i64 majorLo, i64 majorHi, i64 lo, i64 hi,
          Near near) {
    std::size_t i = GallopLowerBound(sorted, hint, SortedNode{majorLo, lo, INT32_MIN});
    hint = i;
    while (i < sorted.size() && sorted[i].major <= majorHi) {
        const SortedNode& s = sorted[i];
        if (s.minor < lo) {
            i = GallopLowerBound(sorted, i, SortedNode{s.major, lo, INT32_MIN});
            continue;
        }
        if (s.minor > hi) {
            if (s.major == INT64_MAX) break;
            i = GallopLowerBound(sorted, i, SortedNode{s.major + 1, lo, INT32_MIN});
            continue;
        }
        near(s.id);
        ++i;
    }
}

struct Hints {
    std::size_t rows = 0;
    std::size_t columns = 0;
};

// Nodes in the box, walking whichever of rows or columns crosses it fewer times.
template <class Near>
void QueryBox(const std::vector<SortedNode>& rowsOf, const std::vector<SortedNode>& columnsOf, Hints& hints, i64 x0,
              i64 x1, i64 y0, i64 y1, Near near) {
    if (static_cast<i128>(x1) - x0 < static_cast<i128>(y1) - y0)
        Walk(columnsOf, hints.columns, x0, x1, y0, y1, near);
    else
        Walk(rowsOf, hints.rows, y0, y1, x0, x1, near);
}

i64 Clamp(i128 v) { return static_cast<i64>(std::clamp<i128>(v, INT64_MIN, INT64_MAX)); }

// A set of nodes to search: sorted both ways, and for links that are
// slanted over a large box, a box index of the points built on first use.
struct NodeSet {
    const std::vector<SortedNode>* rows;
    const std::vector<SortedNode>* columns;
    std::vector<BoxTree::Box> pointBoxes;
    std::vector<int> pointIds;
    Grid points;
    bool built = false;
};

void BuildPoints(const WorkGraph& graph, NodeSet& set) {
    for (const SortedNode& s : *set.rows) {
        if (!graph.used[s.id]) continue;
        const Point64 p = graph.nodes[s.id];
        set.pointBoxes.push_back({p.x, p.y, p.x, p.y});
        set.pointIds.push_back(s.id);
    }
    set.points.Build(set.pointBoxes);
    set.built = true;
}

// A link with its end points, so that a search needs nothing else.
struct LinkGeometry {
    i64 key1;  // search order: (y, left x) of a level link, else (x, lower y)
    i64 key2;
    int link;
    int begin;
    int end;
    Point64 p;
    Point64 q;
};

LinkGeometry GeometryOf(const WorkGraph& graph, int li) {
    const Link& l = graph.links[li];
    const Point64 a = graph.nodes[l.begin], b = graph.nodes[l.end];
    const bool level = a.y == b.y;
    return {level ? a.y : a.x, level ? std::min(a.x, b.x) : std::min(a.y, b.y), li, l.begin, l.end, a, b};
}

// Calls near(n) for every node n of the set lying within the marge of the
// link (vertically, or horizontally as seen after a quarter turn) that does
// not end at n (a node may be reported twice).
template <class Near>
void NodesNearLink(const WorkGraph& graph, const LinkGeometry& g, NodeSet& set, Hints& hints, Near near) {
    const std::vector<SortedNode>& rowsOf = *set.rows;
    const std::vector<SortedNode>& columnsOf = *set.columns;
    struct {
        int begin, end;
    } l{g.begin, g.end};
    const Point64 p = g.p, q = g.q;
    const i64 xmin = std::min(p.x, q.x), xmax = std::max(p.x, q.x);
    const i64 ymin = std::min(p.y, q.y), ymax = std::max(p.y, q.y);
    auto add = [&](int n) {
        if (n == l.begin || n == l.end || !graph.used[n]) return;
        near(n);
    };
    // Vertically within the marge, X within the link's range.
    auto vertically = [&](int n) {
        Point64 a = p, b = q;
        if (a.x > b.x) std::swap(a, b);
        const i128 dx = static_cast<i128>(b.x) - a.x, dy = static_cast<i128>(b.y) - a.y;
        const i128 num =
            (static_cast<i128>(graph.nodes[n].x) - a.x) * dy - (static_cast<i128>(graph.nodes[n].y) - a.y) * dx;
        return num <= static_cast<i128>(graph.marge) * dx && num >= -static_cast<i128>(graph.marge) * dx;
    };
    // Horizontally within the marge (the quarter-turned pass), Y within the link's range.
    auto horizontally = [&](int n) {
        Point64 a = p, b = q;
        if (a.y > b.y) std::swap(a, b);
        const i128 dx = static_cast<i128>(b.x) - a.x, dy = static_cast<i128>(b.y) - a.y;
        const i128 num =
            (static_cast<i128>(graph.nodes[n].y) - a.y) * dx - (static_cast<i128>(graph.nodes[n].x) - a.x) * dy;
        return num <= static_cast<i128>(graph.marge) * dy && num >= -static_cast<i128>(graph.marge) * dy;
    };
    if (xmin != xmax && ymin != ymax &&
        std::min(static_cast<i128>(xmax) - xmin, static_cast<i128>(ymax) - ymin) > static_cast<i128>(4) * graph.marge) {
        // Slanted over a large box: the grid of points, in pieces along the
        // link of about one cell each, so that few nodes beside the band
        // around the link are looked at.
        if (!set.built) BuildPoints(graph, set);
        auto test = [&](int n) {
            const Point64 c = graph.nodes[n];
            if ((c.x >= xmin && c.x <= xmax && vertically(n)) || (c.y >= ymin && c.y <= ymax && horizontally(n)))
                add(n);
        };
        if (set.pointIds.size() <= 64) {
            for (int n : set.pointIds) test(n);
            return;
        }
        const i64 cell = std::max<i64>(set.points.CellSize(), 1);
        const int pieces = static_cast<int>(std::clamp<i128>((static_cast<i128>(xmax) - xmin + ymax - ymin) / cell + 1,
                                                             1, std::min<i128>(4096, set.pointIds.size())));
        const i128 dx = static_cast<i128>(q.x) - p.x, dy = static_cast<i128>(q.y) - p.y;
        auto at = [&](int k, i64& x, i64& y) {
            x = static_cast<i64>(p.x + TruncDiv(dx * k, pieces));
            y = static_cast<i64>(p.y + TruncDiv(dy * k, pieces));
        };
        i64 ax, ay;
        at(0, ax, ay);
        for (int k = 1; k <= pieces; ++k) {
            i64 bx, by;
            at(k, bx, by);
            const BoxTree::Box box{Clamp(static_cast<i128>(std::min(ax, bx)) - graph.marge - 1),
                                   Clamp(static_cast<i128>(std::min(ay, by)) - graph.marge - 1),
                                   Clamp(static_cast<i128>(std::max(ax, bx)) + graph.marge + 1),
                                   Clamp(static_cast<i128>(std::max(ay, by)) + graph.marge + 1)};
            set.points.Query(box, [&](int item) { test(set.pointIds[item]); });
            ax = bx;
            ay = by;
        }
        return;
    }
    if (xmin != xmax) {
        if (ymin == ymax) {
            QueryBox(rowsOf, columnsOf, hints, xmin, xmax, Clamp(static_cast<i128>(ymin) - graph.marge),
                     Clamp(static_cast<i128>(ymax) + graph.marge), add);
        } else {
            QueryBox(rowsOf, columnsOf, hints, xmin, xmax, Clamp(static_cast<i128>(ymin) - graph.marge),
                     Clamp(static_cast<i128>(ymax) + graph.marge), [&](int n) {
                         if (vertically(n)) add(n);
                     });
        }
    }
    if (ymin != ymax && xmin != xmax) {
        QueryBox(rowsOf, columnsOf, hints, Clamp(static_cast<i128>(xmin) - graph.marge),
                 Clamp(static_cast<i128>(xmax) + graph.marge), ymin, ymax, [&](int n) {
                     if (horizontally(n)) add(n);
                 });
    } else if (xmin == xmax && ymin != ymax) {
        // A vertical link: only the quarter-turned pass applies.
        QueryBox(rowsOf, columnsOf, hints, Clamp(static_cast<i128>(xmin) - graph.marge),
                 Clamp(static_cast<i128>(xmax) + graph.marge), ymin, ymax, add);
    }
}

BoxTree::Box BoxOf(Point64 a, Point64 b) {
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

// Tests links p and q for a proper crossing; records a new node there.
void CrossPair(WorkGraph& graph, int pi, int qi) {
    const Link& p = graph.links[pi];
    const Link& q = graph.links[qi];
    if (p.begin == q.begin || p.begin == q.end || p.end == q.begin || p.end == q.end) return;
    const Point64 a0 = graph.nodes[p.begin], a1 = graph.nodes[p.end], b0 = graph.nodes[q.begin],
                  b1 = graph.nodes[q.end];
    const bool pLevel = a0.y == a1.y, pVertical = a0.x == a1.x;
    const bool qLevel = b0.y == b1.y, qVertical = b0.x == b1.x;
    if ((pLevel && qVertical) || (pVertical && qLevel)) {
        // Level and vertical: strictly inside both.
        const Point64 lv0 = pLevel ? a0 : b0, lv1 = pLevel ? a1 : b1;
        const Point64 v0 = pLevel ? b0 : a0, v1 = pLevel ? b1 : a1;
        const i64 x = v0.x, y = lv0.y;
        if (x <= std::min(lv0.x, lv1.x) || x >= std::max(lv0.x, lv1.x)) return;
        if (y <= std::min(v0.y, v1.y) || y >= std::max(v0.y, v1.y)) return;
        const int n = graph.AddNode(Point64{x, y});
        graph.cuts.push_back({pi, n});
        graph.cuts.push_back({qi, n});
        return;
    }
    const int o1 = Sign(Cross(a1.x - a0.x, a1.y - a0.y, b0.x - a0.x, b0.y - a0.y));
    const int o2 = Sign(Cross(a1.x - a0.x, a1.y - a0.y, b1.x - a0.x, b1.y - a0.y));
    if (o1 * o2 >= 0) return;
    const int o3 = Sign(Cross(b1.x - b0.x, b1.y - b0.y, a0.x - b0.x, a0.y - b0.y));
    const int o4 = Sign(Cross(b1.x - b0.x, b1.y - b0.y, a1.x - b0.x, a1.y - b0.y));
    if (o3 * o4 >= 0) return;
    const int n = graph.AddNode(CrossingPoint(a0, a1, b0, b1));
    graph.cuts.push_back({pi, n});
    graph.cuts.push_back({qi, n});
}

std::uint64_t PairKey(int a, int b) {
    const auto lo = static_cast<std::uint32_t>(std::min(a, b)), hi = static_cast<std::uint32_t>(std::max(a, b));
    return static_cast<std::uint64_t>(lo) << 32 | hi;
}

// Nodes never move, so links between the same two nodes are the same
// segment and node-to-link cuts treat them alike. Near the marge that can go
// round in a circle: the link u-v is cut at nodes near it into a path whose
// pieces have further nodes near them, and cutting those brings back u-v
// (four nodes around a thin quadrilateral whose diagonals each pass within the
// marge of the other two corners), one more copy every round. From a late
// round on, a link is therefore not cut when one of its pieces would join two
// nodes whose links were rerouted so before: the link stays whole, with the
// nodes near it, which costs nothing but exactness at the marge (the
// arrangement stays planar, as crossings are still cut).
void KeepReroutedPairs(WorkGraph& graph) {
    std::vector<WorkGraph::Cut>& cuts = graph.cuts;
    std::sort(cuts.begin(), cuts.end(), [&graph](const WorkGraph::Cut& p, const WorkGraph::Cut& q) {
        if (p.link != q.link) return p.link < q.link;
        const Link& l = graph.links[p.link];
        const Point64 a = graph.nodes[l.begin], b = graph.nodes[l.end];
        auto along = [&](int n) {
            return static_cast<i128>(graph.nodes[n].x - a.x) * (b.x - a.x) +
                   static_cast<i128>(graph.nodes[n].y - a.y) * (b.y - a.y);
        };
        const i128 pa = along(p.node), qa = along(q.node);
        return pa != qa ? pa < qa : p.node < q.node;
    });
    std::vector<std::uint64_t>& known = graph.reroutedPairs;
    const std::size_t before = known.size();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < cuts.size();) {
        const int li = cuts[i].link;
        std::size_t j = i;
        while (j < cuts.size() && cuts[j].link == li) ++j;
        const Link& l = graph.links[li];
        bool circular = false;
        int from = l.begin;
        for (std::size_t k = i; k <= j && !circular; ++k) {
            const int to = k < j ? cuts[k].node : l.end;
            if (k < j && (graph.nodes[to] == graph.nodes[from] || graph.nodes[to] == graph.nodes[l.end])) continue;
            circular = std::binary_search(known.begin(), known.begin() + static_cast<std::ptrdiff_t>(before),
                                          PairKey(from, to));
            from = to;
        }
        if (!circular) {
            known.push_back(PairKey(l.begin, l.end));
            for (std::size_t k = i; k < j; ++k) cuts[kept++] = cuts[k];
        }
        i = j;
    }
    cuts.resize(kept);
    std::sort(known.begin(), known.end());
    known.erase(std::unique(known.begin(), known.end()), known.end());
}

// "Node to Node" with the marge: the first time over all nodes, then
// around the nodes made since.
bool MergeStage(WorkGraph& graph) {
    ++graph.epoch;
    const bool full = graph.nodesAtMerge == 0;
    const std::size_t since = graph.nodesAtMerge;
    graph.nodesAtMerge = graph.nodes.size();
    if (full) {
        // The columns are needed from the first snap on; made now, they also
        // give this merge its order.
        RefreshSorted(graph);
        return MergeNodes(graph, graph.marge);
    }
    graph.UpdateUsed();
    std::vector<int> dirty;
    for (std::size_t n = since; n < graph.nodes.size(); ++n)
        if (graph.used[n]) dirty.push_back(static_cast<int>(n));
    return MergeAround(graph, graph.marge, dirty);
}

// "Node to BoolLink": nodes lying within the marge of a link (vertically,
// or horizontally as seen after a quarter turn) that does not end at them
// split that link.
bool SnapStage(WorkGraph& graph) {
    ++graph.epoch;
    graph.UpdateUsed();
    RefreshSorted(graph);
    DropDeadSorted(graph);
    const int since = graph.lastSnap;
    const std::size_t newNodes = graph.nodesAtSnap;
    graph.lastSnap = graph.epoch;
    graph.nodesAtSnap = graph.nodes.size();
    graph.cuts.clear();
    // Links in the order of their first search, so that each search starts
    // next to the previous one; each with its geometry, as that order is far
    // from the order links are stored in.
    std::vector<LinkGeometry> dirtyLinks;
    std::vector<int> cleanLinks;
    dirtyLinks.reserve(graph.links.size());
    for (std::size_t li = 0; li < graph.links.size(); ++li) {
        if (graph.links[li].changed < since)
            cleanLinks.push_back(static_cast<int>(li));
        else
            dirtyLinks.push_back(GeometryOf(graph, static_cast<int>(li)));
    }
    std::sort(dirtyLinks.begin(), dirtyLinks.end(), [](const LinkGeometry& a, const LinkGeometry& b) {
        if (a.key1 != b.key1) return a.key1 < b.key1;
        if (a.key2 != b.key2) return a.key2 < b.key2;
        return a.link < b.link;
    });
    Hints hints;
    NodeSet all{&graph.rows, &graph.columns, {}, {}, {}, false};
    for (const LinkGeometry& g : dirtyLinks) {
        const int li = g.link;
        NodesNearLink(graph, g, all, hints, [&](int n) { graph.cuts.push_back({li, n}); });
    }
    if (!cleanLinks.empty() && newNodes < graph.nodes.size()) {
        std::vector<SortedNode> dirtyRows, dirtyColumns;
        for (std::size_t n = newNodes; n < graph.nodes.size(); ++n) {
            if (!graph.used[n]) continue;
            dirtyRows.push_back({graph.nodes[n].y, graph.nodes[n].x, static_cast<int>(n)});
            dirtyColumns.push_back({graph.nodes[n].x, graph.nodes[n].y, static_cast<int>(n)});
        }
        if (!dirtyRows.empty()) {
            std::sort(dirtyRows.begin(), dirtyRows.end());
            std::sort(dirtyColumns.begin(), dirtyColumns.end());
            Hints dirtyHints;
            NodeSet fresh{&dirtyRows, &dirtyColumns, {}, {}, {}, false};
            for (int li : cleanLinks)
                NodesNearLink(graph, GeometryOf(graph, li), fresh, dirtyHints, [&](int n) {
                    graph.cuts.push_back({li, n});
                });
        }
    }
    if (graph.cuts.empty()) return false;
    if (graph.round >= kLateRound) KeepReroutedPairs(graph);
    if (graph.cuts.empty()) return false;
    ApplyCuts(graph);
    return true;
}

// "intersect": links that cross properly get a node at the crossing,
// truncated toward zero. Only pairs with a link changed since the last run
// are tested: the changed links go into a box index and every link asks it.
bool IntersectStage(WorkGraph& graph) {
    ++graph.epoch;
    const int since = graph.lastIntersect;
    graph.lastIntersect = graph.epoch;
    graph.cuts.clear();
    std::vector<char> dirty(graph.links.size(), 0);
    std::size_t dirtyCount = 0;
    for (std::size_t i = 0; i < graph.links.size(); ++i)
        if (graph.links[i].changed >= since) {
            dirty[i] = 1;
            ++dirtyCount;
        }
    if (dirtyCount == 0) return false;
    const std::size_t count = graph.links.size();
    if (dirtyCount * 4 >= count) {
        // Most links changed: every overlapping pair, from a grid.
        std::vector<BoxTree::Box> boxes(count);
        for (std::size_t i = 0; i < count; ++i)
            boxes[i] = BoxOf(graph.nodes[graph.links[i].begin], graph.nodes[graph.links[i].end]);
        Grid grid;
        grid.Build(boxes);
        grid.Pairs([&](int a, int b) {
            if (dirty[a] || dirty[b]) CrossPair(graph, std::min(a, b), std::max(a, b));
        });
    } else {
        // The changed links go into a box index and every link asks it; a
        // pair of changed links is met from both sides and tested once.
        std::vector<std::pair<BoxTree::Box, int>> boxes;
        for (std::size_t i = 0; i < count; ++i)
            if (dirty[i])
                boxes.push_back(
                    {BoxOf(graph.nodes[graph.links[i].begin], graph.nodes[graph.links[i].end]), static_cast<int>(i)});
        // A coarse map of the cells that changed links touch lets most links
        // skip the index.
        std::vector<BoxTree::Box> cover;
        cover.reserve(boxes.size());
        for (const auto& b : boxes) cover.push_back(b.first);
        Grid touched;
        touched.Build(cover);
        BoxTree tree;
        tree.Build(std::move(boxes));
        for (std::size_t i = 0; i < count; ++i) {
            const int li = static_cast<int>(i);
            const BoxTree::Box box = BoxOf(graph.nodes[graph.links[i].begin], graph.nodes[graph.links[i].end]);
            if (!dirty[i] && !touched.Any(box)) continue;
            tree.Query(box, [&](int other) {
                if (other == li || (dirty[i] && other < li)) return;
                CrossPair(graph, std::min(li, other), std::max(li, other));
            });
        }
    }
    if (graph.cuts.empty()) return false;
    ApplyCuts(graph);
    return true;
}

}  // namespace

// "Node to Node": a node within the tolerance of an earlier one in sweep
// order (in X and in Y) is merged into it; links that collapse go.
bool MergeNodes(WorkGraph& graph, i64 tolerance) {
    std::vector<int> order = graph.LiveNodes();
    return MergeInOrder(graph, order, tolerance);
}

// Adds the nodes made since the last call to rows and columns.
void RefreshSorted(WorkGraph& graph) {
    if (graph.sortedNodes == graph.nodes.size()) return;
    std::vector<SortedNode> newRows, newColumns;
    newRows.reserve(graph.nodes.size() - graph.sortedNodes);
    newColumns.reserve(graph.nodes.size() - graph.sortedNodes);
    for (std::size_t i = graph.sortedNodes; i < graph.nodes.size(); ++i) {
        newRows.push_back({graph.nodes[i].y, graph.nodes[i].x, static_cast<int>(i)});
        newColumns.push_back({graph.nodes[i].x, graph.nodes[i].y, static_cast<int>(i)});
    }
    std::sort(newRows.begin(), newRows.end());
    std::sort(newColumns.begin(), newColumns.end());
    auto mergeInto = [](std::vector<SortedNode>& all, std::vector<SortedNode>& add) {
        if (all.empty()) {
            all.swap(add);
            return;
        }
        const std::size_t old = all.size();
        all.insert(all.end(), add.begin(), add.end());
        std::inplace_merge(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(old), all.end());
    };
    mergeInto(graph.rows, newRows);
    mergeInto(graph.columns, newColumns);
    graph.sortedNodes = graph.nodes.size();
}

// Merges with the given tolerance where a node of `dirty` is involved; the
// other nodes are known to lie farther apart. Only nodes near a dirty node
// can merge, and the greedy order restricted to them decides as the whole
// would.
bool MergeAround(WorkGraph& graph, i64 tolerance, const std::vector<int>& dirty) {
    if (dirty.empty()) return Remap(graph, nullptr);
    RefreshSorted(graph);
    std::vector<int> order;
    std::vector<char> in(graph.nodes.size(), 0);
    std::size_t hint = 0;
    for (int d : dirty) {
        const Point64 p = graph.nodes[d];
        bool any = false;
        Walk(graph.columns, hint, Clamp(static_cast<i128>(p.x) - tolerance), Clamp(static_cast<i128>(p.x) + tolerance),
             Clamp(static_cast<i128>(p.y) - tolerance), Clamp(static_cast<i128>(p.y) + tolerance), [&](int n) {
                 if (n == d || !graph.used[n]) return;
                 any = true;
                 if (!in[n]) {
                     in[n] = 1;
                     order.push_back(n);
                 }
             });
        if (any && !in[d]) {
            in[d] = 1;
            order.push_back(d);
        }
    }
    if (order.empty()) return Remap(graph, nullptr);
    return MergeInOrder(graph, order, tolerance);
}

// Cuts every link at its cut nodes, ordered along the link; the pieces
// keep the link's contour number, group and direction mode.
void ApplyCuts(WorkGraph& graph) {
    std::sort(graph.cuts.begin(), graph.cuts.end(),
              [](const WorkGraph::Cut& p, const WorkGraph::Cut& q) { return p.link < q.link; });
    for (std::size_t i = 0; i < graph.cuts.size();) {
        const int li = graph.cuts[i].link;
        std::size_t j = i;
        while (j < graph.cuts.size() && graph.cuts[j].link == li) ++j;
        const Point64 a = graph.nodes[graph.links[li].begin], b = graph.nodes[graph.links[li].end];
        const i64 dx = b.x - a.x, dy = b.y - a.y;
        auto along = [&](int n) {
            return static_cast<i128>(graph.nodes[n].x - a.x) * dx + static_cast<i128>(graph.nodes[n].y - a.y) * dy;
        };
        std::sort(graph.cuts.begin() + static_cast<std::ptrdiff_t>(i),
                  graph.cuts.begin() + static_cast<std::ptrdiff_t>(j),
                  [&](const WorkGraph::Cut& p, const WorkGraph::Cut& q) {
                      const i128 pa = along(p.node), qa = along(q.node);
                      return pa != qa ? pa < qa : p.node < q.node;
                  });
        const int end = graph.links[li].end;
        int from = graph.links[li].begin;
        bool first = true;
        for (std::size_t k = i; k < j; ++k) {
            const int n = graph.cuts[k].node;
            if (graph.nodes[n] == graph.nodes[from] || graph.nodes[n] == b) continue;
            if (first) {
                graph.links[li].end = n;
                graph.links[li].changed = graph.epoch;
                first = false;
            } else {
                Link piece = graph.links[li];
                piece.begin = from;
                piece.end = n;
                graph.links.push_back(piece);
            }
            from = n;
        }
        if (!first) {
            Link piece = graph.links[li];
            piece.begin = from;
            piece.end = end;
            graph.links.push_back(piece);
        }
        i = j;
    }
    graph.cuts.clear();
}

// Node to node, node to link and crossings, repeated until nothing
// changes (merging moves links, which may bring them near other nodes or
// across other links). `planar`: no two links cross yet. Returns whether
// anything changed.
bool NodeGraph(WorkGraph& graph, bool planar) {
    if (planar) graph.lastIntersect = graph.epoch + 1;
    graph.engine.ReportStage("Node to Node");
    bool any = MergeStage(graph);
    const int kMaxRounds = 64;
    for (int round = 0;; ++round) {
        if (graph.links.size() <= 2) return any;
        if (round == kMaxRounds) Fail("crossing search does not settle", "Error");
        graph.round = round;
        graph.settled = false;
        bool changed = false;
        graph.engine.ReportStage("Node to BoolLink 0");
        changed |= SnapStage(graph);
        graph.engine.ReportStage("intersect");
        changed |= IntersectStage(graph);
        graph.engine.ReportStage("Node to Node");
        changed |= MergeStage(graph);
        any |= changed;
        if (!changed) {
            graph.settled = true;
            return any;
        }
    }
}

}  // namespace zandor::boolean_detail
