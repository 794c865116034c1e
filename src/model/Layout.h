// One open layout: its symbols with the main symbol first, its 256-slot layer
// table, the file it came from, and the mapping of layout coordinates to the
// pixels of the window that shows it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/FileFormats.h"
#include "model/LayerDescription.h"
#include "model/ModelSettings.h"
#include "model/SymbolDescription.h"
#include "model/ViewState.h"

namespace zandor {

enum FileType : std::int32_t {
    FileUnknown = 0,
    FileCif = 1,
    FileGds = 2,
    FileDxf = 3,
    FileEmk = 4,
    FileMann = 5,
    FileGerber = 6,
    FileDrill = 7,
    FileMsk = 8,
};

// The file type of a name, by its extension compared without regard to case.
FileType FileTypeOf(std::string_view fileName);

// Whether a layout belongs to a layout window (it may then ask its user, for
// instance to choose the main symbol) or stands alone: libraries, the
// template layer table, the command-line tool.
enum class LayoutRole { Window, Detached };

class Layout {
public:
    explicit Layout(LayoutRole role = LayoutRole::Detached);
    ~Layout();
    Layout(const Layout&) = delete;
    Layout& operator=(const Layout&) = delete;

    // Destroys all symbols and layers and creates a new, empty main symbol with
    // undo recording off.
    void Clear();

    // The symbol list; the first symbol is the main symbol (id -1).
    const std::vector<std::unique_ptr<SymbolDescription>>& Symbols() const { return symbols; }
    SymbolDescription* MainSymbol() const { return symbols.empty() ? nullptr : symbols.front().get(); }
    // nullptr when a symbol with the same id or the same name exists.
    SymbolDescription* AddSymbol(std::int32_t id, std::string_view name);
    // Both in constant time.  Several symbols may share a name for a moment
    // (a rename in progress); FindSymbolByName then gives the first in list order.
    SymbolDescription* FindSymbol(std::int32_t id) const;
    SymbolDescription* FindSymbolByName(std::string_view name) const;
    // The symbol a call or an array record places; nullptr for other kinds
    // and for a missing symbol.
    SymbolDescription* CalledSymbol(const Word* placement) const;
    bool DeleteSymbol(std::int32_t id);
    std::int32_t NextSymbolId() const;
    // Gives a symbol another id; false when the id is taken by another symbol.
    bool SetSymbolId(SymbolDescription& symbol, std::int32_t newId);
    // Puts symbol at the head of the list (it becomes the main symbol, id -1)
    // and destroys the old main symbol with its objects.
    void MakeMainSymbol(SymbolDescription& symbol);
    SymbolDescription* ShownSymbolDescription() const { return FindSymbol(shownSymbol); }

    // The symbols whose children lists name id (the id need not exist), in the
    // order they came to call it.
    const std::vector<SymbolDescription*>& CallersOf(std::int32_t id) const;
    // Whether from calls the symbol of id through one or more levels.  Searches
    // down from one and up from the other at the same pace, so the cost is
    // bounded by the smaller side: nothing when the symbol has no callers or
    // from calls nothing, as while a file is read in either order.
    bool Reaches(const SymbolDescription& from, std::int32_t id) const;

    bool IsModified() const;
    bool CanUndo() const;
    void Undo();
    bool CanRedo() const;
    void Redo();

    // Files.  The readers and writers report to the sink given, or as message
    // boxes (platform::ShownDiagnostics) when there is none.
    //
    // Load clears the layout and runs the reader of the file's type; false
    // when the file cannot be read (the window then closes).
    bool Load(const std::string& name, platform::DiagnosticSink* diagnostics = nullptr);
    // The same with the reader of the type given, whatever the extension.
    bool Load(const std::string& name, FileType type, platform::DiagnosticSink* diagnostics = nullptr);
    // With an empty name: the save-as dialog, unless the layout has its own
    // CIF, GDSII or DXF file, which is then written whole without options.
    // With a name: written with the options last chosen (Settings().saveOptions).
    // A type without a registered writer is refused with an error.
    bool Save(const std::string& name, FileType type);
    // Writes the layout under a name with the options given.  True when the
    // file was written and is now the document's; an export (without
    // extensions or flattened) returns false but sets lastSaveWroteFile.
    bool Save(const std::string& name, FileType type, const SaveOptions& options,
              platform::DiagnosticSink* diagnostics = nullptr);
    // Writes one layer without touching the document's name, type or
    // modified state: with the options last chosen, or with those given.
    bool ExportLayer(int layer, const std::string& name, ExportType type);
    bool ExportLayer(int layer, const std::string& name, ExportType type, const SaveOptions& options,
                     platform::DiagnosticSink* diagnostics = nullptr);
    void ChooseMainSymbol();

