// The operation behind Bool_Engine::Execute (docs/boolean-engine.md):
// simplify the input contours; for axis-parallel input take the exact
// boundary of the result from the coverage sweep (BooleanScanline.cpp) and
// write out the contours that stand alone; node the rest (merge close
// vertices, split links at nearby vertices and at crossings) until the
// arrangement is planar, count windings with a sweep, keep the links that
// bound the result and walk them into contours, joining holes by cuts.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numeric>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "geometry/Bool_Engine.h"
#include "geometry/BooleanIndex.h"
#include "geometry/BooleanInternal.h"

namespace boolean_detail {

namespace {

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
Point CrossingPoint(Point a0, Point a1, Point b0, Point b1) {
  auto before = [](Point p, Point q) { return p.x != q.x ? p.x < q.x : p.y < q.y; };
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
  Point p;
  if (exact(a0.x, a1.x - a0.x, p.x) && exact(a0.y, a1.y - a0.y, p.y)) return p;
  const long double t = static_cast<long double>(num) / static_cast<long double>(den);
  const long double x = a0.x + t * (static_cast<long double>(a1.x) - a0.x);
  const long double y = a0.y + t * (static_cast<long double>(a1.y) - a0.y);
  return Point{static_cast<i64>(std::trunc(x)), static_cast<i64>(std::trunc(y))};
}

// Y of a non-vertical segment at x in long double: within 0.5 of the exact
// value for coordinates up to 2^60, so differences beyond 4 decide a
// comparison without the exact (128-bit division) path.
long double ApproxYAt(Point left, Point right, i64 x) {
  return static_cast<long double>(left.y) + static_cast<long double>(x - left.x) *
                                                static_cast<long double>(right.y - left.y) /
                                                static_cast<long double>(right.x - left.x);
}

int CompareYAt(Point la, Point ra, Point lb, Point rb, i64 x) {
  const long double d = ApproxYAt(la, ra, x) - ApproxYAt(lb, rb, x);
  if (d > 4) return 1;
  if (d < -4) return -1;
  return CompareExact(YAt(la, ra, x), YAt(lb, rb, x));
}

int CompareYAtInteger(Point left, Point right, i64 x, i64 y) {
  const long double d = ApproxYAt(left, right, x) - static_cast<long double>(y);
  if (d > 4) return 1;
  if (d < -4) return -1;
  return CompareToInteger(YAt(left, right, x), y);
}


}  // namespace

struct WorkGraph {
  Bool_Engine& engine;
  i64 grid;
  i64 marge;
  std::vector<Point> nodes;
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
  bool settled = false;  // noding has finished: nodes lie more than the marge apart

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

  void Compact() {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < links.size(); ++i)
      if (links[i].alive) links[kept++] = links[i];
    links.resize(kept);
  }

