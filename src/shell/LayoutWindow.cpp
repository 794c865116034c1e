#include "shell/LayoutWindow.h"

#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScrollBar>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "display/Grid.h"
#include "display/LayoutViewport.h"
#include "display/Ruler.h"
#include "model/Geometry.h"
#include "model/RecordViews.h"
#include "model/SymbolDescription.h"
#include "platform/Messages.h"
#include "shell/LayoutView.h"
#include "shell/RulerPanel.h"
#include "shell/ShellSettings.h"

namespace zandor {

namespace {

constexpr std::int64_t kUnit = 4000000;  // nanometres per scroll bar unit
constexpr std::int64_t kLimit = 2000000000;

}  // namespace

LayoutWindow::LayoutWindow(std::unique_ptr<Layout> document, Grid& sharedGrid, Background& background,
                           ShellSettings& settings, QWidget* parent)
    : QMdiSubWindow(parent), grid(sharedGrid) {
    setAttribute(Qt::WA_DeleteOnClose);
    auto* splitter = new QSplitter(Qt::Horizontal, this);

    // The symbol panel.
    symbolPanel = new QWidget(splitter);
    auto* panelLayout = new QVBoxLayout(symbolPanel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);
    auto* header = new QWidget(symbolPanel);
    auto* headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(2, 1, 2, 1);
    headerLayout->addWidget(new QLabel(" Symbols", header), 1);
    auto* modeButton = new QToolButton(header);
    modeButton->setText("v");
    modeButton->setToolTip("Tree or list");
    modeButton->setPopupMode(QToolButton::InstantPopup);
    auto* modeMenu = new QMenu(modeButton);
    modeMenu->addAction("Tree", [this] {
        BuildSymbolTree(true);
        tree->setFocus();
    });
    modeMenu->addAction("List", [this] {
        BuildSymbolTree(false);
        tree->setFocus();
    });
    modeButton->setMenu(modeMenu);
    headerLayout->addWidget(modeButton);
    auto* closeButton = new QToolButton(header);
    closeButton->setText("x");
    closeButton->setToolTip("Close the symbol panel");
    headerLayout->addWidget(closeButton);
    panelLayout->addWidget(header);
    tree = new QTreeWidget(symbolPanel);
    tree->setHeaderHidden(true);
    tree->header()->setSortIndicator(0, Qt::AscendingOrder);  // the list is sorted by name
    tree->setObjectName("symbolTree");
    panelLayout->addWidget(tree, 1);
    connect(closeButton, &QToolButton::clicked, this, [splitter] { splitter->setSizes({0, 1}); });

    // The view with its rulers and scroll bars.
    auto* viewArea = new QWidget(splitter);
    auto* grid2 = new QGridLayout(viewArea);
    grid2->setContentsMargins(0, 0, 0, 0);
    grid2->setSpacing(0);
    view = new LayoutView(std::move(document), sharedGrid, background, settings, viewArea);
    hRuler = new THRulerPanel(viewArea);
    vRuler = new TVRulerPanel(viewArea);
    corner = new QWidget(viewArea);
    corner->setFixedSize(vRuler->width(), hRuler->height());
    hBar = new QScrollBar(Qt::Horizontal, viewArea);
    vBar = new QScrollBar(Qt::Vertical, viewArea);
    for (QScrollBar* bar : {hBar, vBar}) {
        bar->setRange(0, 1000);
        bar->setPageStep(10);
        bar->setValue(500);
    }
    grid2->addWidget(corner, 0, 0);
    grid2->addWidget(hRuler, 0, 1);
    grid2->addWidget(vRuler, 1, 0);
    grid2->addWidget(view, 1, 1);
    grid2->addWidget(vBar, 1, 2);
    grid2->addWidget(hBar, 2, 1);
    splitter->addWidget(symbolPanel);
    splitter->addWidget(viewArea);
    splitter->setStretchFactor(1, 1);
    splitter->setCollapsible(1, false);
    splitter->setSizes({170, 630});
    // The panel keeps its width once the window has its size.
    QTimer::singleShot(0, splitter, [splitter] { splitter->setSizes({170, std::max(200, splitter->width() - 170)}); });
    setWidget(splitter);
    resize(800, 560);

    view->viewChanged = [this] { FollowView(); };
    view->pointerMoved = [this](Point p) {
        lastPointer = p;
        hRuler->SetCurrentPos(p.X);
        vRuler->SetCurrentPos(p.Y);
        if (pointerMoved) pointerMoved(p);
    };
    ConnectRuler(*hRuler, true);
    ConnectRuler(*vRuler, false);

    for (QScrollBar* bar : {hBar, vBar}) {
        const bool horizontalBar = bar == hBar;
        connect(bar, &QScrollBar::actionTriggered, this, [this, bar, horizontalBar](int action) {
            Layout& l = Document();
            const std::int64_t size =
                horizontalBar ? std::int64_t{l.view.xmax} - l.view.xmin : std::int64_t{l.view.ymax} - l.view.ymin;
            const std::int64_t line = size / 10;
            // Up on the vertical bar shows what lies above.
            const int sign = horizontalBar ? 1 : -1;
            switch (action) {
                case QAbstractSlider::SliderSingleStepAdd: ScrollBy(horizontalBar, sign * line); break;
                case QAbstractSlider::SliderSingleStepSub: ScrollBy(horizontalBar, -sign * line); break;
                case QAbstractSlider::SliderPageStepAdd: ScrollBy(horizontalBar, sign * (size - line)); break;
                case QAbstractSlider::SliderPageStepSub: ScrollBy(horizontalBar, -sign * (size - line)); break;
                default: return;
            }
            bar->blockSignals(true);
            QTimer::singleShot(0, this, [this] { FollowView(); });
            bar->blockSignals(false);
        });
        connect(bar, &QScrollBar::sliderReleased, this, [this, bar, horizontalBar] {
            const std::int64_t p = bar->sliderPosition();
            CentreOn(horizontalBar, horizontalBar ? kUnit * p - kLimit : kLimit - kUnit * p);
        });
    }

    connect(tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!item || updatingTree) return;
        rememberedNode[treeMode ? 0 : 1] = NodePath(item);
        OpenSymbol(item->text(0));
    });
    tree->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& at) { TreeMenu(at); });
    connect(tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) { editedName = item->text(0); });
    connect(tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item) editedName = item->text(0);
    });
    connect(tree, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) {
        if (updatingTree || editedName.isEmpty() || item->text(0) == editedName) return;
        const QString oldName = editedName, newName = item->text(0);
        if (!RenameSymbol(oldName, newName)) {
            updatingTree = true;
            item->setText(0, oldName);
            updatingTree = false;
        }
    });
    tree->installEventFilter(this);

    UpdateCaption();
    BuildSymbolTree(true);
    LoadGuideLines();
}

