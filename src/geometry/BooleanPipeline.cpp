// The operation behind Bool_Engine::Execute (docs/boolean-engine.md), stage
// by stage: simplify the input contours; for axis-parallel input take the
// exact boundary of the result from the coverage sweep (BooleanScanline) and
// write out the contours that stand alone; node the rest (BooleanNoding)
// until the arrangement is planar, set the side flags of every link
// (BooleanWinding), keep the links that bound the result and walk them into
// contours, joining holes by cuts (BooleanExtraction).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <span>
#include <vector>

#include "geometry/Bool_Engine.h"
#include "geometry/BooleanExtraction.h"
#include "geometry/BooleanIndex.h"
#include "geometry/BooleanNoding.h"
#include "geometry/BooleanScanline.h"
#include "geometry/BooleanSimplify.h"
#include "geometry/BooleanWinding.h"
#include "geometry/BooleanWorkGraph.h"

namespace zandor {

namespace boolean_detail {

namespace {

// Clockwise (negative signed area), so that input orientation carries no meaning.
void MakeClockwise(std::vector<Point64>& ring) {
    long double area = 0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const Point64& p = ring[i];
        const Point64& q = ring[(i + 1) % ring.size()];
        area += (static_cast<long double>(p.x) - ring[0].x) * (static_cast<long double>(q.y) - ring[0].y) -
                (static_cast<long double>(q.x) - ring[0].x) * (static_cast<long double>(p.y) - ring[0].y);
    }
    if (area > 0) std::reverse(ring.begin(), ring.end());
}

bool IsAxisParallel(std::span<const Point64> ring) {
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const Point64& p = ring[i];
        const Point64& q = ring[(i + 1) % ring.size()];
        if (p.x != q.x && p.y != q.y) return false;
    }
    return true;
}

// Whether an axis-parallel ring (consecutive links perpendicular, as
// simplification leaves them) is a simple closed curve: no two links that
// are not neighbours in the ring share a point.
bool IsSimpleAxisParallel(std::span<const Point64> ring) {
    const std::size_t n = ring.size();
    if (n == 4) return true;  // a rectangle
    for (std::size_t i = 0; i < n; ++i) {
        const Point64 a = ring[i], b = ring[(i + 1) % n];
        for (std::size_t j = i + 2; j < n; ++j) {
            if (i == 0 && j == n - 1) continue;
            const Point64 c = ring[j], d = ring[(j + 1) % n];
            const bool overlapX =
                std::max(std::min(a.x, b.x), std::min(c.x, d.x)) <= std::min(std::max(a.x, b.x), std::max(c.x, d.x));
            const bool overlapY =
                std::max(std::min(a.y, b.y), std::min(c.y, d.y)) <= std::min(std::max(a.y, b.y), std::max(c.y, d.y));
            if (overlapX && overlapY) return false;
        }
    }
    return true;
}

// The vertical links of a clockwise ring, whose inside lies on their right:
// upward links raise the count to their right.
void AppendScanEdges(std::span<const Point64> ring, std::uint8_t group, std::vector<ScanEdge>& edges) {
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const Point64& p = ring[i];
        const Point64& q = ring[(i + 1) % ring.size()];
        if (p.x != q.x || p.y == q.y) continue;
        edges.push_back(ScanEdge{p.x, std::min(p.y, q.y), std::max(p.y, q.y), q.y > p.y ? 1 : -1, group});
    }
}

// Vertical links of every ring for the coverage sweep. A ring that is not
// simple may wind around some region more than once or the wrong way; it is
// first replaced by the boundary of the region where its own winding is
// nonzero (the group rule), so that every ring adds 1 exactly where it
// covers.
// Input rings after simplification, clockwise, in graph list order.
struct Rings {
    struct Ring {
        GroupType group;
        std::size_t first;
        std::size_t count;
    };
    std::vector<Point64> points;
    std::vector<Ring> list;
    std::span<const Point64> operator[](std::size_t i) const { return {points.data() + list[i].first, list[i].count}; }
    std::size_t size() const { return list.size(); }
};

