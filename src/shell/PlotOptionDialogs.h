// The options dialogs of the photoplot and drill files: "Gerber RS-274X
// options..." with its aperture table, and "Drill file options...".  Like
// the other dialogs they check what was typed when OK is pressed and stay
// open after a message; Cancel leaves the values they were given alone.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <array>
#include <functional>
#include <utility>

#include "formats/drill/DrillOptions.h"
#include "formats/gerber/GerberOptions.h"

class QComboBox;
class QLineEdit;
class QRadioButton;

namespace zandor {

// The 50 rows D10..D59: a size in the unit chosen ("mm" or "mils") and a
// shape ("Round", "Square", "None").  On OK a size v in mils gives
// round(v * 25400) nm and round(v) mils, one in millimetres round(v * 1e6) nm
// and round(nm / 25400) mils; "None" or a size of 0 or less is an entry not
// in use.  A row left as it was shown keeps its entry exactly, and switching
// the unit shows every row's size in the other unit, so neither rounds a
// size to whole mils unasked.
class AperturesDlg : public QDialog {
    Q_OBJECT
public:
    AperturesDlg(const GerberApertureTable& table, bool mils, QWidget* parent = nullptr);
    const GerberApertureTable& Chosen() const { return chosen; }

    void accept() override;

private:
    struct Row {
        QLineEdit* size = nullptr;
        QComboBox* shape = nullptr;
        GerberAperture sized;  // the size the field shows, kept exactly
        QString shown;         // the text it was shown with
    };
    void ShowSizes();
    void UnitChosen();
    // The size a row holds in the unit shown; false after a message.
    bool ReadSize(const Row& row, GerberAperture& size) const;

    GerberApertureTable chosen;
    std::array<Row, kGerberApertureCount> rows;
    QComboBox* unit = nullptr;
    bool shownInMils = false;
};

class GbrOptionsDlg : public QDialog {
    Q_OBJECT
public:
    GbrOptionsDlg(const GerberOptions& options, QWidget* parent = nullptr);
    const GerberOptions& Chosen() const { return chosen; }

    void accept() override;

private:
    void EditApertures();

    GerberOptions chosen;
    QLineEdit *integers = nullptr, *decimals = nullptr, *endOfBlock = nullptr, *delimiter = nullptr;
    QRadioButton *inches = nullptr, *millimetres = nullptr;
    QRadioButton *fillAlways = nullptr, *fillNever = nullptr, *fillWhenNecessary = nullptr;
};

class TapOptionsDlg : public QDialog {
    Q_OBJECT
public:
    TapOptionsDlg(const DrillOptions& options, QWidget* parent = nullptr);
    const DrillOptions& Chosen() const { return chosen; }

    void accept() override;

private:
    DrillOptions chosen;
    QLineEdit *integers = nullptr, *decimals = nullptr;
    QRadioButton *inches = nullptr, *millimetres = nullptr;
};

// Answer the writers' and readers' questions with the dialogs above, keep
// what was confirmed in GerberSettings() or DrillSettings() and then call
// `stored` (the editor writes its settings file there).
class QtGerberOptionDialog : public GerberOptionDialog {
public:
    QtGerberOptionDialog(QWidget* owner, std::function<void()> stored) : owner(owner), stored(std::move(stored)) {}
    bool Ask(GerberOptions& options) override;

private:
    QPointer<QWidget> owner;
    std::function<void()> stored;
};

class QtDrillOptionDialog : public DrillOptionDialog {
public:
    QtDrillOptionDialog(QWidget* owner, std::function<void()> stored) : owner(owner), stored(std::move(stored)) {}
    bool Ask(DrillOptions& options, DrillDialogUse use) override;

private:
    QPointer<QWidget> owner;
    std::function<void()> stored;
};

}  // namespace zandor
