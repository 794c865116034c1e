// The object property dialogs of "Properties..." and the dialog of "Insert
// text...": one dialog per kind of object, and the layer choice for several
// objects.  A dialog edits a working copy of the object's record and never
// the record itself; lengths are shown and typed in micrometres, scales in
// percent, angles in degrees.  OK reads every field into the copy and checks
// the result; a text that is no number or a result outside the coordinate
// range shows a message and keeps the dialog open, with the field in question
// focused and the copy as it was.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStyledItemDelegate>
#include <cstdint>
#include <string>
#include <vector>

#include "model/ObjectRecord.h"
#include "model/Types.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTableView;

namespace zandor {

class Layout;
class NodeTableModel;
class SymbolDescription;

// The layer list of the dialogs: one item per defined layer in index order,
// its name or "Layer " and the index, the index as the item's data.  The
// given layer is chosen, the first item when it is not defined.
void FillLayerCombo(QComboBox& combo, const Layout& layout, int layer);

// What the dialogs of one object share: the working copy, the layer list,
// OK, Cancel and Help.
class ObjectPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    // The record as edited; valid after OK.
    const std::vector<Word>& Copy() const { return copy; }
    // The layer chosen, or the record's own where there is no list.
    int Layer() const;

    void accept() override;

protected:
    ObjectPropertiesDialog(const char* name, const QString& caption, const QString& helpTopic, const Word* record,
                           Layout& layout, QWidget* parent);
    // Reads the fields into `edited`, a copy of the working copy; false after
    // a message.
    virtual bool ReadFields(std::vector<Word>& edited) = 0;
    // Whether the edited record keeps the coordinate limit (the default
    // judges its stored points and its extent).
    virtual bool WithinLimit(std::vector<Word>& edited);

    QLineEdit* AddField(const char* name, const QString& label, const QString& text);
    // Two fields side by side under one label (x and y).
    void AddPair(const QString& label, QLineEdit* first, QLineEdit* second);
    static QLineEdit* NewField(const char* name, const QString& text, QWidget* parent);
    // The layer row and the buttons; the last thing a constructor adds.
    void Finish(bool layerList);
    // The field's micrometres as units, or a message with the field focused.
    static bool ReadMicrons(QLineEdit* field, std::int32_t& units);
    // A message with the field focused; always false.
    static bool Refuse(QWidget* field, const QString& message);

    Layout& layout;
    std::vector<Word> copy;
    QFormLayout* form = nullptr;
    QDialogButtonBox* buttons = nullptr;
    QComboBox* layerCombo = nullptr;
};

class RectanglePropertiesDlg : public ObjectPropertiesDialog {
    Q_OBJECT
public:
    RectanglePropertiesDlg(const Word* record, Layout& layout, QWidget* parent = nullptr);

protected:
    bool ReadFields(std::vector<Word>& edited) override;

private:
    QLineEdit* fields[4] = {};
};

class BoxPropertiesDlg : public ObjectPropertiesDialog {
    Q_OBJECT
public:
    BoxPropertiesDlg(const Word* record, Layout& layout, QWidget* parent = nullptr);

protected:
    bool ReadFields(std::vector<Word>& edited) override;

private:
    QLineEdit *x = nullptr, *y = nullptr, *length = nullptr, *width = nullptr, *angle = nullptr;
};

// Circles and rings (the ring adds its width).
class CirclePropDlg : public ObjectPropertiesDialog {
    Q_OBJECT
public:
    CirclePropDlg(const Word* record, Layout& layout, QWidget* parent = nullptr);

protected:
    CirclePropDlg(const char* name, const QString& caption, const Word* record, Layout& layout, QWidget* parent);
    bool ReadFields(std::vector<Word>& edited) override;

    QLineEdit *x = nullptr, *y = nullptr, *radius = nullptr;
};

class RingPropDlg : public CirclePropDlg {
    Q_OBJECT
public:
    RingPropDlg(const Word* record, Layout& layout, QWidget* parent = nullptr);

protected:
    bool ReadFields(std::vector<Word>& edited) override;

private:
    QLineEdit* width = nullptr;
};

class ArcWirePropDlg : public ObjectPropertiesDialog {
    Q_OBJECT
public:
    ArcWirePropDlg(const Word* record, Layout& layout, QWidget* parent = nullptr);

protected:
    bool ReadFields(std::vector<Word>& edited) override;

private:
    QLineEdit *xc = nullptr, *yc = nullptr, *xStart = nullptr, *yStart = nullptr, *xStop = nullptr, *yStop = nullptr,
              *width = nullptr;
    QRadioButton* styles[3] = {};
};

// The cell editor of the node table: the field laid over the cell.
class NodeCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit NodeCellDelegate(QObject* parent);
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // Ends an edit in progress, taking its text; false when none was open.
    bool FinishEdit();

private:
    mutable QPointer<QWidget> editor;
};

// The node table of polygons and wires: one row per node (index, x, y),
// cells edited in place, nodes deleted, inserted and added, the surface area
// or total length below.
class NodeTableDlg : public ObjectPropertiesDialog {
    Q_OBJECT
public:
    QTableView& View() { return *view; }
    // The nodes as the table holds them.
    const std::vector<Point>& Nodes() const;

