#include "model/ObjectRecord.h"

#include <cmath>

#include "model/Geometry.h"
#include "model/RecordViews.h"

namespace zandor {

TransformMatrix ReadMatrix(const Word* p) {
    return {ReadDouble(p),     ReadDouble(p + 2), ReadDouble(p + 4),
            ReadDouble(p + 6), ReadDouble(p + 8), ReadDouble(p + 10)};
}

void WriteMatrix(Word* p, const TransformMatrix& m) {
    WriteDouble(p, m.a);
    WriteDouble(p + 2, m.b);
    WriteDouble(p + 4, m.c);
    WriteDouble(p + 6, m.d);
    WriteDouble(p + 8, m.tx);
    WriteDouble(p + 10, m.ty);
}

LOGFONTA ReadFont(const Word* p) {
    LOGFONTA font;
    std::memcpy(static_cast<void*>(&font), p, sizeof font);
    return font;
}

void WriteFont(Word* p, const LOGFONTA& font) { std::memcpy(p, &font, sizeof font); }

namespace {
std::string_view CharsAt(const Word* r, int lengthWord, int charsWord) {
    int n = r[lengthWord];
    int room = (RecordLength(r) - charsWord) * 4;
    if (n < 0) n = 0;
    if (n > room) n = room;  // never read past the record
    return {reinterpret_cast<const char*>(r + charsWord), static_cast<std::size_t>(n)};
}
}  // namespace

std::string_view TextChars(const Word* r) { return CharsAt(r, kTextLengthWord, kTextCharsWord); }
std::string_view ScriptChars(const Word* r) { return CharsAt(r, kScriptLengthWord, kScriptCharsWord); }

std::string_view KindLabel(ObjectKind kind) {
    switch (kind) {
        case ObjectKind::Rectangle: return "Rectangle";
        case ObjectKind::Box: return "Box";
        case ObjectKind::Polygon: return "Polygon";
        case ObjectKind::Wire: return "Wire";
        case ObjectKind::Circle: return "Circle";
        case ObjectKind::Ring: return "Ring";
        case ObjectKind::ArcWire: return "Arc wire";
        case ObjectKind::Text: return "Text";
        case ObjectKind::Measurement: return "Measurement";
        case ObjectKind::Group: return "Group of";
        case ObjectKind::SymbolCall: return "Symbol";
        case ObjectKind::SymbolArray: return "Array of symbols";
        case ObjectKind::Script: return "Script at (";
    }
    return "";
}

std::optional<Point> ReferencePoint(const Word* r) {
    switch (RecordKind(r)) {
        case ObjectKind::Rectangle:
        case ObjectKind::Box:
        case ObjectKind::Circle:
        case ObjectKind::Ring:
        case ObjectKind::ArcWire:
        case ObjectKind::Text:
        case ObjectKind::Measurement:
        case ObjectKind::Group:
        case ObjectKind::SymbolCall:
        case ObjectKind::Script: return Point{r[1], r[2]};
        case ObjectKind::Polygon: return Point{r[5], r[6]};
        case ObjectKind::Wire: return Point{r[6], r[7]};
        case ObjectKind::SymbolArray: return Point{r[8], r[9]};
    }
    return std::nullopt;
}

TransformMatrix ElementMatrix(const Word* r, int i, int j) {
    const double magnification = ReadDouble(r + 14);
    const double theta = ReadDouble(r + 16) * kPi / 180.0;
    const double m = std::fabs(magnification);
    const double s = magnification;
    TransformMatrix t;
    t.a = m * std::cos(theta);
    t.b = m * std::sin(theta);
    t.c = -s * std::sin(theta);
    t.d = s * std::cos(theta);
    // Column and row offsets are rounded each on its own, as the two nested
    // lattice definitions of a written file place them.
    const Point64 at = ArrayView(r).ElementPosition(i, j);
    t.tx = static_cast<double>(at.x);
    t.ty = static_cast<double>(at.y);
    return t;
}

}  // namespace zandor
