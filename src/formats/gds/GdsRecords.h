// The GDSII stream format as the reader and the writer share it: record and
// data type numbers, big-endian integers, and the 8-byte excess-64 real.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zandor::gds {

enum RecordType : std::uint8_t {
    HEADER = 0,
    BGNLIB = 1,
    LIBNAME = 2,
    UNITS = 3,
    ENDLIB = 4,
    BGNSTR = 5,
    STRNAME = 6,
    ENDSTR = 7,
    BOUNDARY = 8,
    PATH = 9,
    SREF = 10,
    AREF = 11,
    TEXT = 12,
    LAYER = 13,
    DATATYPE = 14,
    WIDTH = 15,
    XY = 16,
    ENDEL = 17,
    SNAME = 18,
    COLROW = 19,
    NODE = 21,
    TEXTTYPE = 22,
    STRING = 25,
    STRANS = 26,
    MAG = 27,
    ANGLE = 28,
    PATHTYPE = 33,
    NODETYPE = 42,
    BOX = 45,
    BOXTYPE = 46,
    BGNEXTN = 48,
    ENDEXTN = 49,
};

enum DataType : std::uint8_t {
    NoData = 0,
    BitArray = 1,
    Int16 = 2,
    Int32 = 3,
    Real8 = 5,
    Ascii = 6,
};

// Records of a higher type are not part of the format.
constexpr int kLastKnownRecordType = 59;
// The longest record: its length is a 16-bit count of bytes, header included.
constexpr int kMaxRecordBytes = 65535;
// Points that one XY record can carry.
constexpr int kMaxXYPoints = (kMaxRecordBytes - 4) / 8;

inline std::uint16_t ReadU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
inline std::int32_t ReadI32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
                                     static_cast<std::uint32_t>(p[2]) << 8 | p[3]);
}
inline void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}
inline void PutI32(std::uint8_t* p, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    p[0] = static_cast<std::uint8_t>(u >> 24);
    p[1] = static_cast<std::uint8_t>(u >> 16);
    p[2] = static_cast<std::uint8_t>(u >> 8);
    p[3] = static_cast<std::uint8_t>(u);
}

// The name of a record type of the format ("PROPATTR"); "?" for other types.
std::string_view RecordName(int type);

// value = ±(fraction of 56 bits) × 16^(exponent − 64).
double DecodeReal8(const std::uint8_t* p);
// Truncates the fraction to 56 bits.  Zero, and magnitudes below the smallest
// the format holds, give eight zero bytes; NaN gives zero; infinite and too
// large magnitudes give the largest value of their sign.
void EncodeReal8(double value, std::uint8_t* p);

// The layer map that belongs beside a stream file: the name with the part
// after its last "." replaced by "map"; empty when the file name itself has
// no ".".
std::string LayerMapPath(std::string_view fileName);

}  // namespace zandor::gds
