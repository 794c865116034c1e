// Reader of CIF layout files.  Besides the plain reading of the format it:
// - boxes and round flashes are halved in the scaled domain and rounded once,
//   so that B 11 4 0 0 at scale 10 is 110 units long and R 11 0 0 has radius 55;
// - "(ZanBox x1 y1 x2 y2);" restores a rectangle whose corner sums are odd
//   exactly, and the B approximation after it is skipped;
// - numbers saturate instead of overflowing, extension records never read past
//   their statement, and counts taken from the file allocate nothing by
//   themselves;
// - calls that would make a symbol contain itself are refused before the model
//   sees them, and any cycle left after reading is broken, with one message;
// - compound heads get member counts equal to the member records actually
//   created, also when a file promises more than it holds;
// - a comment ends at its closing parenthesis, whether or not a ";" follows.
#include "formats/cif/LoadCifFile.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "model/Geometry.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "model/RecordViews.h"
#include "platform/Messages.h"

namespace zandor {

namespace {

constexpr int kMaxStatement = 65535;          // characters kept of one statement
constexpr std::size_t kChunkSize = 1u << 20;  // bytes read from the file at a time
constexpr int kMaxLayerName = 15;
constexpr int kMaxLongLayerName = 127;
constexpr std::int32_t kDefaultGrowStep = 1024;
constexpr const char* kRecursionMessage = "Cannot insert a parent symbol into one of it's child symbols!";

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
inline char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Digits from p as a non-negative number, saturating at INT64_MAX.
inline std::int64_t ParseDigits(const char*& p, const char* end) {
    const char* start = p;
    std::uint64_t v = 0;
    while (p < end && IsDigit(*p)) {
        v = v * 10 + static_cast<unsigned>(*p - '0');
        ++p;
    }
    if (p - start > 18) {
        // Rare: the count may have wrapped; again with saturation.
        constexpr std::uint64_t kLimit = static_cast<std::uint64_t>(INT64_MAX);
        v = 0;
        for (const char* q = start; q < p; ++q) {
            const unsigned d = static_cast<unsigned>(*q - '0');
            v = v > (kLimit - d) / 10 ? kLimit : v * 10 + d;
        }
    }
    return static_cast<std::int64_t>(v);
}

// The next integer (an optional "-" and digits) at or after p; any other
// characters in front of it separate numbers.
inline bool NextInt(const char*& p, const char* end, std::int64_t& value) {
    for (;; ++p) {
        if (p >= end) return false;
        if (IsDigit(*p)) break;
        if (*p == '-' && p + 1 < end && IsDigit(p[1])) break;
    }
    const bool negative = *p == '-';
    if (negative) ++p;
    const std::int64_t v = ParseDigits(p, end);
    value = negative ? -v : v;
    return true;
}

// The same inside a call statement, where an upper-case letter starts the next
// operation and so ends the search.
inline bool NextCallInt(const char*& p, const char* end, std::int64_t& value) {
    while (p < end && !IsDigit(*p) && !IsUpper(*p) && !(*p == '-' && p + 1 < end && IsDigit(p[1]))) ++p;
    if (p >= end || IsUpper(*p)) return false;
    return NextInt(p, end, value);
}

// A real number of a scaling operation: blanks and commas before it, "." as
// decimal point, an exponent allowed.  Infinite and undefined values count as
// missing.
inline bool NextCallReal(const char*& p, const char* end, double& value) {
    while (p < end && (IsBlank(*p) || *p == ',')) ++p;
    if (p < end && *p == '+') ++p;
    if (p >= end || !(IsDigit(*p) || *p == '-' || *p == '.')) return false;
    double v = 0;
    const auto [next, ec] = std::from_chars(p, end, v);
    if (ec != std::errc() || !std::isfinite(v)) return false;
    p = next;
    value = v;
    return true;
}

// A decimal number such as "3.2" at p (after blanks); -1 when there is none.
double LeadingDecimal(const char* p, const char* end) {
    while (p < end && IsBlank(*p)) ++p;
    const char* q = p;
    while (q < end && IsDigit(*q)) ++q;
    if (q < end && *q == '.') {
        ++q;
        while (q < end && IsDigit(*q)) ++q;
    }
    if (q == p || (q == p + 1 && *p == '.')) return -1;
    double v = 0;
    if (std::from_chars(p, q, v).ec != std::errc()) return -1;
    return v;
}

const char* Find(const char* begin, const char* end, std::string_view what) {
    const auto it = std::search(begin, end, what.begin(), what.end());
    return it == end ? nullptr : it;
}

// One hexadecimal word of a layer comment after blanks; false when none.
bool NextHex(const char*& p, const char* end, std::uint32_t& value) {
    while (p < end && IsBlank(*p)) ++p;
    std::uint64_t v = 0;
    const char* start = p;
    while (p < end) {
        const char c = Lower(*p);
        int d;
        if (IsDigit(c)) {
            d = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            d = c - 'a' + 10;
        } else {
            break;
        }
        v = (v << 4 | static_cast<unsigned>(d)) & 0xFFFFFFFFull;
        ++p;
    }
    value = static_cast<std::uint32_t>(v);
    return p != start;
}

// The direct members a group or script head counts (a text counts none).
int DirectMembers(const Word* head) {
    switch (RecordKind(head)) {
        case ObjectKind::Group: return GroupView(head).DirectMembers();
        case ObjectKind::Script: return ScriptView(head).GeneratedObjects();
        default: return 0;
    }
}
void SetDirectMembers(Word* head, int count) {
    switch (RecordKind(head)) {
        case ObjectKind::Group: GroupView(head).SetDirectMembers(count); break;
        case ObjectKind::Script: ScriptView(head).SetGeneratedObjects(count); break;
        default: break;
    }
}

}  // namespace

struct LoadCifFile::State {
    State(Layout& target, std::string name, platform::DiagnosticSink* sink)
        : layout(target), fileName(std::move(name)), diagnostics(sink ? *sink : shown) {}

    Layout& layout;
    std::string fileName;
    platform::ShownDiagnostics shown;
    platform::DiagnosticSink& diagnostics;

    // Input: read in chunks; position = chunkBase + chunkPos.
    platform::ByteSource* source = nullptr;
    std::unique_ptr<char[]> chunk;
    std::size_t chunkCapacity = 0;
    std::size_t chunkPos = 0;
    std::size_t chunkLen = 0;
    std::int64_t chunkBase = 0;
    bool endOfFile = false;
    std::int64_t fileSize = 100;
    int shownPercent = -1;
    std::int64_t nextProgressPosition = 0;  // the percentage changes from here

