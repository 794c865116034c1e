// The coverage sweep for axis-parallel input: the exact boundary of the
// region where the operation holds, from the vertical links of the input,
// forming no crossing inside or outside the region; touching corners give a
// node of four links. Internal; not part of the interface.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "geometry/BooleanInternal.h"

namespace zandor::boolean_detail {

// A vertical link of an axis-parallel input: it spans [ylo, yhi] at x, and
// the coverage count of its group changes by `delta` crossing it from left
// to right.
struct ScanEdge {
    i64 x;
    i64 ylo;
    i64 yhi;
    int delta;
    std::uint8_t group;  // 0 = A, 1 = B
};

// Whether a point lies in the result, from the coverage counts of group A
// and group B there, looked up by their signs.
struct StatusTable {
    bool value[3][3] = {};  // [sign(a) + 1][sign(b) + 1]
    bool operator()(int a, int b) const { return value[(a > 0) - (a < 0) + 1][(b > 0) - (b < 0) + 1]; }
};

// The boundary of a region: links run with the region on their right.
struct ScanResult {
    std::vector<Point64> nodes;
    std::vector<std::array<int, 2>> links;  // begin, end node
};

// Boundary of the region where `status` holds, for axis-parallel input
// given by its vertical links (the level links follow from them). One sweep
// over X keeps the coverage counts along the sweep line; only where the
// status changes does it make nodes and links, so crossings inside the
// region or outside it are never formed. Nodes are distinct points; links
// meet only at nodes; a point where four links meet (touching corners)
// is one node. Exact: every coordinate of the result is an input coordinate.
// Counts that do not return to zero, or a status that holds on the empty
// plane, stop the operation with an engine error.
ScanResult ScanManhattan(std::vector<ScanEdge> edges, const StatusTable& status);

}  // namespace zandor::boolean_detail
