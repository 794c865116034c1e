#include "shell/QtEditPrompts.h"

#include <QInputDialog>
#include <QMessageBox>

#include "shell/EditDialogs.h"

namespace zandor {

namespace {

QString ToQString(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

PromptAnswer QtEditPrompts::AskYesNoCancel(std::string_view text, std::string_view caption) {
    QMessageBox box(QMessageBox::Warning, ToQString(caption), ToQString(text),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, owner);
    switch (box.exec()) {
        case QMessageBox::Yes: return PromptAnswer::Yes;
        case QMessageBox::No: return PromptAnswer::No;
        default: return PromptAnswer::Cancel;
    }
}

bool QtEditPrompts::AskReplaceSymbols(const std::vector<std::string>& names) {
    ReplaceSymbolsDialog dialog(names, owner);
    return dialog.exec() == QDialog::Accepted;
}

bool QtEditPrompts::InputText(std::string_view caption, std::string_view prompt, std::string& text) {
    bool ok = false;
    const QString answer = QInputDialog::getText(owner, ToQString(caption), ToQString(prompt), QLineEdit::Normal,
                                                 QString::fromStdString(text), &ok);
    if (ok) text = answer.toStdString();
    return ok;
}

bool QtEditPrompts::NewSymbolDialog(std::string& name, Point& origin, const Rect& selectionBox) {
    // The method's name hides the dialog's class here.
    class NewSymbolDialog dialog(QString::fromStdString(name), selectionBox, owner);
    if (dialog.exec() != QDialog::Accepted) return false;
    name = dialog.Name().toStdString();
    origin = dialog.Origin();
    return true;
}

}  // namespace zandor
