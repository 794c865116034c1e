#include "platform/Messages.h"

#include "platform/headless/RecordingMessages.h"

namespace zandor::platform {

namespace {

class IgnoredProgress : public ProgressService {
public:
    void SetProgress(int) override {}
};

headless::RecordingMessages& DefaultMessages() {
    static headless::RecordingMessages log;
    return log;
}

IgnoredProgress& DefaultProgress() {
    static IgnoredProgress ignored;
    return ignored;
}

MessageService* currentMessages = nullptr;
ProgressService* currentProgress = nullptr;

}  // namespace

MessageService& Messages() { return currentMessages ? *currentMessages : DefaultMessages(); }
ProgressService& Progress() { return currentProgress ? *currentProgress : DefaultProgress(); }

MessageService* SetMessageService(MessageService* service) {
    MessageService* previous = currentMessages;
    currentMessages = service;
    return previous;
}

ProgressService* SetProgressService(ProgressService* service) {
    ProgressService* previous = currentProgress;
    currentProgress = service;
    return previous;
}

namespace headless {
void RecordingMessages::Show(std::string_view text, std::string_view caption) {
    messages.push_back({std::string(text), std::string(caption)});
}
}  // namespace headless

}  // namespace zandor::platform
