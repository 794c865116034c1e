#include "shell/PlotOptionDialogs.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "base/Numbers.h"
#include "model/Geometry.h"
#include "platform/Messages.h"
#include "shell/DialogFields.h"
#include "shell/ShellSettings.h"

namespace zandor {

namespace {

constexpr double kNanometresPerMil = 25400;
constexpr double kNanometresPerMillimetre = 1000000;
// Far beyond any aperture, and well inside the coordinate range.
constexpr double kLargestApertureMillimetres = 1000;

enum ShapeIndex { kRound = 0, kSquare = 1, kNone = 2 };

bool Refuse(QWidget* field, const char* message) {
    platform::ShowError(message);
    Focus(field);
    return false;
}

QRadioButton* Radio(const char* name, const QString& caption, QWidget* parent) {
    auto* button = new QRadioButton(caption, parent);
    button->setObjectName(name);
    return button;
}

// A field that takes one character: a digit of the coordinate format or a
// block character.
QLineEdit* OneCharacterField(const char* name, const QString& text, QWidget* parent) {
    QLineEdit* field = Field(name, text, parent);
    field->setMaxLength(1);
    field->setFixedWidth(field->fontMetrics().horizontalAdvance("MM") + 16);
    field->setAlignment(Qt::AlignCenter);
    return field;
}

// "Coordinate format:" [integers] . [decimals]
void AddCoordinateFormat(QGridLayout* grid, int row, QLineEdit*& integers, QLineEdit*& decimals, int integerDigits,
                         int decimalDigits, QWidget* parent) {
    integers = OneCharacterField("EditIntegers", QString::number(integerDigits), parent);
    decimals = OneCharacterField("EditDecimals", QString::number(decimalDigits), parent);
    auto* fields = new QHBoxLayout;
    fields->addWidget(integers);
    fields->addWidget(new QLabel(".", parent));
    fields->addWidget(decimals);
    fields->addStretch();
    grid->addWidget(new QLabel("Coordinate format:", parent), row, 0);
    grid->addLayout(fields, row, 1);
}

// "Units:" (o) Inches (o) Millimeters
void AddUnits(QGridLayout* grid, int row, QRadioButton*& inches, QRadioButton*& millimetres, bool metric,
              QWidget* parent) {
    inches = Radio("RadioInches", "Inches", parent);
    millimetres = Radio("RadioMillimeters", "Millimeters", parent);
    // The group keeps the pair exclusive apart from other radio buttons of
    // the dialog.
    auto* group = new QButtonGroup(parent);
    group->addButton(inches);
    group->addButton(millimetres);
    (metric ? millimetres : inches)->setChecked(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(inches);
    buttons->addWidget(millimetres);
    buttons->addStretch();
    grid->addWidget(new QLabel("Units:", parent), row, 0);
    grid->addLayout(buttons, row, 1);
}

// The digit a one-digit field holds, -1 for anything else.
int Digit(const QLineEdit* field) {
    const std::string text = Text(field);
    return text.size() == 1 && text[0] >= '0' && text[0] <= '9' ? text[0] - '0' : -1;
}

// The two digits of the coordinate format.  Decimals beyond 6 would make
// the file's unit smaller than a nanometre, which nothing can hold.
bool ReadCoordinateFormat(QLineEdit* integersField, QLineEdit* decimalsField, int& integers, int& decimals) {
    integers = Digit(integersField);
    if (integers < 1) return Refuse(integersField, "Number of integer digits must be between 1 and 9");
    decimals = Digit(decimalsField);
    if (decimals < 0 || decimals > 6) return Refuse(decimalsField, "Number of decimals must be between 0 and 6");
    return true;
}

// The one character a block character field holds; false after a message.
bool ReadBlockCharacter(QLineEdit* field, char& c, const char* message) {
    const QString text = field->text();
    const char candidate = text.size() == 1 ? text.at(0).toLatin1() : '\0';
    if (!UsableGerberBlockCharacter(candidate)) return Refuse(field, message);
    c = candidate;
    return true;
}

}  // namespace

// ---- Apertures ---------------------------------------------------------------------

AperturesDlg::AperturesDlg(const GerberApertureTable& table, bool mils, QWidget* parent)
    : QDialog(parent), chosen(table), shownInMils(mils) {
    setObjectName("AperturesDlg");
    setWindowTitle("Apertures");
    unit = new QComboBox(this);
    unit->setObjectName("UnitCombo");
    unit->addItems({"mm", "mils"});
    unit->setCurrentIndex(mils ? 1 : 0);
    auto* unitRow = new QHBoxLayout;
    unitRow->addWidget(new QLabel("Unit:", this));
    unitRow->addWidget(unit);
    unitRow->addStretch();

    // Five columns of ten rows: D10..D19 down the first.
    constexpr int kRowsPerColumn = 10;
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int code = static_cast<int>(i) + kGerberFirstDCode;
        const int gridRow = static_cast<int>(i) % kRowsPerColumn, column = static_cast<int>(i) / kRowsPerColumn * 3;
        Row& row = rows[i];
        row.size = Field(QString("EditD%1").arg(code).toLatin1().constData(), QString(), this);
        row.size->setFixedWidth(row.size->fontMetrics().horizontalAdvance("0.000000") + 16);
        row.shape = new QComboBox(this);
        row.shape->setObjectName(QString("ShapeD%1").arg(code));
        row.shape->addItems({"Round", "Square", "None"});
        const GerberAperture& entry = table[i];
        row.shape->setCurrentIndex(!entry.InUse() ? kNone : entry.square ? kSquare : kRound);
        row.sized = entry;
        auto* label = new QLabel(QString("D%1").arg(code), this);
        label->setContentsMargins(column ? 12 : 0, 0, 0, 0);
        grid->addWidget(label, gridRow, column);
        grid->addWidget(row.size, gridRow, column + 1);
        grid->addWidget(row.shape, gridRow, column + 2);
    }
    ShowSizes();

