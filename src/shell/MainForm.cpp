#include "shell/MainForm.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>
#include <utility>

#include "display/ObjectDrawing.h"
#include "editing/EditPrompts.h"
#include "formats/gds/GdsRecords.h"
#include "model/Geometry.h"
#include "model/LayerDescription.h"
#include "model/LayerProperties.h"
#include "model/ModelSettings.h"
#include "model/SymbolDescription.h"
#include "platform/Diagnostics.h"
#include "platform/Messages.h"
#include "platform/qt/QtCanvas.h"
#include "shell/ClipboardPicture.h"
#include "shell/FileNames.h"
#include "shell/FlashOptionDialogs.h"
#include "shell/HelpViewer.h"
#include "shell/LayerPropertiesFile.h"
#include "shell/LayoutView.h"
#include "shell/LayoutWindow.h"
#include "shell/PlotOptionDialogs.h"
#include "shell/QtEditPrompts.h"
#include "shell/ShellServices.h"

namespace zandor {

namespace {

// The Gerber and drill patterns are the extensions FileTypeOf knows.
const char* const kOpenFilter =
    "CIF files (*.cif);;GDS-II files (*.gds);;DXF files (*.dxf);;EMK files (*.emk);;Mann files (*.dwm *.man);;"
    "Gerber RS-274X files (*.gbr *.gbx *.gtl *.gbl *.gto *.gbo *.gts *.gbs *.gko *.gm1 *.pho *.art *.grb);;"
    "Drill files (*.tap *.drl *.xln);;"
    "All layout files (*.cif *.gds *.dxf *.emk *.dwm *.man *.gbr *.gbx *.gtl *.gbl *.gto *.gbo *.gts *.gbs *.gko "
    "*.gm1 *.pho *.art *.grb *.tap *.drl *.xln)";
const char* const kLayerMapFilter = "Layer map files (*.map);;All files (*)";
const char* const kReadLayerMapFilter = "Layer maps (*.map);;Layer properties (*.lyp);;All files (*)";
constexpr int kRecentFiles = 8;

// The layer panel's row icon: the three flag zones, current (0..14), visible
// (15..24) and locked (25..34) pixels from the left, and then the layer's
// swatch.
QIcon LayerIcon(const LayerDescription& layer) {
    QPixmap pixmap(kLayerFlagsWidth + kLayerSwatchWidth, kLayerSwatchHeight);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.translate(0, (kLayerSwatchHeight - 14) / 2);
    p.setPen(Qt::black);
    // A filled square marks the current layer.
    p.drawRect(1, 2, 10, 9);
    if (layer.current) p.fillRect(3, 4, 7, 6, Qt::black);
    // An open eye for a visible layer, a struck one for a hidden layer.
    p.drawEllipse(16, 4, 7, 6);
    if (!layer.visible) p.drawLine(15, 12, 24, 2);
    // A padlock, filled when locked.
    p.drawRect(27, 7, 6, 5);
    p.drawArc(28, 3, 4, 7, 0, 180 * 16);
    if (layer.locked) p.fillRect(27, 7, 7, 6, Qt::black);
    p.resetTransform();
    p.drawImage(kLayerFlagsWidth, 0, LayerSwatch(layer));
    return QIcon(pixmap);
}

}  // namespace

// The rectangle (2, 2)..(24, 18), right and bottom edges excluded, on white,
// drawn by the canvas the layout is drawn with, so that hatches and dashes
// look as they do in the view.
QImage LayerSwatch(const LayerDescription& layer) {
    QImage image(kLayerSwatchWidth, kLayerSwatchHeight, QImage::Format_RGB32);
    QtCanvas canvas(image);
    canvas.Clear(0xFFFFFF);
    canvas.SetRasterOp(RasterOp::Copy);
    canvas.SetPen(LayerPen(layer));
    canvas.SetBrush(LayerBrush(layer));
    canvas.Rectangle(2, 2, 23, 17);
    return image;
}

QString LayerCaption(const LayerDescription& layer, bool showIndex) {
    const QString name = QString::fromStdString(layer.name);
    return showIndex ? QString("%1 - %2").arg(layer.index).arg(name) : name;
}

MainForm::MainForm(bool installServices, QWidget* parent) : QMainWindow(parent), ownsServices(installServices) {
    setWindowTitle("Zandor 3.2");
    setAcceptDrops(true);
    const WindowPlacement placement = WindowPlacement::Read();
    setGeometry(placement.geometry);
    if (placement.maximised) setWindowState(Qt::WindowMaximized);

    mdi = new QMdiArea(this);
    mdi->setObjectName("layoutArea");
    setCentralWidget(mdi);
    connect(mdi, &QMdiArea::subWindowActivated, this,
            [this](QMdiSubWindow* w) { ActivateWindow(qobject_cast<LayoutWindow*>(w)); });

    // Status bar: hints, grid, x, y; the progress bar lies over it.
    for (int i = 0; i < 4; ++i) {
        statusPanels[i] = new QLabel(this);
        statusPanels[i]->setMinimumWidth(i == 0 ? 200 : 110);
        statusBar()->addWidget(statusPanels[i], i == 0 ? 1 : 0);
    }
    progress = new QProgressBar(this);
    progress->setRange(0, 100);
    progress->hide();
    statusBar()->addPermanentWidget(progress);

    messageService = std::make_unique<QtMessageService>(this);
    progressService = std::make_unique<QtProgressService>(progress);
    documentDialogs = std::make_unique<QtDocumentDialogs>(this);
    if (ownsServices) {
        platform::SetMessageService(messageService.get());
        platform::SetProgressService(progressService.get());
        SetDocumentDialogs(documentDialogs.get());
    }
    // The operations' questions are always answered with dialogs; a test that
    // scripts them installs its own prompts after the window exists.
    editPrompts = std::make_unique<QtEditPrompts>(this);
    // The flash writers and readers ask for their options with dialogs
    // whenever a window can show them.
    flashDialogs = std::make_unique<QtFlashOptionDialogs>(this);
    previousFlashDialogs = SetFlashOptionDialogs(flashDialogs.get());
    // The photoplot and drill options confirmed go into the settings file at
    // once, so that a later crash does not lose them.
    gerberDialog = std::make_unique<QtGerberOptionDialog>(this, [this] {
        if (!ini) return;
        WriteGerberSection(*ini, GerberSettings());
        ini->sync();
    });
    previousGerberDialog = SetGerberOptionDialog(gerberDialog.get());
    drillDialog = std::make_unique<QtDrillOptionDialog>(this, [this] {
        if (!ini) return;
        WriteDrillSection(*ini, DrillSettings());
        ini->sync();
    });
    previousDrillDialog = SetDrillOptionDialog(drillDialog.get());
    previousPrompts = SetEditPrompts(editPrompts.get());

    // The main layout carries the layer table new windows start from.
    mainLayout = std::make_unique<Layout>();
    if (!mainLayout->ReadLayerMap((ConfigFolder() + "/layers.map").toStdString())) mainLayout->ResetLayers();
    mainLayout->SelectCurrentLayer(0);

    ini = OpenSettingsFile();
    if (ini) settings.Read(*ini, zandor::Settings(), grid, background);
    transformDialog = std::make_unique<TransformDialog>(this);
    duplicateDialog = std::make_unique<DuplicateDialog>(ini.get(), this);
    background.ApplyToModel();

    BuildLayerPanel();
    BuildCommands();
    FillLayerPanel();
    SetMode(0);

    auto* idle = new QTimer(this);
    connect(idle, &QTimer::timeout, this, &MainForm::UpdateCommands);
    idle->start(250);
    UpdateCommands();
}

MainForm::~MainForm() {
    // A picture still drawn from the store on request goes with it.
    if (OfferedPicture()) QGuiApplication::clipboard()->clear();
    if (&Prompts() == editPrompts.get()) SetEditPrompts(previousPrompts);
    SetFlashOptionDialogs(previousFlashDialogs);
    SetGerberOptionDialog(previousGerberDialog);
    SetDrillOptionDialog(previousDrillDialog);
    if (!ownsServices) return;
    platform::SetMessageService(nullptr);
    platform::SetProgressService(nullptr);
    SetDocumentDialogs(nullptr);
}

Layout* MainForm::ActiveLayout() const {
    LayoutWindow* window = ActiveLayoutWindow();
    return window ? &window->Document() : nullptr;
}

LayoutWindow* MainForm::ActiveLayoutWindow() const {
    return qobject_cast<LayoutWindow*>(mdi->activeSubWindow() ? mdi->activeSubWindow() : mdi->currentSubWindow());
}

QList<LayoutWindow*> MainForm::LayoutWindows() const {
    QList<LayoutWindow*> windows;
    for (QMdiSubWindow* w : mdi->subWindowList())
        if (auto* layoutWindow = qobject_cast<LayoutWindow*>(w)) windows << layoutWindow;
    return windows;
}

void MainForm::AddCommand(const CommandEntry& entry) {
    auto* action = new QAction(entry.caption, this);
    action->setObjectName(entry.name);
    action->setShortcuts(entry.shortcuts);
    action->setCheckable(entry.checkable);
    connect(action, &QAction::triggered, this, [this, run = entry.run] {
        run();
        UpdateCommands();
    });
    if (const QString hint = hints.value(entry.name); !hint.isEmpty()) {
        action->setToolTip(hint.section('|', 0, 0));
        action->setStatusTip(hint.section('|', 1));
    }
    commands.insert(entry.name, action);
    if (entry.enabled) enabledRules.insert(entry.name, entry.enabled);
    if (entry.checked) checkedRules.insert(entry.name, entry.checked);
    addAction(action);
}

void MainForm::BuildCommands() {
    const auto hasLayout = [this] { return ActiveLayout() != nullptr; };
    // The drawing flags are the model's: the drawing code reads them there.
    ModelSettings& drawing = zandor::Settings();
    const auto toggle = [this](bool& flag) {
        return [this, &flag] {
            flag = !flag;
            RedrawAll();
        };
    };
    const auto view = [this](const std::function<void(LayoutView&)>& act) {
        return [this, act] {
            if (LayoutWindow* w = ActiveLayoutWindow()) act(w->View());
        };
    };
    const std::vector<CommandEntry> table = {
        // File
        {"ActionFileNew", "&New", {QKeySequence("Ctrl+N")}, "&File", false, [this] { NewLayout(); }, {}, {}},
        {"ActionFileOpen",
         "&Open...",
         {QKeySequence("Ctrl+O")},
         "&File",
         false,
         [this] {
             const QString name = QFileDialog::getOpenFileName(this, "Open", QString(), kOpenFilter);
             if (!name.isEmpty()) OpenFile(name);
         },
         {},
         {}},
        {"ActionFileSave",
         "&Save",
         {QKeySequence("Ctrl+S")},
         "&File",
         false,
         [this] { SaveActive(false); },
         [this] { return ActiveLayout() && ActiveLayout()->IsModified(); },
         {}},
        {"ActionFileSaveAs", "Save &As...", {}, "&File", false, [this] { SaveActive(true); }, hasLayout, {}},
        {"ActionFileExportLayer",
         "&Export layer...",
         {QKeySequence("Ctrl+E")},
         "&File",
         false,
         [this] { ExportLayer(); },
         hasLayout,
         {}},
        {"ActionFileReadLayermap",
         "&Read layer map...",
         {},
         "&File",
         false,
         [this] {
             const QString name = QFileDialog::getOpenFileName(this, "Read layer map", QString(), kReadLayerMapFilter);
             if (name.isEmpty()) return;
             if (IsLayerPropertiesFile(name)) {
                 ReadLayerPropertiesFile(name);
                 return;
             }
             Layout* target = ActiveLayout() ? ActiveLayout() : mainLayout.get();
             platform::ShownDiagnostics shown;
             platform::DiagnosticLog log;
             platform::DiagnosticTee both(shown, log);
             if (!target->ReadLayerMap(name.toStdString(), &both)) {
                 // A file that said what was wrong with it needs no second message.
                 if (log.Entries().empty()) platform::ShowError("Unable to read file!");
                 return;
             }
             if (target != mainLayout.get()) mainLayout->CopyLayersFrom(*target);
             FillLayerPanel();
             RedrawActive();
         },
         {},
         {}},
        {"ActionFileSaveLayermap",
         "Save layer &map...",
         {},
         "&File",
         false,
         [this] {
             const QString name = QFileDialog::getSaveFileName(this, "Save layer map", QString(), kLayerMapFilter);
             if (!name.isEmpty() && ActiveLayout()) ActiveLayout()->WriteLayerMap(name.toStdString());
         },
         hasLayout,
         {}},
        {"ActionFileExit", "E&xit", {}, "&File", false, [this] { close(); }, {}, {}},
        // View
        {"ActionViewZoomin",
         "&Zoom in...",
         {QKeySequence("F2")},
         "&View",
         false,
         view([](LayoutView& v) { v.zoomRectanglePending = true; }),
         hasLayout,
         {}},
        {"ActionViewZoomout",
         "Zoom &out",
         {QKeySequence("F3"), QKeySequence("-"), QKeySequence("O"), QKeySequence("Shift+O")},
         "&View",
         false,
         view([](LayoutView& v) {
             v.Viewport().ZoomBack();
             v.Redraw();
         }),
         hasLayout,
         {}},
        {"ActionViewZoomInCentre",
         "Zoom in at the &centre",
         {QKeySequence("I"), QKeySequence("Shift+I")},
         "&View",
         false,
         view([](LayoutView& v) {
             v.Viewport().ZoomInCentre(v.width(), v.height());
             v.Redraw();
         }),
         hasLayout,
         {}},
        {"ActionViewZoomall",
         "Zoom &all",
         {QKeySequence("F4")},
         "&View",
         false,
         view([](LayoutView& v) {
             v.Viewport().ZoomAll();
             v.Redraw();
         }),
         hasLayout,
         {}},
        {"ActionViewRedraw",
         "&Redraw window",
         {QKeySequence("F12")},
         "&View",
         false,
         view([](LayoutView& v) { v.Redraw(); }),
         hasLayout,
         {}},
        {"ActionViewShowGrid",
         "&Show grid",
         {QKeySequence("Ctrl+G")},
         "&View",
         true,
         toggle(settings.showGrid),
         {},
         [this] { return settings.showGrid; }},
        {"ActionViewFill",
         "&Fill",
         {QKeySequence("Ctrl+F")},
         "&View",
         true,
         toggle(drawing.fill),
         {},
         [] { return zandor::Settings().fill; }},
        {"ActionViewShowCoordinates",
         "Show &coordinates",
         {},
         "&View",
         true,
         toggle(settings.showCoordinates),
         {},
         [this] { return settings.showCoordinates; }},
        {"ActionViewShowInteriors",
         "&Show interiors",
         {QKeySequence("Ctrl+I")},
         "&View",
         true,
         [this] {
             zandor::Settings().showInteriors = !zandor::Settings().showInteriors;
             if (!zandor::Settings().showInteriors) zandor::Settings().showBorders = true;
             RedrawAll();
         },
         {},
         [] { return zandor::Settings().showInteriors; }},
        {"ActionViewShowBorders",
         "Show &outlines",
         {QKeySequence("Ctrl+B")},
         "&View",
         true,
         toggle(drawing.showBorders),
         {},
         [] { return zandor::Settings().showBorders; }},
        {"ActionViewShowGroups",
         "&Show group outlines",
         {},
         "&View",
         true,
         toggle(drawing.showGroups),
         {},
         [] { return zandor::Settings().showGroups; }},
        {"ActionViewShowRulers",
         "Show r&ulers",
         {},
         "&View",
         true,
         [this] {
             settings.showRulers = !settings.showRulers;
             if (LayoutWindow* w = ActiveLayoutWindow()) w->ShowRulers(settings.showRulers);
         },
         {},
         [this] { return settings.showRulers; }},
        {"ActionViewLevels", "&Number of levels...", {}, "&View", false, [this] { AskLevels(); }, {}, {}},
        {"ActionViewWaferOutline",
         "&Show wafer outline",
         {},
         "&View",
         true,
         toggle(background.showWafer),
         {},
         [this] { return background.showWafer; }},
        {"ActionViewMaskDimensions",
         "Show &mask dimensions",
         {},
         "&View",
         true,
         toggle(background.showMask),
         {},
         [this] { return background.showMask; }},
        {"ActionViewBkWhite",
         "&White",
         {},
         "&View",
         true,
         [this] {
             zandor::Settings().backgroundBlack = false;
             RedrawAll();
         },
         {},
         [] { return !zandor::Settings().backgroundBlack; }},
        {"ActionViewBkBlack",
         "&Black",
         {},
         "&View",
         true,
         [this] {
             zandor::Settings().backgroundBlack = true;
             RedrawAll();
         },
         {},
         [] { return zandor::Settings().backgroundBlack; }},
        {"ActionEditDeselectAll",
         "&Deselect all",
         {QKeySequence(Qt::Key_Escape)},
         "&Edit",
         false,
         view([](LayoutView& v) { v.DeselectAll(); }),
         hasLayout,
         {}},
        // Window
        {"ActionWindowCascade", "&Cascade", {}, "&Window", false, [this] { mdi->cascadeSubWindows(); }, {}, {}},
        {"ActionWindowTileHorizontal",
         "Tile &horizontally",
         {},
         "&Window",
         false,
         [this] { ArrangeTiles(true); },
         {},
         {}},
        {"ActionWindowTileVertical", "Tile &vertically", {}, "&Window", false, [this] { ArrangeTiles(false); }, {}, {}},
        {"ActionWindowMinimizeAll",
         "&Minimize all",
         {},
         "&Window",
         false,
         [this] {
             for (QMdiSubWindow* w : mdi->subWindowList()) w->showMinimized();
         },
         {},
         {}},
        {"ActionWindowArrangeAll", "&Arrange all", {}, "&Window", false, [this] { mdi->tileSubWindows(); }, {}, {}},
        {"ActionShowModeselector",
         "M&ode selector",
         {},
         "&Window",
         true,
         [this] { modeBar->setVisible(!modeBar->isVisible()); },
         {},
         [this] { return modeBar->isVisible(); }},
        {"ActionShowLayers",
         "&Layers",
         {},
         "&Window",
         true,
         [this] { layerDock->setVisible(!layerDock->isVisible()); },
         {},
         [this] { return layerDock->isVisible(); }},
        {"ActionShowAllLayers",
         "&Show all layers",
         {},
         "&Window",
         false,
         [this] {
             mainLayout->ShowAllLayers();
             if (ActiveLayout()) ActiveLayout()->ShowAllLayers();
             FillLayerPanel();
             RedrawActive();
         },
         {},
         {}},
        {"ActionHideAllLayers",
         "&Hide all layers",
         {},
         "&Window",
         false,
         [this] {
             mainLayout->HideAllLayers();
             if (ActiveLayout()) ActiveLayout()->HideAllLayers();
             FillLayerPanel();
             RedrawActive();
         },
         {},
         {}},
        {"ActionShowIndices",
         "Show layer &indices",
         {},
         "&Window",
         true,
         [this] {
             settings.showLayerIndices = !settings.showLayerIndices;
             FillLayerPanel();
         },
         {},
         [this] { return settings.showLayerIndices; }},
        {"ActionHelpContents",
         "&Zandor Help",
         {QKeySequence(Qt::Key_F1)},
         "&Help",
         false,
         [this] { ShowHelpTopic(this, "contents"); },
         {},
         {}},
        {"ActionHelpAbout",
         "&About...",
         {},
         "&Help",
         false,
         [this] {
             QMessageBox::about(this, "About Zandor", "Zandor 3.2\nAn editor for photolithography mask layouts.");
         },
         {},
         {}},
    };
    std::vector<CommandEntry> all = EditCommandEntries();
    all.insert(all.end(), table.begin(), table.end());
    // The clipboard follows Undo and Redo; printing comes before Exit.
    for (const CommandEntry& entry : ClipboardCommandEntries()) {
        const char* before = entry.menu == "&Edit" ? "ActionEditDelete" : "ActionFileExit";
        const auto at = std::find_if(all.begin(), all.end(), [&](const CommandEntry& e) { return e.name == before; });
        all.insert(at, entry);
    }
    separatorBefore.insert("ActionEditCut");
    separatorBefore.insert("ActionFilePrint");
    const std::vector<CommandEntry> modes = ModeCommandEntries();
    all.insert(all.end(), modes.begin(), modes.end());
    std::map<QString, QMenu*> menus;
    for (const char* name : {"&File", "&Edit", "&View", "&Layout", "&Arrange", "&Mode", "&Window", "&Help"})
        menus[name] = menuBar()->addMenu(name);
    for (const CommandEntry& entry : all) {
        AddCommand(entry);
        if (entry.menu.isEmpty()) continue;
        QMenu*& menu = menus[entry.menu];
        if (!menu) menu = menuBar()->addMenu(entry.menu);
        if (separatorBefore.contains(entry.name)) menu->addSeparator();
        menu->addAction(commands[entry.name]);
        if (entry.name == "ActionFileSaveLayermap") {
            menu->addSeparator();
            recentMenu = menu->addMenu("Recent &files");
            menu->addSeparator();
        }
    }
    // The file menu ends with Exit.
    if (QMenu* file = menus["&File"]) {
        file->removeAction(commands["ActionFileExit"]);
        file->addAction(commands["ActionFileExit"]);
    }

    QToolBar* fileBar = addToolBar("File");
    fileBar->setObjectName("FileToolbar");
    for (const char* name : {"ActionFileNew", "ActionFileOpen", "ActionFileSave"}) fileBar->addAction(commands[name]);
    QToolBar* viewBar = addToolBar("View");
    viewBar->setObjectName("ViewToolbar");
    for (const char* name : {"ActionViewZoomin", "ActionViewZoomout", "ActionViewZoomall", "ActionViewRedraw"})
        viewBar->addAction(commands[name]);
    BuildModeSelector();
    FillRecentMenu();
}

void MainForm::UpdateCommands() {
    for (auto it = enabledRules.begin(); it != enabledRules.end(); ++it) commands[it.key()]->setEnabled(it.value()());
    for (auto it = checkedRules.begin(); it != checkedRules.end(); ++it) commands[it.key()]->setChecked(it.value()());
    // A hidden action refuses to be enabled, so the rule decides both.
    for (const QString& name : hiddenWhenDisabled) {
        const bool on = enabledRules.contains(name) && enabledRules[name]();
        commands[name]->setVisible(on);
        commands[name]->setEnabled(on);
    }
}

void MainForm::BuildLayerPanel() {
    layerDock = new QDockWidget("Layers", this);
    layerDock->setObjectName("LayerPanel");
    layerList = new QTreeWidget(layerDock);
    layerList->setObjectName("layerList");
    layerList->setHeaderHidden(true);
    layerList->setRootIsDecorated(false);
    layerList->setIconSize(QSize(kLayerFlagsWidth + kLayerSwatchWidth, kLayerSwatchHeight));
    layerList->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    layerDock->setWidget(layerList);
    addDockWidget(Qt::LeftDockWidgetArea, layerDock);
    layerList->viewport()->installEventFilter(this);
    connect(layerList, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        LayerClicked(item, layerClickX - layerList->visualItemRect(item).left());
    });
    connect(layerList, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) { LayerRenamed(item); });
    // A double click on the flags only toggles them twice.
    connect(layerList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        const int x = layerClickX - layerList->visualItemRect(item).left();
        if (x < 15 || x > 34) EditLayerProperties(item->data(0, Qt::UserRole).toInt());
    });
}

