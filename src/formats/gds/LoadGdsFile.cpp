// Reader of GDSII stream files.  Besides the plain reading of the format it:
// - reads the file in large blocks and keeps records in place; nothing is
//   allocated per record, and no length taken from the file allocates more
//   than one record (64 KiB) can hold;
// - stops at a record length below 4 with a message (a zero length word is
//   taken as the padding of a library whose ENDLIB was lost);
// - starts every element with a fresh state, so the LAYER of a text is not
//   taken for a duplicate of the layer of the boundary before it;
// - refuses references that would make a structure contain itself, with a
//   message naming both structures, and goes on;
// - saturates coordinates that do not fit 32 bits after scaling and says so;
// - reads path type 4 (custom end extensions) as a flat-ended wire whose ends
//   are moved by the extensions;
// - keeps the layers the file uses when a layer map beside it lacks them;
// - gives every GDSII layer and datatype pair a layer of its own (see
//   LayerOf), so that pins, labels and drawings of one layer number stay
//   apart and are written back as they came;
// - loads a structure whose name reads like another one's (parentheses become
//   brackets, "_" and "~" blanks) under a name with a suffix instead of
//   merging the two.
#include "formats/gds/LoadGdsFile.h"

#include <algorithm>
#include <array>
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

#include "formats/gds/GdsRecords.h"
#include "geometry/TextOutlines.h"
#include "model/Geometry.h"
#include "model/Layout.h"
#include "platform/Messages.h"

namespace zandor {

namespace {

using namespace gds;

constexpr std::size_t kBlockSize = 1u << 20;  // bytes read from the file at a time
constexpr int kLongName = 32;
constexpr int kVertexWarningBytes = 1607;  // XY data above this holds more than 200 points
constexpr std::int32_t kDefaultGrowStep = 1024;
constexpr std::int64_t kLargestGrowStep = 212992;
constexpr std::int64_t kSmallestGrowStep = 2048;

enum class Element { None, Boundary, Path, Sref, Aref, Text, Node, Box };

// Sine and cosine of an angle in degrees, exact for multiples of 90 so that
// the matrices of quarter-turned references hold exact zeros and ones.
void SinCosDegrees(double degrees, double& s, double& c) {
    const double quarter = degrees / 90.0;
    if (std::isfinite(quarter) && quarter == std::floor(quarter)) {
        static constexpr double kSin[] = {0, 1, 0, -1};
        static constexpr double kCos[] = {1, 0, -1, 0};
        const int k = static_cast<int>(std::fmod(quarter, 4.0) + 4) % 4;
        s = kSin[k];
        c = kCos[k];
        return;
    }
    const double radians = degrees * kPi / 180.0;
    s = std::sin(radians);
    c = std::cos(radians);
}

// -0.0 is stored as 0.0, so that equal matrices are equal word for word.
double Plain(double v) { return v == 0 ? 0.0 : v; }

// The note for a record of the format that the reader has no use for.
const std::string& IgnoredRecordText(int type) {
    static const auto texts = [] {
        std::array<std::string, kLastKnownRecordType + 1> all;
        for (int k = 0; k <= kLastKnownRecordType; ++k) {
            all[static_cast<std::size_t>(k)] = "A " + std::string(RecordName(k)) + " record was ignored.";
        }
        return all;
    }();
    return texts[static_cast<std::size_t>(type)];
}

std::string_view UpToNul(const std::uint8_t* data, std::size_t size) {
    const void* nul = std::memchr(data, 0, size);
    const std::size_t n = nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - data) : size;
    return {reinterpret_cast<const char*>(data), n};
}

LOGFONTA DefaultGdsFont() {
    LOGFONTA font;
    font.lfHeight = -2048;
    font.lfCharSet = 1;            // DEFAULT_CHARSET
    font.lfOutPrecision = 7;       // OUT_TT_ONLY_PRECIS
    font.lfPitchAndFamily = 0x20;  // FF_SWISS
    std::memcpy(font.lfFaceName, "Arial", 5);
    return font;
}

struct Record {
    int length = 0;
    int type = 0;
    int dataType = 0;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;  // data bytes