std::vector<ScanEdge> ScanEdgesOf(const Rings& rings) {
    std::vector<ScanEdge> edges;
    edges.reserve(rings.points.size() / 2 + 16);
    StatusTable nonzero;
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b) nonzero.value[a][b] = a != 1;
    std::vector<ScanEdge> own;
    for (std::size_t r = 0; r < rings.size(); ++r) {
        const std::span<const Point64> ring = rings[r];
        const std::uint8_t g = static_cast<std::uint8_t>(rings.list[r].group);
        if (ring.size() <= 64 && IsSimpleAxisParallel(ring)) {
            AppendScanEdges(ring, g, edges);
            continue;
        }
        own.clear();
        AppendScanEdges(ring, 0, own);
        const ScanResult region = ScanManhattan(own, nonzero);
        for (const auto& link : region.links) {
            const Point64& p = region.nodes[link[0]];
            const Point64& q = region.nodes[link[1]];
            if (p.x != q.x) continue;
            edges.push_back(ScanEdge{p.x, std::min(p.y, q.y), std::max(p.y, q.y), q.y > p.y ? 1 : -1, g});
        }
    }
    return edges;
}

// Status of the operation from the group counts (never negative here).
StatusTable OperationTable(BooleanOperation operation) {
    StatusTable table;
    for (int sa = 0; sa < 3; ++sa)
        for (int sb = 0; sb < 3; ++sb) {
            const bool a = sa == 2, b = sb == 2;
            bool in = false;
            switch (operation) {
                case OpOr: in = a || b; break;
                case OpAnd: in = a && b; break;
                case OpExor: in = a != b; break;
                case OpAMinusB: in = a && !b; break;
                case OpBMinusA: in = b && !a; break;
                default: break;
            }
            table.value[sa][sb] = in;
        }
    return table;
}

// Contours of the coverage sweep that can go to the result as they are: a
// component of the boundary that is one simple cycle (every node on two of
// its links), whose nodes lie more than the marge apart and more than the
// marge from its other links, and whose box widened by the marge meets no
// other component's box. Noding would change nothing in it or near it, the
// count sweep would confirm its sides, and extraction would walk it alone;
// this walks it the same way (from the flattest link at the upper node of
// its first link in extraction order, with the region on the right).
struct IsolatedContours {
    struct Contour {
        i64 seedTopY;
        i64 seedLowX;
        std::size_t first;
        std::size_t count;
    };
    std::vector<Contour> list;
    std::vector<Point64> points;
    std::vector<char> taken;  // per link of the sweep result
};