    // The current statement: at most kMaxStatement characters kept, 0-terminated.
    std::unique_ptr<char[]> buffer;
    int length = 0;
    // The statement is a comment; the buffer holds its text without the outer
    // parentheses.
    bool isComment = false;
    // A statement read ahead (to look for a fallback or a layer comment) that
    // is still to be dispatched.
    bool havePending = false;

    long statementNumber = 0;
    // Lines: line feeds are counted up to lineCounted in the chunk, lazily,
    // when a statement starts.
    std::int64_t line = 1;
    std::size_t lineCounted = 0;
    std::int64_t statementLine = 0;
    int dialect = 0;
    int layerIndex = 1;  // -1: no slot was left for the last layer; its objects are dropped
    bool inDefinition = false;
    bool endSeen = false;
    SymbolDescription* currentSymbol = nullptr;
    double scale = 10.0;
    char layerName[kMaxLayerName + 1] = {};
    int wireStyle = 0;
    LOGFONTA font = Settings().textFont;
    Word transform[12] = {};
    bool transformSet = false;

    // Open compound heads of the current symbol, innermost last.
    struct OpenHead {
        std::int32_t offset;         // word offset of the head record
        std::int64_t remaining;      // direct members still to come
        std::int32_t objectsBefore;  // objectCount of the symbol after the head was created
        std::int32_t direct;         // direct members created
    };
    std::vector<OpenHead> heads;

    struct HeldCircle {
        bool held = false;
        double radius = 0;  // in file units
        std::int64_t x = 0, y = 0;
    } circle;

    std::vector<Point> points;  // grown by doubling, never shrunk
    std::size_t pointCount = 0;
    bool outOfMemory = false;
    // Symbols known not to call the current symbol (valid while it stays current).
    std::unordered_set<std::int32_t> callableIds;

    // ------------------------------------------------------------------
    // Messages

    // An error at the current statement; message boxes show the first nine
    // of a file.
    __attribute__((format(printf, 2, 3))) void Report(const char* format, ...) {
        char text[1024];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        ReportAt(text, statementNumber, statementLine);
    }
    void ReportAt(std::string_view text, long statement, std::int64_t atLine) {
        platform::Diagnostic d;
        d.text = text;
        d.file = fileName;
        d.line = atLine;
        d.statement = statement;
        if (currentSymbol) d.cell = currentSymbol->Name();
        d.limited = true;
        diagnostics.Report(d);
    }
    // About the whole file.
    void Summary(std::string_view text, bool limited) {
        platform::Diagnostic d;
        d.text = text;
        d.file = fileName;
        d.limited = limited;
        diagnostics.Report(d);
    }
    // Something skipped or repaired without a message box, for reports:
    // counted per symbol.
    void Note(std::string_view text) {
        platform::Diagnostic d;
        d.severity = platform::Severity::Info;
        d.text = text;
        d.file = fileName;
        if (currentSymbol) d.cell = currentSymbol->Name();
        diagnostics.Report(d);
    }
    void SyntaxError() { Report("Syntax error.\nStatement: %ld\n%.200s", statementNumber, buffer.get()); }
    void MissingLayer() {
        Report("Missing layer specification.\nStatement: %ld\n%.200s", statementNumber, buffer.get());
    }
    void UnexpectedEnd(const char* record, const char* what) {
        Report("Unexpected end of %s statement# %ld\n%s", record, statementNumber, what);
    }

    // ------------------------------------------------------------------
    // Input

