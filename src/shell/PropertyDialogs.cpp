#include "shell/PropertyDialogs.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#include "editing/ObjectProperties.h"
#include "model/Geometry.h"
#include "model/LayerDescription.h"
#include "model/Layout.h"
#include "model/RecordViews.h"
#include "model/SymbolDescription.h"
#include "platform/Messages.h"
#include "shell/DialogFields.h"
#include "shell/HelpViewer.h"
#include "shell/SymbolCombo.h"

namespace zandor {

namespace {

constexpr const char* kZeroScaleMessage = "A scale of 0 would collapse the object.";
constexpr std::int32_t kWidthLimit = static_cast<std::int32_t>(kWidthMask);

QString Number(double value) { return QString::fromStdString(FormatNumber(value)); }

bool ReadReal(QLineEdit* field, double& value) {
    if (ParseReal(Text(field), value)) return true;
    Focus(field);
    return false;
}

bool ReadInteger(QLineEdit* field, std::int32_t& value) {
    if (ParseInteger(Text(field), value)) return true;
    Focus(field);
    return false;
}

// "&Round", "&Flat", "&Extended" in a group, the style's button checked.
QGroupBox* EndStyleButtons(QWidget* parent, int style, QRadioButton* (&buttons)[3]) {
    auto* group = new QGroupBox("End style:", parent);
    auto* row = new QHBoxLayout(group);
    const char* names[3] = {"RadioRound", "RadioFlat", "RadioExtended"};
    const char* captions[3] = {"&Round", "&Flat", "&Extended"};
    for (int i = 0; i < 3; ++i) {
        buttons[i] = new QRadioButton(captions[i], group);
        buttons[i]->setObjectName(names[i]);
        row->addWidget(buttons[i]);
    }
    if (style >= 0 && style < 3) buttons[style]->setChecked(true);
    return group;
}

// Round when checked or none is, extended when checked, flat otherwise.
int CheckedStyle(QRadioButton* const (&buttons)[3]) {
    if (buttons[2]->isChecked()) return 2;
    if (buttons[1]->isChecked()) return 1;
    return 0;
}

bool ReadWidth(QLineEdit* field, std::int32_t& width) {
    if (!ParseMicrons(Text(field), width)) {
        Focus(field);
        return false;
    }
    if (width < 0 || width > kWidthLimit) {
        platform::ShowError("The width must lie between 0 and " + FormatMicrons(kWidthLimit) + " um.");
        Focus(field);
        return false;
    }
    return true;
}

// The platform's font chooser on `font`; only face, weight and slant are
// taken over, and the height is left at the one size outlines are fetched at.
bool ChooseFontFor(LOGFONTA& font, QWidget* parent) {
    font.lfHeight = 18;
    QFont current(QString::fromLatin1(font.lfFaceName, static_cast<int>(strnlen(font.lfFaceName, 32))));
    current.setBold(font.lfWeight >= 600);
    current.setItalic(font.lfItalic != 0);
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, current, parent, "Font", QFontDialog::ScalableFonts);
    font.lfHeight = -2048;
    if (!ok) return false;
    const QByteArray face = chosen.family().toLatin1().left(sizeof font.lfFaceName - 1);
    if (!face.isEmpty()) {
        std::fill(std::begin(font.lfFaceName), std::end(font.lfFaceName), '\0');
        std::copy(face.begin(), face.end(), font.lfFaceName);
    }
    font.lfWeight = chosen.bold() ? 700 : 400;
    font.lfItalic = chosen.italic() ? 1 : 0;
    return true;
}

QString FaceOf(const LOGFONTA& font) {
    return QString::fromLatin1(font.lfFaceName, static_cast<int>(strnlen(font.lfFaceName, sizeof font.lfFaceName)));
}

// The position, scale and angle rows; `stored` is shown.
void AddPlacement(PlacementEdits& edits, QFormLayout* form, QWidget* parent, const TransformMatrix& stored) {
    const PlacementShown shown = ShowPlacement(stored);
    const auto field = [parent](const char* name, const QString& text) { return Field(name, text, parent); };
    edits.stored = stored;
    edits.x = field("EditX", Microns(shown.x));
    edits.y = field("EditY", Microns(shown.y));
    edits.xScale = field("EditXscale", Number(shown.xScalePercent));
    edits.yScale = field("EditYscale", Number(shown.yScalePercent));
    edits.angle = field("EditAngle", Number(shown.angleDegrees));
    edits.lockAspect = new QCheckBox("Lock aspect ratio", parent);
    edits.lockAspect->setObjectName("CheckLockAspect");
    edits.lockAspect->setChecked(shown.lockAspect);
    edits.shown = {edits.x->text(), edits.y->text(), edits.xScale->text(), edits.yScale->text(), edits.angle->text()};
    auto* position = new QHBoxLayout;
    position->addWidget(edits.x);
    position->addWidget(edits.y);
    form->addRow("Position:", position);
    form->addRow("X-scale:", edits.xScale);
    form->addRow("Y-scale:", edits.yScale);
    form->addRow(edits.lockAspect);
    form->addRow("Angle:", edits.angle);
    QObject::connect(edits.xScale, &QLineEdit::textChanged, parent, [&edits] { edits.ApplyLock(); });
    QObject::connect(edits.lockAspect, &QCheckBox::toggled, parent, [&edits] { edits.ApplyLock(); });
    edits.ApplyLock();
}

}  // namespace

