// The 8-byte excess-64 real of the stream format.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <gtest/gtest.h>
#include <limits>
#include <string>

#include "formats/gds/GdsRecords.h"

using namespace zandor::gds;

namespace {

std::string Hex(double value) {
    std::uint8_t b[8];
    EncodeReal8(value, b);
    std::string out;
    char text[3];
    for (std::uint8_t byte : b) {
        std::snprintf(text, sizeof text, "%02x", byte);
        out += text;
    }
    return out;
}

double FromHex(const std::string& hex) {
    std::uint8_t b[8];
    for (int k = 0; k < 8; ++k) b[k] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * k, 2), nullptr, 16));
    return DecodeReal8(b);
}

TEST(GdsReal8, EncodingTable) {
    const struct {
        double value;
        const char* hex;
    } cases[] = {
        {0, "0000000000000000"},
        {1, "4110000000000000"},
        {-1, "c110000000000000"},
        {0.5, "4080000000000000"},
        {2.5, "4128000000000000"},
        {90, "425a000000000000"},
        {270, "4310e00000000000"},
        {0.001, "3e4189374bc6a7f0"},  // the fraction of the double, truncated
        {1e-9, "3944b82fa09b5a54"},
        {std::numeric_limits<double>::quiet_NaN(), "0000000000000000"},
        {1e-90, "0000000000000000"},  // below the smallest magnitude
        {std::numeric_limits<double>::infinity(), "7fffffffffffffff"},
        {-1e300, "ffffffffffffffff"},
    };
    for (const auto& c : cases) EXPECT_EQ(Hex(c.value), c.hex) << c.value;
}

TEST(GdsReal8, DecodingAndRoundTrip) {
    // As other programs write them: 0.001 and 1e-9 rounded, not truncated.
    EXPECT_NEAR(FromHex("3e4189374bc6a7ef"), 0.001, 1e-18);
    EXPECT_NEAR(FromHex("3944b82fa09b5a51"), 1e-9, 1e-24);
    EXPECT_EQ(FromHex("c110000000000000"), -1.0);
    // An unnormalised fraction still has its value.
    EXPECT_EQ(FromHex("4201000000000000"), 1.0);
    // The 56-bit fraction holds every double of the range exactly.
    for (double v : {1.0, -1.0, 0.1, 1e-3, 1e-9, 2.5, 359.999, 1e20, -7e-20, 123456789.123, 1.0 / 3}) {
        std::uint8_t b[8];
        EncodeReal8(v, b);
        EXPECT_EQ(DecodeReal8(b), v) << v;
    }
}

TEST(GdsNames, LayerMapPath) {
    EXPECT_EQ(LayerMapPath("/a/chip.gds"), "/a/chip.map");
    EXPECT_EQ(LayerMapPath("chip.v2.GDS"), "chip.v2.map");
    EXPECT_EQ(LayerMapPath("/a.b/chip"), "") << "a dot of a folder does not count";
    EXPECT_EQ(LayerMapPath("chip"), "");
}

}  // namespace
