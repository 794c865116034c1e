#include "formats/cif/SaveCifFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/Geometry.h"
#include "model/HierarchyWalker.h"
#include "model/Layout.h"
#include "model/ModelSettings.h"
#include "model/RecordViews.h"
#include "platform/ReplacingFile.h"

namespace zandor {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
// Room for the longest single item put without a size check: a point, a
// number or a short keyword.
constexpr std::size_t kItemRoom = 64;

constexpr const char* kScaledError =
    "The layout contains scaled and/or stretched symbol references, which\n"
    "cannot be stored without using special Zandor extensions!\n\n"
    "You need to uncombine these symbol instances to be able to store the\n"
    "design in the standard CIF 2.0 file format.\n"
    "The file still contains Zandor extensions!";
constexpr const char* kWireError =
    "The layout contains wires with flat or extended end style, which\n"
    "cannot be stored without using special Zandor extensions!\n\n"
    "These wires have been converted into wires with the default\n"
    "round end style.\n";
constexpr const char* kScaledWarning =
    "The layout contains scaled and/or stretched symbol references, which\n"
    "are not supported by the standard CIF 2.0 file format!\n\n"
    "You have to flatten the layout or uncombine these symbol instances to be\n"
    "compatible with the standard CIF 2.0 file format.\n";
constexpr const char* kWireWarning =
    "The layout contains wires with flat or extended end style, which\n"
    "are not supported by the standard CIF file format\n\n"
    "You need to convert these wires into polygons to be compatible\n"
    "with the standard CIF 2.0 file format.\n";
constexpr const char* kWriteFailed = "Unable to save file!";

// Notes for reports: what was approximated or left out without a message box.
constexpr const char* kRingAsWire = "A ring was written as a wire without extension record.";
constexpr const char* kArcWireAsPolygon = "An arc wire was written as a polygon.";
constexpr const char* kStretchedCircle = "A circle under a stretching call was written as a polygon.";
constexpr const char* kStretchedRing = "A ring under a stretching call was written as a polygon.";
constexpr const char* kTextAsPolygons = "A text was written as its outline polygons only.";
constexpr const char* kScriptAsObjects = "A script was written as its generated objects only.";
constexpr const char* kGroupAsMembers = "A group was written as its members only.";
constexpr const char* kMeasurementLeftOut = "A measurement was left out.";
constexpr const char* kEmptyCallLeftOut = "A call of an empty symbol was left out.";
constexpr const char* kFlatArrayLeftOut = "An array of magnification 0 was left out.";
constexpr const char* kGuidesLeftOut = "The guidelines of a symbol were left out.";

// Candidate lengths of the direction vector of B and R operations.  30000 is
// the traditional length; longer vectors are used only where it cannot carry
// the angle (it quantises to about 0.002 degrees, which moves geometry a
// millimetre away from the origin by tens of nanometres).
constexpr double kDirectionLengths[] = {30000.0, 300000.0, 3000000.0, 30000000.0, 300000000.0};

double NormalisedAngleDifference(double a, double b) {
    double d = std::fmod(a - b, 2 * kPi);
    if (d > kPi) d -= 2 * kPi;
    if (d < -kPi) d += 2 * kPi;
    return std::fabs(d);
}

bool HasLayer(ObjectKind kind) {
    return kind != ObjectKind::Group && kind != ObjectKind::SymbolCall && kind != ObjectKind::SymbolArray;
}

std::int64_t Length(double x, double y) { return RoundHalfAway(std::hypot(x, y)); }

}  // namespace

struct SaveCifFile::State {
    State(Layout& l, std::string name, const SaveOptions& chosen, platform::DiagnosticSink* sink)
        : layout(l), fileName(std::move(name)), options(chosen), diagnostics(sink ? *sink : shown) {}

    Layout& layout;
    std::string fileName;
    platform::ReplacingFile out;

    int writtenLayer = -1;
    int wireStyle = 0;
    int ringSegments = 72;
    int circleSegments = 72;
    bool allLayers = true;
    int onlyLayer = -1;
    SaveOptions options;
    platform::ShownDiagnostics shown;
    platform::DiagnosticSink& diagnostics;
    std::int32_t nextId = 1;
    bool scaledCall = false;
    bool extensionNeeded = false;
    bool wireStyleUsed = false;
    const SymbolDescription* writing = nullptr;  // the symbol whose records are written

    std::vector<Point> points;  // scratch, reused for every transformed record
    std::unordered_map<std::int32_t, bool> emptyById;

    // --- diagnostics -------------------------------------------------------

