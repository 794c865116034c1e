// Writer of GDSII stream files.  Choices beyond the plain format:
// - the file is written through a temporary file that replaces the target
//   only when complete, and a failed write is reported instead of leaving a
//   cut file behind;
// - structure names are made unique after cutting them to 32 characters (and
//   after blanks became "_"), because a reader would merge two structures of
//   one name; references use the same names;
// - a layer is written with the GDSII layer number it came from, which the
//   reader keeps for every datatype of a number beyond the first;
// - an array's angle is written as stored, without a detour through radians,
//   so that it reads back bit for bit; an array of magnification 0, which
//   drawing and every writer leave out, is left out here too.
#include "formats/gds/SaveGdsFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "formats/gds/GdsRecords.h"
#include "model/Geometry.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "model/RecordViews.h"
#include "platform/ReplacingFile.h"

namespace zandor {

namespace {

using namespace gds;

constexpr std::size_t kMaxName = 32;
constexpr std::size_t kMaxLibraryName = 16;
constexpr int kWarnedPoints = 200;
constexpr std::size_t kPadding = 2048;

constexpr const char* kStretchedError =
    "The layout contains symbols which are stretched in one\n"
    "direction while the GDS-II file format only supports\n"
    "a magnification factor!\n"
    "You need to flatten these symbol instances before saving\n"
    "into GDS-II format.";
constexpr const char* kTooManyNodesError =
    "The layout contains polygons or wires with more than 8191 nodes,\n"
    "which cannot be stored in the standard GDS-II file format.\n"
    "You need to split the polygons or wires or save in CIF format.\n";
constexpr const char* kManyNodesWarning =
    "The layout contains polygons or wires with more than 200 nodes,\n"
    "which are not supported by the standard GDS-II file format.\n"
    "However, Zandor and most other layout software will not have\n"
    "a problem with this.";
constexpr const char* kSaveFailed = "Unable to save file!";

// Notes for reports: what was approximated or left out without a message box.
constexpr const char* kArcWireAsBoundary = "An arc wire was written as a boundary of its outline.";
constexpr const char* kDegenerateArcWire = "An arc wire without an outline was left out.";
constexpr const char* kTextAsBoundaries = "A text was written as the boundaries of its outline polygons only.";
constexpr const char* kScriptAsObjects = "A script was written as its generated objects only.";
constexpr const char* kGroupAsMembers = "A group was written as its members only.";
constexpr const char* kMeasurementLeftOut = "A measurement was left out.";
constexpr const char* kShortPolygon = "A polygon of fewer than 3 points was left out.";
constexpr const char* kShortWire = "A wire of fewer than 2 points was left out.";
constexpr const char* kMissingCalled = "A call of a symbol that does not exist was left out.";
constexpr const char* kFlatArrayLeftOut = "An array of magnification 0 was left out.";

// Degrees of an angle in radians, brought into 0..360 (any size of angle,
// 0 for one that is not finite); values within 1e-9 of a whole degree are
// taken as whole.
double NormalDegrees(double radians) {
    double degrees = std::fmod(radians * 180.0 / kPi, 360.0);
    if (!std::isfinite(degrees)) return 0;
    const double whole = RoundHalfAway(degrees);
    if (std::fabs(degrees - whole) < 1e-9) degrees = whole;
    if (degrees < 0) degrees += 360;
    if (degrees >= 360) degrees -= 360;
    return degrees;
}

// An angle in degrees as stored, brought into 0..360 only where that is exact:
// fmod is, adding 360 to a negative remainder is not always.
double StoredDegrees(double degrees) {
    if (!std::isfinite(degrees)) return 0;
    double d = std::fmod(degrees, 360.0);
    if (d < 0 && (d + 360.0) - 360.0 == d && d + 360.0 < 360.0) d += 360.0;
    return d == 0 ? 0.0 : d;
}

}  // namespace

struct SaveGdsFile::State {
    State(Layout& l, std::string name, platform::DiagnosticSink* sink)
        : layout(l),
          fileName(std::move(name)),
          diagnostics(sink ? *sink : shown),
          ringSegments(std::clamp(Settings().ringNumSegments, 16, 512)),
          circleSegments(std::clamp(Settings().circleNumSegments, 16, 512)),
          circleNote("A circle was written as a boundary of " + std::to_string(circleSegments) + " points."),
          ringNote("A ring was written as a boundary of " + std::to_string(2 * ringSegments + 2) + " points.") {}

