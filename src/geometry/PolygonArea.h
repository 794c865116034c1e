// Area of the contours the boolean engine hands back, as the area calculator
// sums it: every result contour counts with the absolute value of its signed
// area, so clockwise outer contours and the holes joined to them by zero-width
// cuts both come out right.
#pragma once

#include <cstddef>

#include "geometry/Bool_Engine.h"
#include "model/Types.h"

namespace zandor {

// |sum(x_i * y_i+1 - x_i+1 * y_i)| / 2 of a closed contour given in database
// units (nm), in square micrometres.  The closing edge from the last point to
// the first is always part of the contour; a repeated first point adds nothing.
double ContourAreaUm2(const Point* points, std::size_t count);

// Reads every result contour of an engine after Execute (vertices rounded to
// whole nanometres) and returns the sum of their areas in square micrometres.
// The contours are dropped from the engine.  Once *stop is true the remaining
// contours are skipped (dropped without counting).  A Bool_Engine_Error from
// the engine reaches the caller; the area read so far is then in *partial when
// it is given.
double ResultContoursAreaUm2(Bool_Engine& engine, const bool* stop = nullptr, double* partial = nullptr);

}  // namespace zandor
