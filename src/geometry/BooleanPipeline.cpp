// The operation behind Bool_Engine::Execute: simplify the input contours,
// node them (merge close vertices, split links at nearby vertices and at
// crossings) until the arrangement is planar, count windings with a sweep,
// keep the links that bound the result and walk them into contours.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include "geometry/Bool_Engine.h"

namespace boolean_detail {

using i64 = std::int64_t;
using i128 = __int128;

namespace {

struct Point {
  i64 x;
  i64 y;
  bool operator==(const Point&) const = default;
};

// Result flag bits, one per operation, kept for each side of a link.
enum : std::uint8_t { kUnion = 1, kAMinusB = 2, kBMinusA = 4, kAnd = 8, kExor = 16 };
// Group membership bits of a side.
enum : std::uint8_t { kInA = 1, kInB = 2 };

struct Link {
  int begin;
  int end;
  int graphNumber;
  std::uint8_t group;
  bool alive = true;
  bool windingSense = false;
  bool doubled = false;
  bool bridge = false;
  bool hole = false;
  bool topOfHole = false;
  bool mark = false;
  std::uint8_t groupsLeft = 0;
  std::uint8_t groupsRight = 0;
  std::uint8_t resultLeft = 0;
  std::uint8_t resultRight = 0;
};

}  // namespace

i128 Cross(i64 ax, i64 ay, i64 bx, i64 by) { return static_cast<i128>(ax) * by - static_cast<i128>(ay) * bx; }

namespace {

int Sign(i128 v) { return (v > 0) - (v < 0); }

// Y of a non-vertical segment at x, as an integer part and a remainder over dx.
struct ExactY {
  i128 whole;
  i128 remainder;  // 0 <= remainder < dx
  i128 dx;
};

ExactY YAt(Point left, Point right, i64 x) {
  const i128 dx = static_cast<i128>(right.x) - left.x;
  const i128 dy = static_cast<i128>(right.y) - left.y;
  const i128 product = (static_cast<i128>(x) - left.x) * dy;
  i128 quotient = product / dx;
  i128 remainder = product % dx;
  if (remainder < 0) {
    remainder += dx;
    quotient -= 1;
  }
  return ExactY{left.y + quotient, remainder, dx};
}

int CompareExact(const ExactY& a, const ExactY& b) {
  if (a.whole != b.whole) return a.whole < b.whole ? -1 : 1;
  return Sign(a.remainder * b.dx - b.remainder * a.dx);
}

int CompareToInteger(const ExactY& a, i64 value) {
  if (a.whole != value) return a.whole < value ? -1 : 1;
  return a.remainder > 0 ? 1 : 0;
}

}  // namespace

struct WorkGraph {
  Bool_Engine& engine;
  i64 grid;
  i64 marge;
  std::vector<Point> nodes;
  std::vector<Link> links;
  std::vector<std::vector<int>> crossings;  // per link, nodes to split it at
  std::vector<int> sweepSlot;               // scratch of Sweep: link -> place in its subset

  WorkGraph(Bool_Engine& owner) : engine(owner), grid(owner.m_GRID), marge(owner.GetInternalMarge()) {}

  [[noreturn]] static void Fail(const std::string& message, const std::string& header) {
    throw Bool_Engine_Error(message, header, 9, 1);
  }

  int AddNode(Point p) {
    nodes.push_back(p);
    return static_cast<int>(nodes.size() - 1);
  }

  int AddLink(int begin, int end, int graphNumber, std::uint8_t group) {
    Link link{};
    link.begin = begin;
    link.end = end;
    link.graphNumber = graphNumber;
    link.group = group;
    links.push_back(link);
    return static_cast<int>(links.size() - 1);
  }

  const Point& P(int node) const { return nodes[node]; }

  // Sweep order of nodes: X ascending, Y descending.
  bool SweepBefore(int a, int b) const {
    if (nodes[a].x != nodes[b].x) return nodes[a].x < nodes[b].x;
    if (nodes[a].y != nodes[b].y) return nodes[a].y > nodes[b].y;
    return a < b;
  }

  std::vector<int> LiveNodes() const {
    std::vector<char> used(nodes.size(), 0);
    for (const Link& l : links)
      if (l.alive) used[l.begin] = used[l.end] = 1;
    std::vector<int> result;
    for (std::size_t i = 0; i < used.size(); ++i)
      if (used[i]) result.push_back(static_cast<int>(i));
    return result;
  }

  void Compact() {
    std::vector<Link> kept;
    kept.reserve(links.size());
    for (const Link& l : links)
      if (l.alive) kept.push_back(l);
    links.swap(kept);
  }

  // "Node to Node": a node within the tolerance of an earlier one in sweep
  // order (in X and in Y) is merged into it; links that collapse go.
  bool MergeNodes(i64 tolerance) {
    std::vector<int> order = LiveNodes();
    std::sort(order.begin(), order.end(), [this](int a, int b) { return SweepBefore(a, b); });
    std::vector<int> target(nodes.size());
    std::iota(target.begin(), target.end(), 0);
    std::vector<char> merged(nodes.size(), 0);
    bool changed = false;
    for (std::size_t i = 0; i < order.size(); ++i) {
      const int first = order[i];
      if (merged[first]) continue;
      for (std::size_t j = i + 1; j < order.size(); ++j) {
        const int other = order[j];
        if (static_cast<i128>(nodes[other].x) - nodes[first].x > tolerance) break;
        if (merged[other]) continue;
        const i128 dy = static_cast<i128>(nodes[other].y) - nodes[first].y;
        if (dy <= tolerance && dy >= -tolerance) {
          target[other] = first;
          merged[other] = 1;
          changed = true;
        }
      }
    }
    if (changed) {
      for (Link& l : links) {
        l.begin = target[l.begin];
        l.end = target[l.end];
      }
    }
    for (Link& l : links)
      if (l.alive && l.begin == l.end) {
        l.alive = false;
        changed = true;
      }
    Compact();
    return changed;
  }

