// The count sweep visits every link of a planar set once, top to bottom at
// its first node in sweep order (X ascending, Y descending), with the link
// directly above it; vertical links come at their node below the links that
// start there, and a set that is not planar stops the operation with "beam
// out of order". Internal; not part of the interface.
#pragma once

#include <type_traits>
#include <utility>
#include <vector>

#include "geometry/BooleanInternal.h"
#include "geometry/BooleanWorkGraph.h"

namespace zandor::boolean_detail {

// A callable taken by reference for the duration of one call.
template <class Signature>
class FunctionRef;

template <class Result, class... Args>
class FunctionRef<Result(Args...)> {
public:
    // Implicit, as from a lambda to a function pointer.
    template <class Callable, class = std::enable_if_t<!std::is_same_v<std::remove_cvref_t<Callable>, FunctionRef>>>
    FunctionRef(Callable&& callable)
        : object(const_cast<void*>(static_cast<const void*>(&callable))), call([](void* o, Args... args) -> Result {
              return (*static_cast<std::remove_reference_t<Callable>*>(o))(std::forward<Args>(args)...);
          }) {}

    Result operator()(Args... args) const { return call(object, std::forward<Args>(args)...); }

private:
    void* object;
    Result (*call)(void*, Args...);
};

// A record of the beam: a non-vertical link by its left and right end.
struct Record {
    Point64 left;
    Point64 right;
    int link;
    bool level;
};

// Compares the Y of record r at x with the integer y.
inline int CompareAt(const Record& r, i64 x, i64 y) {
    if (r.level) return r.left.y < y ? -1 : (r.left.y > y ? 1 : 0);
    return CompareYAtInteger(r.left, r.right, x, y);
}

// visit(link, linkAbove): linkAbove is -1 when nothing lies above.
using SweepVisit = FunctionRef<void(int, int)>;

// Visits every link of the subset (link numbers of `graph`) once, at its
// first node in sweep order, with the link directly above it (-1 when none).
// Records never change places between nodes because the arrangement is
// planar; a neighbour on the wrong side of a node means it is not, and
// stops the operation.
void Sweep(const WorkGraph& graph, const std::vector<int>& subset, SweepVisit visit);

}  // namespace zandor::boolean_detail