    void Report(platform::Severity severity, std::string_view text) {
        platform::Diagnostic d;
        d.severity = severity;
        d.text = text;
        d.file = fileName;
        diagnostics.Report(d);
    }
    // Something approximated or left out without a message box, for reports:
    // counted per symbol.
    void Note(std::string_view text) {
        platform::Diagnostic d;
        d.severity = platform::Severity::Info;
        d.text = text;
        d.file = fileName;
        if (writing) d.cell = writing->Name();
        diagnostics.Report(d);
    }

    // --- output primitives -------------------------------------------------

    void Room(std::size_t n) { out.Room(n); }
    void Put(std::string_view text) { out.Put(text); }
    void Put(char c) { out.Put(c); }
    void Number(std::int64_t value) {
        char* p = out.Room(kItemRoom);
        out.Advance(static_cast<std::size_t>(std::to_chars(p, p + kItemRoom, value).ptr - p));
    }
    void Hex(std::uint32_t value, int digits) {
        char digitsText[16];
        const auto end = std::to_chars(digitsText, digitsText + sizeof digitsText, value, 16).ptr;
        char* p = out.Room(kItemRoom);
        char* q = p;
        for (int k = static_cast<int>(end - digitsText); k < digits; ++k) *q++ = '0';
        for (const char* d = digitsText; d < end; ++d) *q++ = *d;
        out.Advance(static_cast<std::size_t>(q - p));
    }
    void Real(double value) { Put(FormatNumber(value)); }
    void EndStatement() { Put(";\r\n"); }
    // " x y" per point, five points per line.
    void Points(const Point* p, int n) {
        for (int k = 0; k < n; ++k) {
            Room(2 * kItemRoom);
            if (k > 0 && k % 5 == 0) Put(kLineEnd);
            Put(' ');
            Number(p[k].X);
            Put(' ');
            Number(p[k].Y);
        }
    }
    // A comment must stay balanced whatever a name holds: parentheses that
    // would open or close it early are replaced.
    void CommentSafe(std::string_view text) {
        int depth = 0;
        bool balanced = true;
        for (char c : text) {
            if (c == '(') ++depth;
            if (c == ')' && --depth < 0) balanced = false;
        }
        if (balanced && depth == 0) {
            Put(text);
            return;
        }
        for (char c : text) Put(c == '(' ? '[' : c == ')' ? ']' : c);
    }

    // --- helpers -----------------------------------------------------------

    bool CalledEmpty(const Word* placement) {
        const std::int32_t id = PlacementView(placement).SymbolId();
        auto it = emptyById.find(id);
        if (it != emptyById.end()) return it->second;
        const SymbolDescription* s = layout.CalledSymbol(placement);
        const bool empty = !s || s->IsEmpty();
        emptyById.emplace(id, empty);
        return empty;
    }
    bool CallWritten(const Word* r) { return !(options.removeEmpty && CalledEmpty(r)); }
    // An array of magnification 0 is never written; one of an empty symbol is
    // dropped with that symbol's definition, so that no call names a symbol
    // the file does not define.
    bool ArrayWritten(const Word* r) { return ArrayView(r).Magnification() != 0 && CallWritten(r); }
    bool OnWrittenLayer(const Word* r) { return allLayers || RecordLayer(r) == onlyLayer; }

    bool HeadWritten(const Word* r) {
        switch (RecordKind(r)) {
            case ObjectKind::Text:
            case ObjectKind::Script: return !options.noExtensions && !options.flatten && OnWrittenLayer(r);
            case ObjectKind::Group:
                return allLayers && !options.noExtensions && !options.flatten && !options.removeEmpty;
            default: return false;
        }
    }
    // Whether the reader gets a record from this (non-head) record.
    bool Produces(const Word* r) {
        const ObjectKind kind = RecordKind(r);
        if (HasLayer(kind) && !OnWrittenLayer(r)) return false;
        switch (kind) {
            case ObjectKind::Rectangle:
            case ObjectKind::Box:
            case ObjectKind::Ring:
            case ObjectKind::ArcWire: return true;  // counted only where extensions are written
            case ObjectKind::Polygon: return PolygonView(r).NodeCount() >= 3;
            case ObjectKind::Wire: return WireView(r).NodeCount() >= 2;
            case ObjectKind::Circle: return CircleView(r).Radius() >= 0;
            case ObjectKind::SymbolCall: return CallWritten(r);
            case ObjectKind::SymbolArray: return ArrayWritten(r);
            default: return false;
        }
    }

