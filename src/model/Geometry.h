// Rounding, transforms, number parsing and the small geometric routines that
// drawing, hit testing, file output and editing share.  Every conversion from
// a double to a coordinate goes through RoundHalfAway so that all of them agree
// on the same integer points.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/Numbers.h"
#include "model/Types.h"

namespace zandor {

// The smallest box holding the points; an empty box at the origin for none.
Rect PointsBounds(const Point* points, int count);

// Widens box to hold other as well.
inline void Join(Rect& box, const Rect& other) {
    box.minx = std::min(box.minx, other.minx);
    box.miny = std::min(box.miny, other.miny);
    box.maxx = std::max(box.maxx, other.maxx);
    box.maxy = std::max(box.maxy, other.maxy);
}

// Applies m to each point, rounding each result.
void TransformPoints(Point* points, int count, const TransformMatrix& m);
// s = q * r: applying s equals applying q, then r.
TransformMatrix ComposeTransform(const TransformMatrix& inner, const TransformMatrix& outer);

struct DecomposedTransform {
    double scaleX = 1, scaleY = 1;
    double angle = 0;  // radians
    double tx = 0, ty = 0;
};
DecomposedTransform DecomposeTransform(const TransformMatrix& m);

// Numbers typed by the user.  The message-showing variants show
// "'%.20s' is not a valid number" (caption "Error") on an invalid text, return
// false and leave the output unchanged.  A value that does not fit a 32-bit
// coordinate, or is not finite, counts as invalid.
bool ParseMicrons(std::string_view text, std::int32_t& units);
std::int32_t ParseMicronsSilent(std::string_view text);
bool ParseInteger(std::string_view text, std::int32_t& value);
bool ParseReal(std::string_view text, double& value);
bool ParseRealSilent(std::string_view text, double& value);
double ParseDegrees(std::string_view text);  // radians; 0 on error
double ParsePercent(std::string_view text);  // factor; 1.0 on error
void ReplaceChar(std::string& text, char from, char to);

// Micrometres for display: units * 0.001 in the shortest general format with up
// to 15 significant digits and "." as decimal point, whatever the locale.
std::string FormatMicrons(std::int32_t units);
// The same format for any double value.
std::string FormatNumber(double value);

// Curve outlines.
std::vector<Point> CirclePolygon(Point centre, std::int32_t radius, int n);
std::vector<Point> RingPolygon(Point centre, std::int32_t radius, std::int32_t width, int n);
std::vector<Point> RotatedBoxCorners(Point centre, std::int32_t length, std::int32_t width,
                                     std::int32_t angleMillidegrees);

// Arc-wire records: `record` points at the header word of a kind-7 record
// (w1..w6 start, centre, end; w7 the width word).
double ArcStartAngle(const std::int32_t* record);
double ArcEndAngle(const std::int32_t* record);
// Closed outline of an arc wire with n segments per full circle; empty for a
// degenerate arc (centre on an end point, or zero width).
std::vector<Point> ArcWireOutline(const std::int32_t* record, int n);

// Removes points equal to their predecessor, then the last point if it equals
// the first.  Returns the new count.
int RemoveRepeatedPoints(Point* points, int count);
void ExtendEndPoint(Point& end, Point other, std::int32_t distance);
// Rectangle of width w around segment a-b without end caps; empty when a == b.
std::vector<Point> SegmentRectangle(Point a, Point b, std::int32_t width);
bool PointInPolygon(std::int32_t x, std::int32_t y, const Point* points, int count);
bool IsClockwise(const Point* points, int count);
// Moves every edge outwards by distance (inwards when negative), whatever the
// orientation; returns the new count.
int OffsetPolygon(Point* points, int count, std::int32_t distance);
// Liang-Barsky clipping; false when the segment lies outside the rectangle.
bool ClipSegmentToRect(Point& p1, Point& p2, const Rect& r);
double DistanceToLine(Point onLine, double slope, Point p);

}  // namespace zandor
