#include "platform/Diagnostics.h"

namespace zandor::platform {

std::string_view SeverityName(Severity severity) {
    switch (severity) {
        case Severity::Error: return "error";
        case Severity::Warning: return "warning";
        case Severity::Info: return "info";
    }
    return "error";
}

void ShownDiagnostics::Report(const Diagnostic& diagnostic) {
    if (diagnostic.severity == Severity::Info) return;
    if (diagnostic.limited && ++limitedCount > kShownLimited) return;
    MessageService& target = service ? *service : Messages();
    target.Show(diagnostic.text, diagnostic.severity == Severity::Error ? "Error" : "Warning");
}

void DiagnosticLog::Report(const Diagnostic& d) {
    std::string key;
    key.reserve(d.text.size() + d.file.size() + d.cell.size() + 64);
    key += static_cast<char>('0' + static_cast<int>(d.severity));
    key += d.limited ? '1' : '0';
    for (const std::int64_t n : {d.line, d.statement, d.offset}) {
        key += std::to_string(n);
        key += ',';
    }
    // Lengths keep the three texts apart whatever they hold.
    for (const std::string_view part : {d.file, d.cell, d.text}) {
        key += std::to_string(part.size());
        key += ':';
        key += part;
    }
    if (const auto it = indexByKey.find(key); it != indexByKey.end()) {
        ++entries[it->second].count;
        return;
    }
    if (entries.size() >= maxDistinct) {
        ++omitted;
        return;
    }
    indexByKey.emplace(std::move(key), entries.size());
    entries.push_back({d.severity, std::string(d.text), std::string(d.file), d.line, d.statement, d.offset,
                       std::string(d.cell), d.limited, 1});
}

long DiagnosticLog::Reported(Severity severity) const {
    long n = 0;
    for (const StoredDiagnostic& e : entries) {
        if (e.severity == severity) n += e.count;
    }
    return n;
}

void DiagnosticLog::Clear() {
    entries.clear();
    indexByKey.clear();
    omitted = 0;
}

}  // namespace zandor::platform
