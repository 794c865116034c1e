// The questions of the editing operations answered with the editor's
// dialogs: the combine warning, the replace-symbols list, input boxes and
// the new-symbol dialog.
#pragma once

#include <QPointer>
#include <QWidget>

#include "editing/EditPrompts.h"

namespace zandor {

class QtEditPrompts : public EditPrompts {
public:
    explicit QtEditPrompts(QWidget* owner) : owner(owner) {}
    PromptAnswer AskYesNoCancel(std::string_view text, std::string_view caption) override;
    bool AskReplaceSymbols(const std::vector<std::string>& names) override;
    bool InputText(std::string_view caption, std::string_view prompt, std::string& text) override;
    bool NewSymbolDialog(std::string& name, Point& origin, const Rect& selectionBox) override;

private:
    QPointer<QWidget> owner;
};

}  // namespace zandor