    // Member counts of a head as the reader will rebuild them from what is
    // actually written: members that write nothing (a measurement, a dropped
    // call, a record on another layer) must not be counted, or the reader would
    // take the records after the compound as its members.
    struct Counts {
        std::int64_t total = 0;
        std::int64_t direct = 0;
    };
    Counts CountMembers(const SymbolDescription& s, const Word*& cur, std::int64_t budget) {
        Counts c;
        while (budget > 0 && cur) {
            const Word* r = cur;
            cur = s.NextRecord(cur);
            --budget;
            if (IsHead(r)) {
                const std::int64_t n = std::min<std::int64_t>(std::max(HeadView(r).MemberRecords(), 0), budget);
                const Counts inner = CountMembers(s, cur, n);
                budget -= n;
                if (HeadWritten(r)) {
                    c.total += 1 + inner.total;
                    c.direct += 1;
                } else {
                    c.total += inner.total;
                    c.direct += inner.direct;
                }
            } else if (Produces(r)) {
                ++c.total;
                ++c.direct;
            }
        }
        return c;
    }
    Counts HeadCounts(const SymbolDescription& s, const Word* head) {
        const Word* cur = s.NextRecord(head);
        return CountMembers(s, cur, std::max(HeadView(head).MemberRecords(), 0));
    }

    void SelectLayer(const Word* r) {
        const int layer = RecordLayer(r);
        if (layer == writtenLayer) return;
        const LayerDescription* description = layout.Layer(layer);
        if (!description || !(allLayers || layer == onlyLayer)) return;
        Put("L ");
        Put(description->shortName);
        EndStatement();
        writtenLayer = layer;
    }

    // The direction vector whose angle the reader recovers: for boxes the same
    // millidegree, for calls the same angle to within a nanoradian.
    void Direction(double radians, std::int64_t& dx, std::int64_t& dy, std::int32_t boxMillidegrees, bool box) {
        double wanted = 0;
        if (box) {
            wanted = std::fmod(static_cast<double>(boxMillidegrees), 360000.0);
            if (wanted > 180000.0) wanted -= 360000.0;
            if (wanted <= -180000.0) wanted += 360000.0;
        }
        for (double length : kDirectionLengths) {
            dx = RoundHalfAway(std::cos(radians) * length);
            dy = RoundHalfAway(std::sin(radians) * length);
            const double back = std::atan2(static_cast<double>(dy), static_cast<double>(dx));
            if (box) {
                const double milli = back * 180.0 / kPi * 1000.0;
                if (RoundHalfAway(milli) == wanted && std::fabs(milli - wanted) < 0.25) return;
            } else if (NormalisedAngleDifference(back, radians) <= 1e-9) {
                return;
            }
        }
    }

    void WireStyle(int style) {
        if (style == wireStyle) return;
        if (options.noExtensions) {
            extensionNeeded = true;
        } else {
            Put("(ZanWireStyle ");
            Number(style);
            Put(");\r\n");
        }
        wireStyle = style;
        wireStyleUsed = true;
    }

    // B for the rectangle between two corners.  CIF boxes are centre based: a
    // corner sum that is odd puts the centre on a half unit, which a B cannot
    // hold, so the exact corners go first in a ZanBox record that our reader
    // takes instead of the B.
    void RectangleBox(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2) {
        const std::int64_t sx = x1 + x2, sy = y1 + y2;
        if (!options.noExtensions && (sx % 2 != 0 || sy % 2 != 0)) {
            Put("(ZanBox ");
            Number(x1);
            Put(' ');
            Number(y1);
            Put(' ');
            Number(x2);
            Put(' ');
            Number(y2);
            Put(");\r\n");
        }
        Put("B ");
        Number(x2 > x1 ? x2 - x1 : x1 - x2);
        Put(' ');
        Number(y2 > y1 ? y2 - y1 : y1 - y2);
        Put(' ');
        Number(sx / 2);
        Put(' ');
        Number(sy / 2);
        EndStatement();
    }

    void PolygonStatement(const Point* p, int n) {
        Put('P');
        Points(p, n);
        EndStatement();
    }

    void RingStatements(std::int64_t cx, std::int64_t cy, std::int64_t radius, std::int64_t width) {
        if (options.noExtensions) {
            Note(kRingAsWire);
        } else {
            if (wireStyle != 0) {
                Put("(ZanWireStyle 0);\r\n");
                wireStyle = 0;
            }
            Put("(ZanRing ");
            Number(width);
            Put(' ');
            Number(cx);
            Put(' ');
            Number(cy);
            Put(' ');
            Number(radius);
            Put(");\r\n");
        }
        if (ringSegments >= 200) ringSegments = 199;  // stays lowered for the rest of the file
        Put("W ");
        Number(width);
        points.resize(static_cast<std::size_t>(ringSegments) + 1);
        for (int k = 0; k < ringSegments; ++k) {
            const double angle = -kPi / 2 + 2 * kPi * k / ringSegments;
            points[static_cast<std::size_t>(k)] = {RoundHalfAway(cx + radius * std::cos(angle)),
                                                   RoundHalfAway(cy + radius * std::sin(angle))};
        }
        points[static_cast<std::size_t>(ringSegments)] = points[0];
        Points(points.data(), ringSegments + 1);
        EndStatement();
    }

