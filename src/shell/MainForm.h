// The editor's frame: layout windows in a multiple-document area, the layer
// panel, menus and toolbars built from one command table, the status bar and
// the per-user settings.
#pragma once

#include <QImage>
#include <QMainWindow>
#include <QMap>
#include <QPointer>
#include <QSet>
#include <functional>
#include <memory>
#include <vector>

#include "display/Background.h"
#include "display/Grid.h"
#include "model/Layout.h"
#include "shell/EditDialogs.h"
#include "shell/LayoutView.h"
#include "shell/ShellSettings.h"

class QAction;
class QActionGroup;
class QLabel;
class QMdiArea;
class QMenu;
class QPrinter;
class QProgressBar;
class QSettings;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace zandor {

class ClipboardPicture;
class LayerDescription;
class SymbolDescription;
class QtDocumentDialogs;
class QtFlashOptionDialogs;
class FlashOptionDialogs;
class QtGerberOptionDialog;
class GerberOptionDialog;
class QtDrillOptionDialog;
class DrillOptionDialog;
class QtEditPrompts;
class EditPrompts;
class QtMessageService;
class QtProgressService;
class LayoutWindow;

// Whether the script engine library can be loaded (probed once).
bool ScriptEngineAvailable();

// A row of the layer panel: the flag zones, then a swatch of the layer's
// fill and outline, then the caption.
constexpr int kLayerFlagsWidth = 35;
constexpr int kLayerSwatchWidth = 26;
constexpr int kLayerSwatchHeight = 20;
QImage LayerSwatch(const LayerDescription& layer);
// The name, or "index - name" while the indices are shown.
QString LayerCaption(const LayerDescription& layer, bool showIndex);

class MainForm : public QMainWindow {
    Q_OBJECT
public:
    // installServices: message boxes, progress and document dialogs of this
    // window become the platform's (tests keep their recording ones).
    explicit MainForm(bool installServices = true, QWidget* parent = nullptr);
    ~MainForm() override;

    // Opens a file in a new layout window (the checks and messages of the
    // Open command); nullptr when it was refused or could not be read.
    LayoutWindow* OpenFile(QString name);
    LayoutWindow* NewLayout();
    LayoutWindow* ActiveLayoutWindow() const;
    QList<LayoutWindow*> LayoutWindows() const;
    // Handles the text of a shell "open" request: every [open("...")].
    void HandleOpenRequest(const QString& commands);

    QAction* Command(const QString& name) const { return commands.value(name); }
    void SetMode(int mode);
    int Mode() const { return mode; }
    ShellSettings& Settings() { return settings; }
    Grid& GetGrid() { return grid; }
    Background& GetBackground() { return background; }
    Layout& MainLayout() { return *mainLayout; }
    QTreeWidget& LayerPanel() { return *layerList; }
    QString StatusText(int panel) const;
    // Writes the settings, the window position and the layer map (shutdown).
    void SaveState();
    // Re-evaluates which commands are enabled and checked.
    void UpdateCommands();
    // The symbol the active window shows, nullptr without a window.
    SymbolDescription* CurrentSymbol() const;

