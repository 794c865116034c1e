// Winding counts and operation flags: which sides of each link of the planar
// work graph lie inside group A and group B, and on which side the result of
// each operation lies; overlapping contours of one group merge whatever
// their orientation, coincident links count as one boundary, and a link
// with the result on both sides bounds nothing. Internal; not part of the
// interface.
#pragma once

#include "geometry/BooleanWorkGraph.h"

namespace zandor::boolean_detail {

// "Set group A/B Flags": sets each link's windingSense (from its direction
// for directed links, from its contour's orientation where the contour is
// still one simple closed curve, otherwise by a sweep of that contour alone),
// marks all but one of each set of coincident links `doubled`, and sets the
// A and B flags of both sides from the group counts of one sweep: a side
// lies in a group where that group's count is above zero.
void SetGroupFlags(WorkGraph& graph);

// "Set operation Flags": the result flag of every operation on each side
// from that side's A and B flags; an operation's flag set on both sides is
// cleared on both.
void SetOperationFlags(WorkGraph& graph);

}  // namespace zandor::boolean_detail
