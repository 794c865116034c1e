// The platform services of the editor: message boxes, the progress bar with
// the busy cursor, and the save-as and main-symbol dialogs the layout
// document asks.
#pragma once

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

class QtDocumentDialogs : public DocumentDialogs {
public:
    explicit QtDocumentDialogs(QWidget* owner) : owner(owner) {}
    bool SaveAs(std::string& fileName, FileType& type, SaveOptions& options) override;
    int ChooseMainSymbol(const std::vector<std::string>& candidates) override;

private:
    QPointer<QWidget> owner;
};

}  // namespace zandor