void MainForm::FillLayerPanel() {
    fillingLayers = true;
    layerList->clear();
    Layout& table = ActiveLayout() ? *ActiveLayout() : *mainLayout;
    for (int i = 0; i < kLayerCount; ++i) {
        const LayerDescription* layer = table.Layer(i);
        if (!layer) continue;
        auto* item = new QTreeWidgetItem(layerList, {LayerCaption(*layer, settings.showLayerIndices)});
        item->setData(0, Qt::UserRole, i);
        item->setIcon(0, LayerIcon(*layer));
        if (!settings.showLayerIndices) item->setFlags(item->flags() | Qt::ItemIsEditable);
        if (layer->current) {
            layerList->setCurrentItem(item);
            table.activeLayer = i;
        }
    }
    fillingLayers = false;
}

void MainForm::ReadLayerPropertiesFile(const QString& name) {
    std::vector<LayerProperties> entries;
    if (!zandor::ReadLayerPropertiesFile(name, entries)) return;
    if (Layout* layout = ActiveLayout()) {
        const AppliedLayerProperties applied = ApplyLayerProperties(*layout, entries);
        if (applied.matched == 0) {
            platform::ShowWarning("None of the layout's layers appears in the layer properties file.");
            return;
        }
        // The layer table is saved with the layout.
        if (applied.changed > 0) layout->modified = true;
        mainLayout->CopyLayersFrom(*layout);
    } else if (const int dropped = BuildLayerTable(*mainLayout, entries); dropped > 0) {
        platform::ShowWarning(QString("The layer properties file lists more than %1 layers; %2 of them have been left "
                                      "out.")
                                  .arg(kLayerCount)
                                  .arg(dropped)
                                  .toStdString());
    }
    FillLayerPanel();
    RedrawActive();
}

