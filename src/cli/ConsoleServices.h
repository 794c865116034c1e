// Platform services of the command-line tool: message boxes become lines on
// standard error, and long operations show a progress line on a terminal.
#pragma once

#include <chrono>

#include "platform/Messages.h"

namespace zandor::cli {

class ConsoleMessages : public platform::MessageService {
public:
    void Show(std::string_view text, std::string_view caption) override;
    int errors = 0;
};

class ConsoleProgress : public platform::ProgressService {
public:
    explicit ConsoleProgress(const char* what) : what_(what) {}
    void SetProgress(int percent) override;

private:
    const char* what_;
    std::chrono::steady_clock::time_point start_{};
    bool shown_ = false;
    int last_ = -1;
};

}  // namespace zandor::cli
