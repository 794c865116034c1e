// Headless platform services: a message log for the tests and the command-line
// tool, and a progress recorder.
#pragma once

#include <string>
#include <vector>

#include "platform/Messages.h"

namespace zandor::platform::headless {

struct RecordedMessage {
    std::string text;
    std::string caption;
    friend bool operator==(const RecordedMessage&, const RecordedMessage&) = default;
};

class RecordingMessages : public MessageService {
public:
    void Show(std::string_view text, std::string_view caption) override;
    std::vector<RecordedMessage> messages;
};

class RecordingProgress : public ProgressService {
public:
    void SetProgress(int percent) override { steps.push_back(percent); }
    std::vector<int> steps;
};

// Installs a recording message log for the lifetime of the object and restores
// the previous service afterwards.
class ScopedMessageCapture : public RecordingMessages {
public:
    ScopedMessageCapture() : previous_(SetMessageService(this)) {}
    ~ScopedMessageCapture() override { SetMessageService(previous_); }
    ScopedMessageCapture(const ScopedMessageCapture&) = delete;
    ScopedMessageCapture& operator=(const ScopedMessageCapture&) = delete;

private:
    MessageService* previous_;
};

class ScopedProgressCapture : public RecordingProgress {
public:
    ScopedProgressCapture() : previous_(SetProgressService(this)) {}
    ~ScopedProgressCapture() override { SetProgressService(previous_); }
    ScopedProgressCapture(const ScopedProgressCapture&) = delete;
    ScopedProgressCapture& operator=(const ScopedProgressCapture&) = delete;

private:
    ProgressService* previous_;
};

}  // namespace zandor::platform::headless