// A click on a row: the flag zones toggle visibility (15..24) and locking
// (25..34); anywhere else the layer becomes current.  Both the main layout
// and the active one change.
void MainForm::LayerClicked(QTreeWidgetItem* item, int x) {
    const int index = item->data(0, Qt::UserRole).toInt();
    for (Layout* target : {mainLayout.get(), ActiveLayout()}) {
        if (!target || !target->Layer(index)) continue;
        LayerDescription* layer = target->Layer(index);
        if (x >= 15 && x <= 24) {
            layer->visible = !layer->visible;
        } else if (x >= 25 && x <= 34) {
            layer->locked = !layer->locked;
        } else {
            for (int i = 0; i < kLayerCount; ++i)
                if (LayerDescription* other = target->Layer(i)) other->current = 0;
            layer->current = 1;
            target->activeLayer = index;
        }
    }
    if (x >= 15 && x <= 24) RedrawActive();
    RefreshLayerStates();
}

// Only the marks change, so that the rows (and a double click under way on
// one) stay.
void MainForm::RefreshLayerStates() {
    const Layout& shown = ActiveLayout() ? *ActiveLayout() : *mainLayout;
    const bool wasFilling = std::exchange(fillingLayers, true);
    for (int i = 0; i < layerList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = layerList->topLevelItem(i);
        const LayerDescription* layer = shown.Layer(item->data(0, Qt::UserRole).toInt());
        if (!layer) continue;
        item->setIcon(0, LayerIcon(*layer));
        if (layer->current) layerList->setCurrentItem(item);
    }
    fillingLayers = wasFilling;
}

