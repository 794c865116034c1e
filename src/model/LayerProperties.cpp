#include "model/LayerProperties.h"

#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "model/Layout.h"

namespace zandor {

namespace {

std::uint64_t PairKey(int gdsLayer, std::uint32_t dataType) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(gdsLayer)) << 32 | dataType;
}

// The entries that count, in their order: the first of each pair.
std::vector<const LayerProperties*> FirstOfEachPair(const std::vector<LayerProperties>& entries) {
    std::vector<const LayerProperties*> first;
    std::unordered_set<std::uint64_t> seen;
    for (const LayerProperties& entry : entries) {
        if (entry.gdsLayer < 0) continue;
        if (seen.insert(PairKey(entry.gdsLayer, entry.dataType)).second) first.push_back(&entry);
    }
    return first;
}

// name, or name with its pair when a layer has it already.  A table that even
// holds that gets a number after it, so that no two layers share a name.
std::string UniqueName(const std::string& name, const std::string& pair, std::unordered_set<std::string>& taken) {
    if (taken.insert(name).second) return name;
    std::string candidate = name + " " + pair;
    for (int n = 2; !taken.insert(candidate).second; ++n) candidate = name + " " + pair + "-" + std::to_string(n);
    return candidate;
}

// Gives layer the entry's look under name; true when anything changed.
bool Describe(LayerDescription& layer, const LayerProperties& entry, std::string name, bool withVisibility) {
    const std::uint32_t fill = entry.fillColor.value_or(DefaultLayerColor(layer.index));
    const std::uint32_t outline = entry.outlineColor.value_or(fill);
    const int fillStyle = LayerDescription::NormalFillStyle(entry.fillStyle);
    const int outlineStyle = LayerDescription::NormalOutlineStyle(entry.outlineStyle);
    const std::uint8_t visible = withVisibility ? (entry.visible ? 1 : 0) : layer.visible;
    const bool changed = layer.name != name || layer.fillColor != fill || layer.outlineColor != outline ||
                         layer.fillStyle != fillStyle || layer.outlineStyle != outlineStyle || layer.visible != visible;
    layer.name = std::move(name);
    layer.SetFillColor(fill);
    layer.SetOutlineColor(outline);
    layer.SetFillStyle(fillStyle);
    layer.SetOutlineStyle(outlineStyle);
    layer.visible = visible;
    return changed;
}

// Gives each layer whose pair has an entry that entry's look; with
// onlyDefaultNames, only layers still named as they were created.  The names
// of the layers that stay are taken before any layer is renamed, so that a
// clash does not depend on the order of the slots.
AppliedLayerProperties DescribeByPair(Layout& layout,
                                      const std::unordered_map<std::uint64_t, const LayerProperties*>& byPair,
                                      bool onlyDefaultNames, bool withVisibility) {
    std::vector<std::pair<LayerDescription*, const LayerProperties*>> matches;
    std::unordered_set<std::string> taken;
    for (int i = 0; i < kLayerCount; ++i) {
        LayerDescription* layer = layout.Layer(i);
        if (!layer) continue;
        const bool eligible = !onlyDefaultNames || HasDefaultLayerName(*layer);
        const auto it = eligible ? byPair.find(PairKey(layer->GdsLayer(), layer->dataType)) : byPair.end();
        if (it == byPair.end()) {
            taken.insert(layer->name);
        } else {
            matches.emplace_back(layer, it->second);
        }
    }
    AppliedLayerProperties result;
    for (auto& [layer, entry] : matches) {
        std::string name = UniqueName(LayerNameFromProperties(*entry),
                                      LayerDescription::PairName(layer->GdsLayer(), layer->dataType), taken);
        ++result.matched;
        if (Describe(*layer, *entry, std::move(name), withVisibility)) ++result.changed;
    }
    return result;
}

}  // namespace

std::string LayerNameFromProperties(const LayerProperties& entry) {
    if (entry.name.empty()) return LayerDescription::PairName(entry.gdsLayer, entry.dataType);
    std::string name = entry.name;
    for (char& c : name) {
        if (c == '(') c = '[';
        if (c == ')') c = ']';
    }
    return name;
}

bool HasDefaultLayerName(const LayerDescription& layer) {
    return layer.name == LayerDescription::DefaultName(layer.index) ||
           layer.name == LayerDescription::PairName(layer.GdsLayer(), layer.dataType);
}

AppliedLayerProperties ApplyLayerProperties(Layout& layout, const std::vector<LayerProperties>& entries) {
    std::unordered_map<std::uint64_t, const LayerProperties*> byPair;
    for (const LayerProperties* entry : FirstOfEachPair(entries)) {
        byPair.emplace(PairKey(entry->gdsLayer, entry->dataType), entry);
    }
    return DescribeByPair(layout, byPair, false, true);
}

int BuildLayerTable(Layout& layout, const std::vector<LayerProperties>& entries) {
    const std::vector<const LayerProperties*> pairs = FirstOfEachPair(entries);
    std::vector<int> slots(pairs.size(), -1);
    bool used[kLayerCount] = {};
    // Every number first gets its own slot, so that a pair placed away from
    // its number cannot take the home of a later one.
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        const int number = pairs[k]->gdsLayer;
        if (number < kLayerCount && !used[number]) {
            used[number] = true;
            slots[k] = number;
        }
    }
    int dropped = 0;
    int next = kLayerCount - 2;  // 255 comes last: the GDSII reader keeps it for elements without a layer
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        if (slots[k] >= 0) continue;
        while (next >= 0 && used[next]) --next;
        if (next >= 0) {
            slots[k] = next;
        } else if (!used[kLayerCount - 1]) {
            slots[k] = kLayerCount - 1;
        } else {
            ++dropped;
            continue;
        }
        used[slots[k]] = true;
    }

    layout.DeleteLayers();
    std::unordered_set<std::string> taken;
    for (std::size_t k = 0; k < pairs.size(); ++k) {
        if (slots[k] < 0) continue;
        const LayerProperties& entry = *pairs[k];
        const std::string pair = LayerDescription::PairName(entry.gdsLayer, entry.dataType);
        LayerDescription* layer = layout.SetLayer(std::make_unique<LayerDescription>(slots[k], pair));
        Describe(*layer, entry, UniqueName(LayerNameFromProperties(entry), pair, taken), true);
        layer->dataType = entry.dataType;
        layer->gdsLayer = slots[k] == entry.gdsLayer ? -1 : entry.gdsLayer;
    }
    layout.SelectCurrentLayer(0);
    return dropped;
}

int AdoptNamedLayers(Layout& layout, const Layout& table) {
    std::unordered_map<std::uint64_t, LayerProperties> named;
    for (int i = 0; i < kLayerCount; ++i) {
        const LayerDescription* source = table.Layer(i);
        if (!source || HasDefaultLayerName(*source)) continue;
        LayerProperties entry;
        entry.gdsLayer = source->GdsLayer();
        entry.dataType = source->dataType;
        entry.name = source->name;
        entry.fillColor = source->fillColor;
        entry.outlineColor = source->outlineColor;
        entry.fillStyle = source->fillStyle;
        entry.outlineStyle = source->outlineStyle;
        named.emplace(PairKey(entry.gdsLayer, entry.dataType), std::move(entry));
    }
    std::unordered_map<std::uint64_t, const LayerProperties*> byPair;
    for (const auto& [key, entry] : named) byPair.emplace(key, &entry);
    return DescribeByPair(layout, byPair, true, false).matched;
}

}  // namespace zandor
