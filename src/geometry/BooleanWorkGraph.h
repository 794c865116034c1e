// The work graph of one boolean operation: nodes and links referring to each
// other by index, with their side and result flags and the state that noding
// keeps between rounds. Internal; not part of the interface.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "geometry/Bool_Engine.h"
#include "geometry/BooleanIndex.h"
#include "geometry/BooleanInternal.h"

namespace zandor::boolean_detail {

// Result flag bits, one per operation, kept for each side of a link.
enum : std::uint8_t { kUnion = 1, kAMinusB = 2, kBMinusA = 4, kAnd = 8, kExor = 16 };
// Group membership bits of a side.
enum : std::uint8_t { kInA = 1, kInB = 2 };

struct Link {  // 24 bytes: links are the bulk of the working memory
    int begin;
    int end;
    int graphNumber;
    int changed = 0;  // noding epoch in which the link was made or moved
    std::uint8_t group;
    bool alive : 1 = true;
    bool directed : 1 = false;  // windingSense follows the direction: the link has its region on the right
    bool windingSense : 1 = false;
    bool doubled : 1 = false;
    bool bridge : 1 = false;
    bool hole : 1 = false;
    bool topOfHole : 1 = false;
    bool mark : 1 = false;
    std::uint8_t groupsLeft = 0;
    std::uint8_t groupsRight = 0;
    std::uint8_t resultLeft = 0;
    std::uint8_t resultRight = 0;
};
static_assert(sizeof(Link) == 24);

// All contours of one operation as nodes and links referring to each other
// by index, with the state that noding keeps from one round to the next and
// the operation being extracted.
struct WorkGraph {
    explicit WorkGraph(Bool_Engine& owner) : engine(owner), marge(owner.GetInternalMarge()) {}

    Bool_Engine& engine;
    i64 marge;  // the merge distance in internal units (see Bool_Engine::GetInternalMarge)
    std::vector<Point64> nodes;
    std::vector<Link> links;

    // Noding bookkeeping: each stage tests only what changed since it last ran
    // (links by their `changed` stamp, nodes by number: new nodes come last).
    int epoch = 0;
    int lastSnap = 0, lastIntersect = 0;
    std::size_t nodesAtMerge = 0, nodesAtSnap = 0;
    std::vector<SortedNode> rows, columns;  // every node made so far, dead ones included
    std::size_t sortedNodes = 0;            // nodes [0, sortedNodes) are in rows and columns
    std::vector<char> used;                 // node has a live link (refreshed by UpdateUsed)
    struct Cut {
        int link;
        int node;
    };
    std::vector<Cut> cuts;
    // Node pairs whose links node-to-link cuts replaced by a path through other
    // nodes in a late round (see SnapStage), as (lower node << 32 | higher node).
    std::vector<std::uint64_t> reroutedPairs;
    int round = 0;         // the current noding round
    bool settled = false;  // noding has finished: nodes lie more than the marge apart

    // The result flag of the operation being extracted.
    std::uint8_t resultFlag = 0;

    int AddNode(Point64 p) {
        nodes.push_back(p);
        return static_cast<int>(nodes.size() - 1);
    }

    int AddLink(int begin, int end, int graphNumber, std::uint8_t group) {
        Link link{};
        link.begin = begin;
        link.end = end;
        link.graphNumber = graphNumber;
        link.group = group;
        link.changed = epoch;
        links.push_back(link);
        return static_cast<int>(links.size() - 1);
    }

    // Sweep order of nodes: X ascending, Y descending.
    bool SweepBefore(int a, int b) const {
        if (nodes[a].x != nodes[b].x) return nodes[a].x < nodes[b].x;
        if (nodes[a].y != nodes[b].y) return nodes[a].y > nodes[b].y;
        return a < b;
    }

    void UpdateUsed() {
        used.assign(nodes.size(), 0);
        for (const Link& l : links)
            if (l.alive) used[l.begin] = used[l.end] = 1;
    }

    std::vector<int> LiveNodes() {
        UpdateUsed();
        std::vector<int> result;
        for (std::size_t i = 0; i < used.size(); ++i)
            if (used[i]) result.push_back(static_cast<int>(i));
        return result;
    }

    // Drops the links that are no longer alive.
    void Compact() {
        std::size_t kept = 0;
        for (std::size_t i = 0; i < links.size(); ++i)
            if (links[i].alive) links[kept++] = links[i];
        links.resize(kept);
    }

    // Set when the link's end lies right of its begin, or below it for a vertical link.
    bool RunsRight(const Link& l) const {
        const Point64 a = nodes[l.begin], b = nodes[l.end];
        return a.x != b.x ? b.x > a.x : b.y < a.y;
    }

    // Left and right end of a non-vertical link.
    void Ends(const Link& l, Point64& left, Point64& right) const {
        left = nodes[l.begin];
        right = nodes[l.end];
        if (left.x > right.x) std::swap(left, right);
    }

    // Walking direction of each link: the result of the operation on its right.
    int From(int li) const { return links[li].resultRight & resultFlag ? links[li].begin : links[li].end; }
    int To(int li) const { return links[li].resultRight & resultFlag ? links[li].end : links[li].begin; }
};

}  // namespace zandor::boolean_detail
