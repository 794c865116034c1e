// The selection of a symbol: marks in the record headers, the current object,
// the selection box and the status-bar description.
#include <algorithm>
#include <cmath>
#include <string>

#include "model/Geometry.h"
#include "model/Layout.h"
#include "model/SymbolDescription.h"

namespace zandor {

namespace {

std::string Um(std::int64_t units) { return FormatNumber(static_cast<double>(units) * 0.001); }

std::string Corners(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
    return "(" + Um(x1) + "," + Um(y1) + "),(" + Um(x2) + "," + Um(y2) + "), width: " + Um(std::int64_t{x2} - x1) +
           ", height: " + Um(std::int64_t{y2} - y1);
}

// Words of a record together with the member records that follow a head.
std::int32_t WordsWithMembers(SymbolDescription& symbol, Word* r) {
    std::int32_t words = RecordLength(r);
    if (!IsHead(r)) return words;
    const int members = MemberCount(r);
    Word* m = symbol.NextRecord(r);
    for (int k = 0; k < members && m && IsMember(m); ++k, m = symbol.NextRecord(m)) words += RecordLength(m);
    return words;
}

}  // namespace

std::string LayerSuffix(const Layout* layout, int layer) {
    const LayerDescription* description = layout ? layout->Layer(layer) : nullptr;
    std::string text;
    if (!description) {
        text = "invalid layer " + std::to_string(layer);
    } else if (description->name.empty()) {
        text = "Layer " + std::to_string(layer);
    } else {
        text = description->name;
    }
    return ", \"" + text + "\"";
}

Word* SymbolDescription::FirstSelected() {
    for (Word* r = FirstRecord(); r; r = NextRecord(r)) {
        if (IsSelected(r)) return r;
    }
    return nullptr;
}

Word* SymbolDescription::NextSelected(Word* r) {
    for (r = NextRecord(r); r; r = NextRecord(r)) {
        if (IsSelected(r)) return r;
    }
    return nullptr;
}

Word* SymbolDescription::NextObject(Word* r) {
    int skip = IsHead(r) ? MemberCount(r) : 0;
    Word* next = NextRecord(r);
    while (skip-- > 0 && next && IsMember(next)) next = NextRecord(next);
    return next;
}

void SymbolDescription::SetSelected(Word* r) {
    if (IsSelected(r)) return;
    SetSelectedBit(r, true);
    ++selectedCount;
}

void SymbolDescription::ClearSelected(Word* r) {
    if (!IsSelected(r)) return;
    SetSelectedBit(r, false);
    --selectedCount;
}

void SymbolDescription::ToggleSelected(Word* r) {
    if (IsSelected(r)) {
        ClearSelected(r);
    } else {
        SetSelected(r);
    }
}

void SymbolDescription::DeselectAll() {
    for (Word* r = FirstSelected(); r; r = NextSelected(r)) SetSelectedBit(r, false);
    selectedCount = 0;
    currentObject = -1;
    view.frameShown = false;
}

std::string SymbolDescription::SingleObjectText(Word* r) {
    const int layer = RecordLayer(r);
    switch (RecordKind(r)) {
        case ObjectKind::Rectangle: return "Rectangle, " + Corners(r[1], r[2], r[3], r[4]) + LayerSuffix(layout, layer);
        case ObjectKind::Box:
            return "Box, length: " + Um(r[3]) + ", width: " + Um(r[4]) + ", center: (" + Um(r[1]) + "," + Um(r[2]) +
                   "), angle: " + FormatNumber(r[5] * 0.001) + LayerSuffix(layout, layer);
        case ObjectKind::Polygon: return "Polygon, " + Corners(r[1], r[2], r[3], r[4]) + LayerSuffix(layout, layer);
        case ObjectKind::Wire:
            return "Wire, " + Corners(r[1], r[2], r[3], r[4]) + ", thickness: " + Um(WidthOf(r[5])) +
                   LayerSuffix(layout, layer);
        case ObjectKind::Circle:
            return "Circle, center: (" + Um(r[1]) + "," + Um(r[2]) + "), radius: " + Um(r[3]) +
                   ", diameter: " + Um(2 * std::int64_t{r[3]}) + LayerSuffix(layout, layer);
        case ObjectKind::Ring:
            return "Ring, center: (" + Um(r[1]) + "," + Um(r[2]) + "), radius: " + Um(r[3]) +
                   ", thickness: " + Um(r[4]) + LayerSuffix(layout, layer);
        case ObjectKind::ArcWire:
            return "Arc wire, center: (" + Um(r[3]) + "," + Um(r[4]) + "), start: (" + Um(r[1]) + "," + Um(r[2]) +
                   "), stop: (" + Um(r[5]) + "," + Um(r[6]) + ")" + LayerSuffix(layout, layer);
        case ObjectKind::Text:
            return "Text, (" + Um(r[1]) + "," + Um(r[2]) + "), \"" + std::string(TextChars(r)) + "\"" +
                   LayerSuffix(layout, layer);
        case ObjectKind::Measurement: {
            const std::int64_t dx = std::int64_t{r[3]} - r[1], dy = std::int64_t{r[4]} - r[2];
            std::string text = "Measurement, (" + Um(r[1]) + "," + Um(r[2]) + "),(" + Um(r[3]) + "," + Um(r[4]) +
                               "), dx: " + Um(dx) + ", dy: " + Um(dy);
            if (dx != 0 && dy != 0) {
                text += " dist: " + FormatNumber(std::sqrt(double(dx) * dx + double(dy) * dy) * 0.001);
            }
            return text;
        }
        case ObjectKind::Group: return "Group of " + std::to_string(r[4]) + " objects";
        case ObjectKind::SymbolCall:
        case ObjectKind::SymbolArray: {
            const SymbolDescription* called = layout ? layout->CalledSymbol(r) : nullptr;
            const char* label = RecordKind(r) == ObjectKind::SymbolCall ? "Symbol, " : "Array of symbols, ";
            return label + Corners(r[1], r[2], r[3], r[4]) + ", " + (called ? called->name : std::string());
        }
        case ObjectKind::Script:
            return "Script at (" + Um(r[1]) + "," + Um(r[2]) + ") generating " + std::to_string(r[4]) + " objects" +
                   LayerSuffix(layout, layer);
    }
    return {};
}

void SymbolDescription::UpdateSelection() {
    selectedCount = 0;
    selectedWords = 0;
    Word* first = FirstSelected();
    Word* current = CurrentObject();
    if (!(current && current < objects + usedWords && IsSelected(current))) {
        current = first;
        SetCurrentObject(current);
    }
    for (Word* r = first; r; r = NextSelected(r)) {
        const Rect box = ObjectBounds(r, layout);
        if (selectedCount == 0) {
            selectionBox = box;
        } else {
            Join(selectionBox, box);
        }
        selectedWords += WordsWithMembers(*this, r);
        ++selectedCount;
    }
    if (selectedCount > 0 && current) {
        currentKind = static_cast<int>(RecordKind(current));
        currentLayer = RecordLayer(current);
        view.frameShown = true;
    } else {
        currentObject = -1;
        view.frameShown = false;
    }
    if (selectedCount == 0) {
        statusText = "No selected objects";
    } else if (selectedCount == 1) {
        statusText = SingleObjectText(current);
    } else {
        statusText = std::to_string(selectedCount) + " selected objects, " +
                     Corners(selectionBox.minx, selectionBox.miny, selectionBox.maxx, selectionBox.maxy);
    }
}

void SymbolDescription::SelectSingle(Word* r) {
    if (!r) {
        currentObject = -1;
        view.frameShown = false;
        statusText = "No selected objects";
        return;
    }
    selectedCount = 1;
    SetCurrentObject(r);
    currentKind = static_cast<int>(RecordKind(r));
    currentLayer = RecordLayer(r);
    selectionBox = ObjectBounds(r, layout);
    selectedWords = RecordLength(r);
    view.frameShown = true;
    statusText = SingleObjectText(r);
}

bool SymbolDescription::GetSelectionBox(Rect& box) {
    if (view.frameShown) {
        box = selectionBox;
        return true;
    }
    if (selectedCount == 1) {
        if (Word* r = FirstSelected()) {
            box = ObjectBounds(r, layout);
            return true;
        }
    }
    return false;
}

}  // namespace zandor
