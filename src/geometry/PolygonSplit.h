// Turning the result contours of a boolean operation into polygon records.
// A polygon record holds at most 32765 nodes and the editor keeps polygons
// below MaxPolyNodes, so large contours are cut in two halves of their
// bounding box, each half cut again until it fits.
#pragma once

#include <functional>
#include <vector>

#include "geometry/Bool_Engine.h"
#include "model/Types.h"

namespace zandor {

struct PolygonStoreOptions {
    int polygonGrid = 1;             // PolygonGrid, for the engines that cut halves
    int maxPolyNodes = 200;          // MaxPolyNodes, 16..32768
    bool splitLargePolygons = true;  // SplitLargePolygons
};

// Polygons of this many nodes or more are split whatever the settings.
constexpr int kAlwaysSplitNodes = 16000;

// Reads every result contour of an executed engine (vertices rounded half away
// from zero to whole nanometres) and hands each polygon that may become a
// record to store, with its nodes (the first is not repeated).  A contour of n
// nodes is stored as it is when n < 16000 and (n < maxPolyNodes or splitting
// is off); otherwise it is cut at the middle of the longer side of its
// bounding box and each half (left/bottom first) is the AND of the contour and
// the half rectangle in a fresh engine, stored the same way.  A half whose
// engine fails shows "Unexpected error during polygon operation" and is lost.
// A Bool_Engine_Error while reading `engine` itself reaches the caller.
void StoreResultContours(Bool_Engine& engine, const PolygonStoreOptions& options,
                         const std::function<void(const std::vector<Point>&)>& store);

}  // namespace zandor
