// The diagnostics consumers: the message boxes with their nine-message limit,
// and the log that groups identical reports for the command-line reports.
#include "platform/Diagnostics.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "platform/headless/RecordingMessages.h"

using namespace zandor::platform;
using headless::RecordedMessage;
using headless::ScopedMessageCapture;

namespace {

Diagnostic Make(Severity severity, std::string_view text, bool limited = false) {
    Diagnostic d;
    d.severity = severity;
    d.text = text;
    d.limited = limited;
    return d;
}

TEST(ShownDiagnostics, ShowNineLimitedOnesPerFileAndEverySummary) {
    ScopedMessageCapture messages;
    ShownDiagnostics shown;
    std::vector<std::string> texts;
    for (int k = 1; k <= 12; ++k) texts.push_back("error " + std::to_string(k));
    for (const std::string& text : texts) shown.Report(Make(Severity::Error, text, true));
    shown.Report(Make(Severity::Warning, "summary warning"));
    shown.Report(Make(Severity::Error, "summary error"));
    shown.Report(Make(Severity::Info, "a note"));
    EXPECT_EQ(shown.LimitedCount(), 12);

    std::vector<RecordedMessage> expected;
    for (int k = 0; k < 9; ++k) expected.push_back({texts[static_cast<std::size_t>(k)], "Error"});
    expected.push_back({"summary warning", "Warning"});
    expected.push_back({"summary error", "Error"});
    EXPECT_EQ(messages.messages, expected) << "notes are for reports only";

    // The limit is per consumer, that is per file.
    messages.messages.clear();
    ShownDiagnostics next;
    next.Report(Make(Severity::Error, "next file", true));
    EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"next file", "Error"}}));

    // A message service of its own instead of the current one.
    headless::RecordingMessages own;
    ShownDiagnostics direct(&own);
    messages.messages.clear();
    direct.Report(Make(Severity::Warning, "to its own service"));
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(own.messages, (std::vector<RecordedMessage>{{"to its own service", "Warning"}}));
}

TEST(DiagnosticLog, GroupsIdenticalReportsInTheOrderOfTheirFirstReport) {
    DiagnosticLog log;
    Diagnostic atLine3 = Make(Severity::Error, "Syntax error.", true);
    atLine3.file = "a.cif";
    atLine3.line = 3;
    atLine3.statement = 2;
    atLine3.cell = "inv";
    Diagnostic atLine4 = atLine3;
    atLine4.line = 4;
    Diagnostic note = Make(Severity::Info, "A NODE element was skipped.");
    note.offset = 40;
    note.cell = "top";
    Diagnostic otherCell = note;
    otherCell.cell = "sub";
    for (const Diagnostic* d : {&atLine3, &note, &atLine4, &note, &atLine3, &note, &otherCell}) log.Report(*d);

    const auto& entries = log.Entries();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].text, "Syntax error.");
    EXPECT_EQ(entries[0].line, 3);
    EXPECT_EQ(entries[0].statement, 2);
    EXPECT_EQ(entries[0].cell, "inv");
    EXPECT_EQ(entries[0].file, "a.cif");
    EXPECT_TRUE(entries[0].limited);
    EXPECT_EQ(entries[0].count, 2);
    EXPECT_EQ(entries[1].severity, Severity::Info);
    EXPECT_EQ(entries[1].offset, 40);
    EXPECT_EQ(entries[1].count, 3);
    EXPECT_EQ(entries[2].line, 4);
    EXPECT_EQ(entries[2].count, 1);
    EXPECT_EQ(entries[3].cell, "sub");
    EXPECT_EQ(log.Reported(Severity::Error), 3);
    EXPECT_EQ(log.Reported(Severity::Info), 4);
    EXPECT_EQ(log.Reported(Severity::Warning), 0);

    // Texts that differ only in where one ends and the next begins stay apart.
    DiagnosticLog split;
    Diagnostic a = Make(Severity::Error, "b");
    a.cell = "a";
    Diagnostic b = Make(Severity::Error, "");
    b.cell = "ab";
    split.Report(a);
    split.Report(b);
    EXPECT_EQ(split.Entries().size(), 2u);
}

TEST(DiagnosticLog, KeepsAtMostTheGivenNumberOfDistinctEntries) {
    DiagnosticLog log(3);
    std::vector<std::string> texts = {"one", "two", "three", "four", "five"};
    for (const std::string& text : texts) log.Report(Make(Severity::Error, text));
    log.Report(Make(Severity::Error, "one"));
    ASSERT_EQ(log.Entries().size(), 3u);
    EXPECT_EQ(log.Entries()[0].count, 2) << "known ones are still counted";
    EXPECT_EQ(log.Omitted(), 2);
    log.Clear();
    EXPECT_TRUE(log.Entries().empty());
    EXPECT_EQ(log.Omitted(), 0);
}

TEST(DiagnosticTee, HandsEachReportToBothSinksInOrder) {
    DiagnosticLog first, second;
    DiagnosticTee both(first, second);
    both.Report(Make(Severity::Warning, "w"));
    ASSERT_EQ(first.Entries().size(), 1u);
    ASSERT_EQ(second.Entries().size(), 1u);
    EXPECT_EQ(second.Entries()[0].text, "w");
}

}  // namespace
