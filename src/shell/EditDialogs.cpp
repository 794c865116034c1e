#include "shell/EditDialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "model/Geometry.h"
#include "model/ModelSettings.h"
#include "platform/Messages.h"
#include "shell/DialogFields.h"
#include "shell/ShellSettings.h"

namespace zandor {

namespace {

// Micrometres typed into a field, as nanometres that may have a fraction (a
// centre or a target position); the invalid-number message otherwise.
bool ReadMicrons(const QLineEdit* edit, double& nanometres) {
    double value = 0;
    if (!ParseReal(Text(edit), value)) return false;
    nanometres = value * 1000;
    return true;
}

QString Micrometres(double nanometres) { return QString::fromStdString(FormatNumber(nanometres / 1000)); }

}  // namespace

TransformDialog::TransformDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Transform");
    setObjectName("TransformDialog");
    pages = new QTabWidget(this);
    pages->setObjectName("TransformPages");

    auto* move = new QWidget;
    auto* moveForm = new QFormLayout(move);
    moveX = Field("EditMoveX", "0.00", move);
    moveY = Field("EditMoveY", "0.00", move);
    moveRelative = new QCheckBox("Move relative", move);
    moveRelative->setObjectName("CheckMoveRelative");
    centreAtNewPosition = new QCheckBox("Center at new position", move);
    centreAtNewPosition->setObjectName("CheckCenter");
    moveForm->addRow("Move horizontally to/by:", moveX);
    moveForm->addRow("Move vertically to/by:", moveY);
    moveForm->addRow(moveRelative);
    moveForm->addRow(centreAtNewPosition);
    connect(moveRelative, &QCheckBox::toggled, this, [this](bool relative) {
        if (relative) centreAtNewPosition->setChecked(false);
        centreAtNewPosition->setEnabled(!relative);
    });

    auto* scale = new QWidget;
    auto* scaleForm = new QFormLayout(scale);
    scaleX = Field("EditScaleX", "100", scale);
    scaleY = Field("EditScaleY", "100", scale);
    keepAspect = new QCheckBox("Keep aspect ratio", scale);
    keepAspect->setObjectName("CheckKeepAspect");
    scaleWires = new QCheckBox("Scale wire thickness", scale);
    scaleWires->setObjectName("CheckScaleWires");
    scaleWires->setChecked(true);
    auto* aspectNote =
        new QLabel("Changing the aspect ratio wil cause most objects to be converted into polygons", scale);
    aspectNote->setWordWrap(true);
    scaleForm->addRow("Scale horizontally by:", scaleX);
    scaleForm->addRow("Scale vertically by:", scaleY);
    scaleForm->addRow(keepAspect);
    scaleForm->addRow(scaleWires);
    scaleForm->addRow(aspectNote);
    const auto followAspect = [this] {
        if (keepAspect->isChecked()) scaleY->setText(scaleX->text());
        scaleY->setEnabled(!keepAspect->isChecked());
    };
    connect(keepAspect, &QCheckBox::toggled, this, followAspect);
    connect(scaleX, &QLineEdit::textChanged, this, followAspect);
    keepAspect->setChecked(true);

    auto* rotate = new QWidget;
    auto* rotateForm = new QFormLayout(rotate);
    angle = Field("EditAngle", "0.000", rotate);
    rotX = Field("EditRotX", "0.00", rotate);
    rotY = Field("EditRotY", "0.00", rotate);
    auto* centre = new QHBoxLayout;
    centre->addWidget(rotX);
    centre->addWidget(rotY);
    rotateForm->addRow("Angle in degrees:", angle);
    rotateForm->addRow("Center of rotation:", centre);
    rotateForm->addRow(new QLabel("Positive angles are counter clockwise", rotate));

    auto* mirror = new QWidget;
    auto* mirrorForm = new QFormLayout(mirror);
    mirrorHorizontal = new QRadioButton("Horizontal", mirror);
    mirrorHorizontal->setObjectName("RadioHorizontal");
    mirrorVertical = new QRadioButton("Vertical", mirror);
    mirrorVertical->setObjectName("RadioVertical");
    mirrorHorizontal->setChecked(true);
    mirrorOrigin = Field("EditOrigin", "0.00", mirror);
    mirrorForm->addRow(mirrorHorizontal);
    mirrorForm->addRow(mirrorVertical);
    mirrorForm->addRow("Origin:", mirrorOrigin);

    auto* grow = new QWidget;
    auto* growForm = new QFormLayout(grow);
    amount = Field("EditAmount", "0.00", grow);
    roundCorners = new QCheckBox("Round corners", grow);
    roundCorners->setObjectName("CheckRoundCorners");
    growForm->addRow("Amount in micrometers:", amount);
    growForm->addRow(roundCorners);
    growForm->addRow(new QLabel("Positive amounts grow, negative amounts shrink the objects", grow));

