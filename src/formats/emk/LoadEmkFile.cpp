#include "formats/emk/LoadEmkFile.h"

#include <cmath>
#include <utility>

#include "formats/flash/FlashReading.h"
#include "model/Layout.h"

namespace zandor {

namespace {

constexpr std::int64_t kBlock = 800;
constexpr const char* kBinary = "The file holds binary data; it is no EMK file";

}  // namespace

struct LoadEmkFile::State {
    State(Layout& l, std::string name, const EmkOptions& o, platform::DiagnosticSink* sink)
        : layout(l), fileName(std::move(name)), options(o), diagnostics(sink ? *sink : shown) {}

    Layout& layout;
    std::string fileName;
    EmkOptions options;
    platform::ShownDiagnostics shown;
    platform::DiagnosticSink& diagnostics;

    std::int32_t x = 0, y = 0, w = 0, v = 0;
    double tenths = 0;

    void Refuse(std::string_view text) {
        platform::Diagnostic d;
        d.text = text;
        d.file = fileName;
        diagnostics.Report(d);
    }

    void Parse(FlashInput& in, FlashReading& reading, double unit) {
        bool pending = false, ended = false, lineBreaks = false, blocksKept = true;
        FlashInput::Number number;
        while (!reading.Stopped() && !ended) {
            // Blocks of 800 characters each begin with "<".
            const bool blockStart = in.Offset() % kBlock == 0;
            const int c = in.Get();
            if (c == FlashInput::kEnd) break;
            if (blockStart && c != '<') blocksKept = false;
            switch (c) {
                case '"':
                    for (int d = in.Get();; d = in.Get()) {
                        if (d == FlashInput::kEnd) {
                            reading.Error("A comment is not closed");
                            break;
                        }
                        if (d == '"') break;
                        if (d != '\t' && d != '\r' && d != '\n' && (d < 0x20 || d == 0x7F)) {
                            reading.Error(kBinary);
                            break;
                        }
                    }
                    break;
                case 'Z': ended = true; break;
                case 'U':
                    if (!reading.ReadNumber('U', number, false)) break;
                    tenths = FlashReading::Value(number);
                    if (reading.Angle(tenths / 10)) pending = true;
                    break;
                case 'X':
                case 'Y':
                case 'W':
                case 'V': {
                    if (!reading.ReadNumber(static_cast<char>(c), number, false)) break;
                    const double nanometres = FlashReading::Value(number) * unit;
                    const bool ok = c == 'X'   ? reading.Coordinate(nanometres, x)
                                    : c == 'Y' ? reading.Coordinate(nanometres, y)
                                    : c == 'W' ? reading.Size(nanometres, w)
                                               : reading.Size(nanometres, v);
                    if (ok) pending = true;
                    break;
                }
                case 'S':
                    if (reading.AddFlash(x, y, w, v, tenths / 10)) pending = false;
                    reading.EndStatement();
                    break;
                default:
                    if (c == '\r' || c == '\n') lineBreaks = true;
                    if (!IsTextByte(c)) {
                        reading.Error(kBinary);
                    } else if (c != '<' && c != '.') {
                        reading.Skipped(c);
                    }
            }
        }
        if (reading.Stopped()) return;
        if (pending) reading.Warning("The last statement has no 'S' and was left out.");
        if (!ended) return reading.Warning("The file ends before its end mark 'Z'; it may be incomplete.");
        for (int c; (c = in.Peek()) != FlashInput::kEnd;) {
            if (in.Offset() % kBlock == 0 && c != '<') blocksKept = false;
            if (c == '\r' || c == '\n') lineBreaks = true;
            in.Get();
        }
        // Files broken into lines keep no blocks; others should.
        if (!lineBreaks && (!blocksKept || in.Offset() % kBlock != 0)) {
            reading.Warning(
                "The file is not made of blocks of 800 characters beginning with '<'; it may be damaged or "
                "incomplete.");
        }
    }

    bool Read(platform::ByteSource& source) {
        if (!layout.MainSymbol()) {
            Refuse("The layout has no main symbol.");
            return false;
        }
        if (!AskEmkOptions(options, FlashDialogUse::Read)) return false;
        const double micrometres = options.unit * (options.mils ? 25.4 : 1);
        const double unit = micrometres > 0 && std::isfinite(micrometres) ? micrometres * 1000 : 100;
        FlashInput in(source);
        FlashReading reading(layout, fileName, diagnostics, in);
        reading.CreateLayer();
        Parse(in, reading, unit);
        return true;
    }
};

LoadEmkFile::LoadEmkFile(Layout& layout, std::string fileName, const EmkOptions& options,
                         platform::DiagnosticSink* diagnostics)
    : state(std::make_unique<State>(layout, std::move(fileName), options, diagnostics)) {}

LoadEmkFile::~LoadEmkFile() = default;

bool LoadEmkFile::Read() {
    platform::FileSource file;
    if (!file.Open(state->fileName)) {
        state->Refuse("Cannot open " + state->fileName);
        return false;
    }
    return Read(file);
}

bool LoadEmkFile::Read(std::span<const std::uint8_t> bytes) {
    platform::MemorySource source(bytes);
    return Read(source);
}

bool LoadEmkFile::Read(platform::ByteSource& source) { return state->Read(source); }

}  // namespace zandor
