#include "formats/flash/FlashText.h"

#include <charconv>
#include <limits>

namespace zandor {

std::string GeneralNumber(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6);
    return std::string(text, result.ptr);
}

std::string FixedNumber(double value, int decimals) {
    // 400 characters hold every double in fixed notation with a few decimals.
    char text[400];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc()) return GeneralNumber(value);
    return std::string(text, result.ptr);
}

std::int64_t SaturatingProduct(std::int64_t a, std::int64_t b) {
    std::int64_t product;
    if (!__builtin_mul_overflow(a, b, &product)) return product;
    return (a < 0) == (b < 0) ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

}  // namespace zandor