  // Nodes lying within the marge of a link (vertically, or horizontally as
  // seen after a quarter turn) that does not end at them split that link.
  bool SnapNodesToLinks() {
    const std::vector<int> live = LiveNodes();
    // Rows: nodes by (y, x); columns: nodes by (x, y). A link looks only at
    // the nodes in its box widened by the marge, walking whichever of rows
    // or columns crosses the box fewer times (a level link: the few rows
    // within the marge; a vertical one: the few columns).
    std::vector<Point> rows, columns;
    std::vector<int> rowNode, columnNode;
    {
      std::vector<int> order = live;
      std::sort(order.begin(), order.end(), [this](int a, int b) {
        return nodes[a].y != nodes[b].y ? nodes[a].y < nodes[b].y : nodes[a].x < nodes[b].x;
      });
      for (int n : order) {
        rows.push_back(Point{nodes[n].y, nodes[n].x});
        rowNode.push_back(n);
      }
      std::sort(order.begin(), order.end(), [this](int a, int b) {
        return nodes[a].x != nodes[b].x ? nodes[a].x < nodes[b].x : nodes[a].y < nodes[b].y;
      });
      for (int n : order) {
        columns.push_back(Point{nodes[n].x, nodes[n].y});
        columnNode.push_back(n);
      }
    }
    auto lexLess = [](const Point& p, const Point& q) { return p.x != q.x ? p.x < q.x : p.y < q.y; };
    auto clamp = [](i128 v) { return static_cast<i64>(std::clamp<i128>(v, INT64_MIN, INT64_MAX)); };
    crossings.assign(links.size(), {});
    bool found = false;
    // Calls near(n) for every node whose (major, minor) lies in [majorLo, majorHi] x [lo, hi].
    auto walk = [&](const std::vector<Point>& sorted, const std::vector<int>& ids, i64 majorLo, i64 majorHi, i64 lo,
                    i64 hi, auto near) {
      auto it = std::lower_bound(sorted.begin(), sorted.end(), Point{majorLo, lo}, lexLess);
      while (it != sorted.end() && it->x <= majorHi) {
        if (it->y < lo) {
          it = std::lower_bound(it, sorted.end(), Point{it->x, lo}, lexLess);
          continue;
        }
        if (it->y > hi) {
          if (it->x == INT64_MAX) break;
          it = std::lower_bound(it, sorted.end(), Point{it->x + 1, lo}, lexLess);
          continue;
        }
        near(ids[static_cast<std::size_t>(it - sorted.begin())]);
        ++it;
      }
    };
    for (std::size_t li = 0; li < links.size(); ++li) {
      const Link& l = links[li];
      const Point p = nodes[l.begin], q = nodes[l.end];
      const i64 xmin = std::min(p.x, q.x), xmax = std::max(p.x, q.x);
      const i64 ymin = std::min(p.y, q.y), ymax = std::max(p.y, q.y);
      auto query = [&](i64 x0, i64 x1, i64 y0, i64 y1, auto near) {
        if (static_cast<i128>(x1) - x0 < static_cast<i128>(y1) - y0)
          walk(columns, columnNode, x0, x1, y0, y1, near);
        else
          walk(rows, rowNode, y0, y1, x0, x1, near);
      };
      auto add = [&](int n) {
        if (n == l.begin || n == l.end) return;
        crossings[li].push_back(n);
        found = true;
      };
      if (xmin != xmax) {
        // Vertically within the marge, X within the link's range.
        Point a = p, b = q;
        if (a.x > b.x) std::swap(a, b);
        const i128 dx = static_cast<i128>(b.x) - a.x, dy = static_cast<i128>(b.y) - a.y;
        query(xmin, xmax, clamp(static_cast<i128>(ymin) - marge), clamp(static_cast<i128>(ymax) + marge), [&](int n) {
          const i128 num = (static_cast<i128>(nodes[n].x) - a.x) * dy - (static_cast<i128>(nodes[n].y) - a.y) * dx;
          if (num <= static_cast<i128>(marge) * dx && num >= -static_cast<i128>(marge) * dx) add(n);
        });
      }
      if (ymin != ymax && xmin != xmax && ymin != ymax) {
        // Horizontally within the marge (the quarter-turned pass), Y within the link's range.
        Point a = p, b = q;
        if (a.y > b.y) std::swap(a, b);
        const i128 dx = static_cast<i128>(b.x) - a.x, dy = static_cast<i128>(b.y) - a.y;
        query(clamp(static_cast<i128>(xmin) - marge), clamp(static_cast<i128>(xmax) + marge), ymin, ymax, [&](int n) {
          const i128 num = (static_cast<i128>(nodes[n].y) - a.y) * dx - (static_cast<i128>(nodes[n].x) - a.x) * dy;
          if (num <= static_cast<i128>(marge) * dy && num >= -static_cast<i128>(marge) * dy) add(n);
        });
      } else if (xmin == xmax && ymin != ymax) {
        // A vertical link: only the quarter-turned pass applies.
        query(clamp(static_cast<i128>(xmin) - marge), clamp(static_cast<i128>(xmax) + marge), ymin, ymax, add);
      }
    }
    if (found) ApplyCrossings();
    return found;
  }