    // The font and the matrix go out as the words they are stored in.
    void FontAndTransform(const LOGFONTA& font, const TransformMatrix& m) {
        Word fontWords[15];
        WriteFont(fontWords, font);
        Word matrixWords[12];
        WriteMatrix(matrixWords, m);
        Put("(ZanFont");
        for (const Word w : fontWords) {
            Put(' ');
            Number(w);
        }
        Put(");\r\n(ZanTransform");
        for (const Word w : matrixWords) {
            Put(' ');
            Number(w);
        }
        Put(");\r\n");
    }

    // Parentheses that keep a comment holding arbitrary text balanced.
    static void Unmatched(std::string_view text, int& closes, int& opens) {
        closes = opens = 0;
        for (char c : text) {
            if (c == '(') {
                ++opens;
            } else if (c == ')') {
                if (opens > 0)
                    --opens;
                else
                    ++closes;
            }
        }
    }
    void Repeat(char c, int n) {
        for (int k = 0; k < n; ++k) Put(c);
    }

    void TextRecord(const SymbolDescription& s, const Word* r) {
        const TextView text(r);
        const std::string_view chars = text.Chars();
        int closes, opens;
        Unmatched(chars, closes, opens);
        FontAndTransform(text.Font(), text.Matrix());
        Put("(ZanText ");
        Repeat('(', closes);
        Number(text.Position().X);
        Put(' ');
        Number(text.Position().Y);
        Put(' ');
        Number(HeadCounts(s, r).total);
        Put(' ');
        Number(text.Height());
        Put(' ');
        Number(static_cast<std::int64_t>(chars.size()));
        Put(' ');
        Put(chars);
        Put(')');
        Repeat(')', opens);
        EndStatement();
    }

    void ScriptRecord(const SymbolDescription& s, const Word* r) {
        const ScriptView script(r);
        const std::string_view chars = script.Chars();
        int closes, opens;
        Unmatched(chars, closes, opens);
        std::int64_t visible = 0;
        for (char c : chars) visible += c != '\r';
        const Counts counts = HeadCounts(s, r);
        FontAndTransform(script.Font(), script.Matrix());
        Put("(ZanScript ");
        Repeat('(', closes);
        const std::int64_t words[] = {script.Position().X, script.Position().Y, counts.total, counts.direct,
                                      script.Height(),     script.MaxObjects(), visible};
        for (int k = 0; k < 7; ++k) {
            if (k > 0) Put(' ');
            Number(words[k]);
        }
        Put(kLineEnd);
        // Line breaks go out as the file's own line ends; the count above
        // leaves carriage returns out, as the reader does.
        for (char c : chars) {
            if (c == '\r') continue;
            if (c == '\n')
                Put(kLineEnd);
            else
                Put(c);
        }
        Put(')');
        Repeat(')', opens);
        EndStatement();
    }

    // --- calls and arrays --------------------------------------------------

    void CallOperations(const TransformMatrix& m) {
        const DecomposedTransform d = DecomposeTransform(m);
        if (std::fabs(std::fabs(d.scaleX) - 1) > 0.00001 || std::fabs(std::fabs(d.scaleY) - 1) > 0.00001) {
            Put(" S");
            Real(d.scaleX);
            Put(' ');
            Real(d.scaleY);
            scaledCall = true;
            if (options.noExtensions) extensionNeeded = true;
        } else {
            if (d.scaleX < 0) Put(" MX");
            if (d.scaleY < 0) Put(" MY");
        }
        if (std::sin(d.angle) != 0) RotationOperation(d.angle);
        Put(" T");
        Number(RoundHalfAway(d.tx));
        Put(' ');
        Number(RoundHalfAway(d.ty));
        EndStatement();
    }
    void RotationOperation(double radians) {
        std::int64_t dx, dy;
        Direction(radians, dx, dy, 0, false);
        Put(" R");
        Number(dx);
        Put(' ');
        Number(dy);
    }

    void CallRecord(const Word* r) {
        if (!CallWritten(r)) return Note(kEmptyCallLeftOut);
        const CallView call(r);
        Put("C ");
        Number(call.SymbolId());
        CallOperations(call.Matrix());
    }

    void DefinitionHeader(std::int32_t id) {
        Put("DS");
        Number(id);
        Put(" 1 10;\r\n");
    }
    void AutoName(std::int32_t id) {
        Put(options.noExtensions ? "9 Symbol " : "9 $ZanAuto");
        Number(id);
        EndStatement();
    }