Layout& LayoutWindow::Document() { return view->Document(); }

void LayoutWindow::UpdateCaption() {
    const std::string& name = Document().fileName;
    setWindowTitle(name.empty() ? QString("<no title>") : QString::fromStdString(name));
}

namespace {

// A node shows a symbol's name, which may be edited in place.
QTreeWidgetItem* NewSymbolNode(QTreeWidgetItem* parent, const std::string& name) {
    auto* item = new QTreeWidgetItem(parent, {QString::fromStdString(name)});
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    return item;
}

}  // namespace

void LayoutWindow::AddChildNodes(QTreeWidgetItem* parent, const SymbolDescription& symbol, const std::string* name,
                                 QTreeWidgetItem*& firstNamed) {
    // Depth first without recursion: a hierarchy may be deeper than the stack.
    struct Step {
        QTreeWidgetItem* item;
        const SymbolDescription* symbol;
        std::size_t next;
    };
    const Layout& l = Document();
    std::vector<Step> steps{{parent, &symbol, 0}};
    onBranch.insert(&symbol);
    while (!steps.empty()) {
        Step& step = steps.back();
        if (step.next == step.symbol->Children().size()) {
            onBranch.erase(step.symbol);
            steps.pop_back();
            continue;
        }
        const SymbolDescription* child = l.FindSymbol(step.symbol->Children()[step.next++]);
        if (!child || onBranch.count(child)) continue;
        QTreeWidgetItem* item = NewSymbolNode(step.item, child->Name());
        if (!firstNamed && name && child->Name() == *name) firstNamed = item;
        onBranch.insert(child);
        steps.push_back({item, child, 0});
    }
}