void PlacementEdits::ApplyLock() const {
    const bool locked = lockAspect->isChecked();
    if (locked) yScale->setText(xScale->text());
    yScale->setEnabled(!locked);
}

// A field left as shown keeps the stored value exactly, so that OK without a
// change leaves the matrix word for word.
bool PlacementEdits::Read(TransformMatrix& m) const {
    const QLineEdit* fields[5] = {x, y, xScale, yScale, angle};
    const auto same = [&](int i) { return fields[i]->text() == shown.value(i); };
    if (same(0) && same(1) && same(2) && same(3) && same(4)) {
        m = stored;
        return true;
    }
    const DecomposedTransform parts = DecomposeTransform(stored);
    std::int32_t px = RoundHalfAway(stored.tx), py = RoundHalfAway(stored.ty);
    double sx = parts.scaleX, sy = parts.scaleY, radians = parts.angle;
    for (QLineEdit* field : {x, y}) {
        if (same(field == x ? 0 : 1)) continue;
        if (!ParseMicrons(Text(field), field == x ? px : py)) {
            Focus(field);
            return false;
        }
    }
    if (!same(2)) {
        if (!ReadReal(xScale, sx)) return false;
        sx /= 100;
    }
    if (!same(3)) {
        if (!ReadReal(yScale, sy)) return false;
        sy /= 100;
    }
    if (!same(4)) {
        double degrees = 0;
        if (!ReadReal(angle, degrees)) return false;
        radians = degrees * kPi / 180;
    }
    if (sx == 0 || sy == 0) {
        platform::ShowError(kZeroScaleMessage);
        Focus(sx == 0 ? xScale : yScale);
        return false;
    }
    m = PlacementMatrix(sx, sy, radians, px, py);
    return true;
}

void FillLayerCombo(QComboBox& combo, const Layout& layout, int layer) {
    combo.clear();
    for (int index = 0; index < kLayerCount; ++index) {
        const LayerDescription* description = layout.Layer(index);
        if (!description) continue;
        const QString name = QString::fromStdString(description->name);
        combo.addItem(name.isEmpty() ? QString("Layer %1").arg(index) : name, index);
        if (index == layer) combo.setCurrentIndex(combo.count() - 1);
    }
    if (combo.currentIndex() < 0 && combo.count() > 0) combo.setCurrentIndex(0);
}

// ---- What the single-object dialogs share -----------------------------------

ObjectPropertiesDialog::ObjectPropertiesDialog(const char* name, const QString& caption, const QString& helpTopic,
                                               const Word* record, Layout& layout, QWidget* parent)
    : QDialog(parent), layout(layout) {
    setObjectName(name);
    setWindowTitle(caption);
    if (record) copy.assign(record, record + RecordLength(record));
    form = new QFormLayout(this);
    buttons = OkCancel(this, helpTopic);
}

QLineEdit* ObjectPropertiesDialog::NewField(const char* name, const QString& text, QWidget* parent) {
    return Field(name, text, parent);
}

QLineEdit* ObjectPropertiesDialog::AddField(const char* name, const QString& label, const QString& text) {
    QLineEdit* edit = NewField(name, text, this);
    form->addRow(label, edit);
    return edit;
}

void ObjectPropertiesDialog::AddPair(const QString& label, QLineEdit* first, QLineEdit* second) {
    auto* row = new QHBoxLayout;
    row->addWidget(first);
    row->addWidget(second);
    form->addRow(label, row);
}

void ObjectPropertiesDialog::Finish(bool layerList) {
    if (layerList) {
        layerCombo = new QComboBox(this);
        layerCombo->setObjectName("LayerCombo");
        FillLayerCombo(*layerCombo, layout, copy.empty() ? 0 : RecordLayer(copy.data()));
        form->addRow("Layer:", layerCombo);
    }
    form->addRow(buttons);
}

int ObjectPropertiesDialog::Layer() const {
    if (layerCombo && layerCombo->currentIndex() >= 0) return layerCombo->currentData().toInt();
    return copy.empty() ? 0 : RecordLayer(copy.data());
}

bool ObjectPropertiesDialog::ReadMicrons(QLineEdit* field, std::int32_t& units) {
    if (ParseMicrons(Text(field), units)) return true;
    Focus(field);
    return false;
}

