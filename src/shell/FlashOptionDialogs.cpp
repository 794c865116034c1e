#include "shell/FlashOptionDialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "model/Geometry.h"
#include "platform/Messages.h"
#include "shell/DialogFields.h"

namespace zandor {

namespace {

QString Number(double value) { return QString::fromStdString(FormatNumber(value)); }

// A number typed into a field; the invalid-number message otherwise.
bool Read(QLineEdit* field, double& value) {
    if (ParseReal(Text(field), value)) return true;
    Focus(field);
    return false;
}

bool Refuse(QLineEdit* field, const char* message) {
    platform::ShowError(message);
    Focus(field);
    return false;
}

QRadioButton* Radio(const char* name, const QString& caption, QWidget* parent) {
    auto* button = new QRadioButton(caption, parent);
    button->setObjectName(name);
    return button;
}

QCheckBox* Check(const char* name, const QString& caption, bool on, QWidget* parent) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setChecked(on);
    return box;
}

}  // namespace

// ---- Mann ----------------------------------------------------------------------

MannOptionsDlg::MannOptionsDlg(const MannOptions& options, FlashDialogUse use, QWidget* parent)
    : QDialog(parent), chosen(options) {
    setObjectName("MannOptionsDlg");
    setWindowTitle("Mann options");
    auto* systems = new QGroupBox("Coordinate system", this);
    auto* systemColumn = new QVBoxLayout(systems);
    singleQuadrant = Radio("RadioSingleQuadrant", "Single quadrant, only positive x and y", systems);
    fourQuadrant = Radio("RadioFourQuadrant", "Four quadrant, centre at (0,0)", systems);
    systemColumn->addWidget(singleQuadrant);
    systemColumn->addWidget(fourQuadrant);
    auto* unitGroup = new QGroupBox("Units", this);
    auto* unitRow = new QHBoxLayout(unitGroup);
    metric = Radio("RadioMetric", "Metric (um)", unitGroup);
    english = Radio("RadioEnglish", "English (0.1mil)", unitGroup);
    unitRow->addWidget(metric);
    unitRow->addWidget(english);

    mirror = Check("CheckMirror", "Mirror horizontally", options.mirrorX, this);
    scale = Field("EditScale", QString(), this);
    minCoordinate = Field("EditMinCoordinate", QString(), this);
    maxCoordinate = Field("EditMaxCoordinate", QString(), this);
    resolution = Field("EditResolution", QString(), this);
    minFlash = Field("EditMinFlash", QString(), this);
    maxFlash = Field("EditMaxFlash", QString(), this);
    flashResolution = Field("EditFlashResolution", QString(), this);
    angleResolution = Field("EditAngleResolution", QString(), this);
    implicitPoint = Check("CheckImplicitDP", "Implicit leading decimal point", options.implicitDecimalPoint, this);
    lineBreaks = Check("CheckLineBreaks", "Use line breaks", options.lineBreaks, this);
    blocks = Check("CheckBlocks", "Header and format in blocks of 512 characters", options.blocks, this);

    auto* values = new QGridLayout;
    const std::pair<const char*, QLineEdit*> rows[] = {{"Scaling factor:", scale},
                                                       {"Minimum coordinate value:", minCoordinate},
                                                       {"Maximum coordinate value:", maxCoordinate},
                                                       {"Resolution:", resolution},
                                                       {"Minimum flash size:", minFlash},
                                                       {"Maximum flash size:", maxFlash},
                                                       {"Resolution:", flashResolution},
                                                       {"Angle resolution:", angleResolution}};
    int row = 0;
    for (const auto& [caption, field] : rows) {
        values->addWidget(new QLabel(caption, this), row, 0);
        values->addWidget(field, row, 1);
        ++row;
    }
    for (int i = 0; i < 6; ++i) {
        units[i] = new QLabel(this);
        values->addWidget(units[i], i + 1, 2);
    }
    values->addWidget(new QLabel("degrees", this), 7, 2);

    auto* column = new QVBoxLayout(this);
    column->addWidget(systems);
    column->addWidget(unitGroup);
    column->addWidget(mirror);
    column->addLayout(values);
    column->addWidget(implicitPoint);
    column->addWidget(lineBreaks);
    column->addWidget(blocks);
    // A file being read has no blocks to choose.
    if (use == FlashDialogUse::Read) blocks->hide();
    column->addWidget(OkCancel(this));

    (options.singleQuadrant ? singleQuadrant : fourQuadrant)->setChecked(true);
    (options.metric ? metric : english)->setChecked(true);
    Show(options);
    lineBreaks->setEnabled(!blocks->isChecked() || use == FlashDialogUse::Read);
    if (blocks->isChecked() && use == FlashDialogUse::Write) lineBreaks->setChecked(false);
    // Blocks are padded to their length, so statements in blocks have no
    // line breaks.
    connect(blocks, &QCheckBox::toggled, this, [this](bool on) {
        if (on) lineBreaks->setChecked(false);
        lineBreaks->setEnabled(!on);
    });
    for (QRadioButton* button : {singleQuadrant, fourQuadrant, metric, english}) {
        connect(button, &QRadioButton::toggled, this, [this](bool on) {
            if (on) SystemChosen();
        });
    }
}

