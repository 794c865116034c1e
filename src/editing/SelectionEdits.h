// The editing operations on the selection of a symbol: move, rotate, scale
// and mirror (optionally on copies), duplicate, delete, change of layer,
// centring on the origin, conversion into wires and joining of wires.
//
// Each adds undo entries to the symbol's list and never opens a step: the
// caller calls symbol.Undo().BeginStep() first.  With nothing selected nothing
// happens and nothing is recorded.  Operations that touch many records or
// change record lengths in bulk record one snapshot of the buffer instead of
// an entry per record, so that they and their undo stay linear.  A bool result
// of false means the operation was refused with a message (caption "Error")
// and nothing changed: angles and factors that are not finite numbers, a
// factor of 0, results outside the 32-bit coordinate range.
#pragma once

#include <cstdint>

#include "model/SymbolDescription.h"

namespace zandor {

// Moves the selection by (dx, dy); with leaveOriginal the copies move.
bool MoveSelection(SymbolDescription& s, std::int32_t dx, std::int32_t dy, bool leaveOriginal);
// Rotates the selection counter-clockwise about (cx, cy).  Rectangles become
// boxes at every angle; the angle is first reduced modulo 360.
bool RotateSelection(SymbolDescription& s, double cx, double cy, double degrees, bool leaveOriginal);
// Scales the selection about (cx, cy); negative factors mirror.
bool ScaleSelection(SymbolDescription& s, double cx, double cy, double fx, double fy, bool leaveOriginal);
// Appends a copy of each selected object (with its members) and moves the
// selection onto the copies; the originals stay where they are.
void CopySelectionInPlace(SymbolDescription& s);
// Removes the selected objects with their members.
void DeleteSelection(SymbolDescription& s);
// Copies the selection into a grid of rows x columns places (the originals
// take the first); nothing for counts <= 0 or a spacing of 0.  With asArray
// and exactly one selected symbol call, the call becomes one array instead;
// negative spacings then move the origin so that the array covers the same
// places.
void DuplicateSelection(SymbolDescription& s, int rows, int columns, std::int32_t rowSpacing,
                        std::int32_t columnSpacing, bool asArray);
// Puts the selected rectangles to arc wires, and texts with their glyphs, on
// another layer; placements, groups, scripts and measurements keep theirs.
void SetSelectionLayer(SymbolDescription& s, int layer);
// Moves every object of the main symbol so that the centre of the selection
// box (of the whole symbol when nothing is selected) lies on the origin.
// False, with nothing done, unless s is the layout's main symbol.
bool CenterAtOrigin(SymbolDescription& s);
// Turns the first selected ring or arc wire into a wire along its centre line.
void ConvertIntoWire(SymbolDescription& s);
// Joins selected wires whose ends lie within `tolerance` of each other, in any
// list order, into one wire; a closed wire of width 0 becomes a polygon.
void ConnectWires(SymbolDescription& s, std::int32_t tolerance);
// Gives `record` new contents (resized when the length differs) after a
// "modified" entry; returns the record's new address.
Word* ReplaceSelectionRecord(SymbolDescription& s, Word* record, const Word* newContents);

}  // namespace zandor
