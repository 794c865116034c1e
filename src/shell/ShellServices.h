// The platform services of the editor: message boxes, the progress bar with
// the busy cursor, and the save-as and main-symbol dialogs the layout
// document asks.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPointer>
#include <QProgressBar>
#include <QWidget>

#include "model/DocumentDialogs.h"
#include "platform/Messages.h"

namespace zandor {

class QtMessageService : public platform::MessageService {
public:
    explicit QtMessageService(QWidget* owner) : owner(owner) {}
    void Show(std::string_view text, std::string_view caption) override;

private:
    QPointer<QWidget> owner;
};

class QtProgressService : public platform::ProgressService {
public:
    explicit QtProgressService(QProgressBar* bar) : bar(bar) {}
    void SetProgress(int percent) override;

private:
    QPointer<QProgressBar> bar;
    bool busy = false;
};

// The file types the save-as dialog offers, as a file dialog filter: only
// those with a registered writer (CIF, GDSII and DXF have their places).
QString SaveAsFilter();

// The "Main symbol" dialog: the question, the candidates in a drop-down list
// (the first preselected), OK, Cancel and Help, which opens the help topic on
// the main symbol.
class MainSymbolDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kText = "Select the main symbol, i.e. the symbol at the top of the hierarchy:";
    static constexpr const char* kHelpTopic = "main-symbol";

    MainSymbolDialog(const QStringList& candidates, QWidget* parent = nullptr);
    // The index of the chosen candidate.
    int Chosen() const;
    QComboBox& SymbolCombo() { return *combo; }
    QDialogButtonBox& Buttons() { return *buttons; }

private:
    QComboBox* combo = nullptr;
    QDialogButtonBox* buttons = nullptr;
};

class QtDocumentDialogs : public DocumentDialogs {
public:
    explicit QtDocumentDialogs(QWidget* owner) : owner(owner) {}
    bool SaveAs(std::string& fileName, FileType& type, SaveOptions& options) override;
    int ChooseMainSymbol(const std::vector<std::string>& candidates) override;

private:
    QPointer<QWidget> owner;
};

}  // namespace zandor