QList<int> LayoutWindow::NodePath(QTreeWidgetItem* item) const {
    QList<int> path;
    for (; item; item = item->parent())
        path.prepend(item->parent() ? item->parent()->indexOfChild(item) : tree->indexOfTopLevelItem(item));
    return path;
}

QTreeWidgetItem* LayoutWindow::NodeAt(const QList<int>& path) const {
    QTreeWidgetItem* item = nullptr;
    for (const int row : path) {
        item = item ? item->child(row) : tree->topLevelItem(row);
        if (!item) return nullptr;
    }
    return item;
}

void LayoutWindow::BuildSymbolTree(bool mode) {
    treeMode = mode;
    updatingTree = true;
    tree->setUpdatesEnabled(false);
    tree->setSortingEnabled(false);
    tree->clear();
    tree->setRootIsDecorated(treeMode);
    const Layout& l = Document();
    const SymbolDescription* shown = l.ShownSymbolDescription();
    const std::string* name = shown ? &shown->Name() : nullptr;
    QTreeWidgetItem* firstNamed = nullptr;
    if (treeMode) {
        // The branch is made before it joins the tree, which then takes it in one step.
        if (const SymbolDescription* main = l.MainSymbol()) {
            QTreeWidgetItem* root = NewSymbolNode(nullptr, main->Name());
            if (name && main->Name() == *name) firstNamed = root;
            onBranch.clear();
            AddChildNodes(root, *main, name, firstNamed);
            tree->addTopLevelItem(root);
            tree->expandAll();
        }
    } else {
        QList<QTreeWidgetItem*> items;
        items.reserve(static_cast<qsizetype>(l.Symbols().size()));
        for (const auto& s : l.Symbols()) items.append(NewSymbolNode(nullptr, s->Name()));
        tree->addTopLevelItems(items);
        tree->setSortingEnabled(true);
        if (name) {
            const auto found = tree->findItems(QString::fromStdString(*name), Qt::MatchExactly);
            if (!found.isEmpty()) firstNamed = found.first();
        }
    }
    QTreeWidgetItem* current = nullptr;
    if (name) {
        QTreeWidgetItem* remembered = NodeAt(rememberedNode[treeMode ? 0 : 1]);
        current = remembered && remembered->text(0).toStdString() == *name ? remembered : firstNamed;
    }
    if (!current) current = tree->topLevelItem(0);
    if (current) {
        tree->setCurrentItem(current);
        rememberedNode[treeMode ? 0 : 1] = NodePath(current);
    }
    tree->setUpdatesEnabled(true);
    updatingTree = false;
}

void LayoutWindow::RefreshSymbolNode(SymbolDescription& symbol, const SymbolDescription* newSymbol) {
    const QString name = QString::fromStdString(symbol.Name());
    updatingTree = true;
    if (treeMode) {
        QTreeWidgetItem* node = tree->currentItem();
        if (!node || node->text(0) != name) node = NodeAt(rememberedNode[0]);
        if (node && node->text(0) == name) {
            symbol.RebuildChildren();
            qDeleteAll(node->takeChildren());
            // The new children are made on a detached node and handed over at once.
            QTreeWidgetItem holder;
            QTreeWidgetItem* unused = nullptr;
            onBranch.clear();
            for (QTreeWidgetItem* above = node->parent(); above; above = above->parent())
                if (const SymbolDescription* s = Document().FindSymbolByName(above->text(0).toStdString()))
                    onBranch.insert(s);
            AddChildNodes(&holder, symbol, nullptr, unused);
            onBranch.clear();
            node->addChildren(holder.takeChildren());
            node->setExpanded(true);
        }
    } else if (newSymbol) {
        const QString newName = QString::fromStdString(newSymbol->Name());
        if (tree->findItems(newName, Qt::MatchExactly).isEmpty()) {
            tree->setSortingEnabled(false);
            tree->addTopLevelItem(NewSymbolNode(nullptr, newSymbol->Name()));
            tree->setSortingEnabled(true);
        }
    }
    updatingTree = false;
}