// The coordinates show in mm or inch, the four small lengths in um or mils.
void MannOptionsDlg::Show(const MannOptions& options) {
    scale->setText(Number(options.scale));
    minCoordinate->setText(Number(options.minCoordinate));
    maxCoordinate->setText(Number(options.maxCoordinate));
    resolution->setText(Number(options.resolution * 1000));
    minFlash->setText(Number(options.minFlash * 1000));
    maxFlash->setText(Number(options.maxFlash * 1000));
    flashResolution->setText(Number(options.flashResolution * 1000));
    angleResolution->setText(Number(options.angleResolution));
    const QString big = options.metric ? "mm" : "inch", small = options.metric ? "um" : "mils";
    for (int i = 0; i < 6; ++i) units[i]->setText(i < 2 ? big : small);
}

void MannOptionsDlg::SystemChosen() {
    MannOptions preset = chosen;
    ApplyMannSystem(preset, singleQuadrant->isChecked(), metric->isChecked());
    // Only the lengths and their units change; scale and angles stay as typed.
    const QString keepScale = scale->text(), keepAngle = angleResolution->text();
    Show(preset);
    scale->setText(keepScale);
    angleResolution->setText(keepAngle);
}

void MannOptionsDlg::accept() {
    double v[8] = {};
    QLineEdit* fields[8] = {scale,    minCoordinate, maxCoordinate,   resolution,
                            minFlash, maxFlash,      flashResolution, angleResolution};
    for (int i = 0; i < 8; ++i)
        if (!Read(fields[i], v[i])) return;
    for (int i = 3; i < 7; ++i) v[i] /= 1000;
    if (v[0] <= 0) return void(Refuse(scale, "The scaling factor must be greater than 0."));
    if (v[1] >= v[2]) return void(Refuse(maxCoordinate, "The maximum coordinate must lie above the minimum."));
    if (v[3] <= 0) return void(Refuse(resolution, "The resolution must be greater than 0."));
    if (v[4] < 0) return void(Refuse(minFlash, "The minimum flash size cannot be negative."));
    if (v[5] < v[3] || v[5] < v[4])
        return void(
            Refuse(maxFlash, "The maximum flash size must be at least the resolution and the minimum flash size."));
    if (v[6] < 0) return void(Refuse(flashResolution, "The flash resolution cannot be negative."));
    if (v[7] < 0.001 || v[7] > 90)
        return void(Refuse(angleResolution, "The angle resolution must lie between 0.001 and 90 degrees."));
    chosen.singleQuadrant = singleQuadrant->isChecked();
    chosen.metric = metric->isChecked();
    chosen.mirrorX = mirror->isChecked();
    chosen.scale = v[0];
    chosen.minCoordinate = v[1];
    chosen.maxCoordinate = v[2];
    chosen.resolution = v[3];
    chosen.minFlash = v[4];
    chosen.maxFlash = v[5];
    chosen.flashResolution = v[6];
    chosen.angleResolution = v[7];
    chosen.implicitDecimalPoint = implicitPoint->isChecked();
    chosen.lineBreaks = lineBreaks->isChecked();
    if (!blocks->isHidden()) chosen.blocks = blocks->isChecked();
    QDialog::accept();
}

// ---- EMK -------------------------------------------------------------------------