    // The two definitions through which a standard reader sees an array: id1
    // repeats id2 along the rows, id2 repeats the element along the columns.
    void LatticeDefinitions(const Word* r, std::int32_t id1) {
        const std::int32_t id2 = id1 + 1;
        const ArrayView array(r);
        const int columns = array.Columns(), rows = array.Rows();
        const std::int64_t x0 = array.Origin().X, y0 = array.Origin().Y;
        const std::int64_t x2 = array.ColumnEnd().X, y2 = array.ColumnEnd().Y;
        const std::int64_t x3 = array.RowEnd().X, y3 = array.RowEnd().Y;
        const double magnification = array.Magnification();
        const double degrees = array.AngleDegrees();
        DefinitionHeader(id1);
        AutoName(id1);
        for (int j = 0; j < rows; ++j) {
            Put("C ");
            Number(id2);
            Put(" T");
            Number(LatticeOffset(j, x3 - x0, rows));
            Put(' ');
            Number(LatticeOffset(j, y3 - y0, rows));
            EndStatement();
        }
        Put("DF;\r\n");
        DefinitionHeader(id2);
        AutoName(id2);
        const double radians = degrees * kPi / 180.0;
        for (int i = 0; i < columns; ++i) {
            Put("C ");
            Number(array.SymbolId());
            if (magnification != 1 || degrees != 0) {
                if (std::fabs(magnification) != 1) {
                    Put(" S");
                    Real(std::fabs(magnification));
                    Put(' ');
                    Real(magnification);
                    scaledCall = true;
                    if (options.noExtensions) extensionNeeded = true;
                } else if (magnification < 0) {
                    Put(" MY");
                }
                if (std::sin(radians) != 0) RotationOperation(radians);
            }
            Put(" T");
            Number(LatticeOffset(i, x2 - x0, columns));
            Put(' ');
            Number(LatticeOffset(i, y2 - y0, columns));
            EndStatement();
        }
        Put("DF;\r\n");
    }

    void ArrayRecord(const Word* r) {
        const ArrayView array(r);
        if (!ArrayWritten(r)) return Note(array.Magnification() == 0 ? kFlatArrayLeftOut : kEmptyCallLeftOut);
        if (!options.noExtensions) {
            // The two doubles go out as the words they are stored in.
            Word magnification[2], degrees[2];
            WriteDouble(magnification, array.Magnification());
            WriteDouble(degrees, array.AngleDegrees());
            const std::int64_t words[] = {array.SymbolId(), array.Columns(),     array.Rows(),        array.Origin().X,
                                          array.Origin().Y, array.ColumnEnd().X, array.ColumnEnd().Y, array.RowEnd().X,
                                          array.RowEnd().Y, magnification[0],    magnification[1],    degrees[0],
                                          degrees[1]};
            Put("(ZanArray");
            for (const std::int64_t w : words) {
                Put(' ');
                Number(w);
            }
            Put(");\r\n");
        }
        Put("C ");
        Number(nextId);
        Put(" T");
        Number(array.Origin().X);
        Put(' ');
        Number(array.Origin().Y);
        EndStatement();
        nextId += 2;
    }

    // --- records -----------------------------------------------------------

