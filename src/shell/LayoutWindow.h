// One layout in the main window: the view with its rulers and scroll bars
// and, behind a splitter, the symbol panel whose tree (or list) opens symbols.
#pragma once

#include <QMdiSubWindow>
#include <memory>

#include <functional>

#include "model/Layout.h"

class QScrollBar;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace zandor {

class TBackground;
class TGrid;
class TLayoutView;
class TRulerPanel;
struct ShellSettings;

class TLayoutWindow : public QMdiSubWindow {
    Q_OBJECT
public:
    // A window for a layout already made (empty or loaded).
    TLayoutWindow(std::unique_ptr<Layout> layout, TGrid& grid, TBackground& background, ShellSettings& settings,
                  QWidget* parent = nullptr);

    TLayoutView& View() { return *view; }
    Layout& Document();
    void UpdateCaption();
    // Rebuilds the symbol panel in tree (true) or list mode.
    void BuildSymbolTree(bool treeMode);
    bool TreeMode() const { return treeMode; }
    QTreeWidget& SymbolTree() { return *tree; }
    void ShowRulers(bool shown);
    // Opens a symbol as the tree does.
    bool OpenSymbol(const QString& name);

    // Status bar coordinates, told whenever the pointer moves over the view
    // or a ruler (snapped, nanometres).
    std::function<void(Point)> pointerMoved;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FollowView();
    void ScrollBy(bool horizontalBar, std::int64_t delta);
    void CentreOn(bool horizontalBar, std::int64_t centre);
    void LoadGuideLines();
    void ConnectRuler(TRulerPanel& ruler, bool horizontal);
    void AddTreeChildren(QTreeWidgetItem* item, const class SymbolDescription& symbol, int depth);

    TLayoutView* view = nullptr;
    TRulerPanel* hRuler = nullptr;
    TRulerPanel* vRuler = nullptr;
    QScrollBar* hBar = nullptr;
    QScrollBar* vBar = nullptr;
    QTreeWidget* tree = nullptr;
    QWidget* symbolPanel = nullptr;
    QWidget* corner = nullptr;
    TGrid& grid;
    bool treeMode = true;
    bool updatingTree = false;
    int guideDrag = 0;  // 1 on the horizontal ruler, 2 on the vertical one
    std::int32_t guidePosition = 0;
    Point lastPointer;
};

}  // namespace zandor
