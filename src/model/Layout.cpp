#include "model/Layout.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <unordered_set>

#include "model/DocumentDialogs.h"
#include "model/Geometry.h"
#include "model/RecordViews.h"
#include "model/UndoList.h"
#include "platform/Messages.h"

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

Layout::Layout(LayoutRole layoutRole) : role(layoutRole) { CreateMainSymbol(true); }

Layout::~Layout() { Forget(); }

void Layout::Forget() {
    // The indexes go first: the symbols then have nothing to take themselves out of.
    byId.clear();
    byName.clear();
    callersOf.clear();
    symbols.clear();
}

void Layout::CreateMainSymbol(bool recording) {
    auto main = std::make_unique<SymbolDescription>(this);
    main->id = -1;
    main->name = "MainSymbol";
    main->undo->SetRecording(recording);
    byId[-1] = main.get();
    IndexName(*main);
    symbols.insert(symbols.begin(), std::move(main));
}

void Layout::Clear() {
    Forget();
    largestIdStale = true;
    for (auto& layer : layers) layer.reset();
    activeLayer = 0;
    CreateMainSymbol(false);
    shownSymbol = -1;
}

void Layout::IndexName(SymbolDescription& symbol) { byName.emplace(symbol.name, &symbol); }

void Layout::UnindexName(const SymbolDescription& symbol) {
    auto [first, last] = byName.equal_range(symbol.name);
    for (auto it = first; it != last; ++it) {
        if (it->second == &symbol) {
            byName.erase(it);
            return;
        }
    }
}

SymbolDescription* Layout::AddSymbol(std::int32_t id, std::string_view name) {
    if (FindSymbol(id) || FindSymbolByName(name)) return nullptr;
    auto symbol = std::make_unique<SymbolDescription>(this);
    symbol->id = id;
    SymbolDescription* added = symbol.get();
    byId[id] = added;
    NoteIdAdded(id);
    IndexName(*added);
    symbols.push_back(std::move(symbol));
    added->SetName(name);
    return added;
}

SymbolDescription* Layout::FindSymbol(std::int32_t id) const {
    auto it = byId.find(id);
    return it == byId.end() ? nullptr : it->second;
}

SymbolDescription* Layout::CalledSymbol(const Word* placement) const {
    if (!IsCallKind(RecordKind(placement))) return nullptr;
    return FindSymbol(PlacementView(placement).SymbolId());
}

SymbolDescription* Layout::FindSymbolByName(std::string_view name) const {
    auto [first, last] = byName.equal_range(name);
    if (first == last) return nullptr;
    if (std::next(first) == last) return first->second;
    for (const auto& s : symbols) {
        if (s->name == name) return s.get();
    }
    return nullptr;
}

bool Layout::DeleteSymbol(std::int32_t id) {
    SymbolDescription* symbol = FindSymbol(id);
    if (!symbol) return false;
    auto it = std::find_if(symbols.begin(), symbols.end(), [&](const auto& s) { return s.get() == symbol; });
    byId.erase(id);
    UnindexName(*symbol);
    if (it != symbols.end()) symbols.erase(it);
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
        UnindexName(*symbols.front());
        symbols.erase(symbols.begin());
    }
    byId.erase(chosen->id);
    largestIdStale = true;
    chosen->id = -1;
    byId[-1] = chosen.get();
    symbols.insert(symbols.begin(), std::move(chosen));
}

// ---------------------------------------------------------------------------
// The callers index

const std::vector<SymbolDescription*>& Layout::CallersOf(std::int32_t id) const {
    static const std::vector<SymbolDescription*> none;
    auto it = callersOf.find(id);
    return it == callersOf.end() ? none : it->second;
}

bool Layout::HasChild(const SymbolDescription& caller, std::int32_t childId) const {
    // Either list answers; the shorter one is searched.
    const std::vector<SymbolDescription*>& callers = CallersOf(childId);
    if (caller.children.size() <= callers.size()) {
        return std::find(caller.children.begin(), caller.children.end(), childId) != caller.children.end();
    }
    return std::find(callers.begin(), callers.end(), &caller) != callers.end();
}

void Layout::NoteChildAdded(SymbolDescription& caller, std::int32_t childId) { callersOf[childId].push_back(&caller); }

void Layout::ForgetChildren(const SymbolDescription& caller) {
    for (std::int32_t childId : caller.children) {
        auto it = callersOf.find(childId);
        if (it == callersOf.end()) continue;
        std::vector<SymbolDescription*>& callers = it->second;
        callers.erase(std::remove(callers.begin(), callers.end(), &caller), callers.end());
        if (callers.empty()) callersOf.erase(it);
    }
}