    // Layer table (slots 0..255; an empty slot is a layer that does not exist).
    LayerDescription* Layer(int index) const {
        return index >= 0 && index < kLayerCount ? layers[static_cast<std::size_t>(index)].get() : nullptr;
    }
    // Creates or replaces a layer slot.
    LayerDescription* SetLayer(std::unique_ptr<LayerDescription> layer);
    void DeleteLayers();
    // Empties one slot; false when it holds no layer.  A current layer that
    // goes hands that role to the lowest layer left.
    bool RemoveLayer(int index);
    // Only layer 0, with defaults.
    void ResetLayers();
    // A layer map file; failures reported to the sink, or as message boxes.
    bool ReadLayerMap(const std::string& name, platform::DiagnosticSink* diagnostics = nullptr);
    bool WriteLayerMap(const std::string& name, platform::DiagnosticSink* diagnostics = nullptr) const;
    void CopyLayersFrom(const Layout& other);
    int FindLayerByShortName(std::string_view shortName) const;  // -1 when none
    int FindLayerByName(std::string_view name) const;            // -1 when none
    int LowestFreeLayer() const;                                 // -1 when all are used
    int LayerCount() const;
    // The existing layer at a position counted in index order, or nullptr.
    LayerDescription* NthLayer(int position) const;
    void SelectCurrentLayer(int position);
    bool ToggleLayerVisible(int position);
    bool ToggleLayerLocked(int position);
    void ShowAllLayers();
    void HideAllLayers();
    bool LayerInUse(int index) const;
    // Moves a layer to an empty slot, with its objects and their undo copies.
    bool ChangeLayerIndex(int oldIndex, int newIndex);

    // What the window showing this layout keeps with it.
    ViewState view;
    bool modified = false;
    const LayoutRole role;
    std::int32_t activeLayer = 0;
    std::string fileName;
    FileType fileType = FileUnknown;
    std::int32_t shownSymbol = -1;
    // The last Save wrote its file: also true for an export (flattened or
    // without extensions), which Save reports as failed for the document.
    bool lastSaveWroteFile = false;

private:
    friend class SymbolDescription;

    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };

    void CreateMainSymbol(bool recording);
    // Destroys all symbols.
    void Forget();
    void NoteIdAdded(std::int32_t id);
    void IndexName(SymbolDescription& symbol);
    void UnindexName(const SymbolDescription& symbol);
    // Kept by SymbolDescription whenever its children list changes.
    void NoteChildAdded(SymbolDescription& caller, std::int32_t childId);
    void ForgetChildren(const SymbolDescription& caller);
    bool HasChild(const SymbolDescription& caller, std::int32_t childId) const;

    // The indexes outlive the symbols, whose destructors update them.
    std::unordered_map<std::int32_t, SymbolDescription*> byId;
    std::unordered_multimap<std::string, SymbolDescription*, NameHash, std::equal_to<>> byName;
    std::unordered_map<std::int32_t, std::vector<SymbolDescription*>> callersOf;
    // Marks of the searches of Reaches, told apart by their number.
    mutable std::uint32_t searchNumber = 0;
    std::vector<std::unique_ptr<SymbolDescription>> symbols;
    // The largest id in use, recomputed after removals.
    mutable std::int32_t largestId = 0;
    mutable bool largestIdStale = true;
    std::array<std::unique_ptr<LayerDescription>, kLayerCount> layers;
};

}  // namespace zandor
