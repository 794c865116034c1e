// Editing speed: reads a layout once, then times each operation named on the
// command line on the main symbol, each in its own undo step, and its undo.
//
//   edit_bench FILE OP[,OP...]
//
// Operations: select (every object of the main symbol), move, rotate (a
// quarter turn), mirror (about the y axis), duplicate (a second row above),
// delete, merge (every selected rectangle, box and polygon into polygons) and
// flatten (the whole main symbol).  Before each operation everything is
// selected again, outside the timing.  Prints "OP seconds" and
// "OP-undo seconds" lines.
#include <chrono>
#include <cstdio>
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

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

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
            const auto start = Clock::now();
            SelectAll(symbol);
            std::printf("select %.4f\n", Seconds(start));
            continue;
        }
        symbol.Undo().BeginStep();
        const auto start = Clock::now();
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
            MergeSelection(symbol);
        } else if (op == "flatten") {
            FlattenLayout(symbol);
        } else {
            std::fprintf(stderr, "unknown operation %s\n", op.c_str());
            return 2;
        }
        std::printf("%s %.4f\n", op.c_str(), Seconds(start));
        std::fflush(stdout);
        const auto undoStart = Clock::now();
        symbol.Undo().Undo();
        std::printf("%s-undo %.4f\n", op.c_str(), Seconds(undoStart));
        std::fflush(stdout);
    }
    return 0;
}
