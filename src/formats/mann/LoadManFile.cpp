// Choices beyond the plain format:
// - a comment of the single-quadrant dialect ends at the end of its line or
//   at its closing double quote, whichever comes first: files in blocks have
//   no line breaks, and their comments are closed by a quote;
// - mirrored x coordinates of that dialect are mirrored about the maximum
//   coordinate in the file's units and then scaled, which gives back the
//   layout the writer mirrored at any scale;
// - the dialect detection steps over the "#" of a block header as well.
#include "formats/mann/LoadManFile.h"

#include <cmath>
#include <utility>

#include "formats/flash/FlashReading.h"
#include "model/Layout.h"

namespace zandor {

namespace {

constexpr std::size_t kBlock = 512;
constexpr std::size_t kDetectionReach = 1 << 16;

MannDialect DetectDialect(FlashInput& in) {
    std::size_t k = in.Peek() == '#' ? 1 : 0;
    if (in.Peek(k) != '"') return MannDialect::SingleQuadrant;
    for (++k; k < kDetectionReach; ++k) {
        const int c = in.Peek(k);
        if (c != '\r' && c != '\n' && c != ' ' && c != '"' && c != '0' && c != '#') break;
    }
    if (in.Peek(k) != 'T' || in.Peek(k + 1) != '3' || in.Peek(k + 2) != '6' || in.Peek(k + 3) != '0') {
        return MannDialect::SingleQuadrant;
    }
    const int system = in.Peek(k + 4);
    if (system == '0' || system == 'M') return MannDialect::FourQuadrantMetric;
    if (system == 'E') return MannDialect::FourQuadrantEnglish;
    return MannDialect::SingleQuadrant;
}

// A file in blocks begins with the block header.
bool StartsWithBlockHeader(FlashInput& in) {
    return in.Peek(0) == '"' && in.Peek(1) == '#' && in.Peek(2) == '0' && in.Peek(3) == '0' && in.Peek(4) == '"';
}

}  // namespace

struct LoadManFile::State {
    State(Layout& l, std::string name, const MannOptions& o, platform::DiagnosticSink* sink)
        : layout(l), fileName(std::move(name)), options(o), diagnostics(sink ? *sink : shown) {}

    Layout& layout;
    std::string fileName;
    MannOptions options;
    MannDialect dialect = MannDialect::SingleQuadrant;
    platform::ShownDiagnostics shown;
    platform::DiagnosticSink& diagnostics;

    // The flash parameters in force, in nanometres and degrees.
    std::int32_t x = 0, y = 0, w = 0, h = 0;
    double angle = 0;

    void Refuse(std::string_view text) {
        platform::Diagnostic d;
        d.text = text;
        d.file = fileName;
        diagnostics.Report(d);
    }

    bool Flash(FlashReading& reading) {
        double a = angle;
        if (options.mirrorX && a != 0) {
            a = std::fmod(a, 360);
            if (a > 180) a -= 360;
            if (a < -180) a += 360;
            a = a > 0 ? 180 - a : -a - 180;
        }
        return reading.AddFlash(x, y, w, h, a);
    }

    // Skips a comment, to its closing quote or the end of its line.
    void Comment(FlashInput& in, FlashReading& reading) {
        for (int c = in.Get(); c != FlashInput::kEnd && c != '"' && c != '\n'; c = in.Get()) {
            if (c != '\t' && c != '\r' && (c < 0x20 || c == 0x7F)) return reading.Error(kBinary);
        }
    }

    static constexpr const char* kBinary = "The file holds binary data; it is no Mann file";

