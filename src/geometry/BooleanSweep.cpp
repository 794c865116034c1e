// The count sweep over a planar work graph (see BooleanSweep.h).
//
// The beam is a std::set ordered by the exact Y at the sweep X (ties: larger
// slope on top, then link number). Because the arrangement is planar records
// never swap between nodes, and the links that start at a node take exactly
// the place of those that end there, which serves as the insertion hint.
#include "geometry/BooleanSweep.h"

#include <algorithm>
#include <iterator>
#include <set>

namespace zandor::boolean_detail {

namespace {

struct BeamOrder {
    const std::vector<Record>* records;
    const i64* sweepX;
    const Point64* probe;
    // True when record a lies above record b just right of the sweep X;
    // -1 stands for the probe point, taken with slope -infinity.
    bool operator()(int a, int b) const {
        if (a == b) return false;
        if (a < 0) return b >= 0 && !Above(b);
        if (b < 0) return Above(a);
        const Record& p = (*records)[a];
        const Record& q = (*records)[b];
        if (p.level && q.level) {
            if (p.left.y != q.left.y) return p.left.y > q.left.y;
            return p.link < q.link;
        }
        int c;
        if (p.level)
            c = -CompareAt(q, *sweepX, p.left.y);
        else if (q.level)
            c = CompareAt(p, *sweepX, q.left.y);
        else
            c = CompareYAt(p.left, p.right, q.left, q.right, *sweepX);
        if (c != 0) return c > 0;
        const int s =
            Sign(Cross(p.right.x - p.left.x, p.right.y - p.left.y, q.right.x - q.left.x, q.right.y - q.left.y));
        if (s != 0) return s < 0;
        return p.link < q.link;
    }
    bool Above(int a) const { return CompareAt((*records)[a], *sweepX, probe->y) >= 0; }
};

}  // namespace

void Sweep(const WorkGraph& graph, const std::vector<int>& subset, SweepVisit visit) {
    // The nodes of the subset in sweep order (X ascending, Y descending),
    // and per node the links of the subset at it.
    std::vector<int> order;
    const bool large = subset.size() * 8 >= graph.nodes.size();
    std::vector<char> seen;
    std::size_t distinct = 0;
    if (large) {
        seen.assign(graph.nodes.size(), 0);
        for (int li : subset)
            for (int n : {graph.links[li].begin, graph.links[li].end})
                if (!seen[n]) {
                    seen[n] = 1;
                    ++distinct;
                }
    }
    if (large && graph.sortedNodes == graph.nodes.size()) {
        // The columns hold every node in (X, Y, number) order: within each X
        // the runs of equal Y taken from the top give the sweep order without
        // sorting again. A node missing there (dropped as dead) sends the
        // subset to the sort below.
        order.reserve(distinct);
        VisitColumnsInSweepOrder(graph.columns, [&](int id) {
            if (seen[id]) order.push_back(id);
        });
        if (order.size() != distinct) order.clear();
    }
    if (order.empty()) {
        struct Key {
            i64 x;
            i64 y;
            int id;
        };
        std::vector<Key> keys;
        keys.reserve(large ? distinct : subset.size() * 2);
        if (large) {
            for (std::size_t n = 0; n < seen.size(); ++n)
                if (seen[n]) keys.push_back({graph.nodes[n].x, graph.nodes[n].y, static_cast<int>(n)});
        } else {
            for (int li : subset)
                for (int n : {graph.links[li].begin, graph.links[li].end})
                    keys.push_back({graph.nodes[n].x, graph.nodes[n].y, n});
        }
        std::sort(keys.begin(), keys.end(), [](const Key& p, const Key& q) {
            if (p.x != q.x) return p.x < q.x;
            if (p.y != q.y) return p.y > q.y;
            return p.id < q.id;
        });
        // Sorted duplicates of a small subset go.
        keys.erase(std::unique(keys.begin(), keys.end(), [](const Key& p, const Key& q) { return p.id == q.id; }),
                   keys.end());
        order.resize(keys.size());
        for (std::size_t i = 0; i < keys.size(); ++i) order[i] = keys[i].id;
    }
    // Place of a node in the order: a table over all nodes for a large
    // subset, a binary search for a small one (one contour).
    std::vector<int> table;
    if (large) {
        table.assign(graph.nodes.size(), -1);
        for (std::size_t i = 0; i < order.size(); ++i) table[order[i]] = static_cast<int>(i);
    }
    auto place = [&](int node) {
        if (!table.empty()) return table[node];
        return static_cast<int>(std::lower_bound(order.begin(), order.end(), node,
                                                 [&graph](int a, int b) { return graph.SweepBefore(a, b); }) -
                                order.begin());
    };
    std::vector<Record> records(subset.size());
    std::vector<int> firstAt(subset.size()), offsets(order.size() + 1, 0);
    for (std::size_t k = 0; k < subset.size(); ++k) {
        const Link& l = graph.links[subset[k]];
        const int pb = place(l.begin), pe = place(l.end);
        Record& r = records[k];
        r.link = subset[k];
        r.left = graph.nodes[pb < pe ? l.begin : l.end];
        r.right = graph.nodes[pb < pe ? l.end : l.begin];
        r.level = r.left.y == r.right.y;
        firstAt[k] = std::min(pb, pe);
        ++offsets[pb + 1];
        ++offsets[pe + 1];
    }
    for (std::size_t n = 0; n < order.size(); ++n) offsets[n + 1] += offsets[n];
    std::vector<int> atNode(static_cast<std::size_t>(offsets.back()));
    {
        std::vector<int> fill(offsets.begin(), offsets.end() - 1);
        for (std::size_t k = 0; k < subset.size(); ++k) {
            const Link& l = graph.links[subset[k]];
            atNode[fill[place(l.begin)]++] = static_cast<int>(k);
            atNode[fill[place(l.end)]++] = static_cast<int>(k);
        }
    }
    i64 sweepX = 0;
    Point64 probe{0, 0};
    using Beam = std::set<int, BeamOrder>;
    Beam beam(BeamOrder{&records, &sweepX, &probe});
    std::vector<Beam::iterator> where(subset.size(), beam.end());
    auto check = [&](int slot, int node, bool above) {
        const Record& r = records[slot];
        const int c = CompareAt(r, graph.nodes[node].x, graph.nodes[node].y);
        const Link& l = graph.links[r.link];
        const bool touches = l.begin == node || l.end == node;
        if ((above && c < 0) || (!above && c > 0) || (c == 0 && !touches)) Fail("beam out of order", "Error");
    };
    auto byLink = [&](int a, int b) { return records[a].link < records[b].link; };
    std::vector<int> ending, starting, vertical;
    for (std::size_t n = 0; n < order.size(); ++n) {
        const int node = order[n];
        sweepX = graph.nodes[node].x;
        probe = graph.nodes[node];
        ending.clear();
        starting.clear();
        vertical.clear();
        for (int k = offsets[n]; k < offsets[n + 1]; ++k) {
            const int slot = atNode[k];
            const Record& r = records[slot];
            if (firstAt[slot] != static_cast<int>(n))
                ending.push_back(slot);
            else
                (r.left.x == r.right.x ? vertical : starting).push_back(slot);
        }
        // Links ending here leave (top to bottom, as the old order had them);
        // in a planar arrangement they are neighbours in the beam, and the
        // links starting here take their place.
        std::sort(ending.begin(), ending.end(), byLink);
        Beam::iterator at = beam.end();
        bool known = false;
        for (int slot : ending) {
            if (records[slot].left.x == records[slot].right.x) continue;  // vertical: never in the beam
            auto it = where[slot];
            if (it == beam.end()) Fail("beam out of order", "Error");
            if (it != beam.begin()) check(*std::prev(it), node, true);
            if (std::next(it) != beam.end()) check(*std::next(it), node, false);
            at = beam.erase(it);
            known = true;
            where[slot] = beam.end();
        }
        if (!known) at = beam.lower_bound(-1);
        // Decreasing slope: top to bottom just right of the node.
        std::sort(starting.begin(), starting.end(), [&](int a, int b) {
            const Record& p = records[a];
            const Record& q = records[b];
            const int s =
                Sign(Cross(p.right.x - p.left.x, p.right.y - p.left.y, q.right.x - q.left.x, q.right.y - q.left.y));
            return s != 0 ? s < 0 : p.link < q.link;
        });
        for (int slot : starting) {
            const std::size_t before = beam.size();
            auto it = beam.insert(at, slot);
            if (beam.size() == before) Fail("beam out of order", "Error");
            where[slot] = it;
            const int above = it == beam.begin() ? -1 : *std::prev(it);
            if (above >= 0) check(above, node, true);
            if (std::next(it) != beam.end()) check(*std::next(it), node, false);
            visit(records[slot].link, above < 0 ? -1 : records[above].link);
        }
        if (!vertical.empty()) {
            // Vertical links lie at the node, below every link that starts
            // there (those leave it towards the right).
            if (!starting.empty()) at = std::next(where[starting.back()]);
            int above = at == beam.begin() ? -1 : records[*std::prev(at)].link;
            std::sort(vertical.begin(), vertical.end(), byLink);
            for (int slot : vertical) {
                visit(records[slot].link, above);
                above = records[slot].link;
            }
        }
    }
}

}  // namespace zandor::boolean_detail
