// Small GDSII streams built and taken apart in the tests: a record writer
// for fixtures and a record list for checking what the writer wrote.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/gds/GdsRecords.h"

namespace zandor::test {

class GdsBuilder {
public:
    // A record with the length computed from the data.
    GdsBuilder& Record(int type, int dataType, std::string_view data = {}) {
        const std::size_t length = 4 + data.size();
        bytes += static_cast<char>(length >> 8);
        bytes += static_cast<char>(length & 0xFF);
        bytes += static_cast<char>(type);
        bytes += static_cast<char>(dataType);
        bytes += data;
        return *this;
    }
    GdsBuilder& Empty(int type) { return Record(type, gds::NoData); }
    GdsBuilder& Shorts(int type, std::initializer_list<int> values) {
        std::string data;
        for (int v : values) {
            data += static_cast<char>((v >> 8) & 0xFF);
            data += static_cast<char>(v & 0xFF);
        }
        return Record(type, gds::Int16, data);
    }
    GdsBuilder& Longs(int type, std::initializer_list<std::int32_t> values) {
        std::string data;
        for (std::int32_t v : values) data += Long(v);
        return Record(type, gds::Int32, data);
    }
    GdsBuilder& Reals(int type, std::initializer_list<double> values) {
        std::string data;
        for (double v : values) {
            std::uint8_t b[8];
            gds::EncodeReal8(v, b);
            data.append(reinterpret_cast<const char*>(b), 8);
        }
        return Record(type, gds::Real8, data);
    }
    // Odd lengths get a NUL unless pad is false.
    GdsBuilder& Ascii(int type, std::string_view text, bool pad = true) {
        std::string data(text);
        if (pad && data.size() % 2) data += '\0';
        return Record(type, gds::Ascii, data);
    }
    GdsBuilder& Xy(std::initializer_list<std::pair<std::int32_t, std::int32_t>> points) {
        std::string data;
        for (auto [x, y] : points) data += Long(x) + Long(y);
        return Record(gds::XY, gds::Int32, data);
    }
    GdsBuilder& Xy(const std::vector<std::pair<std::int32_t, std::int32_t>>& points) {
        std::string data;
        for (auto [x, y] : points) data += Long(x) + Long(y);
        return Record(gds::XY, gds::Int32, data);
    }

    // HEADER, BGNLIB, LIBNAME and UNITS with a database unit in metres.
    GdsBuilder& Head(double metresPerUnit = 1e-9) {
        Shorts(gds::HEADER, {600});
        Shorts(gds::BGNLIB, {2024, 1, 2, 3, 4, 5, 2024, 1, 2, 3, 4, 5});
        Ascii(gds::LIBNAME, "LIB");
        return Reals(gds::UNITS, {metresPerUnit * 1e6, metresPerUnit});
    }
    GdsBuilder& Structure(std::string_view name) {
        Shorts(gds::BGNSTR, {2024, 1, 2, 3, 4, 5, 2024, 1, 2, 3, 4, 5});
        return Ascii(gds::STRNAME, name);
    }
    GdsBuilder& EndStructure() { return Empty(gds::ENDSTR); }
    GdsBuilder& EndLibrary() { return Empty(gds::ENDLIB); }
    // A BOUNDARY on a layer with the given points.
    GdsBuilder& Boundary(int layer, std::initializer_list<std::pair<std::int32_t, std::int32_t>> points) {
        Empty(gds::BOUNDARY).Shorts(gds::LAYER, {layer}).Shorts(gds::DATATYPE, {0});
        return Xy(points).Empty(gds::ENDEL);
    }
    GdsBuilder& Sref(std::string_view name, std::int32_t x, std::int32_t y) {
        return Empty(gds::SREF).Ascii(gds::SNAME, name).Xy({{x, y}}).Empty(gds::ENDEL);
    }

    static std::string Long(std::int32_t v) {
        const auto u = static_cast<std::uint32_t>(v);
        return {static_cast<char>(u >> 24), static_cast<char>((u >> 16) & 0xFF), static_cast<char>((u >> 8) & 0xFF),
                static_cast<char>(u & 0xFF)};
    }

    std::string bytes;
};

// One record of a stream as the tests look at it.
struct GdsRecord {
    int type = 0;
    int dataType = 0;
    std::string data;

    int Short(std::size_t k = 0) const {
        return static_cast<std::int16_t>(gds::ReadU16(reinterpret_cast<const std::uint8_t*>(data.data()) + 2 * k));
    }
    std::int32_t Long(std::size_t k) const {
        return gds::ReadI32(reinterpret_cast<const std::uint8_t*>(data.data()) + 4 * k);
    }
    double Real(std::size_t k = 0) const {
        return gds::DecodeReal8(reinterpret_cast<const std::uint8_t*>(data.data()) + 8 * k);
    }
    std::size_t Points() const { return data.size() / 8; }
    std::pair<std::int32_t, std::int32_t> Point(std::size_t k) const { return {Long(2 * k), Long(2 * k + 1)}; }
};

// The records up to and including ENDLIB; the rest (padding) is returned in
// tail.
inline std::vector<GdsRecord> ParseGds(const std::string& bytes, std::string* tail = nullptr) {
    std::vector<GdsRecord> records;
    std::size_t p = 0;
    while (p + 4 <= bytes.size()) {
        const std::size_t length = static_cast<std::uint8_t>(bytes[p]) << 8 | static_cast<std::uint8_t>(bytes[p + 1]);
        if (length < 4 || p + length > bytes.size()) break;
        records.push_back({static_cast<std::uint8_t>(bytes[p + 2]), static_cast<std::uint8_t>(bytes[p + 3]),
                           bytes.substr(p + 4, length - 4)});
        p += length;
        if (records.back().type == gds::ENDLIB) break;
    }
    if (tail) *tail = bytes.substr(p);
    return records;
}

}  // namespace zandor::test
