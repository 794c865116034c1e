#include "editing/EditPrompts.h"

namespace zandor {

namespace {

class DecliningPrompts : public EditPrompts {
public:
    PromptAnswer AskYesNoCancel(std::string_view, std::string_view) override { return PromptAnswer::Cancel; }
    bool AskReplaceSymbols(const std::vector<std::string>&) override { return false; }
    bool InputText(std::string_view, std::string_view, std::string&) override { return false; }
    bool NewSymbolDialog(std::string&, Point&, const Rect&) override { return false; }
};

EditPrompts* installed = nullptr;

std::int32_t Middle(std::int32_t a, std::int32_t b) {
    // The sum of two 32-bit values fits 64 bits; division truncates toward zero.
    return static_cast<std::int32_t>((std::int64_t{a} + b) / 2);
}

}  // namespace

EditPrompts& Prompts() {
    static DecliningPrompts declining;
    return installed ? *installed : declining;
}

EditPrompts* SetEditPrompts(EditPrompts* prompts) {
    EditPrompts* previous = installed;
    installed = prompts;
    return previous;
}

Point OriginButtonPoint(const Rect& box, int button) {
    if (button < 1 || button > 9) return {box.minx, box.miny};
    const int column = (button - 1) % 3, row = (button - 1) / 3;
    const std::int32_t x = column == 0 ? box.minx : column == 1 ? Middle(box.minx, box.maxx) : box.maxx;
    const std::int32_t y = row == 0 ? box.maxy : row == 1 ? Middle(box.miny, box.maxy) : box.miny;
    return {x, y};
}

PromptAnswer ScriptedPrompts::AskYesNoCancel(std::string_view text, std::string_view caption) {
    asked.push_back({"yesnocancel", std::string(caption), std::string(text)});
    if (yesNoCancel.empty()) return PromptAnswer::Cancel;
    const PromptAnswer answer = yesNoCancel.front();
    yesNoCancel.pop_front();
    return answer;
}

bool ScriptedPrompts::AskReplaceSymbols(const std::vector<std::string>& names) {
    std::string joined;
    for (const std::string& name : names) joined += (joined.empty() ? "" : "\n") + name;
    asked.push_back({"replace", "Replace existing symbols?", joined});
    if (replaceSymbols.empty()) return false;
    const bool answer = replaceSymbols.front();
    replaceSymbols.pop_front();
    return answer;
}

bool ScriptedPrompts::InputText(std::string_view caption, std::string_view prompt, std::string& text) {
    asked.push_back({"input", std::string(caption), std::string(prompt)});
    if (inputs.empty()) return false;
    const std::optional<std::string> answer = inputs.front();
    inputs.pop_front();
    if (!answer) return false;
    text = *answer;
    return true;
}

bool ScriptedPrompts::NewSymbolDialog(std::string& name, Point& origin, const Rect& selectionBox) {
    asked.push_back({"newsymbol", "New symbol...", name});
    if (newSymbols.empty()) return false;
    const NewSymbolAnswer answer = newSymbols.front();
    newSymbols.pop_front();
    if (!answer.accept) return false;
    if (answer.name) name = *answer.name;
    if (answer.originButton != 0) {
        origin = OriginButtonPoint(selectionBox, answer.originButton);
    } else if (answer.origin) {
        origin = *answer.origin;
    }
    return true;
}

}  // namespace zandor
