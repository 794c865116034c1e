// The options dialogs of the flash-file writers and readers: "Mann options"
// (both dialects, kept in the settings) and "EMK Options..." (kept while the
// program runs).  Like the other dialogs they check what was typed when OK
// is pressed and stay open after a message.
#pragma once

#include <QDialog>
#include <QPointer>

#include "formats/flash/FlashOptions.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace zandor {

class MannOptionsDlg : public QDialog {
    Q_OBJECT
public:
    MannOptionsDlg(const MannOptions& options, FlashDialogUse use, QWidget* parent = nullptr);
    const MannOptions& Chosen() const { return chosen; }

    void accept() override;

private:
    void Show(const MannOptions& options);
    void SystemChosen();

    MannOptions chosen;
    QRadioButton *singleQuadrant = nullptr, *fourQuadrant = nullptr, *metric = nullptr, *english = nullptr;
    QCheckBox *mirror = nullptr, *implicitPoint = nullptr, *lineBreaks = nullptr, *blocks = nullptr;
    QLineEdit *scale = nullptr, *minCoordinate = nullptr, *maxCoordinate = nullptr, *resolution = nullptr,
              *minFlash = nullptr, *maxFlash = nullptr, *flashResolution = nullptr, *angleResolution = nullptr;
    QLabel* units[6] = {};
};

class EmkOptionsDlg : public QDialog {
    Q_OBJECT
public:
    EmkOptionsDlg(const EmkOptions& options, QWidget* parent = nullptr);
    const EmkOptions& Chosen() const { return chosen; }

    void accept() override;

private:
    void Show();
    void UnitsChosen(bool mils);

    EmkOptions chosen;
    QLineEdit *unit = nullptr, *minFlash = nullptr, *maxFlash = nullptr;
    QRadioButton *micrometres = nullptr, *mils = nullptr;
    QLabel* labels[3] = {};
};

// Answers the writers' and readers' questions with the dialogs above and
// keeps what was confirmed in FlashSettings().
class QtFlashOptionDialogs : public FlashOptionDialogs {
public:
    explicit QtFlashOptionDialogs(QWidget* owner) : owner(owner) {}
    bool Mann(MannOptions& options, FlashDialogUse use) override;
    bool Emk(EmkOptions& options, FlashDialogUse use) override;

private:
    QPointer<QWidget> owner;
};

}  // namespace zandor