    pages->addTab(move, "Move");
    pages->addTab(scale, "Scale");
    pages->addTab(rotate, "Rotate");
    pages->addTab(mirror, "Mirror");
    pages->addTab(grow, "Grow/shrink");

    leaveOriginal = new QCheckBox("Leave original", this);
    leaveOriginal->setObjectName("CheckLeaveOriginal");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages);
    layout->addWidget(leaveOriginal);
    layout->addWidget(OkCancel(this));
}

void TransformDialog::Prepare(TransformPage page, double centreX, double centreY) {
    pages->setCurrentIndex(static_cast<int>(page));
    rotX->setText(Micrometres(centreX));
    rotY->setText(Micrometres(centreY));
}

void TransformDialog::accept() {
    if (ReadFields()) QDialog::accept();
}

// Only the fields of the page shown are read: a bad number elsewhere does
// not stand in the way.
bool TransformDialog::ReadFields() {
    TransformRequest r;
    r.page = static_cast<TransformPage>(pages->currentIndex());
    r.leaveOriginal = leaveOriginal->isChecked();
    switch (r.page) {
        case TransformPage::Move:
            r.moveRelative = moveRelative->isChecked();
            r.centreAtNewPosition = centreAtNewPosition->isChecked();
            if (!ReadMicrons(moveX, r.moveX) || !ReadMicrons(moveY, r.moveY)) return false;
            break;
        case TransformPage::Scale: {
            double x = 0, y = 0;
            if (!ParseReal(Text(scaleX), x) || !ParseReal(Text(scaleY), y)) return false;
            r.scaleX = x / 100;
            r.scaleY = y / 100;
            break;
        }
        case TransformPage::Rotate:
            if (!ParseReal(Text(angle), r.angle) || !ReadMicrons(rotX, r.rotX) || !ReadMicrons(rotY, r.rotY))
                return false;
            break;
        case TransformPage::Mirror:
            r.mirrorVertical = mirrorVertical->isChecked();
            if (!ReadMicrons(mirrorOrigin, r.mirrorOrigin)) return false;
            break;
        case TransformPage::GrowShrink:
            r.roundCorners = roundCorners->isChecked();
            if (!ParseMicrons(Text(amount), r.amount)) return false;
            break;
    }
    request = r;
    return true;
}

DuplicateDialog::DuplicateDialog(QSettings* ini, QWidget* parent) : QDialog(parent), ini(ini) {
    setWindowTitle("Duplicate");
    setObjectName("DuplicateDialog");
    QString rowText = "2", columnText = "1";
    if (ini) {
        ini->beginGroup("Duplicate");
        rowText = ini->value("Rows", rowText).toString();
        columnText = ini->value("Cols", columnText).toString();
        ini->endGroup();
    }
    rows = Field("EditRows", rowText, this);
    columns = Field("EditCols", columnText, this);
    rowSpacing = Field("EditRowSpacing", "0", this);
    columnSpacing = Field("EditColSpacing", "0", this);
    asArray = new QCheckBox("Create symbol array", this);
    asArray->setObjectName("CheckArray");
    auto* form = new QFormLayout(this);
    form->addRow("Rows:", rows);
    form->addRow("Columns:", columns);
    form->addRow("Row spacing:", rowSpacing);
    form->addRow("Column spacing:", columnSpacing);
    form->addRow(asArray);
    form->addRow(OkCancel(this));
}

DuplicateDialog::~DuplicateDialog() {
    if (!ini) return;
    ini->beginGroup("Duplicate");
    ini->setValue("Rows", rows->text());
    ini->setValue("Cols", columns->text());
    ini->endGroup();
}

void DuplicateDialog::Prepare(std::int32_t rowStep, std::int32_t columnStep, bool singleCall) {
    rowSpacing->setText(QString::fromStdString(FormatMicrons(rowStep)));
    columnSpacing->setText(QString::fromStdString(FormatMicrons(columnStep)));
    asArray->setChecked(singleCall);
    asArray->setEnabled(singleCall);
}

void DuplicateDialog::accept() {
    DuplicateRequest r;
    std::int32_t n = 0, m = 0;
    if (!ParseInteger(Text(rows), n) || !ParseInteger(Text(columns), m)) return;
    if (!ParseMicrons(Text(rowSpacing), r.rowSpacing) || !ParseMicrons(Text(columnSpacing), r.columnSpacing)) return;
    r.rows = n;
    r.columns = m;
    r.asArray = asArray->isEnabled() && asArray->isChecked();
    request = r;
    QDialog::accept();
}

