// Numbers in the texts of flash files, written the same whatever the locale:
// "." as decimal point always.
#pragma once

#include <cstdint>
#include <string>

namespace zandor {

// Like printf's "%g": six significant digits, the shorter of fixed and
// exponent notation, no trailing zeros.
std::string GeneralNumber(double value);
// Fixed notation with the number of decimals given ("%.Nf").
std::string FixedNumber(double value, int decimals);
// The product, saturated at the ends of the 64-bit range.
std::int64_t SaturatingProduct(std::int64_t a, std::int64_t b);

}  // namespace zandor