bool ObjectPropertiesDialog::Refuse(QWidget* field, const QString& message) {
    platform::ShowError(message.toStdString());
    if (field) Focus(field);
    return false;
}

bool ObjectPropertiesDialog::WithinLimit(std::vector<Word>& edited) {
    return WithinCoordinateLimit(edited.data(), &layout);
}

void ObjectPropertiesDialog::accept() {
    std::vector<Word> edited = copy;
    if (!ReadFields(edited)) return;
    if (!WithinLimit(edited)) {
        platform::ShowError(kPropertiesRangeMessage);
        return;
    }
    copy = std::move(edited);
    QDialog::accept();
}

// ---- Rectangle, box, circle, ring, arc wire ---------------------------------

RectanglePropertiesDlg::RectanglePropertiesDlg(const Word* record, Layout& layout, QWidget* parent)
    : ObjectPropertiesDialog("RectanglePropertiesDlg", "Rectangle properties...", "object-properties", record, layout,
                             parent) {
    const RectangleView rectangle(record);
    const char* names[4] = {"EditXmin", "EditYmin", "EditXmax", "EditYmax"};
    const std::int32_t values[4] = {rectangle.Corner1().X, rectangle.Corner1().Y, rectangle.Corner2().X,
                                    rectangle.Corner2().Y};
    for (int i = 0; i < 4; ++i) fields[i] = NewField(names[i], Microns(values[i]), this);
    AddPair("Corner 1:", fields[0], fields[1]);
    AddPair("Corner 2:", fields[2], fields[3]);
    Finish(true);
}

// The corners are kept in the order typed.
bool RectanglePropertiesDlg::ReadFields(std::vector<Word>& edited) {
    std::int32_t v[4];
    for (int i = 0; i < 4; ++i)
        if (!ReadMicrons(fields[i], v[i])) return false;
    RectangleView(edited.data()).SetCorners({v[0], v[1]}, {v[2], v[3]});
    return true;
}

BoxPropertiesDlg::BoxPropertiesDlg(const Word* record, Layout& layout, QWidget* parent)
    : ObjectPropertiesDialog("BoxPropertiesDlg", "Box properties...", "object-properties", record, layout, parent) {
    const BoxView box(record);
    x = NewField("EditX", Microns(box.Centre().X), this);
    y = NewField("EditY", Microns(box.Centre().Y), this);
    length = NewField("EditL", Microns(box.BoxLength()), this);
    width = NewField("EditW", Microns(box.BoxWidth()), this);
    AddPair("Centre:", x, y);
    AddPair("Length, width:", length, width);
    angle = AddField("EditA", "Angle:", Number(box.AngleMillidegrees() * 0.001));
    Finish(true);
}

bool BoxPropertiesDlg::ReadFields(std::vector<Word>& edited) {
    Point centre;
    std::int32_t l = 0, w = 0, milliDegrees = 0;
    if (!ReadMicrons(x, centre.X) || !ReadMicrons(y, centre.Y) || !ReadMicrons(length, l) || !ReadMicrons(width, w))
        return false;
    if (l < 0) return Refuse(length, "The length must not be negative.");
    if (w < 0) return Refuse(width, "The width must not be negative.");
    // Degrees to thousandths, as micrometres go to nanometres.
    if (!ReadMicrons(angle, milliDegrees)) return false;
    const BoxView box(edited.data());
    box.SetCentre(centre);
    box.SetSize(l, w);
    box.SetAngleMillidegrees(milliDegrees);
    return true;
}

CirclePropDlg::CirclePropDlg(const Word* record, Layout& layout, QWidget* parent)
    : CirclePropDlg("CirclePropDlg", "Circle properties...", record, layout, parent) {
    Finish(true);
}

CirclePropDlg::CirclePropDlg(const char* name, const QString& caption, const Word* record, Layout& layout,
                             QWidget* parent)
    : ObjectPropertiesDialog(name, caption, "object-properties", record, layout, parent) {
    const CircleView circle(record);
    x = NewField("EditX", Microns(circle.Centre().X), this);
    y = NewField("EditY", Microns(circle.Centre().Y), this);
    AddPair(RecordKind(record) == ObjectKind::Ring ? "Centre:" : "Center:", x, y);
    radius = AddField("EditR", "Radius:", Microns(circle.Radius()));
}

bool CirclePropDlg::ReadFields(std::vector<Word>& edited) {
    Point centre;
    std::int32_t r = 0;
    if (!ReadMicrons(x, centre.X) || !ReadMicrons(y, centre.Y) || !ReadMicrons(radius, r)) return false;
    if (r <= 0) return Refuse(radius, "The radius must be greater than 0.");
    const CircleView circle(edited.data());
    circle.SetCentre(centre);
    circle.SetRadius(r);
    return true;
}