bool LayoutWindow::OpenSymbol(const QString& name) {
    Layout& l = Document();
    (void)l;
    const bool changed = view->Viewport().ShowSymbol(name.toStdString());
    LoadGuideLines();
    if (changed) view->Redraw();
    return changed;
}

bool LayoutWindow::OpenCalledSymbol(const QString& name) {
    QTreeWidgetItem* node = tree->currentItem();
    QTreeWidgetItem* target = nullptr;
    if (treeMode && node) {
        for (int i = 0; i < node->childCount() && !target; ++i)
            if (node->child(i)->text(0) == name) target = node->child(i);
    } else if (!treeMode) {
        const auto found = tree->findItems(name, Qt::MatchExactly);
        if (!found.isEmpty()) target = found.first();
    }
    if (!target) return false;
    tree->setCurrentItem(target);
    return true;
}

bool LayoutWindow::CanCloseSymbol() const {
    const QTreeWidgetItem* node = tree->currentItem();
    return node && node->parent();
}

bool LayoutWindow::CloseSymbol() {
    if (!CanCloseSymbol()) return false;
    tree->setCurrentItem(tree->currentItem()->parent());
    return true;
}

void LayoutWindow::LoadGuideLines() {
    const SymbolDescription* shown = Document().ShownSymbolDescription();
    hRuler->SetGuideLines(shown ? shown->vGuides : std::vector<std::int32_t>{});
    vRuler->SetGuideLines(shown ? shown->hGuides : std::vector<std::int32_t>{});
}

void LayoutWindow::ConnectRuler(RulerPanel& ruler, bool horizontal) {
    const auto guides = [this, horizontal]() -> std::vector<std::int32_t>* {
        SymbolDescription* shown = Document().ShownSymbolDescription();
        if (!shown) return nullptr;
        return horizontal ? &shown->vGuides : &shown->hGuides;
    };
    // Guidelines are saved with the symbol, so changing them modifies the layout.
    const auto apply = [this, guides](const GuideLines& lines) {
        std::vector<std::int32_t>* list = guides();
        if (!list || *list == lines.Positions()) return;
        *list = lines.Positions();
        Document().modified = true;
        LoadGuideLines();
        view->RefreshOverlays();
    };
    const auto current = [guides] {
        GuideLines lines;
        if (const std::vector<std::int32_t>* list = guides())
            for (std::int32_t p : *list) lines.Add(p, false);
        return lines;
    };
    ruler.pressed = [=, this](std::int32_t value) {
        const std::int32_t snapped = grid.SnapValue(value);
        GuideLines lines = current();
        lines.Add(snapped, false);
        guideDrag = horizontal ? 1 : 2;
        guidePosition = snapped;
        apply(lines);
    };
    ruler.moved = [=, this, &ruler](std::int32_t value) {
        const std::int32_t snapped = grid.SnapValue(value);
        // The status bar shows both coordinates; the one across the ruler stays.
        const Point at = horizontal ? Point{snapped, lastPointer.Y} : Point{lastPointer.X, snapped};
        lastPointer = at;
        hRuler->SetCurrentPos(at.X);
        vRuler->SetCurrentPos(at.Y);
        if (pointerMoved) pointerMoved(at);
        if (guideDrag == (horizontal ? 1 : 2) && snapped != guidePosition) {
            GuideLines lines = current();
            lines.Move(guidePosition, snapped);
            guidePosition = snapped;
            apply(lines);
        }
        (void)ruler;
    };
    ruler.released = [=, this, &ruler](std::int32_t) {
        if (guideDrag != (horizontal ? 1 : 2)) return;
        guideDrag = 0;
        GuideLines lines = current();
        if (guidePosition < ruler.MinVal() || guidePosition > ruler.MaxVal()) lines.Remove(guidePosition);
        lines.RemoveDuplicates();
        apply(lines);
    };
    ruler.left = [this] { guideDrag = 0; };
    ruler.removeAll = [=] { apply(GuideLines()); };
}