    void Record(const SymbolDescription& s, const Word* r) {
        const ObjectKind kind = RecordKind(r);
        if (HasLayer(kind)) {
            SelectLayer(r);
            if (!OnWrittenLayer(r)) return;
        }
        switch (kind) {
            case ObjectKind::Rectangle: {
                const RectangleView rectangle(r);
                const Point a = rectangle.Corner1(), b = rectangle.Corner2();
                RectangleBox(a.X, a.Y, b.X, b.Y);
                break;
            }
            case ObjectKind::Box: {
                const BoxView box(r);
                std::int64_t dx, dy;
                Direction(box.AngleRadians(), dx, dy, box.AngleMillidegrees(), true);
                Put("B ");
                const std::int64_t values[] = {box.BoxLength(), box.BoxWidth(), box.Centre().X, box.Centre().Y, dx, dy};
                for (int k = 0; k < 6; ++k) {
                    if (k > 0) Put(' ');
                    Number(values[k]);
                }
                EndStatement();
                break;
            }
            case ObjectKind::Polygon: {
                const PolygonView polygon(r);
                if (polygon.NodeCount() >= 3) PolygonStatement(polygon.Nodes(), polygon.NodeCount());
                break;
            }
            case ObjectKind::Wire: {
                const WireView wire(r);
                if (wire.NodeCount() >= 2) {
                    WireStyle(wire.EndStyle());
                    Put("W ");
                    Number(wire.Width());
                    Points(wire.Nodes(), wire.NodeCount());
                    EndStatement();
                }
                break;
            }
            case ObjectKind::Circle: {
                const CircleView circle(r);
                if (circle.Radius() >= 0) {
                    Put("R ");
                    Number(2 * static_cast<std::int64_t>(circle.Radius()));
                    Put(' ');
                    Number(circle.Centre().X);
                    Put(' ');
                    Number(circle.Centre().Y);
                    EndStatement();
                }
                break;
            }
            case ObjectKind::Ring: {
                const RingView ring(r);
                RingStatements(ring.Centre().X, ring.Centre().Y, ring.Radius(), ring.RingWidth());
                break;
            }
            case ObjectKind::ArcWire: {
                const ArcWireView arc(r);
                const std::vector<Point> outline = ArcWireOutline(r, ringSegments);
                if (options.noExtensions) {
                    Note(kArcWireAsPolygon);
                } else {
                    const std::int64_t words[] = {arc.WidthWord(), arc.Start().X, arc.Start().Y, arc.Centre().X,
                                                  arc.Centre().Y,  arc.End().X,   arc.End().Y};
                    Put("(ZanArcWire");
                    for (const std::int64_t w : words) {
                        Put(' ');
                        Number(w);
                    }
                    Put(");\r\n");
                    // The reader skips the statement after the record only when
                    // it is a P: a degenerate arc still gets one, or the next
                    // polygon would be lost.
                    if (outline.empty()) {
                        const Point ends[] = {arc.Start(), arc.End()};
                        PolygonStatement(ends, 2);
                        break;
                    }
                }
                if (!outline.empty()) PolygonStatement(outline.data(), static_cast<int>(outline.size()));
                break;
            }
            case ObjectKind::Text:
                if (!options.noExtensions && !options.flatten) {
                    TextRecord(s, r);
                } else {
                    Note(kTextAsPolygons);
                }
                break;
            case ObjectKind::Script:
                if (!options.noExtensions && !options.flatten) {
                    ScriptRecord(s, r);
                } else {
                    Note(kScriptAsObjects);
                }
                break;
            case ObjectKind::Group:
                if (!HeadWritten(r)) {
                    Note(kGroupAsMembers);
                } else {
                    const Counts counts = HeadCounts(s, r);
                    const Point at = GroupView(r).Position();
                    Put("(ZanGroup ");
                    Number(at.X);
                    Put(' ');
                    Number(at.Y);
                    Put(' ');
                    Number(counts.total);
                    Put(' ');
                    Number(counts.direct);
                    Put(");\r\n");
                }
                break;
            case ObjectKind::SymbolCall: CallRecord(r); break;
            case ObjectKind::SymbolArray: ArrayRecord(r); break;
            default: Note(kMeasurementLeftOut); break;  // measurements are not stored
        }
    }

    // --- flattening --------------------------------------------------------

    void MapPoints(const Point* p, int n, const TransformMatrix& m, bool close) {
        points.assign(p, p + n);
        if (close && n > 0 && !(p[0] == p[n - 1])) points.push_back(p[0]);
        TransformPoints(points.data(), static_cast<int>(points.size()), m);
    }
    void MapVector(std::vector<Point>&& p, const TransformMatrix& m) {
        points = std::move(p);
        TransformPoints(points.data(), static_cast<int>(points.size()), m);
    }
    static std::int64_t MappedLength(const TransformMatrix& m, double length) {
        return (Length(m.a * length, m.b * length) + Length(m.c * length, m.d * length)) / 2;
    }
    // Radii of a circle of radius r about c after mapping, along x and along y.
    static void MappedRadii(const TransformMatrix& m, Point c, std::int32_t radius, Point& centre, std::int64_t& rx,
                            std::int64_t& ry) {
        Point p[3] = {c, {c.X + radius, c.Y}, {c.X, c.Y + radius}};
        TransformPoints(p, 3, m);
        centre = p[0];
        rx = Length(double(p[1].X) - p[0].X, double(p[1].Y) - p[0].Y);
        ry = Length(double(p[2].X) - p[0].X, double(p[2].Y) - p[0].Y);
    }