RingPropDlg::RingPropDlg(const Word* record, Layout& layout, QWidget* parent)
    : CirclePropDlg("RingPropDlg", "Ring properties...", record, layout, parent) {
    width = AddField("EditW", "Width:", Microns(RingView(record).RingWidth()));
    Finish(true);
}

bool RingPropDlg::ReadFields(std::vector<Word>& edited) {
    if (!CirclePropDlg::ReadFields(edited)) return false;
    std::int32_t w = 0;
    if (!ReadMicrons(width, w)) return false;
    if (w < 0) return Refuse(width, "The width must not be negative.");
    RingView(edited.data()).SetRingWidth(w);
    return true;
}

ArcWirePropDlg::ArcWirePropDlg(const Word* record, Layout& layout, QWidget* parent)
    : ObjectPropertiesDialog("ArcWirePropDlg", "Arc-wire properties...", "object-properties", record, layout, parent) {
    const ArcWireView arc(record);
    xc = NewField("EditXc", Microns(arc.Centre().X), this);
    yc = NewField("EditYc", Microns(arc.Centre().Y), this);
    xStart = NewField("EditXstart", Microns(arc.Start().X), this);
    yStart = NewField("EditYstart", Microns(arc.Start().Y), this);
    xStop = NewField("EditXstop", Microns(arc.End().X), this);
    yStop = NewField("EditYstop", Microns(arc.End().Y), this);
    AddPair("Centre:", xc, yc);
    AddPair("Start:", xStart, yStart);
    AddPair("Stop:", xStop, yStop);
    width = AddField("EditW", "Width:", Microns(arc.Width()));
    form->addRow(EndStyleButtons(this, arc.EndStyle(), styles));
    Finish(true);
}

// The direction bit stays as it was.
bool ArcWirePropDlg::ReadFields(std::vector<Word>& edited) {
    Point centre, start, stop;
    std::int32_t w = 0;
    if (!ReadMicrons(xc, centre.X) || !ReadMicrons(yc, centre.Y) || !ReadMicrons(xStart, start.X) ||
        !ReadMicrons(yStart, start.Y) || !ReadMicrons(xStop, stop.X) || !ReadMicrons(yStop, stop.Y) ||
        !ReadWidth(width, w))
        return false;
    if (start == centre || stop == centre)
        return Refuse(start == centre ? xStart : xStop, "The start and the stop must not lie on the centre.");
    const ArcWireView arc(edited.data());
    arc.SetPoints(start, centre, stop);
    arc.SetWidthWord(MakeArcWidthWord(w, CheckedStyle(styles), arc.Clockwise()));
    return true;
}

// ---- The node table ----------------------------------------------------------

// The nodes of the working copy as rows of index, x and y, made on demand.
class NodeTableModel : public QAbstractTableModel {
public:
    NodeTableModel(std::vector<Point> nodes, QObject* parent) : QAbstractTableModel(parent), nodes(std::move(nodes)) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(nodes.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 3; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
        const Point& p = nodes[static_cast<std::size_t>(index.row())];
        switch (index.column()) {
            case 0: return index.row();
            case 1: return Microns(p.X);
            default: return Microns(p.Y);
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        const char* titles[3] = {"Node", "X", "Y"};
        return section >= 0 && section < 3 ? QString(titles[section]) : QVariant();
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags f = QAbstractTableModel::flags(index);
        if (index.column() >= 1) f |= Qt::ItemIsEditable;
        return f;
    }
    // A text that is no number, or lies outside the range, keeps the old value.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (!index.isValid() || index.column() < 1 || role != Qt::EditRole) return false;
        std::int32_t units = 0;
        if (!ParseMicrons(value.toString().trimmed().toStdString(), units)) return false;
        if (std::abs(std::int64_t{units}) > 2000000000) {
            platform::ShowError(kPropertiesRangeMessage);
            return false;
        }
        Point& p = nodes[static_cast<std::size_t>(index.row())];
        (index.column() == 1 ? p.X : p.Y) = units;
        emit dataChanged(index, index);
        if (changed) changed();
        return true;
    }

    void Remove(int row) {
        beginRemoveRows({}, row, row);
        nodes.erase(nodes.begin() + row);
        endRemoveRows();
        // The indices of the later rows move down.
        if (row < rowCount()) emit dataChanged(index(row, 0), index(rowCount() - 1, 0));
        if (changed) changed();
    }
    void InsertCopy(int row) {
        const Point copy = nodes[static_cast<std::size_t>(row)];
        beginInsertRows({}, row, row);
        nodes.insert(nodes.begin() + row, copy);
        endInsertRows();
        emit dataChanged(index(row, 0), index(rowCount() - 1, 0));
        if (changed) changed();
    }