NewSymbolDialog::NewSymbolDialog(const QString& proposed, const Rect& selectionBox, QWidget* parent)
    : QDialog(parent), box(selectionBox) {
    setWindowTitle("New symbol...");
    setObjectName("NewSymbolDialog");
    name = Field("EditName", proposed, this);
    originX = Field("EditOriginX", "", this);
    originY = Field("EditOriginY", "", this);
    auto* grid = new QGridLayout;
    auto* group = new QButtonGroup(this);
    group->setExclusive(false);
    for (int i = 0; i < 9; ++i) {
        buttons[i] = new QRadioButton(this);
        buttons[i]->setObjectName(QString("RB%1").arg(i + 1));
        buttons[i]->setAutoExclusive(false);
        grid->addWidget(buttons[i], i / 3, i % 3, Qt::AlignCenter);
        group->addButton(buttons[i], i);
    }
    connect(group, &QButtonGroup::idClicked, this, [this](int id) { PlaceOrigin(id); });
    const auto typed = [this] {
        if (placing) return;
        for (QRadioButton* b : buttons) b->setChecked(false);
    };
    connect(originX, &QLineEdit::textEdited, this, typed);
    connect(originY, &QLineEdit::textEdited, this, typed);

    auto* frame = new QGroupBox("Origin:", this);
    auto* frameLayout = new QVBoxLayout(frame);
    auto* fields = new QHBoxLayout;
    fields->addWidget(originX);
    fields->addWidget(originY);
    frameLayout->addLayout(fields);
    frameLayout->addLayout(grid);
    auto* form = new QFormLayout(this);
    form->addRow("Name:", name);
    form->addRow(frame);
    form->addRow(OkCancel(this));
    PlaceOrigin(6);
}

QString NewSymbolDialog::Name() const { return name->text(); }

// RB1..RB9 row by row from the top left; middles truncated toward zero.
void NewSymbolDialog::PlaceOrigin(int button) {
    const std::int32_t xs[3] = {box.minx, static_cast<std::int32_t>((std::int64_t{box.minx} + box.maxx) / 2), box.maxx};
    const std::int32_t ys[3] = {box.maxy, static_cast<std::int32_t>((std::int64_t{box.miny} + box.maxy) / 2), box.miny};
    placing = true;
    for (int i = 0; i < 9; ++i) buttons[i]->setChecked(i == button);
    originX->setText(QString::fromStdString(FormatMicrons(xs[button % 3])));
    originY->setText(QString::fromStdString(FormatMicrons(ys[button / 3])));
    placing = false;
}

void NewSymbolDialog::accept() {
    Point p;
    if (!ParseMicrons(Text(originX), p.X) || !ParseMicrons(Text(originY), p.Y)) return;
    origin = p;
    QDialog::accept();
}

ReplaceSymbolsDialog::ReplaceSymbolsDialog(const std::vector<std::string>& names, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Replace existing symbols?");
    setObjectName("ReplaceSymbolsDialog");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("The following symbol definitions already exist: ", this));
    auto* list = new QListWidget(this);
    list->setObjectName("SymbolList");
    for (const std::string& n : names) list->addItem(QString::fromStdString(n));
    layout->addWidget(list);
    layout->addWidget(new QLabel("Do you want to replace these symbol definitions?", this));
    auto* warning = new QLabel("This action cannot be undone!", this);
    QFont bold = warning->font();
    bold.setBold(true);
    warning->setFont(bold);
    layout->addWidget(warning);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* yes = buttons->addButton("&Yes", QDialogButtonBox::YesRole);
    QPushButton* no = buttons->addButton("&No", QDialogButtonBox::NoRole);
    yes->setObjectName("YesButton");
    no->setObjectName("NoButton");
    no->setDefault(true);
    connect(yes, &QPushButton::clicked, this, &QDialog::accept);
    connect(no, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons);
}

PreferencesDialog::PreferencesDialog(const ShellSettings& shell, const ModelSettings& model, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle("Preferences");
    setObjectName("PreferencesDialog");
    allNodes = new QCheckBox("Select only objects with all nodes inside the rectangle", this);
    allNodes->setObjectName("CheckAllNodes");
    allNodes->setChecked(shell.allNodes);
    splitLarge = new QCheckBox("Split polygons with too many nodes", this);
    splitLarge->setObjectName("CheckSplitLargePolygons");
    splitLarge->setChecked(model.splitLargePolygons);
    const auto spin = [this](const char* name, int low, int high, int value) {
        auto* box = new QSpinBox(this);
        box->setObjectName(name);
        box->setRange(low, high);
        box->setValue(std::clamp(value, low, high));
        return box;
    };
    circleSegments = spin("SpinCircleSegments", 16, 512, model.circleNumSegments);
    ringSegments = spin("SpinRingSegments", 16, 512, model.ringNumSegments);
    maxPolyNodes = spin("SpinMaxPolyNodes", 16, 32768, model.maxPolyNodes);
    polygonGrid = Field("EditPolygonGrid", QString::number(model.polygonGrid), this);
    grid = model.polygonGrid;
    auto* form = new QFormLayout(this);
    form->addRow(allNodes);
    form->addRow(splitLarge);
    form->addRow("Maximum number of polygon nodes:", maxPolyNodes);
    form->addRow("Segments of a circle:", circleSegments);
    form->addRow("Segments of a ring:", ringSegments);
    form->addRow("Polygon grid (nm):", polygonGrid);
    form->addRow(OkCancel(this));
}