    // Ends a cell edit first: OK then takes the cell and leaves the dialog
    // open.
    void accept() override;

protected:
    // `preselected`: the node to select, -1 for none.
    NodeTableDlg(const char* name, const QString& caption, const Word* record, int preselected, Layout& layout,
                 QWidget* parent);
    bool ReadFields(std::vector<Word>& edited) override;
    void showEvent(QShowEvent* event) override;
    void UpdateButtons();
    void UpdateMeasure();
    void DeleteNode();
    void InsertNode();
    void AddNode();

    NodeTableModel* model = nullptr;
    NodeCellDelegate* delegate = nullptr;
    QTableView* view = nullptr;
    QPushButton *deleteButton = nullptr, *insertButton = nullptr, *addButton = nullptr;
    QLabel* measure = nullptr;
    int preselected = -1;
};

class PolygonPropDlg : public NodeTableDlg {
    Q_OBJECT
public:
    PolygonPropDlg(const Word* record, int preselected, Layout& layout, QWidget* parent = nullptr);
};

class WirePropDlg : public NodeTableDlg {
    Q_OBJECT
public:
    WirePropDlg(const Word* record, int preselected, Layout& layout, QWidget* parent = nullptr);

protected:
    bool ReadFields(std::vector<Word>& edited) override;

private:
    QLineEdit* width = nullptr;
    QRadioButton* styles[3] = {};
};

// The placement fields of texts, scripts and calls: position, scales with
// the aspect lock, angle.
struct PlacementEdits {
    QLineEdit *x = nullptr, *y = nullptr, *xScale = nullptr, *yScale = nullptr, *angle = nullptr;
    QCheckBox* lockAspect = nullptr;
    // The texts first shown: unchanged fields keep the stored matrix exactly.
    QStringList shown;
    TransformMatrix stored;

    // While the lock is on, the y-scale is disabled and follows the x-scale.
    void ApplyLock() const;
    // The matrix of the fields; false after a message.
    bool Read(TransformMatrix& m) const;
};

// Text properties and "Insert text...".  With no record it starts empty:
// height 2000 um, at the origin, unscaled, unturned, on layer 0, with `font`.
class InsertTextDlg : public ObjectPropertiesDialog {
    Q_OBJECT
public:
    InsertTextDlg(const Word* record, const LOGFONTA& font, Layout& layout, QWidget* parent = nullptr);
    std::string Text() const;

protected:
    bool ReadFields(std::vector<Word>& edited) override;
    bool WithinLimit(std::vector<Word>& edited) override;
    void showEvent(QShowEvent* event) override;

private:
    void ChooseFont();

    QLineEdit *text = nullptr, *height = nullptr;
    QLabel* fontLabel = nullptr;
    PlacementEdits placement;
    std::string storedText;
    LOGFONTA font;
    bool inserting = false;
};

// A symbol call: the symbol called and the placement.
class SymbolPropDlg : public ObjectPropertiesDialog {
    Q_OBJECT
public:
    // `editedSymbol` holds the call: neither it nor a symbol calling it is
    // offered.
    SymbolPropDlg(const Word* record, const SymbolDescription& editedSymbol, Layout& layout, QWidget* parent = nullptr);

protected:
    bool ReadFields(std::vector<Word>& edited) override;
    void showEvent(QShowEvent* event) override;

private:
    QComboBox* symbols = nullptr;
    PlacementEdits placement;
};

class ArrayPropDlg : public ObjectPropertiesDialog {
    Q_OBJECT
public:
    ArrayPropDlg(const Word* record, const SymbolDescription& editedSymbol, Layout& layout, QWidget* parent = nullptr);

protected:
    bool ReadFields(std::vector<Word>& edited) override;

private:
    QComboBox* symbols = nullptr;
    QLineEdit *x = nullptr, *y = nullptr, *size = nullptr, *angle = nullptr, *rows = nullptr, *columns = nullptr,
              *rowSpacing = nullptr, *columnSpacing = nullptr;
    QCheckBox* mirror = nullptr;
    QStringList shown;
    bool shownMirrored = false;
};

// A script object: its text, placement and limits.  Changing any of them
// means running the script again, which needs the script engine: without
// it the dialog shows the object and refuses changes with a message.
class ScriptDlg : public ObjectPropertiesDialog {
    Q_OBJECT
public:
    ScriptDlg(const Word* record, Layout& layout, QWidget* parent = nullptr);
    std::string ScriptText() const;

protected:
    bool ReadFields(std::vector<Word>& edited) override;
    bool WithinLimit(std::vector<Word>& edited) override;
    void showEvent(QShowEvent* event) override;

private:
    void ChooseFont();

    QPlainTextEdit* memo = nullptr;
    QLineEdit *height = nullptr, *maxObjects = nullptr, *time = nullptr;
    QLabel* fontLabel = nullptr;
    PlacementEdits placement;
    std::string storedText;
    LOGFONTA font;
};

// The layer for several selected objects.
class LayerSelectDlg : public QDialog {
    Q_OBJECT
public:
    LayerSelectDlg(const Layout& layout, int layer, QWidget* parent = nullptr);
    // -1 when the layout has no layer.
    int Layer() const;

    void accept() override;

private:
    QComboBox* combo = nullptr;
};

}  // namespace zandor