    void FlatRecord(const Word* r, const TransformMatrix& m) {
        const ObjectKind kind = RecordKind(r);
        if (HasLayer(kind)) {
            SelectLayer(r);
            if (!OnWrittenLayer(r)) return;
        }
        switch (kind) {
            case ObjectKind::Rectangle: {
                const RectangleView rectangle(r);
                const Point a = rectangle.Corner1(), b = rectangle.Corner2();
                const Point corners[4] = {a, {b.X, a.Y}, b, {a.X, b.Y}};
                MapPoints(corners, 4, m, false);
                const Point p0 = points[0], p1 = points[1], p2 = points[2];
                if (p0.X == p1.X || p0.Y == p1.Y) {
                    RectangleBox(p0.X, p0.Y, p2.X, p2.Y);
                } else {
                    points.push_back(p0);
                    PolygonStatement(points.data(), 5);
                }
                break;
            }
            case ObjectKind::Box:
                MapVector(BoxView(r).Corners(), m);
                points.push_back(points[0]);
                PolygonStatement(points.data(), static_cast<int>(points.size()));
                break;
            case ObjectKind::Polygon: {
                const PolygonView polygon(r);
                if (polygon.NodeCount() >= 3) {
                    MapPoints(polygon.Nodes(), polygon.NodeCount(), m, true);
                    PolygonStatement(points.data(), static_cast<int>(points.size()));
                }
                break;
            }
            case ObjectKind::Wire: {
                const WireView wire(r);
                if (wire.NodeCount() >= 2) {
                    WireStyle(wire.EndStyle());
                    const std::int64_t width = MappedLength(m, wire.Width());
                    MapPoints(wire.Nodes(), wire.NodeCount(), m, false);
                    Put("W ");
                    Number(width);
                    Points(points.data(), static_cast<int>(points.size()));
                    EndStatement();
                }
                break;
            }
            case ObjectKind::Circle: {
                const CircleView circle(r);
                if (circle.Radius() < 0) break;
                Point centre;
                std::int64_t rx, ry;
                MappedRadii(m, circle.Centre(), circle.Radius(), centre, rx, ry);
                if (rx == ry) {
                    Put("R ");
                    Number(2 * rx);
                    Put(' ');
                    Number(centre.X);
                    Put(' ');
                    Number(centre.Y);
                    EndStatement();
                } else {
                    Note(kStretchedCircle);
                    MapVector(CirclePolygon(circle.Centre(), circle.Radius(), circleSegments), m);
                    PolygonStatement(points.data(), static_cast<int>(points.size()));
                }
                break;
            }
            case ObjectKind::Ring: {
                const RingView ring(r);
                Point centre;
                std::int64_t rx, ry;
                MappedRadii(m, ring.Centre(), ring.Radius(), centre, rx, ry);
                if (rx == ry) {
                    RingStatements(centre.X, centre.Y, rx, MappedLength(m, ring.RingWidth()));
                } else {
                    Note(kStretchedRing);
                    MapVector(RingPolygon(ring.Centre(), ring.Radius(), ring.RingWidth(),
                                          2 * std::min(ringSegments, 199) + 2),
                              m);
                    PolygonStatement(points.data(), static_cast<int>(points.size()));
                }
                break;
            }
            case ObjectKind::ArcWire: {
                std::vector<Point> outline = ArcWireOutline(r, ringSegments);
                Note(kArcWireAsPolygon);
                if (outline.empty()) break;
                MapVector(std::move(outline), m);
                PolygonStatement(points.data(), static_cast<int>(points.size()));
                break;
            }
            // Texts and scripts are their member records.
            case ObjectKind::Text: Note(kTextAsPolygons); break;
            case ObjectKind::Script: Note(kScriptAsObjects); break;
            case ObjectKind::Group: Note(kGroupAsMembers); break;
            default: Note(kMeasurementLeftOut); break;
        }
    }

    // Every record the symbol places, through all calls and arrays, in the
    // symbol's coordinates.  The walk never enters a symbol that is already
    // open, so a cycle of calls in a damaged file ends.
    void FlatSymbol(const SymbolDescription& s) {
        struct Flattener : WalkVisitor {
            explicit Flattener(State& state) : state(state) {}
            // Array elements go out row by row, as they always have.
            static constexpr bool RowByRow() { return true; }
            void Object(const Word* r, const TransformMatrix& m, int) { state.FlatRecord(r, m); }
            State& state;
        } flattener(*this);
        HierarchyWalker(layout).Walk(s, TransformMatrix{}, flattener);
    }

    // --- definitions -------------------------------------------------------

    void Definition(const SymbolDescription& s) {
        if (!options.flatten) {
            std::int32_t id = nextId;
            for (const Word* r = s.FirstRecord(); r; r = s.NextRecord(r)) {
                if (RecordKind(r) == ObjectKind::SymbolArray && ArrayWritten(r)) {
                    LatticeDefinitions(r, id);
                    id += 2;
                }
            }
        }
        writing = &s;
        DefinitionHeader(s.Id());
        Put("9 ");
        for (char c : s.Name()) Put(c == ' ' ? '~' : c);
        EndStatement();
        if (!options.noExtensions) {
            Guides("(ZanVGuide ", s.vGuides);
            Guides("(ZanHGuide ", s.hGuides);
        } else if (!s.vGuides.empty() || !s.hGuides.empty()) {
            Note(kGuidesLeftOut);
        }
        writtenLayer = -1;
        if (options.flatten) {
            FlatSymbol(s);
        } else {
            for (const Word* r = s.FirstRecord(); r; r = s.NextRecord(r)) Record(s, r);
        }
        Put("DF;\r\n");
    }