    std::uint16_t U16(std::size_t index = 0) const { return size >= 2 * index + 2 ? ReadU16(data + 2 * index) : 0; }
    std::int16_t I16() const { return static_cast<std::int16_t>(U16()); }
    std::int32_t I32() const { return size >= 4 ? ReadI32(data) : 0; }
    // Leaves value unchanged when the record is too short.
    bool Real(double& value, std::size_t index = 0) const {
        if (size < 8 * index + 8) return false;
        value = DecodeReal8(data + 8 * index);
        return true;
    }
    // A magnification or angle: only finite values replace the default.
    void FiniteReal(double& value) const {
        double v = value;
        if (Real(v) && std::isfinite(v)) value = v;
    }
};

}  // namespace

struct LoadGdsFile::State {
    State(Layout& target, std::string name, platform::DiagnosticSink* sink)
        : layout(target), fileName(std::move(name)), diagnostics(sink ? *sink : shown) {}

    Layout& layout;
    std::string fileName;
    platform::ShownDiagnostics shown;
    platform::DiagnosticSink& diagnostics;

    // Input: one block buffer; a record always lies whole in it.
    platform::ByteSource* source = nullptr;
    std::unique_ptr<std::uint8_t[]> buffer;
    std::size_t bufferCapacity = 0;
    std::size_t position = 0;  // next unread byte in the buffer
    std::size_t filled = 0;    // bytes in the buffer
    bool endOfFile = false;
    std::int64_t fileSize = 100;
    std::int64_t consumed = 0;
    std::int64_t recordOffset = 0;  // where the record being handled begins
    std::int64_t nextProgressPosition = 0;
    int shownPercent = -1;
    double availableMemory = 0;

    double scale = 1.0;
    bool unitScale = true;  // coordinates pass unchanged

    // Symbols by their name in the file; the names they have in the layout.
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    std::unordered_map<std::string, SymbolDescription*, NameHash, std::equal_to<>> symbolsByName;
    std::vector<std::pair<std::string, std::string>> renamed;  // file name, symbol name
    std::int32_t nextSymbolNumber = 1;
    SymbolDescription* current = nullptr;
    bool insideStructure = false;
    // Symbols known not to contain the current symbol (valid while it stays current).
    std::unordered_set<std::int32_t> callable;

    // The element being read.
    struct ElementState {
        Element kind = Element::None;
        int gdsLayer = -1;  // the LAYER value
        int type = -1;      // data type, text type, node type or box type
        int layer = -2;     // the layer index of the pair, -2 until asked
        std::int32_t width = 1;
        int pathType = 0;
        std::int32_t beginExtension = 0, endExtension = 0;
        SymbolDescription* referenced = nullptr;
        int columns = -1, rows = -1;
        bool reflected = false, absoluteMagnification = false, absoluteAngle = false;
        double magnification = 1.0, angle = 0.0;
        Point textPosition;
    } element;
    std::vector<Point> points;
    LOGFONTA font = DefaultGdsFont();
    // Layers created for LAYER records, kept when a layer map lacks them.
    bool layerCreated[kLayerCount] = {};

    // Layer and datatype pairs: key (layer << 16 | datatype) to layer index.
    std::unordered_map<std::uint32_t, int> pairLayers;
    std::uint64_t lastPair = UINT64_MAX;  // most elements repeat the pair before them
    int lastPairLayer = -1;
    // The pairs the layer map beside the file places, and the slots it uses.
    std::unordered_map<std::uint32_t, int> mapPairLayers;
    bool mapSlot[kLayerCount] = {};
    int mapSlotNumber[kLayerCount] = {};  // the GDSII layer number a map slot holds
    // Slots that hold a pair of the file, and the pairs in the order they came.
    bool pairSlot[kLayerCount] = {};
    struct PlacedPair {
        int number;
        int dataType;
        int index;
    };
    std::vector<PlacedPair> placed;
    bool error = false;
    bool stop = false;
    bool outOfMemory = false;
    bool longNames = false, manyVertices = false, highLayers = false, unrecognized = false, absolute = false;
    bool layersRunOut = false;
    bool clamped = false, unknownPathType = false;

    // ------------------------------------------------------------------
    // Messages

