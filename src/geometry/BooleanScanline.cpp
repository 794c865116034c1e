// The coverage sweep for axis-parallel input (see BooleanScanline.h).
//
// The sweep line is a map from Y to the coverage counts of the interval
// that starts there and reaches up to the next entry. At each X the vertical
// links there change the counts of their Y ranges; comparing the status of
// every interval in those ranges before and after gives the vertical
// boundary at X, and comparing neighbouring intervals gives the level
// boundaries, which stay open (an entry remembers the node where its level
// link began) until their state changes at a later X.
#include "geometry/BooleanScanline.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <utility>

namespace zandor::boolean_detail {

ScanResult ScanManhattan(std::vector<ScanEdge> edges, const StatusTable& status) {
    if (status(0, 0)) Fail("the empty plane lies in the result", "Error");
    std::sort(edges.begin(), edges.end(), [](const ScanEdge& p, const ScanEdge& q) {
        if (p.x != q.x) return p.x < q.x;
        return p.ylo < q.ylo;
    });
    struct Entry {
        int a = 0;  // coverage counts of the interval from this Y up to the next entry
        int b = 0;
        int stamp = -1;          // the sweep step in which oldStatus was taken
        bool oldStatus = false;  // status of the interval before this step's changes
        bool openAbove = false;  // side of the result along the open level link
        int open = -1;           // node where the level link along this Y began, or -1
    };
    std::map<i64, Entry> line;
    ScanResult out;
    auto level = [&](int open, int node, bool resultAbove) {
        // Result above: the link runs leftwards; below: rightwards.
        if (resultAbove)
            out.links.push_back({node, open});
        else
            out.links.push_back({open, node});
    };
    using Iter = std::map<i64, Entry>::iterator;
    // The entry at y, made with the counts of the interval it falls in.
    auto ensure = [&](i64 y) {
        auto it = line.lower_bound(y);
        if (it != line.end() && it->first == y) return it;
        Entry e;
        if (it != line.begin()) {
            e.a = std::prev(it)->second.a;
            e.b = std::prev(it)->second.b;
        }
        return line.emplace_hint(it, y, e);
    };
    // Walking up one range at x: the state below the current entry, and the
    // lower node of the vertical boundary being built.
    bool oldBelow = false, newBelow = false;
    int stretch = -1;
    i64 x = 0;
    // One entry of the walk: its interval's status before and after the change.
    auto step = [&](Entry& en, i64 y, bool oldAbove, bool newAbove) {
        const bool oldEdge = oldAbove != oldBelow, newEdge = newAbove != newBelow;
        int node = -1;
        if (oldEdge != newEdge || (oldEdge && oldAbove != newAbove)) {
            node = static_cast<int>(out.nodes.size());
            out.nodes.push_back(Point64{x, y});
            if (oldEdge) {
                if (en.open < 0) Fail("level link without a start", "Error");
                level(en.open, node, en.openAbove);
            }
            en.open = newEdge ? node : -1;
            en.openAbove = newAbove;
        }
        const bool flippedBelow = oldBelow != newBelow, flippedAbove = oldAbove != newAbove;
        if (flippedBelow && node >= 0) {
            if (stretch < 0) Fail("vertical link without a start", "Error");
            // Result on the east side: the link runs upwards.
            if (newBelow)
                out.links.push_back({stretch, node});
            else
                out.links.push_back({node, stretch});
            stretch = -1;
        }
        if (flippedAbove && node >= 0) stretch = node;
        if (flippedBelow != flippedAbove && node < 0) Fail("unmatched change", "Error");
        oldBelow = oldAbove;
        newBelow = newAbove;
    };
    auto start = [&](Iter first, int& a, int& b) {
        a = b = 0;
        if (first != line.begin()) {
            a = std::prev(first)->second.a;
            b = std::prev(first)->second.b;
        }
        oldBelow = newBelow = status(a, b);
        stretch = -1;
    };
    std::vector<std::pair<Iter, Iter>> ends, ranges;
    int stamp = 0;
    for (std::size_t i = 0; i < edges.size();) {
        x = edges[i].x;
        std::size_t j = i;
        while (j < edges.size() && edges[j].x == x) ++j;
        if (j == i + 1) {
            // One link at this X (the common case): change, compare and tidy in
            // one walk. An entry that no longer separates different counts and
            // holds no open level link goes.
            const ScanEdge& e = edges[i];
            Iter it = ensure(e.ylo);
            const Iter top = ensure(e.yhi);
            int a, b;
            start(it, a, b);
            for (;;) {
                Entry& en = it->second;
                const bool last = it == top;
                const bool oldAbove = status(en.a, en.b);
                if (!last) (e.group == 0 ? en.a : en.b) += e.delta;
                step(en, it->first, oldAbove, last ? oldAbove : status(en.a, en.b));
                if (en.a == a && en.b == b && en.open < 0) {
                    it = line.erase(it);
                } else {
                    a = en.a;
                    b = en.b;
                    ++it;
                }
                if (last) break;
            }
            i = j;
            continue;
        }
        ++stamp;
        // Entries at both ends of every range, with the counts they lie in.
        ends.clear();
        for (std::size_t k = i; k < j; ++k) {
            const Iter lo = ensure(edges[k].ylo);
            ends.push_back({lo, ensure(edges[k].yhi)});
        }
        // The counts change; the status before the change is kept once per entry.
        for (std::size_t k = i; k < j; ++k) {
            const ScanEdge& e = edges[k];
            for (auto it = ends[k - i].first; it != ends[k - i].second; ++it) {
                Entry& en = it->second;
                if (en.stamp != stamp) {
                    en.stamp = stamp;
                    en.oldStatus = status(en.a, en.b);
                }
                (e.group == 0 ? en.a : en.b) += e.delta;
            }
        }
        // Disjoint ranges (edges are sorted by ylo); touching ones are joined,
        // so the interval below a range and the one above it did not change.
        ranges.clear();
        for (const auto& [lo, hi] : ends) {
            if (!ranges.empty() && lo->first <= ranges.back().second->first) {
                if (hi->first > ranges.back().second->first) ranges.back().second = hi;
            } else {
                ranges.push_back({lo, hi});
            }
        }
        for (const auto& range : ranges) {
            int a, b;
            start(range.first, a, b);
            for (Iter it = range.first;; ++it) {
                Entry& en = it->second;
                const bool last = it == range.second;
                const bool newAbove = status(en.a, en.b);
                step(en, it->first, en.stamp == stamp && !last ? en.oldStatus : newAbove, newAbove);
                if (last) break;
            }
            for (Iter it = range.first;;) {
                const bool last = it == range.second;
                if (it->second.a == a && it->second.b == b && it->second.open < 0) {
                    it = line.erase(it);
                } else {
                    a = it->second.a;
                    b = it->second.b;
                    ++it;
                }
                if (last) break;
            }
        }
        i = j;
    }
    if (!line.empty()) Fail("counts do not return to zero", "Error");
    return out;
}

}  // namespace zandor::boolean_detail
