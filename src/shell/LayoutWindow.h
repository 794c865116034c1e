// One layout in the main window: the view with its rulers and scroll bars
// and, behind a splitter, the symbol panel whose tree (or list) opens symbols.
#pragma once

#include <QMdiSubWindow>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>

#include "model/Layout.h"

class QScrollBar;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace zandor {

class Background;
class Grid;
class LayoutView;
class RulerPanel;
class SymbolDescription;
struct ShellSettings;

class LayoutWindow : public QMdiSubWindow {
    Q_OBJECT
public:
    // A window for a layout already made (empty or loaded).
    LayoutWindow(std::unique_ptr<Layout> layout, Grid& grid, Background& background, ShellSettings& settings,
                 QWidget* parent = nullptr);

    LayoutView& View() { return *view; }
    Layout& Document();
    void UpdateCaption();
    // Rebuilds the symbol panel in tree (true) or list mode around the shown
    // symbol: its node at the place remembered for that mode when it is still
    // there, else its first node.
    void BuildSymbolTree(bool treeMode);
    bool TreeMode() const { return treeMode; }
    // After the calls of one symbol changed: in tree mode its node (the
    // selected one, else the one at the remembered place) gets its children
    // anew and is expanded; the rest of the tree stays as it is.  In list
    // mode a symbol that is new (newSymbol) gets its node.
    void RefreshSymbolNode(SymbolDescription& symbol, const SymbolDescription* newSymbol = nullptr);
    QTreeWidget& SymbolTree() { return *tree; }
    RulerPanel& HorizontalRuler() { return *hRuler; }
    RulerPanel& VerticalRuler() { return *vRuler; }
    // Moves the view as the symbol panel's arrow keys do (a tenth of its size).
    bool SymbolPanelKey(int key) { return TreeKey(key); }
    void ShowRulers(bool shown);
    // Opens a symbol as the tree does.
    bool OpenSymbol(const QString& name);
    // Selects the node of a symbol called by the shown one: below the
    // selected node in tree mode, in the list otherwise; the symbol is then
    // shown.  False when there is no such node.
    bool OpenCalledSymbol(const QString& name);
    // The selected node has a parent node (tree mode only).
    bool CanCloseSymbol() const;
    // Selects the parent node, which shows its symbol.
    bool CloseSymbol();

    // Status bar coordinates, told whenever the pointer moves over the view
    // or a ruler (snapped, nanometres).
    std::function<void(Point)> pointerMoved;

    // The symbol panel's commands, also used by its pop-up menu.
    bool RenameSymbol(const QString& oldName, const QString& newName);
    bool DeleteSymbolDefinition(const QString& name);
    void ShowSymbolProperties(const QString& name);
    bool IsCalledByOthers(const SymbolDescription& symbol);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FollowView();
    void ScrollBy(bool horizontalBar, std::int64_t delta);
    void CentreOn(bool horizontalBar, std::int64_t centre);
    void LoadGuideLines();
    void ConnectRuler(RulerPanel& ruler, bool horizontal);
    // Adds a node per symbol the symbol calls, each with its own children,
    // below parent (which may not be in the tree yet, so that a whole branch
    // goes in at once).  firstNamed gets the first node made that shows that
    // name.
    void AddChildNodes(QTreeWidgetItem* parent, const SymbolDescription& symbol, const std::string* name,
                       QTreeWidgetItem*& firstNamed);
    // Where the current node lies: the row of each node from the top.
    QList<int> NodePath(QTreeWidgetItem* item) const;
    QTreeWidgetItem* NodeAt(const QList<int>& path) const;
    void TreeMenu(const QPoint& at);
    void ShowRenamed(const QString& oldName, const QString& newName);
    bool TreeKey(int key);

    LayoutView* view = nullptr;
    RulerPanel* hRuler = nullptr;
    RulerPanel* vRuler = nullptr;
    QScrollBar* hBar = nullptr;
    QScrollBar* vBar = nullptr;
    QTreeWidget* tree = nullptr;
    QWidget* symbolPanel = nullptr;
    QWidget* corner = nullptr;
    Grid& grid;
    bool treeMode = true;
    bool updatingTree = false;
    int guideDrag = 0;  // 1 on the horizontal ruler, 2 on the vertical one
    std::int32_t guidePosition = 0;
    Point lastPointer;
    QString editedName;  // the node's text before in-place editing
    // The selected node of each mode (tree, list), kept across rebuilds.
    QList<int> rememberedNode[2];
    // The symbols on the branch being built: a damaged file may call a
    // symbol from inside itself, and such a branch ends there.
    std::unordered_set<const SymbolDescription*> onBranch;
};

}  // namespace zandor