    std::vector<Point> nodes;
    std::function<void()> changed;
};

NodeCellDelegate::NodeCellDelegate(QObject* parent) : QStyledItemDelegate(parent) {
    // An edit that ends by itself (focus, Return, Escape) is no longer open.
    connect(this, &QAbstractItemDelegate::closeEditor, this, [this] { editor = nullptr; });
}

QWidget* NodeCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
    QWidget* made = QStyledItemDelegate::createEditor(parent, option, index);
    if (made) made->setObjectName("EditBox");
    editor = made;
    return made;
}

bool NodeCellDelegate::FinishEdit() {
    if (!editor) return false;
    QWidget* open = editor;
    editor = nullptr;
    emit commitData(open);
    emit closeEditor(open, QAbstractItemDelegate::NoHint);
    return true;
}

NodeTableDlg::NodeTableDlg(const char* name, const QString& caption, const Word* record, int preselectedNode,
                           Layout& layout, QWidget* parent)
    : ObjectPropertiesDialog(name, caption, "node-table", record, layout, parent), preselected(preselectedNode) {
    std::vector<Point> nodes;
    if (RecordKind(record) == ObjectKind::Polygon) {
        const PolygonView polygon(record);
        nodes.assign(polygon.Nodes(), polygon.Nodes() + polygon.NodeCount());
    } else {
        const WireView wire(record);
        nodes.assign(wire.Nodes(), wire.Nodes() + wire.NodeCount());
    }
    model = new NodeTableModel(std::move(nodes), this);
    model->changed = [this] {
        UpdateMeasure();
        UpdateButtons();
    };
    view = new QTableView(this);
    view->setObjectName("theView");
    view->setModel(model);
    delegate = new NodeCellDelegate(view);
    view->setItemDelegate(delegate);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::DoubleClicked |
                          QAbstractItemView::EditKeyPressed);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    view->setMinimumWidth(320);
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { UpdateButtons(); });
    form->addRow(view);

    deleteButton = new QPushButton("&Delete", this);
    deleteButton->setObjectName("ButtonDelete");
    insertButton = new QPushButton("&Insert", this);
    insertButton->setObjectName("ButtonInsert");
    addButton = new QPushButton("&Add", this);
    addButton->setObjectName("ButtonAdd");
    for (QPushButton* b : {deleteButton, insertButton, addButton}) b->setAutoDefault(false);
    connect(deleteButton, &QPushButton::clicked, this, [this] { DeleteNode(); });
    connect(insertButton, &QPushButton::clicked, this, [this] { InsertNode(); });
    connect(addButton, &QPushButton::clicked, this, [this] { AddNode(); });
    auto* row = new QHBoxLayout;
    row->addWidget(deleteButton);
    row->addWidget(insertButton);
    row->addWidget(addButton);
    form->addRow(row);
    measure = new QLabel(this);
    measure->setObjectName("LabelMeasure");
    form->addRow(measure);
    if (preselected >= 0 && preselected < model->rowCount())
        view->selectionModel()->select(model->index(preselected, 0),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    UpdateMeasure();
    UpdateButtons();
}

const std::vector<Point>& NodeTableDlg::Nodes() const { return model->nodes; }

void NodeTableDlg::showEvent(QShowEvent* event) {
    ObjectPropertiesDialog::showEvent(event);
    if (preselected >= 0 && preselected < model->rowCount()) {
        const QModelIndex index = model->index(preselected, 0);
        view->setCurrentIndex(index);
        view->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        view->scrollTo(index);
        view->setFocus();
    } else {
        buttons->button(QDialogButtonBox::Ok)->setFocus();
    }
}

void NodeTableDlg::UpdateButtons() {
    const QModelIndexList rows = view->selectionModel()->selectedRows();
    const bool polygon = RecordKind(copy.data()) == ObjectKind::Polygon;
    const int count = model->rowCount();
    const bool room = count < MaxNodes(RecordKind(copy.data()));
    deleteButton->setEnabled(!rows.isEmpty() && count > (polygon ? 3 : 2));
    insertButton->setEnabled(!rows.isEmpty() && room);
    addButton->setEnabled(room && count > 0);
}

void NodeTableDlg::UpdateMeasure() {
    const std::vector<Point>& nodes = model->nodes;
    const int count = static_cast<int>(nodes.size());
    if (RecordKind(copy.data()) == ObjectKind::Polygon)
        measure->setText("Surface area: " + Number(SurfaceAreaSquareMicrons(nodes.data(), count)) + " um" +
                         QChar(0x00B2));
    else
        measure->setText("Total length: " + Number(WireTotalLength(nodes.data(), count) * 0.001) + " um");
}

