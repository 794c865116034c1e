#include "shell/SymbolCombo.h"

#include <QComboBox>
#include <algorithm>
#include <unordered_set>

#include "model/Layout.h"
#include "model/SymbolDescription.h"

namespace zandor {

std::vector<const SymbolDescription*> PlaceableSymbols(const Layout& layout, const SymbolDescription* target) {
    std::unordered_set<const SymbolDescription*> excluded;
    if (target) {
        // Every caller of the target, and theirs.
        std::vector<const SymbolDescription*> pending{target};
        excluded.insert(target);
        while (!pending.empty()) {
            const SymbolDescription* s = pending.back();
            pending.pop_back();
            for (const SymbolDescription* caller : layout.CallersOf(s->Id()))
                if (excluded.insert(caller).second) pending.push_back(caller);
        }
    }
    std::vector<const SymbolDescription*> placeable;
    placeable.reserve(layout.Symbols().size());
    for (const auto& s : layout.Symbols())
        if (!excluded.count(s.get())) placeable.push_back(s.get());
    std::stable_sort(placeable.begin(), placeable.end(),
                     [](const SymbolDescription* a, const SymbolDescription* b) { return a->Name() < b->Name(); });
    return placeable;
}

int FillSymbolCombo(QComboBox& combo, const Layout& layout, const SymbolDescription* preselect,
                    const SymbolDescription* target) {
    combo.clear();
    const std::vector<const SymbolDescription*> placeable = PlaceableSymbols(layout, target);
    for (const SymbolDescription* s : placeable) {
        combo.addItem(QString::fromStdString(s->Name()), s->Id());
        if (s == preselect) combo.setCurrentIndex(combo.count() - 1);
    }
    return combo.count();
}

}  // namespace zandor