    Layout& layout;
    std::string fileName;
    platform::ShownDiagnostics shown;
    platform::DiagnosticSink& diagnostics;
    platform::ReplacingFile out;
    std::uint8_t timeStamp[12] = {};
    int ringSegments;
    int circleSegments;
    std::string circleNote;
    std::string ringNote;
    const SymbolDescription* writing = nullptr;  // the symbol whose records are written
    bool manyPoints = false, tooManyPoints = false, stretched = false;

    std::unordered_map<std::int32_t, std::string> names;  // written name by symbol id
    std::vector<std::uint8_t> scratch;
    std::vector<Point> points;

    // --- diagnostics -----------------------------------------------------

    void Report(platform::Severity severity, std::string_view text, std::string_view file = {}) {
        platform::Diagnostic d;
        d.severity = severity;
        d.text = text;
        d.file = file.empty() ? std::string_view(fileName) : file;
        if (writing) d.cell = writing->Name();
        diagnostics.Report(d);
    }
    // Something approximated or left out without a message box, for reports:
    // counted per symbol.
    void Note(std::string_view text) { Report(platform::Severity::Info, text); }

    // --- records ---------------------------------------------------------

    void Header(int type, int dataType, std::size_t dataBytes) {
        std::uint8_t h[4];
        PutU16(h, static_cast<std::uint16_t>(4 + dataBytes));
        h[2] = static_cast<std::uint8_t>(type);
        h[3] = static_cast<std::uint8_t>(dataType);
        out.Put(h, 4);
    }
    void Empty(int type) { Header(type, NoData, 0); }
    void Short(int type, std::uint16_t value, int dataType = Int16) {
        Header(type, dataType, 2);
        std::uint8_t d[2];
        PutU16(d, value);
        out.Put(d, 2);
    }
    void Real(int type, double value) {
        Header(type, Real8, 8);
        std::uint8_t d[8];
        EncodeReal8(value, d);
        out.Put(d, 8);
    }
    void String(int type, std::string_view text) {
        const std::size_t n = std::min<std::size_t>(text.size(), kMaxRecordBytes - 5);
        Header(type, Ascii, n + (n & 1));
        out.Put(text.data(), n);
        if (n & 1) out.Put("", 1);
    }
    void Xy(const Point* p, std::size_t n) {
        scratch.resize(4 + 8 * n);
        PutU16(scratch.data(), static_cast<std::uint16_t>(4 + 8 * n));
        scratch[2] = XY;
        scratch[3] = Int32;
        std::uint8_t* q = scratch.data() + 4;
        for (std::size_t k = 0; k < n; ++k, q += 8) {
            PutI32(q, p[k].X);
            PutI32(q + 4, p[k].Y);
        }
        out.Put(scratch.data(), scratch.size());
    }
    void Stamp(int type) {
        Header(type, Int16, 24);
        out.Put(timeStamp, 12);
        out.Put(timeStamp, 12);
    }

    // --- elements --------------------------------------------------------

    void LayerAndType(int layer) {
        const LayerDescription* description = layout.Layer(layer);
        Short(LAYER, static_cast<std::uint16_t>(description ? description->GdsLayer() : layer));
        Short(DATATYPE, static_cast<std::uint16_t>(description ? description->dataType : 0));
    }

    // A closed outline: the points and the first one again.
    void Boundary(int layer, const std::vector<Point>& outline) { Boundary(layer, outline.data(), outline.size()); }
    void Boundary(int layer, const Point* outline, std::size_t n) {
        if (n == 0) return;
        points.assign(outline, outline + n);
        points.push_back(outline[0]);
        Empty(BOUNDARY);
        LayerAndType(layer);
        Xy(points.data(), points.size());
        Empty(ENDEL);
    }

    void Polygon(const Word* r) {
        const PolygonView polygon(r);
        const int n = polygon.NodeCount();
        if (n < 3) return Note(kShortPolygon);
        const Point* p = polygon.Nodes();
        int count = p[n - 1] == p[0] ? n : n + 1;
        if (count > kWarnedPoints) manyPoints = true;
        if (count > kMaxXYPoints) {
            tooManyPoints = true;
            count = kMaxXYPoints;
        }
        points.assign(p, p + (count - 1));
        points.push_back(p[0]);
        Empty(BOUNDARY);
        LayerAndType(RecordLayer(r));
        Xy(points.data(), points.size());
        Empty(ENDEL);
    }

