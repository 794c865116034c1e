// Layer descriptions keyed by GDSII pair: applied to a layout's layers, built
// into a whole table, and taken over by layers a file created.
#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

#include "model/LayerProperties.h"
#include "model/Layout.h"

using namespace zandor;

namespace {

LayerProperties Entry(int gdsLayer, std::uint32_t dataType, std::string name,
                      std::optional<std::uint32_t> fill = std::nullopt,
                      std::optional<std::uint32_t> outline = std::nullopt, int fillStyle = FillSolid,
                      int outlineStyle = OutlineSolid, bool visible = true) {
    LayerProperties e;
    e.gdsLayer = gdsLayer;
    e.dataType = dataType;
    e.name = std::move(name);
    e.fillColor = fill;
    e.outlineColor = outline;
    e.fillStyle = fillStyle;
    e.outlineStyle = outlineStyle;
    e.visible = visible;
    return e;
}

// A layer in slot index holding the pair number/dataType, as the GDSII reader
// makes it.
LayerDescription* AddPairLayer(Layout& layout, int index, int number, std::uint32_t dataType,
                               const std::string& name = "") {
    LayerDescription* layer = layout.SetLayer(std::make_unique<LayerDescription>(
        index, name.empty() && index != number ? LayerDescription::PairName(number, dataType) : name));
    layer->dataType = dataType;
    layer->gdsLayer = index == number ? -1 : number;
    return layer;
}

TEST(LayerProperties, ApplyGivesMatchedLayersTheirLookAndLeavesTheRest) {
    Layout layout;
    layout.DeleteLayers();
    AddPairLayer(layout, 68, 68, 20);             // "Layer 68"
    AddPairLayer(layout, 254, 68, 16);            // "68/16"
    AddPairLayer(layout, 253, 1000, 0);           // "1000/0"
    AddPairLayer(layout, 5, 5, 0, "Keep (me)");   // no entry for 5/0
    AddPairLayer(layout, 67, 67, 20, "li1.pin");  // another layer's future name
    layout.Layer(5)->fillColor = 0x123456;
    const std::vector<LayerProperties> entries = {
        Entry(68, 20, "met1.drawing", 0x0080FF, 0x0000FF, FillForwardDiagonal, OutlineDash),
        Entry(68, 16, "met1(pin)", 0x00FF00, std::nullopt, FillDiagonalCross, OutlineSolid, false),
        Entry(1000, 0, "", std::nullopt, std::nullopt, FillHollow),
        Entry(67, 20, "li1.pin"),                    // the name it has already: no clash with itself
        Entry(68, 20, "second of 68/20", 0xFFFFFF),  // the first entry of a pair counts
        Entry(68, 5, "met1.label"),                  // no layer holds 68/5
        Entry(5, 1, "five one"),                     // same number, other datatype
    };
    const AppliedLayerProperties result = ApplyLayerProperties(layout, entries);
    EXPECT_EQ(result.matched, 4);
    EXPECT_EQ(result.changed, 3) << "li1.pin kept its name and defaults";

    const struct {
        int index;
        std::string name;
        std::uint32_t fill, outline;
        int fillStyle, outlineStyle;
        int visible;
    } want[] = {
        {68, "met1.drawing", 0x0080FF, 0x0000FF, FillForwardDiagonal, OutlineDash, 1},
        {254, "met1[pin]", 0x00FF00, 0x00FF00, FillDiagonalCross, OutlineSolid, 0},
        {253, "1000/0", DefaultLayerColor(253), DefaultLayerColor(253), FillHollow, OutlineSolid, 1},
        {67, "li1.pin", DefaultLayerColor(67), DefaultLayerColor(67), FillSolid, OutlineSolid, 1},
        {5, "Keep (me)", 0x123456, DefaultLayerColor(5), FillSolid, OutlineSolid, 1},
    };
    for (const auto& w : want) {
        SCOPED_TRACE(w.index);
        const LayerDescription* layer = layout.Layer(w.index);
        ASSERT_NE(layer, nullptr);
        EXPECT_EQ(layer->name, w.name);
        EXPECT_EQ(layer->fillColor, w.fill);
        EXPECT_EQ(layer->outlineColor, w.outline);
        EXPECT_EQ(layer->fillStyle, w.fillStyle);
        EXPECT_EQ(layer->outlineStyle, w.outlineStyle);
        EXPECT_EQ(layer->visible, w.visible);
    }
    EXPECT_EQ(layout.LayerCount(), 5) << "nothing created, nothing deleted";
    EXPECT_EQ(layout.Layer(254)->gdsLayer, 68);
    EXPECT_EQ(layout.Layer(254)->dataType, 16u);

    // Applying the same list again changes nothing.
    const AppliedLayerProperties again = ApplyLayerProperties(layout, entries);
    EXPECT_EQ(again.matched, 4);
    EXPECT_EQ(again.changed, 0);

    Layout unrelated;
    unrelated.ResetLayers();  // layer 0, pair 0/0
    EXPECT_EQ(ApplyLayerProperties(unrelated, entries).matched, 0);
    EXPECT_EQ(unrelated.Layer(0)->name, "Layer 0");
}

TEST(LayerProperties, NamesThatAnotherLayerHasGetTheirPair) {
    const struct {
        const char* what;
        std::vector<LayerProperties> entries;
        std::vector<std::pair<int, std::string>> names;  // slot, name after applying
    } cases[] = {
        {"two entries of one name",
         {Entry(68, 20, "met1"), Entry(68, 16, "met1")},
         {{68, "met1"}, {254, "met1 68/16"}}},
        {"a layer without an entry keeps the name",
         {Entry(68, 20, "poly"), Entry(68, 16, "met1")},
         {{68, "poly 68/20"}, {254, "met1"}, {3, "poly"}}},
        {"a layer that gives its name away",
         {Entry(68, 20, "met1.pin"), Entry(68, 16, "met1.drawing")},
         {{68, "met1.pin"}, {254, "met1.drawing"}}},
        {"parentheses become brackets before the comparison",
         {Entry(68, 20, "m(1)"), Entry(68, 16, "m[1]")},
         {{68, "m[1]"}, {254, "m[1] 68/16"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Layout layout;
        layout.DeleteLayers();
        AddPairLayer(layout, 68, 68, 20, "met1.drawing");
        AddPairLayer(layout, 254, 68, 16, "met1.pin");
        AddPairLayer(layout, 3, 3, 0, "poly");
        ApplyLayerProperties(layout, c.entries);
        for (const auto& [slot, name] : c.names) EXPECT_EQ(layout.Layer(slot)->name, name) << slot;
    }
}

TEST(LayerProperties, BuildPlacesPairsAsTheGdsReaderDoes) {
    Layout layout;
    layout.ResetLayers();
    const std::vector<LayerProperties> entries = {
        Entry(1000, 0, "pr.boundary"),  // number above 255: from 254 down
        Entry(68, 16, "met1.pin"),      // first of 68: its own slot
        Entry(68, 20, "met1.drawing"),  // further datatypes of 68: away from 68
        Entry(254, 0, "high"),          // 254 is its home, though 1000/0 came first
        Entry(0, 0, "zero", 0x0000FF, 0x00FF00, FillCross, OutlineDashDot, false),
        Entry(68, 16, "met1.pin again"),
        Entry(70, 1, "zero"),  // a name an earlier layer has
    };
    EXPECT_EQ(BuildLayerTable(layout, entries), 0);
    const struct {
        int slot;
        std::string name;
        int gdsLayer;
        std::uint32_t dataType;
    } want[] = {
        {68, "met1.pin", 68, 16}, {252, "met1.drawing", 68, 20}, {254, "high", 254, 0}, {253, "pr.boundary", 1000, 0},
        {0, "zero", 0, 0},        {70, "zero 70/1", 70, 1},
    };
    EXPECT_EQ(layout.LayerCount(), 6);
    for (const auto& w : want) {
        SCOPED_TRACE(w.slot);
        const LayerDescription* layer = layout.Layer(w.slot);
        ASSERT_NE(layer, nullptr);
        EXPECT_EQ(layer->name, w.name);
        EXPECT_EQ(layer->GdsLayer(), w.gdsLayer);
        EXPECT_EQ(layer->gdsLayer, w.slot == w.gdsLayer ? -1 : w.gdsLayer);
        EXPECT_EQ(layer->dataType, w.dataType);
    }
    const LayerDescription& zero = *layout.Layer(0);
    EXPECT_EQ(zero.fillColor, 0x0000FFu);
    EXPECT_EQ(zero.outlineColor, 0x00FF00u);
    EXPECT_EQ(zero.fillStyle, FillCross);
    EXPECT_EQ(zero.outlineStyle, OutlineDashDot);
    EXPECT_EQ(zero.visible, 0);
    EXPECT_EQ(zero.current, 1);
    EXPECT_EQ(layout.activeLayer, 0);
    EXPECT_EQ(layout.Layer(68)->fillColor, DefaultLayerColor(68)) << "no colour: the slot's default";

    // A table built from its own description applies onto itself unchanged.
    const AppliedLayerProperties same = ApplyLayerProperties(layout, entries);
    EXPECT_EQ(same.matched, 6);
    EXPECT_EQ(same.changed, 0);
}

TEST(LayerProperties, BuildDropsWhatDoesNotFitIn256Layers) {
    std::vector<LayerProperties> entries;
    for (int k = 0; k < 300; ++k) entries.push_back(Entry(k % 100, static_cast<std::uint32_t>(k / 100), ""));
    entries.push_back(Entry(255, 0, "home of 255"));
    Layout layout;
    EXPECT_EQ(BuildLayerTable(layout, entries), 301 - kLayerCount);
    EXPECT_EQ(layout.LayerCount(), kLayerCount);
    ASSERT_NE(layout.Layer(255), nullptr);
    EXPECT_EQ(layout.Layer(255)->name, "home of 255");
    EXPECT_EQ(layout.Layer(99)->name, "99/0");
    EXPECT_EQ(layout.Layer(254)->name, "0/1");
    // Every pair that got a layer got one of its own.
    std::vector<std::string> names;
    for (int i = 0; i < kLayerCount; ++i) names.push_back(layout.Layer(i)->name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
}

TEST(LayerProperties, FileLayersWithDefaultNamesAdoptTheTemplatesNamedLayers) {
    Layout table;
    table.DeleteLayers();
    AddPairLayer(table, 68, 68, 20, "met1.drawing")->fillColor = 0x0000FF;
    table.Layer(68)->outlineColor = 0x00FF00;
    table.Layer(68)->fillStyle = FillBackwardDiagonal;
    table.Layer(68)->visible = 0;
    AddPairLayer(table, 254, 68, 16, "met1.pin");
    AddPairLayer(table, 5, 5, 0);  // default name: not a name of its own
    table.Layer(5)->fillColor = 0xABCDEF;
    AddPairLayer(table, 250, 67, 20, "67/20");  // the pair name is a default too

    Layout file;
    file.DeleteLayers();
    AddPairLayer(file, 68, 68, 20);           // "Layer 68"
    AddPairLayer(file, 254, 67, 20);          // "67/20", another slot than in the table
    AddPairLayer(file, 253, 68, 16);          // "68/16"
    AddPairLayer(file, 5, 5, 0);              // template has no name for 5/0
    AddPairLayer(file, 6, 6, 0, "mine");      // a name of its own stays
    AddPairLayer(file, 7, 7, 0, "met1.pin");  // and keeps it against the template
    EXPECT_EQ(AdoptNamedLayers(file, table), 2);
    EXPECT_EQ(file.Layer(68)->name, "met1.drawing");
    EXPECT_EQ(file.Layer(68)->fillColor, 0x0000FFu);
    EXPECT_EQ(file.Layer(68)->outlineColor, 0x00FF00u);
    EXPECT_EQ(file.Layer(68)->fillStyle, FillBackwardDiagonal);
    EXPECT_EQ(file.Layer(68)->visible, 1) << "visibility is the user's, not the template's";
    EXPECT_EQ(file.Layer(253)->name, "met1.pin 68/16");
    EXPECT_EQ(file.Layer(254)->name, "67/20");
    EXPECT_EQ(file.Layer(5)->name, "Layer 5");
    EXPECT_EQ(file.Layer(5)->fillColor, DefaultLayerColor(5));
    EXPECT_EQ(file.Layer(6)->name, "mine");
}

}  // namespace
