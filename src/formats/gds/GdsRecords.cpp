#include "formats/gds/GdsRecords.h"

#include <cmath>

namespace zandor::gds {

std::string_view RecordName(int type) {
    static constexpr const char* kNames[kLastKnownRecordType + 1] = {
        "HEADER",   "BGNLIB",     "LIBNAME",     "UNITS",     "ENDLIB",    "BGNSTR",   "STRNAME",  "ENDSTR",
        "BOUNDARY", "PATH",       "SREF",        "AREF",      "TEXT",      "LAYER",    "DATATYPE", "WIDTH",
        "XY",       "ENDEL",      "SNAME",       "COLROW",    "TEXTNODE",  "NODE",     "TEXTTYPE", "PRESENTATION",
        "SPACING",  "STRING",     "STRANS",      "MAG",       "ANGLE",     "UINTEGER", "USTRING",  "REFLIBS",
        "FONTS",    "PATHTYPE",   "GENERATIONS", "ATTRTABLE", "STYPTABLE", "STRTYPE",  "ELFLAGS",  "ELKEY",
        "LINKTYPE", "LINKKEYS",   "NODETYPE",    "PROPATTR",  "PROPVALUE", "BOX",      "BOXTYPE",  "PLEX",
        "BGNEXTN",  "ENDEXTN",    "TAPENUM",     "TAPECODE",  "STRCLASS",  "RESERVED", "FORMAT",   "MASK",
        "ENDMASKS", "LIBDIRSIZE", "SRFNAME",     "LIBSECUR"};
    return type >= 0 && type <= kLastKnownRecordType ? kNames[type] : "?";
}

double DecodeReal8(const std::uint8_t* p) {
    std::uint64_t fraction = 0;
    for (int k = 1; k < 8; ++k) fraction = fraction << 8 | p[k];
    const int exponent = (p[0] & 0x7F) - 64;
    // fraction / 2^56 × 16^exponent
    const double magnitude = std::ldexp(static_cast<double>(fraction), 4 * exponent - 56);
    return (p[0] & 0x80) ? -magnitude : magnitude;
}

void EncodeReal8(double value, std::uint8_t* p) {
    for (int k = 0; k < 8; ++k) p[k] = 0;
    if (value == 0 || std::isnan(value)) return;
    const bool negative = value < 0;
    double v = std::fabs(value);
    int exponent = 65;
    while (v >= 16 && exponent <= 128) {
        v /= 16;
        ++exponent;
    }
    double w;
    for (;;) {
        w = v * 16;
        --exponent;
        if (v >= 1) break;
        v = w;
        if (exponent < -1) return;  // below the smallest magnitude: zero
    }
    // Here w = fraction × 256 with the fraction in [1/16, 1), and the stored
    // exponent byte is exponent + 1.
    int stored = exponent + 1;
    if (stored < 0) return;
    if (stored > 127) {
        // Too large for the format: the largest value it holds.
        p[0] = static_cast<std::uint8_t>(0x7F | (negative ? 0x80 : 0));
        for (int k = 1; k < 8; ++k) p[k] = 0xFF;
        return;
    }
    p[0] = static_cast<std::uint8_t>(stored | (negative ? 0x80 : 0));
    double scaled = w;
    for (int k = 1; k < 8; ++k) {
        p[k] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(std::trunc(scaled)) & 0xFF);
        scaled *= 256;
    }
}

std::string LayerMapPath(std::string_view fileName) {
    const std::size_t dot = fileName.rfind('.');
    const std::size_t slash = fileName.find_last_of('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    return std::string(fileName.substr(0, dot + 1)) + "map";
}

}  // namespace zandor::gds