    // An error about the record being handled; message boxes show the first
    // nine of a file.
    void Show(std::string_view text) {
        platform::Diagnostic d;
        d.text = text;
        d.file = fileName;
        d.offset = recordOffset;
        if (current) d.cell = current->Name();
        d.limited = true;
        diagnostics.Report(d);
    }
    // A warning about the whole file.
    void Warn(std::string_view text) {
        platform::Diagnostic d;
        d.severity = platform::Severity::Warning;
        d.text = text;
        d.file = fileName;
        diagnostics.Report(d);
    }
    // Something skipped or approximated without a message box, for reports:
    // counted per structure.
    void Note(std::string_view text) {
        platform::Diagnostic d;
        d.severity = platform::Severity::Info;
        d.text = text;
        d.file = fileName;
        if (current) d.cell = current->Name();
        diagnostics.Report(d);
    }
    // An error: reported, and the read ends without warnings or layer map.
    __attribute__((format(printf, 2, 3))) void Report(const char* format, ...) {
        error = true;
        char text[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        Show(text);
    }
    // An error that ends the read.
    void Fail(const char* text) {
        Report("%s", text);
        stop = true;
    }

    // ------------------------------------------------------------------
    // Input

    // Makes n bytes from the read position lie in the buffer; false when the
    // file ends first.
    bool Ensure(std::size_t n) {
        if (filled - position >= n) return true;
        if (endOfFile) return false;
        std::memmove(buffer.get(), buffer.get() + position, filled - position);
        filled -= position;
        position = 0;
        while (filled < n && !endOfFile) {
            const std::size_t got = source->Read(buffer.get() + filled, bufferCapacity - filled);
            if (got == 0) {
                endOfFile = true;  // a read error ends the file like its end
                break;
            }
            filled += got;
        }
        return filled >= n;
    }

    // The next record; false at the end of the file or when the file ends
    // inside the record.  badLength is set for a length below 4.
    bool NextRecord(Record& r, int& badLength) {
        badLength = -1;
        recordOffset = consumed;
        if (!Ensure(2)) return false;
        r.length = ReadU16(buffer.get() + position);
        if (r.length < 4) {
            badLength = r.length;
            return false;
        }
        if (!Ensure(static_cast<std::size_t>(r.length))) return false;
        const std::uint8_t* p = buffer.get() + position;
        r.type = p[2];
        r.dataType = p[3];
        r.data = p + 4;
        r.size = static_cast<std::size_t>(r.length) - 4;
        position += static_cast<std::size_t>(r.length);
        consumed += r.length;
        return true;
    }

    void ShowProgress() {
        if (consumed < nextProgressPosition) return;
        const std::int64_t size = fileSize > 0 ? fileSize : 100;
        const int percent = static_cast<int>(std::min<std::int64_t>(100, consumed * 100 / size));
        nextProgressPosition = ((percent + 1) * size + 99) / 100;
        if (percent != shownPercent) {
            shownPercent = percent;
            platform::Progress().SetProgress(percent);
        }
    }

    // ------------------------------------------------------------------
    // The library head

    bool ReadHead() {
        static constexpr std::uint8_t kHeader[] = {0x00, 0x06, 0x00, 0x02};
        if (!Ensure(6) || std::memcmp(buffer.get(), kHeader, 4) != 0) {
            Report("The file %s is not a valid GDS-II file.", fileName.c_str());
            return false;
        }
        position = 6;
        consumed = 6;
        recordOffset = 6;
        if (!Ensure(2)) {
            Report("Missing BGNLIB record.");
            return false;
        }
        const int length = ReadU16(buffer.get() + position);
        if (length != 28) {
            Report("Illegal size of BGNLIB record: %d", length);
            return false;
        }
        Record r;
        int badLength;
        if (!NextRecord(r, badLength) || r.type != BGNLIB || r.dataType != Int16) {
            Report("Missing BGNLIB record.");
            return false;
        }
        bool haveRecord = NextRecord(r, badLength);
        if (!haveRecord || r.type != LIBNAME || r.dataType != Ascii) {
            Report("Missing LIBNAME record.");
        } else {
            haveRecord = NextRecord(r, badLength);  // the name is not used
        }
        while (haveRecord && !(r.type == UNITS && r.dataType == Real8)) haveRecord = NextRecord(r, badLength);
        if (!haveRecord) {
            recordOffset = consumed;
            Report("Missing UNITS record.");
            return false;
        }
        double metresPerUnit = 0;
        r.Real(metresPerUnit, 1);
        scale = metresPerUnit * 1e9;
        if (!(scale > 0) || !std::isfinite(scale)) {
            Report("The UNITS record of %s gives no valid database unit.", fileName.c_str());
            return false;
        }
        // Within this distance of 1 every coordinate rounds to itself, so the
        // conversion can be skipped.
        unitScale = std::fabs(scale - 1.0) < 1e-10;
        error = longNames = manyVertices = highLayers = unrecognized = absolute = layersRunOut = false;
        return true;
    }

    // ------------------------------------------------------------------
    // Values

    std::int32_t Scaled(std::int32_t v) {
        if (unitScale) return v;
        const double x = static_cast<double>(v) * scale;
        if (std::fabs(x) > 2147483647.0) clamped = true;
        return RoundHalfAway(x);
    }

    // Names end at a NUL byte (the padding of odd lengths).  "_" and "~" stand
    // for blanks; "(" and ")" become "[" and "]" because the model keeps no
    // symbol name with parentheses.
    std::string SymbolName(std::string_view fileName) {
        std::string name(fileName);
        for (char& c : name) {
            if (c == '_' || c == '~')
                c = ' ';
            else if (c == '(')
                c = '[';
            else if (c == ')')
                c = ']';
        }
        if (name.size() > kLongName) longNames = true;
        return name;
    }

    // The symbol of a STRNAME or SNAME record, created on first sight.  Two
    // names of the file that read as one symbol name would merge two
    // structures; the later one gets " 2", " 3", ... and a warning.
    SymbolDescription* FindOrCreate(const Record& r) {
        const std::string_view fileName = UpToNul(r.data, r.size);
        // The layout was cleared: the map knows every symbol, the main one included.
        if (auto it = symbolsByName.find(fileName); it != symbolsByName.end()) return it->second;
        const std::string base = SymbolName(fileName);
        std::string name = base;
        for (int k = 2; layout.FindSymbolByName(name); ++k) name = base + " " + std::to_string(k);
        if (name != base) renamed.emplace_back(fileName, name);
        SymbolDescription* s = layout.AddSymbol(nextSymbolNumber++, name);
        if (s) symbolsByName.emplace(fileName, s);
        return s;
    }

    void StartElement(Element kind) {
        element = ElementState{};
        element.kind = kind;
    }

    // ------------------------------------------------------------------
    // Records

    void Handle(const Record& r) {
        switch (r.type) {
            case HEADER: return Fail("Unexpected HEADER record.");
            case BGNLIB: return Fail("Unexpected BGNLIB record.");
            case LIBNAME: return Fail("Unexpected LIBNAME record.");
            case UNITS: return Fail("Unexpected UNITS record.");
            case ENDLIB: stop = true; return;
            case BGNSTR:
                if (insideStructure) return Fail("Missing ENDSTR record.");
                insideStructure = true;
                SetCurrent(nullptr);
                return;
            case STRNAME: return StructureName(r);
            case ENDSTR:
                if (!insideStructure) Fail("ENDSTR record without BGNSTR.");
                if (current) TrimCurrent();
                insideStructure = false;
                SetCurrent(nullptr);
                return;
            case BOUNDARY: return StartElement(Element::Boundary);
            case PATH: return StartElement(Element::Path);
            case SREF: return StartElement(Element::Sref);
            case AREF: return StartElement(Element::Aref);
            case TEXT: return StartElement(Element::Text);
            case NODE: Note("A NODE element was skipped."); return StartElement(Element::Node);
            case BOX: return StartElement(Element::Box);
            case LAYER: return Layer(r.U16());
            case DATATYPE:
                if (element.type >= 0) return Fail("Duplicate DATATYPE record.");
                element.type = r.U16();
                return;
            case TEXTTYPE: return OtherType("Duplicate TEXTTYPE record.", r);
            case NODETYPE: return OtherType("Duplicate NODETYPE record.", r);
            case BOXTYPE: return OtherType("Duplicate BOXTYPE record.", r);
            case WIDTH: element.width = Width(r.I32()); return;
            case BGNEXTN: element.beginExtension = Scaled(r.I32()); return;
            case ENDEXTN: element.endExtension = Scaled(r.I32()); return;
            case XY: return Points(r);
            case ENDEL: element.kind = Element::None; return;
            case SNAME: {
                if (r.dataType != Ascii) return Fail("SNAME record without data.");
                element.referenced = FindOrCreate(r);
                if (!element.referenced) Fail("Unable to create symbol call");
                return;
            }
            case COLROW:
                element.columns = r.U16(0);
                element.rows = r.U16(1);
                return;
            case STRING: return Text(r);
            case STRANS: {
                const std::uint16_t bits = r.U16();
                element.reflected = (bits & 0x8000) != 0;
                element.absoluteMagnification = (bits & 0x0004) != 0;
                element.absoluteAngle = (bits & 0x0002) != 0;
                return;
            }
            case MAG: r.FiniteReal(element.magnification); return;
            case ANGLE: r.FiniteReal(element.angle); return;
            case PATHTYPE: element.pathType = r.I16(); return;
            default:
                if (r.type > kLastKnownRecordType) {
                    unrecognized = true;
                } else {
                    Note(IgnoredRecordText(r.type));
                }
                return;
        }
    }

    void SetCurrent(SymbolDescription* symbol) {
        current = symbol;
        callable.clear();
    }

    void StructureName(const Record& r) {
        if (r.dataType != Ascii) return Fail("STRNAME record without data.");
        SetCurrent(FindOrCreate(r));
        if (!current) return;
        // Room for the structure in few steps: up to what the rest of the file
        // can hold, within a fifth of the free memory.
        const std::int64_t unread = fileSize - consumed;
        const double fifth = availableMemory / 5;
        std::int64_t step = std::min<std::int64_t>(kLargestGrowStep, unread);
        if (fifth > 0 && fifth < static_cast<double>(step)) step = static_cast<std::int64_t>(fifth);
        current->growStep = static_cast<std::int32_t>(std::max(step, kSmallestGrowStep));
    }

    void TrimCurrent() {
        current->growStep = kDefaultGrowStep;
        current->ShrinkBuffer();
    }

    void Layer(int value) {
        if (element.gdsLayer >= 0) return Fail("Duplicate LAYER record.");
        element.gdsLayer = value;
    }

    // The layer index of the element, from its LAYER and its DATATYPE,
    // TEXTTYPE or BOXTYPE (0 when absent); -1 without LAYER.
    int ElementLayer() {
        if (element.layer == -2) {
            element.layer = element.gdsLayer < 0 ? -1 : LayerOf(element.gdsLayer, element.type < 0 ? 0 : element.type);
        }
        return element.layer;
    }

    static std::uint32_t PairKey(int number, int dataType) {
        return static_cast<std::uint32_t>(number) << 16 | static_cast<std::uint32_t>(dataType);
    }

    // The layer of a GDSII layer and datatype pair.  Every pair gets a layer
    // of its own: the one the layer map beside the file gives it; else the
    // slot of its layer number when no other pair or map line holds that;
    // else a free slot from 254 down (255 stays for elements without LAYER),
    // named after the pair.  When all slots are taken the pair is merged with
    // the slot of its number (255 above 255), with a warning.
    int LayerOf(int number, int dataType) {
        const std::uint32_t key = PairKey(number, dataType);
        if (key == lastPair) return lastPairLayer;
        if (auto it = pairLayers.find(key); it != pairLayers.end()) {
            lastPair = key;
            return lastPairLayer = it->second;
        }
        int index = -1;
        if (auto it = mapPairLayers.find(key); it != mapPairLayers.end()) {
            index = it->second;
        } else if (number < kLayerCount && !pairSlot[number] && !mapSlot[number]) {
            index = number;
        } else {
            for (int i = kLayerCount - 2; i >= 0 && index < 0; --i) {
                if (!pairSlot[i] && !mapSlot[i] && !layout.Layer(i)) index = i;
            }
        }
        bool merged = false;
        if (index < 0) {
            merged = true;
            layersRunOut = true;
            index = std::min(number, kLayerCount - 1);
            if (number >= kLayerCount) highLayers = true;
        }
        pairLayers.emplace(key, index);
        LayerDescription* description = layout.Layer(index);
        if (!description) {
            description = layout.SetLayer(std::make_unique<LayerDescription>(
                index, index == number ? std::string() : LayerDescription::PairName(number, dataType)));
            layerCreated[index] = true;
        } else if (merged) {
            return index;
        }
        if (!merged) {
            pairSlot[index] = true;
            placed.push_back({number, dataType, index});
        }
        description->dataType = static_cast<std::uint32_t>(dataType);
        description->gdsLayer = index == number ? -1 : number;
        return index;
    }

    void OtherType(const char* duplicate, const Record& r) {
        if (element.type >= 0) return Fail(duplicate);
        element.type = r.U16();
    }

    // A negative width (absolute, not scaled with the reference) is still the
    // width of the path.
    std::int32_t Width(std::int32_t value) {
        const std::int32_t w = Scaled(value);
        return w == INT32_MIN ? INT32_MAX : std::abs(w);
    }

    void Created(bool ok) {
        if (!ok) outOfMemory = true;
    }

    void Points(const Record& r) {
        const int n = static_cast<int>(r.size / 8);
        if (r.size > kVertexWarningBytes) manyVertices = true;
        if (!current) return Fail("XY record outside symbol definition");
        points.resize(static_cast<std::size_t>(n));
        const std::uint8_t* p = r.data;
        if (unitScale) {
            for (int k = 0; k < n; ++k, p += 8) points[k] = {ReadI32(p), ReadI32(p + 4)};
        } else {
            for (int k = 0; k < n; ++k, p += 8) points[k] = {Scaled(ReadI32(p)), Scaled(ReadI32(p + 4))};
        }
        if (n == 0) return;  // nothing to place
        switch (element.kind) {
            case Element::Boundary: return Boundary(n);
            case Element::Path: return Path(n);
            case Element::Sref: return Reference();
            case Element::Aref: return Array(n);
            case Element::Box: return BoxElement(n);
            case Element::Text: element.textPosition = points[0]; return;
            case Element::Node:
            case Element::None: return;
        }
    }

    void NoteMissingLayer() {
        if (element.gdsLayer < 0) Note("An element without a LAYER record was put on layer 255.");
    }

    void Boundary(int n) {
        NoteMissingLayer();
        const Point* q = points.data();
        while (n > 1 && q[n - 1] == q[0]) --n;
        if (n == 4 && ((q[1].X == q[0].X && q[2].Y == q[1].Y && q[3].X == q[2].X && q[3].Y == q[0].Y) ||
                       (q[1].Y == q[0].Y && q[2].X == q[1].X && q[3].Y == q[2].Y && q[3].X == q[0].X))) {
            return Created(current->AddRectangle(q[0].X, q[0].Y, q[2].X, q[2].Y, ElementLayer()) != nullptr);
        }
        Created(current->AddPolygon(q, n, ElementLayer()) != nullptr);
    }

    void Path(int n) {
        int style;
        switch (element.pathType) {
            case 0: style = static_cast<int>(EndStyle::Flat); break;
            case 1: style = static_cast<int>(EndStyle::Round); break;
            case 2: style = static_cast<int>(EndStyle::Extended); break;
            case 4: {
                // Custom extensions: flat ends moved outwards by them.
                Note("A path with custom end extensions was loaded as a flat-ended wire with its ends moved.");
                style = static_cast<int>(EndStyle::Flat);
                Point* q = points.data();
                int k = 1;
                while (k < n && q[k] == q[0]) ++k;
                if (k < n && element.beginExtension != 0) ExtendEndPoint(q[0], q[k], element.beginExtension);
                k = n - 2;
                while (k >= 0 && q[k] == q[n - 1]) --k;
                if (k >= 0 && element.endExtension != 0) ExtendEndPoint(q[n - 1], q[k], element.endExtension);
                break;
            }
            default: unknownPathType = true; return;
        }
        NoteMissingLayer();
        Created(current->AddWire(points.data(), n, element.width, style, ElementLayer()) != nullptr);
    }

    // Whether the current symbol may call symbol without containing itself;
    // reports the refusal.
    bool MayCall(SymbolDescription* symbol) {
        if (callable.count(symbol->Id())) return true;
        if (symbol == current || symbol->CallsSymbol(current->Id())) {
            // Shown like an error, but the read goes on in full.
            char text[512];
            std::snprintf(text, sizeof text,
                          "The structure %.100s cannot be placed in %.100s, which it contains itself.\n"
                          "The reference has been left out.",
                          symbol->Name().c_str(), current->Name().c_str());
            Show(text);
            return false;
        }
        // While this symbol stays current only its own calls are added, and
        // none of them can make another symbol reach it.
        callable.insert(symbol->Id());
        return true;
    }

    void Reference() {
        if (!element.referenced) return;
        if (element.absoluteMagnification || element.absoluteAngle) absolute = true;
        if (!MayCall(element.referenced)) return;
        double s, c;
        SinCosDegrees(element.angle, s, c);
        const double m = element.magnification;
        const double flip = element.reflected ? -1.0 : 1.0;
        const TransformMatrix matrix{Plain(m * c),        Plain(m * s),        Plain(-flip * m * s),
                                     Plain(flip * m * c), double(points[0].X), double(points[0].Y)};
        Created(current->InsertSymbolCallMatrix(element.referenced->Id(), matrix) != nullptr);
    }

    void Array(int n) {
        if (!element.referenced || n < 3 || element.columns < 1 || element.rows < 1) {
            return Note("An AREF element without a structure, columns, rows or three points was skipped.");
        }
        if (element.absoluteMagnification || element.absoluteAngle) absolute = true;
        if (!MayCall(element.referenced)) return;
        const double m = element.reflected ? -element.magnification : element.magnification;
        Created(current->InsertArray(element.referenced->Id(), points[0], points[1], points[2], element.columns,
                                     element.rows, m, element.angle) != nullptr);
    }

    void BoxElement(int n) {
        if (n < 4) return Note("A BOX element with fewer than four points was skipped.");
        NoteMissingLayer();
        const Point* q = points.data();
        if ((q[0].X == q[1].X && q[2].X == q[3].X && q[1].Y == q[2].Y && q[3].Y == q[0].Y) ||
            (q[0].Y == q[1].Y && q[2].Y == q[3].Y && q[1].X == q[2].X && q[3].X == q[0].X)) {
            return Created(current->AddRectangle(q[0].X, q[0].Y, q[2].X, q[2].Y, ElementLayer()) != nullptr);
        }
        std::int64_t sx = 0, sy = 0;
        for (int k = 0; k < 4; ++k) {
            sx += q[k].X;
            sy += q[k].Y;
        }
        const double dx = double(q[1].X) - q[0].X, dy = double(q[1].Y) - q[0].Y;
        const std::int32_t length = RoundHalfAway(std::hypot(dx, dy));
        const std::int32_t width = RoundHalfAway(std::hypot(double(q[3].X) - q[0].X, double(q[3].Y) - q[0].Y));
        const double degrees = std::atan2(dy, dx) * 180.0 / kPi;
        Created(current->AddBox(static_cast<std::int32_t>(sx / 4), static_cast<std::int32_t>(sy / 4), length, width,
                                degrees, ElementLayer()) != nullptr);
    }

    void Text(const Record& r) {
        if (!current) return;
        Note("A TEXT element was loaded as a text of outline polygons.");
        NoteMissingLayer();
        const std::int32_t height = RoundHalfAway(element.magnification * 1000.0);
        Created(AddTextOutlines(*current, UpToNul(r.data, r.size), height, element.textPosition.X,
                                element.textPosition.Y, element.angle, ElementLayer(), font));
    }

    // ------------------------------------------------------------------
    // The whole file

    void Run() {
        Record r;
        int badLength = -1;
        while (!stop) {
            if (!NextRecord(r, badLength)) {
                // A zero length is the padding of a library that lost its
                // ENDLIB; the rest just ends.
                if (badLength > 0) {
                    Report("Invalid record length %d at byte %lld of the file.", badLength,
                           static_cast<long long>(consumed));
                }
                break;
            }
            ShowProgress();
            Handle(r);
            if (outOfMemory) {
                Report("Unable to allocate more memory.");
                stop = true;
            }
        }
        if (current) TrimCurrent();
    }

    void ShowWarnings() {
        if (longNames) Warn("The file contains symbol names with more than 32 characters.");
        if (manyVertices) Warn("The file contains polygons or wires with more than 200 vertices.");
        if (layersRunOut) {
            Warn(
                "The file uses more layer and datatype pairs than the 256 layers of a layout. The objects of the "
                "pairs beyond have been added to the layer of their layer number.");
        }
        if (highLayers) {
            Warn(
                "The file contains layers with an index higher than 255. Objects in these layers have been added "
                "to layer 255.");
        }
        if (unrecognized) Warn("Some unrecognized records have been ignored.");
        if (absolute) {
            Warn(
                "The file contains absolute angles and magnifications which are not supported!\n"
                "Some structures may appear in the wrong position or with the wrong size.");
        }
        if (unknownPathType) {
            Warn("The file contains paths of an unknown path type, which have been left out.");
        }
        if (clamped) {
            Warn(
                "The file contains coordinates beyond the range of the layout; they have been moved to its "
                "border.");
        }
        if (!renamed.empty()) {
            constexpr std::size_t kListed = 10;
            std::string text =
                "The file contains structure names that read as the name of another structure; these structures "
                "have been loaded under new names:";
            for (std::size_t k = 0; k < renamed.size() && k < kListed; ++k) {
                text += "\n'" + renamed[k].first + "' as '" + renamed[k].second + "'";
            }
            if (renamed.size() > kListed) text += "\nand " + std::to_string(renamed.size() - kListed) + " more.";
            Warn(text);
        }
    }

    // Before the read: the pairs the layer map beside the file places, so
    // that they come to the slots the map describes.
    void TakePairsFromLayerMap() {
        const std::string map = LayerMapPath(fileName);
        if (map.empty()) return;
        LayerSlots slots;
        if (ReadLayerMapSlots(map, slots) != LayerMapResult::Read) return;
        for (const auto& layer : slots) {
            if (!layer) continue;
            mapSlot[layer->index] = true;
            mapSlotNumber[layer->index] = layer->GdsLayer();
            mapPairLayers.emplace(PairKey(layer->GdsLayer(), static_cast<int>(layer->dataType & 0xFFFFu)),
                                  layer->index);
        }
    }

    // A map written for one datatype per layer (or by hand) names the slot of
    // a layer number with another datatype than the file uses: the file's
    // first pair of that number moves into the slot, as one layer per number
    // always did.
    void MovePairsHome() {
        const bool wasModified = layout.modified;
        for (const PlacedPair& p : placed) {
            if (p.number >= kLayerCount || p.index == p.number || pairSlot[p.number] || !mapSlot[p.number] ||
                mapSlotNumber[p.number] != p.number || layout.Layer(p.number)) {
                continue;
            }
            if (!layout.ChangeLayerIndex(p.index, p.number)) continue;
            pairSlot[p.number] = layerCreated[p.number] = true;
            pairSlot[p.index] = layerCreated[p.index] = false;
            layout.Layer(p.number)->gdsLayer = -1;
        }
        layout.modified = wasModified;
    }

    // Loads the layer map beside the file: it gives the layers their names,
    // colours and styles, while the layers the file uses keep the layer and
    // datatype they hold, and those the map lacks keep their descriptions.
    void LoadLayerMap() {
        const std::string map = LayerMapPath(fileName);
        if (map.empty()) return;
        MovePairsHome();
        std::vector<std::unique_ptr<LayerDescription>> own(kLayerCount);
        for (int i = 0; i < kLayerCount; ++i) {
            if (layerCreated[i] && layout.Layer(i)) own[i] = std::make_unique<LayerDescription>(i, *layout.Layer(i));
        }
        if (!layout.ReadLayerMap(map, &diagnostics)) return;
        for (int i = 0; i < kLayerCount; ++i) {
            if (!own[i]) continue;
            if (LayerDescription* mapped = layout.Layer(i)) {
                mapped->dataType = own[i]->dataType;
                mapped->gdsLayer = own[i]->gdsLayer;
            } else {
                layout.SetLayer(std::move(own[i]));
            }
        }
    }
};

LoadGdsFile::LoadGdsFile(Layout& layout, std::string fileName, platform::DiagnosticSink* diagnostics)
    : state(std::make_unique<State>(layout, std::move(fileName), diagnostics)) {}

LoadGdsFile::~LoadGdsFile() = default;

bool LoadGdsFile::Read() {
    platform::FileSource file;
    if (!file.Open(state->fileName)) return false;
    return ReadFrom(file, true);
}

bool LoadGdsFile::Read(std::span<const std::uint8_t> bytes) {
    platform::MemorySource memory(bytes);
    return ReadFrom(memory, false);
}

bool LoadGdsFile::Read(platform::ByteSource& source) { return ReadFrom(source, false); }

bool LoadGdsFile::ReadFrom(platform::ByteSource& source, bool withLayerMap) {
    State& s = *state;
    s.source = &source;
    const std::int64_t size = source.Size();
    if (size > 0) s.fileSize = size;
    s.availableMemory = static_cast<double>(sysconf(_SC_AVPHYS_PAGES)) * static_cast<double>(sysconf(_SC_PAGESIZE));
    // Room for a block and the longest record; a small input needs no block
    // of its own (the fuzzer reads many).
    const std::size_t block =
        size >= 0 && size < static_cast<std::int64_t>(kBlockSize) ? static_cast<std::size_t>(size) : kBlockSize;
    s.bufferCapacity = block + kMaxRecordBytes;
    s.buffer = std::make_unique<std::uint8_t[]>(s.bufferCapacity);
    s.points.reserve(kMaxXYPoints);
    s.symbolsByName.emplace(s.layout.MainSymbol()->Name(), s.layout.MainSymbol());
    if (withLayerMap) s.TakePairsFromLayerMap();

    const bool head = s.ReadHead();
    if (head) s.Run();
    s.source = nullptr;
    if (!head) return false;
    if (s.error) return true;
    s.ShowWarnings();
    if (withLayerMap) s.LoadLayerMap();
    return true;
}

}  // namespace zandor