    auto* columnLayout = new QVBoxLayout(this);
    columnLayout->addLayout(unitRow);
    columnLayout->addLayout(grid);
    columnLayout->addWidget(OkCancel(this));
    connect(unit, &QComboBox::currentIndexChanged, this, &AperturesDlg::UnitChosen);
}

void AperturesDlg::ShowSizes() {
    for (Row& row : rows) {
        row.shown = shownInMils ? QString::number(row.sized.mils)
                                : QString::fromStdString(FormatNumber(row.sized.nanometres / kNanometresPerMillimetre));
        row.size->setText(row.shown);
    }
}

bool AperturesDlg::ReadSize(const Row& row, GerberAperture& size) const {
    if (row.size->text().trimmed() == row.shown) {
        size = row.sized;
        return true;
    }
    double value = 0;
    if (!ParseReal(Text(row.size), value)) return false;
    const double millimetres = shownInMils ? value * kNanometresPerMil / kNanometresPerMillimetre : value;
    if (millimetres > kLargestApertureMillimetres) {
        platform::ShowError("An aperture cannot be larger than 1000 mm (39370 mils).");
        return false;
    }
    if (shownInMils) {
        size.nanometres = RoundHalfAway(value * kNanometresPerMil);
        size.mils = RoundHalfAway(value);
    } else {
        size.nanometres = RoundHalfAway(value * kNanometresPerMillimetre);
        size.mils = RoundHalfAway(static_cast<double>(size.nanometres) / kNanometresPerMil);
    }
    return true;
}

// Every row's size is read in the unit shown so far and shown in the other
// one.  A size that cannot be read stops the switch: the list goes back to
// the unit the fields are in.
void AperturesDlg::UnitChosen() {
    const bool toMils = unit->currentIndex() == 1;
    if (toMils == shownInMils) return;
    std::array<GerberAperture, kGerberApertureCount> sizes{};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!ReadSize(rows[i], sizes[i])) {
            const QSignalBlocker quiet(unit);
            unit->setCurrentIndex(shownInMils ? 1 : 0);
            Focus(rows[i].size);
            return;
        }
    }
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i].sized = sizes[i];
    shownInMils = toMils;
    ShowSizes();
}

void AperturesDlg::accept() {
    GerberApertureTable table = chosen;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        Row& row = rows[i];
        const int shape = row.shape->currentIndex();
        GerberAperture size;
        // A row without a shape is not in use whatever its size field says.
        if (shape == kNone) {
            table[i] = GerberAperture{};
            continue;
        }
        if (!ReadSize(row, size)) {
            Focus(row.size);
            return;
        }
        table[i] =
            size.nanometres > 0 ? GerberAperture{size.nanometres, size.mils, shape == kSquare} : GerberAperture{};
    }
    chosen = table;
    QDialog::accept();
}

// ---- Gerber options ------------------------------------------------------------------