    void Guides(std::string_view keyword, const std::vector<std::int32_t>& positions) {
        for (std::size_t first = 0; first < positions.size(); first += 8) {
            const std::size_t n = std::min<std::size_t>(8, positions.size() - first);
            Put(keyword);
            Number(static_cast<std::int64_t>(n));
            Put(' ');
            for (std::size_t k = 0; k < n; ++k) {
                Number(positions[first + k]);
                Put(' ');
            }
            Put(");\r\n");
        }
    }

    void LayerLines() {
        for (int index = 0; index < kLayerCount; ++index) {
            const LayerDescription* layer = layout.Layer(index);
            if (!layer || !(allLayers || index == onlyLayer)) continue;
            Put("L ");
            Put(layer->shortName);
            Put("; (Zandor: ");
            Number(index);
            Put(' ');
            CommentSafe(layer->name);
            Put('/');
            Hex(layer->FillStyleWord(), 8);
            Put(' ');
            Hex(layer->OutlineStyleWord(), 8);
            if (layer->dataType != 0 || layer->polarity == 0) {
                Put(' ');
                Hex(layer->dataType, 4);
                Put(' ');
                Hex(layer->polarity, 1);
            }
            Put(");\r\n");
        }
    }

    void Body(SymbolDescription& main) {
        Put("(CIF written by Zandor 3.2);\r\n(1 unit = 0.001 micron);\r\n");
        if (!options.noExtensions) Put("(Layer names:);\r\n");
        LayerLines();
        nextId = layout.NextSymbolId();
        const auto& symbols = layout.Symbols();
        if (!options.flatten && symbols.size() > 1) {
            if (!options.noExtensions) Put("(Symbol definitions:);\r\n");
            for (std::size_t k = 1; k < symbols.size(); ++k) {
                const SymbolDescription& s = *symbols[k];
                if (options.removeUnused && s.IsUnused()) {
                    Report(platform::Severity::Info, "The unused symbol " + s.Name() + " was left out.");
                    continue;
                }
                if (options.removeEmpty && s.IsEmpty()) {
                    Report(platform::Severity::Info, "The empty symbol " + s.Name() + " was left out.");
                    continue;
                }
                Definition(s);
            }
        }
        const std::int32_t mainId = nextId++;
        // The main symbol has no number in memory; the file needs one while it
        // is written, and the layout gets -1 back whatever happens below.
        struct Restore {
            Layout& layout;
            SymbolDescription& main;
            ~Restore() { layout.SetSymbolId(main, -1); }
        } restore{layout, main};
        layout.SetSymbolId(main, mainId);
        if (!options.noExtensions) Put("(Top level:);\r\n");
        Definition(main);
        Put("C ");
        Number(mainId);
        EndStatement();
        Put('E');
    }
};

SaveCifFile::SaveCifFile(Layout& layout, std::string fileName, const SaveOptions& options,
                         platform::DiagnosticSink* diagnostics)
    : state(std::make_unique<State>(layout, std::move(fileName), options, diagnostics)) {}

SaveCifFile::~SaveCifFile() = default;

bool SaveCifFile::Write(int layer) {
    State& s = *state;
    s.ringSegments = std::clamp(Settings().ringNumSegments, 16, 512);
    s.circleSegments = std::clamp(Settings().circleNumSegments, 16, 512);
    s.allLayers = layer < 0;
    s.onlyLayer = layer < 0 ? -1 : layer;
    s.writtenLayer = -1;
    s.wireStyle = 0;
    s.scaledCall = s.extensionNeeded = s.wireStyleUsed = false;
    s.emptyById.clear();

    SymbolDescription* main = s.layout.MainSymbol();
    if (!main) return false;
    if (!s.out.Open(s.fileName)) {
        // A name that cannot take a file is refused with a message; a file
        // that cannot be created fails without one.
        if (platform::RefusedTarget(s.out)) s.Report(platform::Severity::Error, kWriteFailed);
        return false;
    }
    s.Body(*main);
    s.writing = nullptr;
    if (!s.out.Commit()) {
        s.Report(platform::Severity::Error, platform::SaveFailedText(kWriteFailed, s.out));
        return false;
    }
    if (s.out.InPlace()) s.Report(platform::Severity::Warning, platform::kWrittenInPlaceWarning);

    if (s.extensionNeeded) {
        if (s.scaledCall) s.Report(platform::Severity::Error, kScaledError);
        if (s.wireStyleUsed) s.Report(platform::Severity::Error, kWireError);
    } else {
        if (s.scaledCall) s.Report(platform::Severity::Warning, kScaledWarning);
        if (s.wireStyleUsed) s.Report(platform::Severity::Warning, kWireWarning);
    }
    return true;
}

}  // namespace zandor
