#include "shell/LayoutDialogs.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>

#include "model/Geometry.h"
#include "model/Layout.h"
#include "platform/Messages.h"
#include "shell/DialogFields.h"
#include "shell/MainForm.h"

namespace zandor {

namespace {

constexpr const char* kMaskHelp = "mask-size";
constexpr const char* kLayerHelp = "layer-properties";

// Layer colours are 0x00BBGGRR.
QColor ToQColor(std::uint32_t color) {
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

std::uint32_t FromQColor(const QColor& color) {
    return static_cast<std::uint32_t>(color.red()) | static_cast<std::uint32_t>(color.green()) << 8 |
           static_cast<std::uint32_t>(color.blue()) << 16;
}

QString ColorText(std::uint32_t color) { return ToQColor(color).name(); }

// An integer field within low..high; the range message otherwise.
bool ReadBounded(QLineEdit* field, const char* what, int low, int high, std::int32_t& value) {
    if (!ParseInteger(Text(field), value)) {
        Focus(field);
        return false;
    }
    if (value < low || value > high) {
        platform::ShowError(std::string(what) + " must be between " + std::to_string(low) + " and " +
                            std::to_string(high) + ".");
        Focus(field);
        return false;
    }
    return true;
}

}  // namespace

// ---- Mask size ---------------------------------------------------------------

MaskSizeDialog::MaskSizeDialog(const Background& background, QWidget* parent) : QDialog(parent), chosen(background) {
    setObjectName("MaskSizeDialog");
    setWindowTitle("Mask size...");
    maskType = new QComboBox(this);
    maskType->setObjectName("ComboMask");
    maskType->addItems({"Custom", "3 inch x 3 inch", "4 inch x 4 inch", "5 inch x 5 inch", "6 inch x 6 inch",
                        "7 inch x 7 inch", "9 inch x 9 inch"});
    width = Field("EditWidth", QString(), this);
    length = Field("EditLength", QString(), this);
    warning = new QCheckBox("Show warning when layout exceeds mask boundary", this);
    warning->setObjectName("CheckWarning");
    warning->setChecked(background.showWarning);
    showMask = new QCheckBox("Show mask dimensions in background", this);
    showMask->setObjectName("CheckShowMask");
    showMask->setChecked(background.showMask);
    showWafer = new QCheckBox("Show wafer outline:", this);
    showWafer->setObjectName("CheckShowWafer");
    showWafer->setChecked(background.showWafer);
    waferType = new QComboBox(this);
    waferType->setObjectName("ComboWafer");
    waferType->addItems({"2 inch", "3 inch", "4 inch", "6 inch", "8 inch", "12 inch"});
    // An unknown wafer type is drawn as the 4 inch wafer, so it shows as that.
    waferType->setCurrentIndex(background.waferType >= 0 && background.waferType <= 5 ? background.waferType : 2);

    auto* form = new QFormLayout(this);
    form->addRow("Mask dimensions:", maskType);
    form->addRow("Width:", width);
    form->addRow("Length:", length);
    form->addRow(warning);
    form->addRow(showMask);
    auto* wafer = new QHBoxLayout;
    wafer->addWidget(showWafer);
    wafer->addWidget(waferType, 1);
    form->addRow(wafer);
    form->addRow(OkCancel(this, kMaskHelp));

    const int type = background.maskType >= 0 && background.maskType <= 6 ? background.maskType : 0;
    width->setText(Microns(static_cast<std::int32_t>(background.customWidth)));
    length->setText(Microns(static_cast<std::int32_t>(background.customHeight)));
    maskType->setCurrentIndex(type);
    TypeChosen(type);
    connect(maskType, &QComboBox::currentIndexChanged, this, &MaskSizeDialog::TypeChosen);
}

// A standard plate fills both fields with its side; only a custom plate
// lets them be typed.
void MaskSizeDialog::TypeChosen(int type) {
    const bool custom = type == 0;
    width->setEnabled(custom);
    length->setEnabled(custom);
    if (custom) return;
    const QString side = Microns(static_cast<std::int32_t>(Background::MaskSide(type)));
    width->setText(side);
    length->setText(side);
}

void MaskSizeDialog::accept() {
    std::int32_t sizes[2] = {};
    QLineEdit* fields[2] = {width, length};
    for (int i = 0; i < 2; ++i) {
        if (!ParseMicrons(Text(fields[i]), sizes[i])) {
            Focus(fields[i]);
            return;
        }
        // A plate of no size would put every object outside it.
        if (sizes[i] <= 0) {
            platform::ShowError("The mask size must be greater than 0.");
            Focus(fields[i]);
            return;
        }
    }
    chosen.maskType = maskType->currentIndex();
    chosen.customWidth = sizes[0];
    chosen.customHeight = sizes[1];
    chosen.waferType = waferType->currentIndex();
    chosen.showWarning = warning->isChecked();
    chosen.showMask = showMask->isChecked();
    chosen.showWafer = showWafer->isChecked();
    QDialog::accept();
}

// ---- Layer properties ----------------------------------------------------------

LayerPropertiesDialog::LayerPropertiesDialog(const Layout& layout, int index, QWidget* parent)
    : QDialog(parent), layout(layout), original(index), edited(index, *layout.Layer(index)) {
    setObjectName("LayerPropertiesDialog");
    setWindowTitle("Layer properties");
    indexLabel = new QLabel(QString::number(index), this);
    indexLabel->setObjectName("LabelIndex");
    auto* changeIndex = new QPushButton("Change &index...", this);
    changeIndex->setObjectName("ButtonChangeIndex");
    connect(changeIndex, &QPushButton::clicked, this, &LayerPropertiesDialog::ChangeIndex);
    name = Field("EditName", QString::fromStdString(edited.name), this);
    shortName = Field("EditShortName", QString::fromStdString(edited.shortName), this);
    defaultShortNames = new QCheckBox("Use default short names", this);
    defaultShortNames->setObjectName("CheckDefaultShortNames");
    connect(defaultShortNames, &QCheckBox::toggled, shortName, &QWidget::setDisabled);
    gdsLayer = Field("EditGdsLayer", QString::number(edited.GdsLayer()), this);
    dataType = Field("EditDataType", QString::number(edited.dataType), this);

    auto* polarity = new QGroupBox("Polarity", this);
    auto* polarityRow = new QHBoxLayout(polarity);
    clearField = new QRadioButton("&Clear field", polarity);
    clearField->setObjectName("RadioClearField");
    darkField = new QRadioButton("&Dark field", polarity);
    darkField->setObjectName("RadioDarkField");
    polarityRow->addWidget(clearField);
    polarityRow->addWidget(darkField);
    (edited.polarity ? clearField : darkField)->setChecked(true);

    fillColor = new QPushButton(this);
    fillColor->setObjectName("ButtonFillColor");
    outlineColor = new QPushButton(this);
    outlineColor->setObjectName("ButtonOutlineColor");
    connect(fillColor, &QPushButton::clicked, this, [this] { ChooseColor(true); });
    connect(outlineColor, &QPushButton::clicked, this, [this] { ChooseColor(false); });
    fillStyle = new QComboBox(this);
    fillStyle->setObjectName("ComboFillStyle");
    fillStyle->addItems({"Solid", "Backward diagonal", "Cross", "Diagonal cross", "Forward diagonal", "Horizontal",
                         "Vertical", "Hollow"});
    for (int i = 0; i < 8; ++i) {
        if (kFillStyles[i] == edited.fillStyle) fillStyle->setCurrentIndex(i);
    }
    outlineStyle = new QComboBox(this);
    outlineStyle->setObjectName("ComboOutlineStyle");
    outlineStyle->addItems({"Solid", "Dash", "Dot", "Dash-dot", "Dash-dot-dot"});
    outlineStyle->setCurrentIndex(edited.outlineStyle);
    connect(fillStyle, &QComboBox::currentIndexChanged, this, [this](int i) {
        edited.SetFillStyle(kFillStyles[i]);
        ShowColors();
    });
    connect(outlineStyle, &QComboBox::currentIndexChanged, this, [this](int i) {
        edited.SetOutlineStyle(i);
        ShowColors();
    });
    swatch = new QLabel(this);
    swatch->setObjectName("LabelSwatch");

    auto* form = new QFormLayout(this);
    auto* indexRow = new QHBoxLayout;
    indexRow->addWidget(indexLabel, 1);
    indexRow->addWidget(changeIndex);
    form->addRow("Index:", indexRow);
    form->addRow("Name:", name);
    form->addRow("Short name:", shortName);
    form->addRow(defaultShortNames);
    form->addRow("GDSII layer:", gdsLayer);
    form->addRow("GDSII datatype:", dataType);
    form->addRow(polarity);
    form->addRow("Fill colour:", fillColor);
    form->addRow("Fill style:", fillStyle);
    form->addRow("Outline colour:", outlineColor);
    form->addRow("Outline style:", outlineStyle);
    form->addRow("Preview:", swatch);
    form->addRow(OkCancel(this, kLayerHelp));
    ShowColors();
}

bool LayerPropertiesDialog::DefaultShortNames() const { return defaultShortNames->isChecked(); }

void LayerPropertiesDialog::ShowColors() {
    fillColor->setText(ColorText(edited.fillColor));
    outlineColor->setText(ColorText(edited.outlineColor));
    for (auto [button, color] : {std::pair{fillColor, edited.fillColor}, {outlineColor, edited.outlineColor}}) {
        QPixmap chip(16, 16);
        chip.fill(ToQColor(color));
        button->setIcon(QIcon(chip));
    }
    swatch->setPixmap(QPixmap::fromImage(LayerSwatch(edited)));
}

void LayerPropertiesDialog::ChooseColor(bool fill) {
    const QColor chosen = QColorDialog::getColor(ToQColor(fill ? edited.fillColor : edited.outlineColor), this,
                                                 fill ? "Fill colour" : "Outline colour");
    if (!chosen.isValid()) return;
    if (fill)
        edited.SetFillColor(FromQColor(chosen));
    else
        edited.SetOutlineColor(FromQColor(chosen));
    ShowColors();
}

// The new index is taken on OK; until then it only shows.
void LayerPropertiesDialog::ChangeIndex() {
    QString answer = QString::number(edited.index);
    for (;;) {
        bool ok = false;
        answer = QInputDialog::getText(this, "Layer index", "Enter a new, unused index (0..255):", QLineEdit::Normal,
                                       answer, &ok);
        if (!ok) return;
        std::int32_t value = -1;
        if (!ParseInteger(answer.trimmed().toStdString(), value) || value < 0 || value >= kLayerCount) {
            platform::ShowError("Value must be between 0 and 255");
            continue;
        }
        if (value != original && layout.Layer(value)) {
            platform::ShowError("Layer " + std::to_string(value) + " already exists!");
            continue;
        }
        // A layer that wrote its slot's number to GDSII keeps doing so.
        if (Text(gdsLayer) == std::to_string(edited.index)) gdsLayer->setText(QString::number(value));
        edited.index = value;
        indexLabel->setText(QString::number(value));
        return;
    }
}

void LayerPropertiesDialog::accept() {
    const std::string newName = Text(name).empty() ? LayerDescription::DefaultName(edited.index) : Text(name);
    const std::string newShort = Text(shortName);
    const bool defaults = defaultShortNames->isChecked();
    const auto refuse = [](QLineEdit* field, const std::string& message) {
        platform::ShowError(message);
        Focus(field);
    };
    const auto hasParenthesis = [](const std::string& text) { return text.find_first_of("()") != std::string::npos; };
    if (hasParenthesis(newName)) return refuse(name, "The layer name cannot contain the '(' or ')' characters!");
    if (const int other = layout.FindLayerByName(newName); other >= 0 && other != original)
        return refuse(name, "Layer name already exists!");
    if (!defaults) {
        if (hasParenthesis(newShort))
            return refuse(shortName, "The layer name cannot contain the '(' or ')' characters!");
        // The short name is written into CIF statements, which it must not end.
        if (newShort.empty() || newShort.find_first_of(" \t;") != std::string::npos)
            return refuse(shortName, "The short layer name must be one word without ';'.");
        if (const int other = layout.FindLayerByShortName(newShort); other >= 0 && other != original)
            return refuse(shortName, "Short layer name already exists!");
    }
    std::int32_t number = 0, type = 0;
    if (!ReadBounded(gdsLayer, "The GDSII layer", 0, 65535, number)) return;
    if (!ReadBounded(dataType, "The GDSII datatype", 0, 65535, type)) return;
    edited.name = newName;
    if (!defaults) edited.shortName = newShort;
    edited.gdsLayer = number == edited.index ? -1 : number;
    edited.dataType = static_cast<std::uint32_t>(type);
    edited.polarity = clearField->isChecked() ? 1 : 0;
    QDialog::accept();
}

bool ApplyLayerProperties(Layout& layout, int index, const LayerDescription& edited, bool defaultShortNames) {
    if (!layout.Layer(index)) return false;
    bool changed = false;
    if (edited.index != index) {
        if (!layout.ChangeLayerIndex(index, edited.index)) return false;
        changed = true;
    }
    LayerDescription& layer = *layout.Layer(edited.index);
    const auto take = [&changed](auto& field, const auto& value) {
        if (field == value) return;
        field = value;
        changed = true;
    };
    take(layer.name, edited.name);
    take(layer.shortName, edited.shortName);
    take(layer.dataType, edited.dataType);
    take(layer.gdsLayer, edited.gdsLayer);
    take(layer.polarity, edited.polarity);
    take(layer.fillColor, edited.fillColor);
    take(layer.outlineColor, edited.outlineColor);
    take(layer.fillStyle, edited.fillStyle);
    take(layer.outlineStyle, edited.outlineStyle);
    if (defaultShortNames) {
        for (int i = 0; i < kLayerCount; ++i) {
            if (LayerDescription* other = layout.Layer(i))
                take(other->shortName, LayerDescription::DefaultShortName(i));
        }
    }
    return changed;
}

}  // namespace zandor