GbrOptionsDlg::GbrOptionsDlg(const GerberOptions& options, QWidget* parent) : QDialog(parent), chosen(options) {
    setObjectName("GbrOptionsDlg");
    setWindowTitle("Gerber RS-274X options...");
    auto* grid = new QGridLayout;
    AddCoordinateFormat(grid, 0, integers, decimals, options.integers, options.decimals, this);
    AddUnits(grid, 1, inches, millimetres, options.millimetres, this);
    endOfBlock = OneCharacterField("EditEndOfBlock", QString(QChar(options.endOfBlock)), this);
    delimiter = OneCharacterField("EditParDelim", QString(QChar(options.parameterDelimiter)), this);
    grid->addWidget(new QLabel("End-of-block character:", this), 2, 0);
    grid->addWidget(endOfBlock, 2, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel("Parameter delimiter:", this), 3, 0);
    grid->addWidget(delimiter, 3, 1, Qt::AlignLeft);

    auto* fill = new QGroupBox("Polygon fill (G36/G37):", this);
    auto* fillColumn = new QVBoxLayout(fill);
    fillAlways = Radio("RadioFillAlways", "Always", fill);
    fillNever = Radio("RadioFillNever", "Never", fill);
    fillWhenNecessary = Radio("RadioFillWhenNecessary", "Only when necessary", fill);
    for (QRadioButton* button : {fillAlways, fillNever, fillWhenNecessary}) fillColumn->addWidget(button);
    switch (options.fill) {
        case GerberFill::Always: fillAlways->setChecked(true); break;
        case GerberFill::Never: fillNever->setChecked(true); break;
        case GerberFill::WhenNecessary: fillWhenNecessary->setChecked(true); break;
    }

    auto* apertures = new QPushButton("Apertures...", this);
    apertures->setObjectName("ButtonApertures");
    apertures->setAutoDefault(false);
    auto* apertureRow = new QHBoxLayout;
    apertureRow->addWidget(apertures);
    apertureRow->addStretch();

    auto* column = new QVBoxLayout(this);
    column->addLayout(grid);
    column->addWidget(fill);
    column->addLayout(apertureRow);
    column->addWidget(OkCancel(this));
    connect(apertures, &QPushButton::clicked, this, &GbrOptionsDlg::EditApertures);
}

// The table edited here goes with the other options: Cancel on this dialog
// drops it too.
void GbrOptionsDlg::EditApertures() {
    AperturesDlg dialog(chosen.apertures, inches->isChecked(), this);
    if (dialog.exec() == QDialog::Accepted) chosen.apertures = dialog.Chosen();
}

void GbrOptionsDlg::accept() {
    int integerDigits = 0, decimalDigits = 0;
    if (!ReadCoordinateFormat(integers, decimals, integerDigits, decimalDigits)) return;
    char block = 0, parameter = 0;
    if (!ReadBlockCharacter(endOfBlock, block,
                            "The end-of-block character must be one character other than a letter, digit, blank, "
                            "sign, point or comma."))
        return;
    if (!ReadBlockCharacter(delimiter, parameter,
                            "The parameter delimiter must be one character other than a letter, digit, blank, sign, "
                            "point or comma."))
        return;
    if (block == parameter)
        return void(Refuse(delimiter, "The parameter delimiter must differ from the end-of-block character."));
    chosen.integers = integerDigits;
    chosen.decimals = decimalDigits;
    chosen.millimetres = millimetres->isChecked();
    chosen.endOfBlock = block;
    chosen.parameterDelimiter = parameter;
    chosen.fill = fillAlways->isChecked()  ? GerberFill::Always
                  : fillNever->isChecked() ? GerberFill::Never
                                           : GerberFill::WhenNecessary;
    QDialog::accept();
}

// ---- Drill options -------------------------------------------------------------------

TapOptionsDlg::TapOptionsDlg(const DrillOptions& options, QWidget* parent) : QDialog(parent), chosen(options) {
    setObjectName("TapOptionsDlg");
    setWindowTitle("Drill file options...");
    auto* grid = new QGridLayout;
    AddCoordinateFormat(grid, 0, integers, decimals, options.integers, options.decimals, this);
    AddUnits(grid, 1, inches, millimetres, options.millimetres, this);
    auto* column = new QVBoxLayout(this);
    column->addLayout(grid);
    column->addWidget(OkCancel(this));
}

void TapOptionsDlg::accept() {
    int integerDigits = 0, decimalDigits = 0;
    if (!ReadCoordinateFormat(integers, decimals, integerDigits, decimalDigits)) return;
    chosen.integers = integerDigits;
    chosen.decimals = decimalDigits;
    chosen.millimetres = millimetres->isChecked();
    QDialog::accept();
}

// ---- The questions ---------------------------------------------------------------------

bool QtGerberOptionDialog::Ask(GerberOptions& options) {
    GbrOptionsDlg dialog(options, owner);
    if (dialog.exec() != QDialog::Accepted) return false;
    options = dialog.Chosen();
    GerberSettings() = options;
    if (stored) stored();
    return true;
}

bool QtDrillOptionDialog::Ask(DrillOptions& options, DrillDialogUse) {
    TapOptionsDlg dialog(options, owner);
    if (dialog.exec() != QDialog::Accepted) return false;
    options = dialog.Chosen();
    DrillSettings() = options;
    if (stored) stored();
    return true;
}

}  // namespace zandor