void MainForm::LayerRenamed(QTreeWidgetItem* item) {
    if (fillingLayers) return;
    const int index = item->data(0, Qt::UserRole).toInt();
    const std::string name = item->text(0).toStdString();
    Layout& table = ActiveLayout() ? *ActiveLayout() : *mainLayout;
    LayerDescription* layer = table.Layer(index);
    if (!layer || layer->name == name) return;
    const int existing = table.FindLayerByName(name);
    if (existing >= 0 && existing != index) {
        platform::ShowError("Layer name already exists!");
        QTimer::singleShot(0, this, [this] { FillLayerPanel(); });
        return;
    }
    layer->name = name;
    if (LayerDescription* main = mainLayout->Layer(index)) main->name = name;
    table.modified = true;
}

void MainForm::ActivateWindow(LayoutWindow* window) {
    if (!window) return;
    window->ShowRulers(settings.showRulers);
    // What the mouse started in another window ends when it loses the focus.
    for (LayoutWindow* other : LayoutWindows())
        if (other != window) other->View().EndPendingOperation();
    window->View().SetMode(mode);
    mainLayout->CopyLayersFrom(window->Document());
    FillLayerPanel();
    UpdateCommands();
}

LayoutWindow* MainForm::AddWindow(std::unique_ptr<Layout> layout) {
    auto* window = new LayoutWindow(std::move(layout), grid, background, settings);
    window->pointerMoved = [this](Point p) { ShowPointer(p); };
    window->View().gridStatusChanged = [this](const QString& text) { SetStatus(1, text); };
    window->View().selectionChanged = [this](const QString& text) { SetStatus(0, text); };
    window->View().runEdit = [this](const std::function<bool(SymbolDescription&)>& edit) { RunEdit(edit, 0); };
    // A double click opens a selected symbol call and shows the properties of
    // anything else.
    window->View().doubleClicked = [this] {
        UpdateCommands();
        for (const char* name : {"ActionArrangeOpen", "ActionEditProperties"}) {
            if (QAction* action = Command(name); action && action->isEnabled()) {
                action->trigger();
                return;
            }
        }
    };
    window->View().menuRequested = [this](ViewMenu kind, QPoint global) { ShowViewMenu(kind, global); };
    window->View().textRequested = [this](Point at) { InsertTextAt(at); };
    window->View().scriptRequested = [](Point) { platform::ShowError("Unable to load the script dll"); };
    window->View().SetMode(mode);
    mdi->addSubWindow(window);
    // A window opened alone fills the area; later ones cascade over it.
    if (mdi->subWindowList().size() == 1)
        window->showMaximized();
    else
        window->show();
    window->ShowRulers(settings.showRulers);
    mdi->setActiveSubWindow(window);
    return window;
}

