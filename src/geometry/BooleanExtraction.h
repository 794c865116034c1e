// Extraction walks the links bounding the result of one operation into
// closed contours with the result on their right (outer contours clockwise,
// holes counter-clockwise), then joins each hole to the boundary above it by
// a vertical cut and walks again, so that no contour has a hole; at a
// junction a walk takes the sharpest left turn (touching pieces of the result
// become one contour), a U-turn only when nothing else is left, and a hole
// whose top node lies on another boundary is walked into through that node.
// Where that leaves a hole unjoined, extraction is redone with the sharpest
// right turn for outer contours (touching pieces stay apart).
// Internal; not part of the interface.
#pragma once

#include <vector>

#include "geometry/Bool_Engine.h"
#include "geometry/BooleanWorkGraph.h"

namespace zandor::boolean_detail {

// One contour as walked: its links in walking order (each walked from
// graph.From to graph.To).
struct Walked {
    std::vector<int> links;
    bool hole;
    i64 seedTopY = 0;  // extraction order key of the link the walk was started from
    i64 seedLowX = 0;
};

// "Performing Operation": keeps the links bounding the result of `operation`
// (codes 1 to 5; others stop with "Wrong operation"), walks them into
// contours in extraction order (higher Y descending, lower X descending) and,
// when there are holes and the engine joins them, joins and walks again.
// Fails with "no NON flat link Collectgraph ...", "no next (endpoint !=
// beginpoint)" or "hole without a contour above it" when the links do not
// form closed contours.
std::vector<Walked> Extract(WorkGraph& graph, BooleanOperation operation);

}  // namespace zandor::boolean_detail
