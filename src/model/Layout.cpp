#include "model/Layout.h"

#include <algorithm>
#include <cctype>

#include "model/Geometry.h"
#include "model/UndoList.h"

namespace zandor {

FileType FileTypeOf(std::string_view fileName) {
    const std::size_t dot = fileName.rfind('.');
    const std::size_t slash = fileName.find_last_of("/\\");
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return FileUnknown;
    std::string ext(fileName.substr(dot));
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (ext == ".CIF") return FileCif;
    if (ext == ".GDS") return FileGds;
    if (ext == ".DXF") return FileDxf;
    if (ext == ".EMK") return FileEmk;
    if (ext == ".DWM" || ext == ".MAN") return FileMann;
    if (ext == ".GBR") return FileGerber;
    if (ext == ".TAP") return FileDrill;
    if (ext == ".MSK") return FileMsk;
    return FileUnknown;
}

Layout::Layout(void* owningWindow) : window(owningWindow) { CreateMainSymbol(true); }

Layout::~Layout() = default;

void Layout::CreateMainSymbol(bool recording) {
    auto main = std::make_unique<SymbolDescription>(this);
    main->id = -1;
    main->name = "MainSymbol";
    main->undo->SetRecording(recording);
    byId[-1] = main.get();
    symbols.insert(symbols.begin(), std::move(main));
}

void Layout::Clear() {
    symbols.clear();
    byId.clear();
    largestIdStale = true;
    for (auto& layer : layers) layer.reset();
    activeLayer = 0;
    CreateMainSymbol(false);
    shownSymbol = -1;
}

SymbolDescription* Layout::AddSymbol(std::int32_t id, std::string_view name) {
    if (FindSymbol(id) || FindSymbolByName(name)) return nullptr;
    auto symbol = std::make_unique<SymbolDescription>(this);
    symbol->id = id;
    symbol->SetName(name);
    SymbolDescription* added = symbol.get();
    byId[id] = added;
    NoteIdAdded(id);
    symbols.push_back(std::move(symbol));
    return added;
}

SymbolDescription* Layout::FindSymbol(std::int32_t id) const {
    auto it = byId.find(id);
    return it == byId.end() ? nullptr : it->second;
}

SymbolDescription* Layout::FindSymbolByName(std::string_view name) const {
    for (const auto& s : symbols) {
        if (s->name == name) return s.get();
    }
    return nullptr;
}

bool Layout::DeleteSymbol(std::int32_t id) {
    auto it = std::find_if(symbols.begin(), symbols.end(), [&](const auto& s) { return s->id == id; });
    if (it == symbols.end()) return false;
    byId.erase(id);
    symbols.erase(it);
    largestIdStale = true;
    return true;
}

std::int32_t Layout::NextSymbolId() const {
    if (largestIdStale) {
        largestId = 0;
        for (const auto& entry : byId) largestId = std::max(largestId, entry.first);
        largestIdStale = false;
    }
    return std::max(largestId, 0) + 1;
}

void Layout::NoteIdAdded(std::int32_t id) {
    if (!largestIdStale) largestId = std::max(largestId, id);
}

bool Layout::SetSymbolId(SymbolDescription& symbol, std::int32_t newId) {
    if (symbol.id == newId) return true;
    if (FindSymbol(newId)) return false;
    byId.erase(symbol.id);
    symbol.id = newId;
    byId[newId] = &symbol;
    largestIdStale = true;
    return true;
}

void Layout::MakeMainSymbol(SymbolDescription& symbol) {
    if (!symbols.empty() && symbols.front().get() == &symbol) return;
    auto it = std::find_if(symbols.begin(), symbols.end(), [&](const auto& s) { return s.get() == &symbol; });
    if (it == symbols.end()) return;
    std::unique_ptr<SymbolDescription> chosen = std::move(*it);
    symbols.erase(it);
    if (!symbols.empty() && symbols.front()->id == -1) {
        byId.erase(-1);
        symbols.erase(symbols.begin());
    }
    byId.erase(chosen->id);
    largestIdStale = true;
    chosen->id = -1;
    byId[-1] = chosen.get();
    symbols.insert(symbols.begin(), std::move(chosen));
}

bool Layout::IsModified() const {
    if (modified) return true;
    return std::any_of(symbols.begin(), symbols.end(), [](const auto& s) { return s->undo->CanUndo(); });
}

bool Layout::CanUndo() const {
    const SymbolDescription* shown = ShownSymbolDescription();
    return shown && shown->undo->CanUndo();
}

void Layout::Undo() {
    SymbolDescription* shown = ShownSymbolDescription();
    if (!shown) return;
    shown->undo->Undo();
    shown->RebuildChildren();
}

LayerDescription* Layout::SetLayer(std::unique_ptr<LayerDescription> layer) {
    if (!layer || layer->index < 0 || layer->index >= kLayerCount) return nullptr;
    auto& slot = layers[static_cast<std::size_t>(layer->index)];
    slot = std::move(layer);
    return slot.get();
}

void Layout::WorldToScreen(std::int32_t& x, std::int32_t& y) const {
    x = RoundHalfAway((double(x) - xmin) * sx);
    y = RoundHalfAway((double(ymax) - y) * sy);
}

}  // namespace zandor
