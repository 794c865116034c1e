// The drop-down list of symbols that dialogs offer for placing into a symbol.
#pragma once

#include <vector>

class QComboBox;

namespace zandor {

class Layout;
class SymbolDescription;

// Every symbol that may be placed into target, sorted by name: all but the
// target itself and the symbols that call it, directly or through others
// (placing one of those would make a cycle).  A null target admits all.  The
// callers are found once through the call lists, however many symbols there are.
std::vector<const SymbolDescription*> PlaceableSymbols(const Layout& layout, const SymbolDescription* target);

// Fills the combo box with the names of PlaceableSymbols (each entry's data is
// the symbol's id) and selects the entry of preselect, if it is listed.
// Returns the number of entries.
int FillSymbolCombo(QComboBox& combo, const Layout& layout, const SymbolDescription* preselect,
                    const SymbolDescription* target);

}  // namespace zandor
