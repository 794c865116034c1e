// Extraction of the result contours from the work graph (see
// BooleanExtraction.h).
#include "geometry/BooleanExtraction.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <span>
#include <vector>

#include "geometry/BooleanNoding.h"
#include "geometry/BooleanSweep.h"

namespace zandor::boolean_detail {

namespace {

// True when leaving along b turns further right than leaving along a, for
// a walk arriving in direction (inX, inY); a U-turn ranks last.
bool TurnsFurtherRight(const WorkGraph& graph, i64 inX, i64 inY, int from, int a, int b) {
    auto rank = [&](int li, i64& dx, i64& dy) {
        dx = graph.nodes[graph.To(li)].x - graph.nodes[from].x;
        dy = graph.nodes[graph.To(li)].y - graph.nodes[from].y;
        const int side = Sign(Cross(inX, inY, dx, dy));
        if (side < 0) return 0;
        if (side > 0) return 2;
        return static_cast<i128>(inX) * dx + static_cast<i128>(inY) * dy > 0 ? 1 : 3;
    };
    i64 ax, ay, bx, by;
    const int ra = rank(a, ax, ay), rb = rank(b, bx, by);
    if (ra != rb) return rb < ra;
    if (ra == 0 || ra == 2) return Sign(Cross(bx, by, ax, ay)) > 0;
    return false;
}

// The same with left and right exchanged.
bool TurnsFurtherLeft(const WorkGraph& graph, i64 inX, i64 inY, int from, int a, int b) {
    auto rank = [&](int li, i64& dx, i64& dy) {
        dx = graph.nodes[graph.To(li)].x - graph.nodes[from].x;
        dy = graph.nodes[graph.To(li)].y - graph.nodes[from].y;
        const int side = Sign(Cross(inX, inY, dx, dy));
        if (side > 0) return 0;
        if (side < 0) return 2;
        return static_cast<i128>(inX) * dx + static_cast<i128>(inY) * dy > 0 ? 1 : 3;
    };
    i64 ax, ay, bx, by;
    const int ra = rank(a, ax, ay), rb = rank(b, bx, by);
    if (ra != rb) return rb < ra;
    if (ra == 0 || ra == 2) return Sign(Cross(bx, by, ax, ay)) < 0;
    return false;
}

// Lists of links per node in one array (compressed rows).
struct Adjacency {
    std::vector<int> offsets;
    std::vector<int> items;
    std::span<const int> operator[](int node) const {
        return {items.data() + offsets[node], items.data() + offsets[node + 1]};
    }
};

// Links at each node: by their From node (outgoing) or at both ends.
Adjacency MakeAdjacency(const WorkGraph& graph, bool outgoingOnly) {
    Adjacency a;
    a.offsets.assign(graph.nodes.size() + 1, 0);
    for (std::size_t i = 0; i < graph.links.size(); ++i) {
        if (outgoingOnly) {
            ++a.offsets[graph.From(static_cast<int>(i)) + 1];
        } else {
            ++a.offsets[graph.links[i].begin + 1];
            ++a.offsets[graph.links[i].end + 1];
        }
    }
    for (std::size_t n = 0; n < graph.nodes.size(); ++n) a.offsets[n + 1] += a.offsets[n];
    a.items.resize(static_cast<std::size_t>(a.offsets.back()));
    std::vector<int> fill(a.offsets.begin(), a.offsets.end() - 1);
    for (std::size_t i = 0; i < graph.links.size(); ++i) {
        if (outgoingOnly) {
            a.items[fill[graph.From(static_cast<int>(i))]++] = static_cast<int>(i);
        } else {
            a.items[fill[graph.links[i].begin]++] = static_cast<int>(i);
            a.items[fill[graph.links[i].end]++] = static_cast<int>(i);
        }
    }
    return a;
}

// How a walk chooses at a junction (a node of more than two links).
// `KeepGapsApart`: an outer contour takes the sharpest left turn and a hole
// the sharpest right, and a walk ends at its start node. Each gap of the
// result (outside or hole) keeps its own contour, so pieces of the result
// touching at a point become one contour passing the point twice, and a hole
// touching another boundary at a point is a contour of its own, joined later.
// `KeepPiecesApart` (the fallback): the other way round, and a walk ends only
// when it would leave its start node along its first link again; pieces
// touching at a point stay separate contours and a hole touching a boundary
// is walked as part of it.
enum class TurnRule { KeepGapsApart, KeepPiecesApart };

// Positions where a hole shares its top node with another boundary: the
// second collection joins the hole there by walking into it.
using JoinPoints = std::vector<Point64>;

bool IsJoinPoint(const JoinPoints& points, const Point64& p) {
    if (points.empty()) return false;
    const auto less = [](const Point64& a, const Point64& b) { return a.x != b.x ? a.x < b.x : a.y < b.y; };
    const auto it = std::lower_bound(points.begin(), points.end(), p, less);
    return it != points.end() && *it == p;
}

// "Extract simples": walks every contour of the result, seeds taken in
// extraction order; `firstVariant` decides holes from the region below the
// top link, otherwise from the links' hole flags.
std::vector<Walked> Collect(WorkGraph& graph, bool firstVariant, TurnRule rule, const JoinPoints& joins) {
    // Marks in an array of their own: the seeds come in extraction order
    // (by Y), which is far from the order links are stored in.
    std::vector<char> marked(graph.links.size(), 0);
    const Adjacency outgoing = MakeAdjacency(graph, true);
    const Adjacency incident = MakeAdjacency(graph, false);
    auto degreeOf = [&](int node) { return incident.offsets[node + 1] - incident.offsets[node]; };
    // Extraction order: higher Y descending, then lower X descending.
    struct Key {
        i64 topY;
        i64 lowX;
        int link;
    };
    std::vector<Key> keys(graph.links.size());
    for (std::size_t i = 0; i < graph.links.size(); ++i) {
        const Point64 a = graph.nodes[graph.links[i].begin], b = graph.nodes[graph.links[i].end];
        keys[i] = Key{std::max(a.y, b.y), std::min(a.x, b.x), static_cast<int>(i)};
    }
    std::sort(keys.begin(), keys.end(), [](const Key& p, const Key& q) {
        if (p.topY != q.topY) return p.topY > q.topY;
        if (p.lowX != q.lowX) return p.lowX > q.lowX;
        return p.link < q.link;
    });
    std::vector<int> order(graph.links.size());
    for (std::size_t i = 0; i < keys.size(); ++i) order[i] = keys[i].link;
    // The link that follows each link where it ends at a node of two links
    // (the one link leaving it; -1: none), -2 where the walk must choose.
    // Worked out in storage order, so that the walks mostly read this array.
    std::vector<int> follow(graph.links.size());
    for (std::size_t i = 0; i < graph.links.size(); ++i) {
        const int at = graph.To(static_cast<int>(i));
        const std::span<const int> out = outgoing[at];
        follow[i] = degreeOf(at) != 2 || out.size() > 1 ? -2 : (out.empty() ? -1 : out[0]);
    }

    // Where a hole is joined (both ends of a cut, shared top nodes) the walk
    // must turn into the hole and back out of it, which is the choice of
    // `KeepPiecesApart`: the sharpest left of `KeepGapsApart` would pass a cut
    // that leaves a boundary to its right, and a walk that started at the top
    // of a cut would end before taking it.
    std::vector<char> cutEnd;
    if (!firstVariant && rule == TurnRule::KeepGapsApart) {
        cutEnd.assign(graph.nodes.size(), 0);
        for (const Link& l : graph.links)
            if (l.bridge) cutEnd[l.begin] = cutEnd[l.end] = 1;
    }
    auto joinsHole = [&](int node) {
        return (!cutEnd.empty() && cutEnd[node]) || IsJoinPoint(joins, graph.nodes[node]);
    };

    std::vector<Walked> result;
    for (int seed : order) {
        if (marked[seed]) continue;
        const Link& s = graph.links[seed];
        const int upper = graph.nodes[s.end].y > graph.nodes[s.begin].y ? s.end : s.begin;
        // The flattest unmarked link at the upper node.
        int first = -1;
        i128 bestDx = 0, bestDy = 1;  // slope as |dy| / |dx|, vertical when dx == 0
        for (int li : incident[upper]) {
            if (marked[li]) continue;
            i128 dx = static_cast<i128>(graph.nodes[graph.links[li].end].x) - graph.nodes[graph.links[li].begin].x;
            i128 dy = static_cast<i128>(graph.nodes[graph.links[li].end].y) - graph.nodes[graph.links[li].begin].y;
            if (dx < 0) dx = -dx;
            if (dy < 0) dy = -dy;
            if (first < 0 || (dx != 0 && (bestDx == 0 || dy * bestDx < bestDy * dx))) {
                first = li;
                bestDx = dx;
                bestDy = dy;
            }
        }
        if (first < 0) {
            char text[160];
            std::snprintf(text, sizeof text,
                          firstVariant ? "no NON flat link Collectgraph for operation at %15.3lf , %15.3lf"
                                       : "no NON flat link Collectgraph at %15.3lf , %15.3lf",
                          static_cast<double>(graph.nodes[upper].x), static_cast<double>(graph.nodes[upper].y));
            Fail(text, "Error");
        }
        bool hole;
        if (firstVariant) {
            const Link& f = graph.links[first];
            const std::uint8_t lowerSide = graph.RunsRight(f) ? f.resultRight : f.resultLeft;
            hole = !(lowerSide & graph.resultFlag);
        } else {
            hole = graph.links[first].hole;
        }
        Walked walked{{},
                      hole,
                      std::max(graph.nodes[s.begin].y, graph.nodes[s.end].y),
                      std::min(graph.nodes[s.begin].x, graph.nodes[s.end].x)};
        auto take = [&](int li) {
            marked[li] = 1;
            // Hole flags start clear; the second collection needs them no more.
            if (hole && firstVariant) graph.links[li].hole = true;
            walked.links.push_back(li);
        };
        take(first);
        if (hole) graph.links[first].topOfHole = true;
        const int start = graph.From(first);
        const bool stopAtStart = rule == TurnRule::KeepGapsApart && !joinsHole(start);
        int current = first;
        for (;;) {
            int next = follow[current];
            if (next >= 0 && !marked[next]) {
                take(next);
                current = next;
                continue;
            }
            const int at = graph.To(current);
            if (stopAtStart && at == start) break;
            if (next != -2) {
                next = -1;  // the one link out of a node of two is taken already
            } else if (degreeOf(at) == 2) {
                for (int li : outgoing[at])
                    if (!marked[li]) next = li;
            } else {
                const i64 inX = graph.nodes[at].x - graph.nodes[graph.From(current)].x;
                const i64 inY = graph.nodes[at].y - graph.nodes[graph.From(current)].y;
                // `KeepGapsApart` turns sharpest left in holes too: then the
                // pairing at a junction does not depend on which walk gets
                // there first, and the second walk pairs as the first did.
                bool left = rule == TurnRule::KeepGapsApart || hole;
                if (joinsHole(at)) left = !left;
                for (int li : outgoing[at]) {
                    if (marked[li] && !(at == start && li == first)) continue;
                    if (next < 0 || (left ? TurnsFurtherLeft(graph, inX, inY, at, next, li)
                                          : TurnsFurtherRight(graph, inX, inY, at, next, li)))
                        next = li;
                }
            }
            if (at == start && (next < 0 || next == first)) break;
            if (next < 0) Fail("no next (endpoint != beginpoint)", "graph");
            take(next);
            current = next;
        }
        result.push_back(std::move(walked));
    }
    return result;
}

// A hole's top node and the boundary found directly above it.
struct HoleQuery {
    int node;
    int link;  // the lowest link above, -1 when none
    ExactY y;
};

// The end of link `l` (the boundary directly above hole node `h`) to take as
// the top of the cut instead of the point `p` on `l` above `h`, or -1. A cut
// ending within the marge of an end of `l`, off the grid, would leave that end
// and the cut's top closer than a grid step can tell apart: read back on the
// grid the walk doubles back on itself there or the cut crosses `l`. The
// bridge then runs from `h` to that end, which is safe when no node but these
// two lies within a grid step of the triangle of `h`, `p` and the end: no
// link crosses the vertical from `h` to `p` or the piece of `l` from `p` to
// the end, and none passes within the marge of `h` or the end (noding), so a
// link near the bridge, even once read back on the grid, would have to end
// there. `live` (nodes with links) and `byColumn` (live nodes by (x, y), when
// noding has not kept them) are built on first use.
int NearEnd(WorkGraph& graph, const Link& l, int h, Point64 p, std::vector<char>& live,
            std::vector<SortedNode>& byColumn) {
    auto near = [&](int n) {
        const Point64 e = graph.nodes[n];
        return e.x - p.x <= graph.marge && p.x - e.x <= graph.marge && e.y - p.y <= graph.marge &&
               p.y - e.y <= graph.marge;
    };
    const Point64 a = graph.nodes[l.begin], b = graph.nodes[l.end];
    int end = -1;
    if (near(l.begin)) end = l.begin;
    if (near(l.end) && (end < 0 || std::abs(b.x - p.x) < std::abs(a.x - p.x))) end = l.end;
    if (end < 0) return -1;
    const Point64 hp = graph.nodes[h], e = graph.nodes[end];
    // Points on the grid read back exactly: the cut stays vertical (so that
    // axis-parallel input gives axis-parallel output).
    const i64 step = graph.engine.GetGrid();
    if (step > 0 && hp.x % step == 0 && p.y % step == 0 && e.x % step == 0 && e.y % step == 0) return -1;
    if (live.empty()) {
        live.assign(graph.nodes.size(), 0);
        for (const Link& k : graph.links) live[k.begin] = live[k.end] = 1;
    }
    if (graph.settled) RefreshSorted(graph);
    if (!graph.settled && byColumn.empty()) {
        for (std::size_t n = 0; n < graph.nodes.size(); ++n)
            if (live[n]) byColumn.push_back({graph.nodes[n].x, graph.nodes[n].y, static_cast<int>(n)});
        std::sort(byColumn.begin(), byColumn.end());
    }
    // Settled nodes are kept by column (dead ones included) since noding.
    const std::vector<SortedNode>& columns = graph.settled ? graph.columns : byColumn;
    const i64 x0 = std::min(hp.x, e.x) - std::max<i64>(step, 1), x1 = std::max(hp.x, e.x) + std::max<i64>(step, 1);
    const i64 y0 = hp.y, y1 = std::max(p.y, e.y);
    for (auto it = std::lower_bound(columns.begin(), columns.end(), SortedNode{x0, y0, INT32_MIN});
         it != columns.end() && it->major <= x1;) {
        if (it->minor > y1) {
            it = std::lower_bound(it, columns.end(), SortedNode{it->major, INT64_MAX, INT32_MAX});
            continue;
        }
        if (it->minor < y0) {
            it = std::lower_bound(it, columns.end(), SortedNode{it->major, y0, INT32_MIN});
            continue;
        }
        if (it->id != h && it->id != end && static_cast<std::size_t>(it->id) < live.size() && live[it->id]) return -1;
        ++it;
    }
    return end;
}

// Cuts the boundary above each hole's top node and adds the bridge links.
bool JoinHoles(WorkGraph& graph, const std::vector<HoleQuery>& queries) {
    struct Join {
        int node;    // top node of the hole
        int above;   // link to cut at the top of the bridge, or -1
        int target;  // node at the top of the bridge
        i64 y;       // top of the bridge when a link is cut
        bool hole;   // hole flag of the boundary above
    };
    std::vector<Join> joins;
    std::vector<char> live;
    std::vector<SortedNode> nodesByColumn;
    for (const HoleQuery& q : queries) {
        if (q.link < 0) Fail("hole without a contour above it", "Error");
        const Link& l = graph.links[q.link];
        const i64 hx = graph.nodes[q.node].x;
        int node = -1;
        i64 y;
        if (graph.nodes[l.begin].x == graph.nodes[l.end].x) {
            node = graph.nodes[l.begin].y < graph.nodes[l.end].y ? l.begin : l.end;
            y = graph.nodes[node].y;
        } else {
            if (graph.nodes[l.begin].x == hx) node = l.begin;
            if (graph.nodes[l.end].x == hx) node = l.end;
            // The line's Y truncated toward zero.
            y = static_cast<i64>(q.y.whole + (q.y.whole < 0 && q.y.remainder > 0 ? 1 : 0));
            if (node < 0) node = NearEnd(graph, l, q.node, Point64{hx, y}, live, nodesByColumn);
        }
        joins.push_back(Join{q.node, node >= 0 ? -1 : q.link, node, y, l.hole});
    }
    if (joins.empty()) return false;
    graph.cuts.clear();
    for (Join& j : joins) {
        if (j.above < 0) continue;
        j.target = graph.AddNode(Point64{graph.nodes[j.node].x, j.y});
        graph.cuts.push_back({j.above, j.target});
    }
    ApplyCuts(graph);
    for (const Join& j : joins) {
        for (int li : {graph.AddLink(j.target, j.node, 0, GroupA), graph.AddLink(j.node, j.target, 0, GroupA)}) {
            graph.links[li].bridge = true;
            graph.links[li].resultRight = graph.resultFlag;
            graph.links[li].hole = j.hole;
        }
    }
    return true;
}

// A hole's top node: the upper end of its top link, the left end when level.
int TopNode(const WorkGraph& graph, const Link& top) {
    const Point64 a = graph.nodes[top.begin], b = graph.nodes[top.end];
    return a.y != b.y ? (a.y > b.y ? top.begin : top.end) : (a.x < b.x ? top.begin : top.end);
}

// "LINKHOLES": joins each hole to the boundary directly above its top node
// by a pair of vertical bridge links; returns whether anything was joined.
// Up to 16 holes ask every link directly; more are answered by one sweep
// over X (below).
// A hole whose top node lies on another boundary gets no cut: with
// `KeepPiecesApart` the walk reaches it through that node anyway, with
// `KeepGapsApart` the node goes into `joins`.
bool LinkHoles(WorkGraph& graph, const std::vector<Walked>& contours, const std::vector<int>& degree, TurnRule rule,
               JoinPoints& joins) {
    std::vector<HoleQuery> queries;
    // A hole can be entered through its top node only where another boundary
    // passes it: an outer one or a hole whose own top node lies elsewhere
    // (which gets a cut or is entered itself). Holes that meet only at their
    // common top node get one cut like a hole on its own.
    std::vector<int> topOf(graph.links.size(), -1);
    for (const Walked& c : contours) {
        if (!c.hole) continue;
        const int h = TopNode(graph, graph.links[c.links.front()]);
        for (int li : c.links) topOf[li] = h;
    }
    std::vector<char> passed(graph.nodes.size(), 0);
    for (std::size_t i = 0; i < graph.links.size(); ++i) {
        const Link& l = graph.links[i];
        if (topOf[i] != l.begin) passed[l.begin] = 1;
        if (topOf[i] != l.end) passed[l.end] = 1;
    }
    for (const Walked& c : contours) {
        if (!c.hole) continue;
        const int h = TopNode(graph, graph.links[c.links.front()]);
        if (degree[h] > 2 && passed[h]) {
            if (rule == TurnRule::KeepGapsApart) joins.push_back(graph.nodes[h]);
            continue;
        }
        queries.push_back({h, -1, ExactY{}});
    }
    // Holes touching at their common top node share one cut.
    std::sort(queries.begin(), queries.end(), [](const HoleQuery& p, const HoleQuery& q) { return p.node < q.node; });
    queries.erase(std::unique(queries.begin(), queries.end(),
                              [](const HoleQuery& p, const HoleQuery& q) { return p.node == q.node; }),
                  queries.end());
    std::sort(joins.begin(), joins.end(),
              [](const Point64& a, const Point64& b) { return a.x != b.x ? a.x < b.x : a.y < b.y; });
    if (queries.empty()) return false;
    // The lowest boundary strictly above the query node; on equal Y the
    // lowest link number.
    auto offer = [](HoleQuery& q, int li, const ExactY& y) {
        if (q.link < 0 || CompareExact(y, q.y) < 0 || (CompareExact(y, q.y) == 0 && li < q.link)) {
            q.link = li;
            q.y = y;
        }
    };
    if (queries.size() <= 16) {
        // Few holes: every link is asked directly.
        for (HoleQuery& q : queries) {
            const Point64 hp = graph.nodes[q.node];
            for (std::size_t i = 0; i < graph.links.size(); ++i) {
                const Link& l = graph.links[i];
                const Point64 a = graph.nodes[l.begin], b = graph.nodes[l.end];
                if (a.x == b.x) {
                    const i64 lower = std::min(a.y, b.y);
                    if (a.x == hp.x && lower > hp.y) offer(q, static_cast<int>(i), ExactY{lower, 0, 1});
                    continue;
                }
                if (std::min(a.x, b.x) > hp.x || std::max(a.x, b.x) < hp.x) continue;
                if (a.y == b.y) {
                    if (a.y > hp.y) offer(q, static_cast<int>(i), ExactY{a.y, 0, 1});
                    continue;
                }
                if (l.begin == q.node || l.end == q.node) continue;
                Point64 left, right;
                graph.Ends(l, left, right);
                const ExactY y = YAt(left, right, hp.x);
                if (CompareToInteger(y, hp.y) > 0) offer(q, static_cast<int>(i), y);
            }
        }
        return JoinHoles(graph, queries);
    }
    // Many holes: one sweep over X. A link with an end at the query's X
    // reaches it through that end node: the lowest node above the query node
    // in its column is one candidate (of the links there, the lowest link
    // number as the boundary above, verticals by their lower end). The links
    // that span the X strictly wait in a beam ordered by their Y at the
    // sweep X (the arrangement is planar, so the order holds between
    // events); the first one above the query node is the other candidate.
    const Adjacency incident = MakeAdjacency(graph, false);
    // Nodes by (x, y): the columns kept by noding (nodes without links are
    // passed over below), or sorted here when noding did not run.
    std::vector<SortedNode> own;
    if (!graph.settled) {
        for (std::size_t n = 0; n < graph.nodes.size(); ++n)
            if (incident.offsets[n + 1] > incident.offsets[n])
                own.push_back({graph.nodes[n].x, graph.nodes[n].y, static_cast<int>(n)});
        std::sort(own.begin(), own.end());
    } else {
        RefreshSorted(graph);
    }
    const std::vector<SortedNode>& column = graph.settled ? graph.columns : own;
    std::size_t columnHint = 0;
    struct Event {
        i64 x;
        int kind;  // 0 leave, 1 query, 2 enter
        int index;
    };
    std::vector<Event> events;
    std::vector<Record> records(graph.links.size());
    for (std::size_t i = 0; i < graph.links.size(); ++i) {
        Record& r = records[i];
        r.link = static_cast<int>(i);
        graph.Ends(graph.links[i], r.left, r.right);
        r.level = r.left.y == r.right.y;
        if (r.left.x == r.right.x) continue;
        events.push_back({r.left.x, 2, static_cast<int>(i)});
        events.push_back({r.right.x, 0, static_cast<int>(i)});
    }
    for (std::size_t q = 0; q < queries.size(); ++q)
        events.push_back({graph.nodes[queries[q].node].x, 1, static_cast<int>(q)});
    std::sort(events.begin(), events.end(), [](const Event& p, const Event& q) {
        if (p.x != q.x) return p.x < q.x;
        if (p.kind != q.kind) return p.kind < q.kind;
        return p.index < q.index;
    });
    i64 sweepX = 0;
    i64 probeY = 0;
    // Bottom to top at the sweep X; -1 is the query point.
    auto lower = [&](int a, int b) {
        if (a == b) return false;
        if (a < 0) return CompareAt(records[b], sweepX, probeY) > 0;
        if (b < 0) return CompareAt(records[a], sweepX, probeY) < 0;
        const Record& p = records[a];
        const Record& q = records[b];
        int c;
        if (p.level && q.level)
            c = p.left.y < q.left.y ? -1 : (p.left.y > q.left.y ? 1 : 0);
        else if (p.level)
            c = -CompareAt(q, sweepX, p.left.y);
        else if (q.level)
            c = CompareAt(p, sweepX, q.left.y);
        else
            c = CompareYAt(p.left, p.right, q.left, q.right, sweepX);
        if (c != 0) return c < 0;
        const int s =
            Sign(Cross(p.right.x - p.left.x, p.right.y - p.left.y, q.right.x - q.left.x, q.right.y - q.left.y));
        if (s != 0) return s > 0;
        return a < b;
    };
    std::set<int, decltype(lower)> beam(lower);
    std::vector<std::set<int, decltype(lower)>::iterator> where(graph.links.size(), beam.end());
    for (const Event& e : events) {
        sweepX = e.x;
        if (e.kind == 2) {
            where[e.index] = beam.insert(e.index).first;
            continue;
        }
        if (e.kind == 0) {
            beam.erase(where[e.index]);
            continue;
        }
        HoleQuery& q = queries[static_cast<std::size_t>(e.index)];
        const Point64 hp = graph.nodes[q.node];
        probeY = hp.y;
        // The lowest node with links above in the column (queries come in X
        // order, so each search starts where the previous one ended).
        columnHint = GallopLowerBound(column, columnHint, SortedNode{hp.x, hp.y, INT32_MAX});
        auto c = column.begin() + static_cast<std::ptrdiff_t>(columnHint);
        while (c != column.end() && c->major == hp.x && (c->minor == hp.y || incident[c->id].empty())) ++c;
        if (c != column.end() && c->major == hp.x) {
            int best = -1;
            for (int li : incident[c->id]) {
                const Point64 a = graph.nodes[graph.links[li].begin], b = graph.nodes[graph.links[li].end];
                if (a.x == b.x && std::min(a.y, b.y) != c->minor) continue;  // a vertical going down from it
                if (best < 0 || li < best) best = li;
            }
            if (best >= 0) offer(q, best, ExactY{c->minor, 0, 1});
        }
        auto it = beam.upper_bound(-1);
        if (it != beam.end()) {
            const Record& r = records[*it];
            offer(q, *it, r.level ? ExactY{r.left.y, 0, 1} : YAt(r.left, r.right, hp.x));
        }
    }
    return JoinHoles(graph, queries);
}

// Keeps the links on the boundary of the result of the operation.
void KeepResult(WorkGraph& graph) {
    for (Link& l : graph.links) {
        l.mark = l.doubled = false;
        if (!((l.resultLeft | l.resultRight) & graph.resultFlag)) l.alive = false;
    }
    graph.Compact();
}

}  // namespace

namespace {

// The links, nodes and noding state that extraction changes, kept in case
// the walk has to be done again with the other turn rule.
struct Snapshot {
    std::vector<Point64> nodes;
    std::vector<Link> links;
    std::vector<SortedNode> rows, columns;
    std::size_t sortedNodes;
    std::vector<char> used;

