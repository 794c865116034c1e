// Editing speed: reads a layout once, then times each operation named on the
// command line on the main symbol, each in its own undo step, and its undo.
//
//   edit_bench FILE OP[,OP...]
//
// Operations: select (every object of the main symbol), move, rotate (a
// quarter turn), mirror (about the y axis), duplicate (a second row above),
// delete, merge (every selected rectangle, box and polygon into polygons) and
// flatten (the whole main symbol).  Before each operation everything is
// selected again, outside the timing.  Prints "OP wall-seconds cpu-seconds"
// and "OP-undo wall-seconds cpu-seconds" lines (CPU time of the process: the
// machine may be shared).
#include <chrono>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <string>

#include "editing/HierarchyEdits.h"
#include "editing/SelectionBoolean.h"
#include "editing/SelectionEdits.h"
#include "formats/AllFormats.h"
#include "model/Layout.h"
#include "model/ObjectRecord.h"
#include "model/UndoList.h"

using namespace zandor;

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Timer {
    Clock::time_point wall = Clock::now();
    double cpu = CpuSeconds();
    void Print(const std::string& name) const {
        std::printf("%s %.4f %.4f\n", name.c_str(), std::chrono::duration<double>(Clock::now() - wall).count(),
                    CpuSeconds() - cpu);
        std::fflush(stdout);
    }
};

void SelectAll(SymbolDescription& symbol) {
    symbol.DeselectAll();
    for (Word* r = symbol.FirstRecord(); r; r = symbol.NextRecord(r)) {
        if (!IsMember(r)) SetSelectedBit(r, true);
    }
    symbol.UpdateSelection();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: edit_bench FILE OP[,OP...]\n");
        return 2;
    }
    RegisterFileFormats();
    Layout layout;
    if (!layout.Load(argv[1])) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    SymbolDescription& symbol = *layout.MainSymbol();
    symbol.Undo().SetRecording(true);

    std::stringstream ops(argv[2]);
    for (std::string op; std::getline(ops, op, ',');) {
        SelectAll(symbol);
        Rect box;
        symbol.GetSelectionBox(box);
        const std::int32_t height = box.maxy - box.miny;
        if (op == "select") {
            symbol.DeselectAll();
            const Timer timer;
            SelectAll(symbol);
            timer.Print(op);
            continue;
        }
        symbol.Undo().BeginStep();
        const Timer timer;
        if (op == "move") {
            MoveSelection(symbol, 1000, 2000, false);
        } else if (op == "rotate") {
            RotateSelection(symbol, 0, 0, 90, false);
        } else if (op == "mirror") {
            ScaleSelection(symbol, 0, 0, -1, 1, false);
        } else if (op == "duplicate") {
            DuplicateSelection(symbol, 2, 1, height + 1000, 1, false);
        } else if (op == "delete") {
            DeleteSelection(symbol);
        } else if (op == "merge") {
            RunSelectionBoolean(layout, symbol, SelectionBooleanOp::Merge, 0);
        } else if (op == "flatten") {
            FlattenLayout(symbol);
        } else {
            std::fprintf(stderr, "unknown operation %s\n", op.c_str());
            return 2;
        }
        timer.Print(op);
        const Timer undoTimer;
        symbol.Undo().Undo();
        undoTimer.Print(op + "-undo");
    }
    return 0;
}