LayoutWindow* MainForm::NewLayout() {
    auto layout = std::make_unique<Layout>(LayoutRole::Window);
    layout->CopyLayersFrom(*mainLayout);
    return AddWindow(std::move(layout));
}

LayoutWindow* MainForm::OpenFile(QString name) {
    if (opening) {
        platform::ShowError("Cannot open multiple files simultaneously");
        return nullptr;
    }
    // Kept absolute, and compared by the file it leads to: "./x.cif",
    // "dir/../x.cif" and a link to it are the file already open.
    name = AbsoluteFileName(name, QDir::currentPath());
    if (!QFileInfo(name).isFile()) {
        platform::ShowError(("The file:\n" + name + "\ndoes not exist!").toStdString());
        return nullptr;
    }
    for (LayoutWindow* w : LayoutWindows()) {
        if (SameFile(QString::fromStdString(w->Document().fileName), name)) {
            platform::ShowError("File is already open");
            return nullptr;
        }
    }
    opening = true;
    // The layout belongs to its window from the start, so that reading it
    // may ask which symbol is the main one.
    auto layout = std::make_unique<Layout>(LayoutRole::Window);
    layout->CopyLayersFrom(*mainLayout);
    const bool loaded = layout->Load(name.toStdString());
    opening = false;
    if (!loaded) return nullptr;
    // A stream names its layers by number only: the template's names for its
    // pairs (from a process design kit's layer properties, say) apply, unless
    // the file brings its own layer map.
    if (layout->fileType == FileGds &&
        !QFileInfo(QString::fromStdString(gds::LayerMapPath(name.toStdString()))).isFile()) {
        AdoptNamedLayers(*layout, *mainLayout);
    }
    LayoutWindow* window = AddWindow(std::move(layout));
    window->Document().SelectCurrentLayer(0);
    window->UpdateCaption();
    FillLayerPanel();
    AddRecentFile(name);
    return window;
}

