// The editor's frame: layout windows in a multiple-document area, the layer
// panel, menus and toolbars built from one command table, the status bar and
// the per-user settings.
#pragma once

#include <QImage>
#include <QMainWindow>
#include <QMap>
#include <functional>
#include <memory>

#include "display/Background.h"
#include "display/Grid.h"
#include "model/Layout.h"
#include "shell/ShellSettings.h"

class QAction;
class QActionGroup;
class QLabel;
class QMdiArea;
class QMenu;
class QProgressBar;
class QSettings;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace zandor {

class LayerDescription;
class QtDocumentDialogs;
class QtMessageService;
class QtProgressService;
class LayoutWindow;

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

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct CommandEntry;
    void BuildCommands();
    void AddCommand(const CommandEntry& entry);
    void BuildLayerPanel();
    void FillLayerPanel();
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
    QActionGroup* modeGroup = nullptr;
    int mode = 0;
    int previousMode = 0;
    bool opening = false;
    bool fillingLayers = false;
    bool ownsServices = true;
    int layerClickX = 0;
};

}  // namespace zandor
