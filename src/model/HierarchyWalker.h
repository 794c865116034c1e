// The one walk through a symbol and everything it places: calls and every
// element of arrays are entered with their matrices composed onto the outer
// one, so each record is handed over once per placement with the matrix that
// takes it into the top symbol's coordinates.  A symbol already open on the
// path (a cycle of calls, possible in damaged files) is never entered again.
//
// The visitor decides what to enter; derive from WalkVisitor and hide the
// member functions that matter (the walk calls them statically, so an empty
// default costs nothing):
//
//     struct Counter : WalkVisitor {
//         void Object(const Word* r, const TransformMatrix&, int) { ++count; }
//         int count = 0;
//     } counter;
//     HierarchyWalker(layout).Walk(symbol, TransformMatrix{}, counter);
//
// The walk works on const and non-const symbols alike; records come as
// `Word*` for a non-const symbol and `const Word*` for a const one.
#pragma once

#include <algorithm>
#include <type_traits>
#include <vector>

#include "model/Geometry.h"
#include "model/Layout.h"
#include "model/RecordViews.h"
#include "model/SymbolDescription.h"

namespace zandor {

struct WalkVisitor {
    // A record that is neither a call nor an array: heads, members and all.
    template <typename R>
    void Object(R*, const TransformMatrix&, int) {}
    // A call, with its symbol (nullptr when missing), the matrix it is placed
    // under and that matrix composed with the call's own; true enters the
    // symbol one level deeper.
    template <typename R, typename S>
    bool EnterCall(R*, S* called, const TransformMatrix& /*outer*/, const TransformMatrix& /*composed*/, int) {
        return called != nullptr;
    }
    template <typename R, typename S>
    void LeaveCall(R*, S&, const TransformMatrix&, int) {}
    // An array with its symbol (nullptr when missing) and the outer matrix;
    // true walks its elements.  Arrays of magnification 0 are ignored by
    // every reader of the layout, and so they are here by default.
    template <typename R, typename S>
    bool EnterArray(R* array, S* called, const TransformMatrix&, int) {
        return called != nullptr && ArrayView(array).Magnification() != 0;
    }
    // Element (i, j) with its composed matrix; true enters the symbol.
    template <typename R, typename S>
    bool EnterElement(R*, S&, const TransformMatrix&, int, int, int) {
        return true;
    }
    template <typename R, typename S>
    void LeaveElement(R*, S&, const TransformMatrix&, int, int, int) {}
    template <typename R, typename S>
    void LeaveArray(R*, S&, const TransformMatrix&, int) {}
    // Asked between records and elements; true ends the walk at once.
    bool Stopped() const { return false; }
    // Array elements come column by column (all rows of column 0 first); a
    // visitor whose output order is fixed by a file format may ask for row by
    // row instead.
    static constexpr bool RowByRow() { return false; }
};

class HierarchyWalker {
public:
    explicit HierarchyWalker(const Layout& layout) : layout(layout) {}

    // Walks `top` (level 0) under m.  Returns false when the visitor stopped
    // the walk.
    template <typename Symbol, typename Visitor>
    bool Walk(Symbol& top, const TransformMatrix& m, Visitor& visitor) {
        path.clear();
        return WalkSymbol(top, m, 0, visitor);
    }

    // Placements skipped because their symbol was already open on the path.
    int CyclesSkipped() const { return cyclesSkipped; }

private:
    template <typename Symbol>
    using CalledType = std::conditional_t<std::is_const_v<Symbol>, const SymbolDescription, SymbolDescription>;

    template <typename Symbol, typename Visitor>
    bool WalkSymbol(Symbol& symbol, const TransformMatrix& m, int level, Visitor& visitor) {
        path.push_back(&symbol);
        bool going = true;
        for (auto* r = symbol.FirstRecord(); r && going; r = symbol.NextRecord(r)) {
            if (visitor.Stopped()) {
                going = false;
                break;
            }
            switch (RecordKind(r)) {
                case ObjectKind::SymbolCall: going = Call<Symbol>(r, m, level, visitor); break;
                case ObjectKind::SymbolArray: going = Array<Symbol>(r, m, level, visitor); break;
                default: visitor.Object(r, m, level); break;
            }
        }
        path.pop_back();
        return going && !visitor.Stopped();
    }

    template <typename Symbol, typename R>
    CalledType<Symbol>* Called(R* placement) {
        return layout.FindSymbol(PlacementView(placement).SymbolId());
    }

    bool Open(const SymbolDescription* symbol) {
        if (std::find(path.begin(), path.end(), symbol) == path.end()) return false;
        ++cyclesSkipped;
        return true;
    }

    template <typename Symbol, typename R, typename Visitor>
    bool Call(R* call, const TransformMatrix& m, int level, Visitor& visitor) {
        CalledType<Symbol>* called = Called<Symbol>(call);
        const TransformMatrix composed = ComposeTransform(CallView(call).Matrix(), m);
        if (!visitor.EnterCall(call, called, m, composed, level) || !called || Open(called)) return true;
        if (!WalkSymbol(*called, composed, level + 1, visitor)) return false;
        visitor.LeaveCall(call, *called, composed, level);
        return true;
    }

    template <typename Symbol, typename R, typename Visitor>
    bool Array(R* array, const TransformMatrix& m, int level, Visitor& visitor) {
        CalledType<Symbol>* called = Called<Symbol>(array);
        if (!visitor.EnterArray(array, called, m, level) || !called) return true;
        const ArrayView view(array);
        const int columns = view.Columns(), rows = view.Rows();
        const bool cycle = Open(called);
        const int outer = Visitor::RowByRow() ? rows : columns, inner = Visitor::RowByRow() ? columns : rows;
        for (int a = 0; a < outer; ++a) {
            for (int b = 0; b < inner; ++b) {
                const int i = Visitor::RowByRow() ? b : a, j = Visitor::RowByRow() ? a : b;
                if (visitor.Stopped()) return false;
                const TransformMatrix composed = ComposeTransform(view.Element(i, j), m);
                if (!visitor.EnterElement(array, *called, composed, level, i, j) || cycle) continue;
                if (!WalkSymbol(*called, composed, level + 1, visitor)) return false;
                visitor.LeaveElement(array, *called, composed, level, i, j);
            }
        }
        visitor.LeaveArray(array, *called, m, level);
        return true;
    }

    const Layout& layout;
    std::vector<const SymbolDescription*> path;
    int cyclesSkipped = 0;
};

}  // namespace zandor
