// The object record: one variable-length run of 32-bit words per layout object.
// A symbol keeps its records back to back in one word buffer ended by a 0 word;
// the undo list keeps verbatim copies.  Every subsystem reads and writes these
// words directly, so the layout below is a binary format.
//
// Header word (word 0): bits 0-15 length in words (header included),
// 16-23 layer, 24-28 kind, 29 member, 30 flatten mark, 31 selected.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "model/Types.h"

namespace zandor {

enum class ObjectKind : int {
    Rectangle = 1,
    Box = 2,
    Polygon = 3,
    Wire = 4,
    Circle = 5,
    Ring = 6,
    ArcWire = 7,
    Text = 8,
    Measurement = 9,
    Group = 10,
    SymbolCall = 11,
    SymbolArray = 12,
    Script = 13,
};

enum class EndStyle : int { Round = 0, Flat = 1, Extended = 2 };

// Fixed record lengths in words.
constexpr int kRectangleLength = 5;
constexpr int kBoxLength = 6;
constexpr int kPolygonBaseLength = 5;
constexpr int kWireBaseLength = 6;
constexpr int kCircleLength = 4;
constexpr int kRingLength = 5;
constexpr int kArcWireLength = 8;
constexpr int kTextBaseLength = 33;
constexpr int kMeasurementLength = 5;
constexpr int kGroupLength = 5;
constexpr int kSymbolCallLength = 18;
constexpr int kSymbolArrayLength = 18;
constexpr int kScriptBaseLength = 35;
constexpr int kMaxRecordLength = 65535;
constexpr int kMaxPolygonNodes = 32765;

// Word offsets inside records.
constexpr int kTextMatrixWord = 5;
constexpr int kTextFontWord = 17;
constexpr int kTextLengthWord = 32;
constexpr int kTextCharsWord = 33;
constexpr int kScriptMatrixWord = 7;
constexpr int kScriptFontWord = 19;
constexpr int kScriptLengthWord = 34;
constexpr int kScriptCharsWord = 35;
constexpr int kCallMatrixWord = 6;

constexpr std::uint32_t kMemberBit = 1u << 29;
constexpr std::uint32_t kFlattenMarkBit = 1u << 30;
constexpr std::uint32_t kSelectedBit = 1u << 31;
constexpr std::uint32_t kWidthMask = 0x0FFFFFFFu;

// The platform's logical font record, stored in text and script records and in
// the settings: 60 bytes, little-endian, as the Windows LOGFONTA structure.
struct LOGFONTA {
    std::int32_t lfHeight = 0;
    std::int32_t lfWidth = 0;
    std::int32_t lfEscapement = 0;
    std::int32_t lfOrientation = 0;
    std::int32_t lfWeight = 0;
    std::uint8_t lfItalic = 0;
    std::uint8_t lfUnderline = 0;
    std::uint8_t lfStrikeOut = 0;
    std::uint8_t lfCharSet = 0;
    std::uint8_t lfOutPrecision = 0;
    std::uint8_t lfClipPrecision = 0;
    std::uint8_t lfQuality = 0;
    std::uint8_t lfPitchAndFamily = 0;
    char lfFaceName[32] = {};
};
static_assert(sizeof(LOGFONTA) == 60, "LOGFONTA must occupy 15 words");

inline Word MakeHeader(int length, int layer, ObjectKind kind) {
    return static_cast<Word>((static_cast<std::uint32_t>(length) & 0xFFFFu) |
                             ((static_cast<std::uint32_t>(layer) & 0xFFu) << 16) |
                             ((static_cast<std::uint32_t>(kind) & 0x1Fu) << 24));
}

inline std::uint32_t HeaderBits(const Word* r) { return static_cast<std::uint32_t>(r[0]); }
inline int RecordLength(const Word* r) { return static_cast<int>(HeaderBits(r) & 0xFFFFu); }
inline int RecordLayer(const Word* r) { return static_cast<int>((HeaderBits(r) >> 16) & 0xFFu); }
inline ObjectKind RecordKind(const Word* r) { return static_cast<ObjectKind>((HeaderBits(r) >> 24) & 0x1Fu); }
inline bool IsMember(const Word* r) { return (HeaderBits(r) & kMemberBit) != 0; }
inline bool IsSelected(const Word* r) { return r[0] < 0; }
inline bool HasFlattenMark(const Word* r) { return (HeaderBits(r) & kFlattenMarkBit) != 0; }

inline void SetHeaderBits(Word* r, std::uint32_t bits) { r[0] = static_cast<Word>(bits); }
inline void SetRecordLength(Word* r, int length) {
    SetHeaderBits(r, (HeaderBits(r) & ~0xFFFFu) | (static_cast<std::uint32_t>(length) & 0xFFFFu));
}
inline void SetRecordLayer(Word* r, int layer) {
    SetHeaderBits(r, (HeaderBits(r) & ~(0xFFu << 16)) | ((static_cast<std::uint32_t>(layer) & 0xFFu) << 16));
}
inline void SetRecordKind(Word* r, ObjectKind kind) {
    SetHeaderBits(r, (HeaderBits(r) & ~(0x1Fu << 24)) | ((static_cast<std::uint32_t>(kind) & 0x1Fu) << 24));
}
inline void SetMemberBit(Word* r, bool on) {
    SetHeaderBits(r, on ? (HeaderBits(r) | kMemberBit) : (HeaderBits(r) & ~kMemberBit));
}
inline void SetSelectedBit(Word* r, bool on) {
    SetHeaderBits(r, on ? (HeaderBits(r) | kSelectedBit) : (HeaderBits(r) & ~kSelectedBit));
}
inline void SetFlattenMark(Word* r, bool on) {
    SetHeaderBits(r, on ? (HeaderBits(r) | kFlattenMarkBit) : (HeaderBits(r) & ~kFlattenMarkBit));
}

inline bool IsCallKind(ObjectKind k) { return k == ObjectKind::SymbolCall || k == ObjectKind::SymbolArray; }
// Text, script and group records are heads: their w3 counts the member records
// that follow them.
inline bool IsHeadKind(ObjectKind k) {
    return k == ObjectKind::Text || k == ObjectKind::Script || k == ObjectKind::Group;
}
inline bool IsHead(const Word* r) { return IsHeadKind(RecordKind(r)); }
inline int MemberCount(const Word* r) { return r[3]; }

inline int PolygonNodeCount(const Word* r) { return (RecordLength(r) - kPolygonBaseLength) / 2; }
inline int WireNodeCount(const Word* r) { return RecordLength(r) / 2 - 3; }
inline int TextLength(const Word* r) { return r[kTextLengthWord]; }
inline int ScriptLength(const Word* r) { return r[kScriptLengthWord]; }

// Nodes of polygons (from w5) and wires (from w6) as points.
inline Point* PolygonNodes(Word* r) { return reinterpret_cast<Point*>(r + 5); }
inline const Point* PolygonNodes(const Word* r) { return reinterpret_cast<const Point*>(r + 5); }
inline Point* WireNodes(Word* r) { return reinterpret_cast<Point*>(r + 6); }
inline const Point* WireNodes(const Word* r) { return reinterpret_cast<const Point*>(r + 6); }

// Width words of wires (style in bits 28-31) and arc wires (style in bits
// 28-30, bit 31 set for clockwise).
inline std::int32_t WidthOf(Word widthWord) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(widthWord) & kWidthMask);
}
inline int WireEndStyle(Word widthWord) { return static_cast<int>(static_cast<std::uint32_t>(widthWord) >> 28); }
inline int ArcEndStyle(Word widthWord) { return static_cast<int>((static_cast<std::uint32_t>(widthWord) >> 28) & 7u); }
inline bool ArcClockwise(Word widthWord) { return (static_cast<std::uint32_t>(widthWord) >> 31) != 0; }
inline Word MakeWireWidthWord(std::int32_t width, int endStyle) {
    return static_cast<Word>((static_cast<std::uint32_t>(width) & kWidthMask) |
                             (static_cast<std::uint32_t>(endStyle) << 28));
}
inline Word MakeArcWidthWord(std::int32_t width, int endStyle, bool clockwise) {
    return static_cast<Word>((static_cast<std::uint32_t>(width) & kWidthMask) |
                             ((static_cast<std::uint32_t>(endStyle) & 7u) << 28) | (clockwise ? kSelectedBit : 0u));
}

// Doubles inside records are little-endian and only 4-byte aligned.
inline double ReadDouble(const Word* p) {
    double v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void WriteDouble(Word* p, double v) { std::memcpy(p, &v, sizeof v); }
TransformMatrix ReadMatrix(const Word* p);
void WriteMatrix(Word* p, const TransformMatrix& m);
LOGFONTA ReadFont(const Word* p);
void WriteFont(Word* p, const LOGFONTA& font);

// The characters of a text or script record.
std::string_view TextChars(const Word* r);
std::string_view ScriptChars(const Word* r);

// Length in words of text and script records for nchar characters.
inline int TextRecordLength(int nchar) { return kTextBaseLength + (nchar + 3) / 4; }
inline int ScriptRecordLength(int nchar) { return kScriptBaseLength + (nchar + 3) / 4; }

// The label of a kind used by status texts ("Rectangle", ..., "Script at (").
std::string_view KindLabel(ObjectKind kind);

// Reference point of a record: selection handle and group reference point.
std::optional<Point> ReferencePoint(const Word* r);

// Matrix of element (i, j) of an array record.
TransformMatrix ElementMatrix(const Word* arrayRecord, int i, int j);

}  // namespace zandor