void NodeTableDlg::DeleteNode() {
    const QModelIndexList rows = view->selectionModel()->selectedRows();
    const int least = RecordKind(copy.data()) == ObjectKind::Polygon ? 4 : 3;
    if (rows.isEmpty() || model->rowCount() < least) return;
    delegate->FinishEdit();
    model->Remove(rows.front().row());
}

void NodeTableDlg::InsertNode() {
    const QModelIndexList rows = view->selectionModel()->selectedRows();
    if (rows.isEmpty() || model->rowCount() >= MaxNodes(RecordKind(copy.data()))) return;
    delegate->FinishEdit();
    model->InsertCopy(rows.front().row());
}

void NodeTableDlg::AddNode() {
    if (model->rowCount() == 0 || model->rowCount() >= MaxNodes(RecordKind(copy.data()))) return;
    delegate->FinishEdit();
    const int last = model->rowCount() - 1;
    model->InsertCopy(last);
    // The copy is the new last row.
    view->selectionModel()->select(model->index(last + 1, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view->scrollTo(model->index(last + 1, 0));
}

void NodeTableDlg::accept() {
    if (delegate->FinishEdit()) {
        UpdateMeasure();
        return;
    }
    ObjectPropertiesDialog::accept();
}

bool NodeTableDlg::ReadFields(std::vector<Word>& edited) {
    std::vector<Word> made = RecordWithNodes(edited.data(), model->nodes);
    if (made.empty()) return Refuse(view, "The object cannot hold that many nodes.");
    edited = std::move(made);
    return true;
}

PolygonPropDlg::PolygonPropDlg(const Word* record, int preselectedNode, Layout& layout, QWidget* parent)
    : NodeTableDlg("PolygonPropDlg", "Polygon properties...", record, preselectedNode, layout, parent) {
    Finish(true);
}

WirePropDlg::WirePropDlg(const Word* record, int preselectedNode, Layout& layout, QWidget* parent)
    : NodeTableDlg("WirePropDlg", "Wire properties...", record, preselectedNode, layout, parent) {
    const WireView wire(record);
    width = AddField("EditW", "Width:", Microns(wire.Width()));
    form->addRow(EndStyleButtons(this, wire.EndStyle(), styles));
    Finish(true);
}

bool WirePropDlg::ReadFields(std::vector<Word>& edited) {
    std::int32_t w = 0;
    if (!ReadWidth(width, w)) return false;
    if (!NodeTableDlg::ReadFields(edited)) return false;
    WireView(edited.data()).SetWidthWord(MakeWireWidthWord(w, CheckedStyle(styles)));
    return true;
}

// ---- Text ----------------------------------------------------------------------

InsertTextDlg::InsertTextDlg(const Word* record, const LOGFONTA& defaultFont, Layout& layout, QWidget* parent)
    : ObjectPropertiesDialog("InsertTextDlg", "Text", "text-properties", record, layout, parent),
      font(defaultFont),
      inserting(record == nullptr) {
    if (inserting) {
        copy.assign(kTextBaseLength, 0);
        copy[0] = MakeHeader(kTextBaseLength, 0, ObjectKind::Text);
        const TextView fresh(copy.data());
        fresh.SetHeight(2000000);
        fresh.SetMatrix(TransformMatrix{});
        fresh.SetFont(font);
    } else {
        storedText = std::string(TextView(record).Chars());
        font = TextView(record).Font();
    }
    const TextView shown(copy.data());
    text = AddField("EditText", "Text:", QString::fromLatin1(storedText.data(), static_cast<int>(storedText.size())));
    height = AddField("EditSize", "Height:", Microns(shown.Height()));
    AddPlacement(placement, form, this, shown.Matrix());
    fontLabel = new QLabel(FaceOf(font), this);
    fontLabel->setObjectName("LabelFont");
    auto* chooser = new QPushButton("&Font...", this);
    chooser->setObjectName("ButtonFont");
    chooser->setAutoDefault(false);
    connect(chooser, &QPushButton::clicked, this, &InsertTextDlg::ChooseFont);
    auto* fontRow = new QHBoxLayout;
    fontRow->addWidget(fontLabel, 1);
    fontRow->addWidget(chooser);
    form->addRow("Font:", fontRow);
    Finish(true);
}

std::string InsertTextDlg::Text() const { return text->text().toLatin1().toStdString(); }

void InsertTextDlg::ChooseFont() {
    ChooseFontFor(font, this);
    fontLabel->setText(FaceOf(font));
}

void InsertTextDlg::showEvent(QShowEvent* event) {
    ObjectPropertiesDialog::showEvent(event);
    placement.ApplyLock();
    buttons->button(QDialogButtonBox::Ok)->setFocus();
}

bool InsertTextDlg::ReadFields(std::vector<Word>& edited) {
    if (text->text().isEmpty()) return Refuse(text, "Please enter a text.");
    std::int32_t h = 0;
    if (!ReadMicrons(height, h)) return false;
    if (h <= 0) return Refuse(height, "The text height must be greater than 0.");
    TransformMatrix m;
    if (!placement.Read(m)) return false;
    if (inserting && layerCombo->count() == 0) return Refuse(nullptr, "There is no layer to put the text on.");
    const TextView edit(edited.data());
    // A character count of 0 says the characters changed.
    if (Text() != storedText) edited[kTextLengthWord] = 0;
    edit.SetHeight(h);
    edit.SetMatrix(m);
    edit.SetPosition({RoundHalfAway(m.tx), RoundHalfAway(m.ty)});
    edit.SetFont(font);
    return true;
}

bool InsertTextDlg::WithinLimit(std::vector<Word>& edited) {
    const TextView edit(edited.data());
    return TextWithinCoordinateLimit(Text(), edit.Height(), edit.Matrix(), edit.Font());
}

// ---- Symbol call and array ------------------------------------------------------

SymbolPropDlg::SymbolPropDlg(const Word* record, const SymbolDescription& editedSymbol, Layout& layout, QWidget* parent)
    : ObjectPropertiesDialog("SymbolPropDlg", "Symbol instance...", "symbol-properties", record, layout, parent) {
    symbols = new QComboBox(this);
    symbols->setObjectName("SymbolComboBox");
    FillSymbolCombo(*symbols, layout, layout.CalledSymbol(record), &editedSymbol);
    form->addRow("Symbol:", symbols);
    AddPlacement(placement, form, this, CallView(record).Matrix());
    Finish(false);
}

void SymbolPropDlg::showEvent(QShowEvent* event) {
    ObjectPropertiesDialog::showEvent(event);
    placement.ApplyLock();
}

bool SymbolPropDlg::ReadFields(std::vector<Word>& edited) {
    if (symbols->currentIndex() < 0) return Refuse(symbols, "There is no symbol to call.");
    TransformMatrix m;
    if (!placement.Read(m)) return false;
    const CallView call(edited.data());
    call.SetSymbolId(symbols->currentData().toInt());
    call.SetMatrix(m);
    return true;
}

ArrayPropDlg::ArrayPropDlg(const Word* record, const SymbolDescription& editedSymbol, Layout& layout, QWidget* parent)
    : ObjectPropertiesDialog("ArrayPropDlg", "Array properties...", "symbol-properties", record, layout, parent) {
    symbols = new QComboBox(this);
    symbols->setObjectName("SymbolComboBox");
    FillSymbolCombo(*symbols, layout, layout.CalledSymbol(record), &editedSymbol);
    form->addRow("Symbol:", symbols);
    const ArrayLattice lattice = ShowArrayLattice(record);
    x = NewField("EditX", Microns(lattice.origin.X), this);
    y = NewField("EditY", Microns(lattice.origin.Y), this);
    AddPair("Position:", x, y);
    size = AddField("EditSize", "Size:", Number(lattice.magnification * 100));
    mirror = new QCheckBox("Mirror vertically", this);
    mirror->setObjectName("CheckBoxMirror");
    mirror->setChecked(lattice.mirrored);
    shownMirrored = lattice.mirrored;
    form->addRow(mirror);
    angle = AddField("EditAngle", "Angle:", Number(lattice.angleDegrees));
    rows = AddField("EditRows", "Rows:", QString::number(lattice.rows));
    columns = AddField("EditColumns", "Columns:", QString::number(lattice.columns));
    rowSpacing = AddField("EditRowSpacing", "Row spacing:", Microns(lattice.rowSpacing));
    columnSpacing = AddField("EditColSpacing", "Column spacing:", Microns(lattice.columnSpacing));
    for (const QLineEdit* f : {x, y, size, angle, rows, columns, rowSpacing, columnSpacing}) shown << f->text();
    Finish(false);
}

// With the lattice fields as shown only the symbol changes; otherwise the
// lattice is laid out again from them.
bool ArrayPropDlg::ReadFields(std::vector<Word>& edited) {
    if (symbols->currentIndex() < 0) return Refuse(symbols, "There is no symbol to call.");
    QLineEdit* const fields[8] = {x, y, size, angle, rows, columns, rowSpacing, columnSpacing};
    bool same = mirror->isChecked() == shownMirrored;
    for (int i = 0; i < 8; ++i) same = same && fields[i]->text() == shown.value(i);
    if (!same) {
        const ArrayView stored(edited.data());
        ArrayLattice lattice;
        double percent = 0;
        std::int32_t milliDegrees = 0;
        if (!ReadMicrons(x, lattice.origin.X) || !ReadMicrons(y, lattice.origin.Y)) return false;
        if (size->text() == shown.value(2)) {
            lattice.magnification = std::fabs(stored.Magnification());
        } else {
            if (!ReadReal(size, percent)) return false;
            lattice.magnification = std::fabs(percent) / 100;
        }
        if (lattice.magnification == 0) return Refuse(size, kZeroScaleMessage);
        if (!ReadMicrons(angle, milliDegrees)) return false;
        lattice.angleDegrees = angle->text() == shown.value(3) ? stored.AngleDegrees() : milliDegrees * 0.001;
        lattice.mirrored = mirror->isChecked();
        if (!ReadInteger(rows, lattice.rows) || !ReadInteger(columns, lattice.columns)) return false;
        if (lattice.rows < 1) return Refuse(rows, "The number of rows must be at least 1.");
        if (lattice.columns < 1) return Refuse(columns, "The number of columns must be at least 1.");
        if (!ReadMicrons(rowSpacing, lattice.rowSpacing) || !ReadMicrons(columnSpacing, lattice.columnSpacing))
            return false;
        if (!WriteArrayLattice(edited.data(), lattice)) return Refuse(x, kPropertiesRangeMessage);
    }
    ArrayView(edited.data()).SetSymbolId(symbols->currentData().toInt());
    return true;
}

// ---- Script object ---------------------------------------------------------------

ScriptDlg::ScriptDlg(const Word* record, Layout& layout, QWidget* parent)
    : ObjectPropertiesDialog("ScriptDlg", "Script editor", "text-properties", record, layout, parent) {
    const ScriptView script(record);
    storedText = std::string(script.Chars());
    font = script.Font();
    memo = new QPlainTextEdit(QString::fromLatin1(storedText.data(), static_cast<int>(storedText.size())), this);
    memo->setObjectName("ScriptMemo");
    form->addRow(memo);
    height = AddField("EditSize", "Text height:", Microns(script.Height()));
    AddPlacement(placement, form, this, script.Matrix());
    maxObjects = AddField("EditMaxObjects", "Max. number of generated objects:", QString::number(script.MaxObjects()));
    time = AddField("EditTime", "Time-out (seconds):", "30.0");
    fontLabel = new QLabel(FaceOf(font), this);
    auto* chooser = new QPushButton("&Font...", this);
    chooser->setObjectName("ButtonFont");
    chooser->setAutoDefault(false);
    connect(chooser, &QPushButton::clicked, this, &ScriptDlg::ChooseFont);
    auto* fontRow = new QHBoxLayout;
    fontRow->addWidget(fontLabel, 1);
    fontRow->addWidget(chooser);
    form->addRow("Font:", fontRow);
    Finish(true);
}

std::string ScriptDlg::ScriptText() const { return memo->toPlainText().toLatin1().toStdString(); }

void ScriptDlg::ChooseFont() {
    ChooseFontFor(font, this);
    fontLabel->setText(FaceOf(font));
}

void ScriptDlg::showEvent(QShowEvent* event) {
    ObjectPropertiesDialog::showEvent(event);
    placement.ApplyLock();
    memo->moveCursor(QTextCursor::Start);
    buttons->button(QDialogButtonBox::Ok)->setFocus();
}

bool ScriptDlg::ReadFields(std::vector<Word>& edited) {
    std::int32_t h = 0, limit = 0;
    if (!ReadMicrons(height, h)) return false;
    TransformMatrix m;
    if (!placement.Read(m)) return false;
    if (!ReadInteger(maxObjects, limit)) return false;
    const ScriptView edit(edited.data());
    if (ScriptText() != storedText) edited[kScriptLengthWord] = 0;
    edit.SetHeight(h);
    edit.SetMaxObjects(limit);
    edit.SetMatrix(m);
    edit.SetPosition({RoundHalfAway(m.tx), RoundHalfAway(m.ty)});
    edit.SetFont(font);
    // A changed script object is made again by running its script.
    if (CopyDiffers(copy.data(), edited, Layer())) return Refuse(nullptr, "Unable to load the script dll");
    return true;
}

bool ScriptDlg::WithinLimit(std::vector<Word>&) { return true; }

// ---- Several objects ---------------------------------------------------------------

LayerSelectDlg::LayerSelectDlg(const Layout& layout, int layer, QWidget* parent) : QDialog(parent) {
    setObjectName("LayerSelectDlg");
    setWindowTitle("Select layer...");
    combo = new QComboBox(this);
    combo->setObjectName("LayerCombo");
    FillLayerCombo(*combo, layout, layer);
    auto* form = new QFormLayout(this);
    form->addRow("Layer:", combo);
    form->addRow(OkCancel(this, "object-properties"));
}

int LayerSelectDlg::Layer() const { return combo->currentIndex() < 0 ? -1 : combo->currentData().toInt(); }

void LayerSelectDlg::accept() {
    if (combo->currentIndex() < 0) {
        platform::ShowError("There is no layer to choose.");
        return;
    }
    QDialog::accept();
}

}  // namespace zandor