void MainForm::HandleOpenRequest(const QString& commandText) {
    static const QRegularExpression open(R"re(\[open\("([^"]*)"\)\])re");
    auto matches = open.globalMatch(commandText);
    while (matches.hasNext()) OpenFile(matches.next().captured(1));
    raise();
    activateWindow();
}

void MainForm::SaveActive(bool saveAs) {
    LayoutWindow* window = ActiveLayoutWindow();
    if (!window) return;
    Layout& layout = window->Document();
    if (!saveAs) {
        layout.Save("", layout.fileType);
    } else {
        std::string name = layout.fileName;
        FileType type = layout.fileType == FileUnknown ? FileCif : layout.fileType;
        SaveOptions options = zandor::Settings().saveOptions;
        if (!Dialogs().SaveAs(name, type, options)) return;
        zandor::Settings().saveOptions = options;
        layout.Save(name, type);
        if (layout.lastSaveWroteFile) AddRecentFile(QString::fromStdString(name));
    }
    window->UpdateCaption();
}

void MainForm::AskLevels() {
    bool ok = false;
    const QString text = QInputDialog::getText(this, "Number of levels...",
                                               "Number of hierarchy levels shown on the screen:", QLineEdit::Normal,
                                               QString::number(zandor::Settings().levels), &ok);
    if (!ok) return;
    std::int32_t levels = 0;
    if (!ParseInteger(text.trimmed().toStdString(), levels)) return;
    if (levels < 0 || levels == zandor::Settings().levels) return;
    zandor::Settings().levels = std::clamp(levels, 1, 30);
    RedrawAll();
}