    bool Fill() {
        if (chunkPos < chunkLen) return true;
        if (endOfFile) return false;
        CountLines(chunkLen);
        lineCounted = 0;
        chunkBase += static_cast<std::int64_t>(chunkLen);
        chunkPos = 0;
        chunkLen = source->Read(chunk.get(), chunkCapacity);
        if (chunkLen == 0) endOfFile = true;
        return chunkLen > 0;
    }
    // Statements are mostly a line each: jumping from line feed to line feed
    // costs less than looking at every byte.
    void CountLines(std::size_t upTo) {
        const char* p = chunk.get() + lineCounted;
        const char* end = chunk.get() + upTo;
        while (p < end && (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p))))) {
            ++line;
            ++p;
        }
        lineCounted = std::max(lineCounted, upTo);
    }

    int Peek() { return Fill() ? static_cast<unsigned char>(chunk[chunkPos]) : -1; }
    std::int64_t Position() const { return chunkBase + static_cast<std::int64_t>(chunkPos); }

    void Append(const char* text, std::size_t n) {
        const std::size_t room = static_cast<std::size_t>(kMaxStatement - length);
        if (n > room) n = room;
        std::memcpy(buffer.get() + length, text, n);
        length += static_cast<int>(n);
    }

    bool SkipBlanks() {
        for (;;) {
            if (!Fill()) return false;
            const char* p = chunk.get() + chunkPos;
            const char* end = chunk.get() + chunkLen;
            while (p < end && IsBlank(*p)) ++p;
            chunkPos = static_cast<std::size_t>(p - chunk.get());
            if (p < end) return true;
        }
    }

    // Reads the next statement into the buffer; false at the end of the file.
    // A comment keeps its text without the outer parentheses.
    bool ReadStatement() {
        if (!SkipBlanks()) return false;
        ++statementNumber;
        CountLines(chunkPos);
        statementLine = line;
        length = 0;
        if (chunk[chunkPos] == '(') {
            ++chunkPos;
            ReadCommentText();
            buffer[length] = 0;
            return true;
        }
        for (;;) {
            if (!Fill()) break;
            const char* s = chunk.get() + chunkPos;
            const std::size_t n = chunkLen - chunkPos;
            const char* semicolon = static_cast<const char*>(std::memchr(s, ';', n));
            const std::size_t take = semicolon ? static_cast<std::size_t>(semicolon - s) : n;
            Append(s, take);
            chunkPos += take;
            if (semicolon) {
                ++chunkPos;
                break;
            }
        }
        buffer[length] = 0;
        return true;
    }

    // The text of a comment up to its balancing ")"; line ends (LF or CR LF)
    // are kept as CR LF.  The ";" after it is consumed when present.
    void ReadCommentText() {
        int depth = 1;
        while (Fill()) {
            const char* s = chunk.get() + chunkPos;
            const char* end = chunk.get() + chunkLen;
            const char* q = s;
            while (q < end && *q != '(' && *q != ')' && *q != '\n' && *q != '\r') ++q;
            Append(s, static_cast<std::size_t>(q - s));
            chunkPos += static_cast<std::size_t>(q - s);
            if (q == end) continue;
            const char c = *q;
            ++chunkPos;
            if (c == '(') {
                ++depth;
                Append("(", 1);
            } else if (c == ')') {
                if (--depth == 0) break;
                Append(")", 1);
            } else if (c == '\n') {
                Append("\r\n", 2);
            } else if (Peek() != '\n') {
                Append("\r", 1);
            }
        }
        if (SkipBlanks() && chunk[chunkPos] == ';') ++chunkPos;
        isComment = true;
    }

    // Reads the next statement and remembers what it is.
    bool Next() {
        isComment = false;
        return ReadStatement();
    }

    // Reads the statement after an extension record: skipped when it starts
    // with kind (the record's fallback), otherwise kept for the dispatch.
    void SkipFallback(char kind) {
        if (!Next()) return;
        if (!isComment && buffer[0] == kind) return;
        havePending = true;
    }

    void ShowProgress() {
        const std::int64_t position = Position();
        if (position < nextProgressPosition) return;
        const std::int64_t size = fileSize > 0 ? fileSize : 100;
        const int percent = static_cast<int>(std::min<std::int64_t>(100, position * 100 / size));
        // The first position of the next percentage.
        nextProgressPosition = ((percent + 1) * size + 99) / 100;
        if (percent != shownPercent) {
            shownPercent = percent;
            platform::Progress().SetProgress(percent);
        }
    }

    // ------------------------------------------------------------------
    // Numbers

    std::int32_t Scaled(std::int64_t v) const {
        if (scale == 10.0) {
            return SaturateToInt32(v > INT64_MAX / 10 ? INT64_MAX : v < INT64_MIN / 10 ? INT64_MIN : v * 10);
        }
        if (scale == 1.0) return SaturateToInt32(v);
        return RoundHalfAway(static_cast<double>(v) * scale);
    }

    // ------------------------------------------------------------------
    // Records and members

    bool HasLayer() const { return layout.Layer(layerIndex) != nullptr; }

    // Every record created goes through here: a failure is noted, and while a
    // compound head waits for members the record becomes one of them.  A head
    // passes the number of its own direct members, which follow it.
    Word* Created(Word* r, std::int64_t members = 0) {
        if (!r) {
            outOfMemory = true;
            MemberLost();
            return nullptr;
        }
        if (!heads.empty()) {
            SetMemberBit(r, true);
            --heads.back().remaining;
            ++heads.back().direct;
        }
        if (members > 0) heads.push_back({currentSymbol->OffsetOf(r), members, currentSymbol->objectCount, 0});
        CloseFinished();
        return r;
    }

    // A record that was to be a member could not be created.
    void MemberLost() {
        if (heads.empty()) return;
        --heads.back().remaining;
        CloseFinished();
    }

    void CloseFinished() {
        while (!heads.empty() && heads.back().remaining <= 0) CloseHead();
    }

    // The head counts the member records that were really created.
    void CloseHead() {
        const OpenHead h = heads.back();
        heads.pop_back();
        Word* head = currentSymbol->RecordAt(h.offset);
        HeadView(head).SetMemberRecords(currentSymbol->objectCount - h.objectsBefore);
        SetDirectMembers(head, h.direct);
    }

    void DropPendingMembers(bool report) {
        if (heads.empty()) return;
        if (report) SyntaxError();
        while (!heads.empty()) CloseHead();
    }

    void FlushCircle() {
        if (!circle.held) return;
        circle.held = false;
        Created(currentSymbol->AddCircle(Scaled(circle.x), Scaled(circle.y), RoundHalfAway(circle.radius * scale),
                                         layerIndex));
    }

    // A call of symbolId from the current symbol; refused (with the model's
    // message, counted like every message of the file) when it would make the
    // current symbol contain itself.
    bool MayCall(std::int32_t symbolId) {
        if (callableIds.count(symbolId)) return true;
        const SymbolDescription* called = layout.FindSymbol(symbolId);
        if (symbolId == currentSymbol->Id() || (called && called->CallsSymbol(currentSymbol->Id()))) {
            Report("%s", kRecursionMessage);
            MemberLost();
            return false;
        }
        // While this symbol stays current only its own calls are added, and
        // none of them can make another symbol reach it.
        callableIds.insert(symbolId);
        return true;
    }

    double availableMemory = -1;  // bytes; -1 until asked

    void SetCurrentSymbol(SymbolDescription* symbol) {
        currentSymbol = symbol;
        callableIds.clear();
    }

    // ------------------------------------------------------------------
    // Statements

    void Run() {
        SetCurrentSymbol(layout.MainSymbol());
        if (Next()) {
            if (isComment) TakeDialect();
            havePending = true;
        }
        while (!endSeen) {
            if (!havePending && !Next()) break;
            havePending = false;
            ShowProgress();
            if (!currentSymbol) {
                SyntaxError();
                break;
            }
            Dispatch();
        }
        Finish();
    }

    void TakeDialect() {
        const char* text = buffer.get();
        const char* end = text + length;
        if (const char* z = Find(text, end, "Zandor")) {
            const double v = LeadingDecimal(z + 6, end);
            dialect = v < 0 ? 0 : RoundHalfAway(v * 100);
        } else if (const char* t = Find(text, end, "Tremolvanti Pro")) {
            const double v = LeadingDecimal(t + 15, end);
            dialect = 200 + (v < 0 ? 0 : RoundHalfAway(v * 100));
        }
    }

    void Dispatch() {
        if (isComment) {
            FlushCircle();
            Extension();
            return;
        }
        const char kind = buffer[0];
        if (kind != 'R') FlushCircle();
        switch (kind) {
            case 0:  // an empty statement, as CIF allows; a NUL byte is not one
                if (length > 0) SyntaxError();
                return;
            case '0':
            case '1':
            case '2':
            case '9': Note("A user extension statement was skipped."); return;
            case 'B': Box(); return;
            case 'C': Call(); return;
            case 'D': {
                const char* p = buffer.get() + 1;
                while (IsBlank(*p)) ++p;
                if (*p == 'S') {
                    DefinitionStart(p + 1);
                } else if (*p == 'F') {
                    DefinitionFinish();
                } else {
                    SyntaxError();
                }
                return;
            }
            case 'E': endSeen = true; return;
            case 'L': LayerStatement(); return;
            case 'P': Polygon(); return;
            case 'R': RoundFlash(); return;
            case 'W': Wire(); return;
            default: SyntaxError(); return;
        }
    }

    // DS n a b
    void DefinitionStart(const char* p) {
        const char* end = buffer.get() + length;
        if (inDefinition) {
            Report("Nested symbol definition.\nStatement: %ld\n%.200s", statementNumber, buffer.get());
            return;
        }
        std::int64_t n, a, b;
        if (!NextInt(p, end, n)) {
            Report("Missing symbol number in DS statement# %ld", statementNumber);
            return;
        }
        if (!NextInt(p, end, a)) return Note("A DS statement without scaling factors was ignored.");
        if (!NextInt(p, end, b)) {
            Report("Missing scaling factor in DS statement# %ld", statementNumber);
            return;
        }
        if (a == 0 || b == 0) {
            Report("Invalid scaling factor in DS statement# %ld", statementNumber);
            return;
        }
        const std::int32_t id = SaturateToInt32(n);
        const double definitionScale = 10.0 * static_cast<double>(a) / static_cast<double>(b);
        // Members still pending at the top level cannot continue in a definition.
        DropPendingMembers(true);

        std::string name;
        bool have = Next();
        if (have && isComment) have = Next();  // a comment right after DS is dropped
        // "9 name" names the symbol; "94 ..." and the like are other extensions.
        if (have && !isComment && buffer[0] == '9' && (length == 1 || IsBlank(buffer[1]))) {
            const char* q = buffer.get() + 1;
            const char* stop = buffer.get() + length;
            while (q < stop && IsBlank(*q)) ++q;
            const char* word = q;
            while (q < stop && !IsBlank(*q)) ++q;
            name.assign(word, q);
            for (char& c : name) {
                if (c == '~') c = ' ';
                // The model keeps no name with parentheses.
                if (c == '(') c = '[';
                if (c == ')') c = ']';
            }
        } else if (have) {
            havePending = true;
        }

        SymbolDescription* symbol = nullptr;
        if (name.rfind("$ZanAuto", 0) == 0) {
            // A lattice definition of an array: the ZanArray record stands for it.
            symbol = layout.FindSymbol(id);
            if (!symbol) return SkipDefinition();
        } else if (name.empty()) {
            name = "Symbol" + std::to_string(id);
            const SymbolDescription* named = layout.FindSymbolByName(name);
            if (named && named->Id() != id) {
                symbol = layout.FindSymbol(id);
                if (!symbol) return SkipDefinition();
            }
        } else {
            for (SymbolDescription* s = layout.FindSymbolByName(name); s && s->Id() != id;
                 s = layout.FindSymbolByName(name)) {
                std::string renamed = name + "_1";
                while (layout.FindSymbolByName(renamed)) renamed += "_1";
                s->SetName(renamed);
                // Files of this program define the main symbol under its own
                // name: renaming the empty one it replaces is no news.
                if (s->Id() != -1) {
                    Note("The symbol " + name + " was renamed " + renamed +
                         " because a later definition has its name.");
                }
            }
        }
        if (!symbol) symbol = layout.FindSymbol(id);
        if (!symbol) symbol = layout.AddSymbol(id, name);
        if (!symbol) return SkipDefinition();

        inDefinition = true;
        SetCurrentSymbol(symbol);
        scale = definitionScale;
        // Fewer, larger steps while loading; DF gives the buffer back.  The
        // free memory is asked for once per file: a file may define very
        // many symbols.
        if (availableMemory < 0) {
            availableMemory =
                static_cast<double>(sysconf(_SC_AVPHYS_PAGES)) * static_cast<double>(sysconf(_SC_PAGESIZE));
        }
        double step = std::min(0.2 * availableMemory, 212992.0);
        step = std::min(step, static_cast<double>(std::max<std::int64_t>(0, fileSize - Position())));
        symbol->growStep = static_cast<std::int32_t>(std::max(step, 2048.0));
    }

    // Skips every statement up to and including the next one beginning with
    // "D"; reading goes on outside the definition.
    void SkipDefinition() {
        if (havePending) {
            havePending = false;
            if (!isComment && buffer[0] == 'D') return;
        }
        while (Next()) {
            if (!isComment && buffer[0] == 'D') return;
        }
    }

    void DefinitionFinish() {
        if (!inDefinition) Report("Unexpected DF statement.\nStatement: %ld", statementNumber);
        DropPendingMembers(true);
        currentSymbol->growStep = kDefaultGrowStep;
        currentSymbol->ShrinkBuffer();
        SetCurrentSymbol(layout.MainSymbol());
        scale = 10.0;
        inDefinition = false;
    }

    // L name, perhaps followed by the layer comment that describes a new layer.
    void LayerStatement() {
        const char* p = buffer.get() + 1;
        const char* end = buffer.get() + length;
        while (p < end && IsBlank(*p)) ++p;
        const char* word = p;
        while (p < end && !IsBlank(*p)) ++p;
        const int n = static_cast<int>(std::min<std::ptrdiff_t>(p - word, kMaxLayerName));
        if (n == 0) {
            SyntaxError();
            return;
        }
        std::memcpy(layerName, word, static_cast<std::size_t>(n));
        layerName[n] = 0;
        const std::string_view shortName(layerName, static_cast<std::size_t>(n));
        const int found = layout.FindLayerByShortName(shortName);
        if (found >= 0) {
            layerIndex = found;
            return;
        }
        int index = -1;
        bool created = false;
        const long layerStatement = statementNumber;
        const std::int64_t layerLine = statementLine;
        if (Next()) {
            if (isComment) {
                const char* text = buffer.get();
                const char* stop = text + length;
                const char* marker = Find(text, stop, "Zandor:");
                const char* after = marker ? marker + 7 : nullptr;
                if (!marker) {
                    marker = Find(text, stop, "Tremolvanti:");
                    after = marker ? marker + 12 : nullptr;
                }
                if (marker) {
                    index = CreateLayerFromComment(after, stop, shortName);
                    created = true;
                }
            }
            if (!created) havePending = true;
        }
        if (!created) {
            index = layout.LowestFreeLayer();
            if (index >= 0) layout.SetLayer(std::make_unique<LayerDescription>(index, shortName));
        }
        if (index < 0) {
            char text[256];
            std::snprintf(text, sizeof text,
                          "No free layer is left for the layer %s; its objects are not loaded.\nStatement: %ld",
                          layerName, layerStatement);
            ReportAt(text, layerStatement, layerLine);
            layerIndex = -1;
            return;
        }
        layout.Layer(index)->shortName = std::string(shortName);
        layerIndex = index;
    }

    // "index name/style outline datatype polarity" after the marker word;
    // returns the slot used, -1 when none is free.
    int CreateLayerFromComment(const char* p, const char* end, std::string_view shortName) {
        while (p < end && IsBlank(*p)) ++p;
        std::int64_t wanted = -1;
        if (dialect >= 270) {
            if (p < end && IsDigit(*p)) wanted = ParseDigits(p, end);
            while (p < end && IsBlank(*p)) ++p;
        } else if (!shortName.empty() && IsDigit(shortName[0])) {
            const char* q = shortName.data();
            wanted = ParseDigits(q, shortName.data() + shortName.size());
        }
        const char* slash = std::find(p, end, '/');
        std::string longName(p, static_cast<std::size_t>(std::min<std::ptrdiff_t>(slash - p, kMaxLongLayerName)));
        for (char& c : longName) {
            if (c == '~') c = ' ';
        }
        std::int64_t fillColor = -1, outlineColor = -1;
        int fillStyle = FillSolid, outlineStyle = OutlineSolid;
        std::uint32_t dataType = 0;
        std::uint8_t polarity = 1;
        if (slash != end) {
            const char* q = slash + 1;
            std::uint32_t word;
            if (NextHex(q, end, word)) {
                fillColor = word & 0xFFFFFFu;
                const int nibble = static_cast<int>((word >> 24) & 0xFu);
                fillStyle = nibble == 0xF ? FillSolid : nibble;  // the constructor makes 7..14 solid
                outlineStyle = static_cast<int>(word >> 28);
                if (NextHex(q, end, word)) {
                    outlineColor = word & 0xFFFFFFu;
                    if (NextHex(q, end, word)) {
                        dataType = word;
                        if (NextHex(q, end, word)) polarity = word != 0 ? 1 : 0;
                    }
                }
            }
        }
        int index = wanted >= 0 && wanted < kLayerCount && !layout.Layer(static_cast<int>(wanted))
                        ? static_cast<int>(wanted)
                        : layout.LowestFreeLayer();
        if (index < 0) return -1;
        layout.SetLayer(std::make_unique<LayerDescription>(index, longName, fillColor, outlineColor, fillStyle,
                                                           outlineStyle, dataType, polarity));
        return index;
    }

    // B length width cx cy [dx dy]
    void Box() {
        if (layerIndex < 0) return;
        if (!HasLayer()) return MissingLayer();
        const char* p = buffer.get() + 1;
        const char* end = buffer.get() + length;
        std::int64_t l, w, cx, cy, dx, dy;
        if (!NextInt(p, end, l)) return UnexpectedEnd("box", "Length of box expected");
        if (!NextInt(p, end, w)) return UnexpectedEnd("box", "Width of box expected");
        if (!NextInt(p, end, cx) || !NextInt(p, end, cy)) return UnexpectedEnd("box", "X coordinate of box expected");
        if (NextInt(p, end, dx) && NextInt(p, end, dy) && dy != 0) {
            if (dialect == 200 || dialect == 210) std::swap(l, w);
            const double degrees = std::atan2(static_cast<double>(dy), static_cast<double>(dx)) * 180.0 / kPi;
            Created(currentSymbol->AddBox(Scaled(cx), Scaled(cy), Scaled(l), Scaled(w), degrees, layerIndex));
            return;
        }
        // Corners from the centre in the scaled domain, rounded once, so that
        // odd lengths keep their size.
        Created(currentSymbol->AddRectangle(Corner(cx, -l), Corner(cy, -w), Corner(cx, l), Corner(cy, w), layerIndex));
    }

    // centre + size/2, scaled and rounded half away from zero.
    std::int32_t Corner(std::int64_t centre, std::int64_t size) const {
        constexpr std::int64_t kExact = INT64_C(1) << 52;
        if ((scale == 10.0 || scale == 1.0) && centre > -kExact && centre < kExact && size > -kExact && size < kExact) {
            // 2 x the exact value, an integer; halves round away from zero.
            const std::int64_t twice = (2 * centre + size) * static_cast<std::int64_t>(scale);
            const std::int64_t half = twice % 2 == 0 ? twice / 2 : (twice + (twice > 0 ? 1 : -1)) / 2;
            return SaturateToInt32(half);
        }
        return RoundHalfAway((static_cast<double>(centre) + static_cast<double>(size) / 2.0) * scale);
    }

    // R diameter x y
    void RoundFlash() {
        if (layerIndex < 0) return;
        if (!HasLayer()) {
            FlushCircle();
            return MissingLayer();
        }
        const char* p = buffer.get() + 1;
        const char* end = buffer.get() + length;
        std::int64_t d, x, y;
        const char* missing = !NextInt(p, end, d)   ? "Radius of roundflash expected"
                              : !NextInt(p, end, x) ? "X coordinate of roundflash expected"
                              : !NextInt(p, end, y) ? "Y coordinate of roundflash expected"
                                                    : nullptr;
        if (missing) {
            FlushCircle();
            return UnexpectedEnd("RoundFlash", missing);
        }
        // The half of the diameter is not truncated: R 11 at scale 10 has radius 55.
        const double radius = dialect == 200 ? static_cast<double>(d) : static_cast<double>(d) / 2.0;
        if (dialect > 0 && dialect < 240) {
            if (circle.held && circle.x == x && circle.y == y) {
                circle.held = false;
                const double r1 = circle.radius;
                Created(currentSymbol->AddRing(Scaled(x), Scaled(y),
                                               RoundHalfAway(std::fabs(r1 + radius) * scale * 0.5),
                                               RoundHalfAway(std::fabs(r1 - radius) * scale * 0.5), layerIndex));
                return;
            }
            FlushCircle();
            circle = {true, radius, x, y};
            return;
        }
        Created(currentSymbol->AddCircle(Scaled(x), Scaled(y), RoundHalfAway(radius * scale), layerIndex));
    }

    // Pairs of numbers from p into points (scaled); false on an odd count.
    bool ReadPoints(const char* p, const char* end) {
        pointCount = 0;
        std::int64_t x, y;
        while (NextInt(p, end, x)) {
            if (!NextInt(p, end, y)) return false;
            if (pointCount == points.size()) points.resize(std::max<std::size_t>(1024, points.size() * 2));
            points[pointCount++] = {Scaled(x), Scaled(y)};
        }
        return true;
    }

    // P x1 y1 ...
    void Polygon() {
        if (layerIndex < 0) return;
        if (!ReadPoints(buffer.get() + 1, buffer.get() + length)) {
            return UnexpectedEnd("polygon", "Cannot read nodes");
        }
        if (pointCount == 0) return;
        Created(currentSymbol->AddPolygon(points.data(), static_cast<int>(pointCount), layerIndex));
    }

    // W width x1 y1 ...
    void Wire() {
        if (layerIndex < 0) return;
        const char* p = buffer.get() + 1;
        const char* end = buffer.get() + length;
        std::int64_t width;
        if (!NextInt(p, end, width)) return UnexpectedEnd("wire", "Width of wire expected");
        if (!ReadPoints(p, end)) return UnexpectedEnd("wire", "Cannot read nodes");
        if (pointCount == 0) return;
        const std::int32_t scaledWidth =
            std::clamp<std::int32_t>(Scaled(width), 0, static_cast<std::int32_t>(kWidthMask));
        Created(
            currentSymbol->AddWire(points.data(), static_cast<int>(pointCount), scaledWidth, wireStyle, layerIndex));
    }

    // C n [T x y] [M X] [M Y] [R dx dy] [S sx sy] ...
    void Call() {
        const char* p = buffer.get() + 1;
        const char* end = buffer.get() + length;
        std::int64_t id;
        if (!NextCallInt(p, end, id)) {
            return Report("Unexpected end of call statement# %ld\nSymbol index expected", statementNumber);
        }
        TransformMatrix m;
        const char* missing = nullptr;
        while (!missing) {
            while (p < end && !IsUpper(*p)) ++p;
            if (p >= end) break;
            const char op = *p++;
            std::int64_t u, v;
            if (op == 'T') {
                if (!NextCallInt(p, end, u) || !NextCallInt(p, end, v)) {
                    missing = "X coordinate of translation expected";
                    break;
                }
                m.tx += static_cast<double>(u) * scale;
                m.ty += static_cast<double>(v) * scale;
            } else if (op == 'M') {
                while (p < end && IsBlank(*p)) ++p;
                if (p < end && *p == 'X') {
                    m.a = -m.a;
                    m.c = -m.c;
                    m.tx = -m.tx;
                } else if (p < end && *p == 'Y') {
                    m.b = -m.b;
                    m.d = -m.d;
                    m.ty = -m.ty;
                } else {
                    missing = "Mirror direction X or Y expected";
                    break;
                }
                ++p;
            } else if (op == 'R') {
                if (!NextCallInt(p, end, u)) {
                    missing = "X coordinate for rotation expected";
                } else if (!NextCallInt(p, end, v)) {
                    missing = "Y coordinate for rotation expected";
                } else if (const double len = std::hypot(double(u), double(v)); len > 0) {
                    const double c = double(u) / len, s = double(v) / len;
                    const TransformMatrix o = m;
                    m.a = c * o.a - s * o.b;
                    m.b = s * o.a + c * o.b;
                    m.c = c * o.c - s * o.d;
                    m.d = s * o.c + c * o.d;
                    m.tx = c * o.tx - s * o.ty;
                    m.ty = s * o.tx + c * o.ty;
                }
            } else if (op == 'S') {
                double sx, sy;
                if (!NextCallReal(p, end, sx)) {
                    missing = "X factor for scaling expected";
                } else if (!NextCallReal(p, end, sy)) {
                    missing = "Y factor for scaling expected";
                } else {
                    m.a *= sx;
                    m.c *= sx;
                    m.tx *= sx;
                    m.b *= sy;
                    m.d *= sy;
                    m.ty *= sy;
                }
            }
        }
        if (missing) {
            return Report("Unexpected end of symbol call statement# %ld\n%s", statementNumber, missing);
        }
        // Mirroring and rotating give -0.0 where the writer had 0.0; records
        // compare word by word, so zero is kept positive.
        for (double* v : {&m.a, &m.b, &m.c, &m.d, &m.tx, &m.ty}) {
            if (*v == 0) *v = 0.0;
        }
        const std::int32_t symbolId = SaturateToInt32(id);
        if (!MayCall(symbolId)) return;
        // A call of a symbol defined later is kept; its extent follows when drawn.
        Created(currentSymbol->InsertSymbolCallMatrix(symbolId, m));
    }

    // ------------------------------------------------------------------
    // Extension records

    void Extension() {
        const char* p = buffer.get();
        const char* end = p + length;
        while (p < end && IsBlank(*p)) ++p;
        if (end - p < 3 || Lower(p[0]) != 'z' || Lower(p[1]) != 'a' || Lower(p[2]) != 'n') return;
        const char* word = p;
        while (p < end && ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z'))) ++p;
        const std::string_view keyword(word, static_cast<std::size_t>(p - word));
        auto is = [&](std::string_view name) {
            return keyword.size() == name.size() && std::equal(keyword.begin(), keyword.end(), name.begin(),
                                                               [](char a, char b) { return Lower(a) == Lower(b); });
        };
        if (is("ZanWireStyle")) return WireStyleRecord(p, end);
        if (is("ZanFont")) return FontRecord(p, end);
        if (is("ZanTransform")) return TransformRecord(p, end);
        if (is("ZanRing")) return RingRecord(p, end);
        if (is("ZanArcWire")) return ArcWireRecord(p, end);
        if (is("ZanText")) return TextRecord(p, end);
        if (is("ZanGroup")) return GroupRecord(p, end);
        if (is("ZanArray")) return ArrayRecord(p, end);
        if (is("ZanVGuide")) return GuideRecord(p, end, currentSymbol->vGuides);
        if (is("ZanHGuide")) return GuideRecord(p, end, currentSymbol->hGuides);
        if (is("ZanBox")) return BoxRecord(p, end);
        // Script objects are not available: the generated objects that follow
        // load as plain objects.
        if (is("ZanScript")) Note("A script was skipped; its generated objects are loaded as plain objects.");
    }

    // Reads count numbers; the index of the first missing one, or -1.
    static int ReadNumbers(const char*& p, const char* end, std::int64_t* values, int count) {
        for (int i = 0; i < count; ++i) {
            if (!NextInt(p, end, values[i])) return i;
        }
        return -1;
    }

    void WireStyleRecord(const char* p, const char* end) {
        std::int64_t v;
        if (!NextInt(p, end, v)) {
            return Report("Unexpected end of statement# %ld\nMissing wire style information", statementNumber);
        }
        wireStyle = SaturateToInt32(v);
    }

    void FontRecord(const char* p, const char* end) {
        std::int64_t v[15];
        if (ReadNumbers(p, end, v, 15) >= 0) {
            return Report("Unexpected end of statement# %ld\nMissing font information", statementNumber);
        }
        Word words[15];
        for (int i = 0; i < 15; ++i) words[i] = SaturateToInt32(v[i]);
        font = ReadFont(words);
    }

    void TransformRecord(const char* p, const char* end) {
        std::int64_t v[12];
        if (ReadNumbers(p, end, v, 12) >= 0) {
            return Report("Unexpected end of statement# %ld\nMissing transformation matrix", statementNumber);
        }
        for (int i = 0; i < 12; ++i) transform[i] = SaturateToInt32(v[i]);
        transformSet = true;
    }

    // ZanRing width x y radius: the only record in file units.
    void RingRecord(const char* p, const char* end) {
        static const char* const kMissing[] = {"Width of ring expected", "X coordinate of ring expected",
                                               "Y coordinate of ring expected", "Radius of ring expected"};
        std::int64_t v[4];
        if (const int i = ReadNumbers(p, end, v, 4); i >= 0) return UnexpectedEnd("ring", kMissing[i]);
        if (layerIndex >= 0) {
            Created(currentSymbol->AddRing(Scaled(v[1]), Scaled(v[2]),
                                           RoundHalfAway(std::fabs(static_cast<double>(v[3])) * scale),
                                           RoundHalfAway(std::fabs(static_cast<double>(v[0])) * scale), layerIndex));
        }
        SkipFallback('W');
    }

    // ZanArcWire width xs ys xc yc xe ye
    void ArcWireRecord(const char* p, const char* end) {
        static const char* const kMissing[] = {"Width of arcwire expected",
                                               "Xstart coordinate of arcwire expected",
                                               "Ystart coordinate of arcwire expected",
                                               "Xc coordinate of arcwire expected",
                                               "Yc coordinate of arcwire expected",
                                               "Xend coordinate of arcwire expected",
                                               "Yend coordinate of arcwire expected"};
        std::int64_t v[7];
        if (const int i = ReadNumbers(p, end, v, 7); i >= 0) return UnexpectedEnd("arcwire", kMissing[i]);
        if (layerIndex >= 0) {
            Created(currentSymbol->AddArcWire(SaturateToInt32(v[3]), SaturateToInt32(v[4]), SaturateToInt32(v[1]),
                                              SaturateToInt32(v[2]), SaturateToInt32(v[5]), SaturateToInt32(v[6]),
                                              SaturateToInt32(v[0]), layerIndex));
        }
        SkipFallback('P');
    }

    // ZanText x y members height nchar text
    void TextRecord(const char* p, const char* end) {
        std::int64_t v[5];
        switch (ReadNumbers(p, end, v, 5)) {
            case 0: return UnexpectedEnd("text", "X position of text expected");
            case 1: return UnexpectedEnd("text", "Y position of text expected");
            case 2: return Report("Unexpected end of text statement# %ldNumber of polygons expected", statementNumber);
            case 3: return Report("Unexpected end of text statement# %ldHeight expected", statementNumber);
            case 4:
                return Report("Unexpected end of text statement# %ldNumber of characters expected", statementNumber);
            default: break;
        }
        // The characters start two characters after the last digit of nchar;
        // a count beyond the record takes what is there.
        const char* text = p + 1 < end ? p + 1 : end;
        const std::int64_t nchar = std::clamp<std::int64_t>(v[4], 0, end - text);
        const std::int64_t members = std::clamp<std::int64_t>(v[2], 0, INT32_MAX);
        const bool useTransform = transformSet;
        transformSet = false;
        if (layerIndex < 0) return;
        Word* r =
            Created(currentSymbol->AddText(SaturateToInt32(v[0]), SaturateToInt32(v[1]), static_cast<int>(members),
                                           std::string_view(text, static_cast<std::size_t>(nchar)),
                                           SaturateToInt32(v[3]), font, layerIndex),
                    members);
        if (r && useTransform) TextView(r).SetMatrix(ReadMatrix(transform));
    }

    // ZanGroup x y elements objects
    void GroupRecord(const char* p, const char* end) {
        static const char* const kMissing[] = {"X position of group expected", "Y position of group expected",
                                               "Number of elements of group expected",
                                               "Number of objects of group expected"};
        std::int64_t v[4];
        if (const int i = ReadNumbers(p, end, v, 4); i >= 0) return UnexpectedEnd("group", kMissing[i]);
        const std::int64_t objects = std::clamp<std::int64_t>(v[3], 0, INT32_MAX);
        // Without direct members no record follows as a member; with them the
        // counts are set to what really came when the group closes.
        const std::int64_t elements = objects > 0 ? std::clamp<std::int64_t>(v[2], 0, INT32_MAX) : 0;
        Created(currentSymbol->AddGroup(SaturateToInt32(v[0]), SaturateToInt32(v[1]), static_cast<int>(elements),
                                        static_cast<int>(objects)),
                objects);
    }

    // ZanArray id columns rows x0 y0 x2 y2 x3 y3 m1 m2 a1 a2
    void ArrayRecord(const char* p, const char* end) {
        static const char* const kMissing[] = {
            "Symbol index expected",         "Number of columns expected",    "Number of rows expected",
            "X position of array expected",  "Y position of array expected",  "X2 position of array expected",
            "Y2 position of array expected", "X3 position of array expected", "Y3 position of array expected",
            "Magnification factor expected", "Magnification factor expected", "Rotation angle expected",
            "Rotation angle expected"};
        std::int64_t v[13];
        if (const int i = ReadNumbers(p, end, v, 13); i >= 0) return UnexpectedEnd("array", kMissing[i]);
        auto doubleOf = [&](std::int64_t low, std::int64_t high) {
            const std::uint64_t bits = static_cast<std::uint64_t>(static_cast<std::uint32_t>(SaturateToInt32(high)))
                                           << 32 |
                                       static_cast<std::uint32_t>(SaturateToInt32(low));
            double d;
            std::memcpy(&d, &bits, sizeof d);
            return d;
        };
        const std::int32_t symbolId = SaturateToInt32(v[0]);
        if (MayCall(symbolId)) {
            Created(currentSymbol->InsertArray(symbolId, {SaturateToInt32(v[3]), SaturateToInt32(v[4])},
                                               {SaturateToInt32(v[5]), SaturateToInt32(v[6])},
                                               {SaturateToInt32(v[7]), SaturateToInt32(v[8])}, SaturateToInt32(v[1]),
                                               SaturateToInt32(v[2]), doubleOf(v[9], v[10]), doubleOf(v[11], v[12])));
        }
        SkipFallback('C');
    }

    // ZanVGuide n p1 ... pn (likewise ZanHGuide): at most as many positions
    // as the record holds.
    void GuideRecord(const char* p, const char* end, std::vector<std::int32_t>& guides) {
        std::int64_t n, v;
        if (!NextInt(p, end, n)) {
            return Report("Unexpected end of statement# %ld\nMissing guideline information", statementNumber);
        }
        for (std::int64_t i = 0; i < n; ++i) {
            if (!NextInt(p, end, v)) {
                return Report("Unexpected end of statement# %ld\nMissing guideline information", statementNumber);
            }
            guides.push_back(SaturateToInt32(v));
        }
    }

    // ZanBox x1 y1 x2 y2 (database units): the exact rectangle whose B
    // approximation follows.
    void BoxRecord(const char* p, const char* end) {
        std::int64_t v[4];
        if (const int i = ReadNumbers(p, end, v, 4); i >= 0) {
            return UnexpectedEnd("box", i % 2 == 0 ? "X coordinate of box expected" : "Y coordinate of box expected");
        }
        if (layerIndex >= 0) {
            if (HasLayer()) {
                Created(currentSymbol->AddRectangle(SaturateToInt32(v[0]), SaturateToInt32(v[1]), SaturateToInt32(v[2]),
                                                    SaturateToInt32(v[3]), layerIndex));
            } else {
                MissingLayer();
            }
        }
        SkipFallback('B');
    }

    // ------------------------------------------------------------------
    // After the last statement

    void Finish() {
        if (currentSymbol) {
            FlushCircle();
            DropPendingMembers(false);
            if (inDefinition) {
                currentSymbol->growStep = kDefaultGrowStep;
                currentSymbol->ShrinkBuffer();
            }
        }
        if (const int removed = BreakCycles(); removed > 0) {
            char text[256];
            std::snprintf(text, sizeof text,
                          "The file contains recursive symbol calls; %d call(s) that would make a symbol contain "
                          "itself were removed.",
                          removed);
            Summary(text, true);
        }
        if (outOfMemory) Summary("Out of memory! Some symbols could not be loaded completely.", false);
        platform::Progress().SetProgress(100);
    }

    // Removes the calls and arrays that close a cycle of calls: the back edges
    // of a depth-first walk from the main symbol, then from every other symbol.
    // Returns how many were removed.
    int BreakCycles() {
        const auto& symbols = layout.Symbols();
        std::unordered_map<std::int32_t, std::size_t> indexOf;
        for (std::size_t i = 0; i < symbols.size(); ++i) indexOf.emplace(symbols[i]->Id(), i);
        enum : std::uint8_t { White, Grey, Black };
        std::vector<std::uint8_t> colour(symbols.size(), White);
        std::vector<std::vector<std::int32_t>> backEdges(symbols.size());
        struct Frame {
            std::size_t symbol;
            std::int32_t offset;  // next record to look at
        };
        std::vector<Frame> stack;
        int removed = 0;
        for (std::size_t root = 0; root < symbols.size(); ++root) {
            if (colour[root] != White) continue;
            colour[root] = Grey;
            stack.push_back({root, 0});
            while (!stack.empty()) {
                Frame& f = stack.back();
                const SymbolDescription& s = *symbols[f.symbol];
                if (f.offset >= s.usedWords) {
                    colour[f.symbol] = Black;
                    stack.pop_back();
                    continue;
                }
                const Word* r = s.Words() + f.offset;
                const std::int32_t offset = f.offset;
                f.offset += std::max(1, RecordLength(r));
                if (!IsCallKind(RecordKind(r))) continue;
                const auto it = indexOf.find(PlacementView(r).SymbolId());
                if (it == indexOf.end()) continue;
                if (colour[it->second] == Grey) {
                    backEdges[f.symbol].push_back(offset);
                    ++removed;
                } else if (colour[it->second] == White) {
                    colour[it->second] = Grey;
                    stack.push_back({it->second, 0});
                }
            }
        }
        if (removed == 0) return 0;
        for (std::size_t i = 0; i < symbols.size(); ++i) {
            if (backEdges[i].empty()) continue;
            SymbolDescription& s = *symbols[i];
            std::sort(backEdges[i].rbegin(), backEdges[i].rend());
            for (const std::int32_t offset : backEdges[i]) RemoveMemberAware(s, offset);
            s.RebuildChildren();
            s.RecomputeBounds();
        }
        return removed;
    }

    // Deletes one record, keeping the counts of the heads it belongs to.
    static void RemoveMemberAware(SymbolDescription& s, std::int32_t target) {
        struct Open {
            std::int32_t offset;
            std::int64_t remaining;
        };
        std::vector<Open> open;
        for (const Word* r = s.FirstRecord(); r && s.OffsetOf(r) < target; r = s.NextRecord(r)) {
            for (Open& o : open) --o.remaining;
            while (!open.empty() && open.back().remaining <= 0) open.pop_back();
            if (!IsHead(r)) continue;
            const int members = HeadView(r).MemberRecords();
            if (members > 0) open.push_back({s.OffsetOf(r), members});
        }
        while (!open.empty() && open.back().remaining <= 0) open.pop_back();
        for (const Open& o : open) {
            if (o.remaining <= 0) continue;
            const HeadView head(s.RecordAt(o.offset));
            head.SetMemberRecords(head.MemberRecords() - 1);
        }
        if (!open.empty()) {
            Word* parent = s.RecordAt(open.back().offset);
            SetDirectMembers(parent, DirectMembers(parent) - 1);
        }
        s.DeleteRecord(s.RecordAt(target));
    }
};