bool Layout::Reaches(const SymbolDescription& from, std::int32_t id) const {
    // Down: the symbols from calls (from included); up: the symbols that call
    // id through one or more levels.  The answer is yes as soon as the two
    // meet, and no as soon as either side is exhausted: every symbol reached
    // down is checked for calling id itself, every symbol reached up for
    // being from.
    if (++searchNumber == 0) {
        for (const auto& s : symbols) s->reachedDown = s->reachedUp = 0;
        searchNumber = 1;
    }
    const std::uint32_t mark = searchNumber;
    std::vector<const SymbolDescription*> down{&from}, up;
    from.reachedDown = mark;
    auto climb = [&](std::int32_t calledId) {
        for (const SymbolDescription* caller : CallersOf(calledId)) {
            if (caller->reachedUp == mark) continue;
            if (caller == &from || caller->reachedDown == mark) return true;
            caller->reachedUp = mark;
            up.push_back(caller);
        }
        return false;
    };
    if (climb(id)) return true;
    while (!down.empty() && !up.empty()) {
        const SymbolDescription* s = down.back();
        down.pop_back();
        for (std::int32_t childId : s->children) {
            if (childId == id) return true;
            const SymbolDescription* child = FindSymbol(childId);
            if (!child || child->reachedDown == mark) continue;
            if (child->reachedUp == mark) return true;
            child->reachedDown = mark;
            down.push_back(child);
        }
        if (up.empty()) break;
        const SymbolDescription* caller = up.back();
        up.pop_back();
        if (climb(caller->id)) return true;
    }
    return false;
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
    if (shown->undo->Undo()) shown->RebuildChildren();
}

bool Layout::CanRedo() const {
    const SymbolDescription* shown = ShownSymbolDescription();
    return shown && shown->undo->CanRedo();
}

void Layout::Redo() {
    SymbolDescription* shown = ShownSymbolDescription();
    if (!shown) return;
    if (shown->undo->Redo()) shown->RebuildChildren();
}

LayerDescription* Layout::SetLayer(std::unique_ptr<LayerDescription> layer) {
    if (!layer || layer->index < 0 || layer->index >= kLayerCount) return nullptr;
    auto& slot = layers[static_cast<std::size_t>(layer->index)];
    slot = std::move(layer);
    return slot.get();
}

bool Layout::Load(const std::string& name, platform::DiagnosticSink* diagnostics) {
    return Load(name, FileTypeOf(name), diagnostics);
}

bool Layout::Load(const std::string& name, FileType type, platform::DiagnosticSink* diagnostics) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(name, error)) return false;
    platform::ShownDiagnostics shown;
    platform::DiagnosticSink& sink = diagnostics ? *diagnostics : shown;
    Clear();
    fileName = name;
    platform::Progress().SetProgress(0);
    fileType = type;
    bool success = false;
    const LayoutReader* reader = FindReader(fileType);
    auto fail = [&](std::string_view text) {
        platform::Diagnostic d;
        d.text = text;
        d.file = name;
        sink.Report(d);
    };
    if (fileType == FileUnknown || fileType == FileMsk) {
        fail("Unknown file format");
    } else if (!reader) {
        fail("Reading this file type is not supported yet");
    } else {
        success = (*reader)(*this, name, sink);
        if (success && (fileType == FileCif || fileType == FileGds || fileType == FileDxf)) ChooseMainSymbol();
    }
    if (success) {
        if (SymbolDescription* main = MainSymbol()) {
            main->boundsValid = false;
            main->EnsureBounds();
            main->UpdateSelection();
        }
    }
    platform::Progress().SetProgress(100);
    for (const auto& s : symbols) s->undo->SetRecording(true);
    modified = false;
    return success;
}

bool Layout::Save(const std::string& name, FileType type) {
    if (!name.empty()) return Save(name, type, Settings().saveOptions);
    lastSaveWroteFile = false;
    std::string target;
    SaveOptions options = Settings().saveOptions;
    if (fileName.empty() || (fileType != FileCif && fileType != FileGds && fileType != FileDxf)) {
        if (!Dialogs().SaveAs(target, type, options)) return false;
        Settings().saveOptions = options;
    } else {
        // Saving the document under its own name writes all of it: the
        // options of an earlier export must not flatten or strip the file.
        target = fileName;
        type = fileType;
        options = SaveOptions{};
    }
    return Save(target, type, options);
}