void MainForm::ArrangeTiles(bool horizontal) {
    const QList<QMdiSubWindow*> windows = mdi->subWindowList();
    if (windows.isEmpty()) return;
    const QSize area = mdi->viewport()->size();
    const int n = static_cast<int>(windows.size());
    for (int i = 0; i < n; ++i) {
        windows[i]->showNormal();
        if (horizontal)
            windows[i]->setGeometry(0, i * area.height() / n, area.width(), area.height() / n);
        else
            windows[i]->setGeometry(i * area.width() / n, 0, area.width() / n, area.height());
    }
}

void MainForm::RedrawActive() {
    if (LayoutWindow* w = ActiveLayoutWindow()) w->View().Redraw();
}

void MainForm::RedrawAll() {
    for (LayoutWindow* w : LayoutWindows()) w->View().Redraw();
}

void MainForm::AddRecentFile(const QString& name) {
    const QString full = QFileInfo(name).absoluteFilePath();
    settings.recentFiles.removeAll(full);
    settings.recentFiles.prepend(full);
    while (settings.recentFiles.size() > kRecentFiles) settings.recentFiles.removeLast();
    FillRecentMenu();
}

void MainForm::FillRecentMenu() {
    if (!recentMenu) return;
    recentMenu->clear();
    for (int i = 0; i < settings.recentFiles.size(); ++i) {
        const QString name = settings.recentFiles[i];
        recentMenu->addAction(QString("&%1 %2").arg(i + 1).arg(name), this, [this, name] { OpenFile(name); });
    }
    recentMenu->setEnabled(!settings.recentFiles.isEmpty());
}

