// The dialogs of the Layout menu that edit the layout's surroundings rather
// than its objects: the mask plate and wafer behind the main symbol, and the
// description of one layer.  Like the other dialogs they check what was typed
// when OK is pressed and stay open after a message.
#pragma once

#include <QDialog>
#include <cstdint>

#include "display/Background.h"
#include "model/LayerDescription.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zandor {

class Layout;

// "Mask size...": the plate type and custom size, the wafer, and the flags
// that show them and warn about objects beyond the plate.
class MaskSizeDialog : public QDialog {
    Q_OBJECT
public:
    MaskSizeDialog(const Background& background, QWidget* parent = nullptr);
    // What OK leaves; equal to the background handed in until then.
    const Background& Chosen() const { return chosen; }

    void accept() override;

private:
    void TypeChosen(int type);

    Background chosen;
    QComboBox *maskType = nullptr, *waferType = nullptr;
    QLineEdit *width = nullptr, *length = nullptr;
    QCheckBox *warning = nullptr, *showMask = nullptr, *showWafer = nullptr;
};

// "Layer properties": names, index, GDSII layer and datatype, polarity, and
// the colours and styles the layer is drawn with.
class LayerPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    LayerPropertiesDialog(const Layout& layout, int index, QWidget* parent = nullptr);
    // The description OK leaves; its index is the slot the layer moves to.
    const LayerDescription& Edited() const { return edited; }
    bool DefaultShortNames() const;

    void accept() override;

    // Fill styles in the order the list offers them.
    static constexpr int kFillStyles[8] = {FillSolid,           FillBackwardDiagonal, FillCross,    FillDiagonalCross,
                                           FillForwardDiagonal, FillHorizontal,       FillVertical, FillHollow};

private:
    void ChangeIndex();
    void ChooseColor(bool fill);
    void ShowColors();

    const Layout& layout;
    int original;
    LayerDescription edited;
    QLabel *indexLabel = nullptr, *swatch = nullptr;
    QLineEdit *name = nullptr, *shortName = nullptr, *gdsLayer = nullptr, *dataType = nullptr;
    QCheckBox* defaultShortNames = nullptr;
    QRadioButton *clearField = nullptr, *darkField = nullptr;
    QPushButton *fillColor = nullptr, *outlineColor = nullptr;
    QComboBox *fillStyle = nullptr, *outlineStyle = nullptr;
};

// Puts what the layer properties dialog left into the layout's table: moves
// the layer (and its objects) to a new index, then takes the fields; with
// defaultShortNames every layer's short name becomes "L" + index.  Returns
// whether anything changed.
bool ApplyLayerProperties(Layout& layout, int index, const LayerDescription& edited, bool defaultShortNames);

}  // namespace zandor
