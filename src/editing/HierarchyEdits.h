// Changing the hierarchy from the editor: placing calls, copying selections
// and definitions between symbols and layouts, combining a selection into a
// new symbol, grouping, breaking containers apart and flattening.
//
// Every operation works on the selection of the symbol given, adds undo
// entries to that symbol's list and opens no undo step itself: the caller
// calls Undo().BeginStep() first.  None of them places a call that would let a
// symbol call itself; refusals show their message (caption "Error") and leave
// the symbol as it was before the refused step.  Questions go through
// Prompts() (EditPrompts.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/Layout.h"
#include "model/SymbolDescription.h"

namespace zandor {

// Lists in `names` the symbols that moving source's definition (and those of
// the symbols it calls) into `target` would replace: those of the same name
// whose definition differs.  False, after "Cannot replace a parent symbol!",
// when one of them is the symbol of targetId or calls it.
bool CheckReplace(SymbolDescription& source, Layout& target, std::int32_t targetId, std::vector<std::string>& names);

// Copies the selected records of source into target (the clipboard's cut,
// copy and paste).  Across layouts the called definitions that would replace
// others are asked about first; "&No" copies nothing and is no failure.
// False when refused.  The copies keep their selection bits.
bool CopySelectionFrom(SymbolDescription& target, SymbolDescription& source);

// The drop of a symbol onto the view: from a library (librarySource, whose
// definition is brought over first) or from the layout's own symbol tree
// (treeName).  The call is placed at `snapped`, deselecting everything else,
// and is the new selection.  nullptr when nothing was placed.
Word* PlaceDroppedSymbol(SymbolDescription& target, SymbolDescription* librarySource, std::string_view treeName,
                         Point snapped);

// Moves the selection into a symbol named through the "New symbol..."
// dialog and puts a call of it at the chosen origin, so that the drawing
// stays as it was.  Returns the new (or replaced) symbol, or nullptr when
// cancelled or refused.
SymbolDescription* CombineSelection(SymbolDescription& t);

// Groups at least two selected objects; returns the group head (selected).
Word* GroupSelection(SymbolDescription& t);

// Each breaks apart the single selected object, which must be of its kind;
// what came out of it is the new selection.  False when nothing was done.
bool BreakApartCall(SymbolDescription& t);
bool BreakApartGroup(SymbolDescription& t);
bool BreakApartArray(SymbolDescription& t);
bool BreakApartScript(SymbolDescription& t);
// The one of the four that fits the single selected object.
bool BreakApartSelection(SymbolDescription& t);

// Breaks apart the selected calls, groups and arrays and everything that
// comes out of them until only other objects are left; scripts stay whole.
// The selection is then what came out plus what was selected and needed no
// breaking.  Calls and arrays of missing symbols, and of symbols that call
// themselves (damaged input), are left as they are.
void FlattenSelection(SymbolDescription& t);

// The same for every object of the main symbol; false (and nothing done)
// for any other symbol.  Nothing is selected afterwards.
bool FlattenLayout(SymbolDescription& t);

}  // namespace zandor