void LayoutWindow::FollowView() {
    const Layout& l = Document();
    hRuler->SetMinMax(l.view.xmin, l.view.xmax);
    vRuler->SetMinMax(l.view.ymin, l.view.ymax);
    const std::int64_t cx = l.view.xmin / 2 + l.view.xmax / 2, cy = l.view.ymin / 2 + l.view.ymax / 2;
    hBar->blockSignals(true);
    vBar->blockSignals(true);
    hBar->setValue(static_cast<int>(cx / kUnit + 500));
    vBar->setValue(static_cast<int>(500 - cy / kUnit));
    hBar->blockSignals(false);
    vBar->blockSignals(false);
}

void LayoutWindow::ScrollBy(bool horizontalBar, std::int64_t delta) {
    Layout& l = Document();
    std::int64_t x1 = l.view.xmin, x2 = l.view.xmax, y1 = l.view.ymin, y2 = l.view.ymax;
    std::int64_t& low = horizontalBar ? x1 : y1;
    std::int64_t& high = horizontalBar ? x2 : y2;
    // Stops at the world's limits.
    if (high + delta > kLimit) delta = kLimit - high;
    if (low + delta < -kLimit) delta = -kLimit - low;
    low += delta;
    high += delta;
    view->Viewport().SetViewRect(x1, y1, x2, y2);
    view->Redraw();
}

void LayoutWindow::CentreOn(bool horizontalBar, std::int64_t centre) {
    Layout& l = Document();
    const std::int64_t now = horizontalBar ? l.view.xmin / 2 + l.view.xmax / 2 : l.view.ymin / 2 + l.view.ymax / 2;
    ScrollBy(horizontalBar, centre - now);
}

void LayoutWindow::ShowRulers(bool shown) {
    hRuler->setVisible(shown);
    vRuler->setVisible(shown);
    corner->setVisible(shown);
}

void LayoutWindow::ShowRenamed(const QString& oldName, const QString& newName) {
    updatingTree = true;
    for (QTreeWidgetItem* item : tree->findItems(oldName, Qt::MatchExactly | Qt::MatchRecursive))
        item->setText(0, newName);
    updatingTree = false;
    editedName = newName;
}

bool LayoutWindow::RenameSymbol(const QString& oldName, const QString& newName) {
    Layout& l = Document();
    SymbolDescription* symbol = l.FindSymbolByName(oldName.toStdString());
    if (!symbol) return false;
    if (newName.contains('(') || newName.contains(')')) {
        platform::ShowError("A symbol name cannot contain the '(' or ')' characters!");
        return false;
    }
    if (l.FindSymbolByName(newName.toStdString())) {
        platform::ShowError("Symbol name already exists!");
        return false;
    }
    symbol->SetName(newName.toStdString());
    ShowRenamed(oldName, newName);
    view->Redraw();
    return true;
}

bool LayoutWindow::IsCalledByOthers(const SymbolDescription& symbol) {
    for (const auto& other : Document().Symbols()) {
        if (other.get() == &symbol) continue;
        other->RebuildChildren();
        if (std::find(other->Children().begin(), other->Children().end(), symbol.Id()) != other->Children().end())
            return true;
    }
    return false;
}

bool LayoutWindow::DeleteSymbolDefinition(const QString& name) {
    Layout& l = Document();
    SymbolDescription* symbol = l.FindSymbolByName(name.toStdString());
    if (!symbol || symbol == l.MainSymbol()) return false;
    if (IsCalledByOthers(*symbol)) {
        platform::ShowWarning("This symbol is called by other symbols and cannot be deleted.");
        return false;
    }
    const auto answer = QMessageBox::warning(
        this, "Warning", "Do you really want to delete the definition of: " + name + "?\nThis action cannot be undone!",
        QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes) return false;
    if (symbol == l.ShownSymbolDescription()) OpenSymbol(QString::fromStdString(l.MainSymbol()->Name()));
    updatingTree = true;
    tree->setSortingEnabled(false);
    const auto found = tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    if (!found.isEmpty()) delete found.first();
    tree->setSortingEnabled(!treeMode);
    updatingTree = false;
    l.DeleteSymbol(symbol->Id());
    view->Redraw();
    return true;
}