    void Parse(FlashInput& in, FlashReading& reading) {
        const bool single = options.singleQuadrant;
        const double perMillimetreOrInch = options.metric ? 1e6 : 25.4e6;
        // Nanometres per file unit, before scaling.
        const double unit = single ? (options.metric ? 1000 : 254) : perMillimetreOrInch;
        const double mirrorAxis = options.maxCoordinate * perMillimetreOrInch;
        const bool blocks = StartsWithBlockHeader(in);
        bool pending = false, ended = false;
        FlashInput::Number number;
        while (!reading.Stopped()) {
            const int c = in.Get();
            if (c == FlashInput::kEnd) break;
            switch (c) {
                case '"': Comment(in, reading); break;
                case '$': ended = true; break;
                case 'A':
                    if (!reading.ReadNumber('A', number, !single)) break;
                    angle = FlashReading::Value(number) * (single ? options.angleResolution : 1);
                    if (reading.Angle(angle)) pending = true;
                    break;
                case 'H':
                case 'W':
                case 'X':
                case 'Y': {
                    if (!reading.ReadNumber(static_cast<char>(c), number, !single)) break;
                    if (single && !options.metric) {
                        // Tenths of a mil; a last digit 2 or 7 stands for a further quarter.
                        const bool quarter = number.lastDigit == '2' || number.lastDigit == '7';
                        if (!number.digits.empty()) number.digits += quarter ? '5' : '0';
                    }
                    const double value = FlashReading::Value(number, !single && options.implicitDecimalPoint);
                    double nanometres = value * unit / options.scale;
                    if (c == 'X' && options.mirrorX) {
                        nanometres = single ? (mirrorAxis - value * unit) / options.scale : -nanometres;
                    }
                    const bool ok = c == 'H'   ? reading.Size(nanometres, h)
                                    : c == 'W' ? reading.Size(nanometres, w)
                                    : c == 'X' ? reading.Coordinate(nanometres, x)
                                               : reading.Coordinate(nanometres, y);
                    if (ok) pending = true;
                    break;
                }
                case ';':
                    if (Flash(reading)) pending = false;
                    reading.EndStatement();
                    break;
                case '#':
                    if (!single) break;
                    [[fallthrough]];
                default:
                    if (!IsTextByte(c)) {
                        reading.Error(kBinary);
                    } else {
                        reading.Skipped(c);
                    }
            }
            if (ended) break;
        }
        if (reading.Stopped()) return;
        if (pending) reading.Warning("The last statement has no ';' and was left out.");
        if (!ended) return reading.Warning("The file ends before its end mark '$'; it may be incomplete.");
        if (blocks) {
            while (in.Get() != FlashInput::kEnd) {
            }
            if (in.Offset() % kBlock != 0) {
                reading.Warning("The file is not made of whole blocks of 512 characters; it may be incomplete.");
            }
        }
    }

    bool Read(platform::ByteSource& source) {
        if (!layout.MainSymbol()) {
            Refuse("The layout has no main symbol.");
            return false;
        }
        FlashInput in(source);
        dialect = DetectDialect(in);
        PrepareMannOptionsForReading(options, dialect);
        if (!AskMannOptions(options, FlashDialogUse::Read)) return false;
        if (!(options.scale > 0) || !std::isfinite(options.scale)) {
            Refuse("The scaling factor must be a positive value.");
            return false;
        }
        if (!(options.angleResolution > 0) || !std::isfinite(options.angleResolution) ||
            !std::isfinite(options.maxCoordinate)) {
            Refuse("The angle resolution must be a positive value and the maximum coordinate a number.");
            return false;
        }
        FlashReading reading(layout, fileName, diagnostics, in);
        reading.CreateLayer();
        Parse(in, reading);
        return true;
    }
};

LoadManFile::LoadManFile(Layout& layout, std::string fileName, const MannOptions& options,
                         platform::DiagnosticSink* diagnostics)
    : state(std::make_unique<State>(layout, std::move(fileName), options, diagnostics)) {}

LoadManFile::~LoadManFile() = default;

bool LoadManFile::Read() {
    platform::FileSource file;
    if (!file.Open(state->fileName)) {
        state->Refuse("Cannot open " + state->fileName);
        return false;
    }
    return Read(file);
}

bool LoadManFile::Read(std::span<const std::uint8_t> bytes) {
    platform::MemorySource source(bytes);
    return Read(source);
}

bool LoadManFile::Read(platform::ByteSource& source) { return state->Read(source); }

MannDialect LoadManFile::Dialect() const { return state->dialect; }
const MannOptions& LoadManFile::Options() const { return state->options; }

}  // namespace zandor
