// A walk visitor for writers that hand every record under a symbol, through
// all calls and arrays, to their own Object(record, matrix), and show the
// progress by the top symbol's own records (a call or an array counts as one).
#pragma once

#include <algorithm>

#include "model/HierarchyWalker.h"
#include "platform/Messages.h"

namespace zandor {

// State provides Object(record, matrix) and Stopped().
template <typename State>
struct ProgressWalk : WalkVisitor {
    ProgressWalk(State& state, int total) : state(state), total(std::max(total, 1)) {}

    template <typename R>
    void Object(R* r, const TransformMatrix& m, int level) {
        state.Object(r, m);
        if (level == 0) Advance();
    }
    template <typename R, typename S>
    bool EnterCall(R* r, S* called, const TransformMatrix& outer, const TransformMatrix& composed, int level) {
        if (level == 0) Advance();
        return WalkVisitor::EnterCall(r, called, outer, composed, level);
    }
    template <typename R, typename S>
    bool EnterArray(R* array, S* called, const TransformMatrix& m, int level) {
        if (level == 0) Advance();
        return WalkVisitor::EnterArray(array, called, m, level);
    }
    bool Stopped() const { return state.Stopped(); }

    void Advance() {
        ++done;
        const int percent = static_cast<int>(std::min<long long>(99, 100LL * done / total));
        if (percent != shown) platform::Progress().SetProgress(shown = percent);
    }

    State& state;
    long long total;
    long long done = 0;
    int shown = 0;
};

}  // namespace zandor