void PreferencesDialog::accept() {
    std::int32_t value = 0;
    if (!ParseInteger(Text(polygonGrid), value)) return;
    if (value < 0) {
        platform::ShowError("The polygon grid cannot be negative.");
        return;
    }
    grid = value;
    QDialog::accept();
}

void PreferencesDialog::Apply(ShellSettings& shell, ModelSettings& model) const {
    shell.allNodes = allNodes->isChecked();
    model.splitLargePolygons = splitLarge->isChecked();
    model.circleNumSegments = circleSegments->value();
    model.ringNumSegments = ringSegments->value();
    model.maxPolyNodes = maxPolyNodes->value();
    model.polygonGrid = grid;
}

WireSettingsDialog::WireSettingsDialog(std::int32_t width, int endStyle, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Wire settings");
    setObjectName("WireSettingsDialog");
    widthField = Field("EditWidth", Micrometres(width), this);
    auto* form = new QFormLayout(this);
    form->addRow("Width (um):", widthField);
    auto* group = new QGroupBox("End style", this);
    auto* column = new QVBoxLayout(group);
    const char* names[3] = {"RadioRound", "RadioFlat", "RadioExtended"};
    const char* captions[3] = {"&Round", "&Flat", "&Extended"};
    for (int i = 0; i < 3; ++i) {
        styles[i] = new QRadioButton(captions[i], group);
        styles[i]->setObjectName(names[i]);
        column->addWidget(styles[i]);
    }
    styles[std::clamp(endStyle, 0, 2)]->setChecked(true);
    form->addRow(group);
    form->addRow(OkCancel(this));
}

int WireSettingsDialog::EndStyle() const {
    for (int i = 0; i < 3; ++i)
        if (styles[i]->isChecked()) return i;
    return 0;
}

void WireSettingsDialog::accept() {
    std::int32_t value = 0;
    if (!ParseMicrons(Text(widthField), value)) return;
    // The width shares its word with the end style: 28 bits.
    if (value < 1000 || value >= (1 << 28)) {
        platform::ShowError("The wire width must be between 1 and 268435 um.");
        return;
    }
    width = value;
    QDialog::accept();
}

TextPropertiesDialog::TextPropertiesDialog(std::int32_t textHeight, std::int32_t milliDegrees, const QString& fontFace,
                                           QWidget* parent)
    : QDialog(parent), face(fontFace) {
    setWindowTitle("Text properties");
    setObjectName("TextPropertiesDialog");
    heightField = Field("EditSize", Micrometres(textHeight), this);
    angleField = Field("EditAngle", QString::fromStdString(FormatNumber(milliDegrees / 1000.0)), this);
    fontLabel = new QLabel(face, this);
    auto* chooser = new QPushButton("&Font...", this);
    chooser->setObjectName("ButtonFont");
    connect(chooser, &QPushButton::clicked, this, &TextPropertiesDialog::ChooseFont);
    auto* fontRow = new QHBoxLayout;
    fontRow->addWidget(fontLabel, 1);
    fontRow->addWidget(chooser);
    auto* form = new QFormLayout(this);
    form->addRow("Height (um):", heightField);
    form->addRow("Angle (degrees):", angleField);
    form->addRow("Font:", fontRow);
    form->addRow(OkCancel(this));
}

// Only the face, weight and slant are taken over: outlines are always
// fetched at one size.
void TextPropertiesDialog::ChooseFont() {
    QFont current(face);
    current.setBold(bold);
    current.setItalic(italic);
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, current, this, "Font", QFontDialog::ScalableFonts);
    if (!ok) return;
    face = chosen.family();
    bold = chosen.bold();
    italic = chosen.italic();
    fontLabel->setText(face);
}

void TextPropertiesDialog::accept() {
    std::int32_t value = 0;
    if (!ParseMicrons(Text(heightField), value)) return;
    if (value < 1000) {
        platform::ShowError("The text height must be at least 1 um.");
        return;
    }
    double degrees = 0;
    if (!ParseReal(Text(angleField), degrees)) return;
    if (!(std::abs(degrees) <= 360)) {
        platform::ShowError("The angle must lie between -360 and 360 degrees.");
        return;
    }
    height = value;
    angle = RoundHalfAway(degrees * 1000);
    QDialog::accept();
}

}  // namespace zandor