  // Links that cross properly get a node at the crossing, truncated toward zero.
  bool IntersectLinks() {
    crossings.assign(links.size(), {});
    struct Box {
      i64 xmin, xmax, ymin, ymax;
      int link;
    };
    std::vector<Box> boxes;
    boxes.reserve(links.size());
    bool anySlanted = false;
    for (std::size_t i = 0; i < links.size(); ++i) {
      const Point a = nodes[links[i].begin], b = nodes[links[i].end];
      boxes.push_back({std::min(a.x, b.x), std::max(a.x, b.x), std::min(a.y, b.y), std::max(a.y, b.y), static_cast<int>(i)});
      anySlanted |= a.x != b.x && a.y != b.y;
    }
    bool found = CrossLevelAndVertical(boxes);
    if (!anySlanted) {
      if (found) ApplyCrossings();
      return found;
    }
    auto axisParallel = [](const Box& b) { return b.xmin == b.xmax || b.ymin == b.ymax; };
    std::sort(boxes.begin(), boxes.end(), [](const Box& p, const Box& q) { return p.xmin < q.xmin; });
    // Pairs with at least one slanted link: a level or vertical link only
    // looks at the slanted links that start within its X range.
    std::vector<std::size_t> slanted;
    for (std::size_t i = 0; i < boxes.size(); ++i)
      if (!axisParallel(boxes[i])) slanted.push_back(i);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      const bool straight = axisParallel(boxes[i]);
      auto s = std::upper_bound(slanted.begin(), slanted.end(), i);
      for (std::size_t j = straight ? (s == slanted.end() ? boxes.size() : *s) : i + 1;
           j < boxes.size() && boxes[j].xmin <= boxes[i].xmax;
           j = straight ? (++s == slanted.end() ? boxes.size() : *s) : j + 1) {
        if (boxes[j].ymin > boxes[i].ymax || boxes[j].ymax < boxes[i].ymin) continue;
        // Level and vertical links among themselves were crossed above.
        if (straight && axisParallel(boxes[j])) continue;
        const Link& p = links[boxes[i].link];
        const Link& q = links[boxes[j].link];
        if (p.begin == q.begin || p.begin == q.end || p.end == q.begin || p.end == q.end) continue;
        const Point a0 = nodes[p.begin], a1 = nodes[p.end], b0 = nodes[q.begin], b1 = nodes[q.end];
        const int o1 = Sign(Cross(a1.x - a0.x, a1.y - a0.y, b0.x - a0.x, b0.y - a0.y));
        const int o2 = Sign(Cross(a1.x - a0.x, a1.y - a0.y, b1.x - a0.x, b1.y - a0.y));
        const int o3 = Sign(Cross(b1.x - b0.x, b1.y - b0.y, a0.x - b0.x, a0.y - b0.y));
        const int o4 = Sign(Cross(b1.x - b0.x, b1.y - b0.y, a1.x - b0.x, a1.y - b0.y));
        if (o1 * o2 >= 0 || o3 * o4 >= 0) continue;
        const i128 den = Cross(a1.x - a0.x, a1.y - a0.y, b1.x - b0.x, b1.y - b0.y);
        const i128 num = Cross(b0.x - a0.x, b0.y - a0.y, b1.x - b0.x, b1.y - b0.y);
        const long double t = static_cast<long double>(num) / static_cast<long double>(den);
        const long double x = a0.x + t * (static_cast<long double>(a1.x) - a0.x);
        const long double y = a0.y + t * (static_cast<long double>(a1.y) - a0.y);
        const int n = AddNode(Point{static_cast<i64>(std::trunc(x)), static_cast<i64>(std::trunc(y))});
        crossings[boxes[i].link].push_back(n);
        crossings[boxes[j].link].push_back(n);
        found = true;
      }
    }
    if (found) ApplyCrossings();
    return found;
  }