  // Greedy merging in sweep order over `order` (sorted in sweep order): each
  // node not merged yet takes every later unmerged node within the tolerance
  // in X and in Y. Fills target; returns whether anything merged.
  bool MergeGreedy(const std::vector<int>& order, i64 tolerance, std::vector<int>& target) {
    bool changed = false;
    const std::size_t n = order.size();
    std::vector<Point> p(n);
    for (std::size_t i = 0; i < n; ++i) p[i] = nodes[order[i]];
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
      const Point first = p[i];
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
  void SortSweep(std::vector<int>& order) const {
    struct Key {
      i64 x;
      i64 y;
      int id;
    };
    std::vector<Key> keys(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) keys[i] = {nodes[order[i]].x, nodes[order[i]].y, order[i]};
    std::sort(keys.begin(), keys.end(), [](const Key& p, const Key& q) {
      if (p.x != q.x) return p.x < q.x;
      if (p.y != q.y) return p.y > q.y;
      return p.id < q.id;
    });
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = keys[i].id;
  }

  // Moves link ends onto their targets; links that collapse go. Returns
  // whether a link collapsed.
  bool Remap(const std::vector<int>* target) {
    bool collapsed = false;
    for (Link& l : links) {
      if (target) {
        const int b = (*target)[l.begin], e = (*target)[l.end];
        if (b != l.begin || e != l.end) {
          l.begin = b;
          l.end = e;
          l.changed = epoch;
        }
      }
      if (l.alive && l.begin == l.end) {
        l.alive = false;
        collapsed = true;
      }
    }
    Compact();
    return collapsed;
  }

  // "Node to Node": a node within the tolerance of an earlier one in sweep
  // order (in X and in Y) is merged into it; links that collapse go.
  bool MergeNodes(i64 tolerance) {
    std::vector<int> order = LiveNodes();
    return MergeInOrder(order, tolerance);
  }

  // Merges the given nodes in sweep order, each into the first one within
  // the tolerance; true when anything merged or collapsed.
  bool MergeInOrder(std::vector<int>& order, i64 tolerance) {
    SortSweep(order);
    std::vector<int> target(nodes.size());
    std::iota(target.begin(), target.end(), 0);
    const bool merged = MergeGreedy(order, tolerance, target);
    const bool collapsed = Remap(merged ? &target : nullptr);
    return merged || collapsed;
  }

  // Adds the nodes made since the last call to rows and columns; drops dead
  // ones when they have become the majority.
  void RefreshSorted() {
    if (sortedNodes == nodes.size()) return;
    std::vector<SortedNode> newRows, newColumns;
    for (std::size_t i = sortedNodes; i < nodes.size(); ++i) {
      newRows.push_back({nodes[i].y, nodes[i].x, static_cast<int>(i)});
      newColumns.push_back({nodes[i].x, nodes[i].y, static_cast<int>(i)});
    }
    std::sort(newRows.begin(), newRows.end());
    std::sort(newColumns.begin(), newColumns.end());
    auto mergeInto = [](std::vector<SortedNode>& all, const std::vector<SortedNode>& add) {
      const std::size_t old = all.size();
      all.insert(all.end(), add.begin(), add.end());
      std::inplace_merge(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(old), all.end());
    };
    mergeInto(rows, newRows);
    mergeInto(columns, newColumns);
    sortedNodes = nodes.size();
  }

  void DropDeadSorted() {
    std::size_t live = 0;
    for (char u : used) live += u != 0;
    if (rows.size() < 2 * live + 1024) return;
    auto drop = [this](std::vector<SortedNode>& v) {
      v.erase(std::remove_if(v.begin(), v.end(), [this](const SortedNode& s) { return !used[s.id]; }), v.end());
    };
    drop(rows);
    drop(columns);
  }

  // First element not less than key, searched outwards from a hint (the
  // place of the previous, nearby search).
  static std::size_t GallopLowerBound(const std::vector<SortedNode>& v, std::size_t hint, const SortedNode& key) {
    const auto first = v.begin(), last = v.end();
    auto at = first + static_cast<std::ptrdiff_t>(std::min(hint, v.size()));
    std::ptrdiff_t step = 1;
    if (at != last && *at < key) {
      auto lo = at + 1;
      for (;;) {
        if (last - lo < step) return static_cast<std::size_t>(std::lower_bound(lo, last, key) - first);
        const auto probe = lo + (step - 1);
        if (!(*probe < key)) return static_cast<std::size_t>(std::lower_bound(lo, probe, key) - first);
        lo = probe + 1;
        step *= 2;
      }
    }
    auto hi = at;
    for (;;) {
      if (hi - first < step) return static_cast<std::size_t>(std::lower_bound(first, hi, key) - first);
      const auto probe = hi - step;
      if (*probe < key) return static_cast<std::size_t>(std::lower_bound(probe + 1, hi, key) - first);
      hi = probe;
      step *= 2;
    }
  }

  // Calls near(id) for every node whose (major, minor) lies in
  // [majorLo, majorHi] x [lo, hi] (some dead nodes included). `hint` is
  // where the previous walk over `sorted` began.
  template <class Near>
  static void Walk(const std::vector<SortedNode>& sorted, std::size_t& hint, i64 majorLo, i64 majorHi, i64 lo, i64 hi,
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
  static void QueryBox(const std::vector<SortedNode>& rowsOf, const std::vector<SortedNode>& columnsOf, Hints& hints,
                       i64 x0, i64 x1, i64 y0, i64 y1, Near near) {
    if (static_cast<i128>(x1) - x0 < static_cast<i128>(y1) - y0)
      Walk(columnsOf, hints.columns, x0, x1, y0, y1, near);
    else
      Walk(rowsOf, hints.rows, y0, y1, x0, x1, near);
  }

  static i64 Clamp(i128 v) { return static_cast<i64>(std::clamp<i128>(v, INT64_MIN, INT64_MAX)); }

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

  void BuildPoints(NodeSet& set) const {
    for (const SortedNode& s : *set.rows) {
      if (!used[s.id]) continue;
      const Point p = nodes[s.id];
      set.pointBoxes.push_back({p.x, p.y, p.x, p.y});
      set.pointIds.push_back(s.id);
    }
    set.points.Build(set.pointBoxes);
    set.built = true;
  }

  // Calls near(n) for every node n of the set lying within the marge of link
  // li (vertically, or horizontally as seen after a quarter turn) that does
  // not end at n (a node may be reported twice).
  // A link with its end points, so that a search needs nothing else.
  struct LinkGeometry {
    i64 key1;  // search order: (y, left x) of a level link, else (x, lower y)
    i64 key2;
    int link;
    int begin;
    int end;
    Point p;
    Point q;
  };

  LinkGeometry GeometryOf(int li) const {
    const Link& l = links[li];
    const Point a = nodes[l.begin], b = nodes[l.end];
    const bool level = a.y == b.y;
    return {level ? a.y : a.x, level ? std::min(a.x, b.x) : std::min(a.y, b.y), li, l.begin, l.end, a, b};
  }

  template <class Near>
  void NodesNearLink(const LinkGeometry& g, NodeSet& set, Hints& hints, Near near) const {
    const std::vector<SortedNode>& rowsOf = *set.rows;
    const std::vector<SortedNode>& columnsOf = *set.columns;
    struct {
      int begin, end;
    } l{g.begin, g.end};
    const Point p = g.p, q = g.q;
    const i64 xmin = std::min(p.x, q.x), xmax = std::max(p.x, q.x);
    const i64 ymin = std::min(p.y, q.y), ymax = std::max(p.y, q.y);
    auto add = [&](int n) {
      if (n == l.begin || n == l.end || !used[n]) return;
      near(n);
    };
    // Vertically within the marge, X within the link's range.
    auto vertically = [&](int n) {
      Point a = p, b = q;
      if (a.x > b.x) std::swap(a, b);
      const i128 dx = static_cast<i128>(b.x) - a.x, dy = static_cast<i128>(b.y) - a.y;
      const i128 num = (static_cast<i128>(nodes[n].x) - a.x) * dy - (static_cast<i128>(nodes[n].y) - a.y) * dx;
      return num <= static_cast<i128>(marge) * dx && num >= -static_cast<i128>(marge) * dx;
    };
    // Horizontally within the marge (the quarter-turned pass), Y within the link's range.
    auto horizontally = [&](int n) {
      Point a = p, b = q;
      if (a.y > b.y) std::swap(a, b);
      const i128 dx = static_cast<i128>(b.x) - a.x, dy = static_cast<i128>(b.y) - a.y;
      const i128 num = (static_cast<i128>(nodes[n].y) - a.y) * dx - (static_cast<i128>(nodes[n].x) - a.x) * dy;
      return num <= static_cast<i128>(marge) * dy && num >= -static_cast<i128>(marge) * dy;
    };
    if (xmin != xmax && ymin != ymax &&
        std::min(static_cast<i128>(xmax) - xmin, static_cast<i128>(ymax) - ymin) > static_cast<i128>(4) * marge) {
      // Slanted over a large box: the grid of points, in pieces along the
      // link of about one cell each, so that few nodes beside the band
      // around the link are looked at.
      if (!set.built) BuildPoints(set);
      auto test = [&](int n) {
        const Point c = nodes[n];
        if ((c.x >= xmin && c.x <= xmax && vertically(n)) || (c.y >= ymin && c.y <= ymax && horizontally(n))) add(n);
      };
      if (set.pointIds.size() <= 64) {
        for (int n : set.pointIds) test(n);
        return;
      }
      const i64 cell = std::max<i64>(set.points.CellSize(), 1);
      const int pieces = static_cast<int>(std::clamp<i128>((static_cast<i128>(xmax) - xmin + ymax - ymin) / cell + 1, 1,
                                                           std::min<i128>(4096, set.pointIds.size())));
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
        const BoxTree::Box box{Clamp(static_cast<i128>(std::min(ax, bx)) - marge - 1),
                               Clamp(static_cast<i128>(std::min(ay, by)) - marge - 1),
                               Clamp(static_cast<i128>(std::max(ax, bx)) + marge + 1),
                               Clamp(static_cast<i128>(std::max(ay, by)) + marge + 1)};
        set.points.Query(box, [&](int item) { test(set.pointIds[item]); });
        ax = bx;
        ay = by;
      }
      return;
    }
    if (xmin != xmax) {
      if (ymin == ymax) {
        QueryBox(rowsOf, columnsOf, hints, xmin, xmax, Clamp(static_cast<i128>(ymin) - marge),
                 Clamp(static_cast<i128>(ymax) + marge), add);
      } else {
        QueryBox(rowsOf, columnsOf, hints, xmin, xmax, Clamp(static_cast<i128>(ymin) - marge),
                 Clamp(static_cast<i128>(ymax) + marge), [&](int n) {
                   if (vertically(n)) add(n);
                 });
      }
    }
    if (ymin != ymax && xmin != xmax) {
      QueryBox(rowsOf, columnsOf, hints, Clamp(static_cast<i128>(xmin) - marge), Clamp(static_cast<i128>(xmax) + marge),
               ymin, ymax, [&](int n) {
                 if (horizontally(n)) add(n);
               });
    } else if (xmin == xmax && ymin != ymax) {
      // A vertical link: only the quarter-turned pass applies.
      QueryBox(rowsOf, columnsOf, hints, Clamp(static_cast<i128>(xmin) - marge), Clamp(static_cast<i128>(xmax) + marge),
               ymin, ymax, add);
    }
  }

  // --- Noding stages: each tests the pairs in which something changed since
  // it last ran; nothing else can have a different answer, since nodes
  // never move (merging moves links onto an existing node).

  // Merges with the given tolerance where a node of `dirty` is involved; the
  // other nodes are known to lie farther apart. Only nodes near a dirty node
  // can merge, and the greedy order restricted to them decides as the whole
  // would.
  bool MergeAround(i64 tolerance, const std::vector<int>& dirty) {
    if (dirty.empty()) return Remap(nullptr);
    RefreshSorted();
    std::vector<int> order;
    std::vector<char> in(nodes.size(), 0);
    std::size_t hint = 0;
    for (int d : dirty) {
      const Point p = nodes[d];
      bool any = false;
      Walk(columns, hint, Clamp(static_cast<i128>(p.x) - tolerance), Clamp(static_cast<i128>(p.x) + tolerance),
           Clamp(static_cast<i128>(p.y) - tolerance), Clamp(static_cast<i128>(p.y) + tolerance), [&](int n) {
             if (n == d || !used[n]) return;
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
    if (order.empty()) return Remap(nullptr);
    return MergeInOrder(order, tolerance);
  }

  // "Node to Node" with the marge: the first time over all nodes, then
  // around the nodes made since.
  bool MergeStage() {
    ++epoch;
    const bool full = nodesAtMerge == 0;
    const std::size_t since = nodesAtMerge;
    nodesAtMerge = nodes.size();
    if (full) return MergeNodes(marge);
    UpdateUsed();
    std::vector<int> dirty;
    for (std::size_t n = since; n < nodes.size(); ++n)
      if (used[n]) dirty.push_back(static_cast<int>(n));
    return MergeAround(marge, dirty);
  }

  // "Node to BoolLink": nodes lying within the marge of a link (vertically,
  // or horizontally as seen after a quarter turn) that does not end at them
  // split that link.
  bool SnapStage() {
    ++epoch;
    UpdateUsed();
    RefreshSorted();
    DropDeadSorted();
    const int since = lastSnap;
    const std::size_t newNodes = nodesAtSnap;
    lastSnap = epoch;
    nodesAtSnap = nodes.size();
    cuts.clear();
    // Links in the order of their first search, so that each search starts
    // next to the previous one; each with its geometry, as that order is far
    // from the order links are stored in.
    std::vector<LinkGeometry> dirtyLinks;
    std::vector<int> cleanLinks;
    for (std::size_t li = 0; li < links.size(); ++li) {
      if (links[li].changed < since)
        cleanLinks.push_back(static_cast<int>(li));
      else
        dirtyLinks.push_back(GeometryOf(static_cast<int>(li)));
    }
    std::sort(dirtyLinks.begin(), dirtyLinks.end(), [](const LinkGeometry& a, const LinkGeometry& b) {
      if (a.key1 != b.key1) return a.key1 < b.key1;
      if (a.key2 != b.key2) return a.key2 < b.key2;
      return a.link < b.link;
    });
    Hints hints;
    NodeSet all{&rows, &columns, {}, {}, {}, false};
    for (const LinkGeometry& g : dirtyLinks) {
      const int li = g.link;
      NodesNearLink(g, all, hints, [&](int n) { cuts.push_back({li, n}); });
    }
    if (!cleanLinks.empty() && newNodes < nodes.size()) {
      std::vector<SortedNode> dirtyRows, dirtyColumns;
      for (std::size_t n = newNodes; n < nodes.size(); ++n) {
        if (!used[n]) continue;
        dirtyRows.push_back({nodes[n].y, nodes[n].x, static_cast<int>(n)});
        dirtyColumns.push_back({nodes[n].x, nodes[n].y, static_cast<int>(n)});
      }
      if (!dirtyRows.empty()) {
        std::sort(dirtyRows.begin(), dirtyRows.end());
        std::sort(dirtyColumns.begin(), dirtyColumns.end());
        Hints dirtyHints;
        NodeSet fresh{&dirtyRows, &dirtyColumns, {}, {}, {}, false};
        for (int li : cleanLinks)
          NodesNearLink(GeometryOf(li), fresh, dirtyHints, [&](int n) { cuts.push_back({li, n}); });
      }
    }
    if (cuts.empty()) return false;
    ApplyCuts();
    return true;
  }

  static BoxTree::Box BoxOf(Point a, Point b) {
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
  }

  // Tests links p and q for a proper crossing; records a new node there.
  void CrossPair(int pi, int qi) {
    const Link& p = links[pi];
    const Link& q = links[qi];
    if (p.begin == q.begin || p.begin == q.end || p.end == q.begin || p.end == q.end) return;
    const Point a0 = nodes[p.begin], a1 = nodes[p.end], b0 = nodes[q.begin], b1 = nodes[q.end];
    const bool pLevel = a0.y == a1.y, pVertical = a0.x == a1.x;
    const bool qLevel = b0.y == b1.y, qVertical = b0.x == b1.x;
    if ((pLevel && qVertical) || (pVertical && qLevel)) {
      // Level and vertical: strictly inside both.
      const Point lv0 = pLevel ? a0 : b0, lv1 = pLevel ? a1 : b1;
      const Point v0 = pLevel ? b0 : a0, v1 = pLevel ? b1 : a1;
      const i64 x = v0.x, y = lv0.y;
      if (x <= std::min(lv0.x, lv1.x) || x >= std::max(lv0.x, lv1.x)) return;
      if (y <= std::min(v0.y, v1.y) || y >= std::max(v0.y, v1.y)) return;
      const int n = AddNode(Point{x, y});
      cuts.push_back({pi, n});
      cuts.push_back({qi, n});
      return;
    }
    const int o1 = Sign(Cross(a1.x - a0.x, a1.y - a0.y, b0.x - a0.x, b0.y - a0.y));
    const int o2 = Sign(Cross(a1.x - a0.x, a1.y - a0.y, b1.x - a0.x, b1.y - a0.y));
    if (o1 * o2 >= 0) return;
    const int o3 = Sign(Cross(b1.x - b0.x, b1.y - b0.y, a0.x - b0.x, a0.y - b0.y));
    const int o4 = Sign(Cross(b1.x - b0.x, b1.y - b0.y, a1.x - b0.x, a1.y - b0.y));
    if (o3 * o4 >= 0) return;
    const int n = AddNode(CrossingPoint(a0, a1, b0, b1));
    cuts.push_back({pi, n});
    cuts.push_back({qi, n});
  }

  // "intersect": links that cross properly get a node at the crossing,
  // truncated toward zero. Only pairs with a link changed since the last run
  // are tested: the changed links go into a box index and every link asks it.
  bool IntersectStage() {
    ++epoch;
    const int since = lastIntersect;
    lastIntersect = epoch;
    cuts.clear();
    std::vector<char> dirty(links.size(), 0);
    std::size_t dirtyCount = 0;
    for (std::size_t i = 0; i < links.size(); ++i)
      if (links[i].changed >= since) {
        dirty[i] = 1;
        ++dirtyCount;
      }
    if (dirtyCount == 0) return false;
    const std::size_t count = links.size();
    if (dirtyCount * 4 >= count) {
      // Most links changed: every overlapping pair, from a grid.
      std::vector<BoxTree::Box> boxes(count);
      for (std::size_t i = 0; i < count; ++i) boxes[i] = BoxOf(nodes[links[i].begin], nodes[links[i].end]);
      Grid grid;
      grid.Build(boxes);
      grid.Pairs([&](int a, int b) {
        if (dirty[a] || dirty[b]) CrossPair(std::min(a, b), std::max(a, b));
      });
    } else {
      // The changed links go into a box index and every link asks it; a
      // pair of changed links is met from both sides and tested once.
      std::vector<std::pair<BoxTree::Box, int>> boxes;
      for (std::size_t i = 0; i < count; ++i)
        if (dirty[i]) boxes.push_back({BoxOf(nodes[links[i].begin], nodes[links[i].end]), static_cast<int>(i)});
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
        const BoxTree::Box box = BoxOf(nodes[links[i].begin], nodes[links[i].end]);
        if (!dirty[i] && !touched.Any(box)) continue;
        tree.Query(box, [&](int other) {
          if (other == li || (dirty[i] && other < li)) return;
          CrossPair(std::min(li, other), std::max(li, other));
        });
      }
    }
    if (cuts.empty()) return false;
    ApplyCuts();
    return true;
  }

  // Cuts every link at its cut nodes, ordered along the link; the pieces
  // keep the link's contour number, group and direction mode.
  void ApplyCuts() {
    std::sort(cuts.begin(), cuts.end(), [](const Cut& p, const Cut& q) { return p.link < q.link; });
    for (std::size_t i = 0; i < cuts.size();) {
      const int li = cuts[i].link;
      std::size_t j = i;
      while (j < cuts.size() && cuts[j].link == li) ++j;
      const Point a = nodes[links[li].begin], b = nodes[links[li].end];
      const i64 dx = b.x - a.x, dy = b.y - a.y;
      auto along = [&](int n) {
        return static_cast<i128>(nodes[n].x - a.x) * dx + static_cast<i128>(nodes[n].y - a.y) * dy;
      };
      std::sort(cuts.begin() + static_cast<std::ptrdiff_t>(i), cuts.begin() + static_cast<std::ptrdiff_t>(j),
                [&](const Cut& p, const Cut& q) {
                  const i128 pa = along(p.node), qa = along(q.node);
                  return pa != qa ? pa < qa : p.node < q.node;
                });
      const int end = links[li].end;
      int from = links[li].begin;
      bool first = true;
      for (std::size_t k = i; k < j; ++k) {
        const int n = cuts[k].node;
        if (nodes[n] == nodes[from] || nodes[n] == b) continue;
        if (first) {
          links[li].end = n;
          links[li].changed = epoch;
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
      i = j;
    }
    cuts.clear();
  }

  // Node to node, node to link and crossings, repeated until nothing
  // changes (merging moves links, which may bring them near other nodes or
  // across other links). `planar`: no two links cross yet. Returns whether
  // anything changed.
  bool Node(bool planar) {
    if (planar) lastIntersect = epoch + 1;
    engine.ReportStage("Node to Node");
    bool any = MergeStage();
    const int kMaxRounds = 64;
    for (int round = 0;; ++round) {
      if (links.size() <= 2) return any;
      if (round == kMaxRounds) Fail("crossing search does not settle", "Error");
      settled = false;
      bool changed = false;
      engine.ReportStage("Node to BoolLink 0");
      changed |= SnapStage();
      engine.ReportStage("intersect");
      changed |= IntersectStage();
      engine.ReportStage("Node to Node");
      changed |= MergeStage();
      any |= changed;
      if (!changed) {
        settled = true;
        return any;
      }
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

  // A record of the beam: a non-vertical link by its left and right end.
  struct Record {
    Point left;
    Point right;
    int link;
    bool level;
  };

  // Compares the Y of record r at x with the integer y.
  static int CompareAt(const Record& r, i64 x, i64 y) {
    if (r.level) return r.left.y < y ? -1 : (r.left.y > y ? 1 : 0);
    return CompareYAtInteger(r.left, r.right, x, y);
  }

  struct BeamOrder {
    const std::vector<Record>* records;
    const i64* sweepX;
    const Point* probe;
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
      const int s = Sign(Cross(p.right.x - p.left.x, p.right.y - p.left.y, q.right.x - q.left.x, q.right.y - q.left.y));
      if (s != 0) return s < 0;
      return p.link < q.link;
    }
    bool Above(int a) const { return CompareAt((*records)[a], *sweepX, probe->y) >= 0; }
  };

  // Visits every link of the subset once, at its first node in sweep order,
  // with the link directly above it (-1 when none). Records never change
  // places between nodes because the arrangement is planar; a neighbour on
  // the wrong side of a node means it is not, and stops the operation.
  template <class Visit>
  void Sweep(const std::vector<int>& subset, Visit visit) {
    // The nodes of the subset in sweep order (X ascending, Y descending),
    // and per node the links of the subset at it.
    struct Key {
      i64 x;
      i64 y;
      int id;
    };
    std::vector<Key> keys;
    keys.reserve(subset.size() + 1);
    {
      // Each node once (a table for a large subset, else sorted duplicates go).
      std::vector<char> seen;
      if (subset.size() * 8 >= nodes.size()) seen.assign(nodes.size(), 0);
      for (int li : subset)
        for (int n : {links[li].begin, links[li].end}) {
          if (!seen.empty()) {
            if (seen[n]) continue;
            seen[n] = 1;
          }
          keys.push_back({nodes[n].x, nodes[n].y, n});
        }
    }
    std::sort(keys.begin(), keys.end(), [](const Key& p, const Key& q) {
      if (p.x != q.x) return p.x < q.x;
      if (p.y != q.y) return p.y > q.y;
      return p.id < q.id;
    });
    keys.erase(std::unique(keys.begin(), keys.end(), [](const Key& p, const Key& q) { return p.id == q.id; }),
               keys.end());
    std::vector<int> order(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) order[i] = keys[i].id;
    // Place of a node in the order: a table over all nodes for a large
    // subset, a binary search for a small one (one contour).
    std::vector<int> table;
    if (subset.size() * 8 >= nodes.size()) {
      table.assign(nodes.size(), -1);
      for (std::size_t i = 0; i < order.size(); ++i) table[order[i]] = static_cast<int>(i);
    }
    auto place = [&](int node) {
      if (!table.empty()) return table[node];
      return static_cast<int>(std::lower_bound(order.begin(), order.end(), node,
                                               [this](int a, int b) { return SweepBefore(a, b); }) -
                              order.begin());
    };
    std::vector<Record> records(subset.size());
    std::vector<int> firstAt(subset.size()), offsets(order.size() + 1, 0);
    for (std::size_t k = 0; k < subset.size(); ++k) {
      const Link& l = links[subset[k]];
      const int pb = place(l.begin), pe = place(l.end);
      Record& r = records[k];
      r.link = subset[k];
      r.left = nodes[pb < pe ? l.begin : l.end];
      r.right = nodes[pb < pe ? l.end : l.begin];
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
        const Link& l = links[subset[k]];
        atNode[fill[place(l.begin)]++] = static_cast<int>(k);
        atNode[fill[place(l.end)]++] = static_cast<int>(k);
      }
    }
    i64 sweepX = 0;
    Point probe{0, 0};
    using Beam = std::set<int, BeamOrder>;
    Beam beam(BeamOrder{&records, &sweepX, &probe});
    std::vector<Beam::iterator> where(subset.size(), beam.end());
    auto check = [&](int slot, int node, bool above) {
      const Record& r = records[slot];
      const int c = CompareAt(r, nodes[node].x, nodes[node].y);
      const Link& l = links[r.link];
      const bool touches = l.begin == node || l.end == node;
      if ((above && c < 0) || (!above && c > 0) || (c == 0 && !touches)) Fail("beam out of order", "Error");
    };
    auto byLink = [&](int a, int b) { return records[a].link < records[b].link; };
    std::vector<int> ending, starting, vertical;
    for (std::size_t n = 0; n < order.size(); ++n) {
      const int node = order[n];
      sweepX = nodes[node].x;
      probe = nodes[node];
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
        const int s = Sign(Cross(p.right.x - p.left.x, p.right.y - p.left.y, q.right.x - q.left.x, q.right.y - q.left.y));
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

  // --- Winding counts and operation flags --------------------------------

  // Signed area (twice) of the links of each contour, in long double.
  // Whether each contour's pieces form one simple closed curve: in the planar
  // arrangement that means every node on it carries exactly two of its links.
  void SetWindingSenses() {
    int contours = 0;
    for (const Link& l : links) contours = std::max(contours, l.graphNumber);
    std::vector<char> simple(static_cast<std::size_t>(contours) + 1, 1);
    std::vector<long double> area(static_cast<std::size_t>(contours) + 1, 0.0L), scale(area);
    {
      std::vector<std::pair<int, int>> ends;  // (contour, node)
      for (const Link& l : links) {
        if (l.directed) continue;
        ends.push_back({l.graphNumber, l.begin});
        ends.push_back({l.graphNumber, l.end});
        const Point a = nodes[l.begin], b = nodes[l.end];
        const long double term = static_cast<long double>(a.x) * b.y - static_cast<long double>(b.x) * a.y;
        area[l.graphNumber] += term;
        scale[l.graphNumber] += std::fabs(term);
      }
      std::sort(ends.begin(), ends.end());
      for (std::size_t i = 0; i < ends.size();) {
        std::size_t j = i;
        while (j < ends.size() && ends[j] == ends[i]) ++j;
        if (j - i != 2) simple[ends[i].first] = 0;
        i = j;
      }
    }
    // A simple contour with a clearly nonzero area: its absolute winding
    // rises crossing a link downward exactly when the link runs right with
    // the inside on its right (clockwise), or left when counter-clockwise.
    std::vector<char> reversed(simple.size(), 0);
    for (std::size_t g = 0; g < simple.size(); ++g) {
      if (simple[g] && std::fabs(area[g]) > scale[g] * 1e-12L) reversed[g] = area[g] > 0;
      else simple[g] = 0;
    }
    std::vector<int> order;
    for (std::size_t i = 0; i < links.size(); ++i) {
      Link& l = links[i];
      if (l.directed) {
        l.windingSense = RunsRight(l);
      } else if (simple[l.graphNumber]) {
        l.windingSense = RunsRight(l) != static_cast<bool>(reversed[l.graphNumber]);
      } else {
        order.push_back(static_cast<int>(i));
      }
    }
    if (order.empty()) return;
    // The others: per contour, the winding number below each link tells
    // whether the link raises or lowers that contour's absolute winding.
    std::vector<int> windingBelow(links.size(), 0);
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
  }

  void SetGroupFlags() {
    SetWindingSenses();

    // Coincident links (same two nodes) are one boundary: the first stands
    // for all, the others are marked doubled and their counts add to it.
    std::vector<std::pair<std::uint64_t, int>> byEnds(links.size());
    for (std::size_t i = 0; i < links.size(); ++i) {
      const auto lo = static_cast<std::uint32_t>(std::min(links[i].begin, links[i].end));
      const auto hi = static_cast<std::uint32_t>(std::max(links[i].begin, links[i].end));
      byEnds[i] = {(static_cast<std::uint64_t>(lo) << 32) | hi, static_cast<int>(i)};
    }
    std::sort(byEnds.begin(), byEnds.end());
    std::vector<int> deltaA(links.size(), 0), deltaB(links.size(), 0);
    std::vector<int> representatives;
    for (std::size_t i = 0; i < byEnds.size();) {
      const int first = byEnds[i].second;
      representatives.push_back(first);
      for (const std::uint64_t key = byEnds[i].first; i < byEnds.size() && byEnds[i].first == key; ++i) {
        const Link& l = links[byEnds[i].second];
        if (byEnds[i].second != first) links[byEnds[i].second].doubled = true;
        (l.group == GroupA ? deltaA : deltaB)[first] += l.windingSense ? 1 : -1;
      }
    }
    std::sort(representatives.begin(), representatives.end());
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

  // `boundary`: the links are the exact boundary of one region of group A
  // (directed, region on the right, planar, no coincident links); when
  // noding changes nothing they need no sweep.
  void Prepare(bool boundary) {
    engine.ReportStage("Intersection");
    const bool changed = Node(boundary);
    for (Link& l : links) l.mark = l.doubled = false;
    engine.ReportStage("Set group A/B Flags");
    if (boundary && !changed) {
      for (Link& l : links) {
        l.groupsRight = kInA;
        l.groupsLeft = 0;
      }
    } else {
      SetGroupFlags();
    }
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
    i64 seedTopY = 0;  // extraction order key of the link the walk was started from
    i64 seedLowX = 0;
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
  // Lists of links per node in one array (compressed rows).
  struct Adjacency {
    std::vector<int> offsets;
    std::vector<int> items;
    std::span<const int> operator[](int node) const {
      return {items.data() + offsets[node], items.data() + offsets[node + 1]};
    }
  };

  // Links at each node: by their From node (outgoing) or at both ends.
  Adjacency MakeAdjacency(bool outgoingOnly) const {
    Adjacency a;
    a.offsets.assign(nodes.size() + 1, 0);
    for (std::size_t i = 0; i < links.size(); ++i) {
      if (outgoingOnly) {
        ++a.offsets[From(static_cast<int>(i)) + 1];
      } else {
        ++a.offsets[links[i].begin + 1];
        ++a.offsets[links[i].end + 1];
      }
    }
    for (std::size_t n = 0; n < nodes.size(); ++n) a.offsets[n + 1] += a.offsets[n];
    a.items.resize(static_cast<std::size_t>(a.offsets.back()));
    std::vector<int> fill(a.offsets.begin(), a.offsets.end() - 1);
    for (std::size_t i = 0; i < links.size(); ++i) {
      if (outgoingOnly) {
        a.items[fill[From(static_cast<int>(i))]++] = static_cast<int>(i);
      } else {
        a.items[fill[links[i].begin]++] = static_cast<int>(i);
        a.items[fill[links[i].end]++] = static_cast<int>(i);
      }
    }
    return a;
  }

  std::vector<Walked> Collect(bool firstVariant) {
    // Marks in an array of their own: the seeds come in extraction order
    // (by Y), which is far from the order links are stored in.
    std::vector<char> marked(links.size(), 0);
    const Adjacency outgoing = MakeAdjacency(true);
    const Adjacency incident = MakeAdjacency(false);
    auto degreeOf = [&](int node) { return incident.offsets[node + 1] - incident.offsets[node]; };
    // Extraction order: higher Y descending, then lower X descending.
    struct Key {
      i64 topY;
      i64 lowX;
      int link;
    };
    std::vector<Key> keys(links.size());
    for (std::size_t i = 0; i < links.size(); ++i) {
      const Point a = nodes[links[i].begin], b = nodes[links[i].end];
      keys[i] = Key{std::max(a.y, b.y), std::min(a.x, b.x), static_cast<int>(i)};
    }
    std::sort(keys.begin(), keys.end(), [](const Key& p, const Key& q) {
      if (p.topY != q.topY) return p.topY > q.topY;
      if (p.lowX != q.lowX) return p.lowX > q.lowX;
      return p.link < q.link;
    });
    std::vector<int> order(links.size());
    for (std::size_t i = 0; i < keys.size(); ++i) order[i] = keys[i].link;
    // The link that follows each link where it ends at a node of two links
    // (the one link leaving it; -1: none), -2 where the walk must choose.
    // Worked out in storage order, so that the walks mostly read this array.
    std::vector<int> follow(links.size());
    for (std::size_t i = 0; i < links.size(); ++i) {
      const int at = To(static_cast<int>(i));
      const std::span<const int> out = outgoing[at];
      follow[i] = degreeOf(at) != 2 || out.size() > 1 ? -2 : (out.empty() ? -1 : out[0]);
    }

    std::vector<Walked> result;
    for (int seed : order) {
      if (marked[seed]) continue;
      const Link& s = links[seed];
      const int upper = nodes[s.end].y > nodes[s.begin].y ? s.end : s.begin;
      // The flattest unmarked link at the upper node.
      int first = -1;
      i128 bestDx = 0, bestDy = 1;  // slope as |dy| / |dx|, vertical when dx == 0
      for (int li : incident[upper]) {
        if (marked[li]) continue;
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
      Walked walked{{}, hole, std::max(nodes[s.begin].y, nodes[s.end].y), std::min(nodes[s.begin].x, nodes[s.end].x)};
      auto take = [&](int li) {
        marked[li] = 1;
        // Hole flags start clear; the second collection needs them no more.
        if (hole && firstVariant) links[li].hole = true;
        walked.links.push_back(li);
      };
      take(first);
      if (hole) links[first].topOfHole = true;
      const int start = From(first);
      int current = first;
      for (;;) {
        int next = follow[current];
        if (next >= 0 && !marked[next]) {
          take(next);
          current = next;
          continue;
        }
        const int at = To(current);
        if (next != -2) {
          next = -1;  // the one link out of a node of two is taken already
        } else if (degreeOf(at) == 2) {
          for (int li : outgoing[at])
            if (!marked[li]) next = li;
        } else {
          const i64 inX = nodes[at].x - nodes[From(current)].x;
          const i64 inY = nodes[at].y - nodes[From(current)].y;
          for (int li : outgoing[at]) {
            if (marked[li] && !(at == start && li == first)) continue;
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
    // The lowest boundary strictly above the query node; on equal Y the
    // lowest link number.
    auto offer = [](Query& q, int li, const ExactY& y) {
      if (q.link < 0 || CompareExact(y, q.y) < 0 || (CompareExact(y, q.y) == 0 && li < q.link)) {
        q.link = li;
        q.y = y;
      }
    };
    if (queries.size() <= 16) {
      // Few holes: every link is asked directly.
      for (Query& q : queries) {
        const Point hp = nodes[q.node];
        for (std::size_t i = 0; i < links.size(); ++i) {
          const Link& l = links[i];
          const Point a = nodes[l.begin], b = nodes[l.end];
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
          Point left, right;
          Ends(l, left, right);
          const ExactY y = YAt(left, right, hp.x);
          if (CompareToInteger(y, hp.y) > 0) offer(q, static_cast<int>(i), y);
        }
      }
      return JoinHoles(queries);
    }
    // Many holes: one sweep over X. A link with an end at the query's X
    // reaches it through that end node: the lowest node above the query node
    // in its column is one candidate (of the links there, the lowest link
    // number as the boundary above, verticals by their lower end). The links
    // that span the X strictly wait in a beam ordered by their Y at the
    // sweep X (the arrangement is planar, so the order holds between
    // events); the first one above the query node is the other candidate.
    const Adjacency incident = MakeAdjacency(false);
    // Nodes by (x, y): the columns kept by noding (nodes without links are
    // passed over below), or sorted here when noding did not run.
    std::vector<SortedNode> own;
    if (!settled) {
      for (std::size_t n = 0; n < nodes.size(); ++n)
        if (incident.offsets[n + 1] > incident.offsets[n]) own.push_back({nodes[n].x, nodes[n].y, static_cast<int>(n)});
      std::sort(own.begin(), own.end());
    } else {
      RefreshSorted();
    }
    const std::vector<SortedNode>& column = settled ? columns : own;
    std::size_t columnHint = 0;
    struct Event {
      i64 x;
      int kind;  // 0 leave, 1 query, 2 enter
      int index;
    };
    std::vector<Event> events;
    std::vector<Record> records(links.size());
    for (std::size_t i = 0; i < links.size(); ++i) {
      Record& r = records[i];
      r.link = static_cast<int>(i);
      Ends(links[i], r.left, r.right);
      r.level = r.left.y == r.right.y;
      if (r.left.x == r.right.x) continue;
      events.push_back({r.left.x, 2, static_cast<int>(i)});
      events.push_back({r.right.x, 0, static_cast<int>(i)});
    }
    for (std::size_t q = 0; q < queries.size(); ++q) events.push_back({nodes[queries[q].node].x, 1, static_cast<int>(q)});
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
      const int s = Sign(Cross(p.right.x - p.left.x, p.right.y - p.left.y, q.right.x - q.left.x, q.right.y - q.left.y));
      if (s != 0) return s > 0;
      return a < b;
    };
    std::set<int, decltype(lower)> beam(lower);
    std::vector<std::set<int, decltype(lower)>::iterator> where(links.size(), beam.end());
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
      Query& q = queries[static_cast<std::size_t>(e.index)];
      const Point hp = nodes[q.node];
      probeY = hp.y;
      // The lowest node with links above in the column (queries come in X
      // order, so each search starts where the previous one ended).
      columnHint = GallopLowerBound(column, columnHint, SortedNode{hp.x, hp.y, INT32_MAX});
      auto c = column.begin() + static_cast<std::ptrdiff_t>(columnHint);
      while (c != column.end() && c->major == hp.x && (c->minor == hp.y || incident[c->id].empty())) ++c;
      if (c != column.end() && c->major == hp.x) {
        int best = -1;
        for (int li : incident[c->id]) {
          const Point a = nodes[links[li].begin], b = nodes[links[li].end];
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
    return JoinHoles(queries);
  }

  // Cuts the boundary above each hole's top node and adds the bridge links.
  template <class Query>
  bool JoinHoles(const std::vector<Query>& queries) {
    struct Join {
      int node;    // top node of the hole
      int above;   // link to cut at the top of the bridge, or -1
      int target;  // node at the top of the bridge
      i64 y;       // top of the bridge when a link is cut
      bool hole;   // hole flag of the boundary above
    };
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
    cuts.clear();
    for (Join& j : joins) {
      if (j.above < 0) continue;
      j.target = AddNode(Point{nodes[j.node].x, j.y});
      cuts.push_back({j.above, j.target});
    }
    ApplyCuts();
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
    if (!settled) MergeNodes(0);  // settled nodes never coincide
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
      const std::size_t before = nodes.size();
      if (LinkHoles(contours, degree)) {
        if (settled) {
          // Only the new ends of the cuts can lie that close to another node.
          UpdateUsed();
          std::vector<int> fresh;
          for (std::size_t n = before; n < nodes.size(); ++n)
            if (used[n]) fresh.push_back(static_cast<int>(n));
          MergeAround(1, fresh);
        } else {
          MergeNodes(1);
        }
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

// Clockwise (negative signed area), so that input orientation carries no meaning.
void MakeClockwise(std::vector<Point>& ring) {
  long double area = 0;
  for (std::size_t i = 0; i < ring.size(); ++i) {
    const Point& p = ring[i];
    const Point& q = ring[(i + 1) % ring.size()];
    area += (static_cast<long double>(p.x) - ring[0].x) * (static_cast<long double>(q.y) - ring[0].y) -
            (static_cast<long double>(q.x) - ring[0].x) * (static_cast<long double>(p.y) - ring[0].y);
  }
  if (area > 0) std::reverse(ring.begin(), ring.end());
}

bool IsAxisParallel(std::span<const Point> ring) {
  for (std::size_t i = 0; i < ring.size(); ++i) {
    const Point& p = ring[i];
    const Point& q = ring[(i + 1) % ring.size()];
    if (p.x != q.x && p.y != q.y) return false;
  }
  return true;
}

// Whether an axis-parallel ring (consecutive links perpendicular, as
// simplification leaves them) is a simple closed curve: no two links that
// are not neighbours in the ring share a point.
bool IsSimpleAxisParallel(std::span<const Point> ring) {
  const std::size_t n = ring.size();
  if (n == 4) return true;  // a rectangle
  for (std::size_t i = 0; i < n; ++i) {
    const Point a = ring[i], b = ring[(i + 1) % n];
    for (std::size_t j = i + 2; j < n; ++j) {
      if (i == 0 && j == n - 1) continue;
      const Point c = ring[j], d = ring[(j + 1) % n];
      const bool overlapX = std::max(std::min(a.x, b.x), std::min(c.x, d.x)) <= std::min(std::max(a.x, b.x), std::max(c.x, d.x));
      const bool overlapY = std::max(std::min(a.y, b.y), std::min(c.y, d.y)) <= std::min(std::max(a.y, b.y), std::max(c.y, d.y));
      if (overlapX && overlapY) return false;
    }
  }
  return true;
}

// The vertical links of a clockwise ring, whose inside lies on their right:
// upward links raise the count to their right.
void AppendScanEdges(std::span<const Point> ring, std::uint8_t group, std::vector<ScanEdge>& edges) {
  for (std::size_t i = 0; i < ring.size(); ++i) {
    const Point& p = ring[i];
    const Point& q = ring[(i + 1) % ring.size()];
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
  std::vector<Point> points;
  std::vector<Ring> list;
  std::span<const Point> operator[](std::size_t i) const { return {points.data() + list[i].first, list[i].count}; }
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
    const std::span<const Point> ring = rings[r];
    const std::uint8_t g = static_cast<std::uint8_t>(rings.list[r].group);
    if (ring.size() <= 64 && IsSimpleAxisParallel(ring)) {
      AppendScanEdges(ring, g, edges);
      continue;
    }
    own.clear();
    AppendScanEdges(ring, 0, own);
    const ScanResult region = ScanManhattan(own, nonzero);
    for (const auto& link : region.links) {
      const Point& p = region.nodes[link[0]];
      const Point& q = region.nodes[link[1]];
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
  std::vector<Point> points;
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
      const Point p = b.nodes[v];
      c.box.xmin = std::min(c.box.xmin, p.x);
      c.box.ymin = std::min(c.box.ymin, p.y);
      c.box.xmax = std::max(c.box.xmax, p.x);
      c.box.ymax = std::max(c.box.ymax, p.y);
      if (degree[v] != 2) c.simple = false;
    }
  }
  // Components whose widened boxes meet.
  std::vector<BoxTree::Box> boxes(components.size());
  auto widen = [](i64 v, i64 d) { return static_cast<i64>(std::clamp<i128>(static_cast<i128>(v) + d, INT64_MIN, INT64_MAX)); };
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
      const Point p = b.nodes[b.links[first[i]][0]];
      for (int j = i + 1; j < count && clean; ++j) {
        const Point q = b.nodes[b.links[first[j]][0]];
        if (near(static_cast<i128>(p.x) - q.x) && near(static_cast<i128>(p.y) - q.y)) clean = false;
      }
      for (int j = 0; j < count && clean; ++j) {
        const auto& l = b.links[first[j]];
        if (l[0] == b.links[first[i]][0] || l[1] == b.links[first[i]][0]) continue;
        const Point a = b.nodes[l[0]], e = b.nodes[l[1]];
        if (a.y == e.y) {
          if (p.x >= std::min(a.x, e.x) && p.x <= std::max(a.x, e.x) && near(static_cast<i128>(p.y) - a.y)) clean = false;
        } else if (p.y >= std::min(a.y, e.y) && p.y <= std::max(a.y, e.y) && near(static_cast<i128>(p.x) - a.x)) {
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
      const Point a = b.nodes[b.links[li][0]], e = b.nodes[b.links[li][1]];
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

}  // namespace

}  // namespace boolean_detail

void Bool_Engine::RunOperation(BooleanOperation operation) {
  using namespace boolean_detail;
  ReportStage("Performing Boolean Operation");
  if (graphs_.empty()) return;
  contourOpen_ = false;
  ReportStage("Simplify");
  Rings rings;
  rings.points.reserve(vertices_.size());
  rings.list.reserve(graphs_.size());
  std::vector<Point> ring;
  for (const Contour& contour : graphs_) {
    ring.clear();
    for (std::size_t i = contour.first; i < contour.first + contour.count; ++i) {
      const Point p{vertices_[i].x, vertices_[i].y};
      if (ring.empty() || !(ring.back() == p)) ring.push_back(p);
    }
    while (ring.size() > 1 && ring.front() == ring.back()) ring.pop_back();
    SimplifyRing(ring, m_GRID);
    if (ring.size() < 3) continue;
    MakeClockwise(ring);
    rings.list.push_back({contour.group, rings.points.size(), ring.size()});
    rings.points.insert(rings.points.end(), ring.begin(), ring.end());
  }
  graphs_.clear();
  vertices_.clear();
  vertices_.shrink_to_fit();

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
      const std::span<const Point> r = rings[g];
      const int first = static_cast<int>(work.nodes.size());
      for (const Point& p : r) work.AddNode(p);
      for (std::size_t i = 0; i < r.size(); ++i)
        work.AddLink(first + static_cast<int>(i), first + static_cast<int>((i + 1) % r.size()),
                     static_cast<int>(g) + 1, static_cast<std::uint8_t>(rings.list[g].group));
    }
  }
  std::vector<WorkGraph::Walked> contours;
  if (!work.links.empty()) {
    ReportStage("prepare");
    work.Prepare(manhattan);
    contours = work.Extract(extract);
  }
  std::vector<int> degree(work.nodes.size(), 0);
  for (const auto& walked : contours)
    for (int li : walked.links) {
      ++degree[work.links[li].begin];
      ++degree[work.links[li].end];
    }
  std::vector<int> ids, kept;
  auto emitWalked = [&](const WorkGraph::Walked& walked) {
    ids.clear();
    for (int li : walked.links) ids.push_back(work.From(li));
    // A vertex where the contour goes straight on (pieces of one boundary
    // cut by a link that is gone now) is dropped. Junctions, cut ends
    // included, stay. Dropping such a vertex changes no direction, so one
    // pass over the original neighbours decides them all.
    auto straight = [&](std::size_t i, const std::vector<int>& v) {
      const Point& a = work.nodes[v[(i + v.size() - 1) % v.size()]];
      const Point& b = work.nodes[v[i]];
      const Point& c = work.nodes[v[(i + 1) % v.size()]];
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
    graphs_.push_back(Contour{GroupA, vertices_.size(), ids.size()});
    for (int id : ids) vertices_.push_back(Vertex{work.nodes[id].x, work.nodes[id].y});
  };
  auto emitIsolated = [&](const IsolatedContours::Contour& c) {
    graphs_.push_back(Contour{GroupA, vertices_.size(), c.count});
    for (std::size_t i = c.first; i < c.first + c.count; ++i)
      vertices_.push_back(Vertex{isolated.points[i].x, isolated.points[i].y});
  };
  // Contours in extraction order of the link each walk started from.
  auto before = [](i64 topY, i64 lowX, i64 otherTopY, i64 otherLowX) {
    return topY != otherTopY ? topY > otherTopY : lowX > otherLowX;
  };
  std::sort(isolated.list.begin(), isolated.list.end(), [&](const auto& p, const auto& q) {
    return before(p.seedTopY, p.seedLowX, q.seedTopY, q.seedLowX);
  });
  std::size_t next = 0;
  for (const WorkGraph::Walked& walked : contours) {
    for (; next < isolated.list.size() &&
           before(isolated.list[next].seedTopY, isolated.list[next].seedLowX, walked.seedTopY, walked.seedLowX);
         ++next)
      emitIsolated(isolated.list[next]);
    emitWalked(walked);
  }
  for (; next < isolated.list.size(); ++next) emitIsolated(isolated.list[next]);
}