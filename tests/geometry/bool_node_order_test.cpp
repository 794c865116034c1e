// The count sweep and the node merge take their order from the columns that
// noding keeps sorted; with the columns missing they sort the nodes
// themselves. Both ways must visit and merge alike, ties of equal X and
// equal points included.
#include <gtest/gtest.h>
#include <random>
#include <utility>
#include <vector>

#include "geometry/BooleanNoding.h"
#include "geometry/BooleanSweep.h"
#include "geometry/BooleanWorkGraph.h"

using namespace zandor;
using namespace zandor::boolean_detail;

namespace {

// Disjoint squares in the cells of a coarse grid (their sides share X and Y
// with their neighbours'), with nodes of no link at points of live ones.
void AddSquares(WorkGraph& graph, std::mt19937_64& random) {
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    const int cells = uniform(2, 12);
    for (int cx = 0; cx < cells; ++cx)
        for (int cy = 0; cy < cells; ++cy) {
            if (uniform(0, 3) == 0) continue;
            const i64 x0 = cx * 100 + uniform(0, 1) * 10, y0 = cy * 100 + uniform(0, 1) * 10;
            const i64 x1 = x0 + 50 + uniform(0, 1) * 20, y1 = y0 + 50;
            const int first = static_cast<int>(graph.nodes.size());
            for (const Point64 p : {Point64{x0, y0}, Point64{x0, y1}, Point64{x1, y1}, Point64{x1, y0}})
                graph.AddNode(p);
            for (int k = 0; k < 4; ++k) graph.AddLink(first + k, first + (k + 1) % 4, cx * cells + cy + 1, GroupA);
            if (uniform(0, 2) == 0) graph.AddNode(Point64{x0, y1});
        }
}

TEST(NodeOrder, SweepVisitsAlikeWithAndWithoutTheColumns) {
    std::mt19937_64 random(7);
    for (int round = 0; round < 300; ++round) {
        Bool_Engine engine;
        WorkGraph graph(engine);
        AddSquares(graph, random);
        if (graph.links.empty()) continue;
        RefreshSorted(graph);
        ASSERT_EQ(graph.sortedNodes, graph.nodes.size());
        std::vector<int> subset;
        for (std::size_t i = 0; i < graph.links.size(); ++i) subset.push_back(static_cast<int>(i));
        auto visits = [&] {
            std::vector<std::pair<int, int>> seen;
            Sweep(graph, subset, [&](int link, int above) { seen.push_back({link, above}); });
            return seen;
        };
        const auto fromColumns = visits();
        EXPECT_EQ(fromColumns.size(), subset.size());
        graph.sortedNodes = 0;  // the columns count as stale: the sweep sorts
        EXPECT_EQ(visits(), fromColumns) << "round " << round;
    }
}

TEST(NodeOrder, MergeAlikeWithAndWithoutTheColumns) {
    std::mt19937_64 random(8);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    for (int round = 0; round < 300; ++round) {
        Bool_Engine engine;
        WorkGraph plain(engine);
        // Crowded points on few X, so that runs of equal X and equal points
        // and chains within the tolerance decide the greedy merge.
        const int n = uniform(3, 200);
        for (int i = 0; i < n; ++i) plain.AddNode(Point64{uniform(0, 8) * 5, uniform(0, 30)});
        for (int i = 0; i < n; ++i) plain.AddLink(uniform(0, n - 1), uniform(0, n - 1), 1, GroupA);
        WorkGraph withColumns = plain;
        RefreshSorted(withColumns);
        const i64 tolerance = uniform(0, 6);
        EXPECT_EQ(MergeNodes(withColumns, tolerance), MergeNodes(plain, tolerance));
        ASSERT_EQ(withColumns.links.size(), plain.links.size()) << "round " << round;
        for (std::size_t i = 0; i < plain.links.size(); ++i) {
            EXPECT_EQ(withColumns.links[i].begin, plain.links[i].begin) << "round " << round;
            EXPECT_EQ(withColumns.links[i].end, plain.links[i].end) << "round " << round;
        }
    }
}

}  // namespace