void MainForm::SetStatus(int panel, const QString& text) {
    if (statusPanels[panel]->text() != text) statusPanels[panel]->setText(text);
}

QString MainForm::StatusText(int panel) const { return statusPanels[panel]->text(); }

void MainForm::ShowPointer(Point p) {
    SetStatus(2, "x: " + QString::fromStdString(FormatMicrons(p.X)));
    SetStatus(3, "y: " + QString::fromStdString(FormatMicrons(p.Y)));
}

void MainForm::SaveState() {
    WindowPlacement placement;
    placement.maximised = isMaximized();
    placement.geometry = normalGeometry().isValid() ? normalGeometry() : geometry();
    placement.Write();
    if (ini) settings.Write(*ini, zandor::Settings(), grid, background);
    mainLayout->WriteLayerMap((ConfigFolder() + "/layers.map").toStdString());
}

void MainForm::closeEvent(QCloseEvent* event) {
    mdi->closeAllSubWindows();
    if (!mdi->subWindowList().isEmpty()) {
        event->ignore();
        return;
    }
    AskLeaveClipboard();
    SaveState();
    QMainWindow::closeEvent(event);
}

bool MainForm::eventFilter(QObject* watched, QEvent* event) {
    // Where on a layer row the click fell decides what it does.
    if (watched == layerList->viewport() &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick))
        layerClickX = static_cast<QMouseEvent*>(event)->position().toPoint().x();
    return QMainWindow::eventFilter(watched, event);
}

void MainForm::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainForm::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) OpenFile(url.toLocalFile());
}

}  // namespace zandor