    void Wire(const Word* r) {
        const WireView wire(r);
        const int n = wire.NodeCount();
        if (n < 2) return Note(kShortWire);
        if (n > kWarnedPoints) manyPoints = true;
        if (n > kMaxXYPoints) tooManyPoints = true;
        int pathType;
        switch (static_cast<EndStyle>(wire.EndStyle())) {
            case EndStyle::Round: pathType = 1; break;
            case EndStyle::Flat: pathType = 0; break;
            default: pathType = 2; break;
        }
        const Point* p = wire.Nodes();
        // Longer wires become several paths, each starting where the one
        // before ended.
        for (int start = 0; start < n - 1;) {
            const int end = std::min(start + kMaxXYPoints - 1, n - 1);
            Empty(PATH);
            LayerAndType(RecordLayer(r));
            Short(PATHTYPE, static_cast<std::uint16_t>(pathType));
            Header(WIDTH, Int32, 4);
            std::uint8_t w[4];
            PutI32(w, wire.Width());
            out.Put(w, 4);
            Xy(p + start, static_cast<std::size_t>(end - start + 1));
            Empty(ENDEL);
            start = end;
        }
    }

    // STRANS, MAG and ANGLE of a reference; magnification m >= 0.
    void Transformation(bool reflected, double m, double degrees) {
        if (!reflected && m == 1 && degrees == 0) return;
        Short(STRANS, reflected ? 0x8000 : 0, BitArray);
        if (m != 1) Real(MAG, m);
        if (degrees != 0) Real(ANGLE, degrees);
    }

    void Call(const Word* r) {
        const CallView call(r);
        const auto name = names.find(call.SymbolId());
        if (name == names.end()) return Note(kMissingCalled);
        const DecomposedTransform t = DecomposeTransform(call.Matrix());
        double m = std::fabs(t.scaleX);
        if (std::fabs(std::fabs(t.scaleX) - std::fabs(t.scaleY)) > 1e-6) {
            stretched = true;
            m = (std::fabs(t.scaleX) + std::fabs(t.scaleY)) / 2;
        }
        double angle = t.angle;
        bool reflected;
        if (t.scaleX >= 0) {
            reflected = t.scaleY < 0;
        } else {
            reflected = t.scaleY >= 0;
            angle += kPi;
        }
        Empty(SREF);
        String(SNAME, name->second);
        Transformation(reflected, m, NormalDegrees(angle));
        const Point at{RoundHalfAway(t.tx), RoundHalfAway(t.ty)};
        Xy(&at, 1);
        Empty(ENDEL);
    }

    void Array(const Word* r) {
        const ArrayView array(r);
        const auto name = names.find(array.SymbolId());
        if (name == names.end()) return Note(kMissingCalled);
        const double m = array.Magnification();
        if (m == 0) return Note(kFlatArrayLeftOut);
        Empty(AREF);
        String(SNAME, name->second);
        Transformation(m < 0, std::fabs(m), StoredDegrees(array.AngleDegrees()));
        Header(COLROW, Int16, 4);
        std::uint8_t d[4];
        PutU16(d, static_cast<std::uint16_t>(array.Columns()));
        PutU16(d + 2, static_cast<std::uint16_t>(array.Rows()));
        out.Put(d, 4);
        const Point corners[3] = {array.Origin(), array.ColumnEnd(), array.RowEnd()};
        Xy(corners, 3);
        Empty(ENDEL);
    }

    void Object(const Word* r) {
        const int layer = RecordLayer(r);
        switch (RecordKind(r)) {
            case ObjectKind::Rectangle: {
                const RectangleView rectangle(r);
                const Point a = rectangle.Corner1(), b = rectangle.Corner2();
                const Point corners[] = {a, {b.X, a.Y}, b, {a.X, b.Y}};
                return Boundary(layer, corners, 4);
            }
            case ObjectKind::Box: return Boundary(layer, BoxView(r).Corners());
            case ObjectKind::Polygon: return Polygon(r);
            case ObjectKind::Wire: return Wire(r);
            case ObjectKind::Circle: {
                const CircleView circle(r);
                Note(circleNote);
                return Boundary(layer, CirclePolygon(circle.Centre(), circle.Radius(), circleSegments));
            }
            case ObjectKind::Ring: {
                const RingView ring(r);
                Note(ringNote);
                return Boundary(layer,
                                RingPolygon(ring.Centre(), ring.Radius(), ring.RingWidth(), 2 * ringSegments + 2));
            }
            case ObjectKind::ArcWire: {
                const std::vector<Point> outline = ArcWireOutline(r, ringSegments);
                Note(outline.empty() ? kDegenerateArcWire : kArcWireAsBoundary);
                return Boundary(layer, outline);
            }
            case ObjectKind::SymbolCall: return Call(r);
            case ObjectKind::SymbolArray: return Array(r);
            // Heads are nothing in the stream: their members follow as
            // ordinary records.
            case ObjectKind::Text: return Note(kTextAsBoundaries);
            case ObjectKind::Group: return Note(kGroupAsMembers);
            case ObjectKind::Script: return Note(kScriptAsObjects);
            case ObjectKind::Measurement: return Note(kMeasurementLeftOut);
        }
    }