    explicit Snapshot(const WorkGraph& g)
        : nodes(g.nodes), links(g.links), rows(g.rows), columns(g.columns), sortedNodes(g.sortedNodes), used(g.used) {}
    void Restore(WorkGraph& g) {
        g.nodes = std::move(nodes);
        g.links = std::move(links);
        g.rows = std::move(rows);
        g.columns = std::move(columns);
        g.sortedNodes = sortedNodes;
        g.used = std::move(used);
        for (Link& l : g.links) l.hole = l.topOfHole = false;
    }
};

// Twice the signed area of a walked contour (negative: clockwise), in long
// double: only its sign is used, and a contour that is not clockwise is far
// from zero.
long double WalkedArea(const WorkGraph& graph, const Walked& walked) {
    long double sum = 0;
    const Point64 origin = graph.nodes[graph.From(walked.links.front())];
    for (int li : walked.links) {
        const Point64 a = graph.nodes[graph.From(li)], b = graph.nodes[graph.To(li)];
        sum += static_cast<long double>(a.x - origin.x) * static_cast<long double>(b.y - origin.y) -
               static_cast<long double>(b.x - origin.x) * static_cast<long double>(a.y - origin.y);
    }
    return sum;
}

// Walks, joins holes and walks again with one turn rule. With
// `KeepGapsApart` the walks can leave a hole that is not joined to the
// contour around it (where holes touch each other or a boundary at a point,
// a walk may pass the node where the hole was to be entered) or a cut
// without a boundary above it; then the graph goes back to how it was after
// the first walk and `retry` is set, for the other rule.
std::vector<Walked> ExtractWith(WorkGraph& graph, TurnRule rule, bool& retry) {
    retry = false;
    graph.engine.ReportStage("Extract simples first ");
    std::vector<Walked> contours = Collect(graph, true, rule, {});
    graph.engine.ReportStage("Linking Holes");
    if (graph.links.empty()) return contours;
    const bool anyHole = std::any_of(contours.begin(), contours.end(), [](const Walked& c) { return c.hole; });
    if (!anyHole && rule == TurnRule::KeepGapsApart) {
        // Without holes the first walk changed nothing in the graph. A walk
        // that met a hole at a junction before the outer contour around it
        // (the hole touches a piece of the result outside it at a pinch
        // point) has taken the hole into that piece: not clockwise.
        for (const Walked& c : contours)
            if (WalkedArea(graph, c) >= 0) retry = true;
    }
    if (!anyHole || !graph.engine.joinHoles) return contours;
    graph.engine.ReportStage("LINKHOLES\n");
    std::vector<int> degree(graph.nodes.size(), 0);
    for (const Link& l : graph.links) {
        ++degree[l.begin];
        ++degree[l.end];
    }
    std::unique_ptr<Snapshot> snapshot;
    if (rule == TurnRule::KeepGapsApart) snapshot = std::make_unique<Snapshot>(graph);
    try {
        const std::size_t before = graph.nodes.size();
        JoinPoints joins;
        const bool cut = LinkHoles(graph, contours, degree, rule, joins);
        if (!cut && joins.empty()) return contours;
        if (cut) {
            if (graph.settled) {
                // Only the new ends of the cuts can lie that close to another node.
                graph.UpdateUsed();
                std::vector<int> fresh;
                for (std::size_t n = before; n < graph.nodes.size(); ++n)
                    if (graph.used[n]) fresh.push_back(static_cast<int>(n));
                MergeAround(graph, 1, fresh);
            } else {
                MergeNodes(graph, 1);
            }
        }
        graph.engine.ReportStage("extract simples last");
        KeepResult(graph);
        contours = Collect(graph, false, rule, joins);
    } catch (const Bool_Engine_Error&) {
        if (!snapshot) throw;
        retry = true;
    }
    if (snapshot && !retry) {
        for (const Walked& c : contours)
            if (c.hole || WalkedArea(graph, c) >= 0) retry = true;
    }
    if (retry) snapshot->Restore(graph);
    return contours;
}

}  // namespace

std::vector<Walked> Extract(WorkGraph& graph, BooleanOperation operation) {
    graph.engine.ReportStage("Performing Operation");
    switch (operation) {
        case OpOr: graph.resultFlag = kUnion; break;
        case OpAnd: graph.resultFlag = kAnd; break;
        case OpExor: graph.resultFlag = kExor; break;
        case OpAMinusB: graph.resultFlag = kAMinusB; break;
        case OpBMinusA: graph.resultFlag = kBMinusA; break;
        default: Fail("Wrong operation", "Command Error");
    }
    KeepResult(graph);
    if (!graph.settled) MergeNodes(graph, 0);  // settled nodes never coincide
    bool retry = false;
    std::vector<Walked> contours = ExtractWith(graph, TurnRule::KeepGapsApart, retry);
    if (retry) contours = ExtractWith(graph, TurnRule::KeepPiecesApart, retry);
    return contours;
}

}  // namespace zandor::boolean_detail
