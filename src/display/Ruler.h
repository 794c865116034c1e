// The rulers beside a layout view: labels in micrometres, the tick steps for
// a range and a length, and the sorted guideline positions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zandor {

class Canvas;

// 12000 -> "12", 12500 -> "12.5", 1 -> "0.001", -250 -> "-0.25".
std::string FormatRulerValue(std::int64_t nanometres);

struct RulerTicks {
    std::int64_t first = 0;  // first major tick
    std::int64_t step = 1;   // between majors; 1..10 times a power of ten
    std::int64_t count = 0;  // majors at first + i * step, i = 0..count
    std::int64_t subdivisions = 1;
};

// About one labelled tick every 92 pixels of a ruler `lengthPixels` long.
RulerTicks ComputeRulerTicks(std::int64_t minVal, std::int64_t maxVal, int lengthPixels);

// A ruler drawn on a printed page with the ticks a screen ruler of
// `panelLength` pixels shows for minVal..maxVal, over `length` pixels from
// `start`: a baseline at `baseline`, major ticks reaching tick/2 outward with
// their labels beyond them (their outer edge at tick), minor ticks tick/4, none
// after the last major.  Horizontal rulers run along x and point up; vertical
// ones run down y from maxVal, point left and turn their labels by 90 degrees.
// The labels are written in the canvas's font, whose height is fontHeight.
struct PrintedRuler {
    bool horizontal = true;
    std::int64_t minVal = 0, maxVal = 0;
    int panelLength = 0;
    int start = 0, length = 0;
    int baseline = 0, tick = 0, fontHeight = 0;
};
void DrawRuler(Canvas& canvas, const PrintedRuler& ruler);

class GuideLines {
public:
    void Add(std::int32_t position, bool refuseDuplicate);
    void Remove(std::int32_t position);
    void Move(std::int32_t from, std::int32_t to);
    void RemoveDuplicates();
    void Set(const std::vector<std::int32_t>& positions);
    const std::vector<std::int32_t>& Positions() const { return positions; }

private:
    std::vector<std::int32_t> positions;  // ascending
};

}  // namespace zandor