    // --- names -----------------------------------------------------------

    // Names cut to 32 characters with blanks as "_", unique as a reader sees
    // them ("_" and "~" both read as a blank).
    void ChooseNames() {
        std::unordered_set<std::string> taken;
        // The suffix to try next for a cut name: names are only ever added,
        // so the first free suffix of a name never goes down, and many names
        // cut to the same 32 characters are not tried from _2 each time.
        std::unordered_map<std::string, int> nextSuffix;
        auto key = [](std::string name) {
            std::replace(name.begin(), name.end(), '~', '_');
            return name;
        };
        for (const auto& s : layout.Symbols()) {
            std::string base = s->Name().substr(0, kMaxName);
            std::replace(base.begin(), base.end(), ' ', '_');
            std::string name = base;
            if (taken.count(key(name))) {
                int& k = nextSuffix.try_emplace(base, 2).first->second;
                for (;; ++k) {
                    const std::string suffix = "_" + std::to_string(k);
                    name = base.substr(0, kMaxName - suffix.size()) + suffix;
                    if (!taken.count(key(name))) break;
                }
                ++k;
            }
            if (name != base) {
                Report(platform::Severity::Info,
                       "The symbol " + s->Name() + " was written as the structure " + name + " to keep names unique.");
            }
            taken.insert(key(name));
            names.emplace(s->Id(), std::move(name));
        }
    }

    // --- the file --------------------------------------------------------

    void TakeTime() {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        const int fields[6] = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                               local.tm_hour,        local.tm_min,     local.tm_sec};
        for (int k = 0; k < 6; ++k) PutU16(timeStamp + 2 * k, static_cast<std::uint16_t>(fields[k]));
    }

    void Library() {
        static constexpr std::uint8_t kHeader[] = {0x00, 0x06, 0x00, 0x02, 0x02, 0x58};
        out.Put(kHeader, sizeof kHeader);
        Stamp(BGNLIB);
        const std::size_t slash = fileName.find_last_of('/');
        const std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
        String(LIBNAME, std::string_view(base).substr(0, kMaxLibraryName));
        Header(UNITS, Real8, 16);
        std::uint8_t units[16];
        EncodeReal8(0.001, units);
        EncodeReal8(1e-9, units + 8);
        out.Put(units, 16);

        for (const auto& s : layout.Symbols()) {
            writing = s.get();
            Stamp(BGNSTR);
            if (s->Name().size() > kMaxName) {
                char text[256];
                std::snprintf(text, sizeof text,
                              "The symbol name:\n'%.100s'\nwas truncated to the maximum of 32 characters",
                              s->Name().c_str());
                Report(platform::Severity::Error, text);
            }
            String(STRNAME, names[s->Id()]);
            for (const Word* r = s->FirstRecord(); r; r = s->NextRecord(r)) Object(r);
            Empty(ENDSTR);
        }
        writing = nullptr;
        Empty(ENDLIB);
        static constexpr char kZeros[kPadding] = {};
        if (const std::size_t rest = out.Size() % kPadding; rest != 0) out.Put(kZeros, kPadding - rest);
    }
};

SaveGdsFile::SaveGdsFile(Layout& layout, std::string fileName, platform::DiagnosticSink* diagnostics)
    : state(std::make_unique<State>(layout, std::move(fileName), diagnostics)) {}

SaveGdsFile::~SaveGdsFile() = default;

bool SaveGdsFile::Write() {
    using platform::Severity;
    State& s = *state;
    if (!s.out.Open(s.fileName)) {
        // A name that cannot take a file is refused with a message; a file
        // that cannot be created fails without one.
        if (platform::RefusedTarget(s.out)) s.Report(Severity::Error, kSaveFailed);
        return false;
    }
    s.TakeTime();
    s.ChooseNames();
    s.Library();
    if (!s.out.Commit()) {
        s.Report(Severity::Error, platform::SaveFailedText(kSaveFailed, s.out));
        return false;
    }
    if (s.out.InPlace()) s.Report(Severity::Warning, platform::kWrittenInPlaceWarning);
    if (const std::string map = LayerMapPath(s.fileName); !map.empty()) s.layout.WriteLayerMap(map, &s.diagnostics);
    if (s.stretched) s.Report(Severity::Error, kStretchedError);
    if (s.tooManyPoints) {
        s.Report(Severity::Error, kTooManyNodesError);
    } else if (s.manyPoints) {
        s.Report(Severity::Warning, kManyNodesWarning);
    }
    return true;
}

}  // namespace zandor
