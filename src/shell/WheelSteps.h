// Whole wheel notches out of the deltas of high-resolution wheels and
// touchpads, which report a notch of 120 units in many small parts.
#pragma once

namespace zandor {

class WheelSteps {
public:
    static constexpr int kNotch = 120;

    // Adds a delta (positive away from the user) and returns the whole
    // notches gathered so far, signed; the rest is kept for the next delta.
    // A delta in the other direction first forgets what was gathered.
    int Add(int delta) {
        if ((delta > 0 && gathered < 0) || (delta < 0 && gathered > 0)) gathered = 0;
        gathered += delta;
        const int notches = gathered / kNotch;
        gathered -= notches * kNotch;
        return notches;
    }
    void Reset() { gathered = 0; }

private:
    int gathered = 0;
};

}  // namespace zandor