EmkOptionsDlg::EmkOptionsDlg(const EmkOptions& options, QWidget* parent) : QDialog(parent), chosen(options) {
    setObjectName("EmkOptionsDlg");
    setWindowTitle("EMK Options...");
    unit = Field("EditUnit", QString(), this);
    minFlash = Field("EditMinFlash", QString(), this);
    maxFlash = Field("EditMaxFlash", QString(), this);
    auto* grid = new QGridLayout;
    const std::pair<const char*, QLineEdit*> rows[] = {
        {"Unit:", unit}, {"Min. flash size:", minFlash}, {"Max. flash size:", maxFlash}};
    for (int i = 0; i < 3; ++i) {
        grid->addWidget(new QLabel(rows[i].first, this), i, 0);
        grid->addWidget(rows[i].second, i, 1);
        labels[i] = new QLabel(this);
        grid->addWidget(labels[i], i, 2);
    }
    auto* system = new QGroupBox("Units", this);
    auto* row = new QHBoxLayout(system);
    micrometres = Radio("RadioUm", "um", system);
    mils = Radio("RadioMils", "mils", system);
    row->addWidget(micrometres);
    row->addWidget(mils);
    (options.mils ? mils : micrometres)->setChecked(true);
    auto* column = new QVBoxLayout(this);
    column->addLayout(grid);
    column->addWidget(system);
    column->addWidget(OkCancel(this));
    Show();
    connect(mils, &QRadioButton::toggled, this, &EmkOptionsDlg::UnitsChosen);
}

void EmkOptionsDlg::Show() {
    unit->setText(Number(chosen.unit));
    minFlash->setText(Number(chosen.minFlash));
    maxFlash->setText(Number(chosen.maxFlash));
    for (QLabel* label : labels) label->setText(chosen.mils ? "mils" : "um");
}

// The three fields are converted to the other system as they stand; a field
// that does not hold a number keeps its text.
void EmkOptionsDlg::UnitsChosen(bool toMils) {
    if (toMils == chosen.mils) return;
    EmkOptions shown = chosen;
    QLineEdit* fields[3] = {unit, minFlash, maxFlash};
    double* values[3] = {&shown.unit, &shown.minFlash, &shown.maxFlash};
    bool valid[3] = {};
    for (int i = 0; i < 3; ++i) valid[i] = ParseRealSilent(Text(fields[i]), *values[i]);
    SwitchEmkUnits(shown, toMils);
    const QString kept[3] = {unit->text(), minFlash->text(), maxFlash->text()};
    chosen.mils = toMils;
    for (int i = 0; i < 3; ++i) fields[i]->setText(valid[i] ? Number(*values[i]) : kept[i]);
    for (QLabel* label : labels) label->setText(toMils ? "mils" : "um");
}

void EmkOptionsDlg::accept() {
    double v[3] = {};
    QLineEdit* fields[3] = {unit, minFlash, maxFlash};
    for (int i = 0; i < 3; ++i)
        if (!Read(fields[i], v[i])) return;
    if (v[0] <= 0) return void(Refuse(unit, "Unit must be a positive value"));
    if (v[1] < 0) return void(Refuse(minFlash, "The minimum flash size cannot be negative."));
    if (v[2] < v[0] || v[2] < v[1])
        return void(Refuse(maxFlash, "The maximum flash size must be at least the unit and the minimum flash size."));
    chosen.unit = v[0];
    chosen.minFlash = v[1];
    chosen.maxFlash = v[2];
    chosen.mils = mils->isChecked();
    QDialog::accept();
}

// ---- The questions ---------------------------------------------------------------

bool QtFlashOptionDialogs::Mann(MannOptions& options, FlashDialogUse use) {
    MannOptionsDlg dialog(options, use, owner);
    if (dialog.exec() != QDialog::Accepted) return false;
    options = dialog.Chosen();
    FlashSettings().mann = options;
    return true;
}

bool QtFlashOptionDialogs::Emk(EmkOptions& options, FlashDialogUse) {
    EmkOptionsDlg dialog(options, owner);
    if (dialog.exec() != QDialog::Accepted) return false;
    options = dialog.Chosen();
    FlashSettings().emk = options;
    return true;
}

}  // namespace zandor
