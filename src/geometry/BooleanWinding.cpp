// Winding counts and operation flags of the work graph (see BooleanWinding.h).
#include "geometry/BooleanWinding.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "geometry/BooleanSweep.h"

namespace zandor::boolean_detail {

namespace {

// Sets windingSense on every link: whether its contour's absolute winding
// rises crossing the link downward.
void SetWindingSenses(WorkGraph& graph) {
    int contours = 0;
    for (const Link& l : graph.links) contours = std::max(contours, l.graphNumber);
    std::vector<char> simple(static_cast<std::size_t>(contours) + 1, 1);
    std::vector<long double> area(static_cast<std::size_t>(contours) + 1, 0.0L), scale(area);
    {
        // Signed area (twice) of the links of each contour, in long double, and
        // whether each contour's pieces form one simple closed curve: in the
        // planar arrangement that means every node on it carries exactly two of
        // its links.
        // The contour numbers of the link ends at each node (compressed rows).
        std::vector<int> start(graph.nodes.size() + 1, 0);
        for (const Link& l : graph.links) {
            if (l.directed) continue;
            ++start[l.begin + 1];
            ++start[l.end + 1];
            const Point64 a = graph.nodes[l.begin], b = graph.nodes[l.end];
            const long double term = static_cast<long double>(a.x) * b.y - static_cast<long double>(b.x) * a.y;
            area[l.graphNumber] += term;
            scale[l.graphNumber] += std::fabs(term);
        }
        for (std::size_t n = 0; n + 1 < start.size(); ++n) start[n + 1] += start[n];
        std::vector<int> endsAt(static_cast<std::size_t>(start.back()));
        {
            std::vector<int> fill(start.begin(), start.end() - 1);
            for (const Link& l : graph.links) {
                if (l.directed) continue;
                endsAt[fill[l.begin]++] = l.graphNumber;
                endsAt[fill[l.end]++] = l.graphNumber;
            }
        }
        for (std::size_t n = 0; n + 1 < start.size(); ++n) {
            const auto first = endsAt.begin() + start[n], last = endsAt.begin() + start[n + 1];
            if (last - first == 2 && first[0] == first[1]) continue;  // the common case
            std::sort(first, last);
            for (auto i = first; i != last;) {
                auto j = i;
                while (j != last && *j == *i) ++j;
                if (j - i != 2) simple[*i] = 0;
                i = j;
            }
        }
    }
    // A simple contour with a clearly nonzero area: its absolute winding
    // rises crossing a link downward exactly when the link runs right with
    // the inside on its right (clockwise), or left when counter-clockwise.
    std::vector<char> reversed(simple.size(), 0);
    for (std::size_t g = 0; g < simple.size(); ++g) {
        if (simple[g] && std::fabs(area[g]) > scale[g] * 1e-12L)
            reversed[g] = area[g] > 0;
        else
            simple[g] = 0;
    }
    std::vector<int> order;
    for (std::size_t i = 0; i < graph.links.size(); ++i) {
        Link& l = graph.links[i];
        if (l.directed) {
            l.windingSense = graph.RunsRight(l);
        } else if (simple[l.graphNumber]) {
            l.windingSense = graph.RunsRight(l) != static_cast<bool>(reversed[l.graphNumber]);
        } else {
            order.push_back(static_cast<int>(i));
        }
    }
    if (order.empty()) return;
    // The others: per contour, the winding number below each link tells
    // whether the link raises or lowers that contour's absolute winding.
    std::vector<int> windingBelow(graph.links.size(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&graph](int a, int b) { return graph.links[a].graphNumber < graph.links[b].graphNumber; });
    for (std::size_t i = 0; i < order.size();) {
        std::size_t j = i;
        while (j < order.size() && graph.links[order[j]].graphNumber == graph.links[order[i]].graphNumber) ++j;
        std::vector<int> subset(order.begin() + i, order.begin() + j);
        Sweep(graph, subset, [&](int li, int above) {
            const int before = above < 0 ? 0 : windingBelow[above];
            const int after = before + (graph.RunsRight(graph.links[li]) ? 1 : -1);
            windingBelow[li] = after;
            graph.links[li].windingSense = std::abs(after) > std::abs(before);
        });
        i = j;
    }
}

// The result flag of every operation on a side, from its group flags.
std::uint8_t Results(std::uint8_t groups) {
    const bool a = groups & kInA, b = groups & kInB;
    return (a || b ? kUnion : 0) | (a && !b ? kAMinusB : 0) | (b && !a ? kBMinusA : 0) | (a && b ? kAnd : 0) |
           (a != b ? kExor : 0);
}

}  // namespace

void SetGroupFlags(WorkGraph& graph) {
    SetWindingSenses(graph);

    // Coincident links (same two nodes) are one boundary: the first stands
    // for all, the others are marked doubled and their counts add to it.
    std::vector<std::pair<std::uint64_t, int>> byEnds(graph.links.size());
    for (std::size_t i = 0; i < graph.links.size(); ++i) {
        const auto lo = static_cast<std::uint32_t>(std::min(graph.links[i].begin, graph.links[i].end));
        const auto hi = static_cast<std::uint32_t>(std::max(graph.links[i].begin, graph.links[i].end));
        byEnds[i] = {(static_cast<std::uint64_t>(lo) << 32) | hi, static_cast<int>(i)};
    }
    std::sort(byEnds.begin(), byEnds.end());
    std::vector<int> deltaA(graph.links.size(), 0), deltaB(graph.links.size(), 0);
    std::vector<int> representatives;
    for (std::size_t i = 0; i < byEnds.size();) {
        const int first = byEnds[i].second;
        representatives.push_back(first);
        for (const std::uint64_t key = byEnds[i].first; i < byEnds.size() && byEnds[i].first == key; ++i) {
            const Link& l = graph.links[byEnds[i].second];
            if (byEnds[i].second != first) graph.links[byEnds[i].second].doubled = true;
            (l.group == GroupA ? deltaA : deltaB)[first] += l.windingSense ? 1 : -1;
        }
    }
    std::sort(representatives.begin(), representatives.end());
    std::vector<int> countA(graph.links.size(), 0), countB(graph.links.size(), 0);
    Sweep(graph, representatives, [&](int li, int above) {
        int a = above < 0 ? 0 : countA[above];
        int b = above < 0 ? 0 : countB[above];
        const std::uint8_t upper = (a > 0 ? kInA : 0) | (b > 0 ? kInB : 0);
        a += deltaA[li];
        b += deltaB[li];
        const std::uint8_t lower = (a > 0 ? kInA : 0) | (b > 0 ? kInB : 0);
        countA[li] = a;
        countB[li] = b;
        Link& l = graph.links[li];
        if (graph.RunsRight(l)) {
            l.groupsLeft = upper;
            l.groupsRight = lower;
        } else {
            l.groupsRight = upper;
            l.groupsLeft = lower;
        }
    });
}

void SetOperationFlags(WorkGraph& graph) {
    for (Link& l : graph.links) {
        l.resultLeft = Results(l.groupsLeft);
        l.resultRight = Results(l.groupsRight);
        const std::uint8_t both = l.resultLeft & l.resultRight;
        l.resultLeft &= ~both;
        l.resultRight &= ~both;
    }
}

}  // namespace zandor::boolean_detail