LoadCifFile::LoadCifFile(Layout& layout, std::string fileName, platform::DiagnosticSink* diagnostics)
    : state(std::make_unique<State>(layout, std::move(fileName), diagnostics)) {}

LoadCifFile::~LoadCifFile() = default;

bool LoadCifFile::Read() {
    platform::FileSource file;
    if (!file.Open(state->fileName)) return false;
    return Read(file);
}

bool LoadCifFile::Read(std::span<const std::uint8_t> bytes) {
    platform::MemorySource memory(bytes);
    return Read(memory);
}

bool LoadCifFile::Read(platform::ByteSource& source) {
    State& s = *state;
    s.source = &source;
    const std::int64_t size = source.Size();
    if (size > 0) s.fileSize = size;
    // A small input needs no large chunk (the fuzzer reads many).
    s.chunkCapacity = size >= 0 && size < static_cast<std::int64_t>(kChunkSize)
                          ? static_cast<std::size_t>(std::max<std::int64_t>(size, 1))
                          : kChunkSize;
    s.chunk = std::make_unique<char[]>(s.chunkCapacity);
    s.buffer = std::make_unique<char[]>(kMaxStatement + 1);
    s.buffer[0] = 0;
    s.points.resize(1024);
    s.Run();
    s.source = nullptr;
    return true;
}

}  // namespace zandor
