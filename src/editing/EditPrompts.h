// The questions the editing operations ask their user: the editor answers
// them with dialogs, the command-line tool and the tests with answers given
// in advance.  Without an installed implementation every question is
// declined (Cancel, "&No", cancelled input), so an operation run where nobody
// can answer changes nothing it would have asked about.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/Types.h"

namespace zandor {

enum class PromptAnswer { Yes, No, Cancel };

class EditPrompts {
public:
    virtual ~EditPrompts() = default;
    // A warning with the buttons Yes, No and Cancel.
    virtual PromptAnswer AskYesNoCancel(std::string_view text, std::string_view caption) = 0;
    // "Replace existing symbols?" listing the names; true for "&Yes".
    virtual bool AskReplaceSymbols(const std::vector<std::string>& names) = 0;
    // An input box; text comes in as the proposal and goes out as typed.
    // False when cancelled (text is then unchanged).
    virtual bool InputText(std::string_view caption, std::string_view prompt, std::string& text) = 0;
    // "New symbol...": name and origin come in as proposals (the origin is
    // the lower-left corner of the selection box) and go out as chosen; the
    // nine origin buttons pick points of selectionBox (OriginButtonPoint).
    // False when cancelled.
    virtual bool NewSymbolDialog(std::string& name, Point& origin, const Rect& selectionBox) = 0;
};

// The installed implementation, or the one that declines everything.
EditPrompts& Prompts();
// Installs prompts (nullptr restores the default); returns the previous ones.
EditPrompts* SetEditPrompts(EditPrompts* prompts);

// The point of the box that origin button `button` (1..9) stands for: rows
// top, middle, bottom; columns left, middle, right (1 = left top, 7 = left
// bottom, 9 = right bottom).  Middles are (a + b) / 2 truncated toward zero.
// Any other number gives the lower-left corner.
Point OriginButtonPoint(const Rect& box, int button);

// Answers taken from queues filled in advance, one queue per kind of
// question; an empty queue declines.  Every question asked is logged.
class ScriptedPrompts : public EditPrompts {
public:
    struct NewSymbolAnswer {
        bool accept = true;
        std::optional<std::string> name;  // none: keep the proposal
        int originButton = 0;             // 1..9: that button; 0: origin below, or the proposal
        std::optional<Point> origin;
    };
    struct Question {
        std::string kind;  // "yesnocancel", "replace", "input", "newsymbol"
        std::string caption;
        std::string text;  // the text, the prompt, or the names joined by '\n'
    };

    PromptAnswer AskYesNoCancel(std::string_view text, std::string_view caption) override;
    bool AskReplaceSymbols(const std::vector<std::string>& names) override;
    bool InputText(std::string_view caption, std::string_view prompt, std::string& text) override;
    bool NewSymbolDialog(std::string& name, Point& origin, const Rect& selectionBox) override;

    std::deque<PromptAnswer> yesNoCancel;
    std::deque<bool> replaceSymbols;
    std::deque<std::optional<std::string>> inputs;  // none: cancelled
    std::deque<NewSymbolAnswer> newSymbols;
    std::vector<Question> asked;
};

// Installs prompts for the lifetime of a scope.
class ScopedEditPrompts {
public:
    explicit ScopedEditPrompts(EditPrompts& prompts) : previous(SetEditPrompts(&prompts)) {}
    ~ScopedEditPrompts() { SetEditPrompts(previous); }
    ScopedEditPrompts(const ScopedEditPrompts&) = delete;
    ScopedEditPrompts& operator=(const ScopedEditPrompts&) = delete;

private:
    EditPrompts* previous;
};

}  // namespace zandor