    // The private clipboard: the main layout's main symbol holds what was
    // copied last.  Copy and cut offer other applications a picture of it.
    bool StoreHoldsObjects() const;
    // The picture this window offers while it is on the system clipboard.
    ClipboardPicture* OfferedPicture() const;
    // Prints the active window on a printer set up already (the Print
    // command runs its dialog first); false after a message when it failed.
    bool PrintActiveWindow(QPrinter& printer);
    // The printer the dialogs set up, kept for the whole run.
    QPrinter& Printer();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct CommandEntry {
        QString name;
        QString caption;
        QList<QKeySequence> shortcuts;
        QString menu;
        bool checkable = false;
        std::function<void()> run;
        std::function<bool()> enabled;
        std::function<bool()> checked;
    };
    // How an editing command frames its operation.
    enum EditEffect : unsigned {
        EditPlain = 0,
        EditShowsProgress = 1,  // may take long: progress 0 before, 100 after
        EditNewSymbol = 2,      // the operation may add a symbol to the tree
    };
    void BuildCommands();
    // Cut, copy and paste, and the File menu's printing commands.
    std::vector<CommandEntry> ClipboardCommandEntries();
    // Fills the store from the selection of symbol; false after `failure`.
    bool CopyToStore(SymbolDescription& symbol, const char* failure);
    void CopySelection();
    void CutSelection();
    void PasteStore();
    // Shutdown: whether the picture stays for other applications.
    void AskLeaveClipboard();
    void Print();
    // The commands of the Edit, Layout and Arrange menus.
    std::vector<CommandEntry> EditCommandEntries();
    // The mode commands, their letters and the settings bound to a mode.
    std::vector<CommandEntry> ModeCommandEntries();
    void BuildModeSelector();
    void EditWireSettings();
    void EditTextProperties();
    void InsertTextAt(Point at);
    void ShowViewMenu(ViewMenu kind, QPoint global);
    // The common frame of a command that changes the shown symbol: the view's
    // pending operation ends, an undo step opens, the operation runs (false:
    // refused, nothing changed), then the tree, the view and the status
    // follow and the layout is marked modified.
    bool RunEdit(const std::function<bool(SymbolDescription&)>& operation, unsigned effects = EditPlain);
    void UndoOrRedo(bool redo);
    // The transform dialog on a page, then the operation of the page.
    void RunTransform(TransformPage page);
    void RunDuplicate();
    // Mirror about the selection box's exact centre: (-1, 1) or (1, -1).
    void MirrorAboutCentre(bool horizontally);
    void RunBoolean(int op);
    void RunInvert();
    // "Properties...": the dialog of the selected object's kind, or the layer
    // for several objects, then the change as one undo step.
    void EditProperties();
    // "Insert text...": the text dialog, then the text.
    void InsertText();
    void ChangeLayers(bool add);
    // For the layer at index, or one picked with the layer-selection dialog.
    void EditLayerProperties(int index = -1);
    void EditMaskSize();
    void AskGridSpacing();
    void EditPreferences();
    // Input box; false when cancelled.
    bool AskText(const QString& caption, const QString& prompt, QString& text);
    void AddCommand(const CommandEntry& entry);
    void BuildLayerPanel();
    void FillLayerPanel();
    void RefreshLayerStates();
    // A layer properties file onto the active layout's layers, or, with no
    // window open, as the template table.
    void ReadLayerPropertiesFile(const QString& name);
    void LayerClicked(QTreeWidgetItem* item, int x);
    void LayerRenamed(QTreeWidgetItem* item);
    void ActivateWindow(LayoutWindow* window);
    LayoutWindow* AddWindow(std::unique_ptr<Layout> layout);
    void RedrawActive();
    void RedrawAll();
    void AddRecentFile(const QString& name);
    void FillRecentMenu();
    void SetStatus(int panel, const QString& text);
    void ShowPointer(Point p);
    void SaveActive(bool saveAs);
    // One layer of the active layout, to a file type that has a writer.
    void ExportLayer();
    void AskLevels();
    void ArrangeTiles(bool horizontal);
    Layout* ActiveLayout() const;

    ShellSettings settings;
    Grid grid;
    Background background;
    std::unique_ptr<Layout> mainLayout;
    std::unique_ptr<QSettings> ini;
    std::unique_ptr<QtMessageService> messageService;
    std::unique_ptr<QtProgressService> progressService;
    std::unique_ptr<QtDocumentDialogs> documentDialogs;
    std::unique_ptr<QtFlashOptionDialogs> flashDialogs;
    FlashOptionDialogs* previousFlashDialogs = nullptr;
    std::unique_ptr<QtGerberOptionDialog> gerberDialog;
    GerberOptionDialog* previousGerberDialog = nullptr;
    std::unique_ptr<QtDrillOptionDialog> drillDialog;
    DrillOptionDialog* previousDrillDialog = nullptr;
    std::unique_ptr<QtEditPrompts> editPrompts;
    EditPrompts* previousPrompts = nullptr;
    // Kept for the whole run so that their fields keep what was typed; the
    // duplicate dialog writes its settings while ini still exists.
    std::unique_ptr<TransformDialog> transformDialog;
    std::unique_ptr<DuplicateDialog> duplicateDialog;
    std::unique_ptr<QPrinter> printer;
    QPointer<ClipboardPicture> offeredPicture;
    QMdiArea* mdi = nullptr;
    QTreeWidget* layerList = nullptr;
    QDockWidget* layerDock = nullptr;
    QToolBar* modeBar = nullptr;
    QMenu* recentMenu = nullptr;
    QLabel* statusPanels[4] = {};
    QProgressBar* progress = nullptr;
    QMap<QString, QAction*> commands;
    QMap<QString, std::function<bool()>> enabledRules;
    QMap<QString, std::function<bool()>> checkedRules;
    QSet<QString> separatorBefore;
    // "short|long": the short text is the tooltip, the long one the status tip.
    QMap<QString, QString> hints;
    // Commands shown only while they are enabled.
    QSet<QString> hiddenWhenDisabled;
    QActionGroup* modeGroup = nullptr;
    int mode = 0;
    int previousMode = 0;
    bool opening = false;
    bool fillingLayers = false;
    bool ownsServices = true;
    int layerClickX = 0;
};

}  // namespace zandor
