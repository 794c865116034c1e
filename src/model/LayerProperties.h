// Layer descriptions that come from outside the layer table, keyed by GDSII
// layer and datatype (as process design kits ship them), and the two ways a
// layout takes them: onto the layers it has, or as a whole new table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/LayerDescription.h"

namespace zandor {

class Layout;

// One layer of a layer properties list.
struct LayerProperties {
    int gdsLayer = 0;  // 0..65535
    std::uint32_t dataType = 0;
    // Empty: the layer is named after its pair ("68/20").
    std::string name;
    // 0x00BBGGRR; none: the default colour of the slot for the fill, the fill
    // colour for the outline.
    std::optional<std::uint32_t> fillColor;
    std::optional<std::uint32_t> outlineColor;
    int fillStyle = FillSolid;
    int outlineStyle = OutlineSolid;
    bool visible = true;
};

// A name a layer table can hold: "(" and ")" become "[" and "]"; an empty
// name gives the pair name.
std::string LayerNameFromProperties(const LayerProperties& entry);

// Whether a layer still has the name it was created with: "Layer <index>" or
// the name of its GDSII pair.
bool HasDefaultLayerName(const LayerDescription& layer);

struct AppliedLayerProperties {
    int matched = 0;  // layers whose pair has an entry
    int changed = 0;  // of those, layers that differ afterwards
};

// Every layer whose GDSII pair (GdsLayer(), dataType) has an entry takes its
// name, colours, styles and visibility; the first entry of a pair counts.
// Other layers, and the objects, stay as they are.  A name another layer of
// the table keeps gets " " + the pair appended.  Does not touch the layout's
// modified flag: the caller decides what a change means.
AppliedLayerProperties ApplyLayerProperties(Layout& layout, const std::vector<LayerProperties>& entries);

// Replaces the layout's layer table by one layer per pair of the entries (the
// first entry of a pair counts): in the slot of its layer number when that is
// below 256 and no earlier pair of the number took it, else in a free slot
// from 254 down, then 255.  Returns the number of pairs left out because all
// 256 slots were taken.  The first layer becomes current.
int BuildLayerTable(Layout& layout, const std::vector<LayerProperties>& entries);

// The layers of layout whose names are still their defaults take name,
// colours and styles from the layer of table with the same GDSII pair, when
// that one has a name of its own.  Visibility and flags stay.  Returns the
// number of layers that took a description.
int AdoptNamedLayers(Layout& layout, const Layout& table);

}  // namespace zandor