bool Layout::Save(const std::string& name, FileType type, const SaveOptions& options,
                  platform::DiagnosticSink* diagnostics) {
    lastSaveWroteFile = false;
    if (name.empty()) return false;
    const LayoutWriter* writer = FindWriter(type);
    platform::ShownDiagnostics shown;
    platform::DiagnosticSink& sink = diagnostics ? *diagnostics : shown;
    if (!writer || (type != FileCif && type != FileGds && type != FileDxf)) {
        platform::Diagnostic refused;
        refused.text = "Saving this file type is not supported yet";
        refused.file = name;
        sink.Report(refused);
        return false;
    }
    if (!(*writer)(*this, name, options, sink)) return false;

    const bool exported = options.noExtensions || options.flatten;
    if (!exported) {
        fileName = name;
        fileType = type;
        for (const auto& s : symbols) s->undo->Clear();
        modified = false;
    }
    if (Settings().showMaskWarning) {
        if (SymbolDescription* main = MainSymbol()) {
            main->boundsValid = false;
            main->EnsureBounds();
            const std::int64_t halfWidth = Settings().maskWidth / 2, halfHeight = Settings().maskHeight / 2;
            if (main->minx < -halfWidth || main->maxx > halfWidth || main->miny < -halfHeight ||
                main->maxy > halfHeight) {
                platform::Diagnostic d;
                d.severity = platform::Severity::Warning;
                d.text = "The layout contains objects outside the mask dimensions!";
                d.file = name;
                sink.Report(d);
            }
        }
    }
    lastSaveWroteFile = true;
    return !exported;
}

bool Layout::ExportLayer(int layer, const std::string& name, ExportType type) {
    return ExportLayer(layer, name, type, Settings().saveOptions);
}

bool Layout::ExportLayer(int layer, const std::string& name, ExportType type, const SaveOptions& options,
                         platform::DiagnosticSink* diagnostics) {
    if (name.empty()) return false;
    const LayerWriter* writer = FindLayerWriter(type);
    if (!writer) return false;
    platform::ShownDiagnostics shown;
    return (*writer)(*this, name, layer, options, diagnostics ? *diagnostics : shown);
}

void Layout::ChooseMainSymbol() {
    if (symbols.empty()) return;
    SymbolDescription* main = symbols.front().get();
    SymbolDescription* candidate = nullptr;
    if (main->objectCount == 0) {
        candidate = FindSymbolByName("Zandor Main");
        if (!candidate) {
            std::vector<SymbolDescription*> unused;
            for (std::size_t k = 1; k < symbols.size(); ++k) {
                if (symbols[k]->IsUnused()) unused.push_back(symbols[k].get());
            }
            if (unused.empty()) return;
            // Layout tools store their own data (library context, PCell
            // parameters) in an otherwise meaningless top structure such as
            // "$$$CONTEXT_INFO$$$"; a design structure goes before it, so it
            // is preselected and taken when nobody is asked.
            std::stable_partition(unused.begin(), unused.end(),
                                  [](const SymbolDescription* s) { return s->name.rfind("$$$", 0) != 0; });
            if (unused.size() == 1 || role == LayoutRole::Detached) {
                candidate = unused.front();
            } else {
                std::vector<std::string> names;
                for (const SymbolDescription* s : unused) names.push_back(s->name);
                const int chosen = Dialogs().ChooseMainSymbol(names);
                if (chosen < 0 || chosen >= static_cast<int>(unused.size())) return;
                candidate = unused[static_cast<std::size_t>(chosen)];
            }
        }
    } else if (main->objectCount == 1) {
        const Word* r = main->FirstRecord();
        if (RecordKind(r) != ObjectKind::SymbolCall || !(CallView(r).Matrix() == TransformMatrix{})) return;
        candidate = CalledSymbol(r);
        if (!candidate) return;
        // Every symbol that calls the candidate, through any number of levels,
        // is found going up from it; one other than the two is enough.
        std::vector<const SymbolDescription*> pending{candidate};
        std::unordered_set<const SymbolDescription*> seen{candidate};
        while (!pending.empty()) {
            const SymbolDescription* s = pending.back();
            pending.pop_back();
            for (const SymbolDescription* caller : CallersOf(s->id)) {
                if (caller != main && caller != candidate) return;
                if (seen.insert(caller).second) pending.push_back(caller);
            }
        }
    }
    if (candidate && candidate != main) MakeMainSymbol(*candidate);
}

}  // namespace zandor
