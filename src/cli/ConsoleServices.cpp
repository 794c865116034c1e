#include "cli/ConsoleServices.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace zandor::cli {

void ConsoleMessages::Show(std::string_view text, std::string_view caption) {
    if (caption == "Error") ++errors;
    std::string line(caption);
    line += ": ";
    line += text;
    while (!line.empty() && line.back() == '\n') line.pop_back();
    line += '\n';
    std::fputs(line.c_str(), stderr);
}

void ConsoleProgress::SetProgress(int percent) {
    const auto now = std::chrono::steady_clock::now();
    if (percent <= 0) {
        start_ = now;
        shown_ = false;
        last_ = -1;
        return;
    }
    if (!isatty(STDERR_FILENO)) return;
    if (percent >= 100) {
        if (shown_) std::fprintf(stderr, "\r%s 100%%\n", what_);
        shown_ = false;
        return;
    }
    // Only operations that take longer than a second get a progress line.
    if (!shown_ && now - start_ < std::chrono::seconds(1)) return;
    if (percent == last_) return;
    shown_ = true;
    last_ = percent;
    std::fprintf(stderr, "\r%s %d%%", what_, percent);
    std::fflush(stderr);
}

}  // namespace zandor::cli
