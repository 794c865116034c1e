// Noding makes the work graph planar with the marge: it merges nodes closer
// than the marge, splits links at nodes within the marge of them and at
// proper crossings, round after round until a round changes nothing; links
// that collapse to a point go, and a graph of two links or fewer is left as
// it is. Internal; not part of the interface.
#pragma once

#include <vector>

#include "geometry/BooleanWorkGraph.h"

namespace zandor::boolean_detail {

// Rounds of "Node to BoolLink 0", "intersect" and "Node to Node" after a
// first "Node to Node", until nothing changes; then every node lies more
// than the marge from every other node and from every link not ending at it,
// and no two links cross (`graph.settled`). `planar`: no two links cross yet,
// so the first crossing test only looks at links that merging moved. Stops
// with "crossing search does not settle" after 64 rounds. Returns whether
// anything changed.
bool NodeGraph(WorkGraph& graph, bool planar);

// "Node to Node" with the given tolerance over all live nodes: walking them
// in sweep order, each node takes every later one within the tolerance in X
// and in Y. True when anything merged or a link collapsed.
bool MergeNodes(WorkGraph& graph, i64 tolerance);

// The same merge restricted to the nodes within the tolerance of a node of
// `dirty` (the others are known to lie farther apart), which decides as the
// merge over all nodes would.
bool MergeAround(WorkGraph& graph, i64 tolerance, const std::vector<int>& dirty);

// Brings the sorted rows and columns of nodes up to date with the nodes made
// since the last call.
void RefreshSorted(WorkGraph& graph);

// Cuts every link at the nodes recorded for it in `graph.cuts`, ordered along
// the link; cut nodes at either end are passed over. The pieces keep the
// link's contour number, group and flags.
void ApplyCuts(WorkGraph& graph);

}  // namespace zandor::boolean_detail
