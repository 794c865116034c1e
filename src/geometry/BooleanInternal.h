// Internal pieces of the boolean engine shared by its source files
// (BooleanPipeline.cpp, BooleanScanline.cpp); not part of the interface.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace boolean_detail {

using i64 = std::int64_t;
using i128 = __int128;

struct Point {
  i64 x;
  i64 y;
  bool operator==(const Point&) const = default;
};

inline i128 Cross(i64 ax, i64 ay, i64 bx, i64 by) {
  return static_cast<i128>(ax) * by - static_cast<i128>(ay) * bx;
}

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
  std::vector<Point> nodes;
  std::vector<std::array<int, 2>> links;  // begin, end node
};

// Boundary of the region where `status` holds, for axis-parallel input
// given by its vertical links (the level links follow from them). One sweep
// over X keeps the coverage counts along the sweep line; only where the
// status changes does it make nodes and links, so crossings inside the
// region or outside it are never formed. Nodes are distinct points; links
// meet only at nodes; a point where four links meet (touching corners)
// is one node. Exact: every coordinate of the result is an input coordinate.
ScanResult ScanManhattan(std::vector<ScanEdge> edges, const StatusTable& status);

}  // namespace boolean_detail