void LayoutWindow::ShowSymbolProperties(const QString& name) {
    Layout& l = Document();
    SymbolDescription* symbol = l.FindSymbolByName(name.toStdString());
    if (!symbol) return;
    QDialog dialog(this);
    dialog.setWindowTitle("Properties of " + name);
    auto* form = new QFormLayout(&dialog);
    auto* nameEdit = new QLineEdit(name, &dialog);
    form->addRow("Name:", nameEdit);
    form->addRow("Objects:", new QLabel(QString::number(symbol->objectCount), &dialog));
    const auto kilobytes = [](std::int64_t words) {
        return QString::number(RoundHalfAway(words * 4 / 1024.0)) + " kB";
    };
    form->addRow("Used storage:", new QLabel(kilobytes(symbol->usedWords), &dialog));
    form->addRow("Allocated storage:", new QLabel(kilobytes(symbol->capacity), &dialog));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted || nameEdit->text() == name) return;
    RenameSymbol(name, nameEdit->text());
}

void LayoutWindow::TreeMenu(const QPoint& at) {
    QTreeWidgetItem* item = tree->itemAt(at);
    const QString name = item ? item->text(0) : QString();
    Layout& l = Document();
    SymbolDescription* symbol = item ? l.FindSymbolByName(name.toStdString()) : nullptr;
    QMenu menu(this);
    QAction* properties = menu.addAction("Properties...", [this, name] { ShowSymbolProperties(name); });
    properties->setEnabled(symbol != nullptr);
    if (!treeMode) {
        QAction* remove = menu.addAction("Delete", [this, name] { DeleteSymbolDefinition(name); });
        remove->setEnabled(symbol && symbol != l.MainSymbol() && !IsCalledByOthers(*symbol));
    }
    QAction* expand = menu.addAction("Expand", [item] { item->setExpanded(true); });
    QAction* collapse = menu.addAction("Collapse", [item] { item->setExpanded(false); });
    expand->setEnabled(item != nullptr);
    collapse->setEnabled(item != nullptr);
    menu.addAction("Expand all", [this] { tree->expandAll(); });
    menu.addAction("Collapse all", [this] { tree->collapseAll(); });
    menu.exec(tree->viewport()->mapToGlobal(at));
}

// Keys in the symbol panel move the view; the panel itself navigates only
// with Shift held or while a name is being edited.
bool LayoutWindow::TreeKey(int key) {
    Layout& l = Document();
    const std::int64_t w = std::int64_t{l.view.xmax} - l.view.xmin, h = std::int64_t{l.view.ymax} - l.view.ymin;
    if (view->ArrowKey(key)) return true;
    switch (key) {
        case Qt::Key_Left: ScrollBy(true, -w / 10); return true;
        case Qt::Key_Right: ScrollBy(true, w / 10); return true;
        case Qt::Key_Up: ScrollBy(false, h / 10); return true;
        case Qt::Key_Down: ScrollBy(false, -h / 10); return true;
        case Qt::Key_Home:
            view->Viewport().ZoomAll();
            view->Redraw();
            return true;
        default: return false;
    }
}

bool LayoutWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tree && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!(key->modifiers() & Qt::ShiftModifier) && TreeKey(key->key())) return true;
    }
    return QMdiSubWindow::eventFilter(watched, event);
}

void LayoutWindow::closeEvent(QCloseEvent* event) {
    Layout& l = Document();
    if (l.IsModified()) {
        const auto answer = QMessageBox::question(this, windowTitle(), "Do you want to save the layout?",
                                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        if (answer == QMessageBox::Cancel) {
            event->ignore();
            return;
        }
        if (answer == QMessageBox::Yes && !l.Save("", l.fileType)) {
            event->ignore();
            return;
        }
    }
    QMdiSubWindow::closeEvent(event);
}

}  // namespace zandor