  // Proper crossings of level with vertical links: a sweep over X keeps the
  // level links that span the sweep X ordered by Y, and each vertical link
  // asks for those strictly between its ends. O((n + k) log n).
  template <class BoxT>
  bool CrossLevelAndVertical(const std::vector<BoxT>& boxes) {
    struct Event {
      i64 x;
      int kind;  // 0: a level link leaves, 1: a vertical link, 2: a level link enters
      std::size_t box;
    };
    std::vector<Event> events;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      const BoxT& b = boxes[i];
      if (b.ymin == b.ymax && b.xmin != b.xmax) {
        events.push_back({b.xmin, 2, i});
        events.push_back({b.xmax, 0, i});
      } else if (b.xmin == b.xmax && b.ymin != b.ymax) {
        events.push_back({b.xmin, 1, i});
      }
    }
    // A crossing is proper only strictly inside both links: at one X, level
    // links ending there leave first and links starting there enter last.
    std::sort(events.begin(), events.end(), [](const Event& p, const Event& q) {
      if (p.x != q.x) return p.x < q.x;
      if (p.kind != q.kind) return p.kind < q.kind;
      return p.box < q.box;
    });
    std::set<std::pair<i64, int>> level;
    bool found = false;
    for (const Event& e : events) {
      const BoxT& b = boxes[e.box];
      if (e.kind == 2) {
        level.insert({b.ymin, b.link});
      } else if (e.kind == 0) {
        level.erase({b.ymin, b.link});
      } else {
        for (auto it = level.upper_bound({b.ymin, INT32_MAX}); it != level.end() && it->first < b.ymax; ++it) {
          const int n = AddNode(Point{b.xmin, it->first});
          crossings[it->second].push_back(n);
          crossings[b.link].push_back(n);
          found = true;
        }
      }
    }
    return found;
  }

  // Cuts every link at its crossing nodes, ordered along the link; the
  // pieces keep the link's contour number and group.
  void ApplyCrossings() {
    const std::size_t count = links.size();
    for (std::size_t li = 0; li < count; ++li) {
      std::vector<int>& cuts = crossings[li];
      if (cuts.empty()) continue;
      const Point a = nodes[links[li].begin], b = nodes[links[li].end];
      const i64 dx = b.x - a.x, dy = b.y - a.y;
      auto along = [&](int n) {
        return static_cast<i128>(nodes[n].x - a.x) * dx + static_cast<i128>(nodes[n].y - a.y) * dy;
      };
      std::sort(cuts.begin(), cuts.end(), [&](int p, int q) {
        const i128 pa = along(p), qa = along(q);
        return pa != qa ? pa < qa : p < q;
      });
      const int end = links[li].end;
      int from = links[li].begin;
      bool first = true;
      for (int n : cuts) {
        if (nodes[n] == nodes[from] || nodes[n] == b) continue;
        if (first) {
          links[li].end = n;
          first = false;
        } else {
          Link piece = links[li];
          piece.begin = from;
          piece.end = n;
          links.push_back(piece);
        }
        from = n;
      }
      if (!first) {
        Link piece = links[li];
        piece.begin = from;
        piece.end = end;
        links.push_back(piece);
      }
    }
    crossings.clear();
  }

  void Node() {
    engine.ReportStage("Node to Node");
    MergeNodes(marge);
    // Merging moves links, which may bring them near other nodes or across
    // other links, so the search repeats until nothing changes.
    const int kMaxRounds = 64;
    for (int round = 0;; ++round) {
      if (links.size() <= 2) return;
      if (round == kMaxRounds) Fail("crossing search does not settle", "Error");
      bool changed = false;
      engine.ReportStage("Node to BoolLink 0");
      changed |= SnapNodesToLinks();
      engine.ReportStage("intersect");
      changed |= IntersectLinks();
      engine.ReportStage("Node to Node");
      changed |= MergeNodes(marge);
      if (!changed) return;
    }
  }

  // --- The sweep ---------------------------------------------------------

  bool IsVertical(const Link& l) const { return nodes[l.begin].x == nodes[l.end].x; }

  // Set when the link's end lies right of its begin, or below it for a vertical link.
  bool RunsRight(const Link& l) const {
    const Point a = nodes[l.begin], b = nodes[l.end];
    return a.x != b.x ? b.x > a.x : b.y < a.y;
  }

  // Left and right end of a non-vertical link.
  void Ends(const Link& l, Point& left, Point& right) const {
    left = nodes[l.begin];
    right = nodes[l.end];
    if (left.x > right.x) std::swap(left, right);
  }

  struct BeamOrder {
    const WorkGraph* graph;
    const i64* sweepX;
    const Point* probe;
    // True when record a lies above record b just right of the sweep X.
    bool operator()(int a, int b) const {
      if (a == b) return false;
      const i64 x = *sweepX;
      if (a < 0) return b >= 0 && !Above(b);
      if (b < 0) return Above(a);
      Point la, ra, lb, rb;
      graph->Ends(graph->links[a], la, ra);
      graph->Ends(graph->links[b], lb, rb);
      const int c = CompareExact(YAt(la, ra, x), YAt(lb, rb, x));
      if (c != 0) return c > 0;
      const int s = Sign(Cross(ra.x - la.x, ra.y - la.y, rb.x - lb.x, rb.y - lb.y));
      if (s != 0) return s < 0;
      return a < b;
    }
    // Whether record a lies above the probe point taken with slope -infinity.
    bool Above(int a) const {
      Point l, r;
      graph->Ends(graph->links[a], l, r);
      return CompareToInteger(YAt(l, r, *sweepX), probe->y) >= 0;
    }
  };

  // Visits every link of the subset once, at its first node in sweep order,
  // with the link directly above it (-1 when none). Records never change
  // places between nodes because the arrangement is planar; a neighbour on
  // the wrong side of a node means it is not, and stops the operation.
  template <class Visit>
  void Sweep(const std::vector<int>& subset, Visit visit) {
    struct Event {
      int node;
      int link;
      bool starts;
    };
    std::vector<Event> events;
    events.reserve(subset.size() * 2);
    for (int li : subset) {
      const Link& l = links[li];
      const bool beginFirst = SweepBefore(l.begin, l.end);
      events.push_back({beginFirst ? l.begin : l.end, li, true});
      events.push_back({beginFirst ? l.end : l.begin, li, false});
    }
    std::sort(events.begin(), events.end(), [this](const Event& p, const Event& q) {
      if (p.node != q.node) return SweepBefore(p.node, q.node);
      if (p.starts != q.starts) return !p.starts;
      return p.link < q.link;
    });
    i64 sweepX = 0;
    Point probe{0, 0};
    std::set<int, BeamOrder> beam(BeamOrder{this, &sweepX, &probe});
    // Beam positions by place in the subset, so that a sweep over a small
    // subset (one contour) costs nothing in the size of the whole graph.
    if (sweepSlot.size() < links.size()) sweepSlot.resize(links.size(), -1);
    for (std::size_t k = 0; k < subset.size(); ++k) sweepSlot[subset[k]] = static_cast<int>(k);
    struct ClearSlots {
      std::vector<int>& slots;
      const std::vector<int>& subset;
      ~ClearSlots() {
        for (int li : subset) slots[li] = -1;
      }
    } clearSlots{sweepSlot, subset};
    std::vector<std::set<int, BeamOrder>::iterator> slotWhere(subset.size(), beam.end());
    auto where = [&](int li) -> std::set<int, BeamOrder>::iterator& { return slotWhere[sweepSlot[li]]; };
    auto check = [&](int record, int node, bool above) {
      Point l, r;
      Ends(links[record], l, r);
      const int c = CompareToInteger(YAt(l, r, nodes[node].x), nodes[node].y);
      const bool touches = links[record].begin == node || links[record].end == node;
      if ((above && c < 0) || (!above && c > 0) || (c == 0 && !touches)) Fail("beam out of order", "Error");
    };
    std::vector<int> starting, vertical;
    for (std::size_t i = 0; i < events.size();) {
      const int node = events[i].node;
      sweepX = nodes[node].x;
      probe = nodes[node];
      starting.clear();
      vertical.clear();
      for (; i < events.size() && events[i].node == node; ++i) {
        const Event& e = events[i];
        if (e.starts) {
          (IsVertical(links[e.link]) ? vertical : starting).push_back(e.link);
          continue;
        }
        if (IsVertical(links[e.link])) continue;
        auto it = where(e.link);
        if (it == beam.end()) Fail("beam out of order", "Error");
        if (it != beam.begin()) check(*std::prev(it), node, true);
        if (std::next(it) != beam.end()) check(*std::next(it), node, false);
        beam.erase(it);
        where(e.link) = beam.end();
      }
      // Decreasing slope: top to bottom just right of the node.
      std::sort(starting.begin(), starting.end(), [this](int a, int b) {
        Point la, ra, lb, rb;
        Ends(links[a], la, ra);
        Ends(links[b], lb, rb);
        const int s = Sign(Cross(ra.x - la.x, ra.y - la.y, rb.x - lb.x, rb.y - lb.y));
        return s != 0 ? s < 0 : a < b;
      });
      for (int li : starting) {
        auto [it, inserted] = beam.insert(li);
        if (!inserted) Fail("beam out of order", "Error");
        where(li) = it;
        const int above = it == beam.begin() ? -1 : *std::prev(it);
        if (above >= 0) check(above, node, true);
        if (std::next(it) != beam.end()) check(*std::next(it), node, false);
        visit(li, above);
      }
      if (!vertical.empty()) {
        auto below = beam.lower_bound(-1);
        int above = below == beam.begin() ? -1 : *std::prev(below);
        for (int li : vertical) {
          visit(li, above);
          above = li;
        }
      }
    }
  }

  // --- Winding counts and operation flags --------------------------------

  void SetGroupFlags() {
    // Per contour, the winding number below each link tells whether the
    // link raises or lowers that contour's absolute winding.
    std::vector<int> windingBelow(links.size(), 0);
    std::vector<int> order(links.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [this](int a, int b) { return links[a].graphNumber < links[b].graphNumber; });
    for (std::size_t i = 0; i < order.size();) {
      std::size_t j = i;
      while (j < order.size() && links[order[j]].graphNumber == links[order[i]].graphNumber) ++j;
      std::vector<int> subset(order.begin() + i, order.begin() + j);
      Sweep(subset, [&](int li, int above) {
        const int before = above < 0 ? 0 : windingBelow[above];
        const int after = before + (RunsRight(links[li]) ? 1 : -1);
        windingBelow[li] = after;
        links[li].windingSense = std::abs(after) > std::abs(before);
      });
      i = j;
    }

    // Coincident links (same two nodes) are one boundary: the first stands
    // for all, the others are marked doubled and their counts add to it.
    std::vector<int> byEnds(links.size());
    std::iota(byEnds.begin(), byEnds.end(), 0);
    auto key = [this](int li) {
      return std::pair<int, int>(std::min(links[li].begin, links[li].end), std::max(links[li].begin, links[li].end));
    };
    std::sort(byEnds.begin(), byEnds.end(), [&](int a, int b) { return key(a) != key(b) ? key(a) < key(b) : a < b; });
    std::vector<int> deltaA(links.size(), 0), deltaB(links.size(), 0);
    std::vector<int> representatives;
    for (std::size_t i = 0; i < byEnds.size();) {
      const int first = byEnds[i];
      representatives.push_back(first);
      for (; i < byEnds.size() && key(byEnds[i]) == key(first); ++i) {
        const Link& l = links[byEnds[i]];
        if (byEnds[i] != first) links[byEnds[i]].doubled = true;
        (l.group == GroupA ? deltaA : deltaB)[first] += l.windingSense ? 1 : -1;
      }
    }
    std::vector<int> countA(links.size(), 0), countB(links.size(), 0);
    Sweep(representatives, [&](int li, int above) {
      int a = above < 0 ? 0 : countA[above];
      int b = above < 0 ? 0 : countB[above];
      const std::uint8_t upper = (a > 0 ? kInA : 0) | (b > 0 ? kInB : 0);
      a += deltaA[li];
      b += deltaB[li];
      const std::uint8_t lower = (a > 0 ? kInA : 0) | (b > 0 ? kInB : 0);
      countA[li] = a;
      countB[li] = b;
      Link& l = links[li];
      if (RunsRight(l)) {
        l.groupsLeft = upper;
        l.groupsRight = lower;
      } else {
        l.groupsRight = upper;
        l.groupsLeft = lower;
      }
    });
  }

  static std::uint8_t Results(std::uint8_t groups) {
    const bool a = groups & kInA, b = groups & kInB;
    return (a || b ? kUnion : 0) | (a && !b ? kAMinusB : 0) | (b && !a ? kBMinusA : 0) | (a && b ? kAnd : 0) |
           (a != b ? kExor : 0);
  }

  void SetOperationFlags() {
    for (Link& l : links) {
      l.resultLeft = Results(l.groupsLeft);
      l.resultRight = Results(l.groupsRight);
      const std::uint8_t both = l.resultLeft & l.resultRight;
      l.resultLeft &= ~both;
      l.resultRight &= ~both;
    }
  }

  void Prepare() {
    engine.ReportStage("Intersection");
    Node();
    for (Link& l : links) l.mark = l.doubled = false;
    engine.ReportStage("Set group A/B Flags");
    SetGroupFlags();
    engine.ReportStage("Set operation Flags");
    SetOperationFlags();
    engine.ReportStage("Remove doubles");
    for (Link& l : links)
      if (l.doubled) l.alive = false;
    Compact();
    engine.ReportStage("Remove inlinks");
    for (Link& l : links)
      if (!l.resultLeft && !l.resultRight) l.alive = false;
    Compact();
    engine.ReportStage("Finished prepare graph");
  }

  // --- Extraction --------------------------------------------------------

  struct Walked {
    std::vector<int> links;  // in walking order
    bool hole;
  };

  std::uint8_t flag = 0;
  // Walking direction of each link: the result of the operation on its right.
  int From(int li) const { return links[li].resultRight & flag ? links[li].begin : links[li].end; }
  int To(int li) const { return links[li].resultRight & flag ? links[li].end : links[li].begin; }

  // True when leaving along b turns further right than leaving along a, for
  // a walk arriving in direction (inX, inY); a U-turn ranks last.
  bool TurnsFurtherRight(i64 inX, i64 inY, int from, int a, int b) const {
    auto rank = [&](int li, i64& dx, i64& dy) {
      dx = nodes[To(li)].x - nodes[from].x;
      dy = nodes[To(li)].y - nodes[from].y;
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

  bool TurnsFurtherLeft(i64 inX, i64 inY, int from, int a, int b) const {
    auto rank = [&](int li, i64& dx, i64& dy) {
      dx = nodes[To(li)].x - nodes[from].x;
      dy = nodes[To(li)].y - nodes[from].y;
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

  // Walks every contour of the result; `firstVariant` decides holes from the
  // region below the top link, otherwise from the links' hole flags.
  std::vector<Walked> Collect(bool firstVariant) {
    std::vector<std::vector<int>> outgoing(nodes.size());
    std::vector<int> degree(nodes.size(), 0);
    for (std::size_t i = 0; i < links.size(); ++i) {
      links[i].mark = false;
      outgoing[From(static_cast<int>(i))].push_back(static_cast<int>(i));
      ++degree[links[i].begin];
      ++degree[links[i].end];
    }
    std::vector<std::vector<int>> incident(nodes.size());
    for (std::size_t i = 0; i < links.size(); ++i) {
      incident[links[i].begin].push_back(static_cast<int>(i));
      incident[links[i].end].push_back(static_cast<int>(i));
    }
    std::vector<int> order(links.size());
    std::iota(order.begin(), order.end(), 0);
    auto topY = [this](int li) { return std::max(nodes[links[li].begin].y, nodes[links[li].end].y); };
    auto lowX = [this](int li) { return std::min(nodes[links[li].begin].x, nodes[links[li].end].x); };
    std::sort(order.begin(), order.end(), [&](int a, int b) {
      if (topY(a) != topY(b)) return topY(a) > topY(b);
      if (lowX(a) != lowX(b)) return lowX(a) > lowX(b);
      return a < b;
    });

    std::vector<Walked> result;
    for (int seed : order) {
      if (links[seed].mark) continue;
      const Link& s = links[seed];
      const int upper = nodes[s.end].y > nodes[s.begin].y ? s.end : s.begin;
      // The flattest unmarked link at the upper node.
      int first = -1;
      i128 bestDx = 0, bestDy = 1;  // slope as |dy| / |dx|, vertical when dx == 0
      for (int li : incident[upper]) {
        if (links[li].mark) continue;
        i128 dx = static_cast<i128>(nodes[links[li].end].x) - nodes[links[li].begin].x;
        i128 dy = static_cast<i128>(nodes[links[li].end].y) - nodes[links[li].begin].y;
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
                      static_cast<double>(nodes[upper].x), static_cast<double>(nodes[upper].y));
        Fail(text, "Error");
      }
      bool hole;
      if (firstVariant) {
        const Link& f = links[first];
        const std::uint8_t lowerSide = RunsRight(f) ? f.resultRight : f.resultLeft;
        hole = !(lowerSide & flag);
      } else {
        hole = links[first].hole;
      }
      Walked walked{{}, hole};
      const int number = static_cast<int>(result.size()) + 1;
      auto take = [&](int li) {
        links[li].mark = true;
        links[li].graphNumber = number;
        links[li].hole = hole;
        walked.links.push_back(li);
      };
      take(first);
      if (hole) links[first].topOfHole = true;
      const int start = From(first);
      int current = first;
      for (;;) {
        const int at = To(current);
        const i64 inX = nodes[at].x - nodes[From(current)].x;
        const i64 inY = nodes[at].y - nodes[From(current)].y;
        int next = -1;
        if (degree[at] == 2) {
          for (int li : outgoing[at])
            if (!links[li].mark) next = li;
        } else {
          for (int li : outgoing[at]) {
            if (links[li].mark && !(at == start && li == first)) continue;
            if (next < 0 || (hole ? TurnsFurtherLeft(inX, inY, at, next, li)
                                  : TurnsFurtherRight(inX, inY, at, next, li)))
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

  // Joins each hole to the boundary directly above its top node by a pair of
  // vertical bridge links; returns whether anything was joined. The boundary
  // above each top node is found by one sweep over X: level links wait in a
  // set ordered by Y, slanted links (short ones, left by merging) in a set
  // of their own that each query walks, vertical links by binary search.
  bool LinkHoles(const std::vector<Walked>& contours, const std::vector<int>& degree) {
    struct Join {
      int node;    // top node of the hole
      int above;   // link to cut at the top of the bridge, or -1
      int target;  // node at the top of the bridge
      i64 y;       // top of the bridge when a link is cut
      bool hole;   // hole flag of the boundary above
    };
    struct Query {
      int node;
      int link;  // the lowest link above, -1 when none
      ExactY y;
    };
    std::vector<Query> queries;
    for (const Walked& c : contours) {
      if (!c.hole) continue;
      const Link& top = links[c.links.front()];
      const Point a = nodes[top.begin], b = nodes[top.end];
      const int h = a.y != b.y ? (a.y > b.y ? top.begin : top.end) : (a.x < b.x ? top.begin : top.end);
      // A hole that shares its top node with another boundary is reached
      // through that node when the contours are walked again.
      if (degree[h] > 2) continue;
      queries.push_back({h, -1, ExactY{}});
    }
    if (queries.empty()) return false;
    // Events at one X: links enter, then queries, then links leave (a link
    // spans the X of both its ends).
    struct Event {
      i64 x;
      int kind;  // 0 enter, 1 query, 2 leave
      int index;
    };
    std::vector<Event> events;
    std::vector<std::pair<std::pair<i64, i64>, int>> verticals;  // ((x, lower y), link)
    for (std::size_t i = 0; i < links.size(); ++i) {
      const Point a = nodes[links[i].begin], b = nodes[links[i].end];
      if (a.x == b.x) {
        verticals.push_back({{a.x, std::min(a.y, b.y)}, static_cast<int>(i)});
      } else {
        events.push_back({std::min(a.x, b.x), 0, static_cast<int>(i)});
        events.push_back({std::max(a.x, b.x), 2, static_cast<int>(i)});
      }
    }
    for (std::size_t q = 0; q < queries.size(); ++q) events.push_back({nodes[queries[q].node].x, 1, static_cast<int>(q)});
    std::sort(events.begin(), events.end(), [](const Event& p, const Event& q) {
      if (p.x != q.x) return p.x < q.x;
      if (p.kind != q.kind) return p.kind < q.kind;
      return p.index < q.index;
    });
    std::sort(verticals.begin(), verticals.end());
    std::set<std::pair<i64, int>> level;
    std::set<int> slantedActive;
    auto isLevel = [this](int li) { return nodes[links[li].begin].y == nodes[links[li].end].y; };
    for (const Event& e : events) {
      if (e.kind != 1) {
        const bool enter = e.kind == 0;
        if (isLevel(e.index)) {
          if (enter) level.insert({nodes[links[e.index].begin].y, e.index});
          else level.erase({nodes[links[e.index].begin].y, e.index});
        } else {
          if (enter) slantedActive.insert(e.index);
          else slantedActive.erase(e.index);
        }
        continue;
      }
      Query& q = queries[static_cast<std::size_t>(e.index)];
      const Point hp = nodes[q.node];
      // The lowest boundary strictly above hp; on equal Y the lowest link number.
      auto offer = [&](int li, const ExactY& y) {
        if (q.link < 0 || CompareExact(y, q.y) < 0 || (CompareExact(y, q.y) == 0 && li < q.link)) {
          q.link = li;
          q.y = y;
        }
      };
      auto it = level.upper_bound({hp.y, INT32_MAX});
      if (it != level.end()) offer(it->second, ExactY{it->first, 0, 1});
      auto v = std::upper_bound(verticals.begin(), verticals.end(),
                                std::pair<std::pair<i64, i64>, int>{{hp.x, hp.y}, INT32_MAX});
      if (v != verticals.end() && v->first.first == hp.x) {
        // Among verticals with the same lower end, the lowest link number comes first.
        offer(v->second, ExactY{v->first.second, 0, 1});
      }
      for (int li : slantedActive) {
        const Link& l = links[li];
        if (l.begin == q.node || l.end == q.node) continue;
        Point left, right;
        Ends(l, left, right);
        const ExactY y = YAt(left, right, hp.x);
        if (CompareToInteger(y, hp.y) <= 0) continue;
        offer(li, y);
      }
    }
    std::vector<Join> joins;
    for (const Query& q : queries) {
      if (q.link < 0) Fail("hole without a contour above it", "Error");
      const Link& l = links[q.link];
      const i64 hx = nodes[q.node].x;
      int node = -1;
      i64 y;
      if (nodes[l.begin].x == nodes[l.end].x) {
        node = nodes[l.begin].y < nodes[l.end].y ? l.begin : l.end;
        y = nodes[node].y;
      } else {
        if (nodes[l.begin].x == hx) node = l.begin;
        if (nodes[l.end].x == hx) node = l.end;
        // The line's Y truncated toward zero.
        y = static_cast<i64>(q.y.whole + (q.y.whole < 0 && q.y.remainder > 0 ? 1 : 0));
      }
      joins.push_back(Join{q.node, node >= 0 ? -1 : q.link, node, y, l.hole});
    }
    if (joins.empty()) return false;
    crossings.assign(links.size(), {});
    for (Join& j : joins) {
      if (j.above < 0) continue;
      j.target = AddNode(Point{nodes[j.node].x, j.y});
      crossings[j.above].push_back(j.target);
    }
    ApplyCrossings();
    for (const Join& j : joins) {
      for (int li : {AddLink(j.target, j.node, 0, GroupA), AddLink(j.node, j.target, 0, GroupA)}) {
        links[li].bridge = true;
        links[li].resultRight = flag;
        links[li].hole = j.hole;
      }
    }
    return true;
  }

  // Keeps the links on the boundary of the result of the operation.
  void KeepResult() {
    for (Link& l : links) {
      l.mark = l.doubled = false;
      if (!((l.resultLeft | l.resultRight) & flag)) l.alive = false;
    }
    Compact();
  }

  std::vector<Walked> Extract(BooleanOperation operation) {
    engine.ReportStage("Performing Operation");
    switch (operation) {
      case OpOr: flag = kUnion; break;
      case OpAnd: flag = kAnd; break;
      case OpExor: flag = kExor; break;
      case OpAMinusB: flag = kAMinusB; break;
      case OpBMinusA: flag = kBMinusA; break;
      default: Fail("Wrong operation", "Command Error");
    }
    KeepResult();
    MergeNodes(0);
    engine.ReportStage("Extract simples first ");
    std::vector<Walked> contours = Collect(true);
    engine.ReportStage("Linking Holes");
    if (links.empty()) return contours;
    const bool anyHole = std::any_of(contours.begin(), contours.end(), [](const Walked& c) { return c.hole; });
    if (anyHole && engine.joinHoles) {
      engine.ReportStage("LINKHOLES\n");
      std::vector<int> degree(nodes.size(), 0);
      for (const Link& l : links) {
        ++degree[l.begin];
        ++degree[l.end];
      }
      if (LinkHoles(contours, degree)) {
        MergeNodes(1);
        engine.ReportStage("extract simples last");
        KeepResult();
        contours = Collect(false);
      }
    }
    return contours;
  }
};

namespace {

long double DistanceToLine(Point p, Point a, Point b) {
  const long double dx = static_cast<long double>(b.x) - a.x, dy = static_cast<long double>(b.y) - a.y;
  const long double length = std::sqrt(dx * dx + dy * dy);
  if (length == 0) return std::hypot(static_cast<long double>(p.x) - a.x, static_cast<long double>(p.y) - a.y);
  return std::fabs(dx * (static_cast<long double>(p.y) - a.y) - dy * (static_cast<long double>(p.x) - a.x)) / length;
}

bool Near(Point a, Point b, i64 t) {
  const i128 dx = static_cast<i128>(a.x) - b.x, dy = static_cast<i128>(a.y) - b.y;
  return dx <= t && dx >= -t && dy <= t && dy >= -t;
}

// Removes zero-length links and merges collinear runs within the tolerance;
// returns whether the ring changed.
bool SimplifyRing(std::vector<Point>& ring, i64 t) {
  bool changed = false;
  for (bool again = true; again && ring.size() >= 3;) {
    again = false;
    for (std::size_t i = 0; i < ring.size() && ring.size() >= 3;) {
      const Point a = ring[(i + ring.size() - 1) % ring.size()];
      const Point b = ring[i];
      const Point c = ring[(i + 1) % ring.size()];
      const bool collinear = Near(a, b, t) || Near(b, c, t) || DistanceToLine(b, a, c) <= t ||
                             DistanceToLine(c, b, a) <= t;
      if (collinear) {
        ring.erase(ring.begin() + static_cast<std::ptrdiff_t>(i));
        changed = again = true;
      } else {
        ++i;
      }
    }
  }
  return changed;
}

}  // namespace

}  // namespace boolean_detail

void Bool_Engine::RunOperation(BooleanOperation operation) {
  using namespace boolean_detail;
  ReportStage("Performing Boolean Operation");
  if (graphs_.empty()) return;
  contourOpen_ = false;
  ReportStage("Simplify");
  std::vector<std::pair<GroupType, std::vector<Point>>> rings;
  for (const Contour& contour : graphs_) {
    std::vector<Point> ring;
    ring.reserve(contour.vertices.size());
    for (const Vertex& v : contour.vertices)
      if (ring.empty() || !(ring.back() == Point{v.x, v.y})) ring.push_back(Point{v.x, v.y});
    while (ring.size() > 1 && ring.front() == ring.back()) ring.pop_back();
    SimplifyRing(ring, m_GRID);
    if (ring.size() < 3) continue;
    rings.emplace_back(contour.group, std::move(ring));
  }
  graphs_.clear();

  WorkGraph work(*this);
  for (std::size_t g = 0; g < rings.size(); ++g) {
    std::vector<Point>& ring = rings[g].second;
    // Clockwise, so that input orientation carries no meaning.
    long double area = 0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
      const Point& p = ring[i];
      const Point& q = ring[(i + 1) % ring.size()];
      area += (static_cast<long double>(p.x) - ring[0].x) * (static_cast<long double>(q.y) - ring[0].y) -
              (static_cast<long double>(q.x) - ring[0].x) * (static_cast<long double>(p.y) - ring[0].y);
    }
    if (area > 0) std::reverse(ring.begin(), ring.end());
    const int first = static_cast<int>(work.nodes.size());
    for (const Point& p : ring) work.AddNode(p);
    for (std::size_t i = 0; i < ring.size(); ++i)
      work.AddLink(first + static_cast<int>(i), first + static_cast<int>((i + 1) % ring.size()),
                   static_cast<int>(g) + 1, static_cast<std::uint8_t>(rings[g].first));
  }
  if (work.links.empty()) return;

  ReportStage("prepare");
  work.Prepare();
  const std::vector<WorkGraph::Walked> contours = work.Extract(operation);
  std::vector<int> degree(work.nodes.size(), 0);
  for (const auto& walked : contours)
    for (int li : walked.links) {
      ++degree[work.links[li].begin];
      ++degree[work.links[li].end];
    }
  for (const WorkGraph::Walked& walked : contours) {
    Contour result{GroupA, {}};
    result.vertices.reserve(walked.links.size());
    std::vector<int> ids;
    ids.reserve(walked.links.size());
    for (int li : walked.links) ids.push_back(work.From(li));
    // A vertex where the contour goes straight on (pieces of one boundary
    // cut by a link that is gone now) is dropped.
    // Junctions, cut ends included, stay.
    for (std::size_t i = 0; ids.size() > 3 && i < ids.size();) {
      const Point& a = work.nodes[ids[(i + ids.size() - 1) % ids.size()]];
      const Point& b = work.nodes[ids[i]];
      const Point& c = work.nodes[ids[(i + 1) % ids.size()]];
      const bool straight = degree[ids[i]] == 2 && Cross(b.x - a.x, b.y - a.y, c.x - b.x, c.y - b.y) == 0 &&
                            static_cast<i128>(b.x - a.x) * (c.x - b.x) + static_cast<i128>(b.y - a.y) * (c.y - b.y) > 0;
      if (straight) {
        ids.erase(ids.begin() + static_cast<std::ptrdiff_t>(i));
        if (i > 0) --i;
      } else {
        ++i;
      }
    }
    for (int id : ids) result.vertices.push_back(Vertex{work.nodes[id].x, work.nodes[id].y});
    graphs_.push_back(std::move(result));
  }
}