IsolatedContours FindIsolated(const ScanResult& b, i64 marge) {
    IsolatedContours out;
    const std::size_t n = b.nodes.size(), m = b.links.size();
    out.taken.assign(m, 0);
    if (m == 0) return out;
    // Components by union-find over the nodes.
    std::vector<int> parent(n);
    std::iota(parent.begin(), parent.end(), 0);
    auto find = [&](int v) {
        while (parent[v] != v) v = parent[v] = parent[parent[v]];
        return v;
    };
    std::vector<int> degree(n, 0), outgoing(n, -1);
    for (std::size_t i = 0; i < m; ++i) {
        const int u = b.links[i][0], v = b.links[i][1];
        ++degree[u];
        ++degree[v];
        outgoing[u] = static_cast<int>(i);
        const int ru = find(u), rv = find(v);
        if (ru != rv) parent[ru] = rv;
    }
    struct Component {
        BoxTree::Box box{INT64_MAX, INT64_MAX, INT64_MIN, INT64_MIN};
        int links = 0;
        bool simple = true;
    };
    std::vector<int> index(n, -1);
    std::vector<Component> components;
    std::vector<int> componentOf(m);
    for (std::size_t i = 0; i < m; ++i) {
        const int r = find(b.links[i][0]);
        if (index[r] < 0) {
            index[r] = static_cast<int>(components.size());
            components.emplace_back();
        }
        Component& c = components[index[r]];
        componentOf[i] = index[r];
        ++c.links;
        for (int v : b.links[i]) {
            const Point64 p = b.nodes[v];
            c.box.xmin = std::min(c.box.xmin, p.x);
            c.box.ymin = std::min(c.box.ymin, p.y);
            c.box.xmax = std::max(c.box.xmax, p.x);
            c.box.ymax = std::max(c.box.ymax, p.y);
            if (degree[v] != 2) c.simple = false;
        }
    }
    // Components whose widened boxes meet.
    std::vector<BoxTree::Box> boxes(components.size());
    auto widen = [](i64 v, i64 d) {
        return static_cast<i64>(std::clamp<i128>(static_cast<i128>(v) + d, INT64_MIN, INT64_MAX));
    };
    for (std::size_t c = 0; c < components.size(); ++c) {
        const BoxTree::Box& bx = components[c].box;
        boxes[c] = {widen(bx.xmin, -marge), widen(bx.ymin, -marge), widen(bx.xmax, marge), widen(bx.ymax, marge)};
    }
    std::vector<char> alone(components.size(), 1);
    {
        Grid grid;
        grid.Build(boxes);
        grid.Pairs([&](int a, int c) { alone[a] = alone[c] = 0; });
    }
    // Links of each component, in sweep result order.
    std::vector<int> start(components.size() + 1, 0);
    for (std::size_t i = 0; i < m; ++i) ++start[componentOf[i] + 1];
    for (std::size_t c = 0; c < components.size(); ++c) start[c + 1] += start[c];
    std::vector<int> members(m);
    {
        std::vector<int> fill(start.begin(), start.end() - 1);
        for (std::size_t i = 0; i < m; ++i) members[fill[componentOf[i]]++] = static_cast<int>(i);
    }
    auto near = [marge](i128 d) { return d <= marge && d >= -marge; };
    for (std::size_t c = 0; c < components.size(); ++c) {
        const Component& comp = components[c];
        if (!alone[c] || !comp.simple || comp.links > 64) continue;
        const int* first = members.data() + start[c];
        const int count = comp.links;
        // Nodes apart from each other and from the links not ending at them.
        bool clean = true;
        for (int i = 0; i < count && clean; ++i) {
            const Point64 p = b.nodes[b.links[first[i]][0]];
            for (int j = i + 1; j < count && clean; ++j) {
                const Point64 q = b.nodes[b.links[first[j]][0]];
                if (near(static_cast<i128>(p.x) - q.x) && near(static_cast<i128>(p.y) - q.y)) clean = false;
            }
            for (int j = 0; j < count && clean; ++j) {
                const auto& l = b.links[first[j]];
                if (l[0] == b.links[first[i]][0] || l[1] == b.links[first[i]][0]) continue;
                const Point64 a = b.nodes[l[0]], e = b.nodes[l[1]];
                if (a.y == e.y) {
                    if (p.x >= std::min(a.x, e.x) && p.x <= std::max(a.x, e.x) && near(static_cast<i128>(p.y) - a.y))
                        clean = false;
                } else if (p.y >= std::min(a.y, e.y) && p.y <= std::max(a.y, e.y) &&
                           near(static_cast<i128>(p.x) - a.x)) {
                    clean = false;
                }
            }
        }
        // Every node a corner: one level and one vertical link.
        for (int i = 0; i < count && clean; ++i) {
            const auto& l = b.links[first[i]];
            const auto& next = b.links[outgoing[l[1]]];
            const bool level = b.nodes[l[0]].y == b.nodes[l[1]].y;
            const bool nextLevel = b.nodes[next[0]].y == b.nodes[next[1]].y;
            if (level == nextLevel) clean = false;
        }
        if (!clean) continue;
        // The seed: first in extraction order (higher Y descending, lower X
        // descending, link number); the walk starts along the flattest link at
        // its upper node, which at a corner of an axis-parallel cycle is the
        // level one.
        int seed = first[0];
        auto key = [&](int li) {
            const Point64 a = b.nodes[b.links[li][0]], e = b.nodes[b.links[li][1]];
            return std::pair<i64, i64>{std::max(a.y, e.y), std::min(a.x, e.x)};
        };
        for (int i = 1; i < count; ++i)
            if (key(first[i]) > key(seed)) seed = first[i];  // members are in link order: ties keep the lower number
        const auto& s = b.links[seed];
        const int upper = b.nodes[s[1]].y > b.nodes[s[0]].y ? s[1] : s[0];
        int start0 = -1;
        for (int i = 0; i < count; ++i) {
            const auto& l = b.links[first[i]];
            if ((l[0] == upper || l[1] == upper) && b.nodes[l[0]].y == b.nodes[l[1]].y) start0 = first[i];
        }
        if (start0 < 0) continue;  // not a corner: leave it to extraction
        const auto [topY, lowX] = key(seed);
        out.list.push_back({topY, lowX, out.points.size(), static_cast<std::size_t>(count)});
        int li = start0;
        for (int k = 0; k < count; ++k) {
            out.points.push_back(b.nodes[b.links[li][0]]);
            out.taken[li] = 1;
            li = outgoing[b.links[li][1]];
        }
    }
    return out;
}

