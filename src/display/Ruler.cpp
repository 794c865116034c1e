#include "display/Ruler.h"

#include <algorithm>
#include <cstdlib>

namespace zandor {

std::string FormatRulerValue(std::int64_t v) {
    const bool negative = v < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    std::string whole = std::to_string(magnitude / 1000);
    std::string fraction = std::to_string(magnitude % 1000);
    fraction.insert(0, 3 - fraction.size(), '0');
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    std::string text = negative ? "-" + whole : whole;
    if (!fraction.empty()) text += "." + fraction;
    return text == "-0" ? "0" : text;
}

RulerTicks ComputeRulerTicks(std::int64_t minVal, std::int64_t maxVal, int lengthPixels) {
    RulerTicks ticks;
    const std::int64_t n = std::max(1, lengthPixels / 92);
    std::int64_t s = (maxVal - minVal) / n;
    if (s <= 0) {
        ticks.first = minVal;
        ticks.step = 1;
        ticks.subdivisions = 1;
        ticks.count = maxVal - minVal + 1;
        return ticks;
    }
    std::int64_t p = 1;
    while (s > 10) {
        s /= 10;
        p *= 10;
    }
    ticks.subdivisions = s;
    ticks.step = s * p;
    ticks.first = minVal / ticks.step * ticks.step + (minVal > 0 ? ticks.step : 0);
    const std::int64_t last = maxVal / ticks.step * ticks.step - (maxVal <= 0 ? ticks.step : 0);
    ticks.count = (last - ticks.first) / ticks.step;
    return ticks;
}

void GuideLines::Add(std::int32_t position, bool refuseDuplicate) {
    const auto at = std::lower_bound(positions.begin(), positions.end(), position);
    if (refuseDuplicate && at != positions.end() && *at == position) return;
    positions.insert(at, position);
}

void GuideLines::Remove(std::int32_t position) {
    const auto at = std::lower_bound(positions.begin(), positions.end(), position);
    if (at != positions.end() && *at == position) positions.erase(at);
}

void GuideLines::Move(std::int32_t from, std::int32_t to) {
    Remove(from);
    Add(to, false);
}

void GuideLines::RemoveDuplicates() {
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
}

void GuideLines::Set(const std::vector<std::int32_t>& list) {
    positions.clear();
    for (std::int32_t p : list) Add(p, true);
}

}  // namespace zandor
