// What the platform gives the core: modal message boxes and the progress
// indicator with its busy cursor.  The core calls these through the process-wide
// current implementation; the editor installs its Qt one, the command-line tool
// and the tests install headless ones.
#pragma once

#include <string>
#include <string_view>

namespace zandor::platform {

class MessageService {
public:
    virtual ~MessageService() = default;
    // A modal message box: caption "Error" (the operation does not happen) or
    // "Warning" (it goes on), or another caption where a routine names one.
    virtual void Show(std::string_view text, std::string_view caption) = 0;
};

class ProgressService {
public:
    virtual ~ProgressService() = default;
    // 0 starts a long operation (busy cursor), 100 ends it; values between are
    // real steps.
    virtual void SetProgress(int percent) = 0;
};

// The current implementations.  Without an installed one, messages are kept by
// a headless log (see headless/RecordingMessages.h) and progress is ignored.
MessageService& Messages();
ProgressService& Progress();
// Installs a service; nullptr restores the default.  Returns the previous one.
MessageService* SetMessageService(MessageService* service);
ProgressService* SetProgressService(ProgressService* service);

inline void ShowMessage(std::string_view text, std::string_view caption) { Messages().Show(text, caption); }
inline void ShowError(std::string_view text) { Messages().Show(text, "Error"); }
inline void ShowWarning(std::string_view text) { Messages().Show(text, "Warning"); }

}  // namespace zandor::platform