// "prepare": noding, then the side flags of every link; links that are
// doubled or bound no operation's result go. `boundary`: the links are the
// exact boundary of one region of group A (directed, region on the right,
// planar, no coincident links); when noding changes nothing they need no
// sweep.
void Prepare(WorkGraph& graph, bool boundary) {
    graph.engine.ReportStage("Intersection");
    const bool changed = NodeGraph(graph, boundary);
    for (Link& l : graph.links) l.mark = l.doubled = false;
    graph.engine.ReportStage("Set group A/B Flags");
    if (boundary && !changed) {
        for (Link& l : graph.links) {
            l.groupsRight = kInA;
            l.groupsLeft = 0;
        }
    } else {
        SetGroupFlags(graph);
    }
    graph.engine.ReportStage("Set operation Flags");
    SetOperationFlags(graph);
    graph.engine.ReportStage("Remove doubles");
    for (Link& l : graph.links)
        if (l.doubled) l.alive = false;
    graph.Compact();
    graph.engine.ReportStage("Remove inlinks");
    for (Link& l : graph.links)
        if (!l.resultLeft && !l.resultRight) l.alive = false;
    graph.Compact();
    graph.engine.ReportStage("Finished prepare graph");
}

}  // namespace

}  // namespace boolean_detail

void Bool_Engine::RunOperation(BooleanOperation operation) {
    using namespace boolean_detail;
    ReportStage("Performing Boolean Operation");
    if (graphs.empty()) return;
    contourOpen = false;
    ReportStage("Simplify");
    Rings rings;
    rings.points.reserve(vertices.size());
    rings.list.reserve(graphs.size());
    std::vector<Point64> ring;
    for (const Contour& contour : graphs) {
        ring.clear();
        for (std::size_t i = contour.first; i < contour.first + contour.count; ++i) {
            const Point64 p{vertices[i].x, vertices[i].y};
            if (ring.empty() || !(ring.back() == p)) ring.push_back(p);
        }
        while (ring.size() > 1 && ring.front() == ring.back()) ring.pop_back();
        SimplifyRing(ring, grid);
        if (ring.size() < 3) continue;
        MakeClockwise(ring);
        rings.list.push_back({contour.group, rings.points.size(), ring.size()});
        rings.points.insert(rings.points.end(), ring.begin(), ring.end());
    }
    graphs.clear();
    vertices.clear();
    vertices.shrink_to_fit();

    WorkGraph work(*this);
    bool manhattan = true;
    for (std::size_t r = 0; r < rings.size() && manhattan; ++r) manhattan = IsAxisParallel(rings[r]);
    BooleanOperation extract = operation;
    IsolatedContours isolated;
    if (manhattan) {
        // Axis-parallel input: one coverage sweep gives the exact boundary of
        // the result; noding with the marge and extraction then work on that
        // boundary alone, as the union of one group.
        ReportStage("Coverage sweep");
        const ScanResult boundary = ScanManhattan(ScanEdgesOf(rings), OperationTable(operation));
        rings = Rings{};
        ReportStage("Isolated contours");
        isolated = FindIsolated(boundary, work.marge);
        std::vector<int> renumber(boundary.nodes.size(), -1);
        for (std::size_t i = 0; i < boundary.links.size(); ++i) {
            if (isolated.taken[i]) continue;
            int ends[2];
            for (int k = 0; k < 2; ++k) {
                int& r = renumber[boundary.links[i][k]];
                if (r < 0) r = work.AddNode(boundary.nodes[boundary.links[i][k]]);
                ends[k] = r;
            }
            const int li = work.AddLink(ends[0], ends[1], -1, GroupA);
            work.links[li].directed = true;
        }
        extract = OpOr;
    } else {
        work.nodes.reserve(rings.points.size());
        work.links.reserve(rings.points.size());
        for (std::size_t g = 0; g < rings.size(); ++g) {
            const std::span<const Point64> r = rings[g];
            const int first = static_cast<int>(work.nodes.size());
            for (const Point64& p : r) work.AddNode(p);
            for (std::size_t i = 0; i < r.size(); ++i)
                work.AddLink(first + static_cast<int>(i), first + static_cast<int>((i + 1) % r.size()),
                             static_cast<int>(g) + 1, static_cast<std::uint8_t>(rings.list[g].group));
        }
    }
    std::vector<Walked> contours;
    if (!work.links.empty()) {
        ReportStage("prepare");
        Prepare(work, manhattan);
        contours = Extract(work, extract);
    }
    std::vector<int> degree(work.nodes.size(), 0);
    for (const auto& walked : contours)
        for (int li : walked.links) {
            ++degree[work.links[li].begin];
            ++degree[work.links[li].end];
        }
    std::vector<int> ids, kept;
    auto emitWalked = [&](const Walked& walked) {
        ids.clear();
        for (int li : walked.links) ids.push_back(work.From(li));
        // A vertex where the contour goes straight on (pieces of one boundary
        // cut by a link that is gone now) is dropped. Junctions, cut ends
        // included, stay. Dropping such a vertex changes no direction, so one
        // pass over the original neighbours decides them all.
        auto straight = [&](std::size_t i, const std::vector<int>& v) {
            const Point64& a = work.nodes[v[(i + v.size() - 1) % v.size()]];
            const Point64& b = work.nodes[v[i]];
            const Point64& c = work.nodes[v[(i + 1) % v.size()]];
            return degree[v[i]] == 2 && Cross(b.x - a.x, b.y - a.y, c.x - b.x, c.y - b.y) == 0 &&
                   static_cast<i128>(b.x - a.x) * (c.x - b.x) + static_cast<i128>(b.y - a.y) * (c.y - b.y) > 0;
        };
        kept.clear();
        for (std::size_t i = 0; i < ids.size(); ++i)
            if (!straight(i, ids)) kept.push_back(ids[i]);
        if (kept.size() >= 3 || kept.size() == ids.size()) {
            ids.swap(kept);
        } else {
            for (std::size_t i = 0; ids.size() > 3 && i < ids.size();) {
                if (straight(i, ids)) {
                    ids.erase(ids.begin() + static_cast<std::ptrdiff_t>(i));
                    if (i > 0) --i;
                } else {
                    ++i;
                }
            }
        }
        graphs.push_back(Contour{GroupA, vertices.size(), ids.size()});
        for (int id : ids) vertices.push_back(Vertex{work.nodes[id].x, work.nodes[id].y});
    };
    auto emitIsolated = [&](const IsolatedContours::Contour& c) {
        graphs.push_back(Contour{GroupA, vertices.size(), c.count});
        for (std::size_t i = c.first; i < c.first + c.count; ++i)
            vertices.push_back(Vertex{isolated.points[i].x, isolated.points[i].y});
    };
    // Contours in extraction order of the link each walk started from.
    auto before = [](i64 topY, i64 lowX, i64 otherTopY, i64 otherLowX) {
        return topY != otherTopY ? topY > otherTopY : lowX > otherLowX;
    };
    std::sort(isolated.list.begin(), isolated.list.end(),
              [&](const auto& p, const auto& q) { return before(p.seedTopY, p.seedLowX, q.seedTopY, q.seedLowX); });
    std::size_t next = 0;
    for (const Walked& walked : contours) {
        for (; next < isolated.list.size() &&
               before(isolated.list[next].seedTopY, isolated.list[next].seedLowX, walked.seedTopY, walked.seedLowX);
             ++next)
            emitIsolated(isolated.list[next]);
        emitWalked(walked);
    }
    for (; next < isolated.list.size(); ++next) emitIsolated(isolated.list[next]);
}

}  // namespace zandor
