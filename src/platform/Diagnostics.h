// What readers and writers report about a file: a severity, the message text
// and where in the file it applies.  They report to a sink; the message boxes
// (ShownDiagnostics), the command-line tool's "Error:"/"Warning:" lines and
// its JSON reports are consumers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Messages.h"

namespace zandor::platform {

// Error: something was lost or the operation failed.  Warning: the operation
// went on, the user should know.  Info: something was approximated, skipped
// or repaired without a message box.
enum class Severity { Error, Warning, Info };

// "error", "warning", "info".
std::string_view SeverityName(Severity severity);

// One report.  The views need to live only as long as the call of Report; a
// consumer that keeps diagnostics copies them (StoredDiagnostic).
struct Diagnostic {
    Severity severity = Severity::Error;
    std::string_view text;       // the message as shown to the user
    std::string_view file;       // the file's name as given to the reader or writer
    std::int64_t line = 0;       // 1-based line of a text file; 0 when unknown
    std::int64_t statement = 0;  // 1-based ordinal of the statement; 0 when unknown
    std::int64_t offset = -1;    // byte offset of the record in a binary file; -1 when unknown
    std::string_view cell;       // symbol (cell, structure) concerned; empty when unknown
    // One of the messages about single places that a damaged file can give in
    // any number: message boxes show the first nine of a file only.  Summaries
    // and writers' messages are always shown.
    bool limited = false;
};

class DiagnosticSink {
public:
    virtual ~DiagnosticSink() = default;
    virtual void Report(const Diagnostic& diagnostic) = 0;
};

// The default consumer, one per file read or written: errors and warnings
// become message boxes with the captions "Error" and "Warning" through the
// message service current at the time (Messages()), or through the one given.
// Of the limited diagnostics only the first nine are shown; later ones are
// counted.  Info is not shown.
class ShownDiagnostics final : public DiagnosticSink {
public:
    static constexpr long kShownLimited = 9;

    explicit ShownDiagnostics(MessageService* service = nullptr) : service(service) {}
    void Report(const Diagnostic& diagnostic) override;
    // Limited diagnostics reported so far, shown or not.
    long LimitedCount() const { return limitedCount; }

private:
    MessageService* service;
    long limitedCount = 0;
};

// A diagnostic that owns its texts, with the number of identical reports.
struct StoredDiagnostic {
    Severity severity = Severity::Error;
    std::string text;
    std::string file;
    std::int64_t line = 0;
    std::int64_t statement = 0;
    std::int64_t offset = -1;
    std::string cell;
    bool limited = false;
    long count = 1;
};

// Keeps what was reported: identical diagnostics (every field equal) once,
// with a count, in the order of their first report.  Beyond maxDistinct
// different ones, further new ones are only counted (a damaged file of a
// gigabyte can give millions of distinct errors).
class DiagnosticLog final : public DiagnosticSink {
public:
    explicit DiagnosticLog(std::size_t maxDistinct = 100000) : maxDistinct(maxDistinct) {}
    void Report(const Diagnostic& diagnostic) override;

    const std::vector<StoredDiagnostic>& Entries() const { return entries; }
    // Reports not kept because maxDistinct different ones were kept already.
    long Omitted() const { return omitted; }
    // Reports of a severity among the kept entries, counts included.
    long Reported(Severity severity) const;
    void Clear();

private:
    std::size_t maxDistinct;
    std::vector<StoredDiagnostic> entries;
    std::unordered_map<std::string, std::size_t> indexByKey;
    long omitted = 0;
};

// Hands every diagnostic to two sinks, in order.
class DiagnosticTee final : public DiagnosticSink {
public:
    DiagnosticTee(DiagnosticSink& first, DiagnosticSink& second) : first(first), second(second) {}
    void Report(const Diagnostic& diagnostic) override {
        first.Report(diagnostic);
        second.Report(diagnostic);
    }

private:
    DiagnosticSink& first;
    DiagnosticSink& second;
};

}  // namespace zandor::platform
